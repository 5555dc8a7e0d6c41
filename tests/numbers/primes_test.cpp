// Primality tests, factor lists and next primes against a sieve and GMP;
// the machine-integer extended Euclid by its Bezout identity; prime choice
// and prime lists on hand-built inputs; random draws through the test hook;
// reading numbers from a data stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/records.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

constexpr int32_t kSieveTop = 3000000;

// Smallest prime factor of every n up to kSieveTop (spf[n] = n for primes).
const std::vector<int32_t>& spf() {
    static const std::vector<int32_t> table = [] {
        std::vector<int32_t> s(kSieveTop + 1, 0);
        for (int32_t i = 2; i <= kSieveTop; i++) {
            if (s[i]) continue;
            for (int64_t j = i; j <= kSieveTop; j += i)
                if (!s[j]) s[j] = i;
        }
        return s;
    }();
    return table;
}

const std::vector<int32_t>& sieve_primes() {
    static const std::vector<int32_t> list = [] {
        std::vector<int32_t> p;
        for (int32_t i = 2; i <= kSieveTop; i++)
            if (spf()[i] == i) p.push_back(i);
        return p;
    }();
    return list;
}

// 1 for a prime, else its smallest factor, by the sieve's primes (n < 2^42).
int64_t reference_factor(int64_t n) {
    for (int32_t p : sieve_primes()) {
        if (int64_t{p} * p > n) break;
        if (n % p == 0) return p;
    }
    return 1;
}

std::vector<int32_t> list_values(const numnode* p) {
    std::vector<int32_t> v;
    for (; p; p = p->next) v.push_back(p->digit);
    return v;
}

void give_back_list(numnode* list) {
    if (!list) return;
    numnode* t = list;
    while (t->next) t = t->next;
    give_back_chain(list, t);
}

TEST(Primes, TrialDivisionMatchesSieve) {
    const auto& s = spf();
    for (int32_t n = 1; n <= kSieveTop; n++) {
        bool prime = n == 1 || s[n] == n;
        ASSERT_EQ(is_prime(n), prime ? 1 : 0) << n;
        ASSERT_EQ(long_is_prime(n), prime ? 1 : s[n]) << n;
    }
    NumberGen gen(2140);
    std::vector<int32_t> ns = {INT32_MAX, 2147483629, 2147483646, 46337 * 46337, 46349 * 46327,
                               65521 * 32749, 47699};
    for (int i = 0; i < scaled(20000); i++) ns.push_back(static_cast<int32_t>(gen.bits() & INT32_MAX) | 1);
    for (int32_t n : ns) {
        if (n < 1) continue;
        int64_t want = reference_factor(n);
        EXPECT_EQ(long_is_prime(n), want) << n;
        EXPECT_EQ(is_prime(n), want == 1 ? 1 : 0) << n;
    }
    EXPECT_EQ(is_prime(1), 1);
    EXPECT_EQ(is_prime(25), 0);
    EXPECT_EQ(is_prime(49), 0);
    EXPECT_EQ(long_is_prime(91), 7);
    EXPECT_EQ(long_is_prime(121), 11);
    EXPECT_EQ(long_is_prime(35), 5);
}

