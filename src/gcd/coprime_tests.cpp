// The coprimality tests and their places in the gcd driver: step by step as
// the driver reaches them, each ending the call when its images decide it.
#include "gcd/coprime_tests.h"

#include <algorithm>
#include <vector>

#include "gcd/aux_source.h"
#include "gcd/gcd_driver_impl.h"
#include "gcd/gcd_state.h"
#include "gcd/gcdstash.h"
#include "gcd/modswitch.h"
#include "gcd/onevar_gcd.h"
#include "gcd/polygcd.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/evaluate.h"
#include "poly/levels.h"
#include "poly/measures.h"
#include "poly/modout.h"
#include "poly/polymult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

const int16_t base_2_list[BASE_2_COUNT] = {0, 3, 1, 2};
const int16_t base_3_list[BASE_3_COUNT] = {0, 4, 1, 3, 8, 5, 2};
const int16_t base_7_list[BASE_7_COUNT] = {0, 8, 1, 7, 16, 9, 2, 14, 3, 10, 22, 23, 17, 24, 32, 40, 31, 39, 48, 41, 26};

namespace {

// Deepest level the point table serves.
constexpr int32_t MAX_TEST_LEVELS = 49;
// The modular coprimality test looks for a usable prime among this many
// entries of the main table.
constexpr int32_t TABLE_TEST_PRIMES = 10;
// Images over the field of the first auxiliary primes pay while few
// levels lie above the field.
constexpr int32_t FEW_LEVELS_ABOVE_FIELD = 4;

struct Held {
    polynode* p = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { free_poly(&p); }
};

// A value list for all_poly_eval: lone number nodes, level 2 first.
struct Points {
    polynode* head = nullptr;
    Points() = default;
    Points(const Points&) = delete;
    Points& operator=(const Points&) = delete;
    ~Points() {
        if (head) special_free_poly(&head);
    }
    // Built from the innermost level out, so each new point goes in front.
    void push_front(int32_t v) {
        polynode* n = nullptr;
        poly_set(v, &n);
        n->next = head;
        head = n;
    }
};

int32_t top_deg(const polynode* p) { return p->numb ? 0 : p->exp; }
bool lone_number(const polynode* p) { return p->numb && !p->next; }

// Raises tripval for its lifetime: a gcd of images must not itself turn to
// the modular method.
struct TripvalRaised {
    int16_t saved;
    TripvalRaised() : saved(tripval) { tripval = 16384; }
    ~TripvalRaised() { tripval = saved; }
    TripvalRaised(const TripvalRaised&) = delete;
    TripvalRaised& operator=(const TripvalRaised&) = delete;
};

// The image of operand p (n variables) with its inner variables at the
// test's points; null when it lost degree in the main variable or vanished.
polynode* operand_image(polynode* p, int32_t n, int32_t k, bool table_points, const gcd_state* st) {
    Points pts;
    for (int32_t L = n; L >= 2; L--) {
        int32_t value;
        if (table_points) {
            value = st->points[L];
        } else if (L > 3) {
            value = k / 3;
        } else {
            // Levels 2 and 3 run through the base's digits of the table
            // entry, so that successive tests differ where it matters most.
            const int32_t b = st->test_base > 1 ? st->test_base : 3;
            const int32_t t = (k >= 0 && k < GCD_POINT_TABLE) ? st->points[k] : k;
            value = L == 3 ? (t / b) % b : t % b;
        }
        pts.push_front(value);
    }
    Held img;
    if (n >= 2) {
        polynode* src = p;
        all_poly_eval(&src, pts.head, &img.p, 1);
    } else {
        poly_assign(p, &img.p);
    }
    if (!img.p || top_deg(img.p) != top_deg(p) || lone_number(img.p)) return nullptr;
    polynode* r = img.p;
    img.p = nullptr;
    return r;
}

int32_t operand_levels(polynode* p, int32_t level) {
    return std::min(quick_depth_below(p, level), MAX_TEST_LEVELS);
}

// The leading number of p: the first terms followed down to a number.
imag* leading_number(polynode* p) {
    while (!p->numb) p = p->pcoef;
    return p->ncoef;
}

bool prime_divides(imag* p, imag* n) {
    imag* q = new_number();
    imag* r = new_number();
    divide(n, p, q, r);
    bool zero = iszero(r) != 0;
    free_imag(&q);
    free_imag(&r);
    return zero;
}

}  // namespace

