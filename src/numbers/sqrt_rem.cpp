// Square roots of long magnitudes with their remainders, by halves: the
// root of the top half of the digits (with its remainder) gives the top half
// of the root, one division by twice that root the low half, and the square
// of the low half the remainder. A level thus costs a division of half its
// length and a square of a quarter of it, so the whole root costs about one
// division of half the operand's length and a square of a quarter: less
// than Newton's steps on the whole root, which divide the whole operand.
// The split keeps the top part at least as long as the low one and the
// operand's head at least B / 4, so that the low half is off by at most one
// and a single correction finds the root.
#include <cmath>
#include <cstdint>

#include "numbers/digits_impl.h"
#include "toplevel/errors.h"

namespace digits {

// Measured (bench_numbers sqrtcut): the two run even at 12 digits, the
// halves 30% faster at 16 and nearly three times at 1,000.
int32_t sqrt_rem_cut = 14;

namespace {

inline int32_t size_of(const Mag& x) { return static_cast<int32_t>(x.size()); }

void trim(Mag& x) { x.resize(static_cast<size_t>(mag_len(x.data(), size_of(x)))); }

// s := floor(sqrt(a)), r := a - s^2 (both trimmed) for a of 2h digits
// (h >= 1) whose top digit is at least B / 4.
void sqrt_rem(const uint32_t* a, int32_t h, Mag& s, Mag& r) {
    if (h == 1) {
        const uint64_t v = static_cast<uint64_t>(a[1]) << DIGIT_BITS | a[0];
        uint64_t x = static_cast<uint64_t>(std::sqrt(static_cast<double>(v)));
        while (x * x > v) x--;
        while ((x + 1) * (x + 1) <= v) x++;
        const uint64_t rem = v - x * x;   // at most 2x < 2^29
        s.assign(1, static_cast<uint32_t>(x));
        r.assign({static_cast<uint32_t>(rem & DIGIT_MASK), static_cast<uint32_t>(rem >> DIGIT_BITS)});
        trim(s);
        trim(r);
        return;
    }
    if (private_operands && h >= kPollDigits) poll_interrupt();
    const int32_t k = h / 2, hi = h - k;
    Mag s1, r1;
    sqrt_rem(a + 2 * k, hi, s1, r1);
    // (q, u) := divmod(r1 B^k + a1, 2 s1), a1 the digits k .. 2k - 1.
    Mag num(static_cast<size_t>(k) + r1.size());
    std::copy(a + k, a + 2 * k, num.begin());
    std::copy(r1.begin(), r1.end(), num.begin() + k);
    Mag twice, q, u;
    mag_add(s1.data(), size_of(s1), s1.data(), size_of(s1), twice);
    mag_divmod(num.data(), size_of(num), twice.data(), size_of(twice), &q, u);
    trim(q);
    // s := s1 B^k + q (q may reach B^k).
    Mag low(static_cast<size_t>(k) + s1.size(), 0u);
    std::copy(s1.begin(), s1.end(), low.begin() + k);
    mag_add(low.data(), size_of(low), q.data(), size_of(q), s);
    trim(s);
    // r := u B^k + a0 - q^2, a0 the digits 0 .. k - 1.
    Mag top(static_cast<size_t>(k) + u.size());
    std::copy(a, a + k, top.begin());
    std::copy(u.begin(), u.end(), top.begin() + k);
    trim(top);
    Mag q2;
    if (!q.empty()) mag_mul(q.data(), size_of(q), q.data(), size_of(q), q2);
    trim(q2);
    if (mag_cmp(top.data(), size_of(top), q2.data(), size_of(q2)) >= 0) {
        mag_sub(top.data(), size_of(top), q2.data(), size_of(q2), r);
        trim(r);
        return;
    }
    // Negative: s is one too large, and (s - 1)^2 = s^2 - 2 s + 1, so
    // r := top + 2 s - 1 - q^2, not negative by the head's bound.
    Mag t, one{1u};
    mag_add(top.data(), size_of(top), s.data(), size_of(s), t);
    mag_add(t.data(), size_of(t), s.data(), size_of(s), top);
    mag_add(q2.data(), size_of(q2), one.data(), 1, t);
    mag_sub(top.data(), size_of(top), t.data(), size_of(t), r);
    trim(r);
    mag_sub(s.data(), size_of(s), one.data(), 1, t);
    s.swap(t);
    trim(s);
}

}  // namespace

void mag_sqrt(const uint32_t* a, int32_t n, Mag& s) {
    n = mag_len(a, n);
    if (n == 0) {
        s.clear();
        return;
    }
    // a 4^c: an even number of digits, its head at least B / 4; the root
    // is then 2^c times too large, and its floor halved c times is a's.
    int32_t bits = 0;
    for (uint32_t t = a[n - 1]; t; t >>= 1) bits++;
    int32_t c = (DIGIT_BITS - bits) / 2;
    const bool odd = n % 2;
    Mag x(static_cast<size_t>(n + (odd ? 1 : 0)) + 1, 0u);
    uint32_t carry = 0;
    const int32_t off = odd ? 1 : 0;
    for (int32_t i = 0; i < n; i++) {
        const uint64_t v = static_cast<uint64_t>(a[i]) << (2 * c) | carry;
        x[static_cast<size_t>(i + off)] = static_cast<uint32_t>(v & DIGIT_MASK);
        carry = static_cast<uint32_t>(v >> DIGIT_BITS);
    }
    x[static_cast<size_t>(n + off)] = carry;   // zero: the head had room for 2c bits
    if (odd) c += DIGIT_BITS / 2;
    Mag r;
    sqrt_rem(x.data(), (n + off) / 2, s, r);
    // s >> c, c below one digit plus a half.
    const int32_t whole = c / DIGIT_BITS, part = c % DIGIT_BITS;
    const int32_t ns = size_of(s) - whole;
    for (int32_t i = 0; i < ns; i++) {
        const uint32_t hi = i + whole + 1 < size_of(s) ? s[static_cast<size_t>(i + whole + 1)] : 0u;
        s[static_cast<size_t>(i)] =
            (s[static_cast<size_t>(i + whole)] >> part | hi << (DIGIT_BITS - part)) & DIGIT_MASK;
    }
    s.resize(static_cast<size_t>(ns));
    trim(s);
}

}  // namespace digits
