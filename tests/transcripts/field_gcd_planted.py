#!/usr/bin/env python3
"""Planted gcds over Q(i) and over GF(10007^2) (t^2 + 1 modded out) in two
and three variables, of the size where the gcd over the field once ran for
minutes: each factor of degree 10 in x (up to 10 in the others) with 5 to
20 terms, coefficients c0 + c1*t. The answer GCD(g*a, g*b) must be g made
monic in the field (over Q then cleared of denominators and of integer
content), computed here by a small field arithmetic of its own; that it is
the whole gcd is checked here too: a has a constant leading coefficient in
x, so a and b are coprime when their images at a random point of the other
variables are, by a small Euclid over the field. The same pairs as a
quotient a/b must lose g. And the gcd of the report that took 50 s, also
with the auxiliary lists given empty, where the field's own Euclid has to
keep its remainders small.

  field_gcd_planted.py TARVEX [SEED]
"""
import os
import random
import subprocess
import sys
from fractions import Fraction

P = 10007          # -1 is no square modulo P: t^2 + 1 stays irreducible
NAMES = ["x", "y", "z"]
SENTINEL = "x^7777"

REPORTED = ("g := (-1 - 6*t)*x^10*y^5 + x^10 + 1;\n"
            "a := g*((-6 + t)*x^2*y^7 + (-1 + 2*t)*x^7*y^8 + (1 + 8*t)*x^2 + (-1 + 8*t));\n"
            "b := g*(x^10 + y^9);\n"
            "!!('reported', GCD(a, b));\n")
REPORTED_ANSWER = "reported (37y^5 + 6t - 1)x^10 + 6t - 1"


# ---------------------------------------------------------------- the field, on pairs c0 + c1 t

class Field:
    def __init__(self, modulus):
        self.p = modulus

    def norm(self, x):
        return (x[0] % self.p, x[1] % self.p) if self.p else x

    def add(self, x, y):
        return self.norm((x[0] + y[0], x[1] + y[1]))

    def sub(self, x, y):
        return self.norm((x[0] - y[0], x[1] - y[1]))

    def mul(self, x, y):
        return self.norm((x[0] * y[0] - x[1] * y[1], x[0] * y[1] + x[1] * y[0]))

    def inv(self, x):
        n = x[0] * x[0] + x[1] * x[1]
        if self.p:
            ni = pow(n % self.p, self.p - 2, self.p)
            return self.norm((x[0] * ni, -x[1] * ni))
        return (Fraction(x[0], n), Fraction(-x[1], n))

    def zero(self, x):
        return self.norm(x) == (0, 0)


def monic_gcd_1(F, a, b):
    """Euclid on dense coefficient lists (highest first) over F; the degree."""
    def strip(p):
        while p and F.zero(p[0]):
            p = p[1:]
        return p

    a, b = strip(a), strip(b)
    while b:
        while len(a) >= len(b):
            f = F.mul(a[0], F.inv(b[0]))
            a = strip([F.sub(c, F.mul(f, d)) for c, d in zip(a, b + [(0, 0)] * (len(a) - len(b)))])
            if not a:
                break
        a, b = b, a
    return len(a) - 1


def specialise(F, poly, point, deg):
    """Coefficient list in x (highest first) of poly at the other variables' point."""
    out = [(0, 0)] * (deg + 1)
    for e, c in poly.items():
        v = c
        for k, val in zip(e[1:], point):
            v = F.mul(v, (val ** k, 0))
        out[deg - e[0]] = F.add(out[deg - e[0]], v)
    return out


