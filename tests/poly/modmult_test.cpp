// One- and two-variable modular products against a map-based reference in
// every ground ring, composite moduli whose leading products vanish, the
// size dispatch (observed through the dense work arrays), operands left
// node for node as they were, no record lost, and the conversions between
// term lists, arrays and mixed-radix cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "support/data_once.h"
#include "support/field_ref.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

struct Ground {
    const char* name;
    int32_t m;
    int prime;
};

const Ground kGrounds[] = {{"2", 2, 1},           {"3", 3, 1},           {"7", 7, 1},
                           {"65521", 65521, 1},   {"65537", 65537, 1},   {"2147483629", 2147483629, 1},
                           {"12", 12, 0},         {"65535", 65535, 0},   {"GF(2^8)", 256, 1},
                           {"GF(2^16)", 65536, 1}};

// Residues modulo g, with the product cut-offs, restored at the end of the scope.
struct RingScope {
    RingStateGuard saved;
    int32_t cutoff = poly_cutoff, gcd_size = fast_gcd_size, mult_cut = fast_mult_cut;
    explicit RingScope(const Ground& g) {
        modularmode = 1;
        lintmode = 1;
        install_modulus(g.m);
        mod_is_prime = g.prime;
    }
    ~RingScope() {
        poly_cutoff = cutoff;
        fast_gcd_size = gcd_size;
        fast_mult_cut = mult_cut;
    }
};

using Exps = std::vector<int32_t>;
using Sparse = std::map<Exps, uint32_t>;

Sparse to_map(const TermList& t) {
    Sparse m;
    for (const Term& term : t) m[term.exps] = static_cast<uint32_t>(term.coef.get_ui());
    return m;
}

TermList to_terms(const Sparse& m) {
    TermList t;
    for (const auto& [e, c] : m)
        if (c) t.emplace_back(static_cast<long>(c), e);
    std::sort(t.begin(), t.end(), [](const Term& a, const Term& b) { return a.exps > b.exps; });
    return t;
}

// The product by the definition: every pair of terms.
TermList ref_product(const TermList& a, const TermList& b) {
    Sparse out;
    for (const Term& s : a)
        for (const Term& t : b) {
            Exps e(s.exps.size());
            for (size_t i = 0; i < e.size(); i++) e[i] = s.exps[i] + t.exps[i];
            const uint32_t c = r_mul(static_cast<uint32_t>(s.coef.get_ui()), static_cast<uint32_t>(t.coef.get_ui()));
            out[e] = r_add(out[e], c);
        }
    return to_terms(out);
}

// The same for long dense one-variable operands, through coefficient vectors.
TermList ref_product_dense(const TermList& a, const TermList& b) {
    if (a.empty() || b.empty()) return {};
    std::vector<uint32_t> x(a.front().exps[0] + 1, 0), y(b.front().exps[0] + 1, 0);
    for (const Term& t : a) x[t.exps[0]] = static_cast<uint32_t>(t.coef.get_ui());
    for (const Term& t : b) y[t.exps[0]] = static_cast<uint32_t>(t.coef.get_ui());
    std::vector<uint32_t> z(x.size() + y.size() - 1, 0);
    if (finf) {
        for (size_t i = 0; i < x.size(); i++)
            if (x[i])
                for (size_t j = 0; j < y.size(); j++) z[i + j] = r_add(z[i + j], r_mul(x[i], y[j]));
    } else {
        // Reduced products below 2^31 summed in 64 bits: no overflow below 2^33 terms.
        const uint64_t p = static_cast<uint32_t>(modulus);
        std::vector<uint64_t> acc(z.size(), 0);
        for (size_t i = 0; i < x.size(); i++)
            if (x[i])
                for (size_t j = 0; j < y.size(); j++) acc[i + j] += uint64_t{x[i]} * y[j] % p;
        for (size_t k = 0; k < z.size(); k++) z[k] = static_cast<uint32_t>(acc[k] % p);
    }
    TermList t;
    for (size_t k = z.size(); k-- > 0;)
        if (z[k]) t.emplace_back(static_cast<long>(z[k]), Exps{static_cast<int32_t>(k)});
    return t;
}

