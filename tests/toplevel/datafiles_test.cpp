// The data directory read back through the start-up loader, checked against
// independent facts: primality and consecutiveness by GMP, products and
// binomials by GMP, the field axioms over every element, and the Lagrange
// basis evaluated at its points.
#include <gtest/gtest.h>
#include <gmpxx.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace fs = std::filesystem;

namespace {

const char* data_dir() { return TARVEX_TEST_DATA_DIR; }

class LoadedData : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::testing::internal::CaptureStdout();
        initialize(data_dir());
        std::string out = ::testing::internal::GetCapturedStdout();
        // A clean directory reports nothing: no missing file, no damage.
        EXPECT_EQ(out, "");
    }
};

bool probably_prime(long n) {
    mpz_class z = n;
    return mpz_probab_prime_p(z.get_mpz_t(), 30) > 0;
}

long next_prime_after(long n) {
    mpz_class z = n, r;
    mpz_nextprime(r.get_mpz_t(), z.get_mpz_t());
    return r.get_si();
}

// Checks that table[0..n) is the run of consecutive primes starting at first.
::testing::AssertionResult consecutive_primes(const std::vector<long>& t, long first) {
    if (t.empty() || t[0] != first)
        return ::testing::AssertionFailure() << "run does not start at " << first;
    for (size_t i = 0; i < t.size(); i++) {
        if (!probably_prime(t[i])) return ::testing::AssertionFailure() << t[i] << " is not prime";
        if (i + 1 < t.size() && next_prime_after(t[i]) != t[i + 1])
            return ::testing::AssertionFailure() << "gap after " << t[i];
    }
    return ::testing::AssertionSuccess();
}

mpz_class radix_value(const imag* x, long radix) {
    mpz_class v = 0;
    for (const numnode* p = x->head; p; p = p->next) v = v * radix + p->digit;
    return v;
}

}  // namespace

TEST_F(LoadedData, PrimeTablesAreConsecutiveRuns) {
    std::vector<long> small(small_prime, small_prime + SMALL_PRIME_COUNT);
    EXPECT_TRUE(consecutive_primes(small, 2));
    EXPECT_EQ(small.back(), 9973);
    std::vector<long> med(med_prime, med_prime + MED_PRIME_COUNT);
    EXPECT_TRUE(consecutive_primes(med, 17021));
    EXPECT_EQ(med.back(), 42349);

    // prime[5..603] continue the medium run; prime[0..4] are built in.
    const long built_in[5] = {3001, 16087, 16273, 16339, 19997};
    for (int i = 0; i < 5; i++) EXPECT_EQ(prime[i]->value, built_in[i]);
    std::vector<long> pp;
    for (int i = 5; i < PRIME_COUNT; i++) {
        EXPECT_TRUE(check_number(prime[i]));
        EXPECT_EQ(prime[i]->value, prime[i]->head->digit);
        pp.push_back(prime[i]->value);
    }
    EXPECT_TRUE(consecutive_primes(pp, next_prime_after(42349)));
    EXPECT_EQ(pp.back(), 48869);

    ASSERT_NE(big_prime, nullptr);
    std::vector<long> big(big_prime, big_prime + BIG_PRIME_COUNT);
    EXPECT_TRUE(consecutive_primes(big, next_prime_after(48869)));
    EXPECT_EQ(big.back(), 65521);
    EXPECT_EQ(next_prime_after(65521), 65537);

    ASSERT_NE(lrgpme, nullptr);
    std::vector<long> large(lrgpme, lrgpme + LRGPME_COUNT);
    EXPECT_TRUE(consecutive_primes(large, large[0]));
    EXPECT_EQ(large.back(), 2147483629);
    EXPECT_GT(next_prime_after(large.back()), 2147483644);

    for (int i = 0; i < GLOBAL_LIST_COUNT; i++) EXPECT_EQ(global_list[i], small_prime[i + 7]);
}

TEST_F(LoadedData, PrimeProductsAndTheirInverses) {
    mpz_class product = 1;
    for (int j = 0; j < NUM_PROD_COUNT; j++) {
        product *= prime[5 + j]->value;
        ASSERT_TRUE(check_number(num_prod[j]));
        ASSERT_EQ(to_mpz(num_prod[j]), product) << "num_prod[" << j << "]";
    }
    EXPECT_EQ(num_prod[NUM_PROD_COUNT - 1]->count, 332);
    for (int j = 0; j < NUM_PROD_COUNT - 1; j++) {
        mpz_class m = prime[j + 6]->value;
        mpz_class r = (to_mpz(num_prod[j]) * invs_prod[j]) % m;
        ASSERT_EQ(r, 1) << "invs_prod[" << j << "]";
        ASSERT_GE(invs_prod[j], 0);
    }
}

