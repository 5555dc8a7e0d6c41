#!/usr/bin/env python3
"""Gcds and square-free parts modulo primes smaller than the degrees, in two
and three variables, each case in a session of its own with a time limit
(such cases once ran for minutes or never ended):

  - planted gcds modulo 2, 3, 5 and 13: GCD(g*a, g*b) with cofactors proved
    coprime (a is monic in x, so a common factor would show in the images at
    some point of the other variables; sympy's gcd modulo p finds images
    without one); the answer must be g up to a unit (so it divides both
    operands), and the quotient (g*a)/(g*b) must come out as a/b up to a
    unit;
  - the same over GF(2^8) (degrees past its 255 points too): the cofactors
    have coefficients in GF(2), where their gcd is proved 1 as above, and
    the answer must be g times a number, checked inside the session;
  - Sqfree modulo 2, 3, 5, 7 and 13 of products of powers of random
    factors, p-th powers among them: the parts to their multiplicities
    multiply back to the input up to a unit, each part is square-free (no
    common factor with all its partial derivatives: in characteristic p a
    p-th power in a variable has derivative 0 there) and the parts are
    pairwise coprime, both proved through images at points or, where no
    point serves, by sympy's multivariate gcd modulo p.

  small_prime_gcd_property.py TARVEX [SEED] [LIMIT]

LIMIT is the time allowed to one case in seconds (8 by default).
"""
import itertools
import random
import re
import sys

import sympy

from case_report import report
from cpu_limited import run_held
from sympy import ZZ, Poly
from sympy.polys.galoistools import gf_gcd

NAMES = ["x", "y", "z"]
SYMS = sympy.symbols("x y z")


# ---------------------------------------------------------------- polynomials modulo p: {exponents: residue}

def norm(d, p):
    return {e: c % p for e, c in d.items() if c % p}


def mul(a, b, p):
    out = {}
    for ea, ca in a.items():
        for eb, cb in b.items():
            e = tuple(i + j for i, j in zip(ea, eb))
            out[e] = (out.get(e, 0) + ca * cb) % p
    return norm(out, p)


def power(a, m, p, n):
    out = {(0,) * n: 1}
    for _ in range(m):
        out = mul(out, a, p)
    return out


def monic(a, p):
    if not a:
        return a
    lead = a[max(a)]
    s = pow(lead, p - 2, p)
    return {e: c * s % p for e, c in a.items()}


def associates(a, b, p):
    return bool(a) and monic(a, p) == monic(b, p)


def derivative(a, v, p):
    out = {}
    for e, c in a.items():
        if e[v]:
            f = list(e)
            f[v] -= 1
            out[tuple(f)] = c * e[v]
    return norm(out, p)


def image(a, v, point, p):
    """a with every variable but v set to the point's values: a coefficient
    list, highest first."""
    coeffs = {}
    for e, c in a.items():
        t = c
        k = 0
        for w in range(len(e)):
            if w != v:
                t = t * pow(point[k], e[w], p) % p
                k += 1
        coeffs[e[v]] = (coeffs.get(e[v], 0) + t) % p
    top = max((d for d, c in coeffs.items() if c), default=-1)
    return [coeffs.get(d, 0) for d in range(top, -1, -1)]


def degree(a, v):
    return max((e[v] for e in a), default=-1)


def lead_in(a, v):
    d = degree(a, v)
    return {e: c for e, c in a.items() if e[v] == d}


def points(p, n, rng, limit=60):
    pts = list(itertools.product(range(p), repeat=n - 1))
    rng.shuffle(pts)
    return pts[:limit]


def no_common_factor(polys, p, n, rng, need_variable, fallback=True):
    """True when the polynomials are proved to have no common factor of
    positive degree in any variable v that need_variable(v) names: for each,
    a point where the first one keeps its degree in v and the images' gcd
    is 1; sympy's multivariate gcd where no point serves."""
    for v in range(n):
        if not need_variable(v):
            continue
        lc = lead_in(polys[0], v)
        proved = False
        for pt in points(p, n, rng):
            if not image(lc, v, pt, p):
                continue
            g = image(polys[0], v, pt, p)
            for q in polys[1:]:
                g = gf_gcd(g, image(q, v, pt, p), p, ZZ)
            if len(g) == 1:
                proved = True
                break
        if not proved:
            if not fallback:
                return False
            g = to_poly(polys[0], p, n)
            for q in polys[1:]:
                g = g.gcd(to_poly(q, p, n))
            return g.is_ground
    return True


def to_poly(a, p, n):
    return Poly.from_dict(dict(a), *SYMS[:n], modulus=p)   # sympy converts the dict in place


# ---------------------------------------------------------------- sessions

