// Cheap probabilistic looks at a gcd before the expensive methods run: the
// operands' images with every inner variable replaced by a number
// (fast_test_2), reduced modulo a prime (use_modular), or reduced modulo an
// auxiliary prime of the field set-up and evaluated at its stored points
// (corvane_modular).
//
// An image pair that keeps both degrees in the main variable and has a
// gcd free of it proves that the operands have no common factor of
// positive degree in that variable (the images of a common factor would
// keep its leading term). Otherwise an image gcd's degree bounds the true
// gcd's degree from above. None of them ever proves a common factor; all
// leave the operands, the ground ring, command_int and lookupgcd as they
// found them, exceptions included.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;
struct gcd_state;

// Evaluation points of the fast tests outside modular arithmetic, by test
// base (2, 3 or 7); the driver copies the first entries into its state.
constexpr int BASE_2_COUNT = 4;
constexpr int BASE_3_COUNT = 7;
constexpr int BASE_7_COUNT = 21;
extern const int16_t base_2_list[BASE_2_COUNT];
extern const int16_t base_3_list[BASE_3_COUNT];
extern const int16_t base_7_list[BASE_7_COUNT];

// The k-th test (k >= 1) on the driver's working u and v. Returns 1 when
// the images prove the operands coprime in the main variable, 0 otherwise.
// *degree: the degree of the image gcd; when an image lost degree (the test
// is inconclusive) the main-variable degree of the smaller operand, so that
// *degree always bounds the true gcd's degree.
// In modular mode the points are drawn afresh from global_list on every
// call (modulo a composite number they are fixed by attempt instead, see
// points_fixed); outside it they come from k, the state's point table and
// its base.
int fast_test_2(int32_t k, int32_t* degree, gcd_state* state, int32_t attempt = 0);

// The gcd of u and v modulo the first of the nprimes primes of `primes`
// that divides neither leading number. *deg0 := 1 when that gcd has degree
// 0 in the main variable, *constant := 1 when it is a number, *degree := its
// degree. *deg0 := 0 and nothing else set when no prime is usable. Must be
// called over the integers (not in modular or machine-integer mode).
void use_modular(polynode* u, polynode* v, int* deg0, int* constant, pt* var, int32_t nprimes,
                 imag** primes, int32_t* degree);

// *coprime := 1 when the images of u and v modulo one of the auxiliary
// primes of the field levels, at that prime's stored points, keep their
// degrees and have a constant gcd; else 0. A field-level record without
// auxiliary primes is an internal error (fatal).
void corvane_modular(polynode* u, polynode* v, pt* var, int* coprime);

// ---- the tests inside the driver (steps of polygcd on its working state,
// after the early trial division; each returns true when it has ended the
// call with *state->g set) ----
// Over the integers and big enough problems: the gcd modulo a prime decides
// coprimality or a gcd free of the main variable outright, or records that
// a common factor was seen. n: the size of the problem (node totals).
bool gcd_modular_pretest(gcd_state* state, int32_t n);
// In modular mode: up to three fast tests at random points; a proof of
// coprimality ends the call, otherwise the degree bound is recorded.
bool gcd_fast_pretests(gcd_state* state);
// In the method choice, after the first trial division: the fast tests at
// the test base's points (over the integers, or mod p when the operands
// changed since the first tests); in test mode mod p the marker x^B ends
// the call. n: the size of the problem; changed: a content split off over
// another level had positive degree in x.
bool gcd_fast_test_loop(gcd_state* state, int32_t n, int changed);
