// The integer evaluator run on stored token chains, as a function body
// replays them: values against a 64-bit reference written here, residues
// against modular arithmetic written here, variables changed in place, and
// the refusals (results beyond one digit, stored numbers of several digits)
// that keep every stored number exact and well formed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "stream_text.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/ring_setup.h"
#include "toplevel/errors.h"

namespace {

constexpr int64_t kDigitMax = (int64_t{1} << 28) - 1;
const char* const kEnd = "\xC2\xA5";

// The tokens of text as a stored chain: a header record, one record per
// token, the end token.
name* chain_of(const std::string& text) {
    TextStream s(text);
    const int saved_tt = tt_flag;
    tt_flag = 0;
    leftover = 0;
    name* head = nullptr;
    newname(&head);
    head->next = nullptr;
    name* last = head;
    auto append = [&last](const char* t) {
        name* r = nullptr;
        newname(&r);
        std::memset(r->token, 0, sizeof r->token);
        std::memcpy(r->token, t, std::min(std::strlen(t), sizeof r->token - 1));
        r->hash = UNHASHED;
        r->next = nullptr;
        last->next = r;
        last = r;
    };
    for (;;) {
        tokenrec t;
        scanner(&s.f, &t, &zilch);
        if (token_is(&t, ";")) break;
        append(t.name);
    }
    append(kEnd);
    tt_flag = saved_tt;
    leftover = 0;
    return head;
}

// How one integer statement ended.
struct IntRun {
    int32_t value = 0;
    int error = 0;          // the numbered error that unwound, 0 for none
    bool at_end = false;    // the end token was current afterwards
};

IntRun run_integer(const std::string& text, bool expression_only = false) {
    IntRun out;
    name* chain = chain_of(text);
    name* pending = chain;
    testing::internal::CaptureStdout();
    try {
        scanner(&Input, &token, &pending);
        if (expression_only)
            old_iexpre(&out.value, &pending);
        else
            iexpre(&out.value, &pending);
        out.at_end = token_is(&token, kEnd);
    } catch (const TarvexUnwind& e) {
        out.error = e.code;
    }
    testing::internal::GetCapturedStdout();
    give_back_names(chain);
    return out;
}

tokenrec tok(const char* s) {
    tokenrec t;
    set_token(&t, s);
    return t;
}

void set_var(const char* s, const mpz_class& v) {
    tokenrec t = tok(s);
    quoly* q = nullptr;
    quoly_set(0, &q);
    if (!lintmode) {
        free_quoly(&q);
        imag* n = from_mpz(v);
        q = nullptr;
        quoly_set(0, &q);
        num_assign(n, q->nnum);
        free_imag(&n);
    } else {
        q->nnum->value = static_cast<int32_t>(v.get_si());
    }
    var* r = nullptr;
    insert_var(&t, q, &r);
}

quoly* slot_of(const char* s) {
    tokenrec t = tok(s);
    var* v = find_var(&t);
    return v ? v->value : nullptr;
}

// A variable's value, its digit chain checked.
mpz_class var_value(const char* s) {
    quoly* q = slot_of(s);
    EXPECT_TRUE(q && q->isnum) << s;
    if (!q || !q->isnum) return mpz_class(-999999);
    if (lintmode) return mpz_class(q->nnum->value);
    EXPECT_TRUE(check_number(q->nnum)) << s;
    return to_mpz(q->nnum);
}

class IntegerEval : public ::testing::Test {
protected:
    PrimeRing ring_{0};
    int saved_pos_mod_ = pos_mod;
    void SetUp() override {
        init_scanner_structures();
        clear_sca_store();
        integerflag = 1;
        pos_mod = 1;
    }
    void TearDown() override {
        integerflag = 0;
        pos_mod = saved_pos_mod_;
        clear_sca_store();
        init_scanner_structures();
    }
};

// ---- random expressions with a reference value -------------------------

// An expression's text with the value and the first error a left-to-right
// evaluation meets, computed in 64 bits.
struct Expr {
    std::string text;
    int64_t v = 0;
    int err = 0;
};

class ExprGen {
public:
    ExprGen(uint32_t seed, int64_t p) : rng_(seed), p_(p) {}

