// Entry points of stored code that are not built yet: each reports that it
// is not available and leaves a neutral result. Every one goes when its
// module lands.
#include "interp/evaluator.h"
#include "interp/functions.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

// ---- calls and execution ----

void evaluate(FILE**, tokenrec* fname, quoly** value, name**) {
    feature_unavailable("User functions are not available yet.", 20, fname->name);
    quoly_set(0, value);
}

void getval(FILE**, cond*, quoly** value) {
    feature_unavailable("Stored statements are not available yet.", 31, token.name);
    quoly_set(0, value);
}

void call_sys_func(FILE**, quoly** value, name**) {
    feature_unavailable("Conditionals and loops are not available yet.", 19, token.name);
    quoly_set(0, value);
}

void remove_args(func*, int) {}
