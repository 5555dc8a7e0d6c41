// The built-ins of one value and those without arguments: parts of a
// value, its measures and kind, the ring's settings, the clock, the bell,
// the free lists and the raw display.
#include <cstdio>
#include <ctime>

#include "builtins/builtin_func.h"
#include "builtins/floor_roots.h"
#include "builtins/primality.h"
#include "gcd/gcdstash.h"
#include "interp/exact_read.h"
#include "interp/builtin_args.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "poly/coefextract.h"
#include "poly/levels.h"
#include "poly/masses.h"
#include "poly/measures.h"
#include "poly/monorder.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

// Cast: a value's machine word, or its most significant base-2^28 digit
// for a big number (kept so: scripts use it to read a number's top digit).
void cast_value(FILE** source, quoly** result, name** pending) {
    open_arguments(source, pending);
    if (integerflag) {
        int32_t v = 0;
        {
            ClosingParenthesis inside(pending);
            iexpre(&v, pending);
        }
        close_arguments(source, pending);
        quoly_set(v, result);
        return;
    }
    old_expre(source, result, pending);
    if (!*result) quoly_set(0, result);
    if (!(*result)->isnum) bfail(91, token.name);
    const imag* n = (*result)->nnum;
    const int32_t v = lintmode ? n->value : (n->count ? n->head->digit : 0);
    close_arguments(source, pending);
    quoly_set(v, result);
}

// Numer and Denom of a value.
void numerator_of(const quoly* q, quoly** result) {
    if (q->isnum) {
        quoly* copy = nullptr;
        quoly_assign(const_cast<quoly*>(q), &copy);
        free_quoly(result);
        *result = copy;
        return;
    }
    p_q_assign(q->pnum, result);
}

void denominator_of(const quoly* q, quoly** result) {
    if (q->isnum || !q->den) {
        quoly_set(1, result);
        return;
    }
    p_q_assign(q->den, result);
}

// A coefficient that is refused for a value with a polynomial denominator.
void no_poly_denominator(const quoly* q) {
    if (!q->isnum && q->den && !q->rat) bfail(186, token.name);
}

// The current date and time in the 24-character form with its newline.
void print_time() {
    std::time_t now = std::time(nullptr);
    char text[64];
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", std::localtime(&now));
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// The raw structure of a value: numerator, newline, denominator.
void raw_display(quoly* q, bool names) {
    FILE* out = stdout;
    if (q->isnum) {
        int32_t col = 0;
        quoly_display(&out, 1, 1, 1, q, &col, "", polynames, 0, 0, 0);
    } else {
        crude_poly_disp(&out, 1, q->pnum, 0, names ? polynames : nullptr);
        std::printf("\n");
        if (q->den) crude_poly_disp(&out, 1, q->den, 0, names ? polynames : nullptr);
    }
    if (!names) noisy = 0;
    std::fflush(stdout);
}

// Monless(a, b): 1 when a's monomial comes before b's (or ranks equal).
void monomial_order(FILE** source, quoly** result, name** pending) {
    SlotHold a_arg, b_arg;
    quoly** args[2] = {&a_arg.q, &b_arg.q};
    quoly** a = nullptr;
    quoly** b = nullptr;
    get_two_data(source, pending, args, &a, &b);
    quoly_set(quoly_mon_compare(*a, *b) <= 0 ? 1 : 0, result);
}

// Isprime(n) and Prime(n): the argument must be a plain number.
void prime_value(FILE** source, quoly** result, name** pending, int32_t n) {
    SlotHold arg;
    quoly** p = &arg.q;
    if (n == 31) {
        p = standard_read(source, pending, &arg.q);
    } else {
        // Prime's argument is a count, not an element of the ring.
        open_arguments(source, pending);
        if (token_is(&token, "^")) bnext(source, pending);
        read_count_value(source, pending, &arg.q);
        close_arguments(source, pending);
    }
    if (!(*p)->isnum) bfail(227, token.name);
    quoly_assign(*p, result);
    if (n == 31)
        isprime_value(result);
    else
        nth_prime(result);
}

// Numcont(u): the absolute value of a number, the content of a
// polynomial. Pfroot(u): the p-th root in characteristic p.
void content_or_root(FILE** source, quoly** result, name** pending, int32_t n) {
    if (n == 61) {
        if (!modularmode) bfail(284, token.name);
        if (!mod_is_prime) bfail(293, token.name);
    }
    SlotHold arg;
    quoly** p = standard_read(source, pending, &arg.q);
    if (n == 57) {
        number_content(*p, result);
        return;
    }
    quoly_assign(*p, result);
    quoly* q = *result;
    if (q->isnum) return;
    if (q->den) bfail(186, token.name);
    if (laurent && anynegs(q->pnum)) bfail(198, token.name);
    if (field_depth == 0) bfail(301, token.name);
    quoly_pth_root(result);
}

}  // namespace

