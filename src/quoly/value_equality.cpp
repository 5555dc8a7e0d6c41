#include "quoly/value_equality.h"

#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/equality.h"
#include "storage/nodetests.h"

namespace {

using quoly_detail::lone_number;
using quoly_detail::times_parts;

bool polynomial_denominator(const quoly* q) { return !q->isnum && q->den && !lone_number(q->den); }

// Only a fraction over relations can have a second form. Its numerator is
// never 0 (that made it the number 0), so against 0 the structure decides.
bool forms_may_differ(quoly* a, quoly* b) {
    return pseudo_polynames && (polynomial_denominator(a) || polynomial_denominator(b)) && !quoly_iszero(a) &&
           !quoly_iszero(b);
}

// N(a)·D(b) against ±N(b)·D(a). Two fractions over one stored denominator
// differ as their numerators do, and that is the structural answer already.
int crosswise(quoly* a, quoly* b, bool negated) {
    if (polynomial_denominator(a) && polynomial_denominator(b) && poly_equal(a->den, b->den)) return 0;
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
