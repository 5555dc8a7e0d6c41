#include "det/standard_invert.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "det/det_state.h"
#include "det/elim_steps.h"
#include "det/pivots.h"
#include "det/small_determ.h"
#include "det/split_pivots.h"
#include "matrix/dense_rowcol.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/modout_suspend.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

inline quoly*& at(quoly** c, int32_t n, int32_t i, int32_t j) { return c[int64_t{j} * n + i]; }

// The progress level of one elimination, lowered on every exit.
struct EliminationLevel {
    int32_t n;
    explicit EliminationLevel(int32_t size, const char* label) : n(size) {
        dumpitt_level++;
        if (verbose) dumpitt(label, n, 1, 1, 1);
    }
    ~EliminationLevel() { decr_dumpitt(n, 1, verbose); }
};

// Column j of the result := column j - f x column b (f a quoly), rows all.
void column_axpy(quoly** x, int32_t n, int32_t a, int32_t b, quoly* f, bool residues) {
    for (int32_t i = 0; i < n; i++) {
        quoly* xb = at(x, n, i, b);
        if (quoly_iszero(xb)) continue;
        if (residues) {
            int32_t& v = at(x, n, i, a)->nnum->value;
            v = mod_sub(v, modmult(f->nnum->value, xb->nnum->value), modulus);
        } else {
            quoly* t = nullptr;
            quoly_mult(f, xb, &t);
            best_quoly_sub(&at(x, n, i, a), t);
        }
    }
}

void invert_triangular(quoly** w, int32_t n, bool residues) {
    if (verbose) dumpitt(" Now inverting upper triangular matrix, rank ", n, 1, 1, 1);
    for (int32_t c = n - 1; c >= 1; c--) {
        poll_interrupt();
        if (verbose) dumpitt(" ", n - c, 0, 0, 1);
        for (int32_t r = c - 1; r >= 0; r--) {
            // X(r, c) = -(U(r, c) + sum over r < s < c of U(r, s) X(s, c)).
            if (residues) {
                int32_t sum = at(w, n, r, c)->nnum->value;
                for (int32_t s = r + 1; s < c; s++)
                    sum = mod_add(sum, modmult(at(w, n, r, s)->nnum->value, at(w, n, s, c)->nnum->value),
                                  modulus);
                const int32_t neg = (finf || sum == 0) ? sum : modulus - sum;
                quoly* q = nullptr;
                quoly_set_lint(neg, &q);
                free_quoly(&at(w, n, r, c));
                at(w, n, r, c) = q;
            } else {
                quoly* sum = nullptr;
                quoly_assign(at(w, n, r, c), &sum);
                for (int32_t s = r + 1; s < c; s++) {
                    if (quoly_iszero(at(w, n, r, s)) || quoly_iszero(at(w, n, s, c))) continue;
                    quoly* t = nullptr;
                    quoly_mult(at(w, n, r, s), at(w, n, s, c), &t);
                    best_quoly_add(&sum, t);
                }
                quoly_inplace(sum);
                free_quoly(&at(w, n, r, c));
                at(w, n, r, c) = sum;
            }
        }
    }
}

}  // namespace

