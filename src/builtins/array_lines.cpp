// Row and column exchange, reversal and sparse transposition in place.
#include <utility>

#include "builtins/array_handlers.h"
#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/dense_rowcol.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "storage/assign.h"

namespace {

constexpr int32_t SWAP_COLUMNS = 92;
constexpr int32_t SWAP_ROWS = 93;   // also switchrow_col's code for rows (']')

// A row or column number typed from addresser, as the array counts it
// (dense from 0, sparse from 1); it must name one of count lines.
int32_t line_index(FILE** source, name** pending, int32_t origin, int32_t count) {
    const int64_t typed = count_argument(source, pending, true);
    const int64_t k = typed - addresser + origin;
    if (k < origin || k >= int64_t{count} + origin) bfail(179, token.name);
    return static_cast<int32_t>(k);
}

}  // namespace

void builtin_swap_lines(FILE** source, quoly** result, name** pending, int32_t n) {
    array_operand a;
    read_command(source, pending, &a, nullptr, false);
    array* rec = a.record;
    const bool rows_wanted = n == SWAP_ROWS;
    const int32_t columns = array_columns(rec);
    // The lines exchanged: the whole array, or a dense block from a
    // subscripted cell to the end of the array.
    int64_t first = rec->first;
    int32_t column_length = rec->rows, row_length = columns;
    if (a.sub_first_row >= 0) {
        if (rec->sparse) bfail(244, a.nm.name);
        if (rows_wanted && a.rows != rec->rows) bfail(180, a.nm.name);
        first = rec->first + int64_t{columns - a.columns} * rec->rows + a.sub_first_row;
        column_length = a.rows;
        row_length = a.columns;
    }
    if (!rows_wanted && !is_product_of(&rec->size, rec->rows, columns)) bfail(181, a.nm.name);
    next_argument(source, pending, 202);
    const int32_t origin = rec->sparse ? 1 : 0;
    const int32_t count = rows_wanted ? column_length : row_length;
    int32_t i = line_index(source, pending, origin, count);
    next_argument(source, pending, 70);
    int32_t j = line_index(source, pending, origin, count);
    bexpect(")", 70);
    bnext(source, pending);
    if (i > j) std::swap(i, j);
    if (i != j) {
        if (!rec->sparse)
            switchrow_col(n, i, j, static_cast<int32_t>(first), rec->rows, column_length, row_length);
        else if (rows_wanted)
            sp_switchrow(rec->sparse, i, j);
        else
            sp_switchcol(rec->sparse, i, j, rec->rows, 1);
    }
    quoly_set(0, result);
}

void builtin_reverse(FILE** source, quoly** result, name** pending) {
    bnext(source, pending);
    array_operand a;
    array_argument(source, pending, &a);
    whole_array(a);
    array* rec = a.record;
    if (rec->sparse) {
        sparse* old = rec->sparse;
        reverse_sparse(&rec->sparse, rec->rows);
        follow_new_frames(rec, old);
    } else {
        reverse_array(rec);
    }
    quoly_set(0, result);
}

void builtin_strans(FILE** source, quoly** result, name** pending) {
    bnext(source, pending);
    array_operand a;
    array_argument(source, pending, &a);
    whole_array(a);
    array* rec = a.record;
    if (!rec->sparse) bfail(333, a.nm.name);
    const int32_t columns = array_columns(rec);
    sparse* old = rec->sparse;
    trans_sparse(&rec->sparse, rec->rows, columns);
    rec->rows = columns;
    follow_new_frames(rec, old);
    quoly_set(0, result);
}
