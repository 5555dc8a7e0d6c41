// Products over Z by images modulo word primes: both operands are packed
// into one variable (Kronecker substitution of the exponents, each level's
// stride the span of the product at the levels inside it), their
// coefficients reduced modulo enough primes below 2^62 for the bound
// min(terms) * max|a| * max|b|, each image multiplied by a schoolbook or a
// transform convolution, and every coefficient of the product joined by the
// explicit Chinese remainder theorem (the sum of the scaled residues less
// the nearest multiple of the primes' product).
//
// The route is taken when its estimated cost is well below the estimate of
// the term-list routes (schoolbook over number records, or the machine
// accumulator box for small coefficients); the estimates are in
// nanoseconds, their constants measured on the benchmarks of
// bench/bench_intmult.cpp. The product is the term-list product exactly:
// the polynomial is rebuilt in canonical form from the dense result.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/exponent_range.h"
#include "poly/polymult.h"
#include "poly/polymult_impl.h"
#include "poly/wordprimes_impl.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

int32_t multimod_route = 0;

namespace polyimpl {

namespace {

using wordprimes::Prime;
using wordprimes::u128;

// Cost constants in nanoseconds (measured, see the file comment).
constexpr double NS_CALL = 15000;         // fixed cost of the images: primes, tables, scratch
constexpr double NS_RESIDUE = 0.5;        // one coefficient word reduced modulo one prime
constexpr double NS_BUTTERFLY = 2.0;      // one butterfly of a transform in the cache
constexpr double NS_BUTTERFLY_FAR = 4.0;  // the same beyond 2^16 points
constexpr double NS_SCHOOL_MODP = 1.4;    // one product of the schoolbook image convolution
constexpr double NS_CRT = 1.0;            // one word product of the Chinese remaindering
constexpr double NS_POINT = 3.0;          // one point of a packed result or a box scanned
constexpr double NS_TERM_OUT = 60.0;      // one term of a result made (node and number)
constexpr double NS_DIGIT_OUT = 8.0;      // one digit node of a result
constexpr double NS_TERM_PRODUCT = 90.0;  // one term product of the list routes, past its digits
constexpr double NS_DIGIT_PRODUCT = 1.1;  // one digit product inside it
// Past this many digits a product of number records runs on transforms:
// per digit of the product and per doubling of its length, measured.
constexpr double TRANSFORM_DIGITS = 1000;
constexpr double NS_TRANSFORM_DIGIT = 12.0;
constexpr double NS_LIMB_PRODUCT = 1.5;   // one limb product of the box
constexpr double NS_KARATSUBA_PAIR = 12;  // per pair of terms of the list Karatsuba, measured
constexpr double GAIN = 0.7;              // the images must cost less than this share
// Below this many digit products (pairs of terms times their digits) the
// images never pay: their fixed cost alone exceeds the whole product.
constexpr double SMALL_PRODUCT = 4000;
constexpr int32_t BOX_DIGITS = 32;        // the box takes coefficients up to this length

constexpr int64_t MAX_POINTS = int64_t{1} << 24;   // packed result length (transforms to 2^25)
// The combination's box (both products on one layout, from exponent 0)
// must not be mostly empty next to its operands' terms.
constexpr int64_t COMBINATION_POINTS_PER_TERM = 128;
constexpr int64_t MAX_UNBUDGETED_BYTES = int64_t{1} << 31;   // images without a memory budget

// Levels a polynomial can have (150 variables and the numbers below them).
constexpr int32_t MAX_LEVELS = 160;

// What the estimate needs, gathered in one walk without allocating: the
// estimate runs before every product over Z.
struct Shape {
    int32_t levels = 0;              // lo and hi are set below this
    int32_t lo[MAX_LEVELS];          // exponents per level (0 always included)
    int32_t hi[MAX_LEVELS];
    int64_t terms = 0;
    int64_t words = 0;               // coefficient words (64 bits) in all
    int32_t max_digits = 0;
    int64_t max_bits = 0;
    bool deep = false;               // more than MAX_LEVELS levels
};

int32_t bit_length(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }

// The monomials of p and the digits of its longest coefficient.
void tally(const polynode* p, int64_t& terms, int32_t& digits) {
    for (; p; p = p->next) {
        if (!p->numb) {
            tally(p->pcoef, terms, digits);
            continue;
        }
        terms++;
        digits = std::max(digits, p->ncoef->count);
    }
}

void measure(const polynode* p, int32_t level, Shape& s) {
    if (level >= MAX_LEVELS) {
        s.deep = true;
        return;
    }
    if (s.levels <= level) {
        s.lo[level] = s.hi[level] = 0;
        s.levels = level + 1;
    }
    for (; p; p = p->next) {
        if (!p->numb) {
            s.lo[level] = std::min(s.lo[level], p->exp);
            s.hi[level] = std::max(s.hi[level], p->exp);
            measure(p->pcoef, level + 1, s);
            continue;
        }
        const imag* x = p->ncoef;
        s.terms++;
        s.max_digits = std::max(s.max_digits, x->count);
        const int64_t bits = int64_t{DIGIT_BITS} * (x->count - 1) + bit_length(static_cast<uint32_t>(std::abs(x->head->digit)));
        s.max_bits = std::max(s.max_bits, bits);
        s.words += (bits + 63) / 64;
    }
}

struct Packed {
    std::vector<int64_t> index;     // per monomial
    std::vector<int32_t> first;     // its first word in words
    std::vector<int32_t> count;     // words; the sign is kept apart
    std::vector<int8_t> sign;
    std::vector<uint64_t> words;
    int64_t length = 0;             // 1 + the greatest index
};

// The magnitude of x in 64-bit words appended to out; returns the count.
int32_t append_words(const imag* x, std::vector<uint64_t>& out) {
    const size_t start = out.size();
    const int64_t bits = int64_t{DIGIT_BITS} * x->count;
    out.resize(start + static_cast<size_t>((bits + 63) / 64), 0);
    uint64_t* w = out.data() + start;
    // The chain runs from the most significant digit.
    int64_t bit = bits - DIGIT_BITS;
    for (const numnode* d = x->head; d; d = d->next, bit -= DIGIT_BITS) {
        const uint64_t v = static_cast<uint64_t>(std::abs(d->digit));
        w[bit >> 6] |= v << (bit & 63);
        if ((bit & 63) > 64 - DIGIT_BITS) w[(bit >> 6) + 1] |= v >> (64 - (bit & 63));
    }
    size_t n = out.size() - start;
    while (n > 0 && w[n - 1] == 0) n--;
    out.resize(start + n);
    return static_cast<int32_t>(n);
}

void pack(const polynode* p, int32_t level, int32_t levels, int64_t offset, const int32_t* lo, const int64_t* stride,
          Packed& out) {
    for (; p; p = p->next) {
        // Levels below a number node have exponent 0.
        int64_t k = offset + (int64_t{p->exp} - lo[level]) * stride[level];
        if (!p->numb) {
            pack(p->pcoef, level + 1, levels, k, lo, stride, out);
            continue;
        }
        for (int32_t j = level + 1; j < levels; j++) k += int64_t{-lo[j]} * stride[j];
        out.index.push_back(k);
        out.first.push_back(static_cast<int32_t>(out.words.size()));
        out.count.push_back(append_words(p->ncoef, out.words));
        out.sign.push_back(p->ncoef->head->digit < 0 ? -1 : 1);
        out.length = std::max(out.length, k + 1);
    }
}

// The residues of a packed operand modulo q, as a dense array. A
// coefficient of 32-bit halves h_j is sum h_j (2^32j R mod p), one
// Montgomery reduction at the end: every product is below 2^94, and fewer
// than 2^31 of them stay below p 2^64 as the reduction needs.
void image(const Packed& a, const Prime& q, std::vector<uint64_t>& powers, std::vector<uint64_t>& out) {
    out.assign(static_cast<size_t>(a.length), 0);
    for (size_t t = 0; t < a.index.size(); t++) {
        const uint64_t* w = a.words.data() + a.first[t];
        const int32_t n = a.count[t];
        while (static_cast<int32_t>(powers.size()) < 2 * n) {
            // 2^32 in Montgomery form is 2^32 R; each step multiplies by 2^32.
            const uint64_t step = q.to_mont(uint64_t{1} << 32);
            powers.push_back(powers.empty() ? q.to_mont(1) : q.mul(powers.back(), step));
        }
        u128 acc = 0;
        for (int32_t j = 0; j < n; j++) {
            acc += static_cast<u128>(w[j] & 0xFFFFFFFFu) * powers[2 * j];
            acc += static_cast<u128>(w[j] >> 32) * powers[2 * j + 1];
        }
        const uint64_t r = q.redc(acc);
        out[a.index[t]] = a.sign[t] < 0 && r ? q.p - r : r;
    }
}

// What the Chinese remaindering needs of a set of primes.
struct Crt {
    int32_t n = 0;                      // primes
    std::vector<Prime> primes;
    std::vector<uint64_t> product;      // M, n words
    std::vector<uint64_t> cofactors;    // M / p_i, n words each
    std::vector<uint64_t> weights;      // (M / p_i)^-1 mod p_i, Montgomery form
    std::vector<double> inverse;        // 1 / p_i
    std::vector<uint64_t> columns;      // word k of M / p_i at [k n + i]

