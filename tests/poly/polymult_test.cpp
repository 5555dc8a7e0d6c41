// Products of polynomials in every ground ring against a map-based
// reference computed here (field products by an independent carry-less
// multiplication), the same product forced down each method, distributivity,
// aliasing of the result slot, operands left node for node as they were,
// shapes, and no record lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "support/data_once.h"
#include "support/field_ref.h"
#include "support/node_count.h"
#include "support/node_snapshot.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

// ---------------------------------------------------------------- rings

enum class Kind { digits, words, residues };

struct Ring {
    const char* name;
    Kind kind;
    int32_t modulus;
    int prime;
    std::vector<int32_t> divisors;   // of a composite modulus: coefficients built on them vanish in products
};

const std::vector<Ring> kRings = {
    {"Z", Kind::digits, 0, 0, {}},
    {"Z in machine words", Kind::words, 0, 0, {}},
    {"Z/65521", Kind::residues, 65521, 1, {}},
    {"Z/2147483629", Kind::residues, 2147483629, 1, {}},
    {"GF(2^8)", Kind::residues, 256, 1, {}},
    {"GF(2^16)", Kind::residues, 65536, 1, {}},
    {"Z/65535", Kind::residues, 65535, 0, {3, 5, 17, 257, 21845, 13107, 3855, 255}},
    {"Z/1000000", Kind::residues, 1000000, 0, {64, 15625, 1000, 1000}},
};

const Ring& ring_named(const std::string& n) {
    for (const Ring& r : kRings)
        if (n == r.name) return r;
    return kRings[0];
}

class RingScope {
public:
    explicit RingScope(const Ring& r, bool with_laurent = false) : ring_(r), saved_laurent_(laurent) {
        load_data_once();
        modularmode = r.kind == Kind::residues;
        lintmode = r.kind != Kind::digits;
        install_modulus(r.modulus);
        mod_is_prime = r.prime;
        laurent = with_laurent;
    }
    ~RingScope() { laurent = saved_laurent_; }
    const Ring& ring() const { return ring_; }

private:
    RingStateGuard guard_;
    const Ring& ring_;
    int saved_laurent_;
};

// The variable record at a level of the attached list (1 = outermost).
pt* var_at(int level) {
    pt* v = polynames;
    while (--level > 0) v = v->next;
    return v;
}

// The product cut-offs (the global ones and every variable's), restored at
// the end of the scope.
class Cutoffs {
public:
    Cutoffs() : poly_(poly_cutoff), mult_(fast_mult_cut), gcd_(fast_gcd_size) {
        for (pt* v = polynames; v; v = v->next) recs_.push_back(v->cutoff);
    }
    ~Cutoffs() {
        poly_cutoff = poly_;
        fast_mult_cut = mult_;
        fast_gcd_size = gcd_;
        size_t i = 0;
        for (pt* v = polynames; v && i < recs_.size(); v = v->next) v->cutoff = recs_[i++];
    }
    // list: poly_cutoff and every variable's cut-off (the dense kernels read
    // poly_cutoff too); mult: fast_mult_cut; gcd_size: fast_gcd_size.
    void set(int32_t list, int32_t mult, int32_t gcd_size) {
        poly_cutoff = list;
        for (pt* v = polynames; v; v = v->next) v->cutoff = list;
        fast_mult_cut = mult;
        fast_gcd_size = gcd_size;
    }

private:
    int32_t poly_, mult_, gcd_;
    std::vector<int32_t> recs_;
};

// ---------------------------------------------------------------- reference arithmetic

using Exps = std::vector<int32_t>;
using TermMap = std::map<Exps, mpz_class, std::greater<>>;

TermList from_map(const TermMap& m) {
    TermList out;
    for (const auto& [e, c] : m)
        if (c != 0) out.emplace_back(c, e);
    return out;
}

TermList ref_sum(const TermList& a, const TermList& b) {
    TermMap m;
    for (const TermList* l : {&a, &b})
        for (const Term& t : *l) m[t.exps] = ring_add(m[t.exps], t.coef);
    return from_map(m);
}

