// Exact divisibility through the Kronecker substitution: the fast road of
// trial division for operands small enough to lay out densely.
//
// With base_i = deg_i(u) + 1, x_i -> X^stride_i (the innermost stride 1,
// each further out the product of the bases inside it) maps both operands
// one-to-one onto polynomials in X held as flat arrays; one long division
// of words there replaces the division on term records and digit chains.
// The answer is exact: see kronecker_div.cpp for why the univariate verdict
// lifts back.
#pragma once
#include "storage/records.h"

struct pt;

// 1 when m divides u exactly, 0 when it does not, -1 when this road cannot
// decide (a ground ring other than the integers or the residues modulo an
// odd prime, field or mod-out variables, Laurent exponents, an integer
// coefficient beyond 128 bits or an overflow on the way, a divisor free of
// every variable, zero divisor, too large a dense layout): the caller then
// runs the general division. rec is the operands' top-level variable
// record. Operands kept; no record is made.
int kronecker_divides(polynode* u, polynode* m, pt* rec);

// The same division with the quotient: 1 with *q (old value freed) when
// m divides u, 0 when it does not, -1 when this road cannot decide.
// Operands kept.
int kronecker_quotient(polynode* u, polynode* m, pt* rec, polynode** q);
