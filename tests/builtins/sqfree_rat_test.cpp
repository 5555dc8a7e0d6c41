// Square-free decomposition over the rationals (Yun's method, with the
// content in the main variable decomposed one level down) and modulo p:
// hand-checked edge cases, and planted random inputs whose answers sympy
// checks (the parts to their multiplicities give the input up to a number;
// parts square-free and pairwise coprime; for each multiplicity the product
// of its parts equals sympy's part). reduce2's restart is driven by a
// wrong gcd.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "builtins/factor.h"
#include "ff_setup.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "support/expect_error.h"
#include "support/poly_ref.h"
#include "support/sympy_ref.h"

namespace {

struct Record {
    int32_t mult;
    TermList part;
};

std::vector<Record> decompose(int nv, const TermList& f, int32_t* count_out = nullptr) {
    polynode* p = build_poly(nv, f);
    polynode* list = nullptr;
    int32_t count = -1;
    total_sq_free(&p, &list, &count, 1, polynames);
    std::vector<Record> r;
    for (polynode* c = list; c; c = c->next) r.push_back({c->exp, read_poly(c->pcoef, nv)});
    free_poly(&list);
    free_poly(&p);
    if (count_out) *count_out = count;
    EXPECT_EQ(count, static_cast<int32_t>(r.size()));
    return r;
}

std::string expr(int nv, const TermList& t) {
    static const char* names[] = {"x", "y"};
    std::ostringstream s;
    s << "0";
    for (const Term& term : t) {
        s << "+(" << term.coef.get_str() << ")";
        for (int k = 0; k < nv; k++) s << "*" << names[k] << "**" << term.exps[k];
    }
    return s.str();
}

TEST(TotalSqFree, EdgeCasesOverTheRationals) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    // x^2 - 2x + 1: one record (2, x - 1).
    auto r = decompose(1, {{1, {2}}, {-2, {1}}, {1, {0}}});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].mult, 2);
    EXPECT_EQ(r[0].part, canonical_terms(1, {{1, {1}}, {-1, {0}}}));
    // (x - 1)(x - 2)^3 = x^4 - 7x^3 + 18x^2 - 20x + 8: (3, x - 2) then (1, x - 1).
    r = decompose(1, {{1, {4}}, {-7, {3}}, {18, {2}}, {-20, {1}}, {8, {0}}});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].mult, 3);
    EXPECT_EQ(r[0].part, canonical_terms(1, {{1, {1}}, {-2, {0}}}));
    EXPECT_EQ(r[1].mult, 1);
    EXPECT_EQ(r[1].part, canonical_terms(1, {{1, {1}}, {-1, {0}}}));
    // 6x^2 + 6: the number content is dropped.
    r = decompose(1, {{6, {2}}, {6, {0}}});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].mult, 1);
    EXPECT_EQ(r[0].part, canonical_terms(1, {{1, {2}}, {1, {0}}}));
    // A number gives no record.
    EXPECT_TRUE(decompose(1, {{12, {0}}}).empty());
}

TEST(TotalSqFree, ContentRecordsFollowThePrimitivePart) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    // (y + 1)^2 (x^2 + y)^3 (x + 1): primitive records (3, x^2 + y), (1, x + 1),
    // then the content's (2, y + 1).
    const TermList a = {{1, {2, 0}}, {1, {0, 1}}}, b = {{1, {1, 0}}, {1, {0, 0}}}, c = {{1, {0, 1}}, {1, {0, 0}}};
    TermList f = product(2, product(2, product(2, a, a), a), product(2, product(2, c, c), b));
    const auto r = decompose(2, f);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].mult, 3);
    EXPECT_EQ(r[0].part, canonical_terms(2, a));
    EXPECT_EQ(r[1].mult, 1);
    EXPECT_EQ(r[1].part, canonical_terms(2, b));
    EXPECT_EQ(r[2].mult, 2);
    EXPECT_EQ(r[2].part, canonical_terms(2, c));
}

const char* kSympyCheck = R"PY(
import sys
from sympy import symbols, sympify, Poly, gcd
x, y = symbols('x y')
for line in sys.stdin:
    head, rest = line.split('#')
    p, nv = (int(t) for t in head.split(','))
    fields = rest.strip().split('|')
    gens = (x, y)[:nv]
    dom = {'modulus': p} if p else {}
    P = lambda e: Poly(sympify(e), *gens, **dom)
    F = P(fields[0])
    parts = [(int(t.split(':')[0]), P(t.split(':')[1])) for t in fields[1:]]
    msg = 'ok'
    prod = P('1')
    for m, g in parts:
        prod = prod * g ** m
    if not (prod * F.LC() - F * prod.LC()).is_zero:
        msg = 'product differs'
    for i, (m, g) in enumerate(parts):
        if any(k > 1 for _, k in g.sqf_list()[1]):
            msg = 'part %d not square-free' % i
        for j in range(i + 1, len(parts)):
            if not gcd(g, parts[j][1]).is_ground:
                msg = 'parts %d and %d share a factor' % (i, j)
    ref = {}
    for g, m in F.sqf_list()[1]:
        ref[m] = ref.get(m, P('1')) * g
    ours = {}
    for m, g in parts:
        ours[m] = ours.get(m, P('1')) * g
    if sorted(ref) != sorted(ours):
        msg = 'multiplicities %s, sympy %s' % (sorted(ours), sorted(ref))
    else:
        for m in ref:
            a, b = ref[m], ours[m]
            if not (a * b.LC() - b * a.LC()).is_zero:
                msg = 'multiplicity %d differs' % m
    print(msg)
)PY";

