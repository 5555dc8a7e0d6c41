// Declaring and removing the mod-out relation of a polynomial variable:
// &P (prompting) and &(P = ...) (inline), also reached from &(J = x, P = ...).
//
// A declaration either completes or changes nothing: every stored value is
// reduced into a copy first, and the values and the variable's relation
// are replaced together only when every copy exists.
#pragma once
#include <cstdio>

struct name;

// inline_form 0: the prompting form (prints the two prompt lines and reads
// the answer from the terminal); 1: the rest of the current statement,
// `token` holding the "=" before it, returning with the token after the
// command current (the caller checks the ")"). from_adjoin: the variable
// was just adjoined; it must be the outermost and nothing stored needs
// converting.
void set_mod_out(FILE** source, name** pending, int inline_form, int from_adjoin);
