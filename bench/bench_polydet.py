#!/usr/bin/env python3
"""Dense polynomial determinants timed through the real interpreter:
interpolation (&(L = 1)) beside fraction-free elimination (&(K = 1)) and
the default elimination.

  bench_polydet.py TARVEX [RUNS] [LIMIT]

Each figure is the least of RUNS sessions (3 by default) less the least of
a session that only sets the matrix up. A route that takes longer than
LIMIT seconds (600 by default) is stopped and shown as "> LIMIT". For each
case one more session computes the determinant by interpolation and by
elimination and must show their difference 0.

- Over Z: n = 8, 10, 12, each entry 4 random terms of total degree <= 2 in
  x, y, z with coefficients +-1..9 (fixed seed).
- n = 8, entries of degree 2 (4-5 terms) in 1, 2, 3 and 4 variables.
- The n = 12 matrix modulo the prime 2147483629.
"""
import os
import random
import subprocess
import sys
import tempfile
import time

NAMES = "xyzw"


def session(binary, script, limit):
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        try:
            out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                                 timeout=limit).stdout
        except subprocess.TimeoutExpired:
            return None, ""
        return time.perf_counter() - start, out.decode("utf-8", "replace")


def entry(rng, nvars, total):
    terms = []
    for _ in range(rng.choice((4, 5)) if not total else 4):
        while True:
            e = [rng.randint(0, 2) for _ in range(nvars)]
            if not total or sum(e) <= 2:
                break
        c = rng.randint(1, 9) * rng.choice((1, -1))
        mono = "*".join(f"{NAMES[k]}^{e[k]}" for k in range(nvars) if e[k])
        terms.append(f"{c}*{mono}" if mono else f"{c}")
    return "(" + " + ".join(terms) + ")"


def matrix(n, nvars, total, seed, ring=""):
    rng = random.Random(seed)
    cells = ",".join(entry(rng, nvars, total) for _ in range(n * n))
    decl = "".join(f"&(J = {NAMES[k]});\n" for k in range(nvars - 1, -1, -1))
    return f"{ring}{decl}Array a[{n},{n}];\n[a] := [({cells})];\n"


ROUTES = {
    "interpolation": "&(L = 1);\n",
    "fraction-free": "&(K = 1);\n",
    "default": "",
}


def timed(binary, setup, route, runs, limit):
    base = min(session(binary, setup + "!!('ok', 1);\n", limit)[0] for _ in range(runs))
    best = None
    for _ in range(runs):
        took, out = session(binary, setup + ROUTES[route] + "d := Det [a]:\n!!('done', 1);\n", limit)
        if took is None:
            return None
        if "done 1" not in out:
            sys.exit(f"{route}: no answer:\n{out[-600:]}")
        best = took if best is None else min(best, took)
        if best > limit / 4:
            break   # one run of a slow route is enough
    return max(best - base, 1e-4)


def check(binary, setup, limit):
    script = setup + "&(L = 1);\nd1 := Det [a]:\n&(L = 5000);\n&(K = 1);\nd2 := Det [a]:\n!!('diff', d1 - d2);\n"
    took, out = session(binary, script, 2 * limit)
    if took is None:
        return "not checked (time limit)"
    if "diff 0" not in out:
        sys.exit(f"interpolation and elimination differ:\n{out[-600:]}")
    return "difference 0"


def show(t, limit):
    return f"> {limit:.0f}" if t is None else f"{t:.3f}"


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    limit = float(argv[3]) if len(argv) > 3 else 600.0
    results = {}
    print("Dense over Z, entries of total degree <= 2 in x, y, z (seconds)")
    print(f"{'n':>4} {'interpolation':>14} {'fraction-free':>14} {'default':>10}")
    for n in (8, 10, 12):
        setup = matrix(n, 3, True, 1000 + n)
        row = {r: timed(binary, setup, r, runs, limit) for r in ROUTES}
        results[n] = row
        print(f"{n:4d} {show(row['interpolation'], limit):>14} {show(row['fraction-free'], limit):>14} "
              f"{show(row['default'], limit):>10}   {check(binary, setup, limit)}")
    i = {n: results[n]["interpolation"] for n in results}
    if i[8] and i[10] and i[12]:
        print(f"interpolation: 8 -> 10 {i[10] / i[8]:.2f}x, 10 -> 12 {i[12] / i[10]:.2f}x")
    elim12 = [t for t in (results[12]["fraction-free"], results[12]["default"]) if t]
    if elim12 and i[12]:
        print(f"n = 12: faster elimination / interpolation = {min(elim12) / i[12]:.1f}x")

    print("\nn = 8, degree-2 entries (4-5 terms) in 1..4 variables (seconds)")
    print(f"{'vars':>4} {'interpolation':>14} {'fraction-free':>14}")
    prev = None
    for v in (1, 2, 3, 4):
        setup = matrix(8, v, False, 2000 + v)
        a = timed(binary, setup, "interpolation", runs, limit)
        b = timed(binary, setup, "fraction-free", runs, limit)
        grow = f"   x{a / prev:.1f}" if a and prev else ""
        print(f"{v:4d} {show(a, limit):>14} {show(b, limit):>14}{grow}   {check(binary, setup, limit)}")
        prev = a

    setup = matrix(12, 3, True, 1012, "&(p = 2147483629);\n")
    t = timed(binary, setup, "interpolation", runs, limit)
    print(f"\nn = 12 modulo 2147483629, interpolation: {show(t, limit)} s   {check(binary, setup, limit)}")
    if t and i[12]:
        print(f"over Z / modulo p: {i[12] / t:.1f}x")


if __name__ == "__main__":
    main(sys.argv)
