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

// Laurent mode's negative exponents are in the signature too: a monomial
// such as x^-3 is not left without one.
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

// A chain of first terms without a non-zero exponent ends in the number
// that leads the polynomial: a Laurent value (1 + y^-2, its constant
// first) padded by exponent-0 levels for variables adjoined after it. It
// ranks with the numbers, as it did before the padding.
bool number_led(const polynode* p) {
    for (; !p->numb; p = p->pcoef)
        if (p->exp != 0) return false;
    return true;
}

}  // namespace

namespace {

// The order of the pairs whose exponents have the sign `sign`, taken by
// absolute value: fewer pairs first, then the deeper variable at the first
// differing level, then the smaller exponent at the first difference.
int compare_part(int32_t np, const int32_t* lp, const int32_t* ep, int32_t nq, const int32_t* lq,
                 const int32_t* eq, int32_t sign) {
    int32_t cp = 0, cq = 0;
    for (int32_t i = 0; i < np; i++) cp += sign * ep[i] > 0;
    for (int32_t i = 0; i < nq; i++) cq += sign * eq[i] > 0;
    if (cp != cq) return cp < cq ? -1 : 1;
    for (int pass = 0; pass < 2; pass++) {
        int32_t i = 0, j = 0;
        for (;;) {
            while (i < np && sign * ep[i] <= 0) i++;
            while (j < nq && sign * eq[j] <= 0) j++;
            if (i == np || j == nq) break;
            if (pass == 0 && lp[i] != lq[j]) return lp[i] > lq[j] ? -1 : 1;
            if (pass == 1 && ep[i] != eq[j]) return sign * ep[i] < sign * eq[j] ? -1 : 1;
            i++;
            j++;
        }
    }
    return 0;
}

}  // namespace

int compare_signatures(int32_t np, const int32_t* lp, const int32_t* ep, int32_t nq, const int32_t* lq,
                       const int32_t* eq) {
    // Should the work resume after the report, an empty signature simply
    // takes part in the comparison.
    if (np == 0) tarvex_error(" Warning! p is illegal, mon_less.", 1);
    if (nq == 0) tarvex_error(" Warning! q is illegal, mon_less.", 1);
    // The positive powers decide; with the same ones, the monomial with the
    // larger negative part (read as the monomial of its absolute values)
    // comes first, so x^-a m sorts before m and x^-2 before x^-1.
    const int c = compare_part(np, lp, ep, nq, lq, eq, 1);
    if (c != 0) return c;
    return -compare_part(np, lp, ep, nq, lq, eq, -1);
}

bool plain_number_quoly(const quoly* q) {
    if (q->isnum) return true;
    auto lone = [](const polynode* p) { return p->numb && !p->next; };
    return lone(q->pnum) && (!q->den || lone(q->den));
}

namespace {

// The three ranks of the order: plain numbers, then quolys whose numerator
// is (or is led by) a number, such as 1/x, then monomials by signature.
int rank_of(const quoly* q) {
    if (plain_number_quoly(q)) return 0;
    return number_led(q->pnum) ? 1 : 2;
}

}  // namespace

int32_t quoly_signature(const quoly* q, int32_t* kind, int32_t* levels, int32_t* exps) {
    *kind = rank_of(q);
    if (*kind < 2) return 0;
    Signature s;
    signature_of(q->pnum, s);
    for (int32_t i = 0; i < s.n; i++) {
        levels[i] = s.level[i];
        exps[i] = s.exp[i];
    }
    return s.n;
}

int quoly_mon_compare(const quoly* p, const quoly* q) {
    const int rp = rank_of(p), rq = rank_of(q);
    if (rp != rq) return rp < rq ? -1 : 1;
    return rp < 2 ? 0 : compare(p->pnum, q->pnum);
}

int mon_less(polynode* p, polynode* q, int* eq) {
    *eq = 0;
    if (number_led(p)) return 1;
    if (number_led(q)) return 0;
    int c = compare(p, q);
    if (c == 0) *eq = 1;
    return c <= 0;
}

int quoly_mon_less(quoly* p, quoly* q) { return quoly_mon_compare(p, q) < 0; }

int quoly_mon_less_eq(quoly* p, quoly* q) { return quoly_mon_compare(p, q) <= 0; }

void initial(polynode** p) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = 0;
    t->numb = 1;
    t->ncoef = new_number();
    *p = t;
}
