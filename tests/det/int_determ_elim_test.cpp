// The integer determinant's elimination roads: fraction-free elimination
// on flat digits (a few rows of very long entries), and the plain road on
// the leading pivots with the trailing block through the hub. Checked
// against GMP's fraction-free elimination, negative determinants half the
// time; the cells, the store and the work blocks are as they were
// afterwards, an unwinding panic stop included.
#include <gtest/gtest.h>

#include <memory>

#include "../interp/stream_text.h"
#include "det/int_determ.h"
#include "det/int_determ_elim.h"
#include "det_support.h"
#include "interp/scanner.h"
#include "matrix/measures.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/display.h"
#include "support/expect_error.h"
#include "storage/workblocks.h"

namespace {

struct DetElimination : ::testing::Test {
    PrimeRing ring{0};
};

mpz_class hook_det(StoredMatrix& m, bool plain, int32_t limit) {
    std::vector<quoly*> v = m.cells();
    quoly* r = nullptr;
    quoly_set(7, &r);
    if (plain)
        int_determ_elimination(&r, v.data(), m.n, limit);
    else
        int_determ_fraction_free(&r, v.data(), m.n);
    const mpz_class got = plain_value(r);
    free_quoly(&r);
    return got;
}

void expect_unchanged(StoredMatrix& m, const IntMatrix& a) {
    for (int32_t i = 0; i < m.n; i++)
        for (int32_t j = 0; j < m.n; j++) ASSERT_EQ(plain_value(m.cell(i, j)), a[i][j]);
}

TEST_F(DetElimination, BothRoadsAgreeWithFractionFree) {
    std::mt19937_64 rng(30);
    int negatives = 0;
    const int32_t end_before = endarr;
    for (int32_t n = 1; n <= 9; n++) {
        for (int digits : {1, 4, 40}) {
            IntMatrix a = random_matrix(rng, n, digits);
            IntMatrix sing = a;
            if (n > 1) {
                for (int32_t j = 0; j < n; j++) sing[n - 1][j] = 3 * sing[0][j] - (n > 2 ? sing[1][j] : 0);
            } else {
                sing[0][0] = 0;
            }
            IntMatrix flipped = a;   // the other sign of the same determinant
            if (n > 1) std::swap(flipped[0], flipped[n - 1]);
            for (const IntMatrix* x : {&a, &flipped, &sing}) {
                StoredMatrix m("el", n);
                fill(m, *x);
                const mpz_class want = gmp_det(*x);
                if (want < 0) negatives++;
                EXPECT_EQ(hook_det(m, false, n - 1), want) << "fraction-free n=" << n << " digits=" << digits;
                for (int32_t limit = 0; limit < n; limit += (n > 4 ? 3 : 1))
                    EXPECT_EQ(hook_det(m, true, limit), want) << "plain n=" << n << " limit=" << limit;
                expect_unchanged(m, *x);
                EXPECT_EQ(first_available, 1);
            }
        }
    }
    EXPECT_GT(negatives, 10);
    EXPECT_EQ(endarr, end_before);
}

// Units everywhere, zero rows and a determinant of exactly +-1: the pivots
// run through every kind of step.
TEST_F(DetElimination, UnimodularAndDegenerate) {
    std::mt19937_64 rng(8);
    for (int32_t n = 2; n <= 8; n++) {
        // Upper unitriangular times lower unitriangular: det 1, big entries.
        IntMatrix u(n, std::vector<mpz_class>(n)), l(n, std::vector<mpz_class>(n));
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) {
                u[i][j] = i == j ? 1 : i < j ? mpz_class(static_cast<long>(rng() % 2001) - 1000) : 0;
                l[i][j] = i == j ? (i == 0 ? -1 : 1) : i > j ? mpz_class(static_cast<long>(rng() % 2001) - 1000) : 0;
            }
        IntMatrix a = product(u, l);
        StoredMatrix m("un", n);
        fill(m, a);
        EXPECT_EQ(hook_det(m, false, n - 1), -1) << n;
        EXPECT_EQ(hook_det(m, true, n - 1), -1) << n;
        IntMatrix z = a;
        for (int32_t j = 0; j < n; j++) z[n / 2][j] = 0;
        fill(m, z);
        EXPECT_EQ(hook_det(m, false, n - 1), 0) << n;
    }
}

