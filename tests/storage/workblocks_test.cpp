// Work blocks lent and given back in stack order, the bytes still available,
// the free-list byte counts (exact and capped), address-order relinking of
// free lists, and the totals of the storage report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gcd/gcdstash.h"
#include "interp/scalars.h"
#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "support/data_once.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

// ---- work blocks ----

struct BlocksReset {
    int32_t saved = first_available;
    BlocksReset() { first_available = 1; }
    ~BlocksReset() { first_available = saved; }
};

TEST(WorkBlocks, TwentyLentThenErrorThenReuse) {
    load_data_once();
    BlocksReset reset;
    std::vector<quoly**> blocks;
    for (int i = 1; i <= WORK_BLOCKS; i++) {
        int32_t n = 0;
        enew_worknode(&n, "Frob");
        ASSERT_EQ(n, i);
        ASSERT_NE(workhead[n - 1], nullptr);
        workhead[n - 1][WORK_BLOCK_CELLS - 1] = nullptr;   // the whole block is usable
        blocks.push_back(workhead[n - 1]);
    }
    int32_t n = -7;
    testing::internal::CaptureStdout();
    try {
        enew_worknode(&n, "Frob");
        ADD_FAILURE() << "a 21st block was lent";
    } catch (const TarvexUnwind& u) {
        EXPECT_EQ(u.code, 88);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(n, -7);
    EXPECT_EQ(first_available, WORK_BLOCKS + 1);

    free_work();
    free_work();
    enew_worknode(&n, "Frob");
    EXPECT_EQ(n, WORK_BLOCKS - 1);
    EXPECT_EQ(workhead[n - 1], blocks[n - 1]);   // no new allocation
}

// Random take/give-back sequences against a model stack.
TEST(WorkBlocks, AccountingFollowsTheStack) {
    load_data_once();
    BlocksReset reset;
    NumberGen g(5);
    std::vector<int32_t> model;
    for (int step = 0; step < scaled(2000); step++) {
        if (!model.empty() && (model.size() == WORK_BLOCKS || g.chance(45))) {
            free_work();
            model.pop_back();
        } else {
            int32_t n = 0;
            enew_worknode(&n, "x");
            EXPECT_EQ(n, static_cast<int32_t>(model.size()) + 1);
            model.push_back(n);
        }
        ASSERT_EQ(first_available, static_cast<int32_t>(model.size()) + 1) << g.trace();
    }
}

// ---- memory ----

struct BudgetReset {
    int64_t saved = totalavailablememory;
    ~BudgetReset() { totalavailablememory = saved; }
};

uint64_t used_by_stashes() {
    uint64_t u = 0;
    for (stash* s : {polystash, quolystash, numstash, imagstash, colmstash})
        if (s) u += uint64_t(s->slug_size) * uint64_t(s->slugs_used);
    return u;
}

TEST(WorkBlocks, MemavailNeverBelowZero) {
    load_data_once();
    BudgetReset reset;
    const uint64_t used = used_by_stashes();
    ASSERT_GT(used, 0u);
    totalavailablememory = int64_t(used);
    EXPECT_EQ(memavail(), 0u);
    totalavailablememory = int64_t(used) - 1;
    EXPECT_EQ(memavail(), 0u);
    totalavailablememory = int64_t(used) + 12345;
    EXPECT_EQ(memavail(), 12345u);

    totalavailablememory = 9;
    find_total_available_memory();
    EXPECT_EQ(totalavailablememory, int64_t{1} << 32);
    totalavailablememory = 10;
    find_total_available_memory();
    EXPECT_EQ(totalavailablememory, 10);
}

// A free-list head emptied for the scope of the object and put back afterwards.
template <class T>
struct Emptied {
    T*& head;
    T* saved;
    explicit Emptied(T*& h) : head(h), saved(h) { h = nullptr; }
    ~Emptied() { head = saved; }
};

// Every free list the report reads, replaced by test-owned records for the
// scope of the object.
struct FreeLists {
    Emptied<numnode> a{numhead};
    Emptied<imag> b{imhead};
    Emptied<polynode> c{polygarb};
    Emptied<quoly> d{quolygarb};
    Emptied<colm> e{colm_garb};
    Emptied<var> f{var_garb};
    Emptied<array> g{arr_garb};
    Emptied<name> h{name_garb};
    Emptied<fix> i{fixgarb};
    Emptied<sparse> j{spargarb};
    Emptied<col> k{colgarb};
    Emptied<pt> l{pt_garb};
    Emptied<form> m{formhead};
    Emptied<cond> n{condhead};
};

template <class T, T* T::*Link>
T* chain(std::vector<T>& v) {
    for (size_t i = 0; i + 1 < v.size(); i++) v[i].*Link = &v[i + 1];
    if (v.empty()) return nullptr;
    v.back().*Link = nullptr;
    return &v.front();
}

TEST(WorkBlocks, CappedFreeListCounts) {
    FreeLists lists;
    std::vector<numnode> digits(70000);
    std::vector<imag> numbers(1500);
    std::vector<polynode> polys(2000);
    std::vector<quoly> quolys(40000);
    numhead = chain<numnode, &numnode::next>(digits);
    imhead = chain<imag, &imag::link>(numbers);
    polygarb = chain<polynode, &polynode::next>(polys);
    quolygarb = chain<quoly, &quoly::link>(quolys);

    const int64_t rest = 20 * 1500 + 16 * 2000;
    EXPECT_EQ(garbsize(), 8 * 70000 + rest + 20 * 40000);
    // 70,000 digit nodes over the cap of 60,000 count as 60,001: 480,008 bytes.
    EXPECT_EQ(fast_garbsize(), 480008 + rest + 20 * 30001);
    EXPECT_EQ(med_garbsize(), 8 * 70000 + rest + 20 * 40000);
    EXPECT_EQ(big_garbsize(), 8 * 70000 + rest);
}

TEST(WorkBlocks, FreeListsIntoAddressOrder) {
    FreeLists lists;
    {
        std::vector<polynode> n(3);
        n[2].next = &n[1];
        n[1].next = &n[0];
        n[0].next = nullptr;
        polygarb = &n[2];
        clean_up_poly();
        EXPECT_EQ(polygarb, &n[0]);
        EXPECT_EQ(n[0].next, &n[1]);
        EXPECT_EQ(n[1].next, &n[2]);
        EXPECT_EQ(n[2].next, nullptr);
    }
    clean_up_quoly();   // an empty list stays empty
    EXPECT_EQ(quolygarb, nullptr);

    std::mt19937 rng(3);
    std::vector<quoly> q(5000);
    std::vector<quoly*> order;
    for (quoly& r : q) order.push_back(&r);
    std::shuffle(order.begin(), order.end(), rng);
    for (size_t i = 0; i + 1 < order.size(); i++) order[i]->link = order[i + 1];
    order.back()->link = nullptr;
    quolygarb = order.front();
    clean_up_quoly();
    size_t count = 0;
    for (quoly* p = quolygarb; p; p = p->link, count++) {
        ASSERT_EQ(p, &q[count]);
    }
    EXPECT_EQ(count, q.size());

    std::vector<imag> m(300);
    std::vector<colm> c(300);
    for (size_t i = 0; i < m.size(); i++) {
        m[i].link = i ? &m[i - 1] : nullptr;
        c[i].next = i ? &c[i - 1] : nullptr;
    }
    imhead = &m.back();
    colm_garb = &c.back();
    clean_up_imp();
    clean_up_colm();
    EXPECT_EQ(imhead, &m[0]);
    EXPECT_EQ(colm_garb, &c[0]);
    EXPECT_EQ(m[298].link, &m[299]);
    EXPECT_EQ(c[298].next, &c[299]);
    EXPECT_EQ(m.back().link, nullptr);
    EXPECT_EQ(c.back().next, nullptr);
}

TEST(WorkBlocks, StorageReportTotals) {
    load_data_once();
    sure_free_gcd_stash();
    FreeLists lists;   // nothing may be allocated or freed while it is in place
    {   // at least one block exists
        BlocksReset reset;
        int32_t n;
        enew_worknode(&n, "x");
    }
    std::vector<numnode> digits(3);
    std::vector<polynode> polys(2);
    std::vector<quoly> quolys(4);
    std::vector<fix> fixes(5);
    std::vector<colm> colms(6);
    digits[0].digit = 17;
    digits[1].digit = -5;
    digits[2].digit = 0;
    polys[0].exp = 9;
    polys[1].exp = 2;
    numhead = chain<numnode, &numnode::next>(digits);
    polygarb = chain<polynode, &polynode::next>(polys);
    quolygarb = chain<quoly, &quoly::link>(quolys);
    fixgarb = chain<fix, &fix::next>(fixes);
    colm_garb = chain<colm, &colm::next>(colms);
    unsigned long blocks = 0;
    while (blocks < WORK_BLOCKS && workhead[blocks]) blocks++;

    testing::internal::CaptureStdout();
    garbage('g');
    const std::string out = testing::internal::GetCapturedStdout();
    const unsigned long total = 3 * 8 + 2 * 16 + 4 * 20 + 5 * 16 + 6 * 12 + blocks * 4000000;
    std::string want = "num count: 3, 8\nim count: 0, 20\nfix count: 5\npoly count: 2, 16\nquoly count: 4, 20\n"
                       "colm count: 6\nwork arrays: " + std::to_string(blocks) + ", 4000000\n" +
                       "total garbage: " + std::to_string(total) + "\n" +
                       "system data size: " + std::to_string(size_data_strucs) + "\n" +
                       "total size: " + std::to_string(total + size_data_strucs) + "\n";
    EXPECT_EQ(out, want);

    testing::internal::CaptureStdout();
    garbage('G');
    const std::string listed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(listed.rfind("17\n-5\n0\nnum count: 3, 8\n", 0), 0u) << listed;
    EXPECT_NE(listed.find("9\n2\npoly count: 2, 16\n"), std::string::npos);
}

}  // namespace
