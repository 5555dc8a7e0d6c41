#!/usr/bin/env python3
"""Factor modulo 2 at degrees of several thousands, each session under a
limit of processor time, checked by means written here.

Polynomials over GF(2) are Python integers (bit k the coefficient of x^k);
products use integer products of the bits spread 16 apart, whose slots
hold the coefficient counts. Irreducibility is Rabin's test: f of degree d
is irreducible exactly when x^(2^d) = x modulo f and x^(2^(d/q)) - x is
prime to f for each prime q dividing d.

- Planted: a product of known irreducibles (trinomials of degrees 521 to
  9689, two of the same degree, and random ones of degree up to 24, some
  sharing a degree, some raised to a power), with a square-free part past
  16,000. Every piece passes Rabin's test here, so Tarvex's list must be
  exactly the pieces with their multiplicities (shown modulo 2).
- Sparse x^n + a few low terms + 1: the product of the factors (with
  their multiplicities found by division, which must agree modulo 2 with
  the ones shown) must be the input, each factor of degree up to RABIN_DEGREE must pass Rabin's test,
  and every factor must be irreducible to Tarvex's Irred (1), while Irred of
  the product of the two largest factors must be a proper divisor of it.

  factor_mod2_degrees_property.py TARVEX [SEED] [LIMIT]
"""
import random
import re
import sys

from cpu_limited import run_held

RABIN_DEGREE = 700

# (n, k) with x^n + x^k + 1 irreducible; Rabin's test confirms them below.
TRINOMIALS = [(521, 32), (521, 48), (607, 105), (1279, 216), (4423, 271), (9689, 84)]


# ---- GF(2)[x] on integers ----
def spread(a):
    """a(x)^2: the bits moved to even places."""
    return int("0".join(bin(a)[2:]), 2) if a else 0


def clmul(a, b):
    if not a or not b:
        return 0
    sa = int(("0" * 15).join(bin(a)[2:]), 2)
    sb = int(("0" * 15).join(bin(b)[2:]), 2)
    slots = bin(sa * sb)[2:][::-1][0::16]
    return int(slots[::-1], 2)


def pmod(a, f):
    df = f.bit_length()
    while a.bit_length() >= df:
        a ^= f << (a.bit_length() - df)
    return a


def pdivmod(a, f):
    q = 0
    df = f.bit_length()
    while a.bit_length() >= df:
        s = a.bit_length() - df
        q ^= 1 << s
        a ^= f << s
    return q, a


def pgcd(a, b):
    while b:
        a, b = b, pmod(a, b)
    return a


class Modulus:
    """Reduction modulo f: by its few low terms, or by floor(x^(2n) / f)."""

    def __init__(self, f):
        self.f = f
        self.n = f.bit_length() - 1
        self.low = f ^ (1 << self.n)
        self.sparse = bin(self.low).count("1") <= 4 and 2 * self.low.bit_length() <= self.n + 1
        if not self.sparse:
            self.mu = pdivmod(1 << (2 * self.n), f)[0]

    def reduce(self, a):
        n = self.n
        if self.sparse:
            while a >> n:
                hi = a >> n
                a &= (1 << n) - 1
                low, k = self.low, 0
                while low:
                    if low & 1:
                        a ^= hi << k
                    low >>= 1
                    k += 1
            return a
        q = clmul(a >> n, self.mu) >> n
        return (a ^ clmul(q, self.f)) & ((1 << n) - 1)


def prime_divisors(d):
    out, q = [], 2
    while q * q <= d:
        if d % q == 0:
            out.append(q)
            while d % q == 0:
                d //= q
        q += 1
    if d > 1:
        out.append(d)
    return out


