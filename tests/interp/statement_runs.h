// Statements run as the statement loop runs them, for the tests of the
// evaluator, of user functions and of Compile: a fixture that starts the
// system once and gives every test a clean scalar table and ground ring,
// and readers of what a run of statements left.
#pragma once
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>

#include "interp/dispatcher.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "stream_text.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace statement_runs {

// A value as an exact rational, with the shape of its record checked.
inline mpq_class value_of(const quoly* q) {
    EXPECT_NE(q, nullptr);
    if (!q) return mpq_class(-999999);
    if (q->isnum) {
        if (lintmode) return mpq_class(q->nnum->value);
        EXPECT_TRUE(check_number(q->nnum));
        return mpq_class(to_mpz(q->nnum));
    }
    EXPECT_EQ(q->rat, 1);
    mpz_class n = to_mpz(q->pnum->ncoef), d = to_mpz(q->den->ncoef);
    EXPECT_GE(d, 2);
    EXPECT_EQ(gcd(n, d), 1);
    return mpq_class(n, d);
}

// How a run of statements ended.
struct Outcome {
    mpq_class last;          // value of the last statement
    std::string terminator;  // its terminator
    int error = 0;           // the numbered error that unwound, or 0
    bool quit = false;       // the quit switch
    std::string printed;
};

// The fixture: `typed` is the line mode of the statements (1 as typed at
// the terminal, where a line end ends a statement of a definition).
class StatementRuns : public ::testing::Test {
protected:
    RingStateGuard ring_;
    void start(int typed) {
        static std::once_flag once;
        std::call_once(once, [] { initialize(TARVEX_TEST_DATA_DIR); });
        init_scanner_structures();
        tt_flag = typed;
        clear_sca_store();
        free_quoly(&prevnum);
        modularmode = lintmode = 0;
        warn_cnt = 0;
    }
    void finish() {
        free_quoly(&prevnum);
        clear_sca_store();
        init_scanner_structures();
    }

    // Runs every statement of text as the statement loop does: first token,
    // dispatch, terminator check, previous result.
    static Outcome run(const std::string& text) {
        Outcome out;
        TextStream s(text);
        leftover = 0;
        testing::internal::CaptureStdout();
        // The statement's value, given back when an error unwinds (as the
        // loop gives back its own).
        quoly* value = nullptr;
        try {
            for (;;) {
                scanner(&s.f, &token, &zilch);
                parse(&s.f, &value, &zilch);
                if (!value) quoly_set(0, &value);
                out.terminator = token.name;
                const char* t = token.name;
                if (std::strcmp(t, ";") && std::strcmp(t, ":") && std::strcmp(t, "@")) {
                    free_quoly(&value);
                    out.error = 129;
                    break;
                }
                // A polynomial's value is not a number to compare.
                if (value->isnum || value->rat) out.last = value_of(value);
                free_quoly(&prevnum);
                prevnum = value;
                value = nullptr;
                // The statement loop drops the line end the scanner left unread.
                if (tt_flag && leftover == 0) getc(s.f);
                if (leftover == 0) {
                    int c = getc(s.f);
                    if (c == EOF) break;
                    ungetc(c, s.f);
                }
            }
        } catch (const TarvexUnwind& e) {
            out.error = e.code;
            free_quoly(&value);
        } catch (const QuitRequest&) {
            out.quit = true;
        }
        out.printed = testing::internal::GetCapturedStdout();
        return out;
    }

    static mpq_class val(const std::string& text) {
        Outcome o = run(text);
        EXPECT_EQ(o.error, 0) << text << " printed " << o.printed;
        return o.last;
    }
    static int err(const std::string& text) { return run(text).error; }

    static mpq_class lookup(const char* s) {
        tokenrec t;
        set_token(&t, s);
        var* v = find_var(&t);
        EXPECT_NE(v, nullptr) << s;
        return v ? value_of(v->value) : mpq_class(-999999);
    }

    static void use_prime(int32_t p) {
        install_modulus(p);
        modularmode = lintmode = 1;
        mod_is_prime = 1;
    }
};

}  // namespace statement_runs
