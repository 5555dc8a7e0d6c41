#include "storage/nodetests.h"

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "poly/measures.h"
#include "poly/polyvars.h"
#include "toplevel/errors.h"

namespace {

// Index of the highest set bit of v (v > 0), -1 for 0.
int32_t high_bit(uint32_t v) {
    int32_t b = -1;
    while (v) {
        v >>= 1;
        b++;
    }
    return b;
}

// Pushes one term node on polygarb, as every freeing routine leaves it.
void give_back_node(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

int lone_number(const polynode* p) { return p->numb && p->next == nullptr; }

int number_is_1(imag* n) {
    if (lintmode) return n->value == 1;
    return n->count == 1 && n->head->digit == 1;
}

int number_is_m1(imag* n) {
    if (modularmode) {
        if (finf) return n->value == 1;   // characteristic 2: -1 = 1
        return n->value == modulus - 1;
    }
    if (lintmode) return n->value == -1;
    return n->count == 1 && n->head->digit == -1;
}

// A fresh deep copy of p.
polynode* copy_poly(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

polynode* new_term(int32_t exp, polynode* coef) {
    polynode* t;
    newpoly(&t);
    t->exp = exp;
    t->numb = 0;
    t->pcoef = coef;
    t->next = nullptr;
    return t;
}

}  // namespace

// ---------------------------------------------------------------- integers

int32_t minn(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t maxx(int32_t a, int32_t b) { return a > b ? a : b; }
int16_t Iminn(int16_t a, int16_t b) { return a < b ? a : b; }
int16_t imaxx(int16_t a, int16_t b) { return a > b ? a : b; }

int32_t logg2(imag* n) {
    return high_bit(static_cast<uint32_t>(n->head->digit) & 0x1FFFFFFFu) + 28 * n->count - 27;
}

int32_t logg2_neg(imag* n) {
    uint32_t d = 0u - static_cast<uint32_t>(n->head->digit);
    return high_bit(d & 0x1FFFFFFFu) + 28 * n->count - 27;
}

int32_t p_size_of(polynode* node) {
    imag* n = node->ncoef;
    int32_t d = n->head->digit;
    int32_t b;
    if (d >= 0) {
        b = high_bit(static_cast<uint32_t>(d));
    } else {
        // The highest 0 bit of a negative digit at or below bit 28.
        b = high_bit(~static_cast<uint32_t>(d) & 0x1FFFFFFFu);
        if (b < 0) b = 0;
    }
    return b + 28 * n->count - 28;
}

int32_t sizenumber(imag* n) {
    if (lintmode) return numbersize;
    return numbersize + n->count * numnodesize;
}

int checkarg(numnode* list) {
    for (; list; list = list->next)
        if (list->digit == 1) return 0;
    return 1;
}

int opposites(imag* a, imag* b) {
    if (a->count != b->count) return 0;
    numnode* q = b->head;
    for (numnode* p = a->head; p; p = p->next, q = q->next)
        if (static_cast<uint32_t>(p->digit) + static_cast<uint32_t>(q->digit) != 0) return 0;
    return 1;
}

// ---------------------------------------------------------------- zero and units

int poly_iszero(polynode* p) { return p && lone_number(p) && iszero(p->ncoef); }

int node_iszero(polynode* node) { return node->numb && iszero(node->ncoef); }

int quoly_iszero(quoly* q) { return q->isnum && iszero(q->nnum); }

int lint_quoly_iszero(quoly* q) { return q->isnum && q->nnum->value == 0; }

int poly_eq_1(polynode* p) { return lone_number(p) && number_is_1(p->ncoef); }

int quoly_eq_1(quoly* q) { return q->isnum && number_is_1(q->nnum); }

int poly_eq_m1(polynode* p) { return lone_number(p) && number_is_m1(p->ncoef); }

int quoly_eq_m1(quoly* q) { return q->isnum && number_is_m1(q->nnum); }

int poly_eq_pm1(polynode* p) {
    int m1;
    return lone_number(p) && equal_to_pm1(p->ncoef, &m1);
}

int poly_small(polynode* p) {
    for (;;) {
        if (p->numb) return p->next == nullptr;
        // With Laurent exponents an exponent-0 node may have followers, and
        // then p is not a single power.
        if (p->next) return 0;
        if (p->exp != 0) {
            polynode* c = p->pcoef;
            int m1;
            return lone_number(c) && equal_to_pm1(c->ncoef, &m1);
        }
        p = p->pcoef;
    }
}

int monomial(polynode* p) {
    for (;;) {
        if (p->next) return 0;
        if (p->numb) return 1;
        p = p->pcoef;
    }
}

int height_is_1(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb) continue;
        if (!lone_number(p->pcoef)) return 0;
    }
    return 1;
}

// ---------------------------------------------------------------- chains and levels

int32_t poly_length(polynode* p) {
    int32_t n = 0;
    for (; p; p = p->next) n++;
    return n;
}

int32_t fast_poly_length(polynode* p, int32_t cap) {
    if (!p) return 0;
    if (cap < 1) return 1;
    int32_t n = 0;
    for (; p && n <= cap; p = p->next) n++;
    return n;
}

int32_t exp_poly_length(polynode* p, int32_t* last, int* flag) {
    if (!(modularmode && number_polys > 1)) *flag = 0;
    if (!p) {
        *last = 0;
        *flag = 0;
        return 0;
    }
    int32_t n = 0;
    polynode* t = p;
    for (;; t = t->next) {
        n++;
        if (*flag && !t->numb) {
            polynode* c = t->pcoef;
            if (laurent ? !lone_number(c) : !c->numb) *flag = 0;
        }
        if (!t->next) break;
    }
    *last = t->exp;
    if (modularmode && number_polys == 1)
        *flag = *last >= 0;
    else
        *flag = *flag && *last >= 0;
    int64_t span = static_cast<int64_t>(p->exp) - t->exp;
    return span > 6 * static_cast<int64_t>(n) ? -n : n;
}

polynode* lastnode(polynode* p) {
    while (p->next) p = p->next;
    return p;
}

polynode* lastnum(polynode* p) {
    p = lastnode(p);
    return p->numb ? p : p->pcoef;
}

int32_t lastexp(polynode* p) {
    for (;;) {
        p = lastnode(p);
        if (p->numb) return p->exp;
        p = p->pcoef;
    }
}

polynode* leading_coef(polynode* p) {
    while (!p->numb) p = p->pcoef;
    return p;
}

polynode* field_leading_coef(polynode* p, pt* v, pt** w) {
    while (!p->numb && v && v->level < field_depth) {
        p = p->pcoef;
        v = v->next;
    }
    *w = v;
    return p;
}

int invertible_coef(polynode* p, pt* v) {
    if (p->numb) return 0;
    while (v && v->level < field_depth) {
        p = p->pcoef;
        v = v->next;
        if (p->numb) return 0;
    }
    return 1;
}

int first_coef_invrtble(polynode* node, int32_t level) {
    if (node->numb) return field_depth >= 1 || (modularmode && mod_is_prime);
    if (field_depth == 0) return 0;
    polynode* p = node->pcoef;
    int32_t lev = level + 1;
    while (!p->numb && p->exp == 0) {
        p = p->pcoef;
        lev++;
    }
    return lev >= field_depth;
}

int32_t real_degree(polynode* p, int32_t level) {
    for (; level > 1 && !p->numb; level--) p = p->pcoef;
    return p->exp;
}

int32_t real_q_degree(quoly* q, int32_t level) {
    return q->isnum ? 0 : real_degree(q->pnum, level);
}

int32_t clean_degree(polynode* p, int32_t level) {
    if (p->numb) return 0;
    for (; level > 1; level--) {
        if (p->numb) {
            tarvex_error("bad number node in clean_degree", 1);
            return 0;
        }
        if (p->exp != 0) {
            tarvex_error("bad u in clean_degree", 1);
            return 0;
        }
        p = p->pcoef;
    }
    return p->exp;
}

int32_t poly_depth(polynode* p) {
    if (p->exp != 0 || p->next) return 1;
    if (p->numb) return 16384;
    int32_t d = 1;
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        d++;
    }
    return d;
}

