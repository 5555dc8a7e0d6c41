// The number printers and the line-breaking rule under every display.
// Widths are estimates kept in the caller's column counter; only its
// comparisons with dispcutoff decide where a line breaks.
#include "toplevel/display.h"

#include <cmath>

#include "numbers/base10.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

FILE* Output = stdout;
FILE* outpuf = nullptr;

int uglyprint = 0;
int disp_size = 5;
imag* disp_cons = nullptr;
int do_line_sup = 1;
int monomial_list = 0;
int linesuppression = 0;
// Read here for the blank under the prompt; the prompt switch changes it.
int32_t promptsize = 1;

int32_t pow_10[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
imag* number_10 = nullptr;

namespace {

// Writes the end-of-line mark of a broken line: " `" readable at the
// terminal, "`" unformatted (the scanner skips the rest of such a line),
// nothing in readable output for a file.
void end_mark(FILE* f, int brk) {
    if (uglyprint) {
        std::fputc(continuation, f);
    } else if (brk) {
        std::fputc(' ', f);
        std::fputc(continuation, f);
    }
}

int32_t decimal_digits(int32_t g) {
    int32_t d = 1;
    for (int32_t lim = 9; d < 8 && g > lim; lim = lim * 10 + 9) d++;
    return d;
}

// The radix-10^8 form showint prints: converted here and given back on
// every exit, or the caller's own when it is already decimal.
struct DecimalForm {
    imag* x = nullptr;
    bool owned = false;

    DecimalForm(imag* n, int already_decimal) {
        if (already_decimal) {
            x = n;
            return;
        }
        x = new_number();
        owned = true;
        if (n->count > BASE10_VERYBIG_CUT)
            verybig_base_10(n->head, n->tail, n->count, x);
        else
            make_base_10(n, x);
    }
    ~DecimalForm() {
        if (!owned) return;
        special_free(x);
        free_imag(&x);
    }
    DecimalForm(const DecimalForm&) = delete;
    DecimalForm& operator=(const DecimalForm&) = delete;
};

// A number with the value v whatever the ground ring, for the constants.
imag* digit_constant(int32_t v) {
    LintOff digits;
    imag* x = new_number();
    setvalue(v, x);
    x->value = v;
    return x;
}

}  // namespace

void rebuild_disp_cons() {
    LintOff digits;
    if (!disp_cons) disp_cons = new_number();
    setvalue(1, disp_cons);
    disp_cons->value = 1;
    // Squaring with the digit kernels, which ignore the ground ring: a
    // display size in the thousands stays cheap.
    imag* power = digit_constant(100000000);
    for (int32_t e = disp_size; e > 0; e >>= 1) {
        if (e & 1) fast_mult(disp_cons, power, disp_cons);
        if (e > 1) fast_mult(power, power, power);
    }
    free_imag(&power);
}

void init_display_defaults() {
    Output = stdout;
    uglyprint = 0;
    disp_size = 5;
    do_line_sup = 1;
    monomial_list = 0;
    linesuppression = 0;
    int32_t p = 1;
    for (int i = 0; i < 9; i++, p *= 10) pow_10[i] = p;
    if (!number_10) number_10 = digit_constant(10);
    rebuild_disp_cons();
}

// ---------------------------------------------------------------- line breaking

void checklength(FILE** out, int brk, int32_t* col, int32_t* lines) {
    if (*col < dispcutoff) return;
    end_mark(*out, brk);
    std::fputc('\n', *out);
    std::fflush(*out);
    *col = 0;
    (*lines)++;
}

void checklength320(FILE** out, int brk, int32_t* col) {
    if (*col < dispcutoff) return;
    end_mark(*out, brk);
    std::fputc('\n', *out);
    *col = 0;
}

void adjlength(int32_t* col, int32_t n) { *col += *col >= dispcutoff - 8 ? 8 : n; }

void blank_space(FILE** out, int32_t* col) {
    if (uglyprint) return;
    std::fputc(' ', *out);
    (*col)++;
}

void doblanks(FILE** out, int32_t n) {
    if (n >= dispcutoff - 3) n = dispcutoff - 12;
    for (int32_t i = 0; i < n; i++) std::fputc(' ', *out);
}

void B(int32_t n) {
    for (int32_t i = 0; i < 3 * n; i++) std::putchar(' ');
}

void spaces(int32_t n) {
    for (int32_t i = 0; i < 2 * n; i++) std::putchar(' ');
}

void special_print_poly(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb && p->ncoef)
            std::printf("val %li, %li\n", static_cast<long>(p->ncoef->value), static_cast<long>(p->exp));
        else
            std::printf("val skipped, %li\n", static_cast<long>(p->exp));
    }
}

// ---------------------------------------------------------------- numbers

void display(FILE** out, int brk, int signed_field, imag* n, int32_t* col, int sign_blank) {
    if (!lintmode) {
        showint(out, n, 1, 0, 0, signed_field, sign_blank, brk, col);
        return;
    }
    int32_t v = n->value;
    // The symmetric form has no meaning in characteristic 2, where -a = a:
    // a residue shown negative would read back as a different element.
    if (modularmode && alt_form_display && !finf && v > half_modulus) v -= modulus;
    long shown = v;
    if (sign_blank && shown < 0) {
        std::fputs("- ", *out);
        shown = -shown;
    }
    std::fprintf(*out, "%li", shown);
    *col += v == 0 ? 1 : static_cast<int32_t>(std::floor(0.3 * logg2lint(v) + 0.5)) + 1;
}

