// The switch command, a dispatcher on the character after '&': toggles,
// prompted settings, the parameterised form '&(' letter '=' value ')',
// the commands (quit, panic stop, new and leave command level, listing of
// the settings) and the two-character forms '&' '_' x, which map onto
// single characters or onto internal codes above the printable range.
// Every switch leaves 0 as the statement's value unless it says otherwise,
// and the token after the switch ends the statement.
#include <cstring>

#include "det/det_state.h"
#include "det/minor_stash.h"
#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/switch_impl.h"
#include "interp/term_reader.h"
#include "interp/token.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/adjoin.h"
#include "quoly/modout_declare.h"
#include "storage/assign.h"
#include "storage/workblocks.h"
#include "toplevel/display.h"
#include "toplevel/display_array.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/prompted_settings.h"
#include "toplevel/read_file.h"
#include "toplevel/save_file.h"
#include "toplevel/settings_dump.h"

namespace {

// The character or code that '&' '_' x stands for; 0 when x has none.
int underscore_switch(char x) {
    switch (x) {
    case 'L': return '5';
    case 'l': return '2';
    case 'P': return SW_NEW_LEVEL;
    case 'd': return SW_COLUMNS;
    case 'k': return SW_KARATSUBA;
    case 'm': return SW_OUTSIDE_MOD;
    case 'p': return SW_LEAVE_LEVEL;
    case 'r': return SW_RANDOM;
    default: return 0;
    }
}

// Switches whose action leaves the statement's value.
bool leaves_value(int sw) {
    switch (sw) {
    case 'h': case 'n': case '(': case 'T': case 'A': case 'm': case 'a': case 'C':
    case SW_OUTSIDE_MOD: case SW_RANDOM:
        return true;
    default:
        return false;
    }
}

// A value read with modular arithmetic suspended (a setting, &_m's
// statement) is a machine word: as the statement's value it must be an
// element of the ring, or display, sums and products disagree about it.
void value_into_ring(quoly* value) {
    if (value && value->isnum) number_into_ring(value->nnum);
}

// The '&' '_' x forms carried out at once; false when x continues as a switch.
bool underscore_at_once(FILE** source, quoly** value, name** pending) {
    switch (token.name[0]) {
    case 'G':
        scanner(source, &token, pending);
        quoly_set(0, value);
        clean_up_quoly();
        clean_up_poly();
        if (!lintmode) clean_up_imp();
        return true;
    case 'n': {
        scanner(source, &token, pending);
        int32_t level = 0;
        quoly_readin(source, value, pending, &level);
        return true;
    }
    case 's':
    case 't':
        run_toggle(token.name[0] == 's' ? SW_LINE_SUP : SW_TRY_RAT, pending);
        scanner(source, &token, pending);
        return true;
    default:
        return false;
    }
}

}  // namespace

void switches(FILE** source, quoly** value, name** pending) {
    scanner(source, &token, pending);
    if (std::strlen(token.name) > 1) error(114, token.name);
    int sw = static_cast<unsigned char>(token.name[0]);
    if (sw == '_') {
        scanner(source, &token, pending);
        if (underscore_at_once(source, value, pending)) return;
        sw = underscore_switch(token.name[0]);
        if (sw == 0) error(17, token.name);
    }

    if (changes_ring(sw)) refuse_ring_change_inside_read(token.name);

    int loader = 0;
    int read_end = 1;
    if (run_toggle(sw, pending)) {
        // nothing more: the toggle has reported
    } else {
        switch (sw) {
        case '#': case 'A': case 'K': case 'L': case 'X': case 'm':
        case SW_COLUMNS: case SW_KARATSUBA: case SW_RANDOM:
            prompted_setting(sw, value, pending);
            break;
        case '(':
            set_switch(source, value, pending, &loader, &read_end);
            break;
        case 'C': stash_counter(source, value, pending); break;
        case 'M': ask_prompt(); break;
        case 'a': flip_index_origin(value, pending); break;
        case 'h': free_storage_value(value, pending); break;
        case 'T': processor_time_value(value); break;
        case 'G': garbage('g'); break;
        case 'd': calc_disp(1, 0); break;
        case 'u': change_pseudet_heur(value); break;
        case 'D': change_detcutoff(value); break;
        case 'g': global_dump(); break;
        case '>': case ']': case '}': control_flag_switch(sw, pending); break;
        case '@': error(0, " "); break;
        case 'o': error(262, token.name); break;
        case 'Q':
        case 'q':
            throw QuitRequest{};
        case 'J': {
            int unread = 1;
            attach_poly(source, pending, 1, &unread);
            break;
        }
        case SW_NEW_LEVEL:
            error(-1, " ");
            // Back from the nested level the statement ends without a
            // display, except inside a body read from the terminal, whose
            // next token follows as usual.
            if (!(tt_flag == 1 && !outside_body(pending))) {
                set_token(&token, "@");
                return;
            }
            break;
        case SW_LEAVE_LEVEL: time_to_quit = 1; break;
        case SW_OUTSIDE_MOD:
            outside_modular(source, value, pending);
            value_into_ring(*value);
            return;
        case 'p':
            if (ground_ring_switch(source, value, pending)) {
                quoly_set(0, value);
                return;
            }
            break;
        case 'l': laurent_switch(); break;
        case 'R': case 'r':
            load(source, value, pending, " ", sw, &loader);
            if (loader) {
                quoly_set(0, value);
                return;
            }
            break;
        case 'S': case 's': {
            int asked = 0;
            save(source, pending, " ", sw, &asked);
            if (asked) {
                quoly_set(0, value);
                return;
            }
            break;
        }
        case 'x':
            if (tt_flag == 0) done_load = 1;
            break;
        case 'v':
            scanner(source, &token, pending);
            if (!token_is(&token, ";") && !token_is(&token, ":")) error(303, token.name);
            listvars(token_is(&token, ";"));
            quoly_set(0, value);
            return;
        case 'P':
            set_mod_out(source, pending, 0, 0);
            break;
        case 'F':
        case 'f':
            scanner(source, &token, pending);
            listfuncs(Output, source, 1, &token, pending);
            // The listing ends the statement itself, but for the temporary
            // body, after which the terminator follows.
            if (token_is(&token, "@")) {
                quoly_set(0, value);
                return;
            }
            break;
        case '4':
            // The matrix an interrupted elimination is working on, if any.
            if (dupptr) {
                array_view view{duparr->name, duparr, 0, duparr->rows, duparr->rows, addresser, addresser,
                                duparr->rows, dupptr};
                arrdisplay(&Output, 1, 0, view, DEFAULT_CELL_WIDTH, 0, 1);
            }
            break;
        case 'j': minor_stash_report(); break;
        default: error(17, token.name); break;
        }
    }
    if (!leaves_value(sw))
        quoly_set(0, value);
    else
        value_into_ring(*value);
    if (sw == '(' && !read_end) return;
    scanner(source, &token, pending);
}