TEST_F(LoadedData, PowersFactorialsAndBinomials) {
    for (int k = 1; k <= TWO_28_COUNT; k++) {
        mpz_class expect = mpz_class(1) << (28 * k);
        ASSERT_EQ(radix_value(two_28[k - 1], 100000000), expect) << "2^(28*" << k << ")";
        for (const numnode* p = two_28[k - 1]->head; p; p = p->next)
            ASSERT_TRUE(p->digit >= 0 && p->digit < 100000000);
    }
    ASSERT_NE(tens_base, nullptr);
    EXPECT_EQ(to_mpz(tens_base), 100000000);

    for (int i = 0; i < FACTS_COUNT; i++) {
        if (i > 0) {
            EXPECT_GT(factnum[i], factnum[i - 1]);
        }
        mpz_class f;
        mpz_fac_ui(f.get_mpz_t(), factnum[i]);
        EXPECT_TRUE(check_number(facts[i]));
        EXPECT_EQ(to_mpz(facts[i]), f) << factnum[i] << "!";
    }
    EXPECT_EQ(factnum[0], 1);
    EXPECT_EQ(factnum[1], 10);
    EXPECT_EQ(facts[0]->value, 1);
    EXPECT_EQ(facts[1]->value, 3628800);

    // Row m holds C(3m, k) for k = 1 .. floor(3m/2); Pascal's rule links
    // consecutive rows through C(3m, k) = sum of C(3m-3, k-i) C(3, i).
    int idx = 0;
    for (int m = 1; m <= 50; m++) {
        for (int k = 1; k <= 3 * m / 2; k++, idx++) {
            mpz_class c;
            mpz_bin_uiui(c.get_mpz_t(), 3 * m, k);
            ASSERT_TRUE(check_number(binom[idx]));
            ASSERT_EQ(to_mpz(binom[idx]), c) << "C(" << 3 * m << "," << k << ")";
            if (idx < 80) {
                ASSERT_EQ(binom[idx]->value, c.get_si());
            }
        }
    }
    EXPECT_EQ(idx, BINOM_COUNT);
}

TEST_F(LoadedData, FieldTablesObeyTheFieldAxioms) {
    for (int a = 0; a < 256; a++) {
        for (int b = 0; b < 256; b++) {
            // Symmetric, and equal to the GF(2^16) product restricted to GF(2^8).
            ASSERT_EQ(f256prod[a * 256 + b], f256prod[b * 256 + a]);
            uint16_t big = (a && b) ? f2t16exp[(f2t16log[a] + f2t16log[b]) % 65535] : 0;
            ASSERT_EQ(f256prod[a * 256 + b], big) << a << "*" << b;
        }
        if (a) {
            ASSERT_EQ(f256prod[a * 256 + f256inv[a]], 1);
            ASSERT_EQ(f2t16inv[a], f256inv[a]);
        }
        ASSERT_EQ(f256prod[f256sqr[a] * 256 + f256sqr[a]], a);
    }
    // Distributivity over xor, on a sample of triples.
    for (int a = 1; a < 256; a += 7)
        for (int b = 0; b < 256; b += 5)
            for (int c = 0; c < 256; c += 11)
                ASSERT_EQ(f256prod[a * 256 + (b ^ c)], f256prod[a * 256 + b] ^ f256prod[a * 256 + c]);

    std::vector<bool> seen(65536, false);
    for (int i = 0; i < 65535; i++) {
        uint16_t x = f2t16exp[i];
        ASSERT_NE(x, 0);
        ASSERT_FALSE(seen[x]) << "generator order below 65535";
        seen[x] = true;
        ASSERT_EQ(f2t16log[x], i);
    }
    EXPECT_EQ(f2t16exp[65535], 1);
    auto mul = [](uint32_t a, uint32_t b) -> uint32_t {
        return (a && b) ? f2t16exp[(f2t16log[a] + f2t16log[b]) % 65535] : 0;
    };
    for (uint32_t x = 1; x < 65536; x++) {
        ASSERT_EQ(mul(x, f2t16inv[x]), 1u) << x;
        ASSERT_EQ(mul(f2t16sqr[x], f2t16sqr[x]), x);
    }
    EXPECT_EQ(f2t16sqr[0], 0);
}

