#!/usr/bin/env python3
"""Sparse planted gcds of high degree over fields that stay a field modulo
no prime (Q(i)(sqrt 3), Q(sqrt 2)(sqrt -3), Q(zeta 8) by t^4 + 1), where
the only images are the copies modulo primes that split the field: a gcd
of degree about 250 in x and y once fell from there to remainder
sequences over the field and ran for many minutes; and over Q(i), whose
images modulo primes that keep it a field took half a minute.

Each case, in a session of its own held to a limit of processor time:
A of 9 terms and degree up to D in x and y, B and C of 6 terms and
degree up to 80, each with a constant term and coefficients of four
3-digit numbers on the field's basis; f = A*B, g = A^3*C. Chosen by the
seed: the gcd, which must divide f and g and be a multiple of A (the
interpreter's remainders over the field are 0), or the quotient f/g,
whose numerator must be B and denominator A^2*C, each up to a field unit
(each divides the other).

  tower_high_degree_gcd_property.py TARVEX [SEED] [LIMIT] [CASES]

LIMIT is the processor time allowed to a case in seconds (8 by default);
CASES (1) cases are run.
"""
import random
import sys

from case_report import report
from small_field_tower_property import run

FIELDS = [
    ("Q(i)(sqrt 3)", ["t", "s"], ["t^2 + 1", "s^2 - 3"], ["1", "s", "t", "t*s"]),
    ("Q(sqrt 2)(sqrt -3)", ["t", "s"], ["t^2 - 2", "s^2 + 3"], ["1", "s", "t", "t*s"]),
    ("Q(zeta 8)", ["t"], ["t^4 + 1"], ["1", "t", "t^2", "t^3"]),
    ("Q(i)", ["t"], ["t^2 + 1"], ["1", "t"]),
]

ROUTES = {
    "GCD": ("h := GCD(f, g):\n!!('R', f | h, g | h, h | pa);\n", "0 0 0"),
    "quotient": ("q := f/g:\nn := Numer(q):\nd := Denom(q):\nw := pa^2*pc:\n"
                 "!!('R', n | pb, pb | n, d | w, w | d);\n", "0 0 0 0"),
}


def case(binary, rng, limit):
    label, names, rels, basis = rng.choice(FIELDS)
    route = rng.choice(sorted(ROUTES))
    deg = rng.randint(240, 260)

    def element():
        return "(" + " + ".join(f"{rng.randint(100, 999) * rng.choice((1, -1))}*{m}" for m in basis) + ")"

    def sparse(terms, d):
        exps = {(d, rng.randrange(d + 1)), (0, 0)}
        while len(exps) < terms:
            exps.add((rng.randrange(d + 1), rng.randrange(d + 1)))
        return "(" + " + ".join(f"{element()}*x^{i}*y^{j}" for i, j in sorted(exps, reverse=True)) + ")"

    checks, want = ROUTES[route]
    script = ("".join(f"&(J = {v});\n" for v in names) + "&(J = y);\n&(J = x);\n"
              + "".join(f"&(P = {m}, 1);\n" for m in rels)
              + f"pa := {sparse(9, deg)}:\npb := {sparse(6, 80)}:\npc := {sparse(6, 80)}:\n"
              + "f := pa*pb:\ng := pa^3*pc:\n" + checks)
    where = f"{route} over {label}, degree {deg}"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    return None if vals.get("R") == want else f"{where}: {vals.get('R')}"


def main(argv):
    binary = argv[1]
    seed = int(argv[2]) if len(argv) > 2 else 20261209
    limit = float(argv[3]) if len(argv) > 3 else 8.0
    cases = int(argv[4]) if len(argv) > 4 else 1
    rng = random.Random(seed)
    return report([case(binary, rng, limit) for _ in range(cases)])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
