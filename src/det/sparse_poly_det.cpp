// Sparse polynomial determinants modulo p by evaluation at points of the
// outermost variable and Lagrange interpolation, with the user's hints.
#include "det/sparse_poly_det.h"
#include "det/word_arith.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>

#include "det/det_state.h"
#include "det/elim_steps.h"
#include "det/mat_invert.h"
#include "det/pattern_determ.h"
#include "det/poly_det.h"
#include "det/poly_det_impl.h"
#include "det/sparse_copy.h"
#include "det/sparse_mod_determ.h"
#include "gcd/flat_modgcd.h"
#include "interp/settings.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/progress.h"

int32_t sparse_integer_depth = 0;

namespace {

using namespace polydet;
using quoly_detail::lone_number;
using Monomial = std::vector<int32_t>;

[[noreturn]] void factor_error(int code) {
    error(code, "Det");
    abandon_statement(code);
}

// The answer's coefficients: per monomial of the inner variables, the
// D + 1 coefficients in the variable of level depth.
using Accumulator = std::map<Monomial, std::vector<uint32_t>>;

void accumulate(Accumulator& acc, const Monomial& key, uint32_t v, uint32_t w, const std::vector<uint32_t>& L) {
    std::vector<uint32_t>& co = acc[key];
    if (co.empty()) co.assign(L.size(), 0);
    const uint32_t vw = rmul(v, w);
    for (size_t k = 0; k < L.size(); k++) co[k] = radd(co[k], rmul(vw, L[k]));
}

// The terms of a determinant of the nested call; false when they cannot be
// read as residues.
bool terms_of(quoly* d, int32_t nvars, std::vector<std::pair<Monomial, uint32_t>>* out) {
    if (quoly_iszero(d)) return true;
    if (d->isnum) {
        const std::vector<uint32_t> xs(static_cast<size_t>(nvars) + 1, 0);
        out->emplace_back(Monomial(static_cast<size_t>(nvars), 0), quoly_residue(d, xs.data()));
        return true;
    }
    flatgcd::FlatPoly f;
    if (d->den || !flatten_residues(d->pnum, polynames, &f)) return false;
    for (size_t t = 0; t < f.terms(); t++) out->emplace_back(Monomial(f.exp(t), f.exp(t) + nvars), f.coefs[t]);
    return true;
}

void build_answer(const Accumulator& acc, int32_t nvars, int32_t depth, quoly** result) {
    TermTable table{nvars, {}, {}};
    for (const auto& [key, co] : acc) {
        Monomial e = key;
        for (size_t k = 0; k < co.size(); k++) {
            if (co[k] == 0) continue;
            e[static_cast<size_t>(depth) - 1] = static_cast<int32_t>(k);
            table.push(e, co[k]);
        }
    }
    free_quoly(result);
    table.build(result);
}

// Plans past this many updates hold too much memory for what they save.
constexpr size_t PLAN_UPDATE_LIMIT = size_t{1} << 23;

// Plans made afresh (each at a node where the last one met a vanishing
// pivot) before the nodes are left to the general elimination.
constexpr int PLAN_ATTEMPTS = 8;

// The one-variable nodes all have the matrix's pattern: one elimination
// plan serves them all. The plan is made on the values of a node, as
// blocks of numbers may cancel at every point; a node where a planned
// pivot still vanishes is planned again. Only modulo a word prime: a
// characteristic-2 field and zero divisors keep the general elimination.
struct PlannedNodes {
    int attempts_left = 0;
    bool planned = false;
    std::vector<std::vector<int32_t>> rows;
    std::vector<quoly*> cells;
    std::vector<size_t> varying;   // the cells that are not numbers
    std::vector<uint32_t> values, work;
    EliminationPlan plan;
    wordmod::Prime P{2};

