// Arithmetic modulo word primes just below 2^62 and number-theoretic
// transforms over them: the images of the multi-modular products over Z.
// Private to the polynomial module's product files.
//
// Every prime is c * 2^25 + 1 with 2^61 < p < 2^62, so transforms of up to
// 2^25 points exist modulo each. Residues are kept in Montgomery form
// (x * 2^64 mod p) inside the transforms and as plain residues outside.
#pragma once
#include <cstdint>
#include <vector>

namespace wordprimes {

__extension__ typedef unsigned __int128 u128;

constexpr int32_t MAX_LOG_LENGTH = 25;   // longest transform: 2^25 points
constexpr int32_t PRIME_BITS = 61;       // every prime exceeds 2^61

struct Prime {
    uint64_t p;
    uint64_t ninv;   // -p^-1 mod 2^64
    uint64_t r2;     // 2^128 mod p
    uint64_t root;   // an element of order 2^25, Montgomery form

    uint64_t redc(u128 t) const {
        const uint64_t m = static_cast<uint64_t>(t) * ninv;
        const uint64_t r = static_cast<uint64_t>((t + static_cast<u128>(m) * p) >> 64);
        return r >= p ? r - p : r;
    }
    uint64_t mul(uint64_t a, uint64_t b) const { return redc(static_cast<u128>(a) * b); }
    uint64_t add(uint64_t a, uint64_t b) const {
        const uint64_t s = a + b;
        return s >= p ? s - p : s;
    }
    uint64_t sub(uint64_t a, uint64_t b) const { return a >= b ? a - b : a + p - b; }
    uint64_t to_mont(uint64_t a) const { return mul(a % p, r2); }
    uint64_t from_mont(uint64_t a) const { return redc(a); }
    uint64_t pow(uint64_t a, uint64_t e) const;   // Montgomery form in and out
    uint64_t inverse(uint64_t a) const;           // plain residue in and out, a != 0
};

// The first n primes, largest first (the same list on every call).
void first_primes(int32_t n, std::vector<Prime>& out);

// Primes below 2^50 (each above 2^49, c * 2^25 + 1 as well) for transforms
// on the processor's 52-bit multiply-add lanes; the first n, largest first.
constexpr int32_t SHORT_PRIME_BITS = 49;
void first_short_primes(int32_t n, std::vector<Prime>& out);
// The processor has those lanes (AVX-512 IFMA).
bool short_lanes_available();
// 1: transforms modulo the short primes run on the lanes when the
// processor has them; 0: never (a checking aid: the values are the same).
extern int32_t short_lanes;
// The lanes are there and allowed.
bool short_lanes_used();
// One transform level (len >= 8) on the lanes: Harvey's lazy butterflies
// with Shoup's quotients ws52 = floor(w 2^52 / p), p < 2^50.
void forward_level_short(uint64_t* a, int64_t n, int64_t len, const uint64_t* w, const uint64_t* ws52, uint64_t p);
void backward_level_short(uint64_t* a, int64_t n, int64_t len, const uint64_t* w, const uint64_t* ws52, uint64_t p);
// The levels len = 4, 2, 1 forward, 1, 2, 4 backward, at once (n >= 16).
void forward_last_levels_short(uint64_t* a, int64_t n, const uint64_t* w, const uint64_t* ws52, uint64_t p);
void backward_first_levels_short(uint64_t* a, int64_t n, const uint64_t* w, const uint64_t* ws52, uint64_t p);
// Pointwise on the lanes (n a multiple of 8, p < 2^50, pinv52 = -1/p mod
// 2^52): out := (g a - e b) k / 2^104 for values below 2p and k below p;
// z[i] := v[i] s_i / 2^52 fully reduced, for v below 4p, with s_i = s52[i]
// for i < 8 and s_(i+8) = s_i step52 / 2^52 (no step when step52 is 0),
// all below p.
void quotient_short(const uint64_t* g, const uint64_t* a, const uint64_t* e, const uint64_t* b, const uint64_t* k,
                    uint64_t* out, int64_t n, uint64_t p, uint64_t pinv52);
void scale_short(const uint64_t* v, uint64_t* z, int64_t n, const uint64_t* s52, uint64_t step52, uint64_t p,
                 uint64_t pinv52);

// z[0 .. na+nb-2] := x * y modulo q, operands and result as plain residues.
// Schoolbook for short operands, a transform otherwise; z may not overlap x
// or y. work is scratch kept by the caller between calls.
void convolution(const Prime& q, const uint64_t* x, int64_t na, const uint64_t* y, int64_t nb, uint64_t* z,
                 std::vector<uint64_t>& work);

// z[0 .. max(n1+m1, n2+m2)-2] := x1 * y1 - x2 * y2 modulo q by
// transforms (whatever the lengths), with one inverse transform for both
// products; the same conventions as convolution.
void combination(const Prime& q, const uint64_t* x1, int64_t n1, const uint64_t* y1, int64_t m1, const uint64_t* x2,
                 int64_t n2, const uint64_t* y2, int64_t m2, uint64_t* z, std::vector<uint64_t>& work);

// Transforms of n points (a power of 2, at most 2^25) modulo q (on the
// lanes for a short prime, when used), the twiddles made once for many
// operands: the values of a polynomial at
// c w^i, w of order n, c = 1 without twist, else a fixed element of no
// special form (a structured divisor, x - y say, can vanish at roots of
// unity; at c w^i it is as unlikely as anywhere).
class Transform {
  public:
    Transform(const Prime& q, int64_t n, bool twist);
    // The same length modulo another prime or with the other points, the
    // tables made again in place (no new memory).
    void reset(const Prime& q, bool twist);
    // out[0 .. n-1] := the values of x[0 .. len-1] (plain residues, len <= n).
    void forward(const uint64_t* x, int64_t len, uint64_t* out) const;
    // v := 1 / v pointwise, in the form quotient expects; false when some
    // value is 0 (v is then spoiled).
    bool invert(uint64_t* v) const;
    // out := (g a - e b) / d pointwise, dinv from invert; out may be g.
    void quotient(const uint64_t* g, const uint64_t* a, const uint64_t* e, const uint64_t* b, const uint64_t* dinv,
                  uint64_t* out) const;
    // z[0 .. n-1] := the plain coefficients of the values v (v is spoiled).
    void backward(uint64_t* v, uint64_t* z) const;

  private:
    const Prime* qp;
    int64_t n;
    int32_t log_n;
    bool twist;
    uint64_t c, c_inv;   // the twist and its inverse, Montgomery form
    std::vector<uint64_t> w, ws, iw, iws;
    std::vector<uint64_t> ws52, iws52;   // on the lanes (short primes) only
    mutable std::vector<uint64_t> prefix;   // invert's scratch
    void lane_powers(uint64_t c_mont, uint64_t start, uint64_t* powers, uint64_t* step) const;
};

// The least power of 2 not below points.
int64_t transform_points(int64_t points);

// Transform length (a power of 2) a product of na by nb terms would use,
// 0 when it stays schoolbook.
int64_t transform_length(int64_t na, int64_t nb);

}  // namespace wordprimes
