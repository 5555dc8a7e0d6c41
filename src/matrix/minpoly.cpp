// Minimal polynomials of sparse matrices (see minpoly.h). The Krylov steps
// and the Euclid run on machine residues: the matrix is read once per prime
// into rows of (column, residue) pairs, so that the stored matrix is never
// converted and nothing needs undoing after an error.
#include "matrix/minpoly.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

#include "det/word_arith.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/array_value.h"
#include "matrix/sparse_impl.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/from_terms.h"
#include "storage/assign.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/progress.h"

int32_t mills_mod = 0;
std::vector<int32_t> xmills;

quoly* poly_quoly(const std::vector<imag*>& coefs) {
    std::vector<int32_t> exps;
    std::vector<imag*> nums;
    for (int32_t i = static_cast<int32_t>(coefs.size()) - 1; i >= 0; i--) {
        if (!coefs[i]) continue;
        exps.push_back(i);
        nums.push_back(coefs[i]);
    }
    polynode* p = poly_from_terms(exps.data(), nums.size(), 1, [&](size_t i) { return new_number_node(nums[i]); });
    quoly* q = nullptr;
    p_q_assign(p, &q);
    free_poly(&p);
    return q;
}

namespace {

constexpr int32_t kMillsCells = 32767;
// The prime of the sign check: above every prime of the table the images
// use, so the joined value's residue there is independent of them.
constexpr int32_t kCheckPrime = 48871;

using Poly = std::vector<int32_t>;   // residues, constant first, no leading zeros
using ResidueRows = std::vector<std::vector<std::pair<int32_t, int32_t>>>;

void trim(Poly& p) {
    while (!p.empty() && p.back() == 0) p.pop_back();
}

int32_t degree(const Poly& p) { return static_cast<int32_t>(p.size()) - 1; }

// (q, r) := division of a by b (b non-zero) in the current ring.
void poly_divide(const Poly& a, const Poly& b, Poly& q, Poly& r) {
    r = a;
    q.clear();
    const int32_t db = degree(b);
    if (degree(r) < db) return;
    int32_t lead_inv;
    mod_inverse(b.back(), &lead_inv);
    q.assign(static_cast<size_t>(degree(r) - db + 1), 0);
    for (int32_t i = degree(r); i >= db; i--) {
        const int32_t c = modmult(r[i], lead_inv);
        if (c == 0) continue;
        q[i - db] = c;
        for (int32_t j = 0; j <= db; j++) r[i - db + j] = mod_sub(r[i - db + j], modmult(c, b[j]), modulus);
    }
    trim(r);
    trim(q);
}

// a * b + c in the current ring.
Poly mul_add(const Poly& a, const Poly& b, const Poly& c) {
    Poly out(std::max(a.empty() || b.empty() ? 0 : a.size() + b.size() - 1, c.size()), 0);
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i] == 0) continue;
        for (size_t j = 0; j < b.size(); j++) out[i + j] = mod_add(out[i + j], modmult(a[i], b[j]), modulus);
    }
    for (size_t i = 0; i < c.size(); i++) out[i] = mod_add(out[i], c[i], modulus);
    trim(out);
    return out;
}

void make_monic(Poly& p) {
    if (p.empty() || p.back() == 1) return;
    int32_t inv;
    mod_inverse(p.back(), &inv);
    for (int32_t& c : p) c = modmult(c, inv);
}

// The monic lcm of two non-zero polynomials.
Poly poly_lcm(const Poly& a, const Poly& b) {
    Poly g = a, h = b, q, r;
    while (!h.empty()) {
        poly_divide(g, h, q, r);
        g.swap(h);
        h.swap(r);
    }
    poly_divide(a, g, q, r);
    Poly out = mul_add(q, b, Poly{});
    make_monic(out);
    return out;
}

