// The postfix '#': reading its arguments, one variable replaced by a value
// in place on the polynomial trees (Horner's rule in quoly arithmetic when
// the value has a polynomial denominator), and total evaluation.
#include "quoly/quoly_eval.h"

#include <set>

#include "builtins/coefficients.h"
#include "builtins/total_eval.h"
#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "matrix/sparse.h"
#include "matrix/sparse_whole.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/stored_code.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "poly/evaluate.h"
#include "poly/exponent_range.h"
#include "poly/laurent.h"
#include "poly/measures.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

using quoly_detail::lone_number;
using quoly_detail::QuolyHold;

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// A value the substitution leaves alone: a plain number, or a rational
// number (which exists only outside machine-integer mode).
bool constant_quoly(const quoly* q) { return q->isnum || q->rat; }

void free_chain(quoly** chain) {
    while (*chain) {
        quoly* next = (*chain)->link;
        free_quoly(chain);
        *chain = next;
    }
}

// The least exponent of the variable `depth` levels down from p's own
// (1: p's terms), 0 for terms that do not reach it.
int32_t least_exponent(const polynode* p, int32_t depth) {
    int32_t least = 0;
    for (const polynode* t = p; t; t = t->next) {
        int32_t e = 0;
        if (t->numb)
            e = 0;
        else if (depth == 1)
            e = t->exp;
        else
            e = least_exponent(t->pcoef, depth - 1);
        if (e < least) least = e;
    }
    return least;
}

// The polynomial p at x_level = v, as a quoly: sum of c_k v^k from the
// greatest exponent down, over v^-lo when negative exponents occur.
// The exponents of the variable `depth` levels down from p's own that carry
// a term (0 for terms that do not reach it).
void exponents_at(const polynode* p, int32_t depth, std::set<int32_t>& out) {
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb)
            out.insert(0);
        else if (depth == 1)
            out.insert(t->exp);
        else
            exponents_at(t->pcoef, depth - 1, out);
    }
}

// *q := v^n (n >= 1) in a new quoly.
void power_of(quoly* v, int32_t n, quoly** q) {
    quoly_assign(v, q);
    if (n < 2) return;
    if (lintmode)
        lint_quoly_compute_power(q, n);
    else
        quoly_compute_power(q, n);
}

void horner_poly(polynode* p, quoly* v, int32_t level, quoly** acc) {
    // Only the exponents that occur are visited: a gap of g between two of
    // them is one multiplication by v^g, so that sparse polynomials of
    // high degree cost their terms, not their degree.
    std::set<int32_t> present;
    exponents_at(p, level, present);
    const int32_t low = least_exponent(p, level);
    present.insert(low);
    auto k = present.rbegin();
    polynode* c = nullptr;
    extract_coef(p, &c, level - 1, *k, *k == 0);
    use_up_poly(&c, acc);
    for (int32_t prev = *k++; k != present.rend(); prev = *k++) {
        // Between exponents of opposite signs the gap may pass 2^31 - 1,
        // and v^gap with it.
        const int32_t gap = checked_exponent(int64_t{prev} - *k);
        if (gap == 1) {
            fast_quoly_mult(acc, &v);
        } else {
            QuolyHold step(nullptr);
            power_of(v, gap, &step.q);
            fast_quoly_mult(acc, &step.q);
        }
        polynode* ck = nullptr;
        extract_coef(p, &ck, level - 1, *k, *k == 0);
        QuolyHold term(nullptr);
        use_up_poly(&ck, &term.q);
        best_quoly_add(acc, term.release());
    }
    if (low < 0) {
        QuolyHold power(nullptr);
        power_of(v, -low, &power.q);
        fast_quoly_quot(acc, &power.q, 0);
    }
}

