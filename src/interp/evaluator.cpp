// The expression evaluator: expre (sums and assignments), term (products
// and quotients) and fact (factors), mutually recursive, combining values
// as soon as both operands are known.
//
// Stored values are only read through references; they are copied when an
// operation must change them, and results computed into local slots are
// consumed or freed at once. A reference read after more input has been
// evaluated may find its slot emptied (the statement deleted the variable
// meanwhile, as in "x * (@x)"): such a slot counts as 0.
#include "interp/evaluator.h"
#include "builtins/builtin_func.h"
#include "builtins/derivative.h"
#include "det/unit_det.h"
#include "interp/array_language.h"

#include "builtins/floor_roots.h"

#include "interp/functions.h"
#include "interp/stored_code.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "interp/array_table.h"
#include "interp/dispatcher.h"
#include "interp/exact_read.h"
#include "interp/inline_builtins.h"
#include "interp/integer_eval.h"
#include "interp/loop_values.h"
#include "interp/numconst.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/stack_depth.h"
#include "interp/sum_factor.h"
#include "interp/suspended_store.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "quoly/change_mod.h"
#include "quoly/quoly.h"
#include "quoly/sum_run.h"
#include "quoly/quoly_eval.h"
#include "matrix/array_store.h"
#include "matrix/matrix_poly.h"
#include "matrix/sparse.h"
#include "storage/assign.h"
#include "storage/held_targets.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/ring_change.h"

void feature_unavailable(const char* what, int code, const char* text) {
    tarvex_error(what, 0);
    error(code, text);
}

int32_t matrix_eval = 0;

