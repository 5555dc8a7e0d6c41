// Derivatives and integer powers of polynomials.
//
// Both work in place on the caller's slot. The errors they raise of their
// own (an outsized exponent) are found by a read-only pass before anything
// changes, so an unwinding caller still owns an intact polynomial.
#include "poly/powers.h"

#include <climits>
#include <vector>

#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "numbers/residue.h"
#include "poly/exponent_range.h"
#include "poly/laurent.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

inline bool lone_number(const polynode* p) { return p->numb && !p->next; }

void to_polygarb(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

// One term with its coefficient (not the terms after it) to the free lists.
void free_term(polynode* t) {
    if (t->numb)
        free_imag(&t->ncoef);
    else
        free_poly(&t->pcoef);
    to_polygarb(t);
}

// ---------------------------------------------------------------- derivative

// The falling factorial e(e-1)...(e-k+1) is 0 in the ground ring; such a
// term is dropped without forming it. Modulo m a factor e - j is 0 exactly
// when j = e mod m; over a composite modulus the product may vanish as well,
// which the caller notices afterwards.
bool vanishes(int32_t e, int32_t k) {
    if (e >= 0 && e < k) return true;
    if (!modularmode) return false;
    if (finf) return e % 2 == 0 || k > 1;
    if (modulus < 1) return false;
    int64_t r = int64_t{e} % modulus;
    if (r < 0) r += modulus;
    return k > r;
}

// Read-only pass over the level to be differentiated: every surviving term
// must give an exponent e - k in range (error 32 otherwise, nothing changed).
void check_diff(const polynode* p, int32_t k, int32_t level) {
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (level > 1) {
            check_diff(t->pcoef, k, level - 1);
            continue;
        }
        if (!vanishes(t->exp, k)) checked_exponent(int64_t{t->exp} - k);
    }
}

int32_t residue_of(int64_t v) {
    int64_t r = v % modulus;
    if (r < 0) r += modulus;
    return static_cast<int32_t>(r);
}

// e(e-1)...(e-k+1) in a new number record of the ground ring; every factor
// lies in the exponent range (check_diff), so it fits a machine word, one
// or two digits.
imag* falling_factorial(int32_t e, int32_t k) {
    imag* f = new_number();
    if (modularmode) {
        int32_t acc = residue_of(e);
        for (int32_t j = 1; j < k && acc != 0; j++) acc = modmult(acc, residue_of(int64_t{e} - j));
        f->value = acc;
    } else if (lintmode) {
        // Machine integers wrap, as every machine-integer product does.
        uint32_t acc = static_cast<uint32_t>(e);
        for (int32_t j = 1; j < k; j++) acc *= static_cast<uint32_t>(static_cast<int32_t>(int64_t{e} - j));
        f->value = static_cast<int32_t>(acc);
    } else {
        setvalue(e, f);
        imag* factor = new_number();
        for (int32_t j = 1; j < k; j++) {
            setvalue(e - j, factor);
            multiply(f, factor, f);
        }
        free_imag(&factor);
    }
    return f;
}

// The term t at *link has just been shifted: an exponent-0 term over a lone
// number becomes that number node. Returns the link after the term.
polynode** settle(polynode** link, polynode* t) {
    if (t->exp == 0 && lone_number(t->pcoef)) {
        polynode* num = t->pcoef;
        num->next = t->next;
        *link = num;
        to_polygarb(t);
        return &num->next;
    }
    return &t->next;
}

// k-th derivative of the chain at *slot with respect to its own variable.
void diff_chain(polynode** slot, int32_t k) {
    polynode** link = slot;
    while (polynode* t = *link) {
        if (t->numb || vanishes(t->exp, k)) {
            *link = t->next;
            free_term(t);
            continue;
        }
        // In characteristic 2 a survivor has k = 1 and an odd exponent: the
        // factor is 1.
        if (!(modularmode && finf)) {
            polynode* f = new_number_node(falling_factorial(t->exp, k));
            if (!poly_eq_1(f)) poly_mult(f, t->pcoef, &t->pcoef, nilpol);
            free_poly(&f);
            if (poly_iszero(t->pcoef)) {
                *link = t->next;
                free_term(t);
                continue;
            }
        }
        t->exp -= k;
        link = settle(link, t);
    }
    if (!*slot) poly_set(0, slot);
}

void general_chain(polynode** slot, int32_t k, int32_t level) {
    if (level <= 1) {
        diff_chain(slot, k);
        return;
    }
    polynode** link = slot;
    while (polynode* t = *link) {
        // A number is a constant in the deeper variable.
        if (t->numb || lone_number(t->pcoef)) {
            *link = t->next;
            free_term(t);
            continue;
        }
        general_chain(&t->pcoef, k, level - 1);
        if (poly_iszero(t->pcoef)) {
            *link = t->next;
            free_term(t);
            continue;
        }
        link = settle(link, t);
    }
    if (!*slot) poly_set(0, slot);
}

// ---------------------------------------------------------------- powers

// Least and greatest exponent met at each level below p (index 0 = p's own).
void exponent_ranges(const polynode* p, size_t depth, std::vector<int32_t>& lo, std::vector<int32_t>& hi) {
    if (lo.size() <= depth) {
        lo.push_back(0);
        hi.push_back(0);
    }
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (t->exp < lo[depth]) lo[depth] = t->exp;
        if (t->exp > hi[depth]) hi[depth] = t->exp;
        exponent_ranges(t->pcoef, depth + 1, lo, hi);
    }
}

}  // namespace

