// arr_parse: the one entry of the statements about whole arrays, and the
// families it evaluates itself: sums, traces and the determinant family
// (options, counting, extreme positions).
#include "interp/exact_read.h"
#include "interp/array_language.h"

#include "matrix/array_value.h"
#include "det/hamilton.h"
#include "det/mat_invert.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/extremes.h"
#include "matrix/sparse.h"
#include "matrix/sparse_sums.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/laurent.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "quoly/quoly_eval.h"
#include "quoly/value_equality.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// Reads one array factor into v (in the statement's work block).
void read_matrix(FILE** source, quoly** result, arr_value* v, name** pending) {
    v->count = 0;
    v->rows = 0;
    v->frame = nullptr;
    v->fresh = 0;
    arr_fact(source, result, v, pending);
}

// The integer an option holds: its machine word, else its leading digit.
int32_t option_integer(quoly* q) {
    if (lintmode) return q->nnum->value;
    const imag* n = q->nnum;
    if (n->count == 0) return 0;
    if (n->count > 1) return n->head->digit > 0 ? INT32_MAX : INT32_MIN + 1;
    return n->head->digit;
}

// The determinant's options after the matrix, "," by ",", then ")" when
// the form opened one.
struct det_options {
    polynode* factor = nullptr;
    quoly* unit = nullptr;   // Laurent mode: the monomial taken out of the factor
    int32_t degree = -1;
    int32_t second_degree = -1;
    int32_t power = -1;
    ~det_options() {
        if (factor) free_poly(&factor);
        if (unit) free_quoly(&unit);
    }
};

// In Laurent mode every monomial is a unit: the factor keeps only the part
// free of monomials, an ordinary polynomial that every method can divide
// by, and the monomial divides the determinant at the end.
// The unit: what the hint is beyond the factor kept.
void take_unit(quoly* hint, det_options* o) {
    quoly* proper = nullptr;
    p_q_assign(o->factor, &proper);
    quoly_detail::QuolyHold hold(proper);
    quoly_assign(hint, &o->unit);
    fast_quoly_quot(&o->unit, &hold.q, 0);
}

void split_laurent_factor(quoly* hint, det_options* o) {
    polynode* first = nullptr;
    polynode* last = nullptr;
    clear_bads(&o->factor, &first, &last, SHIFT_LEAST, SHIFT_ALL_LEVELS);
    if (!first) return;
    release_shift_list(&first, &last);
    take_unit(hint, o);
}

void read_det_options(FILE** source, name** pending, int code, bool open_paren, det_options* o) {
    int k = 0;
    while (token_is(&token, ",")) {
        k++;
        if (k > 4 || (code == 'H' && k > 1)) arr_error(15, token.name);
        next_token(source, pending);
        SlotHold q;
        if (k == 1 && code != 'H') {
            old_expre(source, &q.q, pending);
            if (q.q->isnum) {
                quoly_to_poly(q.q, &o->factor);
            } else if (q.q->den && !quoly_detail::lone_number(q.q->den)) {
                warning(1, token.name);
            } else {
                o->factor = quoly_detail::copy_poly(q.q->pnum);
                if (laurent) split_laurent_factor(q.q, o);
                // A number denominator is a unit over the rationals.
                if (q.q->den && !o->unit) take_unit(q.q, o);
            }
            continue;
        }
        read_count_value(source, pending, &q.q);
        if (!q.q->isnum) arr_error(227, token.name);
        if (code == 'H') {
            quoly_to_poly(q.q, &o->factor);
            continue;
        }
        const int32_t x = option_integer(q.q);
        if (k == 2) o->degree = x;
        if (k == 3) o->second_degree = x;
        if (k == 4) o->power = x;
    }
    if (open_paren) {
        if (!token_is(&token, ")")) arr_error(1, token.name);
        next_token(source, pending);
    }
    // A power of -1, 0 or 1 says nothing about the determinant.
    int32_t& p = o->power;
    if (k >= 4) {
        if (p == -1 || p == 0 || p == 1) arr_error(351, token.name);
        if (p > 0 && p % 2 == 0) {
            if ((p & (p - 1)) != 0) {
                warning(4, token.name);
            } else {
                p /= 2;
                if (p == 1) {
                    p = -1;
                    if (verbose) std::printf(" Warning. Setting power = 2 has no effect.\n");
                }
            }
        }
    }
    if (o->degree != -1 && o->degree < 1) {
        warning(2, token.name);
        o->degree = -1;
    }
}

// The "#" form: the cells that compare with the value.
void count_cells(FILE** source, quoly** result, arr_value* v, name** pending) {
    if (v->frame) arr_error(242, "#");
    const char op = token.name[0];
    if (!(token_is(&token, "=") || token_is(&token, ">") || token_is(&token, "<"))) arr_error(65, token.name);
    next_token(source, pending);
    SlotHold x;
    old_expre(source, &x.q, pending);
    if (!token_is(&token, ")")) arr_error(66, token.name);
    next_token(source, pending);
    int32_t n = 0;
    for (int64_t c = 0; c < v->count; c++) {
        quoly* cell = v->cells[c];
        if (op == '=') {
            n += quoly_same_value(cell, x.q) ? 1 : 0;
            continue;
        }
        if (!cell->isnum || !x.q->isnum) arr_error(120, token.name);
        n += (op == '>' ? quoly_larger(cell, x.q) : quoly_larger(x.q, cell)) ? 1 : 0;
    }
    quoly_set(n, result);
}

