// Array expressions: sums of terms (arr_expre) and products of factors
// (arr_term) evaluated while they are read, and the "_" concatenation.
#include <utility>
#include <vector>

#include "matrix/array_value.h"
#include "det/det_state.h"
#include "det/mat_invert.h"
#include "det/unit_det.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "matrix/sparse_whole.h"
#include "matrix/array_store.h"
#include "matrix/products.h"
#include "matrix/sparse.h"
#include "matrix/sparse_sums.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

struct CancelFlag {
    CancelFlag() { cancelflag = 1; }
    ~CancelFlag() { cancelflag = 0; }
};

// Every dense cell := op(cell, s) (scalar_left: op(s, cell)).
template <class Op>
void each_cell(arr_value* v, quoly* s, bool scalar_left, Op op) {
    make_fresh(v);
    for (int64_t c = 0; c < v->count; c++) {
        quoly* t = nullptr;
        if (scalar_left)
            op(s, v->cells[c], &t);
        else
            op(v->cells[c], s, &t);
        free_quoly(&v->cells[c]);
        v->cells[c] = t;
    }
}

// A sparse value as dense cells each holding s (negated when neg), to
// which the matrix is added (add) or subtracted.
void sparse_with_scalar(arr_value* v, quoly* s, bool neg, int add) {
    if (v->count > MAX_DENSE_CELLS) arr_error(250, "+");
    std::vector<quoly*> cells(static_cast<size_t>(v->count), nullptr);
    for (auto& c : cells) {
        if (neg)
            quoly_makeneg(s, &c);
        else
            quoly_assign(s, &c);
    }
    add_one_sparse(cells.data(), v->rows, 0, v->frame, add);
    release_value(v);
    for (size_t c = 0; c < cells.size(); c++) v->cells[c] = cells[c];
    v->count = static_cast<int64_t>(cells.size());
    v->fresh = 1;
}

// v := v x t, the matrix product (v's columns are t's rows). The product
// of a dense v by a sparse t is formed in t's scratch cells.
void multiply_by(arr_value* v, arr_value* t) {
    mat_shape as{v->count, v->rows};
    const mat_shape bs{t->count, t->rows};
    matrix_mult(v->cells, t->cells, &as, &bs, v->fresh, &v->frame, &t->frame);
    v->count = as.count;
    v->rows = as.rows;
    v->fresh = 1;
}

// t := t^-1 for a square t (its cells become fresh first: a stored array
// is never changed). A singular matrix is error 44.
void invert_value(arr_value* t, const char* optok) {
    if (first_available > WORK_BLOCKS) arr_error(89, optok);
    make_fresh(t);
    require_unit_determinant(t->cells, &t->frame, t->rows);
    QuolyOwner det;
    quoly_set(1, &det.q);
    mat_invert(t->cells, t->cells, 1, 1, t->rows, &det.q, 1, 1, &t->frame, nullptr, -1, -1, -1, 0, 0);
}

void sum_step(quoly** acc, arr_value* v, quoly** tq, arr_value* t, bool add) {
    const int a = add ? 1 : 0;
    if (v->count == 0 && t->count == 0) {
        if (add)
            best_quoly_add(acc, *tq);
        else
            best_quoly_sub(acc, *tq);
        *tq = nullptr;
        return;
    }
    if (v->count != 0 && t->count == 0) {
        if (v->frame) {
            // A - s: the cells hold -s and the matrix is added.
            sparse_with_scalar(v, *tq, !add, 1);
        } else {
            each_cell(v, *tq, false, add ? quoly_add : quoly_sub);
        }
        return;
    }
    if (v->count == 0) {
        // s ± T: the term becomes the accumulator.
        quoly* s = *acc;
        *acc = nullptr;
        std::swap(v->count, t->count);
        std::swap(v->rows, t->rows);
        std::swap(v->frame, t->frame);
        std::swap(v->fresh, t->fresh);
        for (int64_t c = 0; c < v->count && !v->frame; c++) std::swap(v->cells[c], t->cells[c]);
        QuolyOwner own(s);
        if (v->frame) {
            if (!add) {
                sparse_makeneg(&v->frame, v->rows, &v->fresh);
            }
            sparse_with_scalar(v, s, false, 1);
        } else {
            each_cell(v, s, true, add ? quoly_add : quoly_sub);
        }
        quoly_set(0, acc);
        return;
    }
    if (v->count != t->count || v->rows != t->rows) arr_error(39, add ? "+" : "-");
    if (v->frame && t->frame) {
        add_sparses(&v->frame, &t->frame, v->fresh, t->fresh, v->rows, a);
        v->fresh = 1;
        if (!t->frame) t->count = 0;
        return;
    }
    if (v->frame) {
        // Dense result: the term's cells, then the matrix taken with its sign.
        make_fresh(t);
        sparse* f = v->frame;
        const int vf = v->fresh;
        v->frame = nullptr;
        v->fresh = 0;
        v->count = 0;
        for (int64_t c = 0; c < t->count; c++) {
            v->cells[c] = t->cells[c];
            if (!add) {
                quoly* n = nullptr;
                quoly_makeneg(v->cells[c], &n);
                free_quoly(&v->cells[c]);
                v->cells[c] = n;
            }
            t->cells[c] = nullptr;
        }
        v->count = t->count;
        v->fresh = 1;
        t->count = 0;
        add_one_sparse(v->cells, v->rows, vf, f, 1);
        if (!vf) {
            // shared frame: nothing to free
        }
        return;
    }
    if (t->frame) {
        make_fresh(v);
        add_one_sparse(v->cells, v->rows, 0, t->frame, a);
        return;
    }
    make_fresh(v);
    for (int64_t c = 0; c < v->count; c++) {
        if (t->fresh) {
            if (add)
                best_quoly_add(&v->cells[c], t->cells[c]);
            else
                best_quoly_sub(&v->cells[c], t->cells[c]);
            t->cells[c] = nullptr;
        } else {
            if (add)
                better_quoly_add(v->cells[c], t->cells[c], &v->cells[c]);
            else
                better_quoly_sub(v->cells[c], t->cells[c], &v->cells[c]);
        }
    }
    if (t->fresh) t->count = 0;
}

