#!/usr/bin/env python3
"""Planted gcds over towers of two relations that stay a field modulo no
prime (Q(i)(sqrt 3); Q(sqrt -3)(2^(1/3)), a cubic over a quadratic;
Q(i)(sqrt i), whose outer relation uses the inner variable; a tower of
three-term relations with its prime lists given empty) and over one such
relation (t^4 + 1), in two and three variables, small and of the size where
the gcd over the field once ran for seconds to minutes.

Each case runs in a fresh interpreter under a time limit: g, a, b with
random coefficients in the tower; GCD(g*a, g*b) must be g, and the
rational function (g*a)/(g*b), which the gcd normalises, must be a/b with
numerator a and denominator b, each up to a field unit: by a small exact
arithmetic of the tower written here, p is q times a unit when
p*lc(q) = q*lc(p), lc the coefficient of the leading monomial in the
ordinary variables. So the gcd divides both products. The cofactors are
random, so coprime for these seeds.

  field_gcd_split_towers.py TARVEX [SEED] [TIMEOUT]

TIMEOUT (4 s) is the limit of each case's processor time.
"""
import os
import random
import re
import sys
from fractions import Fraction

import sympy

from cpu_limited import run_held

SENTINEL = "x^7777"

# Relations, inner level t first: monic in their variable, written as
# {exponents: coefficient}, t's by its exponent, s's by (s exponent, t
# exponent); then the degrees of the large cases in two and three
# variables, where the field's own Euclid took from seconds to minutes.
TOWERS = [
    ("Q(i)(sqrt 3)", "t^2 + 1", {2: 1, 0: 1}, "s^2 - 3", {(2, 0): 1, (0, 0): -3}, (9, 4)),
    ("Q(sqrt -3)(2^(1/3))", "t^2 + 3", {2: 1, 0: 3}, "s^3 - 2", {(3, 0): 1, (0, 0): -2}, (8, 5)),
    ("Q(i)(sqrt i)", "t^2 + 1", {2: 1, 0: 1}, "s^2 - t", {(2, 0): 1, (0, 1): -1}, (9, 4)),
    # The same field by one relation, which has no such prime either.
    ("Q(zeta 8)", "t^4 + 1", {4: 1, 0: 1}, None, None, (9, 5)),
    # Relations of three terms; this tower has such primes, but its lists
    # are given empty.
    ("Q(zeta 3)(s), s^2 + t*s + 2", "t^2 + t + 1, 1 : :", {2: 1, 1: 1, 0: 1},
     "s^2 + t*s + 2, 1 : :", {(2, 0): 1, (1, 1): 1, (0, 0): 2}, (9, 4)),
]


# ---------------------------------------------------------------- the tower's arithmetic
# An element is {(s exponent, t exponent): Fraction}, reduced.

class Tower:
    def __init__(self, mt, ms):
        self.dt = max(mt)
        ms = ms or {(1, 0): 1}     # no outer level: s = 0
        self.ds = max(e for e, _ in ms)
        # t^dt = -(rest), s^ds = -(rest): the rest of each relation.
        self.t_rest = {e: -Fraction(c) for e, c in mt.items() if e != self.dt}
        self.s_rest = {e: -Fraction(c) for e, c in ms.items() if e[0] != self.ds}

    def reduce(self, a):
        a = {k: v for k, v in a.items() if v}
        while True:
            high = [k for k in a if k[0] >= self.ds or k[1] >= self.dt]
            if not high:
                return a
            es, et = high[0]
            c = a.pop((es, et))
            if es >= self.ds:
                for (rs, rt), r in self.s_rest.items():
                    k = (es - self.ds + rs, et + rt)
                    a[k] = a.get(k, 0) + c * r
            else:
                for rt, r in self.t_rest.items():
                    k = (es, et - self.dt + rt)
                    a[k] = a.get(k, 0) + c * r
            a = {k: v for k, v in a.items() if v}

    def mul(self, a, b):
        r = {}
        for (s1, t1), c1 in a.items():
            for (s2, t2), c2 in b.items():
                k = (s1 + s2, t1 + t2)
                r[k] = r.get(k, 0) + c1 * c2
        return self.reduce(r)


def poly_times(p, c, tower):
    """p (a dict monomial -> element) times the element c."""
    out = {}
    for m, e in p.items():
        prod = tower.mul(e, c)
        if prod:
            out[m] = prod
    return out


def leading(p):
    return p[max(p)]


# ---------------------------------------------------------------- random operands

def rand_element(rng, tower):
    e = {(i, j): Fraction(rng.randint(-3, 3)) for i in range(tower.ds) for j in range(tower.dt)}
    e = tower.reduce(e)
    return e or {(0, 0): Fraction(1)}


