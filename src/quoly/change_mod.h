// Conversions of stored values into the current ground ring after the
// arithmetic became modular: permanent ones, which free what the modulus
// removes, and temporary ones, which log every change on the undo log
// `masterfix` so that restore_from_mod(&masterfix) gives the value back
// node for node.
//
// All three run with modular arithmetic on (modularmode and lintmode set,
// the new modulus installed); the numbers they meet still carry their digit
// chains, which the conversion reads.
#pragma once
#include "storage/records.h"

// in place, permanent. Every number leaf of *slot becomes its residue (its
// digit chain given back); terms whose coefficient became 0 are unlinked
// and freed, an exponent-0 term left holding a lone number is replaced by
// that number node. A polynomial that vanished leaves *slot null.
void poly_change_num(polynode** slot);

// in place, permanent: the quoly in *slot into the current ring, in normal
// form. A numerator that vanished, or a denominator that vanished (after
// the warning "Warning. A zero quoly denominator was found. That quoly was
// set to 0."), frees the quoly and leaves *slot null: the caller stores 0.
void quoly_change_num(quoly** slot);
// The same for a value computed with modular arithmetic suspended, whose
// numbers are machine words (or digit chains): each becomes the element
// its integer stands for, as a typed constant would.
void quoly_words_into_ring(quoly** slot);

// Whether q has no element of the current ring, so that its permanent
// conversion would lose it: its denominator vanishes modulo the modulus (in
// a field too), its normal form needs an inverse a composite modulus lacks,
// or over a relation its normal form fails there (a common factor a relation
// making no field cannot divide out, a field element a relation the modulus
// makes reducible cannot invert). Unless quiet, the failure's report is
// printed as the conversion would print it; q is untouched. A value whose
// numerator vanishes has one, 0 (over a relation only when its denominator
// could be divided by).
bool conversion_lacks_inverse(const quoly* q, bool quiet);

// in place, temporary: the quoly *q (the record stays, so the slot needs
// no undo) into the current ring, in normal form, every change logged on
// masterfix. The old nodes are never freed or reused while the log holds
// them. The flag words (isnum, rat) go on the log as one FIX_SLOT word,
// the link words the residue conversion changes as FIX_SLOT words, and
// after the FIX_SLOT words of num and den one of the kinds
//   FIX_LIFTED      the numerator's lone number node lifted into a plain number;
//   FIX_NEW_NUMBER  a plain number of its own (0, or a normalised quotient);
//   FIX_NEW_POLYS   normalised copies of numerator and denominator.
// A denominator that
// vanishes is reported with error 210's text (unless `report` is off: an
// internal table whose entry this modulus never reads) and the value is
// left with its converted numerator; the conversion of other values goes on.
void quoly_change_to_mod(quoly** q, bool report = true);
