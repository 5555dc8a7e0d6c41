#include "support/poly_build.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <unordered_set>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "support/gmp_bridge.h"
#include "support/number_check.h"

// ---------------------------------------------------------------- terms

static_assert(sizeof(long) == sizeof(long long), "mpz_class takes a long");
Term::Term(int c, std::vector<int32_t> e) : coef(c), exps(std::move(e)) {}
Term::Term(long c, std::vector<int32_t> e) : coef(c), exps(std::move(e)) {}
Term::Term(long long c, std::vector<int32_t> e) : coef(static_cast<long>(c)), exps(std::move(e)) {}
Term::Term(const char* decimal, std::vector<int32_t> e) : coef(decimal, 10), exps(std::move(e)) {}
Term::Term(const std::string& decimal, std::vector<int32_t> e) : coef(decimal, 10), exps(std::move(e)) {}
Term::Term(mpz_class c, std::vector<int32_t> e) : coef(std::move(c)), exps(std::move(e)) {}

std::ostream& operator<<(std::ostream& os, const Term& t) {
    os << describe(t.coef) << "*[";
    for (size_t i = 0; i < t.exps.size(); i++) os << (i ? "," : "") << t.exps[i];
    return os << "]";
}

std::string terms_to_string(const TermList& terms) {
    if (terms.empty()) return "0";
    std::ostringstream os;
    for (size_t i = 0; i < terms.size(); i++) os << (i ? " + " : "") << terms[i];
    return os.str();
}

namespace {

bool fits_word(const mpz_class& v) { return v >= INT32_MIN && v <= INT32_MAX; }

// The coefficient as the ground ring holds it.
mpz_class reduce(const mpz_class& c) {
    if (!modularmode) return c;
    if (finf) {
        // Field elements are given as such; there is no integer to reduce.
        if (c < 0 || c >= modulus)
            throw std::invalid_argument("element " + c.get_str() + " outside the characteristic-2 field");
        return c;
    }
    mpz_class r;
    mpz_fdiv_r_ui(r.get_mpz_t(), c.get_mpz_t(), static_cast<unsigned long>(modulus));
    return r;
}

// The sum of two coefficients in the ground ring (exclusive or under finf).
mpz_class ring_sum(const mpz_class& a, const mpz_class& b) {
    if (modularmode && finf) return a ^ b;
    return reduce(a + b);
}

// A fresh number record holding v in the ground ring's form.
imag* make_number(const mpz_class& v) {
    if (lintmode) {
        if (!fits_word(v)) throw std::invalid_argument(v.get_str() + " does not fit the value word");
        imag* x = empty_number();
        x->value = static_cast<int32_t>(v.get_si());
        return x;
    }
    return from_mpz(v);
}

polynode* new_node(int32_t exp, int32_t numb, void* coef) {
    polynode* t;
    newpoly(&t);
    t->next = nullptr;
    t->exp = exp;
    t->numb = numb;
    t->coef = coef;
    return t;
}

bool lone_number(const polynode* p) { return p && p->numb && !p->next; }

// Terms [b, e) agree on their first d exponents; builds their polynomial in
// the variables from level d + 1 inward.
polynode* build_level(TermList::const_iterator b, TermList::const_iterator e, int d, int nvars) {
    if (d == nvars) return new_node(0, 1, make_number(b->coef));
    polynode* head = nullptr;
    polynode** link = &head;
    while (b != e) {
        int32_t x = b->exps[d];
        auto group_end = std::find_if(b, e, [&](const Term& t) { return t.exps[d] != x; });
        polynode* coef = build_level(b, group_end, d + 1, nvars);
        // An exponent-0 term with a lone number coefficient is that number.
        polynode* term = (x == 0 && lone_number(coef)) ? coef : new_node(x, 0, coef);
        *link = term;
        link = &term->next;
        b = group_end;
    }
    return head;
}

// Unreadable numbers are not zero here; the number checks report them.
bool is_zero_number(const imag* x) {
    if (!x) return false;
    if (lintmode) return x->value == 0;
    return x->count >= 1 && x->head && x->head->digit == 0;
}

}  // namespace

