// One- and two-variable products in modular mode: the size dispatcher of
// the one-variable product, its list Karatsuba and schoolbook, the products
// through the dense work arrays, and the conversions between term lists,
// arrays and mixed-radix cells.
//
// The list routines here work on one level only: every term's coefficient
// is a residue (a number node, or a one-node number polynomial below a
// non-number term), and their sums are the one-variable modular merge
// simplest_poly_add. Zero residues, which a composite modulus can produce
// in any product, are dropped wherever a coefficient is formed.
#include "poly/modmult.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

int32_t fast_mult_cut = 10;

namespace {

[[noreturn]] void modmult_fatal(const char* message) {
    tarvex_error(message, 1);
    std::abort();   // not reached: the fatal flag always unwinds
}

inline uint32_t u32(int32_t v) { return static_cast<uint32_t>(v); }
inline int32_t s32(uint32_t v) { return static_cast<int32_t>(v); }

// ---------------------------------------------------------------- one-level lists

// The number record holding a term's residue.
imag* term_number(polynode* t) { return t->numb ? t->ncoef : t->pcoef->ncoef; }
uint32_t term_value(polynode* t) { return u32(term_number(t)->value); }

polynode* residue_node(uint32_t v) {
    imag* n = new_number();
    n->value = s32(v);
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = 0;
    t->numb = 1;
    t->ncoef = n;
    return t;
}

// c x^e: a number node for e = 0, else a term over a one-node number polynomial.
polynode* wrap_term(int32_t e, polynode* c) {
    if (e == 0 && c->numb && !c->next) return c;
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = e;
    t->numb = 0;
    t->pcoef = c;
    return t;
}

polynode* residue_term(int32_t e, uint32_t v) { return wrap_term(e, residue_node(v)); }

void free_term(polynode* t) {
    t->next = nullptr;
    free_poly(&t);
}

bool is_zero(const polynode* p) { return p->numb && !p->next && p->ncoef->value == 0; }

// Appends terms in order; an empty list comes out as the number 0.
class ListBuilder {
public:
    void push(polynode* t) {
        t->next = nullptr;
        *tail_ = t;
        tail_ = &t->next;
    }
    polynode* finish() { return head_ ? head_ : residue_node(0); }

private:
    polynode* head_ = nullptr;
    polynode** tail_ = &head_;
};

polynode* copy_of(polynode* p) {
    polynode* c = nullptr;
    poly_assign(p, &c);
    return c;
}

// Every residue times c, in place; terms that become 0 are dropped.
polynode* scale(polynode* p, uint32_t c) {
    ListBuilder out;
    while (p) {
        polynode* t = p;
        p = p->next;
        imag* n = term_number(t);
        n->value = modmult(n->value, s32(c));
        if (n->value == 0)
            free_term(t);
        else
            out.push(t);
    }
    return out.finish();
}

// p times x^s (s > 0), in place: a constant term gets a term node above it.
polynode* raise(polynode* p, int32_t s) {
    if (is_zero(p)) return p;
    polynode** link = &p;
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            *link = wrap_term(s, t);
            break;
        }
        t->exp += s;
        link = &t->next;
    }
    return p;
}

int32_t degree(const polynode* p) { return p->numb ? 0 : p->exp; }

// ---------------------------------------------------------------- list Karatsuba

// An operand's first h terms cut from the rest and lowered by s. When the
// lowest of them reaches exponent 0 its one-node coefficient stands in for
// it (the shape of an exponent-0 term); restore() undoes every change.
class HighPart {
public:
    HighPart(polynode* a, int32_t h, int32_t s) : first_(a), s_(s) {
        last_ = a;
        for (int32_t i = 1; i < h; i++) {
            before_last_ = last_;
            last_ = last_->next;
        }
        low_ = last_->next;
        last_->next = nullptr;
        for (polynode* t = a; t; t = t->next) t->exp -= s;
        head_ = a;
        if (last_->exp == 0) {
            unwrapped_ = true;
            if (before_last_)
                before_last_->next = last_->pcoef;
            else
                head_ = last_->pcoef;
        }
    }
    ~HighPart() { restore(); }
    HighPart(const HighPart&) = delete;
    HighPart& operator=(const HighPart&) = delete;

    polynode* high() const { return head_; }
    polynode* low() const { return low_; }

    void restore() {
        if (!first_) return;
        if (unwrapped_ && before_last_) before_last_->next = last_;
        for (polynode* t = first_; t; t = t->next) t->exp += s_;
        last_->next = low_;
        first_ = nullptr;
    }

private:
    polynode* first_;
    polynode* last_ = nullptr;
    polynode* before_last_ = nullptr;
    polynode* low_ = nullptr;
    polynode* head_ = nullptr;
    int32_t s_;
    bool unwrapped_ = false;
};

