// One-variable products modulo small, word and composite moduli by the
// number-theoretic transforms, forced on every pair of dense operands,
// against the schoolbook convolution computed here and against the dense
// arrays and list routes; operands kept, zero residues dropped, records
// balanced.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numbers/ring.h"
#include "poly/modmult.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"

namespace {

struct TransformRoute {
    int32_t saved = modp_transform_route;
    explicit TransformRoute(int32_t r) { modp_transform_route = r; }
    ~TransformRoute() { modp_transform_route = saved; }
};

// The product of dense coefficient vectors (index = exponent) modulo m.
TermList reference(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b, uint64_t m, int32_t low) {
    std::vector<unsigned __int128> z(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) z[i + j] += static_cast<unsigned __int128>(a[i]) * b[j];
    TermList out;
    for (size_t k = z.size(); k-- > 0;) {
        const uint64_t v = static_cast<uint64_t>(z[k] % m);
        if (v) out.emplace_back(static_cast<long long>(v), std::vector<int32_t>{static_cast<int32_t>(k) + low});
    }
    return out;
}

TermList as_terms(const std::vector<uint64_t>& c, int32_t low) {
    TermList t;
    for (size_t i = c.size(); i-- > 0;)
        if (c[i]) t.emplace_back(static_cast<long long>(c[i]), std::vector<int32_t>{static_cast<int32_t>(i) + low});
    return t;
}

TEST(ModTransform, EveryModulusAgreesWithTheSchoolbook) {
    NumberGen g(0x18180020);
    SCOPED_TRACE(g.trace());
    for (int32_t m : {2, 3, 7, 4, 65521, 65535, 1000000, 46337, 2147483629, 2147483647}) {
        RingStateGuard guard;
        VarGlobalsGuard globals;
        use_modulus(m);
        AttachedVars vars(1);
        for (int round = 0; round < scaled(4); round++) {
            const int32_t da = 1 + g.below(round == 3 ? 3000 : 400), db = 1 + g.below(400);
            const int32_t low_a = g.below(4), low_b = g.below(4);
            std::vector<uint64_t> a(static_cast<size_t>(da) + 1), b(static_cast<size_t>(db) + 1);
            // Mostly full operands, the edge residues favoured; the divisors
            // of a composite modulus make products vanish.
            for (auto* v : {&a, &b})
                for (uint64_t& x : *v) {
                    const int r = g.below(10);
                    x = r == 0 ? 0 : r == 1 ? static_cast<uint64_t>(m - 1) : r == 2 ? 1 : static_cast<uint64_t>(g.below(m));
                    if (m % 2 == 0 && g.chance(30)) x = x / 2 * 2 % static_cast<uint64_t>(m);
                }
            a.back() = a.back() ? a.back() : 1;
            b.back() = b.back() ? b.back() : 1;
            a.front() = a.front() ? a.front() : 1;
            b.front() = b.front() ? b.front() : 1;
            const TermList want = reference(a, b, static_cast<uint64_t>(m), low_a + low_b);
            RecordLedger ledger;
            {
                BuiltPoly pa(1, as_terms(a, low_a)), pb(1, as_terms(b, low_b));
                const auto sa = snapshot_nodes(pa), sb = snapshot_nodes(pb);
                for (int32_t route : {1, -1}) {
                    TransformRoute r(route);
                    polynode* p = nullptr;
                    poly_mult(pa, pb, &p, nilpol);
                    ASSERT_TRUE(check_poly_shape(p, 1));
                    EXPECT_EQ(read_poly(p, 1), want) << "modulus " << m << ", route " << route << ", degrees " << da << ", " << db;
                    if (want.empty()) {
                        EXPECT_TRUE(is_zero_node(p));
                    }
                    free_poly(&p);
                }
                EXPECT_TRUE(snapshot_nodes(pa) == sa);
                EXPECT_TRUE(snapshot_nodes(pb) == sb);
            }
            EXPECT_TRUE(ledger.balanced());
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Products that vanish entirely modulo a composite modulus give the number 0.
TEST(ModTransform, VanishingProductIsTheNumberZero) {
    RingStateGuard guard;
    VarGlobalsGuard globals;
    use_modulus(4);
    AttachedVars vars(1);
    TermList t;
    for (int i = 0; i < 40; i++) t.emplace_back(2, std::vector<int32_t>{i});
    BuiltPoly a(1, t);
    TransformRoute r(1);
    polynode* p = nullptr;
    poly_mult(a, a, &p, nilpol);
    EXPECT_TRUE(is_zero_node(p));
    free_poly(&p);
}

}  // namespace
