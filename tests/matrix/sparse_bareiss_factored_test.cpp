// The end of a factored row's division: entries already divided on the
// images and the rest divided by d, or, when d does not divide every
// entry, the row's dividends back (the divided entries multiplied by d
// again), entry for entry against values built here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "matrix/sparse.h"
#include "matrix/sparse_bareiss_factored.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

using Exps = std::vector<int32_t>;

class FinishRowDivision : public ::testing::Test {
protected:
    PrimeRing ring{0};
    VarGlobalsGuard globals;
    AttachedVars vars{2};
};

quoly* value(const TermList& t) {
    quoly* q = nullptr;
    polynode* p = build_poly(2, t);
    use_up_poly(&p, &q);
    return q;
}

colm* row_of(const std::vector<TermList>& entries) {
    colm* head = nullptr;
    colm** tail = &head;
    int32_t col = 1;
    for (const TermList& t : entries) {
        colm* e = take_colm();
        e->col = col++;
        e->val = value(t);
        e->next = nullptr;
        *tail = e;
        tail = &e->next;
    }
    return head;
}

std::vector<TermList> read_row(colm* row) {
    std::vector<TermList> out;
    for (colm* e = row; e; e = e->next) out.push_back(e->val->isnum ? TermList{} : read_poly(e->val->pnum, 2));
    return out;
}

void free_row(colm* row) {
    for (colm* e = row; e; e = e->next) free_quoly(&e->val);
    give_back_list(row);
}

// d = x + y + 2; the entries x d, y d, (y + 1) d and y + 1, with x, y and
// y + 1 their quotients where they have one.
const TermList X = {Term(mpz_class(1), Exps{1, 0})};
const TermList Y = {Term(mpz_class(1), Exps{0, 1})};
const TermList Y1 = {Term(mpz_class(1), Exps{0, 1}), Term(mpz_class(1), Exps{0, 0})};
const TermList D = {Term(mpz_class(1), Exps{1, 0}), Term(mpz_class(1), Exps{0, 1}), Term(mpz_class(2), Exps{0, 0})};
const TermList XD = {Term(mpz_class(1), Exps{2, 0}), Term(mpz_class(1), Exps{1, 1}), Term(mpz_class(2), Exps{1, 0})};
const TermList YD = {Term(mpz_class(1), Exps{1, 1}), Term(mpz_class(1), Exps{0, 2}), Term(mpz_class(2), Exps{0, 1})};
const TermList Y1D = {Term(mpz_class(1), Exps{1, 1}), Term(mpz_class(1), Exps{1, 0}), Term(mpz_class(1), Exps{0, 2}),
                      Term(mpz_class(3), Exps{0, 1}), Term(mpz_class(2), Exps{0, 0})};

TEST_F(FinishRowDivision, EveryEntryDivides) {
    RecordLedger ledger;
    quoly* d = value(D);
    colm* row = row_of({X, YD, Y1D});
    EXPECT_TRUE(finish_row_division(row, d, {1, 0, 0}));
    EXPECT_EQ(read_row(row), (std::vector<TermList>{canonical_terms(2, X), canonical_terms(2, Y), canonical_terms(2, Y1)}));
    free_row(row);
    free_quoly(&d);
    EXPECT_TRUE(ledger.balanced());
}

// The last entry is not a multiple of d: the first, divided already, is
// multiplied back, the others stay as they were.
TEST_F(FinishRowDivision, AnEntryThatDoesNotDivideBringsTheDividendsBack) {
    RecordLedger ledger;
    quoly* d = value(D);
    for (const std::vector<char>& done : {std::vector<char>{1, 0, 0}, std::vector<char>{1, 1, 0}}) {
        colm* row = row_of({X, done[1] ? Y : YD, Y1});
        EXPECT_FALSE(finish_row_division(row, d, done));
        EXPECT_EQ(read_row(row), (std::vector<TermList>{canonical_terms(2, XD), canonical_terms(2, YD), canonical_terms(2, Y1)}));
        free_row(row);
    }
    free_quoly(&d);
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
