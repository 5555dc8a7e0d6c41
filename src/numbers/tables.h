// The number tables filled at start-up from the data directory: field
// tables of GF(2^8) and GF(2^16), powers of 2^28 in radix 10^8, factorials,
// binomials and the prime tables. The number routines only read them.
#pragma once
#include <cstdint>

#include "storage/records.h"

// GF(2^8): product at a*256 + b (symmetric), inverses, square roots.
extern uint16_t f256prod[65536];
extern uint16_t f256inv[256];
extern uint16_t f256sqr[256];
// GF(2^16): exp/log to a fixed generator (exp[65535] = 1), inverses, square roots.
// Elements 0..255 are GF(2^8), so GF(2^8) inverses are read from f2t16inv.
extern uint16_t f2t16exp[65536];
extern uint16_t f2t16log[65536];
extern uint16_t f2t16inv[65536];
extern uint16_t f2t16sqr[65536];

constexpr int TWO_28_COUNT = 130;
// two_28[k - 1] = 2^(28k) in radix 10^8, k = 1..130.
extern imag* two_28[TWO_28_COUNT];
extern imag* tens_base;          // 10^8

constexpr int FACTS_COUNT = 22;
extern int32_t factnum[FACTS_COUNT];   // increasing arguments whose factorials are stored
extern imag* facts[FACTS_COUNT];       // factnum[i]!; value words of the first two set

constexpr int BINOM_COUNT = 1900;
extern imag* binom[BINOM_COUNT];       // rows m = 1..50: C(3m, k), k = 1..floor(3m/2)

constexpr int SMALL_PRIME_COUNT = 1229;
constexpr int MED_PRIME_COUNT = 2466;
constexpr int PRIME_COUNT = 604;
constexpr int NUM_PROD_COUNT = 599;
constexpr int BIG_PRIME_COUNT = 1516;
constexpr int LRGPME_COUNT = 2000;
constexpr int GLOBAL_LIST_COUNT = 151;

extern uint16_t small_prime[SMALL_PRIME_COUNT];   // 2 .. 9973
extern int32_t med_prime[MED_PRIME_COUNT];        // 17,021 .. 42,349
extern imag* prime[PRIME_COUNT];                  // 5 built in, then 42,359 .. 48,869
extern imag* num_prod[NUM_PROD_COUNT];            // num_prod[j] = prime[5] * .. * prime[5 + j]
extern int32_t invs_prod[600];                    // inverse of num_prod[j] mod prime[j + 6]
extern int32_t* big_prime;                        // 48,871 .. 65,521; null when not loaded
extern int32_t* lrgpme;                           // 2,000 largest primes <= 2,147,483,644; null when not loaded
extern uint16_t global_list[GLOBAL_LIST_COUNT];   // small_prime[i + 7]
