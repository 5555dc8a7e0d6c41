// Evaluation at numbers and residues in every ground ring against a direct
// evaluation of the term list here (field products by carry-less
// multiplication), substitution of one variable by a number or by a
// quotient of polynomials checked by evaluating both sides at random
// points with GMP rationals, and the edge cases the routines pin down.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/evaluate.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "support/data_once.h"
#include "support/field_ref.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

namespace {

enum class Kind { digits, words, residues };

struct Ring {
  const char *name;
  Kind kind;
  int32_t modulus;
  int prime;
};

const std::vector<Ring> kRings = {
    {"Z", Kind::digits, 0, 0},
    {"Z in machine words", Kind::words, 0, 0},
    {"Z/65521", Kind::residues, 65521, 1},
    {"Z/2147483629", Kind::residues, 2147483629, 1},
    {"GF(2^8)", Kind::residues, 256, 1},
    {"GF(2^16)", Kind::residues, 65536, 1},
    {"Z/1000000", Kind::residues, 1000000, 0},
};

class RingScope {
public:
  explicit RingScope(const Ring &r) {
    load_data_once();
    modularmode = r.kind == Kind::residues;
    lintmode = r.kind != Kind::digits;
    install_modulus(r.modulus);
    mod_is_prime = r.prime;
  }

private:
  RingStateGuard guard_;
};

class Vars {
public:
  explicit Vars(int n)
      : saved_(polynames), saved_count_(number_polys),
        saved_depth_(field_depth) {
    static const char *names[] = {"x", "y", "z", "t", "u"};
    pt **tail = &polynames;
    polynames = nullptr;
    for (int i = 0; i < n; i++) {
      pt *v;
      newpt(&v);
      std::snprintf(v->name, sizeof v->name, "%s", names[i]);
      v->hash = 65535;
      v->modout_degree = 0;
      v->level = static_cast<int16_t>(i + 1);
      *tail = v;
      tail = &v->next;
    }
    number_polys = n;
    field_depth = 0;
  }
  ~Vars() {
    while (polynames) {
      pt *v = polynames;
      polynames = v->next;
      free_pt(&v);
    }
    polynames = saved_;
    number_polys = saved_count_;
    field_depth = saved_depth_;
  }
  static pt *at(int level) {
    pt *v = polynames;
    while (--level > 0)
      v = v->next;
    return v;
  }

private:
  pt *saved_;
  int32_t saved_count_;
  int16_t saved_depth_;
};

// ---------------------------------------------------------------- reference
// arithmetic

mpz_class ring_pow(const mpz_class &a, int32_t e) {
  mpz_class r = ring_reduce(1), b = a;
  for (; e > 0; e >>= 1) {
    if (e & 1)
      r = ring_mul(r, b);
    b = ring_mul(b, b);
  }
  return r;
}

// The terms with the variables whose flag is set replaced by their values;
// substituted variables get exponent 0.
TermList ref_substitute(const TermList &terms, const std::vector<mpz_class> &at,
                        const std::vector<bool> &sub) {
  std::map<std::vector<int32_t>, mpz_class, std::greater<>> m;
  for (const Term &t : terms) {
    mpz_class c = t.coef;
    std::vector<int32_t> e = t.exps;
    for (size_t v = 0; v < e.size(); v++)
      if (sub[v]) {
        c = ring_mul(c, ring_pow(at[v], e[v]));
        e[v] = 0;
      }
    m[e] = ring_add(m[e], c);
  }
  TermList out;
  for (const auto &[e, c] : m)
    if (c != 0)
      out.emplace_back(c, e);
  return out;
}

mpz_class ref_value(const TermList &terms, const std::vector<mpz_class> &at) {
  TermList r = ref_substitute(terms, at, std::vector<bool>(at.size(), true));
  return r.empty() ? mpz_class(0) : r.front().coef;
}

mpz_class random_coef(NumberGen &g, const Ring &r) {
  switch (r.kind) {
  case Kind::digits:
    return g.chance(20) ? g.edge_value() : g.digits(g.length(1, 2));
  case Kind::words:
    return g.between(-(1 << 12), 1 << 12);
  case Kind::residues:
    break;
  }
  if (g.chance(10))
    return r.modulus - 1;
  return g.below(r.modulus);
}

mpz_class random_point(NumberGen &g, const Ring &r, bool nonzero = false) {
  if (!nonzero && g.chance(15))
    return 0;
  if (r.kind == Kind::residues)
    return g.between(1, r.modulus - 1);
  return g.between(-9, 9) == 0 ? mpz_class(1) : mpz_class(g.between(-9, 9));
}

TermList random_terms(NumberGen &g, const Ring &r, int nvars) {
  TermList t;
  const int n = g.between(1, 9);
  for (int i = 0; i < n; i++) {
    std::vector<int32_t> e(nvars);
    for (int v = 0; v < nvars; v++)
      e[v] = g.chance(35) ? 0 : g.between(0, r.kind == Kind::digits ? 6 : 40);
    t.emplace_back(random_coef(g, r), e);
  }
  return canonical_terms(nvars, t);
}

// A value list in the ring; a keep marker where the flag is clear.
polynode *value_list(const std::vector<mpz_class> &at,
                     const std::vector<bool> &sub) {
  polynode *head = nullptr;
  for (size_t i = at.size(); i-- > 0;) {
    polynode *n = build_poly(0, {{at[i], {}}});
    if (!sub[i])
      n->exp = 1;
    n->next = head;
    head = n;
  }
  return head;
}

// Value lists are chains of number nodes: free_poly releases them whole.
struct ListOwner {
  polynode *p;
  ~ListOwner() {
    for (polynode *n = p; n; n = n->next)
      n->exp = 0;
    free_poly(&p);
  }
};

mpz_class value_of(polynode *p) {
  return p ? number_value(p->ncoef) : mpz_class(0);
}

} // namespace

