// The mod-out command: reading and checking the relation, removal, and the
// declaration with its report and the conversion of every stored value.
#include "quoly/modout_declare.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "builtins/degrees.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "quoly/modout_quoly.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

// Beyond this many terms a general relation is reported by its size.
constexpr long SHOWN_RELATION_TERMS = 199;
// A relation t^n = 0 makes products at that level short: a small cut-off.
constexpr int32_t NILPOTENT_CUTOFF = 60;

// The relation of a command is read as the user wrote it: with every
// relation out of the way, so that a variable's earlier relation does not
// reduce the new one (the inner relations are applied afterwards).
struct RelationsOff {
    struct Saved {
        pt* v;
        polynode *relation, *binomial, *reductions;
    };
    std::vector<Saved> saved;
    pt* pseudo = pseudo_polynames;
    int above = modout_above_field;
    RelationsOff() {
        for (pt* v = polynames; v; v = v->next) {
            saved.push_back({v, v->relation, v->binomial, v->reductions});
            v->relation = v->binomial = v->reductions = nullptr;
        }
        pseudo_polynames = nullptr;
        modout_above_field = 0;
    }
    ~RelationsOff() {
        for (Saved& s : saved) {
            s.v->relation = s.relation;
            s.v->binomial = s.binomial;
            s.v->reductions = s.reductions;
        }
        pseudo_polynames = pseudo;
        modout_above_field = above;
    }
    RelationsOff(const RelationsOff&) = delete;
    RelationsOff& operator=(const RelationsOff&) = delete;
};

// The prompting form reads its answer from the terminal.
struct TerminalAnswer {
    int saved = tt_flag;
    TerminalAnswer() { tt_flag = 1; }
    ~TerminalAnswer() { tt_flag = saved; }
    TerminalAnswer(const TerminalAnswer&) = delete;
    TerminalAnswer& operator=(const TerminalAnswer&) = delete;
};

// A relation taken out of its record: put back unless the command
// completes, freed when it does.
struct DetachedRelation {
    pt* v;
    polynode *relation, *binomial, *reductions, *root_table;
    int32_t field, degree, cutoff;
    bool committed = false;
    explicit DetachedRelation(pt* rec)
        : v(rec), relation(rec->relation), binomial(rec->binomial), reductions(rec->reductions),
          root_table(rec->root_table), field(rec->field), degree(rec->modout_degree), cutoff(rec->cutoff) {
        rec->relation = rec->binomial = rec->reductions = rec->root_table = nullptr;
        rec->field = 0;
    }
    ~DetachedRelation() {
        if (committed) {
            free_poly(&relation);
            free_poly(&binomial);
            free_poly(&reductions);
            free_poly(&root_table);
            return;
        }
        free_poly(&v->relation);
        free_poly(&v->binomial);
        free_poly(&v->reductions);
        free_poly(&v->root_table);
        v->relation = relation;
        v->binomial = binomial;
        v->reductions = reductions;
        v->root_table = root_table;
        v->field = field;
        v->modout_degree = degree;
        v->cutoff = cutoff;
        reset_pseudo_poly();
    }
    DetachedRelation(const DetachedRelation&) = delete;
    DetachedRelation& operator=(const DetachedRelation&) = delete;
};

// The reduced copies of the stored values, freed unless committed.
struct Converted {
    struct Item {
        quoly** slot;
        quoly* value;
    };
    std::vector<Item> items;
    ~Converted() {
        for (Item& i : items)
            if (i.value) free_quoly(&i.value);
    }
};

pt* record_at(int32_t level) {
    pt* v = polynames;
    for (int32_t i = 1; v && i < level; i++) v = v->next;
    return v;
}

bool has_polynomial(const quoly* q) { return q && !q->isnum && !q->rat; }

void require(bool ok, int code) {
    if (ok) return;
    error(code, token.name);
    abandon_statement(code);
}

void remove_relation(pt* v, bool talk) {
    if (v->relation) {
        free_poly(&v->relation);
        free_poly(&v->binomial);
        free_poly(&v->root_table);
        free_poly(&v->reductions);
        v->field = 0;
        free_gcd_data(v);
        if (talk) std::printf(" No longer modding out polynomial variable %s.\n", v->name);
    } else {
        std::printf(" *** Warning. Wasn't modding out on %s.\n", v->name);
    }
    reset_pseudo_poly();
    if (field_depth == 0) std::printf(" There are no fields.\n");
    quoly_set(0, &prevnum);
}

// " Now modding out ..." and the relation: for t^n + c the name, n and c
// (c = 0 not shown), otherwise the relation itself.
void report_relation(pt* v, polynode* rel, int32_t n, imag* c, bool field) {
    std::printf(" Now modding out polynomial variable %s, using \n     ", v->name);
    int32_t col = 5;
    if (c) {
        std::printf("%s^%li", v->name, static_cast<long>(n));
        bool plus;
        if (lintmode)
            plus = c->value != 0 && (!alt_form_display || c->value <= modulus / 2);
        else
            plus = c->head->digit > 0;
        if (plus) std::printf(" + ");
        if (lintmode ? c->value != 0 : !iszero(c)) display(&Output, 0, 0, c, &col, 0);
    } else if (poly_length(rel) <= SHOWN_RELATION_TERMS) {
        int32_t lines = 0;
        poly_display(&Output, 1, 0, rel, &col, "", v, 0, 1, &lines);
    } else {
        std::printf(" a poly of %li terms.\n", static_cast<long>(poly_length(rel)));
    }
    std::printf("\n");
    if (field)
        std::printf("     This creates a field.\n");
    else
        std::printf(" *** Not a field. Be careful dividing! Some things will not work right.\n");
}

