#!/usr/bin/env python3
"""A 5 x 5 matrix of fractions in x under t^2 - 1 over Q, without the field
flag, times its inverse, plainly and by Winograd's scheme: the identity cell
by cell, at most LIMIT times the processor time of the inverse alone (the
least of three sessions each). Their sums once cancelled by the ring's
remainders: 9-15 s and over a minute against 0.5 s.
And a 5 x 5 in x, y modulo 5 under t^2 - 2, s^2 - t without the flag
times its Adjoint: Det[a] times the identity, the product costing at most
the session that forms the Adjoint (the free ring's lcms at rest: 2.5
times it, the ring's road a fifth).
Under t^4 + 1 without the flag, whose rings are no fields modulo any
prime: a 4 x 4 in x, y modulo 7 times its inverse, held to the session
forming the inverse (the ring's road: 20 times it, at rest a twentieth),
and a 5 x 5 over GF(2^8) times its Adjoint, held to 2.5 times the session
forming the Adjoint (at rest: 5 times it, the ring's road about 1.1).
The same 5 x 5 modulo 13 under t^2 + 1, which splits there into two
fields, held to 6 times the session forming the Adjoint (the ring's road
10 times it, at rest 2.3); and a 4 x 4 modulo 7 under t^4 - t - 1,
split there into a field of 7 elements and one of 343, whose rows hold
up to three fractions, held to the session forming the Adjoint (at rest
0.7 times it, 1.1 with the free ring's products term by term, the ring's
road 0.5); and two 4 x 4 modulo 11 under t^3 - 2, split there into fields
of 11 and 121 elements, held to the session forming the Adjoint: one
whose rows hold two fractions at most but whose coefficients in t are
dense, and one sparse in t with up to three fractions a row (the ring's
road 6 times the session, at rest a third of it).

  fraction_product_cost.py TARVEX [LIMIT]
"""
import os
import random
import re
import resource
import sys
import tempfile

from case_report import report
from cpu_limited import run_held
from sparse_fraction_inverse_property import cell

SEED = 1   # a matrix whose product swelled (15 s)


