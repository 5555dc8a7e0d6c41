// What the for header, the sums and the products share about loop
// variables: the limit of their values and how a value is stored in one.
#pragma once
#include <cstdint>

#include "interp/token.h"
#include "storage/records.h"

struct var;

// Gives a list of loop values (the sparse-row form of a for header) back
// to the digit-node free list on every exit.
struct ValueListHold {
    numnode* list;
    ~ValueListHold() {
        if (!list) return;
        numnode* tail = list;
        while (tail->next) tail = tail->next;
        give_back_chain(list, tail);
    }
};

// A loop or sum variable holds one digit: at most 2^28 - 1 in magnitude.
constexpr int32_t LOOP_LIMIT = (1 << 28) - 1;

// v as the variable's word: itself, or in modular arithmetic its residue.
int32_t loop_variable_word(int32_t v);
// Creates id or sets its newest binding to v (loop_variable_word); the
// record is looked up each time, so a body that deleted or reassigned the
// variable cannot leave a stale record behind.
var* set_loop_variable(const tokenrec* id, int32_t v);
