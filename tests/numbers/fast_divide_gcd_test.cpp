// The array kernels behind division and gcd, on the inputs that reach their
// rare paths: long-division steps whose guessed digit is one too large (the
// divisor is added back), Lehmer rounds whose simulation cannot vouch for a
// single step (leading bits alike, huge quotients, very unequal lengths) or
// is exact and runs into the cofactor limit, the longest Euclid sequences,
// and results written into the operands' own records or read from
// sub-chains. Every value is checked against GMP.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

const mpz_class B = mpz_class(1) << DIGIT_BITS;

mpz_class fib(unsigned long n) {
    mpz_class f;
    mpz_fib_ui(f.get_mpz_t(), n);
    return f;
}

// divide() in all four sign combinations, and the remainder-only variant on
// the magnitudes; the operands must come back unchanged.
void check_divide_all_signs(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    for (int s = 0; s < 4; s++) {
        const mpz_class x = s & 1 ? mpz_class(-a) : a, y = s & 2 ? mpz_class(-b) : b;
        mpz_class q, m = abs_of(x) % abs_of(y);
        mpz_tdiv_q(q.get_mpz_t(), x.get_mpz_t(), y.get_mpz_t());
        Num X(x), Y(y), Q(5), R(6);
        divide(X, Y, Q, R);
        EXPECT_TRUE(holds(Q, q)) << "quotient, signs " << s;
        EXPECT_TRUE(holds(R, sgn(x) * sgn(y) < 0 ? mpz_class(-m) : m)) << "remainder, signs " << s;
        EXPECT_TRUE(holds(X, x) && holds(Y, y)) << "an operand changed";
    }
    Num X(a), Y(b), R;
    pos_divide_noq(X->head, Y->head, Y->tail, X->count, Y->count, R);
    EXPECT_TRUE(holds(R, a % b)) << "pos_divide_noq";
}

// Runs gcd, binary_gcd and extgcd on (a, b) and checks every result and
// that the operands are as they were.
void check_gcd_family(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    const mpz_class g = gmp_gcd(a, b);
    Num x(a), y(b), c1, c2, gg, a1(77), b1(88);
    gcd(x, y, c1);
    binary_gcd(x, y, c2);
    EXPECT_TRUE(holds(c1, g)) << "gcd";
    EXPECT_TRUE(holds(c2, g)) << "binary_gcd";
    int one = -1;
    extgcd(x, y, gg, a1, b1, &one);
    EXPECT_TRUE(holds(gg, g)) << "extgcd";
    EXPECT_EQ(one, g == 1 ? 1 : 0);
    if (g == 1) {
        EXPECT_TRUE(holds(a1, 77) && holds(b1, 88)) << "one is set: a1 and b1 must be left alone";
    } else if (g != 0) {
        EXPECT_TRUE(holds(a1, a / g)) << "a / g";
        EXPECT_TRUE(holds(b1, b / g)) << "b / g";
    }
    EXPECT_TRUE(holds(x, a) && holds(y, b)) << "an operand changed";
}

// ---------------------------------------------------------------- division

TEST(FastDivide, GuessedDigitOneTooLargeIsAddedBack) {
    // With the divisor v = (v1, v2, 2^28 - 1, ...) normalised and the top of
    // the running remainder exactly Q * (v1, v2), the guess from the top
    // digits is Q and passes the third-digit test, yet Q * v exceeds the
    // remainder by Q times v's low digits: the digit is Q - 1 and v must be
    // added back. Shifting both right by s gives the same normalised step
    // for an unnormalised divisor.
    NumberGen gen(7301);
    SCOPED_TRACE(gen.trace());
    const mpz_class v1 = B / 2 + 12345, v2 = 777;
    for (int nb : {3, 4, 12, 200}) {
        mpz_class v = v1 * B + v2;
        for (int i = 2; i < nb; i++) v = v * B + (B - 1);
        for (const mpz_class& Q : std::vector<mpz_class>{B - 1, B / 2 + 3, mpz_class(2)}) {
            mpz_class u = Q * (v1 * B + v2);
            for (int i = 2; i < nb; i++) u *= B;
            for (int s : {0, 1, 13, 27}) {
                const mpz_class a = u >> s, b = v >> s;
                check_divide_all_signs(a, b);
                // The same step in the middle of a longer division, with
                // further quotient digits below it.
                check_divide_all_signs((a << 56) + gen.nonneg_digits(2), b);
                check_divide_all_signs(a * b + a, b);
                if (HasFailure()) return;
            }
        }
    }
}

