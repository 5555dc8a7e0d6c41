// The built-ins that turn a polynomial into an array (Factor, Sqfree,
// Monos), the irreducibility test and Killdenom: argument checks, the
// output array made at the size the worker produced, and its filling.
// Every check comes before the output array is touched, so a refused call
// leaves it as it was.
#include <cstdio>

#include "builtins/factor.h"
#include "builtins/gcd_builtins_impl.h"
#include "gcd/polygcd.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/poly_arrays.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "poly/levels.h"
#include "poly/measures.h"
#include "poly/polyvars.h"
#include "quoly/aux_primes.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

// The factoring value: no polynomial denominator (186; a number
// denominator only where allowed), no negative exponents (198).
void check_factoring_value(quoly* q, bool number_denominator_allowed) {
    if (q->isnum) return;
    if (q->den && !(number_denominator_allowed && single_number(q->den))) bfail(186, token.name);
    if (laurent && anynegs(q->pnum)) bfail(198, token.name);
}

// Factoring past these degrees would run for days: the word routes of the
// distinct-degree split end there (bit-packed words modulo 2, transforms
// below 2^25 points modulo an odd prime), and the term lists that would
// take over are slower still. Refused before any work (302).
constexpr int32_t FACTOR_DEGREE_LIMIT = 1 << 22;
constexpr int32_t FACTOR_DEGREE_LIMIT_MOD2 = 1 << 17;

// A power of the variable that divides the value is split off by its
// exponent before any polynomial work, so only the span of the exponents
// has to pass the limit: x^(2^29)*(x + 1)^2 is quick.
void check_factor_degree(const quoly* q) {
    if (q->isnum || q->pnum->numb) return;
    const int32_t limit = modulus == 2 && !finf ? FACTOR_DEGREE_LIMIT_MOD2 : FACTOR_DEGREE_LIMIT;
    const polynode* last = q->pnum;
    while (last->next) last = last->next;
    if (static_cast<int64_t>(q->pnum->exp) - last->exp > limit) bfail(302, token.name);
}

// The ring checks of the factoring built-ins: machine integers need a
// modulus (62); modular mode, where asked, needs a prime (284, 293).
void check_ring(bool modular_required) {
    if (lintmode && !modularmode) bfail(62, token.name);
    if (modular_required && !modularmode) bfail(284, token.name);
    if (modularmode && !mod_is_prime && !finf) bfail(293, token.name);
}

// The level argument of Factor and Irred, checked as the factoring checks
// it, so that a refusal ends the statement before anything is stored.
void check_level(int32_t level) {
    if (level < -1 || (level > 0 && field_depth == 0)) bfail(300, token.name);
    if ((level > 0 || (level == 0 && field_depth > 0)) && number_polys + 1 - level < field_depth)
        bfail(300, token.name);
}

// The factors' polynomial or the statement ends with cant_factor's code.
void check_factorable(polynode* p, int check) {
    int32_t code = 0;
    if (cant_factor(p, &code, check)) bfail(code, token.name);
}

// slot is one of a's cells or entries (a may be null).
bool slot_in_array(array* a, quoly** slot) {
    if (!a) return false;
    if (a->sparse) {
        sparse* f = a->sparse;
        for (int32_t r = 1; r <= a->rows && f; r++) {
            const int32_t k = (r - 1) % SPARSE_FRAME_ROWS;
            for (colm* e = f->row[k]; e; e = e->next)
                if (&e->val == slot) return true;
            if (k == SPARSE_FRAME_ROWS - 1) f = f->next;
        }
        return false;
    }
    for (int32_t page = a->first >> 10; a->last >= a->first && page <= a->last >> 10; page++) {
        quoly** base = arp[page];
        if (slot >= base && slot < base + PAGE_CELLS) {
            const int64_t c = int64_t{page} * PAGE_CELLS + (slot - base);
            return c >= a->first && c <= a->last;
        }
    }
    return false;
}

// The factor list as an n x 2 array named nm (1 x 2 [1, 0] for none).
void store_factors(tokenrec* nm, int32_t count, polynode** list, name** pending) {
    array* a = replace_output_array(nm, count > 0 ? count : 1, 2, false, pending);
    poly_to_array(count, a->first, list);
}