    PlannedNodes(sparse* frame, int32_t n) : rows(static_cast<size_t>(n)) {
        if (finf || !mod_is_prime || modulus < 2) return;
        for (int32_t r = 1; r <= n; r++)
            for (colm* c = *row_head(frame, r); c; c = c->next) {
                std::vector<int32_t>& row = rows[static_cast<size_t>(r) - 1];
                if (!row.empty() && row.back() >= c->col - 1) return;
                row.push_back(c->col - 1);
                cells.push_back(c->val);
            }
        P = wordmod::Prime(static_cast<uint32_t>(modulus));
        // The numbers are the same at every node.
        values.resize(cells.size());
        const std::vector<uint32_t> none(static_cast<size_t>(number_polys) + 1, 0);
        for (size_t e = 0; e < cells.size(); e++) {
            if (cells[e]->isnum)
                values[e] = quoly_residue(cells[e], none.data());
            else
                varying.push_back(e);
        }
        attempts_left = PLAN_ATTEMPTS;
    }
    // The determinant at the point xs; false: eliminate this node the
    // general way.
    bool det(const uint32_t* xs, uint32_t* out) {
        if (!planned && attempts_left == 0) return false;
        for (size_t e : varying) values[e] = quoly_residue(cells[e], xs);
        if (planned && planned_determinant(plan, values.data(), P, work, out)) return true;
        planned = false;
        if (attempts_left == 0) return false;
        attempts_left--;
        const int r = plan_elimination(rows, values.data(), &P, PLAN_UPDATE_LIMIT, &plan);
        if (r < 0) attempts_left = 0;
        if (r <= 0) return false;
        planned = true;
        return planned_determinant(plan, values.data(), P, work, out);
    }
};

bool column_limit(int32_t n) {
    if (n <= 65535) return false;
    std::printf("Warning. Too many columns (> 65535) for sparse LaGrange method.\n");
    return true;
}

// The refusals every method shares: an extension-level variable, or
// negative exponents (with the counted warning).
bool refused(sparse* frame, int32_t depth, int32_t n) {
    if (field_depth > 0 && field_depth <= depth) return true;
    if (laurent && sparse_negexponents(frame, n)) {
        warn_negative_exponents();
        return true;
    }
    return false;
}

// Characteristic 2 with the relation x^2 + x = 0 on every variable: only
// then are 0 and 1 all the values a variable can take.
bool all_relations_idempotent() {
    if (!polynames) return false;
    for (pt* v = polynames; v; v = v->next) {
        const polynode* r = v->relation;
        if (!r || v->binomial || v->modout_degree != 2) return false;
        if (r->exp != 2 || !r->numb || !r->next) return false;
        const polynode* t = r->next;
        if (t->exp != 1 || !t->numb || t->next) return false;
        const uint32_t none = 0;
        if (residue_at(r, 1, &none) != 1) return false;
        const polynode lone{nullptr, {t->ncoef}, 0, 1};
        if (residue_at(&lone, 1, &none) != 1) return false;
    }
    return true;
}

}  // namespace

namespace polydet {

// The exponent of the level `level` in p's top term there (0 when p does
// not reach it); error 305 when an outer level than `level` occurs.
int32_t factor_degree_at(const polynode* p, int32_t level) {
    for (int32_t l = 1; l < level; l++) {
        if (p->numb) return 0;
        if (p->exp != 0 || p->next) factor_error(305);
        p = p->pcoef;
    }
    return p->numb ? 0 : p->exp;
}

// The largest exponent of the level `level` anywhere in p.
int32_t max_exponent_at(const polynode* p, int32_t from, int32_t level) {
    if (!p || p->numb) return 0;
    int32_t m = 0;
    for (const polynode* t = p; t; t = t->next) {
        if (from == level) m = std::max(m, t->exp);
        else if (!t->numb) m = std::max(m, max_exponent_at(t->pcoef, from + 1, level));
    }
    return m;
}

}  // namespace polydet

