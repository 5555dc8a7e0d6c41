#!/usr/bin/env python3
"""User functions timed through the real interpreter.

  bench_functions.py TARVEX [RUNS]

Each case is one session, less the time of a session that only defines the
functions; each figure is the least of RUNS sessions (3 by default). Every
case checks its value, so a wrong answer fails the benchmark instead of
only timing it. The recursion rows also report the peak memory of the
session and the ratios from one depth to the next.
"""
import os
import subprocess
import sys
import tempfile
import time

DEFINITIONS = """\
Func SumMod(n) = s := 0; for i = 1 to n do s := s + i | 100 od; s.
Func SumCmp(n) = Compile (s, i); s := 0; for i = 1 to n do s := s + i | 100 od; s.
Func SumInt(n) = Integer; s := 0; for i = 1 to n do s := s + i | 100 od; s.
Func Three(a, b, c) = a + b - c.
Func Calls(n) = t := 0; for i = 1 to n do t := t + Three(i, 2, 1) od; t.
Func Fib(n) = if n < 2 then n else Fib(n - 1) + Fib(n - 2) fi.
Func Deep(n) = if n = 0 then 0 else 1 + Deep(n - 1) fi.
Func ASum(n) = s := 0; for r = 1 to n do for i = 1 to 1000 do s := s + a[i] + a[7] od od; s.
Func ASumCmp(n) = Compile (s, r, i, [a], a[7]); s := 0; for r = 1 to n do for i = 1 to 1000 do s := s + a[i] + a[7] od od; s.
"""

# The array the element sums read: a[i] = i, i <= 1000.
ARRAY = "Array a[1000]; for i = 1 to 1000 do a[i] := i od; s := 0; r := 0; "


def session(binary, script):
    """Seconds of one session."""
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd)
        return time.perf_counter() - start


def measured(binary, statement, expect, runs):
    base = min(session(binary, DEFINITIONS) for _ in range(runs))
    best, peak = 1e300, 0
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as cwd:
            start = time.perf_counter()
            proc = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, cwd=cwd)
            proc.stdin.write((DEFINITIONS + statement + "\n").encode())
            proc.stdin.close()
            out = proc.stdout.read().decode("utf-8", "replace")
            _, _, usage = os.wait4(proc.pid, 0)
            took = time.perf_counter() - start
        if expect not in out.split():
            sys.exit(f"{statement}: expected {expect}, got:\n{out[-600:]}")
        best = min(best, took)
        peak = max(peak, usage.ru_maxrss)
    return max(best - base, 1e-4), peak


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    rows = []
    exact, _ = measured(binary, "SumMod(1000000);", "49500000", runs)
    integer, _ = measured(binary, "SumInt(1000000);", "49500000", runs)
    # The loop's names are listed, so they exist before the first call.
    compiled, _ = measured(binary, "s := 0; i := 0; SumCmp(1000000);", "49500000", runs)
    rows.append(("sum of i | 100, i <= 10^6, exact", exact, ""))
    rows.append(("the same with Integer", integer, f"Integer wins {exact / integer:.1f}x"))
    rows.append(("the same with Compile", compiled, f"Compile wins {exact / compiled:.2f}x"))
    # Every a[i] finds the array through its binding, a[7] its cell.
    expect = str(300 * (500500 + 7000))
    asum, _ = measured(binary, ARRAY + "ASum(300);", expect, runs)
    asum_c, _ = measured(binary, ARRAY + "ASumCmp(300);", expect, runs)
    rows.append(("sum of a[i] + a[7], 3 x 10^5 times", asum, ""))
    rows.append(("the same with Compile ([a], a[7])", asum_c, f"Compile wins {asum / asum_c:.2f}x"))
    calls, _ = measured(binary, "Calls(100000);", str(sum(i + 1 for i in range(1, 100001))), runs)
    rows.append(("10^5 calls of a three-parameter function", calls, ""))
    fib, _ = measured(binary, "Fib(20);", "6765", runs)
    rows.append(("Fib(20), 21,891 calls", fib, ""))
    depth = {}
    for n in (5000, 10000, 20000):
        depth[n] = measured(binary, f"Deep({n});", str(n), runs)
    for n in (5000, 10000, 20000):
        t, kb = depth[n]
        note = f"peak {kb / 1024:.0f} MB"
        if n > 5000:
            pt, pkb = depth[n // 2]
            note += f"; x{t / pt:.2f} time, x{kb / pkb:.2f} memory from {n // 2}"
        rows.append((f"recursion {n} deep", t, note))
    print(f"{'case':44s} {'seconds':>9s}  note")
    for name, t, note in rows:
        shown = f"{t:9.3f}" if t is not None else f"{'-':>9s}"
        print(f"{name:44s} {shown}  {note}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
