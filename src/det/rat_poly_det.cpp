// The determinant of a dense integer polynomial matrix: images modulo the
// primes of the tables by the modular method, combined by Chinese
// remaindering in mixed-radix form until a prime changes nothing, the
// answer then checked at a random point modulo a prime not used.
#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "det/det_state.h"
#include "det/elim_steps.h"
#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "det/poly_det.h"
#include "det/poly_det_impl.h"
#include "det/prime_switch.h"
#include "gcd/flat_modgcd.h"
#include "interp/settings.h"
#include "matrix/measures.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/from_terms.h"
#include "poly/polyvars.h"
#include "quoly/change_mod.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using namespace polydet;
using quoly_detail::lone_number;
using Monomial = std::vector<int32_t>;

// Calls of the integer method under way: the small-modulus road back to
// it would only go round in circles.
int32_t integer_method_depth = 0;

// The combined answer A (coefficients 0 .. M - 1) in mixed radix: per
// monomial the digits t_1 .. t_k, A = t_1 + p_1 (t_2 + p_2 (t_3 + ...)).
struct Combined {
    std::vector<uint32_t> primes;
    std::vector<uint32_t> half;     // the digits of (M - 1) / 2
    std::map<Monomial, std::vector<uint32_t>> digits;

    // A > M/2 for these digits: the coefficient is negative.
    bool negative(const std::vector<uint32_t>& t) const {
        for (size_t j = t.size(); j-- > 0;)
            if (t[j] != half[j]) return t[j] > half[j];
        return false;
    }
    void compute_half() {
        half.assign(primes.size(), 0);
        uint64_t r = 0;
        for (size_t j = primes.size(); j-- > 0;) {
            const uint64_t v = r * primes[j] + (primes[j] - 1);
            half[j] = static_cast<uint32_t>(v / 2);
            r = v % 2;
        }
    }
    // prefix[j] = p_1 .. p_j modulo the current modulus (prefix[0] = 1).
    std::vector<uint32_t> prefixes() const {
        std::vector<uint32_t> pre(primes.size() + 1, 1);
        for (size_t j = 0; j < primes.size(); j++)
            pre[j + 1] = rmul(pre[j], static_cast<uint32_t>(primes[j] % static_cast<uint32_t>(modulus)));
        return pre;
    }
    // The coefficient of these digits modulo the current modulus, in the
    // symmetric range's sense (M subtracted from a negative one).
    uint32_t residue(const std::vector<uint32_t>& t, const std::vector<uint32_t>& pre) const {
        uint32_t a = 0;
        for (size_t j = 0; j < t.size(); j++) a = radd(a, rmul(t[j] % static_cast<uint32_t>(modulus), pre[j]));
        if (negative(t)) a = rsub(a, pre[t.size()]);
        return a;
    }
};

// The image modulo the current prime: the monomials' residues.
using Image = std::map<Monomial, uint32_t>;

// Folds the image into the combined answer; true when the answer in the
// symmetric range is the same as before (`equivalent`).
bool combine(Combined& A, const Image& img, uint32_t p) {
    const std::vector<uint32_t> pre = A.prefixes();   // modulo p: the ring is p now
    const uint32_t Minv = rinv(pre[A.primes.size()]);
    const size_t k = A.primes.size();
    bool same = true;
    auto fold = [&](std::vector<uint32_t>& t, uint32_t d) {
        uint32_t a = 0;
        for (size_t j = 0; j < k; j++) a = radd(a, rmul(t[j], pre[j]));
        const uint32_t digit = rmul(rsub(d, a), Minv);
        const bool neg = k > 0 && A.negative(t);
        if (!((digit == 0 && !neg) || (digit == p - 1 && neg))) same = false;
        t.push_back(digit);
    };
    for (auto& [mono, t] : A.digits) {
        auto it = img.find(mono);
        fold(t, it == img.end() ? 0 : it->second);
    }
    for (const auto& [mono, d] : img) {
        if (A.digits.count(mono)) continue;
        std::vector<uint32_t> t(k, 0);
        fold(t, d);
        A.digits.emplace(mono, std::move(t));
    }
    A.primes.push_back(p);
    A.compute_half();
    return same;
}

