#include "matrix/deficient_hermite.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "det/word_arith.h"
#include "matrix/dual_lifting.h"
#include "matrix/square_hermite.h"
#include "toplevel/errors.h"

bool rank_split(FlatMatrix& a, RankSplit& s) {
    const int32_t R = a.R, K = a.K;
    const wordmod::Prime P(2147483647u);
    // Each row reduced by the rows kept before it, in their order: a kept
    // row is 1 at its pivot column and 0 at every earlier kept pivot, so
    // a row is independent of the earlier ones just when something is left.
    std::vector<std::vector<uint32_t>> kept;
    std::vector<uint32_t> row(K);
    for (int32_t i = 0; i < R && static_cast<int32_t>(kept.size()) < K; i++) {
        poll_interrupt();
        for (int32_t j = 0; j < K; j++) row[j] = flat_residue(a.at(i, j), P);
        for (size_t b = 0; b < kept.size(); b++) {
            const uint32_t f = row[s.cols[b]];
            if (f == 0) continue;
            for (int32_t j = 0; j < K; j++)
                if (kept[b][j]) row[j] = P.sub(row[j], P.mul(f, kept[b][j]));
        }
        int32_t c = 0;
        while (c < K && row[c] == 0) c++;
        if (c == K) continue;
        const uint32_t inv = P.inv(row[c]);
        for (uint32_t& x : row) x = P.mul(x, inv);
        kept.push_back(row);
        s.rows.push_back(i);
        s.cols.push_back(c);
    }
    const int32_t r = static_cast<int32_t>(s.rows.size());
    if (r == 0) return false;
    std::vector<char> in_block(K, 0);
    std::vector<int32_t> order = s.cols;
    for (const int32_t c : s.cols) in_block[c] = 1;
    for (int32_t j = 0; j < K; j++)
        if (!in_block[j]) order.push_back(j);
    s.top = FlatMatrix(r, K);
    s.block = FlatMatrix(r, r);
    for (int32_t j = 0; j < K; j++)
        for (int32_t l = 0; l < r; l++) s.top.at(l, j) = a.at(s.rows[l], order[j]);
    for (int32_t j = 0; j < r; j++)
        for (int32_t l = 0; l < r; l++) s.block.at(l, j) = s.top.at(l, j);
    if (r == 1) {
        // One row: its form is the gcd of its entries.
        FlatInt g, t;
        for (const FlatInt& x : s.top.v) {
            flat_gcd(g, x, t);
            std::swap(g, t);
        }
        g.sign = 1;
        s.d = s.top.at(0, 0);
        s.d.sign = 1;
        s.top = FlatMatrix(1, K);
        s.top.at(0, 0) = g;
        s.formed = true;
        return true;
    }
    return lattice_multiple(s.block, &s.d);
}

bool rank_join(FlatMatrix& a, RankSplit& s) {
    const int32_t R = a.R, K = a.K, r = static_cast<int32_t>(s.rows.size());
    std::vector<char> split(R, 0);
    for (const int32_t i : s.rows) split[i] = 1;
    std::vector<int32_t> others;
    std::vector<std::vector<FlatInt>> ws;
    for (int32_t i = 0; i < R; i++) {
        if (split[i]) continue;
        others.push_back(i);
        std::vector<FlatInt> w(r);
        for (int32_t l = 0; l < r; l++) w[l] = a.at(i, s.cols[l]);
        ws.push_back(std::move(w));
    }
    // z with z B = d b for each other row's block part b.
    std::vector<std::vector<FlatInt>> z;
    if (!ws.empty() && !scaled_solutions(s.block, s.d, ws, z)) return false;
    FlatInt sum, t;
    for (size_t o = 0; o < others.size(); o++) {
        poll_interrupt();
        // d a_i = z A_rows on every column: a_i is in the rows' span, so
        // the rank is theirs and the lattice follows their coordinates.
        for (int32_t j = 0; j < K; j++) {
            flat_mul(s.d, a.at(others[o], j), t);
            for (int32_t l = 0; l < r; l++)
                if (!flat_zero(z[o][l])) flat_sub_mul_to(t, z[o][l], a.at(s.rows[l], j));
            if (!flat_zero(t)) return false;
        }
    }
    FlatMatrix out(R, K);
    for (int32_t j = 0; j < r; j++)
        for (int32_t l = 0; l < r; l++) out.at(s.rows[l], j) = s.top.at(l, j);
    for (size_t o = 0; o < others.size(); o++) {
        poll_interrupt();
        for (int32_t j = 0; j < r; j++) {
            sum = FlatInt{};
            for (int32_t l = j; l < r; l++)
                if (!flat_zero(z[o][l]) && !flat_zero(s.top.at(l, j)))
                    flat_sub_mul_to(sum, z[o][l], s.top.at(l, j));
            if (flat_zero(sum)) continue;
            sum.sign = -sum.sign;
            if (!flat_div(sum, s.d, out.at(others[o], j))) return false;
        }
    }
    // Echelon with the pivots on the split's rows: then these are a's
    // first independent rows over the rationals, not only modulo the prime.
    for (int32_t j = 0; j < r; j++) {
        if (out.at(s.rows[j], j).sign <= 0) return false;
        for (int32_t i = 0; i < s.rows[j]; i++)
            if (!flat_zero(out.at(i, j))) return false;
    }
    std::swap(a, out);
    return true;
}
