// Addition and subtraction of digit numbers, and the mode-dispatching
// difference. Operands are read into magnitude arrays once; the result is
// written back into the target's own nodes where it has them.
#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"

namespace {

thread_local digits::Mag ta, tb, tr;

[[maybe_unused]] const bool scratch_noted = digits::note_scratch([] {
    digits::give_back(ta);
    digits::give_back(tb);
    digits::give_back(tr);
});

// r := sa*A + sb*B on magnitudes; returns the sign of the result.
int signed_add(const digits::Mag& a, int sa, const digits::Mag& b, int sb, digits::Mag& r) {
    int32_t na = static_cast<int32_t>(a.size()), nb = static_cast<int32_t>(b.size());
    if (sb == 0) {
        r = a;
        return sa;
    }
    if (sa == 0) {
        r = b;
        return sb;
    }
    if (sa == sb) {
        digits::mag_add(a.data(), na, b.data(), nb, r);
        return sa;
    }
    int c = digits::mag_cmp(a.data(), na, b.data(), nb);
    if (c == 0) {
        r.assign(1, 0);
        return 0;
    }
    if (c > 0) {
        digits::mag_sub(a.data(), na, b.data(), nb, r);
        return sa;
    }
    digits::mag_sub(b.data(), nb, a.data(), na, r);
    return sb;
}

// c := A + bsign*B for chains A (la digits from pa) and B (lb digits from pb).
void chain_sum(int32_t la, int32_t lb, numnode* pa, numnode* pb, imag* c, int bsign) {
    int sa = digits::read_chain(pa, la, ta);
    int sb = bsign * digits::read_chain(pb, lb, tb);
    int s = signed_add(ta, sa, tb, sb, tr);
    digits::write_number(c, tr, s);
}

}  // namespace

void fastsum(imag* a, imag* b) { chain_sum(a->count, b->count, a->head, b->head, a, 1); }

void fastdiff(imag* a, imag* b) { chain_sum(a->count, b->count, a->head, b->head, a, -1); }

void medsum(int32_t la, int32_t lb, numnode* pa, numnode* pb, imag* c) {
    chain_sum(la, lb, pa, pb, c, 1);
}

void meddiff(int32_t la, int32_t lb, numnode* pa, numnode* pb, imag* c) {
    chain_sum(la, lb, pa, pb, c, -1);
}

void sub(imag* a, imag* b, imag* c) {
    if (modularmode) {
        if (finf) {
            c->value = a->value ^ b->value;
        } else {
            int32_t t = a->value - b->value;
            c->value = t < 0 ? t + modulus : t;
        }
    } else if (lintmode) {
        c->value = static_cast<int32_t>(static_cast<uint32_t>(a->value) - static_cast<uint32_t>(b->value));
    } else if (c == a && c->count > 0) {
        fastdiff(c, b);
    } else {
        meddiff(a->count, b->count, a->head, b->head, c);
    }
}
