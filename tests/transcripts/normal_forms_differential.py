#!/usr/bin/env python3
"""Hermite, Smith and MSmith of random dense integer matrices (entries in
[-10, 10] or up to 30 digits, rank-deficient, zero, with units; fewer,
as many or more rows than columns), checked by properties that do not
depend on how the forms were reached:

  Hermite: H = A0 t1, t0 = t2 = I, det t1 = +-1, t1 t3 = I, lower
  triangular column form with positive pivots, entries left of a pivot in
  [0, pivot), zero columns after the rank, the value the rank; the same H
  for A0 U with a random unimodular U.
  Smith: t0 A0 t1 = S, t0 t2 = I, t1 t3 = I, det t0, det t1 = +-1, S
  diagonal, non-negative, each entry dividing the next, d1 ... dk the gcd
  of all k x k minors, S equal to sympy's form; Smith without transforms
  and MSmith without m, with m = |det|, 2|det|, 6|det| the same S.

  normal_forms_differential.py TARVEX [COUNT] [SEED]
"""
import itertools
import math
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from array_reference import run_lines  # noqa: E402
import sympy  # noqa: E402
from sympy.matrices.normalforms import smith_normal_form  # noqa: E402
from sympy.polys.domains import ZZ  # noqa: E402


def random_matrix(rng, kind, r, k):
    if kind == "zero":
        return [[0] * k for _ in range(r)]
    span = 10**30 if kind == "big" else 10
    a = [[rng.randrange(-span, span + 1) for _ in range(k)] for _ in range(r)]
    if kind == "nounit":
        a = [[2 * v + (3 if v >= 0 else -3) for v in row] for row in a]
    if kind == "deficient" and r > 1:
        s, t = rng.sample(range(r), 2)
        c = rng.randrange(-3, 4)
        a[t] = [c * v for v in a[s]]
    return a


def mul(a, b):
    return [[sum(a[i][t] * b[t][j] for t in range(len(b))) for j in range(len(b[0]))] for i in range(len(a))]


def ident(n):
    return [[int(i == j) for j in range(n)] for i in range(n)]


def det(a):
    return int(sympy.Matrix(a).det()) if a else 1


def minors_gcd(a, k):
    g = 0
    r, c = len(a), len(a[0])
    for rows in itertools.combinations(range(r), k):
        for cols in itertools.combinations(range(c), k):
            g = math.gcd(g, det([[a[i][j] for j in cols] for i in rows]))
    return g


def random_unimodular(rng, n):
    u = ident(n)
    for _ in range(3 * n):
        i, j = rng.sample(range(n), 2) if n > 1 else (0, 0)
        if i == j:
            continue
        f = rng.randrange(-3, 4)
        for t in range(n):
            u[t][i] += f * u[t][j]
    return u


class Script:
    def __init__(self):
        self.lines = []
        self.reads = []      # (what, rows, cols, first line)

    def load(self, nm, a):
        r, k = len(a), len(a[0])
        self.lines.append(f"Array {nm}[{r},{k}]:")
        for i in range(r):
            for j in range(k):
                self.lines.append(f"{nm}[{i + 1},{j + 1}] := {a[i][j]}:")

    def call(self, text):
        self.lines.append(f"v := {text}:")
        self.lines.append("v;")
        return len(self.lines) - 1

    def read(self, nm, r, k):
        start = len(self.lines)
        for i in range(r):
            for j in range(k):
                self.lines.append(f"{nm}[{i + 1},{j + 1}];")
        return (start, r, k)


def grab(blocks, where):
    start, r, k = where
    out = [[0] * k for _ in range(r)]
    for i in range(r):
        for j in range(k):
            out[i][j] = number(blocks[start + i * k + j])
    return out


def number(text):
    # long numbers go on over lines ended by a backquote
    return int("".join(text.replace("`", " ").split()))


def value(blocks, line):
    return number(blocks[line])


