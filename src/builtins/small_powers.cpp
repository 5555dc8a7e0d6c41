// Powers by machine-word exponents (left-to-right binary), and the
// Frobenius map a -> a^p that lets huge exponents go digit by digit in base p.
#include <vector>

#include "builtins/powermod.h"
#include "builtins/powermod_impl.h"
#include "gcd/polydiv.h"
#include "numbers/numbers.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

using namespace powermod_impl;

namespace {

ExpDigits word_digits(int32_t e) {
    ExpDigits d;
    if (e > 0) {
        if (e >> DIGIT_BITS) d.d.push_back(e >> DIGIT_BITS);
        d.d.push_back(e & DIGIT_MASK);
    }
    return d;
}

}  // namespace

void num_to_small_exponent(imag* c, imag* M, int32_t e) {
    NumHold bh, rh, th, qh;
    imag *b = bh.x, *r = rh.x, *t = th.x, *q = qh.x;
    divide(c, M, q, b);
    if (b->head->digit < 0) {
        makeneg(M, q);
        sub(b, q, b);
    }
    setvalue(1, r);
    auto mulmod = [&](imag* x) {
        fast_mult(r, x, t);
        divide(t, M, q, r);
    };
    walk_bits(word_digits(e), [&] { mulmod(r); }, [&] { mulmod(b); }, [](int32_t) {});
    num_assign(r, c);
}

void poly_mod_to_small_exp(polynode** a, int32_t e, polynode* M, pt* rec) {
    PolyHold base;
    if (M)
        poly_mod_or_div(*a, M, &base.p, '|', rec);
    else
        poly_assign(*a, &base.p);
    PolyHold r(number_poly(1));
    walk_bits(
        word_digits(e), [&] { mult_mod(r.p, r.p, M, rec, &r.p); },
        [&] { mult_mod(r.p, base.p, M, rec, &r.p); }, [](int32_t) {});
    free_poly(a);
    *a = r.release();
}

void mod_poly_to_small_exponent(polynode** a, int32_t e, pt* rec) { poly_mod_to_small_exp(a, e, nullptr, rec); }

void fast_mod_power(polynode** a, pt* rec, polynode* const* x_to_p) {
    if (lone(*a) || !rec) return;
    PolyHold sum(number_poly(0));
    for (polynode* t = *a; t; t = t->next) {
        PolyHold c;
        if (t->numb) {
            imag* x = new_number();
            num_assign(t->ncoef, x);
            c.reset(new_number_node(x));
        } else {
            poly_assign(t->pcoef, &c.p);
            fast_mod_power(&c.p, rec->next, x_to_p);
            c.reset(lift_level(c.release()));
        }
        if (!t->numb && t->exp != 0) {
            PolyHold xe;
            poly_assign(x_to_p[rec->level], &xe.p);
            if (t->exp > 1) mod_poly_to_small_exponent(&xe.p, t->exp, rec);
            poly_mult(xe.p, c.p, &c.p, rec);
        }
        best_poly_add(sum.p, c.release(), &sum.p);
    }
    free_poly(a);
    *a = sum.release();
}
