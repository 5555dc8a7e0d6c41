// The switches that ask for their value on the terminal: the cut-offs and
// search factors, the command interrupt level, the display width, the
// Karatsuba cut-off, the random denominator and the prompt; and &_m, which
// evaluates one statement with modular arithmetic off.
#include <cstdio>
#include <cstring>

#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/exact_read.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/switch_impl.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

// Reads the answer into *value: from standard input even while a file or
// a body is being run. Only the first token of the answers to &_d, &_k and
// &_r comes from the statement's own pending list.
void read_number(int sw, quoly** value, name** pending) {
    name* none = nullptr;
    bool own_list = sw == SW_COLUMNS || sw == SW_KARATSUBA || sw == SW_RANDOM;
    scanner(&Input, &token, own_list ? pending : &none);
    old_expre(&Input, value, &none);
}

// The request, the answer and its check; the answer as a machine integer.
int32_t prompted_number(int sw, const char* request, int code, quoly** value, name** pending) {
    std::printf("%s", request);
    do_prompts();
    // The exact integer: past 32 bits INT_DOES_NOT_FIT, never a wrapped word.
    int32_t v = 0;
    if (!read_setting_number([&](quoly** slot) { read_number(sw, slot, pending); }, value, &v, false))
        error(code, token.name);
    return v;
}

void show_value(const char* headline, quoly* value) {
    std::printf("%s", headline);
    int32_t col = 0;
    quoly_display(&Output, 1, 1, 1, value, &col, ";", polynames, 0, 1, 0);
}

// A setting read by prompted_number is a machine word, shown as it is.
void show_setting(const char* headline, quoly* value) {
    ModularOffGuard off;
    show_value(headline, value);
}

void random_denominator_switch(quoly** value, name** pending) {
    // The denominator is a number of the current ring: no ModularOffGuard.
    std::printf(" Enter new denominator for random:\n");
    do_prompts();
    read_number(SW_RANDOM, value, pending);
    if (!(*value)->isnum) error(143, token.name);
    num_assign((*value)->nnum, random_denominator());
    show_value(" Denominator for random is now: \n", *value);
}

}  // namespace

void prompted_setting(int sw, quoly** value, name** pending) {
    switch (sw) {
    case '#': {
        int32_t v = prompted_number(sw, " Enter poly_cutoff (usually 10-60):\n", 272, value, pending);
        if (v < 6) {
            std::printf(" *** smallest legal value is 6. will use 6.\n");
            v = 6;
        }
        reset_cutoffs(v);
        poly_cutoff = v;
        std::printf(" poly_cutoff: %li\n", static_cast<long>(v));
        break;
    }
    case 'A': {
        int32_t v = prompted_number(sw, " Enter second auxiliary prime search factor:\n", 272, value, pending);
        if (v < 10 || v > 20000) error(272, token.name);
        aux_num_2factor = static_cast<int16_t>(v);
        std::printf(" second auxiliary prime search factor: %d\n", aux_num_2factor);
        break;
    }
    case 'K': {
        gauss_cutoff = prompted_number(sw, " Enter Gauss-Bareiss switch:\n", 227, value, pending);
        std::printf(" Gauss-Bareiss: %li means", static_cast<long>(gauss_cutoff));
        std::printf(gauss_cutoff == 1 ? " will try Gauss-Bareiss.\n" : " will not use Gauss-Bareiss.\n");
        break;
    }
    case 'L': {
        int32_t v = prompted_number(sw, " Enter LaGrange cut off:\n", 227, value, pending);
        rat_det_method_cut = v < 0 ? 2147483647 : v;
        mod_det_method_cut = rat_det_method_cut / 33;
        std::printf(" LaGrange cut off \"mass\": %li\n", static_cast<long>(rat_det_method_cut));
        break;
    }
    case 'X': {
        int32_t v = prompted_number(sw, " Enter first auxiliary prime search factor:\n", 295, value, pending);
        if (v < 300 || v > 4583) error(295, token.name);
        aux_num_1factor = static_cast<int16_t>(v);
        std::printf(" first auxiliary prime search factor: %d\n", aux_num_1factor);
        break;
    }
    case 'm': {
        int32_t v = prompted_number(sw, " Enter command interrupt level:\n", 146, value, pending);
        std::printf(" Command interrupt now ");
        if (v == 0) {
            command_int = 0;
            m_interrupt = 0;
            std::printf("off.\n");
        } else if (v == 1 || v == 2) {
            command_int = 1;
            m_interrupt = v;
            std::printf("on, level %d.\n", v);
        } else {
            error(146, token.name);
        }
        break;
    }
    case SW_COLUMNS: {
        int32_t v = prompted_number(sw, " Enter number of columns to display:\n", 143, value, pending);
        if (v < MIN_COLUMNS || v > MAX_COLUMNS) error(COLUMNS_RANGE_ERROR, token.name);
        dispcutoff = static_cast<int16_t>(v);
        show_setting(" Number of columns to display is now: \n", *value);
        break;
    }
    case SW_KARATSUBA:
        simplest_poly_cutoff = prompted_number(sw, " Enter Karatsuba cutoff:\n", 143, value, pending);
        show_setting(" Karatsuba cutoff is now: \n", *value);
        break;
    case SW_RANDOM:
        random_denominator_switch(value, pending);
        break;
    default:
        break;
    }
}

void install_prompt(const char* text) {
    if (std::strcmp(text, " ") == 0) {
        prompt[0] = 13;
        prompt[1] = 0;
        promptsize = 0;
        std::printf(" Prompt now: <cr>\n");
        return;
    }
    std::strcpy(prompt, text);
    promptsize = static_cast<int32_t>(std::strlen(text));
    if (promptsize == 0) std::strcpy(prompt, " ");
    std::printf(" Prompt now:%s\n", prompt);
}

void ask_prompt() {
    std::printf(" Enter prompt:\n");
    do_prompts();
    char line[10] = "";
    if (!std::fgets(line, sizeof line, Input)) line[0] = 0;
    size_t n = std::strlen(line);
    if (n > 0 && line[n - 1] == '\n') {
        line[--n] = 0;
    } else {
        // Whatever does not fit in the prompt is dropped, not run.
        int c;
        while ((c = std::getc(Input)) != EOF && c != '\n') {}
    }
    // The line end that ends the switch statement.
    std::ungetc('\n', Input);
    install_prompt(line);
}

void outside_modular(FILE** source, quoly** value, name** pending) {
    quoly_set(0, value);
    scanner(source, &token, pending);
    ModularOffGuard off;
    if (!token_is(&token, "(")) error(131, token.name);
    scanner(source, &token, pending);
    {
        ClosingParenthesis inside(pending);
        if (integerflag) {
            int32_t r = 0;
            iexpre(&r, pending);
            quoly_set(r, value);
        } else {
            parse(source, value, pending);
        }
    }
    if (!token_is(&token, ")")) error(1, token.name);
    scanner(source, &token, pending);
    if (!(token_is(&token, ";") || token_is(&token, "\xC2\xA5") || token_is(&token, "@") ||
          token_is(&token, ":")))
        error(350, token.name);
}
