// The display of numbers and rationals, captured from a temporary stream
// (or from standard output where the display writes there) and compared
// with text worked out by hand from the layout rules. Big values are
// checked against GMP's decimal text laid out by a small formatter here,
// which follows the rules on plain strings.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "numbers/residue.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "support/stream_capture.h"
#include "toplevel/datafiles.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"

namespace {

void load_data_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        ::testing::internal::CaptureStdout();
        initialize(TARVEX_TEST_DATA_DIR);
        init_display_defaults();
        ::testing::internal::GetCapturedStdout();
    });
}

// What f writes to standard output, the slot holding standard output too.
std::string to_stdout(const std::function<void(FILE**)>& f) {
    ::testing::internal::CaptureStdout();
    FILE* s = stdout;
    f(&s);
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

std::string repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; i++) r += s;
    return r;
}

// A lone number node holding v as digits.
polynode* lone_node(const mpz_class& v) {
    polynode* p;
    newpoly(&p);
    p->next = nullptr;
    p->numb = 1;
    p->exp = 0;
    p->ncoef = from_mpz(v);
    return p;
}

quoly* number_quoly(imag* n) {
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    q->rat = 0;
    q->den = nullptr;
    q->nnum = n;
    return q;
}

// The rational a / b in normal form (b >= 2, coprime to a).
quoly* rational(const mpz_class& a, const mpz_class& b) {
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 1;
    q->pnum = lone_node(a);
    q->den = lone_node(b);
    return q;
}

// The text of showint for v, laid out from GMP's decimal digits: the first
// group holds the leading 1..8 digits, the rest eight each; a line may
// break only before a group after the first.
std::string laid_out(const mpz_class& v, bool first_unpadded, bool signed_field, bool sign_blank,
                     bool brk, bool ugly, int cutoff, int32_t& col) {
    mpz_class a = abs(v);
    std::string digits = a.get_str();
    size_t lead = digits.size() % 8 == 0 ? 8 : digits.size() % 8;
    std::vector<std::string> groups{digits.substr(0, lead)};
    for (size_t i = lead; i < digits.size(); i += 8) groups.push_back(digits.substr(i, 8));

    std::string out;
    bool neg = v < 0;
    if (!signed_field && neg) {
        out += ugly || !sign_blank ? "-" : "- ";
        col++;
    }
    for (size_t i = 0; i < groups.size(); i++) {
        const std::string& g = groups[i];
        if (i > 0 && col >= cutoff && !ugly) {
            if (brk) {
                out += " `\n";
                col = 0;
            }
            out += " ";
        }
        if (i == 0 && first_unpadded) {
            if (signed_field) {
                out += std::string(8 - g.size(), ' ') + (neg ? "-" : " ") + g;
                col += 8;
            } else {
                out += g;
                col += static_cast<int32_t>(g.size());
            }
        } else {
            out += std::string(8 - g.size(), '0') + g;
            col += 8;
        }
    }
    return out;
}

class DisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { load_data_once(); }

    DisplayTest()
        : s_ugly_(uglyprint), s_cutoff_(dispcutoff), s_disp_size_(disp_size), s_alt_(alt_form_display),
          s_polynames_(polynames), s_promptsize_(promptsize), s_extra_(extra_line),
          s_monomial_(monomial_list) {
        uglyprint = 0;
        dispcutoff = 76;
        alt_form_display = 1;
        polynames = nullptr;
        promptsize = 1;
        extra_line = 1;
        monomial_list = 0;
        modularmode = lintmode = finf = f256 = f2t16 = 0;
    }
    ~DisplayTest() override {
        uglyprint = s_ugly_;
        dispcutoff = s_cutoff_;
        alt_form_display = s_alt_;
        polynames = s_polynames_;
        promptsize = s_promptsize_;
        extra_line = s_extra_;
        monomial_list = s_monomial_;
        if (disp_size != s_disp_size_) {
            disp_size = s_disp_size_;
            rebuild_disp_cons();
        }
    }

    // Machine-word arithmetic modulo m (characteristic 2 when f256).
    void modular(int32_t m, bool field256 = false) {
        install_modulus(m);
        modularmode = lintmode = 1;
        finf = f256 = field256;
    }

    RingStateGuard ring_;

