// Sums and products over ranges of an integer variable:
//   "<" header ">" ( "(" body ")" | "[" body "]" | "<" header ">" ... )
// read from a pending list of tokens positioned at "<". The body's tokens
// are replayed once for every value of the variable; a second header makes
// the body a nested sum or product over that range.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/integer_eval_impl.h"
#include "interp/loop_values.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "quoly/sum_run.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

constexpr char END_TOKEN[] = "\xC2\xA5";

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// The running result: a machine word under integerflag, else a value.
struct Accumulator {
    bool sum;
    int32_t word;
    quoly** value;
    // A sum of many polynomial terms is gathered and meets the value once.
    SumRun run;

    // The integer evaluator's arithmetic: residues, or integers of one
    // digit, a running total beyond that ending the statement (error 32)
    // rather than wrapping.
    void add_word(int32_t t) { word = sum ? iadd(word, t) : imul(word, t); }
    // Takes the term over.
    void add_value(quoly** term) {
        if (sum) {
            if (run.take(*value, term, nullptr, true)) return;
            run.finish(value);
            best_quoly_add(value, *term);
            *term = nullptr;
        } else {
            fast_quoly_mult(value, term);
            free_quoly(term);
        }
    }
};

// The body after its opener (current) must hold something and be closed
// before its chain ends: the statement compiler that skips it reads on to
// the closing bracket whatever comes, and a stored chain ends at the end
// token.
void check_body_closed(name* opener_record, char opener, char closer) {
    name* r = opener_record ? opener_record->next : nullptr;
    if (r && r->token[0] == closer && r->token[1] == 0) {
        error(2, r->token);
        abandon_statement(2);
    }
    int32_t depth = 1;
    for (; r && std::strcmp(r->token, END_TOKEN) != 0; r = r->next) {
        if (r->token[1] != 0) continue;
        if (r->token[0] == opener) depth++;
        if (r->token[0] == closer && --depth == 0) return;
    }
    error(274, END_TOKEN);
    abandon_statement(274);
}

// Reads past a body whose range is empty: its tokens are consumed and must
// still form a statement. Leaves the closer current.
void skip_body(const char* code, FILE** source, name** pending, bool nested, char* closer) {
    if (nested) {
        SlotHold ignored;
        int32_t word = 0;
        sum_mult_up(code, source, &ignored.q, pending, 1, &word, closer);
        return;
    }
    check_body_closed(*pending, token.name[0], *closer);
    next_token(source, pending);
    const char end_word[2] = {*closer, 0};
    form* body = nullptr;
    spec_right_side(&body, source, pending, end_word);
    free_form(&body);
    if (token.name[0] != *closer && std::feof(*source)) error(103, token.name);
}

}  // namespace

void sum_mult_up(const char* code, FILE** source, quoly** value, name** pending, int skip, int32_t* integer_result,
                 char* closer) {
    int32_t own_word = 0;
    char own_closer = ')';
    if (!integer_result) integer_result = &own_word;
    if (!closer) closer = &own_closer;
    *closer = ')';
    Accumulator acc{std::strcmp(code, "*82") == 0, 0, value, {}};
    acc.word = acc.sum ? 0 : 1;
    quoly_set(acc.word, value);
    *integer_result = acc.word;

    next_token(source, pending);
    const tokenrec id = token;
    IndexSettles settle(id);
    var* variable = nullptr;
    int32_t first = 0, end = 0, step = 1;
    numnode *list = nullptr, *cursor = nullptr;
    set_up_for_loop(source, pending, &variable, &first, &end, &step, &list, &cursor);
    (void)variable;   // looked up by name at every step instead
    ValueListHold values{list};
    int32_t sign = 1;
    if (step < 0) {
        // Counted upward internally, as the for loop does.
        sign = -1;
        first = -first;
        end = -end;
        step = -step;
    }

    if (!token_is(&token, ">")) {
        error(78, token.name);
        abandon_statement(78);
    }
    next_token(source, pending);
    name* const mark = *pending;
    const tokenrec mark_token = token;
    const bool nested = token_is(&token, "<");
    if (!nested) {
        if (token_is(&token, "["))
            *closer = ']';
        else if (!token_is(&token, "(")) {
            error(145, token.name);
            abandon_statement(145);
        }
    }

    if (first > end || skip) {
        skip_body(code, source, pending, nested, closer);
        return;
    }
    if (step == 0) {
        // The range would never end: nothing inside the body can leave it.
        error(82, "0");
        skip_body(code, source, pending, nested, closer);
        return;
    }

    int32_t at = first;
    for (;;) {
        *pending = mark;
        token = mark_token;
        currentchar = mark ? mark->next : nullptr;
        if (nested) {
            SlotHold inner;
            int32_t word = 0;
            sum_mult_up(code, source, &inner.q, pending, 0, &word, closer);
            if (integerflag)
                acc.add_word(word);
            else
                acc.add_value(&inner.q);
        } else {
            next_token(source, pending);
            if (integerflag) {
                int32_t word = 0;
                old_iexpre(&word, pending);
                acc.add_word(word);
            } else {
                SlotHold term;
                old_expre(source, &term.q, pending);
                acc.add_value(&term.q);
            }
        }

        int64_t next = static_cast<int64_t>(at) + step;
        if (list) {
            if (cursor) {
                next = cursor->digit;
                cursor = cursor->next;
            } else {
                next = static_cast<int64_t>(end) + 1;
            }
        }
        if (next > LOOP_LIMIT || next < -LOOP_LIMIT) {
            error(47, id.name);
            break;
        }
        at = static_cast<int32_t>(next);
        set_loop_variable(&id, sign * at);
        if (at > end) break;
    }
    acc.run.finish(value);
    *integer_result = acc.word;
    if (integerflag) quoly_set(acc.word, value);
}
