// Every random draw of the system goes through this module, so that the
// raw sources (the platform's random(), rand() and the process CPU clock)
// can be replaced by fixed functions in tests. random() and rand() are never
// seeded: they start from the platform's default state.
#pragma once
#include <cstdint>

extern double random_ext2;   // the last raw random() draw, as a double (1.0 at start-up)
extern double two_thirty1;   // 2147483647.0: the scale of every draw

// The raw sources as the system sees them.
long raw_random();           // random(): 0 .. 2147483647
int raw_rand();              // rand()
long raw_clock();            // clock(): CPU time of the process, read afresh once per coarse clock tick

// Test hook: replaces the three raw sources (a null argument keeps the
// platform's source for that one); reset_random_sources puts all back.
void set_random_sources(long (*random_fn)(), int (*rand_fn)(), long (*clock_fn)());
void reset_random_sources();

// R: trunc(random() / 2147483647 * 16384), 0 .. 16384 (16384 only for the
// generator's maximum). Stores the raw draw in random_ext2.
int32_t rand_integer2();
// Q: (R * clock()) as a wrapping unsigned 32-bit product, mod 48871: 0 .. 48870.
int32_t rand_integer3();
// rand() mod (b - a + 1) + a for a <= b; a when the range is empty.
int32_t randdint(int32_t a, int32_t b);

// Modulo a composite number what an image at a point shows (a gcd, a
// division) depends on whether the point meets a zero divisor: there the
// pre-tests take fixed points instead of drawn ones, so that a statement's
// answer follows its operands and not the draw.
bool points_fixed();
