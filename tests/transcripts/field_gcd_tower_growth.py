#!/usr/bin/env python3
"""Planted gcds over towers of two field relations (2 x 2 and a single
4 x 1 that stay a field modulo no prime, 2 x 3 and 3 x 2 that do modulo
some) in two and three variables: small ones, and ones of the size where
proving the candidate by division over the field once took seconds.

Each case runs in a fresh interpreter: g, a, b with random coefficients in
the tower; h := GCD(g*a, g*b) must be g up to a unit of the field (checked
here by exact arithmetic of the tower, p*lc(q) = q*lc(p)), so it divides
both products (a large gcd, shown only in part, is compared with g inside
the session). The rational function r := (g*a)/(g*b) must come out as
a/b: in the small cases numerator and denominator each a and b up to a
unit (the cofactors are random, so coprime for these seeds), in the large
ones of the right degrees and with Numer(r)*b = Denom(r)*a at a point. The
small cases also ask the interpreter's own remainders (g*a) | h and
(g*b) | h, which must be 0. The processor time of the gcd statement and of
the normalisation of r (the interpreter's timing switch) must each stay
within LIMIT: the products that build the operands cost more and are left
out of the measure; the whole session is held to a generous limit of
processor time as well.

  field_gcd_tower_growth.py TARVEX [SEED] [LIMIT]

LIMIT: 0.5 s.
"""
import os
import random
import re
import sys

from cpu_limited import run_held
from field_gcd_split_towers import SENTINEL, Tower, leading, poly_text, poly_times, rand_poly, read_poly

# Relations, inner level t first, as in field_gcd_split_towers.py; then
# the degrees of the large cases in two and three variables.
TOWERS = [
    ("Q(i)(sqrt 3)", "t^2 + 1", {2: 1, 0: 1}, "s^2 - 3", {(2, 0): 1, (0, 0): -3}, (36, 14)),
    ("Q(i)(2^(1/3))", "t^2 + 1", {2: 1, 0: 1}, "s^3 - 2", {(3, 0): 1, (0, 0): -2}, (24, 9)),
    ("Q(2^(1/3))(i)", "t^3 - 2", {3: 1, 0: -2}, "s^2 + 1", {(2, 0): 1, (0, 0): 1}, (24, 9)),
    ("Q(zeta 8)", "t^4 + 1", {4: 1, 0: 1}, None, None, (36, 14)),
]


def run_case(tarvex, tower, nvars, deg, rng, limit, full):
    label, rt, mt, rs, ms, _ = tower
    field = Tower(mt, ms)
    names = ["x", "y", "z"][:nvars]
    g = rand_poly(rng, field, nvars, deg)
    a = rand_poly(rng, field, nvars, deg)
    b = rand_poly(rng, field, nvars, deg)
    script = "&(J = t);\n" + ("&(J = s);\n" if rs else "")
    script += "".join("&(J = %s);\n" % v for v in reversed(names))
    for r in (rt, rs) if rs else (rt,):
        script += "&(P = %s, 1);\n" % r
    script += "g := %s;\na := %s;\nb := %s;\n" % (poly_text(g, names), poly_text(a, names), poly_text(b, names))
    script += "ga := g*a;\ngb := g*b;\n&(t = 1);\nh := GCD(ga, gb);\nr := ga/gb;\n&(t = 0);\n"
    # A large gcd is shown only in part: it is compared with g inside the
    # session instead, h*lc(g) - g*lc(h) with lc the coefficient of the
    # highest power of x (a field element: the operands are dense).
    if full:
        asked = ["h", "Numer(r)", "Denom(r)", "ga | h", "gb | h"]
    else:
        # r = a/b: its degrees, and Numer(r)*b = Denom(r)*a at a point.
        at = "#(%s)" % ", ".join(str(c) for c in (3, 5, 7)[:nvars])
        asked = ["Deg(h, x)", "h*Coef(g, x, Deg(g, x)) - g*Coef(h, x, Deg(h, x))",
                 "Deg(Numer(r), x) + Deg(Denom(r), x)",
                 "Numer(r)%s*b%s - Denom(r)%s*a%s" % (at, at, at, at)]
    script += "%s;\n%s;\n" % (SENTINEL, ";\n".join(asked))
    case = "%s, %d variables, degree %d" % (label, nvars, deg)
    run = run_held(tarvex, script, 20 * limit + 10, text=True)
    if run is None or run.returncode != 0:
        print("%s: no answer in %d s of processor time" % (case, 20 * limit + 10))
        return 1
    before, _, after = run.stdout.partition(SENTINEL)
    spent = [float(m) for m in re.findall(r"CPU time:\s*([0-9.]+)", before)]
    if len(spent) < 3:
        print("%s: no timing of the gcd:\n%s" % (case, before[-600:]))
        return 1
    failures = 0
    for took, what in zip(spent[-2:], ("the gcd", "the quotient's normalisation")):
        if took > limit:
            print("%s: %s took %.3f s of processor time (limit %.2f s)" % (case, what, took, limit))
            failures += 1
    out = after.replace(" `\n ", "").replace(" `\n", "")
    blocks = [b.strip() for b in out.split("\n>")[1:]]
    blocks = [b for b in blocks if b and b != "bye"]
    if len(blocks) != len(asked):
        print("%s: answers missing:\n%s" % (case, out[-600:]))
        return failures + 1
    if not full:
        if blocks != [str(deg), "0", str(2 * deg), "0"]:
            print("%s: the gcd is not the planted one up to a unit: %s" % (case, blocks))
            failures += 1
        return failures
    for shown, want, what in zip(blocks, (g, a, b), ("the gcd", "the numerator", "the denominator")):
        got = read_poly(shown, names)
        if poly_times(got, leading(want), field) != poly_times(want, leading(got), field):
            print("%s: %s is not the planted one up to a unit: %s" % (case, what, shown[:300]))
            failures += 1
    for shown, what in zip(blocks[3:], ("g*a", "g*b")):
        if shown != "0":
            print("%s: the gcd leaves a remainder in %s: %s" % (case, what, shown[:300]))
            failures += 1
    return failures


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 60)
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 0.5
    failures = 0
    for tower in TOWERS:
        large2, large3 = tower[5]
        for nvars, deg, full in ((2, 3, True), (3, 2, True), (2, large2, False), (3, large3, False)):
            failures += run_case(tarvex, tower, nvars, deg, rng, limit, full)
    if failures:
        sys.exit(1)
    print("tower gcd growth: all checks passed")


if __name__ == "__main__":
    main()
