// The matrix commands through the command language give every record back:
// after runs that end normally, after runs stopped by an error before or
// inside the reduction, and with outputs replacing the matrix or each
// other; the sparse results pass the invariant checker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "matrix_command_fixture.h"
#include "interp/array_table.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "poly/polyvars.h"
#include "storage/workblocks.h"
#include "sparse_check.h"
#include "support/node_count.h"
#include "support/ring_setup.h"

using statement_runs::Outcome;
using statement_runs::StatementRuns;

namespace {

class MatrixCommandRecords : public MatrixCommandFixture {};

const char* const kFill =
    "Array a[4,5] Sparse, d[4,5], r[3], c[2]; "
    "a[1,1] := x + 1; a[1,3] := 2/3; a[2,2] := 4; a[3,1] := 2*x + 2; a[3,3] := 4/3; a[4,5] := x^2; "
    "[d] := [<i = 1, 4><j = 1, 5> a[i,j]]; "
    "r[1] := 3; r[2] := 1; r[3] := 3; c[1] := 5; c[2] := 1; "
    "Array big[50001,2] Sparse; big[3,2] := 1/2; "
    "Array e[4,5] Sparse, f[4,5] Sparse, g[4,5]; ";

const char* const kCommands =
    "[e] := [a]; "
    "Redrowech([e], [l], [li]); "
    "[e] := [a]; Rowreduce([e], [p], [q], [pp], [qq]); "
    "[e] := [a]; Rowreduce([e], [p], [p], [pp]); "
    "[f] := [a]; Pseudet([f], [px]); [f] := [a]; Pseudet([f], [px], 1); "
    "[g] := [d]; Colreduce([g], [gp], [gq]); [g] := [d]; Normalize([g], [gp], [gq], [gp]); "
    "[g] := [d]; FFLUC([g], [gd], [gl], [gp], [gpp], [gq], [gqq]); [g] := [d]; Pseudet([g], [px]); "
    "Minors([a], [r], [c], [m]); [e] := [a]; Minors(*[e], [r], [c], [m]); "
    "Minors([e], [r], [c], [m]); ";

// Statements each stopped by an error: in the call's reading, and inside
// the reduction once the outputs' identities and the work copy exist.
const std::vector<std::pair<std::string, int>> kStops = {
    {"Colreduce([a], [p]);", 242},
    {"Rowreduce([d], [p]);", 333},
    {"Redrowech([a], [l], [li], [z]);", 325},
    {"Pseudet([a], [px], 2, [y]);", 306},
    {"FFLU([d], [gd]);", 324},
    {"Minors([a], [r], [c]);", 327},
    {"Rowreduce([big], [bp], [bq], [bpp], [bqq]);", 375},
};

TEST_F(MatrixCommandRecords, EveryRecordGoesBack) {
    ASSERT_EQ(run(kFill).error, 0);
    ASSERT_EQ(run("[f] := [a]; Pseudet([f]); Array k[4,5]; [k] := [d]; Sparse[k]; 0;").error, 0);
    expect_sparse_ok("f");
    expect_sparse_ok("k");
    // A first pass takes the frames and records the later ones reuse.
    Outcome first = run(kCommands);
    ASSERT_EQ(first.error, 0) << first.printed;
    for (const char* s : {"l", "li", "p", "pp", "qq"}) expect_sparse_ok(s);
    for (const auto& [stmt, code] : kStops) {
        stopped(stmt);
        EXPECT_EQ(first_available, 1) << stmt << ": a work block still lent";
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
    EXPECT_EQ(val("a[3,3];"), mpq_class(4, 3));
    EXPECT_EQ(val("d[1,3];"), mpq_class(2, 3));
    // Rowreduce([h], [p], [p], [h]): the last output, R x R, replaced the matrix.
    ASSERT_EQ(run("Array h[4,5] Sparse; [h] := [a]; Rowreduce([h], [p], [p], [h]);").error, 0);
    EXPECT_EQ(named("h")->rows, 4);
    EXPECT_EQ(array_columns(named("h")), 4);
    expect_sparse_ok("h");
}

}  // namespace
