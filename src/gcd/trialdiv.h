// Trial division: does m divide u exactly, and if so what is u / m? The gcd
// driver confirms candidate gcds with it, Hensel lifting tests candidate
// factors, the quoly layer cancels known gcds.
//
// Most failing candidates are rejected cheaply first: the inner variables
// are replaced by small random values and the one-variable images divided,
// and over the integers m(a) | u(a) is tried at random integer points. A
// pre-test can only prove that m does not divide u (an image of an exact
// division is exact); "divides" always comes from a full exact division.
//
// Answers: 1 divisible, 0 not. Degrees are in the top variable of u; rec is
// that level's variable record. Operands are kept unless consume is set: m's
// tail is negated while a division runs and negated back on every exit. A
// zero divisor is error 22 (the statement ends even when it returns). An
// inexact division is an answer, never an error.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

// The rational pre-test at random integer points may settle a trial on its
// own when set (the switch "&_t" toggles it; 1 at start-up).
extern int try_rat;

// Over relations without the field flag a leading coefficient that is a
// zero divisor fixes no quotient term: t + 1 times 1 and times t agree
// modulo t^2 - 1, and the division keeps one choice only, so its "does not
// divide" proves nothing ((t + 1)x + 2t + 1 divides its multiples all the
// same). While zero_divisor_lead_watch is set, such a refusal at a leading
// coefficient not proved regular sets zero_divisor_lead_met, for a caller
// that must answer soundly to turn into error 271 (the relation's name in
// zero_divisor_lead_ring).
extern int zero_divisor_lead_watch;
extern int zero_divisor_lead_met;
extern const char* zero_divisor_lead_ring;

// Answer and quotient. With answer 1 and answer_only clear, *quo holds u / m
// (copy-then-free). With answer 0, *quo is freed to null, except when
// deg u < deg m, where the slot is not touched. With pretest and answer_only
// both set the quotient is never kept (*quo ends null). pretest runs the
// evaluation pre-tests first. consume: u is taken over and freed before the
// routine returns, whatever the answer (the caller must not use it again).
int trial_poly_divide(polynode* u, polynode* m, polynode** quo, pt* rec, int pretest, int answer_only,
                      int consume);

// Answer only; no quotient is kept. pretest runs the evaluation and rational
// pre-tests first. stop_at_test is accepted for the callers that would take
// a pre-test's "divisible" as final; such a verdict is confirmed by the full
// division all the same. consume as for trial_poly_divide.
int trial_poly_divide_noq(polynode* u, polynode* m, pt* rec, int pretest, int stop_at_test, int consume);

// Divisibility over the integers decided through one or two primes. Must be
// called outside modular arithmetic. *decided := 1 when the answer is
// certain, *divides then holds it: the first usable prime can prove that m
// does not divide u; two usable primes that both find m dividing are
// confirmed by an exact division over the integers. Undecided when the two
// primes disagree or none is usable. Operands, the ground ring, the
// variables' mod-out data and command_int are all as they were afterwards,
// exceptions included.
void mod_trial_poly_divide(polynode* u, polynode* m, int stop_at_test, int* decided, int* divides, pt* rec);

// For a divisor expected to divide (a gcd candidate): the flat division
// decides first, without the evaluation pre-tests that pay off only on
// failures; the general road answers when it cannot. Operands kept.
bool candidate_divides(polynode* u, polynode* m, pt* rec);
