// Start-up reading of the data directory: error texts and built-in names
// (Qerrs), powers, factorials and binomials (pow228), prime tables
// (pprods, primelist, bprimes, lrgpmes), field tables (f256d, f2t16d) and
// the Lagrange basis polynomials (chdat).
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "storage/records.h"

constexpr int ERROR_COUNT = 381;
constexpr int ERROR_TEXT_BYTES = 66;   // 65 characters and a terminator
constexpr int BUILTIN_SLOTS = 112;
constexpr int POL_SIDE = 38;

struct builtin_name {
    char name[11];   // at most 10 characters
    char word[11];   // second word; "*N" marks one the factor routines handle themselves
};

extern char erp[ERROR_COUNT + 1][ERROR_TEXT_BYTES];  // erp[n] = text of error n, n = 1..381
extern builtin_name builtin[BUILTIN_SLOTS];
extern int numbuiltins;                               // N: positions 0..N are the built-ins
extern quoly* pol[POL_SIDE * POL_SIDE];               // Lagrange basis, entry (n, j) at 38n + j
extern uint32_t size_data_strucs;                     // bytes of tables built at start-up

// A data file without which the tables cannot be built: start-up stops.
struct StartupFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads the data files of `directory` (ending in '/'); subinitialize is
// called by initialize. Missing or damaged optional files are reported and
// start-up goes on; a missing essential file throws StartupFailure.
void subinitialize(const char* directory);
void initialize(const char* directory);

// The next chdat entry as a quoly (denominator 1 dropped) into an empty slot.
void direct_quoly_read(quoly** slot);
// A chdat numerator (degree, then dense coefficients) into an empty slot.
void direct_poly_read(polynode** slot);
// The next chdat entry, for the characteristic-polynomial data beyond start-up.
void get_char_poly(int a, int b, quoly** slot);
// Rows 12 .. 37 of pol from chdat (those not read already), into the ring
// of start-up; their size joins size_data_strucs.
void read_char_poly_rows();

int find_built_in(int lo, int hi, const char* name);   // position or -1
