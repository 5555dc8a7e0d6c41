// Exact reading of counts and exponents in machine-word ground rings.
#include "interp/exact_read.h"

#include "interp/readers.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

int words_behind_count = 0;

ExactCountGuard::ExactCountGuard() { ExactCountGuard::set_aside_again(); }

ExactCountGuard::~ExactCountGuard() { ExactCountGuard::put_back(); }

void ExactCountGuard::set_aside_again() {
    lint = lintmode;
    outer = words_behind_count;
    check_modular(&modular);
    if (lint) {
        lintmode = 0;
        words_behind_count = 1;
    }
}

void ExactCountGuard::put_back() {
    lintmode = lint;
    words_behind_count = outer;
    restore_modular(modular);
}

bool factor_needs_words(char c) {
    if (!words_behind_count) return false;
    // Digits, a parenthesised expression, a negation and a decimal point
    // are read in digits; everything else names or computes a value.
    return !(c >= '0' && c <= '9') && c != '(' && c != '-' && c != '.';
}

WordsForFactor::WordsForFactor() : lint(lintmode), outer(words_behind_count) {
    lintmode = 1;
    words_behind_count = 0;
}

WordsForFactor::~WordsForFactor() {
    lintmode = lint;
    words_behind_count = outer;
}

DigitSlotHold::~DigitSlotHold() {
    LintOff digits;
    free_quoly(&q);
}

namespace {

void number_to_digits(imag* n) {
    // A digit chain is already there when the number never became a word.
    if (n->count > 0) return;
    setvalue(n->value, n);
}

void number_to_word(imag* n) {
    int32_t w = 0;
    if (!digits_to_word(n, &w)) w = INT_DOES_NOT_FIT;
    free_num(n);
    n->count = 0;
    n->head = n->tail = nullptr;
    n->value = w;
}

}  // namespace

void words_to_digits(quoly* q) { each_number(q, number_to_digits); }

void read_count_value(FILE** source, name** pending, quoly** value, bool factor_only) {
    free_quoly(value);
    const int words = lintmode;
    quoly* got = nullptr;
    {
        ExactCountGuard exact;
        if (factor_only)
            old_fact(source, &got, pending);
        else
            old_expre(source, &got, pending);
        if (words) each_number(got, number_to_word);
    }
    if (!got) quoly_set(0, &got);
    *value = got;
}

bool digits_to_word(imag* n, int32_t* word) {
    const int32_t w = convert_to_int(n);
    if (w == INT_DOES_NOT_FIT) return false;
    *word = w;
    return true;
}

bool read_setting_number(const std::function<void(quoly**)>& read, quoly** value, int32_t* v, bool as_residue) {
    free_quoly(value);
    const int words = lintmode;
    DigitSlotHold got;
    bool number = false;
    {
        ExactCountGuard exact;
        read(&got.q);
        number = got.q && got.q->isnum;
        if (number) *v = big_convert_to_int(got.q->nnum);
    }
    if (!number) {
        quoly_set(0, value);
        return false;
    }
    if (!words) {
        *value = got.q;
        got.q = nullptr;
        return true;
    }
    if (as_residue && modularmode) {
        // The digit chain becomes its residue; the record is the ring's now.
        number_into_ring(got.q->nnum);
        *value = got.q;
        got.q = nullptr;
        return true;
    }
    quoly_set(0, value);
    (*value)->nnum->value = *v;
    return true;
}
