// The sparse and dense operations one at a time, on cases worked out by
// hand: frames and rows crossing 2,048, integer-mode stores, conversions
// from dense cells, the diagonal, merges and intersections of monomial
// lists, the denominator lcm, measures and method thresholds, dense
// exchanges.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "interp/functions.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_aliases.h"
#include "matrix/array_store.h"
#include "matrix/dense_rowcol.h"
#include "matrix/extremes.h"
#include "matrix/measures.h"
#include "matrix/sparse.h"
#include "matrix/sparse_rowcol.h"
#include "matrix/sparse_sums.h"
#include "matrix/sparse_whole.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "support/expect_error.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"
#include "toplevel/loop.h"

namespace {

struct Ops : ::testing::Test {
    void SetUp() override {
        if (!quol_num_0) quoly_set(0, &quol_num_0);
    }
};

tokenrec tok(const char* s) {
    tokenrec t;
    set_token(&t, s);
    return t;
}

// A quoly made from a polynomial in two variables.
quoly* poly_q(const TermList& terms) {
    BuiltPoly p(2, terms);
    quoly* q = nullptr;
    p_q_assign(p, &q);
    return q;
}

TEST_F(Ops, FramesAndRowsAcross2048) {
    sparse* f = nullptr;
    sparse_init(&f, 2049);
    ASSERT_NE(f->next, nullptr);
    EXPECT_EQ(f->next->next, nullptr);
    EXPECT_EQ(row_head(f, 2049), &f->next->row[0]);
    sparse* one = nullptr;
    sparse_init(&one, 0);   // still one frame
    EXPECT_EQ(one->next, nullptr);
    free_stuff(one, 0);

    // get_sparse walks row by row through the frame link.
    Model m(2049, 3);
    m.at(2048, 2) = 5;
    m.at(2049, 2) = 6;
    sparse* g = build_from(m);
    colm** head = &g->row[0];
    sparse* fr = g;
    for (int32_t r = 1; r <= 2049; r++) {
        quoly** v = get_sparse(r, 2, &head, &fr);
        if (r >= 2048) {
            ASSERT_NE(v, nullptr) << r;
            EXPECT_TRUE(holds(*v, r == 2048 ? 5 : 6));
        } else {
            EXPECT_EQ(v, nullptr);
        }
    }
    // Row exchange across frames swaps heads only.
    colm* h1 = *row_head(g, 2049);
    sp_switchrow(g, 1, 2049);
    EXPECT_EQ(*row_head(g, 1), h1);
    EXPECT_EQ(*row_head(g, 2049), nullptr);
    free_sparse(&g, 2049, 1);
    free_sparse(&f, 2049, 1);
    EXPECT_EQ(f, nullptr);
    free_sparse(&f, 2049, 1);   // an empty slot is left alone
}

TEST_F(Ops, InsertOrderAndZeroRules) {
    tokenrec t = tok("ins");
    array* a = sparse_create(&t, 3, 10, 0, 1);
    for (int32_t c : {5, 2, 9}) {
        quoly* q = make_q(c);
        sparse_insert(1, c, a, 1, &q);
        free_quoly(&q);
    }
    std::vector<int32_t> cols;
    for (colm* e = *row_head(a->sparse, 1); e; e = e->next) cols.push_back(e->col);
    EXPECT_EQ(cols, (std::vector<int32_t>{2, 5, 9}));
    quoly* z = nullptr;
    quoly_set(0, &z);
    sparse_insert(2, 3, a, 1, &z);   // 0 stores nothing
    EXPECT_EQ(*row_head(a->sparse, 2), nullptr);
    // Find-or-make then 0: removed again.
    quoly** slot = nullptr;
    sparse_set(2, 3, a, &slot, 1);
    EXPECT_TRUE(quoly_iszero(*slot));
    purge_sparse(row_head(a->sparse, 2), 3);
    EXPECT_EQ(*row_head(a->sparse, 2), nullptr);
    EXPECT_EQ(spar_retrieve(a->sparse, 2, 3), quol_num_0);
    EXPECT_TRUE(sparse_ok(a->sparse, 3, 10));
    free_quoly(&z);
    remove_array(a);
}

TEST_F(Ops, IntegerModeStoresStayExact) {
    tokenrec t = tok("iarr");
    array* a = sparse_create(&t, 3, 3, 0, 1);
    const int saved = integerflag;
    integerflag = 1;
    isparse_insert(1, 1, 5, a, 1, 0);
    EXPECT_TRUE(holds(spar_retrieve(a->sparse, 1, 1), 5));
    isparse_insert(1, 1, -5, a, 1, 0);   // 5 - 5: the entry goes
    EXPECT_EQ(*row_head(a->sparse, 1), nullptr);
    isparse_insert(1, 2, 0, a, 1, 0);    // adding 0 to nothing stores nothing
    EXPECT_EQ(*row_head(a->sparse, 1), nullptr);
    isparse_insert(2, 2, DIGIT_MASK - 1, a, 1, 1);
    isparse_insert(2, 2, 1, a, 1, 0);    // reaches 2^28 - 1 exactly
    EXPECT_TRUE(holds(spar_retrieve(a->sparse, 2, 2), DIGIT_MASK));
    // One more would need a second digit: refused, nothing written.
    EXPECT_TARVEX_ERROR(isparse_insert(2, 2, 1, a, 1, 0), 32);
    EXPECT_TRUE(holds(spar_retrieve(a->sparse, 2, 2), DIGIT_MASK));
    integerflag = 1;   // the unwinding ended integer mode with the statement
    isparse_insert(2, 2, 7, a, 1, 1);    // set
    EXPECT_TRUE(holds(spar_retrieve(a->sparse, 2, 2), 7));
    isparse_insert(2, 2, 0, a, 1, 1);    // set 0 removes
    EXPECT_EQ(*row_head(a->sparse, 2), nullptr);

    // The integer sum of cells: exact, or error 32.
    std::vector<quoly*> cells(3, nullptr);
    quoly_set(DIGIT_MASK, &cells[0]);
    quoly_set(-3, &cells[1]);
    quoly* s = nullptr;
    sum_arr(cells.data(), 3, &s);
    EXPECT_TRUE(holds(s, DIGIT_MASK - 3));
    quoly_set(4, &cells[2]);
    EXPECT_TARVEX_ERROR(sum_arr(cells.data(), 3, &s), 32);
    integerflag = saved;
    sum_arr(cells.data(), 3, &s);   // exact arithmetic outside integer mode
    EXPECT_TRUE(holds(s, mpq_class(DIGIT_MASK) + 1));
    for (quoly*& c : cells) free_quoly(&c);
    free_quoly(&s);
    remove_array(a);
}

TEST_F(Ops, TransposeFlipAndReverse) {
    // (1,3) and (2,3) of a 2 x 3 matrix: row 3 of the transpose holds 1, 2.
    Model m(2, 3);
    m.at(1, 3) = 4;
    m.at(2, 3) = 5;
    sparse* f = build_from(m);
    sparse* idx = nullptr;
    flip_sparse(&f, &idx, 2, 3);
    EXPECT_TRUE(matches(idx, m.transposed()));
    EXPECT_EQ(spar_retrieve(idx, 3, 1), spar_retrieve(f, 1, 3));   // shared values
    RecordLedger ledger;
    free_sparse_frame(&idx, 3);
    EXPECT_TRUE(ledger.balanced());   // the source's quolys intact
    EXPECT_TRUE(matches(f, m));
    trans_sparse(&f, 2, 3);
    EXPECT_EQ(*row_head(f, 1), nullptr);
    EXPECT_EQ(*row_head(f, 2), nullptr);
    colm* e = *row_head(f, 3);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->col, 1);
    EXPECT_EQ(e->next->col, 2);
    free_sparse(&f, 3, 1);

