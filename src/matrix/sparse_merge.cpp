// Merge and union of two sorted one-column monomial arrays.
#include "matrix/array_store.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "poly/monorder.h"

namespace {

// Walks the rows of one operand, skipping empty rows.
struct Cursor {
    RowWalk w;
    int32_t r = 1;
    int32_t n;
    Cursor(sparse* first, int32_t rows) : w(first), n(rows) { skip_empty(); }
    bool done() const { return r > n; }
    quoly* value() const { return (*w.head())->val; }
    colm* take() {
        colm* e = *w.head();
        *w.head() = nullptr;
        advance();
        return e;
    }
    void advance() {
        w.next();
        r++;
        skip_empty();
    }
    void skip_empty() {
        while (r <= n && !*w.head()) {
            w.next();
            r++;
        }
    }
};

int32_t combine(array* a, array* b, bool union_only) {
    const int32_t columns = array_columns(a) > array_columns(b) ? array_columns(a) : array_columns(b);
    Cursor ca(a->sparse, a->rows), cb(b->sparse, b->rows);
    ChainBuilder out;
    while (!ca.done() && !cb.done()) {
        // On a tie A's row goes first.
        const int c = quoly_mon_compare(ca.value(), cb.value());
        const bool take_a = c <= 0, same = c == 0;
        if (take_a) {
            out.push(ca.take());
            if (union_only && same) cb.advance();   // b's list stays in B
        } else {
            out.push(cb.take());
        }
    }
    while (!ca.done()) out.push(ca.take());
    while (!cb.done()) out.push(cb.take());
    give_back_frames(a->sparse);
    a->sparse = out.finish();
    const int32_t rows = out.rows;
    a->rows = rows > 0 ? rows : 1;
    special_set_2(rows, columns, &a->size);
    return rows;
}

}  // namespace

int32_t synth_merge(array* a, array* b) { return combine(a, b, false); }
int32_t synth_union(array* a, array* b) { return combine(a, b, true); }
