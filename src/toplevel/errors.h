// Every failure of the system goes through error(): a numbered error prints
// its report and either unwinds to the top of the statement loop by
// throwing TarvexUnwind, which the loop catches at its restart point, or
// opens a nested command level inside the call (interrupts, error pushing)
// and returns when the user leaves it. Internal consistency failures go
// through tarvex_error, recoverable conditions through warning, which
// prints and returns.
#pragma once
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

// Thrown by error() when the computation unwinds: code > 0 a numbered user
// error, 0 a panic stop, < 0 an interrupt.
struct TarvexUnwind : std::runtime_error {
    int code;
    std::string token;
    TarvexUnwind(int c, std::string t);
};

// error() does not always unwind. It returns to its caller
//   - for codes 19 (undefined variable) and 22 (division by zero) at a
//     nested command level, after a warning: the caller goes on with a
//     value of its own (0 for a variable; a quoly division gives 1);
//   - for any code while error pushing applies (switch e, inside a user
//     function or at a nested level), when the user leaves the level it
//     opened;
//   - for negative codes (interrupts, new levels), when that level is left.
// Every caller must therefore go on safely after the call: with the value
// its contract names, or by abandoning its operation with a well-formed
// result (never into a zero machine divisor or a freed operand). A caller
// that cannot go on calls abandon_statement() next.
void error(int code, const char* text);
// While above 0, a numbered error is caught by the code that raised it (a
// conversion of a stored value, tried or made in a ring change): error()
// prints the report (none while QuietInverseFailures holds) and throws
// straight to it: no nested level, no warning that returns, and nothing of
// the statement loop reset, so the statement that runs the change (a file
// being read included) goes on where it was.
extern int contained_errors;
struct ContainedErrors {
    ContainedErrors() { contained_errors++; }
    ~ContainedErrors() { contained_errors--; }
    ContainedErrors(const ContainedErrors&) = delete;
    ContainedErrors& operator=(const ContainedErrors&) = delete;
};
// Ends the statement from a caller that cannot go on after error()
// returned: unwinds to the top-level loop as an unwinding error does,
// with no second report. `code` goes with the unwinding as error()'s would.
[[noreturn]] void abandon_statement(int code = 0);
void tarvex_error(const char* message, int fatal);   // fatal: a new command level
void tarvexerror(const char* message);               // prints and returns
void warning(int code, const char* name);
// No record block could be had: with gcd stashing on and no gcd running the
// stash is emptied (a warning says so); otherwise a warning and a nested
// level, where the user may free values, returning when it is left. The
// caller tries once more.
void mem_error();
// An allocation failed (std::bad_alloc) and the stack has unwound to the
// statement loop, every holder on the way giving back what it held: the
// warning mem_error prints, and the top level's state as an unwinding
// error leaves it. Returns to the caller, which drops the statement.
void heap_exhausted();
// n reduced into 0 .. modulus - 1; a residue 0 is error 359 with the
// current token (and 0 if error returns).
int32_t check_and_mod_numb(int64_t n);
void out_err_mess(int code);                         // the text of error code and a newline
void dumpitt(const char* label, long count, int newline, int scale, int colon);
void decr_dumpitt(long count, int newline, int divide);

// Resets the per-statement counters and limits, as before every statement.
void reset_statement_state();

// ---- interrupts ----
extern int m_interrupt;      // switch m: 0 drops interrupts, 1 or 2 serves them
// A pending SIGINT: opens a nested command level when command_int allows
// (returning when the user leaves it), is dropped after &(m = 0), and
// otherwise waits for the next safe point. Call only where the computation
// holds nothing a statement of the new level could change.
void serve_interrupt();
// At a read or between tokens: always.
inline void serve_pending_interrupt() {
    extern volatile int interrupt_pending;
    if (interrupt_pending) serve_interrupt();
}
// In the loops of long computations (left out by TARVEX_NO_INTERRUPT_POLLS,
// for measuring what the checks cost).
inline void poll_interrupt() {
#ifndef TARVEX_NO_INTERRUPT_POLLS
    serve_pending_interrupt();
#endif
}
// getc on an input stream; a read broken off by SIGINT is not the end of
// input: the interrupt is served (or left waiting) and the read resumed.
int read_input_char(FILE* f);

// ---- command levels and the state error() reads ----
extern int levelcount;       // current command level, 1 at the top (at most 9)
extern int statcount;        // depth of user-function evaluation
extern int errorpush;        // switch e: errors inside functions open a nested level
extern int32_t was_modulus;  // modulus switched off at a delicate time, -1 = none
extern int extra_line;       // an empty line around results and reports
extern int was_in_rat;       // an algorithm may have switched to modular arithmetic

// ---- progress lines and per-statement counters ----
extern int verbose;          // switch V: progress lines
extern int windy;            // switch W: more progress lines
extern int16_t dumpitt_level;    // nesting of progress phases
extern int16_t dumpitt_length;   // characters on the current progress line
constexpr int16_t DISPLAY_COLUMNS_START = 76;
extern int16_t dispcutoff;   // display width in columns
extern int32_t c_cntcount, a_cntcount, d_cntcount, g_cntcount;
extern int32_t g_cutoff;
extern int32_t alg_c_count;
extern int32_t original_depth;
extern int32_t warn_cnt;
extern int16_t tripval;
