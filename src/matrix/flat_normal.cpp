#include "matrix/flat_normal.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "det/int_determ.h"
#include "matrix/deficient_hermite.h"
#include "matrix/dense_vectors.h"
#include "matrix/hermite_by_inverse.h"
#include "matrix/measures.h"
#include "matrix/sparse_int_steps.h"
#include "matrix/square_hermite.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/progress.h"

namespace {

// A 2 x 2 unimodular step on columns i and j: new c_i = g[0] c_i + g[2] c_j,
// new c_j = g[1] c_i + g[3] c_j; h is its inverse in the same layout.
struct Step {
    FlatInt g[4], h[4];
};

thread_local FlatInt scratch_x, scratch_y;

// x, y := g00 x + g10 y, g01 x + g11 y.
void mix(FlatInt& x, FlatInt& y, const FlatInt& g00, const FlatInt& g01, const FlatInt& g10, const FlatInt& g11) {
    FlatInt& nx = scratch_x;
    FlatInt& ny = scratch_y;
    flat_mul(g00, x, nx);
    flat_mul(g01, x, ny);
    FlatInt m;
    m = g10;
    m.sign = -m.sign;
    flat_sub_mul_to(nx, m, y);
    m = g11;
    m.sign = -m.sign;
    flat_sub_mul_to(ny, m, y);
    std::swap(x, nx);
    std::swap(y, ny);
}

// The matrix with a transform kept in step with its column operations.
struct Ops {
    FlatMatrix& a;
    FlatTransform t;

    // column j -= q x column k; the matrix over rows from on (zero above).
    void sub(int32_t j, int32_t k, const FlatInt& q, int32_t from) {
        for (int32_t r = from; r < a.R; r++) flat_sub_mul_to(a.at(r, j), q, a.at(r, k));
        if (t.fwd)
            for (int32_t r = 0; r < t.fwd->R; r++) flat_sub_mul_to(t.fwd->at(r, j), q, t.fwd->at(r, k));
        if (t.inv) {
            FlatInt mq = q;
            mq.sign = -mq.sign;
            for (int32_t c = 0; c < t.inv->K; c++) flat_sub_mul_to(t.inv->at(k, c), mq, t.inv->at(j, c));
        }
    }
    void swap(int32_t i, int32_t j) {
        if (i == j) return;
        for (int32_t r = 0; r < a.R; r++) std::swap(a.at(r, i), a.at(r, j));
        if (t.fwd)
            for (int32_t r = 0; r < t.fwd->R; r++) std::swap(t.fwd->at(r, i), t.fwd->at(r, j));
        if (t.inv)
            for (int32_t c = 0; c < t.inv->K; c++) std::swap(t.inv->at(i, c), t.inv->at(j, c));
    }
    void neg(int32_t j, int32_t from) {
        for (int32_t r = from; r < a.R; r++) a.at(r, j).sign = -a.at(r, j).sign;
        if (t.fwd)
            for (int32_t r = 0; r < t.fwd->R; r++) t.fwd->at(r, j).sign = -t.fwd->at(r, j).sign;
        if (t.inv)
            for (int32_t c = 0; c < t.inv->K; c++) t.inv->at(j, c).sign = -t.inv->at(j, c).sign;
    }
    // The step on the transform alone.
    void mix_transform(int32_t i, int32_t j, const Step& s) {
        if (t.fwd)
            for (int32_t r = 0; r < t.fwd->R; r++)
                mix(t.fwd->at(r, i), t.fwd->at(r, j), s.g[0], s.g[1], s.g[2], s.g[3]);
        // Rows: new r_i = h00 r_i + h01 r_j, new r_j = h10 r_i + h11 r_j.
        if (t.inv)
            for (int32_t c = 0; c < t.inv->K; c++)
                mix(t.inv->at(i, c), t.inv->at(j, c), s.h[0], s.h[2], s.h[1], s.h[3]);
    }
};

}  // namespace

void xgcd(const FlatInt& a, const FlatInt& b, FlatInt& g, FlatInt& s, FlatInt& t) {
    FlatInt r0 = a, r1 = b, s0, s1, t0, t1, q, x;
    flat_set(1, s0);
    flat_set(0, s1);
    flat_set(0, t0);
    flat_set(1, t1);
    while (!flat_zero(r1)) {
        flat_div(r0, r1, q);
        flat_sub_mul(r0, q, r1, x);
        r0 = std::move(r1);
        r1 = std::move(x);
        flat_sub_mul(s0, q, s1, x);
        s0 = std::move(s1);
        s1 = std::move(x);
        flat_sub_mul(t0, q, t1, x);
        t0 = std::move(t1);
        t1 = std::move(x);
    }
    if (r0.sign < 0) {
        r0.sign = 1;
        s0.sign = -s0.sign;
        t0.sign = -t0.sign;
    }
    g = std::move(r0);
    s = std::move(s0);
    t = std::move(t0);
}

