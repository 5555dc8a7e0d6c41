// Every record the factoring and powering routines take is given back, on
// the normal exits, the irreducibility test's early exits and the errors.
#include <gtest/gtest.h>

#include "builtins/factor.h"
#include "builtins/powermod.h"
#include "ff_arith.h"
#include "ff_setup.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"

namespace {

void irred_of(const UPoly& f) {
    quoly* q = poly_quoly(to_poly(f));
    irreducible_poly(&q, -1);
    free_quoly(&q);
}

TEST(FactorRecords, AllGivenBackOnEveryExit) {
    OneVarField field(7);
    test_rng.seed(3);
    const UPoly a = random_irreducible(3, test_draw), b = random_irreducible(2, test_draw);
    RecordLedger ledger;
    {
        polynode* p = to_poly(mul(mul(a, a), mul(b, UPoly{1, 1})));
        polynode* list = nullptr;
        int32_t count = 0;
        factor_poly(&p, &list, &count, 0, 0, -1);
        free_poly(&list);
        free_poly(&p);
    }
    irred_of(mul(a, a));            // not square-free
    irred_of(mul(a, b));            // a first split in the distinct-degree loop
    irred_of(mul(b, UPoly{2, 0, 1}));
    irred_of(a);                    // irreducible
    {
        polynode* p = to_poly(a);
        polynode* list = nullptr;
        int32_t count = 0;
        EXPECT_TARVEX_ERROR(factor_poly(&p, &list, &count, 0, 0, 2), 300);
        free_poly(&list);
        free_poly(&p);
    }
    {
        quoly* x = poly_quoly(to_poly(mul(a, b)));
        quoly* m = poly_quoly(to_poly(a));
        {
            imag* e = from_mpz(mpz_class("123456789123456789"));
            powermod(&x, &m, e, 0);
            release(e);
        }
        free_quoly(&x);
        free_quoly(&m);
    }
    EXPECT_TRUE(ledger.balanced());
}

TEST(FactorRecords, SquareFreeOverTheRationals) {
    PrimeRing ring(0);
    AttachedVars vars(2);
    RecordLedger ledger;
    polynode* p = build_poly(2, {{1, {4, 1}}, {-2, {2, 1}}, {1, {0, 1}}, {3, {4, 0}}, {-6, {2, 0}}, {3, {0, 0}}});
    polynode* list = nullptr;
    int32_t count = 0;
    total_sq_free(&p, &list, &count, 1, polynames);
    EXPECT_EQ(count, 2);   // (x^2 - 1)^2 (y + 3): (2, x^2 - 1), (1, y + 3)
    free_poly(&list);
    free_poly(&p);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
