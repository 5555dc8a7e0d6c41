// Array records, the paged dense store and cell addressing.
#include "matrix/array_store.h"
#include "matrix/array_aliases.h"
#include "matrix/reached_arrays.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "interp/scalars.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/held_targets.h"
#include "toplevel/errors.h"

quoly** arp[PAGE_COUNT] = {};
int32_t numblocks = -1;
int32_t endarr = -1;
uint32_t array_links_stamp = 1;
int32_t array_time = 1;   // from 1: an alias carries the negated stamp, and -0 would be 0
array* arr_store[ARR_BUCKETS] = {};
quoly** syst_cells = nullptr;
int syst_dump = 0;

namespace {

// The system array exists from the start: no cells, no frame.
array syst_record = {{'<', 0}, UNHASHED, 0, -1, {nullptr, nullptr, nullptr, 0, 0}, 1, nullptr, 0, nullptr, 0, 0};

[[noreturn]] void store_error(int code, const char* token) {
    error(code, token);
    abandon_statement(code);
}

void link_record(array* a, const tokenrec* tok, int32_t rows, int32_t flag) {
    std::memcpy(a->name, tok->name, sizeof a->name);
    a->name[sizeof a->name - 1] = 0;
    a->hash = static_cast<uint16_t>(sca_bucket(tok));
    a->rows = rows;
    a->onedim = flag;
    a->sparse = nullptr;
    a->spare = 0;
    a->stamp = array_time++;
    a->link = arr_store[a->hash];
    arr_store[a->hash] = a;
    array_links_stamp++;
    note_hiding(a);
}

// The frame of row r (from 0) of the chain starting at f.
sparse* frame_of_row(sparse* f, int32_t r) {
    for (int32_t k = r / SPARSE_FRAME_ROWS; k > 0 && f; k--) f = f->next;
    return f;
}

// Dense cell index of (i0, j0), both from 0; out of range: error 27.
int64_t dense_index(const array* a, int32_t i0, int32_t j0, const char* token) {
    // 64 bits: j0 x rows passes 2^31 for a large second subscript.
    const int64_t c = int64_t{a->first} + i0 + int64_t{j0} * a->rows;
    if (c < a->first || c > a->last) store_error(27, token);
    return c;
}

// Row from 0 and column from 1 of a sparse element; error 27 off the array.
void sparse_place(const array* a, int32_t i0, int32_t j0, int twosub, int32_t* row, int32_t* col,
                  const char* token) {
    if (twosub) {
        *row = i0;
        *col = j0 + 1;
    } else {
        *row = i0 % a->rows;
        *col = i0 / a->rows + 1;
    }
    if (*col > array_columns(a)) store_error(27, token);
}

void subscripts_from_origin(const array* a, int32_t i, int32_t j, int twosub, int32_t* i0, int32_t* j0,
                            const char* token) {
    *i0 = i - addresser;
    *j0 = j - addresser;
    // Subscripts near the int32 limits do not wrap in the subtraction: an
    // origin of 0 or 1 keeps them in range.
    if (*i0 < 0 || *j0 < 0) store_error(27, token);
    if (twosub && *i0 > a->rows - 1) store_error(27, token);
}

}  // namespace

array* syst = &syst_record;

int64_t number_cells(const imag* n) {
    int64_t v = 0;
    const numnode* d = n->head;
    for (int32_t k = 0; k < n->count && d; k++, d = d->next) v = v * DIGIT_BASE + d->digit;
    return v;
}

int64_t cell_count(const array* a) { return number_cells(&a->size); }

bool one_subscript(const array* a) { return a->onedim && array_columns(a) == 1; }

int32_t array_columns(const array* a) {
    return a->rows > 0 ? static_cast<int32_t>(cell_count(a) / a->rows) : 0;
}

namespace {

// The cell of element (*i, *j): see new_array_quoly_ptr; in_system_cells
// takes a dense cell from syst_cells.
void locate(array* a, int32_t* i, int32_t* j, int twosub, quoly*** out, const char* token, colm*** list,
            int in_system_cells) {
    int32_t i0, j0;
    subscripts_from_origin(a, *i, twosub ? *j : addresser, twosub, &i0, &j0, token);
    if (!a->sparse) {
        const int64_t c = dense_index(a, i0, j0, token);
        *j = static_cast<int32_t>(c);
        *list = nullptr;
        *out = in_system_cells ? &syst_cells[c] : cell_at(c);
        return;
    }
    int32_t row, col;
    sparse_place(a, i0, j0, twosub, &row, &col, token);
    *i = row;
    *j = col;
    *list = &frame_of_row(a->sparse, row)->row[row % SPARSE_FRAME_ROWS];
    colm* e = **list;
    while (e && e->col < col) e = e->next;
    *out = e && e->col == col ? &e->val : nullptr;
}

}  // namespace

