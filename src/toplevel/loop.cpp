// Start-up and the top-level statement loop. The loop's restart point is
// the catch of TarvexUnwind: an error that unwinds lands there, drops the
// interrupted statement and prompts again. The quit switch and the end of
// input end the program through QuitRequest.
#include "toplevel/loop.h"
#include "interp/array_language.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <ctime>
#include <string>
#include <utility>

#include "gcd/algc.h"
#include "gcd/gcdstash.h"
#include "interp/dispatcher.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/settings.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/ring.h"
#include "poly/dense.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/stash.h"
#include "storage/workblocks.h"
#include "toplevel/datafiles.h"
#include "toplevel/display.h"
#include "toplevel/display_array.h"
#include "matrix/array_store.h"
#include "matrix/reached_arrays.h"
#include "toplevel/errors.h"
#include "toplevel/execpath.h"
#include "toplevel/held_line.h"
#include "toplevel/read_file.h"
#include "toplevel/set_aside.h"

quoly* sysnum = nullptr;
quoly* prevnum = nullptr;
char xxx = 0;
int time_to_quit = 0;
int timerflag = 0;
int noisy = 1;
char prompt[64] = ">";
quoly* quol_num_0 = nullptr;
quoly* quol_num_1 = nullptr;
int command_int = 0;
bool at_statement_start = true;
uint16_t time_level = 1;
time_pair mytime[MAX_LEVELS + 2];
time_pair time_off[MAX_LEVELS + 2];
time_pair breaktime[MAX_LEVELS + 2];

