#include "support/ring_setup.h"

#include <cstring>

#include "numbers/ring.h"
#include "poly/dense.h"
#include "support/data_once.h"
#include "toplevel/errors.h"

PrimeRing::PrimeRing(int32_t m) : depth(original_depth) {
    load_data_once();
    init_poly_work_arrays();
    modularmode = m != 0;
    lintmode = m != 0;
    install_modulus(m);
    mod_is_prime = m != 0;
    reset_statement_state();
}

PrimeRing::~PrimeRing() { original_depth = depth; }

const RingChoice kRingChoices[7] = {
    {"Z", RingMode::digits, 0},
    {"Z in machine words", RingMode::words, 0},
    {"Z/65521", RingMode::residues, 65521},
    {"Z/1000003", RingMode::residues, 1000003},
    {"Z/2147483629", RingMode::residues, 2147483629},
    {"GF(2^8)", RingMode::residues, 256},
    {"GF(2^16)", RingMode::residues, 65536},
};

bool naive_prime(uint64_t n) {
    if (n < 2) return false;
    for (uint64_t d = 2; d * d <= n; d++)
        if (n % d == 0) return false;
    return true;
}

void use_modulus(int32_t m) {
    install_modulus(m);
    modularmode = lintmode = 1;
    mod_is_prime = naive_prime(static_cast<uint64_t>(m));
}

void drop_all_poly_vars() {
    while (polynames) delete_poly_name(1);
    number_polys = 0;
    std::memset(polyvar, 0, sizeof polyvar);
}
