// Degrees, codegrees, total-degree parts and level shifts (see degrees.h).
#include "builtins/degrees.h"

#include <vector>

#include "interp/token.h"
#include "matrix/array_store.h"
#include "poly/coefextract.h"
#include "poly/measures.h"
#include "poly/polyvars.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

using quoly_detail::lone_number;

bool refuse(int code) {
    error(code, token.name);
    return false;
}

// The polynomial n levels below p's top, each passed level one exponent-0
// term over a polynomial; null when p depends on one of those variables.
polynode* below_pads(polynode* p, int32_t n) {
    for (int32_t i = 0; i < n; i++) {
        if (p->numb || p->exp != 0 || p->next) return nullptr;
        p = p->pcoef;
    }
    return p;
}

// Replaces *p by the polynomial n levels down and frees the shells.
void strip_pads(polynode** p, int32_t n) {
    for (int32_t i = 0; i < n; i++) {
        polynode* shell = *p;
        *p = shell->pcoef;
        shell->pcoef = nullptr;   // the shell alone goes back
        free_poly(&shell);
    }
}

}  // namespace

int32_t codegree(polynode* u, int32_t k) {
    if (k <= 1) return lastnode(u)->exp;
    int32_t least = NO_CODEGREE;
    for (polynode* t = u; t; t = t->next) {
        const int32_t c = t->numb ? 0 : codegree(t->pcoef, k - 1);
        if (c < least) least = c;
    }
    return least;
}

void generalized_degree(quoly** slot, quoly** result, int32_t k, int lowest) {
    const quoly* q = *slot;
    int32_t v = 0;
    if (!q->isnum) {
        if (!lowest) {
            v = static_cast<int32_t>(0x80000001);
            max_degree(q->pnum, k, &v);
        } else {
            v = codegree(q->pnum, k);
        }
    }
    quoly_set(v, result);
}

bool check_get_height(quoly* q, int32_t* height, int code) {
    int32_t level = 0;
    if (q->isnum || q->den || !is_poly_var(q, &level)) return refuse(code);
    *height = level - 1;
    return true;
}

bool check_for_monic_poly(int code, quoly* q, int32_t* level, int32_t* degree, polynode** node,
                          polynode** parent) {
    if (q->isnum) return refuse(code);
    if (q->den) return refuse(196);
    polynode* p = q->pnum;
    polynode* above = nullptr;
    int32_t l = 1;
    while (p->exp == 0) {
        // With Laurent exponents a term of exponent 0 can lead negative
        // ones (u^2 + v^-1): the value is no polynomial in an inner variable.
        if (p->numb || p->next) return refuse(198);
        above = p;
        p = p->pcoef;
        l++;
    }
    if (p->exp < 0) return refuse(198);
    if (p->numb || !poly_eq_1(p->pcoef)) return refuse(197);
    *level = l;
    *degree = p->exp;
    *node = p;
    *parent = above;
    return true;
}

void do_total_degree(quoly** slot, array* vars, int32_t d) {
    quoly* q = *slot;
    if (d < 0 && !laurent) {
        quoly_set(0, slot);
        return;
    }
    if (vars->sparse) {
        error(242, token.name);
        abandon_statement(242);
    }
    // marks[0]: the deepest flagged level; marks[l]: level l is counted.
    std::vector<int32_t> marks(static_cast<size_t>(number_polys) + 1, 0);
    marks[0] = -1;
    for (int32_t c = vars->first; c <= vars->last; c++) {
        quoly* cell = *cell_at(c);
        if (!cell) {
            error(29, vars->name);
            abandon_statement(29);
        }
        if (cell->isnum || cell->den) {
            error(311, vars->name);
            abandon_statement(311);
        }
        const int32_t l = poly_level(cell->pnum);
        if (l >= 1 && l <= number_polys) {
            marks[static_cast<size_t>(l)] = 1;
            if (l > marks[0]) marks[0] = l;
        }
    }
    polynode* part = total_degree(q->pnum, 1, d, marks.data());
    q->pnum = nullptr;
    if (!part) {
        quoly_set(0, slot);
        return;
    }
    q->pnum = part;
    if (q->den) {
        check_quoly(slot, laurent);
    } else if (lone_number(part)) {
        polynum_to_quoly(slot);
    }
}

bool raise_quoly(quoly** slot, int32_t n) {
    if (n < 0) return refuse(273);
    quoly* q = *slot;
    const bool move_num = !lone_number(q->pnum);
    const bool move_den = q->den && !lone_number(q->den);
    if ((move_num && !below_pads(q->pnum, n)) || (move_den && !below_pads(q->den, n))) return refuse(275);
    if (move_num) strip_pads(&q->pnum, n);
    if (move_den) strip_pads(&q->den, n);
    return true;
}

bool lower_quoly(quoly** slot, int32_t n) {
    if (n < 0) return refuse(273);
    quoly* q = *slot;
    const bool move_num = !lone_number(q->pnum);
    const bool move_den = q->den && !q->den->numb;
    // A constant part stays where it is, whatever the shift.
    if (move_num && depth_below(q->pnum) + int64_t{n} > number_polys) return refuse(277);
    if (move_den && depth_below(q->den) + int64_t{n} > number_polys) return refuse(277);
    if (move_num) add_pad(&q->pnum, n);
    if (move_den) add_pad(&q->den, n);
    return true;
}
