#include "matrix/int_pivot_product.h"

#include <utility>

#include "det/det_state.h"
#include "matrix/dense_vectors.h"
#include "matrix/measures.h"
#include "toplevel/errors.h"

namespace {

// What the rational value B / D of one cell is to the pivot choice.
struct Choice {
    int64_t at = -1;        // the best integer so far
    int64_t other_at = -1;  // the fraction of least mass so far
    int32_t other_mass = 0;
};

// The pivot over rows and columns k onward, as vec_findbest chooses among
// the rational values B / d (d the last pivot's determinant): the first
// unit met column by column, else the least integer, else the first fraction
// of least digit mass in lowest terms. False when every cell is zero.
bool choose(PivotBlock& a, int32_t k, const FlatInt& d, int32_t* row, int32_t* col) {
    Choice ch;
    const bool whole = flat_unit(d);
    FlatInt g, t;
    for (int32_t c = k; c < a.m; c++) {
        for (int32_t r = k; r < a.n; r++) {
            const FlatInt& b = a.at(r, c);
            if (flat_zero(b)) continue;
            const int64_t here = int64_t{c} * a.n + r;
            bool integer;
            if (whole) {
                integer = true;
            } else if (flat_cmp_abs(b, d) < 0) {
                integer = false;
            } else if (ch.at >= 0) {
                // Masses no longer matter: divisibility is enough.
                integer = flat_div(b, d, t);
            } else {
                flat_gcd(b, d, g);
                integer = flat_cmp_abs(g, d) == 0;
            }
            if (integer) {
                if (flat_cmp_abs(b, d) == 0) {
                    *row = r;
                    *col = c;
                    return true;
                }
                // One denominator for all: the least |B| is the least value.
                if (ch.at < 0 || flat_cmp_abs(b, a.v[static_cast<size_t>(ch.at)]) < 0) ch.at = here;
                continue;
            }
            if (ch.at >= 0) continue;
            if (flat_cmp_abs(b, d) < 0) flat_gcd(b, d, g);
            int32_t mass;
            if (flat_unit(g)) {
                mass = flat_digits(b) + flat_digits(d);
            } else {
                flat_div(b, g, t);
                mass = flat_digits(t);
                flat_div(d, g, t);
                mass += flat_digits(t);
            }
            if (ch.other_at < 0 || mass < ch.other_mass) {
                ch.other_at = here;
                ch.other_mass = mass;
            }
        }
    }
    const int64_t best = ch.at >= 0 ? ch.at : ch.other_at;
    if (best < 0) return false;
    *row = static_cast<int32_t>(best % a.n);
    *col = static_cast<int32_t>(best / a.n);
    return true;
}

}  // namespace

int32_t fraction_free_pivots(PivotBlock& a, const PivotChooser& choose, FlatInt* product,
                             std::vector<int32_t>* pairs) {
    const int32_t n = a.n, m = a.m;
    const int32_t s = n < m ? n : m;
    std::vector<int32_t> from_row, from_col;
    for (int32_t i = 0; i < n; i++) from_row.push_back(i);
    for (int32_t j = 0; j < m; j++) from_col.push_back(j);
    FlatInt d, t, u, w;
    flat_set(1, d);
    int32_t k = 0;
    for (; k < s; k++) {
        poll_interrupt();
        int32_t p = -1, q = 0;
        if (!choose(a, k, d, &p, &q)) break;
        if (q != k) {
            for (int32_t i = k; i < n; i++) std::swap(a.at(i, k), a.at(i, q));
            std::swap(from_col[k], from_col[q]);
        }
        if (p != k) {
            for (int32_t j = k; j < m; j++) std::swap(a.at(k, j), a.at(p, j));
            std::swap(from_row[k], from_row[p]);
        }
        // B' = (P B - B_kj B_ik) / d over the block left: exact, and the
        // new values over the pivot P are the rational entries the
        // reduction over the rationals has.
        const FlatInt& piv = a.at(k, k);
        for (int32_t j = k + 1; j < m; j++) {
            const FlatInt& top = a.at(k, j);
            for (int32_t i = k + 1; i < n; i++) {
                FlatInt& b = a.at(i, j);
                if (flat_zero(top) || flat_zero(a.at(i, k))) {
                    if (flat_zero(b)) continue;
                    flat_mul(b, piv, t);
                } else {
                    flat_mul(b, piv, u);
                    flat_mul(top, a.at(i, k), w);
                    flat_sub(u, w, t);
                }
                if (!flat_div(t, d, b)) {
                    tarvex_error("inexact division in fraction_free_pivots", 1);
                    abandon_statement(-1);
                }
            }
        }
        d = piv;
    }
    *product = d;
    if (pairs)
        for (int32_t i = 0; i < k; i++) {
            pairs->push_back(from_row[i]);
            pairs->push_back(from_col[i]);
        }
    return k;
}

int32_t int_pivot_product(quoly** cells, int32_t n, int32_t m, FlatInt* product, std::vector<int32_t>* pairs) {
    const int32_t s = n < m ? n : m;
    dense_vectors::VerboseLevel level("Counting to ", s);
    PivotBlock a{n, m, std::vector<FlatInt>(static_cast<size_t>(n) * m)};
    for (size_t c = 0; c < a.v.size(); c++) flat_read(cells[c]->nnum, a.v[c]);
    const int32_t every = s > 0 ? disper(s - 1) : 1;
    auto colreduce_choice = [&level, every](PivotBlock& b, int32_t k, const FlatInt& d, int32_t* row,
                                            int32_t* col) {
        if (!choose(b, k, d, row, col)) return false;
        if (k % every == 0) level.step(k + 1);
        return true;
    };
    return fraction_free_pivots(a, colreduce_choice, product, pairs);
}
