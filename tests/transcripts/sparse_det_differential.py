#!/usr/bin/env python3
"""Random sparse matrices (integers, rationals, polynomials in x and y)
stored as sparse arrays; Det of each under every pivot heuristic
&(u = 0) .. &(u = 6) with Gaussian (&(K = 0)) and
fraction-free (&(K = 1)) elimination, and by expansion in minors
(&(D = 12)), must equal sympy's determinant.
Heuristic 6 may refuse a singular matrix (an empty row or column in the
remaining block) with its error; it may not refuse any other.

  sparse_det_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import X, Y, sympy  # noqa: E402

REFUSED = "Empty row or column in the remaining matrix."


def entry(rng, kind):
    if kind == "poly":
        return qd.small_poly(rng, ["x", "y"][: rng.randrange(1, 3)])
    v = rng.randrange(-9, 10) or 1
    if kind == "rat":
        d = rng.randrange(1, 6)
        return f"{v}/{d}" if d > 1 else str(v)
    if rng.random() < 0.1:
        return str(v * 98765432101234567)
    return str(v)


def matrix(rng, kind):
    n = rng.randrange(1, 9)
    cells = {}
    for i in range(n):
        if rng.random() < 0.8:
            cells[(i, i)] = entry(rng, kind)
        cells[(i, rng.randrange(n))] = entry(rng, kind)
    shape = rng.random()
    if n > 1 and shape < 0.15:      # dependent rows
        r = rng.randrange(n)
        s = (r + 1) % n
        for j in range(n):
            cells.pop((s, j), None)
            if (r, j) in cells:
                cells[(s, j)] = f"2*({cells[(r, j)]})"
    elif n > 1 and shape < 0.25:    # an empty column
        c = rng.randrange(n)
        for i in range(n):
            cells.pop((i, c), None)
    return n, cells


def value(text):
    return sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y})


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 60
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 7)
    cases = []
    for c in range(count):
        kind = ("int", "rat", "poly")[c % 3]
        n, cells = matrix(rng, kind)
        cases.append((kind, n, cells))
    script = "&(J = x);\n&(J = y);\n&(D = 0);\n"
    statements = []    # (case index, heuristic, K)
    for idx, (kind, n, cells) in enumerate(cases):
        script += f"Array a{idx}[{n},{n}] Sparse;\n"
        for (i, j), t in sorted(cells.items()):
            script += f"a{idx}[{i + 1},{j + 1}] := {t};\n"
    script += "&(V = 0);\n"
    for idx, (kind, n, cells) in enumerate(cases):
        for k in (0, 1):
            for u in range(7):
                script += f"&(u = {u});\n&(K = {k});\n987654321;\nDet[a{idx}];\n"
                statements.append((idx, u, k))
        script += "&(D = 12);\n987654321;\nDet[a%d];\n&(D = 0);\n" % idx
        statements.append((idx, -1, "minors"))
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    failed = 0
    pieces = re.split(r"\n +987654321\n", out)[1:]
    if len(pieces) != len(statements):
        print(f"only {len(pieces)} results for {len(statements)} determinants")
        failed += 1
    for (idx, u, k), piece in zip(statements, pieces):
        kind, n, cells = cases[idx]
        m = sympy.zeros(n, n)
        for (i, j), t in cells.items():
            m[i, j] = value(t)
        want = sympy.expand(m.det(method="berkowitz"))
        block = piece.split("\n>")[1] if "\n>" in piece else piece
        if REFUSED in piece:
            problem = None if u == 6 and want == 0 else "refused"
        elif "***" in block:
            problem = "error reported"
        else:
            try:
                got = qd.read_back(block.strip("\n"))
                problem = None if sympy.expand(got - want) == 0 else f"wrong value {got}"
            except Exception as e:  # noqa: BLE001
                problem = f"unreadable ({e}) {block!r}"
        if problem:
            failed += 1
            if failed <= 10:
                print(f"case {idx} ({kind}, n={n}, u={u}, K={k}): {problem}; want {want}; cells {cells}")
    print(f"{len(statements) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
