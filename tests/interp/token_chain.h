// Stored token chains for tests of the code that replays them: a text is
// scanned as typed and its tokens copied into `name` records ending with the
// end token, as the statement compiler stores a condition, a for header or
// a plain statement. The fixture resets the scalars and the polynomial
// variables and runs typed statements to prepare them.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "interp/dispatcher.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "stream_text.h"
#include "support/ring_setup.h"
#include "support/data_once.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

constexpr char kEndToken[] = "\xC2\xA5";

// The tokens of text (up to its first ";" or its end) as a stored chain.
// for_header: the words to and by are stored as " to" and " by", as the
// capture of a for header stores them.
struct TokenChain {
    name* head = nullptr;
    name* pending = nullptr;   // the pending-list word while the chain is replayed

    explicit TokenChain(const std::string& text, bool for_header = false) {
        TextStream s(text + ";");
        leftover = 0;
        name* tail = nullptr;
        for (;;) {
            tokenrec t;
            scanner(&s.f, &t, &zilch);
            const bool last = token_is(&t, ";");
            if (last) set_token(&t, kEndToken);
            if (for_header && token_is(&t, "to")) set_token(&t, " to");
            if (for_header && token_is(&t, "by")) set_token(&t, " by");
            name* r = nullptr;
            newname(&r);
            std::memcpy(r->token, t.name, TOKEN_TEXT);
            r->hash = UNHASHED;
            r->next = nullptr;
            if (tail)
                tail->next = r;
            else
                head = r;
            tail = r;
            if (last) break;
        }
        leftover = 0;
    }
    ~TokenChain() { give_back_names(head); }
    TokenChain(const TokenChain&) = delete;
    TokenChain& operator=(const TokenChain&) = delete;

    // Makes the chain current: its first token in `token`, the pending word
    // at its record. Returns the address of the pending word.
    name** start() {
        std::memcpy(token.name, head->token, TOKEN_TEXT);
        token.hash = head->hash;
        pending = head;
        return &pending;
    }
};

class StoredCode : public ::testing::Test {
protected:
    RingStateGuard ring_;
    FILE* saved_input_ = Input;
    FILE* nowhere_ = nullptr;   // the stream argument of replayed code

    void SetUp() override {
        load_data_once();
        init_scanner_structures();
        tt_flag = 0;
        modularmode = lintmode = integerflag = 0;
        clear_sca_store();
        drop_vars();
        nowhere_ = Input;
    }
    void TearDown() override {
        free_quoly(&prevnum);
        clear_sca_store();
        drop_vars();
        modularmode = lintmode = integerflag = 0;
        Input = saved_input_;
        init_scanner_structures();
    }
    static void drop_vars() { drop_all_poly_vars(); }

    // Runs typed statements as the statement loop does; the numbered error
    // that stopped them, or 0. *last (when given) receives the last value.
    int run(const std::string& text, quoly** last = nullptr, std::string* printed = nullptr) {
        TextStream s(text);
        leftover = 0;
        int code = 0;
        testing::internal::CaptureStdout();
        try {
            for (;;) {
                scanner(&s.f, &token, &zilch);
                quoly* value = nullptr;
                parse(&s.f, &value, &zilch);
                if (!value) quoly_set(0, &value);
                if (last) {
                    free_quoly(last);
                    *last = value;
                } else {
                    free_quoly(&value);
                }
                if (leftover == 0) getc(s.f);
                int c = getc(s.f);
                if (c == EOF) break;
                ungetc(c, s.f);
            }
        } catch (const TarvexUnwind& e) {
            code = e.code;
        }
        std::string out = testing::internal::GetCapturedStdout();
        if (printed) *printed = out;
        return code;
    }

    // The scalar's value as a machine integer (it must be a one-digit
    // number, or a machine word in machine-integer mode).
    static int32_t scalar(const char* n) {
        tokenrec id;
        set_token(&id, n);
        var* v = find_var(&id);
        EXPECT_NE(v, nullptr) << n;
        if (!v || !v->value) return -999999;
        EXPECT_TRUE(v->value->isnum) << n;
        if (lintmode) return v->value->nnum->value;
        EXPECT_EQ(v->value->nnum->count, 1) << n;
        return v->value->nnum->head->digit;
    }
};