def seconds(tarvex, script, cwd):
    """Processor time of a session that ends without an error and with no
    cell off the identity, else None."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = run_held(tarvex, script, 10, text=True, cwd=cwd)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if out is None or "Error occurred" in out.stdout or re.search(r"off [1-9]", out.stdout):
        return None
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


# Cells modulo 5 over t, s (levels t: t^2 - 2, s: s^2 - t) and x, y.
TOWER_CELLS = """0, 0, (1 + 3*s + 3*t) - x, (-1 + s^2) + (1 - 2*s - t)*x + (1 + s)*y,
((-2 - 2*s) + (2 + 2*t)*x + (3 + s)*y)/((3 - 3*t) + (-1 - 3*s - t)*x), s + (2 - 2*s)*x + (1 + s)*y,
(3 + 2*s + t) + (-1 - 3*t)*x + (-3 - 2*t)*y, (-1 + 2*s) + (-3 + 2*s)*x - y,
(2*t + (2 + t)*y)/((2 + 2*s - 3*t) + (3 + 3*t)*x + (-s + 3*t)*y), 3 + (-3 + 2*s - t)*x,
(1 - s^2) - 3*x + (-3 + s^2 + 2*t)*y, s, 3 - 2*t,
((3*s - 3*t) + (3 + s + 2*t)*x + (1 - 3*s)*y)/(2 + (s - 3*t)*x + (2 + s^2)*y), -s + 2*t*x + (-1 + 3*t)*y,
-2 - y, -2 + (-2 + 2*t)*x, (-2 - s^2 + t) + (-1 - 3*s - t)*x + (s^2 + t)*y, 3, -2 - t,
((3 + s^2 + t) + (1 - 3*s^2 - 2*t)*x)/((-3 + s) + (3 + s + 2*t)*x + (3 + s - 3*t)*y),
((-2 + 2*s^2) + 3*s*x)/((1 + 3*s^2 + t) + (3 + s + 3*t)*y), 0,
((-2 + t) + (3 + s^2 + 3*t)*x + 3*y)/((2 - 2*s) + (2 - t)*x + (-2 + t)*y), 2"""


# The 4 x 4 in x, y modulo 7 under t^4 + 1, row by row.
QUARTIC_CELLS = """4*x*t^2, 0, (2*t^2 - 2)/(x + t*x + t - 3), 0,
0, -3*y*t + 5*t^2, (t - 5*x*y)/(x + t*x + y*t^2 - 3*y*t), (-4*x*t - 5*x*y*t^2 + y*t^2)/(x + 4*t - 5*y*t^2),
(3*x*y + 4*x - 3)/(x - 2*t*x - 3 - 3*y*t^2), -x*t, -3*t^2 + 2*x*y, (-2*y*t^2 - 5*y)/(x + 2*t*x - y*t + 3*t),
(-2*x*t)/(x - 5*y*t^2 + 1), -t^2, -4*x*y*t^2 - 4*y, -3*y*t^2 + 2*x*t^2"""

# A 5 x 5 over GF(2^8) under t^4 + 1, row by row; two of its first
# column's denominators share a factor.
GF256_CELLS = """(3*x*y + t^2)/(x + 2*y*t + 2*t^2), 5*x*t^2 + y*t, 4*t + 5*y*t^2, 2 + 2*y*t^2, (x*t + 7)/(y + 3*x*t + 1),
(x + 4*t^2)/((x + 2*y*t + 2*t^2)*(y + t + 3)), (t^2 + 4*y*t^2 + 2*t)/(x + x*t + t + 2), 3*t^2 + 4*x*t^2, 3 + 5*x*t,
5*y + 2*t,
x + 4*t^2, (3 + 4*t^2)/(x + 4*y*t + 3*t^2 + 2), 6*x*y + t, (y*t^2 + 9)/(x + 5*y*t + t^2 + 4), x*t^2 + 3,
7*y + t^3, x*y + 2, (x*t + y)/(y + 6*x*t + 5*t^2 + 1), 5*t^2 + x, (x + y*t^2)/(x + 3*y*t + 2*t^2 + 6),
(2*x + t)/(x + y*t + 7*t^2 + 3), 9*y*t^2 + x, x + y + t, (6*x*y + 1)/(y + 2*x*t + t^2 + 5), 2*t^2 + 3*x*y"""

# A 4 x 4 in x, y modulo 7 under t^4 - t - 1, row by row, with up to
# three fractions a row.
SPLIT_CELLS = """((3 + -3*t + -4*t^2 + 3*t^3)*y + (0 + 4*t + -1*t^2 + -1*t^3)*x*y), ((-1 + -2*t + 4*t^2 + 2*t^3)*x*y +
(-4 + -3*t + -2*t^2 + -4*t^3)*y + (0 + -4*t + 0*t^2 + 3*t^3)*x), ((-2 + 1*t + -3*t^2 + -4*t^3)*x*y + (-2 + 3*t +
-1*t^2 + 0*t^3)*y + (2 + 0*t + 2*t^2 + 4*t^3)), ((1 + -4*t + 0*t^2 + -2*t^3)*x*y + (1 + 4*t + -3*t^2 + -1*t^3) + (0 +
0*t + -3*t^2 + -3*t^3)*x), ((2 + -2*t + -4*t^2 + 0*t^3)*x + (2 + 2*t + -3*t^2 + -4*t^3)*y + (-4 + 2*t + 1*t^2 +
4*t^3)*x*y), ((-4 + -3*t + -3*t^2 + 4*t^3)*y + (-4 + -1*t + 2*t^2 + 0*t^3)*x + (0 + -2*t + -4*t^2 + 1*t^3)*x*y)/(x +
(2 + 3*t + 4*t^2 + 2*t^3)), ((-1 + 0*t + 2*t^2 + 0*t^3) + (4 + 0*t + 4*t^2 + 1*t^3)*y)/(x + (-4 + 2*t + -2*t^2 +
-4*t^3)*x*y + (1 + 3*t + 1*t^2 + 1*t^3)), ((-4 + 1*t + 0*t^2 + 3*t^3)*x*y + (0 + 1*t + -2*t^2 + 1*t^3)*x + (-2 + 1*t +
1*t^2 + 0*t^3))/(x + (-2 + 0*t + 4*t^2 + -1*t^3)*y + (0 + -1*t + 1*t^2 + -2*t^3)*x*y), ((1 + -1*t + 3*t^2 + -2*t^3)*x
+ (-3 + 1*t + -1*t^2 + 3*t^3)*x*y + (0 + -1*t + -3*t^2 + -4*t^3)*y), ((-2 + 0*t + 1*t^2 + -3*t^3) + (1 + -2*t + 2*t^2
+ 0*t^3)*x*y), ((0 + 2*t + 2*t^2 + -4*t^3)*x*y + (2 + -2*t + -1*t^2 + -4*t^3)*y + (3 + 4*t + 2*t^2 + 4*t^3)), ((3 +
4*t + 0*t^2 + 4*t^3)*x + (1 + -1*t + -3*t^2 + 0*t^3))/(x + (-4 + 4*t + -1*t^2 + 2*t^3)*y), ((-3 + -2*t + 4*t^2 +
0*t^3)*x + (-1 + -4*t + 4*t^2 + 4*t^3)*y), ((0 + 4*t + 3*t^2 + -4*t^3) + (1 + -1*t + -1*t^2 + -3*t^3)*x), ((0 + -2*t +
-4*t^2 + 3*t^3)*y + (2 + -4*t + 0*t^2 + -1*t^3)*x)/(x + (3 + 1*t + -4*t^2 + -4*t^3)*x*y + (-2 + -4*t + -3*t^2 +
-4*t^3) + (-3 + 3*t + -4*t^2 + -3*t^3)*y), ((-3 + 1*t + 2*t^2 + 2*t^3) + (0 + 1*t + 0*t^2 + -1*t^3)*x + (1 + 2*t +
-3*t^2 + -2*t^3)*y)"""


# A 4 x 4 in x, y modulo 11 under t^3 - 2, row by row, whose coefficients
# in t hold their three terms, with up to two fractions a row.
DENSE_T_CELLS = """((3 + -3*t + -4*t^2)*y + (3 + 0*t + 4*t^2)*x*y)/(x + (-2 + -1*t + -2*t^2) + (4 + 2*t + -4*t^2)*x*y + (-3 + -2*t +
-4*t^2)*y), ((2 + 2*t + 2*t^2)*x + (3 + -2*t + 1*t^2)*y + (-3 + -4*t + -2*t^2)), ((2 + 4*t + 2*t^2)*x*y + (1 + 4*t +
2*t^2) + (-1 + 1*t + -4*t^2)*y), ((-3 + -1*t + 0*t^2) + (0 + -3*t + -3*t^2)*x*y), ((2 + -2*t + -4*t^2)*x + (0 + 2*t +
2*t^2)*y + (-3 + -4*t + -4*t^2)*x*y)/(x + (-4 + 0*t + -4*t^2) + (-3 + -3*t + 4*t^2)*x*y + (-4 + -1*t + 2*t^2)*y), ((1
+ 1*t + 1*t^2) + (-2 + 2*t + 2*t^2)*x + (3 + 4*t + 2*t^2)*x*y), ((-1 + 0*t + 2*t^2) + (0 + 4*t + 0*t^2)*y), ((1 + -4*t
+ 2*t^2)*x*y + (-2 + -4*t + 1*t^2)), ((-4 + -4*t + -4*t^2) + (1 + 0*t + 3*t^2)*x*y + (0 + 1*t + -2*t^2)*y)/(x + (0 +
2*t + -3*t^2) + (-4 + -2*t + 0*t^2)*x*y), ((1 + -2*t + 2*t^2) + (-3 + -3*t + 1*t^2)*x), ((-3 + 1*t + -1*t^2)*x*y + (3
+ 0*t + -1*t^2)*x), ((-2 + 0*t + 1*t^2)*y + (-3 + 1*t + -2*t^2)*x*y), ((0 + 2*t + 2*t^2)*x*y + (-4 + 2*t + -2*t^2)*y +
(-1 + -4*t + 3*t^2)), ((4 + 0*t + 4*t^2)*y + (1 + -1*t + -3*t^2)*x + (0 + -3*t + -1*t^2)*x*y)/(x + (-4 + -4*t +
3*t^2)*x*y + (-3 + -2*t + 4*t^2)*y + (0 + -1*t + -4*t^2)), ((1 + -2*t + 0*t^2)*x + (4 + 3*t + -4*t^2) + (1 + -1*t +
-1*t^2)*x*y)/(x + (-1 + 0*t + -2*t^2)*y), ((2 + -4*t + 0*t^2)*x*y + (-1 + 0*t + 4*t^2))"""

# A 4 x 4 in x, y modulo 11 under t^3 - 2, row by row, whose coefficients
# in t are sparse, with up to three fractions a row.
SPARSE_T_CELLS = """((4*t) + (-3*t)*y + (-2 + 4*t^2)*x), (4 + -4*x*y + (-4*t)*x)/(x + (-3*t - 4*t^2)*y + (-3*t^2) + (1 + 4*t)*x*y), (2*x +
(2 - 4*t^2)*x*y)/(x + (2*t + 2*t^2)*y), (1*y + 2*x*y)/(x + 4*y + (4 - 2*t) + (2 - 3*t)*x*y), ((-4 - 2*t)*x*y + -4)/(x
+ -3*y + -1*x*y), ((3*t^2)*x*y + 2 + 1*y), ((2*t)*y + 2*x)/(x + (2*t - t^2)), (-2 + (-3*t + 4*t^2)*y + (-t^2)*x)/(x +
-4*x*y + 1), ((3*t)*x + -4*y), (3*x*y + -3*x + (4*t - 4*t^2)), (3*x*y + (-4*t - 4*t^2)*y), ((-3*t^2)*x + 1*x*y + (3*t
+ 2*t^2)), (3*x + (-3*t)*y), ((-t^2)*x*y + (t^2)*x + (3 + t)*y), (2 + (-1 - 2*t)*x)/(x + 1), ((-t + 2*t^2) + (3*t +
t^2)*y)/(x + 1*x*y)"""


def held_product(tarvex, cwd, what, ring, cells, n, by, scale):
    """[a] times the matrix `by` forms (1/[a], or Adjoint[a] with q := Det[a])
    checked cell by cell against the identity (times q), the product held
    to `scale` times the session forming its operand."""
    cells = [c.strip() for c in cells.replace("\n", " ").split(", ") if c.strip()]
    session = (ring + f"Array a[{n},{n}], b[{n},{n}], z[{n},{n}]:\n" +
               "".join(f"a[{k // n + 1},{k % n + 1}] := {c}:\n" for k, c in enumerate(cells)) + by)
    # A count would be a residue: a cell off raises a flag.
    check = (f"c := 0; for i = 1 to {n} do for j = 1 to {n} do if [i = j] then d := q; else d := 0; fi; "
             "if [z[i,j] - d <> 0] then c := 1; fi; od; od; !!('off', c);\n")
    alone = min(seconds(tarvex, session, cwd) or 1e9 for _ in range(3))
    took = min(seconds(tarvex, session + "[z] := [a]*[b]:\n" + check, cwd) or 1e9 for _ in range(3))
    if alone > 1e8 or took > 1e8:
        return f"{what}: an error, no answer or cells off the identity"
    if took - alone > scale * max(alone, 0.05):
        return f"{what}: {took - alone:.2f} s, the session before it {alone:.2f} s"
    return None


def by_adjoint(tarvex, cwd):
    """The product by the Adjoint against the session forming the Adjoint."""
    return held_product(tarvex, cwd, "[a]*Adjoint[a] modulo 5 under a tower",
                        "&(p = 5);\n&(J = t);\n&(P = t^2 - 2);\n&(J = s);\n&(P = s^2 - t);\n&(J = x);\n&(J = y);\n",
                        TOWER_CELLS, 5, "q := Det[a]:\n[b] := Adjoint[a]:\n", 1)


def under_quartic(tarvex, cwd):
    """Products under t^4 + 1 without the flag, by an inverse modulo 7 and
    by an Adjoint over GF(2^8)."""
    quartic = "&(J = t):\n&(P = t^4 + 1):\n&(J = x):\n&(J = y):\n"
    return [held_product(tarvex, cwd, "[a]*(1/[a]) modulo 7 under t^4 + 1", "&(p = 7):\n" + quartic,
                         QUARTIC_CELLS, 4, "q := 1:\n[b] := 1/[a]:\n", 1),
            held_product(tarvex, cwd, "[a]*Adjoint[a] over GF(2^8) under t^4 + 1", "&(p = 256):\n" + quartic,
                         GF256_CELLS, 5, "q := Det[a]:\n[b] := Adjoint[a]:\n", 2.5),
            # Split in two fields modulo 13: rest is the cheaper road.
            held_product(tarvex, cwd, "[a]*Adjoint[a] modulo 13 under t^2 + 1", "&(p = 13):\n" +
                         quartic.replace("t^4 + 1", "t^2 + 1"), GF256_CELLS, 5, "q := Det[a]:\n[b] := Adjoint[a]:\n", 6),
            # Split in two with a field of 7 elements, rows dense in
            # fractions, where rest is the dearer road: still within the
            # session.
            held_product(tarvex, cwd, "[a]*Adjoint[a] modulo 7 under t^4 - t - 1", "&(p = 7):\n" +
                         quartic.replace("t^4 + 1", "t^4 - t - 1"), SPLIT_CELLS, 4,
                         "q := Det[a]:\n[b] := Adjoint[a]:\n", 1),
            # Split in two with a field of 11 elements, few fractions a row
            # but coefficients dense in t.
            held_product(tarvex, cwd, "[a]*Adjoint[a] modulo 11 under t^3 - 2", "&(p = 11):\n" +
                         quartic.replace("t^4 + 1", "t^3 - 2"), DENSE_T_CELLS, 4,
                         "q := Det[a]:\n[b] := Adjoint[a]:\n", 1),
            # The same ring, coefficients sparse in t and rows denser in
            # fractions, where the ring's road is 13 times the dearer.
            held_product(tarvex, cwd, "[a]*Adjoint[a] modulo 11 under t^3 - 2, sparse in t", "&(p = 11):\n" +
                         quartic.replace("t^4 + 1", "t^3 - 2"), SPARSE_T_CELLS, 4,
                         "q := Det[a]:\n[b] := Adjoint[a]:\n", 1)]


def main():
    tarvex = os.path.abspath(sys.argv[1])
    limit = float(sys.argv[2]) if len(sys.argv) > 2 else 3
    rng = random.Random(SEED)
    inverse = "&(J = t);\n&(P = t^2 - 1);\n&(J = x);\nArray a[5,5], e[5,5]:\n" + "".join(
        f"a[{i},{j}] := {cell(rng, ['t'], 'x', 0)}:\ne[{i},{i}] := 1:\n" for i in range(1, 6) for j in range(1, 6))
    inverse += "[b] := 1/[a]:\n"
    check = ("c := 0; for i = 1 to 5 do for j = 1 to 5 do if [c[i,j] - e[i,j] <> 0] then c :+ 1; fi; od; od; "
             "!!('off', c);\n")
    results = []
    with tempfile.TemporaryDirectory() as cwd:
        alone = min(seconds(tarvex, inverse, cwd) or 1e9 for _ in range(3))
        if alone > 1e8:
            return report(["1/[a] under t^2 - 1: an error or no answer"])
        for product in ("[a]*[b]", "Altmult([a], [b])"):
            took = min(seconds(tarvex, inverse + f"[c] := {product}:\n" + check, cwd) or 1e9 for _ in range(3))
            results.append(f"{product} under t^2 - 1: an error, no answer or cells off the identity" if took > 1e8 else
                           f"{product} under t^2 - 1: {took:.2f} s, the inverse alone {alone:.2f} s"
                           if took > limit * max(alone, 0.05) else None)
        results.append(by_adjoint(tarvex, cwd))
        results += under_quartic(tarvex, cwd)
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
