// Arithmetic in the coefficient ring of relations that make no field, for
// the gcd over them (nonfield_gcd.h): the ring C is the band of relation
// levels at the inside of the variable list; the free variables lie above
// it. Elements of C are polynomials at the band's first level (or lone
// numbers); polynomials over C are nested term lists as everywhere.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

struct pt;

namespace nonfield {

// The variable record of a level (null past the innermost).
pt* record_at(int32_t level);
// used[l] := 1 for every level l at which p, a polynomial at `level`, has
// a non-zero exponent.
void mark_levels(const polynode* p, int32_t level, std::vector<char>& used);
// The degree of p in its own level's variable.
inline int32_t degree(const polynode* p) { return p->numb ? 0 : p->exp; }
// Copies.
polynode* copy_of(polynode* p);
polynode* number_copy(imag* n);
// The coefficient of p's first term: a copy, at the next level.
polynode* first_coef(polynode* p);
// x^e·c at some level, c a polynomial of the next level (taken).
polynode* term(int32_t e, polynode* c);
// In place: p divided by the gcd of its integer coefficients (over the
// integers only; residues are left as they are).
void drop_integer_content(polynode* p);
// Nodes plus the digits of p's numbers, counted up to a bound: the work of
// a step of the remainders grows with both, and over the rationals their
// swell is mostly in the digits.
int64_t work_size(const polynode* p, int64_t bound);
// c·N = d in C with d a non-zero number, c at the level of crec (a lone
// number or an element of the levels from crec in): false when c is no
// unit or is not proved to be one. The inverse found is checked by the
// product before it is trusted. Over the rationals, where the field
// inversion's Euclid's steps come to more work than images modulo primes
// would take, those images find it instead (multimodular_inverse.h).
bool invert(polynode* c, pt* crec, PolyHold* N, imag** d);
// invert's answer without its inverse: the images of c's multiplication
// matrix prove most units at a small part of the inverse's cost (over the
// rationals its cofactors swell with the relations' degree).
bool proved_unit(polynode* c, pt* crec);
// Error 271 naming the relation, and the statement ends; while a
// RefusalEscape lives, NoProof is thrown instead, with nothing printed.
[[noreturn]] void refuse(const char* name);
struct NoProof {};
extern int refusal_escape;
struct RefusalEscape {
    RefusalEscape() { refusal_escape++; }
    ~RefusalEscape() { refusal_escape--; }
    RefusalEscape(const RefusalEscape&) = delete;
    RefusalEscape& operator=(const RefusalEscape&) = delete;
};

}  // namespace nonfield
