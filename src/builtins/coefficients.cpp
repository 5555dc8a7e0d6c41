// Coefficient extraction by level and exponent. The recursion runs over the
// levels (its depth is the number of variables), each level's chain is
// walked iteratively.
#include "builtins/coefficients.h"

#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

// The coefficient as a fresh polynomial, or null when it is zero.
polynode* extract_part(polynode* u, int32_t levels, int32_t e, int take_constants) {
    if (!u) return nullptr;
    if (levels == 0) {
        polynode* t = u;
        while (t && t->exp > e) t = t->next;
        if (!t || t->exp != e) return nullptr;
        polynode* out = nullptr;
        if (t->numb) {
            node_assign(t, &out);
            return out;
        }
        polynode* inner = nullptr;
        poly_assign(t->pcoef, &inner);
        out = new_term_node(0, inner);
        // x^e times a constant: the result is that constant, not a dummy level over it.
        if (inner->numb && !inner->next) remove_dummy(out);
        return out;
    }
    polynode* head = nullptr;
    polynode** tail = &head;
    for (polynode* t = u; t; t = t->next) {
        polynode* part = nullptr;
        if (t->numb) {
            if (!take_constants) continue;
            node_assign(t, &part);
        } else {
            part = extract_part(t->pcoef, levels - 1, e, take_constants);
            if (!part) continue;
            if (poly_iszero(part)) {
                free_poly(&part);
                continue;
            }
            fluff_out(&part, t->exp);
        }
        *tail = part;
        tail = &part->next;
    }
    return head;
}

// Appends the non-empty part r to the list being built at *tail.
void append(polynode*** tail, polynode* r) {
    **tail = r;
    while (r->next) r = r->next;
    *tail = &r->next;
}

// The terms of u divisible by the monomial m, divided by it (m as for
// cullout); null when there are none.
polynode* cull_part(polynode* u, polynode* m, int32_t levels) {
    if (!u) return nullptr;
    polynode* head = nullptr;
    polynode** tail = &head;
    if (levels > 0) {
        // m does not involve this variable: every term keeps its exponent.
        for (polynode* t = u; t; t = t->next) {
            if (t->numb) continue;
            polynode* r = cull_part(t->pcoef, m, levels - 1);
            if (!r) continue;
            fluff_out(&r, t->exp);
            append(&tail, r);
        }
        return head;
    }
    const int32_t e0 = m->exp;
    // The rest of the monomial: its next level with a non-zero exponent,
    // or its number when it has no further variable.
    polynode* rest = m->pcoef;
    int32_t below = 0;
    while (!rest->numb && rest->exp == 0) {
        rest = rest->pcoef;
        below++;
    }
    // e0 > 0, so the terms taken are never number leaves.
    for (polynode* t = u; t && t->exp >= e0; t = t->next) {
        polynode* r = nullptr;
        if (rest->numb)
            poly_assign(t->pcoef, &r);
        else
            r = cull_part(t->pcoef, rest, below);
        if (!r) continue;
        fluff_out(&r, t->exp - e0);
        append(&tail, r);
    }
    return head;
}

}  // namespace

void cullout(polynode* u, polynode* m, polynode** slot, int32_t levels) {
    polynode* result = cull_part(u, m, levels);
    if (!result) poly_set(0, &result);
    free_poly(slot);
    *slot = result;
}

void extract_coef(polynode* u, polynode** slot, int32_t levels, int32_t e, int take_constants) {
    polynode* result = extract_part(u, levels, e, take_constants);
    if (!result) poly_set(0, &result);
    free_poly(slot);
    *slot = result;
}
