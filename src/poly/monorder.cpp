// The monomial order: signatures read along the chain of first terms and
// compared by length, then levels, then exponents.
#include "poly/monorder.h"

#include "numbers/numbers.h"
#include "toplevel/errors.h"

namespace {

// Enough for every level a polynomial can have.
constexpr int32_t SIGNATURE_LEVELS = MONOMIAL_LEVELS;

struct Signature {
    int32_t n = 0;
    int32_t level[SIGNATURE_LEVELS];
    int32_t exp[SIGNATURE_LEVELS];
};

// Laurent mode's negative exponents take part like positive ones: compared
// as signed numbers, x^-3 comes before every x^e with e >= 0 in the same
// place, and a monomial such as x^-3 is no longer left without a signature.
void signature_of(const polynode* p, Signature& s) {
    for (int32_t lev = 0; p && !p->numb && lev < SIGNATURE_LEVELS; p = p->pcoef, lev++) {
        if (p->exp != 0) {
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
    return compare_signatures(sp.n, sp.level, sp.exp, sq.n, sq.level, sq.exp);
}

}  // namespace

int compare_signatures(int32_t np, const int32_t* lp, const int32_t* ep, int32_t nq, const int32_t* lq,
                       const int32_t* eq) {
    // Should the work resume after the report, an empty signature simply
    // takes part in the comparison.
    if (np == 0) tarvex_error(" Warning! p is illegal, mon_less.", 1);
    if (nq == 0) tarvex_error(" Warning! q is illegal, mon_less.", 1);
    if (np != nq) return np < nq ? -1 : 1;
    for (int32_t i = 0; i < np; i++)
        if (lp[i] != lq[i]) return lp[i] > lq[i] ? -1 : 1;
    for (int32_t i = 0; i < np; i++)
        if (ep[i] != eq[i]) return ep[i] < eq[i] ? -1 : 1;
    return 0;
}

int32_t quoly_signature(const quoly* q, int32_t* kind, int32_t* levels, int32_t* exps) {
    if (q->isnum) {
        *kind = 0;
        return 0;
    }
    if (q->pnum->numb) {
        *kind = 1;
        return 0;
    }
    *kind = 2;
    Signature s;
    signature_of(q->pnum, s);
    for (int32_t i = 0; i < s.n; i++) {
        levels[i] = s.level[i];
        exps[i] = s.exp[i];
    }
    return s.n;
}

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