int32_t poly_level(polynode* p) {
    if (p->numb) return p->next ? 1 : 0;
    int32_t lev = 1;
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        lev++;
    }
    return lev;
}

int depth_only_2(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb) return 1;
        polynode* c = p->pcoef;
        if (c->numb) continue;
        if (!c->pcoef->numb) return 0;
        int k = 0;
        for (polynode* t = c->next; t && k < 3; t = t->next, k++)
            if (!t->numb && !t->pcoef->numb) return 0;
    }
    return 1;
}

int depth_density(polynode* p, int32_t* first, int32_t* maxdeg, int32_t* last, int32_t* count) {
    *first = p->exp;
    *maxdeg = 0;
    *count = 0;
    for (;; p = p->next) {
        ++*count;
        if (p->numb) {
            *last = 0;
            return 1;
        }
        polynode* c = p->pcoef;
        if (!c->numb) {
            if (!c->pcoef->numb) return 0;
            if (c->exp > *maxdeg) *maxdeg = c->exp;
            for (polynode* t = c->next; t; t = t->next)
                if (!t->numb && !t->pcoef->numb) return 0;
        }
        if (!p->next) break;
    }
    *last = p->exp;
    return 1;
}

void findHeight(polynode** p, polynode** q, int16_t* h, pt** v) {
    // Number nodes have exponent 0 too but no level below them.
    while ((*p)->exp == 0 && (*q)->exp == 0 && !(*p)->numb && !(*q)->numb) {
        *p = (*p)->pcoef;
        *q = (*q)->pcoef;
        *v = (*v)->next;
        ++*h;
    }
}

