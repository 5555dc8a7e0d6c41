// Walkers shared by the sparse-matrix sources; not for other modules.
#pragma once
#include <cstdint>
#include <vector>

#include "matrix/sparse.h"

// Steps through the heads of rows 1, 2, ... of a chain, crossing frames.
struct RowWalk {
    sparse* f;
    int32_t h = 0;
    explicit RowWalk(sparse* first) : f(first) {}
    colm** head() const { return &f->row[h]; }
    void next() {
        if (++h == SPARSE_FRAME_ROWS) {
            h = 0;
            f = f->next;
        }
    }
};

// The frames of a chain by index, for operations that visit rows out of order.
inline std::vector<sparse*> frames_of(sparse* first) {
    std::vector<sparse*> v;
    for (; first; first = first->next) v.push_back(first);
    return v;
}
inline colm** head_in(const std::vector<sparse*>& frames, int32_t r) {
    return &frames[(r - 1) / SPARSE_FRAME_ROWS]->row[(r - 1) % SPARSE_FRAME_ROWS];
}

// Builds a chain row after row when the row count is not known ahead; an
// empty result is one frame.
struct ChainBuilder {
    sparse* first = nullptr;
    sparse* cur = nullptr;
    int32_t rows = 0;
    void push(colm* list) {
        if (rows % SPARSE_FRAME_ROWS == 0) {
            sparse* f;
            newsparse(&f);
            f->pending = 0;
            f->next = nullptr;
            if (cur)
                cur->next = f;
            else
                first = f;
            cur = f;
        }
        cur->row[rows % SPARSE_FRAME_ROWS] = list;
        rows++;
    }
    sparse* finish() {
        if (!first) {
            newsparse(&first);
            first->pending = 0;
            first->next = nullptr;
        }
        return first;
    }
};

// Frees the quolys and entries of rows 1..n and nulls their heads; the frames stay.
void clear_rows(sparse* first, int32_t n);
// A copy of a row list (values copied with quoly_assign, or negated).
colm* copy_list(const colm* src, int negate);
