// Evaluation and interpolation modulo p. The problem is prepared once
// (levels absent from both operands taken out, contents with respect to y
// split off), then up to four attempts interpolate in x; when they keep
// failing, x and y change places for four more. Every change to the
// variable chain is a scoped object, so errors and early returns put the
// chain back.
#include "gcd/interp_gcd.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "gcd/algc.h"
#include "gcd/exactdiv.h"
#include "gcd/flat_modgcd.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/polygcd.h"
#include "gcd/trialdiv.h"
#include "interp/settings.h"
#include "numbers/random.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/evaluate.h"
#include "poly/levels.h"
#include "poly/measures.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/records.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

using gcd_impl::is_number;
using gcd_impl::top_degree;

int images_checked_later = 0;

namespace {

// The variable one level inside `outer` is unlinked from the chain while
// the object lives: the inner records move up a level, the field levels
// with them, and interrupts wait (unless allowed at such times, &Z);
// everything comes back on destruction.
class LevelRemoval {
public:
    explicit LevelRemoval(pt* outer)
        : outer_(outer), removed_(outer->next), saved_field_depth_(field_depth), saved_command_int_(command_int) {
        outer_->next = removed_->next;
        for (pt* r = outer_->next; r; r = r->next) r->level--;
        if (field_depth > 0) field_depth--;
        command_int = command_int && danger_ok;
        globalpoly++;
    }
    ~LevelRemoval() {
        globalpoly--;
        command_int = saved_command_int_;
        field_depth = saved_field_depth_;
        for (pt* r = outer_->next; r; r = r->next) r->level++;
        outer_->next = removed_;
    }
    LevelRemoval(const LevelRemoval&) = delete;
    LevelRemoval& operator=(const LevelRemoval&) = delete;

private:
    pt* outer_;
    pt* removed_;
    int16_t saved_field_depth_;
    int saved_command_int_;
};

int32_t degree_at(const polynode* p, int32_t level) {
    int32_t d = -1;
    max_degree(p, level, &d);
    return d < 0 ? 0 : d;
}

polynode* copy_of(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

void pad_one(polynode** p) {
    if (!is_number(*p)) add_pad(p, 1);
}

int32_t inverse_of(int32_t a) {
    int32_t r = 0;
    mod_inverse(a, &r);
    return r;
}

// Exact division that may fail; a failed division leaves *out null.
bool divides_into(polynode* u, polynode* m, polynode** out, pt* var) {
    int fail = 0;
    free_poly(out);
    gen_poly_divide(u, m, out, var, &fail);
    if (fail) free_poly(out);
    return !fail;
}

// ---- Newton interpolation on the terms of the images ----

using Exps = std::vector<int32_t>;

// Terms of p by exponent vector (levels from p's own), residues.
void flatten(const polynode* p, size_t idx, Exps& cur, std::map<Exps, int32_t>& out) {
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb) {
            std::fill(cur.begin() + static_cast<long>(idx), cur.end(), 0);
            if (t->ncoef->value != 0) out[cur] = t->ncoef->value;
        } else {
            cur[idx] = t->exp;
            flatten(t->pcoef, idx + 1, cur, out);
        }
    }
}