// ---------------------------------------------------------------- all
// variables

TEST(EvalAllVariables, EveryRingAgainstTheTermList) {
  NumberGen g(0xE7A1);
  for (const Ring &r : kRings) {
    RingScope ring(r);
    Vars vars(3);
    RecordLedger ledger;
    for (int it = 0; it < scaled(60); it++) {
      TermList terms = random_terms(g, r, 3);
      std::vector<mpz_class> at = {random_point(g, r), random_point(g, r),
                                   random_point(g, r)};
      polynode *p = build_poly(3, terms);
      ListOwner list{value_list(at, {true, true, true})};
      const mpz_class want = ref_value(terms, at);
      SCOPED_TRACE(std::string(r.name) + " " + terms_to_string(terms) + " " +
                   g.trace());

      polynode *res = nullptr;
      all_poly_eval(&p, list.p, &res, 0);
      if (res) {
        ASSERT_TRUE(check_poly_shape(res, 0));
      }
      EXPECT_EQ(value_of(res), want);
      if (want == 0) {
        EXPECT_EQ(res, nullptr);
      }
      free_poly(&res);

      if (modularmode) {
        int32_t out = -1;
        mod_all_poly_eval(p, list.p, &out);
        EXPECT_EQ(mpz_class(out), want);
      } else if (!lintmode) {
        imag *n = nullptr;
        rat_all_poly_eval(p, list.p, &n);
        EXPECT_EQ(n ? number_value(n) : mpz_class(0), want);
        if (n)
          free_imag(&n);
      }

      // The general method in place.
      polynode *q = nullptr;
      poly_assign(p, &q);
      old_all_poly_eval(&q, list.p, 0);
      if (q) {
        ASSERT_TRUE(check_poly_shape(q, 3));
      }
      EXPECT_EQ(q ? read_poly(q, 3) : TermList{},
                canonical_terms(3, {{want, {0, 0, 0}}}));
      free_poly(&q);
      free_poly(&p);
    }
    EXPECT_TRUE(ledger.balanced());
  }
}

