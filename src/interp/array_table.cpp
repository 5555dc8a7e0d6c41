// Array names, declarations and element references (see array_table.h).
#include "interp/exact_read.h"
#include "interp/array_table.h"

#include <cstring>

#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/stored_code.h"
#include "matrix/array_aliases.h"
#include "matrix/array_store.h"
#include "matrix/reached_arrays.h"
#include "matrix/array_value.h"
#include "matrix/extremes.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

array* arrstash[ARRSTASH_SIZE] = {};
int32_t arrstash_used = 0;

namespace {

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

[[noreturn]] void fail(int code, const char* text) {
    error(code, text);
    abandon_statement(code);
}

// A coordinate just read into q: a plain number as an int.
int32_t coordinate(quoly* q, int non_negative) {
    if (!q->isnum) fail(118, token.name);
    const int32_t v = convert_to_int(q->nnum);
    // A subscript beyond a machine word addresses nothing.
    if (v == INT_DOES_NOT_FIT) fail(27, token.name);
    if (non_negative && v < 0) fail(314, token.name);
    return v;
}

}  // namespace

void clear_arrstash_of(const array* a) {
    if (arrstash_used == 0) return;
    for (array*& slot : arrstash)
        if (slot == a) slot = nullptr;
}

void get_arr_arr(FILE** source, name** pending, int32_t* k) {
    if (!token_is(&token, "[")) fail(217, token.name);
    next_token(source, pending);
    SlotHold v;
    read_count_value(source, pending, &v.q);
    if (!token_is(&token, "]")) fail(218, token.name);
    if (!v.q->isnum) fail(219, token.name);
    const int32_t raw = convert_to_int(v.q->nnum);
    if (raw == INT_DOES_NOT_FIT || raw - addresser < 0 || raw - addresser >= ARRSTASH_SIZE)
        fail(221, token.name);
    *k = raw - addresser;
    next_token(source, pending);
}

int32_t fastestlookup(tokenrec* nm, array** record) {
    if (nm->hash == UNHASHED) nm->hash = static_cast<uint16_t>(hash(nm->name, ARR_BUCKETS));
    *record = find_array(nm);
    return *record ? (*record)->first : -1;
}

int32_t fasterlookup(tokenrec* nm, array** record, FILE** source, name** pending) {
    if (token_is(nm, "%")) {
        next_token(source, pending);
        int32_t k = 0;
        get_arr_arr(source, pending, &k);
        *record = arrstash[k];
        reach(*record);
        if (!*record) {
            error(220, token.name);
            return -1;
        }
        return (*record)->first;
    }
    if (token_is(nm, "<")) {
        *record = syst;
        return 0;
    }
    return fastestlookup(nm, record);
}

void evalcoords(FILE** source, int32_t* i, int32_t* j, name** pending, char closing, char separator, int* two,
                int non_negative) {
    {
        SlotHold v;
        if (separator == '~' && token.name[0] == '~') {
            *i = addresser;
        } else {
            read_count_value(source, pending, &v.q);
            *i = coordinate(v.q, non_negative);
        }
        *j = addresser;
        *two = 0;
        if (token.name[0] == separator && token.name[1] == 0) {
            next_token(source, pending);
            if (separator == '~' && (token_is(&token, ",") || token_is(&token, "]"))) {
                *j = -1;
            } else {
                read_count_value(source, pending, &v.q);
                *j = coordinate(v.q, non_negative);
                *two = 1;
            }
        }
    }
    if (token.name[0] != closing && !token_is(&token, "]")) fail(61, token.name);
}

void ievalcoords(int32_t* i, int32_t* j, name** pending, int* two) {
    ModularOffGuard off;
    old_iexpre(i, pending);
    *j = addresser;
    *two = 0;
    if (token_is(&token, ",")) {
        FILE* none = nullptr;
        scanner(&none, &token, pending);
        old_iexpre(j, pending);
        *two = 1;
    }
    if (!token_is(&token, "]")) fail(61, token.name);
}