// The map for small operands, the vectors where the map would be slow.
TermList reference(const TermList& a, const TermList& b) {
    return a.size() * b.size() <= 20000 ? ref_product(a, b) : ref_product_dense(a, b);
}

uint32_t residue(NumberGen& g) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    switch (g.below(8)) {
    case 0: return 1;
    case 1: return p - 1;
    default: return static_cast<uint32_t>(g.bits() % p);
    }
}

uint32_t nonzero(NumberGen& g) {
    for (;;)
        if (uint32_t v = residue(g)) return v;
}

// One-variable terms: n exponents drawn from 0 .. deg (deg always present),
// every coefficient non-zero.
TermList random_poly(NumberGen& g, int32_t deg, int32_t n, int32_t low = 0) {
    std::vector<int32_t> exps;
    if (n > deg - low + 1) n = deg - low + 1;
    if (n == deg - low + 1) {
        for (int32_t e = low; e <= deg; e++) exps.push_back(e);
    } else {
        std::vector<bool> used(deg + 1, false);
        used[deg] = true;
        exps.push_back(deg);
        while (static_cast<int32_t>(exps.size()) < n) {
            int32_t e = g.between(low, deg);
            if (!used[e]) {
                used[e] = true;
                exps.push_back(e);
            }
        }
    }
    std::sort(exps.begin(), exps.end(), std::greater<int32_t>());
    TermList t;
    for (int32_t e : exps) t.emplace_back(static_cast<long>(nonzero(g)), Exps{e});
    return t;
}

// Every node of p with its links, exponent, flag and residue, depth first:
// equal snapshots mean the same nodes in the same places holding the same values.
struct NodeRecord {
    const polynode* node;
    const polynode* next;
    const void* coef;
    int32_t exp, numb, value;
    bool operator==(const NodeRecord& o) const {
        return node == o.node && next == o.next && coef == o.coef && exp == o.exp && numb == o.numb &&
               value == o.value;
    }
};

void snapshot(const polynode* p, std::vector<NodeRecord>& out) {
    for (const polynode* t = p; t; t = t->next) {
        out.push_back({t, t->next, t->coef, t->exp, t->numb, t->numb ? t->ncoef->value : 0});
        if (!t->numb) snapshot(t->pcoef, out);
    }
}

std::vector<NodeRecord> snapshot(const polynode* p) {
    std::vector<NodeRecord> out;
    snapshot(p, out);
    return out;
}

// a * b by simplest_poly_mult, with every check that does not depend on the
// route taken: shape, value, operands untouched; also as a square and into
// an operand's own slot.
// The reference products of a pair, worked out once for all cut-offs.
struct Expected {
    TermList product, square;
};

Expected expected(const TermList& ta, const TermList& tb) {
    const TermList ca = canonical_terms(1, ta), cb = canonical_terms(1, tb);
    return {reference(ca, cb), reference(ca, ca)};
}

void check_onevar_product(const TermList& ta, const TermList& tb, const std::string& what,
                          const Expected& exp) {
    polynode* a = build_poly(1, ta);
    polynode* b = build_poly(1, tb);
    const auto sa = snapshot(a), sb = snapshot(b);
    const TermList& want = exp.product;

    polynode* r = nullptr;
    simplest_poly_mult(a, b, &r, 0, 0, 0, 0);
    ASSERT_TRUE(check_poly_shape(r, 1)) << what;
    EXPECT_EQ(read_poly(r, 1), want) << what;
    EXPECT_TRUE(snapshot(a) == sa) << "first operand changed: " << what;
    EXPECT_TRUE(snapshot(b) == sb) << "second operand changed: " << what;

    polynode* sq = nullptr;
    simplest_poly_mult(a, a, &sq, 0, 0, 0, 0);
    ASSERT_TRUE(check_poly_shape(sq, 1)) << what;
    EXPECT_EQ(read_poly(sq, 1), exp.square) << "square: " << what;
    EXPECT_TRUE(snapshot(a) == sa) << "squared operand changed: " << what;
    free_poly(&sq);

    // Into the first operand's slot: the old operand is freed afterwards.
    simplest_poly_mult(a, b, &a, 0, 0, 0, 0);
    ASSERT_TRUE(check_poly_shape(a, 1)) << what;
    EXPECT_EQ(read_poly(a, 1), want) << "into the operand's slot: " << what;
    free_poly(&a);
    free_poly(&b);
    free_poly(&r);
}