TEST(Primes, ThreeDigitValues) {
    auto split_test = [](const mpz_class& v) {
        uint64_t x = mpz_get_ui(v.get_mpz_t());
        return longg_is_prime(static_cast<int32_t>(x >> 56), static_cast<int32_t>(x >> 28 & DIGIT_MASK),
                              static_cast<int32_t>(x & DIGIT_MASK));
    };
    EXPECT_EQ(longg_is_prime(0, 1, 1), 17);   // 2^28 + 1 = 17 * 15790321
    EXPECT_EQ(longg_is_prime(0, 0, 97), 1);
    EXPECT_EQ(longg_is_prime(0, 2, 0), 2);
    NumberGen gen(2141);
    gmp_randclass rnd(gmp_randinit_default);
    rnd.seed(gen.seed());
    for (int i = 0; i < scaled(40); i++) {
        // p * q with p the smaller prime: the answer is p, found after p / 3 trials.
        mpz_class p, q, v;
        mpz_class lo = rnd.get_z_bits(8 + gen.below(14));
        mpz_nextprime(p.get_mpz_t(), lo.get_mpz_t());
        mpz_class qlo = rnd.get_z_bits(61 - mpz_sizeinbase(p.get_mpz_t(), 2));
        if (qlo < p) qlo = p;
        mpz_nextprime(q.get_mpz_t(), qlo.get_mpz_t());
        v = p * q;
        ASSERT_LT(mpz_sizeinbase(v.get_mpz_t(), 2), 63u);
        EXPECT_EQ(split_test(v), mpz_get_si(p.get_mpz_t())) << v.get_str();
        if (i % 4 == 0) {
            // Squares of primes near 2^24: the factor is the square root itself.
            mpz_class r = rnd.get_z_bits(24), s;
            mpz_nextprime(s.get_mpz_t(), r.get_mpz_t());
            EXPECT_EQ(split_test(s * s), mpz_get_si(s.get_mpz_t())) << s.get_str();
            // Primes near 2^40.
            mpz_class t = rnd.get_z_bits(40), u;
            mpz_nextprime(u.get_mpz_t(), t.get_mpz_t());
            EXPECT_EQ(split_test(u), 1) << u.get_str();
        }
    }
    // A prime whose head digit is in the third place.
    mpz_class big = (mpz_class(1) << 56) + 81;
    ASSERT_NE(mpz_probab_prime_p(big.get_mpz_t(), 30), 0);
    EXPECT_EQ(split_test(big), 1);
}

TEST(Primes, NextPrime) {
    NumberGen gen(2142);
    for (int i = 0; i < scaled(2000); i++) {
        int32_t n = static_cast<int32_t>(gen.bits() % 2147483000u) | 1;
        if (n < 3) continue;
        mpz_class want;
        mpz_nextprime(want.get_mpz_t(), mpz_class(n).get_mpz_t());
        EXPECT_EQ(nextprime(n), want.get_si()) << n;
    }
    EXPECT_EQ(nextprime(7), 11);
    EXPECT_EQ(nextprime(23), 29);
    EXPECT_EQ(nextprime(1), 3);
    EXPECT_EQ(nextprime(2147483629), 2147483647);
    EXPECT_EQ(nextprime(2147483647), 0);   // no larger machine integer
    EXPECT_EQ(nextprime(24), 29);          // even: outside the domain, but it ends
}

TEST(Primes, FactorListsAndQuotients) {
    RecordLedger ledger;
    NumberGen gen(2143);
    std::vector<int32_t> ns = {1, 2, 97, 360, INT32_MAX, 2147483646, 1 << 30, 3 * 3 * 3 * 5 * 5 * 7,
                               46337 * 46337, 65521 * 32749};
    for (int32_t n = 2; n < 3000; n++) ns.push_back(n);
    for (int i = 0; i < scaled(3000); i++) ns.push_back(static_cast<int32_t>(gen.bits() & INT32_MAX));
    for (int32_t n : ns) {
        if (n < 1) continue;
        numnode* list = reinterpret_cast<numnode*>(&ns);   // junk: the routine must overwrite it
        prime_factors(n, &list);
        std::vector<int32_t> ps = list_values(list);
        int64_t rest = n;
        for (size_t k = 0; k < ps.size(); k++) {
            if (k > 0) {
                EXPECT_LT(ps[k], ps[k - 1]) << "newest (largest) first, n=" << n;
            }
            EXPECT_EQ(reference_factor(ps[k]), 1) << ps[k] << " is listed for " << n;
            ASSERT_EQ(rest % ps[k], 0) << ps[k] << " does not divide " << n;
            while (rest % ps[k] == 0) rest /= ps[k];
        }
        EXPECT_EQ(rest, 1) << "a prime factor of " << n << " is missing";
        give_back_list(list);

        set_prime_quotients(&list, n);
        std::vector<int32_t> qs = list_values(list);
        ASSERT_EQ(qs.size(), ps.size());
        for (size_t k = 0; k < qs.size(); k++) EXPECT_EQ(int64_t{qs[k]} * ps[k], n);
        give_back_list(list);
    }
    numnode* list = nullptr;
    prime_factors(360, &list);
    EXPECT_EQ(list_values(list), (std::vector<int32_t>{5, 3, 2}));
    give_back_list(list);
    prime_factors(1, &list);
    EXPECT_EQ(list, nullptr);
    prime_factors(0, &list);   // outside the domain: must not loop
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(ledger.balanced());
}

