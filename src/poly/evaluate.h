// Evaluation of polynomials at numbers and substitution of values for
// single variables: all variables at numbers or residues (the randomized
// pre-tests of division and gcd), one variable at a residue (modular gcd,
// Hensel lifting), one variable replaced in place by a polynomial or a
// quotient of polynomials (determinants, gcd lists, the evaluation
// command), and 0/1 polynomials at 0/1 points in characteristic 2.
//
// Value list: a chain of lone number nodes (exponent 0, made with
// poly_set), linked through next, outermost variable first, each holding
// the value of its variable. A node whose exponent is 1 is a keep marker:
// that variable is not substituted and the next node belongs to the next
// inner variable. Lists are borrowed: a routine that uses one entry as a
// one-term polynomial cuts its next link and puts it back before returning.
//
// Every evaluation runs in Horner order from the leading term, so each term
// costs one power of the value by the exponent gap. Variable records (pt)
// are passed on to poly_mult and compute_power for the level's cut-off and
// mod-out reduction; a routine that descends a level passes record->next.
// Operands are kept unless a routine says otherwise.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// ---- all variables at numbers ----
// Result slot: never-free (the caller passes null). *res := *p with the
// listed variables substituted. While keep >= 1 the top level is kept and
// each coefficient is evaluated with keep - 1 against the same list. A zero
// value leaves *res null (callers wanting an explicit 0 use poly_set).
// Dispatcher: whole-polynomial residue evaluation in modular mode, digit
// evaluation outside machine-integer mode, else (and whenever field levels
// or keep markers are present) level by level.
void all_poly_eval(polynode** p, polynode* list, polynode** res, int16_t keep);
// Result slot: never-free. *res := p at the values as a fresh digit number,
// null for zero. A null list under a non-number p is a (non-fatal) internal
// error that leaves *res unset.
void rat_all_poly_eval(polynode* p, polynode* list, imag** res);
// *out := p at the values modulo `modulus`, 0 for zero. A null list under a
// non-number p, or a keep marker in the list, is a (non-fatal) internal
// error that leaves *out unset.
void mod_all_poly_eval(polynode* p, polynode* list, int32_t* out);
// In place: *p := *p with the listed variables substituted, always level by
// level; a zero result frees the slot to null.
void old_all_poly_eval(polynode** p, polynode* list, int16_t keep);

// ---- one variable at a number ----
// Result slot: copy-then-free (res may be &p). *res := p with its top
// variable replaced by the number of the lone number node value (digit or
// machine-integer mode). With pad, a result that is not a number keeps the
// substituted level as one padding level; without, that level is gone.
// A value that is not a number node is a fatal internal error.
void poly_at_numb(polynode** res, polynode* p, polynode* value, pt* rec, int pad);
// The same in modular mode; the residue must satisfy 0 < v < modulus, else
// a fatal internal error.
void mod_poly_at_numb(polynode** res, polynode* p, polynode* value, pt* rec, int pad);
// Result slot: free-first (slot must not hold p). *slot := p with its
// second variable replaced by the value; that level disappears.
void poly_at_numb_2(polynode** slot, polynode* p, polynode* value, pt* rec);

// The value of one variable and its record, as last_node_becomes_zero needs them.
struct EvalPoint {
    polynode* value;    // lone number node
    pt* rec;            // record of the variable substituted (the coefficient's top variable)
};
// 1 when the coefficient of p's last term becomes 0 with at->value put for
// its top variable; 0 when that coefficient is a number.
int last_node_becomes_zero(polynode* p, const EvalPoint* at);

// ---- one variable replaced by a quotient of polynomials, in place ----
// Every routine here: *p := D * p(N/M) for the variable at depth level
// (1 = p's own top variable) and *den := D, the common denominator (a
// power product of M and of the coefficients' own denominators), null when
// M is null. N and M are polynomials in p's variables, kept; M may be null.
// The value is given as the slots num_val and den_val.
//
// Dispatcher: level > bound means N involves variables outer to the
// substituted one (case_two); otherwise case_one. Most callers pass bound
// 16384.
void actual_eval_poly(polynode** p, polynode** den, polynode** num_val, polynode** den_val, int16_t level,
                      int16_t bound, pt* rec);
// N does not involve variables outer to the substituted one: descends to
// the level, substitutes there, and brings the terms above to the one
// denominator.
void case_one(polynode** p, polynode** den, int16_t level, polynode* N, polynode* M, pt* rec);
// N involves variables down from depth bound: descends bound - 1 levels as
// case_one does, then rebuilds the rest with highest_case2.
void case_two(polynode** p, polynode** den, int16_t level, int16_t bound, polynode* N, polynode* M, pt* rec);
// Substitutes N/M for the top variable of *p, each coefficient lifted by pad
// padding levels so that it lives where N does.
void highest_level(polynode** p, polynode** den, polynode* N, polynode* M, int16_t pad, pt* rec);
// Substitutes N/M for the variable count levels down, rebuilding the levels
// above as a sum of polynomials that live pad levels up, where N does.
void highest_case2(polynode** p, polynode** den, int16_t count, polynode* N, polynode* M, int16_t pad, pt* rec);

// ---- randomized divisibility test ----
// A divisor and dividend over the integers, and how many variables they use.
struct EvalPair {
    polynode* m;        // divisor
    polynode* n;        // dividend
    int32_t vars;
};
// Evaluates both at random small primes (from global_list, or with
// small_points at values 2 .. 24) chosen by the seed. *usable := 0 when
// m's value lies in -39 .. 39 or n's value is 0; else *usable := 1 and
// *divides := whether m's value divides n's.
void fast_test_rat(int32_t seed, int* usable, int* divides, const EvalPair* pair, int small_points);

// ---- characteristic 2 ----
// *out := p at the 0/1 points of the list (a value list, one node per
// variable) for p of degree at most 1 in every variable, in characteristic
// 2 (modulus 2, or field words added by exclusive or).
void tot_eval_poly2_fast(polynode* p, polynode* points, int32_t* out);
