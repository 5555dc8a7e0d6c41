#include "support/sympy_ref.h"

#include <cstdio>
#include <optional>

std::string python_command() {
    std::string quoted = "'";
    for (const char* c = TARVEX_PYTHON; *c; c++) quoted += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
    return quoted + "'";
}

::testing::AssertionResult sympy_importable() {
    // The import's own complaint is kept: a broken install reads differently
    // from an absent one.
    static const std::optional<std::string> complaint = []() -> std::optional<std::string> {
        FILE* f = popen((python_command() + " -c 'import sympy' 2>&1").c_str(), "r");
        if (!f) return std::string("the interpreter could not be started");
        std::string said;
        char buf[512];
        while (fgets(buf, sizeof buf, f)) said += buf;
        if (pclose(f) == 0) return std::nullopt;
        return said;
    }();
    if (!complaint) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the test reference sympy cannot be imported by " << TARVEX_PYTHON
           << " (scripts/install-deps.sh installs python3-sympy):\n" << *complaint;
}
