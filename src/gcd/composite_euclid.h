// The gcd modulo a composite number in several free variables, without
// relations.
//
// The plain gcd takes out contents and works on images as over a field,
// and modulo a composite number neither holds: 3x = 3(x + 3y) modulo 9,
// so the content 3 of 3x leaves a primitive part known only modulo 3, and
// x + 3y, which divides both (x + 3y)y and 3x, was lost. Its answer h is
// kept only where it is proved: h divides both, and modulo each prime
// dividing the modulus the cofactors have no common factor (nor are both
// 0), which makes every common divisor divide h modulo each prime power.
// Otherwise only steps that keep the common divisors are taken:
// A - q·x^e·B, x the outermost variable the operands use, q the exact
// quotient of the leading coefficients over the variables inside x (a unit
// residue divides every one). Where neither leading coefficient divides
// the other the gcd is refused with error 85, as the Euclid of one
// variable refuses a residue without inverse.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

namespace nonfield {

// While the plain gcd runs for composite_gcd, the gcds it asks for inside
// take the plain road too: those in several variables, or every one.
constexpr int PLAIN_SEVERAL_VARIABLES = 1;
constexpr int PLAIN_EVERY_GCD = 2;
extern int composite_plain_road;

// The gcd of a and b (kept), polynomials at `level` (vars its record), as a
// new polynomial at that level with a leading number 1 where that number is
// a unit; or error 85 ends the statement.
polynode* composite_gcd(polynode* a, polynode* b, int32_t level, pt* vars);

}  // namespace nonfield
