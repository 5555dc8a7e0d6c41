// The list of polynomial variables and its small services: lookups by
// name, removal, and the per-variable product cut-offs.
#include "poly/polyvars.h"

#include <cstring>

pt* polynames = nullptr;
char polyvar[MAX_POLY_VARS][11];
int32_t number_polys = 0;
int16_t field_depth = 0;
int laurent = 0;
int char2_degs1 = 0;
int modout_above_field = 0;
pt* pseudo_polynames = nullptr;
pt* nilpol = nullptr;
int32_t poly_cutoff = POLY_CUTOFF_START;
pt* pt_garb = nullptr;

namespace {

constexpr size_t NAME_CHARS = 11;

// strcmp over at most 11 characters, which need not end in a NUL (a
// polyvar entry of full length has none); a longer name sorts after its
// 11-character prefix.
int compare_name(const char* entry, const char* name) {
    int c = std::strncmp(entry, name, NAME_CHARS);
    if (c == 0 && std::strlen(name) > NAME_CHARS) return -1;
    return c;
}

}  // namespace

int is_poly_name2(const char* name, int32_t* pos, pt** rec) {
    *pos = 1;
    for (pt* v = polynames; v; v = v->next, ++*pos) {
        if (compare_name(v->name, name) == 0) {
            *rec = v;
            return 1;
        }
    }
    *rec = nullptr;
    return 0;
}

int is_poly_name(const char* name, int32_t* pos) {
    pt* rec;
    return is_poly_name2(name, pos, &rec);
}

int its_a_polyname(const char* name) {
    for (int32_t i = 0; i < number_polys; i++) {
        int c = compare_name(polyvar[i], name);
        if (c == 0) return 1;
        if (c > 0) return 0;
    }
    return 0;
}

void free_gcd_data(pt* v) {
    while (v->aux_primes) {
        imag* p = v->aux_primes;
        // free_imag reuses the link word, so step past it first.
        v->aux_primes = p->link;
        free_imag(&p);
    }
    v->prime_count = 0;
}

void free_pt(pt** slot) {
    pt* v = *slot;
    v->next = pt_garb;
    pt_garb = v;
    // The relation and binomial lists may hold number and polynomial
    // coefficients side by side; free_poly frees either kind and splices
    // the list onto polygarb in one step.
    free_poly(&v->relation);
    free_poly(&v->binomial);
    free_poly(&v->reductions);
    free_poly(&v->root_table);
    free_gcd_data(v);
    *slot = nullptr;
}

void delete_poly_name(int32_t pos) {
    if (pos < 1) return;
    pt** link = &polynames;
    for (int32_t i = 1; i < pos && *link; i++) link = &(*link)->next;
    pt* v = *link;
    if (!v) return;
    *link = v->next;
    free_pt(&v);
}

void reset_cutoffs(int32_t new_cutoff) {
    for (pt* v = polynames; v; v = v->next)
        if (v->cutoff == poly_cutoff) v->cutoff = new_cutoff;
}

void set_aux_num(pt* v) {
    int16_t n = 0;
    for (imag* p = v->aux_primes; p; p = p->link) n++;
    v->prime_count = n;
}
