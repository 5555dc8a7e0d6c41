#!/usr/bin/env python3
"""Exact division in Laurent mode: for random Laurent polynomials f, g in
x, y (negative exponents included; Laurent mode is refused in machine-
integer arithmetic, so over the integers) the
product P = f*g is formed by sympy, not by the interpreter. Divides(g, P, q)
must answer 1 with q = f; SDivide(g, ^P) must leave f; the perturbed P + 1
must not divide (g has two or more terms, so it is no unit) and SDivide
must leave it exactly as it was.

  laurent_divide_check.py TARVEX [SEED]
"""
import os
import random
import subprocess
import sys

import sympy

X, Y = sympy.symbols("x y")


def text(p):
    # Negative powers written as such: a quotient would make a rational
    # function, not a Laurent polynomial.
    out = []
    for (a, b), c in sympy.Poly(sympy.expand(p * X ** 20 * Y ** 20), X, Y).terms():
        out.append("(%s)*x^%d*y^%d" % (c, a - 20, b - 20))
    return " + ".join(out) if out else "0"


def rand_laurent(rng, terms):
    p = 0
    while p == 0 or len(sympy.Add.make_args(sympy.expand(p))) < 2:
        p = sum(rng.choice([-3, -2, -1, 1, 2, 3]) * X ** rng.randint(-3, 3) * Y ** rng.randint(-2, 2)
                for _ in range(terms))
    return sympy.expand(p)


def session(tarvex, cases):
    lines = ["&(J = y);", "&(J = x);", "&(l = 1);"]
    for k, (f, g, bad) in enumerate(cases):
        P = text(f * g)
        lines += [
            "w := %s;" % P,
            "Divides(%s, w, q);" % text(g),
            "q - (%s);" % text(f),
            "SDivide(%s, ^w);" % text(g),
            "w - (%s);" % text(f),
            "r := %s;" % text(sympy.expand(f * g + bad)),
            "Divides(%s, r);" % text(g),
            "SDivide(%s, ^r);" % text(g),
            "r - (%s);" % text(sympy.expand(f * g + bad)),
        ]
    script = "\n".join(lines) + "\n"
    out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=300).stdout
    out = out.replace(" `\n ", "").replace(" `\n", "")
    blocks = [b.strip() for b in out.split("\n>")[1:]]
    blocks = [b for b in blocks if b and b != "bye"]
    # Results after the three set-up lines.
    return blocks[3:]


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 5125)
    failures = 0
    for header in ("integers",):
        cases = []
        for _ in range(30):
            f = rand_laurent(rng, rng.randint(2, 4))
            g = rand_laurent(rng, rng.randint(2, 3))
            # A lone constant perturbation: g*f + 1 is divisible by g only
            # when g is a unit, and g has two or more terms.
            cases.append((f, g, 1))
        got = session(tarvex, cases)
        # Per case: w, Divides, q - f, SDivide, w - f, r, Divides, SDivide, r - r.
        want = ["1", "0", "1", "0", "0", "0", "0"]
        per = 9
        if len(got) != per * len(cases):
            print(header, "output count", len(got), "expected", per * len(cases))
            print("\n".join(got[:40]))
            failures += 1
            continue
        for k in range(len(cases)):
            blk = got[per * k: per * (k + 1)]
            seen = [blk[1], blk[2], blk[3], blk[4], blk[6], blk[7], blk[8]]
            if seen != want:
                f, g, _ = cases[k]
                print(header, "f =", text(f), "g =", text(g), "got", seen)
                failures += 1
    if failures:
        sys.exit(1)
    print("Laurent divisions: all checks passed")


if __name__ == "__main__":
    main()
