#!/usr/bin/env python3
"""Hermite forms of square integer matrices, dense and sparse, from 12 x 12
to 150 x 150, each case a session of its own under a limit of processor
time (a 150 x 150 form once took seconds, growing ninety-fold per
doubling), checked by properties that do not depend on how the form was
reached:

  the form is canonical (lower triangular column form, positive pivots,
  entries left of a pivot in [0, pivot), zero columns after the rank) and
  the value is the rank; every column of A lies in H's lattice (exact
  forward substitution), and |det A| = det H (so the lattices are equal):
  the quotient det A / det H is an integer and is +-1 modulo primes whose
  product passes twice Hadamard's bound over det H.
  Up to 40 x 40 the form of [A | 0] (not square: the row-by-row steps)
  is [H | 0]; with all four transforms kept (up to 40 x 40, and 80 x 80
  under a limit of processor time) A t1 = H, t1 t3 = I, t0 = t2 = I and
  the form is the same.

Kinds: random entries of three digits or in [-3, 3]; rows other than the
last scaled by 2, 3 or 6 (pivots above the last one); the last row scaled;
a block [[B, 0], [0, 1]] (the whole determinant above the last pivot);
entries past 2^60 beside small ones; a singular matrix (rank n - 1).

  hermite_square_lattice.py TARVEX [SEED] [LIMIT_SCALE]
"""
import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.set_int_max_str_digits(0)
from normal_forms_differential import grab, hermite_shape, ident, mul, value  # noqa: E402
from normal_forms_sizes import LIMIT_SCALE, Literal, det_rank, run_cases, session  # noqa: E402
from interrupts import det_mod  # noqa: E402
from sympy import nextprime  # noqa: E402


def lattice_problems(a, h, rank, square=True, solutions=None):
    """Columns of a outside H's lattice (n x n), or, a square too, a
    determinant that differs; each column's x (H x = it) into solutions."""
    n = len(a)
    pivot = {}
    for t in range(rank):
        pivot[next(i for i in range(n) if h[i][t])] = t
    left = [[t for t in range(rank) if h[i][t] and pivot.get(i) != t] for i in range(n)]
    for j in range(len(a[0])):
        x = [0] * rank
        for i in range(n):
            v = a[i][j] - sum(h[i][t] * x[t] for t in left[i])
            if i in pivot:
                t = pivot[i]
                if v % h[i][t]:
                    return [f"column {j + 1} of A not in H's lattice"]
                x[t] = v // h[i][t]
            elif v:
                return [f"column {j + 1} of A not in H's lattice"]
        if solutions is not None:
            solutions.append(x)
    if rank < n or not square:
        return []
    dh = 1
    for i in range(n):
        dh *= h[i][i]
    # det H divides det A (the lattice holds A's); the quotient k has
    # |k| <= B / det H, so k = +-1 modulo primes past 2 B / det H decides.
    bits = sum(math.log2(1 + sum(a[i][j] ** 2 for i in range(n))) / 2 for j in range(n))
    room = bits - math.log2(dh) + 2 if dh else 0
    q, got = 1 << 62, 0
    while got < room:
        q = nextprime(q)
        if dh % q == 0:
            continue
        da = det_mod(a, q)
        if da not in (dh % q, -dh % q):
            return ["det H differs from |det A|"]
        got += 62
    return []


def square(rng, kind, n):
    if kind == "block":
        b = square(rng, "digits", n - 1)
        return [row + [0] for row in b] + [[0] * (n - 1) + [1]]
    span = 3 if kind == "small" else 999
    a = [[rng.randint(-span, span) for _ in range(n)] for _ in range(n)]
    if kind == "scaled":
        for i in rng.sample(range(n - 1), 3):
            a[i] = [rng.choice((2, 3, 6)) * v for v in a[i]]
    if kind == "last":
        a[-1] = [4 * v for v in a[-1]]
    if kind == "huge":
        for _ in range(n):
            a[rng.randrange(n)][rng.randrange(n)] = rng.choice((-1, 1)) * rng.randrange(1 << 60, 1 << 70)
    if kind == "singular":
        cs = [rng.randint(-2, 2) for _ in range(n - 1)]
        a[-1] = [sum(c * a[t][j] for t, c in enumerate(cs)) for j in range(n)]
        i = rng.randrange(n)
        a[i], a[-1] = a[-1], a[i]
    return a


