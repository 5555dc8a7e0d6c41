// The gcd stash (lookup, insertion, purge, emptying across stashing levels
// and modulus changes) and the value hashes of polynomials and quolys.
#include "gcd/gcdstash.h"

#include <cstdint>
#include <cstdlib>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/masses.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/stash.h"
#include "toplevel/errors.h"

quoly* gcd_stash[GCD_STASH_BUCKETS] = {};
int32_t gcdmass = 0;
int32_t prev_modulus = -1;
int16_t lookupgcd = 0;
int32_t polygcd_stack_depth = 0;

namespace {

// The ground ring the present entries were made in. Their numbers must be
// freed and compared in that ring: a digit chain freed in machine-integer
// mode is lost, a machine word freed as a digit chain corrupts the lists.
struct EntryRing {
    bool any = false;
    int modular = 0;
    int lint = 0;
    int32_t mod = 0;

    bool is_current() const {
        return modular == modularmode && lint == lintmode && (!modular || mod == modulus);
    }
};
EntryRing entry_ring;

constexpr int32_t B = GCD_STASH_BUCKETS;

int32_t nonneg_mod(int64_t x) {
    int64_t r = x % B;
    return static_cast<int32_t>(r < 0 ? r + B : r);
}

int32_t clamp_mass(int64_t m) { return m > INT32_MAX ? INT32_MAX : static_cast<int32_t>(m); }

// Key hash of a number. In machine-integer mode the word itself would do
// where products fit, but every use reduces mod 367 after summing, so the
// residue gives the same buckets and never a negative index.
int32_t leaf_hash(const imag* c) {
    if (lintmode) return nonneg_mod(c->value);
    if (!c->head) return 0;
    return nonneg_mod(int64_t{std::abs(c->head->digit)} % B + c->count);
}

// Sum over at most the first six terms of one level.
int64_t level_key(polynode* p, int32_t d) {
    int64_t s = 0;
    for (int i = 0; p && i < 6; p = p->next, i++)
        s += p->numb ? leaf_hash(p->ncoef) : hash_1(p->pcoef, d);
    return s;
}

int32_t degree(const polynode* p) { return p ? p->exp : 0; }

// Term by term: same length, exponents, kinds and coefficients.
bool same_terms(polynode* a, polynode* b) {
    for (; a && b; a = a->next, b = b->next) {
        if (a->numb != b->numb || a->exp != b->exp) return false;
        if (a->numb ? !equal(a->ncoef, b->ncoef) : !poly_equal(a->pcoef, b->pcoef)) return false;
    }
    return a == b;
}

void free_bucket(quoly* e) {
    while (e) {
        quoly* older = e->link;
        free_quoly(&e);
        e = older;
    }
}

bool stash_empty() {
    for (quoly* h : gcd_stash)
        if (h) return false;
    return true;
}

// Every entry back to the free lists, in the ring the entries were made in.
void drop_all_entries() {
    if (entry_ring.any) {
        RingStateGuard ring;
        modularmode = entry_ring.modular;
        lintmode = entry_ring.lint;
        for (quoly*& h : gcd_stash) {
            free_bucket(h);
            h = nullptr;
        }
    }
    entry_ring = EntryRing{};
}

int32_t entry_size(const quoly* e) { return e->den->exp; }

// Below the trigger of budget / 2, so that the insertions after a purge do
// not purge again at once; one third leaves room for half a budget's worth of
// new entries between purges.
int32_t purge_target() { return static_cast<int32_t>(static_cast<uint32_t>(initial_memory) / 3); }

int32_t purge_trigger() { return static_cast<int32_t>(static_cast<uint32_t>(initial_memory) / 2); }

}  // namespace

// ---------------------------------------------------------------- hashes

int32_t hash_1(polynode* p, int32_t d) { return nonneg_mod(level_key(p, d + 1) * d); }

namespace {

// Steps 2 to 4 of polyhash: descends through exponent-0 wrappers, reads the
// sign of the leading number into *s, and returns the term sum (wrapping).
uint32_t term_sum(polynode* p, int32_t k, int* s) {
    while (p && p->exp == 0 && !p->numb) {
        p = p->pcoef;
        k++;
    }
    *s = 1;
    if (!lintmode) {
        polynode* t = p;
        while (t && !t->numb) t = t->pcoef;
        if (t && t->ncoef->head && t->ncoef->head->digit < 0) *s = -1;
    }
    uint32_t sum = 0;
    for (; p; p = p->next) {
        if (p->numb) {
            int32_t v = lintmode ? p->ncoef->value : (p->ncoef->head ? p->ncoef->head->digit : 0);
            sum += static_cast<uint32_t>(v) * static_cast<uint32_t>(k);
        } else {
            sum += static_cast<uint32_t>(small_prime[k]) * static_cast<uint32_t>(p->exp + 83 + k) *
                   static_cast<uint32_t>(polyhash(p->pcoef, k + 1));
        }
    }
    return sum;
}

int32_t abs_hash(uint32_t x) {
    int32_t v = static_cast<int32_t>(x);
    return v == INT32_MIN ? 0 : std::abs(v);
}

}  // namespace

int32_t polyhash(polynode* p, int32_t k) {
    if (field_depth > 0 && k >= field_depth) return 1;
    int s;
    uint32_t sum = term_sum(p, k, &s);
    return static_cast<int32_t>(s == -1 ? sum + 2003u : sum);
}