// The polynomial in x (outermost) whose value at points[k] is images[k],
// each image a polynomial one level inside.
polynode* interpolate(const std::vector<int32_t>& points, const std::vector<polynode*>& images, size_t depth) {
    const size_t n = points.size();
    std::map<Exps, std::vector<int32_t>> values;
    for (size_t k = 0; k < n; k++) {
        std::map<Exps, int32_t> terms;
        Exps cur(depth - 1, 0);
        flatten(images[k], 0, cur, terms);
        for (auto& [e, c] : terms) {
            auto& col = values[e];
            col.resize(n, 0);
            col[k] = c;
        }
    }
    // Inverses of the point differences, once for all terms.
    std::vector<std::vector<int32_t>> inv(n, std::vector<int32_t>(n, 0));
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < i; j++) {
            int32_t d = mod_sub(points[i], points[j], modulus);
            if (d == 0) {
                std::printf("bad2: %li\n", static_cast<long>(d));
                // Two equal points: the interpolation has no answer.
                error(85, "/");
                abandon_statement();
            }
            inv[i][j] = inverse_of(d);
        }
    std::vector<std::pair<Exps, int32_t>> out;
    for (auto& [e, col] : values) {
        // Divided differences in place: col[i] becomes the Newton coefficient.
        for (size_t j = 1; j < n; j++)
            for (size_t i = n - 1; i >= j; i--)
                col[i] = modmult(mod_sub(col[i], col[i - 1], modulus), inv[i][i - j]);
        // Horner on the Newton form: coefficients in x, lowest first.
        std::vector<int32_t> c(1, col[n - 1]);
        for (size_t k = n - 1; k-- > 0;) {
            // c := c * (x - points[k]) + col[k]
            std::vector<int32_t> next(c.size() + 1, 0);
            for (size_t t = 0; t < c.size(); t++) {
                next[t + 1] = mod_add(next[t + 1], c[t], modulus);
                next[t] = mod_sub(next[t], modmult(c[t], points[k]), modulus);
            }
            next[0] = mod_add(next[0], col[k], modulus);
            c.swap(next);
        }
        for (size_t t = 0; t < c.size(); t++) {
            if (c[t] == 0) continue;
            Exps full(depth, 0);
            full[0] = static_cast<int32_t>(t);
            std::copy(e.begin(), e.end(), full.begin() + 1);
            out.emplace_back(std::move(full), c[t]);
        }
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    flatgcd::FlatPoly f;
    f.nvars = static_cast<int32_t>(depth);
    for (const auto& [e, c] : out) f.push(e.data(), static_cast<uint32_t>(c));
    return poly_from_flat(f);
}

// The images and their points of one attempt, freed on every exit.
struct Images {
    std::vector<int32_t> points;
    std::vector<polynode*> gcds;
    ~Images() {
        for (polynode*& g : gcds) free_poly(&g);
    }
    void drop_last() {
        free_poly(&gcds.back());
        gcds.pop_back();
        points.pop_back();
    }
};

// Random points meet a zero divisor of a split relation with a chance of
// about the image's length over the prime: a few more than the points kept
// mean it is not the points' fault.
constexpr int32_t ZERO_DIVISOR_POINTS = 4;

bool is_zero(const polynode* p) { return is_number(p) && p->ncoef->value == 0; }

int32_t next_step(int32_t q) {
    if (q >= 61) return q / 3 - 1;
    if (q <= 15 && q >= 2) return q - 1;
    if (q == 1) return 1;
    return 10;
}

bool accepts(polynode* cand, polynode* u, polynode* v, pt* var) {
    if (is_number(cand)) return true;
    // Both operands, not only the larger one: an unlucky run of points can
    // interpolate a polynomial that divides one and not the other. Inside
    // the integer method the division of both integer operands at the end
    // decides, and an image that was wrong only costs another prime.
    if (images_checked_later) return true;
    return candidate_divides(u, cand, var) && candidate_divides(v, cand, var);
}

}  // namespace

