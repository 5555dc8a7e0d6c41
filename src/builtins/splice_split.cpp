// Splice and Split on a variable's polynomial.
#include "builtins/splice_split.h"

#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/token.h"
#include "matrix/sparse.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/ring_change.h"
#include "toplevel/set_aside.h"

namespace {

// The variable named at the current token, its value taken out for the
// work: it holds 1 until store(), and its own value again if store() never
// comes. An absent sparse entry has no slot: its value is 0, and store()
// makes the entry when the result is not 0. A level opened meanwhile (an
// error in a later argument) sees the variable's own value; a value stored
// there stays (the work, which goes on from the value it took, may still
// store its result over it; over an array's cell the statement is then
// abandoned).
struct TakenVariable : SetAside {
    quoly** slot = nullptr;
    colm** row = nullptr;   // an element of a sparse array: its row and column
    int32_t column = 0;
    quoly* original = nullptr;   // null: the variable held nothing
    SlotHold in_ring;            // a left-out value's element of the ring
    quoly* held = nullptr;       // the work's 1 while a level runs
    quoly* given = nullptr;      // the copy of the value the level was given
    bool level_stored = false;

    TakenVariable(FILE** source, name** pending) {
        const tokenrec nm = token;
        slot = get_quoly_ptr(source, pending, nullptr, &row, &column);
        if (slot && array_parameter(*slot)) bfail(29, nm.name);
        if (slot && *slot) read_left_out_converted(*slot, &in_ring.q);
        const quoly* seen = in_ring.q ? in_ring.q : slot ? *slot : nullptr;
        if (seen && !seen->isnum && seen->den) bfail(196, nm.name);
        if (!slot) return;
        original = *slot;
        *slot = nullptr;
        quoly_set(1, slot);
    }
    ~TakenVariable() {
        if (!slot) return;
        if (level_stored) {
            retire_value(&original);
            return;
        }
        retire_value(slot);
        *slot = original;
    }
    TakenVariable(const TakenVariable&) = delete;
    TakenVariable& operator=(const TakenVariable&) = delete;

    void put_back() override {
        if (!slot || level_stored) return;
        held = *slot;
        *slot = nullptr;
        if (original) quoly_assign(original, slot);
        given = *slot;
    }
    void set_aside_again() override {
        if (!slot || level_stored) return;
        if (*slot == given && (!given || quoly_equal(given, original))) {
            retire_value(slot);
            *slot = held;
        } else {
            level_stored = true;
            retire_value(&held);
        }
        held = given = nullptr;
    }

    bool sparse_cell() const { return row != nullptr; }
    // A copy of the value to work on (0 for nothing).
    quoly* copy() const {
        quoly* q = nullptr;
        if (in_ring.q)
            quoly_assign(in_ring.q, &q);
        else if (original)
            quoly_assign(original, &q);
        else
            quoly_set(0, &q);
        return q;
    }
    // The result (ownership passes) into the variable; the old value is
    // given up. A sparse cell stores no 0.
    void store(quoly* value) {
        if (value->isnum) value->den = nullptr;
        if (!slot) {
            if (quoly_iszero(value)) {
                free_quoly(&value);
                return;
            }
            quoly** made = nullptr;
            sparse_zero_set(row, column, &made);
            free_quoly(made);
            *made = value;
            return;
        }
        retire_value(slot);
        *slot = value;
        retire_value(&original);
        slot = nullptr;
        // The cell may have become 0 (a + b x^k with b x^k = -a).
        if (row) purge_sparse(row, column);
    }
};

}  // namespace

void builtin_splice(FILE** source, quoly** result, name** pending) {
    open_arguments(source, pending);
    TakenVariable a(source, pending);
    next_argument(source, pending);
    SlotHold b;
    {
        const tokenrec nm = token;
        quoly** bslot = get_quoly_ptr(source, pending);
        if (a.slot && bslot == a.slot) {
            // The same variable: its own value, not the 1 it holds now.
            b.q = a.copy();
        } else if (bslot && *bslot) {
            if (array_parameter(*bslot)) bfail(29, nm.name);
            if (!read_left_out_converted(*bslot, &b.q)) quoly_assign(*bslot, &b.q);
            if (!b.q->isnum && b.q->den) bfail(196, nm.name);
        } else {
            quoly_set(0, &b.q);
        }
    }
    next_argument(source, pending);
    const int32_t k = count_argument(source, pending);
    if (k < 1) bfail(367, token.name);
    close_arguments(source, pending);
    // b x^k needs a variable x: without one there is no such term.
    if (number_polys == 0 && !quoly_iszero(b.q)) bfail(213, "Splice");
    SlotHold sum;
    sum.q = a.copy();
    splice_poly(&sum.q, &b.q, k);
    a.store(sum.release());
    quoly_set(0, result);
}

void builtin_split(FILE** source, quoly** result, name** pending) {
    open_arguments(source, pending);
    TakenVariable a(source, pending);
    next_argument(source, pending);
    const int32_t k = count_argument(source, pending);
    if (k < 0) bfail(366, token.name);
    SlotHold low, high;
    low.q = a.copy();
    quoly_set(k, &high.q);
    split_poly(&low.q, &high.q);
    if (a.sparse_cell() && quoly_iszero(low.q)) bfail(365, token.name);
    if (token_is(&token, ",")) {
        // The variable first: the target may be the same cell.
        a.store(low.release());
        bnext(source, pending);
        set_quotient(high.release(), source, pending, 1, ')');
        bnext(source, pending);
    } else {
        close_arguments(source, pending);
        a.store(low.release());
    }
    quoly_set(0, result);
}