// The product by the definition: every pair of terms. One variable goes
// through a coefficient vector, which keeps long dense operands quick.
TermList ref_product(const TermList& a, const TermList& b) {
    if (a.empty() || b.empty()) return {};
    if (a.front().exps.size() == 1) {
        const int32_t lo = a.back().exps[0] + b.back().exps[0];
        const int32_t hi = a.front().exps[0] + b.front().exps[0];
        std::vector<mpz_class> z(hi - lo + 1);
        const bool plain = modularmode && !finf;
        std::vector<uint64_t> acc(plain ? z.size() : 0, 0);
        const uint64_t p = static_cast<uint32_t>(modulus);
        for (const Term& s : a)
            for (const Term& t : b) {
                const size_t k = s.exps[0] + t.exps[0] - lo;
                if (plain)
                    acc[k] = (acc[k] + s.coef.get_ui() % p * (t.coef.get_ui() % p)) % p;
                else
                    z[k] = ring_add(z[k], ring_mul(s.coef, t.coef));
            }
        TermList out;
        for (size_t k = z.size(); k-- > 0;) {
            mpz_class c = plain ? mpz_class(static_cast<unsigned long>(acc[k])) : z[k];
            if (c != 0) out.emplace_back(c, Exps{static_cast<int32_t>(k) + lo});
        }
        return out;
    }
    TermMap m;
    for (const Term& s : a)
        for (const Term& t : b) {
            Exps e(s.exps.size());
            for (size_t i = 0; i < e.size(); i++) e[i] = s.exps[i] + t.exps[i];
            mpz_class& c = m[e];
            c = ring_add(c, ring_mul(s.coef, t.coef));
        }
    return from_map(m);
}

// ---------------------------------------------------------------- random polynomials

mpz_class random_coef(NumberGen& g, const Ring& r) {
    switch (r.kind) {
        case Kind::digits: return g.chance(20) ? g.edge_value() : g.digits(g.length(1, 3));
        case Kind::words: return g.between(-(1 << 12), 1 << 12);
        case Kind::residues: break;
    }
    if (!r.divisors.empty() && g.chance(50)) {
        const int32_t d = r.divisors[g.below(static_cast<int32_t>(r.divisors.size()))];
        return mpz_class(d) * g.between(1, r.modulus / d - 1);
    }
    if (g.chance(10)) return r.modulus - 1;
    if (g.chance(10)) return 1;
    return g.below(r.modulus);
}

enum class Size { small_sparse, small_dense, large_dense, large_sparse };

TermList random_terms(NumberGen& g, const Ring& r, int nvars, Size size) {
    const int32_t low = laurent ? -3 : 0;
    std::vector<bool> absent(nvars);
    for (int v = 0; v < nvars; v++) absent[v] = nvars > 1 && g.chance(15);
    TermList t;
    auto box = [&](const std::vector<int32_t>& deg, int fill) {
        Exps e(nvars, low);
        for (;;) {
            if (g.chance(fill)) {
                Exps x = e;
                for (int v = 0; v < nvars; v++)
                    if (absent[v]) x[v] = 0;
                t.emplace_back(random_coef(g, r), x);
            }
            int v = 0;
            while (v < nvars && ++e[v] > low + deg[v]) e[v++] = low;
            if (v == nvars) break;
        }
    };
    switch (size) {
        case Size::small_sparse: {
            const int n = g.between(1, 8);
            for (int i = 0; i < n; i++) {
                Exps x(nvars);
                for (int v = 0; v < nvars; v++) x[v] = absent[v] || g.chance(30) ? 0 : g.between(low, 40);
                t.emplace_back(random_coef(g, r), x);
            }
            break;
        }
        case Size::small_dense: {
            static const int32_t side[] = {0, 14, 6, 3, 2, 2};
            box(std::vector<int32_t>(nvars, side[nvars]), 75);
            break;
        }
        case Size::large_dense: {
            // Top lists of at least 40 terms: Karatsuba at the default cut-off.
            // Beyond the second variable only one more takes part, which
            // keeps the reference quick.
            std::vector<int32_t> deg(nvars, 0);
            if (nvars == 1)
                deg[0] = r.kind == Kind::residues ? g.between(100, 1000) : g.between(60, 250);
            else
                deg[0] = g.between(44, 60);
            if (nvars >= 2) deg[1] = g.between(1, 5);
            if (nvars >= 3) deg[nvars - 1] = 1;
            absent[0] = false;
            box(deg, 92);
            break;
        }
        case Size::large_sparse: {
            const int n = g.between(40, 120);
            for (int i = 0; i < n; i++) {
                Exps x(nvars);
                for (int v = 0; v < nvars; v++) x[v] = v == 0 ? g.between(low, 3000) : g.between(low, 4);
                t.emplace_back(random_coef(g, r), x);
            }
            break;
        }
    }
    TermList c = canonical_terms(nvars, t);
    if (c.empty()) c.emplace_back(1, Exps(nvars, 0));
    return c;
}

// ---------------------------------------------------------------- record checks

