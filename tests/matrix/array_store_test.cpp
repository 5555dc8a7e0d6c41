// The array store: column-major addressing from the index origin, the
// limits of the dense store, sparse records of any size, removal with
// compaction, the system array, and record conservation over
// create / fill / convert / delete cycles.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "support/expect_error.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "toplevel/loop.h"

namespace {

tokenrec tok(const char* s) {
    tokenrec t;
    set_token(&t, s);
    return t;
}

struct StoreTest : ::testing::Test {
    void SetUp() override {
        if (!quol_num_0) quoly_set(0, &quol_num_0);
    }
    // Arrays made by the test, removed at the end whatever happened.
    std::vector<array*> made;
    array* dense(const char* name, int32_t r, int32_t c) {
        tokenrec t = tok(name);
        made.push_back(insertarr(&t, r, c, 0));
        return made.back();
    }
    array* sparse_rec(const char* name, int32_t r, int32_t c) {
        tokenrec t = tok(name);
        made.push_back(sparse_create(&t, r, c, 0, 1));
        return made.back();
    }
    void drop(array* a) {
        remove_array(a);
        std::erase(made, a);
    }
    void TearDown() override {
        while (!made.empty()) drop(made.back());
    }
};

// The cell an element of a dense array lies in, as a store index.
int64_t index_of(array* a, int32_t i, int32_t j, int twosub) {
    quoly** slot = nullptr;
    array_quoly_ptr(a, i, j, twosub, &slot, "t", 0);
    for (int64_t c = a->first; c <= a->last; c++)
        if (cell_at(c) == slot) return c - a->first;
    return -1;
}

TEST_F(StoreTest, DenseCellsLieColumnByColumn) {
    array* a = dense("colmaj", 3, 4);
    EXPECT_EQ(a->last - a->first + 1, 12);
    EXPECT_EQ(cell_count(a), 12);
    EXPECT_EQ(array_columns(a), 4);
    EXPECT_EQ(index_of(a, 1, 1, 1), 0);
    EXPECT_EQ(index_of(a, 3, 4, 1), 11);
    EXPECT_EQ(index_of(a, 1, 2, 1), 3);
    EXPECT_EQ(index_of(a, 2, 3, 1), 1 + 2 * 3);
    // One subscript is the linear index in column order.
    for (int32_t k = 1; k <= 12; k++) EXPECT_EQ(index_of(a, k, addresser, 0), k - 1);
    EXPECT_GE(numblocks, endarr >> 10);
    EXPECT_TRUE(arp[endarr >> 10] != nullptr);
}

TEST_F(StoreTest, SparseLinearIndexMatchesTwoSubscripts) {
    array* s = sparse_rec("sp34", 3, 4);
    quoly* v = nullptr;
    quoly_set(7, &v);
    sparse_insert(1, 2, s, 1, &v);   // element (1, 2)
    quoly** slot = nullptr;
    array_quoly_ptr(s, 4, addresser, 0, &slot, "t", 0);   // index 4 = (1, 2)
    ASSERT_NE(slot, nullptr);
    EXPECT_TRUE(holds(*slot, 7));
    array_quoly_ptr(s, 7, addresser, 0, &slot, "t", 0);   // (1, 3): absent
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(spar_retrieve(s->sparse, 1, 3), quol_num_0);
    // k = 7 on 3 rows is row 1, column 3: stored there by one subscript.
    sparse_insert(7, addresser, s, 0, &v);
    EXPECT_TRUE(holds(spar_retrieve(s->sparse, 1, 3), 7));
    EXPECT_TRUE(sparse_ok(s->sparse, 3, 4));
    free_quoly(&v);
}

TEST_F(StoreTest, SubscriptBoundsAreError27) {
    array* a = dense("bounds", 3, 4);
    array* s = sparse_rec("sbounds", 3, 4);
    quoly** slot = nullptr;
    for (array* x : {a, s}) {
        EXPECT_TARVEX_ERROR(array_quoly_ptr(x, 0, 1, 1, &slot, "t", 0), 27);
        EXPECT_TARVEX_ERROR(array_quoly_ptr(x, 1, 0, 1, &slot, "t", 0), 27);
        EXPECT_TARVEX_ERROR(array_quoly_ptr(x, 4, 1, 1, &slot, "t", 0), 27);
        EXPECT_TARVEX_ERROR(array_quoly_ptr(x, 1, 5, 1, &slot, "t", 0), 27);
        EXPECT_TARVEX_ERROR(array_quoly_ptr(x, 13, 1, 0, &slot, "t", 0), 27);
        EXPECT_EQ(unwind_code([&] { array_quoly_ptr(x, 12, 1, 0, &slot, "t", 0); }), 9999);
    }
    // Origin 0: subscript 0 is the first row.
    const int32_t saved = addresser;
    addresser = 0;
    EXPECT_EQ(unwind_code([&] { array_quoly_ptr(a, 0, 0, 1, &slot, "t", 0); }), 9999);
    EXPECT_EQ(slot, cell_at(a->first));
    EXPECT_TARVEX_ERROR(array_quoly_ptr(a, 3, 0, 1, &slot, "t", 0), 27);
    addresser = saved;
}

TEST_F(StoreTest, LargeSecondSubscriptDoesNotWrapIntoAnotherCell) {
    array* a = dense("wide", 1000, 1000);
    quoly** slot = nullptr;
    // (j - 1) x 1000 = 2^32 + 296 would wrap to cell 296 in 32 bits.
    const int32_t j = 4294968 + 1;
    EXPECT_TARVEX_ERROR(array_quoly_ptr(a, 1, j, 1, &slot, "t", 0), 27);
    int32_t i = 1, jj = j;
    colm** list = nullptr;
    EXPECT_TARVEX_ERROR(new_array_quoly_ptr(a, &i, &jj, 1, &slot, "t", &list), 27);
    // A sparse array with as many columns checks them as well.
    array* s = sparse_rec("swide", 1000, 1000);
    EXPECT_TARVEX_ERROR(array_quoly_ptr(s, 1, j, 1, &slot, "t", 0), 27);
}

TEST_F(StoreTest, SizeLimitsAndNothingHalfMade) {
    const int32_t end0 = endarr;
    const int64_t free0 = arrays_free();
    tokenrec t = tok("big");
    EXPECT_TARVEX_ERROR(insertarr(&t, 1000, 1001, 0), 43);
    EXPECT_TARVEX_ERROR(insertarr(&t, 0, 5, 0), 27);
    EXPECT_TARVEX_ERROR(insertarr(&t, 5, 0, 0), 27);
    EXPECT_TARVEX_ERROR(sparse_create(&t, 0, 5, 0, 1), 27);
    EXPECT_EQ(endarr, end0);
    EXPECT_EQ(arrays_free(), free0);
    EXPECT_EQ(find_array(&t), nullptr);

    array* a = dense("big", 1000, 1000);
    EXPECT_EQ(a->last - a->first + 1, 1000000);
    array* s = sparse_rec("huge", 5000, 5000);   // any size when sparse
    EXPECT_EQ(cell_count(s), 25000000);
    EXPECT_EQ(array_columns(s), 5000);
    array* h = sparse_rec("vast", 100000, 100000);   // more cells than a machine word
    EXPECT_EQ(cell_count(h), int64_t{10000000000});
    EXPECT_EQ(array_columns(h), 100000);
}

TEST_F(StoreTest, FullStoreIsError26) {
    const int32_t end0 = endarr;
    // Five arrays of 1,000,000 cells, then no room for 120,000 more.
    for (int k = 0; k < 5 && endarr + 1000000 <= STORE_CELLS - 1; k++) dense("fill", 1000, 1000);
    const int32_t room = STORE_CELLS - 1 - endarr;
    tokenrec t = tok("over");
    const int32_t end1 = endarr;
    EXPECT_TARVEX_ERROR(insertarr(&t, room + 1, 1, 0), 26);
    EXPECT_EQ(endarr, end1);
    EXPECT_EQ(find_array(&t), nullptr);
    if (room > 0) {
        array* last = dense("exact", room, 1);   // the very last cell fits
        EXPECT_EQ(last->last, STORE_CELLS - 1);
        *cell_at(last->last) = nullptr;
    }
    while (!made.empty()) drop(made.back());
    EXPECT_EQ(endarr, end0);
}

TEST_F(StoreTest, DeletingAMiddleArrayKeepsTheOthersValues) {
    array* a = dense("first", 3, 4);
    array* s = sparse_rec("between", 50, 50);
    array* b = dense("middle", 5, 5);
    array* c = dense("last", 2, 3);
    auto fill = [](array* x, int base) {
        for (int32_t k = x->first; k <= x->last; k++) quoly_set(base + (k - x->first), cell_at(k));
    };
    fill(a, 100);
    fill(b, 200);
    fill(c, 300);
    quoly* v = nullptr;
    quoly_set(9, &v);
    sparse_insert(50, 50, s, 1, &v);
    free_quoly(&v);
    const int32_t end0 = endarr;
    drop(b);
    EXPECT_EQ(endarr, end0 - 25);
    EXPECT_EQ(c->first, a->last + 1);
    for (int32_t k = 1; k <= 12; k++) {
        quoly** slot = nullptr;
        array_quoly_ptr(a, k, addresser, 0, &slot, "t", 0);
        EXPECT_TRUE(holds(*slot, 100 + k - 1));
    }
    for (int32_t i = 1; i <= 2; i++)
        for (int32_t j = 1; j <= 3; j++) {
            quoly** slot = nullptr;
            array_quoly_ptr(c, i, j, 1, &slot, "t", 0);
            EXPECT_TRUE(holds(*slot, 300 + (i - 1) + (j - 1) * 2));
        }
    for (int32_t k = endarr + 1; k <= end0; k++) EXPECT_EQ(*cell_at(k), nullptr);
    EXPECT_TRUE(holds(spar_retrieve(s->sparse, 50, 50), 9));
}

TEST_F(StoreTest, SystemArrayTakesOrCopiesAResult) {
    std::vector<quoly*> cells(6, nullptr);
    for (int k = 0; k < 6; k++) quoly_set(k + 1, &cells[k]);
    imag* count = new_number();
    special_set(6, count);
    fill_syst_array(cells.data(), count, 0, nullptr, 2);   // copied
    EXPECT_EQ(syst->rows, 2);
    EXPECT_EQ(syst->last, 5);
    EXPECT_EQ(cell_count(syst), 6);
    EXPECT_EQ(syst_dump, 1);
    for (int k = 0; k < 6; k++) {
        EXPECT_NE(syst_cells[k], cells[k]);
        EXPECT_TRUE(holds(syst_cells[k], k + 1));
    }
    fill_syst_array(cells.data(), count, 1, nullptr, 3);   // taken over
    for (int k = 0; k < 6; k++) EXPECT_EQ(cells[k], nullptr);
    EXPECT_TRUE(holds(syst_cells[5], 6));

    Model m(3, 2);
    m.at(1, 2) = 5;
    m.at(3, 1) = -4;
    sparse* f = build_from(m);
    fill_syst_array(nullptr, count, 0, f, 3);   // a copy of the frames
    EXPECT_NE(syst->sparse, f);
    EXPECT_TRUE(matches(syst->sparse, m));
    EXPECT_EQ(syst->last, -1);
    std::vector<quoly*> back(6, nullptr);
    sparse* copy = nullptr;
    copy_syst(back.data(), 3, &copy);
    EXPECT_TRUE(matches(copy, m));
    free_sparse(&copy, 3, 1);
    fill_syst_array(nullptr, count, 1, f, 3);   // the frames themselves
    EXPECT_EQ(syst->sparse, f);
    special_set(0, count);   // emptied again
    fill_syst_array(nullptr, count, 1, nullptr, 1);
    EXPECT_EQ(syst->sparse, nullptr);
    free_imag(&count);
}

// Every quoly, entry, frame and array record is back on its free list
// after a cycle; the second cycle of the same work finds them all there.
TEST_F(StoreTest, RecordsComeBackAfterCreateFillConvertDelete) {
    AttachedVars vars(2);
    auto cycle = [&] {
        array* d = dense("cyc1", 40, 30);
        for (int32_t k = d->first; k <= d->last; k++)
            if ((k * 7) % 3 == 0) {
                BuiltPoly p(2, {{(k % 5) + 1, {1, k % 3}}, {k % 4, {0, 0}}});
                p_q_assign(p, cell_at(k));
            } else if (k % 3 == 1) {
                quoly_set(0, cell_at(k));
            }
        array* e = dense("cyc2", 3, 3);
        for (int32_t k = e->first; k <= e->last; k++) quoly_set(k - e->first, cell_at(k));
        array* s = sparse_rec("cyc3", 4097, 20);
        Model m(4097, 20);
        for (int32_t r = 1; r <= 4097; r += 13) m.at(r, 1 + r % 20) = r;
        free_sparse(&s->sparse, 4097, 1);
        s->sparse = build_from(m);
        sparse* t = nullptr;
        copy_sparse(&s->sparse, &t, 4097, 1);
        trans_sparse(&t, 4097, 20);
        sparse* idx = nullptr;
        flip_sparse(&t, &idx, 20, 4097);
        free_sparse_frame(&idx, 4097);
        free_sparse(&t, 20, 1);
        newsparse(&d->sparse);
        fill_sparse(d);   // d leaves the dense store
        EXPECT_TRUE(sparse_ok(d->sparse, 40, 30));
        EXPECT_EQ(e->first, d->first == 0 ? e->first : -1);   // e moved down over d's cells
        for (int32_t k = e->first; k <= e->last; k++) EXPECT_TRUE(holds(*cell_at(k), k - e->first));
        drop(s);
        drop(e);
        drop(d);
    };
    cycle();
    const int64_t colms = colms_in_use(), frames = frames_free(), arrays = arrays_free();
    const int32_t end0 = endarr;
    RecordLedger ledger;
    cycle();
    EXPECT_TRUE(ledger.balanced());
    EXPECT_EQ(colms_in_use(), colms);
    EXPECT_EQ(frames_free(), frames);
    EXPECT_EQ(arrays_free(), arrays);
    EXPECT_EQ(endarr, end0);
}

TEST(WorkBlocksForArrays, TwentyFirstIsError88AndLendsNothing) {
    const int32_t saved = first_available;
    first_available = 1;
    int32_t n = 0;
    for (int k = 0; k < WORK_BLOCKS; k++) enew_worknode(&n, "t");
    n = -1;
    EXPECT_TARVEX_ERROR(enew_worknode(&n, "t"), 88);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(first_available, WORK_BLOCKS + 1);
    for (int k = 0; k < WORK_BLOCKS; k++) free_work();
    EXPECT_EQ(first_available, 1);   // all blocks free again
    first_available = saved;
}

}  // namespace