polynode* nth_term(polynode* p, int32_t n) {
    for (int32_t i = 1; i < n; i++) p = p->next;
    return p;
}

polynode* product(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta, int32_t lastb);

polynode* chunked_product(polynode* a, polynode* b);
polynode* long_array_product(polynode* a, polynode* b, int32_t lasta, int32_t lastb);

polynode* product_of(polynode* a, polynode* b) { return product(a, b, 0, 0, 0, 0); }

// a = a_hi x^s + a_lo, b likewise (a square shares its parts): three
// products of the halves and their sums, recombined.
polynode* list_karatsuba(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta,
                         int32_t lastb) {
    const bool square = a == b;
    const int32_t ha = la / 2, hb = lb / 2;
    int32_t s = nth_term(a, ha)->exp - lasta;
    if (!square) s = std::min(s, nth_term(b, hb)->exp - lastb);

    polynode *p1, *p_hh, *p_ll;
    {
        HighPart ap(a, ha, s);
        polynode* sum_a = nullptr;
        poly_add(ap.high(), ap.low(), &sum_a);
        if (square) {
            p1 = product_of(sum_a, sum_a);
            free_poly(&sum_a);
            p_hh = product_of(ap.high(), ap.high());
            p_ll = product_of(ap.low(), ap.low());
        } else {
            HighPart bp(b, hb, s);
            polynode* sum_b = nullptr;
            poly_add(bp.high(), bp.low(), &sum_b);
            p1 = product_of(sum_a, sum_b);
            free_poly(&sum_a);
            free_poly(&sum_b);
            p_hh = product_of(ap.high(), bp.high());
            p_ll = product_of(ap.low(), bp.low());
        }
    }
    polynode* mid = nullptr;
    better_poly_sub(p1, p_hh, &mid);
    better_poly_sub(mid, p_ll, &mid);
    simplest_poly_add(raise(mid, s), p_ll, &mid);
    polynode* r = nullptr;
    simplest_poly_add(mid, raise(p_hh, 2 * s), &r);
    return r;
}

polynode* schoolbook(polynode* a, polynode* b, int32_t la, int32_t lb) {
    if (la > lb) std::swap(a, b);
    polyimpl::PairwiseSum sum(simplest_poly_add);
    for (polynode* t = a; t; t = t->next) {
        polynode* c = scale(copy_of(b), term_value(t));
        if (t->exp != 0) c = raise(c, t->exp);
        sum.push(c);
    }
    return sum.take();
}

void replace(polynode** slot, polynode* value) {
    free_poly(slot);
    *slot = value;
}

polynode* product(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta, int32_t lastb) {
    const bool a_num = a->numb && !a->next, b_num = b->numb && !b->next;
    if (a_num && b_num) return residue_node(u32(modmult(a->ncoef->value, b->ncoef->value)));
    if (a_num) return a->ncoef->value == 0 ? residue_node(0) : scale(copy_of(b), u32(a->ncoef->value));
    if (b_num) return b->ncoef->value == 0 ? residue_node(0) : scale(copy_of(a), u32(b->ncoef->value));

    if (la == 0) {
        int flag = 0;
        la = exp_poly_length(a, &lasta, &flag);
        if (a == b) {
            lb = la;
            lastb = lasta;
        } else {
            lb = exp_poly_length(b, &lastb, &flag);
        }
    }
    polynode* r = nullptr;
    const int32_t ta = std::abs(la), tb = std::abs(lb);
    if (ta >= fast_mult_cut && tb >= fast_mult_cut && ((la > 0 && lb > 0) || polyimpl::crowds_box(a, b, ta, tb, lasta, lastb))) {
        if ((r = transform_residue_product(a, b, ta, tb, lasta, lastb))) return r;
        if (la > 0 && lb > 0 && modulus > 2 && !finf && int64_t{a->exp} + b->exp <= fast_gcd_size) {
            fastest_standard(a, b, la, lb, &r);
            return r;
        }
        if (finf) return long_array_product(a, b, lasta, lastb);
        if (!laurent && 2 * int64_t{degree(a)} > 3 * int64_t{degree(b)}) return chunked_product(a, b);
        if (!laurent && 2 * int64_t{degree(b)} > 3 * int64_t{degree(a)}) return chunked_product(b, a);
        return list_karatsuba(a, b, ta, tb, lasta, lastb);
    }
    return schoolbook(a, b, ta, tb);
}