void check_onevar_product(const TermList& ta, const TermList& tb, const std::string& what) {
    check_onevar_product(ta, tb, what, expected(ta, tb));
}

class ModMultTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        load_data_once();
        init_poly_work_arrays();
    }
};

TEST_F(ModMultTest, OneVariableProductsMatchTheReferenceInEveryRing) {
    struct Shape {
        const char* what;
        int32_t da, na, db, nb, low;
    };
    const Shape shapes[] = {
        {"constants", 0, 1, 0, 1, 0},          {"constant by dense", 0, 1, 50, 51, 0},
        {"nine terms", 20, 9, 30, 25, 0},      {"ten dense terms", 9, 10, 12, 10, 0},
        {"sparse", 200, 12, 150, 40, 0},       {"quarter full", 200, 51, 300, 80, 0},
        {"dense", 300, 301, 250, 251, 0},      {"dense, factor x^k", 300, 250, 280, 200, 17},
        {"unbalanced", 40, 41, 2000, 2001, 0}, {"long", 3000, 3001, 2500, 2200, 0},
    };
    NumberGen g(0x3104);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground);
        RecordLedger ledger;
        for (const Shape& s : shapes) {
            const TermList ta = random_poly(g, s.da, s.na, std::min(s.low, s.da));
            const TermList tb = random_poly(g, s.db, s.nb, std::min(s.low, s.db));
            const Expected want = expected(ta, tb);
            // The dense arrays at both extremes of their cut-off.
            for (int32_t cut : {2, 40, 1 << 30}) {
                if (cut > s.da + s.db && s.da + s.db > 1000) continue;   // long schoolbooks: covered below
                poly_cutoff = cut;
                check_onevar_product(ta, tb,
                                     std::string(ground.name) + ", " + s.what + ", cut-off " + std::to_string(cut) +
                                         ", " + g.trace(),
                                     want);
            }
        }
        EXPECT_TRUE(ledger.balanced()) << ground.name;
    }
}

// With the dense limit lowered, prime moduli take the list Karatsuba too,
// down to dense pieces: it must restore its operands and agree.
TEST_F(ModMultTest, ListKaratsubaAgreesAndRestoresItsOperands) {
    NumberGen g(0x4a7a);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground);
        RecordLedger ledger;
        for (int32_t limit : {22008, 60, 0}) {
            fast_gcd_size = limit;
            for (int round = 0; round < 4; round++) {
                const int32_t da = g.between(20, 400), db = g.between(20, 400);
                const int32_t low = g.chance(50) ? 0 : g.between(1, 9);
                const TermList ta = random_poly(g, da, g.between(da / 3, da + 1), low);
                const TermList tb = random_poly(g, db, g.between(db / 3, db + 1), low);
                check_onevar_product(ta, tb, std::string(ground.name) + ", dense limit " + std::to_string(limit) +
                                                 ", " + g.trace());
            }
        }
        EXPECT_TRUE(ledger.balanced()) << ground.name;
    }
}

