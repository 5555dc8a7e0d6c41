// Trial division with randomized pre-tests (see gcd/trialdiv.h).
//
// Every pre-test rests on one fact: a ring homomorphism (inner variables set
// to values, integers to residues, everything to an integer point) maps an
// exact division u = q·m to an exact division of the images. So an image
// that does not divide proves m ∤ u; an image that divides proves nothing,
// and the full division then decides.
#include "gcd/trialdiv.h"
#include "gcd/split_copies.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "gcd/aux_source.h"
#include "gcd/division_impl.h"
#include "gcd/exactdiv.h"
#include "gcd/kronecker_div.h"
#include "gcd/modswitch.h"
#include "gcd/nonfield_ring.h"
#include "gcd/onevar_div.h"
#include "det/unit_det.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/random.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/dense.h"
#include "poly/evaluate.h"
#include "poly/levels.h"
#include "poly/measures.h"
#include "poly/modmult.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/residue_conv.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/progress.h"

int try_rat = 1;
int zero_divisor_lead_watch = 0;
int zero_divisor_lead_met = 0;
const char* zero_divisor_lead_ring = nullptr;

namespace division_impl {

void times_inverse_numerator(polynode* u, polynode* m, pt* rec, polynode** q, quoly_detail::QuolyHold& inv) {
    poly_mod_invert(m, &inv.q, rec);
    PolyHold num;
    if (inv.q->isnum) {
        poly_set(0, &num.p);
        num_assign(inv.q->nnum, num.p->ncoef);
    } else {
        poly_assign(inv.q->pnum, &num.p);
    }
    poly_mult(u, num.p, q, rec);
}

}  // namespace division_impl

