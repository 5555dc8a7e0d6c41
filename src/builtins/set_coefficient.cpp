// Recoef (see set_coefficient.h). Every argument is read before the stored
// value is touched: the exponents and the value may call a function that
// changes or removes the target, which is therefore found again afterwards.
#include "builtins/set_coefficient.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "interp/exact_read.h"
#include "interp/array_table.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/token.h"
#include "matrix/sparse.h"
#include "poly/coefextract.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/ring_change.h"

namespace {

bool lone_number(const polynode* p) { return p->numb && !p->next; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

// A zero number stands for no polynomial.
void drop_zero(polynode** p) {
    if (*p && lone_number(*p) && node_iszero(*p)) free_poly(p);
}

// Where the target lives: a compiled binding, a scalar found by name (or
// not yet existing), or an array element.
struct target {
    tokenrec nm;
    int part = 0;                // 0 the whole value, 1 its numerator, 2 its denominator
    quoly** bound = nullptr;     // compiled scalar binding
    bool element = false;
    element_ref ref{};

    // The value slot now; null for a scalar that does not exist or an
    // absent sparse entry (made with make).
    quoly** slot(bool make) const {
        if (bound) return bound;
        if (element) {
            quoly** cell = element_cell_again(ref, make);
            if (!cell && !make) return nullptr;
            if (!cell) bfail(28, nm.name);
            return cell;
        }
        var* v = find_var(&nm);
        return v ? &v->value : nullptr;
    }
};

void read_target(FILE** source, name** pending, target* t) {
    if (token_is(&token, "Numer") || token_is(&token, "Denom")) {
        t->part = token_is(&token, "Numer") ? 1 : 2;
        bnext(source, pending);
        bexpect("(", 177);
        bnext(source, pending);
    }
    t->nm = token;
    if (!is_lower(token.name[0])) bfail(157, token.name);
    if (number_polys > 0 && its_a_polyname(token.name)) bfail(125, token.name);
    name* rec = *pending;
    const bool compiled = rec && rec->resolved && std::strcmp(rec->token, token.name) == 0;
    bnext(source, pending);
    if (token_is(&token, "[")) {
        compiled_array* b = compiled && rec->bind_kind != 1 ? static_cast<compiled_array*>(rec->binding) : nullptr;
        tokenrec id = t->nm;
        element_reference(source, &id, pending, &t->ref, b);
        t->element = true;
    } else if (compiled && rec->bind_kind == 1) {
        t->bound = static_cast<quoly**>(rec->binding);
    }
    if (t->part) {
        bexpect(")", 1);
        bnext(source, pending);
    }
}

// The target's value must be one this change applies to.
void check_value(const target& t, const quoly* q) {
    if (array_parameter(q)) bfail(29, t.nm.name);
    if (t.part) {
        if (!q) bfail(167, t.nm.name);
        if (q->isnum) bfail(67, t.nm.name);
    } else if (q && !q->isnum && q->den) {
        bfail(185, t.nm.name);
    }
}

void read_exponents(FILE** source, name** pending, std::vector<int32_t>* exps) {
    while (token_is(&token, ",")) {
        // One exponent per variable: a further one finds no level.
        if (static_cast<int32_t>(exps->size()) >= number_polys) bfail(1, token.name);
        bnext(source, pending);
        SlotHold v;
        read_count_value(source, pending, &v.q);
        if (!v.q->isnum) bfail(155, token.name);
        const int32_t e = quoly_convert_to_int(v.q);
        if (e == INT_DOES_NOT_FIT) bfail(156, token.name);
        if (e < 0 && !laurent) bfail(166, token.name);
        exps->push_back(e);
    }
}

// The new coefficient: the value with its d outer levels, which must be
// single exponent-0 terms, taken off. Null for 0.
polynode* coefficient_of(const quoly* v, int32_t d) {
    polynode* c = nullptr;
    if (v->isnum) {
        quoly_to_poly(const_cast<quoly*>(v), &c);
        drop_zero(&c);
        return c;
    }
    if (v->den) bfail(158, token.name);
    polynode* p = v->pnum;
    for (int32_t k = 0; k < d; k++) {
        if (p->numb || p->next || p->exp != 0) bfail(158, token.name);
        p = p->pcoef;
    }
    poly_assign(p, &c);
    return c;
}

void warn_zero_denominator(const target& t) {
    std::printf(" Warning. A quoly denominator has become 0 due to :\xC2\x8D.\n");
    std::printf(t.element ? "   An array named %s" : "   A variable named %s", t.nm.name);
    std::printf(" was involved, and set to 0.\n");
    std::fflush(stdout);
}

// The numerator or denominator of *slot (not a plain number) with its
// coefficient changed; the value brought back to normal form.
void change_part(const target& t, quoly** slot, const std::vector<int32_t>& exps, polynode* c) {
    quoly* q = *slot;
    polynode** part = t.part == 1 ? &q->pnum : &q->den;
    if (!*part) poly_set(1, part);
    set_coef(part, exps.data(), static_cast<int32_t>(exps.size()), c);
    q->rat = 0;
    if (!*part) {
        if (t.part == 2) warn_zero_denominator(t);
        quoly_set(0, slot);
        return;
    }
    if (q->den) {
        check_quoly(slot, t.part == 2 ? laurent : 0);
        return;
    }
    if (lone_number(q->pnum)) polynum_to_quoly(slot);
}

}  // namespace

void set_coef(polynode** p, const int32_t* exps, int32_t d, polynode* c) {
    drop_zero(&c);
    if (d == 0) {
        free_poly(p);
        *p = c;
        return;
    }
    const int32_t e = exps[0];
    polynode* prev = nullptr;
    polynode* t = *p;
    while (t && t->exp > e) {
        prev = t;
        t = t->next;
    }
    if (t && t->exp == e) {
        if (!t->numb) {
            set_coef(&t->pcoef, exps + 1, d - 1, c);
            set_it(t->pcoef == nullptr, t, prev, nullptr, t->pcoef, e, p);
        } else {
            // A constant term is the coefficient of every inner variable's
            // power 0: the change starts from it, not from nothing.
            polynode* nc = nullptr;
            node_assign(t, &nc);
            set_coef(&nc, exps + 1, d - 1, c);
            set_it(nc == nullptr, t, prev, nc, nc, e, p);
        }
        drop_zero(p);
        return;
    }
    polynode* nc = nullptr;
    set_coef(&nc, exps + 1, d - 1, c);
    if (!nc) return;
    polynode* node = e == 0 && lone_number(nc) ? nc : new_term_node(e, nc);
    node->next = t;
    if (prev)
        prev->next = node;
    else
        *p = node;
}

void quoly_set_coef(quoly** slot, const int32_t* exps, int32_t d, polynode* c) {
    quoly* q = *slot;
    if (q && !q->isnum) {
        set_coef(&q->pnum, exps, d, c);
        if (!q->pnum)
            quoly_set(0, slot);
        else if (lone_number(q->pnum))
            polynum_to_quoly(slot);
        return;
    }
    polynode* p = nullptr;
    if (q) {
        quoly_to_poly(q, &p);
        drop_zero(&p);
    }
    set_coef(&p, exps, d, c);
    quoly* r = nullptr;
    if (!p)
        quoly_set(0, &r);
    else
        use_up_poly(&p, &r);
    retire_value(slot);
    *slot = r;
}

void change_coef(FILE** source, quoly** result, name** pending) {
    bnext(source, pending);
    bexpect("(", 154);
    bnext(source, pending);
    target t;
    read_target(source, pending, &t);
    {
        // A left-out value is checked as its element of the ring.
        quoly** s = t.slot(false);
        SlotHold element;
        if (s && *s && read_left_out_converted(*s, &element.q))
            check_value(t, element.q);
        else
            check_value(t, s ? *s : nullptr);
    }
    std::vector<int32_t> exps;
    read_exponents(source, pending, &exps);
    bexpect(")", 1);
    bnext(source, pending);
    bexpect(":", 152);
    bnext(source, pending);
    bexpect("=", 4);
    bnext(source, pending);
    SlotHold value;
    old_expre(source, &value.q, pending);
    if (!value.q) quoly_set(0, &value.q);
    PolyHold c(coefficient_of(value.q, static_cast<int32_t>(exps.size())));

    // The arguments are read: the target is found again and changed.
    quoly** slot = t.slot(t.part == 0);
    // A left-out value is changed as its element of the ring.
    enter_ring_in_place(slot);
    check_value(t, slot ? *slot : nullptr);
    quoly* made = nullptr;
    if (!slot) {
        // A scalar that does not exist yet.
        slot = &made;
    }
    if (t.part)
        change_part(t, slot, exps, c.release());
    else
        quoly_set_coef(slot, exps.data(), static_cast<int32_t>(exps.size()), c.release());
    if (*slot && (*slot)->isnum) (*slot)->den = nullptr;

    quoly* changed = *slot;
    if (slot == &made) {
        var* rec = nullptr;
        insert_var(&t.nm, made, &rec);
    }
    if (*pending)
        quoly_set(0, result);
    else
        quoly_assign(changed, result);
    if (t.element && t.ref.arr->sparse && quoly_iszero(changed)) sparse_delete(t.ref.i, t.ref.j, t.ref.arr, t.ref.two);
}
