// A field relation installed on a variable record for the scope of a test,
// the way the declaration installs it: the relation (or, for a binomial
// t^n + c, the lone number -c with the binomial beside it), the power
// table, the field flag and field_depth; the relation data and any p-th-root
// table go with the scope. Declare inner levels first: field_depth ends at
// the last one declared.
#pragma once
#include <cstdint>

#include "poly/modout.h"
#include "poly/polyvars.h"
#include "support/poly_build.h"

struct FieldLevel {
    pt* v;
    // m: the monic relation in nvars variables, the first being rec's.
    FieldLevel(pt* rec, int nvars, const TermList& m, int32_t n, bool binomial) : v(rec) {
        v->modout_degree = n;
        if (binomial) {
            mpz_class c = 0;
            for (const Term& t : m)
                if (t.exps[0] == 0) c = t.coef;
            v->relation = build_poly(1, canonical_terms(1, {{mpz_class(-c), {0}}}));
            v->binomial = build_poly(nvars, m);
        } else {
            v->relation = build_poly(nvars, m);
        }
        make_muldata(&v->reductions, &v->relation, n, v);
        v->field = 1;
        field_depth = static_cast<int16_t>(v->level);
        pseudo_polynames = polynames;
    }
    ~FieldLevel() {
        free_poly(&v->relation);
        free_poly(&v->binomial);
        free_poly(&v->reductions);
        free_poly(&v->root_table);
        v->root_modulus = -1;
        v->field = 0;
    }
    FieldLevel(const FieldLevel&) = delete;
    FieldLevel& operator=(const FieldLevel&) = delete;
};