    explicit Crt(const std::vector<Prime>& ps) : n(static_cast<int32_t>(ps.size())), primes(ps) {
        auto times = [](std::vector<uint64_t>& x, uint64_t m) {
            uint64_t carry = 0;
            for (uint64_t& w : x) {
                const u128 t = static_cast<u128>(w) * m + carry;
                w = static_cast<uint64_t>(t);
                carry = static_cast<uint64_t>(t >> 64);
            }
        };
        product.assign(static_cast<size_t>(n), 0);
        product[0] = 1;
        for (const Prime& q : primes) times(product, q.p);
        cofactors.assign(static_cast<size_t>(n) * n, 0);
        for (int32_t i = 0; i < n; i++) {
            std::vector<uint64_t> c(static_cast<size_t>(n), 0);
            c[0] = 1;
            uint64_t mod = 1;   // M / p_i modulo p_i
            for (int32_t j = 0; j < n; j++) {
                if (j == i) continue;
                times(c, primes[j].p);
                mod = static_cast<uint64_t>(static_cast<u128>(mod) * (primes[j].p % primes[i].p) % primes[i].p);
            }
            std::copy(c.begin(), c.end(), cofactors.begin() + static_cast<int64_t>(i) * n);
            weights.push_back(primes[i].to_mont(primes[i].inverse(mod)));
            inverse.push_back(1.0 / static_cast<double>(primes[i].p));
        }
        columns.resize(static_cast<size_t>(n) * n);
        for (int32_t i = 0; i < n; i++)
            for (int32_t k = 0; k < n; k++) columns[static_cast<size_t>(k) * n + i] = cofactors[static_cast<size_t>(i) * n + k];
    }

