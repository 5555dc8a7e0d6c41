// Whether the field levels are a field modulo the prime (see field_levels.h).
#include "gcd/field_levels.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "gcd/factor_copies.h"
#include "gcd/tower_level.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

namespace {

// Tags that keep the print a prefix-free code of the nested term lists.
constexpr uint64_t NODE = 1ull << 62, NUMBER = 1ull << 61, END = 1ull << 60, LEVEL = 1ull << 59;

// Where the words of a print go: appended to a print being built, or
// matched in place against a kept one (asked far more often).
struct Append {
    std::vector<uint64_t>* out;
    void put(uint64_t w) { out->push_back(w); }
};
struct Match {
    const uint64_t* at;
    const uint64_t* end;
    bool same = true;
    void put(uint64_t w) { same = same && at != end && *at++ == w; }
    bool matched() const { return same && at == end; }
};

template <class Sink>
void print_terms(const polynode* p, Sink* out) {
    for (; p; p = p->next) {
        out->put(NODE | (p->numb ? NUMBER : 0) | static_cast<uint32_t>(p->exp));
        if (p->numb) out->put(static_cast<uint64_t>(p->ncoef->value));
        else print_terms(p->pcoef, out);
    }
    out->put(END);
}

template <class Sink>
void print_ring(Sink* out) {
    out->put(static_cast<uint32_t>(modulus));
    out->put(static_cast<uint64_t>(finf) << 2 | static_cast<uint64_t>(f256) << 1 | (mod_is_prime ? 1u : 0u));
}

template <class Sink>
void print_level(const pt* r, Sink* out) {
    out->put(LEVEL | static_cast<uint32_t>(r->modout_degree));
    print_terms(r->binomial ? r->binomial : r->relation, out);
}

// The print of the field levels from polynames on; false when some record
// there is no field level with a relation.
template <class Sink>
bool print_field_levels(Sink* out) {
    print_ring(out);
    bool any = false;
    for (const pt* r = polynames; r; r = r->next) {
        if (r->level < field_depth) continue;
        if (!r->field || !r->relation || r->modout_degree < 1) return false;
        print_level(r, out);
        any = true;
    }
    return any;
}

void key_terms(const polynode* p, std::vector<int64_t>* out) {
    for (; p; p = p->next) {
        out->push_back(p->numb ? -1 - static_cast<int64_t>(p->exp) : p->exp);
        if (!p->numb) {
            key_terms(p->pcoef, out);
            continue;
        }
        if (lintmode) {
            out->push_back(p->ncoef->value);
            continue;
        }
        out->push_back(p->ncoef->count);
        for (const numnode* d = p->ncoef->head; d; d = d->next) out->push_back(d->digit);
    }
    out->push_back(INT64_MIN);
}

}  // namespace

std::vector<int64_t> relations_key(const std::vector<pt*>& levels) {
    std::vector<int64_t> key{modularmode, lintmode, finf, modulus, mod_is_prime, number_polys};
    for (const pt* r : levels) {
        key.push_back(r->level);
        key.push_back(r->modout_degree);
        key_terms(r->binomial ? r->binomial : r->relation, &key);
    }
    return key;
}

bool levels_make_field(const std::vector<pt*>& levels) {
    if (levels.empty()) return false;
    const uint32_t q = static_cast<uint32_t>(modulus);
    if (levels.size() >= 2) return tower_is_field(levels);
    std::vector<SplitFactor> factors;
    return relation_factors(levels[0], q, &factors) && factors.size() == 1 &&
           factors[0].size() == static_cast<size_t>(levels[0]->modout_degree) + 1;
}

bool relation_print(const std::vector<pt*>& levels, std::vector<uint64_t>* print) {
    print->clear();
    if (!lintmode) return false;
    Append out{print};
    print_ring(&out);
    for (const pt* r : levels) print_level(r, &out);
    return true;
}

bool same_relation_print(const std::vector<pt*>& levels, const std::vector<uint64_t>& print) {
    if (!lintmode || print.empty()) return false;
    Match out{print.data(), print.data() + print.size()};
    print_ring(&out);
    for (const pt* r : levels) print_level(r, &out);
    return out.matched();
}

bool field_levels_make_field() {
    if (!modularmode || !lintmode || !(mod_is_prime || finf) || modulus < 2 || field_depth <= 0) return false;
    // Asked at every operation on fractions: the kept print is matched in
    // place, and a new one built only when it differs.
    static std::vector<uint64_t> kept;
    static bool answer = false;
    if (!kept.empty()) {
        Match match{kept.data(), kept.data() + kept.size()};
        if (print_field_levels(&match) && match.matched()) return answer;
    }
    std::vector<uint64_t> key;
    Append out{&key};
    if (!print_field_levels(&out)) return false;
    std::vector<pt*> levels;
    for (pt* r = polynames; r; r = r->next)
        if (r->level >= field_depth) levels.push_back(r);
    std::reverse(levels.begin(), levels.end());
    const bool field = levels_make_field(levels);
    kept = std::move(key);
    answer = field;
    return field;
}
