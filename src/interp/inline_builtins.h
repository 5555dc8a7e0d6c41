// The built-ins the factor routine runs itself: their table entries carry a
// code "*n" instead of a dispatcher number. A dispatcher on that code.
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// The "Array" declaration is built-in 0.
constexpr int CREATE_ARRAY_BUILTIN = 0;

// Runs the inline built-in of code (token at the built-in's name; leaves
// the token after the form, the result in *value). Returns false for a code
// that is not an inline form (sums and products are handled apart).
bool inline_builtin(const char* code, FILE** source, quoly** value, name** pending);