namespace {

FlatInt negated(FlatInt x) {
    x.sign = -x.sign;
    return x;
}

// The column step that leaves gcd(a, b) = s a + t b where a was and 0 where
// b was: [[s, -b/g], [t, a/g]], inverse [[a/g, b/g], [-t, s]].
void gcd_step(const FlatInt& a, const FlatInt& b, Step& st) {
    FlatInt g, s, t, ag, bg;
    xgcd(a, b, g, s, t);
    flat_div(a, g, ag);
    flat_div(b, g, bg);
    st.g[0] = s;
    st.g[1] = negated(bg);
    st.g[2] = t;
    st.g[3] = ag;
    st.h[0] = ag;
    st.h[1] = bg;
    st.h[2] = negated(t);
    st.h[3] = s;
}

bool diagonal(FlatMatrix& a) {
    for (int32_t j = 0; j < a.K; j++)
        for (int32_t i = 0; i < a.R; i++)
            if (i != j && !flat_zero(a.at(i, j))) return false;
    return true;
}

FlatMatrix transposed(FlatMatrix& m) {
    FlatMatrix t(m.K, m.R);
    for (int32_t j = 0; j < m.K; j++)
        for (int32_t i = 0; i < m.R; i++) std::swap(t.at(j, i), m.at(i, j));
    return t;
}

// The column of row i's least non-zero entry from column k on (the first
// unit met, else the first least), or -1.
int32_t least_in_row(FlatMatrix& a, int32_t i, int32_t k) {
    int32_t bj = -1;
    for (int32_t j = k; j < a.K; j++) {
        if (flat_zero(a.at(i, j))) continue;
        if (bj < 0 || flat_cmp_abs(a.at(i, j), a.at(i, bj)) < 0) bj = j;
        if (flat_unit(a.at(i, bj))) break;
    }
    return bj;
}

// Phase one of the Hermite form modulo d, a multiple of the determinant of
// a's column lattice (a of full row rank): that lattice holds d times every
// unit vector, so entries may be taken modulo d, and once the pivot g of a
// row is known the rest of the lattice needs only d / g. Each row's gcd
// comes from its least entry reducing the others; the pivot column is then
// combined with d's unit vector (gcd(g', d) = u g' + v d) and kept apart,
// lower triangular; a holds the pivot columns afterwards. Returns the rank,
// every row a pivot row.
// Rows from `from` on, the rows above holding exact pivots (each on the
// diagonal): the rest of the lattice needs only d over their product.
int32_t pivots_modulo(FlatMatrix& a, const FlatInt& d, std::vector<int32_t>& pivot_row,
                      const dense_vectors::VerboseLevel* phase, int32_t every, int32_t from) {
    FlatInt m = d, q, g, u, v;
    for (int32_t i = 0; i < from; i++) flat_div(m, a.at(i, i), m);
    // With a word of slack: a division at every step cost more than the
    // steps.
    auto reduce = [&m](FlatInt& x) {
        if (x.mag.size() > m.mag.size() + 1) flat_rem(x, m, x);
    };
    FlatMatrix w(a.R, a.K);
    for (int32_t j = 0; j < from; j++)
        for (int32_t i = 0; i < a.R; i++) std::swap(w.at(i, j), a.at(i, j));
    for (int32_t j = from; j < a.K; j++)
        for (int32_t i = from; i < a.R; i++) reduce(a.at(i, j));
    int32_t k = from;
    for (int32_t i = from; i < a.R; i++) {
        poll_interrupt();
        bool found = false;
        while (k < a.K) {
            const int32_t bj = least_in_row(a, i, k);
            if (bj < 0) break;
            found = true;
            if (bj != k)
                for (int32_t r = i; r < a.R; r++) std::swap(a.at(r, k), a.at(r, bj));
            bool clear = true;
            for (int32_t j = k + 1; j < a.K; j++) {
                if (flat_zero(a.at(i, j))) continue;
                if (!flat_div(a.at(i, j), a.at(i, k), q)) clear = false;
                if (flat_zero(q)) continue;
                for (int32_t r = i; r < a.R; r++) {
                    flat_sub_mul_to(a.at(r, j), q, a.at(r, k));
                    reduce(a.at(r, j));
                }
            }
            if (clear) break;
        }
        if (!found) {
            // Only d's unit vector reaches this row: the rest is all of Z.
            w.at(i, i) = m;
            flat_set(1, m);
        } else {
            xgcd(a.at(i, k), m, g, u, v);
            flat_div(m, g, m);
            w.at(i, i) = g;
            for (int32_t r = i + 1; r < a.R; r++) {
                flat_mul(u, a.at(r, k), w.at(r, i));
                reduce(w.at(r, i));
            }
            k++;
        }
        pivot_row.push_back(i);
        if (phase && i % every == 0) phase->step(i + 1);
    }
    std::swap(a, w);
    return a.R;
}

}  // namespace

