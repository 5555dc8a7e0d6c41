// Polynomials and quolys read as sums of terms. The builder keeps, for
// every level from the first term's down to the deepest one opened, the
// last node of that level's chain: a term continues the canonical order
// when it belongs to the deepest open level with a smaller exponent, or to
// a deeper level (reached through exponent-0 nodes of the levels between),
// so it is linked in at once. The parts that cannot be linked (a remainder
// after an out-of-order Laurent term, a parenthesised polynomial standing
// alone as a term) are kept aside and added at the end.
#include "interp/exact_read.h"
#include "interp/term_reader.h"

#include <optional>
#include <utility>
#include <vector>

#include "interp/numconst.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyadd.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

int minus_warning = 0;

namespace {

// An error that error() returned from (a nested level was left): the
// literal is abandoned and the outermost reader hands back zero.
struct ReadStop {};

int32_t reader_depth = 0;

struct DepthCount {
    DepthCount() { reader_depth++; }
    ~DepthCount() { reader_depth--; }
    DepthCount(const DepthCount&) = delete;
    DepthCount& operator=(const DepthCount&) = delete;
};

// Reports the error; what was built is freed by its holders as the reader
// unwinds, whether error() unwinds or returns.
[[noreturn]] void fail(int code, const char* text) {
    error(code, text);
    throw ReadStop{};
}

bool lone_number(const polynode* p) { return p->numb && !p->next; }

bool is_digit(const tokenrec& t) { return t.name[0] >= '0' && t.name[0] <= '9'; }
bool is_lower(const tokenrec& t) { return t.name[0] >= 'a' && t.name[0] <= 'z'; }

polynode* zero_poly() {
    polynode* z = nullptr;
    poly_set(0, &z);
    return z;
}

quoly* new_poly_quoly(polynode* num, polynode* den) {
    quoly* q = nullptr;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->pnum = num;
    q->den = den;
    return q;
}

// The parts of a polynomial that are added at the end, each a chain at its
// own level (CONSTANT_LEVEL for a lone number).
struct Pieces {
    std::vector<std::pair<polynode*, int32_t>> parts;
    ~Pieces() {
        for (auto& p : parts) free_poly(&p.first);
    }
    void add(polynode* p, int32_t level) { parts.emplace_back(p, level); }
};

// Links terms in canonical order into one chain.
struct Builder {
    PolyHold head;
    int32_t base = 0;                            // level of head's chain
    int32_t depth = 0;                           // deepest open level
    polynode* tail[MAX_POLY_VARS + 2] = {};      // last node of each open level

    bool empty() const { return head.p == nullptr; }

    // coef: a lone number node, or a chain at level L + 1 (consumed).
    void place(int32_t L, int32_t e, polynode* coef) {
        if (L == CONSTANT_LEVEL) {
            if (empty()) {
                head.p = coef;
                base = depth = CONSTANT_LEVEL;
            } else {
                tail[depth]->next = coef;
                tail[depth] = coef;
            }
            return;
        }
        polynode* node = new_term_node(e, coef);
        if (empty()) {
            head.p = node;
            base = depth = L;
            tail[L] = node;
            return;
        }
        if (L == depth) {
            tail[L]->next = node;
            tail[L] = node;
            return;
        }
        // A deeper level: exponent-0 nodes carry it below the open levels.
        polynode* z = new_term_node(0, nullptr);
        tail[depth]->next = z;
        tail[depth] = z;
        for (int32_t k = depth + 1; k < L; k++) {
            polynode* inner_z = new_term_node(0, nullptr);
            z->pcoef = inner_z;
            tail[k] = inner_z;
            z = inner_z;
        }
        z->pcoef = node;
        tail[L] = node;
        depth = L;
    }