    Model r(2049, 2);
    r.at(1, 1) = 1;
    r.at(2049, 2) = 2049;
    sparse* g = build_from(r);
    reverse_sparse(&g, 2049);
    EXPECT_TRUE(holds(spar_retrieve(g, 1, 2), 2049));
    EXPECT_TRUE(holds(spar_retrieve(g, 2049, 1), 1));
    EXPECT_TRUE(sparse_ok(g, 2049, 2));
    free_sparse(&g, 2049, 1);
}

TEST_F(Ops, AddSparsesEdgeCases) {
    // A - A with both disposable: empty, every entry of both back.
    Model m(5, 5);
    for (int32_t i = 1; i <= 5; i++) m.at(i, 6 - i) = i;
    const int64_t colms0 = colms_in_use();
    RecordLedger ledger;
    sparse* a = build_from(m);
    sparse* b = build_from(m);
    add_sparses(&a, &b, 1, 1, 5, 0);
    EXPECT_EQ(b, nullptr);
    int flag = 1;
    sparse_iszero(a, 5, &flag);
    EXPECT_EQ(flag, 1);
    free_sparse(&a, 5, 1);
    EXPECT_TRUE(ledger.balanced());
    EXPECT_EQ(colms_in_use(), colms0);

    // B's element beyond all of A's in its row goes at the end.
    Model ma(1, 5), mb(1, 5);
    ma.at(1, 1) = 1;
    mb.at(1, 5) = 2;
    a = build_from(ma);
    b = build_from(mb);
    add_sparses(&a, &b, 1, 0, 1, 1);
    colm* e = *row_head(a, 1);
    EXPECT_EQ(e->col, 1);
    EXPECT_EQ(e->next->col, 5);
    free_sparse(&a, 1, 1);
    free_sparse(&b, 1, 1);
}

