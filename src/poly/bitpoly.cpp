// GF(2)[x] on packed words (see bitpoly.h).
#include "poly/bitpoly.h"

#include <algorithm>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace bitpoly {

namespace {

__extension__ typedef unsigned __int128 u128;

// Below this many words a product is taken term by term; above, Karatsuba.
constexpr size_t KARATSUBA_WORDS = 12;
// A modulus with at most this many terms below its leading one, all at
// least a word below it, is reduced by shifted sums instead of products.
constexpr size_t FEW_TERMS = 8;

bool portable_only = false;

bool carryless_instruction() {
#if defined(__x86_64__)
    static const bool yes = __builtin_cpu_supports("pclmul");
    return yes && !portable_only;
#else
    return false;
#endif
}

// r[0 .. na + nb) := a * b term by term, by a table of the multiples of
// each word of a by the 16 polynomials of degree below 4.
void base_mul_portable(const uint64_t* a, size_t na, const uint64_t* b, size_t nb, uint64_t* r) {
    std::fill(r, r + na + nb, 0);
    u128 tab[16];
    for (size_t i = 0; i < na; i++) {
        tab[0] = 0;
        tab[1] = a[i];
        for (int k = 2; k < 16; k++) tab[k] = (k & 1) ? tab[k - 1] ^ tab[1] : tab[k >> 1] << 1;
        for (size_t j = 0; j < nb; j++) {
            u128 p = 0;
            for (int s = 60; s >= 0; s -= 4) p = (p << 4) ^ tab[(b[j] >> s) & 15];
            r[i + j] ^= static_cast<uint64_t>(p);
            r[i + j + 1] ^= static_cast<uint64_t>(p >> 64);
        }
    }
}

#if defined(__x86_64__)
// Column by column, so that each word of r is written once and the sums
// stay in registers.
__attribute__((target("pclmul,sse2"))) void base_mul_instruction(const uint64_t* a, size_t na, const uint64_t* b,
                                                                 size_t nb, uint64_t* r) {
    __m128i acc = _mm_setzero_si128();
    for (size_t k = 0; k + 1 < na + nb; k++) {
        const size_t i0 = k < nb ? 0 : k - nb + 1, i1 = std::min(k, na - 1);
        for (size_t i = i0; i <= i1; i++)
            acc = _mm_xor_si128(acc, _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(a[i])),
                                                          _mm_cvtsi64_si128(static_cast<long long>(b[k - i])), 0x00));
        r[k] = static_cast<uint64_t>(_mm_cvtsi128_si64(acc));
        acc = _mm_srli_si128(acc, 8);
    }
    r[na + nb - 1] = static_cast<uint64_t>(_mm_cvtsi128_si64(acc));
}
#endif

void base_mul(const uint64_t* a, size_t na, const uint64_t* b, size_t nb, uint64_t* r) {
#if defined(__x86_64__)
    if (carryless_instruction()) {
        base_mul_instruction(a, na, b, nb, r);
        return;
    }
#endif
    base_mul_portable(a, na, b, nb, r);
}

// r[0 .. 2n) := a * b, a and b of n words; scratch holds 8n + 64 words.
void karatsuba(const uint64_t* a, const uint64_t* b, size_t n, uint64_t* r, uint64_t* scratch) {
    if (n <= KARATSUBA_WORDS) {
        base_mul(a, n, b, n, r);
        return;
    }
    const size_t h = n / 2, h2 = n - h;
    karatsuba(a, b, h, r, scratch);
    karatsuba(a + h, b + h, h2, r + 2 * h, scratch);
    uint64_t* as = scratch;
    uint64_t* bs = scratch + h2;
    uint64_t* m = scratch + 2 * h2;
    for (size_t i = 0; i < h2; i++) {
        as[i] = a[h + i] ^ (i < h ? a[i] : 0);
        bs[i] = b[h + i] ^ (i < h ? b[i] : 0);
    }
    karatsuba(as, bs, h2, m, scratch + 4 * h2);
    for (size_t i = 0; i < 2 * h; i++) m[i] ^= r[i];
    for (size_t i = 0; i < 2 * h2; i++) m[i] ^= r[2 * h + i];
    for (size_t i = 0; i < 2 * h2; i++) r[h + i] ^= m[i];
}