// A relation declared a field but reducible modulo the prime leaves zero
// divisors, on which the splitting of the factors never ends: refused
// before any work.
void refuse_false_field(int32_t level) {
    if (field_depth == 0 || level == 0 || level < -1) return;
    const int32_t top = level == -1 ? field_depth : number_polys + 1 - level;
    if (pt* v = reducible_field_relation(top)) bfail(271, v->name);
}

}  // namespace

namespace gcd_builtins {

void factor(FILE** source, quoly** result, name** pending) {
    check_ring(true);
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    check_factoring_value(*result, false);
    check_factor_degree(*result);
    next_argument(source, pending);
    tokenrec nm;
    output_array_argument(source, pending, &nm);
    int32_t level = -1;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        level = get_level_k(source, pending, false);
    }
    close_arguments(source, pending);
    check_level(level);
    refuse_false_field(level);
    PolyHold list;
    int32_t count = 0;
    if (!(*result)->isnum) {
        check_factorable((*result)->pnum, 1);
        PolyHold work;
        poly_assign((*result)->pnum, &work.p);
        factor_poly(&work.p, &list.p, &count, 0, verbose && !*pending, level);
    }
    store_factors(&nm, count, &list.p, pending);
    note_reduced_count(count);
    quoly_set(count, result);
}

void irreducible(FILE** source, quoly** result, name** pending) {
    check_ring(true);
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    int32_t level = -1;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        level = get_level_k(source, pending, false);
    }
    close_arguments(source, pending);
    check_factoring_value(*result, false);
    check_factor_degree(*result);
    // Refused exactly where Factor refuses, with its errors: an answer of
    // "not available" would read as a count.
    check_level(level);
    refuse_false_field(level);
    if (!(*result)->isnum) check_factorable((*result)->pnum, 1);
    irreducible_poly(result, level);
}

void square_free(FILE** source, quoly** result, name** pending) {
    check_ring(false);
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    // A number denominator only scales the polynomial: its content is
    // dropped from the decomposition anyway.
    check_factoring_value(*result, true);
    next_argument(source, pending);
    tokenrec nm;
    output_array_argument(source, pending, &nm);
    close_arguments(source, pending);
    PolyHold list;
    int32_t count = 0;
    if (!(*result)->isnum && !single_number((*result)->pnum)) {
        check_factorable((*result)->pnum, 0);
        // Coefficients in the relations' "field" divide by its elements:
        // zero divisors there are refused as Factor refuses them.
        if (modularmode && exists_field_element((*result)->pnum, 1)) refuse_false_field(-1);
        PolyHold work;
        poly_assign((*result)->pnum, &work.p);
        total_sq_free(&work.p, &list.p, &count, 1, polynames);
    }
    store_factors(&nm, count, &list.p, pending);
    note_reduced_count(count);
    quoly_set(count, result);
}

void monomials(FILE** source, quoly** result, name** pending) {
    SlotHold arg;
    open_arguments(source, pending);
    quoly** u = get_the_data(source, pending, &arg.q);
    next_argument(source, pending);
    tokenrec nm;
    output_array_argument(source, pending, &nm);
    // A referenced element of the array that is about to be replaced is
    // copied first: the replacement frees it.
    if (u != &arg.q && slot_in_array(find_array(&nm), u)) {
        quoly_assign(*u, &arg.q);
        u = &arg.q;
    }
    int one = 0;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        one = count_argument(source, pending) == 1 ? 1 : 0;
    }
    close_arguments(source, pending);
    quoly* q = *u;
    if (!q->isnum && q->den) bfail(196, token.name);
    const int32_t rows = q->isnum ? 1 : numterms(q);
    array* a = replace_output_array(&nm, rows, 1, true, pending);
    dump_mons(a, q, one);
    quoly_set(rows, result);
}

void kill_denominators(FILE** source, quoly** result, name** pending) {
    open_arguments(source, pending);
    if (token_is(&token, "[")) {
        array_operand a;
        array_argument(source, pending, &a);
        array* r = a.record;
        if (a.sub_first_row >= 0 && r->sparse) bfail(244, a.nm.name);
        close_arguments(source, pending);
        if (r->sparse)
            killdenoms(r->sparse, 0, r->rows, r->rows, 1);
        else
            killdenoms(nullptr, r->first, r->rows, r->rows, array_columns(r));
    } else {
        quoly** slot = get_quoly_ptr(source, pending);
        close_arguments(source, pending);
        if (slot && *slot) kill_denominator_in_ring(slot);
    }
    quoly_set(0, result);
}

}  // namespace gcd_builtins
