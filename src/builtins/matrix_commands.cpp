#include "builtins/matrix_commands.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "builtins/matrix_workers.h"
#include "det/det_state.h"
#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/evaluator.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/dense_echelon.h"
#include "matrix/dense_rowcol.h"
#include "matrix/dense_vectors.h"
#include "matrix/extremes.h"
#include "matrix/fflu.h"
#include "matrix/int_normal.h"
#include "matrix/poly_arrays.h"
#include "matrix/left_out_cells.h"
#include "matrix/sparse.h"
#include "matrix/sparse_echelon.h"
#include "matrix/sparse_int_normal.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

enum Command {
    COLREDUCE = 6, FFLU = 19, FFLUC = 20, HERMITE = 29, MSMITH = 42, MINORS = 45, NORMALIZE = 54,
    PSEUDET = 67, REDROWECH = 73, ROWREDUCE = 78, SMITH = 83, SPARSE = 85
};

constexpr int32_t NO_LIMIT = 268435456;
constexpr int MAX_OUTPUTS = 6;

bool integer_form(int32_t n) { return n == HERMITE || n == SMITH || n == MSMITH; }
bool fflu_form(int32_t n) { return n == FFLU || n == FFLUC; }

// What the call asked for.
struct Request {
    std::string cmd;                    // the command's name, the token of its errors
    array_operand a;
    int star = 0;
    int flags[MAX_OUTPUTS] = {0, 0, 0, 0, 0, 0};
    tokenrec out[MAX_OUTPUTS];
    int32_t limit = NO_LIMIT;
    QuolyOwner modulus;                 // MSmith's m
};

void read_msmith_modulus(FILE** source, name** pending, QuolyOwner* m) {
    if (token_is(&token, ")")) return;
    if (!token_is(&token, ",")) bfail(70, token.name);
    bnext(source, pending);
    value_argument(source, pending, &m->q, true);
    if (!m->q->isnum) bfail(227, token.name);
    int minus = 0;
    if (quoly_iszero(m->q) || (lintmode ? m->q->nnum->value < 1 : m->q->nnum->head->digit < 1)) minus = 1;
    if (minus) bfail(134, token.name);
}

// The output list and ")" (steps 5 and 6 of the call's reading).
void read_outputs(FILE** source, name** pending, int32_t n, Request* rq) {
    int items = 0;
    while (!token_is(&token, ")")) {
        if (!token_is(&token, ",")) bfail(70, token.name);
        if (n == REDROWECH && items == 2) bfail(325, token.name);
        if (n == MINORS && items == 3) bfail(327, token.name);
        if (n == FFLU && items == 4) bfail(325, token.name);
        if (n == PSEUDET && items == 2) bfail(306, token.name);
        const int most = n == FFLUC ? 6 : n == MINORS ? 3 : 4;
        if (items == most) break;
        bnext(source, pending);
        if (n == PSEUDET && items == 1) {
            rq->limit = count_argument(source, pending, true) - addresser + 1;
        } else {
            output_array_argument(source, pending, &rq->out[items]);
            rq->flags[items] = 1;
        }
        items++;
    }
    if (!token_is(&token, ")")) bfail(1, token.name);
    if (n == MINORS && items != 3) bfail(327, token.name);
    if (fflu_form(n) && !(rq->flags[0] && rq->flags[1])) bfail(324, token.name);
}

// The size of output i (from 0) of an R x K matrix.
void output_size(int32_t n, int i, int32_t R, int32_t K, int32_t* rows, int32_t* cols) {
    if (fflu_form(n)) {
        *rows = i >= 4 ? K : R;
        *cols = i == 0 ? 1 : i >= 4 ? K : R;
    } else if (n == REDROWECH) {
        *rows = *cols = R;
    } else {
        *rows = *cols = i % 2 == 0 ? R : K;
    }
}

void no_rows_warning() {
    if (verbose) std::printf(" Warning. An auxiliary matrix that you wanted would have no rows or columns.\n");
}

