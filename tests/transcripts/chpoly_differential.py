#!/usr/bin/env python3
"""Chpoly of random integer matrices by its three methods, checked against
each other and against values found here independently.

For every n in 1 .. 45 one dense matrix A and a sparse copy S: the dense
call (interpolation from n = 4, the table of basis polynomials up to 40,
computed ones above), the Leverrier-Faddeev recurrence on S and the
determinant of S - xI must give one polynomial p. Its constant term is
det A (fraction-free elimination here), its leading coefficient (-1)^n and
the next one -(-1)^n trace A; p#[A] is the zero matrix; for n <= 12 p is
sympy's det(A - xI). A and S are unchanged afterwards.

Modulo the primes 7 and 11 with switch B off, at n = p + 1 (interpolation
allowed) and n = p + 2 (not), the dense call must agree with sympy modulo
p and with the determinant of S - xI.

  chpoly_differential.py TARVEX [FIRST_N LAST_N] [SEED]

The sizes may be split over several runs; the modular cases go with the
run that starts at 1.
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

MARK = 987654321


def bareiss_det(m):
    """det of an integer matrix by fraction-free elimination."""
    a = [row[:] for row in m]
    n = len(a)
    sign, prev = 1, 1
    for k in range(n - 1):
        if a[k][k] == 0:
            swap = next((i for i in range(k + 1, n) if a[i][k]), None)
            if swap is None:
                return 0
            a[k], a[swap] = a[swap], a[k]
            sign = -sign
        for i in range(k + 1, n):
            for j in range(k + 1, n):
                a[i][j] = (a[i][j] * a[k][k] - a[i][k] * a[k][j]) // prev
        prev = a[k][k]
    return sign * a[n - 1][n - 1]


def random_matrix(rng, n, spread):
    """Entries in -spread .. spread, about a third of them 0 (two thirds
    above n = 24, where the determinant of S - xI by minors gets slow)."""
    fill = 0.67 if n <= 24 else 0.3
    return [[rng.randrange(-spread, spread + 1) if rng.random() < fill else 0 for _ in range(n)]
            for _ in range(n)]


def declare(idx, m):
    n = len(m)
    text = f"Array a{idx}[{n},{n}], k{idx}[{n},{n}], s{idx}[{n},{n}] Sparse, t{idx}[{n},{n}] Sparse;\n"
    for i in range(n):
        text += "".join(f"a{idx}[{i + 1},{j + 1}] := {m[i][j]}: " for j in range(n)) + "\n"
        text += "".join(f"s{idx}[{i + 1},{j + 1}] := {m[i][j]}: " for j in range(n) if m[i][j]) + "\n"
    return text + f"[k{idx}] := [a{idx}]:\n[t{idx}] := [s{idx}]:\n"


def run(binary, prologue, statements, prime=None):
    script = prologue + "x^77;\n"
    for s in statements:
        script += f"{MARK};\n{s};\n"
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=600).stdout.decode()
    out = out.split("x^77", 1)[-1]
    shown = MARK
    if prime:
        # Residues are shown as symmetric representatives.
        shown %= prime
        if shown > prime // 2:
            shown -= prime
    pieces = re.split(rf"\n *{shown}\n", out)[1:]
    cleaned = []
    for p in pieces:
        lines = [ln for ln in p.split("\n") if ln.strip() not in ("", ">") and not ln.startswith(" bye")]
        cleaned.append("\n".join(ln.lstrip(">").strip() for ln in lines))
    return cleaned


def poly_of(text, p=None):
    dom = {"modulus": p} if p else {}
    return sympy.Poly(qd.read_back(text.strip()), X, **dom)


def check_integers(binary, first, last, rng):
    cases = {n: random_matrix(rng, n, 9) for n in range(first, last + 1)}
    prologue = "&(J = x);\n" + "".join(declare(n, m) for n, m in cases.items())
    statements = []
    for n in cases:
        statements += [f"c := Chpoly([a{n}])", f"c - Chpoly([s{n}], 1)", f"c - Chpoly([s{n}])",
                       f"[z] := (c)#[a{n}]: Iszero[z]", f"[d] := [a{n}] - [k{n}]: Iszero[d]",
                       f"[e] := [s{n}] - [t{n}]: Iszero[e]"]
    pieces = run(binary, prologue, statements)
    failures = []
    if len(pieces) != len(statements):
        return [f"{len(pieces)} results for {len(statements)} statements"]
    for idx, n in enumerate(cases):
        got = pieces[6 * idx:6 * idx + 6]
        m = cases[n]
        if got[1:] != ["0", "0", "1", "1", "1"]:
            failures.append(f"n={n}: methods, p#[A] or A unchanged: {got[1:]}")
            continue
        try:
            p = poly_of(got[0])
        except Exception as e:  # noqa: BLE001
            failures.append(f"n={n}: unreadable {got[0]!r} ({e})")
            continue
        c = p.all_coeffs()
        s = (-1) ** n
        trace = sum(m[i][i] for i in range(n))
        if p.degree() != n or c[0] != s or (n > 1 and c[1] != -s * trace) or p.eval(0) != bareiss_det(m):
            failures.append(f"n={n}: coefficients {c[:2]}..{c[-1]}")
        if n <= 12:
            want = sympy.Poly(s * sympy.Matrix(m).charpoly(X).as_expr(), X)
            if (p - want).is_zero is False:
                failures.append(f"n={n}: {p.as_expr()} but sympy {want.as_expr()}")
    return failures


def check_modular(binary, rng):
    failures = []
    for prime in (7, 11):
        cases = {n: random_matrix(rng, n, prime // 2) for n in (prime + 1, prime + 2)}
        prologue = "&(J = x);\n" + "".join(declare(n, m) for n, m in cases.items())
        prologue += f"&(B = 0);\n&(p = {prime});\n"
        statements = []
        for n in cases:
            statements += [f"c := Chpoly([a{n}])", f"c - Chpoly([s{n}])", f"[d] := [a{n}] - [k{n}]: Iszero[d]"]
        pieces = run(binary, prologue, statements, prime)
        if len(pieces) != len(statements):
            failures.append(f"p={prime}: {len(pieces)} results for {len(statements)} statements")
            continue
        for idx, n in enumerate(cases):
            got = pieces[3 * idx:3 * idx + 3]
            if got[1:] != ["0", "1"]:
                failures.append(f"p={prime} n={n}: {got[1:]}")
                continue
            sign = (-1) ** n
            want = sympy.Poly(sign * sympy.Matrix(cases[n]).charpoly(X).as_expr(), X, modulus=prime)
            if (poly_of(got[0], prime) - want).is_zero is False:
                failures.append(f"p={prime} n={n}: {got[0]} but {want.as_expr()}")
    return failures


def main(argv):
    binary = os.path.abspath(argv[1])
    first, last = (int(argv[2]), int(argv[3])) if len(argv) > 3 else (1, 45)
    rng = random.Random((int(argv[4]) if len(argv) > 4 else 31) + first)
    failures = check_integers(binary, first, last, rng)
    if first == 1:
        failures += check_modular(binary, rng)
    for f in failures[:15]:
        print(f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