int fast_test_2(int32_t k, int32_t* degree, gcd_state* st, int32_t attempt) {
    polynode* u = *st->u;
    polynode* v = *st->v;
    pt* var = *st->vars;
    const int32_t level = var->level;
    // An inconclusive test still bounds the gcd by the smaller degree.
    *degree = std::min(top_deg(u), top_deg(v));
    const int32_t nu = operand_levels(u, level);
    const int32_t nv = operand_levels(v, level);
    const bool table_points = modularmode != 0;
    if (table_points) {
        const int32_t n = std::max(nu, nv);
        for (int32_t j = n; j >= 2; j--) {
            const int32_t r = points_fixed() ? attempt % 3 : rand_integer2() % 3;
            st->points[j] = static_cast<int16_t>(global_list[(3 * j + (r < 0 ? -r : r)) % GLOBAL_LIST_COUNT] % modulus);
        }
    }
    Held img_u, img_v;
    img_u.p = operand_image(u, nu, k, table_points, st);
    if (!img_u.p) return 0;
    img_v.p = operand_image(v, nv, k, table_points, st);
    if (!img_v.p) return 0;

    Held g;
    if (modularmode && field_depth == 0 && mod_is_prime) {
        basic_poly_gcd(img_u.p, img_v.p, &g.p, 0, var);
    } else {
        // The auxiliary-prime test needs the second primes of the field
        // set-up, and enough of them; otherwise the images' gcd is
        // computed outright.
        bool aux = false;
        if (!modularmode && field_depth > 0 && !no_aux_primes2) {
            pt* r = polynames;
            while (r && r->level != field_depth) r = r->next;
            aux = r && r->prime_count > 0;
        }
        if (aux) {
            int coprime = 0;
            corvane_modular(img_u.p, img_v.p, var, &coprime);
            if (coprime) {
                poly_set(1, &g.p);
            } else {
                g.p = new_term_node(1, nullptr);
                poly_set(1, &g.p->pcoef);
            }
        } else {
            // The full gcd of the images, not the marker of a test-mode
            // call: its degree is then a true bound.
            // Over a relation declared a field but split by the prime, the
            // images can meet a zero divisor at this point: the test then
            // tells nothing.
            try {
                ZeroDivisorEscape escape;
                TripvalRaised raised;
                polygcd(img_u.p, img_v.p, &g.p, 0, 1, 0, var, 1, 1, 0);
            } catch (const ZeroDivisorMet&) {
                return 0;
            }
        }
    }
    *degree = top_deg(g.p);
    if (field_depth > 0) return field_depth <= level + poly_depth(g.p) - 1 ? 1 : 0;
    return lone_number(g.p) ? 1 : 0;
}

void use_modular(polynode* u, polynode* v, int* deg0, int* constant, pt* var, int32_t nprimes, imag** primes,
                 int32_t* degree) {
    if (nprimes < 1) {
        *deg0 = 0;
        return;
    }
    // A prime that divides a leading number could lower a degree: its
    // images would bound nothing.
    imag* lu = leading_number(u);
    imag* lv = leading_number(v);
    int32_t p = 0;
    for (int32_t i = 0; i < nprimes && !p; i++)
        if (!prime_divides(primes[i], lu) && !prime_divides(primes[i], lv)) p = primes[i]->value;
    if (!p) {
        *deg0 = 0;
        return;
    }
    int32_t d = 0;
    bool is_const = false;
    {
        ModularSwitch sw;
        sw.set_prime(p);
        polynode* iu = u;
        polynode* iv = v;
        sw.convert(&iu);
        sw.convert(&iv);
        sw.convert_variables();
        sw.begin_arithmetic();
        // Stashing is off inside: residue gcds must not meet integer ones.
        lookupgcd = -1000;
        Held g;
        if (number_polys == 1 || (height_is_1(iu) && height_is_1(iv))) {
            basic_poly_gcd(iu, iv, &g.p, 0, var);
        } else {
            // The image's gcd starts its own count of abandoned Algorithm
            // C runs; a run that called this test keeps counting its own.
            struct CountBack {
                int32_t saved = alg_c_count;
                ~CountBack() { alg_c_count = saved; }
            } count_back;
            alg_c_count = 0;
            polygcd(iu, iv, &g.p, 1, 1, 1, var, 1, 1, 1);
        }
        d = top_deg(g.p);
        is_const = lone_number(g.p);
    }
    *degree = d;
    *deg0 = d == 0 ? 1 : 0;
    *constant = is_const ? 1 : 0;
}

