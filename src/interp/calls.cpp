// Function calls and statement execution, the removal of a
// call's bindings and the construct typed outside a function.
//
// Every call keeps a frame of exactly the records it pushed. Its bindings
// go once, however the call ends: remove_args on a normal return, the
// frame's guard when an error unwinds the stack. A record the body deleted
// is left alone; a "^" parameter copies out only into the caller's record
// when that record is still linked under its name.
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "interp/array_table.h"
#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/loop_values.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/stack_depth.h"
#include "interp/stored_code.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "toplevel/ring_change.h"
#include "matrix/array_aliases.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "storage/nodetests.h"
#include "numbers/numbers.h"
#include "toplevel/call_history.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/ring_change.h"

namespace {

// A "^" parameter that the body never assigned, of a caller's value that
// nothing else changed either, copies nothing out: the copy it was given
// may have lost what the caller's value keeps (the rational form a
// conversion list left out or holds for the way back). Given: the value
// the local received; caller: the caller's value record at the call;
// same: a copy of the given value, made and compared in the ring of the
// call (a record freed meanwhile may come back holding a new value).
struct UntouchedReference {
    quoly* given = nullptr;
    quoly* caller = nullptr;
    quoly* same = nullptr;
    int32_t ring = 0;
    int lint = 0;
    void take(quoly* given_value, quoly* caller_value) {
        given = given_value;
        caller = caller_value;
        ring = modularmode ? modulus : -1;
        lint = lintmode;
        quoly_assign(given_value, &same);
    }
    bool holds(quoly* local_value, quoly* caller_value) const {
        if (!same || local_value != given || caller_value != caller) return false;
        if (ring != (modularmode ? modulus : -1) || lint != lintmode) return false;
        if (!quoly_equal(local_value, same)) return false;
        // A left-out value whose words are not its element of the ring (an
        // array holding a cell without a residue stays left out whole) gave
        // the element it reads as, not its words.
        if (left_out_needs_reading(caller_value)) {
            if (!left_out_converts(caller_value)) return false;
            quoly* read = nullptr;
            read_left_out_converted(caller_value, &read);
            const bool unchanged = quoly_equal(read, same);
            free_quoly(&read);
            return unchanged;
        }
        return quoly_equal(caller_value, same);
    }
    void release() {
        // Its numbers are freed as they were made.
        const int saved = lintmode;
        lintmode = lint;
        free_quoly(&same);
        lintmode = saved;
    }
};

struct local_binding {
    param* p = nullptr;
    var* record = nullptr;        // the local pushed for the parameter
    var* target = nullptr;        // "^": the caller's record, else null
    void* outer_binding = nullptr;   // the parameter's binding in the call this one is nested in
    int32_t outer_array_binding = 0; // and whether it named an array there, a sparse one
    int32_t outer_sparse = 0;
    array* alias = nullptr;       // an array argument: the alias record pushed for it, else null
    array* aliased = nullptr;     // and the argument array it stands for
    bool has_element = false;     // "^" with an array element: copied out into it
    element_ref element{};
    UntouchedReference untouched;
};

struct call_frame {
    func* f;
    std::vector<local_binding> locals;
    bool removed = false;
};

std::vector<call_frame*> frames;   // the calls running, innermost last
int sys_func_running = 0;
// Temporary bodies replaced while a run of one was still going on (a
// construct typed at a level that a running one opened): given back when
// no run is left.
std::vector<form*> replaced_bodies;

bool linked_under(var* record, const char* nm) {
    tokenrec id;
    set_token(&id, nm);
    for (var* v = sca_store[sca_bucket(&id)]; v; v = v->next)
        if (v == record) return std::strcmp(v->name, nm) == 0;
    return false;
}

void unlink_record(var* record) {
    tokenrec id;
    set_token(&id, record->name);
    var** link = &sca_store[sca_bucket(&id)];
    for (var* v = *link; v; link = &v->next, v = v->next) {
        if (v == record) {
            *link = v->next;
            scalar_links_changed();
            compile_forget_var(v);
            free_quoly(&v->value);
            v->ref = nullptr;
            v->next = var_garb;
            var_garb = v;
            return;
        }
    }
}

// The reference word a call gives each of its locals: the caller's value
// slot for a "^" parameter, else the frame itself as a mark (nothing reads
// it through). A record that the body deleted and that was taken again
// for another variable has lost it (push_var clears the word), so a local
// is still the call's own only while its name, its link and this word are.
quoly** local_mark(call_frame* frame, var* target) {
    return target ? &target->value : reinterpret_cast<quoly**>(frame);
}

bool still_own(call_frame* frame, const local_binding& b) {
    return b.record->ref == local_mark(frame, b.target) && linked_under(b.record, b.p->tok.token);
}

// Compiled tokens are bound per function, not per call: when a nested call
// of a compiled function ends, the uses of its parameters go back to the
// locals of the nearest call of the same function still running (unbound
// when the body deleted one, so that it is looked up by name).
void rebind_outer_call(call_frame* frame) {
    func* f = frame->f;
    if (!f->compiled || !f->params_compiled) return;
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
        call_frame* outer = *it;
        if (outer == frame || outer->removed || outer->f != f) continue;
        // An array parameter, or one compiled as the other kind, is looked
        // up by name until the next run of the compiled statements.
        for (local_binding& b : outer->locals) {
            // An array parameter's uses find the array by its name, which
            // is the outer call's alias again.
            if (b.p->array_binding && b.p->uses && b.p->uses->bind_kind == 3) continue;
            const bool scalar_use = b.p->uses && b.p->uses->bind_kind == 1 && !b.p->array_binding;
            bind_uses(b.p->uses, scalar_use && still_own(outer, b) ? &b.record->value : nullptr);
        }
        return;
    }
}

