// The four arithmetic operations on quolys, chosen by a value, for tests
// that run every operation over the same operands.
#pragma once
#include "storage/records.h"

enum Op { ADD, SUB, MUL, DIV };
inline const char* const op_names[] = {"+", "-", "*", "/"};

// r = a op b through the three-address routines (division with flag 0).
void three_address(Op op, quoly* a, quoly* b, quoly** r);
