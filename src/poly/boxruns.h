// The short convolutions of the box product (poly/boxmult.cpp): two runs
// of terms along the innermost variable, their values in machine limbs,
// multiplied into the box's 128-bit accumulators. Not for other modules.
#pragma once
#include <cstdint>

namespace polyimpl {

__extension__ typedef __int128 box_wide;

// Words stored per value of a run of lx-limb values multiplied by ly-limb
// ones: two-limb values by two-limb values also keep the sum of their two
// limbs, for three limb products instead of four.
constexpr int32_t run_width(int32_t lx, int32_t ly) { return lx == 2 && ly == 2 ? 3 : lx; }

// A run: terms of one operand that differ only in their innermost
// exponent, their values laid out densely from the least exponent at off
// in the operand's value words (run_width words per value) with zeros in
// the gaps; place: the box accumulator of its least exponent. Two runs
// multiply as a short convolution summed in registers, one update of the
// box per place instead of one per product.
struct Run {
    int64_t place;
    int32_t off, len;
};

// Adds the product of the run v (values in y_words, ly limbs each) by each
// of the n runs us (values in x_words, lx limbs) into the box: the limb r
// of sum over i of x[i] y[k - i] into cells[(u.place + v.place) + k *
// stride + r]. The sums must fit the accumulators.
void convolve_run_by_runs(const Run& v, const int64_t* y_words, int32_t ly, const Run* us, int32_t n,
                          const int64_t* x_words, int32_t lx, box_wide* cells, int32_t stride);

}  // namespace polyimpl
