// Division, gcd and square root of digit numbers: the sign conventions, the
// quotient-digit estimate around its thresholds, the remainder-only and
// residue routines, gcds of zero and negative operands (which must come back
// unchanged), extgcd's cofactors whether or not its quotients were recorded
// to the end, and the integer square root; by hand values and against GMP.
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

// q and r as divide() defines them: q truncated, r = sign(a b) (|a| mod |b|).
void check_divide(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    mpz_class q, m = abs_of(a) % abs_of(b);
    mpz_tdiv_q(q.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
    const mpz_class r = sgn(a) * sgn(b) < 0 ? mpz_class(-m) : m;
    Num x(a), y(b), qq(7), rr;
    divide(x, y, qq, rr);
    EXPECT_TRUE(holds(qq, q)) << "quotient";
    EXPECT_TRUE(holds(rr, r)) << "remainder";
    EXPECT_TRUE(holds(x, a) && holds(y, b)) << "an operand changed";
    if (a >= 0 && b > 0) {
        Num r2(123);
        pos_divide_noq(x->head, y->head, y->tail, x->count, y->count, r2);
        EXPECT_TRUE(holds(r2, r)) << "pos_divide_noq";
        EXPECT_TRUE(holds(x, a)) << "pos_divide_noq changed the dividend";
        // Results written into the operands' own records.
        pos_divide(x, y, y, x);
        EXPECT_TRUE(holds(y, q) && holds(x, r)) << "pos_divide into its operands";
    }
}

// ---------------------------------------------------------------- division

TEST(Divide, SignsOfQuotientAndRemainder) {
    struct Case { int a, b, q, r; };
    for (Case c : {Case{-7, 2, -3, -1}, Case{7, 2, 3, 1}, Case{7, -2, -3, -1}, Case{-7, -2, 3, 1}}) {
        Num a(c.a), b(c.b), q, r;
        divide(a, b, q, r);
        EXPECT_TRUE(holds(q, c.q)) << c.a << " / " << c.b;
        EXPECT_TRUE(holds(r, c.r)) << c.a << " rem " << c.b;
    }
    // The same rule on multi-digit numbers.
    const mpz_class a = (B << 200) + 12345, b = (B << 70) + 99;
    for (int s = 0; s < 4; s++) check_divide(s & 1 ? -a : a, s & 2 ? -b : b);
}

TEST(Divide, SmallerDividendAndZeroDivisor) {
    for (const mpz_class& a : std::vector<mpz_class>{mpz_class(0), mpz_class(5), B * B - 1, -(B * B - 1)}) check_divide(a, B * B + 3);
    Num a(B * 17), zero(0), q(42), r(-42);
    divide(a, zero, q, r);
    EXPECT_TRUE(holds(q, 42) && holds(r, -42)) << "a zero divisor must leave q and r alone";
}

TEST(Divide, OneDigitDivisorsAroundTwoToThe18) {
    NumberGen gen(2101);
    SCOPED_TRACE(gen.trace());
    const int32_t t18 = 1 << 18;
    for (int32_t d : {1, 2, 3, t18 - 2, t18 - 1, t18, t18 + 1, 1 << 27, DIGIT_MASK - 1, DIGIT_MASK}) {
        check_divide(B * B * B - 1, d);   // every quotient digit at its largest
        for (int i = 0; i < scaled(20); i++) check_divide(gen.nonneg_digits(gen.between(1, 30)), d);
        if (HasFailure()) return;
    }
}

TEST(Divide, CorrectionLoopOnDivisorWithHeadDigitOne) {
    // Divisor tops equal to the dividend's top make the estimate 2^28; the
    // digit must come out as 2^28 - 1 and the correction settle it exactly.
    NumberGen gen(2102);
    SCOPED_TRACE(gen.trace());
    for (const mpz_class& b : std::vector<mpz_class>{B + 5, B * B + 5, B * 15 + DIGIT_MASK, B * 16, (B * 16 + 1) * B * B}) {
        for (int k : {1, 2, 5, 40}) {
            const mpz_class Q = (mpz_class(1) << (28 * k)) - 1;   // k digits of 2^28 - 1
            for (const mpz_class& R : std::vector<mpz_class>{mpz_class(0), b - 1, b / 2, mpz_class(1)}) {
                SCOPED_TRACE("b = " + describe(b) + ", quotient digits " + std::to_string(k));
                check_divide(b * Q + R, b);
            }
        }
        for (int i = 0; i < scaled(30); i++) check_divide(b * gen.nonneg_digits(gen.between(1, 8)) + gen.below(1000), b);
    }
}

TEST(Divide, SingleStepDigitAndRemainder) {
    NumberGen gen(2103);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(300); i++) {
        const mpz_class b = gen.nonneg_digits(gen.between(1, 6)) + 1;
        const int32_t qd = gen.chance(30) ? DIGIT_MASK : gen.below(DIGIT_BASE);
        const mpz_class a = b * qd + gen.nonneg_digits(gen.between(1, 6)) % b;   // below 2^28 b
        Num A(a), Bn(b), q, r, r2;
        simp_divide(A->head, A->count, Bn, q, r);
        EXPECT_TRUE(holds(q, a / b)) << describe(a) << " / " << describe(b);
        EXPECT_TRUE(holds(r, a % b));
        simp_divide_noq(A->head, Bn->head, Bn->tail, A->count, Bn->count, r2);
        EXPECT_TRUE(holds(r2, a % b));
        EXPECT_TRUE(holds(A, a));
        if (HasFailure()) return;
    }
}

