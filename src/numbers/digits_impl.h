// Private to the number kernels: moving digit chains to and from contiguous
// magnitude arrays. The kernels read their operands into arrays (least
// significant digit first, magnitudes below 2^28), compute there, and write
// the result back as a chain, so they never walk a chain more than once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "numbers/numbers.h"

namespace digits {

using Mag = std::vector<uint32_t>;

// Per-thread work buffers keep their capacity from one operation to the
// next. Each file that keeps some notes (once, from a static initialiser)
// a routine that gives this thread's back; release_number_scratch() runs
// them all.
bool note_scratch(void (*release)());
template <class V>
void give_back(V& v) {
    V().swap(v);
}

// Reads n digits of the chain starting at p into out (resized to n), least
// significant first, as magnitudes; returns the sign (-1, 0 or 1) of the
// first non-zero digit met from the head.
int read_chain(const numnode* p, int32_t n, Mag& out);

// Writes sign * d (d least significant first, leading zeros allowed) into
// x as a normalised chain. x's own digit nodes are reused when it owns them
// (count > 0 outside lintmode); extra nodes are given back, missing ones
// taken from the free list.
void write_number(imag* x, const uint32_t* d, int32_t n, int sign);
inline void write_number(imag* x, const Mag& d, int sign) {
    write_number(x, d.data(), static_cast<int32_t>(d.size()), sign);
}

// Magnitude arithmetic on little-endian 28-bit digit arrays.
int32_t mag_len(const uint32_t* a, int32_t n);                       // without leading zeros
int mag_cmp(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb);
void mag_add(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag& r);
void mag_sub(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag& r);  // a >= b
void mag_mul_school(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r);
void mag_mul(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag& r);  // Karatsuba dispatch
// r (n + n digits) := a^2 by the schoolbook steps, each cross product once.
void mag_sqr_school(const uint32_t* a, int32_t n, uint32_t* r);
// r (na + nb digits, leading zeros kept) := a * b by number-theoretic
// transforms, the digits in the given radix (at most 2^28); a squaring when b
// is a and nb is na. With poll set, looks for an interrupt between its three
// transforms.
void mag_mul_ntt(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r,
                 bool poll, uint32_t radix = DIGIT_BASE);
// r (L = ntt_wrap_digits(points) digits) := a * b mod (B^L - 1) by cyclic
// transforms on `points` points (from ntt_wrap_points), B the digit base;
// na and nb at most L. The result is below B^L but may be B^L - 1 itself.
void mag_mul_ntt_wrapped(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r,
                         size_t points, bool poll);
// A number's transforms under the transform primes at a given number of
// points, so that an operand met in several products is transformed once.
// Forms combine only with forms of the same points and digits.
struct NttForm {
    std::vector<uint64_t> v;
    size_t n = 0;
    int digits = 2;   // digits to a coefficient
};
// Points that carry the whole product of na by nb digits in forms made on
// them (not wrapped).
size_t ntt_points(int32_t na, int32_t nb);
// Digits to a coefficient in forms on `points` points, wrapped or not.
int ntt_form_digits(size_t points, bool wrapped);
// The fewest points (2^k or 3 * 2^k) whose wrapped products are taken
// modulo B^L - 1 with L at least l_min, and that L for given points.
size_t ntt_wrap_points(int32_t l_min);
int32_t ntt_wrap_digits(size_t points);
// f := the transforms of a (na digits) at `points` points. Wrapped forms
// hold ntt_form_digits(n, true) digits d to a coefficient, so that their
// cyclic products on n points are products modulo B^(d n) - 1.
void ntt_form(const uint32_t* a, int32_t na, size_t points, NttForm& f, bool wrapped = false);
// r := |s0 x0 y0 + s1 x1 y1| trimmed, from forms of one size that carries
// each product (the second product left out when x1 is null or s1 is 0);
// returns the sum's sign. The signs s0, s1 are -1, 0 or 1.
int ntt_sum_of_products(const NttForm& x0, const NttForm& y0, int s0, const NttForm* x1, const NttForm* y1,
                        int s1, Mag& r);
// Set while the running kernel works on copies of its operands of its own:
// then its long steps are safe points for interrupts (a nested level's
// statements may use every shared buffer meanwhile, and may change the
// records the operands came from).
extern thread_local bool private_operands;
// Digits of a step below which no interrupt is looked for.
constexpr int32_t kPollDigits = 4096;
// Operand digits from which the long routines read their operands into
// buffers of their own, so that they can stop for an interrupt.
constexpr int32_t kPrivateDigits = 2 * kPollDigits;
// The flag read and set through calls into the file that owns it (some
// sanitizer builds mistake an inlined access for a null pointer).
bool operands_private();
void set_operands_private(bool on);
struct PrivateOperands {
    bool before = operands_private();
    PrivateOperands() { set_operands_private(true); }
    ~PrivateOperands() { set_operands_private(before); }
    PrivateOperands(const PrivateOperands&) = delete;
    PrivateOperands& operator=(const PrivateOperands&) = delete;
};

// r (na + nb digits, leading zeros kept) := a * b on 64-bit words
// (multiply_words.cpp): the digits packed into words, multiplied there by
// rows or Karatsuba, and unpacked.
void mag_mul_words(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r);

// Product cut-offs, settable so that tests can force each path:
extern int32_t ntt_cut;         // shorter operand's digits from which the transforms run
extern int32_t ntt_square_cut;  // the same for squares, which transform one operand only
extern bool ntt_threes;         // transforms may run on 3 * 2^k points (else on powers of two only)
extern bool ntt_wide;           // coefficients may hold three digits (else two)
extern int32_t words_cut;       // shorter operand's digits from which products run on 64-bit words
                                // (below: the digit schoolbook; out of reach: digit Karatsuba)
extern int32_t unbalanced_cut;  // shorter operand's digits from which a much longer one is cut
                                // into slices of its length (else the schoolbook product)

// ---- division and gcd kernels (divide_impl.cpp) ----
// Unless said otherwise, results must not alias the operands. Lengths may
// include leading zeros; results come back without them (zero is empty).

// q := a div m (when q is given: n digits, leading zeros kept; q may be a)
// for a machine word 0 < m < 2^32; returns a mod m.
uint32_t mag_divmod_word(const uint32_t* a, int32_t n, uint32_t m, uint32_t* q);
// q := a div b (when q is given) and r := a mod b, for b != 0.
void mag_divmod(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag* q, Mag& r);
// The steps of long division on a normalised divisor v (nv >= 2 digits, top
// bit of its head set) in place: u (nu digits, its top nv digits below v)
// becomes u mod v, its upper nu - nv digits zero, and q (nu - nv digits,
// when given) the quotient.
void school_divide(uint32_t* u, int32_t nu, const uint32_t* v, int32_t nv, uint32_t* q);
// The same contract, by recursive division on the fast product (q must be
// given); below `divide_cut` digits of divisor or quotient it uses the steps
// above.
void recursive_divide(uint32_t* u, int32_t nu, const uint32_t* v, int32_t nv, uint32_t* q);
// Divisor and quotient lengths from which division is recursive (at least 2).
extern int32_t divide_cut;
// Division of a 2n-digit u by a normalised n-digit v through an
// approximate reciprocal of v (divide_newton.cpp), same contract as the
// recursive steps for nu = 2 nv. inv holds the reciprocal and the
// transforms of it and of v once made (left empty to have them made), so
// that blocks on one divisor share them. False, with u untouched, in the
// unexpected case that the estimate needs more correction than it should.
struct Reciprocal {
    Mag x;            // about B^(2n) / v
    NttForm x_form;   // x's transforms for the quotient estimates
    NttForm v_form;   // v's, for the remainders' cyclic products
};
bool newton_divide(uint32_t* u, const uint32_t* v, int32_t n, uint32_t* q, Reciprocal& inv);
// The same for u of n + k digits (1 <= k <= n) and k quotient digits, from
// the reciprocal of v's top k digits (inv then holds that one). A quotient
// not much longer than the divisor is cheaper in two such blocks of half
// its length than in one of the divisor's.
bool newton_divide_top(uint32_t* u, const uint32_t* v, int32_t n, int32_t k, uint32_t* q, Reciprocal& inv);
// Divisor lengths from which divisions of whole blocks take the reciprocal.
extern int32_t newton_cut;
// s := floor(sqrt(a)) (trimmed) for the n-digit a, by halves on the
// fast division (sqrt_rem.cpp); int_sqrt takes it from sqrt_rem_cut digits.
void mag_sqrt(const uint32_t* a, int32_t n, Mag& s);
extern int32_t sqrt_rem_cut;
// Euclid on the pair in place: afterwards a >= b, b has at most one digit,
// and gcd(a, b) is the gcd of the pair given.
void mag_gcd_reduce(Mag& a, Mag& b);
// One round of Lehmer's method on a >= b (b of two or more digits) applied
// in place; rows receives the round's matrix (new a = rows[0]·a + rows[1]·b,
// new b = rows[2]·a + rows[3]·b, entries below 2^32 in magnitude). False
// when the leading bits vouch for no step (a and b unchanged).
bool mag_lehmer_step(Mag& a, Mag& b, int64_t rows[4]);
// The subquadratic part of the gcd (half_gcd.cpp), for a >= b trimmed:
// reduces the pair in place, keeping its gcd, until b has at most
// `half_gcd_cut` digits (afterwards a >= b). Each round reduces the pair to
// about half its length by reductions computed recursively on leading
// halves, so the cost follows the product's growth.
void mag_half_gcd_reduce(Mag& a, Mag& b);
extern int32_t half_gcd_cut;
// Shortest operand of a matrix step's products from which their operands
// are transformed once each and the products summed before one inverse.
extern int32_t gcd_forms_cut;

}  // namespace digits
