#include "quoly/pth_roots.h"

#include <vector>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

namespace {

bool lone_number(const polynode* p) { return p->numb && !p->next; }

// The dimension of the field inside rec: 1 at the innermost level.
int32_t inner_dimension(const pt* rec) { return rec->next ? field_dimension(rec->next) : 1; }

// Coordinates of the reduced polynomial p (at rec's level) added into
// v[base ..]: a term c·t^e of an inner coefficient c lands in the block of
// inner basis elements that follow e·D.
void coordinates(const polynode* p, const pt* rec, std::vector<int32_t>& v, int64_t base) {
    const int32_t d = inner_dimension(rec);
    for (; p; p = p->next) {
        if (p->exp < 0 || p->exp >= rec->modout_degree) {
            tarvex_error(" unreduced power in pth_root.", 1);
            abandon_statement();
        }
        const int64_t at = base + int64_t{p->exp} * d;
        if (p->numb)
            v[at] = p->ncoef->value;
        else if (!rec->next || lone_number(p->pcoef))
            v[at] = p->pcoef->ncoef->value;
        else
            coordinates(p->pcoef, rec->next, v, at);
    }
}

// The element of rec's field whose coordinates are v[base .. base + N);
// null for zero.
polynode* from_coordinates(const std::vector<int32_t>& v, const pt* rec, int64_t base) {
    const int32_t d = inner_dimension(rec);
    polynode* head = nullptr;
    polynode** link = &head;
    for (int32_t e = rec->modout_degree - 1; e >= 0; e--) {
        const int64_t at = base + int64_t{e} * d;
        polynode* c = nullptr;
        if (rec->next) {
            c = from_coordinates(v, rec->next, at);
        } else if (v[at] != 0) {
            poly_set(v[at], &c);
        }
        if (!c) continue;
        if (e == 0 && lone_number(c)) {
            *link = c;
        } else {
            *link = new_term_node(e, c);
        }
        link = &(*link)->next;
    }
    return head;   // null for zero: zero is never a coefficient
}

// A polynomial at rec's level from its coordinates; zero is a lone 0.
polynode* element(const std::vector<int32_t>& v, const pt* rec, int64_t base) {
    polynode* p = from_coordinates(v, rec, base);
    if (!p) poly_set(0, &p);
    return p;
}

// rec and every level inside it have a table built for the modulus.
bool tables_fresh(const pt* rec) {
    for (; rec; rec = rec->next)
        if (!rec->root_table || rec->root_modulus != modulus) return false;
    return true;
}

// Builds, from the innermost level out to rec, every table missing or
// built for another modulus.
void make_tables_through(pt* rec) {
    std::vector<pt*> chain;
    bool found = false;
    for (pt* v = polynames; v; v = v->next) {
        if (v == rec) found = true;
        if (found) chain.push_back(v);
    }
    if (!found) {
        tarvex_error("make pth roots.", 1);
        abandon_statement();
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (!(*it)->root_table || (*it)->root_modulus != modulus) do_this_level(*it);
}

}  // namespace

int32_t field_dimension(const pt* rec) {
    int32_t n = 1;
    for (; rec; rec = rec->next) n *= rec->modout_degree;
    return n;
}

void basis(polynode** slot, int32_t j, pt* rec) {
    free_poly(slot);
    pt* v = inner(rec);
    if (!v) {
        poly_set(1, slot);
        return;
    }
    const int32_t d = inner_dimension(v);
    polynode* c = nullptr;
    basis(&c, j % d, v);
    make_monomial(slot, j / d, c);
}

void do_this_level(pt* rec) {
    free_poly(&rec->root_table);
    rec->root_modulus = -1;
    const int32_t n = rec->modout_degree;
    const int32_t d = inner_dimension(rec);
    const int32_t big_n = n * d;
    // The matrix lives in one work block.
    if (int64_t{big_n} * big_n > WORK_BLOCK_CELLS) {
        error(43, token.name);
        abandon_statement();
    }

    WorkCopy work(nullptr, 0, token.name);
    std::vector<int32_t> v(static_cast<size_t>(big_n));
    for (int32_t j = 0; j < big_n; j++) {
        // Column j: the coordinates of (basis element j)^p.
        PolyHold c;
        basis(&c.p, j % d, rec);
        make_monomial(&c.p, j / d, c.release());
        compute_power(&c.p, modulus, rec);
        std::fill(v.begin(), v.end(), 0);
        coordinates(c.p, rec, v, 0);
        for (int32_t i = 0; i < big_n; i++) {
            quoly** cell = &work.cells[int64_t{j} * big_n + i];
            *cell = nullptr;
            quoly_set(v[i], cell);
            work.count++;
        }
    }
    {
        QuolyOwner det;
        quoly_set(1, &det.q);
        sparse* none = nullptr;
        mat_invert(work.cells, work.cells, 1, 1, big_n, &det.q, 1, 1, &none, nullptr, -1, -1, -1, 0, 0);
    }

    // Column e·D of the inverse: the element whose p-th power is t^e.
    polynode* table = nullptr;
    for (int32_t e = 0; e < n; e++) {
        for (int32_t i = 0; i < big_n; i++) {
            const quoly* q = work.cells[int64_t{e} * d * big_n + i];
            v[i] = q->isnum ? q->nnum->value : 0;
        }
        polynode* node = new_term_node(e, element(v, rec, 0));
        node->next = table;
        table = node;
    }
    rec->root_table = table;
    rec->root_modulus = modulus;
}

void pth_root(polynode** slot, pt* rec) {
    if ((*slot)->numb && !(*slot)->next) return;
    if (!tables_fresh(rec)) make_tables_through(rec);
    PolyHold sum;
    poly_set(0, &sum.p);
    for (const polynode* t = *slot; t; t = t->next) {
        PolyHold term;
        if (t->numb) {
            // A residue is its own root.
            poly_set(t->ncoef->value, &term.p);
        } else {
            const polynode* entry = rec->root_table;
            while (entry && entry->exp != t->exp) entry = entry->next;
            if (!entry) {
                tarvex_error(" unreduced power in pth_root.", 1);
                abandon_statement();
            }
            PolyHold c;
            poly_assign(t->pcoef, &c.p);
            if (rec->next) pth_root(&c.p, rec->next);
            make_monomial(&c.p, 0, c.release());
            poly_mult(c.p, entry->pcoef, &term.p, rec);
        }
        poly_add(sum.p, term.p, &sum.p);
    }
    free_poly(slot);
    *slot = sum.release();
}
