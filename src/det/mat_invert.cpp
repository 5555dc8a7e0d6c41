#include "det/mat_invert.h"

#include <cstdio>
#include <numeric>
#include <optional>
#include <vector>

#include "det/det_state.h"
#include "det/elim_steps.h"
#include "det/hamilton.h"
#include "det/int_determ.h"
#include "det/mod_matrix_inv.h"
#include "det/pivots.h"
#include "det/sparse_mod_determ.h"
#include "det/poly_det.h"
#include "det/sparse_minors.h"
#include "det/split_pivots.h"
#include "det/standard_invert.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/measures.h"
#include "matrix/sparse_det.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_invert.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/masses.h"
#include "poly/polyvars.h"
#include "quoly/modout_suspend.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"

namespace {

inline quoly*& at(quoly** c, int32_t n, int32_t i, int32_t j) { return c[int64_t{j} * n + i]; }

// A row or column of zeros makes the determinant 0 in every ring. The
// eliminations find it only when their pivot search reaches it, and under
// a composite modulus a pivot taken before then may be a zero divisor they
// cannot divide by; so there it is looked for first.
bool has_zero_line(quoly** cells, sparse* frame, int32_t n) {
    std::vector<char> row_used(static_cast<size_t>(n), 0), col_used(static_cast<size_t>(n), 0);
    if (frame) {
        RowWalk w(frame);
        for (int32_t i = 0; i < n; i++, w.next())
            for (const colm* e = *w.head(); e; e = e->next)
                if (e->val && !quoly_iszero(e->val) && e->col >= 1 && e->col <= n) {
                    row_used[static_cast<size_t>(i)] = 1;
                    col_used[static_cast<size_t>(e->col - 1)] = 1;
                }
    } else {
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++)
                if (!quoly_iszero(at(cells, n, i, j))) {
                    row_used[static_cast<size_t>(i)] = 1;
                    col_used[static_cast<size_t>(j)] = 1;
                }
    }
    for (int32_t i = 0; i < n; i++)
        if (!row_used[static_cast<size_t>(i)] || !col_used[static_cast<size_t>(i)]) return true;
    return false;
}

// Fraction-free elimination: every entry stays a polynomial, each step's
// new entries divided exactly by the previous pivot.
void gauss_bareiss(quoly** cells, int in_place, int same_cells, int32_t n, quoly** result, bool* singular) {
    std::optional<WorkCopy> copy;
    quoly** w = cells;
    const char* name = "outar";
    if (!(in_place && same_cells)) {
        copy.emplace(cells, int64_t{n} * n, "Det");
        w = copy->cells;
        name = "dup";
    }
    DupGuard dup(name, w, n);
    dumpitt_level++;
    struct Level {
        int32_t n;
        ~Level() { decr_dumpitt(n, 1, verbose); }
    } level{n};
    if (verbose) dumpitt("Gauss-Bareiss method, size ", n, 1, 1, 1);
    QuolyOwner prev;
    bool in_copies = false;   // prev divides only in the copies of split field levels
    uint64_t dead_copies = 0;
    for (int32_t k = 1; k < n; k++) {
        poll_interrupt();
        int32_t row = 0, col = 0;
        find_good_spot(w, k, n, n - k + 1, &row, &col);
        if (verbose) dumpitt(" ", k, 0, 0, 1);
        if (row == 0) {
            quoly_set(0, result);
            *singular = true;
            return;
        }
        if (row != k) swap_rows(result, w, 1, 0, k - 1, row - 1, n);
        if (col != k) {
            for (int32_t i = k - 1; i < n; i++) std::swap(at(w, n, i, k - 1), at(w, n, i, col - 1));
            quoly_inplace(*result);
        }
        // Where the column vanishes whole the pivot takes the previous one:
        // the step changes nothing there and every division stays exact.
        dead_copies |= mend_dense_pivot(w, k, n, prev.q, false, nullptr);
        quoly* p = at(w, n, k - 1, k - 1);
        refuse_rational_field_pivot(p);
        for (int32_t i = k; i < n; i++) {
            quoly* e = at(w, n, i, k - 1);
            for (int32_t j = k; j < n; j++) {
                quoly* s = nullptr;
                quoly_mult(p, at(w, n, i, j), &s);
                if (!quoly_iszero(e) && !quoly_iszero(at(w, n, k - 1, j))) {
                    quoly* t = nullptr;
                    quoly_mult(e, at(w, n, k - 1, j), &t);
                    best_quoly_sub(&s, t);
                }
                if (prev.q) {
                    int flag = 0;
                    if (in_copies ? !divide_in_copies(&s, prev.q) : trial_divide(&prev.q, &s, 1, 0, 0, &flag) != 0) {
                        free_quoly(&s);
                        tarvex_error(" Gauss-Bareiss", 1);
                        abandon_statement();
                    }
                }
                free_quoly(&at(w, n, i, j));
                at(w, n, i, j) = s;
            }
        }
        quoly_assign(p, &prev.q);
        in_copies = divides_in_copies(prev.q);
    }
    fast_quoly_mult(result, &at(w, n, n - 1, n - 1));
    cut_dead_copies(result, dead_copies);
}

