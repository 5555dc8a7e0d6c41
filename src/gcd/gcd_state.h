// The working state of one polygcd call, shared with the finishing routines
// (finish_4, alternate_finish, correct_monic_form), the level survey
// (assign_levels) and the fast coprimality tests (fast_test_2).
//
// The record lives on polygcd's stack. The driver's working operands are u
// and v below (the caller's nodes until the driver takes its own copies,
// owns_u/owns_v); every exit restores or frees them, so a caller that kept
// an operand gets it back node for node. A finishing routine ends the call:
// whoever calls one returns at once afterwards.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// Entries of the evaluation-point table of the fast tests.
constexpr int GCD_POINT_TABLE = 150;

struct gcd_state {
    int* test_only;             // the caller's test_only flag
    pt** vars;                  // the variable of u's and v's top level
    polynode** u;               // the working u
    int32_t stride;             // exponent stride divided out of the top level (>= 1)
    polynode** v;               // the working v
    imag* sign_u;               // +1 / -1: u negated for the stash lookup; null = untouched
    imag* sign_v;               // the same for v
    polynode* stash_entry;      // result record of the stash entry reached by the lookup
    polynode** g;               // the result slot
    int stash_pending;          // the answer is to be stored in stash_entry when finishing
    polynode* content_gcd;      // gcd of the contents w.r.t. the main variable, one level inside
    polynode* level_factor;     // product of the contents split off over other variables
    polynode* x_power;          // x^min(shift_u, shift_v) when both operands had one
    int32_t shift_u;            // lowest top exponent taken out of u
    polynode* saved_u;          // constant-term node kept by sub_expons for u
    int32_t shift_v;
    polynode* saved_v;
    int owns_u;                 // the working u is the driver's own copy
    int owns_v;
    polynode* answer;           // the answer of alternate_finish
    polynode* scratch1;         // fast tests: a candidate factor when one was left
    polynode* scratch2;
    int16_t level_count;        // working level count (assign_levels)
    int16_t points[GCD_POINT_TABLE];    // evaluation points for the fast tests
    int16_t limited_depth_u;    // depth of u, cut at the field levels
    int16_t test_base;          // 2, 3 or 7
    int16_t limited_depth_v;
    polynode* scratch3;
    int unlimited;              // neither depth was cut at the field levels
    int test_levels;            // level count used by the fast tests
    int16_t depth_u;            // cached depth below the top of u, -1 = not yet known
    int16_t depth_v;
    // The caller's keep flags: an operand the caller did not keep may lose
    // its saved constant-term node to the free list on restoring.
    int keep_u;
    int keep_v;
    // The driver's own flags, for the recursive calls of the methods.
    int allow_tests;
    int allow_split;
    int seen_common;            // a coprimality test saw a common factor
    int32_t last_degree;        // degree reported by the last coprimality test
    int32_t degree_bound;       // B: the degree bound collected from the tests
    int changed;                // a content split off over other levels had positive degree in x
};
