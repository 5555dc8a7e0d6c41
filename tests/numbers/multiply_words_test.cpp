// Products on 64-bit words against GMP: forced for every length (the word
// cut-off lowered), around the default cut-off, across the word Karatsuba's
// split sizes and its unbalanced branch, on all-ones digits (the longest
// carries through the packed words) and powers of two and their neighbours.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"
#include "support/random_numbers.h"

namespace {

// Sets product cut-offs for the guard's lifetime.
class Cuts {
public:
    Cuts(int32_t words, int32_t ntt) : words_(digits::words_cut), ntt_(digits::ntt_cut) {
        digits::words_cut = words;
        digits::ntt_cut = ntt;
    }
    ~Cuts() {
        digits::words_cut = words_;
        digits::ntt_cut = ntt_;
    }
    Cuts(const Cuts&) = delete;
    Cuts& operator=(const Cuts&) = delete;

private:
    int32_t words_, ntt_;
};

mpz_class all_ones(int32_t n) { return (mpz_class(1) << (DIGIT_BITS * n)) - 1; }

// fast_mult into a fresh record and into the first operand's own.
void check_product(const mpz_class& a, const mpz_class& b) {
    SCOPED_TRACE("a = " + describe(a) + ", b = " + describe(b));
    Num X(a), Y(b), Z;
    fast_mult(X, Y, Z);
    EXPECT_TRUE(check_number(Z));
    EXPECT_TRUE(holds(Z, a * b)) << "fresh result";
    fast_mult(X, Y, X);
    EXPECT_TRUE(holds(X, a * b)) << "result into the first operand";
    EXPECT_TRUE(holds(Y, b)) << "the second operand changed";
}

// The kernel itself against the digit schoolbook, on raw magnitudes with
// leading zeros (which the dispatcher hands on as they are).
void check_kernel(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    const int32_t na = static_cast<int32_t>(a.size()), nb = static_cast<int32_t>(b.size());
    std::vector<uint32_t> want(a.size() + b.size()), got(a.size() + b.size(), 0xffffffffu);
    digits::mag_mul_school(a.data(), na, b.data(), nb, want.data());
    digits::mag_mul_words(a.data(), na, b.data(), nb, got.data());
    EXPECT_EQ(got, want) << na << " by " << nb << " digits";
}

TEST(WordProducts, ForcedOnEveryShape) {
    NumberGen gen(3701);
    const Cuts cuts(1, INT32_MAX);
    for (int i = 0; i < scaled(120); i++) {
        const auto [na, nb] = gen.lengths(700);
        SCOPED_TRACE(gen.trace());
        const mpz_class a = gen.digits(na);
        check_product(a, gen.digits(nb));
        check_product(a, a);
    }
}

TEST(WordProducts, KaratsubaSplitsAndUnbalancedHalves) {
    // 24 words (about 55 digits) is where the word product starts halving;
    // a short operand at most half the long one takes the unbalanced branch.
    NumberGen gen(3702);
    const Cuts cuts(1, INT32_MAX);
    for (int32_t n : {53, 54, 55, 56, 57, 109, 110, 111, 112, 220, 221, 447}) {
        for (int32_t m : {n, n - 1, n / 2, n / 2 + 1, n / 2 - 1, 3 * n, 7}) {
            SCOPED_TRACE(gen.trace());
            check_product(gen.digits(n), gen.digits(m));
            check_product(all_ones(n), all_ones(m));
        }
    }
}

TEST(WordProducts, AroundTheDefaultCutOff) {
    NumberGen gen(3703);
    const int32_t c = digits::words_cut;
    for (int32_t n : {c - 1, c, c + 1}) {
        for (int32_t m : {n, n + 1, 2 * n, 5 * n, 40 * n}) {
            SCOPED_TRACE(gen.trace());
            const mpz_class a = gen.digits(n);
            check_product(a, gen.digits(m));
            check_product(gen.digits(m), a);
        }
        const mpz_class a = gen.digits(n);
        check_product(a, a);
    }
}

TEST(WordProducts, CarriesAcrossPackedWords) {
    // All-ones digits fill every packed word; powers of two and their
    // neighbours put single bits on the word and digit boundaries.
    const Cuts cuts(1, INT32_MAX);
    for (int32_t n : {1, 2, 3, 16, 32, 64, 65, 200}) {
        check_product(all_ones(n), all_ones(n));
        check_product(-all_ones(n), all_ones(n + 3));
    }
    for (int32_t bits : {64, 128, 28 * 16, 64 * 24, 64 * 24 + 1, 64 * 48 - 1, 64 * 100}) {
        const mpz_class p = mpz_class(1) << bits;
        for (const mpz_class& a : {mpz_class(p - 1), p, mpz_class(p + 1)})
            for (const mpz_class& b : {mpz_class(p - 1), p, mpz_class(p + 1)}) check_product(a, b);
    }
}

TEST(WordProducts, KernelWithLeadingZeros) {
    NumberGen gen(3704);
    for (int i = 0; i < scaled(200); i++) {
        std::vector<uint32_t> a(static_cast<size_t>(gen.between(1, 300))), b(static_cast<size_t>(gen.between(1, 300)));
        for (auto& d : a) d = static_cast<uint32_t>(gen.bits()) & DIGIT_MASK;
        for (auto& d : b) d = static_cast<uint32_t>(gen.bits()) & DIGIT_MASK;
        if (gen.chance(30)) a.back() = 0;
        if (gen.chance(30)) std::fill(b.begin() + static_cast<long>(b.size() / 2), b.end(), 0u);
        if (gen.chance(20)) std::fill(a.begin(), a.end(), DIGIT_MASK);
        check_kernel(a, b);
    }
}

// Digits (least significant first) read as GMP reads 28-bit limbs.
mpz_class from_digits(const std::vector<uint32_t>& d) {
    mpz_class r;
    if (!d.empty()) mpz_import(r.get_mpz_t(), d.size(), -1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, d.data());
    return r;
}

TEST(SchoolProducts, RowRunsAndLongTimesShort) {
    // The schoolbook settles carries after runs of 255 rows; the rows run
    // over the shorter operand whichever order the operands come in.
    NumberGen gen(3705);
    for (const auto& [na, nb] : std::vector<std::pair<int32_t, int32_t>>{
             {1, 5000}, {5000, 1}, {2, 3000}, {254, 255}, {255, 256}, {256, 255}, {510, 511}, {600, 3}, {3, 600}, {700, 700}}) {
        for (bool ones : {false, true}) {
            std::vector<uint32_t> a(static_cast<size_t>(na)), b(static_cast<size_t>(nb));
            for (auto& d : a) d = ones ? DIGIT_MASK : static_cast<uint32_t>(gen.bits()) & DIGIT_MASK;
            for (auto& d : b) d = ones ? DIGIT_MASK : static_cast<uint32_t>(gen.bits()) & DIGIT_MASK;
            std::vector<uint32_t> r(a.size() + b.size(), 0xffffffffu);
            digits::mag_mul_school(a.data(), na, b.data(), nb, r.data());
            EXPECT_EQ(from_digits(r), from_digits(a) * from_digits(b)) << na << " by " << nb << (ones ? ", all ones" : "");
            for (uint32_t d : r) ASSERT_LE(d, DIGIT_MASK);
        }
    }
}

}  // namespace
