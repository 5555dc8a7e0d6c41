// Factoring over a finite field in three stages: square-free parts, the
// distinct-degree split by the powers x^(q^i) modulo each part, and the
// equal-degree split of each degree's product (cantor_zass.cpp).
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

#include "builtins/factor.h"
#include "builtins/factor_impl.h"
#include "builtins/ddf_flat.h"
#include "builtins/powermod.h"
#include "gcd/exactdiv.h"
#include "gcd/polydiv.h"
#include "gcd/polygcd.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/levels.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"

using namespace factor_impl;
using namespace powermod_impl;

double factor_distinct_degree_ms = 0;

namespace factor_impl {

void divide_out(polynode** f, polynode* d, FactorFrame& fr) {
    PolyHold rest;
    int fail = 0;
    gen_poly_divide(*f, d, &rest.p, fr.rec, &fail);
    if (fail) {
        tarvex_error("failure in factor_poly.", 1);
        abandon_statement();
    }
    std::swap(*f, rest.p);
}

FactorFrame::~FactorFrame() { free_poly(&head); }

void append_1(polynode** slot, int32_t value, FactorFrame& f) {
    polynode* part = *slot;
    *slot = nullptr;
    for (int32_t k = 0; k < f.pad; k++) part = new_term_node(0, part);
    polynode* rec = new_term_node(value, part);
    *f.tail = rec;
    f.tail = &rec->next;
    if (f.count) (*f.count)++;
    if (f.print) {
        int32_t col = 0, lines = 0;
        poly_display(&Output, 1, 0, part, &col, "", polynames, 0, 1, &lines);
        std::fputs("\n\n", Output);
        std::fflush(Output);
    }
    if (f.stop_first) throw StopFirst{};
}

}  // namespace factor_impl

namespace {


ExpDigits field_order_digits(int32_t level) {
    ModesOff off;
    NumHold q;
    order_of_field(q.x, 0, level);
    return digits_of(q.x);
}

// The part below its exponent-0 padding, with the number of levels passed
// and the record of its main variable.
polynode* main_level(polynode* p, int32_t* pad, pt** rec) {
    *pad = 0;
    *rec = polynames;
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        *rec = inner(*rec);
        (*pad)++;
    }
    return p;
}

// The distinct-degree stage of one square-free part f (consumed): the
// records (degree i, product of the factors of degree i) into the frame.
void distinct_degree(polynode** fslot, FactorFrame& fr) {
    if (flat_distinct_degree(fslot, fr)) return;
    PolyHold f(*fslot);
    *fslot = nullptr;
    PolyHold x0(variable_poly());
    PolyHold h(variable_poly());
    for (int32_t i = 1;; i++) {
        const int32_t D = degree(f.p);
        if (i > D / 2) {
            if (D > 0) append_1(&f.p, D, fr);
            return;
        }
        poly_power_mod(&h.p, fr.q, f.p, fr.rec, fr.print);
        PolyHold g;
        poly_sub(h.p, x0.p, &g.p);
        if (lone(g.p) && g.p->ncoef->value == 0) {
            append_1(&f.p, i, fr);
            return;
        }
        PolyHold d;
        field_gcd(g.p, f.p, &d.p, fr.rec);
        if (lone(d.p)) continue;
        if (!fr.stop_first) {
            divide_out(&f.p, d.p, fr);
            poly_mod_or_div(h.p, f.p, &h.p, '|', fr.rec);
        }
        append_1(&d.p, i, fr);
    }
}

}  // namespace

void factor_poly(polynode** p, polynode** list, int32_t* count, int stop_first, int print, int32_t level,
                 const char* who) {
    PolyHold in(*p);
    *p = nullptr;
    free_poly(list);
    *count = 0;
    if (!modularmode) {
        error(284, "Factor");
        return;
    }
    if (!mod_is_prime && !finf) {
        error(293, "Factor");
        return;
    }
    if (level < -1 || (level > 0 && field_depth == 0)) {
        error(300, "Factor");
        return;
    }
    if (level > 0 || (level == 0 && field_depth > 0)) {
        if (number_polys + 1 - level < field_depth) {
            error(300, "Factor");
            return;
        }
    }
    if (level == 0 && field_depth == 0) level = -1;

    PolyHold squarefree;
    int32_t parts = 0;
    total_sq_free(&in.p, &squarefree.p, &parts, 1, polynames);
    if (!squarefree.p) return;
    // A part with coefficients outside the level's field is no polynomial
    // over that field: none of its splittings there is an answer, and
    // listing it whole would call it irreducible. Every part is looked at:
    // the first may lie in the field while a later one does not.
    if (level != -1 && number_polys + 1 - level > field_depth && !lone(in.p)) {
        for (polynode* r = squarefree.p; r; r = r->next) {
            int32_t pad = 0;
            pt* rec = nullptr;
            polynode* m = main_level(r->pcoef, &pad, &rec);
            if (!nogood(m, pad + 1, number_polys + 1 - level)) continue;
            error(299, who);
            abandon_statement();
        }
    }

    if (stop_first && (squarefree.p->exp > 1 || squarefree.p->next)) {
        squarefree.p->exp = -1;
        *list = squarefree.release();
        *count = parts;
        return;
    }

    FactorFrame fr;
    fr.stop_first = stop_first;
    fr.print = print;
    fr.level = level;
    fr.q = field_order_digits(level);
    // The distinct-degree stage: each square-free record's part becomes the
    // chain of its degree records.
    std::vector<std::pair<int32_t, pt*>> where;
    const auto ddf_start = std::chrono::steady_clock::now();
    for (polynode* r = squarefree.p; r; r = r->next) {
        FactorFrame dd;
        dd.stop_first = stop_first;
        dd.print = 0;
        dd.q = fr.q;
        polynode* m = main_level(r->pcoef, &dd.pad, &dd.rec);
        PolyHold f;
        poly_assign(m, &f.p);
        const int32_t pad = dd.pad;
        dd.pad = 0;
        try {
            distinct_degree(&f.p, dd);
        } catch (const StopFirst&) {
            for (polynode* c = dd.head; c; c = c->next)
                for (int32_t k = 0; k < pad; k++) c->pcoef = new_term_node(0, c->pcoef);
            *list = dd.head;
            dd.head = nullptr;
            *count = 1;
            return;
        }
        free_poly(&r->pcoef);
        r->pcoef = dd.head;
        dd.head = nullptr;
        where.emplace_back(pad, dd.rec);
    }
    factor_distinct_degree_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - ddf_start).count();
    if (finf || modulus == 2) fr.log_q = log_order_field(level);
    // The equal-degree stage, into the final list.
    fr.count = count;
    size_t k = 0;
    for (polynode* r = squarefree.p; r; r = r->next, k++) {
        fr.pad = where[k].first;
        fr.rec = where[k].second;
        for (polynode* c = r->pcoef; c; c = c->next) {
            if (finf || modulus == 2)
                even_cantor_zass(c->pcoef, c->exp, r->exp, fr);
            else
                odd_cantor_zass(c->pcoef, c->exp, r->exp, fr);
        }
    }
    *list = fr.head;
    fr.head = nullptr;
}
