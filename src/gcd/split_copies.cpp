// Divisions in the copies of split field levels (see split_copies.h).
#include "gcd/split_copies.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "gcd/factor_view.h"
#include "gcd/field_levels.h"
#include "gcd/flat_modgcd.h"
#include "gcd/polygcd.h"
#include "gcd/split_field_gcd.h"
#include "gcd/split_images.h"
#include "gcd/trialdiv.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"

namespace {

using flatgcd::FlatPoly;

// The copies at rec's level, and u, m read as terms over the ordinary
// levels from rec inward (n columns) and the field levels.
struct Copies {
    const SplitRoots* R = nullptr;
    int32_t n = 0;
    size_t count() const { return R->choices(); }
};

bool copies_at(pt* rec, Copies* c) {
    if (!modularmode || !mod_is_prime || finf || modulus < 3 || field_depth <= 0 || !rec) return false;
    // Asked for every entry an elimination looks at: a field has no copies,
    // and the list keeps its room.
    if (field_levels_make_field()) return false;
    static std::vector<pt*> levels;
    if (!split_field_levels(rec, &levels)) return false;
    c->R = tower_roots(levels);
    if (!c->R) return false;
    c->n = levels_from(rec) - static_cast<int32_t>(levels.size());
    return c->n >= 1;
}

// The copies when rec and every level inside it are split field levels:
// elements of the tower alone, no ordinary columns (c->n = 0).
bool field_copies_at(pt* rec, Copies* c) {
    if (!modularmode || !mod_is_prime || finf || modulus < 3 || !rec || field_levels_make_field()) return false;
    std::vector<pt*> levels;
    for (pt* r = rec; r; r = r->next) {
        if (!r->relation || !r->field || r->modout_degree < 2) return false;
        levels.push_back(r);
    }
    std::reverse(levels.begin(), levels.end());
    c->R = tower_roots(levels);
    c->n = 0;
    return c->R != nullptr;
}

// For a division the copies serve relations without the field flag too:
// the ring is their product all the same. The band of relation levels at
// the inside of rec's variables, free levels above it; *ring_name := the
// first relation without the flag (null when all have it).
bool division_copies_at(pt* rec, Copies* c, const char** ring_name) {
    if (!modularmode || !mod_is_prime || finf || modulus < 3 || !rec) return false;
    std::vector<pt*> levels;
    *ring_name = nullptr;
    for (pt* r = rec; r; r = r->next) {
        if (!r->relation) {
            if (!levels.empty()) return false;
            continue;
        }
        if (r->modout_degree < 2) return false;
        if (!r->field && !*ring_name) *ring_name = r->name;
        levels.push_back(r);
    }
    if (levels.empty()) return false;
    std::reverse(levels.begin(), levels.end());
    c->R = tower_roots(levels);
    if (!c->R) return false;
    c->n = levels_from(rec) - static_cast<int32_t>(levels.size());
    return c->n >= 1;
}

bool read(const polynode* p, pt* rec, const Copies& c, FlatPoly* f) {
    return flatten_residues(p, rec, f) && f->nvars == c.n + static_cast<int32_t>(c.R->level.size());
}

// A polynomial over Z/p (one copy's answer) as terms over the n columns.
bool read_copy(const polynode* p, pt* rec, const Copies& c, FlatPoly* f) {
    FlatPoly full;
    if (!read(p, rec, c, &full) || flat_uses_columns(full, c.n)) return false;
    *f = flat_first_columns(full, c.n);
    return true;
}

polynode* joined(const std::vector<FlatPoly>& images, const Copies& c) {
    FlatPoly out;
    split_join(images, c.n, *c.R, &out);
    return poly_from_flat(out);
}

bool constant(const FlatPoly& f) {
    return f.terms() == 1 && std::all_of(f.exp(0), f.exp(0) + f.nvars, [](int32_t e) { return e == 0; });
}

FlatPoly scaled(FlatPoly f, uint32_t k, const flatgcd::Field& F) {
    for (uint32_t& a : f.coefs) a = F.mul(a, k);
    return f;
}

// *q := u / m in one copy (both over the n columns, m not 0): 1, or 0 when
// m does not divide u. The trial division takes no number divisor.
int copy_divide(const FlatPoly& u, const FlatPoly& m, pt* rec, const Copies& c, FlatPoly* q) {
    const flatgcd::Field F(static_cast<uint32_t>(modulus));
    if (constant(m)) {
        *q = scaled(u, F.inv(m.coefs[0]), F);
        return 1;
    }
    q->nvars = c.n;
    q->exps.clear();
    q->coefs.clear();
    if (u.terms() == 0) return 1;
    PolyHold U(poly_from_flat(u)), M(poly_from_flat(m)), Q;
    if (!trial_poly_divide(U.p, M.p, &Q.p, rec, 0, 0, 0)) return 0;
    return read_copy(Q.p, rec, c, q) ? 1 : -1;
}

// The copies in which p vanishes where they are the fields of irreducible
// factors (factor_view.h): 1 when p vanishes in some but not all, 0 when
// in none or all, -1 when they do not apply. With `some_only` *where is
// not all read where p vanishes in no copy.
int vanishing_in(const FactorView& v, const polynode* p, uint64_t* where, bool some_only = false) {
    if (!factor_view_vanishing(v, p, where, some_only)) return -1;
    return *where && *where != (uint64_t{2} << (v.count() - 1)) - 1;
}

int factor_copies_vanishing(polynode* p, uint64_t* where) {
    const std::shared_ptr<const FactorView> v = factor_view_at(polynames);
    return v ? vanishing_in(*v, p, where) : -1;
}

FlatPoly one_over(int32_t n) {
    FlatPoly f;
    f.nvars = n;
    const std::vector<int32_t> zero(static_cast<size_t>(n), 0);
    f.push(zero.data(), 1);
    return f;
}

}  // namespace

