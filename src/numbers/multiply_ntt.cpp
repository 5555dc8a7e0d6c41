// Products of the longest digit numbers by number-theoretic transforms, in
// radix 2^28 or any other radix R <= 2^28 (the decimal conversion's 10^8):
// digits are grouped into coefficients, the cyclic convolution is taken
// modulo three primes just below 2^62 (each with 3 * 2^34 dividing p - 1),
// and the coefficients are rebuilt exactly by Chinese remaindering from
// their residues, below the primes' product of about 2^186.
//
// A coefficient is three digits (below 2^84) in radix 2^28 while the
// convolution's values stay below that product: one value of a product on
// N points sums at most N/2 + 1 terms below 2^168, so up to 2^18 points
// for one product, and 2^16 for sums of two signed products, which must
// stay within half of it. A wrapped (cyclic) product on N points sums all
// N terms in each value, so below N 2^168: within half of the product up
// to 2^16 points as well, whether read signed or not. Beyond, and in the
// other radix, it is two digits (below 2^56, each its own residue).
//
// A transform runs on 2^k or 3 * 2^k points, whichever is the shorter to
// carry the product: powers of two alone pad a product to up to twice its
// length. A transform on 3 * 2^k points is one pass of three-point
// butterflies and three transforms of 2^k points.
//
// Twiddle factors are multiplied in by Shoup's method (a precomputed
// quotient per constant), the pointwise products by Montgomery's; the
// Montgomery factor and 1/N are taken out together at the end.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "numbers/digits_impl.h"
#include "toplevel/errors.h"

namespace digits {

// Measured (bench_numbers nttcut): the shorter operand's length from which
// the transforms beat the products on words; the two run even from 1,000
// to 1,600 digits.
int32_t ntt_cut = 1500;

// Measured the same way: squares take the transforms from about 700 digits
// (600 slower, 800 faster).
int32_t ntt_square_cut = 800;

bool ntt_threes = true;
bool ntt_wide = true;

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;

// Kept by the thread: fresh buffers of this size come from the system
// each time, and their page faults cost as much as a transform's pass.
thread_local std::vector<u64> ntt_res;

u64 pow_mod(u64 b, u64 e, u64 p) {
    u64 r = 1;
    for (; e; e >>= 1) {
        if (e & 1) r = static_cast<u64>(static_cast<u128>(r) * b % p);
        b = static_cast<u64>(static_cast<u128>(b) * b % p);
    }
    return r;
}

// w' = floor(w 2^64 / p), for products by the constant w.
u64 shoup_of(u64 w, u64 p) { return static_cast<u64>((static_cast<u128>(w) << 64) / p); }

// x w mod p, for any x < 2^64 and w < p < 2^63.
inline u64 mul_shoup(u64 x, u64 w, u64 ws, u64 p) {
    const u64 q = static_cast<u64>((static_cast<u128>(x) * ws) >> 64);
    const u64 r = x * w - q * p;
    return r >= p ? r - p : r;
}

// The same in [0, 2p), one comparison saved.
inline u64 mul_shoup_lazy(u64 x, u64 w, u64 ws, u64 p) {
    const u64 q = static_cast<u64>((static_cast<u128>(x) * ws) >> 64);
    return x * w - q * p;
}

struct Prime {
    u64 p;
    u64 root;      // a primitive root
    u64 ninv;      // -1/p mod 2^64, for Montgomery products
    u64 r_mod;     // 2^64 mod p
    // Entry k: 2^64 / 2^k mod p and its Shoup quotient, the factor that
    // ends a transform of 2^k points (filled by prepare).
    std::vector<u64> scale, scales;
    // Twiddles: entry len + j holds w^j for w of order 2 len (forward and
    // inverse), for every power of two len below the table's size.
    std::vector<u64> fw, fws, iw, iws;
    // Transforms of 3m points (m a power of two): entry k holds, for
    // m = 2^k, the factors w^j and w^2j (j < m) for w of order 3m, and
    // their inverses, each followed by its Shoup quotient; and the end
    // factor 2^64 / 3m.
    struct Threes {
        std::vector<u64> f1, f1s, f2, f2s, i1, i1s, i2, i2s;
        u64 scale = 0, scales = 0;
    };
    std::vector<Threes> threes;
    u64 cube = 0, cubes = 0, icube = 0, icubes = 0;   // a cube root of unity and its inverse