FlatMatrix flat_identity(int32_t n) {
    FlatMatrix m(n, n);
    for (int32_t i = 0; i < n; i++) flat_set(1, m.at(i, i));
    return m;
}

namespace {

// Below this many rows the exact steps cost less than the determinant.
constexpr int32_t kBoundedRows = 12;

// |det a| into det for a square matrix of full rank large enough to gain
// by it, under integer arithmetic (the determinant's remaindering needs
// it); else null.
const FlatInt* transform_bound(FlatMatrix& a, FlatInt& det) {
    if (a.R != a.K || a.R < kBoundedRows || modularmode) return nullptr;
    return lattice_multiple(a, &det) ? &det : nullptr;
}

// A square matrix whose determinant is known has its form, and its
// transforms, from that determinant and its dual lattice at a fraction of
// the steps' cost; so have a wide one through its first columns and a tall
// one through its first rows. The bound that keeps no transform is no use
// to the steps that keep one: it is found for this road alone.
bool by_determinant(FlatMatrix& a, FlatTransform t, const FlatInt* d) {
    FlatInt det;
    const bool kept = t.fwd || t.inv;
    if (a.R == a.K) {
        const FlatInt* whole = kept ? transform_bound(a, det) : d;
        return whole && square_hermite(a, *whole, t.fwd, t.inv);
    }
    if (kept) return false;
    if (a.R < a.K) {
        if (d && wide_hermite(a, *d)) return true;
        if (!d) return false;
        // The lattice and its form do not depend on the columns' order:
        // where the first columns' dual lattice needs more than one vector,
        // other columns may lead.
        for (const int32_t shift : {a.K - a.R, a.K / 2}) {
            FlatMatrix b(a.R, a.K);
            for (int32_t j = 0; j < a.K; j++)
                for (int32_t i = 0; i < a.R; i++) b.at(i, (j + shift) % a.K) = a.at(i, j);
            if (lattice_multiple(b, &det) && wide_hermite(b, det)) {
                std::swap(a, b);
                return true;
            }
        }
        return false;
    }
    if (a.K < kBoundedRows || modularmode) return false;
    FlatMatrix top(a.K, a.K);
    for (int32_t j = 0; j < a.K; j++)
        for (int32_t i = 0; i < a.K; i++) top.at(i, j) = a.at(i, j);
    return lattice_multiple(top, &det) && tall_hermite(a, top, det);
}

// A matrix the determinant's roads miss for want of a non-singular block
// where they look (of lower rank, or so placed) has its form through its
// first independent rows: rows := the pivots' rows. Without a transform
// only.
bool by_rank_profile(FlatMatrix& a, FlatTransform t, const FlatInt* d, std::vector<int32_t>& rows) {
    if (t.fwd || t.inv || modularmode || std::min(a.R, a.K) < kBoundedRows) return false;
    // With a bound the matrix is of full row rank and the bound's road
    // (or the steps modulo it) serves.
    if (d) return false;
    RankSplit s;
    if (!rank_split(a, s)) return false;
    if (!s.formed && !by_determinant(s.top, FlatTransform{}, &s.d)) return false;
    if (!rank_join(a, s)) return false;
    rows = s.rows;
    return true;
}

int32_t hermite_steps(FlatMatrix& a, FlatTransform t, HermiteTrace trace, const FlatInt* d, bool at_once) {
    const bool progress = trace != HermiteTrace::none;
    Ops op{a, t};
    std::vector<int32_t> pivot_row;
    FlatInt q, below, one;
    flat_set(1, one);
    int32_t k = 0;
    const int32_t side = a.R < a.K ? a.R : a.K;
    std::optional<dense_vectors::VerboseLevel> phase;
    if (progress) phase.emplace("Phase 1, ", side);
    const int32_t every = disper(side);
    if (!at_once && by_determinant(a, t, d))
        for (k = 0; k < side; k++) {
            // The pivots' progress as the steps would tell it.
            pivot_row.push_back(k);
            if (progress && k % every == 0) phase->step(k + 1);
        }
    int32_t first = k;
    if (!at_once && k == 0 && by_rank_profile(a, t, d, pivot_row)) {
        for (k = 0; k < static_cast<int32_t>(pivot_row.size()); k++)
            if (progress && k % every == 0) phase->step(k + 1);
        first = a.R;
    }
    for (int32_t i = first; i < a.R && k < a.K; i++) {
        poll_interrupt();
        // Entries grown to twice the bound's size go on modulo it (every
        // row then has its pivot on the diagonal: a is of full row rank).
        // Below that the exact steps run faster: their entries, unlike
        // residues, keep the quotients of the row's reduction short.
        if (d && k == i) {
            bool past = at_once;
            for (int32_t j = k; j < a.K && !past; j++) past = a.at(i, j).mag.size() > 2 * d->mag.size();
            if (past) {
                k = pivots_modulo(a, *d, pivot_row, progress ? &*phase : nullptr, every, i);
                break;
            }
        }
        // The least entry of the row leads and reduces the others, until it
        // divides them all: small quotients keep the block below small.
        bool found = false;
        for (;;) {
            const int32_t bj = least_in_row(a, i, k);
            if (bj < 0) break;
            found = true;
            op.swap(k, bj);
            bool clear = true;
            for (int32_t j = k + 1; j < a.K; j++) {
                if (flat_zero(a.at(i, j))) continue;
                if (!flat_div(a.at(i, j), a.at(i, k), q)) clear = false;
                if (!flat_zero(q)) op.sub(j, k, q, i);
            }
            if (clear) break;
        }
        if (!found) continue;
        if (a.at(i, k).sign < 0) op.neg(k, i);
        pivot_row.push_back(i);
        if (progress && k % every == 0) phase->step(k + 1);
        k++;
    }
    phase.reset();
    // The sparse steps count pivots from 1 on a level of their own.
    const bool sparse = trace == HermiteTrace::sparse;
    std::optional<dense_vectors::VerboseLevel> two;
    if (sparse) two.emplace("Hermite Phase 2, ", k);
    if (trace == HermiteTrace::dense && verbose) dumpitt("Hermite Phase 2, ", k - 1, 1, 1, 1);
    const int32_t every_two = disper(sparse ? (k > 0 ? k : 1) : k);
    // Each entry left of a pivot into [0, pivot), columns from the right:
    // a column is reduced only by finished ones, whose entries are already
    // below their pivots, from its top entry down; reducing at one pivot
    // leaves the entries above it alone.
    for (int32_t j = k - 2; j >= 0; j--) {
        poll_interrupt();
        const int32_t done = k - 1 - j;
        if (sparse && (done + 1) % every_two == 0) two->step(done + 1);
        if (!sparse && progress && verbose && done % every_two == 0) dumpitt(" ", done, 0, 0, 1);
        for (int32_t p = j + 1; p < k; p++) {
            const int32_t i = pivot_row[static_cast<size_t>(p)];
            if (flat_zero(a.at(i, j))) continue;
            const bool exact = flat_div(a.at(i, j), a.at(i, p), q);
            if (!exact && a.at(i, j).sign < 0) {
                flat_sub(q, one, below);
                std::swap(q, below);
            }
            if (!flat_zero(q)) op.sub(j, p, q, i);
        }
    }
    return k;
}

}  // namespace