namespace {

using namespace division_impl;


// u handed over with consume set: freed on every exit.
struct Consumed {
    polynode* p;
    explicit Consumed(polynode* u) : p(u) {}
    ~Consumed() {
        if (p) free_poly(&p);
    }
    Consumed(const Consumed&) = delete;
    Consumed& operator=(const Consumed&) = delete;
};

// Result slot copy-then-free: v replaces the slot's old value.
void store(polynode** slot, polynode* v) {
    polynode* old = *slot;
    *slot = v;
    if (old && old != v) free_poly(&old);
}

// m (at rec's level) is an element of the extension field: it is inverted.
bool field_divisor(polynode* m, pt* rec) {
    return field_depth > 0 && field_depth <= level_of(rec) + poly_depth(m) - 1;
}

// lc, a coefficient one level below rec, is an element of the extension field.
bool field_element(polynode* lc, pt* rec) { return field_depth > 0 && field_depth <= poly_depth(lc) + level_of(rec); }

// q := u · m^-1 for a field element m; 0 when the inverse's number
// denominator does not divide the product (q then empty).
int field_quotient(polynode* u, polynode* m, pt* rec, PolyHold& q) {
    quoly_detail::QuolyHold inv(nullptr);
    times_inverse_numerator(u, m, rec, &q.p, inv);
    if (!inv.q->den) return 1;
    int ok = 0;
    PolyHold r;
    trial_poly_quot(q.p, inv.q->den, &r.p, &ok);
    free_poly(&q.p);
    if (!ok) return 0;
    q.p = r.release();
    return 1;
}

// u divided by m, which depends on the variable of rec, whose relation
// makes no field. There m divides u exactly when m·N = d for a number d
// and d divides u·N, u·N/d then being the quotient. For any other divisor
// only a division that leaves no remainder proves anything; when it leaves
// one, no sound answer is at hand. Modulo a composite number or with
// Laurent exponents the inverses are not sought, as in the gcd.
int divide_terms(polynode* u, polynode* m, pt* rec, polynode** quo, const char* label);

bool relation_divisor(polynode* m, pt* rec) {
    if (laurent || (modularmode && !mod_is_prime && !finf)) return false;
    return rec->relation && !rec->field && !m->numb && m->exp > 0;
}

int relation_quotient(polynode* u, polynode* m, pt* rec, PolyHold& q) {
    PolyHold N;
    imag* d = nullptr;
    if (!nonfield::invert(m, rec, &N, &d)) {
        if (!u->numb && top_degree(u) >= m->exp && divide_terms(u, m, rec, &q.p, "trial divide, counting to "))
            return 1;
        nonfield::refuse(rec->name);
    }
    PolyHold dn(nonfield::number_copy(d));
    free_imag(&d);
    PolyHold un;
    poly_mult(u, N.p, &un.p, rec);
    int ok = 0;
    trial_poly_quot(un.p, dn.p, &q.p, &ok);
    return ok;
}

// A number u by m over such a relation: m stepped down its exponent-0
// levels to the relation level it depends on; -1 when there is none.
int number_by_relation(polynode* u, polynode* m, pt* rec, PolyHold& q) {
    int16_t k = 0;
    while (!m->numb && m->exp == 0 && !m->next && rec->next) {
        m = m->pcoef;
        rec = rec->next;
        k++;
    }
    if (m->numb || !relation_divisor(m, rec)) return -1;
    const int a = relation_quotient(u, m, rec, q);
    if (a && q.p && !plain(q.p)) add_pad(&q.p, k);
    return a;
}

// A coefficient of u's term t about to be divided by a polynomial of the
// next level: false when a number makes that impossible, which only a
// relation without a field can undo; a number term is then handed over
// in *number.
bool coefficient_to_divide(polynode* t, pt* rec, PolyHold& number) {
    if (!t->numb && !plain(t->pcoef)) return true;
    if (!nonfield_relation_inward(inner(rec))) return false;
    if (t->numb) number.p = nonfield::number_copy(t->ncoef);
    return true;
}

// ---------------------------------------------------------------- pre-tests

enum class Caller { quotient, answer };
enum class Verdict { open, not_divisible, stop };

// The value list of all_poly_eval: lone number nodes, outermost first.
struct ValueList {
    polynode* head = nullptr;
    polynode** tail = &head;
    ValueList() = default;
    ~ValueList() {
        if (head) special_free_poly(&head);
    }
    ValueList(const ValueList&) = delete;
    ValueList& operator=(const ValueList&) = delete;
    void push(int32_t v) {
        // Residues are drawn as integers and reduced here.
        if (modularmode) v %= modulus;
        polynode* n = nullptr;
        poly_set(v, &n);
        *tail = n;
        tail = &n->next;
    }
};

// Values for the inner variables k = 1 .. d - 1 of trial i. for_u_alone:
// m was not evaluated, so u gets values of its own.
void draw_values(ValueList& list, Caller who, int32_t i, int32_t d, bool for_u_alone) {
    if (who == Caller::quotient) {
        for (int32_t k = 1; k < d; k++)
            list.push(k <= 5 || for_u_alone ? i + (points_fixed() ? k % 5 : rand_integer2() % 5) : 0);
        return;
    }
    // Deep polynomials keep most of their variables alive: a zero kills
    // every term that involves the variable.
    const int32_t lim = d > 6 ? (3 * d + 3) / 4 : 6;
    for (int32_t k = 1; k < d; k++) {
        if (k >= lim) {
            list.push(0);
            continue;
        }
        int32_t v = global_list[((i + k + 1) * 3 + (points_fixed() ? 0 : rand_integer2() % 3)) % GLOBAL_LIST_COUNT];
        if (!modularmode) {
            v %= 181;
            if (v == 0) v = 1;
        }
        list.push(v);
    }
}

// T: trials 0 .. T are made. Bigger operands deserve one or two more tries.
int32_t trial_count(polynode* u, polynode* m) {
    const int32_t len = std::min(fast_poly_length(u, 10), 11) + std::min(fast_poly_length(m, 10), 11);
    const int32_t nodes = int32_t{node_total(u)} + int32_t{node_total(m)};
    int32_t t = len <= 13 ? 3 + (nodes >= 18 ? 1 : 0) : 4 + (nodes >= 35 ? 1 : 0);
    // Modulo a small prime there are no more distinct points than that.
    if (modularmode) t = std::min(modulus - 1, t);
    return t;
}

// The image of p with the listed inner variables substituted; null when the
// top degree drops (the point is unusable).
polynode* image(polynode* p, polynode* list) {
    polynode* src = p;
    PolyHold res;
    all_poly_eval(&src, list, &res.p, 1);
    if (!res.p || top_degree(res.p) != top_degree(p)) return nullptr;
    return res.release();
}

// The test at integer points: m(a) must divide u(a).
Verdict rational_test(polynode* u, polynode* m, int32_t i, int32_t d, int32_t dm) {
    const EvalPair pair{m, u, d};
    int usable1 = 0, div1 = 0, usable2 = 0, div2 = 0;
    fast_test_rat(i, &usable1, &div1, &pair, 1);
    if (usable1 && !div1) return Verdict::not_divisible;
    fast_test_rat(i, &usable2, &div2, &pair, 0);
    if (usable2 && !div2) return Verdict::not_divisible;
    // Two usable points that both divide settle the pre-tests when the
    // evaluation test would cost more than it tells (deep operands).
    if (try_rat && d >= 5 && dm >= 2 && usable1 && usable2) return Verdict::stop;
    return Verdict::open;
}

Verdict pretests(polynode* u, polynode* m, pt* rec, Caller who) {
    const int32_t level = level_of(rec);
    const int32_t dm = quick_depth_below(m, level), du = quick_depth_below(u, level);
    const int32_t d = std::max(dm, du);
    if (d < 2) return Verdict::open;
    // Values for a variable bound by such a relation map no division.
    if (nonfield_relation_inward(rec)) return Verdict::open;
    const int32_t trials = trial_count(u, m);
    for (int32_t i = 0; i <= trials; i++) {
        if (who == Caller::answer && !lintmode && d > 2 && field_depth == 0) {
            const Verdict v = rational_test(u, m, i, d, dm);
            if (v != Verdict::open) return v;
        }
        ValueList values;
        draw_values(values, who, i, d, false);
        polynode* m1 = m;
        PolyHold m_image;
        if (dm >= 2) {
            // The divisor first: an unusable point then costs one evaluation.
            m_image.p = image(m, values.head);
            if (!m_image.p) continue;
            m1 = m_image.p;
        }
        polynode* u1 = u;
        PolyHold u_image;
        if (du >= 2) {
            ValueList own;
            polynode* list = values.head;
            if (dm < 2) {
                draw_values(own, who, i, d, true);
                list = own.head;
            }
            u_image.p = image(u, list);
            if (!u_image.p) continue;
            u1 = u_image.p;
        }
        int divides;
        if (modularmode && mod_is_prime && field_depth == 0) {
            PolyHold rem;
            poly_div_no_q(u1, m1, &rem.p);
            divides = !rem.p || poly_iszero(rem.p);
        } else {
            // Under a field relation that the prime splits, the images at
            // a point can meet a zero divisor the operands do not: such a
            // point tells nothing.
            try {
                ZeroDivisorEscape escape;
                divides = du >= 2 ? trial_poly_divide_noq(u_image.release(), m1, rec, 0, 0, 1)
                                  : trial_poly_divide_noq(u1, m1, rec, 0, 0, 0);
            } catch (const ZeroDivisorMet&) {
                continue;
            }
        }
        return divides ? Verdict::stop : Verdict::not_divisible;
    }
    return Verdict::open;
}

// ---------------------------------------------------------------- divisions

// t := c / lc for a coefficient c of the remainder; 0 when lc does not
// divide c. rec is the divisor's level.
int coef_quotient(polynode* c, polynode* lc, pt* rec, PolyHold& t) {
    if (plain(lc)) {
        int ok = 0;
        trial_poly_quot(c, lc, &t.p, &ok);
        return ok;
    }
    // A number is divisible by a polynomial only when that is a unit.
    if (!plain(c) || field_element(lc, rec) || nonfield_relation_inward(inner(rec)))
        return trial_poly_divide(c, lc, &t.p, inner(rec), 0, 0, 0);
    return 0;
}

// A refusal of divide_terms at lc (a coefficient at the level inside rec)
// noted for the watcher when lc may be a zero divisor.
void note_refusal(polynode* lc, pt* rec) {
    if (!zero_divisor_lead_watch || zero_divisor_lead_met || plain(lc) || !nonfield_relation_inward(inner(rec)))
        return;
    PolyHold lifted;
    poly_assign(lc, &lifted.p);
    int32_t wraps = 1;
    for (pt* r = polynames; r && r != rec; r = r->next) wraps++;
    for (int32_t i = 0; i < wraps; i++) lifted.p = make_term(0, lifted.p);
    if (relation_regular(lifted.p)) return;
    zero_divisor_lead_met = 1;
    for (pt* r = inner(rec); r; r = r->next)
        if (r->relation && !r->field) {
            zero_divisor_lead_ring = r->name;
            break;
        }
}

// deg u < deg m proves that m does not divide u only when m's leading
// coefficient is no zero divisor: b·(-t) = -tx + 3t for b = tx^2 + x - 3
// modulo t^2. For a watching caller such a coefficient is noted; over field
// levels (declared so, maybe split where the copies do not reach) the
// inverse of its leading element is taken, which an element without one
// refuses as the division by zero.
void note_degree_gap(polynode* m, pt* rec) {
    if (!zero_divisor_lead_watch || m->numb) return;
    note_refusal(m->pcoef, rec);
    polynode* e = m->pcoef;
    pt* r = inner(rec);
    while (!e->numb && r && !r->relation) {
        e = e->pcoef;
        r = inner(r);
    }
    if (e->numb || !r || !r->field) return;
    quoly_detail::QuolyHold inv(nullptr);
    poly_mod_invert(e, &inv.q, r);
}

// deg m > 0: 1 when the remainder of u by m vanishes; the quotient goes to
// *quo when quo is non-null (untouched on 0).
int divide_terms(polynode* u, polynode* m, pt* rec, polynode** quo, const char* label) {
    const int32_t dm = m->exp, du = top_degree(u);
    polynode* lc = m->pcoef;
    // Counted in long: u's degree may be the largest exponent there is.
    Progress trace(label, long{du} + 1 - dm);
    PolyHold r, q;
    poly_assign(u, &r.p);
    polynode** link = &q.p;
    NegatedTail rest(m->next);
    while (r.p && top_degree(r.p) >= dm) {
        const int32_t e = top_degree(r.p) - dm;
        trace.step(long{du} + 1 - top_degree(r.p));
        PolyHold t;
        if (!coef_quotient(r.p->pcoef, lc, rec, t) || poly_iszero(t.p)) {
            note_refusal(lc, rec);
            return 0;
        }
        PolyHold lead;
        lead.p = r.p;
        r.p = lead.p->next;
        lead.p->next = nullptr;
        PolyHold term;
        term.p = make_term(e, t.release());
        if (rest.p) {
            polynode* prod = nullptr;
            poly_mult(term.p, rest.p, &prod, rec);
            add_into(&r.p, prod);
        }
        if (quo) {
            *link = term.release();
            link = &(*link)->next;
        }
    }
    if (r.p) {
        note_refusal(lc, rec);
        return 0;
    }
    if (quo) {
        if (!q.p) poly_set(0, &q.p);
        store(quo, q.release());
    }
    return 1;
}

// A dense one-variable residue polynomial, for the array division.
bool dense_onevar(polynode* p) {
    int32_t last = 0;
    int flag = 1;
    const int32_t n = exp_poly_length(p, &last, &flag);
    return flag && n > fast_mult_cut && n > top_degree(p) / 2;
}

// The slot rule of trial_poly_divide once the answer is known.
int settle(int answer, PolyHold& q, polynode** quo, bool keep) {
    if (answer && keep) {
        if (!q.p) poly_set(0, &q.p);
        store(quo, q.release());
    } else if (*quo) {
        free_poly(quo);
    }
    return answer;
}

}  // namespace

