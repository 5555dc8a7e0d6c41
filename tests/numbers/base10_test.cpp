// Radix-10^8 conversion, radix-10^8 products and radix-R sums, checked
// against GMP: conversions against GMP's decimal text cut into groups of
// eight digits, arithmetic against GMP's own products and sums.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "numbers/base10.h"
#include "numbers/numbers.h"
#include "numbers/tables.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

constexpr uint32_t R10 = 100000000;
constexpr uint32_t R28 = 268435456;

using Digits = std::vector<int32_t>;   // most significant first

// abs(v) in radix 10^8, from GMP's decimal text.
Digits decimal_groups(const mpz_class& v) {
    std::string s = mpz_class(abs(v)).get_str(10);
    size_t first = s.size() % 8 == 0 ? 8 : s.size() % 8;
    Digits out{std::stoi(s.substr(0, first))};
    for (size_t i = first; i < s.size(); i += 8) out.push_back(std::stoi(s.substr(i, 8)));
    return out;
}

// abs(v) in radix R by repeated GMP division (for the short operands of the
// arithmetic tests).
Digits radix_digits(const mpz_class& v, uint32_t R) {
    mpz_class m = abs(v);
    Digits out;
    do {
        out.push_back(static_cast<int32_t>(mpz_tdiv_q_ui(m.get_mpz_t(), m.get_mpz_t(), R)));
    } while (m != 0);
    return Digits(out.rbegin(), out.rend());
}

// A fresh record whose chain is the given digits, each times sign.
imag* chain_of(const Digits& d, int sign = 1) {
    imag* x = empty_number();
    numnode* tail = nullptr;
    for (int32_t v : d) {
        numnode* node = newnumnode();
        node->digit = sign * v;
        node->next = nullptr;
        if (tail) tail->next = node; else x->head = node;
        tail = node;
    }
    x->tail = tail;
    x->count = static_cast<int32_t>(d.size());
    return x;
}

imag* radix_number(const mpz_class& v, uint32_t R) { return chain_of(radix_digits(v, R), sgn(v) < 0 ? -1 : 1); }

Digits digits_of(const imag* x) {
    Digits out;
    int32_t n = 0;
    for (const numnode* p = x->head; p && n < x->count; p = p->next, n++) out.push_back(p->digit);
    return out;
}

// The value of a radix-R chain, each digit weighed as it stands.
mpz_class radix_value(const imag* x, uint32_t R) {
    mpz_class v = 0;
    for (int32_t d : digits_of(x)) v = v * R + d;
    return v;
}

// The shape of a result in radix R: count equals the chain length, tail is
// the last node, every digit lies in (-R, R) and carries one sign (in
// 0 .. R-1 when nonneg), the head is non-zero unless the number is zero.
::testing::AssertionResult check_radix(const imag* x, uint32_t R, bool nonneg = false) {
    if (!x || x->count < 1 || !x->head || !x->tail)
        return ::testing::AssertionFailure() << "no digit chain";
    int sign = 0;
    int32_t n = 0;
    const numnode* last = nullptr;
    for (const numnode* p = x->head; p; p = p->next, n++) {
        if (n == x->count) return ::testing::AssertionFailure() << "chain longer than count " << x->count;
        int64_t d = p->digit;
        if (d <= -static_cast<int64_t>(R) || d >= static_cast<int64_t>(R) || (nonneg && d < 0))
            return ::testing::AssertionFailure() << "digit " << n << " from the head is " << d;
        int s = (d > 0) - (d < 0);
        if (s && sign && s != sign)
            return ::testing::AssertionFailure() << "digit " << n << " from the head has the wrong sign";
        if (s) sign = s;
        last = p;
    }
    if (n != x->count) return ::testing::AssertionFailure() << "chain has " << n << " digits, count " << x->count;
    if (last != x->tail) return ::testing::AssertionFailure() << "tail is not the last node";
    if (x->count > 1 && x->head->digit == 0) return ::testing::AssertionFailure() << "zero head digit";
    return ::testing::AssertionSuccess();
}

mpz_class power_of_b(int32_t k) {
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), 2, static_cast<unsigned long>(28 * k));
    return p;
}

