#!/usr/bin/env python3
"""Gcds over an extension field against the same gcds without the relation.

  bench_field_gcd.py TARVEX [CASES] [SEED]

CASES planted gcds (4 by default) of each kind run in one session; each
time is the least of three.
Planted products g*a, g*b in two variables (x, y) and in three (x, y, z),
each factor of degree up to 10 in every variable with 5 to 20 terms whose
coefficients are c0 + c1*t, go to GCD over Q(i) (t^2 + 1 modded out) and
over GF(10007^2) (the same relation modulo 10007, where -1 is not a
square). The same statements over Z[t] and over Z/10007 with t an ordinary
variable are the reference: the figure printed is the ratio of the two
times, each the session time less that of a session that only builds the
operands. Every field answer is checked: it must be g made monic in the
field (and primitive over the integers over Q(i)), the cofactors being
coprime for these seeds.
"""
import os
import random
import subprocess
import sys
import tempfile
import time
from fractions import Fraction

P = 10007


def rand_poly(rng, nvars, deg=10, lo=5, hi=20):
    terms = {}
    # A term of top degree in x keeps every operand's degree in x honest.
    terms[(deg,) + (0,) * (nvars - 1)] = (rng.randint(1, 9), rng.randint(-9, 9))
    while len(terms) < rng.randint(lo, hi):
        e = tuple(rng.randint(0, deg) for _ in range(nvars))
        terms[e] = (rng.randint(-9, 9), rng.randint(-9, 9))
    terms[(0,) * nvars] = (rng.randint(1, 9), rng.randint(-9, 9))
    return {e: c for e, c in terms.items() if c != (0, 0)}


def text(p, names):
    out = []
    for e, (a, b) in sorted(p.items(), reverse=True):
        mono = "*".join("%s^%d" % (n, k) for n, k in zip(names, e) if k)
        out.append("(%d + %d*t)%s" % (a, b, "*" + mono if mono else ""))
    return " + ".join(out)


# ---------------------------------------------------------------- the expected answer

def field_ops(modulus):
    """(mul, inv) on pairs a + b t with t^2 = -1, over Q or over Z/modulus."""
    def norm(x):
        if modulus:
            return (x[0] % modulus, x[1] % modulus)
        return x

    def mul(x, y):
        return norm((x[0] * y[0] - x[1] * y[1], x[0] * y[1] + x[1] * y[0]))

    def inv(x):
        n = x[0] * x[0] + x[1] * x[1]
        if modulus:
            ni = pow(n % modulus, modulus - 2, modulus)
            return norm((x[0] * ni, -x[1] * ni))
        return (Fraction(x[0], n), Fraction(-x[1], n))
    return mul, inv


def normalized(g, modulus):
    """g made monic in the field; over Q then cleared of denominators and
    integer content: as the interpreter shows a gcd. Keys (exponents, k)
    for the coefficient of t^k."""
    mul, inv = field_ops(modulus)
    lead = g[max(g)]
    li = inv(lead)
    out = {}
    for e, c in g.items():
        m = mul(c, li)
        for k in (0, 1):
            if m[k]:
                out[(e, k)] = m[k]
    if modulus:
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


def expected_check(g, names, modulus, case):
    """A statement that prints 0 exactly when h<case> equals the normalized g."""
    terms = []
    for (e, k), c in sorted(normalized(g, modulus).items(), reverse=True):
        mono = "*".join("%s^%d" % (n, d) for n, d in zip(names, e) if d)
        factor = ("*t" if k else "")
        terms.append("(%d)%s%s" % (c, factor, "*" + mono if mono else ""))
    return "!!('diff %d', h%d - (%s));\n" % (case, case, " + ".join(terms))


# ---------------------------------------------------------------- sessions

def session(binary, script):
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=1200).stdout
        return time.perf_counter() - start, out.decode("utf-8", "replace")


def header(modular, relation, names):
    h = "&(p = %d);\n" % P if modular else ""
    h += "&(J = t);\n"
    if relation:
        h += "&(P = t^2 + 1, 1);\n"
    for n in reversed(names):
        h += "&(J = %s);\n" % n
    return h


def timed(binary, setup, statement, expect, runs):
    base = min(session(binary, setup)[0] for _ in range(runs))
    best = 1e300
    for _ in range(runs):
        took, out = session(binary, setup + statement)
        for e in expect:
            if e not in out:
                sys.exit("%s: expected %r, got:\n%s" % (statement[:60], e, out[-800:]))
        best = min(best, took)
    return max(best - base, 1e-3)


def main(argv):
    binary = os.path.abspath(argv[1])
    cases = int(argv[2]) if len(argv) > 2 else 4
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 54)
    runs = 3
    worst = 0.0
    for nvars in (2, 3):
        names = ["x", "y", "z"][:nvars]
        for label, modular in (("Q(i)", False), ("GF(%d^2)" % P, True)):
            # All gcds of a family in one session, so that the start-up's
            # jitter is paid once.
            build = statement = check = ""
            expect = []
            for k in range(cases):
                g = rand_poly(rng, nvars)
                a = rand_poly(rng, nvars)
                b = rand_poly(rng, nvars)
                build += "g%d := %s;\na%d := g%d*(%s);\nb%d := g%d*(%s);\n" % (
                    k, text(g, names), k, k, text(a, names), k, k, text(b, names))
                statement += "h%d := GCD(a%d, b%d);\n" % (k, k, k)
                check += expected_check(g, names, P if modular else 0, k)
                expect.append("diff %d 0" % k)
            field = timed(binary, header(modular, True, names) + build, statement + check, expect, runs)
            plain = timed(binary, header(modular, False, names) + build, statement, [], runs)
            ratio = field / plain
            worst = max(worst, ratio)
            print("%d variables over %-12s %2d gcds: %7.3f s; without the relation %7.3f s; ratio %5.1f"
                  % (nvars, label, cases, field, plain, ratio))
    print("largest ratio: %.1f" % worst)


if __name__ == "__main__":
    main(sys.argv)
