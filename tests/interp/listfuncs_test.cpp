// The function listing command: every function in full or by its header,
// sorted by name with the definitions of one name newest first; one
// function by name; the temporary body; the errors; bucket order beyond
// the sort table; the &f and &F switches. Expected texts are worked out by
// hand, bucket numbers by a hash written here.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../toplevel/code_build.h"
#include "interp/dispatcher.h"
#include "interp/scanner.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "stream_text.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/stream_capture.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"

namespace {

class FuncListing : public ::testing::Test {
protected:
    CodeBuilder b;
    form* saved_sys = sys_func;
    FILE* saved_output = Output;
    int saved_ugly = uglyprint;
    char saved_cont = continuation;
    std::unique_ptr<TextStream> in_;

    void SetUp() override {
        load_data_once();
        init_scanner_structures();
        uglyprint = 0;
        continuation = '`';
        sys_func = nullptr;
        Output = stdout;
        leftover = 0;
    }
    void TearDown() override {
        sys_func = saved_sys;
        Output = saved_output;
        uglyprint = saved_ugly;
        continuation = saved_cont;
        leftover = 0;
        init_scanner_structures();
    }

    // Alpha twice (the later one with a parameter), B and Beta.
    void four_functions() {
        b.install(b.function("Beta", "^m,n", b.plain("m := n")));
        b.install(b.function("Alpha", "", b.plain("1")));
        b.install(b.function("B", "", b.plain("0")));
        b.install(b.function("Alpha", "x", b.plain("x")));
    }