namespace {

FILE* tarvexstartup = nullptr;

// The start-up file's memory line: 4-byte units per megabyte.
constexpr uint64_t MEMORY_UNITS_PER_MB = 225000;


bool is_terminator(const tokenrec& t) {
    return token_is(&t, ";") || token_is(&t, "\xC2\xA5") || token_is(&t, "@") || token_is(&t, ":");
}

// Discards what is left of the line being read: after an error the rest of
// a typed line is dropped (a pipe or a redirected file cannot be rewound).
void discard_line() {
    int c;
    while ((c = read_input_char(Input)) != EOF && c != '\n') {}
}

// After a prompt: the line end the scanner left unread after the statement,
// with the blanks (or the carriage return of a CRLF line end) before it, and
// nothing else (a second statement on the line, or whatever the user types
// next, stays). A line end left behind would read as one more, empty,
// statement and prompt.
void drop_line_end() {
    int c = read_input_char(Input);
    while (c == ' ' || c == '\t' || c == '\r') c = read_input_char(Input);
    if (c != '\n') unread_input_char(c, Input);
}

// The level number above the top level, then the prompt.
void level_prompt() {
    std::fflush(stdout);
    if (levelcount > 1) std::printf("%li", static_cast<long>(levelcount));
    if (promptsize >= 1) std::printf("%s", prompt);
    std::fflush(stdout);
}

void display_result(quoly* value, const tokenrec& terminator) {
    if (token_is(&terminator, ":")) {
        if (extra_line) std::printf("\n");
        return;
    }
    // A matrix statement's result is the system array, shown before the value.
    if (syst_dump && noisy && !token_is(&terminator, "@")) arrdisplay_whole(&Output, syst, 1, 4, 0);
    syst_dump = 0;
    if (extra_line) std::printf("\n");
    if (noisy) std::fflush(stdout);
    if (noisy && !token_is(&terminator, "@")) {
        int32_t col = 0;
        quoly_display(&Output, 1, 1, 1, value, &col, ";", polynames, 0, 1, 0);
    }
    if (!number_polys && noisy && extra_line) std::printf("\n");
}

quoly* number_quoly(int32_t v) {
    quoly* q = nullptr;
    quoly_set(v, &q);
    q->nnum->value = v;
    return q;
}

void set_defaults() {
    leftover = 0;
    continuation = '`';
    time_to_quit = 0;
    currentchar = nullptr;
    zilch = nullptr;
    errorpush = 0;
    noisy = 1;
    laurent = 0;
    uglyprint = 0;
    tripval = 20;
    timerflag = 0;
    dispcutoff = DISPLAY_COLUMNS_START;
    if (!quol_num_0) quol_num_0 = number_quoly(0);
    if (!quol_num_1) quol_num_1 = number_quoly(1);
    modulus = -1;
    std::strcpy(prompt, ">");
    promptsize = 1;
    command_int = 1;
    integerflag = 0;
    finish = nullptr;
}

void print_banner(const std::string& dir) {
    std::printf("\n");
    std::printf("Tarvex: exact computer algebra\n");
    std::printf("Integers, rationals, residues, polynomials and rational functions.\n\n");
    std::printf("Type statements ended by ';' to see their values, '&q;' to quit.\n\n");
    std::printf("Results are exact; the data tables are computed, not typed in.\n\n");
    std::printf("Reading initialization data from directory %s\n", dir.c_str());
    std::printf(" initializing...\n");
    std::fflush(stdout);
}

// A statement abandoned by an error leaves gcds that were to be stored:
// nothing will store them now, and a pending count would stop every purge.
void forget_unfinished_gcds() {
    polygcd_stack_depth = 0;
    if (lookupgcd > 0)
        free_gcd_stash();
    else if (gcdmass > 0)
        sure_free_gcd_stash();
}

// Runs the statement whose first token is current, timed as a statement of
// `level`: afterwards *value holds a value and the terminator is checked.
// The statement's time is returned.
time_pair run_dispatched(int level, quoly** value) {
    mytime[level] = now_pair();
    begin_reaching();
    dispatch_statement(&Input, value, &zilch);
    zilch = nullptr;
    const time_pair t = statement_time(mytime[level], level);
    if (!*value) quoly_set(0, value);
    if (!is_terminator(token)) error(129, token.name);
    return t;
}

// The value displayed, the timing line, and the value kept as the previous
// result (the slot emptied).
void show_and_keep(quoly** value, const tokenrec& terminator, time_pair t) {
    display_result(*value, terminator);
    if (timerflag) {
        print_timing(t);
        if (extra_line) std::printf("\n");
    }
    std::fflush(stdout);
    free_quoly(&prevnum);
    prevnum = *value;
    *value = nullptr;
}

// One statement of the top-level loop, from its first token to the prompt.
void run_one_statement() {
    warn_cnt = 0;
    // A function that ran &> or &] outside any loop leaves its flag set;
    // no loop is running between top-level statements.
    leave_flag = cycle_flag = exit_flag = 0;
    scanner(&Input, &token, &zilch);
    at_statement_start = false;
    reset_statement_state();
    // The uninitialised-cell warnings are counted afresh in each statement.
    uninit = 0;
    const time_pair t = run_dispatched(1, &sysnum);
    const tokenrec terminator = token;
    finish = nullptr;
    show_and_keep(&sysnum, terminator, t);
    if (time_to_quit) {
        time_to_quit = 0;
        std::printf(" You must use \"&q\" to quit the highest level.\n");
    }
    gcd_stash_after_statement();
    bury_retired();
    close_waiting_store_gaps();
    level_prompt();
    drop_line_end();
    at_statement_start = true;
}

bool at_end_of_input() {
    if (leftover) return false;
    int c = read_input_char(Input);
    if (c == EOF) return true;
    unread_input_char(c, Input);
    return false;
}

// The landing place of start-up and of every unwinding error.
void restart_point(bool after_error) {
    std::printf("\n");
    leftover = 0;
    finish = nullptr;
    if (after_error) discard_line();
    at_statement_start = true;
    level_prompt();
}

void run_loop() {
    bool after_error = false;
    for (;;) {
        restart_point(after_error);
        try {
            while (!at_end_of_input()) run_one_statement();
            return;
        } catch (const TarvexUnwind&) {
            after_error = true;
        } catch (const std::bad_alloc&) {
            heap_exhausted();
            after_error = true;
        } catch (const std::length_error&) {
            // A vector asked for more than any heap holds.
            heap_exhausted();
            after_error = true;
        }
        free_quoly(&sysnum);
        forget_unfinished_gcds();
        bury_retired();
        close_waiting_store_gaps();
        time_to_quit = 0;
        // No work block stays lent past the statement.
        first_available = 1;
    }
}

// What a nested level keeps of the computation it interrupted. The modes
// and the interrupt word come back on every exit, so that an error that
// unwinds through the level passes them on to the guards below as they
// were; the rest only when the level is left (an unwinding error lands at
// the top level, whose state it sets itself).
struct LevelState {
    tokenrec token_saved = token;
    int tt = tt_flag;
    int loading_done = done_load;
    int32_t defs = func_def_count;
    int integer = integerflag;
    bool statement_start = at_statement_start;
    int lint = lintmode;
    int modular = modularmode;
    int cmd = command_int;
    bool left = false;
    ~LevelState() {
        if (left) {
            token = token_saved;
            tt_flag = tt;
            done_load = loading_done;
            func_def_count = defs;
            integerflag = integer;
            at_statement_start = statement_start;
        }
        lintmode = lint;
        modularmode = modular;
        command_int = cmd;
    }
};

// The level's value slot, freed however the level ends.
struct ValueSlot {
    quoly* q = nullptr;
    ~ValueSlot() { free_quoly(&q); }
};

}  // namespace

bool level_for_interrupt = false;

