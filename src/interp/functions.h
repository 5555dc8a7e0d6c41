// User functions and stored code: the records a definition is compiled
// into, the function table, the globals of the definition being read and of
// the code being run, and the entry points of the modules that capture,
// compile, run, evaluate in machine integers and list stored code.
//
// A body is a list of `form` records (storage/other_records.h), each with a
// `cond`: a plain statement keeps its tokens as a chain of `name` records
// ending with the end token C2 A5; an if, while or for statement keeps its
// condition chain and one or two sub-bodies. Nothing of a plain statement is
// parsed at definition time: it is replayed through the scanner's pending
// list every time it runs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "interp/token.h"
#include "storage/other_records.h"
#include "storage/records.h"

// ---- records ----

struct comment {            // one comment written in front of a statement
    name* text;             // its raw characters, one token each
    comment* next;
};

struct param {              // one parameter, in the order written
    name tok;               // the name; hash: the scalar table's bucket (151)
    name* uses;             // the first stored token Compile bound to it
    void* binding;          // the current call's value slot, or its array record
    int32_t by_ref;         // written with a leading "^"
    int32_t array_binding;  // the binding is an array reference in two digit nodes
    int32_t sparse;         // the array bound to it has sparse frames
    param* next;
};

struct func {               // a user function; never released
    char name[12];          // NUL-terminated
    uint16_t hash;          // its bucket in func_store (71)
    param* params;          // null: no parameters
    form* body;
    form* compiled;         // the form after a Compile statement that has run, or null
    int32_t params_compiled;    // Compile bound the parameters (no "*")
    func* next;             // the next (older) function of the bucket
};

constexpr int32_t FUNC_BUCKETS = 71;
extern func* func_store[FUNC_BUCKETS];   // newest definition first in each bucket

// ---- the definition being read ----
extern char current_func[16];   // printed as "*** Definition of %s cancelled."
extern cond* last_good_one;     // the last statement that ended a line normally
extern comment* last_comm;      // and its comments
extern name* last_attached;     // the last captured list
extern int new_funcs;           // a definition was stored
extern int in_sys_func;         // a construct typed outside a function is being compiled
extern int doing_sys_func;      // its keyword was consumed: the next token is in sys_func_token
extern tokenrec sys_func_token;
extern form* sys_func;          // the temporary body of such a construct

// ---- the code being run ----
extern name* startexpr;         // the chain being executed
extern name* prev_expr;         // the one before
extern int uninit;

// ---- capture (tokens of a construct, up to its closing word) ----
struct attach_frame {
    FILE** source;
    name** pending;
    int for_header;         // capturing a for header: a ":" record first, " to" and " by"
    comment** comments;     // the caller's open comment chain, or null
    tokenrec* saved_token;  // a token read one too far goes here ...
    int* read_next;         // ... and this flag is cleared
};
int mate(const char* opening, const char* closing);
void attach(name** list, const char* closing, attach_frame* frame);

// ---- definitions ----
void funcdef(FILE** source, name** pending);
void right_side(form** body, const char* end_word, FILE** source, name** pending, int* read_next,
                tokenrec* saved_token, int outermost);
void basic_form(form* f, comment** comments, const char* end_word, FILE** source, name** pending,
                int* read_next, tokenrec* saved_token);
void spec_right_side(form** body, FILE** source, name** pending, const char* end_word);
void free_form(form** f);
void free_cond(form* f);
void freename(name* chain);     // a non-empty chain back to name_garb
// The function named `fname` (newest definition), or null.
func* find_func(tokenrec* fname);

// ---- calls and execution ----
void evaluate(FILE** source, tokenrec* fname, quoly** value, name** pending);
void getval(FILE** source, cond* c, quoly** value);
void call_sys_func(FILE** source, quoly** value, name** pending);
// Unlinks exactly the locals and aliases the call pushed (copy-out of "^"
// parameters first); quiet: no messages.
void remove_args(func* f, int quiet);
// The function of the innermost call running, or null.
func* running_function();
// The calls running when the innermost open command level was opened (0
// at the top level), set by the level for its time.
extern size_t calls_below_level;
size_t running_call_count();
struct var;
// Whether v is a local binding of one of those calls (a parameter the body
// has not deleted): not the session's own, which it hides meanwhile. A
// save made at the level leaves it out, as the call will; a call made at
// the level writes its own bindings as the names stand then.
bool local_of_call_below_level(const var* v);

// ---- Compile ----
// The Compile statement, token at "Compile" and pending at its record,
// current the statement being run: binds the names of the statements after
// it (the first time) and runs them; value := the last one's value; sets
// exit_flag, since the caller's body must not run them again.
void compile(FILE** source, quoly** value, cond* current, name** pending);
// Every use on the chain from first takes binding; a null binding leaves
// them unresolved, so they are looked up by name.
void bind_uses(name* first, void* binding);
struct var;
// A scalar record leaves the table: no compiled token keeps reading it.
void compile_forget_var(var* v);
// Forgets every compilation (tests and start-up).
void forget_compilations();

// ---- conditions, loops, sums and products ----
int bool_expre(FILE** source, name** pending);
// One expression of the for header being read that must be a one-word
// integer; else error code, reported with context (null: the current
// token), and *out := 0. Reads from the header reader's stream and list.
void obtain_int(int32_t* out, int code, const char* context);
struct var;
// The for header from the loop variable's token: variable, first value,
// end, step, and an optional list of values (digit nodes) with a cursor.
void set_up_for_loop(FILE** source, name** pending, var** variable, int32_t* first, int32_t* end, int32_t* step,
                     numnode** list, numnode** cursor);
// A sum ("*82") or product (other codes) over the pending list's tokens.
void sum_mult_up(const char* code, FILE** source, quoly** value, name** pending, int skip, int32_t* integer_result,
                 char* closer);

// ---- the integer evaluator (integerflag) ----
void iexpre(int32_t* result, name** pending);
void old_iexpre(int32_t* result, name** pending);

// ---- listing ----
struct listing_frame {
    FILE** out;
    func* f;
    int32_t column;
    int terminal;           // every line ends with a blank and the continuation character
};
void big_write_p(listing_frame* frame);
void simple_write_p(listing_frame* frame);
void listform(FILE** out, int terminal, form* list, int32_t indent);
void listrht(FILE** out, int terminal, cond* c, comment* comments, int32_t indent);
// The function listing (&f, &F): the functions named after the switch, or
// every one after "*".
void listfuncs(FILE* out, FILE** source, int terminal, tokenrec* first, name** pending);