TEST_F(LoadedData, LagrangeBasisTakesOneAtItsOwnPoint) {
    ASSERT_NE(pol[0], nullptr);
    EXPECT_EQ(pol[0]->isnum, 1);
    for (int n = 1; n <= 11; n++) {
        int m = n + 1;   // the points 1 .. m
        for (int j = 0; j <= n; j++) {
            quoly* q = pol[POL_SIDE * n + j];
            ASSERT_NE(q, nullptr);
            ASSERT_EQ(q->isnum, 0);
            mpz_class den = 1;
            if (q->den) {
                ASSERT_EQ(q->den->numb, 1);
                den = to_mpz(q->den->ncoef);
                ASSERT_GT(den, 1);
            }
            // Dense numerator: exponents n .. 0, one-node number polynomials above 0.
            std::vector<mpz_class> coef;
            int e = n;
            for (polynode* t = q->pnum; t; t = t->next, e--) {
                ASSERT_EQ(t->exp, e);
                if (e > 0) {
                    ASSERT_EQ(t->numb, 0);
                    ASSERT_EQ(t->pcoef->next, nullptr);
                    coef.push_back(to_mpz(t->pcoef->ncoef));
                } else {
                    ASSERT_EQ(t->numb, 1);
                    coef.push_back(to_mpz(t->ncoef));
                }
            }
            ASSERT_EQ(e, -1);
            for (int x = 1; x <= m; x++) {
                mpz_class v = 0;
                for (auto& c : coef) v = v * x + c;
                mpz_class expect = (x == j + 1) ? den : mpz_class(0);
                ASSERT_EQ(v, expect) << "L_" << j + 1 << " of " << m << " points at " << x;
            }
        }
    }
    // Row 1, entry 0 is 2 - x over 1: the denominator 1 is dropped.
    EXPECT_EQ(pol[POL_SIDE * 1 + 0]->den, nullptr);
}

TEST_F(LoadedData, ErrorTextsAndBuiltinNames) {
    for (int n = 1; n <= ERROR_COUNT; n++) {
        size_t len = std::strlen(erp[n]);
        ASSERT_GT(len, 1u) << "error " << n;
        ASSERT_LE(len, 65u);
    }
    EXPECT_EQ(numbuiltins, 110);
    for (int i = 0; i <= numbuiltins; i++) {
        size_t len = std::strlen(builtin[i].name);
        ASSERT_GE(len, 1u);
        ASSERT_LE(len, 10u);
        ASSERT_TRUE(builtin[i].name[0] >= 'A' && builtin[i].name[0] <= 'Z') << builtin[i].name;
        if (i > 0) {
            ASSERT_LT(std::strcmp(builtin[i - 1].name, builtin[i].name), 0);
        }
        ASSERT_EQ(find_built_in(0, numbuiltins, builtin[i].name), i);
    }
    EXPECT_STREQ(builtin[111].name, "b");
    EXPECT_EQ(find_built_in(0, numbuiltins, "Nosuchname"), -1);
    // Names whose positions the built-in dispatcher relies on.
    EXPECT_STREQ(builtin[0].name, "Array");
    EXPECT_STREQ(builtin[3].name, "Chpoly");
    EXPECT_STREQ(builtin[6].name, "Colreduce");
}

// ---- damaged and missing files, on copies of the directory ----

