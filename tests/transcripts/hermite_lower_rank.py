#!/usr/bin/env python3
"""Hermite forms (no transform) of integer matrices of lower rank: square
singular, wide and tall, rank 1 to one below full, dense and sparse, each
case a session of its own under a limit of processor time (a 150 x 150
matrix of rank 149 once took half a minute). Checked by properties that do
not depend on how the form was reached:

  the form is canonical and the value is the rank; every column of A lies
  in H's lattice; the steps that keep a transform reach the same form and
  A t1 = H (so H's columns lie in A's lattice). At 150 x 150 (the last row
  3 r1 - 2 r2): H over its first 149 rows is the form of A without its
  last row (full row rank: another road), and H's last row is 3 h1 - 2 h2.

The matrices are L M with M of rank r (entries of three digits or in
[-3, 3], dense or mostly zero) and L small, with rows scaled by 2, 3 or 6
placed at random: pivots other than 1, not only on the first rows.

  hermite_lower_rank.py TARVEX [SEED] [LIMIT_SCALE]
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.set_int_max_str_digits(0)
from hermite_square_lattice import lattice_problems  # noqa: E402
from normal_forms_differential import grab, hermite_shape, mul, value  # noqa: E402
from normal_forms_sizes import LIMIT_SCALE, Literal, det_rank, run_cases, session  # noqa: E402


def lower_rank(rng, R, K, r):
    span = rng.choice((3, 999))
    thin = rng.choice((0, 0.7))
    m = [[rng.randint(-span, span) if rng.random() >= thin else 0 for _ in range(K)] for _ in range(r)]
    el = [[rng.randint(-3, 3) if rng.random() < 0.5 else 0 for _ in range(r)] for _ in range(R)]
    for t, i in enumerate(rng.sample(range(R), r)):
        el[i] = [0] * r
        el[i][t] = rng.choice((1, 2, 3, 6))
    return [[sum(el[i][t] * m[t][j] for t in range(r)) for j in range(K)] for i in range(R)]


def loader(sc, sparse):
    def load(nm, a):
        sc.load(nm, a)
        if sparse:
            sc.lines.append(f"Sparse[{nm}]:")
    return load


def small_case(binary, a, sparse):
    R, K = len(a), len(a[0])
    sc = Literal()
    load = loader(sc, sparse)
    load("a", a)
    hv = sc.call("Hermite([a])")
    got = sc.read("a", R, K)
    load("b", a)
    sc.call("Hermite([b], [p], [q])")
    other = sc.read("b", R, K)
    q = sc.read("q", K, K)
    blocks = session(binary, sc.lines, 10)
    h = grab(blocks, got)
    rank = value(blocks, hv)
    problems = []
    if rank != det_rank(a)[1]:
        problems.append(f"the value {rank} is not the rank")
    shape = hermite_shape(h, rank)
    if shape:
        return problems + [shape]
    problems += lattice_problems(a, h, rank, False)
    if grab(blocks, other) != h:
        problems.append("the form differs from the steps' with a transform")
    if mul(a, grab(blocks, q)) != h:
        problems.append("A t1 != H")
    return problems


def large_case(binary, rng, n, sparse, span=999, limit=3):
    a = [[rng.randint(-span, span) for _ in range(n)] for _ in range(n)]
    a[-1] = [3 * x - 2 * y for x, y in zip(a[0], a[1])]
    sc = Literal()
    load = loader(sc, sparse)
    load("a", a)
    hv = sc.call("Hermite([a])")
    got = sc.read("a", n, n)
    load("b", a[:-1])
    sc.call("Hermite([b])")
    top = sc.read("b", n - 1, n)
    blocks = session(binary, sc.lines, limit)
    h = grab(blocks, got)
    problems = []
    if value(blocks, hv) != n - 1:
        problems.append("the value is not the rank")
    shape = hermite_shape(h, n - 1)
    if shape:
        return problems + [shape]
    problems += lattice_problems(a, h, n - 1, False)
    if grab(blocks, top) != h[:-1]:
        problems.append("H over the first rows is not their form")
    if h[-1] != [3 * x - 2 * y for x, y in zip(h[0], h[1])]:
        problems.append("H's last row is not 3 h1 - 2 h2")
    return problems


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 60)
    LIMIT_SCALE[0] = int(argv[3]) if len(argv) > 3 else 1
    cases = []
    for c in range(18):
        R = rng.randint(12, 30)
        K = (R, rng.randint(12, R - 1) if R > 12 else R, rng.randint(R + 1, 36))[c % 3]
        side = min(R, K)
        r = (1, 2, side - 1, rng.randint(1, side - 1))[c % 4]
        sparse = c % 2 == 1
        shape = ("square", "tall", "wide")[c % 3]
        cases.append((f"{shape} {'sparse' if sparse else 'dense'} {R}x{K} of rank {r}",
                      lambda R=R, K=K, r=r, sparse=sparse: small_case(
                          binary, lower_rank(rng, R, K, r), sparse)))
    for sparse in (False, True):
        cases.append((f"{'sparse' if sparse else 'dense'} 150x150 of rank 149",
                      lambda sparse=sparse: large_case(binary, rng, 150, sparse)))
    return run_cases(cases)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
