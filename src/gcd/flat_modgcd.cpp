// Flat multivariate gcd modulo p: see flat_modgcd.h.
//
// At n variables the operands are read as polynomials in the inner n - 1
// variables whose coefficients are dense polynomials in the outermost one
// (x). Their contents in x are divided out first; the images at x = a are
// then taken for points where neither leading coefficient vanishes, their
// monic gcds scaled to gamma(a), gamma the gcd of the leading coefficients,
// so that all images are values of one polynomial G. An image whose leading
// monomial is larger than another's has picked up a spurious factor and is
// dropped; a smaller one shows that every earlier image had. The primitive
// part of G in x, times the gcd of the contents, is the gcd.
#include "gcd/flat_modgcd.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/from_terms.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/errors.h"

namespace flatgcd {

Field::Field(uint32_t prime) : p(prime), m(~static_cast<uint64_t>(0) / prime) {}

uint32_t Field::inv(uint32_t a) const {
    int64_t r0 = p, r1 = a, s0 = 0, s1 = 1;
    while (r1 != 0) {
        int64_t q = r0 / r1;
        std::swap(r0, r1);
        r1 -= q * r0;
        std::swap(s0, s1);
        s1 -= q * s0;
    }
    int64_t s = s0 % static_cast<int64_t>(p);
    return static_cast<uint32_t>(s < 0 ? s + p : s);
}

namespace {

// ---- dense polynomials in one variable, lowest coefficient first, no
// trailing zeros (zero is empty) ----

using UPoly = std::vector<uint32_t>;

struct Ctx {
    Field F;
    int64_t work;
    uint64_t rng;
    SparseUse sparse;
    Counts counts;
    Outcome failure = Outcome::ok;
    Ctx(const Field& f, const Limits& l)
        : F(f), work(l.work), rng(l.seed * 0x9E3779B97F4A7C15ull + 1), sparse(l.sparse) {}
    uint64_t next() {
        uint64_t z = (rng += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    bool spend(int64_t n) {
        work -= n;
        if (work >= 0) return true;
        failure = Outcome::too_much_work;
        return false;
    }
};

void trim(UPoly& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}

int32_t deg(const UPoly& a) { return static_cast<int32_t>(a.size()) - 1; }

uint32_t eval(const UPoly& a, uint32_t x, const Field& F) {
    uint64_t acc = 0;
    for (size_t i = a.size(); i-- > 0;) acc = F.add(F.mul(static_cast<uint32_t>(acc), x), a[i]);
    return static_cast<uint32_t>(acc);
}

void make_monic(UPoly& a, const Field& F) {
    if (a.empty() || a.back() == 1) return;
    uint32_t s = F.inv(a.back());
    for (uint32_t& c : a) c = F.mul(c, s);
}

// a := a mod b, b non-zero.
void rem_in_place(UPoly& a, const UPoly& b, Ctx& cx) {
    const Field& F = cx.F;
    const int32_t db = deg(b);
    if (deg(a) < db) return;
    const uint32_t ilc = F.inv(b.back());
    cx.spend(static_cast<int64_t>(deg(a) - db + 1) * (db + 1));
    for (int32_t i = deg(a); i >= db; i--) {
        uint32_t q = F.mul(a[static_cast<size_t>(i)], ilc);
        if (q == 0) continue;
        const uint32_t nq = F.neg(q);
        uint32_t* base = a.data() + (i - db);
        for (int32_t j = 0; j < db; j++) base[j] = F.add(base[j], F.mul(nq, b[static_cast<size_t>(j)]));
        a[static_cast<size_t>(i)] = 0;
    }
    trim(a);
}

// The monic gcd; gcd(0, 0) = 0.
UPoly ugcd(UPoly a, UPoly b, Ctx& cx) {
    if (a.size() < b.size()) std::swap(a, b);
    while (!b.empty()) {
        if (b.size() == 1) return UPoly{1};
        rem_in_place(a, b, cx);
        std::swap(a, b);
    }
    make_monic(a, cx.F);
    return a;
}

// a / b for b dividing a exactly.
UPoly exact_quotient(UPoly a, const UPoly& b, Ctx& cx) {
    const Field& F = cx.F;
    const int32_t db = deg(b);
    if (db == 0) {
        const uint32_t s = F.inv(b[0]);
        for (uint32_t& c : a) c = F.mul(c, s);
        return a;
    }
    const int32_t da = deg(a);
    UPoly q(static_cast<size_t>(da - db + 1), 0);
    const uint32_t ilc = F.inv(b.back());
    cx.spend(static_cast<int64_t>(da - db + 1) * (db + 1));
    for (int32_t i = da; i >= db; i--) {
        uint32_t t = F.mul(a[static_cast<size_t>(i)], ilc);
        q[static_cast<size_t>(i - db)] = t;
        if (t == 0) continue;
        const uint32_t nt = F.neg(t);
        uint32_t* base = a.data() + (i - db);
        for (int32_t j = 0; j < db; j++) base[j] = F.add(base[j], F.mul(nt, b[static_cast<size_t>(j)]));
    }
    trim(q);
    return q;
}

UPoly product(const UPoly& a, const UPoly& b, const Field& F) {
    if (a.empty() || b.empty()) return {};
    UPoly r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i] == 0) continue;
        for (size_t j = 0; j < b.size(); j++) r[i + j] = F.add(r[i + j], F.mul(a[i], b[j]));
    }
    return r;
}

// ---- operands as polynomials in the inner variables over dense
// polynomials in x ----

struct Rec {
    int32_t m = 0;                // inner variables
    std::vector<int32_t> rest;    // m exponents per monomial, decreasing
    std::vector<UPoly> coef;      // per monomial, non-zero
    const int32_t* mono(size_t i) const { return rest.data() + i * static_cast<size_t>(m); }
    size_t size() const { return coef.size(); }
};

int compare(const int32_t* a, const int32_t* b, int32_t n) {
    for (int32_t i = 0; i < n; i++)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

bool all_zero(const int32_t* a, int32_t n) {
    for (int32_t i = 0; i < n; i++)
        if (a[i] != 0) return false;
    return true;
}

Rec split_outer(const FlatPoly& u) {
    Rec r;
    r.m = u.nvars - 1;
    const int32_t n = u.nvars;
    std::vector<uint32_t> order(u.terms());
    if (n == 2) {
        // One inner variable: a counting sort on its exponent.
        int32_t top = 0;
        for (size_t i = 0; i < u.terms(); i++) top = std::max(top, u.exp(i)[1]);
        std::vector<uint32_t> start(static_cast<size_t>(top) + 2, 0);
        for (size_t i = 0; i < u.terms(); i++) start[static_cast<size_t>(top - u.exp(i)[1]) + 1]++;
        for (size_t k = 1; k < start.size(); k++) start[k] += start[k - 1];
        for (uint32_t i = 0; i < u.terms(); i++) order[start[static_cast<size_t>(top - u.exp(i)[1])]++] = i;
    } else {
        // The inner exponents packed into one key when they fit a word.
        std::vector<int32_t> width(static_cast<size_t>(n), 0);
        for (size_t i = 0; i < u.terms(); i++)
            for (int32_t k = 1; k < n; k++)
                width[static_cast<size_t>(k)] = std::max(width[static_cast<size_t>(k)], u.exp(i)[k]);
        int32_t bits = 0;
        for (int32_t k = 1; k < n; k++) {
            int32_t b = 1;
            while ((int64_t{1} << b) <= width[static_cast<size_t>(k)]) b++;
            width[static_cast<size_t>(k)] = b;
            bits += b;
        }
        if (bits <= 64) {
            std::vector<std::pair<uint64_t, uint32_t>> keyed(u.terms());
            for (uint32_t i = 0; i < u.terms(); i++) {
                uint64_t key = 0;
                for (int32_t k = 1; k < n; k++)
                    key = (key << width[static_cast<size_t>(k)]) | static_cast<uint64_t>(u.exp(i)[k]);
                keyed[i] = {~key, i};
            }
            std::sort(keyed.begin(), keyed.end());
            for (size_t i = 0; i < keyed.size(); i++) order[i] = keyed[i].second;
        } else {
            for (uint32_t i = 0; i < order.size(); i++) order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
                return compare(u.exp(a) + 1, u.exp(b) + 1, n - 1) > 0;
            });
        }
    }
    for (size_t k = 0; k < order.size(); k++) {
        const int32_t* e = u.exp(order[k]);
        if (k == 0 || compare(e + 1, u.exp(order[k - 1]) + 1, n - 1) != 0) {
            r.rest.insert(r.rest.end(), e + 1, e + n);
            r.coef.emplace_back();
        }
        UPoly& c = r.coef.back();
        if (c.size() <= static_cast<size_t>(e[0])) c.resize(static_cast<size_t>(e[0]) + 1, 0);
        c[static_cast<size_t>(e[0])] = u.coefs[order[k]];
    }
    return r;
}

