// Residue arrays modulo a monic f (see modf_words.h).
//
// A product of residues below p < 2^31 is exact below n (p - 1)^2 < 2^93:
// one transform prime below 2^62 when that bound stays under the prime, two
// joined by Garner's step otherwise. Remainders use the reversed quotient:
// for c of degree below 2n, rev(q) = rev(c) / rev(f) mod x^(deg c - n + 1),
// one product by the stored inverse and one by f, where long division
// would cost n^2.
#include "poly/modf_words.h"

#include <algorithm>

#include "poly/wordprimes_impl.h"
#include "toplevel/errors.h"

namespace modf_words {

namespace {

using wordprimes::Prime;
using wordprimes::u128;

// Below this many words in the shorter operand the schoolbook product wins.
constexpr int64_t SCHOOLBOOK_WORDS = 48;
// Columns of the composition's matrix product taken at once: the table's
// slice of that width stays in cache while every block is formed.
constexpr int32_t COLUMNS = 256;

// Products of two residues a sum below 2^64 can take on top of a residue.
uint64_t room_for(uint32_t p) {
    const uint64_t sq = uint64_t{p - 1} * (p - 1);
    return sq ? (~uint64_t{0} - p) / sq : ~uint64_t{0};
}

void schoolbook(const uint32_t* a, int64_t na, const uint32_t* b, int64_t nb, uint32_t p, Words& out) {
    std::vector<uint64_t> acc(static_cast<size_t>(na + nb - 1), 0);
    const uint64_t room = room_for(p);
    uint64_t used = 0;
    for (int64_t i = 0; i < na; i++) {
        const uint64_t ai = a[i];
        if (!ai) continue;
        uint64_t* w = acc.data() + i;
        for (int64_t j = 0; j < nb; j++) w[j] += ai * b[j];
        if (++used == room) {
            for (uint64_t& v : acc) v %= p;
            used = 0;
        }
    }
    out.resize(acc.size());
    for (size_t i = 0; i < acc.size(); i++) out[i] = static_cast<uint32_t>(acc[i] % p);
}

// out[0 .. len) := c[0 .. len) - d[0 .. len) mod p.
void subtract(const uint32_t* c, const uint32_t* d, int64_t len, uint32_t p, uint32_t* out) {
    for (int64_t i = 0; i < len; i++) out[i] = c[i] >= d[i] ? c[i] - d[i] : c[i] + (p - d[i]);
}

// Transform primes for products of residues below p with min(na, nb) = len:
// every exact coefficient is below len (p - 1)^2.
int32_t images_for(int64_t len, uint32_t p) {
    const uint64_t pm = p - 1;
    return static_cast<u128>(len) * pm * pm < (u128{1} << 61) ? 1 : 2;
}

// out[0 .. len) := the exact coefficients with images z0 (and z1 modulo a
// second prime) reduced mod p.
void join_images(const std::vector<Prime>& primes, const uint64_t* z0, const uint64_t* z1, int64_t len, uint32_t p,
                 uint32_t* out) {
    if (primes.size() == 1) {
        for (int64_t k = 0; k < len; k++) out[k] = static_cast<uint32_t>(z0[k] % p);
        return;
    }
    const Prime& q1 = primes[1];
    const uint64_t q0_inv = q1.to_mont(q1.inverse(primes[0].p % q1.p));
    const uint64_t q0_mod_p = primes[0].p % p;
    for (int64_t k = 0; k < len; k++) {
        // c = r0 + q0 ((r1 - r0) / q0 mod q1), below q0 q1, taken mod p
        // term by term. Both primes lie between 2^61 and 2^62, so r0 < 2 q1.
        const uint64_t r0 = z0[k];
        const uint64_t t = q1.mul(q1.sub(z1[k], r0 >= q1.p ? r0 - q1.p : r0), q0_inv);
        out[k] = static_cast<uint32_t>(((t % p) * q0_mod_p + r0 % p) % p);
    }
}

}  // namespace

void product(const uint32_t* a, int64_t na, const uint32_t* b, int64_t nb, uint32_t p, Words& out) {
    if (std::min(na, nb) < SCHOOLBOOK_WORDS) {
        schoolbook(a, na, b, nb, p, out);
        return;
    }
    const int64_t nz = na + nb - 1;
    std::vector<Prime> primes;
    wordprimes::first_primes(images_for(std::min(na, nb), p), primes);
    std::vector<uint64_t> x(a, a + na), y(b, b + nb), work, z[2];
    for (size_t i = 0; i < primes.size(); i++) {
        z[i].resize(static_cast<size_t>(nz));
        wordprimes::convolution(primes[i], x.data(), na, y.data(), nb, z[i].data(), work);
    }
    out.resize(static_cast<size_t>(nz));
    join_images(primes, z[0].data(), z[1].data(), nz, p, out.data());
}

// The transforms modulo the images' primes, with f's and rinv's values
// kept: a product modulo f costs two forward transforms and one back for
// the product, and two of each for the remainder, one pair of them of half
// the length (see reduce), where three separate products would cost nine
// full ones and their tables.
struct ModF::Images {
    // One transform length: the transforms and scratch of every image.
    struct Length {
        std::vector<wordprimes::Transform> tr;
        mutable std::vector<uint64_t> a[2], z[2];
    };
    uint32_t p;
    std::vector<Prime> primes;
    Length full, half;
    std::vector<uint64_t> fv[2], rv[2];   // f's low n words at half length, rinv at full
    mutable std::vector<uint64_t> b[2];
    mutable Words in;

