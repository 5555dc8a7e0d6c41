// Polynomials for tests: built from a list of terms in the current ground
// ring, read back as a sorted list of terms, and checked against every shape
// rule of the representation. Quolys are checked for the parts of their
// normal form that need no polynomial gcd.
//
//   polynode* p = build_poly(2, {{3, {2, 1}}, {"-123456789012345678901", {0, 0}}});
//   EXPECT_TRUE(check_poly_shape(p, 2));
//   EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{3, {2, 1}}, ...}));
#pragma once
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "storage/records.h"

// One term: coefficient times x1^e1 ... xn^en, x1 the outermost variable.
struct Term {
    mpz_class coef;
    std::vector<int32_t> exps;

    Term() = default;
    Term(int c, std::vector<int32_t> e);
    Term(long c, std::vector<int32_t> e);
    Term(long long c, std::vector<int32_t> e);
    Term(const char* decimal, std::vector<int32_t> e);
    Term(const std::string& decimal, std::vector<int32_t> e);
    Term(mpz_class c, std::vector<int32_t> e);

    bool operator==(const Term& o) const { return coef == o.coef && exps == o.exps; }
};
using TermList = std::vector<Term>;

std::ostream& operator<<(std::ostream& os, const Term& t);
std::string terms_to_string(const TermList& terms);

// The terms as the ground ring holds them: coefficients reduced to residues
// 0 .. modulus-1 in modular mode (kept as integers otherwise), like terms
// combined, zero terms dropped, sorted by exponent vector, greatest first
// (lexicographic, outermost variable first). Every exponent vector must have
// nvars entries.
TermList canonical_terms(int nvars, const TermList& terms);

// A fresh polynomial in nvars variables with the value of the terms, in the
// current ground ring, built by hand from the allocators (not by the
// routines under test) following every shape rule. Big-integer
// coefficients become digit numbers; in machine-integer mode a coefficient
// must fit the value word. Negative exponents need `laurent`. An empty or
// all-zero list gives the zero polynomial. Free the result with free_poly.
polynode* build_poly(int nvars, const TermList& terms);

// The terms of p, in canonical order (see canonical_terms); zero
// coefficients are skipped, so the zero polynomial reads as an empty list.
// Values are read the way the ground ring holds them: digit chains outside
// machine-integer mode, the value word inside it. Check the shape first.
TermList read_poly(const polynode* p, int nvars);

// Every shape rule: strictly decreasing exponents along each level; number
// nodes have exponent 0 and stand alone or as the last non-negative term of
// their level; a non-zero exponent never carries a number directly; no
// exponent-0 wrapper around a lone number; zero only as the whole
// polynomial (one number node holding 0), never as a term; no level deeper
// than nvars; negative exponents only with `laurent`; no node reached twice;
// every number well formed for the ground ring (check_number on digit
// numbers, 0 <= residue < modulus in modular mode). Missing padding of an
// absent outer variable is not a shape fault on its own (the result reads as
// a polynomial in other variables): compare read_poly with the value.
::testing::AssertionResult check_poly_shape(const polynode* p, int nvars);

// The normal-form rules that need no gcd: a number quoly has isnum 1 and a
// well-formed number; a polynomial quoly has a numerator that is neither a
// lone number without denominator (that is a number quoly) nor zero, and a
// denominator, when present, that is not the constant 1 or 0; a rational
// (rat 1, digit mode only) has one-node numbers as numerator and
// denominator, the denominator at least 2, the sign on the numerator and
// gcd(numerator, denominator) = 1. With nvars >= 0 the numerator and
// denominator are also checked by check_poly_shape.
::testing::AssertionResult check_quoly_normal(const quoly* q, int nvars = -1);

// Single nodes built by hand, for tests that need a shape the builder
// would not make: a number node (exponent 0) holding v, and a non-number
// term node of exponent exp over coef.
polynode* number_node(const mpz_class& v, polynode* next = nullptr);
polynode* term_node(int32_t exp, polynode* coef, polynode* next = nullptr);

// A number record holding the machine word v (machine-integer and modular
// mode).
imag* word_number(int32_t v);

// The value of a lone number node's number (or any number record) as the
// ground ring holds it.
mpz_class number_value(const imag* x);

// The value of a number or rational quoly.
mpq_class quoly_value(const quoly* q);
// q is in normal form with the value want: a plain number quoly (no
// denominator word) exactly when want is an integer, else a rational.
::testing::AssertionResult holds(const quoly* q, const mpq_class& want);

// Polynomial variables x, y, z, ... attached by hand for the scope of the
// object (`attached` records, number_polys := counted, default the same;
// no mod-out relations); the old list comes back at the end of the scope.
struct AttachedVars {
    struct pt* saved;
    int32_t count;
    struct pt* pseudo;
    explicit AttachedVars(int attached, int counted = -1);
    ~AttachedVars();
    AttachedVars(const AttachedVars&) = delete;
    AttachedVars& operator=(const AttachedVars&) = delete;
};

// A polynomial owned by a test, freed at the end of the scope.
struct HeldPoly {
    polynode* p = nullptr;
    HeldPoly() = default;
    explicit HeldPoly(polynode* x) : p(x) {}
    ~HeldPoly();
    HeldPoly(const HeldPoly&) = delete;
    HeldPoly& operator=(const HeldPoly&) = delete;
};

// A polynomial built from terms (or taken over) and freed at the end of the
// scope; it stands wherever a polynode* is read.
struct BuiltPoly {
    polynode* p;
    BuiltPoly(int nvars, const TermList& t) : p(build_poly(nvars, t)) {}
    explicit BuiltPoly(polynode* q) : p(q) {}
    ~BuiltPoly();
    BuiltPoly(const BuiltPoly&) = delete;
    BuiltPoly& operator=(const BuiltPoly&) = delete;
    operator polynode*() const { return p; }
};
