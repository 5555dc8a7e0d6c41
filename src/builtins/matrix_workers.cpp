#include "builtins/matrix_workers.h"

#include <cstdio>
#include <vector>

#include "builtins/floor_roots.h"
#include "det/det_state.h"
#include "det/int_determ.h"
#include "det/minor_rows.h"
#include "interp/builtin_args.h"
#include "interp/array_table.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/dense_echelon.h"
#include "matrix/dense_vectors.h"
#include "matrix/extremes.h"
#include "matrix/int_pivot_product.h"
#include "matrix/sparse.h"
#include "matrix/sparse_echelon.h"
#include "matrix/sparse_int_pivot_product.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_whole.h"
#include "numbers/flat_int.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "quoly/quoly_eval.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

void make_sparse(FILE** source, quoly** result, name** pending) {
    bnext(source, pending);
    const bool paren = token_is(&token, "(");
    if (paren) bnext(source, pending);
    bexpect("[", 178);
    bnext(source, pending);
    if (token_is(&token, "<")) bfail(176, token.name);
    const tokenrec nm = token;
    array* a = find_array(&nm);
    if (!a) bfail(28, nm.name);
    if (a->stamp < 0 && !a->sparse) bfail(138, nm.name);
    bnext(source, pending);
    bexpect("]", 24);
    bnext(source, pending);
    if (paren) {
        bexpect(")", 1);
        bnext(source, pending);
    }
    if (!a->sparse) {
        // Cells a conversion list left out keep their digits in the
        // entries, which are then read as a left-out sparse array's are.
        bool left_out = false;
        for (int32_t c = a->first; c <= a->last && !left_out; c++) left_out = left_out_needs_reading(*cell_at(c));
        fill_sparse(a);
        if (left_out && a->sparse) a->sparse->mode = 0;
    }
    quoly_set(0, result);
}

namespace {

constexpr int32_t MINOR_LIMIT = 1000000;

// The index held in a cell of an index array, as a user subscript.
int64_t index_value(quoly* q, const char* text) {
    if (!q || !q->isnum) bfail(331, text);
    const imag* x = q->nnum;
    if (lintmode) return x->value;
    if (x->count > 2) bfail(332, text);
    int64_t v = 0;
    for (const numnode* d = x->head; d; d = d->next) v = v * (int64_t{1} << 28) + d->digit;
    if (v > INT32_MAX || v < INT32_MIN) bfail(332, text);
    return v;
}

// The distinct indices of the dense array idx, ascending, each within
// 0 .. limit - 1 after the index base is taken off (as user subscripts).
std::vector<int32_t> chosen_indices(array* idx, int32_t limit, const char* text) {
    std::vector<char> marked(static_cast<size_t>(limit), 0);
    const int64_t cells = cell_count(idx);
    for (int64_t c = 0; c < cells; c++) {
        const int64_t v = index_value(*cell_at(idx->first + c), text) - addresser;
        if (v < 0 || v >= limit) bfail(332, text);
        marked[static_cast<size_t>(v)] = 1;
    }
    std::vector<int32_t> out;
    for (int32_t i = 0; i < limit; i++)
        if (marked[static_cast<size_t>(i)]) out.push_back(i + addresser);
    return out;
}

array* index_array(tokenrec* nm) {
    array* a = find_array(nm);
    if (!a || (!a->sparse && a->last < a->first)) bfail(329, nm->name);
    if (a->sparse) bfail(328, nm->name);
    return a;
}

int32_t capped(int64_t n, const char* what) {
    if (n <= MINOR_LIMIT) return static_cast<int32_t>(n);
    std::printf(" Minors Warning. more than %d %s.\n", MINOR_LIMIT, what);
    std::printf("    This may cause problems later.\n");
    return MINOR_LIMIT;
}

// A frame chain owned by the scope.
struct FramesHold {
    sparse* frame = nullptr;
    int32_t rows = 0;
    ~FramesHold() { free_sparse(&frame, rows, 1); }
};

}  // namespace

void minors(quoly** result, array* source, tokenrec* rows, tokenrec* cols, tokenrec* target, int move,
            name** pending) {
    array* ra = index_array(rows);
    array* ca = index_array(cols);
    if (!source->sparse) bfail(330, source->name);
    const int32_t R = capped(source->rows, "rows");
    const int32_t K = capped(array_columns(source), "cols");
    const std::vector<int32_t> rset = chosen_indices(ra, R, rows->name);
    const std::vector<int32_t> cset = chosen_indices(ca, K, cols->name);
    const auto nr = static_cast<int32_t>(rset.size());
    const auto nc = static_cast<int32_t>(cset.size());
    FramesHold made;
    sparse_init(&made.frame, nr);
    made.rows = nr;
    minor_row_ctx ctx{nullptr, 0, rset.data(), 0, source->sparse, nc - 1, cset.data()};
    sparse* out = made.frame;
    for (int32_t i = 0; i < nr; i++) {
        if (i > 0 && i % SPARSE_FRAME_ROWS == 0) out = out->next;
        ctx.tail = &out->row[i % SPARSE_FRAME_ROWS];
        ctx.position = i;
        do_the_row(&ctx, move);
    }
    removearray(1, target, *pending != nullptr);
    quick_sparse_create(made.frame, target, nr, nc, nc == 1 ? 1 : 0);
    made.frame = nullptr;
    quoly_set(nr, result);
}

