#include "quoly/modout_suspend.h"

#include <cstdio>
#include <cstring>

#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"

pt* old_polynames = nullptr;
int using_new_polynames = 0;

namespace {
// The last level copied by the suspension in force.
int32_t suspended_to = 0;
}  // namespace

int need_to_turn_off_mod_out(int f1, int f2, int f3, int32_t s, int32_t b) {
    if (using_new_polynames) return 0;
    if (f1 && !f2 && !f3 && s >= b) return 0;
    if (!polynames || field_depth == 1) return 0;
    for (pt* v = polynames; v; v = v->next) {
        if (field_depth != 0 && v->level >= field_depth) break;
        if (v->relation) return 1;
    }
    return 0;
}

void adjust_polyname_ptrs() {
    using_new_polynames = 1;
    old_polynames = polynames;
    pt* head = nullptr;
    pt** tail = &head;
    pt* v = polynames;
    int32_t last = 0;
    for (; v && (field_depth == 0 || v->level < field_depth); v = v->next) {
        pt* c = nullptr;
        newpt(&c);
        std::memcpy(c->name, v->name, sizeof c->name);
        c->hash = v->hash;
        c->level = v->level;
        c->next = nullptr;
        *tail = c;
        tail = &c->next;
        last = v->level;
    }
    *tail = v;   // the field levels keep their relations
    polynames = head;
    pseudo_polynames = head;
    suspended_to = last;
    dumpitt_level++;
    if (verbose) dumpitt("Polymodding suspended on vars 1 to ", last, 1, 1, 1);
}

namespace {
// The copies of a suspension, up to the levels they share with `session`.
void free_copies(pt* copies, pt* session) {
    pt* v = copies;
    while (v && v != session && (field_depth == 0 || v->level < field_depth)) {
        pt* next = v->next;
        v->next = nullptr;
        free_pt(&v);
        v = next;
    }
}
}  // namespace

void resume_old_polynames() {
    // The error routine may have resumed them already.
    if (!using_new_polynames) return;
    free_copies(polynames, old_polynames);
    polynames = old_polynames;
    pseudo_polynames = old_polynames;
    old_polynames = nullptr;
    using_new_polynames = 0;
    decr_dumpitt(suspended_to, 1, verbose);
    if (verbose) dumpitt("Polymodding resumed on vars 1 to ", suspended_to, 1, 1, 1);
}

void SuspensionLifted::lift() {
    if (!using_new_polynames) return;
    copies = polynames;
    session = old_polynames;
    to = suspended_to;
    polynames = pseudo_polynames = session;
    old_polynames = nullptr;
    using_new_polynames = 0;
}

void SuspensionLifted::restore() {
    if (!copies) return;
    // Relations changed at the level (a level outside any read allows it)
    // leave the copies standing for a list that is gone: the work goes on
    // in the ring as it is now.
    if (using_new_polynames || polynames != session) {
        drop();
        return;
    }
    old_polynames = session;
    polynames = pseudo_polynames = copies;
    suspended_to = to;
    using_new_polynames = 1;
    copies = nullptr;
}

void SuspensionLifted::drop() {
    // Counted by level, not by the shared levels, which a change at the
    // level may have replaced: the copies run from level 1 to `to`.
    for (pt* v = copies; v;) {
        pt* next = v->next;
        const bool last = v->level >= to;
        v->next = nullptr;
        free_pt(&v);
        if (last) break;
        v = next;
    }
    copies = nullptr;
}

void recheck(quoly** q) {
    quoly* r = *q;
    if (r->isnum) return;
    total_poly_modout(&r->pnum, polynames);
    if (r->den) {
        total_poly_modout(&r->den, polynames);
        if (poly_iszero(r->den)) {
            std::printf(" On converting a quoly to poly-mod-out, a denominator became 0.\n");
            std::printf(" The quoly was set to 1.\n");
            quoly_set(1, q);
            return;
        }
        check_quoly(q, laurent);
        return;
    }
    if (r->pnum->numb && !r->pnum->next) polynum_to_quoly(q);
}
