// Matrices for the determinant tests: made in the array store as the
// interpreter makes them, filled from GMP values, gathered into the cell
// vector the hub reads; the references computed with GMP alone.
#pragma once
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "support/gmp_bridge.h"
#include "support/poly_build.h"
#include "toplevel/errors.h"

using IntMatrix = std::vector<std::vector<mpz_class>>;   // [row][column]

// An n x n array of the store, removed with the object.
struct StoredMatrix {
    array* rec = nullptr;
    int32_t n = 0;
    StoredMatrix(const char* name, int32_t size) : n(size) {
        tokenrec t;
        set_token(&t, name);
        rec = insertarr(&t, n, n, 0);
    }
    ~StoredMatrix() { remove_array(rec); }
    quoly*& cell(int32_t i, int32_t j) { return *cell_at(rec->first + int64_t{j} * n + i); }
    // The cell vector the hub reads: the stored cells themselves.
    std::vector<quoly*> cells() {
        std::vector<quoly*> v(static_cast<size_t>(n) * n);
        for (int64_t c = 0; c < int64_t{n} * n; c++) v[c] = *cell_at(rec->first + c);
        return v;
    }
    StoredMatrix(const StoredMatrix&) = delete;
    StoredMatrix& operator=(const StoredMatrix&) = delete;
};

// The value as the ground ring holds it: a digit number, or a residue word.
inline quoly* ring_number(const mpz_class& v) {
    quoly* q = nullptr;
    if (modularmode) {
        mpz_class r = v;
        if (!finf) {
            r %= modulus;
            if (r < 0) r += modulus;
        }
        quoly_set_lint(static_cast<int32_t>(r.get_si()), &q);
    } else {
        imag* x = from_mpz(v);
        scalar_to_quoly(x, &q);
        release(x);
    }
    return q;
}

inline void fill(StoredMatrix& m, const IntMatrix& a) {
    for (int32_t i = 0; i < m.n; i++)
        for (int32_t j = 0; j < m.n; j++) {
            free_quoly(&m.cell(i, j));
            m.cell(i, j) = ring_number(a[i][j]);
        }
}

// The integer (or residue word) of a plain-number quoly.
inline mpz_class plain_value(const quoly* q) {
    EXPECT_TRUE(q->isnum);
    if (lintmode) return mpz_class(static_cast<unsigned long>(static_cast<uint32_t>(q->nnum->value)));
    return to_mpz(q->nnum);
}

// Entries of 1 .. digits decimal digits (exactly digits with exact set).
inline IntMatrix random_matrix(std::mt19937_64& rng, int32_t n, int digits, bool exact = false) {
    IntMatrix a(n, std::vector<mpz_class>(n));
    std::uniform_int_distribution<int> dig(0, 9), len(1, digits), sign(0, 1);
    for (auto& row : a)
        for (auto& x : row) {
            std::string s;
            const int l = exact ? digits : len(rng);
            for (int k = 0; k < l; k++) s += static_cast<char>('0' + (k == 0 && exact ? 1 + dig(rng) % 9 : dig(rng)));
            x = mpz_class(s, 10);
            if (sign(rng)) x = -x;
        }
    return a;
}

// Three random terms in vars variables, exponents 0..2, coefficients in -c..c.
inline TermList random_terms(std::mt19937_64& rng, int vars, int c) {
    std::uniform_int_distribution<int> coef(-c, c), e(0, 2);
    TermList t;
    for (int k = 0; k < 3; k++) {
        std::vector<int32_t> ex(vars);
        for (auto& v : ex) v = e(rng);
        t.push_back({coef(rng), ex});
    }
    return t;
}

inline IntMatrix product(const IntMatrix& a, const IntMatrix& b) {
    const size_t n = a.size();
    IntMatrix c(n, std::vector<mpz_class>(n));
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++)
            for (size_t k = 0; k < n; k++) c[i][j] += a[i][k] * b[k][j];
    return c;
}

// Fraction-free elimination with GMP: the reference determinant.
inline mpz_class gmp_det(IntMatrix a) {
    const size_t n = a.size();
    mpz_class sign = 1, prev = 1;
    for (size_t k = 0; k < n; k++) {
        size_t p = k;
        while (p < n && a[p][k] == 0) p++;
        if (p == n) return 0;
        if (p != k) {
            std::swap(a[p], a[k]);
            sign = -sign;
        }
        for (size_t i = k + 1; i < n; i++) {
            for (size_t j = k + 1; j < n; j++) a[i][j] = (a[k][k] * a[i][j] - a[i][k] * a[k][j]) / prev;
            a[i][k] = 0;
        }
        prev = a[k][k];
    }
    return sign * a[n - 1][n - 1];
}

// The determinant switches for one run, put back afterwards.
struct DetSwitches {
    int32_t s_detcutoff = detcutoff, s_gauss = gauss_cutoff, s_rat = rat_det_method_cut;
    int s_matrix_ok = mod_matrix_ok;
    DetSwitches(int32_t d, int32_t k, int32_t l = 5000) {
        detcutoff = d;
        gauss_cutoff = k;
        rat_det_method_cut = l;
    }
    ~DetSwitches() {
        detcutoff = s_detcutoff;
        gauss_cutoff = s_gauss;
        rat_det_method_cut = s_rat;
        mod_matrix_ok = s_matrix_ok;
    }
};

// The methods a switch can force on a matrix of size n: defaults, plain
// elimination (&(D = 0)), cofactors for the last k rows (&(D = k)),
// fraction-free elimination (&(K = 1) with &(D = 0)).
struct Method {
    std::string name;
    int32_t d, k;
};
inline std::vector<Method> methods_for(int32_t n, int32_t max_minors = 5) {
    std::vector<Method> m = {{"default", -1, 0}, {"plain", 0, 0}, {"bareiss", 0, 1}};
    for (int32_t k = 2; k <= n && k <= max_minors; k++) m.push_back({"minors " + std::to_string(k), k, 0});
    return m;
}

// det of the stored matrix through the hub under one method; the result
// quoly is the caller's.
inline quoly* hub_det(StoredMatrix& m, const Method& how, polynode* factor = nullptr) {
    DetSwitches sw(how.d, how.k);
    std::vector<quoly*> v = m.cells();
    quoly* r = nullptr;
    quoly_set(1, &r);
    sparse* none = nullptr;
    mat_invert(v.data(), nullptr, 0, 0, m.n, &r, 0, 0, &none, factor, -1, -1, -1, 0, 0);
    return r;
}

// The count the verbose line states, -1 when there is none.
inline long stated_primes(const std::string& said) {
    const std::string head = "CRT. number of primes needed is ";
    const size_t at = said.find(head);
    return at == std::string::npos ? -1 : std::stol(said.substr(at + head.size()));
}

// The hub's verbose report of a determinant, its value in *value.
inline std::string verbose_det(StoredMatrix& m, const Method& how, mpz_class* value, polynode* factor = nullptr) {
    verbose = 1;
    ::testing::internal::CaptureStdout();
    quoly* r = hub_det(m, how, factor);
    const std::string said = ::testing::internal::GetCapturedStdout();
    verbose = 0;
    *value = plain_value(r);
    free_quoly(&r);
    return said;
}
