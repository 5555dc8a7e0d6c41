// The program's start-up and its read-eval-print loop: read the first token
// of a statement, dispatch it, check the terminator, display the value,
// report the time, keep the value as the previous result, prompt.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"
#include "toplevel/platform.h"

struct name;

extern quoly* sysnum;        // value of the statement being run; null between statements
extern quoly* prevnum;       // the previous result
extern char xxx;             // the character the current statement was dispatched on
extern int time_to_quit;     // set by the leave-level switch
extern int timerflag;        // switch t: a timing line after every statement
extern int noisy;            // results are displayed
extern char prompt[64];
extern quoly* quol_num_0;    // shared constants 0 and 1, never freed
extern quoly* quol_num_1;
extern int command_int;      // command-interrupt word
// The statement loop is waiting for a statement's first token: nothing of
// the line it will read has been taken yet.
extern bool at_statement_start;

constexpr int MAX_LEVELS = 9;
extern uint16_t time_level;  // 1 + the open nested levels: index into the tables below
extern time_pair mytime[MAX_LEVELS + 2];    // start stamp of the level's current statement
extern time_pair time_off[MAX_LEVELS + 2];  // time spent in nested levels opened from it
extern time_pair breaktime[MAX_LEVELS + 2]; // when a nested level was opened from it

// Reads and runs the statement whose first token is in `token`, choosing
// between the array-statement evaluator, the short expression reader and
// the statement dispatcher; the value goes into *value and the terminator
// is left in `token`.
void dispatch_statement(FILE** source, quoly** value, name** pending);

// A nested command level: its own statement loop, run inside error() on
// the stack above the computation it interrupted, until the leave-level
// switch ends it (then the computation goes on). Past the ninth level a
// panic stop. An error that unwinds drops every level at once.
void run_command_level();
// Set just before the level an interrupt opens; the level clears it.
extern bool level_for_interrupt;

// The time since `start` of the statement running at `level`, less the
// time spent at levels opened from it meanwhile (which is then forgotten).
time_pair statement_time(const time_pair& start, int level = 1);

// The timing line of a statement that took `t` (wall seconds, CPU µs).
void print_timing(time_pair t);

// Prints the prompt for input asked for in the middle of a statement.
void do_prompts();

// Runs the optional start-up file "tarvexstart.txt" (current directory,
// then the data directory): its first number sets the memory budget, the
// rest are statements run silently.
void load_startup(const char* directory);

// The whole program: start-up, then the loop until the quit switch or the
// end of input. Returns the exit status.
int tarvex_main(int argc, char** argv);