// f := A e in the current ring.
void apply_matrix(const ResidueRows& A, const std::vector<int32_t>& e, std::vector<int32_t>& f) {
    const size_t n = A.size();
    if (!finf && modulus > 0) {
        const uint64_t p = static_cast<uint32_t>(modulus);
        for (size_t i = 0; i < n; i++) {
            uint64_t acc = 0;
            for (const auto& [c, v] : A[i]) acc = (acc + static_cast<uint64_t>(static_cast<uint32_t>(v)) *
                                                             static_cast<uint32_t>(e[c - 1])) % p;
            f[i] = static_cast<int32_t>(acc);
        }
        return;
    }
    for (size_t i = 0; i < n; i++) {
        int32_t acc = 0;
        for (const auto& [c, v] : A[i]) acc = mod_add(acc, modmult(v, e[c - 1]), modulus);
        f[i] = acc;
    }
}

// The residue rows of the sparse matrix at first, from the value words
// (modular mode) or by reducing each entry modulo the current modulus.
ResidueRows residue_rows(sparse* first, int32_t n, bool from_values) {
    ResidueRows A(static_cast<size_t>(n));
    RowWalk w(first);
    for (int32_t i = 0; i < n; i++, w.next()) {
        for (colm* c = *w.head(); c; c = c->next) {
            int32_t v = from_values ? c->val->nnum->value : chain_residue(c->val->nnum, modulus);
            if (from_values && v < 0) v = spec_mod_add(0, v, modulus);
            if (v != 0) A[static_cast<size_t>(i)].emplace_back(c->col, v);
        }
    }
    return A;
}

// Residues into number nodes of the current ring.
quoly* residue_quoly(const Poly& p) {
    std::vector<imag*> coefs(p.size(), nullptr);
    for (size_t i = 0; i < p.size(); i++) {
        if (p[i] == 0) continue;
        coefs[i] = new_number();
        setvalue(p[i], coefs[i]);
    }
    return poly_quoly(coefs);
}

struct IntegerFlagGuard {
    int saved = integerflag;
    IntegerFlagGuard() { integerflag = 1; }
    ~IntegerFlagGuard() { integerflag = saved; }
    IntegerFlagGuard(const IntegerFlagGuard&) = delete;
    IntegerFlagGuard& operator=(const IntegerFlagGuard&) = delete;
};

struct CommandIntGuard {
    int saved = command_int;
    CommandIntGuard() { command_int = danger_ok ? command_int : 0; }
    ~CommandIntGuard() { command_int = saved; }
    CommandIntGuard(const CommandIntGuard&) = delete;
    CommandIntGuard& operator=(const CommandIntGuard&) = delete;
};

// Installs the prime p as the modular ring for the guard's lifetime.
struct PrimeRing {
    RingStateGuard ring;
    explicit PrimeRing(int32_t p) {
        modularmode = 0;
        lintmode = 0;
        finf = f256 = f2t16 = 0;
        install_modulus(p);
        mod_is_prime = 1;
        modularmode = 1;
        lintmode = 1;
    }
};

int32_t random_below(int32_t m) { return std::abs(rand_integer2()) % m; }

int32_t word_residue(int64_t v, int32_t p) {
    const int64_t r = v % p;
    return static_cast<int32_t>(r < 0 ? r + p : r);
}

}  // namespace

void newmills(int first) {
    mills_mod = std::min<int32_t>(modulus, 5);
    if (mills_mod < 1) mills_mod = 1;
    if (first) xmills.assign(kMillsCells, 0);
    for (int32_t& v : xmills) v = random_below(mills_mod);
}

