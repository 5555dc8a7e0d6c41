// Counts and exponents read exactly in a machine-word ground ring: the
// literals and operators of the expression work on digit chains, so that a
// value past the machine word is seen as it is instead of wrapping. Stored
// values, calls and the other factors that stand for values of the ring are
// evaluated in the ring's own words and then brought into digits.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>

#include "interp/readers.h"
#include "storage/records.h"

struct name;

// Nonzero while such a read is open and its stored values are machine words.
extern int words_behind_count;

// Modular arithmetic off (as for every count) and, in a machine-word ring,
// machine-integer arithmetic off too, for its lifetime; on again for a level
// opened inside.
struct ExactCountGuard : SetAside {
    int modular, lint, outer;
    ReadingValue reading;
    ExactCountGuard();
    ~ExactCountGuard();
    void put_back() override;
    void set_aside_again() override;
    ExactCountGuard(const ExactCountGuard&) = delete;
    ExactCountGuard& operator=(const ExactCountGuard&) = delete;
};

// Inside an exact read: the factor that starts with c is not made of
// literals and operators alone, and goes through the ring's words.
bool factor_needs_words(char c);

// The ring's words back on for its lifetime (a factor evaluated inside an
// exact read), the exact read itself suspended.
struct WordsForFactor {
    int lint, outer;
    WordsForFactor();
    ~WordsForFactor();
    WordsForFactor(const WordsForFactor&) = delete;
    WordsForFactor& operator=(const WordsForFactor&) = delete;
};

// A value computed in machine words, its numbers written as digit chains
// (digit arithmetic must be on).
void words_to_digits(quoly* q);

// A number in digits as a machine word: false when it does not fit.
bool digits_to_word(imag* n, int32_t* word);

// A value slot read in digits inside a machine-word ring, freed in digits
// on every exit.
struct DigitSlotHold {
    quoly* q = nullptr;
    DigitSlotHold() = default;
    ~DigitSlotHold();
    DigitSlotHold(const DigitSlotHold&) = delete;
    DigitSlotHold& operator=(const DigitSlotHold&) = delete;
};

// An expression read where a count, a level, a subscript or a width is
// wanted: with modular arithmetic off and, in a machine-word ring, exactly,
// the value handed back in the ring's own form. A number that does not fit
// a machine word comes back as INT_DOES_NOT_FIT, so that the callers'
// range checks refuse it instead of reading a wrapped word.
// factor_only: one factor (with its postfix operators), not a whole expression.
void read_count_value(FILE** source, name** pending, quoly** value, bool factor_only = false);

// The number a setting is given: `read` reads one expression into the slot
// it is handed, here with modular arithmetic off and, in a machine-word
// ring, exactly. False (and *value := 0) when it is not a plain number.
// *v := the integer, INT_DOES_NOT_FIT when it needs more than 32 bits, as
// in rational mode. *value := the number in the ring's own form: in a
// machine-word ring the residue of the exact integer when `as_residue`,
// else the integer's own word (INT_DOES_NOT_FIT past it).
bool read_setting_number(const std::function<void(quoly**)>& read, quoly** value, int32_t* v, bool as_residue);
