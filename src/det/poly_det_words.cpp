#include "det/poly_det_words.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "det/poly_det.h"
#include "det/poly_det_impl.h"
#include "det/word_eval.h"
#include "interp/settings.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace polydet {

namespace {

using wordmod::Multiplier;
using wordmod::Prime;
using wordmod::evaluate_planes;

// Orders the terms [from, to) of w by their exponents, innermost level most
// significant.
void sort_cell(WordCells* w, size_t from, size_t to) {
    const size_t nv = static_cast<size_t>(w->nvars);
    std::vector<size_t> order(to - from);
    std::iota(order.begin(), order.end(), from);
    const int32_t* e = w->exps.data();
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        for (size_t k = nv; k-- > 0;)
            if (e[a * nv + k] != e[b * nv + k]) return e[a * nv + k] < e[b * nv + k];
        return false;
    });
    std::vector<int32_t> exps;
    std::vector<uint32_t> coefs;
    for (size_t t : order) {
        exps.insert(exps.end(), e + t * nv, e + t * nv + nv);
        coefs.push_back(w->coefs[t]);
    }
    std::copy(exps.begin(), exps.end(), w->exps.begin() + static_cast<std::ptrdiff_t>(from * nv));
    std::copy(coefs.begin(), coefs.end(), w->coefs.begin() + static_cast<std::ptrdiff_t>(from));
}

// The level of the outermost variable occurring in any cell; 16384 for none.
int32_t outermost_level(const WordCells& w) {
    int32_t depth = 16384;
    for (size_t t = 0; t < w.terms(); t++) {
        const int32_t* e = w.exp(t);
        for (int32_t k = 0; k < w.nvars && k + 1 < depth; k++)
            if (e[k] != 0) {
                depth = k + 1;
                break;
            }
    }
    return depth;
}

// What the hub does with a matrix the word road cannot follow: the cells as
// quolys in a work block, handed to it.
bool hub_det(const WordCells& w, int32_t n, flatgcd::FlatPoly* out) {
    const int64_t count = int64_t{n} * n;
    WorkCopy block(nullptr, 0, "Det");
    for (int64_t c = 0; c < count; c++) block.cells[c] = nullptr;
    block.count = count;
    for (int64_t c = 0; c < count; c++) {
        TermTable table{w.nvars, {}, {}};
        for (uint32_t t = w.start[c]; t < w.start[c + 1]; t++)
            table.push(std::vector<int32_t>(w.exp(t), w.exp(t) + w.nvars), w.coefs[t]);
        table.build(&block.cells[c]);
    }
    quoly* d = nullptr;
    quoly_set(1, &d);
    QuolyOwner det(d);
    sparse* none = nullptr;
    mat_invert(block.cells, block.cells, 1, 1, n, &det.q, 0, 1, &none, nullptr, -1, -1, -1, 0, 0);
    if (quoly_iszero(det.q)) return true;
    if (det.q->isnum) {
        const std::vector<int32_t> zero(static_cast<size_t>(w.nvars), 0);
        const std::vector<uint32_t> xs(static_cast<size_t>(w.nvars) + 1, 0);
        out->push(zero.data(), quoly_residue(det.q, xs.data()));
        return true;
    }
    flatgcd::FlatPoly f;
    if (det.q->den || !flatten_residues(det.q->pnum, polynames, &f)) return false;
    for (size_t t = 0; t < f.terms(); t++) out->push(f.exp(t), f.coefs[t]);
    return true;
}

// The estimate for a degree matrix, remembered per level: the matrices a
// level evaluates at successive points mostly have the same degrees, and
// the estimate depends on nothing else.
int64_t degree_bound_of(std::vector<int64_t> deg, int32_t n, int32_t depth) {
    struct Last {
        std::vector<int64_t> deg;
        int64_t bound = 0;
    };
    static std::vector<Last> last;
    if (last.size() <= static_cast<size_t>(depth)) last.resize(static_cast<size_t>(depth) + 1);
    Last& l = last[static_cast<size_t>(depth)];
    if (l.deg == deg) return l.bound;
    l.deg = deg;
    l.bound = max_plus_degree_bound(std::move(deg), n);
    return l.bound;
}

}  // namespace