int sub_mod_multivar_Chinese(polynode* u, polynode* v, polynode** result, int32_t bound, int32_t deg_u,
                             int32_t deg_v, pt* var) {
    if (bound < 1) return 0;
    pt* inner = var->next;
    PolyHold gamma;
    {
        PolyHold lc_u(leading_coef_level_two(u));
        PolyHold lc_v(leading_coef_level_two(v));
        LevelRemoval without_y(var);
        polygcd(lc_u.p, lc_v.p, &gamma.p, 0, 1, 1, var, 1, 1, 0);
    }
    const bool gamma_number = is_number(gamma.p);
    bound += top_degree(gamma.p);

    int32_t q = (modulus - 1) / (bound + 1);
    if (q <= 0) return 0;
    int32_t a = 0;
    if (q > 1) {
        int32_t qq = q > 60 ? q / 3 : (q < 16 ? q : 10);
        a = rand_integer3() % qq;  // the point before the first
    }
    Images im;
    int32_t d0 = -1;
    PolyHold pt_node;
    poly_set(1, &pt_node.p);
    int32_t zero_divisor_points = 0;
    while (true) {
        a++;
        if (a >= modulus) break;
        pt_node.p->ncoef->value = a;
        PolyHold ua, va;
        mod_poly_at_numb(&ua.p, u, pt_node.p, var, 0);
        if (top_degree(ua.p) < deg_u || is_zero(ua.p)) continue;
        mod_poly_at_numb(&va.p, v, pt_node.p, var, 0);
        if (top_degree(va.p) < deg_v || is_zero(va.p)) continue;
        PolyHold ga;
        // Over a relation declared a field but reducible modulo the prime,
        // an image's remainder sequence can meet a zero divisor at some
        // points only: such a point is unlucky. One that recurs point after
        // point lies in the operands themselves, and is the user's error.
        try {
            ZeroDivisorEscape escape;
            polygcd(ua.p, va.p, &ga.p, 0, 1, 1, inner, 1, 1, 0);
        } catch (const ZeroDivisorMet&) {
            if (++zero_divisor_points > ZERO_DIVISOR_POINTS + 2 * static_cast<int32_t>(im.points.size())) {
                if (zero_divisor_escape > 0) throw;   // an outer point is to blame
                error(22, quotsign);
                abandon_statement();
            }
            continue;
        }
        int32_t d = top_degree(ga.p);
        if (d0 >= 0 && d0 != d) {
            if (d0 > d) return 0;   // every earlier point was unlucky
            continue;
        }
        // Leading coefficient in y made gamma(a).
        PolyHold gamma_a;
        if (is_number(gamma.p)) {
            poly_assign(gamma.p, &gamma_a.p);
        } else {
            LevelRemoval without_y(var);
            mod_poly_at_numb(&gamma_a.p, gamma.p, pt_node.p, var, 0);
        }
        pad_one(&gamma_a.p);
        PolyHold lc;
        if (is_number(ga.p) || ga.p->numb)
            poly_assign(ga.p, &lc.p);
        else
            poly_assign(ga.p->pcoef, &lc.p);
        if (!is_number(lc.p)) pad_one(&lc.p);
        PolyHold scaled, normal;
        poly_mult(ga.p, gamma_a.p, &scaled.p, inner);
        if (is_number(lc.p)) {
            int32_t r = inverse_of(lc.p->ncoef->value);
            normal.p = scaled.release();
            mod_num_poly_mult(normal.p, r);
        } else if (!divides_into(scaled.p, lc.p, &normal.p, inner)) {
            continue;
        }
        im.points.push_back(a);
        im.gcds.push_back(normal.release());
        d0 = d;
        const int32_t kept = static_cast<int32_t>(im.points.size());
        if (kept > bound) break;
        int32_t room = (modulus - 1 - a) / (bound + 1 - kept);
        if (room <= 0) break;
        int32_t step = next_step(room);
        a += rand_integer3() % step;
    }
    if (static_cast<int32_t>(im.points.size()) <= bound) return 0;

    PolyHold cand(interpolate(im.points, im.gcds, static_cast<size_t>(levels_from(var))));
    if (!gamma_number && !is_number(cand.p)) {
        int failures = 0;
        while (true) {
            PolyHold c(content_2(cand.p, var));
            if (is_number(c.p)) break;
            PolyHold prim;
            if (divides_into(cand.p, c.p, &prim.p, var)) {
                std::swap(cand.p, prim.p);
                break;
            }
            if (verbose) std::printf("poly divide retry, sub_multivar 2\n");
            if (++failures > 10) tarvex_error(" too many failures, sub_mod_multivar_Chinese.", 1);
        }
    }
    if (is_number(cand.p) && cand.p->ncoef->value == 0) return 0;
    PolyHold lead;
    monic_poly(&cand.p, &lead.p, var);
    free_poly(result);
    *result = cand.release();
    return 1;
}

