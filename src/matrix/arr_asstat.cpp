// The assignment and expression statement: "[a] := value", "Diag[a] :=
// vector", and an expression that begins with an array reference, whose
// value goes into the system array.
#include <vector>

#include "matrix/array_value.h"
#include "interp/array_table.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

extern int32_t expect_rows;
extern int64_t expect_count;

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

struct ShapeScope {
    int32_t rows;
    int64_t count;
    int sparse;
    ShapeScope(int32_t r, int64_t c, int s) : rows(expect_rows), count(expect_count), sparse(want_sparse) {
        expect_rows = r;
        expect_count = c;
        want_sparse = s;
    }
    ~ShapeScope() {
        expect_rows = rows;
        expect_count = count;
        want_sparse = sparse;
    }
};

// Moves (fresh) or copies the value's cells into a's store cells.
void store_cells(array* a, arr_value* v) {
    for (int64_t c = 0; c < v->count; c++) {
        quoly** cell = cell_at(a->first + c);
        if (v->fresh) {
            free_quoly(cell);
            *cell = v->cells[c];
            v->cells[c] = nullptr;
        } else if (*cell != v->cells[c]) {
            quoly* x = nullptr;
            quoly_assign(v->cells[c], &x);
            free_quoly(cell);
            *cell = x;
        }
    }
    if (v->fresh) v->count = 0;
}

// The record that holds the new value: fresh, with old removed; or old
// itself, taking fresh's storage, when a parameter's alias shares it (the
// other would be left naming freed frames or another array's cells, and
// copied back into the caller's array on return).
array* replace_array(array* old, array* fresh) {
    clear_arrstash_of(old);
    if (storage_shared(old)) {
        take_storage(old, fresh);
        return old;
    }
    remove_array(old);
    return fresh;
}

// A new record under the target's name for the value; the old one (when
// there is one) goes once the new one is filled, so the name never holds
// two arrays.
array* reshape(const tokenrec& nm, array* old, arr_value* v) {
    if (old && token_is(&nm, "%")) arr_error(297, nm.name);
    array* a;
    if (v->frame) {
        a = quick_sparse_create(nullptr, &nm, v->rows, v->columns(), 0);
        if (v->fresh) {
            a->sparse = v->frame;
            v->frame = nullptr;
            v->count = 0;
        } else {
            sparse* src = v->frame;
            copy_sparse(&src, &a->sparse, v->rows, 0);
        }
    } else {
        a = insertarr(&nm, v->rows, v->columns(), 0);
        for (int64_t c = 0; c < v->count; c++) *cell_at(a->first + c) = nullptr;
        store_cells(a, v);
    }
    return old ? replace_array(old, a) : a;
}

// The i-th value a diagonal assignment stores: a copy of the scalar (a
// value without cells), the cell moved out of a fresh value, or a copy of
// a shared one.
quoly* diagonal_value(arr_value* v, quoly* scalar, int32_t i) {
    quoly* x = nullptr;
    if (v->count == 0) {
        quoly_assign(scalar, &x);
    } else if (v->fresh) {
        x = v->cells[i];
        v->cells[i] = nullptr;
    } else {
        quoly_assign(v->cells[i], &x);
    }
    return x;
}

void assign_diagonal(const tokenrec& nm, array* target, arr_value* v, quoly* scalar) {
    if (target && target->sparse) arr_error(242, "Diag");
    if (v->frame) arr_error(242, "Diag");
    const bool is_scalar = v->count == 0;
    if (!is_scalar && v->rows != v->count && v->rows != 1) arr_error(93, "Diag");
    const int32_t n = is_scalar ? (target ? std::min(target->rows, array_columns(target)) : 1)
                                : static_cast<int32_t>(v->count);
    if (!target || (!is_scalar && target->rows != n)) {
        array* old = target;
        target = insertarr(&nm, n, n, n == 1 ? 1 : 0);
        for (int64_t c = 0; c < int64_t{n} * n; c++) {
            *cell_at(target->first + c) = nullptr;
            quoly_set(0, cell_at(target->first + c));
        }
        if (old) target = replace_array(old, target);
    }
    const int32_t rows = target->rows;
    for (int32_t i = 0; i < n && i < array_columns(target); i++) {
        quoly** cell = cell_at(target->first + i + int64_t{i} * rows);
        quoly* x = diagonal_value(v, scalar, i);
        free_quoly(cell);
        *cell = x;
    }
    if (v->fresh) v->count = 0;
}

