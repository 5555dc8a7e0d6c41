// The inner step of long division modulo four primes at once: a quotient
// term times the divisor's negated tail added into entries that hold the
// four primes' residues side by side (see gcd/kronecker_div.cpp). Vector
// instructions where the processor has them, plain words elsewhere; the
// results are the same.
#pragma once
#include <cstddef>
#include <cstdint>

// For each j < tails, the four entries at base + off[j] (off counted in
// words, a multiple of 4) get x + q[l]·neg[4j + l], dropped by k[l] (the
// largest multiple of p_l not above 2^63) when the sum reaches 2^63.
// Entries below 2^63, q[l] and neg[.] below 2^31 on entry keep every
// entry below 2^63 + 2^62 before the drop and below 2^63 after it.
void add_lane_products4(uint64_t* base, const int64_t* off, const uint32_t* neg, size_t tails, const uint32_t* q,
                        const uint64_t* k);
