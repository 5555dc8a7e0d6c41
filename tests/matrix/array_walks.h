// A fixture for the arrays' part in the system's walks: statements run as
// the loop runs them, arrays made through the store, and readers of cells
// and entries as GMP values.
#pragma once
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "../interp/statement_runs.h"
#include "interp/settings.h"
#include "matrix/array_aliases.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "sparse_check.h"
#include "support/gmp_bridge.h"
#include "storage/other_records.h"
#include "support/ring_setup.h"

namespace array_walks {

class ArrayWalks : public statement_runs::StatementRuns {
protected:
    int saved_alt_ = alt_form_display;
    int saved_addresser_ = addresser;

    void SetUp() override {
        start(0);
        if (!quol_num_0) quoly_set(0, &quol_num_0);
        drop_all_poly_vars();
        pseudo_polynames = nullptr;
        laurent = 0;
        alt_form_display = 0;
        addresser = 1;
    }
    void TearDown() override {
        // Aliases own nothing: the arrays they stand for free the cells.
        for (array*& head : arr_store)
            for (array** p = &head; *p;) {
                array* a = *p;
                if (a->stamp >= 0) {
                    p = &a->link;
                    continue;
                }
                *p = a->link;
                special_free(&a->size);
                a->link = arr_garb;
                arr_garb = a;
            }
        for (array*& head : arr_store)
            while (head) remove_array(head);
        imag none{};
        fill_syst_array(nullptr, &none, 0, nullptr, 1);
        syst_dump = 0;
        EXPECT_EQ(masterfix, nullptr);
        EXPECT_EQ(sparse_fix, nullptr);
        drop_all_poly_vars();
        pseudo_polynames = nullptr;
        laurent = 0;
        finish();
        alt_form_display = saved_alt_;
        addresser = saved_addresser_;
    }

    static tokenrec tok(const char* s) {
        tokenrec t;
        set_token(&t, s);
        return t;
    }
    static array* dense(const char* n, int32_t r, int32_t c) {
        tokenrec t = tok(n);
        return insertarr(&t, r, c, 0);
    }
    static array* sparse_array(const char* n, int32_t r, int32_t c) {
        tokenrec t = tok(n);
        return sparse_create(&t, r, c, 0, 1);
    }
    // An alias record standing for a (as an array parameter's): same cells
    // or frames, the negated stamp.
    static array* alias_of(array* a, const char* n) {
        array* r;
        newarray(&r);
        const imag keep = r->size;
        *r = *a;
        r->size = keep;
        spec_num_assign(&a->size, &r->size);
        std::snprintf(r->name, sizeof r->name, "%s", n);
        tokenrec t = tok(n);
        r->hash = static_cast<uint16_t>(sca_bucket(&t));
        r->stamp = -a->stamp;
        r->link = arr_store[r->hash];
        arr_store[r->hash] = r;
        note_alias(r, a);
        return r;
    }
    // Cell (i, j) of a dense array takes q.
    static void put(array* a, int32_t i, int32_t j, quoly* q) {
        if (a->sparse) {
            sparse_insert(i, j, a, 1, &q);
            free_quoly(&q);
            return;
        }
        quoly** slot = nullptr;
        array_quoly_ptr(a, i, j, 1, &slot, "t", 0);
        free_quoly(slot);
        *slot = q;
    }
    // The value at (i, j): the cell, the entry or quol_num_0, or null.
    static quoly* at(array* a, int32_t i, int32_t j) {
        if (a->sparse) return spar_retrieve(a->sparse, i, j);
        quoly** slot = nullptr;
        array_quoly_ptr(a, i, j, 1, &slot, "t", 0);
        return *slot;
    }
    static int64_t entries(sparse* first, int32_t rows) {
        int64_t n = 0;
        for (int32_t r = 1; r <= rows; r++)
            for (colm* e = *row_head(first, r); e; e = e->next) n++;
        return n;
    }
};

// A fresh quoly holding x, of any size (rational mode).
inline quoly* big_q(const mpq_class& x) {
    quoly* num = nullptr;
    newquoly(&num);
    num->link = nullptr;
    num->isnum = 1;
    num->rat = 0;
    num->den = nullptr;
    num->nnum = from_mpz(x.get_num());
    if (x.get_den() == 1) return num;
    quoly* den = big_q(mpq_class(x.get_den()));
    quoly* r = nullptr;
    quoly_quot(num, den, &r, 0);
    free_quoly(&num);
    free_quoly(&den);
    return r;
}

// A fresh quoly num / den (den null: a polynomial), taken over as they are.
inline quoly* quoly_of(polynode* num, polynode* den) {
    quoly* q = nullptr;
    newquoly(&q);
    q->link = nullptr;
    q->isnum = 0;
    q->rat = 0;
    q->pnum = num;
    q->den = den;
    return q;
}

// The exact value a quoly holds in its digits, whatever the arithmetic.
inline mpq_class digits_value(const quoly* q) {
    if (q->isnum) return mpq_class(to_mpz(q->nnum));
    mpq_class x(to_mpz(q->pnum->ncoef), to_mpz(q->den->ncoef));
    x.canonicalize();
    return x;
}

// x mod m in 0 .. m - 1 (a rational through the inverse of its denominator).
inline mpz_class residue(const mpq_class& x, int32_t m) {
    mpz_class mm = m, n = x.get_num() % mm, d = x.get_den() % mm, inv;
    if (n < 0) n += mm;
    if (d < 0) d += mm;
    mpz_invert(inv.get_mpz_t(), d.get_mpz_t(), mm.get_mpz_t());
    return n * inv % mm;
}

}  // namespace array_walks