void stash_mod_lagrange(quoly* value, const std::vector<uint32_t>& L, uint32_t w, int32_t i, int32_t D,
                        int32_t depth) {
    const long a = addresser;
    if (i == 0) std::fprintf(outpuf, "Array co[%li]; \n \n", static_cast<long>(D) + 1);
    std::fprintf(outpuf, "co[%li] := ", static_cast<long>(i) + a);
    int32_t col = 0;
    quoly_display(&outpuf, 0, 0, 0, value, &col, "", polynames, 0, 0, 0);
    std::fprintf(outpuf, "; \n \n");
    if (i == 0) std::fprintf(outpuf, "Array poly[%d]; \n \n", D + 1);
    std::fprintf(outpuf, "poly[%d] := ", i + addresser);
    TermTable table{number_polys, {}, {}};
    Monomial e(static_cast<size_t>(number_polys), 0);
    for (size_t k = 0; k < L.size(); k++) {
        const uint32_t c = rmul(w, L[k]);
        if (c == 0) continue;
        e[static_cast<size_t>(depth) - 1] = static_cast<int32_t>(k);
        table.push(e, c);
    }
    quoly* q = nullptr;
    table.build(&q);
    QuolyOwner own(q);
    col = 0;
    quoly_display(&outpuf, 0, 0, 0, own.q, &col, "", polynames, 0, 0, 0);
    std::fprintf(outpuf, "; \n \n");
    std::fflush(outpuf);
}

