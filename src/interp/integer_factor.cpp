// The integer evaluator's factor reader, ifact: a dispatcher on the current
// token between compiled variables, scalars, constants, the prefix forms
// ( - _ | ), GCD, calls (user functions, and of the built-ins the random
// numbers, binomials, sums and products), embedded statements and the previous result,
// then one postfix "^" or "!".
//
// Array elements are read through the array table; an element of a sparse
// array is no place of its own (an absent one has no cell): assignments
// write it through the sparse store.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/builtin_func.h"
#include "builtins/binomials.h"
#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "interp/inline_builtins.h"
#include "interp/integer_eval.h"
#include "interp/integer_eval_impl.h"
#include "interp/numconst.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/stack_depth.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/random.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An element id "[" ... "]" (token at "["): a dense cell is the place
// itself; a sparse element is written through the sparse store.
void ielement(const tokenrec& id, iplace* place, int32_t* result, name** pending, compiled_array* bound = nullptr) {
    tokenrec nm = id;
    element_ref e{};
    quoly** cell = element_reference(&Input, &nm, pending, &e, bound);
    const bool assigned = token_is(&token, ":");
    if (e.arr->sparse) {
        place->sparse_element = 1;
        place->element = e;
        if (cell && !assigned) *result = istored_value(*cell, id.name);
        return;
    }
    place->slot = cell;
    place->dense_element = 1;
    if (!assigned) *result = istored_value(*cell, id.name);
}

// '%' "[" k "]" "[" subscripts "]", read only.
void iarr_arr(int32_t* result, name** pending) {
    quoly** ref = nullptr;
    SlotHold v;
    colm** list = nullptr;
    int32_t second = 0;
    arr_arr_element(&Input, &ref, &v.q, &list, &second, pending, 0);
    *result = ref && *ref ? istored_value(*ref, "%") : 0;
}

// A scalar name, the name's token already read past.
// rec is the name's stored token, or null.
void iscalar(const tokenrec& id, name* rec, iplace* place, int32_t* result, name** pending) {
    if (number_polys > 0 && its_a_polyname(id.name)) {
        error(227, id.name);   // a polynomial variable is no number
        return;
    }
    quoly** ref = nullptr;
    SlotHold own;
    var* found = find_var_remembered(&id, rec);
    if (found && !array_parameter(found->value))
        ref = &found->value;
    else
        retrieve(&id, &ref, &own.q, &Input, pending);
    if (ref == &own.q) {
        // An array parameter read as a scalar, or a refused keyword: its
        // stand-in value, not a variable.
        *result = iword_of(own.q, id.name);
        return;
    }
    if (ref) {
        place->slot = ref;
        // An assignment target is written, not read: whatever it holds now
        // does not matter to ":=", and ":+" reads it itself.
        if (!token_is(&token, ":")) *result = istored_value(*ref, id.name);
        return;
    }
    if (token_is(&token, ":")) {
        place->novalue = 1;
        place->newname = id;
        return;
    }
    error(19, id.name);   // a nested level goes on with 0
}

// A decimal constant: the residue in modular arithmetic, else the exact
// integer. The digits are folded in 64 bits as they come, so no constant
// wraps on the way in and none needs a number record; one of a digit or
// more (2^28 and above) is refused with error 32 after all its tokens.
// Before "!" a modular constant is the count typed, not its residue (n! is 0
// for n at least the modulus), as in the exact evaluator.
int32_t iconstant(name** pending) {
    int64_t v = 0;
    int64_t count = 0;   // the digits as typed, held at INT32_MAX once past it
    bool too_big = false;
    // In a field of characteristic 2 a constant is read by its decimal
    // limbs, as everywhere else, not by its low bits.
    std::string field_digits;
    while (is_digit(token.name[0])) {
        const int d = token.name[0] - '0';
        count = std::min<int64_t>(count * 10 + d, INT32_MAX);
        if (modularmode && finf) {
            field_digits += token.name[0];
        } else if (modularmode)
            v = (v * 10 + d) % modulus;
        else if (!too_big) {
            v = v * 10 + d;
            too_big = v > DIGIT_MASK;
        }
        inext(pending);
    }
    if (too_big) {
        error(32, token.name);
        abandon_statement(32);
    }
    if (modularmode && !finf && token_is(&token, "!")) return static_cast<int32_t>(count);
    if (!field_digits.empty()) {
        // Limbs of eight digits from the right, the first one short.
        std::vector<uint32_t> limbs;
        size_t len = field_digits.size() % 8;
        if (len == 0) len = 8;
        for (size_t at = 0; at < field_digits.size(); at += len, len = 8)
            limbs.push_back(static_cast<uint32_t>(std::stoul(field_digits.substr(at, len))));
        return field_from_limbs(limbs.data(), limbs.size());
    }
    return static_cast<int32_t>(v);
}