    void move_to(Pieces& pieces) {
        pieces.add(head.release(), base);
        base = depth = 0;
    }
};

// The sum of the parts, padded to the outermost level among them.
polynode* sum_of(Pieces& pieces, int32_t* level) {
    int32_t outer = CONSTANT_LEVEL;
    for (auto& p : pieces.parts)
        if (!lone_number(p.first) && p.second < outer) outer = p.second;
    polynode* sum = nullptr;
    for (auto& p : pieces.parts) {
        polynode* part = p.first;
        p.first = nullptr;
        if (!lone_number(part)) add_pad(&part, p.second - outer);
        if (!sum)
            sum = part;
        else
            best_poly_add(sum, part, &sum);
    }
    *level = outer;
    if (sum && lone_number(sum)) *level = CONSTANT_LEVEL;
    return sum ? sum : zero_poly();
}

// The terms, the first one's coefficient possibly given.
polynode* read_terms(term_frame* f, polynode* given, int32_t given_level, int32_t* level) {
    Pieces pieces;
    Builder cur;
    PolyHold carried(given);
    int32_t L0 = 0, e0 = 0;
    bool first = true;
    for (;;) {
        polynode* coef;
        int is_one = 0;
        int32_t clev;
        if (carried.p) {
            if (node_iszero(carried.p)) fail(163, token.name);
            clev = lone_number(carried.p) ? CONSTANT_LEVEL : given_level;
            coef = carried.release();
        } else {
            coef = get_the_coef(&is_one, f);
            if (!coef) return zero_poly();   // "0" as the first term
            clev = lone_number(coef) ? CONSTANT_LEVEL : f->coef_level;
        }
        PolyHold c(coef);

        int32_t L = CONSTANT_LEVEL, e = 0;
        bool aside = false;
        if (is_lower(token)) {
            pt* rec = nullptr;
            int32_t pos = 0;
            if (!is_poly_name2(token.name, &pos, &rec)) fail(160, token.name);
            L = rec->level;
            tokenrec var_token = token;
            scanner(f->source, &token, f->pending);
            if (token_is(&token, "^")) {
                scanner(f->source, &token, f->pending);
                e = getit(f);
            } else {
                e = 1;
            }
            if (!lone_number(c.p) && clev <= L) fail(159, var_token.name);
            if (!lone_number(c.p)) add_pad(&c.p, clev - (L + 1));
        } else if (is_one) {
            fail(161, token.name);
        } else if (!lone_number(c.p)) {
            aside = true;   // a parenthesised polynomial standing as a term
        }

        if (!first) {
            if (L > L0) {
                if (e0 < 0) fail(159, token.name);
            } else if (L == L0) {
                if (e >= e0) fail(159, token.name);
            } else if (e < 0) {
                // An outer variable again, with a negative exponent: the
                // rest is a polynomial of its own, added at the end.
                cur.move_to(pieces);
            } else {
                fail(159, token.name);
            }
        }
        if (aside)
            pieces.add(c.release(), clev);
        else
            cur.place(L, e, c.release());
        L0 = L;
        e0 = e;
        first = false;
        f->terms++;

        if (token_is(&token, "+")) {
            scanner(f->source, &token, f->pending);
        } else if (!token_is(&token, "-")) {
            break;
        }
    }
    if (pieces.parts.empty()) {
        *level = cur.base;
        return cur.head.release();
    }
    if (!cur.empty()) cur.move_to(pieces);
    return sum_of(pieces, level);
}

void negative_value_warning(const term_frame& f) {
    if (!f.negative || mod_is_changed < 1 || !minus_warning) return;
    std::printf("*** Warning. Negative value seen during poly readin in modular mode.\n");
    std::printf("    Check your data carefully.\n\n");
    std::fflush(stdout);
    minus_warning = 0;
}

// A parenthesised polynomial: "(" read, token at its first term.
polynode* bracketed(term_frame* f, int32_t* level) {
    polynode* p = nullptr;
    poly_readin(f->source, &p, f->pending, level);
    PolyHold h(p);
    if (!token_is(&token, ")")) fail(1, token.name);
    scanner(f->source, &token, f->pending);
    return h.release();
}

}  // namespace

