// Which method the hub runs, as its progress lines show under &(V = 1):
// the defaults and every switch that forces a method; and the factor given
// to a determinant.
#include <gtest/gtest.h>

#include "det/sparse_minors.h"

#include "det_support.h"
#include "support/expect_error.h"
#include "support/ring_setup.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

std::string trace(StoredMatrix& m, const Method& how, mpz_class* value = nullptr) {
    verbose = 1;
    ::testing::internal::CaptureStdout();
    quoly* r = hub_det(m, how);
    std::string said = ::testing::internal::GetCapturedStdout();
    verbose = 0;
    if (value) *value = plain_value(r);
    free_quoly(&r);
    return said;
}

bool has(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

TEST(MethodChoice, IntegersByDefaultAndForced) {
    PrimeRing ring(0);
    std::mt19937_64 rng(1);
    IntMatrix a = random_matrix(rng, 5, 4);
    StoredMatrix m("m", 5);
    fill(m, a);
    mpz_class v;
    std::string s = trace(m, {"default", -1, 0}, &v);
    EXPECT_TRUE(has(s, "CRT. number of primes needed is ")) << s;
    EXPECT_EQ(v, gmp_det(a));
    s = trace(m, {"plain", 0, 0});
    EXPECT_TRUE(has(s, "Standard G.E. method, rank 5")) << s;
    EXPECT_FALSE(has(s, "Finish by minors")) << s;
    s = trace(m, {"minors", 3, 0});
    EXPECT_TRUE(has(s, "Standard G.E. method, rank 5")) << s;
    EXPECT_TRUE(has(s, " Finish by minors, rank 3")) << s;
    s = trace(m, {"bareiss", 0, 1});
    EXPECT_TRUE(has(s, "Gauss-Bareiss method, size 5")) << s;
    // &(K = 1) alone leaves integers to the primes.
    s = trace(m, {"K alone", -1, 1});
    EXPECT_TRUE(has(s, "CRT.")) << s;
    // Size 3 goes to elimination with defaults.
    StoredMatrix small("s", 3);
    fill(small, random_matrix(rng, 3, 4));
    s = trace(small, {"default", -1, 0});
    EXPECT_TRUE(has(s, "Standard G.E. method, rank 3")) << s;
}

TEST(MethodChoice, ResiduesAndPolynomials) {
    {
        PrimeRing ring(65521);
        std::mt19937_64 rng(2);
        StoredMatrix m("m", 6);
        fill(m, random_matrix(rng, 6, 4));
        // mod_determ prints nothing and takes the shared table.
        std::string s = trace(m, {"default", -1, 0});
        EXPECT_FALSE(has(s, "Standard")) << s;
        s = trace(m, {"plain", 0, 0});
        EXPECT_TRUE(has(s, "Standard G.E. method, rank 6")) << s;
    }
    PrimeRing ring(0);
    AttachedVars xs(1);
    StoredMatrix m("p", 4);
    for (int32_t i = 0; i < 4; i++)
        for (int32_t j = 0; j < 4; j++) {
            BuiltPoly p(1, {{i + 1, {j}}, {j - i, {0}}});
            p_q_assign(p.p, &m.cell(i, j));
        }
    std::string s = trace(m, {"default", -1, 0});
    EXPECT_TRUE(has(s, "Standard G.E. method, rank 4")) << s;
    EXPECT_TRUE(has(s, " Finish by minors, rank 3")) << s;   // n - 1 for n <= 5
    s = trace(m, {"bareiss", -1, 1});
    EXPECT_TRUE(has(s, "Gauss-Bareiss method, size 4")) << s;
    // &(L = 1): interpolation over the integers; elimination agrees.
    {
        DetSwitches sw(-1, 0, 1);
        quoly* r = nullptr;
        quoly_set(1, &r);
        std::vector<quoly*> v = m.cells();
        sparse* none = nullptr;
        mat_invert(v.data(), nullptr, 0, 0, 4, &r, 0, 0, &none, nullptr, -1, -1, -1, 0, 0);
        quoly* q = hub_det(m, {"plain", 0, 0});
        quoly* d = nullptr;
        quoly_sub(r, q, &d);
        EXPECT_TRUE(quoly_iszero(d));
        free_quoly(&r);
        free_quoly(&q);
        free_quoly(&d);
    }
}

TEST(MethodChoice, PolynomialMatricesAgreeOverEveryMethod) {
    PrimeRing ring(0);
    for (int vars = 1; vars <= 3; vars++) {
        AttachedVars xs(vars);
        std::mt19937_64 rng(vars * 7);
        for (int32_t n = 1; n <= 6; n++) {
            StoredMatrix m("p", n);
            for (int32_t i = 0; i < n; i++)
                for (int32_t j = 0; j < n; j++) {
                    TermList t = random_terms(rng, vars, 9);
                    if ((i + j + n) % 4 == 0) t.clear();   // some zeros
                    BuiltPoly p(vars, t);
                    p_q_assign(p.p, &m.cell(i, j));
                }
            quoly* ref = hub_det(m, {"plain", 0, 0});
            for (const Method& how : methods_for(n)) {
                quoly* r = hub_det(m, how);
                quoly* d = nullptr;
                quoly_sub(r, ref, &d);
                EXPECT_TRUE(quoly_iszero(d)) << vars << " vars n=" << n << " " << how.name;
                free_quoly(&r);
                free_quoly(&d);
            }
            // A factor of the determinant divides it out.
            if (!quoly_iszero(ref) && !ref->isnum) {
                Method plain{"plain", 0, 0};
                quoly* r = hub_det(m, plain, ref->pnum);
                EXPECT_TRUE(quoly_eq_1(r)) << vars << " " << n;
                free_quoly(&r);
                BuiltPoly wrong(vars, {{1, std::vector<int32_t>(vars, 0)}, {1, std::vector<int32_t>(vars, 5)}});
                int code = unwind_code([&] {
                    quoly* q = hub_det(m, plain, wrong.p);
                    free_quoly(&q);
                });
                EXPECT_EQ(code, 305);
            }
            free_quoly(&ref);
            EXPECT_EQ(first_available, 1);
        }
    }
}

TEST(MethodChoice, SmallSparseIsExpandedByMinors) {
    PrimeRing ring(0);
    sparse* frame = nullptr;
    newsparse(&frame);
    frame->next = nullptr;
    for (int32_t r = 0; r < 3; r++) frame->row[r] = nullptr;
    quoly* r = nullptr;
    quoly_set(1, &r);
    // An empty 3 x 3 matrix: the expansion meets an empty row at once.
    mat_invert(nullptr, nullptr, 0, 0, 3, &r, 0, 0, &frame, nullptr, -1, -1, -1, 0, 0);
    EXPECT_TRUE(quoly_iszero(r));
    EXPECT_EQ(sp_lowcnt, 1);
    frame->next = spargarb;
    spargarb = frame;
    free_quoly(&r);
}

}  // namespace
