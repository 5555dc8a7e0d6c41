// Powers of one-variable polynomials with one-digit integer coefficients by
// the recurrence of J. C. P. Miller: for h = a_0 + a_1 y + .. + a_d y^d with
// a_0 != 0 and G = h^n, h G' = n h' G gives
//     k a_0 G_k = sum over i = 1 .. min(d, k) of ((n + 1) i - k) a_i G_(k-i),
// an exact division for every k. A binomial gives the binomial rows
// G_k = (n - k + 1) / k (a_1 / a_0) G_(k-1). Each coefficient costs a few
// products of a number by a word, against the many long products of
// repeated squaring. The polynomial is x^m h(x^g), m its last exponent and
// g the greatest common divisor of its exponent gaps.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polymult_impl.h"
#include "poly/powers.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

int32_t power_rows_route = 0;

namespace polyimpl {

namespace {

__extension__ typedef unsigned __int128 u128;

// Above this many terms repeated squaring through the multi-modular product
// costs about as much as the recurrence's terms-times-coefficients word
// products (measured: even at 64 terms, and 3 to 8 times less below 16).
constexpr int32_t MAX_ROW_TERMS = 32;
constexpr int64_t MAX_ROW_POINTS = int64_t{1} << 24;

// A number of the rows: magnitude words (least significant first) and sign.
struct Row {
    int64_t first;    // into the word pool
    int32_t length;   // significant words
    int sign;         // -1, 0 or 1
};

}  // namespace

polynode* power_by_rows(const polynode* p, int32_t n) {
    if (modularmode || lintmode || power_rows_route < 0 || n < 2) return nullptr;
    // The terms: every coefficient a lone one-digit number.
    std::vector<std::pair<int32_t, int32_t>> terms;   // exponent, coefficient
    for (const polynode* t = p; t; t = t->next) {
        const polynode* c = t->numb ? t : t->pcoef;
        if (!lone_number(c) || c->ncoef->count != 1) return nullptr;
        terms.emplace_back(t->exp, c->ncoef->head->digit);
        if (static_cast<int32_t>(terms.size()) > MAX_ROW_TERMS) return nullptr;
    }
    if (terms.size() < 2) return nullptr;
    const int64_t m = terms.back().first;
    int64_t g = 0;
    for (const auto& [e, c] : terms) g = std::gcd(g, int64_t{e} - m);
    const int64_t d = (terms.front().first - m) / g;
    const int64_t points = int64_t{n} * d + 1;
    if (points > MAX_ROW_POINTS) return nullptr;
    std::vector<int64_t> a(static_cast<size_t>(d) + 1, 0);
    double norm = 0;
    for (const auto& [e, c] : terms) {
        a[static_cast<size_t>((e - m) / g)] = c;
        norm += std::abs(static_cast<double>(c));
    }
    // |G_k| <= (sum |a_i|)^n; the words of every row fit this bound.
    const int64_t max_words = static_cast<int64_t>(n * std::log2(norm) / 64) + 3;
    const int64_t bytes = 8 * points * (max_words + 2);
    if (totalavailablememory > 0 && static_cast<uint64_t>(bytes) > memavail()) return nullptr;

    std::vector<Row> rows(static_cast<size_t>(points));
    std::vector<uint64_t> pool;
    pool.reserve(static_cast<size_t>(points) * 8);
    // G_0 = a_0^n.
    {
        std::vector<uint64_t> x{1};
        const uint64_t a0 = static_cast<uint64_t>(std::llabs(a[0]));
        for (int32_t i = 0; i < n; i++) {
            uint64_t carry = 0;
            for (uint64_t& w : x) {
                const u128 t = static_cast<u128>(w) * a0 + carry;
                w = static_cast<uint64_t>(t);
                carry = static_cast<uint64_t>(t >> 64);
            }
            if (carry) x.push_back(carry);
        }
        rows[0] = Row{0, static_cast<int32_t>(x.size()), (a[0] < 0 && n % 2) ? -1 : 1};
        pool.insert(pool.end(), x.begin(), x.end());
    }
    int32_t widest = rows[0].length;
    std::vector<uint64_t> acc;
    const uint64_t a0 = static_cast<uint64_t>(std::llabs(a[0]));
    for (int64_t k = 1; k < points; k++) {
        if ((k & 255) == 0) poll_interrupt();
        // acc, two's complement over `width` words, := the sum.
        const int32_t width = widest + 3;
        acc.assign(static_cast<size_t>(width), 0);
        for (int64_t i = 1; i <= std::min(d, k); i++) {
            const Row& r = rows[static_cast<size_t>(k - i)];
            if (a[i] == 0 || r.sign == 0) continue;
            const int64_t c = ((int64_t{n} + 1) * i - k) * a[i];
            if (c == 0) continue;
            const uint64_t mag = static_cast<uint64_t>(std::llabs(c));
            const bool minus = (c < 0) != (r.sign < 0);
            const uint64_t* w = pool.data() + r.first;
            uint64_t carry = 0, borrow = 0;
            int32_t j = 0;
            for (; j < r.length; j++) {
                const u128 t = static_cast<u128>(w[j]) * mag + carry;
                carry = static_cast<uint64_t>(t >> 64);
                const uint64_t v = static_cast<uint64_t>(t);
                if (minus) {
                    const uint64_t s = acc[j] - v - borrow;
                    borrow = (acc[j] < v || (acc[j] == v && borrow)) ? 1 : 0;
                    acc[j] = s;
                } else {
                    const u128 s = static_cast<u128>(acc[j]) + v + borrow;
                    acc[j] = static_cast<uint64_t>(s);
                    borrow = static_cast<uint64_t>(s >> 64);
                }
            }
            // The top word of the product, then the carry or borrow.
            for (; j < width && (carry || borrow); j++) {
                if (minus) {
                    const uint64_t v = carry;
                    const uint64_t s = acc[j] - v - borrow;
                    borrow = (acc[j] < v || (acc[j] == v && borrow)) ? 1 : 0;
                    acc[j] = s;
                } else {
                    const u128 s = static_cast<u128>(acc[j]) + carry + borrow;
                    acc[j] = static_cast<uint64_t>(s);
                    borrow = static_cast<uint64_t>(s >> 64);
                }
                carry = 0;
            }
        }
        int sign = 1;
        if (acc.back() >> 63) {
            sign = -1;
            uint64_t c = 1;
            for (uint64_t& w : acc) {
                w = ~w + c;
                c = (c && w == 0) ? 1 : 0;
            }
        }
        int32_t len = width;
        while (len > 0 && acc[len - 1] == 0) len--;
        if (len == 0) {
            rows[static_cast<size_t>(k)] = Row{0, 0, 0};
            continue;
        }
        // Exact division by k |a_0| (below 2^64: k < 2^24, |a_0| < 2^28).
        const uint64_t div = static_cast<uint64_t>(k) * a0;
        uint64_t rem = 0;
        for (int32_t j = len; j-- > 0;) {
            const u128 t = (static_cast<u128>(rem) << 64) | acc[j];
            acc[j] = static_cast<uint64_t>(t / div);
            rem = static_cast<uint64_t>(t % div);
        }
        if (rem != 0) tarvex_error("inexact division in power_by_rows", 1);
        while (len > 0 && acc[len - 1] == 0) len--;
        if (a[0] < 0) sign = -sign;
        rows[static_cast<size_t>(k)] = Row{static_cast<int64_t>(pool.size()), len, sign};
        pool.insert(pool.end(), acc.begin(), acc.begin() + len);
        widest = std::max(widest, len);
    }

    Chain out;
    for (int64_t k = points - 1; k >= 0; k--) {
        const Row& r = rows[static_cast<size_t>(k)];
        if (r.sign == 0) continue;
        const int32_t e = static_cast<int32_t>(m * n + g * k);
        polynode* c = new_node(0, 1, words_number(pool.data() + r.first, r.length, r.sign));
        out.push(monomial_term(e, c));
    }
    return out.head;
}

}  // namespace polyimpl
