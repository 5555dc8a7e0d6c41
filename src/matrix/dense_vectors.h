// Row and column steps on flat column-major matrices of quoly pointers
// (element (r, c) from 0 at c x ld + r, every cell holding a quoly), and
// the progress phase of the dense reductions.
#pragma once
#include <cstdint>

#include "storage/records.h"

namespace dense_vectors {

inline quoly*& at(quoly** v, int32_t ld, int32_t i, int32_t j) { return v[int64_t{j} * ld + i]; }

// Exchanges rows i and j over columns 0 .. columns - 1 (all ld by default).
void swap_vector_rows(quoly** v, int32_t ld, int32_t i, int32_t j, int32_t columns = -1);
// x[t x stride] := x[t x stride] - f x y[t x stride] for t = 0 .. count - 1
// (sub_scaled) or + f x y (add_scaled); zero cells of y are skipped.
void sub_scaled(quoly** x, quoly** y, int64_t stride, int32_t count, quoly* f);
void add_scaled(quoly** x, quoly** y, int64_t stride, int32_t count, quoly* f);
// In place: *cell := *cell / f, *cell := *cell x f.
void divide_cell(quoly** cell, quoly* f);
void multiply_cell(quoly** cell, quoly* f);
// The plain number 1.
bool quoly_isone(const quoly* q);

// A progress phase: the label and count when verbose, marks by step(),
// the level lowered on every exit.
struct VerboseLevel {
    long count;
    VerboseLevel(const char* label, long n);
    ~VerboseLevel();
    void step(long k) const;
    VerboseLevel(const VerboseLevel&) = delete;
    VerboseLevel& operator=(const VerboseLevel&) = delete;
};

}  // namespace dense_vectors