int trial_poly_divide(polynode* u, polynode* m, polynode** quo, pt* rec, int pretest, int answer_only,
                      int consume) {
    Consumed own(consume ? u : nullptr);
    if (!rec) tarvex_error("pt nil in trial_poly_divide.", 1);
    if (poly_iszero(m)) {
        // Candidate divisors are never 0; "not a divisor" could send a gcd
        // search on for ever.
        error(22, quotsign);
        abandon_statement();
    }
    const bool keep = !(pretest && answer_only);
    PolyHold q;
    // Zero is every polynomial's multiple.
    if (poly_iszero(u)) return settle(1, q, quo, keep);
    if (m->numb) {
        tarvex_error("m is a number in trial_poly_divide. Try turning off the fast divide test with &_t.", 1);
        if (!plain(m)) return settle(0, q, quo, keep);
        int ok = 0;
        trial_poly_quot(u, m, &q.p, &ok);
        return settle(ok, q, quo, keep);
    }
    {
        // A leading coefficient that is a zero divisor of split field
        // levels: the division runs in their copies.
        const int a = split_copies_divide(u, m, rec, keep ? &q.p : nullptr);
        if (a >= 0) return settle(a, q, quo, keep);
    }
    if (field_divisor(m, rec)) return settle(field_quotient(u, m, rec, q), q, quo, keep);
    if (relation_divisor(m, rec)) return settle(relation_quotient(u, m, rec, q), q, quo, keep);
    const int32_t du = top_degree(u), dm = top_degree(m);
    if (du < dm) {
        note_degree_gap(m, rec);
        return 0;
    }
    if (dm > 0) {
        if (pretest && pretests(u, m, rec, Caller::quotient) == Verdict::not_divisible) return settle(0, q, quo, keep);
        if (modularmode && mod_is_prime && du <= fast_gcd_size && dense_onevar(u) && dense_onevar(m))
            return settle(fastest_poly_div(u, m, &q.p), q, quo, keep);
        // Word arithmetic on the substituted terms, where it applies.
        const int k = keep ? kronecker_quotient(u, m, rec, &q.p) : kronecker_divides(u, m, rec);
        if (k >= 0) return settle(k, q, quo, keep);
        return settle(divide_terms(u, m, rec, &q.p, "trial divide, counting to "), q, quo, keep);
    }
    polynode* lc = m->pcoef;
    if (du > 0) {
        // m is free of u's top variable: it must divide every coefficient.
        polynode** link = &q.p;
        for (polynode* t = u; t; t = t->next) {
            PolyHold number;
            if (!coefficient_to_divide(t, rec, number)) return settle(0, q, quo, keep);
            PolyHold c;
            if (!trial_poly_divide(number.p ? number.p : t->pcoef, lc, &c.p, inner(rec), pretest, answer_only, 0))
                return settle(0, q, quo, keep);
            if (!keep) continue;
            *link = make_term(t->exp, c.release());
            link = &(*link)->next;
        }
        return settle(1, q, quo, keep);
    }
    if (u->numb) {
        const int a = nonfield_relation_inward(rec) ? number_by_relation(u, m, rec, q) : -1;
        return settle(a > 0 ? 1 : 0, q, quo, keep);   // otherwise a non-zero number by a non-unit
    }
    polynode *uu = u, *mm = m;
    int16_t k = 0;
    pt* r = rec;
    findHeight(&uu, &mm, &k, &r);
    const int a = trial_poly_divide(uu, mm, &q.p, r, pretest, answer_only, 0);
    if (a && q.p && !plain(q.p)) add_pad(&q.p, k);
    return settle(a, q, quo, keep);
}

