// The reference route of the gcd tests and the gcd bench: Algorithm C
// alone, run on a driver working state as the method choice hands a pair
// over, with the hand-back to the full driver ruled out. Header-only, so
// that the bench can use it without the test libraries.
#pragma once
#include <cstdint>

#include "gcd/algc.h"
#include "gcd/gcd_state.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/errors.h"

// A new polynomial: gcd(u, v) by Algorithm C alone. u and v primitive with
// respect to their top variable (the variable of vars), both of positive
// degree in it; kept.
inline polynode* forced_algorithm_c(polynode* u, polynode* v, pt* vars) {
    struct CountBack {
        int32_t saved = alg_c_count;
        ~CountBack() { alg_c_count = saved; }
    } count_back;
    alg_c_count = 1 << 20;
    polynode* wu = nullptr;
    polynode* wv = nullptr;
    poly_assign(u, &wu);
    poly_assign(v, &wv);
    polynode* g = nullptr;
    int test_only = 0;
    gcd_state st{};
    st.test_only = &test_only;
    st.vars = &vars;
    st.u = &wu;
    st.v = &wv;
    st.g = &g;
    st.stride = 1;
    st.depth_u = st.depth_v = -1;
    st.owns_u = st.owns_v = 1;
    st.degree_bound = 1;
    algorithm_c(&st, 0, 0);
    return g;
}
