#!/usr/bin/env python3
"""Hermite forms of integer matrices whose lattice has a quotient that is
not cyclic, so that no single dual vector defines it: products L M of a
matrix of entries 0..9 (two of its columns multiples of 3, which makes the
quotient hold (Z/3)^2) and one of entries 0..99, of lower rank or of full
row rank with more columns than rows. Each case a session of its own under
a limit of processor time (a 150 x 150 product of rank 149 once took 33 s
without a transform, a 179 x 180 one of full rank 15 s with its column
transform).

Checked by properties that do not depend on how the form was reached: the
form is canonical (lower triangular, positive pivots, entries left of a
pivot in [0, pivot), zero columns after the rank) and every column of A
lies in H's lattice (exact forward substitution). H's columns lie in A's:
without a transform M's first columns are unit triangular, so A's lattice
is L's, and the product of H's pivots must be |det L| on H's pivot rows,
the volume of A's lattice there; with the transform H = A t1, t1 integral,
checked at two random integer vectors. The small cases (square, tall and
wide, one to three below full rank or of full row rank, dense and sparse)
take the form both ways: the same H, A t1 = H exactly, the value the rank.

  hermite_noncyclic_lattice.py TARVEX [SEED] [LIMIT_SCALE]
"""
import operator
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.set_int_max_str_digits(0)
from hermite_lower_rank import small_case  # noqa: E402
from normal_forms_differential import grab, hermite_shape, value  # noqa: E402
from normal_forms_sizes import LIMIT_SCALE, Literal, run_cases, session  # noqa: E402
from hermite_square_lattice import lattice_problems  # noqa: E402


def factors(rng, R, r, K, spanning=False):
    """L (R x r, entries 0..9, two columns multiples of 3) and M (r x K,
    entries 0..99; spanning: unit lower triangular in its first r columns,
    so that its columns span Z^r and L M spans L's lattice)."""
    thirds = rng.sample(range(r), 2) if r >= 2 else []
    left = [[rng.choice((0, 3, 6, 9)) if t in thirds else rng.randint(0, 9) for t in range(r)] for _ in range(R)]
    right = [[rng.randint(0, 99) for _ in range(K)] for _ in range(r)]
    if spanning:
        for i in range(r):
            right[i][i] = 1
            for j in range(i + 1, r):
                right[i][j] = 0
    return left, right


def product(left, right):
    # Every entry is non-negative and below 2^32: each row of the right
    # factor packed into one integer, 32 bits an entry, a row of the
    # product is one sum of multiples of them.
    K = len(right[0])
    packed = [sum(x << (32 * j) for j, x in enumerate(row)) for row in right]
    out = []
    for row in left:
        v = sum(c * p for c, p in zip(row, packed) if c)
        out.append([(v >> (32 * j)) & 0xFFFFFFFF for j in range(K)])
    return out


def det(m):
    """By fraction-free elimination."""
    m = [row[:] for row in m]
    n, prev, sign = len(m), 1, 1
    for k in range(n):
        p = next((i for i in range(k, n) if m[i][k]), None)
        if p is None:
            return 0
        if p != k:
            m[k], m[p] = m[p], m[k]
            sign = -sign
        top, pk = m[k][k + 1:], m[k][k]
        for i in range(k + 1, n):
            f = m[i][k]
            m[i] = [0] * (k + 1) + [(pk * x - f * y) // prev for x, y in zip(m[i][k + 1:], top)]
        prev = pk
    return sign * prev


def large_case(binary, rng, R, r, K, limit):
    # A = L M with M's columns spanning Z^r: A's lattice is L's, of rank r
    # where L_P (L on H's pivot rows P) is non-singular. A's columns lying
    # in H's lattice, the index of A's in H's is that of their rows P:
    # |det L_P| over the product of H's pivots, 1 just when they are equal.
    left, right = factors(rng, R, r, K, True)
    a = product(left, right)
    sc = Literal()
    sc.load("a", a)
    hv = sc.call("Hermite([a])")
    got = sc.read("a", R, K)
    blocks = session(binary, sc.lines, limit)
    h = grab(blocks, got)
    rank = value(blocks, hv)
    if rank != r:
        return [f"the value {rank} is not the rank {r}"]
    shape = hermite_shape(h, rank)
    if shape:
        return [shape]
    problems = lattice_problems(a, h, rank, False)
    rows = [next(i for i in range(R) if h[i][j]) for j in range(r)]
    pivots = 1
    for j, i in enumerate(rows):
        pivots *= h[i][j]
    if abs(det([left[i] for i in rows])) != pivots:
        problems.append("the product of the pivots is not the index of A's lattice")
    return problems


def times_vector(m, v):
    return [sum(map(operator.mul, row, v)) for row in m]


def kept_case(binary, rng, R, r, K, limit):
    # With the column transform: H = A t1, t1 integral, puts H's columns
    # in A's lattice; checked at two random vectors v, A (t1 v) = H v.
    a = product(*factors(rng, R, r, K))
    sc = Literal()
    sc.load("a", a)
    hv = sc.call("Hermite([a], [p], [q])")
    got = sc.read("a", R, K)
    q = sc.read("q", K, K)
    blocks = session(binary, sc.lines, limit)
    h, t1 = grab(blocks, got), grab(blocks, q)
    rank = value(blocks, hv)
    shape = hermite_shape(h, rank)
    if shape:
        return [f"value {rank}: {shape}"]
    problems = lattice_problems(a, h, rank, False)
    for _ in range(2):
        v = [rng.getrandbits(64) for _ in range(K)]
        if times_vector(a, times_vector(t1, v)) != times_vector(h, v):
            return problems + ["A t1 != H"]
    return problems


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 60)
    LIMIT_SCALE[0] = int(argv[3]) if len(argv) > 3 else 1
    cases = [("dense 150x150 of rank 149", lambda: large_case(binary, rng, 150, 149, 150, 1.5)),
             ("dense 179x180 of full rank with t1", lambda: kept_case(binary, rng, 179, 179, 180, 2.5))]
    for c in range(12):
        # Square, tall and wide; one to three below full rank, or of full
        # row rank where wide; dense and sparse.
        shape = ("square", "tall", "wide")[c % 3]
        n = rng.randint(14, 26)
        R, K = {"square": (n, n), "tall": (n + rng.randint(1, 6), n), "wide": (n, n + rng.randint(1, 6))}[shape]
        r = min(R, K) - (c // 3) % 4
        sparse = c % 2 == 1
        cases.append((f"{shape} {'sparse' if sparse else 'dense'} {R}x{K} of rank {r}",
                      lambda R=R, r=r, K=K, sparse=sparse: small_case(binary, product(*factors(rng, R, r, K)), sparse)))
    return run_cases(cases)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
