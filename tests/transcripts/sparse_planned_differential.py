#!/usr/bin/env python3
"""Sparse interpolation where the one-variable nodes share one elimination
plan: banded and random sparse polynomial matrices in 1 to 3 variables,
over Z and modulo 101, 45,281 and a 31-bit prime, against sparse
elimination and (small ones) sympy. The matrices carry blocks of numbers
that are singular (rows 1 2 / 2 4), so that eliminating inside them leaves
a 0 at every point; structurally singular ones (an empty column) and
small primes where planned pivots often vanish at a node.

  sparse_planned_differential.py TARVEX [SEED]
"""
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sparse_polydet_differential import NAMES, Script, sym_det, text  # noqa: E402

P31 = 2147483629


def var_entry(rng, nv):
    """A polynomial of degree 1 or 2 in the first nv variables."""
    v = NAMES[rng.randrange(nv)]
    w = NAMES[rng.randrange(nv)]
    return rng.choice([f"{v}+{rng.randint(-5, 5)}", f"{v}*{w}-{rng.randint(1, 4)}", f"{rng.randint(2, 5)}*{v}"])


def with_singular_block(rng, n, cells):
    """Rows i, i+1 get the numbers a b / 2a 2b in columns j, j+1."""
    i, j = rng.randrange(n - 1), rng.randrange(n - 1)
    a, b = rng.choice([1, -1, 2, 3]), rng.choice([1, -2, 3])
    cells[i, j], cells[i, j + 1] = str(a), str(b)
    cells[i + 1, j], cells[i + 1, j + 1] = str(2 * a), str(2 * b)
    return cells


def banded(rng, n, nv):
    cells = {}
    for i in range(n):
        cells[i, i] = var_entry(rng, nv)
        cells[i, (i + 1) % n] = NAMES[nv - 1]
        for _ in range(2):
            cells.setdefault((i, rng.randrange(n)), str(rng.choice([-3, -2, -1, 1, 2, 3])))
    return with_singular_block(rng, n, cells)


def scattered(rng, n, nv, density=0.3):
    cells = {}
    for i in range(n):
        for j in range(n):
            if i == j or rng.random() < density:
                cells[i, j] = var_entry(rng, nv) if rng.random() < 0.5 else str(rng.randint(-4, 4) or 1)
    return with_singular_block(rng, n, cells)


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 61)
    s = Script()
    count = 0
    for ring in (None, 101, 45281, P31):
        for nv in (1, 2, 3):
            for shape in (banded, scattered):
                n = rng.randint(6, 9)
                cells = shape(rng, n, nv)
                name = f"m{count}"
                count += 1
                s.ring(ring)
                s.array(name, n, cells)
                label = f"{shape.__name__} n={n} vars={nv} p={ring}"
                s.lines += ["&(L = 1);", f"i{name} := Det [{name}];", "&(L = 5000);", f"g{name} := Det [{name}];",
                            "&(L = 1);"]
                s.zero(label + " interpolation = elimination", f"i{name} - g{name};")
                if nv < 3 or n < 8:
                    s.zero(label + " interpolation = sympy", f"i{name} - ({text(sym_det(n, cells))});")
        # Larger banded ones against elimination only; and one whose last
        # column is empty, whose determinant is 0.
        for nv in (1, 2):
            n = 30
            name = f"m{count}"
            count += 1
            s.array(name, n, banded(rng, n, nv))
            s.lines += ["&(L = 1);", f"i{name} := Det [{name}];", "&(L = 5000);", f"g{name} := Det [{name}];",
                        "&(L = 1);"]
            s.zero(f"banded n=30 vars={nv} p={ring} interpolation = elimination", f"i{name} - g{name};")
        cells = {k: v for k, v in banded(rng, 12, 2).items() if k[1] != 11}
        name = f"m{count}"
        count += 1
        s.array(name, 12, cells)
        s.lines.append("&(L = 1);")
        s.zero(f"empty column p={ring}", f"Det [{name}];")
    with tempfile.TemporaryDirectory() as cwd:
        failed = s.run(binary, cwd)
    for f in failed[:15]:
        print(f)
    print(f"{len(s.checks) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
