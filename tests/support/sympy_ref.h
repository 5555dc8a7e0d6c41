// sympy is the tests' independent reference: its scripts run in the python
// interpreter the build found able to import it (TARVEX_PYTHON). A missing
// sympy fails the tests that need it, never skips them.
#pragma once
#include <gtest/gtest.h>

#include <string>

// The interpreter, quoted for a shell command line.
std::string python_command();

// Success when the interpreter imports sympy, else a failure that names
// sympy and the package that brings it. Asked once per process.
::testing::AssertionResult sympy_importable();