int trial_poly_divide_noq(polynode* u, polynode* m, pt* rec, int pretest, int stop_at_test, int consume) {
    (void)stop_at_test;   // a pre-test's "divisible" is always confirmed
    Consumed own(consume ? u : nullptr);
    if (!rec) tarvex_error("pt nil in trial_poly_divide_noq.", 1);
    if (poly_iszero(m)) {
        error(22, quotsign);
        abandon_statement();
    }
    if (poly_iszero(u)) return 1;
    if (m->numb) {
        tarvex_error("m number in trial_poly_divide_noq.", 1);
        if (!plain(m)) return 0;
        PolyHold q;
        int ok = 0;
        trial_poly_quot(u, m, &q.p, &ok);
        return ok;
    }
    {
        const int a = split_copies_divide(u, m, rec, nullptr);
        if (a >= 0) return a;
    }
    if (field_divisor(m, rec)) {
        if (lintmode) return 1;
        PolyHold q;
        return field_quotient(u, m, rec, q);
    }
    if (relation_divisor(m, rec)) {
        PolyHold q;
        return relation_quotient(u, m, rec, q);
    }
    const int32_t du = top_degree(u), dm = top_degree(m);
    if (dm > du) {
        note_degree_gap(m, rec);
        return 0;
    }
    polynode* lc = m->pcoef;
    if (dm == 0) {
        if (du > 0) {
            for (polynode* t = u; t; t = t->next) {
                PolyHold number;
                if (!coefficient_to_divide(t, rec, number)) return 0;
                if (!trial_poly_divide_noq(number.p ? number.p : t->pcoef, lc, inner(rec), pretest, stop_at_test, 0))
                    return 0;
            }
            return 1;
        }
        if (u->numb) {
            PolyHold q;
            return nonfield_relation_inward(rec) && number_by_relation(u, m, rec, q) > 0;
        }
        polynode *uu = u, *mm = m;
        int16_t k = 0;
        pt* r = rec;
        findHeight(&uu, &mm, &k, &r);
        return trial_poly_divide_noq(uu, mm, r, pretest, stop_at_test, 0);
    }
    // x^k divides no polynomial with a term of lower degree.
    if (!m->next && lastnode(u)->exp < dm) return 0;
    if (pretest) {
        const int32_t level = level_of(rec);
        // m reaches a variable that u does not involve.
        if (quick_depth_below(m, level) > quick_depth_below(u, level)) return 0;
        if (pretests(u, m, rec, Caller::answer) == Verdict::not_divisible) return 0;
    }
    if (int k = kronecker_divides(u, m, rec); k >= 0) return k;
    return divide_terms(u, m, rec, nullptr, "trial divide noq, counting to ");
}

