// arr_fact: one factor of an array expression: the prefix words and signs,
// the bracketed forms (named arrays, the system array, constant diagonals,
// random arrays, lists, strings), a scalar factor otherwise, then a
// postfix "^" or "#".
#include <vector>

#include "matrix/array_value.h"
#include "matrix/matrix_poly.h"
#include "matrix/matrix_power.h"
#include "det/adjoint.h"
#include "builtins/floor_roots.h"
#include "builtins/random_values.h"
#include "interp/exact_read.h"
#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/stack_depth.h"
#include "interp/token.h"
#include "interp/term_reader.h"
#include "matrix/array_store.h"
#include "matrix/products.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/quoly_eval.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

int32_t expect_rows = 0;
int64_t expect_count = 0;

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

void set_scalar(arr_value* v) {
    v->count = 0;
    v->rows = 0;
    v->frame = nullptr;
    v->fresh = 0;
}

bool starts_number(const tokenrec& t) { return t.name[0] >= '0' && t.name[0] <= '9'; }

bool is_poly_variable(const tokenrec& t) {
    int32_t pos = 0;
    return t.name[0] >= 'a' && t.name[0] <= 'z' && is_poly_name(t.name, &pos);
}

void negate(arr_value* v, quoly** result) {
    if (v->count == 0) {
        quoly* t = nullptr;
        quoly_makeneg(*result, &t);
        free_quoly(result);
        *result = t;
        return;
    }
    if (v->frame) {
        sparse_makeneg(&v->frame, v->rows, &v->fresh);
        return;
    }
    for (int64_t c = 0; c < v->count; c++) {
        quoly* t = nullptr;
        quoly_makeneg(v->cells[c], &t);
        if (v->fresh) free_quoly(&v->cells[c]);
        v->cells[c] = t;
    }
    v->fresh = 1;
}

void transpose(arr_value* v) {
    const int32_t n = v->rows;
    const int32_t m = v->columns();
    if (v->frame) {
        make_fresh(v);
        trans_sparse(&v->frame, n, m);
        v->rows = m;
        return;
    }
    make_fresh(v);
    std::vector<quoly*> t(static_cast<size_t>(v->count));
    for (int32_t j = 0; j < m; j++)
        for (int32_t i = 0; i < n; i++) t[static_cast<size_t>(i) * m + j] = v->cells[int64_t{j} * n + i];
    for (int64_t c = 0; c < v->count; c++) v->cells[c] = t[static_cast<size_t>(c)];
    v->rows = m;
}

void diagonal(arr_value* v) {
    array rec{};
    special_set_2(v->rows, v->columns(), &rec.size);
    int32_t rows = v->rows;
    std::vector<quoly*> d(static_cast<size_t>(std::min<int64_t>(v->rows, v->columns())));
    sparse* frame = v->frame;
    extract_diagonal(d.data(), v->cells, &rec, 0, &rows, &frame);
    special_free(&rec.size);
    // The cells taken are the operand's own: copies become the value.
    std::vector<quoly*> copies(d.size(), nullptr);
    for (size_t k = 0; k < d.size(); k++) quoly_assign(d[k], &copies[k]);
    release_value(v);
    for (size_t k = 0; k < copies.size(); k++) v->cells[k] = copies[k];
    v->count = static_cast<int64_t>(copies.size());
    v->rows = static_cast<int32_t>(copies.size());
    v->frame = nullptr;
    v->fresh = 1;
}

// "$" (greatest integer) or "|...|" (absolute value) of the scalar or of
// every cell; shared cells are copied first.
void great_or_abs(arr_value* v, quoly** result, bool great) {
    if (v->count == 0) {
        if (great)
            quoly_great_int(result);
        else
            quoly_abs(*result);
        return;
    }
    make_fresh(v);
    if (v->frame) {
        sparse_great_abs(&v->frame, v->rows, 1, !great);
        return;
    }
    for (int64_t c = 0; c < v->count; c++) {
        if (great)
            quoly_great_int(&v->cells[c]);
        else
            quoly_abs(v->cells[c]);
    }
}

// Expected shape for the forms that take their size from the target.
void need_shape(int code, const char* tok) {
    if (expect_count == 0) arr_error(code, tok);
}

