#!/usr/bin/env python3
"""Sums and quotients of fractions under a relation without the field flag
(the coefficients a ring with zero divisors), over the rationals and modulo
65521, timed as whole sessions; and sums under relations without the flag
that make a field, beside the same sessions with the flag; and loops that
build fractions afresh at each step: quotients of fractions modulo 13 under
t^2 - 2 without the flag, and quotients, products and sums under field
relations that the prime splits (modulo 7 and 13), and products, sums and
quotients of two fresh fractions under field relations that the prime
splits only partly, beside rings that it splits into linear factors;
towers and a planted gcd without the flag at high degree; an element of
k^3 - 2, t^32 - t - k times its inverse, with and without the flag; inverses of
matrices of fractions, dense and sparse, and their products by the
matrices, and a 5 x 5 over a tower modulo 5 and 101 times its Adjoint;
a 4 x 4 times its inverse modulo 7 and 11 under t^4 + 1 and modulo 7
under t^4 + t^2 + 1, and a 5 x 5 times its Adjoint under t^4 + 1 over
GF(2^8) and modulo 101; a 4 x 4 times its Adjoint under relations split
in two fields, one of them small (t^2 - 2 modulo 7, t^2 + 1 modulo 13,
t^2 - 1 modulo 11), and the 5 x 5 modulo 13 under t^2 + 1; 4 x 4s
whose coefficients in t are dense, and sparse, times their Adjoints
modulo 11 under t^3 - 2;
and one-variable
gcds and quotients of degree 20 to 60 under relations without the flag that
make a field, beside the same with the flag.

  bench_ring_relation_sums.py [--only TEXT] TARVEX [OTHER_TARVEX ...]

--only TEXT runs only the cases whose names hold TEXT.

Each case is one session, run three times; the median is shown, one column
per binary given. Every session ends by showing a few measures of its
result, which must agree between the binaries; a session past the limit
shows as "> limit" and is not run again.
"""
import os
import random
import statistics
import sys

from whole_process import whole_process

LIMIT = 60
RUNS = 3
VARS = "&(J = t):\n{rel}&(J = x):\n&(J = y):\n&(J = z):\n"


def ring(modulus, relation):
    head = f"&(p = {modulus}):\n" if modulus else ""
    return head + VARS.format(rel=f"&(P = {relation}):\n")


def sigma(n):
    return (f"s := Sigma<i = 1, {n}>((x + t)/(x*y + i*z + t)):\n"
            "Terms(Numer(s));\nTerms(Denom(s));\nDeg(Denom(s), x);\n")


def loop(n):
    return ("a := x + 2*t:\nb := t + 1:\ns := 0:\n"
            f"for i = 1 to {n} do s := s + (a + i)/(b + i*x); od:\n"
            "Terms(Numer(s));\nTerms(Denom(s));\n")


def telescope(relation, n):
    """A loop that adds fractions sharing a factor with the sum so far."""
    return (f"&(J = t):\n&(P = {relation}):\n&(J = x):\n&(J = y):\nz := 0:\n"
            f"for i = 1 to {n} do z := z + t/((x + i*y)*(x + i*y + y)) od;\nTerms(Numer(z));\n")


def quotients_mod7(n):
    """Quotients and sums modulo 7, whose relation splits: images at small
    primes meet chance common roots."""
    return ("&(p = 7):\n&(J = t):\n&(P = t^2 - 2):\n&(J = x):\n&(J = y):\n"
            f"for i = 1 to {n} do f := (x + i*t)/(x^2 + t*y + i); g := (y - i*t)/(x + y + t + i); "
            "h := f + g od;\nh;\n")


def built_loop(n, body, shown):
    """A loop that builds fractions afresh at each step, then shows them."""
    return f"for i = 1 to {n} do {body} od;\n" + "".join(f"{v};\n" for v in shown)


def matrix(rng, n, cells_terms):
    """An n x n matrix of small polynomials in x, y, z over Z[t]."""
    monomials = ["1", "x", "y", "z", "x*y", "y*z", "x^2", "z^2"]
    cells = []
    for _ in range(n * n):
        k = rng.randint(1, cells_terms)
        cells.append(" + ".join(f"({rng.randint(0, 12)} + {rng.randint(0, 12)}*t)*{m}"
                                for m in rng.sample(monomials, k)))
    return f"Array a[{n},{n}]:\n[a] := [(" + ", `\n".join(cells) + ")]:\n"