    // The integer of least absolute value with the residues r[0 .. n-1];
    // null when it is 0. s and ys are scratch.
    imag* join(const uint64_t* r, std::vector<uint64_t>& s, std::vector<uint64_t>& ys) const {
        bool zero = true;
        for (int32_t i = 0; i < n && zero; i++) zero = r[i] == 0;
        if (zero) return nullptr;
        s.assign(static_cast<size_t>(n) + 1, 0);
        // y_i, then the sum of y_i (M / p_i) one word column at a time: no
        // carry chain between the products of a column.
        double f = 0;
        ys.resize(static_cast<size_t>(n));
        uint64_t* y = ys.data();
        for (int32_t i = 0; i < n; i++) {
            y[i] = primes[i].mul(r[i], weights[i]);
            f += static_cast<double>(y[i]) * inverse[i];
        }
        u128 carry = 0;
        for (int32_t k = 0; k < n; k++) {
            const uint64_t* c = columns.data() + static_cast<int64_t>(k) * n;
            // Two running sums for two independent chains of additions.
            u128 acc = carry, acc2 = 0;
            uint64_t over = 0, over2 = 0;
            int32_t i = 0;
            for (; i + 1 < n; i += 2) {
                const u128 t = static_cast<u128>(y[i]) * c[i];
                const u128 t2 = static_cast<u128>(y[i + 1]) * c[i + 1];
                acc += t;
                over += acc < t;
                acc2 += t2;
                over2 += acc2 < t2;
            }
            if (i < n) {
                const u128 t = static_cast<u128>(y[i]) * c[i];
                acc += t;
                over += acc < t;
            }
            acc += acc2;
            over += over2 + (acc < acc2);
            s[k] = static_cast<uint64_t>(acc);
            carry = (acc >> 64) | (static_cast<u128>(over) << 64);
        }
        s[n] = static_cast<uint64_t>(carry);
        // The sum is x + k M with |x| < M / 4: k is the sum of y_i / p_i rounded.
        const uint64_t k = static_cast<uint64_t>(std::llround(f));
        uint64_t borrow = 0, high = 0;
        for (int32_t i = 0; i <= n; i++) {
            const u128 km = static_cast<u128>(i < n ? product[i] : 0) * k + high;
            high = static_cast<uint64_t>(km >> 64);
            const uint64_t sub = static_cast<uint64_t>(km);
            const uint64_t d = s[i] - sub - borrow;
            borrow = (s[i] < sub || (s[i] == sub && borrow)) ? 1 : 0;
            s[i] = d;
        }
        const bool negative = s[n] >> 63;
        if (negative) {
            // Two's complement over n + 1 words.
            uint64_t c = 1;
            for (int32_t i = 0; i <= n; i++) {
                s[i] = ~s[i] + c;
                c = (c && s[i] == 0) ? 1 : 0;
            }
        }
        return words_number(s.data(), n + 1, negative ? -1 : 1);
    }
};

// The tables of the last few prime counts used (the first n primes are
// always the same): building them costs n^3 word products.
std::vector<std::shared_ptr<const Crt>>& kept_tables() {
    static std::vector<std::shared_ptr<const Crt>> kept;
    return kept;
}

std::shared_ptr<const Crt> crt_for(const std::vector<Prime>& primes) {
    auto& kept = kept_tables();
    for (const auto& c : kept)
        if (c->n == static_cast<int32_t>(primes.size()) && c->primes[0].p == primes[0].p) return c;
    auto c = std::make_shared<const Crt>(primes);
    if (kept.size() >= 4) kept.erase(kept.begin());
    kept.push_back(c);
    return c;
}

// What building the tables for the first n primes (of the long family)
// would still cost.
double crt_tables_ns(int32_t n) {
    for (const auto& c : kept_tables())
        if (c->n == n && c->primes[0].p >> wordprimes::PRIME_BITS) return 0;
    return NS_CRT * static_cast<double>(n) * n * n;
}

struct Layout {
    int32_t levels = 0;
    int32_t low[MAX_LEVELS], high[MAX_LEVELS];   // the product's exponents per level
    int64_t stride[MAX_LEVELS];
};

// The polynomial of the places below level j from base on; null when all are 0.
polynode* rebuild(const Layout& lay, int32_t j, int64_t base, const Crt& crt, const std::vector<uint64_t>& res,
                  std::vector<uint64_t>& s, std::vector<uint64_t>& ys) {
    if (j == lay.levels) {
        imag* c = crt.join(res.data() + base * crt.n, s, ys);
        return c ? new_node(0, 1, c) : nullptr;
    }
    Chain out;
    for (int32_t e = lay.high[j]; e >= lay.low[j]; e--) {
        polynode* c = rebuild(lay, j + 1, base + (int64_t{e} - lay.low[j]) * lay.stride[j], crt, res, s, ys);
        if (c) out.push(monomial_term(e, c));
    }
    return out.head;
}

// The dispatcher would split p's term list (Karatsuba): enough top-level
// terms and not sparse (span within 6 times the count, as exp_poly_length).
bool karatsuba(const polynode* p) {
    int64_t n = 0;
    const polynode* last = p;
    for (const polynode* t = p; t; t = t->next, n++) last = t;
    return n >= poly_cutoff && int64_t{p->exp} - last->exp <= 6 * n;
}

double log2d(double x) { return std::log2(std::max(2.0, x)); }

// One product of number records of da by db digits: the schoolbook
// estimate, which long operands beat by far once transforms run.
double number_product_ns(double da, double db) {
    const double school = NS_DIGIT_PRODUCT * da * db;
    if (std::min(da, db) < TRANSFORM_DIGITS) return school;
    return std::min(school, NS_TRANSFORM_DIGIT * (da + db) * log2d(da + db));
}

}  // namespace

polynode* multimodular_product(const polynode* a, const polynode* b) {
    if (modularmode || lintmode || multimod_route < 0) return nullptr;
    // A few terms of short coefficients: far below the cost of the images.
    if (multimod_route == 0) {
        int64_t ta = 0, tb = 0;
        int32_t da = 0, db = 0;
        tally(a, ta, da);
        tally(b, tb, db);
        if (static_cast<double>(ta) * tb * da * db < SMALL_PRODUCT) return nullptr;
    }
    Shape sa, sb;
    measure(a, 0, sa);
    measure(b, 0, sb);
    if (sa.deep || sb.deep) return nullptr;
    const int32_t levels = std::max(sa.levels, sb.levels);
    for (int32_t j = sa.levels; j < levels; j++) sa.lo[j] = sa.hi[j] = 0;
    for (int32_t j = sb.levels; j < levels; j++) sb.lo[j] = sb.hi[j] = 0;

    Layout lay;
    lay.levels = levels;
    int64_t points = 1;
    for (int32_t j = levels; j-- > 0;) {
        const int64_t low = int64_t{sa.lo[j]} + sb.lo[j], high = int64_t{sa.hi[j]} + sb.hi[j];
        if (!exponent_fits(low) || !exponent_fits(high)) return nullptr;
        lay.low[j] = static_cast<int32_t>(low);
        lay.high[j] = static_cast<int32_t>(high);
        lay.stride[j] = points;
        points *= high - low + 1;
        if (points > MAX_POINTS) return nullptr;
    }
    int64_t len_a = 1, len_b = 1;
    for (int32_t j = 0; j < levels; j++) {
        len_a += int64_t{sa.hi[j] - sa.lo[j]} * lay.stride[j];
        len_b += int64_t{sb.hi[j] - sb.lo[j]} * lay.stride[j];
    }

    // |coefficient| <= min(terms) max|a| max|b| < 2^bound_bits; the primes'
    // product must exceed four times that.
    const int64_t bound_bits = sa.max_bits + sb.max_bits + 64 - __builtin_clzll(static_cast<uint64_t>(std::min(sa.terms, sb.terms))) + 2;
    const int32_t nprimes = static_cast<int32_t>(bound_bits / wordprimes::PRIME_BITS + 1);

    if (multimod_route == 0) {
        const double P = nprimes;
        const int64_t L = wordprimes::transform_length(len_a, len_b);
        const double butterfly = L > (int64_t{1} << 16) ? NS_BUTTERFLY_FAR : NS_BUTTERFLY;
        const double conv = L ? butterfly * (1.5 * L * log2d(static_cast<double>(L)) + 3.0 * L)
                              : NS_SCHOOL_MODP * static_cast<double>(len_a) * static_cast<double>(len_b);
        const double pairs = static_cast<double>(sa.terms) * sb.terms;
        const double out_terms = std::min(static_cast<double>(points), pairs);
        const double out_digits = static_cast<double>(sa.max_bits + sb.max_bits) / DIGIT_BITS + 1;
        const double making = out_terms * (NS_TERM_OUT + NS_DIGIT_OUT * out_digits);
        const double cost = NS_CALL + NS_RESIDUE * 2 * P * (sa.words + sb.words) + P * conv +
                            NS_CRT * out_terms * P * (P + 10) + crt_tables_ns(nprimes) + making + NS_POINT * points;
        // The term-list routes: the machine-accumulator box when the
        // coefficients are short and the box not mostly empty, else one
        // product of number records per pair of terms.
        const double la = (sa.max_digits + 1) / 2, lb = (sb.max_digits + 1) / 2;
        double list;
        if (karatsuba(a) && karatsuba(b))
            list = pairs * (NS_KARATSUBA_PAIR + NS_LIMB_PRODUCT * 3 * la * lb) + making;
        else if (std::max(sa.max_digits, sb.max_digits) <= BOX_DIGITS && points <= 4 * pairs + 16)
            list = NS_LIMB_PRODUCT * pairs * la * lb + NS_POINT * points + making;
        else
            list = pairs * (NS_TERM_PRODUCT + number_product_ns(sa.max_digits, sb.max_digits)) + making;
        if (cost > GAIN * list) return nullptr;
    }
    // The images and the transform scratch count against the memory budget
    // (none is set before the start-up file is read: tests, benchmarks).
    const int64_t bytes = 8 * (static_cast<int64_t>(nprimes) * points + 6 * (len_a + len_b) + int64_t{nprimes} * nprimes);
    if (totalavailablememory > 0 ? static_cast<uint64_t>(bytes) > memavail() : bytes > MAX_UNBUDGETED_BYTES)
        return nullptr;

    Packed pa, pb;
    pack(a, 0, levels, 0, sa.lo, lay.stride, pa);
    pack(b, 0, levels, 0, sb.lo, lay.stride, pb);

    std::vector<Prime> primes;
    wordprimes::first_primes(nprimes, primes);
    std::vector<uint64_t> residues(static_cast<size_t>(points) * nprimes);
    {
        std::vector<uint64_t> ia, ib, iz(static_cast<size_t>(points)), work, powers;
        for (int32_t i = 0; i < nprimes; i++) {
            // Everything in use is this product's own: a safe point.
            poll_interrupt();
            const Prime& q = primes[i];
            powers.clear();
            image(pa, q, powers, ia);
            image(pb, q, powers, ib);
            wordprimes::convolution(q, ia.data(), pa.length, ib.data(), pb.length, iz.data(), work);
            const int64_t nz = pa.length + pb.length - 1;
            for (int64_t k = 0; k < nz; k++) residues[k * nprimes + i] = iz[k];
        }
    }
    const std::shared_ptr<const Crt> held = crt_for(primes);
    const Crt& crt = *held;
    std::vector<uint64_t> s, ys;
    polynode* p = rebuild(lay, 0, 0, crt, residues, s, ys);
    return p ? p : zero_poly();
}

namespace {

// Both products of g a - e b on one layout, every operand packed from
// exponent 0 so that the products land on the same places; then any
// further operands (a divisor) on the same layout.
struct Combination {
    static constexpr int MAX_OPERANDS = 5;
    int count = 0;
    Shape sh[MAX_OPERANDS];
    Layout lay;
    int64_t points = 1;
    int64_t len[MAX_OPERANDS];
    int64_t bound_bits = 0;   // |g a - e b| < 2^bound_bits