    explicit Prime(u64 prime, u64 g) : p(prime), root(g) {
        u64 inv = p;   // Newton's iteration for 1/p mod 2^64 (p odd)
        for (int i = 0; i < 6; i++) inv *= 2 - p * inv;
        ninv = 0 - inv;
        r_mod = static_cast<u64>((static_cast<u128>(1) << 64) % p);
    }

    u64 add(u64 a, u64 b) const {
        const u64 s = a + b;
        return s >= p ? s - p : s;
    }
    u64 sub(u64 a, u64 b) const { return a >= b ? a - b : a + p - b; }
    // a b / 2^64 mod p, for a, b < 2p.
    u64 mont(u64 a, u64 b) const {
        const u128 t = static_cast<u128>(a) * b;
        const u64 m = static_cast<u64>(t) * ninv;
        const u64 r = static_cast<u64>((t + static_cast<u128>(m) * p) >> 64);
        return r >= p ? r - p : r;
    }

    // Makes the twiddle tables cover transforms of n points.
    void prepare(size_t n) {
        if (n % 3 == 0) {
            prepare_threes(n / 3);
            n /= 3;
        }
        prepare_twos(n);
    }

    void prepare_threes(size_t m) {
        int lg = 0;
        while ((size_t{1} << lg) < m) lg++;
        if (threes.size() > static_cast<size_t>(lg) && !threes[static_cast<size_t>(lg)].f1.empty()) return;
        if (threes.size() <= static_cast<size_t>(lg)) threes.resize(static_cast<size_t>(lg) + 1);
        if (!cube) {
            cube = pow_mod(root, (p - 1) / 3, p);
            icube = pow_mod(cube, 2, p);
            cubes = shoup_of(cube, p);
            icubes = shoup_of(icube, p);
        }
        Threes& t = threes[static_cast<size_t>(lg)];
        const u64 w = pow_mod(root, (p - 1) / (3 * m), p), wi = pow_mod(w, p - 2, p);
        for (auto* v : {&t.f1, &t.f1s, &t.f2, &t.f2s, &t.i1, &t.i1s, &t.i2, &t.i2s}) v->assign(m, 0);
        u64 x = 1, xi = 1;
        for (size_t j = 0; j < m; j++) {
            const u64 x2 = static_cast<u64>(static_cast<u128>(x) * x % p);
            const u64 xi2 = static_cast<u64>(static_cast<u128>(xi) * xi % p);
            t.f1[j] = x;
            t.f1s[j] = shoup_of(x, p);
            t.f2[j] = x2;
            t.f2s[j] = shoup_of(x2, p);
            t.i1[j] = xi;
            t.i1s[j] = shoup_of(xi, p);
            t.i2[j] = xi2;
            t.i2s[j] = shoup_of(xi2, p);
            x = static_cast<u64>(static_cast<u128>(x) * w % p);
            xi = static_cast<u64>(static_cast<u128>(xi) * wi % p);
        }
        t.scale = static_cast<u64>(static_cast<u128>(r_mod) * pow_mod((3 * m) % p, p - 2, p) % p);
        t.scales = shoup_of(t.scale, p);
    }

    // The factor 2^64 / n that ends a transform of n points, and its
    // Shoup quotient.
    void end_scale(size_t n, u64& c, u64& cs) const {
        const bool three = n % 3 == 0;
        if (three) n /= 3;
        int lg = 0;
        while ((size_t{1} << lg) < n) lg++;
        if (three) {
            c = threes[static_cast<size_t>(lg)].scale;
            cs = threes[static_cast<size_t>(lg)].scales;
        } else {
            c = scale[static_cast<size_t>(lg)];
            cs = scales[static_cast<size_t>(lg)];
        }
    }

    // x mod 2p for x < 4p.
    static u64 fold2(u64 x, u64 p2) { return x >= p2 ? x - p2 : x; }

