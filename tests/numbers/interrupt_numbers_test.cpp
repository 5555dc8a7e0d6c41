// An interrupt during a long division, square root or gcd: the level it opens
// may run divisions of its own (which reuse the shared buffers) and is
// then left, and the interrupted routine still gives the right result; a
// panic stop typed there unwinds, and the caller's operands are intact
// either way. Short operands never stop.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>

#include "../interp/stream_text.h"
#include "interp/scanner.h"
#include "numbers/numbers.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

struct Interrupted : ::testing::Test {
    FILE* saved_input = Input;
    FILE* saved_output = Output;
    int saved_cmd = command_int;
    std::unique_ptr<TextStream> in;
    std::string said;   // what the nested level printed
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
    // Runs call with an interrupt waiting and `typed` at the level it
    // opens; returns the code it unwound with, 9999 when it returned.
    int run(const std::string& typed, const std::function<void()>& call) {
        in = std::make_unique<TextStream>(typed);
        Input = in->f;
        leftover = 0;
        finish = nullptr;
        init_scanner_structures();
        at_statement_start = true;
        interrupt_pending = 1;
        int code = 9999;
        ::testing::internal::CaptureStdout();
        try {
            call();
        } catch (const TarvexUnwind& e) {
            code = e.code;
        }
        said = ::testing::internal::GetCapturedStdout();
        return code;
    }
};

// Divisions in the nested level, short and long, so that the shared buffers
// are overwritten while the interrupted one waits.
const char* kBusyLevel = "(7^20000)|(3^5000); (7^90000)|(3^40000); &_p;\n";

TEST_F(Interrupted, LongDivisionResumesOrUnwindsWithItsOperandsIntact) {
    NumberGen gen(0x1e7'3501);
    SCOPED_TRACE(gen.trace());
    // Quotient blocks by the reciprocal, by recursion, and a short divisor
    // under a long dividend (the digit steps).
    for (auto [na, nb] : {std::pair{20000, 9000}, {9000, 3000}, {12000, 40}}) {
        const mpz_class a = gen.digits(na), b = gen.digits(nb);
        // Truncating; the remainder takes the sign of the product.
        const mpz_class q = a / b, r = sgn(a) * sgn(b) * (abs_of(a) % abs_of(b));
        Num x(a), y(b), iq, ir;
        EXPECT_EQ(run(kBusyLevel, [&] { divide(x, y, iq, ir); }), 9999) << said.substr(0, 300);
        EXPECT_EQ(interrupt_pending, 0) << "the interrupt was served";
        EXPECT_TRUE(holds(iq, q) && holds(ir, r)) << na << " by " << nb;
        EXPECT_TRUE(holds(x, a) && holds(y, b));
        EXPECT_NE(run("&@;\n", [&] { divide(x, y, iq, ir); }), 9999) << na << " by " << nb;
        EXPECT_TRUE(holds(x, a) && holds(y, b)) << "operands after a panic stop";
        divide(x, y, iq, ir);
        EXPECT_TRUE(holds(iq, q) && holds(ir, r));
    }
}

TEST_F(Interrupted, SquareRootResumesOrUnwindsWithItsOperandIntact) {
    NumberGen gen(0x1e7'3502);
    SCOPED_TRACE(gen.trace());
    const mpz_class a = abs_of(gen.digits(20000));
    const mpz_class s = sqrt(a);
    Num x(a), r;
    EXPECT_EQ(run(kBusyLevel, [&] { int_sqrt(x, r, 1); }), 9999);
    EXPECT_EQ(interrupt_pending, 0);
    EXPECT_TRUE(holds(r, s));
    EXPECT_TRUE(holds(x, a));
    EXPECT_NE(run("&@;\n", [&] { int_sqrt(x, r, 1); }), 9999);
    EXPECT_TRUE(holds(x, a)) << "operand after a panic stop";
    EXPECT_TRUE(check_number(r));
    int_sqrt(x, x, 1);
    EXPECT_TRUE(holds(x, s)) << "root into its operand";
}

// Gcds in the nested level, through the halving rounds and below them.
const char* kGcdLevel = "g1 := GCD(6^70000, 10^60000): g2 := GCD(7^3000 + 1, 5^4000 - 1): &_p;\n";

TEST_F(Interrupted, GcdResumesOrUnwindsWithItsOperandsIntact) {
    NumberGen gen(0x1e7'3503);
    SCOPED_TRACE(gen.trace());
    // A planted common factor; a balanced pair, an unbalanced one, and one
    // whose second operand starts shorter than the halving rounds.
    for (auto [na, nb, nf] : {std::tuple{9000, 9000, 2000}, {14000, 4000, 900}, {12000, 800, 300}}) {
        const mpz_class f = abs_of(gen.digits(nf));
        const mpz_class a = f * gen.digits(na - nf), b = f * gen.digits(nb - nf);
        const mpz_class g = gcd(a, b);
        Num x(a), y(b), ig, ia, ib;
        EXPECT_EQ(run(kGcdLevel, [&] { gcd(x, y, ig); }), 9999) << said.substr(0, 300);
        EXPECT_EQ(interrupt_pending, 0) << na << " by " << nb << ": the interrupt was served";
        EXPECT_TRUE(holds(ig, g)) << na << " by " << nb;
        EXPECT_TRUE(holds(x, a) && holds(y, b));
        int one = 0;
        EXPECT_EQ(run(kGcdLevel, [&] { extgcd(x, y, ig, ia, ib, &one); }), 9999);
        EXPECT_EQ(interrupt_pending, 0);
        EXPECT_TRUE(one == 0 && holds(ig, g) && holds(ia, a / g) && holds(ib, b / g)) << na << " by " << nb;
        EXPECT_NE(run("&@;\n", [&] { gcd(x, y, ig); }), 9999) << na << " by " << nb;
        EXPECT_TRUE(holds(x, a) && holds(y, b)) << "operands after a panic stop";
        gcd(x, y, x);
        EXPECT_TRUE(holds(x, g)) << "gcd into its operand after a panic stop";
    }
}

TEST_F(Interrupted, ShortOperandsNeverStop) {
    const mpz_class a = (mpz_class(1) << 60000) + 12345, b = (mpz_class(1) << 30000) - 1;
    Num x(a), y(b), iq, ir, r, g;
    EXPECT_EQ(run("&@;\n", [&] {
                  divide(x, y, iq, ir);
                  int_sqrt(x, r, 1);
                  gcd(x, y, g);
              }),
              9999);
    EXPECT_EQ(interrupt_pending, 1) << "left for the next safe point";
    EXPECT_TRUE(holds(iq, a / b) && holds(ir, a % b));
    EXPECT_TRUE(holds(r, sqrt(a)));
    EXPECT_TRUE(holds(g, gcd(a, b)));
}

}  // namespace
