// Sparse polynomial determinants over the integers: the sparse modular
// method for one table prime after another, the images combined by Chinese
// remaindering. The incremental variant stops when a prime changes nothing
// and the answer then agrees with the matrix at a random point modulo a
// prime it did not use; the S variant takes a fixed number of primes and
// trusts them. A power hint restricts the usable primes to those where the
// root (or the polynomial in X^k) is unique.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <optional>
#include <set>

#include "det/crt_answer.h"
#include "det/det_state.h"
#include "det/field_poly_det.h"
#include "det/poly_det.h"
#include "det/poly_det_impl.h"
#include "det/prime_switch.h"
#include "det/sparse_copy.h"
#include "det/sparse_mod_determ.h"
#include "det/sparse_poly_det.h"
#include "det/word_arith.h"
#include "gcd/flat_modgcd.h"
#include "interp/settings.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/polyvars.h"
#include "quoly/change_mod.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using namespace polydet;
using quoly_detail::lone_number;

// Calls of this method under way: their images are not the user's, and
// the small-modulus road back into it would go round in circles.
struct Active {
    Active() { sparse_integer_depth++; }
    ~Active() { sparse_integer_depth--; }
    Active(const Active&) = delete;
    Active& operator=(const Active&) = delete;
};

// The four prime tables in the order they are used up.
constexpr int PHASES = 4;
constexpr int32_t PHASE_COUNT[PHASES] = {PRIME_COUNT, MED_PRIME_COUNT, BIG_PRIME_COUNT, LRGPME_COUNT};

bool phase_loaded(int phase) {
    if (phase == 2) return big_prime != nullptr;
    if (phase == 3) return lrgpme != nullptr;
    return true;
}

int32_t phase_prime(int phase, int32_t index) {
    switch (phase) {
        case 0: return prime[index - 1]->value;
        case 1: return med_prime[index - 1];
        case 2: return big_prime[index - 1];
        default: return lrgpme[index - 1];
    }
}

// The position in the prime tables (`adjust_and_check_i_1`).
struct PrimeCursor {
    int phase;
    int32_t index;

    // The start for a matrix of n rows: large matrices want large primes
    // (fewer of them), and each table's first entries are skipped or not
    // as the small ones are most likely to divide the coefficients.
    explicit PrimeCursor(int32_t n) {
        if (n < 50) {
            phase = 0;
            index = 6 + rand_integer3() % 4;
        } else {
            phase = n < 200 ? 2 : 3;
            index = 1;
        }
        settle();
    }
    bool exhausted() const { return phase >= PHASES; }
    int32_t current() const { return phase_prime(phase, index); }
    void advance() {
        index++;
        if (index % 10 == 0) index += rand_integer3() % 3;
        settle();
    }
    // Past a table's end (or at a table not loaded): the next table.
    void settle() {
        while (phase < PHASES && (!phase_loaded(phase) || index > PHASE_COUNT[phase])) {
            if (phase == PHASES - 1) {
                phase = PHASES;
                return;
            }
            phase++;
            index = 1 + rand_integer3() % 5;
        }
    }
};

// A prime p is usable for the power hint k (|power|) when the k-th root,
// or the k-th power map, is one to one there; *e is then the exponent that
// inverts it (0 without a hint).
bool usable_prime(int64_t p, int32_t power, int64_t k, int64_t* e) {
    *e = 0;
    if (k <= 1) return true;
    if (k % 2 == 1) {
        if (std::gcd(k, p - 1) != 1) return false;
        *e = wordmod::inverse_mod(k, p - 1);
        return true;
    }
    (void)power;
    if (p % 4 != 3) return false;
    *e = wordmod::inverse_mod(k, (p - 1) / 2);
    return true;
}

// The image of the determinant modulo the current prime, read off `d`.
bool image_of(quoly* d, int32_t nvars, Image* img) {
    if (quoly_iszero(d)) return true;
    if (d->isnum) {
        (*img)[Monomial(static_cast<size_t>(nvars), 0)] = static_cast<uint32_t>(d->nnum->value);
        return true;
    }
    flatgcd::FlatPoly fp;
    if (d->den || !flatten_residues(d->pnum, polynames, &fp)) return false;
    for (size_t t = 0; t < fp.terms(); t++) (*img)[Monomial(fp.exp(t), fp.exp(t) + nvars)] = fp.coefs[t];
    return true;
}

