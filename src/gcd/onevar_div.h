// Quotient and remainder of one-variable polynomials with residue
// coefficients modulo a prime: a schoolbook loop on the term lists, an
// elimination in the dense work arrays xx, yy, zz, and a divide-and-conquer
// division built like Karatsuba multiplication for large degrees.
//
// Polynomials have the one-level modular shape of poly/modmult.h (a term of
// exponent e > 0 over a one-node number polynomial, the exponent-0 term a
// number node). Result slots are copy-then-free: the results are formed
// completely, the operands put back as they were, and only then are the
// slots' old values freed (a slot may hold an operand). Operands are kept:
// the divide-and-conquer routines split, shift and scale them in place
// while they work and restore them on every exit, exceptions included.
// A zero divisor is error 22, which ends the statement even when it returns.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// Divisors with fewer terms go to the schoolbook base case of the
// divide-and-conquer routines: 6 at start-up and under rational
// arithmetic, 25 under modular arithmetic, where the schoolbook step is cheap.
extern int32_t div_poly_cutoff;
// Above this dividend degree the exact-division test uses divide and
// conquer instead of the dense elimination.
constexpr int32_t DENSE_EXACT_DIV_LIMIT = 15000;

// quo := u / m, rem := u mod m. fast non-zero lets large divisions (deg m
// above poly_cutoff, or deg m >= 3 and deg u above 20 deg m) take divide
// and conquer under a prime modulus; otherwise the schoolbook loop.
void simplest_poly_divide(polynode* u, polynode* m, polynode** quo, polynode** rem, int fast);
// rem := u mod m. Dense operands (more than fast_mult_cut terms, at least
// half full, deg u <= fast_gcd_size) use simplest_div_no_q, others a
// schoolbook loop that forms no quotient.
void poly_div_no_q(polynode* u, polynode* m, polynode** rem);
// rem := u mod m in the dense arrays xx, yy. Needs deg m <= deg u <= fast_gcd_size.
void simplest_div_no_q(polynode* u, polynode* m, polynode** rem);

// Divide and conquer. modflag non-zero: one-variable residue polynomials.
// modflag 0: general polynomials, degrees in the top variable, m monic
// there; products under rec, base case pseudo division (in Laurent mode
// operands with negative exponents go to pseudo division whole).
void fast_mod_and_div(polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec, int modflag);
// The balanced case, deg u at most 9/4 deg m.
void karat_mod_and_div(int modflag, polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec);
// deg u between 9/4 and 10/3 deg m: two balanced divisions by m shifted up.
void three_case(int modflag, polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec);

// 1 when m divides u exactly, the quotient then in quo; 0 otherwise, quo
// emptied (null). Dense elimination up to deg u = DENSE_EXACT_DIV_LIMIT,
// divide and conquer above.
int fastest_poly_div(polynode* u, polynode* m, polynode** quo);
