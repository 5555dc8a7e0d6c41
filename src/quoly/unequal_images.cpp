#include "quoly/unequal_images.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/prime_power_images.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"

namespace {

using quoly_detail::copy_poly;

// The outermost level from which every level inward stays a symbol: the
// first with a relation (its relation and the inner ones read only inner
// variables), null without relations. The free levels outside it are the
// ones given numbers.
pt* kept_levels() {
    for (pt* rec = polynames; rec; rec = rec->next)
        if (rec->relation) return rec;
    return nullptr;
}

// What the probes below may spend, in machine instructions about. A pair
// that is equal pays every probe and then the exact products all the same,
// so the probes are held to a share of what those products cost: where
// the parts have few terms the products cost less than the points' setup,
// and the exact answer goes first. The parts are measured only when a
// probe past the end terms asks, since most unequal pairs part there.
class Budget {
  public:
    // share: the probes may cost up to 1/share of the exact products;
    // word_pair: what a pair of terms costs them modulo a word.
    Budget(polynode* na, polynode* db, polynode* nb, polynode* da, int64_t share, int64_t word_pair)
        : parts_{na, db, nb, da}, share_(share), word_pair_(word_pair) {}

    // A probe that may bring the spending up to 1/share of the products
    // (the budget's own share unless a probe is worth more).
    bool spend(int64_t instructions, int64_t share = 0) {
        measure();
        if ((spent_ + instructions) * (share ? share : share_) > products_) return false;
        spent_ += instructions;
        return true;
    }

    // The nodes of the four parts, which a point reads.
    int64_t nodes() {
        measure();
        return nodes_;
    }

  private:
    polynode* parts_[4];
    int64_t share_, word_pair_;
    bool measured_ = false;
    int64_t nodes_ = 0, products_ = 0, spent_ = 0;

    // A part's terms (its number nodes), its nodes added into nodes_.
    int64_t terms(const polynode* p) {
        int64_t n = 0, nodes = 0;
        for (; p; p = p->next) {
            nodes++;
            n += p->numb ? 1 : terms(p->pcoef);
        }
        nodes_ += nodes;
        return n;
    }

    // Each pair of terms of the exact products is a product of
    // coefficients, under relations then reduced by them: some 500 to 700
    // instructions modulo a word, 1,000 on the rationals' digits.
    void measure() {
        if (measured_) return;
        measured_ = true;
        const int64_t t[4] = {terms(parts_[0]), terms(parts_[1]), terms(parts_[2]), terms(parts_[3])};
        const int64_t pairs = t[0] * t[1] + t[2] * t[3];
        products_ = pairs * (modularmode || finf ? word_pair_ : 1000);
    }
};

// A part of a quoly as a polynomial: borrowed, or built for a plain number.
struct Part {
    polynode* p = nullptr;
    PolyHold own;
    Part(const quoly* q, bool den) {
        if (q->isnum) {
            if (den) {
                poly_set(1, &own.p);
            } else {
                imag* c = new_number();
                num_assign(q->nnum, c);
                own.p = new_number_node(c);
            }
            p = own.p;
        } else if (den && !q->den) {
            poly_set(1, &own.p);
            p = own.p;
        } else {
            p = den ? q->den : q->pnum;
        }
    }
};

// p (at rec's level) with every free level at 0: the constant term down to
// the kept levels, walked along the last terms. Borrowed; null for 0.
polynode* at_zero(polynode* p, pt* rec, pt* kept) {
    while (rec != kept && !p->numb) {
        polynode* last = p;
        while (last->next) last = last->next;
        if (last->exp != 0) return nullptr;
        if (last->numb) return last;   // the constant term, a lone number node
        p = last->pcoef;
        rec = rec->next;
    }
    return p;
}

// p with every free level at 1: the sum of its coefficients down to the
// kept levels. A new polynomial.
polynode* at_one(polynode* p, pt* rec, pt* kept) {
    if (rec == kept || p->numb) return copy_poly(p);
    polynode* sum = nullptr;
    poly_set(0, &sum);
    for (polynode* t = p; t; t = t->next) {
        polynode* c = t->numb ? copy_poly(t) : at_one(t->pcoef, rec->next, kept);
        best_poly_add(sum, c, &sum);
    }
    return sum;
}

// The images at a point modulo a word q: the modulus itself, or over the
// rationals a prime (the relations are monic over Z, the parts over Z).
// The kept levels must be none or one innermost relation with number
// coefficients; its classes are held as d words. Towers, inner free levels
// and GF(2^k) take the images at 0 and 1 alone.
//
// Over a small or composite q the points of Z/q are few, and a polynomial
// that is not 0 may vanish at every one of them (x^q - x; or modulo 9 a
// product of factors each not a unit at any point). The random points are
// then taken in Z/q[z]/(f) for a random monic f of degree r, whose
// residue fields have up to p^r elements for the least prime p of q: still
// a homomorphism, and a difference that is not 0 is seen at most points.
// Elements are d x r words, the word of t^j z^i at j r + i.
class WordImages {
  public:
    // False where these images do not apply.
    bool start(pt* kept) {
        if (finf) return false;
        if (modularmode) {
            if (modulus < 2) return false;
            q_ = static_cast<uint64_t>(modulus);
            modular_ = true;
        } else if (lintmode || integerflag) {
            return false;
        } else {
            q_ = 2147483647;   // 2^31 - 1, a prime
            modular_ = false;
        }
        if (inverse_of_ != q_) {   // divisions kept from one comparison to the next
            inverse_of_ = q_;
            inverse_ = UINT64_MAX / q_;
            square_room_ = q_ <= UINT32_MAX ? UINT64_MAX / (q_ * q_) : 0;
        }
        kept_ = kept;
        m_.assign(1, 0);
        d_ = 1;
        lazy_ = true;
        if (!kept) return true;
        if (kept->next) return false;
        polynode* m = kept->binomial ? kept->binomial : kept->relation;
        d_ = kept->modout_degree;
        if (d_ < 1 || !m || m->numb || m->exp != d_) return false;
        m_.assign(static_cast<size_t>(d_), 0);
        for (polynode* t = m->next; t; t = t->next) {
            const imag* c = coefficient(t);
            if (!c || t->exp < 0 || t->exp >= d_) return false;
            m_[static_cast<size_t>(t->exp)] = word(c);
        }
        lazy_ = static_cast<uint64_t>(2 * d_ - 1) <= square_room_;
        return true;
    }

