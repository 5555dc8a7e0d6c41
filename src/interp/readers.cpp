// The value-returning readers over the factor routine, the "half" readers
// that continue an expression already begun, and the fast in-place
// increment of stored numbers and polynomial constant terms.
#include "interp/readers.h"

#include <cstdio>

#include "builtins/derivative.h"
#include "det/unit_det.h"
#include "interp/evaluator.h"
#include "interp/scanner.h"
#include "interp/stored_code.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "quoly/quoly_eval.h"
#include "quoly/sum_run.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/errors.h"

int values_being_read = 0;
int ring_changes_refused = 0;

void refuse_ring_change_inside_read(const char* shown) {
    if (values_being_read == 0) return;
    ++ring_changes_refused;
    error(RING_CHANGE_INSIDE_READ, shown);
    // Back from the level the error opened, the statement is abandoned as
    // other refused changes of the ring are: the reader around the change
    // still holds values of the ring before it.
    abandon_statement(RING_CHANGE_INSIDE_READ);
}

namespace {
const ClosingParenthesis* open_parenthesis = nullptr;
}  // namespace

ClosingParenthesis::ClosingParenthesis(name** pending)
    : pending_(pending), level_(levelcount), outer_(open_parenthesis) {
    open_parenthesis = this;
}

ClosingParenthesis::~ClosingParenthesis() { open_parenthesis = outer_; }

bool update_ends_statement(name** pending) {
    if (token_is(&token, ";") || token_is(&token, END_TOKEN)) return true;
    if (token_is(&token, ")"))
        return open_parenthesis && open_parenthesis->pending_ == pending && open_parenthesis->level_ == levelcount;
    // A typed statement may also end in "@" or ":" (kept, not shown); a
    // stored one ends at its ";" or end mark.
    return *pending == nullptr && (token_is(&token, "@") || token_is(&token, ":"));
}

// The error of a statement that goes on after its amount: a stored one
// reports it as any stored statement not ending at its end.
int update_end_error(name** pending) { return *pending ? 31 : 129; }

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// The operator that joins the next factor to a term, reading the operator
// and the "/" of "//"; 0 when the term ends here. Juxtaposition is '*'.
int term_operator(FILE** source, name** pending, bool stop_at_or_and, int* flag) {
    *flag = 0;
    const char c = token.name[0];
    if (c == '(' || is_letter(c)) {
        if (stop_at_or_and && (token_is(&token, "or") || token_is(&token, "and"))) return 0;
        return '*';
    }
    if (!in_set(c, term_set)) return 0;
    const int op = c;
    next_token(source, pending);
    if (token_is(&token, "/")) {
        if (op != '/') error(339, token.name);
        *flag = 1;
        next_token(source, pending);
    }
    return op;
}

// value := value op factor, for every further factor of the term.
void term_tail(FILE** source, quoly** value, name** pending, bool stop_at_or_and) {
    int flag = 0;
    while (int op = term_operator(source, pending, stop_at_or_and, &flag)) {
        SlotHold right;
        {
            ReadingValue left_in_hand;
            old_fact(source, &right.q, pending);
        }
        if (op == '*')
            fast_quoly_mult(value, &right.q);
        else if (op == '/') {
            fast_quoly_quot(value, &right.q, flag);
            require_regular_denominator(*value);
        } else {
            quoly_mod_or_div(*value, right.q, value, op);
        }
    }
}

// value := value +/- term, for every further term.
// A long sum of polynomial terms is gathered and meets the value once:
// adding term by term would copy the value for each.
void expre_tail(FILE** source, quoly** value, name** pending) {
    SumRun run;
    while (token_is(&token, "+") || token_is(&token, "-")) {
        const bool add = token.name[0] == '+';
        next_token(source, pending);
        SlotHold right;
        {
            ReadingValue left_in_hand;
            old_term(source, &right.q, pending);
        }
        if (run.take(*value, &right.q, nullptr, add)) continue;
        run.finish(value);
        if (add)
            best_quoly_add(value, right.release());
        else
            best_quoly_sub(value, right.release());
    }
    run.finish(value);
}

}  // namespace

void old_fact(FILE** source, quoly** value, name** pending) {
    const bool star = token_is(&token, "*");
    quoly** ref = nullptr;
    colm** sparse_array = nullptr;
    int32_t sparse_pos = 0;
    fact(source, &ref, value, &sparse_array, &sparse_pos, pending, 0);
    // A value of the factor's own: computed, or a star form's value that a
    // postfix operator already took over.
    if (*value) return;
    if (star && ref && *ref) {
        // The variable's value is taken over, not copied; it keeps a plain 1.
        *value = *ref;
        *ref = nullptr;
        quoly_set(1, ref);
        return;
    }
    quoly* src = ref ? *ref : nullptr;
    if (src)
        quoly_assign(src, value);
    else
        quoly_set(0, value);
}

