// Long division of digit numbers: one quotient digit at a time from a
// floating-point estimate and an exact correction, the signed wrapper, the
// remainder-only variants the gcd routines use, and reductions to a residue.
//
// The dividend's nodes are only ever read. A chunk of the long division is
// the running remainder's own chain with its tail linked onto the dividend's
// next digit, so bringing digits down copies nothing.
#include <cmath>
#include <cstdint>

#include "numbers/numbers.h"
#include "numbers/ring.h"

namespace {

// One-digit divisors below this divide exactly on 14-bit halves; above it a
// double estimate is cheaper than two machine divisions plus a correction.
constexpr int32_t SMALL_DIVISOR = 1 << 18;
// Two-digit divisor tops below 16 * 2^28 fit an unsigned 32-bit word, and the
// estimate is made exactly in integers; larger tops go through a double.
constexpr int32_t NARROW_HEAD = 16;

// A number record on the stack that views a chain it does not own, so the
// record-taking kernels can read a divisor given as a chain.
imag chain_view(numnode* head, numnode* tail, int32_t count) {
    imag v;
    v.head = head;
    v.tail = tail;
    v.link = nullptr;
    v.value = 0;
    v.count = count;
    return v;
}

// Gives back x's chain (if any) whatever the mode; x then owns nothing.
void drop_chain(imag* x) {
    if (x->count > 0) give_back_chain(x->head, x->tail);
    x->count = 0;
}

// dst takes src's chain; dst's old chain is given back first (by the mode
// rule of free_num), src is left owning nothing.
void adopt_chain(imag* dst, imag* src) {
    if (dst == src) return;
    free_num(dst);
    dst->head = src->head;
    dst->tail = src->tail;
    dst->count = src->count;
    src->count = 0;
}

// Temporary number record, given back with its digits on every exit.
struct TempNum {
    imag* p;
    TempNum() : p(new_number()) {}
    ~TempNum() {
        if (p) {
            drop_chain(p);
            free_imag(&p);
        }
    }
    TempNum(const TempNum&) = delete;
    TempNum& operator=(const TempNum&) = delete;
    imag* operator->() const { return p; }
    operator imag*() const { return p; }
};

inline bool is_zero_digits(const imag* x) { return x->count == 1 && x->head->digit == 0; }

// A chunk of n digits from p is below the n-digit divisor from q.
bool chunk_below(const numnode* p, const numnode* q, int32_t n) {
    for (; n > 0; n--, p = p->next, q = q->next)
        if (p->digit != q->digit) return p->digit < q->digit;
    return false;
}

// Quotient digits appended at the tail as they are found.
struct QuotientChain {
    numnode* head = nullptr;
    numnode* tail = nullptr;
    int32_t count = 0;
    void push(int32_t d) {
        numnode* n = newnumnode();
        n->digit = d;
        n->next = nullptr;
        if (tail) tail->next = n;
        else head = n;
        tail = n;
        count++;
    }
    void push_zeros(int32_t k) {
        for (; k > 0; k--) push(0);
    }
    // q takes the chain (one digit 0 when nothing was found).
    void install(imag* q) {
        if (!head) push(0);
        free_num(q);
        q->head = head;
        q->tail = tail;
        q->count = count;
        head = tail = nullptr;
        count = 0;
    }
    ~QuotientChain() {
        if (head) give_back_chain(head, tail);
    }
};

// The quotient digit of the chunk A (la digits from pa, A < 2^28 * b) by b > 0,
// with rem := A - q * b. rem must not own any node of A; prod is scratch.
int32_t divide_step(numnode* pa, int32_t la, imag* b, imag* rem, imag* prod) {
    const int32_t lb = b->count;
    const int32_t a1 = pa->digit;
    const int32_t b1 = b->head->digit;

    if (lb > la || (la == lb && a1 < b1)) {
        fast_num_assign(pa, la, rem);
        return 0;
    }
    if (la == 1) {
        special_set(a1 % b1, rem);
        return a1 / b1;
    }
    const int32_t a2 = pa->next->digit;
    const uint64_t top = (static_cast<uint64_t>(a1) << DIGIT_BITS) | static_cast<uint32_t>(a2);

    if (lb == 1) {
        // la = 2 and a1 < b1, so the quotient fits one digit.
        if (b1 < SMALL_DIVISOR) {
            const uint32_t d = static_cast<uint32_t>(b1);
            const uint32_t t = (static_cast<uint32_t>(a1) << 14) | (static_cast<uint32_t>(a2) >> 14);
            const uint32_t q1 = t / d;
            const uint32_t t2 = ((t - q1 * d) << 14) | (static_cast<uint32_t>(a2) & 0x3FFFu);
            special_set(static_cast<int32_t>(t2 % d), rem);
            return static_cast<int32_t>((q1 << 14) + t2 / d);
        }
        int64_t q = static_cast<int64_t>(static_cast<double>(top) / static_cast<double>(b1));
        if (q > DIGIT_MASK) q = DIGIT_MASK;
        if (q < 0) q = 0;
        const int64_t p = q * b1;
        int64_t r = a2 - (p & DIGIT_MASK);
        int64_t h = p >> DIGIT_BITS;
        if (r < 0) {
            r += DIGIT_BASE;
            h++;
        }
        if (!(r >= 0 && r < b1 && h == a1)) {
            // The estimate was off by a little: settle it exactly; the whole
            // chunk fits 56 bits.
            r = static_cast<int64_t>(top) - p;
            while (r < 0) { q--; r += b1; }
            while (r >= b1) { q++; r -= b1; }
        }
        special_set(static_cast<int32_t>(r), rem);
        return static_cast<int32_t>(q);
    }

    const int32_t b2 = b->head->next->digit;
    int64_t q;
    if (b1 < NARROW_HEAD) {
        const uint64_t d = (static_cast<uint64_t>(b1) << DIGIT_BITS) | static_cast<uint32_t>(b2);
        q = static_cast<int64_t>(la > lb ? (top << DIGIT_BITS) / d : top / d);
    } else {
        const double d = static_cast<double>(b1) * DIGIT_BASE + b2;
        const double t = static_cast<double>(top);
        q = static_cast<int64_t>(la > lb ? t * DIGIT_BASE / d : t / d);
    }
    // A chunk whose top two digits equal the divisor's estimates 2^28, one
    // beyond any digit; the true digit is at most 2^28 - 1.
    if (q > DIGIT_MASK) q = DIGIT_MASK;
    if (q < 0) q = 0;

    numnode* penult;
    simp_mult(b, prod, static_cast<int32_t>(q), &penult);
    meddiff(la, prod->count, pa, prod->head, rem);
    while (rem->head->digit < 0) {
        q--;
        fastsum(rem, b);
    }
    for (;;) {
        int gt = 0;
        if (equal_which(rem, b, &gt)) {
            q++;
            special_set(0, rem);
            break;
        }
        if (!gt) break;
        q++;
        fastdiff(rem, b);
    }
    return static_cast<int32_t>(q);
}

// Long division of A (la digits from pa) by b > 0. Quotient digits go to qc
// when it is given; the remainder is left in r. A's nodes are only read.
void long_divide(numnode* pa, int32_t la, imag* b, QuotientChain* qc, imag* r) {
    const int32_t lb = b->count;
    TempNum prod;
    if (la < lb) {
        fast_num_assign(pa, la, r);
        if (qc) qc->push(0);
        return;
    }
    if (la == lb) {
        int32_t d = divide_step(pa, la, b, r, prod);
        if (qc) qc->push(d);
        return;
    }

    TempNum rem_a, rem_b;
    imag* rem = rem_a;
    imag* next_rem = rem_b;

    int32_t n = lb;
    if (chunk_below(pa, b->head, lb)) n++;
    numnode* next_a = pa;
    for (int32_t i = 0; i < n; i++) next_a = next_a->next;
    int32_t remaining = la - n;
    int32_t d = divide_step(pa, n, b, rem, prod);
    if (qc) qc->push(d);

    while (remaining > 0) {
        numnode* chunk_head;
        int32_t chunk_len;
        int32_t brought = 0;
        if (is_zero_digits(rem)) {
            // A zero remainder starts the next chunk afresh in A; zero digits
            // of A each give a zero quotient digit meanwhile.
            while (remaining > 0 && next_a->digit == 0) {
                if (qc) qc->push(0);
                next_a = next_a->next;
                remaining--;
            }
            if (remaining == 0) break;
            drop_chain(rem);
            chunk_head = next_a;
            chunk_len = 0;
        } else {
            rem->tail->next = next_a;
            chunk_head = rem->head;
            chunk_len = rem->count;
        }
        while (chunk_len < lb && remaining > 0) {
            next_a = next_a->next;
            chunk_len++;
            brought++;
            remaining--;
        }
        if (chunk_len == lb && remaining > 0 && chunk_below(chunk_head, b->head, lb)) {
            next_a = next_a->next;
            chunk_len++;
            brought++;
            remaining--;
        }
        d = divide_step(chunk_head, chunk_len, b, next_rem, prod);
        if (qc) {
            qc->push_zeros(brought - 1);
            qc->push(d);
        }
        // Unlink the old remainder from A before its nodes go back.
        if (rem->count > 0) rem->tail->next = nullptr;
        drop_chain(rem);
        imag* t = rem;
        rem = next_rem;
        next_rem = t;
    }
    adopt_chain(r, rem);
}

}  // namespace

