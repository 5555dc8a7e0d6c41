// Conversion lists: a change of ground ring limited to the scalars and
// arrays named after ":" (or inside "&p(...)"), each converted permanently
// or, starred, temporarily through the undo log. A starred item's way back
// replays the whole log, so every temporarily converted value returns at
// once whichever item names it.
#include <cstdio>
#include <cstring>
#include <list>
#include <set>
#include <vector>

#include "interp/functions.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "numbers/ring.h"
#include "quoly/change_mod.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"
#include "toplevel/ring_change.h"

namespace {

const char* const LIST_END = "\xC2\xA5";

void append(name** last, const tokenrec& t) {
    name* r;
    newname(&r);
    std::memcpy(r->token, t.name, TOKEN_TEXT);
    r->hash = t.hash;
    r->next = nullptr;
    (*last)->next = r;
    *last = r;
}

// The next byte of a stream is a line end (or there is none).
bool line_end_follows(FILE* f) {
    const int c = std::getc(f);
    if (c == EOF) return true;
    std::ungetc(c, f);
    return c == '\n' || c == '\r';
}

// An item the list cannot convert: reported, and the list ends.
bool item_error(int code) {
    std::printf(" *** Inappropriate symbol: %s\n", token.name);
    out_err_mess(code);
    std::printf(" Change of ground ring will continue. Some data may not be changed.\n");
    std::fflush(stdout);
    return false;
}

// The way back has begun: which starred values were written is settled.
bool starred_settled = false;

struct ListCursor {
    RingChange* frame;
    name* at;       // the pending-list word walking the list
    // Items named plain wait for the end of the list: one also starred in
    // it is held for the way back, whichever naming comes first, and a
    // permanent conversion first would leave the star only residues to hold.
    std::vector<var*> plain_scalars;
    std::vector<array*> plain_arrays;
    std::set<const void*> starred;
    void next() { scanner(frame->input, &token, &at); }
    // The closing ";" record: nothing follows it.
    bool at_end() const { return token_is(&token, ";"); }
};

// A variable converted for the time of modular mode. The variable holds a
// copy of the converted value; the original, converted in place through
// the undo log, stays here, where nothing but the log reaches it.
struct starred_value {
    var* record;             // the variable's record when it was converted
    char name[TOKEN_TEXT];
    quoly* placed;           // the copy the variable was given
    quoly* held;             // the original; the log may point at this word
    quoly* original;         // a rational copy of it for a save, or null
    quoly* same;             // a copy of the copy: the value it was given
    bool written;            // settled on the way back: it was written meanwhile
};
// Nodes never move: the log holds &held. Never destroyed either: at exit
// the originals held for a ring change still in force stay reached.
std::list<starred_value>& starred_values = *new std::list<starred_value>;

void convert_starred(var* v) {
    // Starred again in the same list: it is already held for the way back,
    // and holding its residue too would hide the original from a save.
    for (const starred_value& s : starred_values)
        if (s.record == v && v->value == s.placed) return;
    // One without an element of the ring stays as it is: left out, read
    // as error 85, and the way back finds it untouched.
    if (conversion_lacks_inverse(v->value, false)) return;
    starred_values.push_back(starred_value{v, {}, nullptr, v->value, nullptr, nullptr, false});
    starred_value& s = starred_values.back();
    // A save made meanwhile writes the value as it will come back; one
    // converted earlier in the same list comes back as its residue does.
    if (left_out_value(s.held)) {
        LintOff digits;
        quoly_assign(s.held, &s.original);
    }
    std::memcpy(s.name, v->name, TOKEN_TEXT);
    v->value = nullptr;
    if (s.held) quoly_change_to_mod(&s.held);
    if (s.held) quoly_assign(s.held, &v->value);
    if (!v->value) quoly_set(0, &v->value);
    s.placed = v->value;
    quoly_assign(s.placed, &s.same);
}

// Whether the variable still holds the copy it was given: a record freed
// meanwhile may come back for a new value, so the value must match too.
// Once the way back has settled it, the verdict stands.
bool left_alone(const starred_value& s, const var* v) {
    if (s.written || v->value != s.placed) return false;
    if (starred_settled) return true;
    LintOn residues;
    return quoly_equal(v->value, s.same);
}

void convert_scalar(var* v, bool starred, int direction) {
    quoly** slot = &v->value;
    if (direction == 0) {
        if (starred)
            convert_starred(v);
        else if (*slot && !conversion_lacks_inverse(*slot, false))
            // One that lacks an inverse stays as it is: left out.
            quoly_change_num(slot);
    } else if (starred) {
        replay_temporary_conversions();
    } else {
        value_from_mod(*slot);
    }
    if (!*slot) quoly_set(0, slot);
}

// A "**" list is in force: every value stored at the change was starred.
bool everything_starred = false;

// "**": every stored value, temporarily.
void convert_everything(int direction) {
    if (direction == 0) {
        everything_starred = true;
        for (int32_t b = 0; b < SCA_BUCKETS; b++)
            for (var* v = sca_store[b]; v; v = v->next) convert_starred(v);
    } else {
        replay_temporary_conversions();
    }
    temp_change_arrays(direction);
}

// One item, its first token current; false when the list ends here.
bool do_one_name(ListCursor* c, bool first) {
    const int direction = c->frame->direction;
    bool starred = false;
    if (token_is(&token, "*")) {
        starred = true;
        c->next();
        if (token_is(&token, "*")) {
            if (!first) return item_error(236);
            convert_everything(direction);
            c->next();
            return false;
        }
    }
    if (token_is(&token, "[")) {
        c->next();
        // No element of the array of arrays is ever set.
        if (token_is(&token, "%")) return item_error(220);
        array* a = c->at_end() ? nullptr : find_array(&token);
        if (!a) return item_error(28);
        c->next();
        if (!token_is(&token, "]")) return item_error(24);
        if (starred) {
            c->starred.insert(a);
            convert_listed_array(a, true, direction);
        } else {
            c->plain_arrays.push_back(a);
        }
        c->next();
        return true;
    }
    var* v = c->at_end() ? nullptr : find_var(&token);
    if (!v) return item_error(19);
    if (starred) {
        c->starred.insert(v);
        convert_scalar(v, true, direction);
    } else {
        c->plain_scalars.push_back(v);
    }
    c->next();
    return true;
}

var* find_var_by_name(const char* text) {
    tokenrec id;
    set_token(&id, text);
    return find_var(&id);
}

}  // namespace