bool candidate_divides(polynode* u, polynode* m, pt* rec) {
    const int k = kronecker_divides(u, m, rec);
    return k == 1 || (k < 0 && trial_poly_divide_noq(u, m, rec, 1, 0, 0) == 1);
}

// ---------------------------------------------------------------- through primes

void mod_trial_poly_divide(polynode* u, polynode* m, int stop_at_test, int* decided, int* divides, pt* rec) {
    *decided = 0;
    if (poly_iszero(m)) {
        error(22, quotsign);
        abandon_statement();
    }
    // Digit chains are what the residues are computed from.
    if (modularmode || lintmode) return;
    // Field elements: only the first auxiliary primes keep the tower a
    // field, so only they are used; none means undecided.
    const bool field_elements = field_depth != 0 && !both_above_field_depth(u, m, level_of(rec));
    std::vector<imag*> aux;
    if (field_elements) aux = first_aux_table();
    imag** table = field_elements ? aux.data() : prime;
    const int32_t last = field_elements ? static_cast<int32_t>(aux.size()) : PRIME_COUNT;
    if (last < 1) return;
    const int32_t first = field_elements ? select_prime(u, m, last - 3, 3, last, table)
                                         : select_prime(u, m, 530, 64, last, table);
    if (first > last) return;
    const int32_t du = top_degree(u), dm = top_degree(m);
    int usable = 0, first_answer = 0;
    for (int32_t idx = first; idx <= last; idx++) {
        int a = 0;
        {
            ModularSwitch sw;
            sw.set_prime(table[idx - 1]->value);
            polynode *iu = u, *im = m;
            sw.convert(&iu);
            sw.convert(&im);
            sw.convert_variables();
            // A prime that lowers a degree says nothing reliable about
            // divisibility in that degree: the next one is tried.
            if (!iu || !im || top_degree(iu) != du || top_degree(im) != dm) continue;
            sw.begin_arithmetic();
            a = trial_poly_divide_noq(iu, im, rec, 1, stop_at_test, 0);
        }
        if (++usable == 1) {
            if (!a) {
                *decided = 1;
                *divides = 0;
                return;
            }
            first_answer = a;
            continue;
        }
        if (a != first_answer) return;
        break;
    }
    if (usable < 2) return;
    // Residues that divide at two primes make divisibility likely, not
    // certain: the integers decide.
    *divides = trial_poly_divide_noq(u, m, rec, 0, 0, 0);
    *decided = 1;
}
