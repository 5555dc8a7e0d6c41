// Evaluation at numbers and substitution for one variable (see
// poly/evaluate.h). Every evaluation is Horner's rule from the leading
// term: accumulator := value of the leading coefficient; per further term,
// accumulator := accumulator * v^gap + value of its coefficient; finally
// accumulator * v^e for the last exponent e.
#include "poly/evaluate.h"

#include <cstdio>

#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/coefops.h"
#include "poly/polyadd.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

bool lone_number(const polynode* p) { return p->numb && !p->next; }

bool number_zero(const imag* x) { return lintmode ? x->value == 0 : x->head->digit == 0; }

bool zero_poly(const polynode* p) { return lone_number(p) && number_zero(p->ncoef); }


imag* copy_number(imag* x) {
    imag* n = new_number();
    num_assign(x, n);
    return n;
}

void release_node(polynode* t) {
    t->exp = 0;
    t->next = polygarb;
    polygarb = t;
}

bool has_keep_marker(const polynode* list) {
    for (; list; list = list->next)
        if (list->exp == 1) return true;
    return false;
}

// Frees what it holds when a fatal error unwinds through the routine.
struct Scratch {
    polynode* p[4] = {nullptr, nullptr, nullptr, nullptr};
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        for (polynode*& q : p) free_poly(&q);
    }
};

// Appends detached terms in order.
struct TermChain {
    polynode* head = nullptr;
    polynode** tail = &head;
    TermChain() = default;
    TermChain(const TermChain&) = delete;
    TermChain& operator=(const TermChain&) = delete;
    ~TermChain() { free_poly(&head); }
    void push(polynode* t) {
        t->next = nullptr;
        *tail = t;
        tail = &t->next;
    }
    polynode* release() {
        polynode* h = head;
        head = nullptr;
        tail = &head;
        return h;
    }
};

// ---- digit numbers ----

// acc := acc * v^d (d >= 1).
void times_number_power(imag* acc, imag* v, int32_t d) {
    if (d == 1) {
        // A one-digit value takes the single-digit product.
        if (v->count == 1)
            simp_mult(acc, acc, v->head->digit, nullptr);
        else
            fast_mult(acc, v, acc);
        return;
    }
    imag* pw = copy_number(v);
    number_power(pw, static_cast<uint32_t>(d));
    fast_mult(acc, pw, acc);
    free_imag(&pw);
}

// *acc := *acc + c, consuming c; a zero sum leaves *acc null.
void add_number(imag** acc, imag* c) {
    if (!c) return;
    if (!*acc) {
        *acc = c;
        return;
    }
    fastsum(*acc, c);
    free_imag(&c);
    if (number_zero(*acc)) free_imag(acc);
}

// ---- integers in machine words ----
//
// Most evaluations at small integer points stay far below 2^127, and a
// Horner pass on 128-bit words avoids building a digit chain per term.
// Every step is checked; a pass that would leave 128 bits gives up and the
// digit routines take over at that level, while the levels below still try
// machine words first.

__extension__ typedef __int128 wide;
__extension__ typedef unsigned __int128 uwide;

enum class Pass { done, overflow, unfit };

// A number of at most four digits lies below 2^112 in absolute value.
constexpr int32_t WIDE_DIGITS = 4;

bool wide_of(const imag* x, wide* out) {
    if (x->count > WIDE_DIGITS) return false;
    wide w = 0;
    for (const numnode* d = x->head; d; d = d->next) w = w * DIGIT_BASE + d->digit;
    *out = w;
    return true;
}

// *acc := *acc * v^d (d >= 1); false on overflow. |v| >= 2 overflows
// within 127 factors, so the plain loop is short.
bool wide_times_power(wide* acc, wide v, int32_t d) {
    if (v == 0) {
        *acc = 0;
        return true;
    }
    if (v == 1) return true;
    if (v == -1) return !(d & 1) || !__builtin_sub_overflow(wide{0}, *acc, acc);
    for (; d > 0; d--)
        if (__builtin_mul_overflow(*acc, v, acc)) return false;
    return true;
}