    // Whether N(a)·D(b) and ±N(b)·D(a) differ at a point: points of 0s
    // and 1s first (sums alone, no products), then random points.
    bool differ(polynode* na, polynode* db, polynode* nb, polynode* da, bool negated, Budget& budget) {
        size_t free_levels = 0;
        for (pt* rec = polynames; rec != kept_; rec = rec->next) free_levels++;
        set_extension(1);
        if (end_terms_differ<false>(na, db, nb, da, free_levels, negated) ||
            end_terms_differ<true>(na, db, nb, da, free_levels, negated))
            return true;
        const int tail = free_levels > 1 ? trailing_at_ones(na, db, nb, da, negated) : -1;
        if (tail == 1) return true;
        // Modulo a composite, a prime power's images by tables before the
        // points of Z/q, which may all be roots: a walk of the parts for
        // each of up to three primes.
        // Where a prime's square divides q, Z/q's points may all be roots
        // of a difference that is not 0, and the tables are worth a third.
        if (modular_ && !mod_is_prime && !budget.spend(100 * budget.nodes() + 1000, square_divides() ? 3 : 0))
            return false;
        if (modular_ && prime_power_images_differ(na, db, nb, da, negated, kept_ ? m_.data() : nullptr, kept_ ? d_ : 0))
            return true;
        // A wide extension (r > 3) is tried first at degree 3, where a
        // product costs a quarter as much and most differences show; the
        // two points of full degree follow only where it fails.
        const int32_t wide = extension_degree();
        const int points = wide > 3 ? 7 : 6;
        // Two free levels: the trailing coefficient at 1 told all the first point could.
        for (int k = tail == 0 && free_levels == 2 ? 1 : 0; k < points; k++) {
            // The first points read few terms: the innermost free level
            // at 1 and the rest at 0, the origin, then every level at 1;
            // then a random point, and two more over Z/q[z]/(f) where Z/q
            // has few units.
            set_extension(k < 4 ? 1 : k == 4 && wide > 3 ? 3 : wide);
            if (!budget.spend(point_cost(k, budget.nodes()))) return false;
            const size_t e = static_cast<size_t>(d_ * r_);
            const size_t need = 12 * e + free_levels * (e + static_cast<size_t>(4 * r_));
            if (buf_.size() < need) buf_.resize(need);
            uint64_t* v[4] = {buf_.data(), buf_.data() + e, buf_.data() + 2 * e, buf_.data() + 3 * e};
            uint64_t* left = buf_.data() + 4 * e;
            uint64_t* right = left + 4 * e;   // products take (2d - 1)(2r - 1) words
            scratch_ = right + 4 * e;
            point_.assign(free_levels * static_cast<size_t>(r_), 0);
            for (size_t l = 0; l < free_levels; l++) {
                uint64_t* x = point_.data() + l * static_cast<size_t>(r_);
                if (k == 2 || (k == 0 && l + 1 == free_levels)) x[0] = 1;
                if (k > 2)
                    for (int32_t i = 0; i < r_; i++) x[i] = next_random() % q_;
            }
            if (powers_.size() < free_levels) powers_.resize(free_levels);
            if (level_buf_.size() < free_levels) level_buf_.resize(free_levels);
            for (std::vector<uint64_t>& pw : powers_) pw.clear();
            ones_from_ = free_levels;
            while (ones_from_ > 0 && is_one(point_.data() + (ones_from_ - 1) * static_cast<size_t>(r_))) ones_from_--;
            polynode* parts[4] = {na, db, nb, da};
            std::fill(v[0], v[0] + 4 * e, 0);
            for (int i = 0; i < 4; i++)
                if (!eval_add(parts[i], polynames, 0, v[i])) return false;
            product(v[0], v[1], left);
            product(v[2], v[3], right);
            for (size_t j = 0; j < e; j++) {
                const uint64_t r = negated && right[j] ? q_ - right[j] : right[j];
                if (left[j] != r) return true;
            }
        }
        return false;
    }

