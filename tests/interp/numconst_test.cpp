#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/gmp_bridge.h"
#include "interp/numconst.h"
#include "interp/scanner.h"
#include "support/number_check.h"
#include "numbers/ring.h"
#include "storage/other_records.h"
#include "stream_text.h"
#include "toplevel/errors.h"

namespace {

class NumConst : public ::testing::Test {
protected:
    RingStateGuard ring_;
    void SetUp() override {
        init_scanner_structures();
        warn_cnt = 0;
    }
    void TearDown() override { init_scanner_structures(); }

    // The limbs readin makes of text, as values.
    static std::vector<int32_t> limbs_of(const std::string& text, int32_t* digits) {
        TextStream s(text);
        scanner(&s.f, &token, &zilch);
        imag limbs{};
        readin(&s.f, &limbs, &zilch, digits);
        std::vector<int32_t> out;
        int32_t n = 0;
        for (numnode* p = limbs.head; n < limbs.count; p = p->next, n++) out.push_back(p->digit);
        EXPECT_EQ(limbs.tail->next, nullptr);
        give_back_chain(limbs.head, limbs.tail);
        return out;
    }

    // new_readin on text; the token that follows is left in token.
    static void read_number(const std::string& text, imag* result, int32_t* digits) {
        TextStream s(text);
        scanner(&s.f, &token, &zilch);
        new_readin(&s.f, result, &zilch, digits);
    }