uint64_t spread32(uint64_t v) {
    v &= 0xFFFFFFFFu;
    v = (v | v << 16) & 0x0000FFFF0000FFFFull;
    v = (v | v << 8) & 0x00FF00FF00FF00FFull;
    v = (v | v << 4) & 0x0F0F0F0F0F0F0F0Full;
    v = (v | v << 2) & 0x3333333333333333ull;
    v = (v | v << 1) & 0x5555555555555555ull;
    return v;
}

// a ^= w x^pos, a long enough to hold it.
void xor_word_at(Bits& a, int64_t pos, uint64_t w) {
    const size_t k = static_cast<size_t>(pos / 64);
    const int s = static_cast<int>(pos % 64);
    a[k] ^= w << s;
    if (s && k + 1 < a.size()) a[k + 1] ^= w >> (64 - s);
}

}  // namespace

void use_portable_products(bool on) { portable_only = on; }

void trim(Bits& a) {
    while (!a.empty() && !a.back()) a.pop_back();
}

int32_t degree(const Bits& a) {
    if (a.empty()) return -1;
    return static_cast<int32_t>(a.size() - 1) * 64 + 63 - __builtin_clzll(a.back());
}

Bits monomial(int32_t k) {
    Bits a(static_cast<size_t>(k / 64) + 1, 0);
    a.back() = uint64_t{1} << (k % 64);
    return a;
}

void add_to(Bits& a, const Bits& b) {
    if (a.size() < b.size()) a.resize(b.size(), 0);
    for (size_t i = 0; i < b.size(); i++) a[i] ^= b[i];
    trim(a);
}

Bits mul(const Bits& a0, const Bits& b0) {
    if (a0.empty() || b0.empty()) return {};
    const Bits& a = a0.size() <= b0.size() ? a0 : b0;
    const Bits& b = a0.size() <= b0.size() ? b0 : a0;
    const size_t na = a.size(), nb = b.size();
    Bits r(na + nb, 0);
    if (na <= KARATSUBA_WORDS) {
        base_mul(a.data(), na, b.data(), nb, r.data());
    } else {
        // b in pieces of a's length, each a balanced product.
        std::vector<uint64_t> scratch(8 * na + 64), piece(na), part(2 * na);
        for (size_t at = 0; at < nb; at += na) {
            const size_t len = std::min(na, nb - at);
            const uint64_t* bp = b.data() + at;
            if (len < na) {
                std::copy(bp, bp + len, piece.begin());
                std::fill(piece.begin() + static_cast<std::ptrdiff_t>(len), piece.end(), 0);
                bp = piece.data();
            }
            karatsuba(a.data(), bp, na, part.data(), scratch.data());
            const size_t top = std::min(2 * na, r.size() - at);
            for (size_t i = 0; i < top; i++) r[at + i] ^= part[i];
        }
    }
    trim(r);
    return r;
}

Bits square(const Bits& a) {
    Bits r(2 * a.size(), 0);
    for (size_t i = 0; i < a.size(); i++) {
        r[2 * i] = spread32(a[i]);
        r[2 * i + 1] = spread32(a[i] >> 32);
    }
    trim(r);
    return r;
}

Bits shift_down(const Bits& a, int32_t k) {
    const size_t w = static_cast<size_t>(k / 64);
    const int s = k % 64;
    if (w >= a.size()) return {};
    Bits r(a.size() - w, 0);
    for (size_t i = 0; i < r.size(); i++) {
        r[i] = a[w + i] >> s;
        if (s && w + i + 1 < a.size()) r[i] |= a[w + i + 1] << (64 - s);
    }
    trim(r);
    return r;
}

Bits low_part(const Bits& a, int32_t k) {
    const size_t w = static_cast<size_t>(k / 64);
    const int s = k % 64;
    if (w >= a.size()) return a;
    Bits r(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(w) + 1);
    r[w] &= s ? (uint64_t{1} << s) - 1 : 0;
    trim(r);
    return r;
}