TermList random_part(int nv, std::mt19937_64& rng, int32_t p) {
    TermList t;
    const int d = 1 + static_cast<int>(rng() % 3);
    t.push_back({1 + static_cast<long>(rng() % 3), nv == 1 ? std::vector<int32_t>{d} : std::vector<int32_t>{d, 0}});
    for (int i = 0; i < d + 1; i++) {
        long c = static_cast<long>(rng() % 7) - 3;
        if (p) c = (c + p) % p;
        const int32_t e = static_cast<int32_t>(rng() % d);
        if (nv == 1)
            t.push_back({c, {e}});
        else
            t.push_back({c, {e, static_cast<int32_t>(rng() % 2)}});
    }
    return t;
}

void planted_against_sympy(int nv, int32_t p, int cases) {
    ASSERT_TRUE(sympy_importable());
    std::mt19937_64 rng(static_cast<uint64_t>(p) * 7 + nv);
    std::vector<std::string> lines;
    for (int c = 0; c < cases; c++) {
        TermList f = canonical_terms(nv, {{1 + static_cast<long>(rng() % 5), std::vector<int32_t>(nv, 0)}});
        const int pieces = 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < pieces; i++) {
            const TermList g = random_part(nv, rng, p);
            const int m = 1 + static_cast<int>(rng() % 3);
            for (int k = 0; k < m; k++) f = product(nv, f, g);
        }
        if (nv == 2 && c % 2) {   // a content in y
            const TermList cy = {{1, {0, 1}}, {static_cast<long>(1 + rng() % 3), {0, 0}}};
            f = product(nv, product(nv, f, cy), cy);
        }
        if (f.empty() || (f.size() == 1 && f[0].exps == std::vector<int32_t>(nv, 0))) continue;
        const auto r = decompose(nv, f);
        std::string line = std::to_string(p) + "," + std::to_string(nv) + "#" + expr(nv, f);
        for (const Record& rec : r) line += "|" + std::to_string(rec.mult) + ":" + expr(nv, rec.part);
        lines.push_back(line);
    }
    const auto ref = run_sympy(kSympyCheck, lines);
    ASSERT_EQ(ref.size(), lines.size());
    for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(ref[i], "ok") << lines[i];
}

TEST(TotalSqFree, PlantedOverTheRationalsAgainstSympy) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    planted_against_sympy(1, 0, 30);
}

TEST(TotalSqFree, PlantedBivariateOverTheRationalsAgainstSympy) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    planted_against_sympy(2, 0, 20);
}

TEST(TotalSqFree, PlantedModuloPAgainstSympy) {
    for (int32_t p : {3, 7, 65521}) {
        PrimeRing ring(p);
        AttachedVars vars(1);
        planted_against_sympy(1, p, 15);
    }
}

TEST(Reduce2, AWrongGcdIsRecomputed) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    // a = (x + 1)(x + 2), b = (x + 1)(x + 3); the gcd handed in is x + 5.
    BuiltPoly a(1, {{1, {2}}, {3, {1}}, {2, {0}}}), b(1, {{1, {2}}, {4, {1}}, {3, {0}}});
    polynode* g = build_poly(1, {{1, {1}}, {5, {0}}});
    polynode *o1 = nullptr, *o2 = nullptr;
    const int32_t before = reduce2_restarts;
    reduce2(a, b, &g, &o1, &o2, polynames);
    EXPECT_EQ(reduce2_restarts, before + 1);
    EXPECT_EQ(read_poly(g, 1), canonical_terms(1, {{1, {1}}, {1, {0}}}));
    EXPECT_EQ(read_poly(o1, 1), canonical_terms(1, {{1, {1}}, {2, {0}}}));
    EXPECT_EQ(read_poly(o2, 1), canonical_terms(1, {{1, {1}}, {3, {0}}}));
    free_poly(&g);
    free_poly(&o1);
    free_poly(&o2);
}


bool exact_road_taken = false;
void always_wrong(polynode*, polynode*, polynode** g, pt*, bool exact) {
    if (exact) exact_road_taken = true;
    free_poly(g);
    *g = build_poly(1, {{1, {1}}, {7, {0}}});
}

TEST(Reduce2, AGcdThatNeverDividesEndsInAFatalErrorNotALoop) {
    PrimeRing ring(0);
    AttachedVars vars(1);
    BuiltPoly a(1, {{1, {2}}, {3, {1}}, {2, {0}}}), b(1, {{1, {2}}, {4, {1}}, {3, {0}}});
    polynode* g = build_poly(1, {{1, {1}}, {5, {0}}});
    polynode *o1 = nullptr, *o2 = nullptr;
    const int32_t before = reduce2_restarts;
    auto saved = reduce2_gcd;
    reduce2_gcd = always_wrong;
    bool unwound = false;
    ::testing::internal::CaptureStdout();
    try {
        reduce2(a, b, &g, &o1, &o2, polynames);
    } catch (const TarvexUnwind&) {
        unwound = true;
    }
    const std::string out = ::testing::internal::GetCapturedStdout();
    reduce2_gcd = saved;
    EXPECT_TRUE(unwound);
    EXPECT_TRUE(exact_road_taken);
    EXPECT_NE(out.find("reduce2"), std::string::npos) << out;
    EXPECT_EQ(reduce2_restarts, before + REDUCE2_RESTARTS + 1);
    EXPECT_EQ(o1, nullptr);
    free_poly(&g);
}

}  // namespace
