// Exact reading of counts and exponents in machine-word ground rings.
#include "interp/exact_read.h"

#include "interp/readers.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"

int words_behind_count = 0;

ExactCountGuard::ExactCountGuard() : lint(lintmode), outer(words_behind_count) {
    check_modular(&modular);
    if (lint) {
        lintmode = 0;
        words_behind_count = 1;
    }
}

ExactCountGuard::~ExactCountGuard() {
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

void poly_to_digits(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb)
            number_to_digits(p->ncoef);
        else
            poly_to_digits(p->pcoef);
    }
}

}  // namespace

void words_to_digits(quoly* q) {
    if (!q) return;
    if (q->isnum) {
        number_to_digits(q->nnum);
        return;
    }
    poly_to_digits(q->pnum);
    poly_to_digits(q->den);
}

namespace {

void number_to_word(imag* n) {
    int32_t w = 0;
    if (!digits_to_word(n, &w)) w = INT_DOES_NOT_FIT;
    free_num(n);
    n->count = 0;
    n->head = n->tail = nullptr;
    n->value = w;
}

void poly_to_words(polynode* p) {
    for (; p; p = p->next) {
        if (p->numb)
            number_to_word(p->ncoef);
        else
            poly_to_words(p->pcoef);
    }
}

}  // namespace

void read_count_value(FILE** source, name** pending, quoly** value) {
    free_quoly(value);
    const int words = lintmode;
    quoly* got = nullptr;
    {
        ExactCountGuard exact;
        old_expre(source, &got, pending);
        if (words && got) {
            if (got->isnum) {
                number_to_word(got->nnum);
            } else {
                poly_to_words(got->pnum);
                poly_to_words(got->den);
            }
        }
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
