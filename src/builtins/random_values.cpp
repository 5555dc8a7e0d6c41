// Random values (see random_values.h). Every draw goes through the random
// module, whose sources tests can fix.
#include "builtins/random_values.h"

#include <cstdlib>

#include "interp/readers.h"
#include "interp/settings.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "quoly/quoly.h"
#include "storage/assign.h"

int32_t random_28bit() {
    const int32_t h = rand_integer2();
    const int32_t l = rand_integer2();
    return h * 16384 + l;
}

void randomize(int use_clock, quoly** slot) {
    int32_t v = random_28bit();
    if (use_clock) {
        const int64_t c = int64_t{raw_clock()} + v;
        v = static_cast<int32_t>((c < 0 ? -c : c) & 0x0FFFFFFF);
    }
    free_quoly(slot);
    quoly_set(v, slot);
    // The denominator 1 (its start-up value) leaves an integer.
    imag* denominator = random_denominator();
    if (!(denominator->count == 1 && denominator->head->digit == 1)) {
        SlotHold d;
        quoly_set(1, &d.q);
        num_assign(denominator, d.q->nnum);
        fast_quoly_quot(slot, &d.q, 0);
    }
}
