// Argument readers of the built-ins (see builtin_args.h).
#include "interp/builtin_args.h"

#include <cstring>

#include "interp/evaluator.h"
#include "interp/exact_read.h"
#include "interp/loop_values.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"
#include "toplevel/loop.h"

namespace {

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

void bnext(FILE** source, name** pending) { scanner(source, &token, pending); }

void bfail(int code, const char* text) {
    error(code, text);
    abandon_statement(code);
}

void bexpect(const char* what, int code) {
    if (!token_is(&token, what)) bfail(code, token.name);
}

void open_arguments(FILE** source, name** pending) {
    bnext(source, pending);
    bexpect("(", 177);
    bnext(source, pending);
}

void close_arguments(FILE** source, name** pending) {
    bexpect(")", 1);
    bnext(source, pending);
}

void next_argument(FILE** source, name** pending, int code) {
    bexpect(",", code);
    bnext(source, pending);
}

void value_argument(FILE** source, name** pending, quoly** slot, bool refuse_ref) {
    if (refuse_ref && token_is(&token, "^")) bfail(313, token.name);
    old_expre(source, slot, pending);
    if (!*slot) quoly_set(0, slot);
}

quoly** get_quoly_ptr(FILE** source, name** pending, int* sparse, colm*** row, int32_t* column) {
    if (sparse) *sparse = 0;
    if (row) *row = nullptr;
    if (token_is(&token, "^")) bnext(source, pending);
    if (token_is(&token, "<")) bfail(243, token.name);
    if (number_polys > 0 && its_a_polyname(token.name)) bfail(125, token.name);
    if (!is_lower(token.name[0]) && !token_is(&token, "%")) bfail(29, token.name);
    const tokenrec nm = token;
    // The factor routine in reference mode finds scalars, elements and
    // compiled bindings the way an expression would.
    SlotHold local;
    quoly** ref = nullptr;
    colm** list = nullptr;
    int32_t second = 0;
    fact(source, &ref, &local.q, &list, &second, pending, 1);
    if (ref == &local.q || local.q) bfail(29, nm.name);
    if (sparse && list) *sparse = 1;
    if (row && list) {
        *row = list;
        if (column) *column = second;
    }
    return ref;
}

quoly** get_quoly_slot(FILE** source, name** pending) {
    if (token_is(&token, "^")) bnext(source, pending);
    if (token_is(&token, "<")) {
        // The previous result, or an element of the system array: a copy
        // held for the statement is not wanted here, so read it in place.
        bnext(source, pending);
        if (!token_is(&token, "[")) return &prevnum;
        int32_t i = 0, j = 0;
        int two = 0;
        bnext(source, pending);
        evalcoords(source, &i, &j, pending, ']', ',', &two, 0);
        bnext(source, pending);
        quoly** cell = nullptr;
        array_quoly_ptr(syst, i, j, two, &cell, "<", 1);
        return cell;
    }
    return get_quoly_ptr(source, pending);
}

quoly* get_quoly(FILE** source, name** pending) {
    quoly** slot = get_quoly_slot(source, pending);
    return slot ? *slot : nullptr;
}

quoly** get_the_data(FILE** source, name** pending, quoly** arg) {
    free_quoly(arg);
    if (token_is(&token, "^")) {
        quoly** slot = get_quoly_ptr(source, pending);
        if (slot && *slot && read_left_out_converted(*slot, arg)) return arg;
        if (slot && *slot && index_in_ring(*slot, arg)) return arg;
        if (slot && *slot) return slot;
        quoly_set(0, arg);
        return arg;
    }
    value_argument(source, pending, arg);
    return arg;
}

quoly** standard_read(FILE** source, name** pending, quoly** arg) {
    open_arguments(source, pending);
    quoly** p = get_the_data(source, pending, arg);
    close_arguments(source, pending);
    return p;
}

void get_two_data(FILE** source, name** pending, quoly** args[2], quoly*** out_a, quoly*** out_b) {
    open_arguments(source, pending);
    *out_a = get_the_data(source, pending, args[0]);
    next_argument(source, pending);
    *out_b = get_the_data(source, pending, args[1]);
    close_arguments(source, pending);
}

quoly** read_quoly_ptr2(FILE** source, name** pending, quoly** arg) {
    free_quoly(arg);
    quoly** slot = get_quoly_ptr(source, pending);
    // A value a conversion list left out is read as its element of the ring.
    if (slot && *slot && read_left_out_converted(*slot, arg)) return arg;
    // So is a loop index past the modulus.
    if (slot && *slot && index_in_ring(*slot, arg)) return arg;
    if (slot && *slot) return slot;
    quoly_set(0, arg);
    return arg;
}

namespace {

enum class CountRead { digit, longer, not_number };

// The count's expression, read exactly (in digits even in a machine-word
// ring) with modular arithmetic off. A lone digit comes back in *digit.
// The errors are the caller's, raised once the ring is back.
CountRead read_count_digit(FILE** source, name** pending, int32_t* digit) {
    ExactCountGuard exact;
    SlotHold v;
    old_expre(source, &v.q, pending);
    if (!v.q) return CountRead::digit;   // nothing read: 0
    if (!v.q->isnum) return CountRead::not_number;
    imag* n = v.q->nnum;
    if (n->count > 1) return CountRead::longer;
    *digit = n->count ? n->head->digit : 0;
    return CountRead::digit;
}

}  // namespace

int32_t count_argument(FILE** source, name** pending, bool refuse_ref, int not_number) {
    if (refuse_ref && token_is(&token, "^")) bfail(313, token.name);
    int32_t k = 0;
    const CountRead r = read_count_digit(source, pending, &k);
    if (r == CountRead::not_number) bfail(not_number, token.name);
    if (r == CountRead::longer) bfail(32, token.name);
    return k;
}

int32_t get_level_k(FILE** source, name** pending, bool non_negative) {
    int32_t k = 0;
    const CountRead r = read_count_digit(source, pending, &k);
    if (r == CountRead::not_number) bfail(227, token.name);
    if (r == CountRead::longer) bfail(314, token.name);
    if (non_negative && k < 0) bfail(300, token.name);
    return k;
}

void read_command(FILE** source, name** pending, array_operand* out, int* star, bool allow_star) {
    open_arguments(source, pending);
    if (star) *star = 0;
    if (allow_star && token_is(&token, "*")) {
        if (star) *star = 1;
        bnext(source, pending);
    }
    bexpect("[", 178);
    left_side(source, pending, out, 0);
    if (!out->record) bfail(28, out->nm.name);
}

void array_argument(FILE** source, name** pending, array_operand* out) {
    bexpect("[", 178);
    left_side(source, pending, out, 0);
    if (!out->record) bfail(28, out->nm.name);
}

void whole_array(const array_operand& a) {
    if (a.sub_first_row >= 0) bfail(182, a.nm.name);
}

void output_array_argument(FILE** source, name** pending, tokenrec* nm) {
    bexpect("[", 178);
    bnext(source, pending);
    if (token_is(&token, "%")) bfail(296, token.name);
    if (token_is(&token, "<")) bfail(176, token.name);
    if (!is_lower(token.name[0])) bfail(42, token.name);
    if (number_polys > 0 && its_a_polyname(token.name)) bfail(125, token.name);
    *nm = token;
    bnext(source, pending);
    if (token_is(&token, "[")) bfail(182, nm->name);
    bexpect("]", 24);
    bnext(source, pending);
}

array* replace_output_array(tokenrec* nm, int32_t rows, int32_t columns, bool sparse, name** pending) {
    removearray(1, nm, *pending != nullptr);
    if (sparse) return sparse_create(nm, rows, columns, columns == 1 ? 1 : 0, 1);
    array* a = insertarr(nm, rows, columns, 0);
    for (int32_t c = a->first; c <= a->last; c++) *cell_at(c) = nullptr;
    return a;
}

void set_quotient(quoly* value, FILE** source, name** pending, int code, char end) {
    SlotHold owned;
    owned.q = value;
    name* rec = *pending;
    quoly** slot = nullptr;
    element_ref ref{};
    bool element = false;
    const tokenrec nm = token;
    if (rec && rec->resolved && rec->bind_kind == 1 && std::strcmp(rec->token, token.name) == 0 &&
        !array_parameter(*static_cast<quoly**>(rec->binding))) {
        slot = static_cast<quoly**>(rec->binding);
        bnext(source, pending);
    } else {
        if (number_polys > 0 && its_a_polyname(token.name)) bfail(125, token.name);
        if (!is_lower(token.name[0]) && !token_is(&token, "<")) bfail(232, token.name);
        compiled_array* binding = nullptr;
        if (rec && rec->resolved && rec->bind_kind != 1 && std::strcmp(rec->token, token.name) == 0)
            binding = static_cast<compiled_array*>(rec->binding);
        bnext(source, pending);
        if (token.name[0] == end) {
            if (token_is(&nm, "<")) bfail(176, nm.name);
            var* v = find_var(&nm);
            if (v) {
                slot = &v->value;
            } else {
                var* made = nullptr;
                insert_var(&nm, owned.release(), &made);
                return;
            }
        } else if (token_is(&token, "[")) {
            if (token_is(&nm, "<")) bfail(176, nm.name);
            tokenrec id = nm;
            element_reference(source, &id, pending, &ref, binding);
            element = true;
        } else {
            bfail(code, token.name);
        }
    }
    if (element) {
        const bool zero = quoly_iszero(owned.q);
        if (ref.arr->sparse && zero) {
            sparse_delete(ref.i, ref.j, ref.arr, ref.two);
        } else {
            slot = element_cell_again(ref, true);
            if (!slot) bfail(28, nm.name);
        }
    }
    if (slot) {
        retire_value(slot);
        *slot = owned.release();
        if ((*slot)->isnum) (*slot)->den = nullptr;
    }
    if (token.name[0] != end) bfail(code, token.name);
}
