#!/usr/bin/env python3
"""Factor over Z/p (p = 2, 3, 5, 13, 65521) and GF(2^8) on polynomials of
degree up to about 300, checked against a factorisation known in advance.

Each input is a product of planted pieces raised to random powers (some
pieces repeated, some of one degree, so that the equal-degree split has
work), or a sparse one x^n + few terms. The expected list comes from the
pieces alone: over Z/p sympy factors each small piece (and unique
factorisation joins them); over GF(2^8) the pieces are chosen irreducible
(degree 1 to 3 without a root in the field, whose arithmetic is written
here: polynomial basis modulo t^8 + t^4 + t^3 + t + 1, sums exclusive or).
Tarvex's list must equal it exactly: the same monic factors with the same
multiplicities (shown modulo p, so compared modulo p), which also makes
every factor irreducible and their product the input.

For the sparse inputs (x^n + x^7 + x^3 + x + 1) the product
of the factors is multiplied out here and compared with the input, and
the degrees of the factors are compared with the irreducible degrees
found once by sympy (listed below): a reducible factor would merge two of
them.

Each case is a fresh process under its own limit of processor time (LIMIT seconds,
default 3; half of it for x^1000 + ... modulo 2, which takes well under a
tenth of a second), so that a factoring that takes seconds counts as a
failure.

  factor_small_primes_property.py TARVEX [SEED] [LIMIT]
"""
import random
import re
import sys

import sympy

from cpu_limited import run_held

X = sympy.symbols("x")

# (p, n, sorted degrees of the irreducible factors of x^n + x^7 + x^3 + x + 1
# over Z/p, by sympy, all of multiplicity 1; a share of the time limit).
SPARSE = [
    (2, 250, [11, 11, 42, 83, 103], 1),
    (2, 1000, [6, 9, 13, 28, 36, 65, 843], 0.5),
    (3, 300, [27, 95, 178], 1),
    (13, 300, [2, 3, 3, 50, 79, 163], 1),
    (65521, 600, [1, 1, 10, 26, 111, 451], 1),
]

GF_POLY = 0x11B


# ---- GF(2^8) ----
def gf_mul(a, b):
    r = 0
    while b:
        if b & 1:
            r ^= a
        a <<= 1
        if a & 0x100:
            a ^= GF_POLY
        b >>= 1
    return r


def gf_inv(a):
    r = 1
    for _ in range(254):
        r = gf_mul(r, a)
    return r


# ---- polynomials: coefficient lists, lowest first, over Z/p or GF(2^8) ----
class Ring:
    def __init__(self, p):
        self.p = p
        self.gf = p == 256

    def add(self, a, b):
        return a ^ b if self.gf else (a + b) % self.p

    def mul(self, a, b):
        return gf_mul(a, b) if self.gf else a * b % self.p

    def poly_mul(self, f, g):
        r = [0] * (len(f) + len(g) - 1)
        for i, a in enumerate(f):
            if a:
                for j, b in enumerate(g):
                    r[i + j] = self.add(r[i + j], self.mul(a, b))
        return r

    def value(self, f, v):
        r = 0
        for c in reversed(f):
            r = self.add(self.mul(r, v), c)
        return r

    def random_monic(self, rng, d):
        return [rng.randrange(self.p) for _ in range(d)] + [1]


def power(ring, f, e):
    r = [1]
    for _ in range(e):
        r = ring.poly_mul(r, f)
    return r


def to_text(f):
    terms = []
    for k in range(len(f) - 1, -1, -1):
        if f[k]:
            terms.append("%d*x^%d" % (f[k], k) if k else str(f[k]))
    return "(" + " + ".join(terms) + ")"


# ---- expected factorisations ----
def sympy_factors(p, f):
    """Monic irreducible factors of f over Z/p with multiplicities."""
    poly = sympy.Poly(list(reversed(f)), X, modulus=p)
    out = {}
    for h, e in poly.factor_list()[1]:
        c = [int(v) % p for v in reversed(h.all_coeffs())]
        inv = pow(c[-1], p - 2, p)
        key = tuple(v * inv % p for v in c)
        out[key] = out.get(key, 0) + e
    return out


def gf_irreducible_piece(ring, rng, d):
    while True:
        f = ring.random_monic(rng, d)
        if d == 1 or all(ring.value(f, v) for v in range(256)):
            return f


