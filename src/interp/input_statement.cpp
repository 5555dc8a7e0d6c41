// The input statement '?': asks the user for the value of a scalar and
// stores it. The answer always comes from the terminal (Input), whatever
// the statement's own source: a typed line, a file being read or the
// stored tokens of a function body.
//
// Reading the answer moves the scanner on through another stream, so the
// statement keeps the token, look-ahead and line mode it stood at and puts
// them back however it ends; the statement around it then goes on as if
// nothing had been read.
#include "interp/dispatcher.h"

#include <vector>

#include "interp/array_table.h"
#include "interp/evaluator.h"
#include "matrix/array_store.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/stored_code.h"
#include "interp/token.h"
#include "storage/assign.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

char saveleft = 0;

namespace {

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

// Puts back the line mode and, once armed, the token and look-ahead of the
// statement, on every exit. The copies are its own: an answer may itself
// hold an input statement, which would overwrite a shared one.
class InputState {
public:
    InputState() : tt_(tt_flag) {}
    ~InputState() {
        if (armed_) {
            token = token_;
            leftover = left_;
        }
        tt_flag = tt_;
    }
    void arm() {
        token_ = token;
        left_ = leftover;
        saveleft = leftover;
        armed_ = true;
    }
    InputState(const InputState&) = delete;
    InputState& operator=(const InputState&) = delete;

private:
    int tt_;
    tokenrec token_{};
    char left_ = 0;
    bool armed_ = false;
};

// The level above the top one, the prompt, and the name asked for.
void ask_for(const tokenrec& target) {
    if (levelcount > 1) std::printf("%li", static_cast<long>(levelcount));
    if (promptsize >= 1)
        std::printf("%s", prompt);
    else if (prompt[0] == 13)
        std::printf("%s", prompt);
    std::printf("%s := ", target.name);
    std::fflush(stdout);
}

// The answer for a scalar: one line from the terminal, its first token
// read afresh; "@" leaves the scalar as it was.
void read_scalar(const tokenrec& target, quoly** value) {
    ask_for(target);
    leftover = 0;
    tt_flag = 1;
    read_input_char(Input);   // the line end the question's statement left unread
    scanner(&Input, &token, &zilch);
    if (token_is(&token, "@")) return;
    old_expre(&Input, value, &zilch);
    if (!*value) quoly_set(0, value);
    var* record = nullptr;
    insert_var(&target, *value, &record);
    *value = nullptr;
    quoly_assign(record->value, value);
}

enum class answer { given, kept, gone };

// The answer for one dense cell; "@" leaves it as it was (kept). value
// (when given) := a copy of what the cell holds then. gone: the answer
// deleted the array or moved its cells, and nothing was stored.
answer arrinsert(const tokenrec& target, quoly** cell, int32_t i, int32_t j, array* a, quoly** value, int two) {
    const int32_t stamp = a->stamp;
    if (levelcount > 1 && prompt[0] != 13) std::printf("%li", static_cast<long>(levelcount));
    if (promptsize > 0) std::printf("%s", prompt);
    if (array_columns(a) > 1 && two)
        std::printf("%s[%li,%li] := ", target.name, static_cast<long>(i), static_cast<long>(j));
    else
        std::printf("%s[%li] := ", target.name, static_cast<long>(i));
    std::fflush(stdout);
    tt_flag = 1;
    leftover = 0;
    read_input_char(Input);
    scanner(&Input, &token, &zilch);
    const bool kept = token_is(&token, "@");
    if (!kept) {
        SlotHold v;
        old_expre(&Input, &v.q, &zilch);
        if (!v.q) quoly_set(0, &v.q);
        // The cell is looked up again: the answer may have deleted the
        // array or moved its cells.
        tokenrec nm = target;
        array* again = nullptr;
        fastestlookup(&nm, &again);
        if (again != a || again->stamp != stamp) return answer::gone;
        array_quoly_ptr(a, i, j, two, &cell, target.name, 0);
        retire_value(cell);
        *cell = v.release();
        if ((*cell)->isnum) (*cell)->den = nullptr;
    }
    if (value && *cell) quoly_assign(*cell, value);
    return kept ? answer::kept : answer::given;
}

bool input_end() {
    return token_is(&token, ";") || token_is(&token, END_TOKEN) || token_is(&token, "@") || token_is(&token, ":");
}

// "[" "char" form: the answer's characters, up to the closing quote, become
// a new dense row of their codes under the name.
void char_answer(const tokenrec& target) {
    std::printf("[%s] := '", target.name);
    std::fflush(stdout);
    leftover = 0;
    read_input_char(Input);   // the line end the question's statement left unread
    std::vector<int> codes;
    int newline = 0;
    tokenrec piece;
    for (;;) {
        dumbscanner(&Input, &piece, &zilch, &newline);
        if (piece.name[0] == '\'' || token_is(&piece, ";")) break;
        codes.push_back(static_cast<unsigned char>(piece.name[0]));
    }
    if (codes.empty()) {
        error(110, "'");
        return;
    }
    tokenrec nm = target;
    array* old = nullptr;
    fastestlookup(&nm, &old);
    const int32_t n = static_cast<int32_t>(codes.size());
    array* a = insertarr(&nm, 1, n, n == 1 ? 1 : 0);
    for (int32_t c = 0; c < n; c++) {
        quoly** cell = cell_at(int64_t{a->first} + c);
        *cell = nullptr;
        quoly_set(codes[static_cast<size_t>(c)], cell);
    }
    if (old) {
        clear_arrstash_of(old);
        // A parameter and the array it stands for stay one array, as after
        // a whole-array assignment: removing either would leave the other
        // naming freed cells, and the call's end would release an alias twice.
        if (storage_shared(old))
            take_storage(old, a);
        else
            remove_array(old);
    }
}

// "?" "[" name [block] "]" (token at the name): every cell of the array or
// block is asked for, column by column and row by row within a column,
// until "@" is typed; or, after ":" "char", a string of characters.
void whole_arrinsert(FILE** source, name** pending, InputState& state) {
    if (token_is(&token, "<")) {
        error(176, token.name);
        return;
    }
    tokenrec target = token;
    if (!is_lower(target.name[0])) {
        error(24, token.name);
        return;
    }
    scanner(source, &token, pending);
    array* a = nullptr;
    fastestlookup(&target, &a);
    array_block b{-1, 0, 0, 0, 0, 0};
    if (token_is(&token, "[")) {
        if (!a) {
            error(28, target.name);
            return;
        }
        subarray(source, pending, a, &b);
    }
    if (!token_is(&token, "]")) {
        error(24, token.name);
        return;
    }
    scanner(source, &token, pending);
    if (!input_end()) {
        error(107, token.name);
        return;
    }
    if (!a) {
        error(28, target.name);
        return;
    }
    if (a->sparse) {
        error(242, target.name);
        return;
    }
    if (token_is(&token, ":")) {
        scanner(source, &token, pending);
        if (!token_is(&token, "char")) {
            error(334, token.name);
            return;
        }
        scanner(source, &token, pending);
        state.arm();
        char_answer(target);
        return;
    }
    state.arm();
    if (b.first < 0) b = array_block{a->first, a->rows, array_columns(a), addresser, addresser, a->rows};
    const int two = array_columns(a) > 1 ? 1 : 0;
    for (int32_t c = 0; c < b.columns; c++)
        for (int32_t r = 0; r < b.rows; r++) {
            const int32_t i = b.first_row + r, j = b.first_col + c;
            quoly** cell = nullptr;
            array_quoly_ptr(a, i, j, two, &cell, target.name, 0);
            if (arrinsert(target, cell, i, j, a, nullptr, two) != answer::given) return;
        }
}

}  // namespace

void input_statement(FILE** source, quoly** value, name** pending) {
    tokenrec target;
    scanner(source, &target, pending);
    scanner(source, &token, pending);
    InputState state;
    quoly_set(0, value);

    if (token_is(&target, "[")) {
        whole_arrinsert(source, pending, state);
    } else if (token_is(&token, "[")) {
        scanner(source, &token, pending);
        int32_t i = 0, j = 0;
        int two = 0;
        evalcoords(source, &i, &j, pending, ']', ',', &two, 0);
        scanner(source, &token, pending);
        state.arm();
        array* a = nullptr;
        fastestlookup(&target, &a);
        if (!a) {
            error(28, target.name);
            return;
        }
        if (a->sparse) {
            error(242, token.name);
            return;
        }
        quoly** cell = nullptr;
        array_quoly_ptr(a, i, j, two, &cell, target.name, 0);
        arrinsert(target, cell, i, j, a, value, two);
    } else if (!is_lower(target.name[0])) {
        error(3, target.name);
        return;
    } else {
        state.arm();
        read_scalar(target, value);
    }
    // Inside a body the answer is stored, not handed on as the value.
    if (*pending) quoly_set(0, value);
}
