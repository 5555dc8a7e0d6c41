// A temporary switch of the whole system into arithmetic modulo a prime,
// for the methods that work on images of integer polynomials (trial
// division through primes, the modular gcd, the coprimality tests).
//
// One object per prime:
//
//   {
//       ModularSwitch sw;            // everything saved here
//       sw.set_prime(p);             // modulus p, still reading digit chains
//       sw.convert(&u);              // u's numbers become residues, logged
//       sw.convert(&v);
//       sw.convert_variables();      // the variables' mod-out data likewise
//       sw.begin_arithmetic();       // residue arithmetic from here on
//       ...
//   }                                // every change undone, errors included
//
// On every exit the ground-ring state (modes, modulus, smallmodulus,
// mod_is_prime, fields), command_int and lookupgcd come back, the undo log
// of the conversions is replayed (the converted operands get their very
// nodes and value words back) and the caller's own undo log is reinstated.
// Interrupts wait while values are residues, unless the user allowed them
// at such times (&Z).
// Results computed inside must be copied or finished before the scope ends
// if they share nodes with a converted operand.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "numbers/ring.h"
#include "storage/records.h"

struct fix;

class ModularSwitch {
public:
    ModularSwitch();
    ~ModularSwitch();
    ModularSwitch(const ModularSwitch&) = delete;
    ModularSwitch& operator=(const ModularSwitch&) = delete;

    // Modulus p (a prime; smallmodulus computed from it), mod_is_prime 1,
    // arithmetic still on digit chains so that conversions read them.
    void set_prime(int32_t p);
    // In place: the numbers of *slot reduced modulo the prime (logged).
    void convert(polynode** slot);
    // In place: the quoly *q (a plain number or polynomials) reduced modulo
    // the prime, logged; its number records' value words come back too.
    void convert_quoly(quoly** q);
    // The mod-out data of every polynomial variable (relations, binomials,
    // reductions), logged.
    void convert_variables();
    // Residue arithmetic on: modularmode and lintmode set.
    void begin_arithmetic();

private:
    void save_values(polynode* p);

    // The destructor's body puts the caller's modes back before it replays
    // the log; ring_ then restores the rest of the ring state.
    fix* outer_log_;
    std::vector<std::pair<imag*, int32_t>> values_;
    int saved_command_int_;
    int16_t saved_lookupgcd_;
    RingStateGuard ring_;
};