namespace {

// The recurrence of the sequence proj·A^s·e, s = 0 .. 2n, by the half
// extended Euclid (constant first, monic unless constant); empty when the
// sequence is all zero (there is no recurrence to read: the caller draws
// another vector). The sequence starts at e itself: starting at A·e loses
// the factor x of every singular matrix.
Poly krylov_recurrence(const ResidueRows& A, int32_t n, std::vector<int32_t> e,
                       const std::vector<std::pair<int32_t, int32_t>>& proj) {
    std::vector<int32_t> f(static_cast<size_t>(n));
    const int32_t len = 2 * n + 1;
    Poly seq(static_cast<size_t>(len));
    {
        const bool loud = n > 1000;
        std::optional<Progress> progress;
        if (loud) progress.emplace("Modular Minpoly. counting to ", len);
        for (int32_t s = 1; s <= len; s++) {
            int32_t sigma = 0;
            for (const auto& [row, w] : proj) sigma = mod_add(sigma, modmult(e[row], w), modulus);
            seq[static_cast<size_t>(s - 1)] = sigma;
            if (s < len) {
                apply_matrix(A, e, f);
                e.swap(f);
            }
            if (loud && s % 100 == 0) progress->step(s);
        }
    }
    // S(x) = sum of sigma_s x^(2n+1-s), constant first.
    Poly r(seq.rbegin(), seq.rend());
    trim(r);
    if (r.empty()) return r;
    Poly r_prev(static_cast<size_t>(len) + 1, 0);
    r_prev.back() = 1;
    Poly t_prev, t{1}, q, rem;
    for (int32_t i = 2; i <= len; i++) {
        poly_divide(r_prev, r, q, rem);
        Poly t_new = mul_add(q, t, t_prev);
        r_prev.swap(r);
        r.swap(rem);
        t_prev.swap(t);
        t.swap(t_new);
        if (r.empty() || degree(r) < n) break;
    }
    if (degree(t) > 0) make_monic(t);
    return t;
}

// A draw below m (m up to 2^28): two draws of 14 bits joined.
int32_t wide_random_below(int32_t m) {
    const int64_t v = static_cast<int64_t>(random_below(16384)) * 16384 + random_below(16384);
    return static_cast<int32_t>(v % m);
}

// A draw on all coordinates, for the retry after a failed check: start
// vector and projection weights as non-negative integers, read modulo each
// prime in turn.
struct FullDraw {
    std::vector<int32_t> start, weights;
    explicit FullDraw(int32_t n) : start(static_cast<size_t>(n)), weights(static_cast<size_t>(n)) { redraw(); }
    void redraw() {
        for (int32_t& v : start) v = wide_random_below(1 << 28);
        for (int32_t& v : weights) v = wide_random_below(1 << 28);
    }
};

// A sequence that stays zero for every fresh vector is beyond belief (the
// projection reads at least one coordinate of the start vector itself);
// the bound only keeps a broken random source from hanging the system.
constexpr int kRedraws = 64;

Poly full_image(const ResidueRows& A, int32_t n, FullDraw& draw) {
    IntegerFlagGuard flag;
    for (int tries = 0; tries < kRedraws; tries++, draw.redraw()) {
        std::vector<int32_t> e(static_cast<size_t>(n));
        std::vector<std::pair<int32_t, int32_t>> proj;
        for (int32_t i = 0; i < n; i++) {
            e[static_cast<size_t>(i)] = draw.start[static_cast<size_t>(i)] % modulus;
            const int32_t w = draw.weights[static_cast<size_t>(i)] % modulus;
            if (w) proj.emplace_back(i, w);
        }
        Poly t = krylov_recurrence(A, n, std::move(e), proj);
        if (!t.empty()) return t;
    }
    return Poly{1};
}

}  // namespace

namespace {

// f(A)·w by Horner's rule: deg f products.
void apply_poly(const ResidueRows& A, const Poly& f, const std::vector<int32_t>& w, std::vector<int32_t>& y,
                std::vector<int32_t>& t) {
    for (size_t i = 0; i < w.size(); i++) y[i] = modmult(f.back(), w[i]);
    for (int32_t d = degree(f) - 1; d >= 0; d--) {
        apply_matrix(A, y, t);
        for (size_t i = 0; i < w.size(); i++) t[i] = mod_add(t[i], modmult(f[static_cast<size_t>(d)], w[i]), modulus);
        y.swap(t);
    }
}

bool all_zero(const std::vector<int32_t>& y) {
    return std::all_of(y.begin(), y.end(), [](int32_t v) { return v == 0; });
}

// Random vectors for a chance below 2^-64 that a wrong f passes: for f(A)
// not zero, f(A)·w is zero for at most one draw in modulus.
int32_t random_checks() {
    int32_t k = 0;
    for (double reach = 1; reach < 18446744073709551616.0; reach *= std::max<int32_t>(modulus, 2)) k++;
    return k;
}

// Work of the check on every unit vector beyond which random vectors are used.
constexpr int64_t kFullCheckWork = 20000000;

}  // namespace

