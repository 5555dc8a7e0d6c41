// Divisibility tests (Divides, Pdivides, SDivide), the remainder with its
// quotient (Remquot) and Return.
#include <cstdio>

#include "builtins/builtin_func.h"
#include "gcd/nonfield_ring.h"
#include "gcd/trialdiv.h"
#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "quoly/quoly.h"
#include "quoly/trial_divide.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

bool has_polynomial_denominator(const quoly* q) { return !q->isnum && q->den; }

// The divisor: a denominator is refused (a plain number is fine); 0 is
// error 22, and the divisor becomes 1 when the error routine returns.
void check_divisor(quoly** d) {
    if (has_polynomial_denominator(*d)) bfail(280, token.name);
    if (quoly_iszero(*d)) {
        error(22, token.name);
        quoly_set(1, d);
    }
}

// trial_divide, whose "does not divide" after a stop at a leading
// coefficient that may be a zero divisor of a relation without the field
// flag is no answer: error 271 then.
int watched_trial_divide(quoly** divisor, quoly** dividend, int perform, int opt_a, int opt_b, int* flag) {
    struct Watch {
        Watch() {
            zero_divisor_lead_watch++;
            zero_divisor_lead_met = 0;
            zero_divisor_lead_ring = nullptr;
        }
        ~Watch() { zero_divisor_lead_watch--; }
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
    } watch;
    const int failed = trial_divide(divisor, dividend, perform, opt_a, opt_b, flag);
    if (failed && zero_divisor_lead_met) nonfield::refuse(zero_divisor_lead_ring ? zero_divisor_lead_ring : token.name);
    return failed;
}

// Divides(d, n [, q]) (15) and Pdivides(d, n) (60): 1 when d divides n.
void divides(FILE** source, quoly** result, name** pending, int32_t n) {
    SlotHold d, num;
    open_arguments(source, pending);
    if (n == 60 && token_is(&token, "^")) bnext(source, pending);
    value_argument(source, pending, &d.q, n == 15);
    next_argument(source, pending);
    if (n == 60 && token_is(&token, "^")) bnext(source, pending);
    value_argument(source, pending, &num.q, n == 15);
    check_divisor(&d.q);
    if (has_polynomial_denominator(num.q)) bfail(280, token.name);
    const bool want_quotient = n == 15 && token_is(&token, ",");
    int flag = 0;
    const int failed = watched_trial_divide(&d.q, &num.q, want_quotient ? 1 : 0, n == 60 ? 1 : 0, 0, &flag);
    if (want_quotient) {
        bnext(source, pending);
        quoly* stored = nullptr;
        if (failed)
            quoly_set(1, &stored);
        else
            stored = num.release();
        set_quotient(stored, source, pending, 1, ')');
    }
    close_arguments(source, pending);
    quoly_set(failed ? 0 : 1, result);
}

// SDivide(d, ^n): n := n / d when d divides n; n keeps its value otherwise.
void divide_in_place(FILE** source, quoly** result, name** pending) {
    SlotHold d, own;
    open_arguments(source, pending);
    if (token_is(&token, "^")) bnext(source, pending);
    value_argument(source, pending, &d.q);
    next_argument(source, pending);
    quoly** target = read_quoly_ptr2(source, pending, &own.q);
    close_arguments(source, pending);
    check_divisor(&d.q);
    if (has_polynomial_denominator(*target)) bfail(280, token.name);
    // The division works on a copy: the variable changes only when it
    // succeeds.
    SlotHold work;
    quoly_assign(*target, &work.q);
    int flag = 0;
    const int failed = watched_trial_divide(&d.q, &work.q, 1, 0, 1, &flag);
    if (!failed && target != &own.q) {
        free_quoly(target);
        *target = work.release();
        if ((*target)->isnum) (*target)->den = nullptr;
    }
    quoly_set(failed ? 0 : 1, result);
}

// Remquot(a, b, q): the remainder, the quotient into q.
void remainder_and_quotient(FILE** source, quoly** result, name** pending) {
    SlotHold b;
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    next_argument(source, pending);
    value_argument(source, pending, &b.q, true);
    next_argument(source, pending);
    quoly_mod_and_quot(result, &b.q);
    set_quotient(b.release(), source, pending, 1, ')');
    close_arguments(source, pending);
}

// Return(v): ends the running function with v; ignored at the terminal.
void return_value(FILE** source, quoly** result, name** pending) {
    open_arguments(source, pending);
    value_argument(source, pending, result, true);
    close_arguments(source, pending);
    if (!*pending) {
        std::printf(" *** Warning. 'Return' ignored.\n");
        std::fflush(stdout);
    } else {
        exit_flag = 1;
    }
}

}  // namespace

bool division_builtin(FILE** source, quoly** result, name** pending, int32_t n) {
    switch (n) {
    case 15:
    case 60:
        divides(source, result, pending, n);
        return true;
    case 80:
        divide_in_place(source, result, pending);
        return true;
    case 74:
        remainder_and_quotient(source, result, pending);
        return true;
    case 75:
        return_value(source, result, pending);
        return true;
    default:
        return false;
    }
}