// The alias records of the frame go first, whatever else happens: an
// alias left behind would name cells that later belong to other arrays.
// Returns the name for error 30 (an alias not found where it was pushed,
// or hidden by a real array of its name), or null.
const char* remove_aliases(call_frame* frame) {
    const char* refused = nullptr;
    for (local_binding& b : frame->locals) {
        if (!b.alias) continue;
        array* al = b.alias;
        b.alias = nullptr;
        tokenrec id;
        set_token(&id, al->name);
        array* first = find_array(&id);
        array** link = &arr_store[al->hash];
        while (*link && *link != al) link = &(*link)->link;
        if (first && first != al && first->stamp > 0) {
            std::printf("*** Warning. On function termination, found an array with the same name as an \n");
            std::printf("       array parameter, namely: %s\n", al->name);
            std::fflush(stdout);
            refused = b.p->tok.token;
        } else if (!*link) {
            refused = b.p->tok.token;
        }
        if (*link) {
            *link = al->link;
            array_links_stamp++;
            // The frames may have been made or replaced through the alias;
            // never into a record that went back to the free list meanwhile.
            if (b.aliased && (b.aliased->stamp == -al->stamp || b.aliased->stamp == al->stamp))
                b.aliased->sparse = al->sparse;
        }
        release_alias(al);
    }
    return refused;
}

void remove_frame(call_frame* frame, bool quiet) {
    if (frame->removed) return;
    frame->removed = true;
    const char* refused = remove_aliases(frame);
    // Copy-out of "^" parameters, in parameter order: the later one wins
    // when two name one variable.
    for (local_binding& b : frame->locals) {
        if (b.has_element) {
            if (!still_own(frame, b)) continue;
            // Looked up again: the body may have deleted the array, or
            // moved its cells by deleting an older one.
            quoly** cell = element_cell_again(b.element, true);
            if (!cell) continue;
            if (b.untouched.holds(b.record->value, *cell)) continue;
            quoly* moved = b.record->value;
            b.record->value = nullptr;
            retire_value(cell);
            *cell = moved;
            if (moved && moved->isnum) moved->den = nullptr;
            if (b.element.arr->sparse && (!moved || quoly_iszero(moved)))
                sparse_delete(b.element.i, b.element.j, b.element.arr, b.element.two);
            continue;
        }
        if (!b.target) continue;
        if (!still_own(frame, b)) continue;   // the body deleted the parameter
        if (!linked_under(b.target, b.target->name)) continue;  // the body deleted the variable
        if (b.untouched.holds(b.record->value, b.target->value)) continue;
        quoly* moved = b.record->value;
        b.record->value = nullptr;
        retire_value(&b.target->value);
        b.target->value = moved;
        if (moved && moved->isnum) moved->den = nullptr;
    }
    // Exactly the records this call pushed, if the body did not delete them.
    for (local_binding& b : frame->locals) {
        b.untouched.release();
        if (still_own(frame, b)) unlink_record(b.record);
        b.p->binding = b.outer_binding;
        b.p->array_binding = b.outer_array_binding;
        b.p->sparse = b.outer_sparse;
    }
    frame->locals.clear();
    rebind_outer_call(frame);
    if (refused) {
        if (quiet) {
            out_err_mess(30);
        } else {
            error(30, refused);
        }
    }
}