// Whether a statement at a nested level (an interrupt served while the
// command ran) removed, replaced or reshaped the matrix since `links`.
bool matrix_moved(Request* rq, array* rec, bool sparse_rec, int32_t R, int32_t K, uint32_t links) {
    return links != array_links_stamp && (find_array(&rq->a.nm) != rec || (rec->sparse != nullptr) != sparse_rec ||
                                          rec->rows != R || array_columns(rec) != K);
}

// The sparse reductions work on a private copy of the matrix: a statement
// at a nested level (after an interrupt) may remove or rebuild the matrix
// while they run, and a stopped reduction leaves the matrix as it was.
struct SparseWork {
    array a{};
    SparseWork(const array* rec, int32_t R, int32_t K) {
        a.rows = R;
        special_set_2(R, K, &a.size);
        sparse* src = rec->sparse;
        copy_sparse(&src, &a.sparse, R, 0);
    }
    ~SparseWork() {
        free_sparse(&a.sparse, a.rows, 1);
        special_free(&a.size);
    }
    SparseWork(const SparseWork&) = delete;
    SparseWork& operator=(const SparseWork&) = delete;
};

// The rank of the integer matrix rec, from its invariants (the Smith form
// on a copy, exact or modulo the pseudo-determinant). Modulo MSmith's m the form
// keeps that rank unless a non-zero invariant vanishes there; that is
// allowed only when m is a multiple of the invariants' product (the
// determinant), which such an invariant then equals. Otherwise error 288,
// before anything changes.
int32_t check_msmith_modulus(Request* rq, array* rec) {
    const int32_t R = rec->rows;
    const int32_t K = array_columns(rec);
    const int none[4] = {0, 0, 0, 0};
    QuolyOwner pseudo, product, q, r;
    quoly_set(1, &product.q);
    quoly_set(0, &q.q);
    quoly_set(0, &r.q);
    int32_t rank = 0;
    bool vanishes = false;
    auto take = [&](quoly* d) {
        if (!d || quoly_iszero(d)) return;
        multiply(product.q->nnum, d->nnum, product.q->nnum);
        rank++;
        divide(d->nnum, rq->modulus.q->nnum, q.q->nnum, r.q->nnum);
        if (iszero(r.q->nnum)) vanishes = true;
    };
    // The invariants are found exactly where the forms allow it, faster
    // than modulo the pseudo-determinant, which the verbose display alone
    // then still shows.
    if ((rec->sparse && !sparse_invariants_flat(rec)) || verbose) new_pseudo(&pseudo.q, rec);
    if (rec->sparse) {
        SparseWork work(rec, R, K);
        sparse* outs[4] = {nullptr, nullptr, nullptr, nullptr};
        sparse_int_smith(&work.a, none, outs, pseudo.q, false, false);
        sparse* f = work.a.sparse;
        for (int32_t t = 1; t <= std::min(R, K); t++) {
            quoly* d = nullptr;
            for (colm* e = *row_head(f, t); e; e = e->next)
                if (e->col == t) d = e->val;
            take(d);
        }
    } else {
        const int64_t cells = int64_t{R} * K;
        WorkCopy copy(nullptr, 0, rq->cmd.c_str());
        for (int64_t c = 0; c < cells; c++) {
            copy.cells[c] = nullptr;
            copy_in_ring(*cell_at(rec->first + c), &copy.cells[c]);
            copy.count = c + 1;
        }
        int_smith(copy.cells, R, K, none, nullptr, nullptr, nullptr, nullptr, pseudo.q, false);
        for (int32_t t = 0; t < std::min(R, K); t++) take(dense_vectors::at(copy.cells, R, t, t));
    }
    if (vanishes) {
        divide(rq->modulus.q->nnum, product.q->nnum, q.q->nnum, r.q->nnum);
        if (!iszero(r.q->nnum)) bfail(288, rq->cmd.c_str());
    }
    return rank;
}

