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


def by_adjoint(tarvex, cwd):
    """The product by the Adjoint against the session forming the Adjoint."""
    cells = [c.strip() for c in TOWER_CELLS.replace("\n", " ").split(", ") if c.strip()]
    adjoint = ("&(p = 5);\n&(J = t);\n&(P = t^2 - 2);\n&(J = s);\n&(P = s^2 - t);\n&(J = x);\n&(J = y);\n"
               "Array a[5,5], b[5,5], z[5,5]:\n" +
               "".join(f"a[{k // 5 + 1},{k % 5 + 1}] := {c}:\n" for k, c in enumerate(cells)) +
               "q := Det[a]:\n[b] := Adjoint[a]:\n")
    # A count would be a residue modulo 5: a cell off raises a flag.
    check = ("c := 0; for i = 1 to 5 do for j = 1 to 5 do if [i = j] then d := q; else d := 0; fi; "
             "if [z[i,j] - d <> 0] then c := 1; fi; od; od; !!('off', c);\n")
    alone = min(seconds(tarvex, adjoint, cwd) or 1e9 for _ in range(3))
    took = min(seconds(tarvex, adjoint + "[z] := [a]*[b]:\n" + check, cwd) or 1e9 for _ in range(3))
    if alone > 1e8 or took > 1e8:
        return "[a]*Adjoint[a] modulo 5 under a tower: an error, no answer or cells off Det[a] times the identity"
    if took - alone > max(alone, 0.05):
        return f"[a]*Adjoint[a] modulo 5 under a tower: {took - alone:.2f} s, the session before it {alone:.2f} s"
    return None


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
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
