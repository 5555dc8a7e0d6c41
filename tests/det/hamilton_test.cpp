// The Hamiltonian path search against a brute-force search over vertex
// orders; the layered matrix, its lines put back exactly, the free lists
// back to their sizes, the leaf limit, error 309 and an interrupt.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "../interp/stream_text.h"
#include "det/hamilton.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "numbers/random.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/ring_setup.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/platform.h"

namespace {

using Graph = std::vector<std::vector<int>>;   // [from][to], 0 or 1

// Does some order of the vertices follow arcs all the way?
bool brute_force(const Graph& g) {
    const int n = static_cast<int>(g.size());
    if (n == 1) return false;   // the search's answer for one vertex
    std::vector<int> p(n);
    std::iota(p.begin(), p.end(), 0);
    do {
        bool ok = true;
        for (int i = 0; i + 1 < n && ok; i++) ok = g[p[i]][p[i + 1]] == 1;
        if (ok) return true;
    } while (std::next_permutation(p.begin(), p.end()));
    return false;
}

template <class T>
int64_t chain_length(T* x) {
    int64_t n = 0;
    for (; x; x = x->next) n++;
    return n;
}

struct FreeSizes {
    int64_t entries = chain_length(colm_garb);
    int64_t frames = chain_length(spargarb);
    int64_t records = ham_garb_size();
    int64_t numbers = 0;
    FreeSizes() {
        for (imag* x = imhead; x; x = x->link) numbers++;
    }
    bool operator==(const FreeSizes& o) const {
        return entries == o.entries && frames == o.frames && records == o.records && numbers == o.numbers;
    }
};

// Every entry of the layered matrix as (row, column, label).
std::vector<std::tuple<int32_t, int32_t, int32_t>> entries_of(sparse* f, int32_t N) {
    std::vector<std::tuple<int32_t, int32_t, int32_t>> v;
    for (int32_t r = 1; r <= N; r++)
        for (colm* e = *row_head(f, r); e; e = e->next) v.emplace_back(r, e->col, ham_label(e));
    return v;
}

struct Cells {
    std::vector<quoly*> q;
    int32_t n;
    explicit Cells(const Graph& g) : n(static_cast<int32_t>(g.size())) {
        q.assign(static_cast<size_t>(n) * n, nullptr);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) quoly_set(g[i][j], &q[static_cast<size_t>(j) * n + i]);
    }
    ~Cells() {
        for (quoly*& c : q) free_quoly(&c);
    }
};

struct Layered {
    sparse* f = nullptr;
    int32_t N = 0;
    explicit Layered(Cells& c) { N = set_up_hamilton(c.q.data(), c.n, &f); }
    ~Layered() { free_stuff(f, N); }
};

// The driver's answer; the matrix must come out as it went in. limit 0:
// none given. *same: every free list back to its size.
int search_once(const Graph& g, int32_t limit, bool* same) {
    Cells cells(g);
    const FreeSizes before;
    int answer = -1;
    {
        Layered m(cells);
        const auto shape = entries_of(m.f, m.N);
        quoly* r = nullptr;
        quoly_set(1, &r);
        polynode* lim = nullptr;
        if (limit) {
            quoly* l = nullptr;
            quoly_set(limit, &l);
            quoly_to_poly(l, &lim);
            free_quoly(&l);
        }
        hamilton_path_driver(&m.f, m.N, &r, lim);
        if (lim) free_poly(&lim);
        EXPECT_TRUE(r->isnum);
        answer = r->nnum->count == 0 ? 0 : r->nnum->head->digit;
        free_quoly(&r);
        EXPECT_EQ(entries_of(m.f, m.N), shape);
        EXPECT_EQ(hamilton_running, 0);
    }
    *same = FreeSizes() == before;
    return answer;
}

// The same, with every free list back to its size; the first search of a
// size may still carve records from the stashes.
int search(const Graph& g, int32_t limit = 0) {
    bool same = false;
    const int answer = search_once(g, limit, &same);
    if (!same) {
        EXPECT_EQ(search_once(g, limit, &same), answer);
        EXPECT_TRUE(same);
    }
    return answer;
}

Graph random_graph(std::mt19937_64& rng, int n, double density) {
    std::bernoulli_distribution arc(density);
    Graph g(n, std::vector<int>(n));
    for (auto& row : g)
        for (int& x : row) x = arc(rng);
    return g;
}

Graph planted(std::mt19937_64& rng, int n, double density) {
    Graph g = random_graph(rng, n, density);
    std::vector<int> p(n);
    std::iota(p.begin(), p.end(), 0);
    std::shuffle(p.begin(), p.end(), rng);
    for (int i = 0; i + 1 < n; i++) g[p[i]][p[i + 1]] = 1;
    return g;
}