// The dense reductions run on a copy of the matrix and on work arrays: the
// matrix and the outputs change only once the worker has finished.
int32_t dense_command(int32_t n, Request* rq, name** pending) {
    array* rec = rq->a.record;
    const int32_t R = rec->rows;
    const int32_t K = array_columns(rec);
    const int32_t first = rec->first;
    const int64_t cells = int64_t{R} * K;
    for (int i = 0; i < MAX_OUTPUTS; i++) {
        if (!rq->flags[i] || n == PSEUDET) continue;
        int32_t rows = 0, cols = 0;
        output_size(n, i, R, K, &rows, &cols);
        if (int64_t{rows} * cols > MAX_DENSE_CELLS) bfail(43, rq->out[i].name);
    }
    QuolyOwner computed_m;
    // Taken before the pseudo-determinant: it polls for interrupts.
    const uint32_t links = array_links_stamp;
    int32_t rank_q = -1;
    if (integer_form(n)) {
        // The forms take integers only; nothing changes before this check.
        for (int64_t c = 0; c < cells; c++) {
            quoly** cell = cell_at(first + c);
            if (!*cell) set_uninitialised(cell);
            if (!integer_cell(*cell)) bfail(254, rq->cmd.c_str());
        }
        // MSmith's transforms without m are kept modulo a multiple of the
        // invariants' product (twice it). The invariants alone are found
        // exactly, and that multiple leaves them as they are: it is then
        // taken only for the verbose display, which shows it.
        const bool any = rq->flags[0] || rq->flags[1] || rq->flags[2] || rq->flags[3];
        const bool pseudo_modulus = (n == SMITH && !any) || (n == MSMITH && !rq->modulus.q);
        if (pseudo_modulus && (any || verbose)) new_pseudo(&computed_m.q, rec);
        if (n == MSMITH && rq->modulus.q) rank_q = check_msmith_modulus(rq, rec);
        if (matrix_moved(rq, rec, false, R, K, links)) abandon_statement(0);
    }
    WorkCopy matrix(nullptr, 0, rq->cmd.c_str());
    for (int64_t c = 0; c < cells; c++) {
        quoly** cell = cell_at(first + c);
        if (!*cell) set_uninitialised(cell);
        matrix.cells[c] = nullptr;
        // A left-out cell enters as its element of the ring.
        copy_in_ring(*cell, &matrix.cells[c]);
        matrix.count = c + 1;
    }
    std::optional<WorkCopy> work[MAX_OUTPUTS];
    quoly** w[MAX_OUTPUTS] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    for (int i = 0; i < MAX_OUTPUTS; i++) {
        if (!rq->flags[i] || n == PSEUDET) continue;
        work[i].emplace(nullptr, 0, rq->cmd.c_str());
        w[i] = work[i]->cells;
    }
    std::vector<int32_t> pairs;
    int32_t rank = 0;
    switch (n) {
    case REDROWECH: rank = red_row_ech(matrix.cells, R, K, rq->flags, w[0], w[1]); break;
    case COLREDUCE:
        rank = colreduce(matrix.cells, R, K, rq->flags, w[0], w[1], w[2], w[3], 0, rq->limit, nullptr, addresser);
        break;
    case PSEUDET:
        rank = colreduce(matrix.cells, R, K, rq->flags, nullptr, nullptr, nullptr, nullptr, 1, rq->limit, &pairs,
                         addresser);
        break;
    case HERMITE: rank = int_hermite(matrix.cells, R, K, rq->flags, w[0], w[1], w[2], w[3]); break;
    case SMITH:
        rank = int_smith(matrix.cells, R, K, rq->flags, w[0], w[1], w[2], w[3], computed_m.q, false);
        break;
    case MSMITH:
        rank = rq->modulus.q
                   ? int_smith(matrix.cells, R, K, rq->flags, w[0], w[1], w[2], w[3], rq->modulus.q, true, true)
                   : int_smith(matrix.cells, R, K, rq->flags, w[0], w[1], w[2], w[3], computed_m.q, false, true);
        break;
    case NORMALIZE: rank = normalize(matrix.cells, R, K, rq->flags, w[0], w[1], w[2], w[3]); break;
    default:
        rank = fract_free_lu(n == FFLUC, matrix.cells, R, K, rq->flags, w[0], w[1], w[2], w[3], w[4], w[5]);
        break;
    }
    // The worker's cells now belong to their work arrays until they move.
    for (int i = 0; i < MAX_OUTPUTS; i++) {
        if (!work[i]) continue;
        int32_t rows = 0, cols = 0;
        output_size(n, i, R, K, &rows, &cols);
        work[i]->count = int64_t{rows} * cols;
    }
    if (rank_q >= 0) rank = rank_q;
    // A statement at a nested level may have moved or replaced the matrix.
    if (matrix_moved(rq, rec, false, R, K, links)) abandon_statement(0);
    for (int64_t c = 0; c < cells; c++) {
        quoly** cell = cell_at(rec->first + c);
        free_quoly(cell);
        *cell = matrix.cells[c];
    }
    matrix.count = 0;
    if (n == PSEUDET) {
        if (rq->flags[0]) {
            if (rank == 0) {
                no_rows_warning();
            } else {
                array* out = replace_output_array(&rq->out[0], 2, rank, false, pending);
                for (int32_t c = 0; c < 2 * rank; c++) quoly_set(pairs[static_cast<size_t>(c)], cell_at(out->first + c));
            }
        }
        return rank;
    }
    for (int i = 0; i < MAX_OUTPUTS; i++) {
        if (!work[i]) continue;
        int32_t rows = 0, cols = 0;
        output_size(n, i, R, K, &rows, &cols);
        array* out = replace_output_array(&rq->out[i], rows, cols, false, pending);
        fillup(rows, cols, out->first, work[i]->cells);
        work[i]->count = 0;
    }
    return rank;
}

