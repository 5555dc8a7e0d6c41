#include "matrix/square_hermite.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "det/word_arith.h"
#include "numbers/numbers.h"
#include "numbers/prime64.h"
#include "toplevel/errors.h"

namespace {

using wordmod::Prime;

// Entries beyond this many bits would overflow the lifting's residuals.
constexpr int kEntryBits = 56;
// Dual vectors beyond the first two before giving up: each new one
// leaves a prime dividing all the last entries so far with chance 1/p.
constexpr int kMoreDuals = 24;
// Dual vectors tried for one that alone defines the lattice: where a
// prime's part of the quotient is not cyclic none does.
constexpr int kPrimitiveTries = 4;

// A fixed generator: the user's random draws are no business of a form
// that does not depend on them.
struct Mix {
    uint64_t s = 0x9e3779b97f4a7c15ull;
    uint64_t next() {
        uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

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

// x := x + y.
void add_to(FlatInt& x, const FlatInt& y) {
    FlatInt minus = y, r;
    minus.sign = -minus.sign;
    flat_sub(x, minus, r);
    x = std::move(r);
}

// x mod m into [0, m), m > 0.
void reduce_into(FlatInt& x, const FlatInt& m) {
    if (flat_zero(x)) return;
    flat_rem(x, m, x);
    if (x.sign < 0) add_to(x, m);
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

// Dual vectors y = d A^-T w, one at a time: A^T x = w solved p-adically
// to as many digits as the entries of d A^-T w (adjugate entries, under
// Hadamard's bound, times |w|) need. The residuals stay in machine words
// while A's entries and w are small, else they are integers of any size.
class Duals {
public:
    Duals(FlatMatrix& a, const FlatInt& d)
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
        double bits = 0;
        for (const FlatInt& x : w) bits = std::max(bits, log2_above(x));
        const int32_t steps = steps_for(bits + std::log2(static_cast<double>(n_)) + 1);
        std::vector<uint32_t> digits(static_cast<size_t>(steps) * n_);
        large_lift(w, steps, digits);
        return assemble(digits, steps);
    }

private:
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

// The largest divisor of m prime to x (m > 0).
FlatInt prime_part(FlatInt m, const FlatInt& x) {
    FlatInt g, t;
    for (;;) {
        flat_gcd(m, x, g);
        if (flat_unit(g) || flat_zero(g)) return m;
        flat_div(m, g, t);
        std::swap(m, t);
    }
}

// y := y + r z modulo d, r the largest divisor of m prime to x: a prime
// of m that divides x still divides y + r z only where it divides z.
void mix_in(std::vector<FlatInt>& y, const std::vector<FlatInt>& z, const FlatInt& m, const FlatInt& x,
            const FlatInt& d) {
    const FlatInt r = prime_part(m, x);
    FlatInt t;
    for (size_t i = 0; i < y.size(); i++) {
        flat_mul(r, z[i], t);
        add_to(y[i], t);
        reduce_into(y[i], d);
    }
}

// v := v - q x column l of h over the rows from l on, q making v_l the
// least non-negative remainder by the pivot h_ll.
void reduce_by(std::vector<FlatInt>& v, FlatMatrix& h, int32_t l) {
    FlatInt r = v[l], q;
    reduce_into(r, h.at(l, l));
    flat_sub(v[l], r, q);
    if (flat_zero(q)) return;
    flat_div(q, h.at(l, l), q);
    for (int32_t i = l; i < h.R; i++)
        if (!flat_zero(h.at(i, l))) flat_sub_mul_to(v[i], q, h.at(i, l));
}

// When the lattice is all x with y x = 0 (mod d) for one dual vector y
// (gcd(y, d) = 1), its form follows from y alone. With G_i = gcd(y_i, ...,
// y_n-1, d), the pivot of column j is G_j+1 / G_j, and column j is that
// pivot at j and, below, any solution of y v = 0 reduced by the columns
// after it. G_j = 1 from some t down, so the columns before t have pivot
// 1 and differ only below t: one combination of y_t .. y_n-1 that is 1
// modulo d serves them all.
// y ends as the one used.
bool from_one_dual(std::vector<FlatInt>& y, const std::vector<FlatInt>& z, Duals& duals, const FlatInt& d,
                   FlatMatrix& h) {
    const int32_t n = static_cast<int32_t>(y.size());
    std::vector<FlatInt> G;
    int32_t t = n;
    std::vector<FlatInt> z2 = z;
    for (int tries = 0;; tries++) {
        G.assign(n + 1, FlatInt{});
        G[n] = d;
        for (t = n - 1; t >= 0; t--) {
            flat_gcd(G[t + 1], y[t], G[t]);
            if (flat_unit(G[t])) break;
        }
        if (t >= 0) break;
        if (tries == kPrimitiveTries) return false;
        if (tries > 0) z2 = duals.next();
        mix_in(y, z2, d, G[0], d);
    }
    // B[i] (over rows i .. n - 1): G_i = sum B[i]_l y_l (mod d).
    const int32_t k = n - t;
    std::vector<std::vector<FlatInt>> B(k + 1, std::vector<FlatInt>(k));
    FlatInt g, al, be, w;
    for (int32_t i = n - 1; i >= t; i--) {
        const int32_t at = i - t;
        if (flat_zero(y[i])) {
            B[at] = B[at + 1];
            continue;
        }
        xgcd(y[i], G[i + 1], g, al, be);
        reduce_into(al, d);
        B[at][at] = al;
        for (int32_t l = at + 1; l < k; l++) {
            if (flat_zero(B[at + 1][l])) continue;
            flat_mul(be, B[at + 1][l], B[at][l]);
            reduce_into(B[at][l], d);
        }
    }
    h = FlatMatrix(n, n);
    std::vector<FlatInt> v(n);
    for (int32_t j = n - 1; j >= 0; j--) {
        poll_interrupt();
        // v_j = pivot, v below = f B[j + 1] with f = -y_j / G_j, so that
        // y v = y_j G_j+1 / G_j + f G_j+1 = 0 (mod d).
        const int32_t from = j < t ? t : j + 1;
        FlatInt f;
        if (j < t) {
            flat_set(1, h.at(j, j));
            f = y[j];
        } else {
            flat_div(G[j + 1], G[j], h.at(j, j));
            flat_div(y[j], G[j], f);
        }
        f.sign = -f.sign;
        for (int32_t l = j + 1; l < n; l++) v[l] = FlatInt{};
        for (int32_t l = from; l < n; l++) {
            if (flat_zero(B[from - t][l - t])) continue;
            flat_mul(f, B[from - t][l - t], v[l]);
            reduce_into(v[l], d);
        }
        for (int32_t l = from; l < n; l++) reduce_by(v, h, l);
        for (int32_t l = j + 1; l < n; l++) std::swap(h.at(l, j), v[l]);
    }
    return true;
}

// Otherwise the form is [[H1, 0], [c, d / e]] with H1 the form of the
// first n - 1 rows, found modulo a multiple of its determinant e (every
// dual vector's last entry is a multiple of e, and so is d), and c from a
// dual vector whose last entry is e times a unit modulo d / e.
bool from_top_block(FlatMatrix& a, std::vector<FlatInt> y, std::vector<FlatInt> z, Duals& duals,
                    const FlatInt& d, FlatMatrix& h) {
    const int32_t n = a.R, last = n - 1;
    FlatInt e1;
    flat_gcd(d, y[last], e1);
    flat_gcd(e1, z[last], e1);
    FlatMatrix h1(last, n);
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = 0; i < last; i++) h1.at(i, j) = a.at(i, j);
    if (flat_hermite_modulo(h1, e1) != last) return false;
    FlatInt e, t, q, d2;
    flat_set(1, e);
    for (int32_t i = 0; i < last; i++) {
        flat_mul(e, h1.at(i, i), t);
        std::swap(e, t);
    }
    if (!flat_div(d, e, d2)) return false;
    FlatInt u, g, s;
    if (!flat_div(y[last], e, u)) return false;
    for (int tries = 0; !flat_unit(d2); tries++) {
        flat_gcd(u, d2, g);
        if (flat_unit(g)) break;
        if (tries == kMoreDuals) return false;
        if (tries > 0) z = duals.next();
        mix_in(y, z, d2, u, d);
        if (!flat_div(y[last], e, u)) return false;
    }
    // u^-1 modulo d / e: s.
    if (!flat_unit(d2)) {
        xgcd(u, d2, g, s, t);
        reduce_into(s, d2);
    }
    h = FlatMatrix(n, n);
    for (int32_t j = 0; j < last; j++) {
        poll_interrupt();
        // y (column j of H1, c_j) = 0 (mod d): c_j = -(y H1_j / e) u^-1.
        FlatInt sum;
        for (int32_t i = j; i < last; i++) {
            if (flat_zero(h1.at(i, j))) continue;
            h.at(i, j) = h1.at(i, j);
            flat_mul(y[i], h1.at(i, j), t);
            add_to(sum, t);
        }
        reduce_into(sum, d);
        if (!flat_div(sum, e, q)) return false;
        if (flat_unit(d2)) continue;
        flat_mul(q, s, t);
        reduce_into(t, d2);
        if (!flat_zero(t)) flat_sub(d2, t, h.at(last, j));
    }
    h.at(last, last) = d2;
    return true;
}

// h is canonical, det h = d and every column of a lies in h's lattice (h x
// = column by exact forward substitution): then, d being a multiple of
// |det a| (a square), the two lattices are one and h is a's form.
// Keeps the solutions as the columns of *inv (H^-1 A) when given.
bool is_form_of(FlatMatrix& a, FlatMatrix& h, const FlatInt& d, FlatMatrix* inv) {
    const int32_t n = a.R;
    FlatInt det, t;
    flat_set(1, det);
    std::vector<std::vector<int32_t>> left(n);
    for (int32_t i = 0; i < n; i++) {
        const FlatInt& p = h.at(i, i);
        if (p.sign <= 0) return false;
        flat_mul(det, p, t);
        std::swap(det, t);
        for (int32_t j = 0; j < n; j++) {
            const FlatInt& x = h.at(i, j);
            if (flat_zero(x) || j == i) continue;
            if (j > i || x.sign < 0 || flat_cmp_abs(x, p) >= 0) return false;
            left[i].push_back(j);
        }
    }
    if (flat_cmp_abs(det, d) != 0) return false;
    std::vector<FlatInt> x(n);
    for (int32_t j = 0; j < a.K; j++) {
        poll_interrupt();
        for (int32_t i = 0; i < n; i++) {
            x[i] = a.at(i, j);
            for (const int32_t l : left[i])
                if (!flat_zero(x[l])) flat_sub_mul_to(x[i], x[l], h.at(i, l));
            if (flat_unit(h.at(i, i))) continue;
            if (!flat_div(x[i], h.at(i, i), t)) return false;
            std::swap(x[i], t);
        }
        if (inv)
            for (int32_t i = 0; i < n; i++) inv->at(i, j) = x[i];
    }
    return true;
}

// *v := A^-1 H = (d A^-1) H / d, the rows of d A^-1 solved for one by
// one; false when a division is not exact or A (v r) differs from H r for
// a random r, which no true transform allows.
bool column_transform(FlatMatrix& a, FlatMatrix& h, const FlatInt& d, Duals& duals, FlatMatrix& v) {
    const int32_t n = a.R;
    // H's non-zero entries column by column.
    std::vector<std::vector<int32_t>> below(n);
    for (int32_t j = 0; j < n; j++)
        for (int32_t l = j; l < n; l++)
            if (!flat_zero(h.at(l, j))) below[j].push_back(l);
    v = FlatMatrix(n, n);
    std::vector<int64_t> w(n);
    FlatInt sum, t;
    for (int32_t i = 0; i < n; i++) {
        w[i] = 1;
        const std::vector<FlatInt> row = duals.solve(w);
        w[i] = 0;
        for (int32_t j = 0; j < n; j++) {
            sum = FlatInt{};
            for (const int32_t l : below[j])
                if (!flat_zero(row[l])) {
                    flat_mul(row[l], h.at(l, j), t);
                    add_to(sum, t);
                }
            if (!flat_div(sum, d, v.at(i, j))) return false;
        }
    }
    Mix mix;
    std::vector<FlatInt> r(n), vr(n), hr(n);
    for (int32_t j = 0; j < n; j++) r[j] = flat_of(static_cast<int64_t>(mix.next() >> 24));
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = 0; i < n; i++) {
            flat_sub_mul_to(vr[i], r[j], v.at(i, j));
            if (!flat_zero(h.at(i, j))) flat_sub_mul_to(hr[i], r[j], h.at(i, j));
        }
    for (int32_t i = 0; i < n; i++) {
        poll_interrupt();
        FlatInt x = hr[i];
        for (int32_t l = 0; l < n; l++) flat_sub_mul_to(x, a.at(i, l), vr[l]);
        if (!flat_zero(x)) return false;
    }
    return true;
}

}  // namespace

uint32_t flat_residue(const FlatInt& x, const wordmod::Prime& P) {
    uint64_t r = 0;
    for (size_t i = x.mag.size(); i-- > 0;) r = P.reduce((r << DIGIT_BITS) | x.mag[i]);
    return x.sign < 0 && r ? static_cast<uint32_t>(P.p - r) : static_cast<uint32_t>(r);
}

bool square_hermite(FlatMatrix& a, const FlatInt& d, FlatMatrix* v, FlatMatrix* vi) {
    const int32_t n = a.R;
    if (n < 2 || a.K != n || flat_zero(d)) return false;
    Duals duals(a, d);
    if (!duals.ready()) return false;
    const std::vector<FlatInt> y = duals.next(), z = duals.next();
    FlatMatrix h, inv;
    if (vi) inv = FlatMatrix(n, n);
    FlatMatrix* keep = vi ? &inv : nullptr;
    std::vector<FlatInt> y1 = y;
    if (!(from_one_dual(y1, z, duals, d, h) && is_form_of(a, h, d, keep)) &&
        !(from_top_block(a, y, z, duals, d, h) && is_form_of(a, h, d, keep)))
        return false;
    FlatMatrix fwd;
    if (v && !column_transform(a, h, d, duals, fwd)) return false;
    std::swap(a, h);
    if (v) std::swap(*v, fwd);
    if (vi) std::swap(*vi, inv);
    return true;
}

bool wide_hermite(FlatMatrix& a, const FlatInt& d) {
    const int32_t R = a.R, K = a.K;
    if (R < 2 || K <= R || flat_zero(d)) return false;
    // The first R columns, B, are the first R x R cells.
    Duals duals(a, d);
    if (!duals.ready()) return false;
    std::vector<FlatInt> y = duals.next();
    const std::vector<FlatInt> z = duals.next();
    FlatMatrix h;
    if (!from_one_dual(y, z, duals, d, h)) return false;
    // y B = 0 (mod d) with gcd(y, d) = 1 and d = |det B| make L(B) the x
    // with y x = 0 (mod d): x -> y x (mod d) maps Z^R / L(B) onto Z / d.
    // So the other columns bring in the multiples of gcd(d, y a_j, ...),
    // and L(A) is the x with y x = 0 modulo that gcd.
    FlatInt m = d, dot, t;
    for (int32_t j = 0; j < K; j++) {
        poll_interrupt();
        dot = FlatInt{};
        for (int32_t i = 0; i < R; i++) {
            if (flat_zero(a.at(i, j)) || flat_zero(y[i])) continue;
            flat_mul(y[i], a.at(i, j), t);
            add_to(dot, t);
        }
        if (j < R) {
            reduce_into(dot, d);
            if (!flat_zero(dot)) return false;
        } else if (!flat_unit(m)) {
            flat_gcd(m, dot, t);
            std::swap(m, t);
        }
    }
    if (flat_cmp_abs(m, d) != 0) {
        for (FlatInt& x : y) reduce_into(x, m);
        if (flat_unit(m)) {
            h = flat_identity(R);
        } else if (!from_one_dual(y, z, duals, m, h)) {
            return false;
        }
    }
    if (!is_form_of(a, h, m, nullptr)) return false;
    FlatMatrix out(R, K);
    for (int32_t j = 0; j < R; j++)
        for (int32_t i = 0; i < R; i++) std::swap(out.at(i, j), h.at(i, j));
    std::swap(a, out);
    return true;
}

bool tall_hermite(FlatMatrix& a, FlatMatrix& top, const FlatInt& d) {
    const int32_t R = a.R, K = a.K;
    if (R <= K || top.R != K) return false;
    // H = A V with V = T^-1 H_T (T the top rows), so a row b below has
    // b V = z H_T / d with z = d T^-T b: one solve per row below rather
    // than the transform's one per column.
    std::vector<std::vector<FlatInt>> ws(static_cast<size_t>(R - K), std::vector<FlatInt>(K)), z;
    for (int32_t i = K; i < R; i++)
        for (int32_t l = 0; l < K; l++) ws[i - K][l] = a.at(i, l);
    FlatMatrix t = top;
    if (!scaled_solutions(t, d, ws, z)) return false;
    FlatInt sum, x;
    for (int32_t i = K; i < R; i++) {
        poll_interrupt();
        // z T = d b on every column proves z.
        for (int32_t j = 0; j < K; j++) {
            flat_mul(d, a.at(i, j), x);
            for (int32_t l = 0; l < K; l++)
                if (!flat_zero(z[i - K][l]) && !flat_zero(top.at(l, j))) flat_sub_mul_to(x, z[i - K][l], top.at(l, j));
            if (!flat_zero(x)) return false;
        }
    }
    if (!square_hermite(top, d)) return false;
    FlatMatrix out(R, K);
    for (int32_t j = 0; j < K; j++)
        for (int32_t i = 0; i < K; i++) out.at(i, j) = top.at(i, j);
    for (int32_t i = K; i < R; i++) {
        poll_interrupt();
        for (int32_t j = 0; j < K; j++) {
            sum = FlatInt{};
            for (int32_t l = j; l < K; l++)
                if (!flat_zero(z[i - K][l]) && !flat_zero(top.at(l, j))) flat_sub_mul_to(sum, z[i - K][l], top.at(l, j));
            if (flat_zero(sum)) continue;
            sum.sign = -sum.sign;
            if (!flat_div(sum, d, out.at(i, j))) return false;
        }
    }
    std::swap(a, out);
    return true;
}

bool scaled_solutions(FlatMatrix& b, const FlatInt& d, const std::vector<std::vector<FlatInt>>& ws,
                      std::vector<std::vector<FlatInt>>& out) {
    const int32_t n = b.R;
    if (n < 1 || b.K != n || flat_zero(d)) return false;
    Duals duals(b, d);
    if (!duals.ready()) return false;
    out.clear();
    for (const std::vector<FlatInt>& w : ws) {
        if (static_cast<int32_t>(w.size()) != n) return false;
        out.push_back(duals.solve(w));
    }
    return true;
}
