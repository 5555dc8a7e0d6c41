// Algorithm C: the subresultant pseudo-remainder sequence. Each member is
// the pseudo-remainder of the two before it divided exactly by beta =
// lc·h^delta, which keeps the coefficients from growing exponentially while
// staying inside the ring; the last non-zero member is an associate of the
// gcd of the primitive operands.
#include "gcd/algc.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "builtins/coefficients.h"
#include "gcd/exactdiv.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_state.h"
#include "gcd/polygcd.h"
#include "gcd/pseudo_div.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/evaluate.h"
#include "poly/masses.h"
#include "poly/measures.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "toplevel/errors.h"

int chinhensel = 1;
int globalpoly = 0;

namespace {

using gcd_impl::is_number;
using gcd_impl::top_degree;

// Operands above this many terms (together) are worth a look for a better main variable.
constexpr int32_t REORDER_TERMS = 30;
// Inner variables surveyed for the main-variable choice.
constexpr int32_t REORDER_SCAN = 12;
// A leading coefficient of fewer terms than this cannot be beaten: stop surveying.
constexpr int32_t GOOD_LEAD_TERMS = 3;
// Cost rule: above the limit (and with a leading coefficient of more than
// C_LC_LIMIT terms) the sequence is likely to swell; the modular methods
// of the full driver are then cheaper.
constexpr int32_t COST_LIMIT = 120000;
constexpr int32_t COST_LIMIT_MANY_VARS = 40000;
constexpr int32_t C_LC_LIMIT = 400;
constexpr int32_t HUGE_TERMS = 200000;
// A member this many times the size of the one before signals swell too.
constexpr int32_t RATIO_LIMIT = 1000;
// After this many abandonments in one statement the sequence always runs to its end.
constexpr int32_t MAX_ABANDON = 4;

bool field_outside_lint() { return field_depth > 0 && !lintmode; }

// Polynomials of the sequence, freed on every exit.
struct Scratch {
    polynode* h = nullptr;
    polynode* beta = nullptr;
    polynode* r = nullptr;
    polynode* t = nullptr;
    polynode* s = nullptr;
    polynode* c2 = nullptr;
    polynode* G = nullptr;
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        for (polynode** p : {&h, &beta, &r, &t, &s, &c2, &G}) free_poly(p);
    }
};

// The temporary top variable of a re-ordering. While it lives the variable
// levels may be shifted down by one; the destructor undoes the shift and
// gives the record back, on every exit.
struct TopVariable {
    pt* rec = nullptr;
    pt* vars = nullptr;
    bool shifted = false;

    explicit TopVariable(pt* v) : vars(v) {
        newpt(&rec);
        rec->next = v;
        std::strcpy(rec->name, "D");
        rec->hash = 65535;
        rec->modout_degree = 0;
        if (v->level == 1) {
            rec->level = 1;
            for (pt* p = v; p; p = p->next) p->level++;
            if (field_depth > 0) field_depth++;
            globalpoly++;
            shifted = true;
        } else {
            rec->level = static_cast<int16_t>(v->level - 1);
        }
    }
    ~TopVariable() {
        if (shifted) {
            for (pt* p = vars; p; p = p->next) p->level--;
            if (field_depth > 0) field_depth--;
            globalpoly--;
        }
        rec->next = nullptr;    // the chain from vars on is not the record's to free
        free_pt(&rec);
    }
    TopVariable(const TopVariable&) = delete;
    TopVariable& operator=(const TopVariable&) = delete;
};

// The variable of depth k (1 = top) as a polynomial at the top level.
polynode* variable_at_depth(int32_t k) {
    polynode* one = nullptr;
    poly_set(1, &one);
    polynode* x = new_term_node(1, one);
    add_pad(&x, k - 1);
    return x;
}

void swap_pair(gcd_state* st) {
    polynode* w = *st->u;
    *st->u = *st->v;
    *st->v = w;
}

// The lc (coefficient of the first term) at p's own level: padded unless a number.
polynode* leading_at_level(polynode* p) {
    polynode* c = nullptr;
    if (p->numb) {
        node_assign(p, &c);
        return c;
    }
    poly_assign(p->pcoef, &c);
    gcd_impl::pad_unless_number(&c);
    return c;
}

// in place. *p := *p / d exactly, d at *p's level.
void exact_divide(polynode** p, polynode* d, pt* rec, int32_t code) {
    if (is_number(d)) {
        if (!poly_eq_1(d)) num_poly_quot(*p, d->ncoef, 0);
        return;
    }
    if (!field_outside_lint()) {
        fast_poly_divide(p, d, rec, code);
        return;
    }
    polynode *q = nullptr, *rem = nullptr, *mult = nullptr;
    if (d->numb)
        pseudo_field_coef_poly_div(*p, d, rec, &q, &rem, &mult);
    else
        num_pseudo_div(*p, d, &q, &rem, &mult, rec);
    free_poly(&rem);
    free_poly(&mult);
    free_poly(p);
    *p = q;
}

