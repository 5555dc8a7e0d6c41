#include "numbers/flat_int.h"

#include <algorithm>
#include <numeric>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"

namespace {

void trim(FlatInt& x) {
    while (!x.mag.empty() && x.mag.back() == 0) x.mag.pop_back();
    if (x.mag.empty()) x.sign = 0;
}

int32_t len(const FlatInt& x) { return static_cast<int32_t>(x.mag.size()); }

// x - q b with q or b this short takes one pass per digit.
constexpr int32_t kShortDigits = 4;

// Scratch shared by the calls of one thread; no call keeps it across a return.
thread_local digits::Mag scratch_a, scratch_b, scratch_r;
thread_local FlatInt sub_mul_t, sub_mul_x;

[[maybe_unused]] const bool scratch_noted = digits::note_scratch([] {
    digits::give_back(scratch_a);
    digits::give_back(scratch_b);
    digits::give_back(scratch_r);
    sub_mul_t = FlatInt();
    sub_mul_x = FlatInt();
});

}  // namespace

void flat_read(const imag* x, FlatInt& out) {
    out.sign = digits::read_chain(x->head, x->count, out.mag);
    trim(out);
}

void flat_write(const FlatInt& x, imag* out) { digits::write_number(out, x.mag, x.sign); }

void flat_set(int32_t v, FlatInt& out) {
    out.mag.clear();
    out.sign = v > 0 ? 1 : v < 0 ? -1 : 0;
    uint32_t m = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    for (; m; m >>= DIGIT_BITS) out.mag.push_back(m & DIGIT_MASK);
}

int flat_cmp_abs(const FlatInt& a, const FlatInt& b) {
    return digits::mag_cmp(a.mag.data(), len(a), b.mag.data(), len(b));
}

void flat_mul(const FlatInt& a, const FlatInt& b, FlatInt& r) {
    if (!a.sign || !b.sign) {
        r.sign = 0;
        r.mag.clear();
        return;
    }
    digits::mag_mul(a.mag.data(), len(a), b.mag.data(), len(b), r.mag);
    r.sign = a.sign * b.sign;
    trim(r);
}

void flat_sub(const FlatInt& a, const FlatInt& b, FlatInt& r) {
    if (!b.sign) {
        r = a;
        return;
    }
    if (!a.sign) {
        r.mag = b.mag;
        r.sign = -b.sign;
        return;
    }
    if (a.sign != b.sign) {
        digits::mag_add(a.mag.data(), len(a), b.mag.data(), len(b), r.mag);
        r.sign = a.sign;
    } else if (flat_cmp_abs(a, b) >= 0) {
        digits::mag_sub(a.mag.data(), len(a), b.mag.data(), len(b), r.mag);
        r.sign = a.sign;
    } else {
        digits::mag_sub(b.mag.data(), len(b), a.mag.data(), len(a), r.mag);
        r.sign = -a.sign;
    }
    trim(r);
}

bool flat_div(const FlatInt& a, const FlatInt& d, FlatInt& q) {
    const int sign = a.sign * d.sign;
    if (!a.sign) {
        q.sign = 0;
        q.mag.clear();
        return true;
    }
    if (flat_unit(d)) {
        if (&q != &a) q.mag = a.mag;
        q.sign = sign;
        return true;
    }
    digits::mag_divmod(a.mag.data(), len(a), d.mag.data(), len(d), &scratch_r, scratch_a);
    const bool exact = digits::mag_len(scratch_a.data(), static_cast<int32_t>(scratch_a.size())) == 0;
    q.mag.swap(scratch_r);
    q.sign = sign;
    trim(q);
    return exact;
}

void flat_rem(const FlatInt& a, const FlatInt& d, FlatInt& r) {
    if (!a.sign) {
        r.sign = 0;
        r.mag.clear();
        return;
    }
    digits::mag_divmod(a.mag.data(), len(a), d.mag.data(), len(d), nullptr, scratch_a);
    r.mag.swap(scratch_a);
    r.sign = a.sign;
    trim(r);
}

void flat_sub_mul(const FlatInt& a, const FlatInt& q, const FlatInt& b, FlatInt& r) {
    FlatInt& t = sub_mul_t;
    flat_mul(q, b, t);
    flat_sub(a, t, r);
}

