// Tablemerge: intersection, union and merge of sorted sparse columns.
#include "builtins/array_handlers.h"
#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/extremes.h"
#include "matrix/left_out_cells.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "storage/assign.h"

namespace {

// A copy of b's matrix in a record of its own (in no name table), for the
// workers that move row lists out of their second operand: b keeps its
// entries. What the worker leaves in the copy is freed on every exit.
struct SecondOperand {
    array copy{};
    explicit SecondOperand(const array* b) {
        copy.rows = b->rows;
        copy.first = 0;
        copy.last = -1;
        spec_num_assign(const_cast<imag*>(&b->size), &copy.size);
        sparse* frame = b->sparse;
        copy_sparse(&frame, &copy.sparse, b->rows, 0);
    }
    ~SecondOperand() {
        free_sparse(&copy.sparse, copy.rows, 1);
        special_free(&copy.size);
    }
    SecondOperand(const SecondOperand&) = delete;
    SecondOperand& operator=(const SecondOperand&) = delete;
};

void sparse_whole(const array_operand& a) {
    whole_array(a);
    if (!a.record->sparse) bfail(333, a.nm.name);
}

// Every row 1..rows of the chain must hold an entry.
void every_row_held(const array* a) {
    const sparse* f = a->sparse;
    for (int32_t r = 0; r < a->rows; r++) {
        if (r > 0 && r % SPARSE_FRAME_ROWS == 0) f = f->next;
        if (!f || !f->row[r % SPARSE_FRAME_ROWS]) bfail(370, a->name);
    }
}

}  // namespace

void builtin_tablemerge(FILE** source, quoly** result, name** pending) {
    array_operand a, b;
    read_command(source, pending, &a, nullptr, false);
    sparse_whole(a);
    next_argument(source, pending, 70);
    array_argument(source, pending, &b);
    sparse_whole(b);
    next_argument(source, pending, 70);
    const int32_t k = count_argument(source, pending);
    if (k < 0 || k > 2) bfail(373, token.name);
    close_arguments(source, pending);
    array* ra = a.record;
    // Left-out arrays take part as their elements of the ring; the first,
    // rewritten, takes them for good, as if assigned.
    SparseInRing a_read(ra), b_read(b.record);
    every_row_held(a_read.record());
    every_row_held(b_read.record());
    enter_ring_entries(ra);
    sparse* old = ra->sparse;
    int32_t count = 0;
    if (k == 0 && b.record->sparse != ra->sparse) {
        // The intersection only reads its second operand.
        count = intersect(ra, b_read.record());
    } else {
        SecondOperand second(b_read.record());
        count = k == 0 ? intersect(ra, &second.copy)
              : k == 1 ? synth_union(ra, &second.copy)
                       : synth_merge(ra, &second.copy);
    }
    follow_new_frames(ra, old);
    quoly_set(count, result);
}
