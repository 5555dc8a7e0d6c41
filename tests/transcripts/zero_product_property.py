#!/usr/bin/env python3
"""Products that the relations make 0, random cases.

Under relations that leave zero divisors (nilpotent x^2, split t^2 - 1 and
t^3 - t, a tower, a field's relation that the prime splits, with and
without the flag, over Q, modulo a word prime and modulo a prime below the
degree), a = f*u/d and b = g*v/e with f*g = 0 and d, e numbers, free
polynomials above the relations or units of the ring. Each case goes
through products (typed in one run as x/2*x is, or of stored values),
quotients, powers, sums, a quotient typed as one, array cells, and Det
(dense, sparse, fraction-free) and Adjoint of matrices whose diagonal
multiplies to 0, and checks:
  - no "Tarvex error" line and no refusal;
  - every value that must be 0 is printed 0: a*b, (a + b)^2 - a^2 - b^2,
    (a*b + c) - c, a*c*b / w, Det [a, c; 0, b], A·Adjoint[A], ...;
  - a*c, for c a random fraction, minus the quotient typed as one whose
    numerator was reduced by the relations here (sympy) is 0.

  zero_product_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import random
import subprocess
import sys

import sympy

from case_report import report

t, s, x, y = sympy.symbols("t s x y")

# name, modulus (0: the rationals), header, relations (variable, monic
# polynomial) innermost last, generators, pairs (f, g) with f*g = 0, units
# of the ring, free variables above the relations.
RINGS = [
    ("x^2 over Q", 0, "&(J = x);\n&(J = y);\n&(P = x^2);", [(x, x**2)], [x],
     [(x, x), (x, 3 * x)], [1 + x, 2 - 3 * x], [y]),
    ("t^2-1 over Q", 0, "&(J = t);\n&(J = x);\n&(J = y);\n&(P = t^2 - 1);", [(t, t**2 - 1)], [t],
     [(t - 1, t + 1), (2 * t - 2, 3 * t + 3)], [t + 2, 2 * t - 3], [x, y]),
    ("t^3-t over Q", 0, "&(J = t);\n&(J = x);\n&(P = t^3 - t);", [(t, t**3 - t)], [t],
     [(t, t**2 - 1), (t - 1, t**2 + t), (t + 1, 2 * t**2 - 2 * t)], [t + 2, t**2 + 1], [x]),
    ("s^2-1, t^2-s over Q", 0, "&(J = s);\n&(J = t);\n&(J = x);\n&(P = s^2 - 1);\n&(P = t^2 - s);",
     [(s, s**2 - 1), (t, t**2 - s)], [s, t], [(s - 1, s + 1), (t**2 + 1, t - t**3)], [s + 2], [x]),
    ("s^2 over the field t^2-2", 0, "&(J = t);\n&(J = x);\n&(P = t^2 - 2, 1);\n&(J = s);\n&(P = s^2);",
     [(t, t**2 - 2), (s, s**2)], [t, s], [(s, t * s), (t * s - s, s)], [s + t], [x]),
    ("t^2-1 mod 65521", 65521, "&(p = 65521);\n&(J = t);\n&(J = x);\n&(P = t^2 - 1);", [(t, t**2 - 1)], [t],
     [(t - 1, t + 1)], [t + 2], [x]),
    ("x^2 mod 65521", 65521, "&(p = 65521);\n&(J = x);\n&(J = y);\n&(P = x^2);", [(x, x**2)], [x],
     [(x, 5 * x)], [1 + x], [y]),
    ("t^3-t mod 2", 2, "&(p = 2);\n&(J = t);\n&(J = x);\n&(P = t^3 - t);", [(t, t**3 - t)], [t],
     [(t, t**2 + 1), (t**2 + t, t + 1)], [], [x]),
    ("t^3-t mod 3", 3, "&(p = 3);\n&(J = t);\n&(J = x);\n&(P = t^3 - t);", [(t, t**3 - t)], [t],
     [(t, t**2 - 1), (t - 1, t**2 + t)], [], [x]),
    ("t^2-2 mod 7, no flag", 7, "&(p = 7);\n&(J = t);\n&(J = x);\n&(P = t^2 - 2);", [(t, t**2 - 2)], [t],
     [(t - 3, t - 4)], [t + 1], [x]),
    ("t^2-2 mod 7, field flag", 7, "&(p = 7);\n&(J = t);\n&(J = x);\n&(P = t^2 - 2, 1);", [(t, t**2 - 2)], [t],
     [(t - 3, t - 4), (2 * t + 1, t - 4)], [t + 1], [x]),
    ("s^2-3, t^2-2 mod 7, field flags", 7,
     "&(p = 7);\n&(J = s);\n&(J = t);\n&(J = x);\n&(P = s^2 - 3, 1);\n&(P = t^2 - 2, 1);",
     [(s, s**2 - 3), (t, t**2 - 2)], [s, t], [(t - 3, (t - 4) * s)], [s], [x]),
]


def text(e):
    return sympy.sstr(sympy.expand(e)).replace("**", "^")


def reduce(e, relations):
    e = sympy.expand(e)
    for v, m in reversed(relations):
        e = sympy.rem(e, m, v)
    return sympy.expand(e)


def small(rng, gens):
    return rng.randint(-3, 3) + sum(rng.randint(-2, 2) * g for g in gens) or 1


def denominator(rng, p, units, free):
    """A number (a unit modulo p), a polynomial in the free variables, a
    unit of the ring, or none (1)."""
    kind = rng.randrange(4)
    if kind == 0:
        return sympy.Integer(rng.choice([n for n in (2, 3, -6, 5, 7) if not p or n % p]))
    if kind == 1 or not units:
        return rng.choice(free) + rng.randint(1, 3) if rng.random() < 0.8 else sympy.Integer(1)
    if kind == 2:
        return rng.choice(units)
    return rng.choice(units) * (rng.choice(free) - 1)


def fraction(num, den):
    return f"({text(num)})/({text(den)})" if den != 1 else f"({text(num)})"


def case(rng, k, ring):
    name, p, _, relations, gens, pairs, units, free = ring
    f, g = rng.choice(pairs)
    if rng.random() < 0.5:
        f, g = g, f
    u = small(rng, gens) * (rng.choice(free) ** rng.randint(0, 1))
    v = small(rng, gens)
    d = denominator(rng, p, units, free)
    # b a polynomial often: a fraction times a polynomial cancels by gcds
    # of its own.
    e = sympy.Integer(1) if rng.random() < 0.4 else denominator(rng, p, units, free)
    cn, cd = small(rng, gens) + rng.choice(free), denominator(rng, p, units, free)
    w = rng.choice(free) + 2
    a, b, c = fraction(f * u, d), fraction(g * v, e), fraction(cn, cd)
    an, bn = text(f * u), text(g * v)
    zero = [
        f"{a}*{b}",                                    # in one run, as x/2*x
        f"({an})/({text(d)})*({bn})/({text(e)})",
        "a*b", "b*a", "a*c*b", "a*b/w", "a/w*b", "a/c*b", "(a*b)/c", "(a*b + c) - c", "c - (c - a*b)",
        "(a + b)^2 - a^2 - b^2", "a^2*b", "(a*b)^2", "a^2 - a*a", "(a + c)*(b + c) - c*(a + b) - c^2",
        f"({an})*({bn})/({text(d * e)})",            # a quotient typed as one
        "a/(w/c)*b", "m[1,1]*m[2,2]", "Det[m]", "Det[q]",
        "r[1,1]", "r[2,2]", "r[2,1] - c*b", "h[1,1]*h[2,2]", "v[1,1]",
    ]
    want = fraction(reduce(f * u * cn, relations), d * cd)
    lines = [f"!!('at_{k}'):", f"a := {a}:", f"b := {b}:", f"c := {c}:", f"w := {text(w)}:",
             "[m] := [(a, c, 0, b)]:", "[q] := [m]:", "[n] := [(b, 0, 0, a)]:", "[r] := [m]*[n]:",
             "[h] := [m]/w:", "[v] := a*[n]:", "[o] := [(a, c, 1, 0, b, w, 0, 0, c)]:", "[l] := [o]:",
             "[z] := [o]*Adjoint[o]:", "[i] := Adjoint[o]*[o]:",
             f"!!('n{k}', a*c - {want});", f"!!('o{k}', Iszero[z], Iszero[i]);"]
    lines += [f"!!('z{k}_{i}', {z});" for i, z in enumerate(zero)]
    labels = [f"n{k}"] + [f"z{k}_{i}" for i in range(len(zero))]
    lines += ["&(K = 1);", f"!!('f{k}', Det[o]);", f"!!('g{k}', Det[l]);", "&(K = 0);",
              "m[1,1] := a*b:", f"!!('e{k}', m[1,1]);"]
    labels += [f"f{k}", f"g{k}", f"e{k}"]
    return lines, labels, (name, a, b, c)


def main():
    tarvex = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 6
    results = []
    for ring in RINGS:
        lines = [ring[2], "Array m[2,2], q[2,2] Sparse, n[2,2], r[2,2], h[2,2], v[2,2], o[3,3], l[3,3] Sparse, "
                          "z[3,3], i[3,3];"]
        checks = []
        for k in range(cases):
            ls, labels, data = case(rng, k, ring)
            lines += ls
            checks.append((k, labels, data))
        out = subprocess.run([tarvex], input="\n".join(lines) + "\n&q;\n", capture_output=True, text=True,
                             timeout=120).stdout
        groups, got, cur = {}, {}, None
        for ln in out.splitlines():
            words = ln.lstrip(">").split()
            if words and words[0].startswith("at_"):
                cur = int(words[0][3:])
                groups[cur] = []
                continue
            if cur is not None:
                groups[cur].append(ln)
            if words:
                got[words[0].split("***")[0]] = words[1:]
        for k, labels, data in checks:
            said = "\n".join(groups.get(k, []))
            bad = [lab for lab in labels if got.get(lab) != ["0"]] + [f"o{k}"] * (got.get(f"o{k}") != ["1", "1"])
            fatal = "Tarvex error" in said or "***" in said
            results.append(None if not bad and not fatal else
                           f"{data[0]}: a = {data[1]}, b = {data[2]}, c = {data[3]}: not 0: "
                           f"{[(lab, got.get(lab)) for lab in bad]} {said[-240:]!r}")
    sys.exit(report(results))


if __name__ == "__main__":
    main()
