// The switch of the whole system into arithmetic modulo one prime for one
// image of the integer polynomial determinant, and back. Everything comes
// back on every exit (a return, an error, an interrupt that unwinds): the
// ground ring, command_int, verbose, the undo log of the conversions (the
// cells and the factor get their very nodes and value words back) and the
// records of sparse entries unlinked meanwhile; the caller's own logs are
// reinstated.
#pragma once
#include <cstdint>

#include "gcd/modswitch.h"
#include "storage/other_records.h"
#include "storage/records.h"

class PrimeSwitch {
public:
    // Modulus p; the n*n cells, the factor in *factor (may be null) and the
    // variables' mod-out data reduced modulo p, logged; residue arithmetic
    // on. Progress lines of the work inside are silenced unless `quiet` is
    // false.
    PrimeSwitch(int32_t p, quoly** cells, int64_t count, polynode** factor, bool quiet);
    // The same for the n rows of a sparse matrix: every entry reduced in
    // place, an entry that became 0 unlinked (and relinked on exit).
    PrimeSwitch(int32_t p, sparse* frame, int32_t n, polynode** factor, bool quiet);
    ~PrimeSwitch();
    PrimeSwitch(const PrimeSwitch&) = delete;
    PrimeSwitch& operator=(const PrimeSwitch&) = delete;

    // The verbose setting of the caller (while the inside is silenced).
    int outer_verbose() const { return saved_verbose_; }

private:
    int saved_verbose_;
    sparsefix* saved_sparse_fix_;
    ModularSwitch sw_;
};