// The dense arrays' Karatsuba on arrays of the operands' own lengths (the
// work arrays stop at a degree sum of 22,008). In GF(2^8) and GF(2^16),
// where no transform serves, it takes every long crowded product: its
// sums and differences are word operations where the term lists' walk
// scattered nodes, some twenty times faster.
polynode* long_array_product(polynode* a, polynode* b, int32_t lasta, int32_t lastb) {
    const int32_t da = degree(a) - lasta, db = degree(b) - lastb;
    std::vector<uint32_t> x(static_cast<size_t>(da) + 1, 0), y(static_cast<size_t>(db) + 1, 0);
    std::vector<uint32_t> z(static_cast<size_t>(da) + db + 1, 0);
    for (polynode* t = a; t; t = t->next) x[static_cast<size_t>(degree(t) - lasta)] = term_value(t);
    for (polynode* t = b; t; t = t->next) y[static_cast<size_t>(degree(t) - lastb)] = term_value(t);
    poll_interrupt();
    fast_array_onevar_mult(x.data(), y.data(), z.data(), 0, da, 0, db);
    ListBuilder out;
    for (int32_t i = da + db; i >= 0; i--)
        if (z[static_cast<size_t>(i)]) out.push(residue_term(i + lasta + lastb, z[static_cast<size_t>(i)]));
    return out.finish();
}

// a much longer than b. The Karatsuba split point is bounded by the shorter
// operand, so the longer one's halves would hardly shrink and the recursion
// would go quadratic in its length: a is cut into pieces of b's length
// instead, each piece times b is balanced, and the products are shifted
// into place.
polynode* chunked_product(polynode* a, polynode* b) {
    const int32_t w = degree(b) + 1;
    polyimpl::PairwiseSum sum(simplest_poly_add);
    for (polynode* t = a; t;) {
        const int32_t base = degree(t) / w * w;
        ListBuilder piece;
        for (; t && degree(t) >= base; t = t->next) piece.push(residue_term(degree(t) - base, term_value(t)));
        polynode* part = piece.finish();
        polynode* c = product(part, b, 0, 0, 0, 0);
        free_poly(&part);
        if (base > 0) c = raise(c, base);
        sum.push(c);
    }
    return sum.take();
}

// ---------------------------------------------------------------- arrays

// A one-variable list of residues arr[0 .. n] with the zero words dropped;
// null when every word is 0.
polynode* words_to_list(const uint32_t* arr, int32_t n) {
    polynode* head = nullptr;
    polynode** tail = &head;
    for (int32_t i = n; i >= 0; i--) {
        if (arr[i] == 0) continue;
        polynode* t = residue_term(i, arr[i]);
        *tail = t;
        tail = &t->next;
    }
    return head;
}

void ensure_work_arrays() {
    if (!xx) init_poly_work_arrays();
}

// The degree sum must fit the one-variable work arrays.
void check_dense_fit(polynode* a, polynode* b, const char* message) {
    if (int64_t{degree(a)} + degree(b) > fast_gcd_size) modmult_fatal(message);
    ensure_work_arrays();
}

// The highest inner degree among p's coefficients.
int32_t inner_degree(polynode* p) {
    if (p->numb) return 0;
    int32_t d = 0;
    for (polynode* t = p; t; t = t->next) d = std::max(d, t->numb ? 0 : degree(t->pcoef));
    return d;
}

}  // namespace

// ---------------------------------------------------------------- one-variable products

namespace {

// A one-level residue list (every coefficient a residue) times x^k, in new
// nodes; null when p has a deeper coefficient.
polynode* shifted_copy(polynode* p, int32_t k) {
    if (is_zero(p)) return residue_node(0);
    ListBuilder out;
    for (polynode* t = p; t; t = t->next) {
        if (!t->numb && !(t->pcoef->numb && !t->pcoef->next)) {
            PolyHold partial(out.finish());
            return nullptr;
        }
        out.push(residue_term(degree(t) + k, term_value(t)));
    }
    return out.finish();
}

}  // namespace

polynode* laurent_residue_product(polynode* a, polynode* b, int32_t lasta, int32_t lastb) {
    PolyHold sa(shifted_copy(a, -lasta));
    if (!sa.p) return nullptr;
    PolyHold sb(a == b ? nullptr : shifted_copy(b, -lastb));
    if (a != b && !sb.p) return nullptr;
    PolyHold r(product(sa.p, a == b ? sa.p : sb.p, 0, 0, 0, 0));
    return shifted_copy(r.p, lasta + lastb);
}

void simplest_poly_mult(polynode* a, polynode* b, polynode** res, int32_t la, int32_t lb,
                        int32_t lasta, int32_t lastb) {
    replace(res, product(a, b, la, lb, lasta, lastb));
}

