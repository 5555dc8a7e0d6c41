#!/usr/bin/env python3
"""Hermite forms (no transform) of products of two random matrices of small
non-negative entries: R x r of entries 0..9 times r x K of entries 0..99
(entries of the product up to 5 digits), so of rank r. Such a product is
often singular modulo a small prime in two ways at once (both factors
are), which leaves its lattice a quotient that is not cyclic: one dual
vector no longer defines it. Each a whole interpreter session typed as a
user would, timed as processor time (least of RUNS runs, 3 by default)
and, with a second binary, beside it.

  bench_hermite_products.py TARVEX [OTHER_TARVEX] [RUNS] [LIMIT]

Sizes: 150 x 150 of rank 149 (seeds 1 to 4), 100 x 100 and 120 x 120 of
rank n - 1, 150 x 150 of rank 148 and 147, 150 x 170 and 170 x 150 of
rank 149, and 149 x 150 of full row rank; Hermite and Smith with their
transforms of 150 x 150 of rank 149, and Smith, MSmith and MSmith modulo
a small m without them (seeds 1 and 2). A session past LIMIT seconds
(120 by default) is reported as such; every session checks the rank.
A peer library's form of 150 x 150 of rank 149 takes 0.3 to 1.4 s.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_normal_form_sizes import timed  # noqa: E402


def product(seed, R, r, K, form="Hermite([a])"):
    rng = random.Random(seed)
    left = [[rng.randint(0, 9) for _ in range(r)] for _ in range(R)]
    right = [[rng.randint(0, 99) for _ in range(K)] for _ in range(r)]
    a = [[sum(x * y for x, y in zip(row, col)) for col in zip(*right)] for row in left]
    cells = ",".join(str(a[i][j]) for j in range(K) for i in range(R))
    return f"Array a[{R},{K}];\n[a] := [({cells})];\n!!('rank', {form});\n"


# (seed, R, r, K): seeds whose lattice one dual vector does not define,
# beside ones it does (150 x 150 seeds 2 and 3).
CASES = [(seed, 150, 149, 150) for seed in (1, 2, 3, 4)] + [
    (4, 100, 99, 100), (3, 120, 119, 120), (2, 150, 148, 150), (3, 150, 147, 150),
    (1, 150, 149, 170), (3, 170, 149, 150), (3, 149, 149, 150)]
# The same with transforms kept: their square is completed by unit rows.
KEPT = [("Hermite([a], [p], [q])", 1, 150, 149, 150), ("Smith([a], [p], [q], [s], [t])", 1, 150, 149, 150)]
# The Smith forms without transforms: the invariants alone, no slower.
PLAIN = [(form, seed, 150, 149, 150) for seed in (1, 2)
         for form in ("Smith([a])", "MSmith([a])", "MSmith([a], 2^3*3^3*5^2*7*13)")]


def main(argv):
    binaries = [os.path.abspath(argv[1])]
    rest = argv[2:]
    if rest and not rest[0].isdigit():
        binaries.append(os.path.abspath(rest.pop(0)))
    runs = int(rest[0]) if rest else 3
    limit = float(rest[1]) if len(rest) > 1 else 120.0
    for form, seed, R, r, K in [("Hermite([a])",) + c for c in CASES] + KEPT + PLAIN:
        figures = []
        for b in binaries:
            t = timed(b, product(seed, R, r, K, form), f"rank {r}", runs, limit)
            figures.append(f"over {limit:.0f} s" if t is None else f"{t:.3f} s")
        peer = "  (peer 0.3-1.4 s)" if (form, R, r, K) == ("Hermite([a])", 150, 149, 150) else ""
        print(f"{form} {R}x{K} of rank {r}, seed {seed}: " + " | ".join(figures) + peer, flush=True)


if __name__ == "__main__":
    main(sys.argv)
