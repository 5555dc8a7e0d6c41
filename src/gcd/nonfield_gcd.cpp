// The gcd under relations that make no field (nonfield_gcd.h).
//
// Euclid's algorithm is sound over any commutative ring as long as every
// division is by a leading coefficient with a true inverse: each step
// d·A - q·B = R with d a unit keeps the common divisors of (A, B) those of
// (B, R), so the last non-zero remainder divides both operands and every
// common divisor divides it. The inverses come from the field inversion of
// the relation levels, run as if they were fields; a zero divisor met there
// ends the attempt, and each inverse found is checked by one product
// before it is used.
#include "gcd/nonfield_gcd.h"

#include <utility>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

constexpr int NOT_A_FIELD = 271;

int running = 0;

struct Running {
    Running() { running++; }
    ~Running() { running--; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
};

pt* record_at(int32_t level) {
    pt* r = polynames;
    while (r && r->level != level) r = r->next;
    return r;
}

// used[l] := 1 for every level l at which p has a non-zero exponent.
void mark_levels(const polynode* p, int32_t level, std::vector<char>& used) {
    for (; p; p = p->next) {
        if (p->numb) continue;
        if (p->exp != 0 && level < static_cast<int32_t>(used.size())) used[level] = 1;
        mark_levels(p->pcoef, level + 1, used);
    }
}

// The levels without a field of their own are taken for fields while an
// inverse is sought: the field inversion then runs Euclid's algorithm in
// them too, and a zero divisor it meets comes back as ZeroDivisorMet.
struct FieldsForInverse {
    std::vector<pt*> changed;
    FieldsForInverse() {
        for (pt* r = polynames; r; r = r->next)
            if (r->relation && !r->field) {
                r->field = 1;
                changed.push_back(r);
            }
    }
    ~FieldsForInverse() {
        for (pt* r : changed) r->field = 0;
    }
    FieldsForInverse(const FieldsForInverse&) = delete;
    FieldsForInverse& operator=(const FieldsForInverse&) = delete;
};

polynode* number_copy(imag* n) {
    imag* c = new_number();
    num_assign(n, c);
    return new_number_node(c);
}

polynode* copy_of(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

// The coefficient of the first term of a polynomial at x's level, as an
// element of the levels inside (a lone number when it is one).
polynode* first_coef(polynode* p) { return p->numb ? number_copy(p->ncoef) : copy_of(p->pcoef); }

int32_t degree(const polynode* p) { return p->numb ? 0 : p->exp; }

// c·N = d in the coefficient ring, d a non-zero number: false when no such
// pair is found (c is no unit, or one is not proved to be). c lies at the
// level of crec.
bool invert(polynode* c, pt* crec, PolyHold* N, imag** d) {
    if (single_number(c)) {
        if (iszero(c->ncoef)) return false;
        poly_set(1, &N->p);
        *d = new_number();
        num_assign(c->ncoef, *d);
        return true;
    }
    quoly* inv = nullptr;
    {
        FieldsForInverse as_fields;
        ZeroDivisorEscape escape;
        try {
            poly_mod_invert(c, &inv, crec);
        } catch (const ZeroDivisorMet&) {
            if (inv) free_quoly(&inv);
            return false;
        }
    }
    imag* den = new_number();
    if (inv->isnum) {
        N->reset(number_copy(inv->nnum));
        setvalue(1, den);
    } else {
        N->reset(inv->pnum);
        inv->pnum = nullptr;
        if (inv->den && single_number(inv->den))
            num_assign(inv->den->ncoef, den);
        else
            setvalue(1, den);
    }
    free_quoly(&inv);
    // The check that makes the inverse a proof, whatever road found it.
    PolyHold prod, diff, dn(number_copy(den));
    poly_mult(c, N->p, &prod.p, crec);
    poly_sub(prod.p, dn.p, &diff.p);
    if (!poly_iszero(diff.p) || iszero(den)) {
        free_imag(&den);
        return false;
    }
    *d = den;
    return true;
}

[[noreturn]] void refuse(const char* name) {
    error(NOT_A_FIELD, name);
    abandon_statement(NOT_A_FIELD);
}

// A single term x^e·c at x's level, c an element of the levels inside (taken).
polynode* term(int32_t e, polynode* c) {
    if (e == 0 && single_number(c)) return c;
    return new_term_node(e, c);
}

void drop_integer_content(polynode* p) {
    if (lintmode || poly_iszero(p)) return;
    imag* k = new_number();
    find_gcdcoefs(p, k);
    int m1 = 0;
    if (!equal_to_pm1(k, &m1) && !iszero(k)) num_poly_quot(p, k, 0);
    free_imag(&k);
}

// The gcd of A and B, polynomials in the free variable of xrec over the
// coefficient ring; both taken. Refuses when a leading coefficient is no
// unit.
polynode* euclid(polynode* a, polynode* b, pt* xrec, const char* name) {
    PolyHold A(a), B(b);
    pt* crec = inner(xrec);
    if (degree(A.p) < degree(B.p)) std::swap(A.p, B.p);
    while (!poly_iszero(B.p)) {
        PolyHold lcb(first_coef(B.p)), N;
        imag* d = nullptr;
        if (!invert(lcb.p, crec, &N, &d)) refuse(name);
        if (degree(B.p) == 0) {
            // A unit: the operands are coprime.
            free_imag(&d);
            PolyHold one;
            poly_set(1, &one.p);
            return one.release();
        }
        // A := d·A - x^e·(lc(A)·N)·B until its degree falls below B's.
        while (!poly_iszero(A.p) && degree(A.p) >= degree(B.p)) {
            const int32_t da = degree(A.p);
            PolyHold lca(first_coef(A.p)), c, t, tb, r;
            poly_mult(lca.p, N.p, &c.p, crec);
            t.p = term(da - degree(B.p), c.release());
            poly_mult(t.p, B.p, &tb.p, xrec);
            num_poly_mult(A.p, d);
            poly_sub(A.p, tb.p, &r.p);
            if (!poly_iszero(r.p) && degree(r.p) >= da) {
                free_imag(&d);
                refuse(name);
            }
            drop_integer_content(r.p);
            A.reset(r.release());
        }
        free_imag(&d);
        std::swap(A.p, B.p);
    }
    // Monic over the ring, then integral and primitive.
    PolyHold lc(first_coef(A.p)), N, g;
    imag* d = nullptr;
    if (!invert(lc.p, crec, &N, &d)) refuse(name);
    PolyHold t(term(0, N.release()));
    poly_mult(t.p, A.p, &g.p, xrec);
    if (lintmode) {
        num_poly_quot(g.p, d, 0);
    } else {
        drop_integer_content(g.p);
        polynode* first = g.p;
        while (!first->numb) first = first->pcoef;
        if (first->ncoef->head->digit < 0) poly_inplace(g.p);
    }
    free_imag(&d);
    return g.release();
}

// p descended from level `from` to level `to` through its padding levels
// (the levels it does not use); a copy.
polynode* at_level(polynode* p, int32_t from, int32_t to) {
    for (; from < to && !p->numb; from++) p = p->pcoef;
    return copy_of(p);
}

// The common integer content of the operands, as a number (1 in
// machine-integer mode); null when it is 1.
imag* common_content(polynode* u, polynode* v) {
    if (lintmode) return nullptr;
    imag* cu = new_number();
    imag* cv = new_number();
    imag* c = new_number();
    find_gcdcoefs(u, cu);
    find_gcdcoefs(v, cv);
    binary_gcd(cu, cv, c);
    free_imag(&cu);
    free_imag(&cv);
    int m1 = 0;
    if (equal_to_pm1(c, &m1) || iszero(c)) free_imag(&c);
    return c;
}

}  // namespace

bool nonfield_gcd(polynode* u, polynode* v, polynode** g, pt* vars) {
    if (running || laurent || !vars || !polynames) return false;
    if (modularmode && !mod_is_prime && !finf) return false;
    const int32_t top = vars->level;
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    mark_levels(u, top, used);
    mark_levels(v, top, used);

    // The band of relation levels at the inside: the coefficient ring.
    int32_t band = number_polys + 1;
    while (band > 1) {
        pt* r = record_at(band - 1);
        if (!r || !r->relation) break;
        band--;
    }
    const char* name = nullptr;
    std::vector<int32_t> free_levels;
    bool outside_band = false;
    for (pt* r = polynames; r; r = r->next) {
        if (!used[r->level]) continue;
        if (r->relation && !r->field && !name) name = r->name;
        if (r->level < band) {
            if (r->relation) outside_band = true;
            else free_levels.push_back(r->level);
        }
    }
    if (!name) return false;
    Running inside;
    if (outside_band || free_levels.size() > 1) refuse(name);

    polynode* result = nullptr;
    if (free_levels.empty()) {
        // Elements of the ring: a unit makes them coprime; two non-units
        // have no gcd this module can prove.
        PolyHold N;
        imag* d = nullptr;
        bool unit = invert(u, vars, &N, &d);
        if (!unit) unit = invert(v, vars, &N, &d);
        if (!unit) refuse(name);
        free_imag(&d);
        imag* c = common_content(u, v);
        if (c) {
            result = new_number_node(c);
        } else {
            poly_set(1, &result);
        }
    } else {
        const int32_t x = free_levels[0];
        pt* xrec = record_at(x);
        result = euclid(at_level(u, top, x), at_level(v, top, x), xrec, name);
        if (imag* c = common_content(u, v)) {
            num_poly_mult(result, c);
            free_imag(&c);
        }
        if (!single_number(result) && x > top) add_pad(&result, x - top);
    }
    free_poly(g);
    *g = result;
    return true;
}
