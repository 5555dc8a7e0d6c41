// Polynomials from sorted term arrays (see poly/from_terms.h).
#include "poly/from_terms.h"

#include "storage/assign.h"

namespace {

struct Builder {
    const int32_t* exps;
    int32_t nvars;
    const std::function<polynode*(size_t)>& number;
    const int32_t* exp(size_t i) const { return exps + i * static_cast<size_t>(nvars); }

    // Terms lo .. hi - 1 agree on the exponents before idx.
    polynode* build(size_t lo, size_t hi, int32_t idx) const {
        if (hi - lo == 1) {
            bool constant = true;
            for (int32_t k = idx; k < nvars; k++)
                if (exp(lo)[k] != 0) constant = false;
            if (constant) return number(lo);
        }
        polynode* head = nullptr;
        polynode** tail = &head;
        size_t i = lo;
        while (i < hi) {
            size_t j = i;
            const int32_t e = exp(i)[idx];
            while (j < hi && exp(j)[idx] == e) j++;
            polynode* inner = build(i, j, idx + 1);
            const bool lone_number = inner->numb && !inner->next;
            polynode* node = (e == 0 && lone_number) ? inner : new_term_node(e, inner);
            *tail = node;
            tail = &node->next;
            i = j;
        }
        return head;
    }
};

}  // namespace

polynode* poly_from_terms(const int32_t* exps, size_t count, int32_t nvars,
                          const std::function<polynode*(size_t)>& number) {
    if (count == 0) {
        polynode* z = nullptr;
        poly_set(0, &z);
        return z;
    }
    return Builder{exps, nvars, number}.build(0, count, 0);
}