// On every unit vector f(A) = 0 is proved; that costs n times the products
// of one vector, so a large matrix takes the random vectors instead.
bool mills_annihilates(const ResidueRows& A, int32_t n, const std::vector<int32_t>& f) {
    if (f.empty()) return false;
    std::vector<int32_t> w(static_cast<size_t>(n)), y(static_cast<size_t>(n)), t(static_cast<size_t>(n));
    int64_t entries = n;
    for (const auto& row : A) entries += static_cast<int64_t>(row.size());
    const int32_t checks = random_checks();
    if (n <= checks || static_cast<int64_t>(n) * degree(f) * entries <= kFullCheckWork) {
        for (int32_t j = 0; j < n; j++) {
            std::fill(w.begin(), w.end(), 0);
            w[static_cast<size_t>(j)] = 1;
            apply_poly(A, f, w, y, t);
            if (!all_zero(y)) return false;
        }
        return true;
    }
    for (int32_t k = 0; k < checks; k++) {
        for (int32_t& v : w) v = wide_random_below(modulus);
        apply_poly(A, f, w, y, t);
        if (!all_zero(y)) return false;
    }
    return true;
}

namespace {

// Rounds of fresh draws before the search for the minimal polynomial gives
// up; each round brings in a missing factor with likelihood at least 1/4.
constexpr int kLcmRounds = 400;

// Every generator of a projected sequence divides the minimal polynomial,
// but an unlucky projection or vector (likely modulo 2 or 3) gives a proper
// divisor: the lcm over fresh draws on all coordinates grows until it
// annihilates A. Empty when it never does.
Poly complete_image(const ResidueRows& A, int32_t n, Poly t) {
    if (mills_annihilates(A, n, t)) return t;
    FullDraw draw(n);
    for (int round = 0; round < kLcmRounds; round++, draw.redraw()) {
        t = t.empty() ? full_image(A, n, draw) : poly_lcm(t, full_image(A, n, draw));
        if (mills_annihilates(A, n, t)) return t;
    }
    return Poly{};
}

}  // namespace

std::vector<int32_t> mills_image(const ResidueRows& A, int32_t n, int32_t k, const int32_t rows[5]) {
    IntegerFlagGuard flag;
    if (xmills.empty())
        newmills(1);
    else if (mills_mod > modulus || (mills_mod < modulus && mills_mod < 5))
        newmills(0);
    std::vector<std::pair<int32_t, int32_t>> proj;
    for (int32_t t = 0; t < k; t++) proj.emplace_back(rows[t], 1);
    Poly t;
    for (int tries = 0; tries < kRedraws && t.empty(); tries++) {
        t = krylov_recurrence(A, n, std::vector<int32_t>(xmills.begin(), xmills.begin() + n), proj);
        if (t.empty()) newmills(0);
    }
    return complete_image(A, n, t.empty() ? Poly{1} : std::move(t));
}

void mod_Mills(sparse* first, int32_t n, int32_t k, const int32_t rows[5], quoly** result) {
    const ResidueRows A = residue_rows(first, n, true);
    const Poly t = mills_image(A, n, k, rows);
    free_quoly(result);
    *result = residue_quoly(t);
}

