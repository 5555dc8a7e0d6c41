#include "det/int_determ.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "det/det_state.h"
#include "det/int_determ_elim.h"
#include "det/word_arith.h"
#include "matrix/array_store.h"
#include "matrix/extremes.h"
#include "matrix/measures.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

int32_t eliminate_mod(std::vector<uint32_t>& a, int32_t n, int32_t value) {
    const uint64_t p = static_cast<uint32_t>(modulus);
    if (!finf && mod_is_prime && p >= 2) {
        // The value does not depend on the pivots under a prime modulus.
        const uint32_t d = wordmod::det(a.data(), n, wordmod::Prime(static_cast<uint32_t>(p)));
        int64_t v = value % static_cast<int64_t>(p);
        if (v < 0) v += static_cast<int64_t>(p);
        return static_cast<int32_t>(static_cast<uint64_t>(v) * d % p);
    }
    auto A = [&](int32_t i, int32_t j) -> uint32_t& { return a[static_cast<size_t>(i) * n + j]; };
    for (int32_t k = 0; k < n; k++) {
        poll_interrupt();
        int32_t r = -1;
        int32_t nonzero = -1;
        for (int32_t i = k; i < n; i++) {
            const uint32_t v = A(i, k);
            if (v == 0) continue;
            if (nonzero < 0) nonzero = i;
            if (finf || mod_is_prime || smallgcd(static_cast<int32_t>(v), modulus) == 1) {
                r = i;
                break;
            }
        }
        if (nonzero < 0) return 0;
        if (r < 0) {
            // Every candidate is a zero divisor, which no step can divide
            // by. Subtracting whole multiples of the row with the least
            // residue in column k, as in Euclid's algorithm, leaves the
            // determinant alone and ends with one entry in the column, so
            // that the step needs no division at all.
            for (;;) {
                int32_t least = -1;
                for (int32_t i = k; i < n; i++)
                    if (A(i, k) != 0 && (least < 0 || A(i, k) < A(least, k))) least = i;
                bool alone = true;
                for (int32_t i = k; i < n; i++) {
                    if (i == least || A(i, k) == 0) continue;
                    alone = false;
                    const uint64_t q = A(i, k) / A(least, k);
                    for (int32_t j = k; j < n; j++)
                        A(i, j) = static_cast<uint32_t>((A(i, j) + (p - q % p) * A(least, j)) % p);
                }
                if (alone) {
                    if (least != k) {
                        for (int32_t j = k; j < n; j++) std::swap(A(k, j), A(least, j));
                        if (value > 0) value = modulus - value;
                    }
                    break;
                }
            }
            value = modmult(value, static_cast<int32_t>(A(k, k)));
            continue;
        }
        if (r != k) {
            for (int32_t j = k; j < n; j++) std::swap(A(k, j), A(r, j));
            if (!finf && value > 0) value = modulus - value;
        }
        const int32_t piv = static_cast<int32_t>(A(k, k));
        value = modmult(value, piv);
        int32_t inv = 0;
        if (finf || mod_is_prime)
            mod_inverse(piv, &inv);
        else
            emod_inverse(piv, &inv);
        for (int32_t i = k + 1; i < n; i++) {
            const uint32_t e = A(i, k);
            if (e == 0) continue;
            const int32_t m = modmult(static_cast<int32_t>(e), inv);
            if (finf) {
                for (int32_t j = k + 1; j < n; j++)
                    A(i, j) ^= static_cast<uint32_t>(modmult(m, static_cast<int32_t>(A(k, j))));
            } else {
                const uint64_t neg = p - static_cast<uint64_t>(m);
                uint32_t* row = &A(i, 0);
                const uint32_t* prow = &A(k, 0);
                for (int32_t j = k + 1; j < n; j++) row[j] = static_cast<uint32_t>((row[j] + neg * prow[j]) % p);
            }
        }
    }
    return value;
}

namespace {

void load_residues(std::vector<uint32_t>& a, quoly** cells, int32_t n) {
    a.resize(static_cast<size_t>(n) * n);
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = 0; i < n; i++)
            a[static_cast<size_t>(i) * n + j] = static_cast<uint32_t>(cells[int64_t{j} * n + i]->nnum->value);
}

// The entry's bit size (-1 for 0), uninitialised array cells set to 0.
int32_t entry_size(quoly** slot) {
    if (!*slot) set_uninitialised(slot);
    const imag* x = (*slot)->nnum;
    return size_of(x->head->digit, x->count);
}

// The longest entry and the non-zero count of each row (or column). The
// determinant is below the product of the rows' norms and below that of the
// columns', each norm below 2^(longest + 1) x sqrt(count); a few long rows
// weigh in once each by rows but in every column by columns, so the bound
// takes the smaller exponent of the two.
class LineSizes {
public:
    explicit LineSizes(int32_t lines) : longest_(static_cast<size_t>(lines), -1), count_(static_cast<size_t>(lines), 0) {}
    void add(int32_t line, int32_t size) {
        if (size > longest_[line]) longest_[line] = size;
        count_[line]++;
    }
    // A bit exponent e with |det| < 2^e.
    int64_t exponent() const {
        int64_t A = 0, S = 0;
        for (size_t k = 0; k < longest_.size(); k++) {
            A += longest_[k] + 1;
            S += size_of(count_[k], 1) + 1;
        }
        return (S + 1) / 2 + A;
    }

private:
    std::vector<int32_t> longest_;
    std::vector<int32_t> count_;
};

