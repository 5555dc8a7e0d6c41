// det(A - xI) of a dense matrix of numbers by the Hessenberg road: once in
// the prime or characteristic-2 field of modular mode, over the integers
// once per word prime, the images joined digit by digit in mixed radix.
#include <cmath>
#include <cstdint>
#include <vector>

#include "det/det_state.h"
#include "det/flat_cells.h"
#include "det/hessenberg.h"
#include "det/word_arith.h"
#include "gcd/modgcd.h"
#include "matrix/dual_lifting.h"
#include "matrix/minpoly.h"
#include "numbers/mixed_radix.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

// log2 of an upper bound on |x|, x given by its digits (most significant
// first); -infinity for zero.
double log2_above(const uint32_t* d, uint32_t len) {
    while (len > 0 && d[0] == 0) {
        d++;
        len--;
    }
    if (len == 0) return -INFINITY;
    double top = d[0];
    if (len > 1) top += d[1] / static_cast<double>(DIGIT_BASE);
    // The digits below the second add less than one unit of the second.
    return std::log2(top + 1.0 / DIGIT_BASE) + static_cast<double>(DIGIT_BITS) * (len - 1) + 1e-9;
}

// log2 of a bound on every coefficient of det(xI - A) for the integer
// rows of flat: the product over the rows of (s_i + |row i|_2), s_i = 2^scale[i]
// (1 without scales), which bounds the sum of the principal minors on each
// number of rows, each scaled by s_i on the rows they leave out.
double bits_of(const FlatCells& flat, int32_t n, const std::vector<double>* scale = nullptr) {
    double bits = 0;
    std::vector<double> l(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; i++) {
        double top = -INFINITY;
        for (int32_t j = 0; j < n; j++) {
            const size_t e = static_cast<size_t>(i) * n + j;
            l[j] = log2_above(flat.digits(e), flat.length(e));
            top = std::max(top, l[j]);
        }
        double row = -INFINITY;   // log2 |row i|_2
        if (top != -INFINITY) {
            double s = 0;
            for (int32_t j = 0; j < n; j++)
                if (l[j] != -INFINITY) s += std::exp2(2 * (l[j] - top));
            row = top + 0.5 * std::log2(s);
        }
        const double lo = scale ? (*scale)[static_cast<size_t>(i)] : 0.0;
        const double hi = std::max(lo, row);
        bits += hi + std::log2(1 + std::exp2(std::min(lo, row) - hi));
    }
    // Room for the rounding of n doubles summed.
    return bits * (1 + 1e-9) + 1;
}

// The residues of the cells' value words in the field of modular mode,
// row-major.
template <class W>
std::vector<W> residue_rows(quoly** cells, int32_t n) {
    std::vector<W> a(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) {
            int32_t v = cells[int64_t{j} * n + i]->nnum->value;
            if (v < 0) v = spec_mod_add(0, v, modulus);
            a[static_cast<size_t>(i) * n + j] = static_cast<W>(v);
        }
    return a;
}

void residue_chpoly(quoly** cells, int32_t n, quoly** result) {
    std::vector<int32_t> c;
    if (finf) {
        std::vector<int32_t> a = residue_rows<int32_t>(cells, n);
        hessenberg_charpoly_field(a, n, c);
    } else {
        const wordmod::Prime P(static_cast<uint32_t>(modulus));
        std::vector<uint32_t> a = residue_rows<uint32_t>(cells, n), w;
        hessenberg_charpoly(a, n, P, w);
        c.assign(w.begin(), w.end());
        // det(A - xI) = (-1)^n det(xI - A).
        if (n % 2)
            for (int32_t& x : c) x = x ? modulus - x : 0;
    }
    std::vector<imag*> coefs(c.size(), nullptr);
    for (size_t i = 0; i < c.size(); i++) {
        if (c[i] == 0) continue;
        coefs[i] = new_number();
        setvalue(c[i], coefs[i]);
    }
    free_quoly(result);
    *result = poly_quoly(coefs);
}

// Over the rationals, row i scaled by the lcm L_i of its denominators is
// an integer row; a principal minor on the rows S times the product of L_i
// over S is then an integer, and so is L c_j for every coefficient c_j of
// det(xI - A), L = L_1 ... L_n. The images are of A itself, modulo primes
// dividing no denominator, times L: the bound grows with the rows' own
// denominators, not with the lcm of all of them on every row.
struct Denominators {
    FlatCells den;       // each entry's denominator, 1 for an integer
    FlatInt product;     // L
};

