#include "storage/records.h"
#include "storage/stash.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

imag* imhead = nullptr;
numnode* numhead = nullptr;
polynode* polygarb = nullptr;
quoly* quolygarb = nullptr;
colm* colm_garb = nullptr;

namespace {

// A stash that cannot be refilled has already printed its message. The
// gcd stash may give its memory back, or the user may free some at the
// level mem_error opens; if the record still cannot be had, the
// computation stops here rather than dereference a null record.
template <class T>
T* checked(stash* s) {
    void* slug = get_slug(s);
    if (!slug) {
        mem_error();
        slug = get_slug(s);
    }
    if (!slug) {
        error(0, "");
        abandon_statement();
    }
    return static_cast<T*>(slug);
}

}  // namespace

numnode* newnumnode() {
    if (numhead) {
        numnode* n = numhead;
        numhead = n->next;
        return n;
    }
    return checked<numnode>(numstash);
}

void newimag(imag** slot) {
    if (imhead) {
        *slot = imhead;
        imhead = imhead->link;
    } else {
        *slot = checked<imag>(imagstash);
    }
}

void newpoly(polynode** slot) {
    if (polygarb) {
        *slot = polygarb;
        polygarb = polygarb->next;
    } else {
        *slot = checked<polynode>(polystash);
    }
}

void newquoly(quoly** slot) {
    if (quolygarb) {
        *slot = quolygarb;
        quolygarb = quolygarb->link;
    } else {
        *slot = checked<quoly>(quolystash);
    }
}

void newcolm(colm** slot) {
    if (colm_garb) {
        *slot = colm_garb;
        colm_garb = colm_garb->next;
    } else {
        *slot = checked<colm>(colmstash);
    }
}

polynode* new_number_node(imag* n) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = 0;
    t->numb = 1;
    t->ncoef = n;
    return t;
}

polynode* new_term_node(int32_t e, polynode* coef) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = e;
    t->numb = 0;
    t->pcoef = coef;
    return t;
}

void init_poly_node(polynode* node) {
    imag* n;
    newimag(&n);
    n->count = 0;
    node->ncoef = n;
}

void init_quoly_node(quoly* q) {
    imag* n;
    newimag(&n);
    n->count = 0;
    q->nnum = n;
}

void give_back_chain(numnode* head, numnode* tail) {
    tail->next = numhead;
    numhead = head;
}

void free_num(imag* n) {
    if (n->count > 0 && !lintmode) give_back_chain(n->head, n->tail);
}

void free_imag(imag** slot) {
    imag* n = *slot;
    free_num(n);
    n->link = imhead;
    imhead = n;
    *slot = nullptr;
}

namespace {

// Puts a term chain on polygarb in one splice; the head's exponent is cleared.
void chain_to_polygarb(polynode* p) {
    polynode* last = p;
    while (last->next) last = last->next;
    last->next = polygarb;
    p->exp = 0;
    polygarb = p;
}

}  // namespace

void free_poly(polynode** slot) {
    polynode* p = *slot;
    if (!p) return;
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            if (t->ncoef) free_imag(&t->ncoef);
        } else {
            free_poly(&t->pcoef);
        }
    }
    chain_to_polygarb(p);
    *slot = nullptr;
}

void special_free_poly(polynode** slot) {
    polynode* p = *slot;
    if (!p) return;
    for (polynode* t = p; t; t = t->next)
        if (t->ncoef) free_imag(&t->ncoef);
    chain_to_polygarb(p);
    *slot = nullptr;
}

void free_quoly(quoly** slot) {
    quoly* q = *slot;
    if (!q) return;
    if (q->isnum) {
        if (q->nnum) free_imag(&q->nnum);
    } else {
        free_poly(&q->pnum);
        free_poly(&q->den);
    }
    q->link = quolygarb;
    quolygarb = q;
    *slot = nullptr;
}

void polynum_to_quoly(quoly** q) {
    quoly* r = *q;
    polynode* p = r->pnum;
    r->isnum = 1;
    r->nnum = p->ncoef;
    p->next = polygarb;
    p->exp = 0;
    polygarb = p;
}

void poly_to_scalar(polynode* p, imag* n) { num_assign(p->ncoef, n); }