void make_bound(imag* B, int32_t e, int whole) {
    if (e < 0) e = 0;
    if (whole) e = (e + 27) / 28 * 28;
    setvalue(int32_t{1} << (e % 28), B);
    fillout(B, e / 28);
}

void smallness(int* small, int32_t rows, int32_t cols, int32_t total, int weighted) {
    const int32_t m = rows > cols ? rows : cols;
    if (weighted)
        *small = double(m) * m * fsmallsize(m) > total;
    else
        *small = int64_t{m} * m * smallsize > total;
}

}  // namespace

void mod_determ(quoly** cells, int32_t n, quoly* result) {
    std::vector<uint32_t> a;
    load_residues(a, cells, n);
    result->nnum->value = eliminate_mod(a, n, result->nnum->value);
}

void find_pseudo(array* arr, quoly** cells, imag* B, int* small, int32_t rows, int32_t cols, int32_t* total,
                 int weighted, int whole) {
    if (arr && arr->sparse) {
        sp_find_pseudo(arr->sparse, B, small, rows, cols, total, weighted, whole);
        return;
    }
    int64_t sum = 0;
    LineSizes by_rows(rows), by_cols(cols);
    for (int32_t j = 0; j < cols; j++)
        for (int32_t i = 0; i < rows; i++) {
            const int64_t off = int64_t{j} * rows + i;
            quoly** slot = arr ? cell_at(arr->first + off) : &cells[off];
            const int32_t s = entry_size(slot);
            if (s < 0) continue;
            sum += s;
            by_rows.add(i, s);
            by_cols.add(j, s);
        }
    *total = static_cast<int32_t>(sum);
    make_bound(B, static_cast<int32_t>(std::min(by_rows.exponent(), by_cols.exponent())), whole);
    smallness(small, rows, cols, *total, weighted);
}

void sp_find_pseudo(sparse* frame, imag* B, int* small, int32_t rows, int32_t cols, int32_t* total,
                    int weighted, int whole) {
    int64_t sum = 0;
    LineSizes by_rows(rows), by_cols(cols);
    sparse* f = frame;
    for (int32_t r = 0; r < rows && f; r++) {
        for (colm* e = f->row[r % SPARSE_FRAME_ROWS]; e; e = e->next) {
            const imag* x = e->val->nnum;
            const int32_t s = size_of(x->head->digit, x->count);
            if (s < 0) continue;
            sum += s;
            by_rows.add(r, s);
            if (e->col >= 1 && e->col <= cols) by_cols.add(e->col - 1, s);
        }
        if (r % SPARSE_FRAME_ROWS == SPARSE_FRAME_ROWS - 1) f = f->next;
    }
    *total = static_cast<int32_t>(sum);
    make_bound(B, static_cast<int32_t>(std::min(by_rows.exponent(), by_cols.exponent())), whole);
    smallness(small, rows, cols, *total, weighted);
}

int int_determ(quoly** result, array* arr, quoly** cells, int32_t n, quoly** bound) {
    int32_t limit = n - 1 < mincutoff ? n - 1 : mincutoff;
    int small = 0;
    int32_t total = 0;
    const bool computed = (*bound)->isnum && (*bound)->nnum->count == 1 && (*bound)->nnum->head->digit == -1;
    imag* B = nullptr;
    if (computed) {
        B = new_number();
        find_pseudo(arr, cells, B, &small, n, n, &total, 0, 0);
        scalar_to_quoly(B, bound);
        free_imag(&B);
    } else {
        // A bound of the caller's: the size total is measured all the same.
        imag* scratch = new_number();
        find_pseudo(arr, cells, scratch, &small, n, n, &total, 0, 0);
        free_imag(&scratch);
    }
    B = (*bound)->nnum;
    const int32_t L = B->count;
    const bool plain = int64_t{n} * n < 302 && total <= sizeval && L > 599;
    if (!plain) limit = n - 1;
    // Gather the array's cells (store pointers, not copies) when none were given.
    std::vector<quoly*> gathered;
    if (!cells) {
        gathered.resize(static_cast<size_t>(n) * n);
        for (int64_t c = 0; c < int64_t{n} * n; c++) {
            quoly** slot = cell_at(arr->first + c);
            if (!*slot) set_uninitialised(slot);
            gathered[c] = *slot;
        }
        cells = gathered.data();
    }
    if (plain) {
        int_determ_elimination(result, cells, n, limit);
        return 0;
    }
    bool tables = false;
    const int32_t primes = remaindering_primes(B, &tables);
    if (!tables && fraction_free_cheaper(DetShape(cells, n), primes))
        int_determ_fraction_free(result, cells, n);
    else
        small_mod_determ(n, result, cells, B);
    return 0;
}
