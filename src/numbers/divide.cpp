// Division of digit numbers: the one-step and long divisions, the signed
// wrapper, the remainder-only variants the gcd routines use, and reductions
// to a residue.
//
// Operands are read once into magnitude arrays and divided there (the
// kernels are in divide_impl.cpp); quotient and remainder are written back
// only after both are known, so either may go into an operand's record. A
// dividend given as a chain is only read.
#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"

namespace {

using digits::Mag;

thread_local Mag da, db, dq, dr;

[[maybe_unused]] const bool scratch_noted = digits::note_scratch([] {
    digits::give_back(da);
    digits::give_back(db);
    digits::give_back(dq);
    digits::give_back(dr);
});

// dr := A mod B and, when q is wanted, dq := A div B, for the chains A
// (la digits from pa) and B (lb digits from pb, non-zero), both read as
// magnitudes; returns the sign of A times the sign of B.
int divide_chains(const numnode* pa, int32_t la, const numnode* pb, int32_t lb, bool q) {
    if (la + lb >= digits::kPrivateDigits) {
        Mag a, b, oq, orem;
        const int sa = digits::read_chain(pa, la, a);
        const int sb = digits::read_chain(pb, lb, b);
        {
            digits::PrivateOperands mark;
            digits::mag_divmod(a.data(), la, b.data(), lb, q ? &oq : nullptr, orem);
        }
        if (q) dq.swap(oq);
        dr.swap(orem);
        return sa * sb;
    }
    const int sa = digits::read_chain(pa, la, da);
    const int sb = digits::read_chain(pb, lb, db);
    digits::mag_divmod(da.data(), la, db.data(), lb, q ? &dq : nullptr, dr);
    return sa * sb;
}

// The head digit of a magnitude, 0 for zero.
uint32_t head_digit(const Mag& x) {
    const int32_t n = digits::mag_len(x.data(), static_cast<int32_t>(x.size()));
    return n ? x[static_cast<size_t>(n - 1)] : 0;
}

}  // namespace

void simp_divide(numnode* pa, int32_t la, imag* b, imag* q, imag* r) {
    divide_chains(pa, la, b->head, b->count, true);
    // A < 2^28 b: the quotient is one digit.
    const int32_t d = static_cast<int32_t>(head_digit(dq));
    digits::write_number(r, dr, 1);
    special_set(d, q);
}

void simp_divide_noq(numnode* pa, numnode* pb, numnode* tb, int32_t la, int32_t lb, imag* r) {
    (void)tb;
    divide_chains(pa, la, pb, lb, false);
    digits::write_number(r, dr, 1);
}

void pos_divide(imag* a, imag* b, imag* q, imag* r) {
    const bool zero_quotient = a->count < b->count;
    divide_chains(a->head, a->count, b->head, b->count, true);
    digits::write_number(q, dq, 1);
    if (zero_quotient && lintmode) q->value = 0;
    digits::write_number(r, dr, 1);
}

void pos_divide_noq(numnode* pa, numnode* pb, numnode* tb, int32_t la, int32_t lb, imag* r) {
    (void)tb;
    divide_chains(pa, la, pb, lb, false);
    digits::write_number(r, dr, 1);
}

void divide(imag* a, imag* b, imag* q, imag* r) {
    if (b->head->digit == 0) return;
    // q truncated towards zero; r = sign(a b) (|a| mod |b|): both results
    // take the sign of the product.
    const int s = divide_chains(a->head, a->count, b->head, b->count, true);
    digits::write_number(q, dq, s);
    digits::write_number(r, dr, s);
}

int32_t quotient_of(imag* a, int32_t k) {
    digits::read_chain(a->head, a->count, da);
    digits::mag_divmod_word(da.data(), a->count, static_cast<uint32_t>(k), da.data());
    return static_cast<int32_t>(head_digit(da));
}

int32_t modout(imag* a) {
    // The modulus may pass 2^28 - 1; a machine-word divisor takes it whole.
    const int sa = digits::read_chain(a->head, a->count, da);
    const uint32_t m = digits::mag_divmod_word(da.data(), a->count, static_cast<uint32_t>(modulus), nullptr);
    return sa < 0 ? -static_cast<int32_t>(m) : static_cast<int32_t>(m);
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