int mod_multivar_Chinese(polynode* u, polynode* v, polynode** result, int32_t bound, pt* var) {
    free_poly(result);
    if (!u->numb && u->exp == 0) tarvex_error("Chinese 0 exponent, x.", 1);
    if (!v->numb && v->exp == 0) tarvex_error("Chinese 0 exponent, y.", 1);
    const int32_t nu = new_node_total(u), nv = new_node_total(v);
    if (nu + nv < 80 || (nu < 30 && nv < 30)) return 0;
    if (!var->next) return 0;

    // Over a word-size prime field the flat routine runs the whole
    // recursion without polynomial records; its answer is checked like
    // every other candidate, and the general road below takes over when it
    // declines or fails.
    {
        PolyHold flat;
        if (flat_mod_gcd(u, v, &flat.p, var) && accepts(flat.p, u, v, var)) {
            *result = flat.release();
            return 1;
        }
    }

    // Levels that neither operand reaches come out for the whole call.
    PolyHold uu(copy_of(u)), vv(copy_of(v));
    // Removals are undone innermost first.
    struct Removals {
        std::vector<std::unique_ptr<LevelRemoval>> list;
        size_t size() const { return list.size(); }
        void push_back(std::unique_ptr<LevelRemoval> r) { list.push_back(std::move(r)); }
        ~Removals() {
            while (!list.empty()) list.pop_back();
        }
    } removed;
    while (degree_at(uu.p, 2) == 0 && degree_at(vv.p, 2) == 0) {
        if (!var->next->next) {
            std::printf(" *** Tarvex Warning. Early exit from mod_multivar_Chinese.\n");
            return 0;
        }
        PolyHold su(leading_coef_level_two(uu.p)), sv(leading_coef_level_two(vv.p));
        std::swap(uu.p, su.p);
        std::swap(vv.p, sv.p);
        removed.push_back(std::make_unique<LevelRemoval>(var));
    }
    const size_t r = removed.size();
    dumpitt_level++;
    struct DumpLevel {
        ~DumpLevel() { dumpitt_level--; }
    } dump_level;

    // Contents with respect to y.
    PolyHold c;
    PolyHold pu, pv;
    for (int failures = 0;; failures++) {
        if (failures > 10) tarvex_error(" too many failures, mod_multivar_Chinese.", 1);
        PolyHold cu(content_2(uu.p, var)), cv(content_2(vv.p, var));
        free_poly(&c.p);
        polygcd(cu.p, cv.p, &c.p, 0, 1, 1, var, 1, 1, 0);
        if (is_number(c.p)) {
            poly_assign(uu.p, &pu.p);
            poly_assign(vv.p, &pv.p);
            break;
        }
        if (divides_into(uu.p, c.p, &pu.p, var) && divides_into(vv.p, c.p, &pv.p, var)) break;
        if (verbose) std::printf("mod multivar poly_divide retry\n");
    }
    if (!is_number(c.p)) bound = std::max<int32_t>(1, bound - top_degree(c.p));

    PolyHold g;
    bool ok = false;
    if (top_degree(pu.p) == 0 || top_degree(pv.p) == 0) {
        poly_set(1, &g.p);
        ok = true;
    }
    const int32_t deg_u = degree_at(pu.p, 2), deg_v = degree_at(pv.p, 2);
    for (int a = 1; !ok && a <= 4; a++) {
        if (sub_mod_multivar_Chinese(pu.p, pv.p, &g.p, bound, deg_u, deg_v, var)) {
            if (accepts(g.p, pu.p, pv.p, var)) {
                ok = true;
                break;
            }
            if (verbose && windy) std::printf("sub_mod_multivar_Chinese retry, 1 A, %d\n", a);
            free_poly(&g.p);
        } else if (verbose && windy) {
            std::printf("sub_mod_multivar_Chinese retry, 1 B, %d\n", a);
        }
        if (a == 2) bound++;
    }
    if (!ok) {
        // x and y exchange places.
        PolyHold su(copy_of(pu.p)), sv(copy_of(pv.p));
        const int32_t du = top_degree(su.p), dv = top_degree(sv.p);
        swap_levels_1_2(&su.p);
        swap_levels_1_2(&sv.p);
        // The exchanged operands are made primitive with respect to their
        // new second variable too: a candidate is complete only when the
        // operands have no common factor free of the second variable.
        PolyHold c2;
        {
            PolyHold cu(content_2(su.p, var)), cv(content_2(sv.p, var));
            polygcd(cu.p, cv.p, &c2.p, 0, 1, 1, var, 1, 1, 0);
        }
        if (!is_number(c2.p)) {
            fast_poly_divide(&su.p, c2.p, var, 43);
            fast_poly_divide(&sv.p, c2.p, var, 44);
        }
        bound = std::min(top_degree(su.p), top_degree(sv.p));
        if (verbose && windy) std::printf("sub_mod_multivar_Chinese retry, swap levels %ld\n", static_cast<long>(bound));
        for (int b = 1; b <= 4; b++) {
            if (sub_mod_multivar_Chinese(su.p, sv.p, &g.p, bound, du, dv, var)) {
                if (accepts(g.p, su.p, sv.p, var)) {
                    if (!is_number(c2.p)) {
                        PolyHold prod;
                        poly_mult(g.p, c2.p, &prod.p, var);
                        std::swap(g.p, prod.p);
                    }
                    swap_levels_1_2(&g.p);
                    ok = true;
                    break;
                }
                if (verbose && windy) std::printf("sub_mod_multivar_Chinese retry, 2 A, %d\n", b);
                free_poly(&g.p);
                if (b == 2) bound--;
            } else if (verbose && windy) {
                std::printf("sub_mod_multivar_Chinese retry, 2 B, %d\n", b);
            }
        }
        if (!ok && verbose) std::printf("mod_multivar_Chinese gave up %d\n", 4);
    }
    if (!ok) return 0;
    if (!is_number(c.p)) {
        PolyHold prod;
        poly_mult(g.p, c.p, &prod.p, var);
        std::swap(g.p, prod.p);
    }
    // Back into the operands' level structure: r empty levels below x.
    for (size_t k = 0; k < r; k++) patch_up(g.p, 1, 1);
    *result = g.release();
    return 1;
}

