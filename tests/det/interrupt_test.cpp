// An interrupt in the middle of an elimination opens a nested command
// level; a panic stop typed there unwinds through the elimination, which
// gives back its work arrays, the shared residue table, the matrix under
// work and its gcd-stash level. The stored matrix is unchanged and the same
// determinant comes out again.
#include <gtest/gtest.h>

#include <memory>

#include "../interp/stream_text.h"
#include "det_support.h"
#include "gcd/gcdstash.h"
#include "interp/scanner.h"
#include "support/ring_setup.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

struct PanicStop : ::testing::Test {
    FILE* saved_input = Input;
    FILE* saved_output = Output;
    int saved_cmd = command_int;
    std::unique_ptr<TextStream> in;
    void SetUp() override {
        Output = stdout;
        command_int = 1;
        leftover = 0;
        finish = nullptr;
        init_scanner_structures();
        at_statement_start = true;
    }
    void TearDown() override {
        Input = saved_input;
        Output = saved_output;
        command_int = saved_cmd;
        levelcount = 1;
        interrupt_pending = 0;
    }
    // The determinant with an interrupt waiting and "&@;" typed at the level it opens.
    int interrupted(StoredMatrix& m, const Method& how) {
        in = std::make_unique<TextStream>("&@;\n");
        Input = in->f;
        leftover = 0;
        interrupt_pending = 1;
        int code = 9999;
        ::testing::internal::CaptureStdout();
        try {
            quoly* r = hub_det(m, how);
            free_quoly(&r);
        } catch (const TarvexUnwind& e) {
            code = e.code;
        }
        ::testing::internal::GetCapturedStdout();
        interrupt_pending = 0;
        return code;
    }
};

TEST_F(PanicStop, EveryMethodGivesEverythingBack) {
    for (int32_t q : {0, 65521}) {
        PrimeRing ring(q);
        std::mt19937_64 rng(5);
        IntMatrix a = random_matrix(rng, 8, 6);
        StoredMatrix m("pan", 8);
        fill(m, a);
        quoly* ref = hub_det(m, {"plain", 0, 0});
        const mpz_class want = plain_value(ref);
        free_quoly(&ref);
        const int16_t stash_level = lookupgcd;
        std::vector<mpz_class> stored;
        for (quoly* c : m.cells()) stored.push_back(plain_value(c));
        for (const Method& how : methods_for(8, 3)) {
            const int code = interrupted(m, how);
            EXPECT_NE(code, 9999) << how.name;   // unwound through the elimination
            EXPECT_EQ(first_available, 1) << how.name;
            EXPECT_EQ(dupptr, nullptr) << how.name;
            EXPECT_EQ(mod_mode_matrix_in_use, 0) << how.name;
            EXPECT_EQ(lookupgcd, stash_level) << how.name;
            EXPECT_EQ(modularmode, q != 0) << how.name;
            std::vector<quoly*> now = m.cells();
            for (size_t c = 0; c < now.size(); c++) ASSERT_EQ(plain_value(now[c]), stored[c]);
            quoly* r = hub_det(m, how);
            EXPECT_EQ(plain_value(r), want) << how.name;
            free_quoly(&r);
        }
    }
}

}  // namespace
