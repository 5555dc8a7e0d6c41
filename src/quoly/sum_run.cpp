#include "quoly/sum_run.h"

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "quoly/quoly.h"
#include "storage/records.h"

using namespace quoly_detail;

namespace {

// A polynomial plus a fraction is (p d + n) / d, already in lowest terms
// where the coefficients form a field (or are the integers): nothing can
// fail and no gcd is taken. Under a composite modulus, or with machine
// integers, the sum may need a reading back that can refuse it: such a
// fraction keeps its terms added one by one.
bool fraction_takes_polynomials() { return !lintmode || (modularmode && (finf || mod_is_prime)); }

bool sum_qualifies(const quoly* acc) {
    if (!acc) return false;
    if (acc->isnum) return !acc->den;   // a number with den marks an array parameter
    return !acc->den || fraction_takes_polynomials();
}

}  // namespace

SumRun::~SumRun() {
    for (Part& x : plus_) free_poly(&x.p);
    for (Part& x : minus_) free_poly(&x.p);
}

bool SumRun::take(quoly* acc, quoly** term, quoly* const* ref, bool add) {
    // Integer-only evaluation refuses a sum beyond one digit at the term
    // that makes it: the order matters there.
    if (integerflag || !sum_qualifies(acc)) return false;
    quoly* t = *term ? *term : ref ? *ref : nullptr;
    if (!t || t->den || (t->isnum && !t->nnum)) return false;
    polynode* p;
    if (t->isnum) {
        imag* c = new_number();
        num_assign(t->nnum, c);
        p = new_number_node(c);
        if (*term) free_quoly(term);
    } else if (*term) {
        p = t->pnum;
        t->pnum = nullptr;
        free_quoly(term);
    } else {
        // A stored value: the next term may change it.
        p = copy_poly(t->pnum);
    }
    push(add ? plus_ : minus_, p);
    return true;
}

void SumRun::merge_top(std::vector<Part>& stack) {
    // Taken off the stack before the merge consumes them.
    const Part b = stack.back();
    stack.pop_back();
    const Part a = stack.back();
    stack.pop_back();
    polynode* r = nullptr;
    best_poly_add(a.p, b.p, &r);
    stack.push_back(Part{r, a.size + b.size});
}

void SumRun::push(std::vector<Part>& stack, polynode* p) {
    stack.push_back(Part{p, 1});
    while (stack.size() >= 2 && stack.back().size >= stack[stack.size() - 2].size) merge_top(stack);
}

polynode* SumRun::collapse(std::vector<Part>& stack) {
    if (stack.empty()) return nullptr;
    while (stack.size() > 1) merge_top(stack);
    polynode* p = stack.back().p;
    stack.clear();
    return p;
}

void SumRun::finish(quoly** acc) {
    if (plus_.empty() && minus_.empty()) return;
    polynode* p = collapse(plus_);
    polynode* m = collapse(minus_);
    const bool add = p != nullptr;
    if (p && m) best_poly_sub(p, m, &p);
    QuolyHold run(blank_quoly());
    run.q->pnum = p ? p : m;
    settle(&run.q);
    if (add)
        best_quoly_add(acc, run.release());
    else
        best_quoly_sub(acc, run.release());
}
