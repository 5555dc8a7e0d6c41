// Inline built-ins of the factor routine (see inline_builtins.h): each
// reads its own arguments and leaves its value; the array forms hand over
// to the array statements.
#include "interp/exact_read.h"
#include "interp/inline_builtins.h"
#include "interp/array_language.h"

#include <cstring>

#include "builtins/coef_extraction.h"
#include "builtins/degrees.h"
#include "builtins/binomials.h"
#include "builtins/floor_roots.h"
#include "builtins/random_values.h"
#include "interp/builtin_args.h"
#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

[[noreturn]] void fail(int code, const char* text) {
    error(code, text);
    abandon_statement(code);
}

int code_number(const char* code) {
    if (code[0] != '*') return -1;
    int n = 0;
    for (const char* c = code + 1; *c; c++) {
        if (*c < '0' || *c > '9') return -1;
        n = n * 10 + (*c - '0');
    }
    return n;
}

// A whole expression read with modular arithmetic off (levels, counts).
void integer_argument(FILE** source, quoly** value, name** pending) { read_count_value(source, pending, value); }

// An argument that may be '^' variable (read by reference, not copied):
// *value := a copy either way; an unset variable counts as 0.
void value_or_reference(FILE** source, quoly** value, name** pending) {
    if (token_is(&token, "^")) next_token(source, pending);
    old_expre(source, value, pending);
    if (!*value) quoly_set(0, value);
}

void expect(const char* what, int code) {
    if (!token_is(&token, what)) fail(code, token.name);
}

// The array named after "[" (token at the name): error 28 when there is
// none; leaves the token after the name.
array* named_array(FILE** source, name** pending) {
    tokenrec nm = token;
    array* a = nullptr;
    fasterlookup(&nm, &a, source, pending);
    if (!a) fail(28, nm.name);
    if (!token_is(&nm, "%")) next_token(source, pending);
    return a;
}

// "[" name "]" after a code.
array* bracketed_array(FILE** source, name** pending, int open_code, int close_code) {
    next_token(source, pending);
    expect("[", open_code);
    next_token(source, pending);
    array* a = named_array(source, pending);
    expect("]", close_code);
    next_token(source, pending);
    return a;
}

// Greatest or least exponent of the outermost variable in q's numerator.
int32_t outer_degree(const quoly* q, bool least) {
    if (!q || q->isnum || q->rat) return 0;
    const polynode* p = q->pnum;
    if (p->numb && !p->next) return 0;
    if (!least) return p->exp;
    while (p->next) p = p->next;
    return p->exp;
}

void degree_form(FILE** source, quoly** value, name** pending, bool least) {
    next_token(source, pending);
    if (token_is(&token, "[")) {
        next_token(source, pending);
        const tokenrec nm = token;
        array* a = named_array(source, pending);
        if (least) fail(276, nm.name);
        expect("]", 99);
        next_token(source, pending);
        // The count is kept in digits in every mode: a machine-integer
        // ring takes its residue, as a number read in that ring would.
        quoly_set(0, value);
        if (lintmode) {
            quoly_set(modout(&a->size), value);
        } else {
            num_assign(&a->size, (*value)->nnum);
        }
        return;
    }
    SlotHold arg;
    if (token_is(&token, "(")) {
        next_token(source, pending);
        value_or_reference(source, &arg.q, pending);
        if (token_is(&token, ",")) {
            next_token(source, pending);
            SlotHold level;
            integer_argument(source, &level.q, pending);
            if (!level.q) quoly_set(0, &level.q);
            expect(")", 1);
            next_token(source, pending);
            int32_t k = 0;
            if (level.q->isnum) {
                k = convert_to_int(level.q->nnum);
            } else {
                int32_t height = 0;
                if (!check_get_height(level.q, &height, 282)) abandon_statement(282);
                k = height + 1;
            }
            if (k < 1 || k > number_polys) fail(273, token.name);
            generalized_degree(&arg.q, value, k, least ? 1 : 0);
            return;
        }
        if (!token_is(&token, ")")) fail(202, token.name);
        next_token(source, pending);
    } else {
        old_fact(source, &arg.q, pending);
    }
    quoly_set(outer_degree(arg.q, least), value);
}

