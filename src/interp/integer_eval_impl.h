// Helpers shared by the integer evaluator's files and the integer sums and
// products: the next token from the pending list and the word arithmetic of
// the current ground ring, bounded to one digit outside modular arithmetic.
// Not for other modules.
#pragma once
#include <cstdint>

#include "interp/integer_eval.h"
#include "interp/scanner.h"
#include "storage/records.h"
#include "toplevel/errors.h"

// The next token of the pending list into `token`. Stored bodies are what
// this evaluator runs, so their tokens are taken here without a call.
inline void inext(name** pending) {
    extern volatile int interrupt_pending;
    if (*pending && !interrupt_pending)
        from_pending(&token, pending);
    else
        scanner(&Input, &token, pending);
}

// a ^ e (inumber_power): e read with modular arithmetic off. A negative e
// inverts a in modular arithmetic; outside it only 1 and -1 have integer
// powers (any other base is error 226).
int32_t ipower(int32_t a, int32_t e);
// a! (the factorial routine's rules in modular arithmetic; 1 for a <= 0).
int32_t ifactorial(int32_t a);

// A computed value (a call's, a statement's, the previous result) as a word:
// null gives 0; anything but a plain number is error 227 (0 if it returns).
int32_t iword_of(quoly* q, const char* text);