TEST(FastDivide, VeryUnequalLengthsAndMachineWordDivisors) {
    NumberGen gen(7302);
    SCOPED_TRACE(gen.trace());
    const mpz_class a = gen.nonneg_digits(3000);
    for (int32_t lb : {1, 2, 3, 17, 1500, 2999, 3000, 3001}) {
        check_divide_all_signs(a, gen.nonneg_digits(lb) + 1);
        if (HasFailure()) return;
    }
    for (int32_t d : {1, 2, (1 << 18) - 1, 1 << 18, DIGIT_MASK - 1, DIGIT_MASK}) check_divide_all_signs(a, d);

    for (int32_t k : {1, 3, 1 << 18, DIGIT_MASK}) {
        const mpz_class x = mpz_class(k) * gen.below(DIGIT_BASE) + gen.below(k);
        Num X(x);
        EXPECT_EQ(quotient_of(X, k), mpz_class(x / k).get_si()) << describe(x) << " div " << k;
    }
    RingStateGuard ring;
    modularmode = 1;
    lintmode = 1;
    for (int32_t m : {2147483647, 2147483629, DIGIT_BASE + 1, DIGIT_MASK, 3}) {
        install_modulus(m);
        for (const mpz_class& x : std::vector<mpz_class>{a, -a, a * m, -(a * m + 1)}) {
            Num X(x);
            const mpz_class r = abs_of(x) % m;
            EXPECT_EQ(modout(X), (x < 0 ? mpz_class(-r) : r).get_si()) << "modulus " << m;
        }
    }
}

TEST(FastDivide, ResultsIntoOperandRecordsAndSubChains) {
    NumberGen gen(7303);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int i = 0; i < scaled(40); i++) {
        const mpz_class a = gen.nonneg_digits(gen.between(3, 120)), b = gen.nonneg_digits(gen.between(3, 60)) + 1;
        SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
        {
            Num x(a), y(b);
            pos_divide_noq(x->head, y->head, y->tail, x->count, y->count, x);
            EXPECT_TRUE(holds(x, a % b) && holds(y, b)) << "remainder into the dividend's record";
        }
        {
            Num x(a), y(b);
            pos_divide_noq(x->head, y->head, y->tail, x->count, y->count, y);
            EXPECT_TRUE(holds(y, a % b) && holds(x, a)) << "remainder into the divisor's record";
        }
        {
            // Inner digits of both numbers, leading zeros possible; the
            // numbers they are cut from stay as they were.
            Num x(a), y(b), r;
            const mpz_class A = chain_value(x->head->next, x->count - 2);
            const mpz_class Bv = chain_value(y->head->next, y->count - 1);
            if (Bv != 0) {
                pos_divide_noq(x->head->next, y->head->next, y->tail, x->count - 2, y->count - 1, r);
                EXPECT_TRUE(holds(r, A % Bv)) << "sub-chains";
                EXPECT_TRUE(holds(x, a) && holds(y, b)) << "a sub-chain's number changed";
            }
        }
        {
            // One step with the remainder into the chunk's record and the
            // digit into the divisor's.
            const mpz_class chunk = b * gen.below(DIGIT_BASE) + a % b;
            Num x(chunk), y(b);
            simp_divide(x->head, x->count, y, y, x);
            EXPECT_TRUE(holds(y, chunk / b) && holds(x, chunk % b)) << "simp_divide into its operands";
        }
        {
            Num x(a), q, r;
            divide(x, x, q, r);
            EXPECT_TRUE(holds(q, 1) && holds(r, 0)) << "one record as both operands";
            divide(x, x, x, r);
            EXPECT_TRUE(holds(x, 1));
        }
        if (HasFailure()) return;
    }
    EXPECT_TRUE(ledger.balanced());
}

// --------------------------------------------------------------------- gcd

TEST(FastGcd, ConsecutiveFibonacciNumbers) {
    // Every quotient is 1: the longest Euclid sequence for the size, each
    // Lehmer round taking as many steps as its leading bits allow.
    for (unsigned long n : {40ul, 87ul, 300ul, 5000ul, 30000ul}) {
        check_gcd_family(fib(n + 1), fib(n));
        const mpz_class g = fib(61) * 12;
        check_gcd_family(fib(n + 1) * g, -fib(n) * g);
        if (HasFailure()) return;
    }
}

TEST(FastGcd, LeadingBitsTooAlikeForASingleStep) {
    // a and b agree far beyond the simulated bits, or one is nearly a
    // multiple of the other: no step can be vouched for, and a division
    // step must make the progress.
    NumberGen gen(7311);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(30); i++) {
        const int32_t n = gen.between(3, i % 5 ? 40 : 400);
        const mpz_class g = gen.chance(50) ? mpz_class(1) : gen.nonneg_digits(gen.between(1, 3)) + 1;
        const mpz_class b = gen.nonneg_digits(n) + 1;
        const mpz_class c = gen.nonneg_digits(gen.between(1, n - 2));
        for (const mpz_class& a : std::vector<mpz_class>{b + 1, b + c, 2 * b + 1, 2 * b + c, 3 * b - c, (b << 200) + c, b * B * B + c})
            check_gcd_family(a * g, b * g);
        if (HasFailure()) return;
    }
}

