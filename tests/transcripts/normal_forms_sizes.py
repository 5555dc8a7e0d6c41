#!/usr/bin/env python3
"""Smith forms with transforms and Hermite forms of medium-sized random
integer matrices, each case a session of its own under a limit of processor time (the
forms once took minutes there), checked by properties that do not depend
on how the forms were reached:

  Smith with all four transforms (dense and sparse; square full-rank,
  rank-deficient, wide and tall): t0 A0 t1 = S and t0 t2 = I, t1 t3 = I
  over the integers (so both transforms are unimodular), S diagonal,
  non-negative, each entry dividing the next, the value the rank, S equal
  to the form without transforms (the road modulo the pseudo-determinant)
  and, for small cases, to sympy's; the product of S's entries |det A0|
  for square full-rank cases.
  Hermite (with transforms: H = A0 t1, t1 t3 = I; without, on 80 x 80 to
  120 x 120 and 90 x 110 matrices of 3-digit entries: H^-1 A0 integral by
  exact forward substitution, det H = |det A0| or, for the wide one, the
  gcd of three of its maximal minors, so H spans A0's lattice):
  lower triangular column form, positive pivots, entries left of a pivot
  in [0, pivot), zero columns after the rank.

  normal_forms_sizes.py TARVEX [SEED]
"""
import math
import os
import random
import resource
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.set_int_max_str_digits(0)
from normal_forms_differential import grab, hermite_shape, ident, mul, value  # noqa: E402
from sparse_normal_forms_differential import SparseScript  # noqa: E402
from cpu_limited import run_held  # noqa: E402
import sympy  # noqa: E402
from sympy.matrices.normalforms import smith_normal_form  # noqa: E402
from sympy.polys.domains import ZZ  # noqa: E402


def det_rank(a):
    """|det| (0 unless square and full rank) and the rank, by fraction-free
    elimination."""
    m = [row[:] for row in a]
    r, k = len(m), len(m[0])
    rank, prev, sign = 0, 1, 1
    for c in range(k):
        p = next((i for i in range(rank, r) if m[i][c]), None)
        if p is None:
            continue
        m[rank], m[p] = m[p], m[rank]
        for i in range(rank + 1, r):
            for j in range(c + 1, k):
                m[i][j] = (m[rank][c] * m[i][j] - m[i][c] * m[rank][j]) // prev
            m[i][c] = 0
        prev = m[rank][c]
        rank += 1
    full = r == k == rank
    return (abs(prev) if full else 0), rank


class OverTime(Exception):
    pass


# Multiplies every case's limit: the sanitizer build runs many times slower.
LIMIT_SCALE = [1]


def session(binary, lines, limit):
    """The outputs of one session whose processor time is held to limit
    seconds (a busy machine stretches wall time, not this)."""
    limit *= LIMIT_SCALE[0]

    with tempfile.TemporaryDirectory() as cwd:
        proc = run_held(binary, ("\n".join(lines) + "\n").encode(), limit, cwd=cwd)
    if os.environ.get("NORMAL_FORMS_TIMES"):
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        print(f"  session: {used.ru_utime + used.ru_stime:.2f} s of processor time so far")
    if proc is None:
        raise OverTime(limit)
    blocks = proc.stdout.decode("utf-8", "replace").split("\n>")[1:]
    if len(blocks) < len(lines):
        raise RuntimeError(f"{len(blocks)} outputs for {len(lines)} statements")
    return blocks


class Literal(SparseScript):
    def load(self, nm, a):
        # One statement for the whole matrix (cells column by column):
        # per-cell statements would cost more than the forms.
        cells = ",".join(str(a[i][j]) for j in range(len(a[0])) for i in range(len(a)))
        self.lines.append(f"Array {nm}[{len(a)},{len(a[0])}]:")
        self.lines.append(f"[{nm}] := [({cells})]:")


