#!/usr/bin/env python3
"""Coef on dense trivariate polynomials of about 10^5 and 2*10^5 terms (all
exponents below d in x, y and z: d = 47 and d = 59), and what doubling the
size costs.

  bench_coefficients.py TARVEX [RUNS]

Three forms are timed in a loop of calls: a full exponent list (one term),
one exponent (a whole coefficient in x and y is copied: z, adjoined last, is outermost) and a variable with
an exponent in the innermost variable (every term is visited). Each figure is the least of RUNS
sessions (3 by default), less a session that builds the polynomial and runs
the same loop with a plain assignment. Every case checks its value.
"""
import os
import subprocess
import sys
import tempfile
import time

FORMS = [
    # (name, calls, loop body, expected value of the last call)
    ("Coef(u, i, j, k)", 200000, "t := Coef(u, k, k + 1, k + 2)", "1"),
    ("Coef(u, i)", 5000, "t := Coef(u, k)", None),
    ("Coef(u, x, i)", 200, "t := Coef(u, x, k)", None),
]


def build(d):
    return (f"&(J = x); &(J = y); &(J = z);\n"
            f"u := ((x^{d} - 1)/(x - 1)) * ((y^{d} - 1)/(y - 1)) * ((z^{d} - 1)/(z - 1)):\n"
            f"Terms(u);\n")


def loop(d, calls, body):
    # The exponents k run evenly over 0 .. d - 1, so that the share of
    # terms a call passes is the same at both sizes.
    return (f"Func Loop(n) = for i = 1 to n do k := i - {d}*(i\\{d}); {body} od; t.\n"
            f"Loop({calls});\n")


def session(binary, script):
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd).stdout
        return time.perf_counter() - start, out.decode("utf-8", "replace")


def measured(binary, d, calls, body, expect, runs):
    base = min(session(binary, build(d) + loop(d, calls, "t := 1"))[0] for _ in range(runs))
    best = 1e300
    for _ in range(runs):
        took, out = session(binary, build(d) + loop(d, calls, body))
        if str(d ** 3) not in out.split():
            sys.exit(f"d = {d}: the polynomial has not {d ** 3} terms:\n{out[-600:]}")
        if "***" in out or (expect and expect not in out.split()[-3:]):
            sys.exit(f"{body}: unexpected output:\n{out[-600:]}")
        best = min(best, took)
    return max(best - base, 1e-4)


def main():
    binary = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    for name, calls, body, expect in FORMS:
        small = measured(binary, 47, calls, body, expect, runs)
        large = measured(binary, 59, calls, body, expect, runs)
        print(f"{calls:6d} x {name:18s} 103,823 terms {small * 1e3:8.1f} ms   "
              f"205,379 terms {large * 1e3:8.1f} ms   doubling {large / small:5.2f}x")


if __name__ == "__main__":
    main()
