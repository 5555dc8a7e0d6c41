// Binomial coefficients (see binomials.h). Every exact value is a table
// entry or reached from one by exact steps C(m+1, j+1) = C(m, j) (m+1) / (j+1)
// along a diagonal, or C(m+1, j) = C(m, j) (m+1) / (m+1-j) down a column.
#include "builtins/binomials.h"

#include <cstdint>

#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

constexpr int32_t TABLE_LAST_ROW = 150;
constexpr int32_t STEP_UP_LAST_ROW = 500;   // rows stepped up from the row 150
constexpr int32_t PRODUCT_LAST_ROW = 1754;
constexpr int32_t LINT_LAST_ROW = 30;        // C(30, 15) is the largest value below 2^28
// A range refusal names the built-in, as Sqrt's does: the token after the
// call, often ";", is no part of what went wrong.
constexpr const char* BUILTIN_NAME = "Binom";

// The table entry C(n, k): n a multiple of 3 from 3 to 150, 1 <= k < n.
imag* table_entry(int32_t n, int32_t k) {
    const int32_t m = n / 3;
    // The rows before row m hold floor(3j / 2) entries each, j < m.
    const int32_t start = (m & 1) ? (m - 1) * (3 * m - 1) / 4 : (3 * m - 4) * m / 4;
    if (k > n / 2) k = n - k;
    return binom[start + k - 1];
}

// The step every variant starts with: k := min(k, n - k); true when that
// settles the value (k < 1, or n < 3), which is then in *v.
bool settled(int32_t n, int32_t* k, int64_t* v) {
    if (*k > n / 2) *k = n - *k;
    if (*k < 1) {
        *v = 1;
        return true;
    }
    if (n < 3) {
        *v = n == 2 ? 2 : 1;
        return true;
    }
    return false;
}

// C(n, 1) or C(n, 2), n < 2^16 + 1 so that both fit a digit.
int64_t trivial(int32_t n, int32_t k) { return k == 1 ? n : int64_t{n} * (n - 1) / 2; }

// A digit number owned by the scope; lintmode is off meanwhile, so that the
// number routines work on the digits and freeing gives them back.
struct BigValue {
    LintOff digits;
    imag* x = new_number();
    ~BigValue() {
        if (x) free_imag(&x);
    }
    BigValue() = default;
    BigValue(const BigValue&) = delete;
    BigValue& operator=(const BigValue&) = delete;
    void set(int64_t v) { special_set(static_cast<int32_t>(v), x); }
    void copy(imag* entry) { spec_num_assign(entry, x); }
    // x := x * f / d, an exact division; f and d below 2^28.
    void step(int32_t f, int32_t d) {
        imag* t = new_number();
        special_set(f, t);
        multiply(x, t, x);
        special_set(d, t);
        imag* r = new_number();
        divide(x, t, x, r);
        free_imag(&r);
        free_imag(&t);
    }
};

// C(n, k) for 3 <= n < 153, 1 <= k <= n / 2, exact: the entry of the row
// n - n mod 3 stepped down the diagonal to row n.
void from_table_rows(int32_t n, int32_t k, BigValue* b) {
    const int32_t r = n % 3;
    const int32_t n3 = n - r;
    if (k - r < 1) {
        b->set(trivial(n, k));
        return;
    }
    b->copy(table_entry(n3, k - r));
    for (int32_t i = 1; i <= r; i++) b->step(n3 + i, k - r + i);
}

// C(n, k) for 153 <= n <= 500 with d = n - k < 148: from C(150, 150 - d)
// down the diagonal, three rows a step while they fit, then one.
void from_row_150(int32_t n, int32_t k, BigValue* b) {
    const int32_t d = n - k;
    int32_t m = TABLE_LAST_ROW;
    int32_t j = TABLE_LAST_ROW - d;
    b->copy(table_entry(m, j));
    for (; m + 3 <= n; m += 3, j += 3) b->step((m + 1) * (m + 2) * (m + 3), (j + 1) * (j + 2) * (j + 3));
    for (; m < n; m++, j++) b->step(m + 1, j + 1);
}

// C(n, k) by the product formula: after step i the value is C(n - k + i, i).
// Two steps go at once (factors below 1,755^2 < 2^28).
void by_product(int32_t n, int32_t k, BigValue* b) {
    if (k == 1 || (k == 2 && n < 16385)) {
        b->set(trivial(n, k));
        return;
    }
    const int32_t d = n - k;
    int32_t i = 1;
    b->set(1);
    if (k % 2) b->set(d + i++);
    for (; i < k; i += 2) b->step((d + i) * (d + i + 1), i * (i + 1));
}

