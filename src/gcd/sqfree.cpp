// Yun's square-free algorithm adapted to characteristic p: gcd(F, F')
// splits off the factors whose multiplicity is prime to p; what is left is
// a p-th power, whose root starts the next round with the multiplicities
// scaled by p.
#include "gcd/sqfree.h"

#include <utility>
#include <vector>

#include "gcd/exactdiv.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/polygcd.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/polyvars.h"
#include "poly/powers.h"
#include "quoly/pth_roots.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/errors.h"

using gcd_impl::is_number;
using gcd_impl::top_degree;

namespace {

int32_t characteristic() { return finf ? 2 : modulus; }

int32_t root_of_residue(int32_t a) {
    if (f256) return f256sqr[a & 0xff];
    if (f2t16) return f2t16sqr[a & 0xffff];
    return a;
}

// The gcd calls of the factorisation run as fresh top-level problems.
void sqf_gcd(polynode* a, polynode* b, polynode** g, pt* var) {
    int32_t saved_count = alg_c_count, saved_depth = original_depth;
    alg_c_count = 0;
    original_depth = 1;
    try {
        polygcd(a, b, g, 0, 1, 1, var, 1, 1, 0);
    } catch (...) {
        alg_c_count = saved_count;
        original_depth = saved_depth;
        throw;
    }
    alg_c_count = saved_count;
    original_depth = saved_depth;
}

bool is_zero_poly(const polynode* p) { return is_number(p) && p->ncoef->value == 0; }

// rec's level lies in the extension field of the relations.
bool in_field(const pt* rec) { return field_depth > 0 && rec->level >= field_depth; }

// Why the chain *p of rec's level (and what lies below it) has no p-th root
// that pth_power_root can take: 0 when it has one; else the error code with
// *who the variable to name (null: the current token's). An exponent of an
// ordinary variable that p does not divide is left to the caller.
int root_refusal(const polynode* p, const pt* rec, int32_t e, const pt** who, bool* indivisible) {
    if (is_number(p)) return 0;
    if (!rec) {
        *who = nullptr;
        return 352;
    }
    if (in_field(rec)) {
        // In GF(2^k) only numbers have roots here; over the integers modulo
        // p an extension-field element has one by its table.
        if (finf) {
            *who = nullptr;
            return 308;
        }
        return 0;
    }
    for (const polynode* t = p; t; t = t->next) {
        if (t->numb) continue;
        if (t->exp != 0 && rec->relation) {
            // A modded-out variable that makes no field keeps no root table.
            *who = rec;
            return 352;
        }
        if (t->exp % e != 0) *indivisible = true;
        if (const int code = root_refusal(t->pcoef, rec->next, e, who, indivisible)) return code;
    }
    return 0;
}

// in place: the root of a chain root_refusal passed.
void root_chain(polynode** slot, pt* rec, int32_t e) {
    polynode* p = *slot;
    if (is_number(p)) {
        p->ncoef->value = root_of_residue(p->ncoef->value);
        return;
    }
    if (in_field(rec)) {
        pth_root(slot, rec);
        return;
    }
    for (polynode* t = p; t; t = t->next) {
        if (t->numb) {
            t->ncoef->value = root_of_residue(t->ncoef->value);
            continue;
        }
        t->exp /= e;
        root_chain(&t->pcoef, rec->next, e);
    }
}

// The relative levels (2 = the next inner one) of the ordinary variables
// below var, down to the field: those a polynomial may be differentiated in.
std::vector<int16_t> ordinary_levels(pt* var) {
    std::vector<int16_t> levels;
    int16_t k = 2;
    for (pt* rec = inner(var); rec && !in_field(rec); rec = rec->next, k++)
        if (!rec->relation) levels.push_back(k);
    return levels;
}

// *G := gcd of F and its derivatives in var and in every ordinary variable
// below: a factor g^k of F keeps k - 1 of its power there when p does not
// divide k, all of it when p does. With one variable the first derivative
// alone does that; with more, a factor in var^p such as x^p + y shows only
// in another variable's derivative. False when every derivative is zero:
// F is then a p-th power.
bool derivatives_gcd(polynode* F, polynode** G, pt* var) {
    std::vector<int16_t> levels = ordinary_levels(var);
    levels.insert(levels.begin(), 1);
    bool any = false;
    for (int16_t level : levels) {
        PolyHold D;
        poly_assign(F, &D.p);
        general_poly_diff(&D.p, 1, level);
        if (is_zero_poly(D.p)) continue;
        PolyHold g;
        sqf_gcd(any ? *G : F, D.p, &g.p, var);
        free_poly(G);
        *G = g.release();
        any = true;
        if (is_number(*G)) break;
    }
    return any;
}

}  // namespace

void pth_power_root(polynode** slot, pt* var) {
    const int32_t e = characteristic();
    const pt* who = nullptr;
    bool indivisible = false;
    const int code = root_refusal(*slot, var, e, &who, &indivisible);
    if (code) {
        error(code, who ? who->name : token.name);
        abandon_statement();
    }
    if (indivisible) {
        tarvex_error(" not a p-th power in pth_root.", 1);
        abandon_statement();
    }
    root_chain(slot, var, e);
}

void square_free_factor(polynode* f, polynode** list, int32_t* count, pt* var) {
    const int32_t e = characteristic();
    int32_t m = 1;
    PolyHold F;
    poly_assign(f, &F.p);
    while (top_degree(F.p) > 0) {
        PolyHold G;
        if (!derivatives_gcd(F.p, &G.p, var)) {
            pth_power_root(&F.p, var);
            m *= e;
            continue;
        }
        PolyHold W;
        if (is_number(G.p)) {
            poly_assign(F.p, &W.p);
        } else {
            int fail = 0;
            gen_poly_divide(F.p, G.p, &W.p, var, &fail);
            if (fail) tarvex_error(" failed in square free factor.", 1);
        }
        int32_t i = 0;
        while (top_degree(W.p) >= 1) {
            i++;
            if (i % e == 0) {
                fast_poly_divide(&G.p, W.p, var, 41);
                i++;
            }
            PolyHold Y;
            sqf_gcd(W.p, G.p, &Y.p, var);
            PolyHold Z;
            if (is_number(Y.p))
                std::swap(Z.p, W.p);
            else {
                    int fail = 0;
                    gen_poly_divide(W.p, Y.p, &Z.p, var, &fail);
                    if (fail) tarvex_error(" failed in square free factor.", 1);
            }
            if (top_degree(Z.p) > 0) {
                polynode* rec = nullptr;
                newpoly(&rec);
                rec->exp = m * i;
                rec->numb = 0;
                rec->pcoef = Z.p;
                Z.p = nullptr;
                rec->next = *list;
                *list = rec;
                (*count)++;
            }
            free_poly(&W.p);
            std::swap(W.p, Y.p);
            if (is_number(W.p)) break;
            fast_poly_divide(&G.p, W.p, var, 42);
        }
        // What is left of G is a p-th power.
        std::swap(F.p, G.p);
        if (top_degree(F.p) > 0) {
            pth_power_root(&F.p, var);
            m *= e;
        }
    }
}
