// Common divisors cancelled over an extension field by pseudo-division.
#include "quoly/field_reduce.h"

#include "gcd/dense_field_division.h"
#include "gcd/exactdiv.h"
#include "gcd/polygcd.h"
#include "gcd/pseudo_div.h"
#include "numbers/numbers.h"
#include "poly/coefops.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

struct Texts {
    const char* first;
    const char* second;
    const char* non_numbers;
};

// mult·u = quo·g exactly, with the common integer content of quo and mult
// taken out.
void pseudo_quotient(polynode** u, polynode** g, int wrap, PolyHold* quo, PolyHold* mult, const char* failure) {
    // The dense division gives the same reduced pair far sooner where it
    // applies (a divisor with a positive integer leading coefficient).
    if (!wrap && dense_field_quotient(*u, *g, polynames, &quo->p, &mult->p) == 1) {
        alg_c_count = 0;
        original_depth = 1;
        return;
    }
    PolyHold rem;
    int fail = 0;
    if (wrap)
        clear_and_operate(u, g, &quo->p, &rem.p, &mult->p, 1, 0, polynames, &fail);
    else
        num_pseudo_div(*u, *g, &quo->p, &rem.p, &mult->p, polynames);
    alg_c_count = 0;
    original_depth = 1;
    // The user may go on from the nested level with the quotient as it stands.
    if (fail || !quo->p || (rem.p && !poly_iszero(rem.p))) tarvex_error(failure, 1);
    if (!quo->p || !mult->p || !quoly_detail::lone_number(mult->p)) return;
    imag* h = new_number();
    abs_val_num(mult->p->ncoef, h);
    if (!iszero(h) && !find_gcd(quo->p, h)) {
        num_poly_quot(quo->p, h, 0);
        num_poly_quot(mult->p, h, 0);
    }
    free_imag(&h);
}

void cancel(polynode** a, polynode** d, polynode** g, polynode** a_out, polynode** d_out, polynode** m, int wrap_a,
            int wrap_d, const Texts& texts) {
    PolyHold q1, m1, q2, m2;
    pseudo_quotient(a, g, wrap_a, &q1, &m1, texts.first);
    pseudo_quotient(d, g, wrap_d, &q2, &m2, texts.second);
    if (!q1.p || !q2.p || !m1.p || !m2.p || !quoly_detail::lone_number(m1.p) ||
        !quoly_detail::lone_number(m2.p)) {
        tarvex_error(texts.non_numbers, 1);
        abandon_statement();
    }
    // m1·a = q1·g and m2·d = q2·g. With h = gcd(m1, m2), m1 = h·m1' and
    // m2 = h·m2': a/g = q1·m2'/(h·m1'·m2') and d/g = q2·m1'/(h·m1'·m2').
    // A fraction's cofactors may drop the common h, but a sum's multiplier
    // is the lcm h·m1'·m2': without h the sum came out h times too small
    // where g's leading number shared a prime with both multipliers.
    PolyHold ra, rd, mm;
    {
        imag* h = new_number();
        gcd(m1.p->ncoef, m2.p->ncoef, h);
        if (!iszero(h)) num_poly_quot(m2.p, h, 0);
        if (m) poly_mult(m1.p, m2.p, &mm.p, nilpol);
        if (!iszero(h)) num_poly_quot(m1.p, h, 0);
        free_imag(&h);
    }
    if (poly_eq_1(m2.p)) ra.p = q1.release();
    else poly_mult(q1.p, m2.p, &ra.p, nilpol);
    if (poly_eq_1(m1.p)) rd.p = q2.release();
    else poly_mult(q2.p, m1.p, &rd.p, nilpol);
    free_poly(a_out);
    *a_out = ra.release();
    free_poly(d_out);
    *d_out = rd.release();
    if (m) {
        free_poly(m);
        *m = mm.release();
    }
}

}  // namespace

void field_reduce(polynode** a, polynode** d, polynode** g, polynode** a_out, polynode** d_out, polynode** m,
                  int wrap_a, int wrap_d) {
    cancel(a, d, g, a_out, d_out, m, wrap_a, wrap_d,
           {" field_reduce 3", " field_reduce 4", "non-numbers. field_reduce."});
}

void field_cancel_fraction(polynode** a, polynode** d, polynode** g, polynode** a_out, polynode** d_out,
                           int wrap_a, int wrap_d) {
    cancel(a, d, g, a_out, d_out, nullptr, wrap_a, wrap_d,
           {" reduce 3. Try setting &_t to 0.", " reduce 4. Try setting &_t to 0.", "non-numbers. reduce."});
}