private:
    int s_ugly_;
    int16_t s_cutoff_;
    int s_disp_size_, s_alt_;
    pt* s_polynames_;
    int32_t s_promptsize_;
    int s_extra_, s_monomial_;
};

// ---------------------------------------------------------------- line breaking

TEST_F(DisplayTest, LineBreakRuleAndWidthHelpers) {
    int32_t col = 75, lines = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { checklength(s, 1, &col, &lines); }), "");
    EXPECT_EQ(col, 75);
    col = 76;
    EXPECT_EQ(to_stream([&](FILE** s) { checklength(s, 1, &col, &lines); }), " `\n");
    EXPECT_EQ(col, 0);
    EXPECT_EQ(lines, 1);
    col = 90;
    EXPECT_EQ(to_stream([&](FILE** s) { checklength(s, 0, &col, &lines); }), "\n");
    EXPECT_EQ(lines, 2);
    uglyprint = 1;
    for (int brk : {0, 1}) {
        col = 80;
        EXPECT_EQ(to_stream([&](FILE** s) { checklength320(s, brk, &col); }), "`\n");
        EXPECT_EQ(col, 0);
    }
    EXPECT_EQ(lines, 2);   // checklength320 counts no line

    col = 10;
    adjlength(&col, 7);
    EXPECT_EQ(col, 17);
    col = 67;
    adjlength(&col, 7);
    EXPECT_EQ(col, 74);
    col = 68;   // within 8 of the width: the estimate jumps to the line end
    adjlength(&col, 1);
    EXPECT_EQ(col, 76);
}

TEST_F(DisplayTest, DoblanksIsCappedNearTheWidth) {
    auto blanks = [](int32_t n) { return to_stream([n](FILE** s) { doblanks(s, n); }); };
    EXPECT_EQ(blanks(80), std::string(64, ' '));
    EXPECT_EQ(blanks(72), std::string(72, ' '));
    EXPECT_EQ(blanks(73), std::string(64, ' '));
    EXPECT_EQ(blanks(0), "");
    dispcutoff = 10;
    EXPECT_EQ(blanks(9), "");   // 10 - 12 blanks: none
}

TEST_F(DisplayTest, DisplayConstantFollowsTheSize) {
    RecordLedger ledger;
    for (int size : {0, 1, 3, 37, -2}) {
        disp_size = size;
        modularmode = lintmode = size == 37;   // built as digits in every ground ring
        rebuild_disp_cons();
        modularmode = lintmode = 0;
        mpz_class want;
        mpz_ui_pow_ui(want.get_mpz_t(), 10, 8 * std::max(size, 0));
        EXPECT_EQ(to_mpz(disp_cons), want) << "disp_size " << size;
    }
    disp_size = 5;
    rebuild_disp_cons();
    EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- machine words

TEST_F(DisplayTest, ResiduesInTheSymmetricForm) {
    modular(11);
    imag* v = word_number(7);
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 0); }), "-4");
    EXPECT_EQ(col, 2);   // floor(0.3 * 2 + 0.5) + 1; the minus is not counted
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 1); }), "- 4");
    EXPECT_EQ(col, 2);
    alt_form_display = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 1); }), "7");
    alt_form_display = 1;
    v->value = 5;   // half the modulus is 5: not above it
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 1); }), "5");
    v->value = 6;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 0); }), "-5");

    // Negation is the identity in characteristic 2: no element is shown negative.
    modular(256, true);
    v->value = 200;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 1); }), "200");
    free_imag(&v);
}

TEST_F(DisplayTest, MachineIntegersAndTheirWidthEstimate) {
    lintmode = 1;
    imag* v = word_number(0);
    int32_t col = 5;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 1); }), "0");
    EXPECT_EQ(col, 6);
    v->value = -123456;   // highest bit 16: floor(4.8 + 0.5) + 1
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 0); }), "-123456");
    EXPECT_EQ(col, 6);
    v->value = INT32_MIN;
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 1); }), "- 2147483648");
    EXPECT_EQ(col, 10);
    free_imag(&v);
}

// ---------------------------------------------------------------- big integers

