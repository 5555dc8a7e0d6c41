// The relations above the field suspended for a matrix routine: copies
// without relations stand for those levels, the field levels keep theirs,
// and an error unwinding the statement brings the list back once, however
// many guards then ask for it again.
#include <gtest/gtest.h>

#include "poly/modout.h"
#include "poly/polyvars.h"
#include "quoly/modout_suspend.h"
#include "storage/assign.h"
#include "support/expect_error.h"
#include "support/poly_build.h"
#include "support/ring_setup.h"

namespace {

// The list state reset_pseudo_poly writes, put back at the end of a test.
struct ListState {
    VarGlobalsGuard vars;
    int above = modout_above_field, char2 = char2_degs1;
    ~ListState() {
        modout_above_field = above;
        char2_degs1 = char2;
    }
};

struct Relations {
    Relations() {
        for (pt* v = polynames; v; v = v->next) {
            v->relation = build_poly(1, {{-2, {0}}});   // v^2 = -2, kept as its value
            v->modout_degree = 2;
        }
        reset_pseudo_poly();
    }
    ~Relations() {
        for (pt* v = polynames; v; v = v->next) free_poly(&v->relation);
        reset_pseudo_poly();
    }
};

TEST(ModOutSuspension, CopiesAboveTheFieldAndComesBackAfterAnError) {
    PrimeRing ring(0);
    ListState state;
    AttachedVars vars(3);   // x, y, z; z (innermost) a field level
    Relations rel;
    polynames->next->next->field = 1;
    reset_pseudo_poly();
    ASSERT_EQ(field_depth, 3);
    ASSERT_EQ(modout_above_field, 1);
    pt* const list = polynames;
    pt* const field_level = polynames->next->next;

    ASSERT_EQ(need_to_turn_off_mod_out(0, 0, 0, 0, 3), 1);
    adjust_polyname_ptrs();
    EXPECT_EQ(using_new_polynames, 1);
    EXPECT_NE(polynames, list);
    EXPECT_EQ(polynames->relation, nullptr);
    EXPECT_EQ(polynames->next->relation, nullptr);
    EXPECT_EQ(polynames->next->next, field_level) << "the field level keeps its record";
    EXPECT_EQ(need_to_turn_off_mod_out(0, 0, 0, 0, 3), 0) << "no second suspension";

    EXPECT_TARVEX_ERROR(error(22, "/"), 22);
    EXPECT_EQ(using_new_polynames, 0);
    EXPECT_EQ(polynames, list);
    EXPECT_NE(polynames->relation, nullptr);
    EXPECT_EQ(pseudo_polynames, list);
    // A guard that resumes again finds nothing to do.
    resume_old_polynames();
    EXPECT_EQ(polynames, list);
    EXPECT_EQ(field_depth, 3);
}

// The field levels form one run that ends at the innermost variable: a
// field flag above a level without one is cleared; relations outside the
// field are counted; two general relations of degree 2 and no field allow
// the characteristic-2 shortcuts.
TEST(ModOutBookkeeping, FieldRunEndsAtTheInnermostVariable) {
    PrimeRing ring(0);
    ListState state;
    AttachedVars vars(3);
    Relations rel;
    EXPECT_EQ(field_depth, 0);
    EXPECT_EQ(pseudo_polynames, polynames);
    EXPECT_EQ(modout_above_field, 1);
    EXPECT_EQ(char2_degs1, 0) << "binomial relations do not count";
    polynames->field = 1;   // outermost only: not a run reaching the innermost
    reset_pseudo_poly();
    EXPECT_EQ(field_depth, 0);
    EXPECT_EQ(polynames->field, 0);
    polynames->next->field = polynames->next->next->field = 1;
    reset_pseudo_poly();
    EXPECT_EQ(field_depth, 2);
    EXPECT_EQ(polynames->field, 0);
    EXPECT_EQ(modout_above_field, 1);

    for (pt* v = polynames; v; v = v->next) {
        v->field = 0;
        free_poly(&v->relation);
        v->relation = build_poly(1, {{1, {2}}, {1, {1}}, {1, {0}}});
    }
    reset_pseudo_poly();
    EXPECT_EQ(char2_degs1, 1);
    free_poly(&polynames->relation);
    reset_pseudo_poly();
    EXPECT_EQ(char2_degs1, 0);
    EXPECT_EQ(pseudo_polynames, polynames);
}

}  // namespace