void fastest_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res) {
    if (4 * int64_t{la} > degree(a) && 4 * int64_t{lb} > degree(b))
        k_fastest_poly_mult(a, b, res);
    else
        simplest_standard(a, b, la, lb, res);
}

void simplest_standard(polynode* a, polynode* b, int32_t la, int32_t lb, polynode** res) {
    replace(res, schoolbook(a, b, la, lb));
}

void k_fastest_poly_mult(polynode* a, polynode* b, polynode** res) {
    check_dense_fit(a, b, "degree sum too large in k_fastest_poly_mult.");
    int32_t da, db;
    fill_poly1_array(a, xx, &da);
    fill_poly1_array(b, yy, &db);
    if (xx[da] == 0 || yy[db] == 0)
        std::printf("BAD 4: %li, %li, %li, %li\n", static_cast<long>(da), static_cast<long>(db),
                    static_cast<long>(xx[da]), static_cast<long>(yy[db]));
    if (da > poly_cutoff && db > poly_cutoff) {
        fast_array_onevar_mult(xx, yy, zz, 0, da, 0, db);
    } else {
        int32_t lo_a = 0, lo_b = 0;
        while (lo_a < da && xx[lo_a] == 0) lo_a++;
        while (lo_b < db && yy[lo_b] == 0) lo_b++;
        std::fill(zz, zz + lo_a + lo_b, 0u);
        onevar_mult(xx, yy, zz, lo_a, da, lo_b, db);
    }
    array_to_poly(zz, da + db, res);
}

void fastest_poly_mult(polynode* a, polynode* b, polynode** res) {
    check_dense_fit(a, b, "degree sum too large in fastest_poly_mult.");
    int32_t da, db;
    fill_poly1_array(a, xx, &da);
    fill_poly1_array(b, yy, &db);
    int32_t lo_a = 0, lo_b = 0;
    while (lo_a < da && xx[lo_a] == 0) lo_a++;
    while (lo_b < db && yy[lo_b] == 0) lo_b++;
    std::fill(zz, zz + lo_a + lo_b, 0u);
    onevar_mult(xx, yy, zz, lo_a, da, lo_b, db);
    array_to_poly(zz, da + db, res);
}

void faster_poly_mult(polynode* a, polynode* b, polynode** res) {
    check_dense_fit(a, b, "degree sum too large in faster_poly_mult.");
    int32_t da, db;
    fill_poly1_array(a, xx, &da);
    fill_poly1_array(b, yy, &db);
    simple_onevar_mult(xx, yy, zz, da, db);
    array_to_poly(zz, da + db, res);
}

// ---------------------------------------------------------------- two-variable product

void fastest_poly2_mult(polynode* a, polynode* b, polynode** res) {
    const int32_t na = degree(a), nb = degree(b);
    if (na + nb > POLY2_SIDE - 1 || inner_degree(a) + inner_degree(b) > POLY2_SIDE - 1)
        modmult_fatal("degrees too large in fastest_poly2_mult.");
    ensure_work_arrays();
    int32_t deg_a[POLY2_SIDE], deg_b[POLY2_SIDE], deg_z[POLY2_SIDE];
    uint32_t t[POLY2_SIDE];
    fill_poly2_array(a, x2, deg_a);
    fill_poly2_array(b, y2, deg_b);
    const bool plain = !finf && modulus < 65536;
    const uint32_t p = u32(modulus);
    for (int32_t k = 0; k <= na + nb; k++) {
        uint32_t* row = z2[k];
        int32_t dz = -1;
        for (int32_t i = std::max(0, k - nb); i <= std::min(na, k); i++) {
            const int32_t da = deg_a[i], db = deg_b[k - i];
            if (da < 0 || db < 0) continue;
            fast_array_onevar_mult(x2[i], y2[k - i], t, 0, da, 0, db);
            const int32_t dt = da + db;
            int32_t j = 0;
            for (; j <= std::min(dz, dt); j++) {
                if (plain) {
                    uint32_t s = row[j] + t[j];
                    row[j] = s >= p ? s - p : s;
                } else {
                    row[j] = u32(mod_add(s32(row[j]), s32(t[j]), modulus));
                }
            }
            for (; j <= dt; j++) row[j] = t[j];
            // Trimmed after every addition, not only when the degrees meet:
            // under a composite modulus a row product's top word can vanish.
            dz = std::max(dz, dt);
            while (dz >= 0 && row[dz] == 0) dz--;
        }
        deg_z[k] = dz;
    }
    array_to_poly2(z2, na + nb, deg_z, res);
}

// ---------------------------------------------------------------- term lists and arrays

