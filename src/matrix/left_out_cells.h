// Cells and entries of an array a conversion list left out, as modular
// arithmetic reads them: the built-ins and statements that take them where
// they stand read each left-out one as its element of the ring, and one
// without an element is error 85 before anything is read or changed.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"
#include "toplevel/ring_change.h"

// While it lives, the cells of a block (rows x columns from store index
// first, stride cells from one column to the next) that are left out hold
// their elements of the ring; their own values come back when it ends,
// however the statement ends. For readers that change nothing.
class CellsInRing {
  public:
    CellsInRing(int32_t first, int32_t rows, int32_t columns, int32_t stride);
    ~CellsInRing();
    CellsInRing(const CellsInRing&) = delete;
    CellsInRing& operator=(const CellsInRing&) = delete;

  private:
    struct held {
        quoly** cell;
        quoly* own;
    };
    std::vector<held> cells_;
};

// A sparse array read whole where it stands: record() is the array itself
// or, for one a conversion list left out, a stand-in whose frames are a
// copy holding the elements of the ring, freed when this ends (an entry
// without one is error 85). Within a range: the entries in it alone.
class SparseInRing {
  public:
    explicit SparseInRing(array* a, const entry_range& within = {});
    ~SparseInRing();
    SparseInRing(const SparseInRing&) = delete;
    SparseInRing& operator=(const SparseInRing&) = delete;
    array* record() { return copy_ ? &stand_in_ : own_; }

  private:
    array* own_;
    array stand_in_;
    sparse* copy_;
};

// For built-ins that rewrite a sparse array's entries: each left-out one
// becomes its element of the ring in place, as if assigned; an entry whose
// element is 0 is removed.
void enter_ring_entries(array* a);