// Sums of this many products of residues fit 64 bits unreduced.
size_t lazy_run(const Field& F) {
    const uint64_t sq = static_cast<uint64_t>(F.p - 1) * (F.p - 1);
    const uint64_t n = sq == 0 ? 1 : ~static_cast<uint64_t>(0) / sq;
    return static_cast<size_t>(std::min<uint64_t>(n, 1u << 20));
}

// The operand with its inner variables at the values `at`: a dense
// polynomial in x.
UPoly inner_image(const Rec& r, const std::vector<uint32_t>& at, Ctx& cx) {
    const Field& F = cx.F;
    const int32_t m = r.m;
    std::vector<std::vector<uint32_t>> pw(static_cast<size_t>(m));
    for (size_t i = 0; i < r.size(); i++)
        for (int32_t k = 0; k < m; k++) {
            auto& w = pw[static_cast<size_t>(k)];
            const size_t e = static_cast<size_t>(r.mono(i)[k]);
            while (w.size() <= e) w.push_back(w.empty() ? 1 : F.mul(w.back(), at[static_cast<size_t>(k)]));
        }
    UPoly out;
    int64_t cost = 0;
    for (size_t i = 0; i < r.size(); i++) {
        uint32_t val = 1;
        for (int32_t k = 0; k < m; k++) val = F.mul(val, pw[static_cast<size_t>(k)][static_cast<size_t>(r.mono(i)[k])]);
        const UPoly& c = r.coef[i];
        if (out.size() < c.size()) out.resize(c.size(), 0);
        for (size_t k = 0; k < c.size(); k++) out[k] = F.add(out[k], F.mul(val, c[k]));
        cost += static_cast<int64_t>(c.size()) + m;
    }
    cx.spend(cost);
    trim(out);
    return out;
}

FlatPoly constant_poly(int32_t nvars, uint32_t c) {
    FlatPoly f;
    f.nvars = nvars;
    std::vector<int32_t> z(static_cast<size_t>(nvars), 0);
    f.push(z.data(), c);
    return f;
}

bool is_constant(const FlatPoly& f) { return f.terms() == 1 && all_zero(f.exp(0), f.nvars); }

// f times its leading coefficient's inverse.
void monic(FlatPoly& f, const Field& F) {
    if (f.coefs.empty() || f.coefs[0] == 1) return;
    const uint32_t s = F.inv(f.coefs[0]);
    for (uint32_t& c : f.coefs) c = F.mul(c, s);
}

// ---- Newton interpolation of the images ----

struct Newton {
    int32_t m = 0;
    std::vector<int32_t> monos;    // m per monomial, decreasing
    std::vector<UPoly> coef;       // the interpolant's coefficient per monomial
    UPoly Q{1};                    // product of (x - a) over the points
    std::vector<uint32_t> points;

    void reset() {
        monos.clear();
        coef.clear();
        Q = UPoly{1};
        points.clear();
    }

    // Takes the image at a.
    void add(uint32_t a, const FlatPoly& img, Ctx& cx) {
        const Field& F = cx.F;
        // Monomials of the image not met before join with zero coefficients.
        {
            std::vector<int32_t> merged;
            std::vector<UPoly> mc;
            size_t i = 0, j = 0;
            const size_t n = coef.size();
            bool fresh = false;
            while (i < n || j < img.terms()) {
                int c = i == n ? -1 : j == img.terms() ? 1 : compare(monos.data() + i * m, img.exp(j), m);
                if (c > 0) {
                    i++;
                } else if (c == 0) {
                    i++;
                    j++;
                } else {
                    fresh = true;
                    j++;
                }
            }
            if (fresh) {
                i = j = 0;
                while (i < n || j < img.terms()) {
                    int c = i == n ? -1 : j == img.terms() ? 1 : compare(monos.data() + i * m, img.exp(j), m);
                    if (c >= 0) {
                        merged.insert(merged.end(), monos.begin() + static_cast<long>(i * m),
                                      monos.begin() + static_cast<long>((i + 1) * m));
                        mc.push_back(std::move(coef[i]));
                        i++;
                        if (c == 0) j++;
                    } else {
                        merged.insert(merged.end(), img.exp(j), img.exp(j) + m);
                        mc.emplace_back();
                        j++;
                    }
                }
                monos.swap(merged);
                coef.swap(mc);
            }
        }
        const uint32_t qa = eval(Q, a, F);
        const uint32_t iq = F.inv(qa);
        size_t j = 0;
        cx.spend(static_cast<int64_t>(coef.size()) * static_cast<int64_t>(2 * Q.size() + 2));
        for (size_t i = 0; i < coef.size(); i++) {
            uint32_t val = 0;
            if (j < img.terms() && compare(monos.data() + i * m, img.exp(j), m) == 0) val = img.coefs[j++];
            const uint32_t d = F.sub(val, eval(coef[i], a, F));
            if (d == 0) continue;
            const uint32_t t = F.mul(d, iq);
            UPoly& c = coef[i];
            if (c.size() < Q.size()) c.resize(Q.size(), 0);
            for (size_t k = 0; k < Q.size(); k++) c[k] = F.add(c[k], F.mul(t, Q[k]));
            trim(c);
        }
        // Q := Q (x - a)
        Q.push_back(0);
        const uint32_t na = F.neg(a);
        for (size_t k = Q.size() - 1; k > 0; k--) Q[k] = F.add(Q[k - 1], F.mul(na, Q[k]));
        Q[0] = F.mul(na, Q[0]);
        points.push_back(a);
    }
};

// c (a polynomial in x alone) times the primitive interpolant, monic.
FlatPoly assemble(const Newton& N, const UPoly& c, int32_t nvars, Ctx& cx) {
    const Field& F = cx.F;
    std::vector<UPoly> coef;
    std::vector<int32_t> monos;
    for (size_t i = 0; i < N.coef.size(); i++) {
        if (N.coef[i].empty()) continue;
        coef.push_back(N.coef[i]);
        monos.insert(monos.end(), N.monos.begin() + static_cast<long>(i * N.m),
                     N.monos.begin() + static_cast<long>((i + 1) * N.m));
    }
    UPoly cont;
    for (const UPoly& k : coef) {
        cont = cont.empty() ? k : ugcd(cont, k, cx);
        if (cont.size() == 1) break;
    }
    for (UPoly& k : coef) {
        if (cont.size() > 1) k = exact_quotient(k, cont, cx);
        if (c.size() > 1) k = product(k, c, F);
    }
    struct Term {
        int32_t e0;
        size_t mono;
        uint32_t c;
    };
    std::vector<Term> terms;
    for (size_t i = 0; i < coef.size(); i++)
        for (size_t k = 0; k < coef[i].size(); k++)
            if (coef[i][k] != 0) terms.push_back({static_cast<int32_t>(k), i, coef[i][k]});
    const int32_t m = N.m;
    std::sort(terms.begin(), terms.end(), [&](const Term& a, const Term& b) {
        if (a.e0 != b.e0) return a.e0 > b.e0;
        return compare(monos.data() + a.mono * m, monos.data() + b.mono * m, m) > 0;
    });
    FlatPoly out;
    out.nvars = nvars;
    std::vector<int32_t> e(static_cast<size_t>(nvars));
    for (const Term& t : terms) {
        e[0] = t.e0;
        std::copy(monos.begin() + static_cast<long>(t.mono * m), monos.begin() + static_cast<long>((t.mono + 1) * m),
                  e.begin() + 1);
        out.push(e.data(), t.c);
    }
    monic(out, F);
    return out;
}