bool power_exponents_fit(const polynode* p, int64_t n, const pt* rec, int32_t reduced) {
    std::vector<int32_t> lo, hi;
    exponent_ranges(p, 0, lo, hi);
    const pt* v = rec;
    for (size_t d = 0; d < lo.size(); d++) {
        // A level with a mod-out relation is kept below its degree by the
        // products, and so is the level the caller reduces.
        const bool kept = (v && v->relation) || static_cast<int32_t>(d) + 1 == reduced;
        if (v) v = v->next;
        if (kept || (hi[d] == 0 && lo[d] == 0)) continue;
        // Any exponent of 2^31 or more moves a non-zero degree out of range.
        if (n > MAX_EXPONENT) return false;
        if (!exponent_fits(int64_t{hi[d]} * n) || !exponent_fits(int64_t{lo[d]} * n)) return false;
    }
    return true;
}

namespace {

// p^n has exponents within n times each level's range; only the levels
// without a mod-out relation can outgrow 32 bits.
void check_power_exponents(const polynode* p, int32_t n, pt* rec) {
    if (!power_exponents_fit(p, n, rec, 0)) {
        error(156, token.name);
        abandon_statement();
    }
}

// A lone number node raised in place. Modulo a prime a non-zero residue
// has order dividing p - 1 (255 and 65,535 in the characteristic-2 fields),
// which also gives negative exponents a meaning.
void number_node_power(polynode* p, int32_t n) {
    imag* x = p->ncoef;
    if (modularmode && mod_is_prime) {
        if (x->value == 0) return;
        const int64_t order = int64_t{modulus} - 1;
        if (order > 0) {
            int64_t r = int64_t{n} % order;
            if (r < 0) r += order;
            if (r == 0) {
                x->value = 1;
                return;
            }
            number_power(x, static_cast<uint32_t>(r));
            return;
        }
    }
    if (n < 0) {
        tarvex_error("negative exponent", 1);
        return;
    }
    number_power(x, static_cast<uint32_t>(n));
}

// Several variables with polynomial coefficients make squares expensive:
// the products of repeated multiplication by p stay much smaller.
bool by_repeated_multiplication(polynode* p) {
    int32_t terms = 0;
    bool poly_coef = false;
    for (const polynode* t = p; t; t = t->next) {
        terms++;
        if (!t->numb && !lone_number(t->pcoef)) poly_coef = true;
    }
    if (!poly_coef) return false;
    if (terms >= 2) return true;
    return !bysquaring(p->pcoef);
}

}  // namespace

void poly_diff(polynode** slot, int32_t k) {
    check_diff(*slot, k, 1);
    diff_chain(slot, k);
}

void general_poly_diff(polynode** slot, int32_t k, int16_t level) {
    check_diff(*slot, k, level);
    general_chain(slot, k, level);
}

void compute_power(polynode** slot, int32_t n, pt* rec) {
    polynode* p = *slot;
    if (lone_number(p)) {
        number_node_power(p, n);
        return;
    }
    if (n < 0) {
        tarvex_error("negative exponent", 1);
        return;
    }
    if (n == 0) {
        poly_set(1, slot);
        return;
    }
    if (n == 1) return;
    check_power_exponents(p, n, rec);
    if (modularmode && mod_is_prime && n >= modulus && (!pseudo_polynames || modulus <= 9)) {
        poly_mod_prime(slot, n, rec);
        return;
    }

    // One variable, few terms with one-digit coefficients: the recurrence.
    if (!modularmode && !lintmode && !pseudo_polynames && !relation_inward(rec))
        if (polynode* q = polyimpl::power_by_rows(p, n)) {
            free_poly(slot);
            *slot = q;
            return;
        }

    PolyHold r;
    poly_assign(p, &r.p);
    if (polynames && polynames->next && !pseudo_polynames && by_repeated_multiplication(p)) {
        for (int32_t i = 1; i < n; i++) {
            poll_interrupt();
            poly_mult(r.p, p, &r.p, rec);
        }
    } else {
        int bit = 30;
        while (!(n >> bit & 1)) bit--;
        for (bit--; bit >= 0; bit--) {
            poll_interrupt();
            poly_mult(r.p, r.p, &r.p, rec);
            if (n >> bit & 1) poly_mult(r.p, p, &r.p, rec);
        }
    }
    free_poly(slot);
    *slot = r.release();
}

void poly_mod_prime(polynode** slot, int32_t n, pt* rec) {
    const int32_t q = modulus;
    if (n < 1 || q < 2) {
        tarvex_error("negative exponent", 1);
        return;
    }
    std::vector<int32_t> digits;   // least significant first
    for (uint32_t m = static_cast<uint32_t>(n); m; m /= static_cast<uint32_t>(q))
        digits.push_back(static_cast<int32_t>(m % static_cast<uint32_t>(q)));

    PolyHold result, frob;
    if (digits[0] == 0) {
        poly_set(1, &result.p);
    } else {
        poly_assign(*slot, &result.p);
        if (digits[0] > 1) compute_power(&result.p, digits[0], rec);
    }
    poly_assign(*slot, &frob.p);
    for (size_t i = 1; i < digits.size(); i++) {
        // frob := frob^q: the coefficients are fixed by the q-th power map.
        poly_to_prime(frob.p);
        if (pseudo_polynames) total_poly_modout(&frob.p, rec ? rec : pseudo_polynames);
        if (digits[i] == 1) {
            poly_mult(result.p, frob.p, &result.p, rec);
        } else if (digits[i] > 1) {
            PolyHold t;
            poly_assign(frob.p, &t.p);
            compute_power(&t.p, digits[i], rec);
            poly_mult(result.p, t.p, &result.p, rec);
        }
    }
    free_poly(slot);
    *slot = result.release();
}