void assign(const tokenrec& nm, array* target, arr_value* v, quoly* scalar) {
    if (v->count == 0) {
        if (!target) {
            array* a = insertarr(&nm, 1, 1, 1);
            *cell_at(a->first) = nullptr;
            quoly_assign(scalar, cell_at(a->first));
            return;
        }
        if (target->sparse) {
            sparse_set_scalar(target, array_columns(target), scalar);
            return;
        }
        for (int64_t c = 0; c < cell_count(target); c++) {
            quoly** cell = cell_at(target->first + c);
            quoly* x = nullptr;
            quoly_assign(scalar, &x);
            free_quoly(cell);
            *cell = x;
        }
        return;
    }
    if (!target) {
        reshape(nm, nullptr, v);
        return;
    }
    const int64_t tcount = cell_count(target);
    if (v->frame) {
        if (v->count == tcount && v->rows == target->rows) {
            if (target->sparse == v->frame) return;   // itself: nothing changes
            // Taken before a fresh value gives up its frame: its columns
            // follow from its count, which that clears.
            const int32_t columns = v->columns();
            sparse* fresh_frame;
            if (v->fresh) {
                fresh_frame = v->frame;
                v->frame = nullptr;
                v->count = 0;
            } else {
                sparse* src = v->frame;
                fresh_frame = nullptr;
                copy_sparse(&src, &fresh_frame, v->rows, 0);
            }
            if (target->sparse) {
                // An array parameter's alias, or the array it stands for,
                // shares the frames that go back to the free list here.
                sparse* old = target->sparse;
                free_sparse(&target->sparse, target->rows, 1);
                target->sparse = fresh_frame;
                follow_new_frames(target, old);
                return;
            }
            // A dense target turns sparse under its name.
            replace_array(target, quick_sparse_create(fresh_frame, &nm, v->rows, columns, target->onedim));
            return;
        }
        reshape(nm, target, v);
        return;
    }
    if (target->sparse) {
        if (v->count != tcount) {
            reshape(nm, target, v);
            return;
        }
        if (v->rows != target->rows) arr_error(249, nm.name);
        standard_to_sparse(target, v->cells, array_columns(target), v->fresh);
        if (v->fresh) v->count = 0;
        return;
    }
    if (v->count != tcount) {
        reshape(nm, target, v);
        return;
    }
    store_cells(target, v);
}

// The value into the block b of the dense array target. Shapes: the
// block's own, or a vector into a block of one row or one column; a
// scalar fills the block.
void assign_block(const tokenrec& nm, const array_block& b, arr_value* v, quoly* scalar) {
    const int64_t cells = int64_t{b.rows} * b.columns;
    auto cell = [&](int64_t k) { return cell_at(int64_t{b.first} + k % b.rows + (k / b.rows) * b.stride); };
    if (v->count == 0) {
        for (int64_t k = 0; k < cells; k++) {
            quoly* x = nullptr;
            quoly_assign(scalar, &x);
            free_quoly(cell(k));
            *cell(k) = x;
        }
        return;
    }
    if (v->frame) arr_error(244, nm.name);
    const bool vector = v->rows == v->count || v->rows == 1;
    const bool fits = v->count == cells && (v->rows == b.rows || (vector && (b.rows == 1 || b.columns == 1)));
    if (!fits) arr_error(60, nm.name);
    for (int64_t k = 0; k < cells; k++) {
        quoly** slot = cell(k);
        if (v->fresh) {
            free_quoly(slot);
            *slot = v->cells[k];
            v->cells[k] = nullptr;
        } else if (*slot != v->cells[k]) {
            quoly* x = nullptr;
            quoly_assign(v->cells[k], &x);
            free_quoly(slot);
            *slot = x;
        }
    }
    if (v->fresh) v->count = 0;
}

// A vector (or a scalar) onto the diagonal of the block b: cell (i, i) of
// the block for i below its rows and columns.
void assign_block_diagonal(const array_block& b, arr_value* v, quoly* scalar) {
    if (v->frame) arr_error(242, "Diag");
    const bool is_scalar = v->count == 0;
    if (!is_scalar && ((v->rows != v->count && v->rows != 1) || v->count != b.rows)) arr_error(93, "Diag");
    for (int32_t i = 0; i < b.rows && i < b.columns; i++) {
        quoly** slot = cell_at(int64_t{b.first} + i + int64_t{i} * b.stride);
        quoly* x = diagonal_value(v, scalar, i);
        free_quoly(slot);
        *slot = x;
    }
    if (v->fresh) v->count = 0;
}

