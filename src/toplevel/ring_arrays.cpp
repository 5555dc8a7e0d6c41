// The arrays' part in the changes of the stored data: the change of ground
// ring (every cell, every sparse entry, the system array), the items of a
// conversion list that name arrays, Laurent mode, and the adjoining and
// cancelling of a polynomial variable.
//
// A sparse frame chain records in its first frame the mode its entries
// were last converted to; a walk skips a chain already in the new mode,
// which is also what keeps an alias (sharing the frames of the array it
// stands for) from being converted twice.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "interp/scalars.h"
#include "numbers/ring.h"
#include "quoly/adjoin.h"
#include "quoly/change_mod.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "toplevel/ring_change.h"

namespace {

// Zero denominators after a cancellation are reported one by one up to
// this many; the rest only by count.
constexpr long ZERO_DEN_WARNINGS = 40;

bool has_polynomial(const quoly* q) { return q && !q->isnum && !q->rat; }
bool empty_or_zero(quoly* q) { return !q || quoly_iszero(q); }

// f(cell slot) for every cell of the store that holds a value.
template <class F>
void each_dense_cell(F f) {
    for (int32_t c = 0; c <= endarr; c++) {
        quoly** s = cell_at(c);
        if (*s) f(s);
    }
}

// The same for the system array's own cells, when it is dense.
template <class F>
void each_system_cell(F f) {
    if (syst->sparse || !syst_cells) return;
    for (int32_t c = 0; c <= syst->last; c++)
        if (syst_cells[c]) f(&syst_cells[c]);
}

// Every sparse array of the table (aliases too: they share frames).
template <class F>
void each_sparse_array(F f) {
    for (array* b : arr_store)
        for (array* a = b; a; a = a->link)
            if (a->sparse) f(a);
}

// f(row, link) for every entry of rows 1 .. rows, in row and column order;
// link is the word that points at the entry. f returns true to keep the
// entry, false after it unlinked it (*link then holds the next one).
template <class F>
void each_entry_in_row(sparse* first, int32_t rows, F f) {
    sparse* fr = first;
    for (int32_t done = 0; done < rows && fr; done += SPARSE_FRAME_ROWS, fr = fr->next) {
        const int32_t n = std::min(SPARSE_FRAME_ROWS, rows - done);
        for (int32_t h = 0; h < n; h++) {
            colm** link = &fr->row[h];
            while (*link)
                if (f(done + h + 1, link)) link = &(*link)->next;
        }
    }
}

// The same without the row.
template <class F>
void each_entry_link(sparse* first, int32_t rows, F f) {
    each_entry_in_row(first, rows, [&f](int32_t, colm** link) { return f(link); });
}

// quiet: no report of a value left out (one nobody named).
void convert_permanently(quoly** slot, int direction, bool quiet = false) {
    if (direction == 0) {
        // One that lacks an inverse stays as it is: left out.
        if (!conversion_lacks_inverse(*slot, quiet)) quoly_change_num(slot);
    } else {
        value_from_mod(*slot);
    }
    if (!*slot) quoly_set(0, slot);
}

// Entries of one chain converted permanently (direction 0, zeros removed)
// or back from residues (direction 1).
void convert_entries(sparse* first, int32_t rows, int direction) {
    each_entry_link(first, rows, [direction](colm** link) {
        colm* e = *link;
        if (direction == 1) {
            value_from_mod(e->val);
            return true;
        }
        if (conversion_lacks_inverse(e->val, false)) return true;
        quoly_change_num(&e->val);
        if (!empty_or_zero(e->val)) return true;
        free_colm(link);
        return false;
    });
}

// Into modular arithmetic with every change logged: an entry whose value
// became 0 is unlinked, stays allocated, and goes on sparse_fix so that the
// way back relinks it where it was.
void log_entries_to_mod(sparse* first, int32_t rows) {
    each_entry_link(first, rows, [](colm** link) {
        colm* e = *link;
        quoly_change_to_mod(&e->val);
        if (!empty_or_zero(e->val)) return true;
        sparsefix* r = new sparsefix{link, e, sparse_fix};
        sparse_fix = r;
        *link = e->next;
        return false;
    });
}

// The system array's frames: converted permanently when their mode
// differs; the mode is recorded in every case.
void system_sparse_change(int direction) {
    if (!syst->sparse) return;
    if (syst->sparse->mode != modularmode) convert_entries(syst->sparse, syst->rows, direction);
    syst->sparse->mode = modularmode;
}

// Each entry's value for the current `laurent`.
void laurent_entries(sparse* first, int32_t rows) {
    each_entry_link(first, rows, [](colm** link) {
        change_quol(&(*link)->val);
        return true;
    });
}

// Each entry given a new outermost level.
void new_level_entries(sparse* first, int32_t rows) {
    each_entry_link(first, rows, [](colm** link) {
        quoly* q = (*link)->val;
        if (has_polynomial(q)) quoly_new_top_level(q);
        return true;
    });
}

// One stored value taken at 1 in the variable of `level`, that level
// removed; a zero denominator makes it 1. Returns false for that case.
bool at_one_removed(quoly** slot, int32_t level) {
    quoly* v = nullptr;
    const int fine = quoly_at_one_removed(*slot, level, &v);
    free_quoly(slot);
    if (fine) {
        *slot = v;
        return true;
    }
    quoly_set(1, slot);
    return false;
}

void count_zero_den(long* count, const char* warning) {
    if (++*count <= ZERO_DEN_WARNINGS) std::printf("%s", warning);
}

}  // namespace

