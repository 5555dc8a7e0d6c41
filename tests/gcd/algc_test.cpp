// Algorithm C on planted problems over Z and Z/p in 1 to 4 variables: with
// g, a, b random and primitive in x, G = gcd(g·a, g·b) is divisible by g and
// divides both inputs; over Z it equals the gcd sympy computes independently
// (which proves the cofactors coprime), over Z/p it is monic and the
// cofactors are proved coprime by a test-side Euclid on specialisations.
// The sequence is run directly on a driver working state, both with
// abandonment ruled out and allowed; the variable levels, the operands the
// caller keeps and the record count come back as they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gcd/algc.h"
#include "gcd/exactdiv.h"
#include "gcd/gcd_state.h"
#include "gcd/polygcd.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/poly_ref.h"
#include "support/random_numbers.h"
#include "support/sympy_ref.h"
#include "toplevel/errors.h"

extern int globalpoly;

namespace {

constexpr int NV = 4;

struct Ring {
    RingStateGuard saved;
    int32_t count = alg_c_count;
    explicit Ring(int32_t m) {
        load_data_once();
        init_poly_work_arrays();
        modularmode = m != 0;
        lintmode = m != 0;
        install_modulus(m);
        mod_is_prime = m != 0;
    }
    ~Ring() { alg_c_count = count; }
};

// Runs the sequence on the working pair as the driver hands it over. keep:
// the caller's operands are lent (the driver does not own them yet).
polynode* run_alg_c(polynode* u, polynode* v, bool keep, int32_t abandonments_so_far, pt* vars = polynames) {
    alg_c_count = abandonments_so_far;
    polynode* wu = u;
    polynode* wv = v;
    polynode* g = nullptr;
    int test_only = 0;
    gcd_state st{};
    st.test_only = &test_only;
    st.vars = &vars;
    st.u = &wu;
    st.v = &wv;
    st.g = &g;
    st.stride = 1;
    st.depth_u = st.depth_v = -1;
    st.keep_u = st.keep_v = keep;
    st.allow_tests = st.allow_split = 1;
    st.degree_bound = 1;
    if (!keep) {
        wu = nullptr;
        wv = nullptr;
        poly_assign(u, &wu);
        poly_assign(v, &wv);
        st.owns_u = st.owns_v = 1;
    }
    algorithm_c(&st, 1, 1);
    EXPECT_EQ(wu, nullptr);
    EXPECT_EQ(wv, nullptr);
    return g;
}

// ---------------------------------------------------------------- the independent reference

std::string poly_text(const TermList& t) {
    std::ostringstream os;
    os << "[";
    for (const Term& s : t) {
        os << "(" << s.coef.get_str() << ",(";
        for (int32_t e : s.exps) os << e << ",";
        os << ")),";
    }
    os << "]";
    return os.str();
}

// gcd of each pair by sympy (over Z, or over GF(p) when p > 0), as term lists.
::testing::AssertionResult sympy_gcds(const std::vector<std::pair<TermList, TermList>>& pairs, int32_t p,
                                      std::vector<TermList>* out) {
    if (::testing::AssertionResult sympy = sympy_importable(); !sympy) return sympy;
    const std::string script = ::testing::TempDir() + "algc_ref.py";
    {
        std::ofstream py(script);
        py << "import sys\nfrom sympy import Poly, symbols, ZZ, GF\n"
           << "X = symbols('x1:" << NV + 1 << "')\np = " << p << "\n"
           << "dom = GF(p, symmetric=False) if p else ZZ\n"
           << "def mk(t):\n    return Poly.from_dict({e: c for c, e in t} if t else {(0,)*" << NV
           << ": 0}, *X, domain=dom)\n"
           << "for line in sys.stdin:\n    a, b = eval(line)\n    g = mk(a).gcd(mk(b))\n"
           << "    print(';'.join(str(int(c) % p if p else int(c)) + ' ' + ' '.join(map(str, m)) "
              "for m, c in g.terms()))\n";
    }
    const std::string input = ::testing::TempDir() + "algc_ref.in";
    {
        std::ofstream in(input);
        for (const auto& [a, b] : pairs) in << "(" << poly_text(a) << "," << poly_text(b) << ")\n";
    }
    FILE* f = popen((python_command() + " " + script + " < " + input + " 2>/dev/null").c_str(), "r");
    if (!f) return ::testing::AssertionFailure() << "the sympy reference script could not be started";
    char buf[1 << 16];
    while (fgets(buf, sizeof buf, f)) {
        TermList t;
        std::istringstream line(buf);
        std::string term;
        while (std::getline(line, term, ';')) {
            std::istringstream ts(term);
            std::string c;
            if (!(ts >> c)) continue;
            std::vector<int32_t> e(NV);
            for (int k = 0; k < NV; k++) ts >> e[k];
            t.emplace_back(mpz_class(c), e);
        }
        out->push_back(canonical_terms(NV, t));
    }
    if (pclose(f) != 0 || out->size() != pairs.size())
        return ::testing::AssertionFailure() << "the sympy reference script failed";
    return ::testing::AssertionSuccess();
}

// t with a positive leading coefficient (sympy's sign convention may differ).
TermList positive(TermList t) {
    if (!t.empty() && t.front().coef < 0)
        for (Term& s : t) s.coef = -s.coef;
    return t;
}

// ---------------------------------------------------------------- coprimality modulo p, by specialisation

using UPoly = std::vector<mpz_class>;   // coefficients mod p, index = exponent of x1

void trim(UPoly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}

// t with x2 .. x4 put to pts, reduced mod p.
UPoly specialise(const TermList& t, const std::vector<mpz_class>& pts, const mpz_class& p) {
    UPoly out;
    for (const Term& s : t) {
        mpz_class c = s.coef;
        for (int k = 1; k < NV; k++) {
            mpz_class w;
            mpz_powm_ui(w.get_mpz_t(), pts[k].get_mpz_t(), s.exps[k], p.get_mpz_t());
            c = c * w % p;
        }
        if (out.size() <= static_cast<size_t>(s.exps[0])) out.resize(s.exps[0] + 1);
        out[s.exps[0]] = (out[s.exps[0]] + c) % p;
    }
    for (mpz_class& c : out)
        if (c < 0) c += p;
    trim(out);
    return out;
}

// Plain Euclid mod p: the degree of gcd(a, b), -1 when both vanish.
int32_t gcd_degree(UPoly a, UPoly b, const mpz_class& p) {
    while (!b.empty()) {
        mpz_class inv;
        mpz_invert(inv.get_mpz_t(), b.back().get_mpz_t(), p.get_mpz_t());
        while (a.size() >= b.size()) {
            const mpz_class f = a.back() * inv % p;
            const size_t shift = a.size() - b.size();
            for (size_t i = 0; i < b.size(); i++) {
                a[i + shift] = (a[i + shift] - f * b[i]) % p;
                if (a[i + shift] < 0) a[i + shift] += p;
            }
            trim(a);
        }
        std::swap(a, b);
    }
    return static_cast<int32_t>(a.size()) - 1;
}

// A and B (primitive in x1) are coprime mod p: at a point where A keeps its
// x1-degree, a common factor of positive degree would survive in the images.
::testing::AssertionResult coprime_mod_p(const TermList& A, const TermList& B, int32_t prime, NumberGen& gen) {
    const mpz_class p = prime;
    int32_t degA = 0;
    for (const Term& s : A) degA = std::max(degA, s.exps[0]);
    for (int attempt = 0; attempt < 20; attempt++) {
        std::vector<mpz_class> pts(NV);
        for (int k = 1; k < NV; k++) pts[k] = gen.between(1, prime - 1);
        UPoly a = specialise(A, pts, p), b = specialise(B, pts, p);
        if (static_cast<int32_t>(a.size()) - 1 != degA) continue;
        if (gcd_degree(a, b, p) == 0) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "cofactors share a factor: " << terms_to_string(A) << " and "
                                         << terms_to_string(B);
}

// ---------------------------------------------------------------- planted problems

int32_t coef(NumberGen& g) {
    if (modulus) return g.between(1, modulus - 1);
    const int32_t c = g.between(1, 20);
    return g.chance(50) ? -c : c;
}

// Degree 1..dmax in x1, constant term exactly 1 so that the factor (and any
// product of such factors) is primitive w.r.t. x1 and has no power of x1 in
// common with another; the other nv - 1 variables appear in the coefficients.
TermList factor(NumberGen& g, int nv, int32_t dmax, int n) {
    TermList t;
    const int32_t d = g.between(1, dmax);
    std::vector<int32_t> lead(NV, 0);
    lead[0] = d;
    for (int k = 1; k < nv; k++) lead[k] = g.below(2);
    t.emplace_back(coef(g), lead);
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> e(NV, 0);
        e[0] = g.between(1, d);
        for (int k = 1; k < nv; k++) e[k] = g.below(3);
        t.emplace_back(coef(g), e);
    }
    t.emplace_back(1, std::vector<int32_t>(NV, 0));
    TermList c = canonical_terms(NV, t);
    bool has_x = false;
    for (const Term& s : c) has_x = has_x || s.exps[0] > 0;
    if (!has_x) c = canonical_terms(NV, {{1, lead}, {1, std::vector<int32_t>(NV, 0)}});
    return c;
}

using Exps = std::vector<int32_t>;

struct Case {
    TermList g, u, v;
};

// Levels and the shift marker as they were before the call.
void expect_levels_intact() {
    int16_t level = 1;
    for (pt* p = polynames; p; p = p->next) EXPECT_EQ(p->level, level++);
    EXPECT_EQ(globalpoly, 0);
}

void planted(int32_t mod, uint64_t seed, int iterations) {
    Ring ring(mod);
    AttachedVars vars(NV);
    NumberGen gen(seed);
    std::vector<Case> cases;
    for (int it = 0; it < iterations; it++) {
        const int nv = gen.between(1, NV);
        Case c;
        c.g = factor(gen, nv, 3, gen.between(0, 4));
        TermList a = factor(gen, nv, 3, gen.between(0, 4));
        TermList b = gen.chance(15) ? a : factor(gen, nv, 3, gen.between(0, 4));   // b = a: v divides... u = v
        if (gen.chance(15)) b = product(NV, a, factor(gen, nv, 2, 2));                  // v a multiple of u
        c.u = product(NV, c.g, a);
        c.v = product(NV, c.g, b);
        cases.push_back(c);
    }
    std::vector<std::pair<TermList, TermList>> pairs;
    for (const Case& c : cases) pairs.emplace_back(c.u, c.v);
    // sympy's gcd modulo p is far too slow for many cases; there the
    // cofactors are proved coprime by specialisation instead.
    std::vector<TermList> ref;
    if (!mod) {
        ASSERT_TRUE(sympy_gcds(pairs, mod, &ref));
    }

    const int16_t depth = field_depth;
    for (size_t i = 0; i < cases.size(); i++) {
        const Case& c = cases[i];
        SCOPED_TRACE(gen.trace() + " case " + std::to_string(i) + " u=" + terms_to_string(c.u) +
                     " v=" + terms_to_string(c.v));
        RecordLedger ledger;
        {
            HeldPoly u(build_poly(NV, c.u)), v(build_poly(NV, c.v)), g(build_poly(NV, c.g));
            const bool keep = i % 2 == 0;
            polynode* const u_first = u.p;
            // 4 abandonments so far: this statement may abandon no more (forced).
            HeldPoly G(run_alg_c(u.p, v.p, keep, 4));
            ASSERT_TRUE(check_poly_shape(G.p, NV));
            const TermList got = read_poly(G.p, NV);
            TermList A, B;
            EXPECT_TRUE(divides_exactly(g.p, G.p, NV)) << terms_to_string(got);
            EXPECT_TRUE(divides_exactly(G.p, u.p, NV, &A)) << terms_to_string(got);
            EXPECT_TRUE(divides_exactly(G.p, v.p, NV, &B)) << terms_to_string(got);
            if (mod) {
                ASSERT_FALSE(got.empty());
                EXPECT_EQ(got.front().coef, 1);
                EXPECT_TRUE(coprime_mod_p(A, B, mod, gen));
            } else {
                EXPECT_EQ(got, positive(ref[i]));
                ASSERT_FALSE(got.empty());
                EXPECT_GT(got.front().coef, 0);
            }
            // The lent operands come back as they were, from the same first node.
            EXPECT_EQ(u.p, u_first);
            EXPECT_EQ(read_poly(u.p, NV), c.u);
            EXPECT_EQ(read_poly(v.p, NV), c.v);
            EXPECT_TRUE(check_poly_shape(u.p, NV));
            // Abandonment allowed: the driver may take the pair back; same answer.
            HeldPoly G2(run_alg_c(u.p, v.p, keep, 0));
            EXPECT_EQ(read_poly(G2.p, NV), got);
        }
        EXPECT_TRUE(ledger.balanced());
        expect_levels_intact();
        EXPECT_EQ(field_depth, depth);
    }
}

// ---------------------------------------------------------------- tests

TEST(AlgorithmC, HandCases) {
    Ring z(0);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        // gcd(x^2 - 1, x^2 - 2x + 1) = x - 1: primitive, positive leading coefficient.
        HeldPoly u(build_poly(NV, {{1, {2, 0, 0, 0}}, {-1, {0, 0, 0, 0}}}));
        HeldPoly v(build_poly(NV, {{1, {2, 0, 0, 0}}, {-2, {1, 0, 0, 0}}, {1, {0, 0, 0, 0}}}));
        HeldPoly G(run_alg_c(u.p, v.p, true, 4));
        EXPECT_EQ(read_poly(G.p, NV), canonical_terms(NV, {{1, {1, 0, 0, 0}}, {-1, {0, 0, 0, 0}}}));
        // Coprime: the sequence ends in a constant, the gcd is 1.
        HeldPoly w(build_poly(NV, {{1, {3, 0, 0, 0}}, {1, {1, 1, 0, 0}}, {1, {0, 0, 0, 0}}}));
        HeldPoly C(run_alg_c(u.p, w.p, false, 4));
        EXPECT_EQ(read_poly(C.p, NV), canonical_terms(NV, {{1, {0, 0, 0, 0}}}));
        // A gcd with a leading coefficient in y: (y x + 1)(x - y) and (y x + 1)(x + 2).
        HeldPoly a(build_poly(NV, {{1, {2, 1, 0, 0}}, {-1, {1, 2, 0, 0}}, {1, {1, 0, 0, 0}}, {-1, {0, 1, 0, 0}}}));
        HeldPoly b(build_poly(NV, {{1, {2, 1, 0, 0}}, {2, {1, 1, 0, 0}}, {1, {1, 0, 0, 0}}, {2, {0, 0, 0, 0}}}));
        HeldPoly D(run_alg_c(a.p, b.p, true, 4));
        EXPECT_EQ(read_poly(D.p, NV), canonical_terms(NV, {{1, {1, 1, 0, 0}}, {1, {0, 0, 0, 0}}}));
    }
    EXPECT_TRUE(ledger.balanced());
}