// Survey of the inner variables: the depth (1 = the main variable) whose
// leading coefficient in v has the fewest terms.
int32_t best_main_variable(polynode* u, polynode* v, int32_t level) {
    const int32_t E = field_depth > 0 ? field_depth : number_polys + 1;
    const int32_t last = E - level < REORDER_SCAN ? E - level : REORDER_SCAN;
    int32_t b = 1, best = 0;
    polynode* c = nullptr;
    for (int32_t L = 1; L <= last; L++) {
        int32_t dv = -2147483647;
        max_degree(v, L, &dv);
        if (dv == 0) continue;
        int32_t du = -2147483647;
        max_degree(u, L, &du);
        if (du == 0) continue;
        extract_coef(v, &c, L - 1, dv, 0);
        const int32_t count = poly_numterms(c, level);
        if (L == 1) {
            best = count;
        } else if (count < best) {
            best = count;
            b = L;
        }
        if (best < GOOD_LEAD_TERMS) break;
    }
    free_poly(&c);
    return b;
}

// in place. The variable of depth b + 1 becomes the top one (record rec):
// p is wrapped in a new exponent-0 top level first.
void move_to_top(polynode** p, int32_t b, pt* rec) {
    *p = new_term_node(0, *p);
    polynode* N = variable_at_depth(1);
    polynode* den = nullptr;
    case_two(p, &den, static_cast<int16_t>(b + 1), 1, N, nullptr, rec);
    free_poly(&den);
    free_poly(&N);
}

// in place. The top variable goes back to depth b + 1 and the empty top level is taken off.
void move_back(polynode** p, int32_t b, pt* rec) {
    polynode* N = variable_at_depth(b + 1);
    polynode* den = nullptr;
    case_one(p, &den, 1, N, nullptr, rec);
    free_poly(&den);
    free_poly(&N);
    polynode* w = *p;
    if (!w->numb && w->exp == 0 && !w->next) {
        *p = w->pcoef;
        w->pcoef = nullptr;
        w->exp = 0;
        w->next = polygarb;
        polygarb = w;
    }
}

}  // namespace

