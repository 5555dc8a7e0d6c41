#!/usr/bin/env python3
"""Integer determinants whose size bound lies beyond the prime tables,
timed through the real interpreter.

  bench_int_determ.py TARVEX [RUNS]

Random n x n matrices of 400-bit entries (n = 30, 40): the default road
(elimination modulo a power of two above |det|) beside fraction-free
elimination (&(K = 1)). Each figure is the least of RUNS sessions (3 by
default) less the least of a session that only sets the case up; every case
checks the value against a fraction-free elimination in Python integers.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import measured  # noqa: E402


def bareiss(a):
    a = [row[:] for row in a]
    n, sign, prev = len(a), 1, 1
    for k in range(n - 1):
        if a[k][k] == 0:
            r = next((i for i in range(k + 1, n) if a[i][k]), None)
            if r is None:
                return 0
            a[k], a[r] = a[r], a[k]
            sign = -sign
        for i in range(k + 1, n):
            for j in range(k + 1, n):
                a[i][j] = (a[i][j] * a[k][k] - a[i][k] * a[k][j]) // prev
        prev = a[k][k]
    return sign * a[n - 1][n - 1]


def main(argv):
    sys.set_int_max_str_digits(0)
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    rng = random.Random(400)
    for n in (30, 40):
        a = [[rng.getrandbits(400) - (1 << 399) for _ in range(n)] for _ in range(n)]
        cells = ",".join(str(a[i][j]) for j in range(n) for i in range(n))
        setup = f"Array a[{n},{n}];\n[a] := [({cells})];\n"
        want = bareiss([[a[i][j] for j in range(n)] for i in range(n)])
        check = f"!!('diff', d - ({want}));\n"
        elim = measured(binary, setup, "d := Det([a]);\n" + check, "diff 0", runs)
        ff = measured(binary, setup, "&(K = 1); d := Det([a]);\n" + check, "diff 0", runs)
        print(f"n={n}, 400-bit entries, |det| {abs(want).bit_length()} bits: "
              f"modulo 2^e {elim:.3f} s, fraction-free {ff:.3f} s")


if __name__ == "__main__":
    main(sys.argv)
