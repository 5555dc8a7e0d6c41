// Private to the factoring sources: the frame one factor_poly call shares
// with its list builder and splitting routines.
#pragma once
#include <cstdint>
#include <map>

#include "builtins/powermod_impl.h"
#include "storage/records.h"

struct pt;

namespace factor_impl {

// Thrown by the list builder in stop-at-first mode: factor_poly's exit.
struct StopFirst {};

struct FactorFrame {
    polynode* head = nullptr;       // the list being built
    polynode** tail = &head;
    int32_t* count = nullptr;
    int stop_first = 0;
    int print = 0;
    int32_t level = -1;
    int32_t pad = 0;                // exponent-0 levels above the main variable
    pt* rec = nullptr;              // the main variable's record
    powermod_impl::ExpDigits q;     // the field order
    int32_t log_q = 1;              // k with q = 2^k in characteristic 2
    std::map<int32_t, powermod_impl::ExpDigits> half_powers;  // d -> (q^d - 1) / 2
    ~FactorFrame();
};

// append_1: the record (value, *slot) at the tail of the list, *slot taken
// (null after), the counter raised, the factor shown when printing; in
// stop-at-first mode it then throws StopFirst.
void append_1(polynode** slot, int32_t value, FactorFrame& f);

// Split P (kept), a product of distinct monic irreducibles of degree d in
// the main variable, appending each with multiplicity m.
void odd_cantor_zass(polynode* P, int32_t d, int32_t m, FactorFrame& f);
void even_cantor_zass(polynode* P, int32_t d, int32_t m, FactorFrame& f);

// g := gcd(a, b) as a fresh top-level gcd problem (the per-call counters
// reset and put back); exact: the probabilistic tests and trial-division
// shortcuts off.
void fresh_gcd(polynode* a, polynode* b, polynode** g, pt* vars, bool exact);
inline void field_gcd(polynode* a, polynode* b, polynode** g, pt* rec) { fresh_gcd(a, b, g, rec, false); }
// *f := *f / d, an exact division (a remainder is the fatal failure).
void divide_out(polynode** f, polynode* d, FactorFrame& fr);
// The degree in the level's own variable (0 for a number).
inline int32_t degree(const polynode* p) { return p->numb ? 0 : p->exp; }

}  // namespace factor_impl
