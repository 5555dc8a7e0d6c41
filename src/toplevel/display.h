// Display of values: the two number printers (one number of the current
// ground ring, a big integer in decimal), the line-breaking rule that keeps
// output inside `dispcutoff` columns, and the common printer of quolys.
//
// Every routine takes the address of a stream variable (`Output` for the
// terminal, `outpuf` for the output file) and writes to the stream held
// there. Column and line counters belong to the caller and are passed by
// address; the column counter is an estimate that only the comparisons
// with `dispcutoff` read. The break (terminal) flag is on for readable
// output meant for the terminal: broken lines then end with a blank and
// `continuation`. With `uglyprint` on, output is unformatted so that the
// scanner can read it back: no cosmetic blanks, numbers never broken.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct pt;

// ---- streams ----
extern FILE* Output;         // the terminal: standard output
extern FILE* outpuf;         // the output file; null while none is open

// ---- display settings (changed by the switches) ----
extern int16_t dispcutoff;   // line width in columns, 76 (defined with the error routine)
extern char continuation;    // end-of-line mark of a broken line, '`' (defined with the scanner)
extern int uglyprint;        // unformatted output (0 at start-up)
extern int disp_size;        // radix-10^8 groups after the decimal point of a rational (5)
extern imag* disp_cons;      // 10^(8 disp_size), the scale of that expansion
extern int do_line_sup;      // cut terminal output of a polynomial after 150 lines (1)
extern int monomial_list;    // polynomials as a flat list of monomials (0)
extern int extra_line;       // an empty line after each displayed value (1; defined with the error routine)
extern int linesuppression;  // the suppression message is still due for this value
extern int32_t promptsize;   // length of the prompt (1 for ">")

// Decimal constants built at start-up.
extern int32_t pow_10[9];    // 1, 10, ..., 10^8
extern imag* number_10;      // 10, as digits and value word

// Sets the display settings to their start-up values and builds
// `disp_cons`, `pow_10` and `number_10`. Needs the stashes open.
void init_display_defaults();
// disp_cons := (10^8)^disp_size (1 when disp_size <= 0), built as digits
// whatever the ground ring; call it whenever disp_size changes outside
// machine-integer arithmetic.
void rebuild_disp_cons();

// ---- line breaking ----
// When *col >= dispcutoff: the end-of-line mark (readable with brk: " `";
// unformatted: "`"; readable without brk: nothing), a newline, a flush,
// *col := 0 and *lines += 1.
void checklength(FILE** out, int brk, int32_t* col, int32_t* lines);
// The same rule without the flush and the line count.
void checklength320(FILE** out, int brk, int32_t* col);
// *col += n, or += 8 when *col is already within 8 of dispcutoff.
void adjlength(int32_t* col, int32_t n);
// One blank, counted, unless uglyprint.
void blank_space(FILE** out, int32_t* col);
// n blanks, but dispcutoff - 12 when n >= dispcutoff - 3 (none when that is not positive).
void doblanks(FILE** out, int32_t n);
void B(int32_t n);           // 3n blanks on standard output
void spaces(int32_t n);      // 2n blanks on standard output
// One line per term on standard output: "val %li, %li\n" (the value word
// of a number coefficient, exponent) or "val skipped, %li\n".
void special_print_poly(polynode* p);

// ---- numbers ----
// One number of the current ground ring. Machine words (lintmode) are
// printed with "%li", shown as -m .. n under alt_form_display in modular
// mode, never broken; sign_blank turns a minus into "- ". Big integers go
// through showint with the first group unpadded; signed_field puts them
// right-aligned in a field of nine characters (sign position first).
void display(FILE** out, int brk, int signed_field, imag* n, int32_t* col, int sign_blank);
// A big integer in decimal, radix-10^8 groups most significant first,
// every group after the first written with eight digits. already_decimal:
// n is a radix-10^8 form already (digits carrying the sign), kept for the
// caller; otherwise n is only read. pad: groups of eight zeros, each
// followed by a blank, fill up to disp_size groups in front (the digits
// after a decimal point). A line is broken only between groups.
void showint(FILE** out, imag* n, int first_unpadded, int pad, int already_decimal,
             int signed_field, int sign_blank, int brk, int32_t* col);

// ---- quolys and polynomials ----
// The common printer of values. The statement loop shows a result ended by
// ";" with quoly_display(&Output, 1, 1, 1, value, &col, ";", polynames, 0, 1, 0).
// terminal: readable terminal output (decimal form of rationals, the blank
// under the prompt); finish: a complete value (signed field for a lone
// number, the decimal form, the ending newline); tail: written with a
// newline after a value for a file (finish or tail_wanted); as_char: a
// number is written as the one character with its code.
void quoly_display(FILE** out, int terminal, int finish, int tail_wanted, quoly* q, int32_t* col,
                   const char* tail, pt* vars, int sign_blank, int blank_under_prompt, int as_char);
// One polynomial in the nested form (the outermost variable var first, a
// coefficient in the inner variables in parentheses before its power), or
// with monomial_list and two or more variables as a flat list of monomials.
// top: the polynomial is a whole numerator or denominator (a lone number
// then ignores sign_blank). lines: the caller's count of broken lines; with
// do_line_sup, terminal output stops after 150 of them with one message.
void poly_display(FILE** out, int terminal, int signed_field, polynode* p, int32_t* col,
                  const char* tail, pt* var, int sign_blank, int top, int32_t* lines);
// The structure of p for inspection, unformatted and never broken: per
// level, indented by depth, the variable's name (" : " without var), the
// exponents and "*number" of the terms, then each coefficient's own dump
// two steps deeper.
void crude_poly_disp(FILE** out, int terminal, polynode* p, int32_t depth, pt* var);