  private:
    // What point k costs, about, in instructions: the points of 0s and 1s
    // sum coefficients; a random point of Z/q takes a product a node;
    // one over Z/q[z]/(f) takes d r^2 word products a node, the point's
    // powers and two products of elements.
    int64_t point_cost(int k, int64_t nodes) const {
        if (k < 3) return 15 * nodes + 200;
        const int64_t d = d_, r = r_;
        if (r == 1) return (40 + 10 * d) * nodes + 300;
        return (150 + 6 * d * r * r) * nodes + 10 * d * d * r * r + 1000;
    }

    // The end terms and coefficients below are held in words on the stack:
    // up to this many free levels and this relation degree (beyond, the
    // points alone decide).
    static constexpr size_t END_LEVELS = 8;
    static constexpr int32_t END_DEGREE = 8;

    // Leading terms (Last: trailing ones) in the nested order of the free
    // levels, coefficients at the kept levels: the end term of a product is
    // the product of the factors' end terms wherever that coefficient is
    // not 0, in any ring (zero divisors included); no other pair of terms
    // reaches that monomial. Where both products' end terms are known so
    // and differ, the products differ. A few nodes a part, no products of
    // polynomials: most unequal pairs part here.
    template <bool Last>
    bool end_terms_differ(polynode* na, polynode* db, polynode* nb, polynode* da, size_t free_levels, bool negated) {
        if (free_levels > END_LEVELS || d_ > END_DEGREE) return false;
        int64_t diff[END_LEVELS];   // the left product's exponents less the right one's
        for (size_t l = 0; l < free_levels; l++) diff[l] = 0;
        uint64_t c[4][END_DEGREE] = {};
        if (!end_term<Last>(na, 1, diff, c[0]) || !end_term<Last>(db, 1, diff, c[1]) ||
            !end_term<Last>(nb, -1, diff, c[2]) || !end_term<Last>(da, -1, diff, c[3]))
            return false;
        bool exps_differ = false;
        for (size_t l = 0; l < free_levels; l++) exps_differ |= diff[l] != 0;
        return known_products_differ(c, exps_differ, negated) == 1;
    }

    // The trailing coefficient in the outermost level, every free level
    // inward at 1, beside its exponent. The trailing coefficient of a
    // product is the product of its factors' wherever that is not 0, and
    // so it is where their images at 1 (a homomorphism of the
    // coefficients) multiply to something not 0. 1 where the two products
    // differ so, 0 where they agree, -1 where it cannot tell.
    int trailing_at_ones(polynode* na, polynode* db, polynode* nb, polynode* da, bool negated) {
        if (d_ > END_DEGREE) return -1;
        uint64_t c[4][END_DEGREE] = {};
        polynode* parts[4] = {na, db, nb, da};
        int64_t diff = 0;
        for (int i = 0; i < 4; i++) {
            polynode* p = parts[i];
            while (p->next) p = p->next;
            if (p->exp < 0) return -1;
            diff += i < 2 ? p->exp : -static_cast<int64_t>(p->exp);
            uint64_t* ci = c[i];
            if (p->numb) {
                add(ci, 0, p->ncoef);
            } else if (q_ > UINT32_MAX) {
                if (!sum_ones<false>(p->pcoef, polynames->next, ci)) return -1;
            } else {
                if (!sum_ones<true>(p->pcoef, polynames->next, ci)) return -1;
                for (int32_t j = 0; j < d_; j++) ci[j] = mod(ci[j]);
            }
        }
        return known_products_differ(c, diff != 0, negated);
    }

    // c[0]·c[1] against ±c[2]·c[3], the coefficients of two products' terms
    // whose exponents differ or not: 1 where the terms differ, 0 where they
    // agree, -1 where a product is 0 (its term is then not the product's).
    int known_products_differ(const uint64_t (*c)[END_DEGREE], bool exps_differ, bool negated) const {
        uint64_t left[2 * END_DEGREE - 1], right[2 * END_DEGREE - 1];
        if (d_ == 1) {
            left[0] = mod(c[0][0] * c[1][0]);
            right[0] = mod(c[2][0] * c[3][0]);
        } else {
            product(c[0], c[1], left);
            product(c[2], c[3], right);
        }
        bool left_zero = true, right_zero = true;
        for (int32_t j = 0; j < d_; j++) {
            left_zero &= left[j] == 0;
            right_zero &= right[j] == 0;
        }
        if (left_zero || right_zero) return -1;
        if (exps_differ) return 1;
        for (int32_t j = 0; j < d_; j++)
            if (left[j] != (negated && right[j] ? q_ - right[j] : right[j])) return 1;
        return 0;
    }

