// The p-adic lifting of dual vectors (see matrix/dual_lifting.h): the LU
// factors modulo the word prime, A's cells in the form the residuals read,
// and the digits joined into d x modulo p^steps.
#include "matrix/dual_lifting.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "det/word_arith.h"
#include "numbers/numbers.h"
#include "numbers/prime64.h"
#include "toplevel/errors.h"

uint32_t flat_residue(const FlatInt& x, const wordmod::Prime& P) {
    uint64_t r = 0;
    for (size_t i = x.mag.size(); i-- > 0;) r = P.reduce((r << DIGIT_BITS) | x.mag[i]);
    return x.sign < 0 && r ? static_cast<uint32_t>(P.p - r) : static_cast<uint32_t>(r);
}

namespace lifting {

FlatInt flat_of(int64_t v) {
    FlatInt x;
    if (v == 0) return x;
    x.sign = v < 0 ? -1 : 1;
    uint64_t m = v < 0 ? -static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    while (m) {
        x.mag.push_back(static_cast<uint32_t>(m & ((1u << 28) - 1)));
        m >>= 28;
    }
    return x;
}

void add_to(FlatInt& x, const FlatInt& y) {
    FlatInt minus = y, r;
    minus.sign = -minus.sign;
    flat_sub(x, minus, r);
    x = std::move(r);
}

void reduce_into(FlatInt& x, const FlatInt& m) {
    if (flat_zero(x)) return;
    flat_rem(x, m, x);
    if (x.sign < 0) add_to(x, m);
}

namespace {

using wordmod::Prime;

// Entries beyond this many bits would overflow the lifting's residuals.
constexpr int kEntryBits = 56;

uint32_t residue(const FlatInt& x, const Prime& P) { return flat_residue(x, P); }

// |x| < 2^kEntryBits as a machine integer.
bool small_value(const FlatInt& x, int64_t& v) {
    if (x.mag.size() > 2) return false;
    uint64_t m = 0;
    for (size_t i = x.mag.size(); i-- > 0;) m = (m << 28) | x.mag[i];
    if (m >> kEntryBits) return false;
    v = x.sign < 0 ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
    return true;
}

// P M = L U of an n x n row-major matrix of residues modulo a word prime.
struct WordLU {
    const Prime& P;
    int32_t n;
    std::vector<uint32_t> m;
    std::vector<int32_t> swaps;    // row k was swapped with row swaps[k]
    std::vector<uint32_t> inv;     // the inverses of U's diagonal

    // False when M is singular modulo the prime.
    bool factor() {
        swaps.assign(n, 0);
        inv.assign(n, 0);
        for (int32_t k = 0; k < n; k++) {
            poll_interrupt();
            int32_t r = k;
            while (r < n && m[static_cast<size_t>(r) * n + k] == 0) r++;
            if (r == n) return false;
            swaps[k] = r;
            uint32_t* pk = &m[static_cast<size_t>(k) * n];
            if (r != k) std::swap_ranges(pk, pk + n, &m[static_cast<size_t>(r) * n]);
            inv[k] = P.inv(pk[k]);
            for (int32_t i = k + 1; i < n; i++) {
                uint32_t* pi = &m[static_cast<size_t>(i) * n];
                if (pi[k] == 0) continue;
                const uint32_t f = P.mul(pi[k], inv[k]);
                pi[k] = f;
                const wordmod::Multiplier F(P.p - f, P);
                for (int32_t j = k + 1; j < n; j++) pi[j] = P.add(pi[j], F.times(pk[j]));
            }
        }
        return true;
    }