// The combined answer as integers in the symmetric range
// (`construct_answer`), into the empty slot *q.
void construct_answer(const Combined& A, int32_t nvars, quoly** q) {
    std::vector<int32_t> exps;
    std::vector<imag*> numbers;
    const size_t k = A.primes.size();
    std::vector<uint64_t> M(1, 1);
    auto times_add = [](std::vector<uint64_t>& w, uint64_t m, uint64_t a) {
        unsigned __int128 carry = a;
        for (uint64_t& x : w) {
            const unsigned __int128 v = static_cast<unsigned __int128>(x) * m + carry;
            x = static_cast<uint64_t>(v);
            carry = v >> 64;
        }
        if (carry) w.push_back(static_cast<uint64_t>(carry));
    };
    for (size_t j = 0; j < k; j++) times_add(M, A.primes[j], 0);
    // Decreasing order of the monomials, as poly_from_terms wants them.
    for (auto it = A.digits.rbegin(); it != A.digits.rend(); ++it) {
        const std::vector<uint32_t>& t = it->second;
        if (std::all_of(t.begin(), t.end(), [](uint32_t d) { return d == 0; })) continue;
        std::vector<uint64_t> c(1, t[k - 1]);
        for (size_t j = k - 1; j-- > 0;) times_add(c, A.primes[j], t[j]);
        int sign = 1;
        if (A.negative(t)) {
            // M - c, c < M.
            std::vector<uint64_t> r(M.size(), 0);
            c.resize(M.size(), 0);
            unsigned __int128 borrow = 0;
            for (size_t i = 0; i < M.size(); i++) {
                const unsigned __int128 sub = static_cast<unsigned __int128>(c[i]) + borrow;
                r[i] = static_cast<uint64_t>(static_cast<unsigned __int128>(M[i]) - sub);
                borrow = static_cast<unsigned __int128>(M[i]) < sub ? 1 : 0;
            }
            c = r;
            sign = -1;
        }
        exps.insert(exps.end(), it->first.begin(), it->first.end());
        numbers.push_back(words_number(c.data(), static_cast<int32_t>(c.size()), sign));
    }
    if (numbers.empty()) {
        quoly_set(0, q);
        return;
    }
    polynode* p = poly_from_terms(exps.data(), numbers.size(), nvars,
                                  [&](size_t i) { return new_number_node(numbers[i]); });
    use_up_poly(&p, q);
}

// det(A(x)) = answer(x) * factor(x) at a random point modulo a random
// prime the loop did not use: one determinant of a number matrix.
bool check_at_random_point(const Combined& A, quoly** cells, int32_t n, polynode* factor) {
    int32_t q;
    if (lrgpme)
        q = lrgpme[rand_integer3() % LRGPME_COUNT];
    else if (big_prime)
        q = big_prime[rand_integer3() % BIG_PRIME_COUNT];
    else
        q = small_prime[SMALL_PRIME_COUNT - 1 - rand_integer3() % 200];
    const int saved_command_int = command_int;
    struct CommandInt {
        int s;
        ~CommandInt() { command_int = s; }
    } restore{saved_command_int};
    command_int = command_int && danger_ok;
    RingStateGuard ring;
    install_modulus(q);
    mod_is_prime = 1;
    modularmode = 1;
    lintmode = 1;
    const int32_t nvars = number_polys;
    std::vector<uint32_t> xs(static_cast<size_t>(nvars) + 1, 0);
    for (auto& x : xs)
        x = static_cast<uint32_t>((int64_t{rand_integer3()} * 48871 + rand_integer3()) % q);
    auto at = [&](quoly* c) -> uint32_t {
        if (c->isnum) return static_cast<uint32_t>(chain_residue(c->nnum, q));
        return residue_at(c->pnum, 1, xs.data(), true);
    };
    std::vector<uint32_t> a(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++) a[static_cast<size_t>(i) * n + j] = at(cells[int64_t{j} * n + i]);
    const uint32_t det = static_cast<uint32_t>(eliminate_mod(a, n, 1));
    const std::vector<uint32_t> pre = A.prefixes();
    uint32_t value = 0;
    for (const auto& [mono, t] : A.digits) {
        uint32_t term = A.residue(t, pre);
        for (int32_t l = 0; l < nvars; l++) term = rmul(term, rpow(xs[l], mono[l]));
        value = radd(value, term);
    }
    if (factor) value = rmul(value, residue_at(factor, 1, xs.data(), true));
    return value == det;
}

// The degree of the image in the variable of level depth; -1 for zero.
int32_t image_degree(const Image& img, int32_t depth) {
    int32_t d = -1;
    for (const auto& [mono, c] : img) d = std::max(d, mono[static_cast<size_t>(depth) - 1]);
    return d;
}

int32_t factor_degree(polynode* f, int32_t depth) {
    if (!f || lone_number(f)) return 0;
    const polynode* p = f;
    for (int32_t level = 1; level < depth && !p->numb; level++) p = p->pcoef;
    return p->numb ? 0 : p->exp;
}

