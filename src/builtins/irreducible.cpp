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

int32_t irreducibility(polynode* p, int32_t level, polynode** factor, const char* who) {
    const int32_t D = main_degree(p);
    PolyHold work, list;
    poly_assign(p, &work.p);
    int32_t count = 0;
    factor_poly(&work.p, &list.p, &count, 1, 0, level, who);
    if (!list.p) return 0;
    const int32_t v = list.p->exp;
    if (v == D) return 1;
    if (D > main_degree(list.p->pcoef)) {
        free_poly(factor);
        *factor = list.p->pcoef;
        list.p->pcoef = nullptr;
        return -1;
    }
    return D / v;
}

bool is_irreducible(polynode* p, int32_t level) {
    PolyHold factor;
    return irreducibility(p, level, &factor.p) == 1;
}

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
    PolyHold factor;
    const int32_t answer = irreducibility(num, level, &factor.p, "Irred");
    if (answer < 0) {
        // A proper factor: the quoly's numerator becomes it.
        free_poly(&(*q)->pnum);
        (*q)->pnum = factor.release();
        return;
    }
    quoly_set(answer, q);
}
