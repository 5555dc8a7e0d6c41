// The first auxiliary primes (the field set-up's list, kept in
// interp/settings.h) as a prime table for the modular methods: operands
// holding field elements have images only modulo primes that keep every
// field relation irreducible.
#pragma once
#include <vector>

#include "interp/settings.h"
#include "storage/records.h"

// Entry i (one-based) at [i - 1]; empty when the list is.
inline std::vector<imag*> first_aux_table() {
    std::vector<imag*> table;
    int16_t i = 0;
    for (imag* p = auxptr; p && i < aux_prime1_number; p = p->link, i++) table.push_back(p);
    return table;
}
