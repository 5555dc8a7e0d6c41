// Polynomials read as terms (&_n): random polynomials built by hand, written
// as the save text writes them, read back node for node equal to the hand
// build (shape rules included), in the integers, in machine words mod p
// and with Laurent exponents, whose out-of-order remainders are added.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "interp/scanner.h"
#include "interp/term_reader.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "stream_text.h"
#include "support/data_once.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

constexpr int NVARS = 3;

class TermReader : public ::testing::Test {
protected:
    RingStateGuard ring_;
    VarGlobalsGuard vars_;
    void SetUp() override {
        load_data_once();
        init_scanner_structures();
        tt_flag = 0;
        drop_all_poly_vars();
        for (const char* v : {"z", "y", "x"}) adjoin_for_test(v);
    }
    void TearDown() override {
        drop_all_poly_vars();
        init_scanner_structures();
    }
    static void adjoin_for_test(const char* v) {
        TextStream s(std::string("&(J = ") + v + ");\n");
        testing::internal::CaptureStdout();
        scanner(&s.f, &token, &zilch);   // '&'
        scanner(&s.f, &token, &zilch);   // '('
        int loader = 0, read_end = 1;
        quoly* value = nullptr;
        set_switch_for_test(&s.f, &value, &loader, &read_end);
        free_quoly(&value);
        testing::internal::GetCapturedStdout();
    }
    static void set_switch_for_test(FILE** f, quoly** value, int* loader, int* read_end);

    // The value as the save text writes it (after "&_n ").
    static std::string written(quoly* q) {
        FILE* f = std::tmpfile();
        int32_t col = 0;
        quoly_display(&f, 0, 0, 1, q, &col, ";", polynames, 0, 0, 0);
        std::rewind(f);
        std::string text;
        for (int c; (c = std::getc(f)) != EOF;) text += static_cast<char>(c);
        std::fclose(f);
        return text;
    }

    // Reads text with the term reader; error code, or 0.
    static int read(const std::string& text, quoly** value) {
        TextStream s(text);
        leftover = 0;
        int code = 0;
        testing::internal::CaptureStdout();
        try {
            scanner(&s.f, &token, &zilch);
            int32_t level = 0;
            quoly_readin(&s.f, value, &zilch, &level);
        } catch (const TarvexUnwind& e) {
            code = e.code;
        }
        testing::internal::GetCapturedStdout();
        return code;
    }

    static TermList random_terms(std::mt19937& rng, bool negative_exponents) {
        TermList terms;
        std::uniform_int_distribution<int> count(1, 25), exp(negative_exponents ? -3 : 0, 4);
        std::uniform_int_distribution<long long> coef(-999999999999LL, 999999999999LL);
        const int n = count(rng);
        for (int i = 0; i < n; i++) {
            long long c = coef(rng);
            if (c == 0) c = 7;
            if (rng() % 4 == 0) c = rng() % 2 ? 1 : -1;
            terms.emplace_back(c, std::vector<int32_t>{exp(rng), exp(rng), exp(rng)});
        }
        return terms;
    }

    void round_trips(int rounds, bool negative_exponents, unsigned seed) {
        std::mt19937 rng(seed);
        for (int i = 0; i < rounds; i++) {
            TermList terms = random_terms(rng, negative_exponents);
            polynode* p = build_poly(NVARS, terms);
            quoly* q = nullptr;
            if (p->numb && !p->next) {
                free_poly(&p);
                continue;
            }
            newquoly(&q);
            q->isnum = q->rat = 0;
            q->pnum = p;
            q->den = nullptr;
            const std::string text = written(q);
            quoly* back = nullptr;
            ASSERT_EQ(read(text, &back), 0) << text;
            ASSERT_FALSE(back->isnum) << text;
            EXPECT_TRUE(check_poly_shape(back->pnum, NVARS)) << text;
            EXPECT_TRUE(poly_equal(back->pnum, q->pnum)) << "seed " << seed << " round " << i << ": " << text;
            EXPECT_TRUE(token_is(&token, ";")) << text;
            free_quoly(&back);
            free_quoly(&q);
        }
    }
};

}  // namespace

#include "interp/switch_impl.h"

void TermReader::set_switch_for_test(FILE** f, quoly** value, int* loader, int* read_end) {
    set_switch(f, value, &zilch, loader, read_end);
}

TEST_F(TermReader, WrittenPolynomialsReadBackNodeForNode) {
    round_trips(300, false, 61);
}

TEST_F(TermReader, ResiduesReadBackNodeForNode) {
    PrimeRing ring(1000003);
    round_trips(150, false, 62);
}

// Outer variables with negative exponents after inner terms are read as
// polynomials of their own and added.
TEST_F(TermReader, LaurentRemaindersAreAdded) {
    laurent = 1;
    round_trips(200, true, 63);
    quoly* q = nullptr;
    ASSERT_EQ(read("y + x^-1;", &q), 0);
    polynode* want = build_poly(NVARS, {{1, {0, 1, 0}}, {1, {-1, 0, 0}}});
    EXPECT_TRUE(poly_equal(q->pnum, want));
    free_poly(&want);
    free_quoly(&q);
    // Even under Laurent exponents an inner term may not follow a negative power.
    EXPECT_EQ(read("x^-1 + y;", &q), 159);
    free_quoly(&q);
}
