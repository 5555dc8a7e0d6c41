// The modular gcd over the integers (Brown's method with Garner's
// reconstruction) and the driver steps that bracket it with the gcd stash.
//
// Images are compared by their lexicographic leading monomial (the first
// terms followed down to the number): an image whose prime divides neither
// leading number is a multiple of the true gcd's image, so a larger leading
// monomial marks an unlucky prime and a smaller one proves every earlier
// prime unlucky. Reconstructions are kept with coefficients in 0 .. M - 1
// and read in the symmetric range only when two of them are compared.
#include "gcd/modgcd.h"
#include "gcd/interp_gcd.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "gcd/aux_source.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_state.h"
#include "gcd/field_divides.h"
#include "gcd/flat_modgcd.h"
#include "gcd/gcdstash.h"
#include "gcd/modswitch.h"
#include "gcd/polydiv.h"
#include "gcd/polygcd.h"
#include "gcd/rational_lift.h"
#include "gcd/split_images.h"
#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/random.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/coefops.h"
#include "poly/levels.h"
#include "poly/from_terms.h"
#include "poly/masses.h"
#include "poly/measures.h"
#include "poly/method_tests.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "toplevel/errors.h"
#include "toplevel/set_aside.h"

int32_t gcd_stash_cutoff = 200;
int32_t flat_first_cutoff = 200;

using gcd_impl::is_number;
using gcd_impl::top_degree;