void poly_level_depth(int32_t a, int32_t b, int32_t size, int32_t* x, int32_t* y) {
    // Bigger operands afford a wider window of levels to try.
    int32_t cap = size <= 1199 ? 4 : (size <= 9999 ? 8 : 12);
    *x = 2;
    *y = minn(maxx(a, b), cap);
}

int all_coefs_numb(polynode* p, int32_t* levels) {
    *levels = 0;
    while (p->exp == 0 && !p->next) {
        if (p->numb) {
            tarvex_error("bad number node in all_coefs_numb", 1);
            return 0;
        }
        p = p->pcoef;
        ++*levels;
    }
    for (; p; p = p->next)
        if (!p->numb && !p->pcoef->numb) return 0;
    return 1;
}

int is_poly_var(quoly* q, int32_t* level) {
    if (q->isnum || q->den) return 0;
    polynode* p = q->pnum;
    int32_t lev = 0;
    while (!p->numb && p->exp == 0 && !p->next) {
        p = p->pcoef;
        lev++;
    }
    if (p->numb || p->exp != 1 || p->next) return 0;
    polynode* c = p->pcoef;
    if (!lone_number(c) || !number_is_1(c->ncoef)) return 0;
    *level = lev + 1;
    return 1;
}

int is_array_param(quoly* q) { return q->isnum && q->den != nullptr; }

// ---------------------------------------------------------------- conversions

int32_t convert_to_int(imag* n) {
    if (lintmode) return n->value;
    if (n->count == 1) return n->head->digit;
    if (n->count == 2) {
        int32_t h = n->head->digit;
        // |h| <= 7 keeps h * 2^28 + tail inside 32 bits.
        if (h >= -7 && h <= 7) return h * DIGIT_BASE + n->tail->digit;
    }
    return INT_DOES_NOT_FIT;
}

int32_t big_convert_to_int(imag* n) {
    if (lintmode) return n->value;
    if (n->count < 2) return n->head->digit;
    if (n->count == 2) {
        int32_t h = n->head->digit;
        if (h >= -7 && h <= 7) return h * DIGIT_BASE + n->tail->digit;
    }
    return INT_DOES_NOT_FIT;
}

int32_t quoly_convert_to_int(quoly* q) {
    return convert_to_int(q->isnum ? q->nnum : leading_coef(q->pnum)->ncoef);
}

int32_t big_quoly_convert_to_int(quoly* q) {
    return big_convert_to_int(q->isnum ? q->nnum : leading_coef(q->pnum)->ncoef);
}

int quoly_larger(quoly* a, quoly* b) { return bigger(a->nnum, b->nnum); }

// ---------------------------------------------------------------- negative exponents

int anynegs(polynode* p) {
    for (; p; p = p->next) {
        if (p->exp < 0) return 1;
        if (!p->numb && anynegs(p->pcoef)) return 1;
    }
    return 0;
}

int negexponents(quoly** cells, int32_t n) {
    int64_t total = static_cast<int64_t>(n) * n;
    for (int64_t i = 0; i < total; i++) {
        quoly* q = cells[i];
        if (q && !q->isnum && anynegs(q->pnum)) return 1;
    }
    return 0;
}

int sparse_negexponents(sparse* frame, int32_t n) {
    for (int32_t base = 0; frame && base < n; base += SPARSE_FRAME_ROWS, frame = frame->next) {
        int32_t rows = minn(SPARSE_FRAME_ROWS, n - base);
        for (int32_t r = 0; r < rows; r++)
            for (colm* e = frame->row[r]; e; e = e->next)
                if (e->val && !e->val->isnum && anynegs(e->val->pnum)) return 1;
    }
    return 0;
}