void constant_diagonal(FILE** source, arr_value* v, name** pending) {
    need_shape(45, token.name);
    const bool minus = token_is(&token, "-");
    if (minus) next_token(source, pending);
    SlotHold c;
    int32_t level = 0;
    quoly_readin(source, &c.q, pending, &level);
    if (minus) {
        quoly* t = nullptr;
        quoly_makeneg(c.q, &t);
        free_quoly(&c.q);
        c.q = t;
    }
    const int32_t n = expect_rows;
    v->frame = new_frame_chain(n);
    v->fresh = 1;
    v->rows = n;
    v->count = int64_t{n} * n;
    if (!quoly_iszero(c.q))
        for (int32_t i = 1; i <= n; i++) {
            quoly* x = nullptr;
            quoly_assign(c.q, &x);
            sparse_adjoin(v->frame, i - 1 + addresser, i - 1 + addresser, x);
        }
}

void random_array(FILE** source, arr_value* v, name** pending) {
    need_shape(142, token.name);
    const int clock = token_is(&token, "RRand");
    next_token(source, pending);
    const int32_t rows = expect_rows;
    const int32_t cols = static_cast<int32_t>(expect_count / rows);
    v->rows = rows;
    if (want_sparse) {
        v->frame = new_frame_chain(rows);
        v->fresh = 1;
        v->count = expect_count;
        for (int32_t i = 0; i < rows; i++)
            for (int32_t j = 0; j < cols; j++) {
                quoly* x = nullptr;
                randomize(clock, &x);
                sparse_adjoin(v->frame, i + addresser, j + addresser, x);
            }
        return;
    }
    v->fresh = 1;
    v->count = 0;
    for (int64_t c = 0; c < expect_count; c++) {
        v->cells[c] = nullptr;
        randomize(clock, &v->cells[c]);
        v->count = c + 1;
    }
}

// The element list after "(" (row vector) or after "[" "[" (line-aware).
void element_list(FILE** source, quoly** result, arr_value* v, name** pending, bool line_aware) {
    const char* closing = line_aware ? "]" : ")";
    int64_t n = 0;
    int64_t first_line = -1;
    v->fresh = 1;
    v->count = 0;
    v->rows = 1;
    if (line_aware && want_sparse) {
        // The expected shape rides in count and rows into the reader, which
        // takes it and leaves count 0 until it has built its frame: the work
        // block may still hold cells that an earlier statement moved into an
        // array, which an error inside the literal must not free nor a call
        // inside it copy.
        v->rows = expect_rows;
        v->count = expect_count;
        v->fresh = 0;
        int fallback = 0;
        SlotHold first;
        sparse_read(source, &first.q, v, pending, &fallback);
        if (!fallback) return;
        v->fresh = 1;
        v->count = 0;
        v->rows = 1;
        v->cells[0] = first.release();
        v->count = n = 1;
        if (!token_is(&token, ",") && !token_is(&token, closing)) arr_error(70, token.name);
    }
    for (;;) {
        if (n > 0 || v->count > 0) {
            if (token_is(&token, closing)) break;
            if (!token_is(&token, ",")) arr_error(70, token.name);
            if (n >= MAX_DENSE_CELLS) arr_error(71, ",");
            int crossed = 0;
            spec_scanner(source, &token, pending, &crossed);
            if (crossed && first_line < 0) first_line = n;
        }
        v->cells[n] = nullptr;
        old_expre(source, &v->cells[n], pending);
        if (!v->cells[n]) quoly_set(0, &v->cells[n]);
        v->count = ++n;
    }
    next_token(source, pending);   // past the closing sign
    if (!line_aware) {
        v->rows = 1;
        return;
    }
    const int64_t cols = first_line < 0 ? 1 : first_line;
    if (n % cols != 0) arr_error(173, token.name);
    const int64_t rows = n / cols;
    std::vector<quoly*> t(static_cast<size_t>(n));
    for (int64_t e = 0; e < n; e++) t[static_cast<size_t>((e / cols) + (e % cols) * rows)] = v->cells[e];
    for (int64_t e = 0; e < n; e++) v->cells[e] = t[static_cast<size_t>(e)];
    v->rows = static_cast<int32_t>(rows);
    (void)result;
}

