// The parameterised switch "&(" letter "=" value ")": one named setting set
// to a given value, with the report of the change. Save files record the
// settings in this form, so every letter that a save writes reads back here.
#include <cstdio>
#include <cstring>
#include <string>

#include "gcd/algc.h"
#include "gcd/polygcd.h"
#include "gcd/trialdiv.h"
#include "interp/char_arrays.h"
#include "interp/evaluator.h"
#include "interp/exact_read.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/switch_impl.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "quoly/modout_declare.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/read_file.h"
#include "toplevel/ring_change.h"
#include "toplevel/save_file.h"

namespace {

// Letters of the second set, written "_" and a letter.
constexpr int U_MONOMIAL = 2, U_RANDOM = 3, U_COLUMNS = 4, U_TRY_RAT = 5, U_LINE_SUP = 6, U_LAGRANGE = 7;

constexpr size_t MAX_NAME = 255;
constexpr size_t MAX_PROMPT = 10;
constexpr int32_t DENSE_DETCUTOFF_MAX = 40;

int second_set_letter(const tokenrec& t) {
    switch (t.name[0]) {
    case 'l': return U_MONOMIAL;
    case 'r': return U_RANDOM;
    case 'd': return U_COLUMNS;
    case 't': return U_TRY_RAT;
    case 's': return U_LINE_SUP;
    case 'L': return U_LAGRANGE;
    default: return '_';
    }
}

// Letters that take values above 1 (the second set's _r and _d are
// numbers, not on/off settings, and take them too).
bool takes_large_values(int letter) {
    return (letter != 0 && std::strchr("#ADLXmnu", letter)) || letter == U_RANDOM || letter == U_COLUMNS;
}

bool has_row(int letter) {
    if (letter >= U_MONOMIAL && letter <= U_LAGRANGE) return true;
    return letter != 0 && std::strchr("#&ABDEHKLNOUVWXaelmnptu|SRMPJ", letter);
}

struct Report {
    bool direct;    // typed or read from a file, not replayed from stored code
    bool loud() const { return direct || verbose; }
};

// An on/off setting: its three messages, printed when `shown`.
void on_off(int* flag, int v, bool shown, const char* unchanged, const char* on, const char* off) {
    int state = v == 1;
    if (state == *flag) {
        if (shown) std::printf("%s", unchanged);
        return;
    }
    *flag = state;
    if (shown) std::printf("%s", state ? on : off);
}

// "'" raw characters "'": the quoted text.
std::string quoted_text(FILE** source, name** pending) {
    std::string text;
    int newline = 0;
    for (;;) {
        dumbscanner(source, &token, pending, &newline);
        if (token_is(&token, "'")) break;
        if (token_is(&token, "\xC2\xA5")) error(33, token.name);
        text += token.name;
        if (text.size() > MAX_NAME) error(209, token.name);
    }
    scanner(source, &token, pending);
    return text;
}

// Step for the letters that take a name: S, R and M.
void name_setting(FILE** source, quoly** value, name** pending, int letter, const std::string& text, int* read_end) {
    if (text == " " && letter != 'M') error(33, token.name);
    if (letter == 'R' || letter == 'S') {
        // The file's statements leave their own tokens and values: the
        // statement's end is read after the file, and its value is 0.
        int asked = 0;
        if (letter == 'R')
            load(source, value, pending, text.c_str(), 'R', &asked);
        else
            save(source, pending, text.c_str(), 'S', &asked);
        quoly_set(0, value);
        *read_end = 1;
        return;
    }
    if (letter != 'M') error(141, token.name);
    std::string p = text;
    if (p.size() > MAX_PROMPT) {
        std::printf("*** Warning.  prompt name truncated to 10 characters.\n");
        p.resize(MAX_PROMPT);
    }
    install_prompt(p.c_str());
    *read_end = 1;
}

void columns_row(int32_t v) {
    if (v < MIN_COLUMNS || v > MAX_COLUMNS) error(COLUMNS_RANGE_ERROR, token.name);
    dispcutoff = static_cast<int16_t>(v);
    std::printf(" Columns to display is now: \n");
    int32_t col = 0;
    // The width as set, not as an element of a modular ring.
    ModularOffGuard off;
    SlotHold shown;
    quoly_set(v, &shown.q);
    quoly_display(&Output, 1, 1, 1, shown.q, &col, ";", polynames, 0, 1, 0);
}

void random_row(quoly* value) {
    if (!value->isnum) error(143, token.name);
    num_assign(value->nnum, random_denominator());
    std::printf(" Denominator for random is now: \n");
    int32_t col = 0;
    quoly_display(&Output, 1, 1, 1, value, &col, ";", polynames, 0, 1, 0);
}

void detcutoff_row(int32_t v, Report r) {
    detcutoff = v == 1 ? 0 : v;
    if (r.loud()) {
        if (detcutoff < 0)
            std::printf(" Will set detcutoff using defaults.\n");
        else
            std::printf(" Detcutoff now %li.\n", static_cast<long>(detcutoff));
        if (detcutoff > DENSE_DETCUTOFF_MAX)
            std::printf(" Note: This value for sparse arrays only. For ordinary arrays, max value is %d.\n",
                        DENSE_DETCUTOFF_MAX);
    }
}

void interrupt_row(int32_t v, Report r) {
    if (v < 0 || v > 2) error(146, token.name);
    if (v == m_interrupt) {
        std::printf(" Already had that value; no change in command interrupt.\n");
        return;
    }
    if (r.direct) std::printf(" Command interrupt now ");
    command_int = v != 0;
    if (r.direct) std::printf(v == 0 ? "off.\n" : v == 1 ? "on, level 1.\n" : "on, level 2.\n");
    m_interrupt = v;
}

// The row of one numeric or on/off letter, v its value.
void carry_out(int letter, int32_t v, quoly* value, Report r) {
    switch (letter) {
    case '#':
        if (v < 6) {
            if (r.loud()) std::printf(" Value entered is too small; will use 6.\n");
            v = 6;
        }
        reset_cutoffs(v);
        poly_cutoff = v;
        if (r.loud()) std::printf(" poly_cutoff now %li.\n", static_cast<long>(v));
        break;
    case '&':
        on_off(&diskstore, v, true, " Already had that value; no change in using disk space for virtual memory.\n",
               " Will use disk space as virtual memory.\n", " No disk space as virtual memory.\n");
        break;
    case U_MONOMIAL:
        on_off(&monomial_list, v, true, " Already had that value; no change in monomial display of polynomials.\n",
               " Will display polynomials as list of monomials.\n", " Will display polynomials in nested form.\n");
        break;
    case U_RANDOM: random_row(value); break;
    case U_COLUMNS: columns_row(v); break;
    case U_TRY_RAT:
        on_off(&try_rat, v, true,
               " Already had that value; no change in fastest probabilistic test for exact poly division.\n",
               " Will try fastest probabilistic test for exact poly division.\n",
               " No fastest probabilistic test for exact poly division.\n");
        rat_yes = try_rat;
        break;
    case U_LINE_SUP:
        on_off(&do_line_sup, v, true, " Already had that value; no change in suppressing output of long polys.\n",
               " Will suppress output to terminal of long polys.\n",
               " No suppression of output to terminal of long polys.\n");
        break;
    case U_LAGRANGE:
        on_off(&lagrange_stash, v, true,
               " Already had that value; no change in writing LaGrange determinants to file.\n",
               " Will write LaGrange determinants to file.\n", " No writing LaGrange determinants to file.\n");
        break;
    case 'A':
        if (v < 10 || v > 20000) error(272, token.name);
        aux_num_2factor = static_cast<int16_t>(v);
        if (r.loud()) std::printf(" second auxiliary prime search factor now %li.\n", static_cast<long>(v));
        break;
    case 'B':
        // Chpoly interpolation is decided before machine-integer arithmetic starts.
        if (lintmode) error(235, token.name);
        on_off(&chpoly_block, v, true, " Already had that value; no change in Chpoly speed.\n",
               " Chpoly will be slowed in modularmode.\n", " Will optimize Chpoly in modularmode.\n");
        break;
    case 'D': detcutoff_row(v, r); break;
    case 'E':
        on_off(&extra_line, v, true, " Already had that value; no change in extra line display.\n",
               " Will do extra line after display.\n", " No extra line after display.\n");
        break;
    case 'H':
        on_off(&alt_form_display, v, r.direct, " Already had that value; no change in modular integers display.\n",
               " Will display modular values using -m, -m+1, ..., 0, 1, ..., n\n"
               "    where m = (modulus - 1) div 2 and n = modulus div 2.\n",
               " Will display modular values using 0, 1, ..., modulus - 1.\n");
        record_symmetric_display();
        break;
    case 'K':
        gauss_cutoff = v;
        if (r.loud()) std::printf(" Gauss-Bareiss switch: %li\n", static_cast<long>(v));
        break;
    case 'L':
        rat_det_method_cut = v;
        mod_det_method_cut = v / 33;
        if (r.loud()) std::printf(" LaGrange cut off \"mass\": %li\n", static_cast<long>(v));
        break;
    case 'N':
        on_off(&noisy, v, true, " Already had that value; no change in noise.\n", " Will display results.\n",
               " Displaying results is deactivated.\n");
        break;
    case 'O':
        on_off(&chinhensel, v, r.direct, " Already had that value; no change in using Hensel or CRT.\n",
               " Will use Hensel and CRT for multivariate GCD.  This is the default.\n",
               " Use no Hensel or CRT for GCD. This is recommended only over Z/p for small primes.\n");
        break;
    case 'U':
        on_off(&uglyprint, v, true, " Already had that value; no change in uglyprint.\n",
               " Will do ugly display style.\n"
               " WARNING. Func, for, if, and while from terminal don't work when uglyprint is on.",
               " Will resume lovely Tarvex style.\n");
        continuation = uglyprint ? ' ' : '`';
        break;
    case 'V':
        on_off(&verbose, v, true, " Already had that value; no change in verbose.\n", " Will do verbose display.\n",
               " No verbose display.\n");
        break;
    case 'W':
        on_off(&windy, v, true, " Already had that value; no change in extra verbose (windy).\n",
               " Will do extra verbose display.\n", " No extra verbose display.\n");
        break;
    case 'X':
        if (v < 300 || v > 4583) error(295, token.name);
        aux_num_1factor = static_cast<int16_t>(v);
        if (r.loud()) std::printf(" first auxiliary prime search factor now %li.\n", static_cast<long>(v));
        break;
    case 'a':
        if (addresser == v) {
            if (r.direct) std::printf(" Already had that value; no change.\n");
        } else {
            addresser = v;
            if (r.direct) std::printf(" Array initial index now %li\n", static_cast<long>(addresser));
        }
        break;
    case 'e':
        on_off(&errorpush, v, true, " Already had that value; no change in error pushing.\n",
               " Will push new level after errors.\n", " Pushing after errors is deactivated\n");
        break;
    case 'l': laurent_row(v, r.direct); break;
    case 'm': interrupt_row(v, r); break;
    case 'n':
        on_off(&nomodpolyreadin, v, true, " Already had that value; no change in poly-readin of negatives.\n",
               " Will not mod out integers during poly-readin over modular ground ring.\n",
               " Will mod out integers during poly-readin over modular ground ring.\n");
        break;
    case 't':
        on_off(&timerflag, v, true, " Already had that value; no change in timing.\n", " Timing enabled.\n",
               " Timing disabled.\n");
        break;
    case 'u':
        if (v < 0 || v > 6) {
            if (r.loud()) std::printf(" Value entered is too large or small; will use 0.\n");
            v = 0;
        }
        pseudet_heur = v;
        if (r.loud()) std::printf(" Sparse pivot heuristic now %li.\n", static_cast<long>(v));
        break;
    case '|':
        on_off(&pos_mod, v, r.direct, " Already had that value; no change in | returning negatives.\n",
               " Modulus must return non-negatives.\n", " Modulus can return negatives.\n");
        break;
    default:
        error(136, token.name);
    }
}

}  // namespace

