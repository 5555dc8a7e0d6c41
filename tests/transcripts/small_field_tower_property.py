#!/usr/bin/env python3
"""Gcds modulo small primes over field levels, and in many variables, each
case in a session of its own with a limit of processor time (such cases
once ran for minutes):

  - planted gcds over GF(p)[t]/(m) for p = 2, 3, 5, 13, m irreducible of
    degree 2 or 3 (proved by sympy), in two and three variables: g has
    coefficients in t and leads with x^(d+1), so the normalised gcd of
    g*a and g*b is g itself; the cofactors, monic in x with coefficients
    in GF(p), are proved coprime by images at points over GF(p) (a gcd
    over GF(p) stays the gcd over every extension); the quotient
    (g*a)/(g*b) must come out as a/b exactly, and GCD(x^3*g*a, x^2*y) as
    x^2;
  - the same over a tower t, then s with s^3 = t over GF(p)(t), where the
    cubic is proved irreducible by a search for roots in GF(p^2) here;
  - planted gcds of sparse polynomials in five and six variables modulo 2,
    3 and 13 whose box of degrees is in the millions;
  - Sqfree over GF(p)[t]/(m) of f1 * f2^2 * f3^3, f1 carrying t: three
    parts, each an associate of one planted factor with its multiplicity
    (modulo p), so that they multiply back to f.

  small_field_tower_property.py TARVEX [SEED] [LIMIT]

LIMIT is the processor time allowed to one case in seconds (4 by default).
"""
import random
import re
import sys

import sympy

from case_report import report
from cpu_limited import run_held
from small_prime_gcd_property import no_common_factor, rand_poly

NAMES = ["x", "y", "z", "w", "v", "u"]


def irreducible(m, p):
    return sympy.Poly(m, sympy.Symbol("t"), modulus=p).is_irreducible


def random_relation(rng, p, d):
    """An irreducible monic m of degree d over GF(p), as text."""
    while True:
        c = [rng.randrange(p) for _ in range(d)]
        coeffs = [1] + c[::-1]
        if c[0] and irreducible(sympy.Poly(coeffs, sympy.Symbol("t")).as_expr(), p):
            return " + ".join(f"{k}*t^{e}" for e, k in zip(range(d, -1, -1), coeffs) if k)


def element(rng, p, d, var="t"):
    """A random non-zero element of GF(p)[var]/(degree d), as text."""
    while True:
        c = [rng.randrange(p) for _ in range(d)]
        if any(c):
            return "(" + " + ".join(f"{k}*{var}^{e}" for e, k in enumerate(c) if k) + ")"


def field_poly(rng, p, d, n, deg, terms, var="t"):
    """Degree deg in x plus a leading x^(deg+1); coefficients in the field."""
    out = [f"x^{deg + 1}"]
    for _ in range(terms):
        mono = "*".join(f"{NAMES[k]}^{rng.randrange(deg + 1)}" for k in range(n))
        out.append(f"{element(rng, p, d, var)}*{mono}")
    return "(" + " + ".join(out) + ")"


def coprime_cofactors(rng, p, n, deg):
    """Two polynomials over GF(p) with x^(deg+1) leading, proved coprime."""
    while True:
        a, A = rand_poly(rng, n, deg, p, monic_x=True)
        b, B = rand_poly(rng, n, deg, p, monic_x=True)
        # A common factor free of x would divide the leading coefficient 1.
        if no_common_factor([A, B], p, n, rng, lambda v: v == 0, fallback=False):
            return a, b


def header(p, n, levels):
    """levels: (variable, relation) innermost first."""
    s = f"&(p = {p});\n"
    s += "".join(f"&(J = {v});\n" for v, _ in levels)
    s += "".join(f"&(J = {v});\n" for v in reversed(NAMES[:n]))
    s += "".join(f"&(P = {m}, 1);\n" for v, m in levels)
    return s


def run(binary, script, limit):
    done = run_held(binary, script, limit, text=True)
    if done is None:
        return None
    out = done.stdout.replace(" `\n ", "").replace(" `\n", "")
    values = {}
    for line in out.split("\n"):
        m = re.match(r"^>*([A-Z]\d*) (.*)$", line)
        if m:
            values[m.group(1)] = m.group(2).strip()
    return values