def smith_case(binary, a, sparse, limit):
    r, k = len(a), len(a[0])
    sc = Literal()
    load = sc.load_sparse if sparse else sc.load
    load("a", a)
    sv = sc.call("Smith([a], [p], [q], [s], [t])")
    got = sc.read("a", r, k)
    ts = [sc.read("p", r, r), sc.read("q", k, k), sc.read("s", r, r), sc.read("t", k, k)]
    load("a", a)
    sc.call("Smith([a])")
    plain = sc.read("a", r, k)
    blocks = session(binary, sc.lines, limit)
    d, rank = det_rank(a)
    sm = grab(blocks, got)
    p, q, s, t = (grab(blocks, w) for w in ts)
    problems = []
    if value(blocks, sv) != rank:
        problems.append("the value is not the rank")
    if mul(mul(p, a), q) != sm:
        problems.append("t0 A0 t1 != S")
    if mul(p, s) != ident(r) or mul(q, t) != ident(k):
        problems.append("the transforms are not unimodular with t2, t3 their inverses")
    diag = [sm[i][i] for i in range(min(r, k))]
    if any(sm[i][j] for i in range(r) for j in range(k) if i != j) or any(x < 0 for x in diag):
        problems.append("S not diagonal and non-negative")
    if any(x == 0 and y != 0 or x and y % x for x, y in zip(diag, diag[1:])):
        problems.append("divisibility chain broken")
    if grab(blocks, plain) != sm:
        problems.append("S differs from the form without transforms")
    if d:
        prod = 1
        for x in diag:
            prod *= x
        if prod != d:
            problems.append("the product of S's entries is not |det A0|")
    if max(r, k) <= 8:
        ref = smith_normal_form(sympy.Matrix(a), domain=ZZ)
        if sorted(diag) != sorted(abs(int(ref[i, i])) for i in range(min(r, k))):
            problems.append("S differs from sympy's")
    return problems


def loaded(a, sparse):
    sc = Literal()
    sc.load("a", a)
    if sparse:
        sc.lines.append("Sparse[a]:")
    return sc