// ---------------------------------------------------------------- ground ring

void change_arrays(int direction) {
    each_dense_cell([direction](quoly** s) { convert_permanently(s, direction); });
    each_system_cell([direction](quoly** s) { convert_permanently(s, direction); });
}

void change_sparses(int direction) {
    each_sparse_array([direction](array* a) {
        // On the way back an array a conversion list left out may hold
        // entries assigned in modular mode: they come back too, and the
        // entries that kept their digits stay as they are.
        if (direction == 1 || a->sparse->mode != modularmode) convert_entries(a->sparse, a->rows, direction);
        a->sparse->mode = modularmode;
    });
    system_sparse_change(direction);
}

void left_out_array_words() {
    each_dense_cell([](quoly** s) { give_left_out_words(*s); });
    each_sparse_array([](array* a) {
        each_entry_link(a->sparse, a->rows, [](colm** link) {
            give_left_out_words((*link)->val);
            return true;
        });
    });
}

// ---------------------------------------------------------------- starred arrays

namespace {

// An array converted for the time of modular mode. Its originals are
// converted through the undo log where only the log and this record reach
// them; the array itself holds converted copies. So deleting the array, a
// cell written, or cells moved down when an older array is deleted never
// leave the log pointing at records someone else freed or moved. On the way
// back a dense cell gets its original unless it was written meanwhile, and
// so does a sparse entry: one written, made or removed meanwhile stays as
// it is, the others come back.
using entry_key = std::pair<int32_t, int32_t>;   // row and column, from 1

// A value given to a cell or entry: the record, a copy of the value (a
// record freed meanwhile may come back for a new value, so the value must
// match too), and the way back's verdict.
struct placed_entry {
    quoly* record = nullptr;
    quoly* same = nullptr;
    bool written = false;
};

bool left_alone(quoly* now, const placed_entry& e, bool settled) {
    if (e.written || !now || now != e.record) return false;
    if (settled) return true;
    LintOn residues;
    return quoly_equal(now, e.same);
}

struct starred_array {
    array* record;
    char name[TOKEN_TEXT];
    int32_t stamp;
    // dense: one private slot per cell, and the copy each cell was given
    int32_t cells = 0;
    std::unique_ptr<quoly*[]> held;
    std::vector<quoly*> placed;
    std::vector<quoly*> same;        // copies of the copies: the values they were given
    std::vector<char> written;       // settled on the way back
    std::vector<quoly*> originals;   // rational copies of the cells for a save
    // sparse: a record of its own holding the original frames, a rational
    // copy of them for a save, and the value each entry of the copy the
    // array was given holds (an entry whose residue is 0 has none)
    array shadow{};
    sparse* rational = nullptr;
    std::map<entry_key, placed_entry> placed_entries;
    // The copy's frames (compared, never read) and the elements written in
    // them: one given none and written 0 meanwhile still has none.
    std::vector<sparse*> frames;
    std::set<entry_key> written_entries;
    bool settled = false;            // the way back has settled what was written
};

// Nodes never move: the log points into them. Never destroyed either: at
// exit the originals it holds for a ring change still in force stay reached.
std::list<starred_array>& starred_arrays = *new std::list<starred_array>;

// The record is still in the table (the newest of its name or not).
bool still_stored(const starred_array& s) {
    for (array* b : arr_store)
        for (array* a = b; a; a = a->link)
            if (a == s.record) return a->stamp == s.stamp;
    return false;
}

// The value slot of the entry (row, col) of a chain, or null.
quoly** entry_slot(sparse* first, int32_t row, int32_t col) {
    sparse* f = row_frame(first, row);
    if (!f) return nullptr;
    for (colm* e = f->row[(row - 1) % SPARSE_FRAME_ROWS]; e && e->col <= col; e = e->next)
        if (e->col == col) return &e->val;
    return nullptr;
}

// Whether the original entry (row, col) of a starred sparse array comes
// back on the way back: the copy's entry there is the one it was given, or
// it was given none (the residue was 0) and none was made since.
bool original_comes_back(const starred_array& s, const array* a, int32_t row, int32_t col) {
    quoly** now = entry_slot(a->sparse, row, col);
    const auto it = s.placed_entries.find({row, col});
    if (it == s.placed_entries.end()) return !now && !s.written_entries.count({row, col});
    return now && left_alone(*now, it->second, s.settled);
}

// The dense cell k still holds the copy it was given (both null for a cell
// never set).
bool cell_left_alone(const starred_array& s, const array* a, int32_t k) {
    quoly* now = *cell_at(a->first + k);
    if (!s.placed[k]) return !now && !s.written[k];
    if (s.written[k] || now != s.placed[k]) return false;
    if (s.settled) return true;
    LintOn residues;
    return quoly_equal(now, s.same[k]);
}

// The array still holds the sparse copy it was given, rows and all.
bool holds_its_copy(const starred_array& s, const array* a) {
    return s.shadow.sparse && still_stored(s) && a->sparse && a->rows == s.shadow.rows;
}

void note_starred_element(colm** head, int32_t col) {
    for (starred_array& s : starred_arrays) {
        if (s.settled) continue;
        for (size_t k = 0; k < s.frames.size(); k++) {
            colm** rows = s.frames[k]->row;
            const std::less<colm**> before;
            if (before(head, rows) || !before(head, rows + SPARSE_FRAME_ROWS)) continue;
            const auto row = static_cast<int32_t>(k * SPARSE_FRAME_ROWS + static_cast<size_t>(head - rows) + 1);
            s.written_entries.insert({row, col});
            return;
        }
    }
}

// Whether a cell or entry of a has no element of the ring (the first one
// met reported).
bool holds_value_without_residue(const array* a) {
    bool lacks = false;
    if (a->sparse) {
        each_entry_link(a->sparse, a->rows, [&lacks](colm** link) {
            if (!lacks) lacks = conversion_lacks_inverse((*link)->val, false);
            return true;
        });
        return lacks;
    }
    for (int32_t c = a->first; c <= a->last; c++)
        if (conversion_lacks_inverse(*cell_at(c), false)) return true;
    return false;
}

// False when the array stays left out.
bool convert_starred_array(array* a) {
    if (a->sparse && a->sparse->mode == modularmode) return true;
    // Starred again in the same list: already held for the way back.
    for (const starred_array& s : starred_arrays)
        if (s.record == a && s.stamp == a->stamp) return true;
    // One holding a value without an element of the ring stays as it is,
    // as a left-out array does: its other values are read as elements of
    // the ring, that one is error 85, and the way back finds all as they were.
    if (holds_value_without_residue(a)) return false;
    starred_arrays.emplace_back();
    starred_array& s = starred_arrays.back();
    s.record = a;
    std::memcpy(s.name, a->name, TOKEN_TEXT);
    s.stamp = a->stamp;
    if (a->sparse) {
        s.shadow = *a;
        s.shadow.link = nullptr;
        {
            LintOff digits;
            copy_sparse(&s.shadow.sparse, &s.rational, a->rows, 0);
        }
        log_entries_to_mod(s.shadow.sparse, s.shadow.rows);
        s.shadow.sparse->mode = modularmode;
        sparse* copy = nullptr;
        copy_sparse(&s.shadow.sparse, &copy, a->rows, 0);
        a->sparse = copy;
        a->sparse->mode = modularmode;
        for (int32_t r = 1; r <= a->rows; r += SPARSE_FRAME_ROWS) s.frames.push_back(row_frame(copy, r));
        sparse_element_written = note_starred_element;
        each_entry_in_row(a->sparse, a->rows, [&s](int32_t row, colm** link) {
            placed_entry& e = s.placed_entries[{row, (*link)->col}];
            e.record = (*link)->val;
            quoly_assign(e.record, &e.same);
            return true;
        });
        return true;
    }
    s.cells = a->last - a->first + 1;
    s.held.reset(new quoly*[static_cast<size_t>(s.cells)]);
    s.placed.assign(static_cast<size_t>(s.cells), nullptr);
    s.same.assign(static_cast<size_t>(s.cells), nullptr);
    s.written.assign(static_cast<size_t>(s.cells), 0);
    s.originals.assign(static_cast<size_t>(s.cells), nullptr);
    for (int32_t k = 0; k < s.cells; k++) {
        quoly** cell = cell_at(a->first + k);
        s.held[k] = *cell;
        *cell = nullptr;
        if (left_out_value(s.held[k])) {
            LintOff digits;
            quoly_assign(s.held[k], &s.originals[k]);
        }
        // A cell never set stays so; one that loses its value gets 0.
        if (s.held[k]) {
            quoly_change_to_mod(&s.held[k]);
            if (s.held[k]) quoly_assign(s.held[k], cell);
            if (!*cell) quoly_set(0, cell);
        }
        s.placed[k] = *cell;
        if (*cell) quoly_assign(*cell, &s.same[k]);
    }    return true;
}

// The originals (restored by the log) into the array's entries that come
// back; the rest of the shadow frames are freed.
void reinstate_entries(starred_array& s, array* a) {
    sparse* originals = s.shadow.sparse;
    std::vector<std::pair<entry_key, quoly*>> back;
    each_entry_in_row(originals, s.shadow.rows, [&](int32_t row, colm** link) {
        colm* e = *link;
        if (original_comes_back(s, a, row, e->col)) {
            back.push_back({{row, e->col}, e->val});
            e->val = nullptr;
        }
        return true;
    });
    // An original whose copy was removed meanwhile stays removed; one
    // that had none gets its entry again.
    for (auto& [key, value] : back) {
        quoly** slot = entry_slot(a->sparse, key.first, key.second);
        if (!slot) sparse_zero_set(row_head(a->sparse, key.first), key.second, &slot);
        free_quoly(slot);
        *slot = value;
    }
    free_sparse(&s.shadow.sparse, s.shadow.rows, 1);
    // Converted earlier in the same list, entries are residues.
    each_entry_link(a->sparse, a->rows, [](colm** link) {
        value_from_mod((*link)->val);
        return true;
    });
    a->sparse->mode = modularmode;
}

}  // namespace

