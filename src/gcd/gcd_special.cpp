#include "gcd/gcd_special.h"

#include <algorithm>
#include <utility>

#include "gcd/polygcd.h"
#include "gcd/pseudo_div.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

struct OwnedNumber {
    imag* n = new_number();
    OwnedNumber() = default;
    OwnedNumber(const OwnedNumber&) = delete;
    OwnedNumber& operator=(const OwnedNumber&) = delete;
    ~OwnedNumber() {
        if (n) free_imag(&n);
    }
};

void deliver(polynode** out, polynode* value) {
    polynode* old = *out;
    *out = value;
    if (old) free_poly(&old);
}

int32_t top_degree(const polynode* p) { return p->numb ? 0 : p->exp; }
bool single_term(const polynode* p) { return p->numb || !p->next; }

}  // namespace

void monomial2(polynode* m, polynode* p, polynode** out) {
    PolyHold k;
    if (lintmode) {
        poly_set(1, &k.p);
    } else {
        // The integer content of a term is its coefficient, made positive.
        OwnedNumber cp, cm, g;
        find_gcdcoefs(p, cp.n);
        find_gcdcoefs(m, cm.n);
        gcd(cp.n, cm.n, g.n);
        scalar_to_poly(g.n, &k.p);
    }
    const int32_t a = top_degree(m);
    const int32_t e = lastnode(p)->exp;
    polynode* value = nullptr;
    make_monomial(&value, e != 0 ? std::min(a, e) : 0, k.release());
    deliver(out, value);
}

void field_coef_gcd(polynode* u, polynode* v, polynode** out, pt* vars) {
    if (top_degree(u) < top_degree(v)) std::swap(u, v);
    if (single_term(u)) {
        monomial2(u, v, out);
        return;
    }
    if (single_term(v)) {
        monomial2(v, u, out);
        return;
    }
    // a and b are the current pair; the caller's operands are only read.
    PolyHold a_owned, b_owned;
    polynode *a = u, *b = v;
    while (top_degree(b) > 0) {
        PolyHold q, r, mult;
        if (!lintmode) {
            pseudo_field_coef_poly_div(a, b, vars, &q.p, &r.p, &mult.p);
            // Each remainder made monic in the field, then primitive: its
            // leading coefficient is then an integer, whose inverse costs the
            // next step one integer factor. An unnormalized field leading
            // coefficient would multiply each step by its norm, and the
            // integers of the sequence would double in length every round.
            if (field_depth > 0 && !poly_iszero(r.p)) {
                field_monic(&r.p, vars);
            } else if (!poly_eq_1(mult.p) && !poly_iszero(r.p)) {
                OwnedNumber c;
                find_gcdcoefs(r.p, c.n);
                num_poly_quot(r.p, c.n, 0);
            }
        } else {
            field_coef_poly_divide(a, b, vars, &q.p, &r.p);
        }
        if (a_owned.p) free_poly(&a_owned.p);
        a_owned.p = b_owned.release();
        a = b;
        b_owned.p = r.release();
        b = b_owned.p;
    }
    polynode* value = nullptr;
    if (!poly_iszero(b)) {
        poly_set(1, &value);
    } else if (a_owned.p) {
        value = a_owned.release();
    } else {
        poly_assign(a, &value);
    }
    deliver(out, value);
}
