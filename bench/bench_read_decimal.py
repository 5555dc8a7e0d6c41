#!/usr/bin/env python3
"""Reading long decimal integers against writing them, through the real
interpreter.

  bench_read_decimal.py TARVEX [RUNS]

  - A typed literal of n nines (n = 100,000, 400,000, 1,000,000) beside
    computing 10^n - 1 and displaying it: reading should cost about what
    writing costs (the ratio read / write near 1, not growing with n).
  - A save of 200000! (about 1.1 MB) and its read back by &R.

Each figure is the least of RUNS sessions (3 by default) less the least of
a session that only does the set-up. Every value is checked.
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import session  # noqa: E402


def least(binary, script, expect, runs):
    best = 1e300
    for _ in range(runs):
        took, out = session(binary, script)
        if expect not in out:
            sys.exit(f"{script[:60]!r}: expected {expect!r}, got:\n{out[-600:]}")
        best = min(best, took)
    return best


def literal(binary, n, runs):
    base = least(binary, f"b := 10^{n} - 1:\n", "bye", runs)
    read = least(binary, f"a := {'9' * n}:\n!!('zero', a - (10^{n} - 1));\n", "zero 0", runs) - base
    write = least(binary, f"b := 10^{n} - 1:\nb;\n", "99999999 `", runs) - base
    print(f"{n} digits: read {max(read, 1e-4):.3f} s, write {max(write, 1e-4):.3f} s, "
          f"read / write {read / max(write, 1e-4):.2f}", flush=True)


def factorial_save(binary, runs):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "big.sav")
        base = least(binary, "f := 200000!:\n", "bye", runs)
        save = least(binary, f"f := 200000!:\n&(S = '{path}');\n&s;\n&(S = @);\n", "bye", runs) - base
        size = os.path.getsize(path)
        start = least(binary, "g := 200000!:\n", "bye", runs)
        read = least(binary, f"&(R = '{path}');\ng := 200000!:\n!!('zero', f - g);\n", "zero 0", runs) - start
        print(f"200000! save ({size / 1e6:.1f} MB): write {max(save, 1e-4):.3f} s, "
              f"read back {max(read, 1e-4):.3f} s, read / write {read / max(save, 1e-4):.2f}", flush=True)


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    for n in (100000, 400000, 1000000):
        literal(binary, n, runs)
    factorial_save(binary, runs)


if __name__ == "__main__":
    main(sys.argv)