Pass wide_number_of(const imag* x, wide* out) { return wide_of(x, out) ? Pass::done : Pass::overflow; }

// floor(log2 |v|), 0 for v = 0: |v|^d >= 2^(d * this).
int32_t low_log2(wide v) {
    const uwide m = v < 0 ? -static_cast<uwide>(v) : static_cast<uwide>(v);
    const uint64_t hi = static_cast<uint64_t>(m >> 64);
    const uint64_t lo = static_cast<uint64_t>(m);
    if (hi) return 127 - __builtin_clzll(hi);
    return lo ? 63 - __builtin_clzll(lo) : 0;
}

// *out := p at the values. unfit: the list ends above a level of p, or a
// negative exponent, where the digit routines' own rules apply. A level
// whose degree makes v^degree reach 2^127 is given up at once: only a
// leading coefficient that vanishes at the points could keep it in range.
Pass wide_eval(const polynode* p, const polynode* list, wide* out) {
    if (p->numb) return wide_number_of(p->ncoef, out);
    if (!list) return Pass::unfit;
    wide v;
    if (!wide_of(list->ncoef, &v)) return Pass::overflow;
    if (static_cast<int64_t>(low_log2(v)) * p->exp >= 127) return Pass::overflow;
    wide acc = 0;
    int32_t prev = 0;
    for (const polynode* t = p; t; t = t->next) {
        if (t->exp < 0) return Pass::unfit;
        if (acc != 0 && !wide_times_power(&acc, v, prev - t->exp)) return Pass::overflow;
        wide c;
        const Pass r = t->numb ? wide_number_of(t->ncoef, &c) : wide_eval(t->pcoef, list->next, &c);
        if (r != Pass::done) return r;
        if (__builtin_add_overflow(acc, c, &acc)) return Pass::overflow;
        prev = t->exp;
    }
    if (acc != 0 && prev > 0 && !wide_times_power(&acc, v, prev)) return Pass::overflow;
    *out = acc;
    return Pass::done;
}

// false after the internal error (nothing is left allocated); quiet: a list
// that ends above a level of p gives false without the error. try_wide is
// cleared below a level whose machine-word pass found p unfit for it.
bool rat_eval(polynode* p, polynode* list, imag** res, bool quiet, bool try_wide = true) {
    *res = nullptr;
    if (p->numb) {
        if (!number_zero(p->ncoef)) *res = copy_number(p->ncoef);
        return true;
    }
    if (!list) {
        if (!quiet) tarvex_error("arg is NULL but q not number in rat_all_poly_eval. ", 0);
        return false;
    }
    if (try_wide) {
        wide w;
        const Pass r = wide_eval(p, list, &w);
        if (r == Pass::done) {
            if (w != 0) *res = int128_number(w);
            return true;
        }
        try_wide = r == Pass::overflow;
    }
    imag* v = list->ncoef;
    if (number_zero(v)) {
        // Only the constant term survives.
        polynode* t = lastnode(p);
        if (t->exp != 0) return true;
        if (t->numb) {
            *res = copy_number(t->ncoef);
            return true;
        }
        return rat_eval(t->pcoef, list->next, res, quiet, try_wide);
    }
    imag* acc = nullptr;
    int32_t prev = 0;
    for (polynode* t = p; t; t = t->next) {
        if (acc) times_number_power(acc, v, prev - t->exp);
        imag* c = nullptr;
        if (t->numb) {
            c = copy_number(t->ncoef);
        } else if (!rat_eval(t->pcoef, list->next, &c, quiet, try_wide)) {
            if (acc) free_imag(&acc);
            return false;
        }
        add_number(&acc, c);
        prev = t->exp;
    }
    if (acc && prev > 0) times_number_power(acc, v, prev);
    *res = acc;
    return true;
}

// ---- residues ----

int32_t residue_power(int32_t v, int32_t d) {
    if (d == 1) return v;
    // Reduces the exponent by the group order only for a non-zero base over a
    // field; over a composite modulus a^(m-1) need not be 1.
    int32_t r;
    mod_number_power(v, d, &r);
    return r;
}

