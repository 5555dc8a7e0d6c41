// Coprimality over a relation ring proved by images (nonfield_images.h).
#include "gcd/nonfield_images.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "gcd/modgcd.h"
#include "gcd/nonfield_ring.h"
#include "gcd/split_images.h"
#include "gcd/upoly_field.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"

namespace nonfield {

namespace {

using flatgcd::Field;
using upoly::UPoly;

// Z/q[t]/(m), m monic of degree d: an element is d residues, the constant
// first; a polynomial over it is its coefficients' blocks, the constant
// first, no trailing block of zeros.
struct Ring {
    Field F;
    size_t d;
    UPoly m;
    mutable std::vector<uint32_t> scratch;
    Ring(uint32_t q, UPoly monic) : F(q), d(monic.size() - 1), m(std::move(monic)) {}

    // c := a·b; c may not be a or b.
    void mul(const uint32_t* a, const uint32_t* b, uint32_t* c) const {
        scratch.assign(2 * d - 1, 0);
        for (size_t i = 0; i < d; i++) {
            if (!a[i]) continue;
            for (size_t j = 0; j < d; j++) scratch[i + j] = F.add(scratch[i + j], F.mul(a[i], b[j]));
        }
        for (size_t k = 2 * d - 1; k-- > d;) {
            const uint32_t top = scratch[k];
            if (!top) continue;
            for (size_t j = 0; j < d; j++) scratch[k - d + j] = F.sub(scratch[k - d + j], F.mul(top, m[j]));
        }
        std::copy(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(d), c);
    }