FlatPoly from_outer(const UPoly& c, int32_t nvars) {
    FlatPoly f;
    f.nvars = nvars;
    std::vector<int32_t> e(static_cast<size_t>(nvars), 0);
    for (int32_t k = deg(c); k >= 0; k--) {
        if (c[static_cast<size_t>(k)] == 0) continue;
        e[0] = k;
        f.push(e.data(), c[static_cast<size_t>(k)]);
    }
    return f;
}

// An operand at some level: dense in x alone, or split as a Rec.
struct Operand {
    int32_t n = 0;
    UPoly uni;   // n == 1
    Rec rec;     // n >= 2
    bool constant() const {
        if (n == 1) return uni.size() == 1;
        return rec.size() == 1 && rec.coef[0].size() == 1 && all_zero(rec.mono(0), rec.m);
    }
};

Operand operand_of(const FlatPoly& f) {
    Operand o;
    o.n = f.nvars;
    if (o.n == 1) {
        o.uni.assign(static_cast<size_t>(f.exp(0)[0]) + 1, 0);
        for (size_t i = 0; i < f.terms(); i++) o.uni[static_cast<size_t>(f.exp(i)[0])] = f.coefs[i];
    } else {
        o.rec = split_outer(f);
    }
    return o;
}

// Where the images of a Rec at x = a go in the next level's operand: the
// Rec's monomials (in the variables after x) regrouped by all but their
// first exponent, which becomes the dense direction. Made once per level,
// used for every point.
struct Layout {
    int32_t m = 0;                  // variables of the images
    std::vector<uint32_t> order;    // the Rec's monomials, by group
    std::vector<uint32_t> start;    // group k is order[start[k] .. start[k + 1])
    int32_t top = 0;                // largest first exponent
};

Layout layout_of(const Rec& r) {
    Layout L;
    L.m = r.m;
    L.order.resize(r.size());
    for (uint32_t i = 0; i < L.order.size(); i++) L.order[i] = i;
    for (size_t i = 0; i < r.size(); i++) L.top = std::max(L.top, r.mono(i)[0]);
    if (L.m == 1) return L;
    const int32_t m = L.m;
    // The exponents packed into one key, the first one lowest, when they
    // fit a word: then one integer sort.
    std::vector<int32_t> width(static_cast<size_t>(m), 1);
    int32_t bits = 0;
    for (int32_t k = 0; k < m; k++) {
        int32_t top = 0;
        for (size_t i = 0; i < r.size(); i++) top = std::max(top, r.mono(i)[k]);
        while ((int64_t{1} << width[static_cast<size_t>(k)]) <= top) width[static_cast<size_t>(k)]++;
        bits += width[static_cast<size_t>(k)];
    }
    if (bits <= 64) {
        std::vector<std::pair<uint64_t, uint32_t>> keyed(r.size());
        for (uint32_t i = 0; i < r.size(); i++) {
            uint64_t key = 0;
            for (int32_t k = 1; k < m; k++) key = (key << width[static_cast<size_t>(k)]) | static_cast<uint64_t>(r.mono(i)[k]);
            key = (key << width[0]) | static_cast<uint64_t>(r.mono(i)[0]);
            keyed[i] = {~key, i};
        }
        std::sort(keyed.begin(), keyed.end());
        for (uint32_t k = 0; k < keyed.size(); k++) {
            L.order[k] = keyed[k].second;
            if (k == 0 || (~keyed[k].first >> width[0]) != (~keyed[k - 1].first >> width[0])) L.start.push_back(k);
        }
    } else {
        std::sort(L.order.begin(), L.order.end(), [&](uint32_t a, uint32_t b) {
            const int c = compare(r.mono(a) + 1, r.mono(b) + 1, m - 1);
            if (c != 0) return c > 0;
            return r.mono(a)[0] > r.mono(b)[0];
        });
        for (uint32_t k = 0; k < L.order.size(); k++)
            if (k == 0 || compare(r.mono(L.order[k]) + 1, r.mono(L.order[k - 1]) + 1, m - 1) != 0) L.start.push_back(k);
    }
    L.start.push_back(static_cast<uint32_t>(L.order.size()));
    return L;
}

// The values of the Rec's coefficients at a, reductions deferred as long
// as the sums fit a word.
void values_at(const Rec& r, uint32_t a, std::vector<uint32_t>& val, Ctx& cx) {
    const Field& F = cx.F;
    size_t top = 0;
    for (const UPoly& c : r.coef) top = std::max(top, c.size());
    std::vector<uint32_t> pw(top, 1);
    for (size_t k = 1; k < top; k++) pw[k] = F.mul(pw[k - 1], a);
    const size_t run = lazy_run(F);
    val.resize(r.size());
    int64_t cost = 0;
    for (size_t i = 0; i < r.size(); i++) {
        const UPoly& c = r.coef[i];
        cost += static_cast<int64_t>(c.size());
        uint64_t acc = 0;
        size_t k = 0;
        while (k < c.size()) {
            const size_t end = std::min(c.size(), k + run - 1);
            for (; k < end; k++) acc += static_cast<uint64_t>(c[k]) * pw[k];
            acc = F.reduce(acc);
        }
        val[i] = static_cast<uint32_t>(acc);
    }
    cx.spend(cost);
}

Operand image_of(const Rec& r, const Layout& L, uint32_t a, Ctx& cx) {
    std::vector<uint32_t> val;
    values_at(r, a, val, cx);
    Operand o;
    o.n = L.m;
    if (L.m == 1) {
        o.uni.assign(static_cast<size_t>(L.top) + 1, 0);
        for (size_t i = 0; i < r.size(); i++) o.uni[static_cast<size_t>(r.mono(i)[0])] = val[i];
        trim(o.uni);
        return o;
    }
    Rec& c = o.rec;
    c.m = L.m - 1;
    for (size_t k = 0; k + 1 < L.start.size(); k++) {
        const uint32_t* first = L.order.data() + L.start[k];
        const uint32_t* last = L.order.data() + L.start[k + 1];
        UPoly q(static_cast<size_t>(r.mono(*first)[0]) + 1, 0);
        for (const uint32_t* i = first; i < last; i++) q[static_cast<size_t>(r.mono(*i)[0])] = val[*i];
        trim(q);
        if (q.empty()) continue;
        c.rest.insert(c.rest.end(), r.mono(*first) + 1, r.mono(*first) + L.m);
        c.coef.push_back(std::move(q));
    }
    return o;
}

// ---- sparse images: the support of the first image of a level is taken
// for all of them ----
//
// With z one variable of an image (the one asking for the fewest points)
// and y the others, an image
// H = sum_k z^k sum_{e in S_k} c_e y^e is fixed by its values at the points
// y = beta^i (i = 1 .. T, T the largest S_k): H(beta^i, z) is a multiple of
// the one-variable gcd at that point, and the coefficient of z^k gives the
// transposed Vandermonde system sum_e c_e r_e^i = w_i with r_e = beta^e. The
// multiple is known when some S_k is one monomial m: the one-variable gcd
// h_i scaled to r_m^i at z^k is H(beta^i, z) / c_m. Otherwise each h_i has
// an unknown multiplier l_i (l_1 = 1): the first |S_k| equations of a group
// give its c_e in terms of the l_i h_i, and the others become linear
// equations in the l_i alone, enough of them once the points number about
// |S| / (groups - 1). Spare equations check every system: a support that
// missed a term, an unlucky point and an unlucky first image all show as
// equations that fail (or as a gcd of the wrong degree), and the level goes
// back to dense images.