bool continues_term(const tokenrec& t) {
    const char c = t.name[0];
    if (c == '*' || c == '/' || c == '|' || c == '\\' || c == '_') return t.name[1] == 0 || c == '*';
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void concatenate(arr_value* v, quoly** acc, arr_value* t, quoly** tq) {
    if (v->frame || t->frame) arr_error(242, "_");
    if (v->count == 0 && t->count == 0) arr_error(113, "_");
    make_fresh(v);
    make_fresh(t);
    // A scalar joins as a one-cell array.
    if (v->count == 0) {
        v->cells[0] = *acc;
        *acc = nullptr;
        quoly_set(0, acc);
        v->count = 1;
        v->rows = 1;
        v->fresh = 1;
    }
    if (t->count == 0) {
        t->cells[0] = *tq;
        *tq = nullptr;
        t->count = 1;
        t->rows = 1;
        t->fresh = 1;
    }
    const int64_t total = v->count + t->count;
    if (total > MAX_DENSE_CELLS) arr_error(111, "_");
    std::vector<quoly*> out;
    out.reserve(static_cast<size_t>(total));
    int32_t rows;
    const int32_t vc = v->columns(), tc = t->columns();
    if (t->count == 1 || v->count == 1) {
        for (int64_t c = 0; c < v->count; c++) out.push_back(v->cells[c]);
        for (int64_t c = 0; c < t->count; c++) out.push_back(t->cells[c]);
        const arr_value* vec = t->count == 1 ? v : t;
        rows = vec->rows == 1 && !(vec->count == 1 && v->count == 1 && t->count == 1) ? 1 : static_cast<int32_t>(total);
        if (v->rows == 1 && t->rows == 1) rows = 1;
        if (vec->rows == 1 && vec->count > 1) rows = 1;
        if (vec->rows == vec->count && vec->count > 1) rows = static_cast<int32_t>(total);
    } else if (vc == tc) {
        for (int32_t j = 0; j < vc; j++) {
            for (int32_t i = 0; i < v->rows; i++) out.push_back(v->cells[int64_t{j} * v->rows + i]);
            for (int32_t i = 0; i < t->rows; i++) out.push_back(t->cells[int64_t{j} * t->rows + i]);
        }
        rows = v->rows + t->rows;
    } else if (v->rows == t->rows) {
        for (int64_t c = 0; c < v->count; c++) out.push_back(v->cells[c]);
        for (int64_t c = 0; c < t->count; c++) out.push_back(t->cells[c]);
        rows = v->rows;
    } else {
        arr_error(112, "_");
    }
    for (size_t c = 0; c < out.size(); c++) v->cells[c] = out[c];
    v->count = total;
    v->rows = rows;
    t->count = 0;
}

void cellwise(arr_value* v, arr_value* t, char op) {
    if (v->frame || t->frame) arr_error(191, token.name);
    make_fresh(v);
    for (int64_t c = 0; c < v->count; c++) {
        quoly* r = nullptr;
        if (op == '*')
            quoly_mult(v->cells[c], t->cells[c], &r);
        else if (op == '/')
            quoly_quot(v->cells[c], t->cells[c], &r, 0);
        else
            quoly_mod_or_div(v->cells[c], t->cells[c], &r, op);
        free_quoly(&v->cells[c]);
        v->cells[c] = r;
        // Refused as the scalar "/" refuses it; v is a working copy.
        if (op == '/') require_regular_denominator(r);
    }
}

void product_step(char op, arr_value* v, quoly** acc, arr_value* t, quoly** tq, const char* optok) {
    if (op == '_') {
        concatenate(v, acc, t, tq);
        return;
    }
    if (v->count == 0 && t->count == 0) {
        if (op == '*') {
            fast_quoly_mult(acc, tq);
        } else if (op == '/') {
            fast_quoly_quot(acc, tq, 0);
        } else {
            quoly* r = nullptr;
            quoly_mod_or_div(*acc, *tq, &r, op);
            free_quoly(acc);
            *acc = r;
        }
        return;
    }
    if (t->count == 0) {
        // array op scalar
        if (v->frame) {
            if (op == '*' || op == '/') {
                SlotHold c;
                quoly_assign(*tq, &c.q);
                if (op == '/') {
                    quoly_reciprocal(&c.q);
                    require_regular_denominator(c.q);
                }
                make_fresh(v);
                mult_cons_sparse(&v->frame, c.q, 1, v->rows);
            } else {
                make_fresh(v);
                sparse_mod_or_div(&v->frame, *tq, v->rows, 1, op);
            }
            return;
        }
        if (op == '*')
            each_cell(v, *tq, false, quoly_mult);
        else if (op == '/')
            each_cell(v, *tq, false, [](quoly* a, quoly* b, quoly** r) {
                QuolyOwner cell;
                quoly_quot(a, b, &cell.q, 0);
                require_regular_denominator(cell.q);
                std::swap(*r, cell.q);
            });
        else
            each_cell(v, *tq, false, [op](quoly* a, quoly* b, quoly** r) { quoly_mod_or_div(a, b, r, op); });
        return;
    }
    if (v->count == 0) {
        // scalar op array: the array becomes the accumulator.
        quoly* s = *acc;
        *acc = nullptr;
        QuolyOwner own(s);
        std::swap(v->count, t->count);
        std::swap(v->rows, t->rows);
        std::swap(v->frame, t->frame);
        std::swap(v->fresh, t->fresh);
        for (int64_t c = 0; c < v->count && !v->frame; c++) std::swap(v->cells[c], t->cells[c]);
        quoly_set(0, acc);
        const bool square = v->count == int64_t{v->rows} * v->rows;
        if (op == '/' && square) {
            invert_value(v, optok);
            if (quoly_eq_1(s)) return;
            if (v->frame) {
                mult_cons_sparse(&v->frame, s, 1, v->rows);
                return;
            }
            each_cell(v, s, true, quoly_mult);
            return;
        }
        if (v->frame) {
            if (op != '*') arr_error(242, optok);
            make_fresh(v);
            mult_cons_sparse(&v->frame, s, 1, v->rows);
            return;
        }
        if (op == '*')
            each_cell(v, s, true, quoly_mult);
        else if (op == '/')
            each_cell(v, s, true, [](quoly* a, quoly* b, quoly** r) { quoly_quot(a, b, r, 0); });
        else
            each_cell(v, s, true, [op](quoly* a, quoly* b, quoly** r) { quoly_mod_or_div(a, b, r, op); });
        return;
    }
    // array op array
    const bool conform = v->columns() == t->rows;
    if (op == '*' && conform) {
        if (!v->frame && t->frame && int64_t{v->rows} * t->columns() > MAX_DENSE_CELLS) arr_error(43, optok);
        multiply_by(v, t);
        return;
    }
    if (op == '/' && conform && t->count == int64_t{t->rows} * t->rows) {
        invert_value(t, optok);
        multiply_by(v, t);
        return;
    }
    if (v->count != t->count || v->rows != t->rows) arr_error(39, optok);
    cellwise(v, t, op);
}

}  // namespace

