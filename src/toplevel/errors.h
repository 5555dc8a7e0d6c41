// The error, warning and progress-trace services every subsystem reports
// through. For now a numbered error and a fatal internal error unwind by
// throwing TarvexUnwind to whoever runs the statement; the nested command
// levels of the interactive system replace that when the top level exists.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

// Thrown by error() and by a fatal tarvex_error(): code > 0 a numbered user
// error, 0 a panic stop, < 0 an interrupt.
struct TarvexUnwind : std::runtime_error {
    int code;
    std::string token;
    TarvexUnwind(int c, std::string t);
};

[[noreturn]] void error(int code, const char* token);
void tarvex_error(const char* message, int fatal);   // fatal: unwinds as an interrupt
void tarvexerror(const char* message);               // prints and returns
void warning(int code, const char* text);
void dumpitt(const char* label, long count, int newline, int scale, int colon);
void decr_dumpitt(long count, int newline, int divide);

// Resets the per-statement counters and limits, as before every statement.
void reset_statement_state();

extern int verbose;          // switch V: progress lines
extern int windy;            // switch W: more progress lines
extern int16_t dumpitt_level;    // nesting of progress phases
extern int16_t dumpitt_length;   // characters on the current progress line
extern int16_t dispcutoff;   // display width in columns
extern int32_t c_cntcount, a_cntcount, d_cntcount, g_cntcount;
extern int32_t g_cutoff;
extern int32_t alg_c_count;
extern int32_t original_depth;
extern int32_t warn_cnt;
extern int16_t tripval;