// Each residue replaced by its inverse, with one inversion for them all.
// None is zero: the prime divides no denominator.
void invert_all(std::vector<uint32_t>& d, const wordmod::Prime& P) {
    std::vector<uint32_t> prefix(d.size());
    uint32_t acc = 1;
    for (size_t e = 0; e < d.size(); e++) {
        prefix[e] = acc;
        acc = P.mul(acc, d[e]);
    }
    acc = P.inv(acc);
    for (size_t e = d.size(); e-- > 0;) {
        const uint32_t inv = P.mul(acc, prefix[e]);
        acc = P.mul(acc, d[e]);
        d[e] = inv;
    }
}

// Over the integers (den null) or, with den, the integers L c_j: Garner's
// digits of each coefficient, in the symmetric range of their primes, so
// that the mixed-radix number is the coefficient itself once the primes'
// product passes twice the bound of need bits.
// The coefficients of det(A - xI) (null for zero), constant first.
std::vector<imag*> integer_chpoly(const FlatCells& flat, int32_t n, double need, const Denominators* den) {
    std::vector<uint32_t> primes;
    for (int32_t at = 1; need >= 0; at++) {
        const uint32_t p = static_cast<uint32_t>(word_prime_at(at));
        // A prime dividing a denominator has no image of A; L has only
        // so many such factors.
        if (den && flat_residue(den->product, wordmod::Prime(p)) == 0) continue;
        primes.push_back(p);
        need -= std::log2(static_cast<double>(p) - 1);
    }
    const size_t k = primes.size(), terms = static_cast<size_t>(n) + 1;
    dumpitt_level++;
    if (verbose) dumpitt("Hessenberg form, number of primes ", static_cast<long>(k), 1, 1, 1);
    struct Level {
        long used;
        ~Level() { decr_dumpitt(used, 1, verbose); }
    } level{static_cast<long>(k)};
    std::vector<int32_t> digit(terms * k);
    std::vector<uint32_t> a, c, d;
    for (size_t i = 0; i < k; i++) {
        poll_interrupt();
        if (i > 0 && verbose) dumpitt(" ", static_cast<long>(i) + 1, 0, 0, 1);
        const wordmod::Prime P(primes[i]);
        flat.residues(P, a);
        if (den) {
            den->den.residues(P, d);
            invert_all(d, P);
            for (size_t e = 0; e < a.size(); e++) a[e] = P.mul(a[e], d[e]);
        }
        hessenberg_charpoly(a, n, P, c);
        if (den) {
            const uint32_t l = flat_residue(den->product, P);
            for (uint32_t& x : c) x = P.mul(x, l);
        }
        // The primes before this one: their product modulo it, inverted.
        uint32_t q = 1;
        for (size_t j = 0; j < i; j++) q = P.mul(q, P.reduce(primes[j]));
        const uint32_t qi = P.inv(q);
        for (size_t e = 0; e < terms; e++) {
            int32_t* t = &digit[e * k];
            uint64_t v = 0;
            for (size_t j = i; j-- > 0;) {
                const uint32_t d = t[j] < 0 ? static_cast<uint32_t>(t[j] + static_cast<int64_t>(P.p))
                                            : static_cast<uint32_t>(t[j]);
                v = P.add(P.mul(static_cast<uint32_t>(v), P.reduce(primes[j])), P.reduce(d));
            }
            const uint32_t r = P.mul(P.sub(c[e], static_cast<uint32_t>(v)), qi);
            t[i] = r > P.p / 2 ? static_cast<int32_t>(static_cast<int64_t>(r) - P.p) : static_cast<int32_t>(r);
        }
    }
    std::vector<imag*> coefs(terms, nullptr);
    for (size_t e = 0; e < terms; e++) {
        int32_t* t = &digit[e * k];
        bool zero = true;
        for (size_t j = 0; j < k; j++) {
            if (n % 2) t[j] = -t[j];
            zero = zero && t[j] == 0;
        }
        if (!zero) coefs[e] = mixed_radix_number(t, primes.data(), k);
    }
    return coefs;
}