void run_command_level() {
    const bool interrupted = level_for_interrupt;
    level_for_interrupt = false;
    if (levelcount + 1 > MAX_LEVELS) {
        std::printf("*** Highest legal command level is 9.\n");
        error(0, token.name);
    }
    levelcount++;
    LevelState saved;
    // Values made at the level live in the session's ring, whatever the
    // interrupted work has set aside: modular arithmetic a read switched
    // off (for integers of the input) is on while the level runs, and off
    // again for the rest of the read.
    SessionForLevel session;
    // An algorithm had switched to modular arithmetic (allowed by &Z): the
    // level works in the user's arithmetic, and the modulus comes back when
    // it is left.
    if (was_in_rat && modularmode) {
        modularmode = lintmode = 0;
        was_modulus = modulus;
        std::printf("\n*** You have interrupted at a delicate time. Tarvex had switched\n");
        std::printf("    internally to arithmetic mod p. It has switched back for your \n");
        std::printf("    convenience during this interrupt. Do not do any significant \n");
        std::printf("    polynomial computations.  To abort, enter &@ followed by  &(p=_i:) .\n\n");
    }
    if (globalpoly > 0) {
        std::printf("\n*** You have interrupted at a delicate time. The global poly table has been\n");
        std::printf("    changed. Your variables that are polynomials are unreadable and unusable.\n");
        std::printf("    Beware! (You can use ZZ3 to display a variable.)\n\n");
    }
    integerflag = 0;
    tt_flag = 1;
    func_def_count = 0;
    breaktime[time_level] = now_pair();
    time_level++;
    time_off[time_level] = {0, 0};

    // No interrupt until the level has read its first token.
    command_int = 0;
    // A statement interrupted may not have read all of its line yet: the
    // level reads what is typed after the interrupt, and the rest of that
    // line goes back to the statement when the level is left (an error
    // that unwinds drops it with the statement). After an error, or a
    // level asked for, the rest of the line goes.
    HeldLine rest;
    if (!at_statement_start) {
        if (interrupted)
            rest = take_rest_of_line(Input);
        else
            discard_line();
    }
    at_statement_start = true;
    std::fflush(stdout);
    level_prompt();
    leftover = 0;

    ValueSlot value;
    for (;;) {
        // The input ended at a nested level: every level goes, and the top
        // level ends the program at the same end.
        if (at_end_of_input()) abandon_statement(-1);
        scanner(&Input, &token, &zilch);
        at_statement_start = false;
        command_int = saved.cmd;
        const time_pair t = run_dispatched(time_level, &value.q);
        const tokenrec terminator = token;
        finish = nullptr;
        if (time_to_quit) break;
        show_and_keep(&value.q, terminator, t);
        // A gcd waiting below may still store into the stash.
        if (polygcd_stack_depth == 0) gcd_stash_after_statement();
        level_prompt();
        drop_line_end();
        at_statement_start = true;
    }

    time_to_quit = 0;
    if (was_modulus > 0) install_modulus(was_modulus);
    was_modulus = -1;
    levelcount--;
    time_level--;
    const time_pair now = now_pair();
    time_off[time_level].wall += now.wall - breaktime[time_level].wall;
    time_off[time_level].cpu += now.cpu - breaktime[time_level].cpu;
    std::printf("*** Resuming earlier command level\n");
    std::fflush(stdout);
    zilch = nullptr;
    saved.left = true;
    session.level_left();
    give_back(std::move(rest));
}

void dispatch_statement(FILE** source, quoly** value, name** pending) {
    char c = token_is(&token, "Diag") ? '~' : token.name[0];
    xxx = c;
    if (token_is(&token, "Trans")) {
        arr_parse('"', source, value, pending);
    } else if (c == '"' || c == '[' || c == '~') {
        arr_parse(c, source, value, pending);
    } else if (c == 'A') {
        if (token_is(&token, "Adjoint") || token_is(&token, "Altmult") || token_is(&token, "Altpower"))
            arr_parse('A', source, value, pending);
        else
            old_expre(source, value, pending);
    } else if (c == 'M') {
        if (token_is(&token, "MPowermod")) arr_parse('M', source, value, pending);
        else old_expre(source, value, pending);
    } else {
        parse(source, value, pending);
    }
}

time_pair statement_time(const time_pair& start, int level) {
    time_pair now = now_pair();
    time_pair& off = time_off[level];
    time_pair t = {now.wall - start.wall - off.wall, now.cpu - start.cpu - off.cpu};
    off = {0, 0};
    return t;
}

