// Conditions of if and while statements, read from a stored chain while it
// is replayed: condition = term { "or" term }, term = factor { "and"
// factor }, factor = "[" condition "]" | "not" factor | comparison.
//
// The readers evaluate while they read, so every operand is evaluated:
// "and" and "or" never skip their right side (a function called there runs
// whatever the left side gave).
#include <cstdint>

#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/stack_depth.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "quoly/value_equality.h"
#include "toplevel/errors.h"

namespace {

constexpr char END_TOKEN[] = "\xC2\xA5";
// The one-byte comparison operators; "<=", "<>" and ">=" typed as two
// tokens are folded into them.
constexpr unsigned char LESS_EQUAL = 178;
constexpr unsigned char NOT_EQUAL = 173;
constexpr unsigned char GREATER_EQUAL = 179;

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

bool ends_factor(const tokenrec& t) {
    return token_is(&t, "]") || token_is(&t, "or") || token_is(&t, "and") || token_is(&t, END_TOKEN);
}

// One side of a comparison: a machine word under integerflag, else a value.
struct Side {
    int32_t word = 0;
    SlotHold value;
};

void read_side(FILE** source, name** pending, Side* s) {
    if (integerflag)
        old_iexpre(&s->word, pending);
    else
        old_expre(source, &s->value.q, pending);
}

// A bare expression counts as true only when it is exactly the number 1.
bool is_exactly_one(const Side& s) {
    if (integerflag) return s.word == 1;
    const quoly* q = s.value.q;
    if (!q || !q->isnum) return false;
    if (lintmode) return q->nnum->value == 1;
    return q->nnum->count == 1 && q->nnum->head->digit == 1;
}

bool orderable(const quoly* q) { return q->isnum || (q->rat && !lintmode); }

// Numerator and denominator of a plain number or a rational; a plain number
// is its own numerator over 1.
imag* numerator_of(quoly* q) { return q->isnum ? q->nnum : q->pnum->ncoef; }
imag* denominator_of(quoly* q) { return q->isnum ? number_1 : q->den->ncoef; }

// -1, 0 or 1 as a is below, equal to or above b. Rationals are compared
// cross-multiplied (denominators are positive in normal form).
int order(quoly* a, quoly* b) {
    if (a->isnum && b->isnum) {
        if (equal(a->nnum, b->nnum)) return 0;
        return bigger(a->nnum, b->nnum) ? 1 : -1;
    }
    NumberHold left, right;
    left.n = new_number();
    right.n = new_number();
    fast_mult(numerator_of(a), denominator_of(b), left.n);
    fast_mult(numerator_of(b), denominator_of(a), right.n);
    if (equal(left.n, right.n)) return 0;
    return bigger(left.n, right.n) ? 1 : -1;
}

bool holds(unsigned char op, int cmp) {
    switch (op) {
    case '=': return cmp == 0;
    case NOT_EQUAL: return cmp != 0;
    case '<': return cmp < 0;
    case '>': return cmp > 0;
    case LESS_EQUAL: return cmp <= 0;
    default: return cmp >= 0;   // GREATER_EQUAL
    }
}

int evalcond(FILE** source, name** pending) {
    Side left;
    read_side(source, pending, &left);
    if (!in_set(token.name[0], cond_set)) {
        if (ends_factor(token)) return is_exactly_one(left) ? 1 : 0;
        error(13, token.name);
        return 0;
    }
    unsigned char op = static_cast<unsigned char>(token.name[0]);
    next_token(source, pending);
    if (op == '<' && token_is(&token, "=")) {
        op = LESS_EQUAL;
        next_token(source, pending);
    } else if (op == '<' && token_is(&token, ">")) {
        op = NOT_EQUAL;
        next_token(source, pending);
    } else if (op == '>' && token_is(&token, "=")) {
        op = GREATER_EQUAL;
        next_token(source, pending);
    }
    Side right;
    read_side(source, pending, &right);

    if (integerflag) {
        const int cmp = left.word < right.word ? -1 : (left.word > right.word ? 1 : 0);
        return holds(op, cmp) ? 1 : 0;
    }
    quoly* a = left.value.q;
    quoly* b = right.value.q;
    if (op == '=' || op == NOT_EQUAL) return holds(op, quoly_same_value(a, b) ? 0 : 1) ? 1 : 0;
    if (!orderable(a) || !orderable(b)) {
        error(123, token.name);
        return 0;
    }
    return holds(op, order(a, b)) ? 1 : 0;
}

int bool_expre_1(FILE** source, name** pending);

int bool_fact(FILE** source, name** pending) {
    // Brackets and "not" nest through here.
    if (nesting_refused(token.name)) return 0;
    if (token_is(&token, "[")) {
        next_token(source, pending);
        const int v = bool_expre_1(source, pending);
        if (!token_is(&token, "]")) {
            error(153, token.name);
            return v;
        }
        next_token(source, pending);
        return v;
    }
    if (token_is(&token, "not")) {
        next_token(source, pending);
        return bool_fact(source, pending) ? 0 : 1;
    }
    return evalcond(source, pending);
}

// The condition without the check of what follows it. Terms are read
// inline: a term is 1 when every factor is, and every factor is read.
int bool_expre_1(FILE** source, name** pending) {
    int any = 0;
    for (;;) {
        int all = bool_fact(source, pending);
        while (token_is(&token, "and")) {
            next_token(source, pending);
            if (!bool_fact(source, pending)) all = 0;
        }
        if (all) any = 1;
        if (!token_is(&token, "or")) return any;
        next_token(source, pending);
    }
}

}  // namespace

int bool_expre(FILE** source, name** pending) {
    // A condition is a read: a comparison holds one side while the other
    // is read, and the ring of both sides must be the one it compares in.
    ReadingValue reading;
    const int v = bool_expre_1(source, pending);
    if (!token_is(&token, "]") && !token_is(&token, END_TOKEN)) error(104, token.name);
    return v;
}
