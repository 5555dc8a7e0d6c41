#include "support/node_snapshot.h"

#include <unordered_set>

#include "support/poly_build.h"

namespace {

void snapshot_into(const polynode* p, std::vector<NodeShot>* out) {
    for (; p; p = p->next) {
        out->push_back({p, p->coef, p->next, p->exp, p->numb});
        if (!p->numb) snapshot_into(p->pcoef, out);
    }
}

void collect(const polynode* p, std::unordered_set<const void*>& s) {
    for (; p; p = p->next) {
        s.insert(p);
        if (p->numb)
            s.insert(p->ncoef);
        else
            collect(p->pcoef, s);
    }
}

}  // namespace

std::vector<NodeShot> snapshot_nodes(const polynode* p) {
    std::vector<NodeShot> s;
    snapshot_into(p, &s);
    return s;
}

::testing::AssertionResult disjoint(const polynode* r, const polynode* kept) {
    std::unordered_set<const void*> a, b;
    collect(r, a);
    collect(kept, b);
    for (const void* x : a)
        if (b.count(x)) return ::testing::AssertionFailure() << "result shares record " << x << " with a kept operand";
    return ::testing::AssertionSuccess();
}

bool is_zero_node(const polynode* p) { return p && p->numb && !p->next && number_value(p->ncoef) == 0; }