sparse* sparse_read_in_ring(array* a, const entry_range& within) {
    if (!values_await_rational || !modularmode || !a->sparse || a->sparse->mode == modularmode) return nullptr;
    auto inside = [&within](int32_t row, const colm* e) {
        return row >= within.first_row && row <= within.last_row && e->col >= within.first_col &&
               e->col <= within.last_col;
    };
    each_entry_in_row(a->sparse, a->rows, [&inside](int32_t row, colm** link) {
        if (inside(row, *link)) refuse_unless_converts((*link)->val);
        return true;
    });
    // Copied in modular mode, a left-out entry keeps only its words, the
    // residues of its numbers; what a full conversion makes of them is
    // what the words make in the ring. Entries outside the range are not
    // read: the copy leaves them out.
    sparse* copy = nullptr;
    copy_sparse(&a->sparse, &copy, a->rows, 0);
    copy->mode = modularmode;
    each_entry_in_row(copy, a->rows, [&inside](int32_t row, colm** link) {
        if (inside(row, *link)) {
            quoly_change_num(&(*link)->val);
            if (!empty_or_zero((*link)->val)) return true;
        }
        free_colm(link);
        return false;
    });
    return copy;
}

void star_left_out_arrays() {
    std::vector<array*> arrays;
    for (array* b : arr_store)
        for (array* a = b; a; a = a->link) {
            // Aliases share their array's cells and frames; an older record
            // of a name is out of the way back's reach.
            if (a->stamp <= 0) continue;
            tokenrec id;
            set_token(&id, a->name);
            if (find_array(&id) != a) continue;
            bool needed = false, possible = true;
            auto look = [&needed, &possible](const quoly* q) {
                if (left_out_reads_as_words(q)) return;
                needed = true;
                possible = possible && left_out_converts(q);
            };
            if (a->sparse) {
                if (a->sparse->mode == modularmode) continue;
                each_entry_link(a->sparse, a->rows, [&look, &needed](colm** link) {
                    look((*link)->val);
                    // A number whose residue is 0 reads as its word, but
                    // no 0 is ever an entry of a sparse array.
                    quoly* q = (*link)->val;
                    if (q && q->isnum && left_out_value(q) && lint_quoly_iszero(q)) needed = true;
                    return true;
                });
            } else {
                for (int32_t c = a->first; c <= a->last; c++) look(*cell_at(c));
            }
            if (needed && possible) arrays.push_back(a);
        }
    for (array* a : arrays) convert_starred_array(a);
}