    // p's end term: its exponents at the free levels (0 below a number
    // coefficient) times sign added into diff, its coefficient as an
    // element (d words) added into coef. False where that coefficient
    // maps to 0 (the image's end term lies elsewhere) or the shape is not
    // read here.
    template <bool Last>
    bool end_term(polynode* p, int64_t sign, int64_t* diff, uint64_t* coef) const {
        for (pt* rec = polynames; rec != kept_; rec = rec->next, diff++) {
            if (Last)
                while (p->next) p = p->next;
            if (p->exp < 0) return false;
            *diff += sign * p->exp;
            if (p->numb) {
                add(coef, 0, p->ncoef);
                return coef[0] != 0;
            }
            p = p->pcoef;
        }
        if (!add_kept(p, coef)) return false;
        for (int32_t j = 0; j < d_; j++)
            if (coef[j]) return true;
        return false;
    }

    // Below it a word takes sums of many products before its remainder
    // (each product under 2^32, at most 2r of them in a word).
    static constexpr uint64_t SMALL_Q = 65536;
    uint64_t q_ = 0;
    bool modular_ = false;
    int32_t d_ = 1;
    int32_t r_ = 1;
    bool lazy_ = true;              // products over Z/q[t] reduced once a word (no extension)
    uint64_t inverse_ = 0;          // (2^64 - 1) / q, rounded down
    uint64_t inverse_of_ = 0;       // the q of inverse_ and square_room_
    uint64_t square_room_ = 0;      // how many products under q^2 a word holds
    pt* kept_ = nullptr;
    std::vector<uint64_t> m_;       // the relation's coefficients below its leading 1
    std::vector<uint64_t> f_;       // f's coefficients below its leading 1 (r words)
    std::vector<uint64_t> point_;   // r words a free level
    std::vector<uint64_t> buf_;     // the four images, two products, the scratch
    uint64_t* scratch_ = nullptr;   // d r + 4 r words a free level: Horner's sums and powers
    uint64_t least_prime_of_ = 0, least_prime_ = 0;
    uint64_t square_of_ = 0;        // the q of square_
    bool square_ = false;
    size_t ones_from_ = 0;          // the free levels from this one inward are at 1
    std::vector<std::vector<uint64_t>> powers_;   // a free level's point powers x^0, x^1, ... (r words each)
    std::vector<std::vector<uint64_t>> level_buf_;   // a free level's sums, inner value and product
    // Powers read from a table up to this exponent; higher ones by squaring.
    static constexpr int64_t TABLE_TOP = 64;

    bool is_one(const uint64_t* x) const {
        if (x[0] != 1) return false;
        for (int32_t i = 1; i < r_; i++)
            if (x[i]) return false;
        return true;
    }

    // x modulo q without a division: the quotient from q's reciprocal
    // falls short by at most 2 (the remainder of a word costs a division
    // of many cycles, and a comparison takes dozens).
    uint64_t mod(uint64_t x) const {
        uint64_t r = x - static_cast<uint64_t>((static_cast<unsigned __int128>(x) * inverse_) >> 64) * q_;
        while (r >= q_) r -= q_;
        return r;
    }

    static uint64_t next_random() {
        static uint64_t state = 0x9e3779b97f4a7c15ULL;
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }

    // r with p^r about 2^10 for the least prime p of q (1 for a large
    // prime), at most 6: the cost of a product grows as r^2.
    int32_t extension_degree() {
        if (least_prime_of_ != q_) {
            least_prime_of_ = q_;
            least_prime_ = q_;
            for (uint64_t p = 2; p * p <= q_; p++)
                if (q_ % p == 0) {
                    least_prime_ = p;
                    break;
                }
        }
        int32_t r = 1;
        for (uint64_t size = least_prime_; size < 1024 && r < 6; size *= least_prime_) r++;
        return r;
    }

    // Whether the square of a prime divides q, found once a modulus.
    bool square_divides() {
        if (square_of_ != q_) {
            square_of_ = q_;
            square_ = false;
            uint64_t n = q_;
            for (uint64_t p = 2; p * p <= n && !square_; p++) {
                if (n % p) continue;
                n /= p;
                square_ = n % p == 0;
            }
        }
        return square_;
    }

    void set_extension(int32_t r) {
        r_ = r;
        if (r == 1) return;
        f_.assign(static_cast<size_t>(r), 0);
        for (uint64_t& c : f_) c = next_random() % q_;
    }

    static const imag* coefficient(const polynode* t) {
        if (t->numb) return t->ncoef;
        return t->pcoef && t->pcoef->numb && !t->pcoef->next ? t->pcoef->ncoef : nullptr;
    }

