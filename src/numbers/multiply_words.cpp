// Products of medium-sized digit numbers on 64-bit words: the 28-bit digits
// are packed into whole words, multiplied there (schoolbook rows with
// 128-bit accumulation, Karatsuba above `kKaratsubaWords`) and unpacked.
// A word carries 64/28 digits, so a word product does the work of about
// five digit products; packing and unpacking are linear and pay for
// themselves from a few digits on. Scratch comes from one buffer per
// thread: nothing in here stops for an interrupt, so no other call can
// reach it meanwhile.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "numbers/digits_impl.h"

namespace digits {

// Measured (bench_numbers words): the word path beats the digit schoolbook
// from about this many digits in the shorter operand.
int32_t words_cut = 12;

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;

// Operand words from which Karatsuba's three half products beat the rows.
constexpr size_t kKaratsubaWords = 24;

size_t words_for(int32_t digits) { return (static_cast<size_t>(digits) * DIGIT_BITS + 63) / 64; }

// w (words_for(n) words) := the n digits of d, bit 28 i on of digit i.
void pack(const uint32_t* d, int32_t n, u64* w) {
    const size_t nw = words_for(n);
    std::fill(w, w + nw, u64{0});
    for (int32_t i = 0; i < n; i++) {
        const size_t bit = static_cast<size_t>(i) * DIGIT_BITS;
        const size_t at = bit / 64, off = bit % 64;
        w[at] |= static_cast<u64>(d[i]) << off;
        if (off + DIGIT_BITS > 64) w[at + 1] |= static_cast<u64>(d[i]) >> (64 - off);
    }
}

// d (n digits) := the low 28 n bits of w (nw words).
void unpack(const u64* w, size_t nw, uint32_t* d, int32_t n) {
    for (int32_t i = 0; i < n; i++) {
        const size_t bit = static_cast<size_t>(i) * DIGIT_BITS;
        const size_t at = bit / 64, off = bit % 64;
        u64 v = at < nw ? w[at] >> off : 0;
        if (off + DIGIT_BITS > 64 && at + 1 < nw) v |= w[at + 1] << (64 - off);
        d[i] = static_cast<uint32_t>(v & DIGIT_MASK);
    }
}

// r (na + nb words) := a * b by rows; a word product plus two words never
// leaves 128 bits.
void rows(const u64* a, size_t na, const u64* b, size_t nb, u64* r) {
    u64 carry = 0;
    for (size_t j = 0; j < nb; j++) {
        const u128 t = static_cast<u128>(a[0]) * b[j] + carry;
        r[j] = static_cast<u64>(t);
        carry = static_cast<u64>(t >> 64);
    }
    r[nb] = carry;
    for (size_t i = 1; i < na; i++) {
        const u64 ai = a[i];
        u64* ri = r + i;
        carry = 0;
        for (size_t j = 0; j < nb; j++) {
            const u128 t = static_cast<u128>(ai) * b[j] + ri[j] + carry;
            ri[j] = static_cast<u64>(t);
            carry = static_cast<u64>(t >> 64);
        }
        ri[nb] = carry;
    }
}

// s (na words) := a + b for na >= nb; returns the carry out.
u64 add_words(const u64* a, size_t na, const u64* b, size_t nb, u64* s) {
    u64 carry = 0;
    for (size_t i = 0; i < na; i++) {
        const u128 t = static_cast<u128>(a[i]) + (i < nb ? b[i] : 0) + carry;
        s[i] = static_cast<u64>(t);
        carry = static_cast<u64>(t >> 64);
    }
    return carry;
}

// x (nx words) -= y (ny <= nx words), x >= y.
void sub_in(u64* x, size_t nx, const u64* y, size_t ny) {
    u64 borrow = 0;
    size_t i = 0;
    for (; i < ny; i++) {
        const u64 xi = x[i], d = xi - y[i] - borrow;
        borrow = (xi < y[i]) || (xi - y[i] < borrow);
        x[i] = d;
    }
    for (; borrow && i < nx; i++) borrow = x[i]-- == 0;
}

// x (nx words) += y (ny words); what would carry past x's top is zero, as
// the callers' sums fit.
void add_in(u64* x, size_t nx, const u64* y, size_t ny) {
    u64 carry = 0;
    size_t i = 0;
    const size_t n = std::min(nx, ny);
    for (; i < n; i++) {
        const u128 t = static_cast<u128>(x[i]) + y[i] + carry;
        x[i] = static_cast<u64>(t);
        carry = static_cast<u64>(t >> 64);
    }
    for (; carry && i < nx; i++) carry = ++x[i] == 0;
}

void product(const u64* a, size_t na, const u64* b, size_t nb, u64* r, u64* s);

// r (na + nb words) := a * b, na >= nb >= 1; s is scratch of at least
// 6 na + 64 words.
void ordered_product(const u64* a, size_t na, const u64* b, size_t nb, u64* r, u64* s) {
    if (nb < kKaratsubaWords) {
        rows(a, na, b, nb, r);
        return;
    }
    const size_t h = (na + 1) / 2;
    if (nb <= h) {
        // Too unbalanced to halve both: a's halves each times b.
        u64* t = s;
        const size_t nt = na - h + nb;
        product(a, h, b, nb, r, s + nt);
        std::fill(r + h + nb, r + na + nb, u64{0});
        product(a + h, na - h, b, nb, t, s + nt);
        add_in(r + h, na + nb - h, t, nt);
        return;
    }
    // z1 = (a0 + a1)(b0 + b1) - z0 - z2, the halves' sums one word longer.
    u64* sa = s;
    u64* sb = s + h + 1;
    u64* z1 = s + 2 * h + 2;
    u64* rest = s + 4 * h + 4;
    sa[h] = add_words(a, h, a + h, na - h, sa);
    sb[h] = add_words(b, h, b + h, nb - h, sb);
    ordered_product(sa, h + 1, sb, h + 1, z1, rest);
    ordered_product(a, h, b, h, r, rest);
    ordered_product(a + h, na - h, b + h, nb - h, r + 2 * h, rest);
    sub_in(z1, 2 * h + 2, r, 2 * h);
    sub_in(z1, 2 * h + 2, r + 2 * h, na + nb - 2 * h);
    add_in(r + h, na + nb - h, z1, 2 * h + 2);
}

void product(const u64* a, size_t na, const u64* b, size_t nb, u64* r, u64* s) {
    if (na >= nb) ordered_product(a, na, b, nb, r, s);
    else ordered_product(b, nb, a, na, r, s);
}

thread_local std::vector<u64> words_buf;

[[maybe_unused]] const bool scratch_noted = note_scratch([] { give_back(words_buf); });

}  // namespace

void mag_mul_words(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r) {
    std::vector<u64>& buf = words_buf;
    const size_t wa = words_for(na), wb = words_for(nb), wr = wa + wb;
    const size_t scratch = 6 * std::max(wa, wb) + 64;
    if (buf.size() < wa + wb + wr + scratch) buf.resize(wa + wb + wr + scratch);
    u64* pa = buf.data();
    u64* pb = pa + wa;
    u64* pr = pb + wb;
    pack(a, na, pa);
    pack(b, nb, pb);
    product(pa, wa, pb, wb, pr, pr + wr);
    unpack(pr, wr, r, na + nb);
}

}  // namespace digits