void arr_expre(FILE** source, quoly** result, arr_value* v, name** pending, int read_first) {
    CancelFlag cancel;
    if (read_first)
        arr_term(source, result, v, pending, 1);
    else
        arr_term(source, result, v, pending, 0);
    if (!token_is(&token, "+") && !token_is(&token, "-")) return;
    WorkBlock block(token.name);
    arr_value t;
    t.cells = block.cells;
    ArrValueHold hold(&t);
    while (token_is(&token, "+") || token_is(&token, "-")) {
        const bool add = token_is(&token, "+");
        next_token(source, pending);
        SlotHold tq;
        release_value(&t);
        arr_term(source, &tq.q, &t, pending, 1);
        if (!*result) quoly_set(0, result);
        sum_step(result, v, &tq.q, &t, add);
        if (v->count) v->fresh = 1;
    }
}

void arr_term(FILE** source, quoly** result, arr_value* v, name** pending, int read_first) {
    GcdStashLevel stash;
    if (read_first)
        arr_fact(source, result, v, pending);
    else
        half_arr_fact(source, result, v, pending);
    if (!continues_term(token)) return;
    WorkBlock block(token.name);
    arr_value t;
    t.cells = block.cells;
    ArrValueHold hold(&t);
    while (continues_term(token)) {
        char op = '*';
        const char c = token.name[0];
        char optok[2] = {c, 0};
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
            op = c;
            next_token(source, pending);
        }
        SlotHold tq;
        release_value(&t);
        arr_fact(source, &tq.q, &t, pending);
        if (!*result) quoly_set(0, result);
        product_step(op, v, result, &t, &tq.q, optok);
        if (v->count) v->fresh = 1;
        poll_interrupt();
    }
}