TEST_F(Ops, DiagonalTraceAndScalars) {
    sparse* id = nullptr;
    spar_identi(&id, 4, 0);
    quoly* m1 = make_q(-1);
    add_to_diag(m1, id, 4);   // identity - 1: empty
    int flag = 1;
    sparse_iszero(id, 4, &flag);
    EXPECT_EQ(flag, 1);
    free_quoly(&m1);
    free_sparse(&id, 4, 1);

    Model m(3, 5);
    m.at(1, 1) = 2;
    m.at(3, 5) = 7;   // row 3 holds only column 5: no diagonal
    m.at(2, 2) = 3;
    sparse* f = build_from(m);
    quoly* t = nullptr;
    sparse_trace(&t, f, 3);
    EXPECT_TRUE(holds(t, 5));
    free_quoly(&t);

    tokenrec name = tok("scal");
    array* a = sparse_create(&name, 3, 4, 0, 1);
    quoly* x = make_q(mpq_class(1, 3));
    sparse_set_scalar(a, 4, x);
    Model all(3, 4);
    for (mpq_class& v : all.v) v = mpq_class(1, 3);
    EXPECT_TRUE(matches(a->sparse, all));
    quoly* z = make_q(0);
    sparse_set_scalar(a, 4, z);
    flag = 1;
    sparse_iszero(a->sparse, 3, &flag);
    EXPECT_EQ(flag, 1);
    free_quoly(&x);
    free_quoly(&z);
    remove_array(a);

    // The diagonal of a sparse 2 x 3 with no (2,2): cell 2 is the shared 0.
    Model d(2, 3);
    d.at(1, 1) = 8;
    d.at(2, 3) = 9;
    array* da = sparse_create(&name, 2, 3, 0, 0);
    da->sparse = build_from(d);
    sparse* frame = da->sparse;
    std::vector<quoly*> out(2, nullptr);
    int32_t rows = 2;
    extract_diagonal(out.data(), nullptr, da, 0, &rows, &frame);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(cell_count(da), 2);
    EXPECT_EQ(da->rows, 1);
    EXPECT_EQ(frame, nullptr);
    EXPECT_TRUE(holds(out[0], 8));
    EXPECT_EQ(out[1], quol_num_0);
    free_sparse(&f, 3, 1);
    da->rows = 2;
    special_set_2(2, 3, &da->size);
    remove_array(da);

    // Dense, consuming, the result over the source cells.
    std::vector<quoly*> cells(6, nullptr);
    for (int k = 0; k < 6; k++) quoly_set(10 + k, &cells[k]);   // 2 x 3
    array* rec = insertarr(&name, 2, 3, 0);
    rows = 2;
    sparse* none = nullptr;
    extract_diagonal(cells.data(), cells.data(), rec, 1, &rows, &none);
    EXPECT_TRUE(holds(cells[0], 10));
    EXPECT_TRUE(holds(cells[1], 13));
    for (int k = 2; k < 6; k++) EXPECT_EQ(cells[k], nullptr);
    free_quoly(&cells[0]);
    free_quoly(&cells[1]);
    rec->rows = 2;
    special_set_2(2, 3, &rec->size);
    remove_array(rec);
}

