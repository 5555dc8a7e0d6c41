// Fraction-free elimination on rows held as shared factors times local entries.
#include "matrix/sparse_bareiss_factored.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "matrix/sparse.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_whole.h"
#include "numbers/ring.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/exact_quotient.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

colm** at_or_after(colm** p, int32_t k) {
    while (*p && (*p)->col < k) p = &(*p)->next;
    return p;
}

void free_row(colm** head) {
    for (colm* e = *head; e; e = e->next) free_quoly(&e->val);
    give_back_list(*head);
    *head = nullptr;
}

colm** append(colm** tail, int32_t col, quoly* v) {
    colm* e = take_colm();
    e->col = col;
    e->val = v;
    e->next = nullptr;
    *tail = e;
    return &e->next;
}

// At least this many terms in some polynomial (counting stops there).
bool has_terms(const polynode* p, int64_t* left) {
    for (; p && *left > 0; p = p->next) {
        if (p->numb)
            --*left;
        else
            has_terms(p->pcoef, left);
    }
    return *left <= 0;
}

// Both polynomials of sparse_factored_difference_terms terms or more.
bool large_pair(const quoly* x, const quoly* y) {
    if (x->isnum || y->isnum || x->den || y->den) return false;
    int64_t lx = sparse_factored_difference_terms, ly = sparse_factored_difference_terms;
    return has_terms(x->pnum, &lx) && has_terms(y->pnum, &ly);
}

// *q := *q / d when exact (false otherwise; *q is then spoiled). Two
// polynomials divide without trial_divide's pre-tests, which pay off only
// for refusals: after one entry of a row has divided, the rest will too.
bool divide_known_exact(quoly** q, quoly* d) {
    if (!(*q)->isnum && !d->isnum) {
        if (!check_polys(d->pnum, &(*q)->pnum, polynames, 1, 0, 1)) return false;
        if ((*q)->pnum->numb && !(*q)->pnum->next) polynum_to_quoly(q);
        return true;
    }
    quoly* divisor = d;
    int flag = 0;
    return trial_divide(&divisor, q, 1, 0, 0, &flag) == 0;
}

// Every entry of the row divided by d, or none: false when one quotient is
// not exact (the row is then as it was). Entries marked in done are
// quotients already and are left alone.
bool divide_row(colm* row, quoly* d, const std::vector<char>* done = nullptr) {
    std::vector<quoly*> quotients;
    bool exact = true, first = true;
    size_t i = 0;
    for (colm* e = row; e && exact; e = e->next, i++) {
        quoly* q = nullptr;
        if (done && (*done)[i]) {
            // kept as it is
        } else if (first) {
            // The pre-tests pay off for the row's first refusal.
            quoly_assign(e->val, &q);
            quoly* divisor = d;
            int flag = 0;
            exact = trial_divide(&divisor, &q, 1, 0, 0, &flag) == 0;
            first = false;
        } else if (!exact_quotient(e->val, d, &q)) {
            quoly_assign(e->val, &q);
            exact = divide_known_exact(&q, d);
        }
        quotients.push_back(q);
    }
    if (!exact) {
        for (quoly*& q : quotients) free_quoly(&q);
        return false;
    }
    i = 0;
    for (colm* e = row; e; e = e->next, i++) {
        if (!quotients[i]) continue;
        free_quoly(&e->val);
        e->val = quotients[i];
    }
    return true;
}

// The multiset a minus b; what of b is not in a is left in *rest.
std::vector<int32_t> cancel(const std::vector<int32_t>& a, const std::vector<int32_t>& b, std::vector<int32_t>* rest) {
    std::vector<int32_t> out;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i] < b[j])) {
            out.push_back(a[i++]);
        } else if (i == a.size() || b[j] < a[i]) {
            rest->push_back(b[j++]);
        } else {
            i++;
            j++;
        }
    }
    return out;
}

