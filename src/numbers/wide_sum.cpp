#include "numbers/wide_sum.h"

#include "numbers/digits_impl.h"

namespace {

// Each product is below 2^56 in magnitude: this many fit a column beside a
// settled digit without overflow.
constexpr int32_t PRODUCTS_PER_SETTLE = 120;

}  // namespace

void WideSum::settle() {
    int64_t carry = 0;
    for (int64_t& c : col_) {
        c += carry;
        carry = c >> 28;   // floor division: the column keeps 0 .. 2^28 - 1
        c -= carry * (int64_t{1} << 28);
    }
    while (carry != 0 && carry != -1) {
        const int64_t next = carry >> 28;
        col_.push_back(carry - next * (int64_t{1} << 28));
        carry = next;
    }
    if (carry == -1) col_.push_back(-1);   // a negative sum: the top column keeps the sign
    unsettled_ = 0;
}

void WideSum::add_product(const imag* r, int32_t c) {
    if (c == 0) return;
    const int32_t n = r->count;
    if (col_.size() < static_cast<size_t>(n)) col_.resize(static_cast<size_t>(n), 0);
    int32_t j = n - 1;
    for (const numnode* d = r->head; d && j >= 0; d = d->next, j--) col_[static_cast<size_t>(j)] += int64_t{d->digit} * c;
    if (++unsettled_ >= PRODUCTS_PER_SETTLE) settle();
}

void WideSum::write(imag* x) {
    settle();
    int sign = 1;
    if (!col_.empty() && col_.back() < 0) {
        // Negative: the magnitude is the negated columns, settled again.
        for (int64_t& c : col_) c = -c;
        settle();
        sign = -1;
    }
    std::vector<uint32_t> d(col_.size());
    for (size_t i = 0; i < col_.size(); i++) d[i] = static_cast<uint32_t>(col_[i]);
    digits::write_number(x, d.data(), static_cast<int32_t>(d.size()), sign);
    col_.clear();
    unsettled_ = 0;
}