bool word_road_open(int32_t n, int32_t depth) {
    if (finf || !mod_is_prime || modulus < 2) return false;
    if (verbose || field_depth != 0 || pseudo_polynames) return false;
    // The hub takes the modular method again only for these.
    if (n < 7 || detcutoff >= 0 || rat_det_method_cut != 1) return false;
    // Nothing below may run out of nesting or of work blocks.
    const int32_t below = number_polys - depth;
    return lagrangedepth + below <= lagrangecut && first_available + below <= WORK_BLOCKS;
}

bool to_word_cells(quoly** cells, int64_t count, WordCells* out) {
    const int32_t nv = number_polys;
    out->nvars = nv;
    out->start.assign(1, 0);
    out->exps.clear();
    out->coefs.clear();
    const std::vector<int32_t> zero(static_cast<size_t>(nv), 0);
    const std::vector<uint32_t> xs(static_cast<size_t>(nv) + 1, 0);
    for (int64_t c = 0; c < count; c++) {
        quoly* q = cells[c];
        const size_t from = out->terms();
        if (q->isnum) {
            const uint32_t v = quoly_residue(q, xs.data());
            if (v) {
                out->exps.insert(out->exps.end(), zero.begin(), zero.end());
                out->coefs.push_back(v);
            }
        } else {
            flatgcd::FlatPoly f;
            if (q->den || !flatten_residues(q->pnum, polynames, &f) || f.nvars != nv) return false;
            for (size_t t = 0; t < f.terms(); t++) {
                if (f.coefs[t] == 0) continue;
                if (std::any_of(f.exp(t), f.exp(t) + nv, [](int32_t e) { return e < 0; })) return false;
                out->exps.insert(out->exps.end(), f.exp(t), f.exp(t) + nv);
                out->coefs.push_back(f.coefs[t]);
            }
            sort_cell(out, from, out->terms());
        }
        out->start.push_back(static_cast<uint32_t>(out->terms()));
    }
    return true;
}

void evaluate_word_cells(const WordCells& w, int32_t depth, uint32_t x, const Prime& P, WordCells* out) {
    const int32_t nv = w.nvars;
    const size_t d = static_cast<size_t>(depth) - 1;
    int32_t top = 0;
    for (size_t t = 0; t < w.terms(); t++) top = std::max(top, w.exp(t)[d]);
    std::vector<uint32_t> pw(static_cast<size_t>(top) + 1);
    pw[0] = 1 % P.p;
    for (size_t k = 1; k < pw.size(); k++) pw[k] = P.mul(pw[k - 1], x);
    out->nvars = nv;
    out->start.assign(1, 0);
    out->exps.clear();
    out->coefs.clear();
    out->exps.reserve(w.exps.size());
    out->coefs.reserve(w.coefs.size());
    const size_t cells = w.start.size() - 1;
    for (size_t c = 0; c < cells; c++) {
        size_t t = w.start[c];
        const size_t end = w.start[c + 1];
        while (t < end) {
            // The run of terms that differ in level depth only.
            const int32_t* e = w.exp(t);
            uint64_t sum = 0;
            size_t u = t;
            for (; u < end; u++) {
                const int32_t* f = w.exp(u);
                if (!std::equal(e + d + 1, e + nv, f + d + 1)) break;
                sum += P.mul(w.coefs[u], pw[static_cast<size_t>(f[d])]);
            }
            const uint32_t v = P.reduce(sum);
            if (v) {
                const size_t at = out->exps.size();
                out->exps.insert(out->exps.end(), e, e + nv);
                out->exps[at + d] = 0;
                out->coefs.push_back(v);
            }
            t = u;
        }
        out->start.push_back(static_cast<uint32_t>(out->terms()));
    }
}