void named_operand(FILE** source, arr_value* v, name** pending) {
    array* a = nullptr;
    if (token_is(&token, "%")) {
        fasterlookup(&token, &a, source, pending);
    } else {
        fastestlookup(&token, &a);
        next_token(source, pending);
    }
    if (!a) arr_error(28, token.name);
    if (token_is(&token, "[")) {
        if (a->sparse) arr_error(244, token.name);
        array_block b{};
        subarray(source, pending, a, &b);
        v->rows = b.rows;
        v->count = int64_t{b.rows} * b.columns;
        v->fresh = 0;
        v->frame = nullptr;
        fillit(b.rows, b.columns, b.first, b.stride, v->cells);
        enter_left_out_cells(v);
        return;
    }
    v->rows = a->rows;
    v->count = cell_count(a);
    v->fresh = 0;
    if (a->sparse) {
        sparse_operand(a, v);
        return;
    }
    v->frame = nullptr;
    fillit_1(a, v->cells);
    enter_left_out_cells(v);
}

void string_literal(FILE** source, arr_value* v, name** pending) {
    int newline = 0;
    v->fresh = 1;
    v->count = 0;
    v->rows = 1;
    tokenrec t;
    for (;;) {
        dumbscanner(source, &t, pending, &newline);
        if (t.name[0] == '\'' || token_is(&t, ";")) break;
        if (v->count >= MAX_DENSE_CELLS) arr_error(71, "'");
        v->cells[v->count] = nullptr;
        quoly_set(static_cast<unsigned char>(t.name[0]), &v->cells[v->count]);
        v->count++;
    }
    if (v->count == 0) arr_error(110, "'");
    next_token(source, pending);
}

void bracketed(FILE** source, quoly** result, arr_value* v, name** pending) {
    next_token(source, pending);
    if (starts_number(token) || token_is(&token, "-") || is_poly_variable(token)) {
        constant_diagonal(source, v, pending);
    } else if (token_is(&token, "<")) {
        next_token(source, pending);
        if (!token_is(&token, "]")) {
            generated_array(source, v, pending);
            if (!token_is(&token, "]")) arr_error(24, token.name);
            next_token(source, pending);
            return;
        }
        if (syst->last < 0 && !syst->sparse) arr_error(175, token.name);
        take_syst(v);
    } else if (token_is(&token, "Rand") || token_is(&token, "RRand")) {
        random_array(source, v, pending);
    } else if (token_is(&token, "%") || (token.name[0] >= 'a' && token.name[0] <= 'z')) {
        named_operand(source, v, pending);
    } else if (token_is(&token, "(")) {
        next_token(source, pending);
        element_list(source, result, v, pending, false);
    } else if (token_is(&token, "[")) {
        next_token(source, pending);
        element_list(source, result, v, pending, true);
    } else if (token_is(&token, "]") && want_sparse) {
        v->frame = new_frame_chain(expect_rows);
        v->rows = expect_rows;
        v->count = expect_count;
        v->fresh = 1;
        next_token(source, pending);
        return;   // the "]" was the form's own
    } else {
        arr_error(40, token.name);
    }
    if (!token_is(&token, "]")) arr_error(24, token.name);
    next_token(source, pending);
}

void altmult(FILE** source, quoly** result, arr_value* v, name** pending) {
    next_token(source, pending);
    if (!token_is(&token, "(")) arr_error(177, token.name);
    next_token(source, pending);
    arr_expre(source, result, v, pending, 1);
    if (v->count == 0) arr_error(72, "Altmult");
    if (v->frame) arr_error(242, "Altmult");
    if (!token_is(&token, ",")) arr_error(202, token.name);
    next_token(source, pending);
    WorkBlock bw("Altmult");
    arr_value b;
    b.cells = bw.cells;
    ArrValueHold bh(&b);
    SlotHold bs;
    arr_expre(source, &bs.q, &b, pending, 1);
    if (b.count == 0) arr_error(72, "Altmult");
    if (b.frame) arr_error(242, "Altmult");
    if (!token_is(&token, ")")) arr_error(1, token.name);
    next_token(source, pending);
    if (v->columns() != b.rows) arr_error(39, "Altmult");
    if (oversize(v->rows, b.columns())) arr_error(43, "Altmult");
    WorkBlock rw("Altmult");
    const int32_t m = v->rows, n = b.rows, p = b.columns();
    fast_mat_mult(v->cells, b.cells, rw.cells, m, n, p);
    release_value(v);
    for (int64_t c = 0; c < int64_t{m} * p; c++) v->cells[c] = rw.cells[c];
    v->rows = m;
    v->count = int64_t{m} * p;
    v->fresh = 1;
}

