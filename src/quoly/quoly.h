// Quoly arithmetic: sums, differences, products, quotients, powers,
// remainders and reciprocals of the interpreter's values, each ending in
// the normal form below.
//
// Normal form of a quoly (every routine here leaves its result so):
//   - a constant is a plain number (isnum 1); zero is the plain number 0;
//   - otherwise the numerator is a polynomial and the denominator a
//     polynomial or null (= 1), never the constant 1 or 0;
//   - a rational number (rat 1) is a lone number node over a lone number
//     node, coprime, the denominator at least 2; rationals exist only
//     outside machine-integer mode (of which modular mode is a part), where
//     a number denominator is divided into the numerator instead;
//   - outside machine-integer mode the sign sits in the numerator.
//
// Every ground ring is handled: big integers (rationals, with the integer
// content of numerator and denominator cancelled), machine integers and
// residues (the denominator made monic where the modular normal form asks it).
// Over extension-field levels (field_depth > 0) no denominator is a field
// element: it is inverted into the numerator (quoly/field_convert.h).
//
// Operation shapes, named beside each routine:
//   non-destructive  a and b unchanged; the result is built in a new record,
//                    then the old *r is freed and replaced, so r may be the
//                    slot of a or b;
//   consumes b       in place in *a; b's records are reused or returned to
//                    the free lists; a and b must be different records;
//   consumes a       a's record becomes the result (or is freed when the
//                    result needs a new one), b is kept; *r is cleared when
//                    it is a, otherwise freed first, so r must not be b's slot;
//   keeps b          in place in *a, b unchanged at return.
// Division by 0 is error 22 with the token "/" (the result becomes 1 when
// the error returns at a nested command level, an integer quotient too, and
// a remainder by 0 becomes 0); a residue without an inverse is error 85 with
// "/"; a zero denominator is error 210. Errors 85 and 210 end the statement
// even when they return.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "storage/records.h"

// ---- cancellation ----
// u_out := u / g and v_out := v / g (copy-then-free: u_out may be &u, v_out
// &v). g must divide both; when it does not, the gcd was wrong: the
// shortcuts are switched off (warnings 1 to 6 with verbose), g is replaced
// by a recomputed gcd and the division repeated. exact_u / exact_v: divide
// without trial (Laurent exponents shifted away); opt_u / opt_v: u / v get
// their shifted exponents back. g stays the caller's to free.
void reduce(polynode** u, polynode** v, polynode** g, polynode** u_out, polynode** v_out, int exact_u,
            int exact_v, int opt_u, int opt_v);

// ---- normal form ----
// In place. q must have a denominator. Sign to the numerator, a denominator
// 1 dropped, rat set for a number over a number; flag: Laurent exponents.
void normal_form(quoly* q, int flag);
// In place, machine-integer mode: a number denominator is divided into the
// numerator (error 284 without a modulus). q must have a denominator.
void lint_normal_form(quoly* q, int flag);
// In place: cancels the common factor of numerator and denominator, then
// normal_form. *q must have a denominator.
void check_quoly(quoly** q, int flag);
// In place, machine-integer mode: as check_quoly.
void lint_check_quoly(quoly** q, int flag);
// In place: *q := 1 / *q. 0 is error 22 (current token), 0 modulo the
// modulus error 85.
void quoly_reciprocal(quoly** q);
// In place, machine-integer mode: *q := 1 / *q (error 85 for a residue
// without inverse, error 22 for machine integer 0).
void lint_quoly_recip(quoly** q);
// free-first. *q := the plain number whose value word is value (machine-integer mode).
void quoly_set_lint(int32_t value, quoly** q);
// in place. Makes *den's leading chain end in a number with no integer
// content, or monic in the field when the chain meets a field level first;
// *factor := the field multiplier applied to *den (never-free), else null.
void rat_monic_poly(polynode** den, polynode** factor, struct pt* varrec);