    Expr make(int depth) {
        if (depth == 0 || pick(4) == 0) return leaf();
        switch (pick(p_ ? 6 : 9)) {
        case 0: return unary(make(depth - 1));
        case 1: return power(make(depth - 1));
        case 2: return binary('+', make(depth - 1), make(depth - 1));
        case 3: return binary('-', make(depth - 1), make(depth - 1));
        case 4: return binary('*', make(depth - 1), make(depth - 1));
        case 5: return binary('/', make(depth - 1), make(depth - 1));
        case 6: return binary('\\', make(depth - 1), make(depth - 1));
        case 7: return binary('|', make(depth - 1), make(depth - 1));
        default: return fact(make(depth - 1));
        }
    }

private:
    std::mt19937 rng_;
    int64_t p_;   // modulus, 0 for the integers

    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

    int64_t bounded(int64_t v, int* err) {
        if (p_) return ((v % p_) + p_) % p_;
        if ((v > kDigitMax || v < -kDigitMax) && !*err) *err = 32;
        return v;
    }

    int64_t inverse(int64_t a) {   // a^(p-2) for the prime p
        int64_t r = 1, b = a, e = p_ - 2;
        while (e > 0) {
            if (e & 1) r = static_cast<int64_t>(static_cast<__int128>(r) * b % p_);
            b = static_cast<int64_t>(static_cast<__int128>(b) * b % p_);
            e >>= 1;
        }
        return r;
    }

    Expr leaf() {
        static const int64_t edges[] = {0, 1, 2, 3, 7, 16384, kDigitMax, 46340};
        int64_t c = pick(3) == 0 ? edges[pick(8)] : pick(2) ? pick(100) : pick(1 << 15);
        Expr e;
        e.text = std::to_string(c);
        e.v = p_ ? c % p_ : c;
        return e;
    }

    Expr unary(Expr a) {
        Expr e;
        e.text = "(-" + a.text + ")";
        e.err = a.err;
        e.v = p_ ? (p_ - a.v) % p_ : -a.v;
        return e;
    }

    Expr power(Expr a) {
        const int k = pick(5);
        Expr e;
        e.text = "(" + a.text + ")^" + std::to_string(k);
        e.err = a.err;
        int64_t r = 1;
        for (int i = 0; i < k && !e.err; ++i) {
            r = p_ ? static_cast<int64_t>(static_cast<__int128>(r) * a.v % p_) : r * a.v;
            r = bounded(r, &e.err);
        }
        e.v = r;
        return e;
    }

    Expr fact(Expr a) {
        Expr e;
        e.text = "(" + a.text + ")!";
        e.err = a.err;
        int64_t r = 1;
        for (int64_t i = 2; i <= a.v && !e.err; ++i) r = bounded(r * i, &e.err);
        e.v = r;
        return e;
    }

