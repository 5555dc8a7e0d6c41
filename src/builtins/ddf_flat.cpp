// Distinct-degree splitting over Z/p on word arrays (see ddf_flat.h).
//
// Repeated powering h := h^p mod f costs log p products per degree; the
// p-th power map is linear over Z/p, so with the rows x^(p j) mod f at hand
// h^p mod f = sum_j h_j x^(p j) mod f is one pass over the rows. The rows
// are n^2 words (n = deg f), hence the degree limits below.
#include "builtins/ddf_flat.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "builtins/ddf_bits.h"
#include "gcd/exactdiv.h"
#include "numbers/ring.h"
#include "poly/modmult.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

using namespace factor_impl;
using namespace powermod_impl;

namespace {

// Beyond these degrees the rows take more memory than the term-list road
// is worth avoiding: twice 36 MB of words. Modulo 2 no rows are held; the
// bound only keeps a session to a few minutes.
constexpr int32_t MAX_DEGREE_BITS = 1 << 17;
constexpr int32_t MAX_DEGREE_WORDS = 3000;

// ---- odd characteristic: residues in machine words ----

// Residues with sums of products left unreduced while they fit 64 bits.
struct Lazy {
    uint64_t p;
    int64_t room;   // products of two residues a reduced word can take
    explicit Lazy(uint64_t prime) : p(prime) {
        const uint64_t sq = (p - 1) * (p - 1);
        room = static_cast<int64_t>((~uint64_t{0} - p) / sq);
    }
    void reduce(uint64_t* a, size_t len) const {
        for (size_t i = 0; i < len; i++) a[i] %= p;
    }
};

// acc[0 .. len) := acc mod f (f monic of degree n, len > n allowed), the
// words of acc below p on entry; the remainder's n words into r.
void reduce_mod(const Lazy& L, std::vector<uint64_t>& acc, int32_t len, const std::vector<uint32_t>& f, int32_t n,
                uint32_t* r) {
    int64_t used = 0;
    for (int32_t k = len - 1; k >= n; k--) {
        const uint64_t c = acc[k] % L.p;
        if (!c) continue;
        const uint64_t m = L.p - c;
        uint64_t* w = acc.data() + (k - n);
        for (int32_t i = 0; i < n; i++) w[i] += m * f[i];
        if (++used == L.room) {
            L.reduce(acc.data(), static_cast<size_t>(k));
            used = 0;
        }
    }
    for (int32_t i = 0; i < n; i++) r[i] = static_cast<uint32_t>(acc[i] % L.p);
}

// r := a b mod f, a and b of degree below n (r may be a or b).
void mul_mod(const Lazy& L, const uint32_t* a, const uint32_t* b, const std::vector<uint32_t>& f, int32_t n,
             std::vector<uint64_t>& acc, uint32_t* r) {
    acc.assign(static_cast<size_t>(2 * n - 1), 0);
    int64_t used = 0;
    for (int32_t i = 0; i < n; i++) {
        const uint64_t ai = a[i];
        if (!ai) continue;
        uint64_t* w = acc.data() + i;
        for (int32_t j = 0; j < n; j++) w[j] += ai * b[j];
        if (++used == L.room) {
            L.reduce(acc.data(), acc.size());
            used = 0;
        }
    }
    L.reduce(acc.data(), acc.size());
    reduce_mod(L, acc, 2 * n - 1, f, n, r);
}

// r := r x mod f.
void times_x(const Lazy& L, uint32_t* r, const std::vector<uint32_t>& f, int32_t n) {
    const uint64_t t = r[n - 1];
    for (int32_t i = n - 1; i > 0; i--) r[i] = r[i - 1];
    r[0] = 0;
    if (!t) return;
    const uint64_t m = L.p - t;
    for (int32_t i = 0; i < n; i++) r[i] = static_cast<uint32_t>((r[i] + m * f[i]) % L.p);
}

// out := sum_k v[k] rows[k] (n rows of n words; out not v). Four rows a
// pass: the accumulator is read and written a quarter as often. Nearly all
// the time of the odd route is spent here, hence the loop vectorised.
__attribute__((optimize("O3"))) void combine_rows(const Lazy& L, const std::vector<uint32_t>& rows,
                                                  const uint32_t* v, int32_t n, std::vector<uint64_t>& acc,
                                                  uint32_t* out) {
    acc.assign(static_cast<size_t>(n), 0);
    uint64_t* a = acc.data();
    int64_t used = 0;
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const uint64_t c0 = v[k], c1 = v[k + 1], c2 = v[k + 2], c3 = v[k + 3];
        if (!(c0 | c1 | c2 | c3)) continue;
        const uint32_t* r0 = rows.data() + static_cast<size_t>(k) * n;
        const uint32_t *r1 = r0 + n, *r2 = r1 + n, *r3 = r2 + n;
        for (int32_t w = 0; w < n; w++) a[w] += c0 * r0[w] + c1 * r1[w] + c2 * r2[w] + c3 * r3[w];
        if ((used += 4) + 4 > L.room) {
            L.reduce(a, acc.size());
            used = 0;
        }
    }
    for (; k < n; k++) {
        const uint64_t c = v[k];
        const uint32_t* row = rows.data() + static_cast<size_t>(k) * n;
        for (int32_t w = 0; w < n; w++) a[w] += c * row[w];
        if (++used + 4 > L.room) {
            L.reduce(a, acc.size());
            used = 0;
        }
    }
    for (int32_t w = 0; w < n; w++) out[w] = static_cast<uint32_t>(a[w] % L.p);
}

