#include "quoly/modout_quoly.h"

#include <cstdio>
#include <numeric>
#include <utility>

#include "numbers/ring.h"
#include "poly/laurent.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/set_aside.h"

namespace {

// The relation sits in its record for the scope, whatever the exit, and
// the list-wide field state is what it will be once the declaration is
// committed: a denominator in a variable that becomes a field level is a
// field element, inverted by the normal form, as in a value typed later.
// A level opened inside works with the session's relations and fields.
struct InstalledRelation : SetAside {
    pt* rec;
    polynode *relation, *binomial, *reductions;
    int32_t was_field;
    pt* pseudo;
    int above;
    int16_t depth;
    InstalledRelation(pt* r, polynode* rel, polynode* full, polynode* powers, bool field)
        : rec(r), relation(r->relation), binomial(r->binomial), reductions(r->reductions), was_field(r->field),
          pseudo(pseudo_polynames), above(modout_above_field), depth(field_depth) {
        // The products of the normal form reduce as they will once the
        // relation is declared.
        pseudo_polynames = polynames;
        r->relation = rel;
        r->binomial = full;
        r->reductions = powers;
        r->field = field ? 1 : 0;
        // The run of field levels that reaches the innermost variable.
        int16_t d = 0, i = 1;
        for (pt* v = polynames; v; v = v->next, i++) d = v->field ? (d ? d : i) : 0;
        field_depth = d;
        modout_above_field = 0;
        i = 1;
        for (pt* v = polynames; v; v = v->next, i++)
            if (v->relation && !(d > 0 && i >= d)) modout_above_field = 1;
    }
    ~InstalledRelation() {
        rec->relation = relation;
        rec->binomial = binomial;
        rec->reductions = reductions;
        rec->field = was_field;
        pseudo_polynames = pseudo;
        modout_above_field = above;
        field_depth = depth;
    }
    void trade() {
        std::swap(rec->relation, relation);
        std::swap(rec->binomial, binomial);
        std::swap(rec->reductions, reductions);
        std::swap(rec->field, was_field);
        std::swap(pseudo_polynames, pseudo);
        std::swap(modout_above_field, above);
        std::swap(field_depth, depth);
    }
    void put_back() override { trade(); }
};

// The shift list of clear_bads, given back on every exit.
struct Shifts {
    polynode* first = nullptr;
    polynode* last = nullptr;
    ~Shifts() { release_shift_list(&first, &last); }
};

// in place. *from's negative exponents cleared, *to multiplied by the same
// monomial (a null *to becomes that monomial): the quotient is unchanged.
void clear_into(polynode** from, polynode** to) {
    if (!*from || single_number(*from) || !anynegs(*from)) return;
    Shifts s;
    clear_bads(from, &s.first, &s.last, SHIFT_NEGATIVES, SHIFT_ALL_LEVELS);
    if (!s.first) return;
    if (!*to) poly_set(1, to);
    eliminate_bads(to, s.first, -1);
}

// Whether a binomial relation t^n = v folds a negative power only through
// the inverse of v: v = 1 or -1 folds in place, v = 0 (or a v the modulus
// shares a factor with) never, and the fold refuses those.
bool binomial_folds_through_inverse(polynode* relation) {
    if (poly_eq_pm1(relation) || poly_iszero(relation)) return false;
    if (!modularmode || mod_is_prime || finf) return true;
    return std::gcd(relation->ncoef->value, modulus) == 1;
}

}  // namespace

void mod_out_quoly(quoly** q, polynode** relation, polynode** full, polynode** powers, int32_t level, int32_t n,
                   pt* rec, bool field) {
    quoly* v = *q;
    if (v->isnum) return;
    if (laurent && (!single_number(*relation) || binomial_folds_through_inverse(*relation))) {
        // A relation folds a negative power through the inverse of its
        // variable, which may carry a number denominator no polynomial
        // holds (1/x = x/2 with x^2 = t and t^2 = 2, 1/u = -u/4 with
        // u^2 = -4): the negative powers go into the denominator instead,
        // where the normal form inverts them.
        clear_into(&v->pnum, &v->den);
        clear_into(&v->den, &v->pnum);
    }
    mod_out_poly(&v->pnum, relation, level, n, polynames);
    if (poly_iszero(v->pnum)) {
        quoly_set(0, q);
        return;
    }
    if (!v->den) {
        if (single_number(v->pnum)) polynum_to_quoly(q);
        return;
    }
    mod_out_poly(&v->den, relation, level, n, polynames);
    if (poly_iszero(v->den)) {
        std::printf(" Warning.  In converting to poly-mod-out, a denominator became 0.\n");
        std::printf("   That quoly has been set to 0.\n");
        quoly_set(0, q);
        return;
    }
    InstalledRelation installed(rec, *relation, *full, *powers, field);
    if (lintmode)
        lint_check_quoly(q, laurent);
    else
        check_quoly(q, laurent);
}
