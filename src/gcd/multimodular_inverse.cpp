// Inverses by images modulo word primes (multimodular_inverse.h).
#include "gcd/multimodular_inverse.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "gcd/flat_modgcd.h"
#include "gcd/modgcd.h"
#include "numbers/mixed_radix.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/from_terms.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// Below this dimension the field inversion is cheap enough; above the
// other, the matrix's images cost more than they save.
constexpr size_t LEAST_DIMENSION = 16;
constexpr size_t MOST_DIMENSION = 512;
// What a unit of the field inversion's work (a product of a node or digit
// by another, with its allocations) costs in residue operations: measured
// on tower elements where either road wins by a factor of ten.
constexpr double RESIDUE_OPERATIONS_PER_UNIT = 2.0;

struct Number {
    imag* n = new_number();
    Number() = default;
    ~Number() {
        if (n) free_imag(&n);
    }
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;
    imag* release() {
        imag* x = n;
        n = nullptr;
        return x;
    }
};

struct Levels {
    std::vector<int32_t> degree;   // outermost first
    size_t dim = 1;
};

// The degrees of the levels from crec in, when every one has a monic
// relation; empty otherwise.
bool levels_of(pt* crec, Levels* out) {
    for (pt* r = crec; r; r = r->next) {
        polynode* m = r->binomial ? r->binomial : r->relation;
        if (!r->relation || !m || r->modout_degree < 1 || m->numb || m->exp != r->modout_degree) return false;
        const polynode* lead = m->pcoef;
        while (!lead->numb) {
            if (lead->exp != 0) return false;
            lead = lead->pcoef;
        }
        if (lead->next || !is_longint(lead->ncoef, 1)) return false;
        out->degree.push_back(r->modout_degree);
        out->dim *= static_cast<size_t>(r->modout_degree);
        if (out->dim > MOST_DIMENSION) return false;
    }
    return !out->degree.empty();
}

// The integer coefficients of p (an element of the levels), by the index
// of their monomial (the innermost level's exponent the lowest digit);
// false for an exponent outside the levels' degrees.
bool read_coefficients(polynode* p, const Levels& L, size_t level, size_t index, std::vector<imag*>* at) {
    for (; p; p = p->next) {
        if (p->exp < 0) return false;
        size_t i = index;
        if (p->numb) {
            // The exponents left are all 0.
            for (size_t l = level; l < L.degree.size(); l++) i *= static_cast<size_t>(L.degree[l]);
            (*at)[i] = p->ncoef;
            continue;
        }
        if (level >= L.degree.size() || p->exp >= L.degree[level]) return false;
        i = i * static_cast<size_t>(L.degree[level]) + static_cast<size_t>(p->exp);
        if (!read_coefficients(p->pcoef, L, level + 1, i, at)) return false;
    }
    return true;
}

// The exponents of the monomial of an index, outermost first.
void exponents_of(size_t index, const Levels& L, int32_t* e) {
    for (size_t l = L.degree.size(); l-- > 0;) {
        e[l] = static_cast<int32_t>(index % static_cast<size_t>(L.degree[l]));
        index /= static_cast<size_t>(L.degree[l]);
    }
}

// The element with these numbers (null for zero) by monomial index; the
// numbers are taken.
polynode* element_of(std::vector<imag*>& numbers, const Levels& L) {
    const int32_t nvars = static_cast<int32_t>(L.degree.size());
    std::vector<int32_t> exps;
    std::vector<imag*> taken;
    for (size_t i = numbers.size(); i-- > 0;) {
        if (!numbers[i]) continue;
        exps.resize(exps.size() + static_cast<size_t>(nvars));
        exponents_of(i, L, exps.data() + exps.size() - static_cast<size_t>(nvars));
        taken.push_back(numbers[i]);
        numbers[i] = nullptr;
    }
    if (taken.empty()) {
        polynode* z = nullptr;
        poly_set(0, &z);
        return z;
    }
    return poly_from_terms(exps.data(), taken.size(), nvars, [&](size_t i) {
        imag* n = taken[i];
        taken[i] = nullptr;
        return new_number_node(n);
    });
}

// The columns of c's multiplication matrix: c times each monomial, as
// elements of the ring (held), and their numbers by row.
struct Matrix {
    std::vector<PolyHold> columns;
    std::vector<std::vector<imag*>> cells;   // cells[column][row], null for 0
    double bits = 0;                         // a bound on log2 |det| and the adjugate's entries
};