    // b := M^-1 b.
    void solve(uint32_t* b) const {
        for (int32_t k = 0; k < n; k++) std::swap(b[k], b[swaps[k]]);
        for (int32_t i = 1; i < n; i++) b[i] = P.sub(b[i], P.dot(&m[static_cast<size_t>(i) * n], b, i));
        for (int32_t i = n - 1; i >= 0; i--) {
            const uint32_t* row = &m[static_cast<size_t>(i) * n];
            b[i] = P.mul(P.sub(b[i], P.dot(row + i + 1, b + i + 1, n - 1 - i)), inv[i]);
        }
    }
};

// log2 of an upper bound on |x| (-infinity for 0).
double log2_above(const FlatInt& x) {
    const size_t len = x.mag.size();
    if (len == 0) return -INFINITY;
    double top = x.mag[len - 1];
    if (len > 1) top += x.mag[len - 2] / static_cast<double>(DIGIT_BASE);
    return std::log2(top + 1.0 / DIGIT_BASE) + static_cast<double>(DIGIT_BITS) * static_cast<double>(len - 1) + 1e-9;
}

// A's first n x n cells as the lifting reads them, column-major: machine
// integers where every one fits, else each split by sign into the 28-bit
// digits of its magnitude, whose products with residues add up in 128 bits.
struct LiftCells {
    int32_t n = 0;
    bool small = true;
    std::vector<int64_t> entries;      // small
    int32_t digits = 0;                // large: the longest entry's digits
    std::vector<uint32_t> pos, neg;    // large: digit t of cell c at t n^2 + c

    LiftCells(const FlatMatrix& a, int32_t side) : n(side) {
        const size_t cells = static_cast<size_t>(n) * n;
        entries.resize(cells);
        for (size_t c = 0; c < cells && small; c++) small = small_value(a.v[c], entries[c]);
        if (small) return;
        entries.clear();
        split(a.v);
    }

    // The digit form of the first n x n of the cells v.
    void split(const std::vector<FlatInt>& v) {
        const size_t cells = static_cast<size_t>(n) * n;
        digits = 1;
        for (size_t c = 0; c < cells; c++) digits = std::max(digits, static_cast<int32_t>(v[c].mag.size()));
        pos.assign(cells * static_cast<size_t>(digits), 0);
        neg.assign(cells * static_cast<size_t>(digits), 0);
        for (size_t c = 0; c < cells; c++) {
            std::vector<uint32_t>& to = v[c].sign < 0 ? neg : pos;
            for (size_t t = 0; t < v[c].mag.size(); t++) to[t * cells + c] = v[c].mag[t];
        }
    }
    // The digit form as well, for a large right-hand side.
    void split_small() {
        std::vector<FlatInt> v;
        v.reserve(entries.size());
        for (const int64_t e : entries) v.push_back(flat_of(e));
        split(v);
    }

    // The 128-bit digit sums as an integer.
    static void join(const std::vector<unsigned __int128>& sums, FlatInt& out) {
        out.mag.clear();
        unsigned __int128 carry = 0;
        for (const unsigned __int128 v : sums) {
            carry += v;
            out.mag.push_back(static_cast<uint32_t>(carry & DIGIT_MASK));
            carry >>= DIGIT_BITS;
        }
        for (; carry; carry >>= DIGIT_BITS) out.mag.push_back(static_cast<uint32_t>(carry & DIGIT_MASK));
        while (!out.mag.empty() && out.mag.back() == 0) out.mag.pop_back();
        out.sign = out.mag.empty() ? 0 : 1;
    }

