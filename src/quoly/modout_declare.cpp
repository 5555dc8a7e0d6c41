// The mod-out command: reading and checking the relation, removal, and the
// declaration with its report and the conversion of every stored value.
#include "quoly/modout_declare.h"

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "builtins/degrees.h"
#include "interp/exact_read.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "quoly/aux_primes.h"
#include "quoly/modout_quoly.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/set_aside.h"

namespace {

// Beyond this many terms a general relation is reported by its size.
constexpr long SHOWN_RELATION_TERMS = 199;
// A relation t^n = 0 makes products at that level short: a small cut-off.
constexpr int32_t NILPOTENT_CUTOFF = 60;

struct RelationsOff;
// The innermost read with the relations out of the way, if any.
RelationsOff* relations_off = nullptr;

// The relation of a command is read as the user wrote it: with every
// relation out of the way, so that a variable's earlier relation does not
// reduce the new one (the inner relations are applied afterwards).
struct RelationsOff : SetAside {
    RelationsOff* outer = relations_off;
    struct Saved {
        pt* v;
        polynode *relation, *binomial, *reductions;
        int32_t field;
    };
    std::vector<Saved> saved;
    pt* pseudo = pseudo_polynames;
    int above = modout_above_field;
    int16_t depth = field_depth;
    // The list-wide auxiliary state: an error met in the read recomputes
    // the bookkeeping while no field is in place, which clears it.
    int16_t first_count = aux_prime1_number;
    int hit_0 = aux1_hit_0, no_second = no_aux_primes2;
    // The field levels go with their relations: a denominator in one of
    // them is then an ordinary denominator, not an element to invert by a
    // relation that is not there.
    RelationsOff() {
        relations_off = this;
        for (pt* v = polynames; v; v = v->next) saved.push_back({v, nullptr, nullptr, nullptr, 0});
        take_off();
    }
    ~RelationsOff() {
        put_back();
        relations_off = outer;
    }
    void take_off() {
        for (Saved& s : saved) {
            pt* v = s.v;
            s = {v, v->relation, v->binomial, v->reductions, v->field};
            v->relation = v->binomial = v->reductions = nullptr;
            v->field = 0;
        }
        pseudo_polynames = nullptr;
        modout_above_field = 0;
        field_depth = 0;
    }
    // A level opened by an error in the read works with the relations.
    void put_back() override {
        for (Saved& s : saved) {
            s.v->relation = s.relation;
            s.v->binomial = s.binomial;
            s.v->reductions = s.reductions;
            s.v->field = s.field;
        }
        pseudo_polynames = pseudo;
        modout_above_field = above;
        field_depth = depth;
        aux_prime1_number = first_count;
        aux1_hit_0 = hit_0;
        no_aux_primes2 = no_second;
    }
    void set_aside_again() override {
        pseudo = pseudo_polynames;
        above = modout_above_field;
        depth = field_depth;
        first_count = aux_prime1_number;
        hit_0 = aux1_hit_0;
        no_second = no_aux_primes2;
        take_off();
    }
};

// Whether v has a relation, also while a read has put it out of the way.
bool has_relation(const pt* v) {
    if (v->relation) return true;
    for (const RelationsOff* r = relations_off; r; r = r->outer)
        for (const RelationsOff::Saved& s : r->saved)
            if (s.v == v && s.relation) return true;
    return false;
}

// The prompting form reads its answer from the terminal.
struct TerminalAnswer {
    int saved = tt_flag;
    TerminalAnswer() { tt_flag = 1; }
    ~TerminalAnswer() { tt_flag = saved; }
    TerminalAnswer(const TerminalAnswer&) = delete;
    TerminalAnswer& operator=(const TerminalAnswer&) = delete;
};

// A relation taken out of its record: put back unless the command
// completes, freed when it does. A level opened meanwhile works with it in
// its record.
struct DetachedRelation : SetAside {
    pt* v;
    polynode *relation, *binomial, *reductions, *root_table;
    int32_t field, degree, cutoff;
    // The list-wide auxiliary state, which the bookkeeping clears while no
    // field is left.
    int16_t first_count = aux_prime1_number;
    int hit_0 = aux1_hit_0, no_second = no_aux_primes2;
    int32_t second_num = second_aux_num;
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
        aux_prime1_number = first_count;
        aux1_hit_0 = hit_0;
        no_aux_primes2 = no_second;
        second_aux_num = second_num;
    }
    // The record and the detached data trade places, both ways.
    void trade() {
        std::swap(v->relation, relation);
        std::swap(v->binomial, binomial);
        std::swap(v->reductions, reductions);
        std::swap(v->root_table, root_table);
        std::swap(v->field, field);
        std::swap(v->modout_degree, degree);
        std::swap(v->cutoff, cutoff);
    }
    void put_back() override { trade(); }
};

