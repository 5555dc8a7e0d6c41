// What the for header, the sums and the products share about loop
// variables: the limit of their values and how a value is stored in one.
#pragma once
#include <cstdint>

#include "interp/token.h"
#include "storage/records.h"

struct var;

// Gives a list of loop values (the sparse-row form of a for header) back
// to the digit-node free list on every exit.
struct ValueListHold {
    numnode* list;
    ~ValueListHold() {
        if (!list) return;
        numnode* tail = list;
        while (tail->next) tail = tail->next;
        give_back_chain(list, tail);
    }
};

// A loop or sum variable holds one digit: at most 2^28 - 1 in magnitude.
constexpr int32_t LOOP_LIMIT = (1 << 28) - 1;

// Creates id or sets its newest binding to v; the record is looked up each
// time, so a body that deleted or reassigned the variable cannot leave a
// stale record behind. The variable holds the integer v itself, also in
// modular arithmetic, so that a subscript or an exponent read exactly sees
// v; as a value of the ring it is read through index_in_ring.
var* set_loop_variable(const tokenrec* id, int32_t v);

// A loop index past the modulus (a machine word outside 0 .. modulus - 1,
// which no residue is) read as a value of a modular ring: *value := the
// element the integer stands for, as the literal would be read, and true.
// False for every other value, and outside modular arithmetic.
bool index_in_ring(const quoly* stored, quoly** value);
// The same for a word: the element it stands for, any residue unchanged.
int32_t index_word_in_ring(int32_t w);
// A loop index at least the modulus, before "!": the factorial's argument
// is a count, the integer itself, as in a typed k! (0 for k at least the
// modulus). A negative index is its element, as a typed (-k)! is.
bool index_counts_itself(const quoly* stored);

// Once its loop is over, an index is the element its integer stands for:
// shown, read as an exponent or subscript, copied and saved alike. The
// newest binding of id is settled (nothing outside modular arithmetic).
void settle_loop_index(const tokenrec* id);
// Settles the index named by the header's first token on every exit of the
// loop, Sigma, Prod or generated array that reads the header, an empty
// range's and an error's included.
struct IndexSettles {
    tokenrec id{};
    IndexSettles() = default;
    explicit IndexSettles(const tokenrec& first_token) : id(first_token) {}
    ~IndexSettles() { settle_loop_index(&id); }
    IndexSettles(const IndexSettles&) = delete;
    IndexSettles& operator=(const IndexSettles&) = delete;
};