// Every stored value reduced by the new relation, into copies.
void convert_stored(Converted* out, polynode** relation, polynode** full, polynode** powers, int32_t level,
                    int32_t n, pt* v) {
    auto one = [&](quoly** slot) {
        if (!has_polynomial(*slot)) return;
        out->items.push_back({slot, nullptr});
        quoly_assign(*slot, &out->items.back().value);
        mod_out_quoly(&out->items.back().value, relation, full, powers, level, n, v);
    };
    for (int32_t b = 0; b < SCA_BUCKETS; b++)
        for (var* s = sca_store[b]; s; s = s->next) one(&s->value);
    each_array_value(one);
}

}  // namespace

void set_mod_out(FILE** source, name** pending, int inline_form, int from_adjoin) {
    const bool talk = verbose || *pending == nullptr;
    FILE** src = source;
    name** pend = pending;
    std::optional<TerminalAnswer> terminal;
    if (!inline_form) {
        std::printf("Changing polynomial mod out.\n Enter polynomial:\n");
        std::fflush(stdout);
        do_prompts();
        terminal.emplace();
        src = &Input;
        pend = &zilch;
    }
    scanner(src, &token, pend);
    bool removal = false;
    if (token_is(&token, "-")) {
        removal = true;
        scanner(src, &token, pend);
    }

    // The relation, monic in one variable.
    SlotHold value;
    {
        RelationsOff off;
        old_expre(src, &value.q, pend);
    }
    int32_t level = 0, n = 0;
    polynode *node = nullptr, *parent = nullptr;
    if (!check_for_monic_poly(195, value.q, &level, &n, &node, &parent)) abandon_statement(195);
    require(removal || n >= 2, 171);

    bool field = false;
    if (token_is(&token, ",")) {
        scanner(src, &token, pend);
        SlotHold flag;
        {
            ModularOffGuard off;
            old_expre(src, &flag.q, pend);
        }
        require(!removal, 269);
        field = quoly_eq_1(flag.q);
    }
    pt* v = record_at(level);

    if (removal) {
        require(n == 1 && !node->next, 200);
        if (inline_form)
            require(token_is(&token, ")"), 1);
        else
            require(token_is(&token, ";"), 129);
        remove_relation(v, talk);
        return;
    }
    if (field) {
        // Field levels form one run ending at the innermost variable.
        pt* below = inner(v);
        require(!below || below->field, 266);
        require(!(field_depth >= 1 && level > field_depth), 98);
    }
    require(!token_is(&token, ":"), 270);
    if (from_adjoin) require(level == 1, 357);
    if (v->relation) {
        if (!inline_form) require(false, 199);
        std::printf(" *** Warning. Was already modding out on %s.\n", v->name);
        std::printf("     Will discard former modding polynomial.\n");
    }
    require(field || !laurent, 271);

    // The relation at its own level, its inner coefficients reduced by the
    // inner relations.
    DetachedRelation former(v);
    PolyHold rel;
    poly_assign(node, &rel.p);
    total_poly_modout(&rel.p, v);
    const bool binomial = !rel.p->next || (single_number(rel.p->next) && rel.p->next->exp == 0);
    imag* c = binomial && rel.p->next ? rel.p->next->ncoef : nullptr;
    PolyHold relation, full, powers;
    if (binomial) {
        imag* minus_c = new_number();
        if (c) {
            makeneg(c, minus_c);
        } else {
            setvalue(0, minus_c);
        }
        relation.p = new_number_node(minus_c);
        poly_assign(rel.p, &full.p);
    } else {
        poly_assign(rel.p, &relation.p);
    }
    {
        // The table is built with the relation in place, the other data
        // empty: the folds need nothing else.
        v->modout_degree = n;
        make_muldata(&powers.p, &relation.p, n, v);
    }
    if (talk) {
        NumberHold zero;
        imag* shown = c;
        if (binomial && !c) {
            zero.n = new_number();
            setvalue(0, zero.n);
            shown = zero.n;
        }
        report_relation(v, rel.p, n, binomial ? shown : nullptr, field);
    }

    // Secondary auxiliary primes belong to fields only.
    free_gcd_data(v);

    if (talk) {
        std::printf(" Converting variables...\n");
        std::fflush(stdout);
    }
    quoly_set(0, &prevnum);
    Converted converted;
    if (!from_adjoin) convert_stored(&converted, &relation.p, &full.p, &powers.p, level, n, v);

    // Every value exists: commit.
    for (Converted::Item& i : converted.items) {
        free_quoly(i.slot);
        *i.slot = i.value;
        i.value = nullptr;
    }
    drop_zero_sparse_entries();
    v->relation = relation.release();
    v->binomial = full.release();
    v->reductions = powers.release();
    v->modout_degree = n;
    v->field = field ? 1 : 0;
    if (binomial && poly_iszero(v->relation)) v->cutoff = NILPOTENT_CUTOFF;
    former.committed = true;
    pseudo_polynames = polynames;
    reset_pseudo_poly();
    if (modularmode) changed_in_modmode = 1;
}