int sparse_mod_poly_determ(sparse* frame, int32_t depth, int32_t n, quoly** result, polynode* factor,
                           int32_t degree, int32_t second_degree, int32_t power, int64_t e, int one_var,
                           int degree_has_factor) {
    if (column_limit(n)) return 0;
    if (depth == 16384) {
        sparse* f = frame;
        sparse_mod_int_determ(result, &f, n, 0, 0);
        if (factor) {
            if (!lone_number(factor)) factor_error(305);
            divide_fct(result, factor);
        }
        return 1;
    }
    if (refused(frame, depth, n)) return 0;
    DepthLevel nesting;
    if (lagrangedepth > lagrangecut) return 0;

    const int64_t k = power < 0 ? -int64_t{power} : power;
    const bool even_negative = power < -1 && power % 2 == 0;
    polynode* fct = factor;
    polynode* constant = nullptr;
    if (fct && lone_number(fct) && power == -1) {
        constant = fct;
        fct = nullptr;
    }

    dumpitt_level++;
    struct Level {
        ~Level() { decr_dumpitt(1, 1, 0); }
    } level;
    if (verbose)
        dumpitt(lagrangedepth == 1 ? "sparse LaGrange interpolation, side " : " sparse LaGrange interpolation, side ",
                n, 1, 1, 1);
    int64_t D = degree >= 0 ? degree : compute_degree_1(frame, n, depth);
    if (verbose) {
        for (int32_t b = 0; b < dumpitt_level; b++) std::printf(" ");
        std::printf(" estimated degree is %li\n", static_cast<long>(D));
    }
    const int64_t p = finf ? int64_t{modulus} : static_cast<int64_t>(static_cast<uint32_t>(modulus));
    if (p > 1) e = ((e % (p - 1)) + (p - 1)) % (p - 1);
    if (fct && !lone_number(fct) && (degree == -1 || degree_has_factor)) {
        const int32_t f = factor_degree_at(fct, depth);
        if (f > D) factor_error(305);
        D -= f;
    }
    if (degree == -1 && k > 1) D /= k;
    if (D == 0) D = 1;
    const int64_t P = D + 1;
    const int64_t s = even_negative ? ((p - 1) / 2) / P : p / P;
    if (s <= 1) {
        int r = 0;
        quoly* v = nullptr;
        quoly_set(1, &v);
        QuolyOwner own(v);
        if (D >= 35023) {
            if (verbose) std::printf(" estimated degree %li is too large for this method.\n", static_cast<long>(D));
        } else if (finf || p % 2 == 0) {
            if (verbose) std::printf(" degree %li is too large for this field. \n", static_cast<long>(D));
        } else {
            if (verbose)
                std::printf(" degree %li is too large for this modulus. will try rational algorithm.\n",
                            static_cast<long>(D));
            // The integers carry no root and no factor hint of this prime.
            if (power == -1) r = use_sparse_rat_poly_det(frame, depth, n, &own.q);
        }
        if (!r) return 0;
        if (factor) divide_fct(&own.q, factor);
        free_quoly(result);
        *result = own.q;
        own.q = nullptr;
        return 1;
    }

    const int32_t nvars = number_polys;
    const bool several = !one_var && depth < nvars;
    std::vector<uint32_t> xs(static_cast<size_t>(nvars) + 1, 0);

    // Nodes y_i and evaluation points z_i, one in each interval, where the
    // factor does not vanish at z_i.
    std::vector<uint32_t> y(static_cast<size_t>(P)), z(static_cast<size_t>(P));
    std::vector<uint32_t> fnum(static_cast<size_t>(P), 1);
    std::vector<polynode*> fval(static_cast<size_t>(P), nullptr);
    struct FactorValues {
        std::vector<polynode*>* v;
        ~FactorValues() {
            for (polynode*& q : *v) free_poly(&q);
        }
    } fvals_owner{&fval};
    const uint32_t half = static_cast<uint32_t>((p - 1) / 2);
    for (int64_t i = 0; i < P; i++) {
        const int64_t base = i * s;
        int64_t off = fct ? (s > 11 ? (rand_integer3() % s) / 6 : 0) : rand_integer3() % s;
        for (;;) {
            if (off >= s) factor_error(304);
            const uint32_t c = static_cast<uint32_t>(base + off);
            uint32_t node = c, point = c;
            if (power < -1) {
                if (even_negative) node = rpow(c, k);
                point = rpow(node, e);
                if (even_negative && point > half) point = static_cast<uint32_t>(p - point);
            }
            bool zero = false;
            if (fct) {
                if (!several) {
                    std::fill(xs.begin(), xs.end(), point);
                    fnum[i] = residue_at(fct, 1, xs.data());
                    zero = fnum[i] == 0;
                } else {
                    free_poly(&fval[i]);
                    fval[i] = poly_at_point(fct, depth, point);
                    zero = fval[i] == nullptr;
                }
            }
            if (!zero) {
                y[i] = node;
                z[i] = point;
                break;
            }
            off += 1;
            if (s >= 12) off += (rand_integer3() % s) / 6;
        }
    }

    // M(X) = product of (X - y_j), from the constant up.
    const std::vector<uint32_t> M = node_polynomial(y);

    // The script goes out only at the outermost call in the user's own
    // ring: nested levels and the images of the integer method would
    // write pieces that do not sum to the determinant.
    const bool stash = lagrange_stash && verbose && windy && several && lagrangedepth == 1 &&
                       sparse_integer_depth == 0;
    Accumulator acc;
    std::unique_ptr<PlannedNodes> planned;
    if (!several) planned = std::make_unique<PlannedNodes>(frame, n);
    std::vector<uint32_t> L(static_cast<size_t>(P));
    int32_t b = second_degree > 0 ? second_degree : -1;
    int32_t d1 = -1;
    for (int64_t i = 0; i < P; i++) {
        poll_interrupt();
        const uint32_t x = y[i];
        L[P - 1] = M[P];
        for (int64_t q = P - 1; q >= 1; q--) L[q - 1] = radd(M[q], rmul(x, L[q]));
        uint32_t Lx = 0;
        for (int64_t q = P - 1; q >= 0; q--) Lx = radd(rmul(Lx, x), L[q]);
        const uint32_t w = rinv(Lx);
        const uint32_t pt_z = z[i];

        if (!several) {
            std::fill(xs.begin(), xs.end(), pt_z);
            uint32_t v;
            if (!planned->det(xs.data(), &v)) {
                SparseCopy copy(n);
                evaluated_copy(frame, n, copy, [&](quoly* q, quoly** out) {
                    const uint32_t r = quoly_residue(q, xs.data());
                    if (r) quoly_set(static_cast<int32_t>(r), out);
                });
                quoly* d = nullptr;
                quoly_set(1, &d);
                QuolyOwner det(d);
                sparse_mod_int_determ(&det.q, &copy.f, n, 1, 0);
                v = quoly_residue(det.q, xs.data());
            }
            if (verbose && i % 10 == 0) dumpitt(" ", static_cast<long>(i), 0, 0, 1);
            if (v == 0) continue;
            if (fct) v = rmul(v, rinv(fnum[i]));
            if (power > 1) v = rpow(v, e);
            accumulate(acc, Monomial(static_cast<size_t>(nvars), 0), v, w, L);
            continue;
        }

        SparseCopy copy(n);
        evaluated_copy(frame, n, copy, [&](quoly* q, quoly** out) {
            if (q->isnum) {
                quoly_assign(q, out);
                return;
            }
            polynode* v = poly_at_point(q->pnum, depth, pt_z);
            if (v) use_up_poly(&v, out);
        });
        if (verbose) dumpitt(" ", static_cast<long>(i), 0, 0, 1);
        int32_t bb = b;
        int r = 1;
        if (b >= 0 && (k >= 2 || degree_has_factor)) {
            const int32_t fd = fval[i] ? max_exponent_at(fval[i], 1, depth + 1) : 0;
            bb = static_cast<int32_t>(b * std::max<int64_t>(k, 1)) + fd;
            if (k < 2) r = fval[i] ? 0 : 1;
        }
        quoly* d = nullptr;
        quoly_set(1, &d);
        QuolyOwner det(d);
        {
            ProgressOff quiet(windy);
            mat_invert(nullptr, nullptr, 0, 0, n, &det.q, 0, 1, &copy.f, fval[i], bb, -1, power, r, 0);
        }
        if (stash) {
            if (!outpuf) {
                error(263, "Det");
                return 1;
            }
            stash_mod_lagrange(det.q, L, w, static_cast<int32_t>(i), static_cast<int32_t>(D), depth);
            continue;
        }
        std::vector<std::pair<Monomial, uint32_t>> terms;
        if (!terms_of(det.q, nvars, &terms)) return 0;
        // The sub-determinant's degree in the next variable: equal at the
        // first two nodes, it bounds the rest.
        int32_t dn = -1;
        for (const auto& [mono, c] : terms) dn = std::max(dn, mono[static_cast<size_t>(depth)]);
        if (second_degree <= 0 && i == 0) d1 = dn;
        if (second_degree <= 0 && i == 1 && dn == d1 && d1 > 2) b = d1 + 1;
        for (const auto& [mono, c] : terms) accumulate(acc, mono, c, w, L);
    }
    if (stash) {
        free_quoly(result);
        quoly_set(0, result);
        return 1;
    }
    build_answer(acc, nvars, depth, result);
    if (constant) divide_fct(result, constant);
    return 1;
}