void corvane_modular(polynode* u, polynode* v, pt* var, int* coprime) {
    *coprime = 0;
    pt* R = polynames;
    while (R && R->level != field_depth) R = R->next;
    if (!R || !R->aux_primes) {
        tarvex_error(" corvane_modular, p is nil 1", 1);
        return;
    }
    const int32_t offset = 1 - var->level;
    const int32_t c = R->prime_count;
    int32_t j = rand_integer2() % (c > 10 ? 4 : 2);
    if (j < 0) j = -j;
    if (j > c) j = 0;
    const int32_t du = top_deg(u), dv = top_deg(v);
    while (j != c && !*coprime) {
        imag* e = R->aux_primes;
        for (int32_t i = 0; i < j && e; i++) e = e->link;
        if (!e) {
            tarvex_error(" corvane_modular, p is nil 1", 1);
            return;
        }
        ModularSwitch sw;
        sw.set_prime(e->value);
        polynode* iu = u;
        polynode* iv = v;
        sw.convert(&iu);
        sw.convert(&iv);
        sw.begin_arithmetic();
        Held cu, cv;
        poly_assign(iu, &cu.p);
        poly_assign(iv, &cv.p);
        // Every field level is replaced, down to the end of the record chain:
        // number_polys does not follow a temporary shift of the levels (a
        // variable moved to the top inside Algorithm C), and a field level
        // left standing would put a two-variable image into the one-variable
        // gcd.
        pt* rec = R;
        for (int32_t L = offset + field_depth; rec; L++, rec = rec->next) {
            imag* a = rec->aux_primes;
            for (int32_t i = 0; i < j && a; i++) a = a->link;
            if (!a) {
                tarvex_error(" corvane_modular, p is nil 2", 1);
                return;
            }
            Held value;
            poly_set(a->head ? a->head->digit % e->value : 0, &value.p);
            for (Held* h : {&cu, &cv}) {
                polynode* den = nullptr;
                if (h->p && !lone_number(h->p)) case_one(&h->p, &den, static_cast<int16_t>(L), value.p, nullptr, rec);
                free_poly(&den);
            }
        }
        j++;
        if (cu.p && cv.p && top_deg(cu.p) == du && top_deg(cv.p) == dv) {
            Held g;
            basic_poly_gcd(cu.p, cv.p, &g.p, 0, var);
            *coprime = lone_number(g.p) ? 1 : 0;
            break;
        }
    }
}

// ---------------------------------------------------------------- inside the driver

namespace {

// Which primes the modular test takes: none in machine-integer arithmetic;
// with field levels the main table only for operands free of field
// elements, unless the operands reach deep into a small tower, where the
// first auxiliary primes give images over a finite field.
enum class TestPrimes { none, table, auxiliary };

TestPrimes modular_test_primes(gcd_state* st) {
    if (lintmode) return TestPrimes::none;
    if (field_depth == 0) return TestPrimes::table;
    const int32_t level = (*st->vars)->level;
    if (number_polys - field_depth < FEW_LEVELS_ABOVE_FIELD &&
        (number_polys != field_depth || number_polys - level < 2 || aux_prime1_number < 1))
        return both_above_field_depth(*st->u, *st->v, level) ? TestPrimes::table : TestPrimes::none;
    return TestPrimes::auxiliary;
}

// Ends a test-mode call with the marker x^d (x when d <= 0).
void end_with_marker(gcd_state* st, int32_t d) {
    gcd_release_operand(st, 1);
    gcd_release_operand(st, 2);
    polynode* m = gcd_impl::x_to(d > 0 ? d : 1);
    if (st->stride >= 2) gcd_impl::multiply_top_exps(m, st->stride);
    free_poly(st->g);
    *st->g = m;
}

// The operands have no common factor of positive degree in x: what is left
// is the gcd of all their coefficients, times the common power of x. marker:
// in test mode the inner variable stands for that gcd.
void end_with_coefficient_gcd(gcd_state* st, bool marker) {
    pt* vars = *st->vars;
    if (marker && *st->test_only)
        st->content_gcd = gcd_impl::x_to(1);
    else
        dual_content(*st->u, *st->v, &st->content_gcd, vars, 0, st->allow_split, 1, 1);
    polynode* core = gcd_impl::monomial_core(st);
    free_poly(st->g);
    *st->g = core;
    finish_4(st);
}

}  // namespace

bool gcd_modular_pretest(gcd_state* st, int32_t n) {
    const TestPrimes source = n > tripval ? modular_test_primes(st) : TestPrimes::none;
    if (source == TestPrimes::none) return false;
    polynode* u = *st->u;
    polynode* v = *st->v;
    pt* vars = *st->vars;
    int deg0 = 0, constant = 0;
    int32_t d = 0;
    if (source == TestPrimes::table) {
        use_modular(u, v, &deg0, &constant, vars, TABLE_TEST_PRIMES, prime, &d);
    } else {
        std::vector<imag*> aux = first_aux_table();
        use_modular(u, v, &deg0, &constant, vars, static_cast<int32_t>(aux.size()), aux.data(), &d);
    }
    if (!deg0) {
        if (*st->test_only) {
            end_with_marker(st, d);
            return true;
        }
        st->seen_common = 1;
        st->last_degree = d;
        if (d == gcd_impl::top_degree(v)) st->allow_split = 0;
        return false;
    }
    if (!constant) {
        end_with_coefficient_gcd(st, true);
        return true;
    }
    // The gcd is an integer: the gcd of the integer contents.
    polynode* c = gcd_impl::integer_content(u);
    if (!poly_eq_1(c)) {
        polynode* cv = gcd_impl::integer_content(v);
        imag* h = new_number();
        binary_gcd(c->ncoef, cv->ncoef, h);
        free_poly(&cv);
        free_poly(&c);
        c = new_number_node(h);
    }
    polynode* ans = gcd_impl::monomial_core(st);
    gcd_release_operand(st, 1);
    gcd_release_operand(st, 2);
    if (!poly_eq_1(c)) gcd_impl::mult_into(&ans, c, vars);
    free_poly(&c);
    if (st->stride > 1 && !gcd_impl::is_number(ans)) gcd_impl::multiply_top_exps(ans, st->stride);
    gcd_impl::mult_into(&ans, st->x_power, vars);
    free_poly(&st->x_power);
    free_poly(st->g);
    *st->g = ans;
    return true;
}

