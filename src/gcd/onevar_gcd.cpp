#include "gcd/onevar_gcd.h"

#include <utility>

#include "gcd/gcd_special.h"
#include "gcd/gcdstash.h"
#include "gcd/halfgcd.h"
#include "gcd/onevar_div.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/coefops.h"
#include "poly/dense.h"
#include "poly/modmult.h"
#include "poly/polyvars.h"
#include "quoly/monic.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/stash.h"
#include "toplevel/errors.h"

int32_t small_gcd_stash_cut = 100;

namespace {

// Copy-then-free into a result slot.
void deliver(polynode** result, polynode* value) {
    polynode* old = *result;
    *result = value;
    if (old) free_poly(&old);
}

void one(polynode** result) {
    polynode* p = nullptr;
    poly_set(1, &p);
    deliver(result, p);
}

void make_result_monic(polynode** result, int make_monic, pt* var) {
    if (!make_monic || (*result)->numb) return;
    polynode* lc = nullptr;
    monic_poly(result, &lc, var);
    if (lc) free_poly(&lc);
}

// a[0 .. *da] := a mod b[0 .. db] by the schoolbook elimination, with the
// coefficient product mul. Returns 1 when the remainder is zero (*da = -1).
template <class Mul>
int reduce_inline(uint32_t* a, int32_t* da, const uint32_t* b, int32_t db, Mul mul) {
    int32_t c = 0;
    mod_inverse(static_cast<int32_t>(b[db]), &c);
    while (*da >= db) {
        const int32_t t = mul(static_cast<int32_t>(a[*da]), c);
        const int32_t s = *da - db;
        for (int32_t i = db - 1; i >= 0; i--)
            a[i + s] = static_cast<uint32_t>(mod_sub(static_cast<int32_t>(a[i + s]),
                                                     mul(t, static_cast<int32_t>(b[i])), modulus));
        a[*da] = 0;
        do (*da)--;
        while (*da >= 0 && a[*da] == 0);
    }
    return *da < 0;
}

// The Euclid loops end with the gcd of degree ds in the array s (xx or
// yy); the record says where.
int gcd_found(DenseGcdState* st, const uint32_t* s, int32_t ds) {
    st->flag = 1;
    if (s == xx) {
        st->deg_xx = ds;
    } else {
        st->deg_xx = -1;
        st->deg_yy = ds;
    }
    return 1;
}

// Euclid on xx and yy with the products of mul; the record as simple_onevar_gcd leaves it.
template <class Mul>
int inline_euclid(DenseGcdState* st, Mul mul) {
    uint32_t *f = xx, *s = yy;
    int32_t df = st->deg_xx, ds = st->deg_yy;
    if (df < ds) {
        std::swap(f, s);
        std::swap(df, ds);
    }
    for (;;) {
        if (ds == 0) {
            st->flag = 0;
            return 0;
        }
        if (reduce_inline(f, &df, s, ds, mul)) break;
        std::swap(f, s);
        std::swap(df, ds);
    }
    return gcd_found(st, s, ds);
}

// The dense routes share everything but the Euclid loop.
template <class Euclid>
void dense_gcd(polynode* u, polynode* v, polynode** result, int make_monic, pt* var, Euclid run) {
    const int32_t du = onevar_degree(u), dv = onevar_degree(v);
    if (du >= fast_gcd_size || dv >= fast_gcd_size) {
        PolyHold g;
        emgcd_poly(u, v, &g.p, var, 1);
        deliver(result, g.release());
        make_result_monic(result, make_monic, var);
        return;
    }
    fill_poly_array(u, xx);
    fill_poly_array(v, yy);
    DenseGcdState st{dv, du, 0};
    PolyHold g;
    if (run(&st)) {
        if (st.deg_xx >= 0)
            array_to_poly(xx, st.deg_xx, &g.p);
        else
            array_to_poly(yy, st.deg_yy, &g.p);
    } else {
        poly_set(1, &g.p);
    }
    deliver(result, g.release());
    make_result_monic(result, make_monic, var);
}

int modmult_product(int32_t a, int32_t b) { return modmult(a, b); }
int table_product(int32_t a, int32_t b) { return f256prod[(a & 0xFF) << 8 | (b & 0xFF)]; }

// r := a mod b (operands kept).
polynode* remainder_of(polynode* a, polynode* b) {
    PolyHold q, r;
    euclid_divide(a, b, &q.p, &r.p);
    return r.release();
}

// Puts the leading coefficients that monic_coefs took off back on every exit.
struct MonicPair {
    polynode *u, *v;
    int32_t lead_u = 1, lead_v = 1;
    MonicPair(polynode* a, polynode* b) : u(a), v(b) {}
    MonicPair(const MonicPair&) = delete;
    MonicPair& operator=(const MonicPair&) = delete;
    ~MonicPair() {
        if (lead_u != 1) mod_num_poly_mult(u, lead_u);
        if (lead_v != 1) mod_num_poly_mult(v, lead_v);
    }
};

// A gcd promised to the stash: the depth stays raised (no purge) until it
// is stored, and comes down also when the computation unwinds.
struct PendingStore {
    polynode* record = nullptr;
    void open(polynode* r) {
        record = r;
        polygcd_stack_depth++;
    }
    void close() {
        record = nullptr;
        if (--polygcd_stack_depth < 0) tarvex_error("negative polygcd_stack_depth 2", 0);
    }
    PendingStore() = default;
    PendingStore(const PendingStore&) = delete;
    PendingStore& operator=(const PendingStore&) = delete;
    ~PendingStore() {
        if (record) polygcd_stack_depth--;
    }
};

bool is_zero_number(const polynode* p) { return p->numb && onevar_degree(p) < 0; }

}  // namespace