// A leading coefficient in x1 of many terms beside a one-term leading
// coefficient in an inner variable: the sequence runs with that variable on
// top, at the outermost level (levels shifted) and one level in.
void better_main_variable(int32_t mod) {
    Ring ring(mod);
    AttachedVars vars(NV);
    RecordLedger ledger;
    for (int inner = 0; inner < 2; inner++) {
        SCOPED_TRACE(inner ? "main variable x2" : "main variable x1");
        // With inner = 1 every variable index moves one level in.
        auto ex = [&](std::vector<int32_t> e) {
            std::vector<int32_t> out(NV, 0);
            for (size_t k = 0; k + inner < static_cast<size_t>(NV) && k < e.size(); k++) out[k + inner] = e[k];
            return out;
        };
        const TermList g = canonical_terms(NV, {{1, ex({3, 0, 2, 0})}, {2, ex({3, 0, 1, 1})}, {1, ex({3, 0, 0, 2})},
                                                {3, ex({3, 0, 1, 0})}, {2, ex({3, 0, 0, 0})}, {1, ex({0, 2, 0, 0})},
                                                {1, ex({0, 0, 0, 0})}});
        const TermList a = canonical_terms(NV, {{1, ex({2, 0, 1, 0})}, {-1, ex({2, 0, 0, 1})}, {2, ex({2, 0, 0, 0})},
                                                {1, ex({0, 1, 0, 0})}, {1, ex({1, 0, 0, 0})}, {3, ex({0, 0, 0, 0})}});
        const TermList b = canonical_terms(NV, {{1, ex({3, 0, 1, 0})}, {1, ex({3, 0, 0, 0})}, {1, ex({0, 1, 0, 1})},
                                                {1, ex({0, 0, 0, 0})}});
        HeldPoly u(build_poly(NV, product(NV, g, a))), v(build_poly(NV, product(NV, g, b)));
        pt* main = inner ? polynames->next : polynames;
        polynode* uu = inner ? u.p->pcoef : u.p;
        polynode* vv = inner ? v.p->pcoef : v.p;
        HeldPoly G(run_alg_c(uu, vv, true, 4, main));
        if (inner) add_pad(&G.p, 1);
        EXPECT_EQ(read_poly(G.p, NV), g);
        EXPECT_EQ(read_poly(u.p, NV), product(NV, g, a));
        EXPECT_EQ(read_poly(v.p, NV), product(NV, g, b));
        expect_levels_intact();
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(AlgorithmC, BetterMainVariableOverTheIntegers) { better_main_variable(0); }
TEST(AlgorithmC, BetterMainVariableModuloPrime) { better_main_variable(1000003); }

// The ratio rule: v has over a thousand times the terms of u. With
// abandonment allowed the pair goes back to the driver (and with &O set the
// user is warned); with four abandonments spent the sequence runs on. Both
// give x1 + 1.
TEST(AlgorithmC, AbandonmentAgreesWithTheForcedSequence) {
    Ring z(0);
    AttachedVars vars(NV);
    RecordLedger ledger;
    {
        TermList L;
        for (int i = 0; i <= 20; i++)
            for (int j = 0; i + j <= 20; j++)
                for (int k = 0; i + j + k <= 20; k++) L.emplace_back(1 + (i * 7 + j * 3 + k) % 5, Exps{0, i, j, k});
        const TermList x1p1 = canonical_terms(NV, {{1, {1, 0, 0, 0}}, {1, {0, 0, 0, 0}}});
        const TermList x1p2 = canonical_terms(NV, {{1, {1, 0, 0, 0}}, {2, {0, 0, 0, 0}}});
        HeldPoly u(build_poly(NV, product(NV, x1p1, x1p2))), v(build_poly(NV, product(NV, x1p1, canonical_terms(NV, L))));
        ASSERT_GT(read_poly(v.p, NV).size(), 3000u);

        const int saved_switch = chinhensel, saved_verbose = verbose;
        chinhensel = 0;
        verbose = 0;
        ::testing::internal::CaptureStdout();
        HeldPoly allowed(run_alg_c(u.p, v.p, true, 0));
        const std::string warned = ::testing::internal::GetCapturedStdout();
        const int32_t spent = alg_c_count;
        chinhensel = 1;
        verbose = 1;
        ::testing::internal::CaptureStdout();
        HeldPoly forced(run_alg_c(u.p, v.p, true, 4));
        const std::string cant = ::testing::internal::GetCapturedStdout();
        chinhensel = saved_switch;
        verbose = saved_verbose;

        EXPECT_EQ(read_poly(allowed.p, NV), x1p1);
        EXPECT_EQ(read_poly(forced.p, NV), x1p1);
        EXPECT_GE(spent, 1);
        EXPECT_EQ(warned.rfind("Warning. Abandon Algorithm C. 1, 2, 1, 0, 0, 120000, 0\n"
                               "\n!! ** Warning. You set &O to force Algorithm C!\n\n"
                               "*** Tarvex error. &O conflict with large GCD problem.\n",
                               0),
                  0u)
            << warned;
        EXPECT_NE(cant.find("Warning. Can't abandon Algorithm C. 2, 1, 0, 0\n"), std::string::npos) << cant;
        EXPECT_EQ(cant.find("Abandon Algorithm C"), std::string::npos) << cant;
        expect_levels_intact();
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(AlgorithmC, PlantedOverTheIntegers) { planted(0, 4501, scaled(40)); }
TEST(AlgorithmC, PlantedModuloSmallPrime) { planted(10007, 4502, scaled(40)); }
TEST(AlgorithmC, PlantedModuloLargePrime) { planted(1000003, 4503, scaled(40)); }

}  // namespace
