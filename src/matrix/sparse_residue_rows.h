// Row merges on residue entries, private to the modular sparse routines.
// Two holdings of a residue share one merge: the value word of the entry's
// plain-number quoly (transforms, and matrices worked on in place), and the
// raw residue kept in the entry's value pointer itself (a working copy made
// by move_data_into_quoly). No residue 0 is ever left stored.
#pragma once
#include <cstdint>

#include "matrix/sparse.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"

struct QuolyResidue {
    static int32_t get(const colm* e) { return e->val->nnum->value; }
    static void set(colm* e, int32_t v) { e->val->nnum->value = v; }
    static void fill(colm* e, int32_t v) {
        e->val = nullptr;
        quoly_set_lint(v, &e->val);
    }
    static void drop(colm** p) { free_colm(p); }
};

struct RawResidue {
    static int32_t get(const colm* e) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(e->val)); }
    static void set(colm* e, int32_t v) { e->val = reinterpret_cast<quoly*>(static_cast<intptr_t>(v)); }
    static void fill(colm* e, int32_t v) { set(e, v); }
    static void drop(colm** p) {
        colm* dead = *p;
        *p = dead->next;
        dead->next = colm_garb;
        colm_garb = dead;
    }
};

// -t in the current ring: t itself in characteristic 2.
inline int32_t residue_neg(int32_t t) { return finf || t == 0 ? t : modulus - t; }

// The row list from slot p on += f x src (src's entries in column order);
// sums of 0 are unlinked. Each new entry's column is passed to on_new.
template <class V, class OnNew>
void residue_row_axpy(colm** p, const colm* src, int32_t f, OnNew on_new) {
    if (f == 0) return;
    for (; src; src = src->next) {
        while (*p && (*p)->col < src->col) p = &(*p)->next;
        const int32_t t = modmult(f, V::get(src));
        if (*p && (*p)->col == src->col) {
            const int32_t s = mod_add(V::get(*p), t, modulus);
            if (s == 0) {
                V::drop(p);
            } else {
                V::set(*p, s);
                p = &(*p)->next;
            }
        } else if (t != 0) {
            colm* e = take_colm();
            e->col = src->col;
            V::fill(e, t);
            e->next = *p;
            *p = e;
            p = &e->next;
            on_new(src->col);
        }
    }
}

template <class V>
void residue_row_axpy(colm** p, const colm* src, int32_t f) {
    residue_row_axpy<V>(p, src, f, [](int32_t) {});
}