// The warnings on a power hint that cannot help; they only inform.
void power_hint_warnings(int32_t power) {
    const int64_t P = power < 0 ? -int64_t{power} : power;
    if (P <= 1 || !lintmode) return;
    if (!modularmode) {
        warning(3, token.name);
    } else if (power % 2 == 0) {
        if (!(modulus % 4 == 3 && (P & (P - 1)) == 0)) warning(4, token.name);
    } else if (std::gcd(P, int64_t{modulus} - 1) != 1) {
        warning(5, token.name);
    }
}

void sparse_determinant(sparse** sparse_ref, int32_t n, quoly** result, int in_place, polynode* factor,
                        int32_t degree, int32_t second_degree, int32_t power, int factor_removed,
                        int32_t prime_count) {
    sparse* frame = *sparse_ref;
    power_hint_warnings(power);
    const int32_t c = detcutoff < 0 ? 3 : detcutoff;
    if (n >= 2 && n <= c) {
        if (modularmode && (integerflag || sparse_allnumbs(frame, n))) {
            int32_t d = 0;
            int_sparse_minors_det(&d, sparse_ref, n, &in_place, 0);
            quoly_set(d, result);
        } else {
            sparse_minors_det(result, sparse_ref, n, &in_place, 0);
        }
        if (factor) divide_fct(result, factor);
        return;
    }
    int all_numbers = 1;
    const int all_polys = sparse_allpolys(frame, n, &all_numbers);
    if (!all_polys) {
        sparse_gauss_elim(frame, result, n, c, in_place);
    } else if (all_numbers && modularmode) {
        sparse_mod_int_determ(result, sparse_ref, n, in_place, verbose);
    } else if (gauss_cutoff == 1) {
        sparse_gauss_Bareiss(frame, result, n, c, in_place);
    } else if (rat_det_method_cut == 1 && detcutoff < 0) {
        // Interpolation in a variable that carries a relation knows nothing
        // of it: the relations rest for the run, as on the dense road, and
        // the result is reduced at the end.
        ModoutSuspension suspension;
        if (need_to_turn_off_mod_out(all_polys, 1, 0, c, n)) suspension.start();
        if (sparse_lagrange(frame, result, n, factor, degree, second_degree, power, factor_removed, prime_count)) {
            if (suspension.on) {
                suspension.finish();
                if (!(*result)->isnum && (!(*result)->rat || lintmode)) recheck(result);
            }
            return;
        }
        suspension.finish();
        sparse_gauss_elim(frame, result, n, c, in_place);
    } else {
        sparse_gauss_elim(frame, result, n, c, in_place);
    }
    if (factor) divide_fct(result, factor);
}