TEST(Divide, RandomOperandsAgainstGmp) {
    NumberGen gen(2104);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(600); i++) {
        auto [n, m] = gen.lengths(i % 10 ? 30 : 300);
        mpz_class a = gen.digits(n), b = gen.digits(m);
        if (b == 0) b = gen.chance(50) ? 1 : -1;
        if (gen.chance(20)) a = a * b + gen.below(3);   // exact and nearly exact quotients
        check_divide(a, b);
        if (HasFailure()) return;
    }
}

TEST(Divide, ZeroRemainderSkipsZeroDigits) {
    // b q followed by zero digits: the remainder vanishes part-way and the
    // dividend's zero digits are skipped, each a zero quotient digit.
    NumberGen gen(2105);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int32_t lb : {1, 2, 5, 300}) {
        const mpz_class b = gen.nonneg_digits(lb) + 1, bq = b * gen.nonneg_digits(gen.between(1, 700));
        for (const mpz_class& tail : std::vector<mpz_class>{0, 5, B - 1, b - 1, (b << 28) + 3}) {
            const mpz_class a = (bq << (28 * 300)) + tail;
            Num x(a), y(b), q, r;
            pos_divide(x, y, q, r);
            EXPECT_TRUE(holds(q, a / b) && holds(r, a % b)) << "b = " << describe(b) << ", tail " << describe(tail);
            Num r2;
            pos_divide_noq(x->head, y->head, y->tail, x->count, y->count, r2);
            EXPECT_TRUE(holds(r2, a % b));
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- residues

TEST(Residues, ModoutWithModulusAboveTheDigitBase) {
    NumberGen gen(2111);
    SCOPED_TRACE(gen.trace());
    for (int32_t m : {2147483629, 65521, DIGIT_MASK, DIGIT_BASE + 1}) {
        RingStateGuard ring;
        modularmode = 1;
        lintmode = 1;
        install_modulus(m);
        for (int i = 0; i < scaled(60); i++) {
            const mpz_class a = gen.digits(gen.between(1, 40));
            mpz_class want = abs_of(a) % m;
            if (a < 0) want = -want;
            Num x(a);
            EXPECT_EQ(modout(x), want.get_si()) << describe(a) << " mod " << m;
            EXPECT_EQ(lintmode, 1);
            EXPECT_TRUE(holds(x, a));
        }
    }
    // A caller still in digit mode keeps digit mode.
    RingStateGuard ring;
    install_modulus(2147483629);
    Num x((B << 90) + 17);
    EXPECT_EQ(modout(x), mpz_class(((B << 90) + 17) % 2147483629).get_si());
    EXPECT_EQ(lintmode, 0);
}

TEST(Residues, QuotientOfRestoresMachineIntegerMode) {
    RingStateGuard ring;
    lintmode = 1;
    for (int32_t k : {1, 7, 1 << 18, DIGIT_MASK}) {
        const mpz_class a = mpz_class(k) * 123456789 + (k - 1);
        Num x(a);
        EXPECT_EQ(quotient_of(x, k), 123456789) << "k = " << k;
        EXPECT_EQ(lintmode, 1);
    }
}

TEST(Residues, FastModoutCutsAtTheDivisorLength) {
    Num b3(B * B);   // three digits: keeps two
    {
        Num a(5 * B * B * B + 7);   // digits 5, 0, 0, 7
        fast_modout(a, b3);
        EXPECT_TRUE(holds(a, 7));
        EXPECT_EQ(a->count, 1) << "the zero digits below the cut go too";
    }
    {
        Num a(-(5 * B * B * B));   // nothing below the cut but zeros
        fast_modout(a, b3);
        EXPECT_TRUE(holds(a, 0));
    }
    {
        Num a(-(3 * B * B + 9 * B + 4));
        fast_modout(a, b3);
        EXPECT_TRUE(holds(a, -(9 * B + 4)));
    }
    {
        Num a(B + 4), one(3);
        fast_modout(a, one);
        EXPECT_TRUE(holds(a, 0)) << "a one-digit b keeps no digit";
    }
    {
        Num a(B + 4), b4(B * B * B);
        fast_modout(a, b4);
        EXPECT_TRUE(holds(a, B + 4)) << "shorter than the cut: unchanged";
    }
}

// --------------------------------------------------------------------- gcd

TEST(Gcd, WordMethodIncludingZero) {
    EXPECT_EQ(smallgcd(12, 18), 6);
    EXPECT_EQ(smallgcd(7, 1), 1);
    EXPECT_EQ(smallgcd(-12, 18), 6);
    EXPECT_EQ(smallgcd(0, 5), 5);
    EXPECT_EQ(smallgcd(-5, 0), 5);
    EXPECT_EQ(smallgcd(0, 0), 0);
    EXPECT_EQ(smallgcd(1 << 20, 3 << 12), 1 << 12);
    EXPECT_EQ(smallgcd(DIGIT_MASK, DIGIT_MASK), DIGIT_MASK);
}

TEST(Gcd, ZeroOperandGivesTheOther) {
    for (const mpz_class& n : std::vector<mpz_class>{mpz_class(0), mpz_class(-9), B * B * 6, -(B * B * B + 1)}) {
        for (int order = 0; order < 2; order++) {
            Num z(0), x(n), c1(5), c2(5), g, a1(77), b1(88);
            imag* u = order ? (imag*)x : (imag*)z;
            imag* v = order ? (imag*)z : (imag*)x;
            binary_gcd(u, v, c1);
            gcd(u, v, c2);
            EXPECT_TRUE(holds(c1, abs_of(n))) << "binary_gcd with 0 and " << describe(n);
            EXPECT_TRUE(holds(c2, abs_of(n))) << "gcd with 0 and " << describe(n);
            int one = -1;
            extgcd(u, v, g, a1, b1, &one);
            EXPECT_TRUE(holds(g, abs_of(n)));
            EXPECT_EQ(one, 0);
            if (n != 0) {
                EXPECT_TRUE(holds(order ? b1 : a1, 0)) << "0 / g";
                EXPECT_TRUE(holds(order ? a1 : b1, sgn(n))) << "n / g";
            }
            EXPECT_TRUE(holds(x, n) && holds(z, 0));
        }
    }
}

TEST(Gcd, BinaryGcdRestoresItsOperands) {
    const mpz_class p60 = mpz_class(1) << 60, p40 = mpz_class(1) << 40;
    Num a(-p60), b(3 * p40), c;
    binary_gcd(a, b, c);
    EXPECT_TRUE(holds(c, p40));
    EXPECT_TRUE(holds(a, -p60)) << "negated and shifted operand not restored";
    EXPECT_TRUE(holds(b, 3 * p40)) << "shifted operand not restored";
    binary_gcd(a, b, a);
    EXPECT_TRUE(holds(a, p40)) << "result into the first operand";
    EXPECT_TRUE(holds(b, 3 * p40));

    Num m12(-12), p18(18), g;
    binary_gcd(m12, p18, g);
    EXPECT_TRUE(holds(g, 6));
    EXPECT_TRUE(holds(m12, -12));
}

TEST(Gcd, PlantedDivisorsAgainstGmp) {
    NumberGen gen(2121);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(300); i++) {
        mpz_class g = gen.nonneg_digits(gen.between(1, i % 10 ? 8 : 60)) + 1;
        if (gen.chance(30)) g <<= gen.between(1, 90);
        const mpz_class a = g * gen.digits(gen.between(1, 25)), b = g * gen.digits(gen.between(1, 25));
        const mpz_class want = gmp_gcd(a, b);
        SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
        Num x(a), y(b), c1, c2;
        binary_gcd(x, y, c1);
        gcd(x, y, c2);
        EXPECT_TRUE(holds(c1, want)) << "binary_gcd";
        EXPECT_TRUE(holds(c2, want)) << "gcd";
        EXPECT_TRUE(holds(x, a) && holds(y, b)) << "an operand changed";
        gcd(x, y, y);
        EXPECT_TRUE(holds(y, want) && holds(x, a)) << "gcd into its second operand";
        if (HasFailure()) return;
    }
}

// ------------------------------------------------------------------ extgcd

// Runs extgcd and checks g, one, and (when one is 0) a1 g = a, b1 g = b.
void check_extgcd(const mpz_class& a, const mpz_class& b, mpz_class* a1v = nullptr, mpz_class* b1v = nullptr) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    const mpz_class want = gmp_gcd(a, b);
    Num x(a), y(b), g, a1(77), b1(88);
    int one = -1;
    extgcd(x, y, g, a1, b1, &one);
    EXPECT_TRUE(holds(g, want));
    EXPECT_EQ(one, want == 1 ? 1 : 0);
    EXPECT_TRUE(holds(x, a) && holds(y, b)) << "an operand changed";
    if (want == 1) {
        EXPECT_TRUE(holds(a1, 77) && holds(b1, 88)) << "with one set, a1 and b1 must be left alone";
        return;
    }
    if (want == 0) return;
    EXPECT_TRUE(holds(a1, a / want)) << "a1";
    EXPECT_TRUE(holds(b1, b / want)) << "b1";
    if (a1v) *a1v = to_mpz(a1);
    if (b1v) *b1v = to_mpz(b1);
}

