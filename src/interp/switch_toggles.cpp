// The switches that flip a flag and report the new state, and the small
// switches that only read or raise one word: the gcd stash counter, the
// index origin, free storage, processor time and the control flags.
#include <cstdio>
#include <ctime>

#include "gcd/algc.h"
#include "gcd/gcdstash.h"
#include "gcd/polygcd.h"
#include "gcd/trialdiv.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/switch_impl.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/ring_change.h"

namespace {

enum class Shown { always, outside_body };

struct Toggle {
    int sw;
    int* flag;
    const char* on;     // printed when the flag becomes 1
    const char* off;    // printed when it becomes 0
    Shown shown;
    bool flush;         // the message must reach the terminal at once
};

const Toggle toggles[] = {
    {'&', &diskstore, " Will use disk space for virtual memory.\n",
     " No disk space for virtual memory.\n", Shown::always, false},
    {'2', &monomial_list, " Will display polynomials as list of monomials.\n",
     " Will display polynomials in nested form.\n", Shown::outside_body, false},
    {'5', &lagrange_stash,
     " Will stash coefficents in LaGrange Det computation -- if you have specified a save file.\n",
     " Will not stash coefficents in LaGrange Det computation.\n", Shown::outside_body, false},
    {'B', &chpoly_block, " Chpoly will be slowed in modularmode.\n", " Will optimize Chpoly in modularmode.\n",
     Shown::always, false},
    {'E', &extra_line, " Will do extra line after display.\n", " No extra line after display.\n",
     Shown::always, false},
    {'H', &alt_form_display,
     " Will display modular values using -m, -m+1, ..., 0, 1, ..., n.\n"
     "    where m = (modulus - 1) div 2 and n = modulus div 2.\n",
     " Will display modular values using 0, 1, ..., modulus - 1.\n", Shown::outside_body, false},
    {'I', &mod_matrix_ok, " Will try adjoint-CRT method to invert integer matrix.\n",
     " No adjoint-CRT method to invert integer matrices; will use G.E.\n", Shown::always, true},
    {'N', &noisy, " Will display results.\n", " Displaying results is deactivated.\n", Shown::always, false},
    {'O', &chinhensel, " Will use Hensel and CRT for multivariate GCD.  This is the default.\n",
     " Use no Hensel or CRT for GCD. This is recommended only over Z/p for small primes.\n",
     Shown::outside_body, false},
    {'U', &uglyprint,
     " Will do ugly display style.\n"
     " WARNING. Func, for, if, and while from terminal don't work when uglyprint is on.",
     " Will resume lovely Tarvex style.\n", Shown::always, false},
    {'V', &verbose, " Will display informative comments.\n", " Informative comments supressed.\n",
     Shown::always, true},
    {'W', &windy, " Extra verbosity turned on.\n", " Extra verbosity turned off.\n", Shown::always, true},
    {'Z', &danger_ok, " O.K. to interrupt anytime. This might be dangerous.\n",
     " Can't interrupt at dangerous times.\n", Shown::always, true},
    {'b', &close_inpuf, " Will close input file if error occurs while loading.\n",
     " Will not immediately close input file if error occurs while loading.\n", Shown::always, true},
    {'c', &hen_check, " will double check hensel gcd answers.\n", " will single check hensel gcd answers.\n",
     Shown::outside_body, false},
    {'e', &errorpush, " Will push new level after errors.\n", " Pushing after errors is deactivated.\n",
     Shown::outside_body, false},
    {'n', &nomodpolyreadin, " Will not mod out integers during poly-readin over modular ground ring.\n",
     " Will mod out integers during poly-readin over modular ground ring.\n", Shown::always, false},
    {'t', &timerflag, " Timing enabled.\n", " Timing disabled.\n", Shown::always, false},
    {'|', &pos_mod, " modding must return non-negatives.\n", " modding can return negatives.\n",
     Shown::outside_body, false},
    {SW_LINE_SUP, &do_line_sup, " Will suppress output to terminal of long polys.\n",
     " No suppression of output to terminal of long polys.\n", Shown::always, false},
    {SW_TRY_RAT, &try_rat, " Will try fastest probabilistic test for exact poly division.\n",
     " No fastest probabilistic test for exact poly division.\n", Shown::always, false},
};

}  // namespace

bool run_toggle(int sw, name** pending) {
    const Toggle* t = nullptr;
    for (const Toggle& c : toggles)
        if (c.sw == sw) t = &c;
    if (!t) return false;
    // Chpoly interpolation is decided before machine-integer arithmetic starts.
    if (sw == 'B' && lintmode) error(235, token.name);
    *t->flag = !*t->flag;
    if (sw == 'U') continuation = uglyprint ? ' ' : '`';
    if (sw == SW_TRY_RAT) rat_yes = try_rat;
    if (sw == 'H') record_symmetric_display();
    if (t->shown == Shown::always || outside_body(pending)) std::printf("%s", *t->flag ? t->on : t->off);
    if (t->flush) std::fflush(stdout);
    return true;
}

void stash_counter(FILE** source, quoly** value, name** pending) {
    scanner(source, &token, pending);
    const char* message;
    if (token_is(&token, "+")) {
        lookupgcd++;
        if (lookupgcd > 0)
            message = " stashing on.";
        else if (lookupgcd == 0)
            message = " stashing off.";
        else
            message = " pushed, but stashing still off.";
    } else if (token_is(&token, "-")) {
        lookupgcd--;
        if (lookupgcd > 0) {
            message = " popped, but stashing remains in effect.";
        } else {
            // Only the last pop empties the stash; a counter already below
            // zero has nothing stashed.
            if (lookupgcd == 0) free_gcd_stash();
            message = " stashing off.";
        }
    } else {
        error(285, token.name);
        return;
    }
    if (outside_body(pending)) std::printf("%s\n", message);
    quoly_set(lookupgcd, value);
}

void flip_index_origin(quoly** value, name** pending) {
    addresser = 1 - addresser;
    if (outside_body(pending)) std::printf(" Array initial index now %li.\n", static_cast<long>(addresser));
    quoly_set(addresser, value);
}

void free_storage_value(quoly** value, name** pending) {
    uint64_t free_bytes = memavail();
    if (lintmode) {
        quoly_set(static_cast<int32_t>(free_bytes), value);
        if (outside_body(pending)) std::printf("%lui\n", static_cast<unsigned long>(free_bytes));
        return;
    }
    quoly_set(0, value);
    imag* n = int128_number(static_cast<__int128>(free_bytes));
    num_assign(n, (*value)->nnum);
    free_imag(&n);
}

void processor_time_value(quoly** value) {
    quoly_set(static_cast<int32_t>(std::clock() / 1000), value);
}

void control_flag_switch(int sw, name** pending) {
    int* flag = sw == '>' ? &leave_flag : sw == ']' ? &cycle_flag : &exit_flag;
    if (outside_body(pending))
        std::printf("Warning. &%c ignored.\n", sw);
    else
        *flag = 1;
}
