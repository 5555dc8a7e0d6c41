// Divisibility over a field of field levels (Q(α) and towers) on a dense
// array of machine words, for the proof of a gcd candidate.
//
// The term records make every step of a division over the field cost a
// walk through each level and a number record per coordinate, so proving a
// dense candidate took far longer than finding it, and the more so the more
// levels the field has. Here the dividend is laid out over the box of its
// degrees in the ordinary variables, each entry the coordinates of a field
// element in the power basis; products of field elements go through a
// table of the basis products reduced once by the relations.
#pragma once
#include "storage/records.h"

struct pt;

// 1 when m divides u over the field of the levels inside rec, 0 when it
// does not, -1 when this road cannot decide (m's leading coefficient in
// the ordinary variables is no integer, an ordinary level carries a
// relation, a relation is not monic with integer coefficients, a negative
// exponent, too large or too sparse a layout, a number past 128 bits or an
// overflow on the way): the caller then runs the general division. u, m
// kept; integer (digit) mode. rec is the operands' top-level record.
int dense_field_divides(polynode* u, polynode* m, pt* rec);

// The same division with its quotient, for cancelling a common divisor:
// 1 with scale·u = q·m, *scale (old value freed) a positive integer as a
// lone number node and *q (old value freed) without common integer
// content with it; 0 when m does not divide u; -1 as above, and when m's
// leading number is negative. Operands kept.
int dense_field_quotient(polynode* u, polynode* m, pt* rec, polynode** q, polynode** scale);
