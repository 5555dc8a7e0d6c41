// The equality and negation tests of built-ins 17 and 18: either side may
// be the whole value, its numerator or its denominator, and the parts are
// compared where they are stored, so a large value is never copied.
//
// Forms: a value is a plain number (isnum) or a polynomial quoly (a
// polynomial, a rational function, or a rational number whose numerator
// and denominator are one-node polynomials). N(q) is q's numerator, D(q)
// its denominator, null standing for 1.
#include "builtins/storage_builtins.h"

#include <cstdio>

#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "quoly/value_equality.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

constexpr int32_t EQUAL_OP = 17;

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

bool single_leaf(const polynode* p) { return p && p->numb && !p->next; }

int compare_numbers(int32_t op, imag* a, imag* b) { return op == EQUAL_OP ? equal(a, b) : negtive(a, b); }

int quoly_vs_one(int32_t op, quoly* q) { return op == EQUAL_OP ? quoly_eq_1(q) : quoly_eq_m1(q); }

int poly_vs_one(int32_t op, polynode* p) { return op == EQUAL_OP ? poly_eq_1(p) : poly_eq_m1(p); }

// 1 against 1: equal always; the negative of itself only where 1 = -1
// (characteristic 2).
int one_vs_one(int32_t op) { return op == EQUAL_OP ? 1 : negtive(number_1, number_1); }

int whole_values(int32_t op, quoly* a, quoly* b) {
    return op == EQUAL_OP ? quoly_same_value(a, b) : quoly_negated_value(a, b);
}

// A plain number against a polynomial's single leaf; any other polynomial is
// not a number.
int number_vs_leaf(int32_t op, imag* n, polynode* p) { return single_leaf(p) ? compare_numbers(op, n, p->ncoef) : 0; }

// A bare value against the numerator of a polynomial quoly.
int value_vs_numer(int32_t op, quoly* a, quoly* b) {
    if (a->isnum) return number_vs_leaf(op, a->nnum, b->pnum);
    if (a->den) return 0;
    int s = 0;
    look_at_polys(a->pnum, b->pnum, &s, op);
    return s;
}

// The selected part of a polynomial quoly.
polynode* part_of(quoly* q, int32_t denom) { return denom ? q->den : q->pnum; }

int both_wrapped(int32_t op, quoly* a, quoly* b, int32_t a_den, int32_t b_den) {
    int s = 0;
    if (a->isnum && b->isnum) {
        if (!a_den && !b_den) return whole_values(op, a, b);
        if (!a_den) return quoly_vs_one(op, a);
        if (!b_den) return quoly_vs_one(op, b);
        return one_vs_one(op);
    }
    if (a->isnum) {
        if (!a_den && b_den) {
            handle_denom(a, b, &s, op);
            return s;
        }
        if (!a_den) return number_vs_leaf(op, a->nnum, b->pnum);
        if (b_den) return b->den ? 0 : one_vs_one(op);
        return poly_vs_one(op, b->pnum);
    }
    if (b->isnum) {
        if (a_den && !b_den) {
            handle_denom(b, a, &s, op);
            return s;
        }
        if (!b_den) return number_vs_leaf(op, b->nnum, a->pnum);
        if (a_den) return a->den ? 0 : one_vs_one(op);
        return poly_vs_one(op, a->pnum);
    }
    look_at_polys(part_of(a, a_den), part_of(b, b_den), &s, op);
    return s;
}

int decide(int32_t op, quoly* a, quoly* b, const int32_t* f) {
    const bool a_bare = !f[FIRST_NUMER] && !f[FIRST_DENOM];
    const bool b_bare = !f[SECOND_NUMER] && !f[SECOND_DENOM];
    int s = 0;
    if (a_bare && b_bare) return whole_values(op, a, b);
    if (a_bare && f[SECOND_NUMER]) return b->isnum ? whole_values(op, a, b) : value_vs_numer(op, a, b);
    if (b_bare && f[FIRST_NUMER]) return a->isnum ? whole_values(op, a, b) : value_vs_numer(op, b, a);
    if (a_bare) {
        if (b->isnum) return quoly_vs_one(op, a);
        handle_denom(a, b, &s, op);
        return s;
    }
    if (b_bare) {
        if (a->isnum) return quoly_vs_one(op, b);
        handle_denom(b, a, &s, op);
        return s;
    }
    return both_wrapped(op, a, b, f[FIRST_DENOM], f[SECOND_DENOM]);
}

// One side of the call: [^] name-or-factor, or "Numer"/"Denom" "(" [^] it ")".
// *slot := the stored slot (or the held value's slot); null for an absent
// sparse entry. A side that is computed rather than stored is compared as
// it is.
quoly** read_side(FILE** source, name** pending, quoly** held, int32_t* numer, int32_t* denom) {
    if (token_is(&token, "^")) next_token(source, pending);
    const bool wrapped = token_is(&token, "Numer") || token_is(&token, "Denom");
    if (wrapped) {
        *(token_is(&token, "Numer") ? numer : denom) = 1;
        next_token(source, pending);
        if (!token_is(&token, "("))
            error(177, token.name);
        else
            next_token(source, pending);
        if (token_is(&token, "^")) next_token(source, pending);
    }
    quoly** ref = nullptr;
    colm** sparse_list = nullptr;
    int32_t sparse_pos = 0;
    fact(source, &ref, held, &sparse_list, &sparse_pos, pending, 1);
    // A value a conversion list left out is compared as its element of the ring.
    if (!*held && ref && *ref && read_left_out_converted(*ref, held)) ref = held;
    if (*held) ref = held;
    if (wrapped) {
        if (!token_is(&token, ")"))
            error(1, token.name);
        else
            next_token(source, pending);
    }
    return ref;
}

}  // namespace

void look_at_polys(polynode* p, polynode* q, int* state, int32_t op) {
    if (!p && !q)
        *state = one_vs_one(op);
    else if (!p || !q)
        *state = poly_vs_one(op, p ? p : q);
    else
        *state = op == EQUAL_OP ? poly_equal(p, q) : poly_neg(p, q);
}

void handle_denom(quoly* x, quoly* y, int* state, int32_t op) {
    polynode* d = y->isnum ? nullptr : y->den;
    if (x->isnum) {
        if (!d)
            *state = quoly_vs_one(op, x);
        else
            *state = number_vs_leaf(op, x->nnum, d);
        return;
    }
    *state = 0;
    if (d && !x->den) look_at_polys(x->pnum, d, state, op);
}

void finish_equal(int32_t op, quoly** result, quoly** a, quoly** b, const int32_t* flags) {
    SlotHold zero;
    quoly_set(0, &zero.q);
    quoly* x = a && *a ? *a : zero.q;
    quoly* y = b && *b ? *b : zero.q;
    const int s = decide(op, x, y, flags);
    quoly_set(s, result);
}

void builtin_equal(FILE** source, quoly** result, name** pending, int32_t n) {
    free_quoly(result);
    int32_t flags[4] = {0, 0, 0, 0};
    SlotHold first, second;
    next_token(source, pending);
    if (!token_is(&token, "("))
        error(177, token.name);
    else
        next_token(source, pending);
    quoly** a = read_side(source, pending, &first.q, &flags[FIRST_NUMER], &flags[FIRST_DENOM]);
    if (!token_is(&token, ","))
        error(202, token.name);
    else
        next_token(source, pending);
    quoly** b = read_side(source, pending, &second.q, &flags[SECOND_NUMER], &flags[SECOND_DENOM]);
    if (!token_is(&token, ")"))
        error(1, token.name);
    else
        next_token(source, pending);
    finish_equal(n, result, a, b, flags);
}