namespace {

// The split road gives up after this many images (some 31 bits each), or
// when this many word primes have been looked at: a tower splits modulo a
// share of the primes that is one over the order of its Galois group.
constexpr int32_t SPLIT_PRIMES_USED = 400;
constexpr int32_t SPLIT_PRIMES_SCANNED = 40000;
// Where the first auxiliary primes' road is there too, the split road is
// given up for a set of levels once root tests of about this much work
// (the square of the field's degree each) have met no split prime.
constexpr int64_t SPLIT_SCAN_WORK = 4096;

// Root tests without a split prime after which the split road is given up
// for the levels: every word prime it may look at where it is the only
// road; otherwise about a fixed amount of work, so that t^2 + 1, split by
// every other prime, may look at a thousand and a relation of degree 36,
// which most likely splits modulo none, at one.
int64_t misses_allowed(const std::vector<pt*>& levels, bool other_road) {
    if (!other_road) return SPLIT_PRIMES_SCANNED;
    int64_t degree = 1;
    for (const pt* r : levels) degree = std::min<int64_t>(degree * r->modout_degree, SPLIT_SCAN_WORK);
    return std::max<int64_t>(1, SPLIT_SCAN_WORK / (degree * degree));
}

// The root tests of one gcd, added to the levels' record however it ends.
struct ScanTally {
    const std::vector<pt*>& levels;
    SplitScan before;
    int64_t scanned = 0, split = 0;
    explicit ScanTally(const std::vector<pt*>& l) : levels(l), before(split_scan_of(l)) {}
    ~ScanTally() {
        SplitScan& r = split_scan_of(levels);
        r.scanned += scanned;
        r.split += split;
    }
    bool worth(bool other_road) const {
        return before.split + split > 0 || before.scanned + scanned < misses_allowed(levels, other_road);
    }
    ScanTally(const ScanTally&) = delete;
    ScanTally& operator=(const ScanTally&) = delete;
};

// Owns numbers and polynomials for the length of a computation, errors
// included.
struct Num {
    imag* n = new_number();
    Num() = default;
    explicit Num(int32_t v) { setvalue(v, n); }
    ~Num() {
        if (n) free_imag(&n);
    }
    Num(const Num&) = delete;
    Num& operator=(const Num&) = delete;
};

struct PolyList {
    std::vector<polynode*> items;
    PolyList() = default;
    ~PolyList() { clear(); }
    PolyList(const PolyList&) = delete;
    PolyList& operator=(const PolyList&) = delete;
    void clear() {
        for (polynode*& q : items) free_poly(&q);
        items.clear();
    }
};

// Integer arithmetic on digit chains while the method runs, whatever mode
// the caller was in. A level opened by an interrupt meanwhile reduces (and
// saves) as the user's switch says.
struct PosModOn : SetAside {
    int saved = pos_mod;
    PosModOn() { pos_mod = 1; }
    ~PosModOn() { pos_mod = saved; }
    void put_back() override { std::swap(pos_mod, saved); }
};

struct SymmetricDisplay {
    int saved = alt_form_display;
    SymmetricDisplay() { alt_form_display = 1; }
    ~SymmetricDisplay() { alt_form_display = saved; }
    SymmetricDisplay(const SymmetricDisplay&) = delete;
    SymmetricDisplay& operator=(const SymmetricDisplay&) = delete;
};

bool is_zero_poly(polynode* p) { return !p || poly_iszero(p); }

imag* leading_number(polynode* p) {
    while (!p->numb) p = p->pcoef;
    return p->ncoef;
}

// The exponents met following the first terms down to the number.
std::vector<int32_t> leading_monomial(polynode* p) {
    std::vector<int32_t> e;
    if (!p) return e;
    while (!p->numb) {
        e.push_back(p->exp);
        p = p->pcoef;
    }
    return e;
}

// -1, 0, 1 as a < b, a = b, a > b lexicographically (missing exponents 0).
int compare_monomials(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
    size_t n = a.size() > b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; i++) {
        int32_t x = i < a.size() ? a[i] : 0;
        int32_t y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// The prime of one-based index i: the main table, then the big primes.
int32_t prime_at(int32_t i) {
    if (i <= PRIME_COUNT) return prime[i - 1]->value;
    return big_prime[i - PRIME_COUNT - 1];
}

// n odd, 3 <= n < 2^31: the strong probable-prime test to the bases 2, 7
// and 61, which no composite below 4,759,123,141 passes. Trial division
// would cost milliseconds per prime at this size.
bool word_is_prime(uint32_t n) {
    auto mulmod = [n](uint64_t a, uint64_t b) { return a * b % n; };
    uint32_t d = n - 1;
    int s = 0;
    while (!(d & 1)) {
        d >>= 1;
        s++;
    }
    for (uint32_t a : {2u, 7u, 61u}) {
        if (a % n == 0) continue;
        uint64_t x = 1, b = a % n;
        for (uint32_t e = d; e; e >>= 1, b = mulmod(b, b))
            if (e & 1) x = mulmod(x, b);
        if (x == 1 || x == n - 1) continue;
        bool composite = true;
        for (int r = 1; r < s && composite; r++) {
            x = mulmod(x, x);
            if (x == n - 1) composite = false;
        }
        if (composite) return false;
    }
    return true;
}

// The flat routine will compute every image (several variables, no field
// elements or relations): its primes can be word-sized.
bool flat_images(polynode* u, polynode* v, pt* var) {
    if (!var || !var->next || field_depth != 0 || laurent || relation_inward(var)) return false;
    // The flat routine leaves long one-variable gcds to the half-gcd.
    for (pt* r = var; r; r = r->next) {
        int32_t d = -1;
        max_degree(u, r->level - var->level + 1, &d);
        max_degree(v, r->level - var->level + 1, &d);
        if (d > 2000) return false;
    }
    return true;
}

// A new polynomial: p with every coefficient c above half replaced by c - m.
polynode* symmetric_copy(polynode* p, imag* m, imag* half) {
    polynode* q = nullptr;
    poly_assign(p, &q);
    struct Walk {
        imag* m;
        imag* half;
        void run(polynode* t) {
            for (; t; t = t->next) {
                if (!t->numb)
                    run(t->pcoef);
                else if (bigger(t->ncoef, half))
                    sub(t->ncoef, m, t->ncoef);
            }
        }
    } walk{m, half};
    walk.run(q);
    return q;
}

// in place. p divided by its integer content, leading number made positive.
void make_primitive(polynode* p) {
    Num c;
    find_gcdcoefs(p, c.n);
    num_poly_quot(p, c.n, 0);
    if (neg_leading_term(p)) poly_inplace(p);
}

// Every coefficient of p (digit numbers) is below bound in absolute value.
bool coefficients_below(const polynode* p, int32_t bound) {
    for (; p; p = p->next) {
        if (!p->numb) {
            if (!coefficients_below(p->pcoef, bound)) return false;
        } else if (p->ncoef->count > 1 || (p->ncoef->head && std::abs(p->ncoef->head->digit) >= bound)) {
            return false;
        }
    }
    return true;
}

// likely: the candidate is probably right, and the flat division decides
// first; otherwise the evaluation pre-tests reject the usual wrong
// candidate before any division.
bool divides_both(polynode* u, polynode* v, polynode* cand, pt* var, bool likely) {
    if (likely) return candidate_divides(u, cand, var) && candidate_divides(v, cand, var);
    return trial_poly_divide_noq(u, cand, var, 1, 0, 0) == 1 && trial_poly_divide_noq(v, cand, var, 1, 0, 0) == 1;
}

int32_t inverse_mod_prime(int32_t w, int32_t p) {
    int32_t g = w, s = 0, t = 0;
    egcd_ints(&g, p, &s, &t);
    if (g != 1) {
        if (quiet_inverse_failures > 0) throw TarvexUnwind(85, quotsign);
        std::printf("bad2: %li\n", static_cast<long>(w));
        std::fflush(stdout);
        error(85, quotsign);
        abandon_statement();
    }
    int64_t r = s % p;
    return static_cast<int32_t>(r < 0 ? r + p : r);
}

// The integer polynomial of g's terms (residues modulo p) times `times`,
// in the symmetric range of p.
polynode* symmetric_from_flat(const flatgcd::FlatPoly& g, int32_t p, uint32_t times) {
    const flatgcd::Field F(static_cast<uint32_t>(p));
    return poly_from_terms(g.exps.data(), g.terms(), g.nvars, [&](size_t i) {
        const uint32_t c = times == 1 ? g.coefs[i] : F.mul(g.coefs[i], times);
        polynode* n = nullptr;
        poly_set(c > static_cast<uint32_t>(p) / 2 ? static_cast<int32_t>(c) - p : static_cast<int32_t>(c), &n);
        return n;
    });
}

// The image gcd(u mod p, v mod p), its leading number made gamma_p, as an
// integer polynomial in the symmetric range of p; null when the prime is
// unusable (an operand's degree or leading number vanishes).
// `support` (may be null): the terms of an earlier prime's image; the
// image is first solved for on that support alone, and an empty one is
// filled from this image, *support_work with the work it took.
polynode* modular_image(polynode* u, polynode* v, int32_t p, int32_t gamma_p, pt* var,
                        std::vector<int32_t>* lead, flatgcd::FlatPoly* support, int64_t* support_work,
                        bool flat_only, bool* declined) {
    if (chain_residue(leading_number(u), p) == 0 || chain_residue(leading_number(v), p) == 0) return nullptr;
    const int32_t du = top_degree(u), dv = top_degree(v);
    PolyHold img;
    // Several variables: the flat routine reads the residues straight off
    // the integers, and its monic answer, times gamma_p, is written back in
    // the symmetric range; no conversion either way. Later primes try the
    // first image's support first.
    if (var->next) {
        flatgcd::FlatPoly g;
        int64_t spent = 0;
        bool done = support && support->terms() > 0 &&
                    flat_integer_image(u, v, p, var, support, *support_work, &g, nullptr);
        if (!done) done = flat_integer_image(u, v, p, var, nullptr, 0, &g, &spent);
        if (done) {
            if (support && support->terms() == 0) {
                *support = g;
                *support_work = spent;
            }
            img.reset(symmetric_from_flat(g, p, static_cast<uint32_t>(gamma_p)));
            *lead = leading_monomial(img.p);
            return img.release();
        }
        if (flat_only) {
            *declined = true;
            return nullptr;
        }
    }
    {
        ModularSwitch sw;
        sw.set_prime(p);
        polynode *iu = u, *iv = v;
        sw.convert(&iu);
        sw.convert(&iv);
        sw.convert_variables();
        if (!iu || !iv || top_degree(iu) != du || top_degree(iv) != dv) return nullptr;
        sw.begin_arithmetic();
        // Stashing off inside: images must not meet the integer entries.
        lookupgcd = -1000;
        const int saved_checked = images_checked_later;
        images_checked_later = 1;
        try {
            // Several variables: the flat routine, declined above, once more
            // at other points (the answer is proved over Z at the end all the
            // same); the driver takes what it declines.
            if (!var->next || !flat_mod_gcd(iu, iv, &img.p, var)) polygcd(iu, iv, &img.p, 0, 1, 0, var, 1, 1, 0);
        } catch (...) {
            images_checked_later = saved_checked;
            throw;
        }
        images_checked_later = saved_checked;
        int32_t inv = 0;
        mod_inverse(leading_number(img.p)->value, &inv);
        int32_t f = static_cast<int32_t>(static_cast<int64_t>(inv) * gamma_p % p);
        if (f != 1) mod_num_poly_mult(img.p, f);
        *lead = leading_monomial(img.p);
        modularmode = 0;
        lintmode = 0;
        SymmetricDisplay sym;
        poly_change_from_mod(img.p);
    }
    return img.release();
}

// The image modulo the prime of R where the tower splits, as modular_image
// gives it over a field modulo a first auxiliary prime: monic in the field,
// integer coefficients in the symmetric range. Null when the prime is
// unusable; *declined when no prime will do.
polynode* split_modular_image(polynode* u, polynode* v, pt* var, const SplitRoots& R, std::vector<int32_t>* lead,
                              bool* declined) {
    flatgcd::FlatPoly g;
    const SplitOutcome o = split_image(u, v, var, R, &g);
    if (o == SplitOutcome::declined) *declined = true;
    if (o != SplitOutcome::ok) return nullptr;
    PolyHold img(symmetric_from_flat(g, static_cast<int32_t>(R.q), 1));
    *lead = leading_monomial(img.p);
    return img.release();
}

// The fractions read off the accumulated field image G (modulo M) are
// tried as the gcd when they sit well inside the bounds of the reading, or
// when the previous prime gave the same; true with the proved candidate in
// *result. A candidate that failed once is not divided again.
bool field_candidate(polynode* u, polynode* v, polynode* G, imag* M, pt* var, PolyHold* last, PolyHold* refuted,
                     polynode** result) {
    int32_t bits = 0;
    PolyHold cand(rational_lift(G, M, &bits));
    if (cand.p) {
        const bool settled = 2 * bits + 16 < logg2(M);
        const bool repeated = last->p && poly_equal(cand.p, last->p);
        if ((settled || repeated) && !(refuted->p && poly_equal(cand.p, refuted->p))) {
            if (is_number(cand.p) || (field_divides(u, cand.p, var) && field_divides(v, cand.p, var))) {
                if (is_number(cand.p)) poly_set(1, &cand.p);
                *result = cand.release();
                return true;
            }
            refuted->reset(nullptr);
            poly_assign(cand.p, &refuted->p);
        }
    }
    last->reset(cand.release());
    return false;
}

}  // namespace

// Found once and kept. One image modulo such a prime carries as much as
// two modulo the table's primes.
int32_t word_prime_at(int32_t i) {
    static std::vector<int32_t> found;
    while (found.size() < static_cast<size_t>(i)) {
        int32_t c = found.empty() ? 2147483647 : found.back() - 2;
        while (!word_is_prime(static_cast<uint32_t>(c))) c -= 2;
        found.push_back(c);
    }
    return found[static_cast<size_t>(i) - 1];
}

// ---------------------------------------------------------------- reconstruction

polynode* Chinese(const std::vector<polynode*>& coefficients, polynode* P, const std::vector<int32_t>& primes,
                  pt* var) {
    if (coefficients.empty()) return nullptr;
    PosModOn pm;
    PolyHold acc;
    poly_assign(coefficients.back(), &acc.p);
    for (size_t k = coefficients.size() - 1; k-- > 0;) {
        Num q;
        setvalue(primes[k], q.n);
        if (!is_zero_poly(acc.p)) num_poly_mult(acc.p, q.n);
        PolyHold sum;
        if (is_zero_poly(acc.p))
            poly_assign(coefficients[k], &sum.p);
        else if (is_zero_poly(coefficients[k]))
            std::swap(sum.p, acc.p);
        else
            better_poly_add(acc.release(), coefficients[k], &sum.p);
        acc.reset(nullptr);
        if (!is_zero_poly(sum.p)) poly_mod_or_div(sum.p, P, &acc.p, '|', var);
    }
    if (!is_zero_poly(acc.p)) poly_mod_or_div(acc.p, P, &acc.p, '|', var);
    if (is_zero_poly(acc.p)) return nullptr;
    return acc.release();
}

polynode* mod_Chinese(const std::vector<polynode*>& coefficients, const std::vector<int32_t>& points, pt* x) {
    if (coefficients.empty()) return nullptr;
    auto lifted = [](polynode* c) {
        polynode* q = nullptr;
        polynode* r = nullptr;
        if (is_zero_poly(c)) return r;
        poly_assign(c, &q);
        make_monomial(&r, 0, q);
        return r;
    };
    PolyHold acc(lifted(coefficients.back()));
    for (size_t k = coefficients.size() - 1; k-- > 0;) {
        if (!is_zero_poly(acc.p)) {
            // x - a as a polynomial of x's level.
            int32_t a = points[k] % modulus;
            int32_t minus_a = finf ? a : (a == 0 ? 0 : modulus - a);
            Num one(1);
            PolyHold xa;
            make_monomial(&xa.p, 1, new_number_node(one.n));
            one.n = nullptr;
            if (minus_a != 0) {
                Num c(minus_a);
                xa.p->next = new_number_node(c.n);
                c.n = nullptr;
            }
            poly_mult(acc.p, xa.p, &acc.p, x);
        }
        PolyHold c(lifted(coefficients[k]));
        if (is_zero_poly(c.p)) continue;
        if (is_zero_poly(acc.p)) {
            acc.reset(c.release());
        } else {
            polynode* s = nullptr;
            poly_add(acc.p, c.p, &s);
            acc.reset(s);
        }
    }
    if (is_zero_poly(acc.p)) return nullptr;
    return acc.release();
}

void check_equivalent(polynode* a, polynode* b, int* ok, polynode** result, const equivalence_bounds& work) {
    PolyHold sa(symmetric_copy(a, work.m_a, work.half_a));
    PolyHold sb(symmetric_copy(b, work.m_b, work.half_b));
    *ok = poly_equal(sa.p, sb.p) ? 1 : 0;
    *result = sa.release();
}

// ---------------------------------------------------------------- the method

namespace {

// The method with the road over a field chosen by the caller's leave:
// allow_split lets a field take the split road even where it has first
// auxiliary primes; *took_split tells whether it did.
void mod_method(polynode* u, polynode* v, polynode** result, int* ok, pt* var, bool flat_only, bool allow_split,
                bool* took_split) {
    free_poly(result);
    *ok = 0;
    *took_split = false;
    // Field elements inside the operands: images modulo the first
    // auxiliary primes, where the tower stays a field, or modulo primes
    // where it splits.
    const bool field_elements = field_depth != 0 && !both_above_field_depth(u, v, var ? var->level : 1);
    std::vector<imag*> aux;
    // A field with no first auxiliary primes (a tower such as Q(i)(sqrt 3)
    // has none) has only the split road: images modulo word primes where
    // every relation splits. A field that has them takes it too, one
    // relation as a tower: its images modulo an auxiliary prime are gcds
    // over a field of degree the product of the relations' through the
    // general driver, which grew steeper with the degree than the flat
    // images of the split road (over Q(i), a sparse gcd of degree 240 in
    // x and y took half a minute there, a second here).
    std::vector<pt*> split_levels;
    bool split = false;
    std::optional<ScanTally> tally;
    if (field_elements) {
        if (flat_only) return;
        aux = first_aux_table();
        const bool can_split = split_field_levels(var, &split_levels);
        if (aux.empty() && !can_split) return;
        split = can_split && (aux.empty() || allow_split);
        // Levels whose scans have met no split prime take the auxiliary
        // primes' road at once, or have none.
        if (split) {
            tally.emplace(split_levels);
            if (!tally->worth(!aux.empty())) {
                if (aux.empty()) return;
                split = false;
            }
        }
        *took_split = split;
    }
    RingStateGuard ring;
    LintOff digits;
    modularmode = 0;
    PosModOn pm;

    int32_t limit = PRIME_COUNT;
    const bool big_allowed = big_prime != nullptr && !field_elements;
    const bool words = !field_elements && flat_images(u, v, var);
    if (flat_only && !words) return;
    const int32_t n_aux = static_cast<int32_t>(aux.size());
    int32_t i = split          ? 1
                : field_elements ? select_prime(u, v, n_aux - 3, 3, n_aux, aux.data())
                : words        ? 1 + rand_integer2() % 64
                               : select_prime(u, v, 530, 64, PRIME_COUNT, prime);
    // A growing list shorter than the span the start is drawn from: a
    // start past its end goes back to its first entries rather than
    // lengthening it (a few tenths of a second under a tower of degree 40,
    // for primes it already has).
    if (field_elements && !split && first_list_growing && i > n_aux) i = select_prime(u, v, n_aux - 1, 0, n_aux, aux.data());
    const int32_t start = i;
    if (words) limit = PRIME_COUNT + BIG_PRIME_COUNT;
    if (field_elements) limit = split ? SPLIT_PRIMES_USED : n_aux;
    // The split road's primes: word primes from a random place on, those
    // where the tower does not split passed over.
    int32_t scan = split ? 1 + rand_integer2() % 64 : 0;
    SplitRoots roots;

    // Over the field the images are monic and read back as fractions: the
    // monic gcd's coefficients are rational, and an integer multiple of
    // the leading numbers need not clear their denominators.
    Num gamma(1);
    if (!field_elements) binary_gcd(leading_number(u), leading_number(v), gamma.n);
    int32_t du = max_digits(u), dv = max_digits(v);
    // Numerators and denominators both must fit: the norms of the field
    // elements make them several times the operands' size.
    const int32_t bound = field_elements ? 16 * (du > dv ? du : dv) + 64 : 4 * (du > dv ? du : dv);

    std::vector<int32_t> primes;     // oldest first, as the digits
    PolyList digits_list;            // the mixed-radix digits c_k
    Num M(1), half(0);
    PolyHold G;                          // coefficients 0 .. M - 1; null = 0
    std::vector<int32_t> g_lead;     // leading monomial of the images kept
    flatgcd::FlatPoly support;       // the terms of the first image kept
    int64_t support_work = 0;        // what that image cost
    bool first = true;
    int32_t restart = i;
    PolyHold last_lift;              // field: the previous prime's fractions
    PolyHold refuted;                // field: the last candidate that did not divide

    for (;; i++) {
        poll_interrupt();
        if (i > limit) {
            if (big_allowed && limit == PRIME_COUNT) {
                limit += BIG_PRIME_COUNT;
            } else {
                // A growing list too short for even one image here (the
                // start is drawn among its first entries, which a list of
                // one or two primes may not have) is lengthened as well:
                // giving up would send the gcd to Euclid over the field.
                if (field_elements && !split && first_list_growing && (!first || i == start)) throw FirstListShort{};
                return;
            }
        }
        if (i - restart > 10 && logg2(M.n) > bound) return;
        if (split) {
            while (!split_roots(split_levels, static_cast<uint32_t>(word_prime_at(scan)), &roots)) {
                tally->scanned++;
                if (++scan > SPLIT_PRIMES_SCANNED || !tally->worth(!aux.empty())) return;
                poll_interrupt();
            }
            tally->scanned++;
            tally->split++;
            scan++;
        }
        const int32_t p = split            ? static_cast<int32_t>(roots.q)
                          : field_elements ? aux[i - 1]->value
                          : words          ? word_prime_at(i)
                                           : prime_at(i);
        const int32_t gamma_p = chain_residue(gamma.n, p);
        std::vector<int32_t> lead;
        bool declined = false;
        PolyHold image(split ? split_modular_image(u, v, var, roots, &lead, &declined)
                             : modular_image(u, v, p, gamma_p, var, &lead, words ? &support : nullptr,
                                             &support_work, flat_only, &declined));
        if (declined) return;
        if (!image.p) continue;

        if (!first) {
            int c = compare_monomials(lead, g_lead);
            if (c > 0) {
                if (verbose && windy)
                    std::printf(" *** Alert. spurious factor in gcd. %li, %li, %li\n", static_cast<long>(p),
                                static_cast<long>(lead.empty() ? 0 : lead[0]),
                                static_cast<long>(g_lead.empty() ? 0 : g_lead[0]));
                continue;
            }
            if (c < 0) {
                if (verbose && windy)
                    std::printf(" *** ALERT. spurious first factor in gcd. %li, %li, %li\n", static_cast<long>(p),
                                static_cast<long>(lead.empty() ? 0 : lead[0]),
                                static_cast<long>(g_lead.empty() ? 0 : g_lead[0]));
                digits_list.clear();
                primes.clear();
                setvalue(1, M.n);
                G.reset(nullptr);
                first = true;
                restart = i;
                // The earlier images were unlucky, their support with them:
                // the next image gives it anew.
                support = flatgcd::FlatPoly{};
                last_lift.reset(nullptr);
                refuted.reset(nullptr);
            }
        }
        if (first && field_elements && is_number(image.p)) {
            poly_set(1, result);
            *ok = 1;
            return;
        }
        if (first) {
            g_lead = lead;
            // Small gcds are usually exact in one image already.
            if (!field_elements && 2 * static_cast<int64_t>(gamma_p) < p) {
                PolyHold cand;
                poly_assign(image.p, &cand.p);
                if (gamma_p != 1 || !is_number(cand.p)) make_primitive(cand.p);
                if (is_number(cand.p)) {
                    poly_set(1, result);
                    *ok = 1;
                    return;
                }
                // One image is the gcd when its coefficients stay well
                // inside the symmetric range of p; near its ends it is
                // usually the image of larger ones.
                if (divides_both(u, v, cand.p, var, coefficients_below(cand.p, p >> 8))) {
                    *result = cand.release();
                    *ok = 1;
                    return;
                }
            }
        }

        // Garner step: the digit of p makes G + M c agree with the image mod p.
        Num pn(p);
        PolyHold P;
        poly_set(p, &P.p);
        PolyHold pos;
        poly_mod_or_div(image.p, P.p, &pos.p, '|', var);
        PolyHold r(Chinese(digits_list.items, P.p, primes, var));
        PolyHold diff;
        if (is_zero_poly(r.p))
            std::swap(diff.p, pos.p);
        else if (is_zero_poly(pos.p))
            poly_makeneg(r.p, &diff.p);
        else
            poly_sub(pos.p, r.p, &diff.p);
        int64_t w = 1;
        for (int32_t q : primes) w = w * (q % p) % p;
        const int32_t winv = inverse_mod_prime(static_cast<int32_t>(w), p);
        PolyHold c;
        if (!is_zero_poly(diff.p)) {
            Num wi(winv);
            num_poly_mult(diff.p, wi.n);
            poly_mod_or_div(diff.p, P.p, &c.p, '|', var);
            if (is_zero_poly(c.p)) c.reset(nullptr);
        }
        PolyHold g_new;
        if (c.p) {
            PolyHold mc;
            poly_assign(c.p, &mc.p);
            num_poly_mult(mc.p, M.n);
            if (G.p)
                poly_add(G.p, mc.p, &g_new.p);
            else
                std::swap(g_new.p, mc.p);
        } else {
            poly_assign(G.p, &g_new.p);
        }
        digits_list.items.push_back(c.release());
        primes.push_back(p);
        Num m_old;
        num_assign(M.n, m_old.n);
        Num half_old;
        num_assign(half.n, half_old.n);
        multiply(M.n, pn.n, M.n);
        {
            Num two(2), rem;
            pos_divide(M.n, two.n, half.n, rem.n);
        }

        if (field_elements) {
            if (field_candidate(u, v, g_new.p, M.n, var, &last_lift, &refuted, result)) {
                *ok = 1;
                return;
            }
            G.reset(g_new.release());
            first = false;
            continue;
        }
        // A reconstruction whose coefficients sit far inside the symmetric
        // range is usually final already, as a single image is: it is tried
        // at once (by the division, as every candidate) instead of after
        // one more prime that would only repeat it.
        bool tried_early = false;
        if (!first && g_new.p && bigger(M.n, gamma.n)) {
            PolyHold early(symmetric_copy(g_new.p, M.n, half.n));
            if (!is_zero_poly(early.p) && max_digits(early.p) + 16 < logg2(M.n)) {
                tried_early = true;
                make_primitive(early.p);
                if (!is_number(early.p) && divides_both(u, v, early.p, var, true)) {
                    *result = early.release();
                    *ok = 1;
                    return;
                }
            }
        }
        // Two reconstructions that agree in the symmetric range give the
        // candidate; it is the gcd only if it divides both operands.
        if (!first && !tried_early && G.p && g_new.p && leading_monomial(g_new.p) == leading_monomial(G.p) &&
            bigger(m_old.n, gamma.n)) {
            int same = 0;
            PolyHold trial;
            equivalence_bounds bounds{M.n, half.n, m_old.n, half_old.n};
            check_equivalent(g_new.p, G.p, &same, &trial.p, bounds);
            if (same) {
                if (is_zero_poly(trial.p)) tarvex_error(" Basic mod method. r is nil.", 1);
                make_primitive(trial.p);
                if (is_number(trial.p) || divides_both(u, v, trial.p, var, true)) {
                    if (is_number(trial.p)) poly_set(1, &trial.p);
                    *result = trial.release();
                    *ok = 1;
                    return;
                }
            }
        }
        G.reset(g_new.release());
        first = false;
    }
}

}  // namespace

void basic_mod_method(polynode* u, polynode* v, polynode** result, int* ok, pt* var, bool flat_only) {
    bool took_split = false;
    mod_method(u, v, result, ok, var, flat_only, true, &took_split);
    // The split road declined or gave up on a tower that has first
    // auxiliary primes: their road still may answer.
    if (!*ok && took_split && !first_aux_table().empty())
        mod_method(u, v, result, ok, var, flat_only, false, &took_split);
}

// ---------------------------------------------------------------- driver steps

namespace gcd_impl {

namespace {

struct PairSize {
    int32_t n_u, n_v, n;
    bool balanced;
};

PairSize pair_size(gcd_state* st) {
    int32_t level = (*st->vars)->level;
    int64_t s = 0;
    PairSize z{};
    z.n_u = expon_node_total(*st->u, level, 1, &s);
    z.n_v = expon_node_total(*st->v, level, 1, &s);
    z.n = z.n_u + z.n_v;
    z.balanced = z.n_v / 20 <= z.n_u && z.n_u / 20 <= z.n_v;
    return z;
}

// Operands negated for the stash lookup are negated back when the step
// unwinds or hands the pair on.
struct SignUndo {
    gcd_state* st;
    bool armed = true;
    explicit SignUndo(gcd_state* s) : st(s) {}
    ~SignUndo() {
        if (armed) undo();
    }
    SignUndo(const SignUndo&) = delete;
    SignUndo& operator=(const SignUndo&) = delete;
    void undo() {
        armed = false;
        int m1 = 0;
        if (st->sign_u && equal_to_pm1(st->sign_u, &m1) && m1 && *st->u) poly_inplace(*st->u);
        if (st->sign_v && equal_to_pm1(st->sign_v, &m1) && m1 && *st->v) poly_inplace(*st->v);
        if (st->sign_u) free_imag(&st->sign_u);
        if (st->sign_v) free_imag(&st->sign_v);
    }
};

void withdraw_pending(gcd_state* st) {
    if (!st->stash_pending) return;
    st->stash_pending = 0;
    polygcd_stack_depth -= 1;
    if (polygcd_stack_depth < 0) tarvex_error("negative polygcd_stack_depth 3", 0);
}

void open_pending(gcd_state* st) {
    polygcd_stack_depth += 1;
    st->stash_pending = 1;
}


// The method with the stash lookup around it: true when the call has
// ended.
bool run_with_stash(gcd_state* st, const PairSize& z, bool flat_only) {
    pt* vars = *st->vars;
    bool looked = false;
    SignUndo signs(st);
    if (lookupgcd > 0 && z.n > gcd_stash_cutoff && top_degree(*st->v) > 2) {
        looked = true;
        st->sign_u = new_number();
        st->sign_v = new_number();
        setvalue(1, st->sign_u);
        setvalue(1, st->sign_v);
        if (neg_leading_term(*st->u)) {
            poly_inplace(*st->u);
            setvalue(-1, st->sign_u);
        }
        if (neg_leading_term(*st->v)) {
            poly_inplace(*st->v);
            setvalue(-1, st->sign_v);
        }
        gcdhash(*st->u, *st->v, &st->stash_entry);
        if (polynode* found = stashed_gcd(st->stash_entry)) {
            free_poly(&st->answer);
            poly_assign(found, &st->answer);
            signs.armed = false;
            alternate_finish(1, st);
            return true;
        }
        if (gcdmass < initial_memory / 2) open_pending(st);
    }
    int ok = 0;
    basic_mod_method(*st->u, *st->v, &st->answer, &ok, vars, flat_only);
    if (ok) {
        signs.armed = false;
        alternate_finish(looked ? 1 : 0, st);
        return true;
    }
    // The pair goes on to the other methods with the signs it came with.
    signs.undo();
    withdraw_pending(st);
    free_poly(&st->answer);
    return false;
}

}  // namespace

bool modular_method_step(gcd_state* st, bool* tried) {
    PairSize z = pair_size(st);
    if (!(z.n > tripval && z.balanced && !lintmode &&
          do_mod_method_now(*st->u, *st->v, st->last_degree, st->seen_common)))
        return false;
    *tried = true;
    return run_with_stash(st, z, false);
}

bool flat_first_step(gcd_state* st) {
    if (*st->test_only || lintmode || modularmode || field_depth != 0) return false;
    pt* vars = *st->vars;
    PairSize z = pair_size(st);
    if (!(z.balanced && z.n > flat_first_cutoff && flat_images(*st->u, *st->v, vars))) return false;
    // The images carry the contents in every variable; only the integers'
    // is left out of the answer, and put back at the end.
    {
        PolyHold cu(integer_content(*st->u));
        int m1 = 0;
        if (!equal_to_pm1(cu.p->ncoef, &m1)) {
            PolyHold cv(integer_content(*st->v));
            imag* c = new_number();
            binary_gcd(cu.p->ncoef, cv.p->ncoef, c);
            if (equal_to_pm1(c, &m1))
                free_imag(&c);
            else
                st->content_gcd = new_number_node(c);
        }
    }
    if (run_with_stash(st, z, true)) return true;
    free_poly(&st->content_gcd);
    return false;
}

bool late_modular_method(gcd_state* st) {
    if (lintmode) return false;
    PairSize z = pair_size(st);
    if (z.n <= trial_cutoff || !do_mod_method_now(*st->u, *st->v, st->last_degree, 1)) return false;
    polynode* answer = nullptr;
    int ok = 0;
    basic_mod_method(*st->u, *st->v, &answer, &ok, *st->vars);
    if (!ok) return false;
    free_poly(st->g);
    *st->g = answer;
    finish_4(st);
    return true;
}

bool stash_lookup_step(gcd_state* st) {
    PairSize z = pair_size(st);
    if (!(lookupgcd > 0 && z.n > gcd_stash_cutoff && top_degree(*st->v) > 1 && gcdmass < initial_memory / 2))
        return false;
    polynode* u = *st->u;
    polynode* v = *st->v;
    polynode* entry = nullptr;
    if (!modularmode) {
        // The stash knows each pair once, under positive leading terms.
        bool nu = !lintmode && neg_leading_term(u);
        bool nv = !lintmode && neg_leading_term(v);
        if (nu) poly_inplace(u);
        if (nv) poly_inplace(v);
        struct Back {
            polynode* p;
            bool on;
            ~Back() {
                if (on) poly_inplace(p);
            }
        } bu{u, nu}, bv{v, nv};
        gcdhash(u, v, &entry);
    } else {
        int32_t lu = 1, lv = 1;
        monic_coefs(u, v, &lu, &lv);
        struct Back {
            polynode* p;
            int32_t c;
            ~Back() {
                if (c != 1) mod_num_poly_mult(p, c);
            }
        } bu{u, lu}, bv{v, lv};
        gcdhash(u, v, &entry);
    }
    st->stash_entry = entry;
    if (polynode* found = stashed_gcd(entry)) {
        polynode* ans = nullptr;
        poly_assign(found, &ans);
        gcd_release_operand(st, 1);
        gcd_release_operand(st, 2);
        free_poly(st->g);
        *st->g = ans;
        finish_4(st);
        return true;
    }
    open_pending(st);
    return false;
}

}  // namespace gcd_impl
