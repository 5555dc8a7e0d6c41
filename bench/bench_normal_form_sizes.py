#!/usr/bin/env python3
"""Smith with all four transforms on n x n matrices of random integers in
[-9, 9] (n = 20 to 150), Hermite with its transforms on n x n matrices of
2-digit entries (n = 40, 80, 120), Hermite of n x n matrices of 3-digit
entries (n = 40, 80, 100, 160, 200, 300; 150 x 170 and 170 x 150), of
the same of lower rank (n x n with the last row 3 r1 - 2 r2, n = 80,
100, 150, 300; 150 x 170 and 170 x 150 of rank 100), Hermite with
both column transforms (n = 40, 80, 160), and Hermite of 20-digit entries,
past 2^56 (n = 40, 80, 160, 320; 150 x 170, 170 x 150, 150 x 150 of rank
149, and 80 x 80 with both column transforms), each a whole
interpreter session typed as a
user would, timed as processor time of the process (least of RUNS runs,
3 by default) and, with a second binary, beside it in the same run.

  bench_normal_form_sizes.py TARVEX [OTHER_TARVEX] [RUNS] [LIMIT]

Every session checks the rank the form returns; a session past LIMIT
seconds (60 by default) is reported as such. Targets: Smith with
transforms at n = 35 and 40 under 0.4 s and at 100 well under 1 s,
Hermite at 80 and 100 under 1 s, 300 within seconds, and a doubling of n
costing no more than the work's own growth (about 16-fold for Hermite,
about n^4 with transforms: their entries have the determinant's size).
Of 20-digit entries the fastest peer takes 0.11 s at 80 x 80 and 0.72 s
at 160 x 160 (whole process).
"""
import os
import random
import resource
import subprocess
import sys
import tempfile


def cpu_session(binary, script, limit):
    with tempfile.TemporaryDirectory() as cwd:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        try:
            out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                                 timeout=limit).stdout
        except subprocess.TimeoutExpired:
            return None, ""
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    used = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return used, out.decode("utf-8", "replace")


def timed(binary, script, expect, runs, limit):
    best = None
    for _ in range(runs):
        took, out = cpu_session(binary, script, limit)
        if took is None:
            return None
        if expect not in out:
            sys.exit(f"{binary}: expected {expect!r}, got:\n{out[-600:]}")
        best = took if best is None else min(best, took)
    return best


def matrix(rng, n, span, k=None):
    k = n if k is None else k
    cells = ",".join(str(rng.randint(-span, span)) for _ in range(n * k))
    return f"Array a[{n},{k}];\n[a] := [({cells})];\n"


def singular(rng, n, k, r, span=999):
    """n x k of rank r: r rows of entries in [-span, span] (3-digit ones by
    default), then 3 r1 - 2 r2, then sums of two earlier rows."""
    a = [[rng.randint(-span, span) for _ in range(k)] for _ in range(r)]
    while len(a) < n:
        a.append([3 * x - 2 * y for x, y in zip(a[0], a[1])] if len(a) == r else
                 [x + y for x, y in zip(*rng.sample(a, 2))])
    cells = ",".join(str(a[i][j]) for j in range(k) for i in range(n))
    return f"Array a[{n},{k}];\n[a] := [({cells})];\n"


def main(argv):
    binaries = [os.path.abspath(argv[1])]
    rest = argv[2:]
    if rest and not rest[0].isdigit():
        binaries.append(os.path.abspath(rest.pop(0)))
    runs = int(rest[0]) if rest else 3
    limit = float(rest[1]) if len(rest) > 1 else 60.0
    rng = random.Random(60)
    cases = [(f"Smith with transforms {n}x{n}, entries -9..9", matrix(rng, n, 9)
              + "!!('rank', Smith([a], [p], [q], [r], [s]));\n", f"rank {n}")
             for n in (20, 30, 35, 40, 50, 70, 100, 150)]
    cases += [(f"Hermite with transforms {n}x{n}, 2-digit entries", matrix(rng, n, 99)
               + "!!('rank', Hermite([a], [p], [q], [r], [s]));\n", f"rank {n}") for n in (40, 80, 120)]
    cases += [(f"Hermite {n}x{n}, 3-digit entries", matrix(rng, n, 999) + "!!('rank', Hermite([a]));\n",
               f"rank {n}") for n in (40, 80, 100, 160, 200, 300)]
    cases += [(f"Hermite {r}x{k}, 3-digit entries", matrix(rng, r, 999, k) + "!!('rank', Hermite([a]));\n",
               f"rank {min(r, k)}") for r, k in ((150, 170), (170, 150))]
    cases += [(f"Hermite {n}x{n} of rank {n - 1}, 3-digit entries", singular(rng, n, n, n - 1)
               + "!!('rank', Hermite([a]));\n", f"rank {n - 1}") for n in (80, 100, 150, 300)]
    cases += [(f"Hermite {r}x{k} of rank 100, 3-digit entries", singular(rng, r, k, 100)
               + "!!('rank', Hermite([a]));\n", "rank 100") for r, k in ((150, 170), (170, 150))]
    cases += [(f"Hermite with its column transform and inverse {n}x{n}, 3-digit entries", matrix(rng, n, 999)
               + "!!('rank', Hermite([a], [p], [q], [s], [t]));\n", f"rank {n}") for n in (40, 80, 160)]
    big = 10**20 - 1
    cases += [(f"Hermite {n}x{n}, 20-digit entries", matrix(rng, n, big) + "!!('rank', Hermite([a]));\n",
               f"rank {n}") for n in (40, 80, 160, 320)]
    cases += [(f"Hermite {r}x{k}, 20-digit entries", matrix(rng, r, big, k) + "!!('rank', Hermite([a]));\n",
               f"rank {min(r, k)}") for r, k in ((150, 170), (170, 150))]
    cases += [("Hermite 150x150 of rank 149, 20-digit entries", singular(rng, 150, 150, 149, big)
               + "!!('rank', Hermite([a]));\n", "rank 149")]
    cases += [("Hermite with its column transform and inverse 80x80, 20-digit entries", matrix(rng, 80, big)
               + "!!('rank', Hermite([a], [p], [q], [s], [t]));\n", "rank 80")]
    for what, script, expect in cases:
        figures = []
        for b in binaries:
            t = timed(b, script, expect, runs, limit)
            figures.append(f"over {limit:.0f} s" if t is None else f"{t:.3f} s")
        print(f"{what}: " + " | ".join(figures))


if __name__ == "__main__":
    main(sys.argv)
