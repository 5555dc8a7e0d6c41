// The schoolbook product of polynomials with integer coefficients, summed in
// a dense box of machine accumulators.
//
// Products of many variables spend most of their time making a number
// record for every product of two coefficients and adding it into a running
// sum. When the product's exponents fill most of a small box, every product
// of two monomials is instead added into accumulators at its place in the
// box, and each number of the result is made once. Machine-integer mode
// needs one wrapping word per place. Digit numbers are cut into limbs of two
// digits (56 bits); each place holds one 128-bit accumulator per limb of the
// product, so a limb product (below 2^112) can be added 2^14 times before
// the accumulator could overflow. The result is the schoolbook product's.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polymult_impl.h"
#include "toplevel/errors.h"

namespace polyimpl {

namespace {

__extension__ typedef __int128 wide;
__extension__ typedef unsigned __int128 uwide;

constexpr int32_t LIMB_BITS = 2 * DIGIT_BITS;
constexpr int64_t MAX_LIMB_PRODUCTS = int64_t{1} << 14;   // added into one accumulator, at most
constexpr int32_t MAX_LIMBS = 16;                          // per coefficient (32 digits)
constexpr int64_t BOX_WORDS = int64_t{1} << 18;            // accumulators: 4 MB
constexpr int32_t BOX_LEVELS = 16;

// The limbs of a coefficient, least significant first; each carries the
// number's sign, like its digits.
struct Monomial {
    int32_t exps[BOX_LEVELS];
    int32_t first;   // index of its first limb in the operand's limb pool
    int32_t limbs;
};

struct Operand {
    std::vector<Monomial> terms;
    std::vector<int64_t> pool;
    int32_t limbs = 1;      // most limbs of any coefficient
    int32_t lo[BOX_LEVELS];
    int32_t hi[BOX_LEVELS];
    int32_t depth = 0;      // levels with a non-zero exponent somewhere