// The residue Horner pass on 64-bit words, for a modulus outside
// characteristic 2 whose residues are all reduced: products of two
// residues below 2^31 fit 62 bits. unfit: a keep marker, a list that ends
// above a level of p, or a value that is not a reduced residue; the caller
// then takes the general routines, whose rules cover those.
bool word_residues() { return !finf && modulus > 1; }

bool reduced(int32_t x) { return x >= 0 && x < modulus; }

uint64_t word_power(uint64_t v, int32_t d, uint64_t m) {
    uint64_t r = 1;
    for (; d > 0; d >>= 1) {
        if (d & 1) r = r * v % m;
        v = v * v % m;
    }
    return r;
}

Pass word_mod_eval(const polynode* p, const polynode* list, uint64_t* out) {
    if (p->numb) {
        if (!reduced(p->ncoef->value)) return Pass::unfit;
        *out = static_cast<uint64_t>(p->ncoef->value);
        return Pass::done;
    }
    if (!list || list->exp == 1 || !reduced(list->ncoef->value)) return Pass::unfit;
    const uint64_t m = static_cast<uint64_t>(modulus);
    const uint64_t v = static_cast<uint64_t>(list->ncoef->value);
    uint64_t acc = 0;
    int32_t prev = 0;
    for (const polynode* t = p; t; t = t->next) {
        if (t != p) acc = acc * (prev - t->exp == 1 ? v : word_power(v, prev - t->exp, m)) % m;
        uint64_t c;
        if (t->numb) {
            if (!reduced(t->ncoef->value)) return Pass::unfit;
            c = static_cast<uint64_t>(t->ncoef->value);
        } else if (word_mod_eval(t->pcoef, list->next, &c) != Pass::done) {
            return Pass::unfit;
        }
        acc += c;
        if (acc >= m) acc -= m;
        prev = t->exp;
    }
    if (prev > 0) acc = acc * word_power(v, prev, m) % m;
    *out = acc;
    return Pass::done;
}

bool mod_eval(polynode* p, polynode* list, int32_t* out) {
    if (word_residues()) {
        uint64_t r;
        if (word_mod_eval(p, list, &r) == Pass::done) {
            *out = static_cast<int32_t>(r);
            return true;
        }
    }
    if (p->numb) {
        *out = p->ncoef->value;
        return true;
    }
    if (!list) {
        tarvex_error("arg is NULL but q not number in mod_all_poly_eval. ", 0);
        return false;
    }
    if (list->exp == 1) {
        tarvex_error("arg->exp = 1 in mod_all_poly_eval. ", 0);
        return false;
    }
    const int32_t v = list->ncoef->value;
    int32_t acc = 0;
    int32_t prev = 0;
    for (polynode* t = p; t; t = t->next) {
        if (t != p) acc = modmult(acc, residue_power(v, prev - t->exp));
        int32_t c = 0;
        if (t->numb)
            c = t->ncoef->value;
        else if (!mod_eval(t->pcoef, list->next, &c))
            return false;
        acc = mod_add(acc, c, modulus);
        prev = t->exp;
    }
    if (prev > 0) acc = modmult(acc, residue_power(v, prev));
    *out = acc;
    return true;
}

// ---- polynomials times powers of a number value ----

// A lone number node holding value^d, d >= 1.
polynode* value_power(polynode* value, int32_t d) {
    polynode* pw = new_number_node(copy_number(value->ncoef));
    if (d > 1) number_power(pw->ncoef, static_cast<uint32_t>(d));
    return pw;
}

// *acc := *acc * value^d; rec is the record of acc's top level.
void times_value_power(polynode** acc, polynode* value, int32_t d, pt* rec) {
    Scratch s;
    s.p[0] = value_power(value, d);
    poly_mult(*acc, s.p[0], acc, rec);
}