struct Hamilton : ::testing::Test {
    PrimeRing ring{0};
};

TEST_F(Hamilton, LayeredMatrixAsLaidOut) {
    // 0 -> 1, 1 -> 1 (a loop), 2 -> 0.
    Graph g = {{0, 1, 0}, {0, 1, 0}, {1, 0, 0}};
    Cells c(g);
    Layered m(c);
    ASSERT_EQ(m.N, 10);
    std::set<std::tuple<int32_t, int32_t, int32_t>> want;
    const int n = 3;
    for (int t = 1; t <= n * n; t++) want.emplace(t, t, 0);
    for (int v = 0; v < n; v++) {
        want.emplace(v * n + n, 10, 0);
        want.emplace(10, v * n + 1, v + 1);
    }
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            if (g[i][j])
                for (int k = 1; k < n; k++) want.emplace(i * n + k, j * n + k + 1, j + 1);
    const auto got = entries_of(m.f, m.N);
    const std::set<std::tuple<int32_t, int32_t, int32_t>> got_set(got.begin(), got.end());
    EXPECT_EQ(got_set, want);
    EXPECT_EQ(got.size(), want.size());
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));   // rows ascend by column
}

TEST_F(Hamilton, EveryGraphUpToFourVertices) {
    for (int n = 1; n <= 4; n++) {
        const int cells = n * n;
        for (int bits = 0; bits < (1 << cells); bits++) {
            Graph g(n, std::vector<int>(n));
            for (int c = 0; c < cells; c++) g[c / n][c % n] = (bits >> c) & 1;
            const int want = brute_force(g);
            ASSERT_EQ(search(g), want) << "n " << n << " bits " << bits;
            // Small limits force retries; the answer must not change.
            if (bits % 97 == 0) {
                for (int32_t limit : {1, 2, 10, -3}) ASSERT_EQ(search(g, limit), want) << bits << " " << limit;
            }
        }
    }
}

TEST_F(Hamilton, RandomGraphsFiveToNine) {
    std::mt19937_64 rng(34);
    int found = 0, total = 0;
    for (int n = 5; n <= 9; n++)
        for (double density : {0.15, 0.25, 0.4, 0.6})
            for (int rep = 0; rep < (n <= 7 ? 60 : 25); rep++) {
                Graph g = random_graph(rng, n, density);
                const int want = brute_force(g);
                ASSERT_EQ(search(g), want) << n << " " << density << " " << rep;
                if (rep % 10 == 0) {
                    for (int32_t limit : {1, 2, 10}) ASSERT_EQ(search(g, limit), want);
                }
                found += want;
                total++;
            }
    // Both answers were exercised.
    EXPECT_GT(found, total / 10);
    EXPECT_LT(found, total - total / 10);
}

TEST_F(Hamilton, NoPathWithoutLeafShortcut) {
    // Arcs only between the two sides of a 4/2 split: every row and column
    // has entries, yet no path alternates through six vertices.
    Graph g(6, std::vector<int>(6));
    for (int i = 0; i < 6; i++)
        for (int j = 0; j < 6; j++)
            if ((i < 4) != (j < 4)) g[i][j] = 1;
    EXPECT_FALSE(brute_force(g));
    EXPECT_EQ(search(g), 0);
    EXPECT_EQ(search(g, 1), 0);   // ends although every run up to the doubled limits gives up
    EXPECT_GT(ham_runs, 1);
    // The progress lines: one per run, and a retry line after each that gave up.
    const int saved_verbose = verbose;
    verbose = 1;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(search(g, 1), 0);
    const std::string shown = ::testing::internal::GetCapturedStdout();
    verbose = saved_verbose;
    EXPECT_NE(shown.find("Hamiltonian path search, side 37: "), std::string::npos) << shown;
    size_t runs = 0, retries = 0;
    for (size_t at = 0; (at = shown.find("   total branches, leaf count: ", at)) != std::string::npos; at++) runs++;
    for (size_t at = 0; (at = shown.find(" Leaf count limit exceeded; try again: \n", at)) != std::string::npos; at++)
        retries++;
    EXPECT_GT(retries, 0u);
    EXPECT_EQ(runs, retries + 1) << shown;
    // The first run gives up at its first leaf.
    const size_t first = shown.find("   total branches, leaf count: ");
    const size_t end = shown.find('\n', first);
    EXPECT_EQ(shown.substr(end - 3, 3), ", 1") << shown;
}

long fixed_random() { return 1234567; }
int fixed_rand() { return 77; }
long fixed_clock() { return 4321; }

