#include "numbers/flat_int.h"

#include <numeric>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"

namespace {

void trim(FlatInt& x) {
    while (!x.mag.empty() && x.mag.back() == 0) x.mag.pop_back();
    if (x.mag.empty()) x.sign = 0;
}

int32_t len(const FlatInt& x) { return static_cast<int32_t>(x.mag.size()); }

// Scratch shared by the calls of one thread; no call keeps it across a return.
thread_local digits::Mag scratch_a, scratch_b, scratch_r;

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
    thread_local FlatInt t;
    flat_mul(q, b, t);
    flat_sub(a, t, r);
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