void make_current(name* chain, name** cursor) {
    std::memcpy(token.name, chain->token, TOKEN_TEXT);
    token.hash = chain->hash;
    *cursor = chain;
    currentchar = chain->next;
}

bool stop_flag() { return exit_flag || leave_flag || cycle_flag; }

// A statement list; value := the last statement's value.
void run_list(FILE** source, form* list, quoly** value) {
    for (form* f = list; f; f = f->next) {
        free_quoly(value);
        if (f->stmt) getval(source, f->stmt, value);
        if (stop_flag()) break;
    }
}

// The body of a loop, with the flag rules of loops: true when the loop
// must stop.
bool run_loop_body(FILE** source, form* body, quoly** value) {
    run_list(source, body, value);
    if (exit_flag) return true;
    if (leave_flag) {
        leave_flag = 0;
        return true;
    }
    cycle_flag = 0;
    return false;
}

void plain_statement(FILE** source, cond* c, quoly** value) {
    name* cursor = nullptr;
    startexpr = c->statement;
    make_current(c->statement, &cursor);
    reset_statement_state();
    const char first = token.name[0];
    const bool array_word = token_is(&token, "Trans") || token_is(&token, "Diag") || token_is(&token, "Adjoint") ||
                            token_is(&token, "Altmult") || token_is(&token, "Altpower") ||
                            token_is(&token, "MPowermod") ||
                            ((first == '"' || first == '[' || first == '~') && token.name[1] == 0);
    if (array_word) {
        dispatch_statement(source, value, &cursor);
    } else if (token_is(&token, "Compile")) {
        // Its own statements have been run by compile, ending as they end.
        compile(source, value, c, &cursor);
        return;
    } else if (token_is(&token, "Integer")) {
        integerflag = 1;
        scanner(source, &token, &cursor);
    } else if (first == 'A' || first == 'C' || first == 'M') {
        if (integerflag) {
            int32_t r = 0;
            old_iexpre(&r, &cursor);
            quoly_set(r, value);
        } else {
            old_expre(source, value, &cursor);
        }
    } else if (first == 'I') {
        old_expre(source, value, &cursor);
    } else if (first == '!') {
        parse(source, value, &cursor);
    } else if (integerflag) {
        int32_t r = 0;
        iexpre(&r, &cursor);
        quoly_set(r, value);
    } else {
        parse(source, value, &cursor);
    }
    if (!token_is(&token, END_TOKEN) && !token_is(&token, ";")) error(31, token.name);
}

void for_loop(FILE** source, cond* c, quoly** value) {
    name* cursor = nullptr;
    make_current(c->condition, &cursor);
    scanner(source, &token, &cursor);   // the token after ":"
    var* variable = nullptr;
    int32_t v = 0, end = 0, step = 1;
    numnode* list = nullptr;
    numnode* at = nullptr;
    IndexSettles settle(token);
    set_up_for_loop(source, &cursor, &variable, &v, &end, &step, &list, &at);
    // While no scalar record is linked or unlinked, the variable's record is
    // still the newest of its name, and the next value goes straight in.
    uint32_t variable_stamp = scalar_links_stamp;
    if (!token_is(&token, END_TOKEN)) error(190, token.name);
    int32_t sign = 1;
    if (step < 0) {
        v = -v;
        end = -end;
        step = -step;
        sign = -1;
    }
    ValueListHold values{list};
    while (v <= end) {
        if (run_loop_body(source, c->first, value)) break;
        if (list) {
            // The cursor holds the values after the current one.
            v = at ? static_cast<int32_t>(at->digit) : end + 1;
            at = at ? at->next : nullptr;
        } else {
            v += step;
        }
        const int64_t shown = static_cast<int64_t>(sign) * v;
        if (shown > 268435455 || shown < -268435455) error(47, "for");
        if (variable && variable_stamp == scalar_links_stamp) {
            iset_record(variable, static_cast<int32_t>(shown));
        } else if (variable) {
            tokenrec id;
            set_token(&id, variable->name);
            iinsert(&id, static_cast<int32_t>(shown), &variable);
            variable_stamp = scalar_links_stamp;
        }
    }
    if (!exit_flag && c->second) run_list(source, c->second, value);
}

