#include "matrix/square_hermite.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "det/word_arith.h"
#include "matrix/dual_lifting.h"
#include "numbers/numbers.h"
#include "toplevel/errors.h"

namespace {

using lifting::add_to;
using lifting::Duals;
using lifting::flat_of;
using lifting::Mix;
using lifting::reduce_into;

// Dual vectors beyond the first two before giving up: each new one
// leaves a prime dividing all the last entries so far with chance 1/p.
constexpr int kMoreDuals = 24;
// Dual vectors tried for one that alone defines the lattice: where a
// prime's part of the quotient is not cyclic none does.
constexpr int kPrimitiveTries = 4;
// Digits of the first rows' lattice multiple past which their form comes
// from the wide road: the steps modulo it cost a cube of the side in
// numbers of its length, the wide road a determinant and a lifting.
constexpr size_t kShortTopModulus = 2;

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

bool wide_road(FlatMatrix& a);

// h1 := its form, e1 a multiple of its lattice's determinant. Each wide
// road that falls back on the square one comes here a row narrower, so
// the two end.
bool first_rows_form(FlatMatrix& h1, const FlatInt& e1) {
    if (e1.mag.size() > kShortTopModulus && wide_road(h1)) return true;
    return flat_hermite_modulo(h1, e1) == h1.R;
}

// Otherwise the form is [[H1, 0], [c, d / e]] with H1 the form of the
// first n - 1 rows, whose determinant e divides every dual vector's last
// entry and d (so their gcd bounds the steps for H1), and c from a
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
    if (!first_rows_form(h1, e1)) return false;
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

// The wide road where no one dual vector defines the first R columns'
// lattice (its quotient not cyclic, as for a product of two matrices both
// singular modulo one small prime): their form from the square road, which
// has a branch for that, and the other columns joined to it by the steps
// modulo d. On that triangle, its pivots mostly 1, the steps are short;
// on a itself they are a cube of the size in numbers of d's length.
bool joined_to_block_form(FlatMatrix& a, const FlatInt& d) {
    const int32_t R = a.R, K = a.K;
    FlatMatrix w(R, K), b(R, R);
    for (int32_t j = 0; j < R; j++)
        for (int32_t i = 0; i < R; i++) b.at(i, j) = a.at(i, j);
    if (!square_hermite(b, d)) return false;
    for (int32_t j = 0; j < K; j++)
        for (int32_t i = 0; i < R; i++) w.at(i, j) = j < R ? std::move(b.at(i, j)) : a.at(i, j);
    // w spans a's lattice (B's form spans B's columns, the others are a's
    // own), which holds d times every unit vector: the steps go modulo d.
    if (flat_hermite_modulo(w, d) != R) return false;
    FlatMatrix h(R, R);
    FlatInt m, t;
    flat_set(1, m);
    for (int32_t j = 0; j < R; j++) {
        flat_mul(m, w.at(j, j), t);
        std::swap(m, t);
        for (int32_t i = j; i < R; i++) std::swap(h.at(i, j), w.at(i, j));
    }
    // Checked as the one-dual road's form is.
    if (!is_form_of(a, h, m, nullptr)) return false;
    FlatMatrix out(R, K);
    for (int32_t j = 0; j < R; j++)
        for (int32_t i = j; i < R; i++) std::swap(out.at(i, j), h.at(i, j));
    std::swap(a, out);
    return true;
}

// a := its form by the wide road, d found here; false, a untouched, where
// that road does not serve.
bool wide_road(FlatMatrix& a) {
    FlatInt d;
    return lattice_multiple(a, &d) && wide_hermite(a, d);
}

}  // namespace

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
    if (!from_one_dual(y, z, duals, d, h)) return joined_to_block_form(a, d);
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
