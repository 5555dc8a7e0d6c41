// The timing line's four forms, and the data directory derived from the
// executable's path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "toplevel/execpath.h"
#include "toplevel/loop.h"

namespace {

std::string timing(int64_t wall_seconds, int64_t cpu_micro) {
    ::testing::internal::CaptureStdout();
    print_timing({wall_seconds, cpu_micro});
    return ::testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(TimingLine, ChoosesItsFormByTheElapsedTime) {
    EXPECT_EQ(timing(2, 2500000), " Elapsed CPU time:  2.500\n");
    EXPECT_EQ(timing(7, 6250000), " Elapsed real time:  7.  CPU time:  6.250\n");
    EXPECT_EQ(timing(75, 61000000), " Elapsed real time:  1:15.  CPU time: 1: 1.000\n");
    EXPECT_EQ(timing(3725, 125000), " Elapsed real time: 1: 2: 5.  CPU time: 0: 0.125\n");
}

TEST(DataDirectory, FollowsOneSymbolicLink) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(::testing::TempDir()) / "tarvex_execpath";
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / "lib" / "x");
    fs::create_symlink("../lib/x/prog", dir / "bin" / "prog");
    std::string exec = (dir / "bin" / "prog").string();
    EXPECT_EQ(data_directory_for(exec), (dir / "bin").string() + "/../lib/x/BACKWARD/");
    EXPECT_EQ(data_directory_for("prog"), "./BACKWARD/");
    EXPECT_EQ(data_directory_for("/usr/bin/prog"), "/usr/bin/BACKWARD/");
    fs::remove_all(dir);
}

TEST(ExecName, BareNamesAreSoughtOnThePath) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(::testing::TempDir()) / "tarvex_pathsearch";
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    std::string prog = (dir / "sub" / "prog").string();
    { std::FILE* f = std::fopen(prog.c_str(), "w"); std::fclose(f); }
    fs::permissions(prog, fs::perms::owner_all);
    std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (":/nonexistent:" + (dir / "sub").string()).c_str(), 1);
    std::string path;
    EXPECT_EQ(GetExecName("prog", path), 0);
    EXPECT_EQ(path, prog);
    unsetenv("PATH");
    EXPECT_EQ(GetExecName("prog", path), -1);
    EXPECT_EQ(path, "");
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(GetExecName("/abs/prog", path), 0);
    EXPECT_EQ(path, "/abs/prog");
    fs::remove_all(dir);
}
