// The machine-accumulator box of small integer coefficients with its
// slices (outer exponents one at a time), its runs (short convolutions
// along the innermost variable) and its carries (accumulators normalised
// into an extra limb), each forced on small operands by the test hooks,
// against a product computed here with GMP and against the box with all
// three switched off. Operands kept; records balanced.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "numbers/ring.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

using Exps = std::vector<int32_t>;

TermList reference(const TermList& a, const TermList& b) {
    std::map<Exps, mpz_class, std::greater<>> m;
    for (const Term& s : a)
        for (const Term& t : b) {
            Exps e(s.exps.size());
            for (size_t i = 0; i < e.size(); i++) e[i] = s.exps[i] + t.exps[i];
            mpz_addmul(m[e].get_mpz_t(), s.coef.get_mpz_t(), t.coef.get_mpz_t());
        }
    TermList out;
    for (const auto& [e, c] : m)
        if (c != 0) out.emplace_back(c, e);
    return out;
}

// The box hooks (and the images kept out of the way), restored on exit.
struct Hooks {
    int32_t slices = box_slices, runs = box_runs, mm = multimod_route;
    int64_t limbs = box_limb_products;
    Hooks(int32_t s, int32_t r, int64_t l) {
        box_slices = s;
        box_runs = r;
        box_limb_products = l;
        multimod_route = -1;
    }
    ~Hooks() {
        box_slices = slices;
        box_runs = runs;
        box_limb_products = limbs;
        multimod_route = mm;
    }
};

TermList random_terms(NumberGen& g, int nvars, int count, int32_t span, int32_t low, int max_digits) {
    std::map<Exps, mpz_class, std::greater<>> m;
    for (int i = 0; i < count; i++) {
        Exps e(static_cast<size_t>(nvars));
        for (int32_t& x : e) x = low + g.below(span + 1);
        mpz_class c = g.chance(20) ? g.edge_value() : g.digits(g.length(1, max_digits));
        if (c == 0) c = -1;
        m[e] = c;
    }
    TermList out;
    for (const auto& [e, c] : m) out.emplace_back(c, e);
    return out;
}

void check(int nvars, const TermList& A, const TermList& B, const std::string& what) {
    const TermList want = canonical_terms(nvars, reference(A, B));
    RecordLedger ledger;
    {
        BuiltPoly a(nvars, A), b(nvars, B);
        const auto sa = snapshot_nodes(a), sb = snapshot_nodes(b);
        struct Setting {
            int32_t slices, runs;
            int64_t limbs;
        };
        for (Setting s : {Setting{0, 0, int64_t{1} << 15}, Setting{2, 0, 1 << 15}, Setting{2, 2, 1 << 15},
                          Setting{1, 2, 1 << 15}, Setting{2, 0, 3}, Setting{0, 0, 1}, Setting{2, 2, 2}}) {
            Hooks h(s.slices, s.runs, s.limbs);
            polynode* p = nullptr;
            poly_mult(a, b, &p, nilpol);
            ASSERT_TRUE(check_poly_shape(p, nvars)) << what;
            EXPECT_EQ(read_poly(p, nvars), want)
                << what << " slices " << s.slices << " runs " << s.runs << " limbs " << s.limbs;
            if (want.empty()) {
                EXPECT_TRUE(is_zero_node(p));
            }
            free_poly(&p);
        }
        EXPECT_TRUE(snapshot_nodes(a) == sa);
        EXPECT_TRUE(snapshot_nodes(b) == sb);
    }
    EXPECT_TRUE(ledger.balanced());
}

class BoxSlices : public ::testing::Test {
protected:
    PrimeRing ring{0};
    VarGlobalsGuard globals;
    AttachedVars vars{4};
};

