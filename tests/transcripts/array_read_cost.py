#!/usr/bin/env python3
"""Statements that declare the same array names over and over, as a save
of shadowed arrays does, cost time linear in their count: four times the
statements take at most LIMIT times the processor time (the least of three
sessions each), read by &R from a file or from a file a file reads, and
run by a loop typed at the top level. Each round declares a sparse array,
sets a cell, assigns it whole from another one (the frames' sharers were
looked for in the whole name table) and shadows a dense array (whether a
record still held its array was a walk of its name's chain, as long as
the file), then makes the newest array sparse and deletes the newest
dense one (each closed its cells' gap at the top of the store by a walk
of every array record): 16,000 rounds took 17-20 times what 4,000 did, 9 s, where
they take 3-4 times, 0.6 s.

  array_read_cost.py TARVEX [LIMIT]
"""
import os
import re
import sys
import tempfile

from case_report import report
from cpu_limited import run_held

ROUNDS = 4000
HEAD = "Array t[3,3] Sparse;\nt[2,1] := 4/5;\n"
ROUND = ("Array s[4,4] Sparse;\ns[1,2] := 3/5;\n[s] := [t];\n"
         "Array d[3];\n[d] := [[4/5, 8/7, 3/11]];\nArray d[1];\n"
         "Array u[2,2];\nu[2,1] := 3;\nSparse[u];\n@[d];\n")
# The last round's s is a copy of t; its u turned sparse with its cell.
CHECK = "s[2,1] + s[1,2] + u[2,1] - 3;\n"


def routes(cwd, rounds):
    with open(os.path.join(cwd, f"r{rounds}.sav"), "w") as f:
        f.write(HEAD + ROUND * rounds)
    with open(os.path.join(cwd, f"outer{rounds}.sav"), "w") as f:
        f.write(f"&(R = 'r{rounds}.sav');\n")
    return {"read": f"&(R = 'r{rounds}.sav');\n&(R = @);\n",
            "nested read": f"&(R = 'outer{rounds}.sav');\n&(R = @);\n",
            "loop": HEAD + f"for i = 1 to {rounds} do " + ROUND.replace("\n", " ") + "od;\n"}


def milliseconds(tarvex, body, cwd):
    """The session's own processor time for body (&T before and after), or
    None for an error, no answer or a wrong last round."""
    out = run_held(tarvex, "&T;\n" + body + "&T;\n" + CHECK, 5, text=True, cwd=cwd)
    if out is None or "Error" in out.stdout or "Warning" in out.stdout:
        return None
    shown = re.findall(r"^ +(-?\d+(?: / \d+)?)(?:;|$)", out.stdout, re.M)
    if shown[-1] != "4 / 5":
        return None
    return int(shown[-2]) - int(shown[0])


def main():
    tarvex = os.path.abspath(sys.argv[1])
    limit = float(sys.argv[2]) if len(sys.argv) > 2 else 10
    results = []
    with tempfile.TemporaryDirectory() as cwd:
        small, large = routes(cwd, ROUNDS), routes(cwd, 4 * ROUNDS)
        for route in small:
            took = [min(milliseconds(tarvex, scripts[route], cwd) or 10**9 for _ in range(3))
                    for scripts in (small, large)]
            if max(took) >= 10**9:
                results.append(f"{route}: an error, no answer or a wrong last round")
            elif took[1] > limit * max(took[0], 20):
                results.append(f"{route}: {4 * ROUNDS} rounds {took[1]} ms, {ROUNDS} rounds {took[0]} ms")
            else:
                results.append(None)
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
