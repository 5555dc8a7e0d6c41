#!/usr/bin/env python3
"""What a built-in call costs in a loop, beside the same loop doing a plain
assignment.

  bench_builtins.py TARVEX [RUNS]

Each figure is the least of RUNS sessions (3 by default), less a session
that only defines the functions. Every case checks its value.
"""
import subprocess
import sys
import tempfile
import time

DEFINITIONS = """\
Func Plain(n) = for i = 1 to n do t := 1 od; t.
Func Calls(n) = for i = 1 to n do t := Terms(i) od; t.
Func CallsRef(n) = u := 12; for i = 1 to n do t := Terms(^u) od; t.
"""


def session(binary, script):
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd).stdout
        return time.perf_counter() - start, out.decode("utf-8", "replace")


def measured(binary, statement, expect, runs):
    base = min(session(binary, DEFINITIONS)[0] for _ in range(runs))
    best = 1e300
    for _ in range(runs):
        took, out = session(binary, DEFINITIONS + statement + "\n")
        if expect not in out.split():
            sys.exit(f"{statement}: expected {expect}, got:\n{out[-600:]}")
        best = min(best, took)
    return max(best - base, 1e-4)


def main():
    binary = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    n = 1000000   # 10^5 calls are within the noise of starting a session
    plain = measured(binary, f"Plain({n});", "1", runs)
    print(f"{n} x 't := 1'            {plain * 1e3:8.1f} ms")
    for name in ("Calls", "CallsRef"):
        t = measured(binary, f"{name}({n});", "1", runs)
        per_call = (t - plain) / n * 1e9
        print(f"{n} x Terms ({name:8s})  {t * 1e3:8.1f} ms   {t / plain:5.2f}x the plain loop, "
              f"{per_call:6.0f} ns more per call")


if __name__ == "__main__":
    main()
