// The primality and n-th-prime workers: every value below 10^6 and every
// n-th prime up to the limit against a sieve, larger values against sympy's
// factorint and against a check of the answer itself with GMP, the sign and
// digit-count edges, machine-integer and modular mode.
#include <gtest/gtest.h>

#include <gmpxx.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "builtins/primality.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "support/data_once.h"
#include "support/expect_error.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"
#include "support/ring_setup.h"
#include "support/sympy_ref.h"

namespace {

// Least prime factor of every n below the bound (spf[n] = n for primes).
std::vector<int32_t> least_factor_sieve(int32_t bound) {
    std::vector<int32_t> s(bound, 0);
    for (int32_t i = 2; i < bound; i++) {
        if (s[i]) continue;
        for (int64_t j = i; j < bound; j += i)
            if (!s[j]) s[j] = i;
    }
    return s;
}

// A number quoly holding the digit number v.
quoly* number_quoly(const mpz_class& v) {
    quoly* q = nullptr;
    imag* x = from_mpz(v);
    scalar_to_quoly(x, &q);
    release(x);
    return q;
}

// The worker's answer for the digit number v, as a checked digit number.
mpz_class isprime_of(const mpz_class& v) {
    quoly* q = number_quoly(v);
    isprime_value(&q);
    EXPECT_TRUE(q->isnum);
    EXPECT_TRUE(check_number(q->nnum));
    mpz_class r = to_mpz(q->nnum);
    free_quoly(&q);
    return r;
}

int64_t isprime_of_word(int32_t v) {
    quoly* q = nullptr;
    quoly_set_lint(v, &q);
    isprime_value(&q);
    const int64_t r = q->nnum->value;
    free_quoly(&q);
    return r;
}

// The numbered error the worker raises on the digit number v, 0 for none.
int worker_error(void (*worker)(quoly**), const mpz_class& v) {
    quoly* q = number_quoly(v);
    const int code = error_code([&] { worker(&q); });
    free_quoly(&q);
    return code;
}

int isprime_error(const mpz_class& v) { return worker_error(isprime_value, v); }

mpz_class prime_after(const mpz_class& v) {
    mpz_class p;
    mpz_nextprime(p.get_mpz_t(), v.get_mpz_t());
    return p;
}

bool gmp_prime(const mpz_class& v) { return mpz_probab_prime_p(v.get_mpz_t(), 40) != 0; }

// The answer d for n (2 <= n < 2^63) is right when it can be seen to be:
// 1 with n prime, or a prime d dividing n with no prime below d dividing n.
// Below 2^21 the primes under d are tried; above it n / d < 2^42 can only be
// a prime of at least d.
::testing::AssertionResult answer_is_right(const mpz_class& n, const mpz_class& d) {
    if (d == 1) {
        if (gmp_prime(n)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << n << " is composite, answer 1";
    }
    if (d < 2 || n % d != 0 || !gmp_prime(d))
        return ::testing::AssertionFailure() << n << ": " << d << " is no prime factor";
    if (d == n) return ::testing::AssertionFailure() << n << " is prime, answer itself";
    if (d < (1 << 21)) {
        static const std::vector<int32_t> spf = least_factor_sieve(1 << 21);
        for (uint32_t p = 2; p < d.get_ui(); p++)
            if (spf[p] == static_cast<int32_t>(p) && mpz_divisible_ui_p(n.get_mpz_t(), p))
                return ::testing::AssertionFailure() << n << ": " << p << " divides, answer " << d;
        return ::testing::AssertionSuccess();
    }
    const mpz_class rest = n / d;
    if (rest == 1 || (rest >= d && gmp_prime(rest))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << n << ": cofactor " << rest << " of " << d;
}

TEST(Isprime, EveryValueBelowAMillionAgreesWithTheSieve) {
    PrimeRing ring(0);
    const int32_t bound = 1000000;
    const std::vector<int32_t> spf = least_factor_sieve(bound);
    quoly* q = nullptr;
    for (int32_t n = 0; n < bound; n++) {
        quoly_set(n, &q);
        isprime_value(&q);
        const int32_t want = n < 2 ? 0 : spf[n] == n ? 1 : spf[n];
        ASSERT_EQ(q->nnum->head->digit, want) << n;
    }
    free_quoly(&q);
}

TEST(Isprime, AgreesWithSympyFactorint) {
    ASSERT_TRUE(sympy_importable());
    PrimeRing ring(0);
    NumberGen gen(3101);
    std::vector<mpz_class> cases = {mpz_class("9223372036854775783"),   // 2^63 - 25
                                    mpz_class(2999999929) * mpz_class(3000000019),
                                    mpz_class("9223372036854775807"),   // 2^63 - 1
                                    mpz_class(2147483647), mpz_class(2147483649u)};
    // One to three base-2^28 digits, the three-digit ones below 2^63.
    for (int i = 0; i < scaled(60); i++) {
        const int bits = 1 + gen.below(63);
        mpz_class v = gen.bits() >> (64 - bits);
        cases.push_back(v);
    }
    for (int i = 0; i < scaled(12); i++) {
        // Products of two primes near 3 * 10^9, squares of primes up to
        // just below 2^31.5, a small factor times a large prime, three factors.
        const mpz_class p = prime_after(mpz_class(3000000000u) - gen.below(1 << 24));
        const mpz_class q = prime_after(mpz_class(3000000000u) + gen.below(1 << 24));
        cases.push_back(p * q);
        const mpz_class s = prime_after(mpz_class(1) << (10 + gen.below(21)));
        cases.push_back(s * s);
        cases.push_back(prime_after(mpz_class(gen.below(1 << 20))) *
                        prime_after(mpz_class(gen.bits() >> 24)));
        const mpz_class t = prime_after(mpz_class(1 << 20) + gen.below(1 << 19));
        cases.push_back(t * prime_after(t) * prime_after(t + gen.below(1 << 19)));
    }
    const mpz_class largest_square = prime_after(mpz_class(3037000000u));   // 3037000493^2 < 2^63
    ASSERT_LT(largest_square * largest_square, mpz_class(1) << 63);
    cases.push_back(largest_square * largest_square);
    std::ostringstream script;
    script << "from sympy import factorint, isprime\n"
              "for n in [";
    for (const mpz_class& v : cases) script << v.get_str() << ",";
    script << "]: print(0 if n < 2 else 1 if isprime(n) else min(factorint(n)))";
    FILE* f = popen((python_command() + " -c '" + script.str() + "'").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[64];
    for (const mpz_class& v : cases) {
        ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
        const mpz_class want(std::string(line, line + std::string(line).find('\n')));
        EXPECT_EQ(isprime_of(v), want) << v;
    }
    pclose(f);
}

TEST(Isprime, AnswersCheckOutOnRandomLargeValues) {
    PrimeRing ring(0);
    NumberGen gen(3102);
    for (int i = 0; i < scaled(1500); i++) {
        mpz_class n = gen.bits() >> (1 + gen.below(30));
        if (i % 3 == 0) {
            // Two large factors: the search has to find the smaller one.
            const mpz_class p = prime_after(mpz_class(gen.bits() >> (34 + gen.below(10))));
            const mpz_class lim = (mpz_class(1) << 63) / p;
            mpz_class q = prime_after(lim - 1 - mpz_class(gen.bits() >> 40) % (lim / 2));
            while (p * q >= mpz_class(1) << 63) q = prime_after(q / 2);
            n = p * q;
        }
        if (n < 2) continue;
        ASSERT_TRUE(answer_is_right(n, isprime_of(n))) << gen.trace();
    }
}

TEST(Isprime, SignsAndTheDigitLimit) {
    PrimeRing ring(0);
    const mpz_class two28 = mpz_class(1) << 28, two56 = mpz_class(1) << 56;
    // Every number below 2 gives 0, whatever its digit count up to three.
    for (const mpz_class& v : std::vector<mpz_class>{mpz_class(1), mpz_class(0), mpz_class(-1), mpz_class(-2), mpz_class(-91),
                               -(two28 + 1), -(mpz_class(7) * two28 + 3), -(two56 + 5),
                               -(mpz_class(127) * two56 + 1), -(mpz_class(128) * two56),
                               -((mpz_class(1) << 84) - 1)})
        EXPECT_EQ(isprime_of(v), 0) << v;
    EXPECT_EQ(isprime_of(2), 1);
    EXPECT_EQ(isprime_of(3), 1);
    EXPECT_EQ(isprime_of(91), 7);
    // Two digits on either side of the machine-word split (h = 7, h = 8).
    EXPECT_EQ(isprime_of(mpz_class(2147483647)), 1);
    EXPECT_EQ(isprime_of(mpz_class(2147483659u)), 1);
    EXPECT_EQ(isprime_of(mpz_class(2147483649u)), 3);
    // The largest three-digit value taken, 2^63 - 1 = 7^2 * 73 * ..., then error 289.
    EXPECT_EQ(isprime_of((mpz_class(1) << 63) - 1), 7);
    EXPECT_EQ(isprime_error((mpz_class(1) << 63) - 1), 0);
    EXPECT_EQ(isprime_error(mpz_class(1) << 63), 289);
    EXPECT_EQ(isprime_error((mpz_class(1) << 84) - 1), 289);
    EXPECT_EQ(isprime_error(mpz_class(1) << 84), 289);
    EXPECT_EQ(isprime_error(-(mpz_class(1) << 84)), 289);
    // A factor of 2^28 or more comes back as two digits.
    const mpz_class big = isprime_of(mpz_class(2999999929) * mpz_class(3000000019));
    EXPECT_EQ(big, 2999999929);
    EXPECT_EQ(isprime_of(mpz_class(268435459) * mpz_class(268435459)), 268435459);
}

TEST(Isprime, MachineValues) {
    PrimeRing ring(0);
    RingStateGuard words;
    lintmode = 1;
    for (int32_t v : {INT32_MIN, -7, -1, 0, 1}) EXPECT_EQ(isprime_of_word(v), 0) << v;
    EXPECT_EQ(isprime_of_word(2), 1);
    EXPECT_EQ(isprime_of_word(91), 7);
    EXPECT_EQ(isprime_of_word(INT32_MAX), 1);
    EXPECT_EQ(isprime_of_word(46337 * 46337), 46337);
    EXPECT_EQ(isprime_of_word(65521 * 32749), 32749);
    lintmode = 0;
    {
        PrimeRing residues(2147483629);
        EXPECT_EQ(isprime_of_word(2147483628), 2);
        EXPECT_EQ(isprime_of_word(2147483587), 1);
    }
}

// ---------------------------------------------------------------- n-th prime

int32_t nth_prime_of(int32_t n) {
    quoly* q = nullptr;
    // n as typed outside modular arithmetic: a stored value would be its residue.
    int saved = 0;
    check_modular(&saved);
    quoly_set(n, &q);
    restore_modular(saved);
    nth_prime(&q);
    const int32_t r = lintmode ? q->nnum->value : q->nnum->head->digit;
    EXPECT_TRUE(q->isnum);
    free_quoly(&q);
    return r;
}

int nth_prime_error(const mpz_class& n) { return worker_error(nth_prime, n); }

TEST(NthPrime, AgreesWithTheSieveToTheLimit) {
    PrimeRing ring(0);
    const std::vector<int32_t> spf = least_factor_sieve(200000);
    std::vector<int32_t> primes;
    for (int32_t n = 2; n < 200000; n++)
        if (spf[n] == n) primes.push_back(n);
    ASSERT_GE(primes.size(), static_cast<size_t>(NTH_PRIME_LIMIT));
    // From the top first: the walk past the table then serves the rest.
    EXPECT_EQ(nth_prime_of(NTH_PRIME_LIMIT), 163841);
    for (int32_t n = 1; n <= NTH_PRIME_LIMIT; n++) ASSERT_EQ(nth_prime_of(n), primes[n - 1]) << n;
    EXPECT_EQ(nth_prime_of(1229), 9973);
    EXPECT_EQ(nth_prime_of(1230), 10007);
}

TEST(NthPrime, OutOfRangeAndModular) {
    PrimeRing ring(0);
    for (const mpz_class& n : std::vector<mpz_class>{mpz_class(0), mpz_class(-1), mpz_class(NTH_PRIME_LIMIT + 1),
                               mpz_class(1) << 28, mpz_class(1) << 40, -(mpz_class(1) << 40)})
        EXPECT_EQ(nth_prime_error(n), 346) << n;
    EXPECT_EQ(nth_prime_error(NTH_PRIME_LIMIT), 0);
    PrimeRing residues(97);
    EXPECT_EQ(nth_prime_of(1230), 10007 % 97);
    EXPECT_EQ(nth_prime_of(25), 0);   // 97 itself
    EXPECT_EQ(nth_prime_of(3), 5);
}

}  // namespace