numnode* node_at(const imag* x, int32_t i) {
    numnode* p = x->head;
    while (i-- > 0) p = p->next;
    return p;
}

// Converts v by the divide-and-conquer routine (and by repeated division
// when short enough to be cheap) into out and checks both against GMP; v's
// own record must come through untouched.
void expect_converts(const mpz_class& v, imag* out) {
    imag* n = from_mpz(v);
    Digits want = decimal_groups(v);
    verybig_base_10(n->head, n->tail, n->count, out);
    EXPECT_TRUE(check_radix(out, R10, true));
    EXPECT_EQ(digits_of(out), want) << "verybig_base_10 of " << describe(v);
    if (n->count <= 40) {
        make_base_10(n, out);
        EXPECT_TRUE(check_radix(out, R10, true));
        EXPECT_EQ(digits_of(out), want) << "make_base_10 of " << describe(v);
    }
    EXPECT_TRUE(check_number(n));
    EXPECT_EQ(to_mpz(n), v);
    release(n);
}

class Base10Test : public ::testing::Test {
protected:
    // The start-up loader may already have filled the tables; otherwise they
    // are made here from GMP's decimal text of each power.
    static void SetUpTestSuite() {
        if (!tens_base) tens_base = from_mpz(mpz_class(R10));
        if (!two_28[0])
            for (int k = 1; k <= TWO_28_COUNT; k++) two_28[k - 1] = chain_of(decimal_groups(power_of_b(k)));
    }

    RecordLedger ledger_;
};

TEST_F(Base10Test, SmallValuesByHand) {
    struct Case {
        const char* value;
        Digits want;
    } cases[] = {
        {"0", {0}},
        {"99999999", {99999999}},
        {"100000000", {1, 0}},
        {"268435455", {2, 68435455}},
        {"268435456", {2, 68435456}},
        {"-268435456", {2, 68435456}},
        {"10000000000000000", {1, 0, 0}},
        {"72057594037927936", {7, 20575940, 37927936}},   // 2^56
    };
    imag* out = empty_number();
    for (const Case& c : cases) {
        imag* n = from_mpz(mpz_class(c.value));
        make_base_10(n, out);
        EXPECT_TRUE(check_radix(out, R10, true));
        EXPECT_EQ(digits_of(out), c.want) << "make_base_10 of " << c.value;
        verybig_base_10(n->head, n->tail, n->count, out);
        EXPECT_TRUE(check_radix(out, R10, true));
        EXPECT_EQ(digits_of(out), c.want) << "verybig_base_10 of " << c.value;
        release(n);
    }
    release(out);
    EXPECT_TRUE(ledger_.balanced());
}

TEST_F(Base10Test, RandomNumbersMatchGmp) {
    NumberGen gen(0xb10);
    SCOPED_TRACE(gen.trace());
    imag* out = empty_number();
    for (int i = 0; i < scaled(400); i++) expect_converts(gen.digits(gen.length(1, 40)), out);
    for (int i = 0; i < scaled(60); i++) expect_converts(gen.digits(gen.length(41, 2000)), out);
    for (int i = 0; i < scaled(6); i++) expect_converts(gen.digits(gen.length(2001, 20000)), out);
    expect_converts(gen.nonneg_digits(20000), out);
    release(out);
    EXPECT_TRUE(ledger_.balanced());
}

// Lengths at the seams of the recursion: the division cut, the switch of the
// caller at 15 digits, the end of the table (powers beyond 2^(28*130) are
// products), and halvings that leave the low part mostly or wholly zero.
TEST_F(Base10Test, SplitSeamsAndZeroLowParts) {
    NumberGen gen(0xb11);
    SCOPED_TRACE(gen.trace());
    imag* out = empty_number();
    for (int32_t k : {9, 10, 15, 16, 17, 20, 129, 130, 131, 259, 260, 261, 262, 263, 520, 1000}) {
        SCOPED_TRACE("k = " + std::to_string(k));
        mpz_class b = power_of_b(k);
        expect_converts(b, out);          // low halves all zero, at every level
        expect_converts(b - 1, out);      // every base-2^28 digit full
        expect_converts(b + 1, out);
        expect_converts(b * gen.nonneg_digits(3) + gen.nonneg_digits(1), out);
    }
    // 2^(28*20): the low part of the first split is the single digit 0.
    imag* n = from_mpz(power_of_b(20));
    verybig_base_10(n->head, n->tail, n->count, out);
    EXPECT_EQ(digits_of(out), decimal_groups(power_of_b(20)));
    release(n);
    release(out);
    EXPECT_TRUE(ledger_.balanced());
}

