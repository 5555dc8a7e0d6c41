// The sum and product forms of the factor routine: the capture of a range
// header and body typed at the terminal, and the form itself.
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// Built-in codes of the forms: "*82" sums, "*66" multiplies.
bool is_sum_or_product_code(const char* code);

// The header and body of a sum after the built-in's name: inside a stored
// body the chain after the current record (nothing is read); at the
// terminal the tokens from "<" to the body's closing bracket, captured from
// the stream into a new list that ends with the end token. The closing
// bracket stays current.
void obtain_sum(FILE** source, name** pending, name** list);
// Tokens from the current one up to and including the bracket that closes
// `opening` ("]" for "[", ")" otherwise), nested openings counted. The
// closing bracket stays current.
void obtain_expression(FILE** source, name** pending, name** list, char opening);

// `token` is the built-in's name; code its table code. *value := the sum
// or product (free-first); the token after the closing bracket is current.
void sum_product_factor(const char* code, FILE** source, quoly** value, name** pending);
