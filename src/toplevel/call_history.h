// The ring of the most recent user-function calls, which an error prints
// ("The most recent function evaluations were: ...") and, when it unwinds,
// walks back to unbind each call's parameters and locals.
//
// The function-call code notes every call here (note_call) and ends it
// with end_call; statcount counts the calls running.
#pragma once
#include <cstdint>

#include "interp/token.h"

constexpr int32_t CALL_RING = 500;

struct call_record {
    call_record* last;   // the call noted before this one
    call_record* next;   // the one after it (around the ring)
    char name[TOKEN_TEXT];
    void* frame;         // what the unbinding needs of the call, the caller's
};

extern call_record* lastf;   // the newest call; null before the first

// Unbinds the parameters and locals of one call, quietly; set by the
// function-call code (nothing to unbind until it exists).
extern void (*unbind_call)(call_record* call);

// A call of `name` begins: the ring advances over its oldest record,
// statcount grows by one.
void note_call(const char* name, void* frame);
// The newest call ends normally: statcount goes down, lastf moves back.
void end_call();

// The call history of an error: the heading while calls run, one blank,
// then the newest min(statcount, 500) names, newest first (a run of one
// name shows its first ten and a count of the rest; a line break after
// every twentieth name printed). unwind: lastf moves back over them and
// each is unbound, and statcount becomes 0.
void print_call_history(bool unwind);

// Forgets every call (start-up, tests).
void reset_call_history();