def inverse(rng, n):
    cells = [f"({rng.randint(-5, 5)} + {rng.randint(-5, 5)}*t) + ({rng.randint(-3, 3)})*x"
             for _ in range(n * n)]
    return (f"Array m[{n},{n}]:\n[m] := [(" + ", `\n".join(cells) + ")]:\n"
            "[w] := 1/[m]:\nTerms(w[1,1]);\nTerms(w[3,7]);\n")


def fraction_inverse(seed, n, sparse, product=False):
    """1/[a] of an n x n matrix of fractions in x, most cells filled, in
    dense or sparse storage (the same matrix for one seed); with product,
    [a] times it too."""
    rng = random.Random(seed)
    c = lambda: rng.randint(-3, 3)
    text = f"Array a[{n},{n}]{' Sparse' if sparse else ''}, w[{n},{n}]{' Sparse' if sparse else ''}:\n"
    for i in range(1, n + 1):
        for j in range(1, n + 1):
            if i == j or rng.random() < 0.6:
                text += f"a[{i},{j}] := (({c()} + {c()}*t)*x + {c()} + {c()}*t)/(x + {rng.randint(1, 4)} + {c()}*t):\n"
    text += f"[w] := 1/[a]:\nTerms(w[1,1]);\nDeg(Denom(w[{n},2]), x);\n"
    return text + f"[c] := [a]*[w]:\nc[1,1];\nc[{n},2];\n" if product else text


# The 5 x 5 in x, y over t, s (t^2 - 2, s^2 - t without the flag), column
# by column.
TOWER_CELLS = ("0, 0, (1 + 3*s + 3*t) - x, (-1 + s^2) + (1 - 2*s - t)*x + (1 + s)*y, "
               "((-2 - 2*s) + (2 + 2*t)*x + (3 + s)*y)/((3 - 3*t) + (-1 - 3*s - t)*x), s + (2 - 2*s)*x + (1 + s)*y, "
               "(3 + 2*s + t) + (-1 - 3*t)*x + (-3 - 2*t)*y, (-1 + 2*s) + (-3 + 2*s)*x - y, "
               "(2*t + (2 + t)*y)/((2 + 2*s - 3*t) + (3 + 3*t)*x + (-s + 3*t)*y), 3 + (-3 + 2*s - t)*x, "
               "(1 - s^2) - 3*x + (-3 + s^2 + 2*t)*y, s, 3 - 2*t, "
               "((3*s - 3*t) + (3 + s + 2*t)*x + (1 - 3*s)*y)/(2 + (s - 3*t)*x + (2 + s^2)*y), "
               "-s + 2*t*x + (-1 + 3*t)*y, -2 - y, -2 + (-2 + 2*t)*x, (-2 - s^2 + t) + (-1 - 3*s - t)*x + (s^2 + t)*y, "
               "3, -2 - t, ((3 + s^2 + t) + (1 - 3*s^2 - 2*t)*x)/((-3 + s) + (3 + s + 2*t)*x + (3 + s - 3*t)*y), "
               "((-2 + 2*s^2) + 3*s*x)/((1 + 3*s^2 + t) + (3 + s + 3*t)*y), 0, "
               "((-2 + t) + (3 + s^2 + 3*t)*x + 3*y)/((2 - 2*s) + (2 - t)*x + (-2 + t)*y), 2")


def tower_by_adjoint(modulus):
    """The 5 x 5 of fractions over the tower times its Adjoint, whose cells'
    denominators share no factors (Det and Adjoint take most of the
    session)."""
    return (f"&(p = {modulus}):\n&(J = t):\n&(P = t^2 - 2):\n&(J = s):\n&(P = s^2 - t):\n&(J = x):\n&(J = y):\n"
            f"Array a[5,5], b[5,5], z[5,5]:\n[a] := [({TOWER_CELLS})]:\nq := Det[a]:\n[b] := Adjoint[a]:\n"
            "[z] := [a]*[b]:\nz[1,1] - q;\nz[4,2];\n")


# The 4 x 4 in x, y of the report on products under t^4 + 1, row by row.
QUARTIC_CELLS = ("4*x*t^2, 0, (2*t^2 - 2)/(x + t*x + t - 3), 0, "
                 "0, -3*y*t + 5*t^2, (t - 5*x*y)/(x + t*x + y*t^2 - 3*y*t), (-4*x*t - 5*x*y*t^2 + y*t^2)/(x + 4*t - 5*y*t^2), "
                 "(3*x*y + 4*x - 3)/(x - 2*t*x - 3 - 3*y*t^2), -x*t, -3*t^2 + 2*x*y, (-2*y*t^2 - 5*y)/(x + 2*t*x - y*t + 3*t), "
                 "(-2*x*t)/(x - 5*y*t^2 + 1), -t^2, -4*x*y*t^2 - 4*y, -3*y*t^2 + 2*x*t^2")
