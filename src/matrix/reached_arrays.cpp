#include "matrix/reached_arrays.h"

#include <algorithm>
#include <utility>

#include "interp/array_table.h"

int32_t reached_serial = 1;

namespace {

std::vector<reached_array> reached;
size_t compact_at = 1024;
std::vector<const std::vector<reached_array>*> held_lists;

// A new mark: every record counts as not yet reached. Records are made
// with the spare word 0, which no mark takes.
void new_mark() {
    if (++reached_serial <= 0) reached_serial = 1;
}

}  // namespace

void note_reached(array* a) {
    a->spare = reached_serial;
    // A record made again (an array parameter's alias at every call of a
    // loop) comes back unmarked: the entries of records that have left
    // the table go before the list grows further.
    if (reached.size() >= compact_at) {
        std::erase_if(reached, [](const reached_array& r) { return !array_alive(r.a, r.stamp); });
        compact_at = std::max<size_t>(1024, 2 * reached.size());
    }
    reached.push_back({a, a->stamp});
}

void begin_reaching() {
    reached.clear();
    compact_at = 1024;
    new_mark();
}

std::vector<reached_array> take_reached() {
    std::vector<reached_array> list = std::move(reached);
    reached.clear();
    new_mark();
    return list;
}

void give_back_reached(std::vector<reached_array> list) {
    reached = std::move(list);
    new_mark();
}

void hold_reached(const std::vector<reached_array>* list) { held_lists.push_back(list); }

void release_reached(const std::vector<reached_array>* list) { std::erase(held_lists, list); }

bool held_dense_above(int32_t index) {
    for (const std::vector<reached_array>* list : held_lists)
        for (const reached_array& r : *list)
            if (array_alive(r.a, r.stamp) && !r.a->sparse && r.a->last >= r.a->first && r.a->first > index)
                return true;
    return false;
}
