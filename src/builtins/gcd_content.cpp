// Gcd and content of the interpreter's values (gcd_content.h).
#include "builtins/gcd_content.h"

#include "gcd/polygcd.h"
#include "gcd/split_field_gcd.h"
#include "interp/builtin_args.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/laurent.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

// free-first: *result := g (taken over); a lone number is a plain number.
void store_poly(polynode** g, quoly** result) {
    free_quoly(result);
    use_up_poly(g, result);
    *g = nullptr;
}

// free-first: *result := |n| (1 in machine-integer mode and for 0).
void absolute_number(imag* n, quoly** result) {
    if (lintmode || iszero(n)) {
        quoly_set(1, result);
        return;
    }
    imag* c = new_number();
    abs_val_num(n, c);
    quoly* q = nullptr;
    scalar_to_quoly(c, &q);
    free_imag(&c);
    free_quoly(result);
    *result = q;
}

// The shift list of clear_bads, given back on every exit.
struct ShiftList {
    polynode* first = nullptr;
    polynode* last = nullptr;
    ~ShiftList() { release_shift_list(&first, &last); }
};

}  // namespace

void Lpolygcd2(polynode** u, polynode** v, quoly** result, pt* vars) {
    polynode* g = nullptr;
    {
        // The gcd itself is asked for, not a common divisor to cancel.
        SplitGcdAsked asked;
        Lpolygcd(u, v, &g, 1, vars);
    }
    store_poly(&g, result);
}

void gcd_0_poly(polynode** u, quoly** result) {
    polynode* g = nullptr;
    // gcd(u, u) is u normalised as a gcd; the one slot is cleared once.
    Lpolygcd(u, u, &g, 0, polynames);
    store_poly(&g, result);
}

int32_t content_level(quoly* v) {
    if (!v->isnum && v->den) bfail(196, token.name);
    if (v->isnum) {
        const int32_t k = convert_to_int(v->nnum);
        return k == INT_DOES_NOT_FIT ? 0 : k;
    }
    int32_t level = 0;
    if (!is_poly_var(v, &level)) bfail(282, token.name);
    return level;
}

void call_content(quoly* u, quoly** result, bool given, int32_t k, bool owned) {
    if (u->isnum) {
        absolute_number(u->nnum, result);
        return;
    }
    if (u->rat) {
        // A rational number: its absolute value.
        quoly* c = nullptr;
        quoly_assign(u, &c);
        if (c->pnum->ncoef->head->digit < 0) in_place_neg(c->pnum->ncoef);
        free_quoly(result);
        *result = c;
        return;
    }
    if (u->den) bfail(196, token.name);
    if (laurent && !owned) bfail(312, token.name);
    ShiftList shifts;
    if (laurent && !single_number(u->pnum))
        clear_bads(&u->pnum, &shifts.first, &shifts.last, SHIFT_NEGATIVES, SHIFT_ALL_LEVELS);

    // The first level the value depends on.
    polynode* p = u->pnum;
    pt* rec = polynames;
    int32_t first = 1;
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        rec = inner(rec);
        first++;
    }
    if (!given) k = first;
    if (k < 1 || k > number_polys) bfail(345, token.name);
    if (field_depth > 0 && k >= field_depth) bfail(344, token.name);
    if (single_number(p)) {
        // Only a cleared Laurent monomial gets here: a constant.
        absolute_number(p->ncoef, result);
        return;
    }
    if (k < first) {
        // The value does not involve the variable: it is its own content.
        p_q_assign(u->pnum, result);
        return;
    }
    polynode* c = nullptr;
    int32_t pad;
    if (k == first) {
        content(p, &c, rec, 0, 1, 1);
        pad = first;       // content's result lies one level inside p's
    } else {
        int absent = 1;
        general_content(p, k - first + 1, &c, rec, &absent, 1);
        pad = first - 1;
    }
    if (!single_number(c)) add_pad(&c, pad);
    store_poly(&c, result);
}