int32_t getit(term_frame* f) {
    ModularOffGuard off;
    bool negative = false;
    if (token_is(&token, "-")) {
        if (!laurent) fail(165, token.name);
        negative = true;
        scanner(f->source, &token, f->pending);
    }
    if (!is_digit(token)) fail(162, token.name);
    // The digits as typed, never a wrapped machine word.
    int32_t e = 0;
    bool fits;
    {
        LintOff digits_on;
        imag* n = new_number();
        int32_t digits = 0;
        new_readin(f->source, n, f->pending, &digits);
        fits = digits_to_word(n, &e);
        free_imag(&n);
    }
    if (!fits) fail(32, token.name);
    if (e == 0) fail(204, token.name);
    return negative ? -e : e;
}

polynode* get_the_coef(int* is_one, term_frame* f) {
    *is_one = 0;
    if (token_is(&token, "(")) {
        scanner(f->source, &token, f->pending);
        int32_t level = 0;
        polynode* p = bracketed(f, &level);
        if (node_iszero(p)) {
            free_poly(&p);
            fail(163, token.name);
        }
        f->coef_level = level;
        return p;
    }
    if (token_is(&token, "-")) {
        f->negative = 1;
        scanner(f->source, &token, f->pending);
        polynode* p = get_the_coef(is_one, f);
        if (p) poly_inplace(p);
        return p;
    }
    if (!is_digit(token)) {
        *is_one = 1;
        imag* one = new_number();
        setvalue(1, one);
        f->coef_level = CONSTANT_LEVEL;
        return new_number_node(one);
    }
    imag* n = new_number();
    int32_t digits = 0;
    PolyHold p(new_number_node(n));
    new_readin(f->source, n, f->pending, &digits);
    if (iszero(n)) {
        if (f->terms == 0) return nullptr;
        fail(163, token.name);
    }
    f->coef_level = CONSTANT_LEVEL;
    return p.release();
}

void poly_readin(FILE** source, polynode** slot, name** pending, int32_t* level) {
    DepthCount depth;
    std::optional<ModularOffGuard> off;
    if (nomodpolyreadin) off.emplace();
    term_frame f{source, pending, 0, 0, 0};
    polynode* given = *slot;
    *slot = nullptr;
    polynode* result = nullptr;
    try {
        result = read_terms(&f, given, *level, level);
    } catch (const ReadStop&) {
        if (reader_depth > 1) throw;
        result = zero_poly();
        *level = CONSTANT_LEVEL;
    }
    negative_value_warning(f);
    *slot = result;
}

void quoly_readin(FILE** source, quoly** value, name** pending, int32_t* level) {
    free_quoly(value);
    DepthCount depth;
    term_frame f{source, pending, 0, 0, 0};
    PolyHold num, den;
    int32_t num_level = CONSTANT_LEVEL;
    try {
        // A polynomial: "(" polynomial ")", possibly the coefficient of
        // terms that follow, or the terms directly.
        auto one_side = [&](polynode** side, int32_t* side_level) {
            if (token_is(&token, "(")) {
                scanner(source, &token, pending);
                *side = bracketed(&f, side_level);
                if (is_lower(token)) poly_readin(source, side, pending, side_level);
            } else {
                poly_readin(source, side, pending, side_level);
            }
        };
        one_side(&num.p, &num_level);
        if (token_is(&token, "/")) {
            if (node_iszero(num.p)) fail(164, "/");
            scanner(source, &token, pending);
            int32_t den_level = CONSTANT_LEVEL;
            one_side(&den.p, &den_level);
            if (!lone_number(den.p)) add_pad(&den.p, den_level - 1);
        }
    } catch (const ReadStop&) {
        num.reset(zero_poly());
        den.reset();
        num_level = CONSTANT_LEVEL;
    }
    *level = num_level;
    if (!lone_number(num.p)) add_pad(&num.p, num_level - 1);
    if (pseudo_polynames) {
        total_poly_modout(&num.p, polynames);
        if (den.p) total_poly_modout(&den.p, polynames);
    }

    if (!den.p) {
        // A lone number is a plain number.
        if (lone_number(num.p)) {
            polynode* n = num.release();
            poly_consume(&n, value);
        } else {
            *value = new_poly_quoly(num.release(), nullptr);
        }
        return;
    }
    if (node_iszero(den.p)) {
        quoly_set(1, value);
        error(22, "/");
        return;
    }
    *value = new_poly_quoly(num.release(), den.release());
    check_quoly(value, laurent);
}
