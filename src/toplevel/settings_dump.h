// The settings listing of the &g switch.
#pragma once

// Prints the ground ring, modes, cut-offs, display and file settings, the
// polynomial variables and the auxiliary primes, one line each, in a fixed
// order on standard output.
void global_dump();