    uint64_t word(const imag* c) const {
        if (modular_) {
            if (c->value >= 0 && static_cast<uint64_t>(c->value) < q_) return static_cast<uint64_t>(c->value);
            const int64_t r = c->value % static_cast<int64_t>(q_);
            return static_cast<uint64_t>(r < 0 ? r + static_cast<int64_t>(q_) : r);
        }
        if (c->count == 1) {   // one signed digit, below q in size
            const int64_t r = c->head->digit;
            return static_cast<uint64_t>(r < 0 ? r + static_cast<int64_t>(q_) : r);
        }
        return static_cast<uint64_t>(chain_residue(c, static_cast<int32_t>(q_)));
    }

    // Lazy: the word left unreduced, for a sum reduced at its end.
    template <bool Lazy = false>
    void add(uint64_t* acc, int32_t e, const imag* c) const {
        uint64_t& w = acc[static_cast<size_t>(e * r_)];
        w += word(c);
        if (!Lazy && w >= q_) w -= q_;
    }

    // c (2r - 1 words) := a·b in Z/q[z], then reduced modulo f into its
    // first r words.
    void z_product(const uint64_t* a, const uint64_t* b, uint64_t* c) const {
        std::fill(c, c + 2 * r_ - 1, 0);
        for (int32_t i = 0; i < r_; i++)
            for (int32_t j = 0; j < r_; j++) {
                c[i + j] += a[i] * b[j];
                if (q_ >= SMALL_Q) c[i + j] = mod(c[i + j]);
            }
        z_reduce(c, 2 * r_ - 2);
    }

    // c of degree up to top in z reduced modulo f.
    void z_reduce(uint64_t* c, int32_t top) const {
        for (int32_t k = top; k >= r_; k--) {
            const uint64_t lead = mod(c[k]);
            c[k] = 0;
            for (int32_t j = 0; j < r_; j++) {
                c[k - r_ + j] += (q_ - f_[j]) * lead;
                if (q_ >= SMALL_Q) c[k - r_ + j] = mod(c[k - r_ + j]);
            }
        }
        for (int32_t j = 0; j < r_ && j <= top; j++) c[j] = mod(c[j]);
    }

    // h (an element) := h·x^gap, x a point value (r words); w holds 4r words.
    void scale(uint64_t* h, const uint64_t* x, int64_t gap, uint64_t* w) const {
        if (gap == 0) return;
        uint64_t* pw = w;          // x^gap
        uint64_t* tmp = w + r_;    // 2r - 1 words
        if (r_ == 1) {
            uint64_t b = x[0], e = 1;
            for (int64_t g = gap; g > 0; g >>= 1, b = mod(b * b))
                if (g & 1) e = mod(e * b);
            for (int32_t j = 0; j < d_; j++) h[j] = mod(h[j] * e);
            return;
        }
        if (gap == 1) {
            std::copy(x, x + r_, pw);
        } else {
            // x^gap by squaring: pw := 1, and w's last r words hold the square.
            uint64_t* sq = tmp + 2 * r_ - 1;
            std::fill(pw, pw + r_, 0);
            pw[0] = 1;
            std::copy(x, x + r_, sq);
            for (int64_t g = gap;; g >>= 1) {
                if (g & 1) {
                    z_product(pw, sq, tmp);
                    std::copy(tmp, tmp + r_, pw);
                }
                if (g == 1) break;
                z_product(sq, sq, tmp);
                std::copy(tmp, tmp + r_, sq);
            }
        }
        for (int32_t j = 0; j < d_; j++) {
            z_product(h + j * r_, pw, tmp);
            std::copy(tmp, tmp + r_, h + j * r_);
        }
    }

    // acc += p, p at the kept levels.
    template <bool Lazy = false>
    bool add_kept(polynode* p, uint64_t* acc) const {
        if (p->numb) {
            add<Lazy>(acc, 0, p->ncoef);
            return true;
        }
        for (polynode* t = p; t; t = t->next) {
            const imag* c = coefficient(t);
            if (!c || t->exp < 0 || t->exp >= d_) return false;
            add<Lazy>(acc, t->exp, c);
        }
        return true;
    }

    // acc (an element) += p at the point, p at rec's level (the free level
    // `at` of the point). A level at 0 reads its constant term alone, a
    // level at 1 sums its coefficients. False for a shape not read here.
    bool eval_add(polynode* p, pt* rec, size_t at, uint64_t* acc) {
        if (p->numb) {
            add(acc, 0, p->ncoef);
            return true;
        }
        if (rec == kept_) return add_kept(p, acc);
        if (at >= ones_from_) {
            // Words below 2^32 summed unreduced cannot wrap: fewer than 2^32 terms.
            if (q_ > UINT32_MAX) return sum_ones<false>(p, rec, acc);
            const bool read = sum_ones<true>(p, rec, acc);
            for (int32_t j = 0; j < d_ * r_; j++) acc[j] = mod(acc[j]);
            return read;
        }
        const uint64_t* x = point_.data() + at * static_cast<size_t>(r_);
        const bool scalar = std::all_of(x + 1, x + r_, [](uint64_t w) { return w == 0; });
        if (scalar && x[0] == 0) {
            while (p->next) p = p->next;
            if (p->exp != 0) return p->exp > 0;
            if (p->numb) add(acc, 0, p->ncoef);
            return p->numb || eval_add(p->pcoef, rec->next, at + 1, acc);
        }
        if (scalar && x[0] == 1) {
            for (polynode* t = p; t; t = t->next) {
                if (t->exp < 0) return false;
                if (t->numb) add(acc, 0, t->ncoef);
                else if (!(rec->next == kept_ ? add_kept(t->pcoef, acc) : eval_add(t->pcoef, rec->next, at + 1, acc)))
                    return false;
            }
            return true;
        }
        if (r_ == 1 && q_ <= UINT32_MAX && p->exp <= TABLE_TOP) return scalar_add(p, rec, at, x[0], acc);
        if (r_ > 1 && p->exp <= TABLE_TOP) return power_sum_add(p, rec, at, x, acc);
        return horner_add(p, rec, at, x, acc);
    }

