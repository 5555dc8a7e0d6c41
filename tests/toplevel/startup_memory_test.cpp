// The start-up file's memory line: megabytes x 225,000 units of 4 bytes,
// which must not wrap in 32 bits for a large amount.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "interp/scanner.h"
#include "storage/stash.h"
#include "support/data_once.h"
#include "toplevel/loop.h"

namespace {

int32_t budget_for(const char* first_line) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tarvex_startup_" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        FILE* f = std::fopen((dir / "tarvexstart.txt").c_str(), "w");
        std::fprintf(f, "%s\n", first_line);
        std::fclose(f);
    }
    const fs::path back = fs::current_path();
    fs::current_path(dir);
    load_data_once();
    init_scanner_structures();
    testing::internal::CaptureStdout();
    load_startup("/nonexistent/");
    testing::internal::GetCapturedStdout();
    fs::current_path(back);
    fs::remove_all(dir);
    return initial_memory;
}

}  // namespace

TEST(StartupMemory, BudgetIsMegabytesTimes225000) {
    EXPECT_EQ(budget_for("64"), 14400000);
    EXPECT_EQ(virtual_cut, 2880000);
    EXPECT_EQ(budget_for("9544"), 2147400000);
}

TEST(StartupMemory, LargeAmountsStopAtTheLargestCount) {
    EXPECT_EQ(budget_for("9545"), INT32_MAX);
    EXPECT_EQ(budget_for("100000"), INT32_MAX);
    EXPECT_EQ(budget_for("99999999999999"), INT32_MAX);
    EXPECT_GT(virtual_cut, 0);
}