// Through int_determ: a caller's bound beyond 600 digits on a small matrix
// takes the plain road with mincutoff's trailing block.
TEST_F(DetElimination, ThroughIntDeterm) {
    std::mt19937_64 rng(400);
    for (int32_t n : {10, 17}) {
        IntMatrix a = random_matrix(rng, n, 2);
        if (gmp_det(a) > 0) std::swap(a[0], a[1]);
        StoredMatrix m("cb", n);
        fill(m, a);
        quoly* bound = nullptr;
        imag* b = from_mpz(mpz_class(1) << (28 * 620));
        scalar_to_quoly(b, &bound);
        release(b);
        quoly* r = nullptr;
        quoly_set(1, &r);
        std::vector<quoly*> v = m.cells();
        set_min_cut(n);
        ASSERT_LT(mincutoff, n - 1);
        int_determ(&r, nullptr, v.data(), n, &bound);
        EXPECT_EQ(plain_value(r), gmp_det(a)) << n;
        EXPECT_LT(plain_value(r), 0);
        free_quoly(&r);
        free_quoly(&bound);
        expect_unchanged(m, a);
    }
}

// Through the hub by default: 20 x 20 of 500-bit entries is beyond the
// prime tables and takes word primes; the work blocks all come back.
TEST_F(DetElimination, TwentySquareOfFiveHundredBits) {
    const int32_t n = 20;
    IntMatrix a(n, std::vector<mpz_class>(n));
    gmp_randclass g(gmp_randinit_default);
    g.seed(17);
    for (auto& row : a)
        for (auto& x : row) x = g.get_z_bits(500) - (mpz_class(1) << 499);
    if (gmp_det(a) > 0) std::swap(a[0], a[1]);
    StoredMatrix m("big", n);
    fill(m, a);
    quoly* r = hub_det(m, {"default", -1, 0});
    EXPECT_EQ(plain_value(r), gmp_det(a));
    free_quoly(&r);
    expect_unchanged(m, a);
    EXPECT_EQ(first_available, 1);
}

// An error in the middle (no work block left for the trailing block) and
// a panic stop at the level an interrupt opens both unwind through the
// elimination: the blocks it took come back, the store is as it was, and
// the next run gives the same value.
TEST_F(DetElimination, UnwindingGivesEverythingBack) {
    std::mt19937_64 rng(13);
    const int32_t n = 9;
    IntMatrix a = random_matrix(rng, n, 3);
    StoredMatrix m("uw", n);
    fill(m, a);
    const mpz_class want = gmp_det(a);
    const int32_t end_before = endarr;
    int32_t slot = 0;
    for (int k = 0; k < 19; k++) enew_worknode(&slot, "t");
    EXPECT_TARVEX_ERROR(hook_det(m, true, 4), 88);
    EXPECT_EQ(first_available, 20);
    first_available = 1;
    expect_unchanged(m, a);
    EXPECT_EQ(endarr, end_before);

    FILE* saved_input = Input;
    FILE* saved_output = Output;
    const int saved_cmd = command_int;
    Output = stdout;
    command_int = 1;
    leftover = 0;
    finish = nullptr;
    init_scanner_structures();
    at_statement_start = true;
    auto in = std::make_unique<TextStream>("&@;\n");
    Input = in->f;
    interrupt_pending = 1;
    int code = 9999;
    ::testing::internal::CaptureStdout();
    try {
        hook_det(m, false, n - 1);
    } catch (const TarvexUnwind& e) {
        code = e.code;
    }
    ::testing::internal::GetCapturedStdout();
    interrupt_pending = 0;
    Input = saved_input;
    Output = saved_output;
    command_int = saved_cmd;
    levelcount = 1;
    EXPECT_NE(code, 9999);
    EXPECT_EQ(first_available, 1);
    EXPECT_EQ(endarr, end_before);
    expect_unchanged(m, a);
    EXPECT_EQ(modularmode, 0);
    EXPECT_EQ(hook_det(m, false, n - 1), want);
}

}  // namespace