TEST_F(ModMultTest, DegreesBeyondTheDenseArrays) {
    NumberGen g(0xB16);
    // 22,008 in all fits the arrays; 24,000 goes through the list Karatsuba
    // to dense halves.
    {
        RingScope ring({"2147483629", 2147483629, 1});
        RecordLedger ledger;
        check_onevar_product(random_poly(g, 11004, 11005), random_poly(g, 11004, 9000), "2147483629, 11004 x 11004");
        EXPECT_TRUE(ledger.balanced());
    }
    {
        RingScope ring({"65521", 65521, 1});
        RecordLedger ledger;
        check_onevar_product(random_poly(g, 12000, 12001), random_poly(g, 12000, 12001), "65521, 12000 x 12000");
        EXPECT_TRUE(ledger.balanced());
    }
}

// Under 12 and 65,535 coefficient products vanish: no zero term, and in
// particular no zero leading term, may survive on any route.
TEST_F(ModMultTest, CompositeModulusDropsVanishingTerms) {
    NumberGen g(0xC0);
    for (const Ground& ground : {Ground{"12", 12, 0}, Ground{"65535", 65535, 0}}) {
        RingScope ring(ground);
        RecordLedger ledger;
        const long zero_divisor_a = ground.m == 12 ? 6 : 3 * 5 * 17, zero_divisor_b = ground.m == 12 ? 2 : 257;
        for (int32_t limit : {22008, 30}) {   // dense, and list Karatsuba over dense pieces
            fast_gcd_size = limit;
            for (int round = 0; round < 6; round++) {
                const int32_t da = g.between(12, 200), db = g.between(12, 200);
                TermList ta = random_poly(g, da, da + 1), tb = random_poly(g, db, db + 1);
                // Leading coefficients whose product is 0, and on some rounds
                // every coefficient a multiple of a zero divisor.
                ta.front().coef = zero_divisor_a;
                tb.front().coef = zero_divisor_b;
                if (round % 2) {
                    for (Term& t : ta) t.coef = zero_divisor_a * (1 + g.below(3));
                    for (Term& t : tb) t.coef = zero_divisor_b * (1 + g.below(3));
                }
                check_onevar_product(ta, tb, std::string(ground.name) + " round " + std::to_string(round));
            }
        }
        // Every route: schoolbook, scaling by a number, dense, each giving 0.
        fast_gcd_size = 22008;
        const long za = zero_divisor_a, zb = zero_divisor_b;
        check_onevar_product({{za, {3}}, {za, {0}}}, {{zb, {5}}, {zb, {1}}}, "schoolbook to 0");
        check_onevar_product({{za, {0}}}, {{zb, {5}}, {zb * 2, {1}}, {1, {0}}}, "number times poly");
        TermList da, db;
        for (int32_t e = 0; e <= 60; e++) {
            da.emplace_back(za, Exps{e});
            db.emplace_back(zb * (1 + e % 3), Exps{e});
        }
        check_onevar_product(da, db, "dense product to 0");
        polynode* a = build_poly(1, da);
        polynode* b = build_poly(1, db);
        polynode* r = nullptr;
        k_fastest_poly_mult(a, b, &r);
        EXPECT_TRUE(check_poly_shape(r, 1));
        EXPECT_TRUE(read_poly(r, 1).empty());
        free_poly(&a);
        free_poly(&b);
        free_poly(&r);
        EXPECT_TRUE(ledger.balanced()) << ground.name;
    }
}

// The dense routes leave their mark in zz; the list routes do not touch it.
class RouteProbe {
public:
    RouteProbe() { std::fill(zz, zz + 64, kMark); }
    bool dense_used() const {
        return std::any_of(zz, zz + 64, [](uint32_t w) { return w != kMark; });
    }

private:
    static constexpr uint32_t kMark = 0xFEEDFACEu;
};

