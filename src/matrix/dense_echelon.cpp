#include "matrix/dense_echelon.h"

#include <utility>

#include "det/det_state.h"
#include "det/pivots.h"
#include "matrix/dense_rowcol.h"
#include "matrix/dense_vectors.h"
#include "matrix/measures.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace dense_vectors;

namespace {

// The transformations asked for start as identities (P only when with_p).
void start_transforms(const int flags[4], int32_t n, int32_t m, quoly** P, quoly** Q, quoly** P2, quoly** Q2,
                      bool with_p) {
    if (flags[0] && with_p) identi(P, n, 0);
    if (flags[1]) identi(Q, m, 0);
    if (flags[2]) identi(P2, n, 0);
    if (flags[3]) identi(Q2, m, 0);
}

}  // namespace

int32_t red_row_ech(quoly** a, int32_t n, int32_t m, const int flags[2], quoly** L, quoly** Linv) {
    if (flags[0]) identi(L, n, 0);
    if (flags[1]) identi(Linv, n, 0);
    VerboseLevel level("Reduced row echelon, cols ", m);
    int32_t r = 0;
    for (int32_t c = 0; c + 1 < m && r < n; c++) {
        poll_interrupt();
        int32_t p = -1, unused = 0;
        vec_findbest(a, n, r, c, c + 1, &p, &unused);
        if (p < 0) continue;
        if (p != r) {
            for (int32_t j = c; j < m; j++) std::swap(at(a, n, r, j), at(a, n, p, j));
            if (flags[0]) swap_vector_rows(L, n, r, p);
            if (flags[1]) swap_cols(Linv, r, p, n);
        }
        if (c % 10 == 0) level.step(c + 1);
        QuolyOwner pivot;
        quoly_assign(at(a, n, r, c), &pivot.q);
        if (!quoly_isone(pivot.q)) {
            for (int32_t j = c + 1; j < m; j++) divide_cell(&at(a, n, r, j), pivot.q);
            if (flags[0])
                for (int32_t j = 0; j < n; j++) divide_cell(&at(L, n, r, j), pivot.q);
            if (flags[1])
                for (int32_t i = 0; i < n; i++) multiply_cell(&at(Linv, n, i, r), pivot.q);
            quoly_set(1, &at(a, n, r, c));
        }
        for (int32_t i = 0; i < n; i++) {
            if (i == r || quoly_iszero(at(a, n, i, c))) continue;
            quoly* e = at(a, n, i, c);
            sub_scaled(&at(a, n, i, c + 1), &at(a, n, r, c + 1), n, m - c - 1, e);
            if (flags[0]) sub_scaled(&at(L, n, i, 0), &at(L, n, r, 0), n, n, e);
            // Linv := Linv x E^-1: column r gains e times column i.
            if (flags[1]) add_scaled(&at(Linv, n, 0, r), &at(Linv, n, 0, i), 1, n, e);
            quoly_set(0, &at(a, n, i, c));
        }
        r++;
    }
    return r;
}

