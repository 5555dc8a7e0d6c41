// Residue conversion in place and its undo: the converted polynomial has
// the residues of the integer one, and replaying the log gives back every
// node and digit word exactly. Level reordering against exponent vectors
// permuted here, with the shared structure released node by node.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "poly/residue_conv.h"
#include "storage/other_records.h"
#include "support/node_count.h"
#include "support/poly_build.h"
#include "support/random_numbers.h"

namespace {

// Every word of the structure except the number records' value words,
// which hold the residues by design and are not part of the integer value.
void snapshot(const polynode *p, std::vector<uintptr_t> &out) {
  for (const polynode *t = p; t; t = t->next) {
    out.insert(out.end(), {reinterpret_cast<uintptr_t>(t),
                           reinterpret_cast<uintptr_t>(t->next),
                           reinterpret_cast<uintptr_t>(t->coef),
                           static_cast<uintptr_t>(t->exp),
                           static_cast<uintptr_t>(t->numb)});
    if (!t->numb) {
      snapshot(t->pcoef, out);
      continue;
    }
    const imag *n = t->ncoef;
    out.insert(out.end(), {reinterpret_cast<uintptr_t>(n->head),
                           reinterpret_cast<uintptr_t>(n->tail),
                           static_cast<uintptr_t>(n->count)});
    for (const numnode *d = n->head; d; d = d->next)
      out.insert(out.end(), {reinterpret_cast<uintptr_t>(d),
                             static_cast<uintptr_t>(d->digit)});
  }
}

std::vector<uintptr_t> snapshot(const polynode *p) {
  std::vector<uintptr_t> v;
  if (p)
    snapshot(p, v);
  return v;
}

class Vars {
public:
  explicit Vars(int n) : saved_(polynames), saved_count_(number_polys) {
    pt **tail = &polynames;
    polynames = nullptr;
    for (int i = 0; i < n; i++) {
      pt *v;
      newpt(&v);
      std::snprintf(v->name, sizeof v->name, "v%d", i + 1);
      v->hash = 65535;
      v->level = static_cast<int16_t>(i + 1);
      *tail = v;
      tail = &v->next;
    }
    number_polys = n;
  }
  ~Vars() {
    while (polynames) {
      pt *v = polynames;
      polynames = v->next;
      free_pt(&v);
    }
    polynames = saved_;
    number_polys = saved_count_;
  }

private:
  pt *saved_;
  int32_t saved_count_;
};

// Converts in modular mode modulo m, checks the residues, replays the log
// and checks that every word is back.
void convert_and_restore(polynode **slot, int nvars, int32_t m,
                         const TermList &terms) {
  const std::vector<uintptr_t> before = snapshot(*slot);
  ASSERT_EQ(masterfix, nullptr);
  {
    RingStateGuard ring;
    modularmode = lintmode = 1;
    install_modulus(m);
    mod_is_prime = 1;
    poly_change_to_mod(slot, 0);
    if (*slot) {
      ASSERT_TRUE(check_poly_shape(*slot, nvars));
      EXPECT_EQ(read_poly(*slot, nvars), canonical_terms(nvars, terms));
    } else {
      EXPECT_TRUE(canonical_terms(nvars, terms).empty());
    }
  }
  restore_from_mod(&masterfix);
  EXPECT_EQ(snapshot(*slot), before);
  ASSERT_TRUE(check_poly_shape(*slot, nvars));
  EXPECT_EQ(read_poly(*slot, nvars), canonical_terms(nvars, terms));
}

} // namespace

TEST(ResidueConversion, HandPickedShapes) {
  RingStateGuard ring;
  modularmode = lintmode = 0;
  Vars vars(2);
  RecordLedger ledger;
  { // 7x^2 + 3x + 14 modulo 7 leaves 3x.
    polynode *p = build_poly(1, {{7, {2}}, {3, {1}}, {14, {0}}});
    const std::vector<uintptr_t> before = snapshot(p);
    {
      RingStateGuard mod;
      modularmode = lintmode = 1;
      install_modulus(7);
      poly_change_to_mod(&p, 0);
      EXPECT_EQ(read_poly(p, 1), canonical_terms(1, {{3, {1}}}));
    }
    restore_from_mod(&masterfix);
    EXPECT_EQ(snapshot(p), before);
    free_poly(&p);
  }
  { // Every coefficient a multiple of the modulus: the slot ends null.
    TermList t = {{7, {2, 1}},
                  {-14, {1, 0}},
                  {21, {0, 3}},
                  {"7000000000000000000000007", {0, 0}}};
    polynode *p = build_poly(2, t);
    convert_and_restore(&p, 2, 7, t);
    free_poly(&p);
  }
  { // x^2 y + (7 y + 3) and (7 y + 3) x + 5: exponent-0 wrappers collapse
    // to the number 3, and the log brings the padding node back.
    for (const TermList &t :
         {TermList{{1, {2, 1}}, {7, {0, 1}}, {3, {0, 0}}},
          TermList{{7, {1, 1}}, {3, {1, 0}}, {5, {0, 0}}},
          TermList{{1, {2, 0}}, {14, {0, 1}}, {3, {0, 0}}}}) {
      polynode *p = build_poly(2, t);
      SCOPED_TRACE(terms_to_string(t));
      convert_and_restore(&p, 2, 7, t);
      free_poly(&p);
    }
  }
  polynode *none = nullptr;
  poly_change_to_mod(&none, 0);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(masterfix, nullptr);
  EXPECT_TRUE(ledger.balanced());
}

