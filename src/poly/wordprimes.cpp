// Word primes below 2^62, Montgomery products modulo them, and the
// convolution of residue arrays: schoolbook for short operands, else a
// number-theoretic transform (decimation in frequency forward, in time
// backward, so no bit-reversal pass is needed).
#include "poly/wordprimes_impl.h"

#include <algorithm>

#include "numbers/prime64.h"

namespace wordprimes {

namespace {

constexpr uint64_t CLASS_STEP = uint64_t{1} << MAX_LOG_LENGTH;

// A product of na by nb terms costs na * nb Montgomery products by the
// schoolbook convolution, about SCHOOLBOOK_RATIO times fewer per term than
// a transform's butterflies per point and level (measured).
constexpr int64_t SCHOOLBOOK_SHORT = 24;

Prime make_prime(uint64_t p) {
    Prime q{};
    q.p = p;
    uint64_t inv = p;   // p * p = 1 mod 8: three bits to start Newton with
    for (int i = 0; i < 5; i++) inv *= 2 - p * inv;
    q.ninv = ~inv + 1;
    const uint64_t r = static_cast<uint64_t>((static_cast<u128>(1) << 64) % p);
    q.r2 = static_cast<uint64_t>(static_cast<u128>(r) * r % p);
    return q;
}

std::vector<Prime>& prime_table(bool short_family) {
    static std::vector<Prime> table[2];
    return table[short_family ? 1 : 0];
}

// Twiddles of every level with their Shoup quotients: w[len + j] = r^j for
// an element r of order 2 len, j < len, for len = 1, 2, 4, .. n/2, as plain
// residues, and ws[i] = floor(w[i] 2^64 / p).
void twiddles(const Prime& q, int32_t log_n, bool inverse, std::vector<uint64_t>& w, std::vector<uint64_t>& ws) {
    const int64_t n = int64_t{1} << log_n;
    w.resize(static_cast<size_t>(n));
    ws.resize(static_cast<size_t>(n));
    if (n < 2) return;
    uint64_t r = q.root;   // order 2^25, Montgomery form
    for (int32_t i = log_n; i < MAX_LOG_LENGTH; i++) r = q.mul(r, r);   // order n
    if (inverse) r = q.pow(r, (int64_t{1} << log_n) - 1);
    // The top level's powers; r_len, the element of order 2 len, is
    // r^(n / (2 len)), so every lower level is every other entry of the
    // level above it.
    const int64_t half = n / 2;
    uint64_t x = q.to_mont(1);
    for (int64_t j = 0; j < half; j++) {
        w[half + j] = q.from_mont(x);
        // floor(w 2^64 / p) = (w 2^64 - (w 2^64 mod p)) / p, an exact
        // division: the remainder is x itself, and -x / p mod 2^64 = x ninv.
        ws[half + j] = x * q.ninv;
        x = q.mul(x, r);
    }
    for (int64_t len = half / 2; len >= 1; len /= 2)
        for (int64_t j = 0; j < len; j++) {
            w[len + j] = w[2 * len + 2 * j];
            ws[len + j] = ws[2 * len + 2 * j];
        }
}

// The inverse transform's twiddles from the forward ones: r^-j = -r^(len - j)
// at the level of r of order 2 len, and floor((p - w) 2^64 / p) is
// floor(w 2^64 / p) with its bits flipped (w 2^64 / p is never an integer).
void inverse_twiddles(const Prime& q, const std::vector<uint64_t>& w, const std::vector<uint64_t>& ws,
                      std::vector<uint64_t>& iw, std::vector<uint64_t>& iws) {
    iw.resize(w.size());
    iws.resize(ws.size());
    const int64_t n = static_cast<int64_t>(w.size());
    for (int64_t len = n / 2; len >= 1; len /= 2) {
        iw[len] = w[len];
        iws[len] = ws[len];
        for (int64_t j = 1; j < len; j++) {
            iw[len + j] = q.p - w[2 * len - j];
            iws[len + j] = ~ws[2 * len - j];
        }
    }
}

// a w mod p in 0 .. 2p - 1 for any 64-bit a (Shoup's product with the
// precomputed quotient ws of w).
inline uint64_t shoup(uint64_t a, uint64_t w, uint64_t ws, uint64_t p) {
    const uint64_t qh = static_cast<uint64_t>((static_cast<u128>(a) * ws) >> 64);
    return a * w - qh * p;
}

// Harvey's lazy butterflies: values stay in 0 .. 2p - 1 forward and
// 0 .. 4p - 1 backward (p < 2^62), reduced once at the end.
inline void forward_level(uint64_t* a, int64_t n, int64_t len, const uint64_t* w, const uint64_t* ws, uint64_t p) {
    const uint64_t p2 = 2 * p;
    const uint64_t* wl = w + len;
    const uint64_t* wsl = ws + len;
    for (int64_t s = 0; s < n; s += 2 * len) {
        uint64_t* x = a + s;
        uint64_t* y = a + s + len;
        for (int64_t j = 0; j < len; j++) {
            const uint64_t u = x[j], v = y[j];
            const uint64_t t = u + v;
            x[j] = t >= p2 ? t - p2 : t;
            y[j] = shoup(u - v + p2, wl[j], wsl[j], p);
        }
    }
}

inline void backward_level(uint64_t* a, int64_t n, int64_t len, const uint64_t* w, const uint64_t* ws, uint64_t p) {
    const uint64_t p2 = 2 * p;
    const uint64_t* wl = w + len;
    const uint64_t* wsl = ws + len;
    for (int64_t s = 0; s < n; s += 2 * len) {
        uint64_t* x = a + s;
        uint64_t* y = a + s + len;
        for (int64_t j = 0; j < len; j++) {
            uint64_t u = x[j];
            if (u >= p2) u -= p2;
            const uint64_t v = shoup(y[j], wl[j], wsl[j], p);
            x[j] = u + v;
            y[j] = u - v + p2;
        }
    }
}

// Past this many points a transform's levels no longer run in the core's
// own cache: the outer levels split the array in halves, each transformed
// whole (all its levels) before the next, so that only those outer levels
// stream through memory.
constexpr int64_t CACHE_POINTS = int64_t{1} << 15;

// ws52: the lanes' quotients for a short prime, or null.
void forward(const Prime& q, uint64_t* a, int64_t n, const uint64_t* w, const uint64_t* ws, const uint64_t* ws52 = nullptr) {
    if (n > CACHE_POINTS) {
        if (ws52)
            forward_level_short(a, n, n / 2, w, ws52, q.p);
        else
            forward_level(a, n, n / 2, w, ws, q.p);
        forward(q, a, n / 2, w, ws, ws52);
        forward(q, a + n / 2, n / 2, w, ws, ws52);
        return;
    }
    for (int64_t len = n / 2; len >= 1; len /= 2) {
        if (ws52 && len == 4 && n >= 16) {
            forward_last_levels_short(a, n, w, ws52, q.p);
            break;
        }
        if (ws52 && len >= 8)
            forward_level_short(a, n, len, w, ws52, q.p);
        else
            forward_level(a, n, len, w, ws, q.p);
    }
}

void backward(const Prime& q, uint64_t* a, int64_t n, const uint64_t* w, const uint64_t* ws, const uint64_t* ws52 = nullptr) {
    if (n > CACHE_POINTS) {
        backward(q, a, n / 2, w, ws, ws52);
        backward(q, a + n / 2, n / 2, w, ws, ws52);
        if (ws52)
            backward_level_short(a, n, n / 2, w, ws52, q.p);
        else
            backward_level(a, n, n / 2, w, ws, q.p);
        return;
    }
    int64_t len = 1;
    if (ws52 && n >= 16) {
        backward_first_levels_short(a, n, w, ws52, q.p);
        len = 8;
    }
    for (; len < n; len *= 2) {
        if (ws52 && len >= 8)
            backward_level_short(a, n, len, w, ws52, q.p);
        else
            backward_level(a, n, len, w, ws, q.p);
    }
}

int32_t log2_ceil(int64_t n) {
    int32_t k = 0;
    while ((int64_t{1} << k) < n) k++;
    return k;
}

}  // namespace

uint64_t Prime::pow(uint64_t a, uint64_t e) const {
    uint64_t r = to_mont(1);
    while (e) {
        if (e & 1) r = mul(r, a);
        a = mul(a, a);
        e >>= 1;
    }
    return r;
}

uint64_t Prime::inverse(uint64_t a) const { return from_mont(pow(to_mont(a), p - 2)); }

namespace {

// Candidates c 2^25 + 1 from just below 2^top downwards.
void first_of_family(int32_t n, std::vector<Prime>& out, bool short_family) {
    std::vector<Prime>& table = prime_table(short_family);
    const int32_t top = short_family ? SHORT_PRIME_BITS + 1 : 62;
    uint64_t c = table.empty() ? (uint64_t{1} << (top - MAX_LOG_LENGTH)) - 1 : (table.back().p - 1) / CLASS_STEP - 1;
    while (static_cast<int32_t>(table.size()) < n) {
        const uint64_t p = c * CLASS_STEP + 1;
        c--;
        if (!is_prime64(p)) continue;
        Prime q = make_prime(p);
        const uint64_t minus_one = q.to_mont(p - 1);
        for (uint64_t g = 3;; g++) {
            const uint64_t gm = q.to_mont(g);
            if (q.pow(gm, (p - 1) / 2) == minus_one) {
                q.root = q.pow(gm, (p - 1) / CLASS_STEP);
                break;
            }
        }
        table.push_back(q);
    }
    out.assign(table.begin(), table.begin() + n);
}

}  // namespace

void first_primes(int32_t n, std::vector<Prime>& out) { first_of_family(n, out, false); }
void first_short_primes(int32_t n, std::vector<Prime>& out) { first_of_family(n, out, true); }

int32_t short_lanes = 1;
bool short_lanes_used() { return short_lanes != 0 && short_lanes_available(); }

int64_t transform_length(int64_t na, int64_t nb) {
    if (std::min(na, nb) < SCHOOLBOOK_SHORT) return 0;
    const int32_t k = log2_ceil(na + nb - 1);
    const int64_t n = int64_t{1} << k;
    // Three transforms of n / 2 butterflies per level against na * nb
    // products of the schoolbook convolution.
    if (na * nb <= 2 * n * k) return 0;
    return n;
}

void convolution(const Prime& q, const uint64_t* x, int64_t na, const uint64_t* y, int64_t nb, uint64_t* z,
                 std::vector<uint64_t>& work) {
    const int64_t nz = na + nb - 1;
    const int64_t n = transform_length(na, nb);
    if (n == 0) {
        // y in Montgomery form: mul(x, y') is then the plain product.
        work.resize(static_cast<size_t>(nb));
        for (int64_t j = 0; j < nb; j++) work[j] = q.to_mont(y[j]);
        std::fill(z, z + nz, uint64_t{0});
        for (int64_t i = 0; i < na; i++) {
            const uint64_t xi = x[i];
            if (!xi) continue;
            uint64_t* zi = z + i;
            for (int64_t j = 0; j < nb; j++) zi[j] = q.add(zi[j], q.mul(xi, work[j]));
        }
        return;
    }
    const int32_t k = log2_ceil(n);
    work.resize(static_cast<size_t>(2 * n));
    uint64_t* a = work.data();
    uint64_t* b = a + n;
    std::copy(x, x + na, a);
    std::fill(a + na, a + n, uint64_t{0});
    std::copy(y, y + nb, b);
    std::fill(b + nb, b + n, uint64_t{0});
    std::vector<uint64_t> w, ws;
    twiddles(q, k, false, w, ws);
    forward(q, a, n, w.data(), ws.data());
    forward(q, b, n, w.data(), ws.data());
    // Plain inputs: the pointwise products carry a factor 1/R, the inverse
    // transform a factor n; one product by R^2 / n puts both right. The
    // Montgomery reduction takes operands below 2p since 4p^2 < p 2^64.
    for (int64_t i = 0; i < n; i++) a[i] = q.mul(a[i], b[i]);
    twiddles(q, k, true, w, ws);
    backward(q, a, n, w.data(), ws.data());
    const uint64_t scale = q.mul(q.mul(q.inverse(static_cast<uint64_t>(n % static_cast<int64_t>(q.p))), q.r2), q.r2);
    for (int64_t i = 0; i < nz; i++) z[i] = q.mul(a[i], scale);   // a[i] < 4p: 4p^2 < p 2^64
}

void combination(const Prime& q, const uint64_t* x1, int64_t n1, const uint64_t* y1, int64_t m1, const uint64_t* x2,
                 int64_t n2, const uint64_t* y2, int64_t m2, uint64_t* z, std::vector<uint64_t>& work) {
    const int64_t nz = std::max(n1 + m1, n2 + m2) - 1;
    const int32_t k = log2_ceil(nz);
    const int64_t n = int64_t{1} << k;
    work.resize(static_cast<size_t>(4 * n));
    uint64_t* const a[4] = {work.data(), work.data() + n, work.data() + 2 * n, work.data() + 3 * n};
    const uint64_t* const src[4] = {x1, y1, x2, y2};
    const int64_t len[4] = {n1, m1, n2, m2};
    std::vector<uint64_t> w, ws;
    twiddles(q, k, false, w, ws);
    for (int t = 0; t < 4; t++) {
        std::copy(src[t], src[t] + len[t], a[t]);
        std::fill(a[t] + len[t], a[t] + n, uint64_t{0});
        forward(q, a[t], n, w.data(), ws.data());
    }
    // One inverse transform for both products: the transform is linear.
    for (int64_t i = 0; i < n; i++) a[0][i] = q.sub(q.mul(a[0][i], a[1][i]), q.mul(a[2][i], a[3][i]));
    twiddles(q, k, true, w, ws);
    backward(q, a[0], n, w.data(), ws.data());
    const uint64_t scale = q.mul(q.mul(q.inverse(static_cast<uint64_t>(n % static_cast<int64_t>(q.p))), q.r2), q.r2);
    for (int64_t i = 0; i < nz; i++) z[i] = q.mul(a[0][i], scale);
}

int64_t transform_points(int64_t points) { return int64_t{1} << log2_ceil(points); }

Transform::Transform(const Prime& prime, int64_t points, bool twisted) : qp(&prime), n(points), log_n(log2_ceil(points)) {
    reset(prime, twisted);
}

void Transform::reset(const Prime& prime, bool twisted) {
    const bool same_prime = !w.empty() && qp->p == prime.p;
    qp = &prime;
    twist = twisted;
    const Prime& q = prime;
    const uint64_t one = q.to_mont(1);
    c = twist ? q.to_mont(0x9E3779B97F4A7C15u) : one;
    c_inv = twist ? q.to_mont(q.inverse(q.from_mont(c))) : one;
    if (same_prime) return;
    twiddles(q, log_n, false, w, ws);
    inverse_twiddles(q, w, ws, iw, iws);
    ws52.clear();
    iws52.clear();
    if (short_lanes_used() && q.p < (uint64_t{1} << (SHORT_PRIME_BITS + 1))) {
        // floor(w 2^52 / p) is floor(w 2^64 / p) without its low 12 bits.
        ws52.resize(ws.size());
        iws52.resize(iws.size());
        for (size_t i = 0; i < ws.size(); i++) {
            ws52[i] = ws[i] >> 12;
            iws52[i] = iws[i] >> 12;
        }
    }
}

// start c^i for i < 8, and c^8 2^52 (plain residues): the running
// multipliers of the lanes, whose products are by 2^-52.
void Transform::lane_powers(uint64_t c_mont, uint64_t start, uint64_t* powers, uint64_t* step) const {
    const Prime& q = *qp;
    uint64_t x = q.to_mont(1);   // c^i, Montgomery form
    for (int i = 0; i < 8; i++) {
        powers[i] = q.mul(start, x);
        x = q.mul(x, c_mont);
    }
    *step = q.mul(q.from_mont(x), q.to_mont(uint64_t{1} << 52));
}

void Transform::forward(const uint64_t* x, int64_t len, uint64_t* out) const {
    const Prime& q = *qp;
    std::copy(x, x + len, out);
    std::fill(out + len, out + n, uint64_t{0});
    if (twist && !ws52.empty() && n >= 8) {
        // c^i 2^52 on the lanes: the Montgomery product with it is x c^i.
        alignas(64) uint64_t powers[8];
        uint64_t step;
        lane_powers(c, static_cast<uint64_t>((static_cast<u128>(1) << 52) % q.p), powers, &step);
        scale_short(out, out, (len + 7) / 8 * 8, powers, step, q.p, q.ninv & ((uint64_t{1} << 52) - 1));
    } else if (twist) {
        uint64_t ci = q.to_mont(1);   // c^i, Montgomery form: mul gives the plain product
        for (int64_t i = 0; i < len; i++) {
            out[i] = q.mul(out[i], ci);
            ci = q.mul(ci, c);
        }
    }
    wordprimes::forward(q, out, n, w.data(), ws.data(), ws52.empty() ? nullptr : ws52.data());
}

bool Transform::invert(uint64_t* v) const {
    const Prime& q = *qp;
    // Every value inverted at the cost of one inversion: prefix products in
    // Montgomery form, then one pass back. The prefixes go to scratch.
    prefix.resize(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; i++) {
        const uint64_t x = v[i] >= q.p ? v[i] - q.p : v[i];
        if (x == 0) return false;
        v[i] = q.mul(x, q.r2);
        prefix[i] = i ? q.mul(prefix[i - 1], v[i]) : v[i];
    }
    uint64_t inv = q.to_mont(q.inverse(q.from_mont(prefix[n - 1])));
    // On the lanes the products are by 2^-52, two of them against one by
    // 2^-64: every inverse carries 2^-24 more (set once, here).
    if (!ws52.empty() && n >= 8) inv = q.mul(inv, q.to_mont(q.inverse(uint64_t{1} << 24)));
    for (int64_t i = n - 1; i > 0; i--) {
        const uint64_t vi = v[i];
        v[i] = q.mul(inv, prefix[i - 1]);
        inv = q.mul(inv, vi);
    }
    v[0] = inv;
    return true;
}

void Transform::quotient(const uint64_t* g, const uint64_t* a, const uint64_t* e, const uint64_t* b,
                         const uint64_t* dinv, uint64_t* out) const {
    const Prime& q = *qp;
    if (!ws52.empty() && n >= 8) {
        quotient_short(g, a, e, b, dinv, out, n, q.p, q.ninv & ((uint64_t{1} << 52) - 1));
        return;
    }
    // The products of plain values carry 1/R; dinv is 1/d in Montgomery
    // form, so the last product keeps that single 1/R, as in a convolution.
    for (int64_t i = 0; i < n; i++) out[i] = q.mul(q.sub(q.mul(g[i], a[i]), q.mul(e[i], b[i])), dinv[i]);
}

void Transform::backward(uint64_t* v, uint64_t* z) const {
    const Prime& q = *qp;
    wordprimes::backward(q, v, n, iw.data(), iws.data(), iws52.empty() ? nullptr : iws52.data());
    // The pointwise products left a factor 1/R, the inverse transform a
    // factor n, the twist c^i at place i.
    uint64_t scale = q.mul(q.mul(q.inverse(static_cast<uint64_t>(n % static_cast<int64_t>(q.p))), q.r2), q.r2);
    if (!ws52.empty() && n >= 8) {
        // v scale c^-i / 2^64 = v (scale c^-i / 2^12) / 2^52.
        alignas(64) uint64_t powers[8];
        uint64_t step;
        lane_powers(c_inv, q.from_mont(q.mul(scale, q.to_mont(uint64_t{1} << 52))), powers, &step);
        scale_short(v, z, n, powers, twist ? step : 0, q.p, q.ninv & ((uint64_t{1} << 52) - 1));
        return;
    }
    for (int64_t i = 0; i < n; i++) {
        z[i] = q.mul(v[i], scale);
        if (twist) scale = q.mul(scale, c_inv);
    }
}

}  // namespace wordprimes
