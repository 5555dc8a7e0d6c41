// The display of polynomials and quolys. Small cases are compared with text
// worked out by hand from the layout rules; random polynomials are printed
// in every form and read back by a small parser written here (signs,
// '*', '^', parentheses, juxtaposition, the rest of a line after the
// continuation mark skipped, blanks between digit groups skipped), and the
// polynomial read back must equal the one displayed, term by term.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "storage/records.h"
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

std::string to_stdout(const std::function<void()>& f) {
    ::testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------- reference parser

// A polynomial as exponent vector (outermost variable first) -> coefficient.
using Poly = std::map<std::vector<int32_t>, mpz_class>;

Poly add(const Poly& a, const Poly& b, int sign = 1) {
    Poly r = a;
    for (const auto& [e, c] : b) {
        r[e] += sign * c;
        if (r[e] == 0) r.erase(e);
    }
    return r;
}

Poly mul(const Poly& a, const Poly& b) {
    Poly r;
    for (const auto& [ea, ca] : a)
        for (const auto& [eb, cb] : b) {
            std::vector<int32_t> e(ea.size());
            for (size_t i = 0; i < e.size(); i++) e[i] = ea[i] + eb[i];
            r[e] += ca * cb;
            if (r[e] == 0) r.erase(e);
        }
    return r;
}

class Reader {
public:
    Reader(const std::string& text, std::vector<std::string> names) : names_(std::move(names)) {
        // The continuation mark ends what the scanner reads of a line.
        bool skipping = false;
        for (char c : text) {
            if (c == '`') skipping = true;
            if (c == '\n') skipping = false;
            if (!skipping) s_ += c;
        }
    }

    Poly whole() {
        Poly p = expr();
        skip();
        if (i_ != s_.size()) fail("trailing text");
        return p;
    }

private:
    std::string s_;
    size_t i_ = 0;
    std::vector<std::string> names_;

    [[noreturn]] void fail(const std::string& why) {
        throw std::runtime_error(why + " at " + std::to_string(i_) + " in [" + s_ + "]");
    }
    void skip() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) i_++;
    }
    char peek() {
        skip();
        return i_ < s_.size() ? s_[i_] : '\0';
    }
    Poly constant(const mpz_class& c) {
        Poly p;
        if (c != 0) p[std::vector<int32_t>(names_.size(), 0)] = c;
        return p;
    }

    Poly expr() {
        Poly r;
        int sign = 1;
        if (peek() == '+' || peek() == '-') sign = s_[i_++] == '-' ? -1 : 1;
        r = add(r, term(), sign);
        while (peek() == '+' || peek() == '-') {
            sign = s_[i_++] == '-' ? -1 : 1;
            r = add(r, term(), sign);
        }
        return r;
    }
    Poly term() {
        Poly r = factor();
        for (;;) {
            char c = peek();
            if (c == '*') {
                i_++;
                r = mul(r, factor());
            } else if (c == '(' || std::isalpha(static_cast<unsigned char>(c))) {
                r = mul(r, factor());   // juxtaposition
            } else {
                return r;
            }
        }
    }
    int32_t exponent() {
        bool paren = peek() == '(';
        if (paren) i_++;
        bool neg = peek() == '-';
        if (neg) i_++;
        skip();
        size_t start = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) i_++;
        if (start == i_) fail("exponent expected");
        int32_t e = std::stoi(s_.substr(start, i_ - start));
        if (paren && peek() != ')') fail("')' expected after exponent");
        if (paren) i_++;
        return neg ? -e : e;
    }
    Poly factor() {
        char c = peek();
        if (c == '(') {
            i_++;
            Poly r = expr();
            if (peek() != ')') fail("')' expected");
            i_++;
            return r;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            // Blanks between digits are skipped: a number broken between its
            // groups reads as one number.
            std::string digits;
            for (;;) {
                while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) digits += s_[i_++];
                size_t save = i_;
                skip();
                if (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) continue;
                i_ = save;
                break;
            }
            return constant(mpz_class(digits));
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            std::string name;
            while (i_ < s_.size() && std::isalnum(static_cast<unsigned char>(s_[i_]))) name += s_[i_++];
            size_t k = 0;
            while (k < names_.size() && names_[k] != name) k++;
            if (k == names_.size()) fail("unknown name " + name);
            int32_t e = 1;
            if (peek() == '^') {
                i_++;
                e = exponent();
            }
            Poly r;
            std::vector<int32_t> ev(names_.size(), 0);
            ev[k] = e;
            r[ev] = 1;
            return r;
        }
        fail("factor expected");
    }
};

