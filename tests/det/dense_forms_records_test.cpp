// The dense reductions give back every record they take, and each
// transformation is made only when asked for: with some of them missing
// (null vectors) the others come out the same as when all are asked for.
#include <gtest/gtest.h>

#include <vector>

#include "det_support.h"
#include "matrix/dense_echelon.h"
#include "matrix/fflu.h"
#include "storage/nodetests.h"
#include "support/node_count.h"
#include "support/ring_setup.h"

namespace {

using Cells = std::vector<quoly*>;

Cells integer_cells(std::mt19937_64& rng, int32_t n, int32_t m) {
    Cells c(static_cast<size_t>(n) * m, nullptr);
    for (quoly*& q : c) quoly_set(rng() % 3 == 0 ? 0 : static_cast<int32_t>(rng() % 21) - 10, &q);
    return c;
}

Cells copy_of(const Cells& c) {
    Cells d(c.size(), nullptr);
    for (size_t i = 0; i < c.size(); i++) quoly_assign(c[i], &d[i]);
    return d;
}

void release(Cells& c) {
    for (quoly*& q : c)
        if (q) free_quoly(&q);
}

bool same(const Cells& a, const Cells& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        quoly* d = nullptr;
        quoly_sub(a[i], b[i], &d);
        const bool zero = quoly_iszero(d);
        free_quoly(&d);
        if (!zero) return false;
    }
    return true;
}

struct DenseForms : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(DenseForms, TransformsOnlyWhenAskedAndRecordsGivenBack) {
    std::mt19937_64 rng(12);
    for (int trial = 0; trial < 30; trial++) {
        const int32_t n = 1 + static_cast<int32_t>(rng() % 5), m = 1 + static_cast<int32_t>(rng() % 5);
        RecordLedger ledger;
        Cells a0 = integer_cells(rng, n, m);
        for (int form = 0; form < 2; form++) {
            // All four asked for.
            Cells a = copy_of(a0), P(size_t(n) * n), Q(size_t(m) * m), P2(size_t(n) * n), Q2(size_t(m) * m);
            const int all[4] = {1, 1, 1, 1};
            const int32_t r = form ? normalize(a.data(), n, m, all, P.data(), Q.data(), P2.data(), Q2.data())
                                   : colreduce(a.data(), n, m, all, P.data(), Q.data(), P2.data(), Q2.data(), 0,
                                               268435456, nullptr, 1);
            // Each one alone; the others are null and must not be touched.
            for (int only = 0; only < 4; only++) {
                int flags[4] = {0, 0, 0, 0};
                flags[only] = 1;
                Cells b = copy_of(a0), T(size_t(only % 2 ? m : n) * (only % 2 ? m : n));
                quoly** v[4] = {nullptr, nullptr, nullptr, nullptr};
                v[only] = T.data();
                const int32_t r2 = form ? normalize(b.data(), n, m, flags, v[0], v[1], v[2], v[3])
                                        : colreduce(b.data(), n, m, flags, v[0], v[1], v[2], v[3], 0, 268435456,
                                                    nullptr, 1);
                EXPECT_EQ(r2, r);
                EXPECT_TRUE(same(b, a)) << "form " << form << " only " << only;
                const Cells& want = only == 0 ? P : only == 1 ? Q : only == 2 ? P2 : Q2;
                EXPECT_TRUE(same(T, want)) << "form " << form << " only " << only;
                release(b);
                release(T);
            }
            release(a);
            release(P);
            release(Q);
            release(P2);
            release(Q2);
        }
        {
            Cells a = copy_of(a0), L(size_t(n) * n), Li(size_t(n) * n);
            const int both[2] = {1, 1};
            red_row_ech(a.data(), n, m, both, L.data(), Li.data());
            release(a);
            release(L);
            release(Li);
        }
        for (int full = 0; full < 2; full++) {
            Cells a = copy_of(a0), D(static_cast<size_t>(n)), L(size_t(n) * n), P(size_t(n) * n), P2(size_t(n) * n),
                  Q(size_t(m) * m), Q2(size_t(m) * m);
            const int six[6] = {1, 1, 1, 1, full, full};
            fract_free_lu(full, a.data(), n, m, six, D.data(), L.data(), P.data(), P2.data(), Q.data(), Q2.data());
            for (Cells* c : {&a, &D, &L, &P, &P2, &Q, &Q2}) release(*c);
        }
        release(a0);
        EXPECT_TRUE(ledger.balanced()) << "trial " << trial;
    }
}

}  // namespace
