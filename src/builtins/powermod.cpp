// The power dispatcher: a number modulo a number, anything modulo a monic
// polynomial, and powers in the field of the modulus when no modulus is
// given (a residue by the exponent reduced modulo the group order, a
// polynomial by the field order or, once relations exist, the Frobenius map).
#include "builtins/powermod.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "builtins/powermod_impl.h"
#include "gcd/polydiv.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"

using namespace powermod_impl;

namespace {

// The record of level t (1 = outermost), null past the innermost.
pt* record_at(int32_t t) {
    pt* v = polynames;
    for (int32_t i = 1; v && i < t; i++) v = v->next;
    return v;
}

// |n| mod k for the digits of an exponent, k < 2^32.
int64_t exp_mod(const ExpDigits& n, int64_t k) {
    int64_t e = 0;
    for (int32_t d : n.d) e = ((e << DIGIT_BITS) + d) % k;
    return e;
}

// The plain-number quoly of the value word or digit number of a lone node.
void settle_result(quoly** a, polynode* r) {
    if (lone(r)) {
        polynode* p = r;
        quoly* q = nullptr;
        poly_to_quoly(p, &q);
        free_poly(&p);
        free_quoly(a);
        *a = q;
        return;
    }
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->den = nullptr;
    q->pnum = r;
    free_quoly(a);
    *a = q;
}

void set_number(quoly** a, int32_t v) { quoly_set(v, a); }

// n as a count for the degree checks: exponents past 2^40 only matter as
// "more than any degree can take".
int64_t exponent_count(const ExpDigits& n) {
    if (n.d.size() > 2) return int64_t{1} << 40;
    int64_t v = 0;
    for (int32_t d : n.d) v = (v << DIGIT_BITS) + d;
    return std::min<int64_t>(v, int64_t{1} << 40);
}

// The degrees of a^n at the levels nothing reduces (no relation, not the
// modulus's main variable `reduced`, 0 for none) must stay in range: no
// product can keep them down, and past it the power cannot be stored.
bool degrees_fit(polynode* a, const ExpDigits& n, int32_t reduced) {
    if (power_exponents_fit(a, exponent_count(n), polynames, reduced)) return true;
    error(156, "Powermod");
    return false;
}

void overflow_warning() {
    std::fputs(" *** Warning. exponent overflow may occur.\n", stdout);
    std::fflush(stdout);
}

// c^n mod M for digit numbers (big-integer mode), M > 0. The base is
// reduced first: a multiple of M gives 0 whatever the exponent, and only a
// base prime to M may have its exponent reduced by M - 1.
void simple_case(quoly** a, imag* M, const ExpDigits& n) {
    NumHold c, q;
    divide((*a)->nnum, M, q.x, c.x);
    if (c.x->head->digit < 0) {
        makeneg(M, q.x);
        sub(c.x, q.x, c.x);
    }
    if (iszero(c.x)) {
        set_number(a, 0);
        return;
    }
    ExpDigits e = n;
    if (M->count == 1 && is_prime(M->head->digit)) {
        const int64_t r = exp_mod(n, int64_t{M->head->digit} - 1);
        e = ExpDigits{};
        if (r) e.d = {static_cast<int32_t>(r)};
        if (e.zero()) {
            set_number(a, 1);
            return;
        }
    }
    NumHold r, t, s;
    setvalue(1, r.x);
    auto mulmod = [&](imag* x) {
        fast_mult(r.x, x, t.x);
        divide(t.x, M, s.x, r.x);
    };
    walk_bits(e, [&] { mulmod(r.x); }, [&] { mulmod(c.x); }, [](int32_t) {});
    quoly* res = nullptr;
    newquoly(&res);
    res->isnum = 1;
    res->rat = 0;
    res->den = nullptr;
    res->nnum = r.release();
    free_quoly(a);
    *a = res;
}

// Machine words: v^n mod |m| in 64-bit products.
void word_case(quoly** a, int32_t m, const ExpDigits& n) {
    const uint64_t M = m < 0 ? uint64_t(-int64_t{m}) : uint64_t(m);
    if (M == 0) {
        error(22, "Powermod");
        return;
    }
    int64_t v = (*a)->nnum->value % int64_t(M);
    if (v < 0) v += M;
    uint64_t r = 1 % M;
    const uint64_t c = uint64_t(v);
    walk_bits(n, [&] { r = r * r % M; }, [&] { r = r * c % M; }, [](int32_t) {});
    quoly_set(static_cast<int32_t>(r), a);
}

// A residue (or a GF(2^k) element) to the power n in the field: the
// exponent reduced modulo the group order. a = 0 with n < 0 is error 22.
void field_number_case(quoly** a, const ExpDigits& n) {
    if (!finf && !mod_is_prime) {
        error(290, "Powermod");
        return;
    }
    const int32_t v = (*a)->nnum->value;
    if (v == 0) {
        if (n.negative) error(22, "Powermod");
        return;
    }
    const int64_t order = f256 ? 255 : f2t16 ? 65535 : int64_t{modulus} - 1;
    int64_t e = exp_mod(n, order);
    if (n.negative && e) e = order - e;
    int32_t r = 0;
    mod_number_power(v, static_cast<int32_t>(e), &r);
    quoly_set(r, a);
}

// a^n mod M, M the numerator of m (a polynomial) or m's number, or none.
// Left-to-right binary powering, every product reduced.
void general_poly_case(quoly** a, quoly* m, const ExpDigits& n, int show) {
    PolyHold M;
    if (m) M.reset(m->isnum ? new_number_node([&] {
        imag* x = new_number();
        num_assign(m->nnum, x);
        return x;
    }()) : nullptr);
    polynode* Mp = m ? (m->isnum ? M.p : m->pnum) : nullptr;
    PolyHold A;
    if ((*a)->isnum) {
        imag* x = new_number();
        num_assign((*a)->nnum, x);
        A.reset(new_number_node(x));
    } else {
        poly_assign((*a)->pnum, &A.p);
    }
    const bool poly_modulus = Mp && !m->isnum;
    if (!poly_modulus && max_exponent(A.p) > 0 && n.d.size() > 1 && !relation_inward(polynames))
        overflow_warning();
    // A polynomial modulus keeps its main variable down, and only that one:
    // the other variables' degrees grow with the exponent as without it.
    if (poly_modulus) poly_mod_or_div(A.p, Mp, &A.p, '|', polynames);
    if (!degrees_fit(A.p, n, poly_modulus ? poly_depth(Mp) : 0)) return;
    poly_power_mod(&A.p, n, Mp, polynames, show);
    settle_result(a, A.release());
}

// Monic moduli only, outside the field levels, no negative exponents.
bool modulus_usable(polynode* m) {
    if (laurent && has_negative_exponent(m)) {
        error(198, "Powermod");
        return false;
    }
    if (field_depth > 0 && poly_depth(m) >= field_depth) {
        error(291, "Powermod");
        return false;
    }
    // The leading coefficient in the main variable, not the number that
    // ends the first-term chain: y*x^2 + 1 (or t*x^2 + 1 under a relation)
    // leads with y.
    polynode* top = m;
    while (!top->numb && top->exp == 0 && !top->next) top = top->pcoef;
    if (top->numb || !poly_eq_1(top->pcoef)) {
        error(197, "Powermod");
        return false;
    }
    return true;
}

// n mod (q - 1) in digits, q the field order; modes off around it.
ExpDigits reduce_by_field_order(const ExpDigits& n, int32_t level) {
    ModesOff off;
    NumHold qh, xh, quoh, rh;
    imag *q = qh.x, *x = xh.x, *quo = quoh.x, *r = rh.x;
    order_of_field(q, 1, level);
    if (static_cast<int32_t>(n.d.size()) < q->count) return n;
    setvalue(1, x);
    sub(q, x, q);
    number_of(n, x);
    divide(x, q, quo, r);
    ExpDigits e;
    for (numnode* p = r->head; p; p = p->next)
        if (!e.d.empty() || p->digit) e.d.push_back(p->digit);
    return e;
}

// Powers in the field of the modulus (no modulus argument, modular mode).
void field_poly_case(quoly** a, const ExpDigits& n0) {
    polynode* p = (*a)->pnum;
    const int32_t t = poly_depth(p);
    ExpDigits n = n0;
    const bool in_field = field_depth > 0 && t >= field_depth;
    if (in_field) {
        n = reduce_by_field_order(n0, -1);
    } else {
        pt* var = record_at(t);
        if (n.d.size() > 1 && !(var && var->relation)) overflow_warning();
    }
    if (n.zero()) {
        quoly_set(1, a);
        return;
    }
    PolyHold A;
    poly_assign(p, &A.p);
    // Degrees at levels without a relation grow with the exponent, whatever
    // the levels below them do, negative ones as well as positive.
    if (!degrees_fit(A.p, n, 0)) return;
    if (!relation_inward(polynames)) {
        // Plain powers, whose degrees were checked above.
        int32_t e = 0;
        for (int32_t d : n.d) e = (e << DIGIT_BITS) | d;
        compute_power(&A.p, e, polynames);
        settle_result(a, A.release());
        return;
    }
    if (!mod_is_prime || finf || modulus < 101 || n.d.size() == 1) {
        PolyHold R(number_poly(1));
        walk_bits(
            n, [&] { mult_mod(R.p, R.p, nullptr, polynames, &R.p); },
            [&] { mult_mod(R.p, A.p, nullptr, polynames, &R.p); }, [](int32_t) {});
        settle_result(a, R.release());
        return;
    }
    // Base-p digits of n from the least significant, with the Frobenius map
    // between them: a^(p^i) costs one pass over a's terms.
    int32_t pad = 0;
    polynode* inner_p = A.p;
    pt* rec = polynames;
    while (!inner_p->numb && inner_p->exp == 0 && !inner_p->next) {
        inner_p = inner_p->pcoef;
        rec = rec->next;
        pad++;
    }
    PolyHold B;
    poly_assign(inner_p, &B.p);
    std::vector<PolyHold> xp(MAX_POLY_VARS + 2);
    std::vector<polynode*> table(MAX_POLY_VARS + 2, nullptr);
    for (pt* v = rec; v; v = v->next) {
        xp[v->level].reset(variable_poly());
        mod_poly_to_small_exponent(&xp[v->level].p, modulus, v);
        table[v->level] = xp[v->level].p;
    }
    // n in base p, by repeated division of its digit form.
    std::vector<int32_t> bp;
    {
        std::vector<int64_t> w(n.d.begin(), n.d.end());
        while (!w.empty()) {
            int64_t rem = 0;
            std::vector<int64_t> qd;
            for (int64_t d : w) {
                const int64_t cur = (rem << DIGIT_BITS) + d;
                const int64_t qq = cur / modulus;
                rem = cur % modulus;
                if (!qd.empty() || qq) qd.push_back(qq);
            }
            bp.push_back(static_cast<int32_t>(rem));
            w = std::move(qd);
        }
    }
    PolyHold R(number_poly(1));
    for (size_t i = 0; i < bp.size(); i++) {
        if (bp[i]) {
            PolyHold P;
            poly_assign(B.p, &P.p);
            mod_poly_to_small_exponent(&P.p, bp[i], rec);
            mult_mod(R.p, P.p, nullptr, rec, &R.p);
        }
        if (i + 1 < bp.size()) fast_mod_power(&B.p, rec, table.data());
        poll_interrupt();
    }
    polynode* res = R.release();
    for (int32_t k = 0; k < pad && !lone(res); k++) res = new_term_node(0, res);
    settle_result(a, res);
}

}  // namespace

