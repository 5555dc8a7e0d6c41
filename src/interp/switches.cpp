// The switch command: '&' and one character, or '&' '_' and a character
// (mapped onto single characters and internal codes above the printable
// range, so that a typed letter never reaches those). For now only the
// quit switch has an action; every other character is error 17.
#include <cstring>

#include "interp/dispatcher.h"
#include "interp/scanner.h"
#include "interp/token.h"
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
    switch (sw) {
    case 'q':
    case 'Q':
        throw QuitRequest{};
    default:
        error(17, token.name);
        return;
    }
    quoly_set(0, value);
    scanner(source, &token, pending);
}
