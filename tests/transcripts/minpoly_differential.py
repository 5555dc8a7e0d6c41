#!/usr/bin/env python3
"""Minpoly of random sparse matrices against the true minimal polynomial,
found here independently: sympy's characteristic polynomial with each
irreducible factor divided out while the quotient still annihilates the
matrix. Over the integers and modulo the primes 101 and 65,521.

Every answer must be exactly the minimal polynomial: generic matrices,
block-diagonal copies, repeated eigenvalues in disguise, and the shapes a
projection on a few rows is blind to, whose minimal polynomial is known by
construction (companion matrices, also with constant term 0; diagonal
matrices whose odd value sits at each row position in turn; Jordan blocks;
the zero matrix), n = 8 .. 60.

  minpoly_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import X, sympy  # noqa: E402

MARK = "987654321"


def generic(rng, n, big):
    """Every entry non-zero: a sparser matrix may have a row or column whose
    eigenvalue no projection on a few rows sees."""
    cells = {}
    for i in range(n):
        for j in range(n):
            v = rng.choice([v for v in range(-9, 10) if v])
            if big and rng.random() < 0.1:
                v *= 98765432101
            cells[(i, j)] = v
    return cells


def blocks(rng, n):
    """Copies of one random block on the diagonal (n a multiple of 4)."""
    b = [[rng.randrange(-5, 6) for _ in range(4)] for _ in range(4)]
    cells = {}
    for c in range(n // 4):
        for i in range(4):
            for j in range(4):
                if b[i][j]:
                    cells[(4 * c + i, 4 * c + j)] = b[i][j]
    return cells


def repeated_eigenvalues(rng, n):
    """P·D·P^-1 for a diagonal D with three values and a unimodular P: the
    minimal polynomial has degree 3 and every row sees all three values."""
    values = [rng.randrange(-4, 5) or 7 for _ in range(3)]
    d = sympy.diag(*[values[i % 3] for i in range(n)])
    lower = sympy.eye(n)
    upper = sympy.eye(n)
    for i in range(n):
        for j in range(i):
            lower[i, j] = rng.randrange(-1, 2)
            upper[j, i] = rng.randrange(-1, 2)
    p = lower * upper
    m = p * d * p.inv()
    return {(i, j): int(m[i, j]) for i in range(n) for j in range(n) if m[i, j] != 0}


def poly_of(coeffs_high_first):
    return sympy.Poly(sum(int(c) * X**i for i, c in enumerate(reversed(coeffs_high_first))), X)


def companion(rng, n):
    """x^n - c_(n-1) x^(n-1) - .. - c_0 with c_0 = 0 half the time."""
    c = [rng.randrange(-9, 10) for _ in range(n)]
    if rng.random() < 0.5:
        c[0] = 0
    cells = {(i + 1, i): 1 for i in range(n - 1)}
    for i in range(n):
        if c[i]:
            cells[(i, n - 1)] = c[i]
    return cells, poly_of([1] + [-v for v in reversed(c)])


def odd_diagonal(rng, n, pos):
    """One value on every diagonal cell but pos, another there."""
    u, v = rng.sample([-3, -1, 0, 2, 5], 2)
    cells = {(i, i): (v if i == pos else u) for i in range(n) if (v if i == pos else u)}
    return cells, sympy.Poly((X - u) * (X - v), X)


def jordan(rng, n):
    """Jordan blocks of random sizes on two or three eigenvalues, in a
    random order along the diagonal."""
    values = rng.sample(range(-4, 5), rng.choice([2, 3]))
    blocks, left = [], n
    while left:
        size = min(left, rng.randrange(1, 6))
        blocks.append((rng.choice(values), size))
        left -= size
    rng.shuffle(blocks)
    cells, at, want = {}, 0, 1
    for lam in values:
        sizes = [s for v, s in blocks if v == lam]
        if sizes:
            want *= (X - lam) ** max(sizes)
    for lam, size in blocks:
        for i in range(size):
            if lam:
                cells[(at + i, at + i)] = lam
            if i + 1 < size:
                cells[(at + i, at + i + 1)] = 1
        at += size
    return cells, sympy.Poly(want, X)


def structured_cases(rng, count):
    cases = [("zero", 8, {}, sympy.Poly(X, X)), ("zero", 13, {}, sympy.Poly(X, X))]
    for pos in range(8):
        cells, want = odd_diagonal(rng, 8, pos)
        cases.append(("odd diagonal", 8, cells, want))
    for _ in range(count):
        n = rng.randrange(8, 61)
        kind = rng.randrange(3)
        if kind == 0:
            cells, want = companion(rng, n)
            cases.append(("companion", n, cells, want))
        elif kind == 1:
            cells, want = odd_diagonal(rng, n, rng.randrange(n))
            cases.append(("odd diagonal", n, cells, want))
        else:
            cells, want = jordan(rng, n)
            cases.append(("jordan", n, cells, want))
    return cases


def mat_mul(a, b, p):
    n = len(a)
    out = [[0] * n for _ in range(n)]
    for i in range(n):
        for k in range(n):
            if a[i][k]:
                aik = a[i][k]
                row = b[k]
                o = out[i]
                for j in range(n):
                    o[j] += aik * row[j]
        if p:
            out[i] = [v % p for v in out[i]]
    return out


def annihilates(coeffs, a, p):
    """coeffs highest first; Horner on matrices."""
    n = len(a)
    m = [[0] * n for _ in range(n)]
    for c in coeffs:
        m = mat_mul(m, a, p)
        for i in range(n):
            m[i][i] += c
        if p:
            m = [[v % p for v in row] for row in m]
    return all(v == 0 for row in m for v in row)


def true_minpoly(a, p):
    n = len(a)
    ms = sympy.Matrix(a)
    cp = ms.charpoly(X).as_expr()
    dom = {"modulus": p} if p else {}
    m = sympy.Poly(cp, X, **dom)
    for f, e in sympy.factor_list(m)[1]:
        for _ in range(e):
            q, r = sympy.div(m, f)
            if r.is_zero and annihilates([int(c) for c in q.all_coeffs()], a, p):
                m = q
            else:
                break
    return m


def run(binary, cases, p, ks):
    script = "&(J = x);\n"
    if p:
        script += f"&(p = {p});\n"
    for idx, (_, n, cells, _) in enumerate(cases):
        script += f"Array a{idx}[{n},{n}] Sparse;\n"
        for (i, j), v in sorted(cells.items()):
            script += f"a{idx}[{i + 1},{j + 1}] := {v};\n"
    # Entries echoed by the assignments may look like the mark: results are
    # read only after this line.
    script += "x^77;\n"
    statements = []
    for idx in range(len(cases)):
        for k in ks:
            script += f"{MARK};\nMinpoly([a{idx}], {k});\n"
            statements.append((idx, k))
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    shown = int(MARK)
    if p:
        # Residues are shown as symmetric representatives.
        shown %= p
        if shown > p // 2:
            shown -= p
    out = out.split("x^77", 1)[-1]
    pieces = re.split(rf"\n *{shown}\n", out)[1:]
    return statements, pieces


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 30
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 11)
    failed = total = 0
    for p in (None, 101, 65521):
        cases = []
        for c in range(count):
            shape = c % 3
            if shape == 0:
                n = rng.randrange(8, 15)
                cases.append(("generic", n, generic(rng, n, p is None), None))
            elif shape == 1:
                n = rng.choice([8, 12, 16])
                cases.append(("blocks", n, blocks(rng, n), None))
            else:
                n = rng.randrange(8, 13)
                cases.append(("eigenvalues", n, repeated_eigenvalues(rng, n), None))
        cases += structured_cases(rng, count)
        statements, pieces = run(binary, cases, p, (1, 3))
        if len(pieces) != len(statements):
            print(f"p={p}: only {len(pieces)} results for {len(statements)} statements")
            failed += 1
            continue
        for (idx, k), piece in zip(statements, pieces):
            total += 1
            shape, n, cells, want = cases[idx]
            dom = {"modulus": p} if p else {}
            if want is None:
                a = [[0] * n for _ in range(n)]
                for (i, j), v in cells.items():
                    a[i][j] = v % p if p else v
                want = true_minpoly(a, p)
            else:
                want = sympy.Poly(want.as_expr(), X, **dom)
            block = piece.split("\n>")[1] if "\n>" in piece else piece
            problem = None
            try:
                got_expr = qd.read_back(block.strip("\n"))
                got = sympy.Poly(got_expr, X, **dom)
            except Exception as e:  # noqa: BLE001
                problem = f"unreadable ({e}) {block!r}"
            if not problem and not sympy.Poly(got.as_expr() - want.as_expr(), X, **dom).is_zero:
                problem = f"wrong: {got_expr}"
            if problem:
                failed += 1
                if failed <= 10:
                    print(f"p={p} case {idx} ({shape}, n={n}, k={k}): {problem}; want {want.as_expr()}")
    print(f"{total - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
