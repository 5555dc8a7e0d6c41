// Exact divisibility by Kronecker substitution (see gcd/kronecker_div.h).
//
// Why the univariate verdict is the multivariate one. K is a ring
// homomorphism, so m | u gives K(m) | K(u) with quotient K(q); the quotient
// of a division by K(m) != 0 is unique, and over the integers each of its
// coefficients is then an exact quotient of integers. Moreover
// deg_i(q) = deg_i(u) - deg_i(m) (no zero divisors), so every exponent of q
// lies inside the box 0 .. base_i - 1 and K(q) decodes, digit by digit in
// the mixed radix of the bases, back to q. Hence a quotient term whose
// decoded exponent e_i has e_i + deg_i(m) >= base_i, an inexact integer
// step, or a non-zero remainder, each proves m ∤ u. Conversely, when every
// quotient term decodes inside those bounds, the decoded Q has
// deg_i(Q·m) <= deg_i(u) in every variable: Q·m and u both lie in the box,
// where K is one-to-one, and K(Q·m) = K(u) gives Q·m = u.
#include "gcd/kronecker_div.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "gcd/flat_modgcd.h"
#include "gcd/modgcd.h"
#include "gcd/residue_lanes.h"
#include "numbers/mixed_radix.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/from_terms.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/records.h"
#include "toplevel/errors.h"

namespace {

// The dense remainder: 64-bit words for residues and most integers,
// 128-bit ones for the rest; at most 64 MB. Beyond it the terms alone are
// divided.
constexpr int64_t kMaxResidueEntries = 8000000;
constexpr int64_t kMaxIntegerEntries = 4000000;
// A sparse dividend wastes most of the array: the scan of empty entries
// must stay small next to the work on its terms. Measured on dense
// products in 5 and 7 variables, the array still wins at about 70 entries
// a term and the hash table at about 700.
constexpr int64_t kEntriesPerTerm = 128;
constexpr int64_t kEntriesSlack = 4096;
// Beyond the dense cap the division runs on the terms alone, as long as
// every substituted exponent fits a word.
constexpr int64_t kMaxOffsets = int64_t{1} << 61;

using Int128 = __int128;

// A chain of more base-2^28 digits than this (its head non-zero) is past
// 2^128; shorter ones are checked as they are read.
constexpr int32_t kMaxDigits = 5;

// The terms of an operand: exponents (levels from rec inward, nvars per
// term) and coefficients, integers or residues 0 .. p - 1, zeros skipped.
struct Terms {
    int32_t nvars = 0;
    std::vector<int32_t> exps;
    std::vector<Int128> coefs;
    // Integers past 128 bits: every coefficient's record instead (coefs
    // then unused), read modulo primes.
    bool wide = false;
    std::vector<const imag*> big;
    size_t size() const { return coefs.size(); }
    const int32_t* exp(size_t i) const { return exps.data() + i * static_cast<size_t>(nvars); }
};

// The integer a digit chain holds, when it fits 128 bits.
bool integer_value(const imag* n, Int128* out) {
    Int128 acc = 0;
    int32_t k = 0;
    for (const numnode* d = n->head; d; d = d->next) {
        if (++k > kMaxDigits) return false;
        if (__builtin_mul_overflow(acc, Int128{DIGIT_BASE}, &acc) || __builtin_add_overflow(acc, Int128{d->digit}, &acc))
            return false;
    }
    *out = acc;
    return true;
}

class Reader {
public:
    Reader(int32_t nvars, int64_t mod, Terms* out) : mod_(mod), cur_(static_cast<size_t>(nvars), 0), out_(out) {
        out->nvars = nvars;
    }

    // false when p has a negative exponent, a level past the innermost or
    // an integer beyond 128 bits.
    bool read(const polynode* p, size_t idx) {
        for (const polynode* t = p; t; t = t->next) {
            if (t->exp < 0) return false;
            if (t->numb) {
                // A number ends the walk: the remaining exponents are 0.
                for (size_t k = idx; k < cur_.size(); k++) cur_[k] = 0;
                Int128 c = 0;
                if (mod_ != 0) {
                    int64_t v = t->ncoef->value % mod_;
                    if (v < 0) v += mod_;
                    c = v;
                } else if (!out_->wide && !integer_value(t->ncoef, &c)) {
                    out_->wide = true;
                }
                if (out_->wide) {
                    if (iszero(t->ncoef)) continue;
                } else if (c == 0) {
                    continue;
                }
                out_->exps.insert(out_->exps.end(), cur_.begin(), cur_.end());
                out_->coefs.push_back(c);
                out_->big.push_back(t->ncoef);
            } else {
                if (idx >= cur_.size()) return false;
                cur_[idx] = t->exp;
                if (!read(t->pcoef, idx + 1)) return false;
            }
        }
        return true;
    }

private:
    int64_t mod_;
    std::vector<int32_t> cur_;
    Terms* out_;
};

std::vector<int32_t> degrees(const Terms& t) {
    std::vector<int32_t> d(static_cast<size_t>(t.nvars), 0);
    for (size_t i = 0; i < t.size(); i++)
        for (int32_t k = 0; k < t.nvars; k++) d[k] = std::max(d[k], t.exp(i)[k]);
    return d;
}

// The substitution over the levels u involves (a level where u has degree
// 0 has base 1 and is left out).
struct Layout {
    std::vector<int32_t> level;    // which level, outermost first
    std::vector<int64_t> base;     // deg_i(u) + 1
    std::vector<int64_t> stride;
    std::vector<int64_t> deg_m;
    int64_t size = 1;              // entries of the dense array