TEST_F(Base10Test, SixteenDigitsAgreeOnBothPaths) {
    NumberGen gen(0xb12);
    SCOPED_TRACE(gen.trace());
    imag* a = empty_number();
    imag* b = empty_number();
    for (int i = 0; i < scaled(50); i++) {
        imag* n = from_mpz(gen.digits(16));
        make_base_10(n, a);
        verybig_base_10(n->head, n->tail, 16, b);
        EXPECT_EQ(digits_of(a), digits_of(b)) << describe(n);
        EXPECT_EQ(digits_of(a), decimal_groups(to_mpz(n)));
        release(n);
    }
    release(a);
    release(b);
    EXPECT_TRUE(ledger_.balanced());
}

// A sub-chain in the middle of a longer number converts as the number its
// digits spell, leading zeros included; the host chain is left intact.
TEST_F(Base10Test, SubChains) {
    NumberGen gen(0xb13);
    SCOPED_TRACE(gen.trace());
    imag* out = empty_number();
    for (int i = 0; i < scaled(40); i++) {
        mpz_class v = gen.nonneg_digits(gen.length(3, 600));
        imag* n = from_mpz(v);
        int32_t from = gen.below(n->count);
        int32_t len = gen.between(1, n->count - from);
        numnode* first = node_at(n, from);
        verybig_base_10(first, node_at(n, from + len - 1), len, out);
        EXPECT_TRUE(check_radix(out, R10, true));
        EXPECT_EQ(digits_of(out), decimal_groups(chain_value(first, len)));
        EXPECT_EQ(to_mpz(n), v);
        EXPECT_TRUE(check_number(n));
        release(n);
    }
    // Nothing but zero digits.
    imag* z = from_mpz(power_of_b(40));
    verybig_base_10(z->head->next, z->tail, 40, out);
    EXPECT_EQ(digits_of(out), Digits{0});
    release(z);
    release(out);
    EXPECT_TRUE(ledger_.balanced());
}

// ---------------------------------------------------------------- arithmetic

// A random radix-10^8 operand of n digits, edge-biased, signed when asked.
mpz_class random_decimal(NumberGen& gen, int32_t n, bool allow_negative) {
    std::string s;
    int shape = gen.below(10);
    for (int32_t i = 0; i < n; i++) {
        int32_t d;
        if (shape == 0) d = R10 - 1;                                // 10^(8n) - 1
        else if (shape == 1) d = i == 0 ? 1 : 0;                    // 10^(8(n-1))
        else if (gen.chance(15)) d = gen.chance(50) ? 0 : R10 - 1;
        else d = gen.below(R10);
        std::string g = std::to_string(d);
        s += std::string(8 - g.size(), '0') + g;
    }
    mpz_class v(s, 10);
    if (v == 0 && n > 1) v = 1;
    return allow_negative && gen.chance(30) ? mpz_class(-v) : v;
}

// Checks c = a op b for the three products, with c a fresh record, c = a and c = b.
void expect_products(const mpz_class& va, const mpz_class& vb) {
    SCOPED_TRACE(describe(va) + " * " + describe(vb));
    mpz_class want = va * vb;
    for (auto mult : {base_10_fast_mult, base_10_multiply}) {
        imag* a = radix_number(va, R10);
        imag* b = radix_number(vb, R10);
        imag* c = empty_number();
        mult(a, b, c);
        EXPECT_TRUE(check_radix(c, R10));
        EXPECT_EQ(radix_value(c, R10), want);
        EXPECT_EQ(radix_value(a, R10), va);
        EXPECT_EQ(radix_value(b, R10), vb);
        mult(a, b, a);
        EXPECT_TRUE(check_radix(a, R10));
        EXPECT_EQ(radix_value(a, R10), want);
        release(a);
        a = radix_number(va, R10);
        mult(a, b, b);
        EXPECT_TRUE(check_radix(b, R10));
        EXPECT_EQ(radix_value(b, R10), want);
        mult(a, a, a);
        EXPECT_EQ(radix_value(a, R10), va * va);
        release(a);
        release(b);
        release(c);
    }
}