TEST_F(BoxSlices, RandomOperandsEveryHook) {
    NumberGen g(0x18180030);
    SCOPED_TRACE(g.trace());
    for (int round = 0; round < scaled(40); round++) {
        const int nvars = 1 + round % 4;
        number_polys = nvars;
        laurent = round % 7 == 3;
        const int32_t span = nvars == 1 ? 30 : nvars == 2 ? 8 : 4;
        const int max_digits = round % 3 == 0 ? 1 : round % 3 == 1 ? 4 : 20;
        const TermList A = random_terms(g, nvars, 1 + g.below(40), span, laurent ? -2 : 0, max_digits);
        const TermList B = g.chance(10) ? A : random_terms(g, nvars, 1 + g.below(40), span, laurent ? -2 : 0, max_digits);
        check(nvars, A, B, "round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
}

// Cancellation down to zero, and planted coefficients at the limb edges.
TEST_F(BoxSlices, CancellationAndLimbEdges) {
    number_polys = 2;
    const TermList A{{1, {1, 0}}, {1, {0, 1}}}, B{{1, {1, 0}}, {-1, {0, 1}}};
    check(2, A, B, "(x + y)(x - y)");
    for (const char* c : {"72057594037927935", "-72057594037927936", "268435455", "5192296858534827628530496329220095"}) {
        TermList P, Q;
        for (int i = 0; i < 6; i++)
            for (int j = 0; j < 6; j++) {
                P.emplace_back(Term(c, {i, j}));
                Q.emplace_back(Term(c, {j, i}));
            }
        check(2, P, Q, c);
    }
}

}  // namespace

namespace {

// Runs along the innermost variable of every length from 1 to past two
// pieces of the fixed-length kernels, each length met by each other, with
// one-limb, two-limb and mixed coefficients (limb edges planted).
TEST_F(BoxSlices, RunsOfEveryLength) {
    NumberGen g(0x18180031);
    SCOPED_TRACE(g.trace());
    const char* edges[] = {"72057594037927935", "-72057594037927935", "5192296858534827628530496329220095",
                           "-5192296858534827628530496329220095", "72057594037927936"};
    auto run = [&](int32_t row, int32_t len, int max_digits) {
        TermList t;
        for (int32_t i = 0; i < len; i++) {
            mpz_class c = g.chance(15) ? mpz_class(edges[g.below(5)]) : g.digits(g.length(1, max_digits));
            if (c == 0) c = 1;
            t.emplace_back(c, Exps{row, 3 + i});
        }
        return t;
    };
    number_polys = 2;
    const int32_t lengths[] = {1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 21};
    int round = 0;
    for (int32_t la : lengths)
        for (int32_t lb : lengths) {
            const int da = round % 3 == 0 ? 2 : 4, db = round % 3 == 1 ? 2 : 4;
            round++;
            // Two rows each: runs of A's rows meet runs of B's rows of other lengths.
            TermList A = run(1, la, da), B = run(1, lb, db);
            for (Term& t : run(0, 1 + (la + lb) % 13, da)) A.push_back(t);
            for (Term& t : run(0, 1 + (la * lb) % 11, db)) B.push_back(t);
            check(2, canonical_terms(2, A), canonical_terms(2, B),
                  "lengths " + std::to_string(la) + " by " + std::to_string(lb));
            if (HasFatalFailure()) return;
        }
}

// The accumulators at their bound: every coefficient of both operands
// +-(2^112 - 1), all limbs at their greatest, and as many terms as the box
// sums without carrying (2^15 limb products in the middle accumulator):
// the middle limb of the greatest place reaches 2^14 * 2 (2^56 - 1)^2,
// within one part in 2^55 of 2^127. One-limb coefficients (2^56 - 1) take
// the same path with their own kernels. Each coefficient of the product is
// -c^2 times the number of pairs of terms at its exponent.
TEST_F(BoxSlices, RunsAtTheAccumulatorBound) {
    struct Cutoff {
        int32_t saved = poly_cutoff;
        ~Cutoff() { poly_cutoff = saved; }
    } cutoff;
    poly_cutoff = 1 << 20;   // one schoolbook product, no Karatsuba split
    Hooks h(1, 2, int64_t{1} << 15);
    number_polys = 1;
    for (const char* c : {"5192296858534827628530496329220095", "72057594037927935"}) {
        const mpz_class v(c);
        const int32_t n = 1 << 14;
        TermList A, B;
        for (int32_t i = 0; i < n; i++) {
            A.emplace_back(v, Exps{i});
            B.emplace_back(-v, Exps{i});
        }
        RecordLedger ledger;
        {
            BuiltPoly a(1, A), b(1, B);
            polynode* p = nullptr;
            poly_mult(a, b, &p, nilpol);
            ASSERT_TRUE(check_poly_shape(p, 1));
            const TermList got = read_poly(p, 1);
            free_poly(&p);
            ASSERT_EQ(got.size(), static_cast<size_t>(2 * n - 1));
            const mpz_class square = v * v;
            for (const Term& t : got) {
                const int32_t k = t.exps[0];
                const int32_t pairs = std::min({k + 1, n, 2 * n - 1 - k});
                ASSERT_EQ(t.coef, -square * pairs) << c << " at x^" << k;
            }
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

}  // namespace

// Residues modulo a modulus sum in the box as the integers standing for
// them: products of three and four variables modulo a small prime, a
// composite (products of zero divisors cancel to 0 in places), a mid-size
// prime and one near the word, whose products of two residues near 2^62
// the accumulators must take many times over.
TEST(BoxResidues, RandomOperandsModuli) {
    NumberGen g(0x18180031);
    SCOPED_TRACE(g.trace());
    for (int32_t m : {7, 12, 65521, 2147483629}) {
        PrimeRing ring{m};
        VarGlobalsGuard globals;
        AttachedVars vars{4};
        for (int round = 0; round < scaled(12); round++) {
            const int nvars = 2 + round % 3;
            number_polys = nvars;
            laurent = round % 5 == 4;
            const int32_t span = nvars == 2 ? 8 : 4;
            const TermList A = random_terms(g, nvars, 1 + g.below(60), span, laurent ? -2 : 0, 3);
            const TermList B = random_terms(g, nvars, 1 + g.below(60), span, laurent ? -2 : 0, 3);
            check(nvars, A, B, "modulo " + std::to_string(m) + " round " + std::to_string(round));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}
