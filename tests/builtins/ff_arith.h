// The factoring tests' own arithmetic on one-variable polynomials over the
// current finite field (residues modulo a prime, or GF(2^8) / GF(2^16)
// through the independent products of support/field_ref), lowest degree
// first, and the irreducibility proofs built on it: Berlekamp's matrix
// (rank(Q - I) = deg f - 1 for a square-free f) and, for tiny fields, trial
// division by every monic polynomial up to half the degree.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "storage/records.h"

using UPoly = std::vector<uint64_t>;

uint64_t field_size();     // p, 256 or 65,536
uint64_t f_mul(uint64_t a, uint64_t b);
uint64_t f_add(uint64_t a, uint64_t b);
uint64_t f_sub(uint64_t a, uint64_t b);
uint64_t f_inv(uint64_t a);

void trim(UPoly& a);
UPoly mul(const UPoly& a, const UPoly& b);
UPoly rem(UPoly a, const UPoly& b);
UPoly gcd(UPoly a, UPoly b);        // monic
UPoly deriv(const UPoly& a);
UPoly monic(UPoly a);
UPoly scale(UPoly a, uint64_t c);
UPoly upow(const UPoly& a, int k);
int deg(const UPoly& a);           // -1 for 0

// x^n mod f for a huge n given as a machine word.
UPoly x_power_mod(uint64_t n, const UPoly& f);
bool is_irreducible(const UPoly& f);
// A random monic polynomial of degree d; a random monic irreducible of degree d.
UPoly random_monic(int d, uint64_t (*draw)());
UPoly random_irreducible(int d, uint64_t (*draw)());

// Conversions with the system's polynomials in one variable.
polynode* to_poly(const UPoly& a);
UPoly from_poly(const polynode* p);
std::string to_text(const UPoly& a);
