#include "support/poly_ref.h"

#include <cstdint>
#include <vector>

#include "gcd/exactdiv.h"
#include "poly/polyvars.h"

TermList product(int nv, const TermList& a, const TermList& b) {
    TermList out;
    for (const Term& s : a)
        for (const Term& t : b) {
            std::vector<int32_t> e(nv);
            for (int i = 0; i < nv; i++) e[i] = s.exps[i] + t.exps[i];
            out.emplace_back(mpz_class(s.coef * t.coef), e);
        }
    return canonical_terms(nv, out);
}

bool divides_exactly(polynode* d, polynode* n, int nv, TermList* quotient) {
    HeldPoly q;
    int fail = 0;
    gen_poly_divide(n, d, &q.p, polynames, &fail);
    if (!fail && quotient) *quotient = read_poly(q.p, nv);
    return !fail;
}