namespace {

// Subscripts after "[" (token at "["), then the token after "]".
void read_subscripts(FILE** source, name** pending, int32_t* i, int32_t* j, int* two) {
    if (integerflag && *pending) {
        FILE* none = nullptr;
        scanner(&none, &token, pending);
        ievalcoords(i, j, pending, two);
    } else {
        next_token(source, pending);
        evalcoords(source, i, j, pending, ']', ',', two, 0);
    }
    next_token(source, pending);
}

// The subscripts of an element, or a bound fixed index with its tokens
// passed over; then the array: the binding's, else the name's.
array* element_array(FILE** source, tokenrec* nm, name** pending, int32_t* i, int32_t* j, int* two,
                     compiled_array* b) {
    if (b && b->fixed) {
        while (!token_is(&token, "]") && !token_is(&token, END_TOKEN)) next_token(source, pending);
        next_token(source, pending);
        *i = b->index;
        *j = addresser;
        *two = 0;
    } else {
        read_subscripts(source, pending, i, j, two);
    }
    // Looked up after the subscripts: they may call functions that delete
    // or create arrays.
    array* a = nullptr;
    if (b)
        a = bound_array(b);
    else
        fastestlookup(nm, &a);
    if (!a) fail(28, nm->name);
    return a;
}

}  // namespace

array* bound_array(compiled_array* b) {
    if (b->links == 0 || b->links != array_links_stamp) {
        fastestlookup(&b->nm, &b->arr);
        b->links = array_links_stamp;
    }
    reach(b->arr);
    return b->arr;
}

void create_array(FILE** source, quoly** value, name** pending) {
    do {
        next_token(source, pending);
        tokenrec nm = token;
        if (!is_lower(nm.name[0])) fail(40, nm.name);
        if (number_polys > 0 && its_a_polyname(nm.name)) fail(125, nm.name);
        next_token(source, pending);
        if (!token_is(&token, "[")) fail(178, token.name);
        int32_t rows = 0, columns = 0;
        int two = 0;
        read_subscripts(source, pending, &rows, &columns, &two);
        if (rows < 0 || columns < 0) fail(314, nm.name);
        if (!two) columns = 1;
        if (token_is(&token, "Sparse")) {
            next_token(source, pending);
            sparse_create(&nm, rows, columns, !two, 1);
        } else {
            insertarr(&nm, rows, columns, !two);
        }
    } while (token_is(&token, ","));
    quoly_set(0, value);
}

void new_arretrieve(FILE** source, tokenrec* nm, name** pending, quoly*** cell, quoly** value, colm*** list,
                    int32_t* second, compiled_array* b) {
    *list = nullptr;
    *second = 0;
    if (token_is(nm, "if") || token_is(nm, "while")) {
        sys_func_token = token;
        token = *nm;
        doing_sys_func = 1;
        call_sys_func(source, value, pending);
        if (!*value) quoly_set(0, value);
        *cell = value;
        return;
    }
    int32_t i = 0, j = 0;
    int two = 0;
    array* a = element_array(source, nm, pending, &i, &j, &two, b);
    new_array_quoly_ptr(a, &i, &j, two, cell, nm->name, list);
    if (*list) {
        *second = j;
        return;
    }
    if (!**cell) quoly_set(0, *cell);
}

quoly** spec_lookup(tokenrec* nm, int32_t k, array** record) {
    if (k < addresser) fail(27, nm->name);
    array* a = nullptr;
    fastestlookup(nm, &a);
    if (!a) fail(28, nm->name);
    *record = a;
    const int64_t k0 = int64_t{k} - addresser;
    if (!a->sparse) {
        if (k0 > int64_t{a->last} - a->first) fail(27, nm->name);
        return cell_at(a->first + k0);
    }
    if (k0 >= cell_count(a)) fail(27, nm->name);
    const int32_t row0 = static_cast<int32_t>(k0 % a->rows);
    const int32_t col = static_cast<int32_t>(k0 / a->rows) + 1;
    colm** head = row_head(a->sparse, row0 + 1);
    colm* e = *head;
    while (e && e->col < col) e = e->next;
    if (e && e->col == col) return &e->val;
    // Created at the place just searched: row from 0, column from 1.
    quoly** out = nullptr;
    sparse_zero_set(head, col, &out);
    return out;
}

namespace {

// One range of a block (token at its first token): lo .. hi within
// addresser .. addresser + extent - 1; closed by `closing` or "]", which
// is left current.
void block_range(FILE** source, name** pending, int32_t extent, char closing, int outside, int reversed,
                 int32_t* lo, int32_t* hi) {
    const int32_t top = addresser + extent - 1;
    if (token.name[0] == closing || token_is(&token, "]")) {
        *lo = addresser;
        *hi = top;
    } else {
        int two = 0;
        evalcoords(source, lo, hi, pending, closing, '~', &two, 0);
        // Without a second bound: i alone, or i "~" to the last (which
        // evalcoords marks with -1).
        if (!two) *hi = *hi == -1 ? top : *lo;
    }
    if (*lo < addresser || *hi > top) fail(outside, token.name);
    if (*hi < *lo) fail(reversed, token.name);
}

}  // namespace

