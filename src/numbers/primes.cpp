// Primality tests and factor lists on machine integers, the
// machine-integer extended Euclid, prime selection for modular methods,
// prime lists, and reading big numbers from chdat.
#include "numbers/primes.h"

#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "numbers/numbers.h"
#include "numbers/prime64.h"
#include "numbers/random.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "poly/polyvars.h"

FILE* chdat = nullptr;
int32_t prmx = 7;

namespace {

// Trial divisors add_all_to_list tries: the small_prime table, then the
// primes after it, up to the 4,916th prime (47,699).
constexpr int TRIAL_DIVISOR_COUNT = 4916;
// Smaller primes are never recorded in the prime lists.
constexpr int32_t LEAST_LISTED_PRIME = 41;

// The divisors add_all_to_list tries, in order. The primes past the table
// are found once: finding them cost far more than the divisions (the
// second auxiliary primes of a relation try them on a hundred values).
const std::vector<uint32_t>& trial_divisors() {
    static std::vector<uint32_t> divisors;
    static uint16_t table_end = 0;
    if (!divisors.empty() && table_end == small_prime[SMALL_PRIME_COUNT - 1]) return divisors;
    divisors.clear();
    table_end = small_prime[SMALL_PRIME_COUNT - 1];
    uint32_t p = 0;
    for (int k = 0; k < TRIAL_DIVISOR_COUNT; k++) {
        if (k < SMALL_PRIME_COUNT) {
            p = small_prime[k];
            if (p < 2) continue;   // table not loaded
        } else {
            do p++;
            while (p < 2 || least_prime_factor64(p) != 1);
        }
        divisors.push_back(p);
    }
    return divisors;
}

// The number node reached by following first terms down; null for null p.
const imag* leading_number(const polynode* p) {
    while (p && !p->numb) p = p->pcoef;
    return p ? p->ncoef : nullptr;
}

// |x| mod p for a number in the current mode (p >= 2).
uint32_t number_rem(const imag* x, uint32_t p) {
    if (!x) return 0;
    if (lintmode) {
        int64_t v = x->value;
        return static_cast<uint32_t>((v < 0 ? -v : v) % p);
    }
    uint64_t r = 0;
    const numnode* d = x->head;
    for (int32_t k = 0; k < x->count && d; k++, d = d->next) {
        int64_t digit = d->digit;
        r = ((r << DIGIT_BITS) + static_cast<uint64_t>(digit < 0 ? -digit : digit)) % p;
    }
    return static_cast<uint32_t>(r);
}

// n := n / p for a non-negative digit number that p (< 2^28) divides.
void divide_exactly(imag* n, uint32_t p) {
    uint64_t r = 0;
    numnode* d = n->head;
    for (int32_t k = 0; k < n->count; k++, d = d->next) {
        uint64_t cur = (r << DIGIT_BITS) | static_cast<uint32_t>(d->digit);
        d->digit = static_cast<int32_t>(cur / p);
        r = cur % p;
    }
    while (n->count > 1 && n->head->digit == 0) {
        numnode* h = n->head;
        n->head = h->next;
        give_back_chain(h, h);
        n->count--;
    }
}

void push_factor(numnode** list, int32_t p) {
    numnode* node = newnumnode();
    node->digit = p;
    node->next = *list;
    *list = node;
}

}  // namespace

// ---------------------------------------------------------------- trial division

int is_prime(int32_t n) { return n >= 1 && least_prime_factor64(static_cast<uint64_t>(n)) == 1; }

int32_t long_is_prime(int32_t n) {
    if (n < 1) return 0;
    return static_cast<int32_t>(least_prime_factor64(static_cast<uint64_t>(n)));
}

int64_t longg_is_prime(int32_t hi, int32_t mid, int32_t lo) {
    uint64_t v = (static_cast<uint64_t>(static_cast<int64_t>(hi)) << 56) +
                 (static_cast<uint64_t>(static_cast<int64_t>(mid)) << DIGIT_BITS) +
                 static_cast<uint64_t>(static_cast<int64_t>(lo));
    return static_cast<int64_t>(least_prime_factor64(v));
}