TEST(Primes, ExtendedEuclidBezout) {
    NumberGen gen(2144);
    std::vector<std::pair<int32_t, int32_t>> pairs = {{1, 1}, {1, INT32_MAX}, {INT32_MAX, 1},
                                                      {INT32_MAX, INT32_MAX - 1}, {1836311903, 1134903170},
                                                      {65536, 65536 * 3}, {7, 7}};
    for (int i = 0; i < scaled(20000); i++) {
        // A planted common factor g in a third of the pairs.
        int32_t g = 1 + gen.below(i % 3 == 0 ? 1000 : 1);
        int32_t x = 1 + static_cast<int32_t>(gen.bits() % (INT32_MAX / g));
        int32_t y = 1 + static_cast<int32_t>(gen.bits() % (INT32_MAX / g));
        pairs.push_back({x * g, y * g});
    }
    for (auto [a0, b] : pairs) {
        int32_t a = a0, s = 0, t = 0;
        egcd_ints(&a, b, &s, &t);
        EXPECT_EQ(a, std::gcd(a0, b)) << a0 << ", " << b;
        EXPECT_EQ(int64_t{s} * a0 + int64_t{t} * b, a) << a0 << ", " << b;
        EXPECT_LE(std::abs(int64_t{s}), b) << a0 << ", " << b;
        EXPECT_LE(std::abs(int64_t{t}), a0) << a0 << ", " << b;
    }
    int32_t a = 4, s = 0, t = 0;
    egcd_ints(&a, 6, &s, &t);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(s, -1);
    EXPECT_EQ(t, 1);
    a = 6;
    egcd_ints(&a, 3, &s, &t);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(t, 1);
    a = 0;   // outside the domain: no division by zero
    egcd_ints(&a, 5, &s, &t);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(int64_t{s} * 0 + int64_t{t} * 5, 5);
}

// ---------------------------------------------------------------- hooks

long fixed_random_value = 0;
int fixed_rand_value = 0;
long fixed_clock_value = 1;
int random_calls = 0;
long fixed_random() {
    random_calls++;
    return fixed_random_value;
}
int fixed_rand() { return fixed_rand_value; }
long fixed_clock() { return fixed_clock_value; }

// A cycling sequence, for draws that must change from call to call.
std::vector<long> sequence;
size_t sequence_at = 0;
long sequence_random() { return sequence[sequence_at++ % sequence.size()]; }

struct HookGuard {
    HookGuard() { set_random_sources(fixed_random, fixed_rand, fixed_clock); }
    ~HookGuard() { reset_random_sources(); }
};

TEST(RandomDraws, StayInRange) {
    double saved = random_ext2;
    for (int i = 0; i < scaled(20000); i++) {
        int32_t r = rand_integer2();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 16384);
        EXPECT_EQ(r, static_cast<int32_t>(random_ext2 / 2147483647.0 * 16384.0));
        int32_t q = rand_integer3();
        ASSERT_GE(q, 0);
        ASSERT_LE(q, 48870);
        int32_t d = randdint(-3, 4);
        ASSERT_GE(d, -3);
        ASSERT_LE(d, 4);
    }
    random_ext2 = saved;
}

