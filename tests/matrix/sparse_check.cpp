#include "sparse_check.h"

#include <cstdint>
#include <string>

#include "matrix/sparse.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/stash.h"
#include "support/gmp_bridge.h"
#include "support/poly_build.h"
#include "toplevel/loop.h"

::testing::AssertionResult sparse_ok(sparse* first, int32_t n, int32_t m) {
    if (!first) return ::testing::AssertionFailure() << "no frame";
    int32_t frames = 0;
    for (sparse* f = first; f && frames < 1000000; f = f->next) frames++;
    if (frames < (n - 1) / SPARSE_FRAME_ROWS + 1)
        return ::testing::AssertionFailure() << frames << " frames for " << n << " rows";
    sparse* f = first;
    for (int32_t r = 1; r <= n; r++) {
        if (r > 1 && (r - 1) % SPARSE_FRAME_ROWS == 0) f = f->next;
        int32_t prev = 0, gap = 0;
        int64_t count = 0;
        for (const colm* e = f->row[(r - 1) % SPARSE_FRAME_ROWS]; e; e = e->next) {
            if (++count > m) return ::testing::AssertionFailure() << "row " << r << " longer than " << m;
            if (e->col <= prev)
                return ::testing::AssertionFailure() << "row " << r << ": column " << e->col << " after " << prev;
            if (e->col < 1 || e->col > m)
                return ::testing::AssertionFailure() << "row " << r << ": column " << e->col << " outside 1.." << m;
            if (!e->val) return ::testing::AssertionFailure() << "row " << r << ": null value";
            if (quoly_iszero(e->val)) return ::testing::AssertionFailure() << "row " << r << ": stored zero";
            auto q = check_quoly_normal(e->val);
            if (!q) return q << " at row " << r << " column " << e->col;
            if (!gap && e->col > prev + 1) gap = prev + 1;
            prev = e->col;
        }
        if (!gap && prev < m) gap = prev + 1;
        if (gap && spar_retrieve(first, r, gap) != quol_num_0)
            return ::testing::AssertionFailure() << "absent (" << r << ", " << gap << ") is not the shared 0";
    }
    return ::testing::AssertionSuccess();
}

Model Model::transposed() const {
    Model t(m, n);
    for (int32_t r = 1; r <= n; r++)
        for (int32_t c = 1; c <= m; c++) t.at(c, r) = at(r, c);
    return t;
}

::testing::AssertionResult matches(sparse* first, const Model& model) {
    sparse* f = first;
    for (int32_t r = 1; r <= model.n; r++) {
        if (r > 1 && (r - 1) % SPARSE_FRAME_ROWS == 0) f = f->next;
        int32_t c = 1;
        for (const colm* e = f->row[(r - 1) % SPARSE_FRAME_ROWS]; e; e = e->next) {
            for (; c < e->col; c++)
                if (model.at(r, c) != 0)
                    return ::testing::AssertionFailure()
                           << "(" << r << ", " << c << ") absent, want " << model.at(r, c).get_str();
            const mpq_class got = quoly_value(e->val);
            if (got != model.at(r, e->col))
                return ::testing::AssertionFailure() << "(" << r << ", " << e->col << ") = " << got.get_str()
                                                     << ", want " << model.at(r, e->col).get_str();
            c = e->col + 1;
        }
        for (; c <= model.m; c++)
            if (model.at(r, c) != 0)
                return ::testing::AssertionFailure()
                       << "(" << r << ", " << c << ") absent, want " << model.at(r, c).get_str();
    }
    return ::testing::AssertionSuccess();
}

// Small values through quoly_set, which reduces them in modular mode; the
// rest whole, not cut to a machine word.
quoly* integer_q(const mpz_class& v) {
    quoly* q = nullptr;
    if (v.fits_sint_p() && v >= INT32_MIN && v <= INT32_MAX) {
        quoly_set(static_cast<int32_t>(v.get_si()), &q);
        return q;
    }
    imag* x = from_mpz(v);
    scalar_to_quoly(x, &q);
    release(x);
    return q;
}

std::vector<std::vector<mpz_class>> integer_values(sparse* first, int32_t n, int32_t m) {
    std::vector<std::vector<mpz_class>> v(n, std::vector<mpz_class>(m));
    for (int32_t r = 1; r <= n; r++)
        for (const colm* e = *row_head(first, r); e; e = e->next) v[r - 1][e->col - 1] = to_mpz(e->val->nnum);
    return v;
}

quoly* make_q(const mpq_class& x) {
    quoly* num = integer_q(x.get_num());
    if (x.get_den() == 1) return num;
    quoly* den = integer_q(x.get_den());
    quoly* r = nullptr;
    quoly_quot(num, den, &r, 0);
    free_quoly(&num);
    free_quoly(&den);
    return r;
}

sparse* build_from(const Model& model) {
    sparse* first = nullptr;
    sparse** link = &first;
    for (int32_t base = 0; base == 0 || base < model.n; base += SPARSE_FRAME_ROWS) {
        sparse* f;
        newsparse(&f);
        f->next = nullptr;
        *link = f;
        link = &f->next;
        for (int32_t h = 0; h < SPARSE_FRAME_ROWS && base + h < model.n; h++) {
            colm** tail = &f->row[h];
            for (int32_t c = 1; c <= model.m; c++) {
                const mpq_class& x = model.at(base + h + 1, c);
                if (x == 0) continue;
                colm* e;
                newcolm(&e);
                e->col = c;
                e->val = make_q(x);
                *tail = e;
                tail = &e->next;
            }
            *tail = nullptr;
        }
    }
    return first;
}

int64_t colms_in_use() {
    int64_t free = 0;
    for (colm* e = colm_garb; e; e = e->next) free++;
    return (colmstash ? colmstash->slugs_used : 0) - free;
}

int64_t frames_free() {
    int64_t k = 0;
    for (sparse* f = spargarb; f; f = f->next) k++;
    return k;
}

int64_t arrays_free() {
    int64_t k = 0;
    for (array* a = arr_garb; a; a = a->link) k++;
    return k;
}