int32_t nextprime(int32_t n) {
    for (int64_t c = int64_t{n} + ((n & 1) ? 2 : 1); c <= INT32_MAX; c += 2)
        if (c >= 1 && least_prime_factor64(static_cast<uint64_t>(c)) == 1) return static_cast<int32_t>(c);
    return 0;
}

// ---------------------------------------------------------------- factor lists

void prime_factors(int32_t n, numnode** list) {
    *list = nullptr;
    if (n < 2) return;
    uint32_t c = static_cast<uint32_t>(n);
    for (uint32_t q : {2u, 3u}) {
        if (c % q) continue;
        push_factor(list, static_cast<int32_t>(q));
        while (c % q == 0) c /= q;
        if (c == 1) return;
    }
    uint32_t s = static_cast<uint32_t>(floor_sqrt64(c)) + 2;
    for (uint32_t k = 5; k <= s; k += 6) {
        for (uint32_t q : {k, k + 2}) {
            if (c % q) continue;
            push_factor(list, static_cast<int32_t>(q));
            while (c % q == 0) c /= q;
            if (c == 1) return;
        }
    }
    if (c >= 2) push_factor(list, static_cast<int32_t>(c));
}

void set_prime_quotients(numnode** list, int32_t n) {
    prime_factors(n, list);
    for (numnode* p = *list; p; p = p->next) p->digit = n / p->digit;
}

void egcd_ints(int32_t* a, int32_t b, int32_t* s, int32_t* t) {
    int64_t small = *a, large = b;
    bool exchanged = small > large;
    if (exchanged) std::swap(small, large);
    // gcd = s1 * (smaller input) + t1 * (larger input) at every step.
    int64_t s1 = 1, t1 = 0, s0 = 0, t0 = 1;
    if (small == 0) {
        small = large;
        s1 = 0;
        t1 = 1;
    } else {
        for (;;) {
            int64_t q = large / small, r = large % small;
            if (r == 0) break;
            int64_t sn = s0 - q * s1, tn = t0 - q * t1;
            s0 = s1;
            s1 = sn;
            t0 = t1;
            t1 = tn;
            large = small;
            small = r;
        }
    }
    if (exchanged) std::swap(s1, t1);
    *a = static_cast<int32_t>(small);
    *s = static_cast<int32_t>(s1);
    *t = static_cast<int32_t>(t1);
}

int32_t select_prime(polynode* u, polynode* v, int32_t lo, int32_t span, int32_t hi, imag** table) {
    int32_t r = rand_integer2();
    int32_t i = (hi - lo) - (span > 0 ? r % span : 0);
    // A span wider than hi - lo would start before the table.
    if (i < 1) i = (lo >= 1 && lo <= hi) ? lo : 1;
    const imag* lu = leading_number(u);
    const imag* lv = leading_number(v);
    for (; i <= hi; i++) {
        const imag* entry = table[i - 1];
        if (!entry || entry->value < 2) continue;
        uint32_t p = static_cast<uint32_t>(entry->value);
        if (number_rem(lu, p) != 0 && number_rem(lv, p) != 0) return i;
    }
    return hi + 1;
}

// ---------------------------------------------------------------- prime lists

void insert_new_prime(int32_t w, int32_t d, imag** list) {
    imag* x;
    newimag(&x);
    numnode* node = newnumnode();
    node->digit = d;
    node->next = nullptr;
    x->head = x->tail = node;
    x->count = 1;
    x->value = w;
    x->link = *list;
    *list = x;
}

void add_prime_to_list(imag** list, int32_t p, int32_t d) {
    imag** slot = list;
    while (*slot && (*slot)->value > p) slot = &(*slot)->link;
    if (*slot && (*slot)->value == p) return;
    insert_new_prime(p, d, slot);
}

