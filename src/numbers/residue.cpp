// Residue arithmetic on machine words: sums, products, inverses, powers and
// square roots modulo `modulus`, table look-ups in GF(2^8) and GF(2^16), and
// the conversions between digit numbers and residues.
#include "numbers/residue.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "numbers/base10.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "toplevel/errors.h"

int16_t mod_is_changed = 0;
int alt_form_display = 1;
int quiet_inverse_failures = 0;
const char* quotsign = "/";

int32_t sqrt_mod = -1;
int32_t sqrt_m = 0;
int32_t sqrt_s = 0;
int32_t sqrt_c = 0;

namespace {

// Order of the multiplicative groups of GF(2^8) and GF(2^16); f2t16exp
// wraps at the latter.
constexpr uint32_t F256_ORDER = 255;
constexpr uint32_t F2T16_ORDER = 65535;

inline uint32_t u32(int32_t x) { return static_cast<uint32_t>(x); }
inline int32_t s32(uint32_t x) { return static_cast<int32_t>(x); }

// Reductions that leave x alone under a modulus of 0 instead of trapping.
inline uint32_t rem32(uint32_t x, uint32_t m) { return m ? x % m : x; }
inline uint64_t rem64(uint64_t x, uint64_t m) { return m ? x % m : x; }

// Field products. Operands are masked to the field so that a stray value
// cannot index past the tables.
inline uint32_t f256_product(uint32_t a, uint32_t b) { return f256prod[((a & 0xFF) << 8) | (b & 0xFF)]; }

inline uint32_t f2t16_product(uint32_t a, uint32_t b) {
    a &= 0xFFFF;
    b &= 0xFFFF;
    if (a == 0 || b == 0) return 0;
    uint32_t s = uint32_t{f2t16log[a]} + f2t16log[b];   // at most 2 * 65534
    return f2t16exp[s <= F2T16_ORDER - 1 ? s : s - F2T16_ORDER];
}

// a * b mod m with the product formed in 32 bits when the ground ring's
// modulus is small (operands below 65,535), else in 64 bits.
inline uint32_t word_product(uint32_t a, uint32_t b, uint32_t m) {
    if (smallmodulus) {
        uint32_t p = a * b;
        return p >= m ? rem32(p, m) : p;
    }
    uint64_t p = uint64_t{a} * b;
    return static_cast<uint32_t>(p < m ? p : rem64(p, m));
}

// Extended Euclid on (m, a): returns gcd(m, a) and sets *inv to the
// cofactor of a brought into 0 .. m - 1, so that a * inv = gcd mod m.
uint32_t euclid_inverse(uint32_t a, uint32_t m, uint32_t* inv) {
    uint64_t r0 = m, r1 = a;
    int64_t t0 = 0, t1 = 1;
    while (r1 != 0) {
        uint64_t q = r0 / r1;
        uint64_t r2 = r0 - q * r1;
        int64_t t2 = t0 - static_cast<int64_t>(q) * t1;
        r0 = r1;
        r1 = r2;
        t0 = t1;
        t1 = t2;
    }
    if (m != 0) {
        t0 %= static_cast<int64_t>(m);
        if (t0 < 0) t0 += m;
    }
    *inv = static_cast<uint32_t>(t0);
    return static_cast<uint32_t>(r0);
}

}  // namespace

void refuse_without_inverse() {
    if (quiet_inverse_failures > 0) throw TarvexUnwind(85, quotsign);
    error(85, quotsign);
    abandon_statement();
}

