// The switch command: '&' and one character, or '&' '_' and a character
// (mapped onto single characters and internal codes above the printable
// range, so that a typed letter never reaches those), and the
// parameterised form '&(' letter '=' value ')'. For now only the quit
// switch, &J and &(J = ...) have actions; every other character is error 17.
#include <cstring>

#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "quoly/adjoin.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

// The character that '&' '_' x stands for; 0 when x has no such form.
int underscore_switch(char x) {
    switch (x) {
    case 'L': return '5';
    case 'l': return '2';
    case 'P': return 210;
    case 'd': return 212;
    case 'k': return 213;
    case 'm': return 209;
    case 'p': return 211;
    case 'r': return 208;
    default: return 0;
    }
}

// The parameterised switch after "&(": the letter, "=" (or ">" for J), its
// value and the closing ")". *read_end := 0 when it has read the token that
// ends the statement itself; otherwise the caller reads it.
void set_switch(FILE** source, quoly** value, name** pending, int* read_end) {
    *read_end = 1;
    scanner(source, &token, pending);
    tokenrec letter = token;
    scanner(source, &token, pending);
    const bool j = token_is(&letter, "J");
    if (!token_is(&token, "=") && !(j && token_is(&token, ">"))) {
        error(4, token.name);
        return;
    }
    if (!j) {
        feature_unavailable("Only the switch &(J = ...) is available yet.", 136, letter.name);
        return;
    }
    int unread = 1;
    attach_poly(source, pending, 0, &unread);
    if (unread) {
        scanner(source, &token, pending);
        if (!token_is(&token, ")")) {
            error(135, token.name);
            return;
        }
    }
    quoly_set(0, value);
}

}  // namespace

void switches(FILE** source, quoly** value, name** pending) {
    scanner(source, &token, pending);
    if (std::strlen(token.name) > 1) {
        error(114, token.name);
        return;
    }
    int sw = static_cast<unsigned char>(token.name[0]);
    if (sw == '_') {
        scanner(source, &token, pending);
        sw = underscore_switch(token.name[0]);
        if (sw == 0) {
            error(17, token.name);
            return;
        }
    }
    int read_end = 1;
    switch (sw) {
    case 'q':
    case 'Q':
        throw QuitRequest{};
    case 'J': {
        int unread = 1;
        attach_poly(source, pending, 1, &unread);
        break;
    }
    case '(':
        set_switch(source, value, pending, &read_end);
        break;
    default:
        error(17, token.name);
        return;
    }
    // The parameterised switch leaves its own value.
    if (sw != '(') quoly_set(0, value);
    if (read_end) scanner(source, &token, pending);
}