int prefer_alg_c(polynode* u, polynode* v, int32_t level) {
    int64_t su = 0, sv = 0;
    const int32_t nu = static_cast<int16_t>(expon_node_total(u, level, 1, &su));
    const int32_t nv = static_cast<int16_t>(expon_node_total(v, level, 1, &sv));
    const int64_t avg_u = nu != 0 ? su / nu : 0;
    const int64_t avg_v = nv != 0 ? sv / nv : 0;
    const int64_t avg = (avg_u + avg_v) / 2;
    const int32_t du = top_degree(u), dv = top_degree(v);
    int P = ((avg_u > 2300 && (avg_v > 2300 || nv <= 1600)) || (avg_u <= 2300 && avg_v > 2300 && nu <= 1599)) ? 1 : 0;
    if (P && dv > 1) {
        const int32_t tv = qpoly_numterms(v, level);
        if (tv > 1000 || (tv > 50 && qpoly_numterms(u, level) > 1000)) P = 0;
    }
    if (P && du > 5 && dv > 5) {
        const int32_t m = std::max(polys_there(u, level), polys_there(v, level));
        if (m > 6 && sum_degrees(u, level, 10 * m) + sum_degrees(v, level, 10 * m) > 8 * m) P = 0;
    }
    if (alg_c_count < 3) {
        if (!P) {
            if (avg > 15000000) P = 1;
        } else if (avg <= 15000000) {
            const int32_t tu = f_poly_numterms(u), tv = f_poly_numterms(v);
            if ((avg < 25000 && tu + tv <= 1099 && tu >= 101 && tv >= 101) ||
                (avg < 60000 && tu + tv < 1600 && du > 2 && tu > 70 && tv > 70)) {
                P = 0;
            } else if (avg >= 30000 && qpoly_numterms(u, level) < 401 && qpoly_numterms(v, level) < 401 &&
                       (du < 8 || dv < 8)) {
                // stays 1
            } else if (nu >= 2301 && nv >= 901 && du + dv >= 10) {
                P = 0;
            } else {
                const int32_t w = poly_weight(v->numb ? v : v->pcoef, 1);
                const bool to_interp =
                    (avg < 3000 && du + dv < 6) || (avg < 15000 && du + dv < 8 && nv < 300 && nu < 1500) ||
                    (avg < 5000 && nv < 300 && nu < 1600 && number_polys - level > 7) ||
                    (nu > 1800 && nv > 350 && du > 3 && dv > 2) || (nu > 2000 && nv > 180 && du > 4 && dv > 3) ||
                    (nv > 900 && nu > 1200 && du > 3 && dv > 2) || (nu > 220 && nv > 850 && du > 4 && dv > 3) ||
                    (nu > 200 && nv > 200 && du > 7 && dv > 7 && avg > 200000) ||
                    (nu > 100 && nv > 100 && du > 12 && dv > 12 && avg > 400000) ||
                    (nu > 50 && nv > 50 && du > 14 && dv > 14 && avg > 800000) ||
                    (nu > 1500 && nv > 1500 && w > 200000) || (nu > 2000 && nv > 120 && w > 1000000) ||
                    (nu > 1000 && nv > 1000 && w > 1000000 && avg > 70000 && du > 2 && dv > 2);
                if (to_interp) P = 0;
            }
        }
    }
    if (c_cntcount > 100000 && nu + nv <= 299) P = 1;
    return P;
}
