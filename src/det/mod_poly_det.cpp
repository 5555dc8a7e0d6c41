// The determinant of a dense polynomial matrix modulo p by evaluation at
// points of the outermost variable and Lagrange interpolation.
#include <algorithm>
#include <cstdio>
#include <map>
#include <numeric>
#include <vector>

#include "det/det_state.h"
#include "det/elim_steps.h"
#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "det/poly_det.h"
#include "det/poly_det_impl.h"
#include "det/poly_det_words.h"
#include "det/word_interp.h"
#include "gcd/flat_modgcd.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/evaluate.h"
#include "poly/from_terms.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace polydet {

// The degree of q in the variable of level depth (the levels above it are
// padding in every cell); ABSENT for zero.
int64_t cell_degree(quoly* q, int32_t depth) {
    if (quoly_iszero(q)) return ABSENT;
    if (q->isnum) return 0;
    const polynode* p = q->pnum;
    for (int32_t level = 1;; level++) {
        if (p->numb) return 0;
        if (level == depth) return p->exp;
        p = p->pcoef;
    }
}

// p with the number x for the variable of level depth; null for zero.
polynode* poly_at_point(polynode* p, int32_t depth, uint32_t x) {
    polynode* copy = nullptr;
    poly_assign(p, &copy);
    polynode* value = nullptr;
    poly_set(static_cast<int32_t>(x), &value);
    old_all_poly_eval(&copy, value, static_cast<int16_t>(depth - 1));
    free_poly(&value);
    return copy;
}

uint32_t quoly_residue_of_number(imag* x) {
    const polynode node{nullptr, {x}, 0, 1};
    const uint32_t none = 0;
    return residue_at(&node, 1, &none);
}

uint32_t quoly_residue(quoly* q, const uint32_t* xs) {
    if (q->isnum) {
        const polynode node{nullptr, {q->nnum}, 0, 1};
        return residue_at(&node, 1, xs);
    }
    return residue_at(q->pnum, 1, xs);
}

void TermTable::push(const std::vector<int32_t>& e, uint32_t c) {
    exps.insert(exps.end(), e.begin(), e.end());
    coefs.push_back(c);
}

void TermTable::build(quoly** q) const {
    const size_t count = coefs.size();
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t{0});
    const int32_t* e = exps.data();
    const size_t nv = static_cast<size_t>(nvars);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::lexicographical_compare(e + b * nv, e + b * nv + nv, e + a * nv, e + a * nv + nv);
    });
    std::vector<int32_t> sorted;
    sorted.reserve(exps.size());
    for (size_t i : order) sorted.insert(sorted.end(), e + i * nv, e + i * nv + nv);
    if (count == 0) {
        quoly_set(0, q);
        return;
    }
    polynode* p = poly_from_terms(sorted.data(), count, nvars, [&](size_t i) {
        polynode* c = nullptr;
        poly_set(static_cast<int32_t>(coefs[order[i]]), &c);
        return c;
    });
    use_up_poly(&p, q);
}

}  // namespace polydet

