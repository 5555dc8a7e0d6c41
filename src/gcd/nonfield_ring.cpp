// Arithmetic in the coefficient ring of relations that make no field
// (nonfield_ring.h).
#include "gcd/nonfield_ring.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "gcd/capped_steps.h"
#include "gcd/multimodular_inverse.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"
#include "toplevel/set_aside.h"

namespace nonfield {

namespace {

constexpr int NOT_A_FIELD = 271;
constexpr int NO_RESIDUE_INVERSE = 85;

// The levels without a field of their own are taken for fields while an
// inverse is sought: the field inversion then runs Euclid's algorithm in
// them too, and a zero divisor it meets comes back as ZeroDivisorMet. A
// level opened inside works with the session's flags.
struct FieldsForInverse : SetAside {
    std::vector<pt*> changed;
    std::vector<int32_t> other;   // the flags that are not in force
    FieldsForInverse() {
        for (pt* r = polynames; r; r = r->next)
            if (r->relation && !r->field) {
                r->field = 1;
                changed.push_back(r);
            }
        other.assign(changed.size(), 0);
    }
    ~FieldsForInverse() {
        for (size_t i = 0; i < changed.size(); i++) changed[i]->field = other[i];
    }
    void put_back() override {
        for (size_t i = 0; i < changed.size(); i++) std::swap(changed[i]->field, other[i]);
    }
};

}  // namespace

pt* record_at(int32_t level) {
    pt* r = polynames;
    while (r && r->level != level) r = r->next;
    return r;
}

void mark_levels(const polynode* p, int32_t level, std::vector<char>& used) {
    for (; p; p = p->next) {
        if (p->numb) continue;
        if (p->exp != 0 && level < static_cast<int32_t>(used.size())) used[level] = 1;
        mark_levels(p->pcoef, level + 1, used);
    }
}

polynode* number_copy(imag* n) {
    imag* c = new_number();
    num_assign(n, c);
    return new_number_node(c);
}

polynode* copy_of(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

polynode* first_coef(polynode* p) { return p->numb ? number_copy(p->ncoef) : copy_of(p->pcoef); }

polynode* term(int32_t e, polynode* c) {
    if (e == 0 && single_number(c)) return c;
    return new_term_node(e, c);
}

void drop_integer_content(polynode* p) {
    if (lintmode || poly_iszero(p)) return;
    imag* k = new_number();
    find_gcdcoefs(p, k);
    int m1 = 0;
    if (!equal_to_pm1(k, &m1) && !iszero(k)) num_poly_quot(p, k, 0);
    free_imag(&k);
}

int64_t work_size(const polynode* p, int64_t bound) {
    int64_t n = 0;
    for (; p && n <= bound; p = p->next)
        n += p->numb ? 1 + (p->ncoef ? p->ncoef->count : 0) : 1 + work_size(p->pcoef, bound - n);
    return n;
}

namespace {

bool field_inversion(polynode* c, pt* crec, PolyHold* N, imag** d);

// c below the levels without relation that wrap it (a caller's outermost
// record, x and y around an element of k and t), with the record reached:
// the images need every level from theirs in to have a relation.
struct Inside {
    polynode* c;
    pt* rec;
};

Inside inside_free_levels(polynode* c, pt* crec) {
    while (crec && !crec->relation && crec->next && !c->numb && !c->next && c->exp == 0) {
        c = c->pcoef;
        crec = crec->next;
    }
    return {c, crec};
}

}  // namespace

bool invert(polynode* c, pt* crec, PolyHold* N, imag** d) {
    if (single_number(c)) {
        if (iszero(c->ncoef)) return false;
        // Modulo a composite number a residue sharing a factor with it
        // is a zero divisor.
        if (modularmode && !mod_is_prime && !finf && smallgcd(c->ncoef->value, modulus) != 1) return false;
        poly_set(1, &N->p);
        *d = new_number();
        num_assign(c->ncoef, *d);
        return true;
    }
    // A unit this module can prove lives in the relations' levels alone;
    // one that uses a free variable would reach the field division with
    // that variable as a leading coefficient.
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    mark_levels(c, crec->level, used);
    for (pt* r = crec; r; r = r->next)
        if (used[static_cast<size_t>(r->level)] && !r->relation) return false;
    // The field inversion first, as long as its steps cost less than the
    // images would: on some elements (of a tower with few terms in its
    // outer variable) it ends in a few steps where the images of a matrix
    // of dimension 80 take tens of times longer, on others its cofactors
    // swell a hundredfold past them.
    const Inside in = inside_free_levels(c, crec);
    if (const int64_t cap = multimodular_work(in.c, in.rec)) {
        try {
            CappedSteps steps(cap);
            return field_inversion(c, crec, N, d);
        } catch (const CappedSteps::Reached&) {
        }
        if (multimodular_inverse(in.c, in.rec, N, d)) {
            if (in.rec->level > crec->level && !single_number(N->p)) add_pad(&N->p, in.rec->level - crec->level);
            return true;
        }
    }
    return field_inversion(c, crec, N, d);
}

bool proved_unit(polynode* c, pt* crec) {
    const Inside in = inside_free_levels(c, crec);
    if (multimodular_unit(in.c, in.rec)) return true;
    PolyHold N;
    imag* d = nullptr;
    if (!invert(c, crec, &N, &d)) return false;
    free_imag(&d);
    return true;
}

namespace {

bool field_inversion(polynode* c, pt* crec, PolyHold* N, imag** d) {
    quoly* inv = nullptr;
    {
        FieldsForInverse as_fields;
        ZeroDivisorEscape escape;
        QuietInverseFailures residues;
        try {
            poly_mod_invert(c, &inv, crec);
        } catch (const ZeroDivisorMet&) {
            if (inv) free_quoly(&inv);
            return false;
        } catch (const TarvexUnwind& e) {
            // A residue without inverse modulo a composite number.
            if (e.code != NO_RESIDUE_INVERSE) throw;
            if (inv) free_quoly(&inv);
            return false;
        }
    }
    imag* den = new_number();
    if (inv->isnum) {
        N->reset(number_copy(inv->nnum));
        setvalue(1, den);
    } else {
        N->reset(inv->pnum);
        inv->pnum = nullptr;
        if (inv->den && single_number(inv->den))
            num_assign(inv->den->ncoef, den);
        else
            setvalue(1, den);
    }
    free_quoly(&inv);
    // The check that makes the inverse a proof, whatever road found it.
    PolyHold prod, diff, dn(number_copy(den));
    poly_mult(c, N->p, &prod.p, crec);
    poly_sub(prod.p, dn.p, &diff.p);
    if (!poly_iszero(diff.p) || iszero(den)) {
        free_imag(&den);
        return false;
    }
    *d = den;
    return true;
}

}  // namespace

int refusal_escape = 0;

void refuse(const char* name) {
    if (refusal_escape > 0) throw NoProof{};
    // Without a relation to blame the ring is that of a composite modulus.
    if (!name) refuse_without_inverse();
    error(NOT_A_FIELD, name);
    abandon_statement(NOT_A_FIELD);
}

}  // namespace nonfield