void reinstate_starred_arrays() {
    while (!starred_arrays.empty()) {
        starred_array& s = starred_arrays.back();
        array* a = still_stored(s) ? s.record : nullptr;
        if (s.shadow.sparse) {
            if (holds_its_copy(s, a))
                reinstate_entries(s, a);
            else
                free_sparse(&s.shadow.sparse, s.shadow.rows, 1);
        } else {
            const bool cells_there = a && !a->sparse && a->last - a->first + 1 == s.cells;
            for (int32_t k = 0; k < s.cells; k++) {
                quoly** cell = cells_there ? cell_at(a->first + k) : nullptr;
                if (cell && cell_left_alone(s, a, k)) {
                    retire_value(cell);
                    if (s.held[k]) value_from_mod(s.held[k]);
                    *cell = s.held[k];
                } else {
                    free_quoly(&s.held[k]);
                }
            }
        }
        for (quoly*& q : s.same) free_quoly(&q);
        for (auto& [key, e] : s.placed_entries) free_quoly(&e.same);
        {
            LintOff digits;
            for (quoly*& q : s.originals) free_quoly(&q);
            if (s.rational) free_sparse(&s.rational, s.shadow.rows, 1);
        }
        starred_arrays.pop_back();
    }
    sparse_element_written = nullptr;
}

