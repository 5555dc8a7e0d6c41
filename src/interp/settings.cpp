// Start-up values of the switch-only settings (see settings.h).
#include "interp/settings.h"

#include "numbers/numbers.h"

int diskstore = 0;
int lagrange_stash = 0;
int chpoly_block = 1;
int mod_matrix_ok = 1;
int danger_ok = 0;
int close_inpuf = 0;
int hen_check = 1;
int nomodpolyreadin = 0;

int16_t aux_num_1factor = AUX1_FACTOR_START;
int16_t aux_num_2factor = AUX2_FACTOR_START;
int32_t gauss_cutoff = 0;
int32_t rat_det_method_cut = 5000;
int32_t mod_det_method_cut = 150;
int32_t simplest_poly_cutoff = 140;
int32_t addresser = 1;
int32_t pseudet_heur = 0;
int32_t detcutoff = -1;
int m_interrupt = 1;

imag* rand_denom_n = nullptr;

int16_t aux_prime1_number = 0;
imag* auxptr = nullptr;
int no_aux_primes2 = 1;
int32_t second_aux_num = 0;

char input_file_name[256] = "";
char output_file_name[256] = "";

int leave_flag = 0;
int cycle_flag = 0;
int exit_flag = 0;

imag* random_denominator() {
    // Made on first use: the stashes are not open while statics initialise.
    if (!rand_denom_n) {
        rand_denom_n = new_number();
        special_set(1, rand_denom_n);   // digits and machine word alike
        rand_denom_n->value = 1;
    }
    return rand_denom_n;
}
