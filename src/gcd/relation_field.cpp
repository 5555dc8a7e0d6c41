// The field road for relations without the flag (relation_field.h).
#include "gcd/relation_field.h"

#include <algorithm>
#include <cstdint>
#include <list>
#include <utility>
#include <vector>

#include "gcd/aux_source.h"
#include "gcd/field_levels.h"
#include "gcd/polygcd.h"
#include "interp/settings.h"
#include "numbers/primes.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/aux_primes.h"
#include "toplevel/errors.h"
#include "toplevel/set_aside.h"

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

namespace {

// Fewer second primes than this: the field's gcd does without them (as a
// declaration decides).
constexpr int32_t FEW_SECOND_PRIMES = 5;

// The relations and auxiliary state as the gcd of a declared field sees
// them, for as long as the view lives: every level of the run flagged,
// the auxiliary lists those of the cache (or empty, to be found). All
// comes back as it was; the lists stay the cache's. A level opened by an
// interrupt inside works with the session's flags and lists.
struct FieldView : SetAside {
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
    // The session's state and the view's trade places, both ways.
    void trade() {
        for (Level& l : levels) {
            std::swap(l.r->field, l.field);
            std::swap(l.r->aux_primes, l.aux);
            std::swap(l.r->prime_count, l.count);
        }
        std::swap(field_depth, depth);
        std::swap(modout_above_field, above);
        std::swap(char2_degs1, degs1);
        std::swap(auxptr, first);
        std::swap(aux_prime1_number, first_count);
        std::swap(aux1_hit_0, hit_0);
        std::swap(no_aux_primes2, no_second);
        std::swap(second_aux_num, second_num);
    }
    void put_back() override { trade(); }
};

// The levels from one of the run outward taken out of the arithmetic while
// that level's auxiliary primes are found, as its declaration would have
// it: a plain variable over the field of the levels inside it, nothing
// declared around it yet.
struct LevelsUnderTest : SetAside {
    struct Saved {
        pt* r;
        polynode *relation, *binomial, *reductions;
        int32_t field;
    };
    std::vector<Saved> saved;
    int16_t depth = field_depth;
    pt* pseudo = pseudo_polynames;
    LevelsUnderTest(const std::vector<pt*>& run, size_t from) {
        for (size_t i = from; i < run.size(); i++) {
            pt* r = run[i];
            saved.push_back({r, r->relation, r->binomial, r->reductions, r->field});
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
            s.r->field = s.field;
        }
        field_depth = depth;
        pseudo_polynames = pseudo;
    }
    // A level opened between the tests works with the relations.
    void trade() {
        for (Saved& s : saved) {
            std::swap(s.r->relation, s.relation);
            std::swap(s.r->binomial, s.binomial);
            std::swap(s.r->reductions, s.reductions);
            std::swap(s.r->field, s.field);
        }
        std::swap(field_depth, depth);
        std::swap(pseudo_polynames, pseudo);
    }
    void put_back() override { trade(); }
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
    // Whether the second lists were looked for, and whether only for gcds
    // in one free variable (which install them alone).
    bool second_searched = false;
    bool second_late = false;
    // The first list's candidates (a declaration's), and how many of them
    // have been tested: the list grows as the gcds ask for more.
    std::vector<int32_t> candidates;
    size_t tested = 0;
    // Computations under way that hold this proof (its lists installed,
    // or searched for more): a level opened inside them, or a gcd nested
    // in them, may ask about other relations but must not drop it.
    int users = 0;