namespace {

// The inverse for the checking variants; error 85 when there is none.
// bad2 prints the value first, as the product variants do.
uint32_t checked_inverse(uint32_t a, bool bad2) {
    uint32_t inv = 0;
    bool ok;
    if (finf) {
        // 0 has no inverse in the fields either; the table would answer 0.
        ok = (a & 0xFFFF) != 0;
        inv = f2t16inv[a & 0xFFFF];
    } else {
        ok = euclid_inverse(a, u32(modulus), &inv) == 1;
    }
    if (!ok) {
        if (quiet_inverse_failures > 0) throw TarvexUnwind(85, quotsign);
        if (bad2) {
            std::printf("bad2: %li\n", static_cast<long>(s32(a)));
            std::fflush(stdout);
        }
        // No answer makes a * inv = 1, and the callers' eliminations count
        // on that to shrink what they divide.
        refuse_without_inverse();
    }
    return inv;
}

// a^e by left-to-right binary powering with modmult; no exponent reduction.
uint32_t power(uint32_t a, uint32_t e) {
    if (e == 0) return 1;
    int bit = 31;
    while (!(e >> bit & 1)) bit--;
    uint32_t r = a;
    for (bit--; bit >= 0; bit--) {
        r = u32(modmult(s32(r), s32(r)));
        if (e >> bit & 1) r = u32(modmult(s32(r), s32(a)));
    }
    return r;
}

// The integer a residue stands for, written into x as a digit number.
void number_from_residue(imag* x) {
    int64_t p = modulus;
    int64_t v = x->value;
    // Field elements are bit patterns: they have no negative representatives.
    if (alt_form_display && !finf && v > (p >> 1)) v -= p;
    LintOff digits;
    setvalue(static_cast<int32_t>(v), x);
}

}  // namespace

// ---------------------------------------------------------------- sums

int32_t mod_add(int32_t a, int32_t b, int32_t m) {
    if (finf) return a ^ b;
    uint32_t s = u32(a) + u32(b);   // below 2^32 for residues of a modulus below 2^31
    return s32(s >= u32(m) ? s - u32(m) : s);
}

int32_t mod_sub(int32_t a, int32_t b, int32_t m) {
    if (finf) return a ^ b;
    int64_t d = int64_t{a} - b;
    return static_cast<int32_t>(d < 0 ? d + m : d);
}

int32_t spec_mod_add(int32_t a, int32_t b, int32_t m) {
    if (m <= 0) return s32(u32(a) + u32(b));
    uint32_t bb;
    if (b < 0)
        bb = u32(b % m + m);   // in 1 .. m: "reduced once more" below takes m to 0
    else
        bb = u32(b >= m ? b % m : b);
    uint32_t s = u32(a) + bb;
    return s32(s >= u32(m) ? s - u32(m) : s);
}

// ---------------------------------------------------------------- products

int32_t modmult(int32_t a, int32_t b) {
    if (f256) return s32(f256_product(u32(a), u32(b)));
    if (f2t16) return s32(f2t16_product(u32(a), u32(b)));
    return s32(word_product(u32(a), u32(b), u32(modulus)));
}

int32_t nmodmult(int32_t a, int32_t b) { return s32(word_product(u32(a), u32(b), u32(modulus))); }

int32_t spec_modmult(int32_t a, int32_t b) {
    uint32_t m = u32(modulus) - 1;
    if (modulus <= 0) m = 0;
    return s32(word_product(u32(a), u32(b), m));
}

int32_t mod_mult(int32_t a, int32_t b, int32_t m) {
    if (f256) return s32(f256_product(u32(a), u32(b)));
    if (f2t16) return s32(f2t16_product(u32(a), u32(b)));
    uint32_t p = u32(a) * u32(b);
    return s32(p >= u32(m) ? rem32(p, u32(m)) : p);
}

// ---------------------------------------------------------------- inverses

void mod_inverse(int32_t a, int32_t* r) {
    if (a == 0) {
        *r = 0;
        tarvex_error("bad seca.", 1);
        return;
    }
    if (finf) {
        *r = f2t16inv[u32(a) & 0xFFFF];
        return;
    }
    uint32_t inv;
    euclid_inverse(u32(a), u32(modulus), &inv);
    *r = s32(inv);
}

void verse(int32_t* x) { mod_inverse(*x, x); }

void emod_inverse(int32_t a, int32_t* r) { *r = s32(checked_inverse(u32(a), false)); }

int32_t imod_inverse(int32_t a) { return s32(checked_inverse(u32(a), true)); }

int32_t inverse_prod(numnode* list) {
    int32_t prod = 1;
    for (numnode* p = list; p; p = p->next) prod = modmult(prod, p->digit);
    return s32(checked_inverse(u32(prod), true));
}