TEST_F(Ops, DenseCellsToSparseAndBack) {
    std::vector<quoly*> cells(12, nullptr);   // 3 x 4, column by column
    Model m(3, 4);
    for (int32_t j = 1; j <= 4; j++)
        for (int32_t i = 1; i <= 3; i++) {
            const int v = (i + j) % 3 == 0 ? 0 : i * 10 + j;
            m.at(i, j) = v;
            if (i != 2 || j != 2) quoly_set(v, &cells[(i - 1) + (j - 1) * 3]);   // (2,2) never assigned
        }
    m.at(2, 2) = 0;
    tokenrec name = tok("std");
    array* a = sparse_create(&name, 3, 4, 0, 1);
    standard_to_sparse(a, cells.data(), 4, 0);
    EXPECT_TRUE(sparse_ok(a->sparse, 3, 4));
    EXPECT_TRUE(matches(a->sparse, m));
    // Back into dense cells by subtraction: all zero.
    add_one_sparse(cells.data(), 3, 0, a->sparse, 0);
    for (quoly* q : cells)
        EXPECT_TRUE(!q || quoly_iszero(q));
    for (quoly*& q : cells) free_quoly(&q);
    remove_array(a);
}

TEST_F(Ops, FillSparseWarnsAndSharesWithAnAlias) {
    array* d = nullptr;
    tokenrec name = tok("conv");
    d = insertarr(&name, 2, 2, 0);
    quoly_set(3, cell_at(d->first));
    quoly_set(0, cell_at(d->first + 3));
    tokenrec pname = tok("param");
    array* alias = insertarr(&pname, 1, 1, 0);   // stands for a parameter record
    alias->stamp = -d->stamp;
    note_alias(alias, d);
    const int32_t end0 = endarr;
    newsparse(&d->sparse);
    ::testing::internal::CaptureStdout();
    int code = 0;
    try {
        fill_sparse(d);
    } catch (const TarvexUnwind& e) {
        code = e.code;
    }
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 342);
    EXPECT_NE(out.find(" necessary, delete the parameter param.\n"), std::string::npos) << out;
    EXPECT_EQ(alias->sparse, d->sparse);
    EXPECT_EQ(endarr, end0 - 4);
    EXPECT_TRUE(holds(spar_retrieve(d->sparse, 1, 1), 3));
    EXPECT_EQ(*row_head(d->sparse, 2), nullptr);   // the stored 0 was freed
    alias->sparse = nullptr;
    alias->first = 0;
    alias->last = -1;
    remove_array(alias);
    remove_array(d);
}

