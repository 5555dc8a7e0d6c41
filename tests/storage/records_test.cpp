// Free lists of the record kinds: what each freeing routine puts where, in
// which order, and that allocation takes from the free list first.
#include <gtest/gtest.h>

#include "numbers/ring.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"

namespace {

polynode* number_term(int32_t exp, long coef, polynode* next) {
    polynode* t;
    newpoly(&t);
    t->exp = exp;
    t->numb = 1;
    t->ncoef = from_mpz(mpz_class(coef));
    t->next = next;
    return t;
}

TEST(Records, FreeImagPutsTheDigitsOnNumheadHeadFirst) {
    RecordLedger ledger;
    imag* x = from_mpz(mpz_class("123456789012345678901234"));   // three digits
    ASSERT_EQ(x->count, 3);
    imag* record = x;
    numnode* d1 = x->head;
    numnode* d2 = d1->next;
    numnode* d3 = d2->next;
    numnode* old_numhead = numhead;
    imag* old_imhead = imhead;

    free_imag(&x);
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(numhead, d1);
    EXPECT_EQ(d1->next, d2);
    EXPECT_EQ(d2->next, d3);
    EXPECT_EQ(d3->next, old_numhead);
    EXPECT_EQ(imhead, record);
    EXPECT_EQ(record->link, old_imhead);

    // Allocation pops the same records again, most recently freed first.
    imag* y;
    newimag(&y);
    EXPECT_EQ(y, record);
    EXPECT_EQ(newnumnode(), d1);
    EXPECT_EQ(numhead, d2);
    give_back_chain(d1, d1);
    y->count = 0;
    free_imag(&y);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, AllocatorsFallBackToTheStash) {
    // Hide the free list, take one node, then put everything back.
    numnode* saved = numhead;
    numhead = nullptr;
    int32_t used = numstash->slugs_used;
    void* stash_free = numstash->free;
    numnode* n = newnumnode();
    if (stash_free) {
        EXPECT_EQ(static_cast<void*>(n), stash_free);
    }
    EXPECT_EQ(numstash->slugs_used, used + 1);
    n->next = saved;
    numhead = n;
}

TEST(Records, FreeNumReleasesOnlyTheChain) {
    RecordLedger ledger;
    imag* x = from_mpz(mpz_class(1) << 60);
    numnode* head = x->head;
    imag* old_imhead = imhead;
    free_num(x);
    EXPECT_EQ(numhead, head);
    EXPECT_EQ(x->count, 3) << "count is left for the caller to overwrite";
    EXPECT_EQ(imhead, old_imhead);
    x->count = 0;
    release(x);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, NumbersFreedInMachineIntegerModeKeepTheirDigits) {
    RecordLedger ledger;
    imag* x = from_mpz(mpz_class("-98765432109876543210"));
    imag* record = x;
    numnode* head = x->head;
    numnode* tail = x->tail;
    numnode* old_numhead = numhead;
    {
        RingStateGuard ring;
        lintmode = 1;
        free_imag(&x);
        EXPECT_EQ(x, nullptr);
        EXPECT_EQ(numhead, old_numhead);
        EXPECT_EQ(imhead, record);
    }
    EXPECT_EQ(lintmode, 0);
    // The nodes are stranded by design; hand them back so nothing leaks here.
    give_back_chain(head, tail);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, FreePolyHeadsPolygarbWithExponentZero) {
    RecordLedger ledger;
    polynode* p = number_term(5, 7, number_term(2, -3, nullptr));
    polynode* t1 = p;
    polynode* t2 = p->next;
    imag* c1 = t1->ncoef;
    imag* c2 = t2->ncoef;
    polynode* old_polygarb = polygarb;
    imag* old_imhead = imhead;

    free_poly(&p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(polygarb, t1);
    EXPECT_EQ(t1->exp, 0);
    EXPECT_EQ(t1->next, t2);
    EXPECT_EQ(t2->exp, 2);
    EXPECT_EQ(t2->next, old_polygarb);
    // Coefficients in term order, each pushed on the front.
    EXPECT_EQ(imhead, c2);
    EXPECT_EQ(c2->link, c1);
    EXPECT_EQ(c1->link, old_imhead);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, FreePolyIsDepthFirst) {
    RecordLedger ledger;
    polynode* inner = number_term(3, 1, number_term(0, 4, nullptr));
    polynode* inner_last = inner->next;
    polynode* p = term_node(2, inner, number_term(0, 9, nullptr));
    polynode* outer = p;
    polynode* outer_last = p->next;
    polynode* old_polygarb = polygarb;

    free_poly(&p);
    EXPECT_EQ(polygarb, outer);
    EXPECT_EQ(outer->next, outer_last);
    EXPECT_EQ(outer_last->next, inner) << "the inner chain went to polygarb before the outer one";
    EXPECT_EQ(inner->exp, 0);
    EXPECT_EQ(inner_last->next, old_polygarb);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, SpecialFreePolyFreesNumberCoefficients) {
    RecordLedger ledger;
    polynode* p = number_term(4, 11, number_term(1, 12, nullptr));
    polynode* head = p;
    imag* c2 = p->next->ncoef;
    special_free_poly(&p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(polygarb, head);
    EXPECT_EQ(head->exp, 0);
    EXPECT_EQ(imhead, c2);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, FreeQuolyReturnsDenominatorChainFirst) {
    RecordLedger ledger;
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = number_term(1, 2, number_term(0, 5, nullptr));
    q->den = number_term(2, 3, nullptr);
    quoly* record = q;
    polynode* n1 = q->pnum;
    polynode* n2 = n1->next;
    polynode* d1 = q->den;
    imag* n1c = n1->ncoef;
    imag* n2c = n2->ncoef;
    imag* d1c = d1->ncoef;
    polynode* old_polygarb = polygarb;
    imag* old_imhead = imhead;
    quoly* old_quolygarb = quolygarb;

    free_quoly(&q);
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(quolygarb, record);
    EXPECT_EQ(record->link, old_quolygarb);
    EXPECT_EQ(polygarb, d1);
    EXPECT_EQ(d1->exp, 0);
    EXPECT_EQ(d1->next, n1);
    EXPECT_EQ(n1->exp, 0);
    EXPECT_EQ(n1->next, n2);
    EXPECT_EQ(n2->next, old_polygarb);
    EXPECT_EQ(imhead, d1c);
    EXPECT_EQ(d1c->link, n2c);
    EXPECT_EQ(n2c->link, n1c);
    EXPECT_EQ(n1c->link, old_imhead);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, FreeQuolyOfANumber) {
    RecordLedger ledger;
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    q->den = nullptr;
    q->nnum = from_mpz(mpz_class(-42));
    imag* n = q->nnum;
    numnode* d = n->head;
    quoly* record = q;
    free_quoly(&q);
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(quolygarb, record);
    EXPECT_EQ(imhead, n);
    EXPECT_EQ(numhead, d);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, NullSlotsChangeNothing) {
    polynode* old_polygarb = polygarb;
    quoly* old_quolygarb = quolygarb;
    imag* old_imhead = imhead;
    polynode* p = nullptr;
    quoly* q = nullptr;
    free_poly(&p);
    special_free_poly(&p);
    free_quoly(&q);
    EXPECT_EQ(polygarb, old_polygarb);
    EXPECT_EQ(quolygarb, old_quolygarb);
    EXPECT_EQ(imhead, old_imhead);
}

TEST(Records, InitNodesTakeAnEmptyNumber) {
    RecordLedger ledger;
    polynode* t;
    newpoly(&t);
    t->exp = 0;
    t->numb = 1;
    t->next = nullptr;
    init_poly_node(t);
    EXPECT_EQ(t->ncoef->count, 0);
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    init_quoly_node(q);
    EXPECT_EQ(q->nnum->count, 0);
    free_poly(&t);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Records, PolynumToQuolyKeepsTheNumber) {
    RecordLedger ledger;
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->den = nullptr;
    q->pnum = number_term(0, 17, nullptr);
    polynode* node = q->pnum;
    imag* n = node->ncoef;
    polynum_to_quoly(&q);
    EXPECT_EQ(q->isnum, 1);
    EXPECT_EQ(q->nnum, n);
    EXPECT_EQ(to_mpz(q->nnum), 17);
    EXPECT_EQ(polygarb, node);
    free_quoly(&q);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
