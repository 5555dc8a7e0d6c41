// Assignment, negation, comparison, shifts and size tests of numbers in
// every ground-ring mode.
#include <cstdlib>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "storage/stash.h"

int32_t ones[32];
imag* number_1 = nullptr;
imag* number_m1 = nullptr;
imag* num_2_14 = nullptr;

namespace {

// Gives back x's chain when it owns one and digits are in use.
void release_chain(imag* x) {
    if (x->count > 0 && !lintmode) give_back_chain(x->head, x->tail);
}

// A fresh copy of n digits from p, each multiplied by sign_mult (1 or -1).
void copy_digits(const numnode* p, int32_t n, int sign_mult, numnode** head, numnode** tail) {
    numnode* h = nullptr;
    numnode* t = nullptr;
    for (int32_t i = 0; i < n; i++, p = p->next) {
        numnode* node = newnumnode();
        node->digit = sign_mult * p->digit;
        node->next = nullptr;
        if (t) t->next = node; else h = node;
        t = node;
    }
    *head = h;
    *tail = t;
}

// x := the digit copy of a (negated when neg), giving back x's old chain after the copy.
void assign_digits(imag* a, imag* x, int neg) {
    if (a == x) {
        if (neg) for (numnode* p = x->head; p; p = p->next) p->digit = -p->digit;
        return;
    }
    numnode *h, *t;
    copy_digits(a->head, a->count, neg ? -1 : 1, &h, &t);
    release_chain(x);
    x->head = h;
    x->tail = t;
    x->count = a->count;
}

void set_one_digit(imag* x, int32_t d) {
    numnode* node = newnumnode();
    node->digit = d;
    node->next = nullptr;
    x->head = x->tail = node;
    x->count = 1;
}

// Sign of a digit number, read from its head digit.
inline int head_sign(const imag* x) { return x->head->digit > 0 ? 1 : (x->head->digit < 0 ? -1 : 0); }

inline int32_t wrap_neg(int32_t v) { return static_cast<int32_t>(0u - static_cast<uint32_t>(v)); }

}  // namespace

imag* new_number() {
    imag* x;
    newimag(&x);
    x->count = 0;
    x->value = 0;
    return x;
}

void init_number_constants() {
    if (number_1) return;
    open_system_stashes();
    ones[0] = 0;
    for (int k = 1; k < 32; k++) ones[k] = static_cast<int32_t>((uint32_t{1} << k) - 1);
    number_1 = new_number();
    set_one_digit(number_1, 1);
    number_1->value = 1;
    number_m1 = new_number();
    set_one_digit(number_m1, -1);
    number_m1->value = -1;
    num_2_14 = new_number();
    set_one_digit(num_2_14, 1 << 14);
    num_2_14->value = 1 << 14;
}

// ---------------------------------------------------------------- assignment

void setvalue(int32_t v, imag* x) {
    if (lintmode) {
        x->value = v;
        return;
    }
    if (x->count > 0) give_back_chain(x->head, x->tail);
    if (v > DIGIT_MASK || v < -DIGIT_MASK) {
        // Truncating split: both digits carry the sign of v.
        int32_t low = v % DIGIT_BASE;
        int32_t high = v / DIGIT_BASE;
        set_one_digit(x, high);
        numnode* t = newnumnode();
        t->digit = low;
        t->next = nullptr;
        x->head->next = t;
        x->tail = t;
        x->count = 2;
    } else {
        set_one_digit(x, v);
    }
}

void special_set(int32_t d, imag* x) {
    if (x->count >= 1) give_back_chain(x->head, x->tail);
    set_one_digit(x, d);
}

void special_set_2(int32_t u, int32_t v, imag* x) {
    int64_t p = static_cast<int64_t>(u) * v;
    int sign = p < 0 ? -1 : 1;
    uint64_t m = static_cast<uint64_t>(p < 0 ? -p : p);
    uint32_t d[3] = {static_cast<uint32_t>(m & DIGIT_MASK),
                     static_cast<uint32_t>((m >> 28) & DIGIT_MASK),
                     static_cast<uint32_t>(m >> 56)};
    LintOff off;
    digits::write_number(x, d, 3, sign);
}