def hermite_case(binary, a, sparse, limit, beside, transforms=False):
    """beside: the form of [A | 0] (no square, so the steps) must be [H | 0];
    transforms: Hermite with all four kept, A t1 = H, t1 t3 = I, t0 = t2
    = I, and the same H."""
    n = len(a)
    sc = Literal()

    def load(nm, m):
        sc.load(nm, m)
        if sparse:
            sc.lines.append(f"Sparse[{nm}]:")

    load("a", a)
    hv = sc.call("Hermite([a])")
    got = sc.read("a", n, n)
    if beside:
        load("b", [row + [0] for row in a])
        sc.call("Hermite([b])")
        other = sc.read("b", n, n + 1)
    if transforms:
        load("c", a)
        tv = sc.call("Hermite([c], [p], [q], [s], [t])")
        kept = [sc.read("c", n, n)] + [sc.read(nm, n, n) for nm in "pqst"]
    blocks = session(binary, sc.lines, limit)
    h = grab(blocks, got)
    rank = value(blocks, hv)
    problems = []
    expected = det_rank(a)[1] if n <= 40 else None
    if rank != expected and (expected is not None or rank not in (n, n - 1)):
        problems.append(f"the value {rank} is not the rank")
    shape = hermite_shape(h, rank)
    if shape:
        return problems + [shape]
    problems += lattice_problems(a, h, rank)
    if beside and grab(blocks, other) != [row + [0] for row in h]:
        problems.append("the form of [A | 0] is not [H | 0]")
    if transforms:
        hc, p, q, s, t = (grab(blocks, w) for w in kept)
        if value(blocks, tv) != rank or hc != h:
            problems.append("the form with transforms differs")
        if p != ident(n) or s != ident(n):
            problems.append("t0 or t2 is not I")
        if mul(a, q) != h:
            problems.append("A t1 != H")
        if mul(q, t) != ident(n):
            problems.append("t1 t3 != I")
    return problems


def wide(rng, kind, r, k):
    """r x k, r < k: random; later columns combinations of the first r (the
    lattice of those); later columns multiples of 5; the first r columns
    singular."""
    a = [[rng.randint(-999, 999) for _ in range(k)] for _ in range(r)]
    for j in range(r, k):
        if kind == "combination":
            cs = [rng.randint(-2, 2) for _ in range(r)]
            for i in range(r):
                a[i][j] = sum(c * a[i][t] for t, c in enumerate(cs))
        if kind == "fives":
            for i in range(r):
                a[i][j] *= 5
    if kind == "singular start":
        for i in range(r):
            a[i][0] = 2 * a[i][1]
    return a


def wide_case(binary, a, sparse, limit, reference):
    """Shape, value and A's columns in H's lattice; with reference, the
    same form as the steps reach keeping a transform and A t1 = H (so H's
    columns lie in A's lattice), else det H the gcd of a few maximal minors
    (each a multiple of the lattice's determinant, which det H divides, so
    equal ones make it the determinant)."""
    r, k = len(a), len(a[0])
    sc = Literal()

    def load(nm):
        sc.load(nm, a)
        if sparse:
            sc.lines.append(f"Sparse[{nm}]:")

    load("a")
    hv = sc.call("Hermite([a])")
    got = sc.read("a", r, k)
    if reference:
        load("b")
        sc.call("Hermite([b], [p], [q])")
        other = sc.read("b", r, k)
        q = sc.read("q", k, k)
    blocks = session(binary, sc.lines, limit)
    h = grab(blocks, got)
    rank = value(blocks, hv)
    problems = []
    if rank != r:
        problems.append(f"the value {rank} is not the rank")
    shape = hermite_shape(h, rank)
    if shape:
        return problems + [shape]
    problems += lattice_problems(a, [row[:r] for row in h], r, False)
    dh, g = 1, 0
    for i in range(r):
        dh *= h[i][i]
    pick = random.Random(r * k)

    def picks():
        yield list(range(r))
        for _ in range(12):
            cols = list(range(r))
            for j, i in zip(pick.sample(range(r, k), min(3, k - r)), pick.sample(range(r), min(3, k - r))):
                cols[i] = j
            yield sorted(cols)

    for cols in [] if reference else picks():
        g = math.gcd(g, det_rank([[a[i][j] for j in cols] for i in range(r)])[0])
        if g == dh:
            break
    else:
        if not reference:
            problems.append(f"det H = {dh} is not the gcd {g} of maximal minors")
    if reference:
        if grab(blocks, other) != h:
            problems.append("the form differs from the steps' with a transform")
        if mul(a, grab(blocks, q)) != h:
            problems.append("A t1 != H")
    return problems


def transpose(a):
    return [list(col) for col in zip(*a)]


