#!/usr/bin/env python3
"""Determinants of banded sparse matrices of linear polynomials in x, y, z
whose coefficients run to 100 bits, so that the exact divisions of
fraction-free elimination meet quotients far past 128 bits: fraction-free
elimination, Gaussian elimination and expansion by minors each give
sympy's determinant. Zero entries along the band split it into blocks
that the elimination merges late, as the pivot search takes its pivots
from all along it.

  sparse_det_wide_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from matcmd_differential import MARK, run_queries, value  # noqa: E402
from quoly_differential import sympy  # noqa: E402
from sympy.polys.matrices import DomainMatrix  # noqa: E402

X, Y, Z = sympy.symbols("x y z")
RING = sympy.ZZ[X, Y, Z]
METHODS = (("fraction-free", "&(D = 0);\n&(K = 1);\n"),
           ("Gaussian", "&(D = 0);\n&(K = 0);\n"),
           ("minors", "&(D = 12);\n&(K = 0);\n"))


def coefficient(rng):
    c = rng.getrandbits(rng.choice((3, 20, 45, 70, 100)))
    return -c if rng.random() < 0.5 else c


def make_case(rng):
    n = rng.randint(4, 9)
    half = rng.choice((1, 2))
    cells = [["0"] * n for _ in range(n)]
    for i in range(n):
        for j in range(max(0, i - half), min(n, i + half + 1)):
            if i != j and rng.random() < 0.15:
                continue   # a gap in the band
            c = [coefficient(rng) for _ in range(4)]
            cells[i][j] = f"({c[0]}) + ({c[1]})*x + ({c[2]})*y + ({c[3]})*z"
    return n, cells


class Script:
    def __init__(self):
        self.text = "&(J = x);\n&(J = y);\n&(J = z);\n&(J = w);\n"
        self.queries = []

    def add(self, idx, n, cells):
        name = f"a{idx}"
        self.text += f"Array {name}[{n},{n}] Sparse;\n"
        for i in range(n):
            for j in range(n):
                if cells[i][j] != "0":
                    self.text += f"{name}[{i + 1},{j + 1}] := {cells[i][j]};\n"
        for label, switches in METHODS:
            self.text += f"{switches}{MARK};\nDet[{name}];\n"
            self.queries.append((idx, label))


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 24
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 17)
    cases = [make_case(rng) for _ in range(count)]
    s = Script()
    for idx, (n, cells) in enumerate(cases):
        s.add(idx, n, cells)
    answered = run_queries(binary, s)
    if answered is None:
        return 1
    got = {}
    for (idx, label), block in answered:
        got.setdefault(idx, {})[label] = block
    failed = 0
    for idx, (n, cells) in enumerate(cases):
        rows = [[RING.from_sympy(sympy.sympify(c)) for c in row] for row in cells]
        want = RING.to_sympy(DomainMatrix(rows, (n, n), RING).det())
        problems = []
        for label, _ in METHODS:
            block = got.get(idx, {}).get(label, "missing")
            try:
                if sympy.expand(value(block) - want) != 0:
                    problems.append(f"{label}: wrong value")
            except Exception as e:  # noqa: BLE001
                problems.append(f"{label}: unreadable {block[:200]!r} ({e})")
        if problems:
            failed += 1
            if failed <= 6:
                print(f"case {idx} (n = {n}): {problems}")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
