// The printers of polynomials: the nested form (a coefficient that is a
// polynomial in the inner variables stands in parentheses before its power
// of the outer variable), the flat list of monomials, and the structural
// dump. Signs are decided one term ahead: the separator before a term is
// "+" when the term shows as positive, else the term's own coefficient
// carries the minus, written "- " in readable form (the sign blank).
#include <cmath>
#include <cstring>

#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"

namespace {

// Terminal output of one value is cut after this many broken lines.
constexpr int32_t LINE_LIMIT = 150;

bool lone_number(const polynode* p) { return p->numb && !p->next; }

// Residues above half the modulus show as negatives, except in
// characteristic 2, where -a = a and no element is shown negative.
bool symmetric_form() { return modularmode && alt_form_display && !finf; }

// The sign a number shows with.
bool shown_positive(imag* x) {
    // A residue seen in rational mode (a level opened while a change of
    // ring was converting) has no digits: it shows no sign.
    if (!lintmode) return x->count > 0 && x->head->digit > 0;
    if (symmetric_form() && x->value > half_modulus) return false;
    return x->value > 0;
}

// 1 for a number shown as 1, -1 for one shown as -1, else 0.
int shown_unit(imag* x) {
    if (symmetric_form()) {
        int32_t v = x->value > half_modulus ? x->value - modulus : x->value;
        return v == 1 ? 1 : v == -1 ? -1 : 0;
    }
    int m1;
    if (!equal_to_pm1(x, &m1)) return 0;
    return m1 ? -1 : 1;
}

bool over_line_limit(int terminal, const int32_t* lines) {
    return do_line_sup && terminal && *lines > LINE_LIMIT;
}

// The one suppression message of a value; later stops stay silent.
void suppress_rest() {
    if (!linesuppression) return;
    std::fputs("   ... more output suppressed ... \n", stdout);
    linesuppression = 0;
}

// A line break made whatever the column (the flat form breaks early, a
// few columns before the width): the end-of-line mark, a newline.
void break_now(FILE** out, int terminal, int32_t* col, int32_t* lines) {
    if (uglyprint)
        std::fputc(continuation, *out);
    else if (terminal)
        std::fputs(" `", *out);
    std::fputc('\n', *out);
    *col = 0;
    (*lines)++;
}

// Index of the highest set bit of |e|. Not logg2lint: that folds values
// into the symmetric residue range in modular mode, and an exponent is no
// residue.
int32_t exponent_bits(int32_t e) {
    uint32_t a = e < 0 ? 0u - static_cast<uint32_t>(e) : static_cast<uint32_t>(e);
    int32_t b = -1;
    for (; a; a >>= 1) b++;
    return b;
}

// The variable and its power. The width estimate of the exponent grows with
// its bit length, like the estimate of a machine word.
void write_power(FILE** out, const pt* var, int32_t e, int32_t* col) {
    std::fputs(var->name, *out);
    *col += static_cast<int32_t>(std::strlen(var->name));
    if (e == 1) return;
    if (e < 0 && uglyprint)
        std::fprintf(*out, "^(%li)", static_cast<long>(e));
    else
        std::fprintf(*out, "^%li", static_cast<long>(e));
    *col += 1 + static_cast<int32_t>(std::trunc(0.3 * exponent_bits(e)));
    if (e < 0) *col += uglyprint ? 3 : 1;
}

void malformed_zero_exponent(const polynode* t) {
    polynode* c = t->pcoef;
    if (t->exp == 0 && c->numb && !(laurent && c->next))
        tarvex_error(" Warning! extra 0-exponent node in this polynomial. Trash it.", 1);
}

// Whether a term needs what the leading "+" or the parentheses give it.
// A number node: it is positive. A term of non-zero exponent: its
// coefficient is more than a lone number (so it opens with a parenthesis).
// An exponent-0 term: with flag, the same question of its coefficient,
// level by level; without, false.
bool need_to(polynode* node, int flag) {
    for (;;) {
        if (node->numb) return shown_positive(node->ncoef);
        if (node->exp != 0) return !lone_number(node->pcoef);
        if (!flag) return false;
        node = node->pcoef;
    }
}

// The parenthesis around a coefficient that is more than a lone number,
// before the variable's power; open, it also ends a pending sign blank.
void print_if_need(polynode* t, bool open, FILE** out, int terminal, int32_t* col, int32_t* lines,
                   int* sign_blank) {
    if (!need_to(t, 0)) return;
    if (open) {
        checklength(out, terminal, col, lines);
        std::fputc('(', *out);
        (*col)++;
        *sign_blank = 0;
    } else {
        std::fputc(')', *out);
        (*col)++;
        checklength(out, terminal, col, lines);
    }
}

// Whether the term n shows a "+" before it; otherwise its first
// coefficient carries the minus.
bool plus_before(polynode* n) {
    if (n->numb) return shown_positive(n->ncoef);
    polynode* c = n->pcoef;
    if (n->exp != 0) return !lone_number(c) || shown_positive(c->ncoef);
    // A constant term of this level that is a polynomial in inner variables.
    if (shown_positive(leading_coef(n)->ncoef)) return true;
    if (c->numb) return shown_positive(c->ncoef);
    if (c->exp == 0) return need_to(c->pcoef, 1);
    return !lone_number(c->pcoef);
}

// ---------------------------------------------------------------- flat form

// One variable power of the monomial being written; the chain runs from the
// innermost level out. Exponent-0 levels add no record.
struct VarPower {
    const pt* var;
    int32_t exp;
    const VarPower* outer;
};

struct FlatFrame {
    FILE** out;
    int terminal;
    int32_t* col;
    int32_t* lines;
    int sign_blank;
    bool first;       // no monomial written yet: the first takes no "+"
};

// One monomial: the number x times the powers of chain. False when the line
// limit stops the display.
bool write_monomial(imag* x, const VarPower* chain, bool last, FlatFrame& f) {
    if (!f.first) {
        if (shown_positive(x)) {
            std::fputs(uglyprint ? "+" : "+ ", *f.out);
            *f.col += uglyprint ? 1 : 2;
            checklength(f.out, f.terminal, f.col, f.lines);
        } else {
            f.sign_blank = 1;
        }
    }
    f.first = false;

    int unit = chain ? shown_unit(x) : 0;
    if (unit < 0) {
        std::fputc('-', *f.out);
        (*f.col)++;
        if (!uglyprint) {
            std::fputc(' ', *f.out);
            (*f.col)++;
        }
    } else if (unit == 0) {
        display(f.out, f.terminal, 0, x, f.col, f.sign_blank);
        if (chain) std::fputc('*', *f.out);
    }

    for (const VarPower* v = chain; v; v = v->outer) {
        if (v != chain) std::fputc('*', *f.out);
        (*f.col)++;
        if (*f.col >= dispcutoff - 1) {
            break_now(f.out, f.terminal, f.col, f.lines);
            if (over_line_limit(f.terminal, f.lines)) return false;
        }
        write_power(f.out, v->var, v->exp, f.col);
    }

    f.sign_blank = 0;
    if (!uglyprint) {
        std::fputc(' ', *f.out);
        (*f.col)++;
    }
    // Break a little before the width, so that the next monomial starts whole.
    if (*f.col >= dispcutoff - 4 && !last) break_now(f.out, f.terminal, f.col, f.lines);
    return !over_line_limit(f.terminal, f.lines);
}

// The terms of p (at the level of var), depth first, each number reached a
// monomial. last: nothing follows p's last monomial in the whole display.
bool monomial_disp(polynode* p, const pt* var, const VarPower* chain, bool last, FlatFrame& f) {
    for (polynode* t = p; t; t = t->next) {
        bool last_here = last && !t->next;
        if (t->numb) {
            if (!write_monomial(t->ncoef, chain, last_here, f)) return false;
            continue;
        }
        malformed_zero_exponent(t);
        if (*f.col >= dispcutoff - 10) {
            break_now(f.out, f.terminal, f.col, f.lines);
            if (over_line_limit(f.terminal, f.lines)) return false;
        }
        VarPower here{var, t->exp, chain};
        if (!monomial_disp(t->pcoef, var->next, t->exp ? &here : chain, last_here, f)) return false;
        if (over_line_limit(f.terminal, f.lines)) return false;
    }
    return true;
}

// ---------------------------------------------------------------- structural dump

// Unformatted output for the duration of a dump, restored on every exit.
struct UglyOn {
    int saved = uglyprint;
    UglyOn() { uglyprint = 1; }
    ~UglyOn() { uglyprint = saved; }
    UglyOn(const UglyOn&) = delete;
    UglyOn& operator=(const UglyOn&) = delete;
};

void crude_level(FILE** out, int terminal, polynode* p, int32_t depth, const pt* var, int32_t* col) {
    for (int32_t i = 1; i < depth; i++) std::fputs("  ", *out);
    if (var)
        std::fprintf(*out, "%s: ", var->name);
    else
        std::fputs(" : ", *out);
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            std::fputc('*', *out);
            display(out, terminal, 0, t->ncoef, col, 0);
            std::fputc(' ', *out);
        } else {
            std::fprintf(*out, "%li ", static_cast<long>(t->exp));
        }
    }
    std::fputc('\n', *out);
    if (lone_number(p)) return;
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            for (int32_t i = 0; i <= depth; i++) std::fputs("  ", *out);
            std::fputs(" **\n", *out);
        } else {
            crude_level(out, terminal, t->pcoef, depth + 2, var ? var->next : nullptr, col);
        }
    }
}

}  // namespace

