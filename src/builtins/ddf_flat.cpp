// Distinct-degree splitting over Z/p on word arrays (see ddf_flat.h).
//
// Characteristic 2 goes to the packed-word stage of ddf_bits.h. Odd
// characteristic takes baby steps and giant steps (below), so that one gcd
// covers a whole interval of degrees.
#include "builtins/ddf_flat.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "builtins/ddf_bits.h"
#include "gcd/exactdiv.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/modf_words.h"
#include "poly/modmult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

using namespace factor_impl;
using namespace powermod_impl;
using modf_words::Words;

namespace {

// Modulo 2 no rows are held; the bound only keeps a session to a few
// minutes.
constexpr int32_t MAX_DEGREE_BITS = 1 << 17;
// The products modulo f of the odd route are transforms of up to 2^25
// points, hence products of degree below 2^24.
constexpr int32_t MAX_DEGREE_WORDS = 1 << 22;

// The polynomial of the residues w[0 .. len); null for zero.
polynode* poly_of_words(const uint32_t* w, int32_t len) {
    int32_t top = len - 1;
    while (top >= 0 && w[top] == 0) top--;
    if (top < 0) return nullptr;
    polynode* p = nullptr;
    array_to_poly(w, top, &p);
    return p;
}

// The residues of p in len words, or deg p + 1 when more.
Words words_of(polynode* p, int32_t len) {
    int32_t deg = 0;
    Words w(static_cast<size_t>(std::max<int32_t>(len, degree(p) + 1)), 0);
    fill_poly1_array(p, w.data(), &deg);
    return w;
}

// g's residues made monic (degree degree(g)).
Words monic_words(polynode* g) {
    Words w = words_of(g, 0);
    const int32_t dg = degree(g);
    const uint64_t inv = static_cast<uint32_t>(imod_inverse(static_cast<int32_t>(w[dg])));
    const uint64_t p = static_cast<uint64_t>(modulus);
    for (int32_t i = 0; i <= dg; i++) w[i] = static_cast<uint32_t>(w[i] * inv % p);
    return w;
}

// *g := gcd(w, b) for the residues w (all of f when w is zero, f a
// multiple of b).
void gcd_of_words(const Words& w, polynode* b, polynode** g, pt* rec) {
    PolyHold wp(poly_of_words(w.data(), static_cast<int32_t>(w.size())));
    if (!wp.p)
        poly_assign(b, g);
    else
        field_gcd(wp.p, b, g, rec);
}

// Intervals whose products share one gcd with f.
constexpr size_t GROUP = 8;
// Words of residues the baby steps may take, and as many the table.
constexpr int64_t ROW_WORDS = int64_t{1} << 24;

struct Steps {
    int32_t l;       // baby steps
    int32_t table;   // powers of H_1 kept for the compositions
};

// The split of the degrees up to n / 2 into l baby steps and n / (2 l)
// intervals that costs least, counted in word products: a product modulo f
// is about six transforms of 2n points per transform prime (about four
// word products per butterfly, measured), a baby step one power of p; a giant
// step is a composition, a matrix pass of n^2 words and n / table
// products, and has a share of a gcd with f (about 5 n^2 per group of
// intervals); the interval products come to n / 2 products whatever l is.
// The table of powers is as large as its share of products makes worth.
Steps steps_for(int32_t n, uint32_t p) {
    const double points = std::exp2(std::ceil(std::log2(2.0 * n)));
    const double images = static_cast<double>(n) * (p - 1.0) * (p - 1.0) < std::exp2(61) ? 1 : 2;
    const double product = 4 * 6 * images * points / 2 * std::log2(points);
    const double power = (std::bit_width(p) - 1 + std::popcount(p) - 1) * product;
    const double nn = static_cast<double>(n) * n;
    // The baby steps and the table each hold at most ROW_WORDS words.
    const int32_t rows = static_cast<int32_t>(std::max<int64_t>(1, ROW_WORDS / n));
    Steps best{1, 1};
    double least = -1;
    for (int32_t l = 1; l <= std::min(rows, std::max(1, n / 2)); l++) {
        const double giants = std::ceil(n / 2.0 / l);
        const double table =
            std::clamp(std::ceil(std::sqrt(giants * n)), 1.0, static_cast<double>(std::min(n, rows)));
        const double cost = l * power + (giants - 1) * (nn + n / table * product) + table * product +
                            giants * 5 * nn / GROUP;
        if (least < 0 || cost < least) {
            least = cost;
            best = {l, static_cast<int32_t>(table)};
        }
    }
    return best;
}

// The degree-d records of the factors of g, all of degrees lo .. hi
// (lo > 1 unless the interval is the first), with frem the part not yet
// recorded and H the interval's giant step; false when frem is used up or
// recorded whole.
bool split_interval(PolyHold& frem, PolyHold& g, int32_t lo, int32_t hi, const Words& H,
                    const std::vector<Words>& baby, int32_t n, FactorFrame& fr) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    Words gw = monic_words(g.p), Hg(H.begin(), H.end());
    int32_t dg = degree(g.p);
    modf_words::remainder(Hg.data(), n, gw.data(), dg, p);
    for (int32_t d = lo; d <= hi; d++) {
        const int32_t D = degree(frem.p);
        if (D == 0) return false;
        if (d > D / 2) {
            append_1(&frem.p, D, fr);
            return false;
        }
        if (dg == 0) return true;
        if (dg < 2 * d) {
            // Every factor of g has degree d at least: g is irreducible.
            if (dg == D) {
                append_1(&frem.p, D, fr);
                return false;
            }
            if (!fr.stop_first) divide_out(&frem.p, g.p, fr);
            append_1(&g.p, dg, fr);
            return true;
        }
        Words b(baby[hi - d].begin(), baby[hi - d].end());
        modf_words::remainder(b.data(), n, gw.data(), dg, p);
        for (int32_t w = 0; w < dg; w++) b[w] = Hg[w] >= b[w] ? Hg[w] - b[w] : Hg[w] + (p - b[w]);
        PolyHold diff(poly_of_words(b.data(), dg));
        PolyHold c;
        if (!diff.p)
            poly_assign(g.p, &c.p);
        else
            field_gcd(diff.p, g.p, &c.p, fr.rec);
        if (lone(c.p)) continue;
        if (degree(c.p) == D) {
            append_1(&frem.p, d, fr);
            return false;
        }
        if (!fr.stop_first) {
            divide_out(&frem.p, c.p, fr);
            divide_out(&g.p, c.p, fr);
        }
        append_1(&c.p, d, fr);
        dg = degree(g.p);
        if (dg > 0) {
            gw = monic_words(g.p);
            Hg.assign(H.begin(), H.end());
            modf_words::remainder(Hg.data(), n, gw.data(), dg, p);
        }
    }
    return true;
}