bool product_uses_dense(const TermList& ta, const TermList& tb) {
    polynode* a = build_poly(1, ta);
    polynode* b = build_poly(1, tb);
    polynode* r = nullptr;
    RouteProbe probe;
    simplest_poly_mult(a, b, &r, 0, 0, 0, 0);
    const bool used = probe.dense_used();
    EXPECT_EQ(read_poly(r, 1), ref_product(read_poly(a, 1), read_poly(b, 1)));
    free_poly(&a);
    free_poly(&b);
    free_poly(&r);
    return used;
}

TEST_F(ModMultTest, SizeDispatch) {
    NumberGen g(7);
    {
        RingScope ring({"65521", 65521, 1});
        EXPECT_TRUE(product_uses_dense(random_poly(g, 9, 10), random_poly(g, 30, 31)));
        EXPECT_FALSE(product_uses_dense(random_poly(g, 9, 9), random_poly(g, 30, 31))) << "nine terms";
        // A quarter full: 4 * 10 = 40 is not above degree 40, on either side.
        for (auto [da, db] : {std::pair{39, 39}, std::pair{40, 39}, std::pair{39, 40}}) {
            polynode* a = build_poly(1, random_poly(g, da, 10));
            polynode* b = build_poly(1, random_poly(g, db, 10));
            polynode* r = nullptr;
            RouteProbe probe;
            fastest_standard(a, b, 10, 10, &r);
            EXPECT_EQ(probe.dense_used(), da == 39 && db == 39) << "degrees " << da << ", " << db;
            EXPECT_EQ(read_poly(r, 1), ref_product(read_poly(a, 1), read_poly(b, 1)));
            free_poly(&a);
            free_poly(&b);
            free_poly(&r);
        }
    }
    for (const Ground& ground : {Ground{"2", 2, 1}, Ground{"GF(2^8)", 256, 1}}) {
        RingScope ring(ground);
        EXPECT_FALSE(product_uses_dense(random_poly(g, 80, 81), random_poly(g, 90, 91))) << ground.name;
    }
}

TEST_F(ModMultTest, DenseArrayProductsAgree) {
    NumberGen g(8);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground);
        RecordLedger ledger;
        for (int round = 0; round < 5; round++) {
            polynode* a = build_poly(1, random_poly(g, g.between(0, 120), g.between(1, 60)));
            polynode* b = build_poly(1, random_poly(g, g.between(0, 120), g.between(1, 60)));
            const TermList want = ref_product(read_poly(a, 1), read_poly(b, 1));
            for (auto* f : {&k_fastest_poly_mult, &fastest_poly_mult, &faster_poly_mult}) {
                polynode* r = nullptr;
                f(a, b, &r);
                ASSERT_TRUE(check_poly_shape(r, 1)) << ground.name;
                EXPECT_EQ(read_poly(r, 1), want) << ground.name;
                free_poly(&r);
            }
            polynode* r = nullptr;
            simplest_standard(a, b, poly_length(a), poly_length(b), &r);
            ASSERT_TRUE(check_poly_shape(r, 1)) << ground.name;
            EXPECT_EQ(read_poly(r, 1), want) << ground.name;
            free_poly(&r);
            free_poly(&a);
            free_poly(&b);
        }
        EXPECT_TRUE(ledger.balanced()) << ground.name;
    }
}

// ---------------------------------------------------------------- two variables

// Terms in x (outer) and y (inner): rows of outer exponent 0 .. dx, each
// present with probability `fill`, of inner degree up to dy.
TermList random_poly2(NumberGen& g, int32_t dx, int32_t dy, int fill) {
    TermList t;
    for (int32_t i = dx; i >= 0; i--) {
        if (i != dx && !g.chance(fill)) continue;
        const int32_t d = i == dx ? dy : g.between(0, dy);
        for (int32_t j = d; j >= 0; j--)
            if (j == d || g.chance(fill)) t.emplace_back(static_cast<long>(nonzero(g)), Exps{i, j});
    }
    return t;
}

