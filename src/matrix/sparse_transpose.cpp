// Transposition by moving entries, the shared-value transposed index, and
// row reversal.
//
// Both transposes take the old rows from the last up and push each entry at
// the front of its new row, so every new row ends in ascending order
// without a sort.
#include <vector>

#include "matrix/sparse_impl.h"
#include "matrix/sparse_whole.h"

void trans_sparse(sparse** slot, int32_t n, int32_t m) {
    sparse* old = *slot;
    sparse* fresh = new_frame_chain(m);
    const std::vector<sparse*> from = frames_of(old);
    const std::vector<sparse*> to = frames_of(fresh);
    for (int32_t r = n; r >= 1; r--) {
        colm** head = head_in(from, r);
        colm* e = *head;
        *head = nullptr;
        while (e) {
            colm* next = e->next;
            colm** target = head_in(to, e->col);
            e->col = r;
            e->next = *target;
            *target = e;
            e = next;
        }
    }
    // The entries are the same, in the ring or left out of it as before.
    fresh->mode = old->mode;
    give_back_frames(old);
    *slot = fresh;
}

void flip_sparse(sparse** src, sparse** dst, int32_t n, int32_t m) {
    sparse* fresh = new_frame_chain(m);
    const std::vector<sparse*> from = frames_of(*src);
    const std::vector<sparse*> to = frames_of(fresh);
    for (int32_t r = n; r >= 1; r--)
        for (colm* e = *head_in(from, r); e; e = e->next) {
            colm** target = head_in(to, e->col);
            colm* c = take_colm();
            c->col = r;
            c->val = e->val;
            c->next = *target;
            *target = c;
        }
    *dst = fresh;
}

void reverse_sparse(sparse** slot, int32_t n) {
    sparse* old = *slot;
    sparse* fresh = new_frame_chain(n);
    const std::vector<sparse*> to = frames_of(fresh);
    RowWalk from(old);
    for (int32_t r = 1; r <= n; r++, from.next()) {
        *head_in(to, n + 1 - r) = *from.head();
        *from.head() = nullptr;
    }
    fresh->mode = old->mode;
    give_back_frames(old);
    *slot = fresh;
}