TEST_F(Hamilton, PlantedPathsUpToAHundred) {
    // The tie-breaks follow the random sources: fixed, so that the time is.
    set_random_sources(fixed_random, fixed_rand, fixed_clock);
    // 10,001 levels deep at n = 100: on a stack as large as the interpreter's.
    const int rc = run_with_stack(uint64_t{256} << 20, [] {
        std::mt19937_64 rng(100);
        for (auto [n, density] : {std::pair{30, 0.3}, {40, 0.5}, {50, 0.5}, {100, 0.0}}) {
            Graph g = planted(rng, n, density);
            if (search(g) != 1) return n;
        }
        return 0;
    });
    reset_random_sources();
    EXPECT_EQ(rc, 0);
}

TEST_F(Hamilton, LinesOutAndBackAcrossFrames) {
    // n = 46: 2,117 rows, two frames.
    std::mt19937_64 rng(7);
    Graph g = random_graph(rng, 46, 0.1);
    Graph one = {{0, 1}, {0, 0}};
    EXPECT_EQ(search(one), 1);   // the count tables exist from the first search on
    Cells c(g);
    Layered m(c);
    const auto shape = entries_of(m.f, m.N);
    std::vector<uint16_t> counts(m.N, 0), mass(m.N, 0);
    for (auto& [r, col, l] : shape) {
        counts[col - 1]++;
        if (l > 0) mass[col - 1]++;
    }
    for (int32_t i = 0; i < m.N; i++) number_col[i] = counts[i], colm_mass[i] = mass[i];
    const FreeSizes before;
    for (int32_t r : {1, 2000, 2048, 2049, m.N}) {
        colm* saved = nullptr;
        ham_remove_row(m.f, m.N, r, &saved);
        ham_record* removed = nullptr;
        ham_remove_col(m.f, 47, m.N - 1, &removed);
        EXPECT_GE(number_col[46], 8192);
        ham_restore_col(47, removed);
        ham_restore_row(m.f, m.N, r, saved);
        ASSERT_EQ(entries_of(m.f, m.N), shape) << r;
        for (int32_t i = 0; i < m.N; i++) ASSERT_EQ(number_col[i], counts[i]);
        for (int32_t i = 0; i < m.N; i++) ASSERT_EQ(colm_mass[i], mass[i]);
    }
    EXPECT_TRUE(FreeSizes() == before);
}

TEST_F(Hamilton, SecondSearchRefused) {
    Graph g = {{0, 1}, {0, 0}};
    Cells c(g);
    Layered m(c);
    quoly* r = nullptr;
    quoly_set(1, &r);
    hamilton_running = 1;   // as below a nested level opened during a search
    EXPECT_TARVEX_ERROR(hamilton_path_driver(&m.f, m.N, &r, nullptr), 309);
    hamilton_running = 0;
    free_quoly(&r);
    EXPECT_EQ(search(g), 1);
}

TEST_F(Hamilton, InterruptGivesEverythingBack) {
    FILE* saved_input = Input;
    FILE* saved_output = Output;
    const int saved_cmd = command_int;
    Output = stdout;
    command_int = 1;
    leftover = 0;
    finish = nullptr;
    init_scanner_structures();
    at_statement_start = true;
    // At the nested level, a second search is refused and unwinds all.
    std::mt19937_64 rng(3);
    Graph g = planted(rng, 12, 0.3);
    Cells c(g);
    const FreeSizes before;
    for (const char* typed : {"&@;\n", ";\nHamilton([<i = 1, 2><j = 1, 2> j - i]);\n"}) {
        Layered m(c);
        const auto shape = entries_of(m.f, m.N);
        TextStream in(typed);
        Input = in.f;
        leftover = 0;
        interrupt_pending = 1;
        quoly* r = nullptr;
        quoly_set(1, &r);
        int code = 9999;
        ::testing::internal::CaptureStdout();
        try {
            hamilton_path_driver(&m.f, m.N, &r, nullptr);
        } catch (const TarvexUnwind& e) {
            code = e.code;
        }
        const std::string shown = ::testing::internal::GetCapturedStdout();
        interrupt_pending = 0;
        free_quoly(&r);
        EXPECT_NE(code, 9999) << typed;
        if (typed[0] == ';') {
            EXPECT_EQ(code, 309) << shown;
        }
        EXPECT_EQ(hamilton_running, 0);
        EXPECT_EQ(entries_of(m.f, m.N), shape);
    }
    Input = saved_input;
    Output = saved_output;
    command_int = saved_cmd;
    levelcount = 1;
    EXPECT_EQ(ham_garb_size(), before.records);
    EXPECT_EQ(search(g), 1);
}

}  // namespace