void find_negs(polynode* p, polynode* r) {
    polynode* t = p;
    for (;; t = t->next) {
        if (!t->numb && !lone_number(t->pcoef) && r->next) find_negs(t->pcoef, r->next);
        if (!t->next) break;
    }
    if (t->exp < r->exp) r->exp = t->exp;
}

// ---------------------------------------------------------------- structural changes

void remove_dummy(polynode* node) {
    polynode* inner = node->pcoef;
    node->ncoef = inner->ncoef;
    node->numb = 1;
    give_back_node(inner);
}

void mult_expons(polynode* p, int32_t k) {
    while (!p->numb && p->exp == 0) p = p->pcoef;
    for (; p; p = p->next)
        p->exp = static_cast<int32_t>(static_cast<uint32_t>(p->exp) * static_cast<uint32_t>(k));
}

void sub_expons(polynode* p, polynode** saved, int32_t k) {
    *saved = nullptr;
    if (!p->next) {
        // No term in front to relink: the caller's pointer must stay valid.
        p->exp = 0;
        return;
    }
    polynode* prev = p;
    for (polynode* t = p; t->next; t = t->next) {
        t->exp -= k;
        prev = t;
    }
    polynode* last = prev->next;
    if (!last->numb && lone_number(last->pcoef)) {
        prev->next = last->pcoef;
        *saved = last;
    } else {
        last->exp = 0;
    }
}

void restore_exps(polynode* p, polynode* saved, int32_t k) {
    if (!p->next) {
        if (!p->numb) p->exp = k;
        return;
    }
    polynode* prev = p;
    for (polynode* t = p; t->next; t = t->next) {
        t->exp += k;
        prev = t;
    }
    polynode* last = prev->next;
    if (last->numb) {
        if (saved) prev->next = saved;
    } else {
        last->exp = k;
    }
}

void split_poly(quoly** a, quoly** b) {
    imag* kn = (*b)->nnum;
    int32_t k = convert_to_int(kn);
    setvalue(0, kn);
    if (k == 0) {
        quoly* t = *a;
        *a = *b;
        *b = t;
        return;
    }
    quoly* qa = *a;
    if (qa->isnum || k < 0 || k > qa->pnum->exp) return;

    // Lower the high terms by k; one that lands on exponent 0 over a lone
    // number becomes that number node.
    polynode** link = &qa->pnum;
    polynode* t = qa->pnum;
    while (t && t->exp >= k) {
        t->exp -= k;
        if (t->exp == 0 && !t->numb && lone_number(t->pcoef)) {
            polynode* c = t->pcoef;
            c->next = t->next;
            *link = c;
            give_back_node(t);
            t = c;
        }
        link = &t->next;
        t = t->next;
    }

    if (!t) {
        // Everything was divisible: b takes a / x^k, a takes the zeroed number.
        *a = *b;
        *b = qa;
        if (lone_number(qa->pnum)) polynum_to_quoly(b);
        return;
    }

    quoly* qb = *b;
    *link = nullptr;
    polynode* high = qa->pnum;
    qa->pnum = t;
    if (lone_number(t)) polynum_to_quoly(a);
    free_imag(&qb->nnum);
    qb->isnum = 0;
    qb->pnum = high;
    qb->den = nullptr;
    qb->rat = 0;
    if (lone_number(high)) polynum_to_quoly(b);
}

polynode* leading_coef_level_two(polynode* p) {
    if (!p) return nullptr;
    int32_t d = -2147483647;
    max_degree(p, 2, &d);

    polynode* head = nullptr;
    polynode** tail = &head;
    auto append = [&tail](polynode* t) {
        *tail = t;
        tail = &t->next;
    };
    for (polynode* t = p; t; t = t->next) {
        if (d != 0) {
            if (t->numb) continue;
            polynode* c = t->pcoef;
            if (c->numb || c->exp < d) continue;
            if (t->exp == 0 && c->pcoef->numb) {
                polynode* n = nullptr;
                node_assign(c->pcoef, &n);
                append(n);
            } else
                append(new_term(t->exp, copy_poly(c->pcoef)));
        } else if (t->numb) {
            polynode* n = nullptr;
            node_assign(t, &n);
            append(n);
        } else {
            polynode* c = t->pcoef;
            append(new_term(t->exp, copy_poly(c->numb ? c : c->pcoef)));
        }
    }
    *tail = nullptr;
    return head;
}