TEST_F(DisplayTest, BigIntegersByHand) {
    RecordLedger ledger;
    imag* v = from_mpz(mpz_class("123456789012"));
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 0); }), "123456789012");
    EXPECT_EQ(col, 12);
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 0); }), "     123456789012");
    EXPECT_EQ(col, 16);   // the nine-character field counts as eight

    in_place_neg(v);
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 1); }), "    -123456789012");
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 0); }), "-123456789012");
    EXPECT_EQ(col, 13);
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 1); }), "- 123456789012");
    uglyprint = 1;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 1); }), "-123456789012");
    uglyprint = 0;

    assign_mpz(v, 0);
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 0); }), "        0");
    EXPECT_EQ(col, 8);
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 0); }), "0");

    // A group of value 5 after the first keeps its eight places.
    assign_mpz(v, mpz_class("100000005"));
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 0); }), "100000005");
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { showint(s, v, 0, 0, 0, 0, 0, 1, &col); }), "0000000100000005");
    EXPECT_EQ(col, 16);
    assign_mpz(v, 99999999);
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 0); }), " 99999999");
    release(v);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(DisplayTest, LongIntegerBreaksBetweenGroupsOnly) {
    imag* v = from_mpz(mpz_class(1) * mpz_class("1" + std::string(100, '0')));   // 10^100
    // 101 digits: a first group of five, then twelve of eight. The counter is
    // 8 after the signed first group and 8 more per group, so the line breaks
    // before the eleventh group, when it has reached 80.
    std::string line1 = "    10000" + repeat("00000000", 9) + " `\n";
    std::string line2 = " " + repeat("00000000", 3);
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 1, v, &col, 0); }), line1 + line2);
    EXPECT_EQ(col, 24);

    // Readable output for a file: a blank instead of the break, and the
    // counter stays past the width, so every later group gets one too.
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 0, 1, v, &col, 0); }),
              "    10000" + repeat("00000000", 9) + repeat(" 00000000", 3));
    EXPECT_EQ(col, 104);

    // Unformatted output never breaks a number.
    uglyprint = 1;
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { display(s, 1, 0, v, &col, 0); }), "1" + std::string(100, '0'));
    release(v);
}

TEST_F(DisplayTest, BigIntegersAgainstGmpLayout) {
    NumberGen gen(0x5eed0d15);
    RecordLedger ledger;
    const int cutoffs[] = {12, 20, 40, 76, 200};
    for (int it = 0; it < scaled(300); it++) {
        int32_t len = gen.length(1, it % 10 == 0 ? 700 : 60);   // above 15 digits: divide and conquer
        mpz_class v = gen.digits(len);
        bool signed_field = gen.chance(50), sign_blank = gen.chance(50), brk = gen.chance(70);
        bool first_unpadded = gen.chance(80);
        uglyprint = gen.chance(25);
        dispcutoff = static_cast<int16_t>(cutoffs[gen.below(5)]);
        int32_t start = gen.below(90);

        imag* n = from_mpz(v);
        int32_t col = start, want_col = start;
        std::string got = to_stream([&](FILE** s) {
            showint(s, n, first_unpadded, 0, 0, signed_field, sign_blank, brk, &col);
        });
        std::string want =
            laid_out(v, first_unpadded, signed_field, sign_blank, brk, uglyprint, dispcutoff, want_col);
        ASSERT_EQ(got, want) << gen.trace() << " value " << describe(v) << " signed " << signed_field
                             << " blank " << sign_blank << " brk " << brk << " ugly " << uglyprint
                             << " cutoff " << dispcutoff << " start " << start;
        EXPECT_EQ(col, want_col);
        EXPECT_EQ(to_mpz(n), v);   // only read
        release(n);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(DisplayTest, AlreadyDecimalFormsAndTheBadZeroGroup) {
    // The caller's radix-10^8 form, digits carrying the sign: -1 00000005.
    imag* dec = new_number();
    numnode* a = newnumnode();
    numnode* b = newnumnode();
    a->digit = -1;
    b->digit = -5;
    a->next = b;
    b->next = nullptr;
    dec->head = a;
    dec->tail = b;
    dec->count = 2;
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { showint(s, dec, 1, 0, 1, 0, 0, 1, &col); }), "-100000005");
    EXPECT_EQ(dec->count, 2);   // kept for the caller
    EXPECT_EQ(dec->head, a);

    a->digit = 0;
    b->digit = 5;
    std::string out;
    ::testing::internal::CaptureStdout();
    FILE* s = std::tmpfile();
    EXPECT_THROW(showint(&s, dec, 1, 0, 1, 0, 0, 1, &col), TarvexUnwind);
    std::fclose(s);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("*** Tarvex error. bad 0 node found in showint"), std::string::npos) << out;
    EXPECT_EQ(dec->head, a);
    release(dec);
}