std::vector<int32_t> joined(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
    std::vector<int32_t> out;
    out.reserve(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

}  // namespace

bool finish_row_division(colm* row, quoly* d, const std::vector<char>& done) {
    if (divide_row(row, d, &done)) return true;
    // Only the product with the row's factors divides: the quotients go
    // back to what the division one factor at a time expects.
    size_t i = 0;
    for (colm* x = row; x; x = x->next, i++) {
        if (!done[i]) continue;
        quoly* t = nullptr;
        quoly_mult(x->val, d, &t);
        free_quoly(&x->val);
        x->val = t;
    }
    return false;
}

namespace {

bool large(const quoly* x) { return large_pair(x, x); }
bool poly(const quoly* x) { return !x->isnum && !x->den; }

// divide_row, the row's large entries divided on their images first, in
// one batch sharing d.
bool divide_row_by_images(colm* row, quoly* d) {
    if (d->isnum || d->den) return divide_row(row, d);
    std::vector<DifferenceQuotient> batch;
    for (colm* e = row; e; e = e->next)
        if (large(e->val)) batch.push_back({nullptr, e->val->pnum, nullptr, nullptr, d->pnum, nullptr});
    if (batch.empty()) return divide_row(row, d);
    poly_mult_difference_quotients(batch.data(), static_cast<int32_t>(batch.size()));
    std::vector<char> done;
    size_t i = 0;
    for (colm* e = row; e; e = e->next) {
        polynode* q = nullptr;
        if (i < batch.size() && batch[i].a == e->val->pnum) q = batch[i++].quotient;
        done.push_back(q != nullptr);
        if (q) {
            free_quoly(&e->val);
            use_up_poly(&q, &e->val);
        }
    }
    return finish_row_division(row, d, done);
}

}  // namespace

int sparse_factored_shortcuts = 3;
int64_t sparse_factored_difference_terms = 2048;

bool factored_rows_allowed(sparse* m, int32_t n) {
    if (lintmode) return false;
    for (int32_t r = 1; r <= n; r++)
        for (colm* e = *row_head(m, r); e; e = e->next) {
            const quoly* q = e->val;
            if (q->isnum ? q->rat != 0 : q->den != nullptr) return false;
        }
    return true;
}

FactoredRows::FactoredRows(sparse* m, int32_t size)
    : n(size), local(nullptr), scale(size_t(size > 0 ? size : 0) + 1) {
    copy_sparse(&m, &local, n, 0);
}

FactoredRows::~FactoredRows() {
    free_sparse(&local, n, 1);
    for (quoly*& q : factors) free_quoly(&q);
    for (auto& p : products) free_quoly(&p.second);
}

void FactoredRows::interchange(int32_t k, int32_t moved) { std::swap(scale[size_t(k)], scale[size_t(moved)]); }

int32_t FactoredRows::add_factor(quoly* q) {
    factors.push_back(q);
    parts.push_back({-1, -1});
    return static_cast<int32_t>(factors.size() - 1);
}

int32_t FactoredRows::intern(quoly* v) {
    quoly* q = nullptr;
    quoly_assign(v, &q);
    return add_factor(q);
}

// The product of the factors; null for the empty list. Lists grow mostly at
// their end (new factors have the highest ids), so the longest cached
// prefix is the place to start from.
quoly* FactoredRows::product(const std::vector<int32_t>& ids, int32_t k) {
    if (ids.empty()) return nullptr;
    size_t have = ids.size();
    quoly* start = nullptr;
    for (; have > 0; have--) {
        auto at = products.find(std::vector<int32_t>(ids.begin(), ids.begin() + std::ptrdiff_t(have)));
        if (at != products.end()) {
            start = at->second;
            used[at->first] = k;
            break;
        }
    }
    if (have == ids.size()) return start;
    quoly* p = nullptr;
    if (start)
        quoly_assign(start, &p);
    else
        quoly_assign(factors[size_t(ids[have++])], &p);
    for (; have < ids.size(); have++) {
        quoly* t = nullptr;
        quoly_mult(p, factors[size_t(ids[have])], &t);
        free_quoly(&p);
        p = t;
    }
    products[ids] = p;
    used[ids] = k;
    return p;
}

// A factor of the list that d divides is replaced by the quotient. The
// quotient gets one id for every row, so that it cancels by id later.
bool FactoredRows::divide_factor(std::vector<int32_t>* ids, int32_t d) {
    for (size_t i = 0; i < ids->size(); i++) {
        const int32_t f = (*ids)[i];
        auto at = quotients.find({f, d});
        if (at == quotients.end()) {
            quoly* q = nullptr;
            quoly_assign(factors[size_t(f)], &q);
            quoly* divisor = factors[size_t(d)];
            int flag = 0;
            int32_t id = -1;
            if (trial_divide(&divisor, &q, 1, 0, 0, &flag) == 0) {
                if (!quoly_eq_1(q)) {
                    id = add_factor(q);
                    q = nullptr;
                } else {
                    id = NO_FACTOR;
                }
                parts[size_t(f)] = {d, id >= 0 ? id : -1};
            }
            free_quoly(&q);
            at = quotients.emplace(std::make_pair(f, d), id).first;
        }
        if (at->second == -1) continue;
        ids->erase(ids->begin() + std::ptrdiff_t(i));
        if (at->second != NO_FACTOR) ids->insert(std::upper_bound(ids->begin(), ids->end(), at->second), at->second);
        return true;
    }
    return false;
}

// d divides neither a factor of the list nor the row, but the product: a
// common part g of d and a factor f splits both (f = g f', d = g d'), f'
// takes f's place and d' is left to divide (appended to *rest). False when
// no factor shares a part with d.
bool FactoredRows::split_by_gcd(std::vector<int32_t>* ids, std::vector<int32_t>* rest, int32_t d) {
    quoly* dq = factors[size_t(d)];
    if (dq->isnum) return false;
    for (size_t i = 0; i < ids->size(); i++) {
        const int32_t f = (*ids)[i];
        quoly* fq = factors[size_t(f)];
        if (fq->isnum) continue;
        polynode* g = quoly_detail::direct_gcd(dq->pnum, fq->pnum);
        const bool trivial = !g || g->numb;
        quoly* gq = nullptr;
        if (!trivial) p_q_assign(g, &gq);
        free_poly(&g);
        if (trivial) continue;
        quoly *d_rest = nullptr, *f_rest = nullptr;
        quoly_assign(dq, &d_rest);
        quoly_assign(fq, &f_rest);
        int flag = 0;
        quoly* divisor = gq;
        const bool exact = trial_divide(&divisor, &d_rest, 1, 0, 0, &flag) == 0 &&
                           trial_divide(&divisor, &f_rest, 1, 0, 0, &flag) == 0;
        if (!exact) {
            free_quoly(&gq);
            free_quoly(&d_rest);
            free_quoly(&f_rest);
            continue;
        }
        const int32_t gid = add_factor(gq);
        const int32_t did = quoly_eq_1(d_rest) ? -1 : add_factor(d_rest);
        const int32_t fid = quoly_eq_1(f_rest) ? -1 : add_factor(f_rest);
        if (did < 0) free_quoly(&d_rest);
        if (fid < 0) free_quoly(&f_rest);
        parts[size_t(d)] = {gid, did};
        parts[size_t(f)] = {gid, fid};
        ids->erase(ids->begin() + std::ptrdiff_t(i));
        if (fid >= 0) ids->insert(std::upper_bound(ids->begin(), ids->end(), fid), fid);
        if (did >= 0) rest->push_back(did);
        return true;
    }
    return false;
}

void FactoredRows::multiply_row(colm* row, const std::vector<int32_t>& ids, int32_t k) {
    quoly* p = product(ids, k);
    if (!p) return;
    for (colm* e = row; e; e = e->next) {
        quoly* t = nullptr;
        quoly_mult(p, e->val, &t);
        free_quoly(&e->val);
        e->val = t;
    }
}

// Row r of the matrix := its true values, the factors multiplied in.
void FactoredRows::show(sparse* m, int32_t r, int32_t k) {
    quoly* p = product(scale[size_t(r)], k);
    colm* fresh = nullptr;
    colm** tail = &fresh;
    for (colm* e = *row_head(local, r); e; e = e->next) {
        quoly* v = nullptr;
        if (p)
            quoly_mult(p, e->val, &v);
        else
            quoly_assign(e->val, &v);
        tail = append(tail, e->col, v);
    }
    free_row(row_head(m, r));
    *row_head(m, r) = fresh;
}

// The factors of last_pivot that the row's list num (updated) neither
// cancels by id, nor part by part, nor divides into: what is left to
// divide out of the row's entries, ascending.
std::vector<int32_t> FactoredRows::settle(std::vector<int32_t>* num) {
    std::vector<int32_t> left;
    *num = cancel(*num, last_pivot, &left);
    // Factors known to be products cancel part by part.
    std::vector<int32_t> hard;
    while (!left.empty()) {
        const int32_t d = left.back();
        left.pop_back();
        auto at = std::lower_bound(num->begin(), num->end(), d);
        if (at != num->end() && *at == d) {
            num->erase(at);
        } else if (parts[size_t(d)].first >= 0 && (sparse_factored_shortcuts & 1)) {
            left.push_back(parts[size_t(d)].first);
            if (parts[size_t(d)].second >= 0) left.push_back(parts[size_t(d)].second);
        } else {
            hard.push_back(d);
        }
    }
    // What cancels by id or divides a factor of the row's list costs
    // nothing on the entries.
    std::vector<int32_t> on_entries;
    for (const int32_t d : hard) {
        auto at = std::lower_bound(num->begin(), num->end(), d);
        if (at != num->end() && *at == d) {
            num->erase(at);
            continue;
        }
        if (!divide_factor(num, d)) on_entries.push_back(d);
    }
    std::sort(on_entries.begin(), on_entries.end());
    return on_entries;
}

quoly* FactoredRows::divisor(const std::vector<int32_t>& ids, int32_t k) {
    if (ids.empty()) return nullptr;
    return ids.size() == 1 ? factors[size_t(ids[0])] : product(ids, k);
}

void FactoredRows::step(sparse* m, int32_t k) {
    colm** krow = row_head(local, k);
    colm* piv = *at_or_after(krow, k);
    if (!piv || piv->col != k) {
        tarvex_error("nil qp in sparse Gauss-Bareiss.", 1);
        abandon_statement();
    }
    quoly* g = piv->val;
    const bool g_is_1 = quoly_eq_1(g) != 0;
    std::vector<int32_t> pivot = scale[size_t(k)];
    if (!g_is_1) pivot.push_back(intern(g));   // the newest id: the list stays ascending
    colm* rest = piv->next;
    for (int32_t r = k + 1; r <= n; r++) {
        colm** head = row_head(local, r);
        colm** pk = at_or_after(head, k);
        std::vector<int32_t> num;
        // What the step leaves to divide out of the row's entries: a pass
        // over every entry, by the product of those factors at once before
        // trying them one at a time.
        std::vector<int32_t> hard;
        bool tried = false;
        if (*pk && (*pk)->col == k) {
            // Met by the pivot column: (g a_rj - e a_kj) on the local entries,
            // the two rows' factors multiplied.
            num = joined(scale[size_t(r)], scale[size_t(k)]);
            hard = settle(&num);
            // Large entries come out divided already, their dividends never
            // built (when the images prove the quotient).
            quoly* d = divisor(hard, k);
            const bool d_poly = d && poly(d);
            std::vector<char> done;
            colm* dead = *pk;
            quoly* e = dead->val;
            dead->val = nullptr;
            *pk = dead->next;
            dead->next = nullptr;
            give_back_list(dead);
            // The large entries' quotients in one batch: g, e and d are
            // shared by all of them. A column met by one row only takes
            // one product, g a_rj or -e a_kj.
            std::vector<DifferenceQuotient> batch;
            std::vector<int32_t> job;   // per column in order: its quotient in the batch, or -1
            if (d_poly) {
                for (colm *x = *head, *y = rest; x || y;) {
                    const int32_t jx = x ? x->col : INT32_MAX, jy = y ? y->col : INT32_MAX;
                    // Every column with a large operand: beside the
                    // division, the images save the large products.
                    // (With g = 1, the row's own entry stands alone.)
                    const bool own = jx <= jy, pivots = jy <= jx;
                    const bool polys =
                        (!own || ((g_is_1 || poly(g)) && poly(x->val))) && (!pivots || (poly(e) && poly(y->val)));
                    int32_t at = -1;
                    if (polys &&
                        ((own && ((!g_is_1 && large(g)) || large(x->val))) || (pivots && (large(e) || large(y->val))))) {
                        at = static_cast<int32_t>(batch.size());
                        batch.push_back({own && !g_is_1 ? g->pnum : nullptr, own ? x->val->pnum : nullptr,
                                         pivots ? e->pnum : nullptr, pivots ? y->val->pnum : nullptr, d->pnum, nullptr});
                    }
                    job.push_back(at);
                    if (jx <= jy) x = x->next;
                    if (jy <= jx) y = y->next;
                }
                if (!batch.empty()) poly_mult_difference_quotients(batch.data(), static_cast<int32_t>(batch.size()));
            }
            size_t column = 0;
            colm* src = *head;
            colm* fresh = nullptr;
            colm** tail = &fresh;
            colm* a = rest;
            while (src || a) {
                const int32_t jr = src ? src->col : INT32_MAX;
                const int32_t ja = a ? a->col : INT32_MAX;
                const int32_t j = jr < ja ? jr : ja;
                quoly* v = nullptr;
                polynode* c = nullptr;
                const int32_t at = column < job.size() ? job[column] : -1;
                column++;
                bool divided = at >= 0 && batch[size_t(at)].quotient;
                if (divided) c = batch[size_t(at)].quotient;
                if (divided || (jr == j && ja == j && !g_is_1 && large_pair(g, src->val) && large_pair(e, a->val) &&
                                poly_mult_difference(g->pnum, src->val->pnum, e->pnum, a->val->pnum, &c))) {
                    use_up_poly(&c, &v);
                    if (jr == j) src = src->next;
                    if (ja == j) a = a->next;
                    if (quoly_iszero(v)) {
                        free_quoly(&v);
                    } else {
                        tail = append(tail, j, v);
                        done.push_back(divided);
                    }
                    continue;
                }
                if (jr == j) {
                    if (g_is_1)
                        quoly_assign(src->val, &v);
                    else
                        quoly_mult(g, src->val, &v);
                    src = src->next;
                }
                if (ja == j) {
                    quoly* t = nullptr;
                    quoly_mult(e, a->val, &t);
                    best_quoly_nils_sub(&v, t);
                    a = a->next;
                }
                if (v && quoly_iszero(v)) free_quoly(&v);
                if (v) {
                    tail = append(tail, j, v);
                    done.push_back(0);
                }
            }
            free_quoly(&e);
            free_row(head);
            *head = fresh;
            if (d) {
                tried = true;
                if (finish_row_division(*head, d, done)) hard.clear();
            }
        } else {
            // Left alone by the step: only its scale moves, by p_k / p_(k-1).
            if (pivot == last_pivot) continue;
            num = joined(scale[size_t(r)], pivot);
            hard = settle(&num);
        }
        if (hard.size() >= 2 && !tried && divide_row_by_images(*head, product(hard, k))) hard.clear();
        for (size_t h = 0; h < hard.size(); h++) {
            const int32_t d = hard[h];
            auto at = std::lower_bound(num.begin(), num.end(), d);
            if (at != num.end() && *at == d) {
                num.erase(at);
                continue;
            }
            if (divide_factor(&num, d)) continue;
            // (Alone, it was tried on the entries above.)
            if (!(tried && h == 0 && hard.size() == 1) && divide_row_by_images(*head, factors[size_t(d)])) continue;
            if ((sparse_factored_shortcuts & 2) && split_by_gcd(&num, &hard, d)) continue;
            // The factor divides only the product: bring the row's factors in.
            multiply_row(*head, num, k);
            num.clear();
            if (!divide_row_by_images(*head, factors[size_t(d)])) {
                tarvex_error(" trial divide 2, Sparse Gauss-Bareiss", 1);
                abandon_statement();
            }
        }
        scale[size_t(r)] = std::move(num);
        show(m, r, k);
    }
    last_pivot = std::move(pivot);
    free_row(krow);
    scale[size_t(k)].clear();
    // Products not used in this step are not met again soon.
    for (auto at = used.begin(); at != used.end();) {
        if (at->second != k) {
            auto p = products.find(at->first);
            free_quoly(&p->second);
            products.erase(p);
            at = used.erase(at);
        } else {
            ++at;
        }
    }
}
