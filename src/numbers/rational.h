// Rational numbers, integer powers, the factorial, and the integer quotient
// and remainder operators ("\" and "|") on numbers.
//
// A rational number is a quoly with isnum 0 and rat 1 whose numerator and
// denominator are lone number nodes of exponent 0: the denominator is at
// least 2 and coprime to the numerator, which carries the sign. Rationals
// exist only in big-integer mode, so the rational routines work on digit
// numbers; the others follow the current ground ring.
//
// Rational result slots: the caller passes a record (isnum 0, parts null or
// owned by it). A rational result fills its numerator and denominator nodes
// (reusing lone number nodes already there) and sets rat; an integer result
// makes it a number quoly. Results are computed before anything is written,
// so the destination may be an operand's record unless a routine says
// otherwise. Routines that name quoly_set replace the record instead.
#pragma once
#include <cstdint>

#include "storage/records.h"

extern int pos_mod;              // "|" gives a non-negative remainder (1 at start-up)
extern const char* factsign;     // "!": the token reported with the factorial's errors

// ---- rationals (big-integer mode) ----
// *dst := a * b for rationals a, b, by cross cancellation. dst may be a's or b's slot.
void mult_rats(quoly* a, quoly* b, quoly** dst);
// *dst := a / b for rationals. The same numerator polynomial in a and b gives 1
// (quoly_set). b is changed during the call and restored. dst may be a's or b's slot.
void quot_rats(quoly* a, quoly* b, quoly** dst);
// *dst := n * r for a number quoly n and a rational r (r's denominator may be
// negative, as when a caller has exchanged r's parts to divide by it); n = 0
// gives 0 (quoly_set). dst may be r's slot.
void mult_numb_rat(quoly* n, quoly* r, quoly** dst);
// *dst := r / n for a rational r and a number quoly n; always a rational.
// n = 0 is error 22, after which (should it return) *dst is 1, as for every
// quotient of quolys by 0. dst may be r's slot.
void quot_rat_numb(quoly* r, quoly* n, quoly** dst);
// *dst := n + r (add non-zero) or n - r, for a number quoly n and a rational r.
// dst may be r's slot.
void add_numb_rat(quoly* n, quoly* r, quoly** dst, int add);
// Last step of a rational sum: gives the temporary chain temp_head ..
// temp_tail back to numhead (none when temp_head is null), puts num and den
// into q's numerator and denominator number nodes and sets rat. Consumes
// the num and den records; a number or polynomial q held is freed.
void finish_quoly(quoly* q, imag* num, imag* den, numnode* temp_head, numnode* temp_tail);

// ---- powers and factorial (every ground ring) ----
// n := n^e in place; e = 0 gives 1 (0^0 included). Machine integers wrap in 32 bits.
void number_power(imag* n, uint32_t e);
// n := n! in place. Errors: 347 in characteristic 2; 94 for n >= 46,341 in
// modular mode or n of more than one digit; 240 for n > 13 in machine-integer
// mode. Needs the tables facts and factnum (start-up). n is left as it was
// when one of these errors returns.
void factorial(imag* n);

// ---- conversion, integer quotient and remainder (every ground ring) ----
// convert_to_int(n); outside machine-integer mode more than one digit is error
// 32, which gives 0 should it return.
int32_t check_and_convert(imag* n);
// c := a / b: truncated quotient, or a * b^-1 in modular mode (error 85 when b
// is not invertible). b = 0: error 22, leaving c = 1 in big-integer mode and
// c = a otherwise. c may be a or b.
void quot(imag* a, imag* b, imag* c);
// q := a div b truncated and r := a - b q (sign of a). With pos_mod a negative
// r is raised by |b| and q lowered (b > 0) or raised (b < 0) by one, so that
// a = b q + r still holds. b = 0: error 22, then r = a and q = 0 (the
// identity still holds). r and q may be a or b.
void mod_and_div(imag* a, imag* b, imag* r, imag* q);
// res := the remainder of a by b when op is '|' (124), else the truncated
// quotient; pos non-zero makes a negative remainder non-negative. b = 0:
// error 22, then the remainder a or the quotient 0. res may be a or b.
void mod_or_div(imag* a, imag* b, imag* res, int op, int pos);
