// One-variable images modulo a large prime as a refusal test for exact
// division (see gcd/image_reject.h). The numbers are reduced straight from
// their digit chains while the inner levels are evaluated, so no residue
// copy of the operands is ever made.
#include "gcd/image_reject.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/laurent.h"
#include "poly/levels.h"
#include "poly/polyvars.h"

namespace {

// The Mersenne prime 2^31 - 1: a product of two residues fits in 64 bits
// and reduces by shifts and adds, never by a division. The point, not the
// prime, is what is random.
constexpr uint64_t IMAGE_PRIME = (uint64_t{1} << 31) - 1;
// The image division may cost this many word products per number leaf of
// the operands; beyond, the division over the integers is not much dearer.
constexpr int64_t WORK_PER_LEAF = 4;

// x mod 2^31 - 1 for x < 2^62.
uint64_t reduce(uint64_t x) {
    x = (x & IMAGE_PRIME) + (x >> 31);
    x = (x & IMAGE_PRIME) + (x >> 31);
    return x >= IMAGE_PRIME ? x - IMAGE_PRIME : x;
}

uint64_t mul(uint64_t a, uint64_t b) { return reduce(a * b); }

struct Images {
    std::vector<uint64_t> at;   // at[k]: the value of the variable k levels below the top
    int64_t leaves = 0;
    bool negative = false;      // a negative exponent was met
};

// A digit number modulo the prime, its sign kept.
uint64_t residue(const imag* x) {
    uint64_t r = 0;
    bool neg = false;
    const numnode* d = x->head;
    for (int32_t k = 0; k < x->count && d; k++, d = d->next) {
        const int64_t digit = d->digit;
        if (digit < 0) neg = true;
        r = reduce((r << DIGIT_BITS) + static_cast<uint64_t>(digit < 0 ? -digit : digit));
    }
    return neg && r ? IMAGE_PRIME - r : r;
}

uint64_t power(uint64_t b, int64_t e) {
    if (e == 1) return b;
    uint64_t r = 1;
    for (; e > 0; e >>= 1, b = mul(b, b))
        if (e & 1) r = mul(r, b);
    return r;
}

// p (depth levels below the top) at the chosen values, Horner from the
// leading term.
uint64_t evaluate(const polynode* t, size_t depth, Images& im) {
    const uint64_t v = depth < im.at.size() ? im.at[depth] : 0;
    uint64_t acc = 0;
    int32_t prev = 0;
    bool first = true;
    for (; t; t = t->next) {
        if (t->exp < 0) im.negative = true;
        const uint64_t c = t->numb ? (im.leaves++, residue(t->ncoef)) : evaluate(t->pcoef, depth + 1, im);
        acc = first ? c : reduce(mul(acc, power(v, prev - t->exp)) + c);
        prev = t->exp;
        first = false;
    }
    return prev > 0 ? mul(acc, power(v, prev)) : acc;
}

// The image in the top variable: coefficient of x^e at [e].
std::vector<uint64_t> top_image(const polynode* t, Images& im) {
    std::vector<uint64_t> c(static_cast<size_t>(t->exp) + 1, 0);
    for (; t; t = t->next) {
        if (t->exp < 0) {
            im.negative = true;
            return c;
        }
        c[static_cast<size_t>(t->exp)] = t->numb ? (im.leaves++, residue(t->ncoef)) : evaluate(t->pcoef, 1, im);
    }
    return c;
}

// u mod m in GF(p)[x] is zero; m's leading coefficient non-zero.
bool image_divides(std::vector<uint64_t> u, const std::vector<uint64_t>& m) {
    const size_t dm = m.size() - 1;
    const uint64_t inv = power(m[dm], static_cast<int64_t>(IMAGE_PRIME) - 2);
    for (size_t k = u.size(); k-- > dm;) {
        if (!u[k]) continue;
        const uint64_t q = IMAGE_PRIME - mul(u[k], inv);
        for (size_t j = 0; j <= dm; j++) u[k - dm + j] = reduce(u[k - dm + j] + q * m[j]);
    }
    for (size_t k = 0; k < dm; k++)
        if (u[k]) return false;
    return true;
}

}  // namespace

ImageVerdict image_division_test(polynode* u, polynode* m, pt* rec) {
    if (modularmode || lintmode || pseudo_polynames || field_depth > 0) return ImageVerdict::unusable;
    if (u->numb || m->numb || u->exp < m->exp || m->exp < 1) return ImageVerdict::unusable;
    const int32_t level = level_of(rec);
    const int32_t d = std::max(quick_depth_below(u, level), quick_depth_below(m, level));
    // One variable alone: the image is the whole division again.
    if (d < 2) return ImageVerdict::unusable;
    Images im;
    im.at.assign(static_cast<size_t>(d), 0);
    for (uint64_t& v : im.at) v = 1 + static_cast<uint64_t>(rand_integer2()) % (IMAGE_PRIME - 1);
    std::vector<uint64_t> mi = top_image(m, im);
    while (!mi.empty() && mi.back() == 0) mi.pop_back();
    // A constant image divides everything.
    if (im.negative || mi.size() < 2) return ImageVerdict::unusable;
    std::vector<uint64_t> ui = top_image(u, im);
    if (im.negative) return ImageVerdict::unusable;
    const int64_t work = (static_cast<int64_t>(ui.size()) - static_cast<int64_t>(mi.size()) + 1) *
                         static_cast<int64_t>(mi.size());
    if (work > WORK_PER_LEAF * im.leaves) return ImageVerdict::unusable;
    return image_divides(std::move(ui), mi) ? ImageVerdict::divides : ImageVerdict::not_divisible;
}
