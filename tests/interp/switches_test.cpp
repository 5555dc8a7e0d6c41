// Switch statements replayed from stored tokens, as a function body runs
// them: the settings change as typed ones do, but only the messages that
// are printed "always" (or under verbose display) appear.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "gcd/gcdstash.h"
#include "interp/dispatcher.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "stream_text.h"
#include "toplevel/datafiles.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

struct Replay {
    std::string printed;
    int32_t value = -999;   // the statement's value
    std::string end;        // the token the switch left
    int error = 0;          // the numbered error that unwound, or 0
};

class BodySwitch : public ::testing::Test {
protected:
    RingStateGuard ring_;
    int saved_verbose = verbose, saved_alt = alt_form_display, saved_monomial = monomial_list;
    int32_t saved_addresser = addresser;
    int16_t saved_aux2 = aux_num_2factor, saved_lookup = lookupgcd;
    int saved_m = m_interrupt, saved_cmd = command_int;

    void SetUp() override {
        static std::once_flag once;
        std::call_once(once, [] { initialize(TARVEX_TEST_DATA_DIR); });
        init_scanner_structures();
        modularmode = lintmode = 0;
        leave_flag = cycle_flag = exit_flag = 0;
    }
    void TearDown() override {
        verbose = saved_verbose;
        alt_form_display = saved_alt;
        monomial_list = saved_monomial;
        addresser = saved_addresser;
        aux_num_2factor = saved_aux2;
        lookupgcd = saved_lookup;
        m_interrupt = saved_m;
        command_int = saved_cmd;
        leave_flag = cycle_flag = exit_flag = 0;
        init_scanner_structures();
    }

    // Runs "&" and the blank-separated tokens of text from a pending list.
    static Replay body(const std::string& text) {
        std::vector<std::string> words;
        std::istringstream in(text);
        for (std::string w; in >> w;) {
            // The scanner stores every digit of a constant as its own token.
            if (w[0] >= '0' && w[0] <= '9')
                for (char c : w) words.emplace_back(1, c);
            else
                words.push_back(w);
        }
        words.push_back(";");
        name* header;
        newname(&header);
        header->next = nullptr;
        name* last = header;
        for (const std::string& w : words) {
            name* r;
            newname(&r);
            std::memset(r->token, 0, sizeof r->token);
            std::strncpy(r->token, w.c_str(), sizeof r->token - 1);
            r->hash = UNHASHED;
            r->next = nullptr;
            last->next = r;
            last = r;
        }
        name* word = header;
        TextStream unused("");
        quoly* value = nullptr;
        set_token(&token, "&");
        Replay out;
        testing::internal::CaptureStdout();
        try {
            switches(&unused.f, &value, &word);
        } catch (const TarvexUnwind& e) {
            out.error = e.code;
        }
        out.printed = testing::internal::GetCapturedStdout();
        if (value) out.value = quoly_convert_to_int(value);
        out.end = token.name;
        free_quoly(&value);
        give_back_names(header);
        return out;
    }
};

TEST_F(BodySwitch, TogglesPrintByTheirClass) {
    monomial_list = 0;
    Replay r = body("2");
    EXPECT_EQ(monomial_list, 1);
    EXPECT_EQ(r.printed, "");   // printed only outside a body
    EXPECT_EQ(r.end, ";");

    verbose = 0;
    r = body("V");
    EXPECT_EQ(verbose, 1);
    EXPECT_EQ(r.printed, " Will display informative comments.\n");
}

TEST_F(BodySwitch, DirectMessagesAreQuietButTheSettingChanges) {
    alt_form_display = 1;
    Replay r = body("( H = 0 )");
    EXPECT_EQ(alt_form_display, 0);
    EXPECT_EQ(r.printed, "");
    EXPECT_EQ(r.value, 0);

    // Verbose-or-direct: silent without verbose display, reported with it.
    verbose = 0;
    r = body("( A = 50 )");
    EXPECT_EQ(aux_num_2factor, 50);
    EXPECT_EQ(r.printed, "");
    verbose = 1;
    r = body("( A = 60 )");
    EXPECT_EQ(aux_num_2factor, 60);
    EXPECT_EQ(r.printed, " second auxiliary prime search factor now 60.\n");

    m_interrupt = 1;
    verbose = 0;
    r = body("( m = 2 )");
    EXPECT_EQ(m_interrupt, 2);
    EXPECT_EQ(command_int, 1);
    EXPECT_EQ(r.printed, "");
}

TEST_F(BodySwitch, ControlFlagsAreRaisedOnlyInsideABody) {
    Replay r = body(">");
    EXPECT_EQ(leave_flag, 1);
    EXPECT_EQ(r.printed, "");
    r = body("]");
    EXPECT_EQ(cycle_flag, 1);
    r = body("}");
    EXPECT_EQ(exit_flag, 1);
    EXPECT_EQ(r.printed, "");
}

TEST_F(BodySwitch, CounterAndIndexOriginLeaveTheirValueSilently) {
    lookupgcd = 0;
    Replay r = body("C +");
    EXPECT_EQ(lookupgcd, 1);
    EXPECT_EQ(r.value, 1);
    EXPECT_EQ(r.printed, "");
    r = body("C -");
    EXPECT_EQ(lookupgcd, 0);
    EXPECT_EQ(r.value, 0);

    addresser = 1;
    r = body("a");
    EXPECT_EQ(addresser, 0);
    EXPECT_EQ(r.value, 0);
    EXPECT_EQ(r.printed, "");
}

}  // namespace
