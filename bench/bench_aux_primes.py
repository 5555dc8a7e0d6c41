#!/usr/bin/env python3
"""The auxiliary primes of field relations, timed through the real
interpreter: each figure the least over RUNS sessions (3 by default) of the
interpreter's own CPU time for the one statement measured.

  bench_aux_primes.py TARVEX [RUNS]

- The first auxiliary list (and the second) for field relations of degree
  2, 4 and 8 over the rationals: seconds at most.
- Gcds of planted products g*a, g*b of degree 20, 30 and 40 in x over
  Q(alpha)[x] and Q(alpha)[x, y], alpha a root of t^2 + 1 and of t^3 - 2,
  with the auxiliary primes and with the lists given empty ("::"): the
  primes must win clearly.
- t^24 - 2t + 2 declared a field after g*u/(g*v) and 1/(g*u) + 1/(g*v)
  (degrees 3, 14, 13 in x) are stored, beside declaring it first and
  building them after: about the same.
"""
import os
import random
import re
import sys

import sympy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import session  # noqa: E402

X, Y, T = sympy.symbols("x y t")


def planted(rng, n, d, two):
    def field():
        return sum(rng.randint(-9, 9) * T ** k for k in range(n))

    def poly():
        p = X ** d + 1
        for e in range(d):
            p += field() * X ** e
            if two:
                p += field() * Y * X ** e + rng.randint(-3, 3) * Y ** 2 * X ** e
        return p

    g, a, b = poly(), poly(), poly()
    text = lambda p: str(sympy.expand(p)).replace("**", "^")
    return text(g * a), text(g * b)


def cpu_time(binary, setup, statement, expect, runs):
    """The least CPU time the interpreter reports for statement (for all
    the statements of it together)."""
    best = 1e300
    for _ in range(runs):
        _, out = session(binary, setup + "&(t = 1);\n" + statement)
        if expect not in out:
            sys.exit(f"{statement[:60]}: expected {expect!r}, got:\n{out[-600:]}")
        # Short statements report "Elapsed CPU time: s", long ones
        # "Elapsed real time: r.  CPU time: s".
        took = re.findall(r"CPU time:\s*([0-9.]+)", out)
        best = min(best, sum(float(t) for t in took))
    return max(best, 1e-3)


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    for rel in ("t^2 + 3", "t^4 - 2", "t^8 - 2"):
        took = cpu_time(binary, "&(J = t);\n", f"&(P = {rel}, 1);\n", "This creates a field", runs)
        print(f"first and second auxiliary lists for {rel}: {took:.3f} s")
    rng = random.Random(33)
    for rel, n in (("t^2 + 1", 2), ("t^3 - 2", 3)):
        for two in (False, True):
            for half in (10, 15, 20):
                u, v = planted(rng, n, half, two)
                times = []
                for lists in ("", "::"):
                    setup = (f"&(J = t);\n&(J = y);\n&(J = x);\n&(P = {rel}, 1{lists});\n"
                             f"uu := {u};\nvv := {v};\n")
                    times.append(cpu_time(binary, setup, "h := GCD(uu, vv);\n", "Elapsed CPU time", runs))
                ring = "Q(alpha)[x, y]" if two else "Q(alpha)[x]"
                print(f"{rel} {ring} degree {2 * half}: with primes {times[0]:.3f} s, "
                      f"without {times[1]:.3f} s ({times[1] / times[0]:.1f}x)")
    g, u, v = (" + ".join([f"({rng.randint(-5, 5)} + {rng.randint(-5, 5)}*t)*x^{e}" for e in range(d)] + [f"x^{d}"])
               for d in (3, 14, 13))
    values = f"g := {g}:\nu := {u}:\nv := {v}:\nq := (g*u)/(g*v):\nr := 1/(g*u) + 1/(g*v):\n"
    field = "&(P = t^24 - 2*t + 2, 1);\n"
    late = cpu_time(binary, "&(J = t);\n&(J = x);\n" + values, field, "This creates a field", runs)
    first = cpu_time(binary, "&(J = t);\n&(J = x);\n", field + values, "This creates a field", runs)
    print(f"t^24 - 2t + 2 declared after two planted fractions: {late:.3f} s, "
          f"declared first and the fractions built after: {first:.3f} s")


if __name__ == "__main__":
    main(sys.argv)
