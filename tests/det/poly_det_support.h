// Polynomial matrices for the interpolation tests: the terms kept beside
// the stored cells, so that determinants at points come from GMP alone.
#pragma once
#include <algorithm>
#include <string>

#include "det/poly_det.h"
#include "det_support.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace polydet_test {

using Point = std::vector<long>;

inline mpz_class value_at(const TermList& t, const Point& x) {
    mpz_class v = 0;
    for (const Term& term : t) {
        mpz_class m = term.coef;
        for (size_t l = 0; l < term.exps.size(); l++) {
            mpz_class pw;
            mpz_pow_ui(pw.get_mpz_t(), mpz_class(x[l]).get_mpz_t(), static_cast<unsigned long>(term.exps[l]));
            m *= pw;
        }
        v += m;
    }
    return v;
}

inline mpz_class reduce(mpz_class v, int32_t p) {
    if (p == 0) return v;
    v %= p;
    if (v < 0) v += p;
    return v;
}

// A matrix of polynomials kept as terms beside the stored cells.
struct PolyMatrix {
    int vars;
    int32_t n;
    StoredMatrix m;
    std::vector<TermList> e;   // row-major
    PolyMatrix(int v, int32_t size) : vars(v), n(size), m("pd", size), e(static_cast<size_t>(size) * size) {}
    void set(int32_t i, int32_t j, const TermList& t) {
        e[static_cast<size_t>(i) * n + j] = t;
        BuiltPoly p(vars, t);
        p_q_assign(p.p, &m.cell(i, j));
    }
    mpz_class det_at(const Point& x, int32_t p) {
        IntMatrix a(n, std::vector<mpz_class>(n));
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) a[i][j] = value_at(e[static_cast<size_t>(i) * n + j], x);
        return reduce(gmp_det(a), p);
    }
    int32_t depth() {
        int32_t d = 16384;
        for (quoly* q : m.cells())
            if (!q->isnum) d = std::min(d, poly_depth(q->pnum));
        return d;
    }
};

// 4-5 terms of degree at most 2 in each variable, coefficients -9..9.
inline TermList random_entry(std::mt19937_64& rng, int vars) {
    std::uniform_int_distribution<int> coef(-9, 9), e(0, 2), count(4, 5);
    TermList t;
    const int k = count(rng);
    for (int i = 0; i < k; i++) {
        std::vector<int32_t> ex(vars);
        for (auto& v : ex) v = e(rng);
        t.push_back({coef(rng), ex});
    }
    return t;
}

inline void fill_random(PolyMatrix& a, std::mt19937_64& rng) {
    for (int32_t i = 0; i < a.n; i++)
        for (int32_t j = 0; j < a.n; j++) a.set(i, j, random_entry(rng, a.vars));
}

// The value of a determinant the hub or a method left, at a point.
inline mpz_class result_at(const quoly* r, int vars, const Point& x, int32_t p) {
    if (r->isnum) return reduce(plain_value(r), p);
    EXPECT_EQ(r->den, nullptr);
    return reduce(value_at(read_poly(r->pnum, vars), x), p);
}

// The determinant through the hub with switch L on.
inline quoly* interp_det(PolyMatrix& a, std::string* said = nullptr, polynode* factor = nullptr) {
    DetSwitches sw(-1, 0, 1);
    std::vector<quoly*> v = a.m.cells();
    quoly* r = nullptr;
    quoly_set(1, &r);
    sparse* none = nullptr;
    if (said) {
        verbose = 1;
        ::testing::internal::CaptureStdout();
    }
    mat_invert(v.data(), nullptr, 0, 0, a.n, &r, 0, 0, &none, factor, -1, -1, -1, 0, 0);
    if (said) {
        *said = ::testing::internal::GetCapturedStdout();
        verbose = 0;
    }
    return r;
}

// Checks r = det at a few random points (coordinates small enough for the
// reference determinant, reduced modulo p when p > 0).
inline void expect_det_values(PolyMatrix& a, const quoly* r, int32_t p, std::mt19937_64& rng, const std::string& what) {
    std::uniform_int_distribution<long> coord(-6, 6);
    for (int k = 0; k < 3; k++) {
        Point x(static_cast<size_t>(a.vars));
        for (auto& c : x) c = coord(rng);
        EXPECT_EQ(result_at(r, a.vars, x, p), a.det_at(x, p)) << what;
    }
}

inline bool same_value(quoly* a, quoly* b) {
    quoly* d = nullptr;
    quoly_sub(a, b, &d);
    const bool z = quoly_iszero(d);
    free_quoly(&d);
    return z;
}

}  // namespace polydet_test
