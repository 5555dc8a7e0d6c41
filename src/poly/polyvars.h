// Polynomial variables and the shape of a polynomial.
//
// A polynomial is a pointer to its first term node; one level per variable,
// outermost (level 1, the head of `polynames`) first. Terms of a level run
// in strictly decreasing exponent order. A number node (numb 1) has
// exponent 0 and stands alone or as a level's constant term (only negative
// exponents may follow it, with `laurent`). A term with a non-zero exponent
// never carries a number directly: c·x^e hangs a one-node number polynomial
// below a non-number node. A polynomial that does not depend on its top
// variable is padded there by one exponent-0 non-number node. Zero is one
// number node holding 0; null means no polynomial (for instance a
// denominator of 1).
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt {
    char name[12];          // up to 11 characters, NUL-terminated
    uint16_t hash;          // cached name hash, 65535 = not yet computed
    int32_t cutoff;         // term count below which products here use the schoolbook method
    int32_t modout_degree;  // degree of the relation when the variable is modded out
    int32_t root_modulus;   // modulus of the p-th-root table, -1 = none
    polynode* relation;     // mod-out relation data; null when not modded out
    polynode* binomial;     // relation data in the same term-list form
    polynode* reductions;   // precomputed reductions of powers of the variable
    int32_t spare;
    polynode* root_table;   // the p-th-root table
    int32_t field;          // the relation makes this variable a field generator
    int16_t level;          // 1 = outermost
    int16_t prime_count;    // entries of the auxiliary-prime list
    imag* aux_primes;       // auxiliary primes, linked through their link word
    pt* next;               // next inner variable; also the free-list link
};

constexpr int MAX_POLY_VARS = 150;

extern pt* polynames;               // the variables, outermost first
extern char polyvar[MAX_POLY_VARS][11];   // their names, ascending
extern int32_t number_polys;
// Every variable carries a degree-2 relation (or there are none) and none
// is a field level: characteristic-2 evaluation at 0/1 may use the word
// evaluator. Set by the relation bookkeeping; 0 until then.
extern int char2_degs1;
extern int16_t field_depth;         // outermost level of the innermost run of field variables; 0 = none
extern int laurent;                 // negative exponents allowed
extern int modout_above_field;      // a modded-out variable lies outside the field levels
extern pt* pseudo_polynames;        // polynames while any variable has a relation, else null
extern pt* nilpol;                  // stays null: multiply without mod-out reduction
constexpr int32_t POLY_CUTOFF_START = 40;   // also what every change of ground ring sets
extern int32_t poly_cutoff;         // schoolbook/Karatsuba term-count cut-off of products
extern pt* pt_garb;                 // free variable records, through next

// The record of the next inner level, null past the innermost (or for a
// null record: products without mod-out reduction); the level of a record,
// 1 for none.
inline pt* inner(pt* rec) { return rec ? rec->next : nullptr; }
inline int32_t level_of(const pt* rec) { return rec ? rec->level : 1; }
// The number of levels from rec inward (rec's own included).
inline int32_t levels_from(const pt* rec) {
    int32_t n = 0;
    for (; rec; rec = rec->next) n++;
    return n;
}
// Some record from rec inward carries a mod-out relation.
inline bool relation_inward(const pt* rec) {
    for (; rec; rec = rec->next)
        if (rec->relation) return true;
    return false;
}

// Some record from rec inward carries a relation not declared a field: its
// variable is no free variable, so setting it to a value is no ring
// homomorphism and a division by it is not a division of polynomials.
inline bool nonfield_relation_inward(const pt* rec) {
    for (; rec; rec = rec->next)
        if (rec->relation && !rec->field) return true;
    return false;
}

// ---- the variable list ----
// Positions are 1-based, outermost first. Lookups compare at most the 11
// characters of a variable name.

// 1 when a record of polynames has this name; pos counts the records
// walked, so it holds the match's position, or one past the last.
int is_poly_name(const char* name, int32_t* pos);
// The same walk; rec gets the record, null when absent.
int is_poly_name2(const char* name, int32_t* pos, pt** rec);
// 1 when the name is among the first number_polys entries of polyvar; the
// scan stops at the first larger entry, since the table is sorted.
int its_a_polyname(const char* name);

// Puts the record on pt_garb and frees everything it owns: the relation
// and binomial lists, the reductions, the root table and the auxiliary
// primes; the slot becomes null.
void free_pt(pt** slot);
// Unlinks the record at pos from polynames and frees it with free_pt; a
// position outside the list changes nothing. polyvar and number_polys are
// the caller's to update.
void delete_poly_name(int32_t pos);
// Gives every variable whose cut-off still equals poly_cutoff the cut-off
// new_cutoff; called before poly_cutoff itself changes.
void reset_cutoffs(int32_t new_cutoff);
// prime_count := the length of the auxiliary-prime list.
void set_aux_num(pt* v);
// Frees the auxiliary primes; prime_count := 0.
void free_gcd_data(pt* v);