    // eval_add at a level whose value is a number of Z/q other than 0 and
    // 1: each term's value times its power of x, the powers kept for the
    // point. Words below 2^32: a product and a reduced word fit in one.
    [[gnu::noinline]] bool scalar_add(polynode* p, pt* rec, size_t at, uint64_t x, uint64_t* acc) {
        std::vector<uint64_t>& pw = powers_[at];
        if (pw.empty()) pw.push_back(1);
        while (pw.size() <= static_cast<size_t>(p->exp)) pw.push_back(mod(pw.back() * x));
        uint64_t* inner = scratch_ + at * static_cast<size_t>(d_ + 4);
        for (polynode* t = p; t; t = t->next) {
            if (t->exp < 0) return false;
            const uint64_t xe = pw[static_cast<size_t>(t->exp)];
            if (t->numb) {
                acc[0] = mod(acc[0] + word(t->ncoef) * xe);
                continue;
            }
            std::fill(inner, inner + d_, 0);
            if (!(rec->next == kept_ ? add_kept(t->pcoef, inner) : eval_add(t->pcoef, rec->next, at + 1, inner)))
                return false;
            for (int32_t j = 0; j < d_; j++) acc[j] = mod(acc[j] + inner[j] * xe);
        }
        return true;
    }

    // The powers of the level's point up to x^top, extended on demand and
    // kept for the point: each term then costs one product by its power,
    // and a number coefficient r word products, with no power steps.
    const uint64_t* powers(size_t at, const uint64_t* x, int64_t top) {
        std::vector<uint64_t>& pw = powers_[at];
        const size_t r = static_cast<size_t>(r_);
        if (pw.empty()) {
            pw.assign(r, 0);
            pw[0] = 1;
        }
        size_t have = pw.size() / r;
        if (have <= static_cast<size_t>(top)) {
            pw.resize((static_cast<size_t>(top) + 1) * r);
            std::vector<uint64_t> tmp(2 * r - 1);
            for (; have <= static_cast<size_t>(top); have++) {
                z_product(pw.data() + (have - 1) * r, x, tmp.data());
                std::copy(tmp.begin(), tmp.begin() + r_, pw.begin() + static_cast<std::ptrdiff_t>(have * r));
            }
        }
        return pw.data();
    }

