#include "storage/other_records.h"

#include <cstring>

#include "numbers/ring.h"
#include "poly/polyvars.h"

sparse* spargarb = nullptr;
array* arr_garb = nullptr;
col* colgarb = nullptr;
fix* fixgarb = nullptr;
form* formhead = nullptr;
cond* condhead = nullptr;
name* name_garb = nullptr;
fix* masterfix = nullptr;
sparsefix* sparse_fix = nullptr;

namespace {

// Pops the free list through the record's link member, else takes a new
// heap record (fields indeterminate); reports whether it was fresh.
template <class T, class Link>
bool pop_or_new(T** slot, T*& list, Link link) {
    if (list) {
        *slot = list;
        list = list->*link;
        return false;
    }
    *slot = new T;
    return true;
}

}  // namespace

void newsparse(sparse** slot) {
    pop_or_new(slot, spargarb, &sparse::next);
    // Stamped even on reuse: the conversions of stored data compare it with
    // the current mode to decide whether the frame's entries need converting.
    (*slot)->mode = modularmode;
}

void newarray(array** slot) {
    // The creator assigns the cell count into the embedded number, which gives
    // back the chain its count describes: a fresh record must own none, and a
    // reused one still describes the digits it owns.
    if (pop_or_new(slot, arr_garb, &array::link)) (*slot)->size.count = 0;
}

void newcol(col** slot) {
    pop_or_new(slot, colgarb, &col::next);
    (*slot)->word3 = nullptr;
}

void newfix(fix** slot) {
    pop_or_new(slot, fixgarb, &fix::next);
    (*slot)->kind = FIX_SLOT;
}

void newform(form** slot) { pop_or_new(slot, formhead, &form::next); }

void newcond(cond** slot) { pop_or_new(slot, condhead, &cond::link); }

void newname(name** slot) {
    pop_or_new(slot, name_garb, &name::next);
    (*slot)->resolved = 0;
    (*slot)->blank_follows = 0;
    (*slot)->lookup_stamp = 0;
}

void newpt(pt** slot) {
    pop_or_new(slot, pt_garb, &pt::next);
    pt* v = *slot;
    v->cutoff = poly_cutoff;
    v->root_modulus = -1;
    v->relation = nullptr;
    v->binomial = nullptr;
    v->reductions = nullptr;
    v->spare = 0;
    v->root_table = nullptr;
    v->field = 0;
    v->prime_count = 0;
    v->aux_primes = nullptr;
    v->next = nullptr;
}

void restore_from_mod(fix** list) {
    fix* head = *list;
    if (!head) return;
    fix* last = head;
    for (fix* e = head; e; e = e->next) {
        last = e;
        quoly* q = static_cast<quoly*>(e->target);
        switch (e->kind) {
        case FIX_LIFTED:
            q->isnum = 0;
            q->den = nullptr;
            break;
        case FIX_NEW_NUMBER:
            free_imag(&q->nnum);
            q->den = nullptr;
            q->isnum = 0;
            break;
        case FIX_NEW_POLYS:
            free_poly(&q->pnum);
            free_poly(&q->den);
            break;
        default:
            // The slot may hold any pointer type; copy the word as bytes.
            std::memcpy(e->target, &e->saved, sizeof e->saved);
            break;
        }
    }
    last->next = fixgarb;
    fixgarb = head;
    *list = nullptr;
}

void restore_sparsefix() {
    while (sparse_fix) {
        sparsefix* r = sparse_fix;
        sparse_fix = r->next;
        *r->target = r->saved;
        delete r;
    }
}
