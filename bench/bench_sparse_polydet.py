#!/usr/bin/env python3
"""Sparse polynomial determinants over Z timed through the interpreter:
interpolation (&(L = 1)) beside sparse elimination, on banded matrices
(diagonal x + c_i, one neighbour y, two more integer entries per row,
fixed seed), n = 20, 40, 80; interpolation with the true degrees given;
three equal banded blocks with the power 3 beside no hint; entries in x^2
and y^2 with the power -2 beside no hint.

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


def banded_cells(n, seed, x="x", y="y"):
    rng = random.Random(seed)
    cells = {}
    for i in range(n):
        cells[i, i] = f"{x}+{rng.randint(1, 9)}"
        cells[i, (i + 1) % n] = y
        for _ in range(2):
            j = rng.randrange(n)
            cells.setdefault((i, j), str(rng.choice([-3, -2, -1, 1, 2, 3])))
    return cells


def script(n, cells):
    lines = ["&(J = x); &(J = y);", f"Array s[{n},{n}] Sparse;"]
    lines += [f"s[{i + 1},{j + 1}] := {t};" for (i, j), t in sorted(cells.items())]
    return "\n".join(lines) + "\n"


def banded(n, seed):
    return script(n, banded_cells(n, seed))


def compare(binary, label, setup, plain, hinted, runs, limit):
    """The hinted statement beside the plain one (both by interpolation);
    the hinted value is checked by the session's last statement."""
    base = best(binary, setup, runs, limit) or 0.0
    t_plain = best(binary, setup + "&(L = 1);\n" + plain, runs, limit)
    t_hint = best(binary, setup + "&(L = 1);\n" + hinted, runs, limit)
    fig = [f"{'> %g' % limit if t is None else '%.3f s' % (t - base)}" for t in (t_plain, t_hint)]
    ratio = "" if not (t_plain and t_hint) else f", {(t_plain - base) / max(t_hint - base, 1e-3):.1f}x"
    print(f"{label}: without the hint {fig[0]}, with it {fig[1]}{ratio}")


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
        # The degrees in y (the diagonal's neighbour, one cycle) and in x
        # (the diagonal) are both n exactly.
        t = best(binary, setup + f"&(L = 1);\nd := Det([s], 1, {n}, {n});\n", runs, limit)
        print(f"banded n = {n}: interpolation with the true degrees "
              f"{'> %g' % limit if t is None else '%.3f s' % (t - base)}")
    # Three equal blocks: the power 3 gives the block's determinant.
    blk = banded_cells(27, 7)
    cells = {(i + 27 * b, j + 27 * b): v for b in range(3) for (i, j), v in blk.items()}
    setup = script(81, cells) + "Array t[27,27] Sparse;\n"
    setup += "".join(f"t[{i + 1},{j + 1}] := {v};\n" for (i, j), v in sorted(blk.items()))
    _, out = session(binary, setup + "&(L = 1);\nDet([s], 1, -1, -1, 3) - Det [t];\n", limit)
    ok = ok and out.rstrip().split("\n>")[-2].strip().endswith("0")
    compare(binary, "three equal banded blocks n = 81, power 3", setup, "d := Det [s];\n",
            "d := Det([s], 1, -1, -1, 3);\n", runs, limit)
    # Entries in x^2 and y^2: the power -2 gives g with det = g(x^2, y^2).
    sq = banded_cells(40, 9, "x^2", "y^2")
    setup = script(40, sq)
    compare(binary, "banded n = 40 in x^2, y^2, power -2", setup, "d := Det [s];\n",
            "d := Det([s], 1, -1, -1, -2);\n", runs, limit)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