void standard_matrix_invert(quoly** det, int32_t n, polynode* fct, int out_filled, quoly** in_cells,
                            quoly** out_cells, int want_inverse, int consume, int in_place, det_hub* hub) {
    if (!modularmode) hub->residue_path = 0;
    const bool residues = hub->residue_path;

    // The working cells.
    std::optional<WorkCopy> copy;
    std::optional<ModMatrixLease> lease;
    quoly** w = nullptr;
    const char* dup_name = "outar";
    if (!want_inverse) {
        if (residues) lease.emplace(n);
        if (lease && lease->cells) {
            w = lease->cells;
            for (int64_t c = 0; c < int64_t{n} * n; c++) w[c]->nnum->value = in_cells[c]->nnum->value;
            dup_name = "mod_matrix";
        } else if (consume && in_place) {
            w = in_cells;
        } else {
            copy.emplace(in_cells, int64_t{n} * n, "Det");
            w = copy->cells;
            dup_name = "dup";
        }
    } else {
        w = out_cells;
        if (!in_place) {
            for (int64_t c = 0; c < int64_t{n} * n; c++) {
                if (!out_filled) w[c] = nullptr;
                quoly_assign(in_cells[c], &w[c]);
            }
        }
    }
    hub->work = w;
    // The residue path needs cells of its own to change; copies and the
    // shared table have them, the caller's cells (consumed) too.
    DupGuard dup(dup_name, w, n);
    GcdStashLevel stash;
    EliminationLevel level(n, "Standard G.E. method, rank ");
    col* R = nullptr;
    col* S = nullptr;
    struct Lists {
        col** r;
        col** s;
        ~Lists() {
            free_col_list(r);
            free_col_list(s);
        }
    } lists{&R, &S};

    const bool det_mode = !want_inverse;
    uint64_t dead_copies = 0;
    for (int32_t k = 1; k <= n; k++) {
        poll_interrupt();
        const int32_t t = hub->strategy == 0 ? 1 : hub->strategy == 1 ? (n + 2 - k) / 2 : n + 1 - k;
        int32_t row = 0, colm = 0;
        find_good_spot(w, k, n, t, &row, &colm);
        if (verbose) dumpitt(" ", k, 0, 0, 1);
        if (row == 0) {
            if (det_mode) {
                quoly_set(0, det);
                return;
            }
            // Singular: nothing of the copies survives the error.
            if (!in_place) {
                for (int64_t c = 0; c < int64_t{n} * n; c++) free_quoly(&out_cells[c]);
            }
            if (consume)
                for (int64_t c = 0; c < int64_t{n} * n; c++) free_quoly(&in_cells[c]);
            error(44, "/");
            abandon_statement(44);
        }
        if (row != k) {
            swap_rows(det, w, det_mode, !det_mode, k - 1, row - 1, n);
            if (!det_mode) push_col(&R, k - 1, row - 1, nullptr);
        }
        if (colm != k) {
            if (det_mode) {
                for (int32_t i = k - 1; i < n; i++) std::swap(at(w, n, i, k - 1), at(w, n, i, colm - 1));
                quoly_inplace(*det);
            } else {
                swap_cols(w, k - 1, colm - 1, n);
                push_col(&S, k - 1, colm - 1, nullptr);
            }
        }
        if (!residues) dead_copies |= mend_dense_pivot(w, k, n, nullptr, !det_mode, &R);
        const int32_t r = n + 1 - k;
        if (det_mode && r <= hub->minors_cut) {
            if (r == 1) {
                fast_quoly_mult(det, &at(w, n, n - 1, n - 1));
            } else {
                std::vector<quoly*> block(static_cast<size_t>(r) * r);
                for (int32_t j = 0; j < r; j++)
                    for (int32_t i = 0; i < r; i++) block[j * r + i] = at(w, n, k - 1 + i, k - 1 + j);
                if (verbose) dumpitt(" Finish by minors, rank ", r, 1, 1, 1);
                quoly* m = nullptr;
                quoly_set(1, &m);
                QuolyOwner own(m);
                small_determ(&own.q, block.data(), r, verbose);
                fast_quoly_mult(det, &own.q);
            }
            break;
        }
        if (det_mode && k == n) {
            fast_quoly_mult(det, &at(w, n, n - 1, n - 1));
            break;
        }
        if (residues)
            numb_divide_thru(det, w, !det_mode, k, n, &R);
        else
            divide_thru(det, w, !det_mode, k, n, &R);
        if (det_mode)
            simple_zero_out(w, k, n, residues);
        else
            zero_out(w, k, n, residues, &R);
    }

    if (det_mode) {
        cut_dead_copies(det, dead_copies);
        if (hub->new_polynames) {
            resume_old_polynames();
            hub->new_polynames = 0;
            if (!(*det)->isnum && (!(*det)->rat || lintmode)) recheck(det);
        }
        if (fct) divide_fct(det, fct);
        return;
    }

    invert_triangular(w, n, residues);
    if (verbose) {
        std::printf("\n");
        for (int i = 0; i < 3 * dumpitt_level; i++) std::printf(" ");
        std::printf("Restoring row and column ops. \n");
    }
    for (col* c = R; c; c = c->next) {
        const int32_t a = col_first(c), b = col_second(c);
        quoly* f = col_factor(c);
        if (!f) {
            swap_cols(w, a, b, n);
        } else if (a == b) {
            if (residues) {
                const int32_t inv = imod_inverse(f->nnum->value);
                for (int32_t i = 0; i < n; i++) {
                    int32_t& v = at(w, n, i, a)->nnum->value;
                    v = modmult(v, inv);
                }
            } else {
                for (int32_t i = 0; i < n; i++) fast_quoly_quot(&at(w, n, i, a), &f, 0);
            }
        } else {
            column_axpy(w, n, a, b, f, residues);
        }
    }
    for (col* c = S; c; c = c->next) {
        const int32_t a = col_first(c), b = col_second(c);
        for (int32_t j = 0; j < n; j++) std::swap(at(w, n, a, j), at(w, n, b, j));
    }
    if (hub->new_polynames) {
        resume_old_polynames();
        hub->new_polynames = 0;
        for (int64_t c = 0; c < int64_t{n} * n; c++)
            if (!w[c]->isnum) recheck(&w[c]);
    }
}