def planted(binary, where, head, g, a, b, limit):
    script = (head + f"g := {g}:\na := {a}:\nb := {b}:\ngu := g*a:\ngv := g*b:\n"
              "!!('H', GCD(gu, gv) - g);\n!!('K', GCD(gv, gu) - g);\nc := gu/gv:\n"
              "!!('N', Numer(c) - a);\n!!('D', Denom(c) - b);\n"
              # A single-term operand: the power of x taken out of the other
              # must come back (y divides neither g nor a: both lead with x).
              "!!('M', GCD(x^3*gu, x^2*y) - x^2);\n")
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    bad = {k: vals.get(k) for k in "HKNDM" if vals.get(k) != "0"}
    return f"{where}: not 0: {bad}" if bad else None


def check_field(binary, rng, p, d, n, deg, terms, limit):
    m = random_relation(rng, p, d)
    g = field_poly(rng, p, d, n, deg, terms)
    a, b = coprime_cofactors(rng, p, n, deg)
    return planted(binary, f"planted gcd over GF({p})[t]/({m}), {n} variables, degree {deg}",
                   header(p, n, [("t", m)]), g, a, b, limit)


def gf_p2_has_cube_root(p, m, c):
    """Some r in GF(p)[t]/(t^2 + m1 t + m0) with r^3 = c (both as pairs)."""
    m1, m0 = m

    def mul(a, b):
        # (a0 + a1 t)(b0 + b1 t), t^2 = -m1 t - m0
        c0, c1, c2 = a[0] * b[0], a[0] * b[1] + a[1] * b[0], a[1] * b[1]
        return ((c0 - c2 * m0) % p, (c1 - c2 * m1) % p)
    return any(mul(mul((r0, r1), (r0, r1)), (r0, r1)) == c for r0 in range(p) for r1 in range(p))


def check_tower(binary, rng, p, m, m_pair, deg, limit):
    # s^3 - t is irreducible over GF(p^2) exactly when t has no cube root.
    if gf_p2_has_cube_root(p, m_pair, (0, 1)):
        return f"test setup: t is a cube in GF({p})[t]/({m})"
    n = 2
    g = "(" + field_poly(rng, p, 2, n, deg, 8) + " + " + " + ".join(
        f"{element(rng, p, 2)}*{element(rng, p, 3, 's')}*x^{rng.randrange(deg + 1)}*y^{rng.randrange(deg + 1)}"
        for _ in range(8)) + ")"
    a, b = coprime_cofactors(rng, p, n, deg)
    return planted(binary, f"planted gcd over GF({p})[t]/({m}) with s^3 = t, degree {deg}",
                   header(p, n, [("t", m), ("s", "s^3 - t")]), g, a, b, limit)


def sparse_poly(rng, p, n, deg, terms):
    d = {(deg + 1,) + (0,) * (n - 1): 1}
    for _ in range(terms):
        d[tuple(rng.randrange(deg + 1) for _ in range(n))] = rng.randrange(1, p)
    d[(0,) * n] = rng.randrange(1, p)
    text = " + ".join(f"{c}*" + "*".join(f"{NAMES[k]}^{x}" for k, x in enumerate(e)) for e, c in d.items())
    return "(" + text + ")", {e: c % p for e, c in d.items() if c % p}


def linear_power(rng, p, n, e, extra):
    """(a random linear form in all n variables + 1)^e + extra, x leading."""
    form = " + ".join(["x"] + [f"{rng.randrange(1, p)}*{v}" for v in NAMES[1:n]])
    return f"(({form} + {rng.randrange(1, p)})^{e} + {extra})"


def check_dense(binary, rng, p, n, e, limit):
    """Powers of linear forms: every monomial of total degree up to e is
    there, and the box of the degrees of the products (2e + 1)^n is
    far beyond what dense storage of it would take."""
    mono = "*".join(NAMES[:n])
    g = linear_power(rng, p, n, e, mono)
    a = linear_power(rng, p, n, e, NAMES[1])
    b = linear_power(rng, p, n, e, NAMES[2])
    # The answer is g up to a unit: its leading coefficient is 1.
    script = (header(p, n, []) + f"g := {g}:\na := {a}:\nb := {b}:\nh := GCD(g*a, g*b):\n"
              "!!('H', h*Nlc(g) - g*Nlc(h));\n!!('L', Nlc(h));\n")
    where = f"planted gcd modulo {p}, {n} variables, powers {e}"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    if vals.get("H") != "0" or vals.get("L") in (None, "0"):
        return f"{where}: {vals}"
    return None


