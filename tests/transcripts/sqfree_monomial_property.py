#!/usr/bin/env python3
"""Sqfree (and Factor) of products of monomials of huge degree and
polynomials, each case in a session of its own with a limit of processor
time (a monomial x^(2^29) once took its square-free parts apart one power at
a time, for over a minute):

  - f = c * x^a * y^b * f1 * f2^2 over the rationals, modulo 2, 3, 13 and
    65521 and in GF(2^8): f1 and f2 are monic in x with a constant term, so
    neither x nor y divides them, and are proved square-free and coprime by
    images modulo p (modulo 65521 for the rationals, where monic images keep
    their degrees); each part must be an associate of the product of the
    planted factors of its multiplicity (x^a with those of x, y^b alone as
    the content's part), with that multiplicity (modulo p), so that the parts
    multiply back to f;
  - Factor of x^a * (x + 1)^2 modulo small primes: x and x + 1 with their
    multiplicities.

  sqfree_monomial_property.py TARVEX [SEED] [LIMIT]

LIMIT is the processor time allowed to one case in seconds (5 by default).
"""
import random
import sys

from case_report import report
from small_field_tower_property import run
from small_prime_gcd_property import no_common_factor, rand_poly

# The rationals take typed exponents below 2^28, the residues larger ones.
HUGE = {0: (2 ** 28 - 1, 3 ** 17, 2 ** 27), 2: (2 ** 29, 2 ** 29 + 1), 3: (2 ** 29, 3 ** 18),
        13: (13 ** 7, 2 ** 29 + 3), 65521: (65521 * 8191, 2 ** 29 - 1), 256: (2 ** 29, 2 ** 28 + 1)}


def square_free_pair(rng, p, deg):
    """f1, f2 over GF(p) (texts and dicts), each square-free, coprime."""
    while True:
        f1, F1 = rand_poly(rng, 2, deg, p, monic_x=True)
        f2, F2 = rand_poly(rng, 2, deg, p, monic_x=True)
        derivs = [{(e[0] - 1,) + e[1:]: c * e[0] % p for e, c in F.items() if e[0] % p} for F in (F1, F2)]
        if no_common_factor([F1, F2], p, 2, rng, lambda v: v == 0) and all(
                no_common_factor([F, D], p, 2, rng, lambda v: v == 0) for F, D in zip((F1, F2), derivs)):
            return f1, f2


def header(p):
    return ("" if p == 0 else f"&(p = {p});\n") + "&(J = y);\n&(J = x);\n"


def matched(vals, groups, p, count):
    """None when the parts are the groups (part text -> multiplicity), else
    what is wrong."""
    parts = [i for i in range(1, count + 2) if f"M{i}" in vals]
    if len(parts) != len(groups):
        return f"{len(parts)} parts for {len(groups)}"
    seen = []
    for i in parts:
        js = [j for j in range(len(groups)) if vals.get(f"A{i}{j}") == "0"]
        if len(js) != 1:
            return f"part {i} is an associate of planted groups {js}"
        m = groups[js[0]][1]
        if (int(vals[f"M{i}"]) - m) % (p or 1 << 62) and not (p == 0 and int(vals[f"M{i}"]) == m):
            return f"part {i}: multiplicity {vals[f'M{i}']} for {m}"
        seen.append(js[0])
    return None if sorted(seen) == list(range(len(groups))) else f"groups matched {seen}"


def check_sqfree(binary, rng, p, a, b, limit, planted=True):
    q = 65521 if p in (0, 256) else p
    mod = 2 if p == 256 else q
    c = rng.choice((-3, 2, 5)) if p == 0 else rng.randrange(1, mod)
    # Groups by multiplicity: the parts in x; y^b is the content's own.
    by_mult = {}
    if a:
        by_mult.setdefault(a, []).append("x")
    if planted:
        f1, f2 = square_free_pair(rng, mod, 2)
        by_mult.setdefault(1, []).append(f1)
        by_mult.setdefault(2, []).append(f2)
    groups = [("*".join(g), m) for m, g in by_mult.items()] + ([("y", b)] if b else [])
    f = f"{c}*x^{a}*y^{b}" + (f"*{f1}*{f2}^2" if planted else "")
    script = header(p) + f"f := {f}:\nArray q[1];\nk := Sqfree(f, [q]):\n" + "".join(
        f"e{j} := {g}:\n" for j, (g, _) in enumerate(groups))
    for i in range(1, len(groups) + 2):
        script += f"!!('M{i}', q[{i}, 2]);\n" + "".join(
            f"!!('A{i}{j}', q[{i}, 1]*Nlc(e{j}) - e{j}*Nlc(q[{i}, 1]));\n" for j in range(len(groups)))
    where = f"Sqfree of {c}*x^{a}*y^{b}{' times planted parts' if planted else ''} " + (
        f"modulo {p}" if p else "over the rationals")
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    bad = matched(vals, groups, p if p != 256 else 2, len(groups))
    return f"{where}: {bad}" if bad else None


def check_factor(binary, p, a, limit):
    groups = [("x", a), ("x + 1", 2)]
    script = (f"&(p = {p});\n&(J = x);\nf := x^{a}*(x + 1)^2:\nArray q[1];\nk := Factor(f, [q]):\n"
              + "".join(f"e{j} := {g}:\n" for j, (g, _) in enumerate(groups)))
    for i in (1, 2, 3):
        script += f"!!('M{i}', q[{i}, 2]);\n" + "".join(
            f"!!('A{i}{j}', q[{i}, 1] - e{j});\n" for j in range(len(groups)))
    where = f"Factor of x^{a}*(x + 1)^2 modulo {p}"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    bad = matched(vals, groups, p, 2)
    return f"{where}: {bad}" if bad else None


def main(argv):
    binary = argv[1]
    seed = int(argv[2]) if len(argv) > 2 else 20261209
    limit = float(argv[3]) if len(argv) > 3 else 5.0
    rng = random.Random(seed)
    results = []
    for p, huge in HUGE.items():
        small = [1, 2, 3, p or 7, 2 * (p or 7)]
        for a in huge:
            results.append(check_sqfree(binary, rng, p, a, rng.choice(small), limit, planted=False))
            results.append(check_sqfree(binary, rng, p, a, rng.choice(small + [0]), limit))
        # Small powers, some equal to a planted multiplicity (x joins that
        # part), some multiples of p.
        for a in rng.sample(small, 3):
            results.append(check_sqfree(binary, rng, p, a, rng.choice(small + [0]), limit))
        if p not in (0, 256):
            results.append(check_factor(binary, p, huge[0], limit))
    return report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