// `token` must be `want`; then the next token. 0 when the error returned.
bool iexpect(const char* want, int code, name** pending) {
    if (!token_is(&token, want)) {
        error(code, token.name);
        return false;
    }
    inext(pending);
    return true;
}

// GCD "(" a "," b ")", token at "GCD".
int32_t igcd(name** pending) {
    // The first argument is held while the second is read.
    ReadingValue reading;
    inext(pending);
    if (!iexpect("(", 177, pending)) return 0;
    iplace p;
    int32_t a = 0, b = 0;
    ifact(&p, &a, pending);
    if (!iexpect(",", 202, pending)) return 0;
    ifact(&p, &b, pending);
    if (!iexpect(")", 1, pending)) return 0;
    return smallgcd(a < 0 ? -a : a, b < 0 ? -b : b);
}

// "Prod" or "Sigma" in a stored body: the header and body follow in the
// chain, and the loop routine reads them, leaving the body's closer.
int32_t isum_or_product(const char* code, name** pending) {
    inext(pending);
    if (!token_is(&token, "<")) {
        error(144, token.name);
        return 0;
    }
    int32_t r = 0;
    char closer = ')';
    SlotHold unused;
    sum_mult_up(code, &Input, &unused.q, pending, 0, &r, &closer);
    if (token.name[0] != closer) {
        error(274, token.name);
        return modularmode ? r : ibound(r);
    }
    inext(pending);
    return modularmode ? r : ibound(r);
}

// "Rand" (code *70) and "RRand" (*68, the process clock mixed in).
int32_t irandom(bool with_clock, name** pending) {
    inext(pending);
    int64_t r = rand_integer2() % DIGIT_BASE;
    if (with_clock)
        r = static_cast<int64_t>(static_cast<uint64_t>(r) * static_cast<uint64_t>(raw_clock()) & DIGIT_MASK);
    return modularmode ? ireduce(r) : static_cast<int32_t>(r);
}

// "Binom" "(" n "," k ")", token at the name: n and k read with modular
// arithmetic off; 0 unless 0 <= k <= n.
int32_t ibinom(name** pending) {
    inext(pending);
    if (!iexpect("(", 177, pending)) return 0;
    int32_t n = 0, k = 0;
    {
        ModularOffGuard off;
        old_iexpre(&n, pending);
    }
    if (!iexpect(",", 202, pending)) return 0;
    {
        ModularOffGuard off;
        old_iexpre(&k, pending);
    }
    if (!iexpect(")", 1, pending)) return 0;
    if (k < 0 || k > n) return 0;
    int32_t r = 0;
    if (modularmode)
        imod_binom(n, k, &r);
    else
        ilint_binom(n, k, &r);
    return r;
}

// An upper-case name: a user function or a built-in.
int32_t icall(name** pending) {
    const int b = find_built_in(0, numbuiltins, token.name);
    if (b >= 0) {
        // A built-in holds the arguments it has read, and a sum its
        // running total, while the rest is evaluated.
        ReadingValue reading;
        const char* code = builtin[b].word;
        if (!std::strcmp(code, "*66") || !std::strcmp(code, "*82")) return isum_or_product(code, pending);
        if (!std::strcmp(code, "*70") || !std::strcmp(code, "*68")) return irandom(code[2] == '8', pending);
        if (!std::strcmp(code, "*1")) return ibinom(pending);
        // Every other built-in runs as in the exact evaluator; its value
        // must be a plain number.
        SlotHold v;
        tokenrec bname = token;
        if (!inline_builtin(code, &Input, &v.q, pending)) builtin_func(&Input, &v.q, pending, b);
        return iword_of(v.q, bname.name);
    }
    tokenrec fname = token;
    SlotHold v;
    evaluate(&Input, &fname, &v.q, pending);
    return iword_of(v.q, fname.name);
}