    // False when the route does not apply (see multimodular_combination).
    // A product may be absent (both its operands null) or its first
    // operand stand for 1 (null). With `paying`, each product must be long
    // enough for transforms to pay.
    bool plan(const polynode* const* op, int n, bool paying) {
        if (modularmode || lintmode || multimod_route < 0) return false;
        count = n;
        const bool has[2] = {op[1] != nullptr, op[3] != nullptr};
        if ((!has[0] && op[0]) || (!has[1] && op[2]) || (!has[0] && !has[1])) return false;
        int32_t levels = 0;
        for (int t = 0; t < n; t++) {
            if (!op[t]) {
                if (t < 4 && has[t / 2]) {   // the constant 1
                    sh[t].terms = 1;
                    sh[t].max_bits = 1;
                }
                continue;
            }
            measure(op[t], 0, sh[t]);
            if (sh[t].deep) return false;
            levels = std::max(levels, sh[t].levels);
        }
        int64_t terms = 0;
        for (int t = 0; t < n; t++) {
            Shape& x = sh[t];
            for (int32_t j = x.levels; j < levels; j++) x.lo[j] = x.hi[j] = 0;
            for (int32_t j = 0; j < levels; j++)
                if (x.lo[j] < 0) return false;
            if (t < 4) terms += x.terms;
        }
        lay.levels = levels;
        for (int32_t j = levels; j-- > 0;) {
            int64_t high = 0;
            for (int k = 0; k < 2; k++)
                if (has[k]) high = std::max(high, int64_t{sh[2 * k].hi[j]} + sh[2 * k + 1].hi[j]);
            if (high > INT32_MAX) return false;
            for (int t = 4; t < n; t++)
                if (sh[t].hi[j] > high) return false;
            lay.low[j] = 0;
            lay.high[j] = static_cast<int32_t>(high);
            lay.stride[j] = points;
            points *= high + 1;
            if (points > MAX_POINTS || points > COMBINATION_POINTS_PER_TERM * terms) return false;
        }
        for (int t = 0; t < n; t++) {
            len[t] = 1;
            for (int32_t j = 0; j < levels; j++) len[t] += int64_t{sh[t].hi[j]} * lay.stride[j];
        }
        bound_bits = 0;
        for (int k = 0; k < 2; k++) {
            if (!has[k]) continue;
            const Shape &x = sh[2 * k], &y = sh[2 * k + 1];
            if (paying && !wordprimes::transform_length(len[2 * k], len[2 * k + 1])) return false;
            bound_bits = std::max(bound_bits, x.max_bits + y.max_bits + 64 -
                                                  __builtin_clzll(static_cast<uint64_t>(std::min(x.terms, y.terms))));
        }
        bound_bits += 1;
        return true;
    }