def check_many(binary, rng, p, n, deg, terms, limit):
    g, _ = sparse_poly(rng, p, n, deg, terms)
    while True:
        (a, A), (b, B) = sparse_poly(rng, p, n, deg, terms), sparse_poly(rng, p, n, deg, terms)
        if no_common_factor([A, B], p, n, rng, lambda v: v == 0, fallback=False):
            break
    return planted(binary, f"planted gcd modulo {p}, {n} variables, degree {deg}",
                   header(p, n, []), g, a, b, limit)


def check_sqfree(binary, rng, p, d, deg, limit):
    m = random_relation(rng, p, d)
    n = 2
    mults = (1, 2, 3)
    # f2 and f3 over GF(p), proved square-free and coprime there (so over
    # the field too); f1 carries t, is linear in x and so prime, and is
    # taken to divide neither (a failure of the seed would show below).
    while True:
        f2, F2 = rand_poly(rng, n, deg, p, monic_x=True)
        f3, F3 = rand_poly(rng, n, deg, p, monic_x=True)
        if no_common_factor([F2, F3], p, n, rng, lambda v: v == 0, fallback=False) and all(
                no_common_factor([F, {(e[0] - 1,) + e[1:]: c * e[0] % p for e, c in F.items() if e[0] % p}],
                                 p, n, rng, lambda v: v == 0, fallback=False) for F in (F2, F3)):
            break
    f1 = f"(x + t*y^{rng.randrange(1, deg + 1)} + {element(rng, p, d)})"
    # The count and multiplicities are residues modulo p: each part is
    # matched to the planted factor it is an associate of.
    script = (header(p, n, [("t", m)]) + f"f1 := {f1}:\nf2 := {f2}:\nf3 := {f3}:\nf := f1*f2^2*f3^3:\n"
              "Array q[1];\nk := Sqfree(f, [q]):\n"
              + "".join(f"!!('M{i}', q[{i}, 2]);\n" + "".join(
                  f"!!('A{i}{j}', q[{i}, 1]*Nlc(f{j}) - f{j}*Nlc(q[{i}, 1]));\n" for j in (1, 2, 3))
                  for i in range(1, 6)))
    where = f"Sqfree over GF({p})[t]/({m}), degree {deg}"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    parts = [i for i in range(1, 6) if f"M{i}" in vals]
    if parts != [1, 2, 3]:
        return f"{where}: parts {parts}"
    matched = []
    for i in parts:
        js = [j for j in (1, 2, 3) if vals.get(f"A{i}{j}") == "0"]
        if len(js) != 1 or int(vals[f"M{i}"]) % p != mults[js[0] - 1] % p:
            return f"{where}: part {i} (multiplicity {vals[f'M{i}']}) matches planted {js}"
        matched += js
    if sorted(matched) != [1, 2, 3]:
        return f"{where}: the parts match {matched}"
    return None


def main(argv):
    binary = argv[1]
    seed = int(argv[2]) if len(argv) > 2 else 20261208
    limit = float(argv[3]) if len(argv) > 3 else 4.0
    rng = random.Random(seed)
    results = []
    for p in (2, 3, 5, 13):
        for d in (2, 3):
            results.append(check_field(binary, rng, p, d, 2, 12, 60, limit))
            results.append(check_field(binary, rng, p, d, 3, 4, 30, limit))
    results.append(check_tower(binary, rng, 2, "t^2 + t + 1", (1, 1), 10, limit))
    results.append(check_tower(binary, rng, 7, "t^2 - 3", (0, 4), 10, limit))
    for p, n, e in ((2, 6, 8), (3, 6, 8), (13, 6, 6), (3, 5, 12), (13, 5, 8)):
        results.append(check_dense(binary, rng, p, n, e, limit))
    for p in (2, 3, 13):
        results.append(check_many(binary, rng, p, 6, 6, 12, limit))
        results.append(check_many(binary, rng, p, 5, 8, 15, limit))
    for p in (2, 3, 13):
        results.append(check_sqfree(binary, rng, p, 2, 7, limit))
        results.append(check_sqfree(binary, rng, p, 3, 7, limit))
    return report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