std::vector<quoly*> starred_cells(const array* a) {
    std::vector<quoly*> cells;
    for (auto it = starred_arrays.rbegin(); it != starred_arrays.rend(); ++it) {
        const starred_array& s = *it;
        if (s.record != a) continue;
        if (s.shadow.sparse || s.stamp != a->stamp || a->sparse || a->last - a->first + 1 != s.cells) return cells;
        cells.assign(static_cast<size_t>(s.cells), nullptr);
        bool any = false;
        for (int32_t k = 0; k < s.cells; k++) {
            if (!s.placed[k] || !cell_left_alone(s, a, k)) continue;
            cells[k] = s.originals[k];
            any = any || cells[k];
        }
        if (!any) cells.clear();
        return cells;
    }
    return cells;
}

bool starred_entries(const array* a, const entry_visit& original, const entry_visit& written) {
    for (auto it = starred_arrays.rbegin(); it != starred_arrays.rend(); ++it) {
        const starred_array& s = *it;
        if (s.record != a) continue;
        if (!holds_its_copy(s, a)) return false;
        each_entry_in_row(s.rational, s.shadow.rows, [&](int32_t row, colm** link) {
            if (original_comes_back(s, a, row, (*link)->col)) original(row - 1, (*link)->col - 1, (*link)->val);
            return true;
        });
        each_entry_in_row(a->sparse, a->rows, [&](int32_t row, colm** link) {
            const auto at = s.placed_entries.find({row, (*link)->col});
            if (at == s.placed_entries.end() || !left_alone((*link)->val, at->second, s.settled))
                written(row - 1, (*link)->col - 1, (*link)->val);
            return true;
        });
        return true;
    }
    return false;
}