    // One pass of three-point butterflies on a (3m points) in place:
    // (x0, x1, x2) at j, j + m, j + 2m become their transform on the cube
    // roots z^0, z^1, z^2 (z the cube root given), the second and third
    // times f^j and g^j. In and out in [0, 2p).
    void butterflies3(u64* a, size_t m, u64 z, u64 zs, const u64* f, const u64* fs, const u64* g,
                      const u64* gs) const {
        const u64 p2 = 2 * p;
        u64 *x = a, *y = a + m, *w = a + 2 * m;
        for (size_t j = 0; j < m; j++) {
            const u64 x0 = x[j], x1 = y[j], x2 = w[j];
            // With z^2 = -1 - z: x0 + z x1 + z^2 x2 = x0 - x2 + z (x1 - x2),
            // and x0 + z^2 x1 + z x2 = x0 - x1 - z (x1 - x2).
            const u64 u = mul_shoup_lazy(x1 + p2 - x2, z, zs, p);
            x[j] = fold2(x0 + fold2(x1 + x2, p2), p2);
            const u64 y1 = fold2(fold2(x0 + p2 - x2, p2) + u, p2);
            const u64 y2 = fold2(fold2(x0 + p2 - x1, p2) + p2 - u, p2);
            y[j] = mul_shoup_lazy(y1, f[j], fs[j], p);
            w[j] = mul_shoup_lazy(y2, g[j], gs[j], p);
        }
    }

    // The tables of the three-point layer above m = 2^k points.
    const Threes& threes_of(size_t m) const {
        int lg = 0;
        while ((size_t{1} << lg) < m) lg++;
        return threes[static_cast<size_t>(lg)];
    }

    // The forward transform on n points (2^k or 3 * 2^k), prepared; the
    // output order is the same for every operand, which is all the
    // pointwise products need.
    void forward_any(u64* a, size_t n) const {
        if (n % 3) {
            forward(a, n);
            return;
        }
        const size_t m = n / 3;
        const Threes& t = threes_of(m);
        butterflies3(a, m, cube, cubes, t.f1.data(), t.f1s.data(), t.f2.data(), t.f2s.data());
        for (int k = 0; k < 3; k++) forward(a + k * m, m);
    }

    // Undoes forward_any, leaving every value n times too large, in [0, 2p).
    void inverse_any(u64* a, size_t n) const {
        if (n % 3) {
            inverse(a, n);
            return;
        }
        const size_t m = n / 3;
        const Threes& t = threes_of(m);
        for (int k = 0; k < 3; k++) inverse(a + k * m, m);
        // The twiddles first, then the butterflies on the inverse root.
        const u64 p2 = 2 * p;
        u64 *y = a + m, *w = a + 2 * m;
        for (size_t j = 0; j < m; j++) {
            const u64 z1 = mul_shoup_lazy(y[j], t.i1[j], t.i1s[j], p);
            const u64 z2 = mul_shoup_lazy(w[j], t.i2[j], t.i2s[j], p);
            const u64 z0 = a[j];
            const u64 u = mul_shoup_lazy(z1 + p2 - z2, icube, icubes, p);
            a[j] = fold2(z0 + fold2(z1 + z2, p2), p2);
            y[j] = fold2(fold2(z0 + p2 - z2, p2) + u, p2);
            w[j] = fold2(fold2(z0 + p2 - z1, p2) + p2 - u, p2);
        }
    }

    void prepare_twos(size_t n) {
        if (fw.size() >= n) return;
        scale.clear();
        scales.clear();
        for (size_t m = 1; m <= n; m *= 2) {
            const u64 c = static_cast<u64>(static_cast<u128>(r_mod) * pow_mod(m % p, p - 2, p) % p);
            scale.push_back(c);
            scales.push_back(shoup_of(c, p));
        }
        fw.assign(n, 0);
        fws.assign(n, 0);
        iw.assign(n, 0);
        iws.assign(n, 0);
        for (size_t len = 1; len < n; len *= 2) {
            const u64 w = pow_mod(root, (p - 1) / (2 * len), p);
            const u64 wi = pow_mod(w, p - 2, p);
            u64 x = 1, xi = 1;
            for (size_t j = 0; j < len; j++) {
                fw[len + j] = x;
                fws[len + j] = shoup_of(x, p);
                iw[len + j] = xi;
                iws[len + j] = shoup_of(xi, p);
                x = static_cast<u64>(static_cast<u128>(x) * w % p);
                xi = static_cast<u64>(static_cast<u128>(xi) * wi % p);
            }
        }
    }

