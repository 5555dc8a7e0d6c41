#include "det/minor_stash.h"

#include <cstdio>
#include <cstdlib>

#include "det/sparse_minors.h"
#include "matrix/sparse.h"
#include "storage/assign.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

sparse* minorstash = nullptr;
int32_t minorprime = 0;
long minor_total = 0;
uint64_t minor_memory = 0;
long purged_hits = 0;
int32_t minor_count = 2;
int32_t min_stash_row = 3;
int32_t max_stash_row = 0;
int32_t init_min_stash = 3;
int32_t init_max_stash = 2;
int32_t init_max_stash_row = 0;

namespace {

// A chain of w digit nodes, each word set to `fill` (the last to `last`).
numnode* word_chain(int32_t w, uint32_t fill, uint32_t last) {
    numnode* head = nullptr;
    for (int32_t i = w - 1; i >= 0; i--) {
        numnode* d = newnumnode();
        d->digit = static_cast<int32_t>(i == w - 1 ? last : fill);
        d->next = head;
        head = d;
    }
    return head;
}

numnode* copy_chain(const numnode* src) {
    numnode* head = nullptr;
    numnode** tail = &head;
    for (; src; src = src->next) {
        numnode* d = newnumnode();
        d->digit = src->digit;
        *tail = d;
        tail = &d->next;
    }
    *tail = nullptr;
    return head;
}

void chain_back(numnode* head) {
    if (!head) return;
    numnode* last = head;
    while (last->next) last = last->next;
    give_back_chain(head, last);
}

imag* copy_key(const imag* key) {
    imag* k = nullptr;
    newimag(&k);
    k->count = key->count;
    k->head = copy_chain(key->head);
    k->tail = copy_chain(key->tail);
    k->value = 0;
    return k;
}

bool same_key(const imag* a, const imag* b) {
    if (a->count != b->count) return false;
    for (const numnode *x = a->head, *y = b->head; x; x = x->next, y = y->next)
        if (x->digit != y->digit) return false;
    for (const numnode *x = a->tail, *y = b->tail; x; x = x->next, y = y->next)
        if (x->digit != y->digit) return false;
    return true;
}

colm** bucket(sparse* chain, int32_t b) { return row_head(chain, b); }

// One entry's records back to their free lists; its hit count is returned.
long free_entry(colm* e) {
    quoly* holder = e->val;
    quoly* value = holder->link;
    free_quoly(&value);
    free_minor_data(holder->nnum);
    holder->nnum = nullptr;
    holder->link = quolygarb;
    quolygarb = holder;
    const long hits = e->col;
    e->next = colm_garb;
    colm_garb = e;
    return hits;
}

// An entry holding the value (taken over) under a copy of the key.
quoly* push_entry(const imag* key, int32_t hash, quoly* value) {
    colm* e = take_colm();
    quoly* holder = nullptr;
    newquoly(&holder);
    holder->isnum = 1;
    holder->rat = 0;
    holder->den = nullptr;
    holder->link = value;
    holder->nnum = copy_key(key);
    e->col = 1;
    e->val = holder;
    colm** b = bucket(minorstash, hash);
    e->next = *b;
    *b = e;
    minor_total++;
    if (minorprime <= 40086 && minor_total > 4L * minorprime) reconfigure_stash();
    return value;
}

colm* find_entry(const imag* key, int32_t hash) {
    for (colm* e = *bucket(minorstash, hash); e; e = e->next)
        if (same_key(e->val->nnum, key)) return e;
    return nullptr;
}

}  // namespace

// After a hit: purge when free memory has fallen well below the reference
// and the free lists hold too little to live on.
void minor_hit_check(bool modular) {
    if (!memory_budgeted()) return;
    const uint64_t m = memavail();
    if (modular ? m >= minor_memory / 5 : m > minor_memory / 5) return;
    int64_t g;
    bool purge;
    if (modular) {
        g = med_garbsize();
        purge = g < 15000000;
    } else if (m == 0) {
        g = big_garbsize();
        purge = g < 260000000;
    } else {
        g = med_garbsize();
        purge = g < 36000000;
    }
    if (purge) {
        try_purge_minors();
        return;
    }
    if (!verbose) return;
    std::printf("\n");
    if (modular)
        std::printf(" Refrain from purging. memavail, minor memory, garbsize, total branches, leaf count: %u, %lu, "
                    "%li, %li, %li\n",
                    static_cast<unsigned>(m), static_cast<unsigned long>(minor_memory),
                    static_cast<long>(fast_garbsize()), sp_total_cnt, sp_lowcnt);
    else
        std::printf(" Refrain from purging. memavail, minor memory, garbsize, total branches, leaf count: %u, %lu, "
                    "%lu, %li, %li\n",
                    static_cast<unsigned>(m), static_cast<unsigned long>(minor_memory),
                    static_cast<unsigned long>(g), sp_total_cnt, sp_lowcnt);
}

bool memory_budgeted() { return totalavailablememory > 0; }

int32_t minorsize(int32_t n) {
    if (n < 31) return 641;
    if (n < 45) return 1277;
    if (n < 80) return 2473;
    if (n < 110) return 4967;
    if (n < 190) return 9901;
    if (n < 300) return 20011;
    return 40087;
}

int32_t minorshash(const imag* key) {
    if (key->count < 1) return 1;
    // Sums wrap in 32 bits and are read as signed; the absolute value is
    // taken in 64 bits, so -2^31 still lands in a bucket.
    auto step = [](int32_t h, uint32_t word, uint32_t mult) {
        const int32_t s = static_cast<int32_t>(static_cast<uint32_t>(h) + word * mult);
        return static_cast<int32_t>(std::llabs(static_cast<long long>(s)) % minorprime);
    };
    int32_t h = 0;
    for (const numnode *a = key->head, *b = key->tail; a && b; a = a->next, b = b->next) {
        h = step(h, static_cast<uint32_t>(a->digit), 40093u);
        h = step(h, static_cast<uint32_t>(b->digit), 40099u);
    }
    return h + 1;
}

