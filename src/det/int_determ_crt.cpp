// The integer determinant by Chinese remaindering (see det/int_determ.h):
// one determinant modulo each prime, the residues read from the cells'
// digits copied out once, Garner's mixed-radix digits, and the sign from
// one more determinant modulo 2.
#include <cstdint>
#include <vector>

#include "det/flat_cells.h"
#include "det/int_determ.h"
#include "det/word_arith.h"
#include "gcd/modgcd.h"
#include "numbers/flat_int.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

// mag := mag x m + add, little-endian digits, m and add below 2^31.
void mul_add_word(std::vector<uint32_t>& mag, uint32_t m, uint32_t add) {
    uint64_t carry = add;
    for (uint32_t& d : mag) {
        const uint64_t t = uint64_t{d} * m + carry;
        d = static_cast<uint32_t>(t & DIGIT_MASK);
        carry = t >> DIGIT_BITS;
    }
    for (; carry; carry >>= DIGIT_BITS) mag.push_back(static_cast<uint32_t>(carry & DIGIT_MASK));
}

// The primes whose product M reaches B. The table's primes from the sixth
// on while their products reach it; beyond the tables word primes below
// 2^31, found and proved as the modular gcd finds its own: each image
// modulo one of them carries twice the bits of a table prime's for the
// same elimination.
// Returns whether the tables' primes suffice.
bool choose_primes(imag* B, std::vector<uint32_t>& primes, FlatInt& M) {
    primes.clear();
    const int32_t L = B->count;
    int32_t k = 7 * L / 4 + 4;
    if (k < 6) k = 6;
    auto fits = [](int32_t kk) { return kk - 6 < NUM_PROD_COUNT; };
    bool table = fits(k);
    while (table && num_prod[k - 6]->count < L) table = fits(++k);
    while (table && num_prod[k - 6]->count == L && num_prod[k - 6]->head->digit < B->head->digit) table = fits(++k);
    // The product must reach the bound itself, not only its leading digit.
    while (table && bigger(B, num_prod[k - 6])) table = fits(++k);
    if (table) {
        for (int32_t i = 5; i < k; i++) primes.push_back(static_cast<uint32_t>(prime[i]->value));
        flat_read(num_prod[k - 6], M);
        return true;
    }
    FlatInt bound;
    flat_read(B, bound);
    flat_set(1, M);
    while (flat_cmp_abs(M, bound) < 0) {
        primes.push_back(static_cast<uint32_t>(word_prime_at(static_cast<int32_t>(primes.size()) + 1)));
        mul_add_word(M.mag, primes.back(), 0);
    }
    return false;
}

}  // namespace

int32_t remaindering_primes(imag* B, bool* tables) {
    LintOff digits;
    std::vector<uint32_t> p;
    FlatInt M;
    const bool t = choose_primes(B, p, M);
    if (tables) *tables = t;
    return static_cast<int32_t>(p.size());
}

void small_mod_determ(int32_t n, quoly** result, quoly** cells, imag* B) {
    LintOff digits;
    std::vector<uint32_t> p;
    FlatInt M;
    choose_primes(B, p, M);
    const int32_t used = static_cast<int32_t>(p.size());
    dumpitt_level++;
    if (verbose) {
        dumpitt("CRT. number of primes needed is ", used, 1, 1, 1);
        dumpitt(" ", 1, 0, 0, 1);
    }
    struct Level {
        int32_t used;
        ~Level() { decr_dumpitt(used, 1, verbose); }
    } level{used};

    const FlatCells flat(cells, n);
    std::vector<uint32_t> c(p.size()), a;
    for (size_t i = 0; i < p.size(); i++) {
        poll_interrupt();
        const wordmod::Prime P(p[i]);
        // The mixed-radix number so far and the product of its primes,
        // both modulo this prime.
        uint64_t v = 0, q = 1;
        for (size_t j = i; j-- > 0;) {
            v = P.reduce(v * p[j] + c[j]);
            q = P.mul(static_cast<uint32_t>(q), P.reduce(p[j]));
        }
        if (i > 0 && verbose) dumpitt(" ", static_cast<long>(i) + 1, 0, 0, 1);
        flat.residues(P, a);
        const uint32_t r = wordmod::det(a.data(), n, P);
        c[i] = P.mul(P.sub(r, static_cast<uint32_t>(v)), P.inv(static_cast<uint32_t>(q)));
    }
    FlatInt D;
    D.mag.clear();
    for (size_t j = p.size(); j-- > 0;) mul_add_word(D.mag, p[j], c[j]);
    while (!D.mag.empty() && D.mag.back() == 0) D.mag.pop_back();
    D.sign = D.mag.empty() ? 0 : 1;
    // The sign: M is odd, so the determinant modulo 2 picks D or D - M.
    flat.residues(wordmod::Prime(2), a);
    const uint32_t d2 = wordmod::det(a.data(), n, wordmod::Prime(2));
    const uint32_t parity = D.mag.empty() ? 0 : D.mag[0] & 1;
    if (parity != d2) {
        FlatInt t;
        flat_sub(D, M, t);
        D = t;
    }
    imag* out = new_number();
    flat_write(D, out);
    scalar_to_quoly(out, result);
    free_imag(&out);
}
