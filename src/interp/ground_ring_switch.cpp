// The switches that change the ground ring (&p, &(p = ...)) and Laurent
// mode (&l, &(l = ...)): what they read, refuse and report around the
// conversions of toplevel/ring_change.
#include <cstdio>

#include "interp/exact_read.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/switch_impl.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

// A captured conversion list, given back on every exit.
struct ListHold {
    name* list = nullptr;
    ~ListHold() {
        if (list) freename(list);
    }
};

// Laurent mode needs every modded-out variable to make a field.
bool fields_allow_laurent() {
    for (pt* v = polynames; v; v = v->next)
        if ((v->relation || v->binomial) && !v->field) {
            error(271, v->name);
            return false;
        }
    return true;
}

}  // namespace

bool ground_ring_switch(FILE** source, quoly** value, name** pending) {
    if (levelcount > 1) {
        error(73, token.name);
        return false;
    }
    name* const saved_pending = *pending;
    scanner(source, &token, pending);
    const tokenrec local = token;
    ListHold held;
    if (token_is(&token, "(")) {
        if (!outside_body(pending)) {
            error(264, token.name);
            return false;
        }
        save_input_stream(source, &held.list);
        if (!held.list) {
            error(1, token.name);
            return false;
        }
    }
    const int report = verbose || outside_body(pending);
    // Outside the terminal a modulus asked for is read from the statement
    // itself, which then ends at the token the reading left current. After
    // a list, which took the statement to its end, it is the expression
    // that follows, as it would be typed after the terminal's request.
    const bool reads_statement = !modularmode && !tt_flag && !held.list;
    if (!modularmode && !tt_flag && held.list) scanner(source, &token, pending);
    change_prec(source, value, pending, -1, held.list, report);
    *pending = saved_pending;
    if (held.list) {
        // The list took the statement's ";". At the terminal the line end
        // still reads as the end; in a file the next token would be the
        // next statement's.
        set_token(&token, ";");
        return !tt_flag;
    }
    if (reads_statement) return true;
    token = local;
    // At the terminal the line end reads as the statement's end again; in
    // a file the token after it is the next statement's.
    return !tt_flag && outside_body(pending) && token_is(&token, ";");
}

void laurent_switch() {
    if (!laurent && !fields_allow_laurent()) return;
    change_laurent(!laurent);
    std::printf(laurent ? " Negative exponents enabled.\n" : " Negative exponents disabled.\n");
}

void ground_ring_value(FILE** source, quoly** value, name** pending, int32_t* new_modulus, name** list) {
    if (token_is(&token, "_")) {
        scanner(source, &token, pending);
        if (token.name[0] != 'i') error(147, token.name);
        *new_modulus = RATIONAL_MARKER;
        scanner(source, &token, pending);
    } else {
        // A modulus past a machine word is refused below, not wrapped.
        read_count_value(source, pending, value);
        if (!(*value)->isnum) error(147, token.name);
        *new_modulus = big_quoly_convert_to_int(*value);
        // Past 32 bits the modulus is out of range, not a negative number.
        if (*new_modulus == INT_DOES_NOT_FIT) error(84, token.name);
        if (*new_modulus < 0) error(137, token.name);
    }
    quoly_set(0, value);
    if (token_is(&token, ":")) get_stream(list, source, pending);
}

void ground_ring_row(FILE** source, quoly** value, name** pending, int32_t new_modulus, name* list, bool direct) {
    ListHold held;
    held.list = list;
    const int report = direct || !list;
    // The ring the user is in, whatever modes a reader around has
    // suspended. Asking for it again changes nothing, but for a modulus
    // with a list in stored code, which converts its values once more.
    const bool rational = new_modulus == RATIONAL_MARKER;
    const bool stays = rational ? was_in_rat : !was_in_rat && new_modulus == modulus && report;
    if (!stays) refuse_ring_change_inside_read("p");
    if (levelcount > 1) {
        error(73, token.name);
        return;
    }
    if (stays) {
        if (report) std::printf(rational ? " Already in rational mode.\n" : " Already in that arithmetic mode\n");
        return;
    }
    if (lintmode && !modularmode) {
        error(62, token.name);
        return;
    }
    const int messages = report && (direct || verbose);
    if (rational) {
        if (modularmode) change_prec(source, value, pending, -1, list, messages);
        return;
    }
    // Checked before the old modulus is left, so a refused modulus
    // changes nothing.
    if (new_modulus < 2 || new_modulus > MAX_MODULUS) {
        error(84, token.name);
        return;
    }
    if (modularmode) {
        change_prec(source, value, pending, -1, list, messages);
        // The way back was refused (error 353 resumed): stay.
        if (modularmode) return;
    }
    change_prec(source, value, pending, new_modulus, list, messages);
}

void laurent_row(int32_t v, bool direct) {
    const int state = v == 1;
    const bool loud = direct || verbose;
    if (state == laurent) {
        if (loud) std::printf(" Already had that value; no change in Laurent polynomial status.\n");
        return;
    }
    if (state && !fields_allow_laurent()) return;
    change_laurent(state);
    if (loud) std::printf(laurent ? " Negative exponents enabled.\n" : " Negative exponents disabled.\n");
}
