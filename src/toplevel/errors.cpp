#include "toplevel/errors.h"
#include "numbers/numbers.h"

#include "gcd/gcdstash.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/term_reader.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "matrix/array_value.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "quoly/modout_suspend.h"
#include "storage/other_records.h"
#include "toplevel/datafiles.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "toplevel/call_history.h"
#include "toplevel/held_arrays.h"
#include "toplevel/held_line.h"
#include "toplevel/loop.h"
#include "toplevel/platform.h"
#include "toplevel/read_file.h"

int verbose = 0;
int windy = 0;
int16_t dumpitt_level = 0;
int16_t dumpitt_length = 0;
int16_t dispcutoff = DISPLAY_COLUMNS_START;
int32_t c_cntcount = 0, a_cntcount = 0, d_cntcount = 0, g_cntcount = 0;
int32_t g_cutoff = 30;
int32_t alg_c_count = 0;
int32_t original_depth = 1;
int32_t warn_cnt = 0;
int16_t tripval = 20;

int levelcount = 1;
int statcount = 0;
int errorpush = 0;
int32_t was_modulus = -1;
int extra_line = 1;
int was_in_rat = 1;

namespace {
long suppressor = 1;   // product of the counts of the open progress phases

// A newline and n blanks, kept inside the display width.
void indent(int n) {
    if (n >= dispcutoff - 3) n = dispcutoff - 12;
    std::putchar('\n');
    for (int i = 0; i < n; i++) std::putchar(' ');
}

int floor_log2(long n) {
    unsigned long u = n < 0 ? 0UL - static_cast<unsigned long>(n) : static_cast<unsigned long>(n);
    int b = -1;
    while (u) { u >>= 1; b++; }
    return b;
}
}  // namespace

TarvexUnwind::TarvexUnwind(int c, std::string t)
    : std::runtime_error("tarvex error " + std::to_string(c)), code(c), token(std::move(t)) {}

void reset_statement_state() {
    c_cntcount = a_cntcount = d_cntcount = g_cntcount = 0;
    g_cutoff = 30;
    alg_c_count = 0;
    original_depth = 1;
    warn_cnt = 0;
}

void out_err_mess(int code) {
    if (code == 17)
        std::printf("After &, legal symbols are: v,f,F,r,R,d,D,C,B,I,X,L,K,c,W,@,_s,_t,_G\n");
    if (code >= 1 && code <= ERROR_COUNT) std::printf("%s", erp[code]);
    std::printf("\n");
}

namespace {

// The statement's tokens so far, oldest first, as the scanner recorded them.
void print_token_ring() {
    if (!finish) return;
    for (name* n = start;; n = n->next) {
        std::printf("%s", n->token);
        if (n == finish) break;
    }
}

// Every level goes at once: the top level's state, and a jump to its
// restart point.
void top_level_resets() {
    integerflag = 0;
    tt_flag = 1;
    func_def_count = 0;
    statcount = 0;
    levelcount = 1;
    time_level = 1;
    time_off[1] = {0, 0};
    mod_is_changed = 0;
    clear_token(&token);
    std::fflush(stdout);
}

[[noreturn]] void unwind_to_top(int code, const std::string& shown) {
    top_level_resets();
    throw TarvexUnwind(code, shown);
}

// Error steps 3 and 4: the resets of every error.
void error_resets(int code) {
    tripval = 20;
    in_sys_func = 0;
    uninit = 0;
    // A failed statement's array result is not shown with the next one.
    syst_dump = 0;
    matrix_eval = 0;
    if (code >= 0) {
        c_cntcount = a_cntcount = d_cntcount = g_cntcount = 0;
        g_cutoff = 30;
        dumpitt_length = dumpitt_level = 0;
        alg_c_count = 0;
        original_depth = 1;
        minus_warning = 0;
        if (code > 0) was_modulus = -1;
    }
    warn_cnt = 0;
}

// Before unwinding to the top: relations a matrix routine suspended come
// back first (its own guard then finds them back), and the relation
// bookkeeping is recomputed.
void restore_relations() {
    if (using_new_polynames) resume_old_polynames();
    reset_pseudo_poly();
}

// Error step 5: the definition being read is cancelled.
void report_cancelled_definition(int code) {
    if (code == 132) {
        std::printf("Here is the last line read:\n");
        FILE* out = stdout;
        if (last_good_one) listrht(&out, 1, last_good_one, last_comm, 0);
        std::printf("\n*** Definition of %s cancelled.\n", current_func);
    } else if ((code == 103 || code == 38 || code == 129) && func_def_count >= 1) {
        std::printf("Here is the last line successfully read:\n");
        // The captured tokens as they were typed (the listing's layout
        // aside): blanks where blanks followed, the end token left out.
        for (name* n = last_attached; n; n = n->next) {
            if (std::strcmp(n->token, "\xC2\xA5") == 0) continue;
            std::printf("%s%s", n->token, n->blank_follows ? " " : "");
        }
        std::printf("\n*** Definition of %s cancelled.\n", current_func);
    }
}

// Error step 10: what of the stored statement being run was read.
void print_interrupted_expression() {
    if (!startexpr && !prev_expr) return;
    std::printf("\n*** Function was interrupted at:\n");
    int32_t column = 0;
    auto show = [&](const char* text) {
        std::printf("%s", text);
        column += static_cast<int32_t>(std::strlen(text));
        if (column > 68) {
            std::printf("\n");
            column = 0;
        }
    };
    if (prev_expr) {
        for (name* n = prev_expr; n; n = n->next) show(std::strcmp(n->token, "\xC2\xA5") == 0 ? ";" : n->token);
        std::printf("\n");
        column = 0;
    }
    for (name* n = startexpr; n && n != currentchar; n = n->next)
        if (std::strcmp(n->token, "\xC2\xA5") != 0) show(n->token);
    if (extra_line) std::printf("\n");
    startexpr = prev_expr = nullptr;
    currentchar = nullptr;
}

}  // namespace

