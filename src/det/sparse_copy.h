// Working copies of a sparse matrix for the interpolation methods: a frame
// chain freed on every exit, filled entry by entry through a callback.
#pragma once
#include <cstdint>

#include "matrix/sparse.h"
#include "quoly/quoly.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"

namespace polydet {

// A sparse copy freed on every exit.
struct SparseCopy {
    sparse* f = nullptr;
    int32_t n;
    explicit SparseCopy(int32_t rows) : n(rows) { f = new_frame_chain(rows); }
    ~SparseCopy() {
        if (f) free_sparse(&f, n, 1);
    }
    SparseCopy(const SparseCopy&) = delete;
    SparseCopy& operator=(const SparseCopy&) = delete;
};

// The copy of the matrix with every entry through `value`, which fills
// an empty slot or leaves it null for an entry that became 0.
template <class F>
void evaluated_copy(sparse* frame, int32_t n, SparseCopy& out, F value) {
    for (int32_t r = 1; r <= n; r++) {
        colm** tail = row_head(out.f, r);
        *tail = nullptr;
        for (colm* c = *row_head(frame, r); c; c = c->next) {
            quoly* q = nullptr;
            value(c->val, &q);
            if (!q) continue;
            if (q->isnum && quoly_iszero(q)) {
                free_quoly(&q);
                continue;
            }
            colm* e = take_colm();
            e->col = c->col;
            e->val = q;
            e->next = nullptr;
            *tail = e;
            tail = &e->next;
        }
    }
}

}  // namespace polydet