TEST(RandomDraws, HookMakesThemDeterministic) {
    double saved = random_ext2;
    {
        HookGuard hook;
        fixed_random_value = 2147483647;
        EXPECT_EQ(rand_integer2(), 16384);
        EXPECT_EQ(random_ext2, 2147483647.0);
        fixed_random_value = 0;
        EXPECT_EQ(rand_integer2(), 0);
        fixed_random_value = 1073741824;   // half way: 8192
        EXPECT_EQ(rand_integer2(), 8192);
        fixed_random_value = 2147483647;
        fixed_clock_value = 5;
        EXPECT_EQ(rand_integer3(), 16384 * 5 % 48871);
        fixed_clock_value = 3000000000L;   // the product wraps in 32 bits
        EXPECT_EQ(rand_integer3(), static_cast<int32_t>(static_cast<uint32_t>(16384u * 3000000000u) % 48871u));
        fixed_rand_value = 100;
        EXPECT_EQ(randdint(3, 9), 100 % 7 + 3);
        EXPECT_EQ(randdint(5, 5), 5);
        EXPECT_EQ(randdint(5, 4), 5);   // empty range: no division by zero
        EXPECT_EQ(randdint(INT32_MIN, INT32_MAX), static_cast<int32_t>(100 + int64_t{INT32_MIN}));
    }
    int before = random_calls;
    rand_integer2();
    EXPECT_EQ(random_calls, before) << "reset_random_sources must restore the platform source";
    random_ext2 = saved;
}

// ---------------------------------------------------------------- prime choice

imag* prime_record(int32_t p) {
    imag* x = from_mpz(p);
    x->value = p;
    return x;
}

// A two-level poly whose leading number (first terms down) is n, with a
// second term that select_prime must not look at.
polynode* poly_with_lead(const mpz_class& n) {
    polynode *top, *inner, *other;
    newpoly(&top);
    newpoly(&inner);
    newpoly(&other);
    top->exp = 2;
    top->numb = 0;
    top->pcoef = inner;
    top->next = other;
    inner->exp = 0;
    inner->numb = 1;
    inner->ncoef = from_mpz(n);
    inner->next = nullptr;
    other->exp = 0;
    other->numb = 1;
    other->ncoef = from_mpz(1);
    other->next = nullptr;
    return top;
}

class SelectPrimeTest : public ::testing::Test {
protected:
    SelectPrimeTest() {
        for (int32_t p : {101, 103, 107, 109, 113, 127, 131, 137, 139, 149}) table_.push_back(prime_record(p));
        lintmode = 0;
    }
    ~SelectPrimeTest() override {
        for (imag*& x : table_) release(x);
    }
    // The answer worked out from the definition, for the start index i.
    int32_t expected(int32_t i, int32_t hi, const mpz_class& lu, const mpz_class& lv) {
        for (; i <= hi; i++) {
            int32_t p = table_[i - 1]->value;
            if (lu % p != 0 && lv % p != 0) return i;
        }
        return hi + 1;
    }
    RingStateGuard ring_;
    HookGuard hook_;
    std::vector<imag*> table_;
};

TEST_F(SelectPrimeTest, FirstPrimeDividingNeitherLeadingNumber) {
    RecordLedger ledger;
    // 101, 103 and 109 divide u's lead (a multi-digit, negative number), 107 and 113 v's.
    mpz_class lu = -mpz_class(101 * 103 * 109) * (mpz_class(1) << 90);
    mpz_class lv = mpz_class(107 * 113) * mpz_class("1000000000000000000007");
    polynode* u = poly_with_lead(lu);
    polynode* v = poly_with_lead(lv);
    for (long r = 0; r < 12; r++) {
        fixed_random_value = r == 0 ? 0 : 2147483647 / 16384 * r + 1;
        int32_t R = rand_integer2();
        // lo 2, span 8, hi 10: the start is 8 - (R mod 8), inside 1 .. 8.
        int32_t got = select_prime(u, v, 2, 8, 10, table_.data());
        EXPECT_EQ(got, expected(8 - R % 8, 10, lu, lv)) << "R=" << R;
    }
    // Every prime fails: hi + 1.
    polynode* w = poly_with_lead(mpz_class(101 * 103 * 107) * (109 * 113));
    EXPECT_EQ(select_prime(w, v, 0, 1, 5, table_.data()), 6);
    free_poly(&u);
    free_poly(&v);
    free_poly(&w);
    EXPECT_TRUE(ledger.balanced());
}