// p at a list of numbers only, evaluated on numbers rather than on
// polynomials: *out := a lone number node, null for zero. false when the
// list does not suit (a keep marker, field levels, Laurent exponents, a list
// that ends above a level of p, machine-integer mode, characteristic 2 or
// unreduced residues); then nothing is allocated.
bool eval_on_numbers(polynode* p, polynode* list, polynode** out) {
    if (field_depth != 0 || laurent || has_keep_marker(list)) return false;
    if (modularmode) {
        uint64_t r;
        if (!word_residues() || word_mod_eval(p, list, &r) != Pass::done) return false;
        *out = nullptr;
        if (r != 0) poly_set(static_cast<int32_t>(r), out);
        return true;
    }
    if (lintmode) return false;
    imag* n = nullptr;
    if (!rat_eval(p, list, &n, true)) return false;
    *out = n ? new_number_node(n) : nullptr;
    return true;
}

// The level-by-level method: a new polynomial, null for zero. rec is the
// record of p's top level. Where every level left is substituted the value
// is formed on numbers; on_numbers is cleared below a level where that
// did not suit, so that the attempt is not repeated on each coefficient.
polynode* general_eval(polynode* p, polynode* list, int keep, pt* rec, bool on_numbers = true) {
    if (p->numb || !list) {
        if (zero_poly(p)) return nullptr;
        polynode* c = nullptr;
        poly_assign(p, &c);
        return c;
    }
    if (keep >= 1 || list->exp == 1) {
        polynode* below = keep >= 1 ? list : list->next;
        const int below_keep = keep >= 1 ? keep - 1 : keep;
        TermChain out;
        for (polynode* t = p; t; t = t->next) {
            if (t->numb) {
                out.push(new_number_node(copy_number(t->ncoef)));
                continue;
            }
            polynode* c = general_eval(t->pcoef, below, below_keep, inner(rec), on_numbers);
            if (!c) continue;
            out.push(t->exp == 0 && lone_number(c) ? c : new_term_node(t->exp, c));
        }
        return out.release();
    }
    if (on_numbers) {
        polynode* r;
        if (eval_on_numbers(p, list, &r)) return r;
        on_numbers = false;
    }
    Scratch s;   // s.p[0]: the accumulator
    int32_t prev = 0;
    for (polynode* t = p; t; t = t->next) {
        if (s.p[0]) times_value_power(&s.p[0], list, prev - t->exp, inner(rec));
        polynode* c = t->numb ? new_number_node(copy_number(t->ncoef))
                              : general_eval(t->pcoef, list->next, 0, inner(rec), on_numbers);
        if (c) {
            if (!s.p[0])
                s.p[0] = c;
            else
                best_poly_add(s.p[0], c, &s.p[0]);
        }
        if (s.p[0] && zero_poly(s.p[0])) free_poly(&s.p[0]);
        prev = t->exp;
    }
    if (s.p[0] && prev > 0) times_value_power(&s.p[0], list, prev, inner(rec));
    if (s.p[0] && zero_poly(s.p[0])) free_poly(&s.p[0]);
    polynode* acc = s.p[0];
    s.p[0] = nullptr;
    // The substituted level stays as padding, so the depth is kept.
    if (acc && !lone_number(acc)) add_pad(&acc, 1);
    return acc;
}

// ---- one variable at a number ----

