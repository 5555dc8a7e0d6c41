// Statements that must stop with one of the system's numbered errors.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "toplevel/errors.h"

// Expects the statement to raise the numbered error `want`; what it printed
// on the way is captured and shown when the code differs.
#define EXPECT_TARVEX_ERROR(stmt, want)                              \
    do {                                                             \
        int got_ = 9999;                                             \
        ::testing::internal::CaptureStdout();                        \
        try {                                                        \
            stmt;                                                    \
        } catch (const TarvexUnwind& e_) {                           \
            got_ = e_.code;                                          \
        }                                                            \
        std::string out_ = ::testing::internal::GetCapturedStdout(); \
        EXPECT_EQ(got_, want) << #stmt << " printed: " << out_;      \
    } while (0)

// The numbered error f unwinds with, `none` when it completes; what f
// prints is captured and dropped.
template <class F>
int unwind_code_or(int none, F f) {
    int code = none;
    ::testing::internal::CaptureStdout();
    try {
        f();
    } catch (const TarvexUnwind& e) {
        code = e.code;
    }
    ::testing::internal::GetCapturedStdout();
    return code;
}

// The code error() was called with while f ran, 9999 for none.
template <class F>
int unwind_code(F f) {
    return unwind_code_or(9999, f);
}

// The code error() was called with while f ran, 0 for none.
template <class F>
int error_code(F f) {
    return unwind_code_or(0, f);
}
