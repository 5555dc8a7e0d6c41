// Sort[a]: rows ordered by their first entries.
#include "builtins/array_handlers.h"

#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/dense_rowcol.h"
#include "matrix/left_out_cells.h"
#include "storage/assign.h"
#include "storage/sorting.h"
#include "storage/workblocks.h"

namespace {

// The sort works on a copy of the cell pointers: the store is written only
// once the order is complete.
void sort_dense(array* a) {
    const int32_t rows = a->rows;
    const int64_t cells = int64_t{a->last} - a->first + 1;
    if (rows < 1 || cells < rows) return;
    const int32_t columns = static_cast<int32_t>(cells / rows);
    for (int32_t r = 0; r < rows; r++)
        if (!*cell_at(int64_t{a->first} + r)) bfail(369, a->name);
    // The rows move as the ring orders them: left-out cells take their
    // elements of the ring first.
    enter_ring_cells(a->first, a->last);
    WorkBlock work(token.name);
    const int64_t n = int64_t{rows} * columns;
    for (int64_t t = 0; t < n; t++) work.cells[t] = *cell_at(a->first + t);
    arraysort(work.cells, 0, rows - 1, rows, columns);
    fillup(rows, columns, a->first, work.cells);
}

constexpr int32_t SPSORT_MAX_ROWS = SPSORT_PAGES * SPSORT_PAGE_ROWS;   // 10,240,000

void sort_sparse(array* a) {
    if (using_spsort) bfail(371, a->name);
    const int32_t rows = a->rows;
    if (rows < 1) return;
    if (rows - 1 > SPSORT_MAX_ROWS - 1) bfail(372, a->name);
    // One spsort page per frame; every row must have a first entry to
    // compare.
    int32_t pages = 0;
    for (sparse* f = a->sparse; f && pages * SPSORT_PAGE_ROWS < rows; f = f->next) spsort[pages++] = f;
    if (int64_t{pages} * SPSORT_PAGE_ROWS < rows) bfail(370, a->name);
    // As in a dense array, left-out entries take their elements first.
    enter_ring_entries(a);
    for (int32_t r = 0; r < rows; r++)
        if (!spsort[r / SPSORT_PAGE_ROWS]->row[r % SPSORT_PAGE_ROWS]) bfail(370, a->name);
    SpsortInUse in_use;
    sparse_arraysort(0, 0, rows - 1, (rows - 1) / SPSORT_PAGE_ROWS);
}

}  // namespace

void builtin_sort(FILE** source, quoly** result, name** pending) {
    bnext(source, pending);
    array_operand a;
    array_argument(source, pending, &a);
    whole_array(a);
    if (a.record->sparse)
        sort_sparse(a.record);
    else
        sort_dense(a.record);
    quoly_set(0, result);
}
