#!/usr/bin/env python3
"""A 5 x 5 matrix of fractions in x under t^2 - 1 over Q, without the field
flag, times its inverse, plainly and by Winograd's scheme: the identity cell
by cell, at most LIMIT times the processor time of the inverse alone (the
least of three sessions each). Their sums once cancelled by the ring's
remainders: 9-15 s and over a minute against 0.5 s.

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
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
