#include "matrix/dense_vectors.h"

#include <utility>

#include "numbers/numbers.h"
#include "quoly/quoly.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace dense_vectors {

void swap_vector_rows(quoly** v, int32_t ld, int32_t i, int32_t j, int32_t columns) {
    if (columns < 0) columns = ld;
    for (int32_t c = 0; c < columns; c++) std::swap(at(v, ld, i, c), at(v, ld, j, c));
}

namespace {

void combine(quoly** x, quoly** y, int64_t stride, int32_t count, quoly* f, bool subtract) {
    for (int32_t t = 0; t < count; t++) {
        quoly* b = y[t * stride];
        if (quoly_iszero(b)) continue;
        quoly* prod = nullptr;
        quoly_mult(f, b, &prod);
        if (subtract)
            best_quoly_sub(&x[t * stride], prod);
        else
            best_quoly_add(&x[t * stride], prod);
    }
}

}  // namespace

void sub_scaled(quoly** x, quoly** y, int64_t stride, int32_t count, quoly* f) {
    combine(x, y, stride, count, f, true);
}

void add_scaled(quoly** x, quoly** y, int64_t stride, int32_t count, quoly* f) {
    combine(x, y, stride, count, f, false);
}

void divide_cell(quoly** cell, quoly* f) {
    if (quoly_iszero(*cell)) return;
    fast_quoly_quot(cell, &f, 0);
}

void multiply_cell(quoly** cell, quoly* f) {
    if (quoly_iszero(*cell)) return;
    fast_quoly_mult(cell, &f);
}

bool quoly_isone(const quoly* q) { return q->isnum && equal(q->nnum, number_1); }

VerboseLevel::VerboseLevel(const char* label, long n) : count(n) {
    dumpitt_level++;
    if (verbose) dumpitt(label, n, 1, 1, 1);
}

VerboseLevel::~VerboseLevel() { decr_dumpitt(count, 1, verbose); }

void VerboseLevel::step(long k) const {
    if (verbose) dumpitt(" ", k, 0, 0, 1);
}

}  // namespace dense_vectors
