// Polynomials over Z/p (p an odd prime below 2^31) as arrays of residues,
// word i the coefficient of x^i, and the arithmetic modulo a fixed monic f
// that the distinct-degree factoring needs at high degree: products by
// number-theoretic transforms, remainders by a precomputed inverse of f
// (no long division), and composition g(h) mod f by a table of powers of h.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace modf_words {

using Words = std::vector<uint32_t>;

// out := a b mod p (na + nb - 1 words; na, nb >= 1). Schoolbook for short
// operands, transforms otherwise.
void product(const uint32_t* a, int64_t na, const uint32_t* b, int64_t nb, uint32_t p, Words& out);

// Arithmetic modulo the monic f of degree n >= 1: every residue class held
// as its n words of degree below n.
struct ModF {
    uint32_t p;
    int32_t n;
    Words f;      // n + 1 words, f[n] = 1
    Words rinv;   // 1 / (x^n f(1/x)) mod x^(n-1), at least one word
    ModF(const Words& monic, uint32_t prime);
    ~ModF();
    ModF(const ModF&) = delete;
    ModF& operator=(const ModF&) = delete;
    // r := c mod f, c of len <= 2n - 1 words (r n words; r may not be c).
    void reduce(const uint32_t* c, int64_t len, uint32_t* r) const;
    // r := a b mod f (r may be a or b).
    void mul(const uint32_t* a, const uint32_t* b, uint32_t* r) const;
    // r := a^e mod f, e >= 1 (r may be a).
    void power(const uint32_t* a, uint64_t e, uint32_t* r) const;
    // r := x^e mod f.
    void x_power(uint64_t e, uint32_t* r) const;

  private:
    // The transforms of f and rinv, made once, for a long f.
    struct Images;
    std::unique_ptr<Images> im;
};

// h^0 .. h^(k-1) mod f and h^k mod f, for composing many g with one h.
struct PowerTable {
    int32_t k = 0;
    Words rows;   // k rows of n words
    Words top;    // h^k mod f
    PowerTable(const ModF& m, const uint32_t* h, int32_t k);
};

// r := g(h) mod f for g of n words, h the table's (r may be g).
void compose(const ModF& m, const PowerTable& t, const uint32_t* g, uint32_t* r);

// a := a mod g for a of len words, g monic of degree dg >= 1 (schoolbook);
// returns the degree of the remainder (-1 for zero).
int32_t remainder(uint32_t* a, int64_t len, const uint32_t* g, int32_t dg, uint32_t p);

}  // namespace modf_words
