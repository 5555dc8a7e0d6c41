#!/usr/bin/env python3
"""Comparisons of unequal fractions modulo 9 whose cross products agree at
their end terms and vanish at every point of Z/9 cost at most LIMIT times
the same comparisons modulo 49 (processor time beyond a session that only
builds the pair, the least of three sessions each), and every one counts as
unequal. Seen only at points of extension rings of Z/9 they took 4-5 times.

  unequal_prime_power_cost.py TARVEX [LIMIT]
"""
import os
import re
import resource
import sys
import tempfile

from case_report import report
from cpu_limited import run_held

N, D = "(x - 1)*(y + 2)*(x^2 + 3*x*y + 1)", "(x*y + 3)*(x*y + 2*x + 1)"
PASSES = 30000


def seconds(tarvex, script, cwd, want):
    """Processor time of a session that prints the count want (a residue
    modulo q), else None."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = run_held(tarvex, script, 5, text=True, cwd=cwd)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if out is None or not re.search(rf"^ *>?\s*!count {want}$", out.stdout, flags=re.M):
        return None
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def session(q, passes):
    return (f"&(p = {q}):\n&(J = x):\n&(J = y):\nu := ({N})/({D}):\nw := ({N}*(y + 2))/({D}*(y + 1)):\n"
            f"u := u^2: w := w^2:\nc := 0:\nfor i = 1 to {passes} do if [u <> w] then c := c + 1; fi; "
            "c := c + Equal(u, w); od:\n!!('!count', c);\n")


def main():
    tarvex = os.path.abspath(sys.argv[1])
    limit = float(sys.argv[2]) if len(sys.argv) > 2 else 3
    results = []
    with tempfile.TemporaryDirectory() as cwd:
        cost = {}
        for q in (9, 49):
            took = [min(seconds(tarvex, session(q, n), cwd, n % q) or 1e9 for _ in range(3)) for n in (0, PASSES)]
            if max(took) > 1e8:
                results.append(f"modulo {q}: an error, no answer or a pair counted equal")
            cost[q] = took[1] - took[0]
        if not results and cost[9] > limit * max(cost[49], 0.02):
            results.append(f"modulo 9: {cost[9]:.2f} s against {cost[49]:.2f} s modulo 49")
        results.append(None)
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