int split_copies_divide(polynode* u, polynode* m, pt* rec, polynode** quo) {
    Copies c;
    const char* ring_name = nullptr;
    if (!division_copies_at(rec, &c, &ring_name)) return -1;
    FlatPoly fu, fm;
    if (!read(m, rec, c, &fm) || fm.terms() == 0 || !flat_uses_columns(fm, c.n)) return -1;
    // Only a leading coefficient that vanishes in some copy stops the
    // division over the tower; the usual road takes the others.
    std::vector<FlatPoly> ms(c.count());
    bool zero_divisor_lead = false;
    for (size_t k = 0; k < c.count(); k++) {
        ms[k] = split_specialise(fm, *c.R, k);
        if (ms[k].terms() == 0) {
            // A zero divisor: without the field flag the usual road
            // divides by it as far as it can, else it is the division by
            // zero the field road would meet.
            if (ring_name) return -1;
            zero_divisor_met();
        }
        if (!std::equal(fm.exp(0), fm.exp(0) + c.n, ms[k].exp(0))) zero_divisor_lead = true;
    }
    if (!zero_divisor_lead || !read(u, rec, c, &fu)) return -1;
    std::vector<FlatPoly> qs(c.count());
    for (size_t k = 0; k < c.count(); k++) {
        const int a = copy_divide(split_specialise(fu, *c.R, k), ms[k], rec, c, &qs[k]);
        if (a <= 0) return a;
    }
    if (quo) {
        free_poly(quo);
        *quo = joined(qs, c);
    }
    return 1;
}