    // out := (column i of A) . b, b's entries below 2^31.
    void dot(int32_t i, const uint32_t* b, FlatInt& out, FlatInt& scratch) const {
        const size_t cells = static_cast<size_t>(n) * n;
        std::vector<unsigned __int128> up(static_cast<size_t>(digits), 0), down(static_cast<size_t>(digits), 0);
        for (int32_t t = 0; t < digits; t++) {
            const uint32_t* p = pos.data() + t * cells + static_cast<size_t>(i) * n;
            const uint32_t* m = neg.data() + t * cells + static_cast<size_t>(i) * n;
            unsigned __int128 u = 0, v = 0;
            for (int32_t l = 0; l < n; l++) {
                u += uint64_t{p[l]} * b[l];
                v += uint64_t{m[l]} * b[l];
            }
            up[t] = u;
            down[t] = v;
        }
        join(up, scratch);
        join(down, out);
        FlatInt r;
        flat_sub(scratch, out, r);
        out = std::move(r);
    }
};

}  // namespace

// Dual vectors y = d A^-T w, one at a time: A^T x = w solved p-adically
// to as many digits as the entries of d A^-T w (adjugate entries, under
// Hadamard's bound, times |w|) need. The residuals stay in machine words
// while A's entries and w are small, else they are integers of any size.
struct Duals::State {
    State(FlatMatrix& a, const FlatInt& d)
        : n_(a.R), cells_(a, a.R), d_(d), P_(prime_apart_from(d)),
          lu_{P_, n_, std::vector<uint32_t>(static_cast<size_t>(n_) * n_), {}, {}} {
        // A's column-major cells are A^T's rows.
        for (size_t c = 0; c < lu_.m.size(); c++) lu_.m[c] = residue(a.v[c], P_);
        ready_ = lu_.factor();
        adj_bits_ = std::log2(static_cast<double>(n_)) + 2;
        std::vector<double> l(static_cast<size_t>(n_));
        for (int32_t j = 0; j < n_; j++) {
            double top = 0;
            for (int32_t i = 0; i < n_; i++) {
                l[i] = log2_above(a.v[static_cast<size_t>(j) * n_ + i]);
                top = std::max(top, l[i]);
            }
            double s = std::exp2(-2 * top);
            for (int32_t i = 0; i < n_; i++)
                if (l[i] != -INFINITY) s += std::exp2(2 * (l[i] - top));
            adj_bits_ += top + 0.5 * std::log2(s);
        }
        adj_bits_ = adj_bits_ * (1 + 1e-9) + 1;
        p_ = flat_of(P_.p);
    }
    // False when d is 0 modulo the prime after all (A singular).
    bool ready() const { return ready_; }

    // A random dual vector, each entry modulo d in [0, d).
    std::vector<FlatInt> next() {
        std::vector<int64_t> w(n_);
        for (int32_t i = 0; i < n_; i++) w[i] = static_cast<int64_t>(mix_.next() >> (64 - kWordBits));
        std::vector<FlatInt> y = solve(w);
        for (FlatInt& x : y) reduce_into(x, d_);
        return y;
    }

    // d A^-T w exactly, for |w|_1 below n 2^kWordBits.
    std::vector<FlatInt> solve(const std::vector<int64_t>& w) {
        const int32_t steps = steps_for(kWordBits);
        std::vector<uint32_t> digits(static_cast<size_t>(steps) * n_);
        if (cells_.small) {
            small_lift(std::vector<__int128>(w.begin(), w.end()), steps, digits);
        } else {
            std::vector<FlatInt> r(n_);
            for (int32_t i = 0; i < n_; i++) r[i] = flat_of(w[i]);
            large_lift(std::move(r), steps, digits);
        }
        return assemble(digits, steps);
    }

    // The same for w of any size.
    std::vector<FlatInt> solve(const std::vector<FlatInt>& w) {
        // Below 2^kWordBits the machine-word road serves.
        std::vector<int64_t> small(w.size());
        bool fits = cells_.small;
        for (size_t i = 0; i < w.size() && fits; i++) {
            fits = w[i].mag.size() <= 1 && (w[i].mag.empty() || w[i].mag[0] < (1u << kWordBits));
            if (fits) small[i] = w[i].mag.empty() ? 0 : w[i].sign * int64_t{w[i].mag[0]};
        }
        if (fits) return solve(small);
        double bits = 0;
        for (const FlatInt& x : w) bits = std::max(bits, log2_above(x));
        const int32_t steps = steps_for(bits + std::log2(static_cast<double>(n_)) + 1);
        std::vector<uint32_t> digits(static_cast<size_t>(steps) * n_);
        large_lift(w, steps, digits);
        return assemble(digits, steps);
    }

    static constexpr int kWordBits = 20;
    static Prime prime_apart_from(const FlatInt& d) {
        uint64_t c = (uint64_t{1} << 31) - 1;
        for (;; c -= 2)
            if (is_prime64(c) && residue(d, Prime(static_cast<uint32_t>(c))) != 0)
                return Prime(static_cast<uint32_t>(c));
    }