    Expr binary(char op, Expr a, Expr b) {
        Expr e;
        e.text = "(" + a.text + op + b.text + ")";
        e.err = a.err ? a.err : b.err;
        if (e.err) return e;
        if (p_) {
            switch (op) {
            case '+': e.v = (a.v + b.v) % p_; break;
            case '-': e.v = (a.v - b.v + p_) % p_; break;
            case '*': e.v = static_cast<int64_t>(static_cast<__int128>(a.v) * b.v % p_); break;
            default:
                if (b.v == 0) {
                    e.err = 22;
                } else {
                    e.v = static_cast<int64_t>(static_cast<__int128>(a.v) * inverse(b.v) % p_);
                }
            }
            return e;
        }
        switch (op) {
        case '+': e.v = bounded(a.v + b.v, &e.err); break;
        case '-': e.v = bounded(a.v - b.v, &e.err); break;
        case '*': e.v = bounded(a.v * b.v, &e.err); break;
        default:
            if (b.v == 0) {
                e.err = 22;
            } else if (op == '|') {
                int64_t r = a.v % b.v;
                if (r < 0) r += b.v < 0 ? -b.v : b.v;   // pos_mod
                e.v = r;
            } else {
                e.v = a.v / b.v;
            }
        }
        return e;
    }
};

TEST_F(IntegerEval, RandomExpressionsMatchExactIntegers) {
    for (int words = 0; words < 2; ++words) {
        lintmode = words;   // digit chains, then machine words: the same answers
        ExprGen gen(12345u + words, 0);
        int refused = 0;
        for (int i = 0; i < 3000; ++i) {
            Expr e = gen.make(4);
            IntRun r = run_integer(e.text);
            ASSERT_EQ(r.error, e.err) << e.text << " seed " << 12345 + words;
            if (e.err) {
                ++refused;
                continue;
            }
            EXPECT_TRUE(r.at_end) << e.text;
            ASSERT_EQ(r.value, e.v) << e.text;
        }
        // Both outcomes were exercised.
        EXPECT_GT(refused, 100);
        EXPECT_LT(refused, 2000);
    }
}

TEST_F(IntegerEval, RandomExpressionsMatchResidues) {
    for (int64_t p : {7LL, 65521LL, 2147483629LL}) {
        use_modulus(static_cast<int32_t>(p));
        ExprGen gen(777u + static_cast<uint32_t>(p), p);
        for (int i = 0; i < 2000; ++i) {
            Expr e = gen.make(4);
            IntRun r = run_integer(e.text);
            ASSERT_EQ(r.error, e.err) << e.text << " mod " << p;
            if (!e.err) {
                ASSERT_EQ(r.value, e.v) << e.text << " mod " << p;
            }
        }
    }
}

TEST_F(IntegerEval, QuotientsAndRemaindersByHand) {
    EXPECT_EQ(run_integer("7|(-2)").value, 1);
    EXPECT_EQ(run_integer("-7|2").value, 1);
    EXPECT_EQ(run_integer("-7\\2").value, -3);
    EXPECT_EQ(run_integer("-7/2").value, -3);
    EXPECT_EQ(run_integer("2+3*4-10\\3").value, 11);
    EXPECT_EQ(run_integer("2^3^2").value, 512);
    EXPECT_EQ(run_integer("-2^2").value, -4);
    EXPECT_EQ(run_integer("|(3-10)|+GCD(12, -18)").value, 13);
    EXPECT_EQ(run_integer("GCD(0, -5)").value, 5);
    EXPECT_EQ(run_integer("5!-(0)!").value, 119);
    EXPECT_EQ(run_integer("(-1)^(-3)").value, -1);
    pos_mod = 0;
    EXPECT_EQ(run_integer("-7|2").value, -1);
    EXPECT_EQ(run_integer("7|(-2)").value, 1);

    use_modulus(7);
    EXPECT_EQ(run_integer("3/2").value, 5);
    EXPECT_EQ(run_integer("3\\2").value, 1);
    EXPECT_EQ(run_integer("2-5").value, 4);
    EXPECT_EQ(run_integer("-3").value, 4);
    EXPECT_EQ(run_integer("3^(-1)").value, 5);
    // An integer read with modular arithmetic off comes back as a residue.
    EXPECT_EQ(run_integer("_(0-3)+0").value, 4);
    EXPECT_EQ(run_integer("2^_(10)").value, 2);   // 1024 = 2 mod 7
}

TEST_F(IntegerEval, CharacteristicTwoFields) {
    for (int q : {256, 65536}) {
        use_modulus(q);
        std::mt19937 rng(99);
        for (int i = 0; i < 300; ++i) {
            const int a = static_cast<int>(rng() % q), b = 1 + static_cast<int>(rng() % (q - 1));
            const std::string sa = std::to_string(a), sb = std::to_string(b);
            EXPECT_EQ(run_integer(sa + "+" + sb).value, a ^ b);
            EXPECT_EQ(run_integer(sa + "-" + sb).value, a ^ b);
            EXPECT_EQ(run_integer("-" + sa).value, a);
            EXPECT_EQ(run_integer("(" + sa + "*" + sb + ")/" + sb).value, a);
            EXPECT_EQ(run_integer(sb + "*(" + sa + "+1)-" + sb + "*" + sa).value, b);   // distributive
        }
        // The multiplicative group has order q - 1.
        EXPECT_EQ(run_integer(std::to_string(q - 1) + "^" + std::to_string(q - 1)).value, 1);
    }
}

long half_random() { return 1073741823; }   // R = floor(16384 * 1073741823 / 2147483647) = 8191
long fixed_clock() { return 100000; }

TEST_F(IntegerEval, RandomNumbersFromFixedSources) {
    set_random_sources(half_random, nullptr, fixed_clock);
    EXPECT_EQ(run_integer("Rand").value, 8191);
    // 8191 * 100000 = 819,100,000; its low 28 bits: 819,100,000 - 3 * 2^28.
    EXPECT_EQ(run_integer("RRand+1").value, 13793633);
    use_modulus(7);
    EXPECT_EQ(run_integer("Rand").value, 1);
    reset_random_sources();
}

// ---- assignments ---------------------------------------------------------

TEST_F(IntegerEval, AssignmentsChangeTheStoredNumberInPlace) {
    set_var("x", 10);
    quoly* before = slot_of("x");
    imag* number_before = before->nnum;
    IntRun r = run_integer("x:=x*3+1");
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.value, 0);
    EXPECT_TRUE(r.at_end);
    EXPECT_EQ(var_value("x"), 31);
    EXPECT_EQ(run_integer("x:+").error, 0);
    EXPECT_EQ(var_value("x"), 32);
    EXPECT_EQ(run_integer("x:+(2*5)").error, 0);
    EXPECT_EQ(var_value("x"), 42);
    EXPECT_EQ(run_integer("x:-50").error, 0);
    EXPECT_EQ(var_value("x"), -8);
    EXPECT_EQ(run_integer("x:*").error, 0);
    EXPECT_EQ(var_value("x"), -8);
    EXPECT_EQ(run_integer("x:*x").error, 0);
    EXPECT_EQ(var_value("x"), 64);
    EXPECT_EQ(slot_of("x"), before);
    EXPECT_EQ(slot_of("x")->nnum, number_before);