// The "^" and "_" forms: the linear position (from addresser) of the
// largest or least cell.
void extreme_position(quoly** result, arr_value* v, bool maximum, bool positive, const char* form) {
    int64_t pos;
    if (v->frame) {
        sparse_max_min(v->frame, v->rows, v->columns(), maximum, positive, &pos);
    } else {
        extreme_state st{maximum, positive, 0, nullptr, -1};
        tokenrec keep = token;
        set_token(&token, form);   // error 119 names the form
        for (int64_t c = 0; c < v->count; c++) consider(v->cells[c], c, &st);
        token = keep;
        pos = (st.found ? st.position : -1) + addresser;
    }
    quoly_set(static_cast<int32_t>(pos), result);
}

void determinant_family(int code, FILE** source, quoly** result, arr_value* v, name** pending) {
    if (code == 'L') {
        set_token(&token, "_");
    } else {
        next_token(source, pending);
    }
    if (code == '8') {
        if (!token_is(&token, "(")) arr_error(177, token.name);
        if (lintmode) arr_error(235, token.name);
    }
    char form = ' ';
    bool positive = false;
    if (token_is(&token, "(")) {
        form = '(';
        next_token(source, pending);
    } else if (token_is(&token, "^") || token_is(&token, "_")) {
        form = token.name[0];
        next_token(source, pending);
        if (form == '_' && token_is(&token, "+")) {
            positive = true;
            next_token(source, pending);
        }
    } else if (token_is(&token, "#")) {
        form = '#';
        next_token(source, pending);
        if (!token_is(&token, "(")) error(64, token.name);
        next_token(source, pending);
    }
    int32_t prime_count = 0;
    if (code == '8') {
        SlotHold c;
        old_expre(source, &c.q, pending);
        if (!c.q->isnum) arr_error(227, token.name);
        prime_count = option_integer(c.q);
        if (prime_count < 2) arr_error(364, token.name);
        if (!token_is(&token, ",")) arr_error(202, token.name);
        next_token(source, pending);
    }
    read_matrix(source, result, v, pending);
    if (v->count == 0) arr_error(46, token.name);
    if (code == 'H' && (v->frame || v->count != int64_t{v->rows} * v->rows || v->rows > 100))
        arr_error(23, token.name);
    if (code == '8' && !v->frame) arr_error(333, token.name);
    if (form == '#') {
        count_cells(source, result, v, pending);
        return;
    }
    if (form == '^' || form == '_') {
        extreme_position(result, v, form == '^', positive, form == '^' ? "^" : "_");
        return;
    }
    det_options o;
    read_det_options(source, pending, code, form == '(', &o);
    quoly_set(1, result);
    if (v->count != int64_t{v->rows} * v->rows) arr_error(241, token.name);
    if (code == 'H') {
        // The layered matrix is the search's own; the operand is done with.
        struct Layered {
            sparse* f = nullptr;
            int32_t side = 0;
            ~Layered() { free_stuff(f, side); }
        } layered;
        layered.side = set_up_hamilton(v->cells, v->rows, &layered.f);
        release_value(v);
        mat_invert(nullptr, nullptr, 0, 0, -layered.side, result, 0, 0, &layered.f, o.factor, o.degree,
                   o.second_degree, o.power, 0, prime_count);
        return;
    }
    if (!v->frame && first_available > WORK_BLOCKS) {
        warning(90, token.name);
        return;
    }
    // The statement's operand is never consumed: a stored array must come
    // out of its determinant unchanged, and a fresh one is freed by its hold.
    mat_invert(v->cells, nullptr, 0, 0, v->rows, result, 0, 0, &v->frame, o.factor, o.degree, o.second_degree,
               o.power, 0, prime_count);
    if (o.unit) fast_quoly_quot(result, &o.unit, 0);
}

void sum_or_trace(int code, FILE** source, quoly** result, arr_value* v, name** pending) {
    next_token(source, pending);
    read_matrix(source, result, v, pending);
    if (code == 'S') {
        if (v->count == 0) arr_error(46, token.name);
        if (v->frame)
            sparse_sum(result, v->frame, v->rows);
        else
            sum_arr(v->cells, static_cast<int32_t>(v->count), result);
        return;
    }
    const int32_t n = v->rows;
    if (v->count == 0 || v->count != int64_t{n} * n) arr_error(194, token.name);
    if (v->frame) {
        sparse_trace(result, v->frame, n);
        return;
    }
    quoly_assign(v->cells[0], result);
    for (int32_t k = 1; k < n; k++) {
        quoly* t = nullptr;
        quoly_add(*result, v->cells[int64_t{k} * (n + 1)], &t);
        free_quoly(result);
        *result = t;
    }
}

}  // namespace

void arr_parse(int code, FILE** source, quoly** result, name** pending) {
    WorkBlock block(token.name);
    arr_value v;
    v.cells = block.cells;
    ArrValueHold hold(&v);
    // The operands of an array statement are held while the rest of it runs.
    ReadingValue reading;
    switch (code) {
    case '[':
    case '~':
        arr_asstat(source, result, &v, pending);
        return;
    case '"':
    case 'A':
    case 'M':
        arr_expre(source, result, &v, pending, 1);
        if (v.count == 0) {
            // A scalar is no array result: the statement's value is it.
            return;
        }
        value_to_syst(&v);
        quoly_set(0, result);
        return;
    case '%':
        arr_arr_state(source, result, &v, pending);
        return;
    case 'S':
    case 'T':
        sum_or_trace(code, source, result, &v, pending);
        return;
    case '7':
    case '8':
    case 'H':
    case 'L':
        determinant_family(code, source, result, &v, pending);
        return;
    default:
        return;
    }
}
