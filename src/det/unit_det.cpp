#include "det/unit_det.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "gcd/nonfield_ring.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// The first relation that makes no field, null when there is none or when
// a free variable lies inside a relation: the units are then those of a
// ring over that variable, which the test below does not reach.
pt* ring_relation() {
    pt* found = nullptr;
    bool band = false;
    for (pt* r = polynames; r; r = r->next) {
        if (r->relation) {
            band = true;
            if (!r->field && !found) found = r;
        } else if (band) {
            return nullptr;
        }
    }
    return found;
}

// The coefficients of p (at rec's level) over the free levels above the
// relations, as copies, with the record of the level they live at.
void gather_coefficients(polynode* p, pt* rec, std::vector<polynode*>* out, pt** ring) {
    if (!rec || rec->relation) {
        out->push_back(nonfield::copy_of(p));
        if (rec) *ring = rec;
        return;
    }
    for (polynode* t = p; t; t = t->next) {
        if (t->numb)
            out->push_back(nonfield::number_copy(t->ncoef));
        else
            gather_coefficients(t->pcoef, inner(rec), out, ring);
    }
}

bool proved_unit(polynode* c, pt* ring) {
    PolyHold inverse;
    imag* d = nullptr;
    if (!nonfield::invert(c, ring, &inverse, &d)) return false;
    free_imag(&d);
    return true;
}

// Whether no non-zero element of the relations' ring kills every one of
// the coefficients: one of them, or a combination of them, is a unit
// (r·c_i = 0 for all i would give r·unit = 0). Combinations with the
// powers of s as weights leave at most (count - 1) bad values of s in each
// field the ring is made of, so a few values of s find a unit when the
// coefficients vanish together in none of them.
bool coefficients_generate_unit(const std::vector<polynode*>& c, pt* ring) {
    for (polynode* x : c)
        if (proved_unit(x, ring)) return true;
    if (c.size() < 2) return false;
    constexpr int32_t WEIGHTS_TRIED = 12;
    for (int32_t s = 2; s <= WEIGHTS_TRIED + 1; s++) {
        PolyHold sum, weight;
        poly_set(0, &sum.p);
        poly_set(1, &weight.p);
        for (polynode* x : c) {
            PolyHold term, next, w;
            poly_mult(x, weight.p, &term.p, ring);
            poly_add(sum.p, term.p, &next.p);
            std::swap(sum.p, next.p);
            PolyHold factor;
            poly_set(s, &factor.p);
            poly_mult(weight.p, factor.p, &w.p, ring);
            std::swap(weight.p, w.p);
        }
        if (!poly_iszero(sum.p) && proved_unit(sum.p, ring)) return true;
    }
    return false;
}

}  // namespace

bool relation_regular(polynode* p) {
    if (!ring_relation()) return true;
    std::vector<polynode*> coefficients;
    pt* ring = polynames;
    gather_coefficients(p, polynames, &coefficients, &ring);
    struct Freed {
        std::vector<polynode*>* c;
        ~Freed() {
            for (polynode*& c1 : *c) free_poly(&c1);
        }
    } freed{&coefficients};
    return coefficients_generate_unit(coefficients, ring);
}

void require_unit_determinant(quoly** cells, sparse** sparse_slot, int32_t n) {
    pt* relation = ring_relation();
    if (!relation || n <= 0) return;
    QuolyOwner det;
    quoly_set(1, &det.q);
    mat_invert(cells, nullptr, 0, 0, n, &det.q, 0, 0, sparse_slot, nullptr, -1, -1, -1, 0, 0);
    if (quoly_iszero(det.q)) {
        // The formal elimination divides by zero divisors and may never
        // meet the zero pivot that proves the matrix singular.
        error(44, "/");
        abandon_statement(44);
    }
    // A fraction is a unit when its numerator is: its denominator already
    // came through a division.
    if (!det.q->isnum && det.q->rat) return;   // a non-zero rational number
    std::vector<polynode*> coefficients;
    pt* ring = polynames;
    if (det.q->isnum)
        coefficients.push_back(nonfield::number_copy(det.q->nnum));
    else
        gather_coefficients(det.q->pnum, polynames, &coefficients, &ring);
    struct Freed {
        std::vector<polynode*>* c;
        ~Freed() {
            for (polynode*& p : *c) free_poly(&p);
        }
    } freed{&coefficients};
    if (!coefficients_generate_unit(coefficients, ring)) nonfield::refuse(relation->name);
}

void require_regular_denominator(const quoly* q) {
    if (q->isnum || !q->den || (q->den->numb && !q->den->next)) return;
    // Modulo a composite number fractions have their own rules (a
    // denominator there is kept as typed).
    if (modularmode && !mod_is_prime && !finf) return;
    pt* relation = ring_relation();
    if (relation && !relation_regular(q->den)) nonfield::refuse(relation->name);
}
