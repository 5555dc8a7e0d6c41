// The coefficient built-ins: Mcoef and Mcoef2, Recoef, and the numerical
// coefficients and leading monomial (Fieldlc, Lmon, Nlc, Nmcoef, Ntc,
// Zcoef). Coef itself is an inline form of the factor routine.
#include "builtins/builtin_func.h"
#include "builtins/coef_extraction.h"
#include "builtins/numeric_coefficients.h"
#include "builtins/set_coefficient.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

// A number, whole or a fraction, is its own numerical coefficient.
bool a_number(const quoly* q) { return q->isnum || q->rat; }

// A polynomial is wanted: a denominator is error 186.
void no_denominator(const quoly* q) {
    if (!a_number(q) && q->den) bfail(186, token.name);
}

// Nlc, Fieldlc, Ntc, Zcoef: one argument, one number out of it.
void one_number(FILE** source, quoly** result, name** pending, int32_t n) {
    SlotHold arg;
    quoly* q = *standard_read(source, pending, &arg.q);
    no_denominator(q);
    if (a_number(q)) {
        quoly_assign(q, result);
        return;
    }
    switch (n) {
    case 23:
        if (field_depth != 0)
            quoly_field_leading_coef(q, result);
        else
            quoly_leading_num_coef(q, result);
        break;
    case 52:
        quoly_leading_num_coef(q, result);
        break;
    case 55:
        quoly_trail_num_coef(q, result);
        break;
    default:
        quoly_z_num_coef(q, result);
        break;
    }
}

// Nmcoef(u, m): the number in front of exactly the monomial m.
void monomial_number(FILE** source, quoly** result, name** pending) {
    SlotHold u_arg, m_arg;
    quoly** args[2] = {&u_arg.q, &m_arg.q};
    quoly** u = nullptr;
    quoly** m = nullptr;
    get_two_data(source, pending, args, &u, &m);
    no_denominator(*u);
    no_denominator(*m);
    if (!a_number(*m) && !monomial((*m)->pnum)) bfail(192, token.name);
    if (a_number(*u)) {
        if (a_number(*m))
            quoly_assign(*u, result);
        else
            quoly_set(0, result);
    } else if (a_number(*m)) {
        quoly_z_num_coef(*u, result);
    } else {
        quoly_mono_num_coef(*u, result, (*m)->pnum);
    }
}

// Lmon(u [, v]).
void leading_monomial(FILE** source, quoly** result, name** pending) {
    SlotHold u_arg, v_arg;
    open_arguments(source, pending);
    quoly** u = get_the_data(source, pending, &u_arg.q);
    quoly** v = nullptr;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        v = get_the_data(source, pending, &v_arg.q);
    }
    close_arguments(source, pending);
    if (a_number(*u))
        quoly_assign(*u, result);
    else
        leading_mon(*u, v ? *v : nullptr, result);
}

}  // namespace

bool coefficient_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    switch (n) {
    case 43:
    case 44: {
        SlotHold arg;
        open_arguments(source, pending);
        quoly** u = get_the_data(source, pending, &arg.q);
        quoly_get_coef(source, u, pending, 1, n == 44, result);
        close_arguments(source, pending);
        return true;
    }
    case 72:
        change_coef(source, result, pending);
        return true;
    case 23:
    case 52:
    case 55:
    case 110:
        one_number(source, result, pending, n);
        return true;
    case 53:
        monomial_number(source, result, pending);
        return true;
    case 37:
        leading_monomial(source, result, pending);
        return true;
    default:
        return false;
    }
}