Bits rem_plain(Bits a, const Bits& b, Bits* q) {
    const int32_t db = degree(b);
    int32_t da = degree(a);
    if (q) q->assign(da >= db ? static_cast<size_t>((da - db) / 64 + 1) : 0, 0);
    const size_t nb = b.size();
    while (da >= db) {
        const int32_t s = da - db;
        const size_t ws = static_cast<size_t>(s / 64);
        const int bs = s % 64;
        for (size_t i = 0; i < nb; i++) {
            a[i + ws] ^= b[i] << bs;
            if (bs && i + ws + 1 < a.size()) a[i + ws + 1] ^= b[i] >> (64 - bs);
        }
        if (q) (*q)[ws] ^= uint64_t{1} << bs;
        // The top word only loses bits; look down from it.
        size_t w = static_cast<size_t>(da / 64);
        while (w > 0 && !a[w]) w--;
        da = a[w] ? static_cast<int32_t>(w) * 64 + 63 - __builtin_clzll(a[w]) : -1;
    }
    trim(a);
    if (q) trim(*q);
    return a;
}

Bits gcd(Bits a, Bits b) {
    trim(a);
    trim(b);
    while (!b.empty()) {
        a = rem_plain(std::move(a), b);
        std::swap(a, b);
    }
    return a;
}

BitMod::BitMod(Bits f) : f_(std::move(f)), n_(degree(f_)) {
    std::vector<int32_t> low;
    for (int32_t k = 0; k < n_ && low.size() <= FEW_TERMS; k++)
        if ((f_[static_cast<size_t>(k / 64)] >> (k % 64)) & 1) low.push_back(k);
    if (low.size() <= FEW_TERMS && (low.empty() || n_ - low.back() >= 64)) {
        low_terms_ = std::move(low);
        return;
    }
    Bits q;
    rem_plain(monomial(2 * n_), f_, &q);
    mu_ = std::move(q);
}

Bits BitMod::reduce(Bits a) const {
    if (degree(a) < n_) return a;
    if (mu_.empty()) {
        // x^n = the low terms: each word above the leading term's goes down
        // by shifted copies, at least a word lower, so one pass suffices.
        const size_t nw = static_cast<size_t>(n_ / 64);
        const int nb = n_ % 64;
        for (size_t t = a.size() - 1; t > nw; t--) {
            const uint64_t w = a[t];
            if (!w) continue;
            a[t] = 0;
            const int64_t base = static_cast<int64_t>(t) * 64 - n_;
            for (int32_t e : low_terms_) xor_word_at(a, base + e, w);
        }
        const uint64_t w = a[nw] >> nb;
        if (w) {
            a[nw] ^= w << nb;
            for (int32_t e : low_terms_) xor_word_at(a, e, w);
        }
        trim(a);
        return a;
    }
    // Exact for degrees below 2n: the quotient is the top half of the
    // product of a's top half with floor(x^(2n) / f).
    const Bits q = shift_down(bitpoly::mul(shift_down(a, n_), mu_), n_);
    Bits r = low_part(a, n_);
    add_to(r, low_part(bitpoly::mul(q, f_), n_));
    return r;
}

Bits BitMod::reduce_any(const Bits& a0) const {
    Bits a = a0;
    trim(a);
    int32_t da = degree(a);
    if (!mu_.empty()) {
        // Lower the top 2n bits at a time.
        while (da >= 2 * n_) {
            const int32_t s = da - (2 * n_ - 1);
            Bits top = reduce(shift_down(a, s));
            a = low_part(a, s);
            a.resize(std::max(a.size(), static_cast<size_t>((s + degree(top)) / 64 + 1)), 0);
            for (size_t i = 0; i < top.size(); i++) xor_word_at(a, s + static_cast<int64_t>(i) * 64, top[i]);
            trim(a);
            da = degree(a);
        }
    }
    return reduce(std::move(a));
}

}  // namespace bitpoly
