#include "det/prime_switch.h"

#include "matrix/sparse.h"
#include "storage/nodetests.h"
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

PrimeSwitch::PrimeSwitch(int32_t p, sparse* frame, int32_t n, polynode** factor, bool quiet)
    : saved_verbose_(verbose), saved_sparse_fix_(sparse_fix) {
    sw_.set_prime(p);
    sparse_fix = nullptr;
    try {
        for (int32_t r = 1; r <= n; r++) {
            colm** link = row_head(frame, r);
            while (colm* e = *link) {
                sw_.convert_quoly(&e->val);
                // Residues live in the value words; the digit chains still
                // hold the integers.
                if (!lint_quoly_iszero(e->val)) {
                    link = &e->next;
                    continue;
                }
                sparse_fix = new sparsefix{link, e, sparse_fix};
                *link = e->next;
            }
        }
    } catch (...) {
        restore_sparsefix();
        sparse_fix = saved_sparse_fix_;
        throw;
    }
    if (factor && *factor) sw_.convert(factor);
    sw_.convert_variables();
    sw_.begin_arithmetic();
    if (quiet) verbose = 0;
}

PrimeSwitch::~PrimeSwitch() {
    // Runs before the modular switch is undone: the sparse records are
    // relinked while the entries still hold residues, as they were unlinked.
    verbose = saved_verbose_;
    restore_sparsefix();
    sparse_fix = saved_sparse_fix_;
}