// Over the rationals: the integers L c_j, divided by L.
void rational_chpoly(quoly** cells, int32_t n, quoly** result) {
    const size_t count = static_cast<size_t>(n) * n;
    std::vector<FlatInt> num(count), den(count), b(count);
    std::vector<FlatInt> lcm(static_cast<size_t>(n));
    FlatInt g, t;
    for (size_t c = 0; c < count; c++) {
        const quoly* q = cells[c];
        flat_read(q->rat ? q->pnum->ncoef : q->nnum, num[c]);
        if (q->rat)
            flat_read(q->den->ncoef, den[c]);
        else
            flat_set(1, den[c]);
    }
    // Row i's lcm; cells are column-major.
    for (int32_t i = 0; i < n; i++) {
        FlatInt& L = lcm[static_cast<size_t>(i)];
        flat_set(1, L);
        for (int32_t j = 0; j < n; j++) {
            const FlatInt& e = den[static_cast<size_t>(j) * n + i];
            flat_gcd(L, e, g);
            flat_div(L, g, t);
            flat_mul(t, e, L);
        }
    }
    // The scaled rows, for the bound only.
    std::vector<double> scale(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; i++) {
        const FlatInt& L = lcm[static_cast<size_t>(i)];
        std::vector<uint32_t> top(L.mag.rbegin(), L.mag.rend());
        scale[static_cast<size_t>(i)] = log2_above(top.data(), static_cast<uint32_t>(top.size()));
        for (int32_t j = 0; j < n; j++) {
            const size_t c = static_cast<size_t>(j) * n + i;
            if (flat_zero(num[c])) continue;
            flat_div(L, den[c], t);
            flat_mul(num[c], t, b[c]);
        }
    }
    const double need = bits_of(FlatCells(b, n), n, &scale) + 1;
    b.clear();
    Denominators d{FlatCells(den, n), FlatInt{}};
    flat_set(1, d.product);
    for (const FlatInt& L : lcm) {
        flat_mul(d.product, L, t);
        std::swap(d.product, t);
    }
    std::vector<imag*> coefs = integer_chpoly(FlatCells(num, n), n, need, &d);
    QuolyOwner p, dn;
    p.q = poly_quoly(coefs);
    imag* L = new_number();
    flat_write(d.product, L);
    scalar_to_quoly(L, &dn.q);
    free_imag(&L);
    fast_quoly_quot(&p.q, &dn.q, 0);
    free_quoly(result);
    *result = p.q;
    p.q = nullptr;
}

}  // namespace

void composite_chpoly(quoly** cells, int32_t n, quoly** result) {
    const size_t count = static_cast<size_t>(n) * n;
    std::vector<FlatInt> v(count);
    for (size_t c = 0; c < count; c++) flat_set(cells[c]->nnum->value, v[c]);
    std::vector<imag*> coefs;
    {
        LintOff digits;
        const FlatCells flat(v, n);
        coefs = integer_chpoly(flat, n, bits_of(flat, n) + 1, nullptr);
    }
    // Each coefficient's residue, from its digits.
    const uint64_t m = static_cast<uint64_t>(modulus);
    FlatInt x;
    for (imag*& c : coefs) {
        if (!c) continue;
        {
            LintOff digits;
            flat_read(c, x);
            free_imag(&c);
        }
        uint64_t r = 0;
        for (size_t i = x.mag.size(); i-- > 0;) r = ((r << DIGIT_BITS) | x.mag[i]) % m;
        if (x.sign < 0 && r) r = m - r;
        if (r == 0) continue;
        c = new_number();
        setvalue(static_cast<int32_t>(r), c);
    }
    free_quoly(result);
    *result = poly_quoly(coefs);
}

void hessenberg_chpoly(quoly** cells, int32_t n, quoly** result) {
    if (modularmode) {
        residue_chpoly(cells, n, result);
        return;
    }
    LintOff digits;
    for (int64_t c = 0; c < int64_t{n} * n; c++)
        if (cells[c]->rat) {
            rational_chpoly(cells, n, result);
            return;
        }
    const FlatCells flat(cells, n);
    std::vector<imag*> coefs = integer_chpoly(flat, n, bits_of(flat, n) + 1, nullptr);
    free_quoly(result);
    *result = poly_quoly(coefs);
}
