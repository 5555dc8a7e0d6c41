// The ring's remainders first at high degree (ring_road_first.h).
#include "gcd/ring_road_first.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "gcd/field_levels.h"
#include "gcd/nonfield_ring.h"
#include "gcd/relation_field.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"

namespace {

// Below this degree of the field the proof and the primes are cheap, and
// the field's road is the one that never swells. A tower's degree counts
// twice: its outer levels are tested for irreducibility over the levels
// inside them by arithmetic on polynomials over those levels, many times
// dearer than one level's test on words (k^2 - 2 under t^12 - t - k: 0.2 s
// for the field's road, 0.01 s for the remainders).
constexpr int64_t RING_FIRST_DEGREE = 32;
// The remainders' budget in the products of the sizes their steps work on
// (nodes and digits, the steps of the inverses they take included: the
// same on every machine and build), the square of the field's degree times
// this, twice that under a tower (whose field's road costs seconds there):
// some two and a half times what a planted gcd of low degree in two
// variables takes on the remainders (13 million at degree 36, 31 million
// at 64), four times a sum of four fractions under a tower of degree 128
// (230 million, most of it one inverse); about 0.1-0.2 s where the
// remainders swell.
constexpr int64_t UNITS_PER_SQUARED_DEGREE = 25000;
constexpr int64_t LEAST_UNITS = 1000000;
// Sets of relations under which the remainders went over their budget.
constexpr size_t KEPT_SWELLS = 4;
std::vector<std::vector<int64_t>> swelled;

}  // namespace

bool ring_road_first(polynode* u, polynode* v, int32_t level, const nonfield::Band& band, polynode** g) {
    if (modularmode || lintmode) return false;
    const std::vector<pt*> run = relation_run();
    if (run.empty()) return false;
    int64_t degree = 1;
    for (const pt* r : run) degree = std::min<int64_t>(degree * r->modout_degree, 1 << 20);
    const int64_t tower = run.size() > 1 ? 2 : 1;
    if (degree * tower < RING_FIRST_DEGREE) return false;
    std::vector<int64_t> key = relations_key(run);
    if (std::find(swelled.begin(), swelled.end(), key) != swelled.end()) return false;
    // No field to give up for: the remainders are the road, without a
    // budget whose run would be thrown away.
    if (proved_no_field(run)) return false;
    const int64_t units = std::max(LEAST_UNITS, UNITS_PER_SQUARED_DEGREE * degree * degree * tower);
    polynode* result = nullptr;
    try {
        nonfield::RefusalEscape escape;
        result = nonfield::multi_gcd_within(u, v, level, band, units);
    } catch (const nonfield::NoProof&) {
        return false;
    }
    if (!result) {
        if (swelled.size() == KEPT_SWELLS) swelled.erase(swelled.begin());
        swelled.push_back(std::move(key));
        return false;
    }
    free_poly(g);
    *g = result;
    return true;
}
