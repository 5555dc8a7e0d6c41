// Whether the field levels are a field modulo the prime (see field_levels.h).
#include "gcd/field_levels.h"

#include <algorithm>
#include <utility>

#include "gcd/factor_copies.h"
#include "gcd/tower_level.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

namespace {

// Tags that keep the print a prefix-free code of the nested term lists.
constexpr uint64_t NODE = 1ull << 62, NUMBER = 1ull << 61, END = 1ull << 60, LEVEL = 1ull << 59;

void print_terms(const polynode* p, std::vector<uint64_t>* out) {
    for (; p; p = p->next) {
        out->push_back(NODE | (p->numb ? NUMBER : 0) | static_cast<uint32_t>(p->exp));
        if (p->numb) out->push_back(static_cast<uint64_t>(p->ncoef->value));
        else print_terms(p->pcoef, out);
    }
    out->push_back(END);
}

void print_ring(std::vector<uint64_t>* out) {
    out->clear();
    out->push_back(static_cast<uint32_t>(modulus));
    out->push_back(static_cast<uint64_t>(finf) << 2 | static_cast<uint64_t>(f256) << 1 | (mod_is_prime ? 1u : 0u));
}

void print_level(const pt* r, std::vector<uint64_t>* out) {
    out->push_back(LEVEL | static_cast<uint32_t>(r->modout_degree));
    print_terms(r->binomial ? r->binomial : r->relation, out);
}

bool proved_field(const std::vector<pt*>& levels) {
    const uint32_t q = static_cast<uint32_t>(modulus);
    if (levels.size() >= 2) return tower_is_field(levels);
    std::vector<SplitFactor> factors;
    return relation_factors(levels[0], q, &factors) && factors.size() == 1 &&
           factors[0].size() == static_cast<size_t>(levels[0]->modout_degree) + 1;
}

}  // namespace

bool relation_print(const std::vector<pt*>& levels, std::vector<uint64_t>* print) {
    print->clear();
    if (!lintmode) return false;
    print_ring(print);
    for (const pt* r : levels) print_level(r, print);
    return true;
}

bool field_levels_make_field() {
    if (!modularmode || !lintmode || !(mod_is_prime || finf) || modulus < 2 || field_depth <= 0) return false;
    // Asked at every operation on fractions: the print is built in place and
    // the levels are gathered only when it is new.
    static std::vector<uint64_t> now, kept;
    static bool answer = false;
    print_ring(&now);
    bool usable = false;
    for (const pt* r = polynames; r; r = r->next) {
        if (r->level < field_depth) continue;
        if (!r->field || !r->relation || r->modout_degree < 1) return false;
        print_level(r, &now);
        usable = true;
    }
    if (!usable) return false;
    if (now == kept) return answer;
    std::vector<uint64_t> key = now;   // the proof may ask again
    std::vector<pt*> levels;
    for (pt* r = polynames; r; r = r->next)
        if (r->level >= field_depth) levels.push_back(r);
    std::reverse(levels.begin(), levels.end());
    const bool field = proved_field(levels);
    kept = std::move(key);
    answer = field;
    return field;
}