// The factor itself, without a postfix.
void iprimary(iplace* place, int32_t* result, name** pending) {
    name* rec = *pending;   // the current token's record
    // A parameter compiled as a scalar that stands for an array in this
    // call is looked up by name like any element.
    const bool array_param = rec && rec->resolved && rec->binding && rec->bind_kind == 1 &&
                             array_parameter(*static_cast<quoly**>(rec->binding));
    if (rec && rec->resolved && rec->binding && !array_param) {
        if (rec->bind_kind == 1) {
            place->slot = static_cast<quoly**>(rec->binding);
            inext(pending);
            if (!token_is(&token, ":")) *result = istored_value(*place->slot, rec->token);
        } else {
            tokenrec id;
            set_token(&id, rec->token);
            inext(pending);
            ielement(id, place, result, pending, static_cast<compiled_array*>(rec->binding));
        }
        return;
    }
    const char c = token.name[0];
    if (is_lower(c)) {
        tokenrec id = token;
        inext(pending);
        if (token_is(&token, "[") && !token_is(&id, "if") && !token_is(&id, "while"))
            ielement(id, place, result, pending);
        else
            iscalar(id, rec, place, result, pending);
        return;
    }
    if (is_digit(c)) {
        *result = iconstant(pending);
        return;
    }
    if (token_is(&token, "GCD")) {
        *result = igcd(pending);
        return;
    }
    if (is_upper(c)) {
        *result = icall(pending);
        return;
    }
    if (token.name[1] != 0) {
        error(226, token.name);
        return;
    }
    iplace p;
    int32_t v = 0;
    switch (c) {
    case '(':
        inext(pending);
        old_iexpre(result, pending);
        iexpect(")", 1, pending);
        return;
    case '-':
        inext(pending);
        ifact(&p, &v, pending);
        if (p.novalue) {
            error(68, token.name);
            v = 0;
        }
        *result = ineg(v);
        return;
    case '_': {
        inext(pending);
        {
            ModularOffGuard off;
            ifact(place, &v, pending);
        }
        // Used in modular arithmetic the integer must be a residue again.
        *result = modularmode ? ireduce(v) : v;
        return;
    }
    case '|':
        inext(pending);
        ifact(&p, &v, pending);
        *result = v < 0 ? -v : v;
        iexpect("|", 63, pending);
        return;
    case '!':
    case '&':
    case '?':
    case '@': {
        // A statement inside the expression, as in the exact evaluator.
        SlotHold q;
        {
            ReadingValue reading;
            parse(&Input, &q.q, pending);
        }
        *result = iword_of(q.q, "@");
        return;
    }
    case '<':
        inext(pending);
        if (token_is(&token, "[")) {
            SlotHold q;
            system_element(&Input, &q.q, pending);
            *result = iword_of(q.q, "<");
        } else
            *result = iword_of(prevnum, "<");
        return;
    case '%':
        iarr_arr(result, pending);
        return;
    default:
        error(226, token.name);
        return;
    }
}

}  // namespace

void ifact(iplace* place, int32_t* result, name** pending) {
    place->slot = nullptr;
    place->novalue = 0;
    place->sparse_element = 0;
    place->dense_element = 0;
    *result = 0;
    int32_t v = 0;
    if (nesting_refused(token.name)) return;
    iprimary(place, &v, pending);
    if (token_is(&token, "^")) {
        iplace p;
        int32_t e = 0;
        {
            ModularOffGuard off;
            inext(pending);
            ifact(&p, &e, pending);
        }
        if (p.novalue) {
            error(68, token.name);
            e = 1;
        }
        v = ipower(v, e);
        place->slot = nullptr;
        place->sparse_element = 0;
        place->dense_element = 0;
    } else if (token_is(&token, "!")) {
        inext(pending);
        v = ifactorial(v);
        place->slot = nullptr;
        place->sparse_element = 0;
        place->dense_element = 0;
    }
    *result = v;
}