void while_loop(FILE** source, cond* c, quoly** value) {
    name* cursor = nullptr;
    for (;;) {
        make_current(c->condition, &cursor);
        if (!bool_expre(source, &cursor)) break;
        if (run_loop_body(source, c->first, value)) {
            if (exit_flag) return;
            break;
        }
        prev_expr = startexpr;
        startexpr = c->condition;
    }
    if (!exit_flag && c->second) run_list(source, c->second, value);
}

// What a running call restores however it ends.
struct call_guard {
    call_frame* frame;
    name* startexpr_saved;
    name* prev_expr_saved;
    int integer_saved;
    int uncaught;
    call_guard(call_frame* fr)
        : frame(fr), startexpr_saved(startexpr), prev_expr_saved(prev_expr), integer_saved(integerflag),
          uncaught(std::uncaught_exceptions()) {}
    ~call_guard() {
        remove_frame(frame, true);
        if (!frames.empty() && frames.back() == frame) frames.pop_back();
        end_call();
        if (std::uncaught_exceptions() > uncaught) {
            // An error unwinds: it has cleared what it reports.
            startexpr = prev_expr = nullptr;
        } else {
            startexpr = startexpr_saved;
            prev_expr = prev_expr_saved;
            integerflag = integer_saved;
        }
        delete frame;
    }
    call_guard(const call_guard&) = delete;
    call_guard& operator=(const call_guard&) = delete;
};

// Argument values read before the locals are pushed; freed if an error
// unwinds first.
struct argument {
    param* p = nullptr;
    quoly* value = nullptr;
    var* target = nullptr;
    array* aliased = nullptr;   // an array argument
    bool has_element = false;   // a "^" array element
    element_ref element{};
};
struct argument_list {
    std::vector<argument> args;
    ~argument_list() {
        for (argument& a : args) free_quoly(&a.value);
    }
};

// The alias record of parameter p for the array a: a's cells, shape and
// frames under p's name, with the negated stamp; not linked yet.
[[gnu::noinline]] array* make_alias(param* p, array* a) {
    array* al = nullptr;
    newarray(&al);
    std::memset(al->name, 0, sizeof al->name);
    std::memcpy(al->name, p->tok.token, sizeof al->name);
    al->name[sizeof al->name - 1] = 0;
    al->hash = static_cast<uint16_t>(hash(al->name, ARR_BUCKETS));
    al->first = a->first;
    al->last = a->last;
    spec_num_assign(&a->size, &al->size);
    al->rows = a->rows;
    al->sparse = a->sparse;
    al->onedim = a->onedim;
    al->spare = 0;
    al->stamp = a->stamp < 0 ? a->stamp : -a->stamp;
    al->link = nullptr;
    return al;
}

bool is_polyvar(const char* nm) { return its_a_polyname(nm) != 0; }

void next_token(FILE** source, name** pending) { scanner(source, &token, pending); }

// The value a "^" parameter starts with, read as the caller's name would
// be: a value a conversion list left out enters as its element of the
// ring, and one without an element is error 85 before anything is bound.
void copy_in(quoly* caller_value, quoly** value) { copy_in_ring(caller_value, value); }

// A "^" argument; token at its first token. Leaves the token after it.
// The argument readers stay out of line (as make_alias): evaluate's frame
// is on the stack once per nested call, and their locals would widen it.
[[gnu::noinline]] void reference_argument(FILE** source, name** pending, argument* a) {
    if (!lower_initial(token.name) || is_polyvar(token.name)) {
        error(207, token.name);
        quoly_set(0, &a->value);
        // Skip the argument as an expression.
        old_expre(source, &a->value, pending);
        if (!a->value) quoly_set(0, &a->value);
        return;
    }
    tokenrec id = token;
    next_token(source, pending);
    if (token_is(&token, "[")) {
        quoly** cell = element_reference(source, &id, pending, &a->element);
        if (!cell) {
            error(318, id.name);
            abandon_statement(318);
        }
        copy_in(*cell, &a->value);
        a->has_element = true;
        return;
    }
    var* v = find_var(&id);
    if (!v) {
        error(19, id.name);
        quoly_set(0, &a->value);
        return;
    }
    if (v->value && v->value->isnum && v->value->den) {
        std::printf("Warning. %s is an array parameter.\n", id.name);
        std::printf("  Value 0 used for %s.\n", id.name);
        std::fflush(stdout);
        quoly_set(0, &a->value);
    } else if (v->value) {
        copy_in(v->value, &a->value);
    } else {
        quoly_set(0, &a->value);
    }
    a->target = v;
}