bool multiplication_matrix(polynode* c, pt* crec, const Levels& L, Matrix* M) {
    const int32_t nvars = static_cast<int32_t>(L.degree.size());
    M->columns = std::vector<PolyHold>(L.dim);
    M->cells.assign(L.dim, std::vector<imag*>(L.dim, nullptr));
    std::vector<int32_t> e(static_cast<size_t>(nvars));
    for (size_t j = 0; j < L.dim; j++) {
        exponents_of(j, L, e.data());
        PolyHold monomial(poly_from_terms(e.data(), 1, nvars, [](size_t) {
            polynode* one = nullptr;
            poly_set(1, &one);
            return one;
        }));
        poly_mult(c, monomial.p, &M->columns[j].p, crec);
        if (!read_coefficients(M->columns[j].p, L, 0, 0, &M->cells[j])) return false;
        // Hadamard's bound: the product of the columns' lengths.
        int32_t most = 0, nonzero = 0;
        for (imag* x : M->cells[j])
            if (x && !iszero(x)) {
                most = std::max(most, x->count);
                nonzero++;
            }
        if (nonzero == 0) return false;
        M->bits += 28.0 * most + 0.5 * std::log2(static_cast<double>(nonzero));
    }
    return true;
}

// Modulo F.p: y := det(A)·A^-1·e (the adjugate's column at `one`) and
// *det; false when A is singular there. A is taken, by rows.
bool adjugate_column(std::vector<uint32_t>& A, size_t n, size_t one, const flatgcd::Field& F, std::vector<uint32_t>* y,
                     uint32_t* det) {
    std::vector<uint32_t> b(n, 0);
    b[one] = 1;
    uint32_t d = 1;
    for (size_t k = 0; k < n; k++) {
        size_t piv = k;
        while (piv < n && A[piv * n + k] == 0) piv++;
        if (piv == n) return false;
        if (piv != k) {
            for (size_t j = k; j < n; j++) std::swap(A[k * n + j], A[piv * n + j]);
            std::swap(b[k], b[piv]);
            d = F.neg(d);
        }
        const uint32_t pivot = A[k * n + k];
        d = F.mul(d, pivot);
        const uint32_t inv = F.inv(pivot);
        for (size_t i = k + 1; i < n; i++) {
            const uint32_t f = F.mul(A[i * n + k], inv);
            if (f == 0) continue;
            for (size_t j = k + 1; j < n; j++) A[i * n + j] = F.sub(A[i * n + j], F.mul(f, A[k * n + j]));
            b[i] = F.sub(b[i], F.mul(f, b[k]));
        }
    }
    y->assign(n, 0);
    for (size_t k = n; k-- > 0;) {
        uint32_t s = b[k];
        for (size_t j = k + 1; j < n; j++) s = F.sub(s, F.mul(A[k * n + j], (*y)[j]));
        (*y)[k] = F.mul(s, F.inv(A[k * n + k]));
    }
    for (uint32_t& v : *y) v = F.mul(v, d);
    *det = d;
    return true;
}

// Garner's digits of values modulo the primes so far, one row per value.
struct Digits {
    std::vector<uint32_t> primes;
    std::vector<std::vector<int32_t>> rows;

    // The next prime's residues (one per row): true when every new digit
    // is 0, the values then unchanged by it.
    bool add(const std::vector<uint32_t>& residues, const flatgcd::Field& F) {
        const size_t i = primes.size();
        uint32_t q = 1;
        for (uint32_t p : primes) q = F.mul(q, F.reduce(p));
        const uint32_t qi = F.inv(q);
        bool still = true;
        for (size_t r = 0; r < rows.size(); r++) {
            std::vector<int32_t>& t = rows[r];
            uint32_t v = 0;
            for (size_t j = i; j-- > 0;) {
                const uint32_t d = t[j] < 0 ? static_cast<uint32_t>(t[j] + static_cast<int64_t>(F.p))
                                            : static_cast<uint32_t>(t[j]);
                v = F.add(F.mul(v, F.reduce(primes[j])), F.reduce(d));
            }
            const uint32_t x = F.mul(F.sub(residues[r], v), qi);
            const int32_t s = x > F.p / 2 ? static_cast<int32_t>(static_cast<int64_t>(x) - F.p) : static_cast<int32_t>(x);
            t.push_back(s);
            still = still && s == 0;
        }
        primes.push_back(F.p);
        return still;
    }
    // The value of a row; null for 0.
    imag* value(size_t r) const {
        for (int32_t d : rows[r])
            if (d != 0) return mixed_radix_number(rows[r].data(), primes.data(), primes.size());
        return nullptr;
    }
};

