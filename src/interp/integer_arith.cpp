// Word arithmetic of the integer evaluator: residues in modular arithmetic,
// exact integers of one digit (|v| <= 2^28 - 1) otherwise. Every result is
// formed in 64 bits and checked before it becomes a word, so nothing wraps.
#include <cstdint>

#include "det/inumber_power.h"
#include "interp/integer_eval_impl.h"
#include "interp/loop_values.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"


int32_t ibound(int64_t v) {
    if (v > DIGIT_MASK || v < -DIGIT_MASK) {
        error(32, token.name);
        abandon_statement(32);
    }
    return static_cast<int32_t>(v);
}

int32_t ireduce(int64_t v) { return word_residue(v); }

int32_t iadd(int32_t a, int32_t b) {
    if (modularmode) return mod_add(a, b, modulus);
    return ibound(int64_t{a} + b);
}

int32_t isub(int32_t a, int32_t b) {
    if (modularmode) return mod_sub(a, b, modulus);
    return ibound(int64_t{a} - b);
}

int32_t imul(int32_t a, int32_t b) {
    if (modularmode) return modmult(a, b);
    return ibound(int64_t{a} * b);
}

int32_t ineg(int32_t a) {
    if (modularmode) return finf || a == 0 ? a : modulus - a;
    return -a;   // a one-digit value: its negative is one too
}

int32_t ipower(int32_t a, int32_t e) {
    inumber_power(&a, &e);
    return a;
}

int32_t ifactorial(int32_t a) {
    if (modularmode) {
        // The factorial routine's own rules and errors (characteristic 2,
        // arguments too large); the argument is left when an error returns.
        imag* n = new_number();
        n->value = a;
        factorial(n);
        int32_t r = n->value;
        free_imag(&n);
        return r;
    }
    int64_t r = 1;
    for (int32_t i = 2; i <= a; ++i) r = ibound(r * i);
    return static_cast<int32_t>(r);
}

int32_t iword_of(quoly* q, const char* text) {
    if (!q) return 0;
    // A left-out value its words do not give is read as its element of the
    // ring (error 85 when it has none).
    SlotHold element;
    if (read_left_out_converted(q, &element.q)) q = element.q;
    if (!q->isnum) {
        error(227, text);
        return 0;
    }
    imag* n = q->nnum;
    if (modularmode) return index_word_in_ring(n->value);
    if (lintmode) return ibound(n->value);
    if (n->count != 1) {
        error(32, text);
        abandon_statement(32);
    }
    return n->head->digit;
}
