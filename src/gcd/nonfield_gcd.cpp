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

#include "gcd/nonfield_multi.h"
#include "gcd/nonfield_ring.h"

#include <utility>
#include <vector>

#include "numbers/numbers.h"
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

namespace {

using namespace nonfield;

int running = 0;

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

bool nonfield_gcd(polynode* u, polynode* v, polynode** g, pt* vars) {
    if (running || laurent || !vars || !polynames) return false;
    if (modularmode && !mod_is_prime && !finf) return false;
    const int32_t top = vars->level;
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    mark_levels(u, top, used);
    mark_levels(v, top, used);

    // The band of relation levels at the inside: the coefficient ring.
    int32_t band = number_polys + 1;
    while (band > 1) {
        pt* r = record_at(band - 1);
        if (!r || !r->relation) break;
        band--;
    }
    const char* name = nullptr;
    std::vector<int32_t> free_levels;
    bool outside_band = false;
    for (pt* r = polynames; r; r = r->next) {
        if (!used[r->level]) continue;
        if (r->relation && !r->field && !name) name = r->name;
        if (r->level < band) {
            if (r->relation) outside_band = true;
            else free_levels.push_back(r->level);
        }
    }
    if (!name) return false;
    Running inside;
    if (outside_band) refuse(name);

    polynode* result = nullptr;
    if (free_levels.empty()) {
        // Elements of the ring: a unit makes them coprime; two non-units
        // have no gcd this module can prove.
        PolyHold N;
        imag* d = nullptr;
        bool unit = invert(u, vars, &N, &d);
        if (!unit) unit = invert(v, vars, &N, &d);
        if (!unit) refuse(name);
        free_imag(&d);
        imag* c = common_content(u, v);
        if (c) {
            result = new_number_node(c);
        } else {
            poly_set(1, &result);
        }
    } else if (free_levels.size() > 1) {
        // Several variables: the field algorithm in every factor field
        // of C at once, which needs C to be a product of fields.
        const Band ring{band, name};
        if (!relations_square_free(ring)) refuse(name);
        result = multi_gcd(u, v, top, ring);
        if (imag* c = common_content(u, v)) {
            num_poly_mult(result, c);
            free_imag(&c);
        }
    } else {
        const int32_t x = free_levels[0];
        pt* xrec = record_at(x);
        result = euclid(at_level(u, top, x), at_level(v, top, x), xrec, name);
        if (imag* c = common_content(u, v)) {
            num_poly_mult(result, c);
            free_imag(&c);
        }
        if (!single_number(result) && x > top) add_pad(&result, x - top);
    }
    free_poly(g);
    *g = result;
    return true;
}