void print_timing(time_pair t) {
    unsigned long w = static_cast<unsigned long>(t.wall < 0 ? 0 : t.wall);
    unsigned long u = static_cast<unsigned long>(t.cpu < 0 ? 0 : t.cpu);
    unsigned long h = w / 3600, m = (w % 3600) / 60, s = w % 60;
    unsigned long cm = u / 60000000UL, cs = (u / 1000000UL) % 60;
    char frac[16];
    std::snprintf(frac, sizeof frac, "%0.3f", static_cast<float>(u % 1000000UL) / 1000000.0f);
    const char* f = frac + 2;   // the three digits after "0."
    if (h >= 1)
        std::printf(" Elapsed real time: %lu:%2lu:%2lu.  CPU time: %lu:%2lu.%s\n", h, m, s, cm, cs, f);
    else if (m > 0)
        std::printf(" Elapsed real time: %2lu:%2lu.  CPU time: %lu:%2lu.%s\n", m, s, cm, cs, f);
    else if (s >= 5)
        std::printf(" Elapsed real time: %2lu.  CPU time: %2lu.%s\n", s, cs, f);
    else
        std::printf(" Elapsed CPU time: %2lu.%s\n", cs, f);
}

void do_prompts() {
    if (levelcount > 1) std::printf("%li", static_cast<long>(levelcount));
    if (promptsize > 0) {
        std::printf("%s", prompt);
        std::fflush(stdout);
        read_input_char(Input);
    } else if (prompt[0] == 13) {
        std::printf("%s", prompt);
    }
    leftover = 0;
}

void load_startup(const char* directory) {
    std::string dir = directory;
    int saved_tt = tt_flag;
    char saved_left = leftover;
    int saved_integer = integerflag;
    tt_flag = 0;
    leftover = 0;
    struct Restore {
        int tt, integer;
        char left;
        ~Restore() {
            tt_flag = tt;
            integerflag = integer;
            leftover = left;
        }
    } restore{saved_tt, saved_integer, saved_left};

    tarvexstartup = std::fopen("tarvexstart.txt", "r");
    if (!tarvexstartup) tarvexstartup = std::fopen((dir + "tarvexstart.txt").c_str(), "r");
    if (!tarvexstartup) {
        std::fprintf(stderr, "No tarvexstart.txt file.\n");
        return;
    }
    unsigned long megabytes = 0;
    if (std::fscanf(tarvexstartup, "%lu", &megabytes) != 1) megabytes = 0;
    std::printf(" Amount of RAM you specified (mbytes): %lu.\n", megabytes);
    // The budget counts 4-byte units in 32 bits: a large amount stops at
    // the largest count instead of wrapping round to a small one.
    const uint64_t units = std::min<uint64_t>(megabytes, INT32_MAX) * MEMORY_UNITS_PER_MB;
    initial_memory = static_cast<int32_t>(std::min<uint64_t>(units, INT32_MAX));
    virtual_cut = static_cast<int32_t>(static_cast<uint32_t>(initial_memory) / 5u);

    quoly* value = nullptr;
    while (!std::feof(tarvexstartup)) {
        scanner(&tarvexstartup, &token, &zilch);
        if (std::feof(tarvexstartup) && token_is(&token, ";")) {
            leftover = 0;
            break;
        }
        reset_statement_state();
        dispatch_statement(&tarvexstartup, &value, &zilch);
        zilch = nullptr;
        free_quoly(&value);
        if (!(token_is(&token, ";") || token_is(&token, "\xC2\xA5") || token_is(&token, "@")))
            error(129, token.name);
        // Whatever follows the terminator on its line is not run.
        int c;
        while ((c = std::getc(tarvexstartup)) != EOF && c != '\n') {}
        leftover = 0;
    }
    std::fclose(tarvexstartup);
    tarvexstartup = nullptr;
}

int tarvex_main(int, char** argv) {
    Input = stdin;
    Output = stdout;
    install_interrupt_handler();
    try {
        mytime[1] = now_pair();
        raise_stack_limit(0x100000);
        open_system_stashes();
        std::string exec_path;
        GetExecName(argv[0], exec_path);
        std::string dir = data_directory_for(exec_path);
        print_banner(dir);
        try {
            initialize(dir.c_str());
        } catch (const StartupFailure&) {
            std::printf("*** Tarvex cannot start without its data directory %s\n", dir.c_str());
            std::fflush(stdout);
            return 1;
        }
        std::time_t now = std::time(nullptr);
        std::printf("\n %s", std::asctime(std::localtime(&now)));
        init_display_defaults();
        init_poly_work_arrays();
        set_defaults();
        try {
            initial_memory = 0;
            virtual_cut = 0;
            load_startup(dir.c_str());
            totalavailablememory = static_cast<int64_t>(initial_memory) * 4;
            time_pair t = statement_time(mytime[1]);
            if (timerflag) {
                std::printf("\n");
                print_timing(t);
            }
        } catch (const TarvexUnwind&) {
            // An error in the start-up file drops the rest of it.
        } catch (const std::bad_alloc&) {
            heap_exhausted();
        } catch (const std::length_error&) {
            heap_exhausted();
        }
        run_loop();
    } catch (const QuitRequest&) {
    }
    std::printf("\n bye\n");
    std::fflush(stdout);
    return 0;
}