void settle_starred_array_writes() {
    for (starred_array& s : starred_arrays) {
        if (s.settled) continue;
        array* a = still_stored(s) ? s.record : nullptr;
        if (s.shadow.sparse) {
            for (auto& [key, e] : s.placed_entries) {
                quoly** now = a && a->sparse ? entry_slot(a->sparse, key.first, key.second) : nullptr;
                e.written = !(now && left_alone(*now, e, false));
            }
        } else {
            const bool cells_there = a && !a->sparse && a->last - a->first + 1 == s.cells;
            for (int32_t k = 0; k < s.cells; k++) s.written[k] = !(cells_there && cell_left_alone(s, a, k));
        }
        s.settled = true;
    }
}

void replay_temporary_conversions() {
    restore_from_mod(&masterfix);
    restore_sparsefix();
    reinstate_starred();
}

void fast_change_spar(array* a, int to_mod, int from_mod) {
    if (to_mod && from_mod) {
        replay_temporary_conversions();
        return;
    }
    if (to_mod)
        convert_starred_array(a);
    else
        convert_entries(a->sparse, a->rows, from_mod ? 1 : 0);
}

void change_system_array(int direction) {
    // The last array shown: no item of a list, so nothing to report, and a
    // report would stop the read of a save at its ring-change line.
    each_system_cell([direction](quoly** s) { convert_permanently(s, direction, true); });
}

void convert_listed_array(array* a, int starred, int direction) {
    if (starred) {
        // One replay gives back every temporarily converted value.
        bool into_ring = true;
        if (direction == 0)
            into_ring = convert_starred_array(a);
        else
            replay_temporary_conversions();
        // One left out keeps the mode its entries are in.
        if (a->sparse && into_ring) a->sparse->mode = modularmode;
        return;
    }
    if (a->sparse) {
        if (a->sparse->mode != modularmode) fast_change_spar(a, 0, direction);
        // An entry without an element of the ring stays left out, and so
        // does the array: read whole, it is read as a left-out one is.
        bool left_out = false;
        if (direction == 0)
            each_entry_link(a->sparse, a->rows, [&left_out](colm** link) {
                left_out = left_out || left_out_value((*link)->val);
                return true;
            });
        if (!left_out) a->sparse->mode = modularmode;
        return;
    }
    for (int32_t c = a->first; c <= a->last; c++) {
        quoly** s = cell_at(c);
        if (*s) convert_permanently(s, direction);
    }
}

void temp_change_arrays(int direction) {
    if (direction == 0) {
        // Aliases (negative stamps) share their array's cells and frames.
        std::vector<array*> arrays;
        for (array* b : arr_store)
            for (array* a = b; a; a = a->link)
                if (a->stamp > 0) arrays.push_back(a);
        for (array* a : arrays) convert_starred_array(a);
    } else {
        replay_temporary_conversions();
    }
    change_system_array(direction);
    system_sparse_change(direction);
}