    Images(const ModF& m) : p(m.p) {
        const int64_t n = m.n;
        const int64_t points = wordprimes::transform_points(2 * n - 1);
        wordprimes::first_primes(images_for(n, p), primes);
        for (size_t i = 0; i < primes.size(); i++) {
            for (Length* at : {&full, &half}) {
                const int64_t len = at == &full ? points : points / 2;
                at->tr.emplace_back(primes[i], len, false);
                at->a[i].resize(static_cast<size_t>(len));
                at->z[i].resize(static_cast<size_t>(len));
            }
            b[i].resize(static_cast<size_t>(points));
            fv[i].resize(static_cast<size_t>(points / 2));
            rv[i].resize(static_cast<size_t>(points));
        }
        values(half, m.f.data(), n, fv);
        values(full, m.rinv.data(), static_cast<int64_t>(m.rinv.size()), rv);
    }
    void values(const Length& at, const uint32_t* x, int64_t len, std::vector<uint64_t>* out) const {
        std::vector<uint64_t> wide(x, x + len);
        for (size_t i = 0; i < primes.size(); i++) at.tr[i].forward(wide.data(), len, out[i].data());
    }
    void times(std::vector<uint64_t>* x, const std::vector<uint64_t>* y) const {
        for (size_t i = 0; i < primes.size(); i++) {
            const Prime& q = primes[i];
            uint64_t* xi = x[i].data();
            const uint64_t* yi = y[i].data();
            for (size_t k = 0; k < x[i].size(); k++) xi[k] = q.mul(xi[k], yi[k]);
        }
    }
    // out[0 .. len) := the coefficients of the values v (spoiled), mod p.
    void coefficients(const Length& at, std::vector<uint64_t>* v, int64_t len, uint32_t* out) const {
        for (size_t i = 0; i < primes.size(); i++) at.tr[i].backward(v[i].data(), at.z[i].data());
        join_images(primes, at.z[0].data(), at.z[1].data(), len, p, out);
    }
};

ModF::ModF(const Words& monic, uint32_t prime) : p(prime), n(static_cast<int32_t>(monic.size()) - 1), f(monic) {
    // Newton's iteration for 1 / rev(f), doubling the precision each step:
    // g := g (2 - rev(f) g).
    const int64_t want = std::max(1, n - 1);
    Words rev(f.rbegin(), f.rend());
    rinv.assign(1, 1);
    Words t, u;
    for (int64_t len = 1; len < want;) {
        const int64_t next = std::min(2 * len, want);
        product(rev.data(), std::min<int64_t>(next, n + 1), rinv.data(), len, p, t);
        t.resize(static_cast<size_t>(next), 0);
        for (int64_t i = 0; i < next; i++) t[i] = t[i] ? p - t[i] : 0;
        t[0] = static_cast<uint32_t>((t[0] + 2ull) % p);
        product(rinv.data(), len, t.data(), next, p, u);
        u.resize(static_cast<size_t>(next));
        rinv = u;
        len = next;
    }
    if (n >= SCHOOLBOOK_WORDS) im = std::make_unique<Images>(*this);
}

ModF::~ModF() = default;

void ModF::reduce(const uint32_t* c, int64_t len, uint32_t* r) const {
    if (len <= n) {
        std::copy(c, c + len, r);
        std::fill(r + len, r + n, 0u);
        return;
    }
    const int64_t m = len - n;   // the quotient's words
    Words rc(static_cast<size_t>(m)), q, qf;
    for (int64_t i = 0; i < m; i++) rc[i] = c[len - 1 - i];
    if (im) {
        const Images::Length &full = im->full, &half = im->half;
        q.resize(static_cast<size_t>(m));
        qf.resize(static_cast<size_t>(n));
        im->values(full, rc.data(), m, full.a);
        im->times(full.a, im->rv);
        im->coefficients(full, full.a, m, q.data());
        std::reverse(q.begin(), q.end());
        // q f_low (f_low = f - x^n) cyclically, at half the length H >= n:
        // word i < n gathers the word i + H of the product as well, and
        // for k >= n that word is c[k] - q[k - n] (c = q f + r with deg r
        // < n), known, so it is taken off again.
        const int64_t H = static_cast<int64_t>(half.a[0].size());
        im->values(half, q.data(), m, half.a);
        im->times(half.a, im->fv);
        im->coefficients(half, half.a, n, qf.data());
        for (int64_t i = 0; i < n && i + H < len; i++) {
            const uint32_t k = c[i + H], t = q[i + H - n];
            const uint32_t over = k >= t ? k - t : k + (p - t);
            const uint32_t v = qf[i] >= over ? qf[i] - over : qf[i] + (p - over);
            qf[i] = v;
        }
        subtract(c, qf.data(), n, p, r);
        return;
    }
    product(rc.data(), m, rinv.data(), std::min<int64_t>(m, static_cast<int64_t>(rinv.size())), p, q);
    q.resize(static_cast<size_t>(m));
    std::reverse(q.begin(), q.end());
    // Only the low n words of q f are needed: f's top word does not reach them.
    product(q.data(), std::min<int64_t>(m, n), f.data(), n, p, qf);
    subtract(c, qf.data(), n, p, r);
}

void ModF::mul(const uint32_t* a, const uint32_t* b, uint32_t* r) const {
    Words c;
    if (im) {
        const Images::Length& full = im->full;
        c.resize(2 * static_cast<size_t>(n) - 1);
        im->values(full, a, n, full.a);
        if (a == b) {
            im->times(full.a, full.a);
        } else {
            im->values(full, b, n, im->b);
            im->times(full.a, im->b);
        }
        im->coefficients(full, full.a, 2 * int64_t{n} - 1, c.data());
        reduce(c.data(), 2 * int64_t{n} - 1, r);
        return;
    }
    product(a, n, b, n, p, c);
    reduce(c.data(), 2 * int64_t{n} - 1, r);
}

void ModF::power(const uint32_t* a, uint64_t e, uint32_t* r) const {
    const Words base(a, a + n);
    std::copy(base.begin(), base.end(), r);
    for (int b = 62 - __builtin_clzll(e); b >= 0; b--) {
        mul(r, r, r);
        if ((e >> b) & 1) mul(r, base.data(), r);
    }
}

void ModF::x_power(uint64_t e, uint32_t* r) const {
    std::fill(r, r + n, 0u);
    r[0] = 1;
    for (int b = 63 - __builtin_clzll(e | 1); b >= 0; b--) {
        mul(r, r, r);
        if ((e >> b) & 1) {
            // r := r x: a shift, and the top word folded back by f.
            const uint64_t t = r[n - 1];
            for (int32_t i = n - 1; i > 0; i--) r[i] = r[i - 1];
            r[0] = 0;
            if (t)
                for (int32_t i = 0; i < n; i++) r[i] = static_cast<uint32_t>((r[i] + (p - t) * f[i]) % p);
        }
    }
}

PowerTable::PowerTable(const ModF& m, const uint32_t* h, int32_t count) : k(std::max(1, count)) {
    const int64_t n = m.n;
    rows.assign(static_cast<size_t>(k * n), 0);
    rows[0] = 1;
    if (k > 1) std::copy(h, h + n, rows.begin() + n);
    for (int32_t s = 2; s < k; s++) {
        poll_interrupt();
        m.mul(rows.data() + (s - 1) * n, h, rows.data() + s * n);
    }
    top.resize(static_cast<size_t>(n));
    m.mul(rows.data() + (k - 1) * n, h, top.data());
}

void compose(const ModF& m, const PowerTable& t, const uint32_t* g, uint32_t* r) {
    // g = sum_b G_b(x) x^(k b) with deg G_b < k, so g(h) = sum_b G_b(h) (h^k)^b:
    // every G_b(h) from the table's rows (one matrix product), then Horner
    // in h^k with one product mod f per block.
    const int32_t n = m.n, k = t.k;
    const int32_t blocks = (n + k - 1) / k;
    // For a large p a sum of products has room for only a few before it
    // must be reduced, a division per word; the coefficients of g are then
    // split in 16-bit halves, two sums of far smaller products.
    const bool split = room_for(m.p) < 1024;
    const uint64_t top = split ? 0xFFFF : m.p - 1;
    const uint64_t room = (~uint64_t{0} - m.p) / (top * (m.p - 1) + 1);
    Words G(static_cast<size_t>(blocks) * n);
    uint64_t lo[COLUMNS], hi[COLUMNS];
    // acc[0 .. width) += c row[0 .. width); a fixed trip count for full
    // slices, which the compiler unrolls.
    const auto add = [](uint64_t* acc, uint64_t c, const uint32_t* row, int32_t width) {
        if (width == COLUMNS) {
            for (int32_t w = 0; w < COLUMNS; w++) acc[w] += c * row[w];
        } else {
            for (int32_t w = 0; w < width; w++) acc[w] += c * row[w];
        }
    };
    for (int32_t w0 = 0; w0 < n; w0 += COLUMNS) {
        const int32_t width = std::min(COLUMNS, n - w0);
        poll_interrupt();
        for (int32_t b = 0; b < blocks; b++) {
            std::fill(lo, lo + COLUMNS, uint64_t{0});
            std::fill(hi, hi + COLUMNS, uint64_t{0});
            uint64_t used = 0;
            const int32_t s_end = std::min(k, n - b * k);
            for (int32_t s = 0; s < s_end; s++) {
                const uint64_t c = g[b * k + s];
                if (!c) continue;
                const uint32_t* row = t.rows.data() + static_cast<size_t>(s) * n + w0;
                if (split) {
                    add(lo, c & 0xFFFF, row, width);
                    add(hi, c >> 16, row, width);
                } else {
                    add(lo, c, row, width);
                }
                if (++used == room) {
                    for (int32_t w = 0; w < width; w++) {
                        lo[w] %= m.p;
                        hi[w] %= m.p;
                    }
                    used = 0;
                }
            }
            uint32_t* out = G.data() + static_cast<size_t>(b) * n + w0;
            for (int32_t w = 0; w < width; w++)
                out[w] = static_cast<uint32_t>(split ? (lo[w] % m.p + (hi[w] % m.p << 16)) % m.p : lo[w] % m.p);
        }
    }
    Words sum(G.end() - n, G.end());
    for (int32_t b = blocks - 2; b >= 0; b--) {
        m.mul(sum.data(), t.top.data(), sum.data());
        const uint32_t* gb = G.data() + static_cast<size_t>(b) * n;
        for (int32_t w = 0; w < n; w++) {
            const uint32_t s = sum[w] + gb[w];
            sum[w] = s >= m.p ? s - m.p : s;
        }
    }
    std::copy(sum.begin(), sum.end(), r);
}

int32_t remainder(uint32_t* a, int64_t len, const uint32_t* g, int32_t dg, uint32_t p) {
    std::vector<uint64_t> acc(a, a + len);
    const uint64_t room = room_for(p);
    uint64_t used = 0;
    for (int64_t k = len - 1; k >= dg; k--) {
        const uint64_t c = acc[k] % p;
        acc[k] = 0;
        if (!c) continue;
        const uint64_t neg = p - c;
        uint64_t* w = acc.data() + (k - dg);
        for (int32_t i = 0; i < dg; i++) w[i] += neg * g[i];
        if (++used == room) {
            for (int64_t i = 0; i < k; i++) acc[i] %= p;
            used = 0;
        }
    }
    int32_t deg = -1;
    for (int64_t i = 0; i < len; i++) {
        a[i] = i < dg ? static_cast<uint32_t>(acc[i] % p) : 0;
        if (a[i]) deg = static_cast<int32_t>(i);
    }
    return deg;
}

}  // namespace modf_words
