#!/usr/bin/env python3
"""Factor over Z/p for odd p (3, 5, 13, 65521 and the word prime
2147483629) at degrees up to a few thousand, each case under a limit of
processor time that a factoring whose cost grows like n^3 in the degree
cannot meet.

Two kinds of input:
- planted: a product of distinct irreducibles known without factoring
  anything, (x + c)^n - a with a a generator of the multiplicative group
  and every prime of n dividing p - 1 (and p = 1 mod 4 when 4 divides n),
  which by the classical criterion for binomials is irreducible (some of
  one degree), times small random pieces whose factors sympy finds, one of
  them squared and two of one degree. Tarvex's list must be exactly the
  expected one.
- dense: a random monic polynomial. The product of the listed factors
  (with their multiplicities) must be the input, every factor must be
  monic, Tarvex's own Irred must call every factor irreducible, and every
  factor of degree up to SMALL_CHECK is tested here independently (Rabin's
  test: x^(p^d) = x modulo g, and gcd(x^(p^(d/r)) - x, g) = 1 for each
  prime r dividing d).

  factor_high_degree_property.py TARVEX [SEED] [SCALE]

SCALE multiplies every limit (the sanitizer build is far slower).
"""
import math
import random
import re
import sys

import sympy

from cpu_limited import run_held
from factor_small_primes_property import sympy_factors

X = sympy.symbols("x")
SMALL_CHECK = 40

# (p, degrees of the planted irreducible binomials, degree of the small
# pieces in all, seconds): the degrees are p - 1 smooth.
# Some are of degrees beyond where the word arrays of an earlier route gave
# up, some have large irreducibles of one degree for the equal-degree split.
PLANTED = [
    (5, [1024, 1024, 512], 80, 12),
    (13, [2304, 864], 80, 12),
    (65521, [2048, 1053], 80, 14),
    (65521, [512, 512], 40, 8),
    (2147483629, [768, 768, 384], 60, 16),
]
# (p, degree, seconds for each session).
DENSE = [
    (3, 3100, 12),
    (65521, 1200, 6),
    (13, 700, 4),
    (5, 400, 4),
    (2147483629, 500, 6),
]


# ---- polynomials: coefficient lists over Z/p, lowest first ----
def trim(f):
    while len(f) > 1 and f[-1] == 0:
        f.pop()
    return f


def mul(f, g, p):
    """f g mod p by one product of integers (Kronecker's substitution)."""
    bits = 2 * p.bit_length() + min(len(f), len(g)).bit_length() + 1
    width = (bits + 7) // 8

    def pack(h):
        return int.from_bytes(b"".join(c.to_bytes(width, "little") for c in h), "little")

    raw = (pack(f) * pack(g)).to_bytes(width * (len(f) + len(g) - 1), "little")
    return [int.from_bytes(raw[k:k + width], "little") % p for k in range(0, len(raw), width)]


def rem(f, g, p):
    """f mod g, g monic."""
    f = list(f)
    dg = len(g) - 1
    for k in range(len(f) - 1, dg - 1, -1):
        c = f[k]
        if c:
            for i in range(dg + 1):
                f[k - dg + i] = (f[k - dg + i] - c * g[i]) % p
    return trim(f[:dg] or [0])


def gcd(a, b, p):
    a, b = trim(list(a)), trim(list(b))
    while b != [0]:
        inv = pow(b[-1], p - 2, p)
        b = [c * inv % p for c in b]
        a, b = b, rem(a, b, p)
    return a


def frobenius_power(g, k, p):
    """x^(p^k) mod g (g monic, degree d) by the matrix of h -> h^p."""
    d = len(g) - 1
    xp = [1]
    base, e = [0, 1], p
    while e:
        if e & 1:
            xp = rem(mul(xp, base, p), g, p)
        base = rem(mul(base, base, p), g, p)
        e >>= 1
    rows = [[1] + [0] * (d - 1)]
    for _ in range(1, d):
        rows.append((rem(mul(rows[-1], xp, p), g, p) + [0] * d)[:d])
    h = ([0, 1] + [0] * d)[:d]
    for _ in range(k):
        h = [sum(h[j] * rows[j][i] for j in range(d)) % p for i in range(d)]
    return h