    int32_t steps_for(double w_bits) const {
        return static_cast<int32_t>((adj_bits_ + w_bits) / std::log2(static_cast<double>(P_.p))) + 2;
    }

    // One p-adic digit vector: b := A^-T r modulo p.
    void digit(std::vector<uint32_t>& b, std::vector<uint32_t>& digits, int32_t s) const {
        lu_.solve(b.data());
        std::copy(b.begin(), b.end(), digits.begin() + static_cast<size_t>(s) * n_);
    }

    void small_lift(std::vector<__int128> r, int32_t steps, std::vector<uint32_t>& digits) const {
        std::vector<uint32_t> b(n_);
        for (int32_t s = 0; s < steps; s++) {
            poll_interrupt();
            for (int32_t i = 0; i < n_; i++) {
                __int128 x = r[i] % P_.p;
                if (x < 0) x += P_.p;
                b[i] = static_cast<uint32_t>(x);
            }
            digit(b, digits, s);
            // r := (r - A^T b) / p, exactly.
            for (int32_t i = 0; i < n_; i++) {
                const int64_t* col = cells_.entries.data() + static_cast<size_t>(i) * n_;
                __int128 acc = r[i];
                for (int32_t l = 0; l < n_; l++) acc -= static_cast<__int128>(col[l]) * b[l];
                r[i] = acc / P_.p;
            }
        }
    }

    void large_lift(std::vector<FlatInt> r, int32_t steps, std::vector<uint32_t>& digits) {
        if (cells_.pos.empty()) cells_.split_small();
        std::vector<uint32_t> b(n_);
        FlatInt acc, scratch, t;
        for (int32_t s = 0; s < steps; s++) {
            poll_interrupt();
            for (int32_t i = 0; i < n_; i++) b[i] = residue(r[i], P_);
            digit(b, digits, s);
            for (int32_t i = 0; i < n_; i++) {
                cells_.dot(i, b.data(), acc, scratch);
                flat_sub(r[i], acc, t);
                flat_div(t, p_, r[i]);
            }
        }
    }

    // d x modulo p^steps in the symmetric range, x the p-adic digits.
    std::vector<FlatInt> assemble(const std::vector<uint32_t>& digits, int32_t steps) {
        if (steps != pk_steps_) {
            FlatInt t;
            flat_set(1, pk_);
            for (int32_t s = 0; s < steps; s++) {
                flat_mul(pk_, p_, t);
                std::swap(pk_, t);
            }
            flat_div(pk_, flat_of(2), half_);
            pk_steps_ = steps;
        }
        std::vector<FlatInt> y(n_);
        FlatInt t;
        for (int32_t i = 0; i < n_; i++) {
            FlatInt x;
            for (int32_t s = steps - 1; s >= 0; s--) {
                flat_mul(x, p_, t);
                add_to(t, flat_of(digits[static_cast<size_t>(s) * n_ + i]));
                std::swap(x, t);
            }
            // d x is an integer vector below p^steps / 2 in size.
            flat_mul(d_, x, t);
            flat_rem(t, pk_, y[i]);
            if (flat_cmp_abs(y[i], half_) > 0) {
                flat_sub(y[i], pk_, t);
                std::swap(y[i], t);
            }
        }
        return y;
    }

    int32_t n_;
    LiftCells cells_;
    const FlatInt& d_;
    Prime P_;
    WordLU lu_;
    bool ready_ = false;
    double adj_bits_ = 0;
    FlatInt p_, pk_, half_;
    int32_t pk_steps_ = -1;
    Mix mix_;
};

Duals::Duals(FlatMatrix& a, const FlatInt& d) : s_(std::make_unique<State>(a, d)) {}
Duals::~Duals() = default;
bool Duals::ready() const { return s_->ready(); }
std::vector<FlatInt> Duals::next() { return s_->next(); }
std::vector<FlatInt> Duals::solve(const std::vector<int64_t>& w) { return s_->solve(w); }
std::vector<FlatInt> Duals::solve(const std::vector<FlatInt>& w) { return s_->solve(w); }

}  // namespace lifting