// y/det in lowest terms with a positive denominator, checked: c·N = d.
bool candidate(polynode* c, pt* crec, const Levels& L, const Digits& D, PolyHold* N, imag** d) {
    const size_t n = L.dim;
    Number det;
    imag* dv = D.value(n);
    if (!dv) return false;
    free_imag(&det.n);
    det.n = dv;
    std::vector<imag*> y(n, nullptr);
    struct Free {
        std::vector<imag*>& v;
        ~Free() {
            for (imag*& x : v)
                if (x) free_imag(&x);
        }
    } free_y{y};
    Number g;
    abs_val_num(det.n, g.n);
    for (size_t i = 0; i < n; i++) {
        y[i] = D.value(i);
        if (!y[i]) continue;
        Number h;
        binary_gcd(g.n, y[i], h.n);
        std::swap(g.n, h.n);
    }
    const bool negative = det.n->head && det.n->head->digit < 0;
    for (imag*& x : y) {
        if (!x) continue;
        Number q, r;
        divide(x, g.n, q.n, r.n);
        if (negative) in_place_neg(q.n);
        free_imag(&x);
        x = q.release();
    }
    Number den, r;
    divide(det.n, g.n, den.n, r.n);
    if (negative) in_place_neg(den.n);
    PolyHold inverse(element_of(y, L)), product, difference, dn;
    poly_mult(c, inverse.p, &product.p, crec);
    poly_set(1, &dn.p);
    num_assign(den.n, dn.p->ncoef);
    poly_sub(product.p, dn.p, &difference.p);
    if (!poly_iszero(difference.p)) return false;
    // A budgeted gcd is charged the check's product, one step on the two.
    if (euclid_step_meter) euclid_step_meter(c, inverse.p);
    N->reset(inverse.release());
    *d = den.release();
    return true;
}

bool applies(polynode* c, pt* crec, Levels* L) {
    return !modularmode && !lintmode && !laurent && crec && !single_number(c) && levels_of(crec, L) &&
           L->dim >= LEAST_DIMENSION;
}

}  // namespace

int64_t multimodular_work(polynode* c, pt* crec) {
    Levels L;
    if (!applies(c, crec, &L)) return 0;
    // The primes for the determinant's digits (its columns about c's
    // numbers), each an elimination of the matrix, and Garner's digits
    // for every entry.
    int32_t digits = 1, terms = 0;
    each_poly_number(c, [&](imag* x) {
        digits = std::max(digits, x->count);
        terms++;
    });
    const double n = static_cast<double>(L.dim);
    const double primes = n * (28.0 * digits + 0.5 * std::log2(terms + 1.0)) / 31.0 + 3;
    const double ops = primes * (n * n * n / 3 + n * n * digits) + primes * primes * n / 2;
    return std::max<int64_t>(1, static_cast<int64_t>(ops / RESIDUE_OPERATIONS_PER_UNIT));
}

bool multimodular_inverse(polynode* c, pt* crec, PolyHold* N, imag** d) {
    Levels L;
    if (!applies(c, crec, &L)) return false;
    Matrix M;
    if (!multiplication_matrix(c, crec, L, &M)) return false;
    const size_t n = L.dim;
    Digits D;
    D.rows.assign(n + 1, {});
    std::vector<uint32_t> A(n * n), y, residues(n + 1);
    // Past the bound with a few primes to spare the values are whole.
    double bits = 0;
    for (int32_t at = 1; bits < M.bits + 64; at++) {
        poll_interrupt();
        const uint32_t p = static_cast<uint32_t>(word_prime_at(at));
        const flatgcd::Field F(p);
        for (size_t j = 0; j < n; j++)
            for (size_t i = 0; i < n; i++) {
                imag* x = M.cells[j][i];
                A[i * n + j] = x ? static_cast<uint32_t>(chain_residue(x, static_cast<int32_t>(p))) : 0;
            }
        uint32_t det = 0;
        // Singular modulo a prime this large: most likely no unit.
        if (!adjugate_column(A, n, 0, F, &y, &det)) return false;
        std::copy(y.begin(), y.end(), residues.begin());
        residues[n] = det;
        const bool still = D.add(residues, F);
        bits += std::log2(static_cast<double>(p));
        // A prime that changes none of the values: most likely they are
        // whole already, which the product proves (or else c is most
        // likely no unit).
        if (still) return candidate(c, crec, L, D, N, d);
    }
    return candidate(c, crec, L, D, N, d);
}

bool multimodular_unit(polynode* c, pt* crec) {
    Levels L;
    if (!applies(c, crec, &L)) return false;
    Matrix M;
    if (!multiplication_matrix(c, crec, L, &M)) return false;
    const size_t n = L.dim;
    std::vector<uint32_t> A(n * n), y;
    // A second prime where the first divides the determinant by chance.
    for (int32_t at = 1; at <= 2; at++) {
        const uint32_t p = static_cast<uint32_t>(word_prime_at(at));
        for (size_t j = 0; j < n; j++)
            for (size_t i = 0; i < n; i++) {
                imag* x = M.cells[j][i];
                A[i * n + j] = x ? static_cast<uint32_t>(chain_residue(x, static_cast<int32_t>(p))) : 0;
            }
        uint32_t det = 0;
        if (adjugate_column(A, n, 0, flatgcd::Field(p), &y, &det)) return true;
    }
    return false;
}