void simp_divide(numnode* pa, int32_t la, imag* b, imag* q, imag* r) {
    TempNum rem, prod;
    int32_t d = divide_step(pa, la, b, rem, prod);
    adopt_chain(r, rem);
    special_set(d, q);
}

void simp_divide_noq(numnode* pa, numnode* pb, numnode* tb, int32_t la, int32_t lb, imag* r) {
    imag b = chain_view(pb, tb, lb);
    TempNum rem, prod;
    divide_step(pa, la, &b, rem, prod);
    adopt_chain(r, rem);
}

void pos_divide(imag* a, imag* b, imag* q, imag* r) {
    QuotientChain qc;
    TempNum rem;
    long_divide(a->head, a->count, b, &qc, rem);
    // Both results exist before either record is written: q or r may be a or b.
    const bool zero_quotient = a->count < b->count;
    qc.install(q);
    if (zero_quotient && lintmode) q->value = 0;
    adopt_chain(r, rem);
}

void pos_divide_noq(numnode* pa, numnode* pb, numnode* tb, int32_t la, int32_t lb, imag* r) {
    imag b = chain_view(pb, tb, lb);
    TempNum rem;
    long_divide(pa, la, &b, nullptr, rem);
    adopt_chain(r, rem);
}

namespace {
void negate_digits(imag* x) {
    for (numnode* p = x->head; p; p = p->next) p->digit = -p->digit;
}

// c := -a digit by digit. makeneg would read the value word under
// modularmode, which modout leaves set while it divides digit numbers.
void negated_copy(imag* a, imag* c) {
    fast_num_assign(a->head, a->count, c);
    negate_digits(c);
}
}  // namespace

