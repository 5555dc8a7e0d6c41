// Residue arithmetic against 64-bit references and GMP at small, 16-bit and
// 31-bit moduli, prime and composite; square roots against Euler's
// criterion; the characteristic-2 fields against an independent model of
// GF(2^8) = GF(2)[a]/(0x11B) and the tower GF(2^16) = GF(2^8)[b]/(b^2+2b+1);
// conversions between digit numbers and residues.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/records.h"
#include "support/expect_error.h"
#include "support/field_ref.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

uint64_t ref_pow(uint64_t a, uint64_t e, uint64_t m) {
    uint64_t r = 1 % m;
    a %= m;
    for (; e; e >>= 1, a = a * a % m)
        if (e & 1) r = r * a % m;
    return r;
}

const int32_t kModuli[] = {2, 3, 65521, 65533, 65537, 2147483629};

class ResidueTest : public ::testing::Test {
protected:
    ~ResidueTest() override {
        alt_form_display = saved_alt_;
        mod_is_changed = saved_changed_;
        verbose = saved_verbose_;
        warn_cnt = saved_warn_;
    }

    // Residues of m: edges and random values.
    std::vector<uint32_t> residues(NumberGen& gen, uint32_t m, int n) {
        std::vector<uint32_t> v = {0, 1 % m, m - 1, m / 2, (m + 1) / 2 % m, m - 2};
        for (int i = 0; i < n; i++) v.push_back(static_cast<uint32_t>(gen.bits() % m));
        return v;
    }

    RingStateGuard ring_;
    int saved_alt_ = alt_form_display;
    int16_t saved_changed_ = mod_is_changed;
    int saved_verbose_ = verbose;
    int32_t saved_warn_ = warn_cnt;
};

TEST_F(ResidueTest, SumsAndProductsMatchWideArithmetic) {
    NumberGen gen(2120);
    for (int32_t m : kModuli) {
        use_modulus(m);
        const uint64_t p = static_cast<uint64_t>(m);
        auto rs = residues(gen, static_cast<uint32_t>(m), scaled(300));
        const int32_t wild[] = {INT32_MIN, INT32_MIN + 1, -m, -m - 1, -1, m, m + (m < INT32_MAX ? 1 : 0),
                                INT32_MAX, static_cast<int32_t>(gen.bits())};
        for (uint32_t a : rs) {
            for (int k = 0; k < 8; k++) {
                uint32_t b = rs[static_cast<size_t>(gen.below(static_cast<int32_t>(rs.size())))];
                int32_t sa = static_cast<int32_t>(a), sb = static_cast<int32_t>(b);
                SCOPED_TRACE("m=" + std::to_string(m) + " a=" + std::to_string(a) + " b=" + std::to_string(b));
                EXPECT_EQ(static_cast<uint64_t>(mod_add(sa, sb, m)), (a + uint64_t{b}) % p);
                EXPECT_EQ(static_cast<uint64_t>(mod_sub(sa, sb, m)), (a + p - b) % p);
                EXPECT_EQ(static_cast<uint64_t>(modmult(sa, sb)), uint64_t{a} * b % p);
                EXPECT_EQ(static_cast<uint64_t>(nmodmult(sa, sb)), uint64_t{a} * b % p);
                if (p > 2) {
                    // Exponent arithmetic: operands are exponents below p - 1.
                    uint64_t ea = a % (p - 1), eb = b % (p - 1);
                    EXPECT_EQ(static_cast<uint64_t>(spec_modmult(static_cast<int32_t>(ea), static_cast<int32_t>(eb))),
                              ea * eb % (p - 1));
                }
                if (uint64_t{a} * b < (uint64_t{1} << 32)) {
                    EXPECT_EQ(static_cast<uint64_t>(mod_mult(sa, sb, m)), uint64_t{a} * b % p);
                }
            }
            for (int32_t b : wild) {
                int64_t want = (int64_t{a} + b) % int64_t(p);
                if (want < 0) want += p;
                EXPECT_EQ(spec_mod_add(static_cast<int32_t>(a), b, m), want) << "m=" << m << " a=" << a << " b=" << b;
            }
        }
    }
    use_modulus(7);
    EXPECT_EQ(mod_add(6, 1, 7), 0);
    EXPECT_EQ(mod_sub(0, 1, 7), 6);
}

