#include "quoly/value_equality.h"

#include "gcd/field_levels.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/unequal_images.h"
#include "storage/equality.h"
#include "storage/nodetests.h"

namespace {

using quoly_detail::lone_number;
using quoly_detail::times_parts;

bool polynomial_denominator(const quoly* q) { return !q->isnum && q->den && !lone_number(q->den); }

// Field levels that make a field give every fraction one form: cancelled
// by the field's gcd, the denominator monic. Relations without the flag,
// field levels that the prime splits and a composite modulus need not.
bool ring_forms_unique() {
    if (modout_above_field) return false;
    if (!modularmode) return true;
    return (mod_is_prime || finf) && field_levels_make_field();
}

bool composite_modulus() { return modularmode && !mod_is_prime && !finf; }

// Only a fraction can have a second form. Its numerator is never 0 (that
// made it the number 0), so against 0 the structure decides.
bool forms_may_differ(quoly* a, quoly* b) {
    if (!polynomial_denominator(a) && !polynomial_denominator(b)) return false;
    if (!pseudo_polynames && !composite_modulus()) return false;
    return !quoly_iszero(a) && !quoly_iszero(b) && !ring_forms_unique();
}

// N(a)·D(b) against ±N(b)·D(a). Two fractions over one stored denominator
// differ as their numerators do, and that is the structural answer already.
int crosswise(quoly* a, quoly* b, bool negated) {
    if (polynomial_denominator(a) && polynomial_denominator(b) && poly_equal(a->den, b->den)) return 0;
    if (images_differ(a, b, negated)) return 0;
    PolyHold left(times_parts(a, false, b, true));
    PolyHold right(times_parts(b, false, a, true));
    return negated ? poly_neg(left.p, right.p) : poly_equal(left.p, right.p);
}

}  // namespace

int quoly_same_value(quoly* a, quoly* b) {
    if (quoly_equal(a, b)) return 1;
    return forms_may_differ(a, b) ? crosswise(a, b, false) : 0;
}

int quoly_negated_value(quoly* a, quoly* b) {
    if (quoly_negtive(a, b)) return 1;
    return forms_may_differ(a, b) ? crosswise(a, b, true) : 0;
}
