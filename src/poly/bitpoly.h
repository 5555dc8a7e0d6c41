// Polynomials over GF(2) packed 64 coefficients to a word: coefficient k
// is bit k % 64 of word k / 64. A value is kept trimmed (no zero top word),
// so zero is the empty vector and the degree is read off the top word.
//
// Products multiply whole words carry-free (the processor's instruction
// where it has one, a table method otherwise) with Karatsuba above a few
// words; squaring only spreads the bits apart. Remainders modulo a fixed
// polynomial cost two products (a precomputed quotient of x^(2n)), or a few
// shifted sums when the polynomial has few terms.
#pragma once
#include <cstdint>
#include <vector>

namespace bitpoly {

using Bits = std::vector<uint64_t>;

// Products by the portable table method even where the processor has
// carry-less products (for checking the one against the other).
void use_portable_products(bool on);

void trim(Bits& a);
// -1 for zero.
int32_t degree(const Bits& a);
inline bool is_one(const Bits& a) { return a.size() == 1 && a[0] == 1; }
// x^k.
Bits monomial(int32_t k);
// a += b, both trimmed; a trimmed after.
void add_to(Bits& a, const Bits& b);

Bits mul(const Bits& a, const Bits& b);
Bits square(const Bits& a);
// floor(a / x^k) and a mod x^k.
Bits shift_down(const Bits& a, int32_t k);
Bits low_part(const Bits& a, int32_t k);

// a mod b by shifted sums (b non-zero); with q, the quotient into *q.
Bits rem_plain(Bits a, const Bits& b, Bits* q = nullptr);
Bits gcd(Bits a, Bits b);

// Arithmetic modulo a fixed f of degree n >= 1.
class BitMod {
public:
    explicit BitMod(Bits f);
    int32_t n() const { return n_; }
    const Bits& f() const { return f_; }
    // a mod f, for a of degree below 2n.
    Bits reduce(Bits a) const;
    // a mod f for any a.
    Bits reduce_any(const Bits& a) const;
    Bits mul(const Bits& a, const Bits& b) const { return reduce(bitpoly::mul(a, b)); }
    Bits square(const Bits& a) const { return reduce(bitpoly::square(a)); }

private:
    Bits f_;
    int32_t n_;
    Bits mu_;                        // floor(x^(2n) / f), when f has many terms
    std::vector<int32_t> low_terms_; // the exponents below n, when few
};

}  // namespace bitpoly