// One variable (level) replaced by the value v, in place in *q.
void substitute(quoly** q, quoly* v, int32_t level) {
    if (!v->isnum && v->den && !lone_number(v->den)) {
        horner_quoly_eval(q, v, level);
        return;
    }
    quoly* x = *q;
    if (constant_quoly(x)) return;

    PolyHold constant;
    polynode* N = nullptr;
    polynode* M = nullptr;
    if (v->isnum) {
        quoly_to_poly(v, &constant.p);
        N = constant.p;
    } else {
        N = v->pnum;
        M = v->den;
    }
    const int16_t bound = static_cast<int16_t>(poly_depth(N));

    if (laurent && needto(x->pnum, level)) {
        // Negative exponents are first lifted out of the numerator, and the
        // denominator takes the same monomial, so the value is unchanged.
        polynode* first = nullptr;
        polynode* last = nullptr;
        clear_bads(&x->pnum, &first, &last, SHIFT_NEGATIVES, SHIFT_ALL_LEVELS);
        if (first) {
            if (!x->den) poly_set(1, &x->den);
            eliminate_bads(&x->den, first, -1);
            release_shift_list(&first, &last);
        }
    }

    PolyHold from_numerator;
    PolyHold from_denominator;
    actual_eval_poly(&x->pnum, &from_numerator.p, &N, M ? &M : nullptr, static_cast<int16_t>(level), bound,
                     polynames);
    if (x->den)
        actual_eval_poly(&x->den, &from_denominator.p, &N, M ? &M : nullptr, static_cast<int16_t>(level), bound,
                         polynames);
    // num(v) came as D1 num and den(v) as D2 den: D1 belongs under the
    // denominator, D2 over the numerator.
    if (from_numerator.p) {
        if (x->den) {
            poly_mult(x->den, from_numerator.p, &x->den, polynames);
        } else {
            x->den = from_numerator.p;
            from_numerator.p = nullptr;
        }
    }
    if (from_denominator.p && x->pnum) poly_mult(x->pnum, from_denominator.p, &x->pnum, polynames);

    if (x->den && poly_iszero(x->den)) {
        error(22, "/");
        quoly_set(1, q);
        return;
    }
    if (!x->pnum || poly_iszero(x->pnum)) {
        quoly_set(0, q);
        return;
    }
    if (x->den)
        check_quoly(q, laurent);
    else if (lone_number(x->pnum))
        polynum_to_quoly(q);
}

bool all_zero_or_one(const quoly* chain) {
    for (const quoly* v = chain; v; v = v->link)
        if (!v->isnum || (v->nnum->value != 0 && v->nnum->value != 1)) return false;
    return true;
}

}  // namespace

bool needto(polynode* p, int32_t k) {
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (k == 1) {
            if (t->exp < 0) return true;
        } else if (needto(t->pcoef, k - 1)) {
            return true;
        }
    }
    return false;
}

void horner_quoly_eval(quoly** q, quoly* v, int32_t level) {
    quoly* x = *q;
    if (x->isnum || (x->rat && !lintmode)) return;
    QuolyHold top(nullptr);
    horner_poly(x->pnum, v, level, &top.q);
    if (x->den) {
        QuolyHold bottom(nullptr);
        horner_poly(x->den, v, level, &bottom.q);
        fast_quoly_quot(&top.q, &bottom.q, 0);
    }
    free_quoly(q);
    *q = top.release();
}

void total_eval(FILE** source, quoly** q, quoly** values, name** pending, int free_list, int32_t level, int keep) {
    if (keep) {
        quoly* copy = nullptr;
        quoly_assign(*q, &copy);
        *q = copy;
    }
    struct ChainGuard {
        quoly** chain;
        bool on;
        ~ChainGuard() {
            if (on) free_chain(chain);
        }
    } guard{values, free_list != 0};

    if (!*values) {
        // The form (y = [a]): the values come from an array.
        array_value_chain(source, pending, values);
        if (!token_is(&token, ")")) {
            error(1, token.name);
            return;
        }
        int32_t n = 0;
        for (quoly* v = *values; v; v = v->link) n++;
        if (n > number_polys) {
            error(187, token.name);
            return;
        }
        if (n == 0) {
            error(41, token.name);
            return;
        }
    }
    int32_t count = 0;
    quoly* last = *values;
    for (quoly* v = *values; v; v = v->link) {
        count++;
        last = v;
    }
    if (count == 1) {
        while (token_is(&token, ",")) {
            next_token(source, pending);
            quoly* more = nullptr;
            old_expre(source, &more, pending);
            if (!more) quoly_set(0, &more);
            more->link = nullptr;
            last->link = more;
            last = more;
            count++;
        }
        if (!token_is(&token, ")")) {
            error(1, token.name);
            return;
        }
    }
    if (count > number_polys) {
        error(193, token.name);
        return;
    }
    quoly* x = *q;
    if (x->isnum || (x->rat && !lintmode)) return;

    const bool char2 = modularmode && (finf || modulus == 2) && char2_degs1 && all_zero_or_one(*values);
    const uint16_t kept = static_cast<uint16_t>(level > 1 ? level - 1 : 0);
    QuolyHold top(nullptr);
    QuolyHold bottom(nullptr);
    if (char2)
        tot_eval_poly2(x->pnum, *values, &top.q, 0, kept, count);
    else
        tot_eval_poly(x->pnum, *values, &top.q, 0, kept);
    if (x->den) {
        if (char2)
            tot_eval_poly2(x->den, *values, &bottom.q, 0, kept, count);
        else
            tot_eval_poly(x->den, *values, &bottom.q, 0, kept);
        fast_quoly_quot(&top.q, &bottom.q, 0);
    }
    free_quoly(q);
    *q = top.release();
}