// An array argument "[" name "]"; token at "[".
[[gnu::noinline]] void array_argument(FILE** source, name** pending, argument* a) {
    next_token(source, pending);
    tokenrec aname = token;
    quoly_set(0, &a->value);
    if (token_is(&aname, "<")) {
        error(176, aname.name);
        abandon_statement(176);
    }
    array* arr = nullptr;
    fastestlookup(&aname, &arr);
    if (!arr) {
        error(28, aname.name);
        abandon_statement(28);
    }
    next_token(source, pending);
    if (!token_is(&token, "]")) {
        error(24, token.name);
        abandon_statement(24);
    }
    next_token(source, pending);
    a->aliased = arr;
}

}  // namespace

func* running_function() { return frames.empty() ? nullptr : frames.back()->f; }

size_t calls_below_level = 0;

size_t running_call_count() { return frames.size(); }

bool local_of_call_below_level(const var* v) {
    for (size_t i = 0; i < calls_below_level && i < frames.size(); i++) {
        call_frame* frame = frames[i];
        if (frame->removed) continue;
        for (const local_binding& b : frame->locals)
            if (b.record == v && still_own(frame, b)) return true;
    }
    return false;
}

void remove_args(func* f, int quiet) {
    if (frames.empty()) return;
    call_frame* frame = frames.back();
    if (frame->f != f) return;
    remove_frame(frame, quiet != 0);
}

void getval(FILE** source, cond* c, quoly** value) {
    if (nesting_refused(token.name)) return;
    prev_expr = startexpr;
    startexpr = c->condition;
    if (!c->condition) {
        if (c->statement) plain_statement(source, c, value);
        return;
    }
    if (c->kind == 0) {
        name* cursor = nullptr;
        make_current(c->condition, &cursor);
        if (bool_expre(source, &cursor))
            run_list(source, c->first, value);
        else if (c->second)
            run_list(source, c->second, value);
        return;
    }
    if (token_is(reinterpret_cast<tokenrec*>(c->condition), ":"))
        for_loop(source, c, value);
    else
        while_loop(source, c, value);
}