def hermite_shape(h, rank):
    r, k = len(h), len(h[0])
    row = 0
    for j in range(k):
        col = [h[i][j] for i in range(r)]
        if j >= rank:
            if any(col):
                return f"column {j + 1} after the rank is not zero"
            continue
        while row < r and col[row] == 0:
            row += 1
        if row == r:
            return f"column {j + 1} before the rank is zero"
        if any(col[:row]):
            return f"column {j + 1} not lower triangular"
        p = h[row][j]
        if p <= 0:
            return f"pivot {p} not positive"
        for t in range(j):
            if not 0 <= h[row][t] < p:
                return f"entry {h[row][t]} left of pivot {p}"
        row += 1
    return None


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 40
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 53)
    sc = Script()
    cases = []
    kinds = ("small", "big", "deficient", "zero", "nounit", "small")
    for c in range(count):
        kind = kinds[c % len(kinds)]
        r, k = rng.randrange(1, 6), rng.randrange(1, 6)
        if c % 5 == 0:
            k = r
        a = random_matrix(rng, kind, r, k)
        case = {"a": a, "kind": kind, "n": c}
        nm = f"a{c}"
        sc.load(nm, a)
        case["hv"] = sc.call(f"Hermite([{nm}], [p], [q], [s], [t])")
        case["h"] = sc.read(nm, r, k)
        case["ht"] = [sc.read("p", r, r), sc.read("q", k, k), sc.read("s", r, r), sc.read("t", k, k)]
        u = random_unimodular(rng, k)
        sc.load(nm, mul(a, u))
        sc.call(f"Hermite([{nm}])")
        case["hu"] = sc.read(nm, r, k)
        sc.load(nm, a)
        case["sv"] = sc.call(f"Smith([{nm}], [p], [q], [s], [t])")
        case["s"] = sc.read(nm, r, k)
        case["st"] = [sc.read("p", r, r), sc.read("q", k, k), sc.read("s", r, r), sc.read("t", k, k)]
        sc.load(nm, a)
        case["pv"] = sc.call(f"Smith([{nm}])")
        case["plain"] = sc.read(nm, r, k)
        sc.load(nm, a)
        case["mv"] = sc.call(f"MSmith([{nm}])")
        case["msmith"] = sc.read(nm, r, k)
        d = abs(det(a)) if r == k else 0
        case["mods"] = []
        if d:
            for f in (1, 2, 6):
                sc.load(nm, a)
                case["mods"].append((f * d, sc.call(f"MSmith([{nm}], {f * d})"), sc.read(nm, r, k)))
        cases.append(case)
    with tempfile.TemporaryDirectory() as cwd:
        blocks = run_lines(binary, cwd, sc.lines)
    failed = 0
    for case in cases:
        a = case["a"]
        r, k = len(a), len(a[0])
        rank = sympy.Matrix(a).rank()
        what = f"case {case['n']} ({case['kind']}, {r}x{k})"
        problems = []
        try:
            h = grab(blocks, case["h"])
            p, q, s, t = (grab(blocks, w) for w in case["ht"])
            if value(blocks, case["hv"]) != rank:
                problems.append("Hermite's value is not the rank")
            if mul(a, q) != h:
                problems.append("H != A0 t1")
            if p != ident(r) or s != ident(r):
                problems.append("Hermite's t0, t2 are not I")
            if abs(det(q)) != 1 or mul(q, t) != ident(k):
                problems.append("Hermite's t1 not unimodular or t3 not its inverse")
            shape = hermite_shape(h, rank)
            if shape:
                problems.append(shape)
            if r == k and abs(det(h)) != abs(det(a)):
                problems.append("|det H| != |det A0|")
            if grab(blocks, case["hu"]) != h:
                problems.append("Hermite(A0 U) != Hermite(A0)")
            sm = grab(blocks, case["s"])
            p, q, s, t = (grab(blocks, w) for w in case["st"])
            if value(blocks, case["sv"]) != rank:
                problems.append("Smith's value is not the rank")
            if mul(mul(p, a), q) != sm:
                problems.append("t0 A0 t1 != S")
            if mul(p, s) != ident(r) or mul(q, t) != ident(k) or abs(det(p)) != 1 or abs(det(q)) != 1:
                problems.append("Smith's transforms are not unimodular inverses")
            diag = [sm[i][i] for i in range(min(r, k))]
            if any(sm[i][j] for i in range(r) for j in range(k) if i != j):
                problems.append("S not diagonal")
            if any(x < 0 for x in diag):
                problems.append("S has a negative entry")
            for i in range(len(diag) - 1):
                if diag[i] == 0 and diag[i + 1] != 0 or diag[i] and diag[i + 1] % diag[i]:
                    problems.append("divisibility chain broken")
            prod = 1
            for i in range(len(diag)):
                prod *= diag[i]
                if max(abs(x) for row in a for x in row) < 10**5 and max(r, k) <= 4 and prod != minors_gcd(a, i + 1):
                    problems.append(f"d1..d{i + 1} is not the gcd of the minors")
            ref = smith_normal_form(sympy.Matrix(a), domain=ZZ)
            refd = sorted(abs(int(ref[i, i])) for i in range(min(r, k)))
            if sorted(diag) != refd:
                problems.append(f"S differs from sympy's {refd}")
            if grab(blocks, case["plain"]) != sm or value(blocks, case["pv"]) != rank:
                problems.append("Smith without transforms differs")
            if grab(blocks, case["msmith"]) != sm or value(blocks, case["mv"]) != rank:
                problems.append("MSmith without m differs")
            for m, line, where in case["mods"]:
                if grab(blocks, where) != sm or value(blocks, line) != rank:
                    problems.append(f"MSmith with m = {m} differs")
        except Exception as e:  # noqa: BLE001
            problems.append(f"unreadable output ({e})")
        if problems:
            failed += 1
            if failed <= 10:
                print(f"{what}: {'; '.join(problems)}; a = {a}")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