void subarray(FILE** source, name** pending, array* a, array_block* out) {
    const int32_t rows = a->rows;
    const int32_t columns = array_columns(a);
    const int32_t stamp = a->stamp;
    next_token(source, pending);
    int32_t r0 = 0, r1 = 0, c0 = 0, c1 = 0;
    block_range(source, pending, rows, ',', 56, 57, &r0, &r1);
    if (token_is(&token, "]")) {
        c0 = addresser;
        c1 = addresser + columns - 1;
        if (c1 < c0) fail(58, token.name);
    } else {
        next_token(source, pending);
        block_range(source, pending, columns, ']', 58, 59, &c0, &c1);
        if (!token_is(&token, "]")) fail(24, token.name);
    }
    // The bounds may call functions that delete or remake the array.
    if (!array_alive(a, stamp)) fail(28, token.name);
    next_token(source, pending);
    out->rows = r1 - r0 + 1;
    out->columns = c1 - c0 + 1;
    out->first_row = r0;
    out->first_col = c0;
    out->stride = rows;
    const int64_t offset = int64_t{r0 - addresser} + int64_t{c0 - addresser} * rows;
    out->first = static_cast<int32_t>((a->sparse ? 0 : a->first) + offset);
}

void left_side(FILE** source, name** pending, array_operand* out, int allow_system) {
    out->sub_first_row = -1;
    out->block = array_block{-1, 0, 0, 0, 0, 0};
    out->record = nullptr;
    out->rows = out->columns = 0;
    next_token(source, pending);
    out->nm = token;
    if (token_is(&token, "<")) {
        if (!allow_system) fail(176, token.name);
        if (syst->last < 0 && !syst->sparse) fail(175, token.name);
        next_token(source, pending);
        if (token_is(&token, "[")) fail(83, token.name);
        if (!token_is(&token, "]")) fail(24, token.name);
        out->record = syst;
        out->rows = syst->rows;
        out->columns = syst->rows > 0 ? static_cast<int32_t>(cell_count(syst) / syst->rows) : 0;
        next_token(source, pending);
        return;
    }
    if (token_is(&token, "%")) {
        next_token(source, pending);
        int32_t k = 0;
        get_arr_arr(source, pending, &k);
        out->record = arrstash[k];
        reach(out->record);
        if (!out->record) fail(220, token.name);
        set_token(&out->nm, "%");
    } else {
        if (!is_lower(token.name[0])) fail(42, token.name);
        if (number_polys > 0 && its_a_polyname(token.name)) fail(125, token.name);
        fastestlookup(&out->nm, &out->record);
        next_token(source, pending);
    }
    out->rows = out->record ? out->record->rows : 0;
    if (token_is(&token, "[")) {
        if (!out->record) fail(55, out->nm.name);
        subarray(source, pending, out->record, &out->block);
        out->rows = out->block.rows;
        out->columns = out->block.columns;
        out->sub_first_row = out->block.first_row - addresser;
    } else {
        out->columns = out->record ? array_columns(out->record) : 0;
    }
    if (!token_is(&token, "]")) fail(24, token.name);
    next_token(source, pending);
}

namespace {

// An alias lives only while its call runs, and the call's end releases it
// and writes its frames back into the array it stood for: a statement run
// for the call by another route than its body (a file read) may no more
// delete either than the body may.
bool refuse_here(bool in_body) { return in_body || levelcount > 1 || running_call_count() > 0; }

// The alias records standing for a (negated stamp).
bool has_alias(const array* a) {
    for (const array* b : storage_sharers(a))
        if (b->stamp == -a->stamp) return true;
    return false;
}

void unlink_record(array* a) {
    array** p = &arr_store[a->hash];
    while (*p && *p != a) p = &(*p)->link;
    if (*p) *p = a->link;
    array_links_stamp++;
}

}  // namespace

void release_alias(array* alias) {
    forget_alias(alias);
    alias->stamp = 0;
    alias->sparse = nullptr;
    alias->first = 0;
    alias->last = -1;
    special_free(&alias->size);
    alias->link = arr_garb;
    arr_garb = alias;
}

