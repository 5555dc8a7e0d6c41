#include "det/inumber_power.h"

#include "interp/integer_eval.h"
#include "interp/token.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

void inumber_power(int32_t* base, int32_t* exponent) {
    const int32_t b = *base;
    if (modularmode && b == 0) {
        // Zero has no place in the multiplicative group: no exponent reduction.
        if (*exponent < 0) {
            int32_t inv = 0;
            emod_inverse(0, &inv);
            abandon_statement(85);
        }
        *base = *exponent == 0 ? 1 : 0;
        return;
    }
    if (modularmode && mod_is_prime && modulus > 1) {
        int32_t e = *exponent % (modulus - 1);
        if (e < 0) e += modulus - 1;
        *exponent = e;
    }
    bool negative = false;
    if (*exponent < 0) {
        negative = true;
        *exponent = -*exponent;
    }
    const int32_t e = *exponent;
    if (negative && !modularmode && b != 1 && b != -1) {
        error(226, token.name);
        abandon_statement(226);
    }
    int32_t r = 1;
    if (e != 0) {
        int bit = 30;
        while (!((e >> bit) & 1)) bit--;
        r = b;
        for (bit--; bit >= 0; bit--) {
            if (modularmode) {
                r = modmult(r, r);
                if ((e >> bit) & 1) r = modmult(r, b);
            } else {
                r = ibound(int64_t{r} * r);
                if ((e >> bit) & 1) r = ibound(int64_t{r} * b);
            }
        }
    }
    if (negative && modularmode) r = imod_inverse(r);
    *base = r;
}
