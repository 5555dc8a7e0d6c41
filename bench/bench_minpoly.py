#!/usr/bin/env python3
"""Minpoly of sparse integer matrices with 5 entries per row (-9 .. 9),
n = 500, 1000, 2000, through the real interpreter: the least of RUNS
sessions less the least of one that only builds the matrix. Doubling n
should cost at most 10x. The number of primes comes from the verbose line.

  bench_minpoly.py TARVEX [RUNS]
"""
import os
import random
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import measured, session  # noqa: E402


def matrix(rng, n):
    lines = [f"Array a[{n},{n}] Sparse;\n"]
    for i in range(1, n + 1):
        for j in rng.sample(range(1, n + 1), 5):
            lines.append(f"a[{i},{j}] := {rng.choice([v for v in range(-9, 10) if v])}:\n")
    return "".join(lines)


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    rng = random.Random(31)
    previous = None
    for n in (500, 1000, 2000):
        setup = "&(J = x);\n" + matrix(rng, n)
        statement = "m := Minpoly([a], 3):\n!!('done', 1);\n"
        took = measured(binary, setup, statement, "done 1", runs)
        _, out = session(binary, "&V;\n" + setup + statement)
        primes = re.search(r"Number of primes needed is *(\d+)", out)
        line = f"n = {n}: {took:.2f} s, {primes.group(1) if primes else '?'} primes"
        if previous:
            line += f", doubling n: {took / previous:.2f}x (at most 10x)"
        print(line)
        previous = took


if __name__ == "__main__":
    main(sys.argv)