# A 5 x 5 in x, y under t^4 + 1 whose first column's denominators share a
# factor, row by row.
SHARED_CELLS = ("(3*x*y + t^2)/(x + 2*y*t + 2*t^2), 5*x*t^2 + y*t, 4*t + 5*y*t^2, 2 + 2*y*t^2, (x*t + 7)/(y + 3*x*t + 1), "
                "(x + 4*t^2)/((x + 2*y*t + 2*t^2)*(y + t + 3)), (t^2 + 4*y*t^2 + 2*t)/(x + x*t + t + 2), "
                "3*t^2 + 4*x*t^2, 3 + 5*x*t, 5*y + 2*t, "
                "x + 4*t^2, (3 + 4*t^2)/(x + 4*y*t + 3*t^2 + 2), 6*x*y + t, (y*t^2 + 9)/(x + 5*y*t + t^2 + 4), x*t^2 + 3, "
                "7*y + t^3, x*y + 2, (x*t + y)/(y + 6*x*t + 5*t^2 + 1), 5*t^2 + x, (x + y*t^2)/(x + 3*y*t + 2*t^2 + 6), "
                "(2*x + t)/(x + y*t + 7*t^2 + 3), 9*y*t^2 + x, x + y + t, (6*x*y + 1)/(y + 2*x*t + t^2 + 5), "
                "2*t^2 + 3*x*y")

# A 4 x 4 in x, y whose rows hold up to three fractions, row by row.
DENSE_ROW_CELLS = ("((-1 + -3*t)*x + (2 + -1*t) + (0 + 4*t)*x*y), ((2 + -4*t)*x + (-3 + -2*t)*y + (-3 + 2*t)), "
                   "((-2 + 4*t)*x + (-4 + -1*t) + (-1 + 2*t)*x*y), "
                   "((4 + 3*t)*y + (-1 + 1*t))/(x + (-1 + -1*t)*y + (-1 + -4*t)), "
                   "((-3 + -1*t)*x + (0 + -4*t)*y + (1 + -3*t)), ((3 + -4*t))/(x + (1 + 1*t) + (2 + 2*t)*x*y), "
                   "((-3 + 2*t) + (-3 + 4*t)*x*y)/(x + (2 + -1*t)*y + (4 + -2*t) + (0 + 4*t)*x*y), "
                   "((1 + -3*t)*x + (1 + 1*t) + (3 + -1*t)*x*y), "
                   "((-3 + -2*t)*x + (1 + -3*t)*y + (0))/(x + (-2 + 4*t)), "
                   "((-1 + 3*t)*x + (-1 + -2*t)*y + (-3 + -1*t)), ((-1 + 1*t)*x + (2)*y + (-1 + -2*t)), "
                   "((1 + 4*t) + (-4 + 2*t)*x*y), "
                   "((3 + 1*t))/(x + (-3 + 3*t)), ((0 + 2*t)*y + (-4 + -1*t) + (-2 + -3*t)*x*y), "
                   "((2)*x + (0 + 3*t)*y + (2 + 2*t))/(x + (0 + -4*t)*y + (4 + -2*t) + (2 + -4*t)*x*y), "
                   "((-1 + -3*t))/(x + (1 + 2*t))")

