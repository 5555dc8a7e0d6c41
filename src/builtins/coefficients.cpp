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

}  // namespace

void extract_coef(polynode* u, polynode** slot, int32_t levels, int32_t e, int take_constants) {
    polynode* result = extract_part(u, levels, e, take_constants);
    if (!result) poly_set(0, &result);
    free_poly(slot);
    *slot = result;
}
