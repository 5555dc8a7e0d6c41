// Moving digit chains to and from magnitude arrays (see digits_impl.h).
#include "numbers/digits_impl.h"

#include <utility>
#include "numbers/ring.h"

namespace digits {

int read_chain(const numnode* p, int32_t n, Mag& out) {
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    int sign = 0;
    for (int32_t i = n - 1; i >= 0; i--, p = p->next) {
        int32_t d = p->digit;
        if (!sign && d) sign = d > 0 ? 1 : -1;
        out[static_cast<size_t>(i)] = static_cast<uint32_t>(d < 0 ? -d : d);
    }
    return sign;
}

void write_number(imag* x, const uint32_t* d, int32_t n, int sign) {
    n = mag_len(d, n);
    if (n == 0) sign = 0;
    int32_t want = n == 0 ? 1 : n;
    bool owns = x->count > 0 && !lintmode;
    numnode* head = owns ? x->head : nullptr;
    int32_t have = owns ? x->count : 0;

    // Reuse the record's nodes from the head; append or give back the rest.
    numnode* prev = nullptr;
    numnode* node = head;
    for (int32_t i = want - 1; i >= 0; i--) {
        if (!node) {
            node = newnumnode();
            node->next = nullptr;
            if (prev) prev->next = node; else head = node;
        }
        int32_t v = n == 0 ? 0 : static_cast<int32_t>(d[i]);
        node->digit = sign < 0 ? -v : v;
        prev = node;
        node = node->next;
    }
    if (have > want) give_back_chain(prev->next, x->tail);
    prev->next = nullptr;
    x->head = head;
    x->tail = prev;
    x->count = want;
}

int32_t mag_len(const uint32_t* a, int32_t n) {
    while (n > 0 && a[n - 1] == 0) n--;
    return n;
}

int mag_cmp(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb) {
    na = mag_len(a, na);
    nb = mag_len(b, nb);
    if (na != nb) return na > nb ? 1 : -1;
    for (int32_t i = na - 1; i >= 0; i--)
        if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
    return 0;
}

void mag_add(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag& r) {
    if (na < nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    r.resize(static_cast<size_t>(na) + 1);
    uint32_t carry = 0;
    int32_t i = 0;
    for (; i < nb; i++) {
        uint32_t t = a[i] + b[i] + carry;
        r[i] = t & DIGIT_MASK;
        carry = t >> DIGIT_BITS;
    }
    for (; i < na; i++) {
        uint32_t t = a[i] + carry;
        r[i] = t & DIGIT_MASK;
        carry = t >> DIGIT_BITS;
    }
    r[na] = carry;
}

void mag_sub(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag& r) {
    r.resize(static_cast<size_t>(na));
    int32_t borrow = 0;
    int32_t i = 0;
    for (; i < nb; i++) {
        int32_t t = static_cast<int32_t>(a[i]) - static_cast<int32_t>(b[i]) - borrow;
        borrow = t < 0;
        r[i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
    }
    for (; i < na; i++) {
        int32_t t = static_cast<int32_t>(a[i]) - borrow;
        borrow = t < 0;
        r[i] = static_cast<uint32_t>(t + (borrow << DIGIT_BITS));
    }
}

}  // namespace digits