bool gcd_fast_pretests(gcd_state* st) {
    if (!st->allow_tests || !modularmode) return false;
    assign_levels(st);
    if (st->test_levels < 2) return false;
    // Every test's degree bounds the gcd's (an inconclusive one reports
    // the smaller operand degree), so the smallest is kept: the
    // interpolation mod p needs one point per unit of the bound.
    int32_t d = gcd_impl::top_degree(*st->v);
    int coprime = 0;
    for (int i = 0; i < 3 && !coprime; i++) {
        int32_t di = 0;
        coprime = fast_test_2(1, &di, st, i);
        if (di < d) d = di;
    }
    if (coprime) {
        end_with_coefficient_gcd(st, false);
        return true;
    }
    if (*st->test_only) {
        end_with_marker(st, d);
        return true;
    }
    st->last_degree = d;
    st->degree_bound = d;
    return false;
}

bool gcd_fast_test_loop(gcd_state* st, int32_t n, int changed) {
    polynode* u = *st->u;
    polynode* v = *st->v;
    const int32_t level = (*st->vars)->level;
    int32_t N = 0;
    if (st->allow_tests) {
        const bool short_ops = fast_poly_length(u, 5) + fast_poly_length(v, 5) < 8;
        if (!modularmode)
            N = short_ops ? 2 + (n > 12) : 4;
        else
            N = short_ops ? 1 : 2 + (n > 25);
        if (st->seen_common) N = st->shift_u * st->shift_v == 0 ? -1 : std::min(N, 3);
        const int16_t* list = base_3_list;
        int32_t count = BASE_3_COUNT;
        st->test_base = 3;
        if (modularmode) {
            list = modulus == 2 ? base_2_list : base_7_list;
            count = modulus == 2 ? BASE_2_COUNT : BASE_7_COUNT;
            st->test_base = static_cast<int16_t>(modulus == 2 ? 2 : 7);
        }
        // Only as many points as the list holds: the entries past it are
        // never read by a test index within N.
        const int32_t copy = std::min({std::max<int32_t>(st->level_count, N), count, GCD_POINT_TABLE});
        for (int32_t i = 0; i < copy; i++) st->points[i] = list[i];
        if (st->level_count == 2) {
            if (st->test_base == 2)
                N = 1;
            else if (!modularmode)
                N = std::min(6, N);
            else
                N = std::min(modulus - 1, N);
        }
        // Past the list a test index would read no point of its own.
        if (!modularmode) N = std::min(N, count - 1);
    }
    int32_t B = st->degree_bound;
    if (!st->allow_tests) {
        B = 1;
    } else {
        if (!modularmode || changed || st->test_levels < 2)
            B = 1;
        else
            N = 0;
        int64_t su = 0, sv = 0;
        const int32_t nu = expon_node_total(u, level, 1, &su);
        const int32_t nv = expon_node_total(v, level, 1, &sv);
        const bool balanced = nv / 20 <= nu && nu / 20 <= nv;
        if ((!lintmode || changed) && st->test_levels > 1 && balanced && N > 0) {
            for (int32_t i = 1; i <= N; i++) {
                int32_t d = 0;
                if (fast_test_2(i, &d, st, i)) {
                    gcd_release_operand(st, 1);
                    gcd_release_operand(st, 2);
                    free_poly(st->g);
                    poly_set(1, st->g);
                    finish_4(st);
                    return true;
                }
                st->last_degree = d;
                if (d > B) B = d;
            }
        }
    }
    st->degree_bound = B;
    if (modularmode && *st->test_only) {
        gcd_release_operand(st, 1);
        gcd_release_operand(st, 2);
        free_poly(st->g);
        *st->g = gcd_impl::x_to(B > 0 ? B : 1);
        finish_4(st);
        return true;
    }
    return false;
}
