// The auxiliary primes of the field levels, which let the gcd over a field
// work on images over finite fields.
//
// First list (global: `auxptr`, `aux_prime1_number`): primes p modulo which
// every field relation stays irreducible, so that the whole tower maps onto
// a finite field. Second lists (one per field variable, in `aux_primes` with
// `prime_count`): pairs (q, r), the entry's machine word q, its single digit
// r, with m(r) = 0 modulo q once the inner field variables are replaced by
// their own roots for q; kept in strictly decreasing order of q. After
// reconciliation every field level holds the same primes, so that replacing
// each field variable by its root maps the tower onto the integers mod q.
//
// Lists are chains of one-digit number records linked through `link`; a
// first-list entry holds its prime in both the machine word and the digit.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

struct pt;

// ---- the first list ----
// Result slot: never-free. *list := the first auxiliary list for the new
// field relation `relation` (at v's level, v's own relation not installed):
// the earlier global list re-tested when there is one, else fresh
// candidates; returns its length. Each candidate is tested with the
// irreducibility test over the prime (the field below v reduced with it).
// progress: the counts of the search are printed (top level).
int16_t find_first_aux_list(pt* v, polynode* relation, imag** list, bool progress);
// The candidates of a fresh first list, in the order they are tested.
std::vector<int32_t> first_list_candidates();
// Whether `relation` (at v's level, v's own relation not installed) stays
// irreducible modulo p over the field below v: the test of one candidate.
bool stays_irreducible(pt* v, polynode* relation, int32_t p);
// Result slot: never-free. A first list of `primes`, in their order.
imag* first_list_of(const std::vector<int32_t>& primes);
// The global first list replaced by *list (taken over; *list := null).
void install_first_aux_list(imag** list, int16_t count);

// ---- the second lists ----
// Result slot: never-free. *list := the second list of v for `relation`
// (v's full monic relation at its level), found by evaluating it at
// t = 1 .. aux_num_2factor; empty when the next inner level has an empty
// list. v's own list is not touched.
void find_gcd_list(pt* v, polynode* relation, imag** list);
// Takes over *list as v's second list (*list := null), then reconciles.
void make_and_reconcile_gcd_lists(pt* v, imag** list);
// v's list and every inner list trimmed to the primes common to each pair of
// neighbouring levels, counts updated.
void reconcile_gcd_lists(pt* v);

// ---- checks ----
// Modular mode, prime modulus: the first field variable at level top or
// further in whose relation is reducible over the field below it (the
// "field" then has zero divisors); null when every one is irreducible.
pt* reducible_field_relation(int32_t top);
// 1 when r is a root modulo the prime q of `relation` (at v's level) with
// each inner variable replaced by its root for q from its list; 0 when it
// is not, or when an inner list lacks q.
int aux_root_holds(pt* v, polynode* relation, int32_t q, int32_t r);
// The entry for the prime q in a list; null when absent.
imag* aux_entry(imag* list, int32_t q);
// Frees a chain of list entries; *list := null.
void free_aux_list(imag** list);
// Result slot: never-free. A copy of a list, in its order.
imag* copy_aux_list(const imag* list);
