#include <cstdio>

#include "det/poly_det.h"
#include "det/poly_det_impl.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/nodetests.h"

int32_t lagrangedepth = 0;
int32_t lagrangecut = 10;
int32_t neg_exponent_warning = 0;

namespace polydet {

int32_t& DepthLevel::lagrangedepth_ref() { return lagrangedepth; }

bool refuse_negative_exponents(quoly** cells, int32_t n) {
    if (!negexponents(cells, n)) return false;
    warn_negative_exponents();
    return true;
}

void warn_negative_exponents() {
    if (neg_exponent_warning < 3) {
        std::printf(" Warning.  matrix contains negative exponents.  Fast\n");
        std::printf(" determinant method cannot be used.  It would be better\n");
        std::printf(" to remove the negative exponents and try again.\n");
        if (neg_exponent_warning == 2) std::printf(" *** This is the last warning message.\n");
        std::fflush(stdout);
    }
    neg_exponent_warning++;
}

uint32_t rinv(uint32_t a) {
    int32_t r = 0;
    if (finf || mod_is_prime)
        mod_inverse(static_cast<int32_t>(a), &r);
    else
        emod_inverse(static_cast<int32_t>(a), &r);
    return static_cast<uint32_t>(r);
}

uint32_t rpow(uint32_t a, int64_t e) {
    uint32_t r = 1;
    while (e > 0) {
        if (e & 1) r = rmul(r, a);
        a = rmul(a, a);
        e >>= 1;
    }
    return r;
}

namespace {
uint32_t number_residue(const imag* x, bool digits) {
    if (digits) return static_cast<uint32_t>(chain_residue(x, modulus));
    if (finf) return static_cast<uint32_t>(x->value);
    int64_t v = x->value % int64_t{modulus};
    if (v < 0) v += modulus;
    return static_cast<uint32_t>(v);
}
}  // namespace

uint32_t residue_at(const polynode* p, int32_t from, const uint32_t* xs, bool digits) {
    // Horner from the leading term: one power per exponent gap.
    const uint32_t x = xs[from - 1];
    uint32_t acc = 0;
    int32_t prev = -1;
    for (const polynode* t = p; t; t = t->next) {
        const uint32_t c = t->numb ? number_residue(t->ncoef, digits) : residue_at(t->pcoef, from + 1, xs, digits);
        if (prev >= 0) acc = rmul(acc, rpow(x, prev - t->exp));
        acc = radd(acc, c);
        prev = t->exp;
    }
    if (prev > 0) acc = rmul(acc, rpow(x, prev));
    return acc;
}

}  // namespace polydet