void num_assign(imag* a, imag* c) {
    if (lintmode) {
        c->value = a->value;
        return;
    }
    assign_digits(a, c, 0);
}

void spec_num_assign(imag* a, imag* c) {
    LintOff off;
    assign_digits(a, c, 0);
}

void fast_assign(numnode* p, int32_t n, imag* c) {
    numnode *h = nullptr, *t = nullptr;
    if (n > 0) copy_digits(p, n, 1, &h, &t);
    release_chain(c);
    c->head = h;
    c->tail = t;
    c->count = n;
}

void fast_num_assign(numnode* p, int32_t n, imag* c) { fast_assign(p, n, c); }

void faster_num_assign(numnode* p, int32_t n, imag** slot) {
    if (p->digit == 0) {
        *slot = nullptr;
        return;
    }
    imag* x;
    newimag(&x);
    copy_digits(p, n, 1, &x->head, &x->tail);
    x->count = n;
    *slot = x;
}

void makeneg(imag* a, imag* c) {
    if (modularmode) {
        if (finf) c->value = a->value;
        else c->value = a->value ? modulus - a->value : 0;
    } else if (lintmode) {
        c->value = wrap_neg(a->value);
    } else {
        assign_digits(a, c, 1);
    }
}

void in_place_neg(imag* x) { makeneg(x, x); }

void abs_val_num(imag* a, imag* c) {
    // Residues are non-negative; a machine word's sign is its own. Only a
    // digit number has a head digit to read.
    bool negative = modularmode ? false : (lintmode ? a->value < 0 : a->head->digit < 0);
    if (negative) makeneg(a, c);
    else num_assign(a, c);
}

void fillout(imag* x, int32_t k) {
    if (k < 1 || x->head->digit == 0) return;
    for (int32_t i = 0; i < k; i++) {
        numnode* node = newnumnode();
        node->digit = 0;
        node->next = nullptr;
        x->tail->next = node;
        x->tail = node;
    }
    x->count += k;
}

void special_free(imag* x) {
    if (x->count > 0) give_back_chain(x->head, x->tail);
    x->count = 0;
}

// ---------------------------------------------------------------- tests

int iszero(imag* x) { return lintmode ? x->value == 0 : x->head->digit == 0; }

int is_longint(imag* x, int32_t v) { return x->count == 1 && x->head->digit == v; }

int spec_equal(imag* a, imag* b) {
    if (a->count != b->count) return 0;
    for (numnode *p = a->head, *q = b->head; p; p = p->next, q = q->next)
        if (p->digit != q->digit) return 0;
    return 1;
}

int equal(imag* a, imag* b) { return lintmode ? a->value == b->value : spec_equal(a, b); }

int negtive(imag* a, imag* b) {
    if (modularmode) {
        if (finf) return a->value == b->value;
        return (a->value == 0 && b->value == 0) ||
               static_cast<int64_t>(a->value) + b->value == modulus;
    }
    if (lintmode) return static_cast<uint32_t>(a->value) + static_cast<uint32_t>(b->value) == 0;
    if (a->count != b->count) return 0;
    for (numnode *p = a->head, *q = b->head; p; p = p->next, q = q->next)
        if (p->digit + q->digit != 0) return 0;
    return 1;
}

int equal_to_pm1(imag* x, int* m1) {
    *m1 = 0;
    if (equal(x, number_m1)) {
        *m1 = 1;
        return 1;
    }
    return equal(x, number_1);
}

int is_product_of(imag* x, int32_t u, int32_t v) {
    imag* t = new_number();
    special_set_2(u, v, t);
    int r;
    {
        LintOff off;
        r = spec_equal(x, t);
    }
    special_free(t);
    free_imag(&t);
    return r;
}

int pos_bigger(imag* a, imag* b) {
    if (a->count != b->count) return a->count > b->count;
    for (numnode *p = a->head, *q = b->head; p; p = p->next, q = q->next)
        if (p->digit != q->digit) return p->digit > q->digit;
    return 0;
}

