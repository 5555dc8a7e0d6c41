// The ground ring: which arithmetic every number routine performs. Routines
// test the flags in this order: modularmode (finf inside it, before the odd
// modulus), lintmode, then the big-integer digit chain.
#pragma once
#include <cstdint>

extern int modularmode;      // arithmetic modulo `modulus` (lintmode is then 1 too)
extern int lintmode;         // numbers are one machine word (value), no digits
extern int finf;             // characteristic 2: f256 or f2t16
extern int f256;             // GF(2^8): modulus 256
extern int f2t16;            // GF(2^16): modulus 65,536
extern int32_t modulus;
extern int smallmodulus;     // modulus < 65,535: products fit 32 bits
extern int32_t half_modulus; // modulus / 2
extern int32_t two28_mod;    // 2^28 mod modulus
extern int mod_is_prime;
extern int integerflag;      // integer-only evaluation: numbers are their leading digit words

// Digit-arithmetic cut-offs fixed at start-up.
extern int32_t multcut;      // Karatsuba below this many digits uses the schoolbook product
extern int32_t sqcut;        // square roots of longer numbers start from a recursive estimate

// Installs modulus m and every value derived from it (no conversion of data).
void install_modulus(int32_t m);

// Sets modularmode for its lifetime: a value taken into the ring (the
// modulus installed) while modular arithmetic is off or suspended.
struct ModularOn {
    int was = modularmode;
    ModularOn() { modularmode = 1; }
    ~ModularOn() { modularmode = was; }
    ModularOn(const ModularOn&) = delete;
    ModularOn& operator=(const ModularOn&) = delete;
};

// Clears lintmode for its lifetime: digit arithmetic inside a machine-word mode.
struct LintOff {
    int saved;
    LintOff() : saved(lintmode) { lintmode = 0; }
    ~LintOff() { lintmode = saved; }
    LintOff(const LintOff&) = delete;
    LintOff& operator=(const LintOff&) = delete;
};

// Sets lintmode for its lifetime: residues compared by their words even
// while a save writes with digit arithmetic.
struct LintOn {
    int saved;
    LintOn() : saved(lintmode) { lintmode = 1; }
    ~LintOn() { lintmode = saved; }
    LintOn(const LintOn&) = delete;
    LintOn& operator=(const LintOn&) = delete;
};

// Saves the whole ground-ring state and puts it back on every exit.
struct RingStateGuard {
    int s_modularmode, s_lintmode, s_finf, s_f256, s_f2t16, s_smallmodulus, s_mod_is_prime;
    int32_t s_modulus, s_half_modulus, s_two28_mod;
    RingStateGuard();
    ~RingStateGuard();
    RingStateGuard(const RingStateGuard&) = delete;
    RingStateGuard& operator=(const RingStateGuard&) = delete;
};
