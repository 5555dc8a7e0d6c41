#!/usr/bin/env python3
"""Planted gcds over fields on both sides of 2^21 elements modulo 2 and 3
and past 2^32 (one random relation of degree 13, 14, 20 or 21 modulo 3,
20 to 22, 32, 33 or 63 modulo 2, proved irreducible by sympy, or two
levels of 3^14, 2^22, 2^32 and 2^34 elements, the outer one s^2 - t or
s^2 + s + t chosen irreducible over the inner) and
over towers of three levels over the
rationals, each case in a session of its own held to a limit of processor
time (such cases once ran for minutes):

  - GCD(g*a, g*b), g, a and b sparse with random field coefficients: the
    answer h must divide both products and g must divide h (the
    interpreter's remainders by h, and h's by g, are 0: divisibility over
    the field, where units do not count), and the cofactors (g*a)/h and
    (g*b)/h must have the gcd 1; the quotient (g*a)/(g*b) must be the same
    rational function, with a numerator and denominator of gcd 1;
  - over the towers, besides, two sparse operands of degree up to 80 in x
    and y with coefficients about 2^40 and constant terms: the answer must
    divide both, with cofactors of gcd 1, and their quotient must be the
    same rational function; and Sqfree of f1*f2^2 in one variable: two
    parts that multiply back to f up to a field unit.

  gcd_field_sizes_property.py TARVEX [SEED] [LIMIT]

LIMIT is the processor time allowed to one case in seconds (4 by default).
"""
import random
import sys

import sympy

from case_report import report
from small_field_tower_property import random_relation as irreducible_relation, run

TOWERS = [
    ("Q(i)(sqrt 3)(sqrt 5)", ["t^2 + 1", "s^2 - 3", "r^2 - 5"]),
    ("Q(sqrt 2)(sqrt -3)(2^(1/3))", ["t^2 - 2", "s^2 + 3", "r^3 - 2"]),
]

CHECKS = ("h := GCD(u, v):\n"
          "!!('A', u | h, v | h, h | g);\n"
          "!!('B', GCD(u/h, v/h));\n"
          "c := u/v:\n"
          "!!('C', Numer(c)*v - Denom(c)*u);\n"
          "!!('D', GCD(Numer(c), Denom(c)));\n")
WANT = {"A": "0 0 0", "B": "1", "C": "0", "D": "1"}


def sparse(rng, terms, dx, dy, element):
    """x^dx leads (a field element times it would do as well); the other
    terms random."""
    out = [f"x^{dx}*y^{rng.randrange(dy + 1)}"]
    out += [f"{element()}*x^{rng.randrange(dx + 1)}*y^{rng.randrange(dy + 1)}" for _ in range(terms - 1)]
    return "(" + " + ".join(out) + ")"


def planted(binary, where, head, g, a, b, limit, checks=CHECKS, want=None):
    want = want or WANT
    script = head + f"g := {g}:\na := {a}:\nb := {b}:\nu := g*a:\nv := g*b:\n" + checks
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    bad = {k: vals.get(k) for k in want if vals.get(k) != want[k]}
    return f"{where}: {bad}" if bad else None


def modular_case(binary, rng, p, d, limit):
    m = irreducible_relation(rng, p, d)

    def element():
        c = [rng.randrange(p) for _ in range(d)]
        c[rng.randrange(d)] = rng.randrange(1, p)
        return "(" + " + ".join(f"{k}*t^{e}" for e, k in enumerate(c) if k) + ")"
    head = f"&(p = {p});\n&(J = t);\n&(J = y);\n&(J = x);\n&(P = {m}, 1);\n"
    g = sparse(rng, 6, 6, 8, element)
    a = sparse(rng, 8, 6, 8, element)
    b = sparse(rng, 7, 6, 8, element)
    return planted(binary, f"modulo {p} over {m}", head, g, a, b, limit)


