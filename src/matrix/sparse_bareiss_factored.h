// Fraction-free elimination with every row held as a product of shared
// factors times a row of small local entries.
//
// Where pivots are taken at several places along a band, each fraction-free
// entry carries as factors the determinants of blocks eliminated elsewhere
// (Sylvester's identity). Multiplying them in and dividing them out again
// at every step is what makes plain fraction-free elimination slow there.
// Here each row r keeps a multiset of factor ids (earlier pivots' local
// values) and local entries; a step multiplies rows by the new pivot and
// divides by the previous one symbolically, cancelling equal factors by id.
// A factor that does not cancel is split into parts it is known or found
// (by a gcd) to share with the row's factors, or divided out of the local
// entries; only when neither works are the row's factors multiplied into
// its entries (the quotient is exact, as fraction-free elimination
// guarantees).
//
// The matrix itself is kept showing every row's true values, factors
// multiplied in, so that the pivot search and anything reading the matrix
// between steps see exactly what step-by-step fraction-free elimination
// gives.
#pragma once
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "storage/other_records.h"
#include "storage/records.h"

// The matrix's entries and the ring allow it: numbers and polynomials
// without denominators over an integral domain (no zero divisors, no
// relations, no negative exponents, no machine-integer mode).
bool factored_rows_allowed(sparse* m, int32_t n);

// How a factor that does not cancel by id is worked on before the row's
// factors are multiplied in: bit 0, through its known parts; bit 1, through
// common parts found by gcds. 3 in the system; less is a checking aid (the
// values are the same, only slower).
extern int sparse_factored_shortcuts;

// A step's g a - e b whose four operands all have at least this many terms
// is formed with one set of images modulo word primes, one inverse
// transform per prime and one result instead of two products and their
// difference; when the row has factors to divide out, they are divided out
// on the images too. Below it the separate products and divisions, which
// pick their own routes, were measured faster. Tests lower it.
extern int64_t sparse_factored_difference_terms;

// The row's entries divided by d, those marked in done (one mark per
// entry) being quotients by d already: true when every entry divides.
// Otherwise the row holds the dividends again, the marked entries
// multiplied back by d.
bool finish_row_division(colm* row, quoly* d, const std::vector<char>& done);

struct FactoredRows {
    int32_t n;
    sparse* local;                               // per row: its local entries, same columns as the matrix
    std::vector<std::vector<int32_t>> scale;     // per row: its factor ids, ascending (a multiset)
    std::vector<quoly*> factors;                 // factor id -> value
    // factor id -> two factor ids whose product it is (-1: none; a second
    // part -1 means the factor equals the first part)
    std::vector<std::pair<int32_t, int32_t>> parts;
    std::vector<int32_t> last_pivot;             // the previous pivot as factor ids
    std::map<std::vector<int32_t>, quoly*> products;   // products of factor lists, kept one step
    std::map<std::vector<int32_t>, int32_t> used;      // the step that last used each product
    // (f, d) -> the id of f / d; -1 when d does not divide f, NO_FACTOR when the quotient is 1.
    std::map<std::pair<int32_t, int32_t>, int32_t> quotients;
    static constexpr int32_t NO_FACTOR = -2;

    // The local entries start as a copy of m's.
    FactoredRows(sparse* m, int32_t size);
    ~FactoredRows();
    FactoredRows(const FactoredRows&) = delete;
    FactoredRows& operator=(const FactoredRows&) = delete;

    // Rows k and moved of the matrix were interchanged (the local entries
    // took the same interchange as the matrix's shadow).
    void interchange(int32_t k, int32_t moved);
    // Step k with the pivot at (k, k): rows k + 1 .. n of m become their
    // fraction-free values after step k.
    void step(sparse* m, int32_t k);

  private:
    int32_t add_factor(quoly* q);
    int32_t intern(quoly* v);
    bool divide_factor(std::vector<int32_t>* ids, int32_t d);
    bool split_by_gcd(std::vector<int32_t>* ids, std::vector<int32_t>* rest, int32_t d);
    quoly* product(const std::vector<int32_t>& ids, int32_t k);
    std::vector<int32_t> settle(std::vector<int32_t>* num);
    // The product of ids (one factor itself); null for none.
    quoly* divisor(const std::vector<int32_t>& ids, int32_t k);
    void multiply_row(colm* row, const std::vector<int32_t>& ids, int32_t k);
    void show(sparse* m, int32_t r, int32_t k);
};
