#include "det/poly_det_words.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "det/poly_det.h"
#include "det/poly_det_impl.h"
#include "det/word_det_lanes.h"
#include "det/word_eval.h"
#include "det/word_interp.h"
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

using wordmod::Prime;

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

namespace {

// One level of the interpolation under way: counted for the nesting and
// the progress lines (both undone on every exit), and its D + 1 points, one
// in each interval [i s, (i + 1) s).
struct LevelPoints {
    DepthLevel nesting;
    struct Progress {
        long d;
        explicit Progress(long d_) : d(d_) { dumpitt_level++; }
        ~Progress() { decr_dumpitt(d, 1, verbose); }
        Progress(const Progress&) = delete;
        Progress& operator=(const Progress&) = delete;
    } progress;
    std::vector<uint32_t> pts;
    LevelPoints(int64_t D, int64_t s) : progress(static_cast<long>(D)), pts(static_cast<size_t>(D) + 1) {
        for (size_t i = 0; i < pts.size(); i++)
            pts[i] = static_cast<uint32_t>(static_cast<int64_t>(i) * s + rand_integer3() % s);
    }
};

// The cells of the innermost level from their planes (cell c row-major,
// plane b its coefficient of the last variable's b-th power), as the
// evaluation of the level above would have left them.
WordCells cells_of_planes(const std::vector<uint32_t>& planes, size_t len, int32_t n, int32_t nv) {
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n);
    WordCells w;
    w.nvars = nv;
    w.start.assign(1, 0);
    std::vector<int32_t> e(static_cast<size_t>(nv), 0);
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = 0; i < n; i++) {
            const size_t c = static_cast<size_t>(i) * static_cast<size_t>(n) + static_cast<size_t>(j);
            for (size_t b = 0; b < len; b++) {
                if (planes[b * count + c] == 0) continue;
                e.back() = static_cast<int32_t>(b);
                w.exps.insert(w.exps.end(), e.begin(), e.end());
                w.coefs.push_back(planes[b * count + c]);
            }
            w.start.push_back(static_cast<uint32_t>(w.terms()));
        }
    return w;
}

// The determinant of the innermost level, the cells given by their
// planes (len of them), as word_cells_det computes it for those cells.
bool planes_det(const std::vector<uint32_t>& planes, size_t len, int32_t n, int32_t nv, const Prime& P,
                flatgcd::FlatPoly* out) {
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n);
    std::vector<int32_t> e(static_cast<size_t>(nv), 0);
    std::vector<int64_t> deg(count, ABSENT);
    int64_t top = 0;
    for (size_t c = 0; c < count; c++)
        for (size_t b = len; b-- > 0;)
            if (planes[b * count + c] != 0) {
                deg[c] = static_cast<int64_t>(b);
                top = std::max(top, deg[c]);
                break;
            }
    if (top == 0) {
        // No variable left: a number determinant.
        std::vector<uint32_t> a(planes.begin(), planes.begin() + static_cast<std::ptrdiff_t>(count));
        const uint32_t v = wordmod::det(a.data(), n, P);
        if (v) out->push(e.data(), v);
        return true;
    }
    int64_t D = degree_bound_of(std::move(deg), n, nv);
    if (D == 0) D = 1;
    const int64_t np = D + 1;
    const int64_t s = int64_t{P.p} / np;
    // Too many points for the modulus: the hub's own way with it.
    if (s < 2) return hub_det(cells_of_planes(planes, len, n, nv), n, out);

    LevelPoints level(D, s);
    const std::vector<uint32_t>& pts = level.pts;
    std::vector<uint32_t> vals(pts.size()), coefs(pts.size());
    wordmod::determinants_at_points(planes.data(), static_cast<size_t>(top) + 1, n, pts.data(), pts.size(), P,
                                    vals.data());
    wordmod::interpolate_columns(pts.data(), pts.size(), vals.data(), 1, P, coefs.data());
    for (size_t k = 0; k < coefs.size(); k++) {
        if (coefs[k] == 0) continue;
        e.back() = static_cast<int32_t>(k);
        out->push(e.data(), coefs[k]);
    }
    return true;
}

}  // namespace

