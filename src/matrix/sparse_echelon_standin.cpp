// Stand-in for the sparse echelon workers until they are built: each call
// reports that they are missing and ends the statement.
#include "matrix/sparse_echelon.h"

#include "interp/evaluator.h"
#include "interp/token.h"
#include "toplevel/errors.h"

namespace {

[[noreturn]] void sparse_forms_missing() {
    feature_unavailable("Sparse echelon forms are not available yet.", 16, token.name);
    abandon_statement(16);
}

}  // namespace

int32_t sparse_redrowech(array*, const int*, sparse**) { sparse_forms_missing(); }

int32_t sparse_rowreduce(array*, int, const int*, std::vector<int32_t>*, sparse**, int32_t) {
    sparse_forms_missing();
}
