// A running sum of products of digit numbers by one-digit multipliers,
// kept as signed 64-bit columns whose carries are settled only now and
// then: the inner loop of a dot product with small multipliers touches
// each digit once and allocates nothing. Big-integer mode only.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

class WideSum {
public:
    // sum += r * c, |c| < 2^28.
    void add_product(const imag* r, int32_t c);
    // sum += r.
    void add(const imag* r) { add_product(r, 1); }
    // x := the sum (x's old digits given back or reused).
    void write(imag* x);
    bool empty() const { return col_.empty(); }

private:
    void settle();
    std::vector<int64_t> col_;   // least significant first, base 2^28
    int32_t unsettled_ = 0;      // products added since the carries were last settled
};
