// The short readers that hand back a whole value (never only a reference):
// an expression, a term or a factor read from the current token on, the
// "half" readers that continue an expression whose first operand is already
// in the slot, and the fast in-place increment of a stored number or of the
// constant term of a stored polynomial.
//
// Every reader starts with its first token in `token` and leaves the token
// after what it read there. Value slots: free-first (the old value is freed
// before anything is read), and a value is always left in the slot.
#pragma once
#include <cstdint>
#include <cstdio>

#include "numbers/residue.h"
#include "storage/records.h"
#include "toplevel/set_aside.h"

struct name;

// Readers open around what runs now: a statement met inside an expression,
// or a read that has the ring's modes suspended. A change of the ground
// ring, of the variables or of their relations must then wait, since the
// operands already read and the modes a reader puts back belong to the
// ring before it.
extern int values_being_read;

// The error for such a change.
inline constexpr int RING_CHANGE_INSIDE_READ = 381;

// One such reader open for its lifetime.
struct ReadingValue {
    ReadingValue() { ++values_being_read; }
    ~ReadingValue() { --values_being_read; }
    ReadingValue(const ReadingValue&) = delete;
    ReadingValue& operator=(const ReadingValue&) = delete;
};

// The change of the ring or of its variables by a settings statement:
// refused (error) while a value is being read around it, and the statement
// abandoned when the error returns. Called only for a setting that would
// change something: one that leaves the ring as it is goes on.
void refuse_ring_change_inside_read(const char* shown);
// How many such changes were refused so far: however the level the error
// opened is left, the statement around is given up.
extern int ring_changes_refused;

// Whether the token after ":+" or ":-" begins its amount, one factor: a
// name, a number or a bracketed expression. Otherwise the amount is 1.
inline bool starts_update_amount(const char* t) {
    const char c = t[0];
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '(';
}
// Whether the token after an update's amount may end its statement: if not,
// the error update_end_error names (129 typed, 31 stored) comes before the
// target changes, which then stays as it was.
bool update_ends_statement(name** pending);
int update_end_error(name** pending);
// An &_m( or Cast( whose inside is read for its lifetime: its ")" ends the
// statement read inside it. Only there: a ")" after an update elsewhere is
// stray, and the update is refused before it changes anything. Kept with
// the reader and the level it opened at, so that a body, a file or a level
// run meanwhile does not take the ")" as theirs.
class ClosingParenthesis {
public:
    explicit ClosingParenthesis(name** pending);
    ~ClosingParenthesis();
    ClosingParenthesis(const ClosingParenthesis&) = delete;
    ClosingParenthesis& operator=(const ClosingParenthesis&) = delete;

private:
    name** pending_;
    int level_;
    const ClosingParenthesis* outer_;
    friend bool update_ends_statement(name** pending);
};

// Modular arithmetic off for its lifetime (check_modular/restore_modular):
// integers read from the input (exponents, counts, subscripts) are never
// reduced modulo the modulus. A level opened inside the read has it on, and
// it goes off again when the level returns into the read.
struct ModularOffGuard : SetAside {
    int saved;
    ReadingValue reading;
    ModularOffGuard() { check_modular(&saved); }
    ~ModularOffGuard() { restore_modular(saved); }
    void put_back() override { restore_modular(saved); }
    void set_aside_again() override { check_modular(&saved); }
    ModularOffGuard(const ModularOffGuard&) = delete;
    ModularOffGuard& operator=(const ModularOffGuard&) = delete;
};

// Frees a local value slot on every exit, an unwinding error included.
struct SlotHold {
    quoly* q = nullptr;
    SlotHold() = default;
    ~SlotHold() { free_quoly(&q); }
    quoly* release() {
        quoly* x = q;
        q = nullptr;
        return x;
    }
    SlotHold(const SlotHold&) = delete;
    SlotHold& operator=(const SlotHold&) = delete;
};

// Frees a local number record on every exit.
struct NumberHold {
    imag* n = nullptr;
    NumberHold() = default;
    ~NumberHold() {
        if (n) free_imag(&n);
    }
    NumberHold(const NumberHold&) = delete;
    NumberHold& operator=(const NumberHold&) = delete;
};

// ---- whole values ----
// Sums and differences of terms; no assignment form, and "or"/"and" end it.
void old_expre(FILE** source, quoly** value, name** pending);
// Products, quotients, integer quotients and remainders of factors.
void old_term(FILE** source, quoly** value, name** pending);
// One factor with its postfix operators. The star form '*' name moves the
// variable's value into the slot and leaves the variable holding 1.
void old_fact(FILE** source, quoly** value, name** pending);

// ---- continuing an expression ----
// value holds the first operand already; `token` is the token after it.
// In place: the postfix operators '^', '!', '#', '"'.
void half_fact(FILE** source, quoly** value, name** pending);
// In place: further factors of the term ("or" and "and" do not end it).
void half_term(FILE** source, quoly** value, name** pending);
// In place: postfix operators, the rest of the term, further terms.
void half_expre(FILE** source, quoly** value, name** pending);

// ---- fast increment ----
struct increment {
    imag* number;       // the number changed in place
    int32_t* amount;    // the signed amount, one digit (or one machine word)
    int32_t result;     // the new machine word, or the new least significant digit
};
// number += amount in place in the current ground ring. A big integer only
// has its last digit changed: a change that would need a carry is error
// 294, raised before anything is changed.
void add_to_im(increment* inc);
// Adds the amount to the constant term of the polynomial in *numerator in
// place: a constant that becomes 0 is unlinked, a missing one is inserted
// (nothing for 0). result := the new constant, or the amount when inserted.
void do_poly(polynode** numerator, increment* inc);
