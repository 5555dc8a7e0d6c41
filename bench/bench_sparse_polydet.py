#!/usr/bin/env python3
"""Sparse polynomial determinants over Z timed through the interpreter:
interpolation (&(L = 1)) beside sparse elimination, on banded matrices
(diagonal x + c_i, one neighbour y, two more integer entries per row,
fixed seed), n = 20, 40, 80; and interpolation with the true degrees given.

  bench_sparse_polydet.py TARVEX [RUNS] [LIMIT]

Each figure is the least of RUNS sessions (3 by default) less the least of
a session that only sets the matrix up; a route over LIMIT seconds (600)
shows "> LIMIT". One more session per case must show the difference of
the two routes as 0.
"""
import random
import subprocess
import sys
import tempfile
import time


def session(binary, script, limit):
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        try:
            out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                                 timeout=limit).stdout
        except subprocess.TimeoutExpired:
            return None, ""
        return time.perf_counter() - start, out.decode("utf-8", "replace")


def banded(n, seed):
    rng = random.Random(seed)
    lines = ["&(J = x); &(J = y);", f"Array s[{n},{n}] Sparse;"]
    cells = {}
    for i in range(n):
        cells[i, i] = f"x+{rng.randint(1, 9)}"
        cells[i, (i + 1) % n] = "y"
        for _ in range(2):
            j = rng.randrange(n)
            cells.setdefault((i, j), str(rng.choice([-3, -2, -1, 1, 2, 3])))
    lines += [f"s[{i + 1},{j + 1}] := {t};" for (i, j), t in sorted(cells.items())]
    return "\n".join(lines) + "\n"


def best(binary, script, runs, limit):
    times = [session(binary, script, limit)[0] for _ in range(runs)]
    return None if any(t is None for t in times) else min(times)


def main(argv):
    binary = argv[1]
    runs = int(argv[2]) if len(argv) > 2 else 3
    limit = float(argv[3]) if len(argv) > 3 else 600
    ok = True
    for n in (20, 40, 80):
        setup = banded(n, 32 + n)
        base = best(binary, setup, runs, limit) or 0.0
        routes = {"interpolation": "&(L = 1);\nd := Det [s];\n", "sparse elimination": "&(L = 5000);\nd := Det [s];\n"}
        _, out = session(binary, setup + "&(L = 1);\nd1 := Det [s];\n&(L = 5000);\nd1 - Det [s];\n&(D = 0);\n", limit)
        last = [ln.strip() for ln in out.split("\n>") if ln.strip()]
        diff_zero = len(last) >= 2 and last[-2].split("\n")[-1].strip() == "0"
        ok = ok and diff_zero
        figures = []
        for name, tail in routes.items():
            t = best(binary, setup + tail, runs, limit)
            figures.append(f"{name} {'> %g' % limit if t is None else '%.3f s' % (t - base)}")
        print(f"banded n = {n}: " + ", ".join(figures) + ("" if diff_zero else "  DIFFERENCE NOT 0"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
