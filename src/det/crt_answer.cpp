// Chinese remaindering of polynomial images in mixed radix.
#include "det/crt_answer.h"

#include <algorithm>

#include "det/poly_det_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/from_terms.h"
#include "quoly/quoly.h"
#include "storage/assign.h"

namespace polydet {

bool CrtAnswer::negative(const std::vector<uint32_t>& t) const {
    for (size_t j = t.size(); j-- > 0;)
        if (t[j] != half[j]) return t[j] > half[j];
    return false;
}

void CrtAnswer::compute_half() {
    half.assign(primes.size(), 0);
    uint64_t r = 0;
    for (size_t j = primes.size(); j-- > 0;) {
        const uint64_t v = r * primes[j] + (primes[j] - 1);
        half[j] = static_cast<uint32_t>(v / 2);
        r = v % 2;
    }
}

std::vector<uint32_t> CrtAnswer::prefixes() const {
    std::vector<uint32_t> pre(primes.size() + 1, 1);
    for (size_t j = 0; j < primes.size(); j++)
        pre[j + 1] = rmul(pre[j], static_cast<uint32_t>(primes[j] % static_cast<uint32_t>(modulus)));
    return pre;
}

uint32_t CrtAnswer::residue(const std::vector<uint32_t>& t, const std::vector<uint32_t>& pre) const {
    uint32_t a = 0;
    for (size_t j = 0; j < t.size(); j++) a = radd(a, rmul(t[j] % static_cast<uint32_t>(modulus), pre[j]));
    if (negative(t)) a = rsub(a, pre[t.size()]);
    return a;
}

// Folds the image into the combined answer; true when the answer in the
// symmetric range is the same as before (`equivalent`).
bool crt_fold(CrtAnswer& A, const Image& img, uint32_t p) {
    const std::vector<uint32_t> pre = A.prefixes();   // modulo p: the ring is p now
    const uint32_t Minv = rinv(pre[A.primes.size()]);
    const size_t k = A.primes.size();
    bool same = true;
    auto fold = [&](std::vector<uint32_t>& t, uint32_t d) {
        uint32_t a = 0;
        for (size_t j = 0; j < k; j++) a = radd(a, rmul(t[j], pre[j]));
        const uint32_t digit = rmul(rsub(d, a), Minv);
        const bool neg = k > 0 && A.negative(t);
        if (!((digit == 0 && !neg) || (digit == p - 1 && neg))) same = false;
        t.push_back(digit);
    };
    for (auto& [mono, t] : A.digits) {
        auto it = img.find(mono);
        fold(t, it == img.end() ? 0 : it->second);
    }
    for (const auto& [mono, d] : img) {
        if (A.digits.count(mono)) continue;
        std::vector<uint32_t> t(k, 0);
        fold(t, d);
        A.digits.emplace(mono, std::move(t));
    }
    A.primes.push_back(p);
    A.compute_half();
    return same;
}

// The combined answer as integers in the symmetric range
// (`construct_answer`), into the empty slot *q.
void construct_answer_1(const CrtAnswer& A, int32_t nvars, quoly** q) {
    std::vector<int32_t> exps;
    std::vector<imag*> numbers;
    const size_t k = A.primes.size();
    std::vector<uint64_t> M(1, 1);
    auto times_add = [](std::vector<uint64_t>& w, uint64_t m, uint64_t a) {
        unsigned __int128 carry = a;
        for (uint64_t& x : w) {
            const unsigned __int128 v = static_cast<unsigned __int128>(x) * m + carry;
            x = static_cast<uint64_t>(v);
            carry = v >> 64;
        }
        if (carry) w.push_back(static_cast<uint64_t>(carry));
    };
    for (size_t j = 0; j < k; j++) times_add(M, A.primes[j], 0);
    // Decreasing order of the monomials, as poly_from_terms wants them.
    for (auto it = A.digits.rbegin(); it != A.digits.rend(); ++it) {
        const std::vector<uint32_t>& t = it->second;
        if (std::all_of(t.begin(), t.end(), [](uint32_t d) { return d == 0; })) continue;
        std::vector<uint64_t> c(1, t[k - 1]);
        for (size_t j = k - 1; j-- > 0;) times_add(c, A.primes[j], t[j]);
        int sign = 1;
        if (A.negative(t)) {
            // M - c, c < M.
            std::vector<uint64_t> r(M.size(), 0);
            c.resize(M.size(), 0);
            unsigned __int128 borrow = 0;
            for (size_t i = 0; i < M.size(); i++) {
                const unsigned __int128 sub = static_cast<unsigned __int128>(c[i]) + borrow;
                r[i] = static_cast<uint64_t>(static_cast<unsigned __int128>(M[i]) - sub);
                borrow = static_cast<unsigned __int128>(M[i]) < sub ? 1 : 0;
            }
            c = r;
            sign = -1;
        }
        exps.insert(exps.end(), it->first.begin(), it->first.end());
        numbers.push_back(words_number(c.data(), static_cast<int32_t>(c.size()), sign));
    }
    if (numbers.empty()) {
        quoly_set(0, q);
        return;
    }
    polynode* p = poly_from_terms(exps.data(), numbers.size(), nvars,
                                  [&](size_t i) { return new_number_node(numbers[i]); });
    use_up_poly(&p, q);
}

uint32_t crt_value_at(const CrtAnswer& A, const std::vector<uint32_t>& xs, int32_t nvars, int64_t stretch) {
    const std::vector<uint32_t> pre = A.prefixes();
    uint32_t value = 0;
    for (const auto& [mono, t] : A.digits) {
        uint32_t term = A.residue(t, pre);
        for (int32_t l = 0; l < nvars; l++) term = rmul(term, rpow(xs[l], int64_t{mono[l]} * stretch));
        value = radd(value, term);
    }
    return value;
}

}  // namespace polydet