TEST(ResidueConversion, RandomPolynomialsRestoreExactly) {
  RingStateGuard ring;
  modularmode = lintmode = 0;
  Vars vars(3);
  NumberGen g(0x2E51);
  RecordLedger ledger;
  for (int it = 0; it < scaled(200); it++) {
    const int32_t m = g.chance(50) ? 7 : 2147483629;
    TermList t;
    for (int i = g.between(1, 10); i > 0; i--) {
      mpz_class c = g.chance(50) ? mpz_class(m) * g.between(-3, 3)
                                 : g.digits(g.length(1, 3));
      t.emplace_back(c, std::vector<int32_t>{g.chance(40) ? 0 : g.between(0, 5),
                                             g.chance(40) ? 0 : g.between(0, 5),
                                             g.between(0, 3)});
    }
    t = canonical_terms(3, t);
    polynode *p = build_poly(3, t);
    SCOPED_TRACE(terms_to_string(t) + " mod " + std::to_string(m) + " " +
                 g.trace());
    convert_and_restore(&p, 3, m, t);
    free_poly(&p);
  }
  EXPECT_TRUE(ledger.balanced());
}

// ---------------------------------------------------------------- level
// reordering

namespace {

// Variable T (1-based) to the top, levels 1 .. T - 1 one down.
TermList rotate(const TermList &terms, int T) {
  TermList out;
  for (const Term &t : terms) {
    std::vector<int32_t> e = t.exps;
    const int32_t moved = e[T - 1];
    e.erase(e.begin() + (T - 1));
    e.insert(e.begin(), moved);
    out.emplace_back(t.coef, e);
  }
  return out;
}

} // namespace

// Applying the rotation T times gives the identity; every stage is checked
// against the permuted terms, and every stage is released node by node.
TEST(ResidueReorder, RotationsAgainstPermutedTerms) {
  RingStateGuard ring;
  modularmode = lintmode = 0;
  Vars vars(4);
  NumberGen g(0x2E52);
  RecordLedger ledger;
  for (int it = 0; it < scaled(150); it++) {
    TermList t;
    for (int i = g.between(1, 10); i > 0; i--) {
      std::vector<int32_t> e(4);
      for (int32_t &x : e)
        x = g.chance(40) ? 0 : g.between(0, 4);
      t.emplace_back(g.digits(1), e);
    }
    t = canonical_terms(4, t);
    const int T = g.between(2, 4);
    polynode *p = build_poly(4, t);
    SCOPED_TRACE(terms_to_string(t) + " T " + std::to_string(T) + " " +
                 g.trace());
    const std::vector<uintptr_t> before = snapshot(p);
    std::vector<polynode *> stages = {p};
    TermList want = t;
    for (int k = 0; k < T; k++) {
      polynode *out = nullptr;
      convert_poly(stages.back(), &out, 1, T);
      stages.push_back(out);
      want = canonical_terms(4, rotate(want, T));
      ASSERT_TRUE(check_poly_shape(out, 4));
      EXPECT_EQ(read_poly(out, 4), want);
    }
    EXPECT_EQ(read_poly(stages.back(), 4), t);
    EXPECT_EQ(snapshot(p), before); // the source is only shared, never changed
    for (size_t k = stages.size(); k-- > 1;)
      if (stages[k] != stages[k - 1])
        free_nodes(stages[k], 1, T);
    free_poly(&p);
  }
  EXPECT_TRUE(ledger.balanced());
}

TEST(ResidueReorder, SameLevelIsATopCopySharingCoefficients) {
  RingStateGuard ring;
  modularmode = lintmode = 0;
  Vars vars(2);
  polynode *p = build_poly(2, {{3, {2, 1}}, {4, {1, 0}}, {5, {0, 0}}});
  polynode *out = nullptr;
  convert_poly(p, &out, 2, 2);
  ASSERT_NE(out, p);
  EXPECT_EQ(out->pcoef, p->pcoef);
  EXPECT_EQ(out->next->pcoef, p->next->pcoef);
  EXPECT_EQ(out->next->next, p->next->next); // the number term is shared
  free_nodes(out, 2, 2);
  polynode *five = build_poly(2, {{5, {0, 0}}});
  convert_poly(five, &out, 1, 2);
  EXPECT_EQ(out, five);
  free_poly(&five);
  free_poly(&p);
}