// ---- addition and subtraction ----
// non-destructive: *r := a + b. Two plain numbers into a plain-number *r
// are computed into *r's own number.
void quoly_add(quoly* a, quoly* b, quoly** r);
// non-destructive: *r := a - b; a and b the same record gives 0.
void quoly_sub(quoly* a, quoly* b, quoly** r);
// consumes b: *a := *a + b.
void best_quoly_add(quoly** a, quoly* b);
// consumes b: *a := *a - b.
void best_quoly_sub(quoly** a, quoly* b);
// consumes a, keeps b: *r := a + b (usually r is a's slot).
void better_quoly_add(quoly* a, quoly* b, quoly** r);
// consumes a, keeps b: *r := a - b.
void better_quoly_sub(quoly* a, quoly* b, quoly** r);
// *r := a + b (flag 1) or a - b (flag 0) for two rationals, written into
// *r's record (r may be a's slot); an integer result makes it a plain number.
void add_rats(quoly* a, quoly* b, quoly** r, int flag);

// ---- multiplication and division ----
// non-destructive: *r := a * b. Two plain numbers into a plain-number *r
// are computed into *r's own number.
void quoly_mult(quoly* a, quoly* b, quoly** r);
// keeps b: *a := *a * *b (a and b may be the same slot).
void fast_quoly_mult(quoly** a, quoly** b);
// non-destructive: *r := a / b; flag (two "/" tokens) skips the
// cancellation of the numerators. a and b the same record gives 1. Two
// plain numbers are computed into a plain-number *r only in
// machine-integer mode.
void quoly_quot(quoly* a, quoly* b, quoly** r, int flag);
// keeps b: *a := *a / *b.
void fast_quoly_quot(quoly** a, quoly** b, int flag);
// non-destructive: *r := a * b, or null when a or b is null or the product is 0.
void quoly_nils_mult(quoly* a, quoly* b, quoly** r);

// ---- powers and remainders ----
// In place: *q := *q ^ e. In modular mode with a prime modulus and a
// non-zero plain-number base, e is first reduced in place to e mod (p - 1)
// in 0 .. p - 2. Outside machine-integer mode an exponent of two or more
// digits is error 32. A negative exponent takes the reciprocal.
// beyond_word: the exponent's true value did not fit a machine word (e holds
// it modulo p - 1): only a residue base can use it, anything else is error 32.
void raise_to_power(quoly** q, imag* e, bool beyond_word = false);
// In place: *q := *q ^ n for n >= 1 (n < 1 is the fatal internal error
// "negative exponent").
void quoly_compute_power(quoly** q, int32_t n);
// In place, machine-integer mode: as quoly_compute_power.
void lint_quoly_compute_power(quoly** q, int32_t n);
// non-destructive: *r := a rem b when op is '|', else a quo b. Only b's
// numerator divides; a's numerator and denominator are reduced separately.
void quoly_mod_or_div(quoly* a, quoly* b, quoly** r, int op);
// Both replaced: *a := *a rem *b and *b := *a quo *b, from the numerators
// (pos_mod rule for the remainder).
void quoly_mod_and_quot(quoly** a, quoly** b);

