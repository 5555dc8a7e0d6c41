// Timing of the conversion of long numbers to radix 10^8 beside GMP's
// decimal output of the same values. The growth column is the time ratio
// between successive doublings of the length: about 3 for a conversion
// built on Karatsuba products, 4 for a quadratic one, near 2 on the
// transforms.
//
//   bench_base10            the tables, and 100000! computed and converted
//   bench_base10 nttcut     radix-10^8 products by Karatsuba and by the
//                           transforms, to place their cut-off
#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    const int32_t ks[] = {1000, 2000, 4000, 8000, 16000, 32000, 64000};
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

// n by n radix-10^8 products, Karatsuba against the transforms.
void place_ntt_cut() {
    std::mt19937_64 rng(10);
    std::printf("%8s %12s %12s %8s\n", "digits", "Karatsuba", "transforms", "ratio");
    for (int32_t n : {200, 400, 600, 800, 1000, 1500, 2000, 4000}) {
        std::vector<int32_t> da(static_cast<size_t>(n)), db(static_cast<size_t>(n));
        for (auto& x : da) x = static_cast<int32_t>(rng() % TEN_8);
        for (auto& x : db) x = static_cast<int32_t>(rng() % TEN_8);
        da[0] = db[0] = 1;
        imag* a = chain_of(da);
        imag* b = chain_of(db);
        imag* c = new_number();
        const int32_t before = base10_ntt_cut;
        base10_ntt_cut = INT32_MAX;
        const double k = best_ms(9, [&] { base_10_fast_mult(a, b, c); });
        base10_ntt_cut = 1;
        const double t = best_ms(9, [&] { base_10_fast_mult(a, b, c); });
        base10_ntt_cut = before;
        std::printf("%8d %12.4f %12.4f %8.2f\n", n, k, t, t / k);
        free_imag(&a);
        free_imag(&b);
        free_imag(&c);
    }
}

// r := lo * (lo + 1) * ... * hi by halving the range: balanced products.
void range_product(int32_t lo, int32_t hi, imag* r) {
    if (hi - lo < 8) {
        setvalue(lo, r);
        for (int32_t k = lo + 1; k <= hi; k++) simp_mult(r, r, k, nullptr);
        return;
    }
    const int32_t mid = lo + (hi - lo) / 2;
    imag* right = new_number();
    range_product(lo, mid, r);
    range_product(mid + 1, hi, right);
    fast_mult(r, right, r);
    free_imag(&right);
}

// 100000! by a product tree and its decimal text, beside GMP's.
bool factorial_row() {
    constexpr int32_t n = 100000;
    imag* f = new_number();
    imag* out = new_number();
    const double ours = best_ms(3, [&] { range_product(1, n, f); });
    const double conv = best_ms(3, [&] { verybig_base_10(f->head, f->tail, f->count, out); });
    mpz_t g;
    mpz_init(g);
    std::string text;
    const double theirs = best_ms(3, [&] { mpz_fac_ui(g, n); });
    const double gconv = best_ms(3, [&] { text = decimal(g); });
    const std::vector<int32_t> want = groups_of(text);
    bool same = static_cast<int32_t>(want.size()) == out->count;
    int32_t i = 0;
    for (numnode* p = out->head; same && p; p = p->next) same = p->digit == want[i++];
    std::printf("100000!: %d base-2^28 digits, %zu decimal digits\n", f->count, text.size());
    std::printf("%-22s %12s %12s %8s\n", "", "ours ms", "gmp ms", "ours/gmp");
    std::printf("%-22s %12.3f %12.3f %8.2f\n", "computed", ours, theirs, ours / theirs);
    std::printf("%-22s %12.3f %12.3f %8.2f%s\n", "converted to decimal", conv, gconv, conv / gconv,
                same ? "" : "   WRONG RESULT");
    mpz_clear(g);
    free_imag(&f);
    free_imag(&out);
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    open_system_stashes();
    init_number_constants();
    fill_tables();
    if (argc > 1 && std::strcmp(argv[1], "nttcut") == 0) {
        place_ntt_cut();
        return 0;
    }

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
    ok &= factorial_row();
    return ok ? 0 : 1;
}
