#include "gcd/gcd_eliminate.h"

#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_state.h"
#include "gcd/polygcd.h"
#include "gcd/trialdiv.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/evaluate.h"
#include "poly/measures.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"

int64_t gcd_eliminate_count = 0;
int64_t gcd_eliminate_put_back = 0;
int64_t gcd_eliminate_unlucky = 0;
int gcd_eliminate_enabled = 1;

namespace {

// The value list for one operand: levels top+1 .. last, each a value or a
// keep marker (exponent 1).
polynode* value_list(const int32_t* value, int32_t top, int32_t last) {
    polynode* head = nullptr;
    polynode** tail = &head;
    for (int32_t level = top + 1; level <= last; ++level) {
        polynode* node = nullptr;
        poly_set(value[level] > 0 ? value[level] : 1, &node);
        if (value[level] <= 0) node->exp = 1;
        *tail = node;
        tail = &node->next;
    }
    return head;
}

// The image of operand `which` at the values, or null when the image lost
// degree in x (the gcd could no longer be read off it).
polynode* image_of(gcd_state* st, int which, const int32_t* value, int32_t top, int32_t last) {
    polynode* w = which == 1 ? *st->u : *st->v;
    polynode* list = value_list(value, top, last);
    polynode* image = nullptr;
    poly_assign(w, &image);
    old_all_poly_eval(&image, list, 1);
    free_poly(&list);
    if (image && gcd_impl::top_degree(image) == gcd_impl::top_degree(w)) return image;
    free_poly(&image);
    ++gcd_eliminate_put_back;
    return nullptr;
}

}  // namespace

bool eliminate_single_vars(gcd_state* st, int32_t n) {
    if (!gcd_eliminate_enabled || !modularmode || n <= 40 || *st->test_only) return false;
    polynode* u = *st->u;
    polynode* v = *st->v;
    const int32_t nu = fast_numterms(u);
    const int32_t nv = fast_numterms(v);
    if (nu <= 5 || nv <= 5 || nu + nv <= 29) return false;
    assign_levels(st);
    if (st->test_levels <= 1) return false;

    const int32_t top = (*st->vars)->level;
    level_survey survey{};
    survey.limit = static_cast<int16_t>(field_depth > 0 ? field_depth - 1 : number_polys);
    if (survey.limit >= 150) survey.limit = 149;
    scan_poly(u, 1, top, &survey);
    scan_poly(v, 2, top, &survey);
    const int32_t deepest = survey.deepest[1] > survey.deepest[2] ? survey.deepest[1] : survey.deepest[2];
    const int32_t d = deepest - 1;
    int32_t lone = 0;
    for (int32_t level = top + 1; level <= d; ++level)
        if (survey.flag[1][level] != survey.flag[2][level]) ++lone;
    if (lone <= 2) return false;

    // The values are distinct primes below the modulus, drawn from a
    // random window so that repeated calls do not meet the same bad point.
    const bool fixed = points_fixed();
    int32_t base = 238;
    int32_t r = base + (fixed ? 0 : rand_integer3() % 15);
    while (modulus <= small_prime[d - 1 + r]) {
        base -= 23;
        if (base <= -15) return false;
        r = base + (fixed ? 0 : rand_integer3() % 15);
    }

    int32_t value[2][150] = {};   // [which - 1][level]; 0 = keep
    int32_t last[2] = {0, 0};
    for (int32_t level = d; level > top; --level) {
        const int only_u = survey.flag[1][level] && !survey.flag[2][level];
        const int only_v = survey.flag[2][level] && !survey.flag[1][level];
        if (!only_u && !only_v) continue;
        const int k = only_u ? 0 : 1;
        value[k][level] = small_prime[level - 1 + r];
        if (last[k] < level) last[k] = level;
        if (r >= 31)
            r -= 1 + (fixed ? 0 : randdint(0, 18));
        else if (r > 12)
            r -= 1 + (fixed ? 0 : randdint(0, 2));
    }
    // Freed on every exit, an error unwinding through the recursive call too.
    struct Held {
        polynode* p[3] = {nullptr, nullptr, nullptr};
        ~Held() {
            for (polynode*& q : p) free_poly(&q);
        }
    } held;
    polynode*& image_u = held.p[0];
    polynode*& image_v = held.p[1];
    polynode*& g = held.p[2];
    if (last[0] > 0) image_u = image_of(st, 1, value[0], top, last[0]);
    if (last[1] > 0) image_v = image_of(st, 2, value[1], top, last[1]);
    if (!image_u && !image_v) return false;
    gcd_eliminate_count += (image_u != nullptr) + (image_v != nullptr);

    // gcd(u, v) divides the gcd of the images, but an unlucky value can
    // make the images share more than the operands do; the image gcd is the
    // answer only when it divides both operands.
    // Over a relation declared a field but split by the prime, the images
    // can meet a zero divisor that the operands' own gcd does not: unlucky
    // values too.
    pt* vars = *st->vars;
    try {
        ZeroDivisorEscape escape;
        polygcd(image_u ? image_u : *st->u, image_v ? image_v : *st->v, &g, 0, st->allow_tests, st->allow_split,
                vars, 1, 1, 0);
    } catch (const ZeroDivisorMet&) {
        ++gcd_eliminate_unlucky;
        return false;
    }
    free_poly(&image_u);
    free_poly(&image_v);
    bool ok = true;
    if (!gcd_impl::is_number(g)) {
        if (last[0] > 0) ok = trial_poly_divide_noq(*st->u, g, vars, 1, 0, 0);
        if (ok && last[1] > 0) ok = trial_poly_divide_noq(*st->v, g, vars, 1, 0, 0);
    }
    if (!ok) {
        ++gcd_eliminate_unlucky;
        return false;
    }
    free_poly(st->g);
    *st->g = g;
    g = nullptr;
    finish_4(st);
    return true;
}
