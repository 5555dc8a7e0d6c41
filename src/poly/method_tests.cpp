// Method-choice tests for the gcd driver and the multiplication dispatcher.
// The sizes are the storage estimates of poly/masses.h, whose early stop
// keeps each test to a few dozen node visits.
#include "poly/method_tests.h"

#include "numbers/ring.h"
#include "poly/masses.h"
#include "poly/polyvars.h"

int32_t mod_method_diff = 6;

namespace {

// A large gap between v's degree and the gcd's bound, absolutely or against
// v's degree n, makes a modular route pay whatever the sizes.
bool wide_gap(int64_t n, int32_t d) {
    int64_t g = n - d;
    return g > mod_method_diff || n < 6 * g;
}

// The top list of a dense two-variable operand: its term count, its lowest
// top exponent and the greatest second-variable degree of its coefficients.
// False when a coefficient involves a third variable.
bool two_var_profile(const polynode* p, int64_t* terms, int64_t* lowest, int64_t* height) {
    *terms = 0;
    *height = 0;
    for (; p; p = p->next) {
        ++*terms;
        if (p->numb) {
            *lowest = 0;
            break;
        }
        *lowest = p->exp;
        const polynode* k = p->pcoef;
        if (k->numb) continue;
        if (!k->pcoef->numb) return false;
        if (k->exp > *height) *height = k->exp;
        for (k = k->next; k; k = k->next)
            if (!k->numb && !k->pcoef->numb) return false;
    }
    return true;
}

constexpr int64_t DENSE_2_VAR_LIMIT = 700;   // degrees the dense residue arrays can hold

}  // namespace

int mod_do_Chinese(const polynode* u, const polynode* v, int32_t d) {
    int64_t n = v->exp;
    if (wide_gap(n, d)) return 1;
    int32_t sv = very_simple_poly_mass(v);
    if (sv > 250) return 1;
    if (sv < 150 && n == 1) return 0;
    if (!u) return 0;
    return very_simple_poly_mass(u) > 250 ? 1 : 0;
}

int do_mod_method_now(const polynode* u, const polynode* v, int32_t d, int force) {
    if (field_depth > 0 && !force) return 0;
    int64_t n = v->exp;
    if (wide_gap(n, d)) return 1;
    int32_t sv = more_simple_poly_mass(v);
    if (sv > 350) return 1;
    if (sv > 280) return 1;
    if (sv < 200 && n == 1) return 0;
    if (!u) return 0;
    return more_simple_poly_mass(u) > 350 ? 1 : 0;
}

int try_fast_2_var(const polynode* a, const polynode* b) {
    if (field_depth > 0 || modout_above_field || finf) return 0;
    if (b->exp > a->exp) {
        const polynode* t = a;
        a = b;
        b = t;
    }
    int64_t da = a->exp;
    int64_t db = b->exp;
    if (9 * db < da) return 0;

    int64_t na, lowa, ha;
    if (!two_var_profile(a, &na, &lowa, &ha)) return 0;
    // Too few or too scattered top terms do not repay the dense arrays.
    if (na < 26 || 3 * na <= da - lowa || da > DENSE_2_VAR_LIMIT || ha > DENSE_2_VAR_LIMIT) return 0;

    int64_t nb, lowb, hb;
    if (!two_var_profile(b, &nb, &lowb, &hb)) return 0;
    if (nb < 26 || 3 * nb <= db - lowb || da + db > DENSE_2_VAR_LIMIT) return 0;
    return ha + hb <= DENSE_2_VAR_LIMIT ? 1 : 0;
}
