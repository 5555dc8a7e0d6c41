// Reduction by the relations of several levels, the list-wide state that
// says which levels carry relations and which form the field, and the
// temporary conversion of the relation data to residues.
#include "interp/settings.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "poly/modout.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"
#include "poly/residue_conv.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"

using namespace polyimpl;

int aux1_hit_0 = 0;

namespace {

// Puts a term whose coefficient was reduced back into the chain: dropped
// when the coefficient vanished, unwrapped when it is an exponent-0 term
// over a lone number.
void keep_term(Chain& out, polynode* t) {
    if (is_zero_poly(t->pcoef)) {
        free_poly(&t);
        return;
    }
    if (t->exp == 0 && single_number(t->pcoef)) {
        polynode* c = t->pcoef;
        release_node(t);
        out.push(c);
        return;
    }
    out.push(t);
}

void reset_aux_state() {
    aux_prime1_number = 0;
    aux1_hit_0 = 0;
    no_aux_primes2 = 1;
}

}  // namespace

void mod_out_poly(polynode** p, polynode** relation, int32_t k, int32_t d, pt* rec) {
    if (!*p) {
        *p = zero_poly();
        return;
    }
    if (k <= 1) {
        fold_poly(p, relation, d, rec);
        return;
    }
    Chain out;
    polynode* t = *p;
    *p = nullptr;
    while (t) {
        polynode* next = t->next;
        t->next = nullptr;
        if (t->numb) {
            out.push(t);
        } else {
            mod_out_poly(&t->pcoef, relation, k - 1, d, rec->next);
            keep_term(out, t);
        }
        t = next;
    }
    *p = out.head ? out.take() : zero_poly();
}

void above_field_modout(polynode** p) {
    int32_t i = 1;
    for (pt* v = polynames; v; v = v->next, i++) {
        if (field_depth > 0 && i >= field_depth) break;
        if (v->relation) mod_out_poly(p, &v->relation, i, v->modout_degree, polynames);
    }
}

void total_poly_modout(polynode** slot, pt* rec) {
    if (!rec || !*slot) return;
    if (rec->next) {
        Chain out;
        polynode* t = *slot;
        *slot = nullptr;
        while (t) {
            polynode* next = t->next;
            t->next = nullptr;
            // A coefficient that is a lone number needs nothing; one that
            // starts with a number may still have negative powers behind it.
            if (t->numb || single_number(t->pcoef)) {
                out.push(t);
            } else {
                total_poly_modout(&t->pcoef, rec->next);
                keep_term(out, t);
            }
            t = next;
        }
        *slot = out.head ? out.take() : zero_poly();
        if ((*slot)->exp == 0 && !(*slot)->next) return;
    }
    if (rec->relation) fold_poly(slot, &rec->relation, rec->modout_degree, rec);
}

void reset_pseudo_poly() {
    if (!polynames) {
        pseudo_polynames = nullptr;
        field_depth = 0;
        reset_aux_state();
        modout_above_field = 0;
        char2_degs1 = 1;
        return;
    }
    bool any_relation = false, any_field = false, all_degree_2 = true;
    int16_t depth = 0;
    int16_t i = 1;
    for (pt* v = polynames; v; v = v->next, i++) {
        if (v->relation) any_relation = true;
        if (v->field) any_field = true;
        if (!v->relation || v->relation->numb || v->relation->exp != 2) all_degree_2 = false;
        // The run of field levels must reach the innermost variable.
        if (v->field) {
            if (depth == 0) depth = i;
        } else {
            depth = 0;
        }
    }
    pseudo_polynames = any_relation ? polynames : nullptr;
    field_depth = depth;
    if (depth == 0) reset_aux_state();
    modout_above_field = 0;
    i = 1;
    for (pt* v = polynames; v; v = v->next, i++) {
        v->field = depth > 0 && i >= depth;
        if (v->relation && !v->field) modout_above_field = 1;
    }
    char2_degs1 = !any_field && all_degree_2;
}

void change_poly_modout_data() {
    for (pt* v = polynames; v; v = v->next) {
        if (v->relation) poly_change_to_mod(&v->relation, 0);
        if (v->binomial) {
            poly_change_to_mod(&v->binomial, 0);
            // A binomial relation whose constant vanished still is one.
            if (!v->relation) {
                log_link(&v->relation);
                poly_set(0, &v->relation);
            }
        }
        for (polynode* t = v->reductions; t; t = t->next) {
            if (t->numb)
                change_num(t->ncoef, 0, 0);
            else
                poly_change_to_mod(&t->pcoef, 0);
        }
    }
}