    // Decimation in frequency: natural order in, bit-reversed order out.
    // Values stay in [0, 2p) (4p < 2^64), reduced only where they would
    // leave it.
    void forward(u64* a, size_t n) const {
        const u64 p2 = 2 * p;
        for (size_t len = n / 2; len >= 1; len /= 2) {
            const u64* w = fw.data() + len;
            const u64* ws = fws.data() + len;
            for (size_t s = 0; s < n; s += 2 * len) {
                u64* x = a + s;
                u64* y = a + s + len;
                for (size_t j = 0; j < len; j++) {
                    const u64 u = x[j], v = y[j];
                    const u64 t = u + v;
                    x[j] = t >= p2 ? t - p2 : t;
                    y[j] = mul_shoup_lazy(u + p2 - v, w[j], ws[j], p);
                }
            }
        }
    }

    // Decimation in time with the inverse roots: bit-reversed order in,
    // natural order out, every value N times too large, in [0, 2p).
    void inverse(u64* a, size_t n) const {
        const u64 p2 = 2 * p;
        for (size_t len = 1; len < n; len *= 2) {
            const u64* w = iw.data() + len;
            const u64* ws = iws.data() + len;
            for (size_t s = 0; s < n; s += 2 * len) {
                u64* x = a + s;
                u64* y = a + s + len;
                for (size_t j = 0; j < len; j++) {
                    const u64 u = x[j], v = mul_shoup_lazy(y[j], w[j], ws[j], p);
                    const u64 t = u + v, d = u + p2 - v;
                    x[j] = t >= p2 ? t - p2 : t;
                    y[j] = d >= p2 ? d - p2 : d;
                }
            }
        }
    }
};

// The primes must exceed 2^56 (a coefficient is taken as its own residue)
// and stay below 2^62; each is within a factor 2 of the others. p - 1 is
// 3 * 2^34 * 277 * 323027, 3^3 * 2^36 * 2485513 and 3 * 2^35 * 7 * 11 * 581029,
// and the roots given are primitive roots.
thread_local Prime primes[3] = {Prime(4611685692009873409ull, 19), Prime(4611685125074190337ull, 5),
                                Prime(4611685021994975233ull, 5)};

// The twiddle tables grow with the largest transform made.
[[maybe_unused]] const bool scratch_noted = note_scratch([] {
    give_back(ntt_res);
    for (Prime& q : primes) q = Prime(q.p, q.root);
});

// Digits a coefficient holds in the narrow packing; the wide one holds
// kWideDigits.
constexpr int kCoefDigits = 2;
constexpr int kWideDigits = 3;
// Most points of a wide-packed transform whose results may be sums of two
// signed products, and of one that holds a single product.
constexpr size_t kWideSumPoints = size_t{1} << 16;
constexpr size_t kWideProductPoints = size_t{1} << 18;
// Most points of a wide-packed wrapped product.
constexpr size_t kWideWrapPoints = size_t{1} << 16;

size_t coefficients(int32_t n, int digits) { return static_cast<size_t>(n + digits - 1) / static_cast<size_t>(digits); }

// The fewest points, 2^k or 3 * 2^k, that carry `terms` coefficients.
size_t points_for(size_t terms) {
    size_t n = 1;
    while (n < terms) n *= 2;
    // 3 * 2^k between n / 2 and n: three quarters of n.
    if (ntt_threes && n >= 4 && 3 * (n / 4) >= terms) n = 3 * (n / 4);
    return n;
}

// The coefficients of a (na digits), `digits` to each, as residues in
// [0, 2p) under pr, zero-padded to n.
void pack(const uint32_t* a, int32_t na, u64 radix, int digits, const Prime& pr, u64* out, size_t n) {
    size_t i = 0;
    if (digits == kWideDigits) {
        // c = lo + hi 2^56, and 2^56 < p is its own residue.
        const u64 w = u64{1} << (2 * DIGIT_BITS), ws = shoup_of(w, pr.p);
        int32_t k = 0;
        for (; k + 2 < na; k += 3) {
            const u64 lo = a[k] | static_cast<u64>(a[k + 1]) << DIGIT_BITS;
            out[i++] = lo + mul_shoup(a[k + 2], w, ws, pr.p);
        }
        if (k < na) out[i++] = a[k] | (k + 1 < na ? static_cast<u64>(a[k + 1]) << DIGIT_BITS : 0);
    } else {
        for (int32_t k = 0; k + 1 < na; k += 2) out[i++] = a[k] + a[k + 1] * radix;
        if (na % 2) out[i++] = a[na - 1];
    }
    std::fill(out + i, out + n, u64{0});
}

// The low DIGIT_BITS bits of the 192-bit (w0, w1, w2), which is then
// shifted down by them (arithmetically: a negative value stays negative).
inline uint32_t take_digit(u64& w0, u64& w1, u64& w2) {
    const uint32_t d = static_cast<uint32_t>(w0) & DIGIT_MASK;
    w0 = w0 >> DIGIT_BITS | w1 << (64 - DIGIT_BITS);
    w1 = w1 >> DIGIT_BITS | w2 << (64 - DIGIT_BITS);
    w2 = static_cast<u64>(static_cast<int64_t>(w2) >> DIGIT_BITS);
    return d;
}

// The convolution modulo one prime into out (n points): a times b, or a
// squared when b is null.
void convolve(Prime& pr, const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, u64 radix, int digits,
              u64* out, std::vector<u64>& scratch, size_t n) {
    pack(a, na, radix, digits, pr, out, n);
    pr.forward_any(out, n);
    if (b) {
        pack(b, nb, radix, digits, pr, scratch.data(), n);
        pr.forward_any(scratch.data(), n);
        for (size_t i = 0; i < n; i++) out[i] = pr.mont(out[i], scratch[i]);
    } else {
        for (size_t i = 0; i < n; i++) out[i] = pr.mont(out[i], out[i]);
    }
    pr.inverse_any(out, n);
    // Undo both the Montgomery factor 2^-64 and the factor N.
    u64 c, cs;
    pr.end_scale(n, c, cs);
    for (size_t i = 0; i < n; i++) out[i] = mul_shoup(out[i], c, cs, pr.p);
}

// The constants of the Chinese remaindering, made once.
struct Garner {
    u64 p1 = primes[0].p, p2 = primes[1].p, p3 = primes[2].p;
    u64 i12 = pow_mod(p1 % p2, p2 - 2, p2), i12s = shoup_of(i12, p2);   // 1/p1 mod p2
    u64 p1m3 = p1 % p3, p1m3s = shoup_of(p1m3, p3);
    u64 i123 = pow_mod(static_cast<u64>(static_cast<u128>(p1m3) * (p2 % p3) % p3), p3 - 2, p3);  // 1/(p1 p2) mod p3
    u64 i123s = shoup_of(i123, p3);
    u64 p12lo = static_cast<u64>(static_cast<u128>(p1) * p2);
    u64 p12hi = static_cast<u64>((static_cast<u128>(p1) * p2) >> 64);
};

// w := w div d, returning w mod d, for the 192-bit w (three words, least
// significant first) and 0 < d < 2^64.
u64 divide_words(u64 w[3], u64 d) {
    u64 rem = 0;
    for (int i = 2; i >= 0; i--) {
        const u128 t = static_cast<u128>(rem) << 64 | w[i];
        w[i] = static_cast<u64>(t / d);
        rem = static_cast<u64>(t % d);
    }
    return rem;
}

// With wrap_points set (covering both operands' coefficients), the
// convolution is cyclic on that many points and r (L = wrap_points times
// the wrapped forms' digits to a coefficient) receives a * b mod (B^L - 1),
// B the digit base.
void transform_product(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r,
                       bool poll, uint32_t radix, size_t wrap_points = 0) {
    const bool square = a == b && na == nb;
    int digits = kCoefDigits;
    size_t terms = coefficients(na, digits) + coefficients(nb, digits) - 1;
    size_t n = points_for(terms);
    if (wrap_points) {
        terms = n = wrap_points;
        digits = ntt_form_digits(n, true);
    } else if (radix == DIGIT_BASE) {
        const size_t wide_terms = coefficients(na, kWideDigits) + coefficients(nb, kWideDigits) - 1;
        if (ntt_wide && points_for(wide_terms) <= kWideProductPoints) {
            digits = kWideDigits;
            terms = wide_terms;
            n = points_for(terms);
        }
    }

    std::vector<u64> res(3 * n), scratch(square ? 0 : n);
    for (int k = 0; k < 3; k++) {
        if (poll) poll_interrupt();
        primes[k].prepare(n);
        convolve(primes[k], a, na, square ? nullptr : b, nb, radix, digits, res.data() + k * n, scratch, n);
    }

    // Garner: c = r1 + p1 (k2 + p2 k3) with k2 < p2, k3 < p3.
    const Prime &P2 = primes[1], &P3 = primes[2];
    static const Garner g;
    const u64 p1 = g.p1, p2 = g.p2, p3 = g.p3, i12 = g.i12, i12s = g.i12s, p1m3 = g.p1m3, p1m3s = g.p1m3s,
              i123 = g.i123, i123s = g.i123s, p12lo = g.p12lo, p12hi = g.p12hi;

    const int32_t nr = wrap_points ? static_cast<int32_t>(static_cast<size_t>(digits) * n) : na + nb;
    u64 c0 = 0, c1 = 0, c2 = 0;   // the carry, 192 bits
    int32_t out = 0;
    for (size_t i = 0; i < terms || (!wrap_points && (c0 || c1 || c2)); i++) {
        u64 v0 = 0, v1 = 0, v2 = 0;
        if (i < terms) {
            const u64 r1 = res[i], r2 = res[n + i], r3 = res[2 * n + i];
            const u64 r1m2 = r1 >= p2 ? r1 - p2 : r1;
            const u64 k2 = mul_shoup(P2.sub(r2, r1m2), i12, i12s, p2);
            const u64 r1m3 = r1 >= p3 ? r1 - p3 : r1;
            const u64 low3 = P3.add(r1m3, mul_shoup(k2, p1m3, p1m3s, p3));
            const u64 k3 = mul_shoup(P3.sub(r3, low3), i123, i123s, p3);
            const u128 x = static_cast<u128>(k2) * p1 + r1;
            const u128 t0 = static_cast<u128>(k3) * p12lo + static_cast<u64>(x);
            const u128 t1 = static_cast<u128>(k3) * p12hi + static_cast<u64>(x >> 64) +
                            static_cast<u64>(t0 >> 64);
            v0 = static_cast<u64>(t0);
            v1 = static_cast<u64>(t1);
            v2 = static_cast<u64>(t1 >> 64);
        }
        const u128 s0 = static_cast<u128>(c0) + v0;
        const u128 s1 = static_cast<u128>(c1) + v1 + static_cast<u64>(s0 >> 64);
        const u64 w0 = static_cast<u64>(s0), w1 = static_cast<u64>(s1);
        const u64 w2 = c2 + v2 + static_cast<u64>(s1 >> 64);
        if (radix == DIGIT_BASE) {
            // The sum is below 2^193: its top word's sign bit is clear.
            c0 = w0;
            c1 = w1;
            c2 = w2;
            for (int d = 0; d < digits; d++) {
                const uint32_t digit = take_digit(c0, c1, c2);
                if (out < nr) r[out++] = digit;
            }
        } else {
            u64 w[3] = {w0, w1, w2};
            const u64 low = divide_words(w, static_cast<u64>(radix) * radix);
            if (out < nr) r[out++] = static_cast<uint32_t>(low % radix);
            if (out < nr) r[out++] = static_cast<uint32_t>(low / radix);
            c0 = w[0];
            c1 = w[1];
            c2 = w[2];
        }
    }
    std::fill(r + out, r + nr, 0u);
    // B^nr is 1 modulo B^nr - 1: what carried out of the top joins the bottom.
    while (wrap_points && (c0 || c1 || c2)) {
        uint32_t carry = 0;
        for (int32_t i = 0; i < nr && (c0 || c1 || c2 || carry); i++) {
            const uint32_t t = r[i] + static_cast<uint32_t>(c0 & DIGIT_MASK) + carry;
            r[i] = t & DIGIT_MASK;
            carry = t >> DIGIT_BITS;
            c0 = c0 >> DIGIT_BITS | c1 << (64 - DIGIT_BITS);
            c1 = c1 >> DIGIT_BITS | c2 << (64 - DIGIT_BITS);
            c2 >>= DIGIT_BITS;
        }
        c0 += carry;   // at most one more round, with a single unit
    }
}

// The signed sum s0 x0 y0 + s1 x1 y1 from transformed operands: the
// pointwise products added (or taken) under each prime, one inverse
// transform each, and the coefficients rebuilt as signed values, as the
// sum may cancel to anything in between.
int combine_forms(const NttForm& x0, const NttForm& y0, int s0, const NttForm* x1, const NttForm* y1, int s1,
                  Mag& r) {
    const size_t n = x0.n;
    const int digits = x0.digits;
    // Kept by the thread: fresh buffers of this size come from the system
    // each time, and their page faults cost as much as a transform's pass.
    // Nothing in here stops for an interrupt, so no other call can reach it.
    std::vector<u64>& res = ntt_res;
    if (res.size() < 3 * n) res.resize(3 * n);
    for (int k = 0; k < 3; k++) {
        const Prime& pr = primes[k];
        const u64* a = x0.v.data() + k * n;
        const u64* b = y0.v.data() + k * n;
        u64* out = res.data() + k * n;
        for (size_t i = 0; i < n; i++) {
            const u64 t = pr.mont(a[i], b[i]);
            out[i] = s0 < 0 ? pr.sub(0, t) : s0 > 0 ? t : 0;
        }
        if (x1 && s1) {
            const u64* c = x1->v.data() + k * n;
            const u64* d = y1->v.data() + k * n;
            for (size_t i = 0; i < n; i++) {
                const u64 t = pr.mont(c[i], d[i]);
                out[i] = s1 < 0 ? pr.sub(out[i], t) : pr.add(out[i], t);
            }
        }
        pr.inverse_any(out, n);
        u64 c, cs;
        pr.end_scale(n, c, cs);
        for (size_t i = 0; i < n; i++) out[i] = mul_shoup(out[i], c, cs, pr.p);
    }
    const Prime &P2 = primes[1], &P3 = primes[2];
    static const Garner g;
    // P = p1 p2 p3, for taking it from the residues that stand for negative
    // coefficients.
    u64 P0, P1, P2w;
    {
        const u128 t0 = static_cast<u128>(g.p12lo) * g.p3;
        const u128 t1 = static_cast<u128>(g.p12hi) * g.p3 + static_cast<u64>(t0 >> 64);
        P0 = static_cast<u64>(t0);
        P1 = static_cast<u64>(t1);
        P2w = static_cast<u64>(t1 >> 64);
    }
    r.resize(static_cast<size_t>(digits) * (n + 4));   // every digit is written below
    u64 c0 = 0, c1 = 0, c2 = 0;   // the signed carry, 192 bits in two's complement
    size_t out = 0;
    for (size_t i = 0; i < n || !((c0 == 0 && c1 == 0 && c2 == 0) || (~c0 == 0 && ~c1 == 0 && ~c2 == 0));
         i++) {
        u64 v0 = 0, v1 = 0, v2 = 0;
        if (i < n) {
            const u64 r1 = res[i], r2 = res[n + i], r3 = res[2 * n + i];
            const u64 r1m2 = r1 >= g.p2 ? r1 - g.p2 : r1;
            const u64 k2 = mul_shoup(P2.sub(r2, r1m2), g.i12, g.i12s, g.p2);
            const u64 r1m3 = r1 >= g.p3 ? r1 - g.p3 : r1;
            const u64 low3 = P3.add(r1m3, mul_shoup(k2, g.p1m3, g.p1m3s, g.p3));
            const u64 k3 = mul_shoup(P3.sub(r3, low3), g.i123, g.i123s, g.p3);
            const u128 x = static_cast<u128>(k2) * g.p1 + r1;
            const u128 t0 = static_cast<u128>(k3) * g.p12lo + static_cast<u64>(x);
            const u128 t1 = static_cast<u128>(k3) * g.p12hi + static_cast<u64>(x >> 64) + static_cast<u64>(t0 >> 64);
            v0 = static_cast<u64>(t0);
            v1 = static_cast<u64>(t1);
            v2 = static_cast<u64>(t1 >> 64);
            if (k3 > g.p3 / 2) {
                // v - P, far below zero's side of the midpoint: borrow through.
                const u128 d0 = static_cast<u128>(v0) - P0;
                const u64 b0 = static_cast<u64>(d0 >> 64) ? 1 : 0;
                const u128 d1 = static_cast<u128>(v1) - P1 - b0;
                const u64 b1 = static_cast<u64>(d1 >> 64) ? 1 : 0;
                v0 = static_cast<u64>(d0);
                v1 = static_cast<u64>(d1);
                v2 = v2 - P2w - b1;
            }
        }
        const u128 s0w = static_cast<u128>(c0) + v0;
        const u128 s1w = static_cast<u128>(c1) + v1 + static_cast<u64>(s0w >> 64);
        const u64 w0 = static_cast<u64>(s0w), w1 = static_cast<u64>(s1w);
        const u64 w2 = c2 + v2 + static_cast<u64>(s1w >> 64);
        // At most four rounds pass the n coefficients before the carry
        // (below 2^192) is spent: r has room for them.
        c0 = w0;
        c1 = w1;
        c2 = w2;
        for (int d = 0; d < digits; d++) r[out++] = take_digit(c0, c1, c2);
    }
    r.resize(out);
    int sign = 1;
    if (~c2 == 0) {
        // The sum is the digits less B^out: its magnitude is the complement.
        sign = -1;
        if (mag_len(r.data(), static_cast<int32_t>(r.size())) == 0) {
            r.push_back(1);
            return sign;
        }
        uint32_t borrow = 0;
        for (auto& d : r) {
            const uint32_t v = d + borrow;
            d = (DIGIT_BASE - v) & DIGIT_MASK;
            if (v) borrow = 1;
        }
    }
    r.resize(static_cast<size_t>(mag_len(r.data(), static_cast<int32_t>(r.size()))));
    return r.empty() ? 0 : sign;
}

}  // namespace

