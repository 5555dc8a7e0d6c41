// Gcds over field levels that the prime splits (see split_field_gcd.h).
#include "gcd/split_field_gcd.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "gcd/factor_copies.h"
#include "gcd/field_levels.h"
#include "gcd/flat_modgcd.h"
#include "gcd/gcdstash.h"
#include "gcd/polygcd.h"
#include "gcd/small_field_tower.h"
#include "gcd/split_images.h"
#include "gcd/tower_level.h"
#include "gcd/trialdiv.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "toplevel/set_aside.h"

int32_t split_gcd_asked = 0;
int32_t split_copies_agreed = 0;
int32_t split_copies_disagreed = 0;
int32_t split_copies_shared_only = 0;

const SplitRoots* tower_roots(const std::vector<pt*>& levels) {
    // An elimination asks for every entry it looks at: the last answer is
    // kept by the print of the relations, which costs less than reading them.
    static std::vector<uint64_t> last_print;
    static SplitRoots* last = nullptr;
    if (same_relation_print(levels, last_print)) {
        if (last) last->level = levels;
        return last;
    }
    std::vector<uint64_t> print;
    relation_print(levels, &print);
    std::vector<flatgcd::FlatPoly> rel;
    std::vector<uint32_t> key;
    if (!smallgcd::read_relations(levels, &rel, &key)) return nullptr;
    // One entry for each tower met (null where it does not split): a
    // caller may hold the roots of a tower while an inverse below it asks
    // for those of its inner levels.
    static std::map<std::vector<uint32_t>, std::unique_ptr<SplitRoots>> kept;
    auto at = kept.find(key);
    if (at == kept.end()) {
        auto roots = std::make_unique<SplitRoots>();
        if (!split_roots(levels, static_cast<uint32_t>(modulus), roots.get())) roots.reset();
        at = kept.emplace(key, std::move(roots)).first;
    }
    last_print = std::move(print);
    last = at->second.get();
    if (!last) return nullptr;
    // The records may be new ones with the same relations.
    last->level = levels;
    return last;
}