TEST_F(Base10Test, ProductsMatchGmp) {
    NumberGen gen(0xb14);
    SCOPED_TRACE(gen.trace());
    // Pairs on both sides of the Karatsuba cut and of the factor-2 rule.
    constexpr int32_t K = BASE10_KARATSUBA_CUT;
    const std::pair<int32_t, int32_t> shapes[] = {
        {1, 1},     {1, 5},         {10, 30},     {K - 1, K - 1}, {K - 1, 2 * K}, {K, K},
        {K, 2 * K - 1}, {K, 2 * K}, {K + 1, K + 2}, {2 * K + 1, 4 * K}, {333, 400}, {1000, 1100},
        {2500, 2500}, {1500, 2999}};
    for (auto [n, m] : shapes)
        for (int i = 0; i < 3; i++) expect_products(random_decimal(gen, n, true), random_decimal(gen, m, true));
    for (int i = 0; i < scaled(100); i++) {
        auto [n, m] = gen.lengths(200);
        expect_products(random_decimal(gen, n, true), random_decimal(gen, m, true));
    }
    expect_products(0, random_decimal(gen, 30, false));
    expect_products(random_decimal(gen, 30, false), 0);
    EXPECT_TRUE(ledger_.balanced());
}

// The transform products forced on every size: all-nines digits give the
// largest convolution terms, and each needs the carries in radix 10^8.
TEST_F(Base10Test, TransformProductsAndConversionsForced) {
    NumberGen gen(0xb16);
    SCOPED_TRACE(gen.trace());
    struct ForcedCut {
        int32_t before = base10_ntt_cut;
        ForcedCut() { base10_ntt_cut = 1; }
        ~ForcedCut() { base10_ntt_cut = before; }
    } forced;
    for (int i = 0; i < scaled(40); i++) {
        auto [n, m] = gen.lengths(300);
        expect_products(random_decimal(gen, n, true), random_decimal(gen, m, true));
    }
    for (int32_t n : {1, 2, 3, 501}) {
        mpz_class nines = 1;
        mpz_pow_ui(nines.get_mpz_t(), mpz_class(R10).get_mpz_t(), static_cast<unsigned long>(n));
        nines -= 1;
        expect_products(nines, nines);
        expect_products(nines, nines + 2);
    }
    imag* out = empty_number();
    for (int32_t k : {17, 131, 1000}) {
        expect_converts(power_of_b(k) - 1, out);
        expect_converts(gen.digits(k), out);
    }
    release(out);
    EXPECT_TRUE(ledger_.balanced());
}

TEST_F(Base10Test, ProductByOneDigit) {
    NumberGen gen(0xb15);
    SCOPED_TRACE(gen.trace());
    imag* out = empty_number();
    for (int i = 0; i < scaled(200); i++) {
        mpz_class vx = random_decimal(gen, gen.length(1, 50), true);
        int32_t d = gen.chance(30) ? (gen.chance(50) ? 0 : R10 - 1) : gen.below(R10);
        if (gen.chance(20)) d = -d;
        imag* x = radix_number(vx, R10);
        simp_base_10_mult(x, d, out);
        EXPECT_TRUE(check_radix(out, R10));
        EXPECT_EQ(radix_value(out, R10), vx * d) << describe(vx) << " * " << d;
        simp_base_10_mult(x, d, x);
        EXPECT_EQ(radix_value(x, R10), vx * d);
        release(x);
    }
    release(out);
    EXPECT_TRUE(ledger_.balanced());
}