    // eval_add at a level whose value is no 0 or 1, over Z/q[z]/(f): the sum
    // of the terms times the point's powers from the table.
    [[gnu::noinline]] bool power_sum_add(polynode* p, pt* rec, size_t at, const uint64_t* x, uint64_t* acc) {
        const size_t e = static_cast<size_t>(d_ * r_);
        const size_t r = static_cast<size_t>(r_);
        std::vector<uint64_t>& buf = level_buf_[at];
        const size_t row_words = static_cast<size_t>(d_) * (2 * r - 1);
        if (buf.size() < 2 * e + 3 * r + row_words) buf.resize(2 * e + 3 * r + row_words);
        uint64_t* h = buf.data();            // the sum, reduced
        uint64_t* inner = h + e;             // a coefficient's value
        uint64_t* tmp = inner + e;           // 2r - 1 words
        uint64_t* lazy = tmp + 2 * r - 1;    // number terms' sum, left unreduced below SMALL_Q
        uint64_t* rows = lazy + r;           // below SMALL_Q the unreduced products, 2r - 1 words a row
        std::fill(h, h + e, 0);
        std::fill(rows, rows + row_words, 0);
        std::fill(lazy, lazy + r, 0);
        const uint64_t* pw = powers(at, x, p->exp);
        const bool small = q_ < SMALL_Q;
        bool rows_used = false;
        for (polynode* t = p; t; t = t->next) {
            if (t->exp < 0) return false;
            const uint64_t* xe = pw + static_cast<size_t>(t->exp) * r;
            if (t->numb || t->pcoef->numb) {
                // Products below 2^32, fewer than 2^32 terms: no wrap.
                const uint64_t c = word(t->numb ? t->ncoef : t->pcoef->ncoef);
                if (small) {
                    for (size_t i = 0; i < r; i++) lazy[i] += c * xe[i];
                } else {
                    for (size_t i = 0; i < r; i++) lazy[i] = mod(lazy[i] + c * xe[i]);
                }
                continue;
            }
            std::fill(inner, inner + e, 0);
            if (!eval_add(t->pcoef, rec->next, at + 1, inner)) return false;
            if (small) {
                rows_used = true;
                // Below SMALL_Q a row's products are summed unreduced and
                // reduced modulo f once at the end: at most TABLE_TOP + 1
                // terms of r products under 2^32 each.
                for (int32_t j = 0; j < d_; j++) {
                    uint64_t* wide = rows + j * (2 * r_ - 1);
                    const uint64_t* a = inner + j * r_;
                    for (int32_t u = 0; u < r_; u++) {
                        const uint64_t au = a[u];
                        if (!au) continue;
                        for (int32_t v = 0; v < r_; v++) wide[u + v] += au * xe[v];
                    }
                }
                continue;
            }
            for (int32_t j = 0; j < d_; j++) {
                z_product(inner + j * r_, xe, tmp);
                uint64_t* hj = h + j * r_;
                for (size_t i = 0; i < r; i++) {
                    hj[i] += tmp[i];
                    if (hj[i] >= q_) hj[i] -= q_;
                }
            }
        }
        for (size_t i = 0; i < r; i++) {
            h[i] = mod(h[i] + mod(lazy[i]));
        }
        if (rows_used) {
            for (int32_t j = 0; j < d_; j++) {
                uint64_t* wide = rows + j * (2 * r_ - 1);
                z_reduce(wide, 2 * r_ - 2);
                uint64_t* hj = h + j * r_;
                for (int32_t i = 0; i < r_; i++) hj[i] = mod(hj[i] + wide[i]);
            }
        }
        for (size_t j = 0; j < e; j++) {
            acc[j] += h[j];
            if (acc[j] >= q_) acc[j] -= q_;
        }
        return true;
    }

    // eval_add where this level and every free level inward are at 1: the
    // sum of the coefficients, without reading the point at each node.
    template <bool Lazy>
    bool sum_ones(polynode* p, pt* rec, uint64_t* acc) const {
        for (polynode* t = p; t; t = t->next) {
            if (t->exp < 0) return false;
            if (t->numb) add<Lazy>(acc, 0, t->ncoef);
            else if (!(rec->next == kept_ ? add_kept<Lazy>(t->pcoef, acc)
                                          : t->pcoef->numb ? (add<Lazy>(acc, 0, t->pcoef->ncoef), true)
                                                           : sum_ones<Lazy>(t->pcoef, rec->next, acc)))
                return false;
        }
        return true;
    }

    // eval_add at a level whose value is no 0 or 1: Horner's rule in the
    // level's scratch. Kept apart so that the sums stay light.
    [[gnu::noinline]] bool horner_add(polynode* p, pt* rec, size_t at, const uint64_t* x, uint64_t* acc) {
        const size_t e = static_cast<size_t>(d_ * r_);
        uint64_t* h = scratch_ + at * (e + static_cast<size_t>(4 * r_));
        uint64_t* w = h + e;
        std::fill(h, h + e, 0);
        int64_t prev = p->exp;
        for (polynode* t = p; t; t = t->next) {
            if (t->exp < 0) return false;
            scale(h, x, prev - t->exp, w);
            if (t->numb) add(h, 0, t->ncoef);
            else if (!eval_add(t->pcoef, rec->next, at + 1, h)) return false;
            prev = t->exp;
        }
        scale(h, x, prev, w);
        for (size_t j = 0; j < e; j++) {
            acc[j] += h[j];
            if (acc[j] >= q_) acc[j] -= q_;
        }
        return true;
    }

