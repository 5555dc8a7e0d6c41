// Shared set-up of the factoring and powering tests: the field, one
// polynomial variable, reproducible random sources for the splitting, a
// polynomial quoly, and sympy run over a batch of inputs.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "numbers/random.h"
#include "storage/records.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

// Fixed raw random sources for the scope (the splitting draws become
// reproducible), the platform's sources back at the end.
struct FixedRandom {
    FixedRandom();
    ~FixedRandom() { reset_random_sources(); }
};

// The field of m elements (a prime, 256 or 65,536) with one variable x.
struct OneVarField {
    PrimeRing ring;
    AttachedVars vars{1};
    FixedRandom random;
    explicit OneVarField(int32_t m) : ring(m) {}
};

// A polynomial quoly taking p over (a lone number node makes a number quoly).
quoly* poly_quoly(polynode* p);

// Runs the python script text over the input lines (one case a line) and
// returns its output lines; an empty vector when it could not run.
std::vector<std::string> run_sympy(const std::string& script, const std::vector<std::string>& lines);

// Test-side draws from a fixed seed.
extern std::mt19937_64 test_rng;
uint64_t test_draw();