    void clear() {
        key.clear();
        field = false;
        free_aux_list(&first);
        first_count = 0;
        candidates.clear();
        tested = 0;
        for (imag*& l : second) free_aux_list(&l);
        second.clear();
        second_count.clear();
        second_searched = second_late = false;
    }
    void install(const std::vector<pt*>& run, bool one_free) const {
        auxptr = first;
        aux_prime1_number = first_count;
        const bool with_second = one_free || !second_late;
        for (size_t i = 0; i < run.size() && i < second.size() && with_second; i++) {
            run[i]->aux_primes = second[i];
            run[i]->prime_count = second_count[i];
        }
        second_aux_num = second_count.empty() || !with_second ? 0 : second_count.back();
        no_aux_primes2 = second_aux_num < FEW_SECOND_PRIMES ? 1 : 0;
    }
};

// A few sets of relations are kept: images modulo a prime inside a
// computation over the rationals ask in turn with their own.
// A list: the proofs stay where they are while others are asked for.
constexpr size_t KEPT_PROOFS = 4;
std::list<Proof> kept;

struct ProofInUse {
    Proof* proof;
    explicit ProofInUse(Proof* p) : proof(p) { proof->users++; }
    ~ProofInUse() { proof->users--; }
    ProofInUse(const ProofInUse&) = delete;
    ProofInUse& operator=(const ProofInUse&) = delete;
};

// The first list's search: past the first prime that proves the field,
// candidates go on being tested while their tests have cost less than
// about this much work (the square of the field's degree a test), and
// later only as the gcds run out of primes. Relations of degree up to 12
// are given every candidate at once, as a declaration gives them; one of
// degree 36 some fifty, which keep a prime or two: the four hundred tests
// of a declaration cost more than a sum of a few fractions.
constexpr int64_t FIRST_LIST_WORK = 65536;
// Without a prime after this many candidates for each unit of the field's
// degree, the relations are taken for no field: a relation of degree d
// whose roots generate the whole symmetric group stays irreducible modulo
// about one prime in d, and is missed about once in a thousand; one
// reducible over the rationals (or modulo every prime, as x^4 + 1) is
// given up after as many.
constexpr int64_t TESTS_PER_DEGREE = 7;

// Whether every level of the run stays irreducible modulo p over the
// levels inside it (inside a view), each tested as a declaration of the
// tower with the flag tests it.
bool keeps_every_level(const std::vector<pt*>& run, int32_t p) {
    for (size_t i = 0; i < run.size(); i++) {
        pt* r = run[i];
        polynode* full = r->binomial ? r->binomial : r->relation;
        LevelsUnderTest test(run, i);
        if (!stays_irreducible(r, full, p)) return false;
    }
    return true;
}

// The next candidate tested (inside a view); a prime that keeps every
// level goes to the end of the first list.
void test_next_candidate(const std::vector<pt*>& run, Proof& proof) {
    poll_interrupt();
    const int32_t p = proof.candidates[proof.tested];
    if (keeps_every_level(run, p)) {
        imag** end = &proof.first;
        while (*end) end = &(*end)->link;
        insert_new_prime(p, p, end);
        proof.first_count++;
    }
    proof.tested++;
}

// Inside a view: at least `more` primes more on the first list, or every
// candidate tested.
void extend_first_list(const std::vector<pt*>& run, Proof& proof, int32_t more) {
    const int32_t want = proof.first_count + more;
    while (proof.first_count < want && proof.tested < proof.candidates.size()) test_next_candidate(run, proof);
}

// Inside a view: each level's second primes, as a declaration of the
// tower with the flag finds them, kept by the proof.
void find_second_lists(const std::vector<pt*>& run, Proof& proof) {
    for (size_t i = 0; i < run.size(); i++) {
        pt* r = run[i];
        polynode* full = r->binomial ? r->binomial : r->relation;
        LevelsUnderTest test(run, i);
        imag* second = nullptr;
        find_gcd_list(r, full, &second);
        make_and_reconcile_gcd_lists(r, &second);
    }
    for (imag*& l : proof.second) free_aux_list(&l);
    proof.second.clear();
    proof.second_count.clear();
    for (pt* r : run) {
        proof.second.push_back(r->aux_primes);
        proof.second_count.push_back(r->prime_count);
        r->aux_primes = nullptr;
        r->prime_count = 0;
    }
    proof.second_searched = true;
}

// Over the rationals, inside a view: the first primes modulo which every
// level stays irreducible over the levels inside it, and each level's
// second primes, as a declaration of the tower with the flag finds them
// (the first list cut short for relations of high degree). A monic
// relation with integral coefficients that stays irreducible modulo a
// prime that divides no discriminant stays irreducible over the integers
// of the levels inside it, hence over their field: one prime proves the
// field.
bool prove_over_rationals(const std::vector<pt*>& run, Proof& proof) {
    int64_t degree = 1;
    for (const pt* r : run) degree = std::min<int64_t>(degree * r->modout_degree, FIRST_LIST_WORK);
    const int64_t work = degree * degree;
    proof.candidates = first_list_candidates();
    while (proof.tested < proof.candidates.size()) {
        const int64_t tested = static_cast<int64_t>(proof.tested);
        if (proof.first_count == 0 ? tested >= TESTS_PER_DEGREE * degree : tested * work >= FIRST_LIST_WORK) break;
        test_next_candidate(run, proof);
    }
    if (proof.first_count == 0) return false;
    // The second primes where the first list is whole: for relations of
    // high degree their search costs as much again, and the field's gcd
    // in several variables does without them, as it does after a
    // declaration that found few.
    if (proof.tested == proof.candidates.size()) find_second_lists(run, proof);
    return true;
}

Proof* proved(const std::vector<pt*>& run) {
    std::vector<int64_t> key = relations_key(run);
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        if (it->key != key) continue;
        kept.splice(kept.begin(), kept, it);
        return kept.front().field ? &kept.front() : nullptr;
    }
    if (kept.size() >= KEPT_PROOFS) {
        for (auto it = kept.end(); it != kept.begin();) {
            --it;
            if (it->users) continue;
            it->clear();
            kept.erase(it);
            break;
        }
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
    kept.push_front(std::move(proof));
    return field ? &kept.front() : nullptr;
}

}  // namespace

bool proved_no_field(const std::vector<pt*>& run) {
    if (run.empty()) return false;
    const std::vector<int64_t> key = relations_key(run);
    for (const Proof& p : kept)
        if (p.key == key) return !p.field;
    return false;
}

bool relation_field_gcd(polynode* u, polynode* v, pt* vars, polynode** g, bool one_free) {
    if (laurent || !polynames) return false;
    const std::vector<pt*> run = relation_run();
    if (run.empty() || !proved(run)) return false;
    polynode* result = nullptr;
    for (bool short_list = false;;) {
        // Asked again each time: a gcd inside may have asked about others.
        Proof* proof = proved(run);
        if (!proof) return false;
        ProofInUse in_use(proof);
        if (short_list) {
            // Twice the primes: a few runs of the gcd at most.
            FieldView view(run);
            extend_first_list(run, *proof, std::max<int32_t>(proof->first_count, 1));
        }
        if (one_free && !modularmode && !proof->second_searched) {
            // Without second primes the field's gcd in one variable is
            // Euclid over the field, whose inverses swell with the field's
            // degree (degree 30 under t^24 - 2t + 2: 23 s, against 0.3 s
            // with them): worth their search, once.
            FieldView view(run);
            find_second_lists(run, *proof);
            proof->second_late = true;
        }
        try {
            FieldView view(run);
            proof->install(run, one_free);
            GrowingFirstList growing(proof->tested < proof->candidates.size());
            polygcd(u, v, &result, 0, 1, 1, vars, 1, 1, 1);
            break;
        } catch (const FirstListShort&) {
            free_poly(&result);
            short_list = true;
        }
    }
    free_poly(g);
    *g = result;
    return true;
}