// Keeping the outer variable by count or by marker, and lists that stop
// short of the polynomial's depth, give polynomials in what is left.
TEST(EvalAllVariables, KeptAndUnlistedVariables) {
  NumberGen g(0xE7A2);
  for (const Ring &r : kRings) {
    RingScope ring(r);
    Vars vars(3);
    RecordLedger ledger;
    for (int it = 0; it < scaled(40); it++) {
      TermList terms = random_terms(g, r, 3);
      std::vector<mpz_class> at = {random_point(g, r), random_point(g, r),
                                   random_point(g, r)};
      polynode *p = build_poly(3, terms);
      SCOPED_TRACE(std::string(r.name) + " " + terms_to_string(terms) + " " +
                   g.trace());
      const TermList keep_x = ref_substitute(terms, at, {false, true, true});

      { // keep count 1: the list holds y and z
        ListOwner list{value_list({at[1], at[2]}, {true, true})};
        polynode *res = nullptr;
        all_poly_eval(&p, list.p, &res, 1);
        if (res) {
          ASSERT_TRUE(check_poly_shape(res, 3));
        }
        EXPECT_EQ(res ? read_poly(res, 3) : TermList{}, keep_x);
        free_poly(&res);
      }
      { // keep marker for x
        ListOwner list{value_list(at, {false, true, true})};
        polynode *res = nullptr;
        all_poly_eval(&p, list.p, &res, 0);
        if (res) {
          ASSERT_TRUE(check_poly_shape(res, 3));
        }
        EXPECT_EQ(res ? read_poly(res, 3) : TermList{}, keep_x);
        free_poly(&res);
        polynode *q = nullptr;
        poly_assign(p, &q);
        old_all_poly_eval(&q, list.p, 0);
        EXPECT_EQ(q ? read_poly(q, 3) : TermList{}, keep_x);
        free_poly(&q);
      }
      { // only x listed: y and z stay, x remains as padding
        ListOwner list{value_list({at[0]}, {true})};
        polynode *q = nullptr;
        poly_assign(p, &q);
        old_all_poly_eval(&q, list.p, 0);
        if (q) {
          ASSERT_TRUE(check_poly_shape(q, 3));
        }
        EXPECT_EQ(q ? read_poly(q, 3) : TermList{},
                  ref_substitute(terms, at, {true, false, false}));
        free_poly(&q);
      }
      free_poly(&p);
    }
    EXPECT_TRUE(ledger.balanced());
  }
}

TEST(EvalAllVariables, ZeroValueAndExponentReduction) {
  Vars vars(2);
  {
    RingScope ring(kRings[0]);
    // First value 0: only the constant term in x counts.
    polynode *p = build_poly(2, {{3, {4, 1}}, {5, {0, 2}}, {-7, {0, 0}}});
    ListOwner list{value_list({0, 2}, {true, true})};
    imag *n = nullptr;
    rat_all_poly_eval(p, list.p, &n);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(number_value(n), 13);
    free_imag(&n);
    free_poly(&p);
    p = build_poly(2, {{3, {4, 1}}, {5, {1, 2}}});
    n = nullptr;
    rat_all_poly_eval(p, list.p, &n);
    EXPECT_EQ(n, nullptr);
    free_poly(&p);
  }
  {
    RingScope ring({"Z/7", Kind::residues, 7, 1});
    // A gap of 18 = 3 (7 - 1) multiplies by 1 for a non-zero value ...
    polynode *p = build_poly(1, {{1, {19}}, {1, {1}}});
    ListOwner three{value_list({3}, {true})};
    int32_t out = -1;
    mod_all_poly_eval(p, three.p, &out);
    EXPECT_EQ(out, 6);
    free_poly(&p);
    // ... but 0^18 stays 0.
    p = build_poly(1, {{1, {18}}, {5, {0}}});
    ListOwner zero{value_list({0}, {true})};
    mod_all_poly_eval(p, zero.p, &out);
    EXPECT_EQ(out, 5);
    free_poly(&p);
  }
  {
    // Over a composite modulus a^(m-1) need not be 1: 2^16 mod 8 is 0.
    RingScope ring({"Z/8", Kind::residues, 8, 0});
    polynode *p = build_poly(1, {{1, {16}}, {3, {0}}});
    ListOwner two{value_list({2}, {true})};
    int32_t out = -1;
    mod_all_poly_eval(p, two.p, &out);
    EXPECT_EQ(out, 3);
    free_poly(&p);
  }
}