TEST(ExtGcd, HandValues) {
    Num six(6), four(4), g, a1, b1;
    int one = -1;
    extgcd(six, four, g, a1, b1, &one);
    EXPECT_EQ(one, 0);
    EXPECT_TRUE(holds(g, 2) && holds(a1, 3) && holds(b1, 2));
    check_extgcd(3, 5);
    check_extgcd(-6, 4);
    check_extgcd(6, -4);
    check_extgcd(B * 6, B * 4);
    check_extgcd(B * B + 1, B * B + 1);   // equal values in two records
    // One record passed as both operands.
    Num x(-(B * 10)), g2, c1, c2;
    extgcd(x, x, g2, c1, c2, &one);
    EXPECT_TRUE(holds(g2, B * 10) && holds(c1, -1) && holds(c2, -1) && holds(x, -(B * 10)));
}

TEST(ExtGcd, SameCofactorsWhetherOrNotRecordingIsDropped) {
    // Two 40-digit operands run a Euclid sequence of several hundred steps:
    // recording its quotients soon costs more than dividing by g, and is
    // dropped. Scaled by a 1,000-digit factor the remainders stay long, so
    // the same sequence is recorded to the end and the cofactors rebuilt.
    NumberGen gen(2131);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(4); i++) {
        const mpz_class g0 = gen.nonneg_digits(2) + 2;
        const mpz_class a = g0 * gen.digits(40), b = g0 * gen.digits(39);
        const mpz_class h = gen.nonneg_digits(1000) + 1;
        mpz_class a1, b1, a1h, b1h;
        check_extgcd(a, b, &a1, &b1);
        check_extgcd(a * h, b * h, &a1h, &b1h);
        EXPECT_EQ(a1, a1h);
        EXPECT_EQ(b1, b1h);
    }
}

