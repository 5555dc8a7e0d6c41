// The read command and the input file. A read runs the file's statements
// through the statement loop's dispatch with tt_flag 0 (a line end is a
// blank), drops the rest of each line after a statement's end, and stops at
// the end of the file, at &x, or when its stream stops being the input file
// (closed by &b in an error report, by &(R = @), or replaced by a read of
// another file). A stream closed while a read uses it stays open until
// that read ends.
#include "toplevel/read_file.h"

#include <cstring>
#include <vector>

#include "gcd/gcdstash.h"
#include "interp/char_arrays.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/term_reader.h"
#include "interp/token.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

FILE* inpuf = nullptr;
int done_load = 0;

namespace {

constexpr size_t MAX_FILE_NAME = 255;
constexpr int SHOWN_LINES = 3;
constexpr int LINE_BUFFER = 255;

// A read in progress: its stream, and whether that stream was closed
// meanwhile (it is closed when the read ends).
struct ActiveRead {
    FILE* stream;
    std::string file;
    bool closed = false;
};

std::vector<ActiveRead*> reads;

ActiveRead* reader_of(FILE* f) {
    for (ActiveRead* r : reads)
        if (r->stream == f) return r;
    return nullptr;
}

// Registers a read for its lifetime, an unwinding error included.
struct Reading {
    ActiveRead read;
    Reading(FILE* f, const char* file) : read{f, file} { reads.push_back(&read); }
    ~Reading() {
        reads.pop_back();
        if (read.closed && !reader_of(read.stream)) std::fclose(read.stream);
    }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;
};

bool is_terminator(const tokenrec& t) {
    return token_is(&t, ";") || token_is(&t, "\xC2\xA5") || token_is(&t, "@") || token_is(&t, ":");
}

bool at_end(FILE* f) {
    int c = std::getc(f);
    if (c == EOF) return true;
    std::ungetc(c, f);
    return false;
}

// What follows a statement's end on its line, the line end included.
void skip_rest_of_line(FILE* f) {
    int c;
    while ((c = read_input_char(f)) != EOF && c != '\n') {}
}

void close_message(bool direct) {
    if (!inpuf && !input_file_name[0]) {
        if (direct) std::printf(" *** Warning. No input file had been open.\n");
        return;
    }
    std::string file = input_file_name;
    close_input_file();
    if (direct) std::printf(" Now closing %s.\n", file.c_str());
}

// The statements of the open input file, from its current position.
void read_statements(quoly** value) {
    FILE* stream = inpuf;
    Reading reading(stream, input_file_name);
    // A read inside &_m( leaves its ")" to the statement that opened it.
    ClosingParenthesis none(nullptr);
    while (inpuf == stream && !done_load && !std::feof(stream)) {
        scanner(&stream, &token, &zilch);
        if (std::feof(stream) && token_is(&token, ";")) {
            leftover = 0;
            break;
        }
        free_quoly(value);
        reset_statement_state();
        uninit = 0;
        dispatch_statement(&stream, value, &zilch);
        zilch = nullptr;
        if (!*value) quoly_set(0, value);
        if (!is_terminator(token)) error(129, token.name);
        if (lookupgcd <= 0 && gcdmass >= 1) sure_free_gcd_stash();
        skip_rest_of_line(stream);
        leftover = 0;
    }
}

// The input file a read replaces, to be put back when the read belongs to
// a statement abandoned by a refused change of the ring: that statement
// changes nothing, and a read that was never made leaves no file open.
struct InputBefore {
    std::string file = input_file_name;
    long at = inpuf ? std::ftell(inpuf) : -1;
    int done = done_load;

    void put_back() const {
        close_input_file();
        if (file.empty()) return;
        inpuf = std::fopen(file.c_str(), "r");
        if (!inpuf) return;
        if (at >= 0) std::fseek(inpuf, at, SEEK_SET);
        std::snprintf(input_file_name, sizeof input_file_name, "%s", file.c_str());
        done_load = done;
    }
};

}  // namespace

