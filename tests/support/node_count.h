// Record conservation: every record carved from a stash is either in use or
// on its kind's free list, so records in use + records on free lists =
// records carved. Tests snapshot the records in use, work, give everything
// back, and check that only the records they still hold are in use.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "storage/records.h"
#include "storage/stash.h"

struct RecordTally {
    int64_t digits = 0;    // numnode
    int64_t numbers = 0;   // imag
    int64_t terms = 0;     // polynode
    int64_t quolys = 0;    // quoly
};

// Free-list lengths, each walk bounded by the stash's slug count so that a
// cycle (a record freed twice) is reported rather than followed forever.
::testing::AssertionResult free_list_lengths(RecordTally* out);
// Records carved from each stash: its slug count less the slugs still on the
// stash's own free list (which must equal slugs_used).
::testing::AssertionResult carved_counts(RecordTally* out);
// carved - free, per kind.
::testing::AssertionResult records_in_use(RecordTally* out);

class RecordLedger {
public:
    RecordLedger();
    // The records in use now are the snapshot's plus exactly `live`: each
    // listed number record and the digit nodes it owns.
    ::testing::AssertionResult balanced(const std::vector<const imag*>& live = {}) const;

private:
    RecordTally before_;
    bool ok_ = false;
};

// None of the numbers' records or digit nodes is on a free list.
::testing::AssertionResult not_on_free_lists(std::initializer_list<const imag*> numbers);