std::vector<std::string> var_names() {
    std::vector<std::string> names;
    for (pt* v = polynames; v; v = v->next) names.push_back(v->name);
    return names;
}

// The text read back, as terms in the ground ring.
TermList read_back(const std::string& text) {
    std::vector<std::string> names = var_names();
    Poly p = Reader(text, names).whole();
    TermList terms;
    for (const auto& [e, c] : p) terms.emplace_back(c, e);
    return canonical_terms(static_cast<int>(names.size()), terms);
}

// ---------------------------------------------------------------- fixture

class DisplayPolyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { load_data_once(); }

    DisplayPolyTest()
        : s_ugly_(uglyprint), s_cutoff_(dispcutoff), s_alt_(alt_form_display), s_promptsize_(promptsize),
          s_extra_(extra_line), s_monomial_(monomial_list), s_line_sup_(do_line_sup), s_laurent_(laurent) {
        uglyprint = 0;
        dispcutoff = 76;
        alt_form_display = 1;
        promptsize = 1;
        extra_line = 1;
        monomial_list = 0;
        do_line_sup = 1;
        laurent = 0;
        modularmode = lintmode = finf = f256 = f2t16 = 0;
    }
    ~DisplayPolyTest() override {
        uglyprint = s_ugly_;
        dispcutoff = s_cutoff_;
        alt_form_display = s_alt_;
        promptsize = s_promptsize_;
        extra_line = s_extra_;
        monomial_list = s_monomial_;
        do_line_sup = s_line_sup_;
        laurent = s_laurent_;
    }

    void modular(int32_t m) {
        install_modulus(m);
        modularmode = lintmode = 1;
    }

    RingStateGuard ring_;

private:
    int s_ugly_;
    int16_t s_cutoff_;
    int s_alt_;
    int32_t s_promptsize_;
    int s_extra_, s_monomial_, s_line_sup_, s_laurent_;
};

// One polynomial as a whole numerator; *lines gets the broken-line count.
std::string shown(polynode* p, int terminal = 1, int32_t start_col = 0, int32_t* lines_out = nullptr) {
    int32_t col = start_col, lines = 0;
    std::string text = to_stream(
        [&](FILE** s) { poly_display(s, terminal, 0, p, &col, ";", polynames, 0, 1, &lines); });
    if (lines_out) *lines_out = lines;
    return text;
}

std::string shown(const TermList& terms) {
    HeldPoly p(build_poly(number_polys, terms));
    return shown(p.p);
}

quoly* make_quoly(polynode* num, polynode* den) {
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = num;
    q->den = den;
    return q;
}

// The statement loop's display of a result (stream and standard output are
// both standard output there).
std::string at_terminal(quoly* q) {
    return to_stdout([&] {
        FILE* s = stdout;
        int32_t col = 0;
        quoly_display(&s, 1, 1, 1, q, &col, ";", polynames, 0, 1, 0);
    });
}

// ---------------------------------------------------------------- by hand

TEST_F(DisplayPolyTest, OneVariableSignsAndCoefficients) {
    AttachedVars vars(1);
    EXPECT_EQ(shown({{1, {2}}, {-2, {1}}, {1, {0}}}), "x^2 - 2x + 1");
    EXPECT_EQ(shown({{-1, {3}}, {1, {1}}}), "-x^3 + x");
    EXPECT_EQ(shown({{3, {10}}, {-1, {1}}, {-7, {0}}}), "3x^10 - x - 7");
    EXPECT_EQ(shown({{-5, {1}}}), "-5x");
    EXPECT_EQ(shown({{1, {1}}}), "x");
    EXPECT_EQ(shown({{"123456789012345678901", {2}}, {"-98765432109876543210", {0}}}),
              "123456789012345678901x^2 - 98765432109876543210");

    uglyprint = 1;
    EXPECT_EQ(shown({{1, {2}}, {-2, {1}}, {1, {0}}}), "x^2-2*x+1");
    EXPECT_EQ(shown({{-1, {3}}, {1, {1}}, {-1, {0}}}), "-x^3+x-1");
    EXPECT_EQ(shown({{"-123456789012345678901", {2}}}), "-123456789012345678901*x^2");
    // Machine words write their minus and blank whatever the form.
    lintmode = 1;
    EXPECT_EQ(shown({{1, {2}}, {-2, {1}}, {1, {0}}}), "x^2- 2*x+1");
}

