// Method-choice tests: small predicates, pure functions of their operands
// and the ground-ring state, that pick between algorithms. Each answers 1
// (yes) or 0 (no) and only reads its operands.
#pragma once
#include <cstdint>

#include "storage/records.h"

// The gap between v's top degree and the gcd's degree bound beyond which the
// gcd driver always takes a modular route (6).
extern int32_t mod_method_diff;

// 1 when the gcd driver should take the mod-p interpolation route for u
// (may be null) and v (not null), d being its degree bound for the gcd:
// for a large degree gap, or when an operand's storage estimate passes 250.
int mod_do_Chinese(const polynode* u, const polynode* v, int32_t d);
// The same shape of decision for the modular integer-gcd route, with the
// thresholds 280 and 350. While field levels exist it answers 0 unless force
// is non-zero.
int do_mod_method_now(const polynode* u, const polynode* v, int32_t d, int force);
// 1 when a x b may be formed by the dense two-variable modular product: both
// in at most two variables, each with at least 26 top terms spread densely
// enough, degrees within 700 in both variables together.
int try_fast_2_var(const polynode* a, const polynode* b);
