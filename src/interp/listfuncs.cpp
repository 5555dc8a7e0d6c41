// The function listing command (&f, &F) and the functions section of a
// save: every definition in full after "*", the header lines of all of
// them after ";", one named function (or the temporary body of a construct
// typed outside a function) after "<" or ",".
//
// Listings of many functions are sorted by name, the records of one name
// in their chain order, newest first (in a save oldest first, so that
// reading it back leaves the same one newest); beyond SORTP_ENTRIES
// functions they come in bucket order.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "interp/functions.h"
#include "interp/scanner.h"
#include "interp/token.h"
#include "storage/equality.h"
#include "toplevel/errors.h"

namespace {

const char* const END_TOKEN = "\xC2\xA5";
const char* const SYS_FUNC_TOKEN = "\xE2\x82\xAC";

// The newest function of that name, or null.
func* lookup(const char* fname) {
    const int32_t bucket = hash(fname, FUNC_BUCKETS);
    for (func* f = func_store[bucket]; f; f = f->next)
        if (std::strcmp(f->name, fname) == 0) return f;
    return nullptr;
}

// Every function in listing order: sorted by name, or in bucket and chain
// order when there are more than a sort entry table holds. Records of one
// name come newest first, or oldest first for a save.
std::vector<func*> in_listing_order(bool oldest_first) {
    std::vector<func*> all;
    for (func* f : func_store) append_chain(&all, f, &func::next, oldest_first);
    if (all.size() > static_cast<size_t>(SORTP_ENTRIES)) return all;

    std::vector<sort_entry> table(all.size());
    for (size_t i = 0; i < all.size(); i++) set_listing_entry(&table[i], all[i]->name, static_cast<int32_t>(i));
    sort_listing(table.data(), static_cast<int32_t>(table.size()));
    std::vector<func*> sorted;
    sorted.reserve(all.size());
    for (const sort_entry& e : table) sorted.push_back(all[static_cast<size_t>(e.item)]);
    return sorted;
}

void write_all(FILE** out, int mode, bool full) {
    for (func* f : in_listing_order(mode == 0)) {
        listing_frame frame{out, f, 0, mode};
        if (!full) {
            simple_write_p(&frame);
            continue;
        }
        big_write_p(&frame);
        // A save reads its definitions back: each ends with a statement end,
        // in bucket order as well as sorted.
        if (mode == 0) std::fputs(";\n", *out);
    }
}

// "<" or ",": the function named next, or the temporary body. False when
// the current token is to stay as it is.
bool list_one(FILE** out, FILE** source, int mode, name** pending) {
    scanner(source, &token, pending);
    if (token_is(&token, SYS_FUNC_TOKEN)) {
        if (!sys_func) {
            error(222, token.name);
            return false;
        }
        std::fputc('\n', *out);
        listform(out, mode, sys_func, 3);
        std::fputc('\n', *out);
        return false;
    }
    func* f = lookup(token.name);
    if (!f) {
        std::fprintf(*out, "%s has not been defined.\n", token.name);
        return true;
    }
    listing_frame frame{out, f, 0, mode};
    big_write_p(&frame);
    return true;
}

}  // namespace

void listfuncs(FILE* out, FILE** source, int terminal, tokenrec* first, name** pending) {
    FILE* stream = out;
    if (token_is(first, "*")) {
        write_all(&stream, terminal, true);
    } else if (token_is(first, ";") || token_is(first, END_TOKEN)) {
        write_all(&stream, terminal, false);
    } else if (token_is(first, "<") || token_is(first, ",")) {
        if (!list_one(&stream, source, terminal, pending)) return;
    } else {
        std::fprintf(out, "%s is not a legal function name.\n", first->name);
        if (first != &token) token = *first;
        while (!token_is(&token, ";") && !token_is(&token, END_TOKEN)) scanner(source, &token, pending);
    }
    // Ends the statement without a display.
    set_token(&token, "@");
}