# A 4 x 4 in x, y whose coefficients in t hold three terms, row by row.
DENSE_T_CELLS = ("((3 + -3*t + -4*t^2)*y + (3 + 0*t + 4*t^2)*x*y)/(x + (-2 + -1*t + -2*t^2) + (4 + 2*t + "
                 "-4*t^2)*x*y + (-3 + -2*t + -4*t^2)*y), ((2 + 2*t + 2*t^2)*x + (3 + -2*t + 1*t^2)*y + (-3 + -4*t "
                 "+ -2*t^2)), ((2 + 4*t + 2*t^2)*x*y + (1 + 4*t + 2*t^2) + (-1 + 1*t + -4*t^2)*y), ((-3 + -1*t + "
                 "0*t^2) + (0 + -3*t + -3*t^2)*x*y), ((2 + -2*t + -4*t^2)*x + (0 + 2*t + 2*t^2)*y + (-3 + -4*t + "
                 "-4*t^2)*x*y)/(x + (-4 + 0*t + -4*t^2) + (-3 + -3*t + 4*t^2)*x*y + (-4 + -1*t + 2*t^2)*y), ((1 + "
                 "1*t + 1*t^2) + (-2 + 2*t + 2*t^2)*x + (3 + 4*t + 2*t^2)*x*y), ((-1 + 0*t + 2*t^2) + (0 + 4*t + "
                 "0*t^2)*y), ((1 + -4*t + 2*t^2)*x*y + (-2 + -4*t + 1*t^2)), ((-4 + -4*t + -4*t^2) + (1 + 0*t + "
                 "3*t^2)*x*y + (0 + 1*t + -2*t^2)*y)/(x + (0 + 2*t + -3*t^2) + (-4 + -2*t + 0*t^2)*x*y), ((1 + "
                 "-2*t + 2*t^2) + (-3 + -3*t + 1*t^2)*x), ((-3 + 1*t + -1*t^2)*x*y + (3 + 0*t + -1*t^2)*x), ((-2 +"
                 " 0*t + 1*t^2)*y + (-3 + 1*t + -2*t^2)*x*y), ((0 + 2*t + 2*t^2)*x*y + (-4 + 2*t + -2*t^2)*y + (-1"
                 " + -4*t + 3*t^2)), ((4 + 0*t + 4*t^2)*y + (1 + -1*t + -3*t^2)*x + (0 + -3*t + -1*t^2)*x*y)/(x + "
                 "(-4 + -4*t + 3*t^2)*x*y + (-3 + -2*t + 4*t^2)*y + (0 + -1*t + -4*t^2)), ((1 + -2*t + 0*t^2)*x + "
                 "(4 + 3*t + -4*t^2) + (1 + -1*t + -1*t^2)*x*y)/(x + (-1 + 0*t + -2*t^2)*y), ((2 + -4*t + "
                 "0*t^2)*x*y + (-1 + 0*t + 4*t^2))")

# A 4 x 4 in x, y whose coefficients in t are sparse, up to three
# fractions a row.
SPARSE_T_CELLS = ("((4*t) + (-3*t)*y + (-2 + 4*t^2)*x), (4 + -4*x*y + (-4*t)*x)/(x + (-3*t - 4*t^2)*y + (-3*t^2) + (1 +"
                  " 4*t)*x*y), (2*x + (2 - 4*t^2)*x*y)/(x + (2*t + 2*t^2)*y), (1*y + 2*x*y)/(x + 4*y + (4 - 2*t) + (2 -"
                  " 3*t)*x*y), ((-4 - 2*t)*x*y + -4)/(x + -3*y + -1*x*y), ((3*t^2)*x*y + 2 + 1*y), ((2*t)*y + 2*x)/(x +"
                  " (2*t - t^2)), (-2 + (-3*t + 4*t^2)*y + (-t^2)*x)/(x + -4*x*y + 1), ((3*t)*x + -4*y), (3*x*y + -3*x "
                  "+ (4*t - 4*t^2)), (3*x*y + (-4*t - 4*t^2)*y), ((-3*t^2)*x + 1*x*y + (3*t + 2*t^2)), (3*x + "
                  "(-3*t)*y), ((-t^2)*x*y + (t^2)*x + (3 + t)*y), (2 + (-1 - 2*t)*x)/(x + 1), ((-t + 2*t^2) + (3*t + "
                  "t^2)*y)/(x + 1*x*y)")

def quartic_product(modulus, relation, cells, n, by):
    """[a] times its inverse or its Adjoint (by), whole sessions."""
    cells = cells.split(", ")
    operand = "[b] := 1/[a]:\n" if by == "inverse" else "q := Det[a]:\n[b] := Adjoint[a]:\n"
    return (f"&(p = {modulus}):\n&(J = t):\n&(P = {relation}):\n&(J = x):\n&(J = y):\n"
            f"Array a[{n},{n}], b[{n},{n}], z[{n},{n}]:\n" +
            "".join(f"a[{k // n + 1},{k % n + 1}] := {c}:\n" for k, c in enumerate(cells)) + operand +
            "[z] := [a]*[b]:\nz[1,1];\nz[2,1];\n")


def linear(rng, variables):
    return " + ".join([f"({rng.randint(-3, 3)} + {rng.randint(-3, 3)}*t)"] +
                      [f"({rng.randint(-3, 3)} + {rng.randint(-3, 3)}*t)*{v}" for v in variables])


