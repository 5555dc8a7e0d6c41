// The entries of a dense integer matrix copied out of their digit chains
// once, so that the residues modulo many word primes are read without
// walking a chain per prime.
#pragma once
#include <cstdint>
#include <vector>

#include "det/word_arith.h"
#include "numbers/flat_int.h"
#include "numbers/numbers.h"
#include "storage/records.h"

// The n x n integers of column-major cells, row by row, each as its
// magnitude's digits (most significant first) and its sign.
class FlatCells {
public:
    FlatCells(quoly** cells, int32_t n) {
        FlatInt x;
        fill(n, [&](int64_t c) -> const FlatInt& {
            flat_read(cells[c]->nnum, x);
            return x;
        });
    }
    // The same from integers already read, column-major.
    FlatCells(const std::vector<FlatInt>& v, int32_t n) {
        fill(n, [&](int64_t c) -> const FlatInt& { return v[static_cast<size_t>(c)]; });
    }

    // a := the entries modulo the prime, row-major.
    void residues(const wordmod::Prime& P, std::vector<uint32_t>& a) const {
        const size_t count = negative_.size();
        a.resize(count);
        for (size_t e = 0; e < count; e++) {
            uint64_t r = 0;
            for (uint32_t k = start_[e]; k < start_[e + 1]; k++) r = P.reduce((r << DIGIT_BITS) | digits_[k]);
            a[e] = negative_[e] && r ? static_cast<uint32_t>(P.p - r) : static_cast<uint32_t>(r);
        }
    }

    // Entry e (row-major): its digits, most significant first, and sign.
    const uint32_t* digits(size_t e) const { return digits_.data() + start_[e]; }
    uint32_t length(size_t e) const { return start_[e + 1] - start_[e]; }
    size_t count() const { return negative_.size(); }

private:
    template <class Cell>
    void fill(int32_t n, Cell cell) {
        const size_t count = static_cast<size_t>(n) * n;
        start_.reserve(count + 1);
        negative_.reserve(count);
        for (int32_t i = 0; i < n; i++)
            for (int32_t j = 0; j < n; j++) {
                const FlatInt& x = cell(int64_t{j} * n + i);
                start_.push_back(static_cast<uint32_t>(digits_.size()));
                digits_.insert(digits_.end(), x.mag.rbegin(), x.mag.rend());
                negative_.push_back(x.sign < 0);
            }
        start_.push_back(static_cast<uint32_t>(digits_.size()));
    }

    std::vector<uint32_t> digits_;
    std::vector<uint32_t> start_;
    std::vector<uint8_t> negative_;
};