void flat_sub_digit_times(FlatInt& x, uint32_t digit, const FlatInt& l, int ps, size_t shift) {
    const uint64_t w = digit;
    const size_t nl = l.mag.size();
    const uint32_t* ld = l.mag.data();
    // x only grows by appending: a resize on every call cost more than the
    // arithmetic in the pivot phases' long runs of these.
    if (x.mag.size() < shift) x.mag.resize(shift, 0u);
    const size_t nx = x.mag.size();
    const size_t common = std::min(nl, nx - shift);
    if (x.sign != ps) {
        // |x| grows by w x |l|; a zero x takes the product's opposite sign.
        if (!x.sign) x.sign = -ps;
        uint32_t* xd = x.mag.data() + shift;
        uint64_t carry = 0;
        size_t j = 0;
        for (; j < common; j++) {
            const uint64_t t = xd[j] + w * ld[j] + carry;
            xd[j] = static_cast<uint32_t>(t & DIGIT_MASK);
            carry = t >> DIGIT_BITS;
        }
        for (; j < nl; j++) {
            const uint64_t t = w * ld[j] + carry;
            x.mag.push_back(static_cast<uint32_t>(t & DIGIT_MASK));
            carry = t >> DIGIT_BITS;
        }
        // The carry runs on only while it lasts.
        for (size_t i = shift + nl; carry && i < x.mag.size(); i++) {
            const uint64_t t = x.mag[i] + carry;
            x.mag[i] = static_cast<uint32_t>(t & DIGIT_MASK);
            carry = t >> DIGIT_BITS;
        }
        if (carry) x.mag.push_back(static_cast<uint32_t>(carry));
        trim(x);
        return;
    }
    // |x| - w x |l| with a signed carry (arithmetic shifts); a carry left at
    // the top means the product was the larger: the digits are then
    // complemented.
    int64_t carry = 0;
    {
        uint32_t* xd = x.mag.data() + shift;
        for (size_t j = 0; j < common; j++) {
            const int64_t t = static_cast<int64_t>(xd[j]) - static_cast<int64_t>(w * ld[j]) + carry;
            xd[j] = static_cast<uint32_t>(t & DIGIT_MASK);
            carry = t >> DIGIT_BITS;
        }
    }
    for (size_t j = common; j < nl; j++) {
        const int64_t t = carry - static_cast<int64_t>(w * ld[j]);
        x.mag.push_back(static_cast<uint32_t>(t & DIGIT_MASK));
        carry = t >> DIGIT_BITS;
    }
    const size_t n = x.mag.size();
    uint32_t* xd = x.mag.data();
    for (size_t i = shift + nl; carry && i < n; i++) {
        const int64_t t = static_cast<int64_t>(xd[i]) + carry;
        xd[i] = static_cast<uint32_t>(t & DIGIT_MASK);
        carry = t >> DIGIT_BITS;
    }
    if (carry) {
        // The value is D + carry B^n with D the n digits held and carry < 0:
        // |value| = (-carry) B^n - D, that is B^n - D below and -carry less
        // the borrow on top.
        int32_t b = 0;
        for (size_t k = 0; k < n; k++) {
            const int32_t t = -static_cast<int32_t>(xd[k]) - b;
            b = t < 0;
            xd[k] = static_cast<uint32_t>(t + (b << DIGIT_BITS));
        }
        const int64_t top = -carry - b;
        if (top) x.mag.push_back(static_cast<uint32_t>(top));
        x.sign = -x.sign;
    }
    trim(x);
}

void flat_sub_mul_to(FlatInt& x, const FlatInt& q, const FlatInt& b) {
    if (!q.sign || !b.sign) return;
    if (q.mag.size() == 1 || b.mag.size() == 1) {
        const bool qw = q.mag.size() == 1;
        flat_sub_digit_times(x, qw ? q.mag[0] : b.mag[0], qw ? b : q, q.sign * b.sign);
        return;
    }
    const bool q_short = q.mag.size() <= b.mag.size();
    const FlatInt& sh = q_short ? q : b;
    const FlatInt& lo = q_short ? b : q;
    if (sh.mag.size() <= kShortDigits) {
        // One pass per digit of the short operand, each at its place.
        const int ps = q.sign * b.sign;
        for (size_t i = 0; i < sh.mag.size(); i++)
            if (sh.mag[i]) flat_sub_digit_times(x, sh.mag[i], lo, ps, i);
        return;
    }
    FlatInt& t = sub_mul_x;
    flat_mul(q, b, t);
    if (!t.sign) return;
    if (!x.sign) {
        x.mag = t.mag;
        x.sign = -t.sign;
        return;
    }
    const size_t nt = t.mag.size();
    uint32_t* xd;
    if (x.sign != t.sign) {
        // |x| grows by |t|.
        const size_t n = std::max(x.mag.size(), nt);
        x.mag.resize(n + 1, 0u);
        xd = x.mag.data();
        uint32_t carry = 0;
        for (size_t i = 0; i < n; i++) {
            const uint32_t v = xd[i] + (i < nt ? t.mag[i] : 0u) + carry;
            xd[i] = v & DIGIT_MASK;
            carry = v >> DIGIT_BITS;
        }
        xd[n] = carry;
    } else if (flat_cmp_abs(x, t) >= 0) {
        xd = x.mag.data();
        int32_t borrow = 0;
        for (size_t i = 0; i < x.mag.size() && (i < nt || borrow); i++) {
            const int32_t v = static_cast<int32_t>(xd[i]) - static_cast<int32_t>(i < nt ? t.mag[i] : 0u) - borrow;
            borrow = v < 0;
            xd[i] = static_cast<uint32_t>(v + (borrow << DIGIT_BITS));
        }
    } else {
        // |t| - |x|, the sign turned.
        x.mag.resize(nt, 0u);
        xd = x.mag.data();
        int32_t borrow = 0;
        for (size_t i = 0; i < nt; i++) {
            const int32_t v = static_cast<int32_t>(t.mag[i]) - static_cast<int32_t>(xd[i]) - borrow;
            borrow = v < 0;
            xd[i] = static_cast<uint32_t>(v + (borrow << DIGIT_BITS));
        }
        x.sign = -x.sign;
    }
    trim(x);
}

void flat_gcd(const FlatInt& a, const FlatInt& b, FlatInt& g) {
    scratch_a = a.mag;
    scratch_b = b.mag;
    digits::mag_gcd_reduce(scratch_a, scratch_b);
    if (digits::mag_len(scratch_b.data(), static_cast<int32_t>(scratch_b.size())) == 0) {
        g.mag.swap(scratch_a);
    } else {
        const uint32_t y = scratch_b[0];
        const uint32_t t = digits::mag_divmod_word(scratch_a.data(), static_cast<int32_t>(scratch_a.size()), y, nullptr);
        g.mag.assign(1, std::gcd(y, t));
    }
    g.sign = 1;
    trim(g);
}
