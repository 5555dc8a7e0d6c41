// Echelon forms of sparse matrices over a prime field or GF(2^8) / GF(2^16)
// whose every entry is a plain number: the residue versions the general
// routines of sparse_echelon.h hand over to. Flags, transforms and pairs as
// there; R rows, M columns; each returns the rank.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// Reduced row echelon form, worked on a raw-residue copy that replaces m's rows at the end.
int32_t sparse_mod_redrowech(sparse* m, const int flags[2], int32_t R, int32_t M, sparse* sparse_out[2]);
// Row reduction with pivoting to upper-triangular form, at most limit
// pivots, worked on a raw-residue copy that replaces m's rows at the end.
int32_t sparse_mod_rowreduce(sparse* m, int pseudet, const int flags[4], int32_t R, int32_t M,
                             std::vector<int32_t>* pairs_out, sparse* sparse_out[4], int32_t limit);

// The link slot in the row at head where column col's entry is or would be.
colm** echelon_slot(colm** head, int32_t col);
// The slot of the pivot entry (row at head, column col); a missing one is
// the fatal internal error `which`, ending the statement.
colm** echelon_pivot_slot(colm** head, int32_t col, const char* which);

// Progress level of one reduction, closed on every exit.
struct EchelonProgress {
    long n;
    EchelonProgress(const char* header, long size);
    void step(long count) const;
    ~EchelonProgress();
    EchelonProgress(const EchelonProgress&) = delete;
    EchelonProgress& operator=(const EchelonProgress&) = delete;
};
