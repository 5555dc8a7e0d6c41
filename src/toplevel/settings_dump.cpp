// The settings listing (&g): one line per setting, in a fixed order, most
// of them only when the setting differs from the usual case.
#include "toplevel/settings_dump.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "gcd/gcdstash.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"

namespace {

constexpr int VARS_PER_LINE = 12;
constexpr int PRIMES_PER_LINE = 10;

const char* on_off(int flag) { return flag ? "on.\n" : "off.\n"; }

void ground_ring_line() {
    std::printf("\n Basic arithmetic ring: ");
    if (modularmode) {
        std::printf("modular arithmetic, modulus: %li", static_cast<long>(modulus));
        if (finf)
            std::printf(". This is a finite field of characteristic 2");
        else if (modulus >= 2 && is_prime(modulus))
            std::printf(", a prime");
    } else {
        if (lintmode)
            std::printf("modular arithmetic, modulus: %li, temporarily off", static_cast<long>(modulus));
        else
            std::printf("rational arithmetic");
        if (finf) std::printf(". This is a finite field of characteristic 2");
    }
    std::printf(".\n");
}

void determinant_method_line() {
    if (gauss_cutoff == 1 && detcutoff == 2)
        std::printf(" Determinant method is Gauss-Bareiss.\n");
    else if (gauss_cutoff == 0 && detcutoff > 0)
        std::printf(" Determinant method is Gauss elimination until %li rows, then minors expansion.\n",
                    static_cast<long>(detcutoff));
    else if (detcutoff == -1 && rat_det_method_cut == 1)
        std::printf(" Determinant method is Lagrange interpolation if polynomials and more than 4 rows.\n");
}

// The variables from the innermost out, twelve to a line; a variable with
// a relation gets a line of its own with the relation.
void list_poly_vars() {
    std::vector<pt*> vars;
    for (pt* v = polynames; v; v = v->next) vars.push_back(v);
    int on_line = 0;
    for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
        pt* v = *it;
        if (v->relation && on_line > 0) {
            std::printf("\n");
            on_line = 0;
        }
        std::printf("    %s;", v->name);
        on_line++;
        if (v->relation) {
            std::printf("  subject to ");
            int32_t col = 0, lines = 0;
                        // A binomial relation keeps only its constant: the whole relation is shown.
            polynode* rel = single_number(v->relation) && v->binomial ? v->binomial : v->relation;
            poly_display(&Output, 1, 0, rel, &col, "", v, 0, 1, &lines);
            std::printf(" = 0.");
            if (v->field) std::printf(" This creates a field.");
            std::printf("\n");
            on_line = 0;
        } else if (on_line == VARS_PER_LINE) {
            std::printf("\n");
            on_line = 0;
        }
    }
    if (on_line > 0) std::printf("\n");
}

void aux_primes_lines() {
    std::printf(" There are %d first auxiliary primes: \n", aux_prime1_number);
    std::printf("  ");
    imag* p = auxptr;
    for (int i = 1; i <= aux_prime1_number && p; i++, p = p->link) {
        std::printf("  %li", static_cast<long>(big_convert_to_int(p)));
        if (i % PRIMES_PER_LINE == 0) std::printf("\n  ");
    }
    std::printf("\n");
}

}  // namespace

void global_dump() {
    ground_ring_line();
    std::printf(" Display constant is %li.\n", static_cast<long>(disp_size));
    std::printf(" Pushing after errors is %s", on_off(errorpush));
    if (integerflag) std::printf("Integer mode on.\n");
    std::printf(" Displaying results is %s", on_off(noisy));
    std::printf(" Block on Chpoly is %s", on_off(chpoly_block));
    std::printf(" Hensel gcd double checking is %s", on_off(hen_check));
    if (lookupgcd > 0)
        std::printf(" GCD stashing level is %d, so it's on. table mass: %li\n", lookupgcd,
                    static_cast<long>(gcdmass));
    else
        std::printf(" GCD stashing level is %d, so it's off. table mass: %li\n", 0,
                    static_cast<long>(gcdmass));
    if (detcutoff >= 0) std::printf(" Detcutoff is %li.\n", static_cast<long>(detcutoff));
    std::printf(" Kartasuba cutoff for poly multiplication is %li.\n", static_cast<long>(poly_cutoff));
    determinant_method_line();
    std::printf(" Sparse pivot heuristic is %li.\n", static_cast<long>(pseudet_heur));
    std::printf(" Array initial index is %s", addresser == 1 ? "1.\n" : "0.\n");
    std::printf(" Command interrupt is ");
    if (m_interrupt == 1)
        std::printf("on, level 1.\n");
    else if (m_interrupt == 2)
        std::printf("on, level 2.\n");
    else if (m_interrupt == 0)
        std::printf("off.\n");
    if (std::strcmp(prompt, ">") != 0) {
        if (prompt[0] == 13)
            std::printf(" Prompt is: <cr>\n");
        else
            std::printf(" Prompt is: %s\n", prompt);
    }
    if (namelength != 10) std::printf(" Maximum name length is %li.\n", static_cast<long>(namelength));
    if (uglyprint) std::printf(" Ugly printing is on.\n");
    if (verbose) std::printf(" Verbose display is on.\n");
    if (windy) std::printf(" Extra verbose display is on.\n");
    if (lagrange_stash) {
        std::printf(" Writing LaGrange determ. coefficients to file is on.\n");
        if (!(verbose && windy)) std::printf("    But verbose and windy must be turned on too.\n");
    }
    if (timerflag) std::printf(" Timing is enabled.\n");
    if (input_file_name[0]) std::printf(" Reading from file %s.\n", input_file_name);
    if (output_file_name[0]) std::printf(" Saving to file %s.\n", output_file_name);
    // In modular mode the denominator is the residue in its machine word.
    imag* denominator = random_denominator();
    if (!equal(denominator, number_1)) {
        std::printf(" Denominator for random is:\n");
        int32_t col = 0;
        display(&Output, 1, 0, denominator, &col, 0);
        std::printf("\n");
    }
    if (number_polys > 0) {
        std::printf(" These %li polynomial variables have been created:\n", static_cast<long>(number_polys));
        list_poly_vars();
    } else {
        std::printf(" No polynomial variables exist.\n");
    }
    if (field_depth > 0) {
        std::printf(" Field depth is: %d.\n", field_depth);
        if (number_polys - field_depth > 3)
            std::printf(" *** Warning. Many poly vars are in the field. Performance may slow, especially over Z.\n");
    }
    if (laurent) std::printf(" Laurent polynomials allowed.\n");
    if (aux_prime1_number > 0) aux_primes_lines();
    if (field_depth > 0) {
        if (no_aux_primes2 || second_aux_num <= 0)
            std::printf(" There are no second auxiliary primes.\n");
        else
            std::printf(" There are %li second auxiliary primes.\n", static_cast<long>(second_aux_num));
    }
    std::printf("\n");
    if (danger_ok) std::printf(" *** Can interrupt anytime! This is a bit dangerous.\n\n");
}