namespace {

// The field level's relation replaced, for the scope, by one irreducible
// factor of it modulo the prime, in the form a declaration gives it: the
// level is then the field that is that factor's copy, and the roads over
// field levels take gcds there. The level's p-th-root table belongs to the
// whole relation and is set aside with it, and the gcd stash is off: its
// entries are keyed by the operands alone, and a gcd in the copy is none
// over the whole relation. A level opened by an interrupt inside works
// with the whole relation and the stash.
struct InstalledFactor : SetAside {
    pt* rec;
    polynode *relation, *binomial, *reductions, *root_table;
    int32_t degree, root_modulus;
    int16_t stash = lookupgcd;
    InstalledFactor(pt* r, const SplitFactor& m)
        : rec(r), relation(r->relation), binomial(r->binomial), reductions(r->reductions), root_table(r->root_table),
          degree(r->modout_degree), root_modulus(r->root_modulus) {
        const int32_t d = static_cast<int32_t>(m.size()) - 1;
        flatgcd::FlatPoly f;
        f.nvars = 1;
        for (int32_t e = d; e >= 0; e--)
            if (m[static_cast<size_t>(e)]) f.push(&e, m[static_cast<size_t>(e)]);
        PolyHold full(poly_from_flat(f)), rel, powers;
        if (f.terms() == 2 && f.exp(1)[0] == 0) {
            // t^d + c keeps -c as its relation and itself as the binomial.
            flatgcd::FlatPoly value;
            value.nvars = 1;
            const int32_t zero = 0;
            value.push(&zero, finf ? f.coefs[1] : static_cast<uint32_t>(modulus) - f.coefs[1]);
            rel.p = poly_from_flat(value);
        } else {
            std::swap(rel.p, full.p);
        }
        r->modout_degree = d;
        try {
            make_muldata(&powers.p, &rel.p, d, r);
        } catch (...) {
            r->modout_degree = degree;
            throw;
        }
        r->relation = rel.release();
        r->binomial = full.release();
        r->reductions = powers.release();
        r->root_table = nullptr;
        r->root_modulus = -1;
        lookupgcd = -1000;
    }
    ~InstalledFactor() {
        free_poly(&rec->relation);
        free_poly(&rec->binomial);
        free_poly(&rec->reductions);
        free_poly(&rec->root_table);
        rec->relation = relation;
        rec->binomial = binomial;
        rec->reductions = reductions;
        rec->root_table = root_table;
        rec->modout_degree = degree;
        rec->root_modulus = root_modulus;
        lookupgcd = stash;
    }
    // The record and the set-aside relation trade places, both ways.
    void trade() {
        std::swap(rec->relation, relation);
        std::swap(rec->binomial, binomial);
        std::swap(rec->reductions, reductions);
        std::swap(rec->root_table, root_table);
        std::swap(rec->modout_degree, degree);
        std::swap(rec->root_modulus, root_modulus);
        std::swap(lookupgcd, stash);
    }
    void put_back() override { trade(); }
};

// The largest polynomial over the ground field (free of the level) that
// divides every copy's gcd: in a copy over a factor of degree d, the gcd of
// the copy's gcd and its d - 1 images under the Frobenius map, which that
// map fixes; then the gcd of these over the ground field. 1 when a copy
// gives nothing the map fixes, which would be a fault of the gcd there.
polynode* shared_over_ground(const std::vector<flatgcd::FlatPoly>& images, const std::vector<SplitFactor>& factors,
                             int32_t n, int allow_tests, int allow_split, pt* vars, pt* level) {
    const uint32_t q = static_cast<uint32_t>(modulus);
    const int32_t nvars = n + 1;
    PolyHold common;
    for (size_t c = 0; c < factors.size(); c++) {
        // A copy where both operands vanish puts no bound on the divisor.
        if (images[c].terms() == 0) continue;
        const SplitFactor& m = factors[c];
        PolyHold fixed(poly_from_flat(images[c]));
        if (m.size() > 2) {
            InstalledFactor installed(level, m);
            flatgcd::FlatPoly conj = images[c];
            for (size_t k = 2; k < m.size(); k++) {
                conj = frobenius_by_factor(conj, n, m, q);
                PolyHold other(poly_from_flat(conj)), next;
                polygcd(fixed.p, other.p, &next.p, 0, allow_tests, allow_split, vars, 1, 1, 0);
                std::swap(fixed.p, next.p);
            }
        }
        // Made monic, what the map fixes is free of the level.
        flatgcd::FlatPoly f;
        bool ground = flatten_residues(fixed.p, vars, &f) && f.nvars == nvars;
        if (ground) {
            f = reduce_by_factor(f, n, m, q);
            ground = monic_by_factor(&f, n, m, q) && !flat_uses_columns(f, n);
        }
        if (!ground) {
            free_poly(&common.p);
            break;
        }
        free_poly(&fixed.p);
        fixed.p = poly_from_flat(f);
        if (!common.p) {
            std::swap(common.p, fixed.p);
        } else {
            PolyHold next;
            polygcd(common.p, fixed.p, &next.p, 0, allow_tests, allow_split, vars, 1, 1, 0);
            std::swap(common.p, next.p);
        }
    }
    if (common.p) return common.release();
    flatgcd::FlatPoly one;
    one.nvars = nvars;
    one.push(std::vector<int32_t>(static_cast<size_t>(nvars), 0).data(), 1);
    return poly_from_flat(one);
}

// Whether some copy's gcd (a monic one, or none where both operands
// vanish) leads with the leading monomial over the n columns of `shared`,
// the divisor the copies share over the ground field: cancelling each copy
// by its whole gcd then gains nothing there over the quotient by the
// shared part, and the quotient over the tower stands. So too where the
// shared part cannot be read.
bool some_copy_shares_only(const std::vector<flatgcd::FlatPoly>& gs, const polynode* shared, int32_t n, pt* vars) {
    flatgcd::FlatPoly f;
    if (!flatten_residues(shared, vars, &f) || f.terms() == 0) return true;
    return std::any_of(gs.begin(), gs.end(), [&](const flatgcd::FlatPoly& g) {
        return g.terms() == 0 || std::equal(g.exp(0), g.exp(0) + n, f.exp(0));
    });
}

// The gcd over one field level whose relation splits modulo the prime into
// irreducible factors not all linear: one copy for each factor (see
// split_images.h), each gcd made monic there, read back by Chinese
// remaindering. The rules of split_field_gcd below hold.
int factor_copies_gcd(polynode* u, polynode* v, polynode** g, int allow_tests, int allow_split, pt* vars, pt* level) {
    const uint32_t q = static_cast<uint32_t>(modulus);
    // Kept by value: the gcds of the copies come back here with a factor
    // in the level's place.
    std::vector<SplitFactor> factors;
    if (!relation_factors(level, q, &factors) || factors.size() < 2) return 0;
    flatgcd::FlatPoly fu, fv;
    if (!flatten_residues(u, vars, &fu) || !flatten_residues(v, vars, &fv)) return 0;
    const int32_t n = fu.nvars - 1;
    if (n < 1 || fv.nvars != fu.nvars) return 0;
    if (!flat_uses_columns(fu, n) && !flat_uses_columns(fv, n)) return 0;

    bool agree = true;
    std::vector<flatgcd::FlatPoly> images(factors.size());
    for (size_t c = 0; c < factors.size(); c++) {
        const SplitFactor& m = factors[c];
        PolyHold iu(poly_from_flat(reduce_by_factor(fu, n, m, q)));
        PolyHold iv(poly_from_flat(reduce_by_factor(fv, n, m, q)));
        PolyHold gc;
        if (m.size() == 2) {
            // The copy is the ground field: the operands are free of the level.
            polygcd(iu.p, iv.p, &gc.p, 0, allow_tests, allow_split, vars, 1, 1, 0);
        } else {
            InstalledFactor installed(level, m);
            polygcd(iu.p, iv.p, &gc.p, 0, allow_tests, allow_split, vars, 1, 1, 0);
        }
        flatgcd::FlatPoly& h = images[c];
        if (!flatten_residues(gc.p, vars, &h) || h.nvars != fu.nvars) return 0;
        h = reduce_by_factor(h, n, m, q);
        if (!monic_by_factor(&h, n, m, q)) return 0;
        if (agree && (h.terms() == 0 || !std::equal(h.exp(0), h.exp(0) + n, images[0].exp(0)))) agree = false;
    }
    if (!agree) {
        if (zero_divisor_escape > 0 || split_gcd_asked == modulus) zero_divisor_met();
        // A quotient cancels what the copies share over the ground field.
        free_poly(g);
        *g = shared_over_ground(images, factors, n, allow_tests, allow_split, vars, level);
        split_copies_disagreed++;
        if (some_copy_shares_only(images, *g, n, vars)) split_copies_shared_only++;
        return 1;
    }
    flatgcd::FlatPoly out;
    factor_join(images, n, factors, q, &out);
    free_poly(g);
    *g = poly_from_flat(out);
    split_copies_agreed++;
    return 1;
}

// The field levels outside the innermost made plain variables for the
// scope: the operands rewritten over the tower read as one level use none
// of them, and the innermost level carries that one level's relation. A
// level opened by an interrupt inside works with the tower.
struct OneLevelScope : SetAside {
    struct Saved {
        pt* rec;
        polynode *relation, *binomial, *reductions, *root_table;
        int32_t field, root_modulus;
    };
    std::vector<Saved> saved;
    int16_t depth = field_depth;
    explicit OneLevelScope(const std::vector<pt*>& levels) {
        for (size_t j = 1; j < levels.size(); j++) {
            pt* r = levels[j];
            saved.push_back({r, r->relation, r->binomial, r->reductions, r->root_table, r->field, r->root_modulus});
            r->relation = r->binomial = r->reductions = r->root_table = nullptr;
            r->field = 0;
            r->root_modulus = -1;
        }
        field_depth = levels[0]->level;
    }
    ~OneLevelScope() {
        for (const Saved& s : saved) {
            s.rec->relation = s.relation;
            s.rec->binomial = s.binomial;
            s.rec->reductions = s.reductions;
            s.rec->root_table = s.root_table;
            s.rec->field = s.field;
            s.rec->root_modulus = s.root_modulus;
        }
        field_depth = depth;
    }
    void trade() {
        for (Saved& s : saved) {
            std::swap(s.rec->relation, s.relation);
            std::swap(s.rec->binomial, s.binomial);
            std::swap(s.rec->reductions, s.reductions);
            std::swap(s.rec->root_table, s.root_table);
            std::swap(s.rec->field, s.field);
            std::swap(s.rec->root_modulus, s.root_modulus);
        }
        std::swap(field_depth, depth);
    }
    void put_back() override { trade(); }
};

// The gcd over a tower of field levels that the prime splits, not into
// linear factors all through: the tower read as one level (tower_level.h)
// whose copies are the tower's, the answer read back over the tower.
int tower_copies_gcd(polynode* u, polynode* v, polynode** g, int allow_tests, int allow_split, pt* vars,
                     const std::vector<pt*>& levels) {
    const TowerAsLevel* kept = tower_as_level(levels);
    if (!kept) return 0;
    // A copy: the gcds inside may ask for other towers.
    const TowerAsLevel T = *kept;
    flatgcd::FlatPoly fu, fv, zu, zv, fg, out;
    if (!flatten_residues(u, vars, &fu) || !flatten_residues(v, vars, &fv)) return 0;
    const int32_t n = fu.nvars - T.levels;
    if (n < 1 || fv.nvars != fu.nvars) return 0;
    if (!flat_uses_columns(fu, n) && !flat_uses_columns(fv, n)) return 0;
    if (!tower_to_level(fu, n, T, &zu) || !tower_to_level(fv, n, T, &zv)) return 0;
    {
        OneLevelScope one(levels);
        InstalledFactor mu(levels[0], T.mu);
        PolyHold pu(poly_from_flat(zu)), pv(poly_from_flat(zv)), gz;
        if (!factor_copies_gcd(pu.p, pv.p, &gz.p, allow_tests, allow_split, vars, levels[0])) return 0;
        if (!flatten_residues(gz.p, vars, &fg) || fg.nvars != fu.nvars) return 0;
    }
    if (!level_to_tower(fg, n, T, &out)) return 0;
    free_poly(g);
    *g = poly_from_flat(out);
    return 1;
}

// The leading monomials of the copies' gcds over the n columns differ.
bool leads_differ(const std::vector<flatgcd::FlatPoly>& gs, int32_t n) {
    return std::any_of(gs.begin(), gs.end(), [&](const flatgcd::FlatPoly& g) {
        return g.terms() == 0 || !std::equal(g.exp(0), g.exp(0) + n, gs[0].exp(0));
    });
}

// h := f / g in the copy whose field is installed (g monic over the n
// columns, f reduced modulo m); false when it does not divide.
bool copy_quotient(const flatgcd::FlatPoly& f, const flatgcd::FlatPoly& g, int32_t n, const SplitFactor& m, pt* vars,
                   flatgcd::FlatPoly* h) {
    // Monic, a constant g is 1; the trial division takes no number divisor.
    if (g.terms() == 1 && std::all_of(g.exp(0), g.exp(0) + g.nvars, [](int32_t e) { return e == 0; })) {
        *h = f;
        return true;
    }
    PolyHold F(poly_from_flat(f)), G(poly_from_flat(g)), Q;
    if (trial_poly_divide(F.p, G.p, &Q.p, vars, 0, 0, 0) != 1) return false;
    if (!flatten_residues(Q.p, vars, h) || h->nvars != f.nvars) return false;
    *h = reduce_by_factor(*h, n, m, static_cast<uint32_t>(modulus));
    return true;
}

// The fraction u/v over one field level whose relation splits into the
// given factors (u, v over n columns and the level's), cancelled in each
// copy by the copy's whole gcd and its denominator made monic there, read
// back by Chinese remaindering. A copy where v vanishes: error 22, or
// false with `whole`, which also declines where the copies' gcds lead
// differently and some copy's holds only what they share over the ground
// field (the quotient over the tower cancels that much).
bool factor_copies_cancel(const flatgcd::FlatPoly& u, const flatgcd::FlatPoly& v, int32_t n,
                          const std::vector<SplitFactor>& factors, bool whole, pt* vars, pt* level,
                          flatgcd::FlatPoly* qu, flatgcd::FlatPoly* qv) {
    const uint32_t q = static_cast<uint32_t>(modulus);
    const size_t K = factors.size();
    std::vector<flatgcd::FlatPoly> gs(K), us(K), vs(K);
    for (size_t c = 0; c < K; c++) {
        const SplitFactor& m = factors[c];
        flatgcd::FlatPoly iu = reduce_by_factor(u, n, m, q), iv = reduce_by_factor(v, n, m, q);
        if (iv.terms() == 0) {
            if (whole) return false;
            zero_divisor_met();
        }
        std::optional<InstalledFactor> installed;
        // A linear factor's copy is the ground field: the images are free of the level.
        if (m.size() > 2) installed.emplace(level, m);
        flatgcd::FlatPoly& g = gs[c];
        if (iu.terms() == 0) {
            g = iv;
            iu.nvars = n + 1;
            us[c] = iu;
            vs[c].nvars = n + 1;
            vs[c].push(std::vector<int32_t>(static_cast<size_t>(n) + 1, 0).data(), 1);
            if (!monic_by_factor(&g, n, m, q)) return false;
            continue;
        }
        PolyHold U(poly_from_flat(iu)), V(poly_from_flat(iv)), G;
        polygcd(U.p, V.p, &G.p, 0, 1, 1, vars, 1, 1, 0);
        if (!flatten_residues(G.p, vars, &g) || g.nvars != n + 1) return false;
        g = reduce_by_factor(g, n, m, q);
        if (!monic_by_factor(&g, n, m, q) || g.terms() == 0) return false;
        if (!copy_quotient(iu, g, n, m, vars, &us[c]) || !copy_quotient(iv, g, n, m, vars, &vs[c]) ||
            !monic_pair_by_factor(&us[c], &vs[c], n, m, q))
            return false;
    }
    if (whole && leads_differ(gs, n)) {
        PolyHold shared(shared_over_ground(gs, factors, n, 1, 1, vars, level));
        if (some_copy_shares_only(gs, shared.p, n, vars)) return false;
    }
    factor_join(us, n, factors, q, qu);
    factor_join(vs, n, factors, q, qv);
    return true;
}

}  // namespace