void set_switch(FILE** source, quoly** value, name** pending, int* loader, int* read_end) {
    const Report report{outside_body(pending)};
    scanner(source, &token, pending);
    int letter = static_cast<unsigned char>(token.name[0]);
    if (letter == '_') {
        scanner(source, &token, pending);
        letter = second_set_letter(token);
    }
    // A new variable or a cancelled one always changes the variables.
    if (letter == 'J') refuse_ring_change_inside_read(token.name);
    scanner(source, &token, pending);
    if (!token_is(&token, "=") && !(letter == 'J' && token_is(&token, ">"))) error(4, token.name);

    if (letter == 'P') {
        set_mod_out(source, pending, 1, 0);
        if (!token_is(&token, ")")) error(135, token.name);
        quoly_set(0, value);
        return;
    }
    if (letter == 'J') {
        int unread = 1;
        attach_poly(source, pending, 0, &unread);
        if (unread) {
            scanner(source, &token, pending);
            if (!token_is(&token, ")")) error(135, token.name);
        }
        quoly_set(0, value);
        return;
    }

    scanner(source, &token, pending);
    if (letter == '#' && token_is(&token, "[")) {
        get_cut_from_array(source, pending);
        if (!token_is(&token, ")")) error(135, token.name);
        quoly_set(0, value);
        return;
    }

    std::string text;
    bool named = false;
    int32_t v = 0;
    int32_t new_modulus = 0;
    name* list = nullptr;
    if (token_is(&token, "'")) {
        text = quoted_text(source, pending);
        named = true;
    } else if (letter == 'S' || letter == 'R' || letter == 'M') {
        if (token_is(&token, "[")) {
            get_from_array(source, pending, &text);
        } else {
            text = token.name;
            scanner(source, &token, pending);
        }
        named = true;
    } else if (letter == 'p') {
        ground_ring_value(source, value, pending, &new_modulus, &list);
    } else if (token_is(&token, "_")) {
        // The integer-mode marker "_i...": the value 0 for every letter but p.
        scanner(source, &token, pending);
        if (token.name[0] != 'i') error(147, token.name);
        scanner(source, &token, pending);
        quoly_set(0, value);
    } else if (letter == U_RANDOM) {
        old_expre(source, value, pending);
    } else {
        // The exact integer, never a residue or a wrapped machine word: one
        // past 32 bits is INT_DOES_NOT_FIT, as in rational mode.
        auto read = [&](quoly** slot) { old_expre(source, slot, pending); };
        if (!read_setting_number(read, value, &v, true)) error(147, token.name);
        // The pivot heuristic takes any number: out of its range it is 0.
        if (v < 0 && letter != 'D' && letter != 'u' && letter != U_COLUMNS) error(137, token.name);
    }

    if (letter == 'p') {
        if (!token_is(&token, ")")) {
            if (list) freename(list);
            error(135, token.name);
            return;
        }
        *loader = 0;
        ground_ring_row(source, value, pending, new_modulus, list, report.direct);
        return;
    }
    if (!token_is(&token, ")")) error(135, token.name);
    if (named) {
        name_setting(source, value, pending, letter, text, read_end);
        return;
    }
    if (v > 1 && !takes_large_values(letter)) error(133, token.name);
    if (!has_row(letter)) error(136, token.name);
    if (letter == 'l' && (v == 1) != (laurent != 0)) refuse_ring_change_inside_read("l");
    *loader = 0;
    carry_out(letter, v, *value, report);
}
