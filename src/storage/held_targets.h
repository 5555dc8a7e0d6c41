// The slot an assignment or an update writes, held while its right side is
// read. The right side may run statements (a call's body, a statement met
// inside the expression) that delete the variable, delete the array the
// slot lies in, or close the gap such a deletion leaves below it. A
// deletion marks the hold lost, so that the assignment is refused rather
// than write where the variable no longer is; dense cells above a held slot
// wait to move until the statement is over. A sparse element's entry may be
// removed or made meanwhile (its row stays): it is found again, as a dense
// cell is read again. A newer array of the same name may hide the array
// meanwhile: the hold notes the hidden record, so that a write a later read
// would not find is refused as a deleted target's is.
#pragma once

#include "storage/other_records.h"
#include "storage/records.h"

class HeldTarget {
public:
    // slot: the value slot written (null: none yet); row: for an element of
    // a sparse array, the head of its row (null otherwise).
    HeldTarget(quoly** slot, colm** row);
    ~HeldTarget();
    HeldTarget(const HeldTarget&) = delete;
    HeldTarget& operator=(const HeldTarget&) = delete;
    // Whether what the slot or row belonged to was deleted meanwhile.
    bool lost() const { return lost_; }
    // For a sparse element: whether its entry was freed meanwhile (the
    // element is found again from its row, which still holds).
    bool entry_gone() const { return entry_gone_; }
    // The array record the slot or row lies in, once a newer array of its
    // name was declared meanwhile (null otherwise); whether it is still
    // hidden is the name table's to tell.
    const array* hidden() const { return hidden_; }

private:
    quoly** slot_;
    colm** row_;
    bool lost_ = false;
    bool entry_gone_ = false;
    const array* hidden_ = nullptr;
    HeldTarget* outer_;
    friend void release_held_in(const void* begin, const void* end);
    friend void hide_held_in(const void* begin, const void* end, const array* hidden);
    friend bool held_in(const void* begin, const void* end);
};

// Storage at [begin, end) is given up: the holds on it are lost.
void release_held_in(const void* begin, const void* end);
// Storage at [begin, end), of the record `hidden`, is now hidden by a newer
// array of its name: the holds on it note the record.
void hide_held_in(const void* begin, const void* end, const array* hidden);
// Whether a hold lies in [begin, end).
bool held_in(const void* begin, const void* end);
// Whether anything is held (the checks above cost nothing otherwise).
extern HeldTarget* innermost_held_target;
inline bool any_held_target() { return innermost_held_target != nullptr; }
