// Yun's square-free algorithm adapted to characteristic p: gcd(F, F')
// splits off the factors whose multiplicity is prime to p; what is left is
// a p-th power, whose root starts the next round with the multiplicities
// scaled by p.
#include "gcd/sqfree.h"

#include <utility>

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

// The slot of the extension-field element a coefficient of var's level
// stands for, down through the padding of the levels above the field, and
// its level's record in *at; null when the coefficient depends on a level
// above the field.
polynode** field_part(polynode** c, pt* var, pt** at = nullptr) {
    pt* rec = var ? var->next : nullptr;
    while (rec && !(field_depth > 0 && rec->level >= field_depth)) {
        polynode* p = *c;
        if (p->numb || p->exp != 0 || p->next) return nullptr;
        c = &p->pcoef;
        rec = rec->next;
    }
    if (!rec) return nullptr;
    if (at) *at = rec;
    return c;
}

}  // namespace

void pth_power_root(polynode** slot, pt* var) {
    const int32_t e = characteristic();
    for (polynode* t = *slot; t; t = t->next) {
        if (t->numb) continue;
        if (t->exp % e != 0) {
            tarvex_error(" not a p-th power in pth_root.", 1);
            abandon_statement();
        }
        polynode* c = t->pcoef;
        if (is_number(c)) continue;
        // In GF(2^k) only numbers have roots here; over the integers modulo
        // p the coefficient must lie in the extension field.
        if (finf) {
            error(308, token.name);
            abandon_statement();
        }
        if (!field_part(&t->pcoef, var)) {
            error(352, var && var->next ? var->next->name : token.name);
            abandon_statement();
        }
    }
    for (polynode* t = *slot; t; t = t->next) {
        if (!t->numb) t->exp /= e;
        if (t->numb || is_number(t->pcoef)) {
            imag* n = t->numb ? t->ncoef : t->pcoef->ncoef;
            n->value = root_of_residue(n->value);
            continue;
        }
        pt* rec = var;
        polynode** s = field_part(&t->pcoef, var, &rec);
        pth_root(s, rec);
    }
}

void square_free_factor(polynode* f, polynode** list, int32_t* count, pt* var) {
    const int32_t e = characteristic();
    int32_t m = 1;
    PolyHold F;
    poly_assign(f, &F.p);
    while (top_degree(F.p) > 0) {
        PolyHold D;
        poly_assign(F.p, &D.p);
        poly_diff(&D.p, 1);
        if (is_zero_poly(D.p)) {
            pth_power_root(&F.p, var);
            m *= e;
            continue;
        }
        PolyHold G;
        sqf_gcd(F.p, D.p, &G.p, var);
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