void star_left_out_scalars() {
    for (int32_t b = 0; b < SCA_BUCKETS; b++)
        for (var* v = sca_store[b]; v; v = v->next) {
            if (left_out_reads_as_words(v->value) || !left_out_converts(v->value)) continue;
            // An older binding of the name is out of the way back's reach.
            if (find_var_by_name(v->name) != v) continue;
            convert_starred(v);
        }
}

bool all_values_starred() { return everything_starred; }

void reinstate_starred() {
    everything_starred = false;
    while (!starred_values.empty()) {
        starred_value& s = starred_values.back();
        tokenrec id;
        set_token(&id, s.name);
        var* v = find_var(&id);
        if (v && v == s.record && left_alone(s, v)) {
            retire_value(&v->value);
            // Converted earlier in the same list, the original is a residue.
            value_from_mod(s.held);
            v->value = s.held;
        } else {
            free_quoly(&s.held);
        }
        free_quoly(&s.same);
        {
            LintOff digits;
            free_quoly(&s.original);
        }
        starred_values.pop_back();
    }
    reinstate_starred_arrays();
    starred_settled = false;
}

void settle_starred_writes() {
    if (starred_settled) return;
    for (starred_value& s : starred_values) {
        tokenrec id;
        set_token(&id, s.name);
        var* v = find_var(&id);
        s.written = !(v && v == s.record && left_alone(s, v));
    }
    settle_starred_array_writes();
    starred_settled = true;
}

quoly* starred_original(const var* v) {
    for (auto it = starred_values.rbegin(); it != starred_values.rend(); ++it)
        if (it->record == v) return left_alone(*it, v) ? it->original : nullptr;
    return nullptr;
}

void get_stream(name** list, FILE** input, name** pending) {
    newname(list);
    name* last = *list;
    last->next = nullptr;
    for (;;) {
        scanner(input, &token, pending);
        if (*pending) {
            if (token_is(&token, LIST_END)) break;
        } else if (token_is(&token, ";") && line_end_follows(*input)) {
            break;
        }
        append(&last, token);
        if (token_is(&token, ")") && func_def_count == 0) break;
    }
    tokenrec end;
    set_token(&end, ";");
    append(&last, end);
}

void change_local(name* list, RingChange* frame) {
    ListCursor c{frame, list, {}, {}, {}};
    c.next();
    if (!token_is(&token, ")")) {
        bool going = do_one_name(&c, true);
        while (going && !token_is(&token, ")")) {
            if (!token_is(&token, ",")) {
                item_error(358);
                break;
            }
            c.next();
            going = do_one_name(&c, false);
        }
    }
    // A second naming of a starred item does nothing to its star.
    for (var* v : c.plain_scalars)
        if (!c.starred.count(v)) convert_scalar(v, false, frame->direction);
    for (array* a : c.plain_arrays)
        if (!c.starred.count(a)) convert_listed_array(a, false, frame->direction);
    change_system_array(frame->direction);
}