bool word_cells_det(const WordCells& w, int32_t n, const Prime& P, flatgcd::FlatPoly* out) {
    const int32_t nv = w.nvars;
    const int64_t count = int64_t{n} * n;
    const int32_t depth = outermost_level(w);
    const std::vector<int32_t> zero(static_cast<size_t>(nv), 0);
    if (depth >= nv) {
        // The cells' coefficients in the last variable as planes, plane k
        // holding every cell's coefficient of degree k (row-major), so that
        // a point's values are a few products per cell on wide registers.
        int32_t top = 0;
        for (size_t t = 0; t < w.terms(); t++) top = std::max(top, w.exp(t)[nv - 1]);
        std::vector<uint32_t> planes((static_cast<size_t>(top) + 1) * static_cast<size_t>(count), 0);
        for (int32_t r = 0; r < n; r++)
            for (int32_t c = 0; c < n; c++) {
                const int64_t cc = int64_t{c} * n + r;
                for (uint32_t t = w.start[cc]; t < w.start[cc + 1]; t++)
                    planes[static_cast<size_t>(w.exp(t)[nv - 1]) * count + static_cast<size_t>(r) * n + c] = w.coefs[t];
            }
        return planes_det(planes, static_cast<size_t>(top) + 1, n, nv, P, out);
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

    LevelPoints level(D, s);
    const std::vector<uint32_t>& pts = level.pts;
    // The level just above the innermost: the cells' coefficients of
    // x^a z^b (x this level's variable, z the last) as planes in x whose
    // entries run over b, then the cell, so that evaluating them at a point
    // leaves the innermost level's planes.
    const bool above_innermost = depth + 1 == nv;
    size_t lenx = 0, lenz = 0;
    std::vector<uint32_t> planes2, zplanes;
    if (above_innermost) {
        for (size_t t = 0; t < w.terms(); t++) {
            lenx = std::max(lenx, static_cast<size_t>(w.exp(t)[d]) + 1);
            lenz = std::max(lenz, static_cast<size_t>(w.exp(t)[nv - 1]) + 1);
        }
        const size_t inner = lenz * static_cast<size_t>(count);
        planes2.assign(lenx * inner, 0);
        zplanes.resize(inner);
        for (int32_t r = 0; r < n; r++)
            for (int32_t c = 0; c < n; c++) {
                const int64_t cc = int64_t{c} * n + r;
                for (uint32_t t = w.start[cc]; t < w.start[cc + 1]; t++) {
                    const int32_t* e = w.exp(t);
                    planes2[static_cast<size_t>(e[d]) * inner + static_cast<size_t>(e[nv - 1]) * count +
                            static_cast<size_t>(r) * n + c] = w.coefs[t];
                }
            }
    }
    std::vector<uint32_t> xpow(lenx);
    // The values of the determinant at the points, one column per monomial
    // of the inner variables.
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
    std::vector<size_t> last_cols;   // the columns of the previous point's terms, in order
    WordCells next;
    flatgcd::FlatPoly sub;
    sub.nvars = nv;
    for (int64_t i = 0; i < np; i++) {
        poll_interrupt();
        const uint32_t x = pts[i];
        sub.exps.clear();
        sub.coefs.clear();
        if (above_innermost) {
            if (lenx) xpow[0] = 1 % P.p;
            for (size_t k = 1; k < lenx; k++) xpow[k] = P.mul(xpow[k - 1], x);
            wordmod::evaluate_planes(planes2.data(), xpow.data(), lenx, zplanes.size(), P, zplanes.data());
            if (!planes_det(zplanes, lenz, n, nv, P, &sub)) return false;
        } else {
            evaluate_word_cells(w, depth, x, P, &next);
            if (!word_cells_det(next, n, P, &sub)) return false;
        }
        last_cols.resize(std::max(last_cols.size(), sub.terms()), SIZE_MAX);
        for (size_t t = 0; t < sub.terms(); t++) {
            // Successive points mostly give the same monomials in the same order.
            const int32_t* e = sub.exp(t);
            size_t col = last_cols[t];
            if (col == SIZE_MAX || !std::equal(e, e + nv, keys[col]->begin())) col = last_cols[t] = column(e);
            vals[col * static_cast<size_t>(np) + static_cast<size_t>(i)] = sub.coefs[t];
        }
    }

    std::vector<uint32_t> coefs(vals.size());
    wordmod::interpolate_columns(pts.data(), pts.size(), vals.data(), keys.size(), P, coefs.data());
    for (size_t col = 0; col < keys.size(); col++) {
        const uint32_t* c = coefs.data() + col * static_cast<size_t>(np);
        std::vector<int32_t> e = *keys[col];
        for (int64_t k = 0; k < np; k++) {
            if (c[k] == 0) continue;
            e[d] = static_cast<int32_t>(k);
            out->push(e.data(), c[k]);
        }
    }
    return true;
}

}  // namespace polydet