mpz_class number_value(const imag* x) {
    if (lintmode) return mpz_class(static_cast<long>(x->value));
    return to_mpz(x);
}

TermList canonical_terms(int nvars, const TermList& terms) {
    std::map<std::vector<int32_t>, mpz_class, std::greater<>> sum;
    for (const Term& t : terms) {
        if (static_cast<int>(t.exps.size()) != nvars)
            throw std::invalid_argument("term " + ::testing::PrintToString(t) + " has " +
                                        std::to_string(t.exps.size()) + " exponents, not " +
                                        std::to_string(nvars));
        mpz_class c = reduce(t.coef);
        auto [it, fresh] = sum.emplace(t.exps, c);
        if (!fresh) it->second = ring_sum(it->second, c);
    }
    TermList out;
    for (auto& [exps, c] : sum)
        if (c != 0) out.emplace_back(c, exps);
    return out;
}

polynode* build_poly(int nvars, const TermList& terms) {
    TermList t = canonical_terms(nvars, terms);
    for (const Term& term : t) {
        if (lintmode && !fits_word(term.coef))
            throw std::invalid_argument(term.coef.get_str() + " does not fit the value word");
        for (int32_t x : term.exps)
            if (x < 0 && !laurent) throw std::invalid_argument("negative exponent without laurent");
    }
    if (t.empty()) return new_node(0, 1, make_number(0));
    return build_level(t.begin(), t.end(), 0, nvars);
}

TermList read_poly(const polynode* p, int nvars) {
    TermList out;
    std::vector<int32_t> prefix;
    std::unordered_set<const void*> seen;
    std::function<void(const polynode*)> walk = [&](const polynode* chain) {
        for (const polynode* t = chain; t; t = t->next) {
            if (!seen.insert(t).second) return;   // a cycle: check_poly_shape reports it
            if (t->numb) {
                if (!t->ncoef) continue;
                mpz_class c = number_value(t->ncoef);
                if (c == 0) continue;
                // The constant term of its level: exponent 0 here and in
                // every level further in.
                std::vector<int32_t> exps = prefix;
                while (static_cast<int>(exps.size()) < nvars) exps.push_back(0);
                out.emplace_back(c, exps);
            } else {
                prefix.push_back(t->exp);
                walk(t->pcoef);
                prefix.pop_back();
            }
        }
    };
    walk(p);
    std::stable_sort(out.begin(), out.end(), [](const Term& a, const Term& b) { return a.exps > b.exps; });
    return out;
}

// ---------------------------------------------------------------- shape checker

namespace {

class ShapeChecker {
public:
    explicit ShapeChecker(int nvars) : nvars_(nvars) {}

    ::testing::AssertionResult run(const polynode* p) {
        if (!p) return ::testing::AssertionFailure() << "null pointer: no polynomial at all";
        if (nvars_ < 0) return ::testing::AssertionFailure() << "negative variable count " << nvars_;
        return chain(p, 0, true);
    }

private:
    int nvars_;
    std::vector<int32_t> path_;
    std::unordered_set<const void*> seen_;

    ::testing::AssertionResult fail() {
        ::testing::AssertionResult r = ::testing::AssertionFailure();
        r << "at ";
        if (path_.empty()) r << "the top level";
        for (size_t i = 0; i < path_.size(); i++) r << (i ? " " : "") << "x" << (i + 1) << "^" << path_[i];
        r << ": ";
        return r;
    }

    ::testing::AssertionResult number(const imag* x) {
        if (!seen_.insert(x).second) return fail() << "number record reached twice (shared)";
        if (modularmode) {
            if (x->value < 0 || x->value >= modulus)
                return fail() << "residue " << x->value << " outside 0 .. " << modulus - 1;
            return ::testing::AssertionSuccess();
        }
        if (lintmode) return ::testing::AssertionSuccess();
        auto r = check_number(x);
        if (!r) return fail() << "malformed number: " << r.message();
        return ::testing::AssertionSuccess();
    }

