// Every test executable starts as the interpreter does: stashes open, number
// constants and the dense work arrays built, the data directory read.
#include <gtest/gtest.h>

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
    }
};

struct Registrar {
    Registrar() { ::testing::AddGlobalTestEnvironment(new TarvexEnvironment); }
};

const Registrar registrar;

}  // namespace