int sparse_mod2_poly_determ(sparse* frame, int32_t depth, int32_t n, quoly** result, int one_var) {
    if (column_limit(n)) return 0;
    if (depth == 16384) {
        sparse* f = frame;
        sparse_mod_int_determ(result, &f, n, 0, 0);
        return 1;
    }
    if (refused(frame, depth, n)) return 0;
    DepthLevel nesting;
    if (lagrangedepth > lagrangecut) return 0;
    dumpitt_level++;
    struct Level {
        ~Level() { decr_dumpitt(1, 1, 0); }
    } level;
    if (verbose) {
        dumpitt("sparse LaGrange mod 2 interpolation, side ", n, 1, 1, 1);
        std::printf(" estimated degree is %d\n", 1);
    }
    const int32_t nvars = number_polys;
    const bool several = !one_var && depth < nvars;
    // Basis X + 1 for the node 0 and X for the node 1.
    const std::vector<uint32_t> basis[2] = {{1, 1}, {0, 1}};
    Accumulator acc;
    for (uint32_t x = 0; x < 2; x++) {
        poll_interrupt();
        SparseCopy copy(n);
        quoly* d = nullptr;
        quoly_set(1, &d);
        QuolyOwner det(d);
        if (!several) {
            std::vector<uint32_t> xs(static_cast<size_t>(nvars) + 1, x);
            evaluated_copy(frame, n, copy, [&](quoly* q, quoly** out) {
                const uint32_t v = quoly_residue(q, xs.data());
                if (v) quoly_set(static_cast<int32_t>(v), out);
            });
            sparse_mod_int_determ(&det.q, &copy.f, n, 1, 0);
            const uint32_t v = quoly_residue(det.q, xs.data());
            if (v > 1) {
                error(354, "Det");
                return 1;
            }
            if (v) accumulate(acc, Monomial(static_cast<size_t>(nvars), 0), 1, 1, basis[x]);
            continue;
        }
        evaluated_copy(frame, n, copy, [&](quoly* q, quoly** out) {
            if (q->isnum) {
                quoly_assign(q, out);
                return;
            }
            polynode* v = poly_at_point(q->pnum, depth, x);
            if (v) use_up_poly(&v, out);
        });
        {
            ProgressOff quiet;
            mat_invert(nullptr, nullptr, 0, 0, n, &det.q, 0, 1, &copy.f, nullptr, 1, -1, -1, 0, 0);
        }
        std::vector<std::pair<Monomial, uint32_t>> terms;
        if (!terms_of(det.q, nvars, &terms)) return 0;
        for (const auto& [mono, c] : terms) accumulate(acc, mono, c, 1, basis[x]);
    }
    build_answer(acc, nvars, depth, result);
    return 1;
}

