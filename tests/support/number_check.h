// Shape checks for digit numbers, for EXPECT_TRUE(check_number(x)) on every
// result a test produces.
#pragma once
#include <gtest/gtest.h>

#include <gmpxx.h>

#include <cstdint>

#include "storage/records.h"

// The big-integer invariants: count >= 1 equals the chain length, tail is the
// last node and ends the chain, every digit lies strictly between -2^28 and
// 2^28 and carries the number's sign, the head is non-zero unless the number
// is zero, and zero is exactly one digit 0.
::testing::AssertionResult check_number(const imag* x);

// x is a well-formed digit number of value want.
::testing::AssertionResult holds(const imag* x, const mpz_class& want);

// Sets one cut-off for the guard's lifetime.
class Cut {
public:
    Cut(int32_t& cut, int32_t v) : cut_(cut), before_(cut) { cut_ = v; }
    ~Cut() { cut_ = before_; }
    Cut(const Cut&) = delete;
    Cut& operator=(const Cut&) = delete;

private:
    int32_t& cut_;
    int32_t before_;
};

// Gives a switch back its value on leaving the scope; the test may change
// it freely meanwhile.
template <class T>
class Kept {
public:
    explicit Kept(T& v) : v_(v), before_(v) {}
    ~Kept() { v_ = before_; }
    Kept(const Kept&) = delete;
    Kept& operator=(const Kept&) = delete;

private:
    T& v_;
    T before_;
};