bool factor_copies_fraction(polynode* num, polynode* den, polynode** qn, polynode** qd, bool whole, pt* vars) {
    if (!modularmode || !(mod_is_prime || finf) || modulus < 2 || field_depth <= 0 || !vars) return false;
    if (field_levels_make_field()) return false;
    std::vector<pt*> levels;
    if (!split_field_levels(vars, &levels)) return false;
    // Where the roots serve, their copies are Z/p (split_copies.h).
    if (!finf && tower_roots(levels)) return false;
    flatgcd::FlatPoly fn, fd, on, od;
    if (!flatten_residues(num, vars, &fn) || !flatten_residues(den, vars, &fd) || fn.nvars != fd.nvars) return false;
    const int32_t k = static_cast<int32_t>(levels.size());
    const int32_t n = fn.nvars - k;
    if (n < 1 || !flat_uses_columns(fd, n)) return false;
    const uint32_t q = static_cast<uint32_t>(modulus);
    if (k == 1) {
        std::vector<SplitFactor> factors;
        if (!relation_factors(levels[0], q, &factors) || factors.size() < 2 ||
            !factor_copies_cancel(fn, fd, n, factors, whole, vars, levels[0], &on, &od))
            return false;
    } else {
        const TowerAsLevel* kept = tower_as_level(levels);
        if (!kept) return false;
        // A copy: the gcds inside may ask for other towers.
        const TowerAsLevel T = *kept;
        flatgcd::FlatPoly zn, zd, gn, gd;
        if (!tower_to_level(fn, n, T, &zn) || !tower_to_level(fd, n, T, &zd)) return false;
        {
            OneLevelScope one(levels);
            InstalledFactor mu(levels[0], T.mu);
            // The outer field columns are 0 here: ordinary columns to the copies.
            if (!factor_copies_cancel(zn, zd, fn.nvars - 1, T.factors, whole, vars, levels[0], &gn, &gd)) return false;
        }
        if (!level_to_tower(gn, n, T, &on) || !level_to_tower(gd, n, T, &od)) return false;
    }
    *qn = poly_from_flat(on);
    *qd = poly_from_flat(od);
    return true;
}

int split_field_gcd(polynode* u, polynode* v, polynode** g, int allow_tests, int allow_split, pt* vars) {
    if (!modularmode || !(mod_is_prime || finf) || modulus < 2 || field_depth <= 0 || !vars) return 0;
    std::vector<pt*> levels;
    if (!split_field_levels(vars, &levels)) return 0;
    // Over GF(2^8) and GF(2^16) every factor, linear or not, is a copy; so
    // in a tower that does not split into linear factors all through.
    const SplitRoots* R = finf ? nullptr : tower_roots(levels);
    if (!R) {
        if (levels.size() == 1) return factor_copies_gcd(u, v, g, allow_tests, allow_split, vars, levels[0]);
        return tower_copies_gcd(u, v, g, allow_tests, allow_split, vars, levels);
    }
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
        split_copies_disagreed++;
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
    split_copies_agreed++;
    return 1;
}
