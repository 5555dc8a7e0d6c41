// The sparse-row search of the residue elimination: within a window of the
// remaining rows, the row with the fewest active entries.
#include <algorithm>
#include <cstdio>

#include "matrix/sparse_finders.h"
#include "matrix/sparse_impl.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

int spec1_mod_sparse_findbest(sparse* first, int32_t n, int32_t k, int32_t* row_out, int32_t* col_out,
                              const int32_t* lengths) {
    *col_out = -1;
    // The window shrinks as the elimination advances: the search pays while
    // many rows remain, and costs a whole pass otherwise.
    const int32_t last = std::max(n / 2 - k, n - 4 * (n - k) / 5);
    const int32_t factor = std::max(2, 9 - static_cast<int32_t>(int64_t{200} * k / n));
    if (last < k) return 0;
    int32_t best = 268435455;
    int32_t count_k = 0;
    RowWalk w(row_frame(first, k));
    w.h = (k - 1) % SPARSE_FRAME_ROWS;
    for (int32_t r = k; r <= last; r++, w.next()) {
        const colm* e = *w.head();
        if (lengths) {
            // The caller keeps every row from k on within columns >= k.
            const int32_t c = lengths[r];
            if (c == 0) {
                *col_out = -1;
                return 1;
            }
            if (r == k) count_k = c;
            if (c < best) {
                *row_out = r;
                *col_out = e->col;
                best = c;
                if (int64_t{factor} * c < count_k) return 1;
            }
            continue;
        }
        while (e && e->col < k) e = e->next;
        if (!e) {
            *col_out = -1;
            return 1;
        }
        const int32_t first_col = e->col;
        int32_t c = 0;
        // A row cannot win once it has as many entries as the best so far.
        for (; e && c < best; e = e->next) {
            if (!e->val) {
                std::printf(" modulus, initrow, row, col, %li, %li, %li, %li\n", long{modulus}, long{k}, long{r},
                            long{e->col});
                tarvex_error("0 found in special_mod_sparse_findbest", 1);
                abandon_statement();
            }
            c++;
        }
        if (r == k) count_k = c;
        if (c < best) {
            *row_out = r;
            *col_out = first_col;
            best = c;
            if (int64_t{factor} * c < count_k) return 1;
        }
    }
    return 3 * int64_t{best} < 2 * int64_t{count_k};
}
