#!/usr/bin/env python3
"""Values stored before a field relation is declared are converted to what
the same expression gives when typed after it: random quotients of
polynomials in x (the variable given the relation) and y, with negative
exponents in Laurent mode, in every ground ring (the integers, Z/p small and
word-sized, GF(2^8), GF(2^16)), Laurent mode on and off; and a tower of two
relations (t^2 = 2, x^2 = t) declared after the values. Quotients with a
planted common factor under t^24 - 2t + 2 are converted under a limit of
processor time.

Each stored value a must satisfy a - (its expression) = 0 afterwards, with
no internal error on the way.

  relation_convert_check.py TARVEX [SEED]
"""
import os
import random
import subprocess
import sys

from cpu_limited import run_held

# Irreducible cubics over each ground field (x^3 + x + 1 over F_2 stays
# irreducible over GF(2^8) and GF(2^16), degrees prime to 3).
RINGS = {
    "integers": ([], "x^3 - x - 1"),
    "p7": (["&(p = 7);"], "x^3 + x + 1"),
    "p-word": (["&(p = 2147483629);"], "x^3 + x + 3"),
    "gf256": (["&(p = 256);"], "x^3 + x + 1"),
    "gf65536": (["&(p = 65536);"], "x^3 + x + 1"),
}


def rand_poly(rng, laurent, variables, nonzero=False):
    lo = -2 if laurent else 0
    terms = []
    for _ in range(rng.randint(1, 3)):
        c = rng.choice([1, 2, 3, -1, -2])
        mono = "*".join("%s^%d" % (v, rng.randint(lo, 3)) for v in variables)
        terms.append("(%d)*%s" % (c, mono))
    if nonzero:
        terms.append("1")
    return " + ".join(terms)


def rand_value(rng, laurent, variables):
    num = rand_poly(rng, laurent, variables)
    if rng.random() < 0.5:
        return num
    return "(%s)/(%s)" % (num, rand_poly(rng, laurent, variables, nonzero=True))


def run(tarvex, lines):
    out = subprocess.run([tarvex], input="\n".join(lines) + "\n", capture_output=True,
                         text=True, timeout=120).stdout
    out = out.replace(" `\n ", "").replace(" `\n", "")
    blocks = [b.strip() for b in out.split("\n>")[1:]]
    return [b for b in blocks if b != "bye"], out


def check(tarvex, what, setup, relations, values):
    lines = list(setup)
    for k, v in enumerate(values):
        lines.append("a%d := %s;" % (k, v))
    lines += relations
    first = len(lines)
    for k, v in enumerate(values):
        lines.append("a%d - (%s);" % (k, v))
    got, raw = run(tarvex, lines)
    if "Tarvex error" in raw or "Warning.  In converting" in raw or len(got) != len(lines):
        print(what, "an internal error, a lost denominator or a statement showing nothing:")
        print(raw[-2500:])
        return 1
    bad = 0
    for k, v in enumerate(values):
        if got[first + k] != "0":
            print(what, "a%d := %s gave a difference of %s" % (k, v, got[first + k]))
            bad += 1
    return bad


def planted_poly(rng, degree):
    terms = ["(%d + %d*t)*x^%d" % (rng.randint(-5, 5), rng.randint(-5, 5), e) for e in range(degree)]
    return " + ".join(terms + ["x^%d" % degree])


def planted_check(tarvex, rng):
    """Quotients with a common factor in a scalar, dense and sparse cells and
    a %[k] slot's cell, then a field of degree 24 over the rationals: built
    after as they convert, cancelled, and converted as fast."""
    g, u, v = planted_poly(rng, 3), planted_poly(rng, 14), planted_poly(rng, 13)
    values = {"q": "(g*u)/(g*v)", "d[2]": "1/(g*u) + 1/(g*v)", "s[3,2]": "(u + 1)/(g*u)",
              "%[5][1]": "(g*v)/(g*u) - 1/(g*v)"}
    lines = ["&(J = t);", "&(J = x);", "g := %s:" % g, "u := %s:" % u, "v := %s:" % v,
             "Array d[2], s[4,4] Sparse, e[1]:", "%[5] := [e]:"]
    lines += ["%s := %s:" % kv for kv in values.items()]
    lines += ["&(P = t^24 - 2*t + 2, 1):"]
    lines += ["%s - (%s);" % kv for kv in values.items()]
    lines += ["q*v - u;"]
    out = run_held(tarvex, "\n".join(lines) + "\n", 0.5, text=True)
    if out is None:
        print("planted quotients: the declaration's conversion took more than 2 s of processor time")
        return 1
    got = [b.strip() for b in out.stdout.replace(" `\n ", "").split("\n>")[1:]][-6:-1]
    if "Tarvex error" in out.stdout or got != ["0"] * 5:
        print("planted quotients: differences", got)
        print(out.stdout[-2500:])
        return 1
    return 0


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 5121)
    failures = 0
    for ring, (header, rel) in RINGS.items():
        for laurent in (False, True):
            # x inner (it gets the relation), y outer.
            setup = ["&(J = x);", "&(J = y);"] + (["&(l = 1);"] if laurent else []) + header
            values = [rand_value(rng, laurent, ["x", "y"]) for _ in range(12)]
            failures += check(tarvex, "%s laurent=%d" % (ring, laurent), setup,
                              ["&(P = %s, 1);" % rel], values)
    # A tower over the rationals, the values made before either relation.
    for laurent in (False, True):
        setup = ["&(J = t);", "&(J = x);", "&(J = y);"] + (["&(l = 1);"] if laurent else [])
        # t's relation is binomial with c = -2: a negative power of t could
        # not be folded there (error 211), so t keeps non-negative powers.
        values = []
        for _ in range(10):
            v = rand_value(rng, laurent, ["x", "y"])
            values.append("(%s)*(t + %d)" % (v, rng.randint(0, 2)))
        failures += check(tarvex, "tower laurent=%d" % laurent, setup,
                          ["&(P = t^2 - 2, 1);", "&(P = x^2 - t, 1);"], values)
    failures += planted_check(tarvex, rng)
    if failures:
        sys.exit(1)
    print("Relation conversions: all checks passed")


if __name__ == "__main__":
    main()
