// The gcd over a ring of relations that make no field (nonfield_multi.h).
#include "gcd/nonfield_multi.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "gcd/multimodular_inverse.h"
#include "gcd/nonfield_ring.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/modout_bare.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"

namespace nonfield {

namespace {

// What is left of a budgeted gcd run's work, in units of the size of the
// operands its steps work on (a node or a digit each), so that the road
// given up is the same on every machine and build; negative while no run
// is budgeted.
int64_t budget_left = -1;

struct OverBudget {};

// Between the steps of the remainders, divisions and contents: the step
// about to work on p and q (a product of the two, or a division of one by
// the other) is charged the product of their sizes.
void within_budget(const polynode* p, const polynode* q) {
    if (budget_left < 0) return;
    const int64_t a = std::max<int64_t>(1, work_size(p, budget_left));
    const int64_t b = work_size(q, budget_left / a + 1);
    budget_left -= a * b;
    if (budget_left < 0) throw OverBudget{};
}

// A budgeted run whose remainder of positive degree has grown to this many
// times the primitive operands is swelling: the gcds the remainders end
// within their budget stay under about 4.3 times theirs (two or three
// steps, or a large gcd that ends the sequence early), and where they
// swell each step multiplies the size by 3 to 4, the next step's division
// by the subresultant's factor alone costing a third of the budget.
constexpr int64_t SWELLING = 8;

int64_t swelling(const polynode* R, int64_t operands) {
    if (budget_left < 0 || R->numb) return 0;
    const int64_t size = work_size(R, SWELLING * operands);
    if (size > SWELLING * operands) throw OverBudget{};
    return size;
}

// The same sign one step ahead: the next remainder's size foretold by the
// growth from the last but one to the last (the step that would make it
// costs as much as the run before it, half the wasted run where the
// remainders swell). Where they swell the growth does not slow (3 to 4
// times a step), and the runs that end within their budget never have a
// remainder of positive degree after two others of positive degree.
void will_swell(int64_t before, int64_t last, int64_t operands) {
    if (budget_left < 0 || before <= 0) return;
    if (last * last / before > SWELLING * operands) throw OverBudget{};
}

// The outermost free level at or below `level` that p uses, other than
// `skip`; 0 for none (p is then an element of C, or of C[skip]).
int32_t first_free(polynode* p, int32_t level, const Band& band, int32_t skip = 0) {
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    mark_levels(p, level, used);
    for (int32_t l = level; l < band.first; l++)
        if (used[l] && l != skip) return l;
    return 0;
}

// p descended from `from` to `to` through levels it does not use; a copy.
polynode* at_level(polynode* p, int32_t from, int32_t to) {
    for (; from < to && !p->numb; from++) p = p->pcoef;
    return copy_of(p);
}

// The coefficient in C of p's first term in every free variable: a copy.
polynode* lead_in_ring(polynode* p, int32_t level, const Band& band) {
    for (; level < band.first && !p->numb; level++) p = p->pcoef;
    return copy_of(p);
}

// The inverses found while a gcd, division or Euclid's run lasts (the
// relations stay as they are): a long division inverts its divisor's
// leading coefficient at every step, and the subresultants the same ones
// again (fifteen times half a second in one sum under k^2 + 3 and
// t^20 - t - k).
struct KnownInverse {
    pt* crec;
    polynode* c;
    polynode* N;
    imag* d;
};
constexpr size_t KEPT_INVERSES = 16;
std::vector<KnownInverse> known;
int inverse_scopes = 0;

void forget(KnownInverse& k) {
    free_poly(&k.c);
    free_poly(&k.N);
    free_imag(&k.d);
}

struct InverseScope {
    InverseScope() { inverse_scopes++; }
    ~InverseScope() {
        if (--inverse_scopes > 0) return;
        for (KnownInverse& k : known) forget(k);
        known.clear();
    }
    InverseScope(const InverseScope&) = delete;
    InverseScope& operator=(const InverseScope&) = delete;
};

// invert, its work charged to a budgeted run; an inverse found before in
// the scope is given again, at no cost.
bool charged_invert(polynode* c, pt* crec, PolyHold* N, imag** d) {
    const bool kept = inverse_scopes > 0 && !single_number(c);
    if (kept) {
        for (const KnownInverse& k : known) {
            if (k.crec != crec || !poly_equal(k.c, c)) continue;
            N->reset(copy_of(k.N));
            *d = new_number();
            num_assign(k.d, *d);
            return true;
        }
    }
    {
        // Its Euclid's steps are charged as the others are: over the
        // rationals its cofactors swell with the relations' degree, and one
        // inverse under a tower of high degree can cost more than the
        // field's whole road (over a second).
        struct Meter {
            void (*before)(const polynode*, const polynode*) = euclid_step_meter;
            Meter() {
                if (budget_left >= 0) euclid_step_meter = [](const polynode* a, const polynode* b) { within_budget(a, b); };
            }
            ~Meter() { euclid_step_meter = before; }
            Meter(const Meter&) = delete;
            Meter& operator=(const Meter&) = delete;
        } meter;
        if (!invert(c, crec, N, d)) return false;
    }
    if (kept) {
        if (known.size() == KEPT_INVERSES) {
            forget(known.front());
            known.erase(known.begin());
        }
        imag* dk = new_number();
        num_assign(*d, dk);
        known.push_back({crec, copy_of(c), copy_of(N->p), dk});
    }
    return true;
}

bool lead_inverse(polynode* p, int32_t level, const Band& band, PolyHold* N, imag** d) {
    PolyHold c(lead_in_ring(p, level, band));
    return charged_invert(c.p, record_at(band.first), N, d);
}

bool lead_is_unit(polynode* p, int32_t level, const Band& band) {
    PolyHold c(lead_in_ring(p, level, band));
    // Only the answer is asked for: the images prove most units without the
    // inverse, whose Euclid's steps over the rationals swell with the
    // relations' degree.
    pt* crec = record_at(band.first);
    if (multimodular_unit(c.p, crec)) return true;
    PolyHold N;
    imag* d = nullptr;
    if (!charged_invert(c.p, crec, &N, &d)) return false;
    free_imag(&d);
    return true;
}

// A new polynomial: e·p, e an element of C (or of the levels from
// `level + 1` in when below is set), p at `level`.
polynode* times(polynode* e, int32_t e_level, polynode* p, int32_t level) {
    polynode* r = nullptr;
    if (single_number(e)) {
        scalar_by_poly(e->ncoef, p, &r);
        return r;
    }
    PolyHold ep(copy_of(e));
    if (e_level > level) add_pad(&ep.p, e_level - level);
    poly_mult(ep.p, p, &r, record_at(level));
    return r;
}

polynode* zero() {
    polynode* z = nullptr;
    poly_set(0, &z);
    return z;
}

polynode* one() {
    polynode* z = nullptr;
    poly_set(1, &z);
    return z;
}

imag* number_of(int32_t v) {
    imag* n = new_number();
    setvalue(v, n);
    return n;
}

// A number node's value times / by a number, in place.
void scale_node(polynode* n, imag* by, bool divide) {
    if (divide)
        num_poly_quot(n, by, 0);
    else
        mult_num(n, by);
}

// A and Q divided by the integer content they share, which goes into the
// denominator of the scale: keeps the numbers of a long division small.
void share_out_content(polynode* A, polynode* Q, polynode* den) {
    if (lintmode || poly_iszero(Q)) return;
    imag* k = new_number();
    find_gcdcoefs(Q, k);
    int m1 = 0;
    if (!poly_iszero(A) && !equal_to_pm1(k, &m1)) find_gcd(A, k);
    if (!equal_to_pm1(k, &m1) && !iszero(k)) {
        num_poly_quot(Q, k, 0);
        if (!poly_iszero(A)) num_poly_quot(A, k, 0);
        mult_num(den, k);
    }
    free_imag(&k);
}

// b·q = (num/den)·a: the division behind exact_div, with the scale a
// fraction of two number nodes.
polynode* divide(polynode* a, polynode* b, int32_t level, const Band& band, PolyHold* num, PolyHold* den) {
    num->reset(new_number_node(number_of(1)));
    den->reset(new_number_node(number_of(1)));
    if (poly_iszero(a)) return zero();
    const int32_t fb = first_free(b, level, band);
    if (!fb) {
        PolyHold N;
        imag* d = nullptr;
        if (!lead_inverse(b, level, band, &N, &d)) return nullptr;
        num->reset(new_number_node(d));
        return times(N.p, band.first, a, level);
    }
    const int32_t fa = first_free(a, level, band);
    const int32_t f = fa && fa < fb ? fa : fb;
    pt* frec = record_at(f);
    PolyHold A(at_level(a, level, f)), B(at_level(b, level, f)), Q(zero());
    PolyHold lb(first_coef(B.p));
    while (!poly_iszero(A.p)) {
        within_budget(A.p, B.p);
        const int32_t da = degree(A.p);
        if (da < degree(B.p)) return nullptr;
        PolyHold la(first_coef(A.p)), sn, sd;
        // lb·qc = (sn/sd)·la; with qc times sd, A and Q both scaled by sn
        // keep b·Q + A = (num/den)·a.
        PolyHold qc(divide(la.p, lb.p, f + 1, band, &sn, &sd));
        if (!qc.p) return nullptr;
        scale_node(qc.p, sd.p->ncoef, false);
        PolyHold t(term(da - degree(B.p), qc.release())), tb, r, q2;
        poly_mult(t.p, B.p, &tb.p, frec);
        num_poly_mult(A.p, sn.p->ncoef);
        num_poly_mult(Q.p, sn.p->ncoef);
        mult_num(num->p, sn.p->ncoef);
        poly_sub(A.p, tb.p, &r.p);
        if (!poly_iszero(r.p) && degree(r.p) >= da) return nullptr;
        A.reset(r.release());
        poly_add(Q.p, t.p, &q2.p);
        Q.reset(q2.release());
        share_out_content(A.p, Q.p, den->p);
    }
    if (!lintmode) {
        imag* k = new_number();
        binary_gcd(num->p->ncoef, den->p->ncoef, k);
        int m1 = 0;
        if (!equal_to_pm1(k, &m1) && !iszero(k)) {
            scale_node(num->p, k, true);
            scale_node(den->p, k, true);
        }
        free_imag(&k);
    }
    if (!single_number(Q.p) && f > level) add_pad(&Q.p, f - level);
    return Q.release();
}

}  // namespace

polynode* exact_div(polynode* a, polynode* b, int32_t level, const Band& band, imag** scale) {
    InverseScope inverses;
    PolyHold num, den;
    PolyHold q(divide(a, b, level, band, &num, &den));
    *scale = nullptr;
    if (!q.p) return nullptr;
    // b·q = (num/den)·a: q times den makes the scale a whole number.
    num_poly_mult(q.p, den.p->ncoef);
    *scale = new_number();
    num_assign(num.p->ncoef, *scale);
    return q.release();
}

namespace {

// The content of A (at level f) in its variable: the gcd of its
// coefficients, at level f + 1.
polynode* content_of(polynode* A, int32_t f, const Band& band) {
    PolyHold g;
    for (polynode* n = A; n; n = n->next) {
        within_budget(n->numb ? nullptr : n->pcoef, g.p);
        PolyHold c(n->numb ? number_copy(n->ncoef) : copy_of(n->pcoef));
        if (!g.p) {
            g.reset(c.release());
            normalise(&g.p, f + 1, band);
        } else {
            g.reset(multi_gcd(g.p, c.p, f + 1, band));
        }
        if (single_number(g.p)) break;
    }
    return g.release();
}

// A (at level f) divided by its content c (content_of(A)).
polynode* primitive_of(polynode* A, polynode* c, int32_t f, const Band& band) {
    if (single_number(c)) return copy_of(A);
    PolyHold padded(term(0, copy_of(c)));
    imag* scale = nullptr;
    polynode* q = exact_div(A, padded.p, f, band, &scale);
    if (scale) free_imag(&scale);
    if (!q) refuse(band.name);
    drop_integer_content(q);
    return q;
}

// A (at level f) divided by its content.
polynode* primitive(polynode* A, int32_t f, const Band& band) {
    PolyHold c(content_of(A, f, band));
    return primitive_of(A, c.p, f, band);
}

// a·b, elements of the levels from `level` in.
polynode* mul(polynode* a, polynode* b, int32_t level) {
    polynode* r = nullptr;
    if (single_number(a))
        scalar_by_poly(a->ncoef, b, &r);
    else if (single_number(b))
        scalar_by_poly(b->ncoef, a, &r);
    else
        poly_mult(a, b, &r, record_at(level));
    return r;
}

polynode* power(polynode* a, int32_t k, int32_t level) {
    PolyHold r(one());
    for (int32_t i = 0; i < k; i++) r.reset(mul(r.p, a, level));
    return r.release();
}

// The pseudo-remainder of A by B at level f: lc(B)^(deg A - deg B + 1)·A
// modulo B, up to a number; B's leading coefficient has a unit leading
// coefficient in C.
polynode* prem(polynode* a, polynode* B, int32_t f, const Band& band) {
    pt* frec = record_at(f);
    PolyHold A(copy_of(a));
    PolyHold lb(term(0, first_coef(B)));
    int32_t steps = degree(a) - degree(B) + 1;
    while (!poly_iszero(A.p) && degree(A.p) >= degree(B)) {
        within_budget(A.p, B);
        const int32_t da = degree(A.p);
        PolyHold t(term(da - degree(B), first_coef(A.p))), ba, tb, r;
        poly_mult(lb.p, A.p, &ba.p, frec);
        poly_mult(t.p, B, &tb.p, frec);
        poly_sub(ba.p, tb.p, &r.p);
        if (!poly_iszero(r.p) && degree(r.p) >= da) refuse(band.name);
        drop_integer_content(r.p);
        A.reset(r.release());
        steps--;
    }
    for (; steps > 0 && !poly_iszero(A.p); steps--) {
        PolyHold r;
        poly_mult(lb.p, A.p, &r.p, frec);
        A.reset(r.release());
    }
    return A.release();
}

// q with d·q = a up to a number, or the refusal: the divisions of the
// subresultant sequence are exact.
polynode* divide_out(polynode* a, polynode* d, int32_t level, const Band& band) {
    imag* s = nullptr;
    polynode* q = exact_div(a, d, level, band, &s);
    if (s) free_imag(&s);
    if (!q) refuse(band.name);
    drop_integer_content(q);
    return q;
}

// m', the derivative of p at its own level.
polynode* derivative(polynode* p) {
    PolyHold sum(zero());
    const int32_t characteristic = finf ? 2 : modularmode ? modulus : 0;
    for (polynode* n = p; n; n = n->next) {
        int32_t e = degree(n);
        if (characteristic) e %= characteristic;
        if (e == 0) continue;
        PolyHold c(first_coef(n)), ce, s;
        imag* k = new_number();
        setvalue(e, k);
        scalar_by_poly(k, c.p, &ce.p);
        free_imag(&k);
        PolyHold t(term(degree(n) - 1, ce.release()));
        poly_add(sum.p, t.p, &s.p);
        sum.reset(s.release());
    }
    return sum.release();
}

// g is a multiple of the inverse of a leading coefficient, whose number
// denominator is d: modulo p it is divided out; over the integers the
// content goes and the sign is made positive, all that an associate needs.
void clear_inverse_denominator(polynode* g, imag** d) {
    if (lintmode) {
        num_poly_quot(g, *d, 0);
    } else {
        drop_integer_content(g);
        polynode* first = g;
        while (!first->numb) first = first->pcoef;
        if (first->ncoef->head->digit < 0) poly_inplace(g);
    }
    free_imag(d);
}

}  // namespace

polynode* euclid(polynode* a, polynode* b, pt* xrec, const char* name) {
    InverseScope inverses;
    PolyHold A(a), B(b);
    pt* crec = inner(xrec);
    if (degree(A.p) < degree(B.p)) std::swap(A.p, B.p);
    while (!poly_iszero(B.p)) {
        // Here, where no number of the step is held yet.
        within_budget(A.p, B.p);
        PolyHold lcb(first_coef(B.p)), N;
        imag* d = nullptr;
        if (degree(B.p) == 0) {
            // A unit: the operands are coprime. Its inverse would not be
            // used, and the last remainder is the largest of the run.
            if (!multimodular_unit(lcb.p, crec) && !charged_invert(lcb.p, crec, &N, &d)) refuse(name);
            if (d) free_imag(&d);
            return one();
        }
        if (!charged_invert(lcb.p, crec, &N, &d)) refuse(name);
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
    if (!charged_invert(lc.p, crec, &N, &d)) refuse(name);
    PolyHold t(term(0, N.release()));
    poly_mult(t.p, A.p, &g.p, xrec);
    clear_inverse_denominator(g.p, &d);
    return g.release();
}

bool relations_square_free(const Band& band) {
    for (pt* r = record_at(band.first); r; r = r->next) {
        if (!r->relation || r->field) continue;
        polynode* m = r->binomial ? r->binomial : r->relation;
        BareRecord bare(r);
        PolyHold g(euclid(copy_of(m), derivative(m), bare.rec, band.name));
        if (!single_number(g.p)) return false;
    }
    return true;
}

void normalise(polynode** p, int32_t level, const Band& band) {
    PolyHold N;
    imag* d = nullptr;
    if (!lead_inverse(*p, level, band, &N, &d)) refuse(band.name);
    PolyHold g(times(N.p, band.first, *p, level));
    clear_inverse_denominator(g.p, &d);
    free_poly(p);
    *p = g.release();
}

polynode* multi_gcd(polynode* a, polynode* b, int32_t level, const Band& band) {
    InverseScope inverses;
    if (poly_iszero(a) || poly_iszero(b)) {
        polynode* r = copy_of(poly_iszero(a) ? b : a);
        if (!poly_iszero(r)) normalise(&r, level, band);
        return r;
    }
    const int32_t fa = first_free(a, level, band), fb = first_free(b, level, band);
    if (!fa && !fb) {
        // Two elements of C: coprime when one is a unit; two non-units
        // have no gcd proved here.
        if (lead_is_unit(a, level, band) || lead_is_unit(b, level, band)) return one();
        refuse(band.name);
    }
    const int32_t f = !fa ? fb : !fb ? fa : fa < fb ? fa : fb;
    if (!first_free(a, level, band, f) && !first_free(b, level, band, f)) {
        // One free variable: Euclid over C keeps the remainders small,
        // where pseudo-remainders without contents to take out would swell.
        PolyHold g(euclid(at_level(a, level, f), at_level(b, level, f), record_at(f), band.name));
        if (!single_number(g.p) && f > level) add_pad(&g.p, f - level);
        return g.release();
    }
    PolyHold A(at_level(a, level, f)), B(at_level(b, level, f));
    PolyHold ca(content_of(A.p, f, band)), cb(content_of(B.p, f, band));
    PolyHold c(multi_gcd(ca.p, cb.p, f + 1, band));
    // The contents found above, not sought again: over a relation of high
    // degree each is a gcd in the next variable whose Euclid's steps invert
    // elements of that degree.
    A.reset(primitive_of(A.p, ca.p, f, band));
    B.reset(primitive_of(B.p, cb.p, f, band));
    if (degree(A.p) < degree(B.p)) std::swap(A.p, B.p);
    // The subresultant sequence: the divisions by g·h^delta keep the
    // coefficients from swelling without a content taken at every step.
    PolyHold G, g(one()), h(one());
    const int64_t operands = budget_left < 0 ? 0 : std::max(work_size(A.p, budget_left), work_size(B.p, budget_left));
    int64_t last_size = 0;
    for (;;) {
        within_budget(A.p, B.p);
        if (degree(B.p) == 0) {
            G.reset(one());
            break;
        }
        if (!lead_is_unit(B.p, f, band)) refuse(band.name);
        const int32_t delta = degree(A.p) - degree(B.p);
        PolyHold R(prem(A.p, B.p, f, band));
        if (poly_iszero(R.p)) {
            G.reset(primitive(B.p, f, band));
            break;
        }
        if (degree(R.p) > 0) {
            const int64_t size = swelling(R.p, operands);
            // Only a remainder of positive degree can follow one of degree 2
            // or more.
            if (degree(R.p) >= 2) will_swell(last_size, size, operands);
            last_size = size;
        }
        if (!lead_is_unit(R.p, f, band)) refuse(band.name);
        if (degree(R.p) == 0) {
            // Non-zero in every field of C and free of x: no factor of
            // positive degree is common, and the division that would make
            // it the next remainder (of a remainder that has swelled by
            // then, ten times the operands in sums of fractions) only
            // confirms it.
            G.reset(one());
            break;
        }
        PolyHold hd(power(h.p, delta, f + 1)), d(mul(g.p, hd.p, f + 1));
        PolyHold padded(term(0, d.release()));
        PolyHold next(divide_out(R.p, padded.p, f, band));
        A.reset(B.release());
        B.reset(next.release());
        g.reset(first_coef(A.p));
        if (delta == 1) {
            h.reset(copy_of(g.p));
        } else if (delta > 1) {
            PolyHold gd(power(g.p, delta, f + 1)), hd1(power(h.p, delta - 1, f + 1));
            h.reset(divide_out(gd.p, hd1.p, f + 1, band));
        }
    }
    PolyHold result(times(c.p, f + 1, G.p, f));
    normalise(&result.p, f, band);
    if (!single_number(result.p) && f > level) add_pad(&result.p, f - level);
    return result.release();
}

polynode* multi_gcd_within(polynode* a, polynode* b, int32_t level, const Band& band, int64_t units) {
    struct Budget {
        int64_t before = budget_left;
        int64_t start;
        explicit Budget(int64_t u) : start(before >= 0 ? std::min(before, u) : u) { budget_left = start; }
        ~Budget() {
            // A run inside another spends the outer run's budget too.
            const int64_t used = start - std::max<int64_t>(budget_left, 0);
            budget_left = before >= 0 ? std::max<int64_t>(0, before - used) : -1;
        }
        Budget(const Budget&) = delete;
        Budget& operator=(const Budget&) = delete;
    } budget(units);
    try {
        return multi_gcd(a, b, level, band);
    } catch (const OverBudget&) {
        return nullptr;
    }
}

}  // namespace nonfield
