// Conversion of digit numbers to radix 10^8, and the radix-10^8 products and
// radix-R sums it rests on. Like the base-2^28 kernels, everything runs on
// contiguous magnitude arrays (least significant digit first); chains are
// read once on entry and written once on exit.
#include "numbers/base10.h"

#include <algorithm>
#include <map>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/tables.h"

// Measured (bench_base10 nttcut): where the transforms overtake Karatsuba.
int32_t base10_ntt_cut = 700;

namespace {

using digits::Mag;
using digits::mag_len;

constexpr uint64_t R8 = TEN_8;

// Pieces of at most this many base-2^28 digits are converted by repeated
// division, which is quadratic but has no multiplication overhead.
constexpr int32_t BASE10_DIVIDE_CUT = 9;

// Schoolbook rows accumulate exact 64-bit column sums and carry only every
// this many rows: each row adds below 10^16 to a column holding below 10^8
// after a carry pass, and 1000 * 10^16 + 10^8 < 2^64.
constexpr int32_t ROWS_PER_CARRY = 1000;

// ---------------------------------------------------------------- radix-R magnitudes

// r := a + b in radix R.
void add_mag(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t R, Mag& r) {
    if (na < nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    r.resize(static_cast<size_t>(na) + 1);
    uint32_t carry = 0;
    int32_t i = 0;
    for (; i < nb; i++) {
        uint32_t t = a[i] + b[i] + carry;
        carry = t >= R;
        r[i] = carry ? t - R : t;
    }
    for (; i < na; i++) {
        uint32_t t = a[i] + carry;
        carry = t >= R;
        r[i] = carry ? t - R : t;
    }
    r[na] = carry;
}

// x := x - y in radix R, for x >= y (y's digits beyond x's length are zero).
void sub_in(uint32_t* x, int32_t nx, const uint32_t* y, int32_t ny, uint32_t R) {
    ny = std::min(ny, nx);
    uint32_t borrow = 0;
    int32_t i = 0;
    for (; i < ny; i++) {
        uint32_t s = y[i] + borrow;
        borrow = x[i] < s;
        x[i] = borrow ? x[i] + R - s : x[i] - s;
    }
    for (; borrow && i < nx; i++) {
        borrow = x[i] == 0;
        x[i] = borrow ? R - 1 : x[i] - 1;
    }
}

// r := sa*A + sb*B in radix R; returns the sign of the result.
int signed_add(const Mag& a, int sa, const Mag& b, int sb, uint32_t R, Mag& r) {
    int32_t na = static_cast<int32_t>(a.size()), nb = static_cast<int32_t>(b.size());
    if (sb == 0) {
        r = a;
        return sa;
    }
    if (sa == 0) {
        r = b;
        return sb;
    }
    if (sa == sb) {
        add_mag(a.data(), na, b.data(), nb, R, r);
        return sa;
    }
    int c = digits::mag_cmp(a.data(), na, b.data(), nb);
    if (c == 0) {
        r.assign(1, 0);
        return 0;
    }
    const Mag& big = c > 0 ? a : b;
    const Mag& small = c > 0 ? b : a;
    r = big;
    sub_in(r.data(), static_cast<int32_t>(r.size()), small.data(), static_cast<int32_t>(small.size()), R);
    return c > 0 ? sa : sb;
}

// ---------------------------------------------------------------- radix-10^8 products

// r[0 .. na+nb) := a * b. Columns are summed exactly in 64 bits and carried
// in one pass per ROWS_PER_CARRY rows, so the inner loop is a plain
// multiply-add the compiler can vectorise.
thread_local std::vector<uint64_t> school_acc;

void school(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r) {
    if (na > nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    std::vector<uint64_t>& acc = school_acc;
    int32_t nr = na + nb;
    acc.assign(static_cast<size_t>(nr), 0);
    auto carry_pass = [&]() {
        uint64_t carry = 0;
        for (int32_t k = 0; k < nr; k++) {
            uint64_t t = acc[k] + carry;
            acc[k] = t % R8;
            carry = t / R8;
        }
    };
    int32_t pending = 0;
    for (int32_t i = 0; i < na; i++) {
        uint64_t ai = a[i];
        if (!ai) continue;
        uint64_t* col = acc.data() + i;
        for (int32_t j = 0; j < nb; j++) col[j] += ai * b[j];
        if (++pending == ROWS_PER_CARRY) {
            carry_pass();
            pending = 0;
        }
    }
    carry_pass();
    for (int32_t k = 0; k < nr; k++) r[k] = static_cast<uint32_t>(acc[k]);
}

bool use_schoolbook(int32_t n, int32_t m) {
    return n < BASE10_KARATSUBA_CUT || m < BASE10_KARATSUBA_CUT || n >= 2 * m || m >= 2 * n;
}

// r[off ..] += x, carries stopping at r's end (the total is known to fit).
void add_at(uint32_t* r, int32_t nr, const uint32_t* x, int32_t nx, int32_t off) {
    uint32_t carry = 0;
    int32_t i = 0;
    for (; i < nx && off + i < nr; i++) {
        uint32_t t = r[off + i] + x[i] + carry;
        carry = t >= R8;
        r[off + i] = carry ? t - static_cast<uint32_t>(R8) : t;
    }
    for (i += off; carry && i < nr; i++) {
        uint32_t t = r[i] + 1;
        carry = t >= R8;
        r[i] = carry ? 0 : t;
    }
}

// r[0 .. na+nb) := a * b: transforms for the longest operands, Karatsuba
// while both operands are long and of similar length.
void kara(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r) {
    int32_t nr = na + nb;
    na = std::max(1, mag_len(a, na));
    nb = std::max(1, mag_len(b, nb));
    std::fill(r + na + nb, r + nr, 0u);
    if (std::min(na, nb) >= base10_ntt_cut) {
        digits::mag_mul_ntt(a, na, b, nb, r, false, TEN_8);
        return;
    }
    if (use_schoolbook(na, nb)) {
        school(a, na, b, nb, r);
        return;
    }
    int32_t h = std::max(na / 2, nb / 2);
    const uint32_t *a1 = a + h, *b1 = b + h;
    int32_t na1 = na - h, nb1 = nb - h;
    int32_t na0 = std::max(1, mag_len(a, h)), nb0 = std::max(1, mag_len(b, h));

    Mag sa, sb;
    add_mag(a1, na1, a, na0, R8, sa);
    add_mag(b1, nb1, b, nb0, R8, sb);
    int32_t nsa = std::max(1, mag_len(sa.data(), static_cast<int32_t>(sa.size())));
    int32_t nsb = std::max(1, mag_len(sb.data(), static_cast<int32_t>(sb.size())));
    Mag z0(static_cast<size_t>(na0 + nb0)), z2(static_cast<size_t>(na1 + nb1));
    Mag z1(static_cast<size_t>(nsa + nsb));
    kara(a, na0, b, nb0, z0.data());
    kara(a1, na1, b1, nb1, z2.data());
    kara(sa.data(), nsa, sb.data(), nsb, z1.data());
    // The middle term (a1 + a0)(b1 + b0) - z0 - z2 is never negative.
    int32_t n1 = static_cast<int32_t>(z1.size());
    sub_in(z1.data(), n1, z0.data(), static_cast<int32_t>(z0.size()), R8);
    sub_in(z1.data(), n1, z2.data(), static_cast<int32_t>(z2.size()), R8);

    int32_t n = na + nb;
    std::fill(r, r + n, 0u);
    std::copy(z0.begin(), z0.end(), r);   // at most 2h digits
    std::copy(z2.begin(), z2.end(), r + 2 * h);
    add_at(r, n, z1.data(), n1, h);
}

void kara_mag(const Mag& a, const Mag& b, Mag& r) {
    r.resize(a.size() + b.size());
    kara(a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()), r.data());
}

// ---------------------------------------------------------------- conversion

// out := the base-2^28 magnitude a[0 .. n) in radix 10^8, by repeated
// division by 10^8 (empty for zero).
thread_local Mag divide_out_w;

void divide_out(const uint32_t* a, int32_t n, Mag& out) {
    Mag& w = divide_out_w;
    n = mag_len(a, n);
    w.assign(a, a + n);
    out.clear();
    while (n > 0) {
        uint64_t rem = 0;
        for (int32_t i = n - 1; i >= 0; i--) {
            uint64_t cur = (rem << DIGIT_BITS) | w[i];
            w[i] = static_cast<uint32_t>(cur / R8);
            rem = cur % R8;
        }
        out.push_back(static_cast<uint32_t>(rem));
        while (n > 0 && w[n - 1] == 0) n--;
    }
}

// The powers 2^(28e) in radix 10^8 needed by one conversion. Up to e = 130
// they come from `two_28`; beyond, as the product of the powers for the two
// halves of e, each computed once. The halving splits of the conversion ask
// for at most two neighbouring exponents per level, so the memo stays small
// and every power costs one balanced product.
class PowerCache {
public:
    const Mag& get(int32_t e) {
        auto it = memo_.find(e);
        if (it != memo_.end()) return it->second;
        Mag p;
        if (e <= TWO_28_COUNT) {
            const imag* t = two_28[e - 1];
            digits::read_chain(t->head, t->count, p);
        } else {
            const Mag& lo = get(e / 2);
            const Mag& hi = get(e - e / 2);
            kara_mag(hi, lo, p);
            p.resize(static_cast<size_t>(std::max(1, mag_len(p.data(), static_cast<int32_t>(p.size())))));
        }
        return memo_.emplace(e, std::move(p)).first->second;
    }

private:
    std::map<int32_t, Mag> memo_;   // node-based: references stay valid as it grows
};

// out := the base-2^28 magnitude a[0 .. n) in radix 10^8 (empty for zero).
// The high half H and the low half L are converted apart and joined as
// H * 2^(28 * len(L)) + L.
void convert(const uint32_t* a, int32_t n, PowerCache& powers, Mag& out) {
    n = mag_len(a, n);
    if (n <= BASE10_DIVIDE_CUT) {
        divide_out(a, n, out);
        return;
    }
    int32_t h = n / 2;
    int32_t low = n - h;
    Mag H, L;
    convert(a + low, h, powers, H);
    convert(a, low, powers, L);
    kara_mag(H, powers.get(low), out);
    add_at(out.data(), static_cast<int32_t>(out.size()), L.data(), static_cast<int32_t>(L.size()), 0);
}

thread_local Mag ma, mb, mr;

[[maybe_unused]] const bool scratch_noted = digits::note_scratch([] {
    digits::give_back(school_acc);
    digits::give_back(divide_out_w);
    digits::give_back(ma);
    digits::give_back(mb);
    digits::give_back(mr);
});

}  // namespace

// ---------------------------------------------------------------- public routines

void make_base_10(imag* n, imag* out) {
    digits::read_chain(n->head, n->count, ma);
    divide_out(ma.data(), n->count, mr);
    digits::write_number(out, mr, 1);
}

void verybig_base_10(numnode* head, [[maybe_unused]] numnode* last, int32_t len, imag* out) {
    digits::read_chain(head, len, ma);
    PowerCache powers;
    Mag result;
    convert(ma.data(), len, powers, result);
    digits::write_number(out, result, 1);
}

namespace {

void product(imag* a, imag* b, imag* c, bool schoolbook) {
    int sa = digits::read_chain(a->head, a->count, ma);
    int sb = digits::read_chain(b->head, b->count, mb);
    if (sa == 0 || sb == 0) {
        mr.assign(1, 0);
    } else {
        int32_t na = mag_len(ma.data(), a->count), nb = mag_len(mb.data(), b->count);
        mr.resize(static_cast<size_t>(na) + nb);
        if (schoolbook)
            school(ma.data(), na, mb.data(), nb, mr.data());
        else
            kara(ma.data(), na, mb.data(), nb, mr.data());
    }
    digits::write_number(c, mr, sa * sb);
}

}  // namespace

void base_10_fast_mult(imag* a, imag* b, imag* c) { product(a, b, c, false); }

void base_10_multiply(imag* a, imag* b, imag* c) { product(a, b, c, true); }

void simp_base_10_mult(imag* x, int32_t d, imag* out) {
    int sx = digits::read_chain(x->head, x->count, ma);
    int sd = (d > 0) - (d < 0);
    uint64_t md = static_cast<uint64_t>(d < 0 ? -static_cast<int64_t>(d) : d);
    int32_t n = x->count;
    mr.resize(static_cast<size_t>(n) + 1);
    uint64_t carry = 0;
    for (int32_t i = 0; i < n; i++) {
        uint64_t t = ma[i] * md + carry;
        mr[i] = static_cast<uint32_t>(t % R8);
        carry = t / R8;
    }
    mr[n] = static_cast<uint32_t>(carry);
    digits::write_number(out, mr, sx * sd);
}

void summ(imag* a, imag* b, imag* c, int32_t R) {
    int sa = digits::read_chain(a->head, a->count, ma);
    int sb = digits::read_chain(b->head, b->count, mb);
    int s = signed_add(ma, sa, mb, sb, static_cast<uint32_t>(R), mr);
    digits::write_number(c, mr, s);
}

void diff(numnode* a, int32_t alen, imag* b, imag* c, int32_t R) {
    int sa = digits::read_chain(a, alen, ma);
    int sb = digits::read_chain(b->head, b->count, mb);
    int s = signed_add(ma, sa, mb, -sb, static_cast<uint32_t>(R), mr);
    digits::write_number(c, mr, s);
}