    // The chain of level d + 1 (d variables above it); top: the whole polynomial.
    ::testing::AssertionResult chain(const polynode* c, int d, bool top) {
        const polynode* prev = nullptr;
        for (const polynode* t = c; t; prev = t, t = t->next) {
            if (!seen_.insert(t).second) return fail() << "term node reached twice (shared or cyclic chain)";
            if (prev && t->exp >= prev->exp)
                return fail() << "exponent " << t->exp << " follows " << prev->exp << " (not strictly decreasing)";
            if (t->exp < 0 && !laurent) return fail() << "negative exponent " << t->exp << " without laurent";
            if (t->numb) {
                if (t->exp != 0) return fail() << "number node with exponent " << t->exp;
                if (!t->ncoef) return fail() << "number node without a number";
                auto r = number(t->ncoef);
                if (!r) return r;
                if (is_zero_number(t->ncoef) && !(top && t == c && !t->next))
                    return fail() << "zero term (zero is only ever the whole polynomial)";
                continue;
            }
            if (d == nvars_)
                return fail() << "non-number node of exponent " << t->exp << " below the innermost of " << nvars_
                              << " variables";
            if (!t->pcoef) return fail() << "term of exponent " << t->exp << " without a coefficient";
            if (t->exp == 0 && lone_number(t->pcoef))
                return fail() << "exponent-0 wrapper around a lone number (the number node belongs here)";
            path_.push_back(t->exp);
            auto r = chain(t->pcoef, d + 1, false);
            path_.pop_back();
            if (!r) return r;
        }
        return ::testing::AssertionSuccess();
    }
};

}  // namespace

::testing::AssertionResult check_poly_shape(const polynode* p, int nvars) { return ShapeChecker(nvars).run(p); }

// ---------------------------------------------------------------- quoly normal form

::testing::AssertionResult check_quoly_normal(const quoly* q, int nvars) {
    using ::testing::AssertionFailure;
    if (!q) return AssertionFailure() << "null quoly";
    if (q->isnum == 1) {
        if (!q->nnum) return AssertionFailure() << "number quoly without a number";
        if (modularmode) {
            if (q->nnum->value < 0 || q->nnum->value >= modulus)
                return AssertionFailure() << "number quoly residue " << q->nnum->value << " outside 0 .. "
                                          << modulus - 1;
        } else if (!lintmode) {
            auto c = check_number(q->nnum);
            if (!c) return AssertionFailure() << "number quoly: " << c.message();
        }
        return ::testing::AssertionSuccess();
    }
    if (q->isnum != 0) return AssertionFailure() << "isnum is " << q->isnum;
    if (!q->pnum) return AssertionFailure() << "polynomial quoly without a numerator";
    if (nvars >= 0) {
        auto r = check_poly_shape(q->pnum, nvars);
        if (!r) return AssertionFailure() << "numerator: " << r.message();
        if (q->den) {
            r = check_poly_shape(q->den, nvars);
            if (!r) return AssertionFailure() << "denominator: " << r.message();
        }
    }
    const polynode* n = q->pnum;
    const polynode* d = q->den;
    if (q->rat) {
        if (lintmode) return AssertionFailure() << "rat set in machine-integer mode";
        if (!lone_number(n)) return AssertionFailure() << "rational whose numerator is not a lone number node";
        if (!d) return AssertionFailure() << "rational without a denominator";
        if (!lone_number(d)) return AssertionFailure() << "rational whose denominator is not a lone number node";
        if (n->exp != 0 || d->exp != 0) return AssertionFailure() << "rational number node with an exponent";
        auto c = check_number(n->ncoef);
        if (!c) return AssertionFailure() << "rational numerator: " << c.message();
        c = check_number(d->ncoef);
        if (!c) return AssertionFailure() << "rational denominator: " << c.message();
        mpz_class a = to_mpz(n->ncoef), b = to_mpz(d->ncoef);
        if (a == 0) return AssertionFailure() << "rational with numerator 0";
        if (b < 2) return AssertionFailure() << "rational denominator " << describe(b) << " (must be at least 2)";
        mpz_class g = gcd(a, b);
        if (g != 1)
            return AssertionFailure() << "rational " << describe(a) << "/" << describe(b) << " has common factor "
                                      << describe(g);
        return ::testing::AssertionSuccess();
    }
    if (q->rat != 0) return AssertionFailure() << "rat is " << q->rat;
    if (lone_number(n) && n->ncoef) {
        if (is_zero_number(n->ncoef)) return AssertionFailure() << "zero held as a polynomial quoly";
        if (!d) return AssertionFailure() << "a number held as a polynomial quoly (should be a number quoly)";
        if (lone_number(d) && !lintmode) return AssertionFailure() << "a quotient of numbers without rat";
    }
    if (d && lone_number(d) && d->ncoef) {
        if (is_zero_number(d->ncoef)) return AssertionFailure() << "zero denominator";
        if (number_value(d->ncoef) == 1) return AssertionFailure() << "denominator 1 (should be null)";
    }
    return ::testing::AssertionSuccess();
}

