// Left-out cells and entries read as elements of the ring (see left_out_cells.h).
#include "matrix/left_out_cells.h"

#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/ring_change.h"

CellsInRing::CellsInRing(int32_t first, int32_t rows, int32_t columns, int32_t stride) {
    for (int32_t c = 0; c < columns; c++)
        for (int32_t r = 0; r < rows; r++) {
            quoly** cell = cell_at(int64_t{first} + r + int64_t{c} * stride);
            if (!left_out_needs_reading(*cell)) continue;
            refuse_unless_converts(*cell);
            cells_.push_back({cell, *cell});
        }
    for (held& h : cells_) {
        quoly* read = nullptr;
        read_left_out_converted(h.own, &read);
        *h.cell = read;
    }
}

CellsInRing::~CellsInRing() {
    for (held& h : cells_) {
        free_quoly(h.cell);
        *h.cell = h.own;
    }
}

SparseInRing::SparseInRing(array* a, const entry_range& within)
    : own_(a), stand_in_(*a), copy_(a->sparse ? sparse_read_in_ring(a, within) : nullptr) {
    stand_in_.sparse = copy_;
}

SparseInRing::~SparseInRing() {
    if (copy_) free_sparse(&copy_, own_->rows, 1);
}

void enter_ring_entries(array* a) {
    if (!a->sparse) return;
    for (int32_t r = 1; r <= a->rows; r++)
        for (colm* e = *row_head(a->sparse, r); e; e = e->next) refuse_unless_converts(e->val);
    for (int32_t r = 1; r <= a->rows; r++) {
        colm** link = row_head(a->sparse, r);
        while (*link) {
            enter_ring_in_place(&(*link)->val);
            if (quoly_iszero((*link)->val))
                free_colm(link);
            else
                link = &(*link)->next;
        }
    }
}