void evaluate(FILE** source, tokenrec* fname, quoly** value, name** pending) {
    tokenrec fn = *fname;
    fn.hash = static_cast<uint16_t>(hash(fn.name, FUNC_BUCKETS));
    if (fname->hash == UNHASHED) fname->hash = fn.hash;
    func* f = find_func(&fn);
    if (!f) {
        error(16, fn.name);
        quoly_set(0, value);
        next_token(source, pending);
        return;
    }
    if (stack_nearly_full()) {
        error(DEEP_RECURSION_ERROR, fn.name);
        quoly_set(0, value);
        next_token(source, pending);
        return;
    }

    argument_list args;
    tokenrec kept;
    bool keep = false;
    if (f->params) {
        // The arguments read are held until the call binds them all.
        ReadingValue reading_arguments;
        next_token(source, pending);
        bool closed = false;
        if (!token_is(&token, "(")) {
            kept = token;
            keep = true;
            closed = true;
        }
        for (param* p = f->params; p; p = p->next) {
            if (is_polyvar(p->tok.token)) error(125, p->tok.token);
            // Built in place: a temporary record would sit in this frame,
            // which every nested call keeps on the stack.
            args.args.emplace_back();
            argument& a = args.args.back();
            a.p = p;
            if (!closed) {
                next_token(source, pending);
                if (token_is(&token, ")")) closed = true;
            }
            if (closed) {
                if (p->by_ref) error(206, keep ? fn.name : token.name);
                quoly_set(0, &a.value);
                continue;
            }
            if (p->by_ref)
                reference_argument(source, pending, &a);
            else if (token_is(&token, "["))
                array_argument(source, pending, &a);
            else
                old_expre(source, &a.value, pending);
            if (!a.value) quoly_set(0, &a.value);
            if (a.value->isnum) a.value->den = nullptr;
            if (token_is(&token, ")")) {
                closed = true;
            } else if (!token_is(&token, ",")) {
                if (p->next) {
                    error(14, token.name);
                    closed = true;
                }
            } else if (!p->next) {
                break;
            }
        }
        if (!keep && !token_is(&token, ")")) error(15, token.name);
    }

    // Only now the locals are pushed: every argument saw the caller's bindings.
    call_frame* frame = new call_frame{f, {}, false};
    for (argument& a : args.args) {
        tokenrec id;
        set_token(&id, a.p->tok.token);
        id.hash = a.p->tok.hash;
        var* rec = push_var(&id, a.value);
        a.value = nullptr;
        rec->ref = local_mark(frame, a.target);
        array* al = nullptr;
        if (a.aliased) {
            al = make_alias(a.p, a.aliased);
            al->link = arr_store[al->hash];
            arr_store[al->hash] = al;
            array_links_stamp++;
            note_alias(al, a.aliased);
            // The scalar of the parameter's name is marked: an array parameter.
            rec->value->den = reinterpret_cast<polynode*>(al);
        }
        frame->locals.emplace_back();
        local_binding& b = frame->locals.back();
        b.p = a.p;
        b.record = rec;
        b.target = a.target;
        b.outer_binding = a.p->binding;
        b.outer_array_binding = a.p->array_binding;
        b.outer_sparse = a.p->sparse;
        b.alias = al;
        b.aliased = a.aliased;
        b.has_element = a.has_element;
        b.element = a.element;
        if (a.target) {
            b.untouched.take(rec->value, a.target->value);
        } else if (a.has_element) {
            quoly** cell = element_cell_again(a.element, false);
            if (cell) b.untouched.take(rec->value, *cell);
        }
        a.p->binding = &rec->value;
        a.p->array_binding = a.aliased ? 1 : 0;
        a.p->sparse = a.aliased && a.aliased->sparse ? 1 : 0;
    }
    args.args.clear();
    frames.push_back(frame);
    note_call(f->name, frame);
    call_guard guard(frame);

    if (!keep) {
        next_token(source, pending);
        kept = token;
    }
    integerflag = 0;
    uninit = 0;
    startexpr = prev_expr = nullptr;
    quoly_set(0, value);

    run_list(source, f->body, value);
    if (!*value) quoly_set(0, value);
    exit_flag = 0;

    remove_args(f, 0);
    token = kept;
}

void call_sys_func(FILE** source, quoly** value, name** pending) {
    std::memset(current_func, 0, sizeof current_func);
    std::strncpy(current_func, "<F", sizeof current_func - 1);
    func_def_count++;
    last_good_one = nullptr;
    last_attached = nullptr;
    last_comm = nullptr;
    in_sys_func = 1;
    form* old = sys_func;
    spec_right_side(&sys_func, source, pending, ";");
    if (old && old != sys_func) {
        if (sys_func_running == 0)
            free_form(&old);
        else
            replaced_bodies.push_back(old);
    }
    in_sys_func = 0;
    if (stream_at_end(source, pending) && !token_is(&token, ";")) error(103, token.name);
    if (func_def_count > 0) func_def_count--;
    run_sys_func(source, value, pending);
}

void run_sys_func(FILE** source, quoly** value, name** pending) {
    (void)pending;
    if (!sys_func) {
        error(222, token.name);
        quoly_set(0, value);
        return;
    }
    tokenrec kept = token;
    name* s = startexpr;
    name* p = prev_expr;
    startexpr = prev_expr = nullptr;
    quoly_set(0, value);
    struct running {
        running() { sys_func_running++; }
        ~running() {
            if (--sys_func_running > 0) return;
            for (form* f : replaced_bodies) free_form(&f);
            replaced_bodies.clear();
        }
    } mark;
    run_list(source, sys_func, value);
    if (!*value) quoly_set(0, value);
    token = kept;
    integerflag = 0;
    startexpr = s;
    prev_expr = p;
    exit_flag = cycle_flag = leave_flag = 0;
}
