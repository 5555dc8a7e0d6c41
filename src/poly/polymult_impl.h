// Helpers shared by the product files of the polynomial module (the
// dispatcher, the term products, the list Karatsuba). Not for other modules.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/records.h"

namespace polyimpl {

inline bool lone_number(const polynode* p) { return p->numb && !p->next; }

// The zero polynomial: one number node holding 0.
bool is_zero_poly(const polynode* p);

// A detached node; coef is taken over.
polynode* new_node(int32_t exp, int32_t numb, void* coef);
// Gives one node back to polygarb, leaving its coefficient and successors alone.
void release_node(polynode* t);
// c x^e as one detached term: the lone number c itself when e = 0.
polynode* monomial_term(int32_t e, polynode* c);

// x * y in a new number record, in the ground ring.
imag* number_product(imag* x, imag* y);
bool number_is_zero(imag* x);

// A new zero polynomial.
polynode* zero_poly();

// Frees the slot's old value, then stores value.
void replace_slot(polynode** slot, polynode* value);


// Appends detached terms in order.
struct Chain {
    polynode* head = nullptr;
    polynode** tail = &head;
    Chain() = default;
    Chain(const Chain&) = delete;   // tail points into the object itself
    Chain& operator=(const Chain&) = delete;
    void push(polynode* t) {
        t->next = nullptr;
        *tail = t;
        tail = &t->next;
    }
    // Hands the chain over and starts an empty one.
    polynode* take() {
        polynode* h = head;
        head = nullptr;
        tail = &head;
        return h;
    }
};

// Operands sparse by their own spans (exp_poly_length's negative counts)
// whose term products still crowd the product's exponent box: ta * tb
// term products (the counts' absolute values) against the box's places.
// The schoolbook then forms far more products than the box has places (a
// product of two sums over the odd powers modulo 2, say) where Karatsuba
// and the transforms pay for the places.
inline bool crowds_box(const polynode* a, const polynode* b, int32_t ta, int32_t tb, int32_t lasta, int32_t lastb) {
    constexpr int64_t fill = 4;
    const int64_t places = int64_t{a->numb ? 0 : a->exp} - lasta + (b->numb ? 0 : b->exp) - lastb + 1;
    return int64_t{ta} * tb >= fill * places;
}

// The sum of many partial products, merged in pairs as a binary counter
// carries: each term passes through about log2(parts) merges. Adding every
// part into one running sum walks that sum once per part instead, which
// turns a product with a long result quadratic in its length.
class PairwiseSum {
public:
    // add consumes both operands (simplest_poly_add, best_poly_add).
    using Add = void (*)(polynode*, polynode*, polynode**);
    explicit PairwiseSum(Add add) : add_(add) {}
    ~PairwiseSum() {
        for (auto& part : parts_) free_poly(&part.first);
    }
    PairwiseSum(const PairwiseSum&) = delete;
    PairwiseSum& operator=(const PairwiseSum&) = delete;

    // Takes p over; null adds nothing.
    void push(polynode* p) {
        if (!p) return;
        int64_t weight = 1;
        while (!parts_.empty() && parts_.back().second == weight) {
            polynode* q = parts_.back().first;
            parts_.pop_back();
            add_(q, p, &p);
            weight *= 2;
        }
        parts_.emplace_back(p, weight);
    }
    // The whole sum, null when nothing was pushed; the parts are taken.
    polynode* take() {
        polynode* sum = nullptr;
        while (!parts_.empty()) {
            polynode* q = parts_.back().first;
            parts_.pop_back();
            if (sum)
                add_(q, sum, &sum);
            else
                sum = q;
        }
        return sum;
    }

private:
    Add add_;
    std::vector<std::pair<polynode*, int64_t>> parts_;
};

// a * b as the schoolbook product would give it, summed in machine
// accumulators: when every coefficient of both is a small integer or a
// residue modulo an integer modulus (not in characteristic 2) and the
// product's exponents fill enough of a small box.
// Null when those conditions fail. Operands kept.
polynode* small_integer_product(const polynode* a, const polynode* b);

// a * b over Z (big-integer mode) by images modulo word primes joined by
// Chinese remaindering, when its estimated cost is well below the term-list
// routes' (always with multimod_route 1); null when not taken. Operands kept.
polynode* multimodular_product(const polynode* a, const polynode* b);
// g a - e b over Z by the same images, both products on one layout with
// one inverse transform per prime; null when the route does not apply
// (modular or machine-integer mode, negative exponents, a box too large
// or mostly empty, operands too short for transforms, memory).
polynode* multimodular_combination(const polynode* g, const polynode* a, const polynode* e, const polynode* b);
// The quotients (g a - e b) / d of a batch by the same images, the
// divisions done pointwise on the transforms, operands met in several
// (the same polynode) transformed once per prime. A quotient is left null
// when the route does not apply to it, d does not divide, or the primes
// cannot prove the quotient (then the caller divides). Never a quotient
// that is not exact.
void multimodular_combination_quotients(DifferenceQuotient* jobs, int32_t count);

// p^n over Z (big-integer mode) by Miller's recurrence, for p in one
// variable (every top-level coefficient a lone number) of at least two and
// few terms with one-digit coefficients; null when p does not qualify (or
// power_rows_route is -1). p kept.
polynode* power_by_rows(const polynode* p, int32_t n);

// Set while the schoolbook forms the term products of a product whose
// route was already chosen; the multi-modular estimate is not repeated for
// the coefficient products below it.
extern thread_local int32_t term_products;
struct TermProducts {
    TermProducts() { term_products++; }
    ~TermProducts() { term_products--; }
    TermProducts(const TermProducts&) = delete;
    TermProducts& operator=(const TermProducts&) = delete;
};

// The Karatsuba step of poly_mult on operands of at least two top terms
// each, measured by exp_poly_length (la, lb positive); the product in a new
// polynomial.
polynode* list_karatsuba(polynode* a, polynode* b, int32_t la, int32_t lb, int32_t lasta, int32_t lastb,
                         pt* rec);

}  // namespace polyimpl
