#include "det/split_pivots.h"

#include "gcd/split_copies.h"
#include "quoly/quoly.h"
#include "storage/assign.h"

bool vanishing_copies(quoly* q, uint64_t* where) {
    *where = 0;
    return q->isnum || (!q->rat && split_copies_vanishing(q->pnum, where));
}

quoly* idempotent_quoly(uint64_t copies) {
    polynode* e = split_copies_idempotent(copies);
    if (!e) return nullptr;
    quoly* q = nullptr;
    p_q_assign(e, &q);
    free_poly(&e);
    return q;
}

void cut_dead_copies(quoly** det, uint64_t dead) {
    if (!dead) return;
    quoly* e = idempotent_quoly(dead);
    if (!e) return;
    quoly* part = nullptr;
    quoly_mult(*det, e, &part);
    free_quoly(&e);
    best_quoly_sub(det, part);
}