uint32_t power_of(uint32_t b, uint64_t e, const Field& F) {
    uint32_t r = 1;
    for (; e; e >>= 1, b = F.mul(b, b))
        if (e & 1) r = F.mul(r, b);
    return r;
}

// An operand's monomials ordered by their power of z, with beta^e for each
// and the quotient floor(beta^e 2^32 / p) that makes products by it cheap.
struct EvalPlan {
    std::vector<uint32_t> order;
    std::vector<uint32_t> zstart;   // power k: order[zstart[k] .. zstart[k + 1])
    std::vector<uint32_t> node, shoup;
};

// The monomials of an operand, m exponents each: a Rec's, or a FlatPoly's.
struct Monos {
    const int32_t* e;
    size_t count;
    int32_t m;
    const int32_t* mono(size_t i) const { return e + i * static_cast<size_t>(m); }
    size_t size() const { return count; }
};
Monos monos_of(const Rec& r) { return {r.rest.data(), r.size(), r.m}; }
Monos monos_of(const FlatPoly& f) { return {f.exps.data(), f.terms(), f.nvars}; }

struct SparseForm {
    bool ready = false;
    FlatPoly shape;                        // the first image: its terms give the support
    int32_t top = 0;                       // deg_z of the images
    size_t T = 0;                          // the largest group
    std::vector<std::vector<uint32_t>> group;   // term indices of shape per power of z
    std::vector<uint32_t> node;            // r_e per term of shape
    int32_t zpos = 0;                      // which variable of the images is z
    size_t count = 0;                      // points beta^1 .. beta^count
    int32_t norm = 0;                      // a power of z whose coefficient is one monomial m, or -1
    uint32_t norm_node = 0;                // r_m
    // Without such a power: per term of shape, where its group's rows of the
    // multipliers' equations start in `rel` ((count - s) rows of s, group
    // size s, for its first term).
    std::vector<size_t> rel_at;
    std::vector<uint32_t> rel;
    // Solver per term: the coefficients of prod_{f != e in its group} (Z - r_f)
    // (group size of them) and 1 / (r_e * that product at r_e).
    std::vector<size_t> solve_at;
    std::vector<uint32_t> solve_q;
    std::vector<uint32_t> solve_scale;
    EvalPlan pu, pv;                          // for the operands
};

// beta^e for the exponents of each monomial but the one at zpos.
void nodes_of(const int32_t* monos, size_t count, int32_t stride, int32_t zpos,
              const std::vector<std::vector<uint32_t>>& pw, std::vector<uint32_t>& out, const Field& F) {
    out.resize(count);
    for (size_t i = 0; i < count; i++) {
        const int32_t* e = monos + i * static_cast<size_t>(stride);
        uint32_t v = 1;
        for (int32_t k = 0; k < stride; k++)
            if (k != zpos) v = F.mul(v, pw[static_cast<size_t>(k)][static_cast<size_t>(e[k])]);
        out[i] = v;
    }
}

// How the images would be solved with z the variable at zpos: the group
// sizes per power of z and the points they need (0: not at all).
struct ZChoice {
    int32_t zpos = -1, top = 0, norm = -1;
    size_t T = 0, count = 0;
};

ZChoice weigh_z(const FlatPoly& ga, int32_t zpos) {
    ZChoice c;
    c.zpos = zpos;
    for (size_t j = 0; j < ga.terms(); j++) c.top = std::max(c.top, ga.exp(j)[zpos]);
    std::vector<size_t> size(static_cast<size_t>(c.top) + 1, 0);
    for (size_t j = 0; j < ga.terms(); j++) size[static_cast<size_t>(ga.exp(j)[zpos])]++;
    size_t groups = 0;
    for (int32_t k = c.top; k >= 0; k--) {
        const size_t sz = size[static_cast<size_t>(k)];
        c.T = std::max(c.T, sz);
        groups += sz != 0;
        // The leading coefficient in z is the likeliest single monomial.
        if (sz == 1 && c.norm < 0) c.norm = k;
    }
    // One group alone checks nothing that matters: its spare equations
    // hold for any multipliers, so a term the support lacks at that power
    // of z (or an image free of z altogether) would pass unseen. A second
    // group's equations depend on the multipliers and catch it.
    if (groups < 2) {
        c.count = 0;
        return c;
    }
    c.count = c.T + 1;
    if (c.norm < 0) {
        // Unknown multipliers: count - 1 of them, and every group gives
        // count - s equations; one spare at least.
        c.count = std::max(c.count, (ga.terms() + 2 + groups - 2) / (groups - 1));
    }
    return c;
}