def two_level_case(binary, rng, p, d, limit):
    """GF(p)(t)(s) of p^(2d) elements: m(t) of degree d, then s^2 - t
    modulo 3 (t no square: t^((3^d - 1)/2) = -1 modulo m) or s^2 + s + t
    modulo 2 (the trace of t, the coefficient of t^(d-1) in m, is 1)."""
    t = sympy.Symbol("t")
    while True:
        m = irreducible_relation(rng, p, d)
        M = sympy.Poly(sympy.sympify(m.replace("^", "**")), t, modulus=p)
        if p == 2:
            if M.coeff_monomial(t ** (d - 1)) % 2 == 1:
                break
        elif (sympy.Poly(t, t, modulus=p) ** ((p ** d - 1) // 2)).rem(M) == sympy.Poly(-1, t, modulus=p):
            break
    outer = "s^2 + s + t" if p == 2 else "s^2 - t"

    def element():
        c = [rng.randrange(p) for _ in range(d)]
        c[rng.randrange(d)] = rng.randrange(1, p)
        return "(" + " + ".join(f"{k}*t^{e}" for e, k in enumerate(c) if k) + f" + {rng.randrange(p)}*s)"
    head = f"&(p = {p});\n&(J = t);\n&(J = s);\n&(J = y);\n&(J = x);\n&(P = {m}, 1);\n&(P = {outer}, 1);\n"
    g = sparse(rng, 6, 6, 8, element)
    a = sparse(rng, 8, 6, 8, element)
    b = sparse(rng, 7, 6, 8, element)
    return planted(binary, f"modulo {p} over {m} and {outer}", head, g, a, b, limit)


def tower_head(rels):
    names = ["t", "s", "r"]
    return ("".join(f"&(J = {v});\n" for v in names) + "&(J = y);\n&(J = x);\n"
            + "".join(f"&(P = {m}, 1);\n" for m in rels))


def tower_element(rng, bits):
    basis = ["", "*t", "*s", "*s*t", "*r", "*r*t", "*r*s", "*r*s*t"]
    return "(" + " + ".join(f"{rng.randrange(-2 ** bits, 2 ** bits)}{b}" for b in basis) + ")"


def tower_planted(binary, rng, label, rels, limit):
    def element():
        return tower_element(rng, 10)
    g = sparse(rng, 5, 5, 5, element)
    a = sparse(rng, 6, 5, 5, element)
    b = sparse(rng, 6, 5, 5, element)
    return planted(binary, f"planted over {label}", tower_head(rels), g, a, b, limit)


def tower_coprime(binary, rng, label, rels, limit):
    """Operands of degree 80 with coefficients near 2^40, each with a
    constant term: their gcd, a common divisor with coprime cofactors."""
    def element():
        return tower_element(rng, 40)
    u = sparse(rng, 6, 80, 80, element)[:-1] + f" + {rng.randrange(1, 2 ** 40)})"
    v = sparse(rng, 6, 80, 80, element)[:-1] + f" + {rng.randrange(1, 2 ** 40)})"
    checks = ("h := GCD(u, v):\n!!('A', u | h, v | h);\n!!('B', GCD(u/h, v/h));\n"
              "c := u/v:\n!!('C', Numer(c)*v - Denom(c)*u);\n")
    return planted(binary, f"degree 80 over {label}", tower_head(rels), "1", u, v, limit, checks,
                   {"A": "0 0", "B": "1", "C": "0"})


def tower_sqfree(binary, rng, label, rels, limit):
    """Sqfree of f1*f2^2 in one variable: two parts whose powers multiply
    back to f up to a field unit."""
    def element():
        return tower_element(rng, 20)

    def part(deg):
        return "(" + " + ".join([f"x^{deg}", "1"] + [f"{element()}*x^{rng.randrange(1, deg)}" for _ in range(4)]) + ")"
    script = (tower_head(rels) + f"f := {part(12)}*{part(10)}^2:\nArray q[1];\nk := Sqfree(f, [q]):\n"
              "w := q[1, 1]^q[1, 2]*q[2, 1]^q[2, 2]:\n!!('K', k);\n!!('R', f*Fieldlc(w) - w*Fieldlc(f));\n")
    where = f"Sqfree over {label}"
    vals = run(binary, script, limit)
    if vals is None:
        return f"{where}: no answer in {limit} s"
    return None if vals.get("K") == "2" and vals.get("R") == "0" else f"{where}: {vals}"


def main(argv):
    binary = argv[1]
    seed = int(argv[2]) if len(argv) > 2 else 20261209
    limit = float(argv[3]) if len(argv) > 3 else 4.0
    rng = random.Random(seed)
    results = []
    # 3^13 and 2^20 below 2^21 elements, 3^14 and 2^21, 2^22 above, up to
    # 2^32, the widest field whose elements fit a word.
    for p, d in ((3, 13), (3, 14), (2, 20), (2, 21), (2, 22), (3, 14), (2, 22), (3, 20), (2, 32)):
        results.append(modular_case(binary, rng, p, d, limit))
    # 3^14, 2^22 and 2^32 elements by two levels.
    for p, d in ((3, 7), (2, 11), (2, 16)):
        results.append(two_level_case(binary, rng, p, d, limit))
    for label, rels in TOWERS:
        results.append(tower_planted(binary, rng, label, rels, limit))
        results.append(tower_coprime(binary, rng, label, rels, limit))
        results.append(tower_sqfree(binary, rng, label, rels, limit))
    # Past 2^32 elements, codes of 64 bits: 2^33, 3^21 and 2^63 by one
    # relation, 2^34 by two levels; each answers in a tenth of a second.
    for p, d in ((2, 33), (3, 21), (2, 63)):
        results.append(modular_case(binary, rng, p, d, limit / 4))
    results.append(two_level_case(binary, rng, 2, 17, limit / 4))
    return report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