// Sparse frames built by a worker, freed unless an output takes them.
struct SparseOutputs {
    sparse* frame[4] = {nullptr, nullptr, nullptr, nullptr};
    int32_t rows[4] = {0, 0, 0, 0};
    ~SparseOutputs() {
        for (int i = 0; i < 4; i++) free_sparse(&frame[i], rows[i], 1);
    }
};

// The forms take integers only (nothing has changed yet); Smith without
// transforms and MSmith without m work modulo the pseudo-determinant,
// unless the invariants alone are found exactly on a dense copy.
void sparse_integer_check(int32_t n, Request* rq, array* rec, QuolyOwner* computed_m) {
    sparse* f = rec->sparse;
    for (int32_t r = 1; r <= rec->rows; r++)
        for (colm* e = *row_head(f, r); e; e = e->next)
            if (!integer_cell(e->val)) bfail(254, rq->cmd.c_str());
    const bool any = rq->flags[0] || rq->flags[1] || rq->flags[2] || rq->flags[3];
    const bool pseudo_modulus = (n == SMITH && !any) || (n == MSMITH && !rq->modulus.q);
    if (pseudo_modulus && (any || verbose || !sparse_invariants_flat(rec))) new_pseudo(&computed_m->q, rec);
}

int32_t sparse_command(int32_t n, Request* rq, name** pending) {
    array* rec = rq->a.record;
    const int32_t R = rec->rows;
    const int32_t K = array_columns(rec);
    SparseOutputs outs;
    for (int i = 0; i < 4; i++) outs.rows[i] = i % 2 == 0 || n == REDROWECH ? R : K;
    QuolyOwner computed_m;
    const uint32_t links = array_links_stamp;
    // A left-out array is reduced as its elements of the ring, and the
    // result is written over it as if assigned.
    SparseInRing in_ring(rec);
    array* view = in_ring.record();
    int32_t rank_q = -1;
    if (integer_form(n)) {
        sparse_integer_check(n, rq, view, &computed_m);
        if (n == MSMITH && rq->modulus.q) rank_q = check_msmith_modulus(rq, view);
        if (matrix_moved(rq, rec, true, R, K, links)) abandon_statement(0);
    }
    SparseWork work(view, R, K);
    std::vector<int32_t> pairs;
    int32_t rank = 0;
    if (n == HERMITE)
        rank = sparse_int_hermite(&work.a, rq->flags, outs.frame);
    else if (n == SMITH || n == MSMITH)
        rank = sparse_int_smith(&work.a, rq->flags, outs.frame, rq->modulus.q ? rq->modulus.q : computed_m.q,
                                rq->modulus.q != nullptr, n == MSMITH);
    else if (n == REDROWECH)
        rank = sparse_redrowech(&work.a, rq->flags, outs.frame);
    else
        rank = sparse_rowreduce(&work.a, n == PSEUDET, rq->flags, n == PSEUDET ? &pairs : nullptr, outs.frame,
                                rq->limit);
    if (rank_q >= 0) rank = rank_q;
    if (matrix_moved(rq, rec, true, R, K, links)) abandon_statement(0);
    put_back_sparse(work.a.sparse, rec->sparse, R);
    if (view != rec) rec->sparse->mode = modularmode;
    if (n == PSEUDET) {
        if (!rq->flags[0]) return rank;
        if (rank == 0) {
            no_rows_warning();
            return rank;
        }
        if (int64_t{2} * rank > MAX_DENSE_CELLS) bfail(326, rq->cmd.c_str());
        array* out = replace_output_array(&rq->out[0], 2, rank, false, pending);
        for (int32_t c = 0; c < 2 * rank; c++) quoly_set(pairs[static_cast<size_t>(c)], cell_at(out->first + c));
        return rank;
    }
    for (int i = 0; i < 4; i++) {
        if (!rq->flags[i] || !outs.frame[i]) continue;
        removearray(1, &rq->out[i], *pending != nullptr);
        quick_sparse_create(outs.frame[i], &rq->out[i], outs.rows[i], outs.rows[i], 0);
        outs.frame[i] = nullptr;
    }
    return rank;
}

}  // namespace