// ---------------------------------------------------------------- quolys

TEST_F(DisplayTest, PlainNumbersAtTheTerminalAndInFiles) {
    RecordLedger ledger;
    quoly* q = number_quoly(from_mpz(42));
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 1, 1, 1, q, &col, ";", nullptr, 0, 1, 0); }),
              "       42\n");
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", nullptr, 0, 0, 0); }),
              "       42;\n");
    // An array cell: no field, the tail, and the counter at 4.
    col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 0, 1, q, &col, ",", nullptr, 0, 0, 0); }),
              "42,\n");
    EXPECT_EQ(col, 4);
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 0, 0, q, &col, ",", nullptr, 0, 0, 0); }),
              "42");
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 1, 0, 1, q, &col, ",", nullptr, 0, 0, 0); }),
              "42");
    assign_mpz(q->nnum, 65);
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 1, 0, 1, q, &col, ";", nullptr, 0, 0, 1); }),
              "A");

    // With a polynomial variable and extra_line, one more empty line follows
    // on standard output.
    pt var{};
    polynames = &var;
    assign_mpz(q->nnum, -7);
    EXPECT_EQ(to_stdout([&](FILE** s) { quoly_display(s, 1, 1, 1, q, &col, ";", polynames, 0, 1, 0); }),
              "       -7\n\n");
    extra_line = 0;
    EXPECT_EQ(to_stdout([&](FILE** s) { quoly_display(s, 1, 1, 1, q, &col, ";", polynames, 0, 1, 0); }),
              "       -7\n");
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(DisplayTest, ResidueResultsFollowTheSwitch) {
    modular(11);
    quoly* q = number_quoly(word_number(7));
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 1, 1, 1, q, &col, ";", nullptr, 0, 1, 0); }),
              "-4\n");
    alt_form_display = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 1, 1, 1, q, &col, ";", nullptr, 0, 1, 0); }),
              "7\n");
    uglyprint = 1;
    alt_form_display = 1;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", nullptr, 0, 0, 0); }),
              "-4;\n");
    free_quoly(&q);
}

// The top-level display of a rational, with the blank under the prompt.
std::string at_terminal(quoly* q, int32_t start_col = 0) {
    int32_t col = start_col;
    return to_stdout([&](FILE** s) { quoly_display(s, 1, 1, 1, q, &col, ";", polynames, 0, 1, 0); });
}

