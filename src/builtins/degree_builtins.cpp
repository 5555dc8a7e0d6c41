// The derivative built-in, the level shifts (Lower, Raise) and the part of
// a given total degree (Totdeg).
#include <cstdio>

#include "builtins/builtin_func.h"
#include "builtins/degrees.h"
#include "builtins/derivative.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// Deriv(u, x, k): the k-th derivative of u in the polynomial variable x.
void derivative(FILE** source, quoly** result, name** pending) {
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    next_argument(source, pending);
    SlotHold x;
    value_argument(source, pending, &x.q);
    int32_t level = 0, degree = 0;
    polynode *node = nullptr, *parent = nullptr;
    if (!check_for_monic_poly(282, x.q, &level, &degree, &node, &parent)) abandon_statement(282);
    // Monic is not enough: x^2 or x + y would silently mean x.
    int32_t var_level = 0;
    if (!is_poly_var(x.q, &var_level)) bfail(282, token.name);
    next_argument(source, pending);
    const int32_t k = count_argument(source, pending);
    if (k < 0) bfail(283, token.name);
    close_arguments(source, pending);
    if (k >= 1) differentiate(result, level, k);
}

// Lower(u [, k]) and Raise(u [, k]): every variable moved k levels (1 by default).
void shift(FILE** source, quoly** result, name** pending, bool raise) {
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    int32_t k = 1;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        k = count_argument(source, pending);
    }
    close_arguments(source, pending);
    if ((*result)->isnum || k == 0) return;
    const bool done = raise ? raise_quoly(result, k) : lower_quoly(result, k);
    if (!done) abandon_statement(raise ? 275 : 277);
}

// Totdeg(u, [A], d): the terms of u of total degree d in the variables of A.
void total_degree_part(FILE** source, quoly** result, name** pending) {
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    quoly* u = *result;
    // A number denominator leaves a polynomial over the rationals.
    const bool constant = u->isnum || (u->rat && !lintmode);
    if (!constant && u->den && !quoly_detail::lone_number(u->den)) bfail(186, token.name);
    next_argument(source, pending);
    array_operand vars{};
    array_argument(source, pending, &vars);
    whole_array(vars);
    if (token_is(&vars.nm, "%")) bfail(296, vars.nm.name);
    next_argument(source, pending);
    const int32_t d = count_argument(source, pending);
    close_arguments(source, pending);
    if (constant) {
        if (d != 0) quoly_set(0, result);
        return;
    }
    do_total_degree(result, vars.record, d);
}

}  // namespace

bool degree_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    switch (n) {
    case 11:
        derivative(source, result, pending);
        return true;
    case 39:
        shift(source, result, pending, false);
        return true;
    case 69:
        shift(source, result, pending, true);
        return true;
    case 99:
        total_degree_part(source, result, pending);
        return true;
    default:
        return false;
    }
}
