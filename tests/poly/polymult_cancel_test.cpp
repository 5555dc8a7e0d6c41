// Products over the integers whose like terms cancel exactly.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "storage/assign.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

TermList reference_product(const TermList& a, const TermList& b, int nv) {
    std::map<std::vector<int32_t>, mpz_class> acc;
    for (const Term& s : a)
        for (const Term& t : b) {
            std::vector<int32_t> e(nv);
            for (int i = 0; i < nv; i++) e[i] = s.exps[i] + t.exps[i];
            acc[e] += s.coef * t.coef;
        }
    TermList out;
    for (auto& [e, c] : acc) out.push_back(Term(c, e));
    return canonical_terms(nv, out);
}

}  // namespace

// (PQ·x + (-PR))·(QS·x + RS): the x term is PQRS - PRQS = 0, reached from
// factors split into machine limbs differently, so the partial sums of
// the two products differ limb by limb while their values cancel.
TEST(PolyMultCancel, CrossTermsOfDifferentShapeCancel) {
    RingStateGuard ring;
    lintmode = modularmode = 0;
    NumberGen gen(7120612);
    for (int nv = 1; nv <= 3; nv++) {
        AttachedVars vars(nv);
        for (int round = 0; round < 300; round++) {
            auto big = [&] {
                mpz_class v = gen.digits(gen.between(1, 7));
                return v == 0 ? mpz_class(1) : v;
            };
            const mpz_class P = big(), Q = big(), R = big(), S = big();
            std::vector<int32_t> one(nv, 0), none(nv, 0);
            one[0] = 1;
            for (int j = 1; j < nv; j++) one[j] = none[j] = gen.below(3);
            TermList u = canonical_terms(nv, {Term(mpz_class(P * Q), one), Term(mpz_class(-P * R), none)});
            TermList v = canonical_terms(nv, {Term(mpz_class(Q * S), one), Term(mpz_class(R * S), none)});
            HeldPoly pu(build_poly(nv, u)), pv(build_poly(nv, v)), prod;
            poly_mult(pu.p, pv.p, &prod.p, nullptr);
            ASSERT_TRUE(check_poly_shape(prod.p, nv)) << gen.trace() << " round " << round;
            EXPECT_EQ(read_poly(prod.p, nv), reference_product(u, v, nv)) << gen.trace() << " round " << round;
        }
    }
}
