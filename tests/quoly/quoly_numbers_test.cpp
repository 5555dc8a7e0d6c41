// Quoly arithmetic on plain numbers and rationals: every operation shape
// against GMP in big-integer mode, against 64-bit references in modular and
// machine-integer mode and against a model of GF(2^8) and GF(2^16); the
// errors 22, 85, 210 and 32; record conservation throughout.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <mutex>
#include <string>

#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/field_ref.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/quoly_ops.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

// ---------------------------------------------------------------- values built by hand

polynode* lone(const mpz_class& v) { return number_node(v); }

quoly* blank() {
    quoly* q;
    newquoly(&q);
    q->isnum = q->rat = 0;
    q->pnum = q->den = nullptr;
    return q;
}

// v as the normal form holds it in big-integer mode.
quoly* make(const mpq_class& v) {
    quoly* q = blank();
    if (v.get_den() == 1) {
        q->isnum = 1;
        q->nnum = from_mpz(v.get_num());
    } else {
        q->rat = 1;
        q->pnum = lone(v.get_num());
        q->den = lone(v.get_den());
    }
    return q;
}

// n over d exactly as given, not normalised.
quoly* raw_fraction(long n, long d) {
    quoly* q = blank();
    q->pnum = lone(n);
    q->den = lone(d);
    return q;
}

// A plain number holding a machine word (machine-integer and modular mode).
quoly* word_quoly(int32_t v) {
    quoly* q = blank();
    q->isnum = 1;
    q->nnum = new_number();
    q->nnum->value = v;
    return q;
}

// A lone number node holding a machine word.
polynode* word_node(int32_t v) {
    imag* x = new_number();
    x->value = v;
    polynode* p = number_node(0);
    release(p->ncoef);
    p->ncoef = x;
    return p;
}

::testing::AssertionResult holds_word(const quoly* q, int64_t want) {
    auto normal = check_quoly_normal(q, 0);
    if (!normal) return normal;
    if (!q->isnum) return ::testing::AssertionFailure() << "not a plain number";
    if (q->nnum->value != static_cast<int32_t>(want))
        return ::testing::AssertionFailure() << "value " << q->nnum->value << ", expected " << want;
    return ::testing::AssertionSuccess();
}

bool on_quolygarb(const quoly* q) {
    for (const quoly* p = quolygarb; p; p = p->link)
        if (p == q) return true;
    return false;
}

mpq_class random_value(NumberGen& gen, int32_t maxlen) {
    mpz_class num = gen.chance(15) ? gen.edge_value() : gen.digits(gen.length(1, maxlen));
    if (gen.chance(40)) return mpq_class(num);
    mpz_class den = abs(gen.nonneg_digits(gen.length(1, maxlen)));
    if (den == 0) den = 1;
    // A shared factor makes the cross cancellations do some work.
    if (gen.chance(30)) {
        mpz_class f = gen.nonneg_digits(1) + 2;
        num *= f;
        den *= f;
    }
    mpq_class q(num, den);
    q.canonicalize();
    return q;
}

// ---------------------------------------------------------------- the operations

mpq_class apply(Op op, const mpq_class& a, const mpq_class& b) {
    switch (op) {
    case ADD: return a + b;
    case SUB: return a - b;
    case MUL: return a * b;
    case DIV: return a / b;
    }
    return 0;
}

// The in-place shape that keeps b: better_ for sums (r = a's slot), fast_ for products.
void in_place_keeping(Op op, quoly** a, quoly** b) {
    switch (op) {
    case ADD: better_quoly_add(*a, *b, a); break;
    case SUB: better_quoly_sub(*a, *b, a); break;
    case MUL: fast_quoly_mult(a, b); break;
    case DIV: fast_quoly_quot(a, b, 0); break;
    }
}

// 64-bit references for residues and machine words.
uint64_t pow_mod(uint64_t a, uint64_t e, uint64_t m) {
    uint64_t r = 1 % m;
    a %= m;
    for (; e; e >>= 1) {
        if (e & 1) r = r * a % m;
        a = a * a % m;
    }
    return r;
}

