#!/usr/bin/env python3
"""Arrays timed through the real interpreter.

  bench_arrays.py TARVEX [RUNS]

Each figure is the least of RUNS sessions (5 by default) less the least of
a session that only sets the case up; every case checks its value, so a
wrong answer fails the benchmark instead of only timing it.

- A loop typed at the terminal writes, then reads back, every cell of an
  n x n array (300 and 600): 4x the cells should take at most 5x the time.
- Deleting the oldest of five 1000 x 1000 arrays moves the cells of the
  four later ones down.
- '#' of a dense bivariate polynomial of degree 100 at a rational and at
  a quotient of polynomials (ten times round, per evaluation).
- Array expressions: the sum of two 1000 x 1000 dense arrays, and a sparse
  1000 x 1000 array plus a scalar (a dense result of 10^6 cells).
"""
import os
import subprocess
import sys
import tempfile
import time


def session(binary, script):
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd).stdout
        return time.perf_counter() - start, out.decode("utf-8", "replace")


def measured(binary, setup, statement, expect, runs):
    base = min(session(binary, setup)[0] for _ in range(runs))
    best = 1e300
    for _ in range(runs):
        took, out = session(binary, setup + statement)
        if expect not in out:
            sys.exit(f"{statement[:60]}: expected {expect!r}, got:\n{out[-600:]}")
        best = min(best, took)
    return max(best - base, 1e-4)


def fill_and_read(n):
    setup = f"Array a[{n},{n}];\n"
    loop = (f"for j = 1 to {n} do for i = 1 to {n} do a[i,j] := i + j od od;\n"
            f"s := 0; for j = 1 to {n} do for i = 1 to {n} do s := s + a[i,j] od od;\n"
            "!!('sum', s);\n")
    return setup, loop, f"sum {n * n * (n + 1)}"


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 5
    times = {}
    for n in (300, 600):
        setup, loop, expect = fill_and_read(n)
        times[n] = measured(binary, setup, loop, expect, runs)
        print(f"write then read every cell of {n} x {n}: {times[n]:.3f} s")
    print(f"4x the cells: {times[600] / times[300]:.2f}x the time (at most 5x)")

    # The oldest is deleted and made again as the newest, 20 times round.
    setup = ("Array a1[1000,1000], a2[1000,1000], a3[1000,1000], a4[1000,1000], a5[1000,1000];\n"
             "a5[1000,1000] := 7;\n")
    rounds = "".join(f"@[a{k}]; Array a{k}[1000,1000];\n" for k in (1, 2, 3, 4) * 5)
    took = measured(binary, setup, rounds + "!!('last', a5[1000,1000]);\n", "last 7", runs)
    print(f"delete the oldest of five 1000 x 1000 arrays: {took * 1000 / 20:.1f} ms each")

    setup = "&(J = y);\n&(J = x);\np := (x + 2y + 1)^100:\n"
    took = measured(binary, setup, "for k = 1 to 10 do q := p#(x = 2/3) od:\n!!('v', q#(y = 0) * 3^100 - 5^100);\n", "v 0", runs)
    print(f"'#' of a dense degree-100 bivariate polynomial at 2/3: {took * 100:.1f} ms")
    took = measured(binary, setup, "for k = 1 to 10 do q := p#(x = (y + 1)/(y - 1)) od:\n!!('v', q#(y = 0));\n", "v 0", runs)
    print(f"'#' of the same polynomial at (y + 1)/(y - 1): {took * 100:.1f} ms")

    # The arrays come from a generator; the sums are checked by Sum.
    setup = ("Array a[1000,1000], b[1000,1000], s[1000,1000] Sparse;\n"
             "[a] := [<i = 1, 1000><j = 1, 1000> i + j];\n[b] := [a];\n[s] := [3];\n")
    took = measured(binary, setup, "[c] := [a] + [b];\n!!('sum', Sum [c]);\n", "sum 2002000000", runs)
    print(f"[a] + [b], 1000 x 1000 dense: {took * 1000:.0f} ms")
    took = measured(binary, setup, "[c] := [s] + 1;\n!!('sum', Sum [c]);\n", "sum 1003000", runs)
    print(f"[s] + 1, 1000 x 1000 sparse with a scalar: {took * 1000:.0f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