TEST(EvalAllVariables, ShortListIsAnInternalErrorLeavingTheResultUnset) {
  Vars vars(2);
  for (int modular = 0; modular < 2; modular++) {
    RingScope ring(modular ? kRings[2] : kRings[0]);
    polynode *p = build_poly(2, {{3, {4, 1}}, {5, {0, 2}}});
    ListOwner list{value_list({2}, {true})};
    ::testing::internal::CaptureStdout();
    int32_t out = -1;
    imag *n = reinterpret_cast<imag *>(&out); // sentinel: must stay untouched
    if (modular)
      mod_all_poly_eval(p, list.p, &out);
    else
      rat_all_poly_eval(p, list.p, &n);
    const std::string text = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(
        text.find(modular
                      ? "arg is NULL but q not number in mod_all_poly_eval. "
                      : "arg is NULL but q not number in rat_all_poly_eval. "),
        std::string::npos);
    EXPECT_EQ(out, -1);
    EXPECT_EQ(n, reinterpret_cast<imag *>(&out));
    free_poly(&p);
  }
}

// ---------------------------------------------------------------- one variable

TEST(EvalOneVariable, TopAndSecondVariableAtANumber) {
  NumberGen g(0xE7A3);
  for (const Ring &r : kRings) {
    RingScope ring(r);
    Vars vars(3);
    RecordLedger ledger;
    for (int it = 0; it < scaled(40); it++) {
      TermList terms = random_terms(g, r, 3);
      const mpz_class v = random_point(g, r, modularmode != 0);
      polynode *p = build_poly(3, terms);
      polynode *value = build_poly(0, {{v, {}}});
      SCOPED_TRACE(std::string(r.name) + " " + terms_to_string(terms) + " at " +
                   v.get_str());
      auto at = [&](polynode **res, polynode *q, pt *rec, int pad) {
        if (modularmode)
          mod_poly_at_numb(res, q, value, rec, pad);
        else
          poly_at_numb(res, q, value, rec, pad);
      };
      const TermList top =
          ref_substitute(terms, {v, 0, 0}, {true, false, false});
      polynode *res = nullptr;
      at(&res, p, Vars::at(1), 1);
      ASSERT_TRUE(check_poly_shape(res, 3));
      EXPECT_EQ(read_poly(res, 3), top);
      // Without padding the level is gone: y and z move up.
      at(&res, p, Vars::at(1), 0);
      ASSERT_TRUE(check_poly_shape(res, 2));
      TermList up;
      for (const Term &t : top)
        up.emplace_back(t.coef, std::vector<int32_t>{t.exps[1], t.exps[2]});
      EXPECT_EQ(read_poly(res, 2), canonical_terms(2, up));

      polynode *second = nullptr;
      poly_at_numb_2(&second, p, value, Vars::at(1));
      ASSERT_TRUE(check_poly_shape(second, 2));
      TermList mid;
      for (const Term &t :
           ref_substitute(terms, {0, v, 0}, {false, true, false}))
        mid.emplace_back(t.coef, std::vector<int32_t>{t.exps[0], t.exps[2]});
      EXPECT_EQ(read_poly(second, 2), canonical_terms(2, mid));
      free_poly(&second);
      free_poly(&res);
      free_poly(&value);
      free_poly(&p);
    }
    EXPECT_TRUE(ledger.balanced());
  }
}

TEST(EvalOneVariable, BadValuesAreFatal) {
  RingScope ring(kRings[2]);
  Vars vars(1);
  polynode *p = build_poly(1, {{3, {2}}, {1, {0}}});
  for (int32_t v : {0, 65521, 70000}) {
    polynode *value = nullptr;
    poly_set(v, &value);
    polynode *res = nullptr;
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(mod_poly_at_numb(&res, p, value, Vars::at(1), 1),
                 TarvexUnwind);
    const std::string text = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(text.find("bad n2val in mod_poly_at_numb4, " + std::to_string(v) +
                        ", 65521\n"),
              std::string::npos);
    EXPECT_NE(text.find("bad n2val in mod_poly_at_numb4."), std::string::npos);
    EXPECT_EQ(res, nullptr);
    free_poly(&value);
  }
  ::testing::internal::CaptureStdout();
  polynode *res = nullptr;
  EXPECT_THROW(mod_poly_at_numb(&res, p, p, Vars::at(1), 1), TarvexUnwind);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                "n2 not number in mod_poly_at_numb"),
            std::string::npos);
  free_poly(&p);
}

