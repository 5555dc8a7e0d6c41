// Private to the gcd built-in family: the handlers of the built-ins that
// turn polynomials into arrays (poly_array_builtins.cpp), called by the
// family's dispatcher in gcd_builtins.cpp. Token at the name on entry, the
// value in *result and the token after the call on return.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

namespace gcd_builtins {

// Factor(u, [A] [, level]): the irreducible factors modulo p.
void factor(FILE** source, quoly** result, name** pending);
// Irred(u [, level]): the irreducibility test.
void irreducible(FILE** source, quoly** result, name** pending);
// Sqfree(u, [A]): the square-free decomposition.
void square_free(FILE** source, quoly** result, name** pending);
// Monos(u, [A] [, one]): the monomials into a sparse column.
void monomials(FILE** source, quoly** result, name** pending);
// Killdenom(x) or Killdenom([A]): denominators dropped in place.
void kill_denominators(FILE** source, quoly** result, name** pending);

}  // namespace gcd_builtins
