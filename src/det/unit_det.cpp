#include "det/unit_det.h"

#include <cstddef>
#include <map>
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

// The first relation that makes no field, null when there is none.
pt* ring_relation() {
    for (pt* r = polynames; r; r = r->next)
        if (r->relation && !r->field) return r;
    return nullptr;
}

// Whether a free variable lies inside a relation level: the coefficients
// over the free variables are then gathered term by term.
bool free_inside_relations() {
    bool band = false;
    for (pt* r = polynames; r; r = r->next) {
        if (r->relation) band = true;
        else if (band) return true;
    }
    return false;
}

// Whether some relation has a free variable among its coefficients: the
// ring is then one over that variable (t^2 - y), whose units and zero
// divisors this test does not decide.
bool relation_uses_free_variable() {
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    for (pt* r = polynames; r; r = r->next)
        if (r->relation) nonfield::mark_levels(r->relation, r->level, used);
    for (pt* r = polynames; r; r = r->next)
        if (used[static_cast<size_t>(r->level)] && !r->relation) return true;
    return false;
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

// The same when free levels lie inside relation levels too (x outermost,
// then t with its relation, then y): every term of p is split into its
// free part, the key, and its relation part, a monomial at the outermost
// relation level (free levels inside it padded with exponent 0), and the
// relation parts of one key are summed. By the same argument as above p
// is then no zero divisor exactly when these coefficients leave no
// non-zero element of the ring that kills them all.
struct KeyedCoefficients {
    std::vector<char> relation_level;   // by level
    std::vector<int32_t> exps;          // by level, along the current term
    int32_t top = 0;                    // outermost relation level
    std::map<std::vector<int32_t>, polynode*> sums;   // taken by gather_keyed

    KeyedCoefficients() = default;
    KeyedCoefficients(const KeyedCoefficients&) = delete;
    KeyedCoefficients& operator=(const KeyedCoefficients&) = delete;
    ~KeyedCoefficients() {
        for (auto& entry : sums)
            if (entry.second) free_poly(&entry.second);
    }

    void leaf(imag* n) {
        polynode* c = nonfield::number_copy(n);
        for (int32_t l = number_polys; l >= top; l--)
            c = nonfield::term(relation_level[static_cast<size_t>(l)] ? exps[static_cast<size_t>(l)] : 0, c);
        std::vector<int32_t> key;
        for (int32_t l = 1; l <= number_polys; l++)
            if (!relation_level[static_cast<size_t>(l)]) key.push_back(exps[static_cast<size_t>(l)]);
        polynode*& sum = sums[key];
        if (!sum) {
            sum = c;
            return;
        }
        polynode* next = nullptr;
        poly_add(sum, c, &next);
        free_poly(&sum);
        free_poly(&c);
        sum = next;
    }
    void walk(polynode* p, int32_t level) {
        for (polynode* t = p; t; t = t->next) {
            exps[static_cast<size_t>(level)] = t->exp;
            if (t->numb)
                leaf(t->ncoef);
            else
                walk(t->pcoef, level + 1);
        }
        exps[static_cast<size_t>(level)] = 0;
    }
};

// The coefficients of p (at the outermost level) over every free level,
// each an element of the relations' ring at *ring's level.
void gather_keyed(polynode* p, std::vector<polynode*>* out, pt** ring) {
    KeyedCoefficients k;
    k.relation_level.assign(static_cast<size_t>(number_polys) + 2, 0);
    k.exps.assign(static_cast<size_t>(number_polys) + 2, 0);
    for (pt* r = polynames; r; r = r->next) {
        if (!r->relation) continue;
        k.relation_level[static_cast<size_t>(r->level)] = 1;
        if (!k.top) {
            k.top = r->level;
            *ring = r;
        }
    }
    k.walk(p, 1);
    for (auto& entry : k.sums) {
        if (!poly_iszero(entry.second)) {
            out->push_back(entry.second);
            entry.second = nullptr;
        }
    }
}

// Whether p has a term with a non-zero exponent at a relation level.
bool uses_relation_level(polynode* p) {
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    nonfield::mark_levels(p, 1, used);
    for (pt* r = polynames; r; r = r->next)
        if (r->relation && used[static_cast<size_t>(r->level)]) return true;
    return false;
}

// The coefficients of p, a polynomial at the outermost level, over the
// free variables wherever they stand, each at *ring's level. When a
// relation uses a free variable (t^2 - y) only those above the relations
// are taken: their elements of the ring over y are then units only where
// the inversion proves one without y, so the test may refuse a regular
// denominator, never accept a zero divisor.
void coefficients_over_free(polynode* p, std::vector<polynode*>* out, pt** ring) {
    *ring = polynames;
    if (free_inside_relations() && !relation_uses_free_variable())
        gather_keyed(p, out, ring);
    else
        gather_coefficients(p, polynames, out, ring);
}

// Whether no non-zero element of the relations' ring kills every one of
// the coefficients: one of them, or a combination of them, is a unit
// (r·c_i = 0 for all i would give r·unit = 0). Combinations with the
// powers of s as weights leave at most (count - 1) bad values of s in each
// field the ring is made of, so a few values of s find a unit when the
// coefficients vanish together in none of them.
bool coefficients_generate_unit(const std::vector<polynode*>& c, pt* ring) {
    // A non-zero number is a unit over a field of numbers, and a monic
    // denominator has one: no inversion over the relations is needed then.
    if (!(modularmode && !mod_is_prime && !finf))
        for (polynode* x : c)
            if (single_number(x) && !iszero(x->ncoef)) return true;
    for (polynode* x : c)
        if (nonfield::proved_unit(x, ring)) return true;
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
        if (!poly_iszero(sum.p) && nonfield::proved_unit(sum.p, ring)) return true;
    }
    return false;
}

// Owns the gathered coefficients.
struct Coefficients {
    std::vector<polynode*> c;
    Coefficients() = default;
    Coefficients(const Coefficients&) = delete;
    Coefficients& operator=(const Coefficients&) = delete;
    ~Coefficients() {
        for (polynode*& p : c) free_poly(&p);
    }
};

}  // namespace

bool relation_regular(polynode* p) {
    if (!ring_relation()) return true;
    // The relations are monic, so their ring is free over the polynomials
    // in the free variables, with the monomials of the relation variables
    // for a basis: a non-zero p without relation variables multiplies
    // each coordinate by itself, and kills none where the ground ring has
    // no zero divisors. This decides what the coefficient test below
    // cannot where a relation uses a free variable (z + 3 under x^2 - z).
    if (!uses_relation_level(p) && !(modularmode && !mod_is_prime && !finf)) return true;
    Coefficients coefficients;
    pt* ring = nullptr;
    coefficients_over_free(p, &coefficients.c, &ring);
    return coefficients_generate_unit(coefficients.c, ring);
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
    Coefficients coefficients;
    pt* ring = polynames;
    if (det.q->isnum)
        coefficients.c.push_back(nonfield::number_copy(det.q->nnum));
    else
        coefficients_over_free(det.q->pnum, &coefficients.c, &ring);
    if (!coefficients_generate_unit(coefficients.c, ring)) nonfield::refuse(relation->name);
}

void require_regular_denominator(const quoly* q) {
    if (q->isnum || !q->den || (q->den->numb && !q->den->next)) return;
    // Modulo a composite number fractions have their own rules (a
    // denominator there is kept as typed).
    if (modularmode && !mod_is_prime && !finf) return;
    pt* relation = ring_relation();
    if (relation && !relation_regular(q->den)) nonfield::refuse(relation->name);
}