polynode* at_number(polynode* p, polynode* value, pt* rec, int pad, bool modular) {
    if (p->numb) {
        polynode* c = nullptr;
        poly_assign(p, &c);
        return c;
    }
    if (!value->numb) {
        tarvex_error(modular ? "n2 not number in mod_poly_at_numb" : "n2 not number in poly_at_numb", 1);
        return nullptr;
    }
    const int32_t v = value->ncoef->value;
    if (modular && (v <= 0 || v >= modulus)) {
        std::printf("bad n2val in mod_poly_at_numb4, %li, %li\n", static_cast<long>(v), static_cast<long>(modulus));
        tarvex_error("bad n2val in mod_poly_at_numb4.", 1);
        return nullptr;
    }
    Scratch s;   // s.p[0]: the accumulator
    auto times_power = [&](int32_t d) {
        if (modular)
            number_by_poly(residue_power(v, d), s.p[0], &s.p[0], 0);
        else
            times_value_power(&s.p[0], value, d, inner(rec));
    };
    poly_assign(p->pcoef, &s.p[0]);
    int32_t prev = p->exp;
    for (polynode* t = p->next; t; t = t->next) {
        times_power(prev - t->exp);
        if (t->numb)
            best_poly_add(s.p[0], new_number_node(copy_number(t->ncoef)), &s.p[0]);
        else
            better_poly_add(s.p[0], t->pcoef, &s.p[0]);
        prev = t->exp;
    }
    if (prev > 0) times_power(prev);
    polynode* acc = s.p[0];
    s.p[0] = nullptr;
    if (pad && !lone_number(acc)) add_pad(&acc, 1);
    return acc;
}

void replace(polynode** slot, polynode* value) {
    free_poly(slot);
    *slot = value;
}

}  // namespace

// ---------------------------------------------------------------- all variables

void rat_all_poly_eval(polynode* p, polynode* list, imag** res) {
    imag* n = nullptr;
    if (rat_eval(p, list, &n, false)) *res = n;
}

void mod_all_poly_eval(polynode* p, polynode* list, int32_t* out) {
    int32_t r = 0;
    if (mod_eval(p, list, &r)) *out = r;
}

void all_poly_eval(polynode** p, polynode* list, polynode** res, int16_t keep) {
    if (keep >= 1) {
        *res = general_eval(*p, list, keep, polynames);
        return;
    }
    // The whole-polynomial evaluators know nothing of keep markers or field
    // levels; such lists take the general method.
    if (field_depth == 0 && !has_keep_marker(list)) {
        if (modularmode) {
            int32_t r = 0;
            if (mod_eval(*p, list, &r) && r != 0) poly_set(r, res);
            return;
        }
        if (!lintmode) {
            imag* n = nullptr;
            if (rat_eval(*p, list, &n, false) && n) *res = new_number_node(n);
            return;
        }
    }
    *res = general_eval(*p, list, keep, polynames);
}

void old_all_poly_eval(polynode** p, polynode* list, int16_t keep) {
    if (!*p) return;
    replace(p, general_eval(*p, list, keep, polynames));
}

// ---------------------------------------------------------------- one variable

void poly_at_numb(polynode** res, polynode* p, polynode* value, pt* rec, int pad) {
    replace(res, at_number(p, value, rec, pad, false));
}

void mod_poly_at_numb(polynode** res, polynode* p, polynode* value, pt* rec, int pad) {
    replace(res, at_number(p, value, rec, pad, true));
}

void poly_at_numb_2(polynode** slot, polynode* p, polynode* value, pt* rec) {
    free_poly(slot);
    if (p->numb) {
        poly_assign(p, slot);
        return;
    }
    TermChain out;
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            out.push(new_number_node(copy_number(t->ncoef)));
            continue;
        }
        polynode* c = at_number(t->pcoef, value, inner(rec), 0, modularmode != 0);
        if (zero_poly(c)) {
            free_poly(&c);
            continue;
        }
        out.push(t->exp == 0 && lone_number(c) ? c : new_term_node(t->exp, c));
    }
    *slot = out.release();
    if (!*slot) poly_set(0, slot);
}

int last_node_becomes_zero(polynode* p, const EvalPoint* at) {
    polynode* t = lastnode(p);
    if (t->numb || t->pcoef->numb) return 0;
    polynode* r = at_number(t->pcoef, at->value, at->rec, 1, modularmode != 0);
    const int z = zero_poly(r);
    free_poly(&r);
    return z;
}

// ---------------------------------------------------------------- characteristic 2