TEST_F(SelectPrimeTest, StartStaysInsideShortTables) {
    // Index 1 (101) qualifies, 2 and 3 do not: a start moved to lo = 2 answers 4.
    polynode* u = poly_with_lead(103);
    polynode* v = poly_with_lead(107);
    for (long r = 0; r < 64; r++) {
        fixed_random_value = 2147483647 / 16384 * r + 1;
        int32_t R = rand_integer2();
        // (hi - lo) - (R mod span) falls to 0 and below here.
        int32_t got = select_prime(u, v, 2, 64, 4, table_.data());
        int32_t start = 2 - R % 64;
        EXPECT_EQ(got, expected(start >= 1 ? start : 2, 4, 103, 107)) << "R=" << R;
        got = select_prime(u, v, -1, 3, 2, table_.data());   // an auxiliary list of two primes
        EXPECT_GE(got, 1);
        EXPECT_LE(got, 3);
    }
    free_poly(&u);
    free_poly(&v);
}

// ---------------------------------------------------------------- prime lists

class PrimeListTest : public ::testing::Test {
protected:
    PrimeListTest() {
        std::copy(std::begin(small_prime), std::end(small_prime), saved_.begin());
        for (int i = 0; i < SMALL_PRIME_COUNT; i++) small_prime[i] = static_cast<uint16_t>(sieve_primes()[i]);
        lintmode = 0;
    }
    ~PrimeListTest() override {
        std::copy(saved_.begin(), saved_.end(), std::begin(small_prime));
        clear_list();
    }
    void clear_list() {
        while (list_) {
            imag* next = list_->link;
            release(list_);
            list_ = next;
        }
    }
    std::vector<std::pair<int32_t, int32_t>> entries() const {
        std::vector<std::pair<int32_t, int32_t>> v;
        for (imag* x = list_; x; x = x->link) {
            EXPECT_EQ(x->count, 1);
            EXPECT_EQ(x->head, x->tail);
            v.push_back({x->value, x->head->digit});
        }
        return v;
    }
    using Entries = std::vector<std::pair<int32_t, int32_t>>;
    RingStateGuard ring_;
    std::array<uint16_t, SMALL_PRIME_COUNT> saved_;
    imag* list_ = nullptr;
};

TEST_F(PrimeListTest, DescendingWithoutDuplicates) {
    insert_new_prime(50, 7, &list_);
    insert_new_prime(60, 8, &list_);
    EXPECT_EQ(entries(), (Entries{{60, 8}, {50, 7}}));
    add_prime_to_list(&list_, 70, 1);
    add_prime_to_list(&list_, 55, 2);
    add_prime_to_list(&list_, 40, 3);
    add_prime_to_list(&list_, 55, 9);   // already there: unchanged
    EXPECT_EQ(entries(), (Entries{{70, 1}, {60, 8}, {55, 2}, {50, 7}, {40, 3}}));
}