// Fractions under relations without the field flag: the recurrence's
// sums cannot prove the common factors of their zero divisors and swell
// (cells of degree hundreds), where the elimination works with the
// relations at rest and cancels as it goes; the inverse is as full as the
// elimination's cells in most matrices anyway.
bool takes_dense_road(sparse* frame, quoly** dest, int32_t n) {
    if (!dest || n < 2 || int64_t{n} * n > MAX_DENSE_CELLS) return false;
    int all_numbers = 1;
    return !sparse_allpolys(frame, n, &all_numbers) && need_to_turn_off_mod_out(0, 0, 0, 0, n);
}

// Copies of the n x n sparse matrix's values into dense cells, column by
// column (their old contents are not read).
void dense_cells_of(sparse* frame, quoly** cells, int32_t n) {
    for (int64_t i = 0; i < int64_t{n} * n; i++) cells[i] = nullptr;
    RowWalk w(frame);
    for (int32_t i = 0; i < n; i++, w.next())
        for (const colm* e = *w.head(); e; e = e->next) quoly_assign(e->val, &at(cells, n, i, e->col - 1));
    for (int64_t i = 0; i < int64_t{n} * n; i++)
        if (!cells[i]) quoly_set(0, &cells[i]);
}

}  // namespace

void mat_invert(quoly** cells, quoly** dest, int in_place, int dest_in_place, int32_t n, quoly** result,
                int invert, int same_cells, sparse** sparse_ref, polynode* factor, int32_t degree,
                int32_t second_degree, int32_t power, int factor_removed, int32_t prime_count) {
    if (!invert && n > 0 && modularmode && !finf && !mod_is_prime && has_zero_line(cells, sparse_ref ? *sparse_ref : nullptr, n)) {
        quoly_set(0, result);
        return;
    }
    if (sparse_ref && *sparse_ref) {
        if (n < 0) {
            hamilton_path_driver(sparse_ref, -n, result, factor);
            return;
        }
        if (invert) {
            if (!takes_dense_road(*sparse_ref, dest, n)) {
                invert_sparse(sparse_ref, dest, in_place, invert, n, result);
                return;
            }
            dense_cells_of(*sparse_ref, dest, n);
            // A stays the caller's until its inverse is whole: an error
            // leaves it in place, the copies freed.
            struct Copies {
                quoly** c;
                int64_t count;
                ~Copies() {
                    for (int64_t i = 0; c && i < count; i++) free_quoly(&c[i]);
                }
            } copies{dest, int64_t{n} * n};
            sparse* none = nullptr;
            mat_invert(dest, dest, 1, 1, n, result, 1, 1, &none, factor, degree, second_degree, power,
                       factor_removed, prime_count);
            copies.c = nullptr;
            if (in_place) free_sparse(sparse_ref, n, 1);
            *sparse_ref = nullptr;
            return;
        }
        sparse_determinant(sparse_ref, n, result, in_place, factor, degree, second_degree, power,
                           factor_removed, prime_count);
        return;
    }

    // What the cells are.
    int all_numbers = 1, all_polys = 1;
    int32_t depth = 16384;
    const int64_t cells_n = int64_t{n} * n;
    for (int64_t c = 0; c < cells_n; c++) {
        quoly* q = cells[c];
        if (q->isnum) continue;
        all_numbers = 0;
        if (q->den) {
            all_polys = 0;
            break;
        }
        const int32_t d = poly_depth(q->pnum);
        if (d < depth) depth = d;
    }
    const int kind = !all_numbers ? 2 : (modularmode ? 0 : 1);
    int32_t cut = 0;
    bool det_mode = false;

    if (!invert) {
        if (detcutoff >= 0)
            cut = detcutoff < 40 ? detcutoff : 40;
        else if (!all_numbers && n > 2)
            cut = n <= 5 ? n - 1 : n == 6 ? 4 : 0;
        else
            cut = 2;
        // Under a composite modulus the general elimination divides by its
        // pivots; the residue elimination alone gets past zero divisors.
        const bool composite = modularmode && !finf && !mod_is_prime;
        if (all_numbers && ((detcutoff < 0 && n >= 4) || composite)) {
            if (modularmode && !mod_mode_matrix_in_use) {
                ModMatrixLease lease(n);
                for (int64_t c = 0; c < cells_n; c++) lease.cells[c]->nnum->value = cells[c]->nnum->value;
                mod_determ(lease.cells, n, *result);
                if (factor) divide_fct(result, factor);
                return;
            }
            // A factor hint does not help an integer determinant: the
            // fastest route runs, and the factor is divided out after, as
            // elimination would have divided it.
            if (!lintmode && !modularmode) {
                quoly* scratch = nullptr;
                quoly_set(-1, &scratch);
                QuolyOwner own(scratch);
                set_min_cut(n);
                int_determ(result, nullptr, cells, n, &own.q);
                if (factor) divide_fct(result, factor);
                return;
            }
        }
        det_mode = true;
    }
    if (invert && all_numbers && !lintmode && n >= 4 && mod_matrix_ok &&
        adjoint_crt_inverse(cells, dest, dest_in_place, n, sparse_ref))
        return;

    const bool eligible = det_mode && all_polys;
    bool G = gauss_cutoff == 1 && eligible;
    bool L = false;
    if (eligible && detcutoff < 0 && n >= 4 && rat_det_method_cut == 1) {
        if (n >= 7) {
            L = true;
        } else {
            const int64_t budget = lintmode ? mod_det_method_cut : 1;
            int64_t sum = 0;
            for (int64_t c = 0; c < cells_n && !L; c++) {
                quoly* q = cells[c];
                if (q->isnum)
                    sum += lintmode ? 1 : size_of(q->nnum->head->digit, q->nnum->count) / 2;
                else
                    sum += full_poly_mass(q->pnum, 2, number_polys);
                if (sum > budget) L = true;
            }
            if (!L) G = true;
        }
    }
    ModoutSuspension suspension;
    if (need_to_turn_off_mod_out(all_polys, L, G, invert ? 0 : cut, n)) suspension.start();

    auto finish = [&](bool divide) {
        if (suspension.on) {
            suspension.finish();
            if (!(*result)->isnum && (!(*result)->rat || lintmode)) recheck(result);
        }
        if (divide && factor) divide_fct(result, factor);
    };

    if (L) {
        if (verbose && second_degree >= 0)
            std::printf("Warning: second degree argument (fourth) is ignored when matrix is not sparse.\n");
        if (verbose && (power > 1 || power < -1))
            std::printf("Warning: power argument (fifth) is ignored when matrix is not sparse.\n");
        int done = 0;
        if (modularmode)
            done = mod_poly_determ(cells, depth, n, result, laurent, factor, degree);
        else if (!lintmode)
            done = rat_poly_determ(cells, depth, n, result, laurent, factor, degree);
        if (done) {
            finish(false);
            return;
        }
    }

    if (!G) {
        det_hub hub;
        hub.new_polynames = suspension.on;
        suspension.on = false;   // the elimination resumes them itself
        hub.residue_path = all_numbers;
        hub.strategy = kind;
        hub.minors_cut = cut;
        struct Resume {
            det_hub* h;
            ~Resume() {
                if (h->new_polynames) resume_old_polynames();
            }
        } resume{&hub};
        standard_matrix_invert(result, n, factor, dest_in_place, cells, dest, invert, in_place, same_cells, &hub);
        return;
    }

    bool singular = false;
    gauss_bareiss(cells, in_place, same_cells, n, result, &singular);
    if (singular) {
        // A zero determinant needs neither reduction nor the factor.
        suspension.finish();
        return;
    }
    finish(true);
}
