#!/usr/bin/env python3
"""Planted gcds of sparse random polynomials in four to eight variables
modulo 2, 3 and 13 (dozens of terms, up to 160; exponents 0-12 in every variable),
each case in a session of its own with a limit of processor time (such
cases once fell back to remainder sequences and never ended):

  - g, a, b have a leading x^13 with coefficient 1, so the normalised gcd
    of g*a and g*b is g itself once a and b are coprime; a and b are proved
    coprime here by images at points (a common factor would divide the
    leading coefficient 1 unless it involved x, and then show in the
    images), and again in the session: GCD(a, b) must be 1;
  - the answer must be g, GCD(g*b, g*a) too, and the quotient
    (g*a)/(g*b) must come out as a/b.

  sparse_small_prime_gcd_property.py TARVEX [SEED] [LIMIT]

LIMIT is the processor time allowed to one case in seconds (10 by default).
"""
import random
import sys

from case_report import report
from small_field_tower_property import run
from small_prime_gcd_property import no_common_factor

NAMES = ["x", "y", "z", "w", "v", "u", "s", "r"]
DEG = 12

# (modulus, variables, terms of each of g, a, b)
CASES = [(13, 6, 60), (13, 4, 60), (13, 6, 80), (3, 6, 60), (3, 8, 40), (2, 6, 40), (2, 4, 60), (2, 8, 30),
         (13, 6, 160)]
# Shapes with no power of a lone term in any variable.
PAIRED = [(13, 6, 120)]


def sparse_poly(rng, p, n, terms):
    d = {(DEG + 1,) + (0,) * (n - 1): 1}
    for _ in range(terms - 2):
        d[tuple(rng.randrange(DEG + 1) for _ in range(n))] = rng.randrange(1, p)
    d[(0,) * n] = rng.randrange(1, p)
    return as_text(d, p)


def paired_poly(rng, p, n, terms):
    # Every power of every variable in two terms at least (0 in three, with
    # the leading x^13), so no power anchors the scale of an image.
    half = terms // 2
    cols = []
    for _ in range(n):
        vals = [0] + [rng.randrange(DEG + 1) for _ in range(half - 1)]
        vals *= 2
        rng.shuffle(vals)
        cols.append(vals)
    d = {(DEG + 1,) + (0,) * (n - 1): 1}
    for e in zip(*cols):
        d[e] = rng.randrange(1, p)
    return as_text(d, p)


def as_text(d, p):
    text = " + ".join(f"{c}*" + "*".join(f"{NAMES[k]}^{x}" for k, x in enumerate(e)) for e, c in d.items())
    return "(" + text + ")", {e: c % p for e, c in d.items() if c % p}


def check(binary, rng, p, n, terms, limit, make=sparse_poly):
    g, _ = make(rng, p, n, terms)
    while True:
        (a, A), (b, B) = make(rng, p, n, terms), make(rng, p, n, terms)
        if no_common_factor([A, B], p, n, rng, lambda v: v == 0, fallback=False):
            break
    script = (f"&(p = {p});\n" + "".join(f"&(J = {v});\n" for v in reversed(NAMES[:n])) +
              f"g := {g}:\na := {a}:\nb := {b}:\ngu := g*a:\ngv := g*b:\n"
              "!!('H', GCD(gu, gv) - g);\n!!('K', GCD(gv, gu) - g);\n!!('C', GCD(a, b));\n"
              "c := gu/gv:\n!!('N', Numer(c) - a);\n!!('D', Denom(c) - b);\n")
    where = f"planted gcd modulo {p}, {n} variables, {terms} terms"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    want = {"H": "0", "K": "0", "C": "1", "N": "0", "D": "0"}
    bad = {k: vals.get(k) for k, v in want.items() if vals.get(k) != v}
    return f"{where}: {bad}" if bad else None


def main(argv):
    binary = argv[1]
    seed = int(argv[2]) if len(argv) > 2 else 20261209
    limit = float(argv[3]) if len(argv) > 3 else 10.0
    rng = random.Random(seed)
    results = [check(binary, rng, p, n, terms, limit) for p, n, terms in CASES]
    results += [check(binary, rng, p, n, terms, limit, paired_poly) for p, n, terms in PAIRED]
    return report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
