#!/usr/bin/env python3
"""Planted gcds in one free variable under relations declared without the
field flag that make a field, held to a limit of processor time: Euclid
over the ring swells with the degree (over a minute at degree 60 under
t^2 - 2), the field's gcd does not.

Each case plants g in aa = g*a and bb = g*b (a and b random, coprime but
by chance): the gcd h must divide aa and bb and be divided by g (aa/h,
bb/h and h/g free of x in their denominators, which over the field only an
exact division makes so), print as the same gcd taken with the flag does
(monic over the ring, then integral and primitive), and the quotient
aa/bb must be one with Numer*bb - Denom*aa = 0 and Denom*h an associate of
bb. Over the rationals and modulo primes that keep the relation
irreducible (3, 5, 7 and 13, below the degrees), single relations and
towers.

  onevar_field_gcd_property.py TARVEX [SEED] [CASES] [SCALE]
"""
import os
import random
import sys
import tempfile

from case_report import report
from cpu_limited import run_held

# (modulus or None, [(variable, relation)], limit in seconds of processor time)
RINGS = [
    (None, [("t", "t^2 - 2")], 0.25),
    (None, [("t", "t^3 - 2")], 0.25),
    (None, [("t", "t^6 + t + 1")], 0.5),
    (None, [("t", "t^24 - 2*t + 2")], 1.5),
    (None, [("k", "k^2 - 2"), ("t", "t^3 - k")], 0.5),
    (5, [("t", "t^2 - 2")], 0.5),
    (3, [("t", "t^2 + 1")], 0.5),
    (7, [("t", "t^3 - 2")], 0.5),
    (13, [("k", "k^2 - 2"), ("t", "t^2 - k")], 0.5),
]


def element(rng, levels, span):
    """A random element of the relations' ring: two terms or three."""
    terms = []
    for _ in range(rng.randint(2, 3)):
        mono = "*".join(f"{v}^{rng.randrange(d)}" for v, d in levels)
        terms.append(f"({rng.randint(-span, span)})*{mono}")
    return " + ".join(terms)


def lead(rng, levels):
    """A leading coefficient that is never 0: two distinct monomials of the
    relations' basis with coefficients that no modulus here divides."""
    basis = [[]]
    for v, d in levels:
        basis = [m + [f"{v}^{e}"] for m in basis for e in range(d)]
    return " + ".join(f"({rng.choice([1, 2, -1, -2])})*" + "*".join(m) for m in rng.sample(basis, 2))


def poly(rng, levels, degree, span=9):
    """Leading with a unit of the field, which the ring's Euclid inverts:
    its remainders swell over the rationals."""
    return f"({lead(rng, levels)})*x^{degree} + " + " + ".join(
        f"({element(rng, levels, span)})*x^{i}" for i in range(degree))


def session(mod, rels, flag):
    levels = [(v, int(r.split("^")[1].split()[0])) for v, r in rels]
    head = (f"&(p = {mod}):\n" if mod else "") + "".join(f"&(J = {v}):\n&(P = {r}{flag}):\n" for v, r in rels)
    return head + "&(J = x):\n", levels


def case(rng, i):
    mod, rels, seconds = RINGS[i % len(RINGS)]
    dg, da, db = rng.randint(15, 25), rng.randint(30, 40), rng.randint(30, 40)
    head, levels = session(mod, rels, "")
    body = f"g := {poly(rng, levels, dg)}:\na := {poly(rng, levels, da)}:\nb := {poly(rng, levels, db)}:\n"
    body += "aa := g*a:\nbb := g*b:\nh := GCD(aa, bb):\n"
    checks = body + "!!('gcd', h);\n!!('divides', Denom(aa/h), Denom(bb/h), Denom(h/g));\n"
    checks += "r := aa/bb:\nc := (Denom(r)*h)/bb:\n!!('quotient', Numer(r)*bb - Denom(r)*aa);\n"
    checks += "!!('cancelled', Numer(c), Denom(c));\n"
    flagged = session(mod, rels, ", 1")[0] + body + "!!('gcd', h);\n"
    return head + checks, flagged, seconds


def value(out, tag):
    at = out.find(f">{tag}")
    return out[at:].split(">", 2)[1] if at >= 0 else None


def first_line(out, tag):
    return (value(out, tag) or "").split("\n")[0]


def judge(tarvex, script, flagged, cwd, seconds):
    out = run_held(tarvex, script, seconds, text=True, cwd=cwd)
    if out is None:
        return f"more than {seconds:g} s of processor time (times the slack)\n" + script
    ref = run_held(tarvex, flagged, 20 * seconds, text=True, cwd=cwd)
    # Over the field x/x cancels only where the division is exact.
    if "x" in (value(out.stdout, "divides") or "x"):
        return "h does not divide aa and bb, or g does not divide h:\n" + out.stdout[-400:] + "\n" + script
    if first_line(out.stdout, "quotient") != "quotient 0" or "x" in (value(out.stdout, "cancelled") or "x"):
        return "the quotient is not aa/bb with h cancelled:\n" + out.stdout[-400:] + "\n" + script
    if ref is None or value(out.stdout, "gcd") != value(ref.stdout, "gcd"):
        return "the form differs from the flagged gcd's:\n" + out.stdout[-400:] + "\n" + script
    return None


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 90)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    scale = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    with tempfile.TemporaryDirectory() as cwd:
        cases = [case(rng, i) for i in range(cases)]
        results = [judge(tarvex, script, flagged, cwd, seconds * scale) for script, flagged, seconds in cases]
    sys.exit(report(results))


if __name__ == "__main__":
    main()