void old_term(FILE** source, quoly** value, name** pending) {
    old_fact(source, value, pending);
    term_tail(source, value, pending, true);
}

void old_expre(FILE** source, quoly** value, name** pending) {
    old_term(source, value, pending);
    expre_tail(source, value, pending);
}

void half_fact(FILE** source, quoly** value, name** pending) {
    if (token_is(&token, "^")) {
        NumberHold e;
        bool beyond = false;
        get_exponent(source, pending, &e.n, 1, &beyond);
        raise_to_power(value, e.n, beyond);
    } else if (token_is(&token, "!")) {
        if (!(*value)->isnum) error(130, factsign);
        next_token(source, pending);
        if ((*value)->isnum) factorial((*value)->nnum);
    } else if (token_is(&token, "#")) {
        next_token(source, pending);
        SlotHold at;
        int32_t level = 1;
        get_evalquoly(source, value, &at.q, &level, pending, 1, 0);
    }
    while (token_is(&token, "\"")) {
        quoly_differen_once(value, 1);
        next_token(source, pending);
    }
}

void half_term(FILE** source, quoly** value, name** pending) { term_tail(source, value, pending, false); }

void half_expre(FILE** source, quoly** value, name** pending) {
    const char c = token.name[0];
    if (c == '!' || c == '"' || c == '#' || c == '^') half_fact(source, value, pending);
    half_term(source, value, pending);
    expre_tail(source, value, pending);
}

void add_to_im(increment* inc) {
    imag* n = inc->number;
    const int32_t k = *inc->amount;
    if (modularmode) {
        if (finf && verbose) {
            warn_cnt++;
            if (warn_cnt <= 10) {
                std::printf("*** Warning. increment makes no sense over finite field GF(2^n).\n");
                std::fflush(stdout);
            }
        }
        if (finf) {
            // In characteristic 2 a negated amount is the amount itself, so
            // ':-' adds as ':+' does. One read unreduced (with '_') is first
            // brought below the field size, as a constant of that size
            // would be read.
            const uint32_t size = static_cast<uint32_t>(k < 0 ? 0u - static_cast<uint32_t>(k) : k);
            n->value = mod_add(n->value, static_cast<int32_t>(size % static_cast<uint32_t>(modulus)), modulus);
        } else {
            // Any signed amount, also one read unreduced (with '_').
            n->value = spec_mod_add(n->value, k, modulus);
        }
        inc->result = n->value;
        return;
    }
    if (lintmode) {
        n->value = static_cast<int32_t>(static_cast<uint32_t>(n->value) + static_cast<uint32_t>(k));
        inc->result = n->value;
        return;
    }
    // Big integer: only the last digit changes; a carry or borrow into the
    // next digit is refused before anything is written.
    const int64_t d = int64_t{n->tail->digit} + k;
    const int32_t sign = n->head->digit < 0 ? -1 : 1;
    if (d > DIGIT_MASK || d < -DIGIT_MASK || (n->count > 1 && d != 0 && (d < 0 ? -1 : 1) != sign)) {
        error(294, token.name);
        return;
    }
    n->tail->digit = static_cast<int32_t>(d);
    inc->result = n->tail->digit;
}

void do_poly(polynode** numerator, increment* inc) {
    polynode** link = numerator;
    for (;;) {
        polynode* p = *link;
        while (p && p->exp > 0) {
            link = &p->next;
            p = *link;
        }
        if (p && p->exp == 0) {
            if (!p->numb) {
                link = &p->pcoef;
                continue;
            }
            inc->number = p->ncoef;
            add_to_im(inc);
            const bool zero = lintmode ? p->ncoef->value == 0 : p->ncoef->head->digit == 0;
            if (zero) {
                *link = p->next;
                p->next = nullptr;
                free_poly(&p);
            }
            return;
        }
        // No constant term: insert one before the negative exponents, if any.
        if (*inc->amount == 0) {
            inc->result = 0;
            return;
        }
        imag* x = new_number();
        setvalue(0, x);
        inc->number = x;
        add_to_im(inc);
        if (lintmode ? x->value == 0 : x->head->digit == 0) {
            // An amount that is 0 in the ground ring (a multiple of the modulus).
            free_imag(&x);
            return;
        }
        polynode* t = nullptr;
        newpoly(&t);
        t->ncoef = x;
        t->numb = 1;
        t->exp = 0;
        t->next = p;
        *link = t;
        return;
    }
}
