#include "quoly/prime_power_images.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "numbers/ring.h"
#include "poly/polyvars.h"

using std::size_t;

namespace {

// GF(p^r) by its logarithms to a primitive element g: an element is its
// logarithm, ZERO for 0; a product adds logarithms and a sum reads the
// Zech table, zech[n] = log(1 + g^n).
class LogField {
  public:
    static constexpr uint32_t ZERO = UINT32_MAX;

    // The field for p, built once a modulus; false where p is too large
    // for tables (a prime that large leaves Z/q few non-units).
    bool set(uint64_t p) {
        if (p == p_) return ok_;
        p_ = p;
        ok_ = p < 65536 && build();
        return ok_;
    }

    uint32_t order() const { return order_; }   // p^r - 1
    uint32_t of_residue(uint64_t c) const { return c ? log_of_[c] : ZERO; }
    uint32_t neg(uint32_t a) const { return a == ZERO ? a : step(a, half_); }

    uint32_t mul(uint32_t a, uint32_t b) const { return a == ZERO || b == ZERO ? ZERO : step(a, b); }

    uint32_t add(uint32_t a, uint32_t b) const {
        if (a == ZERO) return b;
        if (b == ZERO) return a;
        const uint32_t z = zech_[b >= a ? b - a : b + order_ - a];
        return z == ZERO ? ZERO : step(a, z);
    }

  private:
    uint64_t p_ = 0;
    bool ok_ = false;
    uint32_t order_ = 0, half_ = 0;
    std::vector<uint32_t> zech_, log_of_;

    uint32_t step(uint32_t a, uint32_t b) const {
        const uint32_t s = a + b;
        return s >= order_ ? s - order_ : s;
    }

