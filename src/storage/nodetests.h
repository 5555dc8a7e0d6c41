// Small questions asked of numbers, polynomials and quolys many times per
// operation (zero, one, minus one, lengths, leading coefficients, degrees,
// levels, negative exponents, machine-integer conversion), and the few
// in-place structural touches that go with them.
//
// Unless a routine says otherwise it only reads its operands. Polynomials
// follow the shape rules of poly/polyvars.h; routines that shift exponents
// restore rule 6 (an exponent-0 term over a lone number node is that number
// node) wherever their change creates such a term.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;
struct sparse;

// ---- walks ----
// f(number record) for every number of a polynomial, outermost terms first.
template <class F>
void each_poly_number(polynode* p, F f) {
    for (; p; p = p->next) {
        if (p->numb)
            f(p->ncoef);
        else
            each_poly_number(p->pcoef, f);
    }
}
// The same for a value: its number, or its numerator's and denominator's.
template <class F>
void each_number(quoly* q, F f) {
    if (!q) return;
    if (q->isnum) {
        f(q->nnum);
        return;
    }
    each_poly_number(q->pnum, f);
    each_poly_number(q->den, f);
}

// A number that does not fit in a machine integer converts to this.
constexpr int32_t INT_DOES_NOT_FIT = static_cast<int32_t>(0x80000001u);

// ---- machine integers and digit sizes ----
int32_t minn(int32_t a, int32_t b);
int32_t maxx(int32_t a, int32_t b);
int16_t Iminn(int16_t a, int16_t b);
int16_t imaxx(int16_t a, int16_t b);
int32_t logg2(imag* n);             // bit length of a positive digit number
int32_t logg2_neg(imag* n);         // bit length of a negative digit number
int32_t p_size_of(polynode* node);  // bit size of a number node's digit number
int32_t sizenumber(imag* n);        // bytes the number occupies
int checkarg(numnode* list);        // 0 when some word of the list is 1, else 1
int opposites(imag* a, imag* b);    // a = -b digit by digit

// ---- zero, one and minus one ----
int poly_iszero(polynode* p);
int node_iszero(polynode* node);    // further terms are not looked at
int quoly_iszero(quoly* q);
int lint_quoly_iszero(quoly* q);    // machine-word form only
int poly_eq_1(polynode* p);
int quoly_eq_1(quoly* q);
int poly_eq_m1(polynode* p);
int quoly_eq_m1(quoly* q);
int poly_eq_pm1(polynode* p);
// A lone number node: the polynomial is a constant.
inline bool single_number(const polynode* p) { return p->numb && !p->next; }
int poly_small(polynode* p);        // a constant, or +-1 times a power of one variable
int monomial(polynode* p);
int height_is_1(polynode* p);       // every top coefficient has a number as first node

// ---- chains, degrees and levels ----
int32_t poly_length(polynode* p);
int32_t fast_poly_length(polynode* p, int32_t cap);     // counts at most cap + 1
// Top term count n, or -n when the exponent span exceeds 6n (a sparse chain);
// *last := the last exponent. *flag (asked for when non-zero on entry) says
// whether p is in effect a one-variable polynomial modulo the modulus.
int32_t exp_poly_length(polynode* p, int32_t* last, int* flag);
polynode* lastnode(polynode* p);
polynode* lastnum(polynode* p);
int32_t lastexp(polynode* p);
polynode* leading_coef(polynode* p);    // the number node at the end of the first-term chain
// Descends the first-term chain with the variable records in step from v; stops
// at a number node or at a variable of level >= field_depth (left in *w).
polynode* field_leading_coef(polynode* p, pt* v, pt** w);
int invertible_coef(polynode* p, pt* v);
int first_coef_invrtble(polynode* node, int32_t level);
int32_t real_degree(polynode* p, int32_t level);
int32_t real_q_degree(quoly* q, int32_t level);
int32_t clean_degree(polynode* p, int32_t level);   // fatal internal error on a bad shape
int32_t poly_depth(polynode* p);        // level of the outermost variable present; 16384 for a number
int32_t poly_level(polynode* p);        // the same, 0 for a lone number
int depth_only_2(polynode* p);
int depth_density(polynode* p, int32_t* first, int32_t* maxdeg, int32_t* last, int32_t* count);
// Steps p, q and the variable record v down together over the outer levels where
// both have only an exponent-0 term; *h counts the levels passed.
void findHeight(polynode** p, polynode** q, int16_t* h, pt** v);
void poly_level_depth(int32_t a, int32_t b, int32_t size, int32_t* x, int32_t* y);
int all_coefs_numb(polynode* p, int32_t* levels);   // fatal internal error on a bad shape
int is_poly_var(quoly* q, int32_t* level);
int is_array_param(quoly* q);

// ---- conversion to machine integers (INT_DOES_NOT_FIT when too large) ----
int32_t convert_to_int(imag* n);
int32_t big_convert_to_int(imag* n);
int32_t quoly_convert_to_int(quoly* q);
int32_t big_quoly_convert_to_int(quoly* q);
int quoly_larger(quoly* a, quoly* b);   // number quolys: a > b

// ---- negative exponents ----
int anynegs(polynode* p);
// Dense cells: the n x n quoly pointers cells[0 .. n*n - 1]; empty cells are skipped.
int negexponents(quoly** cells, int32_t n);
// Rows 1 .. n of the sparse matrix whose first frame is frame.
int sparse_negexponents(sparse* frame, int32_t n);
// r: one entry per level (exponent = that level's running minimum, next = the
// next inner level); each entry is lowered to the least exponent met there.
void find_negs(polynode* p, polynode* r);

// ---- structural changes, in place ----
void remove_dummy(polynode* node);      // node's lone-number coefficient moves into node
void mult_expons(polynode* p, int32_t k);
// p has two or more terms and k is its last exponent: lowers the top exponents
// by k; an exponent-0 wrapper over a lone number that this creates is unlinked
// and kept in *saved (else *saved := null). restore_exps undoes it.
void sub_expons(polynode* p, polynode** saved, int32_t k);
void restore_exps(polynode* p, polynode* saved, int32_t k);
// *b a number quoly holding k, *a a quoly without denominator: splits so that
// old a = a + x^k * b, x the top variable. Both slots are rewritten.
void split_poly(quoly** a, quoly** b);
// A new polynomial: over p's top terms, the coefficient of the highest power
// of the second variable; null for null p.
polynode* leading_coef_level_two(polynode* p);
