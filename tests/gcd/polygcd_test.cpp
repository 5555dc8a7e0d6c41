// The gcd contract on planted problems: with g, a, b random, G = gcd(g·a,
// g·b) is divisible by g, divides both operands, and equals the gcd that
// sympy computes independently (primitive with a positive leading
// coefficient over the integers, monic modulo a prime); the operands come
// back node for node; no record is lost. Also the cheap cases of the
// driver: numbers, zero, equal operands, monomials, common powers of the
// main variable, absent variables and large integer contents.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "gcd/exactdiv.h"
#include "gcd/polygcd.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "support/sympy_ref.h"
#include "toplevel/errors.h"

namespace {

using Exps = std::vector<int32_t>;

// A random polynomial: `terms` terms, degrees up to `deg` per variable;
// dense ones use every variable, sparse ones a few.
TermList random_poly(NumberGen& g, int nv, int terms, int deg, bool dense, bool big = true) {
    TermList t;
    for (int i = 0; i < terms; i++) {
        Exps e(nv, 0);
        for (int k = 0; k < nv; k++)
            if (dense || g.chance(40)) e[k] = g.below(deg + 1);
        mpz_class c;
        if (modulus)
            c = g.between(1, modulus - 1);
        else
            c = big && g.chance(10) ? g.digits(g.between(1, 3)) : mpz_class(g.between(1, 20));
        if (c == 0) c = 1;
        if (!modulus && g.chance(50)) c = -c;
        t.emplace_back(c, e);
    }
    return canonical_terms(nv, t);
}

std::string json_terms(const TermList& t) {
    std::string s = "[";
    for (size_t i = 0; i < t.size(); i++) {
        if (i) s += ",";
        s += "[\"" + t[i].coef.get_str() + "\",[";
        for (size_t k = 0; k < t[i].exps.size(); k++) {
            if (k) s += ",";
            s += std::to_string(t[i].exps[k]);
        }
        s += "]]";
    }
    return s + "]";
}

// The reference: sympy's gcd of each pair, normalised as the driver's
// answer is (positive leading coefficient over Z, monic mod p, lex order
// with the outermost variable first).
// mode "gcd": gcd(u, v); "content": the content of u w.r.t. x1; "dual":
// the gcd of the contents of u and v.
std::vector<TermList> sympy_ref(const std::string& mode, int nv, int32_t mod,
                                const std::vector<std::pair<TermList, TermList>>& pairs) {
    const ::testing::AssertionResult sympy = sympy_importable();
    EXPECT_TRUE(sympy);
    if (!sympy) return {};
    // Per process: several test binaries may run at once.
    const std::string base = "/tmp/polygcd_test_" + std::to_string(getpid());
    const std::string in = base + "_in.txt", out = base + "_out.txt", py = base + "_ref.py";
    {
        std::ofstream f(in);
        f << nv << " " << mod << " " << mode << "\n";
        for (const auto& p : pairs) f << json_terms(p.first) << "\n" << json_terms(p.second) << "\n";
    }
    const char* script =
        "import sys, json\n"
        "from sympy import symbols, Poly, GF, ZZ\n"
        "lines = open(sys.argv[1]).read().split('\\n')\n"
        "nv, mod, mode = lines[0].split(); nv = int(nv); mod = int(mod)\n"
        "xs = symbols('x1:%d' % (nv + 1))\n"
        "dom = GF(mod) if mod else ZZ\n"
        "def P(t):\n"
        "    d = {tuple(e): int(c) for c, e in json.loads(t)}\n"
        "    return Poly.from_dict(d, *xs, domain=dom) if d else Poly(0, *xs, domain=dom)\n"
        "out = open(sys.argv[2], 'w')\n"
        "for i in range(1, len(lines) - 1, 2):\n"
        "    a, b = P(lines[i]), P(lines[i + 1])\n"
        "    cont = lambda p: Poly(Poly(p.as_expr(), xs[0], domain=dom[xs[1:]] if nv > 1 else dom).primitive()[0].as_expr(), *xs, domain=dom)\n"
        "    g = a.gcd(b) if mode == 'gcd' else cont(a) if mode == 'content' else cont(a).gcd(cont(b))\n"
        "    if mod and not g.is_zero: g = g.monic()\n"
        "    if not mod and not g.is_zero and g.LC() < 0: g = -g\n"
        "    out.write(json.dumps([[str(int(c) % mod if mod else int(c)), list(m)] for m, c in g.terms()]) + '\\n')\n";
    std::ofstream(py) << script;
    std::string cmd = python_command() + " " + py + " " + in + " " + out;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::vector<TermList> res;
    std::ifstream f(out);
    std::string line;
    while (std::getline(f, line)) {
        TermList t;
        // [["c", [e1, ...]], ...]
        size_t i = 0;
        while ((i = line.find("[\"", i)) != std::string::npos) {
            size_t j = line.find('"', i + 2);
            std::string c = line.substr(i + 2, j - i - 2);
            size_t a = line.find('[', j), b = line.find(']', a);
            Exps e;
            std::stringstream ss(line.substr(a + 1, b - a - 1));
            std::string x;
            while (std::getline(ss, x, ',')) e.push_back(std::stoi(x));
            t.emplace_back(c, e);
            i = b;
        }
        res.push_back(canonical_terms(nv, t));
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    std::remove(py.c_str());
    return res;
}

bool divides(polynode* d, polynode* p, int nv) {
    if (poly_iszero(p)) return true;
    if (poly_iszero(d)) return false;
    if (d->numb && !d->next) {
        // A constant: modulo a prime a unit; over Z it divides every coefficient.
        if (modulus) return true;
        const mpz_class c = number_value(d->ncoef);
        for (const Term& t : read_poly(p, nv))
            if (!mpz_divisible_p(t.coef.get_mpz_t(), c.get_mpz_t())) return false;
        return true;
    }
    polynode* q = nullptr;
    int fail = -1;
    gen_poly_divide(p, d, &q, polynames, &fail);
    free_poly(&q);
    return fail == 0;
}

struct Problem {
    TermList g, a, b;
};

// Runs the driver on every problem with the caller's keep flags set, checks
// the contract and compares with the reference.
void check_problems(int nv, int32_t mod, const std::vector<Problem>& probs, const std::string& trace) {
    std::vector<std::pair<TermList, TermList>> pairs;
    for (const Problem& p : probs) pairs.emplace_back(product(nv, p.g, p.a), product(nv, p.g, p.b));
    const std::vector<TermList> want = sympy_ref("gcd", nv, mod, pairs);
    ASSERT_EQ(want.size(), probs.size());
    for (size_t i = 0; i < probs.size(); i++) {
        SCOPED_TRACE(trace + " case " + std::to_string(i) + " g=" + terms_to_string(probs[i].g) +
                     " a=" + terms_to_string(probs[i].a) + " b=" + terms_to_string(probs[i].b));
        RecordLedger ledger;
        {
            HeldPoly u(build_poly(nv, pairs[i].first)), v(build_poly(nv, pairs[i].second));
            HeldPoly g(build_poly(nv, probs[i].g)), G;
            const auto su = snapshot_nodes(u.p), sv = snapshot_nodes(v.p);
            reset_statement_state();
            Lpolygcd(&u.p, &v.p, &G.p, 1, polynames);
            ASSERT_TRUE(check_poly_shape(G.p, nv));
            EXPECT_EQ(read_poly(G.p, nv), want[i]);
            EXPECT_TRUE(snapshot_nodes(u.p) == su) << "u changed";
            EXPECT_TRUE(snapshot_nodes(v.p) == sv) << "v changed";
            EXPECT_EQ(read_poly(u.p, nv), pairs[i].first);
            EXPECT_EQ(read_poly(v.p, nv), pairs[i].second);
            EXPECT_TRUE(divides(g.p, G.p, nv)) << "planted factor lost";
            EXPECT_TRUE(divides(G.p, u.p, nv));
            EXPECT_TRUE(divides(G.p, v.p, nv));

            // The same pair handed over (keep flags 0): the driver may take
            // the operands' nodes; the caller still frees what is left.
            HeldPoly u2(build_poly(nv, pairs[i].first)), v2(build_poly(nv, pairs[i].second)), G2;
            reset_statement_state();
            polygcd(u2.p, v2.p, &G2.p, 0, 1, 1, polynames, 0, 0, 1);
            EXPECT_EQ(read_poly(G2.p, nv), want[i]);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

void planted(int nv, int32_t mod, bool dense, int count, uint64_t seed) {
    PrimeRing ring(mod);
    AttachedVars vars(nv);
    NumberGen r(seed);
    std::vector<Problem> probs;
    for (int it = 0; it < scaled(count); it++) {
        const int deg = dense ? (nv > 3 ? 1 : 2) : 3;
        Problem p;
        p.g = random_poly(r, nv, r.between(1, dense ? 4 : 3), deg, dense);
        p.a = random_poly(r, nv, r.between(1, dense ? 5 : 4), deg, dense);
        p.b = random_poly(r, nv, r.between(1, dense ? 5 : 4), deg, dense);
        switch (r.below(8)) {
            case 0: p.b = p.a; break;                                  // equal pair
            case 1: p.b = TermList{Term(1, Exps(nv, 0))}; break;       // g·b = g: divides g·a
            case 2:                                                    // a large common integer content
                if (!mod) {
                    mpz_class c = r.digits(3);
                    if (c == 0) c = 7;
                    for (Term& t : p.g) t.coef *= c;
                }
                break;
            default: break;
        }
        if (p.g.empty() || p.a.empty() || p.b.empty()) continue;
        probs.push_back(p);
    }
    check_problems(nv, mod, probs, r.trace());
}

TEST(PolyGcd, PlantedOverTheIntegersDense) {
    for (int nv = 1; nv <= 6; nv++) planted(nv, 0, true, nv <= 3 ? 30 : 12, 71400 + nv);
}
TEST(PolyGcd, PlantedOverTheIntegersSparse) {
    for (int nv = 1; nv <= 6; nv++) planted(nv, 0, false, 20, 71410 + nv);
}
TEST(PolyGcd, PlantedModuloSmallPrimes) {
    for (int nv = 1; nv <= 4; nv++) planted(nv, 7, nv < 3, 20, 71420 + nv);
    for (int nv = 1; nv <= 4; nv++) planted(nv, 65521, nv < 3, 20, 71430 + nv);
}
TEST(PolyGcd, PlantedModuloLargePrime) {
    for (int nv = 1; nv <= 3; nv++) planted(nv, 2147483629, nv < 3, 15, 71440 + nv);
}

// Larger operands whose coefficients share factors in the inner variables
// only (contents w.r.t. y and z besides x), so that the content split over
// the levels has something to find.
void planted_inner_contents(int32_t mod, int count, bool big, uint64_t seed) {
    const int nv = 3;
    PrimeRing ring(mod);
    AttachedVars vars(nv);
    NumberGen r(seed);
    std::vector<Problem> probs;
    for (int it = 0; it < scaled(count); it++) {
        Problem p;
        // Factors free of y (contents w.r.t. y) in the large problems, free
        // of x (contents w.r.t. x) in the others.
        const int free_of = big ? 0 : 1;
        TermList inner_u = random_poly(r, nv, r.between(2, 3), 2, false, big);
        TermList inner_v = random_poly(r, nv, r.between(2, 3), 2, false, big);
        for (Term& t : inner_u) t.exps[free_of] = 0;
        for (Term& t : inner_v) t.exps[free_of] = 0;
        inner_u = canonical_terms(nv, inner_u);
        inner_v = canonical_terms(nv, inner_v);
        const int terms = big ? 5 : 12;
        p.g = random_poly(r, nv, r.between(2, 4), 2, true, big);
        p.a = product(nv, inner_u, random_poly(r, nv, r.between(3, terms), 3, true, big));
        p.b = product(nv, inner_v, random_poly(r, nv, r.between(3, terms), 3, true, big));
        if (r.chance(50)) p.a = product(nv, p.a, inner_v);   // a shared inner factor
        if (p.g.empty() || p.a.empty() || p.b.empty()) continue;
        probs.push_back(p);
    }
    check_problems(nv, mod, probs, r.trace());
}

TEST(PolyGcd, PlantedInnerContents) {
    planted_inner_contents(0, 25, true, 71450);
    planted_inner_contents(65521, 25, true, 71451);
}
// Operands of more than 40 monomials with factors free of y: the contents
// are split off level by level.
TEST(PolyGcd, PlantedInnerContentsLarge) {
    planted_inner_contents(0, 4, false, 71452);
    planted_inner_contents(65521, 4, false, 71453);
}

// Hand-made cases: numbers, zero, monomials, powers of x, absent variables,
// coprime pairs and one operand dividing the other; values by hand.
struct Hand {
    TermList u, v, want;
};
void hand_cases(int32_t mod, const std::vector<Hand>& cases) {
    PrimeRing ring(mod);
    AttachedVars vars(3);
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE("case " + std::to_string(i));
        RecordLedger ledger;
        {
            HeldPoly u(build_poly(3, cases[i].u)), v(build_poly(3, cases[i].v)), G;
            const auto su = snapshot_nodes(u.p), sv = snapshot_nodes(v.p);
            reset_statement_state();
            polygcd(u.p, v.p, &G.p, 0, 1, 1, polynames, 1, 1, 1);
            ASSERT_TRUE(check_poly_shape(G.p, 3));
            EXPECT_EQ(read_poly(G.p, 3), canonical_terms(3, cases[i].want));
            EXPECT_TRUE(snapshot_nodes(u.p) == su);
            EXPECT_TRUE(snapshot_nodes(v.p) == sv);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

const Exps O{0, 0, 0};

TEST(PolyGcd, CheapCasesOverTheIntegers) {
    hand_cases(0, {
        {{{6, O}}, {{4, O}}, {{2, O}}},
        {{{-6, O}}, {{0, O}}, {{6, O}}},
        {{}, {}, {}},                                                      // gcd(0, 0) = 0
        {{}, {{-6, {1, 0, 0}}, {4, O}}, {{6, {1, 0, 0}}, {-4, O}}},        // gcd(0, p) = p, sign normalised
        {{{4, {1, 0, 0}}, {2, O}}, {}, {{4, {1, 0, 0}}, {2, O}}},            // not made primitive
        {{{6, O}}, {{4, {1, 0, 0}}, {2, O}}, {{2, O}}},
        {{{1, O}}, {{4, {1, 0, 0}}, {2, O}}, {{1, O}}},
        {{{1, {3, 1, 0}}}, {{1, {2, 2, 0}}}, {{1, {2, 1, 0}}}},             // x^3 y, x^2 y^2
        {{{6, {3, 1, 0}}}, {{-4, {2, 2, 0}}, {2, {1, 0, 1}}}, {{2, {1, 0, 0}}}},
        {{{1, {5, 0, 0}}, {1, {2, 0, 0}}}, {{1, {4, 0, 0}}, {-1, {3, 0, 0}}}, {{1, {2, 0, 0}}}},
        {{{1, {0, 2, 0}}, {-1, O}}, {{1, {2, 1, 0}}, {1, {0, 1, 0}}, {1, {2, 0, 0}}, {1, O}}, {{1, {0, 1, 0}}, {1, O}}},
        {{{1, {0, 1, 1}}}, {{1, {0, 2, 0}}, {1, {0, 1, 1}}}, {{1, {0, 1, 0}}}},  // x absent from both
        {{{1, {2, 0, 0}}, {-1, O}}, {{1, {2, 0, 0}}, {-2, {1, 0, 0}}, {1, O}}, {{1, {1, 0, 0}}, {-1, O}}},
        {{{1, {2, 0, 0}}, {1, O}}, {{1, {1, 0, 0}}, {1, O}}, {{1, O}}},    // coprime
        {{{-2, {1, 1, 0}}, {2, O}}, {{-2, {1, 1, 0}}, {2, O}}, {{2, {1, 1, 0}}, {-2, O}}},
    });
}

TEST(PolyGcd, CheapCasesModuloPrime) {
    hand_cases(7, {
        {{{3, O}}, {{5, O}}, {{1, O}}},
        {{}, {{3, {1, 0, 0}}, {1, O}}, {{1, {1, 0, 0}}, {5, O}}},                          // monic
        {{{2, {1, 1, 0}}, {2, O}}, {{4, {1, 1, 0}}, {4, O}}, {{1, {1, 1, 0}}, {1, O}}},
        // x^6 + y + 1 and x^4 + y^2 + 1: stride 2, coprime
        {{{1, {6, 0, 0}}, {1, {0, 1, 0}}, {1, O}}, {{1, {4, 0, 0}}, {1, {0, 2, 0}}, {1, O}}, {{1, O}}},
        // (x^2 + y)(x^4 + 1) and (x^2 + y)(x^2 + y + 1): stride 2 with a common factor
        {{{1, {6, 0, 0}}, {1, {4, 1, 0}}, {1, {2, 0, 0}}, {1, {0, 1, 0}}},
         {{1, {4, 0, 0}}, {2, {2, 1, 0}}, {1, {2, 0, 0}}, {1, {0, 2, 0}}, {1, {0, 1, 0}}},
         {{1, {2, 0, 0}}, {1, {0, 1, 0}}}},
    });
}

// gcd(x^6 - 1, x^4 - 1) = x^2 - 1 in one variable mod p, monic.
TEST(PolyGcd, OneVariableModuloPrime) {
    PrimeRing ring(13);
    AttachedVars vars(1);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(1, {{1, {6}}, {-1, {0}}})), v(build_poly(1, {{1, {4}}, {-1, {0}}})), G;
        polygcd(u.p, v.p, &G.p, 0, 1, 1, polynames, 1, 1, 1);
        EXPECT_EQ(read_poly(G.p, 1), canonical_terms(1, {{1, {2}}, {-1, {0}}}));
    }
    EXPECT_TRUE(ledger.balanced());
}

// With test_only set and both operands divisible by x the answer is x^min at once.
TEST(PolyGcd, TestOnlyCommonPower) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(2, {{1, {5, 0}}, {1, {2, 1}}})), v(build_poly(2, {{1, {4, 1}}, {3, {3, 0}}})), G;
        const auto su = snapshot_nodes(u.p), sv = snapshot_nodes(v.p);
        polygcd(u.p, v.p, &G.p, 1, 1, 1, polynames, 1, 1, 1);
        EXPECT_EQ(read_poly(G.p, 2), canonical_terms(2, {{1, {2, 0}}}));
        EXPECT_TRUE(snapshot_nodes(u.p) == su);
        EXPECT_TRUE(snapshot_nodes(v.p) == sv);
    }
    EXPECT_TRUE(ledger.balanced());
}

// A primitive pair with multi-digit coefficients from a planted problem:
// the gcd (17424702 x z - 1) is found by the last-resort method (sympy
// agrees; the first pseudo-remainder matches sympy's).
TEST(PolyGcd, MultiDigitPrimitivePair) {
    PrimeRing ring(0);
    AttachedVars vars(3);
    RecordLedger ledger;
    {
        HeldPoly u(build_poly(3, {{-296219934, {3, 2, 3}}, {-174247020, {3, 0, 1}}, {243945845, {2, 2, 2}},
                                  {191671722, {2, 0, 3}}, {10, {2, 0, 0}}, {"6704011734684646", {1, 2, 1}},
                                  {-243945828, {1, 0, 3}}, {-11, {1, 0, 2}}, {-384741830, {0, 2, 0}},
                                  {14, {0, 0, 2}}}));
        HeldPoly v(build_poly(3, {{-174247020, {3, 1, 1}}, {-121972914, {2, 2, 3}}, {10, {2, 1, 0}},
                                  {-156822318, {2, 0, 1}}, {"1254902578493575120551936", {1, 2, 3}},
                                  {7, {1, 2, 2}}, {-156822318, {1, 1, 2}}, {-331069338, {1, 0, 1}},
                                  {9, {1, 0, 0}}, {"-72018596271751168", {0, 2, 2}}, {9, {0, 1, 1}},
                                  {19, {0, 0, 0}}}));
        HeldPoly G;
        polygcd(u.p, v.p, &G.p, 0, 1, 1, polynames, 1, 1, 1);
        EXPECT_EQ(read_poly(G.p, 3), canonical_terms(3, {{17424702, {1, 0, 1}}, {-1, {0, 0, 0}}}));
    }
    EXPECT_TRUE(ledger.balanced());
}

// The contents w.r.t. x against sympy: content(u) and dual_content(u, v),
// where u and v carry a planted inner factor g(y, z). The content routines
// answer one level inside (a polynomial in y, z), padded back here.
TEST(PolyGcd, ContentsAgainstReference) {
    for (int32_t mod : {0, 65521}) {
        const int nv = 3;
        PrimeRing ring(mod);
        AttachedVars vars(nv);
        NumberGen r(71460 + mod);
        std::vector<std::pair<TermList, TermList>> pairs;
        for (int it = 0; it < scaled(60); it++) {
            const bool big = it % 2;
            TermList g = random_poly(r, nv, r.between(1, 3), 2, false, big);
            for (Term& t : g) t.exps[0] = 0;
            g = canonical_terms(nv, g);
            const TermList u = product(nv, g, random_poly(r, nv, r.between(2, 8), 3, true, big));
            const TermList v = product(nv, g, random_poly(r, nv, r.between(2, 8), 3, true, big));
            if (u.empty() || v.empty() || u.front().exps[0] == 0 || v.front().exps[0] == 0) continue;
            pairs.emplace_back(u, v);
        }
        const std::vector<TermList> cu_want = sympy_ref("content", nv, mod, pairs);
        const std::vector<TermList> cuv_want = sympy_ref("dual", nv, mod, pairs);
        ASSERT_EQ(cu_want.size(), pairs.size());
        ASSERT_EQ(cuv_want.size(), pairs.size());
        for (size_t i = 0; i < pairs.size(); i++) {
            SCOPED_TRACE("case " + std::to_string(i) + " u=" + terms_to_string(pairs[i].first) +
                         " v=" + terms_to_string(pairs[i].second));
            RecordLedger ledger;
            {
                HeldPoly u(build_poly(nv, pairs[i].first)), v(build_poly(nv, pairs[i].second)), c, d;
                const auto su = snapshot_nodes(u.p), sv = snapshot_nodes(v.p);
                reset_statement_state();
                content(u.p, &c.p, polynames, 0, 1, 1);
                add_pad(&c.p, c.p->numb && !c.p->next ? 0 : 1);
                EXPECT_EQ(read_poly(c.p, nv), cu_want[i]);
                dual_content(u.p, v.p, &d.p, polynames, 0, 1, 1, 1);
                add_pad(&d.p, d.p->numb && !d.p->next ? 0 : 1);
                EXPECT_EQ(read_poly(d.p, nv), cuv_want[i]);
                EXPECT_TRUE(snapshot_nodes(u.p) == su);
                EXPECT_TRUE(snapshot_nodes(v.p) == sv);
            }
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

// Laurent operands: the negative powers are shifted away around the gcd and
// put back on the operands.
TEST(PolyGcd, LaurentEntry) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    const int was = laurent;
    laurent = 1;
    RecordLedger ledger;
    {
        const TermList u0 = canonical_terms(2, {{1, {0, 0}}, {1, {-1, 0}}});   // 1 + 1/x
        const TermList v0 = canonical_terms(2, {{1, {2, 0}}, {-1, {0, 0}}});   // x^2 - 1
        HeldPoly u(build_poly(2, u0)), v(build_poly(2, v0)), G;
        Lpolygcd(&u.p, &v.p, &G.p, 1, polynames);
        EXPECT_EQ(read_poly(G.p, 2), canonical_terms(2, {{1, {1, 0}}, {1, {0, 0}}}));
        EXPECT_EQ(read_poly(u.p, 2), u0);
        EXPECT_EQ(read_poly(v.p, 2), v0);
    }
    EXPECT_TRUE(ledger.balanced());
    laurent = was;
}

}  // namespace