int sparse_lagrange(sparse* frame, quoly** result, int32_t n, polynode* factor, int32_t degree,
                    int32_t second_degree, int32_t power, int factor_removed, int32_t prime_count) {
    const int one_var = sparse_one_var_polys(frame, n);
    if (!modularmode) {
        if (lintmode) {
            error(62, "Det");
            return 1;
        }
        return sparse_rat_poly_determ(frame, sparse_polydepth(frame, n), n, result, factor, degree, second_degree,
                                      power, prime_count);
    }
    const int32_t depth = sparse_polydepth(frame, n);
    const int64_t p = finf ? int64_t{modulus} : static_cast<int64_t>(static_cast<uint32_t>(modulus));
    const int64_t k = power < 0 ? -int64_t{power} : power;
    bool usable = false;
    int64_t e = 0;
    // Over GF(p)(alpha) the matrices at the bottom are eliminated whole:
    // no root is taken there, so a positive power cannot be used.
    const bool field_root = power > 1 && field_depth > 0;
    if (power != -1 && p % 2 == 1 && !finf && k > 0 && !field_root) {
        if (power % 2 != 0) {
            usable = std::gcd(k, p - 1) == 1;
            if (usable) e = wordmod::inverse_mod(k, p - 1);
        } else {
            usable = p % 4 == 3 && (k & (k - 1)) == 0;
            if (usable) e = wordmod::inverse_mod(k, (p - 1) / 2);
        }
    }
    int degree_has_factor;
    if (!usable) {
        e = 0;
        power = -1;
        degree_has_factor = !factor_removed;
    } else {
        if (degree < 1 && depth != 16384) degree = compute_degree_1(frame, n, depth);
        if (depth != 16384) {
            const int32_t fd = factor && !lone_number(factor) ? factor_degree_at(factor, depth) : 0;
            degree -= fd;
            if (k >= 2) degree = static_cast<int32_t>(degree / k);
            if (second_degree >= 1) {
                const int32_t fs = factor && !lone_number(factor) ? max_exponent_at(factor, 1, depth + 1) : 0;
                second_degree -= fs;
                if (k >= 2) second_degree = static_cast<int32_t>(second_degree / k);
            }
        }
        degree_has_factor = 0;
    }
    if (char2_degs1 && (finf || modulus == 2) && all_relations_idempotent())
        return sparse_mod2_poly_determ(frame, depth, n, result, one_var);
    return sparse_mod_poly_determ(frame, depth, n, result, factor, degree, second_degree, power, e, one_var,
                                  degree_has_factor);
}
