// Euclid's steps modulo a composite number in several free variables
// (composite_euclid.h).
#include "gcd/composite_euclid.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "gcd/gcdstash.h"
#include "gcd/nonfield_multi.h"
#include "gcd/nonfield_ring.h"
#include "gcd/polygcd.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace nonfield {

namespace {

constexpr int NO_RESIDUE_INVERSE = 85;

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

// In place: p divided by its leading number where that is a unit.
void lead_number_one(polynode* p) {
    imag* lead = leading_number(p);
    if (!unit_residue(lead)) return;
    imag* k = new_number();
    num_assign(lead, k);
    num_poly_quot(p, k, 0);
    free_imag(&k);
}

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

// p with its residues taken modulo the prime q (a divisor of the modulus):
// a new polynomial, null for zero, in the form the conversions give (an
// exponent-0 wrapper around a lone number is that number).
polynode* image_modulo(const polynode* p, int32_t q) {
    polynode* head = nullptr;
    polynode** link = &head;
    for (; p; p = p->next) {
        polynode* t = nullptr;
        if (p->numb) {
            const int32_t r = p->ncoef->value % q;
            if (r == 0) continue;
            imag* n = new_number();
            setvalue(r, n);
            t = new_number_node(n);
            t->exp = p->exp;
        } else {
            polynode* c = image_modulo(p->pcoef, q);
            if (!c) continue;
            t = p->exp == 0 && c->numb && !c->next ? c : new_term_node(p->exp, c);
        }
        *link = t;
        link = &t->next;
    }
    return head;
}

// Whether h is not 0 modulo the prime q and the images there of a and b
// have no common factor but units (a lone number, or one image zero and
// the other a unit).
bool coprime_modulo(polynode* h, polynode* a, polynode* b, int32_t q, pt* vars) {
    if (PolyHold ih(image_modulo(h, q)); !ih.p) return false;
    PolyHold ia(image_modulo(a, q)), ib(image_modulo(b, q));
    if (!ia.p || !ib.p) {
        const polynode* other = ia.p ? ia.p : ib.p;
        return other && single_number(const_cast<polynode*>(other));
    }
    RingStateGuard ring;
    const int16_t stash = lookupgcd;
    struct StashBack {
        int16_t saved;
        ~StashBack() { lookupgcd = saved; }
    } stash_back{stash};
    // Residue gcds modulo the composite number must not meet these.
    lookupgcd = -1000;
    install_modulus(q);
    mod_is_prime = 1;
    PolyHold g;
    polygcd(ia.p, ib.p, &g.p, 0, 1, 1, vars, 1, 1, 1);
    return single_number(g.p);
}

// The plain gcd of a and b as a new polynomial where the images prove it;
// null where they do not, where it refuses, or where a variable has a
// relation. `road` says which gcds inside it are plain too.
polynode* proved_plain_gcd(polynode* a, polynode* b, int32_t level, pt* vars, int road) {
    // The images read residue words and need no relation to reduce.
    if (!lintmode) return nullptr;
    for (pt* r = polynames; r; r = r->next)
        if (r->relation || r->binomial) return nullptr;
    PolyHold h;
    try {
        QuietInverseFailures quiet;
        struct Road {
            int before = composite_plain_road;
            explicit Road(int r) { composite_plain_road = r; }
            ~Road() { composite_plain_road = before; }
            Road(const Road&) = delete;
            Road& operator=(const Road&) = delete;
        } plain(road);
        polygcd(a, b, &h.p, 0, 1, 1, vars, 1, 1, 1);
    } catch (const TarvexUnwind& e) {
        if (e.code != NO_RESIDUE_INVERSE) throw;
        return nullptr;
    }
    if (poly_iszero(h.p)) return nullptr;
    const Band free{number_polys + 1, nullptr};
    imag* sa = nullptr;
    imag* sb = nullptr;
    PolyHold qa(exact_div(a, h.p, level, free, &sa)), qb(exact_div(b, h.p, level, free, &sb));
    if (sa) free_imag(&sa);
    if (sb) free_imag(&sb);
    if (!qa.p || !qb.p) return nullptr;
    // Modulo each prime q dividing the modulus, h must be all that the
    // images of a and b share: then every common divisor of a and b
    // divides h modulo each prime power of the modulus (by induction on
    // the power: a divisor d with h = d·e modulo q^(k-1) and a, b not both
    // divisible by q leaves h - d·e = q^(k-1)·r with d dividing r·(a/h) and
    // r·(b/h) modulo q, so r modulo q, the cofactors being coprime there),
    // and so modulo the modulus.
    int32_t m = modulus;
    for (int32_t q = 2; m > 1; q++) {
        if (q * q > m) q = m;
        if (m % q) continue;
        while (m % q == 0) m /= q;
        if (!coprime_modulo(h.p, qa.p, qb.p, q, vars)) return nullptr;
    }
    lead_number_one(h.p);
    return h.release();
}

// Euclid's steps A - q·x^e·B (composite_euclid.h); error 85 where neither
// leading coefficient divides the other.
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
    lead_number_one(A.p);
    if (!single_number(A.p) && at > level) add_pad(&A.p, at - level);
    return A.release();
}

}  // namespace

int composite_plain_road = 0;

polynode* composite_gcd(polynode* a, polynode* b, int32_t level, pt* vars) {
    // Each road's answer is proved by the images alone: the plain gcds of
    // one variable inside find some that Euclid's refuse, and the other way
    // round. The road the plain gcd always took first, so that what it
    // answered costs it little more.
    for (int road : {PLAIN_SEVERAL_VARIABLES, PLAIN_EVERY_GCD})
        if (polynode* h = proved_plain_gcd(a, b, level, vars, road)) return h;
    return composite_euclid(a, b, level);
}

}  // namespace nonfield