int by_primes(quoly** cells, int32_t depth, int32_t n, quoly** result, int laurent_on, polynode* factor,
              int32_t degree) {
    if (field_depth > 0 && field_depth <= depth) return 0;
    // The field case wants the auxiliary primes: not taken.
    if (doing_polymod_field()) return 0;
    if (laurent_on && refuse_negative_exponents(cells, n)) return 0;
    struct Active {
        Active() { integer_method_depth++; }
        ~Active() { integer_method_depth--; }
    } active;

    const int32_t nvars = number_polys;
    const int64_t count = int64_t{n} * n;
    int32_t index = 6 + rand_integer3() % 4;
    bool first_phase = true;
    if (verbose) dumpitt("LaGrange interpolation over Z, rows ", n, 1, 0, 1);
    dumpitt_level++;
    struct Level {
        ~Level() { decr_dumpitt(1, 1, 1); }
    } level;

    Combined A;
    int32_t used = 0;
    int32_t bound = degree;
    // Degree learning: the first image's degree; learning stops at -2.
    int32_t d1 = degree >= 0 ? -2 : -1;
    const int32_t fdeg = factor_degree(factor, depth);
    for (;;) {
        poll_interrupt();
        const int32_t p = first_phase ? prime[index - 1]->value : med_prime[index - 1];
        Image img;
        int r = 0;
        bool factor_vanishes = false;
        {
            polynode* f = factor;
            PrimeSwitch sw(p, cells, count, &f, !windy);
            if (sw.outer_verbose())
                dumpitt("Modular Determinant method. Now in modular mode, modulus ", p, 1, 0, 1);
            if (factor && !f) {
                factor_vanishes = true;
            } else {
                quoly* d = nullptr;
                quoly_set(1, &d);
                QuolyOwner det(d);
                r = mod_poly_determ(cells, depth, n, &det.q, 0, f, bound);
                if (r && !quoly_iszero(det.q)) {
                    if (det.q->isnum) {
                        img[Monomial(static_cast<size_t>(nvars), 0)] = static_cast<uint32_t>(det.q->nnum->value);
                    } else {
                        flatgcd::FlatPoly fp;
                        if (det.q->den || !flatten_residues(det.q->pnum, polynames, &fp)) {
                            r = 0;
                        } else {
                            for (size_t t = 0; t < fp.terms(); t++)
                                img[Monomial(fp.exp(t), fp.exp(t) + nvars)] = fp.coefs[t];
                        }
                    }
                }
            }
        }
        if (!factor_vanishes) {
            if (!r) {
                if (verbose) dumpitt("Modular determinant method abandoned. ", p, 1, 0, 1);
                return 0;
            }
            used++;
            if (verbose) {
                dumpitt("Number of primes used: ", used, 1, 0, 0);
                if (bound >= 0) dumpitt(" Degree estimate: ", bound, 0, 0, 0);
            }
            const int32_t dimg = image_degree(img, depth);
            if (d1 == -1) {
                d1 = dimg;
                if (d1 < 0) d1 = -2;
            } else if (d1 >= 0) {
                // The learned bound is for the determinant itself: the
                // modular method takes the factor's degree off again.
                if (dimg == d1 && d1 > 2) bound = d1 + 1 + fdeg;
                d1 = -2;
            }
            bool same;
            {
                RingStateGuard ring;
                install_modulus(p);
                mod_is_prime = 1;
                same = combine(A, img, static_cast<uint32_t>(p));
            }
            if (same) {
                if (check_at_random_point(A, cells, n, factor)) break;
                // Wrong: perhaps a learned bound cut the images short. Start
                // again on the primes still to come, estimating every time.
                A = Combined{};
                bound = degree;
                d1 = -2;
            }
        }
        index++;
        if (index % 10 == 0) index += rand_integer3() % 3;
        if (first_phase && index > PRIME_COUNT) {
            first_phase = false;
            index = 1285 + rand_integer3() % 5;
        } else if (!first_phase && index > MED_PRIME_COUNT) {
            return 0;
        }
    }
    free_quoly(result);
    construct_answer(A, nvars, result);
    return 1;
}

}  // namespace

int rat_poly_determ(quoly** cells, int32_t depth, int32_t n, quoly** result, int laurent_on, polynode* factor,
                    int32_t degree) {
    return by_primes(cells, depth, n, result, laurent_on, factor, degree);
}

int use_rat_poly_det(quoly** cells, int32_t depth, int32_t n, quoly** result) {
    if (finf) return 0;
    // Inside the integer method, or with mod-out relations the integers
    // would not carry: the hub eliminates.
    if (integer_method_depth > 0 || pseudo_polynames) return 0;
    const int64_t count = int64_t{n} * n;
    quoly* r = nullptr;
    int ok = 0;
    {
        RingStateGuard ring;
        // The copies are read as integers 0 .. p - 1 (or the symmetric
        // range); the caller's cells stay as they are.
        WorkCopy copy(cells, count, "Det");
        for (int64_t c = 0; c < count; c++) quoly_change_from_mod(copy.cells[c]);
        modularmode = 0;
        lintmode = 0;
        quoly_set(1, &r);
        try {
            ok = rat_poly_determ(copy.cells, depth, n, &r, 0, nullptr, -1);
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
