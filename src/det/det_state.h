// The state the determinant and inverse routines share with the rest of the
// system, and the guards that give it back on every exit (a return, error
// 44, a panic stop or any other unwinding error):
//   - the duplicate matrix under work, `duparr` with its cells `dupptr`,
//     which the array display shows at a nested command level;
//   - the shared table of plain-number cells for residue matrices,
//     `mod_mode_matrix`, lent to one user at a time;
//   - the work blocks taken for copies of a matrix;
//   - the gcd-stash level opened for an elimination on quotients.
#pragma once
#include <cstdint>

#include "storage/other_records.h"
#include "storage/records.h"

extern array* duparr;                 // named "dup", "outar" or "mod_matrix" while a matrix is worked on
extern quoly** dupptr;                // its cells; null when no matrix is under work
extern quoly** mod_mode_matrix;       // plain-number cells with number records of their own
extern int32_t mod_matrix_size;       // last index of mod_mode_matrix made ready (-1: none)
extern int mod_mode_matrix_in_use;
extern int32_t smallsize;             // cost weight of the unweighted size test (15)
extern int32_t sizeval;               // entry-size total up to which the plain elimination applies (2600)

// Grows mod_mode_matrix so that cells 0 .. n*n - 1 exist.
void check_mod_matrix_size(int32_t n);

// Announces the matrix under work (name, n x n cells) until the scope ends.
struct DupGuard {
    DupGuard(const char* name, quoly** cells, int32_t n);
    ~DupGuard();
    DupGuard(const DupGuard&) = delete;
    DupGuard& operator=(const DupGuard&) = delete;
};

// A work block holding a copy of count cells; the copies are freed and the
// block given back when the scope ends, unless keep() took them over.
struct WorkCopy {
    quoly** cells = nullptr;
    int64_t count = 0;
    // Takes a block (error 88 when 20 are lent) and copies src[0 .. count - 1]
    // into it; with src null the block starts empty (count 0).
    WorkCopy(quoly** src, int64_t count, const char* token);
    ~WorkCopy();
    void release_cells();             // frees the copies now (the block stays lent)
    WorkCopy(const WorkCopy&) = delete;
    WorkCopy& operator=(const WorkCopy&) = delete;
};

// mod_mode_matrix lent for the scope (null cells when it was in use already).
struct ModMatrixLease {
    quoly** cells = nullptr;
    explicit ModMatrixLease(int32_t n);
    ~ModMatrixLease();
    ModMatrixLease(const ModMatrixLease&) = delete;
    ModMatrixLease& operator=(const ModMatrixLease&) = delete;
};

// One gcd-stash level for the scope: the stash is emptied when the last
// level closes.
struct GcdStashLevel {
    GcdStashLevel();
    ~GcdStashLevel();
    GcdStashLevel(const GcdStashLevel&) = delete;
    GcdStashLevel& operator=(const GcdStashLevel&) = delete;
};

// A quoly owned by the scope.
struct QuolyOwner {
    quoly* q = nullptr;
    QuolyOwner() = default;
    explicit QuolyOwner(quoly* x) : q(x) {}
    ~QuolyOwner() { free_quoly(&q); }
    QuolyOwner(const QuolyOwner&) = delete;
    QuolyOwner& operator=(const QuolyOwner&) = delete;
};
