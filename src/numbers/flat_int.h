// Signed integers held as contiguous base-2^28 digits (least significant
// first, no leading zeros; zero is empty), for kernels that run long chains
// of operations on values that never enter the store: each value is read
// from its digit chain once and written back once, and nothing in between
// walks or builds a chain.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/records.h"

struct FlatInt {
    int sign = 0;                 // -1, 0 or 1
    std::vector<uint32_t> mag;    // |value|, trimmed
};

// x := the integer held by a digit record (outside machine-integer mode).
void flat_read(const imag* x, FlatInt& out);
// The digit record out := x.
void flat_write(const FlatInt& x, imag* out);
void flat_set(int32_t v, FlatInt& out);
inline bool flat_zero(const FlatInt& x) { return x.sign == 0; }
// |x| = 1.
inline bool flat_unit(const FlatInt& x) { return x.mag.size() == 1 && x.mag[0] == 1; }
// The digit count, as a digit record of |x| would own (1 for zero).
inline int32_t flat_digits(const FlatInt& x) { return x.mag.empty() ? 1 : static_cast<int32_t>(x.mag.size()); }
// Compares |a| with |b|: -1, 0 or 1.
int flat_cmp_abs(const FlatInt& a, const FlatInt& b);
// r := a x b (r may be neither operand).
void flat_mul(const FlatInt& a, const FlatInt& b, FlatInt& r);
// r := a - b (r may be neither operand).
void flat_sub(const FlatInt& a, const FlatInt& b, FlatInt& r);
// q := a / d, d non-zero; q may be a. Returns true when the division is exact.
bool flat_div(const FlatInt& a, const FlatInt& d, FlatInt& q);
// r := a rem d, truncated (the sign of a), d non-zero; r may be a.
void flat_rem(const FlatInt& a, const FlatInt& d, FlatInt& r);
// r := a - q x b (r may be neither operand).
void flat_sub_mul(const FlatInt& a, const FlatInt& q, const FlatInt& b, FlatInt& r);
// x := x - ps x digit x |l| x 2^(28 shift) in place, in one pass: digit
// below 2^28, ps 1 or -1 (l may not be x).
void flat_sub_digit_times(FlatInt& x, uint32_t digit, const FlatInt& l, int ps, size_t shift = 0);
// x := x - q x b in place (b may not be x).
void flat_sub_mul_to(FlatInt& x, const FlatInt& q, const FlatInt& b);
// g := gcd(|a|, |b|) (g may be neither operand), non-negative.
void flat_gcd(const FlatInt& a, const FlatInt& b, FlatInt& g);
