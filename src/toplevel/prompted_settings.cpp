// The settings that ask for their value at the terminal (see
// prompted_settings.h). Answers are read with modular arithmetic off, so a
// number is never reduced modulo the modulus.
#include "toplevel/prompted_settings.h"

#include <cstdio>

#include "interp/exact_read.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

// The answer as a machine integer; error `code` when it is not a number.
int32_t ask_integer(quoly** slot, int code) {
    // The exact integer: past 32 bits INT_DOES_NOT_FIT, never a wrapped word.
    int32_t v = 0;
    if (!read_setting_number(read_answer, slot, &v, false)) error(code, token.name);
    return v;
}

// Detcutoff values above this reach only the sparse determinant methods.
constexpr int32_t DENSE_DETCUTOFF_MAX = 40;

}  // namespace

void read_answer(quoly** slot) {
    name* none = nullptr;
    scanner(&Input, &token, &none);
    old_expre(&Input, slot, &none);
}

void calc_disp(int ask, int32_t size) {
    if (ask) {
        std::printf("Enter display size. \n");
        do_prompts();
        SlotHold answer;
        disp_size = ask_integer(&answer.q, 227);
        std::printf("new display size: %li\n", static_cast<long>(disp_size));
    } else {
        disp_size = size;
    }
    if (disp_size < 0) disp_size = 0;
    if (disp_size > 999) std::printf("Warning.  Very large disp_size.\n");
    set_token(&token, "@");
    if (!lintmode) rebuild_disp_cons();
}

void change_pseudet_heur(quoly** slot) {
    std::printf(" Enter Sparse pivot heuristic:\n");
    do_prompts();
    pseudet_heur = ask_integer(slot, 227);
    // Compared unsigned: a negative value is out of range too.
    if (static_cast<uint32_t>(pseudet_heur) > 6) {
        pseudet_heur = 0;
        std::printf(" Value entered is too large or small; will use 0.\n");
    }
    quoly_set(pseudet_heur, slot);
    std::printf(" Sparse pivot heuristic now %li.\n", static_cast<long>(pseudet_heur));
}

void change_detcutoff(quoly** slot) {
    std::printf(" Enter detcutoff:\n");
    do_prompts();
    detcutoff = ask_integer(slot, 189);
    if (detcutoff == 1) {
        detcutoff = 0;
        std::printf(" Detcutoff now %li.\n", 0L);
    } else if (detcutoff < 0) {
        std::printf(" Will set detcutoff using defaults.\n");
    } else {
        std::printf(" Detcutoff now %li.\n", static_cast<long>(detcutoff));
    }
    if (detcutoff > DENSE_DETCUTOFF_MAX)
        std::printf(" Note: This value for sparse arrays only. For ordinary arrays, max value is %d.\n",
                    DENSE_DETCUTOFF_MAX);
}