void crude_poly_disp(FILE** out, int terminal, polynode* p, int32_t depth, pt* var) {
    UglyOn unformatted;
    // Far below any width: the dump is never broken.
    int32_t col = -900000000;
    crude_level(out, terminal, p, depth, var, &col);
}

void poly_display(FILE** out, int terminal, int signed_field, polynode* p, int32_t* col,
                  const char* tail, pt* var, int sign_blank, int top, int32_t* lines) {
    if (!var && !p->numb) {
        tarvex_error(" q = NULL at start of poly_display.", 0);
        std::fputs(" cannot display this poly at this time.\n", *out);
        return;
    }
    if (lone_number(p) && top) {
        display(out, terminal, signed_field, p->ncoef, col, 0);
        return;
    }
    if (monomial_list && var && var->next) {
        FlatFrame f{out, terminal, col, lines, sign_blank, true};
        if (!monomial_disp(p, var, nullptr, true, f)) suppress_rest();
        return;
    }

    for (polynode* t = p;;) {
        bool coefficient_printed = false;
        if (t->numb) {
            display(out, terminal, 0, t->ncoef, col, sign_blank);
            coefficient_printed = true;
        } else {
            polynode* c = t->pcoef;
            malformed_zero_exponent(t);
            print_if_need(t, true, out, terminal, col, lines, &sign_blank);
            if (!lone_number(c)) {
                poly_display(out, terminal, 0, c, col, tail, var->next, sign_blank, 0, lines);
            } else {
                int unit = shown_unit(c->ncoef);
                if (unit == 0) {
                    display(out, terminal, 0, c->ncoef, col, sign_blank);
                    coefficient_printed = true;
                } else if (unit < 0) {
                    std::fputc('-', *out);
                    if (sign_blank && !uglyprint) {
                        std::fputc(' ', *out);
                        (*col)++;
                    }
                    checklength(out, terminal, col, lines);
                }
            }
            print_if_need(t, false, out, terminal, col, lines, &sign_blank);
            if (over_line_limit(terminal, lines)) break;
        }

        sign_blank = 0;
        if (t->exp != 0) {
            if (uglyprint && coefficient_printed) std::fputc('*', *out);
            write_power(out, var, t->exp, col);
        }
        if (t->numb && t->next && !laurent) {
            tarvex_error(" Warning! numb next not nil in this polynomial.", 1);
            std::putchar('\n');
            return;
        }

        polynode* n = t->next;
        if (!n) return;
        if (*col >= dispcutoff) {
            if (!uglyprint && terminal) std::fputs(" `", *out);
            std::fputc('\n', *out);
            (*lines)++;
            *col = 0;
        } else if (!uglyprint) {
            std::fputc(' ', *out);
            (*col)++;
        }
        (*col)++;
        if (plus_before(n)) {
            std::fputs(uglyprint ? "+" : "+ ", *out);
            *col += uglyprint ? 1 : 2;
            checklength(out, terminal, col, lines);
        } else {
            sign_blank = 1;
        }
        if (over_line_limit(terminal, lines)) break;
        t = n;
    }
    suppress_rest();
}