void powermod_impl::poly_power_mod(polynode** a, const ExpDigits& n, polynode* M, pt* rec, int show) {
    PolyHold A(*a);
    *a = nullptr;
    if (M) poly_mod_or_div(A.p, M, &A.p, '|', rec);
    if (show) {
        std::printf("          counting to %1d\n", static_cast<int>(n.d.size()));
        std::printf("             %d ", 0);
    }
    PolyHold R(number_poly(1));
    walk_bits(
        n, [&] { mult_mod(R.p, R.p, M, rec, &R.p); }, [&] { mult_mod(R.p, A.p, M, rec, &R.p); },
        [&](int32_t j) {
            poll_interrupt();
            if (!show) return;
            if (j % 10 == 0) std::printf("\n             ");
            std::printf("%1d ", j);
        });
    if (show) std::printf("\n");
    *a = R.release();
}

void powermod(quoly** a, quoly** m, imag* n, int show) {
    const ExpDigits e = digits_of(n);
    quoly* mod = m ? *m : nullptr;
    if (e.negative) {
        const bool allowed = modularmode && (mod_is_prime || finf) && (*a)->isnum && !mod;
        if (!allowed) {
            std::fputs("*** bad exponent (negative): \n", stdout);
            int32_t col = 0;
            {
                // An exponent read in digits inside a machine-word ring is
                // shown as it was typed.
                LintOff digits;
                imag* shown = new_number();
                if (n->count > 0)
                    num_assign(n, shown);
                else
                    setvalue(n->value, shown);
                display(&Output, 1, 0, shown, &col, 0);
                free_imag(&shown);
            }
            std::fflush(Output);
            error(287, "Powermod");
            return;
        }
    }
    if (e.zero()) {
        quoly_set(1, a);
        return;
    }
    if (mod) {
        if ((*a)->isnum && mod->isnum) {
            if (lintmode) {
                word_case(a, mod->nnum->value, e);
                return;
            }
            simple_case(a, mod->nnum, e);
            return;
        }
        if ((*a)->isnum && (lintmode ? (*a)->nnum->value == 0 : iszero((*a)->nnum))) return;
        if (!mod->isnum) {
            if (!modulus_usable(mod->pnum)) return;
            if ((*a)->isnum) {
                // A number stays a number modulo a polynomial of positive
                // degree: its power is the number's own power.
                if (modularmode) {
                    field_number_case(a, e);
                    return;
                }
                NumHold x;
                number_of(e, x.x);
                raise_to_power(a, x.x);
                return;
            }
        }
        general_poly_case(a, mod, e, show);
        return;
    }
    if (!modularmode) {
        general_poly_case(a, nullptr, e, show);
        return;
    }
    if ((*a)->isnum) {
        field_number_case(a, e);
        return;
    }
    field_poly_case(a, e);
}