TEST_F(Ops, RowAndColumnOperations) {
    Model m(3, 4);
    m.at(1, 1) = 1;
    m.at(1, 3) = 2;
    m.at(2, 3) = -1;
    m.at(2, 4) = 5;
    sparse* f = build_from(m);
    quoly* two = make_q(2);
    sparse_row_add(f, two, 2, 1);   // (2,3) = -1 + 4 = 3, (2,1) = 2
    m.at(2, 1) = 2;
    m.at(2, 3) = 3;
    EXPECT_TRUE(matches(f, m));
    quoly* half = make_q(mpq_class(-1, 2));
    sparse_row_add(f, half, 1, 2);   // row 1 += -1/2 row 2: (1,1) = 0 removed
    m.at(1, 1) = 0;
    m.at(1, 3) = mpq_class(1, 2);
    m.at(1, 4) = mpq_class(-5, 2);
    EXPECT_TRUE(matches(f, m));
    EXPECT_TRUE(sparse_ok(f, 3, 4));
    sparse_row_add(f, two, 1, 3);   // empty source row: nothing
    EXPECT_TRUE(matches(f, m));

    // Column exchange: a row with only column i moves it to j.
    sp_switchcol(f, 1, 4, 3, 1);
    std::swap(m.at(1, 1), m.at(1, 4));
    std::swap(m.at(2, 1), m.at(2, 4));
    EXPECT_TRUE(matches(f, m));
    EXPECT_TRUE(sparse_ok(f, 3, 4));
    int32_t best = 0;
    spec2_mod_sparse_findbest(f, 3, &best);
    EXPECT_EQ(best, -1);
    spec2_mod_sparse_findbest(f, 2, &best);
    EXPECT_EQ(best, 3);

    // The diagonal walk: (1,1) is there; row 3 is empty.
    sparse* cursor = f;
    quoly* q = nullptr;
    sparse_qq_set(1, &cursor, &q);
    EXPECT_TRUE(holds(q, mpq_class(-5, 2)));
    q = nullptr;
    const int code = unwind_code([&] { sparse_qq_set(3, &cursor, &q); });
    EXPECT_TRUE(code != 9999 || q == quol_num_0);
    free_quoly(&two);
    free_quoly(&half);
    free_sparse(&f, 3, 1);

    // Missing quolys read as 0.
    quoly* a = nullptr;
    best_quoly_nils_sub(&a, make_q(4));
    EXPECT_TRUE(holds(a, -4));
    best_quoly_nils_sub(&a, make_q(-4));
    EXPECT_EQ(a, nullptr);
    best_quoly_nils_sub(&a, nullptr);
    EXPECT_EQ(a, nullptr);
}

TEST_F(Ops, MergeUnionAndIntersectOfMonomialLists) {
    AttachedVars vars(2);
    // Columns {1, x} twice; x = x1 (the outer variable), monomials.
    auto column = [](std::vector<quoly*> vals) {
        sparse* f = new_frame_chain(static_cast<int32_t>(vals.size()));
        for (size_t r = 0; r < vals.size(); r++) {
            colm* e = take_colm();
            e->col = 1;
            e->val = vals[r];
            e->next = nullptr;
            *row_head(f, static_cast<int32_t>(r + 1)) = e;
        }
        return f;
    };
    auto list = [&](const char* nm, std::vector<quoly*> vals) {
        tokenrec t = tok(nm);
        return quick_sparse_create(column(vals), &t, static_cast<int32_t>(vals.size()), 1, 0);
    };
    auto values = [](array* a) {
        std::vector<std::string> v;
        for (int32_t r = 1; r <= a->rows; r++) {
            const colm* e = *row_head(a->sparse, r);
            if (!e) {
                v.push_back("-");
                continue;
            }
            v.push_back(e->val->isnum ? quoly_value(e->val).get_str() : terms_to_string(read_poly(e->val->pnum, 2)));
        }
        return v;
    };
    array* a = list("ma", {make_q(1), poly_q({{1, {1, 0}}})});
    array* b = list("mb", {make_q(1), poly_q({{1, {1, 0}}})});
    EXPECT_EQ(synth_merge(a, b), 4);
    EXPECT_EQ(values(a).size(), 4u);
    EXPECT_EQ(values(a)[0], "1");
    EXPECT_EQ(values(a)[1], "1");
    remove_array(a);
    free_sparse(&b->sparse, b->rows, 1);
    remove_array(b);

    a = list("ua", {make_q(1), poly_q({{1, {1, 0}}})});
    b = list("ub", {make_q(1), poly_q({{1, {1, 0}}})});
    EXPECT_EQ(synth_union(a, b), 2);
    EXPECT_EQ(values(a)[0], "1");
    remove_array(a);
    remove_array(b);   // B's skipped duplicates are freed with B

    // Intersection of identical lists keeps all; of disjoint lists none.
    a = list("ia", {poly_q({{1, {0, 1}}}), poly_q({{1, {1, 0}}}), poly_q({{1, {2, 0}}})});
    b = list("ib", {poly_q({{1, {0, 1}}}), poly_q({{1, {1, 0}}}), poly_q({{1, {2, 0}}})});
    EXPECT_EQ(intersect(a, b), 3);
    remove_array(a);
    remove_array(b);
    a = list("ja", {poly_q({{1, {0, 1}}}), poly_q({{1, {2, 0}}})});
    b = list("jb", {poly_q({{1, {1, 0}}}), poly_q({{1, {1, 1}}})});
    EXPECT_EQ(intersect(a, b), 0);
    EXPECT_EQ(a->rows, 1);
    EXPECT_EQ(*row_head(a->sparse, 1), nullptr);
    remove_array(a);
    remove_array(b);
}

