#include "storage/equality.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"

sort_entry* sortp = nullptr;

// ---------------------------------------------------------------- equality

int poly_equal(polynode* a, polynode* b) {
    for (; a && b; a = a->next, b = b->next) {
        if (a->numb != b->numb) return 0;
        if (a->numb) {
            if (!equal(a->ncoef, b->ncoef)) return 0;
        } else if (a->exp != b->exp || !poly_equal(a->pcoef, b->pcoef)) {
            return 0;
        }
    }
    return a == b;   // both chains ended together (or both were null)
}

int poly_neg(polynode* a, polynode* b) {
    for (; a && b; a = a->next, b = b->next) {
        if (a->numb != b->numb) return 0;
        if (a->numb) {
            if (!negtive(a->ncoef, b->ncoef)) return 0;
        } else if (a->exp != b->exp || !poly_neg(a->pcoef, b->pcoef)) {
            return 0;
        }
    }
    return a == b;
}

int quoly_equal(quoly* a, quoly* b) {
    if (a->isnum && b->isnum) return equal(a->nnum, b->nnum);
    if (a->isnum || b->isnum) return 0;
    if ((a->den == nullptr) != (b->den == nullptr)) return 0;
    return poly_equal(a->pnum, b->pnum) && poly_equal(a->den, b->den);
}

int fast_quoly_equal(quoly* a, quoly* b) {
    if (a->isnum && b->isnum) return equal(a->nnum, b->nnum);
    if (a->isnum || b->isnum) return 0;
    return poly_equal(a->pnum, b->pnum);
}

int quoly_negtive(quoly* a, quoly* b) {
    if (a->isnum && b->isnum) return negtive(a->nnum, b->nnum);
    if (a->isnum || b->isnum) return 0;
    if ((a->den == nullptr) != (b->den == nullptr)) return 0;
    return poly_neg(a->pnum, b->pnum) && poly_equal(a->den, b->den);
}

// ---------------------------------------------------------------- signs

namespace {

imag* leading_number(polynode* p) {
    while (!p->numb) p = p->pcoef;
    return p->ncoef;
}

int number_negative(imag* x) { return lintmode ? x->value < 0 : x->head->digit < 0; }

}  // namespace

int neg_leading_term(polynode* p) { return number_negative(leading_number(p)); }

int quol_neg_lead_term(quoly* q) {
    return number_negative(q->isnum ? q->nnum : leading_number(q->pnum));
}

int pos_leading_coef(polynode* p) {
    imag* x = leading_number(p);
    if (!lintmode) return x->head->digit > 0;
    // Displayed as r - modulus, so never positive.
    if (modularmode && alt_form_display && x->value > half_modulus) return 0;
    return x->value > 0;
}

// ---------------------------------------------------------------- names

int32_t hash(const char* name, int32_t m) {
    int32_t h = 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c; c++)
        h = (h * 123 + *c) % m;
    return h;
}

// ---------------------------------------------------------------- sorts

void quiccsort(int32_t* a, int32_t lo, int32_t hi) {
    while (hi > lo) {
        int32_t r = lo + std::rand() % (hi - lo + 1);
        std::swap(a[lo], a[r]);
        int32_t pivot = a[lo];
        int32_t m = lo;
        for (int32_t i = lo + 1; i <= hi; i++)
            if (a[i] < pivot) std::swap(a[++m], a[i]);
        std::swap(a[lo], a[m]);
        quiccsort(a, lo, m - 1);
        lo = m + 1;
    }
}

namespace {

sort_entry& at(int32_t i) { return sortp[i - 1]; }

int name_cmp(const sort_entry& a, const sort_entry& b) {
    return std::strncmp(a.name, b.name, sizeof a.name);
}

void exchange(int32_t i, int32_t j) { std::swap(at(i), at(j)); }

// Median of the first, middle and last names as pivot; returns where the
// pivot ends up, everything before it no greater and everything after it
// greater.
int32_t name_partition(int32_t lo, int32_t hi) {
    int32_t mid = (lo + hi) / 2;
    if (name_cmp(at(mid), at(lo)) < 0) exchange(mid, lo);
    if (name_cmp(at(hi), at(lo)) < 0) exchange(hi, lo);
    if (name_cmp(at(hi), at(mid)) < 0) exchange(hi, mid);
    exchange(lo, mid);
    const sort_entry pivot = at(lo);
    int32_t i = lo + 1, j = hi;
    for (;;) {
        while (i <= hi && name_cmp(at(i), pivot) <= 0) i++;
        while (name_cmp(pivot, at(j)) < 0) j--;   // stops at lo at the latest
        if (i >= j) break;
        exchange(i, j);
    }
    exchange(lo, j);
    return j;
}

}  // namespace

void quicksort(int32_t lo, int32_t hi) {
    while (hi - lo >= 2) {
        int32_t m = name_partition(lo, hi);
        // Names equal to the pivot are already in place.
        int32_t left_end = m - 1;
        while (left_end >= lo && name_cmp(at(left_end), at(m)) == 0) left_end--;
        int32_t right_start = m + 1;
        while (right_start <= hi && name_cmp(at(right_start), at(m)) == 0) right_start++;
        // Recurse into the shorter side so the stack stays logarithmic.
        if (left_end - lo < hi - right_start) {
            quicksort(lo, left_end);
            lo = right_start;
        } else {
            quicksort(right_start, hi);
            hi = left_end;
        }
    }
    if (hi - lo == 1 && name_cmp(at(hi), at(lo)) < 0) exchange(lo, hi);
}

void sort_vars(sort_entry* table, int32_t n) {
    // quicksort works on sortp; point it at the table for the duration.
    struct Use {
        sort_entry* saved;
        explicit Use(sort_entry* t) : saved(sortp) { sortp = t; }
        ~Use() { sortp = saved; }
    } use(table);
    quicksort(1, n);
}

void set_listing_entry(sort_entry* e, const char* text, int32_t item) {
    std::memset(e->name, 0, sizeof e->name);
    std::memcpy(e->name, text, std::min(std::strlen(text), sizeof e->name - 1));
    e->count = 0;
    e->item = item;
}

void sort_listing(sort_entry* table, int32_t n) {
    if (n <= 0) return;
    sort_vars(table, n);
    // A marker character appended to the key could not keep the records of
    // one name in chain order: after fifteen of them the marker reaches the
    // digits, and a name of ten characters would lose its last one, so
    // different names would collide. Runs of one key are put in order here.
    for (int32_t lo = 0; lo < n;) {
        int32_t hi = lo + 1;
        while (hi < n && std::strncmp(table[hi].name, table[lo].name, sizeof table[lo].name) == 0) hi++;
        std::sort(table + lo, table + hi, [](const sort_entry& x, const sort_entry& y) { return x.item < y.item; });
        lo = hi;
    }
}
