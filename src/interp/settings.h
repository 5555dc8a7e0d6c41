// The settings that only the switches change and the listing reads, and
// the control flags that the switches &>, &] and &} raise inside a body.
// Each starts at its start-up value; the switches of switches.cpp,
// switch_toggles.cpp, switch_prompts.cpp and switch_settings.cpp change
// them. Settings owned by other modules (display, gcd, ground ring) stay
// declared there.
#pragma once
#include <cstdint>

#include "storage/records.h"

// ---- flags (0 or 1) ----
extern int diskstore;          // disk space as virtual memory (0)
extern int lagrange_stash;     // Lagrange determinant coefficients go to the output file (0)
extern int chpoly_block;       // no interpolation for Chpoly in modular mode (1)
extern int mod_matrix_ok;      // adjoint-CRT inversion of integer matrices (1)
extern int danger_ok;          // interrupts served at delicate times too (0)
extern int close_inpuf;        // an error while loading closes the input file (0)
extern int hen_check;          // Hensel gcd answers checked twice (1)
extern int nomodpolyreadin;    // integers inside polynomials read unreduced (0)

// ---- cut-offs and numbers ----
constexpr int16_t AUX1_FACTOR_START = 400;
constexpr int16_t AUX2_FACTOR_START = 100;
extern int16_t aux_num_1factor;      // first auxiliary prime search factor, 300..4583 (400)
extern int16_t aux_num_2factor;      // second auxiliary prime search factor, 10..20000 (100)
extern int32_t gauss_cutoff;         // 1: Gauss-Bareiss determinants (0)
extern int32_t rat_det_method_cut;   // Lagrange cut-off "mass" (5000)
extern int32_t mod_det_method_cut;   // rat_det_method_cut / 33 (150)
extern int32_t simplest_poly_cutoff; // Karatsuba cut-off of the simplest products (140)
extern int32_t addresser;            // first array index, 1 or 0 (1)
extern int32_t pseudet_heur;         // sparse pivot heuristic, 0..6 (0)
extern int32_t detcutoff;            // determinant method cut-off; -1 = by defaults (-1)
extern int m_interrupt;              // command interrupt level 0, 1 or 2 (1)

// The denominator of random values; 1 until &_r or &(_r = ...) sets it.
// Read it through random_denominator(), which makes the 1 when needed.
extern imag* rand_denom_n;
imag* random_denominator();

// ---- auxiliary primes of the field code ----
extern int16_t aux_prime1_number;    // first auxiliary primes in auxptr (0)
extern imag* auxptr;                 // their list, linked through the link word
extern int no_aux_primes2;           // no second auxiliary primes (1)
extern int32_t second_aux_num;       // second auxiliary primes (0)

// ---- files ----
extern char input_file_name[256];    // the file being read; empty = none
extern char output_file_name[256];   // the open output file; empty = none

// ---- control flags raised by &>, &] and &} inside a body ----
extern int leave_flag;               // leave the enclosing loop
extern int cycle_flag;               // end the current statement list
extern int exit_flag;                // leave the function