// Every node, number record and digit node reachable from p, with the
// words that make it what it is.
struct Snap {
    const void* at;
    const void* next;
    const void* coef;
    int64_t a, b;   // exponent and flag of a term; value and count of a number; digit of a digit node
    bool operator==(const Snap&) const = default;
};

void snapshot(const polynode* p, std::vector<Snap>& out) {
    for (; p; p = p->next) {
        out.push_back({p, p->next, p->coef, p->exp, p->numb});
        if (!p->numb) {
            snapshot(p->pcoef, out);
            continue;
        }
        const imag* n = p->ncoef;
        out.push_back({n, n->head, n->tail, n->value, n->count});
        const numnode* d = n->head;
        for (int32_t i = 0; i < n->count && d; i++, d = d->next) out.push_back({d, d->next, nullptr, d->digit, 0});
    }
}

std::vector<Snap> snapshot(const polynode* p) {
    std::vector<Snap> s;
    snapshot(p, s);
    return s;
}

// ---------------------------------------------------------------- the methods

// The same product by each method the dispatcher has, chosen through the
// cut-offs.
enum class Method { dispatch, with_record, schoolbook, term_by_term, karatsuba, dense };
const char* name(Method m) {
    switch (m) {
        case Method::dispatch: return "poly_mult";
        case Method::with_record: return "poly_mult with the variable records";
        case Method::schoolbook: return "schoolbook";
        case Method::term_by_term: return "one term product per term, summed";
        case Method::karatsuba: return "Karatsuba wherever two terms meet";
        case Method::dense: return "dense one-variable arrays";
    }
    return "?";
}

constexpr int32_t NEVER = INT32_MAX;

polynode* multiply_by(Method m, polynode* a, polynode* b) {
    Cutoffs cut;
    polynode* r = nullptr;
    switch (m) {
        case Method::dispatch: poly_mult(a, b, &r, nilpol); break;
        case Method::with_record: poly_mult(a, b, &r, polynames); break;
        case Method::schoolbook: {
            cut.set(NEVER, NEVER, fast_gcd_size);
            int32_t last, flag = 0;
            const int32_t la = exp_poly_length(a, &last, &flag), lb = exp_poly_length(b, &last, &flag);
            simple_standard(a, b, std::abs(la), std::abs(lb), &r);
            break;
        }
        case Method::term_by_term:
            // The schoolbook sum spelled out, which no shortcut for small
            // integer coefficients can take at the top level.
            for (polynode* t = a; t; t = t->next) {
                polynode* part = nullptr;
                if (t->numb)
                    scalar_by_poly(t->ncoef, b, &part);
                else
                    node_by_poly(t, b, &part);
                if (r)
                    best_poly_add(r, part, &r);
                else
                    r = part;
            }
            break;
        case Method::karatsuba:
            // No dense arrays: the one-variable products split their lists too.
            cut.set(2, 2, 0);
            poly_mult(a, b, &r, nilpol);
            break;
        case Method::dense:
            cut.set(8, 2, fast_gcd_size);
            poly_mult(a, b, &r, nilpol);
            break;
    }
    return r;
}