def rabin_irreducible(g, p):
    d = len(g) - 1
    if d <= 1:
        return d == 1
    x = ([0, 1] + [0] * d)[:d]
    if frobenius_power(g, d, p) != x:
        return False
    for r in sympy.primefactors(d):
        h = frobenius_power(g, d // r, p)
        h[1] = (h[1] - 1) % p
        if len(gcd(g, h, p)) > 1:
            return False
    return True


def to_text(f):
    return " + ".join("%d*x^%d" % (c, k) if k else str(c) for k, c in reversed(list(enumerate(f))) if c)


def parse_poly(text, p):
    """Coefficients of a displayed polynomial in x (symmetric residues)."""
    s = text.replace(" ", "")
    out = {}
    for sign, coef, var, power in re.findall(r"([+-]?)(\d*)(x?)(?:\^(\d+))?", s):
        if not coef and not var:
            continue
        c = int(coef) if coef else 1
        k = int(power) if power else (1 if var else 0)
        out[k] = (out.get(k, 0) + (-c if sign == "-" else c)) % p
    f = [0] * (max(out) + 1)
    for k, c in out.items():
        f[k] = c
    return f


def factor_rows(out, p):
    m = re.search(r"\[\[(.*?)\]\]", out.replace("`\n", ""), re.S)
    if not m:
        return None
    items = [s.strip() for s in m.group(1).split(",")]
    return [(parse_poly(items[k], p), int(items[k + 1])) for k in range(0, len(items) - 1, 2)]


def session(tarvex, p, body, limit):
    script = "&(p = %d);\n&(J = x);\n&(_d = 32000);\n%s" % (p, body)
    done = run_held(tarvex, script, limit, text=True)
    return None if done is None else done.stdout


def factor(tarvex, p, f, limit):
    out = session(tarvex, p, "u := %s;\nn := Factor(u, [r]);\n[r];\n" % to_text(f), limit)
    if out is None:
        return "over its limit of %g s" % limit
    rows = factor_rows(out, p)
    return rows if rows is not None else "no array in output"


# ---- the cases ----
def shifted_binomial(p, n, c, a):
    """(x + c)^n - a."""
    f = [math.comb(n, k) % p * pow(c, n - k, p) % p for k in range(n + 1)]
    f[0] = (f[0] - a) % p
    return [int(v) for v in f]


def planted(rng, p, degrees, small):
    g = sympy.primitive_root(p)
    expected = {}
    f = [1]
    for n in degrees:
        while True:
            a = pow(g, rng.choice([k for k in range(1, 50) if math.gcd(k, p - 1) == 1]), p)
            piece = shifted_binomial(p, n, rng.randrange(1, p), a)
            if tuple(piece) not in expected:
                break
        expected[tuple(piece)] = 1
        f = mul(f, piece, p)
    pieces = [[rng.randrange(p) for _ in range(d)] + [1] for d in (7, 7, 3)]
    while sum(len(h) - 1 for h in pieces) < small:
        pieces.append([rng.randrange(p) for _ in range(rng.randint(1, 12))] + [1])
    pieces.append(pieces[-1])   # one piece squared
    for h in pieces:
        f = mul(f, h, p)
        for k, e in sympy_factors(p, h).items():
            expected[k] = expected.get(k, 0) + e
    return f, expected


def check_planted(tarvex, p, f, expected, limit):
    rows = factor(tarvex, p, f, limit)
    if isinstance(rows, str):
        return rows
    # Multiplicities are shown as residues modulo p.
    got = {}
    for h, m in rows:
        if h[-1] != 1 or tuple(h) in got:
            return "a factor not monic, or listed twice"
        got[tuple(h)] = m
    if set(got) != set(expected) or any((got[h] - e) % p for h, e in expected.items()):
        return "degrees %s, expected %s" % (sorted((len(h) - 1, m) for h, m in got.items()),
                                            sorted((len(h) - 1, m) for h, m in expected.items()))
    return None


def check_dense(tarvex, p, f, limit):
    rows = factor(tarvex, p, f, limit)
    if isinstance(rows, str):
        return rows
    prod = [1]
    for h, m in rows:
        if h[-1] != 1 or m % p < 1:
            return "a factor not monic"
        for _ in range(m % p):
            prod = mul(prod, h, p)
    if trim(prod) != f:
        return "the product of the factors is not the input"
    for h, _ in rows:
        if len(h) - 1 <= SMALL_CHECK and not rabin_irreducible(h, p):
            return "reducible factor of degree %d" % (len(h) - 1)
    body = "".join("Irred(%s);\n" % to_text(h) for h, _ in rows)
    out = session(tarvex, p, body, limit)
    if out is None:
        return "Irred over its limit"
    answers = re.findall(r"^>\s*\n(-?\d+)\s*$", out, re.M)
    if answers != ["1"] * len(rows):
        return "Irred answers %s" % answers
    return None


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20261208
    scale = float(sys.argv[3]) if len(sys.argv) > 3 else 1.0
    rng = random.Random(seed)
    failures = []
    for p, degrees, small, limit in PLANTED:
        f, expected = planted(rng, p, degrees, small)
        why = check_planted(tarvex, p, f, expected, limit * scale)
        if why:
            failures.append("planted, p = %d, degree %d: %s" % (p, len(f) - 1, why))
    for p, n, limit in DENSE:
        f = [rng.randrange(p) for _ in range(n)] + [1]
        f[0] = f[0] or 1
        why = check_dense(tarvex, p, f, limit * scale)
        if why:
            failures.append("dense, p = %d, degree %d: %s" % (p, n, why))
    for line in failures:
        print(line)
    print("%d cases, %d failures" % (len(PLANTED) + len(DENSE), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
