#include "det/small_determ.h"

#include <vector>

#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

inline quoly*& at(quoly** c, int32_t n, int32_t i, int32_t j) { return c[int64_t{j} * n + i]; }

bool zero(quoly* q) { return !q || quoly_iszero(q); }

void swap_lines(quoly** c, int32_t n, bool columns, int32_t a, int32_t b) {
    for (int32_t t = 0; t < n; t++) {
        if (columns)
            std::swap(at(c, n, t, a), at(c, n, t, b));
        else
            std::swap(at(c, n, a, t), at(c, n, b, t));
    }
}

}  // namespace

void small_determ(quoly** result, quoly** c, int32_t n, int trace) {
    if (n == 2) {
        quoly* a = nullptr;
        quoly* b = nullptr;
        quoly_mult(at(c, n, 0, 0), at(c, n, 1, 1), &a);
        quoly_mult(at(c, n, 1, 0), at(c, n, 0, 1), &b);
        best_quoly_sub(&a, b);
        free_quoly(result);
        *result = a;
        return;
    }
    // The line with the most zeros; rows first, a later line or a column
    // only with strictly more.
    int32_t best = -1, best_line = 0;
    bool column = false;
    for (int32_t i = 0; i < n; i++) {
        int32_t z = 0;
        for (int32_t j = 0; j < n; j++) z += zero(at(c, n, i, j));
        if (z > best) best = z, best_line = i;
    }
    for (int32_t j = 0; j < n; j++) {
        int32_t z = 0;
        for (int32_t i = 0; i < n; i++) z += zero(at(c, n, i, j));
        if (z > best) best = z, best_line = j, column = true;
    }
    if (best_line != 0) swap_lines(c, n, column, 0, best_line);

    const int32_t m = n - 1;
    std::vector<quoly*> buf(static_cast<size_t>(m) * m);
    for (int32_t j = 1; j < n; j++)
        for (int32_t i = 1; i < n; i++) buf[(j - 1) * m + (i - 1)] = at(c, n, i, j);
    quoly* sum = nullptr;
    quoly_set(0, &sum);
    quoly_detail::QuolyHold hold(sum);
    for (int32_t t = 0; t < n; t++) {
        if (trace) dumpitt(" ", t + 1, 0, 0, 1);
        quoly* e = column ? at(c, n, t, 0) : at(c, n, 0, t);
        if (!zero(e)) {
            quoly* minor = nullptr;
            quoly_set(1, &minor);
            quoly_detail::QuolyHold mh(minor);
            small_determ(&mh.q, buf.data(), m, 0);
            fast_quoly_mult(&mh.q, &e);
            if (t & 1) quoly_inplace(mh.q);
            best_quoly_add(&hold.q, mh.release());
        }
        // The buffer moves on to the minor of the next cell of the line.
        if (t + 1 < n) {
            if (column)
                for (int32_t j = 1; j < n; j++) buf[(j - 1) * m + t] = at(c, n, t, j);
            else
                for (int32_t i = 1; i < n; i++) buf[t * m + (i - 1)] = at(c, n, i, t);
        }
    }
    if (best_line != 0) {
        swap_lines(c, n, column, 0, best_line);
        quoly_inplace(hold.q);
    }
    free_quoly(result);
    *result = hold.release();
}