bool matrix_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    switch (n) {
    case SPARSE: make_sparse(source, result, pending); return true;
    case COLREDUCE: case FFLU: case FFLUC: case HERMITE: case MSMITH: case MINORS: case NORMALIZE:
    case PSEUDET: case REDROWECH: case ROWREDUCE: case SMITH: break;
    default: return false;
    }
    Request rq;
    rq.cmd = builtin[n].name;
    if (integer_form(n) && lintmode) bfail(183, rq.cmd.c_str());
    // Echelon forms and fraction-free LU divide by their pivots: modulo a
    // composite their ranks and factors would mean nothing.
    if (n != MINORS && modularmode && !mod_is_prime && !finf) bfail(293, rq.cmd.c_str());
    read_command(source, pending, &rq.a, &rq.star, true);
    if (rq.star && n != MINORS)
        std::printf(" *** Warning. leading * in argument list makes no sense here and was ignored.\n");
    whole_array(rq.a);
    array* rec = rq.a.record;
    if (n == ROWREDUCE && !rec->sparse) bfail(333, rq.a.nm.name);
    if ((n == COLREDUCE || n == NORMALIZE || fflu_form(n)) && rec->sparse) bfail(242, rq.a.nm.name);
    if (n == MSMITH) read_msmith_modulus(source, pending, &rq.modulus);
    read_outputs(source, pending, n, &rq);
    bnext(source, pending);
    if (n == MINORS) {
        minors(result, rec, &rq.out[0], &rq.out[1], &rq.out[2], rq.star, pending);
        return true;
    }
    const int32_t rank = rec->sparse ? sparse_command(n, &rq, pending) : dense_command(n, &rq, pending);
    note_reduced_count(rank);
    quoly_set(rank, result);
    return true;
}
