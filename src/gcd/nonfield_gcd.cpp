// The gcd under relations that make no field (nonfield_gcd.h).
//
// Euclid's algorithm is sound over any commutative ring as long as every
// division is by a leading coefficient with a true inverse: each step
// d·A - q·B = R with d a unit keeps the common divisors of (A, B) those of
// (B, R), so the last non-zero remainder divides both operands and every
// common divisor divides it. The inverses come from the field inversion of
// the relation levels, run as if they were fields; a zero divisor met there
// ends the attempt, and each inverse found is checked by one product
// before it is used.
#include "gcd/nonfield_gcd.h"

#include "gcd/composite_euclid.h"
#include "gcd/nonfield_images.h"
#include "gcd/nonfield_multi.h"
#include "gcd/nonfield_ring.h"
#include "gcd/polygcd.h"
#include "gcd/relation_field.h"
#include "gcd/ring_road_first.h"
#include "gcd/trialdiv.h"

#include <initializer_list>
#include <utility>
#include <vector>

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

namespace {

using namespace nonfield;

int running = 0;

constexpr int NO_RESIDUE_INVERSE = 85;

// Operands with no more number coefficients than this together keep the
// ring's remainders even where the relations make a field.
constexpr int32_t FIELD_ROAD_TERMS = 10;

int32_t term_count(polynode* p) {
    int32_t n = 0;
    each_poly_number(p, [&](imag*) { n++; });
    return n;
}

struct Running {
    Running() { running++; }
    ~Running() { running--; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
};

// p descended from level `from` to level `to` through its padding levels
// (the levels it does not use); a copy.
polynode* at_level(polynode* p, int32_t from, int32_t to) {
    for (; from < to && !p->numb; from++) p = p->pcoef;
    return copy_of(p);
}

// The common integer content of the operands, as a number (1 in
// machine-integer mode); null when it is 1.
imag* common_content(polynode* u, polynode* v) {
    if (lintmode) return nullptr;
    imag* cu = new_number();
    imag* cv = new_number();
    imag* c = new_number();
    find_gcdcoefs(u, cu);
    find_gcdcoefs(v, cv);
    binary_gcd(cu, cv, c);
    free_imag(&cu);
    free_imag(&cv);
    int m1 = 0;
    if (equal_to_pm1(c, &m1) || iszero(c)) free_imag(&c);
    return c;
}

}  // namespace

namespace {

// Where the operands stand: the relation without a field they use (null
// when none), the outermost relation level they use (the coefficient
// ring from there in), whether a level without relation that they or a
// relation use lies inside it (one that neither uses leaves the ring as
// it is: x and y free around t are as good as x alone), and the free
// levels they use above it.
struct Shape {
    const char* name = nullptr;
    int32_t band = 0;
    std::vector<int32_t> free_levels;
    bool outside_band = false;   // a level without relation below the band, in use
};

Shape shape_of(std::initializer_list<polynode*> operands, int32_t top) {
    Shape sh;
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    for (polynode* p : operands) mark_levels(p, top, used);
    // The outermost relation the operands use starts the coefficient
    // ring; the free variables they use above it are the polynomial ones.
    sh.band = number_polys + 1;
    for (pt* r = polynames; r; r = r->next)
        if (used[r->level] && r->relation) {
            sh.band = r->level;
            break;
        }
    std::vector<char> in_relations(used.size(), 0);
    for (pt* r = polynames; r; r = r->next)
        if (r->relation) mark_levels(r->relation, r->level, in_relations);
    for (pt* r = polynames; r; r = r->next) {
        if (r->level >= sh.band && !r->relation && (used[r->level] || in_relations[r->level]))
            sh.outside_band = true;
        if (!used[r->level]) continue;
        if (r->relation && !r->field && !sh.name) sh.name = r->name;
        if (r->level < sh.band) sh.free_levels.push_back(r->level);
    }
    return sh;
}

bool applies(int32_t top) { return !running && !laurent && polynames && top >= 1; }

// Modulo a composite number the ground ring itself has zero divisors.
bool composite_modulus() { return modularmode && !mod_is_prime && !finf; }

// The gcd of two polynomials coprime over the relations: their common
// integer content.
polynode* unit_gcd(polynode* u, polynode* v) {
    polynode* result = nullptr;
    poly_set(1, &result);
    if (imag* c = common_content(u, v)) {
        num_poly_mult(result, c);
        free_imag(&c);
    }
    return result;
}

// square_free: the band's relations are already proved square-free.
polynode* proved_gcd(polynode* u, polynode* v, pt* vars, const Shape& sh, bool square_free = false) {
    const int32_t top = vars->level;
    polynode* result = nullptr;
    if (sh.free_levels.empty()) {
        // Elements of the ring: a unit makes them coprime; two non-units
        // have no gcd this module can prove.
        if (!proved_unit(u, vars) && !proved_unit(v, vars)) refuse(sh.name);
        return unit_gcd(u, v);
    } else if (sh.free_levels.size() > 1) {
        // Several variables: the field algorithm in every factor field
        // of C at once, which needs C to be a product of fields; modulo a
        // composite number it is not one.
        const Band ring{sh.band, sh.name};
        if (composite_modulus() || sh.outside_band || (!square_free && !relations_square_free(ring)))
            refuse(sh.name);
        // Relations proved to make a field: the field's gcd, then the form
        // this module gives it (unique for associates over the field). A
        // few terms are cheaper by the remainders than by the field's
        // machinery, and the remainders of large operands swell.
        const bool large = term_count(u) + term_count(v) > FIELD_ROAD_TERMS;
        if (large && ring_road_first(u, v, top, ring, &result)) {
            // The remainders' gcd, in this module's form already.
        } else if (large && relation_field_gcd(u, v, vars, &result)) {
            if (!poly_iszero(result)) normalise(&result, top, ring);
        } else {
            result = multi_gcd(u, v, top, ring);
        }
    } else {
        // One variable: Euclid over the ring keeps every remainder's
        // numbers as they come, and over the rationals they swell with the
        // degree (minutes at degree 60 under t^2 - 2); relations proved to
        // make a field take the field's modular gcd, in the same form.
        const int32_t x = sh.free_levels[0];
        if (term_count(u) + term_count(v) > FIELD_ROAD_TERMS && relation_field_gcd(u, v, vars, &result, true)) {
            if (!poly_iszero(result)) normalise(&result, top, Band{sh.band, sh.name});
        } else {
            result = euclid(at_level(u, top, x), at_level(v, top, x), record_at(x), sh.name);
            if (!single_number(result) && x > top) add_pad(&result, x - top);
        }
    }
    if (imag* c = common_content(u, v)) {
        num_poly_mult(result, c);
        free_imag(&c);
    }
    return result;
}

// Where the proof in several variables is refused before it starts (a
// relation with a repeated factor, t^2; a composite modulus; a free level
// inside the band), the refusal would cost an unwinding at every
// operation: a fraction goes to the plain gcd at once.
bool proof_refused_up_front(const Shape& sh) {
    if (sh.free_levels.size() < 2) return false;
    if (composite_modulus() || sh.outside_band) return true;
    try {
        RefusalEscape escape;
        return !relations_square_free(Band{sh.band, sh.name});
    } catch (const NoProof&) {
        return true;
    }
}

// The relations without a field taken away for a while: the plain gcd of
// the representatives, a common factor modulo the relations too. An error
// inside recomputes the relation bookkeeping from the records as they are
// then, without these relations; the list-wide state comes back with them.
// A level opened inside (a non-unit modulo a composite) works with them.
struct PlainPolynomials : SetAside {
    struct Saved {
        pt* rec;
        polynode* relation;
        polynode* binomial;
    };
    std::vector<Saved> saved;
    int above;
    pt* pseudo = pseudo_polynames;
    int degs1 = char2_degs1;
    PlainPolynomials() : above(modout_above_field) {
        for (pt* r = polynames; r; r = r->next)
            if (r->relation && !r->field) {
                saved.push_back({r, r->relation, r->binomial});
                r->relation = nullptr;
                r->binomial = nullptr;
            }
        modout_above_field = 0;
    }
    ~PlainPolynomials() {
        for (const Saved& s : saved) {
            s.rec->relation = s.relation;
            s.rec->binomial = s.binomial;
        }
        modout_above_field = above;
        pseudo_polynames = pseudo;
        char2_degs1 = degs1;
    }
    // The session's state and the work's trade places, both ways: what the
    // level leaves in the records is what the work gives back at its end.
    void trade() {
        for (Saved& s : saved) {
            std::swap(s.rec->relation, s.relation);
            std::swap(s.rec->binomial, s.binomial);
        }
        std::swap(modout_above_field, above);
        std::swap(pseudo_polynames, pseudo);
        std::swap(char2_degs1, degs1);
    }
    void put_back() override { trade(); }
};

}  // namespace

int nonfield_any_common_factor = 0;

bool nonfield_gcd(polynode* u, polynode* v, polynode** g, pt* vars) {
    if (!vars || !applies(vars->level) || composite_plain_road == PLAIN_EVERY_GCD) return false;
    const Shape sh = shape_of({u, v}, vars->level);
    // Modulo a composite number Euclid with checked inverses serves one
    // free variable without relations too.
    if (!sh.name && (!composite_modulus() || sh.free_levels.empty())) return false;
    if (!sh.name && sh.free_levels.size() > 1) {
        // Several: a fraction cancels any common factor, and the plain gcd
        // being proved runs as it always did; both keep the plain road.
        if (nonfield_any_common_factor > 0 || composite_plain_road > 0) return false;
        polynode* result = composite_gcd(u, v, vars->level, vars);
        free_poly(g);
        *g = result;
        return true;
    }
    Running inside;
    polynode* result = nullptr;
    if (nonfield_any_common_factor > 0) {
        bool plain_road = false;
        if (coprime_by_images(u, v, vars->level)) {
            // What the full proof would end with (or its refusal, which
            // takes the same road), at a fraction of its cost.
            result = unit_gcd(u, v);
            plain_road = true;
        } else if (proof_refused_up_front(sh)) {
            plain_road = true;
        } else {
            try {
                RefusalEscape escape;
                result = proved_gcd(u, v, vars, sh, true);
                // Coprime up to a unit of the ring: a unit the representatives
                // share (t/t) must still go, or the fraction keeps it.
                plain_road = single_number(result);
            } catch (const NoProof&) {
                plain_road = true;
            }
        }
        if (plain_road) {
            PolyHold proved(result);
            result = nullptr;
            {
                PlainPolynomials plain;
                polygcd(u, v, &result, 0, 1, 1, vars, 1, 1, 1);
            }
            if (proved.p && single_number(result)) std::swap(result, proved.p);
        }
    } else {
        result = proved_gcd(u, v, vars, sh);
    }
    free_poly(g);
    *g = result;
    return true;
}

void nonfield_shared_unit(polynode** qu, polynode** qv) {
    if (!applies(1) || single_number(*qv) || poly_iszero(*qu)) return;
    const Shape sh = shape_of({*qv}, 1);
    if (!sh.name || sh.outside_band || !sh.free_levels.empty()) return;
    Running inside;
    if (!proved_unit(*qv, polynames)) return;
    // Literal factors of the representatives: dividing them out keeps the
    // value modulo the relations as well.
    PlainPolynomials plain;
    PolyHold h, a, b;
    polygcd(*qu, *qv, &h.p, 0, 1, 1, polynames, 1, 1, 1);
    if (single_number(h.p)) return;
    if (!trial_poly_divide(*qu, h.p, &a.p, polynames, 0, 0, 0) || !a.p) return;
    if (!trial_poly_divide(*qv, h.p, &b.p, polynames, 0, 0, 0) || !b.p) return;
    free_poly(qu);
    *qu = a.release();
    free_poly(qv);
    *qv = b.release();
}

namespace {

// The leading coefficient in C of p (over the free levels above `band`),
// or null when it is a number.
polynode* lead_element(polynode* p, int32_t band) {
    for (int32_t level = 1; level < band; level++) {
        if (p->numb) return nullptr;
        p = p->pcoef;
    }
    return single_number(p) ? nullptr : p;
}

// qu·N and qv·N (N a unit, c·N = d for the leading coefficient c of one of
// them), with their common integer content divided out; false when c is
// no unit this module proves.
bool times_inverse_lead(polynode* c, polynode* qu, polynode* qv, int32_t band, PolyHold* nu, PolyHold* nv) {
    PolyHold N;
    imag* d = nullptr;
    if (!invert(c, record_at(band), &N, &d)) return false;
    free_imag(&d);
    if (band > 1) add_pad(&N.p, band - 1);
    poly_mult(qu, N.p, &nu->p, polynames);
    poly_mult(qv, N.p, &nv->p, polynames);
    if (imag* k = common_content(nu->p, nv->p)) {
        num_poly_quot(nu->p, k, 0);
        num_poly_quot(nv->p, k, 0);
        free_imag(&k);
    }
    return true;
}

// Where g's leading coefficient over the relations is a unit, g kills no
// non-zero element of the ring: u/g and v/g are unique, and where g divides
// both as plain polynomials those quotients are them, found without the
// inverse of that coefficient that the division over the relations needs
// (over the rationals its cofactors swell with the relations' degree: an
// element of a tower of degree 96 times its own inverse took seconds).
// Modulo a composite number the plain division stops at a leading number
// without inverse (3xy modulo 9), where the ring's division may still go
// through: no plain quotients then.
bool plain_quotients(polynode* u, polynode* v, polynode* g, int32_t band, PolyHold* a, PolyHold* b) {
    try {
        QuietInverseFailures quiet;
        PlainPolynomials plain;
        if (!trial_poly_divide(u, g, &a->p, polynames, 1, 0, 0) || !a->p) return false;
        if (!trial_poly_divide(v, g, &b->p, polynames, 1, 0, 0) || !b->p) return false;
    } catch (const TarvexUnwind& e) {
        if (e.code != NO_RESIDUE_INVERSE) throw;
        return false;
    }
    if (polynode* c = lead_element(g, band)) return proved_unit(c, record_at(band));
    return !composite_modulus();
}

}  // namespace

void nonfield_fewest_terms(polynode** qu, polynode** qv) {
    if (!applies(1) || single_number(*qv) || poly_iszero(*qu)) return;
    // As in nonfield_cancel a free variable inside the relations is one of
    // the coefficient ring's; a leading coefficient that uses it is not
    // inverted.
    const Shape sh = shape_of({*qu, *qv}, 1);
    if (!sh.name || sh.free_levels.empty()) return;
    Running inside;
    int32_t best = term_count(*qu) + term_count(*qv);
    PolyHold bu, bv;
    for (polynode* p : {*qu, *qv}) {
        polynode* c = lead_element(p, sh.band);
        PolyHold nu, nv;
        if (!c || !times_inverse_lead(c, *qu, *qv, sh.band, &nu, &nv)) continue;
        const int32_t n = term_count(nu.p) + term_count(nv.p);
        if (n >= best) continue;
        best = n;
        std::swap(bu.p, nu.p);
        std::swap(bv.p, nv.p);
    }
    if (!bu.p) return;
    free_poly(qu);
    *qu = bu.release();
    free_poly(qv);
    *qv = bv.release();
}

bool nonfield_cancel(polynode* u, polynode* v, polynode* g, polynode** qu, polynode** qv, polynode** m) {
    if (!applies(1) || single_number(g)) return false;
    // A free variable the parts use inside the relations (y adjoined
    // before t) is one more variable of the coefficient ring: the division
    // inverts only leading coefficients free of it and ends exact or
    // fails, so it holds there as well.
    const Shape sh = shape_of({u, v, g}, 1);
    if (!sh.name) return false;
    Running inside;
    {
        PolyHold a, b;
        if (plain_quotients(u, v, g, sh.band, &a, &b)) {
            *qu = a.release();
            *qv = b.release();
            if (m) poly_set(1, m);
            return true;
        }
    }
    const Band ring{sh.band, sh.name};
    imag* su = nullptr;
    imag* sv = nullptr;
    PolyHold a(exact_div(u, g, 1, ring, &su));
    PolyHold b(exact_div(v, g, 1, ring, &sv));
    const bool both = a.p && b.p;
    if (both) {
        // g·a = su·u and g·b = sv·v. With h = gcd(su, sv) (1 for residues),
        // a·(sv/h) and b·(su/h) are u/g and v/g both times M = su·sv/h: a
        // sum over their product needs that multiplier, a fraction of the
        // two does not.
        imag* h = new_number();
        int m1 = 0;
        if (lintmode) setvalue(1, h);
        else binary_gcd(su, sv, h);
        const bool shared = !equal_to_pm1(h, &m1) && !iszero(h);
        if (shared) {
            simple_quot(su, h, 0);
            simple_quot(sv, h, 0);
        }
        num_poly_mult(a.p, sv);
        num_poly_mult(b.p, su);
        if (m) {
            PolyHold mm(number_copy(su));
            mult_num(mm.p, sv);
            if (shared) mult_num(mm.p, h);
            free_poly(m);
            *m = mm.release();
        }
        free_imag(&h);
    }
    if (su) free_imag(&su);
    if (sv) free_imag(&sv);
    if (!both) return false;
    *qu = a.release();
    *qv = b.release();
    return true;
}
