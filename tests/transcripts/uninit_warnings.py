#!/usr/bin/env python3
"""The uninitialised-cell warnings are counted per statement, typed or read
from a file: statements that meet 3, then 25, then 2 empty cells print 3
warnings, then 20 and " ....etc...", then 2, whatever came before them.

  uninit_warnings.py TARVEX
"""
import os
import subprocess
import sys
import tempfile

WARNING = "Warning. Uninitialized array element has been set to 0."
STATEMENTS = ["Array a[2,2];", "a[1,1] := 1;", "[k] := [a];",
              "Array b[5,5];", "[k] := 2*[b];",
              "Array c[2,1];", "[k] := -[c];"]
# The warnings and etc-lines each statement prints, in order.
EXPECTED = [(0, 0), (0, 0), (3, 0), (0, 0), (20, 1), (0, 0), (2, 0)]


def per_statement(text):
    """(warnings, etc lines) of each prompt's output."""
    blocks = text.split("\n>")[1:]
    return [(b.count(WARNING), b.count(" ....etc...")) for b in blocks]


def main():
    binary = os.path.abspath(sys.argv[1])
    failures = 0
    with tempfile.TemporaryDirectory() as cwd:
        typed = subprocess.run([binary], input="\n".join(STATEMENTS) + "\n", capture_output=True, text=True,
                               cwd=cwd, timeout=60).stdout
        got = per_statement(typed)[:len(STATEMENTS)]
        if got != EXPECTED:
            failures += 1
            print(f"FAIL typed: {got}, want {EXPECTED}")
        with open(os.path.join(cwd, "f"), "w") as f:
            f.write("\n".join(STATEMENTS) + "\n")
        read = subprocess.run([binary], input="&R;\nf\n", capture_output=True, text=True, cwd=cwd, timeout=60).stdout
        want = (sum(w for w, _ in EXPECTED), sum(e for _, e in EXPECTED))
        got_read = (read.count(WARNING), read.count(" ....etc..."))
        if got_read != want:
            failures += 1
            print(f"FAIL read from a file: {got_read} warnings and etc-lines, want {want}")
    print(f"{failures} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
