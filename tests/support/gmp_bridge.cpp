#include "support/gmp_bridge.h"

#include <vector>

#include "numbers/numbers.h"

void chain_value(mpz_t out, const numnode* p, int32_t n) {
    // Positive and negative digits go into two magnitudes imported in one
    // pass each, so a malformed chain still gets a faithful value.
    std::vector<uint32_t> pos, neg;
    pos.reserve(n > 0 ? n : 0);
    neg.reserve(n > 0 ? n : 0);
    bool wide = false;
    const numnode* q = p;
    for (int32_t i = 0; i < n && q; i++, q = q->next) {
        int64_t d = q->digit;
        uint64_t m = d < 0 ? static_cast<uint64_t>(-d) : static_cast<uint64_t>(d);
        if (m >= static_cast<uint64_t>(DIGIT_BASE)) wide = true;
        pos.push_back(d > 0 ? static_cast<uint32_t>(m) : 0);
        neg.push_back(d < 0 ? static_cast<uint32_t>(m) : 0);
    }
    if (wide) {
        // Out-of-range digits do not fit 28 bits: weigh them one by one.
        mpz_set_ui(out, 0);
        for (const numnode* r = p; r && n-- > 0; r = r->next) {
            mpz_mul_2exp(out, out, DIGIT_BITS);
            if (r->digit >= 0)
                mpz_add_ui(out, out, static_cast<unsigned long>(r->digit));
            else
                mpz_sub_ui(out, out, static_cast<unsigned long>(-static_cast<int64_t>(r->digit)));
        }
        return;
    }
    mpz_t m;
    mpz_init(m);
    mpz_import(out, pos.size(), 1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, pos.data());
    mpz_import(m, neg.size(), 1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, neg.data());
    mpz_sub(out, out, m);
    mpz_clear(m);
}

mpz_class chain_value(const numnode* p, int32_t n) {
    mpz_class v;
    chain_value(v.get_mpz_t(), p, n);
    return v;
}

mpz_class to_mpz(const imag* x) { return chain_value(x->head, x->count); }

void assign_mpz(imag* x, const mpz_class& v) {
    size_t n = 0;
    std::vector<uint32_t> words((mpz_sizeinbase(v.get_mpz_t(), 2) + DIGIT_BITS - 1) / DIGIT_BITS + 1);
    mpz_export(words.data(), &n, 1, sizeof(uint32_t), 0, 32 - DIGIT_BITS, v.get_mpz_t());
    if (n == 0) words[n++] = 0;
    int32_t sign = sgn(v) < 0 ? -1 : 1;

    numnode* head = nullptr;
    numnode* tail = nullptr;
    for (size_t i = 0; i < n; i++) {
        numnode* node = newnumnode();
        node->digit = sign * static_cast<int32_t>(words[i]);
        node->next = nullptr;
        if (tail)
            tail->next = node;
        else
            head = node;
        tail = node;
    }
    if (x->count > 0) give_back_chain(x->head, x->tail);
    x->head = head;
    x->tail = tail;
    x->count = static_cast<int32_t>(n);
}

imag* empty_number() {
    imag* x;
    newimag(&x);
    x->head = x->tail = nullptr;
    x->link = nullptr;
    x->value = 0;
    x->count = 0;
    return x;
}

imag* from_mpz(const mpz_class& v) {
    imag* x = empty_number();
    assign_mpz(x, v);
    return x;
}

void release(imag*& x) {
    if (x->count > 0) give_back_chain(x->head, x->tail);
    x->count = 0;
    x->link = imhead;
    imhead = x;
    x = nullptr;
}

std::string to_string(const imag* x) {
    if (!x) return "(null)";
    if (x->count < 1) return "(no digits)";
    return to_mpz(x).get_str();
}

std::string describe(const mpz_class& v) {
    std::string s = v.get_str(16);
    bool neg = !s.empty() && s[0] == '-';
    if (neg) s.erase(0, 1);
    std::string out = neg ? "-0x" : "0x";
    if (s.size() <= 120) return out + s;
    return out + s.substr(0, 40) + "..." + s.substr(s.size() - 40) + " (" +
           std::to_string(mpz_sizeinbase(v.get_mpz_t(), 2)) + " bits)";
}

std::string describe(const imag* x) {
    if (!x) return "(null)";
    if (x->count < 1) return "(no digits)";
    return describe(to_mpz(x));
}

mpz_class abs_of(const mpz_class& v) { return v < 0 ? mpz_class(-v) : v; }

mpz_class gmp_gcd(const mpz_class& a, const mpz_class& b) {
    mpz_class g;
    mpz_gcd(g.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
    return g;
}