// The inverse of a modulo m, or 0 when gcd(a, m) != 1.
int64_t inverse_mod(int64_t a, int64_t m) {
    int64_t r0 = m, r1 = a, t0 = 0, t1 = 1;
    while (r1) {
        int64_t q = r0 / r1, r2 = r0 - q * r1, t2 = t0 - q * t1;
        r0 = r1, r1 = r2, t0 = t1, t1 = t2;
    }
    if (r0 != 1) return 0;
    return t0 < 0 ? t0 + m : t0;
}

class QuolyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { load_data_once(); }
    QuolyTest() {
        modularmode = lintmode = 0;
        install_modulus(0);
    }
    ~QuolyTest() override {
        pos_mod = saved_pos_mod_;
        integerflag = 0;
    }

    void use_modulus(int32_t m, bool prime) {
        install_modulus(m);
        modularmode = lintmode = 1;
        mod_is_prime = prime;
    }

    RingStateGuard ring_;
    int saved_pos_mod_ = pos_mod;
};

using BigIntegerQuolys = QuolyTest;
using ModularQuolys = QuolyTest;
using MachineWordQuolys = QuolyTest;
using PolynomialOperands = QuolyTest;

// ---------------------------------------------------------------- big integers and rationals

TEST_F(BigIntegerQuolys, EveryShapeAgainstGmp) {
    NumberGen gen(51021);
    RecordLedger ledger;
    for (int it = 0; it < scaled(250); it++) {
        const mpq_class A = random_value(gen, 4), B = random_value(gen, 4);
        for (Op op : {ADD, SUB, MUL, DIV}) {
            if (op == DIV && B == 0) continue;
            SCOPED_TRACE(gen.trace() + ": " + A.get_str() + " " + op_names[op] + " " + B.get_str());
            const mpq_class want = apply(op, A, B);
            quoly* a = make(A);
            quoly* b = make(B);

            quoly* r = nullptr;
            three_address(op, a, b, &r);
            EXPECT_TRUE(holds(r, want));
            // A slot that already holds a plain number, then the operands' own slots.
            quoly* s = make(mpq_class(gen.digits(2)));
            three_address(op, a, b, &s);
            EXPECT_TRUE(holds(s, want));
            quoly* x = make(A);
            three_address(op, x, b, &x);
            EXPECT_TRUE(holds(x, want));
            quoly* y = make(B);
            three_address(op, a, y, &y);
            EXPECT_TRUE(holds(y, want));

            quoly* p = make(A);
            in_place_keeping(op, &p, &b);
            EXPECT_TRUE(holds(p, want));
            EXPECT_TRUE(holds(a, A));
            EXPECT_TRUE(holds(b, B));

            if (op == ADD || op == SUB) {
                quoly* c = make(A);
                quoly* d = make(B);
                if (op == ADD) best_quoly_add(&c, d);
                else best_quoly_sub(&c, d);
                EXPECT_TRUE(holds(c, want));
                EXPECT_TRUE(on_quolygarb(d)) << "the consumed operand was not given back";
                // Consuming a into a slot that holds something else.
                quoly* e = make(A);
                quoly* other = make(mpq_class(7, 3));
                if (op == ADD) better_quoly_add(e, b, &other);
                else better_quoly_sub(e, b, &other);
                EXPECT_TRUE(holds(other, want));
                free_quoly(&c);
                free_quoly(&other);
            }
            for (quoly** q : {&a, &b, &r, &s, &x, &y, &p}) free_quoly(q);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(BigIntegerQuolys, OperandsThatAreOneRecord) {
    RecordLedger ledger;
    for (const char* v : {"-5/6", "12", "0", "-340282366920938463463374607431768211457/3"}) {
        SCOPED_TRACE(v);
        const mpq_class A(v);
        quoly* a = make(A);
        quoly* r = nullptr;
        quoly_sub(a, a, &r);
        EXPECT_TRUE(holds(r, 0));
        if (A != 0) {
            quoly_quot(a, a, &r, 0);
            EXPECT_TRUE(holds(r, 1));
            quoly* p = make(A);
            fast_quoly_quot(&p, &p, 1);
            EXPECT_TRUE(holds(p, 1));
            free_quoly(&p);
        }
        quoly_add(a, a, &a);   // both operands and the result in one slot
        EXPECT_TRUE(holds(a, 2 * A));
        fast_quoly_mult(&a, &a);
        EXPECT_TRUE(holds(a, 4 * A * A));
        free_quoly(&a);
        free_quoly(&r);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(BigIntegerQuolys, HandWorkedCases) {
    RecordLedger ledger;
    struct Case { Op op; const char *a, *b, *want; };
    const Case cases[] = {
        {ADD, "1/2", "1/3", "5/6"}, {ADD, "1/6", "1/3", "1/2"}, {ADD, "1/2", "1/2", "1"},
        {SUB, "1/2", "1/2", "0"},   {ADD, "3", "1/2", "7/2"},   {SUB, "1/2", "3", "-5/2"},
        {SUB, "3", "1/2", "5/2"},   {MUL, "6", "1/4", "3/2"},   {MUL, "2/3", "3/2", "1"},
        {DIV, "7", "2", "7/2"},     {DIV, "7", "-2", "-7/2"},   {DIV, "6", "3", "2"},
        {DIV, "6", "-3", "-2"},     {DIV, "1/2", "-1/3", "-3/2"}, {DIV, "3", "-3/4", "-4"},
        {DIV, "-3/4", "3", "-1/4"}, {DIV, "0", "-3/4", "0"},   {MUL, "0", "5/7", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " " + op_names[c.op] + " " + c.b);
        quoly* a = make(mpq_class(c.a));
        quoly* b = make(mpq_class(c.b));
        quoly* r = nullptr;
        three_address(c.op, a, b, &r);
        EXPECT_TRUE(holds(r, mpq_class(c.want)));
        // 7 / -2 keeps the sign on the numerator, the denominator positive.
        if (!r->isnum) {
            EXPECT_GT(to_mpz(r->den->ncoef), 0);
        }
        for (quoly** q : {&a, &b, &r}) free_quoly(q);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(BigIntegerQuolys, ReciprocalsAndNormalisation) {
    RecordLedger ledger;
    struct Case { const char *v, *want; };
    for (const Case& c : {Case{"-4", "-1/4"}, Case{"-1/4", "-4"}, Case{"2/3", "3/2"}, Case{"-2/3", "-3/2"},
                          Case{"1", "1"}, Case{"-1", "-1"}, Case{"1/7", "7"}}) {
        SCOPED_TRACE(c.v);
        quoly* q = make(mpq_class(c.v));
        quoly_reciprocal(&q);
        EXPECT_TRUE(holds(q, mpq_class(c.want)));
        free_quoly(&q);
    }
    quoly* zero = make(0);
    EXPECT_TARVEX_ERROR(quoly_reciprocal(&zero), 22);
    free_quoly(&zero);

    // Numbers over numbers as other code assembles them.
    struct Raw { long n, d; const char* want; };
    for (const Raw& c : {Raw{4, -6, "-2/3"}, Raw{0, 5, "0"}, Raw{6, 3, "2"}, Raw{5, -1, "-5"}, Raw{-9, -12, "3/4"}}) {
        SCOPED_TRACE(std::to_string(c.n) + "/" + std::to_string(c.d));
        quoly* q = raw_fraction(c.n, c.d);
        check_quoly(&q, 0);
        EXPECT_TRUE(holds(q, mpq_class(c.want)));
        free_quoly(&q);
    }
    quoly* q = raw_fraction(3, -1);
    normal_form(q, 1);
    EXPECT_TRUE(holds(q, -3));
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(BigIntegerQuolys, PowersAgainstGmp) {
    NumberGen gen(51022);
    RecordLedger ledger;
    for (int it = 0; it < scaled(300); it++) {
        const mpq_class A = random_value(gen, 2);
        const int32_t e = gen.between(-9, 9);
        SCOPED_TRACE(gen.trace() + ": (" + A.get_str() + ")^" + std::to_string(e));
        quoly* q = make(A);
        imag* ex = from_mpz(e);
        if (A == 0 && e < 0) {
            EXPECT_TARVEX_ERROR(raise_to_power(&q, ex), 22);
        } else {
            raise_to_power(&q, ex);
            mpz_class n, d;
            const unsigned long k = static_cast<unsigned long>(e < 0 ? -e : e);
            mpz_pow_ui(n.get_mpz_t(), A.get_num_mpz_t(), k);
            mpz_pow_ui(d.get_mpz_t(), A.get_den_mpz_t(), k);
            mpq_class want = e < 0 ? mpq_class(d, n) : mpq_class(n, d);
            want.canonicalize();
            EXPECT_TRUE(holds(q, want));
        }
        free_quoly(&q);
        release(ex);
    }
    quoly* q = make(mpq_class(2, 3));
    quoly_compute_power(&q, 3);
    EXPECT_TRUE(holds(q, mpq_class(8, 27)));
    imag* big = from_mpz(mpz_class(1) << 28);   // two digits
    EXPECT_TARVEX_ERROR(raise_to_power(&q, big), 32);
    EXPECT_TARVEX_ERROR(quoly_compute_power(&q, 0), -1);   // the fatal internal error
    EXPECT_TRUE(holds(q, mpq_class(8, 27)));
    free_quoly(&q);
    release(big);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(BigIntegerQuolys, RemainderAndQuotientOperators) {
    NumberGen gen(51023);
    RecordLedger ledger;
    for (int it = 0; it < scaled(200); it++) {
        const mpz_class A = gen.digits(gen.length(1, 4));
        mpz_class B = gen.digits(gen.length(1, 3));
        if (B == 0) B = -1;
        for (int pos : {0, 1}) {
            SCOPED_TRACE(gen.trace() + ": " + A.get_str() + " by " + B.get_str() + " pos_mod " + std::to_string(pos));
            pos_mod = pos;
            mpz_class q, r;
            mpz_tdiv_qr(q.get_mpz_t(), r.get_mpz_t(), A.get_mpz_t(), B.get_mpz_t());
            mpz_class rp = r, qp = q;   // the pos_mod pair, still a = b q + r
            if (pos && r < 0) {
                rp += abs(B);
                qp += B < 0 ? 1 : -1;
            }
            quoly* a = make(A);
            quoly* b = make(B);
            quoly* res = nullptr;
            quoly_mod_or_div(a, b, &res, '|');
            EXPECT_TRUE(holds(res, rp));
            quoly_mod_or_div(a, b, &a, '\\');   // the result slot is a's
            EXPECT_TRUE(holds(a, q));
            free_quoly(&a);
            a = make(A);
            quoly_mod_and_quot(&a, &b);
            EXPECT_TRUE(holds(a, rp));
            EXPECT_TRUE(holds(b, qp));
            for (quoly** x : {&a, &b, &res}) free_quoly(x);
        }
    }
    // A rational's numerator and denominator are reduced separately.
    pos_mod = 1;
    struct Case { const char *a, *b; int op; const char* want; };
    for (const Case& c : {Case{"7/2", "3", '|', "1/2"}, Case{"-7/2", "3", '|', "1"}, Case{"5", "3/4", '|', "2"},
                          Case{"7/5", "3", '\\', "2"}, Case{"6/5", "3", '|', "0"}, Case{"-7/4", "5/9", '|', "3/4"}}) {
        SCOPED_TRACE(std::string(c.a) + " " + static_cast<char>(c.op) + " " + c.b);
        quoly* a = make(mpq_class(c.a));
        quoly* b = make(mpq_class(c.b));
        quoly* r = nullptr;
        quoly_mod_or_div(a, b, &r, c.op);
        EXPECT_TRUE(holds(r, mpq_class(c.want)));
        for (quoly** x : {&a, &b, &r}) free_quoly(x);
    }
    pos_mod = 0;
    quoly* a = make(mpq_class(-7, 2));
    quoly* b = make(3);
    quoly* r = nullptr;
    quoly_mod_or_div(a, b, &r, '|');
    EXPECT_TRUE(holds(r, mpq_class(-1, 2)));
    EXPECT_TARVEX_ERROR(quoly_mod_or_div(a, b, &r, '\\'), 210);   // -7 \ 3 over 2 \ 3 = -2/0
    EXPECT_TRUE(holds(r, mpq_class(-1, 2)));
    quoly* zero = make(0);
    EXPECT_TARVEX_ERROR(quoly_mod_or_div(b, zero, &r, '|'), 22);
    quoly_mod_and_quot(&a, &b);   // numerators only: -7 by 3
    EXPECT_TRUE(holds(a, -1));
    EXPECT_TRUE(holds(b, -2));
    for (quoly** x : {&a, &b, &r, &zero}) free_quoly(x);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(BigIntegerQuolys, DivisionByZeroLeavesEverythingOwned) {
    RecordLedger ledger;
    quoly* zero = make(0);
    for (const char* v : {"5", "-5/3"}) {
        quoly* a = make(mpq_class(v));
        quoly* r = make(9);
        EXPECT_TARVEX_ERROR(quoly_quot(a, zero, &r, 0), 22);
        EXPECT_TARVEX_ERROR(fast_quoly_quot(&a, &zero, 0), 22);
        EXPECT_TRUE(holds(r, 9));
        EXPECT_TRUE(holds(a, mpq_class(v)));
        free_quoly(&a);
        free_quoly(&r);
    }
    free_quoly(&zero);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(BigIntegerQuolys, IntegerOnlyEvaluationUsesLeadingDigitWords) {
    RecordLedger ledger;
    integerflag = 1;
    quoly* a = make(-7);
    quoly* b = make(2);
    quoly* r = nullptr;
    quoly_add(a, b, &r);
    EXPECT_TRUE(holds(r, -5));
    quoly_mult(a, b, &r);
    EXPECT_TRUE(holds(r, -14));
    quoly_quot(a, b, &r, 0);
    EXPECT_TRUE(holds(r, -3));   // truncated, not the rational -7/2
    best_quoly_sub(&a, b);
    EXPECT_TRUE(holds(a, -9));
    free_quoly(&a);
    free_quoly(&r);
    integerflag = 0;
    EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- residues

TEST_F(ModularQuolys, AgainstSixtyFourBitArithmetic) {
    NumberGen gen(51024);
    struct Modulus { int32_t m; bool prime; };
    for (const Modulus& mod : {Modulus{7, true}, Modulus{12, false}, Modulus{65521, true}, Modulus{1000003, true},
                               Modulus{1000000, false}, Modulus{2147483629, true}, Modulus{2147483644, false}}) {
        use_modulus(mod.m, mod.prime);
        const int64_t m = mod.m;
        RecordLedger ledger;
        for (int it = 0; it < scaled(150); it++) {
            auto residue = [&] {
                const int k = gen.below(8);
                return k == 0 ? int64_t{0} : k == 1 ? int64_t{1} : k == 2 ? m - 1 : int64_t{gen.below(mod.m)};
            };
            const int64_t A = residue(), B = residue();
            SCOPED_TRACE(gen.trace() + " mod " + std::to_string(m) + ": " + std::to_string(A) + ", " +
                         std::to_string(B));
            const int64_t inv = B ? inverse_mod(B, m) : 0;
            const int64_t wants[] = {(A + B) % m, (A - B + m) % m, A * B % m, A * inv % m};
            for (Op op : {ADD, SUB, MUL, DIV}) {
                quoly* a = word_quoly(static_cast<int32_t>(A));
                quoly* b = word_quoly(static_cast<int32_t>(B));
                quoly* r = nullptr;
                if (op == DIV && inv == 0) {
                    EXPECT_TARVEX_ERROR(three_address(op, a, b, &r), B == 0 ? 22 : 85);
                    EXPECT_TARVEX_ERROR(in_place_keeping(op, &a, &b), B == 0 ? 22 : 85);
                } else {
                    three_address(op, a, b, &r);
                    EXPECT_TRUE(holds_word(r, wants[op])) << op_names[op];
                    three_address(op, a, b, &a);
                    EXPECT_TRUE(holds_word(a, wants[op])) << op_names[op];
                    quoly* p = word_quoly(static_cast<int32_t>(A));
                    in_place_keeping(op, &p, &b);
                    EXPECT_TRUE(holds_word(p, wants[op])) << op_names[op];
                    EXPECT_TRUE(holds_word(b, B));
                    free_quoly(&p);
                }
                for (quoly** x : {&a, &b, &r}) free_quoly(x);
            }

            // Powers: the exponent is reduced by p - 1 only for a prime
            // modulus and a non-zero base.
            int32_t e = gen.chance(50) ? gen.between(-40, 40) : static_cast<int32_t>(gen.bits());
            quoly* q = word_quoly(static_cast<int32_t>(A));
            imag* ex = new_number();
            ex->value = e;
            const bool reduces = mod.prime && A != 0;
            int64_t used = e;
            if (reduces) used = ((int64_t{e} % (m - 1)) + (m - 1)) % (m - 1);
            const uint64_t k = static_cast<uint64_t>(used < 0 ? -used : used);
            const int64_t p = static_cast<int64_t>(pow_mod(static_cast<uint64_t>(A), k, static_cast<uint64_t>(m)));
            const int64_t want = used >= 0 ? p : inverse_mod(p, m);
            SCOPED_TRACE("exponent " + std::to_string(e));
            if (want == 0 && used < 0) {
                EXPECT_TARVEX_ERROR(raise_to_power(&q, ex), 85);
            } else {
                raise_to_power(&q, ex);
                EXPECT_TRUE(holds_word(q, want));
            }
            EXPECT_EQ(ex->value, reduces ? used : e);
            free_quoly(&q);
            free_imag(&ex);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST_F(ModularQuolys, HandWorkedCases) {
    RecordLedger ledger;
    use_modulus(7, true);
    struct Case { int32_t base, e, want; };
    for (const Case& c : {Case{3, 8, 2}, Case{3, -1, 5}, Case{0, 0, 1}, Case{6, -3, 6}, Case{0, 5, 0}}) {
        quoly* q = word_quoly(c.base);
        imag* ex = new_number();
        ex->value = c.e;
        raise_to_power(&q, ex);
        EXPECT_TRUE(holds_word(q, c.want)) << c.base << "^" << c.e;
        free_quoly(&q);
        free_imag(&ex);
    }
    quoly* q = word_quoly(0);
    imag* ex = new_number();
    ex->value = -1;
    EXPECT_TARVEX_ERROR(raise_to_power(&q, ex), 85);
    EXPECT_TARVEX_ERROR(quoly_reciprocal(&q), 85);
    quoly* three = word_quoly(3);
    EXPECT_TARVEX_ERROR(quoly_quot(three, q, &q, 0), 22);
    quoly_reciprocal(&three);
    EXPECT_TRUE(holds_word(three, 5));
    // A fraction that other code assembled: the number denominator is divided in.
    quoly* f = blank();
    f->pnum = word_node(4);
    f->den = word_node(3);
    check_quoly(&f, 0);
    EXPECT_TRUE(holds_word(f, 6));   // 4 * 3^-1 = 4 * 5 mod 7
    for (quoly** x : {&q, &three, &f}) free_quoly(x);
    free_imag(&ex);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(ModularQuolys, CharacteristicTwoFields) {
    NumberGen gen(51025);
    for (int32_t m : {256, 65536}) {
        use_modulus(m, false);
        auto mul = [m](uint32_t a, uint32_t b) { return m == 256 ? gf8_mul(a, b) : gf16_mul(a, b); };
        auto pow = [&](uint32_t a, uint32_t e) {
            uint32_t r = 1;
            for (; e; e >>= 1, a = mul(a, a))
                if (e & 1) r = mul(r, a);
            return r;
        };
        RecordLedger ledger;
        for (int it = 0; it < scaled(300); it++) {
            const uint32_t A = static_cast<uint32_t>(gen.below(m)), B = static_cast<uint32_t>(gen.below(m));
            SCOPED_TRACE(gen.trace() + " in GF(" + std::to_string(m) + "): " + std::to_string(A) + ", " +
                         std::to_string(B));
            quoly* a = word_quoly(static_cast<int32_t>(A));
            quoly* b = word_quoly(static_cast<int32_t>(B));
            quoly* r = nullptr;
            quoly_add(a, b, &r);
            EXPECT_TRUE(holds_word(r, A ^ B));
            quoly_sub(a, b, &r);
            EXPECT_TRUE(holds_word(r, A ^ B));
            quoly_mult(a, b, &r);
            EXPECT_TRUE(holds_word(r, mul(A, B)));
            if (B == 0) {
                EXPECT_TARVEX_ERROR(quoly_quot(a, b, &r, 0), 22);
                EXPECT_TARVEX_ERROR(quoly_reciprocal(&b), 85);
            } else {
                quoly_quot(a, b, &r, 0);
                ASSERT_TRUE(check_quoly_normal(r, 0));
                EXPECT_EQ(mul(static_cast<uint32_t>(r->nnum->value), B), A);
                quoly_reciprocal(&b);
                EXPECT_EQ(mul(static_cast<uint32_t>(b->nnum->value), B), 1u);
            }
            // No exponent reduction: the modulus is not prime.
            const int32_t e = gen.between(-600, 600);
            quoly* q = word_quoly(static_cast<int32_t>(A));
            imag* ex = new_number();
            ex->value = e;
            const uint32_t p = pow(A, static_cast<uint32_t>(e < 0 ? -e : e));
            if (e < 0 && p == 0) {
                EXPECT_TARVEX_ERROR(raise_to_power(&q, ex), 85);
            } else {
                raise_to_power(&q, ex);
                ASSERT_TRUE(check_quoly_normal(q, 0));
                const uint32_t got = static_cast<uint32_t>(q->nnum->value);
                EXPECT_EQ(e >= 0 ? got : mul(got, p), e >= 0 ? p : 1u);
            }
            EXPECT_EQ(ex->value, e);
            for (quoly** x : {&a, &b, &r, &q}) free_quoly(x);
            free_imag(&ex);
        }
        EXPECT_TRUE(ledger.balanced());
    }
}

// ---------------------------------------------------------------- machine integers

TEST_F(MachineWordQuolys, ThirtyTwoBitWrapAround) {
    NumberGen gen(51026);
    modularmode = 0;
    lintmode = 1;
    RecordLedger ledger;
    const int32_t edges[] = {0, 1, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 2, -3};
    for (int it = 0; it < scaled(300); it++) {
        auto word = [&] { return gen.chance(30) ? edges[gen.below(7)] : static_cast<int32_t>(gen.bits()); };
        const int32_t A = word(), B = word();
        SCOPED_TRACE(gen.trace() + ": " + std::to_string(A) + ", " + std::to_string(B));
        const uint32_t ua = static_cast<uint32_t>(A), ub = static_cast<uint32_t>(B);
        const int64_t wants[] = {static_cast<int32_t>(ua + ub), static_cast<int32_t>(ua - ub),
                                 static_cast<int32_t>(ua * ub),
                                 B ? static_cast<int32_t>(static_cast<uint32_t>(int64_t{A} / B)) : 0};
        for (Op op : {ADD, SUB, MUL, DIV}) {
            quoly* a = word_quoly(A);
            quoly* b = word_quoly(B);
            quoly* r = word_quoly(5);
            if (op == DIV && B == 0) {
                EXPECT_TARVEX_ERROR(three_address(op, a, b, &r), 22);
            } else {
                three_address(op, a, b, &r);
                EXPECT_TRUE(holds_word(r, wants[op])) << op_names[op];
                in_place_keeping(op, &a, &b);
                EXPECT_TRUE(holds_word(a, wants[op])) << op_names[op];
            }
            if (op == ADD || op == SUB) {
                quoly* c = word_quoly(A);
                if (op == ADD) best_quoly_add(&c, b);
                else best_quoly_sub(&c, b);
                EXPECT_TRUE(holds_word(c, wants[op]));
                b = nullptr;
                free_quoly(&c);
            }
            for (quoly** x : {&a, &b, &r}) free_quoly(x);
        }
        // Powers wrap; a negative exponent is the truncated 1 / a^n.
        const int32_t e = gen.between(-4, 40);
        uint32_t p = 1;
        for (int32_t i = 0; i < (e < 0 ? -e : e); i++) p *= ua;
        quoly* q = word_quoly(A);
        imag* ex = new_number();
        ex->value = e;
        if (e < 0 && p == 0) {
            EXPECT_TARVEX_ERROR(raise_to_power(&q, ex), 22);
        } else {
            raise_to_power(&q, ex);
            const int32_t sp = static_cast<int32_t>(p);
            EXPECT_TRUE(holds_word(q, e >= 0 ? sp : static_cast<int32_t>(int64_t{1} / sp))) << "exponent " << e;
        }
        free_quoly(&q);
        free_imag(&ex);
    }
    EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- polynomial operands

TEST_F(PolynomialOperands, NumbersMeetingPolynomials) {
    RecordLedger ledger;
    const TermList x_plus_2 = canonical_terms(1, {{1, {1}}, {2, {0}}});
    quoly* x = blank();
    x->pnum = build_poly(1, x_plus_2);
    quoly* one = make(1);
    quoly* zero = make(0);
    quoly* half = make(mpq_class(1, 2));
    quoly* r = nullptr;

    // (x + 2) + 1 = x + 3; (1/2)(x + 2) = (x + 2)/2.
    quoly_add(x, one, &r);
    ASSERT_TRUE(check_quoly_normal(r, 1));
    EXPECT_EQ(read_poly(r->pnum, 1), canonical_terms(1, {{1, {1}}, {3, {0}}}));
    quoly_mult(half, x, &r);
    ASSERT_TRUE(check_quoly_normal(r, 1));
    EXPECT_EQ(read_poly(r->pnum, 1), x_plus_2);
    ASSERT_NE(r->den, nullptr);
    EXPECT_EQ(read_poly(r->den, 1), canonical_terms(1, {{2, {0}}}));

    quoly_mult(zero, x, &r);
    EXPECT_TRUE(holds(r, 0));
    quoly_quot(zero, x, &r, 0);
    EXPECT_TRUE(holds(r, 0));
    quoly_sub(x, x, &r);
    EXPECT_TRUE(holds(r, 0));
    quoly_quot(x, x, &r, 0);
    EXPECT_TRUE(holds(r, 1));
    quoly_quot(x, one, &r, 0);
    ASSERT_TRUE(check_quoly_normal(r, 1));
    EXPECT_EQ(read_poly(r->pnum, 1), x_plus_2);
    EXPECT_NE(r->pnum, x->pnum);
    EXPECT_TARVEX_ERROR(quoly_quot(x, zero, &r, 0), 22);
    fast_quoly_mult(&x, &zero);
    EXPECT_TRUE(holds(x, 0));
    // The product that stands for "no value" when it is 0 or an operand is missing.
    quoly_nils_mult(one, zero, &r);
    EXPECT_EQ(r, nullptr);
    quoly_nils_mult(half, nullptr, &r);
    EXPECT_EQ(r, nullptr);
    quoly_nils_mult(half, half, &r);
    EXPECT_TRUE(holds(r, mpq_class(1, 4)));
    for (quoly** q : {&x, &one, &zero, &half, &r}) free_quoly(q);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