int32_t colreduce(quoly** a, int32_t n, int32_t m, const int flags[4], quoly** P, quoly** Q, quoly** P2,
                  quoly** Q2, int pseudet, int32_t limit, std::vector<int32_t>* pairs, int32_t base) {
    int32_t s = n < m ? n : m;
    if (limit < s) s = limit < 0 ? 0 : limit;
    VerboseLevel level("Counting to ", s);
    GcdStashLevel stash;
    start_transforms(flags, n, m, P, Q, P2, Q2, !pseudet);
    // Where each row and column of A0 now stands, for the pivot pairs.
    std::vector<int32_t> from_row, from_col;
    if (pseudet && flags[0]) {
        for (int32_t i = 0; i < n; i++) from_row.push_back(i);
        for (int32_t j = 0; j < m; j++) from_col.push_back(j);
    }
    const int32_t every = s > 0 ? disper(s - 1) : 1;
    int32_t k = 0;
    for (; k < s; k++) {
        poll_interrupt();
        int32_t p = -1, q = 0;
        vec_findbest(a, n, k, k, m, &p, &q);
        if (p < 0) break;
        if (k % every == 0) level.step(k + 1);
        if (q != k) {
            swap_cols(a, k, q, n);
            if (flags[1]) swap_cols(Q, k, q, m);
            if (flags[3]) swap_vector_rows(Q2, m, k, q);
            if (!from_col.empty()) std::swap(from_col[k], from_col[q]);
        }
        if (p != k) {
            swap_vector_rows(a, n, k, p, m);
            if (flags[0] && !pseudet) swap_vector_rows(P, n, k, p);
            if (flags[2]) swap_cols(P2, k, p, n);
            if (!from_row.empty()) std::swap(from_row[k], from_row[p]);
        }
        quoly* pivot = at(a, n, k, k);
        for (int32_t j = k + 1; j < m; j++) {
            if (quoly_iszero(at(a, n, k, j))) continue;
            QuolyOwner f;
            quoly_quot(at(a, n, k, j), pivot, &f.q, 0);
            sub_scaled(&at(a, n, k + 1, j), &at(a, n, k + 1, k), 1, n - k - 1, f.q);
            if (flags[1]) sub_scaled(&at(Q, m, 0, j), &at(Q, m, 0, k), 1, m, f.q);
            if (flags[3]) add_scaled(&at(Q2, m, k, 0), &at(Q2, m, j, 0), m, m, f.q);
            quoly_set(0, &at(a, n, k, j));
        }
        if (pseudet)
            for (int32_t i = k + 1; i < n; i++) quoly_set(0, &at(a, n, i, k));
    }
    if (pseudet && flags[0])
        for (int32_t i = 0; i < k; i++) {
            pairs->push_back(from_row[i] + base);
            pairs->push_back(from_col[i] + base);
        }
    return k;
}

int32_t normalize(quoly** a, int32_t n, int32_t m, const int flags[4], quoly** P, quoly** Q, quoly** P2,
                  quoly** Q2) {
    const int32_t s = n < m ? n : m;
    start_transforms(flags, n, m, P, Q, P2, Q2, true);
    int32_t k = 0;
    for (; k < s; k++) {
        poll_interrupt();
        int32_t p = -1, q = 0;
        vec_findbest(a, n, k, k, m, &p, &q);
        if (p < 0) break;
        if (q != k) {
            for (int32_t i = k; i < n; i++) std::swap(at(a, n, i, k), at(a, n, i, q));
            if (flags[1]) swap_cols(Q, k, q, m);
            if (flags[3]) swap_vector_rows(Q2, m, k, q);
        }
        if (p != k) {
            for (int32_t j = k; j < m; j++) std::swap(at(a, n, k, j), at(a, n, p, j));
            if (flags[0]) swap_vector_rows(P, n, k, p);
            if (flags[2]) swap_cols(P2, k, p, n);
        }
        quoly* pivot = at(a, n, k, k);
        for (int32_t i = k + 1; i < n; i++) {
            if (quoly_iszero(at(a, n, i, k))) continue;
            QuolyOwner f;
            quoly_quot(at(a, n, i, k), pivot, &f.q, 0);
            quoly_set(0, &at(a, n, i, k));
            sub_scaled(&at(a, n, i, k + 1), &at(a, n, k, k + 1), n, m - k - 1, f.q);
            if (flags[0]) sub_scaled(&at(P, n, i, 0), &at(P, n, k, 0), n, n, f.q);
            if (flags[2]) add_scaled(&at(P2, n, 0, k), &at(P2, n, 0, i), 1, n, f.q);
        }
        for (int32_t j = k + 1; j < m; j++) {
            if (quoly_iszero(at(a, n, k, j))) continue;
            if (flags[1] || flags[3]) {
                QuolyOwner f;
                quoly_quot(at(a, n, k, j), pivot, &f.q, 0);
                if (flags[1]) sub_scaled(&at(Q, m, 0, j), &at(Q, m, 0, k), 1, m, f.q);
                if (flags[3]) add_scaled(&at(Q2, m, k, 0), &at(Q2, m, j, 0), m, m, f.q);
            }
            quoly_set(0, &at(a, n, k, j));
        }
    }
    return k;
}
