#!/usr/bin/env python3
"""Input nested past what the stack holds is refused with a numbered error,
not a crash: brackets, signs and exponents in expressions, brackets in
conditions and in array expressions, nested constructs, and brackets in a
body run by the integer evaluator. Each refusal leaves the stored values as
they were and the next statement runs. Nesting of a few thousand levels is
still read and gives its value.

  deep_nesting.py TARVEX
"""
import os
import subprocess
import sys
import tempfile

REFUSED = "Expression or statement nested too deeply."
DEEP = 2_000_000      # past the stack of the release build
SHALLOW = 5_000

CASES = [
    # (name, statement nested n deep, value shown when it is read to the end)
    ("brackets", lambda n: "(" * n + "a" + ")" * n + ";", "5"),
    ("signs", lambda n: "-" * n + "a;", None),
    ("exponents", lambda n: "2^" * n + "1;", "2"),
    ("condition", lambda n: "if " + "[" * n + "a = 5" + "]" * n + " then 7 fi;", "7"),
    ("constructs", lambda n: "if a = 5 then " * n + "8" + " fi" * n + ";", "8"),
    ("array signs", lambda n: "[q] := " + "-" * n + "[q];", None),
    ("integer body", lambda n: "Func D = Integer; " + "(" * n + "a" + ")" * n + ". D;", "5"),
]


def run(binary, lines):
    with tempfile.TemporaryDirectory() as cwd:
        proc = subprocess.run([binary], input=("\n".join(lines) + "\n").encode(), capture_output=True, cwd=cwd,
                              timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def main(argv):
    binary = os.path.abspath(argv[1])
    failures = []
    for name, make, value in CASES:
        for n, deep in ((DEEP, True), (SHALLOW, False)):
            statement = make(n)
            lines = ["a := 5;", "Array q[2];", "[q] := [(1, 2)];", statement, "a + 1;", "q[2];"]
            code, out = run(binary, lines)
            label = f"{name} nested {n} deep"
            if code != 0:
                failures.append(f"{label}: exit status {code}")
                continue
            # The shows of the last two statements: a + 1 and q[2].
            blocks = [b.strip() for b in out.split("\n>")]
            if len(blocks) < 3 or blocks[-3:-1] != ["6", "2"]:
                failures.append(f"{label}: stored values changed or lost: {blocks[-3:-1]}")
            if (REFUSED in out) != deep:
                failures.append(f"{label}: refusal {'missing' if deep else 'where none is due'}")
            if not deep and value is not None and value not in blocks:
                failures.append(f"{label}: value {value} not shown")
    for f in failures:
        print("FAIL:", f)
    print(f"{len(CASES) * 2 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