int simple_onevar_gcd(DenseGcdState* st) {
    uint32_t *f = xx, *s = yy;
    int32_t df = st->deg_xx, ds = st->deg_yy;
    if (df < ds) {
        std::swap(f, s);
        std::swap(df, ds);
    }
    for (;;) {
        if (ds == 0) {
            st->flag = 0;
            return 0;
        }
        int32_t zero = 0;
        if (modulus < 46340 && df == ds + 1)
            onevar_one(f, s, &df, ds, &zero);
        else
            onevar_array_mod(f, s, &df, ds, &zero);
        if (zero) break;
        std::swap(f, s);
        std::swap(df, ds);
    }
    return gcd_found(st, s, ds);
}

void fastest_poly_gcd(polynode* u, polynode* v, polynode** result, int make_monic, pt* var) {
    dense_gcd(u, v, result, make_monic, var, [](DenseGcdState* st) {
        if (!finf) return simple_onevar_gcd(st);
        if (f256) return inline_euclid(st, table_product);
        return inline_euclid(st, modmult_product);
    });
}

void faster_poly_gcd(polynode* u, polynode* v, polynode** result, int make_monic, pt* var) {
    dense_gcd(u, v, result, make_monic, var,
              [](DenseGcdState* st) { return inline_euclid(st, modmult_product); });
}

void emgcd_poly(polynode* u, polynode* v, polynode** result, pt* var, int first) {
    PolyHold a, b;
    if (first) {
        PolyHold r;
        r.p = remainder_of(u, v);
        if (r.p->numb) {
            if (is_zero_number(r.p)) {
                polynode* c = nullptr;
                poly_assign(v, &c);
                deliver(result, c);
            } else {
                one(result);
            }
            return;
        }
        poly_assign(v, &a.p);
        b.p = r.release();
    } else {
        poly_assign(u, &a.p);
        poly_assign(v, &b.p);
    }
    {
        PolyHold m11, m12, m21, m22;
        emgcd_full(&a.p, &b.p, &m11.p, &m12.p, &m21.p, &m22.p, 0);
    }
    if (a.p->numb) {
        one(result);
        return;
    }
    if (b.p->numb) {
        if (is_zero_number(b.p))
            deliver(result, a.release());
        else
            one(result);
        return;
    }
    PolyHold r;
    r.p = remainder_of(a.p, b.p);
    if (r.p->numb) {
        if (is_zero_number(r.p))
            deliver(result, b.release());
        else
            one(result);
        return;
    }
    free_poly(&a.p);
    if (onevar_degree(b.p) + onevar_degree(r.p) >= poly_cutoff)
        emgcd_poly(b.p, r.p, result, var, 0);
    else
        basic_poly_gcd(b.p, r.p, result, 0, var);
}

void basic_poly_gcd(polynode* u, polynode* v, polynode** result, int make_monic, pt* var) {
    if (onevar_degree(u) < onevar_degree(v)) std::swap(u, v);
    if (u->numb || v->numb) {
        tarvex_error(" number in basic_poly_gcd ", 1);
        return;
    }
    if (!u->next) {
        monomial2(u, v, result);
        return;
    }
    if (!v->next) {
        monomial2(v, u, result);
        return;
    }
    // The stash is keyed on the monic forms, so that scalar multiples of a
    // pair meet the same entry; the operands get their scale back at once.
    PendingStore pending;
    if (lookupgcd > 0 && onevar_degree(u) + onevar_degree(v) > small_gcd_stash_cut &&
        onevar_degree(v) >= 2 &&
        static_cast<uint32_t>(gcdmass) < static_cast<uint32_t>(initial_memory) / 2u) {
        polynode* record = nullptr;
        {
            MonicPair scaled(u, v);
            monic_coefs(u, v, &scaled.lead_u, &scaled.lead_v);
            gcdhash(v, u, &record);
        }
        if (stashed_gcd(record)) {
            polynode* c = nullptr;
            poly_assign(stashed_gcd(record), &c);
            deliver(result, c);
            return;
        }
        pending.open(record);
    }
    PolyHold g;
    if (onevar_degree(u) <= fast_gcd_size && onevar_degree(v) <= fast_gcd_size) {
        if (modulus <= 65534)
            fastest_poly_gcd(u, v, &g.p, 0, var);
        else
            faster_poly_gcd(u, v, &g.p, 0, var);
    } else {
        emgcd_poly(u, v, &g.p, var, 1);
    }
    make_result_monic(&g.p, make_monic, var);
    if (pending.record) {
        store_stashed_gcd(pending.record, g.p);
        pending.close();
    }
    deliver(result, g.release());
}