// A target named (not a '%' slot, which holds its record) that a newer
// array of its name now hides; links: array_links_stamp before the value
// was read (unchanged, no array entered the name table).
bool hidden_by_name(const tokenrec& nm, const array* target, uint32_t links) {
    return links != array_links_stamp && !token_is(&nm, "%") && array_hidden(target);
}

}  // namespace

void arr_asstat(FILE** source, quoly** result, arr_value* v, name** pending) {
    bool diag = false;
    if (token_is(&token, "Diag") || token_is(&token, "*14")) {
        diag = true;
        next_token(source, pending);
        if (!token_is(&token, "[")) arr_error(92, token.name);
    }
    if (!token_is(&token, "[")) arr_error(2, token.name);
    array_operand ref;
    left_side(source, pending, &ref, 1);
    array* target = ref.record;
    const bool block = ref.block.first >= 0;
    if (block && target->sparse) arr_error(244, ref.nm.name);
    if (token_is(&token, ":")) {
        if (target == syst) arr_error(176, token.name);
        next_token(source, pending);
        if (!token_is(&token, "=")) arr_error(4, token.name);
        next_token(source, pending);
        const int32_t stamp = target ? target->stamp : 0;
        const uint32_t links = array_links_stamp;
        if (block) {
            // The block's place is taken again from its array once the value
            // is read: deleting an array below it moves its cells down.
            const int32_t offset = ref.block.first - target->first;
            const int32_t rows = target->rows;
            const int64_t cells = cell_count(target);
            ShapeScope shape(ref.block.rows, int64_t{ref.block.rows} * ref.block.columns, 0);
            arr_expre(source, result, v, pending, 1);
            // The value may have deleted or remade the target on the way.
            if (!array_alive(target, stamp)) arr_error(28, ref.nm.name);
            if (hidden_by_name(ref.nm, target, links)) arr_error(316, ref.nm.name);
            // Made sparse or given another shape: the block is no longer
            // where it was read, and writing would miss it.
            if (target->sparse || target->rows != rows || cell_count(target) != cells) arr_error(316, ref.nm.name);
            ref.block.first = target->first + offset;
            settle_suspended_cells(v, result);
            if (diag)
                assign_block_diagonal(ref.block, v, *result);
            else
                assign_block(ref.nm, ref.block, v, *result);
            quoly_set(0, result);
            return;
        }
        ShapeScope shape(target ? target->rows : 0, target ? cell_count(target) : 0,
                         target && target->sparse ? 1 : 0);
        arr_expre(source, result, v, pending, 1);
        // As for an element: a target the value deleted, or hid under a
        // newer array of its name, is refused rather than written where a
        // later read does not look (a freed record may serve that array).
        if (target && (!array_alive(target, stamp) || hidden_by_name(ref.nm, target, links)))
            arr_error(316, ref.nm.name);
        settle_suspended_cells(v, result);
        if (diag)
            assign_diagonal(ref.nm, target, v, *result);
        else
            assign(ref.nm, target, v, *result);
        quoly_set(0, result);
        return;
    }
    if (!target) arr_error(28, ref.nm.name);
    ShapeScope shape(0, 0, 0);
    v->rows = target->rows;
    v->count = cell_count(target);
    if (block) {
        v->rows = ref.block.rows;
        v->count = int64_t{ref.block.rows} * ref.block.columns;
        v->frame = nullptr;
        v->fresh = 0;
        fillit(ref.block.rows, ref.block.columns, ref.block.first, ref.block.stride, v->cells);
        enter_left_out_cells(v);
    } else if (target == syst) {
        take_syst(v);
    } else if (target->sparse) {
        sparse_operand(target, v);
    } else {
        v->frame = nullptr;
        v->fresh = 0;
        fillit_1(target, v->cells);
        enter_left_out_cells(v);
    }
    if (diag) {
        // The diagonal as the first operand.
        std::vector<quoly*> d;
        const int32_t m = std::min(v->rows, v->columns());
        for (int32_t i = 0; i < m; i++) {
            quoly* x = nullptr;
            if (v->frame)
                quoly_assign(spar_retrieve(v->frame, i + 1, i + 1), &x);
            else
                quoly_assign(v->cells[i + int64_t{i} * v->rows], &x);
            d.push_back(x);
        }
        release_value(v);
        for (int32_t i = 0; i < m; i++) v->cells[i] = d[static_cast<size_t>(i)];
        v->count = m;
        v->rows = m;
        v->fresh = 1;
    }
    if (!*result) quoly_set(0, result);
    arr_expre(source, result, v, pending, 0);
    if (v->count == 0) return;
    value_to_syst(v);
    quoly_set(0, result);
}