namespace {

int32_t eval_01(polynode* p, polynode* points) {
    if (p->numb) return p->ncoef->value;
    const bool trace = verbose && windy;
    if (trace) {
        int32_t n = 0;
        for (polynode* t = p; t; t = t->next) n++;
        dumpitt_level++;
        dumpitt("total eval, numbers char 2 fast, counting to ", n - 1, 1, 1, 0);
    }
    const int32_t point = points ? points->ncoef->value : 0;
    polynode* rest = points ? points->next : nullptr;
    int32_t r = 0;
    if (p->exp == 0 || point == 1) r = p->numb ? p->ncoef->value : eval_01(p->pcoef, rest);
    if (polynode* s = p->next) {
        const int32_t sv = s->numb ? s->ncoef->value : eval_01(s->pcoef, rest);
        r ^= sv;   // field words add by exclusive or
    }
    if (trace) decr_dumpitt(1, 0, 1);
    return r;
}

}  // namespace

void tot_eval_poly2_fast(polynode* p, polynode* points, int32_t* out) { *out = eval_01(p, points); }

// ---------------------------------------------------------------- randomized division test

namespace {

// A one-digit value in -39 .. 39 says too little about divisibility.
bool too_small(const imag* x) {
    if (lintmode) return x->value >= -39 && x->value <= 39;
    return x->count == 1 && x->head->digit >= -39 && x->head->digit <= 39;
}

}  // namespace

void fast_test_rat(int32_t seed, int* usable, int* divides, const EvalPair* pair, int small_points) {
    Scratch s;   // s.p[0]: the points, s.p[1]: m's value, s.p[2]: n's value
    for (int32_t i = pair->vars; i >= 1; i--) {
        const int32_t r = rand_integer2();
        int64_t k = (static_cast<int64_t>(r % 3) + 3 * (static_cast<int64_t>(seed) + i)) % GLOBAL_LIST_COUNT;
        if (k < 0) k += GLOBAL_LIST_COUNT;
        int32_t point = global_list[k];
        if (small_points) point = point % 23 + 2;
        polynode* node = nullptr;
        poly_set(point, &node);
        node->next = s.p[0];
        s.p[0] = node;
    }
    polynode* m = pair->m;
    all_poly_eval(&m, s.p[0], &s.p[1], 0);
    if (s.p[1] && !s.p[1]->numb) tarvex_error("mdup not number in fast_test_rat.", 1);
    if (!s.p[1] || too_small(s.p[1]->ncoef)) {
        *usable = 0;
        return;
    }
    polynode* n = pair->n;
    all_poly_eval(&n, s.p[0], &s.p[2], 0);
    if (s.p[2] && !s.p[2]->numb) tarvex_error("ndup not number in fast_test_rat.", 1);
    if (!s.p[2]) {
        *usable = 0;
        return;
    }
    *usable = 1;
    imag* rem = new_number();
    mod_or_div(s.p[2]->ncoef, s.p[1]->ncoef, rem, '|', pos_mod);
    *divides = number_zero(rem);
    free_imag(&rem);
}

// ---------------------------------------------------------------- substitution of a quotient