bool word_cells_det(const WordCells& w, int32_t n, const Prime& P, flatgcd::FlatPoly* out) {
    const int32_t nv = w.nvars;
    const int64_t count = int64_t{n} * n;
    const int32_t depth = outermost_level(w);
    const std::vector<int32_t> zero(static_cast<size_t>(nv), 0);
    if (depth == 16384) {
        std::vector<uint32_t> a(static_cast<size_t>(count), 0);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) {
                const int64_t c = int64_t{j} * n + i;
                if (w.start[c] < w.start[c + 1]) a[static_cast<size_t>(i) * n + j] = w.coefs[w.start[c]];
            }
        const uint32_t v = wordmod::det(a.data(), n, P);
        if (v) out->push(zero.data(), v);
        return true;
    }
    const size_t d = static_cast<size_t>(depth) - 1;
    std::vector<int64_t> deg(static_cast<size_t>(count));
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            const int64_t c = int64_t{j} * n + i;
            int64_t m = ABSENT;
            for (uint32_t t = w.start[c]; t < w.start[c + 1]; t++) m = std::max<int64_t>(m, w.exp(t)[d]);
            deg[static_cast<size_t>(i) * n + j] = m;
        }
    int64_t D = degree_bound_of(std::move(deg), n, depth);
    if (D == 0) D = 1;
    const int64_t np = D + 1;
    const int64_t s = int64_t{P.p} / np;
    // Too many points for the modulus: the hub's own way with it.
    if (s < 2) return hub_det(w, n, out);

    DepthLevel nesting;
    dumpitt_level++;
    struct Level {
        long d;
        ~Level() { decr_dumpitt(d, 1, verbose); }
    } level{static_cast<long>(D)};

    std::vector<uint32_t> pts(static_cast<size_t>(np));
    for (int64_t i = 0; i < np; i++) pts[i] = static_cast<uint32_t>(i * s + rand_integer3() % s);
    // Each point as a prepared multiplier, once: its companion costs a division.
    std::vector<Multiplier> mxs;
    mxs.reserve(pts.size());
    for (uint32_t x : pts) mxs.emplace_back(x, P);
    // M(X) = product of (X - x_j), from the constant up.
    std::vector<uint32_t> M(static_cast<size_t>(np) + 1, 0);
    M[0] = 1;
    for (size_t j = 0; j < pts.size(); j++) {
        const Multiplier& mx = mxs[j];
        for (size_t k = j + 1; k >= 1; k--) M[k] = P.sub(M[k - 1], mx.times(M[k]));
        M[0] = P.sub(0, mx.times(M[0]));
    }

    const bool innermost = depth >= nv;
    // Innermost: the cells' coefficients in the last variable as planes,
    // plane k holding every cell's coefficient of degree k (row-major), so
    // that a point's values are a few products per cell on wide registers.
    int32_t top = 0;
    std::vector<uint32_t> planes;
    if (innermost) {
        for (size_t t = 0; t < w.terms(); t++) top = std::max(top, w.exp(t)[d]);
        planes.assign((static_cast<size_t>(top) + 1) * static_cast<size_t>(count), 0);
        for (int32_t r = 0; r < n; r++)
            for (int32_t c = 0; c < n; c++) {
                const int64_t cc = int64_t{c} * n + r;
                for (uint32_t t = w.start[cc]; t < w.start[cc + 1]; t++)
                    planes[static_cast<size_t>(w.exp(t)[d]) * count + static_cast<size_t>(r) * n + c] = w.coefs[t];
            }
    }
    // The powers x_i^j (row j), for the weights and the interpolation.
    std::vector<uint32_t> powers(static_cast<size_t>(np) * np);
    for (int64_t i = 0; i < np; i++) {
        const Multiplier& mx = mxs[static_cast<size_t>(i)];
        uint32_t v = 1 % P.p;
        for (int64_t j = 0; j < np; j++) {
            powers[static_cast<size_t>(j) * np + i] = v;
            v = mx.times(v);
        }
    }
    // The weights 1 / M'(x_i) = 1 / prod_{j != i} (x_i - x_j), all with one
    // inverse; M' at every point as one pass over the powers, the sums
    // reduced only as often as 64 bits need.
    std::vector<uint32_t> wts(static_cast<size_t>(np));
    {
        std::vector<uint64_t> acc(static_cast<size_t>(np), 0);
        uint64_t pending = 0;
        for (int64_t k = 1; k <= np; k++) {
            const uint32_t dk = P.mul(M[k], static_cast<uint32_t>(k % P.p));
            if (pending == P.lazy) {
                for (auto& a : acc) a = P.reduce(a);
                pending = 0;
            }
            pending++;
            const uint32_t* row = powers.data() + static_cast<size_t>(k - 1) * np;
            for (int64_t i = 0; i < np; i++) acc[i] += uint64_t{dk} * row[i];
        }
        for (int64_t i = 0; i < np; i++) wts[i] = P.reduce(acc[i]);
        P.invert_all(wts.data(), wts.size());
    }
    // The values det * weight at the points, one column per monomial of the
    // inner variables (innermost: the one monomial 1).
    std::map<std::vector<int32_t>, size_t> column_of;
    std::vector<const std::vector<int32_t>*> keys;
    std::vector<uint32_t> vals;
    auto column = [&](const int32_t* e) {
        auto [it, fresh] = column_of.try_emplace(std::vector<int32_t>(e, e + nv), keys.size());
        if (fresh) {
            keys.push_back(&it->first);
            vals.resize(vals.size() + static_cast<size_t>(np), 0);
        }
        return it->second;
    };
    if (innermost) column(zero.data());
    std::vector<size_t> last_cols;   // the columns of the previous point's terms, in order
    std::vector<uint32_t> a(static_cast<size_t>(count));
    std::vector<uint32_t> xpow(static_cast<size_t>(top) + 1);
    WordCells next;
    flatgcd::FlatPoly sub;
    sub.nvars = nv;
    for (int64_t i = 0; i < np; i++) {
        poll_interrupt();
        const uint32_t x = pts[i];
        const uint32_t wt = wts[i];
        if (innermost) {
            const Multiplier& mx = mxs[static_cast<size_t>(i)];
            xpow[0] = 1 % P.p;
            for (size_t k = 1; k < xpow.size(); k++) xpow[k] = mx.times(xpow[k - 1]);
            evaluate_planes(planes.data(), xpow.data(), xpow.size(), static_cast<size_t>(count), P, a.data());
            const uint32_t v = wordmod::det(a.data(), n, P);
            vals[static_cast<size_t>(i)] = v ? P.mul(v, wt) : 0;
            continue;
        }
        evaluate_word_cells(w, depth, x, P, &next);
        sub.exps.clear();
        sub.coefs.clear();
        if (!word_cells_det(next, n, P, &sub)) return false;
        last_cols.resize(std::max(last_cols.size(), sub.terms()), SIZE_MAX);
        for (size_t t = 0; t < sub.terms(); t++) {
            // Successive points mostly give the same monomials in the same order.
            const int32_t* e = sub.exp(t);
            size_t col = last_cols[t];
            if (col == SIZE_MAX || !std::equal(e, e + nv, keys[col]->begin())) col = last_cols[t] = column(e);
            vals[col * static_cast<size_t>(np) + static_cast<size_t>(i)] = P.mul(sub.coefs[t], wt);
        }
    }

    // sum_i c_i M(X) / (X - x_i) = sum_k X^k sum_{m > k} M[m] S_{m-k-1},
    // S_j = sum_i c_i x_i^j: dot products with the powers.
    std::vector<uint32_t> S(static_cast<size_t>(np));
    for (size_t col = 0; col < keys.size(); col++) {
        const uint32_t* c = vals.data() + col * static_cast<size_t>(np);
        if (std::all_of(c, c + np, [](uint32_t v) { return v == 0; })) continue;
        for (int64_t j = 0; j < np; j++) S[j] = P.dot(c, powers.data() + static_cast<size_t>(j) * np, np);
        std::vector<int32_t> e = *keys[col];
        for (int64_t k = 0; k < np; k++) {
            const uint32_t v = P.dot(M.data() + k + 1, S.data(), np - k);
            if (v == 0) continue;
            e[d] = static_cast<int32_t>(k);
            out->push(e.data(), v);
        }
    }
    return true;
}

}  // namespace polydet
