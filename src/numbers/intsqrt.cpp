// Integer square root: a first estimate from the top digits (for long
// numbers the root of the top half, found by the same routine), then Newton
// steps with exact divisions; after a recursive estimate one step and a
// square suffice.
#include <cmath>
#include <cstdint>

#include "numbers/digits_impl.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"

namespace {

void sqrt_of(imag* a, imag* r, bool poll);

void drop_chain(imag* x) {
    if (x->count > 0) give_back_chain(x->head, x->tail);
    x->count = 0;
}

struct TempNum {
    imag* p;
    TempNum() : p(new_number()) {}
    ~TempNum() {
        drop_chain(p);
        free_imag(&p);
    }
    TempNum(const TempNum&) = delete;
    TempNum& operator=(const TempNum&) = delete;
    imag* operator->() const { return p; }
    operator imag*() const { return p; }
};

// Cuts a's chain after its top k digits for the guard's lifetime; the cut
// part is readable as a number record of its own.
class TopDigits {
public:
    TopDigits(imag* a, int32_t k) : last_(a->head) {
        for (int32_t i = 1; i < k; i++) last_ = last_->next;
        rest_ = last_->next;
        last_->next = nullptr;
        top_.head = a->head;
        top_.tail = last_;
        top_.link = nullptr;
        top_.value = 0;
        top_.count = k;
    }
    ~TopDigits() { last_->next = rest_; }
    TopDigits(const TopDigits&) = delete;
    TopDigits& operator=(const TopDigits&) = delete;
    imag* number() { return &top_; }

private:
    imag top_;
    numnode* last_;
    numnode* rest_;
};

// x := a first estimate of sqrt(a) for a of two or more digits, within a
// few units in its last half of digits, and never 0.
void first_estimate(imag* a, imag* x, bool poll) {
    const int32_t n = a->count;
    if (n < sqcut) {
        const int64_t top = static_cast<int64_t>(a->head->digit) * DIGIT_BASE + a->head->next->digit;
        const int64_t e = static_cast<int64_t>(std::floor(std::sqrt(static_cast<double>(top)) + 0.5));
        setvalue(static_cast<int32_t>(e), x);
        // a is about top * 2^(28 (n - 2)): an odd n - 2 leaves a factor 2^14.
        if ((n - 2) % 2) multiply(x, num_2_14, x);
        fillout(x, (n - 2) / 2);
        return;
    }
    // An even number of digits must remain below the cut, so that the root
    // of the top scales by whole digits.
    int32_t k = n / 2 + 2;
    if ((n - k) % 2) k++;
    {
        TopDigits top(a, k);
        sqrt_of(top.number(), x, poll);
    }
    fillout(x, (n - k) / 2);
}

// From a recursive estimate x, one Newton step lands on the root s or a
// unit or two above it: the estimate misses s by e, about B^j with j a
// little under a quarter of a's n digits, while x is about B^(n/2), so the
// step's error e^2/(2x) stays below one. The step never goes below s, and
// its square then finds s by going down, cheaper than a second division.
// Returns 0, with x still at or above s, when that takes more than a few
// steps down.
int step_and_square(imag* a, imag* x, imag* q, imag* rem, imag* sq) {
    pos_divide(a, x, q, rem);
    fastsum(x, q);
    shift_right_1(x);
    fast_mult(x, x, sq);
    for (int down = 0; pos_bigger(sq, a); down++) {
        if (down == 3) return 0;
        // (x - 1)^2 = x^2 - x - (x - 1)
        fastdiff(sq, x);
        fastdiff(x, number_1);
        fastdiff(sq, x);
    }
    return 1;
}

// r := floor(sqrt(a)); with poll set, a is a copy of the routine's own,
// and each step may stop for an interrupt.
void sqrt_of(imag* a, imag* r, bool poll) {
    if (a->count == 1) {
        special_set(static_cast<int32_t>(std::sqrt(static_cast<double>(a->head->digit))), r);
        return;
    }
    TempNum x, q, rem, d;
    first_estimate(a, x, poll);
    if (poll) poll_interrupt();
    const bool done = a->count >= sqcut && step_and_square(a, x, q, rem, d);
    while (!done) {
        if (poll) poll_interrupt();
        pos_divide(a, x, q, rem);
        meddiff(x->count, q->count, x->head, q->head, d);
        const int32_t d0 = d->head->digit;
        if (d->count == 1 && d0 >= -1 && d0 <= 1) {
            if (d0 == 1) fastdiff(x, number_1);
            break;
        }
        const bool negative = d0 < 0;
        if (negative)
            for (numnode* p = d->head; p; p = p->next) p->digit = -p->digit;
        shift_right_1(d);
        if (negative) fastsum(x, d);
        else fastdiff(x, d);
    }
    if (r->count > 0 && !lintmode) give_back_chain(r->head, r->tail);
    r->head = x->head;
    r->tail = x->tail;
    r->count = x->count;
    x->count = 0;
}

}  // namespace

// a is only read (Newton's steps divide by the estimate), so keep needs no
// working copy. A long a is still copied: its recursion cuts the chain it
// works on for a while, and an interrupt may open a level that reads a.
void int_sqrt(imag* a, imag* r, int keep) {
    (void)keep;
    if (a->count >= digits::sqrt_rem_cut) {
        digits::Mag m, s;
        if (digits::read_chain(a->head, a->count, m) > 0) {
            // The digits are a copy of the routine's own from here on.
            if (a->count >= digits::kPrivateDigits) {
                digits::PrivateOperands own;
                digits::mag_sqrt(m.data(), a->count, s);
            } else {
                digits::mag_sqrt(m.data(), a->count, s);
            }
            digits::write_number(r, s, 1);
            return;
        }
    }
    if (a->count >= digits::kPrivateDigits) {
        TempNum own;
        fast_assign(a->head, a->count, own);
        sqrt_of(own, r, true);
        return;
    }
    sqrt_of(a, r, false);
}