TEST(EvalOneVariable, LastNodeBecomesZero) {
  RingScope ring(kRings[0]);
  Vars vars(2);
  // x y + (y - 3): the last coefficient vanishes at y = 3 only.
  polynode *p = build_poly(2, {{1, {1, 1}}, {1, {0, 1}}, {-3, {0, 0}}});
  polynode *three = build_poly(0, {{3, {}}});
  polynode *two = build_poly(0, {{2, {}}});
  EvalPoint at3{three, Vars::at(2)}, at2{two, Vars::at(2)};
  EXPECT_EQ(last_node_becomes_zero(p, &at3), 1);
  EXPECT_EQ(last_node_becomes_zero(p, &at2), 0);
  polynode *q = build_poly(2, {{1, {1, 1}}, {5, {0, 0}}}); // last term a number
  EXPECT_EQ(last_node_becomes_zero(q, &at3), 0);
  for (polynode **s : {&p, &q, &three, &two})
    free_poly(s);
}

TEST(EvalCharacteristicTwo, ZeroOnePolynomialsAtZeroOnePoints) {
  NumberGen g(0xE7A4);
  RingScope ring(kRings[4]);
  Vars vars(3);
  for (int it = 0; it < scaled(100); it++) {
    TermList terms;
    for (int m = 0; m < 8; m++)
      if (g.chance(50))
        terms.emplace_back(1,
                           std::vector<int32_t>{m >> 2 & 1, m >> 1 & 1, m & 1});
    polynode *p = build_poly(3, terms);
    for (int pt = 0; pt < 8; pt++) {
      std::vector<mpz_class> at = {pt >> 2 & 1, pt >> 1 & 1, pt & 1};
      ListOwner list{value_list(at, {true, true, true})};
      int32_t out = -1;
      tot_eval_poly2_fast(p, list.p, &out);
      EXPECT_EQ(mpz_class(out), ref_value(terms, at))
          << terms_to_string(terms) << " point " << pt;
    }
    free_poly(&p);
  }
}

// ---------------------------------------------------------------- substitution
// of a quotient

namespace {

mpq_class q_value(const TermList &terms, const std::vector<mpq_class> &at) {
  mpq_class s = 0;
  for (const Term &t : terms) {
    mpq_class c = t.coef;
    for (size_t v = 0; v < at.size(); v++)
      for (int32_t k = 0; k < t.exps[v]; k++)
        c *= at[v];
    s += c;
  }
  return s;
}

// A random polynomial in the variables from `from` (0-based) inward.
TermList inner_terms(NumberGen &g, int from, int deg) {
  TermList t;
  const int n = g.between(1, 3);
  for (int i = 0; i < n; i++) {
    std::vector<int32_t> e(3, 0);
    for (int v = from; v < 3; v++)
      e[v] = g.between(0, deg);
    t.emplace_back(g.between(-5, 5) == 0 ? 1 : g.between(-5, 5), e);
  }
  TermList c = canonical_terms(3, t);
  if (c.empty())
    c.emplace_back(1, std::vector<int32_t>{0, 0, 0});
  return c;
}

} // namespace

// D p(.., N/M, ..) = result, checked at random integer points with rationals,
// for the substituted variable at every level and values that do or do not
// involve outer variables; also without a denominator value.
TEST(EvalSubstitution, QuotientForOneVariable) {
  NumberGen g(0xE7A5);
  RingScope ring(kRings[0]);
  Vars vars(3);
  RecordLedger ledger;
  struct Case {
    int16_t level, bound;
    int value_from; // outermost variable (0-based) N and M may involve
  };
  const Case cases[] = {{1, 16384, 0}, {2, 16384, 1}, {3, 16384, 2},
                        {3, 2, 1},     {2, 1, 0},     {3, 1, 0}};
  for (const Case &c : cases)
    for (int with_m = 0; with_m < 2; with_m++)
      for (int it = 0; it < scaled(12); it++) {
        TermList terms;
        for (int i = g.between(1, 6); i > 0; i--)
          terms.emplace_back(g.between(-20, 20),
                             std::vector<int32_t>{g.between(0, 3),
                                                  g.between(0, 3),
                                                  g.between(0, 3)});
        terms = canonical_terms(3, terms);
        const TermList nt = inner_terms(g, c.value_from, 2);
        const TermList mt = inner_terms(g, c.value_from, 1);
        polynode *p = build_poly(3, terms);
        polynode *N = build_poly(3, nt);
        polynode *M = with_m ? build_poly(3, mt) : nullptr;
        polynode *D = nullptr;
        SCOPED_TRACE("level " + std::to_string(c.level) + " bound " +
                     std::to_string(c.bound) + " p " + terms_to_string(terms) +
                     " N " + terms_to_string(nt) +
                     (with_m ? " M " + terms_to_string(mt) : std::string()));
        actual_eval_poly(&p, &D, &N, with_m ? &M : nullptr, c.level, c.bound,
                         polynames);
        ASSERT_TRUE(check_poly_shape(p, 3));
        if (!with_m) {
          EXPECT_EQ(D, nullptr);
        }
        if (D) {
          ASSERT_TRUE(check_poly_shape(D, 3));
        }
        const TermList got = read_poly(p, 3);
        const TermList den = D ? read_poly(D, 3) : TermList{{1, {0, 0, 0}}};
        for (int k = 0; k < 6; k++) {
          std::vector<mpq_class> at = {g.between(-6, 6), g.between(-6, 6),
                                       g.between(-6, 6)};
          const mpq_class m = with_m ? q_value(mt, at) : mpq_class(1);
          if (m == 0)
            continue;
          std::vector<mpq_class> sub = at;
          sub[c.level - 1] = q_value(nt, at) / m;
          EXPECT_EQ(q_value(got, at), q_value(den, at) * q_value(terms, sub));
        }
        for (polynode **s : {&p, &N, &M, &D})
          free_poly(s);
      }
  EXPECT_TRUE(ledger.balanced());
}