namespace {

// The gcd in one copy by the flat road, which the driver takes over Z/p
// for such primes where no relation is about: a copy has none.
bool flat_copy_gcd(const FlatPoly& u, const FlatPoly& v, const flatgcd::Field& F, FlatPoly* g) {
    if (modulus < 1024 || u.nvars < 1 || flat_too_long(u) || flat_too_long(v)) return false;
    flatgcd::Limits limits;
    // A seed of its own: the session's random numbers stay as they were.
    static uint64_t seed = 0x73706c6974636f70ull;
    limits.seed = ++seed;
    limits.work = 100000000 + 4000 * static_cast<int64_t>(u.terms() + v.terms());
    return flatgcd::gcd(u, v, F, g, limits) == flatgcd::Outcome::ok && g->terms() > 0;
}

// Whether the copies' gcds (monic) lead with different monomials and some
// copy's has nothing beyond what they share over Z/p: (x - t)/(x - 3)
// modulo 7 has the gcd x - 3 at t = 3 and 1 at t = 4.
bool some_copy_shares_only(const std::vector<FlatPoly>& gs, const Copies& c) {
    if (std::all_of(gs.begin(), gs.end(),
                    [&](const FlatPoly& g) { return std::equal(g.exp(0), g.exp(0) + c.n, gs[0].exp(0)); }))
        return false;
    if (std::any_of(gs.begin(), gs.end(), [](const FlatPoly& g) { return constant(g); })) return true;
    PolyHold common(poly_from_flat(gs[0]));
    for (size_t k = 1; k < gs.size(); k++) {
        PolyHold gk(poly_from_flat(gs[k])), next;
        polygcd(common.p, gk.p, &next.p, 0, 1, 1, polynames, 1, 1, 0);
        std::swap(common.p, next.p);
    }
    FlatPoly shared;
    if (!read_copy(common.p, polynames, c, &shared) || shared.terms() == 0) return true;
    return std::any_of(gs.begin(), gs.end(),
                       [&](const FlatPoly& g) { return std::equal(g.exp(0), g.exp(0) + c.n, shared.exp(0)); });
}

// split_copies_fraction; with `whole`, false also where the denominator
// vanishes in some copy, or where some copy's gcd is only what they share
// over Z/p (some_copy_shares_only): the quotient over the tower cancels
// that and leaves the form as typed ((x - t)/(x - 3)). Elsewhere each copy
// is cancelled by its whole gcd, though the gcds lead differently: what
// they share over Z/p alone would leave in the copies factors that the
// next sums and products carry along and multiply.
bool cancel_in_copies(const Copies& c, const std::vector<FlatPoly>& num, const std::vector<FlatPoly>& den,
                      polynode** qn, polynode** qd, bool whole) {
    const flatgcd::Field F(static_cast<uint32_t>(modulus));
    std::vector<FlatPoly> gs(c.count());
    for (size_t k = 0; k < c.count(); k++) {
        const FlatPoly& dk = den[k];
        if (dk.terms() == 0) {
            if (whole) return false;
            zero_divisor_met();
        }
        const FlatPoly& nk = num[k];
        FlatPoly& g = gs[k];
        if (nk.terms() == 0) {
            g = dk;   // the gcd of 0 and dk, up to a unit
        } else if (!whole || !flat_copy_gcd(nk, dk, F, &g)) {
            PolyHold N(poly_from_flat(nk)), D(poly_from_flat(dk)), G;
            polygcd(N.p, D.p, &G.p, 0, 1, 1, polynames, 1, 1, 0);
            if (!read_copy(G.p, polynames, c, &g) || g.terms() == 0) return false;
        }
    }
    if (whole && some_copy_shares_only(gs, c)) return false;
    std::vector<FlatPoly> ns(c.count()), ds(c.count());
    for (size_t k = 0; k < c.count(); k++) {
        if (num[k].terms() == 0) {
            ns[k].nvars = c.n;
            ds[k] = one_over(c.n);
            continue;
        }
        if (copy_divide(num[k], gs[k], polynames, c, &ns[k]) <= 0 ||
            copy_divide(den[k], gs[k], polynames, c, &ds[k]) <= 0)
            return false;
        // Monic in the copy, as a denominator over Z/p is.
        const uint32_t inv = F.inv(ds[k].coefs[0]);
        ns[k] = scaled(ns[k], inv, F);
        ds[k] = scaled(ds[k], inv, F);
    }
    *qn = joined(ns, c);
    *qd = joined(ds, c);
    return true;
}

// The terms of ±f·g in one copy, both over the n columns, each exponent
// vector packed into one key by the radices (the leading column highest).
void copy_times(const FlatPoly& f, const FlatPoly& g, const flatgcd::Field& F, bool negate,
                std::vector<std::pair<uint64_t, uint32_t>>* out, const std::vector<uint64_t>& radix) {
    const size_t n = static_cast<size_t>(f.nvars);
    for (size_t i = 0; i < f.terms(); i++) {
        for (size_t j = 0; j < g.terms(); j++) {
            uint64_t key = 0;
            for (size_t v = 0; v < n; v++) key = key * radix[v] + static_cast<uint64_t>(f.exp(i)[v] + g.exp(j)[v]);
            const uint32_t a = F.mul(f.coefs[i], g.coefs[j]);
            out->emplace_back(key, negate ? F.neg(a) : a);
        }
    }
}

// The sum of the products, terms of equal keys added, in decreasing order.
FlatPoly summed(std::vector<std::pair<uint64_t, uint32_t>>& terms, const std::vector<uint64_t>& radix, int32_t n,
                const flatgcd::Field& F) {
    std::sort(terms.begin(), terms.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    FlatPoly out;
    out.nvars = n;
    std::vector<int32_t> e(static_cast<size_t>(n));
    for (size_t i = 0; i < terms.size();) {
        uint32_t a = 0;
        const uint64_t key = terms[i].first;
        for (; i < terms.size() && terms[i].first == key; i++) a = F.add(a, terms[i].second);
        if (!a) continue;
        uint64_t k = key;
        for (size_t v = static_cast<size_t>(n); v-- > 0;) {
            e[v] = static_cast<int32_t>(k % radix[v]);
            k /= radix[v];
        }
        out.push(e.data(), a);
    }
    return out;
}

}  // namespace

bool split_copies_fraction(polynode* num, polynode* den, polynode** qn, polynode** qd) {
    Copies c;
    if (!copies_at(polynames, &c)) return factor_copies_fraction(num, den, qn, qd, false, polynames);
    FlatPoly fn, fd;
    if (!read(num, polynames, c, &fn) || !read(den, polynames, c, &fd)) return false;
    std::vector<FlatPoly> ns(c.count()), ds(c.count());
    for (size_t k = 0; k < c.count(); k++) {
        ns[k] = split_specialise(fn, *c.R, k);
        ds[k] = split_specialise(fd, *c.R, k);
    }
    return cancel_in_copies(c, ns, ds, qn, qd, false);
}

bool split_copies_over_roots() {
    Copies c;
    return copies_at(polynames, &c);
}

bool split_copies_cross_fraction(const std::vector<CopiesProduct>& num, const CopiesProduct& den, polynode** qn,
                                 polynode** qd) {
    Copies c;
    if (!copies_at(polynames, &c)) {
        // The fields of the factors: the products over the tower, divided in the copies.
        PolyHold n, d;
        poly_set(0, &n.p);
        for (const CopiesProduct& t : num) {
            PolyHold p;
            poly_mult(t.factor[0], t.factor[1], &p.p, polynames);
            (t.minus ? poly_sub : poly_add)(n.p, p.p, &n.p);
        }
        poly_mult(den.factor[0], den.factor[1], &d.p, polynames);
        return factor_copies_fraction(n.p, d.p, qn, qd, true, polynames);
    }
    std::vector<const CopiesProduct*> all;
    for (const CopiesProduct& t : num) all.push_back(&t);
    all.push_back(&den);
    // Each factor in each copy, and the room its products' exponents need.
    std::vector<uint64_t> radix(static_cast<size_t>(c.n), 1);
    std::vector<std::vector<std::array<FlatPoly, 2>>> images(c.count(), std::vector<std::array<FlatPoly, 2>>(all.size()));
    for (size_t t = 0; t < all.size(); t++) {
        for (int s = 0; s < 2; s++) {
            FlatPoly f;
            if (!read(all[t]->factor[s], polynames, c, &f)) return false;
            for (size_t k = 0; k < c.count(); k++) {
                images[k][t][static_cast<size_t>(s)] = split_specialise(f, *c.R, k);
                const FlatPoly& im = images[k][t][static_cast<size_t>(s)];
                for (size_t i = 0; i < im.terms(); i++)
                    for (size_t v = 0; v < static_cast<size_t>(c.n); v++)
                        radix[v] = std::max<uint64_t>(radix[v], static_cast<uint64_t>(im.exp(i)[v]) * 2 + 1);
            }
        }
    }
    long double room = 1;
    for (uint64_t r : radix) room *= static_cast<long double>(r);
    if (room > 1e18L) return false;
    const flatgcd::Field F(static_cast<uint32_t>(modulus));
    std::vector<FlatPoly> ns(c.count()), ds(c.count());
    std::vector<std::pair<uint64_t, uint32_t>> terms;
    for (size_t k = 0; k < c.count(); k++) {
        terms.clear();
        for (size_t t = 0; t < num.size(); t++)
            copy_times(images[k][t][0], images[k][t][1], F, num[t].minus, &terms, radix);
        ns[k] = summed(terms, radix, c.n, F);
        terms.clear();
        copy_times(images[k][num.size()][0], images[k][num.size()][1], F, 0, &terms, radix);
        ds[k] = summed(terms, radix, c.n, F);
    }
    return cancel_in_copies(c, ns, ds, qn, qd, true);
}

namespace {

// Whether p, over `columns` ordinary levels above the field levels of R,
// vanishes at the given roots; *ok false on a negative exponent.
bool vanishes_at(const polynode* p, int32_t columns, const SplitRoots& R, const uint32_t* roots,
                 const flatgcd::Field& F, bool* ok) {
    if (columns == 0) {
        uint32_t v = 0;
        *ok = split_value_at(p, static_cast<int32_t>(R.level.size()) - 1, roots, F, &v);
        return *ok && v == 0;
    }
    for (const polynode* t = p; t; t = t->next) {
        if (t->exp < 0) {
            *ok = false;
            return false;
        }
        if (t->numb ? image_residue(t->ncoef, F) != 0 : !vanishes_at(t->pcoef, columns - 1, R, roots, F, ok))
            return false;
    }
    return true;
}

}  // namespace

SplitZeroDivisors::SplitZeroDivisors() {
    Copies c;
    if (!copies_at(polynames, &c) && !field_copies_at(polynames, &c)) {
        factors_ = factor_view_at(polynames);
        return;
    }
    roots_ = c.R;
    columns_ = c.n;
}

SplitZeroDivisors::~SplitZeroDivisors() = default;

bool SplitZeroDivisors::operator()(const polynode* p) const {
    if (!p) return false;
    if (factors_) {
        uint64_t where = 0;
        return vanishing_in(*factors_, p, &where, true) == 1;
    }
    if (!roots_) return false;
    // Its values at each choice of the roots, without its terms read out.
    const flatgcd::Field F(roots_->q);
    const size_t k = roots_->level.size();
    bool zero = false, other = false, ok = true;
    for (size_t i = 0; i < roots_->choices(); i++) {
        const bool vanishes = vanishes_at(p, columns_, *roots_, roots_->roots.data() + i * k, F, &ok);
        if (!ok) return false;
        (vanishes ? zero : other) = true;
    }
    return zero && other;
}

bool split_copies_zero_divisor(polynode* p) { return SplitZeroDivisors()(p); }

bool split_copies_missing() { return factor_view_missing(polynames); }

bool split_copies_vanishing(polynode* p, uint64_t* where) {
    Copies c;
    if (!copies_at(polynames, &c) && !field_copies_at(polynames, &c)) return factor_copies_vanishing(p, where) >= 0;
    FlatPoly f;
    if (c.count() > 64 || !read(p, polynames, c, &f)) return false;
    *where = 0;
    for (size_t k = 0; k < c.count(); k++)
        if (split_specialise(f, *c.R, k).terms() == 0) *where |= uint64_t{1} << k;
    return true;
}

polynode* split_copies_idempotent(uint64_t copies) {
    Copies c;
    if (!copies_at(polynames, &c) && !field_copies_at(polynames, &c)) {
        const std::shared_ptr<const FactorView> v = factor_view_at(polynames);
        FlatPoly e;
        if (!v || !factor_view_idempotent(*v, copies, &e)) return nullptr;
        return poly_from_flat(e);
    }
    if (c.count() > 64) return nullptr;
    std::vector<FlatPoly> images(c.count());
    for (size_t k = 0; k < c.count(); k++) {
        images[k].nvars = c.n;
        if (copies >> k & 1) images[k] = one_over(c.n);
    }
    return joined(images, c);
}

bool split_copies_inverse(polynode* p, pt* rec, polynode** inv) {
    Copies c;
    if (!field_copies_at(rec, &c)) {
        const std::shared_ptr<const FactorView> v = factor_view_at(rec);
        FlatPoly f, out;
        uint64_t zero = 0;
        if (!v || !flatten_residues(p, rec, &f) || !factor_view_inverse(*v, f, &out, &zero))
            return false;
        if (zero) zero_divisor_met();
        *inv = poly_from_flat(out);
        return true;
    }
    const flatgcd::Field F(static_cast<uint32_t>(modulus));
    const size_t levels = c.R->level.size();
    std::vector<FlatPoly> images(c.count());
    for (size_t k = 0; k < c.count(); k++) {
        uint32_t v = 0;
        if (!split_value_at(p, static_cast<int32_t>(levels) - 1, c.R->roots.data() + k * levels, F, &v)) return false;
        if (v == 0) zero_divisor_met();
        images[k] = one_over(0);
        images[k].coefs[0] = F.inv(v);
    }
    *inv = joined(images, c);
    return true;
}

int split_copies_factor_divide(polynode* u, polynode* m, polynode** quo) {
    const std::shared_ptr<const FactorView> v = factor_view_at(polynames);
    FlatPoly fu, fm, out;
    if (!v || !flatten_residues(u, polynames, &fu) || !flatten_residues(m, polynames, &fm)) return -1;
    const int a = factor_view_divide(*v, fu, fm, &out);
    if (a > 0) *quo = poly_from_flat(out);
    return a;
}

bool split_copies_lead_zero_divisor(polynode* p) {
    const std::shared_ptr<const FactorView> v = factor_view_at(polynames);
    FlatPoly f;
    if (!v || !flatten_residues(p, polynames, &f) || f.terms() == 0) return false;
    // Terms of one head over the ordinary columns are adjacent, the leading one first.
    FlatPoly lead;
    lead.nvars = f.nvars;
    for (size_t i = 0; i < f.terms() && std::equal(f.exp(i), f.exp(i) + v->n, f.exp(0)); i++)
        lead.push(f.exp(i), f.coefs[i]);
    PolyHold L(poly_from_flat(lead));
    uint64_t where = 0;
    return factor_view_vanishing(*v, L.p, &where) && where;
}