int contained_errors = 0;

void error(int code, const char* text) {
    std::string shown = text ? text : "";
    if (shown == "\xC2\xA5") shown = ";";

    // Caught by the code that raised it: nothing to report while quiet.
    const bool contained = code > 0 && contained_errors > 0;
    if (contained && quiet_inverse_failures > 0) throw TarvexUnwind(code, shown);

    // 1. A panic stop from a delicate time puts modular arithmetic back.
    if (code == 0 && was_modulus > 0) {
        install_modulus(was_modulus);
        modularmode = lintmode = 1;
        was_modulus = -1;
    }

    // 2. Pushing: a nested level instead of unwinding.
    const bool push = !contained && errorpush && (statcount > 0 || levelcount > 1);

    // 3-4.
    error_resets(code);
    if (extra_line) std::printf("\n");

    // 5. The headline.
    if (code == 0) {
        std::printf("*** Panic stop.\n");
        if (levelcount == 1 && statcount == 0) std::printf("    You were already at the lowest level.\n");
        // No "Beware" for a stop at a delicate time: the guards of the
        // temporary switches put the ring and every converted value back
        // as the stack unwinds.
    } else if (code < 0) {
        std::printf("*** New command level.\n");
    } else {
        if (!contained && levelcount != 1 && (code == 19 || code == 22)) {
            warning(code, shown.c_str());
            finish = nullptr;
            return;
        }
        std::printf("*** Inappropriate symbol: %s\n", shown.c_str());
        out_err_mess(code);
        if (code == 139) {
            std::printf("that you have just deleted.  Any reference to this parameter \n");
            std::printf("%s may crash Tarvex. There may be other such dangling array parameters.\n",
                        shown.c_str());
        }
        report_cancelled_definition(code);
    }

    // 6. Where a file being read stopped.
    if (code >= 0 && !contained) report_input_position();

    // 7. Where it occurred.
    if (code > 0 && tt_flag && finish) {
        std::printf("*** Error occurred at this point:\n");
        print_token_ring();
        if (statcount > 0) std::printf("\n");
    }

    const bool opens_level = code < 0 || (code > 0 && push);

    // 8-9.
    finish = nullptr;
    leave_flag = exit_flag = cycle_flag = 0;
    print_call_history(!opens_level);

    // 10. The interrupted expression of stored code.
    print_interrupted_expression();
    doing_sys_func = 0;

    // 11. A nested evaluation had switched modular arithmetic off: back on
    // (a level puts it back itself, for its own time).
    if (mod_is_changed > 0 && !opens_level) modularmode = lintmode = 1;

    if (opens_level) {
        // 12, 14-19: a statement loop of its own, here on the stack above
        // the computation that waits for it. Array values that computation
        // holds still share their arrays' cells, which the new level may
        // rewrite or delete: they take copies first.
        freshen_values_in_flight();
        // The rest of the computation also holds records, store indices
        // and cells of the arrays it has reached: if the level changed one
        // of them, going on would read freed records or another array's.
        ArraysPrint arrays;
        arrays.take();
        run_command_level();
        if (arrays.changed()) {
            std::printf("*** An array the interrupted statement uses was changed at that level: it is abandoned.\n");
            std::fflush(stdout);
            abandon_statement(code);
        }
        return;
    }

    // The statement that runs the conversion goes on where it was.
    if (contained) throw TarvexUnwind(code, shown);

    // 13. Unwind to the top of the statement loop.
    if (code >= 0) restore_relations();
    unwind_to_top(code, shown);
}

void heap_exhausted() {
    std::printf("\n*** Warning.  You are out of heap space.  Abort this computation.\n");
    std::fflush(stdout);
    // What an unwinding error resets; no report and no new level: the
    // computation is gone already.
    error_resets(0);
    finish = nullptr;
    leave_flag = exit_flag = cycle_flag = 0;
    startexpr = prev_expr = nullptr;
    currentchar = nullptr;
    doing_sys_func = 0;
    if (mod_is_changed > 0) modularmode = lintmode = 1;
    restore_relations();
    top_level_resets();
    release_number_scratch();
}