namespace {

// *coef := *coef * f for the coefficient of term t (a number term becomes
// a polynomial term of exponent 0 when the product is not a number).
void scale_term(polynode* t, polynode* f, pt* rec) {
    if (!t->numb) {
        poly_mult(t->pcoef, f, &t->pcoef, rec);
        return;
    }
    polynode* c = new_number_node(t->ncoef);
    poly_mult(c, f, &c, rec);
    if (lone_number(c)) {
        t->ncoef = c->ncoef;
        release_node(c);
    } else {
        t->numb = 0;
        t->pcoef = c;
    }
}

// Cancels the common integer content of c and e (big integers only).
void cancel_content(polynode** c, polynode** e) {
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = *c;
    q->den = *e;
    sanitize(q);
    *c = q->pnum;
    *e = q->den;
    q->pnum = nullptr;
    q->den = nullptr;
    q->link = quolygarb;
    quolygarb = q;
}

// The walk shared by case_one and case_two above the substituted level:
// each polynomial coefficient is substituted by sub (which returns its own
// denominator) and every term brought to the one denominator D.
template <class Sub>
void descend(polynode** p, polynode** den, pt* rec, Sub sub) {
    *den = nullptr;
    // A number term heads a longer list when negative exponents follow it.
    if (lone_number(*p)) return;
    pt* below = inner(rec);
    Scratch s;   // s.p[0]: D
    polynode** link = p;
    for (polynode* t = *p; t;) {
        polynode* next = t->next;
        if (t->numb || lone_number(t->pcoef)) {
            // A constant in the substituted variable: only the denominator.
            if (s.p[0]) scale_term(t, s.p[0], below);
            link = &t->next;
            t = next;
            continue;
        }
        polynode* e = nullptr;
        sub(&t->pcoef, &e, below);
        if (zero_poly(t->pcoef)) {
            free_poly(&e);
            *link = next;
            free_poly(&t->pcoef);
            release_node(t);
            t = next;
            continue;
        }
        if (e) cancel_content(&t->pcoef, &e);
        if (s.p[0]) poly_mult(t->pcoef, s.p[0], &t->pcoef, below);
        if (e) {
            for (polynode* u = *p; u != t; u = u->next) scale_term(u, e, below);
            if (s.p[0]) {
                poly_mult(s.p[0], e, &s.p[0], below);
                free_poly(&e);
            } else {
                s.p[0] = e;
            }
        }
        if (t->exp == 0 && lone_number(t->pcoef)) {
            polynode* c = t->pcoef;
            c->next = next;
            *link = c;
            release_node(t);
            link = &c->next;
        } else {
            link = &t->next;
        }
        t = next;
    }
    if (!*p) poly_set(0, p);
    // D was formed among the coefficients; the caller multiplies it with
    // polynomials of p's own level.
    if (s.p[0] && !lone_number(s.p[0])) add_pad(&s.p[0], 1);
    *den = s.p[0];
    s.p[0] = nullptr;
}

polynode* copy_power(polynode* q, int32_t d, pt* rec) {
    polynode* c = nullptr;
    poly_assign(q, &c);
    if (d > 1) compute_power(&c, d, rec);
    return c;
}

// *acc := *acc * q^d.
void times_power(polynode** acc, polynode* q, int32_t d, pt* rec) {
    Scratch s;
    s.p[0] = copy_power(q, d, rec);
    poly_mult(*acc, s.p[0], acc, rec);
}

// N and M one level down, where they are padded above the substituted level.
polynode* step_down(polynode* q) { return q && !q->numb ? q->pcoef : q; }

}  // namespace

void highest_level(polynode** p, polynode** den, polynode* N, polynode* M, int16_t pad, pt* rec) {
    *den = nullptr;
    Scratch s;   // s.p[0]: accumulator, s.p[1]: D, s.p[2]: the terms not yet taken, s.p[3]: coefficient
    s.p[2] = *p;
    *p = nullptr;
    int32_t prev = 0;
    bool first = true;
    while (s.p[2]) {
        polynode* t = s.p[2];
        s.p[2] = t->next;
        const int32_t e = t->exp;
        if (t->numb) {
            t->next = nullptr;
            s.p[3] = t;
        } else {
            s.p[3] = t->pcoef;
            release_node(t);
            if (!lone_number(s.p[3])) add_pad(&s.p[3], pad);
        }
        if (first) {
            s.p[0] = s.p[3];
            s.p[3] = nullptr;
            first = false;
        } else {
            const int32_t d = prev - e;
            times_power(&s.p[0], N, d, rec);
            if (M) {
                if (s.p[1])
                    times_power(&s.p[1], M, d, nilpol);
                else
                    s.p[1] = copy_power(M, d, nilpol);
                poly_mult(s.p[3], s.p[1], &s.p[3], rec);
            }
            best_poly_add(s.p[0], s.p[3], &s.p[0]);
            s.p[3] = nullptr;
        }
        prev = e;
    }
    if (prev > 0) {
        times_power(&s.p[0], N, prev, rec);
        if (M) {
            if (s.p[1])
                times_power(&s.p[1], M, prev, nilpol);
            else
                s.p[1] = copy_power(M, prev, nilpol);
        }
    }
    *p = s.p[0];
    *den = s.p[1];
    s.p[0] = s.p[1] = nullptr;
}

