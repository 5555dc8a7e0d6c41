#!/usr/bin/env python3
"""Rational-function arithmetic at the terminal, timed through the real
interpreter on generated statement files.

  bench_quoly.py TARVEX

Each case is one session run on its own; the time of an empty session (the
start-up) is measured first and taken off. Every case ends with a statement
whose value must show as 0 (the same result reached a second way), so a wrong
answer fails the benchmark instead of only timing it.
"""
import os
import random
import subprocess
import sys
import tempfile
import time

HEADER = "&(J = x);\n&(J = y);\n"


def run(binary, script):
    """(seconds, output) of one session."""
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                              timeout=1800)
        return time.perf_counter() - start, proc.stdout.decode("utf-8", "replace")


def dense(rng, degree, size):
    """A dense bivariate polynomial of total degree `degree`, coefficients
    of up to `size` digits."""
    terms = []
    for i in range(degree + 1):
        for j in range(degree + 1 - i):
            c = rng.randrange(-10**size, 10**size)
            if c:
                terms.append(f"{c}*x^{i}*y^{j}")
    return "(" + "+".join(terms).replace("+-", "-") + ")"


def harmonic(n):
    """The sum of 1/(x+i) for i = 1..n, one term per statement, and the
    same sum written as one statement."""
    steps = "s := 0:\n" + "".join(f"s := s + 1/(x+{i}):\n" for i in range(1, n + 1))
    whole = "t := " + " + ".join(f"1/(x+{i})" for i in range(1, n + 1)) + ":\n"
    return steps, whole


def bivariate(rng, degree, size):
    """a = F G / (H K), b = H L / (F M) from dense factors: the product and
    the quotient must find and cancel the common factors. (setup, cases)."""
    f, g, h, k, l, m = (dense(rng, degree, size) for _ in range(6))
    setup = f"a := {f}*{g}/({h}*{k}):\nb := {h}*{l}/({f}*{m}):\n"
    return setup, [
        ("product a*b", "c := a*b:\n", f"c - {g}*{l}/({k}*{m});\n"),
        ("quotient a/b", "c := a/b:\n", "c*b - a;\n"),
        ("sum a+b", "c := a+b:\n", "c - b - a;\n"),
    ]


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(2026)
    base, _ = run(binary, HEADER)
    print(f"{'start-up, two variables (not counted below)':72s} {base:8.3f} s")
    steps, whole = harmonic(200)
    # (name, setup, timed statements, check whose value must be 0)
    cases = [
        ("sum of 1/(x+i), i = 1..200, term by term", HEADER, steps, whole + "s - t;\n"),
        ("sum of 1/(x+i), i = 1..200, one statement", HEADER, whole, steps + "t - s;\n"),
    ]
    for degree, size in ((6, 3), (8, 2)):
        setup, ops = bivariate(rng, degree, size)
        for name, timed, check in ops:
            cases.append((f"bivariate {name}: factors of degree {degree}, {size} digits",
                          HEADER + setup, timed, check))
    failed = 0
    setup_times = {}
    for name, setup, timed, check in cases:
        # The operands are built once without the timed statements and once
        # with them; the difference is the time of those statements.
        if setup not in setup_times:
            setup_times[setup] = run(binary, setup)[0]
        t1, _ = run(binary, setup + timed)
        _, out = run(binary, setup + timed + check)
        results = out.split("\n>")
        if "***" in out or len(results) < 2 or results[-2].strip() != "0":
            failed += 1
            print(f"{name}: FAILED, last result {results[-2].strip()[:200]!r}")
            continue
        print(f"{name:72s} {max(t1 - setup_times[setup], 0.0):8.3f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
