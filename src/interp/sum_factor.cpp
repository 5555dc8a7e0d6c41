// The sum and product forms of the factor routine. At the terminal the
// header and body are captured first, since the body is replayed once for
// every value; inside a stored body they are already a chain.
#include "interp/sum_factor.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "interp/functions.h"
#include "interp/scanner.h"
#include "interp/token_chain.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"

namespace {

constexpr char END_TOKEN[] = "\xC2\xA5";

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

bool ends_statement(const tokenrec& t) { return token_is(&t, ";") || token_is(&t, END_TOKEN); }

}  // namespace

bool is_sum_or_product_code(const char* code) {
    return std::strcmp(code, "*82") == 0 || std::strcmp(code, "*66") == 0;
}

void obtain_expression(FILE** source, name** pending, name** list, char opening) {
    const char closing = opening == '[' ? ']' : ')';
    TokenChain c;
    int32_t depth = 1;
    for (;;) {
        if (ends_statement(token)) {
            error(274, ";");
            abandon_statement(274);
        }
        c.append(token);
        if (token.name[1] == 0 && token.name[0] == opening) depth++;
        if (token.name[1] == 0 && token.name[0] == closing && --depth == 0) break;
        next_token(source, pending);
    }
    *list = c.release();
}

void obtain_sum(FILE** source, name** pending, name** list) {
    if (*pending) {
        *list = (*pending)->next;
        return;
    }
    next_token(source, pending);
    if (!token_is(&token, "<")) {
        error(144, token.name);
        abandon_statement(144);
    }
    TokenChain c;
    for (;;) {
        if (ends_statement(token)) {
            error(81, ";");
            abandon_statement(81);
        }
        c.append(token);
        next_token(source, pending);
        if (c.tail->token[0] == '>' && c.tail->token[1] == 0) {
            if (token_is(&token, "<")) continue;
            if (token_is(&token, "(") || token_is(&token, "[")) break;
            error(145, token.name);
            abandon_statement(145);
        }
    }
    const char opening = token.name[0];
    c.append(token);
    next_token(source, pending);
    name* body = nullptr;
    obtain_expression(source, pending, &body, opening);
    c.append_chain(body);
    // The end token after the body stops any reader that would run on.
    c.append(END_TOKEN, UNHASHED);
    *list = c.release();
}

void sum_product_factor(const char* code, FILE** source, quoly** value, name** pending) {
    const std::string kept(code);   // code may lie in `token`, which the capture overwrites
    name* list = nullptr;
    obtain_sum(source, pending, &list);
    const bool in_body = *pending != nullptr;
    TokenChain captured;   // frees a list captured at the terminal on every exit
    if (!in_body) captured.head = list;
    if (!list) {
        error(144, token.name);
        abandon_statement(144);
    }
    std::memcpy(token.name, list->token, TOKEN_TEXT);
    token.hash = list->hash;
    if (!token_is(&token, "<")) {
        error(144, token.name);
        abandon_statement(144);
    }
    name* at = list;
    int32_t word = 0;
    char closer = ')';
    sum_mult_up(kept.c_str(), source, value, &at, 0, &word, &closer);
    if (integerflag) quoly_set(word, value);
    if (in_body) *pending = at;
    if (token.name[0] != closer) {
        error(274, token.name);
        abandon_statement(274);
    }
    next_token(source, pending);
}