    // listfuncs with `first` as the token after the switch letter and the
    // rest of the statement in `rest`.
    std::string run(const char* first, const std::string& rest, int mode = 1, name* pending = nullptr) {
        in_ = std::make_unique<TextStream>(rest);
        leftover = 0;
        set_token(&token, first);
        return to_stream([&](FILE** s) { listfuncs(*s, &in_->f, mode, &token, &pending); });
    }
    // The token the stream gives next.
    std::string next_token() {
        name* none = nullptr;
        scanner(&in_->f, &token, &none);
        return token.name;
    }
};

const std::string ALPHA_X = "\n Function Alpha(x) =  `\n    x.";
const std::string ALPHA = "\n Function Alpha =  `\n    1.";
const std::string B_ = "\n Function B =  `\n    0.";
const std::string BETA = "\n Function Beta(^m,n) =  `\n    m := n.";

TEST_F(FuncListing, EveryFunctionSortedByName) {
    four_functions();
    EXPECT_EQ(run("*", ";"), ALPHA_X + ALPHA + B_ + BETA);
    EXPECT_TRUE(token_is(&token, "@"));
    EXPECT_EQ(token.hash, UNHASHED);
    // The statement's end is left for the statement loop.
    EXPECT_EQ(next_token(), ";");

    // As a save writes them: readable, each definition ended, and the
    // records of one name oldest first, so that reading them back leaves
    // the same one newest.
    EXPECT_EQ(run("*", "", 0),
              "\n Function Alpha =  \n    1.;\n"
              "\n Function Alpha(x) =  \n    x.;\n"
              "\n Function B =  \n    0.;\n"
              "\n Function Beta(^m,n) =  \n    m := n.;\n");
}

TEST_F(FuncListing, HeaderLines) {
    four_functions();
    const std::string headers = "\nAlpha(x)\n\nAlpha\n\nB\n\nBeta(^m,n)\n";
    EXPECT_EQ(run(";", ""), headers);
    EXPECT_TRUE(token_is(&token, "@"));
    EXPECT_EQ(run("\xC2\xA5", ""), headers);
    // Nothing defined: nothing listed.
    std::memset(func_store, 0, sizeof func_store);
    EXPECT_EQ(run(";", ""), "");
    EXPECT_EQ(run("*", ""), "");
}

TEST_F(FuncListing, ManyDefinitionsOfOneNameStayTogether) {
    // Seventeen definitions of A, and names that begin like it: however
    // many records a name has, none of another name sorts in among them.
    for (int k = 1; k <= 17; k++) b.install(b.function("A", "", b.plain(std::to_string(k))));
    b.install(b.function("A0", "", b.plain("0")));
    b.install(b.function("A1", "", b.plain("0")));
    b.install(b.function("AZ", "", b.plain("0")));
    std::string want;
    for (int k = 17; k >= 1; k--) want += "\nA\n";
    want += "\nA0\n\nA1\n\nAZ\n";
    EXPECT_EQ(run(";", ""), want);
    // Newest first: the bodies count down.
    std::string full = run("*", "");
    size_t at = 0;
    for (int k = 17; k >= 1; k--) {
        const std::string one = "\n Function A =  `\n    " + std::to_string(k) + ".";
        ASSERT_EQ(full.compare(at, one.size(), one), 0) << k << ": " << full.substr(at, 60);
        at += one.size();
    }
}

TEST_F(FuncListing, OneFunctionByName) {
    four_functions();
    EXPECT_EQ(run("<", "Beta rest"), BETA);
    EXPECT_TRUE(token_is(&token, "@"));
    EXPECT_EQ(next_token(), "rest");
    // The newest of a name.
    EXPECT_EQ(run(",", "Alpha;"), ALPHA_X);
    EXPECT_EQ(run("<", "Gamma;"), "Gamma has not been defined.\n");
    EXPECT_TRUE(token_is(&token, "@"));
    EXPECT_EQ(run("<", "alpha;"), "alpha has not been defined.\n");
}

TEST_F(FuncListing, TheTemporaryBody) {
    // The scanner cannot form the three-byte token from typed text: it
    // comes from stored tokens.
    name euro{}, header{};
    std::strcpy(euro.token, "\xE2\x82\xAC");
    euro.hash = UNHASHED;
    header.next = &euro;
    // None yet.
    int code = unwind_code([&] { run("<", "", 1, &header); });
    EXPECT_EQ(code, 222);

    sys_func = b.while_("i < 3", b.plain("i := i + 1"));
    EXPECT_EQ(run("<", "", 1, &header), "\nwhile i < 3 do `\n      i := i + 1 `\n   od\n");
    // The token is left for the statement's end to follow.
    EXPECT_TRUE(token_is(&token, "\xE2\x82\xAC"));
}

TEST_F(FuncListing, NotAFunctionName) {
    four_functions();
    EXPECT_EQ(run("x", "y z; 7"), "x is not a legal function name.\n");
    EXPECT_TRUE(token_is(&token, "@"));
    EXPECT_EQ(next_token(), "7");
    // Nothing to skip when the statement ends at once.
    EXPECT_EQ(run("Beta", "; 8"), "Beta is not a legal function name.\n");
    EXPECT_EQ(next_token(), "8");
}

// The bucket of a function name, computed independently.
int bucket_of(const std::string& s) {
    int h = 0;
    for (unsigned char c : s) h = (h * 123 + c) % 71;
    return h;
}

TEST_F(FuncListing, BeyondTheSortTableInBucketOrder) {
    std::memset(func_store, 0, sizeof func_store);
    std::vector<std::vector<std::string>> buckets(71);
    for (int k = 0; k <= 1000; k++) {
        const std::string n = "F" + std::to_string(k);
        b.install(b.function(n.c_str(), "", b.plain("0")));
        buckets[static_cast<size_t>(bucket_of(n))].insert(buckets[static_cast<size_t>(bucket_of(n))].begin(), n);
    }
    std::string headers, saved;
    for (const auto& chain : buckets) {
        for (const std::string& n : chain) headers += "\n" + n + "\n";
        for (auto n = chain.rbegin(); n != chain.rend(); ++n) saved += "\n Function " + *n + " =  \n    0.;\n";
    }
    EXPECT_EQ(run(";", ""), headers);
    // A save still ends every definition, so that it reads back, each
    // chain oldest first, so that reading it back rebuilds the chain.
    EXPECT_EQ(run("*", "", 0), saved);
}

TEST_F(FuncListing, TheSwitches) {
    four_functions();
    for (const char* letter : {"f", "F"}) {
        TextStream in(std::string(letter) + " *;");
        quoly* value = nullptr;
        set_token(&token, "&");
        ::testing::internal::CaptureStdout();
        switches(&in.f, &value, &zilch);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), ALPHA_X + ALPHA + B_ + BETA) << letter;
        EXPECT_TRUE(token_is(&token, "@"));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(quoly_convert_to_int(value), 0);
        free_quoly(&value);
        leftover = 0;
    }
    TextStream in("f <Alpha;");
    quoly* value = nullptr;
    set_token(&token, "&");
    ::testing::internal::CaptureStdout();
    switches(&in.f, &value, &zilch);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), ALPHA_X);
    EXPECT_TRUE(token_is(&token, "@"));
    free_quoly(&value);
}

}  // namespace