namespace {

using namespace polydet;
using quoly_detail::lone_number;

// The method gives up; the hub eliminates.
struct Declined {};

inline quoly* cell(quoly** c, int32_t n, int32_t i, int32_t j) { return c[int64_t{j} * n + i]; }

// The coefficients of q in the innermost variable, the level depth (every
// level above it padding), lowest first.
std::vector<uint32_t> innermost_coefficients(quoly* q, int32_t depth) {
    const std::vector<uint32_t> zero(static_cast<size_t>(depth) + 1, 0);
    if (q->isnum) return {quoly_residue(q, zero.data())};
    const polynode* p = q->pnum;
    for (int32_t level = 1; level < depth && !p->numb; level++) p = p->pcoef;
    if (p->numb) return {quoly_residue_of_number(p->ncoef)};
    std::vector<uint32_t> c(static_cast<size_t>(std::max(p->exp, 0)) + 1, 0);
    for (const polynode* t = p; t; t = t->next)
        if (t->exp >= 0)
            c[static_cast<size_t>(t->exp)] = t->numb ? quoly_residue_of_number(t->ncoef)
                                                     : residue_at(t->pcoef, depth + 1, zero.data());
    return c;
}

// The evaluated matrix of one point: a work block whose cells are freed
// and which is given back on every exit.
struct EvaluatedCells {
    WorkCopy block;
    explicit EvaluatedCells(int64_t count) : block(nullptr, 0, "Det") {
        for (int64_t c = 0; c < count; c++) block.cells[c] = nullptr;
        block.count = count;
    }
};

[[noreturn]] void factor_error(int code) {
    error(code, "Det");
    abandon_statement(code);
}

int interpolate(quoly** cells, int32_t depth, int32_t n, quoly** result, int laurent_on, polynode* factor,
                int32_t degree) {
    if (field_depth > 0 && field_depth <= depth) return 0;
    DepthLevel nesting;
    if (lagrangedepth > lagrangecut) return 0;
    if (laurent_on && refuse_negative_exponents(cells, n)) return 0;
    const int64_t count = int64_t{n} * n;
    const int32_t nvars = number_polys;

    if (depth == 16384) {
        std::vector<uint32_t> a(static_cast<size_t>(count));
        const std::vector<uint32_t> xs(static_cast<size_t>(nvars) + 1, 0);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) a[static_cast<size_t>(i) * n + j] = quoly_residue(cell(cells, n, i, j), xs.data());
        quoly_set(static_cast<int32_t>(eliminate_mod(a, n, 1)), result);
        if (factor) {
            if (!lone_number(factor)) factor_error(305);
            divide_fct(result, factor);
        }
        return 1;
    }

    // A constant factor divides the answer at the end; any other must
    // lie in the variable of level depth and those inside it.
    polynode* fct = factor;
    polynode* constant = nullptr;
    if (fct && lone_number(fct)) {
        constant = fct;
        fct = nullptr;
    }
    int64_t fdeg = 0;
    if (fct) {
        const polynode* p = fct;
        for (int32_t level = 1; level < depth; level++) {
            if (p->numb || p->exp != 0) factor_error(305);
            p = p->pcoef;
        }
        fdeg = p->numb ? 0 : p->exp;
    }

    int64_t D = degree >= 0 ? degree : poly_det_degree_bound(cells, n, depth);
    if (fct && D >= fdeg) D -= fdeg;
    if (D == 0) D = 1;
    const int64_t P = D + 1;
    const int64_t s = (finf ? int64_t{modulus} : static_cast<int64_t>(static_cast<uint32_t>(modulus))) / P;
    if (s < 2) {
        if (D >= 35023) {
            if (verbose) std::printf(" estimated degree %ld is too large for this method.\n", static_cast<long>(D));
            return 0;
        }
        if (finf) {
            std::printf(" degree %ld is too large for this field.\n", static_cast<long>(D));
            return 0;
        }
        if (verbose)
            std::printf(" degree %ld is too large for this modulus. will try rational algorithm.\n",
                        static_cast<long>(D));
        quoly* r = nullptr;
        quoly_set(1, &r);
        QuolyOwner own(r);
        if (!use_rat_poly_det(cells, depth, n, &own.q)) return 0;
        if (factor) divide_fct(&own.q, factor);
        free_quoly(result);
        *result = own.q;
        own.q = nullptr;
        return 1;
    }

    dumpitt_level++;
    struct Level {
        long d;
        ~Level() { decr_dumpitt(d, 1, verbose); }
    } level{static_cast<long>(D)};
    if (verbose) dumpitt("LaGrange interpolation, degree ", static_cast<long>(D), 1, 1, 1);

    const bool innermost = depth >= nvars;
    // Values of the variables for the number evaluation: every level the
    // point (the levels above depth carry exponent 0 only).
    std::vector<uint32_t> xs(static_cast<size_t>(nvars) + 1, 0);