TEST_F(PrimeListTest, AllPrimesOfANumber) {
    EXPECT_EQ(sieve_primes()[4915], 47699);   // the last trial divisor
    RecordLedger ledger;
    imag* n = from_mpz(2 * 3 * 41 * 43);
    add_all_to_list(&list_, 100, n);
    EXPECT_EQ(entries(), (Entries{{43, 100 % 43}, {41, 100 % 41}}));
    EXPECT_TRUE(check_number(n));
    EXPECT_EQ(to_mpz(n), 1);

    // Table primes, generated primes up to the 4,916th, and one beyond it
    // (47,701) that stays in n; a negative n and a negative m.
    mpz_class v = -mpz_class(41) * 41 * 9973 * 10007 * 47699 * 47701 * 3 * 37;
    assign_mpz(n, v);
    add_all_to_list(&list_, -5, n);
    EXPECT_EQ(entries(), (Entries{{47699, 47694}, {10007, 10002}, {9973, 9968}, {43, 100 % 43}, {41, 100 % 41}}))
        << "41 keeps its first value";
    EXPECT_TRUE(check_number(n));
    EXPECT_EQ(to_mpz(n), 47701);

    for (const char* s : {"0", "1", "-1"}) {
        assign_mpz(n, mpz_class(s));
        add_all_to_list(&list_, 1, n);
    }
    EXPECT_EQ(entries().size(), 5u);
    release(n);
    clear_list();
    EXPECT_TRUE(ledger.balanced());
}

TEST(NextPr, NonZeroResidueOfARandomPrime) {
    RingStateGuard ring;
    int32_t saved_prmx = prmx;
    HookGuard hook;
    sequence = {0, 2147483647, 715827882, 1431655765, 123456789, 987654321, 5, 1999999999};
    set_random_sources(sequence_random, fixed_rand, fixed_clock);
    for (int32_t m : {2, 3, 7, 65521, 2147483629}) {
        install_modulus(m);
        modularmode = lintmode = 1;
        for (int i = 0; i < 200; i++) {
            fixed_clock_value = 1 + i * 7919;
            int32_t before = prmx;
            int32_t r = nextpr();
            ASSERT_GE(r, 1) << "m=" << m;
            ASSERT_LT(r, m) << "m=" << m;
            EXPECT_EQ(is_prime(prmx), 1);
            EXPECT_GT(prmx, before);
            EXPECT_LE(prmx - before, 200) << "steps of 2 to 8 between candidates";
        }
    }
    // The same sources from the same state give the same answers.
    install_modulus(65521);
    std::vector<int32_t> first, second;
    for (auto* out : {&first, &second}) {
        prmx = 1001;
        sequence_at = 0;
        fixed_clock_value = 12345;
        for (int i = 0; i < 20; i++) out->push_back(nextpr());
    }
    EXPECT_EQ(first, second);
    prmx = INT32_MAX;   // the next candidate overflows: start again at 7
    nextpr();
    EXPECT_EQ(prmx, 7);
    prmx = saved_prmx;
}

// ---------------------------------------------------------------- chdat

TEST(DirectNumberRead, DigitsCountsAndTheEnd) {
    RecordLedger ledger;
    FILE* saved = chdat;
    chdat = std::tmpfile();
    ASSERT_NE(chdat, nullptr);
    std::fputs(" 2 1 5\n1 -7\n  0\n3 268435455 0 1\n 3 1 2", chdat);
    std::rewind(chdat);
    imag* x = empty_number();
    direct_number_read(x);
    EXPECT_EQ(to_mpz(x), (mpz_class(1) << 28) + 5);
    EXPECT_TRUE(check_number(x));
    direct_number_read(x);   // the old chain is given back
    EXPECT_EQ(to_mpz(x), -7);
    direct_number_read(x);
    EXPECT_EQ(x->count, 0);
    direct_number_read(x);
    EXPECT_EQ(to_mpz(x), (mpz_class(268435455) << 56) + 1);
    direct_number_read(x);   // three digits announced, two present
    EXPECT_EQ(x->count, 0);
    direct_number_read(x);   // end of file
    EXPECT_EQ(x->count, 0);
    std::fclose(chdat);
    chdat = nullptr;
    direct_number_read(x);   // no file
    EXPECT_EQ(x->count, 0);
    release(x);
    chdat = saved;
    EXPECT_TRUE(ledger.balanced());
}

}  // namespace
