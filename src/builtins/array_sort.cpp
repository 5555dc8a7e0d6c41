// Sort[a]: rows ordered by their first entries.
#include "builtins/array_handlers.h"

#include <unordered_map>
#include <vector>

#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/scalars.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/dense_rowcol.h"
#include "matrix/left_out_cells.h"
#include "matrix/sparse.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/sorting.h"
#include "storage/workblocks.h"
#include "toplevel/ring_change.h"

namespace {

// The elements of the ring read for left-out cells, freed unless they
// went into the array.
struct ElementsRead {
    std::vector<quoly*> copy;   // per cell: its element when it is left out, else null
    explicit ElementsRead(int64_t n) : copy(static_cast<size_t>(n), nullptr) {}
    ~ElementsRead() {
        for (quoly*& q : copy) free_quoly(&q);
    }
    ElementsRead(const ElementsRead&) = delete;
    ElementsRead& operator=(const ElementsRead&) = delete;
};

// The sort works on a copy of the cell pointers: the store is written only
// once the order is complete.
void sort_dense(array* a) {
    const int32_t rows = a->rows;
    const int64_t cells = int64_t{a->last} - a->first + 1;
    if (rows < 1 || cells < rows) return;
    const int32_t columns = static_cast<int32_t>(cells / rows);
    for (int32_t r = 0; r < rows; r++)
        if (!*cell_at(int64_t{a->first} + r)) bfail(369, a->name);
    const int64_t n = int64_t{rows} * columns;
    // Left-out cells are ordered by their elements of the ring. A row that
    // moves takes the elements along (written, as a starred array's copies
    // are); one that stays keeps its own values.
    for (int64_t t = 0; t < n; t++) refuse_unless_converts(*cell_at(a->first + t));
    ElementsRead read(n);
    std::unordered_map<const quoly*, int64_t> from;
    WorkBlock work(token.name);
    for (int64_t t = 0; t < n; t++) {
        quoly* own = *cell_at(a->first + t);
        quoly*& element = read.copy[static_cast<size_t>(t)];
        read_left_out_converted(own, &element);
        work.cells[t] = element ? element : own;
        if (work.cells[t]) from[work.cells[t]] = t;
    }
    arraysort(work.cells, 0, rows - 1, rows, columns);
    std::vector<char> moved(static_cast<size_t>(n), 0);
    for (int64_t t = 0; t < n; t++) {
        if (!work.cells[t]) continue;
        const int64_t s = from[work.cells[t]];
        if (s == t)
            work.cells[t] = *cell_at(a->first + t);
        else
            moved[static_cast<size_t>(s)] = 1;
    }
    for (int64_t s = 0; s < n; s++) {
        quoly*& element = read.copy[static_cast<size_t>(s)];
        if (!element || !moved[static_cast<size_t>(s)]) continue;
        // The element went into the array; the value it stood for is gone.
        retire_value(cell_at(a->first + s));
        element = nullptr;
    }
    fillup(rows, columns, a->first, work.cells);
}

constexpr int32_t SPSORT_MAX_ROWS = SPSORT_PAGES * SPSORT_PAGE_ROWS;   // 10,240,000

// A left-out sparse array is sorted by its elements of the ring: the rows
// the sort sees are those of a copy holding them. As in a dense array, a
// row that moves takes its elements along (written) and one that stays
// keeps its own entries.
class RowsInRing {
  public:
    explicit RowsInRing(array* a) : a_(a), copy_(sparse_read_in_ring(a)) {
        if (!copy_) enter_ring_entries(a);
    }
    ~RowsInRing() {
        if (copy_) free_sparse(&copy_, a_->rows, 1);
    }
    RowsInRing(const RowsInRing&) = delete;
    RowsInRing& operator=(const RowsInRing&) = delete;
    // The frames the sort works on.
    sparse* frames() { return copy_ ? copy_ : a_->sparse; }
    // After the sort of the copy: the array's rows in the copy's order.
    void settle(const std::unordered_map<const colm*, int32_t>& from) {
        if (!copy_) return;
        const int32_t rows = a_->rows;
        std::vector<colm*> own(static_cast<size_t>(rows));
        for (int32_t r = 0; r < rows; r++) own[static_cast<size_t>(r)] = *row_head(a_->sparse, r + 1);
        for (int32_t t = 0; t < rows; t++) {
            const int32_t s = from.at(*row_head(copy_, t + 1));
            colm** link = row_head(a_->sparse, t + 1);
            *link = own[static_cast<size_t>(s)];
            if (s == t) continue;
            while (*link) {
                quoly* element = nullptr;
                if (read_left_out_converted((*link)->val, &element)) {
                    // The element went into the array; the value it stood for is gone.
                    retire_value(&(*link)->val);
                    (*link)->val = element;
                    if (quoly_iszero(element)) {
                        free_colm(link);
                        continue;
                    }
                }
                link = &(*link)->next;
            }
        }
    }

  private:
    array* a_;
    sparse* copy_;
};

void sort_sparse(array* a) {
    if (using_spsort) bfail(371, a->name);
    const int32_t rows = a->rows;
    if (rows < 1) return;
    if (rows - 1 > SPSORT_MAX_ROWS - 1) bfail(372, a->name);
    // One spsort page per frame; every row must have a first entry to
    // compare.
    int32_t pages = 0;
    for (sparse* f = a->sparse; f && pages * SPSORT_PAGE_ROWS < rows; f = f->next) pages++;
    if (int64_t{pages} * SPSORT_PAGE_ROWS < rows) bfail(370, a->name);
    RowsInRing in_ring(a);
    pages = 0;
    for (sparse* f = in_ring.frames(); f && pages * SPSORT_PAGE_ROWS < rows; f = f->next) spsort[pages++] = f;
    std::unordered_map<const colm*, int32_t> from;
    for (int32_t r = 0; r < rows; r++) {
        const colm* head = spsort[r / SPSORT_PAGE_ROWS]->row[r % SPSORT_PAGE_ROWS];
        if (!head) bfail(370, a->name);
        from[head] = r;
    }
    {
        SpsortInUse in_use;
        sparse_arraysort(0, 0, rows - 1, (rows - 1) / SPSORT_PAGE_ROWS);
    }
    in_ring.settle(from);
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