TEST(EvalSubstitution, HighestLevelWithoutDenominator) {
  RingScope ring(kRings[0]);
  Vars vars(1);
  // x^2 + 1 at x = x + 1: x^2 + 2x + 2, no denominator.
  polynode *p = build_poly(1, {{1, {2}}, {1, {0}}});
  polynode *N = build_poly(1, {{1, {1}}, {1, {0}}});
  polynode *D = nullptr;
  highest_level(&p, &D, N, nullptr, 1, polynames);
  EXPECT_EQ(D, nullptr);
  ASSERT_TRUE(check_poly_shape(p, 1));
  EXPECT_EQ(read_poly(p, 1),
            canonical_terms(1, {{1, {2}}, {2, {1}}, {2, {0}}}));
  free_poly(&p);
  free_poly(&N);
}

// ---------------------------------------------------------------- randomized
// division test

TEST(EvalDivisionTest, PlantedDivisorAndSmallValues) {
  RingScope ring(kRings[0]);
  Vars vars(2);
  // m = x + 2y + 7, n = m (x y - 3) divides at every point.
  polynode *m = build_poly(2, {{1, {1, 0}}, {2, {0, 1}}, {7, {0, 0}}});
  polynode *n = build_poly(2, {{1, {2, 1}},
                               {2, {1, 2}},
                               {7, {1, 1}},
                               {-3, {1, 0}},
                               {-6, {0, 1}},
                               {-21, {0, 0}}});
  polynode *n1 = build_poly(2, {{1, {2, 1}},
                                {2, {1, 2}},
                                {7, {1, 1}},
                                {-3, {1, 0}},
                                {-6, {0, 1}},
                                {-20, {0, 0}}});
  RecordLedger ledger;
  int usable_count = 0, not_dividing = 0;
  for (int32_t seed = 0; seed < 40; seed++)
    for (int small = 0; small < 2; small++) {
      EvalPair planted{m, n, 2}, off{m, n1, 2};
      int usable = -1, divides = -1;
      fast_test_rat(seed, &usable, &divides, &planted, small);
      if (usable) {
        usable_count++;
        EXPECT_EQ(divides, 1) << "seed " << seed;
      }
      fast_test_rat(seed, &usable, &divides, &off, small);
      if (usable && !divides)
        not_dividing++;
    }
  EXPECT_GT(usable_count, 40);
  EXPECT_GT(not_dividing, 40);
  // A divisor whose value lies in -39 .. 39 makes the test unusable.
  polynode *five = build_poly(2, {{5, {0, 0}}});
  EvalPair small_m{five, n, 2};
  int usable = -1, divides = -7;
  fast_test_rat(3, &usable, &divides, &small_m, 0);
  EXPECT_EQ(usable, 0);
  EXPECT_EQ(divides, -7);
  free_poly(&five);
  EXPECT_TRUE(ledger.balanced());
  for (polynode **s : {&m, &n, &n1})
    free_poly(s);
}