int removearray(int mode, tokenrec* nm, bool in_body) {
    array* a = nullptr;
    fastestlookup(nm, &a);
    if (!a) {
        if (mode == 1) return 0;
        fail(28, token.name);
    }
    if (a->stamp < 0) {
        if (refuse_here(in_body)) {
            error(138, nm->name);
            std::printf(" Cancel aborted.\n");
            std::fflush(stdout);
            abandon_statement(138);
        }
        std::printf(" Warning.  About to delete an array parameter.\n");
        std::fflush(stdout);
        unlink_record(a);
        clear_arrstash_of(a);
        release_alias(a);
        return 1;
    }
    if (has_alias(a)) {
        // Refused before anything changes: deleting first would leave the
        // alias naming cells that now belong to other arrays.
        for (array* b : arr_store)
            for (; b; b = b->link)
                if (b->stamp == -a->stamp) {
                    if (refuse_here(in_body)) {
                        error(139, b->name);
                        std::printf(" Cancel aborted.\n");
                        std::fflush(stdout);
                        abandon_statement(139);
                    }
                    std::printf(" Warning. Encountered array parameter named %s,\n", b->name);
                    std::printf(" which is an alias of %s.  Delete it immediately.\n", a->name);
                    std::fflush(stdout);
                }
    }
    clear_arrstash_of(a);
    remove_array(a);
    return 1;
}

void arr_arr_element(FILE** source, quoly*** ref, quoly** value, colm*** list, int32_t* second, name** pending,
                     int references_only) {
    tokenrec nm = token;
    array* a = nullptr;
    fasterlookup(&nm, &a, source, pending);
    if (!a) abandon_statement(220);
    if (!token_is(&token, "[")) fail(217, token.name);
    int32_t i = 0, j = 0;
    int two = 0;
    read_subscripts(source, pending, &i, &j, &two);
    *second = 0;
    new_array_quoly_ptr(a, &i, &j, two, ref, a->name, list);
    if (*list) {
        *second = j;
        if (!*ref && !references_only && !token_is(&token, ":")) {
            quoly_set(0, value);
            *ref = value;
        }
        return;
    }
    if (**ref) return;
    if (!references_only && !token_is(&token, ":"))
        note_uninitialised_element(*ref);
    else
        quoly_set(0, *ref);
}

void system_element(FILE** source, quoly** value, name** pending) {
    if (syst->last < 0 && !syst->sparse) fail(175, token.name);
    int32_t i = 0, j = 0;
    int two = 0;
    read_subscripts(source, pending, &i, &j, &two);
    quoly** cell = nullptr;
    array_quoly_ptr(syst, i, j, two, &cell, "<", 1);
    if (!cell) {
        quoly_set(0, value);
        return;
    }
    if (!*cell) set_uninitialised(cell, "<");
    quoly_assign(*cell, value);
}

void array_value_chain(FILE** source, name** pending, quoly** chain) {
    array_operand op;
    left_side(source, pending, &op, 0);
    if (!op.record) fail(28, op.nm.name);
    if (op.record->sparse) fail(259, op.nm.name);
    quoly* last = nullptr;
    for (int32_t c = op.record->first; c <= op.record->last; c++) {
        quoly* cell = *cell_at(c);
        if (!cell) {
            // What was linked so far is the caller's chain, freed by it.
            error(48, op.nm.name);
            abandon_statement(48);
        }
        quoly* copy = nullptr;
        quoly_assign(cell, &copy);
        copy->link = nullptr;
        if (last)
            last->link = copy;
        else
            *chain = copy;
        last = copy;
    }
}

quoly** element_reference(FILE** source, tokenrec* nm, name** pending, element_ref* ref, compiled_array* b) {
    array* a = element_array(source, nm, pending, &ref->i, &ref->j, &ref->two, b);
    ref->arr = a;
    ref->stamp = a->stamp;
    quoly** cell = nullptr;
    array_quoly_ptr(a, ref->i, ref->j, ref->two, &cell, nm->name, 0);
    if (cell && !*cell) quoly_set(0, cell);
    return cell;
}

bool array_alive(const array* a, int32_t stamp) {
    // Not a walk of the name's chain: a file that declares one name over
    // and over makes that chain as long as the file, and the statement's
    // reached list asks about every record on it.
    return stamp != 0 && a->stamp == stamp;
}

quoly** element_cell_again(const element_ref& ref, bool make) {
    if (!array_alive(ref.arr, ref.stamp)) return nullptr;
    int32_t i = ref.i, j = ref.j;
    quoly** cell = nullptr;
    colm** list = nullptr;
    new_array_quoly_ptr(ref.arr, &i, &j, ref.two, &cell, ref.arr->name, &list);
    if (!cell && list && make) sparse_zero_set(list, j, &cell);
    return cell;
}