def planted_case(rng, p, degree_goal):
    """(input coefficients, expected {factor: multiplicity})."""
    ring = Ring(p)
    expected = {}
    total = [1]
    degree = 0
    while degree < degree_goal:
        if p == 256:
            d = rng.randint(1, 3)
            piece = gf_irreducible_piece(ring, rng, d)
            parts = {tuple(piece): 1}
        else:
            d = rng.choice([1, 2, 3, 5, 8, 13, 20, 30])
            piece = ring.random_monic(rng, d)
            parts = sympy_factors(p, piece)
        e = 1 if rng.random() < 0.7 else rng.randint(2, 4)
        if degree + d * e > degree_goal + 30:
            e = 1
        total = ring.poly_mul(total, power(ring, piece, e))
        degree += d * e
        for k, m in parts.items():
            expected[k] = expected.get(k, 0) + m * e
    return total, expected


# ---- running the interpreter ----
def parse_factors(out, p):
    """The rows of the displayed array: [(coefficients mod p, shown multiplicity)]."""
    text = out.replace("`\n", "")
    m = re.search(r"\[\[(.*?)\]\]", text, re.S)
    if not m:
        return None
    items = [s.strip() for s in m.group(1).split(",")]
    rows = []
    for k in range(0, len(items) - 1, 2):
        expr = re.sub(r"(\d)\s*x", r"\1*x", items[k]).replace("^", "**")
        poly = sympy.Poly(sympy.sympify(expr), X)
        coefs = [int(c) % p if p != 256 else int(c) for c in reversed(poly.all_coeffs())]
        rows.append((tuple(coefs), int(items[k + 1])))
    return rows


def factor(tarvex, p, f, limit):
    script = "&(p = %d);\n&(J = x);\n&(_d = 32000);\nu := %s;\nn := Factor(u, [r]);\n[r];\n" % (p, to_text(f))
    done = run_held(tarvex, script, limit, text=True)
    if done is None:
        return "timeout"
    rows = parse_factors(done.stdout, p)
    return rows if rows is not None else "no array in output"


def check_planted(tarvex, p, f, expected, limit):
    rows = factor(tarvex, p, f, limit)
    if isinstance(rows, str):
        return rows
    got = {}
    for h, m in rows:
        if h in got:
            return "factor listed twice"
        if h[-1] != 1:
            return "factor not monic"
        got[h] = m
    if set(got) != set(expected):
        return "factors %s, expected %s" % (sorted(len(h) - 1 for h in got), sorted(len(h) - 1 for h in expected))
    for h, e in expected.items():
        shown = got[h]
        if p == 256 and shown != e or p != 256 and (shown - e) % p:
            return "multiplicity %d shown for %d" % (shown, e)
    return None


def check_sparse(tarvex, p, n, degrees, limit):
    ring = Ring(p)
    f = [0] * (n + 1)
    for k in (n, 7, 3, 1, 0):
        f[k] = 1
    rows = factor(tarvex, p, f, limit)
    if isinstance(rows, str):
        return rows
    prod = [1]
    for h, m in rows:
        if h[-1] != 1 or m % p != 1:
            return "factor not monic, or not of multiplicity 1"
        prod = ring.poly_mul(prod, list(h))
    if prod != f:
        return "product differs from the input"
    got = sorted(len(h) - 1 for h, _ in rows)
    if got != degrees:
        return "degrees %s, expected %s" % (got, degrees)
    return None


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20261208
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 3.0
    rng = random.Random(seed)
    cases = []
    for p, goals in ((2, [60, 300, 700]), (3, [60, 300]), (5, [250]), (13, [250]),
                     (65521, [100, 300, 700]), (256, [40, 120])):
        for g in goals:
            cases.append((p, g))
    failures = []
    for p, g in cases:
        f, expected = planted_case(rng, p, g)
        why = check_planted(tarvex, p, f, expected, limit)
        if why:
            failures.append("p = %d, degree %d: %s" % (p, len(f) - 1, why))
    for p, n, degrees, share in SPARSE:
        why = check_sparse(tarvex, p, n, degrees, limit * share)
        if why:
            failures.append("p = %d, x^%d + x^7 + x^3 + x + 1: %s" % (p, n, why))
    for line in failures:
        print(line)
    print("%d cases, %d failures" % (len(cases) + len(SPARSE), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
