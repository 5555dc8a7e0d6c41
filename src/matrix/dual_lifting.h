// Dual vectors of a square non-singular integer matrix A: y = d A^-T w,
// d = |det A|, by p-adic lifting over one word prime apart from d, to as
// many digits as the entries of y need (adjugate entries under Hadamard's
// bound, times |w|). The lifting's residuals stay in machine words while
// A's entries are below 2^56 and w is small, else they are integers of any
// size, A's entries split into 28-bit digits.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "det/word_arith.h"
#include "matrix/flat_normal.h"

// x modulo the word prime, in 0 .. p - 1.
uint32_t flat_residue(const FlatInt& x, const wordmod::Prime& P);

namespace lifting {

// A fixed generator: the user's random draws are no business of a form
// that does not depend on them.
struct Mix {
    uint64_t s = 0x9e3779b97f4a7c15ull;
    uint64_t next() {
        uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

FlatInt flat_of(int64_t v);
// x := x + y.
void add_to(FlatInt& x, const FlatInt& y);
// x mod m into [0, m), m > 0.
void reduce_into(FlatInt& x, const FlatInt& m);

class Duals {
public:
    // A: the first a.R columns of a (read now; a may change afterwards).
    Duals(FlatMatrix& a, const FlatInt& d);
    ~Duals();
    Duals(const Duals&) = delete;
    Duals& operator=(const Duals&) = delete;
    // False when d is 0 modulo the prime after all (A singular).
    bool ready() const;
    // A random dual vector, each entry modulo d in [0, d).
    std::vector<FlatInt> next();
    // d A^-T w exactly, for |w|_1 below n 2^20.
    std::vector<FlatInt> solve(const std::vector<int64_t>& w);
    // The same for w of any size.
    std::vector<FlatInt> solve(const std::vector<FlatInt>& w);

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace lifting