    // c := a·b modulo the relation, f and q, in its first d r words
    // (c holds (2d - 1)(2r - 1) words; row j of t^j has 2r - 1 words).
    void product(const uint64_t* a, const uint64_t* b, uint64_t* c) const {
        if (r_ == 1 && lazy_ && d_ <= 2) {   // no relation, or a quadratic one: most rings compared
            if (d_ == 1) {
                c[0] = mod(a[0] * b[0]);
                return;
            }
            const uint64_t top = mod(a[1] * b[1]);
            const uint64_t c0 = a[0] * b[0] + (q_ - m_[0]) * top, c1 = a[0] * b[1] + a[1] * b[0] + (q_ - m_[1]) * top;
            c[0] = mod(c0);
            c[1] = mod(c1);
            return;
        }
        if (r_ == 1 && lazy_) {
            // A word takes all its products and reductions, (2d - 1) q^2
            // at most, before its remainder.
            std::fill(c, c + 2 * d_ - 1, 0);
            for (int32_t i = 0; i < d_; i++)
                for (int32_t j = 0; j < d_; j++) c[i + j] += a[i] * b[j];
            for (int32_t k = 2 * d_ - 2; k >= d_; k--) {
                const uint64_t top = mod(c[k]);
                for (int32_t j = 0; j < d_; j++) c[k - d_ + j] += (q_ - m_[j]) * top;
            }
            for (int32_t j = 0; j < d_; j++) c[j] = mod(c[j]);
            return;
        }
        if (r_ == 1) {
            std::fill(c, c + 2 * d_ - 1, 0);
            for (int32_t i = 0; i < d_; i++)
                for (int32_t j = 0; j < d_; j++) c[i + j] = mod(c[i + j] + a[i] * b[j]);
            for (int32_t k = 2 * d_ - 2; k >= d_; k--)
                for (int32_t j = 0; j < d_; j++) c[k - d_ + j] = mod(c[k - d_ + j] + (q_ - m_[j]) * c[k]);
            return;
        }
        const int32_t row = 2 * r_ - 1;
        std::fill(c, c + (2 * d_ - 1) * row, 0);
        for (int32_t i = 0; i < d_; i++)
            for (int32_t j = 0; j < d_; j++)
                for (int32_t u = 0; u < r_; u++) {
                    const uint64_t au = a[i * r_ + u];
                    if (!au) continue;
                    uint64_t* cr = c + (i + j) * row + u;
                    for (int32_t v = 0; v < r_; v++) cr[v] = mod(cr[v] + au * b[j * r_ + v]);
                }
        for (int32_t k = 2 * d_ - 2; k >= d_; k--)
            for (int32_t j = 0; j < d_; j++) {
                const uint64_t neg = q_ - m_[j];
                for (int32_t v = 0; v < row; v++)
                    c[(k - d_ + j) * row + v] = mod(c[(k - d_ + j) * row + v] + neg * c[k * row + v]);
            }
        for (int32_t j = 0; j < d_; j++) {
            z_reduce(c + j * row, row - 1);
            std::copy(c + j * row, c + j * row + r_, c + j * r_);   // rows packed to r words
        }
    }
};

// The image of x·y at the kept levels (null for 0 in either).
polynode* image_product(polynode* x, polynode* y, pt* kept) {
    polynode* r = nullptr;
    if (!x || !y) poly_set(0, &r);
    else poly_mult(x, y, &r, kept);
    return r;
}

bool differ(polynode* na, polynode* db, polynode* nb, polynode* da, pt* kept, bool negated) {
    PolyHold left(image_product(na, db, kept)), right(image_product(nb, da, kept));
    if (poly_iszero(left.p) || poly_iszero(right.p)) return poly_iszero(left.p) != poly_iszero(right.p);
    return negated ? !poly_neg(left.p, right.p) : !poly_equal(left.p, right.p);
}

}  // namespace

int images_differ(const quoly* a, const quoly* b, bool negated) {
    // Machine integers wrap and integer-only evaluation refuses large
    // values: the images are left to the exact products there; so are
    // Laurent exponents, which have no value at 0.
    if ((lintmode && !modularmode) || integerflag || laurent) return 0;
    pt* kept = kept_levels();
    if (kept == polynames) return 0;   // no free level: the images would be the products themselves
    Part na(a, false), da(a, true), nb(b, false), db(b, true);
    static WordImages words;   // its buffers kept from one comparison to the next
    if (words.start(kept)) {
        // Past the end terms, which are free. The products read the stored
        // parts in place, where the walk of the terms and the new nodes
        // weigh as much as the words' arithmetic.
        Budget budget(na.p, db.p, nb.p, da.p, 4, 700);
        return words.differ(na.p, db.p, nb.p, da.p, negated, budget) ? 1 : 0;
    }
    // Towers and GF(2^k): these images are the only probes, so they may
    // take a quarter. The origin reads the parts' last terms; 1 sums every
    // coefficient into an element of the kept levels (up to the product of
    // the relations' degrees terms), each image then two products.
    Budget budget(na.p, db.p, nb.p, da.p, 4, 500);
    int64_t kept_terms = 1;
    for (pt* rec = kept; rec; rec = rec->next) kept_terms *= std::max<int64_t>(1, rec->modout_degree);
    if (!budget.spend(20 * budget.nodes() + 200 * kept_terms * kept_terms)) return 0;
    if (differ(at_zero(na.p, polynames, kept), at_zero(db.p, polynames, kept), at_zero(nb.p, polynames, kept),
               at_zero(da.p, polynames, kept), kept, negated))
        return 1;
    const int64_t per_node = modularmode || finf ? 120 : 300;   // a sum of elements, on words or digits
    if (!budget.spend(per_node * budget.nodes() + 400 * kept_terms * kept_terms)) return 0;
    PolyHold na1(at_one(na.p, polynames, kept)), db1(at_one(db.p, polynames, kept));
    PolyHold nb1(at_one(nb.p, polynames, kept)), da1(at_one(da.p, polynames, kept));
    return differ(na1.p, db1.p, nb1.p, da1.p, kept, negated) ? 1 : 0;
}
