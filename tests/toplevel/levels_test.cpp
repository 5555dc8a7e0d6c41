// Nested command levels opened inside error(), driven by statements from a
// text stream: the time spent at a level left out of the interrupted
// statement's time (with the clock hook), a level opened at a delicate
// time working in the user's arithmetic, a panic stop there putting a
// converted value back node for node, the call history an error prints,
// and the two branches of mem_error. Expected texts and values are worked
// by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "../interp/stream_text.h"
#include "gcd/gcdstash.h"
#include "gcd/modswitch.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/call_history.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/platform.h"

namespace {

// The level reads its statements from `text`; the top level's state comes
// back afterwards whatever happened.
class Level : public ::testing::Test {
protected:
    FILE* saved_input_ = Input;
    FILE* saved_output_ = Output;
    int saved_push_ = errorpush;
    int saved_cmd_ = command_int;
    std::unique_ptr<TextStream> in_;

    void SetUp() override {
        Output = stdout;
        command_int = 1;
        leftover = 0;
        finish = nullptr;
        init_scanner_structures();
        // As at the prompt: the level drops no line of the stream.
        at_statement_start = true;
    }
    void TearDown() override {
        Input = saved_input_;
        Output = saved_output_;
        errorpush = saved_push_;
        command_int = saved_cmd_;
        levelcount = 1;
        time_level = 1;
        time_off[1] = {0, 0};
        set_clocks(nullptr, nullptr);
        reset_call_history();
    }
    void feed(const std::string& text) {
        in_ = std::make_unique<TextStream>(text);
        Input = in_->f;
        leftover = 0;
    }
    // What error(code) prints while the level runs; the code an unwinding
    // ended with, or 9999 when error returned.
    std::pair<std::string, int> open(int code) {
        int unwound = 9999;
        ::testing::internal::CaptureStdout();
        try {
            error(code, " ");
        } catch (const TarvexUnwind& e) {
            unwound = e.code;
        }
        return {::testing::internal::GetCapturedStdout(), unwound};
    }
};

int64_t fake_now = 0;
int64_t fake_wall() { return fake_now; }
// Ten seconds pass with every reading of the processor clock at a nested
// level.
int64_t fake_cpu() {
    const int64_t t = fake_now * 1000000;
    if (levelcount > 1) fake_now += 10;
    return t;
}

TEST_F(Level, TimeAtALevelIsLeftOutOfTheInterruptedStatement) {
    set_clocks(fake_wall, fake_cpu);
    fake_now = 0;
    mytime[1] = now_pair();
    fake_now = 3;   // the statement has run for 3 s when the level opens
    feed("1 + 1;\n&_p;\n");
    auto [out, unwound] = open(-1);
    EXPECT_EQ(unwound, 9999) << out;
    EXPECT_GT(fake_now, 30) << "the level read the clock too seldom for the test to mean anything";
    const time_pair t = statement_time(mytime[1], 1);
    EXPECT_EQ(t.wall, 3);
    EXPECT_EQ(t.cpu, 3000000);
    EXPECT_NE(out.find("*** Resuming earlier command level"), std::string::npos) << out;
}

TEST_F(Level, ADelicateTimeLevelWorksInTheUsersArithmetic) {
    RingStateGuard ring;
    install_modulus(7);
    modularmode = lintmode = 1;
    feed("5 * 3;\n&_p;\n");
    auto [out, unwound] = open(-1);
    EXPECT_EQ(unwound, 9999) << out;
    EXPECT_NE(out.find("*** You have interrupted at a delicate time. Tarvex had switched\n"), std::string::npos)
        << out;
    // 15, not its residue 1 modulo 7.
    EXPECT_NE(out.find("15"), std::string::npos) << out;
    EXPECT_EQ(modularmode, 1);
    EXPECT_EQ(lintmode, 1);
    EXPECT_EQ(modulus, 7);
    EXPECT_EQ(was_modulus, -1);
}

TEST_F(Level, APanicStopAtADelicateTimePutsConvertedValuesBack) {
    AttachedVars vars(2);
    const TermList terms = {{mpz_class("123456789012345678901234567890"), {3, 1}}, {-17, {0, 2}}, {5, {0, 0}}};
    HeldPoly p(build_poly(2, terms));
    const auto nodes = snapshot_nodes(p.p);
    const int saved_danger = danger_ok;
    danger_ok = 1;
    feed("2 + 2;\n&@;\n");
    std::pair<std::string, int> result;
    {
        ModularSwitch sw;
        sw.set_prime(65521);
        sw.convert(&p.p);
        sw.begin_arithmetic();
        // &Z lets an interrupt in; without it the switch holds them.
        EXPECT_EQ(command_int, 1);
        try {
            result = open(-1);
        } catch (...) {
            ADD_FAILURE() << "the panic stop escaped";
        }
    }
    danger_ok = saved_danger;
    EXPECT_EQ(result.second, 0) << result.first;
    EXPECT_NE(result.first.find("*** Panic stop.\n"), std::string::npos) << result.first;
    EXPECT_EQ(result.first.find("Beware"), std::string::npos) << result.first;
    EXPECT_TRUE(snapshot_nodes(p.p) == nodes);
    EXPECT_EQ(read_poly(p.p, 2), canonical_terms(2, terms));
    EXPECT_EQ(modularmode, 0);
    EXPECT_EQ(lintmode, 0);
}

TEST_F(Level, AModularSwitchHoldsInterruptsUnlessAllowed) {
    const int saved_danger = danger_ok;
    danger_ok = 0;
    {
        ModularSwitch sw;
        EXPECT_EQ(command_int, 0);
    }
    EXPECT_EQ(command_int, 1);
    danger_ok = saved_danger;
}

TEST_F(Level, AnInterruptInsideAModularSwitchWaitsForItsEnd) {
    const int saved_danger = danger_ok;
    danger_ok = 0;
    feed("&_p;\n");
    std::string out;
    ::testing::internal::CaptureStdout();
    {
        ModularSwitch sw;
        sw.set_prime(65521);
        sw.begin_arithmetic();
        interrupt_pending = 1;
        poll_interrupt();
        EXPECT_EQ(levelcount, 1);
        EXPECT_EQ(interrupt_pending, 1) << "held, not dropped";
    }
    // The first safe point after the switch serves it, in the user's ring.
    poll_interrupt();
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(interrupt_pending, 0);
    EXPECT_NE(out.find("*** New command level.\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("delicate"), std::string::npos) << out;
    EXPECT_NE(out.find("*** Resuming earlier command level"), std::string::npos) << out;
    // After &(m = 0) an interrupt is dropped at once.
    const int saved_m = m_interrupt;
    m_interrupt = 0;
    interrupt_pending = 1;
    poll_interrupt();
    EXPECT_EQ(interrupt_pending, 0);
    EXPECT_EQ(levelcount, 1);
    m_interrupt = saved_m;
    danger_ok = saved_danger;
}

TEST_F(Level, PushingOpensALevelOnlyInsideFunctionsOrLevels) {
    errorpush = 1;
    feed("&_p;\n");
    // At the top level with no function running an error unwinds.
    auto [top, unwound_top] = open(5);
    EXPECT_EQ(unwound_top, 5);
    EXPECT_EQ(levelcount, 1);
    // Inside a function it opens a level and returns when that is left.
    note_call("Fn", nullptr);
    feed("&_p;\n");
    auto [inside, unwound_inside] = open(5);
    EXPECT_EQ(unwound_inside, 9999) << inside;
    EXPECT_NE(inside.find("*** The most recent function evaluations were:\n Fn 2>"), std::string::npos) << inside;
    EXPECT_EQ(statcount, 1) << "a level that returns keeps the calls bound";
}

TEST_F(Level, TheEndOfInputAtALevelUnwindsEveryLevel) {
    feed("");
    auto [out, unwound] = open(-1);
    EXPECT_EQ(unwound, -1) << out;
    EXPECT_EQ(levelcount, 1);
    EXPECT_EQ(time_level, 1);
}

// ---- the call history

std::string history(bool unwind) {
    ::testing::internal::CaptureStdout();
    print_call_history(unwind);
    return ::testing::internal::GetCapturedStdout();
}

int unbound = 0;
void count_unbinding(call_record*) { unbound++; }

TEST(CallHistory, RunsOfOneNameShowTenAndCountTheRest) {
    reset_call_history();
    note_call("Main", nullptr);
    for (int i = 0; i < 25; i++) note_call("Fib", nullptr);
    std::string want = "*** The most recent function evaluations were:\n ";
    for (int i = 0; i < 10; i++) want += "Fib ";
    want += " ... 15 more with this name. \nMain ";
    EXPECT_EQ(history(false), want);
    EXPECT_EQ(statcount, 26);
    reset_call_history();
    EXPECT_EQ(history(false), " ");
}

TEST(CallHistory, BreaksAfterEveryTwentiethNameAndKeepsFiveHundred) {
    reset_call_history();
    // Alternating names never make a run, so every name is printed.
    for (int i = 0; i < 620; i++) note_call(i % 2 ? "Odd" : "Even", nullptr);
    const std::string out = history(false);
    size_t names = 0, breaks = 0;
    for (const char* name : {"Odd ", "Even "})
        for (size_t at = 0; (at = out.find(name, at)) != std::string::npos; at++) names++;
    for (size_t at = 0; (at = out.find("\n ", at)) != std::string::npos; at++) breaks++;
    EXPECT_EQ(names, 500u);
    // The heading's line end, then one after every twentieth name.
    EXPECT_EQ(breaks, 1u + 500u / 20u);
    // Newest first: call 620 was "Odd".
    EXPECT_EQ(out.substr(out.find(":\n ") + 3, 4), "Odd ");
}

TEST(CallHistory, UnwindingUnbindsEachCallAndMovesBack) {
    reset_call_history();
    unbind_call = count_unbinding;
    unbound = 0;
    note_call("Outer", nullptr);
    call_record* outer = lastf;
    note_call("Inner", nullptr);
    note_call("Inner", nullptr);
    end_call();
    EXPECT_EQ(statcount, 2);
    history(true);
    EXPECT_EQ(unbound, 2);
    EXPECT_EQ(statcount, 0);
    EXPECT_EQ(lastf, outer->last);
    unbind_call = nullptr;
    reset_call_history();
}

// ---- residues and memory

TEST(CheckAndModNumb, ReducesIntoTheResiduesAndRefusesZero) {
    RingStateGuard ring;
    install_modulus(7);
    EXPECT_EQ(check_and_mod_numb(10), 3);
    EXPECT_EQ(check_and_mod_numb(-3), 4);
    EXPECT_EQ(check_and_mod_numb(int64_t{1} << 40), static_cast<int32_t>((int64_t{1} << 40) % 7));
    EXPECT_TARVEX_ERROR(check_and_mod_numb(-14), 359);
}

TEST_F(Level, MemErrorFreesTheStashOrOpensALevel) {
    const int16_t saved_lookup = lookupgcd;
    lookupgcd = 1;
    polygcd_stack_depth = 0;
    ::testing::internal::CaptureStdout();
    mem_error();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "\n*** Warning.  You are low on heap space.  Will try freeing the gcd stash.\n");
    EXPECT_EQ(gcdmass, 0);
    // A gcd that will store its result keeps the stash: a level opens.
    lookupgcd = 1;
    polygcd_stack_depth = 1;
    feed("&_p;\n");
    ::testing::internal::CaptureStdout();
    mem_error();
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\n*** Warning.  You are out of heap space.  Abort this computation.\n", 0), 0u) << out;
    EXPECT_NE(out.find("*** New command level.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("*** Resuming earlier command level"), std::string::npos) << out;
    polygcd_stack_depth = 0;
    lookupgcd = saved_lookup;
}

}  // namespace