size_t ntt_points(int32_t na, int32_t nb) {
    const size_t wide = points_for(coefficients(na, kWideDigits) + coefficients(nb, kWideDigits) - 1);
    if (ntt_wide && wide <= kWideSumPoints) return wide;
    return points_for(coefficients(na, kCoefDigits) + coefficients(nb, kCoefDigits) - 1);
}

int ntt_form_digits(size_t points, bool wrapped) {
    return ntt_wide && points <= (wrapped ? kWideWrapPoints : kWideSumPoints) ? kWideDigits : kCoefDigits;
}

size_t ntt_wrap_points(int32_t l_min) {
    const size_t wide = points_for(coefficients(l_min, kWideDigits));
    if (ntt_wide && wide <= kWideWrapPoints) return wide;
    return points_for(coefficients(l_min, kCoefDigits));
}

int32_t ntt_wrap_digits(size_t points) {
    return static_cast<int32_t>(points) * ntt_form_digits(points, true);
}

void ntt_form(const uint32_t* a, int32_t na, size_t points, NttForm& f, bool wrapped) {
    f.n = points;
    f.digits = ntt_form_digits(points, wrapped);
    f.v.resize(3 * points);
    for (int k = 0; k < 3; k++) {
        primes[k].prepare(points);
        pack(a, na, DIGIT_BASE, f.digits, primes[k], f.v.data() + k * points, points);
        primes[k].forward_any(f.v.data() + k * points, points);
    }
}

int ntt_sum_of_products(const NttForm& x0, const NttForm& y0, int s0, const NttForm* x1, const NttForm* y1,
                        int s1, Mag& r) {
    return combine_forms(x0, y0, s0, x1, y1, s1, r);
}

void mag_mul_ntt(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r,
                 bool poll, uint32_t radix) {
    transform_product(a, na, b, nb, r, poll, radix);
}

void mag_mul_ntt_wrapped(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r,
                         size_t points, bool poll) {
    transform_product(a, na, b, nb, r, poll, DIGIT_BASE, points);
}

}  // namespace digits