def rand_poly(rng, tower, nvars, deg):
    """Dense up to total degree deg, with a term x^deg."""
    p = {}
    for m in monomials(nvars, deg):
        if rng.random() < 0.7:
            p[m] = rand_element(rng, tower)
    p[(deg,) + (0,) * (nvars - 1)] = rand_element(rng, tower)
    p[(0,) * nvars] = rand_element(rng, tower)
    return p


def monomials(nvars, deg):
    if nvars == 0:
        yield ()
        return
    for e in range(deg + 1):
        for rest in monomials(nvars - 1, deg - e):
            yield (e,) + rest


def element_text(e):
    parts = []
    for (es, et), c in sorted(e.items()):
        mono = "".join("*%s^%d" % (n, k) for n, k in (("s", es), ("t", et)) if k)
        parts.append("(%s)%s" % (c, mono))
    return "(" + " + ".join(parts) + ")"


def poly_text(p, names):
    out = []
    for m, e in sorted(p.items(), reverse=True):
        mono = "".join("*%s^%d" % (n, k) for n, k in zip(names, m) if k)
        out.append(element_text(e) + mono)
    return " + ".join(out)


# ---------------------------------------------------------------- reading the answer

def read_poly(text, names):
    text = re.sub(r"(\d)([a-z(])", r"\1*\2", text)
    text = re.sub(r"\)([a-z(])", r")*\1", text)
    syms = sympy.symbols(" ".join(names + ["t", "s"]))
    local = {str(v): v for v in syms}
    expr = sympy.sympify(text.replace("^", "**"), locals=local)
    poly = sympy.Poly(expr, *syms)
    n = len(names)
    out = {}
    for exps, c in poly.terms():
        m, (et, es) = exps[:n], exps[n:]
        out.setdefault(m, {})[(es, et)] = Fraction(int(c.p), int(c.q))
    return out


def run_case(tarvex, tower, nvars, deg, rng, timeout):
    label, rt, mt, rs, ms, _ = tower
    tower = Tower(mt, ms)
    names = ["x", "y", "z"][:nvars]
    g = rand_poly(rng, tower, nvars, deg)
    a = rand_poly(rng, tower, nvars, deg)
    b = rand_poly(rng, tower, nvars, deg)
    script = "&(J = t);\n" + ("&(J = s);\n" if rs else "")
    script += "".join("&(J = %s);\n" % v for v in reversed(names))
    for r in (rt, rs) if rs else (rt,):
        script += "&(P = %s);\n" % (r if "," in r else r + ", 1")
    script += "%s;\n" % SENTINEL
    script += "g := %s;\na := %s;\nb := %s;\n" % (poly_text(g, names), poly_text(a, names), poly_text(b, names))
    script += "ga := g*a;\ngb := g*b;\nh := GCD(ga, gb);\nr := ga/gb;\n"
    script += "%s;\nh;\nNumer(r);\nDenom(r);\n" % SENTINEL
    case = "%s, %d variables, degree %d" % (label, nvars, deg)
    limit = int(timeout)
    run = run_held(tarvex, script, limit, text=True)
    if run is None or run.returncode != 0:
        print("%s: no answer in %d s of processor time" % (case, limit))
        return 1
    out = run.stdout
    out = out.replace(" `\n ", "").replace(" `\n", "").split(SENTINEL)[-1]
    blocks = [b.strip() for b in out.split("\n>")[1:]]
    blocks = [b for b in blocks if b and b != "bye"]
    if len(blocks) != 3:
        print("%s: answers missing:\n%s" % (case, out[-600:]))
        return 1
    failures = 0
    # The gcd is g, the normalised quotient a/b, each up to a unit.
    for shown, want, what in zip(blocks, (g, a, b), ("the gcd", "the numerator", "the denominator")):
        got = read_poly(shown, names)
        if poly_times(got, leading(want), tower) != poly_times(want, leading(got), tower):
            print("%s: %s is not the planted one up to a unit: %s" % (case, what, shown[:300]))
            failures += 1
    return failures


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 61)
    timeout = float(sys.argv[3]) if len(sys.argv) > 3 else 4.0
    failures = 0
    for tower in TOWERS:
        large2, large3 = tower[5]
        for nvars, deg in ((2, 2), (3, 1), (2, large2), (3, large3)):
            failures += run_case(tarvex, tower, nvars, deg, rng, timeout)
    if failures:
        sys.exit(1)
    print("split tower gcds: all checks passed")


if __name__ == "__main__":
    main()
