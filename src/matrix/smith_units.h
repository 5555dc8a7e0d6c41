// The last step of a Smith form taken modulo m: each diagonal entry s
// becomes gcd(s, m), and the unit that separates the two is moved into
// the transforms, so that t0·A·t1 ≡ S (mod m) still holds.
#pragma once
#include "storage/records.h"

enum class SmithEntry { zero, unit_one, scaled };

// *g := gcd(s, m) (m when s ≡ 0 mod m, then zero), and, for scaled, *v a
// unit modulo m with s·v ≡ g (mod m) and *u its inverse modulo m (column
// of t1 times v, row of t3 times u); unit_one when v is 1. m > 0.
SmithEntry smith_entry(imag* s, imag* m, imag* g, imag* u, imag* v);
