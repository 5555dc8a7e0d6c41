// Exponent shifts out and back (negative or least exponents) and the
// scaling of every exponent by the modulus.
//
// Shifting rewrites exponents in place; where a shift moves a number node
// off exponent 0 it is wrapped in a term node, and where a term lands on
// exponent 0 over a lone number the wrapper goes, so the result keeps the
// shape rules. The same d added to every exponent of a chain keeps its
// order.
#include "poly/laurent.h"

#include <climits>
#include <vector>

#include "interp/token.h"
#include "numbers/ring.h"
#include "gcd/field_levels.h"
#include "poly/exponent_range.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

inline bool lone_number(const polynode* p) { return p->numb && !p->next; }

void to_polygarb(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

polynode* wrapper(int32_t exp, polynode* coef, polynode* next) {
    polynode* w;
    newpoly(&w);
    w->exp = exp;
    w->numb = 0;
    w->pcoef = coef;
    w->next = next;
    return w;
}

// Gives the chain first .. last back to polygarb.
void splice_back(polynode* first, polynode* last) {
    last->next = polygarb;
    first->exp = 0;
    polygarb = first;
}

// A shift list under construction, given back if the scope unwinds.
struct ShiftList {
    polynode* first = nullptr;
    polynode* last = nullptr;
    ShiftList() = default;
    ~ShiftList() {
        if (first) splice_back(first, last);
    }
    ShiftList(const ShiftList&) = delete;
    ShiftList& operator=(const ShiftList&) = delete;
    void append(int32_t value) {
        polynode* e;
        newpoly(&e);
        e->exp = value;
        e->next = nullptr;
        e->numb = 0;
        e->coef = nullptr;
        if (last)
            last->next = e;
        else
            first = e;
        last = e;
    }
};

// A constant term: no positive power of this variable or of any inner one
// divides the polynomial.
void cut_positive(polynode* e) {
    for (; e; e = e->next)
        if (e->exp > 0) e->exp = 0;
}

// Read-only: every exponent that the shift touches stays within 32 bits.
void check_shift(const polynode* p, const polynode* e, int64_t sign) {
    const int64_t d = sign * e->exp;
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (e->next) check_shift(t->pcoef, e->next, sign);
        if (!exponent_fits(t->exp + d)) {
            // An exponent outside 32 bits cannot be stored: nothing to go on with.
            error(156, token.name);
            abandon_statement();
        }
    }
}

void shift(polynode** slot, const polynode* e, int32_t sign) {
    if (!*slot) return;
    const int32_t d = sign * e->exp;
    polynode** link = slot;
    while (polynode* t = *link) {
        if (e->next) {
            if (!t->numb) {
                shift(&t->pcoef, e->next, sign);
            } else {
                // The number takes the inner levels' shifts as a polynomial
                // of its own below an exponent-0 term.
                polynode* after = t->next;
                polynode* inner = t;
                inner->next = nullptr;
                shift(&inner, e->next, sign);
                t = wrapper(0, inner, after);
                *link = t;
            }
        }
        if (d != 0) {
            if (t->numb) {
                polynode* after = t->next;
                t->next = nullptr;
                t = wrapper(d, t, after);
                *link = t;
            } else {
                t->exp += d;
            }
        }
        if (!t->numb && t->exp == 0 && lone_number(t->pcoef)) {
            polynode* num = t->pcoef;
            num->next = t->next;
            *link = num;
            to_polygarb(t);
            t = num;
        }
        link = &t->next;
    }
}

void check_scaling(const polynode* p, int64_t m) {
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (!exponent_fits(t->exp * m)) {
            error(156, token.name);
            abandon_statement();
        }
        check_scaling(t->pcoef, m);
    }
}

void scale(polynode* p, int32_t m) {
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        t->exp *= m;
        scale(t->pcoef, m);
    }
}

}  // namespace

void clear_bads(polynode** p, polynode** first, polynode** last, int32_t seed, int32_t stop) {
    ShiftList list;
    list.append(seed);
    const int32_t s = stop ? stop : SHIFT_ALL_LEVELS;
    if (s >= 3 && polynames && polynames->next) {
        int32_t level = 2;
        for (pt* v = polynames->next; v && level < s; v = v->next, level++) list.append(seed);
    }

    polynode* top = list.first;
    polynode* tail = *p;
    for (polynode* t = *p; t; t = t->next) {
        tail = t;
        if (seed != SHIFT_NEGATIVES) {
            if (t->numb)
                cut_positive(top);
            else if (top->next)
                find_bads(t->pcoef, top->next);
        } else if (!t->numb && !lone_number(t->pcoef) && top->next) {
            find_negs(t->pcoef, top->next);
        }
    }
    if (tail->exp < top->exp) top->exp = tail->exp;

    // Entries past the last real shift would only cost a walk.
    polynode* real_last = nullptr;
    for (polynode* e = list.first; e; e = e->next)
        if (e->exp != 0 && e->exp != seed) real_last = e;
    *first = *last = nullptr;
    if (!real_last) return;   // the guard gives the list back
    if (real_last->next) {
        splice_back(real_last->next, list.last);
        real_last->next = nullptr;
        list.last = real_last;
    }
    eliminate_bads(p, list.first, -1);
    *first = list.first;
    *last = list.last;
    list.first = list.last = nullptr;
}

void eliminate_bads(polynode** p, polynode* e, int32_t sign) {
    if (!*p) return;
    for (const polynode* x = e; x; x = x->next)
        if (!exponent_fits(int64_t{sign} * x->exp)) {
            error(156, token.name);
            abandon_statement();
        }
    check_shift(*p, e, sign);
    shift(p, e, sign);
}

void find_bads(polynode* q, polynode* e) {
    polynode* tail = q;
    for (polynode* t = q; t; t = t->next) {
        tail = t;
        if (t->numb)
            cut_positive(e);
        else if (e->next)
            find_bads(t->pcoef, e->next);
    }
    if (tail->exp < e->exp) e->exp = tail->exp;
}

namespace {

void collect_degrees(const polynode* p, size_t level, std::vector<int32_t>& deg) {
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (level >= deg.size()) deg.resize(level + 1, 0);
        if (t->exp > deg[level]) deg[level] = t->exp;
        collect_degrees(t->pcoef, level + 1, deg);
    }
}

}  // namespace

bool coefficient_zero_divisors() {
    if (modularmode && !finf && !mod_is_prime) return true;
    // Field levels alone, which the prime leaves a field, have none.
    if (field_depth > 0 && modularmode && !nonfield_relation_inward(polynames) && field_levels_make_field()) return false;
    return relation_inward(polynames);
}

void degree_shifts(const polynode* p, polynode** first, polynode** last) {
    *first = *last = nullptr;
    std::vector<int32_t> deg;
    collect_degrees(p, 0, deg);
    size_t used = 0;
    const pt* rec = polynames;
    for (size_t i = 0; i < deg.size(); i++, rec = rec ? rec->next : nullptr) {
        if (rec && rec->relation) deg[i] = 0;
        if (deg[i] > 0) used = i + 1;
    }
    if (used == 0) return;
    ShiftList list;
    for (size_t i = 0; i < used; i++) list.append(deg[i]);
    *first = list.first;
    *last = list.last;
    list.first = list.last = nullptr;
}

void release_shift_list(polynode** first, polynode** last) {
    if (!*first) return;
    polynode* end = *last;
    if (!end)
        for (end = *first; end->next;) end = end->next;
    splice_back(*first, end);
    *first = *last = nullptr;
}

void poly_to_prime(polynode* p) {
    if (!p) return;
    check_scaling(p, modulus);
    scale(p, modulus);
}
