#include "gcd/modswitch.h"

#include "gcd/gcdstash.h"
#include "interp/settings.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "poly/residue_conv.h"
#include "quoly/change_mod.h"
#include "storage/other_records.h"
#include "toplevel/loop.h"

ModularSwitch::ModularSwitch()
    : outer_log_(masterfix), saved_command_int_(command_int), saved_lookupgcd_(lookupgcd) {
    masterfix = nullptr;
    // Values are half converted until the guard ends: interrupts wait,
    // unless the user allowed them at such times (&Z).
    command_int = command_int && danger_ok;
}

ModularSwitch::~ModularSwitch() {
    // The ring guard has not run yet (members are destroyed after this
    // body): go back to the caller's ring first, by hand, so the replay of
    // the log and the value words happen in the caller's mode.
    modularmode = ring_.s_modularmode;
    lintmode = ring_.s_lintmode;
    restore_from_mod(&masterfix);
    masterfix = outer_log_;
    for (auto it = values_.rbegin(); it != values_.rend(); ++it) it->first->value = it->second;
    command_int = saved_command_int_;
    lookupgcd = saved_lookupgcd_;
}

void ModularSwitch::set_prime(int32_t p) {
    modularmode = 0;
    lintmode = 0;
    install_modulus(p);
    mod_is_prime = 1;
}

void ModularSwitch::save_values(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb)
            values_.emplace_back(p->ncoef, p->ncoef->value);
        else
            save_values(p->pcoef);
    }
}

void ModularSwitch::convert(polynode** slot) {
    save_values(*slot);
    poly_change_to_mod(slot, 0);
}

void ModularSwitch::convert_quoly(quoly** q) {
    if ((*q)->isnum) {
        values_.emplace_back((*q)->nnum, (*q)->nnum->value);
    } else {
        save_values((*q)->pnum);
        save_values((*q)->den);
    }
    quoly_change_to_mod(q);
}

void ModularSwitch::convert_variables() {
    for (pt* v = polynames; v; v = v->next) {
        convert(&v->relation);
        convert(&v->binomial);
        convert(&v->reductions);
    }
}

void ModularSwitch::begin_arithmetic() {
    modularmode = 1;
    lintmode = 1;
}