void serve_interrupt() {
    if (!m_interrupt) {
        interrupt_pending = 0;
        return;
    }
    if (!command_int) return;
    interrupt_pending = 0;
    level_for_interrupt = true;
    error(-1, " ");
}

int read_input_char(FILE* f) {
    // One that came while nothing could serve it is served before the
    // input it would have broken off.
    serve_pending_interrupt();
    const int held = next_held_char(f);
    if (held >= 0) return held;
    for (;;) {
        errno = 0;
        const int c = std::getc(f);
        if (c != EOF || !std::ferror(f) || errno != EINTR) return c;
        std::clearerr(f);
        serve_pending_interrupt();
    }
}

void abandon_statement(int code) {
    finish = nullptr;
    unwind_to_top(code, "");
}

void tarvex_error(const char* message, int fatal) {
    std::printf("*** Tarvex error. %s\n", message);
    std::fflush(stdout);
    if (!fatal) return;
    error(-1, " ");
    // The computation that failed cannot be trusted to go on: leaving the
    // level abandons it.
    error(0, " ");
}

void mem_error() {
    if (lookupgcd > 0 && polygcd_stack_depth == 0) {
        std::printf("\n*** Warning.  You are low on heap space.  Will try freeing the gcd stash.\n");
        std::fflush(stdout);
        free_gcd_stash();
        return;
    }
    std::printf("\n*** Warning.  You are out of heap space.  Abort this computation.\n");
    std::fflush(stdout);
    error(-1, " ");
}

int32_t check_and_mod_numb(int64_t n) {
    int64_t r = n % modulus;
    if (r < 0) r += modulus;
    if (r == 0) error(359, token.name);
    return static_cast<int32_t>(r);
}

void tarvexerror(const char* message) {
    std::printf("*** Tarvex error. %s\n", message);
    std::fflush(stdout);
}

void warning(int code, const char* name) {
    std::printf("\n *** Warning.\n");
    switch (code) {
    case 0:
        std::printf(" *** Loop counter in Content is negative.  Will reset.\n");
        c_cntcount = a_cntcount = d_cntcount = 200001;
        break;
    case 1: std::printf(" Specified factor for Det is unusable. Will ignore it.\n"); break;
    case 2: std::printf(" Specified degree is unreasonable. Will ignore it.\n"); break;
    case 3: std::printf(" Power is of use only over ground rings Z or Z/p.\n"); break;
    case 4: std::printf(" With even power, |power| must be 2^k, and modulus mod 4 must equal 3.\n"); break;
    case 5: std::printf(" With odd power, gcd(|power|, modulus-1) must be 1.\n"); break;
    case 19: std::printf(" *** Undefined variable: %s.  will use 0\n", name); break;
    case 22:
        std::printf(" *** Trying to divide by 0, in variable: %s.  will set quotient to 1\n", name);
        break;
    case 90: std::printf(" *** Can't do Det\n"); break;
    case 342:
        out_err_mess(342);
        std::printf(" If necessary, do a panic stop as soon as possible. Then if\n");
        std::printf(" necessary, delete the parameter %s.\n", name);
        break;
    default:
        std::printf(" *** Can't do %s\n", name);
        if (code == 17)
            std::printf("After &, legal symbols are: v,f,F,r,R,d,D,C,B,I,X,L,K,c,W,@,_s,_t,_G\n");
        out_err_mess(code);
        break;
    }
    if (code >= 0 && code <= 5) std::fflush(stdout);
    std::printf("\n");
}

void dumpitt(const char* label, long count, int newline, int scale, int colon) {
    int level = dumpitt_level;
    if (level < 2) {
        suppressor = 1;
    } else if (scale) {
        suppressor *= count;
        if (suppressor > 1000) return;
    } else if (suppressor > 1000) {
        return;
    }
    if (level > dispcutoff) return;
    if (newline) {
        indent(2 * level);
        dumpitt_length = static_cast<int16_t>(2 * level);
    }
    if (count >= 0) {
        std::printf("%s%li", label, count);
        int len = dumpitt_length;
        if (std::strcmp(label, " ") != 0) {
            std::printf(colon ? ": " : ". ");
            len += 2;
        }
        int digits = count == 0 ? 0 : static_cast<int>(std::floor(0.3 * floor_log2(count) + 0.5));
        len += static_cast<int>(std::strlen(label)) + 1 + digits;
        if (len > dispcutoff + 2) {
            indent(level);
            len = level;
        }
        dumpitt_length = static_cast<int16_t>(len);
    }
    std::fflush(stdout);
}

void decr_dumpitt(long count, int newline, int divide) {
    dumpitt_level--;
    int level = dumpitt_level;
    if (level <= 36 && verbose && newline && suppressor <= 1000) {
        indent(2 * level);
        dumpitt_length = static_cast<int16_t>(2 * level);
    }
    if (divide) {
        long c = count == 0 ? 1 : count;
        suppressor = std::max(1L, suppressor / c);
    }
}