TEST_F(ResidueTest, InversesAndTheirFailures) {
    NumberGen gen(2121);
    for (int32_t m : kModuli) {
        use_modulus(m);
        const uint64_t p = static_cast<uint64_t>(m);
        for (uint32_t a : residues(gen, static_cast<uint32_t>(m), scaled(200))) {
            SCOPED_TRACE("m=" + std::to_string(m) + " a=" + std::to_string(a));
            int32_t sa = static_cast<int32_t>(a);
            bool invertible = a != 0 && std::gcd(uint64_t{a}, p) == 1;
            if (!invertible) {
                EXPECT_TARVEX_ERROR(int32_t r; emod_inverse(sa, &r), 85);
                EXPECT_TARVEX_ERROR(imod_inverse(sa), 85);
                continue;
            }
            int32_t r1 = -1, r2 = -1, r3 = sa;
            mod_inverse(sa, &r1);
            emod_inverse(sa, &r2);
            verse(&r3);
            int32_t r4 = imod_inverse(sa);
            for (int32_t r : {r1, r2, r3, r4}) {
                ASSERT_GE(r, 0);
                ASSERT_LT(static_cast<uint64_t>(r), p);
                EXPECT_EQ(uint64_t{a} * static_cast<uint64_t>(r) % p, 1 % p);
            }
        }
    }
    use_modulus(65521);
    EXPECT_TARVEX_ERROR(int32_t r; mod_inverse(0, &r), -1);   // "bad seca.": a fatal internal error
    EXPECT_TARVEX_ERROR(int32_t r; emod_inverse(0, &r), 85);

    // The error names the division token, after printing the value.
    use_modulus(65533);
    ::testing::internal::CaptureStdout();
    try {
        imod_inverse(13 * 71);
        ADD_FAILURE() << "13 * 71 has no inverse mod 65533";
    } catch (const TarvexUnwind& e) {
        EXPECT_EQ(e.code, 85);
        EXPECT_EQ(e.token, "/");
    }
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("bad2: 923\n"), std::string::npos);
}

