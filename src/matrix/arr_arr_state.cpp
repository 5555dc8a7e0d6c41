// The statement that begins with "%", the array of arrays: a slot made to
// refer to a named array or to another slot's array, an element of a
// slot's array assigned or starting a scalar expression, and a whole slot
// starting an array expression whose value goes into the system array.
//
// A slot holds the array record itself, so writes through it reach the
// named array; deleting or remaking that array clears the slot. A slot never
// holds a parameter's alias, only the array it stands for.
#include "matrix/array_value.h"

#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/stored_code.h"
#include "interp/suspended_store.h"
#include "interp/token.h"
#include "matrix/array_aliases.h"
#include "matrix/array_store.h"
#include "matrix/reached_arrays.h"
#include "matrix/extremes.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

bool statement_end() {
    return token_is(&token, ";") || token_is(&token, END_TOKEN) || token_is(&token, "@") || token_is(&token, ":");
}

// The array in slot k (error 220 while it is unset).
array* slot_array(int32_t k) {
    array* a = arrstash[k];
    if (!a) arr_error(220, token.name);
    reach(a);
    return a;
}


// "%" "[" k "]" ":" "=" (token at "="): the slot refers to a named array
// or shares another slot's.
void assign_slot(FILE** source, name** pending, int32_t k) {
    next_token(source, pending);
    if (token_is(&token, "%")) {
        next_token(source, pending);
        int32_t m = 0;
        get_arr_arr(source, pending, &m);
        if (!statement_end()) arr_error(129, token.name);
        arrstash[k] = arrstash[m];
        if (arrstash[k]) arrstash_used++;
        return;
    }
    if (!token_is(&token, "[")) arr_error(217, token.name);
    next_token(source, pending);
    tokenrec nm = token;
    array* a = nullptr;
    fastestlookup(&nm, &a);
    next_token(source, pending);
    if (!token_is(&token, "]")) arr_error(218, token.name);
    if (!a) arr_error(28, nm.name);
    // An array parameter's alias goes when its call ends, and its record
    // serves the next array declared: the slot takes the caller's array.
    a = array_behind(a);
    if (!a) arr_error(28, nm.name);
    arrstash[k] = a;
    arrstash_used++;
    next_token(source, pending);
}

// The cell gets a copy of value made before its old value goes, so that
// the copy never takes the old one's place: the way back from a starred
// conversion tells a cell written from one left alone by its value's record.
void replace_value(quoly** cell, quoly* value) {
    quoly* copy = nullptr;
    quoly_assign(value, &copy);
    retire_value(cell);
    *cell = copy;
}

// "%" "[" k "]" "[" subscripts "]" (token at the second "["): an element
// assigned (after ":" "=") or the first operand of a scalar expression.
void element_statement(FILE** source, quoly** result, name** pending, int32_t k) {
    slot_array(k);
    next_token(source, pending);
    int32_t i = 0, j = 0;
    int two = 0;
    evalcoords(source, &i, &j, pending, ']', ',', &two, 0);
    next_token(source, pending);
    if (token_is(&token, ":")) {
        next_token(source, pending);
        if (!token_is(&token, "=")) arr_error(4, token.name);
        next_token(source, pending);
        SlotHold value;
        old_expre(source, &value.q, pending);
        if (!value.q) quoly_set(0, &value.q);
        settle_suspended_store(&value.q, true);
        // Looked up after the value: it may have deleted the array, which
        // clears the slot.
        array* a = slot_array(k);
        quoly** cell = nullptr;
        array_quoly_ptr(a, i, j, two, &cell, "%", 0);
        if (a->sparse) {
            if (quoly_iszero(value.q)) {
                sparse_delete(i, j, a, two);
            } else if (!cell) {
                sparse_insert(i, j, a, two, &value.q);
            } else {
                replace_value(cell, value.q);
            }
        } else {
            replace_value(cell, value.q);
            if ((*cell)->isnum) (*cell)->den = nullptr;
        }
        free_quoly(result);
        *result = value.release();
        return;
    }
    array* a = slot_array(k);
    quoly** cell = nullptr;
    array_quoly_ptr(a, i, j, two, &cell, "%", 0);
    free_quoly(result);
    if (!cell) {
        quoly_set(0, result);   // an absent sparse entry
    } else {
        if (!*cell) note_uninitialised_element(cell);
        // A left-out cell reads as its element of the ring, as through
        // the array's name.
        if (!read_left_out_converted(*cell, result)) quoly_assign(*cell, result);
    }
    half_expre(source, result, pending);
    if (!*result) quoly_set(0, result);
}

// The whole array of slot k as the first operand of an array expression
// (token after "]"); the value goes into the system array.
void whole_slot(FILE** source, quoly** result, arr_value* v, name** pending, int32_t k) {
    array* a = slot_array(k);
    v->rows = a->rows;
    v->count = cell_count(a);
    v->fresh = 0;
    if (a->sparse) {
        sparse_operand(a, v);
    } else {
        v->frame = nullptr;
        fillit_1(a, v->cells);
        enter_left_out_cells(v);
    }
    if (!*result) quoly_set(0, result);
    arr_expre(source, result, v, pending, 0);
    if (v->count == 0) return;
    value_to_syst(v);
    free_quoly(result);
    quoly_set(0, result);
}

}  // namespace

void arr_arr_state(FILE** source, quoly** result, arr_value* v, name** pending) {
    next_token(source, pending);
    int32_t k = 0;
    get_arr_arr(source, pending, &k);
    if (token_is(&token, "[")) {
        element_statement(source, result, pending, k);
        return;
    }
    if (token_is(&token, ":")) {
        next_token(source, pending);
        if (!token_is(&token, "=")) arr_error(4, token.name);
        assign_slot(source, pending, k);
        free_quoly(result);
        quoly_set(0, result);
        return;
    }
    whole_slot(source, result, v, pending, k);
}

void note_uninitialised_element(quoly** cell) {
    quoly_set(0, cell);
    uninit++;
    if (uninit <= 20)
        std::printf("Warning. Uninitialized array element in %% has been set to 0.\n");
    else if (uninit == 21)
        std::printf(" ....etc...\n");
}