TEST_F(DisplayTest, RationalsWithTheirDecimalForm) {
    RecordLedger ledger;
    struct Case {
        std::string a;
        std::string b;
        std::string want;
    } cases[] = {
        {"1", "3", " 1 / 3;  or  0." + std::string(40, '3') + "\n"},
        {"1", "8", " 1 / 8;  or  0.125" + std::string(37, '0') + "\n"},
        {"1", "1000000000", " 1 / 1000000000;  or  0.00000000 1" + std::string(31, '0') + "\n"},
        {"-1", "3", " -1 / 3;  or  -0." + std::string(40, '3') + "\n"},
        {"-7", "3", " -7 / 3;  or  -2." + std::string(40, '3') + "\n"},
        {"22", "7", " 22 / 7;  or  3.1428571428571428571428571428571428571428\n"},
        // 10^-50: every group of the fraction is padding.
        {"1", "1" + std::string(50, '0'), ""},
    };
    // The second padding group reaches the width (78) and breaks before its blank.
    cases[6].want = " 1 / 1" + std::string(50, '0') + ";  or  0.00000000 00000000 `\n " +
                    repeat("00000000 ", 2) + "00000000\n";
    for (const Case& c : cases) {
        quoly* q = rational(mpz_class(c.a), mpz_class(c.b));
        EXPECT_EQ(at_terminal(q), c.want) << c.a << " / " << c.b;
        free_quoly(&q);
    }

    quoly* q = rational(1, 3);
    disp_size = 2;
    rebuild_disp_cons();
    EXPECT_EQ(at_terminal(q), " 1 / 3;  or  0." + std::string(16, '3') + "\n");
    disp_size = 0;
    rebuild_disp_cons();
    EXPECT_EQ(at_terminal(q), " 1 / 3\n");
    disp_size = 5;
    rebuild_disp_cons();

    promptsize = 0;   // no prompt, no blank under it
    EXPECT_EQ(at_terminal(q), "1 / 3;  or  0." + std::string(40, '3') + "\n");
    promptsize = 1;

    // To a file: the tail instead of the decimal form; unformatted without blanks.
    int32_t col = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", nullptr, 0, 0, 0); }),
              "1 / 3;\n");
    uglyprint = 1;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", nullptr, 0, 0, 0); }),
              "1/3;\n");
    // An array cell at the terminal: no decimal form, no newline.
    uglyprint = 0;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 1, 0, 1, q, &col, ",", nullptr, 0, 0, 0); }),
              "1 / 3");
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(DisplayTest, DecimalFormBreaksItsLines) {
    quoly* q = rational(1, 3);
    // Width 20: the fraction's groups break when the counter (12 after the
    // point) has reached 20, before the second and the fifth group.
    dispcutoff = 20;
    EXPECT_EQ(at_terminal(q), " 1 / 3;  or  0.33333333 `\n " + std::string(24, '3') + " `\n 33333333\n");
    // Width 12: the point lands within 8 of the width and counts 8, so the
    // line breaks right after it.
    dispcutoff = 12;
    EXPECT_EQ(at_terminal(q),
              " 1 / 3;  or  0. `\n3333333333333333 `\n 3333333333333333 `\n 33333333\n");
    free_quoly(&q);

    // A denominator that leaves the counter past the width: the line breaks
    // after ";  or  " too, and a padding group of the fraction breaks as well.
    mpz_class den("12345678901234567"), f;
    q = rational(1, den);
    mpz_class scale;
    mpz_ui_pow_ui(scale.get_mpz_t(), 10, 40);
    f = scale / den;
    std::string fd = f.get_str();
    ASSERT_EQ(fd.size(), 24u);
    EXPECT_EQ(at_terminal(q), " 1 / 12345678901234567;  or   `\n0. `\n00000000 00000000 `\n " + fd.substr(0, 16) +
                                  " `\n " + fd.substr(16) + "\n");
    free_quoly(&q);
}

TEST_F(DisplayTest, RandomRationalsAgainstGmp) {
    NumberGen gen(0xdec1a1);
    RecordLedger ledger;
    mpz_class scale;
    mpz_ui_pow_ui(scale.get_mpz_t(), 10, 40);
    for (int it = 0; it < scaled(200); it++) {
        mpz_class a = gen.digits(gen.length(1, 30)), b;
        do {
            b = abs(gen.digits(gen.length(1, 30)));
        } while (b < 2);
        mpz_class g = gcd(a, b);
        if (a == 0) continue;
        a /= g;
        b /= g;
        if (b < 2) continue;
        quoly* q = rational(a, b);
        std::string got = at_terminal(q);
        free_quoly(&q);

        // Without its blanks and line breaks, the text is a / b, then the
        // quotient and exactly forty digits of the truncated fraction.
        std::string joined;
        for (char c : got)
            if (c != ' ' && c != '`' && c != '\n') joined += c;
        mpz_class quo = a / b, rem = a % b;   // truncated, as C
        std::string frac = mpz_class(abs(rem) * scale / b).get_str();
        frac = std::string(40 - frac.size(), '0') + frac;
        std::string want = a.get_str() + "/" + b.get_str() + ";or" + (quo == 0 && rem < 0 ? "-" : "") +
                           quo.get_str() + "." + frac;
        ASSERT_EQ(joined, want) << gen.trace() << " " << a << " / " << b << "\n" << got;
        // Every broken line ends with the continuation mark.
        for (size_t p = got.find('\n'); p + 1 < got.size(); p = got.find('\n', p + 1))
            EXPECT_EQ(got.compare(p - 2, 2, " `"), 0) << got;
    }
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