// The auxiliary lists of every level as they were before the command, put
// back unless it completes: the new ones are in place while the stored
// values are converted, the former kept aside (the reconciliation of a
// tower trims the inner levels' lists, so those levels work on copies).
// The list-wide flags beside them come back with the relation.
struct FormerAuxLists {
    struct Level {
        pt* v;
        imag* list;
        int16_t count;
    };
    std::vector<Level> levels;
    imag* first = auxptr;
    int16_t first_count = aux_prime1_number;
    bool committed = false;
    FormerAuxLists() {
        auxptr = copy_aux_list(first);
        for (pt* v = polynames; v; v = v->next) {
            levels.push_back({v, v->aux_primes, v->prime_count});
            v->aux_primes = copy_aux_list(v->aux_primes);
        }
    }
    ~FormerAuxLists() {
        if (committed) {
            free_aux_list(&first);
            for (Level& l : levels) free_aux_list(&l.list);
            return;
        }
        free_aux_list(&auxptr);
        auxptr = first;
        for (Level& l : levels) {
            free_aux_list(&l.v->aux_primes);
            l.v->aux_primes = l.list;
            l.v->prime_count = l.count;
        }
        aux_prime1_number = first_count;
    }
    FormerAuxLists(const FormerAuxLists&) = delete;
    FormerAuxLists& operator=(const FormerAuxLists&) = delete;
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

// Auxiliary lists written in the statement (the form save files write).
struct GivenLists {
    bool first_given = false, second_given = false;
    std::vector<int32_t> first;
    std::vector<std::pair<int32_t, int32_t>> second;
};

// Limits of the numbers of a written list: one-digit numbers below 65522.
constexpr long LIST_BOUND = 65522;
constexpr size_t FIRST_LIST_LIMIT = 4583;
// Fewer second primes than this: the gcd over the field avoids them.
constexpr int32_t FEW_SECOND_PRIMES = 5;
// The first list is shown ten primes to a line.
constexpr int PRIMES_SHOWN_PER_LINE = 10;

void messed_first() {
    std::printf(" *** You've messed up the first auxiliary prime list.\n");
    error(201, token.name);
    abandon_statement(201);
}

// quit_line: the range faults of the reader; a pair refused by the checks
// changes nothing, so the user need not quit.
void messed_second(const char* first_line, bool quit_line = true) {
    std::printf("%s", first_line);
    if (quit_line) std::printf(" *** Quit Tarvex immediately.\n");
    error(201, token.name);
    abandon_statement(201);
}

// One number of a list, read as an expression; -1 when it is not a
// one-digit non-negative number. A value that is no number at all is
// error 201.
long list_number(FILE** src, name** pend) {
    // A name that means nothing is no number either: the list's own error,
    // not the evaluator's "undefined variable" with its 0 going on.
    const char first = token.name[0];
    if (first >= 'a' && first <= 'z' && !its_a_polyname(token.name) && !find_var(&token) && !find_array(&token)) {
        error(201, token.name);
        abandon_statement(201);
    }
    SlotHold value;
    read_count_value(src, pend, &value.q);
    if (!value.q || !value.q->isnum || value.q->rat) {
        error(201, token.name);
        abandon_statement(201);
    }
    const imag* n = value.q->nnum;
    if (lintmode) return n->value >= 0 ? n->value : -1;
    if (n->count != 1 || !n->head || n->head->digit < 0) return -1;
    return n->head->digit;
}

// ": first list" and ": second list", the token after the first ":"
// current. Nothing is installed here: the checks against the relation come
// once it is known.
void read_lists(FILE** src, name** pend, GivenLists* g) {
    g->first_given = true;
    scanner(src, &token, pend);
    if (!token_is(&token, ":") && !token_is(&token, ")") && !token_is(&token, ";")) {
        for (;;) {
            const long p = list_number(src, pend);
            if (p < 2 || p >= LIST_BOUND || !is_prime(static_cast<int32_t>(p))) messed_first();
            if (g->first.size() >= FIRST_LIST_LIMIT) {
                error(268, token.name);
                abandon_statement(268);
            }
            g->first.push_back(static_cast<int32_t>(p));
            if (!token_is(&token, ",")) break;
            scanner(src, &token, pend);
        }
    }
    if (!token_is(&token, ":")) return;
    g->second_given = true;
    scanner(src, &token, pend);
    if (token_is(&token, ")") || token_is(&token, ";")) return;
    for (;;) {
        const long q = list_number(src, pend);
        if (q < 2 || q >= LIST_BOUND) messed_second(" *** You've messed up the second auxiliary prime list.\n");
        if (!token_is(&token, ","))
            messed_second(" *** Comma expected. You've messed up the second auxiliary prime list.\n");
        scanner(src, &token, pend);
        const long r = list_number(src, pend);
        if (r < 0 || r >= q) messed_second(" *** You've messed up the second auxiliary prime list.\n");
        g->second.emplace_back(static_cast<int32_t>(q), static_cast<int32_t>(r));
        if (!token_is(&token, ",")) break;
        scanner(src, &token, pend);
    }
}

// A written second list is trusted by the gcd: a pair that is no prime
// with a root of the relation would make its answers wrong, so it is
// refused. Returns the list, descending without repeats.
imag* checked_second_list(pt* v, polynode* relation, const GivenLists& g) {
    imag* list = nullptr;
    for (const auto& [q, r] : g.second) {
        if (!is_prime(q) || !aux_root_holds(v, relation, q, r)) {
            free_aux_list(&list);
            messed_second(" *** You've messed up the second auxiliary prime list.\n", false);
        }
        add_prime_to_list(&list, q, r);
    }
    return list;
}

imag* first_list_of(const GivenLists& g) {
    imag* list = nullptr;
    for (size_t k = g.first.size(); k-- > 0;)
        if (!aux_entry(list, g.first[k])) insert_new_prime(g.first[k], g.first[k], &list);
    return list;
}

void report_first_list(imag* list, int16_t count) {
    std::printf("     auxiliary primes (%d):\n", count);
    if (count == 0) {
        std::printf(" *** no auxiliary primes.  OK, but polygcd might run slowly.\n");
        return;
    }
    std::printf(" ");
    int i = 0;
    for (imag* p = list; p; p = p->link) {
        std::printf(" %li", static_cast<long>(p->value));
        if (++i % PRIMES_SHOWN_PER_LINE == 0) std::printf("\n ");
    }
    std::printf("\n");
}

void report_second_count(int32_t count) {
    std::printf(" Number of secondary auxiliary primes for gcd: %d\n", count);
    if (count < FEW_SECOND_PRIMES) {
        std::printf(" *** Warning:  This is a small number.  Try restarting Tarvex,\n");
        std::printf("         then use &A to increase the search factor.  Current\n");
        std::printf("         search factor is %d.\n", aux_num_2factor);
    }
}

// A list made for the command but not installed is freed on every exit.
struct ListHold {
    imag* list = nullptr;
    ~ListHold() { free_aux_list(&list); }
    ListHold() = default;
    ListHold(const ListHold&) = delete;
    ListHold& operator=(const ListHold&) = delete;
};

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
        // A residue above half the modulus shows as r - modulus under H;
        // field elements have no sign.
        if (lintmode)
            plus = c->value != 0 && (!alt_form_display || finf || c->value <= modulus / 2);
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
                    int32_t n, pt* v, bool field) {
    auto one = [&](quoly** slot) {
        if (!has_polynomial(*slot)) return;
        out->items.push_back({slot, nullptr});
        quoly_assign(*slot, &out->items.back().value);
        mod_out_quoly(&out->items.back().value, relation, full, powers, level, n, v, field);
    };
    for (int32_t b = 0; b < SCA_BUCKETS; b++)
        for (var* s = sca_store[b]; s; s = s->next) one(&s->value);
    each_array_value(one);
}

}  // namespace

