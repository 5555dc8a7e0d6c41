// Hermite and Smith normal forms with transforms on a matrix of flat
// integers: every entry is read from its digit chain once, worked on in
// place and written back once.
//
// The Hermite form eliminates row by row with extended-gcd steps, which
// keep the remaining block at the size of the matrix's minors. The Smith
// form alternates column and row Hermite forms until the matrix is
// diagonal, then mends the divisibility chain with 2 x 2 gcd steps: every
// Hermite form of a full-rank block is unique and bounded by its
// determinant, so neither the matrix nor the transforms grow beyond a few
// determinants' size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "numbers/flat_int.h"
#include "storage/records.h"

struct FlatMatrix {
    int32_t R = 0, K = 0;
    std::vector<FlatInt> v;   // column-major: (i, j) at j x R + i
    FlatMatrix() = default;
    FlatMatrix(int32_t rows, int32_t cols) : R(rows), K(cols), v(static_cast<size_t>(rows) * cols) {}
    FlatInt& at(int32_t i, int32_t j) { return v[static_cast<size_t>(j) * R + i]; }
};

FlatMatrix flat_identity(int32_t n);

// A transform Q kept with its inverse: a column operation on the matrix is
// made on Q's columns (Q := Q G) and undone on the inverse's rows
// (Qi := G^-1 Qi). Either may be null.
struct FlatTransform {
    FlatMatrix* fwd = nullptr;
    FlatMatrix* inv = nullptr;
};

// Column Hermite form of a in place (lower triangular, positive pivots,
// entries left of a pivot in [0, pivot), zero columns after the rank): a :=
// a x G with G unimodular, kept in t. Returns the rank. The verbose trace
// shows both phases as the dense or the sparse steps show them, or none.
// d (no transform kept; a of full row rank): a positive multiple of the
// determinant of a's column lattice, which bounds every entry on the way.
enum class HermiteTrace { none, dense, sparse };
int32_t flat_hermite(FlatMatrix& a, FlatTransform t, HermiteTrace trace = HermiteTrace::none,
                     const FlatInt* d = nullptr);

// The same without transform or trace for a of full row rank, d a
// multiple of the determinant of its column lattice: every step modulo d
// from the first on, which costs little when d is small.
int32_t flat_hermite_modulo(FlatMatrix& a, const FlatInt& d);

// g = gcd(a, b) > 0 = s a + t b, a and b non-zero, |s| <= |b| / g, |t| <= |a| / g.
void xgcd(const FlatInt& a, const FlatInt& b, FlatInt& g, FlatInt& s, FlatInt& t);

// *d := |det| of the first (else the last) R columns of the R x K matrix a
// (R <= K), a multiple of the determinant of a's column lattice; false
// when both are singular (or R > K).
bool lattice_multiple(FlatMatrix& a, FlatInt* d);
// The bound the Hermite form of a takes when it keeps no column transform:
// lattice_multiple's, for a matrix large enough to gain by it; else null.
std::unique_ptr<FlatInt> bounded_by(FlatMatrix& a, const int flags[4]);

// Smith form diag(d1, d2, ...), d1 | d2 | ..., non-negative, in place:
// a := U x a x V with U kept in rows (rows.fwd holds U transposed,
// rows.inv holds U^-1 transposed) and V in cols. Returns the rank.
int32_t flat_smith(FlatMatrix& a, FlatTransform rows, FlatTransform cols);

// The R x K column-major plain-integer cells as flat integers, and back
// (each cell a new quoly; the old ones are not freed).
void flat_from_cells(quoly** cells, int32_t R, int32_t K, FlatMatrix& out);
void flat_to_cells(FlatMatrix& m, quoly** cells, bool transposed = false);
