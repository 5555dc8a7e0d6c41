// Finding, checking and reconciling the auxiliary primes of the field
// levels (see aux_primes.h for the two kinds of list).
#include "quoly/aux_primes.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "builtins/factor.h"
#include "gcd/modswitch.h"
#include "interp/settings.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/tables.h"
#include "poly/modout.h"
#include "poly/evaluate.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/progress.h"
#include "toplevel/set_aside.h"

namespace {

// The candidates of a fresh first list: the medium primes, the main prime
// table past its built-in entries, then the primes after it. Entries of a
// list are one-digit numbers below 65522 (what the declaration accepts
// back from a save file), so the candidates stop there.
constexpr int32_t FIRST_LIST_MAX = 4583;
constexpr int32_t LIST_PRIME_BOUND = 65522;
constexpr int32_t FIRST_TABLE_CANDIDATE = 2467;
constexpr int32_t LAST_TABLE_CANDIDATE = 3065;
constexpr int32_t TABLE_OFFSET = 2462;
// Fewer first primes than this make the field gcds slow: the user is told.
constexpr int32_t FEW_FIRST_PRIMES = 50;

// While candidates are tested the new variable is a plain variable over the
// field below it, and Laurent mode is off; both come back on every exit.
struct FieldTestState : SetAside {
    int16_t depth = field_depth;
    int laur = laurent;
    pt* v;
    int32_t field;
    explicit FieldTestState(pt* rec) : v(rec), field(rec->field) {
        field_depth = rec->next ? static_cast<int16_t>(rec->level + 1) : 0;
        laurent = 0;
        v->field = 0;
    }
    ~FieldTestState() {
        field_depth = depth;
        laurent = laur;
        v->field = field;
    }
    // A level opened by an interrupt between candidates works in the
    // session's modes; what it leaves there is what comes back at the end.
    void trade() {
        std::swap(field_depth, depth);
        std::swap(laurent, laur);
        std::swap(v->field, field);
    }
    void put_back() override { trade(); }
};

// The relation padded with exponent-0 levels up to the outermost variable,
// as the factoring code takes its operand.
polynode* padded_copy(polynode* relation, pt* v) {
    polynode* p = nullptr;
    poly_assign(relation, &p);
    for (int32_t k = 1; k < v->level; k++) p = new_term_node(0, p);
    return p;
}

// The relation as the value the irreducibility test takes, freed on exit.
struct RelationValue {
    quoly* q = nullptr;
    RelationValue(polynode* relation, pt* v) {
        newquoly(&q);
        q->isnum = 0;
        q->rat = 0;
        q->den = nullptr;
        q->pnum = padded_copy(relation, v);
    }
    ~RelationValue() { free_quoly(&q); }
    RelationValue(const RelationValue&) = delete;
    RelationValue& operator=(const RelationValue&) = delete;
};

// 1 when the relation stays irreducible modulo p over the field below v.
bool irreducible_mod(polynode* relation, pt* v, int32_t p) {
    ModularSwitch sw;
    sw.set_prime(p);
    sw.convert_variables();
    RelationValue q(relation, v);
    sw.convert(&q.q->pnum);
    // A prime dividing a coefficient can leave nothing of the relation.
    if (!q.q->pnum || polyimpl::is_zero_poly(q.q->pnum)) return false;
    sw.begin_arithmetic();
    // Over the field of the relations below v (the plain prime when none).
    return is_irreducible(q.q->pnum, -1);
}

// v's relation taken out of the arithmetic, v a plain variable over the
// field below it, for as long as the relation itself is tested; every
// list-wide flag comes back as it was.
struct RelationUnderTest : SetAside {
    pt* v;
    polynode *relation, *binomial, *reductions;
    int32_t field;
    pt* pseudo = pseudo_polynames;
    int16_t depth = field_depth;
    int above = modout_above_field;
    int laur = laurent;
    explicit RelationUnderTest(pt* rec)
        : v(rec), relation(rec->relation), binomial(rec->binomial), reductions(rec->reductions), field(rec->field) {
        v->relation = v->binomial = v->reductions = nullptr;
        v->field = 0;
        field_depth = v->next ? static_cast<int16_t>(v->level + 1) : 0;
        pseudo_polynames = relation_inward(v->next) ? polynames : nullptr;
        modout_above_field = 0;
        laurent = 0;
    }
    ~RelationUnderTest() {
        v->relation = relation;
        v->binomial = binomial;
        v->reductions = reductions;
        v->field = field;
        pseudo_polynames = pseudo;
        field_depth = depth;
        modout_above_field = above;
        laurent = laur;
    }
    void trade() {
        std::swap(v->relation, relation);
        std::swap(v->binomial, binomial);
        std::swap(v->reductions, reductions);
        std::swap(v->field, field);
        std::swap(pseudo_polynames, pseudo);
        std::swap(field_depth, depth);
        std::swap(modout_above_field, above);
        std::swap(laurent, laur);
    }
    void put_back() override { trade(); }
};

int32_t fresh_candidate(int32_t i, int32_t previous) {
    if (i < FIRST_TABLE_CANDIDATE) return med_prime[i - 1];
    if (i <= LAST_TABLE_CANDIDATE && prime[i - TABLE_OFFSET]) return prime[i - TABLE_OFFSET]->value;
    return nextprime(previous);
}

// q's residue of a number (digit or machine-integer mode), 0 .. q - 1.
int64_t residue(const imag* x, int32_t q) {
    if (lintmode) {
        const int64_t r = x->value % q;
        return r < 0 ? r + q : r;
    }
    // Digits most significant first, each carrying the number's sign.
    int64_t r = 0;
    const numnode* d = x->head;
    bool negative = false;
    for (int32_t k = 0; k < x->count && d; k++, d = d->next) {
        int64_t digit = d->digit;
        if (digit < 0) {
            negative = true;
            digit = -digit;
        }
        r = ((r << DIGIT_BITS) + digit) % q;
    }
    return negative && r ? q - r : r;
}

int64_t power_mod(int64_t b, int64_t e, int64_t q) {
    int64_t r = 1 % q;
    b %= q;
    for (; e > 0; e >>= 1, b = b * b % q)
        if (e & 1) r = r * b % q;
    return r;
}

// p (a polynomial whose top level is roots[0]'s variable) modulo q with
// each level's variable replaced by its root; false when a negative
// exponent meets a root 0.
bool residue_at(polynode* p, const int64_t* roots, int32_t q, int64_t* out) {
    if (p->numb) {
        *out = residue(p->ncoef, q);
        return true;
    }
    int64_t sum = 0;
    for (polynode* t = p; t; t = t->next) {
        int64_t c = 0;
        if (t->numb) {
            c = residue(t->ncoef, q);
        } else if (!residue_at(t->pcoef, roots + 1, q, &c)) {
            return false;
        }
        int64_t x = roots[0];
        int64_t e = t->exp;
        if (e < 0) {
            if (x == 0) return false;
            x = power_mod(x, q - 2, q);
            e = -e;
        }
        sum = (sum + c * power_mod(x, e, q)) % q;
    }
    *out = sum;
    return true;
}

// The roots for q of v's inner field levels, after v's own root r; false
// when an inner list lacks q.
bool tower_roots(pt* v, int32_t q, int64_t r, std::vector<int64_t>* roots) {
    roots->assign(1, r);
    for (pt* w = v->next; w; w = w->next) {
        imag* e = aux_entry(w->aux_primes, q);
        if (!e) return false;
        roots->push_back(e->head->digit);
    }
    return true;
}

int16_t list_length(imag* list) {
    int16_t n = 0;
    for (; list; list = list->link) n++;
    return n;
}

// Every entry of *list whose prime `keep` lacks is freed.
void keep_common(imag** list, imag* keep) {
    while (*list) {
        if (aux_entry(keep, (*list)->value)) {
            list = &(*list)->link;
            continue;
        }
        imag* gone = *list;
        *list = gone->link;
        free_imag(&gone);
    }
}

}  // namespace

