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
#include "storage/equality.h"
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

// p with its residues taken modulo q^k (a divisor of the modulus), divided
// by `shift` (a power of the prime q that divides each of them there), and
// taken modulo q: a new polynomial, null for zero, in the form the
// conversions give (an exponent-0 wrapper around a lone number is that
// number).
polynode* image_modulo(const polynode* p, int32_t q, int32_t power, int32_t shift = 1) {
    polynode* head = nullptr;
    polynode** link = &head;
    for (; p; p = p->next) {
        polynode* t = nullptr;
        if (p->numb) {
            const int32_t r = p->ncoef->value % power / shift % q;
            if (r == 0) continue;
            imag* n = new_number();
            setvalue(r, n);
            t = new_number_node(n);
            t->exp = p->exp;
        } else {
            polynode* c = image_modulo(p->pcoef, q, power, shift);
            if (!c) continue;
            t = p->exp == 0 && c->numb && !c->next ? c : new_term_node(p->exp, c);
        }
        *link = t;
        link = &t->next;
    }
    return head;
}

// The greatest power of q below `power` that divides every residue of p
// modulo `power`; `power` itself where p is 0 there.
int32_t q_part(const polynode* p, int32_t q, int32_t power) {
    int32_t part = power;
    for (; p && part > 1; p = p->next) {
        if (!p->numb) {
            part = std::min(part, q_part(p->pcoef, q, power));
            continue;
        }
        const int32_t r = p->ncoef->value % power;
        while (r % part) part /= q;
    }
    return part;
}

// Whether the images a and b modulo the prime q have no common factor but
// units.
bool coprime_images(polynode* a, polynode* b, int32_t q, pt* vars) {
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
    polygcd(a, b, &g.p, 0, 1, 1, vars, 1, 1, 1);
    return single_number(g.p);
}

// Whether h is all that the cofactors a and b leave in common modulo q^k,
// the power of the prime q in the modulus, d any common divisor of h·a and
// h·b (proved_plain_gcd):
// - one cofactor is a unit there (its image modulo q a number not 0, the
//   rest nilpotent): h is the other operand's associate, even where h is
//   0 modulo q (3xy + 6 = gcd(0, 3xy + 6) modulo 12);
// - h and neither cofactor is 0 modulo q, and the cofactors' images there
//   have no common factor but units;
// - b = q^j·b' (0 < j < k, b' not 0 modulo q) while h and a are not 0
//   modulo q, and a's image has no common factor with those of b' and h:
//   h·a is no zero divisor, nor then is d; d divides q^j·h·b', so h·b'
//   modulo q^(k-j), so h there as above; h = d·e + q^(k-j)·r then makes d
//   divide r·a modulo q^j, so r, as a is coprime to d's image, a factor of
//   h's (x^2 = gcd(x^3 + x^2, 2x^2) modulo 4).
bool coprime_modulo(polynode* h, polynode* a, polynode* b, int32_t q, int32_t power, pt* vars) {
    PolyHold ia(image_modulo(a, q, power)), ib(image_modulo(b, q, power));
    for (polynode* i : {ia.p, ib.p})
        if (i && single_number(i)) return true;
    if (!ia.p && !ib.p) return false;
    PolyHold ih(image_modulo(h, q, power));
    if (!ih.p) return false;
    if (ia.p && ib.p) return coprime_images(ia.p, ib.p, q, vars);
    polynode* zero = ia.p ? b : a;
    polynode* other = ia.p ? ia.p : ib.p;
    const int32_t part = q_part(zero, q, power);
    if (part == power) return false;
    PolyHold rest(image_modulo(zero, q, power, part));
    return coprime_images(other, rest.p, q, vars) && coprime_images(other, ih.p, q, vars);
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
    // images of a and b share (or what coprime_modulo says besides): then
    // every common divisor of a and b
    // divides h modulo each prime power of the modulus (by induction on
    // the power: a divisor d with h = d·e modulo q^(k-1) and a, b not both
    // divisible by q leaves h - d·e = q^(k-1)·r with d dividing r·(a/h) and
    // r·(b/h) modulo q, so r modulo q, the cofactors being coprime there),
    // and so modulo the modulus.
    int32_t m = modulus;
    for (int32_t q = 2; m > 1; q++) {
        if (q * q > m) q = m;
        if (m % q) continue;
        int32_t power = 1;
        for (; m % q == 0; m /= q) power *= q;
        if (!coprime_modulo(h.p, qa.p, qb.p, q, power, vars)) return nullptr;
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
    // gcd(a, a) is a, whatever its leading number (gcd(0, a) asks for it):
    // no quotient by a leading number without inverse, no image to prove.
    if (a == b || poly_equal(a, b)) {
        polynode* h = copy_of(a);
        lead_number_one(h);
        return h;
    }
    // Each road's answer is proved by the images alone: the plain gcds of
    // one variable inside find some that Euclid's refuse, and the other way
    // round. The road the plain gcd always took first, so that what it
    // answered costs it little more.
    for (int road : {PLAIN_SEVERAL_VARIABLES, PLAIN_EVERY_GCD})
        if (polynode* h = proved_plain_gcd(a, b, level, vars, road)) return h;
    return composite_euclid(a, b, level);
}

}  // namespace nonfield
