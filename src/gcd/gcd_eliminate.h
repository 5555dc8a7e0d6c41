// Variable elimination of the gcd driver in modular arithmetic: a variable
// that occurs in only one operand cannot occur in the gcd, so it is set to
// a number in that operand, which makes the later methods work on fewer
// levels.
#pragma once
#include <cstdint>

struct gcd_state;

// When the step applies, the gcd of the images (an operand whose top degree
// would change is not replaced) is computed by a recursive call and, when
// it divides both working operands, is the answer: the call is finished
// (finish_4) and true returned. Otherwise false and st is as before. Not
// in test mode. n: the driver's size measure.
bool eliminate_single_vars(gcd_state* st, int32_t n);

// Number of operands substituted so far (diagnostics and tests), and of
// image gcds that did not divide the operands.
extern int64_t gcd_eliminate_count;
extern int64_t gcd_eliminate_unlucky;
// Images refused because the top degree changed.
extern int64_t gcd_eliminate_put_back;
// Tests only: 0 switches the elimination off.
extern int gcd_eliminate_enabled;
