// Private to the switch command's files (switches.cpp, switch_toggles.cpp,
// switch_prompts.cpp, switch_settings.cpp).
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

// Internal switch codes: single bytes above the printable range, so that a
// typed character never reaches them. &_s and &_t have none in the
// language; theirs only pick their toggle.
constexpr int SW_RANDOM = 208;          // &_r
constexpr int SW_OUTSIDE_MOD = 209;     // &_m
constexpr int SW_NEW_LEVEL = 210;       // &_P
constexpr int SW_LEAVE_LEVEL = 211;     // &_p
constexpr int SW_COLUMNS = 212;         // &_d
constexpr int SW_KARATSUBA = 213;       // &_k
constexpr int SW_LINE_SUP = 256 + 's';  // &_s
constexpr int SW_TRY_RAT = 256 + 't';   // &_t

// Display widths (&_d) outside this range leave no room for a term, or do
// not fit the 16-bit width; they are refused with this error.
constexpr int32_t MIN_COLUMNS = 20;
constexpr int32_t MAX_COLUMNS = 32767;
constexpr int COLUMNS_RANGE_ERROR = 378;

// The statement comes from the terminal or a file, not from stored tokens:
// the messages of many switches print only then.
inline bool outside_body(name** pending) { return *pending == nullptr; }

// The letters that change the ground ring (p), the variables (J), their
// relations (P) or the exponents allowed (l), converting every stored
// value: refused while a value is being read around the switch. A flip or
// a question always changes or asks; &( letter = value ) is refused once
// its value shows that it changes something.
inline bool changes_ring(int letter) { return letter == 'p' || letter == 'J' || letter == 'P' || letter == 'l'; }

// ---- switch_toggles.cpp ----
// Flips the flag of toggle sw and prints its message; false when sw is no toggle.
bool run_toggle(int sw, name** pending);
// 'C': the gcd stash counter, raised by "+" and lowered by "-"; *value := the counter.
void stash_counter(FILE** source, quoly** value, name** pending);
// 'a': flips the first array index between 1 and 0; *value := the new one.
void flip_index_origin(quoly** value, name** pending);
// 'h': *value := the free storage; 'T': *value := the processor time in ms.
void free_storage_value(quoly** value, name** pending);
void processor_time_value(quoly** value);
// '>', ']', '}': raise the control flag inside a body, warn outside.
void control_flag_switch(int sw, name** pending);

// ---- switch_prompts.cpp ----
// '#', 'A', 'K', 'L', 'X', 'm' and the codes SW_COLUMNS, SW_KARATSUBA and
// SW_RANDOM: ask for a number on the terminal and set the setting.
// *value := the number read.
void prompted_setting(int sw, quoly** value, name** pending);
// 'M': asks for a new prompt of at most 9 characters.
void ask_prompt();
// &_m: "(" statement ")" evaluated with modular arithmetic off; reads the
// statement's end itself.
void outside_modular(FILE** source, quoly** value, name** pending);
// Sets the prompt to text, as the prompt switches do: a lone blank makes
// a carriage-return prompt of length 0, an empty text a blank of length 0.
void install_prompt(const char* text);

// ---- switch_settings.cpp ----
// "&(" letter "=" value ")": sets one setting. *loader := 0 on the paths
// that set a value; *read_end := 0 when the statement's end has been read.
void set_switch(FILE** source, quoly** value, name** pending, int* loader, int* read_end);

// ---- ground_ring_switch.cpp ----
// The integer-mode marker "_i" as the value of &(p = ...).
constexpr int32_t RATIONAL_MARKER = -2;
// &p: the modulus asked for, or the way back; "(" names a conversion list
// (the rest of the statement). True when the statement's end is already
// the current token.
bool ground_ring_switch(FILE** source, quoly** value, name** pending);
// &l: Laurent mode flipped (error 271 first when a relation makes no field).
void laurent_switch();
// The value of &(p = ...), from the current token: a modulus or the marker,
// then an optional ":" list (captured into *list); *value becomes 0.
void ground_ring_value(FILE** source, quoly** value, name** pending, int32_t* new_modulus, name** list);
// Carries out &(p = ...) with what ground_ring_value read; takes the list over.
void ground_ring_row(FILE** source, quoly** value, name** pending, int32_t new_modulus, name* list, bool direct);
// Carries out &(l = v).
void laurent_row(int32_t v, bool direct);
