// The integer normal forms of sparse matrices through the command language
// give every record, entry and frame back, after normal runs and after runs
// stopped by an error; the stopped runs leave the matrix as it was, and the
// results and transforms pass the invariant checker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "matrix_command_fixture.h"
#include "interp/array_table.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "poly/polyvars.h"
#include "sparse_check.h"
#include "storage/workblocks.h"
#include "support/node_count.h"
#include "support/ring_setup.h"

using statement_runs::Outcome;
using statement_runs::StatementRuns;

namespace {

class SparseIntNormalRecords : public MatrixCommandFixture {};

// A 4 x 5 integer matrix with a 30-digit entry, and one with a fraction
// and a polynomial among integers.
const char* const kFill =
    "Array a[4,5] Sparse, e[4,5] Sparse, b[3,3] Sparse; "
    "a[1,1] := 6; a[1,3] := -4; a[2,2] := 10; a[2,5] := 15; a[3,1] := 123456789012345678901234567890; "
    "a[3,4] := -7; a[4,2] := 4; a[4,5] := 9; "
    "b[1,1] := 2; b[2,2] := 1/3; b[3,1] := x; ";

const char* const kCommands =
    "[e] := [a]; Hermite([e], [p], [q], [r], [s]); "
    "[e] := [a]; Hermite([e], [q]); "
    "[e] := [a]; Smith([e], [p], [q], [r], [s]); "
    "[e] := [a]; Smith([e]); "
    "[e] := [a]; MSmith([e]); "
    "[e] := [a]; MSmith([e], 360, [p], [q], [r], [s]); "
    "[e] := [a]; Smith([e], [p], [p], [e]); ";

const std::vector<std::pair<std::string, int>> kStops = {
    {"Hermite([b], [p]);", 254},
    {"Smith([b]);", 254},
    {"MSmith([b], 12, [p], [q]);", 254},
    {"MSmith([a], 0, [p]);", 134},
    {"MSmith([a], x);", 227},
    {"MSmith([a], ^a[1,1]);", 313},
};

TEST_F(SparseIntNormalRecords, EveryRecordGoesBack) {
    ASSERT_EQ(run(kFill).error, 0);
    // Two first passes take the frames and records the later ones reuse
    // (the first starts with e of another shape).
    for (int k = 0; k < 2; k++) {
        Outcome first = run(kCommands);
        ASSERT_EQ(first.error, 0) << first.printed;
        for (const char* s : {"p", "q", "r", "s", "e"}) expect_sparse_ok(s);
        for (const auto& [stmt, code] : kStops) stopped(stmt);
    }
    free_quoly(&prevnum);
    const int64_t colms = colms_in_use();
    const int64_t frames = frames_free();
    const int64_t records = arrays_free();
    const int32_t top = endarr;
    RecordLedger ledger;
    for (int k = 0; k < 2; k++) {
        Outcome o = run(kCommands);
        ASSERT_EQ(o.error, 0) << o.printed;
        for (const auto& [stmt, code] : kStops) {
            Outcome s = stopped(stmt);
            EXPECT_EQ(s.error, code) << stmt << " printed " << s.printed;
            EXPECT_EQ(first_available, 1) << stmt << ": a work block still lent";
        }
        free_quoly(&prevnum);
    }
    EXPECT_TRUE(ledger.balanced());
    EXPECT_EQ(colms_in_use(), colms);
    EXPECT_EQ(frames_free(), frames);
    EXPECT_EQ(arrays_free(), records);
    EXPECT_EQ(endarr, top);
    // The stopped statements left the matrices as they were.
    expect_sparse_ok("a");
    expect_sparse_ok("b");
    EXPECT_EQ(val("a[3,1];"), mpq_class("123456789012345678901234567890"));
    EXPECT_EQ(val("b[2,2];"), mpq_class(1, 3));
    // Smith([e], [p], [p], [e]): the third output (t2, R x R) replaced the matrix.
    EXPECT_EQ(named("e")->rows, 4);
    EXPECT_EQ(array_columns(named("e")), 4);
    expect_sparse_ok("e");
}

}  // namespace