// a * b by every method on the same operands, each result against want.
void check_product(int nvars, polynode* a, polynode* b, const TermList& want, const std::string& what) {
    const std::vector<Snap> sa = snapshot(a), sb = snapshot(b);
    for (Method m : {Method::dispatch, Method::with_record, Method::schoolbook, Method::term_by_term, Method::karatsuba,
                     Method::dense}) {
        SCOPED_TRACE(name(m));
        polynode* r = multiply_by(m, a, b);
        ASSERT_TRUE(check_poly_shape(r, nvars)) << what;
        EXPECT_EQ(read_poly(r, nvars), want) << what;
        if (want.empty()) {
            EXPECT_TRUE(is_zero_node(r)) << "zero must be one number node";
        }
        EXPECT_TRUE(snapshot(a) == sa) << "the first operand changed\n" << what;
        EXPECT_TRUE(snapshot(b) == sb) << "the second operand changed\n" << what;
        EXPECT_TRUE(disjoint(r, a));
        EXPECT_TRUE(disjoint(r, b));
        free_poly(&r);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// Result slots that are an operand's, and the square into its own slot.
void check_aliasing(int nvars, const TermList& A, const TermList& B) {
    polynode* a = build_poly(nvars, A);
    polynode* b = build_poly(nvars, B);
    poly_mult(a, b, &a, nilpol);
    ASSERT_TRUE(check_poly_shape(a, nvars));
    const TermList ab = ref_product(A, B);
    EXPECT_EQ(read_poly(a, nvars), ab);
    EXPECT_EQ(read_poly(b, nvars), B);
    poly_mult(a, b, &b, polynames);
    ASSERT_TRUE(check_poly_shape(b, nvars));
    EXPECT_EQ(read_poly(b, nvars), ref_product(ab, B));
    free_poly(&a);
    free_poly(&b);

    a = build_poly(nvars, A);
    poly_mult(a, a, &a, nilpol);
    ASSERT_TRUE(check_poly_shape(a, nvars));
    EXPECT_EQ(read_poly(a, nvars), ref_product(A, A));
    free_poly(&a);
}

// a (b + c) = a b + a c, compared structurally.
void check_distributive(int nvars, const TermList& A, const TermList& B, const TermList& C) {
    polynode* a = build_poly(nvars, A);
    polynode* b = build_poly(nvars, B);
    polynode* c = build_poly(nvars, C);
    polynode *sum = nullptr, *left = nullptr, *ab = nullptr, *ac = nullptr;
    poly_add(b, c, &sum);
    poly_mult(a, sum, &left, nilpol);
    poly_mult(a, b, &ab, nilpol);
    poly_mult(a, c, &ac, nilpol);
    best_poly_add(ab, ac, &ab);
    EXPECT_TRUE(check_poly_shape(left, nvars));
    EXPECT_EQ(read_poly(left, nvars), ref_product(A, ref_sum(B, C)));
    EXPECT_TRUE(poly_equal(left, ab)) << "a(b + c) != ab + ac\na = " << terms_to_string(A)
                                      << "\nb = " << terms_to_string(B) << "\nc = " << terms_to_string(C);
    for (polynode** p : {&a, &b, &c, &sum, &left, &ab}) free_poly(p);
}

void run_ring(const Ring& ring, bool with_laurent, uint64_t seed, int rounds) {
    RingScope scope(ring, with_laurent);
    AttachedVars vars(5);
    NumberGen g(seed);
    SCOPED_TRACE(::testing::Message() << ring.name << (with_laurent ? " Laurent" : "") << " " << g.trace());
    for (int i = 0; i < rounds; i++) {
        const int nvars = 1 + i % 5;
        number_polys = nvars;
        // Each number of variables meets both small, both large and dense,
        // one large and sparse, and one large against one small.
        Size sa = static_cast<Size>(g.below(2)), sb = static_cast<Size>(g.below(2));
        switch (i / 5 % 4) {
            case 1: sa = sb = Size::large_dense; break;
            case 2: sa = nvars <= 2 ? Size::large_sparse : Size::large_dense; break;
            case 3: sa = Size::large_dense; break;
            default: break;
        }
        const TermList A = random_terms(g, ring, nvars, sa);
        const TermList B = g.chance(10) ? A : random_terms(g, ring, nvars, sb);
        SCOPED_TRACE(::testing::Message() << "round " << i << ", " << nvars << " variables, " << A.size() << " x "
                                          << B.size() << " terms");
        RecordLedger ledger;
        const TermList want = ref_product(A, B);
        {
            polynode* a = build_poly(nvars, A);
            polynode* b = build_poly(nvars, B);
            const std::string what = "a = " + terms_to_string(A) + "\nb = " + terms_to_string(B);
            check_product(nvars, a, b, want, what.size() > 4000 ? what.substr(0, 4000) + " ..." : what);
            // The square through one pointer.
            check_product(nvars, a, a, ref_product(A, A), "a squared");
            free_poly(&a);
            free_poly(&b);
        }
        if (A.size() * B.size() < 5000) {
            check_aliasing(nvars, A, B);
            check_distributive(nvars, A, B, random_terms(g, ring, nvars, static_cast<Size>(g.below(2))));
        }
        ASSERT_TRUE(ledger.balanced());
        if (::testing::Test::HasFatalFailure()) return;
    }
}

class PolyMultRings : public ::testing::TestWithParam<int> {};

TEST_P(PolyMultRings, EveryMethodMatchesTheReference) { run_ring(kRings[GetParam()], false, 0x9017000u + GetParam(), scaled(30)); }

TEST_P(PolyMultRings, LaurentExponents) {
    if (kRings[GetParam()].kind == Kind::words) GTEST_SKIP() << "covered by the integers";
    run_ring(kRings[GetParam()], true, 0x1a07000u + GetParam(), scaled(15));
}

INSTANTIATE_TEST_SUITE_P(Rings, PolyMultRings, ::testing::Range(0, static_cast<int>(kRings.size())),
                         [](const auto& info) {
                             std::string s = kRings[info.param].name;
                             for (char& c : s)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return s;
                         });

// ---------------------------------------------------------------- dispatch cases

TEST(PolyMultDispatch, ZeroTimesAnythingIsTheNumberZero) {
    for (const char* r : {"Z", "Z in machine words", "Z/65521", "GF(2^8)"}) {
        RingScope s(ring_named(r));
        AttachedVars v(3);
        NumberGen g(5);
        SCOPED_TRACE(r);
        RecordLedger ledger;
        polynode* zero = build_poly(3, {});
        polynode* p = build_poly(3, random_terms(g, s.ring(), 3, Size::small_dense));
        for (bool left : {true, false}) {
            polynode* out = nullptr;
            poly_mult(left ? zero : p, left ? p : zero, &out, nilpol);
            EXPECT_TRUE(is_zero_node(out));
            free_poly(&out);
        }
        free_poly(&zero);
        free_poly(&p);
        EXPECT_TRUE(ledger.balanced());
    }
}

TEST(PolyMultDispatch, OperandsFreeOfTheOuterVariableArePaddedBack) {
    // Z/12: (6y + 1)^2 = 36y^2 + 12y + 1 = 1, a number that stays unpadded.
    for (const char* r : {"Z", "Z/65521"}) {
        RingScope s(ring_named(r));
        AttachedVars v(3);
        SCOPED_TRACE(r);
        RecordLedger ledger;
        const TermList A = {{3, {0, 2, 1}}, {1, {0, 0, 0}}}, B = {{2, {0, 1, 0}}, {5, {0, 0, 2}}};
        polynode* a = build_poly(3, A);
        polynode* b = build_poly(3, B);
        for (pt* rec : {polynames, nilpol}) {
            polynode* out = nullptr;
            poly_mult(a, b, &out, rec);
            ASSERT_TRUE(check_poly_shape(out, 3));
            ASSERT_FALSE(out->numb);
            EXPECT_EQ(out->exp, 0);
            EXPECT_EQ(out->next, nullptr) << "one padding node at the x level";
            EXPECT_EQ(read_poly(out, 3), ref_product(A, B));
            free_poly(&out);
        }
        free_poly(&a);
        free_poly(&b);
        EXPECT_TRUE(ledger.balanced());
    }
    Ring twelve{"Z/12", Kind::residues, 12, 0, {}};
    RingScope s(twelve);
    AttachedVars v(2);
    RecordLedger ledger;
    polynode* a = build_poly(2, {{6, {0, 1}}, {1, {0, 0}}});
    polynode* out = nullptr;
    poly_mult(a, a, &out, polynames);
    ASSERT_TRUE(check_poly_shape(out, 2));
    ASSERT_TRUE(out->numb && !out->next) << "a number product is not padded";
    EXPECT_EQ(number_value(out->ncoef), 1);
    free_poly(&out);
    free_poly(&a);
    EXPECT_TRUE(ledger.balanced());
}

// Under a composite modulus the leading products vanish in every method,
// the dense arrays included: no result may keep a zero leading term.
TEST(PolyMultDispatch, CompositeModulusDropsVanishedLeadingTerms) {
    Ring twelve{"Z/12", Kind::residues, 12, 0, {2, 3, 4, 6}};
    RingScope s(twelve);
    AttachedVars v(2);
    NumberGen g(12);
    for (int i = 0; i < scaled(20); i++) {
        const int nvars = 1 + i % 2;
        number_polys = nvars;
        TermList A = random_terms(g, twelve, nvars, i % 4 == 0 ? Size::large_dense : Size::small_dense);
        TermList B = random_terms(g, twelve, nvars, i % 4 == 0 ? Size::large_dense : Size::small_dense);
        // Leading coefficients 6 and 2 (or 4 and 3): their product is 0.
        A.front().coef = i % 2 ? 6 : 4;
        B.front().coef = i % 2 ? 2 : 3;
        RecordLedger ledger;
        polynode* a = build_poly(nvars, A);
        polynode* b = build_poly(nvars, B);
        check_product(nvars, a, b, ref_product(A, B), "Z/12");
        free_poly(&a);
        free_poly(&b);
        EXPECT_TRUE(ledger.balanced());
    }
}

// The dense work arrays show which way a product went.
constexpr uint32_t POISON = 0xDEADBEEFu;

void check_two_variable_arrays(const Ring& ring, int32_t top) {
    RingScope s(ring);
    AttachedVars v(2);
    init_poly_work_arrays();
    NumberGen g(31 + top);
    SCOPED_TRACE(::testing::Message() << ring.name << ", top degrees " << top);
    // Every power of x from 0 to top, each with a short y polynomial.
    auto dense2 = [&] {
        TermList t;
        for (int32_t i = 0; i <= top; i++)
            for (int32_t j = 0; j <= 3; j++) t.emplace_back(1 + g.below(modulus - 1), Exps{i, j});
        return canonical_terms(2, t);
    };
    const TermList A = dense2(), B = dense2();
    RecordLedger ledger;
    polynode* a = build_poly(2, A);
    polynode* b = build_poly(2, B);
    z2[0][0] = POISON;
    polynode* out = nullptr;
    poly_mult(a, b, &out, nilpol);
    EXPECT_EQ(z2[0][0] != POISON, top > 30) << "the two-variable arrays are for top degrees above 30";
    ASSERT_TRUE(check_poly_shape(out, 2));
    EXPECT_EQ(read_poly(out, 2), ref_product(A, B));
    free_poly(&out);
    check_product(2, a, b, ref_product(A, B), "two-variable");
    free_poly(&a);
    free_poly(&b);
    EXPECT_TRUE(ledger.balanced());
}

TEST(PolyMultDispatch, TwoVariableArraysFromTopDegree31) {
    // Z/12: whole rows of the product vanish, the top one included.
    const Ring twelve{"Z/12", Kind::residues, 12, 0, {}};
    for (const Ring* ring : {&ring_named("Z/65521"), &twelve}) {
        for (int32_t top : {30, 31, 40}) {
            check_two_variable_arrays(*ring, top);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

TEST(PolyMultDispatch, OneVariableArraysNeedNonNegativeExponents) {
    RingScope s(ring_named("Z/65521"), true);
    AttachedVars v(1);
    init_poly_work_arrays();
    NumberGen g(7);
    TermList dense;
    for (int32_t i = 0; i <= 60; i++) dense.emplace_back(1 + g.below(65520), Exps{i});
    dense = canonical_terms(1, dense);
    TermList negative = dense;
    negative.emplace_back(5, Exps{-2});
    for (bool neg_first : {false, true}) {
        for (bool with_negative : {false, true}) {
            const TermList A = with_negative && neg_first ? negative : dense;
            const TermList B = with_negative && !neg_first ? negative : dense;
            RecordLedger ledger;
            polynode* a = build_poly(1, A);
            polynode* b = build_poly(1, B);
            const int32_t top = A.front().exps[0] + B.front().exps[0];
            zz[top] = POISON;
            polynode* out = nullptr;
            poly_mult(a, b, &out, nilpol);
            EXPECT_EQ(zz[top] != POISON, !with_negative) << "negative exponents stay off the arrays";
            ASSERT_TRUE(check_poly_shape(out, 1));
            EXPECT_EQ(read_poly(out, 1), ref_product(A, B));
            free_poly(&out);
            free_poly(&a);
            free_poly(&b);
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

// With a record whose variable has a relation (here x^7 = 2) the product is
// reduced: by the schoolbook below the variable's own cut-off, after the
// splits above it; the operand is left as it was.
TEST(PolyMultDispatch, RelationsReachTheModOutReductions) {
    RingScope s(ring_named("Z"));
    AttachedVars v(1);
    Cutoffs cut;
    NumberGen g(3);
    TermList A;
    for (int32_t i = 0; i < 50; i++) A.emplace_back(g.between(1, 1000), Exps{i});
    A = canonical_terms(1, A);
    pt* x = var_at(1);
    polynode* relation = build_poly(1, {{2, {0}}});
    x->relation = relation;
    x->modout_degree = 7;
    // x^e = 2^(e div 7) x^(e mod 7).
    TermMap folded;
    for (const Term& t : ref_product(A, A)) {
        mpz_class c = t.coef;
        mpz_mul_2exp(c.get_mpz_t(), c.get_mpz_t(), t.exps[0] / 7);
        folded[Exps{t.exps[0] % 7}] += c;
    }
    const TermList want = from_map(folded);
    RecordLedger ledger;
    polynode* a = build_poly(1, A);
    const std::vector<Snap> before = snapshot(a);
    for (int32_t c : {10, 60}) {
        x->cutoff = c;
        polynode* out = nullptr;
        poly_mult(a, a, &out, polynames);
        EXPECT_TRUE(check_poly_shape(out, 1));
        EXPECT_EQ(read_poly(out, 1), want) << "cut-off " << c;
        EXPECT_TRUE(snapshot(a) == before) << "cut-off " << c << ": the operand was changed";
        free_poly(&out);
        // Without a record the relation is not consulted.
        poly_mult(a, a, &out, nilpol);
        EXPECT_EQ(read_poly(out, 1), ref_product(A, A));
        free_poly(&out);
    }
    free_poly(&a);
    EXPECT_TRUE(ledger.balanced()) << "records lost";
}

TEST(PolyMultDispatch, ModularOneVariableProductFoldsWithFieldLevels) {
    RingScope s(ring_named("Z/65521"));
    AttachedVars v(1);
    pt* x = var_at(1);
    x->relation = build_poly(1, {{3, {0}}});
    x->modout_degree = 5;
    const int16_t saved_depth = field_depth;
    field_depth = 1;
    polynode* a = build_poly(1, {{1, {3}}, {1, {0}}});
    polynode* out = nullptr;
    // (x^3 + 1)^2 = x^6 + 2x^3 + 1 with x^5 = 3.
    poly_mult(a, a, &out, polynames);
    EXPECT_EQ(read_poly(out, 1), (TermList{{2, {3}}, {3, {1}}, {1, {0}}}));
    field_depth = saved_depth;
    free_poly(&out);
    // Outside field levels the one-variable product is not folded.
    poly_mult(a, a, &out, polynames);
    EXPECT_EQ(read_poly(out, 1), (TermList{{1, {6}}, {2, {3}}, {1, {0}}}));
    free_poly(&out);
    free_poly(&a);
}

// Integer coefficients near the limb and digit boundaries, in both signs,
// whose products and sums land exactly on powers of 2^28 and just beside
// them: the carries and the sign of every accumulated coefficient.
TEST(PolyMultDispatch, IntegerCoefficientsAcrossDigitBoundaries) {
    RingScope s(ring_named("Z"));
    AttachedVars v(2);
    NumberGen g(28);
    std::vector<mpz_class> edges;
    for (int k : {0, 28, 56, 84, 112}) {
        const mpz_class p = mpz_class(1) << k;
        for (const mpz_class& e : {p, mpz_class(p - 1), mpz_class(p + 1)})
            if (e != 0) {
                edges.push_back(e);
                edges.push_back(-e);
            }
    }
    for (int i = 0; i < scaled(60); i++) {
        auto edgy = [&](int n) {
            TermList t;
            for (int j = 0; j < n; j++)
                t.emplace_back(edges[g.below(static_cast<int32_t>(edges.size()))], Exps{g.between(0, 3), g.between(0, 2)});
            TermList c = canonical_terms(2, t);
            if (c.empty()) c.emplace_back(1, Exps{0, 0});
            return c;
        };
        const TermList A = edgy(g.between(1, 6)), B = edgy(g.between(1, 6));
        RecordLedger ledger;
        polynode* a = build_poly(2, A);
        polynode* b = build_poly(2, B);
        check_product(2, a, b, ref_product(A, B), "a = " + terms_to_string(A) + "\nb = " + terms_to_string(B));
        free_poly(&a);
        free_poly(&b);
        ASSERT_TRUE(ledger.balanced());
    }
}

// ---------------------------------------------------------------- term products

// t * p term by term, with x^e folded to r^k x^(e - kd) below x^d.
TermList ref_term_times(const Term& t, const TermList& p, int32_t d, const mpz_class& r) {
    TermMap m;
    for (const Term& u : p) {
        Exps e = u.exps;
        for (size_t i = 0; i < e.size(); i++) e[i] += t.exps[i];
        mpz_class c = ring_mul(t.coef, u.coef);
        while (d > 0 && e[0] >= d) {
            c = ring_mul(c, r);
            e[0] -= d;
        }
        m[e] = ring_add(m[e], c);
    }
    return from_map(m);
}

TEST(PolyMultTerms, NodeProductsAndTheLoneRelation) {
    for (const char* rn : {"Z", "Z/65521", "Z/65535", "GF(2^16)"}) {
        RingScope s(ring_named(rn));
        AttachedVars v(3);
        NumberGen g(99);
        SCOPED_TRACE(rn);
        for (int i = 0; i < scaled(30); i++) {
            const TermList P = random_terms(g, s.ring(), 3, static_cast<Size>(i % 2));
            const TermList T = random_terms(g, s.ring(), 3, Size::small_sparse);
            const Term& t0 = T.front();
            const int32_t d = g.between(1, 9);
            const mpz_class r = g.chance(20) ? mpz_class(0) : random_coef(g, s.ring());
            RecordLedger ledger;
            polynode* p = build_poly(3, P);
            polynode* t = build_poly(3, {t0});
            polynode* rn_node = build_poly(1, {{r, {0}}});
            const std::vector<Snap> sp = snapshot(p), st = snapshot(t);
            TermContext ctx;
            ctx.inner = var_at(2);
            ctx.lone_relation = 1;
            ctx.r = rn_node;
            ctx.degree = d;
            ctx.rec = var_at(1);

            polynode* out = nullptr;
            node_by_poly(t, p, &out);
            ASSERT_TRUE(check_poly_shape(out, 3));
            EXPECT_EQ(read_poly(out, 3), ref_term_times(t0, P, 0, 0));
            free_poly(&out);
            node_by_poly_1(t, p, &out, &ctx);
            EXPECT_EQ(read_poly(out, 3), ref_term_times(t0, P, 0, 0));
            free_poly(&out);
            fast_mod_standard(t, p, &out, polynames);
            EXPECT_EQ(read_poly(out, 3), ref_term_times(t0, P, 0, 0));
            free_poly(&out);
            node_by_poly_2(t, p, &out, &ctx);
            ASSERT_TRUE(check_poly_shape(out, 3));
            EXPECT_EQ(read_poly(out, 3), ref_term_times(t0, P, d, r)) << "x^" << d << " = " << r;
            free_poly(&out);
            EXPECT_TRUE(snapshot(p) == sp);
            EXPECT_TRUE(snapshot(t) == st);
            for (polynode** q : {&p, &t, &rn_node}) free_poly(q);
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

TEST(PolyMultTerms, ScalingByANumber) {
    for (const Ring& ring : kRings) {
        RingScope s(ring);
        AttachedVars v(4);
        NumberGen g(17);
        SCOPED_TRACE(ring.name);
        for (int i = 0; i < scaled(20); i++) {
            const TermList P = random_terms(g, ring, 4, static_cast<Size>(i % 2));
            const mpz_class c = i % 7 == 0 ? mpz_class(1) : i % 7 == 1 ? mpz_class(0) : random_coef(g, ring);
            const TermList want = ref_product(P, {{c, {0, 0, 0, 0}}});
            RecordLedger ledger;
            polynode* p = build_poly(4, P);
            polynode* n = build_poly(1, {{c, {0}}});
            const std::vector<Snap> sp = snapshot(p);
            polynode* out = nullptr;
            scalar_by_poly(n->ncoef, p, &out);
            ASSERT_TRUE(check_poly_shape(out, 4));
            EXPECT_EQ(read_poly(out, 4), want) << "c = " << c;
            EXPECT_TRUE(snapshot(p) == sp);
            free_poly(&out);
            if (modularmode) {
                const int32_t r = static_cast<int32_t>(c.get_si());
                number_by_poly(r, p, &out, 1);
                ASSERT_TRUE(check_poly_shape(out, 4));
                EXPECT_EQ(read_poly(out, 4), want);
                EXPECT_TRUE(snapshot(p) == sp);
                free_poly(&out);
                poly_assign(p, &out);
                number_by_poly(r, nullptr, &out, 0);   // in place
                ASSERT_TRUE(check_poly_shape(out, 4));
                EXPECT_EQ(read_poly(out, 4), want);
                free_poly(&out);
            }
            free_poly(&p);
            free_poly(&n);
            EXPECT_TRUE(ledger.balanced());
        }
    }
}

TEST(PolyMultTerms, RepeatedSquaringOrMultiplication) {
    RingScope s(ring_named("Z"));
    struct Case {
        int vars;
        TermList p;
        int want;
    };
    const std::vector<Case> cases = {
        {1, {{1, {5}}, {3, {2}}, {1, {0}}}, 1},            // one variable
        {2, {{1, {1, 0}}, {1, {0, 0}}}, 1},                // x + 1: no coefficient beyond a number
        {2, {{1, {1, 1}}, {1, {0, 0}}}, 0},                // x y + 1: several terms, one over y
        {2, {{1, {2, 1}}, {1, {2, 0}}}, 1},                // (y + 1) x^2: down to y + 1
        {3, {{1, {3, 2, 1}}, {1, {3, 2, 0}}, {2, {3, 0, 0}}}, 0},   // x^3 (y^2 (z + 1) + 2)
        {3, {{1, {3, 2, 1}}, {1, {3, 2, 0}}}, 1},          // x^3 y^2 (z + 1)
        {3, {{4, {0, 0, 0}}}, 1},                          // a number
    };
    for (const Case& c : cases) {
        AttachedVars v(c.vars);
        polynode* p = build_poly(c.vars, c.p);
        EXPECT_EQ(bysquaring(p), c.want) << terms_to_string(c.p);
        pseudo_polynames = polynames;
        EXPECT_EQ(bysquaring(p), 1) << "with relations around, always by squaring";
        pseudo_polynames = nullptr;
        free_poly(&p);
    }
}

}  // namespace
