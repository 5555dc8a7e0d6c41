// The mod-out relations of the polynomial variables suspended for one
// matrix computation (entries are then eliminated as plain polynomials and
// only the result is reduced), and that final reduction.
#pragma once
#include <cstdint>

#include "storage/records.h"

struct pt;

extern pt* old_polynames;          // the variable list while relations are suspended
extern int using_new_polynames;    // relations are suspended

// Whether a matrix routine must suspend the relations: never while they are
// suspended already, for an all-polynomial matrix with neither interpolation
// (f2) nor fraction-free elimination (f3) when s >= b, with no variables or
// when the outermost level is a field level; otherwise when some level above
// the field (any level without a field) carries a relation.
int need_to_turn_off_mod_out(int f1, int f2, int f3, int32_t s, int32_t b);
// Relation-free copies of the levels above the field stand in for them.
void adjust_polyname_ptrs();
// The saved list comes back; nothing happens when none is suspended (the
// error routine resumes them before the stack unwinds).
void resume_old_polynames();
// q reduced modulo the relations of every level and put back into normal
// form; a denominator that becomes 0 sets q to 1 with two lines saying so.
void recheck(quoly** q);

// A command level opened while the relations are suspended works in the
// session's ring: lift() puts the relations back for the level, restore()
// suspends them again, with the same copies, when the level returns into
// the work, and drop() frees the copies when the work is abandoned (its
// own guards then find nothing suspended).
struct SuspensionLifted {
    pt* copies = nullptr;    // the suspended list; null when none was in force
    pt* session = nullptr;   // the list it stood in for
    int32_t to = 0;
    void lift();
    void restore();
    void drop();
};

// A suspension for one scope: resumed at its end (an error included)
// unless finished before.
struct ModoutSuspension {
    bool on = false;
    void start() {
        adjust_polyname_ptrs();
        on = true;
    }
    void finish() {
        if (!on) return;
        on = false;
        resume_old_polynames();
    }
    ~ModoutSuspension() { finish(); }
};
