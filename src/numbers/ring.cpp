#include "numbers/ring.h"

int modularmode = 0;
int lintmode = 0;
int finf = 0;
int f256 = 0;
int f2t16 = 0;
int32_t modulus = 0;
int smallmodulus = 0;
int32_t half_modulus = 0;
int32_t two28_mod = 0;
int mod_is_prime = 0;
int integerflag = 0;

int32_t multcut = 16;
int32_t sqcut = 16;

void install_modulus(int32_t m) {
    modulus = m;
    smallmodulus = m < 65535;
    half_modulus = m / 2;
    two28_mod = m > 0 ? static_cast<int32_t>((int64_t{1} << 28) % m) : 0;
    f256 = m == 256;
    f2t16 = m == 65536;
    finf = f256 || f2t16;
}

RingStateGuard::RingStateGuard()
    : s_modularmode(modularmode), s_lintmode(lintmode), s_finf(finf), s_f256(f256),
      s_f2t16(f2t16), s_smallmodulus(smallmodulus), s_mod_is_prime(mod_is_prime),
      s_modulus(modulus), s_half_modulus(half_modulus), s_two28_mod(two28_mod) {}

RingStateGuard::~RingStateGuard() {
    modularmode = s_modularmode;
    lintmode = s_lintmode;
    finf = s_finf;
    f256 = s_f256;
    f2t16 = s_f2t16;
    smallmodulus = s_smallmodulus;
    mod_is_prime = s_mod_is_prime;
    modulus = s_modulus;
    half_modulus = s_half_modulus;
    two28_mod = s_two28_mod;
}