    // Points x_0 < ... < x_D, one in each interval [i*s, (i+1)*s), where the
    // factor does not vanish.
    std::vector<uint32_t> pts(static_cast<size_t>(P));
    std::vector<uint32_t> fnum(static_cast<size_t>(P), 1);
    std::vector<polynode*> fval(static_cast<size_t>(P), nullptr);
    struct FactorValues {
        std::vector<polynode*>* v;
        ~FactorValues() {
            for (polynode*& p : *v) free_poly(&p);
        }
    } fvals_owner{&fval};
    for (int64_t i = 0; i < P; i++) {
        const int64_t base = i * s;
        if (!fct) {
            pts[i] = static_cast<uint32_t>(base + rand_integer3() % s);
            continue;
        }
        int64_t off = s > 11 ? (rand_integer3() % s) / 6 : 0;
        for (;;) {
            if (off >= s) factor_error(304);
            const uint32_t x = static_cast<uint32_t>(base + off);
            bool zero;
            if (innermost) {
                std::fill(xs.begin(), xs.end(), x);
                fnum[i] = residue_at(fct, 1, xs.data());
                zero = fnum[i] == 0;
            } else {
                fval[i] = poly_at_point(fct, depth, x);
                zero = fval[i] == nullptr;
            }
            if (!zero) {
                pts[i] = x;
                break;
            }
            off += 1;
            if (s >= 12) off += (rand_integer3() % s) / 6;
        }
    }

    // Plain residues modulo a prime: the word arithmetic serves, and with
    // a point table of moderate size (it takes P^2 words) each monomial's
    // values are kept and all interpolated together at the end.
    const bool word_residues = !finf && mod_is_prime && modulus >= 2;
    const wordmod::Prime prime_words(static_cast<uint32_t>(word_residues ? modulus : 2));
    const bool by_columns = word_residues && P <= 2048;
    // M(X) = product of (X - x_j), coefficients from the constant up.
    const std::vector<uint32_t> M = by_columns ? std::vector<uint32_t>{} : node_polynomial(pts);