namespace {

// The answer over the integers from one kind of draw: images modulo count
// table primes joined, signs read at a check prime, and the outcome of the
// annihilation test there. Coefficients constant first (null: zero).
struct Joined {
    std::vector<imag*> coefs;
    bool annihilates = false;
    Joined() = default;
    Joined(const Joined&) = delete;
    Joined& operator=(const Joined&) = delete;
    Joined(Joined&& o) noexcept : coefs(std::move(o.coefs)), annihilates(o.annihilates) { o.coefs.clear(); }
    Joined& operator=(Joined&& o) noexcept {
        release();
        coefs.swap(o.coefs);
        annihilates = o.annihilates;
        return *this;
    }
    ~Joined() { release(); }
    void release() {
        for (imag*& c : coefs)
            if (c) free_imag(&c);
        coefs.clear();
    }
};

// image(A modulo the installed prime) for one draw.
using ImageOf = std::function<Poly(const ResidueRows&)>;

// false when the tables run out of primes (then out is left empty).
bool join_images(array* a, int32_t n, int32_t count, const ImageOf& image_of, Joined& out) {
    // The images, one per prime. A prime whose image has a lower degree
    // than another's met an unlucky projection or vector there: joining
    // it would give a wrong answer, so it is passed over for the next prime
    // of the table (the images before a longer one are dropped likewise).
    std::vector<int32_t> p;
    std::vector<Poly> images;
    size_t width = 0;
    for (int32_t idx = 5; idx < PRIME_COUNT && static_cast<int32_t>(p.size()) < count; idx++) {
        const int32_t q = prime[idx]->value;
        Poly image;
        {
            PrimeRing ring(q);
            image = image_of(residue_rows(a->sparse, n, false));
        }
        if (image.empty()) return false;
        if (image.size() < width) continue;
        if (image.size() > width) {
            p.clear();
            images.clear();
            width = image.size();
        }
        p.push_back(q);
        images.push_back(std::move(image));
        const int32_t j = static_cast<int32_t>(p.size()) - 1;
        if (verbose && j > 0 && (n < 200 || (j + 1) % 5 == 1)) dumpitt(" ", j + 1, 0, 0, 1);
    }
    if (static_cast<int32_t>(p.size()) < count) return false;

    // Mixed-radix digits per coefficient: u[j][i] in 0 .. p_j - 1, with
    // u_j = (image_j - value so far) / (p_0 .. p_(j-1)) modulo p_j.
    std::vector<Poly> u(static_cast<size_t>(count));
    for (int32_t j = 0; j < count; j++) {
        const Poly& image = images[static_cast<size_t>(j)];
        Poly& uj = u[static_cast<size_t>(j)];
        uj.assign(width, 0);
        if (j == 0) {
            uj = image;
            continue;
        }
        int64_t prod = 1;
        for (int32_t t = 0; t < j; t++) prod = prod * p[t] % p[j];
        const int64_t inv = wordmod::inverse_mod(prod, p[j]);
        for (size_t i = 0; i < width; i++) {
            // The value joined so far, modulo p_j, by Horner's rule.
            int64_t v = u[j - 1][i];
            for (int32_t t = j - 2; t >= 0; t--) v = (v * p[t] + u[t][i]) % p[j];
            const int64_t diff = word_residue(static_cast<int64_t>(image[i]) - v, p[j]);
            uj[i] = static_cast<int32_t>(diff * inv % p[j]);
        }
    }

    // The sign check needs an image of full degree at a prime above those
    // used: the first of the larger primes that gives one.
    Poly check;
    ResidueRows Aq;
    int32_t q = 0;
    for (int32_t idx = 0; idx < BIG_PRIME_COUNT; idx++) {
        q = idx == 0 ? kCheckPrime : (big_prime ? big_prime[idx] : 0);
        if (q == 0) break;
        PrimeRing ring(q);
        Aq = residue_rows(a->sparse, n, false);
        check = image_of(Aq);
        if (check.size() == width) break;
        q = 0;
    }
    if (q == 0) return false;

    // The joined coefficients in 0 .. P - 1 (Horner from the last digit).
    out.coefs.assign(width, nullptr);
    imag* w = new_number();
    for (size_t i = 0; i < width; i++) {
        imag* c = new_number();
        setvalue(0, c);
        for (int32_t j = count - 1; j >= 0; j--) {
            if (!iszero(c)) simp_mult(c, c, p[j], nullptr);
            if (u[j][i]) {
                setvalue(u[j][i], w);
                fastsum(c, w);
            }
        }
        out.coefs[i] = c;
    }
    free_imag(&w);
    // Coefficients whose residue at the check prime disagrees with the
    // image there are negative: P too large. The residues of the answer
    // at q are kept for the annihilation test.
    imag* P = new_number();
    setvalue(1, P);
    for (int32_t pj : p) simp_mult(P, P, pj, nullptr);
    const int32_t P_q = chain_residue(P, q);
    Poly at_q(width, 0);
    for (size_t i = 0; i < width; i++) {
        const int32_t r = chain_residue(out.coefs[i], q);
        at_q[i] = r;
        if (r != check[i]) {
            sub(out.coefs[i], P, out.coefs[i]);
            at_q[i] = word_residue(static_cast<int64_t>(r) - P_q, q);
        }
        if (iszero(out.coefs[i])) free_imag(&out.coefs[i]);
    }
    free_imag(&P);
    trim(at_q);
    PrimeRing ring(q);
    out.annihilates = mills_annihilates(Aq, n, at_q);
    return true;
}

// The fewest table primes (from the table's 6th) whose product exceeds
// |bound|: the sign check tells c from c - P for every |c| < P. 0 when the
// table holds too few.
int32_t primes_needed(quoly* bound) {
    imag* b = bound && bound->isnum ? bound->nnum : nullptr;
    for (int32_t m = 6; m < 604; m++)
        if (!b || int_abs_bigger(num_prod[m - 6], b, 0)) return m - 5;
    return 0;
}

// Tries on all coordinates after a failed annihilation test; each passes
// the test with overwhelming likelihood, so more means a broken bound.
constexpr int kFullTries = 4;

}  // namespace

