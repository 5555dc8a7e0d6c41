// Statements run through the dispatcher and the evaluator as the statement
// loop runs them, with values checked against hand values and against
// random expression trees whose values GMP computes independently.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "statement_runs.h"
#include "stream_text.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

using namespace statement_runs;

class Eval : public StatementRuns {
protected:
    void SetUp() override { start(0); }
    void TearDown() override {
        finish();
    }
};

mpq_class Q(long n, long d = 1) { return mpq_class(n, d); }

TEST_F(Eval, PrecedenceAndAssociativity) {
    EXPECT_EQ(val("2+3*4;"), 14);
    EXPECT_EQ(val("2*3+4;"), 10);
    EXPECT_EQ(val("(2+3)*4;"), 20);
    EXPECT_EQ(val("2-3-4;"), -5);
    EXPECT_EQ(val("2/3/4;"), Q(1, 6));
    EXPECT_EQ(val("2*3^2;"), 18);
    EXPECT_EQ(val("2^3^2;"), 512);
    EXPECT_EQ(val("-2^2;"), -4);
    EXPECT_EQ(val("(-2)^2;"), 4);
    EXPECT_EQ(val("-2!^2;"), 4);       // (-(2!))^2
    EXPECT_EQ(val("2^3!;"), 64);       // the exponent takes the '!'
    EXPECT_EQ(val("2*-3;"), -6);
    EXPECT_EQ(val("2 3;"), 23);        // blanks between digits are skipped
    EXPECT_EQ(val("2(3+1);"), 8);      // juxtaposition
    EXPECT_EQ(val("12 - 2\\3*2;"), 12 - (2 / 3) * 2);
    Outcome o = run("3!^2;");
    EXPECT_EQ(o.terminator, "^");      // '^' is left unread after '!'
    EXPECT_EQ(o.error, 129);
}

TEST_F(Eval, PowersWithNegativeExponentsOnRationals) {
    EXPECT_EQ(val("(2/3)^3;"), Q(8, 27));
    EXPECT_EQ(val("(2/3)^-3;"), Q(27, 8));
    EXPECT_EQ(val("(-2/3)^-3;"), Q(-27, 8));
    EXPECT_EQ(val("2^-1;"), Q(1, 2));
    EXPECT_EQ(val("0^0;"), 1);
    EXPECT_EQ(val("(-1)^-7;"), -1);
    mpz_class five, seven;
    mpz_ui_pow_ui(five.get_mpz_t(), 5, 201);
    mpz_ui_pow_ui(seven.get_mpz_t(), 7, 201);
    EXPECT_EQ(val("(-7/5)^-201;"), mpq_class(-five, seven));
    EXPECT_EQ(err("0^-1;"), 22);
    EXPECT_EQ(err("2^(1/2);"), 116);
}

TEST_F(Eval, QuotientRemainderFloorAbs) {
    // Truncated quotient; the remainder non-negative (pos_mod is on).
    const long a[] = {7, -7, 7, -7, 0, 12};
    const long b[] = {3, 3, -3, -3, 5, 4};
    for (int i = 0; i < 6; i++) {
        std::string x = std::string("(").append(std::to_string(a[i])).append(")");
        std::string y = std::string("(").append(std::to_string(b[i])).append(")");
        long r = a[i] % b[i];
        if (r < 0) r += b[i] < 0 ? -b[i] : b[i];
        EXPECT_EQ(val(x + "\\" + y + ";"), a[i] / b[i]) << x << y;
        EXPECT_EQ(val(x + "|" + y + ";"), r) << x << y;
    }
    // The left operand only referenced (a variable) and computed (a copy).
    EXPECT_EQ(val("u := -7; v := 3; u\\v;"), -2);
    EXPECT_EQ(val("u|v;"), 2);
    EXPECT_EQ(val("u*v|4;"), 3);
    EXPECT_EQ(val("v\\u;"), 0);
    EXPECT_EQ(err("7\\0;"), 22);
    EXPECT_EQ(err("7|0;"), 22);
    EXPECT_EQ(err("7\\/2;"), 339);
    EXPECT_EQ(err("7*/2;"), 339);
    EXPECT_EQ(val("7//2;"), Q(7, 2));
    EXPECT_EQ(val("$(7/2);"), 3);
    EXPECT_EQ(val("$(-7/2);"), -4);
    EXPECT_EQ(val("$-5;"), -5);
    EXPECT_EQ(val("|-5|;"), 5);
    EXPECT_EQ(val("|(-7/2)|;"), Q(7, 2));
    EXPECT_EQ(val("|-2|^2;"), 4);
    EXPECT_EQ(err("|5;"), 63);
}