namespace {

class DataCopy : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("tarvex_data_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (auto& e : fs::directory_iterator(data_dir())) fs::copy_file(e.path(), dir / e.path().filename());
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path() const { return dir.string() + "/"; }
    std::string read(const char* name) const {
        std::ifstream in(dir / name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const char* name, const std::string& text) const { std::ofstream(dir / name) << text; }

    // Runs start-up and returns what it printed; failed tells whether it stopped.
    std::string start(bool* failed) const {
        ::testing::internal::CaptureStdout();
        *failed = false;
        try {
            initialize(path().c_str());
        } catch (const StartupFailure&) {
            *failed = true;
        }
        return ::testing::internal::GetCapturedStdout();
    }
};

// Replaces the last whitespace-separated value of a file's text.
std::string with_last_value(const std::string& text, const std::string& v) {
    size_t end = text.find_last_not_of(" \n\r\t") + 1;
    size_t start = text.find_last_of(" \n\r\t", end - 1) + 1;
    return text.substr(0, start) + v + text.substr(end);
}

}  // namespace

TEST_F(DataCopy, MissingEssentialFilesStopStartUp) {
    const char* files[] = {"Qerrs", "pow228", "pprods", "chdat", "primelist"};
    for (const char* f : files) {
        SCOPED_TRACE(f);
        std::string saved = read(f);
        fs::remove(dir / f);
        bool failed;
        std::string out = start(&failed);
        EXPECT_TRUE(failed);
        EXPECT_NE(out.find("*** Tarvex error. can't find "), std::string::npos) << out;
        EXPECT_NE(out.find(f), std::string::npos) << out;
        write(f, saved);
    }
    bool failed;
    start(&failed);
    EXPECT_FALSE(failed);
}

TEST_F(DataCopy, MissingOptionalTablesAreReportedAndSkipped) {
    fs::remove(dir / "bprimes");
    fs::remove(dir / "f2t16d");
    bool failed;
    std::string out = start(&failed);
    EXPECT_FALSE(failed);
    EXPECT_NE(out.find("*** Tarvex error. can't find bprimes"), std::string::npos) << out;
    EXPECT_NE(out.find("*** Tarvex error. can't find f2t16d"), std::string::npos) << out;
    EXPECT_EQ(big_prime, nullptr);
    EXPECT_NE(lrgpme, nullptr);
}

TEST_F(DataCopy, CheckValuesReportDamage) {
    write("f256d", with_last_value(read("f256d"), "77"));
    write("bprimes", with_last_value(read("bprimes"), "65519"));
    write("lrgpmes", with_last_value(read("lrgpmes"), "2147483647"));
    bool failed;
    std::string out = start(&failed);
    EXPECT_FALSE(failed);
    EXPECT_NE(out.find("*** Tarvex error. f256d file is damaged 3."), std::string::npos) << out;
    EXPECT_NE(out.find("*** Tarvex error. bprimes file is damaged."), std::string::npos) << out;
    EXPECT_NE(out.find("*** Tarvex error. lrgpmes file is damaged."), std::string::npos) << out;
}

TEST_F(DataCopy, QerrsLinesAndBuiltinCount) {
    std::string text = read("Qerrs");
    size_t eol = text.find('\n');
    std::string seventy(70, 'x');
    text = seventy + text.substr(eol);
    // Keep 101 pairs only and say N = 100.
    size_t pos = 0;
    for (int i = 0; i < ERROR_COUNT; i++) pos = text.find('\n', pos) + 1;
    std::istringstream rest(text.substr(pos));
    std::string n, a, b, pairs;
    rest >> n;
    for (int i = 0; i <= 100 && rest >> a >> b; i++) pairs += a + " " + b + "\n";
    write("Qerrs", text.substr(0, pos) + "100\n" + pairs);
    bool failed;
    std::string out = start(&failed);
    EXPECT_FALSE(failed);
    EXPECT_EQ(out, "");
    EXPECT_EQ(std::string(erp[1]), std::string(65, 'x'));
    EXPECT_EQ(erp[2][std::strlen(erp[2]) - 1], '\n');   // a short line keeps its line end
    EXPECT_EQ(numbuiltins, 100);
    for (int i = 101; i < BUILTIN_SLOTS; i++) {
        EXPECT_STREQ(builtin[i].name, "b");
        EXPECT_STREQ(builtin[i].word, "");
    }

    write("Qerrs", text.substr(0, pos) + "54\n" + pairs);
    out = start(&failed);
    EXPECT_NE(out.find("number builtins is wrong."), std::string::npos) << out;
}

TEST_F(DataCopy, ChdatReadsOnPastStartUpUntilItEnds) {
    bool failed;
    start(&failed);
    ASSERT_FALSE(failed);
    // Start-up read rows 1..11; the next entry is row 12, entry 0.
    quoly* q = nullptr;
    get_char_poly(0, 0, &q);
    ASSERT_NE(q, nullptr);
    int terms = 0;
    for (polynode* t = q->pnum; t; t = t->next) terms++;
    EXPECT_EQ(terms, 13);
    free_quoly(&q);
    // Reading past the last entry is reported, not a crash.
    bool reported = false;
    ::testing::internal::CaptureStdout();
    try {
        for (int i = 0; i < 1000; i++) {
            get_char_poly(0, 0, &q);
            free_quoly(&q);
        }
    } catch (const TarvexUnwind&) {
        reported = true;
    }
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(reported);
    EXPECT_NE(out.find("chdat has no more entries."), std::string::npos);
}
