#!/usr/bin/env python3
"""Array blocks timed through the real interpreter.

  bench_blocks.py TARVEX [RUNS]

Each figure is the least of RUNS sessions (5 by default) less the least of
a session that only sets the case up (a 1000 x 1000 dense array of ones);
every case checks a value it changed, and runs its statement 10 times.

- Assigning a value of the block's shape to a k x k block, and reading a
  k x k block into a new array, for k = 250 and 500: both should cost time
  linear in the block's cells (4x the cells, about 4x the time), far below
  a copy of the whole array, which is timed alongside.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import measured  # noqa: E402

SETUP = "Array a[1000,1000];\n[a] := 1;\n"
REPEAT = 10   # statements per session, each figure per statement


def main():
    binary = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    rows = []
    for k in (250, 500):
        lo, hi = 1000 - k + 1, 1000
        read = measured(binary, SETUP, REPEAT * f"[b] := [a[{lo}~{hi},1~{k}]]:\n" + f"!!('v', b[{k},{k}]);\n",
                        "v 1", runs) / REPEAT
        setup = SETUP + f"Array c[{k},{k}];\n[c] := 2;\n"
        write = measured(binary, setup, REPEAT * f"[a[1~{k},{lo}~{hi}]] := [c]:\n" + f"!!('v', a[{k},1000]);\n",
                         "v 2", runs) / REPEAT
        rows.append((k, read, write))
    whole = measured(binary, SETUP, REPEAT * "[b] := [a]:\n" + "!!('v', b[1000,1000]);\n", "v 1", runs) / REPEAT
    print("block side   cells      read (s)   assign (s)")
    for k, read, write in rows:
        print(f"{k:10d} {k * k:8d} {read:12.4f} {write:12.4f}")
    print(f"whole array copy, 10^6 cells: {whole:.4f} s")
    r = rows[1][1] / rows[0][1]
    w = rows[1][2] / rows[0][2]
    print(f"500 against 250 (4x the cells): read {r:.2f}x, assign {w:.2f}x")


if __name__ == "__main__":
    main()
