// Small number-theoretic services: primality tests, the next
// prime, distinct prime factors of machine integers, the machine-integer
// extended Euclid, the choice of a prime for a modular method, the prime
// lists kept for algebraic extensions, and reading one big number from the
// characteristic-polynomial data file.
//
// Prime-list entries are one-digit number records: the machine word holds
// the prime, the single digit an associated value; they chain through link.
// Factor lists are numnode chains (digit = the value), newest first.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct pt;

extern FILE* chdat;      // the characteristic-polynomial data file; null until start-up opens it
extern int32_t prmx;     // the last candidate nextpr handed out (7 at start-up)

// ---- primality (the answers of trial division, computed faster: prime64.h) ----
int is_prime(int32_t n);                 // 1 for a prime (and for 1), else 0; n >= 1
int32_t long_is_prime(int32_t n);        // 1 for a prime (and for 1), else the smallest prime factor; 0 below 1
// The same for hi * 2^56 + mid * 2^28 + lo as an unsigned 64-bit value
// (callers pass values below 2^63); the factor may exceed 2^31. 0 gives 0.
int64_t longg_is_prime(int32_t hi, int32_t mid, int32_t lo);
// The least prime among n + 2, n + 4, ... for odd n; 0 when that passes 2^31 - 1.
// An even n steps through the odd numbers above it.
int32_t nextprime(int32_t n);

// ---- factor lists ----
// *list := the distinct prime factors of n, newest first (nodes from
// numhead, else numstash); empty for n < 2. The old contents of *list are
// not given back.
void prime_factors(int32_t n, numnode** list);
// The factor list of n with each prime p replaced by n / p.
void set_prime_quotients(numnode** list, int32_t n);

// *a := gcd(a0, b), with s * a0 + t * b = gcd. Positive inputs; a zero
// input gives the other one with the matching unit coefficient.
void egcd_ints(int32_t* a, int32_t b, int32_t* s, int32_t* t);

// The one-based index, from a random start, of the first prime of table
// (entry i at table[i - 1]) up to index hi that divides neither leading
// number of u and v (each found by following first terms down to a number
// node); hi + 1 when there is none. Operands kept.
int32_t select_prime(polynode* u, polynode* v, int32_t lo, int32_t span, int32_t hi, imag** table);

// ---- prime lists ----
// Pushes a new one-digit entry (machine word w, digit d) on the front of *list.
void insert_new_prime(int32_t w, int32_t d, imag** list);
// Inserts (p, d) into *list, kept in strictly decreasing order of the
// primes; nothing when p is already there.
void add_prime_to_list(imag** list, int32_t p, int32_t d);
// Every prime p >= 41 among the first 4,916 primes that divides n goes into
// *list with the value m mod p (0 .. p - 1). n is a digit number; it is
// made non-negative and every prime found is divided out of it, in place.
void add_all_to_list(imag** list, int32_t m, imag* n);

// A random non-zero residue derived from a random prime above prmx.
int32_t nextpr();

// The same list routines on a polynomial variable's auxiliary-prime list.
void add_prime_to_list(pt* rec, int32_t p, int32_t d);
void add_all_to_list(pt* rec, int32_t m, imag* n);

// *slot := a random element of the field tower from rec inward: at depth 0
// a random residue (a zero draw leaves the slot as it is), at depth k a
// polynomial below rec's mod-out degree whose coefficients are drawn at
// depth k - 1 with the next inner variable; no term gives null.
void random_field_element(polynode** slot, int k, pt* rec);

// x := the next number of chdat: a digit count, then that many digits, most
// significant first. x's old chain (count > 0) is given back first. A count
// below 1, or a read that fails, leaves x with that count (0 on failure)
// and no digits.
void direct_number_read(imag* x);
