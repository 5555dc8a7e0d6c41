// Structural equality of polynomials and quolys, the test that one value is
// the negative of another, the sign of a leading coefficient, the name hash
// of the symbol tables and the small sorts of machine words and of name
// listings. Nothing here changes a value except the sorts.
//
// Values are compared in their stored form: two polynomials are equal when
// their chains have the same length and, term by term, the same number flag,
// the same exponent (for polynomial coefficients; number terms are compared
// by their numbers only) and equal coefficients. Null equals only null.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/records.h"

// ---- equality and negatives ----
int poly_equal(polynode* a, polynode* b);
int poly_neg(polynode* a, polynode* b);         // b = -a
int quoly_equal(quoly* a, quoly* b);
int fast_quoly_equal(quoly* a, quoly* b);       // numbers or numerators only
int quoly_negtive(quoly* a, quoly* b);          // b = -a, denominators equal

// ---- sign of the leading coefficient (first terms down to the number) ----
int neg_leading_term(polynode* p);
int quol_neg_lead_term(quoly* q);
// With alt_form_display a residue above half_modulus stands for a negative.
int pos_leading_coef(polynode* p);

// ---- names ----
// Bucket of a NUL-terminated name: h := (h * 123 + c) mod m over its bytes.
// m is 151 for scalars and arrays, 71 for functions.
int32_t hash(const char* name, int32_t m);

// One record of a name listing: the name, then two words of the listing's own.
struct sort_entry {
    char name[11];          // at most 10 characters and the terminating NUL
    int32_t count;
    int32_t item;
};

constexpr int32_t SORTP_ENTRIES = 1000;
extern sort_entry* sortp;   // the listing buffer, SORTP_ENTRIES records (allocated at start-up)

// ---- sorts ----
// a[lo .. hi] ascending, random pivot.
void quiccsort(int32_t* a, int32_t lo, int32_t hi);
// Records 1 .. n of table by name (byte order); position i is table[i - 1].
void sort_vars(sort_entry* table, int32_t n);
// Positions lo .. hi (from 1) of sortp by name.
void quicksort(int32_t lo, int32_t hi);
// The listing order of n records: entries whose item words give each
// record's position in bucket and chain order, sorted by name and, within
// one name, by that position (so a chain's newest record stays first). A
// key holds at most 10 characters; longer names are cut to that.
void sort_listing(sort_entry* table, int32_t n);
// Fills entry e for record `item` named `text`.
void set_listing_entry(sort_entry* e, const char* text, int32_t item);

// Appends the records of one hash chain (linked through Rec::*link, newest
// first) to out: in chain order, or oldest first. A save writes its records
// oldest first: reading the text back puts each new record at the head of
// its chain, so the chains come back as they were and a name finds the
// record that was newest.
template <class Rec>
void append_chain(std::vector<Rec*>* out, Rec* head, Rec* Rec::*link, bool oldest_first) {
    const size_t start = out->size();
    for (Rec* r = head; r; r = r->*link) out->push_back(r);
    if (oldest_first) std::reverse(out->begin() + static_cast<std::ptrdiff_t>(start), out->end());
}