// The rows x^(p j) mod f, j < n, n words each.
std::vector<uint32_t> power_rows(const Lazy& L, const std::vector<uint32_t>& f, int32_t n) {
    std::vector<uint32_t> rows(static_cast<size_t>(n) * n, 0);
    rows[0] = 1;
    if (L.p * 16 <= static_cast<uint64_t>(n)) {
        // A small p: each row is the one before times x, p times over.
        for (int32_t j = 1; j < n; j++) {
            uint32_t* row = rows.data() + static_cast<size_t>(j) * n;
            std::copy(row - n, row, row);
            for (uint64_t k = 0; k < L.p; k++) times_x(L, row, f, n);
        }
        return rows;
    }
    // g := x^p mod f by squaring and multiplying by x; then each row is
    // the one before times g, through the rows x^k g mod f of that map.
    std::vector<uint64_t> acc;
    std::vector<uint32_t> g(n, 0);
    g[0] = 1;
    for (int b = 63 - __builtin_clzll(L.p); b >= 0; b--) {
        mul_mod(L, g.data(), g.data(), f, n, acc, g.data());
        if ((L.p >> b) & 1) times_x(L, g.data(), f, n);
    }
    std::vector<uint32_t> by_g(static_cast<size_t>(n) * n);
    std::copy(g.begin(), g.end(), by_g.begin());
    for (int32_t k = 1; k < n; k++) {
        uint32_t* row = by_g.data() + static_cast<size_t>(k) * n;
        std::copy(row - n, row, row);
        times_x(L, row, f, n);
    }
    for (int32_t j = 1; j < n; j++) {
        poll_interrupt();
        uint32_t* row = rows.data() + static_cast<size_t>(j) * n;
        combine_rows(L, by_g, row - n, n, acc, row);
    }
    return rows;
}

void odd_distinct_degree(polynode** fslot, FactorFrame& fr) {
    const Lazy L(static_cast<uint64_t>(modulus));
    int32_t n = 0;
    std::vector<uint32_t> F(static_cast<size_t>((*fslot)->exp) + 1);
    fill_poly1_array(*fslot, F.data(), &n);
    std::vector<uint32_t> rows = power_rows(L, F, n);
    PolyHold f(*fslot);
    *fslot = nullptr;
    std::vector<uint32_t> h(n, 0);
    std::vector<uint64_t> acc;
    h[1] = 1;
    for (int32_t i = 1;; i++) {
        const int32_t D = degree(f.p);
        if (i > D / 2) {
            if (D > 0) append_1(&f.p, D, fr);
            return;
        }
        if (D <= n / 2) {
            // Most of the degree is split off: the rows again, modulo what is left.
            std::vector<uint32_t> G(static_cast<size_t>(D) + 1);
            int32_t dg = 0;
            fill_poly1_array(f.p, G.data(), &dg);
            acc.assign(h.begin(), h.end());
            std::vector<uint32_t> hr(D, 0);
            reduce_mod(L, acc, n, G, D, hr.data());
            F = std::move(G);
            n = D;
            h = std::move(hr);
            rows = power_rows(L, F, n);
        }
        poll_interrupt();
        std::vector<uint32_t> next(n);
        combine_rows(L, rows, h.data(), n, acc, next.data());
        h = std::move(next);
        std::vector<uint32_t> g = h;
        g[1] = static_cast<uint32_t>((g[1] + L.p - 1) % L.p);
        int32_t top = n - 1;
        while (top >= 0 && g[top] == 0) top--;
        if (top < 0) {
            append_1(&f.p, i, fr);
            return;
        }
        PolyHold gp;
        array_to_poly(g.data(), top, &gp.p);
        PolyHold d;
        field_gcd(gp.p, f.p, &d.p, fr.rec);
        if (lone(d.p)) continue;
        if (degree(d.p) == D) {
            append_1(&f.p, i, fr);
            return;
        }
        if (!fr.stop_first) {
            divide_out(&f.p, d.p, fr);
        }
        append_1(&d.p, i, fr);
    }
}

}  // namespace

bool factor_impl::flat_distinct_degree(polynode** fslot, FactorFrame& fr) {
    polynode* f = *fslot;
    if (!modularmode || !mod_is_prime || finf || field_depth != 0 || modulus < 2) return false;
    if (!f || f->numb || relation_inward(fr.rec) || !height_is_1(f)) return false;
    const int32_t n = f->exp;
    if (n < 2 || n > (modulus == 2 ? MAX_DEGREE_BITS : MAX_DEGREE_WORDS)) return false;
    for (const polynode* t = f; t; t = t->next)
        if (t->exp < 0) return false;
    if (f->pcoef->ncoef->value != 1) return false;
    if (modulus == 2)
        even_distinct_degree(fslot, fr);
    else
        odd_distinct_degree(fslot, fr);
    return true;
}