// The k-th polynomial variable.
void variable_form(FILE** source, quoly** value, name** pending) {
    next_token(source, pending);
    SlotHold k;
    if (token_is(&token, "(")) {
        next_token(source, pending);
        read_count_value(source, pending, &k.q);
        expect(")", 1);
        next_token(source, pending);
    } else {
        read_count_value(source, pending, &k.q, true);
    }
    if (!k.q) fail(278, token.name);
    if (!k.q->isnum) fail(227, token.name);
    const int32_t n = convert_to_int(k.q->nnum);
    if (n < 1 || n > number_polys) fail(278, token.name);
    base_quoly(value, n);
}

// The leading term of the numerator in its outermost variable.
void leading_term_form(FILE** source, quoly** value, name** pending) {
    next_token(source, pending);
    expect("(", 177);
    next_token(source, pending);
    SlotHold arg;
    value_or_reference(source, &arg.q, pending);
    expect(")", 1);
    next_token(source, pending);
    quoly* q = arg.q;
    if (q->isnum || (q->rat && !lintmode)) {
        *value = arg.release();
        return;
    }
    if (q->den && !(q->den->numb && !q->den->next)) fail(186, token.name);
    quoly* lt = nullptr;
    leading_term(q, &lt);
    if (!lt->den && lt->pnum->numb && !lt->pnum->next && lt->pnum->exp == 0) {
        quoly* n = nullptr;
        poly_to_quoly(lt->pnum, &n);
        free_quoly(&lt);
        lt = n;
    } else if (lt->den) {
        check_quoly(&lt, 0);
    }
    *value = lt;
}

// Coef: a variable, then its selectors (an exponent list, or a polynomial
// variable and an exponent).
void coefficient_form(FILE** source, quoly** value, name** pending) {
    next_token(source, pending);
    expect("(", 154);
    next_token(source, pending);
    quoly** slot = get_quoly_slot(source, pending);
    // A value a conversion list left out is read as its element of the ring.
    SlotHold in_ring;
    if (slot && *slot && read_left_out_converted(*slot, &in_ring.q)) slot = &in_ring.q;
    quoly_get_coef(source, slot, pending, 0, 0, value);
    expect(")", 1);
    next_token(source, pending);
}

// A binomial argument: a plain number, as a machine integer.
int32_t binomial_argument(FILE** source, name** pending) {
    SlotHold arg;
    integer_argument(source, &arg.q, pending);
    if (!arg.q) return 0;
    if (!arg.q->isnum) fail(227, token.name);
    const int32_t n = check_and_convert(arg.q->nnum);
    if (n == INT_DOES_NOT_FIT) fail(32, token.name);
    return n;
}

// "(" n "," k ")": n over k.
void binomial_form(FILE** source, quoly** value, name** pending) {
    next_token(source, pending);
    expect("(", 177);
    next_token(source, pending);
    const int32_t n = binomial_argument(source, pending);
    expect(",", 202);
    next_token(source, pending);
    const int32_t k = binomial_argument(source, pending);
    expect(")", 1);
    next_token(source, pending);
    binom_value(n, k, value);
}

// A factor: its integer square root; a rational one is floored first.
void square_root_form(FILE** source, quoly** value, name** pending) {
    next_token(source, pending);
    SlotHold arg;
    old_fact(source, &arg.q, pending);
    if (!arg.q) quoly_set(0, &arg.q);
    if (arg.q->rat && !lintmode) quoly_great_int(&arg.q);
    if (!arg.q->isnum) fail(115, "Sqrt");
    square_root(arg.q->nnum, arg.q->nnum);
    free_quoly(value);
    *value = arg.release();
}

}  // namespace

bool inline_builtin(const char* code, FILE** source, quoly** value, name** pending) {
    switch (code_number(code)) {
    case 70:
    case 68:
        next_token(source, pending);
        randomize(code_number(code) == 68, value);
        return true;
    case 7: {
        array* a = bracketed_array(source, pending, 96, 97);
        quoly_set(array_columns(a), value);
        return true;
    }
    case 9:
        degree_form(source, value, pending, false);
        return true;
    case 4:
        degree_form(source, value, pending, true);
        return true;
    case 103:
        variable_form(source, value, pending);
        return true;
    case 40:
        leading_term_form(source, value, pending);
        return true;
    case 1:
        binomial_form(source, value, pending);
        return true;
    case 5:
        coefficient_form(source, value, pending);
        return true;
    case 89:
        square_root_form(source, value, pending);
        return true;
    case 12:
        arr_parse('7', source, value, pending);
        return true;
    case 79:
        arr_parse('8', source, value, pending);
        return true;
    case 101:
        arr_parse('"', source, value, pending);
        return true;
    case 14:
        arr_parse('~', source, value, pending);
        return true;
    default:
        return false;
    }
}