// The exponent after "^" (current) or in a power form's list, which must
// fit a machine integer (error 32).
int32_t machine_exponent(FILE** source, name** pending, int as_factor) {
    NumberHold e;
    bool beyond = false;
    get_exponent(source, pending, &e.n, as_factor, &beyond);
    if (beyond || (!lintmode && e.n->count > 1)) arr_error(32, token.name);
    return lintmode ? e.n->value : e.n->head->digit;
}

// Cells of a work block owned until moved into a value.
struct OwnedCells {
    quoly** cells;
    int64_t count;
    OwnedCells(quoly** c, int64_t k) : cells(c), count(k) {
        for (int64_t i = 0; i < count; i++) cells[i] = nullptr;
    }
    ~OwnedCells() {
        for (int64_t i = 0; i < count; i++) free_quoly(&cells[i]);
    }
    // v's own cells are released and these take their place, fresh.
    void move_into(arr_value* v) {
        release_value(v);
        for (int64_t i = 0; i < count; i++) {
            v->cells[i] = cells[i];
            cells[i] = nullptr;
        }
        v->count = count;
        v->fresh = 1;
    }
};

// The exponent of MPowermod: an expression read exactly whatever the ground
// ring, kept in digits (error 116 when not a number).
void digit_exponent(FILE** source, name** pending, imag** e) {
    DigitSlotHold q;
    {
        ExactCountGuard exact;
        next_token(source, pending);
        old_expre(source, &q.q, pending);
        if (!q.q || !q.q->isnum) arr_error(116, "^");
        *e = new_number();
        spec_num_assign(q.q->nnum, *e);
    }
}

// "Adjoint" factor.
void adjoint_form(FILE** source, quoly** result, arr_value* v, name** pending) {
    next_token(source, pending);
    arr_fact(source, result, v, pending);
    if (v->count == 0) arr_error(72, "Adjoint");
    if (v->frame) arr_error(242, "Adjoint");
    if (v->count != int64_t{v->rows} * v->rows) arr_error(241, "Adjoint");
    const int32_t n = v->rows;
    WorkBlock w("Adjoint");
    OwnedCells out(w.cells, v->count);
    sparse* none = nullptr;
    adjoint(v->cells, out.cells, v->fresh, n, &none);
    out.move_into(v);
    v->rows = n;
}

// "Altpower" "(" A "," n ")" and "MPowermod" "(" A "," n "," m ")": the
// operands and their checks, then the power, which a later piece provides.
void power_form(FILE** source, quoly** result, arr_value* v, name** pending) {
    const bool modular_power = token_is(&token, "MPowermod");
    const char* word = modular_power ? "MPowermod" : "Altpower";
    next_token(source, pending);
    if (!token_is(&token, "(")) arr_error(177, token.name);
    next_token(source, pending);
    arr_expre(source, result, v, pending, 1);
    if (v->count == 0) arr_error(72, word);
    if (v->frame) arr_error(242, word);
    if (v->count != int64_t{v->rows} * v->rows) arr_error(172, word);
    if (!token_is(&token, ",")) arr_error(202, token.name);
    // MPowermod takes an exponent of any length; Altpower a machine integer.
    NumberHold e;
    int32_t n = 0;
    if (modular_power)
        digit_exponent(source, pending, &e.n);
    else
        n = machine_exponent(source, pending, 0);
    SlotHold m;
    if (modular_power) {
        if (!token_is(&token, ",")) arr_error(202, token.name);
        next_token(source, pending);
        old_expre(source, &m.q, pending);
        if (!m.q) quoly_set(0, &m.q);
        if (m.q->isnum) {
            // Modular mode is machine-integer mode too: a number modulus
            // there would be a second modulus, which no product applies.
            if (lintmode) arr_error(188, word);
            const bool positive = lintmode ? m.q->nnum->value > 0 : m.q->nnum->head->digit > 0;
            if (!positive) arr_error(288, word);
        } else if (m.q->rat || m.q->den) {
            arr_error(288, word);
        }
    }
    if (!token_is(&token, ")")) arr_error(1, token.name);
    next_token(source, pending);
    mat_shape shape{v->count, v->rows};
    if (modular_power)
        matpowermod(v->cells, &shape, &v->fresh, e.n, &m.q, verbose && windy);
    else
        alt_mat_power(v->cells, &shape, &v->fresh, n);
}

}  // namespace

