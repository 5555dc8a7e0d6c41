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

double bits_of(const FlatCells& flat, int32_t n) {
    double bits = 0;
    std::vector<double> l(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; i++) {
        double top = -INFINITY;
        for (int32_t j = 0; j < n; j++) {
            const size_t e = static_cast<size_t>(i) * n + j;
            l[j] = log2_above(flat.digits(e), flat.length(e));
            top = std::max(top, l[j]);
        }
        if (top == -INFINITY) continue;
        double s = 0;
        for (int32_t j = 0; j < n; j++)
            if (l[j] != -INFINITY) s += std::exp2(2 * (l[j] - top));
        const double row = top + 0.5 * std::log2(s);   // log2 |row i|_2
        bits += row > 60 ? row + 1e-15 : std::log2(1 + std::exp2(row));
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

// Over the integers: Garner's digits of each coefficient, in the
// symmetric range of their primes, so that the mixed-radix number is the
// coefficient itself once the primes' product passes twice the bound.
// The coefficients of det(A - xI) (null for zero), constant first.
std::vector<imag*> integer_chpoly(const FlatCells& flat, int32_t n) {
    const double need = bits_of(flat, n) + 1;
    std::vector<uint32_t> primes;
    for (double have = 0; have <= need;) {
        primes.push_back(static_cast<uint32_t>(word_prime_at(static_cast<int32_t>(primes.size()) + 1)));
        have += std::log2(static_cast<double>(primes.back()) - 1);
    }
    const size_t k = primes.size(), terms = static_cast<size_t>(n) + 1;
    dumpitt_level++;
    if (verbose) dumpitt("Hessenberg form, number of primes ", static_cast<long>(k), 1, 1, 1);
    struct Level {
        long used;
        ~Level() { decr_dumpitt(used, 1, verbose); }
    } level{static_cast<long>(k)};
    std::vector<int32_t> digit(terms * k);
    std::vector<uint32_t> a, c;
    for (size_t i = 0; i < k; i++) {
        poll_interrupt();
        if (i > 0 && verbose) dumpitt(" ", static_cast<long>(i) + 1, 0, 0, 1);
        const wordmod::Prime P(primes[i]);
        flat.residues(P, a);
        hessenberg_charpoly(a, n, P, c);
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

// Over the rationals: with D the lcm of the denominators B = D A is an
// integer matrix and det(A - xI) = D^-n det(B - D x I), so B's coefficient
// b_j of x^j becomes b_j D^j over D^n.
void rational_chpoly(quoly** cells, int32_t n, quoly** result) {
    const size_t count = static_cast<size_t>(n) * n;
    std::vector<FlatInt> num(count), den(count), b(count);
    FlatInt D, g, t;
    flat_set(1, D);
    for (size_t c = 0; c < count; c++) {
        const quoly* q = cells[c];
        flat_read(q->rat ? q->pnum->ncoef : q->nnum, num[c]);
        if (!q->rat) continue;
        flat_read(q->den->ncoef, den[c]);
        flat_gcd(D, den[c], g);
        flat_div(D, g, t);
        flat_mul(t, den[c], D);
    }
    for (size_t c = 0; c < count; c++) {
        if (flat_zero(num[c])) continue;
        if (den[c].sign == 0) {
            flat_mul(num[c], D, b[c]);
        } else {
            flat_div(D, den[c], t);
            flat_mul(num[c], t, b[c]);
        }
    }
    std::vector<imag*> coefs = integer_chpoly(FlatCells(b, n), n);
    FlatInt power, x;
    flat_set(1, power);
    for (imag*& c : coefs) {
        if (c) {
            flat_read(c, x);
            flat_mul(x, power, t);
            flat_write(t, c);
        }
        flat_mul(power, D, t);
        std::swap(power, t);
    }
    // power = D^(n + 1) now.
    flat_div(power, D, t);
    QuolyOwner p, dn;
    p.q = poly_quoly(coefs);
    imag* d = new_number();
    flat_write(t, d);
    scalar_to_quoly(d, &dn.q);
    free_imag(&d);
    fast_quoly_quot(&p.q, &dn.q, 0);
    free_quoly(result);
    *result = p.q;
    p.q = nullptr;
}

}  // namespace

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
    std::vector<imag*> coefs = integer_chpoly(FlatCells(cells, n), n);
    free_quoly(result);
    *result = poly_quoly(coefs);
}
