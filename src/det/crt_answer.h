// The combined answer of a polynomial determinant computed prime by prime:
// the images modulo the primes folded in by Chinese remaindering in
// mixed-radix form, the stop test, the answer in the symmetric range and
// its value at a point modulo another prime.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "storage/records.h"

namespace polydet {

using Monomial = std::vector<int32_t>;
// The image modulo the current prime: the monomials' residues.
using Image = std::map<Monomial, uint32_t>;

// A = t_1 + p_1 (t_2 + p_2 (t_3 + ...)) per monomial, coefficients 0 .. M - 1.
struct CrtAnswer {
    std::vector<uint32_t> primes;
    std::vector<uint32_t> half;  // the digits of (M - 1) / 2
    std::map<Monomial, std::vector<uint32_t>> digits;

    // A > M/2 for these digits: the coefficient is negative.
    bool negative(const std::vector<uint32_t>& t) const;
    // prefix[j] = p_1 .. p_j modulo the current modulus (prefix[0] = 1).
    std::vector<uint32_t> prefixes() const;
    // The coefficient of these digits modulo the current modulus, read in
    // the symmetric range.
    uint32_t residue(const std::vector<uint32_t>& t, const std::vector<uint32_t>& pre) const;
    void compute_half();
};

// Folds the image modulo p (the ring's modulus now) into A; true when the
// answer in the symmetric range is the same as before (`equivalent_1`).
bool crt_fold(CrtAnswer& A, const Image& img, uint32_t p);
// A's integers in the symmetric range (`construct_answer_1`), into the
// empty slot *q.
void construct_answer_1(const CrtAnswer& A, int32_t nvars, quoly** q);
// A modulo the ring's modulus now at the point xs (xs[l] for the variable
// of level l + 1), each exponent multiplied by `stretch`.
uint32_t crt_value_at(const CrtAnswer& A, const std::vector<uint32_t>& xs, int32_t nvars, int64_t stretch);

}  // namespace polydet
