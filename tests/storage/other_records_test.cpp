// The heap record kinds and the undo logs: allocators reuse their free
// lists, and a replayed log puts converted values back exactly as they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "numbers/ring.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "support/gmp_bridge.h"
#include "support/node_count.h"
#include "support/poly_build.h"

namespace {

// ---- building values by hand ----

quoly* poly_quoly(polynode* num, polynode* den, int32_t rat = 0) {
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->pnum = num;
    q->den = den;
    q->rat = rat;
    return q;
}

// A residue as modular mode keeps it: a value word and no digits.
imag* residue(int32_t v) {
    imag* n;
    newimag(&n);
    n->count = 0;
    n->value = v;
    return n;
}

// A copy of a term list with every number replaced by its residue mod p.
polynode* residue_copy(const polynode* p, long prime) {
    if (!p) return nullptr;
    polynode* t;
    newpoly(&t);
    t->exp = p->exp;
    t->numb = p->numb;
    if (p->numb) {
        mpz_class r = to_mpz(p->ncoef) % prime;
        if (r < 0) r += prime;
        t->ncoef = residue(static_cast<int32_t>(r.get_si()));
    } else {
        t->pcoef = residue_copy(p->pcoef, prime);
    }
    t->next = residue_copy(p->next, prime);
    return t;
}

void push(fix** log, void* target, void* saved, int32_t kind) {
    fix* e;
    newfix(&e);
    e->target = target;
    e->saved = saved;
    e->kind = kind;
    e->next = *log;
    *log = e;
}

template <class T>
void push_slot(fix** log, T** slot) {
    push(log, slot, *slot, FIX_SLOT);
}

// ---- deep snapshots: every word of every record a value reaches ----

using Snapshot = std::vector<uintptr_t>;

template <class T>
uintptr_t w(T v) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(v);
    else
        return static_cast<uintptr_t>(v);
}

void snap_number(const imag* x, Snapshot& s) {
    s.insert(s.end(), {w(x), w(x->head), w(x->tail), w(x->link), w(x->value), w(x->count)});
    const numnode* d = x->head;
    for (int32_t i = 0; i < x->count; i++, d = d->next) s.insert(s.end(), {w(d), w(d->digit), w(d->next)});
}

void snap_poly(const polynode* p, Snapshot& s) {
    s.push_back(w(p));
    for (; p; p = p->next) {
        s.insert(s.end(), {w(p->next), w(p->coef), w(p->exp), w(p->numb)});
        if (p->numb)
            snap_number(p->ncoef, s);
        else
            snap_poly(p->pcoef, s);
    }
}

Snapshot snap(const quoly* q) {
    Snapshot s{w(q), w(q->link), w(q->num), w(q->den), w(q->isnum), w(q->rat)};
    if (q->isnum) {
        snap_number(q->nnum, s);
    } else {
        snap_poly(q->pnum, s);
        snap_poly(q->den, s);
    }
    return s;
}

int64_t list_length(const fix* e) {
    int64_t n = 0;
    for (; e; e = e->next) n++;
    return n;
}

// ---- undo log ----

TEST(UndoLog, EmptyLogChangesNothing) {
    fix* sentinel;
    newfix(&sentinel);
    sentinel->next = fixgarb;
    fixgarb = sentinel;

    fix* log = nullptr;
    restore_from_mod(&log);
    EXPECT_EQ(log, nullptr);
    EXPECT_EQ(fixgarb, sentinel);
}