    // out := a^-1; false when a is no unit (a zero divisor, or 0). Asked
    // at every step of every image's Euclid: extended Euclid against m in
    // buffers kept from call to call, nothing allocated.
    bool inverse(const uint32_t* a, uint32_t* out) const {
        std::vector<uint32_t>& r0 = euclid[0];
        std::vector<uint32_t>& r1 = euclid[1];
        std::vector<uint32_t>& s0 = euclid[2];
        std::vector<uint32_t>& s1 = euclid[3];
        r0.assign(m.begin(), m.end());
        r1.assign(a, a + d);
        r1.push_back(0);
        s0.assign(d + 1, 0);
        s1.assign(d + 1, 0);
        s1[0] = 1;
        // The degree of v below `above`, -1 for 0.
        auto degree = [](const std::vector<uint32_t>& v, ptrdiff_t above) {
            while (above > 0 && v[static_cast<size_t>(above - 1)] == 0) above--;
            return above - 1;
        };
        const ptrdiff_t n = static_cast<ptrdiff_t>(d);
        ptrdiff_t d0 = n, d1 = degree(r1, n);
        // r0 = s0·a and r1 = s1·a modulo m all along; the degrees of s0
        // and s1 stay at most d.
        while (d1 >= 0) {
            const uint32_t lead = F.inv(r1[static_cast<size_t>(d1)]);
            while (d0 >= d1) {
                const uint32_t c = F.mul(r0[static_cast<size_t>(d0)], lead);
                const ptrdiff_t k = d0 - d1;
                for (ptrdiff_t i = 0; i <= d1; i++)
                    r0[static_cast<size_t>(i + k)] =
                        F.sub(r0[static_cast<size_t>(i + k)], F.mul(c, r1[static_cast<size_t>(i)]));
                for (ptrdiff_t i = 0; i + k <= n; i++)
                    s0[static_cast<size_t>(i + k)] =
                        F.sub(s0[static_cast<size_t>(i + k)], F.mul(c, s1[static_cast<size_t>(i)]));
                d0 = degree(r0, d0);
            }
            std::swap(r0, r1);
            std::swap(s0, s1);
            std::swap(d0, d1);
        }
        if (d0 != 0) return false;
        const uint32_t k = F.inv(r0[0]);
        for (size_t i = 0; i < d; i++) out[i] = F.mul(s0[i], k);
        return true;
    }
    mutable std::vector<uint32_t> euclid[4];
};

void trim_blocks(std::vector<uint32_t>& a, size_t d) {
    while (!a.empty() && std::all_of(a.end() - static_cast<std::ptrdiff_t>(d), a.end(), [](uint32_t c) { return c == 0; }))
        a.resize(a.size() - d);
}

// How Euclid over the ring ended.
enum class Euclid { COPRIME, COMMON, STUCK };

// Euclid over the ring: COPRIME when it ends in a unit, every division by
// a leading coefficient with an inverse; COMMON when it ends in a gcd of
// positive degree, which a chance point can make; STUCK at a leading
// coefficient that is no unit, which zero divisors of the parts make at
// every point.
Euclid coprime_images(const Ring& R, std::vector<uint32_t> a, std::vector<uint32_t> b) {
    const size_t d = R.d;
    trim_blocks(a, d);
    trim_blocks(b, d);
    if (a.size() < b.size()) std::swap(a, b);
    std::vector<uint32_t> inv(d), c(d), t(d);
    auto unit = [&](const uint32_t* x) { return R.inverse(x, inv.data()) ? Euclid::COPRIME : Euclid::STUCK; };
    for (;;) {
        if (b.empty()) return a.size() == d ? unit(a.data()) : Euclid::COMMON;
        if (b.size() == d) return unit(b.data());
        if (!R.inverse(b.data() + b.size() - d, inv.data())) return Euclid::STUCK;
        const size_t nb = b.size() / d;
        while (a.size() >= b.size()) {
            R.mul(a.data() + a.size() - d, inv.data(), c.data());
            const size_t shift = a.size() / d - nb;
            for (size_t k = 0; k + 1 < nb; k++) {
                R.mul(c.data(), b.data() + k * d, t.data());
                uint32_t* dst = a.data() + (shift + k) * d;
                for (size_t i = 0; i < d; i++) dst[i] = R.F.sub(dst[i], t[i]);
            }
            a.resize(a.size() - d);
            trim_blocks(a, d);
        }
        std::swap(a, b);
    }
}

// Where the relation splits into distinct linear factors modulo q, R is
// copies of Z/q, one for each root: the images there and Euclid over the
// field in each copy, which is cheaper than over R.
bool coprime_at_roots(const Ring& R, const std::vector<uint32_t>& roots, const std::vector<uint32_t>& a,
                      const std::vector<uint32_t>& b) {
    const size_t d = R.d;
    for (uint32_t r : roots) {
        std::vector<uint32_t> powers(d, 1);
        for (size_t k = 1; k < d; k++) powers[k] = R.F.mul(powers[k - 1], r);
        UPoly at[2];
        const std::vector<uint32_t>* parts[2] = {&a, &b};
        for (int i = 0; i < 2; i++) {
            at[i].assign(parts[i]->size() / d, 0);
            for (size_t c = 0; c < at[i].size(); c++) {
                uint32_t v = 0;
                for (size_t k = 0; k < d; k++) v = R.F.add(v, R.F.mul((*parts[i])[c * d + k], powers[k]));
                at[i][c] = v;
            }
        }
        if (upoly::monic_gcd(std::move(at[0]), std::move(at[1]), R.F).size() != 1) return false;
    }
    return true;
}

// The image of a polynomial in R[x], x the variable of level `main`, the
// other free levels put to their points; its true degree in x.
struct Image {
    const Ring& R;
    int32_t main;
    int32_t band;
    const std::vector<uint32_t>& point;
    std::vector<uint32_t> out;
    int32_t degree = 0;
    bool ok = true;

    void put(int32_t xe, int32_t te, uint32_t value) {
        const size_t at = static_cast<size_t>(xe) * R.d + static_cast<size_t>(te);
        if (out.size() <= at) out.resize((static_cast<size_t>(xe) + 1) * R.d, 0);
        out[at] = R.F.add(out[at], value);
        degree = std::max(degree, xe);
    }

