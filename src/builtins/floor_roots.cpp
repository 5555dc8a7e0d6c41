// Absolute value, greatest integer, square root, content and p-th root
// (see floor_roots.h).
#include "builtins/floor_roots.h"

#include <cmath>
#include <cstdint>

#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/token.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/coefops.h"
#include "poly/polyvars.h"
#include "quoly/pth_roots.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

const char* const sqrtsign = "Sqrt";
const char* const greatintsign = "$";

bool is_lone_number(const polynode* p) { return p->numb && !p->next; }

// A numerator or denominator that is a lone number node: the record
// becomes that plain number.
void settle_constant(quoly** slot) {
    quoly* q = *slot;
    if (!q->isnum && !q->den && is_lone_number(q->pnum)) polynum_to_quoly(slot);
}

// a / b for a reduced rational (b >= 2): the truncated quotient, one lower
// for a negative a, since such a fraction is never an integer.
void floor_rational(quoly** slot) {
    quoly* v = *slot;
    imag* a = v->pnum->ncoef;
    imag* b = v->den->ncoef;
    imag* t = new_number();
    imag* r = new_number();
    divide(a, b, t, r);
    if (a->head->digit < 0) sub(t, number_1, t);
    free_imag(&r);
    scalar_to_quoly(t, slot);
    free_imag(&t);
}

// The integer part of the real square root of a machine word v >= 0.
int32_t word_sqrt(int32_t v) {
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (r * r > v) r--;
    while ((r + 1) * (r + 1) <= v) r++;
    return static_cast<int32_t>(r);
}

}  // namespace

void abs_value(imag* x) {
    if (modularmode) return;
    if (lintmode) {
        if (x->value < 0) x->value = static_cast<int32_t>(0u - static_cast<uint32_t>(x->value));
    } else if (x->head->digit < 0) {
        in_place_neg(x);
    }
}

void poly_abs(polynode* u) {
    if (modularmode) return;
    for (polynode* t = u; t; t = t->next) {
        if (t->numb)
            abs_value(t->ncoef);
        else
            poly_abs(t->pcoef);
    }
}

void quoly_abs(quoly* q) {
    if (modularmode) return;
    if (q->isnum) {
        abs_value(q->nnum);
        return;
    }
    if (q->rat) {
        abs_value(q->pnum->ncoef);   // the denominator is positive already
        return;
    }
    poly_abs(q->pnum);
    if (!q->den) {
        settle_constant(&q);
        return;
    }
    poly_abs(q->den);
    // Numerator and denominator may now share a factor (x + 1 over x - 1
    // became x + 1 over x + 1). The result is not 0, so the record stays.
    quoly* slot = q;
    check_quoly(&slot, 0);
}

void quoly_great_int(quoly** slot) {
    if (lintmode && !modularmode) {
        error(62, greatintsign);
        return;
    }
    quoly* q = *slot;
    if (q->isnum) return;
    if (q->rat) {
        if (!modularmode) floor_rational(slot);
        return;
    }
    if (!q->den) return;
    // The denominator becomes a divisor of its own; the numerator alone
    // is divided by it.
    SlotHold d;
    newquoly(&d.q);
    d.q->isnum = 0;
    d.q->rat = 0;
    d.q->den = nullptr;
    d.q->pnum = q->den;
    q->den = nullptr;
    settle_constant(&d.q);
    settle_constant(slot);
    quoly_mod_or_div(*slot, d.q, slot, '\\');
}

void square_root(imag* x, imag* result) {
    if (modularmode) {
        const int32_t v = x->value;
        if (finf) {
            if (v < 0 || v >= modulus) {
                error(37, sqrtsign);
                return;
            }
            result->value = f256 ? f256sqr[v] : f2t16sqr[v];
            return;
        }
        if (!mod_is_prime || modulus % 2 == 0) {
            error(34, sqrtsign);
            return;
        }
        result->value = modular_sqrt(v);
        return;
    }
    if (lintmode) {
        if (x->value < 0) {
            error(37, sqrtsign);
            return;
        }
        result->value = word_sqrt(x->value);
        return;
    }
    if (x->head->digit < 0) {
        error(37, sqrtsign);
        return;
    }
    int_sqrt(x, result, 0);
}

void number_content(quoly* arg, quoly** result) {
    if (!arg || quoly_iszero(arg)) {
        quoly_set(0, result);
        return;
    }
    if (!arg->isnum && !arg->rat && arg->den) {
        error(196, token.name);
        quoly_set(0, result);
        return;
    }
    if (arg->isnum && lintmode) {
        quoly_set(1, result);
        return;
    }
    if (arg->isnum || arg->rat) {
        quoly* c = nullptr;
        quoly_assign(arg, &c);
        quoly_abs(c);
        free_quoly(result);
        *result = c;
        return;
    }
    polynode* g = nullptr;
    gcd_coefs(arg->pnum, &g);
    quoly* c = nullptr;
    poly_to_quoly(g, &c);
    free_poly(&g);
    free_quoly(result);
    *result = c;
}

void quoly_pth_root(quoly** slot) {
    quoly* q = *slot;
    if (q->isnum) return;
    // The first variable the numerator depends on: down through the levels
    // whose only term has exponent 0.
    polynode** p = &q->pnum;
    pt* rec = polynames;
    int32_t level = 1;
    while (!(*p)->numb && (*p)->exp == 0) {
        p = &(*p)->pcoef;
        rec = inner(rec);
        level++;
    }
    if (field_depth == 0 || field_depth > level) {
        error(301, token.name);
        return;
    }
    pth_root(p, rec);
}

void sparse_great_abs(sparse** frame_slot, int32_t n, int in_place, int take_abs) {
    // Refused before anything is copied; when the error returns the caller
    // still gets its copy, unchanged.
    const bool refused = !take_abs && lintmode && !modularmode;
    if (refused) error(62, greatintsign);
    if (!in_place) {
        sparse* copy = nullptr;
        copy_sparse(frame_slot, &copy, n, 0);
        *frame_slot = copy;
    }
    if (refused) return;
    sparse* f = *frame_slot;
    for (int32_t r = 0; r < n; r++) {
        if (r > 0 && r % SPARSE_FRAME_ROWS == 0) f = f->next;
        colm** link = &f->row[r % SPARSE_FRAME_ROWS];
        while (colm* e = *link) {
            if (take_abs) {
                quoly_abs(e->val);
            } else {
                quoly_great_int(&e->val);
                if (quoly_iszero(e->val)) {
                    free_colm(link);
                    continue;
                }
            }
            link = &e->next;
        }
    }
}