    static void modular(int32_t m) {
        install_modulus(m);
        modularmode = lintmode = 1;
    }
};

using L = std::vector<int32_t>;

TEST_F(NumConst, LimbsAreAlignedToTheRight) {
    int32_t d = 0;
    EXPECT_EQ(limbs_of("0;", &d), (L{0}));
    EXPECT_EQ(d, 1);
    EXPECT_EQ(limbs_of("00000000;", &d), (L{0}));
    EXPECT_EQ(d, 8);
    EXPECT_EQ(limbs_of("000000001;", &d), (L{1}));
    EXPECT_EQ(d, 9);
    EXPECT_EQ(limbs_of("0000000000000000;", &d), (L{0}));
    EXPECT_EQ(d, 16);
    EXPECT_EQ(limbs_of("100000000;", &d), (L{1, 0}));
    EXPECT_EQ(limbs_of("1234567890;", &d), (L{12, 34567890}));
    EXPECT_EQ(d, 10);
    EXPECT_EQ(limbs_of("12345678;", &d), (L{12345678}));
    EXPECT_EQ(limbs_of("1234567812345678;", &d), (L{12345678, 12345678}));
    // Leading zeros in the first limb shift it to nothing.
    EXPECT_EQ(limbs_of("00000001234567890;", &d), (L{12, 34567890}));
    EXPECT_EQ(d, 17);
    EXPECT_EQ(limbs_of("00000000100000000;", &d), (L{1, 0}));
    EXPECT_EQ(limbs_of("000001234567890;", &d), (L{12, 34567890}));
}

TEST_F(NumConst, TheFollowingTokenIsLeftUnhashed) {
    imag* x = empty_number();
    int32_t d = 0;
    read_number("12+3", x, &d);
    EXPECT_EQ(to_mpz(x), 12);
    EXPECT_STREQ(token.name, "+");
    EXPECT_EQ(token.hash, UNHASHED);

    // Blanks between digits are skipped; a terminal line end ends the constant.
    read_number("12 345*", x, &d);
    EXPECT_EQ(to_mpz(x), 12345);
    EXPECT_EQ(d, 5);
    read_number("12\n3", x, &d);
    EXPECT_EQ(to_mpz(x), 12);
    EXPECT_STREQ(token.name, ";");
    release(x);
}

TEST_F(NumConst, ManyDigitsAgainstGmp) {
    std::mt19937 rng(20240611);
    imag* x = empty_number();
    for (int iter = 0; iter < 400; iter++) {
        int zeros = static_cast<int>(rng() % 4 == 0 ? rng() % 20 : 0);
        int len = 1 + static_cast<int>(rng() % (iter < 300 ? 60 : 900));
        std::string digits(static_cast<size_t>(zeros), '0');
        for (int i = 0; i < len; i++) {
            // Runs of 0 and 9 stress the limb boundaries.
            uint32_t r = rng() % 10;
            char c = r < 3 ? '0' : r < 6 ? '9' : static_cast<char>('0' + rng() % 10);
            digits += c;
        }
        int32_t d = 0;
        read_number(digits + ")", x, &d);
        SCOPED_TRACE(digits);
        EXPECT_EQ(to_mpz(x), mpz_class(digits, 10));
        EXPECT_TRUE(check_number(x));
        EXPECT_EQ(d, static_cast<int32_t>(digits.size()));
        EXPECT_STREQ(token.name, ")");
    }
    release(x);
}

TEST_F(NumConst, ModularConstantsAreReducedLimbByLimb) {
    modular(7);
    imag x{};
    int32_t d = 0;
    read_number("100000000;", &x, &d);
    EXPECT_EQ(x.value, 2);

    std::mt19937 rng(77);
    for (int32_t m : {2, 3, 7, 65521, 65537, 1000003, 46337, 2147483629}) {
        modular(m);
        for (int iter = 0; iter < 50; iter++) {
            std::string digits;
            int len = 1 + static_cast<int>(rng() % 80);
            for (int i = 0; i < len; i++) digits += static_cast<char>('0' + rng() % 10);
            read_number(digits + ";", &x, &d);
            mpz_class want = mpz_class(digits, 10) % m;
            EXPECT_EQ(x.value, want.get_si()) << digits << " mod " << m;
        }
    }
}

TEST_F(NumConst, MachineIntegersWarnOnOverflow) {
    lintmode = 1;
    modularmode = 0;
    imag x{};
    int32_t d = 0;
    testing::internal::CaptureStdout();
    read_number("2147483645;", &x, &d);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(x.value, 2147483645);

    const char* warning = " *** Warning. overflow while reading constant.\n";
    // Each keeps the constant modulo 2^32 as a signed word.
    for (const char* text : {"2147483646", "5000000000", "12345678901234567", "99999999999999999999999"}) {
        mpz_class wrapped = mpz_class(text, 10) % (mpz_class(1) << 32);
        if (wrapped >= mpz_class(1) << 31) wrapped -= mpz_class(1) << 32;
        testing::internal::CaptureStdout();
        read_number(std::string(text) + ";", &x, &d);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), warning) << text;
        EXPECT_EQ(x.value, wrapped.get_si()) << text;
    }

    // At most 30 warnings in one statement.
    warn_cnt = 0;
    testing::internal::CaptureStdout();
    for (int i = 0; i < 35; i++) read_number("3000000000;", &x, &d);
    std::string out = testing::internal::GetCapturedStdout();
    size_t count = 0;
    for (size_t p = out.find(warning); p != std::string::npos; p = out.find(warning, p + 1)) count++;
    EXPECT_EQ(count, 30u);
    EXPECT_EQ(warn_cnt, 30);
}

TEST_F(NumConst, DigitsFromAPendingList) {
    // 1 2 3 4 5 6 7 8 9 0 then ")" as a stored body would hold them.
    const char* texts[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", ")"};
    name* head = nullptr;
    name* last = nullptr;
    for (const char* t : texts) {
        name* r;
        newname(&r);
        std::memset(r->token, 0, sizeof r->token);
        std::strcpy(r->token, t);
        r->hash = UNHASHED;
        r->next = nullptr;
        if (last) last->next = r; else head = r;
        last = r;
    }
    // The executor makes the first record current and replays the rest.
    name* word = head;
    set_token(&token, head->token);
    FILE* none = nullptr;
    imag* x = empty_number();
    int32_t d = 0;
    new_readin(&none, x, &word, &d);
    EXPECT_EQ(to_mpz(x), mpz_class("1234567890"));
    EXPECT_EQ(d, 10);
    EXPECT_STREQ(token.name, ")");
    EXPECT_EQ(word, last);
    release(x);
    give_back_names(head);
}

}  // namespace