void stash_minor(const imag* key, int32_t hash, quoly* value) {
    quoly* copy = nullptr;
    quoly_assign(value, &copy);
    push_entry(key, hash, copy);
}

quoly* stash_minor_taking(const imag* key, int32_t hash, quoly* value) { return push_entry(key, hash, value); }

void int_stash_minor(const imag* key, int32_t hash, int32_t residue) {
    quoly* v = nullptr;
    quoly_set(residue, &v);
    push_entry(key, hash, v);
}

quoly* minor_lookup(const imag* key, int32_t hash) {
    colm* e = find_entry(key, hash);
    if (!e) return nullptr;
    e->col++;
    return e->val->link;
}

bool minor_is_there(const imag* key, int32_t hash, quoly** result) {
    quoly* v = minor_lookup(key, hash);
    if (!v) return false;
    quoly_assign(v, result);
    minor_hit_check(false);
    return true;
}

bool int_minor_is_there(const imag* key, int32_t hash, int32_t* residue) {
    colm* e = find_entry(key, hash);
    if (!e) return false;
    e->col++;
    *residue = e->val->link->nnum->value;
    minor_hit_check(true);
    return true;
}

void reconfigure_stash() {
    if (verbose) {
        std::printf("\nMinor stash has grown large; will reconfigure.\n");
        std::fflush(stdout);
    }
    const int32_t old = minorprime;
    int32_t next;
    switch (old) {
    case 641: next = 1277; break;
    case 1277: next = 2473; break;
    case 2473: next = 4967; break;
    case 4967: next = 9901; break;
    case 9901: next = 20011; break;
    default: next = 40087; break;
    }
    sparse* fresh = new_frame_chain(next);
    sparse* stale = minorstash;
    minorprime = next;
    for (int32_t b = 1; b <= old; b++) {
        colm** head = bucket(stale, b);
        for (colm* e = *head; e;) {
            colm* later = e->next;
            colm** to = bucket(fresh, minorshash(e->val->nnum));
            e->next = *to;
            *to = e;
            e = later;
        }
        *head = nullptr;
    }
    minorstash = fresh;
    give_back_frames(stale);
}

void try_purge_minors() {
    minor_memory /= 3;
    if (verbose) {
        long stored = 0, hits = 0;
        count_minor_stash(&stored, &hits);
        std::printf("\nRunning low on memory; purging minor stash. %u, %lu, %li\n",
                    static_cast<unsigned>(memavail()), static_cast<unsigned long>(minor_memory),
                    static_cast<long>(fast_garbsize()));
        std::printf(" prime, total branches, leaf count, stash nodes, hits: %li, %li, %li, %li, %li\n",
                    static_cast<long>(minorprime), sp_total_cnt, sp_lowcnt, stored, hits + purged_hits);
        std::fflush(stdout);
    }
    for (int32_t b = 1; b <= minorprime; b++) {
        colm** head = bucket(minorstash, b);
        for (int32_t k = 0; k < minor_count && *head; k++) {
            colm* e = *head;
            *head = e->next;
            purged_hits += free_entry(e);
            minor_total--;
        }
    }
    minor_count++;
    if (min_stash_row == init_min_stash) min_stash_row++;
    max_stash_row--;
}

void free_minor_stash(int32_t count, long* stored, long* hits) {
    *stored = 0;
    *hits = 0;
    if (!minorstash) return;
    for (int32_t b = 1; b <= count; b++) {
        colm** head = bucket(minorstash, b);
        while (colm* e = *head) {
            *head = e->next;
            *hits += free_entry(e);
            (*stored)++;
        }
    }
    give_back_frames(minorstash);
    minorstash = nullptr;
    minor_total = 0;
}

void count_minor_stash(long* stored, long* hits) {
    *stored = 0;
    *hits = 0;
    if (!minorstash) return;
    for (int32_t b = 1; b <= minorprime; b++)
        for (const colm* e = *bucket(minorstash, b); e; e = e->next) {
            *hits += e->col;
            (*stored)++;
        }
}

void minor_stash_report() {
    long stored = 0, hits = 0;
    count_minor_stash(&stored, &hits);
    std::printf(" memavail, minor memory, garbsize, minor prime, total branches, leaf count, stash nodes, hits: %lui, "
                "%lui, %li, %li, %li, %li, %li, %li\n",
                static_cast<unsigned long>(memavail()), static_cast<unsigned long>(minor_memory),
                static_cast<long>(fast_garbsize()), static_cast<long>(minorprime), sp_total_cnt, sp_lowcnt, stored,
                hits + purged_hits);
}

imag* new_minor_key(int32_t n) {
    const int32_t w = (n + 31) / 32;
    const uint32_t last = n % 32 == 0 ? 0xFFFFFFFFu : (1u << (n % 32)) - 1;
    imag* k = nullptr;
    newimag(&k);
    k->count = w;
    k->value = 0;
    k->head = word_chain(w, 0xFFFFFFFFu, last);
    k->tail = word_chain(w, 0xFFFFFFFFu, last);
    return k;
}

void free_minor_data(imag* key) {
    if (!key) return;
    chain_back(key->head);
    chain_back(key->tail);
    key->head = key->tail = nullptr;
    key->count = 0;
    key->link = imhead;
    imhead = key;
}