void get_evalquoly(FILE** source, quoly** q, quoly** value, int32_t* level, name** pending, int free_list, int keep) {
    // The value evaluated, and the values read before the last, are held
    // while the rest is read: a function called there may not change the
    // ring under them.
    ReadingValue reading;
    if (keep) {
        // Evaluated from here on is a copy: the stored value stays as it is.
        quoly* copy = nullptr;
        quoly_assign(*q, &copy);
        *q = copy;
    }
    if (*value && (*value)->link) {
        total_eval(source, q, value, pending, free_list, *level, 0);
        return;
    }
    if (!*value) {
        if (!token_is(&token, "(")) {
            old_fact(source, value, pending);
            if (!*value) quoly_set(0, value);
            *level = 1;
            (*value)->link = nullptr;
            substitute(q, *value, 1);
            return;
        }
        next_token(source, pending);
        old_expre(source, value, pending);
        if (!*value) quoly_set(0, value);
        *level = 1;
        int32_t var_level = 0;
        if (is_poly_var(*value, &var_level)) {
            if (token_is(&token, "=")) {
                next_token(source, pending);
                free_quoly(value);
                if (!token_is(&token, "[")) {
                    old_expre(source, value, pending);
                    if (!*value) quoly_set(0, value);
                }
                *level = var_level;
            } else {
                base_quoly(value, var_level);
                half_expre(source, value, pending);
            }
        }
        if (*value) {
            (*value)->link = nullptr;
            if (!token_is(&token, ",")) {
                if (!token_is(&token, ")")) {
                    error(150, token.name);
                    return;
                }
                next_token(source, pending);
                substitute(q, *value, *level);
                return;
            }
        }
        total_eval(source, q, value, pending, free_list, *level, 0);
        if (!token_is(&token, ")")) {
            error(150, token.name);
            return;
        }
        next_token(source, pending);
        return;
    }
    (*value)->link = nullptr;
    substitute(q, *value, *level);
}

void sparse_evalquoly(quoly** value, sparse** matrix, int32_t rows, int* copied, FILE** source, name** pending) {
    if (!*copied) {
        sparse* copy = nullptr;
        copy_sparse(matrix, &copy, rows, 0);
        *matrix = copy;
        *copied = 1;
    }
    struct ChainGuard {
        quoly** chain;
        ~ChainGuard() { free_chain(chain); }
    } guard{value};
    int32_t level = 1;
    bool any = false;
    for (int32_t r = 1; r <= rows; r++) {
        colm** at = row_head(*matrix, r);
        while (*at) {
            any = true;
            get_evalquoly(source, &(*at)->val, value, &level, pending, 0, 0);
            // No zero is stored in a sparse matrix.
            if (quoly_iszero((*at)->val))
                free_colm(at);
            else
                at = &(*at)->next;
        }
    }
    if (!any) {
        // The arguments are read all the same.
        QuolyHold dummy(nullptr);
        quoly_set(0, &dummy.q);
        get_evalquoly(source, &dummy.q, value, &level, pending, 0, 0);
    }
}
