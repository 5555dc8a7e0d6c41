// Products of digit numbers: by one digit, schoolbook, on 64-bit words
// above `words_cut` (multiply_words.cpp), Karatsuba on digits above the
// cut-off `multcut` when the word path is held off, and number-theoretic
// transforms above `ntt_cut` (multiply_ntt.cpp). Squares take paths of
// their own below the word path. The kernels run on magnitude arrays.
#include <algorithm>
#include <utility>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

namespace digits {

thread_local bool private_operands = false;

namespace {
std::vector<uint64_t>& school_acc() {
    thread_local std::vector<uint64_t> acc;
    return acc;
}

std::vector<void (*)()>& scratch_releases() {
    static std::vector<void (*)()> every;
    return every;
}
}  // namespace

bool note_scratch(void (*release)()) {
    scratch_releases().push_back(release);
    return true;
}
bool operands_private() { return private_operands; }
void set_operands_private(bool on) { private_operands = on; }

void mag_mul_school(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r) {
    // Digit products (below 2^56) are summed in words without carrying, so
    // the rows have no chain from one digit to the next; 255 rows on top of
    // a digit stay below 2^64, and the carries are settled after each run
    // of that many. Nothing in here stops for an interrupt: the buffer is
    // the thread's own.
    constexpr int32_t kRows = 255;
    // The rows run over the shorter operand and each run's carries stop
    // where its rows end: a long number times a short one stays linear.
    if (na > nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    std::vector<uint64_t>& acc = school_acc();
    const size_t n = static_cast<size_t>(na) + nb;
    acc.assign(n, 0);
    for (int32_t i0 = 0; i0 < na; i0 += kRows) {
        const int32_t i1 = std::min(na, i0 + kRows);
        for (int32_t i = i0; i < i1; i++) {
            const uint64_t ai = a[i];
            if (!ai) continue;
            uint64_t* ri = acc.data() + i;
            for (int32_t j = 0; j < nb; j++) ri[j] += ai * b[j];
        }
        // Below i0 every word is settled already; past the run's last row
        // nothing but its carry arrives.
        const size_t last = static_cast<size_t>(i1) + nb - 1;
        uint64_t carry = 0;
        for (size_t k = static_cast<size_t>(i0); k < n; k++) {
            const uint64_t t = acc[k] + carry;
            acc[k] = t & DIGIT_MASK;
            carry = t >> DIGIT_BITS;
            if (k >= last && !carry) break;
        }
    }
    for (size_t k = 0; k < n; k++) r[k] = static_cast<uint32_t>(acc[k]);
}

void mag_sqr_school(const uint32_t* a, int32_t n, uint32_t* r) {
    std::fill(r, r + 2 * n, 0u);
    for (int32_t i = 0; i + 1 < n; i++) {
        const uint64_t ai = a[i];
        if (!ai) continue;
        uint64_t carry = 0;
        for (int32_t j = i + 1; j < n; j++) {
            const uint64_t t = r[i + j] + ai * a[j] + carry;
            r[i + j] = static_cast<uint32_t>(t & DIGIT_MASK);
            carry = t >> DIGIT_BITS;
        }
        r[i + n] = static_cast<uint32_t>(carry);
    }
    // Twice the cross products, plus the squares on the diagonal.
    uint64_t carry = 0;
    for (int32_t i = 0; i < n; i++) {
        const uint64_t sq = static_cast<uint64_t>(a[i]) * a[i];
        uint64_t t = 2 * static_cast<uint64_t>(r[2 * i]) + (sq & DIGIT_MASK) + carry;
        r[2 * i] = static_cast<uint32_t>(t & DIGIT_MASK);
        carry = t >> DIGIT_BITS;
        t = 2 * static_cast<uint64_t>(r[2 * i + 1]) + (sq >> DIGIT_BITS) + carry;
        r[2 * i + 1] = static_cast<uint32_t>(t & DIGIT_MASK);
        carry = t >> DIGIT_BITS;
    }
}

// Measured (bench_numbers slices): a product of a short operand by a much
// longer one is cut into balanced products from about this length on.
int32_t unbalanced_cut = 32;

namespace {

void karatsuba(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r);

// r (na + nb digits) := a * b for nb >= 2 na: b is taken in slices of na
// digits, each a balanced product added in at its place.
void sliced(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r) {
    std::fill(r, r + na + nb, 0u);
    Mag t(static_cast<size_t>(2 * na));
    for (int32_t off = 0; off < nb; off += na) {
        const int32_t k = std::min(na, nb - off);
        karatsuba(a, na, b + off, k, t.data());
        uint32_t carry = 0;
        int32_t i = 0;
        for (; i < na + k; i++) {
            const uint32_t s = r[off + i] + t[i] + carry;
            r[off + i] = s & DIGIT_MASK;
            carry = s >> DIGIT_BITS;
        }
        for (; carry && off + i < na + nb; i++) {
            const uint32_t s = r[off + i] + carry;
            r[off + i] = s & DIGIT_MASK;
            carry = s >> DIGIT_BITS;
        }
    }
}

// Karatsuba is worth it only while both operands are long and of similar
// length; otherwise the schoolbook product is used.
bool use_schoolbook(int32_t n, int32_t m) {
    return n <= multcut || m <= multcut || n >= 2 * m || m >= 2 * n;
}

// r (na + nb digits, may carry leading zeros) := a * b: the dispatcher of
// the products. A square (b is a) keeps to the squaring paths.
void karatsuba(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, uint32_t* r) {
    const bool square = a == b && na == nb;
    const bool poll = private_operands && na + nb >= kPollDigits;
    if (std::min(na, nb) >= (square ? ntt_square_cut : ntt_cut)) {
        mag_mul_ntt(a, na, b, nb, r, poll);
        return;
    }
    if (std::min(na, nb) >= unbalanced_cut && (na >= 2 * nb || nb >= 2 * na)) {
        if (na < nb) sliced(a, na, b, nb, r);
        else sliced(b, nb, a, na, r);
        return;
    }
    if (std::min(na, nb) >= words_cut) {
        mag_mul_words(a, na, b, nb, r);
        return;
    }
    if (use_schoolbook(na, nb)) {
        if (square) mag_sqr_school(a, na, r);
        else mag_mul_school(a, na, b, nb, r);
        return;
    }
    if (poll) poll_interrupt();
    int32_t h = std::max(na / 2, nb / 2);
    const uint32_t *a0 = a, *a1 = a + h, *b0 = b, *b1 = b + h;
    int32_t na1 = na - h, nb1 = nb - h;
    // The low halves keep at least one digit when their top digits are zero.
    int32_t na0 = std::max(1, mag_len(a0, h)), nb0 = std::max(1, mag_len(b0, h));

    int32_t nz0 = na0 + nb0, nz2 = na1 + nb1;
    Mag sa, sb;
    mag_add(a1, na1, a0, na0, sa);
    if (!square) mag_add(b1, nb1, b0, nb0, sb);
    const Mag& sb_ = square ? sa : sb;
    int32_t nsa = std::max(1, mag_len(sa.data(), static_cast<int32_t>(sa.size())));
    int32_t nsb = std::max(1, mag_len(sb_.data(), static_cast<int32_t>(sb_.size())));
    Mag z0(nz0), z2(nz2), z1(static_cast<size_t>(nsa + nsb));
    // Operands passed as the same pointer keep a square a square below.
    karatsuba(a0, na0, square ? a0 : b0, nb0, z0.data());
    karatsuba(a1, na1, square ? a1 : b1, nb1, z2.data());
    karatsuba(sa.data(), nsa, sb_.data(), nsb, z1.data());

    // z1 := z1 - z0 - z2, never negative. z0 and z2 may carry more leading
    // zeros than z1 (operands with zero high digits), so only their
    // significant digits are taken.
    auto subtract_in = [](Mag& x, const Mag& y) {
        int32_t borrow = 0;
        size_t i = 0;
        const size_t ny = static_cast<size_t>(mag_len(y.data(), static_cast<int32_t>(y.size())));
        for (; i < ny; i++) {
            int32_t t = static_cast<int32_t>(x[i]) - static_cast<int32_t>(y[i]) - borrow;
            borrow = t < 0;
            x[i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
        }
        for (; borrow && i < x.size(); i++) {
            int32_t t = static_cast<int32_t>(x[i]) - borrow;
            borrow = t < 0;
            x[i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
        }
    };
    subtract_in(z1, z0);
    subtract_in(z1, z2);

    int32_t nr = na + nb;
    std::fill(r, r + nr, 0u);
    std::copy(z0.begin(), z0.end(), r);
    std::copy(z2.begin(), z2.end(), r + 2 * h);
    auto add_at = [&](const Mag& x, int32_t off) {
        uint32_t carry = 0;
        int32_t i = 0, nx = static_cast<int32_t>(x.size());
        for (; i < nx && off + i < nr; i++) {
            uint32_t t = r[off + i] + x[i] + carry;
            r[off + i] = t & DIGIT_MASK;
            carry = t >> DIGIT_BITS;
        }
        for (; carry && off + i < nr; i++) {
            uint32_t t = r[off + i] + carry;
            r[off + i] = t & DIGIT_MASK;
            carry = t >> DIGIT_BITS;
        }
    };
    add_at(z1, h);
}

}  // namespace

void mag_mul(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag& r) {
    r.assign(static_cast<size_t>(na) + nb, 0u);
    karatsuba(a, na, b, nb, r.data());
}

}  // namespace digits

namespace {

thread_local digits::Mag ma, mb, mr;

[[maybe_unused]] const bool scratch_noted = digits::note_scratch([] {
    digits::give_back(digits::school_acc());
    digits::give_back(ma);
    digits::give_back(mb);
    digits::give_back(mr);
});


// A square (b is a's record) reads its operand once and keeps to the
// squaring paths.
void product(imag* a, imag* b, imag* c, bool schoolbook) {
    const bool square = a == b;
    if (!schoolbook && a->count + b->count >= digits::kPrivateDigits) {
        digits::Mag pa, pb, pr;
        const int sa = digits::read_chain(a->head, a->count, pa);
        const int sb = square ? sa : digits::read_chain(b->head, b->count, pb);
        if (sa == 0 || sb == 0) {
            pr.assign(1, 0);
        } else {
            digits::PrivateOperands mark;
            digits::mag_mul(pa.data(), a->count, (square ? pa : pb).data(), b->count, pr);
        }
        digits::write_number(c, pr, sa * sb);
        return;
    }
    int sa = digits::read_chain(a->head, a->count, ma);
    int sb = square ? sa : digits::read_chain(b->head, b->count, mb);
    const digits::Mag& mb_ = square ? ma : mb;
    int32_t na = a->count, nb = b->count;
    if (sa == 0 || sb == 0) {
        mr.assign(1, 0);
    } else if (schoolbook) {
        mr.resize(static_cast<size_t>(na) + nb);
        if (square) digits::mag_sqr_school(ma.data(), na, mr.data());
        else digits::mag_mul_school(ma.data(), na, mb.data(), nb, mr.data());
    } else {
        digits::mag_mul(ma.data(), na, mb_.data(), nb, mr);
    }
    digits::write_number(c, mr, sa * sb);
}

}  // namespace

void simp_mult(imag* a, imag* c, int32_t k, numnode** penult) {
    int sa = digits::read_chain(a->head, a->count, ma);
    int sk = k > 0 ? 1 : (k < 0 ? -1 : 0);
    uint64_t mk = static_cast<uint64_t>(k < 0 ? -static_cast<int64_t>(k) : k);
    int32_t na = a->count;
    mr.assign(static_cast<size_t>(na) + 1, 0u);
    uint64_t carry = 0;
    for (int32_t i = 0; i < na; i++) {
        uint64_t t = ma[i] * mk + carry;
        mr[i] = static_cast<uint32_t>(t & DIGIT_MASK);
        carry = t >> DIGIT_BITS;
    }
    mr[na] = static_cast<uint32_t>(carry);
    digits::write_number(c, mr, sa * sk);
    if (penult) {
        numnode* p = nullptr;
        if (c->count > 1)
            for (p = c->head; p->next != c->tail; p = p->next) {}
        *penult = p;
    }
}

void multiply(imag* a, imag* b, imag* c) { product(a, b, c, true); }

void fast_mult(imag* a, imag* b, imag* c) { product(a, b, c, false); }

void release_number_scratch() {
    for (void (*release)() : digits::scratch_releases()) release();
}