TEST(FastGcd, VeryDifferentLengths) {
    NumberGen gen(7312);
    SCOPED_TRACE(gen.trace());
    const mpz_class g = gen.nonneg_digits(2) + 1;
    for (int32_t lb : {1, 2, 3, 5, 800, 1990}) {
        const mpz_class a = g * gen.nonneg_digits(2000), b = g * gen.nonneg_digits(lb);
        check_gcd_family(a, b);
        check_gcd_family(-b, a);
        check_gcd_family(gen.nonneg_digits(2000), gen.nonneg_digits(lb));
        if (HasFailure()) return;
    }
}

TEST(FastGcd, OperandsWhoseLeadingBitsAreAllOfThem) {
    // Up to 62 bits the simulation is exact and runs until a cofactor would
    // pass its limit; the next round goes on from there.
    NumberGen gen(7313);
    SCOPED_TRACE(gen.trace());
    const mpz_class top = mpz_class(1) << 62;
    check_gcd_family(fib(88), fib(87));
    check_gcd_family(top - 1, top - 3);
    check_gcd_family(top - 1, B);
    check_gcd_family(B + 1, B);
    for (int i = 0; i < scaled(300); i++) {
        const mpz_class a = mpz_class(static_cast<unsigned long>(gen.bits() >> 3));
        const mpz_class b = mpz_class(static_cast<unsigned long>(gen.bits() >> gen.between(3, 35)));
        const mpz_class g = gen.chance(30) ? mpz_class(gen.between(2, 1000)) : mpz_class(1);
        check_gcd_family((a + B) * g, (b + B) * g);
        if (HasFailure()) return;
    }
}

TEST(FastGcd, PlantedFactorsAtLargerSizes) {
    NumberGen gen(7314);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(30); i++) {
        mpz_class g = gen.nonneg_digits(gen.between(1, 200)) + 1;
        if (gen.chance(30)) g <<= gen.between(1, 300);
        check_gcd_family(g * gen.digits(gen.between(1, 1200)), g * gen.digits(gen.between(1, 1200)));
        if (HasFailure()) return;
    }
}

TEST(FastGcd, ResultsIntoOperandRecords) {
    NumberGen gen(7315);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int i = 0; i < scaled(40); i++) {
        const mpz_class g = gen.nonneg_digits(gen.between(1, 4)) + 2;
        const mpz_class a = g * gen.digits(gen.between(2, 60)), b = g * gen.digits(gen.between(2, 60));
        const mpz_class want = gmp_gcd(a, b);
        SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
        {
            Num x(a), y(b);
            gcd(x, y, y);
            EXPECT_TRUE(holds(y, want) && holds(x, a)) << "gcd into the second operand";
            binary_gcd(x, y, x);
            EXPECT_TRUE(holds(x, want)) << "binary_gcd into the first operand";
        }
        {
            Num x(a), c;
            gcd(x, x, c);
            EXPECT_TRUE(holds(c, abs_of(a)) && holds(x, a)) << "one record as both operands";
        }
        if (want == 1) continue;
        {
            // The cofactors into the operands' records, the gcd beside them.
            Num x(a), y(b), G;
            int one = -1;
            extgcd(x, y, G, x, y, &one);
            EXPECT_EQ(one, 0);
            EXPECT_TRUE(holds(G, want) && holds(x, a / want) && holds(y, b / want)) << "extgcd into a and b";
        }
        {
            Num x(a), y(b), a1, b1;
            int one = -1;
            extgcd(x, y, y, a1, b1, &one);
            EXPECT_TRUE(holds(y, want) && holds(a1, a / want) && holds(b1, b / want) && holds(x, a))
                << "extgcd's gcd into b";
        }
        if (HasFailure()) return;
    }
    EXPECT_TRUE(ledger.balanced());
}

// ------------------------------------------------------------- square root

TEST(FastSqrt, LongSquaresAndTheirNeighbours) {
    NumberGen gen(7321);
    SCOPED_TRACE(gen.trace());
    for (int32_t n : {17, 300, 1201, 2500}) {
        const mpz_class s = gen.nonneg_digits(n) + 1;
        for (const mpz_class& a : std::vector<mpz_class>{s * s - 1, s * s, s * s + 2 * s, (s * s) << 28}) {
            mpz_class want;
            mpz_sqrt(want.get_mpz_t(), a.get_mpz_t());
            Num x(a), r;
            int_sqrt(x, r, 1);
            EXPECT_TRUE(holds(r, want)) << "sqrt of a number of " << x->count << " digits";
            EXPECT_TRUE(holds(x, a));
            int_sqrt(x, x, 0);
            EXPECT_TRUE(holds(x, want)) << "root into the operand";
        }
        if (HasFailure()) return;
    }
}

}  // namespace