TEST_F(DisplayPolyTest, ResiduesShowInTheSymmetricForm) {
    AttachedVars vars(1);
    modular(7);
    EXPECT_EQ(shown({{6, {2}}, {5, {1}}, {3, {0}}}), "-x^2 - 2x + 3");
    EXPECT_EQ(shown({{1, {2}}, {6, {1}}, {4, {0}}}), "x^2 - x - 3");
    alt_form_display = 0;
    EXPECT_EQ(shown({{6, {2}}, {5, {1}}, {3, {0}}}), "6x^2 + 5x + 3");
    // Characteristic 2: no element shows negative.
    alt_form_display = 1;
    install_modulus(256);
    finf = f256 = 1;
    EXPECT_EQ(shown({{255, {2}}, {200, {1}}, {1, {0}}}), "255x^2 + 200x + 1");
}

TEST_F(DisplayPolyTest, InnerCoefficientsStandInParentheses) {
    AttachedVars vars(2);   // x outermost, y inside it
    EXPECT_EQ(shown({{1, {2, 1}}, {1, {2, 0}}, {2, {1, 1}}, {-1, {0, 1}}, {3, {0, 0}}}),
              "(y + 1)x^2 + (2y)x - y + 3");
    // A parenthesised term always takes "+", its own minus inside.
    EXPECT_EQ(shown({{1, {3, 0}}, {-1, {1, 1}}, {-1, {1, 0}}}), "x^3 + (-y - 1)x");
    EXPECT_EQ(shown({{-1, {0, 2}}, {5, {0, 0}}}), "-y^2 + 5");
    EXPECT_EQ(shown({{1, {1, 0}}, {-2, {0, 3}}}), "x - 2y^3");
    uglyprint = 1;
    EXPECT_EQ(shown({{1, {2, 1}}, {1, {2, 0}}, {2, {1, 1}}, {-1, {0, 1}}, {3, {0, 0}}}),
              "(y+1)x^2+(2*y)x-y+3");

    AttachedVars three(3);   // x, y, z
    uglyprint = 0;
    EXPECT_EQ(shown({{1, {2, 0, 0}}, {-1, {0, 1, 1}}, {1, {0, 0, 1}}}), "x^2 + (-z)y + z");
    EXPECT_EQ(shown({{1, {2, 0, 0}}, {-1, {0, 0, 1}}, {1, {0, 0, 0}}}), "x^2 - z + 1");
    EXPECT_EQ(shown({{2, {1, 1, 1}}, {-3, {0, 0, 2}}}), "((2z)y)x - 3z^2");
}

TEST_F(DisplayPolyTest, QuolysWithDenominators) {
    AttachedVars vars(1);
    // 1/(x^2-1) + 1/(x+1) in normal form.
    quoly* q = make_quoly(build_poly(1, {{1, {1}}}), build_poly(1, {{1, {2}}, {-1, {0}}}));
    EXPECT_EQ(at_terminal(q), " x / ( x^2 - 1 )\n\n");
    extra_line = 0;
    EXPECT_EQ(at_terminal(q), " x / ( x^2 - 1 )\n");
    free_quoly(&q);

    q = make_quoly(build_poly(1, {{1, {1}}, {1, {0}}}), build_poly(1, {{1, {1}}, {-1, {0}}}));
    EXPECT_EQ(at_terminal(q), " ( x + 1 ) / ( x - 1 )\n");
    int32_t col = 0;
    uglyprint = 1;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", polynames, 0, 0, 0); }),
              "(x+1)/(x-1);\n");
    free_quoly(&q);

    uglyprint = 0;
    q = make_quoly(build_poly(1, {{-3, {0}}}), build_poly(1, {{1, {3}}}));
    EXPECT_EQ(at_terminal(q), " -3 / x^3\n");
    free_quoly(&q);
    q = make_quoly(build_poly(1, {{-1, {2}}}), build_poly(1, {{2, {1}}, {1, {0}}}));
    EXPECT_EQ(at_terminal(q), " -x^2 / ( 2x + 1 )\n");
    free_quoly(&q);

    // To a file a polynomial stands in parentheses, a lone one included.
    q = make_quoly(build_poly(1, {{1, {1}}, {1, {0}}}), nullptr);
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", polynames, 0, 0, 0); }),
              "( x + 1 );\n");
    EXPECT_EQ(at_terminal(q), " x + 1\n");
    monomial_list = 1;
    EXPECT_EQ(to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", polynames, 0, 0, 0); }),
              "x + 1;\n");
    free_quoly(&q);
}

