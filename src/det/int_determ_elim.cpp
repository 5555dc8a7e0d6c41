#include "det/int_determ_elim.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "det/det_state.h"
#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "matrix/dense_vectors.h"
#include "matrix/int_normal.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using dense_vectors::at;

namespace {

// det modulo the sixth table prime, from residues of the untouched cells.
int32_t det_mod_table_prime(quoly** cells, int32_t n) {
    RingStateGuard ring;
    const int32_t p = prime[5]->value;
    install_modulus(p);
    mod_is_prime = 1;
    std::vector<uint32_t> a(static_cast<size_t>(n) * n);
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = 0; i < n; i++)
            a[static_cast<size_t>(i) * n + j] = static_cast<uint32_t>(chain_residue(cells[int64_t{j} * n + i]->nnum, p));
    return eliminate_mod(a, n, 1);
}

// x := x rem m in [0, m), m > 0.
void least_residue(quoly** x, quoly* m) {
    if (quoly_iszero(*x)) return;
    QuolyOwner q, r;
    quoly_set(0, &q.q);
    quoly_set(0, &r.q);
    divide((*x)->nnum, m->nnum, q.q->nnum, r.q->nnum);
    if (!quoly_iszero(r.q) && r.q->nnum->head->digit < 0) fastsum(r.q->nnum, m->nnum);
    if (quoly_iszero(r.q)) quoly_set(0, &r.q);
    free_quoly(x);
    *x = r.q;
    r.q = nullptr;
}

// The trailing block from (from, from) on, through the hub.
void trailing_determinant(quoly** w, int32_t n, int32_t from, quoly** det) {
    const int32_t t = n - from;
    WorkCopy block(nullptr, 0, "Determ");
    for (int32_t j = 0; j < t; j++)
        for (int32_t i = 0; i < t; i++) {
            block.cells[int64_t{j} * t + i] = nullptr;
            quoly_assign(at(w, n, from + i, from + j), &block.cells[int64_t{j} * t + i]);
            block.count++;
        }
    sparse* none = nullptr;
    quoly_set(1, det);
    mat_invert(block.cells, nullptr, 0, 0, t, det, 0, 0, &none, nullptr, -1, -1, -1, 0, 0);
}

}  // namespace

void int_determ_elimination(quoly** result, quoly** cells, int32_t n, bool plain, int32_t limit) {
    if (!plain) limit = n - 1;
    int32_t d0 = 0;
    QuolyOwner B;
    if (!plain) {
        d0 = det_mod_table_prime(cells, n);
        imag* b = new_number();
        int small = 0;
        int32_t total = 0;
        find_pseudo(nullptr, cells, b, &small, n, n, &total, 0, 1);
        scalar_to_quoly(b, &B.q);
        free_imag(&b);
    }
    // The work copy stands for the array the elimination may change; it
    // goes with every exit, errors and interrupts included.
    WorkCopy w(cells, int64_t{n} * n, "Determ");
    int sign = 0;
    const int32_t last = phaseone(w.cells, n, n, 0, limit, &sign, plain ? nullptr : B.q);
    if (last < limit) {
        quoly_set(0, result);
        return;
    }
    QuolyOwner d;
    quoly_set(1, &d.q);
    for (int32_t k = 0; k <= limit; k++) {
        QuolyOwner t;
        quoly_mult(d.q, at(w.cells, n, k, k), &t.q);
        std::swap(d.q, t.q);
        if (!plain) least_residue(&d.q, B.q);
    }
    if (plain) {
        if (sign && !quoly_iszero(d.q)) in_place_neg(d.q->nnum);
        if (limit < n - 1) {
            QuolyOwner rest, t;
            trailing_determinant(w.cells, n, limit + 1, &rest.q);
            quoly_mult(d.q, rest.q, &t.q);
            std::swap(d.q, t.q);
        }
    } else if (!quoly_iszero(d.q)) {
        // d = 0 needs nothing: det is a multiple of B below B.
        if (sign) {
            QuolyOwner t;
            quoly_set(0, &t.q);
            sub(B.q->nnum, d.q->nnum, t.q->nnum);
            std::swap(d.q, t.q);
        }
        // |det| < B: det is d or d - B, which differ modulo the odd prime.
        if (chain_residue(d.q->nnum, prime[5]->value) != d0) sub(d.q->nnum, B.q->nnum, d.q->nnum);
    }
    quoly_assign(d.q, result);
}