bool value_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    // Built-ins without arguments read only the token behind their name.
    switch (n) {
    case 22:
    case 47:
    case 48:
    case 59:
    case 97:
    case 98:
    case 102:
    case 105: {
        int32_t v = 0;
        if (n == 47) v = modularmode ? 1 : 0;
        if (n == 48) v = modulus;
        if (n == 59) v = number_polys;
        if (n == 102) v = 1;
        if (n == 97) print_time();
        if (n == 98) {
            std::putchar(7);
            std::fflush(stdout);
        }
        if (n == 105) {
            // The records on the free lists are abandoned, not freed: the
            // list heads only let go of them.
            numhead = nullptr;
            imhead = nullptr;
            polygarb = nullptr;
            quolygarb = nullptr;
        }
        bnext(source, pending);
        quoly_set(v, result);
        return true;
    }
    case 2:
        cast_value(source, result, pending);
        return true;
    case 49:
        monomial_order(source, result, pending);
        return true;
    default:
        break;
    }

    switch (n) {
    case 10: case 28: case 35: case 36: case 38: case 56: case 58: case 62:
    case 71: case 95: case 96: case 104: case 106: case 107:
        break;
    case 31:
    case 65:
        prime_value(source, result, pending, n);
        return true;
    case 57:
    case 61:
        content_or_root(source, result, pending, n);
        return true;
    default:
        return false;
    }
    SlotHold arg;
    quoly** p = standard_read(source, pending, &arg.q);
    quoly* q = *p;
    int32_t v = 0;
    switch (n) {
    case 10:
        denominator_of(q, result);
        return true;
    case 58:
        numerator_of(q, result);
        return true;
    case 35:
        no_poly_denominator(q);
        if (q->isnum || q->rat)
            quoly_assign(q, result);
        else {
            free_quoly(result);
            quoly_leading_coef(q, result);
        }
        return true;
    case 106:
    case 107:
        raw_display(q, n == 106);
        // The argument is the value when it was an expression; a variable
        // handed by reference is not given out.
        if (p == &arg.q) {
            free_quoly(result);
            *result = arg.release();
        } else {
            quoly_set(0, result);
        }
        return true;
    case 28:
        v = q->isnum ? 0 : poly_height(q->pnum);
        break;
    case 36:
        v = q->isnum ? 0 : poly_level(q->pnum);
        break;
    case 38:
        v = quoly_max_digits(q);
        break;
    case 56:
        v = q->isnum ? 1 : 0;
        break;
    case 62:
        v = quolyhash(q);
        break;
    case 71:
        v = !lintmode && !q->isnum && q->rat ? 1 : 0;
        break;
    case 95:
        v = q->isnum ? 1 : numterms(q);
        break;
    case 96:
        v = f_numterms(q);
        break;
    case 104:
        v = q->isnum ? 0 : driver_poly_vars(q->pnum);
        break;
    default:
        break;
    }
    quoly_set(v, result);
    return true;
}