int32_t quolyhash(quoly* q) {
    if (q->isnum) return 1;
    if (!q->den) {
        if (field_depth == 1) return 1;
        int s;
        uint32_t sum = term_sum(q->pnum, 1, &s);
        return abs_hash(s == 1 ? sum : sum + 2003u);
    }
    if (field_depth == 1) return 3;
    int sn, sd;
    uint32_t n = term_sum(q->pnum, 1, &sn);
    if (sn == -1) n += 2003u;
    uint32_t d = term_sum(q->den, 1, &sd);
    uint32_t h = n + 2u * d;
    return abs_hash(sd == 1 ? h : h + 4006u);
}

// ---------------------------------------------------------------- lookup

void gcdhash(polynode* u, polynode* v, polynode** record) {
    polynode* a = u;
    polynode* b = v;
    if (degree(v) < degree(u)) {
        a = v;
        b = u;
    }
    // Entries of another ground ring must never answer for these operands;
    // with nothing pending they are simply dropped.
    if (entry_ring.any && !entry_ring.is_current() && polygcd_stack_depth == 0) drop_all_entries();

    int32_t k = nonneg_mod(level_key(a, 2)) + nonneg_mod(level_key(b, 2));
    if (k >= B) k -= B;

    const bool crossed_too = degree(a) == degree(b);
    for (quoly* e = gcd_stash[k]; e; e = e->link) {
        polynode* r = e->den;
        if ((same_terms(e->pnum, a) && same_terms(r->pcoef, b)) ||
            (crossed_too && same_terms(e->pnum, b) && same_terms(r->pcoef, a))) {
            *record = r;
            return;
        }
    }

    quoly* e;
    newquoly(&e);
    e->isnum = 0;
    e->rat = 0;
    e->pnum = nullptr;
    poly_assign(a, &e->pnum);
    polynode* r;
    newpoly(&r);
    r->next = nullptr;
    r->numb = 0;
    r->pcoef = nullptr;
    poly_assign(b, &r->pcoef);
    int32_t size = clamp_mass(int64_t{simple_poly_mass(a)} + simple_poly_mass(b));
    r->exp = size;
    e->den = r;
    e->link = gcd_stash[k];
    gcd_stash[k] = e;
    if (!entry_ring.any) entry_ring = EntryRing{true, modularmode, lintmode, modulus};
    gcdmass = clamp_mass(int64_t{gcdmass} + size);

    if (gcdmass > purge_trigger() && polygcd_stack_depth == 0) purge_gcd_stash(k);
    *record = r;
}

void store_stashed_gcd(polynode* record, polynode* g) {
    poly_assign(g, &record->next);
    int32_t m = simple_poly_mass(g);
    record->exp = clamp_mass(int64_t{record->exp} + m);
    gcdmass = clamp_mass(int64_t{gcdmass} + m);
}

// ---------------------------------------------------------------- purge

int32_t purge_gcd_stash(int32_t keep) {
    int64_t total = 0;
    for (quoly* h : gcd_stash) {
        if (!h) continue;
        free_bucket(h->link);
        h->link = nullptr;
        total += entry_size(h);
    }
    const int32_t target = purge_target();
    for (int32_t k = 0; k < B && total > target; k++) {
        if (k == keep || !gcd_stash[k]) continue;
        total -= entry_size(gcd_stash[k]);
        free_bucket(gcd_stash[k]);
        gcd_stash[k] = nullptr;
    }
    gcdmass = total < 0 ? 0 : clamp_mass(total);
    if (stash_empty()) entry_ring = EntryRing{};
    return gcdmass;
}

int64_t mass_gcd_stash() {
    int64_t bytes = 0;
    for (quoly* e : gcd_stash)
        for (; e; e = e->link) bytes += sizequoly(e);
    return bytes;
}

// ---------------------------------------------------------------- levels

namespace {
void reset_stash(int16_t level) {
    drop_all_entries();
    gcdmass = 0;
    polygcd_stack_depth = 0;
    prev_modulus = -1;
    lookupgcd = level;
}
}  // namespace

void init_gcd_stash() {
    int16_t was = lookupgcd;
    lookupgcd = static_cast<int16_t>(was + 1);
    if (was > 0) return;
    if (modularmode) {
        if (prev_modulus != modulus && prev_modulus != -1) reset_stash(1);
    } else if (prev_modulus >= 1) {
        // Entries made under a modulus are dropped even when modulus still
        // holds that value: arithmetic is now over the integers.
        reset_stash(1);
    }
}

void free_gcd_stash() {
    if (modularmode && (prev_modulus == modulus || prev_modulus == -1)) {
        prev_modulus = modulus;
        return;
    }
    const bool misplaced = modularmode && lookupgcd == 0;
    reset_stash(0);
    // Reported after the stash is emptied, since the report unwinds.
    if (misplaced) tarvex_error("prev_modulus = modulus in free_gcd_stash", 1);
}

void sure_free_gcd_stash() {
    drop_all_entries();
    prev_modulus = -1;
    gcdmass = 0;
    polygcd_stack_depth = 0;
}

void gcd_stash_after_statement() {
    if (lookupgcd <= 0 && gcdmass > 0) sure_free_gcd_stash();
}
