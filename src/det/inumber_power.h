// The machine-word power of the integer-only evaluator and of the residue
// determinant methods.
#pragma once
#include <cstdint>

// *base := *base ^ *exponent in the current ground ring. Residues: with a
// prime modulus a non-zero base's exponent is first reduced modulo p - 1
// (written back); 0 to a positive power is 0, to a negative power error 85,
// and any other negative power inverts the base (error 85 when it has no
// inverse). Outside modular arithmetic the power must stay within one digit
// (error 32), and a negative power exists only for 1 and -1 (else error
// 226); a negative exponent is written back as its absolute value.
void inumber_power(int32_t* base, int32_t* exponent);