int32_t flat_hermite(FlatMatrix& a, FlatTransform t, HermiteTrace trace, const FlatInt* d) {
    return hermite_steps(a, t, trace, d, false);
}

int32_t flat_hermite_modulo(FlatMatrix& a, const FlatInt& d) {
    // d times every unit vector lies in the lattice: each entry may be
    // taken modulo d before any step.
    for (FlatInt& x : a.v)
        if (!flat_zero(x)) flat_rem(x, d, x);
    return hermite_steps(a, FlatTransform{}, HermiteTrace::none, &d, true);
}

int32_t flat_smith(FlatMatrix& a, FlatTransform rows, FlatTransform cols) {
    // Column forms and row forms (column forms of the transpose) by turns:
    // each turn either lowers the leading pivot to a proper divisor or
    // clears its row and column, so the turns end.
    int32_t rank = 0;
    // Exact steps would let the transforms (and, on a triangle with large
    // pivots, the matrix itself) grow far past their final size: each form
    // goes through the bounded form and the transform's inverse. That road
    // works on a square as wide as the matrix, so a wide one starts with
    // its row form, on the narrower square.
    bool flipped = a.R < a.K;
    if (flipped) a = transposed(a);
    for (;;) {
        poll_interrupt();
        rank = flat_hermite_kept(a, flipped ? rows : cols);
        if (diagonal(a)) break;
        a = transposed(a);
        flipped = !flipped;
    }
    if (flipped) a = transposed(a);
    // The divisibility chain: (d_i, d_j) becomes (gcd, lcm) by a row step
    // [[s, t], [-d_j/g, d_i/g]] and a column step [[1, -t d_j/g], [1, s d_i/g]].
    Ops rop{a, rows}, cop{a, cols};
    Step rs, cs;
    FlatInt one, prod;
    flat_set(1, one);
    for (int32_t i = 0; i < rank; i++) {
        poll_interrupt();
        for (int32_t j = i + 1; j < rank; j++) {
            FlatInt& di = a.at(i, i);
            FlatInt& dj = a.at(j, j);
            FlatInt q;
            if (flat_div(dj, di, q)) continue;
            gcd_step(di, dj, rs);
            rop.mix_transform(i, j, rs);
            const FlatInt& s = rs.g[0];
            const FlatInt& t = rs.g[2];
            const FlatInt& ag = rs.g[3];
            const FlatInt bg = negated(rs.g[1]);
            cs.g[0] = one;
            cs.g[2] = one;
            flat_mul(t, bg, prod);
            cs.g[1] = negated(prod);
            flat_mul(s, ag, cs.g[3]);
            cs.h[0] = cs.g[3];
            cs.h[1] = prod;
            cs.h[2] = negated(one);
            cs.h[3] = one;
            cop.mix_transform(i, j, cs);
            // lcm first: di still holds the old d_i.
            flat_mul(bg, di, dj);
            flat_div(di, ag, di);
        }
    }
    return rank;
}

