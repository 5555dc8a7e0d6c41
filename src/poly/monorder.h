// The fixed order of monomials by which lists of single terms (array cells,
// sparse entries) are sorted.
//
// A monomial's signature is the list of (level, exponent) pairs of the
// non-zero exponents (Laurent mode's negative ones too) along its chain of
// first terms, the top level counting as 0 (at most 150 levels are
// followed). Numbers come first; then the positive powers decide: fewer
// variables first; then, at the first differing level, the monomial in the
// deeper variable; then, at the first differing exponent, the smaller
// exponent. With the same positive powers, the monomial whose negative
// powers, read by their absolute values, come later in that order comes
// first: x^-a m before m, x^-2 before x^-1. Coefficients and denominators
// play no part.
#pragma once
#include <cstdint>

#include "storage/records.h"

// A plain number of the order: a number, or a rational (a number over a
// number). Plain numbers come before every monomial and rank together,
// whatever their values, as a monomial's coefficient plays no part.
bool plain_number_quoly(const quoly* q);
// 1 when p comes before q or has the same signature (then *eq := 1, else
// *eq := 0). A number p comes first (1) and a number q last (0) before any
// signature is built; so does a polynomial led by a number below levels of
// exponent 0 (a Laurent value with its constant first, padded for variables
// adjoined after it).
int mon_less(polynode* p, polynode* q, int* eq);
// The order of quolys whose numerators are monomials, in three ranks: plain
// numbers, then numerators that are numbers (or led by one, as above: 1/x,
// 3/(x + 1)), then signatures. Two plain numbers rank equal, and so do two
// values of the second rank, as monomials of one signature do, whatever
// their coefficients and denominators. -1 when p comes first, 1 when q does,
// 0 when they rank equal: Monless, the sorts and the set operations of
// sorted monomial lists all read this one order.
int quoly_mon_compare(const quoly* p, const quoly* q);
// The strict order: 1 when p comes strictly before q.
int quoly_mon_less(quoly* p, quoly* q);
// The same order, non-strict: 1 when p comes before q or ranks equal.
int quoly_mon_less_eq(quoly* p, quoly* q);
// The signature of a quoly, kept so that sorts compare without walking the
// polynomials again: kind 0 a plain number, 1 a numerator that is a number,
// 2 a monomial whose n (level, exponent) pairs are levels[0..n-1] and
// exps[0..n-1] (at most MONOMIAL_LEVELS pairs, n 0 for an illegal one).
constexpr int32_t MONOMIAL_LEVELS = 150;
int32_t quoly_signature(const quoly* q, int32_t* kind, int32_t* levels, int32_t* exps);
// The comparison of two kind-2 signatures as mon_less makes it: -1 when p
// comes first, 1 when q does, 0 when equal. An empty one is the same fatal
// internal error as for mon_less.
int compare_signatures(int32_t np, const int32_t* lp, const int32_t* ep, int32_t nq, const int32_t* lq,
                       const int32_t* eq);
// never-free. p := a new number node (exponent 0, no next term) holding a
// fresh number record (count 0) for the caller to fill.
void initial(polynode** p);
