#!/usr/bin/env python3
"""Hermite and Smith forms of dense random integer matrices (entries in
[-10, 10]) timed through the real interpreter.

  bench_normal_forms.py TARVEX [RUNS]

Each figure is the least of RUNS sessions (3 by default) less the least of
a session that only sets the case up; every case checks the rank.

- Smith without transforms (modulo the pseudo-determinant) and the
  pseudo-determinant alone (its share), n = 20, 40, 80: at most 10 s at 80,
  doubling at most 20x.
- Hermite, n = 20, 40, 80: at most 10 s at 80.
- Smith with all four transforms (the exact road), n = 20 and 40.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import measured  # noqa: E402


def matrix(rng, n):
    cells = ",".join(str(rng.randrange(-10, 11)) for _ in range(n * n))
    return f"Array a[{n},{n}];\n[a] := [({cells})];\n"


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    rng = random.Random(83)
    setups = {n: matrix(rng, n) for n in (20, 40, 80)}
    smith = {}
    for n in (20, 40, 80):
        smith[n] = measured(binary, setups[n], "!!('rank', Smith([a]));\n", f"rank {n}", runs)
        pseudo = measured(binary, setups[n], "Array p[2,2];\n!!('rank', Pseudet([a], [p]));\n", f"rank {n}", runs)
        herm = measured(binary, setups[n], "!!('rank', Hermite([a]));\n", f"rank {n}", runs)
        print(f"n={n}: Smith {smith[n]:.3f} s (pseudo-determinant alone {pseudo:.3f} s), Hermite {herm:.3f} s")
    for n in (40, 80):
        print(f"doubling to n={n}: Smith {smith[n] / smith[n // 2]:.1f}x (at most 20x)")
    for n in (20, 40):
        t = measured(binary, setups[n], "!!('rank', Smith([a], [p], [q], [r], [s]));\n", f"rank {n}", 1)
        print(f"n={n}: Smith with transforms {t:.3f} s")


if __name__ == "__main__":
    main(sys.argv)