void array_quoly_ptr(array* a, int32_t i, int32_t j, int twosub, quoly*** out, const char* token,
                     int in_system_cells) {
    colm** list;
    locate(a, &i, &j, twosub, out, token, &list, in_system_cells);
}

void new_array_quoly_ptr(array* a, int32_t* i, int32_t* j, int twosub, quoly*** out, const char* token,
                         colm*** list) {
    locate(a, i, j, twosub, out, token, list, 0);
}

array* insertarr(const tokenrec* tok, int32_t rows, int32_t columns, int32_t flag) {
    if (rows < 1 || columns < 1) store_error(27, tok->name);
    if (oversize(rows, columns)) store_error(43, tok->name);
    const int32_t n = rows * columns;
    if (int64_t{endarr} + n > STORE_CELLS - 1) store_error(26, tok->name);
    array* a;
    newarray(&a);
    special_set_2(rows, columns, &a->size);
    a->first = endarr + 1;
    a->last = endarr + n;
    link_record(a, tok, rows, flag);
    while (a->last > (numblocks + 1) * PAGE_CELLS - 1) {
        numblocks++;
        arp[numblocks] = new quoly*[PAGE_CELLS]();
    }
    endarr = a->last;
    return a;
}

array* sparse_create(const tokenrec* tok, int32_t rows, int32_t columns, int32_t flag, int init) {
    if (rows < 1 || columns < 1) store_error(27, tok->name);
    array* a = quick_sparse_create(nullptr, tok, rows, columns, flag);
    if (init) sparse_init(&a->sparse, rows);
    return a;
}

array* quick_sparse_create(sparse* frame, const tokenrec* tok, int32_t rows, int32_t columns, int32_t flag) {
    array* a;
    newarray(&a);
    special_set_2(rows, columns, &a->size);
    a->first = 0;
    a->last = -1;
    link_record(a, tok, rows, flag);
    a->sparse = frame;
    return a;
}

array* find_array(const tokenrec* tok) {
    for (array* a = arr_store[sca_bucket(tok)]; a; a = a->link)
        if (std::strcmp(a->name, tok->name) == 0) {
            reach(a);
            return a;
        }
    return nullptr;
}

void follow_new_frames(const array* a, const sparse* old_frame) {
    if (!old_frame || old_frame == a->sparse) return;
    for (array* b : storage_sharers(a))
        if (b->sparse == old_frame) {
            b->sparse = a->sparse;
            b->rows = a->rows;
            spec_num_assign(const_cast<imag*>(&a->size), &b->size);
        }
}

bool storage_shared(const array* a) { return !storage_sharers(a).empty(); }

void take_storage(array* keep, array* fresh) {
    std::swap(keep->first, fresh->first);
    std::swap(keep->last, fresh->last);
    std::swap(keep->size, fresh->size);
    std::swap(keep->rows, fresh->rows);
    std::swap(keep->sparse, fresh->sparse);
    std::swap(keep->onedim, fresh->onedim);
    for (array* b : storage_sharers(keep)) {
        b->first = keep->first;
        b->last = keep->last;
        b->rows = keep->rows;
        b->sparse = keep->sparse;
        b->onedim = keep->onedim;
        spec_num_assign(&keep->size, &b->size);
    }
    // The new cells lie above the old ones: removing fresh moves keep's and
    // the sharers' down with the rest.
    remove_array(fresh);
}

namespace {

// Gaps left open below arrays that interrupted statements hold, until the
// top level's statement is over. Gaps above them close at once (a loop at
// the level must not fill the store), moving the waiting gaps above too.
std::vector<std::pair<int32_t, int32_t>> waiting_gaps;

// The slots of store indices first..last, page by page.
template <class Each>
bool any_page_part(int32_t first, int32_t last, Each each) {
    for (int32_t c = first; c <= last;) {
        const int32_t page_end = std::min(last, (c | (PAGE_CELLS - 1)));
        if (each(cell_at(c), cell_at(page_end) + 1)) return true;
        c = page_end + 1;
    }
    return false;
}

bool held_cells(int32_t first, int32_t last) {
    return any_page_part(first, last, [](quoly** b, quoly** e) { return held_in(b, e); });
}

void release_held_cells(int32_t first, int32_t last) {
    any_page_part(first, last, [](quoly** b, quoly** e) {
        release_held_in(b, e);
        return false;
    });
}

void move_cells_down(int32_t first, int32_t last) {
    const int32_t k = last - first + 1;
    const bool cells_above = last < endarr;
    for (int32_t c = last + 1; c <= endarr; c++) *cell_at(c - k) = *cell_at(c);
    for (int32_t c = endarr - k + 1; c <= endarr; c++) *cell_at(c) = nullptr;
    endarr -= k;
    // A gap at the top of the store (the newest array deleted, reshaped or
    // made sparse) moves no array's cells: walking every record for it made
    // a long run of such statements quadratic.
    if (!cells_above) return;
    for (array* b : arr_store)
        for (; b; b = b->link)
            if (!b->sparse && b->last >= b->first && b->first > last) {
                b->first -= k;
                b->last -= k;
            }
}

}  // namespace