// ---- shared by the quoly sources; not for other modules ----
namespace quoly_detail {

// What an operand is to the fast paths: a plain number, a rational number
// (never in machine-integer mode), or anything with a polynomial in it.
enum Kind { PLAIN, RATIONAL, POLYNOMIAL };
Kind kind_of(const quoly* q);

// The scanner's current token, reported with errors that name no token of their own.
const char* current_token();

quoly* blank_quoly();                   // isnum 0, rat 0, no numerator or denominator
quoly* plain_quoly(imag* x);            // a plain number quoly that takes x over
inline bool lone_number(const polynode* p) { return p->numb && !p->next; }

polynode* copy_poly(polynode* p);                 // a deep copy (null for null)
polynode* times(polynode* a, polynode* b);        // a * b reduced under polynames; a, b kept
// gcd(*u, *v) through Lpolygcd (the Laurent padding of u, and of v with
// strip_v, taken off around it); a new polynomial, a number when constant.
polynode* gcd_of(polynode** u, polynode** v, int strip_v);
// gcd(u, v) by polygcd itself, after resetting the gcd bookkeeping.
polynode* direct_gcd(polynode* u, polynode* v);
// A lone-number numerator ends the quoly: 0 when zero, else a plain number
// when there is no denominator. Anything else is left.
void settle(quoly** slot);
// dst's record takes over src's value (dst's old parts freed) and src's
// record goes back to the free list: in-place routines keep their first
// operand's record.
void transplant(quoly* dst, quoly* src);
// Under a composite modulus a sum, product or quotient of two normal forms
// need not be one: a factor that is no unit can share a zero divisor with
// the denominator (3 (x + 1) = 3 (x + 5) modulo 12), and the gcd that would
// cancel it may need an inverse the modulus lacks. Such a result (a
// fraction with a polynomial denominator) is made the quotient of its
// parts, as reading its written form makes it: error 85 where that has no
// normal form, so that no value is stored that cannot be written and read.
bool composite_fraction(const quoly* q);
void as_read_back(quoly** slot);
// Under relations whose ring may have zero divisors (one without the field
// flag; a field's relation modulo a prime that splits it) a gcd may be
// proved only in part, and products of coprime parts need not be coprime:
// (x^2 + t)^2 = x^4 + 2t x^2 modulo t^2 shares x^2 with x^2. The normal
// form of a quotient there is the one the quotient of its two parts gets
// when typed: an operation with such a fraction among its operands forms
// the cross-multiplied parts and divides them as that typed quotient.
// as_typed: a op b goes that way, a fraction with a polynomial denominator
// among them under such relations (not modulo a composite number, which
// has its own road above).
bool as_typed(const quoly* a, const quoly* b);
// *dst := num / den as the quotient of two typed polynomials; num and den
// are taken over. Error 210 for a denominator that vanished.
void quotient_as_typed(polynode* num, polynode* den, quoly** dst);
// The product of a part of a and a part of b (den_a/den_b: the
// denominators; b null for 1), negated with `minus`.
struct PartPair {
    const quoly* a;
    bool den_a;
    const quoly* b;
    bool den_b;
    bool minus = false;
};
// *dst := (the sum of the products of num) / (den's product) in the
// copies of split field levels, with the typed quotient's form
// (split_copies_cross_fraction); false, *dst untouched, where that does
// not apply and the parts must be multiplied and divided over the tower.
bool typed_in_copies(const std::vector<PartPair>& num, const PartPair& den, quoly** dst);
// *dst := the same typed quotient: in the copies where they serve, and
// else by `usual`, the caller's quotient of the parts over the tower.
// Over fields of factors not all linear, for small parts, the usual road
// goes first (larger ones take the copies first, as above): where
// its gcd was taken in the copies and they agreed, it cancelled each
// copy's whole gcd and made the denominator monic as each copy does, and
// its form is theirs at the cost of one gcd and no reading back; where
// they disagreed and some copy's gcd is only what they share, the copies
// decline and its form stands. The copies decide the rest.
void typed_quotient(const std::vector<PartPair>& num, const PartPair& den, quoly** dst,
                    const std::function<void(quoly**)>& usual);
// A new polynomial: the product of a's and b's numerators (or, for
// den_a/den_b set, denominators; 1 for none), a plain number's or
// rational's too.
polynode* times_parts(const quoly* a, bool den_a, const quoly* b, bool den_b);

// A quoly being built: freed at scope exit unless released into a slot.
struct QuolyHold {
    quoly* q;
    explicit QuolyHold(quoly* x) : q(x) {}
    ~QuolyHold() { free_quoly(&q); }
    quoly* release() {
        quoly* x = q;
        q = nullptr;
        return x;
    }
    QuolyHold(const QuolyHold&) = delete;
    QuolyHold& operator=(const QuolyHold&) = delete;
};

// Scratch number records, given back at scope exit (an error unwinding
// included) unless a result took one over with keep().
class NumberScratch {
public:
    NumberScratch() = default;
    ~NumberScratch();
    imag* fresh();                      // a new record owning no digits
    imag* keep(imag* x);                // x is no longer scratch; returns x
    NumberScratch(const NumberScratch&) = delete;
    NumberScratch& operator=(const NumberScratch&) = delete;

private:
    static constexpr int CAPACITY = 8;
    imag* held_[CAPACITY] = {};
    int count_ = 0;
};

}  // namespace quoly_detail