// The form for images shaped like ga (monic, m = n - 1 >= 2 variables) of
// the operands ru, rv; false when sparse images do not apply or would not
// pay.
bool prepare_sparse(SparseForm& sf, const FlatPoly& ga, const Monos& ru, const Monos& rv, Ctx& cx) {
    const Field& F = cx.F;
    const int32_t m = ga.nvars;
    sf = SparseForm{};
    // z is the variable that asks for the fewest points.
    ZChoice best;
    for (int32_t k = m; k-- > 0;) {
        const ZChoice c = weigh_z(ga, k);
        if (c.count != 0 && (best.count == 0 || c.count < best.count)) best = c;
    }
    if (best.count == 0) return false;
    const int32_t zpos = best.zpos;
    sf.zpos = zpos;
    sf.top = best.top;
    sf.norm = best.norm;
    sf.T = best.T;
    sf.count = best.count;
    sf.group.assign(static_cast<size_t>(sf.top) + 1, {});
    for (uint32_t j = 0; j < ga.terms(); j++) sf.group[static_cast<size_t>(ga.exp(j)[zpos])].push_back(j);
    // An image costs the evaluations, a one-variable gcd and the systems:
    // when the points cannot pay within the budget, nothing is spent.
    {
        int32_t du = 0, dv = 0;
        for (size_t i = 0; i < ru.size(); i++) du = std::max(du, ru.mono(i)[zpos]);
        for (size_t i = 0; i < rv.size(); i++) dv = std::max(dv, rv.mono(i)[zpos]);
        double per_point = 2.0 * static_cast<double>(ru.size() + rv.size()) +
                           static_cast<double>(du + 1) * static_cast<double>(dv + 1) +
                           4.0 * static_cast<double>(ga.terms());
        // Unknown multipliers: an elimination on count unknowns per point.
        if (sf.norm < 0) per_point += static_cast<double>(sf.count) * static_cast<double>(sf.count);
        if (per_point * static_cast<double>(sf.count) > static_cast<double>(cx.work)) return false;
    }
    // Dense images cost about one one-variable gcd per point of the box of
    // the image's degrees in y; sparse ones `count`, each evaluating the
    // whole operands.
    if (cx.sparse == SparseUse::automatic) {
        double box = 1;
        std::vector<int32_t> dg(static_cast<size_t>(m), 0);
        for (size_t j = 0; j < ga.terms(); j++)
            for (int32_t k = 0; k < m; k++) dg[static_cast<size_t>(k)] = std::max(dg[static_cast<size_t>(k)], ga.exp(j)[k]);
        // The dense images keep the innermost variable for their own one-
        // variable gcds.
        for (int32_t k = 0; k + 1 < m; k++) box *= dg[static_cast<size_t>(k)] + 1;
        if (static_cast<double>(sf.count) > box) return false;
    }
    // Degrees of the operands and the image bound the powers of beta needed.
    std::vector<int32_t> dmax(static_cast<size_t>(m), 0);
    for (const Monos* r : {&ru, &rv})
        for (size_t i = 0; i < r->size(); i++)
            for (int32_t k = 0; k < m; k++)
                dmax[static_cast<size_t>(k)] = std::max(dmax[static_cast<size_t>(k)], r->mono(i)[k]);
    for (size_t j = 0; j < ga.terms(); j++)
        for (int32_t k = 0; k < m; k++) dmax[static_cast<size_t>(k)] = std::max(dmax[static_cast<size_t>(k)], ga.exp(j)[k]);
    for (int attempt = 0;; attempt++) {
        if (attempt == 4) return false;
        std::vector<std::vector<uint32_t>> pw(static_cast<size_t>(m));
        for (int32_t k = 0; k < m; k++) {
            if (k == zpos) continue;
            const uint32_t b = 2 + static_cast<uint32_t>(cx.next() % (F.p - 2));
            auto& w = pw[static_cast<size_t>(k)];
            w.resize(static_cast<size_t>(dmax[static_cast<size_t>(k)]) + 1);
            w[0] = 1;
            for (size_t e = 1; e < w.size(); e++) w[e] = F.mul(w[e - 1], b);
        }
        nodes_of(ga.exps.data(), ga.terms(), m, zpos, pw, sf.node, F);
        // The systems need distinct nodes within each group.
        bool distinct = true;
        for (const auto& g : sf.group) {
            std::vector<uint32_t> r;
            for (uint32_t j : g) r.push_back(sf.node[j]);
            std::sort(r.begin(), r.end());
            if (std::adjacent_find(r.begin(), r.end()) != r.end()) distinct = false;
        }
        if (!distinct) continue;
        for (auto [r, plan] : {std::pair<const Monos*, EvalPlan*>{&ru, &sf.pu}, {&rv, &sf.pv}}) {
            std::vector<uint32_t> nodes;
            nodes_of(r->e, r->size(), r->m, zpos, pw, nodes, F);
            int32_t wz = 0;
            for (size_t t = 0; t < r->size(); t++) wz = std::max(wz, r->mono(t)[zpos]);
            plan->zstart.assign(static_cast<size_t>(wz) + 2, 0);
            for (size_t t = 0; t < r->size(); t++) plan->zstart[static_cast<size_t>(r->mono(t)[zpos]) + 1]++;
            for (size_t k = 1; k < plan->zstart.size(); k++) plan->zstart[k] += plan->zstart[k - 1];
            std::vector<uint32_t> fill(plan->zstart.begin(), plan->zstart.end() - 1);
            plan->order.resize(r->size());
            for (uint32_t t = 0; t < r->size(); t++) plan->order[fill[static_cast<size_t>(r->mono(t)[zpos])]++] = t;
            plan->node.resize(r->size());
            plan->shoup.resize(r->size());
            for (size_t t = 0; t < r->size(); t++) {
                plan->node[t] = nodes[plan->order[t]];
                plan->shoup[t] = static_cast<uint32_t>((static_cast<uint64_t>(plan->node[t]) << 32) / F.p);
            }
        }
        break;
    }
    if (sf.norm >= 0) sf.norm_node = sf.node[sf.group[static_cast<size_t>(sf.norm)][0]];
    sf.solve_at.assign(ga.terms(), 0);
    sf.solve_scale.assign(ga.terms(), 0);
    sf.solve_q.clear();
    int64_t cost = 0;
    for (const auto& g : sf.group) {
        const size_t s = g.size();
        if (s == 0) continue;
        // P(Z) = prod (Z - r_e), lowest coefficient first.
        std::vector<uint32_t> P{1};
        for (uint32_t j : g) {
            P.push_back(0);
            const uint32_t nr = F.neg(sf.node[j]);
            for (size_t k = P.size() - 1; k > 0; k--) P[k] = F.add(P[k - 1], F.mul(nr, P[k]));
            P[0] = F.mul(nr, P[0]);
        }
        for (uint32_t j : g) {
            // P / (Z - r_e) by synthetic division, then its value at r_e.
            const uint32_t r = sf.node[j];
            sf.solve_at[j] = sf.solve_q.size();
            sf.solve_q.resize(sf.solve_q.size() + s);
            uint32_t* q = sf.solve_q.data() + sf.solve_at[j];
            uint32_t carry = 0;
            for (size_t k = s; k-- > 0;) {
                carry = F.add(P[k + 1], F.mul(carry, r));
                q[k] = carry;
            }
            uint32_t d = 0;
            for (size_t k = s; k-- > 0;) d = F.add(F.mul(d, r), q[k]);
            d = F.mul(d, r);
            if (d == 0) return false;
            sf.solve_scale[j] = F.inv(d);
        }
        cost += static_cast<int64_t>(s) * static_cast<int64_t>(s) * 3;
    }
    if (sf.norm < 0) {
        // Row i (s <= i < count) of a group: sum_e r_e^(i+1) c_e with each
        // c_e written through the first s points, sum_j rel[i - s][j] w_j.
        sf.rel_at.assign(ga.terms(), 0);
        for (const auto& g : sf.group) {
            const size_t sz = g.size();
            if (sz == 0) continue;
            sf.rel_at[g[0]] = sf.rel.size();
            cost += static_cast<int64_t>(sz * sz) * static_cast<int64_t>(sf.count - sz);
            if (cost > cx.work) break;
            sf.rel.resize(sf.rel.size() + (sf.count - sz) * sz, 0);
            std::vector<uint32_t> t(sz);
            for (size_t e = 0; e < sz; e++)
                t[e] = F.mul(sf.solve_scale[g[e]], power_of(sf.node[g[e]], sz, F));
            for (size_t i = sz; i < sf.count; i++) {
                uint32_t* row = sf.rel.data() + sf.rel_at[g[0]] + (i - sz) * sz;
                for (size_t e = 0; e < sz; e++) {
                    t[e] = F.mul(t[e], sf.node[g[e]]);
                    const uint32_t* q = sf.solve_q.data() + sf.solve_at[g[e]];
                    for (size_t j = 0; j < sz; j++) row[j] = F.add(row[j], F.mul(q[j], t[e]));
                }
            }
        }
    }
    if (!cx.spend(cost)) return false;
    sf.shape = ga;
    sf.ready = true;
    return true;
}

// c[t] := c[t] node[t] mod p for t < n, pre[t] = floor(node[t] 2^32 / p),
// and the sum of the new c[t] (unreduced: n < 2^32).
__attribute__((target_clones("avx2", "default"))) uint64_t advance_and_sum(
    uint32_t* __restrict c, const uint32_t* __restrict node, const uint32_t* __restrict pre, size_t n, uint64_t p) {
    uint64_t acc = 0;
    for (size_t t = 0; t < n; t++) {
        const uint64_t a = c[t];
        const uint64_t q = (a * pre[t]) >> 32;
        uint64_t v = a * node[t] - q * p;   // in [0, 2p)
        v -= v >= p ? p : 0;
        c[t] = static_cast<uint32_t>(v);
        acc += v;
    }
    return acc;
}

// The values at beta^i, i = 1 .. count, of the operand with x = a: dense
// polynomials in z, one after another, each `width` long. The monomials
// go by power of z, so each coefficient is one running sum, reduced once;
// each term's value is multiplied by its fixed node with a precomputed
// quotient (one word product for the quotient, one for the remainder).
void sparse_values(const std::vector<uint32_t>& val, const EvalPlan& plan, size_t count, size_t width,
                   std::vector<uint32_t>& out, Ctx& cx) {
    const Field& F = cx.F;
    const size_t n = plan.order.size();
    std::vector<uint32_t> cur(n);
    for (size_t t = 0; t < n; t++) cur[t] = val[plan.order[t]];
    out.assign(count * width, 0);
    for (size_t i = 0; i < count; i++) {
        uint32_t* o = out.data() + i * width;
        for (size_t k = 0; k + 1 < plan.zstart.size(); k++) {
            const size_t b = plan.zstart[k], e = plan.zstart[k + 1];
            o[k] = F.reduce(advance_and_sum(cur.data() + b, plan.node.data() + b, plan.shoup.data() + b, e - b, F.p));
        }
    }
    cx.spend(static_cast<int64_t>(count) * static_cast<int64_t>(n) * 2);
}