TEST_F(Eval, ConstantsCharactersAndFactorial) {
    EXPECT_EQ(val("1.25;"), Q(5, 4));
    EXPECT_EQ(val("2.50;"), Q(5, 2));
    EXPECT_EQ(val(".5;"), Q(1, 2));
    EXPECT_EQ(val("3 + .125;"), Q(25, 8));
    EXPECT_EQ(err("1.;"), 341);
    EXPECT_EQ(val("'A';"), 65);
    EXPECT_EQ(val("' ' + 1;"), 33);
    EXPECT_EQ(err("'AB;"), 109);
    mpz_class f;
    mpz_fac_ui(f.get_mpz_t(), 30);
    EXPECT_EQ(val("30!;"), mpq_class(f));
    EXPECT_EQ(val("0!;"), 1);
    EXPECT_EQ(err("(1/2)!;"), 130);
    mpz_class big("123456789012345678901234567890123456789");
    EXPECT_EQ(val("123456789012345678901234567890123456789 + 1;"), mpq_class(big + 1));
}

TEST_F(Eval, AssignmentForms) {
    Outcome o = run("x := 3;");
    EXPECT_EQ(o.last, 3);
    EXPECT_EQ(lookup("x"), 3);
    // The stored value is a copy: changing y leaves x alone.
    EXPECT_EQ(val("y := x; y :+; x;"), 3);
    EXPECT_EQ(lookup("y"), 4);
    EXPECT_EQ(val("x :+;"), 4);
    EXPECT_EQ(val("x :- 3;"), 1);
    EXPECT_EQ(val("x :+ (2*5);"), 11);
    EXPECT_EQ(val("x :- y;"), 7);
    EXPECT_EQ(err("x :* 2;"), 317);
    EXPECT_EQ(err("3 := 4;"), 316);
    EXPECT_EQ(err("(x) := 4;"), 316);
    EXPECT_EQ(err("x^1 := 4;"), 316);
    EXPECT_EQ(val("z := 1/3 + x;"), Q(22, 3));
    EXPECT_EQ(err("z :+;"), 196);          // a rational has a denominator
    EXPECT_EQ(err("x :+ (1/2);"), 223);
    EXPECT_EQ(err("x :+ 268435456;"), 224);  // 2^28 is two digits
    // A carry out of the last digit is refused and the value kept.
    EXPECT_EQ(err("w := 268435455; w :+;"), 294);
    EXPECT_EQ(lookup("w"), 268435455);
    EXPECT_EQ(err("w := 268435456; w :-;"), 294);
    EXPECT_EQ(val("w := 268435461; w :- 3;"), 268435458);
    EXPECT_EQ(val("w := -1; w :+;"), 0);
    // Star form: the value moves, the variable keeps 1.
    EXPECT_EQ(val("s := 5; t := *s; s;"), 1);
    EXPECT_EQ(lookup("t"), 5);
}

TEST_F(Eval, UndefinedDeletedAndPrevious) {
    EXPECT_EQ(err("y + 1;"), 19);
    Outcome q = run("quit;");
    EXPECT_EQ(q.error, 0);
    EXPECT_EQ(q.last, 0);
    EXPECT_EQ(q.printed, " The quit command is &q.\n");
    EXPECT_EQ(val("x := 4; @x;"), 0);
    EXPECT_EQ(err("x;"), 19);
    EXPECT_EQ(err("a := 1; b := 2; @(a, b); b;"), 19);
    EXPECT_EQ(val("6 * 7; < + 1;"), 43);
    EXPECT_EQ(val("1/2; <*<;"), Q(1, 4));
    // A variable deleted inside the statement that reads it counts as 0;
    // one that an update's amount deletes cannot take the update.
    EXPECT_EQ(val("x := 5; x * (@x);"), 0);
    EXPECT_EQ(err("x := 5; x :+ (@x);"), 316);
}

TEST_F(Eval, StatementEnds) {
    Outcome o = run("x := 2; x^2:");
    EXPECT_EQ(o.terminator, ":");
    EXPECT_EQ(o.last, 4);
    // An empty statement: nothing to display, the value 0.
    o = run(";");
    EXPECT_EQ(o.terminator, "@");
    EXPECT_EQ(o.last, 0);
    // "x:" at the end of a typed line: computed, not displayed.
    tt_flag = 1;
    o = run("x := 9;\nx:\n");
    EXPECT_EQ(o.error, 0);
    EXPECT_EQ(o.terminator, ":");
    EXPECT_EQ(o.last, 9);
}