void check_poly2_product(const TermList& ta, const TermList& tb, const std::string& what) {
    polynode* a = build_poly(2, ta);
    polynode* b = build_poly(2, tb);
    const auto sa = snapshot(a), sb = snapshot(b);
    polynode* r = nullptr;
    fastest_poly2_mult(a, b, &r);
    ASSERT_TRUE(check_poly_shape(r, 2)) << what;
    EXPECT_EQ(read_poly(r, 2), ref_product(read_poly(a, 2), read_poly(b, 2))) << what;
    EXPECT_TRUE(snapshot(a) == sa) << what;
    EXPECT_TRUE(snapshot(b) == sb) << what;
    free_poly(&a);
    free_poly(&b);
    free_poly(&r);
}

TEST_F(ModMultTest, TwoVariableProductsMatchTheReference) {
    NumberGen g(0x2f2);
    for (const Ground& ground : kGrounds) {
        RingScope ring(ground);
        RecordLedger ledger;
        for (int round = 0; round < 6; round++) {
            const int32_t dxa = g.between(0, 45), dxb = g.between(0, 45);
            const int fill = round % 2 ? 90 : 40;
            check_poly2_product(random_poly2(g, dxa, g.between(0, 45), fill), random_poly2(g, dxb, g.between(0, 45), fill),
                                std::string(ground.name) + ", " + g.trace());
        }
        // Constant rows, a row-0 inner polynomial, and a y-only operand.
        check_poly2_product({{3, {40, 0}}, {5, {2, 0}}, {1, {0, 4}}, {2, {0, 0}}}, {{1, {35, 2}}, {4, {0, 0}}},
                            std::string(ground.name) + " special rows");
        check_poly2_product({{1, {0, 3}}, {1, {0, 0}}}, {{1, {33, 1}}, {1, {1, 0}}}, std::string(ground.name) + " padded");
        EXPECT_TRUE(ledger.balanced()) << ground.name;
    }
}

