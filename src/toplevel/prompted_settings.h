// The settings that ask for their value at the terminal: the display size
// of rationals, the sparse pivot heuristic and the determinant cut-off,
// and the reader of such an answer.
#pragma once
#include "storage/records.h"

// Reads the answer to a request: one expression typed on standard input
// (never from a body's stored tokens), into *slot (free-first).
void read_answer(quoly** slot);

// With ask: asks for the display size and reads it (error 227 when not a
// number); without: disp_size := size silently. Then the size is kept in
// 0.., the display constant follows it outside machine-integer arithmetic
// and the current token becomes "@".
void calc_disp(int ask, int32_t size);
// Asks for the sparse pivot heuristic (error 227); *slot := its final value.
void change_pseudet_heur(quoly** slot);
// Asks for the determinant cut-off (error 189); *slot := the value read.
void change_detcutoff(quoly** slot);
