// Sparse polynomial determinants over the integers. The images modulo the
// table primes, their Chinese remaindering and the check of the answer at
// an unused prime are the dense integer method's: the sparse matrix is
// laid out as cells for it (up to 1,000 x 1,000).
#include <cstdio>

#include "det/det_state.h"
#include "det/poly_det.h"
#include "det/sparse_poly_det.h"
#include "matrix/sparse.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

// The matrix as column-major cells in a lent work block.
struct DenseLayout {
    WorkCopy block;
    DenseLayout(sparse* frame, int32_t n) : block(nullptr, 0, "Det") {
        const int64_t count = int64_t{n} * n;
        for (int64_t c = 0; c < count; c++) block.cells[c] = nullptr;
        block.count = count;
        for (int64_t c = 0; c < count; c++) quoly_set(0, &block.cells[c]);
        for (int32_t r = 1; r <= n; r++)
            for (colm* e = *row_head(frame, r); e; e = e->next)
                quoly_assign(e->val, &block.cells[int64_t{e->col - 1} * n + (r - 1)]);
    }
};

bool fits(int32_t n) { return int64_t{n} * n <= WORK_BLOCK_CELLS; }

}  // namespace

int sparse_rat_poly_determ(sparse* frame, int32_t depth, int32_t n, quoly** result, polynode* factor,
                           int32_t degree, int32_t second_degree, int32_t power, int32_t prime_count) {
    (void)second_degree;
    (void)prime_count;
    if (field_depth > 0 && field_depth <= depth) return 0;
    const int64_t k = power < 0 ? -int64_t{power} : power;
    if (k > 2 && k % 2 == 0 && (k & (k - 1)) != 0) {
        if (verbose) std::printf("Specified power must be odd or power of 2. LaGrange method abandoned.\n");
        return 0;
    }
    if (n > 65535) {
        std::printf("Warning. Too many columns (> 65535) for sparse LaGrange method.\n");
        return 0;
    }
    // Roots and polynomials in X^k are taken only modulo a prime.
    if (k > 1) return 0;
    if (!fits(n)) return 0;
    struct Active {
        Active() { sparse_integer_depth++; }
        ~Active() { sparse_integer_depth--; }
    } active;
    DenseLayout cells(frame, n);
    return rat_poly_determ(cells.block.cells, depth, n, result, laurent, factor, degree);
}

int use_sparse_rat_poly_det(sparse* frame, int32_t depth, int32_t n, quoly** result) {
    if (!fits(n)) return 0;
    struct Active {
        Active() { sparse_integer_depth++; }
        ~Active() { sparse_integer_depth--; }
    } active;
    DenseLayout cells(frame, n);
    return use_rat_poly_det(cells.block.cells, depth, n, result);
}
