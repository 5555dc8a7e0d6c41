// Division and gcd kernels on magnitude arrays (see digits_impl.h): long
// division with a normalised divisor, and Lehmer's gcd, which runs Euclid on
// the leading bits in machine words and applies the steps it can vouch for
// to the full arrays in one pass.
#include <algorithm>
#include <bit>

#include "numbers/digits_impl.h"
#include "toplevel/errors.h"

namespace digits {

namespace {

// Buffers shared with later calls (see long_divide and mag_gcd_reduce);
// each made on its first use.
Mag& shared_buffer(int k) {
    thread_local Mag buffers[3];
    return buffers[k];
}

[[maybe_unused]] const bool scratch_noted = note_scratch([] {
    for (int k = 0; k < 3; k++) give_back(shared_buffer(k));
});

__extension__ typedef __int128 wide;
__extension__ typedef unsigned __int128 uwide;

inline int32_t size_of(const Mag& x) { return static_cast<int32_t>(x.size()); }
inline void trim(Mag& x) { x.resize(static_cast<size_t>(mag_len(x.data(), size_of(x)))); }

// dst (n + 1 digits) := src (n digits) * 2^s, 0 <= s < 28.
void shift_up(const uint32_t* src, int32_t n, int32_t s, uint32_t* dst) {
    uint32_t carry = 0;
    for (int32_t i = 0; i < n; i++) {
        dst[i] = ((src[i] << s) & DIGIT_MASK) | carry;
        carry = s ? src[i] >> (DIGIT_BITS - s) : 0;
    }
    dst[n] = carry;
}

// Long division of a by b (nb >= 2, a >= b) once both are shifted so that
// b's head digit has its top bit set. Above the cut-off the quotient is
// found by recursive division (divide_recursive.cpp), below it digit by
// digit; both leave the same remainder in un.
void long_divide(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag* q, Mag& r) {
    // Buffers shared with later calls, unless an interrupt may come in
    // between, when a nested level's divisions would overwrite them.
    Mag own_un, own_vn;
    const bool own = operands_private();
    Mag& un = own ? own_un : shared_buffer(0);
    Mag& vn = own ? own_vn : shared_buffer(1);
    const int32_t s = DIGIT_BITS - std::bit_width(b[nb - 1]);
    un.resize(static_cast<size_t>(na) + 1);
    vn.resize(static_cast<size_t>(nb) + 1);
    shift_up(a, na, s, un.data());
    shift_up(b, nb, s, vn.data());   // vn[nb] is 0
    const int32_t m = na - nb;
    if (q) q->assign(static_cast<size_t>(m) + 1, 0u);
    if (nb >= divide_cut && m + 1 >= divide_cut) {
        // The recursive steps need the quotient for their products.
        Mag scratch;
        if (!q) scratch.assign(static_cast<size_t>(m) + 1, 0u);
        recursive_divide(un.data(), na + 1, vn.data(), nb, q ? q->data() : scratch.data());
    } else {
        school_divide(un.data(), na + 1, vn.data(), nb, q ? q->data() : nullptr);
    }

    r.resize(static_cast<size_t>(nb));
    for (int32_t i = 0; i < nb; i++)
        r[i] = (un[i] >> s) | (s ? (un[i + 1] << (DIGIT_BITS - s)) & DIGIT_MASK : 0);
    trim(r);
    if (q) trim(*q);
}

// Leading bits kept of the larger gcd operand. The cofactors of the steps
// that can be trusted stay near the square root, 2^31, so a cofactor times a
// 28-bit digit stays far inside 64 bits.
constexpr int32_t LEHMER_BITS = 62;
// No step is taken that would make a cofactor larger: then a * u + b * v
// for digits u, v stays below 2^61 in magnitude.
constexpr int64_t COFACTOR_LIMIT = int64_t{1} << 32;

// floor(x / 2^k) for the n-digit x, when it is below 2^64.
uint64_t bits_from(const uint32_t* x, int32_t n, int32_t k) {
    uwide acc = 0;
    for (int32_t i = n - 1; i >= k / DIGIT_BITS; i--) acc = (acc << DIGIT_BITS) | x[i];
    return static_cast<uint64_t>(acc >> (k % DIGIT_BITS));
}

// A remainder of the simulated sequence as p * A + c * B, with A and B the
// round's starting pair.
struct Row {
    int64_t p, c;
    // With A and B known only to within one unit of their leading bits, the
    // true value lies this far below or above the simulated one.
    int64_t below() const { return (p < 0 ? -p : 0) + (c < 0 ? -c : 0); }
    int64_t above() const { return (p > 0 ? p : 0) + (c > 0 ? c : 0); }
};

// (a, b) := (r0 . (a, b), r1 . (a, b)) in one pass; both results are
// non-negative, as the rows are cofactors of true remainders.
void apply_rows(Mag& a, Mag& b, Row r0, Row r1) {
    const size_t n = a.size();
    b.resize(n, 0u);
    int64_t ca = 0, cb = 0;
    for (size_t i = 0; i < n; i++) {
        const int64_t u = a[i], v = b[i];
        ca += r0.p * u + r0.c * v;
        cb += r1.p * u + r1.c * v;
        a[i] = static_cast<uint32_t>(ca & DIGIT_MASK);
        b[i] = static_cast<uint32_t>(cb & DIGIT_MASK);
        ca >>= DIGIT_BITS;
        cb >>= DIGIT_BITS;
    }
    trim(a);
    trim(b);
}

// One round of Lehmer's method on a >= b, b of two or more digits. A step's
// quotient q of the simulated pair (x, y) is taken only when it is the
// quotient of every pair the true values scaled by 2^-k may be: q * Ymax <=
// Xmin and Xmax < (q + 1) * Ymin. Returns false when no step was taken.
bool lehmer_round(Mag& a, Mag& b, int64_t* rows) {
    const int32_t n = size_of(a);
    const int32_t bits = DIGIT_BITS * (n - 1) + std::bit_width(a[n - 1]);
    const int32_t k = std::max(0, bits - LEHMER_BITS);
    uint64_t x = bits_from(a.data(), n, k);
    uint64_t y = bits_from(b.data(), size_of(b), k);
    Row r0{1, 0}, r1{0, 1};
    bool stepped = false;
    while (y > 0) {
        const uint64_t q = x / y;
        const uint64_t rem = x - q * y;
        // Nothing is lost below the leading bits when k is 0.
        const wide xlo = k ? r0.below() : 0, xhi = k ? r0.above() : 0;
        const wide ylo = k ? r1.below() : 0, yhi = k ? r1.above() : 0;
        const wide ymin = static_cast<wide>(y) - ylo;
        if (ymin <= 0) break;
        if (static_cast<wide>(q) * (static_cast<wide>(y) + yhi) > static_cast<wide>(x) - xlo) break;
        if (static_cast<wide>(x) + xhi >= static_cast<wide>(q + 1) * ymin) break;
        const wide p = r0.p - static_cast<wide>(q) * r1.p;
        const wide c = r0.c - static_cast<wide>(q) * r1.c;
        if (p > COFACTOR_LIMIT || p < -COFACTOR_LIMIT || c > COFACTOR_LIMIT || c < -COFACTOR_LIMIT) break;
        r0 = r1;
        r1 = Row{static_cast<int64_t>(p), static_cast<int64_t>(c)};
        x = y;
        y = rem;
        stepped = true;
    }
    if (stepped) {
        apply_rows(a, b, r0, r1);
        if (rows) {
            rows[0] = r0.p;
            rows[1] = r0.c;
            rows[2] = r1.p;
            rows[3] = r1.c;
        }
    }
    return stepped;
}

}  // namespace

void school_divide(uint32_t* u, int32_t nu, const uint32_t* v, int32_t nv, uint32_t* q) {
    const uint64_t v1 = v[nv - 1], v2 = v[nv - 2];
    const bool poll = private_operands && nu >= kPollDigits;
    // Quotient digits are guessed from the top two remainder digits and
    // corrected on the third: then the guess is the true digit or one too
    // large, the second case settled by adding v back.
    for (int32_t j = nu - nv - 1; j >= 0; j--) {
        if (poll && (j & 255) == 0) poll_interrupt();
        uint32_t* w = u + j;
        const uint64_t top = (static_cast<uint64_t>(w[nv]) << DIGIT_BITS) | w[nv - 1];
        uint64_t qhat = top / v1;
        uint64_t rhat = top % v1;
        while (qhat >= DIGIT_BASE || qhat * v2 > ((rhat << DIGIT_BITS) | w[nv - 2])) {
            qhat--;
            rhat += v1;
            if (rhat >= DIGIT_BASE) break;
        }
        // w[0 .. nv] -= qhat * v, the borrow kept as a signed carry. The
        // difference is formed before the carry joins it, so the loop's
        // dependency chain is one addition and one shift.
        int64_t carry = 0;
        for (int32_t i = 0; i < nv; i++) {
            const int64_t d = static_cast<int64_t>(w[i]) - static_cast<int64_t>(qhat * v[i]);
            const int64_t t = d + carry;
            w[i] = static_cast<uint32_t>(t & DIGIT_MASK);
            carry = t >> DIGIT_BITS;
        }
        int64_t head = static_cast<int64_t>(w[nv]) + carry;
        if (head < 0) {
            qhat--;
            uint32_t c = 0;
            for (int32_t i = 0; i < nv; i++) {
                const uint32_t t = w[i] + v[i] + c;
                w[i] = t & DIGIT_MASK;
                c = t >> DIGIT_BITS;
            }
            head += c;
        }
        w[nv] = static_cast<uint32_t>(head);   // 0: the remainder is below v
        if (q) q[j] = static_cast<uint32_t>(qhat);
    }
}

uint32_t mag_divmod_word(const uint32_t* a, int32_t n, uint32_t m, uint32_t* q) {
    uint64_t rem = 0;
    for (int32_t i = n - 1; i >= 0; i--) {
        const uint64_t cur = (rem << DIGIT_BITS) | a[i];
        if (q) q[i] = static_cast<uint32_t>(cur / m);
        rem = cur % m;
    }
    return static_cast<uint32_t>(rem);
}

void mag_divmod(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag* q, Mag& r) {
    na = mag_len(a, na);
    nb = mag_len(b, nb);
    if (mag_cmp(a, na, b, nb) < 0) {
        if (q) q->clear();
        r.assign(a, a + na);
        return;
    }
    if (nb == 1) {
        if (q) q->resize(static_cast<size_t>(na));
        const uint32_t rem = mag_divmod_word(a, na, b[0], q ? q->data() : nullptr);
        if (q) trim(*q);
        r.assign(rem ? 1 : 0, rem);
        return;
    }
    long_divide(a, na, b, nb, q, r);
}

bool mag_lehmer_step(Mag& a, Mag& b, int64_t rows[4]) { return lehmer_round(a, b, rows); }

void mag_gcd_reduce(Mag& a, Mag& b) {
    // Shared with later calls unless an interrupt may come in between.
    Mag own_r;
    Mag& r = operands_private() ? own_r : shared_buffer(2);
    trim(a);
    trim(b);
    if (mag_cmp(a.data(), size_of(a), b.data(), size_of(b)) < 0) a.swap(b);
    if (size_of(b) > half_gcd_cut) mag_half_gcd_reduce(a, b);
    while (b.size() > 1) {
        if (private_operands && size_of(a) >= kPollDigits) poll_interrupt();
        // No trusted step: the leading bits are too alike, or b is much
        // shorter than a and the quotient too large for a cofactor.
        if (!lehmer_round(a, b, nullptr)) {
            mag_divmod(a.data(), size_of(a), b.data(), size_of(b), nullptr, r);
            a.swap(b);
            b.swap(r);
        }
    }
}

}  // namespace digits
