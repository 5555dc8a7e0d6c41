// Routing of the built-in numbers to their handler families, and the
// numbers with no handler.
#include "builtins/builtin_func.h"

#include <cstdio>

#include "builtins/array_handlers.h"
#include "builtins/emergency_display.h"
#include "builtins/matrix_commands.h"
#include "builtins/splice_split.h"
#include "builtins/storage_builtins.h"
#include "interp/builtin_args.h"
#include "interp/evaluator.h"
#include "interp/token.h"
#include "storage/assign.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

// Positions whose table code is an inline form of the factor routine, and
// 41, which has no handler anywhere: reached only through a table entry
// with a plain code.
bool has_no_handler(int32_t n) {
    if (n < 0 || n > 110) return true;
    switch (n) {
    case 1: case 4: case 5: case 7: case 9: case 12: case 14: case 40: case 41:
    case 66: case 68: case 70: case 79: case 82: case 89: case 101: case 103:
        return true;
    default:
        return false;
    }
}

// The built-ins that rearrange stored arrays and polynomials in place,
// move, swap, compare and rename stored values, and the emergency displays.
bool rearranging_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    switch (n) {
    case 76: builtin_reverse(source, result, pending); return true;
    case 81: builtin_strans(source, result, pending); return true;
    case 84: builtin_sort(source, result, pending); return true;
    case 86: builtin_splice(source, result, pending); return true;
    case 87: builtin_split(source, result, pending); return true;
    case 92:
    case 93: builtin_swap_lines(source, result, pending, n); return true;
    case 94: builtin_tablemerge(source, result, pending); return true;
    case 108:
    case 109: builtin_emergency_display(source, result, pending, n); return true;
    case 17:
    case 18: builtin_equal(source, result, pending, n); return true;
    case 51: move_storage(source, result, pending); return true;
    case 63: builtin_poly(source, result, pending); return true;
    case 77: namechange(source, result, pending); return true;
    case 91: swap_storage(source, result, pending); return true;
    default: return false;
    }
}

}  // namespace

void builtin_func(FILE** source, quoly** result, name** pending, int32_t n) {
    if (has_no_handler(n)) {
        std::printf("not implemented\n");
        std::fflush(stdout);
        abandon_statement(0);
    }
    if (value_builtin(source, result, pending, n)) return;
    if (division_builtin(source, result, pending, n)) return;
    if (array_builtin(source, result, pending, n)) return;
    if (rearranging_builtin(source, result, pending, n)) return;
    if (coefficient_builtin(source, result, pending, n)) return;
    if (degree_builtin(source, result, pending, n)) return;
    if (gcd_builtin(source, result, pending, n)) return;
    if (matrix_builtin(source, result, pending, n)) return;
    // Every number outside the "not implemented" set has a handler above.
    tarvex_error("built-in without a handler.", 1);
    abandon_statement(0);
}
