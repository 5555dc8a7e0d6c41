// Adjoining and cancelling polynomial variables (&J): reading the command,
// keeping `polynames`, the sorted name table `polyvar`, `number_polys` and
// the levels in step, and converting every stored value.
//
// Invariant after every change: `polynames` holds number_polys records,
// outermost first, their levels 1, 2, ...; `polyvar` holds the same names
// in ascending strcmp order.
#include "quoly/adjoin.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "interp/exact_read.h"
#include "interp/char_arrays.h"
#include "interp/evaluator.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "quoly/modout_declare.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"
#include "toplevel/loop.h"

int changed_in_modmode = 0;
int values_await_rational = 0;

namespace {
constexpr int VALUES_AWAIT_RATIONAL = 377;
constexpr int VARIABLE_IN_RELATION = 380;
}

void refuse_while_values_await_rational(const char* text) {
    if (!modularmode || !values_await_rational) return;
    error(VALUES_AWAIT_RATIONAL, text);
    abandon_statement(VALUES_AWAIT_RATIONAL);
}

namespace {

// Zero denominators after a cancellation are reported one by one up to
// this many; the rest only by count.
constexpr long ZERO_DEN_WARNINGS = 40;

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

// Characters of a variable's name that are kept.
constexpr size_t MAX_VAR_NAME = 10;

// A lower-case letter, then letters, digits or "_".
bool valid_var_name(const std::string& s) {
    if (s.empty() || !is_lower(s[0])) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

void renumber_levels() {
    int16_t level = 1;
    for (pt* v = polynames; v; v = v->next) v->level = level++;
}

void polyvar_insert(const char* var_name) {
    int32_t i = 0;
    while (i < number_polys && std::strncmp(polyvar[i], var_name, sizeof polyvar[i]) <= 0) i++;
    for (int32_t j = number_polys; j > i; j--) std::memcpy(polyvar[j], polyvar[j - 1], sizeof polyvar[j]);
    std::memset(polyvar[i], 0, sizeof polyvar[i]);
    std::memcpy(polyvar[i], var_name, strnlen(var_name, sizeof polyvar[i] - 1));
}

void polyvar_remove(const char* var_name) {
    int32_t i = 0;
    while (i < number_polys && std::strncmp(polyvar[i], var_name, sizeof polyvar[i]) != 0) i++;
    if (i == number_polys) return;
    for (int32_t j = i; j + 1 < number_polys; j++) std::memcpy(polyvar[j], polyvar[j + 1], sizeof polyvar[j]);
    std::memset(polyvar[number_polys - 1], 0, sizeof polyvar[0]);
}

bool is_zero_poly(const polynode* p) { return p->numb && !p->next && node_iszero(const_cast<polynode*>(p)); }

// The chain p of the variable being cancelled, at 1: the sum of its
// coefficients, a polynomial of the levels below.
polynode* sum_of_coefficients(const polynode* p, int* touched) {
    polynode* acc = nullptr;
    for (const polynode* t = p; t; t = t->next) {
        if (t->exp != 0) *touched = 1;
        polynode* c = nullptr;
        if (t->numb)
            node_assign(const_cast<polynode*>(t), &c);
        else
            poly_assign(t->pcoef, &c);
        if (!acc) {
            acc = c;
        } else {
            polynode* sum = nullptr;
            best_poly_add(acc, c, &sum);
            acc = sum;
        }
    }
    if (!acc) poly_set(0, &acc);
    return acc;
}

// A chain above the cancelled level: the same terms over converted
// coefficients. A coefficient that becomes 0 drops its term, and one that
// becomes a number under exponent 0 turns into the level's number node.
polynode* chain_at_one(const polynode* p, int32_t depth, int* touched) {
    if (depth <= 1) return sum_of_coefficients(p, touched);
    polynode* head = nullptr;
    polynode** link = &head;
    for (const polynode* t = p; t; t = t->next) {
        polynode* m = nullptr;
        if (t->numb) {
            node_assign(const_cast<polynode*>(t), &m);
        } else {
            polynode* c = chain_at_one(t->pcoef, depth - 1, touched);
            if (is_zero_poly(c)) {
                free_poly(&c);
                continue;
            }
            make_monomial(&m, t->exp, c);
        }
        *link = m;
        link = &m->next;
    }
    if (!head) poly_set(0, &head);
    return head;
}

// Whether the chain p has a term of non-zero exponent `depth` - 1 levels
// below its own.
bool chain_uses_level(const polynode* p, int32_t depth) {
    for (const polynode* t = p; t; t = t->next) {
        if (depth <= 1 ? t->exp != 0 : !t->numb && chain_uses_level(t->pcoef, depth - 1)) return true;
    }
    return false;
}

// The variable of another level whose relation has the variable of `level`
// among its coefficients, or null.
const pt* relation_using(int32_t level) {
    for (const pt* r = polynames; r; r = r->next)
        if (r->relation && r->level < level && chain_uses_level(r->relation, level - r->level + 1)) return r;
    return nullptr;
}

// A value computed for a stored slot, put in place only when every value
// has been computed.
struct Replacement {
    quoly** slot;
    quoly* value;       // null: the denominator became 0, the slot gets 1
};

// Frees the computed values unless they were committed.
struct Replacements {
    std::vector<Replacement> list;
    ~Replacements() {
        for (Replacement& r : list) free_quoly(&r.value);
    }
};

template <class F>
void for_each_scalar(F f) {
    for (int32_t b = 0; b < SCA_BUCKETS; b++)
        for (var* v = sca_store[b]; v; v = v->next) f(&v->value);
}

// A stored value that holds a polynomial anywhere (rationals and plain
// numbers are the same under every list of variables).
bool has_polynomial(const quoly* q) { return q && !q->isnum && !q->rat; }

// ---- the command's syntax ----

struct ChangeRequest {
    tokenrec var_name;
    bool cancel = false;
    bool innermost = false;
};

// "Var" k: the k-th variable (outermost first) named by its position. The
// token after k stays current.
void name_by_position(FILE** source, name** pending, ChangeRequest* req) {
    scanner(source, &token, pending);
    SlotHold k;
    read_count_value(source, pending, &k.q, true);
    int32_t pos = k.q->isnum ? quoly_convert_to_int(k.q) : 0;
    if (pos < 1 || pos > number_polys) {
        // The command is refused half read: its remaining tokens cannot be placed.
        error(124, token.name);
        abandon_statement();
    }
    pt* v = polynames;
    for (int32_t i = 1; i < pos; i++) v = v->next;
    set_token(&req->var_name, v->name);
}

// The optional "-" and the name; `token` is their first token. Returns 1
// when the token after the name is already current ("Var" k).
int read_change(FILE** source, name** pending, ChangeRequest* req) {
    if (token_is(&token, "-")) {
        req->cancel = true;
        scanner(source, &token, pending);
    }
    if (token_is(&token, "[")) {
        // A name given as a character array: the token after "]" is current.
        std::string text;
        get_from_array(source, pending, &text);
        if (!valid_var_name(text)) {
            error(124, text.empty() ? token.name : text.c_str());
            abandon_statement();
        }
        set_token(&req->var_name, text.substr(0, MAX_VAR_NAME).c_str());
        return 1;
    }
    if (is_lower(token.name[0])) {
        req->var_name = token;
        return 0;
    }
    if (req->cancel && token_is(&token, "Var")) {
        name_by_position(source, pending, req);
        return 1;
    }
    error(124, token.name);
    abandon_statement();
}

}  // namespace

// ---------------------------------------------------------------- single values

void quoly_new_top_level(quoly* q) {
    if (q->isnum) return;
    fluff_out(&q->pnum, 0);
    if (q->den) fluff_out(&q->den, 0);
}

polynode* poly_at_one_removed(const polynode* p, int32_t level, int* touched) {
    *touched = 0;
    return chain_at_one(p, level, touched);
}

int quoly_at_one_removed(const quoly* q, int32_t level, quoly** r) {
    *r = nullptr;
    if (q->isnum) {
        quoly_assign(const_cast<quoly*>(q), r);
        return 1;
    }
    int touched = 0;
    polynode* den = nullptr;
    if (q->den) {
        den = chain_at_one(q->den, level, &touched);
        if (is_zero_poly(den)) {
            free_poly(&den);
            return 0;
        }
    }
    polynode* num = chain_at_one(q->pnum, level, &touched);
    if (!den && num->numb && !num->next) {
        poly_consume(&num, r);
        return 1;
    }
    newquoly(r);
    quoly* v = *r;
    v->link = nullptr;
    v->isnum = 0;
    v->rat = 0;
    v->pnum = num;
    v->den = den;
    if (!den) return 1;
    // A value free of the variable was in normal form and still is.
    if (touched) check_quoly(r, 0);
    return 1;
}

// ---------------------------------------------------------------- the changes

void adjoin_poly_var(const char* var_name, int innermost) {
    // A refused change leaves the variables as they were.
    refuse_while_values_await_rational(var_name);
    if (its_a_polyname(var_name)) {
        error(126, var_name);
        return;
    }
    if (number_polys >= MAX_POLY_VARS) {
        error(228, var_name);
        return;
    }
    quoly_set(0, &prevnum);

    pt* v = nullptr;
    newpt(&v);
    std::memset(v->name, 0, sizeof v->name);
    std::memcpy(v->name, var_name, strnlen(var_name, 10));
    v->hash = UNHASHED;
    v->modout_degree = 0;
    const bool outermost = !innermost;
    const bool others = polynames != nullptr;
    if (outermost) {
        v->next = polynames;
        polynames = v;
    } else {
        v->next = nullptr;
        pt** tail = &polynames;
        while (*tail) tail = &(*tail)->next;
        *tail = v;
    }
    if (pseudo_polynames) pseudo_polynames = polynames;
    renumber_levels();
    polyvar_insert(v->name);
    number_polys++;
    if (field_depth > 0 && outermost) field_depth++;
    if (modularmode) changed_in_modmode = 1;
    load_char_tables();

    // A variable appended innermost lies below every stored polynomial.
    if (outermost && others) {
        for_each_scalar([](quoly** slot) {
            if (has_polynomial(*slot)) quoly_new_top_level(*slot);
        });
        adjoin_convert_arrays();
    }
}

void cancel_poly_var(const char* var_name) {
    int32_t level = 0;
    pt* rec = nullptr;
    if (!its_a_polyname(var_name) || !is_poly_name2(var_name, &level, &rec)) {
        error(169, var_name);
        return;
    }
    refuse_while_values_await_rational(var_name);
    // Set to 1, the variable would leave such a relation naming a level that
    // no longer exists; the relation goes first, with its own variable.
    if (relation_using(level)) {
        error(VARIABLE_IN_RELATION, var_name);
        return;
    }
    quoly_set(0, &prevnum);

    Replacements fresh;
    for_each_scalar([&](quoly** slot) {
        if (!has_polynomial(*slot)) return;
        quoly* v = nullptr;
        quoly_at_one_removed(*slot, level, &v);
        fresh.list.push_back({slot, v});
    });

    // Every value is computed: nothing below can fail half-way.
    long zero_dens = 0;
    for (Replacement& r : fresh.list) {
        free_quoly(r.slot);
        if (r.value) {
            *r.slot = r.value;
            r.value = nullptr;
            continue;
        }
        quoly_set(1, r.slot);
        if (++zero_dens <= ZERO_DEN_WARNINGS)
            std::printf("Warning. A quoly denominator has become 0.  That variable has been set to 1.\n");
    }
    cancel_convert_arrays(level, &zero_dens);
    if (zero_dens > ZERO_DEN_WARNINGS)
        std::printf("... There were %li more such cases.\n", zero_dens - ZERO_DEN_WARNINGS);

    delete_poly_name(level);
    polyvar_remove(var_name);
    number_polys--;
    renumber_levels();
    reset_pseudo_poly();
    if (modularmode) changed_in_modmode = 1;
}

// ---------------------------------------------------------------- the command

void attach_poly(FILE** source, name** pending, int prompting, int* out_flag) {
    *out_flag = 1;
    const bool in_body = *pending != nullptr;
    ChangeRequest req;
    // A change that will be refused is not announced.
    const bool refusing = modularmode && values_await_rational;
    if (prompting) {
        refuse_while_values_await_rational(token.name);
        std::printf(" Change of polynomial variable.\n Enter variable name:\n");
        std::fflush(stdout);
        do_prompts();
        // The answer comes from the terminal whatever the statement's source.
        struct LineMode {
            int saved = tt_flag;
            LineMode() { tt_flag = 1; }
            ~LineMode() { tt_flag = saved; }
        } line_mode;
        scanner(&Input, &token, &zilch);
        if (token_is(&token, ">")) {
            error(362, token.name);
            abandon_statement();
        }
        read_change(&Input, &zilch, &req);
    } else {
        if ((windy || !in_body) && !refusing) std::printf(" Change of polynomial variable");
        if (token_is(&token, ">")) {
            if (field_depth > 0) {
                error(360, token.name);
                abandon_statement();
            }
            req.innermost = true;
        }
        scanner(source, &token, pending);
        const int after_name = read_change(source, pending, &req);
        if ((windy || !in_body) && !refusing)
            std::printf(": %s%s.\n", req.cancel ? "cancel " : "", req.var_name.name);
        if (!after_name) scanner(source, &token, pending);
        refuse_while_values_await_rational(req.var_name.name);
        if (token_is(&token, ",")) {
            if (req.cancel) {
                error(356, token.name);
                abandon_statement();
            }
            if (req.innermost) {
                error(361, token.name);
                abandon_statement();
            }
            scanner(source, &token, pending);
            if (!token_is(&token, "P")) {
                error(355, token.name);
                abandon_statement();
            }
            scanner(source, &token, pending);
            if (!token_is(&token, "=")) {
                error(4, token.name);
                abandon_statement();
            }
            // The relation names the new variable: it is adjoined first.
            std::fflush(stdout);
            const bool existed = its_a_polyname(req.var_name.name);
            adjoin_poly_var(req.var_name.name, 0);
            if (existed || !its_a_polyname(req.var_name.name)) abandon_statement();
            set_mod_out(source, pending, 1, 1);
            if (!token_is(&token, ")")) {
                error(135, token.name);
                abandon_statement();
            }
            *out_flag = 0;
            std::fflush(stdout);
            return;
        }
        if (!token_is(&token, ")")) {
            error(135, token.name);
            abandon_statement();
        }
        *out_flag = 0;
    }
    std::fflush(stdout);

    if (req.cancel) {
        if (!its_a_polyname(req.var_name.name)) {
            error(169, req.var_name.name);
            return;
        }
        if (req.innermost) std::printf("Warning.  '>' ignored.\n");
        cancel_poly_var(req.var_name.name);
        if (prompting || windy || !in_body) std::printf("%s now cancelled.\n", req.var_name.name);
    } else {
        adjoin_poly_var(req.var_name.name, req.innermost);
    }
    std::fflush(stdout);
}
