// The gcd family of built-ins: GCD, Content and Egcd here, and the
// built-ins that turn polynomials into arrays (Factor, Irred, Sqfree,
// Monos, Killdenom; poly_array_builtins.cpp). The dispatcher below picks
// the handler by number; GCD picks the worker by the operands' kinds.
#include <cstdio>

#include "builtins/builtin_func.h"
#include "builtins/egcd.h"
#include "builtins/gcd_builtins_impl.h"
#include "builtins/gcd_content.h"
#include "gcd/polygcd.h"
#include "interp/exact_read.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "poly/coefops.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// A GCD operand: a number (a plain number, or the numerator of a rational
// number) or the slot of a numerator polynomial.
struct Operand {
    imag* number = nullptr;
    polynode** poly = nullptr;
};

Operand gcd_operand(quoly* q) {
    Operand op;
    if (!q->isnum && q->den && verbose) {
        std::printf("Warning. An argument to GCD is a rational function. Denominators ignored. \n");
        std::fflush(stdout);
    }
    if (q->isnum)
        op.number = q->nnum;
    else if (single_number(q->pnum))
        op.number = q->pnum->ncoef;
    else
        op.poly = &q->pnum;
    return op;
}

quoly* number_quoly(imag* n) {
    quoly* q = nullptr;
    quoly_set(0, &q);
    num_assign(n, q->nnum);
    return q;
}

// free-first: *result := gcd of two numbers.
void number_gcd(imag* a, imag* b, quoly** result) {
    quoly* x = number_quoly(a);
    SlotHold y;
    y.q = number_quoly(b);
    gcdnum(&x, &y.q);
    free_quoly(result);
    *result = x;
}

// GCD(u, v).
void gcd_of_values(FILE** source, quoly** result, name** pending) {
    SlotHold a_arg, b_arg;
    quoly** args[2] = {&a_arg.q, &b_arg.q};
    quoly** a = nullptr;
    quoly** b = nullptr;
    get_two_data(source, pending, args, &a, &b);
    Operand u = gcd_operand(*a);
    Operand v = gcd_operand(*b);
    if (u.number && v.number) {
        number_gcd(u.number, v.number, result);
        return;
    }
    if (u.number) std::swap(u, v);
    if (v.number) {
        if (iszero(v.number)) {
            gcd_0_poly(u.poly, result);
            return;
        }
        PolyHold c;
        gcd_coefs(*u.poly, &c.p);
        number_gcd(v.number, c.p->ncoef, result);
        return;
    }
    Lpolygcd2(u.poly, v.poly, result, polynames);
}

// Content(u [, x]): the content in x (or a level), by default in the
// outermost variable u depends on.
void content_of_value(FILE** source, quoly** result, name** pending) {
    SlotHold arg, var;
    open_arguments(source, pending);
    quoly** u = get_the_data(source, pending, &arg.q);
    bool given = false;
    int32_t k = 0;
    if (token_is(&token, ",")) {
        bnext(source, pending);
        // A level is a count, not an element of the ring.
        read_count_value(source, pending, &var.q);
        k = content_level(var.q);
        given = true;
    }
    close_arguments(source, pending);
    call_content(*u, result, given, k, u == &arg.q);
}

// The value of a '^' reference copied into the argument's own slot.
void own_copy(quoly** p, quoly** arg) {
    if (p != arg) quoly_assign(*p, arg);
}

// Egcd(u, v, s, t): the gcd, with s u + t v = gcd stored into s and t.
void extended_gcd(FILE** source, quoly** result, name** pending) {
    SlotHold a, b;
    open_arguments(source, pending);
    own_copy(get_the_data(source, pending, &a.q), &a.q);
    next_argument(source, pending);
    own_copy(get_the_data(source, pending, &b.q), &b.q);
    next_argument(source, pending);
    if ((!a.q->isnum && a.q->den) || (!b.q->isnum && b.q->den)) bfail(203, token.name);
    if (a.q->isnum && b.q->isnum) {
        egcd_nums(&a.q, &b.q, source, pending);
        free_quoly(result);
        *result = a.release();
    } else if (a.q->isnum) {
        egcd_num_poly(&a.q, &b.q, source, pending, true);
        free_quoly(result);
        *result = a.release();
    } else if (b.q->isnum) {
        egcd_num_poly(&b.q, &a.q, source, pending, false);
        free_quoly(result);
        *result = b.release();
    } else {
        egcd_polys(a.q->pnum, b.q->pnum, result, source, pending, false);
    }
    close_arguments(source, pending);
}

}  // namespace

bool gcd_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    switch (n) {
    case 8:
        content_of_value(source, result, pending);
        return true;
    case 16:
        extended_gcd(source, result, pending);
        return true;
    case 26:
        gcd_of_values(source, result, pending);
        return true;
    case 21:
        gcd_builtins::factor(source, result, pending);
        return true;
    case 30:
        gcd_builtins::irreducible(source, result, pending);
        return true;
    case 33:
        gcd_builtins::kill_denominators(source, result, pending);
        return true;
    case 50:
        gcd_builtins::monomials(source, result, pending);
        return true;
    case 88:
        gcd_builtins::square_free(source, result, pending);
        return true;
    default:
        return false;
    }
}
