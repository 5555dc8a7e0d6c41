// The arrays the running statement has reached (by name, through a
// compiled binding or a '%' slot): the ones a computation interrupted by a
// nested level may hold, as records, store indices or the records of their
// cells. The statement loops start each statement's list afresh; a level
// sets the interrupted statement's list aside and gives it back.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"

struct reached_array {
    array* a;
    int32_t stamp;
};

// Marks the records already in the list (their spare word), so that a
// loop reaching the same array again costs one comparison.
extern int32_t reached_serial;
void note_reached(array* a);
inline void reach(array* a) {
    if (a && a->spare != reached_serial) note_reached(a);
}

// A statement of a statement loop begins: the list is emptied.
void begin_reaching();
// The list, taken out (empty afterwards), and put back.
std::vector<reached_array> take_reached();
void give_back_reached(std::vector<reached_array> list);

// While a level runs, the lists of the statements it interrupted (see
// toplevel/held_arrays.h) are held here: their dense arrays keep their
// store cells, as the interrupted computations hold store indices.
void hold_reached(const std::vector<reached_array>* list);
void release_reached(const std::vector<reached_array>* list);
// Whether a live dense array of a held list has cells above store index
// `index` (closing a gap below it would move them).
bool held_dense_above(int32_t index);