TEST_F(ResidueTest, InversesOfProductsOverLists) {
    NumberGen gen(2122);
    RecordLedger ledger;
    for (int32_t m : {65521, 65533, 2147483629}) {
        use_modulus(m);
        const uint64_t p = static_cast<uint64_t>(m);
        for (int round = 0; round < scaled(50); round++) {
            int n = gen.between(0, 6);
            uint32_t x = static_cast<uint32_t>(gen.bits() % p);
            numnode* list = nullptr;
            numnode* tail = nullptr;
            uint64_t prod = 1 % p, diffs = 1 % p;
            for (int i = 0; i < n; i++) {
                numnode* d = newnumnode();
                d->digit = static_cast<int32_t>(gen.bits() % p);
                d->next = list;
                if (!list) tail = d;
                list = d;
                prod = prod * static_cast<uint64_t>(d->digit) % p;
                diffs = diffs * ((x + p - static_cast<uint64_t>(d->digit)) % p) % p;
            }
            if (std::gcd(prod, p) == 1) {
                int32_t r = inverse_prod(list);
                EXPECT_EQ(prod * static_cast<uint64_t>(r) % p, 1u) << "m=" << m << " n=" << n;
            } else {
                EXPECT_TARVEX_ERROR(inverse_prod(list), 85);
            }
            if (std::gcd(diffs, p) == 1) {
                int32_t r = multi_inverse_prod(list, static_cast<int32_t>(x));
                EXPECT_EQ(diffs * static_cast<uint64_t>(r) % p, 1u) << "m=" << m << " n=" << n;
            } else {
                EXPECT_TARVEX_ERROR(multi_inverse_prod(list, static_cast<int32_t>(x)), 85);
            }
            if (list) give_back_chain(list, tail);
        }
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(ResidueTest, PowersReduceExponentsOnlyWhereValid) {
    NumberGen gen(2123);
    for (int32_t m : {2, 3, 10, 65521, 65533, 65537, 2147483629}) {
        use_modulus(m);
        const uint64_t p = static_cast<uint64_t>(m);
        std::vector<int32_t> exps = {0, 1, 2, 15, 16, 17, 18, 31, m - 2, m - 1, m, INT32_MAX};
        for (int i = 0; i < 20; i++) exps.push_back(static_cast<int32_t>(gen.bits() & INT32_MAX));
        for (uint32_t a : residues(gen, static_cast<uint32_t>(m), scaled(40))) {
            for (int32_t n : exps) {
                if (n < 0) continue;
                int32_t r = -1;
                mod_number_power(static_cast<int32_t>(a), n, &r);
                EXPECT_EQ(static_cast<uint64_t>(r), ref_pow(a, static_cast<uint64_t>(n), p))
                    << "m=" << m << " a=" << a << " n=" << n;
            }
        }
    }
    // The cases a reduction by p - 1 gets wrong.
    int32_t r = -1;
    use_modulus(10);
    mod_number_power(2, 18, &r);
    EXPECT_EQ(r, 4);
    use_modulus(65521);
    mod_number_power(0, 65520, &r);
    EXPECT_EQ(r, 0);
    mod_number_power(0, 0, &r);
    EXPECT_EQ(r, 1);
    mod_number_power(12345, 65520, &r);
    EXPECT_EQ(r, 1);
}

TEST_F(ResidueTest, SquareRootsAgreeWithEulersCriterion) {
    NumberGen gen(2124);
    // p = 65537 has p - 1 = 2^16: the longest run of the root loop.
    for (int32_t m : {3, 5, 7, 13, 17, 97, 257, 65521, 65537, 2147483629}) {
        use_modulus(m);
        const uint64_t p = static_cast<uint64_t>(m);
        std::vector<uint32_t> as = residues(gen, static_cast<uint32_t>(m), scaled(300));
        if (p < 300)
            for (uint32_t a = 0; a < p; a++) as.push_back(a);
        for (uint32_t a : as) {
            mpz_class za(a), zp(m);
            int legendre = mpz_legendre(za.get_mpz_t(), zp.get_mpz_t());
            EXPECT_EQ(its_a_square(static_cast<int32_t>(a)), legendre == 1 ? 1 : 0) << "m=" << m << " a=" << a;
            int32_t root = modular_sqrt(static_cast<int32_t>(a));
            if (legendre != 1) {
                EXPECT_EQ(root, 0) << "m=" << m << " a=" << a;
                continue;
            }
            ASSERT_GE(root, 1);
            EXPECT_LE(static_cast<uint64_t>(root), (p - 1) / 2);
            EXPECT_EQ(uint64_t(root) * uint64_t(root) % p, a) << "m=" << m << " a=" << a;
        }
    }
    use_modulus(13);
    EXPECT_EQ(modular_sqrt(4), 2);
    EXPECT_EQ(sqrt_mod, 13);
    // The cache follows the modulus back and forth.
    use_modulus(17);
    EXPECT_EQ(modular_sqrt(16), 4);
    use_modulus(13);
    EXPECT_EQ(modular_sqrt(10), 6);   // 6^2 = 36 = 10 mod 13
    use_modulus(2);
    EXPECT_EQ(its_a_square(1), 1);
    EXPECT_EQ(its_a_square(0), 0);
}

TEST_F(ResidueTest, BigIntegersBecomeResidues) {
    NumberGen gen(2125);
    RecordLedger ledger;
    for (int32_t m : {2, 3, 7, 65521, 65533, 65537, 268435399, 2147483629}) {
        use_modulus(m);
        for (int i = 0; i < scaled(200); i++) {
            mpz_class v = i % 5 == 0 ? gen.edge_value() : gen.digits(gen.length(1, 6));
            imag* x = from_mpz(v);
            change_num(x, 0, 0);
            mpz_class want;
            mpz_fdiv_r_ui(want.get_mpz_t(), v.get_mpz_t(), static_cast<unsigned long>(m));
            EXPECT_EQ(mpz_class(x->value), want) << "m=" << m << " v=" << describe(v);
            EXPECT_EQ(to_mpz(x), v) << "release 0 keeps the digits";
            int32_t kept = x->value;
            change_num(x, 1, 0);
            EXPECT_EQ(x->value, kept);
            EXPECT_EQ(x->count, 0);
            release(x);
        }
    }
    use_modulus(7);
    imag* x = from_mpz(-5);
    change_num(x, 1, 0);
    EXPECT_EQ(x->value, 2);
    release(x);
    use_modulus(65521);
    x = from_mpz(mpz_class((1 << 28) + 3));
    change_num(x, 1, 0);
    EXPECT_EQ(x->value, ((1 << 28) + 3) % 65521);
    release(x);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(ResidueTest, FieldWarningsAreCountedAndCapped) {
    install_modulus(256);
    modularmode = lintmode = 1;
    verbose = 1;
    warn_cnt = 0;
    imag* x = from_mpz(300);
    ::testing::internal::CaptureStdout();
    change_num(x, 0, 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(x->value, 300 % 256);
    EXPECT_EQ(out, "*** Warning. in going to finite field, outsized value encountered: 300\n");
    assign_mpz(x, -3);
    ::testing::internal::CaptureStdout();
    change_num(x, 0, 0);   // a negative value warns only when the flag asks for it
    change_num(x, 0, 1);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(x->value, 3);
    EXPECT_EQ(warn_cnt, 2);
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < 30; i++) change_num(x, 0, 1);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(warn_cnt, 20);
    release(x);
}

// A term list c_0 x^e_0 + ... whose coefficients are numbers holding the
// given residues in their value words (no digits).
polynode* residue_poly(const std::vector<int32_t>& rs) {
    polynode* head = nullptr;
    polynode** link = &head;
    int32_t e = static_cast<int32_t>(rs.size());
    for (int32_t r : rs) {
        polynode* t;
        newpoly(&t);
        t->exp = --e;
        t->numb = 1;
        t->ncoef = new_number();
        t->ncoef->value = r;
        t->next = nullptr;
        *link = t;
        link = &t->next;
    }
    return head;
}

std::vector<mpz_class> leaf_values(const polynode* p) {
    std::vector<mpz_class> out;
    for (; p; p = p->next) {
        if (p->numb) {
            EXPECT_TRUE(check_number(p->ncoef));
            out.push_back(to_mpz(p->ncoef));
        } else {
            for (auto& v : leaf_values(p->pcoef)) out.push_back(v);
        }
    }
    return out;
}

TEST_F(ResidueTest, ResiduesBackToIntegers) {
    RecordLedger ledger;
    const int64_t big = 2147483629;   // above 2^28: representatives of two digits
    const std::vector<int32_t> rs_big = {0, 1, 268435455, 268435456, 1073741814, 1073741815, 1073741816,
                                         2147483628 - 268435455, 2147483628};
    struct Case {
        int32_t m;
        std::vector<int32_t> rs;
    };
    for (const Case& c : {Case{7, {0, 1, 3, 4, 5, 6}}, Case{65521, {0, 32760, 32761, 65520}}, Case{2147483629, rs_big}}) {
        for (int alt : {0, 1}) {
            std::vector<mpz_class> want;
            for (int32_t r : c.rs) want.push_back(alt && r > c.m / 2 ? mpz_class(r - int64_t{c.m}) : mpz_class(r));
            use_modulus(c.m);
            alt_form_display = alt;
            // Two levels: the residues hang below the terms of an outer variable,
            // the last one doubling as a number quoly.
            polynode* outer = nullptr;
            newpoly(&outer);
            outer->exp = 3;
            outer->numb = 0;
            outer->pcoef = residue_poly(std::vector<int32_t>(c.rs.begin(), c.rs.end() - 1));
            polynode* inner2;
            newpoly(&inner2);
            inner2->exp = 0;
            inner2->numb = 1;
            inner2->ncoef = new_number();
            inner2->ncoef->value = c.rs.back();
            inner2->next = nullptr;
            outer->next = inner2;
            poly_change_from_mod(outer);
            EXPECT_EQ(leaf_values(outer), want) << "m=" << c.m << " alt=" << alt;
            // Converting again replaces the digits just written.
            for (polynode* t = outer->pcoef; t; t = t->next) t->ncoef->value = 1;
            poly_change_from_mod(outer);
            EXPECT_EQ(leaf_values(outer->pcoef), std::vector<mpz_class>(c.rs.size() - 1, mpz_class(1)));
            lintmode = 0;
            free_poly(&outer);
        }
    }
    // A quoly: its number, or its numerator and denominator.
    use_modulus(7);
    alt_form_display = 1;
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    q->rat = 0;
    q->den = nullptr;
    q->nnum = new_number();
    q->nnum->value = 5;
    quoly_change_from_mod(q);
    EXPECT_EQ(to_mpz(q->nnum), -2);
    lintmode = 0;
    free_quoly(&q);
    use_modulus(big);
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = residue_poly({1073741815, 5});
    q->den = residue_poly({2147483628});
    quoly_change_from_mod(q);
    EXPECT_EQ(leaf_values(q->pnum), (std::vector<mpz_class>{mpz_class(-1073741814), 5}));
    EXPECT_EQ(leaf_values(q->den), (std::vector<mpz_class>{-1}));
    lintmode = 0;
    free_quoly(&q);
    quoly_change_from_mod(nullptr);
    poly_change_from_mod(nullptr);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(ResidueTest, ModularOffBracketsNest) {
    use_modulus(101);
    int outer = -1, inner = -1;
    check_modular(&outer);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(modularmode, 0);
    EXPECT_EQ(lintmode, 1);
    EXPECT_EQ(mod_is_changed, saved_changed_ + 1);
    check_modular(&inner);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(mod_is_changed, saved_changed_ + 1);
    restore_modular(inner);
    EXPECT_EQ(mod_is_changed, saved_changed_ + 1);
    restore_modular(outer);
    EXPECT_EQ(modularmode, 1);
    EXPECT_EQ(mod_is_changed, saved_changed_);
}

TEST_F(ResidueTest, ZeroModulusDoesNotTrap) {
    install_modulus(0);
    modularmode = lintmode = 1;
    mod_is_prime = 0;
    EXPECT_EQ(modmult(3, 5), 15);
    EXPECT_EQ(nmodmult(3, 5), 15);
    EXPECT_EQ(spec_modmult(3, 5), 15);
    EXPECT_EQ(mod_mult(3, 5, 0), 15);
    EXPECT_EQ(spec_mod_add(3, -5, 0), -2);
    int32_t r = 0;
    mod_inverse(1, &r);
    EXPECT_EQ(r, 1);
    mod_number_power(3, 4, &r);
    EXPECT_EQ(r, 81);
    its_a_square(3);
    modular_sqrt(3);
    imag* x = from_mpz(mpz_class("123456789012345678901234567890"));
    change_num(x, 1, 0);
    release(x);
}

// ---------------------------------------------------------------- fields

class FieldTest : public ResidueTest {
protected:
    // Fills the global tables from the model, keeping what was there.
    static void SetUpTestSuite() {
        saved_ = new Saved;
        std::memcpy(saved_->prod, f256prod, sizeof f256prod);
        std::memcpy(saved_->exp, f2t16exp, sizeof f2t16exp);
        std::memcpy(saved_->log, f2t16log, sizeof f2t16log);
        std::memcpy(saved_->inv, f2t16inv, sizeof f2t16inv);
        for (uint32_t a = 0; a < 256; a++)
            for (uint32_t b = 0; b < 256; b++) f256prod[a * 256 + b] = static_cast<uint16_t>(gf8_mul(a, b));
        uint32_t g = 1;
        for (uint32_t i = 0; i < 65535; i++) {
            f2t16exp[i] = static_cast<uint16_t>(g);
            f2t16log[g] = static_cast<uint16_t>(i);
            g = gf16_mul(g, 0x0107);
        }
        f2t16exp[65535] = 1;
        f2t16inv[0] = 0;
        for (uint32_t x = 1; x < 65536; x++) f2t16inv[x] = f2t16exp[(65535 - f2t16log[x]) % 65535];
    }
    static void TearDownTestSuite() {
        std::memcpy(f256prod, saved_->prod, sizeof f256prod);
        std::memcpy(f2t16exp, saved_->exp, sizeof f2t16exp);
        std::memcpy(f2t16log, saved_->log, sizeof f2t16log);
        std::memcpy(f2t16inv, saved_->inv, sizeof f2t16inv);
        delete saved_;
    }
    void use_field(int32_t m) {
        install_modulus(m);
        modularmode = lintmode = 1;
        mod_is_prime = 1;   // as the modulus switch sets it for the fields
    }

    struct Saved {
        uint16_t prod[65536], exp[65536], log[65536], inv[65536];
    };
    static Saved* saved_;
};

FieldTest::Saved* FieldTest::saved_ = nullptr;

TEST_F(FieldTest, ModelMeetsTheDataFileCheckValues) {
    // The tables the model builds are the ones the data files hold.
    EXPECT_EQ(f2t16exp[65535], 1);
    EXPECT_EQ(f2t16exp[64507], 14);
    EXPECT_EQ(f2t16inv[65535], 3602);
    EXPECT_EQ(f2t16log[65535], 483);
    EXPECT_EQ(f256prod[255 * 256 + 255], 19);
    EXPECT_EQ(gf8_mul(255, 28), 1u);
    // 0x0107 generates: all 65,535 powers are distinct.
    std::vector<bool> seen(65536);
    for (uint32_t i = 0; i < 65535; i++) {
        ASSERT_FALSE(seen[f2t16exp[i]]) << i;
        seen[f2t16exp[i]] = true;
    }
}

TEST_F(FieldTest, GF256ProductsSumsInversesPowers) {
    use_field(256);
    for (uint32_t a = 0; a < 256; a++)
        for (uint32_t b = 0; b < 256; b++) {
            ASSERT_EQ(static_cast<uint32_t>(modmult(static_cast<int32_t>(a), static_cast<int32_t>(b))), gf8_mul(a, b));
            ASSERT_EQ(static_cast<uint32_t>(mod_mult(static_cast<int32_t>(a), static_cast<int32_t>(b), 256)), gf8_mul(a, b));
            ASSERT_EQ(static_cast<uint32_t>(mod_add(static_cast<int32_t>(a), static_cast<int32_t>(b), 256)), a ^ b);
            ASSERT_EQ(static_cast<uint32_t>(mod_sub(static_cast<int32_t>(a), static_cast<int32_t>(b), 256)), a ^ b);
        }
    for (int32_t a = 1; a < 256; a++) {
        int32_t r = 0;
        mod_inverse(a, &r);
        EXPECT_EQ(gf8_mul(static_cast<uint32_t>(a), static_cast<uint32_t>(r)), 1u) << a;
        EXPECT_EQ(imod_inverse(a), r);
        for (int32_t n : {0, 1, 2, 16, 17, 254, 255, 256, 511, 100000, INT32_MAX}) {
            uint32_t want = 1;
            for (int32_t k = 0; k < n % 255; k++) want = gf8_mul(want, static_cast<uint32_t>(a));
            mod_number_power(a, n, &r);
            EXPECT_EQ(static_cast<uint32_t>(r), want) << a << "^" << n;
        }
    }
    int32_t r = -1;
    mod_number_power(0, 255, &r);
    EXPECT_EQ(r, 0);
    EXPECT_TARVEX_ERROR(imod_inverse(0), 85);
    EXPECT_EQ(mod_add(1, 0, 256), 1);
    EXPECT_EQ(mod_sub(0, 1, 256), 1);
}

TEST_F(FieldTest, GF65536ProductsInversesPowers) {
    use_field(65536);
    NumberGen gen(2126);
    for (int i = 0; i < scaled(200000); i++) {
        uint32_t a = static_cast<uint32_t>(gen.bits() & 0xFFFF), b = static_cast<uint32_t>(gen.bits() & 0xFFFF);
        if (i % 16 == 0) a &= 0xFF;
        ASSERT_EQ(static_cast<uint32_t>(modmult(static_cast<int32_t>(a), static_cast<int32_t>(b))), gf16_mul(a, b))
            << a << " * " << b;
    }
    // Logarithms summing to 65,534, 65,535 (read back from exp[0]) and 65,536.
    for (uint32_t i : {1u, 2u, 483u, 32767u, 65534u}) {
        for (uint32_t sum : {65534u, 65535u, 65536u}) {
            if (sum - i > 65534) continue;
            uint32_t a = f2t16exp[i], b = f2t16exp[sum - i];
            EXPECT_EQ(static_cast<uint32_t>(modmult(static_cast<int32_t>(a), static_cast<int32_t>(b))), gf16_mul(a, b));
        }
    }
    EXPECT_EQ(modmult(0, 5), 0);
    EXPECT_EQ(modmult(5, 0), 0);
    for (uint32_t a = 1; a < 65536; a++) {
        int32_t r = 0;
        mod_inverse(static_cast<int32_t>(a), &r);
        ASSERT_EQ(gf16_mul(a, static_cast<uint32_t>(r)), 1u) << a;
    }
    for (int i = 0; i < scaled(100); i++) {
        uint32_t a = static_cast<uint32_t>(gen.bits() % 65535) + 1;
        int32_t n = static_cast<int32_t>(gen.bits() & INT32_MAX);
        uint32_t want = 1, x = a;
        for (uint32_t e = static_cast<uint32_t>(n); e; e >>= 1, x = gf16_mul(x, x))
            if (e & 1) want = gf16_mul(want, x);
        int32_t r = 0;
        mod_number_power(static_cast<int32_t>(a), n, &r);
        EXPECT_EQ(static_cast<uint32_t>(r), want) << a << "^" << n;
        mod_number_power(static_cast<int32_t>(a), 65535, &r);
        EXPECT_EQ(r, 1);
    }
}

}  // namespace

// The bit size of a residue uses its symmetric form; a value at or above the
// modulus (an exponent, a count) is sized as it stands.
TEST_F(ResidueTest, BitSizeOfResiduesAndLargerValues) {
    use_modulus(7);
    EXPECT_EQ(logg2lint(6), 0);   // 6 is -1
    EXPECT_EQ(logg2lint(4), 1);   // 4 is -3
    EXPECT_EQ(logg2lint(3), 1);
    EXPECT_EQ(logg2lint(12), 3);
    EXPECT_EQ(logg2lint(-1000), 9);
    EXPECT_EQ(logg2lint(0), -1);
}
