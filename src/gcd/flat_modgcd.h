// Multivariate gcd modulo a word-size prime on flat term arrays.
//
// The evaluation/interpolation method of interp_gcd.h, run from start to
// finish on plain arrays of residues: the outermost variable is replaced by
// points, the image gcds come from the same routine one variable further
// in, down to a dense one-variable Euclid, and the gcd is rebuilt by
// incremental Newton interpolation from as many points as a degree bound
// asks for. No polynomial records are made on the way, which is
// what makes dense problems fast; a gcd is then converted back once.
// When the images are sparse next to the box of their degrees, the first
// image of a level fixes their support and the later ones are solved for
// from one-variable images alone.
//
// The answer is a gcd with high probability only: the callers prove it (by
// division, or through the integer operands) and fall back to the general
// road when the proof fails or the routine declines.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/records.h"

struct pt;

namespace flatgcd {

// Arithmetic modulo an odd prime p < 2^31 (products reduced by Barrett's
// method: no division instruction in the inner loops).
struct Field {
    uint32_t p = 0;
    uint64_t m = 0;   // floor(2^64 / p)
    explicit Field(uint32_t prime);
    uint32_t reduce(uint64_t x) const {
        uint64_t q = static_cast<uint64_t>((static_cast<unsigned __int128>(x) * m) >> 64);
        uint64_t r = x - q * p;
        return static_cast<uint32_t>(r >= p ? r - p : r);
    }
    uint32_t mul(uint32_t a, uint32_t b) const { return reduce(static_cast<uint64_t>(a) * b); }
    uint32_t add(uint32_t a, uint32_t b) const {
        uint32_t s = a + b;
        return s >= p ? s - p : s;
    }
    uint32_t sub(uint32_t a, uint32_t b) const { return a >= b ? a - b : a + p - b; }
    uint32_t neg(uint32_t a) const { return a == 0 ? 0 : p - a; }
    uint32_t inv(uint32_t a) const;   // a != 0
};

// A polynomial in nvars variables, outermost first: terms in strictly
// decreasing lexicographic order of their exponent vectors, coefficients
// in 1 .. p - 1. Zero has no terms.
struct FlatPoly {
    int32_t nvars = 0;
    std::vector<int32_t> exps;     // nvars per term
    std::vector<uint32_t> coefs;
    size_t terms() const { return coefs.size(); }
    const int32_t* exp(size_t i) const { return exps.data() + i * static_cast<size_t>(nvars); }
    void push(const int32_t* e, uint32_t c) {
        for (int32_t k = 0; k < nvars; k++) exps.push_back(e[k]);
        coefs.push_back(c);
    }
};

// Why gcd() gave no answer.
enum class Outcome { ok, no_points, unlucky, too_much_work };

// How the images at the second and later points of a level are found:
// by the dense recursion, or from the first image's support by sparse
// interpolation (see flat_modgcd.cpp). `automatic` weighs the two.
enum class SparseUse { automatic, never, always };

// What the images of a call came from (for measurement and tests).
struct Counts {
    int64_t sparse_images = 0;    // solved from a support
    int64_t scaled_images = 0;    // of which with the multipliers solved for
    int64_t work = 0;             // residue operations spent
    int64_t sparse_failures = 0;  // supports given up for dense images
};

struct Limits {
    int64_t work = 400000000;   // residue operations before giving up
    uint64_t seed = 1;          // the choice of points
    SparseUse sparse = SparseUse::automatic;
    Counts* counts = nullptr;   // added to when not null
};

// About the residue operations a dense run of gcd() on u and v takes: a
// point for each degree of the gcd in every variable but the innermost,
// the operands evaluated there and a one-variable Euclid in the innermost.
// A budget in proportion to it lets large problems through that the road
// still does well, and stops only runs that go past their size (capped
// near 2^50).
int64_t dense_work(const FlatPoly& u, const FlatPoly& v);

// The monic gcd of u and v (both non-zero, same nvars >= 1) in *g: its
// lexicographically leading coefficient is 1.
Outcome gcd(const FlatPoly& u, const FlatPoly& v, const Field& F, FlatPoly* g, Limits limits = {});

// The monic gcd of u and v when its support is that of `shape` (a gcd of
// the same operands found before, modulo another prime, say): solved from
// one-variable images alone, every variable but one set to powers of a
// point. unlucky when the support does not fit (an equation fails) or
// there are fewer than two variables.
Outcome gcd_like(const FlatPoly& u, const FlatPoly& v, const FlatPoly& shape, const Field& F, FlatPoly* g,
                 Limits limits = {});

}  // namespace flatgcd

// The terms of p (current modular ring, prime modulus) over the levels
// from rec's inward; false (out untouched) when p has a negative exponent.
bool flatten_residues(const polynode* p, pt* rec, flatgcd::FlatPoly* out);

// The same for an integer polynomial (digit numbers, the ring in integer
// mode), its numbers reduced modulo the odd prime q.
bool flatten_integers(const polynode* p, pt* rec, uint32_t q, flatgcd::FlatPoly* out);

// Some exponent of f is past what the routine's one-variable Euclid is for
// (the half-gcd of the general road takes such gcds).
bool flat_too_long(const flatgcd::FlatPoly& f);

// The polynomial of the current ring with these terms, in the level shape
// of the records they were read from (zero for no terms).
polynode* poly_from_flat(const flatgcd::FlatPoly& f);

// How flat_mod_gcd and flat_integer_image find their images
// (SparseUse::automatic unless a test forces a road).
extern flatgcd::SparseUse flat_sparse_use;

// The gcd of u and v over the current prime field by the flat routine,
// with rec the operands' top-level variable: 1 with the monic gcd in
// *result, 0 when the routine does not apply or declines. The answer is not
// checked here.
int flat_mod_gcd(polynode* u, polynode* v, polynode** result, pt* rec);

// The gcd modulo the prime p of two integer polynomials (digit numbers, the
// ring in integer mode), read straight off their digits: nothing is
// converted. With `shape` (an earlier image's terms over the same levels),
// on that support alone and within `budget` residue operations (0: the
// usual budget). 1 with the monic gcd in *g,
// 0 when the routine does not apply or declines; *spent (when given): the
// work it took.
int flat_integer_image(polynode* u, polynode* v, int32_t p, pt* rec, const flatgcd::FlatPoly* shape, int64_t budget,
                       flatgcd::FlatPoly* g, int64_t* spent);