    void add(const polynode* p, int32_t level, uint32_t weight, int32_t xe) {
        for (; p && ok; p = p->next) {
            if (p->numb) {
                put(xe, 0, R.F.mul(weight, image_residue(p->ncoef, R.F)));
            } else if (p->exp < 0 || level > band) {
                ok = false;
            } else if (level == band) {
                // Reduced values keep the relation's variable below its degree.
                if (!single_number(p->pcoef) || static_cast<size_t>(p->exp) >= R.d) {
                    ok = false;
                    return;
                }
                put(xe, p->exp, R.F.mul(weight, image_residue(p->pcoef->ncoef, R.F)));
            } else if (level == main) {
                add(p->pcoef, level + 1, weight, p->exp);
            } else {
                const uint32_t w = R.F.mul(weight, image_power(point[static_cast<size_t>(level)], p->exp, R.F));
                add(p->pcoef, level + 1, w, xe);
            }
        }
    }
};

// The polynomial keeps its degree in x, which is positive, under a
// leading coefficient that is a unit.
bool holds_degree(const Ring& R, const Image& im) {
    if (im.degree == 0 || im.out.size() != (static_cast<size_t>(im.degree) + 1) * R.d) return false;
    std::vector<uint32_t> inv(R.d);
    return R.inverse(im.out.data() + im.out.size() - R.d, inv.data());
}

// The one relation level, innermost and without the field flag, where
// images apply; null elsewhere.
pt* lone_relation() {
    pt* found = nullptr;
    for (pt* r = polynames; r; r = r->next) {
        if (!r->relation) continue;
        if (found || r->field || r->next || r->modout_degree < 1) return nullptr;
        found = r;
    }
    return found;
}

// Points tried for each free variable: a point can lose the degree, or,
// modulo a small prime, make coprime parts share a root by chance (about
// one in q for each copy). Modulo a word prime that is too rare to try
// again for: images that share a factor there mostly mean parts that do.
constexpr int ATTEMPTS = 6;
constexpr int32_t DENSE_RELATION_DEGREE = 4096;
constexpr uint32_t SMALL_PRIME = 1u << 16;

// The roots of m modulo q where m splits into distinct linear factors
// there, else null. Every operation on fractions asks, and finding the
// roots takes a power of x modulo m: the answer is kept under m's
// residues and q, which are read anew at each question.
const std::vector<uint32_t>* roots_of(pt* rel, uint32_t q, const UPoly& m) {
    static std::map<std::vector<uint32_t>, std::optional<std::vector<uint32_t>>> kept;
    std::vector<uint32_t> key(m);
    key.push_back(q);
    auto at = kept.find(key);
    if (at == kept.end()) {
        if (kept.size() >= 64) kept.clear();
        std::optional<std::vector<uint32_t>> roots;
        SplitRoots split;
        if (split_roots({rel}, q, &split)) roots = std::move(split.roots);
        at = kept.emplace(std::move(key), std::move(roots)).first;
    }
    return at->second ? &*at->second : nullptr;
}

}  // namespace

bool coprime_by_images(polynode* u, polynode* v, int32_t top) {
    if (laurent || (lintmode && !(modularmode && mod_is_prime && !finf))) return false;
    pt* rel = lone_relation();
    if (!rel || top < 1 || top >= rel->level) return false;
    // The images' coefficients are dense in the relation's degree, their
    // products quadratic: past some thousands the proof's own road is the
    // cheaper (a relation of degree 2^30 asked for gigabytes here).
    if (rel->modout_degree > DENSE_RELATION_DEGREE) return false;
    const uint32_t q = static_cast<uint32_t>(modularmode ? modulus : word_prime_at(1));
    const Field F(q);
    UPoly m;
    if (!relation_modulo(rel, 0, rel->modout_degree, nullptr, F, &m)) return false;
    const std::vector<uint32_t>* roots = roots_of(rel, q, m);
    const Ring R(q, std::move(m));
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    mark_levels(u, top, used);
    mark_levels(v, top, used);
    static uint64_t state = 0x6e6f6e6669656c64ull;
    std::vector<uint32_t> point(used.size(), 0);
    bool any = false;
    for (int32_t x = top; x < rel->level; x++) {
        if (!used[static_cast<size_t>(x)]) continue;
        any = true;
        bool settled = false;
        for (int attempt = 0; attempt < ATTEMPTS && !settled; attempt++) {
            for (uint32_t& c : point) c = static_cast<uint32_t>(upoly::next_random(&state) % q);
            Image a{R, x, rel->level, point, {}}, b{R, x, rel->level, point, {}};
            a.add(u, top, 1, 0);
            b.add(v, top, 1, 0);
            if (!a.ok || !b.ok) return false;
            // A shared factor of positive degree in x keeps it in the
            // images only under a part that keeps its own.
            if (!holds_degree(R, a) && !holds_degree(R, b)) continue;
            // Images that share a factor at this point may not share it
            // elsewhere: a true common factor shows at every point.
            if (roots) {
                settled = coprime_at_roots(R, *roots, a.out, b.out);
            } else {
                const Euclid e = coprime_images(R, std::move(a.out), std::move(b.out));
                if (e == Euclid::STUCK) return false;
                settled = e == Euclid::COPRIME;
            }
            if (!settled && q >= SMALL_PRIME) return false;
        }
        if (!settled) return false;
    }
    return any;
}

}  // namespace nonfield
