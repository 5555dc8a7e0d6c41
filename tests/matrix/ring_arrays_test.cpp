// Arrays through the changes of ground ring: every value kind in dense and
// sparse arrays and the system array, permanently to residues and back,
// temporarily through conversion lists (exactly back, entries that became 0
// relinked), aliases converted once.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "array_walks.h"
#include "numbers/numbers.h"
#include "storage/nodetests.h"
#include "support/gmp_bridge.h"
#include "support/random_numbers.h"

namespace {

using array_walks::ArrayWalks;
using array_walks::big_q;
using array_walks::residue;
using statement_runs::value_of;
using Cells = std::map<std::pair<int32_t, int32_t>, mpq_class>;

constexpr int32_t Q = 1000003;

// Random values: big and small integers of either sign, rationals, and
// multiples of the modulus (which vanish modulo it).
mpq_class random_value(NumberGen& g, int32_t m) {
    switch (g.below(5)) {
    case 0: return mpq_class(g.digits(g.between(1, 40)) * (g.chance(50) ? 1 : -1));
    case 1: return mpq_class(g.between(-1000, 1000));
    case 2: {
        mpz_class d = g.nonneg_digits(g.between(1, 12)) + 1;
        if (d % m == 0) d += 1;
        mpq_class x(g.digits(g.between(1, 12)) + 1, d);
        x.canonicalize();
        return x;
    }
    case 3: return mpq_class(mpz_class(m) * g.between(1, 5000));
    default: return mpq_class(g.between(1, 30));
    }
}

class RingArrays : public ArrayWalks {
protected:
    // Fills a with random values at random places (rows around a frame's
    // end for a sparse array); returns what was stored, zeros left out.
    Cells fill(array* a, NumberGen& g, int count) {
        Cells cells;
        const int32_t cols = array_columns(a);
        for (int k = 0; k < count; k++) {
            int32_t i = g.between(1, a->rows), j = g.between(1, cols);
            if (a->rows > 2049 && k % 3 == 0) i = g.between(2046, 2050);
            if (cells.count({i, j})) continue;
            mpq_class v = random_value(g, Q);
            if (v == 0) continue;
            put(a, i, j, big_q(v));
            cells[{i, j}] = v;
        }
        return cells;
    }
    // In modular mode: each stored value is its residue; an entry whose
    // residue is 0 is gone from a sparse array.
    void expect_residues(array* a, const Cells& cells, const char* what) {
        for (const auto& [ij, v] : cells) {
            quoly* q = at(a, ij.first, ij.second);
            ASSERT_NE(q, nullptr) << what;
            const mpz_class r = residue(v, Q);
            if (a->sparse && r == 0) {
                EXPECT_EQ(q, quol_num_0) << what << " entry " << ij.first << "," << ij.second;
                continue;
            }
            ASSERT_TRUE(q->isnum) << what;
            EXPECT_EQ(q->nnum->value, r.get_si()) << what << " at " << ij.first << "," << ij.second;
        }
    }
    // Back in rational mode: representatives 0 .. Q - 1 of the residues.
    void expect_representatives(array* a, const Cells& cells, const char* what) {
        for (const auto& [ij, v] : cells) {
            quoly* q = at(a, ij.first, ij.second);
            ASSERT_NE(q, nullptr);
            const mpz_class r = residue(v, Q);
            if (a->sparse && r == 0) continue;
            EXPECT_EQ(value_of(q), mpq_class(r)) << what << " at " << ij.first << "," << ij.second;
        }
    }
    void expect_exact(array* a, const Cells& cells, const char* what) {
        int64_t n = 0;
        for (const auto& [ij, v] : cells) {
            quoly* q = at(a, ij.first, ij.second);
            ASSERT_NE(q, nullptr) << what;
            EXPECT_EQ(array_walks::digits_value(q), v) << what << " at " << ij.first << "," << ij.second;
            n++;
        }
        if (a->sparse) {
            EXPECT_EQ(entries(a->sparse, a->rows), n) << what;
            EXPECT_TRUE(sparse_ok(a->sparse, a->rows, array_columns(a)));
        }
    }
};

TEST_F(RingArrays, PermanentChangeGivesResiduesThenRepresentatives) {
    NumberGen g(2201);
    array* d = dense("d", 6, 5);
    array* s = sparse_array("s", 3000, 9);
    array* one = dense("one", 1, 1);   // stays unassigned
    Cells dc = fill(d, g, 25), sc = fill(s, g, 300);
    // A dense system array with an empty cell.
    quoly* cells[4] = {big_q(mpq_class(Q) * 7 + 3), nullptr, big_q(mpq_class(-1, 2)), big_q(mpq_class(5))};
    imag count{};
    special_set(4, &count);
    fill_syst_array(cells, &count, 1, nullptr, 2);
    special_free(&count);
    const int64_t zeros = std::count_if(sc.begin(), sc.end(), [](auto& e) { return residue(e.second, Q) == 0; });
    ASSERT_GT(zeros, 0);

    ASSERT_EQ(err("&(p = 1000003);"), 0);
    expect_residues(d, dc, "dense");
    expect_residues(s, sc, "sparse");
    EXPECT_EQ(entries(s->sparse, s->rows), static_cast<int64_t>(sc.size()) - zeros);
    EXPECT_EQ(s->sparse->mode, 1);
    EXPECT_EQ(*cell_at(one->first), nullptr);
    EXPECT_EQ(syst_cells[0]->nnum->value, 3);
    EXPECT_EQ(syst_cells[1], nullptr);
    EXPECT_EQ(syst_cells[2]->nnum->value, (Q - 1) / 2);   // -1/2 = (Q - 1)/2 mod Q
    EXPECT_EQ(syst_cells[3]->nnum->value, 5);

    ASSERT_EQ(err("&p;"), 0);
    expect_representatives(d, dc, "dense");
    expect_representatives(s, sc, "sparse");
    EXPECT_TRUE(sparse_ok(s->sparse, s->rows, 9));
    EXPECT_EQ(s->sparse->mode, 0);
    EXPECT_EQ(value_of(syst_cells[2]), mpq_class((Q - 1) / 2));
    EXPECT_EQ(*cell_at(one->first), nullptr);

    // A second trip leaves the representatives as they are.
    ASSERT_EQ(err("&(p = 1000003);"), 0);
    ASSERT_EQ(err("&p;"), 0);
    expect_representatives(d, dc, "dense, twice");
    expect_representatives(s, sc, "sparse, twice");
}

TEST_F(RingArrays, AnAliasSharesItsArraysFramesAndIsConvertedOnce) {
    NumberGen g(2202);
    array* s = sparse_array("s", 50, 50);
    Cells sc = fill(s, g, 80);
    alias_of(s, "alias");
    ASSERT_EQ(err("&(p = 1000003);"), 0);
    expect_residues(s, sc, "sparse with an alias");
    ASSERT_EQ(err("&p;"), 0);
    expect_representatives(s, sc, "sparse with an alias");
}

TEST_F(RingArrays, StarredItemsComeBackExactlyAndUnlinkedEntriesReturn) {
    NumberGen g(2203);
    array* d = dense("d", 4, 4);
    array* s = sparse_array("s", 2100, 6);
    array* t = sparse_array("t", 10, 10);
    array* e = dense("e", 3, 1);
    Cells dc = fill(d, g, 12), sc = fill(s, g, 120), tc = fill(t, g, 30), ec = fill(e, g, 3);
    const int64_t s_entries = entries(s->sparse, s->rows);

    // Q divides some of s's values: they leave the rows for the moment.
    ASSERT_EQ(err("&(p = 1000003 : *[d], *[s], [t]);"), 0);
    expect_residues(d, dc, "starred dense");
    expect_residues(s, sc, "starred sparse");
    expect_residues(t, tc, "listed sparse");
    EXPECT_LT(entries(s->sparse, s->rows), s_entries);
    EXPECT_NE(sparse_fix, nullptr);
    // Not named: untouched, digits and all.
    expect_exact(e, ec, "not named");

    statement_runs::Outcome o = run("&(p = _i : *[d], *[s], [t]);");
    ASSERT_EQ(o.error, 0) << o.printed;
    expect_exact(d, dc, "starred dense back");
    expect_exact(s, sc, "starred sparse back");
    expect_representatives(t, tc, "listed sparse back");
    expect_exact(e, ec, "not named");
    EXPECT_EQ(sparse_fix, nullptr);
    EXPECT_EQ(masterfix, nullptr);

    // The full way back, naming nothing, brings the starred values back too.
    ASSERT_EQ(err("&(p = 1000003 : *[s]);"), 0);
    ASSERT_EQ(err("&p;"), 0);
    expect_exact(s, sc, "starred sparse, full way back");
    EXPECT_EQ(s->sparse->mode, 0);
}

TEST_F(RingArrays, EverythingTemporarily) {
    NumberGen g(2204);
    array* d = dense("d", 5, 3);
    array* s = sparse_array("s", 4100, 4);
    Cells dc = fill(d, g, 15), sc = fill(s, g, 200);
    ASSERT_EQ(err("&(p = 1000003 : **);"), 0);
    expect_residues(d, dc, "dense");
    expect_residues(s, sc, "sparse");
    ASSERT_EQ(err("&(p = _i : **);"), 0);
    expect_exact(d, dc, "dense");
    expect_exact(s, sc, "sparse");
}

TEST_F(RingArrays, ListItemErrorsEndTheListAndTheChangeGoesOn) {
    array* d = dense("d", 1, 2);
    put(d, 1, 1, big_q(mpq_class(Q + 2)));
    put(d, 1, 2, big_q(mpq_class(Q + 3)));
    statement_runs::Outcome o = run("&(p = 1000003 : [d], [nope], [d]);");
    EXPECT_EQ(o.error, 0);
    EXPECT_NE(o.printed.find(" *** Inappropriate symbol: nope"), std::string::npos) << o.printed;
    EXPECT_NE(o.printed.find(" Change of ground ring will continue."), std::string::npos);
    EXPECT_EQ(modularmode, 1);
    EXPECT_EQ(at(d, 1, 1)->nnum->value, 2);
    o = run("&(p = _i : [d d]);");
    EXPECT_NE(o.printed.find(" *** Inappropriate symbol: d"), std::string::npos) << o.printed;
    EXPECT_EQ(modularmode, 0);
    o = run("&(p = 7 : [%]);");
    EXPECT_NE(o.printed.find(" *** Inappropriate symbol: %"), std::string::npos) << o.printed;
    EXPECT_EQ(err("&p;"), 0);
}

}  // namespace
