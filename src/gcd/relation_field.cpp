// The field road for relations without the flag (relation_field.h).
#include "gcd/relation_field.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "gcd/field_levels.h"
#include "gcd/polygcd.h"
#include "interp/settings.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/aux_primes.h"

namespace {

// Fewer second primes than this: the field's gcd does without them (as a
// declaration decides).
constexpr int32_t FEW_SECOND_PRIMES = 5;

// The relation levels, innermost first, when they are one run that ends at
// the innermost variable, none flagged a field; empty otherwise (a free
// variable inside them would be a coefficient of the ring, no field).
std::vector<pt*> relation_run() {
    std::vector<pt*> run;
    for (pt* r = polynames; r; r = r->next) {
        if (r->field) return {};
        if (r->relation)
            run.push_back(r);
        else if (!run.empty())
            return {};
    }
    std::reverse(run.begin(), run.end());
    return run;
}

// The relations and auxiliary state as the gcd of a declared field sees
// them, for as long as the view lives: every level of the run flagged,
// the auxiliary lists those of the cache (or empty, to be found). All
// comes back as it was; the lists stay the cache's.
struct FieldView {
    struct Level {
        pt* r;
        int32_t field;
        imag* aux;
        int16_t count;
    };
    std::vector<Level> levels;
    int16_t depth = field_depth;
    int above = modout_above_field;
    int degs1 = char2_degs1;
    imag* first = auxptr;
    int16_t first_count = aux_prime1_number;
    int hit_0 = aux1_hit_0, no_second = no_aux_primes2;
    int32_t second_num = second_aux_num;

    explicit FieldView(const std::vector<pt*>& run) {
        for (pt* r : run) {
            levels.push_back({r, r->field, r->aux_primes, r->prime_count});
            r->field = 1;
            r->aux_primes = nullptr;
            r->prime_count = 0;
        }
        field_depth = run.back()->level;
        modout_above_field = 0;
        char2_degs1 = 0;
        auxptr = nullptr;
        aux_prime1_number = 0;
        aux1_hit_0 = 0;
        no_aux_primes2 = 1;
        second_aux_num = 0;
    }
    ~FieldView() {
        for (const Level& l : levels) {
            l.r->field = l.field;
            l.r->aux_primes = l.aux;
            l.r->prime_count = l.count;
        }
        field_depth = depth;
        modout_above_field = above;
        char2_degs1 = degs1;
        auxptr = first;
        aux_prime1_number = first_count;
        aux1_hit_0 = hit_0;
        no_aux_primes2 = no_second;
        second_aux_num = second_num;
    }
    FieldView(const FieldView&) = delete;
    FieldView& operator=(const FieldView&) = delete;
};

// The levels from one of the run outward taken out of the arithmetic while
// that level's auxiliary primes are found, as its declaration would have
// it: a plain variable over the field of the levels inside it, nothing
// declared around it yet.
struct LevelsUnderTest {
    struct Saved {
        pt* r;
        polynode *relation, *binomial, *reductions;
    };
    std::vector<Saved> saved;
    int16_t depth = field_depth;
    pt* pseudo = pseudo_polynames;
    LevelsUnderTest(const std::vector<pt*>& run, size_t from) {
        for (size_t i = from; i < run.size(); i++) {
            pt* r = run[i];
            saved.push_back({r, r->relation, r->binomial, r->reductions});
            r->relation = r->binomial = r->reductions = nullptr;
            r->field = 0;
        }
        pt* r = run[from];
        field_depth = r->next ? static_cast<int16_t>(r->level + 1) : 0;
        pseudo_polynames = relation_inward(polynames) ? polynames : nullptr;
    }
    ~LevelsUnderTest() {
        for (const Saved& s : saved) {
            s.r->relation = s.relation;
            s.r->binomial = s.binomial;
            s.r->reductions = s.reductions;
            s.r->field = 1;
        }
        field_depth = depth;
        pseudo_polynames = pseudo;
    }
    LevelsUnderTest(const LevelsUnderTest&) = delete;
    LevelsUnderTest& operator=(const LevelsUnderTest&) = delete;
};

// The answer for one set of relations, with the auxiliary lists of the
// field over the rationals (none are needed modulo a prime).
struct Proof {
    std::vector<int64_t> key;
    bool field = false;
    imag* first = nullptr;
    int16_t first_count = 0;
    std::vector<imag*> second;     // one per level of the run, innermost first
    std::vector<int16_t> second_count;