TEST_F(ModMultTest, TwoVariableProductsAtAndBeyondTheArrayBounds) {
    RingScope ring({"65521", 65521, 1});
    RecordLedger ledger;
    NumberGen g(700);
    // Outer and inner degrees summing to exactly 700.
    check_poly2_product({{3, {350, 300}}, {1, {200, 7}}, {5, {0, 0}}}, {{2, {350, 400}}, {9, {31, 2}}, {1, {0, 0}}},
                        "700 x 700");
    check_poly2_product(random_poly2(g, 40, 350, 15), random_poly2(g, 660, 350, 2), "700 x 700, random");

    // One more either way is refused before anything is written.
    for (const auto& [ta, tb] : {std::pair<TermList, TermList>{{{1, {351, 1}}, {1, {0, 0}}}, {{1, {350, 1}}}},
                                std::pair<TermList, TermList>{{{1, {31, 351}}, {1, {0, 0}}}, {{1, {31, 350}}}}}) {
        polynode* a = build_poly(2, ta);
        polynode* b = build_poly(2, tb);
        const auto sa = snapshot(a), sb = snapshot(b);
        polynode* r = build_poly(2, {{5, {0, 0}}});
        ::testing::internal::CaptureStdout();
        EXPECT_THROW(fastest_poly2_mult(a, b, &r), TarvexUnwind);
        EXPECT_NE(::testing::internal::GetCapturedStdout().find("degrees too large in fastest_poly2_mult."),
                  std::string::npos);
        EXPECT_TRUE(snapshot(a) == sa);
        EXPECT_TRUE(snapshot(b) == sb);
        EXPECT_EQ(read_poly(r, 2), (TermList{{5, {0, 0}}}));
        free_poly(&a);
        free_poly(&b);
        free_poly(&r);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(ModMultTest, TwoVariableRowsThatCancelOrVanish) {
    {
        RingScope ring({"65521", 65521, 1});
        // (x^31 + y)(x^31 - y) = x^62 - y^2: the row of x^31 cancels completely.
        polynode* a = build_poly(2, {{1, {31, 0}}, {1, {0, 1}}});
        polynode* b = build_poly(2, {{1, {31, 0}}, {-1, {0, 1}}});
        polynode* r = nullptr;
        fastest_poly2_mult(a, b, &r);
        EXPECT_TRUE(check_poly_shape(r, 2));
        EXPECT_EQ(read_poly(r, 2), canonical_terms(2, {{1, {62, 0}}, {-1, {0, 2}}}));
        free_poly(&a);
        free_poly(&b);
        free_poly(&r);
    }
    NumberGen g(12);
    for (const Ground& ground : {Ground{"12", 12, 0}, Ground{"65535", 65535, 0}}) {
        RingScope ring(ground);
        const long za = ground.m == 12 ? 6 : 255, zb = ground.m == 12 ? 2 : 257;
        for (int round = 0; round < 6; round++) {
            // Top rows, top words of rows, or everything a zero divisor.
            TermList ta = random_poly2(g, g.between(1, 30), g.between(1, 30), 70);
            TermList tb = random_poly2(g, g.between(1, 30), g.between(1, 30), 70);
            for (Term& t : ta)
                if (round >= 3 || t.exps[0] == ta.front().exps[0] || g.chance(30)) t.coef = za;
            for (Term& t : tb)
                if (round >= 3 || t.exps[0] == tb.front().exps[0] || g.chance(30)) t.coef = zb;
            check_poly2_product(ta, tb, std::string(ground.name) + " round " + std::to_string(round));
        }
    }
}

// ---------------------------------------------------------------- arrays and cells

TEST_F(ModMultTest, ArraysAndListsConvert) {
    RingScope ring({"12", 12, 0});
    RecordLedger ledger;
    const uint32_t words[] = {4, 0, 7, 0, 0, 0};   // top zero words are dropped
    polynode* p = nullptr;
    array_to_poly(words, 5, &p);
    EXPECT_TRUE(check_poly_shape(p, 1));
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{7, {2}}, {4, {0}}}));
    uint32_t back[8];
    std::fill(back, back + 8, 99u);
    int32_t deg = -5;
    fill_poly1_array(p, back, &deg);
    EXPECT_EQ(deg, 2);
    EXPECT_EQ(std::vector<uint32_t>(back, back + 4), (std::vector<uint32_t>{4, 0, 7, 99}));

    const uint32_t zeros[] = {0, 0, 0};
    array_to_poly(zeros, 2, &p);   // frees the old value
    EXPECT_TRUE(check_poly_shape(p, 1));
    EXPECT_TRUE(read_poly(p, 1).empty());
    const uint32_t three[] = {3};
    array_to_poly(three, 0, &p);
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{3, {0}}}));
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(array_to_poly(zeros, 0, &p), TarvexUnwind);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("bad x[0] in array_to_poly."), std::string::npos);
    free_poly(&p);

    // Rows: a vanished top row, an empty middle row, row 0 of degree 0.
    int32_t rowdeg[4] = {0, 1, -1, 2};
    x2[0][0] = 5;
    x2[1][0] = 0;
    x2[1][1] = 9;
    x2[3][0] = 0;
    x2[3][1] = 0;
    x2[3][2] = 0;
    array_to_poly2(x2, 3, rowdeg, &p);
    EXPECT_TRUE(check_poly_shape(p, 2));
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{9, {1, 1}}, {5, {0, 0}}}));
    int32_t deg2[4];
    fill_poly2_array(p, y2, deg2);
    EXPECT_EQ(deg2[0], 0);
    EXPECT_EQ(deg2[1], 1);
    EXPECT_EQ(y2[1][1], 9u);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(ModMultTest, QuotientByANumber) {
    NumberGen g(5);
    for (const Ground& ground : {Ground{"7", 7, 1}, Ground{"2147483629", 2147483629, 1}, Ground{"GF(2^16)", 65536, 1}}) {
        RingScope ring(ground);
        RecordLedger ledger;
        const TermList tp = random_poly(g, 30, 20);
        polynode* p = build_poly(1, tp);
        const uint32_t cv = nonzero(g);
        polynode* c = build_poly(1, {{static_cast<long>(cv), {0}}});
        polynode* q = nullptr;
        fastest_poly_quot(p, c, &q);
        ASSERT_TRUE(check_poly_shape(q, 1));
        EXPECT_EQ(ref_product(read_poly(q, 1), read_poly(c, 1)), read_poly(p, 1)) << ground.name;
        polynode* one = build_poly(1, {{1, {0}}});
        fastest_poly_quot(p, one, &q);
        ASSERT_TRUE(check_poly_shape(q, 1));
        EXPECT_EQ(read_poly(q, 1), read_poly(p, 1));
        ::testing::internal::CaptureStdout();
        EXPECT_THROW(fastest_poly_quot(p, p, &q), TarvexUnwind);
        EXPECT_NE(::testing::internal::GetCapturedStdout().find("divisor not number in fastest poly quot."),
                  std::string::npos);
        for (polynode** s : {&p, &c, &q, &one}) free_poly(s);
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST_F(ModMultTest, MixedRadixCellsRoundTrip) {
    RingScope ring({"65521", 65521, 1});
    RecordLedger ledger;
    NumberGen g(3);
    // Three levels of radices 3, 4 and 2: a block of 24 cells.
    const int32_t radix[3] = {3, 4, 2};
    pt* rec[3];
    for (int i = 0; i < 3; i++) {
        newpt(&rec[i]);
        rec[i]->modout_degree = radix[i];
        rec[i]->level = static_cast<int16_t>(i + 1);
    }
    rec[0]->next = rec[1];
    rec[1]->next = rec[2];
    rec[2]->next = nullptr;

    const int32_t stride = 30, offset = 5, row = 2;
    std::vector<quoly*> cells(2 * stride, nullptr);
    const CellLayout layout{stride, cells.data()};
    for (int round = 0; round < 5; round++) {
        TermList t;
        for (int32_t e0 = 0; e0 < 3; e0++)
            for (int32_t e1 = 0; e1 < 4; e1++)
                for (int32_t e2 = 0; e2 < 2; e2++)
                    if (g.chance(round == 4 ? 0 : 40)) t.emplace_back(static_cast<long>(nonzero(g)), Exps{e0, e1, e2});
        polynode* p = build_poly(3, t);
        const TermList want = read_poly(p, 3);
        dump_coeffs(p, row, offset, rec[0], &layout);
        // Cell of x^e0 y^e1 z^e2: (row - 1) * stride + offset + 8 e0 + 2 e1 + e2.
        Sparse expect = to_map(want);
        for (int32_t e0 = 0; e0 < 3; e0++)
            for (int32_t e1 = 0; e1 < 4; e1++)
                for (int32_t e2 = 0; e2 < 2; e2++) {
                    const quoly* q = cells[(row - 1) * stride + offset + 8 * e0 + 2 * e1 + e2];
                    ASSERT_NE(q, nullptr);
                    ASSERT_EQ(q->isnum, 1);
                    const auto it = expect.find(Exps{e0, e1, e2});
                    EXPECT_EQ(static_cast<uint32_t>(q->nnum->value), it == expect.end() ? 0u : it->second);
                }
        for (int32_t i = 0; i < 2 * stride; i++) {
            const bool inside = i >= stride + offset && i < stride + offset + 24;
            if (!inside) {
                EXPECT_EQ(cells[i], nullptr) << "cell " << i << " outside the block";
            }
        }
        polynode* r = nullptr;
        mult_out(&r, row, offset, rec[0], &layout);
        ASSERT_TRUE(check_poly_shape(r, 3));
        EXPECT_EQ(read_poly(r, 3), want) << g.trace();
        free_poly(&p);
        free_poly(&r);
    }
    for (quoly*& q : cells) free_quoly(&q);
    for (pt*& v : rec) free_pt(&v);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