    // New variables: created by the assignment, with the increment for ":+"
    // and ":-" and 0 for ":*".
    EXPECT_EQ(run_integer("y:=7").error, 0);
    EXPECT_EQ(var_value("y"), 7);
    EXPECT_EQ(run_integer("u:+").error, 0);
    EXPECT_EQ(var_value("u"), 1);
    EXPECT_EQ(run_integer("w:-3").error, 0);
    EXPECT_EQ(var_value("w"), -3);
    EXPECT_EQ(run_integer("v:*5").error, 0);
    EXPECT_EQ(var_value("v"), 0);
    EXPECT_EQ(run_integer("q+1").error, 19);
    EXPECT_EQ(slot_of("q"), nullptr);
}

TEST_F(IntegerEval, AssignmentsInModularArithmetic) {
    use_modulus(7);
    set_var("x", 5);
    EXPECT_EQ(run_integer("x:+4").error, 0);
    EXPECT_EQ(var_value("x"), 2);
    EXPECT_EQ(run_integer("x:-6").error, 0);
    EXPECT_EQ(var_value("x"), 3);
    EXPECT_EQ(run_integer("x:*5").error, 0);
    EXPECT_EQ(var_value("x"), 1);
    EXPECT_EQ(run_integer("x:=x/3").error, 0);
    EXPECT_EQ(var_value("x"), 5);
    use_modulus(256);
    set_var("g", 83);
    EXPECT_EQ(run_integer("g:+5").error, 0);
    EXPECT_EQ(var_value("g"), 83 ^ 5);
    EXPECT_EQ(run_integer("g:-86").error, 0);
    EXPECT_EQ(var_value("g"), 0);
}

TEST_F(IntegerEval, FastIncrementOfTheExactEvaluatorTakesAnIntegerAmount) {
    set_var("x", 100);
    name* chain = chain_of("x:+(3*4)");
    name* pending = chain;
    scanner(&Input, &token, &pending);
    quoly** ref = nullptr;
    quoly* value = nullptr;
    colm** sa = nullptr;
    int32_t sp = 0;
    expre(&Input, &ref, &value, &sa, &sp, &pending);
    free_quoly(&value);
    give_back_names(chain);
    EXPECT_EQ(var_value("x"), 112);
}

TEST_F(IntegerEval, OutsideModularSwitchRunsAnIntegerStatement) {
    use_modulus(7);
    set_var("x", 5);
    name* chain = chain_of("&_m(x:=x*10+3)");
    name* pending = chain;
    quoly* value = nullptr;
    int code = 0;
    testing::internal::CaptureStdout();
    try {
        scanner(&Input, &token, &pending);
        parse(&Input, &value, &pending);
    } catch (const TarvexUnwind& e) {
        code = e.code;
    }
    testing::internal::GetCapturedStdout();
    free_quoly(&value);
    give_back_names(chain);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(modularmode, 1);
    EXPECT_EQ(var_value("x"), 53);   // integers, not residues modulo 7
}

