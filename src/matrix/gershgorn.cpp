// The row-sum bound (see gershgorn.h). The terms C(n, k)·R^k rise while
// R·(n - k) > k + 1 and fall after, so only the largest one is formed: the
// same maximum as comparing them all, without n long products.
#include "matrix/gershgorn.h"

#include <algorithm>
#include <optional>

#include "matrix/sparse_impl.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"
#include "toplevel/progress.h"

namespace {

struct Owned {
    imag* n = new_number();
    Owned() { setvalue(0, n); }
    ~Owned() {
        if (n) free_imag(&n);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

}  // namespace

void gershgorn(quoly** result, array* a, int32_t n) {
    if (modularmode) return;
    std::optional<Progress> progress;
    if (n > 1000) progress.emplace("Gershgorn estimate. counting to ", n);
    Owned R, s, t;
    RowWalk w(a->sparse);
    for (int32_t i = 0; i < n; i++, w.next()) {
        setvalue(0, s.n);
        for (colm* c = *w.head(); c; c = c->next) {
            // The minimal polynomial refuses such an entry with this error
            // too, but only after the bound is formed.
            if (!c->val->isnum) {
                error(254, a->name);
                abandon_statement(254);
            }
            abs_val_num(c->val->nnum, t.n);
            fastsum(s.n, t.n);
        }
        if (bigger(s.n, R.n)) num_assign(s.n, R.n);
    }
    // The largest term's index: the least k with R·(n - k) <= k + 1, or n.
    int32_t k = n;
    if (R.n->count == 1 && !iszero(R.n)) {
        const __int128 r = R.n->head->digit;
        k = static_cast<int32_t>(std::max<__int128>(1, (r * n - 1 + r) / (r + 1)));
        while (k > 1 && r * (n - (k - 1)) <= k) k--;
        while (k < n && r * (n - k) > k + 1) k++;
    }
    Owned b, q, rem, d;
    setvalue(1, b.n);
    if (!iszero(R.n)) {
        // C(n, k) by the running product, exact at every step.
        for (int32_t i = 1; i <= k; i++) {
            setvalue(n - i + 1, d.n);
            fast_mult(b.n, d.n, b.n);
            setvalue(i, d.n);
            divide(b.n, d.n, q.n, rem.n);
            num_assign(q.n, b.n);
        }
        number_power(R.n, static_cast<uint32_t>(k));
        fast_mult(b.n, R.n, b.n);
    } else {
        setvalue(0, b.n);
    }
    free_quoly(result);
    quoly* out;
    newquoly(&out);
    out->den = nullptr;
    out->rat = 0;
    out->isnum = 1;
    out->nnum = b.n;
    b.n = nullptr;
    *result = out;
}
