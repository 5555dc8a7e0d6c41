// The gcd of integer polynomials through their images modulo many primes:
// each image is a gcd computed by the driver in modular arithmetic, the
// images are joined in mixed-radix (Garner) form until two successive
// reconstructions agree, and the agreed candidate is accepted only after
// it has been seen to divide both operands. Also the Horner evaluations of
// mixed-radix and Newton forms that the reconstruction and the mod-p
// interpolation share, and the driver steps around the method: the gcd
// stash lookups that bracket the expensive methods.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

struct pt;
struct gcd_state;

// Operands above this node total take part in the gcd stash (200).
extern int32_t gcd_stash_cutoff;
// Pairs over the integers above this node total whose images the flat
// routine computes go to the modular method before any content is taken.
extern int32_t flat_first_cutoff;

// result := gcd(u, v) for u, v with integer coefficients and of positive
// degree in their top variable (the variable of var), divided by its
// integer content. u and v are kept (node for node). *ok := 1 on success,
// with *result primitive and of positive leading coefficient; *ok := 0
// when the method gave up (prime tables exhausted, no stable image within
// the coefficient bound, field elements inside the operands), *result
// null then. The ground ring, command_int and lookupgcd are as they were
// on every exit. flat_only: give up as soon as the flat routine declines an
// image, rather than compute it by the driver modulo p.
void basic_mod_method(polynode* u, polynode* v, polynode** result, int* ok, pt* var, bool flat_only = false);

// The primes of the method for pairs in several variables, whose images the
// flat routine computes: the i-th prime below 2^31 (i >= 1), descending.
int32_t word_prime_at(int32_t i);

// A new polynomial: the value of the mixed-radix number held in
// coefficients (coefficients[k] the digit belonging to primes[k], oldest
// first: c0 + p0 (c1 + p1 (c2 + ...))) reduced modulo the prime held in the
// constant polynomial P, coefficients in 0 .. P - 1. Integer mode; the
// digits are kept. An empty list gives null (zero).
polynode* Chinese(const std::vector<polynode*>& coefficients, polynode* P, const std::vector<int32_t>& primes,
                  pt* var);

// A new polynomial at the level of x: the Newton form c0 + (x - a0)(c1 +
// (x - a1)(c2 + ...)) evaluated by Horner's rule in modular arithmetic
// (x - a is x + a in characteristic 2). coefficients[k] lies one level
// inside x (a lone number node or a polynomial in the inner variables);
// points[k] are residues. Coefficients kept; an empty list gives null.
polynode* mod_Chinese(const std::vector<polynode*>& coefficients, const std::vector<int32_t>& points, pt* x);

// The symmetric bounds of two reconstructions: a's coefficients lie in
// 0 .. m_a - 1, b's in 0 .. m_b - 1.
struct equivalence_bounds {
    imag* m_a;
    imag* half_a;   // m_a div 2
    imag* m_b;
    imag* half_b;
};
// Reduces every coefficient of a and of b to the symmetric range of its own
// product (above half: the product subtracted) and compares them level by
// level. *ok := 1 when shapes and all reduced coefficients agree. *result :=
// the symmetric form of a (never-free slot) in either case. a, b kept.
void check_equivalent(polynode* a, polynode* b, int* ok, polynode** result, const equivalence_bounds& work);

namespace gcd_impl {

// The driver's integer modular method with the stash lookup around it.
// Returns true when the driver call has ended (answer from the stash or the
// method); false when the driver goes on with its other methods (operands
// as before, a pending stash entry withdrawn). *tried := true when the
// method ran (and gave up).
bool modular_method_step(gcd_state* st, bool* tried);
// Before the coprimality tests and the contents: pairs over the integers
// whose every image the flat routine computes take the modular method on
// the whole operands, since those images carry the contents in every
// variable at the cost of one-variable gcds. True when the call has ended;
// false (operands, state and stash as before) when the pair is not of that
// kind or the flat routine declined.
bool flat_first_step(gcd_state* st);
// The same method late in the choice, for large pairs after trial division
// failed, when the step above did not run it; true when it answered and the
// call has ended.
bool late_modular_method(gcd_state* st);
// The stash lookup before the later methods: true when the stash answered
// and the call has ended; otherwise a new entry may be pending.
bool stash_lookup_step(gcd_state* st);

}  // namespace gcd_impl
