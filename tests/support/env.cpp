// Every test executable starts with the system's stashes open and the number
// constants built, as the interpreter does at start-up.
#include <gtest/gtest.h>

#include "numbers/numbers.h"
#include "storage/stash.h"

namespace {

class TarvexEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        open_system_stashes();
        init_number_constants();
    }
};

struct Registrar {
    Registrar() { ::testing::AddGlobalTestEnvironment(new TarvexEnvironment); }
};

const Registrar registrar;

}  // namespace