imag* aux_entry(imag* list, int32_t q) {
    for (; list; list = list->link)
        if (list->value == q) return list;
    return nullptr;
}

void free_aux_list(imag** list) {
    while (*list) {
        imag* p = *list;
        // free_imag reuses the link word: step past it first.
        *list = p->link;
        free_imag(&p);
    }
}

imag* copy_aux_list(const imag* list) {
    std::vector<const imag*> entries;
    for (; list; list = list->link) entries.push_back(list);
    imag* copy = nullptr;
    for (size_t k = entries.size(); k-- > 0;) insert_new_prime(entries[k]->value, entries[k]->head->digit, &copy);
    return copy;
}

std::vector<int32_t> first_list_candidates() {
    std::vector<int32_t> candidates;
    const int32_t n = aux_num_1factor < FIRST_LIST_MAX ? aux_num_1factor : FIRST_LIST_MAX;
    int32_t previous = 0;
    for (int32_t i = 1; i <= n; i++) {
        const int32_t p = fresh_candidate(i, previous);
        if (p <= previous || p >= LIST_PRIME_BOUND) break;
        candidates.push_back(p);
        previous = p;
    }
    return candidates;
}

bool stays_irreducible(pt* v, polynode* relation, int32_t p) {
    FieldTestState state(v);
    return irreducible_mod(relation, v, p);
}

