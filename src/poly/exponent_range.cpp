#include "poly/exponent_range.h"

#include "interp/token.h"
#include "toplevel/errors.h"

void exponent_overflow() {
    error(32, token.name);
    abandon_statement(32);
}
