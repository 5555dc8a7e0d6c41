// Values a conversion list left out keep their rational form while the
// arithmetic is modular. A save made then writes them in rational form
// before the ring-change line, which it gives an empty conversion list:
// read back they stay unconverted, and the way back to rational mode finds
// them as the original session does. Starred variables that still hold the
// copy they were given are written the same way, with the values they will
// come back as, and the line stars them again.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "interp/scalars.h"
#include "matrix/array_store.h"
#include "storage/assign.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/change_mod.h"
#include "storage/records.h"
#include "toplevel/ring_change.h"
#include "toplevel/save_file.h"

namespace {

// A starred array whose originals the line's list must star again.
bool starred_whole(const array* a) {
    if (!a->sparse) return !starred_cells(a).empty();
    const entry_visit none = [](int64_t, int64_t, quoly*) {};
    return starred_entries(a, none, none);
}

// The line stars an item again only when every original it gives back
// converts: one whose normal form needs an inverse the modulus lacks made
// the starring fail in the session with error 85, and would stop the read
// of the file there; written before the line and not starred, it is left
// out there as it is here.
bool converts(const quoly* q) { return !conversion_lacks_inverse(q, true); }

bool array_originals_convert(const array* a) {
    bool all = true;
    if (!a->sparse) {
        for (quoly* q : starred_cells(a)) all = all && converts(q);
        return all;
    }
    const entry_visit check = [&all](int64_t, int64_t, quoly* q) { all = all && converts(q); };
    const entry_visit none = [](int64_t, int64_t, quoly*) {};
    starred_entries(a, check, none);
    return all;
}

}  // namespace

bool any_left_out() {
    for (var* head : sca_store)
        for (var* v = head; v; v = v->next)
            if (left_out_value(v->value) || starred_original(v)) return true;
    for (array* head : arr_store)
        for (array* a = head; a; a = a->link)
            if (cell_sides(a).left_out) return true;
    return false;
}

std::set<const array*> pulled_before_line() {
    std::map<std::string, std::vector<array*>> by_name;
    for (array* a : save_order_arrays())
        if (a->stamp >= 0) by_name[a->name].push_back(a);
    std::set<const array*> pulled;
    for (const auto& [name, records] : by_name) {
        const int count = static_cast<int>(records.size());
        int last_before = -1;
        for (int i = 0; i < count; i++) {
            const CellSides sides = cell_sides(records[i]);
            if (!sides.left_out) continue;
            last_before = i;
            // Its other cells would be assigned by name after the line,
            // which reaches only the newest record of the name. A starred
            // one is starred again by name: the records made since, which
            // hold residues alone, are declared after the line.
            if (sides.converted && i + 1 < count && !starred_whole(records[i])) pulled.insert(records[i]);
        }
        // Read after the line, an older record would hide the newer one
        // read before it.
        for (int i = 0; i < last_before; i++) pulled.insert(records[i]);
    }
    return pulled;
}

namespace {

// The cells of the arrays written whole before the line, each residue
// replaced by a copy brought back to an integer (the copies are made while
// the arithmetic is still modular); put back by restore().
class PulledCells {
public:
    explicit PulledCells(const std::set<const array*>& pulled) {
        for (const array* a : pulled) {
            // A starred record (an older one of its name, after '**') is
            // written with the values its cells come back as.
            const std::vector<quoly*> originals = a->sparse ? std::vector<quoly*>{} : starred_cells(a);
            for (size_t k = 0; k < originals.size(); k++)
                if (originals[k]) swap_original(cell_at(a->first + static_cast<int64_t>(k)), originals[k]);
            each_cell(a, [this](int64_t, int64_t, quoly** slot) { swap_in(slot); });
        }
    }
    void restore() {
        // Every value swapped in holds digits.
        LintOff digits;
        for (auto& [slot, original] : swapped_) {
            free_quoly(slot);
            *slot = original;
        }
        swapped_.clear();
    }
    ~PulledCells() { restore(); }
    PulledCells(const PulledCells&) = delete;
    PulledCells& operator=(const PulledCells&) = delete;

private:
    void swap_original(quoly** slot, quoly* original) {
        quoly* copy = nullptr;
        {
            LintOff digits;
            quoly_assign(original, &copy);
        }
        swapped_.emplace_back(slot, *slot);
        *slot = copy;
    }
    void swap_in(quoly** slot) {
        if (left_out_value(*slot)) return;
        quoly* copy = nullptr;
        quoly_assign(*slot, &copy);
        value_from_mod(copy);
        swapped_.emplace_back(slot, *slot);
        *slot = copy;
    }
    std::vector<std::pair<quoly**, quoly*>> swapped_;
};

}  // namespace

