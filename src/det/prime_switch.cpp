#include "det/prime_switch.h"

#include "toplevel/errors.h"

PrimeSwitch::PrimeSwitch(int32_t p, quoly** cells, int64_t count, polynode** factor, bool quiet)
    : saved_verbose_(verbose), saved_sparse_fix_(sparse_fix) {
    sw_.set_prime(p);
    for (int64_t c = 0; c < count; c++) sw_.convert_quoly(&cells[c]);
    if (factor && *factor) sw_.convert(factor);
    sw_.convert_variables();
    sw_.begin_arithmetic();
    sparse_fix = nullptr;
    if (quiet) verbose = 0;
}

PrimeSwitch::~PrimeSwitch() {
    // Runs before the modular switch is undone: the sparse records are
    // relinked while the entries still hold residues, as they were unlinked.
    verbose = saved_verbose_;
    restore_sparsefix();
    sparse_fix = saved_sparse_fix_;
}
