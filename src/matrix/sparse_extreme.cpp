// The position of the largest, smallest or smallest positive element of a
// sparse matrix, implicit zeros included where they can win.
#include "interp/settings.h"
#include "matrix/extremes.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_sums.h"
#include "toplevel/loop.h"

void sparse_max_min(sparse* first, int32_t n, int32_t m, int maximum, int positive, int64_t* pos) {
    extreme_state st{maximum, positive, 0, nullptr, 0};
    // A zero is never above 0: the positive minimum offers none.
    bool zero_offered = !maximum && positive;
    auto place = [n](int32_t row, int32_t col) { return int64_t{row - 1} + int64_t{col - 1} * n; };
    RowWalk w(first);
    for (int32_t r = 1; r <= n; r++, w.next()) {
        int32_t k = 0;
        for (const colm* e = *w.head(); e; e = e->next) {
            k++;
            if (!zero_offered && e->col > k) {
                consider(quol_num_0, place(r, k), &st);
                zero_offered = true;
            }
            consider(e->val, place(r, e->col), &st);
        }
        if (!zero_offered && k < m) {
            consider(quol_num_0, place(r, k + 1), &st);
            zero_offered = true;
        }
    }
    *pos = st.found ? st.position + addresser : addresser - 1;
}