    // The least r with p^r >= 2048 (a nonzero polynomial of degree n
    // vanishes at a share n/p^r of the points), made even where the table
    // stays small, so that quadratic relations have their roots; then a monic f of degree r
    // whose z has order p^r - 1, found by walking z's powers, elements
    // coded as base-p numbers.
    bool build() {
        uint32_t size = static_cast<uint32_t>(p_);
        int r = 1;
        while (size < 2048) size *= static_cast<uint32_t>(p_), r++;
        if (r % 2 && static_cast<uint64_t>(size) * p_ <= 131072) size *= static_cast<uint32_t>(p_), r++;
        order_ = size - 1;
        half_ = p_ == 2 ? 0 : order_ / 2;
        std::vector<uint32_t> log(size), power(size);
        std::vector<uint32_t> digits(static_cast<size_t>(r) + 1), f(static_cast<size_t>(r));
        uint64_t state = 0x2545f4914f6cdd1dULL;
        for (int tries = 0; tries < 4000; tries++) {
            for (uint32_t& c : f) {
                state ^= state << 13, state ^= state >> 7, state ^= state << 17;
                c = static_cast<uint32_t>(state % p_);
            }
            if (f[0] == 0) continue;
            std::fill(log.begin(), log.end(), ZERO);
            uint32_t code = 1, n = 0;
            while (log[code] == ZERO) {
                log[code] = n;
                power[n++] = code;
                // code := code·z modulo f, z^r = -(f_{r-1} z^{r-1} + ... + f_0)
                for (int i = 0; i < r; i++, code /= static_cast<uint32_t>(p_)) digits[static_cast<size_t>(i)] = code % p_;
                const uint64_t top = digits[static_cast<size_t>(r - 1)];
                uint32_t next = 0;
                for (int i = r - 1; i >= 0; i--) {
                    const uint64_t below = i > 0 ? digits[static_cast<size_t>(i - 1)] : 0;
                    next = next * static_cast<uint32_t>(p_) +
                           static_cast<uint32_t>((below + (p_ - f[static_cast<size_t>(i)]) * top) % p_);
                }
                code = next;
            }
            if (n != order_) continue;
            zech_.assign(order_, ZERO);
            for (uint32_t k = 0; k < order_; k++) {
                const uint32_t c = power[k];
                const uint32_t one_more = c % p_ == p_ - 1 ? c - static_cast<uint32_t>(p_ - 1) : c + 1;
                zech_[k] = one_more ? log[one_more] : ZERO;
            }
            log_of_.assign(p_, ZERO);
            for (uint64_t c = 1; c < p_; c++) log_of_[c] = log[c];
            return true;
        }
        return false;
    }
};

uint64_t next_random() {
    static uint64_t state = 0x853c49e6748fea9bULL;
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// Reads parts modulo p^k (pk) for one prime p of the modulus.
struct PrimePower {
    uint64_t q, p, pk;
    int k;
    const LogField* field;
    std::vector<uint32_t> point;   // a logarithm a level, outermost first

    const uint32_t* logs_data;   // a residue's logarithm modulo p, for the residues below q up to 2^16
    uint64_t logs_size;

    uint64_t word(const imag* c) const {
        if (c->value >= 0 && static_cast<uint64_t>(c->value) < q) return static_cast<uint64_t>(c->value);
        const int64_t v = c->value % static_cast<int64_t>(q);
        return static_cast<uint64_t>(v < 0 ? v + static_cast<int64_t>(q) : v);
    }

    uint64_t residue(const imag* c) const { return word(c) % pk; }

    // The logarithm of x^gap, x a logarithm; gaps are mostly 1.
    static uint32_t power(uint32_t x, int64_t gap, uint64_t order) {
        if (x == LogField::ZERO) return x;
        return gap == 1 ? x : static_cast<uint32_t>(x * static_cast<uint64_t>(gap) % order);
    }

    // The least power of p over the coefficients (k for 0 modulo p^k);
    // stops at the first unit.
    int valuation(const polynode* t, int least) const {
        for (; t && least > 0; t = t->next) {
            if (!t->numb) {
                least = valuation(t->pcoef, least);
                continue;
            }
            uint64_t c = residue(t->ncoef);
            int v = 0;
            if (c == 0) continue;
            while (c % p == 0) c /= p, v++;
            if (v < least) least = v;
        }
        return least;
    }

    // The polynomial divided by p^v, modulo p, at the point (Horner's rule
    // over the decreasing exponents). False for a negative exponent.
    bool value(const polynode* t, size_t level, uint64_t scale, uint32_t* out) const {
        const LogField& f = *field;
        uint32_t h = LogField::ZERO;
        const uint32_t x = level < point.size() ? point[level] : 0;
        int64_t prev = t->exp;
        if (prev < 0) return false;
        for (; t; t = t->next) {
            if (t->exp < 0) return false;
            if (prev != t->exp) h = f.mul(h, power(x, prev - t->exp, f.order()));
            uint32_t c;
            if (t->numb) {
                c = log_of(t->ncoef, scale);
            } else if (!value(t->pcoef, level + 1, scale, &c)) {
                return false;
            }
            h = f.add(h, c);
            prev = t->exp;
        }
        if (prev) h = f.mul(h, power(x, prev, f.order()));
        *out = h;
        return true;
    }

    uint32_t log_of(const imag* c, uint64_t scale) const {
        if (scale == 1 && c->value >= 0 && static_cast<uint64_t>(c->value) < logs_size) return logs_data[c->value];
        return field->of_residue(word(c) % pk / scale % p);
    }

    // A product's power of p (k or more for 0 modulo p^k) and its reduced
    // part's value; false for a shape not read.
    bool product(const polynode* a, const polynode* b, int* v, uint32_t* image) const {
        const int va = valuation(a, k), vb = valuation(b, k);
        *v = va + vb;
        if (*v >= k) return true;
        uint64_t sa = 1, sb = 1;
        for (int i = 0; i < va; i++) sa *= p;
        for (int i = 0; i < vb; i++) sb *= p;
        uint32_t ia, ib;
        if (!value(a, 0, sa, &ia) || !value(b, 0, sb, &ib)) return false;
        *image = field->mul(ia, ib);
        return true;
    }
};

// A root in the field of the relation t^d + m[d-1] t^(d-1) + ... + m[0]
// read modulo p (the words modulo q), kept for the last relation and
// field; false where it has none there. t at a root is a homomorphism from
// Z/p^k[t]/(m) onto the field.
bool relation_root(const LogField& f, uint64_t p, const uint64_t* m, int32_t d, size_t slot, uint32_t* root) {
    struct Kept {
        const LogField* field = nullptr;
        uint64_t p = 0;
        std::vector<uint64_t> m;
        bool found = false;
        uint32_t root = 0;
    };
    static Kept kept[3];
    Kept& k = kept[slot];
    if (k.field == &f && k.p == p && k.m.size() == static_cast<size_t>(d) && std::equal(m, m + d, k.m.begin())) {
        *root = k.root;
        return k.found;
    }
    k.field = &f, k.p = p, k.m.assign(m, m + d), k.found = false;
    std::vector<uint32_t> c(static_cast<size_t>(d));
    for (int32_t j = 0; j < d; j++) c[static_cast<size_t>(j)] = f.of_residue(m[j] % p);
    for (uint32_t e = 0; e <= f.order() && !k.found; e++) {
        const uint32_t x = e == f.order() ? LogField::ZERO : e;
        uint32_t h = 0;   // the leading 1
        for (int32_t j = d - 1; j >= 0; j--) h = f.add(f.mul(h, x), c[static_cast<size_t>(j)]);
        if (h == LogField::ZERO) k.found = true, k.root = x;
    }
    *root = k.root;
    return k.found;
}

}  // namespace

bool prime_power_images_differ(polynode* na, polynode* db, polynode* nb, polynode* da, bool negated,
                               const uint64_t* relation, int32_t degree) {
    if (!modularmode || finf || mod_is_prime || modulus < 4) return false;
    static LogField fields[3];   // tables kept from one comparison to the next
    const uint64_t q = static_cast<uint64_t>(modulus);
    size_t levels = 0;
    for (pt* rec = polynames; rec; rec = rec->next) levels++;
    // The modulus's prime factors, found once a modulus: trial division
    // by every number to the square root of a large prime factor would
    // cost more than the comparison.
    static uint64_t factored = 0;
    static std::vector<uint64_t> primes;
    if (factored != q) {
        primes.clear();
        uint64_t rest = q;
        for (uint64_t p = 2; rest > 1 && primes.size() < 3; p++) {
            if (p * p > rest) p = rest;   // the last prime factor
            if (rest % p) continue;
            primes.push_back(p);
            while (rest % p == 0) rest /= p;
        }
        factored = q;
    }
    for (size_t slot = 0; slot < primes.size(); slot++) {
        const uint64_t p = primes[slot];
        static std::vector<uint32_t> logs[3];
        static uint64_t logs_for[3];   // the modulus of each table
        PrimePower pp{q, p, 1, 0, nullptr, {}, nullptr, 0};
        for (uint64_t rest = q; rest % p == 0; rest /= p) pp.pk *= p, pp.k++;
        if (!fields[slot].set(p)) continue;
        if (logs_for[slot] != q) {
            logs_for[slot] = q;
            logs[slot].resize(std::min<uint64_t>(q, 65536));
            for (uint64_t w = 0; w < logs[slot].size(); w++) logs[slot][w] = fields[slot].of_residue(w % pp.pk % p);
        }
        pp.logs_data = logs[slot].data();
        pp.logs_size = logs[slot].size();
        pp.field = &fields[slot];
        pp.point.resize(levels);
        for (uint32_t& x : pp.point) x = static_cast<uint32_t>(next_random() % pp.field->order());
        // Under a relation (the innermost level) its variable goes to a root.
        if (relation && !relation_root(fields[slot], p, relation, degree, slot, &pp.point.back())) continue;
        int vl = 0, vr = 0;
        uint32_t left = LogField::ZERO, right = LogField::ZERO;
        if (!pp.product(na, db, &vl, &left) || !pp.product(nb, da, &vr, &right)) return false;
        if (negated) right = pp.field->neg(right);
        // A product whose reduced part is not 0 has exactly its power of p.
        if (vl < pp.k && vl < vr && left != LogField::ZERO) return true;
        if (vr < pp.k && vr < vl && right != LogField::ZERO) return true;
        if (vl < pp.k && vl == vr && left != right) return true;
    }
    return false;
}