void left_out_section(FILE* out) {
    const std::set<const array*> pulled = pulled_before_line();
    PulledCells copies(pulled);
    int saved_modular = 0;
    check_modular(&saved_modular);
    {
        LintOff lint_off;
        std::fprintf(out, "\n;;** values the conversion list left out:\n");
        dump_part(out, 0, 0, 1, SavePart::left_out);
        FILE* stream = out;
        for (array* a : save_order_arrays()) {
            if (pulled.count(a))
                do_array_p(&stream, a);
            else if (cell_sides(a).left_out)
                do_array_part(&stream, a, SavePart::left_out);
        }
        std::fprintf(out, "\n");
    }
    restore_modular(saved_modular);
    copies.restore();
}

std::string starred_list() {
    std::string list;
    for (var* head : sca_store)
        for (var* v = head; v; v = v->next)
            if (starred_original(v) && converts(starred_original(v)))
                list += (list.empty() ? "*" : ", *") + std::string(v->name);
    const std::set<const array*> pulled = pulled_before_line();
    for (array* a : save_order_arrays())
        if (a->stamp > 0 && !pulled.count(a) && starred_whole(a) && array_originals_convert(a))
            list += (list.empty() ? "*[" : ", *[") + std::string(a->name) + "]";
    return list;
}

bool way_back_save_wanted() {
    if (!all_values_starred()) return false;
    for (var* head : sca_store)
        for (var* v = head; v; v = v->next)
            if (left_out_value(v->value)) return false;
    for (array* head : arr_store)
        for (array* a = head; a; a = a->link) {
            bool left_out = false;
            each_cell(a, [&left_out](int64_t, int64_t, quoly** q) { left_out = left_out || left_out_value(*q); });
            if (left_out) return false;
        }
    return true;
}

namespace {

// The values the way back gives, gathered while the words still read as
// residues: originals as they are, residues as new integer copies, freed
// with digit arithmetic.
class WayBackValues {
public:
    quoly* of(quoly* q) {
        if (!q || left_out_value(q)) return q;
        quoly* copy = nullptr;
        quoly_assign(q, &copy);
        value_from_mod(copy);
        made_.push_back(copy);
        return copy;
    }
    ~WayBackValues() {
        LintOff digits;
        for (quoly*& q : made_) free_quoly(&q);
    }
    WayBackValues() = default;
    WayBackValues(const WayBackValues&) = delete;
    WayBackValues& operator=(const WayBackValues&) = delete;

private:
    std::vector<quoly*> made_;
};

std::vector<CellValue> way_back_cells(const array* a, WayBackValues* values) {
    std::vector<CellValue> cells;
    auto add = [&cells](int64_t r, int64_t c, quoly* q) { cells.push_back({r, c, q}); };
    auto add_residue = [&](int64_t r, int64_t c, quoly* q) { add(r, c, values->of(q)); };
    if (a->sparse) {
        if (!starred_entries(a, add, add_residue))
            each_cell(a, [&](int64_t r, int64_t c, quoly** q) { add_residue(r, c, *q); });
        // In row and column order, as the array holds them.
        std::sort(cells.begin(), cells.end(), [](const CellValue& x, const CellValue& y) {
            return x.row != y.row ? x.row < y.row : x.col < y.col;
        });
        return cells;
    }
    const std::vector<quoly*> originals = starred_cells(a);
    int64_t k = 0;
    const int32_t rows = a->rows;
    for (int32_t c = a->first; c <= a->last; c++, k++) {
        quoly* q = *cell_at(c);
        if (!q) continue;
        quoly* original = originals.empty() ? nullptr : originals[static_cast<size_t>(k)];
        add(k % rows, k / rows, original ? original : values->of(q));
    }
    return cells;
}

}  // namespace

void way_back_section(FILE* out) {
    WayBackValues values;
    std::map<const var*, quoly*> scalars;
    for (var* head : sca_store)
        for (var* v = head; v; v = v->next) {
            quoly* original = starred_original(v);
            scalars[v] = original ? original : values.of(v->value);
        }
    std::vector<std::pair<array*, std::vector<CellValue>>> arrays;
    for (array* a : save_order_arrays()) arrays.emplace_back(a, way_back_cells(a, &values));
    int saved_modular = 0;
    check_modular(&saved_modular);
    {
        LintOff lint_off;
        std::fprintf(out, "\n;;** values as the way back gives them:\n");
        dump_part(out, 0, 0, 1, SavePart::way_back, &scalars);
        FILE* stream = out;
        for (const auto& [a, cells] : arrays) array_cells_p(&stream, a, cells);
        std::fprintf(out, "\n");
    }
    restore_modular(saved_modular);
}