// The multipliers l_i of the one-variable gcds (w: coefficient of z^k at
// point i in w[k * count + i]) with l_1 = 1, from the groups' spare
// equations: sum_{j < s} rel[i - s][j] h_j l_j - h_i l_i = 0. Gauss-Jordan
// on the unknowns l_2 .. l_count, a row at a time, until they are fixed;
// false when they are not (or one is 0).
bool multipliers(const SparseForm& sf, const std::vector<uint32_t>& w, std::vector<uint32_t>& mult, Ctx& cx) {
    const Field& F = cx.F;
    const size_t n = sf.count;
    std::vector<std::vector<uint32_t>> basis;     // reduced rows, pivot entry 1
    std::vector<size_t> pivot;                    // their pivot columns (>= 1)
    std::vector<uint32_t> row(n);
    const size_t K = static_cast<size_t>(sf.top) + 1;
    int64_t cost = 0;
    for (size_t k = 0; k < K && basis.size() + 1 < n; k++) {
        const auto& g = sf.group[k];
        const size_t s = g.size();
        if (s == 0) continue;
        const uint32_t* h = w.data() + k * n;
        for (size_t i = s; i < n && basis.size() + 1 < n; i++) {
            std::fill(row.begin(), row.end(), 0);
            const uint32_t* rel = sf.rel.data() + sf.rel_at[g[0]] + (i - s) * s;
            for (size_t j = 0; j < s; j++) row[j] = F.mul(rel[j], h[j]);
            row[i] = F.sub(row[i], h[i]);
            for (size_t b = 0; b < basis.size(); b++) {
                const uint32_t f = row[pivot[b]];
                if (f == 0) continue;
                const uint32_t nf = F.neg(f);
                for (size_t c = 0; c < n; c++) row[c] = F.add(row[c], F.mul(nf, basis[b][c]));
            }
            cost += static_cast<int64_t>(basis.size() + 2) * static_cast<int64_t>(n);
            size_t pc = 1;
            while (pc < n && row[pc] == 0) pc++;
            if (pc == n) {
                if (row[0] != 0) return false;   // inconsistent
                continue;
            }
            const uint32_t inv = F.inv(row[pc]);
            for (uint32_t& c : row) c = F.mul(c, inv);
            for (size_t b = 0; b < basis.size(); b++) {
                const uint32_t f = basis[b][pc];
                if (f == 0) continue;
                const uint32_t nf = F.neg(f);
                for (size_t c = 0; c < n; c++) basis[b][c] = F.add(basis[b][c], F.mul(nf, row[c]));
            }
            basis.push_back(row);
            pivot.push_back(pc);
        }
        if (!cx.spend(cost)) return false;
        cost = 0;
    }
    if (basis.size() + 1 < n) return false;
    mult[0] = 1;
    for (size_t b = 0; b < basis.size(); b++) {
        // l_pc + basis[b][0] l_1 = 0, every other entry eliminated.
        mult[pivot[b]] = F.neg(basis[b][0]);
        if (mult[pivot[b]] == 0) return false;
    }
    return true;
}

// The monic image at x = a with the form's support; false when an equation
// fails or a one-variable gcd has the wrong degree.
// valu, valv: the operands' monomials' coefficients at the point (x = a).
bool sparse_image(const SparseForm& sf, const std::vector<uint32_t>& valu, const std::vector<uint32_t>& valv,
                  FlatPoly* out, Ctx& cx) {
    const Field& F = cx.F;
    const size_t count = sf.count;
    const size_t wu = sf.pu.zstart.size() - 2, wv = sf.pv.zstart.size() - 2;
    std::vector<uint32_t> U, V;
    sparse_values(valu, sf.pu, count, wu + 1, U, cx);
    sparse_values(valv, sf.pv, count, wv + 1, V, cx);
    // w[k * count + i - 1]: the coefficient of z^k at the i-th point.
    const size_t K = static_cast<size_t>(sf.top) + 1;
    // First the monic one-variable gcds, then their multipliers.
    std::vector<uint32_t> w(K * count, 0);
    for (size_t i = 0; i < count; i++) {
        UPoly ui(U.begin() + static_cast<long>(i * (wu + 1)), U.begin() + static_cast<long>((i + 1) * (wu + 1)));
        UPoly vi(V.begin() + static_cast<long>(i * (wv + 1)), V.begin() + static_cast<long>((i + 1) * (wv + 1)));
        trim(ui);
        trim(vi);
        const UPoly h = ugcd(std::move(ui), std::move(vi), cx);
        if (deg(h) != sf.top) return false;
        for (size_t k = 0; k < K; k++) w[k * count + i] = h[k];
    }
    std::vector<uint32_t> mult(count);
    if (sf.norm >= 0) {
        uint32_t scale = 1;
        for (size_t i = 0; i < count; i++) {
            scale = F.mul(scale, sf.norm_node);
            const uint32_t hn = w[static_cast<size_t>(sf.norm) * count + i];
            if (hn == 0) return false;
            mult[i] = F.mul(scale, F.inv(hn));
        }
    } else if (!multipliers(sf, w, mult, cx)) {
        return false;
    }
    for (size_t k = 0; k < K; k++)
        for (size_t i = 0; i < count; i++) w[k * count + i] = F.mul(w[k * count + i], mult[i]);
    std::vector<uint32_t> c(sf.shape.terms(), 0);
    int64_t cost = 0;
    for (size_t k = 0; k < K; k++) {
        const auto& g = sf.group[k];
        const uint32_t* wk = w.data() + k * count;
        const size_t s = g.size();
        for (uint32_t j : g) {
            const uint32_t* q = sf.solve_q.data() + sf.solve_at[j];
            uint64_t acc = 0;
            for (size_t i = 0; i < s; i++) acc = F.add(static_cast<uint32_t>(acc), F.mul(q[i], wk[i]));
            c[j] = F.mul(static_cast<uint32_t>(acc), sf.solve_scale[j]);
        }
        // The equations left over check the solution.
        std::vector<uint32_t> pw(s);
        for (size_t e = 0; e < s; e++) pw[e] = power_of(sf.node[g[e]], s, F);
        for (size_t i = s; i < count; i++) {
            uint32_t sum = 0;
            for (size_t e = 0; e < s; e++) {
                pw[e] = F.mul(pw[e], sf.node[g[e]]);
                sum = F.add(sum, F.mul(c[g[e]], pw[e]));
            }
            if (sum != wk[i]) return false;
        }
        cost += static_cast<int64_t>(s) * static_cast<int64_t>(count) * 2;
    }
    if (!cx.spend(cost)) return false;
    const uint32_t lc = c[0];
    if (lc == 0) return false;
    const uint32_t il = F.inv(lc);
    out->nvars = sf.shape.nvars;
    out->exps.clear();
    out->coefs.clear();
    for (size_t j = 0; j < c.size(); j++)
        if (c[j] != 0) out->push(sf.shape.exp(j), F.mul(c[j], il));
    return true;
}