bool lattice_multiple(FlatMatrix& a, FlatInt* d) {
    const int32_t n = a.R;
    if (n == 0 || n > a.K) return false;
    // The determinant's own progress lines are no part of the form's.
    ProgressOff quiet;
    struct Cells {
        std::vector<quoly*> v;
        ~Cells() {
            for (quoly*& q : v) free_quoly(&q);
        }
    };
    for (const int32_t first : {int32_t{0}, a.K - n}) {
        Cells cells;
        for (int32_t j = 0; j < n; j++)
            for (int32_t i = 0; i < n; i++) cells.v.push_back(flat_quoly(a.at(i, first + j)));
        QuolyOwner det, bound;
        quoly_set(-1, &bound.q);
        set_min_cut(n);
        int_determ(&det.q, nullptr, cells.v.data(), n, &bound.q);
        if (!quoly_iszero(det.q)) {
            flat_read(det.q->nnum, *d);
            d->sign = 1;
            return true;
        }
        if (first == a.K - n) break;
    }
    return false;
}

std::unique_ptr<FlatInt> bounded_by(FlatMatrix& a, const int flags[4]) {
    // The determinant's remaindering takes integer arithmetic: none under a
    // modulus.
    if (flags[1] || flags[3] || a.R < kBoundedRows || a.R > a.K || modularmode) return nullptr;
    auto d = std::make_unique<FlatInt>();
    if (!lattice_multiple(a, d.get())) return nullptr;
    return d;
}

void flat_from_cells(quoly** cells, int32_t R, int32_t K, FlatMatrix& out) {
    out = FlatMatrix(R, K);
    for (size_t c = 0; c < out.v.size(); c++)
        if (!quoly_iszero(cells[c])) flat_read(cells[c]->nnum, out.v[c]);
}

void flat_to_cells(FlatMatrix& m, quoly** cells, bool transposed) {
    for (int32_t j = 0; j < m.K; j++)
        for (int32_t i = 0; i < m.R; i++) {
            const size_t c = transposed ? static_cast<size_t>(i) * m.K + j : static_cast<size_t>(j) * m.R + i;
            cells[c] = flat_quoly(m.at(i, j));
        }
}
