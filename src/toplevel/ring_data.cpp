// The data a change of ground ring converts besides the values: the
// variables' mod-out data and the tables denom and pol (the arrays' walks
// are in ring_arrays.cpp).
#include <algorithm>
#include <map>

#include "interp/settings.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/modout.h"
#include "poly/polyvars.h"
#include "poly/residue_conv.h"
#include "quoly/change_mod.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "toplevel/datafiles.h"
#include "toplevel/ring_change.h"

quoly* denom[DENOM_SIZE];
int need_to_set_char_poly = 1;
int32_t limit_char_arrays = DENOM_SIZE;

namespace {

// Rows and columns of the characteristic-polynomial table converted with it.
constexpr int32_t POL_ROWS_CONVERTED = 38;

// The relations as they stood before the change into modular arithmetic,
// in rational form: the conversion drops the terms the modulus kills, and
// only the undo log still knows them, which a save cannot read.
std::map<const pt*, polynode*> relations_before;

void forget_relations_before() {
    LintOff digits;
    for (auto& [v, rel] : relations_before) free_poly(&rel);
    relations_before.clear();
}

void keep_relations_before() {
    forget_relations_before();
    LintOff digits;
    for (pt* v = polynames; v; v = v->next) {
        polynode* rel = written_relation(v);
        if (!rel) continue;
        polynode* copy = nullptr;
        poly_assign(rel, &copy);
        relations_before[v] = copy;
    }
}

}  // namespace

polynode* written_relation(const pt* v) {
    if (!v->relation) return nullptr;
    return v->relation->numb && !v->relation->next && v->binomial ? v->binomial : v->relation;
}

polynode* relation_before_change(const pt* v) {
    const auto it = relations_before.find(v);
    return it == relations_before.end() ? nullptr : it->second;
}

void set_prods_for_char() {
    for (int32_t i = 0; i < DENOM_SIZE; i++) quoly_set(i + 1, &denom[i]);
    need_to_set_char_poly = 1;
}

void change_polydata(int direction) {
    if (direction == 0) {
        keep_relations_before();
        change_poly_modout_data();
    }
    if (direction == 1) {
        forget_relations_before();
        // The mod-out data above is logged whatever the characteristic
        // table's state, so the log is always replayed; with it come back
        // the sparse entries a temporary conversion unlinked, whether or not
        // the way back names their arrays.
        restore_from_mod(&masterfix);
        restore_sparsefix();
        return;
    }
    if (need_to_set_char_poly) return;
    convert_char_tables();
}

void convert_char_tables() {
    if (!mod_is_prime || chpoly_block) return;
    for (int32_t i = 0; i < DENOM_SIZE; i++)
        if (denom[i]) quoly_change_to_mod(&denom[i]);
    // A basis polynomial whose denominator the characteristic divides
    // belongs to more points than the modulus has: Chpoly never reads it
    // in this ring, so its lost denominator is nothing to warn of.
    const int32_t k = std::min(limit_char_arrays, POL_ROWS_CONVERTED);
    for (int32_t i = 0; i < k; i++)
        for (int32_t j = i; j < k; j++)
            if (pol[POL_SIDE * j + i]) quoly_change_to_mod(&pol[POL_SIDE * j + i], false);
}

void load_char_tables() {
    if (!need_to_set_char_poly) return;
    need_to_set_char_poly = 0;
    read_char_poly_rows();
    // Tables read while the ground ring is modular join it as a change of
    // ring would have converted them; the way back restores them.
    if (modularmode) convert_char_tables();
}