bool gcd_core(Operand& u, Operand& v, FlatPoly* g, Ctx& cx) {
    const int32_t n = u.n;
    if (u.constant() || v.constant()) {
        *g = constant_poly(n, 1);
        return true;
    }
    if (n == 1) {
        UPoly r = ugcd(std::move(u.uni), std::move(v.uni), cx);
        g->nvars = 1;
        g->exps.clear();
        g->coefs.clear();
        for (int32_t k = deg(r); k >= 0; k--)
            if (r[static_cast<size_t>(k)] != 0) g->push(&k, r[static_cast<size_t>(k)]);
        return cx.failure == Outcome::ok;
    }
    const Field& F = cx.F;
    Rec& ru = u.rec;
    Rec& rv = v.rec;
    if (ru.size() == 0 || rv.size() == 0) {
        cx.failure = Outcome::unlucky;
        return false;
    }

    // Contents in x.
    auto content = [&](const Rec& r) {
        UPoly c = r.coef[0];
        for (size_t i = 1; i < r.size() && c.size() > 1; i++) c = ugcd(c, r.coef[i], cx);
        make_monic(c, F);
        return c;
    };
    const UPoly cu = content(ru), cv = content(rv);
    const UPoly c = ugcd(cu, cv, cx);
    for (auto [r, k] : {std::pair<Rec*, const UPoly*>{&ru, &cu}, {&rv, &cv}})
        if (k->size() > 1)
            for (UPoly& q : r->coef) q = exact_quotient(q, *k, cx);
    if (cx.failure != Outcome::ok) return false;
    // A primitive part free of the inner variables is 1.
    if ((ru.size() == 1 && all_zero(ru.mono(0), ru.m)) || (rv.size() == 1 && all_zero(rv.mono(0), rv.m))) {
        *g = from_outer(c, n);
        monic(*g, F);
        return true;
    }

    const UPoly& lu = ru.coef[0];
    const UPoly& lv = rv.coef[0];
    const UPoly gamma = ugcd(lu, lv, cx);
    int32_t dxu = 0, dxv = 0;
    for (const UPoly& q : ru.coef) dxu = std::max(dxu, deg(q));
    for (const UPoly& q : rv.coef) dxv = std::max(dxv, deg(q));
    // Points enough to interpolate G: the gcd's degree in x is at most that
    // of the gcd of the operands with the inner variables at a random point
    // (when their degrees in x are kept there).
    int32_t dx = std::min(dxu, dxv);
    {
        std::vector<uint32_t> at(static_cast<size_t>(n - 1));
        for (uint32_t& b : at) b = 1 + static_cast<uint32_t>(cx.next() % (F.p - 1));
        UPoly iu = inner_image(ru, at, cx), iv = inner_image(rv, at, cx);
        if (deg(iu) == dxu && deg(iv) == dxv) dx = std::min(dx, deg(ugcd(std::move(iu), std::move(iv), cx)));
    }
    const size_t need = static_cast<size_t>(dx + deg(gamma) + 1);
    // Small fields run out of good points; the general road handles them.
    if (8 * need + 64 >= F.p) {
        cx.failure = Outcome::no_points;
        return false;
    }

    const Layout Lu = layout_of(ru), Lv = layout_of(rv);
    Newton N;
    N.m = n - 1;
    std::vector<int32_t> lead;
    std::unordered_set<uint32_t> used;
    size_t unlucky = 0, draws = 0;
    SparseForm sf;
    bool sparse_off = false;
    while (true) {
        // Everything here is the routine's own: a safe point.
        poll_interrupt();
        if (++draws > 4 * need + 64 || used.size() + 2 >= F.p) {
            cx.failure = Outcome::no_points;
            return false;
        }
        const uint32_t a = 1 + static_cast<uint32_t>(cx.next() % (F.p - 1));
        if (!used.insert(a).second) continue;
        if (eval(lu, a, F) == 0 || eval(lv, a, F) == 0) continue;
        FlatPoly ga;
        bool solved = false;
        if (sf.ready) {
            std::vector<uint32_t> valu, valv;
            values_at(ru, a, valu, cx);
            values_at(rv, a, valv, cx);
            solved = sparse_image(sf, valu, valv, &ga, cx);
            if (cx.failure != Outcome::ok) return false;
            cx.counts.sparse_images += solved;
            cx.counts.scaled_images += solved && sf.norm < 0;
            if (!solved) {
                cx.counts.sparse_failures++;
                // The support was wrong, or a point was unlucky: the level
                // starts over on dense images, this point the first.
                sf.ready = false;
                sparse_off = true;
                N.reset();
            }
        }
        if (!solved) {
            Operand ua = image_of(ru, Lu, a, cx), va = image_of(rv, Lv, a, cx);
            if (!gcd_core(ua, va, &ga, cx)) return false;
            if (is_constant(ga)) {
                *g = from_outer(c, n);
                monic(*g, F);
                return true;
            }
            if (!N.points.empty()) {
                const int cmp = compare(ga.exp(0), lead.data(), n - 1);
                if (cmp > 0) {
                    if (++unlucky > need + 8) {
                        cx.failure = Outcome::unlucky;
                        return false;
                    }
                    continue;
                }
                if (cmp < 0) N.reset();
            }
            lead.assign(ga.exp(0), ga.exp(0) + (n - 1));
            if (N.points.empty() && !sparse_off && n >= 3 && need > 1 && cx.sparse != SparseUse::never) {
                if (!prepare_sparse(sf, ga, monos_of(ru), monos_of(rv), cx)) sparse_off = true;
                if (cx.failure != Outcome::ok) return false;
            }
        }
        const uint32_t s = eval(gamma, a, F);
        for (uint32_t& k : ga.coefs) k = F.mul(k, s);
        // No early stop on a point that leaves G unchanged: it agrees by
        // chance once in about p tries, and thousands of nested calls make
        // that frequent in the smaller fields. The bound is tight anyway.
        N.add(a, ga, cx);
        if (cx.failure != Outcome::ok) return false;
        if (N.points.size() >= need) break;
    }
    *g = assemble(N, c, n, cx);
    return cx.failure == Outcome::ok;
}

}  // namespace

namespace {

// f without the exponents at the positions not kept (all zero there).
FlatPoly drop_unused(const FlatPoly& f, const std::vector<int32_t>& keep) {
    FlatPoly r;
    r.nvars = static_cast<int32_t>(keep.size());
    r.coefs = f.coefs;
    r.exps.reserve(f.terms() * keep.size());
    for (size_t i = 0; i < f.terms(); i++)
        for (int32_t k : keep) r.exps.push_back(f.exp(i)[k]);
    return r;
}

}  // namespace

int64_t dense_work(const FlatPoly& u, const FlatPoly& v) {
    const int32_t n = u.nvars;
    if (n < 1 || v.nvars != n) return 0;
    std::vector<int64_t> du(static_cast<size_t>(n), 0), dv(static_cast<size_t>(n), 0);
    for (auto [f, d] : {std::pair<const FlatPoly*, std::vector<int64_t>*>{&u, &du}, {&v, &dv}})
        for (size_t i = 0; i < f->terms(); i++)
            for (int32_t k = 0; k < n; k++)
                (*d)[static_cast<size_t>(k)] = std::max<int64_t>((*d)[static_cast<size_t>(k)], f->exp(i)[k]);
    constexpr int64_t cap = int64_t{1} << 50;
    const size_t in = static_cast<size_t>(n - 1);
    int64_t w = (du[in] + 1) * (dv[in] + 1) + static_cast<int64_t>(u.terms() + v.terms());
    for (size_t k = in; k-- > 0;) {
        const int64_t points = std::min(du[k], dv[k]) + 1;
        w = w > cap / points ? cap : w * points;
    }
    return w;
}