TEST_F(Ops, DenominatorLcm) {
    AttachedVars vars(2);
    tokenrec name = tok("lcm");
    array* a = insertarr(&name, 2, 2, 0);
    quoly_set(5, cell_at(a->first));
    *cell_at(a->first + 1) = make_q(mpq_class(1, 4));
    *cell_at(a->first + 2) = make_q(mpq_class(-5, 6));
    // cell 4 empty: set to 0 with the warning
    quoly* r = nullptr;
    const int saved_uninit = uninit;
    ::testing::internal::CaptureStdout();
    findlcm(&r, nullptr, a->first, 2, 2, 2);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(holds(r, 12));
    EXPECT_NE(out.find("Warning. Uninitialized array element has been set to 0.\n"), std::string::npos);
    EXPECT_TRUE(quoly_iszero(*cell_at(a->first + 3)));

    // A monomial denominator 2x gives 2; x + 1 nothing.
    sparse* f = new_frame_chain(2);
    quoly* q1 = nullptr;
    {
        quoly* one = make_q(1);
        quoly* den = poly_q({{2, {1, 0}}});
        quoly_quot(one, den, &q1, 0);
        free_quoly(&one);
        free_quoly(&den);
    }
    quoly* q2 = nullptr;
    {
        quoly* one = make_q(3);
        quoly* den = poly_q({{1, {1, 0}}, {1, {0, 0}}});
        quoly_quot(one, den, &q2, 0);
        free_quoly(&one);
        free_quoly(&den);
    }
    for (int32_t k = 1; k <= 2; k++) {
        colm* e = take_colm();
        e->col = 1;
        e->val = k == 1 ? q1 : q2;
        e->next = nullptr;
        *row_head(f, k) = e;
    }
    findlcm(&r, f, 0, 2, 0, 0);
    EXPECT_TRUE(holds(r, 2));
    free_sparse(&f, 2, 1);
    free_quoly(&r);
    remove_array(a);

    // The 21st empty cell prints the continuation once; the 22nd nothing.
    uninit = 19;
    quoly* c = nullptr;
    ::testing::internal::CaptureStdout();
    set_uninitialised(&c);
    set_uninitialised(&c);
    set_uninitialised(&c);
    const std::string more = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(more, "Warning. Uninitialized array element has been set to 0.\n ....etc...\n");
    free_quoly(&c);
    uninit = saved_uninit;
}

TEST_F(Ops, ExtremesOfNegativeMatrixAndNoPositive) {
    Model m(2, 2);
    m.at(1, 1) = -3;
    m.at(1, 2) = -1;
    m.at(2, 1) = -2;   // (2, 2) missing: the maximum is that 0
    sparse* f = build_from(m);
    int64_t pos = 0;
    sparse_max_min(f, 2, 2, 1, 0, &pos);
    EXPECT_EQ(pos, addresser + 1 + 1 * 2);
    sparse_max_min(f, 2, 2, 0, 1, &pos);
    EXPECT_EQ(pos, addresser - 1);
    sparse_max_min(f, 2, 2, 0, 0, &pos);
    EXPECT_EQ(pos, addresser);
    free_sparse(&f, 2, 1);

    // Positive minimum: values above 0 only, fractions included (1/2 < 1).
    extreme_state st{0, 1, 0, nullptr, 0};
    quoly* z = make_q(0);
    quoly* three = make_q(3);
    consider(z, 1, &st);
    EXPECT_EQ(st.found, 0);
    consider(three, 2, &st);
    EXPECT_EQ(st.position, 2);
    free_quoly(&z);
    free_quoly(&three);
}