def tall_case(binary, a, sparse, limit, reference):
    """Shape and value; H = A V for a unimodular V (A_top, the rows of H's
    pivots, first); with reference, the same form as the steps reach
    keeping a transform, A t1 = H."""
    r, k = len(a), len(a[0])
    sc = Literal()

    def load(nm):
        sc.load(nm, a)
        if sparse:
            sc.lines.append(f"Sparse[{nm}]:")

    load("a")
    hv = sc.call("Hermite([a])")
    got = sc.read("a", r, k)
    if reference:
        load("b")
        sc.call("Hermite([b], [p], [q])")
        other = sc.read("b", r, k)
        q = sc.read("q", k, k)
    blocks = session(binary, sc.lines, limit)
    h = grab(blocks, got)
    rank = value(blocks, hv)
    problems = []
    expected = det_rank(a)[1] if k <= 40 else k
    if rank != expected:
        problems.append(f"the value {rank} is not the rank")
    shape = hermite_shape(h, rank)
    if shape:
        return problems + [shape]
    if reference:
        if grab(blocks, other) != h:
            problems.append("the form differs from the steps' with a transform")
        if mul(a, grab(blocks, q)) != h:
            problems.append("A t1 != H")
        return problems
    # Columns of A_top in the lattice of H_top, of the same determinant:
    # X = H_top^-1 A_top is unimodular, the inverse of V = A_top^-1 H_top.
    # H = A V is then H_bottom X = A_bottom.
    xs = []
    problems += lattice_problems(a[:k], h[:k], k, True, xs)
    if not problems:
        for i in range(k, r):
            if [sum(h[i][t] * xs[j][t] for t in range(k)) for j in range(k)] != a[i]:
                problems.append(f"row {i + 1} of H is not A's times the transform")
                break
    return problems


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 60)
    LIMIT_SCALE[0] = int(argv[3]) if len(argv) > 3 else 1
    cases = []
    kinds = ("digits", "scaled", "small", "last", "block", "huge", "singular", "digits")
    for c, kind in enumerate(kinds * 2):
        n = rng.choice((12, 13, 17, 24, 31, 40))
        sparse = c % 3 == 2
        cases.append((f"{kind} {'sparse' if sparse else 'dense'} {n}x{n}",
                      lambda kind=kind, n=n, sparse=sparse, c=c: hermite_case(
                          binary, square(rng, kind, n), sparse, 10, True, c % 2 == 0)))
    # Sizes the steps took seconds to minutes on.
    for kind, n, sparse, limit in (("digits", 150, False, 3), ("scaled", 150, False, 3),
                                   ("digits", 140, True, 3), ("last", 140, False, 3)):
        cases.append((f"{kind} {'sparse' if sparse else 'dense'} {n}x{n}",
                      lambda kind=kind, n=n, sparse=sparse, limit=limit: hermite_case(
                          binary, square(rng, kind, n), sparse, limit, False)))
    for c, kind in enumerate(("digits", "combination", "fives", "singular start") * 2):
        r = rng.choice((12, 15, 22, 30))
        k, sparse = r + rng.choice((1, 2, 5, 9)), c >= 4
        cases.append((f"{kind} {'sparse' if sparse else 'dense'} {r}x{k}",
                      lambda kind=kind, r=r, k=k, sparse=sparse: wide_case(
                          binary, wide(rng, kind, r, k), sparse, 10, True)))
    for kind, r, k, sparse in (("digits", 130, 140, False), ("fives", 120, 126, True)):
        cases.append((f"{kind} {'sparse' if sparse else 'dense'} {r}x{k}",
                      lambda kind=kind, r=r, k=k, sparse=sparse: wide_case(
                          binary, wide(rng, kind, r, k), sparse, 2, False)))
    # Tall: the transpose's shapes; the form of [A; 0] is H over zero rows
    # only where the pivots stay in the first rows, so the reference is the
    # steps with a transform.
    for c, kind in enumerate(("digits", "combination", "fives", "singular start")):
        k = rng.choice((12, 15, 22, 30))
        r, sparse = k + rng.choice((1, 2, 5, 9)), c % 2 == 1
        cases.append((f"{kind} {'sparse' if sparse else 'dense'} {r}x{k}",
                      lambda kind=kind, r=r, k=k, sparse=sparse: tall_case(
                          binary, transpose(wide(rng, kind, k, r)), sparse, 10, True)))
    cases.append(("digits dense 170x150", lambda: tall_case(
        binary, transpose(wide(rng, "digits", 150, 170)), False, 4, False)))
    # The steps kept the transforms for seconds at 80 x 80, for many
    # minutes at 160 x 160.
    cases.append(("digits dense 80x80 with transforms", lambda: hermite_case(
        binary, square(rng, "digits", 80), False, 2, False, True)))
    return run_cases(cases)

if __name__ == "__main__":
    sys.exit(main(sys.argv))
