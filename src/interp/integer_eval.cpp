// The integer evaluator's statements, expressions and terms: iexpre (an
// assignment or an expression), old_iexpre and iterm, and the in-place
// reads and writes of stored numbers. Factors are in integer_factor.cpp.
//
// A stored number is read only when it is a one-digit integer (or a machine
// word, or a residue) and written only with such a value, so every number
// this evaluator leaves behind is a valid one: its single digit carries the
// sign and lies strictly between -2^28 and 2^28.
#include <cstdint>

#include "interp/functions.h"
#include "matrix/sparse.h"
#include "interp/integer_eval.h"
#include "interp/integer_eval_impl.h"
#include "interp/loop_values.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/suspended_store.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/adjoin.h"
#include "storage/assign.h"
#include "storage/held_targets.h"
#include "toplevel/errors.h"

int32_t istored_value(quoly* stored, const char* name_text) {
    // A loop index read before "!" is the count itself, as in the exact
    // evaluator (the current token follows the name).
    if (token_is(&token, "!") && index_counts_itself(stored)) return stored->nnum->value;
    return iword_of(stored, name_text);
}

void istore(quoly** slot, int32_t v) {
    if (levelcount > 1 && *slot) {
        quoly* copy = nullptr;
        quoly_assign(*slot, &copy);
        retire_value(slot);
        *slot = copy;
    }
    quoly* q = *slot;
    // While a conversion list is in force the way back tells a value
    // written in modular mode from one left alone by its record: a starred
    // value's copy or a left-out value's digits changed in place would come
    // back as they were.
    if (!q || !q->isnum || values_await_rational) {
        // Nothing to change in place: the variable gets a new number, made
        // before the old one goes, so that it never takes the old one's
        // place either.
        quoly* fresh = nullptr;
        quoly_set(v, &fresh);
        retire_value(slot);
        *slot = fresh;
        return;
    }
    q->den = nullptr;   // no array-parameter mark survives an assignment
    imag* n = q->nnum;
    if (lintmode)
        n->value = v;
    else if (n->count == 1)
        n->head->digit = v;
    else
        setvalue(v, n);   // a longer number becomes the one digit v
}

namespace {

// target := v, creating the scalar a new target names.
void istore_target(iplace* target, int32_t v) {
    if (target->sparse_element) {
        const element_ref& e = target->element;
        isparse_insert(e.i, e.j, settle_suspended_word(v), e.arr, e.two, 1);
        return;
    }
    if (target->novalue) {
        quoly* q = nullptr;
        quoly_set(v, &q);
        var* record = nullptr;
        insert_var(&target->newname, q, &record);
        return;
    }
    if (!target->slot) {
        error(316, token.name);
        return;
    }
    istore(target->slot, v);
    settle_suspended_store(target->slot, target->dense_element != 0);
}

// Whether the target was deleted (the variable, or the array of the
// element) or its array hidden by a newer one of its name while the right
// side was read: then error 316, as in the exact evaluator, rather than a
// write into what no longer is the target. links: array_links_stamp before
// the right side (a sparse element's array can only be hidden if it moved).
bool target_lost(const iplace* target, const HeldTarget& held, uint32_t links) {
    const bool gone = held.lost() || (held.hidden() && array_hidden(held.hidden())) ||
                      (target->sparse_element && (!array_alive(target->element.arr, target->element.stamp) ||
                                                  (links != array_links_stamp && array_hidden(target->element.arr))));
    if (gone) error(316, token.name);
    return gone;
}

// `token` is ':' after the statement's first term.
void iassignment(iplace* target, name** pending) {
    inext(pending);
    const char op = token.name[1] == 0 ? token.name[0] : 0;
    HeldTarget held(target->slot, nullptr);
    const uint32_t links = array_links_stamp;
    if (op == '=') {
        inext(pending);
        int32_t v = 0;
        old_iexpre(&v, pending);
        if (!target_lost(target, held, links)) istore_target(target, v);
        return;
    }
    if (op != '+' && op != '-' && op != '*') {
        error(317, token.name);
        return;
    }
    inext(pending);
    int32_t amount = 1;
    // A refused amount, or a statement going on after it, leaves the
    // target as it is.
    if (starts_update_amount(token.name) && !iupdate_amount(&amount, pending)) return;
    if (!update_ends_statement(pending)) {
        error(update_end_error(pending), token.name);
        return;
    }
    if (target_lost(target, held, links)) return;
    int32_t old = 0;
    if (target->sparse_element) {
        quoly** cell = element_cell_again(target->element, false);
        if (cell && *cell) old = istored_value(*cell, token.name);
    } else if (!target->novalue) {
        if (!target->slot) {
            error(316, token.name);
            return;
        }
        old = istored_value(*target->slot, token.name);
    }
    const int32_t v = op == '+' ? iadd(old, amount) : op == '-' ? isub(old, amount) : imul(old, amount);
    istore_target(target, v);
}

// The "+" and "-" of an expression after its first term, into *acc.
void isum_rest(int32_t* acc, name** pending) {
    while (token_is(&token, "+") || token_is(&token, "-")) {
        const bool add = token.name[0] == '+';
        inext(pending);
        iplace p;
        int32_t r = 0;
        {
            ReadingValue left_in_hand;
            iterm(&p, &r, pending);
        }
        if (p.novalue) {
            error(129, token.name);
            r = 0;
        }
        *acc = add ? iadd(*acc, r) : isub(*acc, r);
    }
}

}  // namespace

bool iupdate_amount(int32_t* amount, name** pending) {
    ReadingValue holding_target;
    iplace p;
    ifact(&p, amount, pending);
    if (p.novalue) {
        error(68, token.name);
        return false;
    }
    return true;
}

void iexpre(int32_t* result, name** pending) {
    iplace target;
    int32_t v = 0;
    iterm(&target, &v, pending);
    if (token_is(&token, ":")) {
        iassignment(&target, pending);
        *result = 0;
        return;
    }
    isum_rest(&v, pending);
    *result = v;
}

void old_iexpre(int32_t* result, name** pending) {
    iplace p;
    int32_t v = 0;
    iterm(&p, &v, pending);
    if (p.novalue) {
        error(129, token.name);
        v = 0;
    }
    isum_rest(&v, pending);
    *result = v;
}

void iterm(iplace* place, int32_t* result, name** pending) {
    int32_t v = 0;
    ifact(place, &v, pending);
    while (token.name[1] == 0 && in_set(token.name[0], iterm_set)) {
        const char op = token.name[0];
        const char op_text[2] = {op, 0};
        inext(pending);
        if (token_is(&token, "/")) {
            error(340, token.name);
            inext(pending);
        }
        iplace p;
        int32_t r = 0;
        {
            ReadingValue left_in_hand;
            ifact(&p, &r, pending);
        }
        if (p.novalue) {
            error(68, token.name);
            r = 0;
        }
        place->slot = nullptr;
        place->novalue = 0;
        place->sparse_element = 0;
        place->dense_element = 0;
        if (op == '*') {
            v = imul(v, r);
            continue;
        }
        if (r == 0) {
            // When the error returns the term keeps its left operand.
            error(22, op == '/' ? quotsign : op_text);
            continue;
        }
        if (op == '/' && modularmode) {
            v = modmult(v, imod_inverse(r));
        } else if (op == '/' || op == '\\') {
            v = v / r;   // one-digit operands or residues: no overflow
        } else {
            int32_t rem = v % r;
            if (pos_mod && rem < 0) rem += r < 0 ? -r : r;
            v = rem;
        }
    }
    *result = v;
}
