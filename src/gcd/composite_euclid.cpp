// Euclid's steps modulo a composite number in several free variables
// (composite_euclid.h).
#include "gcd/composite_euclid.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "det/word_arith.h"
#include "gcd/gcdstash.h"
#include "gcd/nonfield_multi.h"
#include "gcd/nonfield_ring.h"
#include "gcd/polygcd.h"
#include "gcd/trialdiv.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/coefops.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace nonfield {

namespace {

constexpr int NO_RESIDUE_INVERSE = 85;

// The outermost level at or below `level` at which p has a non-zero
// exponent; 0 for none (p is a residue, perhaps padded).
int32_t outermost(const polynode* p, int32_t level) {
    std::vector<char> used(static_cast<size_t>(number_polys) + 2, 0);
    mark_levels(p, level, used);
    for (int32_t l = level; l <= number_polys; l++)
        if (used[static_cast<size_t>(l)]) return l;
    return 0;
}

// p moved from `from` down to `to` through levels it does not use.
void descend(PolyHold* p, int32_t from, int32_t to) {
    polynode* q = p->p;
    for (; from < to && !q->numb; from++) q = q->pcoef;
    p->reset(copy_of(q));
}

// The number of p's first term in every variable.
imag* leading_number(polynode* p) {
    while (!p->numb) p = p->pcoef;
    return p->ncoef;
}

bool unit_residue(imag* n) { return !iszero(n) && smallgcd(n->value, modulus) == 1; }

// In place: p divided by its leading number where that is a unit.
void lead_number_one(polynode* p) {
    imag* lead = leading_number(p);
    if (!unit_residue(lead)) return;
    imag* k = new_number();
    num_assign(lead, k);
    num_poly_quot(p, k, 0);
    free_imag(&k);
}

// q with b·q = a, both elements of the levels from `level` in; null when
// b's leading number is no unit or b does not divide a.
polynode* quotient(polynode* a, polynode* b, int32_t level) {
    imag* scale = nullptr;
    polynode* q = exact_div(a, b, level, Band{number_polys + 1, nullptr}, &scale);
    if (!q) return nullptr;
    // b·q = scale·a, the scale a product of unit residues.
    num_poly_quot(q, scale, 0);
    free_imag(&scale);
    return q;
}

// p with its residues taken modulo q^k (a divisor of the modulus), divided
// by `shift` (a power of the prime q that divides each of them there), and
// taken modulo q: a new polynomial, null for zero, in the form the
// conversions give (an exponent-0 wrapper around a lone number is that
// number).
polynode* image_modulo(const polynode* p, int32_t q, int32_t power, int32_t shift = 1) {
    polynode* head = nullptr;
    polynode** link = &head;
    for (; p; p = p->next) {
        polynode* t = nullptr;
        if (p->numb) {
            const int32_t r = p->ncoef->value % power / shift % q;
            if (r == 0) continue;
            imag* n = new_number();
            setvalue(r, n);
            t = new_number_node(n);
            t->exp = p->exp;
        } else {
            polynode* c = image_modulo(p->pcoef, q, power, shift);
            if (!c) continue;
            t = p->exp == 0 && c->numb && !c->next ? c : new_term_node(p->exp, c);
        }
        *link = t;
        link = &t->next;
    }
    return head;
}

// The greatest power of q below `power` that divides every residue of p
// modulo `power`; `power` itself where p is 0 there.
int32_t q_part(const polynode* p, int32_t q, int32_t power) {
    int32_t part = power;
    for (; p && part > 1; p = p->next) {
        if (!p->numb) {
            part = std::min(part, q_part(p->pcoef, q, power));
            continue;
        }
        const int32_t r = p->ncoef->value % power;
        while (r % part) part /= q;
    }
    return part;
}

int64_t power_mod(int64_t b, int32_t e, int64_t q) {
    int64_t r = 1;
    for (b %= q; e > 0; e >>= 1, b = b * b % q)
        if (e & 1) r = r * b % q;
    return r;
}

// p's value modulo q with the variable of each depth from `depth` in set
// to point[depth].
int64_t value_at(const polynode* p, size_t depth, const std::vector<int64_t>& point, int64_t q) {
    int64_t v = 0;
    for (; p; p = p->next) {
        const int64_t c = p->numb ? p->ncoef->value % q : value_at(p->pcoef, depth + 1, point, q);
        v = (v + c * power_mod(point[depth], p->exp, q)) % q;
    }
    return v;
}

// p as a polynomial in its outermost variable with the inner ones set to
// the point: coefficients modulo q, the lowest first.
std::vector<int64_t> outer_image(const polynode* p, const std::vector<int64_t>& point, int64_t q) {
    std::vector<int64_t> c(static_cast<size_t>(std::max(p->exp, 0)) + 1, 0);
    for (; p; p = p->next) c[static_cast<size_t>(p->exp)] = p->numb ? p->ncoef->value % q : value_at(p->pcoef, 1, point, q);
    return c;
}

// Whether Euclid's steps modulo the prime q end in a number not 0.
bool unit_gcd_in_place(std::vector<int64_t>& a, std::vector<int64_t>& b, int64_t q) {
    auto trim = [](std::vector<int64_t>& v) {
        while (!v.empty() && v.back() == 0) v.pop_back();
    };
    trim(a);
    trim(b);
    while (!b.empty()) {
        if (a.size() < b.size()) std::swap(a, b);
        const int64_t k = a.back() * power_mod(b.back(), static_cast<int32_t>(q - 2), q) % q;
        const size_t shift = a.size() - b.size();
        for (size_t i = 0; i < b.size(); i++) a[i + shift] = ((a[i + shift] - k * b[i]) % q + q) % q;
        trim(a);
        std::swap(a, b);
    }
    return a.size() == 1;
}

bool unit_gcd_of_one_variable(std::vector<int64_t> a, std::vector<int64_t> b, int64_t q) { return unit_gcd_in_place(a, b, q); }

// p's leading coefficient in its outermost variable as a polynomial in the
// next variable, coefficients modulo q, the lowest first; empty where it
// uses a variable further in.
std::vector<int64_t> lead_of_one_variable(const polynode* p, int64_t q) {
    if (p->numb) return {p->ncoef->value % q};
    p = p->pcoef;
    if (p->numb) return {p->ncoef->value % q};
    std::vector<int64_t> c(static_cast<size_t>(std::max(p->exp, 0)) + 1, 0);
    for (; p; p = p->next) {
        const polynode* t = p->numb ? p : p->pcoef;
        while (!t->numb && !t->next && t->exp == 0) t = t->pcoef;
        if (!t->numb || t->next) return {};
        c[static_cast<size_t>(p->exp)] = t->ncoef->value % q;
    }
    return c;
}

// A proof that a and b, images modulo the prime q at the same level, have
// no common factor but units, by their images in the outermost variable at
// a few points of the inner ones where both keep their degrees: a factor
// of positive degree would keep its degree there and divide both images,
// and one of degree 0 divides both leading coefficients, coprime where one
// is a number or both are in the next variable alone. False where that
// does not prove it, and the gcd of the images decides (small primes have
// few points, and common factors do occur).
bool coprime_at_points(const polynode* a, const polynode* b, int32_t q) {
    std::vector<int64_t> la = lead_of_one_variable(a, q), lb = lead_of_one_variable(b, q);
    if (la.size() != 1 && lb.size() != 1 && (la.empty() || lb.empty() || !unit_gcd_of_one_variable(la, lb, q)))
        return false;
    std::vector<int64_t> point(static_cast<size_t>(number_polys) + 2, 1);
    // The first inner variable through 0, 1, 2, 3, the others at 1.
    for (int32_t c = 0; c < std::min<int32_t>(q, 4); c++) {
        point[1] = c;
        std::vector<int64_t> ia = outer_image(a, point, q), ib = outer_image(b, point, q);
        if (ia.back() == 0 || ib.back() == 0) continue;
        if (unit_gcd_of_one_variable(std::move(ia), std::move(ib), q)) return true;
    }
    return false;
}

// Polynomials modulo a prime q in one variable (the lowest coefficient
// first, no zero at the top) and in two (coefficients in the inner
// variable by powers of the outer).
using One = std::vector<int64_t>;
using Two = std::vector<One>;

void trim(One& p) {
    while (!p.empty() && p.back() == 0) p.pop_back();
}

One times(const One& a, const One& b, int64_t q) {
    if (a.empty() || b.empty()) return {};
    One c(a.size() + b.size() - 1, 0);
    for (size_t i = 0; i < a.size(); i++)
        for (size_t j = 0; j < b.size(); j++) c[i + j] = (c[i + j] + a[i] * b[j]) % q;
    return c;
}

// a - b
One minus(One a, const One& b, int64_t q) {
    if (a.size() < b.size()) a.resize(b.size(), 0);
    for (size_t i = 0; i < b.size(); i++) a[i] = (a[i] - b[i] + q) % q;
    trim(a);
    return a;
}

// a = b·quotient + remainder; the quotient returned, a left the remainder.
One divide(One& a, const One& b, int64_t q) {
    const int64_t inv = power_mod(b.back(), static_cast<int32_t>(q - 2), q);
    One quo(a.size() >= b.size() ? a.size() - b.size() + 1 : 0, 0);
    while (a.size() >= b.size()) {
        const int64_t k = a.back() * inv % q;
        const size_t shift = a.size() - b.size();
        quo[shift] = k;
        for (size_t i = 0; i < b.size(); i++) a[i + shift] = ((a[i + shift] - k * b[i]) % q + q) % q;
        trim(a);
    }
    return quo;
}

One gcd_of(One a, One b, int64_t q) {
    while (!b.empty()) {
        divide(a, b, q);
        std::swap(a, b);
    }
    return a;
}

// p (of two variables at most, the inner one y) as a Two; false where it
// uses a third.
bool as_two(const polynode* p, Two* out) {
    auto one = [](const polynode* c, One* o) {
        if (c->numb) {
            *o = {c->ncoef->value};
            return true;
        }
        o->assign(static_cast<size_t>(c->exp) + 1, 0);
        for (; c; c = c->next) {
            const polynode* n = c->numb ? c : c->pcoef;
            if (!n->numb || n->next) return false;
            (*o)[static_cast<size_t>(c->exp)] = n->ncoef->value;
        }
        return true;
    };
    if (p->numb) {
        *out = {{p->ncoef->value}};
        return true;
    }
    out->assign(static_cast<size_t>(p->exp) + 1, One{});
    for (; p; p = p->next) {
        One& k = (*out)[static_cast<size_t>(p->exp)];
        if (p->numb)
            k = {p->ncoef->value};
        else if (!one(p->pcoef, &k))
            return false;
    }
    return true;
}

One content_of(const Two& p, int64_t q) {
    One c;
    for (const One& k : p)
        if (!k.empty()) c = gcd_of(c, k, q);
    return c;
}

void divide_content(Two& p, const One& c, int64_t q) {
    for (One& k : p)
        if (!k.empty()) k = divide(k, c, q);
}

// Whether a and b, of two variables at most, have no common factor but
// units modulo q: their contents in the inner variable have none, nor do
// their primitive parts, whose pseudo-remainders end in degree 0 in the
// outer one. 0 for a common factor; -1 where they use a third variable or
// the remainders' degrees in the inner one pass a bound (the plain gcd
// then decides).
int coprime_of_two(Two a, Two b, int64_t q) {
    constexpr size_t MOST_INNER_DEGREE = 64;
    const One ca = content_of(a, q), cb = content_of(b, q);
    if (gcd_of(ca, cb, q).size() > 1) return 0;
    divide_content(a, ca, q);
    divide_content(b, cb, q);
    if (a.size() < b.size()) std::swap(a, b);
    while (b.size() > 1) {
        // a·lc(b) - lc(a)·x^k·b until a is below b's degree, then a's
        // content out.
        while (a.size() >= b.size()) {
            const One la = a.back(), lb = b.back();
            const size_t shift = a.size() - b.size();
            for (One& k : a) k = times(k, lb, q);
            for (size_t i = 0; i < b.size(); i++) a[i + shift] = minus(a[i + shift], times(la, b[i], q), q);
            while (!a.empty() && a.back().empty()) a.pop_back();
        }
        if (a.empty()) return 0;
        const One c = content_of(a, q);
        if (c.size() > MOST_INNER_DEGREE) return -1;
        divide_content(a, c, q);
        for (const One& k : a)
            if (k.size() > MOST_INNER_DEGREE) return -1;
        std::swap(a, b);
    }
    return 1;
}

int coprime_of_two(const polynode* pa, const polynode* pb, int64_t q) {
    Two a, b;
    if (!as_two(pa, &a) || !as_two(pb, &b)) return -1;
    return coprime_of_two(std::move(a), std::move(b), q);
}

// The least exponent of each variable in p's terms, by depth from p's
// level, into `least` (as low as it already is).
void least_exponents(const polynode* p, size_t depth, std::vector<int32_t>& least) {
    for (; p; p = p->next) {
        least[depth] = std::min(least[depth], p->exp);
        if (p->numb)
            std::fill(least.begin() + static_cast<std::ptrdiff_t>(depth) + 1, least.end(), 0);
        else
            least_exponents(p->pcoef, depth + 1, least);
    }
}

// Whether a variable divides both a and b.
bool variable_shared(const polynode* a, const polynode* b) {
    const size_t n = static_cast<size_t>(number_polys) + 2;
    std::vector<int32_t> la(n, INT32_MAX), lb(n, INT32_MAX);
    least_exponents(a, 0, la);
    least_exponents(b, 0, lb);
    for (size_t d = 0; d < n; d++)
        if (la[d] > 0 && la[d] < INT32_MAX && lb[d] > 0 && lb[d] < INT32_MAX) return true;
    return false;
}

// Whether the images a and b modulo the prime q have no common factor but
// units.
bool coprime_images(polynode* a, polynode* b, int32_t q, pt* vars) {
    if (coprime_at_points(a, b, q)) return true;
    if (const int two = coprime_of_two(a, b, q); two >= 0) return two == 1;
    if (variable_shared(a, b)) return false;
    RingStateGuard ring;
    const int16_t stash = lookupgcd;
    struct StashBack {
        int16_t saved;
        ~StashBack() { lookupgcd = saved; }
    } stash_back{stash};
    // Residue gcds modulo the composite number must not meet these.
    lookupgcd = -1000;
    install_modulus(q);
    mod_is_prime = 1;
    PolyHold g;
    polygcd(a, b, &g.p, 0, 1, 1, vars, 1, 1, 1);
    return single_number(g.p);
}

// Whether h is all that the cofactors a and b leave in common modulo q^k,
// the power of the prime q in the modulus, d any common divisor of h·a and
// h·b (proved_plain_gcd):
// - one cofactor is a unit there (its image modulo q a number not 0, the
//   rest nilpotent): h is the other operand's associate, even where h is
//   0 modulo q (3xy + 6 = gcd(0, 3xy + 6) modulo 12);
// - h and neither cofactor is 0 modulo q, and the cofactors' images there
//   have no common factor but units;
// - b = q^j·b' (0 < j < k, b' not 0 modulo q) while h and a are not 0
//   modulo q, and a's image has no common factor with those of b' and h:
//   h·a is no zero divisor, nor then is d; d divides q^j·h·b', so h·b'
//   modulo q^(k-j), so h there as above; h = d·e + q^(k-j)·r then makes d
//   divide r·a modulo q^j, so r, as a is coprime to d's image, a factor of
//   h's (x^2 = gcd(x^3 + x^2, 2x^2) modulo 4).
bool coprime_modulo(polynode* h, polynode* a, polynode* b, int32_t q, int32_t power, pt* vars) {
    PolyHold ia(image_modulo(a, q, power)), ib(image_modulo(b, q, power));
    for (polynode* i : {ia.p, ib.p})
        if (i && single_number(i)) return true;
    if (!ia.p && !ib.p) return false;
    PolyHold ih(image_modulo(h, q, power));
    if (!ih.p) return false;
    if (ia.p && ib.p) return coprime_images(ia.p, ib.p, q, vars);
    polynode* zero = ia.p ? b : a;
    polynode* other = ia.p ? ia.p : ib.p;
    const int32_t part = q_part(zero, q, power);
    if (part == power) return false;
    PolyHold rest(image_modulo(zero, q, power, part));
    return coprime_images(other, rest.p, q, vars) && coprime_images(other, ih.p, q, vars);
}

// a/h, h leading with a unit number; null where h does not divide a. The
// plain division costs under half the ring's on the small gcds this proof
// mostly meets; it stops at an inner leading number without inverse (and
// takes no number h), where the ring's division goes on. Only the images of the quotient are
// read, so the unit the ring's division leaves on it does not matter.
polynode* cofactor(polynode* a, polynode* h, int32_t level, pt* vars) {
    if (!single_number(h)) {
        try {
            QuietInverseFailures quiet;
            PolyHold q;
            if (trial_poly_divide(a, h, &q.p, vars, 0, 0, 0) && q.p) return q.release();
        } catch (const TarvexUnwind& e) {
            if (e.code != NO_RESIDUE_INVERSE) throw;
        }
    }
    imag* scale = nullptr;
    polynode* q = exact_div(a, h, level, Band{number_polys + 1, nullptr}, &scale);
    if (scale) free_imag(&scale);
    return q;
}

// The proof below on dense arrays of residues where a, b and h have two
// variables at most: the cofactors by the schoolbook division (h's
// leading term a unit number, so the quotient is exact and unique) and
// their images in the arrays, at a small part of what the polynomial
// division and images cost on the small gcds that dominate. Residues are
// below the modulus, so products fit 64 bits.

using wordmod::inverse_mod;

// p (x^i·y^j at c[i·width + j]) in a single array, for few allocations:
// they cost as much as the arithmetic here. rows = 0 for 0, else the top
// row is not 0.
struct Dense {
    size_t rows = 0, width = 0;
    std::vector<int64_t> c;
    int64_t* row(size_t i) { return c.data() + i * width; }
    const int64_t* row(size_t i) const { return c.data() + i * width; }
    // Row i's degree in y plus one; 0 where it is 0.
    size_t length(size_t i) const {
        size_t n = width;
        while (n && !row(i)[n - 1]) n--;
        return n;
    }
    void trim() {
        while (rows && !length(rows - 1)) rows--;
    }
    bool number() const { return rows == 1 && length(0) == 1; }
    One lead() const { return One(row(rows - 1), row(rows - 1) + length(rows - 1)); }
};

// p's residues modulo m; false where p uses a third variable or a
// negative exponent, or where the array would be far larger than p's
// terms (x^500·y^500 + 1), which the polynomial road keeps sparse.
bool dense_of(const polynode* p, int64_t m, Dense* out) {
    constexpr int64_t MOST_ENTRIES_A_TERM = 16, MOST_ENTRIES_ANYWAY = 256;
    int32_t rows = 0, width = 1;
    int64_t terms = 0;
    for (const polynode* t = p; t; t = t->next) {
        if (t->exp < 0) return false;
        rows = std::max(rows, t->exp + 1);
        if (t->numb) {
            terms++;
            continue;
        }
        for (const polynode* c = t->pcoef; c; c = c->next, terms++) {
            if (c->exp < 0) return false;
            width = std::max(width, c->exp + 1);
        }
    }
    if (int64_t{rows} * width > MOST_ENTRIES_A_TERM * terms + MOST_ENTRIES_ANYWAY) return false;
    out->rows = static_cast<size_t>(rows);
    out->width = static_cast<size_t>(width);
    out->c.assign(out->rows * out->width, 0);
    for (; p; p = p->next) {
        int64_t* r = out->row(static_cast<size_t>(p->exp));
        if (p->numb) {
            r[0] = (p->ncoef->value % m + m) % m;
            continue;
        }
        for (const polynode* c = p->pcoef; c; c = c->next) {
            const polynode* n = c->numb ? c : c->pcoef;
            if (!n->numb || n->next || (n != c && n->exp != 0)) return false;
            r[c->exp] = (n->ncoef->value % m + m) % m;
        }
    }
    out->trim();
    return true;
}

// q with h·q = a modulo m; false where h's leading term (in x, then y) has
// no inverse, h does not divide a, or what is left grows past the arrays
// in y (the polynomials then decide). The leading term of what is left is
// either h's times a term of the quotient or stays in the remainder,
// which is then not 0.
bool divide_dense(const Dense& a, const Dense& h, int64_t m, Dense* q) {
    const size_t dx = h.rows - 1, dy = h.length(dx) - 1;
    const int64_t inv = inverse_mod(h.row(dx)[dy], m);
    if (!inv || a.rows < h.rows) return false;
    Dense r;
    r.rows = a.rows;
    r.width = a.width + h.width;
    r.c.assign(r.rows * r.width, 0);
    for (size_t i = 0; i < a.rows; i++) std::copy(a.row(i), a.row(i) + a.width, r.row(i));
    q->rows = a.rows - dx;
    q->width = r.width;
    q->c.assign(q->rows * q->width, 0);
    for (size_t i = r.rows; i-- > dx;) {
        for (size_t j = r.length(i); j > 0; j = r.length(i)) {
            if (j - 1 < dy) return false;
            const size_t at = j - 1 - dy;
            const int64_t c = r.row(i)[j - 1] * inv % m;
            q->row(i - dx)[at] = c;
            for (size_t k = 0; k <= dx; k++) {
                const size_t n = h.length(k);
                if (at + n > r.width) return false;
                int64_t* t = r.row(i - dx + k) + at;
                const int64_t* by = h.row(k);
                for (size_t l = 0; l < n; l++) t[l] = ((t[l] - c * by[l]) % m + m) % m;
            }
        }
    }
    for (size_t i = 0; i < dx; i++)
        if (r.length(i)) return false;
    q->trim();
    return true;
}

// image_modulo on dense residues.
Dense image_dense(const Dense& p, int64_t q, int64_t power, int64_t shift = 1) {
    Dense out;
    out.rows = p.rows;
    out.width = p.width;
    out.c.resize(p.rows * p.width);
    for (size_t i = 0; i < out.c.size(); i++) out.c[i] = p.c[i] % power / shift % q;
    out.trim();
    return out;
}

// q_part on dense residues.
int64_t q_part_dense(const Dense& p, int64_t q, int64_t power) {
    int64_t part = power;
    for (size_t i = 0; i < p.rows * p.width && part > 1; i++)
        while (part > 1 && p.c[i] % power % part) part /= q;
    return part;
}

Two two_of(const Dense& p) {
    Two out(p.rows);
    for (size_t i = 0; i < p.rows; i++) out[i].assign(p.row(i), p.row(i) + p.length(i));
    return out;
}

// coprime_at_points on dense images.
bool coprime_at_points(const Dense& a, const Dense& b, int64_t q) {
    if (a.length(a.rows - 1) != 1 && b.length(b.rows - 1) != 1 && !unit_gcd_of_one_variable(a.lead(), b.lead(), q))
        return false;
    std::vector<int64_t> ia, ib;
    auto at = [q](const Dense& p, int64_t y, std::vector<int64_t>& v) {
        v.assign(p.rows, 0);
        for (size_t i = 0; i < p.rows; i++)
            for (size_t j = p.width; j-- > 0;) v[i] = (v[i] * y + p.row(i)[j]) % q;
    };
    for (int64_t c = 0; c < std::min<int64_t>(q, 4); c++) {
        at(a, c, ia);
        at(b, c, ib);
        if (ia.back() == 0 || ib.back() == 0) continue;
        if (unit_gcd_in_place(ia, ib, q)) return true;
    }
    return false;
}

// coprime_images on dense images: 1 coprime, 0 not, -1 undecided.
int coprime_images(const Dense& a, const Dense& b, int64_t q) {
    if (coprime_at_points(a, b, q)) return 1;
    return coprime_of_two(two_of(a), two_of(b), q);
}

// coprime_modulo on the cofactors a and b modulo m: 1 proved, 0 not, -1
// undecided.
int coprime_modulo(const Dense& h, const Dense& a, const Dense& b, int64_t q, int64_t power) {
    const Dense ia = image_dense(a, q, power), ib = image_dense(b, q, power);
    if (ia.number() || ib.number()) return 1;
    if (!ia.rows && !ib.rows) return 0;
    const Dense ih = image_dense(h, q, power);
    if (!ih.rows) return 0;
    if (ia.rows && ib.rows) return coprime_images(ia, ib, q);
    const Dense& zero = ia.rows ? b : a;
    const Dense& other = ia.rows ? ia : ib;
    const int64_t part = q_part_dense(zero, q, power);
    if (part == power) return 0;
    if (const int rest = coprime_images(other, image_dense(zero, q, power, part), q); rest != 1) return rest;
    return coprime_images(other, ih, q);
}

// each(q, q^k) for the prime powers q^k that exactly divide m, smallest q
// first, until one gives other than go_on: that answer, else go_on.
template <class Answer, class Each>
Answer each_prime_power(int64_t m, Answer go_on, Each each) {
    for (int64_t q = 2; m > 1; q++) {
        if (q * q > m) q = m;
        if (m % q) continue;
        int64_t power = 1;
        for (; m % q == 0; m /= q) power *= q;
        if (const Answer a = each(q, power); a != go_on) return a;
    }
    return go_on;
}

// What the images below say of h = the plain gcd of a and b, on dense
// arrays: 1 proved, 0 not proved, -1 for the polynomials to decide (a
// third variable, h's leading number without inverse, remainders past the
// bound).
int proved_densely(polynode* a, polynode* b, polynode* h) {
    const int64_t m = modulus;
    Dense da, db, dh;
    if (!dense_of(a, m, &da) || !dense_of(b, m, &db) || !dense_of(h, m, &dh) || !dh.rows) return -1;
    Dense qa, qb;
    if (dh.number() && inverse_mod(dh.c[0], m)) {
        qa = std::move(da);
        qb = std::move(db);
    } else if (!divide_dense(da, dh, m, &qa) || !divide_dense(db, dh, m, &qb)) {
        return -1;
    }
    return each_prime_power(m, 1, [&](int64_t q, int64_t power) { return coprime_modulo(dh, qa, qb, q, power); });
}

// The plain gcd of a and b as a new polynomial where the images prove it;
// null where they do not, where it refuses, or where a variable has a
// relation. `road` says which gcds inside it are plain too. *unproved: an
// answer the images did not prove, which they are not asked again; this
// one when they do not.
polynode* proved_plain_gcd(polynode* a, polynode* b, int32_t level, pt* vars, int road, PolyHold* unproved) {
    // The images read residue words and need no relation to reduce.
    if (!lintmode) return nullptr;
    for (pt* r = polynames; r; r = r->next)
        if (r->relation || r->binomial) return nullptr;
    PolyHold h;
    try {
        QuietInverseFailures quiet;
        struct Road {
            int before = composite_plain_road;
            explicit Road(int r) { composite_plain_road = r; }
            ~Road() { composite_plain_road = before; }
            Road(const Road&) = delete;
            Road& operator=(const Road&) = delete;
        } plain(road);
        polygcd(a, b, &h.p, 0, 1, 1, vars, 1, 1, 1);
    } catch (const TarvexUnwind& e) {
        if (e.code != NO_RESIDUE_INVERSE) throw;
        return nullptr;
    }
    if (poly_iszero(h.p) || (unproved->p && poly_equal(h.p, unproved->p))) return nullptr;
    if (const int dense = proved_densely(a, b, h.p); dense >= 0) {
        if (!dense) {
            std::swap(h.p, unproved->p);
            return nullptr;
        }
        lead_number_one(h.p);
        return h.release();
    }
    // A unit h leaves the operands for cofactors, as good as theirs for
    // every image (a unit apart), and with no division.
    const bool unit = single_number(h.p) && unit_residue(h.p->ncoef);
    PolyHold qa(unit ? nullptr : cofactor(a, h.p, level, vars)), qb(unit ? nullptr : cofactor(b, h.p, level, vars));
    if (!unit && (!qa.p || !qb.p)) {
        std::swap(h.p, unproved->p);
        return nullptr;
    }
    polynode* ca = unit ? a : qa.p;
    polynode* cb = unit ? b : qb.p;
    // Modulo each prime q dividing the modulus, h must be all that the
    // images of a and b share (or what coprime_modulo says besides): then
    // every common divisor of a and b
    // divides h modulo each prime power of the modulus (by induction on
    // the power: a divisor d with h = d·e modulo q^(k-1) and a, b not both
    // divisible by q leaves h - d·e = q^(k-1)·r with d dividing r·(a/h) and
    // r·(b/h) modulo q, so r modulo q, the cofactors being coprime there),
    // and so modulo the modulus.
    const bool proved = each_prime_power(modulus, true, [&](int64_t q, int64_t power) {
        return coprime_modulo(h.p, ca, cb, static_cast<int32_t>(q), static_cast<int32_t>(power), vars);
    });
    if (!proved) {
        std::swap(h.p, unproved->p);
        return nullptr;
    }
    lead_number_one(h.p);
    return h.release();
}

// Euclid's steps A - q·x^e·B (composite_euclid.h); error 85 where neither
// leading coefficient divides the other.
polynode* composite_euclid(polynode* a, polynode* b, int32_t level) {
    PolyHold A(copy_of(a)), B(copy_of(b));
    int32_t at = level;
    for (;;) {
        if (poly_iszero(A.p)) std::swap(A.p, B.p);
        if (poly_iszero(B.p)) break;
        const int32_t fa = outermost(A.p, at), fb = outermost(B.p, at);
        if (!fa && !fb) {
            // Two residues: coprime when one is a unit; two zero divisors
            // are no gcd this road proves.
            if (!unit_residue(leading_number(A.p)) && !unit_residue(leading_number(B.p))) refuse(nullptr);
            A.reset(nullptr);
            poly_set(1, &A.p);
            at = level;
            break;
        }
        const int32_t f = !fa ? fb : !fb ? fa : std::min(fa, fb);
        descend(&A, at, f);
        descend(&B, at, f);
        at = f;
        if (degree(A.p) < degree(B.p)) std::swap(A.p, B.p);
        // A - q·x^e·B drops A's degree and keeps the common divisors; with
        // equal degrees either operand may be the divisor.
        PolyHold la(first_coef(A.p)), lb(first_coef(B.p));
        PolyHold q(quotient(la.p, lb.p, f + 1));
        if (!q.p && degree(A.p) == degree(B.p)) {
            std::swap(A.p, B.p);
            q.reset(quotient(lb.p, la.p, f + 1));
        }
        if (!q.p) refuse(nullptr);
        const int32_t da = degree(A.p);
        PolyHold t(term(da - degree(B.p), q.release())), tb, r;
        poly_mult(t.p, B.p, &tb.p, record_at(f));
        poly_sub(A.p, tb.p, &r.p);
        if (!poly_iszero(r.p) && degree(r.p) >= da) refuse(nullptr);
        A.reset(r.release());
    }
    if (poly_iszero(A.p)) return A.release();
    lead_number_one(A.p);
    if (!single_number(A.p) && at > level) add_pad(&A.p, at - level);
    return A.release();
}

}  // namespace

int composite_plain_road = 0;

polynode* composite_gcd(polynode* a, polynode* b, int32_t level, pt* vars) {
    // gcd(a, a) is a, whatever its leading number (gcd(0, a) asks for it):
    // no quotient by a leading number without inverse, no image to prove.
    if (a == b || poly_equal(a, b)) {
        polynode* h = copy_of(a);
        lead_number_one(h);
        return h;
    }
    // Each road's answer is proved by the images alone: the plain gcds of
    // one variable inside find some that Euclid's refuse, and the other way
    // round. The road the plain gcd always took first, so that what it
    // answered costs it little more.
    PolyHold unproved;
    for (int road : {PLAIN_SEVERAL_VARIABLES, PLAIN_EVERY_GCD})
        if (polynode* h = proved_plain_gcd(a, b, level, vars, road, &unproved)) return h;
    return composite_euclid(a, b, level);
}

}  // namespace nonfield
