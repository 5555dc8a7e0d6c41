// Coefficient extraction, total-degree parts, leading coefficients of
// quolys and the coefficient splice of the assignment built-in.
#include "poly/coefextract.h"

#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

bool lone_number(const polynode* p) { return p->numb && !p->next; }

polynode* zero_poly() {
    polynode* z = nullptr;
    poly_set(0, &z);
    return z;
}

// Gives one term node (no coefficient, no next) back to polygarb.
void release_node(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

polynode* extract_new(polynode* p, polynode* m, polynode* z);

// A coefficient found one level down keeps that level as padding.
polynode* padded(polynode* r) {
    if (!r->numb) add_pad(&r, 1);
    return r;
}

// The term of p of exponent e, or null.
polynode* term_of(polynode* p, int32_t e) {
    while (p && p->exp > e) p = p->next;
    return p && p->exp == e ? p : nullptr;
}

polynode* pass_level_new(polynode* p, polynode* m, polynode* z) {
    polynode *head = nullptr, *tail = nullptr;
    for (polynode* t = p; t; t = t->next) {
        polynode* r = nullptr;
        if (t->numb) {
            // A constant term has no inner variables to match.
            if (!m->numb) continue;
            node_assign(t, &r);
        } else {
            r = extract_new(t->pcoef, m, z);
            if (poly_iszero(r)) {
                free_poly(&r);
                continue;
            }
            fluff_out(&r, t->exp);
        }
        if (tail) tail->next = r;
        else head = r;
        tail = r;
    }
    return head ? head : zero_poly();
}

// The recursion of extract, one level per call; a new polynomial.
polynode* extract_new(polynode* p, polynode* m, polynode* z) {
    if (!p) return zero_poly();
    if (m->numb) {
        if (z->numb) {
            polynode* r = nullptr;
            poly_assign(p, &r);
            return r;
        }
        if (z->exp == 0) return pass_level_new(p, m, z->pcoef);
        // z fixes this variable at exponent 0: only the constant term counts.
        polynode* t = p;
        while (t && t->exp > 0) t = t->next;
        if (!t || t->exp < 0) return zero_poly();
        if (t->numb) {
            polynode* r = nullptr;
            node_assign(t, &r);
            return r;
        }
        return padded(extract_new(t->pcoef, m, z->pcoef));
    }
    const int32_t e = m->exp;
    if (!z->numb) {
        if (e == 0 && z->exp == 0) return pass_level_new(p, m->pcoef, z->pcoef);
        polynode* t = term_of(p, e);
        if (!t || t->numb) return zero_poly();
        return padded(extract_new(t->pcoef, m->pcoef, z->pcoef));
    }
    if (e == 0) return pass_level_new(p, m->pcoef, z);
    polynode* t = term_of(p, e);
    if (!t || t->numb) return zero_poly();
    return padded(extract_new(t->pcoef, m->pcoef, z));
}

void replace(polynode** slot, polynode* value) {
    free_poly(slot);
    *slot = value;
}

// d is carried in 64 bits: the exponents subtracted along 150 levels cannot
// leave it, where a 32-bit difference could wrap and match wrongly.
polynode* degree_part(polynode* p, int32_t l, int64_t d, const int32_t* marks) {
    if (l > marks[0]) {
        if (d == 0) return p;
        free_poly(&p);
        return nullptr;
    }
    const bool marked = marks[l] != 0;
    polynode *head = nullptr, *tail = nullptr;
    while (p) {
        polynode* t = p;
        p = p->next;
        t->next = nullptr;
        if (t->numb) {
            if (d != 0) {
                free_poly(&t);
                continue;
            }
        } else {
            const int64_t dd = marked ? d - t->exp : d;
            if (dd < 0 && !laurent) {
                free_poly(&t);
                continue;
            }
            t->pcoef = degree_part(t->pcoef, l + 1, dd, marks);
            if (!t->pcoef) {
                release_node(t);
                continue;
            }
            if (t->exp == 0 && lone_number(t->pcoef)) {
                polynode* c = t->pcoef;
                release_node(t);
                t = c;
            }
        }
        if (tail) tail->next = t;
        else head = t;
        tail = t;
    }
    return head;
}

// r's numerator has single exponent-0 levels above f, the node of its
// leading term: cut it down to that term's coefficient.
void keep_leading_coef(quoly* r, polynode* f) {
    free_poly(&f->next);
    polynode* leaf = nullptr;
    if (f->numb) {
        leaf = f;
    } else {
        f->exp = 0;
        if (lone_number(f->pcoef)) leaf = f->pcoef;
    }
    // Copied before the old numerator, which holds it, is freed.
    if (leaf && leaf != r->pnum) node_assign(leaf, &r->pnum);
    if (lone_number(r->pnum) && !r->den) polynum_to_quoly(&r);
}

// The node of the leading term below the single exponent-0 levels, and how
// many such levels lie above it. A number below them stands unpadded in
// the leading term (numbers are never padded).
polynode* leading_node(polynode* f, int32_t* pads) {
    *pads = 0;
    while (!f->numb && f->exp == 0 && !f->next) {
        f = f->pcoef;
        ++*pads;
    }
    if (f->numb) *pads = 0;
    return f;
}

}  // namespace

void extract(polynode* p, polynode* m, polynode* z, polynode** result) {
    replace(result, extract_new(p, m, z));
}

void pass_level(polynode* p, polynode* m, polynode* z, polynode** result) {
    replace(result, pass_level_new(p, m, z));
}

polynode* total_degree(polynode* p, int32_t l, int32_t d, const int32_t* marks) {
    return degree_part(p, l, d, marks);
}

void quoly_leading_coef(quoly* source, quoly** result) {
    quoly* r = *result;
    if (r) {
        if (r->isnum || r->rat) return;
        int32_t pads;
        keep_leading_coef(r, leading_node(r->pnum, &pads));
        return;
    }
    leading_term(source, result);
    r = *result;
    if (r->isnum || r->rat) return;
    // The copy has the source's padding above the leading term; below it the
    // term itself may be an exponent-0 node (Laurent), so count on the source.
    int32_t pads;
    leading_node(source->pnum, &pads);
    polynode* f = r->pnum;
    for (int32_t i = 0; i < pads; i++) f = f->pcoef;
    keep_leading_coef(r, f);
}

void set_it(int zero, polynode* t, polynode* prev, polynode* newc, polynode* cur, int32_t e, polynode** head) {
    if (zero) {
        if (prev) prev->next = t->next;
        else *head = t->next;
        t->next = nullptr;
        free_poly(&newc);
        free_poly(&t);
        if (!*head) *head = zero_poly();
        return;
    }
    if (t->numb) {
        if (!newc) return;
        if (lone_number(newc)) {
            // Exchange the numbers; the new node leaves with the old one.
            imag* old = t->ncoef;
            t->ncoef = newc->ncoef;
            newc->ncoef = old;
            free_poly(&newc);
        } else {
            free_imag(&t->ncoef);
            t->numb = 0;
            t->pcoef = newc;
        }
        return;
    }
    if (!cur) cur = newc ? newc : t->pcoef;
    if (e == 0 && lone_number(cur)) {
        // An exponent-0 term over a lone number is that number node.
        if (newc) free_poly(&t->pcoef);
        cur->next = t->next;
        if (prev) prev->next = cur;
        else *head = cur;
        release_node(t);
        return;
    }
    if (newc) {
        free_poly(&t->pcoef);
        t->pcoef = newc;
    }
}
