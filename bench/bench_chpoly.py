#!/usr/bin/env python3
"""Chpoly of dense integer matrices (entries -99 .. 99), n = 20, 40, 80,
timed through the real interpreter by its three methods: interpolation from
the determinants at the points 0 .. n - 2 (the dense call), the
Leverrier-Faddeev recurrence and the determinant of A - xI, both on a
sparse copy. Interpolation should be the fastest from n = 40.

  bench_chpoly.py TARVEX [RUNS] [LARGEST_N]

Each figure is the least of RUNS sessions (3 by default) less the least of
a session that only sets the case up; every case checks p(0) = det A.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import measured  # noqa: E402


def det(m):
    a = [row[:] for row in m]
    n = len(a)
    sign, prev = 1, 1
    for k in range(n - 1):
        if a[k][k] == 0:
            swap = next((i for i in range(k + 1, n) if a[i][k]), None)
            if swap is None:
                return 0
            a[k], a[swap] = a[swap], a[k]
            sign = -sign
        for i in range(k + 1, n):
            for j in range(k + 1, n):
                a[i][j] = (a[i][j] * a[k][k] - a[i][k] * a[k][j]) // prev
        prev = a[k][k]
    return sign * a[n - 1][n - 1]


def setup_for(m):
    n = len(m)
    text = f"&(J = x);\nArray a[{n},{n}], s[{n},{n}] Sparse;\n"
    for i in range(n):
        text += "".join(f"a[{i + 1},{j + 1}] := {m[i][j]}: " for j in range(n)) + "\n"
        text += "".join(f"s[{i + 1},{j + 1}] := {m[i][j]}: " for j in range(n) if m[i][j]) + "\n"
    return text


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    largest = int(argv[3]) if len(argv) > 3 else 80
    rng = random.Random(104)
    methods = (("interpolation", "Chpoly([a])"), ("Leverrier-Faddeev", "Chpoly([s], 1)"),
               ("det(A - xI)", "Chpoly([s])"))
    for n in (20, 40, 80):
        if n > largest:
            break
        m = [[rng.randrange(-99, 100) for _ in range(n)] for _ in range(n)]
        setup = setup_for(m)
        times = {}
        for label, call in methods:
            statement = f"c := {call}:\n!!('check', (c)#(0) - ({det(m)}));\n"
            times[label] = measured(binary, setup, statement, "check 0", runs)
        print(f"Chpoly n={n}: " + ", ".join(f"{k} {v:.3f} s" for k, v in times.items()))


if __name__ == "__main__":
    main(sys.argv)