namespace {

// Every cell of the dense matrix a plain number in the ordinary integers
// (an unassigned one becomes 0 with the usual warning): the fraction-free
// road applies.
bool whole_numbers(array* a, int32_t n, int32_t m) {
    if (lintmode || modularmode) return false;
    const int64_t cells = int64_t{n} * m;
    for (int64_t c = 0; c < cells; c++) {
        quoly** cell = cell_at(a->first + c);
        if (!*cell) set_uninitialised(cell);
        if (!(*cell)->isnum) return false;
    }
    return true;
}

}  // namespace

void new_pseudo(quoly** result, array* a) {
    const int32_t n = a->rows;
    if (verbose) {
        std::printf("\n");
        std::printf(" Precomputing pseudo-determinant, rows %li:\n", static_cast<long>(n));
    }
    const int no_flags[4] = {0, 0, 0, 0};
    QuolyOwner product;
    quoly_set(1, &product.q);
    const int32_t m = array_columns(a);
    if (a->sparse && sparse_pivot_product_applies(a->sparse, n, m)) {
        FlatInt det;
        sparse_int_pivot_product(a->sparse, n, m, &det, nullptr);
        flat_write(det, product.q->nnum);
    } else if (a->sparse) {
        FramesHold copy;
        copy_sparse(&a->sparse, &copy.frame, n, 0);
        copy.rows = n;
        array tmp = *a;
        tmp.sparse = copy.frame;
        tmp.link = nullptr;
        sparse* none[4] = {nullptr, nullptr, nullptr, nullptr};
        const int32_t r = sparse_rowreduce(&tmp, 1, no_flags, nullptr, none, 268435456);
        copy.frame = tmp.sparse;
        sparse* f = copy.frame;
        for (int32_t t = 1; t <= r; t++) {
            quoly* d = nullptr;
            sparse_qq_set(t, &f, &d);
            fast_quoly_mult(&product.q, &d);
        }
    } else if (whole_numbers(a, n, m)) {
        std::vector<quoly*> cells(static_cast<size_t>(n) * m);
        for (size_t c = 0; c < cells.size(); c++) cells[c] = *cell_at(a->first + static_cast<int64_t>(c));
        FlatInt det;
        int_pivot_product(cells.data(), n, m, &det, nullptr);
        flat_write(det, product.q->nnum);
    } else {
        const int64_t cells = int64_t{n} * m;
        WorkCopy copy(nullptr, 0, "new_pseudo");
        for (int64_t c = 0; c < cells; c++) {
            quoly** cell = cell_at(a->first + c);
            if (!*cell) set_uninitialised(cell);
            copy.cells[c] = nullptr;
            quoly_assign(*cell, &copy.cells[c]);
            copy.count = c + 1;
        }
        const int32_t r = colreduce(copy.cells, n, m, no_flags, nullptr, nullptr, nullptr, nullptr, 1,
                                    268435456, nullptr, addresser);
        for (int32_t t = 0; t < r; t++) fast_quoly_mult(&product.q, &dense_vectors::at(copy.cells, n, t, t));
    }
    if (quoly_iszero(product.q)) {
        tarvex_error("zero value in new_pseudo", 1);
        abandon_statement(-1);
    }
    quoly_abs(product.q);
    quoly_add(product.q, product.q, result);
}

int do_int_determ(quoly** slot, int32_t k, const int_determ_ctx* ctx) {
    QuolyOwner bound;
    if (ctx->bound) {
        quoly_assign(ctx->bound, &bound.q);
        if (!bound.q->isnum) {
            QuolyOwner point;
            quoly_set(k, &point.q);
            horner_quoly_eval(&bound.q, point.q, 1);
        }
        if (!bound.q->isnum) {
            error(238, token.name);
            abandon_statement(238);
        }
        quoly_abs(bound.q);
        if (quoly_iszero(bound.q)) quoly_set(1, &bound.q);
    } else {
        quoly_set(-1, &bound.q);
    }
    return int_determ(slot, ctx->arr, ctx->cells, ctx->n, &bound.q);
}