void add_all_to_list(imag** list, int32_t m, imag* n) {
    if (n->count < 1 || n->head->digit == 0) return;
    if (n->head->digit < 0)
        for (numnode* d = n->head; d; d = d->next) d->digit = -d->digit;
    auto is_one = [n] { return n->count == 1 && n->head->digit == 1; };
    if (is_one()) return;
    for (uint32_t p : trial_divisors()) {
        if (number_rem(n, p) != 0) continue;
        do divide_exactly(n, p);
        while (number_rem(n, p) == 0);
        if (p >= LEAST_LISTED_PRIME) {
            int32_t r = m % static_cast<int32_t>(p);
            add_prime_to_list(list, static_cast<int32_t>(p), r < 0 ? r + static_cast<int32_t>(p) : r);
        }
        if (is_one()) return;
    }
}

void add_prime_to_list(pt* rec, int32_t p, int32_t d) { add_prime_to_list(&rec->aux_primes, p, d); }

void add_all_to_list(pt* rec, int32_t m, imag* n) { add_all_to_list(&rec->aux_primes, m, n); }

// ---------------------------------------------------------------- field elements

void random_field_element(polynode** slot, int k, pt* rec) {
    if (k == 0) {
        int32_t q = rand_integer3();
        int32_t r = modulus > 0 ? q % modulus : 0;
        if (r == 0) return;
        free_poly(slot);
        polynode* node;
        newpoly(&node);
        node->exp = 0;
        node->next = nullptr;
        node->numb = 1;
        node->ncoef = new_number();
        if (lintmode) node->ncoef->value = r;
        else setvalue(r, node->ncoef);
        *slot = node;
        return;
    }
    polynode* head = nullptr;
    polynode** tail = &head;
    for (int32_t e = rec->modout_degree - 1; e >= 0; e--) {
        polynode* c = nullptr;
        random_field_element(&c, k - 1, rec->next);
        if (!c) continue;
        polynode* term;
        if (e == 0 && c->numb && !c->next) {
            term = c;   // a number at exponent 0 stands in the chain itself
        } else {
            newpoly(&term);
            term->numb = 0;
            term->pcoef = c;
        }
        term->exp = e;
        term->next = nullptr;
        *tail = term;
        tail = &term->next;
    }
    free_poly(slot);
    *slot = head;
}

int32_t nextpr() {
    int64_t x = int64_t{prmx} + 2 * (rand_integer3() & 3) + 2;
    if (x > INT32_MAX || x < 7) x = 7;
    if ((x & 1) == 0) x++;   // prmx is odd unless set from outside
    while (least_prime_factor64(static_cast<uint64_t>(x)) != 1) {
        x += 2 * (rand_integer3() % 3) + 2;
        if (x > INT32_MAX) x = 7;
    }
    prmx = static_cast<int32_t>(x);
    int32_t r = modulus > 0 ? static_cast<int32_t>(x % modulus) : prmx;
    if (r == 0) r = 7 < modulus ? 7 : 1;
    if ((rand_integer3() & 3) == 1) {
        if (finf)
            r = f2t16inv[static_cast<uint32_t>(r) & 0xFFFF];
        else
            mod_inverse(r, &r);
    }
    if ((rand_integer3() & 3) == 1) return modulus - r;
    return r;
}

// ---------------------------------------------------------------- chdat

void direct_number_read(imag* x) {
    if (x->count > 0) give_back_chain(x->head, x->tail);
    x->head = x->tail = nullptr;
    x->count = 0;
    long count = 0;
    if (!chdat || std::fscanf(chdat, " %ld", &count) != 1 || count > INT32_MAX) return;
    if (count < 1) {
        x->count = count < INT32_MIN ? INT32_MIN : static_cast<int32_t>(count);
        return;
    }
    numnode* head = nullptr;
    numnode* tail = nullptr;
    for (long k = 0; k < count; k++) {
        long digit;
        if (std::fscanf(chdat, "%ld", &digit) != 1) {
            if (head) give_back_chain(head, tail);
            return;
        }
        numnode* node = newnumnode();
        node->digit = static_cast<int32_t>(digit);
        node->next = nullptr;
        if (tail)
            tail->next = node;
        else
            head = node;
        tail = node;
    }
    x->head = head;
    x->tail = tail;
    x->count = static_cast<int32_t>(count);
}
