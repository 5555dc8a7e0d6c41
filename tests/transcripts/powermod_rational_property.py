#!/usr/bin/env python3
"""Powermod over the rationals modulo a monic polynomial, each case in a
session of its own with a limit of processor time (exponents in the
millions, whose coefficients run to hundreds of thousands of digits, once
ran for minutes):

  - small exponents: the answer must equal the power reduced step by step
    here (one multiplication and one remainder per step, exact integers);
  - large exponents: the answer's residues modulo several word primes must
    equal the power taken modulo each prime here (binary powering of
    residue vectors), read back in the session through Powermod(c, 1, P).

  powermod_rational_property.py TARVEX [SEED] [LIMIT]

Moduli in two variables, over the rationals, modulo 7 and under a
relation: one that leads in its main variable with anything but 1 (v, or
the unit t) is refused ("Leading coefficient must be 1.", the variable
keeps its value); a monic one gives the remainder of the plain power.

LIMIT is the processor time allowed to one case in seconds (10 by default).
"""
import random
import sys

from case_report import report
from small_field_tower_property import run

PRIMES = (4294967291, 2305843009213693951, 1000000007, 65521)


def text(c):
    """A coefficient list (lowest degree first) as a polynomial in w."""
    terms = [f"({k})*w^{e}" for e, k in enumerate(c) if k]
    return " + ".join(terms) if terms else "0"


def mul_mod(a, b, m, p=None):
    """a b modulo the monic m (lists, lowest degree first), and modulo p
    when given."""
    r = [0] * (len(a) + len(b) - 1)
    for i, x in enumerate(a):
        if x:
            for j, y in enumerate(b):
                r[i + j] += x * y
    d = len(m) - 1
    for k in range(len(r) - 1, d - 1, -1):
        t = r[k]
        if t:
            for j in range(d + 1):
                r[k - d + j] -= t * m[j]
    r = (r + [0] * d)[:d]
    return [x % p for x in r] if p else r


def power_mod(f, n, m, p):
    r, b = [1], mul_mod(f, [1], m, p)
    while n:
        if n & 1:
            r = mul_mod(r, b, m, p)
        b = mul_mod(b, b, m, p)
        n >>= 1
    return (r + [0] * len(m))[:len(m) - 1]


def random_monic(rng, d):
    return [rng.randint(-5, 5) for _ in range(d)] + [1]


def check_small(binary, rng, limit):
    cases = []
    for _ in range(12):
        m = random_monic(rng, rng.randint(1, 4))
        f = [rng.randint(-6, 6) for _ in range(rng.randint(1, 6))]
        n = rng.randint(1, 40)
        r = [1]
        base = mul_mod(f, [1], m)
        for _ in range(n):
            r = mul_mod(r, base, m)
        cases.append((f, n, m, r))
    script = "&(J = w);\n" + "".join(
        f"!!('E{i}', Powermod({text(f)}, {n}, {text(m)}) - ({text(r)}));\n"
        for i, (f, n, m, r) in enumerate(cases))
    vals = run(binary, script, limit)
    if vals is None:
        return "small exponents: no answer"
    bad = {f"E{i}": cases[i][:3] for i in range(len(cases)) if vals.get(f"E{i}") != "0"}
    return f"small exponents: not the power reduced step by step: {bad}" if bad else None


def check_large(binary, f, n, m, limit):
    script = (f"&(J = w);\nc := Powermod({text(f)}, {n}, {text(m)}):\n" + "".join(
        f"!!('R{i}', Powermod(c, 1, {p}) - ({text(power_mod(f, n, m, p))}));\n"
        for i, p in enumerate(PRIMES)))
    where = f"Powermod({text(f)}, {n}, {text(m)})"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    bad = [PRIMES[i] for i in range(len(PRIMES)) if vals.get(f"R{i}") != "0"]
    return f"{where}: wrong modulo {bad}" if bad else None


def check_leading(binary, rng, limit):
    bad = []
    for head in ("", "&(p = 7);\n", "&(P = t^2 - 2);\n"):
        script = "&(J = t);\n&(J = v);\n&(J = w);\n" + head
        for i in range(8):
            monic = i % 2 == 0
            lead = "1" if monic else rng.choice(["v", "v + 1", "2*v - 3", "v^2", "t", "t + v"])
            m = f"({lead})*w^{rng.randint(2, 3)} + ({rng.randint(-3, 3)}*v + {rng.randint(-3, 3)})*w - 1"
            f, n = f"w + {rng.randint(-2, 2)}*v + 1", rng.randint(2, 9)
            script += f"pm := 5:\npm := Powermod({f}, {n}, {m}):\n"
            want = f"pm - (({f})^{n} | ({m}))" if monic else "pm - 5"
            script += f"!!('L{i}', {want});\n"
        vals = run(binary, script, limit)
        if vals is None:
            return "moduli in two variables: no answer"
        bad += [head.strip() or "Q"] if any(vals.get(f"L{i}") != "0" for i in range(8)) else []
    return f"moduli in two variables: wrong in {bad}" if bad else None


def main(argv):
    binary = argv[1]
    seed = int(argv[2]) if len(argv) > 2 else 20261209
    limit = float(argv[3]) if len(argv) > 3 else 10.0
    rng = random.Random(seed)
    results = [check_small(binary, rng, limit), check_leading(binary, rng, limit)]
    for f, n, m in (([1, 1], 101 ** 3, [2, 0, 0, 1]),
                    ([3, -1, 2], 400000 + rng.randrange(1000), random_monic(rng, 3)),
                    ([rng.randint(-9, 9) for _ in range(4)], 250000 + rng.randrange(1000), random_monic(rng, 5))):
        results.append(check_large(binary, f, n, m, limit))
    return report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
