#!/usr/bin/env python3
"""Chpoly of dense integer matrices (entries -99 .. 99), n = 20, 40, 80,
timed through the real interpreter by its three calls: the dense one and
the plain one on a sparse copy (both through the Hessenberg form from
n = 12, the sparse copy up to 500 x 500) and the Leverrier-Faddeev
recurrence on the sparse copy.

Then the sizes a user waits for, as whole processes (start-up and reading
the matrix included): random residues modulo 65521 at n = 100, 200, 400,
and integers in -99 .. 99 at n = 60, 120, 180, 240, each checked by
p(k) = Det(A - kI) at a point, with the growth per doubling of n. Given a
second binary (an older build) it is timed beside, runs past LIMIT seconds
(60) stopped and shown so.

  bench_chpoly.py TARVEX [OTHER_TARVEX] [RUNS] [LARGEST_N] [LIMIT]

Each figure of the first part is the least of RUNS sessions (3 by default)
less the least of a session that only sets the case up; every case checks
p(0) = det A.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import measured  # noqa: E402
from whole_process import whole_process  # noqa: E402


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


def user_sizes(binary, other, limit):
    rng = random.Random(66)
    # The peers' whole-process seconds as the issue quotes them.
    cases = [(65521, 100, 0.03), (65521, 200, 0.06), (65521, 400, None),
             (None, 60, 0.012), (None, 120, 0.097), (None, 180, 0.46), (None, 240, 2.7)]
    last = {}
    for ring, n, peer in cases:
        lo, hi = (0, ring - 1) if ring else (-99, 99)
        text = "&(J = x);\n" + (f"&(p = {ring});\n" if ring else "") + f"Array a[{n},{n}], b[{n},{n}];\n"
        for i in range(n):
            text += "".join(f"a[{i + 1},{j + 1}] := {rng.randint(lo, hi)}: " for j in range(n)) + "\n"
        text += "q := Chpoly([a]):\n[b] := [a]: for i = 1 to %d do b[i,i] := b[i,i] - 7 od:\n" % n
        text += "!!('check', q#(7) - Det [b]);\n"
        row = f"Chpoly {'mod ' + str(ring) if ring else 'Z'} n={n}:"
        for label, b in (("", binary), ("old ", other)):
            if not b:
                continue
            took, out = whole_process(b, text, limit)
            if took is None:
                row += f" {label}over {limit} s"
                continue
            if "check 0" not in out:
                sys.exit(f"{row} {label}wrong value:\n{out[-400:]}")
            row += f" {label}{took:.2f} s"
            key = (label, ring)
            if key in last and last[key][0] * 2 == n:
                row += f" ({took / last[key][1]:.1f}x per doubling)"
            last[key] = (n, took)
        if peer:
            row += f"; fastest peer {peer} s"
        print(row)


def main(argv):
    binary = os.path.abspath(argv[1])
    other = None
    if len(argv) > 2 and not argv[2].isdigit():
        other = os.path.abspath(argv[2])
        argv = argv[:2] + argv[3:]
    runs = int(argv[2]) if len(argv) > 2 else 3
    largest = int(argv[3]) if len(argv) > 3 else 80
    limit = float(argv[4]) if len(argv) > 4 else 60
    rng = random.Random(104)
    methods = (("dense", "Chpoly([a])"), ("Leverrier-Faddeev", "Chpoly([s], 1)"),
               ("sparse", "Chpoly([s])"))
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
    user_sizes(binary, other, limit)


if __name__ == "__main__":
    main(sys.argv)