int32_t multi_inverse_prod(numnode* list, int32_t x) {
    int32_t prod = 1;
    for (numnode* p = list; p; p = p->next) prod = modmult(prod, mod_sub(x, p->digit, modulus));
    return s32(checked_inverse(u32(prod), true));
}

// ---------------------------------------------------------------- powers

void mod_number_power(int32_t a, int32_t n, int32_t* r) {
    uint32_t base;
    uint32_t order = 0;   // multiplicative group order, when a lies in the group
    if (finf) {
        base = u32(a) & (f256 ? 0xFF : 0xFFFF);
        if (base != 0) order = f256 ? F256_ORDER : F2T16_ORDER;
    } else {
        base = rem32(u32(a), u32(modulus));
        // a^(p-1) = 1 only in a field: over a composite modulus, or for the
        // base 0, the exponent must be taken as it stands.
        if (base != 0 && mod_is_prime && modulus > 1) order = u32(modulus) - 1;
    }
    uint32_t e;
    if (order != 0) {
        int64_t k = n % static_cast<int64_t>(order);
        e = static_cast<uint32_t>(k < 0 ? k + order : k);
    } else {
        e = n < 0 ? 0 : u32(n);
    }
    *r = s32(power(base, e));
}

int its_a_square(int32_t a) {
    int64_t half = (int64_t{modulus} - 1) / 2;
    if (half <= 0) return a == 1;
    return power(u32(a), static_cast<uint32_t>(half)) == 1;
}

int32_t modular_sqrt(int32_t a) {
    uint32_t p = u32(modulus);
    if (a == 0) return 0;
    // Served for odd primes only; the rest gets the one root that is sure.
    if (modulus < 3 || (p & 1) == 0) return a == 1 ? 1 : 0;
    uint32_t x = rem32(u32(a), p);
    if (x == 0) return 0;
    uint32_t minus1 = p - 1;
    uint32_t r;
    if ((p & 3) == 3) {
        if (p == 3) return x == 1 ? 1 : 0;
        uint32_t w = power(x, (p + 1) / 4 - 1);
        r = u32(modmult(s32(x), s32(w)));
        if (u32(modmult(s32(r), s32(w))) == minus1) return 0;   // r * w = x^((p-1)/2)
    } else {
        if (sqrt_mod != modulus) {
            uint32_t m = p - 1, s = 0;
            while ((m & 1) == 0) {
                m >>= 1;
                s++;
            }
            uint32_t z = 2;
            while (z < p && power(z, (p - 1) / 2) == 1) z++;
            sqrt_m = s32(m);
            sqrt_s = s32(s);
            sqrt_c = s32(power(z, m));
            sqrt_mod = modulus;
        }
        uint32_t m = u32(sqrt_m);
        uint32_t t = power(x, m);
        if (u32(modmult(s32(t), s32(power(x, (p - 1) / 2 - m)))) == minus1) return 0;
        r = power(x, (m + 1) / 2);
        uint32_t c = u32(sqrt_c);
        // Invariant r^2 = x * t; each step halves the order of t with c of
        // order 2^(i+2).
        for (int32_t i = sqrt_s - 2; i >= 1; i--) {
            uint32_t tt = t;
            for (int32_t k = 0; k < i; k++) tt = u32(modmult(s32(tt), s32(tt)));
            if (tt == minus1) {
                t = u32(modmult(s32(t), modmult(s32(c), s32(c))));
                r = u32(modmult(s32(r), s32(c)));
            }
            c = u32(modmult(s32(c), s32(c)));
        }
        if (t == minus1) r = u32(modmult(s32(r), s32(c)));
    }
    return s32(r <= (p - 1) / 2 ? r : p - r);
}

// ---------------------------------------------------------------- conversions

int32_t field_from_limbs(const uint32_t* limbs, size_t count) {
    const uint32_t p = u32(modulus);
    const int32_t base = s32(rem32(u32(TEN_8), p));
    uint32_t r = 0;
    for (size_t k = 0; k < count; k++) r = u32(mod_add(modmult(base, s32(r)), s32(rem32(limbs[k], p)), modulus));
    return s32(r);
}