// A signed radix-R operand: random, R^k - 1, R^k, or minus / equal to the other.
mpz_class random_radix(NumberGen& gen, uint32_t R, const mpz_class* other) {
    mpz_class rk;
    mpz_ui_pow_ui(rk.get_mpz_t(), R, static_cast<unsigned long>(gen.between(1, 12)));
    int shape = gen.below(10);
    mpz_class v;
    if (other && shape == 0) return -*other;
    if (other && shape == 1) return *other;
    if (shape == 2) v = rk - 1;
    else if (shape == 3) v = rk;
    else if (shape == 4) v = gen.below(3);
    else {
        for (int32_t n = gen.length(1, 60); n > 0; n--) v = v * R + (gen.chance(20) ? R - 1 : gen.below(static_cast<int32_t>(R)));
    }
    return gen.chance(50) ? mpz_class(-v) : v;
}

class SumTest : public Base10Test, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(SumTest, SumsAndDifferencesMatchGmp) {
    const uint32_t R = GetParam();
    NumberGen gen(0xb16 + R);
    SCOPED_TRACE(gen.trace());
    for (int i = 0; i < scaled(300); i++) {
        mpz_class va = random_radix(gen, R, nullptr);
        mpz_class vb = random_radix(gen, R, &va);
        SCOPED_TRACE(describe(va) + " and " + describe(vb));
        imag* a = radix_number(va, R);
        imag* b = radix_number(vb, R);
        imag* c = radix_number(gen.digits(2), R);   // old digits to give back

        summ(a, b, c, static_cast<int32_t>(R));
        EXPECT_TRUE(check_radix(c, R));
        EXPECT_EQ(radix_value(c, R), va + vb);
        diff(a->head, a->count, b, c, static_cast<int32_t>(R));
        EXPECT_TRUE(check_radix(c, R));
        EXPECT_EQ(radix_value(c, R), va - vb);
        EXPECT_EQ(radix_value(a, R), va);
        EXPECT_EQ(radix_value(b, R), vb);

        summ(a, b, b, static_cast<int32_t>(R));   // c is b
        EXPECT_TRUE(check_radix(b, R));
        EXPECT_EQ(radix_value(b, R), va + vb);
        diff(a->head, a->count, b, a, static_cast<int32_t>(R));   // a - (a + b), into a
        EXPECT_TRUE(check_radix(a, R));
        EXPECT_EQ(radix_value(a, R), -vb);
        summ(a, a, a, static_cast<int32_t>(R));
        EXPECT_EQ(radix_value(a, R), -2 * vb);
        release(a);
        release(b);
        release(c);
    }
    EXPECT_TRUE(ledger_.balanced());
}

TEST_P(SumTest, CarriesAndCancellations) {
    const uint32_t R = GetParam();
    const int32_t r = static_cast<int32_t>(R);
    mpz_class rr = mpz_class(R) * R;
    struct Case {
        mpz_class a, b;
        bool subtract;
        Digits want;
        int sign;
    } cases[] = {
        {R - 1, 1, false, {1, 0}, 1},
        {R, 1, true, {r - 1}, 1},
        {rr + 5, -(rr) - 3, false, {2}, 1},
        {-(rr) - 5, -(rr) - 3, true, {2}, -1},
        {rr * R - 1, 1, false, {1, 0, 0, 0}, 1},
        {-(rr * R) + 1, -1, false, {1, 0, 0, 0}, -1},
        {-(rr * R), -1, true, {r - 1, r - 1, r - 1}, -1},
        {0, 0, false, {0}, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(describe(k.a) + (k.subtract ? " - " : " + ") + describe(k.b));
        imag* a = radix_number(k.a, R);
        imag* b = radix_number(k.b, R);
        if (k.subtract) diff(a->head, a->count, b, a, r);
        else summ(a, b, a, r);
        EXPECT_TRUE(check_radix(a, R));
        Digits want = k.want;
        for (int32_t& d : want) d *= k.sign;
        EXPECT_EQ(digits_of(a), want);
        release(a);
        release(b);
    }
    // a - a gives one digit 0, and every other node goes back.
    imag* a = radix_number(rr * rr - 7, R);
    diff(a->head, a->count, a, a, r);
    EXPECT_EQ(digits_of(a), Digits{0});
    release(a);
    EXPECT_TRUE(ledger_.balanced());
}

INSTANTIATE_TEST_SUITE_P(Radices, SumTest, ::testing::Values(R10, R28),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                             return info.param == R10 ? std::string("Radix10to8") : std::string("Radix2to28");
                         });

}  // namespace