TEST_F(DisplayPolyTest, MonomialListForm) {
    AttachedVars vars(2);   // x outer, y inner: innermost written first
    monomial_list = 1;
    TermList t = {{1, {2, 1}}, {1, {2, 0}}, {2, {1, 1}}, {-1, {0, 1}}, {-3, {0, 0}}};
    EXPECT_EQ(shown(t), "y*x^2 + x^2 + 2*y*x - y - 3 ");
    EXPECT_EQ(shown({{-1, {1, 1}}, {-4, {0, 2}}}), "- y*x - 4*y^2 ");
    uglyprint = 1;
    EXPECT_EQ(shown(t), "y*x^2+x^2+2*y*x-y-3");
    // One variable: the nested form, which is flat anyway.
    AttachedVars one(1);
    uglyprint = 0;
    EXPECT_EQ(shown({{1, {2}}, {-1, {0}}}), "x^2 - 1");
}

TEST_F(DisplayPolyTest, NegativeExponents) {
    AttachedVars vars(1);
    laurent = 1;
    TermList t = {{1, {2}}, {1, {0}}, {-2, {-3}}};
    EXPECT_EQ(shown(t), "x^2 + 1 - 2x^-3");
    uglyprint = 1;
    EXPECT_EQ(shown(t), "x^2+1-2*x^(-3)");
    EXPECT_EQ(read_back(shown(t)), canonical_terms(1, t));
}

TEST_F(DisplayPolyTest, StructuralDump) {
    AttachedVars vars(2);
    // x^2 (y + 5) - 7: the top level holds the term of exponent 2 and the
    // number -7; y + 5 holds the term y (over the number 1) and the number 5.
    HeldPoly p(build_poly(2, {{1, {2, 1}}, {5, {2, 0}}, {-7, {0, 0}}}));
    EXPECT_EQ(to_stream([&](FILE** s) { crude_poly_disp(s, 1, p.p, 1, polynames); }),
              "x: 2 *-7 \n"
              "    y: 1 *5 \n"
              "         : *1 \n"
              "         **\n"
              "     **\n");
    EXPECT_EQ(to_stream([&](FILE** s) { crude_poly_disp(s, 1, p.p, 1, nullptr); }),
              " : 2 *-7 \n"
              "     : 1 *5 \n"
              "         : *1 \n"
              "         **\n"
              "     **\n");
    EXPECT_EQ(uglyprint, 0);   // restored
}

TEST_F(DisplayPolyTest, MalformedPolynomialsAreReported) {
    AttachedVars vars(1);
    // Without a variable record only a lone number can be shown.
    HeldPoly p(build_poly(1, {{1, {1}}, {1, {0}}}));
    int32_t col = 0, lines = 0;
    std::string stream_text;
    std::string report = to_stdout([&] {
        stream_text = to_stream([&](FILE** s) { poly_display(s, 1, 0, p.p, &col, ";", nullptr, 0, 1, &lines); });
    });
    EXPECT_EQ(report, "*** Tarvex error.  q = NULL at start of poly_display.\n");
    EXPECT_EQ(stream_text, " cannot display this poly at this time.\n");

    // An exponent-0 node over a lone number, and a number node with a
    // successor outside Laurent mode: internal failures that unwind.
    HeldPoly wrapper(term_node(2, number_node(1), term_node(0, number_node(3))));
    HeldPoly follower(term_node(1, number_node(1), number_node(3, term_node(-1, number_node(1)))));
    for (polynode* bad : {wrapper.p, follower.p}) {
        std::string out = to_stdout([&] {
            EXPECT_THROW(to_stream([&](FILE** s) { poly_display(s, 1, 0, bad, &col, ";", polynames, 0, 1, &lines); }),
                         TarvexUnwind);
        });
        EXPECT_NE(out.find("*** Tarvex error.  Warning! "), std::string::npos) << out;
    }
    // With Laurent exponents a number node may be followed by terms.
    laurent = 1;
    EXPECT_EQ(shown(follower.p), "x + 3 + x^-1");
}