int32_t image_degree(const Image& img, int32_t depth) {
    int32_t d = -1;
    if (depth < 1 || depth > 16383) return 0;
    for (const auto& [mono, c] : img) d = std::max(d, mono[static_cast<size_t>(depth) - 1]);
    return d;
}

// The matrix's determinant at a random point modulo a random prime none of
// the images used, against what the answer says there: answer^k (or the
// answer at the points' k-th powers for a negative power) times the factor.
bool agrees_at_random_point(const CrtAnswer& A, sparse* frame, int32_t n, polynode* factor, int32_t power,
                            const std::set<int32_t>& used) {
    int32_t q;
    do {
        if (lrgpme)
            q = lrgpme[rand_integer3() % LRGPME_COUNT];
        else if (big_prime)
            q = big_prime[rand_integer3() % BIG_PRIME_COUNT];
        else
            q = med_prime[rand_integer3() % MED_PRIME_COUNT];
    } while (used.count(q));
    const int64_t k = power < 0 ? -int64_t{power} : power;
    struct CommandInt {
        int s;
        ~CommandInt() { command_int = s; }
    } restore{command_int};
    command_int = command_int && danger_ok;
    RingStateGuard ring;
    install_modulus(q);
    mod_is_prime = 1;
    const int32_t nvars = number_polys;
    std::vector<uint32_t> xs(static_cast<size_t>(nvars) + 1, 0);
    for (auto& x : xs) x = static_cast<uint32_t>((int64_t{rand_integer3()} * 48871 + rand_integer3()) % q);
    // The entries are integers: their digit chains are read.
    std::vector<std::vector<std::pair<int32_t, uint32_t>>> rows(static_cast<size_t>(n) + 1);
    for (int32_t r = 1; r <= n; r++)
        for (colm* c = *row_head(frame, r); c; c = c->next) {
            const uint32_t v = c->val->isnum ? static_cast<uint32_t>(chain_residue(c->val->nnum, q))
                                             : residue_at(c->val->pnum, 1, xs.data(), true);
            if (v) rows[r].emplace_back(c->col, v);
        }
    const uint32_t f = factor ? residue_at(factor, 1, xs.data(), true) : 1;
    modularmode = 1;
    lintmode = 1;
    SparseCopy copy(n);
    for (int32_t r = 1; r <= n; r++) {
        colm** tail = row_head(copy.f, r);
        for (const auto& [col, v] : rows[r]) {
            colm* e = take_colm();
            e->col = col;
            e->val = nullptr;
            quoly_set(static_cast<int32_t>(v), &e->val);
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
    quoly* d = nullptr;
    quoly_set(1, &d);
    QuolyOwner det(d);
    sparse_mod_int_determ(&det.q, &copy.f, n, 1, 0);
    const uint32_t dv = quoly_residue(det.q, xs.data());
    uint32_t value = crt_value_at(A, xs, nvars, power < -1 ? k : 1);
    if (power > 1) value = rpow(value, k);
    return rmul(value, f) == dv;
}

// Bits of the largest coefficient and the total degree of a polynomial,
// and its number of terms.
void poly_size(const polynode* p, int32_t deg, double* bits, int64_t* tdeg, int64_t* terms) {
    for (; p; p = p->next) {
        if (p->numb) {
            *bits = std::max(*bits, 28.0 * p->ncoef->count);
            *tdeg = std::max<int64_t>(*tdeg, deg + p->exp);
            ++*terms;
        } else {
            poly_size(p->pcoef, deg + p->exp, bits, tdeg, terms);
        }
    }
}

// log2 of a bound of the coefficients of the determinant and of any
// polynomial that divides it (a true factor's cofactor, a root): the sum
// over the rows of log2 of the row's sum of coefficient magnitudes (every
// permutation's product is bounded by the product of these sums), plus one
// bit per unit of total degree for the divisors' coefficients. With false
// hints the images never settle; past this many bits nothing more can be
// learned from further primes.
double log2_coefficient_bound(sparse* frame, int32_t n) {
    double total = 64;
    for (int32_t r = 1; r <= n; r++) {
        double row_bits = 0;
        int64_t row_terms = 0, row_deg = 0;
        for (colm* c = *row_head(frame, r); c; c = c->next) {
            quoly* q = c->val;
            if (q->isnum) {
                row_bits = std::max(row_bits, 28.0 * q->nnum->count);
                row_terms++;
            } else {
                poly_size(q->pnum, 0, &row_bits, &row_deg, &row_terms);
            }
        }
        total += row_bits + std::log2(static_cast<double>(std::max<int64_t>(row_terms, 1))) + row_deg;
    }
    return total;
}

// Failed checks after which the answer is left to elimination: with a
// false hint no number of primes would ever agree.
constexpr int CHECK_LIMIT = 3;

}  // namespace

int sparse_rat_poly_determ(sparse* frame, int32_t depth, int32_t n, quoly** result, polynode* factor,
                           int32_t degree, int32_t second_degree, int32_t power, int32_t prime_count) {
    if (field_depth > 0 && field_depth <= depth) return 0;
    if (power == 0) power = -1;
    const int64_t k = power < 0 ? -int64_t{power} : power;
    if (k > 2 && k % 2 == 0 && (k & (k - 1)) != 0) {
        if (verbose) std::printf("Specified power must be odd or power of 2. LaGrange method abandoned.\n");
        return 0;
    }
    if (n > 65535) {
        std::printf("Warning. Too many columns (> 65535) for sparse LaGrange method.\n");
        return 0;
    }
    // Over an extension field only the first auxiliary primes keep the
    // images in a field. A root there would be one in GF(p^d), which the
    // methods below do not take: a positive power is left to elimination.
    std::optional<AuxPrimeSequence> aux;
    if (doing_polymod_field()) {
        if (power > 1) return 0;
        aux.emplace();
        if (aux->empty()) return 0;
    }
    if (laurent && sparse_negexponents(frame, n)) {
        warn_negative_exponents();
        return 0;
    }
    Active active;
    const bool s_variant = prime_count >= 1;
    const int32_t nvars = number_polys;
    const int one_var = sparse_one_var_polys(frame, n);
    if (verbose)
        dumpitt(s_variant ? "sparse S LaGrange interpolation over Z, rows " : "sparse LaGrange interpolation over Z, rows ",
                n, 1, 0, 1);
    dumpitt_level++;
    struct Level {
        ~Level() { decr_dumpitt(1, 1, 0); }
    } level;

    const bool has_factor = factor && !lone_number(factor);
    const int32_t fdeg = has_factor && depth < 16384 ? factor_degree_at(factor, depth) : 0;
    const int32_t fdeg2 = has_factor && depth < nvars ? max_exponent_at(factor, 1, depth + 1) : 0;
    const int64_t kk = std::max<int64_t>(k, 1);
    std::optional<PrimeCursor> tables;
    if (!aux) tables.emplace(n);
    auto exhausted = [&] { return aux ? aux->exhausted() : tables->exhausted(); };
    auto advance = [&] { aux ? aux->advance() : tables->advance(); };
    CrtAnswer A;
    std::set<int32_t> used;
    int32_t count = 0;
    int32_t bound = degree;
    // Degree learning: the first image's degree; learning stops at -2.
    int32_t d1 = degree >= 1 ? -2 : -1;
    int failed_checks = 0;
    const double enough_bits =
        s_variant ? 0 : log2_coefficient_bound(frame, n) + (aux ? field_reduction_bits(frame, n) : 0);
    double bits = 0;
    for (;;) {
        poll_interrupt();
        if (exhausted()) return 0;
        const int32_t p = aux ? aux->current() : tables->current();
        int64_t e;
        if (!usable_prime(p, power, k, &e)) {
            advance();
            continue;
        }
        // The S variant's primes stay below 2^28, so that their product is
        // built from whole digits.
        if (s_variant && p >= (int32_t{1} << 28)) return 0;
        // Hints for this prime: the root's degrees, the factor's taken off.
        int32_t d = bound, s2 = second_degree;
        if (d >= 1) d = static_cast<int32_t>((d - fdeg) / kk);
        if (s2 >= 1) s2 = static_cast<int32_t>((s2 - fdeg2) / kk);
        Image img;
        int r = 0;
        bool factor_vanishes = false;
        {
            polynode* f = factor;
            PrimeSwitch sw(p, frame, n, &f, !windy);
            if (sw.outer_verbose())
                dumpitt("Modular Determinant method, sparse. Now in modular mode, modulus ", p, 1, 0, 1);
            if (factor && !f) {
                factor_vanishes = true;
            } else {
                quoly* q = nullptr;
                quoly_set(1, &q);
                QuolyOwner det(q);
                r = sparse_mod_poly_determ(frame, sparse_polydepth(frame, n), n, &det.q, f, d, s2, power, e,
                                           one_var, 0);
                if (r && !image_of(det.q, nvars, &img)) r = 0;
            }
        }
        if (factor_vanishes) {
            advance();
            continue;
        }
        if (!r) return 0;
        used.insert(p);
        count++;
        if (verbose) {
            dumpitt("Number of primes used: ", count, 1, 0, 0);
            if (degree >= 0) dumpitt(" Degree estimate: ", d, 0, 0, 0);
        }
        const int32_t dimg = image_degree(img, depth);
        if (d1 == -1) {
            d1 = dimg < 0 ? -2 : dimg;
        } else if (d1 >= 0) {
            // A bound for the determinant itself: the hints of the next
            // primes take the factor and the power off again.
            if (dimg == d1 && d1 > 2) bound = static_cast<int32_t>((d1 + 1) * kk + fdeg);
            d1 = -2;
        }
        bool same;
        {
            RingStateGuard ring;
            install_modulus(p);
            mod_is_prime = 1;
            same = crt_fold(A, img, static_cast<uint32_t>(p));
        }
        bits += std::log2(static_cast<double>(p));
        if (s_variant) {
            if (count >= prime_count) break;
        } else if (same) {
            if (!aux) {
                if (agrees_at_random_point(A, frame, n, factor, power, used)) break;
            } else {
                const int verdict = sparse_field_answer_check(A, frame, n, factor, power, used);
                if (verdict < 0) return 0;
                if (verdict) break;
            }
            if (++failed_checks >= CHECK_LIMIT) return 0;
            // Wrong: the first primes divided the coefficients, or a
            // learned bound cut the images short. Start again on the
            // primes still to come, estimating every time.
            A = CrtAnswer{};
            bound = degree;
            d1 = -2;
            bits = 0;
        } else if (bits > enough_bits) {
            return 0;
        }
        advance();
    }
    free_quoly(result);
    construct_answer_1(A, nvars, result);
    return 1;
}

int use_sparse_rat_poly_det(sparse* frame, int32_t depth, int32_t n, quoly** result) {
    if (finf) return 0;
    // Inside the integer method, or with mod-out relations the integers
    // would not carry: the hub eliminates.
    if (sparse_integer_depth > 0 || pseudo_polynames) return 0;
    quoly* r = nullptr;
    int ok = 0;
    {
        RingStateGuard ring;
        // A copy read as integers; the caller's entries stay residues.
        SparseCopy copy(n);
        evaluated_copy(frame, n, copy, [](quoly* q, quoly** out) {
            quoly_assign(q, out);
            quoly_change_from_mod(*out);
        });
        modularmode = 0;
        lintmode = 0;
        quoly_set(1, &r);
        try {
            ok = sparse_rat_poly_determ(copy.f, depth, n, &r, nullptr, -1, -1, -1, 0);
        } catch (...) {
            free_quoly(&r);
            throw;
        }
        if (!ok) free_quoly(&r);
    }
    if (!ok) return 0;
    quoly_change_num(&r);
    if (!r) quoly_set(0, &r);
    free_quoly(result);
    *result = r;
    return 1;
}