TEST(UndoLog, ReplaysNewestFirstThenJoinsFixgarb) {
    // Three changes of one slot: only a newest-first replay leaves the
    // value from before the first change.
    int a = 0, b = 0, c = 0, now = 0;
    void* slot = &now;
    fix* log = nullptr;
    push(&log, &slot, &a, FIX_SLOT);
    fix* first = log;
    push(&log, &slot, &b, FIX_SLOT);
    fix* second = log;
    push(&log, &slot, &c, FIX_SLOT);
    fix* third = log;
    // Taken after the pushes, which pop fixgarb themselves.
    fix* sentinel;
    newfix(&sentinel);
    sentinel->next = fixgarb;
    fixgarb = sentinel;

    restore_from_mod(&log);
    EXPECT_EQ(slot, &a);
    EXPECT_EQ(log, nullptr);
    EXPECT_EQ(fixgarb, third);
    EXPECT_EQ(third->next, second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(first->next, sentinel);

    // newfix reuses them, newest first, each starting as a slot entry.
    third->kind = FIX_NEW_POLYS;
    fix* e;
    newfix(&e);
    EXPECT_EQ(e, third);
    EXPECT_EQ(e->kind, FIX_SLOT);
    e->next = fixgarb;
    fixgarb = e;
}

// A temporary conversion of four values to residues mod 101, logged the way
// the converters log it, then mutated as modular arithmetic would; the
// replay must give back every record exactly, and free what the conversion
// made.
TEST(UndoLog, ConvertedValuesComeBackBitIdentical) {
    const long p = 101;
    const mpz_class big = mpz_class(1) << 40;
    RecordLedger ledger;

    // (2^40 x^2 - 5) / (3x): its polynomials are replaced by residue copies.
    quoly* q1 = poly_quoly(term_node(2, number_node(big), number_node(-5)), term_node(1, number_node(3)));
    // 7/3 held as two one-node polynomials: it becomes a residue number.
    quoly* q2 = poly_quoly(number_node(7), number_node(3), 1);
    // A one-node numerator over 1: lifted to a number quoly in place.
    quoly* q3 = poly_quoly(number_node(mpz_class("123456789012345")), nullptr);
    // x^3 + 202 x + 2: the middle term vanishes mod 101 and is unlinked.
    polynode* x1 = term_node(1, number_node(202), number_node(2));
    quoly* q4 = poly_quoly(term_node(3, number_node(1), x1), nullptr);
    quoly* all[] = {q1, q2, q3, q4};

    std::vector<Snapshot> before;
    for (quoly* q : all) before.push_back(snap(q));

    fix* saved_master = masterfix;
    masterfix = nullptr;

    push_slot(&masterfix, &q1->pnum);
    push_slot(&masterfix, &q1->den);
    q1->pnum = residue_copy(q1->pnum, p);
    q1->den = residue_copy(q1->den, p);
    push(&masterfix, q1, nullptr, FIX_NEW_POLYS);

    push_slot(&masterfix, &q2->pnum);
    push_slot(&masterfix, &q2->den);
    q2->nnum = residue(7 * 34 % p);   // 34 = 3^-1 mod 101
    q2->den = nullptr;
    q2->isnum = 1;
    push(&masterfix, q2, nullptr, FIX_NEW_NUMBER);

    push_slot(&masterfix, &q3->pnum);
    q3->nnum = q3->pnum->ncoef;
    q3->isnum = 1;
    push(&masterfix, q3, nullptr, FIX_LIFTED);

    polynode* vanished = q4->pnum->next;
    push_slot(&masterfix, &q4->pnum->next);
    q4->pnum->next = vanished->next;

    // Work done in modular mode on the converted values.
    q1->pnum->next->ncoef->value = 17;
    q2->nnum->value = 99;
    q1->den->pcoef->ncoef->value = 0;

    for (size_t i = 0; i < 4; i++) ASSERT_NE(snap(all[i]), before[i]) << "value " << i << " was not converted";
    const int64_t logged = list_length(masterfix);
    const int64_t free_fixes = list_length(fixgarb);

    restore_from_mod(&masterfix);
    EXPECT_EQ(masterfix, nullptr);
    for (size_t i = 0; i < 4; i++) EXPECT_EQ(snap(all[i]), before[i]) << "value " << i;
    EXPECT_EQ(list_length(fixgarb), free_fixes + logged);

    masterfix = saved_master;
    for (quoly* q : all) free_quoly(&q);
    // The residue copies and the residue number went back to the free lists.
    EXPECT_TRUE(ledger.balanced());
}

TEST(UndoLog, SparseEntriesAreRelinkedNewestFirst) {
    // Row a -> b -> c -> d; b is unlinked, then c through the same link.
    colm e[4];
    for (int i = 0; i < 4; i++) {
        e[i].col = i + 1;
        e[i].val = nullptr;
        e[i].next = i < 3 ? &e[i + 1] : nullptr;
    }
    colm* row = &e[0];
    ASSERT_EQ(sparse_fix, nullptr);
    for (colm* gone : {&e[1], &e[2]}) {
        sparse_fix = new sparsefix{&row->next, gone, sparse_fix};
        row->next = gone->next;
    }
    ASSERT_EQ(row->next, &e[3]);

    restore_sparsefix();
    EXPECT_EQ(sparse_fix, nullptr);
    int32_t want = 1;
    for (colm* c = row; c; c = c->next) EXPECT_EQ(c->col, want++);
    EXPECT_EQ(want, 5);

    restore_sparsefix();   // an empty list is left alone
    EXPECT_EQ(sparse_fix, nullptr);
}

// ---- allocators ----

TEST(OtherRecords, NewsparseStampsTheCurrentModeEvenOnReuse) {
    RingStateGuard ring;
    modularmode = 0;
    sparse* f;
    newsparse(&f);
    EXPECT_EQ(f->mode, 0);
    f->next = spargarb;
    spargarb = f;

    modularmode = 1;
    sparse* g;
    newsparse(&g);
    EXPECT_EQ(g, f);
    EXPECT_EQ(g->mode, 1);

    // A fresh heap frame too.
    sparse* rest = spargarb;
    spargarb = nullptr;
    sparse* h;
    newsparse(&h);
    EXPECT_NE(h, g);
    EXPECT_EQ(h->mode, 1);

    h->next = rest;
    g->next = h;
    spargarb = g;
}

TEST(OtherRecords, AllocatorsPopTheirListAndSetOnlyTheirWords) {
    // array: only a record fresh from the heap gets an empty cell count.
    array* rest = arr_garb;
    arr_garb = nullptr;
    array* a;
    newarray(&a);
    EXPECT_EQ(a->size.count, 0);
    a->size.count = 7;
    a->link = rest;
    arr_garb = a;
    array* a2;
    newarray(&a2);
    EXPECT_EQ(a2, a);
    EXPECT_EQ(a2->size.count, 7);
    a2->link = arr_garb;
    arr_garb = a2;

    int marker = 0;
    col* c;
    newcol(&c);
    c->word1 = &marker;
    c->word3 = &marker;
    c->next = colgarb;
    colgarb = c;
    col* c2;
    newcol(&c2);
    EXPECT_EQ(c2, c);
    EXPECT_EQ(c2->word1, &marker);
    EXPECT_EQ(c2->word3, nullptr);
    c2->next = colgarb;
    colgarb = c2;

    name* n;
    newname(&n);
    EXPECT_EQ(n->resolved, 0);
    EXPECT_EQ(n->blank_follows, 0);
    n->resolved = n->blank_follows = n->bind_kind = 1;
    n->next = name_garb;
    name_garb = n;
    name* n2;
    newname(&n2);
    EXPECT_EQ(n2, n);
    EXPECT_EQ(n2->resolved, 0);
    EXPECT_EQ(n2->blank_follows, 0);
    EXPECT_EQ(n2->bind_kind, 1);
    n2->next = name_garb;
    name_garb = n2;
}

}  // namespace
