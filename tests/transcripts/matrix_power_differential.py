#!/usr/bin/env python3
"""Adjoints, matrix powers and polynomials at matrices against sympy, cell
by cell: Adjoint of integer (small, 20-digit, singular) and polynomial
matrices against sympy's adjugate; [a]^e (negative e too) and Altpower
against sympy's powers; MPowermod by a number (the cell must be congruent
to sympy's power and below the modulus) and by a monic polynomial in x
(the remainder of sympy's power); p#[a] against Horner's rule done here.

  matrix_power_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from array_reference import run_lines  # noqa: E402
from quoly_differential import X, sympy  # noqa: E402


def entry(rng, kind):
    if kind == "poly" and rng.random() < 0.6:
        c = [rng.randrange(-3, 4) for _ in range(3)]
        text = f"({c[0]})*x^2 + ({c[1]})*x + ({c[2]})"
        return text, c[0] * X**2 + c[1] * X + c[2]
    v = rng.randrange(-9, 10)
    if kind == "big":
        v = rng.randrange(-10**20, 10**20)
    return str(v), sympy.Integer(v)


def matrix(rng, kind, n):
    texts = [[None] * n for _ in range(n)]
    m = sympy.zeros(n, n)
    for i in range(n):
        for j in range(n):
            texts[i][j], m[i, j] = entry(rng, kind)
    if kind == "singular" and n > 1:
        r, s = rng.sample(range(n), 2)
        for j in range(n):
            texts[s][j] = f"2*({texts[r][j]})"
            m[s, j] = 2 * m[r, j]
    return texts, m


def horner(coeffs, a):
    """coeffs from the highest degree down."""
    n = a.shape[0]
    r = sympy.zeros(n, n)
    for c in coeffs:
        r = r * a + c * sympy.eye(n)
    return r


def poly_power_mod(a, e, m):
    r = sympy.eye(a.shape[0])
    for bit in bin(e)[2:]:
        r = (r * r).applyfunc(lambda t: sympy.rem(sympy.expand(t), m, X))
        if bit == "1":
            r = (r * a).applyfunc(lambda t: sympy.rem(sympy.expand(t), m, X))
    return r


def int_power_mod(a, e, m):
    n = a.shape[0]
    r = [[int(i == j) for j in range(n)] for i in range(n)]
    b = [[int(a[i, j]) % m for j in range(n)] for i in range(n)]

    def mul(u, v):
        return [[sum(u[i][k] * v[k][j] for k in range(n)) % m for j in range(n)] for i in range(n)]
    while e:
        if e & 1:
            r = mul(r, b)
        b = mul(b, b)
        e >>= 1
    return r


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 40
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 31)
    lines = ["&(J = x);"]
    checks = []   # (line index, check kind, expected, what)

    def read_cells(name, n, want, how, what):
        for i in range(n):
            for j in range(n):
                lines.append(f"{name}[{i + 1},{j + 1}];")
                checks.append((len(lines) - 1, how, want(i, j), f"{what} cell {i + 1},{j + 1}"))

    for k in range(count):
        kind = ("small", "big", "singular", "poly")[k % 4]
        n = rng.randrange(1, 7 if kind != "poly" else 5)
        texts, a = matrix(rng, kind, n)
        lines.append(f"Array a{k}[{n},{n}]:")
        for i in range(n):
            for j in range(n):
                lines.append(f"a{k}[{i + 1},{j + 1}] := {texts[i][j]}:")
        adj = a.adjugate(method="berkowitz")
        lines.append(f"[b] := Adjoint[a{k}]:")
        read_cells("b", n, lambda i, j: adj[i, j], "exact", f"Adjoint a{k} {kind}")
        det = sympy.expand(a.det(method="berkowitz"))
        low = -2 if det != 0 and kind != "poly" else 0
        e = rng.randrange(low, 6)
        want = a**e if e >= 0 else (a.inv(method="ADJ"))**(-e)
        lines.append(f"[c] := [a{k}]^({e}):")
        read_cells("c", n, lambda i, j: want[i, j], "exact", f"a{k}^{e} {kind}")
        if e >= 0:
            lines.append(f"[c] := Altpower([a{k}], {e}):")
            read_cells("c", n, lambda i, j: want[i, j], "exact", f"Altpower a{k} {e} {kind}")
        coeffs = [rng.randrange(-4, 5) for _ in range(rng.randrange(1, 6))]
        ptext = " + ".join(f"({c})*x^{len(coeffs) - 1 - d}" for d, c in enumerate(coeffs))
        if kind != "poly":
            pa = horner(coeffs, a)
            lines.append(f"[d] := ({ptext})#[a{k}]:")
            read_cells("d", n, lambda i, j: pa[i, j], "exact", f"({ptext})#[a{k}]")
            big = rng.randrange(2**40, 2**90)
            mod = rng.randrange(2, 10**6)
            pm = int_power_mod(a, big, mod)
            lines.append(f"[f] := MPowermod([a{k}], {big}, {mod}):")
            read_cells("f", n, lambda i, j: (pm[i][j], mod), "congruent", f"MPowermod a{k} {big} {mod}")
        else:
            m = X**3 + rng.randrange(-3, 4) * X + rng.randrange(-3, 4)
            big = rng.randrange(2, 40)   # over the integers the coefficients grow with it
            pm = poly_power_mod(a, big, m)
            lines.append(f"[f] := MPowermod([a{k}], {big}, {sympy.sstr(m).replace('**', '^')}):")
            read_cells("f", n, lambda i, j: pm[i, j], "exact", f"MPowermod a{k} {big} {m}")
    with tempfile.TemporaryDirectory() as cwd:
        blocks = run_lines(binary, cwd, lines)
    failed = 0
    for index, how, want, what in checks:
        shown = blocks[index].strip("\n")
        problem = None
        if "***" in shown:
            problem = "error reported"
        else:
            try:
                got = qd.read_back(shown)
                if how == "exact":
                    if sympy.expand(got - want) != 0:
                        problem = f"wrong value, want {sympy.expand(want)}"
                else:
                    value, mod = want
                    if not got.is_integer or (int(got) - value) % mod or abs(int(got)) >= mod:
                        problem = f"not {value} modulo {mod}"
            except Exception as e:  # noqa: BLE001
                problem = f"unreadable ({e})"
        if problem:
            failed += 1
            if failed <= 10:
                print(f"{what}: {problem}; got {shown!r}")
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
