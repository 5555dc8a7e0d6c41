// The field case of the integer polynomial determinants: the prime
// sequence over the first auxiliary primes, the check of the combined
// answer at a random point (the field variables kept), and the bound on
// what the reduction by the relations adds to the coefficients.
#include "det/field_poly_det.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "det/det_state.h"
#include "det/mat_invert.h"
#include "det/poly_det_impl.h"
#include "det/prime_switch.h"
#include "det/sparse_copy.h"
#include "gcd/aux_source.h"
#include "interp/settings.h"
#include "matrix/sparse.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

namespace polydet {

AuxPrimeSequence::AuxPrimeSequence() : table_(first_aux_table()), index_(1 + rand_integer3() % 4) {}

int32_t AuxPrimeSequence::current() const { return table_[static_cast<size_t>(index_) - 1]->value; }

void AuxPrimeSequence::advance() {
    index_++;
    // A short list would be run out by the jumps before the answer settles.
    if (static_cast<int32_t>(table_.size()) > AUX_JUMP_COUNT && index_ % 10 == 0) index_ += rand_integer3() % 3;
}

namespace {

// A random first auxiliary prime not in `used`; 0 when there is none.
int32_t unused_aux_prime(const std::set<int32_t>& used) {
    std::vector<int32_t> left;
    for (imag* e : first_aux_table())
        if (!used.count(static_cast<int32_t>(e->value))) left.push_back(static_cast<int32_t>(e->value));
    if (left.empty()) return 0;
    return left[static_cast<size_t>(rand_integer3()) % left.size()];
}

// The ordinary variables are the levels above field_depth; xs[l - 1] is
// the value of level l, never 0.
std::vector<uint32_t> random_point(int32_t q) {
    std::vector<uint32_t> xs(static_cast<size_t>(std::max(field_depth - 1, 0)));
    for (auto& x : xs) x = static_cast<uint32_t>(1 + (int64_t{rand_integer3()} * 48871 + rand_integer3()) % (q - 1));
    return xs;
}

// The residue polynomial p with the ordinary variables at xs: a field
// element, into the empty slot *out (0 for zero).
void at_point(quoly* q, const std::vector<uint32_t>& xs, quoly** out) {
    if (q->isnum) {
        quoly_assign(q, out);
        return;
    }
    polynode* cur = nullptr;
    poly_assign(q->pnum, &cur);
    for (int32_t level = static_cast<int32_t>(xs.size()); level >= 1 && cur; level--) {
        polynode* next = poly_at_point(cur, level, xs[static_cast<size_t>(level) - 1]);
        free_poly(&cur);
        cur = next;
    }
    if (!cur)
        quoly_set(0, out);
    else
        use_up_poly(&cur, out);
}

// A (modulo the current prime) at xs for the ordinary variables, the
// exponents of those stretched by `stretch`; the field variables kept.
void answer_at_point(const CrtAnswer& A, const std::vector<uint32_t>& xs, int64_t stretch, quoly** out) {
    const int32_t nvars = number_polys;
    const std::vector<uint32_t> pre = A.prefixes();
    std::map<Monomial, uint32_t> kept;
    for (const auto& [mono, t] : A.digits) {
        uint32_t c = A.residue(t, pre);
        Monomial key = mono;
        for (size_t l = 0; l < xs.size(); l++) {
            c = rmul(c, rpow(xs[l], int64_t{mono[l]} * stretch));
            key[l] = 0;
        }
        uint32_t& slot = kept[key];
        slot = radd(slot, c);
    }
    TermTable table{nvars, {}, {}};
    for (const auto& [key, c] : kept)
        if (c) table.push(key, c);
    table.build(out);
}

// det = A(point) * factor(point) in the field, everything residues now.
bool agrees(const CrtAnswer& A, const std::vector<uint32_t>& xs, int64_t stretch, polynode* factor, quoly* det) {
    quoly* v = nullptr;
    answer_at_point(A, xs, stretch, &v);
    QuolyOwner value(v);
    if (factor) {
        quoly* fq = nullptr;
        polynode* f = nullptr;
        poly_assign(factor, &f);
        use_up_poly(&f, &fq);
        QuolyOwner fo(nullptr);
        at_point(fq, xs, &fo.q);
        free_quoly(&fq);
        quoly* prod = nullptr;
        quoly_mult(value.q, fo.q, &prod);
        free_quoly(&value.q);
        value.q = prod;
    }
    quoly* diff = nullptr;
    quoly_sub(value.q, det, &diff);
    QuolyOwner d(diff);
    return quoly_iszero(d.q);
}

}  // namespace

int field_answer_check(const CrtAnswer& A, quoly** cells, int32_t n, polynode* factor,
                       const std::set<int32_t>& used) {
    const int32_t q = unused_aux_prime(used);
    if (!q) return -1;
    const int64_t count = int64_t{n} * n;
    // A factor that vanishes modulo q leaves det = 0 to be checked.
    polynode* f = factor;
    PrimeSwitch sw(q, cells, count, &f, true);
    const std::vector<uint32_t> xs = random_point(q);
    WorkCopy block(nullptr, 0, "Det");
    for (int64_t c = 0; c < count; c++) block.cells[c] = nullptr;
    block.count = count;
    for (int64_t c = 0; c < count; c++) at_point(cells[c], xs, &block.cells[c]);
    quoly* d = nullptr;
    quoly_set(1, &d);
    QuolyOwner det(d);
    sparse* none = nullptr;
    mat_invert(block.cells, block.cells, 1, 1, n, &det.q, 0, 1, &none, nullptr, -1, -1, -1, 0, 0);
    if (factor && !f) return quoly_iszero(det.q) ? 1 : 0;
    return agrees(A, xs, 1, f, det.q) ? 1 : 0;
}

int sparse_field_answer_check(const CrtAnswer& A, sparse* frame, int32_t n, polynode* factor, int32_t power,
                              const std::set<int32_t>& used) {
    const int32_t q = unused_aux_prime(used);
    if (!q) return -1;
    polynode* f = factor;
    PrimeSwitch sw(q, frame, n, &f, true);
    const std::vector<uint32_t> xs = random_point(q);
    SparseCopy copy(n);
    evaluated_copy(frame, n, copy, [&](quoly* e, quoly** out) { at_point(e, xs, out); });
    quoly* d = nullptr;
    quoly_set(1, &d);
    QuolyOwner det(d);
    mat_invert(nullptr, nullptr, 0, 0, n, &det.q, 0, 1, &copy.f, nullptr, -1, -1, -1, 0, 0);
    if (factor && !f) return quoly_iszero(det.q) ? 1 : 0;
    const int64_t stretch = power < -1 ? -int64_t{power} : 1;
    return agrees(A, xs, stretch, f, det.q) ? 1 : 0;
}

namespace {

// The largest total degree in the field levels of p's terms (p's chain at
// level `level`).
int32_t field_degree(const polynode* p, int32_t level) {
    int32_t m = 0;
    for (; p; p = p->next) {
        const int32_t own = level >= field_depth ? std::max(p->exp, 0) : 0;
        const int32_t below = p->numb ? 0 : field_degree(p->pcoef, level + 1);
        m = std::max(m, own + below);
    }
    return m;
}

double coefficient_sum(const polynode* p) {
    double s = 0;
    for (; p; p = p->next) {
        if (!p->numb) {
            s += coefficient_sum(p->pcoef);
            continue;
        }
        const imag* x = p->ncoef;
        // Digits of 28 bits, most significant first.
        double v = 0;
        for (const numnode* d = x->head; d; d = d->next) v = v * 268435456.0 + std::fabs(static_cast<double>(d->digit));
        s += v;
    }
    return s;
}

}  // namespace

double field_reduction_bits(sparse* frame, int32_t n) {
    double h = 0;
    for (const pt* v = polynames; v; v = v->next)
        if (v->relation && v->field && v->level >= field_depth)
            // With the leading 1 when the relation keeps it: a bound all the same.
            h = std::max(h, coefficient_sum(v->relation));
    const double per_degree = std::log2(1 + h);
    double bits = 0;
    for (int32_t r = 1; r <= n; r++) {
        int32_t d = 0;
        for (colm* c = *row_head(frame, r); c; c = c->next)
            if (!c->val->isnum) d = std::max(d, field_degree(c->val->pnum, 1));
        bits += d * per_degree;
    }
    return bits;
}

}  // namespace polydet