def header(p, n):
    # x outermost, then y, z.
    return f"&(p = {p});\n" + "".join(f"&(J = {v});\n" for v in reversed(NAMES[:n]))


def run(binary, script, limit):
    """Tagged values printed by !!('TAG', ...), or None on a time-out."""
    done = run_held(binary, script, limit, text=True)
    if done is None:
        return None
    out = done.stdout
    out = out.replace(" `\n ", "").replace(" `\n", "")
    values = {}
    for line in out.split("\n"):
        m = re.match(r"^>*([A-Z]\d*) (.*)$", line)
        if m:
            values[m.group(1)] = m.group(2).strip()
    return values


def read(text, p, n):
    text = re.sub(r"(\d)([xyz(])", r"\1*\2", text)
    text = re.sub(r"\)([xyz(])", r")*\1", text)
    expr = sympy.sympify(text.replace("^", "**"), locals=dict(zip(NAMES, SYMS)))
    return norm({e: int(c) for e, c in Poly(expr, *SYMS[:n]).as_dict().items()}, p)


def rand_poly(rng, n, deg, p, density=0.5, monic_x=False, number_lead_x=False):
    """(text, dict): dense-ish, degree deg in each variable; with monic_x
    one more in x with the coefficient 1; with number_lead_x its leading
    coefficient in x a number."""
    d = {}
    for _ in range(int(density * (deg + 1) ** n) + 1):
        e = tuple(rng.randrange(deg + 1) for _ in range(n))
        if number_lead_x and e[0] == deg:
            e = (rng.randrange(deg),) + e[1:]
        d[e] = rng.randrange(1, p)
    d[(0,) * n] = rng.randrange(1, p)
    d[(deg,) + (0,) * (n - 1)] = rng.randrange(1, p)
    d[(0,) * (n - 1) + (deg,)] = rng.randrange(1, p)
    if monic_x:
        d[(deg + 1,) + (0,) * (n - 1)] = 1
    terms = []
    for e, c in d.items():
        mono = "*".join(f"{NAMES[k]}^{x}" for k, x in enumerate(e) if x)
        terms.append(f"{c}*{mono}" if mono else str(c))
    return "(" + " + ".join(terms) + ")", norm(d, p)


# ---------------------------------------------------------------- checks

def check_planted(binary, rng, p, n, deg, limit):
    while True:
        g, G = rand_poly(rng, n, deg, p)
        a, A = rand_poly(rng, n, deg, p, monic_x=True)
        b, B = rand_poly(rng, n, deg, p)
        if degree(G, 0) > 0 and no_common_factor([A, B], p, n, rng, lambda v: v == 0, fallback=False):
            break
    script = (header(p, n) + f"g := {g}:\na := {a}:\nb := {b}:\nu := g*a:\nv := g*b:\n"
              "!!('H', GCD(u, v));\nc := u/v:\n!!('N', Numer(c));\n!!('D', Denom(c));\n")
    vals = run(binary, script, limit)
    where = f"planted gcd modulo {p}, {n} variables, degree {deg}"
    if vals is None:
        return f"{where}: no answer in {limit} s"
    if not all(k in vals for k in "HND"):
        return f"{where}: values missing ({sorted(vals)})"
    if not associates(read(vals["H"], p, n), G, p):
        return f"{where}: gcd {vals['H']}, planted {g}"
    N, D = read(vals["N"], p, n), read(vals["D"], p, n)
    if not (associates(N, A, p) and associates(D, B, p) and mul(N, B, p) == mul(D, A, p)):
        return f"{where}: u/v is {vals['N']} / {vals['D']}"
    return None


def check_gf256(binary, rng, n, deg, limit, terms):
    density = terms / (deg + 1) ** n
    g = rand_poly(rng, n, deg, 256, density=density)[0]
    # Cofactors over GF(2): their gcd there is their gcd in GF(2^8). The
    # leading coefficient of a in x is a number, as with monic_x.
    while True:
        a, A = rand_poly(rng, n, deg, 2, density=density, number_lead_x=True)
        b, B = rand_poly(rng, n, deg, 2, density=density)
        if no_common_factor([A, B], 2, n, rng, lambda v: v == 0, fallback=False):
            break
    script = (header(256, n) + f"g := {g}:\na := {a}:\nb := {b}:\n"
              "h := GCD(g*a, g*b):\n!!('R', h*Nlc(g) - g*Nlc(h));\n!!('L', Nlc(h));\n")
    vals = run(binary, script, limit)
    where = f"planted gcd in GF(2^8), {n} variables, degree {deg}"
    if vals is None:
        return f"{where}: no answer in {limit} s"
    if vals.get("R") != "0" or vals.get("L") in (None, "0"):
        return f"{where}: gcd is not g times a number ({vals})"
    return None


