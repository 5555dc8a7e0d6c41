// Decimal limbs (radix 10^8) into digit numbers, by halves: the high and
// the low halves are converted apart and joined as H * 10^(8 * len(L)) + L
// with the fast products, so reading a number costs about what writing it
// by verybig_base_10 costs instead of one pass per limb.
#include <algorithm>
#include <map>

#include "numbers/base10.h"
#include "numbers/digits_impl.h"
#include "numbers/numbers.h"

namespace {

using digits::Mag;
using digits::mag_len;

// Pieces of at most this many limbs are taken limb by limb (one multiply-add
// pass per limb), which is quadratic but has no product overhead.
constexpr int32_t HORNER_CUT = 32;

// out := the limbs l[0 .. n) (least significant first) in base 2^28.
void horner(const uint32_t* l, int32_t n, Mag& out) {
    out.clear();
    for (int32_t i = n - 1; i >= 0; i--) {
        uint64_t carry = l[i];
        for (uint32_t& d : out) {
            const uint64_t t = static_cast<uint64_t>(d) * TEN_8 + carry;
            d = static_cast<uint32_t>(t & DIGIT_MASK);
            carry = t >> DIGIT_BITS;
        }
        while (carry) {
            out.push_back(static_cast<uint32_t>(carry & DIGIT_MASK));
            carry >>= DIGIT_BITS;
        }
    }
}

// The powers 10^(8e) in base 2^28 one conversion needs, each the product of
// the powers for the two halves of e and computed once: the halving splits
// ask for at most two neighbouring exponents a level.
class TenPowers {
public:
    const Mag& get(int32_t e) {
        auto it = memo_.find(e);
        if (it != memo_.end()) return it->second;
        Mag p;
        if (e == 1) {
            p.assign(1, static_cast<uint32_t>(TEN_8));
        } else {
            const Mag& lo = get(e / 2);
            const Mag& hi = get(e - e / 2);
            digits::mag_mul(hi.data(), static_cast<int32_t>(hi.size()), lo.data(), static_cast<int32_t>(lo.size()), p);
            p.resize(static_cast<size_t>(std::max(1, mag_len(p.data(), static_cast<int32_t>(p.size())))));
        }
        return memo_.emplace(e, std::move(p)).first->second;
    }

private:
    std::map<int32_t, Mag> memo_;   // node-based: references stay valid as it grows
};

void convert(const uint32_t* l, int32_t n, TenPowers& powers, Mag& out) {
    while (n > 0 && l[n - 1] == 0) n--;
    if (n <= HORNER_CUT) {
        horner(l, n, out);
        return;
    }
    const int32_t low = n - n / 2;
    Mag H, L;
    convert(l + low, n - low, powers, H);
    convert(l, low, powers, L);
    const Mag& p = powers.get(low);
    digits::mag_mul(H.data(), static_cast<int32_t>(H.size()), p.data(), static_cast<int32_t>(p.size()), out);
    // L < 10^(8 low), so the sum fits the product's digits.
    uint32_t carry = 0;
    size_t i = 0;
    for (; i < L.size(); i++) {
        const uint32_t t = out[i] + L[i] + carry;
        out[i] = t & DIGIT_MASK;
        carry = t >> DIGIT_BITS;
    }
    for (; carry && i < out.size(); i++) {
        const uint32_t t = out[i] + carry;
        out[i] = t & DIGIT_MASK;
        carry = t >> DIGIT_BITS;
    }
}

}  // namespace

void number_from_base_10(const uint32_t* limbs, int32_t n, imag* out) {
    Mag r;
    if (n > HORNER_CUT) {
        TenPowers powers;
        digits::PrivateOperands mark;
        convert(limbs, n, powers, r);
    } else {
        horner(limbs, n, r);
    }
    digits::write_number(out, r, 1);
}