    // The answer's coefficients: for each monomial of the variables inside
    // depth, the D + 1 coefficients in the variable of level depth.
    std::map<std::vector<int32_t>, std::vector<uint32_t>> acc;
    std::vector<uint32_t> L(static_cast<size_t>(P));
    std::vector<uint32_t> a(static_cast<size_t>(count));
    // Row-major: each cell's coefficients in the one variable left.
    std::vector<std::vector<uint32_t>> dense;
    if (innermost) {
        dense.resize(static_cast<size_t>(count));
        for (int32_t r = 0; r < n; r++)
            for (int32_t c = 0; c < n; c++)
                dense[static_cast<size_t>(r) * n + c] = innermost_coefficients(cell(cells, n, r, c), depth);
    }
    // Below this level on machine words when the hub would only come back
    // here for each evaluated matrix.
    WordCells words;
    const bool by_words = !innermost && !fct && word_road_open(n, depth) && to_word_cells(cells, count, &words);
    WordCells evaluated;
    // The monomials of the previous point's terms, in order, with their columns.
    std::vector<std::pair<const std::vector<int32_t>*, std::vector<uint32_t>*>> last_columns;
    for (int64_t i = 0; i < P; i++) {
        poll_interrupt();
        if (verbose) dumpitt(" ", static_cast<long>(i), 0, 0, 1);
        const uint32_t x = pts[i];
        // L(X) = M(X) / (X - x), and the weight 1 / L(x).
        uint32_t w = 0;
        if (!by_columns) {
            L[P - 1] = M[P];
            for (int64_t k = P - 1; k >= 1; k--) L[k - 1] = radd(M[k], rmul(x, L[k]));
            uint32_t Lx = 0;
            for (int64_t k = P - 1; k >= 0; k--) Lx = radd(rmul(Lx, x), L[k]);
            w = rinv(Lx);
        }

        auto column = [&](const std::vector<int32_t>& key) -> std::vector<uint32_t>& {
            std::vector<uint32_t>& co = acc[key];
            if (co.empty()) co.assign(static_cast<size_t>(P), 0);
            return co;
        };
        auto add_value = [&](std::vector<uint32_t>& co, uint32_t v) {
            if (by_columns) {
                // The value at the point, for now.
                co[static_cast<size_t>(i)] = prime_words.add(co[static_cast<size_t>(i)], v);
                return;
            }
            const uint32_t vw = rmul(v, w);
            if (word_residues) {
                const wordmod::Multiplier m(vw, prime_words);
                for (int64_t k = 0; k < P; k++) co[k] = prime_words.add(co[k], m.times(L[k]));
                return;
            }
            for (int64_t k = 0; k < P; k++) co[k] = radd(co[k], rmul(vw, L[k]));
        };
        auto add_term = [&](const std::vector<int32_t>& key, uint32_t v) { add_value(column(key), v); };

        if (innermost) {
            for (int64_t c = 0; c < count; c++) {
                const std::vector<uint32_t>& co = dense[static_cast<size_t>(c)];
                uint32_t v = 0;
                for (size_t k = co.size(); k-- > 0;) v = radd(rmul(v, x), co[k]);
                a[static_cast<size_t>(c)] = v;
            }
            uint32_t v = static_cast<uint32_t>(eliminate_mod(a, n, 1));
            if (v == 0) continue;
            if (fct) v = rmul(v, rinv(fnum[i]));
            add_term(std::vector<int32_t>(static_cast<size_t>(nvars), 0), v);
            continue;
        }

        if (by_words) {
            evaluate_word_cells(words, depth, x, prime_words, &evaluated);
            flatgcd::FlatPoly f;
            f.nvars = nvars;
            if (!word_cells_det(evaluated, n, prime_words, &f)) throw Declined{};
            std::vector<int32_t> key(static_cast<size_t>(nvars));
            last_columns.resize(std::max(last_columns.size(), f.terms()), {nullptr, nullptr});
            for (size_t t = 0; t < f.terms(); t++) {
                // Successive points mostly give the same monomials in the same order.
                const int32_t* e = f.exp(t);
                auto& [k, co] = last_columns[t];
                if (!k || !std::equal(e, e + nvars, k->begin())) {
                    key.assign(e, e + nvars);
                    co = &column(key);
                    k = &acc.find(key)->first;
                }
                add_value(*co, f.coefs[t]);
            }
            continue;
        }
        if (first_available > WORK_BLOCKS) {
            if (verbose && windy) std::printf("must abandon interpolation; ran out of workarrays\n");
            throw Declined{};
        }
        EvaluatedCells ev(count);
        quoly** e = ev.block.cells;
        for (int64_t c = 0; c < count; c++) {
            quoly* q = cells[c];
            if (q->isnum) {
                quoly_assign(q, &e[c]);
                continue;
            }
            polynode* p = poly_at_point(q->pnum, depth, x);
            if (!p)
                quoly_set(0, &e[c]);
            else
                use_up_poly(&p, &e[c]);
        }
        quoly* d = nullptr;
        quoly_set(1, &d);
        QuolyOwner det(d);
        sparse* none = nullptr;
        mat_invert(e, e, 1, 1, n, &det.q, 0, 1, &none, fval[i], -1, -1, -1, 0, 0);
        if (quoly_iszero(det.q)) continue;
        if (det.q->isnum) {
            add_term(std::vector<int32_t>(static_cast<size_t>(nvars), 0), quoly_residue(det.q, xs.data()));
            continue;
        }
        flatgcd::FlatPoly f;
        if (det.q->den || !flatten_residues(det.q->pnum, polynames, &f)) throw Declined{};
        std::vector<int32_t> key(static_cast<size_t>(nvars));
        for (size_t t = 0; t < f.terms(); t++) {
            std::copy(f.exp(t), f.exp(t) + nvars, key.begin());
            add_term(key, f.coefs[t]);
        }
    }

    if (by_columns) {
        std::vector<uint32_t> values;
        values.reserve(acc.size() * static_cast<size_t>(P));
        for (const auto& [key, co] : acc) values.insert(values.end(), co.begin(), co.end());
        std::vector<uint32_t> coefs(values.size());
        wordmod::interpolate_columns(pts.data(), pts.size(), values.data(), acc.size(), prime_words, coefs.data());
        size_t at = 0;
        for (auto& [key, co] : acc) {
            std::copy(coefs.data() + at, coefs.data() + at + co.size(), co.begin());
            at += co.size();
        }
    }
    TermTable table{nvars, {}, {}};
    for (const auto& [key, co] : acc) {
        std::vector<int32_t> e = key;
        for (int64_t k = 0; k < P; k++) {
            if (co[k] == 0) continue;
            e[static_cast<size_t>(depth) - 1] = static_cast<int32_t>(k);
            table.push(e, co[k]);
        }
    }
    free_quoly(result);
    table.build(result);
    if (constant) divide_fct(result, constant);
    return 1;
}

}  // namespace

