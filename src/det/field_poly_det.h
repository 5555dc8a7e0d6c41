// The field case of the integer polynomial determinants (dense and sparse):
// the ground ring is an extension field made by mod-out relations. Images
// are then taken only modulo the first auxiliary primes, where every
// relation stays irreducible, so that arithmetic modulo p and the
// relations is a field; the modular methods evaluate the ordinary
// variables only and leave the matrices of field elements at the bottom
// to the hub's elimination. The combined answer's monomials carry the
// field variables' exponents like any others.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "det/crt_answer.h"
#include "storage/other_records.h"
#include "storage/records.h"

namespace polydet {

// The first auxiliary primes in the order the integer methods take them:
// from one of the first four at random, with random jumps only when the
// list is long enough not to be run out by them. Past the list's end the
// method gives up.
class AuxPrimeSequence {
public:
    AuxPrimeSequence();
    bool empty() const { return table_.empty(); }
    bool exhausted() const { return index_ > static_cast<int32_t>(table_.size()); }
    int32_t current() const;
    void advance();

private:
    std::vector<imag*> table_;
    int32_t index_;  // one-based
};

// More than this many first auxiliary primes allow random jumps.
constexpr int32_t AUX_JUMP_COUNT = 2291;

// The answer A (times the factor) against the matrix at a random point of
// the ordinary variables modulo a first auxiliary prime none of the images
// used, the field variables kept: the determinant there is one of field
// elements, by the hub's elimination. power < -1 (the sparse hint): A is g
// with det = g(x1^k, ...), the field variables not stretched. 1 when they
// agree, 0 when not, -1 when every auxiliary prime was used (nothing to
// check with). The cells, factor and relations are left as they were.
int field_answer_check(const CrtAnswer& A, quoly** cells, int32_t n, polynode* factor,
                       const std::set<int32_t>& used);
int sparse_field_answer_check(const CrtAnswer& A, sparse* frame, int32_t n, polynode* factor, int32_t power,
                              const std::set<int32_t>& used);

// Bits the reduction by the relations may add to the coefficients of the
// sparse matrix's determinant, above the bound for plain integer
// polynomials: per row, its largest degree in the field variables times
// log2(1 + the relations' largest coefficient sum).
double field_reduction_bits(sparse* frame, int32_t n);

}  // namespace polydet
