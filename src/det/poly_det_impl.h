// What the two polynomial determinant methods share: the refusal for
// negative exponents with its counted warning, the nesting counter's
// guard, and residue arithmetic in the current ground ring.
#pragma once
#include <cstdint>
#include <vector>

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/records.h"

namespace polydet {

// With negative exponents in the cells the methods cannot run: the
// warning (three times, the third saying so), and true.
bool refuse_negative_exponents(quoly** cells, int32_t n);
// The counted warning alone (three times, the third saying so).
void warn_negative_exponents();

// One more level of the modular method for the scope.
struct DepthLevel {
    DepthLevel() { ++lagrangedepth_ref(); }
    ~DepthLevel() { --lagrangedepth_ref(); }
    static int32_t& lagrangedepth_ref();
    DepthLevel(const DepthLevel&) = delete;
    DepthLevel& operator=(const DepthLevel&) = delete;
};

// Residues of the current ring (modulus p, or a characteristic-2 field);
// inline, for the inner loops.
inline uint32_t radd(uint32_t a, uint32_t b) {
    if (finf) return a ^ b;
    const uint64_t s = uint64_t{a} + b;
    const uint32_t p = static_cast<uint32_t>(modulus);
    return static_cast<uint32_t>(s >= p ? s - p : s);
}
inline uint32_t rsub(uint32_t a, uint32_t b) {
    if (finf) return a ^ b;
    return a >= b ? a - b : static_cast<uint32_t>(uint64_t{a} + static_cast<uint32_t>(modulus) - b);
}
inline uint32_t rmul(uint32_t a, uint32_t b) {
    if (finf) return static_cast<uint32_t>(modmult(static_cast<int32_t>(a), static_cast<int32_t>(b)));
    return static_cast<uint32_t>(uint64_t{a} * b % static_cast<uint32_t>(modulus));
}
// a^-1; a without inverse under a composite modulus is error 85.
uint32_t rinv(uint32_t a);
uint32_t rpow(uint32_t a, int64_t e);
// The product of (X - x_j) over the points, coefficients from the constant up.
inline std::vector<uint32_t> node_polynomial(const std::vector<uint32_t>& xs) {
    std::vector<uint32_t> M(xs.size() + 1, 0);
    M[0] = 1;
    for (size_t j = 0; j < xs.size(); j++) {
        for (size_t k = j + 1; k >= 1; k--) M[k] = rsub(M[k - 1], rmul(xs[j], M[k]));
        M[0] = rsub(0, rmul(xs[j], M[0]));
    }
    return M;
}

// The residue of p with xs[L - 1] for the variable of level L; p's own
// chain is at level `from` (1 for a whole polynomial). The numbers are
// residues (value words), or with `digits` integers read off their digit
// chains and reduced.
uint32_t residue_at(const polynode* p, int32_t from, const uint32_t* xs, bool digits = false);

// A cell's degree in the variable of level depth; ABSENT for zero.
constexpr int64_t ABSENT = INT64_MIN / 4;
int64_t cell_degree(quoly* q, int32_t depth);
// p with the number x for the variable of level depth; null for zero.
polynode* poly_at_point(polynode* p, int32_t depth, uint32_t x);
// The residue of a quoly without denominator, the variables at xs.
uint32_t quoly_residue(quoly* q, const uint32_t* xs);

// Sorted terms over every level, ready for poly_from_terms.
struct TermTable {
    int32_t nvars;
    std::vector<int32_t> exps;
    std::vector<uint32_t> coefs;
    void push(const std::vector<int32_t>& e, uint32_t c);
    // The polynomial as a quoly into the empty slot *q.
    void build(quoly** q) const;
};

}  // namespace polydet
