// Mixed-radix digits to a digit number (see numbers/mixed_radix.h).
#include "numbers/mixed_radix.h"

#include <vector>

#include "numbers/numbers.h"

imag* mixed_radix_number(const int32_t* digits, const uint32_t* primes, size_t k) {
    if (k == 0) return int128_number(0);
    // Horner's rule from the newest digit, in two's complement on words:
    // |value| < p_0 ... p_(k-1) < 2^(32k), so 32k bits and a sign fit.
    const size_t n = (32 * k + 1) / 64 + 1;
    std::vector<uint64_t> w(n, 0);
    auto add_signed = [&](int32_t d) {
        const uint64_t ext = d < 0 ? ~uint64_t{0} : 0;
        unsigned __int128 s = static_cast<unsigned __int128>(w[0]) + static_cast<uint64_t>(static_cast<int64_t>(d));
        w[0] = static_cast<uint64_t>(s);
        uint64_t carry = static_cast<uint64_t>(s >> 64);
        for (size_t i = 1; i < n; i++) {
            s = static_cast<unsigned __int128>(w[i]) + ext + carry;
            w[i] = static_cast<uint64_t>(s);
            carry = static_cast<uint64_t>(s >> 64);
        }
    };
    add_signed(digits[k - 1]);
    for (size_t i = k - 1; i-- > 0;) {
        // Multiplying the two's complement words by p is exact modulo 2^(64n).
        uint64_t carry = 0;
        for (size_t j = 0; j < n; j++) {
            const unsigned __int128 t = static_cast<unsigned __int128>(w[j]) * primes[i] + carry;
            w[j] = static_cast<uint64_t>(t);
            carry = static_cast<uint64_t>(t >> 64);
        }
        add_signed(digits[i]);
    }
    int sign = 1;
    if (w[n - 1] >> 63) {
        sign = -1;
        uint64_t carry = 1;
        for (size_t j = 0; j < n; j++) {
            const unsigned __int128 t = static_cast<unsigned __int128>(~w[j]) + carry;
            w[j] = static_cast<uint64_t>(t);
            carry = static_cast<uint64_t>(t >> 64);
        }
    }
    return words_number(w.data(), static_cast<int32_t>(n), sign);
}