void divide(imag* a, imag* b, imag* q, imag* r) {
    const int32_t sa = a->head->digit;
    const int32_t sb = b->head->digit;
    if (sb == 0) return;
    if (sa >= 0 && sb > 0) {
        pos_divide(a, b, q, r);
        return;
    }
    TempNum na, nb;
    imag* pa = a;
    imag* pb = b;
    if (sa < 0) {
        negated_copy(a, na);
        pa = na;
    }
    if (sb < 0) {
        negated_copy(b, nb);
        pb = nb;
    }
    pos_divide(pa, pb, q, r);
    // Exactly one negative operand: both results change sign.
    if ((sa < 0) != (sb < 0)) {
        negate_digits(q);
        negate_digits(r);
    }
}

int32_t quotient_of(imag* a, int32_t k) {
    LintOff digits;
    TempNum b, q, r;
    special_set(k, b);
    pos_divide(a, b, q, r);
    return q->head->digit;
}

int32_t modout(imag* a) {
    // The guard restores lintmode as the caller had it: 1 in modular mode,
    // where every caller is, and unchanged for a caller still between modes.
    LintOff digits;
    TempNum m, q, r;
    setvalue(modulus, m);   // two digits when the modulus passes 2^28 - 1
    divide(a, m, q, r);
    int64_t v = 0;
    for (numnode* p = r->head; p; p = p->next) v = v * DIGIT_BASE + p->digit;
    return static_cast<int32_t>(v);
}

void fast_modout(imag* a, imag* b) {
    const int32_t keep = b->count - 1;
    if (a->count <= keep) return;
    const int32_t cut = a->count - keep;   // digits dropped from the top, at least 1
    numnode* last_dropped = a->head;
    for (int32_t i = 1; i < cut; i++) last_dropped = last_dropped->next;
    if (keep == 0) {
        // Nothing survives: the tail node stays as the digit 0.
        if (a->head != a->tail) {
            numnode* before_tail = a->head;
            while (before_tail->next != a->tail) before_tail = before_tail->next;
            give_back_chain(a->head, before_tail);
        }
        a->head = a->tail;
        a->tail->digit = 0;
        a->count = 1;
        return;
    }
    // Zero digits right below the cut go too, but the tail always stays.
    numnode* new_head = last_dropped->next;
    int32_t count = keep;
    while (new_head->digit == 0 && new_head != a->tail) {
        last_dropped = new_head;
        new_head = new_head->next;
        count--;
    }
    give_back_chain(a->head, last_dropped);
    a->head = new_head;
    a->count = count;
}