// A plain-number quoly holding the digit number b (taken over).
void big_result(BigValue* b, quoly** slot) { scalar_to_quoly(b->x, slot); }

// C(n, k) mod modulus, or false after the error `limit_code` (the row
// needed lies beyond the table). k already folded, k >= 1, n >= 3.
bool residue_of(int32_t n, int32_t k, int limit_code, int32_t* out) {
    const int32_t p = modulus;
    if (k < p && mod_is_prime) {
        // Lucas: the higher base-p digits of n meet k's digits 0.
        n %= p;
        if (k > n) {
            *out = 0;
            return true;
        }
        int64_t v = 0;
        if (settled(n, &k, &v)) {
            *out = static_cast<int32_t>(v % p);
            return true;
        }
    }
    if (n > TABLE_LAST_ROW) {
        error(limit_code, BUILTIN_NAME);
        *out = 0;
        return false;
    }
    if (k <= 2) {
        *out = static_cast<int32_t>(trivial(n, k) % p);
        return true;
    }
    // Pascal's rule down from the table row n - n mod 3; the entries hold
    // k >= 1 only, which k >= 3 guarantees.
    auto entry = [p](int32_t row, int32_t j) -> int64_t { return chain_residue(table_entry(row, j), p); };
    int64_t v;
    switch (n % 3) {
    case 0:
        v = entry(n, k);
        break;
    case 1:
        v = entry(n - 1, k) + entry(n - 1, k - 1);
        break;
    default:
        v = entry(n - 2, k) + 2 * entry(n - 2, k - 1) + entry(n - 2, k - 2);
        break;
    }
    *out = static_cast<int32_t>(v % p);
    return true;
}

}  // namespace

void rat_binom(int32_t n, int32_t k, quoly** slot) {
    int64_t v = 0;
    if (settled(n, &k, &v)) {
        quoly_set(static_cast<int32_t>(v), slot);
        return;
    }
    BigValue b;
    if (n <= TABLE_LAST_ROW + 2) {
        from_table_rows(n, k, &b);
    } else if (n <= STEP_UP_LAST_ROW && n - k < TABLE_LAST_ROW - 2) {
        from_row_150(n, k, &b);
    } else {
        if (n > PRODUCT_LAST_ROW) {
            error(87, BUILTIN_NAME);
            quoly_set(0, slot);
            return;
        }
        by_product(n, k, &b);
    }
    big_result(&b, slot);
}

void lint_binom(int32_t n, int32_t k, quoly** slot) {
    int64_t v = 0;
    if (!settled(n, &k, &v)) {
        if (n > LINT_LAST_ROW) {
            error(239, BUILTIN_NAME);
            quoly_set(0, slot);
            return;
        }
        BigValue b;
        from_table_rows(n, k, &b);
        v = b.x->head->digit;   // C(30, 15) < 2^28: one digit
    }
    quoly_set(static_cast<int32_t>(v), slot);
}

void mod_binom(int32_t n, int32_t k, quoly** slot) {
    int64_t v = 0;
    int32_t r = 0;
    if (settled(n, &k, &v))
        r = word_residue(v);
    else
        residue_of(n, k, 87, &r);
    quoly_set(r, slot);
}

void ilint_binom(int32_t n, int32_t k, int32_t* out) {
    int64_t v = 0;
    if (settled(n, &k, &v)) {
        *out = static_cast<int32_t>(v);
        return;
    }
    if (n > TABLE_LAST_ROW) {
        error(279, BUILTIN_NAME);
        *out = 0;
        return;
    }
    BigValue b;
    from_table_rows(n, k, &b);
    if (b.x->count != 1) {
        // Like every value of the integer evaluator, a binomial must fit one digit.
        error(32, token.name);
        abandon_statement(32);
    }
    *out = b.x->head->digit;
}

void imod_binom(int32_t n, int32_t k, int32_t* out) {
    int64_t v = 0;
    if (settled(n, &k, &v))
        *out = word_residue(v);
    else
        residue_of(n, k, 279, out);
}

void binom_value(int32_t n, int32_t k, quoly** slot) {
    if (k < 0 || k > n)
        quoly_set(0, slot);
    else if (modularmode)
        mod_binom(n, k, slot);
    else if (lintmode)
        lint_binom(n, k, slot);
    else
        rat_binom(n, k, slot);
}
