// Gcds over field levels that the prime splits (see split_field_gcd.h).
#include "gcd/split_field_gcd.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "gcd/flat_modgcd.h"
#include "gcd/polygcd.h"
#include "gcd/small_field_tower.h"
#include "gcd/split_images.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"

namespace {

// The roots of the tower under the current modulus, null when some
// relation does not split into distinct linear factors. Kept for the next
// call with the same modulus and relations.
const SplitRoots* tower_roots(const std::vector<pt*>& levels) {
    std::vector<flatgcd::FlatPoly> rel;
    std::vector<uint32_t> key;
    if (!smallgcd::read_relations(levels, &rel, &key)) return nullptr;
    static std::vector<uint32_t> kept_key;
    static SplitRoots kept;
    static bool kept_split = false;
    if (key != kept_key) {
        kept_key = key;
        kept = SplitRoots{};
        kept_split = split_roots(levels, static_cast<uint32_t>(modulus), &kept);
    }
    // The records may be new ones with the same relations.
    if (kept_split) kept.level = levels;
    return kept_split ? &kept : nullptr;
}

}  // namespace

int32_t split_gcd_asked = 0;

int split_field_gcd(polynode* u, polynode* v, polynode** g, int allow_tests, int allow_split, pt* vars) {
    if (!modularmode || !mod_is_prime || finf || modulus < 2 || field_depth <= 0 || !vars) return 0;
    std::vector<pt*> levels;
    if (!split_field_levels(vars, &levels)) return 0;
    const SplitRoots* R = tower_roots(levels);
    if (!R) return 0;
    flatgcd::FlatPoly fu, fv;
    if (!flatten_residues(u, vars, &fu) || !flatten_residues(v, vars, &fv)) return 0;
    const int32_t k = static_cast<int32_t>(levels.size());
    const int32_t n = fu.nvars - k;
    if (n < 1 || fv.nvars != fu.nvars) return 0;
    // Operands over Z/p alone have the same gcd in every copy: the driver's
    // own roads take it (and the gcds of the copies below come back here).
    if (!flat_uses_columns(fu, n) && !flat_uses_columns(fv, n)) return 0;

    const flatgcd::Field F(static_cast<uint32_t>(modulus));
    const size_t K = R->choices();
    bool agree = true;
    std::vector<flatgcd::FlatPoly> images(K);
    for (size_t c = 0; c < K; c++) {
        PolyHold iu(poly_from_flat(split_specialise(fu, *R, c)));
        PolyHold iv(poly_from_flat(split_specialise(fv, *R, c)));
        PolyHold gc;
        // Whole gcds even for a test: markers of different copies need not agree.
        polygcd(iu.p, iv.p, &gc.p, 0, allow_tests, allow_split, vars, 1, 1, 0);
        flatgcd::FlatPoly fg;
        if (!flatten_residues(gc.p, vars, &fg) || fg.nvars != fu.nvars || flat_uses_columns(fg, n)) return 0;
        flatgcd::FlatPoly& h = images[c];
        h = flat_first_columns(fg, n);
        const uint32_t inv = h.terms() ? F.inv(h.coefs[0]) : 1;
        for (uint32_t& a : h.coefs) a = F.mul(a, inv);
        // Copies whose gcds lead with different monomials (one of them
        // zero, where both operands vanish) share no monic gcd.
        if (agree && (h.terms() == 0 || !std::equal(h.exp(0), h.exp(0) + n, images[0].exp(0)))) agree = false;
    }
    if (!agree) {
        // A point of an outer computation is unlucky; the gcd asked for
        // is the operands' error (no monic gcd exists).
        if (zero_divisor_escape > 0 || split_gcd_asked == modulus) zero_divisor_met();
        // Otherwise a common divisor serves (a quotient cancels by it): the
        // gcd over Z/p of the copies' gcds divides the operands in each.
        PolyHold common(poly_from_flat(images[0]));
        for (size_t c = 1; c < K; c++) {
            PolyHold gc(poly_from_flat(images[c])), next;
            polygcd(common.p, gc.p, &next.p, 0, allow_tests, allow_split, vars, 1, 1, 0);
            std::swap(common.p, next.p);
        }
        free_poly(g);
        *g = common.release();
        return 1;
    }
    flatgcd::FlatPoly out;
    split_join(images, n, *R, &out);
    free_poly(g);
    *g = poly_from_flat(out);
    return 1;
}
