// ZZ3 and ZZ4: last-resort displays of a value whatever the variable list,
// with substitute variable names; ZZ4 reads the numbers as residues (the
// machine words of modular mode) for data left in that form.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;
struct pt;

// "(" value or '^' reference ")": n 108 shows it in the current mode, n 109
// in modular machine-integer mode, the ground ring as it was afterwards.
// The value is read before any mode changes. Value 0.
void builtin_emergency_display(FILE** source, quoly** result, name** pending, int32_t n);
// The 78 substitute variable records, outermost first: z .. a, z1 .. a1,
// z2 .. a2 (made at the first call).
pt* substitute_names();