void Mills(array* a, int32_t n, int32_t k, quoly* bound, quoly** result, int* ok) {
    *ok = 0;
    if (number_cells(&a->size) != static_cast<int64_t>(n) * n) {
        error(252, a->name);
        abandon_statement(252);
    }
    if (n < 8) {
        error(253, a->name);
        abandon_statement(253);
    }
    if (lintmode && !modularmode) {
        error(256, a->name);
        abandon_statement(256);
    }
    {
        RowWalk w(a->sparse);
        for (int32_t i = 0; i < n; i++, w.next())
            for (colm* c = *w.head(); c; c = c->next)
                if (!c->val->isnum) {
                    error(254, a->name);
                    abandon_statement(254);
                }
    }
    CommandIntGuard interrupts;
    k += 2;
    if (n < 12) k = std::min(k, 3);
    if (n < 15) k = std::min(k, 4);
    int32_t rows[5];
    rows[0] = n / 3 - 1 + random_below(2);
    rows[1] = 2 * n / 3 - 1 + random_below(2);
    rows[2] = n - 2 + random_below(2);
    const int32_t e4 = n < 31 ? 0 : random_below(4);
    const int32_t e5 = n < 31 ? 0 : random_below(4);
    rows[3] = rows[0] - 2 - e4;
    rows[4] = rows[2] - 2 - e5;

    if (modularmode) {
        const Poly t = mills_image(residue_rows(a->sparse, n, true), n, k, rows);
        if (t.empty()) return;
        free_quoly(result);
        *result = residue_quoly(t);
        *ok = 1;
        return;
    }

    const int32_t count = primes_needed(bound);   // primes p_0 .. p_(count-1)
    if (count == 0) return;
    dumpitt_level++;
    struct Level {
        int32_t n;
        ~Level() { decr_dumpitt(n, 1, verbose); }
    } level{count};
    if (verbose) {
        dumpitt("Number of primes needed is ", count, 1, 1, 1);
        dumpitt(" ", 1, 0, 0, 1);
    }

    Joined answer;
    if (!join_images(a, n, count, [&](const ResidueRows& A) { return mills_image(A, n, k, rows); }, answer))
        return;
    if (!answer.annihilates) {
        FullDraw draw(n);
        for (int tries = 0; tries < kFullTries && !answer.annihilates; tries++, draw.redraw()) {
            Joined again;
            if (!join_images(a, n, count,
                             [&](const ResidueRows& A) { return complete_image(A, n, full_image(A, n, draw)); },
                             again))
                return;
            answer = std::move(again);
        }
        // Images that each annihilate their prime's matrix and still join
        // to a wrong answer: coefficients beyond the bound.
        if (!answer.annihilates) return;
    }
    free_quoly(result);
    *result = poly_quoly(answer.coefs);
    answer.coefs.clear();
    *ok = 1;
}
