#!/usr/bin/env python3
"""Smith with all four transforms and Hermite with its column transforms on
matrices of 80 to 150 rows, each case a session of its own under a limit of
processor time (the kept transforms once grew until such forms took
minutes), checked by properties that do not depend on how the forms were
reached:

  Smith: t0 A0 t1 = S, t0 t2 = I, t1 t3 = I over the integers, S diagonal,
  non-negative, each entry dividing the next, the value the rank; S equal
  to the form without transforms (the road modulo the pseudo-determinant),
  to |det A0| as the product of its entries when A0 is square and
  non-singular, and to the chain a matrix was built from (P D Q with P, Q
  random unimodular). Square, wide, tall, rank-deficient, sparse.
  Hermite: H = A0 t1, t1 t3 = I, the shape rules, H equal to the form
  without transforms (the road modulo the lattice's determinant).
  Both also on small matrices whose rank profile modulo a word prime is
  not their own, or that are zero there, or of rank one.

  kept_transform_sizes.py TARVEX [SEED] [LIMIT_SCALE]
"""
import os
import random
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.set_int_max_str_digits(0)
from normal_forms_differential import hermite_shape, ident, mul, number  # noqa: E402
from normal_forms_sizes import LIMIT_SCALE, OverTime, det_rank, random_matrix, session  # noqa: E402


class Whole:
    """A session that loads a matrix in one statement and prints whole
    arrays, one output block each."""

    def __init__(self):
        self.lines = []

    def load(self, a, sparse):
        r, k = len(a), len(a[0])
        cells = ",".join(str(a[i][j]) for j in range(k) for i in range(r))
        self.lines += [f"Array a[{r},{k}]:", f"[a] := [({cells})]:"]
        if sparse:
            self.lines.append("Sparse[a]:")

    def show(self, text):
        self.lines.append(f"{text};")
        return len(self.lines) - 1


def matrix(block, r, k, sparse):
    """A whole array as printed: dense [[row by row]], or sparse [[i, [j,
    x], ...] ...] (the rows and entries left out are zero)."""
    text = "".join(block.replace("`", "").split())
    text = text[:text.rindex("]") + 1]
    out = [[0] * k for _ in range(r)]
    if not sparse:
        cells = [int(c) for c in text.strip("[]").split(",")]
        if len(cells) != r * k:
            raise RuntimeError(f"{len(cells)} cells for a {r} x {k} matrix")
        return [cells[i * k:(i + 1) * k] for i in range(r)]
    for row in re.finditer(r"\[(-?\d+),((?:\[-?\d+,-?\d+\],?)*)\]", text):
        for c, x in re.findall(r"\[(-?\d+),(-?\d+)\]", row.group(2)):
            out[int(row.group(1)) - 1][int(c) - 1] = int(x)
    return out


def unimodular(rng, n, steps):
    """A random unimodular matrix: a permutation and column additions with
    small multipliers."""
    perm = list(range(n))
    rng.shuffle(perm)
    m = [[int(perm[i] == j) for j in range(n)] for i in range(n)]
    for _ in range(steps):
        i, j = rng.sample(range(n), 2)
        c = rng.choice((-2, -1, 1, 2))
        for t in range(n):
            m[t][i] += c * m[t][j]
    return m


def chained(rng, n, chain):
    # Enough steps that the entries reach some ten digits and the first
    # column form is far from diagonal.
    d = [[chain[i] if i == j else 0 for j in range(n)] for i in range(n)]
    return mul(mul(unimodular(rng, n, 6 * n), d), unimodular(rng, n, 6 * n))


def reference(binary, a, sparse, form):
    """The form without transforms, in a session of its own: it takes
    another road, whose time is no concern here."""
    sc = Whole()
    sc.load(a, sparse)
    sc.lines.append(f"{form}([a]):")
    at = sc.show("[a]")
    return matrix(session(binary, sc.lines, 60)[at], len(a), len(a[0]), sparse)


def smith_case(binary, a, limit, sparse=False, chain=None):
    r, k = len(a), len(a[0])
    sc = Whole()
    sc.load(a, sparse)
    rank_at = sc.show("Smith([a], [p], [q], [s], [t])")
    shown = [sc.show(f"[{w}]") for w in "apqst"]
    blocks = session(binary, sc.lines, limit)
    plain = reference(binary, a, sparse, "Smith")
    sm, p, q, s, t = (matrix(blocks[at], *dims, sparse) for at, dims in zip(
        shown, ((r, k), (r, r), (k, k), (r, r), (k, k))))
    d, rank = det_rank(a)
    problems = []
    if number(blocks[rank_at]) != rank:
        problems.append("the value is not the rank")
    if mul(mul(p, a), q) != sm:
        problems.append("t0 A0 t1 != S")
    if mul(p, s) != ident(r) or mul(q, t) != ident(k):
        problems.append("t2, t3 are not the inverses of t0, t1")
    diag = [sm[i][i] for i in range(min(r, k))]
    if any(sm[i][j] for i in range(r) for j in range(k) if i != j) or any(x < 0 for x in diag):
        problems.append("S not diagonal and non-negative")
    if any(x == 0 and y != 0 or x and y % x for x, y in zip(diag, diag[1:])):
        problems.append("divisibility chain broken")
    if plain != sm:
        problems.append("S differs from the form without transforms")
    if d:
        prod = 1
        for x in diag:
            prod *= x
        if prod != d:
            problems.append("the product of S's entries is not |det A0|")
    if chain is not None and diag != chain:
        problems.append("S is not the chain the matrix was built from")
    return problems