// ---------------------------------------------------------------- read back

TermList random_terms(NumberGen& gen, int nvars, bool negative_exps) {
    TermList t;
    int n = gen.between(1, 12);
    for (int i = 0; i < n; i++) {
        std::vector<int32_t> e(nvars);
        for (int32_t& x : e) x = gen.chance(30) ? 0 : gen.between(negative_exps ? -3 : 0, 12);
        mpz_class c = gen.chance(30) ? mpz_class(gen.chance(50) ? 1 : -1)
                      : gen.chance(50) ? gen.edge_value()
                                       : gen.digits(gen.length(1, 4));
        t.emplace_back(c, e);
    }
    return t;
}

TEST_F(DisplayPolyTest, EveryFormReadsBackAsTheSamePolynomial) {
    NumberGen gen(0xd15b1a7);
    RecordLedger ledger;
    const int16_t cutoffs[] = {16, 30, 76, 200};
    const int32_t moduli[] = {7, 101, 65521};
    do_line_sup = 0;
    for (int it = 0; it < scaled(600); it++) {
        int nvars = gen.between(1, 3);
        AttachedVars vars(nvars);
        int ring = gen.below(3);   // big integers, machine words, residues
        if (ring == 1) {
            lintmode = 1;
        } else if (ring == 2) {
            modular(moduli[gen.below(3)]);
            alt_form_display = gen.chance(70);
        }
        laurent = ring != 2 && gen.chance(20);
        TermList terms = random_terms(gen, nvars, laurent);
        if (ring == 1)
            for (Term& x : terms) x.coef %= 1000000;
        uglyprint = gen.chance(50);
        monomial_list = gen.chance(40);
        dispcutoff = cutoffs[gen.below(4)];
        int terminal = gen.chance(60);

        HeldPoly p(build_poly(nvars, terms));
        ASSERT_TRUE(check_poly_shape(p.p, nvars));
        std::string text = shown(p.p, terminal, gen.below(20));
        TermList got;
        try {
            got = read_back(text);
        } catch (const std::exception& e) {
            FAIL() << gen.trace() << " iteration " << it << ": " << e.what();
        }
        ASSERT_EQ(got, read_poly(p.p, nvars))
            << gen.trace() << " iteration " << it << " ugly " << uglyprint << " flat " << monomial_list
            << " ring " << ring << "\n" << text;

        // A readable terminal line is broken only with the continuation mark.
        if (terminal && !uglyprint) {
            for (size_t k = text.find('\n'); k != std::string::npos; k = text.find('\n', k + 1))
                ASSERT_TRUE(k >= 2 && text.compare(k - 2, 2, " `") == 0) << gen.trace() << "\n" << text;
        }
        alt_form_display = 1;
        modularmode = lintmode = 0;
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(DisplayPolyTest, QuolysReadBackAsNumeratorOverDenominator) {
    NumberGen gen(0x9a0171);
    for (int it = 0; it < scaled(100); it++) {
        int nvars = gen.between(1, 3);
        AttachedVars vars(nvars);
        uglyprint = gen.chance(50);
        TermList a = random_terms(gen, nvars, false), b = random_terms(gen, nvars, false);
        polynode* num = build_poly(nvars, a);
        polynode* den = build_poly(nvars, b);
        if (poly_iszero(num) || poly_iszero(den)) {
            free_poly(&num);
            free_poly(&den);
            continue;
        }
        quoly* q = make_quoly(num, den);
        extra_line = 0;   // its empty line would go to standard output
        int32_t col = 0;
        std::string text = to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", polynames, 0, 0, 0); });
        ASSERT_GE(text.size(), 2u);
        ASSERT_EQ(text.substr(text.size() - 2), ";\n") << text;
        // Split at the " / " between the two parenthesised parts.
        std::string body = text.substr(0, text.size() - 2);
        size_t slash = body.find(uglyprint ? ")/" : ") / ");
        ASSERT_NE(slash, std::string::npos) << text;
        EXPECT_EQ(read_back(body.substr(0, slash + 1)), read_poly(num, nvars)) << gen.trace() << "\n" << text;
        std::string lower = body.substr(slash + (uglyprint ? 2 : 4));
        EXPECT_EQ(read_back(lower), read_poly(den, nvars)) << gen.trace() << "\n" << text;
        free_quoly(&q);
    }
}

// ---------------------------------------------------------------- line breaking

TEST_F(DisplayPolyTest, LinesBreakAtTheWidthWithTheMark) {
    AttachedVars vars(1);
    TermList t;
    for (int e = 30; e >= 0; e--) t.push_back({e + 1, {e}});
    HeldPoly p(build_poly(1, t));
    // 31x^30 + 30x^29 + ... is some 270 columns wide.
    std::string text = shown(p.p);
    size_t first = text.find('\n');
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.compare(first - 2, 2, " `"), 0) << text;
    EXPECT_EQ(read_back(text), read_poly(p.p, 1));

    dispcutoff = 30;
    int32_t lines = 0;
    text = shown(p.p, 1, 0, &lines);
    int newlines = 0;
    for (size_t k = text.find('\n'); k != std::string::npos; k = text.find('\n', k + 1)) {
        newlines++;
        // No line holds more than the width and one term past it.
        size_t start = text.rfind('\n', k - 1);
        start = start == std::string::npos ? 0 : start + 1;
        EXPECT_LE(k - start, 30u + 12u) << text;
    }
    EXPECT_EQ(newlines, lines);
    EXPECT_GT(lines, 5);

    // Unformatted between terms: a bare newline, or the mark after a "+".
    uglyprint = 1;
    text = shown(p.p, 1);
    EXPECT_EQ(read_back(text), read_poly(p.p, 1));
    EXPECT_EQ(text.find(' '), std::string::npos) << text;
}

TEST_F(DisplayPolyTest, TerminalOutputStopsAfter150Lines) {
    AttachedVars vars(1);
    TermList t;
    for (int e = 3000; e >= 0; e--) t.push_back({e % 2 ? 7 : -5, {e}});
    HeldPoly p(build_poly(1, t));
    quoly* q = make_quoly(p.p, nullptr);
    std::string message = "   ... more output suppressed ... \n";

    std::string text = at_terminal(q);
    size_t cut = text.find(message);
    ASSERT_NE(cut, std::string::npos);
    EXPECT_EQ(text.find(message, cut + 1), std::string::npos);   // once
    std::string before = text.substr(0, cut);
    int newlines = 0;
    for (char c : before) newlines += c == '\n';
    EXPECT_EQ(newlines, 151);
    EXPECT_EQ(text.substr(cut + message.size()), "\n\n");   // the ending newline and the extra line

    // The same in the flat form with two variables.
    {
        AttachedVars two(2);
        monomial_list = 1;
        TermList t2;
        for (int e = 2000; e >= 0; e--) t2.push_back({e % 3 - 1 ? 3 : -2, {e, e % 5}});
        HeldPoly p2(build_poly(2, t2));
        linesuppression = 1;
        std::string flat = to_stdout([&] { shown(p2.p); });
        EXPECT_EQ(flat, message);
        int32_t lines = 0;
        shown(p2.p, 1, 0, &lines);
        EXPECT_EQ(lines, 151);
        // To a file nothing is cut.
        std::string whole = shown(p2.p, 0);
        EXPECT_EQ(read_back(whole), read_poly(p2.p, 2));
        monomial_list = 0;
    }

    // Without the switch, and to a file, the whole polynomial comes out.
    do_line_sup = 0;
    text = at_terminal(q);
    EXPECT_EQ(text.find(message), std::string::npos);
    EXPECT_EQ(read_back(text), read_poly(p.p, 1));
    do_line_sup = 1;
    extra_line = 0;
    int32_t col = 0;
    text = to_stream([&](FILE** s) { quoly_display(s, 0, 1, 1, q, &col, ";", polynames, 0, 0, 0); });
    EXPECT_EQ(read_back(text.substr(0, text.size() - 2)), read_poly(p.p, 1));
    q->pnum = nullptr;
    free_quoly(&q);
}

}  // namespace
