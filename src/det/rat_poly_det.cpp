// The determinant of a dense integer polynomial matrix: images modulo the
// primes of the tables by the modular method, combined by Chinese
// remaindering in mixed-radix form until a prime changes nothing, the
// answer then checked at a random point modulo a prime not used.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "det/crt_answer.h"
#include "det/det_state.h"
#include "det/elim_steps.h"
#include "det/field_poly_det.h"
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

// Calls of the integer method under way: the small-modulus road back to
// it would only go round in circles.
int32_t integer_method_depth = 0;

// det(A(x)) = answer(x) * factor(x) at a random point modulo a random
// prime the loop did not use: one determinant of a number matrix.
bool check_at_random_point(const CrtAnswer& A, quoly** cells, int32_t n, polynode* factor) {
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
    uint32_t value = crt_value_at(A, xs, nvars, 1);
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
    // Over an extension field only the first auxiliary primes keep the
    // images in a field.
    std::optional<AuxPrimeSequence> aux;
    if (doing_polymod_field()) {
        aux.emplace();
        if (aux->empty()) return 0;
    }
    if (laurent_on && refuse_negative_exponents(cells, n)) return 0;
    struct Active {
        Active() { integer_method_depth++; }
        ~Active() { integer_method_depth--; }
    } active;

    const int32_t nvars = number_polys;
    const int64_t count = int64_t{n} * n;
    int32_t index = aux ? 0 : 6 + rand_integer3() % 4;
    std::set<int32_t> primes_used;
    bool first_phase = true;
    if (verbose) dumpitt("LaGrange interpolation over Z, rows ", n, 1, 0, 1);
    dumpitt_level++;
    struct Level {
        ~Level() { decr_dumpitt(1, 1, 1); }
    } level;

    CrtAnswer A;
    int32_t used = 0;
    int32_t bound = degree;
    // Degree learning: the first image's degree; learning stops at -2.
    int32_t d1 = degree >= 0 ? -2 : -1;
    const int32_t fdeg = factor_degree(factor, depth);
    for (;;) {
        poll_interrupt();
        if (aux && aux->exhausted()) return 0;
        const int32_t p = aux ? aux->current() : first_phase ? prime[index - 1]->value : med_prime[index - 1];
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
            primes_used.insert(p);
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
                same = crt_fold(A, img, static_cast<uint32_t>(p));
            }
            if (same) {
                if (!aux) {
                    if (check_at_random_point(A, cells, n, factor)) break;
                } else {
                    const int verdict = field_answer_check(A, cells, n, factor, primes_used);
                    if (verdict < 0) return 0;
                    if (verdict) break;
                }
                // Wrong: perhaps a learned bound cut the images short. Start
                // again on the primes still to come, estimating every time.
                A = CrtAnswer{};
                bound = degree;
                d1 = -2;
            }
        }
        if (aux) {
            aux->advance();
            continue;
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
    construct_answer_1(A, nvars, result);
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