std::string ask_file_name() {
    struct LineMode {
        int saved = tt_flag;
        LineMode() { tt_flag = 1; }
        ~LineMode() { tt_flag = saved; }
    } line_mode;
    tokenrec t;
    scanner(&Input, &t, &zilch);
    std::string text;
    if (token_is(&t, "'")) {
        int newline = 0;
        for (;;) {
            dumbscanner(&Input, &t, &zilch, &newline);
            if (token_is(&t, "'")) break;
            if (text.size() + std::strlen(t.name) > MAX_FILE_NAME) {
                std::printf("*** Warning. Name is too long.\n");
                while (!token_is(&t, "'")) dumbscanner(&Input, &t, &zilch, &newline);
                break;
            }
            text += t.name;
        }
    } else if (token_is(&t, "[")) {
        token = t;
        get_from_array(&Input, &zilch, &text);
    } else {
        text = t.name;
        if (!token_is(&t, "@")) std::printf("\n");
    }
    leftover = 0;
    return text;
}

bool input_file_in_use(const char* file) {
    for (ActiveRead* r : reads)
        if (!r->closed && r->file == file) return true;
    return false;
}

void close_input_file() {
    if (inpuf) {
        if (ActiveRead* r = reader_of(inpuf))
            r->closed = true;
        else
            std::fclose(inpuf);
    }
    inpuf = nullptr;
    input_file_name[0] = 0;
}

void report_input_position() {
    if (tt_flag || !inpuf) return;
    std::printf("*** Stopped right before this:\n");
    // The lines are shown, not taken: a read that goes on after a nested
    // level starts with the statement that follows the failing one.
    const long at = std::ftell(inpuf);
    if (at >= 0) {
        char line[LINE_BUFFER + 1];
        for (int i = 0; i < SHOWN_LINES && std::fgets(line, sizeof line, inpuf); i++) {
            size_t n = std::strlen(line);
            while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
            std::printf("%s\n", line);
        }
        std::fseek(inpuf, at, SEEK_SET);
    }
    if (close_inpuf) {
        std::string file = input_file_name;
        close_input_file();
        std::printf("\n*** Closing file %s\n", file.c_str());
    }
}

void load(FILE** source, quoly** value, name** pending, const char* given, int letter, int* loader) {
    const bool direct = *pending == nullptr;
    const int saved_integer = integerflag;
    integerflag = 0;
    minus_warning = 1;
    *loader = 0;
    if (!*value) quoly_set(0, value);
    auto give_up = [&] {
        integerflag = saved_integer;
        minus_warning = 0;
    };

    tokenrec statement_end = token;
    bool asked = false;
    // Inside a read every change of the ring is refused, and the refusal
    // abandons the statement around this read.
    const bool inside_read = values_being_read > 0;
    const int refused = ring_changes_refused;
    const InputBefore before;
    if (inpuf && letter != 'R') {
        // Resuming the file that is being read would read it for ever.
        if (reader_of(inpuf) && !reader_of(inpuf)->closed) {
            give_up();
            error(149, token.name);
            return;
        }
        if (!done_load) std::rewind(inpuf);
    } else {
        std::string file = given;
        if (file == " ") {
            scanner(source, &statement_end, pending);
            asked = true;
            *loader = 1;
            std::printf("Enter name of input file: \n");
            do_prompts();
            file = ask_file_name();
            if (file == "@") {
                std::printf("*** Read cancelled\n");
                set_token(&token, ";");
                leftover = 0;
                give_up();
                return;
            }
        }
        if (file.empty() || file == output_file_name || input_file_in_use(file.c_str())) {
            give_up();
            error(file.empty() ? 248 : 149, token.name);
            return;
        }
        if (file == "@") {
            close_message(direct);
            give_up();
            if (asked) token = statement_end;
            return;
        }
        close_input_file();
        inpuf = std::fopen(file.c_str(), "r");
        if (!inpuf) {
            std::printf(" *** Warning. %s: no such file. Read cancelled.\n", file.c_str());
            input_file_name[0] = 0;
            set_token(&token, ";");
            leftover = 0;
            give_up();
            error(374, token.name);
            return;
        }
        std::snprintf(input_file_name, sizeof input_file_name, "%s", file.c_str());
        done_load = 0;
        std::rewind(inpuf);
    }

    done_load = 0;
    const int saved_tt = tt_flag;
    tt_flag = 0;
    const char saved_leftover = leftover;
    leftover = 0;
    new_funcs = 0;
    if (at_end(inpuf)) std::printf("*** Warning.  End of file %s encountered.\n", input_file_name);
    try {
        read_statements(value);
    } catch (const TarvexUnwind&) {
        if (inside_read && ring_changes_refused != refused) before.put_back();
        throw;
    }

    if (!*value) quoly_set(0, value);
    tt_flag = saved_tt;
    integerflag = saved_integer;
    minus_warning = 0;
    if (asked)
        token = statement_end;
    else if (direct)
        leftover = saved_leftover;
}
