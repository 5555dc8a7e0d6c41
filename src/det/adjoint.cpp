#include "det/adjoint.h"

#include <vector>

#include "det/det_state.h"
#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "det/mod_matrix_inv.h"
#include "gcd/split_copies.h"
#include "interp/token.h"
#include "matrix/measures.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "quoly/modout_suspend.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

quoly* determinant_of(quoly** cells, int32_t n, sparse** sparse_slot) {
    quoly* d = nullptr;
    quoly_set(1, &d);
    QuolyOwner own(d);
    mat_invert(cells, nullptr, 0, 0, n, &own.q, 0, 0, sparse_slot, nullptr, -1, -1, -1, 0, 0);
    d = own.q;
    own.q = nullptr;
    return d;
}

bool is_zero_number(const quoly* q) { return q->isnum && iszero(q->nnum); }

// The cells of an adjoint formed while the relations rested, reduced now.
void reduce_at_rest(ModoutSuspension& rest, quoly** cells, int64_t count) {
    if (!rest.on) return;
    rest.finish();
    for (int64_t c = 0; c < count; c++)
        if (!cells[c]->isnum && (!cells[c]->rat || lintmode)) recheck(&cells[c]);
}

}  // namespace

void adjoint_by_cofactors(quoly** a_cells, quoly** out_cells, int32_t n, sparse** sparse_slot) {
    const int64_t count = int64_t{n} * n;
    // W shares A's cells (the determinant works on its own copy) and two
    // constants of its own.
    WorkBlock w("Adjoint");
    QuolyOwner zero, one;
    quoly_set(0, &zero.q);
    quoly_set(1, &one.q);
    for (int64_t c = 0; c < count; c++) w.cells[c] = a_cells[c];
    auto at = [n](quoly** m, int32_t i, int32_t j) -> quoly*& { return m[int64_t{j} * n + i]; };
    for (int32_t r = 0; r < n; r++) {
        if (r > 0)
            for (int32_t j = 0; j < n; j++) at(w.cells, r - 1, j) = at(a_cells, r - 1, j);
        for (int32_t j = 0; j < n; j++) at(w.cells, r, j) = zero.q;
        for (int32_t c = 0; c < n; c++) {
            poll_interrupt();
            if (c > 0) {
                for (int32_t i = 0; i < n; i++)
                    if (i != r) at(w.cells, i, c - 1) = at(a_cells, i, c - 1);
                at(w.cells, r, c - 1) = zero.q;
            }
            for (int32_t i = 0; i < n; i++) at(w.cells, i, c) = zero.q;
            at(w.cells, r, c) = one.q;
            quoly* d = determinant_of(w.cells, n, sparse_slot);
            free_quoly(&out_cells[int64_t{r} * n + c]);
            out_cells[int64_t{r} * n + c] = d;
        }
        // Column n - 1 comes back with the next row.
        for (int32_t i = 0; i < n; i++)
            if (i != r) at(w.cells, i, n - 1) = at(a_cells, i, n - 1);
    }
}

void adjoint_by_inversion(quoly** a_cells, quoly** out_cells, int consume, int32_t n, sparse** sparse_slot) {
    const int64_t count = int64_t{n} * n;
    // The copy (or A's own cells) in out_cells; put back or freed on an error.
    struct Held {
        quoly** a;
        quoly** out;
        int64_t count;
        bool moved;
        bool keep = false;
        ~Held() { put_back(); }
        void put_back() {
            if (keep) return;
            keep = true;
            for (int64_t c = 0; c < count; c++) {
                if (moved && !a[c])
                    a[c] = out[c];
                else
                    free_quoly(&out[c]);
                out[c] = nullptr;
            }
        }
    } held{a_cells, out_cells, count, consume != 0};
    // Relations without the field flag rest while the whole adjoint is
    // formed, as they do inside each elimination, and reduce its cells only
    // at the end. The inverse over the free ring may hold the inverse of a
    // zero divisor of theirs (1/(t - 3) modulo 5 under t^3 - 2) that only
    // the product with det(A) cancels: reduced before that product, a cell
    // would come back right only in the copies that zero divisor leaves.
    ModoutSuspension rest;
    if (need_to_turn_off_mod_out(0, 0, 0, 0, n)) rest.start();
    for (int64_t c = 0; c < count; c++) {
        if (consume) {
            out_cells[c] = a_cells[c];
            a_cells[c] = nullptr;
        } else {
            out_cells[c] = nullptr;
            quoly_assign(a_cells[c], &out_cells[c]);
        }
    }
    QuolyOwner d(determinant_of(out_cells, n, sparse_slot));
    // A determinant that vanishes in some copy of split field levels has no
    // inverse there either: the cofactors serve, as for 0.
    if (is_zero_number(d.q) || (!d.q->isnum && !d.q->rat && split_copies_zero_divisor(d.q->pnum))) {
        held.put_back();   // A's cells back in place, the copies freed
        adjoint_by_cofactors(a_cells, out_cells, n, sparse_slot);
        reduce_at_rest(rest, out_cells, count);
        return;
    }
    QuolyOwner scratch;
    quoly_set(1, &scratch.q);
    mat_invert(out_cells, out_cells, 1, 1, n, &scratch.q, 1, 1, sparse_slot, nullptr, -1, -1, -1, 0, 0);
    held.keep = true;
    for (int64_t c = 0; c < count; c++) fast_quoly_mult(&out_cells[c], &d.q);
    reduce_at_rest(rest, out_cells, count);
}

void adjoint(quoly** a_cells, quoly** out_cells, int consume, int32_t n, sparse** sparse_slot) {
    const int64_t count = int64_t{n} * n;
    bool numbers = true;
    for (int64_t c = 0; c < count; c++) {
        const quoly* q = a_cells[c];
        if (q->isnum) continue;
        if (q->den) {
            adjoint_by_inversion(a_cells, out_cells, consume, n, sparse_slot);
            return;
        }
        numbers = false;
    }
    if (!numbers) {
        adjoint_by_cofactors(a_cells, out_cells, n, sparse_slot);
        return;
    }
    if (modularmode) {
        adjoint_by_inversion(a_cells, out_cells, consume, n, sparse_slot);
        return;
    }
    if (lintmode) {
        error(62, "Adjoint");
        abandon_statement(62);
    }
    QuolyOwner det, bound;
    quoly_set(-1, &bound.q);
    set_min_cut(n);
    int_determ(&det.q, nullptr, a_cells, n, &bound.q);
    if (is_zero_number(det.q)) {
        adjoint_by_cofactors(a_cells, out_cells, n, sparse_slot);
        return;
    }
    if (mod_matrix_inv(a_cells, out_cells, 0, n, &det.q, &bound.q, sparse_slot, 0)) return;
    adjoint_by_inversion(a_cells, out_cells, consume, n, sparse_slot);
}
