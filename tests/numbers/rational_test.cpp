// Rationals against GMP's mpq, every result checked for normal form; powers
// and factorials against GMP and 64-bit references in every ground ring;
// the integer quotient and remainder for every sign combination.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "interp/token.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

void use_machine_integers() {
    modularmode = 0;
    lintmode = 1;
    install_modulus(0);
}

// ---- quolys built by hand, independently of the routines under test ----

polynode* lone_node(const mpz_class& v) {
    polynode* p;
    newpoly(&p);
    p->next = nullptr;
    p->exp = 0;
    p->numb = 1;
    p->ncoef = from_mpz(v);
    return p;
}

quoly* blank_quoly() {
    quoly* q;
    newquoly(&q);
    q->isnum = q->rat = 0;
    q->pnum = q->den = nullptr;
    return q;
}

quoly* number_quoly(const mpz_class& v) {
    quoly* q = blank_quoly();
    q->isnum = 1;
    q->nnum = from_mpz(v);
    return q;
}

// v with a denominator of at least 2, in normal form.
quoly* rational_quoly(const mpq_class& v) {
    quoly* q = blank_quoly();
    q->rat = 1;
    q->pnum = lone_node(v.get_num());
    q->den = lone_node(v.get_den());
    return q;
}

// A reduced rational that is not an integer. Multiplying in the planted
// factors makes cross cancellation against other operands likely.
mpq_class random_rational(NumberGen& gen, int32_t maxlen, const mpz_class& num_plant = 1,
                          const mpz_class& den_plant = 1) {
    for (;;) {
        mpz_class num = (gen.chance(10) ? gen.edge_value() : gen.digits(gen.length(1, maxlen))) * num_plant;
        mpz_class den = abs(gen.nonneg_digits(gen.length(1, maxlen))) * den_plant;
        if (num == 0 || den == 0) continue;
        mpq_class q(num, den);
        q.canonicalize();
        if (q.get_den() != 1) return q;
    }
}

mpz_class nonzero(NumberGen& gen, int32_t maxlen) {
    for (;;) {
        mpz_class v = gen.chance(15) ? gen.edge_value() : gen.digits(gen.length(1, maxlen));
        if (v != 0) return v;
    }
}

class RationalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { load_data_once(); }
    ~RationalTest() override {
        pos_mod = saved_pos_mod_;
        token = saved_token_;
    }

    RingStateGuard ring_;
    int saved_pos_mod_ = pos_mod;
    tokenrec saved_token_ = token;
};

using RationalArithmetic = RationalTest;
using RationalPower = RationalTest;
using RationalFactorial = RationalTest;
using RationalDivision = RationalTest;

// ---------------------------------------------------------------- rationals