void odd_distinct_degree(polynode** fslot, FactorFrame& fr) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    int32_t n = 0;
    Words F(static_cast<size_t>((*fslot)->exp) + 1);
    fill_poly1_array(*fslot, F.data(), &n);
    PolyHold frem(*fslot);
    *fslot = nullptr;
    const modf_words::ModF M(F, p);
    const Steps st = steps_for(n, p);
    const int32_t l = st.l;
    // baby[j] = x^(p^j) mod f, j < l; H1 = x^(p^l) mod f.
    std::vector<Words> baby(1, Words(static_cast<size_t>(n), 0));
    baby[0][1] = 1;
    Words H1(static_cast<size_t>(n));
    M.x_power(p, H1.data());
    for (int32_t j = 1; j < l; j++) {
        poll_interrupt();
        baby.push_back(H1);
        M.power(H1.data(), p, H1.data());
    }
    // The intervals are taken GROUP at a time: one gcd of f with the
    // product of their products, and the intervals looked at one by one
    // only when it is not 1. Most intervals hold no factor, and a gcd with
    // f costs n^2 where a product modulo f costs n log n.
    struct Interval {
        int32_t lo, hi;
        Words H, I;
    };
    std::vector<Interval> group;
    Words H = H1, G(static_cast<size_t>(n)), t(static_cast<size_t>(n));
    std::unique_ptr<modf_words::PowerTable> table;
    for (int32_t i = 1;;) {
        const int32_t lo = l * (i - 1) + 1;
        const int32_t D = degree(frem.p);
        if (D == 0) return;
        const bool past = lo > D / 2;
        if (past && group.empty()) {
            append_1(&frem.p, D, fr);
            return;
        }
        if (!past) {
            poll_interrupt();
            if (i > 1) {
                if (!table) table = std::make_unique<modf_words::PowerTable>(M, H1.data(), st.table);
                modf_words::compose(M, *table, H.data(), H.data());
            }
            Interval& v = group.emplace_back(Interval{lo, l * i, H, Words(static_cast<size_t>(n))});
            for (int32_t j = 0; j < l; j++) {
                uint32_t* dst = j ? t.data() : v.I.data();
                const Words& b = baby[j];
                for (int32_t w = 0; w < n; w++) dst[w] = H[w] >= b[w] ? H[w] - b[w] : H[w] + (p - b[w]);
                if (j) M.mul(v.I.data(), t.data(), v.I.data());
            }
            if (group.size() == 1)
                G = v.I;
            else
                M.mul(G.data(), v.I.data(), G.data());
            i++;
            if (group.size() < GROUP) continue;
        }
        PolyHold Gp;
        gcd_of_words(G, frem.p, &Gp.p, fr.rec);
        for (size_t k = 0; k < group.size() && !lone(Gp.p); k++) {
            PolyHold g, taken;
            gcd_of_words(group[k].I, Gp.p, &g.p, fr.rec);
            if (lone(g.p)) continue;
            poly_assign(g.p, &taken.p);
            if (!split_interval(frem, g, group[k].lo, group[k].hi, group[k].H, baby, n, fr)) return;
            // Every factor of g was recorded and taken out of f.
            divide_out(&Gp.p, taken.p, fr);
        }
        group.clear();
    }
}

}  // namespace