void fill_poly_array(polynode* p, uint32_t* arr) {
    int32_t d;
    fill_poly1_array(p, arr, &d);
}

void fill_poly1_array(polynode* p, uint32_t* arr, int32_t* deg) {
    const int32_t d = degree(p);
    std::fill(arr, arr + d + 1, 0u);
    for (polynode* t = p; t; t = t->next) {
        if (t->exp < 0 || (!t->numb && !t->pcoef->numb))
            modmult_fatal("not a one-variable polynomial in fill_poly_array.");
        arr[t->exp] = term_value(t);
    }
    *deg = d;
}

void fill_poly2_array(polynode* p, uint32_t (*rows)[POLY2_SIDE], int32_t* rowdeg) {
    const int32_t d = degree(p);
    std::fill(rowdeg, rowdeg + d + 1, -1);
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            rows[0][0] = u32(t->ncoef->value);
            rowdeg[0] = 0;
        } else {
            fill_poly1_array(t->pcoef, rows[t->exp], &rowdeg[t->exp]);
        }
    }
}

void array_to_poly(const uint32_t* arr, int32_t n, polynode** res) {
    if (n == 0 && arr[0] == 0) {
        tarvex_error("bad x[0] in array_to_poly.", 1);
        poly_set(0, res);
        return;
    }
    free_poly(res);
    polynode* p = words_to_list(arr, n);
    *res = p ? p : residue_node(0);
}

void array_to_poly2(uint32_t (*rows)[POLY2_SIDE], int32_t n, const int32_t* rowdeg, polynode** res) {
    free_poly(res);
    polynode* head = nullptr;
    polynode** tail = &head;
    for (int32_t i = n; i >= 0; i--) {
        if (rowdeg[i] < 0) continue;
        polynode* c = words_to_list(rows[i], rowdeg[i]);
        if (!c) continue;
        polynode* t = wrap_term(i, c);
        *tail = t;
        tail = &t->next;
    }
    *res = head ? head : residue_node(0);
}

void fastest_poly_quot(polynode* p, polynode* c, polynode** res) {
    if (!c->numb) modmult_fatal("divisor not number in fastest poly quot.");
    if (c->ncoef->value == 1) {
        poly_assign(p, res);
        return;
    }
    int32_t inv;
    mod_inverse(c->ncoef->value, &inv);
    replace(res, scale(copy_of(p), u32(inv)));
}

// ---------------------------------------------------------------- mixed-radix cells

namespace {

// Product of the radices of the levels below rec; 0 when there are none.
int32_t block_width(const pt* rec) {
    if (!rec->next) return 0;
    int32_t w = 1;
    for (const pt* v = rec->next; v; v = v->next) w *= v->modout_degree;
    return w;
}

polynode* build_block(int32_t row, int32_t offset, pt* rec, const CellLayout* ctx) {
    const int32_t w = block_width(rec);
    const int64_t base = int64_t{row - 1} * ctx->stride + offset;
    polynode* head = nullptr;
    polynode** tail = &head;
    for (int32_t e = rec->modout_degree - 1; e >= 0; e--) {
        polynode* t = nullptr;
        if (!rec->next) {
            const quoly* q = ctx->cells[base + e];
            const int32_t v = q && q->isnum ? q->nnum->value : 0;
            if (v != 0) t = residue_term(e, u32(v));
        } else {
            polynode* c = build_block(row, offset + w * e, rec->next, ctx);
            if (c) t = wrap_term(e, c);
        }
        if (t) {
            *tail = t;
            tail = &t->next;
        }
    }
    return head;
}

}  // namespace

void dump_coeffs(polynode* p, int32_t row, int32_t offset, pt* rec, const CellLayout* ctx) {
    const int32_t w = block_width(rec);
    const int64_t base = int64_t{row - 1} * ctx->stride + offset;
    polynode* t = p;
    for (int32_t e = rec->modout_degree - 1; e >= 0; e--) {
        while (t && t->exp > e) t = t->next;
        const bool present = t && t->exp == e;
        if (rec->next) {
            if (present)
                dump_coeffs(t->numb ? t : t->pcoef, row, offset + w * e, rec->next, ctx);
            else
                for (int32_t j = 0; j < w; j++) quoly_set(0, &ctx->cells[base + int64_t{w} * e + j]);
        } else {
            quoly_set(present ? s32(term_value(t)) : 0, &ctx->cells[base + e]);
        }
    }
}

void mult_out(polynode** p, int32_t row, int32_t offset, pt* rec, const CellLayout* ctx) {
    polynode* r = build_block(row, offset, rec, ctx);
    *p = r ? r : residue_node(0);
}