    int64_t offset(const int32_t* e) const {
        int64_t off = 0;
        for (size_t k = 0; k < level.size(); k++) off += e[level[k]] * stride[k];
        return off;
    }

    // A quotient term at offset s that no exact quotient can have: some
    // decoded exponent plus deg_i(m) exceeds deg_i(u).
    bool escapes(int64_t s) const {
        for (size_t k = level.size(); k-- > 0;) {
            const int64_t e = s % base[k];
            s /= base[k];
            if (e + deg_m[k] >= base[k]) return true;
        }
        return false;
    }
};

// The divisor without its leading term, as (offset, coefficient) pairs.
struct Divisor {
    int64_t lead_offset = -1;
    Int128 lead = 0;
    std::vector<int64_t> offsets;
    std::vector<Int128> coefs;
};

Divisor divisor_of(const Terms& m, const Layout& lay) {
    Divisor d;
    size_t lead = 0;
    for (size_t i = 0; i < m.size(); i++) {
        const int64_t off = lay.offset(m.exp(i));
        if (off > d.lead_offset) {
            d.lead_offset = off;
            lead = i;
        }
    }
    d.lead = m.coefs[lead];
    for (size_t i = 0; i < m.size(); i++) {
        if (i == lead) continue;
        d.offsets.push_back(lay.offset(m.exp(i)));
        d.coefs.push_back(m.coefs[i]);
    }
    return d;
}

// Long division from the top entry down; a row's tail lands on entries
// below its leading one, so each entry is final when the scan reaches it.
// The remainder is what is left below the divisor's leading entry.

// The dense remainder's array, cleared, from a buffer kept between calls:
// a fresh array of megabytes costs a page fault per 4 KiB each time, more
// than the division itself on the usual sizes. Buffers above 8 MiB are
// given back when the division ends. A division started while another
// holds the buffer (from a command level opened inside it) gets an array
// of its own.
template <class T>
class Scratch {
public:
    explicit Scratch(size_t n) : shared_(!busy()) {
        std::vector<T>& b = shared_ ? buffer() : own_;
        if (shared_) busy() = true;
        if (b.size() < n) b.resize(n);
        std::fill_n(b.begin(), n, T{0});
        data_ = b.data();
    }
    ~Scratch() {
        if (!shared_) return;
        busy() = false;
        std::vector<T>& b = buffer();
        if (b.size() * sizeof(T) > (size_t{8} << 20)) std::vector<T>().swap(b);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    T* data() const { return data_; }

private:
    static std::vector<T>& buffer() {
        static std::vector<T> b;
        return b;
    }
    static bool& busy() {
        static bool b = false;
        return b;
    }
    bool shared_;
    std::vector<T> own_;
    T* data_ = nullptr;
};

// The quotient's terms, (offset, residue), when the caller wants them.
using QuotientTerms = std::vector<std::pair<int64_t, Int128>>;

int divide_residues(const Terms& u, const Divisor& m, const Layout& lay, uint32_t p, QuotientTerms* quot = nullptr) {
    const flatgcd::Field F(p);
    // Entries are kept below 2^63, reduced only when read: q·c < 2^62 is
    // added, and a sum past 2^63 drops by K, the largest multiple of p not
    // above 2^63. One product, one masked subtraction per term.
    const uint64_t pp = p, top_bit = uint64_t{1} << 63, K = top_bit / pp * pp;
    Scratch<uint64_t> r(static_cast<size_t>(lay.size));
    int64_t top = 0;
    for (size_t i = 0; i < u.size(); i++) {
        const int64_t off = lay.offset(u.exp(i));
        r.data()[off] = static_cast<uint64_t>(u.coefs[i]);
        top = std::max(top, off);
    }
    // q times the negated tail is added.
    std::vector<uint64_t> neg(m.coefs.size());
    for (size_t j = 0; j < neg.size(); j++) neg[j] = F.neg(static_cast<uint32_t>(m.coefs[j]));
    const uint32_t inv = F.inv(static_cast<uint32_t>(m.lead));
    uint64_t* const rd = r.data();
    for (int64_t i = top; i >= m.lead_offset; i--) {
        if ((i & 0xFFFF) == 0) poll_interrupt();
        const uint32_t c = static_cast<uint32_t>(rd[i] % pp);
        if (c == 0) continue;
        const int64_t s = i - m.lead_offset;
        if (lay.escapes(s)) return 0;
        const uint64_t q = F.mul(c, inv);
        if (quot) quot->push_back({s, static_cast<Int128>(q)});
        rd[i] = 0;
        uint64_t* const base = rd + s;
        for (size_t j = 0; j < neg.size(); j++) {
            uint64_t& x = base[m.offsets[j]];
            const uint64_t t = x + q * neg[j];
            // A mask, not a branch: the comparison is unpredictable.
            x = t - (K & (0 - (t >> 63)));
        }
    }
    for (int64_t i = 0; i < m.lead_offset; i++)
        if (rd[i] % pp != 0) return 0;
    return 1;
}

using Uint128 = unsigned __int128;

Uint128 magnitude(Int128 x) { return x < 0 ? -static_cast<Uint128>(x) : static_cast<Uint128>(x); }

// The same division on 64-bit entries, for operands whose coefficients
// fit them: half the memory to clear and scan. While the entries' bound
// (kept as in divide_integers) stays below 2^63 nothing can overflow;
// -2 when it would not, and the 128-bit division then runs from scratch.
int divide_words(const Terms& u, const Divisor& m, const Layout& lay, QuotientTerms* quot = nullptr) {
    Scratch<int64_t> r(static_cast<size_t>(lay.size));
    int64_t top = 0;
    uint64_t bound = 0;
    for (size_t i = 0; i < u.size(); i++) {
        const int64_t off = lay.offset(u.exp(i));
        r.data()[off] = static_cast<int64_t>(u.coefs[i]);
        top = std::max(top, off);
        bound = std::max(bound, static_cast<uint64_t>(magnitude(u.coefs[i])));
    }
    uint64_t tail_max = 0;
    std::vector<int64_t> tail(m.coefs.size());
    for (size_t j = 0; j < tail.size(); j++) {
        tail[j] = static_cast<int64_t>(m.coefs[j]);
        tail_max = std::max(tail_max, static_cast<uint64_t>(magnitude(m.coefs[j])));
    }
    const int64_t lc = static_cast<int64_t>(m.lead);
    const uint64_t limit = (uint64_t{1} << 63) - 1;
    int64_t* const rd = r.data();
    for (int64_t i = top; i >= m.lead_offset; i--) {
        if ((i & 0xFFFF) == 0) poll_interrupt();
        const int64_t c = rd[i];
        if (c == 0) continue;
        if (c % lc != 0) return 0;
        const int64_t q = c / lc;
        const int64_t s = i - m.lead_offset;
        if (lay.escapes(s)) return 0;
        if (quot) quot->push_back({s, q});
        rd[i] = 0;
        uint64_t step;
        if (__builtin_mul_overflow(static_cast<uint64_t>(q < 0 ? -q : q), tail_max, &step) ||
            __builtin_add_overflow(bound, step, &bound) || bound > limit)
            return -2;
        int64_t* const base = rd + s;
        for (size_t j = 0; j < tail.size(); j++) base[m.offsets[j]] -= q * tail[j];
    }
    for (int64_t i = 0; i < m.lead_offset; i++)
        if (rd[i] != 0) return 0;
    return 1;
}

int divide_integers(const Terms& u, const Divisor& m, const Layout& lay, QuotientTerms* quot = nullptr) {
    Scratch<Int128> r(static_cast<size_t>(lay.size));
    int64_t top = 0;
    Uint128 bound = 0;   // no entry of r exceeds it in magnitude
    for (size_t i = 0; i < u.size(); i++) {
        const int64_t off = lay.offset(u.exp(i));
        r.data()[off] = u.coefs[i];
        top = std::max(top, off);
        bound = std::max(bound, magnitude(u.coefs[i]));
    }
    Uint128 tail_max = 0;
    for (Int128 c : m.coefs) tail_max = std::max(tail_max, magnitude(c));
    const Int128 lc = m.lead;
    const Uint128 limit = (static_cast<Uint128>(1) << 127) - 1;
    const Int128 min128 = static_cast<Int128>(static_cast<Uint128>(1) << 127);
    // A row adds at most |q|·max|tail| to any entry. While the sum of those
    // stays below 2^127 no product or sum can overflow and rows are
    // subtracted unchecked (the usual case by far); past it every step is
    // checked.
    bool safe = true;
    Int128* const rd = r.data();
    for (int64_t i = top; i >= m.lead_offset; i--) {
        if ((i & 0xFFFF) == 0) poll_interrupt();
        const Int128 c = rd[i];
        if (c == 0) continue;
        if (lc == -1 && c == min128) return -1;   // the one quotient that overflows
        if (c % lc != 0) return 0;
        const Int128 q = c / lc;
        const int64_t s = i - m.lead_offset;
        if (lay.escapes(s)) return 0;
        if (quot) quot->push_back({s, q});
        rd[i] = 0;
        Int128* const base = rd + s;
        Uint128 step;
        if (safe && (__builtin_mul_overflow(magnitude(q), tail_max, &step) ||
                     __builtin_add_overflow(bound, step, &bound) || bound > limit))
            safe = false;
        if (safe) {
            for (size_t j = 0; j < m.coefs.size(); j++) base[m.offsets[j]] -= q * m.coefs[j];
            continue;
        }
        for (size_t j = 0; j < m.coefs.size(); j++) {
            Int128& x = base[m.offsets[j]];
            Int128 prod;
            if (__builtin_mul_overflow(q, m.coefs[j], &prod)) return -1;
            if (__builtin_sub_overflow(x, prod, &x)) return -1;
        }
    }
    for (int64_t i = 0; i < m.lead_offset; i++)
        if (rd[i] != 0) return 0;
    return 1;
}


// Every division here works on copies and on buffers of its own (a shared
// buffer is taken only when free), so its loops are safe points for
// interrupts.

// ---- the sparse road: the same division on the substituted terms alone,
// for operands whose dense layout would be too large. Each quotient term
// times the divisor's tail is added at once into a hash table keyed by
// offset; a heap holds the offsets present, so the next term to divide is
// the largest one. A product always lands below the term that made it, so
// an offset once taken never comes back: the work is one hash update per
// product and one heap entry per offset met.

// Offsets to coefficients, open addressing with the key beside its value
// (one cache line a probe); the table grows at half load.
template <class V>
class OffsetTable {
public:
    explicit OffsetTable(size_t expect) {
        size_t cap = 64;
        while (cap < 2 * expect) cap <<= 1;
        resize(cap);
    }
    // The coefficient at `off`, made 0 when new (new set to true).
    V& at(int64_t off, bool* fresh) {
        if (2 * (used_ + 1) > slots_.size()) grow();
        Slot& e = slots_[find(off)];
        *fresh = e.key == kEmpty;
        if (*fresh) {
            e.key = off;
            used_++;
        }
        return e.val;
    }

private:
    static constexpr int64_t kEmpty = -1;
    struct Slot {
        int64_t key;
        V val;
    };
    void resize(size_t cap) {
        slots_.assign(cap, Slot{kEmpty, 0});
        shift_ = 64;
        while ((size_t{1} << (64 - shift_)) < cap) shift_--;
    }
    size_t find(int64_t off) const {
        const size_t mask = slots_.size() - 1;
        // The top bits of a multiplicative hash: offsets of a layout are
        // far from random in their low bits.
        size_t i = static_cast<size_t>((static_cast<uint64_t>(off) * 0x9E3779B97F4A7C15ull) >> shift_);
        while (slots_[i].key != kEmpty && slots_[i].key != off) i = (i + 1) & mask;
        return i;
    }
    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        resize(old.size() * 2);
        for (const Slot& e : old)
            if (e.key != kEmpty) slots_[find(e.key)] = e;
    }
    std::vector<Slot> slots_;
    int shift_ = 58;
    size_t used_ = 0;
};

// Ring operations of the sparse road: residues modulo p, or integers that
// report an overflow (-1 from the division: undecided).
struct ResidueOps {
    using Value = Int128;
    static constexpr int kOverflow = -1;
    flatgcd::Field F;
    uint32_t inv_lead;
    ResidueOps(uint32_t p, Int128 lead) : F(p), inv_lead(F.inv(static_cast<uint32_t>(lead))) {}
    bool sub_product(Int128& acc, Int128 q, Int128 c) const {
        acc = F.sub(static_cast<uint32_t>(acc), F.mul(static_cast<uint32_t>(q), static_cast<uint32_t>(c)));
        return true;
    }
    // 1 with the quotient, 0 when the lead does not divide c.
    int quotient(Int128 c, Int128* q) const {
        *q = F.mul(static_cast<uint32_t>(c), inv_lead);
        return 1;
    }
};

// Integers in 64-bit words, for operands whose coefficients fit them with
// room: -2 (hand over to IntegerOps) on an overflow.
struct WordOps {
    using Value = int64_t;
    static constexpr int kOverflow = -2;
    int64_t lead;
    explicit WordOps(Int128 l) : lead(static_cast<int64_t>(l)) {}
    bool sub_product(int64_t& acc, int64_t q, Int128 c) const {
        int64_t prod;
        return !__builtin_mul_overflow(q, static_cast<int64_t>(c), &prod) && !__builtin_sub_overflow(acc, prod, &acc);
    }
    int quotient(int64_t c, int64_t* q) const {
        if (lead == -1 && c == INT64_MIN) return kOverflow;
        if (c % lead != 0) return 0;
        *q = c / lead;
        return 1;
    }
};

struct IntegerOps {
    using Value = Int128;
    static constexpr int kOverflow = -1;
    Int128 lead;
    explicit IntegerOps(Int128 l) : lead(l) {}
    bool sub_product(Int128& acc, Int128 q, Int128 c) const {
        Int128 prod;
        return !__builtin_mul_overflow(q, c, &prod) && !__builtin_sub_overflow(acc, prod, &acc);
    }
    int quotient(Int128 c, Int128* q) const {
        const Int128 min128 = static_cast<Int128>(static_cast<Uint128>(1) << 127);
        if (lead == -1 && c == min128) return -1;
        if (c % lead != 0) return 0;
        *q = c / lead;
        return 1;
    }
};

template <class Ops>
int divide_sparse(const Terms& u, const Divisor& m, const Layout& lay, const Ops& ops, QuotientTerms* quot = nullptr) {
    using V = typename Ops::Value;
    OffsetTable<V> table(u.size() * 2);
    std::vector<int64_t> heap;
    heap.reserve(u.size() * 2);
    for (size_t i = 0; i < u.size(); i++) {
        bool fresh;
        V& c = table.at(lay.offset(u.exp(i)), &fresh);
        c = static_cast<V>(u.coefs[i]);
        heap.push_back(lay.offset(u.exp(i)));
    }
    std::make_heap(heap.begin(), heap.end());
    for (uint32_t pops = 1; !heap.empty(); pops++) {
        if ((pops & 0x3FFF) == 0) poll_interrupt();
        std::pop_heap(heap.begin(), heap.end());
        const int64_t top = heap.back();
        heap.pop_back();
        bool fresh;
        const V c = table.at(top, &fresh);
        if (c == 0) continue;
        // A term left below the divisor's leading one is a remainder.
        if (top < m.lead_offset) return 0;
        const int64_t s = top - m.lead_offset;
        if (lay.escapes(s)) return 0;
        V q;
        if (const int r = ops.quotient(c, &q); r != 1) return r;
        if (quot) quot->push_back({s, static_cast<Int128>(q)});
        for (size_t j = 0; j < m.offsets.size(); j++) {
            const int64_t off = s + m.offsets[j];
            V& e = table.at(off, &fresh);
            if (fresh) {
                heap.push_back(off);
                std::push_heap(heap.begin(), heap.end());
            }
            if (!ops.sub_product(e, q, m.coefs[j])) return Ops::kOverflow;
        }
    }
    return 1;
}

// ---- integers past 128 bits: the quotient modulo primes ----
//
// m | u over the integers gives m | u modulo every prime p that keeps m's
// leading term, with quotient q mod p; a remainder modulo one such prime
// proves m does not divide u. Otherwise the quotients modulo p_1 .. p_k are
// combined into one integer polynomial Q (mixed radix, digits in the
// symmetric range), and m·Q ≡ u modulo M = p_1 ··· p_k. When
// ||m||_1 ||Q||_inf + ||u||_inf < M every coefficient of m·Q - u is a
// multiple of M smaller than M in magnitude, so m·Q = u: divisibility is
// proved without one operation on long integers.

int32_t chain_bits(const imag* n) {
    int32_t digits = 0, top = 0;
    for (const numnode* d = n->head; d; d = d->next) {
        if (digits == 0) top = d->digit < 0 ? -d->digit : d->digit;
        digits++;
    }
    int32_t b = 0;
    while ((int64_t{1} << b) <= top) b++;
    return (digits - 1) * DIGIT_BITS + b;
}

// Every coefficient's digits read once from its chain, so that its residue
// modulo each prime comes from contiguous words (a chain walk per prime and
// a hardware division per digit cost more than the division modulo p).
struct FlatDigits {
    std::vector<uint32_t> mag;     // |digit|, most significant first
    std::vector<size_t> start;     // coefficient i: mag[start[i] .. start[i + 1])
    std::vector<char> negative;
    explicit FlatDigits(const std::vector<const imag*>& big) {
        start.reserve(big.size() + 1);
        negative.reserve(big.size());
        for (const imag* n : big) {
            start.push_back(mag.size());
            bool neg = false;
            const numnode* d = n->head;
            for (int32_t k = 0; k < n->count && d; k++, d = d->next) {
                neg = neg || d->digit < 0;
                mag.push_back(static_cast<uint32_t>(d->digit < 0 ? -d->digit : d->digit));
            }
            negative.push_back(neg);
        }
        start.push_back(mag.size());
    }
    uint32_t residue(size_t i, const flatgcd::Field& F) const {
        uint64_t r = 0;
        for (size_t j = start[i]; j < start[i + 1]; j++) r = F.reduce((r << DIGIT_BITS) | mag[j]);
        return negative[i] && r != 0 ? F.p - static_cast<uint32_t>(r) : static_cast<uint32_t>(r);
    }
};

// The division of divide_residues modulo four primes at once, for
// operands read once into offsets: one sweep of the layout with the four
// entries of an offset side by side, so the walk, the offsets and the
// cache lines are shared and the lanes' products go through vector units
// together. u_res and m_res hold four residues per term (lane l modulo
// p[l]); the divisor's term `lead` has no zero residue. Lane l's quotient
// terms go to quot[l]. 1 when every lane divides, 0 when one does not.
int divide_residue_lanes(const std::vector<int64_t>& u_off, const std::vector<uint32_t>& u_res,
                         const std::vector<int64_t>& m_off, const std::vector<uint32_t>& m_res, size_t lead,
                         const Layout& lay, const uint32_t* p, QuotientTerms* quot) {
    constexpr int L = 4;
    std::vector<flatgcd::Field> F;
    uint64_t K[L];
    uint32_t inv[L];
    for (int l = 0; l < L; l++) {
        F.emplace_back(p[l]);
        K[l] = (uint64_t{1} << 63) / p[l] * p[l];
        inv[l] = F[l].inv(m_res[lead * L + static_cast<size_t>(l)]);
    }
    const int64_t lead_off = m_off[lead];
    std::vector<int64_t> tail_off;
    std::vector<uint32_t> neg;   // four per tail term
    for (size_t j = 0; j < m_off.size(); j++) {
        if (j == lead) continue;
        tail_off.push_back(m_off[j] * L);
        for (int l = 0; l < L; l++) neg.push_back(F[l].neg(m_res[j * L + static_cast<size_t>(l)]));
    }
    Scratch<uint64_t> r(static_cast<size_t>(lay.size) * L);
    uint64_t* const rd = r.data();
    int64_t top = 0;
    for (size_t i = 0; i < u_off.size(); i++) {
        for (int l = 0; l < L; l++) rd[u_off[i] * L + l] = u_res[i * L + static_cast<size_t>(l)];
        top = std::max(top, u_off[i]);
    }
    for (int64_t i = top; i >= lead_off; i--) {
        if ((i & 0xFFFF) == 0) poll_interrupt();
        uint64_t* const e = rd + i * L;
        if ((e[0] | e[1] | e[2] | e[3]) == 0) continue;
        uint32_t q[L];
        bool any = false;
        for (int l = 0; l < L; l++) {
            q[l] = static_cast<uint32_t>(e[l] % p[l]);
            any = any || q[l] != 0;
        }
        if (!any) continue;
        const int64_t s = i - lead_off;
        if (lay.escapes(s)) return 0;
        for (int l = 0; l < L; l++) {
            e[l] = 0;
            if (q[l] == 0) continue;
            q[l] = F[l].mul(q[l], inv[l]);
            quot[l].push_back({s, static_cast<Int128>(q[l])});
        }
        add_lane_products4(rd + s * L, tail_off.data(), neg.data(), tail_off.size(), q, K);
    }
    for (int64_t i = 0; i < lead_off * L; i++)
        if (rd[i] % p[i % L] != 0) return 0;
    return 1;
}

// The quotient's terms as digit numbers, (offset, value), for quotients of
// integers past 128 bits.
using WideTerms = std::vector<std::pair<int64_t, imag*>>;

// The quotient goes to wide when it is wanted; null only asks whether m | u.
int divide_by_primes(const Terms& u, const Terms& m, const Layout& lay, int64_t cap, WideTerms* wide) {
    int32_t bits_u = 0, bits_m = 0;
    for (const imag* c : u.big) bits_u = std::max(bits_u, chain_bits(c));
    for (const imag* c : m.big) bits_m = std::max(bits_m, chain_bits(c));
    // ||m||_1 < terms · max |coefficient|.
    int32_t log_terms = 0;
    while ((size_t{1} << log_terms) < m.size()) log_terms++;
    const int32_t bits_m1 = bits_m + log_terms;
    size_t lead = 0;
    for (size_t i = 0; i < m.size(); i++)
        if (lay.offset(m.exp(i)) > lay.offset(m.exp(lead))) lead = i;

    const FlatDigits du(u.big), dm(m.big);
    std::vector<uint32_t> primes;
    std::unordered_map<int64_t, size_t> where;   // quotient offset -> its digits
    std::vector<std::vector<int32_t>> digits;    // mixed radix, symmetric, oldest prime first
    // The dense road reads the operands once: offsets, and every
    // coefficient's digits.
    const bool dense = lay.size <= cap;
    std::vector<int64_t> u_off, m_off;
    if (dense) {
        for (size_t i = 0; i < u.size(); i++) u_off.push_back(lay.offset(u.exp(i)));
        for (size_t i = 0; i < m.size(); i++) m_off.push_back(lay.offset(m.exp(i)));
    }
    std::vector<QuotientTerms> lane_q;
    std::vector<uint32_t> batch;
    size_t next_in_batch = 0;
    for (int32_t idx = 1;;) {
        poll_interrupt();
        // Each prime exceeds 2^30: k of them make M > 2^(30k).
        const int32_t bits_M = 30 * static_cast<int32_t>(primes.size());
        if (bits_M > bits_u + bits_m1 + 256) return -1;   // m | u over Q only, or a huge quotient
        QuotientTerms q;
        uint32_t p;
        if (dense) {
            if (next_in_batch == batch.size()) {
                // The next four primes that keep m's leading term, divided
                // side by side: four lanes cost little more than one, so a
                // prime the stop test turns out not to need is cheap.
                batch.clear();
                while (batch.size() < 4) {
                    const uint32_t b = static_cast<uint32_t>(word_prime_at(idx++));
                    if (dm.residue(lead, flatgcd::Field(b)) != 0) batch.push_back(b);
                }
                std::vector<uint32_t> u_res(u.size() * batch.size()), m_res(m.size() * batch.size());
                for (size_t l = 0; l < batch.size(); l++) {
                    const flatgcd::Field Fb(batch[l]);
                    for (size_t i = 0; i < u.size(); i++) u_res[i * batch.size() + l] = du.residue(i, Fb);
                    for (size_t i = 0; i < m.size(); i++) m_res[i * batch.size() + l] = dm.residue(i, Fb);
                }
                lane_q.assign(batch.size(), QuotientTerms());
                const int r = divide_residue_lanes(u_off, u_res, m_off, m_res, lead, lay, batch.data(), lane_q.data());
                if (r != 1) return r;
                next_in_batch = 0;
            }
            p = batch[next_in_batch];
            q.swap(lane_q[next_in_batch]);
            next_in_batch++;
        } else {
            p = static_cast<uint32_t>(word_prime_at(idx++));
            const flatgcd::Field Fp(p);
            if (dm.residue(lead, Fp) == 0) continue;
            Terms up, mp;
            for (auto [src, dst, digs] :
                 {std::tuple<const Terms*, Terms*, const FlatDigits*>{&u, &up, &du}, {&m, &mp, &dm}}) {
                dst->nvars = src->nvars;
                for (size_t i = 0; i < src->size(); i++) {
                    const uint32_t r = digs->residue(i, Fp);
                    if (r == 0) continue;
                    dst->exps.insert(dst->exps.end(), src->exp(i), src->exp(i) + src->nvars);
                    dst->coefs.push_back(r);
                }
            }
            const Divisor dv = divisor_of(mp, lay);
            const int r = divide_sparse(up, dv, lay, ResidueOps(p, dv.lead), &q);
            if (r != 1) return r;
        }
        // Garner: the value so far modulo p, then the new digit.
        const flatgcd::Field F(p);
        const size_t k = primes.size();
        std::vector<uint32_t> radix(k + 1, 1);   // p_1 ··· p_i mod p
        for (size_t i = 0; i < k; i++) radix[i + 1] = F.mul(radix[i], primes[i] % p);
        const uint32_t inv = F.inv(radix[k]);
        std::vector<uint32_t> now(digits.size(), 0);
        for (const auto& [off, c] : q) {
            auto [it, fresh] = where.emplace(off, digits.size());
            if (fresh) {
                digits.emplace_back(k, 0);
                now.push_back(0);
            }
            now[it->second] = c;
        }
        int32_t top = -1;   // the highest non-zero digit over all coefficients
        for (size_t t = 0; t < digits.size(); t++) {
            uint32_t v = 0;
            for (size_t i = 0; i < k; i++) {
                const int32_t d = digits[t][i];
                v = F.add(v, F.mul(d < 0 ? p - static_cast<uint32_t>(-d) : static_cast<uint32_t>(d), radix[i]));
            }
            const uint32_t nd = F.mul(F.sub(now[t], v), inv);
            digits[t].push_back(nd > p / 2 ? static_cast<int32_t>(nd) - static_cast<int32_t>(p) : static_cast<int32_t>(nd));
            for (size_t i = digits[t].size(); i-- > 0;)
                if (digits[t][i] != 0) {
                    top = std::max(top, static_cast<int32_t>(i));
                    break;
                }
        }
        primes.push_back(p);
        // |Q| < p_1 ··· p_(top+1) < 2^(31 (top + 1)).
        const int32_t bits_q = 31 * (top + 1);
        if (std::max(bits_m1 + bits_q, bits_u) + 2 <= 30 * static_cast<int32_t>(primes.size())) {
            if (!wide) return 1;
            // Digit numbers whatever their size: nothing below can fail.
            for (const auto& [off, at] : where) {
                const std::vector<int32_t>& d = digits[at];
                bool zero = true;
                for (int32_t x : d) zero = zero && x == 0;
                if (!zero) wide->push_back({off, mixed_radix_number(d.data(), primes.data(), d.size())});
            }
            return 1;
        }
    }
}

// The lowest term in the order of the levels: the last node at each level
// down to a number. False for a negative exponent or a level past nvars.
bool lowest_term(const polynode* p, int32_t nvars, std::vector<int32_t>& e, const imag** c) {
    e.assign(static_cast<size_t>(nvars), 0);
    for (int32_t idx = 0;; idx++) {
        while (p->next) p = p->next;
        if (p->exp < 0) return false;
        if (p->numb) {
            *c = p->ncoef;
            return true;
        }
        if (idx >= nvars) return false;
        e[static_cast<size_t>(idx)] = p->exp;
        p = p->pcoef;
    }
}

// The lowest terms multiply to the lowest term (no zero divisors): true
// when u's cannot be a multiple of m's, which refuses most non-multiples
// at once. Read straight off the records, before any layout is made.
bool lowest_terms_refuse(const polynode* u, const polynode* m, int32_t nvars, int64_t mod) {
    std::vector<int32_t> eu, em;
    const imag *cu = nullptr, *cm = nullptr;
    if (!lowest_term(u, nvars, eu, &cu) || !lowest_term(m, nvars, em, &cm)) return false;
    for (int32_t k = 0; k < nvars; k++)
        if (eu[static_cast<size_t>(k)] < em[static_cast<size_t>(k)]) return true;
    if (mod != 0) return false;
    Int128 a, b;
    if (!integer_value(cu, &a) || !integer_value(cm, &b) || b == 0 || (b == -1 && a < 0)) return false;
    return a % b != 0;
}

// The division on substituted terms: 1, 0 or -1 as kronecker_divides,
// with the quotient's (offset, value) terms in *quot when asked and the
// layout in *lay_out.
int kronecker_run(polynode* u, polynode* m, pt* rec, QuotientTerms* quot, Layout* lay_out, WideTerms* wide = nullptr) {
    if (!u || !m || !rec) return -1;
    if (field_depth != 0 || laurent || relation_inward(rec)) return -1;
    int64_t mod = 0;
    if (modularmode) {
        if (!mod_is_prime || finf || modulus < 3) return -1;
        mod = modulus;
    } else if (lintmode) {
        return -1;
    }

    int32_t nvars = 0;
    for (pt* r = rec; r; r = r->next) nvars++;
    if (!m->numb && lowest_terms_refuse(u, m, nvars, mod)) return 0;
    Terms tu, tm;
    if (!Reader(nvars, mod, &tu).read(u, 0) || !Reader(nvars, mod, &tm).read(m, 0)) return -1;
    if (tm.size() == 0) return -1;   // a zero divisor is the general code's error
    if (tu.size() == 0) return 1;
    const std::vector<int32_t> du = degrees(tu), dm = degrees(tm);

    Layout lay;
    bool constant = true;
    for (int32_t k = 0; k < nvars; k++) {
        // m | u forces deg_k(m) <= deg_k(u): no zero divisors.
        if (dm[k] > du[k]) return 0;
        if (dm[k] > 0) constant = false;
        if (du[k] == 0) continue;
        lay.level.push_back(k);
        lay.base.push_back(int64_t{du[k]} + 1);
        lay.deg_m.push_back(dm[k]);
    }
    if (constant) return -1;

    const int64_t cap = std::min(mod ? kMaxResidueEntries : kMaxIntegerEntries,
                                 kEntriesPerTerm * static_cast<int64_t>(tu.size()) + kEntriesSlack);
    lay.stride.assign(lay.level.size(), 0);
    for (size_t k = lay.level.size(); k-- > 0;) {
        lay.stride[k] = lay.size;
        // Offsets must fit a word with room for a sum of two.
        if (__builtin_mul_overflow(lay.size, lay.base[k], &lay.size) || lay.size > kMaxOffsets) return -1;
    }

    if (lay_out) *lay_out = lay;
    // Integers past 128 bits (either operand keeps every record too).
    if (tu.wide || tm.wide) return divide_by_primes(tu, tm, lay, cap, quot ? wide : nullptr);
    const Divisor dv = divisor_of(tm, lay);
    // The lowest terms were compared before reading (lowest_terms_refuse);
    // what needs the layout is left: the quotient's lowest term must lie in
    // its box.
    {
        int64_t lu = INT64_MAX, lm = INT64_MAX;
        for (size_t i = 0; i < tu.size(); i++) lu = std::min(lu, lay.offset(tu.exp(i)));
        for (size_t i = 0; i < tm.size(); i++) lm = std::min(lm, lay.offset(tm.exp(i)));
        if (lu < lm || lay.escapes(lu - lm)) return 0;
    }
    if (mod) {
        if (lay.size > cap) return divide_sparse(tu, dv, lay, ResidueOps(static_cast<uint32_t>(mod), dv.lead), quot);
        return divide_residues(tu, dv, lay, static_cast<uint32_t>(mod), quot);
    }
    // Coefficients below 2^62 in magnitude: try 64-bit words first (a
    // hand-over starts the quotient afresh).
    const Uint128 small = Uint128{1} << 62;
    bool words = magnitude(dv.lead) < small;
    for (Int128 c : tu.coefs) words = words && magnitude(c) < small;
    for (Int128 c : dv.coefs) words = words && magnitude(c) < small;
    if (lay.size > cap) {
        if (words) {
            if (const int r = divide_sparse(tu, dv, lay, WordOps(dv.lead), quot); r != -2) return r;
            if (quot) quot->clear();
        }
        return divide_sparse(tu, dv, lay, IntegerOps(dv.lead), quot);
    }
    if (words) {
        if (const int r = divide_words(tu, dv, lay, quot); r != -2) return r;
        if (quot) quot->clear();
    }
    return divide_integers(tu, dv, lay, quot);
}

// *q := the polynomial of the quotient's terms (offset, value), the largest
// offset first after sorting, which is the terms' own order; number(value)
// gives a term's coefficient as a lone number node.
template <class T, class Number>
int quotient_poly(std::vector<std::pair<int64_t, T>>& terms, const Layout& lay, int32_t nvars, Number number,
                  polynode** q) {
    std::sort(terms.begin(), terms.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<int32_t> exps(terms.size() * static_cast<size_t>(nvars), 0);
    for (size_t i = 0; i < terms.size(); i++)
        for (size_t k = 0; k < lay.level.size(); k++)
            exps[i * static_cast<size_t>(nvars) + static_cast<size_t>(lay.level[k])] =
                static_cast<int32_t>(terms[i].first / lay.stride[k] % lay.base[k]);
    polynode* result =
        poly_from_terms(exps.data(), terms.size(), nvars, [&](size_t i) { return number(terms[i].second); });
    free_poly(q);
    *q = result;
    return 1;
}

}  // namespace

int kronecker_divides(polynode* u, polynode* m, pt* rec) { return kronecker_run(u, m, rec, nullptr, nullptr); }

int kronecker_quotient(polynode* u, polynode* m, pt* rec, polynode** q) {
    QuotientTerms quot;
    WideTerms wide;
    Layout lay;
    const int r = kronecker_run(u, m, rec, &quot, &lay, &wide);
    if (r != 1) return r;
    int32_t nvars = 0;
    for (pt* v = rec; v; v = v->next) nvars++;
    // Digit numbers past 128 bits are taken over.
    if (!wide.empty())
        return quotient_poly(wide, lay, nvars, [](imag*& n) { return new_number_node(std::exchange(n, nullptr)); }, q);
    const bool residues = modularmode != 0;
    return quotient_poly(quot, lay, nvars, [&](Int128 c) {
        if (residues) {
            polynode* n = nullptr;
            poly_set(static_cast<int32_t>(c), &n);
            return n;
        }
        return new_number_node(int128_number(c));
    }, q);
}