void showint(FILE** out, imag* n, int first_unpadded, int pad, int already_decimal,
             int signed_field, int sign_blank, int brk, int32_t* col) {
    FILE* f = *out;
    DecimalForm dec(n, already_decimal);
    imag* x = dec.x;
    bool negative = already_decimal ? x->count > 0 && x->head->digit < 0
                                    : n->count > 0 && n->head->digit < 0;

    if (pad) {
        for (int32_t k = disp_size - x->count; k > 0; k--) {
            std::fputs("00000000", f);
            *col += 8;
            checklength320(out, brk, col);
            std::fputc(' ', f);
        }
    }
    if (x->count >= 2 && x->head->digit == 0) tarvex_error("bad 0 node found in showint", 1);
    if (!signed_field && negative) {
        std::fputc('-', f);
        if (sign_blank && !uglyprint) std::fputc(' ', f);
        (*col)++;
    }
    if (x->count < 1) return;

    bool first = true;
    for (numnode* g = x->head; g; g = g->next, first = false) {
        if (!first && *col >= dispcutoff && !uglyprint) {
            if (brk) {
                std::fputc(' ', f);
                std::fputc(continuation, f);
                std::fputc('\n', f);
                *col = 0;
            }
            std::fputc(' ', f);
        }
        int32_t v = g->digit < 0 ? -g->digit : g->digit;
        int32_t d = decimal_digits(v);
        if (first && first_unpadded) {
            if (signed_field) {
                for (int32_t i = d; i < 8; i++) std::fputc(' ', f);
                std::fputc(negative ? '-' : ' ', f);
                std::fprintf(f, "%li", static_cast<long>(v));
                *col += 8;
            } else {
                std::fprintf(f, "%li", static_cast<long>(v));
                *col += d;
            }
        } else {
            for (int32_t i = d; i < 8; i++) std::fputc('0', f);
            std::fprintf(f, "%li", static_cast<long>(v));
            *col += 8;
        }
    }
}

// ---------------------------------------------------------------- quolys

namespace {

// Owns a scratch number for the decimal expansion; given back on every exit.
struct ScratchNumber {
    imag* x = new_number();
    ~ScratchNumber() { free_imag(&x); }
    ScratchNumber() = default;
    ScratchNumber(const ScratchNumber&) = delete;
    ScratchNumber& operator=(const ScratchNumber&) = delete;
};

// ";  or  " and the rational a / b as a decimal: the truncated quotient, a
// point, and exactly 8 disp_size digits of the fraction, truncated.
void decimal_expansion(FILE** out, imag* a, imag* b, int32_t* col, int32_t* lines, int sign_blank,
                       int terminal) {
    ScratchNumber Q, R, scaled, F, rest;
    divide(a, b, Q.x, R.x);

    std::fputs(";  or  ", *out);
    if (*col >= dispcutoff) {
        end_mark(*out, 1);
        std::fputc('\n', *out);
        std::fflush(*out);
        *col = 0;
    }
    adjlength(col, 7);
    checklength(out, terminal, col, lines);

    bool r_negative = R.x->head->digit < 0;
    // The quotient of -1/3 is 0, which has no sign of its own to show.
    if (iszero(Q.x) && r_negative) std::fputc('-', *out);
    showint(out, Q.x, 1, 0, 0, 0, sign_blank, terminal, col);

    std::fputc('.', *out);
    adjlength(col, 1);
    checklength(out, terminal, col, lines);

    if (r_negative) in_place_neg(R.x);
    fast_mult(R.x, disp_cons, scaled.x);
    divide(scaled.x, b, F.x, rest.x);
    (*col)++;
    showint(out, F.x, 0, 1, 0, 0, sign_blank, terminal, col);
}

}  // namespace

void quoly_display(FILE** out, int terminal, int finish, int tail_wanted, quoly* q, int32_t* col,
                   const char* tail, pt* vars, int sign_blank, int blank_under_prompt, int as_char) {
    linesuppression = do_line_sup;
    if (q->isnum) {
        if (as_char)
            std::fputc(static_cast<char>(convert_to_int(q->nnum)), *out);
        else
            display(out, terminal, finish, q->nnum, col, 0);
    } else {
        polynode* num = q->pnum;
        polynode* den = q->den;
        bool open = (den && !poly_small(num)) || (!terminal && !q->rat && !monomial_list);
        if (terminal && blank_under_prompt && promptsize > 0) std::putchar(' ');
        int32_t lines = 0;
        if (open) std::fputs(uglyprint ? "(" : "( ", *out);
        poly_display(out, terminal, finish && !den, num, col, tail, vars, sign_blank, 1, &lines);
        if (open) std::fputs(uglyprint ? ")" : " )", *out);
        if (den) {
            std::fputs(uglyprint ? "/" : " / ", *out);
            lines = 0;
            linesuppression = do_line_sup;
            bool den_open = !poly_small(den);
            if (den_open) std::fputs(uglyprint ? "(" : "( ", *out);
            poly_display(out, terminal, 0, den, col, tail, vars, 0, 1, &lines);
            if (den_open) std::fputs(uglyprint ? ")" : " )", *out);
            if (!lintmode && q->rat && terminal && disp_size >= 1 && finish)
                decimal_expansion(out, num->ncoef, den->ncoef, col, &lines, sign_blank, terminal);
        }
    }

    if (!finish) {
        if (terminal) return;
        if (tail_wanted) {
            std::fputs(tail, *out);
            std::fputc('\n', *out);
            *col = 4;
        }
        return;
    }
    if (terminal) {
        std::fputc('\n', *out);
    } else {
        std::fputs(tail, *out);
        std::fputc('\n', *out);
    }
    if (polynames && extra_line) std::putchar('\n');
}