TEST_F(IntegerEval, AtANestedLevelDivisionByZeroKeepsTheDividend) {
    set_var("x", 6);
    quoly* before = slot_of("x");
    const int saved_level = levelcount;
    levelcount = 2;
    IntRun r = run_integer("7\\0+1");
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.value, 8);
    EXPECT_EQ(run_integer("x:+(1|0)").error, 0);
    levelcount = saved_level;
    EXPECT_EQ(var_value("x"), 7);
    // The interrupted computation may still hold the old record: the
    // variable changed in a copy.
    EXPECT_NE(slot_of("x"), before);
    bury_retired();
}

// ---- refusals --------------------------------------------------------------

TEST_F(IntegerEval, ResultsBeyondOneDigitAreRefusedAndNothingStoredChanges) {
    for (int words = 0; words < 2; ++words) {
        lintmode = words;
        EXPECT_EQ(run_integer("16384*16384").error, 32);
        EXPECT_EQ(run_integer("16384*16383+16383").value, kDigitMax);
        EXPECT_EQ(run_integer("268435455+1").error, 32);
        EXPECT_EQ(run_integer("-268435455-1").error, 32);
        EXPECT_EQ(run_integer("268435456").error, 32);
        EXPECT_EQ(run_integer("2147483648").error, 32);
        EXPECT_EQ(run_integer("2^28").error, 32);
        EXPECT_EQ(run_integer("12!").error, 32);
        EXPECT_EQ(run_integer("11!").value, 39916800);
        set_var("x", int64_t{1} << 27);
        EXPECT_EQ(run_integer("x:*2").error, 32);
        EXPECT_EQ(var_value("x"), int64_t{1} << 27);
        EXPECT_EQ(run_integer("x:+x").error, 32);
        EXPECT_EQ(var_value("x"), int64_t{1} << 27);
        EXPECT_EQ(run_integer("x:=x+x").error, 32);
        EXPECT_EQ(var_value("x"), int64_t{1} << 27);
    }
}

TEST_F(IntegerEval, StoredNumbersOfSeveralDigitsAreRefusedOrReplaced) {
    const mpz_class big = mpz_class(1) << 40;
    set_var("b", big);
    EXPECT_EQ(run_integer("b+1").error, 32);
    EXPECT_EQ(run_integer("b:+1").error, 32);
    EXPECT_EQ(var_value("b"), big);
    // Written, not read: the long number becomes the one digit.
    EXPECT_EQ(run_integer("b:=-5").error, 0);
    EXPECT_EQ(var_value("b"), -5);
    EXPECT_EQ(slot_of("b")->nnum->count, 1);
    set_var("b", -big);
    EXPECT_EQ(run_integer("b:=268435455").error, 0);
    EXPECT_EQ(var_value("b"), kDigitMax);

    // Machine-integer mode: a word beyond one digit is refused too.
    lintmode = 1;
    set_var("m", 1 << 30);
    EXPECT_EQ(run_integer("m\\2").error, 32);
    EXPECT_EQ(var_value("m"), 1 << 30);
}

TEST_F(IntegerEval, NumberedErrors) {
    set_var("x", 4);
    EXPECT_EQ(run_integer("1+y:=3").error, 129);
    EXPECT_EQ(run_integer("y:=(y:=3)").error, 129);
    EXPECT_EQ(run_integer("-y:=3").error, 68);
    EXPECT_EQ(run_integer("2*y:=3").error, 68);
    EXPECT_EQ(run_integer("6*/2").error, 340);
    EXPECT_EQ(run_integer("x:/2").error, 317);
    EXPECT_EQ(run_integer("x:x").error, 317);
    EXPECT_EQ(run_integer("3:=4").error, 316);
    EXPECT_EQ(run_integer("x\\0").error, 22);
    EXPECT_EQ(run_integer("x|(1-1)").error, 22);
    EXPECT_EQ(run_integer("3*)").error, 226);
    EXPECT_EQ(run_integer("(3+4").error, 1);
    EXPECT_EQ(run_integer("|3").error, 63);
    EXPECT_EQ(run_integer("GCD 3").error, 177);
    EXPECT_EQ(run_integer("2^(-1)").error, 226);
    EXPECT_EQ(slot_of("y"), nullptr);
    EXPECT_EQ(var_value("x"), 4);
    use_modulus(7);
    EXPECT_EQ(run_integer("3/(7-7)").error, 22);
}

}  // namespace