int32_t max_plus_degree_bound(std::vector<int64_t> deg, int32_t n) {
    auto A = [&](int32_t i, int32_t j) -> int64_t& { return deg[static_cast<size_t>(i) * n + j]; };
    int64_t D = 0;
    // Allocated once: the estimate runs for every matrix the nested levels evaluate.
    std::vector<int64_t> row_weights(static_cast<size_t>(n), 0);
    for (int32_t k = 0; k < n; k++) {
        // Each row, then each column, brought down to a least entry of 0.
        for (int32_t r = k; r < n; r++) {
            int64_t m = -1;
            for (int32_t c = k; c < n && m != 0; c++)
                if (A(r, c) >= 0 && (m < 0 || A(r, c) < m)) m = A(r, c);
            if (m < 0) return 2;
            if (m == 0) continue;
            for (int32_t c = k; c < n; c++) A(r, c) -= m;
            D += m;
        }
        for (int32_t c = k; c < n; c++) {
            int64_t m = -1;
            for (int32_t r = k; r < n && m != 0; r++)
                if (A(r, c) >= 0 && (m < 0 || A(r, c) < m)) m = A(r, c);
            if (m < 0) return 2;
            if (m == 0) continue;
            for (int32_t r = k; r < n; r++) A(r, c) -= m;
            D += m;
        }
        bool positive = false;
        for (int32_t r = k; r < n && !positive; r++)
            for (int32_t c = k; c < n; c++)
                if (A(r, c) > 0) {
                    positive = true;
                    break;
                }
        if (!positive) break;
        // The pivot: a 0 in the lightest column, in its lightest row.
        std::fill(row_weights.begin(), row_weights.end(), 0);
        for (int32_t r = k; r < n; r++)
            for (int32_t c = k; c < n; c++)
                if (A(r, c) > 0) row_weights[static_cast<size_t>(r)] += A(r, c);
        int32_t prow = -1, pcol = -1;
        int64_t best = 0;
        for (int32_t c = k; c < n; c++) {
            int64_t weight = 0;
            int32_t cand = -1;
            int64_t cand_w = 0;
            for (int32_t r = k; r < n; r++) {
                if (A(r, c) > 0) weight += A(r, c);
                if (A(r, c) == 0) {
                    const int64_t w = row_weights[static_cast<size_t>(r)];
                    if (cand < 0 || w < cand_w) {
                        cand = r;
                        cand_w = w;
                    }
                }
            }
            if (cand >= 0 && (pcol < 0 || weight < best)) {
                pcol = c;
                prow = cand;
                best = weight;
            }
        }
        if (pcol < 0) return 2;
        for (int32_t c = 0; c < n; c++) std::swap(A(k, c), A(prow, c));
        for (int32_t r = 0; r < n; r++) std::swap(A(r, k), A(r, pcol));
        for (int32_t i = k + 1; i < n; i++) {
            const int64_t e = A(i, k);
            if (e < 0) continue;
            for (int32_t j = k + 1; j < n; j++) A(i, j) = std::max(A(i, j), A(k, j) + e);
        }
    }
    return D > INT32_MAX ? INT32_MAX : static_cast<int32_t>(D);
}

int32_t poly_det_degree_bound(quoly** cells, int32_t n, int32_t depth) {
    std::vector<int64_t> deg(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) deg[static_cast<size_t>(i) * n + j] = cell_degree(cell(cells, n, i, j), depth);
    return max_plus_degree_bound(std::move(deg), n);
}

int mod_poly_determ(quoly** cells, int32_t depth, int32_t n, quoly** result, int laurent_on, polynode* factor,
                    int32_t degree) {
    try {
        return interpolate(cells, depth, n, result, laurent_on, factor, degree);
    } catch (const Declined&) {
        return 0;
    }
}