def hermite_case(binary, a, limit, sparse=False):
    r, k = len(a), len(a[0])
    sc = Whole()
    sc.load(a, sparse)
    rank_at = sc.show("Hermite([a], [p], [q], [s], [t])")
    shown = [sc.show(f"[{w}]") for w in "aqt"]
    blocks = session(binary, sc.lines, limit)
    plain = reference(binary, a, sparse, "Hermite")
    h, q, t = (matrix(blocks[at], *dims, sparse) for at, dims in zip(shown, ((r, k), (k, k), (k, k))))
    _, rank = det_rank(a)
    problems = []
    if number(blocks[rank_at]) != rank:
        problems.append("the value is not the rank")
    shape = hermite_shape(h, rank)
    if shape:
        problems.append(shape)
    if mul(a, q) != h:
        problems.append("H != A0 t1")
    if mul(q, t) != ident(k):
        problems.append("t1 t3 != I")
    if plain != h:
        problems.append("H differs from the form without transforms")
    return problems


def awkward(rng, r, k):
    """Small matrices that a rank profile taken modulo a word prime could
    misread: a row equal to another but for a multiple of the prime, every
    entry a multiple of it; and a zero row and column, rank one."""
    prime = 2**31 - 1
    a = random_matrix(rng, r, k, 9)
    a[3] = a[1][:]
    a[3][0] += prime
    yield "a row dependent modulo 2^31 - 1 alone", a
    yield "every entry a multiple of 2^31 - 1", [[prime * x for x in row] for row in random_matrix(rng, r, k, 9)]
    b = random_matrix(rng, r, k, 9)
    b[0] = [0] * k
    for row in b:
        row[2] = 0
    yield "a zero row and column", b
    base = [rng.randint(-9, 9) or 1 for _ in range(k)]
    yield "rank one", [[m * x for x in base] for m in [rng.randint(-3, 3) for _ in range(r)]]


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 60)
    LIMIT_SCALE[0] = int(argv[3]) if len(argv) > 3 else 1
    chain = [1] * 70 + [2] * 10 + [6] * 8 + [12] * 6 + [60] * 4 + [0] * 2
    cases = [
        ("Smith, dense 120x120", lambda: smith_case(binary, random_matrix(rng, 120, 120, 9), 8)),
        ("Smith, dense 100x100 built from a chain", lambda: smith_case(
            binary, chained(rng, 100, chain), 8, chain=chain)),
        ("Smith, dense 90x130", lambda: smith_case(binary, random_matrix(rng, 90, 130, 9), 8)),
        ("Smith, dense 150x100", lambda: smith_case(binary, random_matrix(rng, 150, 100, 9), 4)),
        ("Smith, dense 110x110 of rank 90", lambda: smith_case(binary, random_matrix(rng, 110, 110, 9, 90), 6)),
        ("Smith, sparse 110x110", lambda: smith_case(binary, random_matrix(rng, 110, 110, 9), 6, True)),
        ("Hermite, dense 100x100 of 2-digit entries", lambda: hermite_case(
            binary, random_matrix(rng, 100, 100, 99), 8)),
        ("Hermite, dense 80x110 of rank 70", lambda: hermite_case(binary, random_matrix(rng, 80, 110, 99, 70), 6)),
        ("Hermite, sparse 100x100", lambda: hermite_case(binary, random_matrix(rng, 100, 100, 99), 6, True)),
    ]
    for r, k in ((14, 14), (14, 20), (20, 14)):
        for kind, a in awkward(rng, r, k):
            cases.append((f"Smith, {r}x{k}, {kind}", lambda a=a: smith_case(binary, a, 10)))
            cases.append((f"Hermite, {r}x{k}, {kind}", lambda a=a: hermite_case(binary, a, 10)))
    failed = 0
    for what, run in cases:
        try:
            problems = run()
        except OverTime as e:
            problems = [f"no answer within {e.args[0]} s of processor time"]
        except Exception as e:  # noqa: BLE001
            problems = [f"{type(e).__name__}: {e}"]
        if problems:
            failed += 1
            print(f"{what}: {'; '.join(problems)}")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
