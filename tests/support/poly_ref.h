// Reference arithmetic on term lists, independent of the routines under
// test: the result is put in canonical order for the current ground ring.
#pragma once
#include "support/poly_build.h"

// a·b in nv variables.
TermList product(int nv, const TermList& a, const TermList& b);

// d divides n in the current ring, by the system's general division over
// the attached variables; the quotient, when wanted, is read back in nv
// variables.
bool divides_exactly(polynode* d, polynode* n, int nv, TermList* quotient = nullptr);
