#include "quoly/modout_quoly.h"

#include <cstdio>

#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace {

// The relation sits in its record for the scope, whatever the exit.
struct InstalledRelation {
    pt* rec;
    polynode *relation, *binomial, *reductions;
    pt* pseudo;
    int above;
    InstalledRelation(pt* r, polynode* rel, polynode* full, polynode* powers)
        : rec(r), relation(r->relation), binomial(r->binomial), reductions(r->reductions),
          pseudo(pseudo_polynames), above(modout_above_field) {
        // The products of the normal form reduce as they will once the
        // relation is declared.
        pseudo_polynames = polynames;
        if (!r->field) modout_above_field = 1;
        r->relation = rel;
        r->binomial = full;
        r->reductions = powers;
    }
    ~InstalledRelation() {
        rec->relation = relation;
        rec->binomial = binomial;
        rec->reductions = reductions;
        pseudo_polynames = pseudo;
        modout_above_field = above;
    }
    InstalledRelation(const InstalledRelation&) = delete;
    InstalledRelation& operator=(const InstalledRelation&) = delete;
};

}  // namespace

void mod_out_quoly(quoly** q, polynode** relation, polynode** full, polynode** powers, int32_t level, int32_t n,
                   pt* rec) {
    quoly* v = *q;
    if (v->isnum) return;
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
    InstalledRelation installed(rec, *relation, *full, *powers);
    if (lintmode)
        lint_check_quoly(q, laurent);
    else
        check_quoly(q, laurent);
}