int bigger(imag* a, imag* b) {
    if (lintmode) return a->value > b->value;
    if (a->count == 1 && b->count == 1) return a->head->digit > b->head->digit;
    int sa = head_sign(a), sb = head_sign(b);
    if (sa != sb) return sa > sb;
    if (a->count != b->count) return sa > 0 ? a->count > b->count : a->count < b->count;
    for (numnode *p = a->head, *q = b->head; p; p = p->next, q = q->next)
        if (p->digit != q->digit) return p->digit > q->digit;
    return 0;
}

int fast_bigger(numnode* p, numnode* q, int32_t la, int32_t lb) {
    if (la > lb) return 1;
    for (int32_t i = 0; i < la; i++, p = p->next, q = q->next)
        if (p->digit != q->digit) return p->digit > q->digit;
    return 0;
}

int equal_which(imag* a, imag* b, int* gt) {
    if (a->count == b->count) {
        numnode *p = a->head, *q = b->head;
        for (; p; p = p->next, q = q->next)
            if (p->digit != q->digit) break;
        if (!p) return 1;
        *gt = p->digit > q->digit;
        return 0;
    }
    *gt = a->count > b->count;
    return 0;
}

int int_abs_bigger(imag* a, imag* b, int tie) {
    if (a->count != b->count) return a->count > b->count;
    for (numnode *p = a->head, *q = b->head; p; p = p->next, q = q->next) {
        int32_t x = std::abs(p->digit), y = std::abs(q->digit);
        if (x != y) return x > y;
    }
    return tie;
}

int abs_larger(imag* a, imag* b) {
    if (lintmode) return std::llabs(a->value) > std::llabs(b->value);
    return int_abs_bigger(a, b, 0);
}

int larger_number(imag* a, imag* b) {
    if (lintmode) return a->value > b->value;
    auto bits = [](imag* x) {
        return 28 * static_cast<int64_t>(x->count) + logg2lint(std::abs(x->head->digit));
    };
    return bits(a) > bits(b);
}

// ---------------------------------------------------------------- shifts

void gen_shift_right(imag* x, int32_t k) {
    uint32_t carry = 0;
    for (numnode* p = x->head; p; p = p->next) {
        uint32_t d = static_cast<uint32_t>(p->digit);
        p->digit = static_cast<int32_t>((d >> k) | (carry << (DIGIT_BITS - k)));
        carry = d & static_cast<uint32_t>(ones[k]);
    }
    if (x->count > 1 && x->head->digit == 0) {
        numnode* h = x->head;
        x->head = h->next;
        give_back_chain(h, h);
        x->count--;
    }
}

void shift_right_1(imag* x) { gen_shift_right(x, 1); }
void shift_right_2(imag* x) { gen_shift_right(x, 2); }

void shift_right(imag* x, int32_t k) {
    int32_t drop = k / DIGIT_BITS;
    if (drop > 0) {
        if (drop >= x->count) {
            special_set(0, x);
            return;
        }
        numnode* last = x->head;
        for (int32_t i = 1; i < x->count - drop; i++) last = last->next;
        give_back_chain(last->next, x->tail);
        last->next = nullptr;
        x->tail = last;
        x->count -= drop;
    }
    if (k % DIGIT_BITS) gen_shift_right(x, k % DIGIT_BITS);
}

void shift_left(imag* x, int32_t k) {
    if (x->head->digit == 0) return;
    fillout(x, k / DIGIT_BITS);
    int32_t r = k % DIGIT_BITS;
    if (!r) return;
    uint32_t top = static_cast<uint32_t>(x->head->digit) >> (DIGIT_BITS - r);
    for (numnode* p = x->head; p; p = p->next) {
        uint32_t d = static_cast<uint32_t>(p->digit) << r;
        uint32_t in = p->next ? static_cast<uint32_t>(p->next->digit) >> (DIGIT_BITS - r) : 0;
        p->digit = static_cast<int32_t>((d & DIGIT_MASK) | in);
    }
    if (top) {
        numnode* h = newnumnode();
        h->digit = static_cast<int32_t>(top);
        h->next = x->head;
        x->head = h;
        x->count++;
    }
}