// ---------------------------------------------------------------- Laurent mode

void laurent_change_arrays() {
    each_dense_cell([](quoly** s) { change_quol(s); });
    each_system_cell([](quoly** s) { change_quol(s); });
    each_sparse_array([](array* a) { laurent_entries(a->sparse, a->rows); });
    if (syst->sparse) laurent_entries(syst->sparse, syst->rows);
}

// ---------------------------------------------------------------- polynomial variables

void redo_sparses(const attach_context* context) {
    // Aliases share frames: the pending mark converts each chain once.
    each_sparse_array([](array* a) { a->sparse->pending = 1; });
    each_sparse_array([context](array* a) {
        if (!a->sparse->pending) return;
        if (context->removing)
            sparse_down(a, context);
        else
            new_level_entries(a->sparse, a->rows);
        a->sparse->pending = 0;
    });
    if (!syst->sparse) return;
    if (context->removing)
        sparse_down(syst, context);
    else
        new_level_entries(syst->sparse, syst->rows);
}

void sparse_down(array* a, const attach_context* context) {
    const int32_t level = context->level;
    long* count = context->zero_dens;
    each_entry_link(a->sparse, a->rows, [level, count](colm** link) {
        colm* e = *link;
        if (!has_polynomial(e->val)) return true;
        if (!at_one_removed(&e->val, level)) {
            count_zero_den(count,
                           "Warning. A quoly denominator in a sparse array entry has become 0.  That entry has "
                           "been set to 1.\n");
            return true;
        }
        if (!quoly_iszero(e->val)) return true;
        free_colm(link);
        return false;
    });
}

void adjoin_convert_arrays() {
    each_dense_cell([](quoly** s) {
        if (has_polynomial(*s)) quoly_new_top_level(*s);
    });
    each_system_cell([](quoly** s) {
        if (has_polynomial(*s)) quoly_new_top_level(*s);
    });
    const attach_context context{1, 0, nullptr};
    redo_sparses(&context);
}

void cancel_convert_arrays(int32_t level, long* zero_dens) {
    each_dense_cell([level, zero_dens](quoly** s) {
        if (has_polynomial(*s) && !at_one_removed(s, level))
            count_zero_den(zero_dens,
                           "Warning. A quoly denominator has become 0.  That array entry has been set to 1.\n");
    });
    each_system_cell([level, zero_dens](quoly** s) {
        if (has_polynomial(*s) && !at_one_removed(s, level))
            count_zero_den(zero_dens, "Warning. A quoly denominator in the system array has become 0.  That "
                                      "entry has been set to 1.\n");
    });
    const attach_context context{level, 1, zero_dens};
    redo_sparses(&context);
}

// ---------------------------------------------------------------- mod-out relations

void each_array_value(const std::function<void(quoly**)>& f) {
    each_dense_cell([&f](quoly** s) { f(s); });
    each_system_cell([&f](quoly** s) { f(s); });
    // Aliases share their array's frames: each chain is walked once.
    std::vector<sparse*> seen;
    auto entries = [&](sparse* first, int32_t rows) {
        if (std::find(seen.begin(), seen.end(), first) != seen.end()) return;
        seen.push_back(first);
        each_entry_link(first, rows, [&f](colm** link) {
            f(&(*link)->val);
            return true;
        });
    };
    each_sparse_array([&](array* a) { entries(a->sparse, a->rows); });
    if (syst->sparse) entries(syst->sparse, syst->rows);
}

void drop_zero_sparse_entries() {
    auto drop = [](sparse* first, int32_t rows) {
        each_entry_link(first, rows, [](colm** link) {
            if (!empty_or_zero((*link)->val)) return true;
            free_colm(link);
            return false;
        });
    };
    each_sparse_array([&](array* a) { drop(a->sparse, a->rows); });
    if (syst->sparse) drop(syst->sparse, syst->rows);
}
