// The Hessenberg road to the characteristic polynomial over a field: the
// reduction by similarity transforms and the recurrence on the leading
// principal blocks of the Hessenberg form. One template serves the word
// primes (Shoup multipliers, lazy dot products) and the characteristic-2
// fields (the ring's tables).
#include "det/hessenberg.h"

#include <algorithm>
#include <utility>

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

namespace {

struct WordField {
    using W = uint32_t;
    const wordmod::Prime& P;
    W add(W a, W b) const { return P.add(a, b); }
    W mul(W a, W b) const { return P.mul(a, b); }
    W inv(W a) const { return P.inv(a); }
    // d := d - u s over len words.
    void sub_times(W* d, const W* s, W u, int32_t len) const {
        if (u == 0) return;
        const wordmod::Multiplier F(P.p - u, P);
        for (int32_t j = 0; j < len; j++) d[j] = P.add(d[j], F.times(s[j]));
    }
    W dot(const W* a, const W* b, int32_t len) const { return P.dot(a, b, static_cast<size_t>(len)); }
};

// GF(2^8) and GF(2^16): sums are exclusive or, products the ring's tables.
struct TableField {
    using W = int32_t;
    W add(W a, W b) const { return mod_add(a, b, modulus); }
    W mul(W a, W b) const { return modmult(a, b); }
    W inv(W a) const { return imod_inverse(a); }
    void sub_times(W* d, const W* s, W u, int32_t len) const {
        for (int32_t j = 0; j < len; j++)
            if (s[j]) d[j] = mod_sub(d[j], modmult(u, s[j]), modulus);
    }
    W dot(const W* a, const W* b, int32_t len) const {
        W s = 0;
        for (int32_t j = 0; j < len; j++)
            if (a[j] && b[j]) s = mod_add(s, modmult(a[j], b[j]), modulus);
        return s;
    }
};

// h := an upper Hessenberg matrix similar to it. At column m - 1 the
// pivot row m clears the rows below (h := L h) and column m takes their
// multiples back (h := h L^-1).
template <class F>
void to_hessenberg(std::vector<typename F::W>& h, int32_t n, const F& f) {
    using W = typename F::W;
    std::vector<W> u(static_cast<size_t>(n), 0);
    auto row = [&](int32_t i) { return h.data() + static_cast<size_t>(i) * n; };
    for (int32_t m = 1; m + 1 < n; m++) {
        poll_interrupt();
        int32_t r = m;
        while (r < n && row(r)[m - 1] == 0) r++;
        if (r == n) continue;
        if (r != m) {
            std::swap_ranges(row(r), row(r) + n, row(m));
            for (int32_t i = 0; i < n; i++) std::swap(row(i)[r], row(i)[m]);
        }
        const W inv = f.inv(row(m)[m - 1]);
        bool any = false;
        for (int32_t i = m + 1; i < n; i++) {
            W* ri = row(i);
            u[i] = 0;
            if (ri[m - 1] == 0) continue;
            u[i] = f.mul(ri[m - 1], inv);
            ri[m - 1] = 0;
            f.sub_times(ri + m, row(m) + m, u[i], n - m);
            any = true;
        }
        if (!any) continue;
        for (int32_t i = 0; i < n; i++) {
            W* ri = row(i);
            ri[m] = f.add(ri[m], f.dot(ri + m + 1, u.data() + m + 1, n - m - 1));
        }
    }
}

// c := det(xI - h) for h upper Hessenberg, by expanding the leading block
// of size k + 1 along its last column: p_k+1 = (x - h_kk) p_k - sum over
// i < k of h_ik (h_i+1,i ... h_k,k-1) p_i.
template <class F>
void hessenberg_poly(const std::vector<typename F::W>& h, int32_t n, const F& f, std::vector<typename F::W>& c) {
    using W = typename F::W;
    auto at = [&](int32_t i, int32_t j) { return h[static_cast<size_t>(i) * n + j]; };
    std::vector<std::vector<W>> p(static_cast<size_t>(n) + 1);
    p[0].assign(1, 1);
    for (int32_t k = 0; k < n; k++) {
        poll_interrupt();
        std::vector<W>& q = p[k + 1];
        q.assign(static_cast<size_t>(k) + 2, 0);
        std::copy(p[k].begin(), p[k].end(), q.begin() + 1);
        f.sub_times(q.data(), p[k].data(), at(k, k), k + 1);
        W t = 1;
        for (int32_t i = k - 1; i >= 0; i--) {
            t = f.mul(t, at(i + 1, i));
            if (t == 0) break;
            const W e = f.mul(at(i, k), t);
            if (e) f.sub_times(q.data(), p[i].data(), e, i + 1);
        }
    }
    c = std::move(p[n]);
}

}  // namespace

void hessenberg_charpoly(std::vector<uint32_t>& a, int32_t n, const wordmod::Prime& P, std::vector<uint32_t>& c) {
    const WordField f{P};
    to_hessenberg(a, n, f);
    hessenberg_poly(a, n, f, c);
}

void hessenberg_charpoly_field(std::vector<int32_t>& a, int32_t n, std::vector<int32_t>& c) {
    const TableField f;
    to_hessenberg(a, n, f);
    hessenberg_poly(a, n, f, c);
}