def hermite_case(binary, a, limit, sparse=False):
    r, k = len(a), len(a[0])
    sc = loaded(a, sparse)
    hv = sc.call("Hermite([a])")
    got = sc.read("a", r, k)
    blocks = session(binary, sc.lines, limit)
    d, rank = det_rank(a)
    h = grab(blocks, got)
    problems = []
    if value(blocks, hv) != rank:
        problems.append("the value is not the rank")
    shape = hermite_shape(h, rank)
    if shape:
        problems.append(shape)
    if rank == r and not shape:
        prod = 1
        for i in range(r):
            prod *= h[i][i]
        if d and prod != d:
            problems.append("det H != |det A0|")
        if r < k:
            # The lattice's determinant divides every r x r minor; for
            # random columns a few minors' gcd is it.
            g = 0
            for cols in (range(r), range(k - r, k), sorted(random.Random(r * k).sample(range(k), r))):
                g = math.gcd(g, det_rank([[a[i][j] for j in cols] for i in range(r)])[0])
            if prod != g:
                problems.append("det H is not the gcd of A0's minors")
        # H x = a column by column: integral solutions put A0's columns in
        # H's lattice, and the equal determinants make the lattices equal.
        for j in range(k):
            x = []
            for i in range(r):
                v = a[i][j] - sum(h[i][c] * x[c] for c in range(i))
                if v % h[i][i]:
                    problems.append(f"column {j + 1} of A0 not in H's lattice")
                    break
                x.append(v // h[i][i])
            else:
                continue
            break
    return problems


def hermite_transform_case(binary, a, limit, sparse=False):
    r, k = len(a), len(a[0])
    sc = loaded(a, sparse)
    hv = sc.call("Hermite([a], [p], [q], [s], [t])")
    got = sc.read("a", r, k)
    ts = [sc.read("q", k, k), sc.read("t", k, k)]
    blocks = session(binary, sc.lines, limit)
    _, rank = det_rank(a)
    h = grab(blocks, got)
    q, t = (grab(blocks, w) for w in ts)
    problems = []
    if value(blocks, hv) != rank:
        problems.append("the value is not the rank")
    shape = hermite_shape(h, rank)
    if shape:
        problems.append(shape)
    if mul(a, q) != h:
        problems.append("H != A0 t1")
    if mul(q, t) != ident(k):
        problems.append("t1 t3 != I")
    return problems


def random_matrix(rng, r, k, span, rank=None):
    a = [[rng.randint(-span, span) for _ in range(k)] for _ in range(r)]
    if rank is not None:
        # Rows past the rank are small combinations of the first ones.
        for i in range(rank, r):
            cs = [rng.randint(-2, 2) for _ in range(rank)]
            a[i] = [sum(c * a[t][j] for t, c in enumerate(cs)) for j in range(k)]
    return a


def run_cases(cases):
    """Runs each (what, run) case, run giving its list of problems; prints
    the failures and a tally, and returns the exit status."""
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


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 60)
    LIMIT_SCALE[0] = int(argv[3]) if len(argv) > 3 else 1
    cases = []
    for n in (35, 40):
        cases.append((f"Smith with transforms, dense {n}x{n}", lambda n=n: smith_case(
            binary, random_matrix(rng, n, n, 9), False, 3)))
    cases.append(("Smith with transforms, sparse 35x35", lambda: smith_case(
        binary, random_matrix(rng, 35, 35, 9), True, 3)))
    cases.append(("Smith with transforms, dense 30x30 of rank 24", lambda: smith_case(
        binary, random_matrix(rng, 30, 30, 9, 24), False, 10)))
    cases.append(("Smith with transforms, sparse 28x24 of rank 20", lambda: smith_case(
        binary, random_matrix(rng, 28, 24, 9, 20), True, 10)))
    cases.append(("Smith with transforms, dense 22x30", lambda: smith_case(
        binary, random_matrix(rng, 22, 30, 9), False, 10)))
    cases.append(("Smith with transforms, dense 30x22", lambda: smith_case(
        binary, random_matrix(rng, 30, 22, 9), False, 10)))
    for r, k, rank in ((6, 6, None), (7, 5, None), (5, 8, None), (7, 7, 4), (6, 8, 3)):
        for sparse in (False, True):
            cases.append((f"Smith with transforms, {'sparse' if sparse else 'dense'} {r}x{k} (rank {rank or 'full'})",
                          lambda r=r, k=k, rank=rank, sparse=sparse: smith_case(
                              binary, random_matrix(rng, r, k, 6, rank), sparse, 10)))
    cases.append(("Hermite, dense 80x80 of 3-digit entries", lambda: hermite_case(
        binary, random_matrix(rng, 80, 80, 999), 1)))
    cases.append(("Hermite, dense 100x100 of 3-digit entries", lambda: hermite_case(
        binary, random_matrix(rng, 100, 100, 999), 3)))
    # These two outgrow the exact steps and finish modulo the lattice's
    # determinant.
    cases.append(("Hermite, dense 120x120 of 3-digit entries", lambda: hermite_case(
        binary, random_matrix(rng, 120, 120, 999), 10)))
    cases.append(("Hermite, sparse 90x110 of 3-digit entries", lambda: hermite_case(
        binary, random_matrix(rng, 90, 110, 999), 5, True)))
    cases.append(("Hermite, sparse 80x80 of 3-digit entries", lambda: hermite_case(
        binary, random_matrix(rng, 80, 80, 999), 1, True)))
    cases.append(("Hermite with transforms, sparse 20x20 of rank 15", lambda: hermite_transform_case(
        binary, random_matrix(rng, 20, 20, 99, 15), 10, True)))
    cases.append(("Hermite with transforms, sparse 14x20", lambda: hermite_transform_case(
        binary, random_matrix(rng, 14, 20, 99), 10, True)))
    cases.append(("Hermite with transforms, sparse 20x14", lambda: hermite_transform_case(
        binary, random_matrix(rng, 20, 14, 99), 10, True)))
    cases.append(("Hermite with transforms, dense 30x30 of 3-digit entries", lambda: hermite_transform_case(
        binary, random_matrix(rng, 30, 30, 999), 10)))
    cases.append(("Hermite with transforms, dense 24x24 of rank 18", lambda: hermite_transform_case(
        binary, random_matrix(rng, 24, 24, 99, 18), 10)))
    cases.append(("Hermite with transforms, dense 18x26", lambda: hermite_transform_case(
        binary, random_matrix(rng, 18, 26, 99), 10)))
    cases.append(("Hermite with transforms, dense 26x18", lambda: hermite_transform_case(
        binary, random_matrix(rng, 26, 18, 99), 10)))
    return run_cases(cases)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