TEST_F(Ops, MeasuresAndThresholds) {
    AttachedVars vars(2);
    Model m(3, 3);
    m.at(1, 1) = 1;
    m.at(3, 3) = 2;
    sparse* f = build_from(m);
    EXPECT_EQ(sparse_allnumbs(f, 3), 1);
    EXPECT_EQ(sparse_polydepth(f, 3), 16384);
    // A polynomial without denominator, lying in the second variable only.
    colm** at = nullptr;
    get_sparse_colm(f, 2, 2, &at);
    colm* e = take_colm();
    e->col = 2;
    e->val = poly_q({{1, {0, 2}}, {3, {0, 0}}});
    e->next = *at;
    *at = e;
    int all = 5;
    EXPECT_EQ(sparse_allpolys(f, 3, &all), 1);
    EXPECT_EQ(all, 0);
    EXPECT_EQ(sparse_allnumbs(f, 3), 0);
    EXPECT_EQ(sparse_polydepth(f, 3), 2);
    EXPECT_EQ(sparse_one_var_polys(f, 3), 1);
    // A rational function somewhere.
    quoly* rf = nullptr;
    {
        quoly* den = poly_q({{1, {1, 0}}, {1, {0, 0}}});
        quoly_quot(make_q(1), den, &rf, 0);
        free_quoly(&den);
    }
    get_sparse_colm(f, 1, 3, &at);
    e = take_colm();
    e->col = 3;
    e->val = rf;
    e->next = *at;
    *at = e;
    EXPECT_EQ(sparse_allpolys(f, 3, &all), 0);
    EXPECT_EQ(sparse_one_var_polys(f, 3), 0);
    int flag = 1;
    sparse_iszero(f, 3, &flag);
    EXPECT_EQ(flag, 0);
    free_sparse(&f, 3, 1);

    EXPECT_EQ(size_of(1, 1), 0);
    EXPECT_EQ(size_of(1 << 27, 2), 55);
    EXPECT_EQ(size_of(-1, 1), 0);
    EXPECT_EQ(size_of(0, 1), -1);
    EXPECT_EQ(fsmallsize(1), 100000);
    EXPECT_EQ(fsmallsize(13), 1);
    EXPECT_EQ(fsmallsize(18), 1.0);
    EXPECT_EQ(fsmallsize(19), 0.333333);
    EXPECT_EQ(fsmallsize(24), 0.0);
    const int32_t saved = mincutoff;
    set_min_cut(5);
    EXPECT_EQ(mincutoff, 1000000);
    set_min_cut(6);
    EXPECT_EQ(mincutoff, 2);
    set_min_cut(13);
    EXPECT_EQ(mincutoff, 10);
    set_min_cut(15);
    EXPECT_EQ(mincutoff, 5);
    set_min_cut(16);
    EXPECT_EQ(mincutoff, 6);
    mincutoff = saved;
    EXPECT_EQ(disper(100), 1);
    EXPECT_EQ(disper(101), 5);
    EXPECT_EQ(disper(1000), 5);
    EXPECT_EQ(disper(5000), 10);
    EXPECT_EQ(disper(5001), 50);
    EXPECT_EQ(doing_polymod_field(), 0);

    colm labels[3] = {{1, reinterpret_cast<quoly*>(intptr_t{3}), &labels[1]},
                      {2, reinterpret_cast<quoly*>(intptr_t{0}), &labels[2]},
                      {3, reinterpret_cast<quoly*>(intptr_t{1}), nullptr}};
    EXPECT_EQ(quick_row_mass(labels), 2);
    EXPECT_EQ(quick_row_mass(nullptr), 0);
}