void arr_fact(FILE** source, quoly** result, arr_value* v, name** pending) {
    set_scalar(v);
    // Brackets and prefix operators nest through here.
    if (nesting_refused(token.name)) abandon_statement(DEEP_NESTING_ERROR);
    if (token_is(&token, "-")) {
        next_token(source, pending);
        arr_fact(source, result, v, pending);
        negate(v, result);
        return;
    }
    if (token_is(&token, "Trans") || token_is(&token, "*101")) {
        next_token(source, pending);
        arr_fact(source, result, v, pending);
        if (v->count == 0) arr_error(72, "Trans");
        transpose(v);
        return;
    }
    if (token_is(&token, "Diag") || token_is(&token, "*14")) {
        next_token(source, pending);
        arr_fact(source, result, v, pending);
        if (v->count == 0) arr_error(74, "Diag");
        diagonal(v);
        return;
    }
    if (token_is(&token, "$")) {
        next_token(source, pending);
        arr_fact(source, result, v, pending);
        great_or_abs(v, result, true);
        return;
    }
    if (token_is(&token, "|")) {
        next_token(source, pending);
        arr_fact(source, result, v, pending);
        if (!token_is(&token, "|")) arr_error(63, token.name);
        next_token(source, pending);
        great_or_abs(v, result, false);
        return;
    }
    if (token_is(&token, "\"") || token_is(&token, "~")) arr_error(2, token.name);
    if (token_is(&token, "[")) {
        bracketed(source, result, v, pending);
    } else if (token_is(&token, "Altmult")) {
        altmult(source, result, v, pending);
    } else if (token_is(&token, "Adjoint")) {
        adjoint_form(source, result, v, pending);
    } else if (token_is(&token, "Altpower") || token_is(&token, "MPowermod")) {
        power_form(source, result, v, pending);
    } else if (token_is(&token, "'")) {
        string_literal(source, v, pending);
    } else {
        // A polynomial applied to a bracketed matrix: the scalar reader
        // stops at the "[" and lowers matrix_eval to say so.
        const int32_t raised = ++matrix_eval;
        old_fact(source, result, pending);
        if (!*result) quoly_set(0, result);
        if (matrix_eval < raised) {
            SlotHold p;
            p.q = *result;
            *result = nullptr;
            quoly_set(0, result);
            quoly_at_matrix(source, p.q, v, pending);
            half_arr_fact(source, result, v, pending);
            return;
        }
        matrix_eval = raised - 1;
        return;   // the scalar reader took its own postfix operators
    }
    half_arr_fact(source, result, v, pending);
}

void half_arr_fact(FILE** source, quoly** result, arr_value* v, name** pending) {
    if (token_is(&token, "^")) {
        if (v->count == 0) {
            NumberHold e;
            bool beyond = false;
            get_exponent(source, pending, &e.n, 1, &beyond);
            raise_to_power(result, e.n, beyond);
            return;
        }
        if (v->count != int64_t{v->rows} * v->rows) arr_error(172, "^");
        const int32_t n = machine_exponent(source, pending, 1);
        mat_shape shape{v->count, v->rows};
        matrix_power(v->cells, &shape, &v->fresh, n, v->frame ? &v->frame : nullptr);
    } else if (token_is(&token, "#")) {
        next_token(source, pending);
        if (v->count == 0) {
            if (token_is(&token, "[")) {
                SlotHold p;
                p.q = *result;
                *result = nullptr;
                quoly_at_matrix(source, p.q, v, pending);
                quoly_set(0, result);
                return;
            }
            SlotHold at;
            int32_t level = 1;
            get_evalquoly(source, result, &at.q, &level, pending, 1, 0);
            return;
        }
        if (v->frame) {
            SlotHold at;
            sparse_evalquoly(&at.q, &v->frame, v->rows, &v->fresh, source, pending);
            return;
        }
        make_fresh(v);
        quoly* at = nullptr;
        int32_t level = 1;
        struct Chain {
            quoly** q;
            ~Chain() {
                while (*q) {
                    quoly* next = (*q)->link;
                    (*q)->link = nullptr;
                    free_quoly(q);
                    *q = next;
                }
            }
        } chain{&at};
        for (int64_t c = 0; c < v->count; c++) get_evalquoly(source, &v->cells[c], &at, &level, pending, 0, 0);
    }
}
