// Two structural rewrites of a polynomial for the gcd and division code:
// turning integer coefficients into residues in place, with an undo log
// that puts the integer polynomial back, and moving one variable's level so
// that content can be taken with respect to a chosen variable.
#pragma once
#include <cstdint>

#include "storage/records.h"

// in place. The polynomial in *slot becomes one over residues modulo the
// current modulus. Each number keeps its digit chain (change_num without
// release; flag is passed on to it) for the way back. Terms that become 0
// are unlinked and collapsed exponent-0 wrappers bypassed, never freed:
// every link word changed is pushed on masterfix first, so
// restore_from_mod(&masterfix) gives back the very same nodes. A result of
// zero leaves *slot null. A null *slot does nothing.
void poly_change_to_mod(polynode** slot, int flag);
// Pushes (link, *link) on masterfix (FIX_SLOT) before the word changes.
void log_link(polynode** link);

// Result slot: never-free. *out := p with the variable at level T (T > l,
// levels counted with p's own top variable as l) brought up to level l;
// the variables of levels l .. T - 1 move one level down. Only the levels l
// .. T of out are new nodes: numbers and everything below level T are
// shared with p, so out is released with free_nodes(out, l, T), never with
// free_poly. l = T gives a shallow copy of the top level (spec_poly_assign).
void convert_poly(polynode* p, polynode** out, int32_t l, int32_t T);