def rabin_irreducible(f):
    d = f.bit_length() - 1
    if d <= 1:
        return d == 1
    m = Modulus(f)
    want = {d // q for q in prime_divisors(d)}
    h, at = 2, {}
    for i in range(1, d + 1):
        h = m.reduce(spread(h))
        if i in want:
            at[i] = h
    return h == 2 and all(pgcd(f, at[i] ^ 2) == 1 for i in want)


def random_irreducible(rng, d):
    while True:
        f = rng.getrandbits(d) | (1 << d) | 1
        if rabin_irreducible(f):
            return f


# ---- sessions ----
def to_text(f):
    return " + ".join(("x^%d" % k if k > 1 else "x" if k else "1")
                      for k in range(f.bit_length() - 1, -1, -1) if f >> k & 1)


def from_text(text):
    f = 0
    for term in text.split("+"):
        term = term.strip()
        m = re.fullmatch(r"x(?:\^(\d+))?|1", term)
        if not m:
            raise ValueError("term %r" % term)
        f ^= 1 << (0 if term == "1" else int(m.group(1) or 1))
    return f


def session(tarvex, script, limit):
    done = run_held(tarvex, "&(p = 2);\n&(J = x);\n&(_d = 32000);\n" + script, limit, text=True)
    return None if done is None else done.stdout.replace("`\n", "")


def factor(tarvex, f, limit):
    """[(factor, shown multiplicity)], or a reason."""
    out = session(tarvex, "u := %s;\nn := Factor(u, [r]);\n[r];\n" % to_text(f), limit)
    if out is None:
        return "over the time limit"
    m = re.search(r"\[\[(.*?)\]\]", out, re.S)
    if not m:
        return "no array in output"
    items = [s.strip() for s in m.group(1).split(",")]
    return [(from_text(items[k]), int(items[k + 1])) for k in range(0, len(items) - 1, 2)]


def values(out):
    """The statement values shown after each prompt."""
    return [v.strip() for v in re.split(r"\n>", out)[1:]]


# ---- cases ----
def planted(rng):
    pieces = {}
    for n, k in TRINOMIALS:
        pieces[(1 << n) | (1 << k) | 1] = 1
    degrees = [rng.randint(1, 24) for _ in range(40)] + [7] * 6 + [16] * 5
    for d in degrees:
        f = random_irreducible(rng, d)
        pieces[f] = pieces.get(f, 0) + (1 if rng.random() < 0.8 else rng.randint(2, 3))
    return pieces


def check_planted(tarvex, rng, limit):
    pieces = planted(rng)
    for f in pieces:
        if not rabin_irreducible(f):
            return "planted piece of degree %d is reducible" % (f.bit_length() - 1)
    u = 1
    for f, e in pieces.items():
        for _ in range(e):
            u = clmul(u, f)
    rows = factor(tarvex, u, limit)
    if isinstance(rows, str):
        return "planted, degree %d: %s" % (u.bit_length() - 1, rows)
    got = dict(rows)
    if len(got) != len(rows) or set(got) != set(pieces):
        return "planted: factors of degrees %s, expected %s" % (
            sorted(f.bit_length() - 1 for f in got), sorted(f.bit_length() - 1 for f in pieces))
    for f, e in pieces.items():
        if (got[f] - e) % 2:
            return "planted: multiplicity %d shown for %d" % (got[f], e)
    return None


def check_sparse(tarvex, rng, limit):
    n = rng.randint(16500, 24000)
    u = (1 << n) | 1
    for _ in range(rng.randint(1, 4)):
        u |= 1 << rng.randint(1, 60)
    rows = factor(tarvex, u, limit)
    name = "x^%d + ... (%s)" % (n, to_text(u & ((1 << 64) - 1)))
    if isinstance(rows, str):
        return "%s: %s" % (name, rows)
    # Multiplicities are shown modulo 2: the true ones by division.
    prod, rest = 1, u
    for f, e in rows:
        true_e = 0
        while True:
            q, r = pdivmod(rest, f)
            if r:
                break
            rest, true_e = q, true_e + 1
        if true_e == 0 or (true_e - e) % 2:
            return "%s: multiplicity %d shown for %d" % (name, e, true_e)
        for _ in range(true_e):
            prod = clmul(prod, f)
    if prod != u:
        return "%s: the product of the factors is not the input" % name
    for f, _ in rows:
        if f.bit_length() - 1 <= RABIN_DEGREE and not rabin_irreducible(f):
            return "%s: factor of degree %d is reducible" % (name, f.bit_length() - 1)
    fs = sorted((f for f, _ in rows), key=int.bit_length)
    script = "".join("Irred(%s);\n" % to_text(f) for f in fs)
    if len(fs) >= 2:
        script += "Irred((%s)*(%s));\n" % (to_text(fs[-1]), to_text(fs[-2]))
    out = session(tarvex, script, limit * (len(fs) + 1))
    if out is None:
        return "%s: Irred over the time limit" % name
    shown = values(out)[3:3 + len(fs) + (len(fs) >= 2)]
    for f, v in zip(fs, shown):
        if v != "1":
            return "%s: Irred of a factor of degree %d gives %s" % (name, f.bit_length() - 1, v[:60])
    if len(fs) >= 2:
        both = clmul(fs[-1], fs[-2])
        d = from_text(shown[-1])
        if d in (1, both) or pmod(both, d):
            return "%s: Irred of a product of two factors gives no proper divisor" % name
    return None


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20261208
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0
    rng = random.Random(seed)
    failures = [why for why in (check_planted(tarvex, rng, limit), check_sparse(tarvex, rng, limit),
                                check_sparse(tarvex, rng, limit)) if why]
    for line in failures:
        print(line)
    print("3 cases, %d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