TEST_F(RationalArithmetic, HandWorkedCases) {
    RecordLedger ledger;
    struct Case { const char *a, *b, *product, *quotient; };
    const Case cases[] = {
        {"2/3", "9/4", "3/2", "8/27"},
        {"2/3", "3/2", "1", "4/9"},
        {"1/2", "-1/3", "-1/6", "-3/2"},
        {"-5/6", "-5/6", "25/36", "1"},
        {"7/10", "10/21", "1/3", "147/100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " and " + c.b);
        quoly* a = rational_quoly(mpq_class(c.a));
        quoly* b = rational_quoly(mpq_class(c.b));
        quoly* r = blank_quoly();
        mult_rats(a, b, &r);
        EXPECT_TRUE(holds(r, mpq_class(c.product)));
        free_quoly(&r);
        r = blank_quoly();
        quot_rats(a, b, &r);
        EXPECT_TRUE(holds(r, mpq_class(c.quotient)));
        free_quoly(&r);
        free_quoly(&a);
        free_quoly(&b);
    }

    quoly* third = rational_quoly(mpq_class(1, 3));
    quoly* sixth = rational_quoly(mpq_class(1, 6));
    quoly* six = number_quoly(6);
    quoly* four = number_quoly(4);
    quoly* zero = number_quoly(0);
    quoly* r = blank_quoly();
    mult_numb_rat(six, third, &r);
    EXPECT_TRUE(holds(r, 2));
    free_quoly(&r);
    r = blank_quoly();
    mult_numb_rat(four, sixth, &r);
    EXPECT_TRUE(holds(r, mpq_class(2, 3)));
    free_quoly(&r);
    r = blank_quoly();
    mult_numb_rat(zero, sixth, &r);
    EXPECT_TRUE(holds(r, 0));
    free_quoly(&r);

    // The same numerator in both operands: 1 without any arithmetic.
    r = blank_quoly();
    quot_rats(third, third, &r);
    EXPECT_TRUE(holds(r, 1));
    free_quoly(&r);

    // Division by zero is a numbered error and leaves the destination alone.
    r = blank_quoly();
    EXPECT_TARVEX_ERROR(quot_rat_numb(third, zero, &r), 22);
    EXPECT_TRUE(r->pnum == nullptr && r->den == nullptr && r->isnum == 0);
    free_quoly(&r);

    for (quoly* q : {third, sixth, six, four, zero}) free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(RationalArithmetic, ProductsAndQuotientsMatchGmp) {
    NumberGen gen(21211);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int iter = 0; iter < scaled(400); iter++) {
        const int32_t maxlen = iter % 4 == 0 ? 40 : 4;
        mpz_class g = abs(nonzero(gen, 2));
        mpq_class va = random_rational(gen, maxlen, g, 1);
        mpq_class vb = gen.chance(50) ? random_rational(gen, maxlen, 1, g) : random_rational(gen, maxlen);
        if (gen.chance(10) && abs(va.get_num()) != 1) vb = 1 / va;   // a product of 1
        SCOPED_TRACE("a=" + va.get_str() + " b=" + vb.get_str());
        quoly* a = rational_quoly(va);
        quoly* b = rational_quoly(vb);
        polynode* b_num = b->pnum;
        polynode* b_den = b->den;

        quoly* r = blank_quoly();
        mult_rats(a, b, &r);
        EXPECT_TRUE(holds(r, va * vb));
        free_quoly(&r);

        r = blank_quoly();
        quot_rats(a, b, &r);
        EXPECT_TRUE(holds(r, va / vb));
        free_quoly(&r);
        // b is put back exactly: same nodes, same value, same sign placement.
        EXPECT_EQ(b->pnum, b_num);
        EXPECT_EQ(b->den, b_den);
        EXPECT_TRUE(holds(b, vb));

        // Result slots that are the operands' own.
        const int which = iter % 4;
        quoly* dst = which < 2 ? a : b;
        if (which % 2 == 0) mult_rats(a, b, &dst);
        else quot_rats(a, b, &dst);
        EXPECT_TRUE(holds(dst, which % 2 == 0 ? mpq_class(va * vb) : mpq_class(va / vb))) << "into operand " << (which < 2 ? "a" : "b");
        free_quoly(&a);
        free_quoly(&b);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(RationalArithmetic, NumberWithRationalMatchesGmp) {
    NumberGen gen(21212);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int iter = 0; iter < scaled(400); iter++) {
        const int32_t maxlen = iter % 4 == 0 ? 30 : 3;
        mpz_class g = abs(nonzero(gen, 2));
        mpz_class vn = gen.chance(5) ? mpz_class(0) : nonzero(gen, maxlen) * (gen.chance(50) ? g : 1);
        mpq_class vr = random_rational(gen, maxlen, gen.chance(50) ? g : 1, gen.chance(50) ? g : 1);
        SCOPED_TRACE("n=" + vn.get_str() + " r=" + vr.get_str());
        quoly* n = number_quoly(vn);
        quoly* r = rational_quoly(vr);

        quoly* out = blank_quoly();
        mult_numb_rat(n, r, &out);
        EXPECT_TRUE(holds(out, vn * vr));
        free_quoly(&out);

        for (int add = 0; add <= 1; add++) {
            out = blank_quoly();
            add_numb_rat(n, r, &out, add);
            EXPECT_TRUE(holds(out, add ? mpq_class(vn + vr) : mpq_class(vn - vr))) << "add=" << add;
            free_quoly(&out);
        }

        if (vn != 0) {
            out = blank_quoly();
            quot_rat_numb(r, n, &out);
            EXPECT_TRUE(holds(out, vr / vn));
            free_quoly(&out);

            // n / r the way the division ladder asks for it: r's parts
            // exchanged, so its denominator may be negative for the call.
            std::swap(r->pnum, r->den);
            out = blank_quoly();
            mult_numb_rat(n, r, &out);
            std::swap(r->pnum, r->den);
            EXPECT_TRUE(holds(out, vn / vr)) << "exchanged parts";
            free_quoly(&out);
        }

        // Into r's own slot.
        quoly* dst = r;
        switch (iter % 3) {
            case 0: mult_numb_rat(n, r, &dst); EXPECT_TRUE(holds(dst, vn * vr)); break;
            case 1: add_numb_rat(n, r, &dst, 0); EXPECT_TRUE(holds(dst, vn - vr)); break;
            default:
                if (vn != 0) {
                    quot_rat_numb(r, n, &dst);
                    EXPECT_TRUE(holds(dst, vr / vn));
                }
        }
        free_quoly(&dst);
        free_quoly(&n);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(RationalArithmetic, FinishQuolyFillsOrReusesNodes) {
    RecordLedger ledger;
    // An empty record gets new nodes; the temporary chain goes back.
    quoly* q = blank_quoly();
    imag* chain = from_mpz(mpz_class("123456789012345678901234567890"));
    finish_quoly(q, from_mpz(-5), from_mpz(7), chain->head, chain->tail);
    chain->count = 0;
    free_imag(&chain);
    EXPECT_TRUE(holds(q, mpq_class(-5, 7)));
    EXPECT_EQ(q->pnum->exp, 0);

    // Existing lone number nodes and their records are reused.
    polynode* num_node = q->pnum;
    polynode* den_node = q->den;
    imag* num_rec = q->pnum->ncoef;
    finish_quoly(q, from_mpz(mpz_class("-987654321987654321")), from_mpz(mpz_class("1000000007")), nullptr, nullptr);
    EXPECT_EQ(q->pnum, num_node);
    EXPECT_EQ(q->den, den_node);
    EXPECT_EQ(q->pnum->ncoef, num_rec);
    EXPECT_TRUE(holds(q, mpq_class(mpz_class("-987654321987654321"), mpz_class("1000000007"))));
    free_quoly(&q);

    // A number quoly becomes a rational.
    q = number_quoly(mpz_class("99999999999999999999"));
    finish_quoly(q, from_mpz(3), from_mpz(4), nullptr, nullptr);
    EXPECT_TRUE(holds(q, mpq_class(3, 4)));
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- powers

TEST_F(RationalPower, BigIntegersMatchGmp) {
    NumberGen gen(21213);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int iter = 0; iter < scaled(200); iter++) {
        mpz_class base = gen.chance(20) ? gen.edge_value() : gen.digits(gen.length(1, 6));
        uint32_t e = static_cast<uint32_t>(gen.between(0, iter % 10 == 0 ? 400 : 40));
        imag* n = from_mpz(base);
        number_power(n, e);
        mpz_class want;
        mpz_pow_ui(want.get_mpz_t(), base.get_mpz_t(), e);
        EXPECT_TRUE(check_number(n));
        EXPECT_EQ(to_mpz(n), want) << "base " << describe(base) << " e " << e;
        free_imag(&n);
    }
    // Huge exponents on 0 and +-1 stay cheap and exact.
    for (int v : {0, 1, -1}) {
        for (uint32_t e : {0u, 1u, 0xFFFFFFFFu, 0xFFFFFFFEu}) {
            imag* n = from_mpz(v);
            number_power(n, e);
            mpz_class want = e == 0 ? 1 : (v == -1 && e % 2 == 0 ? 1 : v);
            EXPECT_EQ(to_mpz(n), want) << v << "^" << e;
            free_imag(&n);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(RationalPower, MachineWordsAndResidues) {
    NumberGen gen(21214);
    SCOPED_TRACE(gen.trace());
    use_machine_integers();
    for (int iter = 0; iter < scaled(300); iter++) {
        const int32_t base = static_cast<int32_t>(gen.bits());
        const uint32_t e = iter % 5 == 0 ? static_cast<uint32_t>(gen.bits()) : static_cast<uint32_t>(gen.below(70));
        uint32_t want = 1;
        for (uint32_t b = static_cast<uint32_t>(base), k = e; k; k >>= 1, b *= b)
            if (k & 1) want *= b;
        imag* n = word_number(base);
        number_power(n, e);
        EXPECT_EQ(static_cast<uint32_t>(n->value), want) << base << "^" << e;
        free_imag(&n);
    }
    imag* z = word_number(0);
    number_power(z, 0);
    EXPECT_EQ(z->value, 1);
    free_imag(&z);

    for (int32_t m : {2, 7, 12, 65521, 65537, 2147483629}) {
        use_modulus(m);
        const uint64_t p = static_cast<uint64_t>(m);
        for (int iter = 0; iter < scaled(100); iter++) {
            const uint32_t a = static_cast<uint32_t>(gen.bits() % p);
            const uint32_t e = iter % 3 == 0 ? static_cast<uint32_t>(gen.bits()) : static_cast<uint32_t>(gen.below(50));
            uint64_t want = 1 % p;
            for (uint64_t b = a, k = e; k; k >>= 1, b = b * b % p)
                if (k & 1) want = want * b % p;
            imag* n = word_number(static_cast<int32_t>(a));
            number_power(n, e);
            EXPECT_EQ(static_cast<uint64_t>(n->value), want) << a << "^" << e << " mod " << m;
            free_imag(&n);
        }
        z = word_number(0);
        number_power(z, 0);
        EXPECT_EQ(z->value, 1) << "0^0 mod " << m;
        free_imag(&z);
    }

    // The characteristic-2 fields: every non-zero element has the group's order dividing 2^k - 1.
    for (int32_t m : {256, 65536}) {
        use_modulus(m);
        const uint32_t order = static_cast<uint32_t>(m - 1);
        for (int iter = 0; iter < scaled(50); iter++) {
            const int32_t a = 1 + gen.below(m - 1);
            imag* n = word_number(a);
            number_power(n, order);
            EXPECT_EQ(n->value, 1) << a << "^" << order << " in GF(" << m << ")";
            n->value = a;
            number_power(n, order + 1);
            EXPECT_EQ(n->value, a);
            free_imag(&n);
        }
    }
}

// ---------------------------------------------------------------- factorial

TEST_F(RationalFactorial, BigIntegersMatchGmp) {
    NumberGen gen(21215);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    std::vector<int32_t> ns;
    for (int32_t n = -3; n <= 60; n++) ns.push_back(n);
    for (int i = 0; i < FACTS_COUNT; i++)
        for (int32_t d : {-1, 0, 1, 6}) ns.push_back(factnum[i] + d);
    for (int i = 0; i < scaled(15); i++) ns.push_back(gen.between(61, 4000));
    ns.push_back(5000);
    for (int32_t v : ns) {
        imag* n = from_mpz(v);
        factorial(n);
        mpz_class want = 1;
        if (v > 1) mpz_fac_ui(want.get_mpz_t(), static_cast<unsigned long>(v));
        EXPECT_TRUE(check_number(n));
        EXPECT_EQ(to_mpz(n), want) << v << "!";
        free_imag(&n);
    }
    // More than one digit is too large.
    imag* big = from_mpz(mpz_class(1) << 28);
    EXPECT_TARVEX_ERROR(factorial(big), 94);
    free_imag(&big);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(RationalFactorial, ModuloPrimesAndComposites) {
    NumberGen gen(21216);
    SCOPED_TRACE(gen.trace());
    for (int32_t m : {7, 12, 97, 65521, 2147483629}) {
        use_modulus(m);
        const uint64_t p = static_cast<uint64_t>(m);
        std::vector<int32_t> ns = {0, 1, 2, 10, 11, 46340};
        for (int32_t v = m - 3; v <= m + 3; v++)
            if (v >= 0 && v < 46341) ns.push_back(v);
        for (int i = 0; i < scaled(10); i++) ns.push_back(gen.below(46341));
        for (int32_t v : ns) {
            uint64_t want = 1 % p;
            for (int32_t k = 2; k <= v && want; k++) want = want * static_cast<uint64_t>(k) % p;
            imag* n = word_number(v);
            factorial(n);
            EXPECT_EQ(static_cast<uint64_t>(n->value), want) << v << "! mod " << m;
            free_imag(&n);
        }
        imag* n = word_number(46341);
        EXPECT_TARVEX_ERROR(factorial(n), 94);
        free_imag(&n);
    }
    use_modulus(7);
    for (int32_t v : {7, 10}) {
        imag* n = word_number(v);
        factorial(n);
        EXPECT_EQ(n->value, 0) << v << "! mod 7";
        free_imag(&n);
    }
    for (int32_t m : {256, 65536}) {
        use_modulus(m);
        imag* n = word_number(3);
        EXPECT_TARVEX_ERROR(factorial(n), 347);
        free_imag(&n);
    }
}

TEST_F(RationalFactorial, MachineIntegerLimit) {
    use_machine_integers();
    uint32_t want = 1;
    for (int32_t v = 0; v <= 13; v++) {
        if (v > 1) want *= static_cast<uint32_t>(v);   // 13! wraps, as every machine product does
        imag* n = word_number(v);
        factorial(n);
        EXPECT_EQ(static_cast<uint32_t>(n->value), want) << v << "!";
        free_imag(&n);
    }
    imag* n = word_number(14);
    EXPECT_TARVEX_ERROR(factorial(n), 240);
    free_imag(&n);
}

TEST_F(RationalFactorial, TabledValuesAreUsed) {
    // A marker in the table's machine word shows where 10! and 11! come from.
    ASSERT_EQ(factnum[1], 10);
    use_machine_integers();
    struct Restore {
        int32_t saved = facts[1]->value;
        ~Restore() { facts[1]->value = saved; }
    } restore;
    facts[1]->value = 1000;
    imag* n = word_number(10);
    factorial(n);
    EXPECT_EQ(n->value, 1000);
    n->value = 11;
    factorial(n);
    EXPECT_EQ(n->value, 11000);
    free_imag(&n);
}

// ---------------------------------------------------------------- quotient and remainder

TEST_F(RationalDivision, HandWorkedSigns) {
    struct Case { int32_t a, b, rem_pos, rem_neg, quo; };
    const Case cases[] = {
        {-7, 3, 2, -1, -2}, {7, 3, 1, 1, 2}, {7, -3, 1, 1, -2}, {-7, -3, 2, -1, 2},
        {7, -2, 1, 1, -3}, {-7, 2, 1, -1, -3}, {6, -3, 0, 0, -2}, {0, 5, 0, 0, 0},
    };
    for (int mode = 0; mode < 2; mode++) {
        if (mode == 1) use_machine_integers();
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.a) + " by " + std::to_string(c.b) + (mode ? " (words)" : " (digits)"));
            auto make = [&](int32_t v) { return mode ? word_number(v) : from_mpz(v); };
            auto read = [&](imag* x) { return mode ? mpz_class(x->value) : to_mpz(x); };
            imag* a = make(c.a);
            imag* b = make(c.b);
            imag* res = make(0);
            mod_or_div(a, b, res, '|', 1);
            EXPECT_EQ(read(res), c.rem_pos);
            mod_or_div(a, b, res, '|', 0);
            EXPECT_EQ(read(res), c.rem_neg);
            mod_or_div(a, b, res, '\\', 1);
            EXPECT_EQ(read(res), c.quo);
            quot(a, b, res);
            EXPECT_EQ(read(res), c.quo);
            for (auto* x : {a, b, res}) free_imag(&x);
        }
    }
}

TEST_F(RationalDivision, BigIntegersMatchGmp) {
    NumberGen gen(21217);
    SCOPED_TRACE(gen.trace());
    RecordLedger ledger;
    for (int iter = 0; iter < scaled(500); iter++) {
        auto [la, lb] = gen.lengths(iter % 5 == 0 ? 30 : 4);
        mpz_class va = gen.digits(la);
        mpz_class vb = nonzero(gen, lb);
        SCOPED_TRACE("a=" + describe(va) + " b=" + describe(vb));
        mpz_class tq, tr;
        mpz_tdiv_qr(tq.get_mpz_t(), tr.get_mpz_t(), va.get_mpz_t(), vb.get_mpz_t());
        const mpz_class abs_b = abs(vb);
        imag* a = from_mpz(va);
        imag* b = from_mpz(vb);
        imag* res = new_number();

        quot(a, b, res);
        EXPECT_TRUE(check_number(res));
        EXPECT_EQ(to_mpz(res), tq);
        for (int pos = 0; pos <= 1; pos++) {
            const mpz_class want_r = pos && tr < 0 ? tr + abs_b : tr;
            mod_or_div(a, b, res, '|', pos);
            EXPECT_TRUE(check_number(res));
            EXPECT_EQ(to_mpz(res), want_r) << "pos " << pos;
            mod_or_div(a, b, res, '\\', pos);
            EXPECT_EQ(to_mpz(res), tq) << "pos " << pos;

            pos_mod = pos;
            imag* r = new_number();
            imag* q = new_number();
            mod_and_div(a, b, r, q);
            EXPECT_TRUE(check_number(r));
            EXPECT_TRUE(check_number(q));
            const mpz_class gr = to_mpz(r), gq = to_mpz(q);
            EXPECT_EQ(gr, want_r) << "pos_mod " << pos;
            EXPECT_EQ(gq * vb + gr, va) << "quotient and remainder disagree, pos_mod " << pos;
            free_imag(&r);
            free_imag(&q);
        }
        EXPECT_EQ(to_mpz(a), va);
        EXPECT_EQ(to_mpz(b), vb);

        // Results into the operands' own records.
        switch (iter % 3) {
            case 0:
                quot(a, b, a);
                EXPECT_EQ(to_mpz(a), tq);
                break;
            case 1:
                mod_or_div(a, b, b, '|', 0);
                EXPECT_EQ(to_mpz(b), tr);
                break;
            default:
                pos_mod = 1;
                mod_and_div(a, b, a, b);   // remainder into a, quotient into b
                EXPECT_EQ(to_mpz(a), tr < 0 ? tr + abs_b : tr);
                EXPECT_EQ(to_mpz(b), tr < 0 ? tq - sgn(vb) : tq);
        }
        for (auto* x : {a, b, res}) free_imag(&x);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(RationalDivision, MachineWordsWrapAndResiduesInvert) {
    NumberGen gen(21218);
    SCOPED_TRACE(gen.trace());
    use_machine_integers();
    std::vector<int32_t> vals = {INT32_MIN, INT32_MIN + 1, -7, -3, -1, 1, 3, 7, INT32_MAX};
    for (int i = 0; i < scaled(40); i++) vals.push_back(static_cast<int32_t>(gen.bits()));
    for (int32_t va : vals) {
        for (int32_t vb : vals) {
            SCOPED_TRACE(std::to_string(va) + " by " + std::to_string(vb));
            const int64_t tq = int64_t{va} / vb, tr = int64_t{va} % vb;
            const int64_t abs_b = vb < 0 ? -int64_t{vb} : vb;
            imag* a = word_number(va);
            imag* b = word_number(vb);
            imag* res = word_number(0);
            quot(a, b, res);
            EXPECT_EQ(res->value, static_cast<int32_t>(static_cast<uint32_t>(tq)));
            mod_or_div(a, b, res, '|', 1);
            EXPECT_EQ(res->value, tr < 0 ? tr + abs_b : tr);
            pos_mod = 1;
            imag* r = word_number(0);
            imag* q = word_number(0);
            mod_and_div(a, b, r, q);
            EXPECT_EQ(static_cast<uint32_t>(q->value) * static_cast<uint32_t>(vb) + static_cast<uint32_t>(r->value),
                      static_cast<uint32_t>(va));
            EXPECT_GE(r->value, 0);
            for (auto* x : {a, b, res, r, q}) free_imag(&x);
        }
    }
    // Zero divisors: error 22; the machine quotient leaves c = a.
    imag* a = word_number(41);
    imag* zero = word_number(0);
    imag* c = word_number(5);
    EXPECT_TARVEX_ERROR(quot(a, zero, c), 22);
    EXPECT_EQ(c->value, 41);
    EXPECT_TARVEX_ERROR(mod_or_div(a, zero, c, '|', 1), 22);
    EXPECT_TARVEX_ERROR(mod_and_div(a, zero, c, c), 22);

    // Modular: c * b = a, and a non-invertible divisor is error 85.
    for (int32_t m : {7, 12, 65521, 2147483629, 256, 65536}) {
        use_modulus(m);
        for (int i = 0; i < scaled(100); i++) {
            const int32_t va = static_cast<int32_t>(gen.bits() % static_cast<uint64_t>(m));
            const int32_t vb = static_cast<int32_t>(1 + gen.bits() % static_cast<uint64_t>(m - 1));
            imag* x = word_number(va);
            imag* y = word_number(vb);
            const bool invertible = finf || naive_prime(static_cast<uint64_t>(m)) ||
                                    mpz_class(gcd(mpz_class(vb), mpz_class(m))) == 1;
            if (!invertible) {
                EXPECT_TARVEX_ERROR(quot(x, y, c), 85);
            } else {
                quot(x, y, x);
                EXPECT_EQ(modmult(x->value, vb), va) << va << " / " << vb << " mod " << m;
            }
            free_imag(&x);
            free_imag(&y);
        }
        a->value = 3;
        EXPECT_TARVEX_ERROR(quot(a, zero, c), 22);
        EXPECT_EQ(c->value, 3);
    }
    for (auto* x : {a, zero, c}) free_imag(&x);

    // Big integers: error 22 leaves c = 1.
    modularmode = lintmode = 0;
    a = from_mpz(mpz_class("123456789123456789"));
    zero = from_mpz(0);
    c = from_mpz(5);
    EXPECT_TARVEX_ERROR(quot(a, zero, c), 22);
    EXPECT_EQ(to_mpz(c), 1);
    EXPECT_TARVEX_ERROR(mod_or_div(a, zero, c, '\\', 0), 22);
    for (auto* x : {a, zero, c}) free_imag(&x);
}

TEST_F(RationalDivision, CheckAndConvert) {
    imag* one_digit = from_mpz(-268435455);
    EXPECT_EQ(check_and_convert(one_digit), -268435455);
    imag* two_digits = from_mpz(mpz_class(7) * (1 << 28) + 5);
    set_token(&token, "x");
    EXPECT_TARVEX_ERROR(check_and_convert(two_digits), 32);
    use_machine_integers();
    imag* w = word_number(INT32_MIN);
    EXPECT_EQ(check_and_convert(w), INT32_MIN);
    free_imag(&w);
    modularmode = lintmode = 0;
    free_imag(&one_digit);
    free_imag(&two_digits);
}

}  // namespace
