// The irreducibility test: the factoring run in stop-at-first mode, its
// first record read as the answer.
#include "builtins/factor.h"
#include "builtins/factor_impl.h"
#include "builtins/powermod_impl.h"
#include "numbers/ring.h"
#include "poly/levels.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using factor_impl::degree;

namespace {

// The degree in the main variable, below the exponent-0 padding.
int32_t main_degree(polynode* p) {
    while (!p->numb && p->exp == 0 && !p->next) p = p->pcoef;
    return degree(p);
}

}  // namespace

void irreducible_poly(quoly** q, int32_t level) {
    if ((*q)->isnum) {
        quoly_set(0, q);
        return;
    }
    if ((*q)->den) {
        error(186, "Irred");
        return;
    }
    polynode* num = (*q)->pnum;
    if (laurent && powermod_impl::has_negative_exponent(num)) {
        error(198, "Irred");
        return;
    }
    int32_t code = 0;
    if (cant_factor(num, &code, 1)) {
        // No answer stands for "not available": every value is a count (or a
        // factor), so the refusal is said as Factor says it.
        error(code, "Irred");
        abandon_statement();
    }
    const int32_t D = main_degree(num);
    PolyHold work, list;
    poly_assign(num, &work.p);
    int32_t count = 0;
    factor_poly(&work.p, &list.p, &count, 1, 0, level);
    if (!list.p) {
        quoly_set(0, q);
        return;
    }
    const int32_t v = list.p->exp;
    if (v == D) {
        quoly_set(1, q);
        return;
    }
    const int32_t E = main_degree(list.p->pcoef);
    if (D > E) {
        // A proper factor: the quoly's numerator becomes it.
        free_poly(&(*q)->pnum);
        (*q)->pnum = list.p->pcoef;
        list.p->pcoef = nullptr;
        return;
    }
    quoly_set(D / v, q);
}
