// Every test executable starts as the interpreter does: stashes open, number
// constants and the dense work arrays built, the data directory read. Tests
// never read the terminal: a nested command level opened inside a test (a
// fatal internal error opens one) meets the end of input at once and
// unwinds, as the tests of those errors expect.
#include <gtest/gtest.h>

#include <cstdio>

#include "interp/scanner.h"

#include "numbers/numbers.h"
#include "poly/dense.h"
#include "support/data_once.h"
#include "storage/stash.h"

namespace {

class TarvexEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        open_system_stashes();
        init_number_constants();
        init_poly_work_arrays();
        // The tables stay in use for the whole process, so every record
        // ledger a test takes already counts them.
        load_data_once();
        if (FILE* f = std::fopen("/dev/null", "r")) Input = f;
    }
};

struct Registrar {
    Registrar() { ::testing::AddGlobalTestEnvironment(new TarvexEnvironment); }
};

const Registrar registrar;

}  // namespace