TEST_F(Eval, ModularMode) {
    use_prime(7);
    EXPECT_EQ(val("10;"), 3);
    EXPECT_EQ(val("100000000;"), 2);    // 10^8 mod 7
    // Computed in machine integers, then an element of the ring.
    EXPECT_EQ(val("_(10);"), 3);
    EXPECT_EQ(val("_(10 \\ 4);"), 2);
    EXPECT_EQ(val("10 \\ 4;"), 0);
    EXPECT_EQ(val("3^8;"), 2);          // the exponent is not reduced when read
    EXPECT_EQ(val("3^-1;"), 5);
    EXPECT_EQ(val("-1;"), 6);
    EXPECT_EQ(val("2/3;"), 3);
    EXPECT_EQ(val("'A';"), 65 % 7);
    EXPECT_EQ(val("5!;"), 120 % 7);
    EXPECT_EQ(val("x := 5; x :+ 3;"), 1);
    EXPECT_EQ(val("x :- 2;"), 6);
    EXPECT_EQ(err("0^-1;"), 85);
    EXPECT_NE(err("1/0;"), 0);
}

TEST_F(Eval, IncrementsInPlace) {
    int32_t k = 1;
    {
        RingStateGuard g;
        install_modulus(256);
        modularmode = lintmode = 1;
        imag* n = new_number();
        n->value = 3;
        increment inc{n, &k, 0};
        add_to_im(&inc);
        EXPECT_EQ(n->value, 2);   // exclusive or in GF(2^8)
        free_imag(&n);
    }
    // x^2 + x plus 5 gains a constant term; x + 5 minus 5 loses it.
    polynode* p = build_poly(1, {{1, {2}}, {1, {1}}});
    k = 5;
    increment inc{nullptr, &k, 0};
    do_poly(&p, &inc);
    EXPECT_TRUE(check_poly_shape(p, 1));
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {2}}, {1, {1}}, {5, {0}}}));
    k = -5;
    do_poly(&p, &inc);
    EXPECT_TRUE(check_poly_shape(p, 1));
    EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{1, {2}}, {1, {1}}}));
    free_poly(&p);
    // Two variables: the constant sits below an exponent-0 level.
    p = build_poly(2, {{1, {1, 0}}, {1, {0, 1}}, {4, {0, 0}}});
    k = 3;
    do_poly(&p, &inc);
    EXPECT_TRUE(check_poly_shape(p, 2));
    EXPECT_EQ(read_poly(p, 2), canonical_terms(2, {{1, {1, 0}}, {1, {0, 1}}, {7, {0, 0}}}));
    free_poly(&p);
}

TEST_F(Eval, HalfReadersAndExponents) {
    {
        TextStream s("^2*3 + 1 or");
        scanner(&s.f, &token, &zilch);
        SlotHold v;
        quoly_set(5, &v.q);
        half_expre(&s.f, &v.q, &zilch);
        EXPECT_EQ(value_of(v.q), 76);
        EXPECT_STREQ(token.name, "or");
    }
    // A whole-expression exponent in modular mode: read unreduced, handed
    // on as a machine word.
    use_prime(7);
    leftover = 0;
    TextStream s("^ 2*5+1;");
    scanner(&s.f, &token, &zilch);
    imag* e = nullptr;
    get_exponent(&s.f, &zilch, &e, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->value, 11);
    EXPECT_EQ(modularmode, 1);
    free_imag(&e);
}

TEST_F(Eval, ErrorsAndConstructsNotYetAvailable) {
    EXPECT_EQ(err("1/0;"), 22);
    EXPECT_EQ(err("(1+2;"), 1);
    EXPECT_EQ(err("(1+2));"), 129);
    EXPECT_EQ(err(");"), 2);
    EXPECT_EQ(err("1 + ;"), 2);
    EXPECT_EQ(err("+1;"), 2);
    EXPECT_EQ(err("*3;"), 337);
    EXPECT_EQ(err("&xy;"), 114);
    EXPECT_EQ(err("&y;"), 17);
    EXPECT_EQ(err("&_z;"), 17);
    EXPECT_TRUE(run("&q;").quit);
    EXPECT_TRUE(run("1 + &q;").quit);
    EXPECT_EQ(err("Gcd(4, 6);"), 16);
    EXPECT_EQ(err("Foo(1);"), 16);
    EXPECT_EQ(err("x := 1; x[1];"), 28);
    EXPECT_EQ(err("[a];"), 28);
    // A constant's derivative is 0, and the stored value stays.
    EXPECT_EQ(val("x := 5; x\";"), 0);
    EXPECT_EQ(val("x;"), 5);
    EXPECT_EQ(val("x := 7; x#3;"), 7);   // a constant is its own value anywhere
    EXPECT_EQ(err("<[1];"), 175);
    EXPECT_EQ(err("x := 1; 2 x 3;"), 129);
}

