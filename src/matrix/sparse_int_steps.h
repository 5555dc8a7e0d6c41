// The steps of the integer normal forms on a sparse matrix of plain
// integers: unimodular row and column operations kept in step with up to
// four sparse transforms, the pivot phase (`sparse_phaseone`), the
// reduction left of the Hermite pivots (`sp_hermite_two`) and the Smith
// divisibility pass (`sparse_phasetwo`, `swap_them`). Rows and columns
// count from 1. Every operation keeps T0 x A0 x T1 = the matrix (modulo m
// while a modulus is set), T2 = T0^-1 and T3 = T1^-1.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "det/det_state.h"
#include "numbers/flat_int.h"
#include "storage/other_records.h"
#include "storage/records.h"

struct SparseIntWork {
    sparse* a;
    int32_t R, K;
    sparse* T[4] = {nullptr, nullptr, nullptr, nullptr};  // T0, T2 R x R; T1, T3 K x K
    quoly* m = nullptr;    // when set, changed entries are kept in [-m/2, m/2]
    QuolyOwner half;
    FlatInt flat_m, flat_half;   // m and half as flat digits, for the steps' own arithmetic
    std::vector<sparse*> frames;

    SparseIntWork(sparse* first, int32_t rows, int32_t cols);
    // Sets the modulus (kept, not owned) and reduces every entry by it.
    void set_modulus(quoly* modulus);

    colm** head(int32_t r) const;
    // Every entry of row r into the modulus's range, zeros unlinked.
    void reduce_row(int32_t r);
    // The entry (r, c), null when absent.
    quoly* get(int32_t r, int32_t c) const;

    // column j -= q x column s, over rows r0 .. R (the caller knows both
    // columns are zero above r0).
    void col_sub(int32_t j, int32_t s, quoly* q, int32_t r0);
    // column j -= q_j x column s for each listed (j, q_j), ascending j, none
    // equal to s, over rows r0 .. R: one walk of each row for them all.
    void cols_sub(const std::vector<std::pair<int32_t, quoly*>>& qs, int32_t s, int32_t r0);
    // row i -= q x row s
    void row_sub(int32_t i, int32_t s, quoly* q);
    void col_swap(int32_t i, int32_t j, int32_t r0);
    void row_swap(int32_t i, int32_t j);
    // column j := -column j over rows r0 .. R
    void col_neg(int32_t j, int32_t r0);
};

// r into w's range, [-m/2, m/2] (no change without a modulus or inside it).
void flat_reduce(FlatInt& r, const SparseIntWork* w);
// A new plain-number quoly holding r.
quoly* flat_quoly(const FlatInt& r);

// *q := b div a truncated; floor (a > 0): rounded down, so that b - q x a
// lies in [0, a). Never a negated remainder: what is left in place is
// exactly b - q x a for the q recorded in the transforms.
void int_quotient(quoly* b, quoly* a, bool floor, QuolyOwner* q);

// both = 0 (Hermite): column operations only; each pivot is sought in one
// row, the next row with a non-zero entry in the remaining columns (a unit
// first, else the least absolute value), rows never move; pivot_rows
// receives the pivot's row for each column, the pivot made positive.
// both != 0 (Smith): row and column operations from position first_pivot;
// the block becomes diagonal with positive pivots on (k, k); *sign is
// toggled at every swap and negation. Returns the number of pivots, counted
// from column 1.
int32_t sparse_phaseone(SparseIntWork* w, int32_t first_pivot, int both, std::vector<int32_t>* pivot_rows,
                        int* sign);
// Each entry left of a Hermite pivot into [0, pivot).
void sp_hermite_two(SparseIntWork* w, const std::vector<int32_t>& pivot_rows);
// Exchanges diagonal positions r and k of a diagonal matrix with the
// matching exchanges in the transforms.
void swap_them(SparseIntWork* w, int32_t r, int32_t k);
// Makes d_t divide every later diagonal entry up to last (a diagonal
// matrix, positive entries 1 .. last).
void sparse_phasetwo(SparseIntWork* w, int32_t t, int32_t last);
