// Whole dense arrays read as texts and as cut-offs.
#include "interp/char_arrays.h"

#include <cstdint>

#include "interp/scanner.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/records.h"
#include "toplevel/errors.h"

namespace {

// Cut-offs of products below this are no cut-offs: the first cell then
// sets the default.
constexpr int32_t SMALLEST_CUTOFF = 6;
constexpr int32_t DEFAULT_CUTOFF = 40;

[[noreturn]] void refuse(int code, const char* text) {
    error(code, text);
    abandon_statement(code);
}

// "[" name "]" with `token` at "["; the token after "]" is read. Only a
// whole dense array will do.
array* whole_dense_operand(FILE** source, name** pending) {
    scanner(source, &token, pending);
    if (token_is(&token, "<")) refuse(176, token.name);
    // No element of the array of arrays is ever set.
    if (token_is(&token, "%")) refuse(220, token.name);
    if (token.name[0] < 'a' || token.name[0] > 'z') refuse(42, token.name);
    if (its_a_polyname(token.name)) refuse(125, token.name);
    const tokenrec array_name = token;
    array* a = find_array(&array_name);
    scanner(source, &token, pending);
    if (token_is(&token, "[")) refuse(a ? 258 : 55, array_name.name);
    if (!a) refuse(28, array_name.name);
    if (!token_is(&token, "]")) refuse(24, token.name);
    if (a->sparse) refuse(259, array_name.name);
    scanner(source, &token, pending);
    return a;
}

// The character code a cell holds: its machine word, or its most
// significant digit.
int32_t cell_code(const quoly* q, const array* a) {
    if (!q->isnum) refuse(260, a->name);
    const imag* n = q->nnum;
    if (lintmode || n->count == 0 || !n->head) return n->value;
    return n->head->digit;
}

void empty_warning(const array* a) { std::printf("*** Warning. array [%s] is empty.\n", a->name); }

}  // namespace

void get_from_array(FILE** source, name** pending, std::string* text) {
    text->clear();
    array* a = whole_dense_operand(source, pending);
    for (int32_t c = a->first; c <= a->last && text->size() < MAX_ARRAY_TEXT; c++) {
        const quoly* q = *cell_at(c);
        if (!q) continue;
        const char ch = static_cast<char>(cell_code(q, a) & 0xFF);
        if (ch != ' ') text->push_back(ch);
    }
    if (text->empty()) empty_warning(a);
}

void get_cut_from_array(FILE** source, name** pending) {
    array* a = whole_dense_operand(source, pending);
    bool any = false;
    pt* v = polynames;
    for (int32_t c = a->first, k = 0; c <= a->last && v && k < number_polys; c++, k++) {
        const quoly* q = *cell_at(c);
        if (!q) continue;
        const int32_t cut = cell_code(q, a);
        if (cut >= SMALLEST_CUTOFF) v->cutoff = cut;
        if (c == a->first) poly_cutoff = cut >= SMALLEST_CUTOFF ? cut : DEFAULT_CUTOFF;
        any = true;
        v = v->next;
    }
    if (!any) empty_warning(a);
}
