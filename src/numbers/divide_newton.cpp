// Division through a reciprocal: X close to B^(2n) / v (B the digit base)
// is found by Newton's iteration, each step doubling the digits from a
// reciprocal of v's top half, and a 2n-digit dividend is then divided by
// one product for the quotient and one for the remainder. Products whose
// result is known to lie near a given value only need their low digits:
// they are taken modulo B^L - 1 by cyclic transforms of half the length.
// The estimate is corrected by adding or taking v, so the quotient and
// remainder are exact whatever small error the reciprocal carries.
#include <algorithm>

#include "numbers/digits_impl.h"

namespace digits {

// Measured (bench_numbers newtoncut): from about this divisor length the
// reciprocal beats the recursive steps.
int32_t newton_cut = 1500;

namespace {

// Reciprocals of at most this many digits are found by the digit steps.
constexpr int32_t kRecipBase = 24;

inline int32_t size_of(const Mag& x) { return static_cast<int32_t>(x.size()); }

// out (L digits) := x mod (B^L - 1), below B^L - 1.
void fold(const uint32_t* x, int32_t nx, int32_t L, uint32_t* out) {
    std::fill(out, out + L, 0u);
    uint32_t carry = 0;
    for (int32_t off = 0; off < nx; off += L) {
        const int32_t k = std::min(L, nx - off);
        for (int32_t i = 0; i < L && (i < k || carry); i++) {
            const uint32_t t = out[i] + (i < k ? x[off + i] : 0u) + carry;
            out[i] = t & DIGIT_MASK;
            carry = t >> DIGIT_BITS;
        }
    }
    while (carry) {
        for (int32_t i = 0; i < L && carry; i++) {
            const uint32_t t = out[i] + carry;
            out[i] = t & DIGIT_MASK;
            carry = t >> DIGIT_BITS;
        }
    }
    // B^L - 1 itself is 0.
    if (std::all_of(out, out + L, [](uint32_t d) { return d == DIGIT_MASK; })) std::fill(out, out + L, 0u);
}

// The modulus B^L - 1 for products of na by nb digits known to within
// B^L / 2 of a given value, L at least l_min and covering both operands,
// and the points of the cyclic transforms that take products modulo it.
struct Wrap {
    int32_t L;
    size_t points;
};
Wrap wrap_for(int32_t l_min, int32_t na, int32_t nb) {
    const size_t points = ntt_wrap_points(std::max({l_min, na, nb}));
    return {ntt_wrap_digits(points), points};
}

// The transforms of x (nx digits) at `points` points, wrapped or not, in f
// unless f already holds them.
const NttForm& form_of(const uint32_t* x, int32_t nx, size_t points, NttForm& f, bool wrapped) {
    if (f.n != points || f.digits != ntt_form_digits(points, wrapped)) ntt_form(x, nx, points, f, wrapped);
    return f;
}

// r (L digits) := a * b mod (B^L - 1), below B^L - 1, from the operands'
// wrapped transforms on the points that make that modulus.
void mul_wrapped_forms(const NttForm& fa, const NttForm& fb, int32_t L, Mag& r) {
    Mag t;
    ntt_sum_of_products(fa, fb, 1, nullptr, nullptr, 0, t);
    r.assign(static_cast<size_t>(L), 0u);
    if (!t.empty()) fold(t.data(), size_of(t), L, r.data());
}

// Whether the transforms run for a product of na by nb digits.
bool transformed(int32_t na, int32_t nb) { return std::min(na, nb) >= ntt_cut; }

// r (L digits) := a * b mod (B^L - 1), below B^L - 1.
void mul_wrapped(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, const Wrap& w, Mag& r) {
    const int32_t L = w.L;
    r.assign(static_cast<size_t>(L), 0u);
    if (std::min(na, nb) >= ntt_cut) {
        mag_mul_ntt_wrapped(a, na, b, nb, r.data(), w.points, private_operands && L >= kPollDigits);
        Mag t(r);
        fold(t.data(), L, L, r.data());
    } else {
        Mag t;
        mag_mul(a, na, b, nb, t);
        fold(t.data(), size_of(t), L, r.data());
    }
}

// x := x - y mod (B^L - 1), both L digits below B^L - 1.
void sub_wrapped(Mag& x, const Mag& y) {
    const int32_t L = size_of(x);
    int32_t borrow = 0;
    for (int32_t i = 0; i < L; i++) {
        const int32_t t = static_cast<int32_t>(x[i]) - static_cast<int32_t>(y[i]) - borrow;
        borrow = t < 0;
        x[i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
    }
    // A borrow added B^L, one more than the modulus.
    for (int32_t i = 0; borrow && i < L; i++) {
        if (x[i]) {
            x[i]--;
            borrow = 0;
        } else {
            x[i] = DIGIT_MASK;
        }
    }
}

// Reads the residue x as the integer of least magnitude it stands for:
// returns its sign and leaves its magnitude in x (trimmed). The modulus
// minus x is x's digits complemented.
int signed_value(Mag& x) {
    const int32_t L = size_of(x);
    int sign = 1;
    if (x[L - 1] >> (DIGIT_BITS - 1)) {
        sign = -1;
        for (auto& d : x) d = DIGIT_MASK - d;
    }
    x.resize(static_cast<size_t>(mag_len(x.data(), L)));
    return x.empty() ? 0 : sign;
}

// x (nx digits) += y at digit offset off; the sum fits.
void add_at(uint32_t* x, int32_t nx, const uint32_t* y, int32_t ny, int32_t off) {
    uint32_t c = 0;
    int32_t i = 0;
    for (; i < ny; i++) {
        const uint32_t t = x[off + i] + y[i] + c;
        x[off + i] = t & DIGIT_MASK;
        c = t >> DIGIT_BITS;
    }
    for (; c && off + i < nx; i++) {
        const uint32_t t = x[off + i] + c;
        x[off + i] = t & DIGIT_MASK;
        c = t >> DIGIT_BITS;
    }
}

// x (nx digits) -= y at digit offset off; the difference is not negative.
void sub_at(uint32_t* x, int32_t nx, const uint32_t* y, int32_t ny, int32_t off) {
    int32_t borrow = 0;
    int32_t i = 0;
    for (; i < ny; i++) {
        const int32_t t = static_cast<int32_t>(x[off + i]) - static_cast<int32_t>(y[i]) - borrow;
        borrow = t < 0;
        x[off + i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
    }
    for (; borrow && off + i < nx; i++) {
        const int32_t t = static_cast<int32_t>(x[off + i]) - borrow;
        borrow = t < 0;
        x[off + i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
    }
}

// x (n + 2 digits) := about B^(2n) / v for the normalised n-digit v,
// within a few units. When the last step's cyclic product is transformed,
// v_form (when given) receives v's transforms from it.
void reciprocal(const uint32_t* v, int32_t n, Mag& x, NttForm* v_form = nullptr) {
    x.assign(static_cast<size_t>(n) + 2, 0u);
    if (n == 1) {
        const uint64_t q = (uint64_t{1} << (2 * DIGIT_BITS)) / v[0];
        x[0] = static_cast<uint32_t>(q & DIGIT_MASK);
        x[1] = static_cast<uint32_t>(q >> DIGIT_BITS);
        return;
    }
    if (n <= kRecipBase) {
        // B^(2n) / v = B^n + (B^n - v) B^n / v, where B^n - v <= v as v's
        // head has its top bit set; equality is v = B^n / 2.
        Mag u(static_cast<size_t>(2 * n), 0u);
        // B^n - v: the complement of v plus one.
        int32_t carry = 1;
        for (int32_t i = 0; i < n; i++) {
            const uint32_t t = DIGIT_MASK - v[i] + static_cast<uint32_t>(carry);
            u[n + i] = t & DIGIT_MASK;
            carry = static_cast<int32_t>(t >> DIGIT_BITS);
        }
        if (mag_cmp(u.data() + n, n, v, n) == 0) {
            x[n] = 2;
            return;
        }
        school_divide(u.data(), 2 * n, v, n, x.data());
        x[n] = 1;
        return;
    }
    // X_h from v's top h digits; then X = X_h B^(n-h) + X_h E / B^(2h)
    // with E = B^(n+h) - v X_h, small beside B^(n+h).
    const int32_t h = n / 2 + 1, lo = n - h;
    Mag xh;
    reciprocal(v + lo, h, xh);
    const int32_t nxh = mag_len(xh.data(), h + 2);
    const Wrap w = wrap_for(n + 3, n, nxh);
    const int32_t L = w.L;
    Mag t, e(static_cast<size_t>(L), 0u);
    // X_h is met again in the correction's product: its transforms are
    // kept when the two products run on the same points.
    NttForm fxh, own_v;
    if (transformed(n, nxh)) {
        NttForm& fv = v_form ? *v_form : own_v;
        ntt_form(v, n, w.points, fv, true);
        ntt_form(xh.data(), nxh, w.points, fxh, true);
        mul_wrapped_forms(fv, fxh, L, t);
    } else {
        mul_wrapped(v, n, xh.data(), nxh, w, t);
    }
    e[static_cast<size_t>((n + h) % L)] = 1;
    sub_wrapped(e, t);
    const int sign = signed_value(e);
    std::copy(xh.begin(), xh.begin() + nxh, x.begin() + lo);
    // E's digits below B^(h-2) move the correction by well under a unit.
    const int32_t drop = h - 2;
    if (sign == 0 || size_of(e) <= drop) return;
    Mag p;
    const int32_t ne = size_of(e) - drop;
    // X_h's wrapped forms serve when forms on those points hold as many
    // digits to a coefficient as the wrapped ones do.
    if (fxh.n && fxh.n == ntt_points(nxh, ne) && fxh.digits == ntt_form_digits(fxh.n, false) &&
        transformed(nxh, ne)) {
        NttForm fe;
        ntt_form(e.data() + drop, ne, fxh.n, fe);
        ntt_sum_of_products(fxh, fe, 1, nullptr, nullptr, 0, p);
    } else {
        mag_mul(xh.data(), nxh, e.data() + drop, ne, p);
    }
    const int32_t shift = 2 * h - drop;
    if (size_of(p) <= shift) return;
    const int32_t np = mag_len(p.data() + shift, size_of(p) - shift);
    if (sign > 0) add_at(x.data(), n + 2, p.data() + shift, np, 0);
    else sub_at(x.data(), n + 2, p.data() + shift, np, 0);
}

// x (k digits) += 1 or -= 1; false when it would leave 0 .. B^k - 1.
bool step_by_one(uint32_t* x, int32_t k, bool up) {
    for (int32_t i = 0; i < k; i++) {
        if (up ? x[i] != DIGIT_MASK : x[i] != 0) {
            x[i] = up ? x[i] + 1 : x[i] - 1;
            return true;
        }
        x[i] = up ? 0 : DIGIT_MASK;
    }
    return false;
}

}  // namespace

bool newton_divide(uint32_t* u, const uint32_t* v, int32_t n, uint32_t* q, Reciprocal& rec) {
    return newton_divide_top(u, v, n, n, q, rec);
}

bool newton_divide_top(uint32_t* u, const uint32_t* v, int32_t n, int32_t k, uint32_t* q, Reciprocal& rec) {
    // v's top k digits: their reciprocal, about B^(2k) / v_top, serves as
    // B^(n+k) / v to well within a unit of the k-digit quotient, as v lies
    // within B^(n-k) of v_top B^(n-k) and v_top is at least B^k / 2.
    const uint32_t* top = v + (n - k);
    if (rec.x.empty()) reciprocal(top, k, rec.x, k == n ? &rec.v_form : nullptr);
    const Mag& inv = rec.x;
    const int32_t ninv = mag_len(inv.data(), size_of(inv));
    // q0 = U_hi X / B^k with U_hi = u div B^n: within a few units of the
    // quotient, as u mod B^n is below 2 v.
    Mag p;
    const int32_t nhi = mag_len(u + n, k);
    Mag q0(static_cast<size_t>(k), 0u);
    if (nhi > 0) {
        if (transformed(nhi, ninv)) {
            // X's transforms serve every block of this divisor.
            const size_t points = ntt_points(nhi, ninv);
            const NttForm& fx = form_of(inv.data(), ninv, points, rec.x_form, false);
            NttForm fu;
            ntt_form(u + n, nhi, points, fu);
            ntt_sum_of_products(fu, fx, 1, nullptr, nullptr, 0, p);
        } else {
            mag_mul(u + n, nhi, inv.data(), ninv, p);
        }
        const int32_t np = mag_len(p.data(), size_of(p));
        if (np > 2 * k) {
            std::fill(q0.begin(), q0.end(), static_cast<uint32_t>(DIGIT_MASK));   // the quotient is below B^k
        } else if (np > k) {
            std::copy(p.begin() + k, p.begin() + np, q0.begin());
        }
    }
    // r = u - q0 v, known to within a few v of 0: its low digits suffice.
    const int32_t nq = mag_len(q0.data(), k);
    const Wrap w = wrap_for(n + 3, k, n);
    const int32_t L = w.L;
    Mag r(static_cast<size_t>(L)), t;
    fold(u, n + k, L, r.data());
    if (nq > 0) {
        if (transformed(nq, n)) {
            const NttForm& fv = form_of(v, n, w.points, rec.v_form, true);
            NttForm fq;
            ntt_form(q0.data(), nq, w.points, fq, true);
            mul_wrapped_forms(fq, fv, L, t);
        } else {
            mul_wrapped(q0.data(), nq, v, n, w, t);
        }
        sub_wrapped(r, t);
    }
    int sign = signed_value(r);
    Mag s;
    for (int tries = 0;; tries++) {
        if (tries > 16) return false;
        if (sign < 0) {
            // r := r + v, r negative.
            if (!step_by_one(q0.data(), k, false)) return false;
            if (mag_cmp(r.data(), size_of(r), v, n) > 0) {
                mag_sub(r.data(), size_of(r), v, n, s);
            } else {
                mag_sub(v, n, r.data(), size_of(r), s);
                sign = 1;
            }
            r.swap(s);
            if (mag_len(r.data(), size_of(r)) == 0) sign = 0;
        } else if (mag_cmp(r.data(), size_of(r), v, n) >= 0) {
            if (!step_by_one(q0.data(), k, true)) return false;
            mag_sub(r.data(), size_of(r), v, n, s);
            r.swap(s);
        } else {
            break;
        }
    }
    const int32_t nr = mag_len(r.data(), size_of(r));
    std::copy(r.begin(), r.begin() + nr, u);
    std::fill(u + nr, u + n + k, 0u);
    std::copy(q0.begin(), q0.end(), q);
    return true;
}

}  // namespace digits
