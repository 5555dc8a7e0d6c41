#!/usr/bin/env python3
"""Gcds of multivariate polynomials at the terminal, timed through the real
interpreter: the cost of a/b (kept in lowest terms by one gcd) next to the
cost of forming a and b.

  bench_sparse_gcd.py TARVEX [RUNS] [REPEATS]

For each case a = g f1 and b = g f2 are formed REPEATS times in one
session (10 by default: one forming can take less than a session's start-up
varies), and in a second one each forming is followed by c := a/b; the
difference is the gcd's share. The figure reported is gcd / products, which
does not depend on the machine. Each time is the least of RUNS sessions (3
by default), divided by REPEATS. A third session checks the result:
c f2 - f1 must show as 0.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_quoly import run  # noqa: E402  one session, timed

NAMES = ["x", "y", "z", "t", "u", "v", "w", "s"]


def header(n):
    return "".join(f"&(J = {v});\n" for v in NAMES[:n])


def least(binary, script, runs):
    return min(run(binary, script)[0] for _ in range(runs))


def random_sparse(rng, n, terms, degree):
    """1 plus `terms` random monomials of degree <= `degree`, small coefficients."""
    out = ["1"]
    for _ in range(terms):
        e = [0] * n
        for _ in range(rng.randint(1, degree)):
            e[rng.randrange(n)] += 1
        mono = "*".join(f"{NAMES[k]}^{e[k]}" for k in range(n) if e[k])
        out.append(f"{rng.randint(1, 9)}*{mono}")
    return "(" + "+".join(out) + ")"


def planted_univariate(rng, degree, digits):
    def poly(d):
        return "(" + "+".join(f"{rng.randrange(-10**digits, 10**digits)}*x^{i}" for i in range(d + 1)) + ")"
    return poly(degree // 2), poly(degree // 2), poly(degree // 2)


def cases(rng):
    six = ("(1 + x^2*y + y*z^3 + z^2*t + t*u^3 + u^2*v + v*x^3)",
           "(2 + x^2*t + y*u*v + z^3 + x*y^2)", "(3 + z^2*u + x*t*v + y^4 + t^2*v)")
    out = []
    for k in (4, 5):
        out.append((f"6 variables sparse, exponents {k}", 6, *(f"{f}^{k}" for f in six), False))
    out.append(("4 variables semi-sparse, exponents 5", 4, "(1 + x^2*y + y^3*z + z^2*t + t^4*x)^5",
                "(2 + x*y^3 + z^2 + t*x^2)^5", "(3 + y*z + x^2*t + t^3)^5", False))
    g, f1, f2 = (random_sparse(rng, 8, rng.randint(6, 10), 5) for _ in range(3))
    out.append(("8 variables sparse, cubes of 6-10 terms", 8, g + "^3", f1 + "^3", f2 + "^3", False))
    out.append(("dense 3 variables, ^20", 3, "(1 + x + y + z)^20", "(2 + x + y + z)^20", "(3 + x + y + z)^20", True))
    s7 = " + ".join(NAMES[:7])
    out.append(("dense 7 variables, ^5", 7, f"(1 + {s7})^5", f"(2 + {s7})^5", f"(3 + {s7})^5", True))
    for d in (500, 1000):
        out.append((f"one variable, degree {d}, 20 digits", 1, *planted_univariate(rng, d, 20), False))
    return out


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    repeats = int(argv[3]) if len(argv) > 3 else 10
    rng = random.Random(20261207)
    print(f"{'case':44s} {'products s':>11s} {'gcd s':>9s} {'gcd/products':>13s}")
    failed = 0
    for name, n, g, f1, f2, dense in cases(rng):
        setup = header(n) + f"g := {g}:\nf1 := {f1}:\nf2 := {f2}:\n"
        form = "a := g*f1:\nb := g*f2:\n"
        base = least(binary, setup, runs)
        products = (least(binary, setup + form * repeats, runs) - base) / repeats
        whole = (least(binary, setup + (form + "c := a/b:\n") * repeats, runs) - base) / repeats
        _, out = run(binary, setup + form + "c := a/b:\nc*f2 - f1;\n")
        results = out.split("\n>")
        if "***" in out or len(results) < 2 or results[-2].strip() != "0":
            failed += 1
            print(f"{name}: FAILED, last result {results[-2].strip()[:200]!r}")
            continue
        gcd = max(whole - products, 0.0)
        ratio = gcd / max(products, 1e-4)
        target = 4 if dense else 8
        print(f"{name:44s} {products:11.3f} {gcd:9.3f} {ratio:13.1f}   (target {target})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