Outcome gcd(const FlatPoly& u, const FlatPoly& v, const Field& F, FlatPoly* g, Limits limits) {
    Ctx cx(F, limits);
    if (u.terms() == 0 || v.terms() == 0 || u.nvars != v.nvars || u.nvars < 1) return Outcome::unlucky;
    // Variables in neither operand are left out: each would cost a level
    // of one point, and an absent innermost one leaves the support road no
    // variable to solve in. Dropping zero columns keeps the term order.
    std::vector<int32_t> keep;
    for (int32_t k = 0; k < u.nvars; k++) {
        bool used = false;
        for (const FlatPoly* f : {&u, &v})
            for (size_t i = 0; i < f->terms() && !used; i++) used = f->exp(i)[k] != 0;
        if (used) keep.push_back(k);
    }
    if (!keep.empty() && static_cast<int32_t>(keep.size()) < u.nvars) {
        FlatPoly h;
        const Outcome o = gcd(drop_unused(u, keep), drop_unused(v, keep), F, &h, limits);
        if (o != Outcome::ok) return o;
        g->nvars = u.nvars;
        g->coefs = std::move(h.coefs);
        g->exps.assign(g->coefs.size() * static_cast<size_t>(u.nvars), 0);
        for (size_t i = 0; i < g->coefs.size(); i++)
            for (size_t k = 0; k < keep.size(); k++)
                g->exps[i * static_cast<size_t>(u.nvars) + static_cast<size_t>(keep[k])] = h.exp(i)[k];
        return Outcome::ok;
    }
    Operand ou = operand_of(u), ov = operand_of(v);
    const bool ok = gcd_core(ou, ov, g, cx);
    if (limits.counts) {
        limits.counts->work += limits.work - cx.work;
        limits.counts->sparse_images += cx.counts.sparse_images;
        limits.counts->sparse_failures += cx.counts.sparse_failures;
        limits.counts->scaled_images += cx.counts.scaled_images;
    }
    if (!ok) return cx.failure == Outcome::ok ? Outcome::unlucky : cx.failure;
    return Outcome::ok;
}

Outcome gcd_like(const FlatPoly& u, const FlatPoly& v, const FlatPoly& shape, const Field& F, FlatPoly* g,
                 Limits limits) {
    const int32_t n = u.nvars;
    if (u.terms() == 0 || v.terms() == 0 || shape.terms() == 0 || v.nvars != n || shape.nvars != n || n < 2)
        return Outcome::unlucky;
    Ctx cx(F, limits);
    cx.sparse = SparseUse::always;
    FlatPoly monic_shape = shape;
    monic(monic_shape, F);
    SparseForm sf;
    // Every variable is one of the images': the operands are their
    // monomials over all of them, with constant coefficients.
    if (!prepare_sparse(sf, monic_shape, monos_of(u), monos_of(v), cx))
        return cx.failure == Outcome::ok ? Outcome::unlucky : cx.failure;
    const bool ok = sparse_image(sf, u.coefs, v.coefs, g, cx);
    if (limits.counts) {
        limits.counts->work += limits.work - cx.work;
        limits.counts->sparse_images += ok;
        limits.counts->scaled_images += ok && sf.norm < 0;
        limits.counts->sparse_failures += !ok;
    }
    if (!ok) return cx.failure == Outcome::ok ? Outcome::unlucky : cx.failure;
    return Outcome::ok;
}

}  // namespace flatgcd

// ---------------------------------------------------------------- polynode bridge

namespace {

// The numbers are residues (their value words), or with `digits` integers
// read off their digit chains and reduced.
bool flatten_into(const polynode* p, size_t idx, std::vector<int32_t>& cur, flatgcd::FlatPoly* out, uint32_t mod,
                  bool digits) {
    for (const polynode* t = p; t; t = t->next) {
        if (t->exp < 0) return false;
        if (t->numb) {
            std::fill(cur.begin() + static_cast<long>(idx), cur.end(), 0);
            int64_t c = digits ? chain_residue(t->ncoef, static_cast<int32_t>(mod))
                               : t->ncoef->value % static_cast<int64_t>(mod);
            if (c < 0) c += mod;
            if (c != 0) out->push(cur.data(), static_cast<uint32_t>(c));
        } else {
            if (idx >= cur.size()) return false;
            cur[idx] = t->exp;
            if (!flatten_into(t->pcoef, idx + 1, cur, out, mod, digits)) return false;
        }
    }
    return true;
}

polynode* number_poly(uint32_t c) {
    polynode* n = nullptr;
    poly_set(static_cast<int32_t>(c), &n);
    return n;
}

}  // namespace

bool flatten_residues(const polynode* p, pt* rec, flatgcd::FlatPoly* out) {
    flatgcd::FlatPoly f;
    f.nvars = levels_from(rec);
    std::vector<int32_t> cur(static_cast<size_t>(f.nvars), 0);
    if (!flatten_into(p, 0, cur, &f, static_cast<uint32_t>(modulus), false)) return false;
    *out = std::move(f);
    return true;
}

bool flatten_integers(const polynode* p, pt* rec, uint32_t q, flatgcd::FlatPoly* out) {
    flatgcd::FlatPoly f;
    f.nvars = levels_from(rec);
    std::vector<int32_t> cur(static_cast<size_t>(f.nvars), 0);
    if (!flatten_into(p, 0, cur, &f, q, true)) return false;
    *out = std::move(f);
    return true;
}

polynode* poly_from_flat(const flatgcd::FlatPoly& f) {
    return poly_from_terms(f.exps.data(), f.terms(), f.nvars, [&](size_t i) { return number_poly(f.coefs[i]); });
}

flatgcd::SparseUse flat_sparse_use = flatgcd::SparseUse::automatic;

// The routine's one-variable gcds are plain Euclid: long ones belong to
// the half-gcd of the general road.
bool flat_too_long(const flatgcd::FlatPoly& f) {
    for (int32_t e : f.exps)
        if (e > 2000) return true;
    return false;
}

int flat_integer_image(polynode* u, polynode* v, int32_t p, pt* rec, const flatgcd::FlatPoly* shape, int64_t budget,
                       flatgcd::FlatPoly* g, int64_t* spent) {
    if (modularmode || lintmode || field_depth != 0 || laurent || p < 1024 || !rec || relation_inward(rec)) return 0;
    if (shape && flat_sparse_use == flatgcd::SparseUse::never) return 0;
    flatgcd::FlatPoly fu, fv;
    for (auto [src, dst] : {std::pair<polynode*, flatgcd::FlatPoly*>{u, &fu}, {v, &fv}}) {
        if (!flatten_integers(src, rec, static_cast<uint32_t>(p), dst)) return 0;
        if (dst->terms() == 0 || flat_too_long(*dst)) return 0;
    }
    if (shape && shape->nvars != fu.nvars) return 0;
    const flatgcd::Field F(static_cast<uint32_t>(p));
    flatgcd::Limits limits;
    limits.seed = static_cast<uint64_t>(rand_integer3());
    limits.work = 100000000 + 4000 * static_cast<int64_t>(fu.terms() + fv.terms());
    if (shape && budget > 0) limits.work = budget;
    limits.sparse = flat_sparse_use;
    flatgcd::Counts counts;
    limits.counts = &counts;
    const flatgcd::Outcome o = shape ? flatgcd::gcd_like(fu, fv, *shape, F, g, limits) : flatgcd::gcd(fu, fv, F, g, limits);
    if (spent) *spent = counts.work;
    return o == flatgcd::Outcome::ok ? 1 : 0;
}

int flat_mod_gcd(polynode* u, polynode* v, polynode** result, pt* rec) {
    if (!modularmode || !mod_is_prime || finf || field_depth != 0 || laurent || modulus < 1024) return 0;
    if (relation_inward(rec)) return 0;
    flatgcd::FlatPoly fu, fv;
    if (!flatten_residues(u, rec, &fu) || !flatten_residues(v, rec, &fv)) return 0;
    if (fu.terms() == 0 || fv.terms() == 0 || flat_too_long(fu) || flat_too_long(fv)) return 0;
    flatgcd::Field F(static_cast<uint32_t>(modulus));
    flatgcd::Limits limits;
    limits.seed = static_cast<uint64_t>(rand_integer3());
    limits.work = 100000000 + 4000 * static_cast<int64_t>(fu.terms() + fv.terms());
    limits.sparse = flat_sparse_use;
    flatgcd::FlatPoly g;
    if (flatgcd::gcd(fu, fv, F, &g, limits) != flatgcd::Outcome::ok) return 0;
    free_poly(result);
    *result = poly_from_flat(g);
    return 1;
}
