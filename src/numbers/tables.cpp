// The start-up tables of the number routines; the data-file loader fills
// them, everything else only reads them.
#include "numbers/tables.h"

uint16_t f256prod[65536];
uint16_t f256inv[256];
uint16_t f256sqr[256];
uint16_t f2t16exp[65536];
uint16_t f2t16log[65536];
uint16_t f2t16inv[65536];
uint16_t f2t16sqr[65536];

imag* two_28[TWO_28_COUNT];
imag* tens_base = nullptr;

int32_t factnum[FACTS_COUNT];
imag* facts[FACTS_COUNT];

imag* binom[BINOM_COUNT];

uint16_t small_prime[SMALL_PRIME_COUNT];
int32_t med_prime[MED_PRIME_COUNT];
imag* prime[PRIME_COUNT];
imag* num_prod[NUM_PROD_COUNT];
int32_t invs_prod[600];
int32_t* big_prime = nullptr;
int32_t* lrgpme = nullptr;
uint16_t global_list[GLOBAL_LIST_COUNT];