    // The images and the transform scratch fit the memory budget (none is
    // set before the start-up file is read: tests, benchmarks).
    bool affordable(int32_t nprimes) const {
        int64_t lengths = 0;
        for (int t = 0; t < count; t++) lengths += len[t];
        const int64_t bytes = 8 * (static_cast<int64_t>(nprimes) * points + 6 * lengths + int64_t{nprimes} * nprimes);
        return totalavailablememory > 0 ? static_cast<uint64_t>(bytes) <= memavail() : bytes <= MAX_UNBUDGETED_BYTES;
    }
};

// Primes of more than prime_bits bits whose product exceeds 2^bits.
int32_t primes_for(int64_t bits, int32_t prime_bits = wordprimes::PRIME_BITS) {
    return static_cast<int32_t>(bits / prime_bits + 1);
}

int64_t max_coefficient_bits(const polynode* p) {
    int64_t bits = 0;
    for (; p; p = p->next) {
        if (!p->numb) {
            bits = std::max(bits, max_coefficient_bits(p->pcoef));
            continue;
        }
        const imag* x = p->ncoef;
        bits = std::max(bits, int64_t{DIGIT_BITS} * (x->count - 1) + bit_length(static_cast<uint32_t>(std::abs(x->head->digit))));
    }
    return bits;
}

// One quotient of a batch on the batch's layout.
struct QuotientPlan {
    Combination c;             // its own layout: the bound and the exponents
    int32_t top[MAX_LEVELS];   // the quotient's exponents per level (< 0: only 0 fits)
    Layout qlay;               // the quotient's box, compactly
    int64_t qpoints = 1;
    int32_t nprimes = 0;
    int64_t d_norm_bits = 0;   // |d|_1 < 2^d_norm_bits
    int32_t slot[5];           // its operands among the batch's distinct ones
    std::vector<uint64_t> residues;   // per place of the box, per prime
    bool failed = false;
};

// The places of r inside the quotient's box go to out (compact, prime i of
// nprimes); false when a place outside it, or past the layout, is not 0.
bool gather(const Layout& lay, const QuotientPlan& job, const uint64_t* r, int64_t n, int64_t points, int32_t i,
            int32_t nprimes, uint64_t* out) {
    for (int64_t k = points; k < n; k++)
        if (r[k]) return false;
    auto walk = [&](auto&& self, int32_t j, int64_t base, int64_t cbase) -> bool {
        for (int64_t e = 0; e <= lay.high[j]; e++) {
            const int64_t at = base + e * lay.stride[j];
            if (e > job.top[j]) {
                for (int64_t k = at; k < at + lay.stride[j]; k++)
                    if (r[k]) return false;
            } else if (j + 1 < lay.levels) {
                if (!self(self, j + 1, at, cbase + e * job.qlay.stride[j])) return false;
            } else {
                out[(cbase + e) * nprimes + i] = r[at];
            }
        }
        return true;
    };
    if (lay.levels == 0) {
        out[i] = r[0];
        return true;
    }
    return walk(walk, 0, 0, 0);
}

}  // namespace

polynode* multimodular_combination(const polynode* g, const polynode* a, const polynode* e, const polynode* b) {
    const polynode* op[4] = {g, a, e, b};
    Combination c;
    if (!c.plan(op, 4, true)) return nullptr;
    // The primes' product must exceed four times the bound (the joining).
    const int32_t nprimes = primes_for(c.bound_bits + 2);
    if (!c.affordable(nprimes)) return nullptr;
    Packed pk[4];
    const int32_t zero[MAX_LEVELS] = {};
    for (int t = 0; t < 4; t++) pack(op[t], 0, c.lay.levels, 0, zero, c.lay.stride, pk[t]);
    std::vector<Prime> primes;
    wordprimes::first_primes(nprimes, primes);
    std::vector<uint64_t> residues(static_cast<size_t>(c.points) * nprimes);
    {
        std::vector<uint64_t> im[4], iz(static_cast<size_t>(c.points)), work, powers;
        for (int32_t i = 0; i < nprimes; i++) {
            poll_interrupt();
            const Prime& q = primes[i];
            powers.clear();
            for (int t = 0; t < 4; t++) image(pk[t], q, powers, im[t]);
            wordprimes::combination(q, im[0].data(), pk[0].length, im[1].data(), pk[1].length, im[2].data(),
                                    pk[2].length, im[3].data(), pk[3].length, iz.data(), work);
            const int64_t nz = std::max(pk[0].length + pk[1].length, pk[2].length + pk[3].length) - 1;
            for (int64_t k = 0; k < nz; k++) residues[k * nprimes + i] = iz[k];
        }
    }
    const std::shared_ptr<const Crt> held = crt_for(primes);
    std::vector<uint64_t> s, ys;
    polynode* p = rebuild(c.lay, 0, 0, *held, residues, s, ys);
    return p ? p : zero_poly();
}

void multimodular_combination_quotients(DifferenceQuotient* jobs, int32_t count) {
    std::vector<QuotientPlan> plans(static_cast<size_t>(count));
    std::vector<const polynode*> distinct;
    auto slot_of = [&](const polynode* p) {
        for (size_t i = 0; i < distinct.size(); i++)
            if (distinct[i] == p) return static_cast<int32_t>(i);
        distinct.push_back(p);
        return static_cast<int32_t>(distinct.size() - 1);
    };
    // Each quotient's own plan; the batch's layout covers them all.
    Layout lay;
    lay.levels = 0;
    std::vector<int32_t> taken;
    for (int32_t t = 0; t < count; t++) {
        DifferenceQuotient& job = jobs[t];
        job.quotient = nullptr;
        QuotientPlan& plan = plans[size_t(t)];
        const polynode* op[5] = {job.g, job.a, job.e, job.b, job.d};
        if (!plan.c.plan(op, 5, false)) continue;
        const int32_t levels = plan.c.lay.levels;
        for (int32_t j = lay.levels; j < levels; j++) lay.high[j] = 0;
        lay.levels = std::max(lay.levels, levels);
        for (int32_t j = 0; j < levels; j++) lay.high[j] = std::max(lay.high[j], plan.c.lay.high[j]);
        for (int i = 0; i < 5; i++) plan.slot[i] = op[i] ? slot_of(op[i]) : -1;
        taken.push_back(t);
    }
    if (taken.empty()) return;
    int64_t points = 1, longest = 0;
    for (int32_t j = lay.levels; j-- > 0;) {
        lay.low[j] = 0;
        lay.stride[j] = points;
        points *= int64_t{lay.high[j]} + 1;
        if (points > MAX_POINTS) break;
    }
    for (const int32_t t : taken) longest = std::max(longest, plans[size_t(t)].c.points);
    // One layout for all only when it costs no longer transforms than the
    // longest quotient's own; else each goes alone.
    if (points > MAX_POINTS || wordprimes::transform_points(points) > wordprimes::transform_points(longest)) {
        if (count > 1)
            for (int32_t t = 0; t < count; t++) multimodular_combination_quotients(jobs + t, 1);
        return;
    }
    const int64_t n = wordprimes::transform_points(points);
    // The short primes where the processor's lanes take them: more primes,
    // each transform several times faster.
    const bool short_primes = wordprimes::short_lanes_used();
    const int32_t prime_bits = short_primes ? wordprimes::SHORT_PRIME_BITS : wordprimes::PRIME_BITS;
    int32_t nprimes = 0;
    for (const int32_t t : taken) {
        QuotientPlan& plan = plans[size_t(t)];
        const Shape& sd = plan.c.sh[4];
        // The residues prove q d = g a - e b modulo the primes' product M
        // when |q d - (g a - e b)| <= |q| |d|_1 + 2^bound_bits stays below
        // M. |q| is known only at the end: the primes allow for |q| |d|_1
        // up to the bound times d's terms, which covers the quotients met
        // (|q| |d|_inf rarely exceeds |g a - e b|); a larger one refuses.
        const int64_t term_bits = 64 - __builtin_clzll(static_cast<uint64_t>(sd.terms));
        plan.d_norm_bits = sd.max_bits + term_bits;
        plan.nprimes = primes_for(plan.c.bound_bits + term_bits + 2, prime_bits);
        nprimes = std::max(nprimes, plan.nprimes);
        // The quotient's exponents: its own layout's less d's (0 on levels
        // past its operands'), compactly.
        plan.qlay.levels = lay.levels;
        for (int32_t j = lay.levels; j-- > 0;) {
            plan.top[j] = j < plan.c.lay.levels ? plan.c.lay.high[j] - sd.hi[j] : 0;
            plan.qlay.low[j] = 0;
            plan.qlay.high[j] = plan.top[j];
            plan.qlay.stride[j] = plan.qpoints;
            plan.qpoints *= std::max(plan.top[j], 0) + 1;
        }
    }
    // Memory: the distinct operands' values and the divisors' inverses for
    // one prime at a time, the quotients' residues for all.
    int64_t words = static_cast<int64_t>(distinct.size()) * n + 5 * n;
    for (const int32_t t : taken) {
        const QuotientPlan& plan = plans[size_t(t)];
        words += plan.qpoints * plan.nprimes;
        for (const Shape& x : plan.c.sh) words += x.words + 3 * x.terms;   // packed (shared ones counted again)
    }
    if (totalavailablememory > 0 ? static_cast<uint64_t>(8 * words) > memavail() : 8 * words > MAX_UNBUDGETED_BYTES)
        return;
    std::vector<Packed> packed(distinct.size());
    {
        int32_t zero[MAX_LEVELS] = {};
        for (size_t i = 0; i < distinct.size(); i++) pack(distinct[i], 0, lay.levels, 0, zero, lay.stride, packed[i]);
    }
    for (const int32_t t : taken) {
        QuotientPlan& plan = plans[size_t(t)];
        plan.residues.assign(static_cast<size_t>(plan.qpoints * plan.nprimes), 0);
    }
    std::vector<Prime> primes;
    if (short_primes)
        wordprimes::first_short_primes(nprimes, primes);
    else
        wordprimes::first_primes(nprimes, primes);
    std::vector<std::vector<uint64_t>> values(distinct.size()), inverses(distinct.size());
    std::vector<uint64_t> image_of, powers, r(static_cast<size_t>(n)), z(static_cast<size_t>(n));
    std::unique_ptr<wordprimes::Transform> tr;   // its tables kept from prime to prime
    bool twist = false;
    std::vector<uint64_t> nothing(static_cast<size_t>(n), 0), ones(static_cast<size_t>(n), 1);
    for (int32_t i = 0; i < nprimes; i++) {
        poll_interrupt();
        const Prime& q = primes[i];
        powers.clear();
        std::vector<int32_t> active;
        std::vector<bool> operand(distinct.size(), false), divisor(distinct.size(), false);
        for (const int32_t t : taken) {
            const QuotientPlan& plan = plans[size_t(t)];
            if (plan.failed || plan.nprimes <= i) continue;
            active.push_back(t);
            for (int k = 0; k < 4; k++)
                if (plan.slot[k] >= 0) operand[size_t(plan.slot[k])] = true;
            divisor[size_t(plan.slot[4])] = true;
        }
        if (active.empty()) break;
        // The divisors first: where one vanishes, every operand goes to the
        // other points instead.
        auto divisors_at = [&](const wordprimes::Transform& tr) {
            for (size_t s = 0; s < distinct.size(); s++) {
                if (!divisor[s]) continue;
                image(packed[s], q, powers, image_of);
                inverses[s].resize(static_cast<size_t>(n));
                tr.forward(image_of.data(), packed[s].length, inverses[s].data());
                if (!tr.invert(inverses[s].data())) return false;
            }
            return true;
        };
        // A divisor that vanishes at a root of unity over Z (x - y, or a
        // sum of coefficients 0, at 1) does so modulo every prime: once
        // twisted, the points stay twisted.
        if (!tr)
            tr = std::make_unique<wordprimes::Transform>(q, n, twist);
        else
            tr->reset(q, twist);
        if (!divisors_at(*tr)) {
            twist = !twist;
            tr->reset(q, twist);
            if (!divisors_at(*tr)) {
                // Vanishing at both sets of points: left to the caller.
                for (const int32_t t : active) plans[size_t(t)].failed = true;
                continue;
            }
        }
        for (size_t s = 0; s < distinct.size(); s++) {
            if (!operand[s]) continue;
            image(packed[s], q, powers, image_of);
            values[s].resize(static_cast<size_t>(n));
            tr->forward(image_of.data(), packed[s].length, values[s].data());
        }
        for (const int32_t t : active) {
            QuotientPlan& plan = plans[size_t(t)];
            const int32_t* sl = plan.slot;
            // An absent product is 0 at every point, an absent first
            // operand 1.
            auto at = [&](int k) {
                if (sl[k] >= 0) return values[size_t(sl[k])].data();
                return k % 2 == 0 && sl[k + 1] >= 0 ? ones.data() : nothing.data();
            };
            tr->quotient(at(0), at(1), at(2), at(3), inverses[size_t(sl[4])].data(), r.data());
            tr->backward(r.data(), z.data());
            // Not exact modulo q, so not over Z.
            if (!gather(lay, plan, z.data(), n, points, i, plan.nprimes, plan.residues.data())) plan.failed = true;
        }
    }
    std::vector<uint64_t> s, ys;
    for (const int32_t t : taken) {
        QuotientPlan& plan = plans[size_t(t)];
        if (plan.failed) continue;
        bool empty = false;
        for (int32_t j = 0; j < plan.qlay.levels; j++) empty = empty || plan.top[j] < 0;
        polynode* p = nullptr;
        if (!empty) {
            const std::vector<Prime> own(primes.begin(), primes.begin() + plan.nprimes);
            const std::shared_ptr<const Crt> held = crt_for(own);
            p = rebuild(plan.qlay, 0, 0, *held, plan.residues, s, ys);
        }
        // q = 0: g a - e b is 0 modulo M, which exceeds its bound.
        if (!p) {
            jobs[t].quotient = zero_poly();
            continue;
        }
        if (std::max(max_coefficient_bits(p) + plan.d_norm_bits, plan.c.bound_bits) + 1 >
            int64_t{prime_bits} * plan.nprimes) {
            free_poly(&p);
            continue;
        }
        jobs[t].quotient = p;
    }
}

}  // namespace polyimpl
