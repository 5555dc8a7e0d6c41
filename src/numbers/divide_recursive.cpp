// Recursive division on the fast product: the quotient of a 2n-digit
// remainder by an n-digit divisor is found half by half, each half from the
// top half of the divisor alone and then corrected by one product of the
// half quotient with the divisor's low half. The work is then a small
// multiple of a product of n digits instead of n^2 digit steps.
//
// Everything runs in place on the normalised operands of long division
// (divide_impl.cpp); the recursion is logarithmic in depth, and its scratch
// (the correction products) comes from the heap.
#include <algorithm>

#include "numbers/digits_impl.h"
#include "toplevel/errors.h"

namespace digits {

// Measured (bench_numbers): below about this many digits the digit steps
// are as fast.
int32_t divide_cut = 64;

namespace {

void div_top_half(uint32_t* u, const uint32_t* v, int32_t n, int32_t k, uint32_t* q);

// u (2n digits, its top n below v) := u mod v, q (n digits) := u div v.
void div_double(uint32_t* u, const uint32_t* v, int32_t n, uint32_t* q) {
    if (n < divide_cut) {
        school_divide(u, 2 * n, v, n, q);
        return;
    }
    if (n >= newton_cut) {
        Reciprocal inv;
        if (newton_divide(u, v, n, q, inv)) return;
    }
    const int32_t lo = n / 2, hi = n - lo;
    // The upper quotient digits from the top n + hi digits; their remainder
    // (n digits) and u's low lo digits then give the lower ones.
    div_top_half(u + lo, v, n, hi, q + lo);
    div_top_half(u, v, n, lo, q);
}

// x (k digits) -= 1; x is not zero.
void decrement(uint32_t* x, int32_t k) {
    for (int32_t i = 0; i < k; i++) {
        if (x[i]) {
            x[i]--;
            return;
        }
        x[i] = DIGIT_MASK;
    }
}

// x (n digits) += y (ny <= n digits); returns the carry out of the top.
uint32_t add_in(uint32_t* x, int32_t n, const uint32_t* y, int32_t ny) {
    uint32_t c = 0;
    int32_t i = 0;
    for (; i < ny; i++) {
        const uint32_t t = x[i] + y[i] + c;
        x[i] = t & DIGIT_MASK;
        c = t >> DIGIT_BITS;
    }
    for (; c && i < n; i++) {
        const uint32_t t = x[i] + c;
        x[i] = t & DIGIT_MASK;
        c = t >> DIGIT_BITS;
    }
    return c;
}

// x (n digits) -= y (ny <= n digits); returns the borrow out of the top.
uint32_t sub_in(uint32_t* x, int32_t n, const uint32_t* y, int32_t ny) {
    int32_t borrow = 0;
    int32_t i = 0;
    for (; i < ny; i++) {
        const int32_t t = static_cast<int32_t>(x[i]) - static_cast<int32_t>(y[i]) - borrow;
        borrow = t < 0;
        x[i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
    }
    for (; borrow && i < n; i++) {
        const int32_t t = static_cast<int32_t>(x[i]) - borrow;
        borrow = t < 0;
        x[i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
    }
    return static_cast<uint32_t>(borrow);
}

// u (n + k digits, its top n below v, 1 <= k <= n) := u mod v and q (k
// digits) := u div v. The quotient is guessed from v's top k digits, whose
// head is normalised: the guess is then at most 2 too large, as the part of
// v it ignores is below 2^(28 n) <= 2 v.
void div_top_half(uint32_t* u, const uint32_t* v, int32_t n, int32_t k, uint32_t* q) {
    if (k < divide_cut) {
        school_divide(u, n + k, v, n, q);
        return;
    }
    if (k == n) {
        div_double(u, v, n, q);
        return;
    }
    const int32_t l = n - k;
    const uint32_t* v1 = v + l;
    // u's top k digits are at most v1; when equal, the guess is 2^(28k) - 1.
    int32_t i = k - 1;
    while (i >= 0 && u[n + i] == v1[i]) i--;
    if (i >= 0 && u[n + i] < v1[i]) {
        div_double(u + l, v1, k, q);   // leaves u's top k digits zero
    } else {
        // u[l .. n + k) - (2^(28k) - 1) v1 = u[l .. n) + v1.
        std::fill(q, q + k, static_cast<uint32_t>(DIGIT_MASK));
        std::fill(u + n, u + n + k, 0u);
        u[n] = add_in(u + l, k, v1, k);
    }
    // u -= q * v0; while negative, q -= 1 and u += v.
    const int32_t kq = mag_len(q, k), lv = mag_len(v, l);
    bool negative = false;
    if (kq > 0 && lv > 0) {
        Mag d;
        mag_mul(q, kq, v, lv, d);
        negative = sub_in(u, n + k, d.data(), mag_len(d.data(), kq + lv)) != 0;
    }
    while (negative) {
        decrement(q, k);
        negative = add_in(u, n + k, v, n) == 0;
    }
}

}  // namespace

void recursive_divide(uint32_t* u, int32_t nu, const uint32_t* v, int32_t nv, uint32_t* q) {
    // Blocks of at most nv quotient digits from the top: each block's
    // remainder is the top of the next one's dividend.
    Reciprocal inv;   // the reciprocal of v's top `block` digits, shared by the whole blocks
    const bool poll = private_operands && nu >= kPollDigits;
    // A quotient shorter than twice the divisor goes in blocks of half the
    // divisor's length when their reciprocal still pays: two blocks on half
    // the transform points cost less than one on the whole divisor.
    const int32_t half = (nv + 1) / 2;
    const int32_t block = nu - nv < 2 * nv && half >= newton_cut ? half : nv;
    for (int32_t m = nu - nv; m > 0;) {
        if (poll) poll_interrupt();
        const int32_t k = std::min(m, block);
        m -= k;
        if (k == block && block >= newton_cut && nv >= divide_cut && newton_divide_top(u + m, v, nv, k, q + m, inv))
            continue;
        div_top_half(u + m, v, nv, k, q + m);
    }
}

}  // namespace digits
