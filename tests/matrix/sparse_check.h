// Checks and a dense reference model for the sparse-matrix tests.
#pragma once
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// Every sparse invariant over rows 1..n of an n x m matrix: each row
// strictly ascending, columns 1..m, no null and no stored zero, each value
// in normal form; an absent element reads as the shared quol_num_0; the
// chain has (n - 1) / 2048 + 1 frames or more.
::testing::AssertionResult sparse_ok(sparse* first, int32_t n, int32_t m);

// A dense n x m matrix of rationals, row-major, indices from 1.
struct Model {
    int32_t n = 0, m = 0;
    std::vector<mpq_class> v;
    Model(int32_t rows, int32_t cols) : n(rows), m(cols), v(size_t(rows) * cols) {}
    mpq_class& at(int32_t r, int32_t c) { return v[size_t(r - 1) * m + (c - 1)]; }
    const mpq_class& at(int32_t r, int32_t c) const { return v[size_t(r - 1) * m + (c - 1)]; }
    Model transposed() const;
};

// The matrix holds exactly the model's values (plain numbers and rationals).
::testing::AssertionResult matches(sparse* first, const Model& model);

// A fresh quoly holding the rational x (a plain number for an integer).
quoly* make_q(const mpq_class& x);
// A fresh quoly holding the integer v, whole.
quoly* integer_q(const mpz_class& v);
// The integer values of rows 1..n of an n x m matrix, absent entries 0.
std::vector<std::vector<mpz_class>> integer_values(sparse* first, int32_t n, int32_t m);
// A matrix built from the model by hand (entries and frames from the free
// lists), not by the routines under test.
sparse* build_from(const Model& model);

// Records of the matrix store in use: entries carved less colm_garb, and the
// lengths of spargarb and arr_garb.
int64_t colms_in_use();
int64_t frames_free();
int64_t arrays_free();
