// Timing of the conversion of long numbers to radix 10^8 beside GMP's
// decimal output of the same values. The growth column is the time ratio
// between successive doublings of the length: about 3 for a conversion
// built on Karatsuba products, 4 for a quadratic one.
#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "numbers/base10.h"
#include "numbers/numbers.h"
#include "numbers/tables.h"
#include "storage/stash.h"

namespace {

// A record whose chain holds the given radix-10^8 digits, most significant first.
imag* chain_of(const std::vector<int32_t>& d) {
    imag* x = new_number();
    numnode* tail = nullptr;
    for (int32_t v : d) {
        numnode* node = newnumnode();
        node->digit = v;
        node->next = nullptr;
        if (tail) tail->next = node; else x->head = node;
        tail = node;
    }
    x->tail = tail;
    x->count = static_cast<int32_t>(d.size());
    return x;
}

// Decimal text cut into groups of eight digits from the right.
std::vector<int32_t> groups_of(const std::string& s) {
    size_t first = s.size() % 8 == 0 ? 8 : s.size() % 8;
    std::vector<int32_t> out{std::atoi(s.substr(0, first).c_str())};
    for (size_t i = first; i < s.size(); i += 8) out.push_back(std::atoi(s.substr(i, 8).c_str()));
    return out;
}

std::string decimal(const mpz_t v) {
    std::string s(mpz_sizeinbase(v, 10) + 2, '\0');
    mpz_get_str(s.data(), 10, v);
    s.resize(std::char_traits<char>::length(s.c_str()));
    return s;
}

// The start-up tables, made from GMP's decimal text of each power.
void fill_tables() {
    if (!tens_base) {
        tens_base = new_number();
        special_set(TEN_8, tens_base);
    }
    if (two_28[0]) return;
    mpz_t p;
    mpz_init(p);
    for (int k = 1; k <= TWO_28_COUNT; k++) {
        mpz_ui_pow_ui(p, 2, 28ul * k);
        two_28[k - 1] = chain_of(groups_of(decimal(p)));
    }
    mpz_clear(p);
}

// A digit number from base-2^28 digits (most significant first) and the same value in GMP.
imag* number_of(const std::vector<uint32_t>& d, mpz_t v) {
    mpz_import(v, d.size(), 1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, d.data());
    imag* x = new_number();
    numnode* tail = nullptr;
    for (uint32_t v28 : d) {
        numnode* node = newnumnode();
        node->digit = static_cast<int32_t>(v28);
        node->next = nullptr;
        if (tail) tail->next = node; else x->head = node;
        tail = node;
    }
    x->tail = tail;
    x->count = static_cast<int32_t>(d.size());
    return x;
}

template <class F>
double best_ms(int reps, F f) {
    double best = 1e300;
    for (int r = 0; r < reps; r++) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

// One table: each row converts the number made by make(k) both ways and
// checks that the two agree.
template <class Make>
bool run_table(const char* title, Make make) {
    const int32_t ks[] = {1000, 2000, 4000, 8000, 16000};
    std::printf("%s\n", title);
    std::printf("%8s %10s %12s %12s %8s %10s %10s\n", "k", "digits", "ours ms", "gmp ms", "ours/gmp",
                "ours x", "gmp x");
    double prev_ours = 0, prev_gmp = 0;
    bool ok = true;
    for (int32_t k : ks) {
        mpz_t v;
        mpz_init(v);
        imag* x = make(k, v);
        imag* out = new_number();
        int reps = k <= 4000 ? 7 : 3;
        double ours = best_ms(reps, [&] { verybig_base_10(x->head, x->tail, x->count, out); });
        std::string text;
        double gmp = best_ms(reps, [&] { text = decimal(v); });

        std::vector<int32_t> want = groups_of(text);
        int32_t i = 0;
        bool same = static_cast<int32_t>(want.size()) == out->count;
        for (numnode* p = out->head; same && p; p = p->next) same = p->digit == want[i++];
        if (!same) {
            std::printf("k = %d: the conversion disagrees with GMP\n", k);
            ok = false;
        }

        std::printf("%8d %10d %12.3f %12.3f %8.2f", k, out->count, ours, gmp, ours / gmp);
        if (prev_ours > 0)
            std::printf(" %10.2f %10.2f\n", ours / prev_ours, gmp / prev_gmp);
        else
            std::printf(" %10s %10s\n", "-", "-");
        prev_ours = ours;
        prev_gmp = gmp;
        free_imag(&x);
        free_imag(&out);
        mpz_clear(v);
    }
    std::printf("\n");
    return ok;
}

}  // namespace

int main() {
    open_system_stashes();
    init_number_constants();
    fill_tables();

    bool ok = run_table("2^(28k)", [](int32_t k, mpz_t v) {
        std::vector<uint32_t> d(static_cast<size_t>(k) + 1, 0u);
        d[0] = 1;
        return number_of(d, v);
    });
    std::mt19937_64 rng(28);
    ok &= run_table("random numbers of k base-2^28 digits", [&rng](int32_t k, mpz_t v) {
        std::vector<uint32_t> d(static_cast<size_t>(k));
        for (auto& x : d) x = static_cast<uint32_t>(rng()) & DIGIT_MASK;
        d[0] |= 1;
        return number_of(d, v);
    });
    return ok ? 0 : 1;
}
