// The statement dispatcher: a dispatcher on the first token of a statement,
// choosing between the output, array, switch, input and delete statements,
// the empty statement, and expressions with their assignments.
#include "interp/dispatcher.h"

#include "interp/array_language.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/output_statement.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

void array_statement(FILE** source, quoly** value, name** pending) {
    const int code = token_is(&token, "Diag") ? '~' : token_is(&token, "Trans") ? '"' : token.name[0];
    arr_parse(code, source, value, pending);
}

// An expression or an assignment; a statement that only names a stored
// value gives a copy of it.
void expression_statement(FILE** source, quoly** value, name** pending) {
    quoly** ref = nullptr;
    colm** sparse_array = nullptr;
    int32_t sparse_pos = 0;
    expre(source, &ref, value, &sparse_array, &sparse_pos, pending);
    if (*value) return;
    if (ref && *ref)
        quoly_assign(*ref, value);
    else
        quoly_set(0, value);
}

}  // namespace

int parse(FILE** source, quoly** value, name** pending) {
    const char c = token_is(&token, "Diag") ? '~' : token.name[0];
    if (token_is(&token, "Trans")) {
        array_statement(source, value, pending);
        return 0;
    }
    if (token_is(&token, "Compile")) {
        // Only a function body runs it; typed here it is refused.
        compile(source, value, nullptr, pending);
        return 0;
    }
    switch (c) {
    case '!':
        write_out(source, value, pending);
        break;
    case '"':
    case '[':
    case '~':
        array_statement(source, value, pending);
        break;
    case '%':
        arr_parse('%', source, value, pending);
        break;
    case '&':
        switches(source, value, pending);
        break;
    case ';':
        // Nothing to do and nothing to display.
        set_token(&token, "@");
        break;
    case '?':
        input_statement(source, value, pending);
        break;
    case '@':
        rubout(source, pending);
        quoly_set(0, value);
        scanner(source, &token, pending);
        break;
    case 'A':
        if (token_is(&token, "Adjoint") || token_is(&token, "Altmult") || token_is(&token, "Altpower"))
            arr_parse('A', source, value, pending);
        else
            old_expre(source, value, pending);
        break;
    case 'M':
        if (token_is(&token, "MPowermod"))
            arr_parse('M', source, value, pending);
        else
            old_expre(source, value, pending);
        break;
    default:
        expression_statement(source, value, pending);
        break;
    }
    return 0;
}