// ---------------------------------------------------------------- sizes

int32_t logg2lint(int32_t v) {
    int64_t a = v < 0 ? -static_cast<int64_t>(v) : v;
    // Only a residue has a symmetric form; a larger value (an exponent, a
    // count) would fold to a negative number and never shift down to 0.
    if (modularmode && a > modulus / 2 && a < modulus) a = modulus - a;
    int32_t b = -1;
    while (a) {
        a >>= 1;
        b++;
    }
    return b;
}

int32_t number_mass(quoly* q) {
    imag* n = q->nnum;
    if (lintmode) {
        if (modulus <= 0) return 1;
        int64_t v = n->value;
        if (v > modulus / 2) v = modulus - v;
        if (v < 0) v = -v;
        return static_cast<int32_t>(v * 5 / modulus + 1);
    }
    return std::abs(n->head->digit) < 65536 ? 2 * n->count - 1 : 2 * n->count;
}

int power_of_two(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

int oversize(int32_t x, int32_t y) { return static_cast<int64_t>(x) * y > 1000000; }

int sparse_oversize(int32_t x, int32_t y) {
    return static_cast<int64_t>(x) * y >= (int64_t{1} << 31);
}

imag* int128_number(__int128 w) {
    if (w == 0) {
        imag* z = new_number();
        special_set(0, z);
        return z;
    }
    const bool neg = w < 0;
    unsigned __int128 m = neg ? -static_cast<unsigned __int128>(w) : static_cast<unsigned __int128>(w);
    numnode* head = nullptr;
    numnode* tail = nullptr;
    int32_t n = 0;
    // Least significant digit first, each put in front of the chain.
    for (; m != 0; m >>= DIGIT_BITS, n++) {
        numnode* d = newnumnode();
        const int32_t v = static_cast<int32_t>(m & DIGIT_MASK);
        d->digit = neg ? -v : v;
        d->next = head;
        head = d;
        if (!tail) tail = d;
    }
    imag* x = new_number();
    x->head = head;
    x->tail = tail;
    x->count = n;
    return x;
}

imag* words_number(const uint64_t* w, int32_t n, int sign) {
    while (n > 0 && w[n - 1] == 0) n--;
    if (n == 0 || sign == 0) return int128_number(0);
    const int64_t bits = int64_t{64} * (n - 1) + (64 - __builtin_clzll(w[n - 1]));
    const int32_t count = static_cast<int32_t>((bits + DIGIT_BITS - 1) / DIGIT_BITS);
    numnode* head = nullptr;
    numnode* tail = nullptr;
    // Least significant digit first, each put in front of the chain.
    for (int32_t k = 0; k < count; k++) {
        const int64_t bit = int64_t{k} * DIGIT_BITS;
        const int64_t word = bit >> 6;
        const int32_t shift = static_cast<int32_t>(bit & 63);
        uint64_t v = w[word] >> shift;
        if (shift > 64 - DIGIT_BITS && word + 1 < n) v |= w[word + 1] << (64 - shift);
        numnode* d = newnumnode();
        const int32_t digit = static_cast<int32_t>(v & DIGIT_MASK);
        d->digit = sign < 0 ? -digit : digit;
        d->next = head;
        head = d;
        if (!tail) tail = d;
    }
    imag* x = new_number();
    x->head = head;
    x->tail = tail;
    x->count = count;
    return x;
}

int32_t chain_residue(const imag* n, int32_t p) {
    // Every digit carries the sign: a signed remainder at each step.
    int64_t r = 0;
    const numnode* d = n->head;
    for (int32_t k = 0; k < n->count && d; k++, d = d->next) r = (r * DIGIT_BASE + d->digit) % p;
    return static_cast<int32_t>(r < 0 ? r + p : r);
}
