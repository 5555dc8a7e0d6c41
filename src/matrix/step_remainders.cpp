#include "matrix/step_remainders.h"

#include <numeric>

#include "numbers/digits_impl.h"

void step_remainders(PivotBlock& a, int32_t k, const FlatInt& d, StepRemainders& s) {
    s.rem.resize(a.v.size());
    s.any_integer = false;
    for (int32_t j = k; j < a.m; j++)
        for (int32_t r = k; r < a.n; r++) {
            const FlatInt& b = a.at(r, j);
            if (flat_zero(b)) continue;
            FlatInt& t = s.rem[static_cast<size_t>(j) * a.n + r];
            if (flat_cmp_abs(b, d) < 0) {
                t = b;
                continue;
            }
            flat_rem(b, d, t);
            if (flat_zero(t)) s.any_integer = true;
        }
    // With an integer among them no fraction is weighed at all.
    if (s.any_integer) return;
    FlatInt product, t;
    flat_set(1, product);
    for (int32_t j = k; j < a.m && !flat_zero(product); j++)
        for (int32_t r = k; r < a.n && !flat_zero(product); r++) {
            if (flat_zero(a.at(r, j))) continue;
            flat_mul(product, s.rem[static_cast<size_t>(j) * a.n + r], t);
            flat_rem(t, d, product);
        }
    // A product that vanishes modulo d leaves G = d: no saving, still exact.
    if (flat_zero(product)) {
        s.common = d;
        s.common.sign = 1;
    } else {
        flat_gcd(d, product, s.common);
    }
}

namespace {

// The digit count of x / g for a g of one digit dividing x: one less
// exactly when g exceeds x's leading digit.
int32_t digits_over_word(const FlatInt& x, uint32_t g) {
    return flat_digits(x) - (x.mag.back() < g ? 1 : 0);
}

}  // namespace

int32_t step_fraction_mass(const StepRemainders& s, const FlatInt& b, size_t cell, const FlatInt& d) {
    if (flat_unit(s.common)) return flat_digits(b) + flat_digits(d);
    if (s.common.mag.size() == 1) {
        // gcd(B, d) = gcd(B rem G, G), all in one word.
        const uint32_t big = s.common.mag[0];
        const uint32_t g = std::gcd(big, digits::mag_divmod_word(b.mag.data(), static_cast<int32_t>(b.mag.size()), big, nullptr));
        return digits_over_word(b, g) + digits_over_word(d, g);
    }
    FlatInt g, t;
    flat_gcd(s.rem[cell], s.common, g);
    if (flat_unit(g)) return flat_digits(b) + flat_digits(d);
    flat_div(b, g, t);
    int32_t mass = flat_digits(t);
    flat_div(d, g, t);
    return mass + flat_digits(t);
}
