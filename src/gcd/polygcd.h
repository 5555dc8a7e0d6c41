// The multivariate polynomial gcd: the driver polygcd and its entry for
// the rational-function layer, the content routines, the finishing
// routines and the level surveys of the method choice.
//
// Operands are polynomials at the level of `vars` (the variable of their top
// level). Result slots: the old value is freed (copy-then-free; the slot may
// not be an operand's slot unless that operand is kept). Keep flags: 1 =
// the operand belongs to the caller and comes back unchanged node for node;
// 0 = the routine may take its nodes (the caller must not use it again).
//
// Results of polygcd are normalised unless test_only: primitive with a
// positive leading coefficient over the integers, monic over Z/p in one
// variable, monic in the field with field levels.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;
struct gcd_state;

// ---- limits and switches of the gcd subsystem ----
extern int32_t cntcount_limit;      // work limit of the content scans per statement (1,200,000)
extern int32_t c_cntdepth;          // level at which content's counting started
extern int32_t a_cntdepth;          // the same for aux_content
extern int32_t d_cntdepth;          // the same for dual_content
extern int16_t trial_cutoff;        // size above which trial division is tried (25)
extern int32_t rat_yes;             // rational-function arithmetic: trial division may scale v

// ---- the driver ----
// g := gcd(u, v). test_only: the caller only wants to know whether a common
// factor exists (no normalisation; marker answers such as x^d). allow_tests:
// the probabilistic coprimality tests may run. allow_split: contents may be
// split off over other variables. reset_counts: with allow_split, the
// per-statement counters may be reset on (re)entering the top level.
void polygcd(polynode* u, polynode* v, polynode** g, int test_only, int allow_tests,
             int allow_split, pt* vars, int keep_u, int keep_v, int reset_counts);
// Entry of the rational-function layer: polygcd(*u, *v, g, 0, 1, 1, vars, 1,
// 1, 1), with the negative exponents of u (and of v when strip_v) shifted
// out of copies first (u and v the same slot: one copy serves both); *u
// and *v are never changed. Resets alg_c_count and original_depth.
void Lpolygcd(polynode** u, polynode** v, polynode** g, int strip_v, pt* vars);

// ---- contents (results one level inside the operand's level) ----
// out := content of p w.r.t. its top variable. keep as polygcd's keep flags.
void content(polynode* p, polynode** out, pt* vars, int trace, int allow_split, int keep);
// out := gcd(coefficient of w, all coefficients of p); w is a single
// exponent-0 term free of p's top variable.
void aux_content(polynode* w, polynode* p, polynode** out, pt* vars, int trace, int allow_split,
                 int keep_w, int keep_p);
// out := gcd of all coefficients of u and v together. Both operands' term
// lists are as before on return.
void dual_content(polynode* u, polynode* v, polynode** out, pt* vars, int trace, int allow_split,
                  int keep_u, int keep_v);
// out := content of p (non-zero top exponent) w.r.t. the variable of depth
// k >= 1, in p's level structure. When that variable is absent: out := 1 and
// absent := 1 the first time, a copy of p when absent was already 1. p kept.
void general_content(polynode* p, int32_t k, polynode** out, pt* vars, int* absent, int big);
// A new polynomial: the content of p w.r.t. its second variable, in p's
// level structure. p kept.
polynode* content_2(polynode* p, pt* vars);
// in place. Inserts one empty (exponent-0) level at depth k; cur is the depth of p.
void patch_up(polynode* p, int32_t cur, int32_t k);

// ---- exact content division ----
// in place. *u := *u / *m exactly (m padded one level for the division and
// put back), then divided by its integer content. An inexact division is
// reported ("not 0 in special_div") and the quotient used.
void special_div(polynode** u, polynode** m, pt* vars);
// The same with m already at u's level.
void special_div_2(polynode** u, polynode** m, pt* vars);

// ---- the working operands of a driver call ----
// The working operand `which` (1 = u, 2 = v) becomes the driver's own copy;
// the caller's operand is restored first (shift, stride, saved node).
// Nothing happens when the driver owns it already.
void gcd_own_operand(gcd_state* state, int which);
// Gives the working operand back: the caller's is restored, the driver's
// own copy freed; the working slot becomes null. A null slot is left alone,
// so a method that frees an owned operand itself nulls the slot, and every
// exit may release both operands again safely.
void gcd_release_operand(gcd_state* state, int which);

// ---- finishing a driver call (each ends the call: the caller returns at once) ----
// The answer is in *state.g: both working operands released, contents,
// level factor, stride and x power put back, sign and monic form
// normalised, stash entry stored.
void finish_4(gcd_state* state);
// The answer is in state.answer (stash hit, modular method); undo_signs:
// operands negated for the stash lookup are negated back. Operands released.
void alternate_finish(int undo_signs, gcd_state* state);
// Final normalisation of *g (monic in the field, primitive, times *f); *f
// consumed.
void correct_monic_form(polynode** g, polynode** f, gcd_state* state);
// in place. Outside machine-integer mode with field levels: *p times the
// inverse of its field leading coefficient (followed down to a number or a
// field level), then divided by its integer content, so that associates
// over the field reach one form.
void field_monic(polynode** p, pt* vars);

// ---- level surveys of the method choice ----
// Fills the level fields of the working state (cached and limited depths,
// level counts).
void assign_levels(gcd_state* state);

// Which levels each operand reaches, filled by scan_poly.
struct level_survey {
    int16_t limit;              // deepest level looked at
    int16_t deepest[3];         // [1], [2]: deepest level seen for operand 1 and 2
    int32_t flag[3][150];       // [which][level] = 1: that variable occurs with a positive exponent
};
// Marks in survey the levels from `level` down to survey.limit where p
// (operand which, 1 or 2) has a positive exponent.
void scan_poly(polynode* p, int which, int32_t level, level_survey* survey);