def normalized(F, g):
    """g made monic in the field, keyed by (exponents, power of t); over Q
    then cleared of denominators and integer content."""
    li = F.inv(g[max(g)])
    out = {}
    for e, c in g.items():
        m = F.mul(c, li)
        for k in (0, 1):
            if m[k]:
                out[(e, k)] = m[k]
    if F.p:
        return out
    den = 1
    for c in out.values():
        den = den * c.denominator // gcd(den, c.denominator)
    ints = {key: int(c * den) for key, c in out.items()}
    cont = 0
    for c in ints.values():
        cont = gcd(cont, abs(c))
    return {key: c // cont for key, c in ints.items()}


def gcd(a, b):
    while b:
        a, b = b, a % b
    return a


# ---------------------------------------------------------------- planted pairs

def rand_poly(rng, nvars, deg=10, lo=5, hi=20):
    terms = {(deg,) + (0,) * (nvars - 1): (rng.randint(1, 9), rng.randint(-9, 9))}
    want = rng.randint(lo, hi)
    while len(terms) < want:
        terms[tuple(rng.randint(0, deg) for _ in range(nvars))] = (rng.randint(-9, 9), rng.randint(-9, 9))
    terms[(0,) * nvars] = (rng.randint(1, 9), rng.randint(-9, 9))
    return {e: c for e, c in terms.items() if c != (0, 0)}


def text(p, names):
    out = []
    for e, (a, b) in sorted(p.items(), reverse=True):
        mono = "*".join("%s^%d" % (n, k) for n, k in zip(names, e) if k)
        out.append("(%d + %d*t)%s" % (a, b, "*" + mono if mono else ""))
    return " + ".join(out)


def expected_text(F, g, names):
    terms = []
    for (e, k), c in sorted(normalized(F, g).items(), reverse=True):
        mono = "*".join("%s^%d" % (n, d) for n, d in zip(names, e) if d)
        terms.append("(%d)%s%s" % (c, "*t" if k else "", "*" + mono if mono else ""))
    return " + ".join(terms)


def coprime(F, rng, a, b, nvars):
    """a has a constant leading coefficient in x: a common factor of a and b
    keeps its degree in x at every point of the other variables."""
    for _ in range(3):
        point = [rng.randint(1, 50) for _ in range(nvars - 1)]
        if monic_gcd_1(F, specialise(F, a, point, 10), specialise(F, b, point, 10)) == 0:
            return True
    return False


def session(tarvex, script):
    out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=120).stdout
    out = out.replace(" `\n ", "").replace(" `\n", "")
    return out.split(SENTINEL, 1)[-1]


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 54)
    failures = 0
    for modular in (False, True):
        F = Field(P if modular else 0)
        script = ("&(p = %d);\n" % P if modular else "") + "&(J = t);\n&(P = t^2 + 1, 1);\n"
        script += "&(J = z);\n&(J = y);\n&(J = x);\n%s;\n" % SENTINEL
        if not modular:
            script += REPORTED
        cases = []
        for nvars in (2, 2, 2, 3, 3, 3):
            names = NAMES[:nvars]
            g, a, b = (rand_poly(rng, nvars) for _ in range(3))
            if not coprime(F, rng, a, b, nvars):
                sys.exit("seed gives cofactors with a common factor; choose another")
            k = len(cases)
            script += "g := %s;\na := g*(%s);\nb := g*(%s);\n" % (text(g, names), text(a, names), text(b, names))
            script += "h := GCD(a, b);\n!!('case %d', h - (%s));\n" % (k, expected_text(F, g, names))
            # The rational-function road cancels the same gcd.
            script += "r := a/b;\n!!('quotient %d', Deg(Denom(r), x));\n" % k
            cases.append(nvars)
        out = session(tarvex, script)
        field = "GF(%d^2)" % P if modular else "Q(i)"
        if not modular and REPORTED_ANSWER not in out:
            print("Q(i): the reported gcd is not", REPORTED_ANSWER)
            failures += 1
        for k, nvars in enumerate(cases):
            if "case %d 0\n" % k not in out:
                print("%s, %d variables, case %d: the gcd is not the planted factor" % (field, nvars, k))
                failures += 1
            if "quotient %d 10\n" % k not in out:
                print("%s, %d variables, case %d: the quotient keeps part of the gcd" % (field, nvars, k))
                failures += 1
    # Without auxiliary primes: Algorithm C and the field's Euclid on its
    # contents.
    out = session(tarvex, "&(J = t);\n&(P = t^2 + 1, 1 : :);\n&(J = y);\n&(J = x);\n%s;\n%s"
                  % (SENTINEL, REPORTED))
    if REPORTED_ANSWER not in out:
        print("Q(i) without auxiliary primes: the reported gcd is not", REPORTED_ANSWER)
        failures += 1
    if failures:
        print(out[-2000:])
        sys.exit(1)
    print("planted field gcds: all checks passed")


if __name__ == "__main__":
    main()
