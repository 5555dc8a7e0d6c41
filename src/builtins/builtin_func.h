// The built-in functions called by name from an expression: their numbers
// are positions in the sorted name table (see data/builtin_names.tsv).
// Names whose table code starts with '*' are the factor routine's own
// inline forms and never come here.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

// Runs built-in n: token at the built-in's name on entry; reads its
// arguments, leaves the value in *result (free-first) and the token after
// the call. A number with no handler prints "not implemented" and abandons
// the statement without an error number.
void builtin_func(FILE** source, quoly** result, name** pending, int32_t n);

// The handler families (token at the name on entry, as builtin_func).
// Values and tests of one argument, the argument-less built-ins.
bool value_builtin(FILE** source, quoly** result, name** pending, int32_t n);
// Divisibility tests, remainder with quotient, Return.
bool division_builtin(FILE** source, quoly** result, name** pending, int32_t n);
// Array statements, whole-array tests and measures, Powermod, Minpoly.
bool array_builtin(FILE** source, quoly** result, name** pending, int32_t n);
// Coefficients: Mcoef, Mcoef2, Recoef, the numerical coefficients and the
// leading monomial.
bool coefficient_builtin(FILE** source, quoly** result, name** pending, int32_t n);
// Derivatives, level shifts and parts of a given total degree.
bool degree_builtin(FILE** source, quoly** result, name** pending, int32_t n);
// Gcd, content and extended gcd; factors, square-free parts and monomials
// into arrays; the irreducibility test; dropping denominators.
bool gcd_builtin(FILE** source, quoly** result, name** pending, int32_t n);