void case_one(polynode** p, polynode** den, int16_t level, polynode* N, polynode* M, pt* rec) {
    if (level <= 1) {
        *den = nullptr;
        if (!(*p)->numb && (*p)->exp >= 1) highest_level(p, den, N, M, 1, rec);
        return;
    }
    polynode* n = step_down(N);
    polynode* m = step_down(M);
    descend(p, den, rec, [&](polynode** c, polynode** e, pt* below) {
        case_one(c, e, static_cast<int16_t>(level - 1), n, m, below);
    });
}

void case_two(polynode** p, polynode** den, int16_t level, int16_t bound, polynode* N, polynode* M, pt* rec) {
    if (bound <= 1) {
        highest_case2(p, den, level, N, M, 0, rec);
        return;
    }
    polynode* n = step_down(N);
    polynode* m = step_down(M);
    descend(p, den, rec, [&](polynode** c, polynode** e, pt* below) {
        case_two(c, e, static_cast<int16_t>(level - 1), static_cast<int16_t>(bound - 1), n, m, below);
    });
}

void highest_case2(polynode** p, polynode** den, int16_t count, polynode* N, polynode* M, int16_t pad, pt* rec) {
    if (count <= 1) {
        highest_level(p, den, N, M, static_cast<int16_t>(pad + 1), rec);
        return;
    }
    *den = nullptr;
    // Every piece lives pad levels up, where N does, and the level is
    // rebuilt as their sum over one denominator D.
    Scratch s;   // s.p[0]: sum, s.p[1]: D, s.p[2]: terms not yet taken, s.p[3]: piece
    s.p[2] = *p;
    *p = nullptr;
    while (s.p[2]) {
        polynode* t = s.p[2];
        s.p[2] = t->next;
        t->next = nullptr;
        polynode* e = nullptr;
        if (t->numb) {
            s.p[3] = t;
        } else if (lone_number(t->pcoef)) {
            s.p[3] = t;
            add_pad(&s.p[3], pad);
        } else {
            polynode* c = t->pcoef;
            const int32_t x = t->exp;
            t->pcoef = nullptr;
            release_node(t);
            highest_case2(&c, &e, static_cast<int16_t>(count - 1), N, M, static_cast<int16_t>(pad + 1), rec);
            if (x == 0) {
                s.p[3] = c;
            } else {
                s.p[3] = c;
                polynode* one = nullptr;
                poly_set(1, &one);
                polynode* mono = new_term_node(x, one);
                add_pad(&mono, pad);
                poly_mult(mono, s.p[3], &s.p[3], rec);
                free_poly(&mono);
            }
            if (zero_poly(s.p[3])) {
                free_poly(&s.p[3]);
                free_poly(&e);
                continue;
            }
            if (e) cancel_content(&s.p[3], &e);
        }
        if (s.p[1]) poly_mult(s.p[3], s.p[1], &s.p[3], rec);
        if (e) {
            if (s.p[0]) poly_mult(s.p[0], e, &s.p[0], rec);
            if (s.p[1]) {
                poly_mult(s.p[1], e, &s.p[1], rec);
                free_poly(&e);
            } else {
                s.p[1] = e;
            }
        }
        if (s.p[0])
            best_poly_add(s.p[0], s.p[3], &s.p[0]);
        else
            s.p[0] = s.p[3];
        s.p[3] = nullptr;
    }
    if (!s.p[0]) poly_set(0, &s.p[0]);
    *p = s.p[0];
    *den = s.p[1];
    s.p[0] = s.p[1] = nullptr;
}

void actual_eval_poly(polynode** p, polynode** den, polynode** num_val, polynode** den_val, int16_t level,
                      int16_t bound, pt* rec) {
    polynode* M = den_val ? *den_val : nullptr;
    if (level > bound)
        case_two(p, den, level, bound, *num_val, M, rec);
    else
        case_one(p, den, level, *num_val, M, rec);
}