void note_hiding(const array* newest) {
    if (!any_held_target()) return;
    const array* b = newest->link;
    while (b && std::strcmp(b->name, newest->name) != 0) b = b->link;
    if (!b) return;
    if (b->sparse) {
        for (const sparse* f = b->sparse; f; f = f->next) hide_held_in(f->row, f->row + SPARSE_FRAME_ROWS, b);
    } else {
        any_page_part(b->first, b->last, [b](quoly** from, quoly** to) {
            hide_held_in(from, to, b);
            return false;
        });
    }
}

bool array_hidden(const array* a) {
    for (const array* b = arr_store[a->hash]; b; b = b->link)
        if (std::strcmp(b->name, a->name) == 0) return b != a;
    return true;
}

void close_store_gap(int32_t first, int32_t last) {
    if (last < first) return;
    // The cells were given up (their array deleted, reshaped or made
    // sparse): an assignment holding one of them would write into the
    // cells that move down into the gap, another array's.
    if (any_held_target()) release_held_cells(first, last);
    if (held_dense_above(last) || (any_held_target() && held_cells(last + 1, endarr))) {
        waiting_gaps.push_back({first, last});
        return;
    }
    move_cells_down(first, last);
    const int32_t k = last - first + 1;
    for (auto& [from, to] : waiting_gaps)
        if (from > last) {
            from -= k;
            to -= k;
        }
}

void close_waiting_store_gaps() {
    // From the highest down: closing one moves only the cells above it.
    std::sort(waiting_gaps.begin(), waiting_gaps.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    for (const auto& [first, last] : waiting_gaps) move_cells_down(first, last);
    waiting_gaps.clear();
}

void remove_array(array* a) {
    if (a->stamp < 0) forget_alias(a);
    array** p = &arr_store[a->hash];
    while (*p && *p != a) p = &(*p)->link;
    if (*p) *p = a->link;
    array_links_stamp++;
    if (a->sparse) {
        free_sparse(&a->sparse, a->rows, 1);
    } else if (a->last >= a->first) {
        for (int32_t c = a->first; c <= a->last; c++) free_quoly(cell_at(c));
        close_store_gap(a->first, a->last);
    }
    a->first = 0;
    a->last = -1;
    special_free(&a->size);   // a record on arr_garb owns no digits
    a->stamp = 0;
    a->link = arr_garb;
    arr_garb = a;
}

void free_arr(quoly** cells, imag* count) {
    const int64_t n = number_cells(count);
    for (int64_t c = 0; c < n; c++) free_quoly(&cells[c]);
    special_set(0, count);
}

void fill_syst_array(quoly** cells, imag* count, int owned, sparse* frame, int32_t rows) {
    if (!syst_cells) syst_cells = new quoly*[MAX_DENSE_CELLS]();
    if (syst->sparse) {
        free_sparse(&syst->sparse, syst->rows, 1);
    } else {
        for (int32_t c = 0; c <= syst->last; c++) free_quoly(&syst_cells[c]);
    }
    syst->rows = rows;
    syst->last = -1;
    if (frame) {
        if (owned) {
            syst->sparse = frame;
        } else {
            sparse* src = frame;
            copy_sparse(&src, &syst->sparse, rows, 0);
        }
    } else {
        const int64_t n = number_cells(count);
        for (int64_t c = 0; c < n; c++) {
            if (owned) {
                syst_cells[c] = cells[c];
                cells[c] = nullptr;
            } else {
                syst_cells[c] = nullptr;
                if (cells[c]) quoly_assign(cells[c], &syst_cells[c]);
            }
        }
        syst->last = static_cast<int32_t>(n) - 1;
    }
    spec_num_assign(count, &syst->size);
    syst_dump = 1;
}
