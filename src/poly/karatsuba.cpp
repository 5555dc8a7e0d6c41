// Karatsuba on term lists: a = a_hi x^s + a_lo, b likewise, and
//   a b = a_hi b_hi x^2s + ((a_hi + a_lo)(b_hi + b_lo) - a_hi b_hi - a_lo b_lo) x^s + a_lo b_lo.
//
// The operands are split where they lie: the high part is the first terms
// of the list with their exponents lowered by s, the low part the rest. Two
// shape rules need care while a term list is lowered or raised: a number
// node cannot carry an exponent other than 0, so one that moves is wrapped
// in a new term node; and an exponent-0 term over a lone number must be
// that number node, so such a term is unwrapped. The split remembers both
// changes and undoes them, leaving the operands node for node as they were,
// also when a product below unwinds.
#include <algorithm>

#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polymult_impl.h"
#include "poly/polyvars.h"

namespace polyimpl {

namespace {

// The first h terms of p (1 <= h < term count) cut off and lowered by s.
class HighPart {
public:
    HighPart(polynode* p, int32_t h, int32_t s) : s_(s) {
        polynode** link = &head_;
        polynode* t = p;
        for (int32_t i = 1; i <= h; i++) {
            polynode* next = t->next;
            if (t->numb) {
                // Only Laurent lists have a number node before their last term.
                wrapped_ = t;
                wrapper_ = new_node(-s, 0, t);
                t->next = nullptr;
                *link = wrapper_;
                link = &wrapper_->next;
            } else {
                t->exp -= s;
                if (t->exp == 0 && lone_number(t->pcoef)) {
                    unwrapped_ = t;
                    *link = t->pcoef;
                    link = &t->pcoef->next;
                } else {
                    *link = t;
                    link = &t->next;
                }
            }
            if (i == h) low_ = next;
            t = next;
        }
        *link = nullptr;
    }
    ~HighPart() { restore(); }
    HighPart(const HighPart&) = delete;
    HighPart& operator=(const HighPart&) = delete;

    polynode* high() const { return head_; }
    polynode* low() const { return low_; }

private:
    void restore() {
        polynode* prev = nullptr;
        for (polynode* e = head_; e;) {
            polynode* next = e->next;
            polynode* orig = e;
            if (e == wrapper_) {
                orig = wrapped_;
            } else if (unwrapped_ && e == unwrapped_->pcoef) {
                orig = unwrapped_;
                e->next = nullptr;   // a lone coefficient again
            }
            if (orig != wrapped_) orig->exp += s_;
            if (prev) prev->next = orig;
            prev = orig;
            e = next;
        }
        prev->next = low_;
        if (wrapper_) {
            wrapper_->pcoef = nullptr;
            wrapper_->next = nullptr;
            release_node(wrapper_);
        }
    }

    int32_t s_;
    polynode* head_ = nullptr;
    polynode* low_ = nullptr;
    polynode* wrapped_ = nullptr;     // the number node that lay in the high part
    polynode* wrapper_ = nullptr;     // the term node made to carry it
    polynode* unwrapped_ = nullptr;   // the term whose number node stands in for it
};

int32_t exp_of_term(const polynode* p, int32_t n) {
    for (int32_t i = 1; i < n; i++) p = p->next;
    return p->exp;
}

// p x^s (s > 0) in p's own nodes, except that a number node gets a new term
// node above it; an exponent-0 term over a lone number gives up its node.
polynode* raise(polynode* p, int32_t s) {
    if (is_zero_poly(p)) return p;
    polynode** link = &p;
    while (polynode* t = *link) {
        if (t->numb) {
            polynode* w = new_node(s, 0, t);
            w->next = t->next;
            t->next = nullptr;
            *link = w;
            link = &w->next;
            continue;
        }
        t->exp += s;
        if (t->exp == 0 && lone_number(t->pcoef)) {
            polynode* n = t->pcoef;
            n->next = t->next;
            release_node(t);
            *link = n;
            link = &n->next;
            continue;
        }
        link = &t->next;
    }
    return p;
}

void fold_with(polynode** p, pt* rec) {
    // The table serves products of reduced operands; anything higher divides.
    if (rec && rec->relation) fast_fold_poly(p, rec);
}

}  // namespace

polynode* list_karatsuba(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta, int32_t lastb,
                         pt* rec) {
    const bool square = a == b;
    const int32_t ha = la / 2, hb = lb / 2;
    int32_t s = exp_of_term(a, ha) - lasta;
    if (!square) s = std::min(s, exp_of_term(b, hb) - lastb);

    // The partial products are freed if a product below unwinds.
    PolyHold whole, high, low;
    {
        HighPart ap(a, ha, s);
        PolyHold sum_a;
        poly_add(ap.high(), ap.low(), &sum_a.p);
        if (square) {
            poly_mult(sum_a.p, sum_a.p, &whole.p, rec);
            sum_a.reset();
            poly_mult(ap.high(), ap.high(), &high.p, rec);
            poly_mult(ap.low(), ap.low(), &low.p, rec);
        } else {
            HighPart bp(b, hb, s);
            PolyHold sum_b;
            poly_add(bp.high(), bp.low(), &sum_b.p);
            poly_mult(sum_a.p, sum_b.p, &whole.p, rec);
            sum_a.reset();
            sum_b.reset();
            poly_mult(ap.high(), bp.high(), &high.p, rec);
            poly_mult(ap.low(), bp.low(), &low.p, rec);
        }
    }
    PolyHold mid;
    better_poly_sub(whole.release(), high.p, &mid.p);
    better_poly_sub(mid.p, low.p, &mid.p);
    mid.p = raise(mid.p, s);
    fold_with(&mid.p, rec);
    best_poly_add(mid.p, low.release(), &mid.p);
    high.p = raise(high.p, 2 * s);
    fold_with(&high.p, rec);
    best_poly_add(mid.p, high.release(), &mid.p);
    return mid.release();
}

}  // namespace polyimpl