namespace {

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_letter(char c) { return is_lower(c) || is_upper(c); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool in_body(name** pending) { return *pending != nullptr; }

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// The value a factor or term stands for: its own, else the referenced one;
// null means 0.
quoly* operand_of(quoly* own, quoly** ref) {
    if (own) return own;
    return ref ? *ref : nullptr;
}

// Makes the value slot own its operand: a copy of the referenced value, or 0.
void own_value(quoly** value, quoly** ref) {
    if (*value) return;
    quoly* src = ref ? *ref : nullptr;
    if (src)
        quoly_assign(src, value);
    else
        quoly_set(0, value);
}

// A 0 standing in for an operand that gave nothing, freed at scope exit.
struct ZeroStandIn {
    quoly* zero = nullptr;
    quoly* or_zero(quoly* q) {
        if (q) return q;
        if (!zero) quoly_set(0, &zero);
        return zero;
    }
    ~ZeroStandIn() { free_quoly(&zero); }
};

// ---- numeric constants ----

// `token` is the decimal point: *r := the digits after it over 10^(their count).
void read_decimal_fraction(FILE** source, quoly** r, name** pending) {
    if (lintmode) {
        error(235, token.name);
        quoly_set(0, r);
        return;
    }
    next_token(source, pending);
    if (!is_digit(token.name[0])) {
        error(341, token.name);
        quoly_set(0, r);
        return;
    }
    quoly_set(0, r);
    int32_t k = 0;
    new_readin(source, (*r)->nnum, pending, &k);
    SlotHold scale;
    quoly_set(10, &scale.q);
    number_power(scale.q->nnum, static_cast<uint32_t>(k));
    fast_quoly_quot(r, &scale.q, 0);
}

// A run of digits, with a decimal fraction when a point follows.
void read_constant(FILE** source, quoly** value, name** pending) {
    quoly_set(0, value);
    int32_t digits = 0, exact = 0;
    new_readin(source, (*value)->nnum, pending, &digits, &exact);
    if (modularmode && token_is(&token, "!") && !finf) {
        // The factorial's argument is a count: the integer typed, not its
        // residue (n! is 0 for n at least the modulus). One too large for
        // the factorial routine is its error.
        if (exact == INT_DOES_NOT_FIT) error(94, factsign);
        (*value)->nnum->value = exact;
        return;
    }
    if (token_is(&token, ".")) {
        SlotHold frac;
        read_decimal_fraction(source, &frac.q, pending);
        best_quoly_add(value, frac.release());
    }
}

// "'" c "'": the code of the raw character c, an element of the ground ring.
void read_character(FILE** source, quoly** value, name** pending) {
    int newline = 0;
    dumbscanner(source, &token, pending, &newline);
    int32_t code = static_cast<unsigned char>(token.name[0]);
    if (modularmode && modulus > 0) code %= modulus;
    quoly_set(code, value);
    dumbscanner(source, &token, pending, &newline);
    if (!token_is(&token, "'")) {
        error(109, token.name);
        return;
    }
    next_token(source, pending);
}

// ---- names ----

// The slot of the array element read last (a dense cell, or a '%' one): an
// assignment tells its target from a scalar's by it.
const quoly* const* element_slot = nullptr;

// A stored value a conversion list left out, which its words do not give,
// enters as its element of the ring (a copy in *value); the target of an
// assignment, or a reference asked for, is not read.
void enter_left_out(FILE** source, name** pending, quoly*** ref, quoly** value, int references_only) {
    // Only after a ring change with a conversion list: every name is read through here.
    if (!values_await_rational || references_only || !*ref || *ref == value) return;
    if (!left_out_needs_reading(**ref)) return;
    if (token_is(&token, ":") && assignment_follows(source, pending)) return;
    read_left_out_converted(**ref, value);
    *ref = value;
}

// A loop index past the modulus enters as the element its integer stands
// for (a copy in *value); the target of an assignment, or a reference asked
// for, is not read.
void enter_index(FILE** source, name** pending, quoly*** ref, quoly** value, int references_only) {
    if (!modularmode || references_only || !*ref || *ref == value) return;
    if (token_is(&token, ":") && assignment_follows(source, pending)) return;
    if (token_is(&token, "!") && index_counts_itself(**ref)) return;
    if (index_in_ring(**ref, value)) *ref = value;
}

// An element after its array's name (token at "["). Kept out of line: the
// frames of the factor routine are on the stack of every nested call.
[[gnu::noinline]] void element_factor(FILE** source, tokenrec* id, quoly*** ref, quoly** value,
                                      colm*** sparse_array, int32_t* sparse_pos, name** pending,
                                      int references_only, compiled_array* bound = nullptr) {
    new_arretrieve(source, id, pending, ref, value, sparse_array, sparse_pos, bound);
    element_slot = *ref;
    if (*ref == value) return;   // "if[" or "while[": the construct's value
    // A left-out entry enters as its element of the ring.
    enter_left_out(source, pending, ref, value, references_only);
    // An absent sparse entry reads as 0, unless it is about to be assigned.
    if (!*ref && !references_only && !token_is(&token, ":")) {
        quoly_set(0, value);
        *ref = value;
    }
}

// A lower-case name: a scalar, created with 0 when undefined and about to
// be assigned.
void name_factor(FILE** source, quoly*** ref, quoly** value, name** pending, bool star, colm*** sparse_array,
                 int32_t* sparse_pos, int references_only) {
    if (number_polys > 0 && its_a_polyname(token.name)) {
        // A polynomial variable hides any scalar of the same name.
        if (star) error(363, token.name);
        int32_t level = 0;
        is_poly_name(token.name, &level);
        base_quoly(value, level);
        *ref = value;
        next_token(source, pending);
        return;
    }
    // A token the Compile statement bound to a scalar reads its slot
    // directly (an array parameter's mark still takes the look-up and its
    // warning); one bound to an array or an element finds the array
    // through its binding.
    name* rec = in_body(pending) ? *pending : nullptr;
    if (rec && rec->resolved && std::strcmp(rec->token, token.name) == 0) {
        if (rec->bind_kind == 1) {
            quoly** slot = static_cast<quoly**>(rec->binding);
            if (!(*slot && (*slot)->isnum && (*slot)->den)) {
                *ref = slot;
                next_token(source, pending);
                enter_left_out(source, pending, ref, value, references_only);
                enter_index(source, pending, ref, value, references_only);
                return;
            }
        } else {
            tokenrec id = token;
            next_token(source, pending);
            element_factor(source, &id, ref, value, sparse_array, sparse_pos, pending, references_only,
                           static_cast<compiled_array*>(rec->binding));
            return;
        }
    }
    tokenrec id = token;
    next_token(source, pending);
    if (token_is(&token, "[")) {
        element_factor(source, &id, ref, value, sparse_array, sparse_pos, pending, references_only);
        return;
    }
    retrieve(&id, ref, value, source, pending);
    if (*ref) {
        // A left-out value enters as its element of the ring; assigned,
        // it needs no reading.
        enter_left_out(source, pending, ref, value, references_only);
        enter_index(source, pending, ref, value, references_only);
        return;
    }
    if (*value) {
        *ref = value;
        return;
    }
    if (token_is(&token, ":")) {
        // How assignment defines a variable.
        quoly* zero = nullptr;
        quoly_set(0, &zero);
        var* record = nullptr;
        insert_var(&id, zero, &record);
        *ref = &record->value;
    } else if (token_is(&id, "quit")) {
        std::printf(" The quit command is &q.\n");
        std::fflush(stdout);
        quoly_set(0, value);
        *ref = value;
    } else {
        error(19, id.name);
        quoly_set(0, value);
        *ref = value;
    }
}

// An upper-case name: a built-in or a user function.
void call_factor(FILE** source, quoly** value, name** pending) {
    if (token_is(&token, "Func") || token_is(&token, "Function")) {
        // The definition statement: the name, then the definition.
        next_token(source, pending);
        if (!is_upper(token.name[0]))
            error(11, token.name);
        else
            funcdef(source, pending);
        quoly_set(0, value);
        return;
    }
    const int position = find_built_in(0, numbuiltins, token.name);
    // A built-in holds the arguments it has read, and a sum its running
    // total, while the rest is evaluated.
    std::optional<ReadingValue> built_in_reading;
    if (position >= 0) built_in_reading.emplace();
    if (position >= 0 && is_sum_or_product_code(builtin[position].word)) {
        sum_product_factor(builtin[position].word, source, value, pending);
        return;
    }
    // A built-in or a user function can rewrite a stored array that an
    // operand of an array expression around it still shares.
    freshen_values_in_flight();
    if (position < 0) {
        tokenrec fname = token;
        evaluate(source, &fname, value, pending);
        if (!*value) quoly_set(0, value);
        return;
    }
    if (inline_builtin(builtin[position].word, source, value, pending)) return;
    builtin_func(source, value, pending, position);
    if (!*value) quoly_set(0, value);
}

// ---- postfix operators ----

void postfix(FILE** source, quoly*** ref, quoly** value, name** pending) {
    if (token_is(&token, "^")) {
        NumberHold e;
        bool beyond = false;
        get_exponent(source, pending, &e.n, 1, &beyond);
        own_value(value, *ref);
        raise_to_power(value, e.n, beyond);
        *ref = value;
    } else if (token_is(&token, "!")) {
        quoly* v = operand_of(*value, *ref);
        if (v && !v->isnum) error(130, factsign);
        next_token(source, pending);
        own_value(value, *ref);
        if ((*value)->isnum) factorial((*value)->nnum);
        *ref = value;
    } else if (token_is(&token, "#")) {
        next_token(source, pending);
        if (token_is(&token, "[")) {
            // A polynomial applied to a matrix. Inside an array expression
            // the array reader finishes it from the "[".
            if (matrix_eval > 0) {
                matrix_eval--;
                return;
            }
            own_value(value, *ref);
            *ref = value;
            WorkBlock block("#");
            arr_value a;
            a.cells = block.cells;
            ArrValueHold hold(&a);
            quoly_at_matrix(source, *value, &a, pending);
            if (syst_dump && !*pending) std::printf("Warning. System array was changed before it could be displayed.\n");
            value_to_syst(&a);
            quoly_set(0, value);
            return;
        }
        // The stored value is copied before it changes.
        own_value(value, *ref);
        *ref = value;
        SlotHold at;
        int32_t level = 1;
        get_evalquoly(source, value, &at.q, &level, pending, 1, 0);
    }
    if (token_is(&token, "\"")) {
        // The stored value is copied before it changes.
        own_value(value, *ref);
        *ref = value;
        while (token_is(&token, "\"")) {
            quoly_differen_once(value, 1);
            next_token(source, pending);
        }
    }
}

}  // namespace

namespace {

// The star form before a postfix operator: the variable's stored value is
// taken over (the variable keeps a plain 1) and the operator works on it,
// as the caller of the star form would have taken it without one.
void take_for_postfix(quoly*** ref, quoly** value) {
    const char c = token.name[0];
    if (c != '^' && c != '!' && c != '#' && c != '"') return;
    if (*value || !*ref || !**ref || *ref == value) return;
    *value = **ref;
    **ref = nullptr;
    quoly_set(1, *ref);
    *ref = value;
}

// A factor without its postfix operators; false when the factor ends there.
bool primary(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
             name** pending, int references_only) {
    free_quoly(value);
    *sparse_array = nullptr;
    *ref = nullptr;
    // Brackets, signs and exponents nest through here.
    if (nesting_refused(token.name)) {
        quoly_set(0, value);
        *ref = value;
        return false;
    }

    bool star = false;
    if (token_is(&token, "*")) {
        next_token(source, pending);
        if (!is_lower(token.name[0])) {
            error(337, token.name);
            quoly_set(0, value);
            *ref = value;
            return false;
        }
        star = true;
    }

    const char c = token.name[0];
    if (is_digit(c)) {
        read_constant(source, value, pending);
        *ref = value;
    } else if (is_upper(c)) {
        call_factor(source, value, pending);
        *ref = value;
    } else if (is_lower(c)) {
        name_factor(source, ref, value, pending, star, sparse_array, sparse_pos, references_only);
        if (star) take_for_postfix(ref, value);
    } else {
        switch (c) {
        case '!':
        case '&':
        case '?':
        case '@':
            // A statement inside the expression; its value is the factor.
            {
                ReadingValue reading;
                parse(source, value, pending);
            }
            if (!*value) quoly_set(0, value);
            *ref = value;
            break;
        case '$': {
            next_token(source, pending);
            quoly** r = nullptr;
            colm** sa = nullptr;
            int32_t sp = 0;
            fact(source, &r, value, &sa, &sp, pending, 0);
            own_value(value, r);
            quoly_great_int(value);
            *ref = value;
            break;
        }
        case '%':
            arr_arr_element(source, ref, value, sparse_array, sparse_pos, pending, references_only);
            element_slot = *ref;
            enter_left_out(source, pending, ref, value, references_only);
            break;
        case '\'':
            read_character(source, value, pending);
            *ref = value;
            break;
        case '(':
            next_token(source, pending);
            old_expre(source, value, pending);
            *ref = value;
            if (!token_is(&token, ")")) {
                error(1, token.name);
                break;
            }
            next_token(source, pending);
            break;
        case '-': {
            next_token(source, pending);
            quoly** r = nullptr;
            colm** sa = nullptr;
            int32_t sp = 0;
            fact(source, &r, value, &sa, &sp, pending, 0);
            if (*value)
                quoly_inplace(*value);
            else if (r && *r)
                quoly_makeneg(*r, value);
            else
                quoly_set(0, value);
            *ref = value;
            break;
        }
        case '.':
            read_decimal_fraction(source, value, pending);
            *ref = value;
            break;
        case '<':
            next_token(source, pending);
            if (token_is(&token, "F")) {
                // The temporary body of the last construct typed outside a
                // function, run again.
                if (in_body(pending))
                    error(225, token.name);
                else
                    run_sys_func(source, value, pending);
                if (!*value) quoly_set(0, value);
                *ref = value;
                next_token(source, pending);
                break;
            } else if (token_is(&token, "[")) {
                system_element(source, value, pending);
                *ref = value;
                break;
            }
            if (prevnum)
                quoly_assign(prevnum, value);
            else
                quoly_set(0, value);
            *ref = value;
            break;
        case '_': {
            next_token(source, pending);
            {
                ModularOffGuard off;
                fact(source, ref, value, sparse_array, sparse_pos, pending, references_only);
            }
            // Computed in machine integers; as a value of a modular ring it
            // is the element that word stands for (a stored variable named
            // here is left as it is).
            if (*ref == value && *value && (*value)->isnum) number_into_ring((*value)->nnum);
            break;
        }
        case '|': {
            next_token(source, pending);
            quoly** r = nullptr;
            colm** sa = nullptr;
            int32_t sp = 0;
            fact(source, &r, value, &sa, &sp, pending, 0);
            own_value(value, r);
            *ref = value;
            if (!token_is(&token, "|")) {
                error(63, token.name);
                break;
            }
            next_token(source, pending);
            quoly_abs(*value);
            break;
        }
        default:
            error(2, token.name);
            quoly_set(0, value);
            *ref = value;
            next_token(source, pending);
            break;
        }
    }
    return true;
}

// A stored value, a call or another value of the ring read inside an exact
// count: evaluated in the ring's words, handed on in digits.
bool primary_in_words(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
                      name** pending, int references_only) {
    bool more;
    {
        WordsForFactor words;
        more = primary(source, ref, value, sparse_array, sparse_pos, pending, references_only);
        own_value(value, *ref);
    }
    words_to_digits(*value);
    *ref = value;
    *sparse_array = nullptr;
    return more;
}

}  // namespace

void fact(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
          name** pending, int references_only) {
    const bool more = factor_needs_words(token.name[0])
                          ? primary_in_words(source, ref, value, sparse_array, sparse_pos, pending, references_only)
                          : primary(source, ref, value, sparse_array, sparse_pos, pending, references_only);
    if (!more) return;
    postfix(source, ref, value, pending);
    if (*value) *ref = value;
}

void term(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
          name** pending) {
    fact(source, ref, value, sparse_array, sparse_pos, pending, 0);
    for (;;) {
        const char c = token.name[0];
        int op = '*';
        int flag = 0;
        if (c == '(' || is_letter(c)) {
            // Juxtaposition; "or" and "and" belong to the condition around it.
            if (token_is(&token, "or") || token_is(&token, "and")) break;
        } else if (in_set(c, term_set)) {
            op = c;
            next_token(source, pending);
            if (token_is(&token, "/")) {
                if (op != '/') error(339, token.name);
                flag = 1;
                next_token(source, pending);
            }
        } else {
            break;
        }

        SlotHold right;
        quoly** rref = nullptr;
        colm** sa = nullptr;
        int32_t sp = 0;
        {
            ReadingValue left_in_hand;
            fact(source, &rref, &right.q, &sa, &sp, pending, 0);
        }
        ZeroStandIn zeros;
        quoly* r = zeros.or_zero(operand_of(right.q, rref));
        if (*value) {
            if (op == '*')
                fast_quoly_mult(value, &r);
            else if (op == '/') {
                fast_quoly_quot(value, &r, flag);
                require_regular_denominator(*value);
            } else {
                quoly_mod_or_div(*value, r, value, op);
            }
        } else {
            // The left operand is only referenced: the three-address forms
            // read it and write the value slot, so it is never copied.
            quoly* l = zeros.or_zero(operand_of(nullptr, *ref));
            if (op == '*')
                quoly_mult(l, r, value);
            else if (op == '/') {
                quoly_quot(l, r, value, flag);
                require_regular_denominator(*value);
            } else {
                quoly_mod_or_div(l, r, value, op);
            }
        }
        *ref = value;
    }
}

namespace {

// The value slot of the sparse entry at the sparse position, made (holding
// 0) when absent.
[[gnu::noinline]] quoly** new_sparse_slot(colm** list, int32_t second) {
    quoly** slot = nullptr;
    sparse_zero_set(list, second, &slot);
    return slot;
}

// A target deleted (the variable, or the array of the element) while the
// right side was read is refused: writing would store where the variable
// no longer is, another variable's record or cell perhaps. So is an element
// whose array a newer one of its name hides: a later read finds the newer.
bool refused_as_lost(const HeldTarget& held) {
    if (!held.lost() && !(held.hidden() && array_hidden(held.hidden()))) return false;
    error(316, token.name);
    return true;
}

// ':' after the first term of a statement; `token` is ':'.
void assignment(FILE** source, quoly*** ref, quoly** value, colm** sparse_array, int32_t sparse_pos,
                name** pending) {
    next_token(source, pending);
    const bool store = token_is(&token, "=");
    const bool bump = token_is(&token, "+") || token_is(&token, "-");
    if (!store && !bump) {
        if (token_is(&token, ";") && !in_body(pending)) {
            // "x:" at the end of a typed statement: computed, not displayed.
            own_value(value, *ref);
            set_token(&token, ":");
            *ref = value;
        } else {
            error(317, token.name);
        }
        return;
    }
    quoly** target = *ref;
    // Taken before the right side reads elements of its own.
    const bool cell = sparse_array || (target && target == element_slot);
    element_slot = nullptr;
    if (*value || (!target && !sparse_array)) {
        error(316, token.name);
        return;
    }

    if (store) {
        next_token(source, pending);
        SlotHold v;
        HeldTarget held(target, sparse_array);
        old_expre(source, &v.q, pending);
        if (refused_as_lost(held)) return;
        // An absent sparse entry is made only now that its value is known;
        // one removed while the value was read is found (or made) again.
        if (sparse_array && (!target || held.entry_gone())) target = new_sparse_slot(sparse_array, sparse_pos);
        quoly* stored = v.release();
        retire_value(target);
        *target = stored;
        // No array-parameter mark survives an assignment.
        if (stored->isnum) stored->den = nullptr;
        settle_suspended_store(target, cell);
        if (in_body(pending))
            quoly_set(0, value);
        else
            quoly_assign(*target, value);
        *ref = value;
        // No zero is ever stored in a sparse array.
        if (sparse_array) purge_sparse(sparse_array, sparse_pos);
        return;
    }

    // Fast increment: the stored number, or the constant term of the stored
    // polynomial, changes in place.
    const bool down = token_is(&token, "-");
    next_token(source, pending);
    int32_t amount = 1;
    HeldTarget held(target, sparse_array);
    if (starts_update_amount(token.name)) {
        if (integerflag) {
            // A refused amount leaves the variable as it is.
            if (!iupdate_amount(&amount, pending)) amount = 0;
        } else {
            // The variable is held while its amount is read.
            ReadingValue holding_target;
            SlotHold a;
            old_fact(source, &a.q, pending);
            // A refused amount leaves the variable as it is.
            if (!a.q->isnum) {
                error(223, token.name);
                amount = 0;
            } else if (lintmode) {
                amount = a.q->nnum->value;
            } else if (a.q->nnum->count != 1) {
                error(224, token.name);
                amount = 0;
            } else {
                amount = a.q->nnum->head->digit;
            }
        }
    }
    if (down) amount = static_cast<int32_t>(0u - static_cast<uint32_t>(amount));
    // A statement that goes on after its amount fails: the variable stays.
    if (!update_ends_statement(pending)) {
        error(update_end_error(pending), token.name);
        return;
    }
    if (refused_as_lost(held)) return;

    // As the cell of a dense array, a sparse element is changed as the
    // amount left it: its entry may have been removed or made meanwhile.
    if (sparse_array && (!target || held.entry_gone())) target = new_sparse_slot(sparse_array, sparse_pos);
    if (!*target) quoly_set(0, target);
    // At a nested level the stored value may be an operand of the
    // interrupted computation: it changes in a copy. So it does in modular
    // mode, where it may be the copy a starred conversion gave: the way
    // back must see it written, as after an assignment.
    // A value a conversion list left out enters the ring first: changed in
    // its word alone, it would keep the digits the way back restores. Its
    // copy keeps the digits the conversion reads.
    const bool left_out = lintmode && left_out_value(*target);
    // One without an element of the ring is error 85, kept as it is.
    if (left_out) refuse_unless_converts(*target);
    if (levelcount > 1 || lintmode) {
        quoly* copy = nullptr;
        if (left_out) {
            LintOff digits;
            quoly_assign(*target, &copy);
            retire_value(target);
        } else {
            quoly_assign(*target, &copy);
            retire_value(target);
        }
        *target = copy;
    }
    if (left_out) {
        quoly_change_num(target);
        if (!*target) quoly_set(0, target);
    }
    quoly* t = *target;
    increment inc{nullptr, &amount, 0};
    if (t->isnum) {
        inc.number = t->nnum;
        add_to_im(&inc);
    } else if (!t->den) {
        do_poly(&t->pnum, &inc);
    } else {
        error(196, token.name);
        return;
    }
    settle_suspended_store(target, cell);
    t = *target;
    // Inside a body the value is usually dropped: only a one-word result is
    // worth copying there.
    if (!in_body(pending) || (t->isnum && (lintmode || t->nnum->count == 1)))
        quoly_assign(t, value);
    else
        quoly_set(0, value);
    *ref = value;
    if (sparse_array) purge_sparse(sparse_array, sparse_pos);
}

}  // namespace

void expre(FILE** source, quoly*** ref, quoly** value, colm*** sparse_array, int32_t* sparse_pos,
           name** pending) {
    term(source, ref, value, sparse_array, sparse_pos, pending);
    if (token_is(&token, ":")) {
        assignment(source, ref, value, *sparse_array, *sparse_pos, pending);
        return;
    }
    // A long sum of polynomial terms is gathered and meets the running
    // value once: adding term by term would copy the value for each.
    SumRun run;
    while (token_is(&token, "+") || token_is(&token, "-")) {
        const bool add = token.name[0] == '+';
        next_token(source, pending);
        // Copied before the next term runs, which may change the variable.
        own_value(value, *ref);
        *ref = value;
        SlotHold right;
        quoly** rref = nullptr;
        colm** sa = nullptr;
        int32_t sp = 0;
        {
            ReadingValue left_in_hand;
            term(source, &rref, &right.q, &sa, &sp, pending);
        }
        if (run.take(*value, &right.q, rref, add)) continue;
        run.finish(value);
        if (right.q) {
            if (add)
                best_quoly_add(value, right.release());
            else
                best_quoly_sub(value, right.release());
        } else if (rref && *rref) {
            if (add)
                better_quoly_add(*value, *rref, value);
            else
                better_quoly_sub(*value, *rref, value);
        }
    }
    run.finish(value);
}

namespace {

// e mod (m - 1), made non-negative: e in digits, digit arithmetic on.
int32_t reduced_by_order(imag* e, int32_t m) {
    imag* order = new_number();
    imag* r = new_number();
    setvalue(m - 1, order);
    mod_or_div(e, order, r, '|', 1);
    const int32_t w = convert_to_int(r);
    free_imag(&order);
    free_imag(&r);
    return w;
}

}  // namespace

void get_exponent(FILE** source, name** pending, imag** exponent, int as_factor, bool* beyond_word) {
    if (beyond_word) *beyond_word = false;
    SlotHold e;
    const int words = lintmode;
    bool number = false, fits = true;
    int32_t word = 0;
    {
        ExactCountGuard exact;
        next_token(source, pending);
        if (as_factor)
            old_fact(source, &e.q, pending);
        else
            old_expre(source, &e.q, pending);
        if (words) {
            // The exponent in digits becomes a machine word; one past the
            // word only matters as a power of a residue modulo a prime,
            // whose order divides the modulus less one.
            number = e.q && e.q->isnum;
            if (number) {
                fits = digits_to_word(e.q->nnum, &word);
                if (!fits && exact.modular && mod_is_prime) word = reduced_by_order(e.q->nnum, modulus);
            }
            free_quoly(&e.q);
        }
    }
    if (words) {
        quoly_set(0, &e.q);
        if (number) {
            e.q->nnum->value = word;
        } else {
            error(116, "^");
        }
        if (!fits) {
            if (beyond_word)
                *beyond_word = true;
            else
                error(32, token.name);
        }
    } else if (!e.q->isnum) {
        error(116, "^");
        quoly_set(0, &e.q);
    }
    *exponent = e.q->nnum;
    e.q->nnum = nullptr;
}