bool factor_impl::flat_distinct_degree(polynode** fslot, FactorFrame& fr) {
    polynode* f = *fslot;
    if (!modularmode || !mod_is_prime || finf || field_depth != 0 || modulus < 2) return false;
    if (!f || f->numb || relation_inward(fr.rec) || !height_is_1(f)) return false;
    const int32_t n = f->exp;
    if (n < 2 || n > (modulus == 2 ? MAX_DEGREE_BITS : MAX_DEGREE_WORDS)) return false;
    for (const polynode* t = f; t; t = t->next)
        if (t->exp < 0) return false;
    if (f->pcoef->ncoef->value != 1) return false;
    // The odd route holds the baby steps and the table (at most n^2 words
    // in all), a group's intervals, scratch and transforms (a few hundred
    // bytes a degree): past the memory budget the term lists take it.
    const int64_t bytes = 4 * std::min<int64_t>(2 * ROW_WORDS, int64_t{n} * n) + 512 * int64_t{n};
    if (modulus != 2 && totalavailablememory > 0 && static_cast<uint64_t>(bytes) > memavail()) return false;
    if (modulus == 2)
        even_distinct_degree(fslot, fr);
    else
        odd_distinct_degree(fslot, fr);
    return true;
}

bool factor_impl::flat_half_power(polynode** r, int32_t d, polynode* P, pt* rec) {
    if (!modularmode || !mod_is_prime || finf || field_depth != 0 || modulus < 3 || d < 1) return false;
    polynode* a = *r;
    if (!P || P->numb || !a || a->numb || relation_inward(rec) || !height_is_1(P) || !height_is_1(a)) return false;
    for (const polynode* t : {P, a})
        for (; t; t = t->next)
            if (t->exp < 0) return false;
    const int32_t D = P->exp;
    if (D < 2 || D > MAX_DEGREE_WORDS || P->pcoef->ncoef->value != 1) return false;
    const int32_t k = static_cast<int32_t>(std::ceil(std::sqrt(static_cast<double>(D))));
    // Two tables of k rows, and as much again in scratch and transforms.
    const int64_t bytes = 8 * int64_t{k} * D + 512 * int64_t{D};
    if (totalavailablememory > 0 && static_cast<uint64_t>(bytes) > memavail()) return false;

    const uint32_t p = static_cast<uint32_t>(modulus);
    Words PW = words_of(P, D + 1);
    const modf_words::ModF M(PW, p);
    Words R = words_of(a, D);
    if (static_cast<int64_t>(R.size()) > D) modf_words::remainder(R.data(), static_cast<int64_t>(R.size()), PW.data(), D, p);
    R.resize(static_cast<size_t>(D));
    // (p^d - 1) / 2 = (1 + p + .. + p^(d-1)) (p - 1) / 2. With
    // alpha_j = R^(1 + p + .. + p^(j-1)) and beta_j = x^(p^j), and since
    // the p^j-th power of a residue class is its composition with beta_j:
    // alpha_2j = alpha_j alpha_j(beta_j), beta_2j = beta_j(beta_j),
    // alpha_(j+1) = R alpha_j(beta_1), beta_(j+1) = beta_j(beta_1).
    // So log d compositions replace the d log p products of powering.
    Words beta1(static_cast<size_t>(D));
    M.x_power(p, beta1.data());
    const modf_words::PowerTable by_beta1(M, beta1.data(), k);
    Words alpha = R, beta = beta1, t(static_cast<size_t>(D));
    for (int b = 30 - __builtin_clz(static_cast<uint32_t>(d)); b >= 0; b--) {
        poll_interrupt();
        {
            const modf_words::PowerTable by_beta(M, beta.data(), k);
            modf_words::compose(M, by_beta, alpha.data(), t.data());
            M.mul(alpha.data(), t.data(), alpha.data());
            if (b > 0) modf_words::compose(M, by_beta, beta.data(), beta.data());
        }
        if ((d >> b) & 1) {
            modf_words::compose(M, by_beta1, alpha.data(), alpha.data());
            M.mul(alpha.data(), R.data(), alpha.data());
            if (b > 0) modf_words::compose(M, by_beta1, beta.data(), beta.data());
        }
    }
    if (p > 3) M.power(alpha.data(), (p - 1) / 2, alpha.data());
    polynode* out = poly_of_words(alpha.data(), D);
    free_poly(r);
    *r = out ? out : number_poly(0);
    return true;
}
