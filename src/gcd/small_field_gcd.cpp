// Multivariate gcd modulo a small prime in an extension field: see
// small_field_gcd.h.
//
// A polynomial in the variables k .. n - 1 (level k) is a list of columns:
// for each monomial in the inner variables present, by its index in the
// box of the degrees (extents shared by the whole call, so that the index
// orders the monomials lexicographically), its coefficient as a dense
// polynomial in x_k. Only the terms present are stored: the box may run
// to billions of entries. At level k the contents in x_k (one-variable gcds of the columns) are
// split off; the images of the primitive parts at x_k = a, for points where
// neither leading coefficient (the column of the leading inner monomial)
// vanishes, have monic gcds that are scaled to gamma(a), gamma the gcd of
// those leading coefficients, and interpolated in Newton form. An image
// whose leading monomial is larger than another's has picked up a spurious
// factor and is dropped; a smaller one shows that every earlier image had.
// No image comes out below the true degree, so a candidate that divides
// both operands is the gcd. The points needed come from the degree of the
// gcd of images at a random point of the inner variables; after a first
// image, the others are solved on its support where that is cheaper than
// the recursion.
#include "gcd/small_field_gcd.h"

#include <algorithm>
#include <tuple>
#include <unordered_set>
#include <utility>

#include "gcd/flat_modgcd.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/small_field_tower.h"
#include "gcd/split_images.h"
#include "gcd/trialdiv.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace smallgcd {

namespace {

// Digit vectors modulo p and a monic f of degree k (x^k = -(f[k-1] x^(k-1)
// + ... + f[0])): a * b reduced.
std::vector<uint32_t> mulmod(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b,
                             const std::vector<uint32_t>& f, uint32_t p) {
    const size_t k = f.size();
    std::vector<uint64_t> c(2 * k - 1, 0);
    for (size_t i = 0; i < k; i++)
        for (size_t j = 0; j < k; j++) c[i + j] = (c[i + j] + static_cast<uint64_t>(a[i]) * b[j]) % p;
    for (size_t e = 2 * k - 1; e-- > k;)
        for (size_t j = 0; j < k; j++) c[e - k + j] = (c[e - k + j] + (p - f[j]) * c[e]) % p;
    return std::vector<uint32_t>(c.begin(), c.begin() + static_cast<long>(k));
}

std::vector<uint32_t> x_power(uint64_t n, const std::vector<uint32_t>& f, uint32_t p) {
    const size_t k = f.size();
    std::vector<uint32_t> r(k, 0), b(k, 0);
    r[0] = 1;
    if (k == 1) {
        b[0] = (p - f[0]) % p;
    } else {
        b[1] = 1;
    }
    for (; n; n >>= 1) {
        if (n & 1) r = mulmod(r, b, f, p);
        b = mulmod(b, b, f, p);
    }
    return r;
}

}  // namespace

ExtField make_field(uint32_t p, uint32_t at_least) {
    uint32_t k = 1;
    for (uint64_t q = p; q < at_least && q * p <= FIELD_LIMIT; q *= p) k++;
    return make_field_of_degree(p, k);
}

ExtField make_field_of_degree(uint32_t p, uint32_t k) {
    ExtField F;
    F.p = p;
    F.base = p;
    F.k = k;
    F.q = 1;
    for (uint32_t i = 0; i < k; i++) F.q *= p;
    const uint32_t q = static_cast<uint32_t>(F.q);
    std::vector<uint32_t> primes;
    for (uint32_t m = q - 1, r = 2; m > 1; r++) {
        if (static_cast<uint64_t>(r) * r > m) r = m;
        if (m % r) continue;
        primes.push_back(r);
        while (m % r == 0) m /= r;
    }
    // x has order q - 1 modulo f only when f is irreducible (else fewer
    // than q - 1 residues are units) and x is then a primitive element.
    std::vector<uint32_t> f(k, 0), one(k, 0);
    one[0] = 1;
    for (;;) {
        for (uint32_t i = 0; i < k; i++) {
            if (++f[i] < p) break;
            f[i] = 0;
        }
        if (f[0] == 0 || x_power(q - 1, f, p) != one) continue;
        bool primitive = true;
        for (uint32_t r : primes) primitive = primitive && x_power((q - 1) / r, f, p) != one;
        if (primitive) break;
    }
    F.exp.assign(2 * static_cast<size_t>(q - 1), 0);
    F.log.assign(q, 0);
    std::vector<uint32_t> d(k, 0);
    d[0] = 1;
    for (uint32_t i = 0; i < q - 1; i++) {
        uint32_t code = 0;
        for (uint32_t j = k; j-- > 0;) code = code * p + d[j];
        F.exp[i] = F.exp[i + q - 1] = code;
        F.log[code] = i;
        const uint32_t top = d[k - 1];
        for (uint32_t j = k - 1; j > 0; j--) d[j] = (d[j - 1] + p - top * f[j] % p) % p;
        d[0] = (p - top * f[0] % p) % p;
    }
    F.minus_one = p == 2 ? 0 : (q - 1) / 2;
    F.zech.assign(q - 1, ExtField::none);
    for (uint32_t i = 0; i < q - 1; i++) {
        const uint32_t c = F.exp[i], low = c % p;
        const uint32_t c1 = c - low + (low + 1) % p;
        if (c1) F.zech[i] = F.log[c1];
    }
    return F;
}

ExtField gf2t16_field() {
    ExtField F;
    F.p = 2;
    F.k = 16;
    F.q = 65536;
    F.base = 256;
    F.exp.resize(2 * 65535);
    F.log.assign(f2t16log, f2t16log + 65536);
    for (uint32_t i = 0; i < 65535; i++) F.exp[i] = F.exp[i + 65535] = f2t16exp[i];
    return F;
}

}  // namespace smallgcd