// ---- random expressions against GMP ----

// A random expression as text and its exact value; level says how loosely
// the text binds: 0 a sum, 1 a term, 2 a factor with its postfix operators,
// 3 a factor that can still take a postfix operator.
struct Expr {
    std::string text;
    mpq_class value;
    int level;
    bool divides_by_zero = false;
};

class ExprGen {
public:
    ExprGen(uint64_t seed, bool modular, const mpz_class& p) : gen_(seed), modular_(modular), p_(p) {}

    std::vector<std::pair<std::string, mpq_class>> vars;

    Expr expression(int depth) {
        const int pick = gen_.below(depth <= 0 ? 2 : (modular_ ? 9 : 13));
        switch (pick) {
        case 0: return number();
        case 1: return vars.empty() ? number() : variable();
        case 2: return sum(depth, true);
        case 3: return sum(depth, false);
        case 4: return product(depth, '*');
        case 5: return product(depth, '/');
        case 6: return negation(depth);
        case 7: return power(depth);
        case 8: return paren(expression(depth - 1));
        case 9: return product(depth, '\\');
        case 10: return product(depth, '|');
        case 11: return floor_of(depth);
        default: return abs_of(depth);
        }
    }

    mpq_class reduce(const mpq_class& v) const {
        if (!modular_) return v;
        mpz_class n = v.get_num() % p_, d = v.get_den() % p_, inv;
        if (n < 0) n += p_;
        mpz_invert(inv.get_mpz_t(), d.get_mpz_t(), p_.get_mpz_t());
        return mpq_class(mpz_class(n * inv % p_));
    }

private:
    NumberGen gen_;
    bool modular_;
    mpz_class p_;

    static Expr paren(const Expr& e) { return {"(" + e.text + ")", e.value, 3, e.divides_by_zero}; }
    static Expr at_least(const Expr& e, int level) { return e.level >= level ? e : paren(e); }
    static bool integral(const mpq_class& v) { return v.get_den() == 1; }

    Expr number() {
        mpz_class n = gen_.chance(30) ? gen_.nonneg_digits(gen_.between(1, 4)) : mpz_class(gen_.below(20));
        if (n < 0) n = -n;
        return {n.get_str(), reduce(mpq_class(n)), 3};
    }
    Expr variable() {
        const auto& v = vars[static_cast<size_t>(gen_.below(static_cast<int32_t>(vars.size())))];
        return {v.first, v.second, 3};
    }
    Expr sum(int depth, bool add) {
        Expr a = expression(depth - 1), b = at_least(expression(depth - 1), 1);
        Expr r{a.text + (add ? "+" : "-") + b.text, reduce(add ? mpq_class(a.value + b.value) : mpq_class(a.value - b.value)), 0,
               a.divides_by_zero || b.divides_by_zero};
        return r;
    }
    Expr product(int depth, char op) {
        Expr a = at_least(expression(depth - 1), 1), b = at_least(expression(depth - 1), 2);
        bool zero = a.divides_by_zero || b.divides_by_zero;
        mpq_class v;
        if (op == '*') {
            v = a.value * b.value;
        } else if (op == '/') {
            if (b.value == 0) {
                if (modular_) return product(depth, '*');
                zero = true;
            } else {
                v = a.value / b.value;
            }
        } else {
            // Integer quotient and remainder are taken of integers only.
            if (!integral(a.value) || !integral(b.value)) return product(depth, '*');
            if (b.value == 0) {
                zero = true;
            } else {
                mpz_class x = a.value.get_num(), y = b.value.get_num();
                mpz_class q = x / y, r = x % y;   // truncated, like C
                if (r < 0) r += abs(y);
                v = op == '\\' ? mpq_class(q) : mpq_class(r);
            }
        }
        return {a.text + op + b.text, reduce(v), 1, zero};
    }
    Expr negation(int depth) {
        Expr a = at_least(expression(depth - 1), 2);
        return {"-" + a.text, reduce(-a.value), 2, a.divides_by_zero};
    }
    Expr power(int depth) {
        // Shallow bases keep nested powers to a few thousand digits.
        Expr base = at_least(expression(depth > 2 ? 1 : depth - 1), 3);
        static const char* exps[] = {"0", "1", "2", "3", "-1", "-2", "2!", "3!", "2^2", "-(1)", "(5-2)"};
        static const long values[] = {0, 1, 2, 3, -1, -2, 2, 6, 4, -1, 3};
        int i = gen_.below(11);
        long e = values[i];
        if (modular_ && base.value == 0 && e < 0) i = 3, e = 3;
        bool zero = base.divides_by_zero;
        mpq_class v = 1;
        if (e < 0 && base.value == 0) {
            zero = true;
        } else {
            for (long k = 0; k < (e < 0 ? -e : e); k++) v *= base.value;
            if (e < 0) v = 1 / v;
        }
        return {base.text + "^" + exps[i], reduce(v), 2, zero};
    }
    Expr floor_of(int depth) {
        Expr a = at_least(expression(depth - 1), 2);
        mpz_class f;
        mpz_fdiv_q(f.get_mpz_t(), a.value.get_num_mpz_t(), a.value.get_den_mpz_t());
        return {"$" + a.text, mpq_class(f), 2, a.divides_by_zero};
    }
    Expr abs_of(int depth) {
        Expr a = at_least(expression(depth - 1), 2);
        return {"|" + a.text + "|", abs(a.value), 3, a.divides_by_zero};
    }
};