void set_mod_out(FILE** source, name** pending, int inline_form, int from_adjoin) {
    refuse_while_values_await_rational(token.name);
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

    // The relation, monic in one variable. The relations put back after it
    // are the ones before it: nothing read there may change them.
    SlotHold value;
    {
        RelationsOff off;
        ReadingValue reading;
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
        read_count_value(src, pend, &flag.q);
        require(!removal, 269);
        field = quoly_eq_1(flag.q);
    }
    pt* v = record_at(level);
    // Taking away a relation the variable does not have changes nothing.
    const bool changes = !removal || has_relation(v);
    if (changes) refuse_ring_change_inside_read("P");

    if (removal) {
        require(n == 1 && !node->next, 200);
        if (inline_form)
            require(token_is(&token, ")"), 1);
        else
            require(token_is(&token, ";"), 129);
        remove_relation(v, talk);
        if (modularmode && changes) changed_in_modmode = 1;
        return;
    }
    if (field) {
        // Field levels form one run ending at the innermost variable.
        pt* below = inner(v);
        require(!below || below->field, 266);
        require(!(field_depth >= 1 && level > field_depth), 98);
    }
    GivenLists given;
    if (token_is(&token, ":")) {
        require(field, 270);
        read_lists(src, pend, &given);
    }
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
    // A negative power left after the inner relations' folds (of the
    // variable itself, or of an inner one that has no inverse) has no
    // place in the table of powers.
    require(!anynegs(rel.p), 168);
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

    // The auxiliary primes of a field, outside machine-integer mode (where
    // elements of GF(p^k) need none). Installed only when the command
    // completes.
    ListHold first, second;
    int16_t first_count = 0;
    bool first_shown = false, second_made = false;
    if (field && !lintmode) {
        if (given.first_given) {
            first.list = first_list_of(given);
            for (imag* p = first.list; p; p = p->link) first_count++;
            first_shown = true;
        } else if (aux1_hit_0) {
            std::printf("  First auxiliary list is already empty.\n");
        } else {
            first_count = find_first_aux_list(v, rel.p, &first.list, *pending == nullptr);
            first_shown = true;
        }
        if (given.second_given) second.list = checked_second_list(v, rel.p, given);
        second_made = true;
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
        if (first_shown) report_first_list(first.list, first_count);
    }

    int32_t second_count = 0;
    if (second_made && !given.second_given) {
        if (talk) {
            std::printf(" Computing secondary auxiliary primes for poly mod out...\n");
            std::fflush(stdout);
        }
        find_gcd_list(v, rel.p, &second.list);
    }
    for (imag* p = second.list; p; p = p->link) second_count++;
    if (second_made && talk) report_second_count(second_count);

    if (talk) {
        std::printf(" Converting variables...\n");
        std::fflush(stdout);
    }
    quoly_set(0, &prevnum);
    // The stored values are converted with the new auxiliary lists in
    // place, so that their gcds over the field take the road of values
    // built after the declaration: without them the gcds took the primes
    // where the relation splits, looked for afresh in every image (7 s
    // against 0.07 s for two fractions of degree 17 and 16 with a common
    // factor of degree 3, under a relation of degree 24).
    FormerAuxLists former_lists;
    // Secondary auxiliary primes belong to fields only.
    free_gcd_data(v);
    // An empty first list (a tower that stays a field modulo no prime, as
    // t^12 - st - 1 over s^2 - 3) is installed only at the commit: with
    // none the gcds search for primes where the whole tower splits (23 s
    // for four fractions of degree 13 with a common factor of degree 3,
    // 15 s built after the declaration), while images modulo the inner
    // levels' primes, every candidate proved by a division, took 0.2 s.
    const bool defer_first = first_shown && first_count == 0;
    if (second_made) {
        if (first_shown && !defer_first) install_first_aux_list(&first.list, first_count);
        make_and_reconcile_gcd_lists(v, &second.list);
        second_aux_num = v->prime_count;
        no_aux_primes2 = second_aux_num < FEW_SECOND_PRIMES ? 1 : 0;
    }
    Converted converted;
    if (!from_adjoin) convert_stored(&converted, &relation.p, &full.p, &powers.p, level, n, v, field);

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
    if (defer_first) install_first_aux_list(&first.list, first_count);
    if (binomial && poly_iszero(v->relation)) v->cutoff = NILPOTENT_CUTOFF;
    former.committed = true;
    former_lists.committed = true;
    pseudo_polynames = polynames;
    reset_pseudo_poly();
    if (modularmode) changed_in_modmode = 1;
}