TEST_F(Ops, DenseExchangesAndFills) {
    tokenrec name = tok("dex");
    array* a = insertarr(&name, 3, 3, 0);
    for (int32_t k = 0; k < 9; k++) quoly_set(k, cell_at(a->first + k));
    auto at = [&](int32_t r, int32_t c) { return quoly_value(*cell_at(a->first + r + c * 3)); };
    switchrow_col(']', 0, 2, a->first, 3, 3, 3);   // rows 0 and 2
    EXPECT_EQ(at(0, 0), 2);
    EXPECT_EQ(at(2, 1), 3);
    switchrow_col('[', 0, 1, a->first, 3, 3, 3);   // columns 0 and 1
    EXPECT_EQ(at(0, 0), 5);
    switchrow_col(']', 1, 1, a->first, 3, 3, 3);
    EXPECT_EQ(at(1, 1), 1);
    reverse_array(a);
    EXPECT_EQ(at(2, 2), 5);
    for (int32_t k = 0; k < 9; k++) free_quoly(cell_at(a->first + k));
    remove_array(a);

    // Five cells reversed: 1 <-> 5, 2 <-> 4, 3 stays.
    name = tok("five");
    array* f = insertarr(&name, 5, 1, 0);
    for (int32_t k = 0; k < 5; k++) quoly_set(k + 1, cell_at(f->first + k));
    reverse_array(f);
    for (int32_t k = 0; k < 5; k++) EXPECT_TRUE(holds(*cell_at(f->first + k), 5 - k));
    std::vector<quoly*> v(5, nullptr);
    for (int32_t k = 0; k < 5; k++) std::swap(v[k], *cell_at(f->first + k));
    fillup(5, 1, f->first, v.data());
    EXPECT_TRUE(holds(*cell_at(f->first), 5));
    remove_array(f);

    std::vector<quoly*> id(9, nullptr);
    identi(id.data(), 3, 0);
    for (int32_t c = 0; c < 3; c++)
        for (int32_t r = 0; r < 3; r++) EXPECT_TRUE(holds(id[c * 3 + r], r == c ? 1 : 0));
    swap_cols(id.data(), 0, 2, 3);
    EXPECT_TRUE(holds(id[2], 1));
    spec_swap_rows(id.data(), 2, 0, 3);   // columns 0, 1 only
    EXPECT_TRUE(holds(id[0], 1));
    EXPECT_TRUE(holds(id[2], 0));
    identi(id.data(), 3, 1);
    uppertri(id.data(), 1);   // the old (0,0) is forgotten, not freed: free it first
    for (quoly*& q : id) free_quoly(&q);

    std::vector<quoly*> one(1, nullptr);
    identi(one.data(), 1, 0);
    EXPECT_TRUE(holds(one[0], 1));
    free_quoly(&one[0]);

    col n1{}, n2{};
    n1.word1 = reinterpret_cast<void*>(intptr_t{1});
    n1.word2 = reinterpret_cast<void*>(intptr_t{3});
    n1.next = &n2;
    n2.word1 = reinterpret_cast<void*>(intptr_t{3});
    n2.word2 = reinterpret_cast<void*>(intptr_t{2});
    n2.next = nullptr;
    EXPECT_EQ(permute(&n1, 1), 2);
    EXPECT_EQ(permute(&n1, 3), 1);
    EXPECT_EQ(permute(&n1, 2), 3);
}

TEST_F(Ops, CopiesOneVariableAndIntegerValued) {
    Model m(2049, 2);
    m.at(1, 1) = 5;
    m.at(2049, 2) = 7;
    {
        // Integer-valued copies hold the residues' value words.
        PrimeRing ring(101);
        sparse* f = nullptr;
        spar_identi(&f, 2049, 0);
        sparse* ints = nullptr;
        special_copy_sparse(f, &ints, 2049);
        EXPECT_EQ(reinterpret_cast<intptr_t>(spar_retrieve(ints, 2049, 2049)), 1);
        free_sparse_frame(&ints, 2049);
        move_data_into_quoly(f, 2049);
        EXPECT_EQ(reinterpret_cast<intptr_t>(spar_retrieve(f, 7, 7)), 1);
        free_sparse_frame(&f, 2049);
    }
    sparse* f = build_from(m);
    sparse* c = nullptr;
    one_var_copy_sparse(&f, &c, 2049);
    EXPECT_TRUE(matches(c, m));
    free_sparse(&c, 2049, 1);
    // put_back_sparse: B's rows replaced by A's.
    sparse* b = nullptr;
    spar_identi(&b, 2049, 0);
    put_back_sparse(f, b, 2049);
    EXPECT_TRUE(matches(b, m));
    free_sparse(&b, 2049, 1);
    free_stuff(f, 2049);
}

}  // namespace