    void clear() {
        key.clear();
        field = false;
        free_aux_list(&first);
        first_count = 0;
        for (imag*& l : second) free_aux_list(&l);
        second.clear();
        second_count.clear();
    }
    void install(const std::vector<pt*>& run) const {
        auxptr = first;
        aux_prime1_number = first_count;
        for (size_t i = 0; i < run.size() && i < second.size(); i++) {
            run[i]->aux_primes = second[i];
            run[i]->prime_count = second_count[i];
        }
        second_aux_num = second_count.empty() ? 0 : second_count.back();
        no_aux_primes2 = second_aux_num < FEW_SECOND_PRIMES ? 1 : 0;
    }
};

// A few sets of relations are kept: images modulo a prime inside a
// computation over the rationals ask in turn with their own.
constexpr size_t KEPT_PROOFS = 4;
std::vector<Proof> kept;

// Over the rationals, inside a view: each level innermost first finds the
// primes modulo which it stays irreducible over the levels inside it (the
// list of the levels inside re-tested) and its second primes, as a
// declaration of the tower with the flag would. A monic relation with
// integral coefficients that stays irreducible modulo a prime that divides
// no discriminant stays irreducible over the integers of the levels inside
// it, hence over their field: one prime proves the field.
bool prove_over_rationals(const std::vector<pt*>& run, Proof& proof) {
    for (size_t i = 0; i < run.size(); i++) {
        pt* r = run[i];
        polynode* full = r->binomial ? r->binomial : r->relation;
        LevelsUnderTest test(run, i);
        imag* list = nullptr;
        const int16_t count = find_first_aux_list(r, full, &list, false);
        install_first_aux_list(&list, count);
        if (count == 0) break;
        imag* second = nullptr;
        find_gcd_list(r, full, &second);
        make_and_reconcile_gcd_lists(r, &second);
    }
    proof.first = auxptr;
    proof.first_count = aux_prime1_number;
    auxptr = nullptr;
    for (pt* r : run) {
        proof.second.push_back(r->aux_primes);
        proof.second_count.push_back(r->prime_count);
        r->aux_primes = nullptr;
        r->prime_count = 0;
    }
    return proof.first_count > 0;
}

const Proof* proved(const std::vector<pt*>& run) {
    std::vector<int64_t> key = relations_key(run);
    for (size_t i = 0; i < kept.size(); i++) {
        if (kept[i].key != key) continue;
        if (i > 0) std::swap(kept[i], kept[0]);
        return kept[0].field ? &kept[0] : nullptr;
    }
    if (kept.size() == KEPT_PROOFS) {
        kept.back().clear();
        kept.pop_back();
    }
    Proof proof;
    bool field = false;
    if (modularmode) {
        field = (mod_is_prime || finf) && levels_make_field(run);
    } else if (!lintmode) {
        FieldView view(run);
        field = prove_over_rationals(run, proof);
    }
    // Kept only once complete: an interrupt on the way leaves no answer.
    if (!field) proof.clear();
    proof.key = std::move(key);
    proof.field = field;
    kept.insert(kept.begin(), std::move(proof));
    return field ? &kept[0] : nullptr;
}

}  // namespace

bool relation_field_gcd(polynode* u, polynode* v, pt* vars, polynode** g) {
    if (laurent || !polynames) return false;
    const std::vector<pt*> run = relation_run();
    const Proof* proof = run.empty() ? nullptr : proved(run);
    if (!proof) return false;
    FieldView view(run);
    proof->install(run);
    polynode* result = nullptr;
    polygcd(u, v, &result, 0, 1, 1, vars, 1, 1, 1);
    free_poly(g);
    *g = result;
    return true;
}
