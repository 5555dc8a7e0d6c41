// Residue conversion in place with its undo log, and level reordering.
#include "poly/residue_conv.h"

#include "numbers/residue.h"
#include "storage/assign.h"
#include "storage/other_records.h"

void log_link(polynode** link) {
    fix* f;
    newfix(&f);
    f->target = link;
    f->saved = *link;
    f->kind = FIX_SLOT;
    f->next = masterfix;
    masterfix = f;
}

namespace {

void log_word(polynode** link, polynode* saved) {
    fix* f;
    newfix(&f);
    f->target = link;
    f->saved = saved;
    f->kind = FIX_SLOT;
    f->next = masterfix;
    masterfix = f;
}

polynode* new_term(int32_t e, polynode* c) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->pcoef = c;
    t->exp = e;
    t->numb = 0;
    return t;
}

}  // namespace

void poly_change_to_mod(polynode** slot, int flag) {
    polynode** link = slot;
    // A link word is logged once per walk: its first saved word is the one
    // the replay must end with.
    bool logged = false;
    while (polynode* t = *link) {
        bool gone;
        if (t->numb) {
            change_num(t->ncoef, 0, flag);
            gone = t->ncoef->value == 0;
        } else {
            poly_change_to_mod(&t->pcoef, flag);
            gone = t->pcoef == nullptr;
        }
        if (gone) {
            // The node stays as it is, for the way back.
            if (!logged) log_link(link);
            logged = true;
            *link = t->next;
            continue;
        }
        if (t->exp != 0 || t->numb || !t->pcoef->numb || t->pcoef->next) {
            link = &t->next;
            logged = false;
            continue;
        }
        // An exponent-0 wrapper around what is now a lone number: the number
        // node takes the wrapper's place.
        polynode* c = t->pcoef;
        if (!logged) log_link(link);
        *link = c;
        if (t->next) {
            log_word(&c->next, nullptr);
            c->next = t->next;
        }
        link = &c->next;
        logged = false;
    }
}

void convert_poly(polynode* p, polynode** out, int32_t l, int32_t T) {
    if (p->numb) {
        *out = p;
        return;
    }
    if (l >= T) {
        *out = nullptr;
        spec_poly_assign(p, out);
        return;
    }
    const int32_t e = p->exp;
    polynode* F = nullptr;
    convert_poly(p->pcoef, &F, l + 1, T);
    // The moved-down variable's exponent e goes in as a single-term level
    // directly below each node of F's top list.
    for (polynode** link = &F; *link;) {
        polynode* n = *link;
        if (n->numb) {
            // The number list is shared with p: it is wrapped, not touched.
            if (e > 0) *link = new_term(0, new_term(e, n));
            break;
        }
        if (e != 0 || !n->pcoef->numb) n->pcoef = new_term(e, n->pcoef);
        link = &n->next;
    }
    if (!p->next) {
        *out = F;
        return;
    }
    polynode* S = nullptr;
    convert_poly(p->next, &S, l, T);
    // Merge by decreasing exponent. Nodes shared with p (numbers) are only
    // ever linked to, never relinked: nothing follows a number node.
    polynode* head = nullptr;
    polynode** tail = &head;
    while (F && S) {
        polynode* n;
        if (F->exp > S->exp) {
            n = F;
            F = F->next;
        } else if (S->exp > F->exp) {
            n = S;
            S = S->next;
        } else {
            // p's terms come in decreasing exponent, so S's inner list
            // continues F's single inserted term in order.
            n = F;
            F = F->next;
            polynode* s = S;
            S = S->next;
            n->pcoef->next = s->numb ? s : s->pcoef;
            if (!s->numb) {
                s->exp = 0;
                s->next = polygarb;
                polygarb = s;
            }
        }
        *tail = n;
        tail = &n->next;
    }
    *tail = F ? F : S;
    *out = head;
}
