// One-variable division modulo a prime: schoolbook, dense and divide and
// conquer; the divide and conquer also serves general polynomials with a
// monic divisor (degrees in the top variable). Inside this file a null
// pointer is the zero polynomial; the zero number node appears only at the
// public boundary.
#include "gcd/onevar_div.h"

#include "gcd/pseudo_div.h"

#include <algorithm>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

int32_t div_poly_cutoff = 6;

namespace {

// ---- terms and residues ----

int32_t deg(const polynode* p) { return p ? (p->numb ? 0 : p->exp) : -1; }
int32_t exp_of(const polynode* t) { return t->numb ? 0 : t->exp; }
int32_t residue(const polynode* t) { return t->numb ? t->ncoef->value : t->pcoef->ncoef->value; }
void set_residue(polynode* t, int32_t v) { (t->numb ? t->ncoef : t->pcoef->ncoef)->value = v; }

bool is_zero(polynode* p) { return !p || poly_iszero(p); }

polynode* number_of(int32_t v) {
    polynode* n = nullptr;
    poly_set(v, &n);
    return n;
}

// A single term v·x^e (a number node when e = 0).
polynode* make_term(int32_t e, int32_t v) {
    polynode* n = number_of(v);
    if (e == 0) return n;
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->pcoef = n;
    t->exp = e;
    t->numb = 0;
    return t;
}

// The term node alone, its coefficient already moved elsewhere.
void free_bare_node(polynode* t) {
    t->next = nullptr;
    t->numb = 0;
    t->pcoef = nullptr;
    free_poly(&t);
}

int32_t negate(int32_t v) { return finf || v == 0 ? v : modulus - v; }

polynode* copy_of(polynode* p) {
    if (is_zero(p)) return nullptr;
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

// The boundary form: null becomes the zero number node.
polynode* boundary(polynode* p) { return p ? p : number_of(0); }

// Slot assignment after the work is done: new values in, old ones freed
// (the two slots may hold the same polynomial, or an operand).
void deliver(polynode** quo, polynode* q, polynode** rem, polynode* r) {
    polynode* old_q = quo ? *quo : nullptr;
    polynode* old_r = rem ? *rem : nullptr;
    if (quo) *quo = boundary(q);
    else free_poly(&q);
    if (rem) *rem = boundary(r);
    else free_poly(&r);
    if (old_r == old_q) old_r = nullptr;
    free_poly(&old_q);
    free_poly(&old_r);
}

// ---- sums, products and shifts of owned polynomials (null = 0) ----

// Which arithmetic the divide and conquer runs in: one-variable residue
// lists (modflag non-zero) or general polynomials under the record rec.
struct Ring {
    int modflag;
    pt* rec;
};

const Ring kResidues{1, nullptr};

polynode* normalised(polynode* p) {
    if (p && is_zero(p)) free_poly(&p);
    return p;
}

polynode* add(const Ring& k, polynode* a, polynode* b) {   // consumes both
    if (!a) return b;
    if (!b) return a;
    polynode* r = nullptr;
    if (k.modflag) simplest_poly_add(a, b, &r);
    else best_poly_add(a, b, &r);
    return normalised(r);
}

polynode* sub(const Ring& k, polynode* a, polynode* b) {   // consumes both
    if (!b) return a;
    if (!a) {
        poly_inplace(b);
        return b;
    }
    polynode* r = nullptr;
    if (k.modflag) simplest_poly_sub(a, b, &r);
    else best_poly_sub(a, b, &r);
    return normalised(r);
}

polynode* mult(const Ring& k, polynode* a, polynode* b) {   // keeps both
    if (!a || !b) return nullptr;
    polynode* r = nullptr;
    if (k.modflag) simplest_poly_mult(a, b, &r, 0, 0, 0, 0);
    else poly_mult(a, b, &r, k.rec);
    return normalised(r);
}

// In place on an owned polynomial: p·x^t (x the top variable), a trailing
// number node wrapped into a term of exponent t.
polynode* shift_up(polynode* p, int32_t t) {
    if (!p || t == 0) return p;
    polynode** link = &p;
    while (*link) {
        polynode* node = *link;
        if (node->numb) {
            polynode* w;
            newpoly(&w);
            w->next = nullptr;
            w->pcoef = node;
            w->exp = t;
            w->numb = 0;
            *link = w;
            break;
        }
        node->exp += t;
        link = &node->next;
    }
    return p;
}

// residues of p times the unit c, in place.
void scale(polynode* p, int32_t c) {
    for (; p; p = p->next) set_residue(p, modmult(residue(p), c));
}

// ---- temporary in-place changes of operands ----

// Splits the chain p at x^k for the guard's lifetime: high holds the terms
// of exponent >= k lowered by k (a term over a lone number landing on
// exponent 0 gives way to that number node), low the rest of the chain
// (untouched). Null parts are 0.
class SplitGuard {
public:
    SplitGuard(polynode* p, int32_t k) : p_(p), k_(k) {
        polynode* before_last = nullptr;
        for (polynode* t = p; t && exp_of(t) >= k; t = t->next) {
            before_last = last_;
            last_ = t;
        }
        if (!last_) {
            low = p;
            return;
        }
        low = last_->next;
        last_->next = nullptr;
        for (polynode* t = p; t; t = t->next) t->exp -= k;
        high = p;
        if (last_->exp == 0 && last_->pcoef->numb && !last_->pcoef->next) {   // c·x^k lowered: c stands for it
            before_ = before_last;
            unwrapped_ = true;
            if (before_) before_->next = last_->pcoef;
            else high = last_->pcoef;
        }
    }
    ~SplitGuard() {
        if (!last_) return;
        if (unwrapped_ && before_) before_->next = last_;
        for (polynode* t = p_;; t = t->next) {
            t->exp += k_;
            if (t == last_) break;
        }
        last_->next = low;
    }
    SplitGuard(const SplitGuard&) = delete;
    SplitGuard& operator=(const SplitGuard&) = delete;

    polynode* high = nullptr;
    polynode* low = nullptr;

private:
    polynode* p_;
    int32_t k_;
    polynode* last_ = nullptr;     // last term of exponent >= k
    polynode* before_ = nullptr;   // the term before it, when it was unwrapped
    bool unwrapped_ = false;
};

// p·x^s in place for the guard's lifetime (s > 0); shifted is the result's head.
class ShiftGuard {
public:
    ShiftGuard(polynode* p, int32_t s) : s_(s) {
        shifted = p;
        polynode** link = &shifted;
        while (*link) {
            polynode* node = *link;
            if (node->numb) {
                newpoly(&wrap_);
                wrap_->next = nullptr;
                wrap_->pcoef = node;
                wrap_->exp = s;
                wrap_->numb = 0;
                *link = wrap_;
                link_ = link;
                break;
            }
            node->exp += s;
            link = &node->next;
        }
    }
    ~ShiftGuard() {
        if (wrap_) *link_ = wrap_->pcoef;
        for (polynode* t = shifted; t && !t->numb; t = t->next) {
            if (t == wrap_) break;
            t->exp -= s_;
        }
        if (wrap_) free_bare_node(wrap_);
    }
    ShiftGuard(const ShiftGuard&) = delete;
    ShiftGuard& operator=(const ShiftGuard&) = delete;

    polynode* shifted;

private:
    int32_t s_;
    polynode* wrap_ = nullptr;
    polynode** link_ = nullptr;
};

// Every residue of p times c for the guard's lifetime; times c_back afterwards.
class ScaleGuard {
public:
    ScaleGuard(polynode* p, int32_t c, int32_t c_back) : p_(p), back_(c_back) { scale(p, c); }
    ~ScaleGuard() { scale(p_, back_); }
    ScaleGuard(const ScaleGuard&) = delete;
    ScaleGuard& operator=(const ScaleGuard&) = delete;

private:
    polynode* p_;
    int32_t back_;
};

// ---- schoolbook ----

// -c·x^e·p as a new polynomial (terms whose product vanishes under a
// composite modulus are left out).
polynode* times_neg_term(polynode* p, int32_t c, int32_t e) {
    const int32_t nc = negate(c);
    polynode* head = nullptr;
    polynode** tail = &head;
    for (; p; p = p->next) {
        const int32_t v = modmult(residue(p), nc);
        if (v == 0) continue;
        *tail = make_term(exp_of(p) + e, v);
        tail = &(*tail)->next;
    }
    return head;
}

// u = q·m + r term by term; q formed only when wanted. r starts as a copy
// of u: the one copy is cheap next to the quadratic loop.
void schoolbook(polynode* u, polynode* m, polynode** q, polynode** r) {
    const int32_t dm = deg(m);
    const int32_t lc = residue(m);
    const int32_t inv = lc == 1 ? 1 : imod_inverse(lc);
    polynode* rest_m = m->next;
    polynode* rem = copy_of(u);
    polynode* quo = nullptr;
    polynode** qtail = &quo;
    while (rem && deg(rem) >= dm) {
        const int32_t c = inv == 1 ? residue(rem) : modmult(residue(rem), inv);
        const int32_t e = deg(rem) - dm;
        if (q) {
            *qtail = make_term(e, c);
            qtail = &(*qtail)->next;
        }
        polynode* head = rem;
        polynode* tail = head->numb ? nullptr : head->next;
        if (head->numb) {   // a constant remainder over a constant divisor
            free_poly(&head);
        } else {
            head->next = nullptr;
            free_poly(&head);
        }
        rem = tail;
        if (rest_m && c != 0) rem = add(kResidues, times_neg_term(rest_m, c, e), rem);
    }
    if (q) *q = quo;
    *r = rem;
}

// ---- dense elimination ----

// xx[0 .. d] := xx mod yy[0 .. dm] (yy's top word non-zero); each step's
// quotient word goes to q[d - dm] when q is given. Returns the remainder's
// degree, -1 when it vanished.
int32_t dense_eliminate(uint32_t* x, const uint32_t* y, int32_t d, int32_t dm, uint32_t* q) {
    const uint32_t p = static_cast<uint32_t>(modulus);
    const uint32_t inv = static_cast<uint32_t>(imod_inverse(static_cast<int32_t>(y[dm])));
    // Below 65,535, (p - c)·y + x stays below 2^32: one remainder per word.
    const bool small = smallmodulus && !finf;
    while (d >= dm) {
        const uint32_t c = static_cast<uint32_t>(modmult(static_cast<int32_t>(x[d]), static_cast<int32_t>(inv)));
        const int32_t s = d - dm;
        if (q) q[s] = c;
        x[d] = 0;
        if (small) {
            const uint32_t nc = p - c;
            for (int32_t j = d - 1; j >= s; j--) x[j] = (y[j - s] * nc + x[j]) % p;
        } else {
            for (int32_t j = d - 1; j >= s; j--) {
                const int32_t prod = modmult(static_cast<int32_t>(c), static_cast<int32_t>(y[j - s]));
                x[j] = static_cast<uint32_t>(mod_sub(static_cast<int32_t>(x[j]), prod, modulus));
            }
        }
        while (d >= 0 && x[d] == 0) d--;
    }
    return d;
}

// ---- divide and conquer (one-variable residue polynomials) ----

void kdiv(const Ring& k, polynode* u, polynode* m, polynode** q, polynode** r);
void three(const Ring& k, polynode* u, polynode* m, polynode** q, polynode** r);

bool base_case_divisor(polynode* m) { return deg(m) < 2 || poly_length(m) < div_poly_cutoff; }

// The base case: the schoolbook loop, or for general polynomials pseudo
// division, which with the monic divisor is plain division.
void base(const Ring& k, polynode* u, polynode* m, polynode** q, polynode** r) {
    if (k.modflag) {
        schoolbook(u, m, q, r);
        return;
    }
    polynode *quo = nullptr, *rem = nullptr;
    pseudo_div(u, m, &quo, &rem, 1, k.rec);
    *q = normalised(quo);
    *r = normalised(rem);
}

void kdiv(const Ring& k, polynode* u, polynode* m, polynode** q, polynode** r) {
    const int32_t du = deg(u), dm = deg(m);
    if (du < dm) {
        *q = nullptr;
        *r = copy_of(u);
        return;
    }
    if (int64_t{3} * du < int64_t{4} * dm || base_case_divisor(m)) {
        base(k, u, m, q, r);
        return;
    }
    const int32_t h = (dm + 1) / 2;
    polynode *q1 = nullptr, *r2 = nullptr;
    {
        SplitGuard ms(m, h);
        SplitGuard us(u, 2 * h);
        polynode* m_high = ms.high;
        polynode* m_low = ms.low;
        polynode* r1 = nullptr;
        if (int64_t{4} * deg(us.high) <= int64_t{9} * deg(m_high)) kdiv(k, us.high, m_high, &q1, &r1);
        else three(k, us.high, m_high, &q1, &r1);
        // u_high·x^(2h) = q1·x^h·m + x^h·(r1·x^h - m_low·q1)
        polynode* t = sub(k, shift_up(r1, h), mult(k, m_low, q1));
        polynode* q2 = nullptr;
        if (t && int64_t{4} * deg(t) > int64_t{9} * deg(m_high)) three(k, t, m_high, &q2, &r2);
        else if (t) kdiv(k, t, m_high, &q2, &r2);
        free_poly(&t);
        r2 = sub(k, shift_up(r2, h), mult(k, m_low, q2));
        r2 = add(k, r2, copy_of(us.low));
        q1 = add(k, shift_up(q1, h), q2);
    }
    if (deg(r2) >= dm) {
        polynode* q3 = nullptr;
        base(k, r2, m, &q3, r);
        free_poly(&r2);
        *q = add(k, q3, q1);
    } else {
        *r = r2;
        *q = q1;
    }
}

void three(const Ring& k, polynode* u, polynode* m, polynode** q, polynode** r) {
    if (base_case_divisor(m)) {
        base(k, u, m, q, r);
        return;
    }
    const int32_t s = static_cast<int32_t>(std::min<int64_t>(deg(u) / 2 - deg(m), int64_t{3} * deg(m) / 5));
    polynode *q0 = nullptr, *r0 = nullptr;
    if (s > 0) {
        ShiftGuard shifted(m, s);
        kdiv(k, u, shifted.shifted, &q0, &r0);
        q0 = shift_up(q0, s);
    } else {
        kdiv(k, u, m, &q0, &r0);
    }
    polynode* q1 = nullptr;
    if (r0) kdiv(k, r0, m, &q1, r);
    else *r = nullptr;
    free_poly(&r0);
    *q = add(k, q0, q1);
}

// u much longer than m (degree k > 0): long division by blocks of k
// coefficients of u from the top, each step a balanced division of the
// running remainder times x^k plus the next block. A loop, not a
// recursion: its length grows with deg u / k. The quotient's blocks come
// out in descending order and are appended (dropped when q is null).
void blockwise(const Ring& ring, polynode* u, polynode* m, polynode** q, polynode** r) {
    const int32_t k = deg(m);
    polynode* rest = copy_of(u);   // the blocks not yet taken, from the top
    polynode* quo = nullptr;
    polynode** quo_tail = &quo;
    polynode* rem = nullptr;
    for (int32_t b = deg(u) / k; b >= 0; b--) {
        const int32_t low = b * k;
        // The terms of rest of exponent >= low, lowered by low.
        polynode* block = nullptr;
        polynode** tail = &block;
        while (rest && exp_of(rest) >= low && !(rest->numb && low > 0)) {
            polynode* t = rest;
            rest = t->next;
            t->next = nullptr;
            if (!t->numb) t->exp -= low;
            if (!t->numb && t->exp == 0 && t->pcoef->numb && !t->pcoef->next) {
                // c·x^low lowered: the number c stands for it.
                polynode* c = t->pcoef;
                free_bare_node(t);
                t = c;
            }
            *tail = t;
            tail = &t->next;
        }
        polynode* t = add(ring, shift_up(rem, k), normalised(block));
        rem = nullptr;
        if (!t) continue;
        polynode* qb = nullptr;
        kdiv(ring, t, m, &qb, &rem);
        free_poly(&t);
        if (!q) {
            free_poly(&qb);
            continue;
        }
        qb = shift_up(qb, low);
        *quo_tail = qb;
        while (*quo_tail) quo_tail = &(*quo_tail)->next;
    }
    free_poly(&rest);
    if (q) *q = quo;
    *r = rem;
}

// q null: the quotient is not wanted. A long u over a short m has one
// about as long as u, which the blocks then never gather.
void fmd(const Ring& ring, polynode* u, polynode* m, polynode** q, polynode** r) {
    polynode* dropped = nullptr;
    polynode** qq = q ? q : &dropped;
    const int32_t n = deg(u), k = deg(m);
    if (!ring.modflag && laurent && (anynegs(u) || anynegs(m))) {
        base(ring, u, m, qq, r);
    } else if (n < k) {
        *qq = nullptr;
        *r = copy_of(u);
    } else if (int64_t{4} * n <= int64_t{9} * k) {
        kdiv(ring, u, m, qq, r);
    } else if (int64_t{3} * n < int64_t{10} * k) {
        three(ring, u, m, qq, r);
    } else if (k == 0) {   // a constant divisor: nothing to balance
        base(ring, u, m, qq, r);
    } else {
        blockwise(ring, u, m, q, r);
    }
    free_poly(&dropped);
}

// The divisions here work for divisors that the callers have already found
// non-zero: a zero one means an inconsistent state.
void require_divisor(polynode* m) {
    if (is_zero(m)) {
        error(22, quotsign);
        abandon_statement();
    }
}

using Divider = void (*)(const Ring&, polynode*, polynode*, polynode**, polynode**);

void run_divider(Divider f, const Ring& k, polynode* u, polynode* m, polynode** rem, polynode** quo) {
    require_divisor(m);
    polynode *q = nullptr, *r = nullptr;
    if (!is_zero(u)) f(k, u, m, &q, &r);
    deliver(quo, q, rem, r);
}



}  // namespace

void simplest_poly_divide(polynode* u, polynode* m, polynode** quo, polynode** rem, int fast) {
    require_divisor(m);
    polynode *q = nullptr, *r = nullptr;
    polynode** want_q = quo ? &q : nullptr;   // a remainder alone gathers no quotient
    const int32_t du = deg(u), dm = deg(m);
    if (is_zero(u) || dm > du) {
        r = copy_of(u);
    } else if (mod_is_prime && fast && (dm > poly_cutoff || (dm >= 3 && du > int64_t{20} * dm))) {
        const int32_t c = residue(m);
        if (c == 1) {
            fmd(kResidues, u, m, want_q, &r);
        } else {
            // Divide and conquer wants no inverse at every base case: make m
            // monic for the while, and u with it so that the quotient comes
            // out right; the remainder is then c⁻¹ times too small.
            const int32_t inv = imod_inverse(c);
            ScaleGuard monic_m(m, inv, c);
            if (u != m) {
                ScaleGuard scaled_u(u, inv, c);
                fmd(kResidues, u, m, want_q, &r);
            } else {
                fmd(kResidues, u, m, want_q, &r);
            }
            if (r) scale(r, c);
        }
    } else {
        schoolbook(u, m, &q, &r);
    }
    deliver(quo, q, rem, r);
}

void poly_div_no_q(polynode* u, polynode* m, polynode** rem) {
    require_divisor(m);
    const int32_t du = deg(u), dm = deg(m);
    if (is_zero(u) || dm > du) {
        deliver(nullptr, nullptr, rem, copy_of(u));
        return;
    }
    int32_t last = 0;
    int flag = 0;
    const int32_t nu = exp_poly_length(u, &last, &flag);
    flag = 0;
    const int32_t nm = exp_poly_length(m, &last, &flag);
    if (nu > fast_mult_cut && nm > fast_mult_cut && nu > du / 2 && nm > dm / 2 && du <= fast_gcd_size) {
        simplest_div_no_q(u, m, rem);
        return;
    }
    polynode* r = nullptr;
    schoolbook(u, m, nullptr, &r);
    deliver(nullptr, nullptr, rem, r);
}

void simplest_div_no_q(polynode* u, polynode* m, polynode** rem) {
    require_divisor(m);
    const int32_t du = deg(u), dm = deg(m);
    if (is_zero(u) || du < dm || du > fast_gcd_size) {   // outside what the arrays are for
        polynode* r = nullptr;
        if (du < dm || is_zero(u)) r = copy_of(u);
        else schoolbook(u, m, nullptr, &r);
        deliver(nullptr, nullptr, rem, r);
        return;
    }
    fill_poly_array(u, xx);
    fill_poly_array(m, yy);
    const int32_t d = dense_eliminate(xx, yy, du, dm, nullptr);
    polynode* r = nullptr;
    if (d > 0) array_to_poly(xx, d, &r);
    else if (d == 0) r = number_of(static_cast<int32_t>(xx[0]));
    deliver(nullptr, nullptr, rem, normalised(r));
}

void fast_mod_and_div(polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec, int modflag) {
    run_divider(fmd, Ring{modflag, rec}, u, m, rem, quo);
}

void karat_mod_and_div(int modflag, polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec) {
    run_divider(kdiv, Ring{modflag, rec}, u, m, rem, quo);
}

void three_case(int modflag, polynode* u, polynode* m, polynode** rem, polynode** quo, pt* rec) {
    run_divider(three, Ring{modflag, rec}, u, m, rem, quo);
}

int fastest_poly_div(polynode* u, polynode* m, polynode** quo) {
    require_divisor(m);
    polynode* q = nullptr;
    int exact = 0;
    const int32_t du = deg(u), dm = deg(m);
    if (is_zero(u)) {
        // 0 = 0·m: exact, whatever the degrees say.
        exact = 1;
        q = number_of(0);
    } else if (du > DENSE_EXACT_DIV_LIMIT) {
        polynode* r = nullptr;
        fmd(kResidues, u, m, &q, &r);
        exact = r == nullptr;
        free_poly(&r);
        if (!exact) free_poly(&q);
        else q = boundary(q);
    } else if (du >= dm) {
        fill_poly_array(u, xx);
        fill_poly_array(m, yy);
        std::fill(zz, zz + (du - dm + 1), 0u);
        const int32_t d = dense_eliminate(xx, yy, du, dm, zz);
        if (d < 0) {
            exact = 1;
            if (du > dm) array_to_poly(zz, du - dm, &q);
            else q = number_of(static_cast<int32_t>(zz[0]));
        }
    }
    polynode* old = *quo;
    *quo = q;
    free_poly(&old);
    return exact;
}