void random_expressions(bool modular, const mpz_class& p, uint64_t seed, int count,
                        const std::function<Outcome(const std::string&)>& run) {
    ExprGen g(seed, modular, p);
    std::mt19937_64 pick(seed);
    std::string setup;
    for (const char* name : {"a", "b", "cc"}) {
        long n = static_cast<long>(pick() % 2001) - 1000, d = static_cast<long>(pick() % 9) + 1;
        if (modular || pick() % 2) d = 1;   // integers reach the quotient and remainder
        setup += std::string(name) + " := " + std::to_string(n) + "/" + std::to_string(d) + "; ";
        g.vars.push_back({name, g.reduce(mpq_class(n, d))});
    }
    for (int i = 0; i < count; i++) {
        Expr e = g.expression(4);
        Outcome o = run(setup + e.text + ";");
        if (e.divides_by_zero) {
            EXPECT_EQ(o.error, 22) << e.text << " seed " << seed;
        } else {
            EXPECT_EQ(o.error, 0) << e.text << " seed " << seed << "\n" << o.printed;
            EXPECT_EQ(o.last, e.value) << e.text << " seed " << seed;
        }
        if (::testing::Test::HasFailure()) return;
    }
}

TEST_F(Eval, RandomExpressionsOverTheRationals) {
    random_expressions(false, 0, 20241, scaled(400), run);
}

TEST_F(Eval, RandomExpressionsModuloPrimes) {
    for (long prime : {7L, 10007L, 2147483629L}) {
        mpz_class p(prime);
        ASSERT_NE(mpz_probab_prime_p(p.get_mpz_t(), 30), 0) << prime;
        use_prime(static_cast<int32_t>(prime));
        random_expressions(true, p, 777 + static_cast<uint64_t>(prime), scaled(150), run);
    }
}

// Random bytes and unbalanced brackets end in a numbered error, a value or
// the quit switch, never in a crash.
TEST_F(Eval, GarbageInput) {
    std::mt19937_64 rng(99);
    const std::string alphabet = "0123456789+-*/\\|^!()$'.:=;@<_\"#%[]?&xyzAQq \t";
    for (int i = 0; i < scaled(3000); i++) {
        std::string text;
        const int len = static_cast<int>(rng() % 24);
        for (int k = 0; k < len; k++) {
            if (rng() % 8 == 0)
                text += static_cast<char>(rng() % 256);
            else
                text += alphabet[rng() % alphabet.size()];
        }
        Outcome o = run(text);
        EXPECT_TRUE(o.error >= -1 && o.error <= 376) << text;
    }
    for (const char* text : {"((((1)));", "(((1);", "|||;", "2^^3;", "x := (;", "x :=;", "::;", "--;"}) {
        Outcome o = run(text);
        EXPECT_NE(o.error, 0) << text;
    }
}

}  // namespace
