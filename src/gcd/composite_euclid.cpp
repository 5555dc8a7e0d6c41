// Euclid's steps modulo a composite number in several free variables
// (composite_euclid.h).
#include "gcd/composite_euclid.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "gcd/nonfield_multi.h"
#include "gcd/nonfield_ring.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace nonfield {

namespace {

// The outermost level at or below `level` at which p has a non-zero
// exponent; 0 for none (p is a residue, perhaps padded).
int32_t outermost(const polynode* p, int32_t level) {
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    mark_levels(p, level, used);
    for (int32_t l = level; l <= number_polys; l++)
        if (used[static_cast<size_t>(l)]) return l;
    return 0;
}

// p moved from `from` down to `to` through levels it does not use.
void descend(PolyHold* p, int32_t from, int32_t to) {
    polynode* q = p->p;
    for (; from < to && !q->numb; from++) q = q->pcoef;
    p->reset(copy_of(q));
}

// The number of p's first term in every variable.
imag* leading_number(polynode* p) {
    while (!p->numb) p = p->pcoef;
    return p->ncoef;
}

bool unit_residue(imag* n) { return !iszero(n) && smallgcd(n->value, modulus) == 1; }

// q with b·q = a, both elements of the levels from `level` in; null when
// b's leading number is no unit or b does not divide a.
polynode* quotient(polynode* a, polynode* b, int32_t level) {
    imag* scale = nullptr;
    polynode* q = exact_div(a, b, level, Band{number_polys + 1, nullptr}, &scale);
    if (!q) return nullptr;
    // b·q = scale·a, the scale a product of unit residues.
    num_poly_quot(q, scale, 0);
    free_imag(&scale);
    return q;
}

}  // namespace

polynode* composite_euclid(polynode* a, polynode* b, int32_t level) {
    PolyHold A(copy_of(a)), B(copy_of(b));
    int32_t at = level;
    for (;;) {
        if (poly_iszero(A.p)) std::swap(A.p, B.p);
        if (poly_iszero(B.p)) break;
        const int32_t fa = outermost(A.p, at), fb = outermost(B.p, at);
        if (!fa && !fb) {
            // Two residues: coprime when one is a unit; two zero divisors
            // are no gcd this road proves.
            if (!unit_residue(leading_number(A.p)) && !unit_residue(leading_number(B.p))) refuse(nullptr);
            A.reset(nullptr);
            poly_set(1, &A.p);
            at = level;
            break;
        }
        const int32_t f = !fa ? fb : !fb ? fa : std::min(fa, fb);
        descend(&A, at, f);
        descend(&B, at, f);
        at = f;
        if (degree(A.p) < degree(B.p)) std::swap(A.p, B.p);
        // A - q·x^e·B drops A's degree and keeps the common divisors; with
        // equal degrees either operand may be the divisor.
        PolyHold la(first_coef(A.p)), lb(first_coef(B.p));
        PolyHold q(quotient(la.p, lb.p, f + 1));
        if (!q.p && degree(A.p) == degree(B.p)) {
            std::swap(A.p, B.p);
            q.reset(quotient(lb.p, la.p, f + 1));
        }
        if (!q.p) refuse(nullptr);
        const int32_t da = degree(A.p);
        PolyHold t(term(da - degree(B.p), q.release())), tb, r;
        poly_mult(t.p, B.p, &tb.p, record_at(f));
        poly_sub(A.p, tb.p, &r.p);
        if (!poly_iszero(r.p) && degree(r.p) >= da) refuse(nullptr);
        A.reset(r.release());
    }
    if (poly_iszero(A.p)) return A.release();
    // Made monic in the leading number where it is a unit.
    if (imag* lead = leading_number(A.p); unit_residue(lead)) {
        imag* k = new_number();
        num_assign(lead, k);
        num_poly_quot(A.p, k, 0);
        free_imag(&k);
    }
    if (!single_number(A.p) && at > level) add_pad(&A.p, at - level);
    return A.release();
}

}  // namespace nonfield