polynode* number_node(const mpz_class& v, polynode* next) {
    polynode* t;
    newpoly(&t);
    t->exp = 0;
    t->numb = 1;
    t->ncoef = from_mpz(v);
    t->next = next;
    return t;
}

polynode* term_node(int32_t exp, polynode* coef, polynode* next) {
    polynode* t;
    newpoly(&t);
    t->exp = exp;
    t->numb = 0;
    t->pcoef = coef;
    t->next = next;
    return t;
}

mpq_class quoly_value(const quoly* q) {
    if (q->isnum) return mpq_class(to_mpz(q->nnum));
    mpq_class v(to_mpz(q->pnum->ncoef), to_mpz(q->den->ncoef));
    v.canonicalize();
    return v;
}

::testing::AssertionResult holds(const quoly* q, const mpq_class& want) {
    auto normal = check_quoly_normal(q, 0);
    if (!normal) return normal;
    if (want.get_den() == 1) {
        if (!q->isnum || q->den)
            return ::testing::AssertionFailure() << "integer " << want << " not held as a plain number quoly";
    } else if (q->isnum || !q->rat) {
        return ::testing::AssertionFailure() << "rational " << want << " without rat";
    }
    mpq_class got = quoly_value(q);
    if (got != want) return ::testing::AssertionFailure() << "value " << got << ", expected " << want;
    return ::testing::AssertionSuccess();
}

AttachedVars::AttachedVars(int attached, int counted) : saved(polynames), count(number_polys), pseudo(pseudo_polynames) {
    static const char* names[] = {"x", "y", "z", "t", "u", "v", "w"};
    pt** tail = &polynames;
    polynames = nullptr;
    for (int i = 0; i < attached; i++) {
        pt* v;
        newpt(&v);
        std::snprintf(v->name, sizeof v->name, "%s", names[i % 7]);
        v->hash = 65535;
        v->modout_degree = 0;
        v->level = static_cast<int16_t>(i + 1);
        *tail = v;
        tail = &v->next;
    }
    number_polys = counted < 0 ? attached : counted;
    pseudo_polynames = nullptr;
}

AttachedVars::~AttachedVars() {
    while (polynames) {
        pt* v = polynames;
        polynames = v->next;
        free_pt(&v);
    }
    polynames = saved;
    number_polys = count;
    pseudo_polynames = pseudo;
}

imag* word_number(int32_t v) {
    imag* x = new_number();
    x->value = v;
    return x;
}

HeldPoly::~HeldPoly() { free_poly(&p); }

BuiltPoly::~BuiltPoly() { free_poly(&p); }