TEST(ExtGcd, PlantedDivisorsAgainstGmp) {
    NumberGen gen(2132);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int i = 0; i < scaled(300); i++) {
        mpz_class g = gen.chance(20) ? mpz_class(1) : gen.nonneg_digits(gen.between(1, i % 10 ? 6 : 50)) + 1;
        check_extgcd(g * gen.digits(gen.between(1, 20)), g * gen.digits(gen.between(1, 20)));
        if (HasFailure()) return;
    }
    EXPECT_TRUE(ledger.balanced()) << "a recorded quotient or temporary was not given back";
}

// ------------------------------------------------------------------ gcdnum

quoly* number_quoly(const mpz_class& v) {
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    q->rat = 0;
    q->den = nullptr;
    q->nnum = from_mpz(v);
    return q;
}

TEST(GcdNum, ZeroOperandsAndDigitMode) {
    {
        quoly* q1 = number_quoly(0);
        quoly* q2 = number_quoly(-5);
        quoly* second = q2;
        gcdnum(&q1, &q2);
        EXPECT_EQ(q1, second) << "q1 takes q2's quoly";
        EXPECT_EQ(q2, nullptr);
        EXPECT_TRUE(holds(q1->nnum, 5));
        free_quoly(&q1);
    }
    {
        quoly* q1 = number_quoly(-(B * 9));
        quoly* q2 = number_quoly(0);
        gcdnum(&q1, &q2);
        EXPECT_TRUE(holds(q1->nnum, B * 9));
        free_quoly(&q1);
        free_quoly(&q2);
    }
    {
        quoly* q1 = number_quoly(-(B * B * 12));
        quoly* q2 = number_quoly(B * 18 + 36);
        gcdnum(&q1, &q2);
        EXPECT_TRUE(holds(q1->nnum, gmp_gcd(B * B * 12, B * 18 + 36)));
        EXPECT_TRUE(holds(q2->nnum, B * 18 + 36));
        free_quoly(&q1);
        free_quoly(&q2);
    }
    {
        RingStateGuard ring;
        lintmode = 1;
        quoly* q1 = number_quoly(0);
        quoly* q2 = number_quoly(0);
        q1->nnum->value = 12;
        q2->nnum->value = 18;
        gcdnum(&q1, &q2);
        EXPECT_EQ(q1->nnum->value, 1) << "machine-integer mode answers 1";
        lintmode = 0;
        free_quoly(&q1);
        free_quoly(&q2);
    }
}

