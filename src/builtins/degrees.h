// Polynomials measured by variable: degrees and codegrees in a chosen
// variable, the part of a given total degree in chosen variables; the
// checks that an argument names one polynomial variable or is monic; and
// the shifts that move every variable of a quoly by n levels.
//
// Levels count from 1 at the outermost polynomial variable. The checks
// raise their error and return false should the error routine return (a
// nested command level); the caller then has no value to go on with.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

// Codegree of an empty list (no term seen).
constexpr int32_t NO_CODEGREE = 0x7FFFFFFF;

// Lowest exponent of the level-k variable in u (u kept; k >= 1).
int32_t codegree(polynode* u, int32_t k);

// free-first into *result: the degree (lowest 0) or codegree (lowest 1) of
// *slot's numerator in the level-k variable, as a number; a number gives 0.
// *slot kept.
void generalized_degree(quoly** slot, quoly** result, int32_t k, int lowest);

// q must be x^1 with coefficient 1 for one polynomial variable x:
// *height := its level - 1. Anything else is error `code`.
bool check_get_height(quoly* q, int32_t* height, int code);

// q must be a polynomial monic in the outermost variable it depends on:
// *level := that variable's level, *degree := its degree, *node := the
// polynomial at that level, *parent := the exponent-0 node above it (null at
// level 1). A number is error `code`, a denominator 196, a constant or a
// negative degree 198, a leading coefficient other than 1 error 197.
bool check_for_monic_poly(int code, quoly* q, int32_t* level, int32_t* degree, polynode** node,
                          polynode** parent);

// in place. *slot's numerator := its part of total degree d in the
// variables of the cells of the dense array vars (each cell's outermost
// variable). Errors 242 (a sparse vars), 29 (a cell never set), 311 (a
// cell that is a number or has a denominator). *slot must not be a number.
void do_total_degree(quoly** slot, array* vars, int32_t d);

// in place. Every variable of *slot moved n levels outwards (raise) or
// inwards (lower). Errors 273 (n < 0), 275 (raise: the value depends on
// one of the n outermost variables), 277 (lower: it would reach below the
// innermost variable); *slot is unchanged on an error.
bool raise_quoly(quoly** slot, int32_t n);
bool lower_quoly(quoly** slot, int32_t n);