def shared_sum(rng, n, variables):
    """n fractions of linear numerators over products of a few linear
    denominators that they share: the gcds of the sum's parts are not 1."""
    names = [f"d{k}" for k in range(max(3, n // 2))]
    script = "".join(f"{d} := {linear(rng, variables)}:\n" for d in names)
    parts = [f"({linear(rng, variables)})/({'*'.join(rng.choices(names, k=rng.randint(1, 3)))})" for _ in range(n)]
    return script + "s := " + " + ".join(parts) + ":\nTerms(Numer(s));\nTerms(Denom(s));\n"


def four_fractions(relations):
    """The sum of four fractions of the report under relations (innermost
    first, each of level t, k, ...) of high degree."""
    head = "".join(f"&(J = {v}):\n&(P = {rel}):\n" for v, rel in zip(["k", "t"][2 - len(relations):], relations))
    return (head + "&(J = x):\n&(J = y):\n"
            "r := 1/(x + t) + 1/(x - t) + 1/((x + t)*(y - t^2)) + (y + t)/((x + 1)*(y - t^2)):\n"
            "Terms(Numer(r));\nTerms(Denom(r));\n")


def leading_fractions(relations, seed):
    """Three fractions whose parts lead with elements of a tower (the
    report's sum for seed 0): the ring's remainders invert those elements."""
    head = "".join(f"&(J = {v}):\n&(P = {rel}):\n" for v, rel in zip(["k", "t"], relations)) + "&(J = x):\n&(J = y):\n"
    if seed == 0:
        return (head + "s := ((2*t) + (3 + t^2)*x - 2*t*y)/((-1 - 3*t) + (-3 - 2*t^2)*x - 2*t*y*((-1 + 2*t) + "
                "3*t^2*x + (2 + 3*t)*y)) + (-1 + (1 + 3*t^2)*x + t*y)/((-1 + t) + x + (1 - 2*t)*y) + "
                "1/((t + 2)*x + y + 1):\nTerms(Numer(s));\n")
    rng = random.Random(seed)

    def lin():
        return " + ".join(f"({rng.randint(-3, 3)} + {rng.randint(-3, 3)}*t + {rng.randint(-3, 3)}*t^2)*{m}"
                          for m in ("1", "x", "y"))

    parts = [f"({lin()})/({lin()} + ({lin()})*y)"] + [f"({lin()})/({lin()})" for _ in range(2)]
    return head + "s := " + " + ".join(parts) + ":\nTerms(Numer(s));\nTerms(Denom(s));\n"


def planted(relation, quotient):
    """The report's planted gcd (or the quotient of its two products)
    under one relation without the flag."""
    return (f"&(J = t):\n&(P = {relation}):\n&(J = x):\n&(J = y):\n"
            "cc := (x + (3 - 2*t^30 - 2*t^41)*y - 3 - 4*t^34)*(y^2 + (5 - t^7)*x + 4 + 4*t^14 - 3*t^40):\n"
            "aa := (x^2 + (-2 + 2*t^44 + t^28)*y + 5 - t^29 - 3*t^15)*cc:\n"
            "bb := (y^2 + (3 + 2*t^2 + t^22)*x*y + 2 - 4*t^31)*cc:\n" +
            ("q := aa/bb:\nTerms(Numer(q));\nTerms(Denom(q));\n" if quotient else
             "g := GCD(aa, bb):\nDeg(g, x);\nTerms(g);\n"))


def onevar_gcd(relation, n):
    """The planted gcd in one free variable of the report, of degree n."""
    return (f"&(J = t):\n&(P = {relation}):\n&(J = x):\n"
            f"g := Sigma<i = 0, {n}>((((i*i*37 + 11)|13) - 6 + (((i*17 + 5)|11) - 5)*t)*x^i):\n"
            f"u := Sigma<i = 0, {n}>((((i*i*29 + 3)|17) - 8 + (((i*13 + 7)|9) - 4)*t)*x^i):\n"
            f"v := Sigma<i = 0, {n}>((((i*i*41 + 5)|19) - 9 + (((i*23 + 1)|7) - 3)*t)*x^i):\n"
            "h := GCD(g*u, g*v):\nTerms(h);\nDeg(h, x);\nq := (g*u)/(g*v):\nTerms(Denom(q));\n")


def cases():
    rng = random.Random(77)
    q, m = ring("", "t^2 - 1"), ring(65521, "t^2 + 3")
    out = [
        ("sum of 12 fractions, Q[t]/(t^2 - 1)", q + sigma(12)),
        ("sum of 15 fractions, Q[t]/(t^2 - 1)", q + sigma(15)),
        ("sum of 12 fractions, GF(65521)[t]/(t^2 + 3)", m + sigma(12)),
        ("sum of 15 fractions, GF(65521)[t]/(t^2 + 3)", m + sigma(15)),
        ("loop of 300 quotients, GF(65521)[t]/(t^2 + 3)", m + loop(300)),
        ("loop of 100 quotients, Q[t]/(t^2 - 1)", q + loop(100)),
        ("Det 8x8, Q[t]/(t^2 - 1)", q + matrix(rng, 8, 2) + "d := Det[a]:\nTerms(d);\n"),
        ("1/[m] 14x14, Q[t]/(t^2 - 1)", ring("", "t^2 - 1") + inverse(rng, 14)),
    ] + [
        (f"loop of 16000 sums, Q[t]/({rel})", telescope(rel, 16000))
        for rel in ("t^2", "t^2 - 1", "t^2 - 2", "t^3 - t")
    ] + [
        ("loop of 8000 quotients and sums, GF(7)[t]/(t^2 - 2)", quotients_mod7(8000)),
        ("loop of 5000 quotients u/v, GF(13)[t]/(t^2 - 2)",
         ring(13, "t^2 - 2") + built_loop(5000, "u := (x + t*y + i)/(y + 1); v := (x + t*y + i)/(x - t); w := u/v",
                                          "uvw")),
    ]
    # Inverses of fractions, dense beside sparse storage: the sparse one
    # takes the dense elimination (the recurrence's sums swelled).
    for label, mod, rel, n in [("GF(5)", 5, "t^3 - 2", 4), ("GF(11)", 11, "t^3 - 2", 5), ("Q", "", "t^2 - 1", 5),
                               ("Q", "", "t^2 - 1", 6), ("Q", "", "t^2 + 1", 6)]:
        for sparse in (False, True):
            out.append((f"1/[a] {n}x{n} fractions {'sparse' if sparse else 'dense'}, {label}[t]/({rel})",
                        ring(mod, rel) + fraction_inverse(n, n, sparse)))
    # [a] times its inverse: the sums rest the relation as the inverse does.
    for label, mod, rel, n in [("GF(11)", 11, "t^3 - 2", 5), ("Q", "", "t^2 - 1", 5), ("Q", "", "t^2 - 1", 6),
                               ("Q", "", "t^2", 5), ("Q", "", "t^2 + 1", 6)]:
        for sparse in (False, True):
            out.append((f"[a]*(1/[a]) {n}x{n} fractions {'sparse' if sparse else 'dense'}, {label}[t]/({rel})",
                        ring(mod, rel) + fraction_inverse(n, n, sparse, True)))
    for mod in (5, 101):
        out.append((f"[a]*Adjoint[a] 5x5 fractions, GF({mod})[t, s]/(t^2 - 2; s^2 - t)", tower_by_adjoint(mod)))
    # Under relations that factor into non-linear pieces modulo the prime:
    # the inverse's denominators differ by units of the ring, the
    # Adjoint's are unlike products of A's.
    for mod, rel in [(7, "t^4 + 1"), (11, "t^4 + 1"), (7, "t^4 + t^2 + 1")]:
        out.append((f"[a]*(1/[a]) 4x4 fractions, GF({mod})[t]/({rel})",
                    quartic_product(mod, rel, QUARTIC_CELLS, 4, "inverse")))
    for mod in (256, 101):
        out.append((f"[a]*Adjoint[a] 5x5 fractions, GF({mod})[t]/(t^4 + 1)",
                    quartic_product(mod, "t^4 + 1", SHARED_CELLS, 5, "Adjoint")))
    # Relations split in two fields, one of them small: every product rests.
    for mod, rel in [(7, "t^2 - 2"), (13, "t^2 + 1"), (11, "t^2 - 1")]:
        out.append((f"[a]*Adjoint[a] 4x4 fractions, GF({mod})[t]/({rel})",
                    quartic_product(mod, rel, DENSE_ROW_CELLS, 4, "Adjoint")))
    out.append(("[a]*Adjoint[a] 5x5 fractions, GF(13)[t]/(t^2 + 1)",
                quartic_product(13, "t^2 + 1", SHARED_CELLS, 5, "Adjoint")))
    # Coefficients dense in t with few fractions a row, and sparse in t with
    # more.
    out.append(("[a]*Adjoint[a] 4x4 fractions dense in t, GF(11)[t]/(t^3 - 2)",
                quartic_product(11, "t^3 - 2", DENSE_T_CELLS, 4, "Adjoint")))
    out.append(("[a]*Adjoint[a] 4x4 fractions sparse in t, GF(11)[t]/(t^3 - 2)",
                quartic_product(11, "t^3 - 2", SPARSE_T_CELLS, 4, "Adjoint")))
    # Fractions built over field relations that the prime splits, which
    # need the copies only where the parts use the field levels.
    for mod, rel in [(7, "t^2 - 2"), (13, "t^2 + 1")]:
        name = f"GF({mod})[t]/({rel}, 1)"
        out += [
            (f"loop of 40000 quotients, {name}",
             ring(mod, rel + ", 1") + built_loop(40000, "u := (x + i)/(y + 2)", "u")),
            (f"loop of 5000 u*v + u, {name}",
             ring(mod, rel + ", 1") + built_loop(5000, "u := (x + t + i)/(y + 2); v := (y + i)/(x + t); w := u*v + u",
                                                 "uvw")),
        ]
    # The same kind of loop over field relations that the prime splits only
    # partly (into factors not all linear; the tower: t^2 - 2 but not s^2 - 3
    # modulo 7, the other way modulo 13), beside rings that it splits into
    # linear factors (t^3 - 2 modulo 31, t^4 + 1 modulo 17, the tower modulo
    # 23): 4,000 products, sums and quotients of two fresh fractions.
    step = "f := (x + t*y + i)/(x - t + i); g := (x - t + i)/(y + i*t + 1); h := f {} g"
    for mod, rels, split in [(23, ["t^3 - 2"], "partly"), (31, ["t^3 - 2"], "fully"),
                             (7, ["t^4 + 1"], "partly"), (13, ["t^4 + 1"], "partly"),
                             (23, ["t^4 + 1"], "partly"), (17, ["t^4 + 1"], "fully"),
                             (7, ["s^2 - 3", "t^2 - 2"], "partly"), (13, ["s^2 - 3", "t^2 - 2"], "partly"),
                             (23, ["s^2 - 3", "t^2 - 2"], "fully")]:
        head = f"&(p = {mod}):\n" + "".join(f"&(J = {r[0]}):\n&(P = {r}, 1):\n" for r in rels) + "&(J = x):\n&(J = y):\n"
        for op, what in (("*", "products"), ("+", "sums"), ("/", "quotients")):
            out.append((f"loop of 4000 {what}, GF({mod}) {'/'.join(rels)} {split}",
                        head + built_loop(4000, step.format(op), "h")))
    # Relations without the flag that make a field, beside the same
    # session with the flag (whose forms differ: only the times compare).
    xyz, xy = ["x", "y", "z"], ["x", "y"]
    for label, mod, rel, n, variables in [("Q", "", "t^2 - 2", 6, xyz), ("Q", "", "t^2 - 2", 15, xy),
                                          ("Q", "", "t^2 - 2", 20, xy), ("Q", "", "t^2 + 1", 10, xyz),
                                          ("GF(5)", 5, "t^2 - 2", 6, xyz), ("GF(65413)", 65413, "t^2 - 2", 10, xyz)]:
        body = shared_sum(random.Random(n), n, variables)
        for flag in ("", ", 1"):
            name = f"sum of {n} shared fractions, {label}[t]/({rel}{flag})"
            out.append((name, ring(mod, rel + flag) + body))
    # Relations of high degree without the flag: the decision whether they
    # make a field must cost about what the sum did before it was taken.
    for rels in (["t^12 - 2*t + 2"], ["t^24 - 2*t + 2"], ["t^36 - 2*t + 2"], ["t^36 - 2*t + 2, 1"],
                 ["t^48 - 2*t + 2"], ["t^64 - 2*t + 2"], ["k^2 - 2", "t^12 - t - k"],
                 ["t^36 - 4"], ["t^64 + 1"], ["t^4 - 10*t^2 + 1"]):
        out.append((f"4 fractions, Q[{', '.join(r.split(' = ')[0][0] for r in rels[::-1])}]/"
                    f"({'; '.join(rels)})", four_fractions(rels)))
    # Towers without the flag whose outer level has high degree, and the
    # planted gcd and quotient under t^d - 2 without it, at several degrees:
    # the ring's remainders end in a fraction of what the field's proof and
    # images cost there.
    for rels in (["k^2 - 2", "t^24 - t - k"], ["k^2 - 2", "t^32 - t - k"], ["k^2 - 2", "t^48 - t - k"],
                 ["k^2 - 2", "t^64 - t - k"], ["k^3 - 2", "t^20 - t - k"], ["k^2 + 3", "t^24 - t - k"]):
        out.append((f"4 fractions, Q[t, k]/({'; '.join(rels)})", four_fractions(rels)))
    # Fractions whose parts lead with elements of such towers: their
    # inverses are the remainders' dearest steps (k^2 + 3 under t^20 - t - k
    # or t^23 - t - k makes no field, -(1 + k)/2 a root: the remainders'
    # road alone).
    for rels, seed in ((["k^3 - 2", "t^20 - t - k"], 0), (["k^2 - 2", "t^20 - t - k"], 1),
                       (["k^2 - 3", "t^20 - t - k"], 2), (["k^3 - 2", "t^24 - t - k"], 3),
                       (["k^2 + 3", "t^20 - t - k"], 4), (["k^2 + 3", "t^23 - t - k"], 5)):
        out.append((f"3 leading fractions ({seed}), Q[t, k]/({'; '.join(rels)})", leading_fractions(rels, seed)))
    # An element of 32 terms of 40 digits times its inverse, and (x + 1)e
    # times 1/((x + 1)e): their gcds and cancellations asked only for units.
    rng = random.Random(32)
    e = " + ".join(f"({rng.randint(-10**40, 10**40)})*k^{i}*t^{j}" for j in range(32) for i in range(3) if rng.random() < 0.4)
    for flag in ("", ", 1"):
        head = f"&(J = k):\n&(P = k^3 - 2{flag}):\n&(J = t):\n&(P = t^32 - t - k{flag}):\n&(J = x):\ne := {e}:\n"
        out.append((f"e*(1/e), ((x + 1)e)/((x + 1)e), Q[t, k]/(k^3 - 2{flag}; t^32 - t - k{flag})",
                    head + "u := 1/e:\ne*u;\nu*e - 1;\nv := (x + 1)*e:\nv*(1/v);\n"))
    for d in (24, 36, 48, 64):
        out.append((f"planted GCD, Q[t]/(t^{d} - 2)", planted(f"t^{d} - 2", False)))
        out.append((f"planted quotient, Q[t]/(t^{d} - 2)", planted(f"t^{d} - 2", True)))
    for flag in ("", ", 1"):
        out.append((f"sum of 4 shared fractions, Q[t]/(t^24 - 2*t + 2{flag})",
                    ring("", "t^24 - 2*t + 2" + flag) + shared_sum(random.Random(4), 4, xy)))
    # One-variable gcds (and the quotient) of degree n over Q: the
    # relations that make a field beside the same with the flag; t^2 - 1
    # keeps the ring's road. (Modulo a prime the report's coefficients
    # fall to a few terms.)
    for rel, n in [("t^2 - 2", 60), ("t^3 - 2", 60), ("t^6 + t + 1", 60), ("t^24 - 2*t + 2", 20)]:
        for flag in ("", ", 1"):
            out.append((f"gcd of degree {n} in x, Q[t]/({rel}{flag})", onevar_gcd(rel + flag, n)))
    out.append(("gcd of degree 20 in x, Q[t]/(t^2 - 1)", onevar_gcd("t^2 - 1", 20)))
    return out


def results(out):
    """What the session showed after its banner."""
    body = out[out.find("\n>"):]
    return [ln.strip() for ln in body.splitlines() if ln.strip() and "tarvexstart" not in ln]


def main(argv):
    args = argv[1:]
    only = ""
    if len(args) >= 2 and args[0] == "--only":
        only, args = args[1], args[2:]
    binaries = [os.path.abspath(b) for b in args]
    if not binaries:
        print(__doc__)
        return 2
    print(f"{'case (seconds, whole process, median of 3)':52s}" +
          "".join(f" {os.path.basename(os.path.dirname(os.path.dirname(os.path.dirname(b))))[:12]:>12s}"
                  for b in binaries))
    failed = 0
    for name, script in cases():
        if only not in name:
            continue
        cells, shown = [], []
        for b in binaries:
            times, out = [], ""
            for _ in range(RUNS):
                took, out = whole_process(b, script, LIMIT)
                if took is None:
                    break
                times.append(took)
            if len(times) < RUNS:
                cells.append(f"> {LIMIT}")
                continue
            cells.append(f"{statistics.median(times):.3f}")
            shown.append(results(out))
        agree = all(s == shown[0] for s in shown)
        failed += 0 if agree else 1
        print(f"{name:52s}" + "".join(f" {c:>12s}" for c in cells) + ("" if agree else "  RESULTS DIFFER"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