namespace {

using smallgcd::Code;
using smallgcd::ExtField;
using Vec = std::vector<Code>;

constexpr size_t NONE = ~static_cast<size_t>(0);

// A polynomial at level k: for each inner monomial present (by increasing
// index), its one-variable coefficient in x_k, constant first, non-zero.
struct Cols {
    std::vector<size_t> idx;
    std::vector<Vec> col;
    size_t size() const { return idx.size(); }
};

// Values at inner monomials, by increasing index: an image at x_k = a.
struct Row {
    std::vector<size_t> idx;
    Vec val;
};

struct Call {
    const ExtField& F;
    std::vector<size_t> below;    // below[k]: the index step of x_k
    std::vector<int32_t> extent;  // the exponents of x_k are below extent[k]
    uint64_t rng;
    int64_t work;
    Code point() {
        uint64_t z = (rng += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<Code>((z ^ (z >> 31)) % F.q);
    }
    bool spend(size_t n) {
        work -= static_cast<int64_t>(n) + 1;
        return work >= 0;
    }
};

// ---- one variable: coefficients from the constant up, no trailing zeros

void trim(Vec& a) {
    while (!a.empty() && a.back() == 0) a.pop_back();
}

int32_t degree_of(const Vec& a) { return static_cast<int32_t>(a.size()) - 1; }

// The columns that stay non-zero once trimmed; a solved image leaves zeros
// where the support it was solved on has no term.
Cols without_empty_columns(Cols out) {
    Cols kept;
    for (size_t i = 0; i < out.size(); i++) {
        trim(out.col[i]);
        if (out.col[i].empty()) continue;
        kept.idx.push_back(out.idx[i]);
        kept.col.push_back(std::move(out.col[i]));
    }
    return kept;
}

Code value_at(const ExtField& F, const Vec& a, Code x) {
    if (a.empty()) return 0;
    if (!x) return a[0];
    if (F.wide) {
        Code r = a.back();
        for (size_t i = a.size() - 1; i-- > 0;) r = F.add(F.mul(r, x), a[i]);
        return r;
    }
    // Most of the time goes here: x's logarithm is looked up once.
    const uint32_t lx = F.log[x];
    Code r = a.back();
    for (size_t i = a.size() - 1; i-- > 0;) r = F.add(r ? F.exp[F.log[r] + lx] : 0, a[i]);
    return r;
}

void make_monic(const ExtField& F, Vec& a) {
    if (a.empty() || a.back() == 1) return;
    const Code s = F.inv(a.back());
    for (Code& c : a) c = F.mul(c, s);
}

// a := a mod b; with q, the quotient too (b non-zero).
void divide(const ExtField& F, Vec& a, const Vec& b, Vec* q) {
    const size_t db = b.size() - 1;
    if (q) q->assign(a.size() >= b.size() ? a.size() - db : 0, 0);
    if (a.size() < b.size()) return;
    const Code s = F.inv(b.back());
    for (size_t i = a.size(); i-- > db;) {
        const Code t = F.mul(a[i], s);
        if (!t) continue;
        if (q) (*q)[i - db] = t;
        for (size_t j = 0; j <= db; j++) a[i - db + j] = F.sub(a[i - db + j], F.mul(t, b[j]));
    }
    a.resize(db);
    trim(a);
}

// The monic gcd (empty for two zeros).
Vec gcd1(const ExtField& F, Vec a, Vec b) {
    trim(a);
    trim(b);
    while (!b.empty()) {
        divide(F, a, b, nullptr);
        std::swap(a, b);
    }
    make_monic(F, a);
    return a;
}

Vec product1(const ExtField& F, const Vec& a, const Vec& b) {
    if (a.empty() || b.empty()) return {};
    Vec r(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        if (a[i])
            for (size_t j = 0; j < b.size(); j++) r[i + j] = F.add(r[i + j], F.mul(a[i], b[j]));
    return r;
}

// ---- level k

size_t entries(const Cols& A) {
    size_t n = 0;
    for (const Vec& c : A.col) n += c.size();
    return n;
}

// The one-variable c (non-zero) as a polynomial at level k.
Cols content_cols(const Vec& c) {
    Cols r;
    r.idx.push_back(0);
    r.col.push_back(c);
    return r;
}

// The monic gcd of the columns.
Vec content_of(Call& cx, const Cols& A) {
    Vec g;
    for (const Vec& c : A.col) {
        cx.spend(c.size() * (g.size() + 1));
        if (g.empty()) {
            g = c;
            make_monic(cx.F, g);
        } else {
            g = gcd1(cx.F, std::move(g), c);
        }
        if (g.size() == 1) break;
    }
    return g;
}

// A divided by the one-variable c column by column (c divides every column).
Cols divide_columns(Call& cx, Cols A, const Vec& c) {
    if (c.size() <= 1) return A;
    for (Vec& col : A.col) {
        Vec q;
        cx.spend(col.size() * c.size());
        divide(cx.F, col, c, &q);
        col = std::move(q);
    }
    return A;
}

Cols times_column(Call& cx, Cols A, const Vec& c) {
    if (c.size() <= 1) return A;
    for (Vec& col : A.col) {
        cx.spend(col.size() * c.size());
        col = product1(cx.F, col, c);
    }
    return A;
}

// A at x_k = a.
Row at_point(Call& cx, const Cols& A, Code a) {
    Row r;
    cx.spend(entries(A));
    for (size_t i = 0; i < A.size(); i++) {
        const Code v = value_at(cx.F, A.col[i], a);
        if (!v) continue;
        r.idx.push_back(A.idx[i]);
        r.val.push_back(v);
    }
    return r;
}

// An image at level k as a polynomial at level k + 1, whose variable steps
// the index by S.
Cols one_level_in(const Row& r, size_t S) {
    std::vector<std::pair<size_t, size_t>> order(r.idx.size());   // (inner index, entry)
    for (size_t i = 0; i < r.idx.size(); i++) order[i] = {r.idx[i] % S, i};
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Cols c;
    for (const auto& [m, i] : order) {
        if (c.idx.empty() || c.idx.back() != m) {
            c.idx.push_back(m);
            c.col.emplace_back();
        }
        Vec& col = c.col.back();
        const size_t e = r.idx[i] / S;
        if (col.size() <= e) col.resize(e + 1, 0);
        col[e] = r.val[i];
    }
    return c;
}

// The other way: a polynomial at level k + 1 as values at the inner
// monomials of level k.
Row one_level_out(const Cols& G, size_t S) {
    std::vector<std::pair<size_t, Code>> t;
    for (size_t i = 0; i < G.size(); i++)
        for (size_t e = 0; e < G.col[i].size(); e++)
            if (G.col[i][e]) t.push_back({e * S + G.idx[i], G.col[i][e]});
    std::sort(t.begin(), t.end());
    Row r;
    for (const auto& [m, v] : t) {
        r.idx.push_back(m);
        r.val.push_back(v);
    }
    return r;
}

// The column of the lexicographically leading term (highest power of x_k,
// then highest inner monomial); A non-zero.
size_t lead_column(const Cols& A) {
    size_t best = 0;
    for (size_t i = 1; i < A.size(); i++)
        if (A.col[i].size() >= A.col[best].size()) best = i;
    return best;
}

void make_monic_cols(const ExtField& F, Cols& A) {
    const Vec& l = A.col[lead_column(A)];
    if (l.back() == 1) return;
    const Code s = F.inv(l.back());
    for (Vec& col : A.col)
        for (Code& c : col) c = F.mul(c, s);
}

// The values of A's and B's columns at a random point of the inner
// variables, as polynomials in x_k.
void inner_images(Call& cx, size_t k, const Cols& A, const Cols& B, Vec* a, Vec* b) {
    const ExtField& F = cx.F;
    const size_t n = cx.below.size();
    std::vector<Vec> pw(n);
    for (size_t j = k + 1; j < n; j++) {
        const Code z = cx.point();
        pw[j].assign(static_cast<size_t>(cx.extent[j]), 1);
        for (size_t e = 1; e < pw[j].size(); e++) pw[j][e] = F.mul(pw[j][e - 1], z);
    }
    for (auto [P, out] : {std::pair<const Cols*, Vec*>{&A, a}, {&B, b}}) {
        out->clear();
        cx.spend(entries(*P) + P->size() * n);
        for (size_t i = 0; i < P->size(); i++) {
            Code m = 1;
            for (size_t j = k + 1; j < n; j++) m = F.mul(m, pw[j][(P->idx[i] / cx.below[j]) % static_cast<size_t>(cx.extent[j])]);
            const Vec& col = P->col[i];
            if (out->size() < col.size()) out->resize(col.size(), 0);
            for (size_t e = 0; e < col.size(); e++) (*out)[e] = F.add((*out)[e], F.mul(col[e], m));
        }
        trim(*out);
    }
}

// c with sum over m of c[m] v[m]^i = r[i - 1] for i = 1 .. N (v distinct
// and non-zero, N of each): a transposed Vandermonde system, solved
// through P(z), the product of the z - v[m].
Vec vandermonde(const ExtField& F, const Vec& v, const Vec& r) {
    const size_t N = v.size();
    Vec P{1};
    for (Code x : v) P = product1(F, P, Vec{F.neg(x), 1});
    Vec c(N), q(N);
    for (size_t m = 0; m < N; m++) {
        q[N - 1] = P[N];
        for (size_t j = N - 1; j > 0; j--) q[j - 1] = F.add(P[j], F.mul(v[m], q[j]));
        Code s = 0;
        for (size_t j = 0; j < N; j++) s = F.add(s, F.mul(q[j], r[j]));
        c[m] = F.mul(s, F.inv(F.mul(value_at(F, q, v[m]), v[m])));
    }
    return c;
}

// The exponent of x_j in the term of column m, power e of x_k, at level k.
size_t exponent_of(const Call& cx, size_t k, size_t j, size_t e, size_t m) {
    return j == k ? e : (m / cx.below[j]) % static_cast<size_t>(cx.extent[j]);
}

// From this many variables the field has at least SPARSE_FIELD elements:
// GF(2^11) or GF(3^7) rather than a few hundred, where larger fields (of
// larger tables) would slow the dense problems down.
constexpr int32_t SPARSE_VARIABLES = 4;
constexpr uint32_t SPARSE_FIELD = uint32_t{1} << 11;
// Points drawn for one solved image before it gives up on telling the
// shape's terms apart.
constexpr int POINT_DRAWS = 4;
// Solves tried for one image of a level before it is recursed for.
constexpr int SPARSE_RETRIES = 3;

// The images beyond the first that a shape whose top power is shared needs:
// each image gives an equation for each of the `powers` - 1 powers below
// the top, and within a power the terms are told apart only by their
// values at the images' points, so no fewer images than the largest group
// of terms (`most`) serve; the last image checks the others.
size_t shared_top_images(size_t terms, size_t powers, size_t most) {
    return std::max(most, (terms - 1 + powers - 2) / (powers - 1) + 1);
}

// The variable that images solved on the support of `shape` (at level k)
// keep, the shape's terms grouped by their power of it, and *N the images
// that takes (NONE when none serves). Best is a variable with a power
// that has a lone term, whose value then scales the images and each power
// is its own small system: the one with the smallest largest group. Else,
// the one that takes the fewest images, the scale of each image solved
// for with the top power's coefficients.
size_t choose_kept(const Call& cx, size_t k, const Cols& shape, size_t* N) {
    size_t best = NONE, shared = NONE, shared_images = 0, terms = 0;
    for (size_t z = k; z < cx.below.size(); z++) {
        std::vector<size_t> count;
        terms = 0;
        for (size_t i = 0; i < shape.size(); i++)
            for (size_t e = 0; e < shape.col[i].size(); e++)
                if (shape.col[i][e]) {
                    const size_t x = exponent_of(cx, k, z, e, shape.idx[i]);
                    if (count.size() <= x) count.resize(x + 1, 0);
                    count[x]++;
                    terms++;
                }
        if (count.empty()) continue;
        const size_t powers = static_cast<size_t>(std::count_if(count.begin(), count.end(), [](size_t c) { return c > 0; }));
        const size_t most = *std::max_element(count.begin(), count.end());
        if (std::find(count.begin(), count.end(), size_t{1}) == count.end()) {
            if (powers < 2) continue;
            const size_t images = shared_top_images(terms, powers, most);
            if (shared == NONE || images < shared_images) {
                shared_images = images;
                shared = z;
            }
            continue;
        }
        if (best == NONE || most < *N) {
            best = z;
            *N = most;
        }
    }
    if (best != NONE || shared == NONE) return best;
    *N = shared_images;
    return shared;
}

// x with A x = r for the square-or-taller system (rows of A, then r, as
// one row each); false unless it has exactly one solution.
bool solve_rows(const ExtField& F, std::vector<Vec> rows, size_t unknowns, Vec* x) {
    size_t rank = 0;
    for (size_t c = 0; c < unknowns; c++) {
        size_t piv = rank;
        while (piv < rows.size() && rows[piv][c] == 0) piv++;
        if (piv == rows.size()) return false;
        std::swap(rows[rank], rows[piv]);
        const Code s = F.inv(rows[rank][c]);
        for (Code& v : rows[rank]) v = F.mul(v, s);
        for (size_t r = 0; r < rows.size(); r++) {
            const Code f = rows[r][c];
            if (r == rank || f == 0) continue;
            for (size_t j = c; j <= unknowns; j++) rows[r][j] = F.sub(rows[r][j], F.mul(f, rows[rank][j]));
        }
        rank++;
    }
    // The rows left over check the solution.
    for (size_t r = rank; r < rows.size(); r++)
        if (rows[r][unknowns]) return false;
    x->resize(unknowns);
    for (size_t c = 0; c < unknowns; c++) (*x)[c] = rows[c][unknowns];
    return true;
}

// The monic gcd of A and B at level k (k + 1 < n) when it has the support
// of `shape` (an image of the same gcd at another point of the variable
// outside): its coefficients of each power of the kept variable z solved
// from one-variable images in z at the powers of a random point of the
// other variables, with a further power to check them. False when the
// images' degrees do not fit the shape or the check fails, *G then
// untouched.
bool sparse_image(Call& cx, size_t k, const Cols& A, const Cols& B, const Cols& shape, size_t z, Cols* G) {
    const ExtField& F = cx.F;
    const size_t n = cx.below.size();
    std::vector<Vec> pw(n);   // the powers of each variable's point
    // Each term of P: its power of z and its value at the point (z left out).
    struct Term {
        size_t col, e, power;
        Code value;
    };
    auto terms_of = [&](const Cols& P) {
        std::vector<Term> t;
        for (size_t i = 0; i < P.size(); i++)
            for (size_t e = 0; e < P.col[i].size(); e++) {
                if (!P.col[i][e]) continue;
                Code v = 1;
                size_t power = 0;
                for (size_t j = k; j < n; j++) {
                    const size_t x = exponent_of(cx, k, j, e, P.idx[i]);
                    if (j == z)
                        power = x;
                    else
                        v = F.mul(v, pw[j][x]);
                }
                t.push_back({i, e, power, v});
            }
        return t;
    };
    // The terms of a power are told apart by their values at the point: a
    // point where two of them meet (in a field of a few thousand elements
    // common once the shape has dozens of terms) is drawn again.
    std::vector<Term> tS;
    std::vector<std::vector<size_t>> group;   // terms of the shape with each power
    size_t top = 0, N = 0;
    for (int draw = 0;; draw++) {
        if (draw == POINT_DRAWS) return false;
        for (size_t j = k; j < n; j++) {
            Code b = 0;
            while (!b) b = cx.point();
            pw[j].assign(static_cast<size_t>(cx.extent[j]) + 1, 1);
            for (size_t e = 1; e < pw[j].size(); e++) pw[j][e] = F.mul(pw[j][e - 1], b);
        }
        tS = terms_of(shape);
        cx.spend(tS.size() * n);
        top = 0;
        for (const Term& t : tS) top = std::max(top, t.power);
        group.assign(top + 1, {});
        for (size_t i = 0; i < tS.size(); i++) group[tS[i].power].push_back(i);
        N = 0;
        bool distinct = true;
        for (const auto& g : group) {
            N = std::max(N, g.size());
            Vec w;
            for (size_t i : g) w.push_back(tS[i].value);
            std::sort(w.begin(), w.end());
            distinct = distinct && std::adjacent_find(w.begin(), w.end()) == w.end();
        }
        if (distinct) break;
    }
    const std::vector<Term> tA = terms_of(A), tB = terms_of(B);
    size_t dA = 0, dB = 0;
    for (const Term& t : tA) dA = std::max(dA, t.power);
    for (const Term& t : tB) dB = std::max(dB, t.power);
    // A power with a lone term anchors the scale of the images: the top
    // one when it serves, as its value never vanishes at a point.
    size_t anchor = top;
    while (anchor > 0 && group[anchor].size() != 1) anchor--;
    if (group[anchor].size() != 1) anchor = top;
    const bool lone = group[anchor].size() == 1;
    if (!lone) {
        // The top power's terms set each image's scale, solved for below.
        size_t powers = 0;
        for (const auto& g : group) powers += !g.empty();
        if (powers < 2) return false;
        N = shared_top_images(tS.size(), powers, N);
    }
    Vec cA(tA.size()), cB(tB.size()), pS(tS.size());   // coefficients times values to the power i
    for (size_t i = 0; i < tA.size(); i++) cA[i] = A.col[tA[i].col][tA[i].e];
    for (size_t i = 0; i < tB.size(); i++) cB[i] = B.col[tB[i].col][tB[i].e];
    for (size_t i = 0; i < tS.size(); i++) pS[i] = 1;
    std::vector<Vec> h(N + 1);
    std::vector<Vec> powers_of_shape(N + 1);   // pS at each image, for the shared top
    const size_t lone_term = group[anchor][0];
    // The shape's lexicographically leading term: highest power of x_k,
    // then the last column.
    size_t lead = 0;
    for (size_t i = 1; i < tS.size(); i++)
        if (tS[i].e > tS[lead].e || (tS[i].e == tS[lead].e && tS[i].col > tS[lead].col)) lead = i;
    cx.spend((N + 1) * (tA.size() + tB.size() + tS.size()));
    for (size_t i = 0; i <= N; i++) {
        for (size_t t = 0; t < cA.size(); t++) cA[t] = F.mul(cA[t], tA[t].value);
        for (size_t t = 0; t < cB.size(); t++) cB[t] = F.mul(cB[t], tB[t].value);
        for (size_t t = 0; t < pS.size(); t++) pS[t] = F.mul(pS[t], tS[t].value);
        Vec ua(dA + 1, 0), ub(dB + 1, 0);
        for (size_t t = 0; t < cA.size(); t++) ua[tA[t].power] = F.add(ua[tA[t].power], cA[t]);
        for (size_t t = 0; t < cB.size(); t++) ub[tB[t].power] = F.add(ub[tB[t].power], cB[t]);
        if (ua.back() == 0 || ub.back() == 0) return false;
        cx.spend(ua.size() * ub.size());
        h[i] = gcd1(F, std::move(ua), std::move(ub));
        if (h[i].size() != top + 1) return false;
        if (!lone) {
            powers_of_shape[i] = pS;
            continue;
        }
        // The gcd's image has the lone term's value as its coefficient of
        // the anchor's power, up to that term's coefficient: the solution
        // comes out that multiple of the image, made monic below.
        if (h[i][anchor] == 0) return false;
        const Code scale = F.mul(pS[lone_term], F.inv(h[i][anchor]));
        for (Code& x : h[i]) x = F.mul(x, scale);
    }
    if (!lone) {
        // Unknowns: the top terms' coefficients (the first one is 1, the
        // answer made monic at the end: the leading term need not be among
        // them), whose values make each image's scale m_i. The terms of a
        // lower power e have sums c_t v_t^(i+1) = h_i[e] m_i, annihilated by the
        // product P_e of the z - v_t: sum_j P_e[j] h_(s+j)[e] m_(s+j) = 0
        // for each shift s, equations in the top terms alone. A joint
        // solve for every term instead grows as the cube of the terms.
        std::vector<size_t> unknown(tS.size(), NONE);
        const size_t one = group[top][0];
        size_t u = 0;
        for (size_t t : group[top])
            if (t != one) unknown[t] = u++;
        std::vector<Vec> rows;
        for (size_t e = 0; e < top; e++) {
            const auto& g = group[e];
            if (g.empty()) {
                for (size_t i = 0; i <= N; i++)
                    if (h[i][e]) return false;
                continue;
            }
            Vec P{1};
            for (size_t t : g) P = product1(F, P, Vec{F.neg(tS[t].value), 1});
            cx.spend((N + 1) * P.size() * (u + 1));
            for (size_t s = 0; s + g.size() <= N; s++) {
                Vec row(u + 1, 0);
                for (size_t j = 0; j < P.size(); j++) {
                    const Code f = F.mul(P[j], h[s + j][e]);
                    if (!f) continue;
                    for (size_t t : group[top]) {
                        const Code x = F.mul(f, powers_of_shape[s + j][t]);
                        // The known term's part moves to the right-hand side.
                        if (t == one)
                            row[u] = F.sub(row[u], x);
                        else
                            row[unknown[t]] = F.add(row[unknown[t]], x);
                    }
                }
                rows.push_back(std::move(row));
            }
        }
        cx.spend(rows.size() * (u + 1) * (u + 1));
        Vec c;
        if (!solve_rows(F, std::move(rows), u, &c)) return false;
        Cols out;
        out.idx = shape.idx;
        out.col.assign(shape.size(), Vec{});
        for (size_t i = 0; i < shape.size(); i++) out.col[i].assign(shape.col[i].size(), 0);
        for (size_t t : group[top]) out.col[tS[t].col][tS[t].e] = t == one ? 1 : c[unknown[t]];
        for (size_t i = 0; i <= N; i++) {
            Code m = 0;
            for (size_t t : group[top]) m = F.add(m, F.mul(t == one ? 1 : c[unknown[t]], powers_of_shape[i][t]));
            if (!m) return false;
            for (Code& x : h[i]) x = F.mul(x, m);
        }
        // The lower powers as for a lone term below, on the scaled images.
        for (size_t e = 0; e < top; e++) {
            const auto& g = group[e];
            if (g.empty()) continue;
            Vec v, r;
            for (size_t i : g) v.push_back(tS[i].value);
            for (size_t i = 0; i < g.size(); i++) r.push_back(h[i][e]);
            const Vec ce = vandermonde(F, v, r);
            // The check: every image past those solved from.
            Vec x = ce;
            for (size_t t = 0; t < g.size(); t++)
                for (size_t i = 0; i < g.size(); i++) x[t] = F.mul(x[t], v[t]);
            for (size_t i = g.size(); i <= N; i++) {
                Code sum = 0;
                for (size_t t = 0; t < g.size(); t++) {
                    x[t] = F.mul(x[t], v[t]);
                    sum = F.add(sum, x[t]);
                }
                if (sum != h[i][e]) return false;
            }
            for (size_t t = 0; t < g.size(); t++) out.col[tS[g[t]].col][tS[g[t]].e] = ce[t];
        }
        if (out.col[tS[lead].col][tS[lead].e] == 0) return false;
        Cols kept = without_empty_columns(std::move(out));
        make_monic_cols(F, kept);
        *G = std::move(kept);
        return true;
    }
    Cols out;
    out.idx = shape.idx;
    out.col.assign(shape.size(), Vec{});
    for (size_t i = 0; i < shape.size(); i++) out.col[i].assign(shape.col[i].size(), 0);
    for (size_t e = 0; e <= top; e++) {
        const auto& g = group[e];
        if (g.empty()) {
            for (size_t i = 0; i <= N; i++)
                if (h[i][e]) return false;
            continue;
        }
        Vec v, r;
        for (size_t i : g) v.push_back(tS[i].value);
        for (size_t i = 0; i < g.size(); i++) r.push_back(h[i][e]);
        const Vec c = vandermonde(F, v, r);
        // The check: the values at the last power.
        Code sum = 0;
        for (size_t t = 0; t < g.size(); t++) {
            Code x = c[t];
            for (size_t i = 0; i <= N; i++) x = F.mul(x, v[t]);
            sum = F.add(sum, x);
        }
        if (sum != h[N][e]) return false;
        for (size_t t = 0; t < g.size(); t++) out.col[tS[g[t]].col][tS[g[t]].e] = c[t];
    }
    if (out.col[tS[lead].col][tS[lead].e] == 0) return false;
    Cols kept = without_empty_columns(std::move(out));
    make_monic_cols(F, kept);
    *G = std::move(kept);
    return true;
}

// Whether images solved on the support of `shape` (at level k) should
// cost less than the dense recursion: N + 1 evaluations of the whole
// operands and one-variable gcds, against the dense images level by level,
// each level evaluating the operands' projection on the variables inside
// it (their distinct monomials there) at one point for each degree of the
// gcd in the variables outside, down to the one-variable gcds.
bool sparse_pays(const Call& cx, size_t k, const Cols& A, const Cols& B, const Cols& shape, size_t N) {
    const size_t n = cx.below.size();
    std::vector<double> d(n, 0);
    for (const Vec& col : shape.col) d[k] = std::max(d[k], static_cast<double>(col.size() - 1));
    for (size_t m : shape.idx)
        for (size_t j = k + 1; j < n; j++)
            d[j] = std::max(d[j], static_cast<double>((m / cx.below[j]) % static_cast<size_t>(cx.extent[j])));
    const double solve = static_cast<double>(N) * static_cast<double>(entries(shape));
    double dense = 0, univariate = 0;
    for (const Cols* P : {&A, &B}) {
        double images = d[k] + 1;
        dense += images * static_cast<double>(entries(*P));
        std::vector<size_t> keys = P->idx;   // the monomials inside level k + 1
        for (size_t j = k + 1; j + 1 < n; j++) {
            std::sort(keys.begin(), keys.end());
            keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
            images *= d[j] + 1;
            dense += images * static_cast<double>(keys.size());
            for (size_t& x : keys) x %= cx.below[j];
        }
        const double last = static_cast<double>(cx.extent[n - 1]);
        dense += images * (d[n - 1] + 1) * last;
        univariate += last;
    }
    const double sparse =
        static_cast<double>(N + 1) * (static_cast<double>(entries(A) + entries(B)) + univariate * univariate) + 4 * solve;
    return sparse < dense;
}

// The monic gcd of the non-zero A and B at level k; false
// when the work runs out or points keep failing.
bool gcd_at(Call& cx, size_t k, const Cols& A, const Cols& B, Cols* G) {
    const ExtField& F = cx.F;
    if (k + 1 == cx.below.size()) {
        // One variable: a single column.
        if (!cx.spend(A.col[0].size() * B.col[0].size())) return false;
        *G = content_cols(gcd1(F, A.col[0], B.col[0]));
        return true;
    }
    poll_interrupt();
    const Vec cA = content_of(cx, A), cB = content_of(cx, B);
    const Vec c = gcd1(F, cA, cB);
    const Cols pA = divide_columns(cx, A, cA), pB = divide_columns(cx, B, cB);
    if (pA.idx.back() == 0 || pB.idx.back() == 0) {
        // A primitive part free of the inner variables is a unit.
        *G = content_cols(c);
        return cx.work >= 0;
    }
    const Vec& lA = pA.col.back();
    const Vec& lB = pB.col.back();
    const Vec gamma = gcd1(F, lA, lB);
    int32_t dA = 0, dB = 0;
    for (const Vec& col : pA.col) dA = std::max(dA, degree_of(col));
    for (const Vec& col : pB.col) dB = std::max(dB, degree_of(col));
    // The gcd's degree in x_k is at most that of the gcd of the images at a
    // random point of the inner variables, when both keep their degrees:
    // a bound often half the operands' when they are the gcd times a
    // cofactor of the same degree, and each level multiplies the saving.
    int32_t dx = std::min(dA, dB);
    {
        Vec ia, ib;
        inner_images(cx, k, pA, pB, &ia, &ib);
        if (degree_of(ia) == dA && degree_of(ib) == dB) dx = std::min(dx, degree_of(gcd1(F, ia, ib)));
    }
    const size_t need = static_cast<size_t>(dx) + gamma.size();
    const size_t S = cx.below[k + 1];

    Cols H, shape;
    Vec M{1};
    size_t points = 0, lead = NONE, tries = 0, sparse_misses = 0;
    bool weighed = false, sparse_on = false;
    size_t kept = NONE;   // the variable the solved images keep
    std::unordered_set<Code> used;
    while (points < need) {
        if (++tries > 3 * need + 40 || used.size() + 2 >= F.q || cx.work < 0) return false;
        const Code a = cx.point();
        if (!used.insert(a).second) continue;
        if (value_at(F, lA, a) == 0 || value_at(F, lB, a) == 0) continue;
        Cols gi;
        const Cols iA = one_level_in(at_point(cx, pA, a), S), iB = one_level_in(at_point(cx, pB, a), S);
        // After the first image of a run, the next ones are solved on its
        // support where they can be: far fewer images than the dense
        // recursion needs when the gcd is sparse in the inner variables.
        if (shape.size() > 0 && !weighed) {
            weighed = true;
            size_t N = 0;
            kept = choose_kept(cx, k + 1, shape, &N);
            sparse_on = k + 2 < cx.below.size() && kept != NONE && sparse_pays(cx, k + 1, iA, iB, shape, N);
        }
        // A failed solve is most often an unlucky point of the inner
        // variables (a vanishing leading coefficient, an extra common
        // factor, terms that meet), met more often the more terms and
        // images: new points cost far less than the dense recursion.
        bool solved = false;
        for (int retry = 0; retry < SPARSE_RETRIES && !solved && sparse_on && shape.size() > 0 && sparse_misses < 3;
             retry++)
            solved = sparse_image(cx, k + 1, iA, iB, shape, kept, &gi);
        if (!solved && shape.size() > 0) sparse_misses++;
        if (!solved && !gcd_at(cx, k + 1, iA, iB, &gi)) return false;
        const Row g = one_level_out(gi, S);
        const size_t lg = g.idx.back();
        if (lg == 0) {
            // Coprime primitive parts: the gcd is the contents'.
            *G = content_cols(c);
            return true;
        }
        if (lead != NONE && lg > lead) continue;
        if (lg < lead) {
            H = Cols{};
            M.assign(1, 1);
            points = 0;
            shape = gi;
            weighed = false;
        }
        lead = lg;
        // Newton: H += M (g gamma(a) - H(a)) / M(a), column by column over
        // the columns of either.
        const Code ga = value_at(F, gamma, a);
        const Code s = F.inv(value_at(F, M, a));
        Cols next;
        cx.spend((H.size() + g.idx.size()) * M.size());
        size_t i = 0, j = 0;
        while (i < H.size() || j < g.idx.size()) {
            const size_t m = j == g.idx.size() || (i < H.size() && H.idx[i] < g.idx[j]) ? H.idx[i] : g.idx[j];
            Vec col;
            if (i < H.size() && H.idx[i] == m) col = std::move(H.col[i++]);
            const Code gv = j < g.idx.size() && g.idx[j] == m ? g.val[j++] : 0;
            const Code d = F.mul(F.sub(F.mul(gv, ga), value_at(F, col, a)), s);
            if (d) {
                col.resize(M.size(), 0);
                for (size_t e = 0; e < M.size(); e++) col[e] = F.add(col[e], F.mul(M[e], d));
                trim(col);
            }
            if (col.empty()) continue;
            next.idx.push_back(m);
            next.col.push_back(std::move(col));
        }
        H = std::move(next);
        M = product1(F, M, Vec{F.neg(a), 1});
        points++;
    }
    Cols P = divide_columns(cx, H, content_of(cx, H));
    P = times_column(cx, P, c);
    make_monic_cols(F, P);
    *G = std::move(P);
    return cx.work >= 0;
}

// The terms of f (nvars == number of levels) at level 0, their
// coefficients from `codes` where given (f's own may not hold them).
Cols level_zero(const flatgcd::FlatPoly& f, const std::vector<size_t>& below, const std::vector<Code>* codes) {
    Row r;
    std::vector<std::pair<size_t, Code>> t(f.terms());
    for (size_t i = 0; i < f.terms(); i++) {
        size_t at = 0;
        for (int32_t j = 0; j < f.nvars; j++) at += static_cast<size_t>(f.exp(i)[j]) * below[static_cast<size_t>(j)];
        t[i] = {at, codes ? (*codes)[i] : Code{f.coefs[i]}};
    }
    std::sort(t.begin(), t.end());
    for (const auto& [m, v] : t) {
        r.idx.push_back(m);
        r.val.push_back(v);
    }
    return one_level_in(r, below[0]);
}

// f's coefficients (codes of the tower's field, in *codes by term of *out,
// whose own coefficients are placeholders) with the field levels put in:
// terms equal in the other levels (adjacent in f) summed.
bool into_tower(const flatgcd::FlatPoly& f, int32_t n, const smallgcd::Tower& T, flatgcd::FlatPoly* out,
                std::vector<Code>* codes) {
    const ExtField& F = T.F;
    const int32_t levels = f.nvars - n;
    out->nvars = n;
    for (size_t i = 0; i < f.terms();) {
        const int32_t* head = f.exp(i);
        Code sum = 0;
        size_t j = i;
        for (; j < f.terms() && std::equal(head, head + n, f.exp(j)); j++) {
            // The innermost level is the last column and the lowest digit.
            size_t e = 0;
            for (int32_t l = 0; l < levels; l++) {
                const uint32_t x = static_cast<uint32_t>(f.exp(j)[n + l]);
                const uint32_t d = T.degree[static_cast<size_t>(levels - 1 - l)];
                if (x >= d) return false;
                e = e * d + x;
            }
            sum = F.add(sum, F.mul(f.coefs[j], T.basis[e]));
        }
        if (sum) {
            out->push(head, 1);
            codes->push_back(sum);
        }
        i = j;
    }
    return true;
}

}  // namespace

int small_field_gcd(polynode* u, polynode* v, polynode** result, pt* rec) {
    // A word prime has points enough; so has GF(2^16).
    if (!modularmode || f2t16 || laurent || modulus < 2 || (!f256 && (!mod_is_prime || modulus >= 1024)))
        return 0;
    if (!rec) return 0;
    bool tower = field_depth != 0;
    if (tower ? f256 || rec->level >= field_depth : !rec->next || relation_inward(rec)) return 0;
    flatgcd::FlatPoly fu, fv;
    if (!flatten_residues(u, rec, &fu) || !flatten_residues(v, rec, &fv)) return 0;
    if (fu.terms() == 0 || fv.terms() == 0) return 0;
    const int32_t n = tower ? field_depth - rec->level : fu.nvars;
    // Operands free of the field levels have their gcd over Z/p, in the
    // ground field's own extension (the copies of a split tower come so).
    if (tower && !flat_uses_columns(fu, n) && !flat_uses_columns(fv, n)) {
        fu = flat_first_columns(fu, n);
        fv = flat_first_columns(fv, n);
        tower = false;
    }
    if (n < 2 || fu.nvars != fv.nvars) return 0;
    std::vector<int32_t> ext(static_cast<size_t>(n), 1);
    for (const flatgcd::FlatPoly* f : {&fu, &fv})
        for (size_t i = 0; i < f->terms(); i++)
            for (int32_t j = 0; j < n; j++) {
                // No field of words has the four points a degree asked
                // below for an exponent past a quarter of them (nor is
                // the successor of the largest exponent an int32_t).
                if (f->exp(i)[j] >= (int32_t{1} << 30) - 1) return 0;
                ext[static_cast<size_t>(j)] = std::max(ext[static_cast<size_t>(j)], f->exp(i)[j] + 1);
            }
    // The monomials are indexed in the box of the degrees; only the terms
    // present are stored, but the index must fit.
    std::vector<size_t> below(static_cast<size_t>(n), 1);
    size_t box = 1;
    int32_t top = 1;
    for (int32_t j = n; j-- > 0;) {
        below[static_cast<size_t>(j)] = box;
        if (box > (size_t{1} << 48) / static_cast<size_t>(ext[static_cast<size_t>(j)])) return 0;
        box *= static_cast<size_t>(ext[static_cast<size_t>(j)]);
        top = std::max(top, ext[static_cast<size_t>(j)]);
    }
    // Enough points that unlucky ones stay rare at every level.
    // In many variables the images solved on a support tell dozens of terms
    // apart by their values at random points, which meet often in a field
    // of a few hundred elements.
    const uint32_t want = std::max<uint32_t>(n >= SPARSE_VARIABLES ? SPARSE_FIELD : 256, 16 * static_cast<uint32_t>(top));
    static smallgcd::ExtField field;
    const smallgcd::Tower* T = nullptr;
    std::vector<Code> cu, cv;
    if (tower) {
        T = smallgcd::tower_of(rec, want);
        if (!T || fu.nvars != n + static_cast<int32_t>(T->degree.size())) return 0;
        flatgcd::FlatPoly tu, tv;
        if (!into_tower(fu, n, *T, &tu, &cu) || !into_tower(fv, n, *T, &tv, &cv) || tu.terms() == 0 || tv.terms() == 0)
            return 0;
        fu = std::move(tu);
        fv = std::move(tv);
    } else if (f256) {
        if (field.base != 256) field = smallgcd::gf2t16_field();
    } else if (field.base != static_cast<uint32_t>(modulus) ||
               (field.q < want && static_cast<uint64_t>(field.q) * field.p <= smallgcd::FIELD_LIMIT)) {
        field = smallgcd::make_field(static_cast<uint32_t>(modulus), want);
    }
    const ExtField& F = T ? T->F : field;
    if (F.q < 4 * static_cast<uint32_t>(top)) return 0;

    const int32_t levels = tower ? static_cast<int32_t>(T->degree.size()) : 0;
    const Cols A = level_zero(fu, below, T ? &cu : nullptr), B = level_zero(fv, below, T ? &cv : nullptr);
    std::vector<uint32_t> coef(T ? T->dim : 1);
    for (int attempt = 0; attempt < 3; attempt++) {
        Call cx{F, below, ext, static_cast<uint64_t>(rand_integer3()) * 0x100000001B3ull + static_cast<uint64_t>(attempt),
                400000000};
        Cols G;
        if (!gcd_at(cx, 0, A, B, &G)) {
            if (cx.work < 0) return 0;
            continue;
        }
        // Its terms over every level, lexicographically decreasing.
        std::vector<std::pair<size_t, Code>> t;
        for (size_t i = 0; i < G.size(); i++)
            for (size_t e = 0; e < G.col[i].size(); e++)
                if (G.col[i][e]) t.push_back({e * below[0] + G.idx[i], G.col[i][e]});
        std::sort(t.rbegin(), t.rend());
        flatgcd::FlatPoly fg;
        fg.nvars = n + levels;
        bool in_base = true;
        std::vector<int32_t> e(static_cast<size_t>(n + levels), 0);
        for (size_t i = 0; i < t.size() && in_base; i++) {
            size_t r = t[i].first;
            for (int32_t j = 0; j < n; j++) {
                e[static_cast<size_t>(j)] = static_cast<int32_t>(r / below[static_cast<size_t>(j)]);
                r %= below[static_cast<size_t>(j)];
            }
            if (!T) {
                in_base = t[i].second < F.base;
                fg.push(e.data(), t[i].second);
                continue;
            }
            in_base = smallgcd::coefficients(*T, t[i].second, coef.data());
            // Decreasing basis index is decreasing order over the levels.
            for (size_t b = T->dim; b-- > 0 && in_base;) {
                if (!coef[b]) continue;
                size_t rest = b;
                for (int32_t l = levels; l-- > 0;) {
                    const uint32_t d = T->degree[static_cast<size_t>(levels - 1 - l)];
                    e[static_cast<size_t>(n + l)] = static_cast<int32_t>(rest % d);
                    rest /= d;
                }
                fg.push(e.data(), coef[b]);
            }
        }
        if (!in_base) continue;
        PolyHold cand(poly_from_flat(fg));
        // No image falls below the true degree: a constant is the answer.
        if (gcd_impl::is_number(cand.p) || (candidate_divides(u, cand.p, rec) && candidate_divides(v, cand.p, rec))) {
            free_poly(result);
            *result = cand.release();
            return 1;
        }
    }
    return 0;
}
