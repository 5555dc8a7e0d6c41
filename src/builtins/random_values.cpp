// Random values (see random_values.h). Every draw goes through the random
// module, whose sources tests can fix.
#include "builtins/random_values.h"

#include <cstdlib>

#include "interp/readers.h"
#include "interp/settings.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"

namespace {

// A draw at the generator's maximum scales to 2^14 itself; the halves are
// capped one below so that the value stays under 2^28.
constexpr int32_t LARGEST_HALF = 16383;

int32_t random_half() {
    const int32_t r = rand_integer2();
    return r > LARGEST_HALF ? LARGEST_HALF : r;
}

// The denominator is a number of the current ring: its machine word in a
// machine-word mode, its digits otherwise.
bool denominator_is_one(const imag* d) {
    if (lintmode) return d->value == 1;
    return d->count == 1 && d->head->digit == 1;
}

}  // namespace

int32_t random_28bit() {
    const int32_t h = random_half();
    const int32_t l = random_half();
    return h * 16384 + l;
}

void randomize(int use_clock, quoly** slot) {
    int32_t v = random_28bit();
    if (use_clock) {
        const int64_t c = int64_t{raw_clock()} + v;
        v = static_cast<int32_t>((c < 0 ? -c : c) & 0x0FFFFFFF);
    }
    // A residue is taken modulo the modulus, as a typed constant is.
    if (modularmode && modulus > 0) v %= modulus;
    free_quoly(slot);
    quoly_set(v, slot);
    imag* denominator = random_denominator();
    if (!denominator_is_one(denominator)) {
        SlotHold d;
        quoly_set(1, &d.q);
        num_assign(denominator, d.q->nnum);
        fast_quoly_quot(slot, &d.q, 0);
    }
}
