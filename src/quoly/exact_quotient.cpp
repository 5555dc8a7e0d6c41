// Known-exact quotients on the flat road (see quoly/exact_quotient.h).
#include "quoly/exact_quotient.h"

#include "gcd/kronecker_div.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"

bool exact_quotient(quoly* u, quoly* d, quoly** q) {
    if (u->isnum || d->isnum || u->den || d->den || laurent) return false;
    if (lintmode && !(modularmode && mod_is_prime)) return false;
    polynode* p = nullptr;
    if (kronecker_quotient(u->pnum, d->pnum, polynames, &p) != 1) {
        free_poly(&p);
        return false;
    }
    use_up_poly(&p, q);
    return true;
}
