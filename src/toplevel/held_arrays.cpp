#include "toplevel/held_arrays.h"

#include <unordered_set>
#include <utility>

#include "interp/array_table.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "numbers/ring.h"
#include "storage/other_records.h"
#include "storage/nodetests.h"
#include "storage/records.h"

namespace {

struct Mixer {
    uint64_t h = 0x9e3779b97f4a7c15ULL;
    void add(uint64_t x) {
        h ^= x + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        h *= 0xff51afd7ed558ccdULL;
    }
    void add(const void* p) { add(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p))); }
};

void add_number(Mixer& m, const imag* n) {
    m.add(n);
    if (!n) return;
    m.add(static_cast<uint64_t>(static_cast<uint32_t>(n->count)));
    // Machine-integer arithmetic keeps the whole value in the value word
    // and leaves the digit chain as it was.
    if (lintmode) {
        m.add(static_cast<uint64_t>(static_cast<uint32_t>(n->value)));
        return;
    }
    int32_t k = 0;
    for (const numnode* d = n->head; d && k < n->count; d = d->next, k++) {
        m.add(d);
        m.add(static_cast<uint64_t>(static_cast<uint32_t>(d->digit)));
    }
}

void add_poly(Mixer& m, const polynode* p) {
    for (; p; p = p->next) {
        m.add(p);
        m.add(static_cast<uint64_t>(static_cast<uint32_t>(p->exp)) << 1 | static_cast<uint64_t>(p->numb != 0));
        if (p->numb)
            add_number(m, p->ncoef);
        else
            add_poly(m, p->pcoef);
    }
}

void add_quoly(Mixer& m, const quoly* q) {
    m.add(q);
    if (!q) return;
    m.add(static_cast<uint64_t>(q->isnum != 0) << 1 | static_cast<uint64_t>(q->rat != 0));
    if (q->isnum) {
        add_number(m, q->nnum);
        m.add(q->den);   // a mark, not a polynomial
        return;
    }
    add_poly(m, q->pnum);
    m.add(q->den);
    add_poly(m, q->den);
}

// Machine-integer arithmetic keeps the value in the value word.
bool zero_number(quoly* q) { return q && q->isnum && (lintmode ? lint_quoly_iszero(q) : quoly_iszero(q)); }

using Runs = std::vector<std::pair<int64_t, int64_t>>;

// unset: the runs of store indices of cells that were unassigned; a 0 there
// counts as still unassigned. collect: they are found now (taking the
// print), into unset.
uint64_t print_of(const array* a, Runs& unset, bool collect) {
    Mixer m;
    m.add(static_cast<uint64_t>(static_cast<uint32_t>(a->first)) << 32 | static_cast<uint32_t>(a->last));
    m.add(static_cast<uint64_t>(static_cast<uint32_t>(a->rows)) << 1 | static_cast<uint64_t>(a->onedim != 0));
    m.add(static_cast<uint64_t>(cell_count(a)));
    m.add(a->sparse);
    if (!a->sparse && collect) {
        for (int64_t c = a->first; c <= a->last;) {
            if (quoly* q = *cell_at(c)) {
                add_quoly(m, q);
                c++;
                continue;
            }
            const int64_t from = c;
            for (; c <= a->last && !*cell_at(c); c++) add_quoly(m, nullptr);
            unset.push_back({from, c - 1});
        }
        return m.h;
    }
    if (!a->sparse) {
        int64_t c = a->first;
        for (const auto& [from, to] : unset) {
            for (; c < from && c <= a->last; c++) add_quoly(m, *cell_at(c));
            for (; c <= to && c <= a->last; c++) {
                quoly* q = *cell_at(c);
                add_quoly(m, zero_number(q) ? nullptr : q);
            }
        }
        for (; c <= a->last; c++) add_quoly(m, *cell_at(c));
        return m.h;
    }
    for (const sparse* f = a->sparse; f; f = f->next) m.add(f);
    for (int32_t r = 1; r <= a->rows; r++)
        for (const colm* e = *row_head(a->sparse, r); e; e = e->next) {
            m.add(e);
            m.add(static_cast<uint64_t>(static_cast<uint32_t>(e->col)));
            add_quoly(m, e->val);
        }
    return m.h;
}

}  // namespace

void ArraysPrint::take() {
    reached_ = take_reached();
    entries_.clear();
    std::unordered_set<const array*> seen;
    for (const reached_array& r : reached_)
        if (array_alive(r.a, r.stamp) && seen.insert(r.a).second) {
            entry e{r.a, r.stamp, 0, {}};
            e.print = print_of(r.a, e.unset, true);
            entries_.push_back(std::move(e));
        }
    hold_reached(&reached_);
}

bool ArraysPrint::changed() {
    release_reached(&reached_);
    give_back_reached(std::move(reached_));
    for (entry& e : entries_)
        if (!array_alive(e.a, e.stamp) || print_of(e.a, e.unset, false) != e.print) return true;
    return false;
}
