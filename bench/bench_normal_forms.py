#!/usr/bin/env python3
"""Hermite and Smith forms of dense random integer matrices (entries in
[-10, 10]) timed through the real interpreter, then the same matrices
stored sparse.

  bench_normal_forms.py TARVEX [RUNS]

Each figure is the least processor time (user and system) of RUNS
sessions (7 by default) less the least of a session that only sets the
case up: the n = 40 figures are a few hundredths of a second, where wall
time on a busy machine says little; the Smith and MSmith figures behind the
doubling ratios take the form several times in a session at n = 20 and 40
(the matrix set again each time). Every case checks the rank.

- Smith without transforms (modulo the pseudo-determinant) and the
  pseudo-determinant alone (its share), n = 20, 40, 80: at most 10 s at 80,
  doubling at most 20x.
- Hermite, n = 20, 40, 80: at most 10 s at 80.
- Smith with all four transforms (the exact road), n = 20 and 40.
- Sparse: Smith and MSmith (modulo the pseudo-determinant), Hermite with
  the bit size of its largest entry beside that of |det|, n = 20, 40, 80;
  Smith with transforms at n = 20.
"""
import os
import re
import random
import resource
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import session  # noqa: E402


def cpu_session(binary, script):
    """Processor time of one session, and its output."""
    with tempfile.TemporaryDirectory() as cwd:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd).stdout
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    used = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return used, out.decode("utf-8", "replace")


def measured(binary, setup, statement, expect, runs):
    base = min(cpu_session(binary, setup)[0] for _ in range(runs))
    best = 1e300
    for _ in range(runs):
        took, out = cpu_session(binary, setup + statement)
        if expect not in out:
            sys.exit(f"{statement[:60]}: expected {expect!r}, got:\n{out[-600:]}")
        best = min(best, took)
    return max(best - base, 1e-4)


def matrix(rng, n):
    cells = ",".join(str(rng.randrange(-10, 11)) for _ in range(n * n))
    return f"Array a[{n},{n}];\n[a] := [({cells})];\n"


# Repetitions per session for the doubling figures: a single n = 40 form
# takes about 0.01 s, near the process clock's resolution.
REPEATS = {20: 20, 40: 10, 80: 1}


def per_form(binary, setup, statement, expect, runs, n, sparse=False):
    """Processor time of one form when the matrix is set again and the form
    taken REPEATS[n] times in a session; the settings alone are taken off."""
    # Declared again each time: a sparse form keeps only its rank's rows,
    # and a literal of the old shape no longer fits it.
    fill = setup + ("Sparse[a];\n" if sparse else "")
    reps = REPEATS[n]
    base = min(cpu_session(binary, fill * reps)[0] for _ in range(runs))
    best = 1e300
    for _ in range(runs):
        took, out = cpu_session(binary, (fill + statement) * reps)
        if out.count(expect) != reps:
            sys.exit(f"{statement[:60]}: expected {expect!r} {reps} times, got:\n{out[-600:]}")
        best = min(best, took)
    return max(best - base, 1e-4) / reps


def largest_bits(binary, setup, n):
    """Bit sizes of the largest entry of the sparse Hermite form and of
    |det| (the product of its diagonal, the pivots of a full-rank square
    form), from one untimed session."""
    walk = (f"Sparse[a];\nHermite([a]);\nd := 1;\nfor i = 1 to {n} do d := d * a[i,i] od;\n!!('e', d);\n"
            f"for i = 1 to {n} do for j = 1 to {n} do !!('e', a[i,j]) od od;\n")
    _, out = session(binary, setup + walk)
    values = [int(v.replace("`", "").replace("\n", "").replace(" ", ""))
              for v in re.findall(r"^>?e (-?[\d` \n]+?)$(?=\n(?:e |\n|>))", out, re.M)]
    return max(abs(v).bit_length() for v in values[1:]), abs(values[0]).bit_length()


def sparse_cases(binary, runs, setups):
    smith, msmith = {}, {}
    for n in (20, 40, 80):
        setup = setups[n] + "Sparse[a];\n"
        smith[n] = per_form(binary, setups[n], "!!('rank', Smith([a]));\n", f"rank {n}", runs, n, True)
        msmith[n] = per_form(binary, setups[n], "!!('rank', MSmith([a]));\n", f"rank {n}", runs, n, True)
        pseudo = measured(binary, setup, "Array p[2,2];\n!!('rank', Pseudet([a], [p]));\n", f"rank {n}", runs)
        herm = measured(binary, setup, "!!('rank', Hermite([a]));\n", f"rank {n}", runs)
        big, det = largest_bits(binary, setups[n], n)
        print(f"sparse n={n}: Smith {smith[n]:.3f} s, MSmith {msmith[n]:.3f} s (Pseudet alone "
              f"{pseudo:.3f} s), Hermite {herm:.3f} s, largest entry {big} bits, |det| {det} bits")
    for n in (40, 80):
        print(f"sparse doubling to n={n}: Smith {smith[n] / smith[n // 2]:.1f}x, "
              f"MSmith {msmith[n] / msmith[n // 2]:.1f}x (at most 20x)")
    t = measured(binary, setups[20] + "Sparse[a];\n", "!!('rank', Smith([a], [p], [q], [r], [s]));\n", "rank 20", 1)
    print(f"sparse n=20: Smith with transforms {t:.3f} s")


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 7
    rng = random.Random(83)
    setups = {n: matrix(rng, n) for n in (20, 40, 80)}
    smith, msmith = {}, {}
    for n in (20, 40, 80):
        smith[n] = per_form(binary, setups[n], "!!('rank', Smith([a]));\n", f"rank {n}", runs, n)
        msmith[n] = per_form(binary, setups[n], "!!('rank', MSmith([a]));\n", f"rank {n}", runs, n)
        pseudo = measured(binary, setups[n], "Array p[2,2];\n!!('rank', Pseudet([a], [p]));\n", f"rank {n}", runs)
        herm = measured(binary, setups[n], "!!('rank', Hermite([a]));\n", f"rank {n}", runs)
        print(f"n={n}: Smith {smith[n]:.3f} s, MSmith {msmith[n]:.3f} s (Pseudet alone {pseudo:.3f} s), "
              f"Hermite {herm:.3f} s")
    for n in (40, 80):
        print(f"doubling to n={n}: Smith {smith[n] / smith[n // 2]:.1f}x, MSmith {msmith[n] / msmith[n // 2]:.1f}x "
              f"(at most 20x)")
    for n in (20, 40):
        t = measured(binary, setups[n], "!!('rank', Smith([a], [p], [q], [r], [s]));\n", f"rank {n}", 1)
        print(f"n={n}: Smith with transforms {t:.3f} s")
    sparse_cases(binary, runs, setups)


if __name__ == "__main__":
    main(sys.argv)