// ------------------------------------------------------------- square root

void check_sqrt(const mpz_class& a) {
    Num x(a), r(99);
    int_sqrt(x, r, 1);
    ASSERT_TRUE(check_number(r));
    const mpz_class s = to_mpz(r);
    EXPECT_TRUE(s * s <= a && (s + 1) * (s + 1) > a) << "sqrt of " << describe(a) << " gave " << describe(s);
    EXPECT_TRUE(holds(x, a)) << "int_sqrt changed its operand";
}

TEST(IntSqrt, HandValues) {
    struct Case { mpz_class a, root; };
    for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{3, 1}, Case{8, 2}, Case{9, 3}, Case{B * B - 1, B - 1},
                          Case{B * B, B}, Case{B - 1, 16383}, Case{B, 16384}}) {
        Num x(c.a), r;
        int_sqrt(x, r, 1);
        EXPECT_TRUE(holds(r, c.root)) << "sqrt of " << describe(c.a);
    }
}

TEST(IntSqrt, EveryValueAcrossTheFirstDigitBoundary) {
    for (int64_t v = (int64_t{1} << 28) - 3000; v < (int64_t{1} << 28) + 200000; v++) {
        check_sqrt(mpz_class(static_cast<long>(v)));
        if (HasFailure()) return;
    }
}

TEST(IntSqrt, AroundSquaresBelowAndAboveTheRecursionCut) {
    NumberGen gen(2141);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(150); i++) {
        // Root lengths that put a just below, at and above sqcut digits.
        const int32_t n = i % 5 == 0 ? gen.between(60, 200) : gen.between(1, 12);
        const mpz_class s = gen.nonneg_digits(n) + 1;
        for (const mpz_class& a : std::vector<mpz_class>{s * s - 1, s * s, s * s + 1, s * s + 2 * s, s * s + s}) check_sqrt(a);
        check_sqrt(gen.nonneg_digits(gen.between(2, 40)));
        if (HasFailure()) return;
    }
}

TEST(IntSqrt, ResultIntoTheOperand) {
    const mpz_class a = (B << 500) + 12345;
    mpz_class want;
    mpz_sqrt(want.get_mpz_t(), a.get_mpz_t());
    Num x(a);
    int_sqrt(x, x, 0);
    EXPECT_TRUE(holds(x, want));
}

}  // namespace
