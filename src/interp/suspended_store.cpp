#include "interp/suspended_store.h"

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/change_mod.h"
#include "storage/assign.h"

bool modular_suspended() { return !modularmode && mod_is_changed > 0 && modulus > 0; }

void settle_suspended_store(quoly** slot, bool cell) {
    if (!modular_suspended() || !*slot || ((*slot)->isnum && !cell)) return;
    // The ring's arithmetic for the conversion alone (a denominator is
    // normalised there); lintmode is on throughout the bracket.
    const ModularOn ring;
    quoly_words_into_ring(slot);
    if (!*slot) quoly_set(0, slot);
}

int32_t settle_suspended_word(int32_t v) { return modular_suspended() ? word_residue(v) : v; }