void algorithm_c(gcd_state* st, int allow_tests, int allow_split) {
    polynode*& u = *st->u;
    polynode*& v = *st->v;
    pt* const vars = *st->vars;
    const int test_only = *st->test_only;
    gcd_own_operand(st, 1);
    gcd_own_operand(st, 2);

    Scratch w;
    poly_set(1, &w.h);
    poly_set(1, &w.beta);

    if (top_degree(u) == top_degree(v) && f_poly_numterms(u) < f_poly_numterms(v)) swap_pair(st);

    int32_t b = 1;
    if (fast_f_numterms(u, vars->level) + fast_f_numterms(v, vars->level) > REORDER_TERMS && top_degree(v) > 2)
        b = best_main_variable(u, v, vars->level);

    std::optional<TopVariable> top;
    pt* work = vars;

    if (b >= 2) {
        top.emplace(vars);
        work = top->rec;
        move_to_top(&v, b, work);
        move_to_top(&u, b, work);
        if (top_degree(u) < 1 || top_degree(v) < 1) tarvex_error(" shifted u and v, one has zero exponent.", 1);
        dual_content(u, v, &w.c2, work, 0, 0, 1, 1);
        if (!poly_eq_1(w.c2)) {
            gcd_impl::divide_by_content(&u, w.c2, work, 37);
            gcd_impl::divide_by_content(&v, w.c2, work, 41);
        }
    }

    if (top_degree(u) < top_degree(v)) swap_pair(st);

    // Values of the cost rule, printed by an abandonment; before the first
    // cost computation they print as 0, the limit and 0.
    int64_t cost = 0;
    int32_t limit = number_polys > 9 ? COST_LIMIT_MANY_VARS : COST_LIMIT;
    int32_t c_lc = 0;
    for (;;) {
        if (v->numb) tarvex_error("v number in Alg C.", 1);
        const int32_t du = top_degree(u), dv = top_degree(v);
        const int32_t delta = du - dv;

        bool abandon = false;
        bool cant = false;
        if ((du > 2 && dv > 1) || q_poly_numterms(v) > HUGE_TERMS) {
            const int64_t terms = (static_cast<int64_t>(f_poly_numterms(v)) + f_poly_numterms(u)) / 10;
            const int64_t mass = (static_cast<int64_t>(new_poly_mass(u, 1)) + new_poly_mass(v, 1)) / 2;
            // A 32-bit product: an overflow turns negative and counts as too costly.
            const int32_t c32 = static_cast<int32_t>(static_cast<uint32_t>(terms) * static_cast<uint32_t>(mass) *
                                                     static_cast<uint32_t>(dv));
            limit = number_polys > 9 ? COST_LIMIT_MANY_VARS : COST_LIMIT;
            cost = c32 < 0 ? int64_t{limit} + 1 : c32;
            c_lc = f_poly_numterms(v->pcoef);
            if (cost > limit && c_lc > C_LC_LIMIT) {
                if (alg_c_count >= MAX_ABANDON)
                    cant = true;
                else
                    abandon = true;
            }
        }
        if (!abandon && !cant && f_poly_numterms(v) / f_poly_numterms(u) > RATIO_LIMIT) {
            if (alg_c_count < MAX_ABANDON)
                abandon = true;
            else
                cant = true;
        }
        if (cant && verbose)
            std::printf("Warning. Can't abandon Algorithm C. %li, %li, %li, %lli\n", static_cast<long>(du),
                        static_cast<long>(dv), static_cast<long>(c_lc), static_cast<long long>(cost));

        if (abandon) {
            alg_c_count++;
            if (verbose || !chinhensel) {
                std::printf("Warning. Abandon Algorithm C. %li, %li, %li, %lli, ", static_cast<long>(alg_c_count),
                            static_cast<long>(du), static_cast<long>(dv), static_cast<long long>(cost));
                std::printf("%li, %li, %li\n", static_cast<long>(c_lc), static_cast<long>(limit),
                            static_cast<long>(c_lc));
            }
            if (!chinhensel && alg_c_count <= 3) {
                std::printf("\n!! ** Warning. You set &O to force Algorithm C!\n\n");
                tarvex_error("&O conflict with large GCD problem.", 0);
            }
            // The pair stays ours: the driver works on copies, so it cannot
            // take nodes this sequence still frees.
            polynode* t2 = nullptr;
            polygcd(u, v, &t2, test_only, allow_tests, allow_split, work, 1, 1, 0);
            free_poly(&v);
            v = t2;
            break;
        }

        pseudo_div_no_q(u, v, &w.r, work, 1);
        if (poly_iszero(w.r)) break;
        if (top_degree(w.r) == 0) {
            poly_set(1, &v);
            break;
        }
        free_poly(&u);
        u = v;
        v = w.r;
        w.r = nullptr;

        if (delta > 0) {
            if (delta == 1) {
                poly_set(1, &w.t);
            } else {
                poly_assign(w.h, &w.t);
                if (delta > 2) compute_power(&w.t, delta - 1, work);
            }
            if (!poly_eq_1(w.t)) poly_mult(w.beta, w.t, &w.beta, work);
            poly_mult(w.beta, w.h, &w.beta, work);
        }
        exact_divide(&v, w.beta, work, 17);

        free_poly(&w.beta);
        w.beta = leading_at_level(u);

        if (delta == 0) {
            // h · 1: h stays.
        } else if (delta == 1) {
            poly_assign(w.beta, &w.h);
        } else {
            poly_assign(w.beta, &w.s);
            compute_power(&w.s, delta, work);
            if (field_outside_lint()) {
                exact_divide(&w.s, w.t, work, -41);
                free_poly(&w.h);
                w.h = w.s;
                w.s = nullptr;
            } else if (is_number(w.t)) {
                poly_quot(w.s, w.t, &w.h, -41);
            } else {
                int fail = 0;
                gen_poly_divide(w.s, w.t, &w.h, work, &fail);
                if (fail) tarvex_error("poly_divide failed in Alg C.", 1);
            }
        }
        free_poly(&w.t);
        free_poly(&w.s);

        // Over a field of characteristic 0 the member is kept as the sequence
        // made it: scaled to monic form, the next exact divisions by beta and
        // h no longer come out in integer pseudo-division, and the sequence
        // stopped with a non-zero remainder. The answer is made monic at the end.
        if (field_depth > 0 && lintmode) {
            polynode* lc = nullptr;
            monic_poly(&v, &lc, work);
            free_poly(&lc);
        }
    }

    // G is the last non-zero member (or the driver's answer after an abandonment).
    w.G = v;
    v = nullptr;
    free_poly(&u);

    if (top) {
        if (!test_only || top_degree(w.G) == 0) {
            if (w.G->numb) {
                // A constant gcd of the re-ordered pair is a unit: c2 is all of it.
                poly_set(1, &w.G);
            } else {
                polynode* cg = nullptr;
                content(w.G, &cg, work, 0, allow_split, 1);
                if (!poly_eq_1(cg)) gcd_impl::divide_by_content(&w.G, cg, work, 31);
                free_poly(&cg);
            }
            if (w.c2) {
                gcd_impl::pad_unless_number(&w.c2);
                gcd_impl::mult_into(&w.G, w.c2, work);
            }
            gcd_impl::make_positive(w.G);
        }
        if (!w.G->numb) move_back(&w.G, b, work);
        top.reset();
        work = vars;
    }

    if (top_degree(w.G) == 0) {
        poly_set(1, &w.G);
    } else if (!test_only) {
        polynode* cg = nullptr;
        content(w.G, &cg, vars, 0, allow_split, 1);
        if (!poly_eq_1(cg)) gcd_impl::divide_by_content(&w.G, cg, vars, 25);
        free_poly(&cg);
        gcd_impl::make_positive(w.G);
    }

    free_poly(st->g);
    *st->g = w.G;
    w.G = nullptr;
    finish_4(st);
}
