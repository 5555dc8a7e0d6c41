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

// Thrown where the modular methods have used every first auxiliary prime
// while the list is still growing (relations without the flag that make a
// field find their list as their gcds ask for it): the gcd is run again
// with more primes.
struct FirstListShort {};
// Set while such a list is installed.
inline bool first_list_growing = false;
struct GrowingFirstList {
    bool saved = first_list_growing;
    explicit GrowingFirstList(bool growing) { first_list_growing = growing; }
    ~GrowingFirstList() { first_list_growing = saved; }
    GrowingFirstList(const GrowingFirstList&) = delete;
    GrowingFirstList& operator=(const GrowingFirstList&) = delete;
};
