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
// product, so a limb product (of magnitude at most (2^56 - 1)^2) can be
// added 2^15 times before the accumulator could overflow. The result is the
// schoolbook product's.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/boxruns.h"
#include "poly/exponent_range.h"
#include "poly/polymult_impl.h"
#include "toplevel/errors.h"

int32_t box_slices = 1;
int32_t box_runs = 1;
int64_t box_limb_products = int64_t{1} << 15;

namespace polyimpl {

namespace {

typedef box_wide wide;

constexpr int32_t LIMB_BITS = 2 * DIGIT_BITS;
constexpr int32_t MAX_LIMBS = 16;                          // per coefficient (32 digits)
constexpr int64_t BOX_WORDS = int64_t{1} << 18;            // accumulators: 4 MB
// A larger product is cut into slices by its outer exponents, each slice's
// box small enough to stay in the second-level cache while it is summed.
constexpr int64_t SLICE_WORDS = int64_t{1} << 15;           // 512 KB
// Products of fewer pairs of terms do not repay laying out runs.
constexpr int64_t RUNS_MIN_PAIRS = 2048;
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
    if (n == 1) {
        op.pool.push_back(x->head->digit);
        return true;
    }
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

// What decides whether the box is taken, found without copying anything:
// most small products that refuse the box (sparse operands, long
// coefficients) are the inner products of a recursive one, where copying
// the operands first would cost more than the products.
struct Extent {
    int32_t lo[BOX_LEVELS] = {};
    int32_t hi[BOX_LEVELS] = {};
    int32_t depth = 0;
    int64_t terms = 0;
    int32_t digits = 1;
};

// false when the polynomial is too deep.
bool extent(const polynode* p, int32_t level, Extent& x) {
    if (level >= BOX_LEVELS) return false;
    for (; p; p = p->next) {
        if (p->numb) {
            x.terms++;
            if (!lintmode) x.digits = std::max(x.digits, p->ncoef->count);
            continue;
        }
        x.lo[level] = std::min(x.lo[level], p->exp);
        x.hi[level] = std::max(x.hi[level], p->exp);
        if (p->exp != 0) x.depth = std::max(x.depth, level + 1);
        if (!extent(p->pcoef, level + 1, x)) return false;
    }
    return true;
}

// The box is refused for these operands whatever their values: a
// coefficient too long, or a box mostly empty (the test of the box set-up,
// made early).
bool box_refused(const polynode* a, const polynode* b) {
    Extent x, y;
    if (!extent(a, 0, x) || !extent(b, 0, y)) return true;
    if (std::max(x.digits, y.digits) > 2 * MAX_LIMBS) return true;
    // In floating point: the spans of a refused box may overflow 64 bits.
    const double most = 4.0 * static_cast<double>(x.terms) * static_cast<double>(y.terms) + 16;
    double places = 1;
    for (int32_t j = std::max({x.depth, y.depth, 1}); j-- > 0;) {
        places *= static_cast<double>(int64_t{x.hi[j]} + y.hi[j] - x.lo[j] - y.lo[j] + 1);
        if (places > most) return true;
    }
    return false;
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

// Residues modulo an integer modulus (not the fields of characteristic 2,
// which are no quotients of the integers) are summed as the integers in
// 0 .. modulus - 1 that stand for them, one limb each, and reduced once
// per place: a 128-bit accumulator takes 2^66 products below 2^62.
bool residues() { return modularmode && !finf; }

wide residue_of(wide v) {
    wide r = v % modulus;
    return r < 0 ? r + modulus : r;
}

// The number whose limbs (base 2^56, least significant first) are acc[0 .. n-1].
imag* number_from(const wide* acc, int32_t n) {
    imag* x = new_number();
    if (residues()) {
        x->value = static_cast<int32_t>(residue_of(acc[0]));
        return x;
    }
    if (lintmode) {
        x->value = static_cast<int32_t>(static_cast<uint32_t>(acc[0]));
        return x;
    }
    // Floor-normalise into digits 0 .. 2^28 - 1; a final carry of -1 means
    // the number is negative and the digits are its complement.
    // Two digits per accumulator, and the carry out of the last (below
    // 2^128) in at most five more.
    int32_t digits[4 * MAX_LIMBS + 8];
    int32_t count = 0;
    wide carry = 0;
    const wide mask = (wide{1} << DIGIT_BITS) - 1;
    for (int32_t k = 0; k < n || (carry != 0 && carry != -1); k++) {
        wide t = carry + (k < n ? acc[k] : 0);
        const int32_t steps = k < n ? 2 : 1;   // past the accumulators, one digit at a time
        for (int32_t s = 0; s < steps; s++) {
            digits[count++] = static_cast<int32_t>(t & mask);
            t >>= DIGIT_BITS;
        }
        carry = t;
    }
    const bool neg = carry == -1;
    if (neg) {
        // |v| = B^n - (the digits): complement and add one.
        int32_t add = 1;
        for (int32_t i = 0; i < count; i++) {
            const int32_t c = DIGIT_MASK - digits[i] + add;
            digits[i] = c & DIGIT_MASK;
            add = c >> DIGIT_BITS;
        }
        if (add) digits[count++] = add;   // |v| a power of 2^28
    }
    while (count > 1 && digits[count - 1] == 0) count--;
    numnode* prev = nullptr;
    for (int32_t i = count; i-- > 0;) {
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
    x->count = count;
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
    if (residues()) return residue_of(acc[0]) == 0;
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

}  // namespace

namespace {

// The terms of an operand that share their exponents at the slice levels
// (outermost first) lie together in its list, in decreasing order.
struct Group {
    int32_t first, end;   // terms
};

// The runs of an operand (poly/boxruns.h) group by group.
struct Runs {
    std::vector<Run> runs;
    std::vector<int64_t> values;
    std::vector<int32_t> first;   // of each group, and one past the last
};

// The buffers of one box product. One set is kept for reuse; a product
// that starts while it is in use (one run from a nested command level that
// interrupted another) takes a set of its own, so that the interrupted one
// finds its own intact.
struct BoxScratch {
    Operand A, B;
    Box box;
    std::vector<int64_t> ka, va, kb;
    std::vector<Group> ga, gb;
    std::vector<int32_t> b_index;
    Runs ra, rb;
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

namespace {

// Carries every accumulator of the box into the next, leaving 56 bits in
// each but the last: afterwards each can take box_limb_products more.
void normalise(Box& box, int64_t cells) {
    const int32_t n = box.limbs;
    const wide mask = (wide{1} << LIMB_BITS) - 1;
    for (int64_t c = 0; c < cells; c++) {
        wide* acc = box.cells.data() + c * n;
        for (int32_t k = 0; k + 1 < n; k++) {
            const wide v = acc[k];
            acc[k] = v & mask;
            acc[k + 1] += v >> LIMB_BITS;
        }
    }
}

void group_by(const Operand& op, int32_t slice, std::vector<Group>& out) {
    out.clear();
    const int32_t n = static_cast<int32_t>(op.terms.size());
    for (int32_t i = 0; i < n;) {
        int32_t j = i + 1;
        while (j < n && std::equal(op.terms[j].exps, op.terms[j].exps + slice, op.terms[i].exps)) j++;
        out.push_back(Group{i, j});
        i = j;
    }
}

// The runs of op group by group; false when the gaps would more than
// double the work.
bool make_runs(const Operand& op, const std::vector<Group>& groups, const Box& box, int32_t slice, int32_t width,
               Runs& r) {
    r.runs.clear();
    r.values.clear();
    r.first.clear();
    const int32_t last = box.levels - 1;
    for (const Group& g : groups) {
        r.first.push_back(static_cast<int32_t>(r.runs.size()));
        for (int32_t i = g.first; i < g.end;) {
            int32_t j = i + 1;
            while (j < g.end && std::equal(op.terms[j].exps, op.terms[j].exps + last, op.terms[i].exps)) j++;
            const int32_t hi = op.terms[i].exps[last], lo = op.terms[j - 1].exps[last];
            const Monomial& low = op.terms[j - 1];
            int64_t place = 0;
            for (int32_t k = slice; k < box.levels; k++) place += (low.exps[k] - op.lo[k]) * box.stride[k];
            const int32_t off = static_cast<int32_t>(r.values.size());
            r.values.resize(r.values.size() + static_cast<size_t>(hi - lo + 1) * width, 0);
            for (int32_t k = i; k < j; k++) {
                const Monomial& m = op.terms[k];
                int64_t* v = r.values.data() + off + static_cast<int64_t>(m.exps[last] - lo) * width;
                std::copy(op.pool.begin() + m.first, op.pool.begin() + m.first + m.limbs, v);
                if (width > op.limbs) v[2] = v[0] + v[1];
            }
            r.runs.push_back(Run{place * box.limbs, off, hi - lo + 1});
            i = j;
        }
        if (r.values.size() > (2 * op.terms.size() + 16) * width) return false;
    }
    r.first.push_back(static_cast<int32_t>(r.runs.size()));
    return true;
}

struct Slicer {
    BoxScratch& s;
    int32_t slice;                 // outer levels
    int64_t inner_places;
    bool carry;                    // accumulators need normalising now and then
    int32_t row_limbs;             // limb products per accumulator per row
    std::vector<Group>& ga;
    std::vector<Group>& gb;
    std::vector<int32_t>& b_index;  // B's group at each point of its outer box, -1: none
    Runs& ra;
    Runs& rb;
    int64_t b_stride[BOX_LEVELS] = {};
    int32_t key[BOX_LEVELS] = {};
    int64_t row = 0;

    bool by_runs = false;          // one-limb values, no carrying: runs

    // Adds the products of the runs of A's group gi by those of B's group hi.
    void add_runs(size_t gi, size_t hi) {
        wide* cells = s.box.cells.data();
        for (int32_t j = rb.first[hi]; j < rb.first[hi + 1]; j++) {
            if ((++row & 15) == 0) poll_interrupt();
            const int32_t i0 = ra.first[gi];
            convolve_run_by_runs(rb.runs[j], rb.values.data(), s.B.limbs, ra.runs.data() + i0, ra.first[gi + 1] - i0,
                                 ra.values.data(), s.A.limbs, cells, s.box.limbs);
        }
    }

    // Adds the products of the terms of A in g by the terms of B in h.
    void add_products(const Group& g, const Group& h, int64_t& rows_since) {
        Operand& A = s.A;
        Operand& B = s.B;
        wide* cells = s.box.cells.data();
        const std::vector<int64_t>& ka = s.ka;
        const std::vector<int64_t>& va = s.va;
        for (int32_t j = h.first; j < h.end; j++) {
            // Everything in use is this product's own: a safe point.
            if ((++row & 63) == 0) poll_interrupt();
            if (carry && ++rows_since * row_limbs > box_limb_products) {
                normalise(s.box, inner_places);
                rows_since = 1;
            }
            const Monomial& t = B.terms[j];
            const int64_t kb = s.kb[j];
            const int64_t* y = B.pool.data() + t.first;
            if (lintmode && !residues()) {
                const uint32_t yv = static_cast<uint32_t>(y[0]);
                for (int32_t i = g.first; i < g.end; i++) {
                    wide& c = cells[ka[i] + kb];
                    c = static_cast<uint32_t>(c) + static_cast<uint32_t>(va[i]) * yv;
                }
                continue;
            }
            if (A.limbs == 1 && t.limbs == 1) {
                const wide yv = y[0];
                for (int32_t i = g.first; i < g.end; i++) cells[ka[i] + kb] += va[i] * yv;
                continue;
            }
            if (t.limbs == 1) {
                const wide yv = y[0];
                for (int32_t i = g.first; i < g.end; i++) {
                    const Monomial& m = A.terms[i];
                    const int64_t* x = A.pool.data() + m.first;
                    wide* acc = cells + ka[i] + kb;
                    for (int32_t p = 0; p < m.limbs; p++) acc[p] += x[p] * yv;
                }
                continue;
            }
            for (int32_t i = g.first; i < g.end; i++) {
                const Monomial& m = A.terms[i];
                const int64_t* x = A.pool.data() + m.first;
                wide* acc = cells + ka[i] + kb;
                for (int32_t p = 0; p < m.limbs; p++)
                    for (int32_t q = 0; q < t.limbs; q++) acc[p + q] += wide{x[p]} * y[q];
            }
        }
    }

    // The inner polynomial of the product at the outer exponents key[].
    polynode* slice_product() {
        Box& box = s.box;
        int64_t rows_since = 0;
        bool any = false;
        for (const Group& g : ga) {
            const int32_t* ea = s.A.terms[g.first].exps;
            int64_t at = 0;
            bool inside = true;
            for (int32_t j = 0; j < slice && inside; j++) {
                const int64_t eb = int64_t{key[j]} - ea[j];
                inside = eb >= s.B.lo[j] && eb <= s.B.hi[j];
                at += (eb - s.B.lo[j]) * b_stride[j];
            }
            if (!inside || b_index[at] < 0) continue;
            // Many slices of a dense product of bounded total degree are
            // empty: the box is cleared only for a slice that has products.
            if (!any) std::fill(box.cells.begin(), box.cells.begin() + inner_places * box.limbs, wide{0});
            if (by_runs)
                add_runs(static_cast<size_t>(&g - ga.data()), static_cast<size_t>(b_index[at]));
            else
                add_products(g, gb[b_index[at]], rows_since);
            any = true;
        }
        return any ? unflatten(box, slice, 0) : nullptr;
    }

    // The product's terms below the outer level j, key[0 .. j-1] fixed.
    polynode* outer(int32_t j) {
        if (j == slice) return slice_product();
        Chain out;
        for (int32_t e = s.box.high[j]; e >= s.box.low[j]; e--) {
            key[j] = e;
            polynode* c = outer(j + 1);
            if (c) out.push(monomial_term(e, c));
        }
        return out.head;
    }
};

}  // namespace

polynode* small_integer_product(const polynode* a, const polynode* b) {
    if ((modularmode && !residues()) || box_refused(a, b)) return nullptr;
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
    // Beyond box_limb_products products in an accumulator the box carries
    // into one more limb now and then.
    const int32_t row_limbs = std::min(A.limbs, B.limbs);
    const bool carry = !lintmode && std::min(na, nb) * row_limbs > box_limb_products;

    box.levels = std::max({A.depth, B.depth, 1});
    box.limbs = lintmode ? 1 : A.limbs + B.limbs - 1 + (carry ? 1 : 0);
    int64_t places = 1;
    // The levels from `slice` inward form the box; the outer ones are taken
    // one exponent at a time when the whole box would not fit.
    int32_t slice = -1;
    int64_t inner_places = 0;
    for (int32_t j = box.levels - 1; j >= 0; j--) {
        const int64_t low = int64_t{A.lo[j]} + B.lo[j], high = int64_t{A.hi[j]} + B.hi[j];
        if (!exponent_fits(low) || !exponent_fits(high)) return nullptr;
        box.low[j] = static_cast<int32_t>(low);
        box.high[j] = static_cast<int32_t>(high);
        box.stride[j] = places;
        places *= high - low + 1;
        if (places > 4 * na * nb + 16) return nullptr;
        if (places * box.limbs <= SLICE_WORDS) {
            slice = j;
            inner_places = places;
        }
    }
    // A mostly empty box costs more to clear and scan than the products.
    if (places > 4 * na * nb + 16) return nullptr;
    if (places * box.limbs <= BOX_WORDS) {
        slice = 0;
        inner_places = places;
    }
    if (box_slices == 2 && box.levels > 1) {
        // Forced (tests): the innermost level alone in the box.
        slice = box.levels - 1;
        inner_places = int64_t{box.high[slice]} - box.low[slice] + 1;
    }
    if (slice < 0 || (slice > 0 && box_slices == 0)) return nullptr;

    // Where each monomial lands in the box (its inner levels), and the value
    // of a's monomials when they are one limb.
    auto inner_place = [&](const Monomial& m, const int32_t* lo) {
        int64_t k = 0;
        for (int32_t j = slice; j < box.levels; j++) k += (m.exps[j] - lo[j]) * box.stride[j];
        return k * box.limbs;
    };
    s.ka.resize(static_cast<size_t>(na));
    s.va.resize(static_cast<size_t>(na));
    s.kb.resize(static_cast<size_t>(nb));
    for (int64_t i = 0; i < na; i++) {
        s.ka[i] = inner_place(A.terms[i], A.lo);
        s.va[i] = A.pool[A.terms[i].first];
    }
    for (int64_t i = 0; i < nb; i++) s.kb[i] = inner_place(B.terms[i], B.lo);
    if (box.cells.size() < static_cast<size_t>(inner_places * box.limbs)) box.cells.resize(static_cast<size_t>(inner_places * box.limbs));

    Slicer sl{s, slice, inner_places, carry, row_limbs, s.ga, s.gb, s.b_index, s.ra, s.rb};
    if (slice == 0 && na * nb < RUNS_MIN_PAIRS && box_runs != 2) {
        // One box, term by term: no groups to look up.
        std::fill(box.cells.begin(), box.cells.begin() + inner_places * box.limbs, wide{0});
        int64_t rows_since = 0;
        sl.add_products(Group{0, static_cast<int32_t>(na)}, Group{0, static_cast<int32_t>(nb)}, rows_since);
        polynode* p = unflatten(box, 0, 0);
        return p ? p : zero_poly();
    }
    group_by(A, slice, sl.ga);
    // Each slice looks at every group of A: with sparse outer levels that
    // search could cost more than the products themselves.
    if (static_cast<double>(places / inner_places) * static_cast<double>(sl.ga.size()) > static_cast<double>(na) * nb)
        return nullptr;
    group_by(B, slice, sl.gb);
    int64_t outer_points = 1;
    for (int32_t j = slice - 1; j >= 0; j--) {
        sl.b_stride[j] = outer_points;
        outer_points *= int64_t{B.hi[j]} - B.lo[j] + 1;
    }
    sl.by_runs = !lintmode && !carry && (box_runs == 2 || (box_runs == 1 && na * nb >= RUNS_MIN_PAIRS)) &&
                 make_runs(A, sl.ga, box, slice, run_width(A.limbs, B.limbs), sl.ra) &&
                 make_runs(B, sl.gb, box, slice, run_width(B.limbs, A.limbs), sl.rb);
    sl.b_index.assign(static_cast<size_t>(outer_points), -1);
    for (size_t g = 0; g < sl.gb.size(); g++) {
        const int32_t* eb = B.terms[sl.gb[g].first].exps;
        int64_t at = 0;
        for (int32_t j = 0; j < slice; j++) at += (int64_t{eb[j]} - B.lo[j]) * sl.b_stride[j];
        sl.b_index[static_cast<size_t>(at)] = static_cast<int32_t>(g);
    }
    polynode* p = sl.outer(0);
    return p ? p : zero_poly();
}

}  // namespace polyimpl