    void clear() {
        terms.clear();
        pool.clear();
        limbs = 1;
        depth = 0;
        std::fill(lo, lo + BOX_LEVELS, 0);
        std::fill(hi, hi + BOX_LEVELS, 0);
    }
};

bool read_limbs(const imag* x, Operand& op, Monomial& m) {
    m.first = static_cast<int32_t>(op.pool.size());
    if (lintmode) {
        op.pool.push_back(x->value);
        m.limbs = 1;
        return true;
    }
    const int32_t n = x->count;
    m.limbs = (n + 1) / 2;
    if (m.limbs > MAX_LIMBS) return false;
    op.pool.resize(op.pool.size() + m.limbs, 0);
    int64_t* limb = op.pool.data() + m.first;
    // The chain runs from the most significant digit; digit i (from the
    // least significant) goes to limb i / 2.
    const numnode* d = x->head;
    for (int32_t i = n - 1; i >= 0; i--, d = d->next)
        limb[i / 2] += i % 2 ? int64_t{d->digit} * DIGIT_BASE : int64_t{d->digit};
    op.limbs = std::max(op.limbs, m.limbs);
    return true;
}

// The monomials of p below the exponents e[0 .. level-1]; false when a
// coefficient is too long or the polynomial too deep.
bool flatten(const polynode* p, int32_t level, int32_t* e, Operand& op) {
    if (level >= BOX_LEVELS) return false;
    for (; p; p = p->next) {
        e[level] = p->exp;
        if (!p->numb) {
            if (!flatten(p->pcoef, level + 1, e, op)) return false;
            continue;
        }
        // Exponents below a number node are 0; so is the number node's own.
        Monomial m{};
        std::copy(e, e + level + 1, m.exps);
        for (int32_t j = 0; j <= level; j++) {
            if (m.exps[j] != 0) op.depth = std::max(op.depth, j + 1);
            op.lo[j] = std::min(op.lo[j], m.exps[j]);
            op.hi[j] = std::max(op.hi[j], m.exps[j]);
        }
        if (!read_limbs(p->ncoef, op, m)) return false;
        op.terms.push_back(m);
    }
    return true;
}

// The number whose limbs (base 2^56, least significant first) are acc[0 .. n-1].
imag* number_from(const wide* acc, int32_t n) {
    imag* x = new_number();
    if (lintmode) {
        x->value = static_cast<int32_t>(static_cast<uint32_t>(acc[0]));
        return x;
    }
    // Floor-normalise into digits 0 .. 2^28 - 1; a final carry of -1 means
    // the number is negative and the digits are its complement.
    std::vector<int32_t> digits;
    wide carry = 0;
    const wide mask = (wide{1} << DIGIT_BITS) - 1;
    for (int32_t k = 0; k < n || (carry != 0 && carry != -1); k++) {
        wide t = carry + (k < n ? acc[k] : 0);
        const int32_t steps = k < n ? 2 : 1;   // past the accumulators, one digit at a time
        for (int32_t s = 0; s < steps; s++) {
            digits.push_back(static_cast<int32_t>(t & mask));
            t >>= DIGIT_BITS;
        }
        carry = t;
    }
    const bool neg = carry == -1;
    if (neg) {
        // |v| = B^n - (the digits): complement and add one.
        int32_t add = 1;
        for (int32_t& d : digits) {
            const int32_t c = DIGIT_MASK - d + add;
            d = c & DIGIT_MASK;
            add = c >> DIGIT_BITS;
        }
        if (add) digits.push_back(add);   // |v| a power of 2^28
    }
    while (digits.size() > 1 && digits.back() == 0) digits.pop_back();
    numnode* prev = nullptr;
    for (size_t i = digits.size(); i-- > 0;) {
        numnode* d = newnumnode();
        d->digit = neg ? -digits[i] : digits[i];
        d->next = nullptr;
        if (prev)
            prev->next = d;
        else
            x->head = d;
        prev = d;
    }
    x->tail = prev;
    x->count = static_cast<int32_t>(digits.size());
    return x;
}

struct Box {
    int32_t levels = 0;
    int32_t limbs = 1;            // accumulators per place
    int32_t low[BOX_LEVELS];      // least exponent of the product at each level
    int32_t high[BOX_LEVELS];
    int64_t stride[BOX_LEVELS];   // in places
    std::vector<wide> cells;
};

// The accumulators are not normalised: limbs of opposite signs can sum to
// zero (-2^56 in one, 1 in the next), so the carries decide, not the words.
bool all_zero(const wide* acc, int32_t n) {
    if (lintmode) return static_cast<uint32_t>(acc[0]) == 0;
    const wide mask = (wide{1} << LIMB_BITS) - 1;
    wide carry = 0;
    for (int32_t k = 0; k < n; k++) {
        const wide t = carry + acc[k];
        if ((t & mask) != 0) return false;
        carry = t >> LIMB_BITS;
    }
    return carry == 0;
}

// The polynomial of the places below level j from base on; null when all are 0.
polynode* unflatten(const Box& box, int32_t j, int64_t base) {
    if (j == box.levels) {
        const wide* acc = box.cells.data() + base * box.limbs;
        return all_zero(acc, box.limbs) ? nullptr : new_node(0, 1, number_from(acc, box.limbs));
    }
    Chain out;
    for (int32_t e = box.high[j]; e >= box.low[j]; e--) {
        polynode* c = unflatten(box, j + 1, base + (e - box.low[j]) * box.stride[j]);
        if (c) out.push(monomial_term(e, c));
    }
    return out.head;
}

int64_t place(const Monomial& m, const int32_t* lo, const Box& box) {
    int64_t k = 0;
    for (int32_t j = 0; j < box.levels; j++) k += (m.exps[j] - lo[j]) * box.stride[j];
    return k;
}

}  // namespace

namespace {

// The buffers of one box product. One set is kept for reuse; a product
// that starts while it is in use (one run from a nested command level that
// interrupted another) takes a set of its own, so that the interrupted one
// finds its own intact.
struct BoxScratch {
    Operand A, B;
    Box box;
    std::vector<int64_t> ka, va;
};

class ScratchLease {
public:
    ScratchLease() : shared_(!busy_) {
        if (shared_) busy_ = true;
        else own_ = std::make_unique<BoxScratch>();
    }
    ~ScratchLease() {
        if (shared_) busy_ = false;
    }
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;
    BoxScratch& get() { return shared_ ? kept_ : *own_; }

private:
    static inline BoxScratch kept_;
    static inline bool busy_ = false;
    bool shared_;
    std::unique_ptr<BoxScratch> own_;
};

}  // namespace

polynode* small_integer_product(const polynode* a, const polynode* b) {
    if (modularmode) return nullptr;
    ScratchLease lease;
    BoxScratch& s = lease.get();
    Operand& A = s.A;
    Operand& B = s.B;
    Box& box = s.box;
    A.clear();
    B.clear();
    int32_t e[BOX_LEVELS];
    if (!flatten(a, 0, e, A) || !flatten(b, 0, e, B)) return nullptr;
    const int64_t na = static_cast<int64_t>(A.terms.size()), nb = static_cast<int64_t>(B.terms.size());
    if (!lintmode && std::min(na, nb) * std::min(A.limbs, B.limbs) > MAX_LIMB_PRODUCTS) return nullptr;

    box.levels = std::max({A.depth, B.depth, 1});
    box.limbs = lintmode ? 1 : A.limbs + B.limbs - 1;
    int64_t places = 1;
    for (int32_t j = box.levels - 1; j >= 0; j--) {
        const int64_t low = int64_t{A.lo[j]} + B.lo[j], high = int64_t{A.hi[j]} + B.hi[j];
        if (low < INT32_MIN || high > INT32_MAX) return nullptr;
        box.low[j] = static_cast<int32_t>(low);
        box.high[j] = static_cast<int32_t>(high);
        box.stride[j] = places;
        places *= high - low + 1;
        if (places * box.limbs > BOX_WORDS) return nullptr;
    }
    // A mostly empty box costs more to clear and scan than the products.
    if (places > 4 * na * nb + 16) return nullptr;

    // Where each monomial of a lands, and its value when it is one limb.
    std::vector<int64_t>& ka = s.ka;
    std::vector<int64_t>& va = s.va;
    ka.resize(static_cast<size_t>(na));
    va.resize(static_cast<size_t>(na));
    for (int64_t i = 0; i < na; i++) {
        ka[i] = place(A.terms[i], A.lo, box) * box.limbs;
        va[i] = A.pool[A.terms[i].first];
    }
    box.cells.assign(static_cast<size_t>(places * box.limbs), 0);
    wide* cells = box.cells.data();
    int64_t row = 0;
    for (const Monomial& t : B.terms) {
        // Everything in use is this product's own: a safe point.
        if ((++row & 63) == 0) poll_interrupt();
        const int64_t kb = place(t, B.lo, box) * box.limbs;
        const int64_t* y = B.pool.data() + t.first;
        if (lintmode) {
            const uint32_t yv = static_cast<uint32_t>(y[0]);
            for (int64_t i = 0; i < na; i++) {
                wide& c = cells[ka[i] + kb];
                c = static_cast<uint32_t>(c) + static_cast<uint32_t>(va[i]) * yv;
            }
            continue;
        }
        if (A.limbs == 1 && t.limbs == 1) {
            const wide yv = y[0];
            for (int64_t i = 0; i < na; i++) cells[ka[i] + kb] += va[i] * yv;
            continue;
        }
        if (t.limbs == 1) {
            const wide yv = y[0];
            for (int64_t i = 0; i < na; i++) {
                const Monomial& m = A.terms[i];
                const int64_t* x = A.pool.data() + m.first;
                wide* acc = cells + ka[i] + kb;
                for (int32_t p = 0; p < m.limbs; p++) acc[p] += x[p] * yv;
            }
            continue;
        }
        for (int64_t i = 0; i < na; i++) {
            const Monomial& m = A.terms[i];
            const int64_t* x = A.pool.data() + m.first;
            wide* acc = cells + ka[i] + kb;
            for (int32_t p = 0; p < m.limbs; p++)
                for (int32_t q = 0; q < t.limbs; q++) acc[p + q] += wide{x[p]} * y[q];
        }
    }
    polynode* p = unflatten(box, 0, 0);
    return p ? p : zero_poly();
}

}  // namespace polyimpl
