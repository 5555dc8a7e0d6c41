#include "det/word_arith.h"

#include <utility>
#include <vector>

#include "det/word_det_wide.h"
#include "toplevel/errors.h"

namespace wordmod {

int64_t inverse_mod(int64_t a, int64_t m) {
    int64_t r0 = m, r1 = ((a % m) + m) % m, s0 = 0, s1 = 1;
    while (r1) {
        const int64_t q = r0 / r1;
        std::swap(r0, r1);
        r1 -= q * r0;
        std::swap(s0, s1);
        s1 -= q * s0;
    }
    if (r0 != 1) return 0;
    return s0 < 0 ? s0 + m : s0;
}

uint32_t Prime::inv(uint32_t a) const { return static_cast<uint32_t>(inverse_mod(a, p)); }

void Prime::invert_all(uint32_t* a, size_t count) const {
    if (count == 0) return;
    std::vector<uint32_t> prefix(count);
    uint32_t acc = 1 % p;
    for (size_t i = 0; i < count; i++) {
        prefix[i] = acc;
        acc = mul(acc, a[i]);
    }
    uint32_t r = inv(acc);
    for (size_t i = count; i-- > 0;) {
        const uint32_t ai = a[i];
        a[i] = mul(r, prefix[i]);
        r = mul(r, ai);
    }
}

uint32_t det(uint32_t* a, int32_t n, const Prime& P) {
    uint32_t v;
    if (det_wide(a, n, P, &v)) return v;
    return det_portable(a, n, P);
}

uint32_t det_portable(uint32_t* a, int32_t n, const Prime& P) {
    const uint32_t p = P.p;
    auto row = [&](int32_t i) { return a + static_cast<size_t>(i) * static_cast<size_t>(n); };
    uint32_t num = 1 % p;   // product of the pivots (and the sign)
    uint32_t den = 1 % p;   // what the row scalings multiplied the determinant by
    bool negate = false;
    for (int32_t k = 0; k < n; k++) {
        poll_interrupt();
        int32_t r = k;
        while (r < n && row(r)[k] == 0) r++;
        if (r == n) return 0;
        if (r != k) {
            std::swap_ranges(row(k) + k, row(k) + n, row(r) + k);
            negate = !negate;
        }
        const uint32_t* pk = row(k);
        const uint32_t piv = pk[k];
        num = P.mul(num, piv);
        for (int32_t i = k + 1; i < n; i++) {
            uint32_t* ri = row(i);
            const uint32_t e = ri[k];
            if (e == 0) continue;
            // row_i := piv row_i - e row_k: both products below 2^62.
            const uint64_t ne = p - e;
            for (int32_t j = k + 1; j < n; j++) ri[j] = P.reduce(uint64_t{piv} * ri[j] + ne * pk[j]);
            den = P.mul(den, piv);
        }
    }
    uint32_t d = P.mul(num, P.inv(den));
    return negate && d ? p - d : d;
}

}  // namespace wordmod
