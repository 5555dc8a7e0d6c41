// Built-ins that run array statements (Detmin, Hamilton, Sum, Trace), test
// or measure a whole array (Iszero, LCM), declare arrays and functions, and
// the argument steps of Minpoly and Powermod.
#include <cstdio>

#include "builtins/builtin_func.h"
#include "builtins/chpoly.h"
#include "builtins/powermod.h"
#include "interp/array_language.h"
#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/evaluator.h"
#include "interp/exact_read.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/array_value.h"
#include "matrix/extremes.h"
#include "matrix/gershgorn.h"
#include "matrix/measures.h"
#include "matrix/minpoly.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

// Iszero: the array factor after the name; 1 when every cell is 0.
void is_zero(FILE** source, quoly** result, name** pending) {
    bnext(source, pending);
    WorkBlock block(token.name);
    arr_value v;
    v.cells = block.cells;
    ArrValueHold hold(&v);
    SlotHold scalar;
    arr_fact(source, &scalar.q, &v, pending);
    if (v.count == 0) bfail(184, token.name);
    int all_zero = 1;
    if (v.frame) {
        sparse_iszero(v.frame, v.rows, &all_zero);
    } else {
        for (int64_t c = 0; c < v.count && all_zero; c++)
            if (v.cells[c] && !quoly_iszero(v.cells[c])) all_zero = 0;
    }
    quoly_set(all_zero, result);
}

// LCM([A]): the lcm of the entries' denominators.
void lcm_of_denominators(FILE** source, quoly** result, name** pending) {
    array_operand a;
    read_command(source, pending, &a, nullptr, false);
    if (a.sub_first_row >= 0 && a.record->sparse) bfail(244, a.nm.name);
    bexpect(")", 70);
    bnext(source, pending);
    if (lintmode) {
        if (!*pending) {
            std::printf(" Warning.  LCM called in longint/modular mode.\n");
            std::fflush(stdout);
        }
        quoly_set(1, result);
        return;
    }
    array* r = a.record;
    if (r->sparse)
        findlcm(result, r->sparse, 0, r->rows, r->rows, 1);
    else if (a.block.first >= 0)
        findlcm(result, nullptr, a.block.first, a.block.stride, a.block.rows, a.block.columns);
    else
        findlcm(result, nullptr, r->first, r->rows, r->rows, array_columns(r));
}

// Minpoly([A], k [, bound]): the bound defaults to the row-sum estimate.
void minimal_polynomial(FILE** source, quoly** result, name** pending) {
    if (number_polys == 0) bfail(213, token.name);
    // The recurrence is read off by Euclid's algorithm, which needs a field.
    if (modularmode && !mod_is_prime && !finf) bfail(293, "Minpoly");
    array_operand a;
    read_command(source, pending, &a, nullptr, false);
    whole_array(a);
    if (a.rows != a.columns) bfail(212, a.nm.name);
    if (!a.record->sparse) bfail(252, a.nm.name);
    if (a.rows > 32767) bfail(245, a.nm.name);
    next_argument(source, pending);
    const int32_t k = count_argument(source, pending, false, 257);
    if (k < 0 || k > 3) bfail(257, token.name);
    SlotHold bound;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        value_argument(source, pending, &bound.q);
    } else {
        gershgorn(&bound.q, a.record, a.rows);
    }
    close_arguments(source, pending);
    int ok = 0;
    SlotHold answer;
    Mills(a.record, a.rows, k, bound.q, &answer.q, &ok);
    if (!ok) {
        std::printf(" *** Warning: Minpoly failed. Integers in answer are too large\n");
        std::fflush(stdout);
        quoly_set(0, result);
        return;
    }
    free_quoly(result);
    *result = answer.release();
}

// Powermod(u, e [, m]): u^e, reduced modulo m or in the field.
void power_modulo(FILE** source, quoly** result, name** pending) {
    if (lintmode && !modularmode) bfail(62, token.name);
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    if (!(*result)->isnum && (*result)->den) bfail(286, token.name);
    bexpect(",", 202);
    bnext(source, pending);
    // The exponent read exactly whatever the ring: powers such as x^(p^k)
    // modulo a polynomial are what Powermod is for.
    DigitSlotHold e;
    {
        ExactCountGuard exact;
        value_argument(source, pending, &e.q);
    }
    if (!e.q->isnum) bfail(116, token.name);
    SlotHold m;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        value_argument(source, pending, &m.q);
        if (!m.q->isnum && m.q->den) bfail(288, token.name);
        if (m.q->isnum) {
            if (lintmode) bfail(188, token.name);
            if (quoly_iszero(m.q) || m.q->nnum->head->digit < 0) bfail(288, token.name);
        }
    }
    close_arguments(source, pending);
    if (!m.q && !lintmode && (*result)->isnum) bfail(292, token.name);
    powermod(result, m.q ? &m.q : nullptr, e.q->nnum, 0);
}

// Func and Function: the definition statement.
void define_function(FILE** source, quoly** result, name** pending) {
    bnext(source, pending);
    if (!is_upper(token.name[0]))
        error(11, token.name);
    else
        funcdef(source, pending);
    quoly_set(0, result);
}

}  // namespace

bool array_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    switch (n) {
    case 0:
        create_array(source, result, pending);
        return true;
    case 13:
        arr_parse('L', source, result, pending);
        return true;
    case 27:
        arr_parse('H', source, result, pending);
        return true;
    case 90:
        arr_parse('S', source, result, pending);
        return true;
    case 100:
        arr_parse('T', source, result, pending);
        return true;
    case 24:
    case 25:
        define_function(source, result, pending);
        return true;
    case 32:
        is_zero(source, result, pending);
        return true;
    case 34:
        lcm_of_denominators(source, result, pending);
        return true;
    case 3:
        builtin_chpoly(source, result, pending);
        return true;
    case 46:
        minimal_polynomial(source, result, pending);
        return true;
    case 64:
        power_modulo(source, result, pending);
        return true;
    default:
        return false;
    }
}