int16_t find_first_aux_list(pt* v, polynode* relation, imag** list, bool progress) {
    *list = nullptr;
    if (lintmode) return 0;
    FieldTestState state(v);
    if (progress) {
        std::printf("  Computing and counting first auxiliary list.\n");
        std::fflush(stdout);
    }
    std::vector<int32_t> candidates;
    if (auxptr && aux_prime1_number > 0) {
        int16_t i = 0;
        for (imag* p = auxptr; p && i < aux_prime1_number; p = p->link, i++) candidates.push_back(p->value);
    } else {
        candidates = first_list_candidates();
    }
    std::vector<int32_t> kept;
    for (int32_t p : candidates) {
        poll_interrupt();
        if (!irreducible_mod(relation, v, p)) continue;
        kept.push_back(p);
        const size_t n = kept.size();
        if (progress && n % 10 == 0) {
            std::printf("%5d", static_cast<int>(n));
            if (n % 100 == 0) std::printf("\n");
            std::fflush(stdout);
        }
    }
    const int16_t count = static_cast<int16_t>(kept.size());
    if (progress) {
        if (count % 100 != 0) std::printf("\n");
        if (count < FEW_FIRST_PRIMES) {
            std::printf(" *** Warning. Few auxiliary primes found.\n");
            std::printf("     Expect slow g.c.d. performance.  It would be better\n");
            std::printf("     to restart Tarvex and use &X to increase the\n");
            std::printf("     first auxiliary search factor.  Current factor is ");
            std::printf("%d\n", aux_num_1factor);
        }
    }
    *list = first_list_of(kept);
    return count;
}

imag* first_list_of(const std::vector<int32_t>& primes) {
    imag* list = nullptr;
    // Pushed from the back: the list keeps the primes' order.
    for (size_t k = primes.size(); k-- > 0;) insert_new_prime(primes[k], primes[k], &list);
    return list;
}

void install_first_aux_list(imag** list, int16_t count) {
    free_aux_list(&auxptr);
    auxptr = *list;
    *list = nullptr;
    aux_prime1_number = count;
    if (count == 0) aux1_hit_0 = 1;
}

void find_gcd_list(pt* v, polynode* relation, imag** list) {
    *list = nullptr;
    pt* below = v->next;
    if (below && !below->aux_primes) return;
    const int32_t n = aux_num_2factor;
    Progress trace("secondary aux list, counting to ", n);
    std::vector<int64_t> roots;
    for (int32_t k = 1; k <= n; k++) {
        if (k % 100 == 0) trace.step(k);
        poll_interrupt();
        PolyHold at, value;
        poly_set(k, &at.p);
        poly_at_numb(&value.p, relation, at.p, nullptr, 0);
        if (!value.p) continue;
        if (value.p->numb) {
            // add_all_to_list divides the number it is given.
            add_all_to_list(list, k, value.p->ncoef);
            continue;
        }
        for (imag* e = below->aux_primes; e; e = e->link) {
            const int32_t q = e->value;
            if (!tower_roots(v, q, 0, &roots)) continue;
            int64_t r = 0;
            if (residue_at(value.p, roots.data() + 1, q, &r) && r == 0) add_prime_to_list(list, q, k % q);
        }
    }
}

void make_and_reconcile_gcd_lists(pt* v, imag** list) {
    free_aux_list(&v->aux_primes);
    v->aux_primes = *list;
    *list = nullptr;
    v->prime_count = list_length(v->aux_primes);
    reconcile_gcd_lists(v);
}

void reconcile_gcd_lists(pt* v) {
    for (pt* a = v; a && a->next; a = a->next) {
        pt* b = a->next;
        keep_common(&a->aux_primes, b->aux_primes);
        keep_common(&b->aux_primes, a->aux_primes);
        a->prime_count = list_length(a->aux_primes);
        b->prime_count = list_length(b->aux_primes);
    }
}

int aux_root_holds(pt* v, polynode* relation, int32_t q, int32_t r) {
    std::vector<int64_t> roots;
    if (!tower_roots(v, q, r, &roots)) return 0;
    int64_t m = 0;
    return residue_at(relation, roots.data(), q, &m) && m == 0 ? 1 : 0;
}

pt* reducible_field_relation(int32_t top) {
    std::vector<pt*> levels;
    for (pt* v = polynames; v; v = v->next)
        if (v->field && v->relation && v->level >= top) levels.push_back(v);
    // Innermost first: each test runs over the field below, already checked.
    for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
        pt* v = *it;
        RelationValue q(v->binomial ? v->binomial : v->relation, v);
        bool irreducible;
        {
            RelationUnderTest test(v);
            irreducible = is_irreducible(q.q->pnum, -1);
        }
        if (!irreducible) return v;
    }
    return nullptr;
}
