// The monomial order: signatures read along the chain of first terms and
// compared by length, then levels, then exponents.
#include "poly/monorder.h"

#include "numbers/numbers.h"
#include "toplevel/errors.h"

namespace {

// Enough for every level a polynomial can have.
constexpr int32_t SIGNATURE_LEVELS = 150;

struct Signature {
    int32_t n = 0;
    int32_t level[SIGNATURE_LEVELS];
    int32_t exp[SIGNATURE_LEVELS];
};

void signature_of(const polynode* p, Signature& s) {
    for (int32_t lev = 0; p && !p->numb && lev < SIGNATURE_LEVELS; p = p->pcoef, lev++) {
        if (p->exp > 0) {
            s.level[s.n] = lev;
            s.exp[s.n] = p->exp;
            s.n++;
        }
    }
}

// -1 when p comes first, 1 when q does, 0 for equal signatures; neither p
// nor q is a number node.
int compare(const polynode* p, const polynode* q) {
    Signature sp, sq;
    signature_of(p, sp);
    signature_of(q, sq);
    // Should the work resume after the report, an empty signature simply
    // takes part in the comparison.
    if (sp.n == 0) tarvex_error(" Warning! p is illegal, mon_less.", 1);
    if (sq.n == 0) tarvex_error(" Warning! q is illegal, mon_less.", 1);
    if (sp.n != sq.n) return sp.n < sq.n ? -1 : 1;
    for (int32_t i = 0; i < sp.n; i++)
        if (sp.level[i] != sq.level[i]) return sp.level[i] > sq.level[i] ? -1 : 1;
    for (int32_t i = 0; i < sp.n; i++)
        if (sp.exp[i] != sq.exp[i]) return sp.exp[i] < sq.exp[i] ? -1 : 1;
    return 0;
}

}  // namespace

int mon_less(polynode* p, polynode* q, int* eq) {
    *eq = 0;
    if (p->numb) return 1;
    if (q->numb) return 0;
    int c = compare(p, q);
    if (c == 0) *eq = 1;
    return c <= 0;
}

int quoly_mon_less(quoly* p, quoly* q) {
    if (p->isnum) return !q->isnum;
    if (q->isnum) return 0;
    // Numerators that are numbers rank together, like plain numbers: a
    // strict order must not put such a quoly before itself.
    if (p->pnum->numb) return !q->pnum->numb;
    if (q->pnum->numb) return 0;
    return compare(p->pnum, q->pnum) < 0;
}

int quoly_mon_less_eq(quoly* p, quoly* q) {
    if (p->isnum) return 1;
    if (q->isnum) return 0;
    if (p->pnum->numb) return 1;
    if (q->pnum->numb) return 0;
    return compare(p->pnum, q->pnum) <= 0;
}

void initial(polynode** p) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = 0;
    t->numb = 1;
    t->ncoef = new_number();
    *p = t;
}