def check_cubes(binary, limit):
    """A small pair whose cubes, modulo 2, once sent the gcd into remainder
    sequences that never ended: the answer against sympy's."""
    a, b = "y^2*x^3 + z*y^3*x + y^2*x + z^3", "z^2*y^2 + y^2 + z^3*x^2 + z^2*x^2"
    # z outermost, as reported.
    script = "&(p = 2);\n&(J = x);\n&(J = y);\n&(J = z);\n" + f"a := {a}:\nb := {b}:\n!!('H', GCD(a^3, b^3));\n"
    vals = run(binary, script, limit)
    if vals is None or "H" not in vals:
        return f"GCD(a^3, b^3) modulo 2: no answer in {limit} s"
    want = to_poly(read(a, 2, 3), 2, 3).gcd(to_poly(read(b, 2, 3), 2, 3)) ** 3
    if not associates(read(vals["H"], 2, 3), norm({e: int(c) for e, c in want.as_dict().items()}, 2), 2):
        return f"GCD(a^3, b^3) modulo 2: {vals['H']}, sympy {want.as_expr()}"
    return None


def check_sqfree(binary, rng, p, n, deg, limit):
    mults = rng.sample([1, 2, 3], 2) + [rng.choice([p, 2 * p]) if p < 5 else p]
    # Pairwise coprime factors, so that each part's multiplicity is one of
    # those planted.
    while True:
        factors = [(rand_poly(rng, n, deg if m < p else 2, p, density=0.4), m) for m in mults]
        if all(no_common_factor([factors[i][0][1], factors[j][0][1]], p, n, rng, lambda v: True, fallback=False)
               for i in range(len(factors)) for j in range(i)):
            break
    F = {(0,) * n: 1}
    for (_, d), m in factors:
        F = mul(F, power(d, m, p, n), p)
    f = "*".join(f"{t}^{m}" for (t, _), m in factors)
    script = (header(p, n) + f"f := {f}:\nArray q[1];\nk := Sqfree(f, [q]):\n!!('K', k);\n"
              + "".join(f"!!('F{i}', q[{i}, 1]);\n!!('M{i}', q[{i}, 2]);\n" for i in range(1, 9)))
    where = f"Sqfree modulo {p}, {n} variables, degree {deg}"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    if "K" not in vals:
        return f"{where}: no count"
    got = [(read(vals[f"F{i}"], p, n), int(vals[f"M{i}"]) % p)
           for i in range(1, 9) if f"F{i}" in vals and f"M{i}" in vals]
    if (len(got) - int(vals["K"])) % p:
        return f"{where}: {vals['K']} parts reported, {len(got)} shown"
    # The multiplicities are residues; the real ones are planted ones that
    # make the product the input.
    found = False
    for ms in itertools.product(*[[m for m in mults if (m - r) % p == 0] for _, r in got]):
        prod = {(0,) * n: 1}
        for (part, _), m in zip(got, ms):
            prod = mul(prod, power(part, m, p, n), p)
        if associates(prod, F, p):
            found = True
            break
    if not found:
        return f"{where}: the parts do not multiply back to the input"
    for i, (part, _) in enumerate(got):
        partials = [derivative(part, v, p) for v in range(n)]
        if not no_common_factor([part] + [d for d in partials if d], p, n, rng, lambda v: degree(part, v) > 0):
            return f"{where}: part {i + 1} not square-free"
        for j in range(i):
            other = got[j][0]
            if not no_common_factor([part, other], p, n, rng,
                                    lambda v: degree(part, v) > 0 and degree(other, v) > 0):
                return f"{where}: parts {j + 1} and {i + 1} not coprime"
    return None


def main(argv):
    binary = argv[1]
    seed = int(argv[2]) if len(argv) > 2 else 20261208
    limit = float(argv[3]) if len(argv) > 3 else 8.0
    rng = random.Random(seed)
    results = []
    for p in (2, 3, 5, 13):
        for n, deg in ((2, 7), (2, 12), (3, 3)):
            results.append(check_planted(binary, rng, p, n, deg, limit))
    # Past 255 points in the main variable, and small and dense.
    for n, deg, terms in ((2, 130, 12), (2, 12, 80), (3, 6, 150)):
        results.append(check_gf256(binary, random.Random(seed + deg), n, deg, limit, terms))
    results.append(check_cubes(binary, limit))
    for p in (2, 3, 5, 7, 13):
        for n, deg in ((2, 5), (3, 2)):
            results.append(check_sqfree(binary, rng, p, n, deg, limit))
    return report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