namespace {

// |n| in GF(2^8) or GF(2^16), as the literal of its decimal digits reads.
// 10^8 is a multiple of 256, so in GF(2^8) only the low bits count.
uint32_t field_from_number(const imag* n) {
    const uint32_t p = u32(modulus);
    if (f256 || (n->count == 1 && std::abs(n->head->digit) < TEN_8))
        return rem32(u32(std::abs(n->tail->digit)), p);
    LintOff digits;
    imag* t = new_number();
    if (n->count > BASE10_VERYBIG_CUT)
        verybig_base_10(n->head, n->tail, n->count, t);
    else
        make_base_10(const_cast<imag*>(n), t);
    std::vector<uint32_t> limbs;
    limbs.reserve(static_cast<size_t>(t->count));
    const numnode* d = t->head;
    for (int32_t k = 0; k < t->count; k++, d = d->next) limbs.push_back(u32(std::abs(d->digit)));
    free_imag(&t);
    return u32(field_from_limbs(limbs.data(), limbs.size()));
}

}  // namespace

void change_num(imag* n, int release, int flag) {
    if (n->count < 1) return;
    uint32_t p = u32(modulus);
    uint32_t r;
    if (n->count > 1) {
        if (verbose && finf && warn_cnt <= 19) {
            std::printf(" *** Warning. outsized values encountered. Expect garbage.\n");
            warn_cnt++;
        }
        if (finf) {
            // As an integer typed in the field is read, so that one integer
            // is one element whether typed or converted.
            r = field_from_number(n);
        } else {
            numnode* d = n->head;
            int64_t h = d->digit;
            r = static_cast<uint32_t>(p ? (h % p + p) % p : h);
            for (d = d->next; d; d = d->next) {
                r = u32(spec_mod_add(modmult(s32(r), two28_mod), d->digit, modulus));
                if (d == n->tail) break;
            }
        }
    } else {
        int32_t d = n->head->digit;
        if (finf) {
            if (verbose && (int64_t{d} >= p || (flag && d < 0)) && warn_cnt < 20) {
                std::printf("*** Warning. in going to finite field, outsized value encountered: %li\n",
                            static_cast<long>(d));
                warn_cnt++;
            }
            r = field_from_number(n);
        } else {
            int64_t v = p ? d % int64_t{p} : d;
            r = static_cast<uint32_t>(v < 0 ? v + p : v);
        }
    }
    n->value = s32(r);
    if (release) {
        give_back_chain(n->head, n->tail);
        n->count = 0;
    }
}

int32_t word_residue(int64_t n) {
    if (modulus <= 0) return static_cast<int32_t>(n);
    if (finf) {
        const uint64_t m = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
        uint32_t limbs[3] = {static_cast<uint32_t>(m / (uint64_t{TEN_8} * TEN_8)),
                             static_cast<uint32_t>(m / TEN_8 % TEN_8), static_cast<uint32_t>(m % TEN_8)};
        return field_from_limbs(limbs, 3);
    }
    const int64_t r = n % modulus;
    return static_cast<int32_t>(r < 0 ? r + modulus : r);
}

void number_into_ring(imag* n) {
    if (!modularmode) return;
    if (n->count > 0)
        change_num(n, 1, 0);
    else
        n->value = word_residue(n->value);
}

void poly_change_from_mod(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb)
            number_from_residue(p->ncoef);
        else
            poly_change_from_mod(p->pcoef);
    }
}

void quoly_change_from_mod(quoly* q) {
    if (!q) return;
    if (q->isnum) {
        number_from_residue(q->nnum);
        return;
    }
    poly_change_from_mod(q->pnum);
    if (q->den) poly_change_from_mod(q->den);
}

// ---------------------------------------------------------------- bracket

void check_modular(int* saved) {
    *saved = modularmode;
    if (modularmode) {
        mod_is_changed++;
        modularmode = 0;
    }
}

void restore_modular(int saved) {
    modularmode = saved;
    // An error that unwinds to the top level zeroes the count before the
    // brackets still open close on the way: it never goes below none open.
    if (saved && mod_is_changed > 0) mod_is_changed--;
}
