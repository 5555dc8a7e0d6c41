#!/usr/bin/env python3
"""Hermite, Smith and MSmith of random sparse integer matrices (entries in
[-10, 10] or up to 30 digits, thinly filled, rank-deficient, zero, with
and without units; fewer, as many or more rows than columns), run through
the interpreter beside the dense forms of the same matrix:

  the sparse form equals the dense one entry by entry, with the same value;
  Hermite: H = A0 t1 with the sparse t1, t0 = t2 = I, t1 t3 = I, the shape
  rules; Smith: t0 A0 t1 = S, t0 t2 = I, t1 t3 = I, det t0, det t1 = +-1,
  the divisibility chain, d1 ... dk the gcd of the k x k minors (small
  cases), S equal to sympy's form; Smith without transforms, MSmith
  without m and with m = |det|, 2|det|, 6|det| give the same S, and with
  m = 2|det| its transforms give a matrix diagonal modulo m whose entries
  have the gcds with m that S holds.

  sparse_normal_forms_differential.py TARVEX [COUNT] [SEED]
"""
import math
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.set_int_max_str_digits(0)
from array_reference import run_lines  # noqa: E402
from normal_forms_differential import (  # noqa: E402
    Script, det, grab, hermite_shape, ident, minors_gcd, mul, random_matrix, value)
import sympy  # noqa: E402
from sympy.matrices.normalforms import smith_normal_form  # noqa: E402
from sympy.polys.domains import ZZ  # noqa: E402


class SparseScript(Script):
    def load_sparse(self, nm, a):
        r, k = len(a), len(a[0])
        self.lines.append(f"Array {nm}[{r},{k}] Sparse:")
        for i in range(r):
            for j in range(k):
                if a[i][j]:
                    self.lines.append(f"{nm}[{i + 1},{j + 1}] := {a[i][j]}:")


def thin(rng, a):
    return [[v if rng.random() < 0.3 else 0 for v in row] for row in a]


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 30
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 71)
    sc = SparseScript()
    cases = []
    kinds = ("small", "big", "deficient", "zero", "nounit", "thin", "small")
    for c in range(count):
        kind = kinds[c % len(kinds)]
        r, k = rng.randrange(1, 8), rng.randrange(1, 8)
        if c % 4 == 0:
            k = r
        a = random_matrix(rng, "small" if kind == "thin" else kind, r, k)
        if kind == "thin":
            a = thin(rng, a)
        case = {"a": a, "kind": kind, "n": c}
        nm = f"s{c}"
        for form in ("Hermite", "Smith"):
            sc.load(nm + "d", a)
            case[form + "dv"] = sc.call(f"{form}([{nm}d])")
            case[form + "d"] = sc.read(nm + "d", r, k)
            sc.load_sparse(nm, a)
            case[form + "v"] = sc.call(f"{form}([{nm}], [p], [q], [s], [t])")
            case[form] = sc.read(nm, r, k)
            case[form + "t"] = [sc.read("p", r, r), sc.read("q", k, k), sc.read("s", r, r), sc.read("t", k, k)]
        sc.load_sparse(nm, a)
        case["pv"] = sc.call(f"Smith([{nm}])")
        case["plain"] = sc.read(nm, r, k)
        sc.load_sparse(nm, a)
        case["mv"] = sc.call(f"MSmith([{nm}])")
        case["msmith"] = sc.read(nm, r, k)
        d = abs(det(a)) if r == k else 0
        case["mods"] = []
        if d:
            for f in (1, 2, 6):
                sc.load_sparse(nm, a)
                case["mods"].append((f * d, sc.call(f"MSmith([{nm}], {f * d})"), sc.read(nm, r, k)))
            sc.load_sparse(nm, a)
            sc.call(f"MSmith([{nm}], {2 * d}, [p], [q])")
            case["modt"] = (2 * d, sc.read("p", r, r), sc.read("q", k, k))
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
            for form in ("Hermite", "Smith"):
                if grab(blocks, case[form]) != grab(blocks, case[form + "d"]):
                    problems.append(f"sparse {form} differs from the dense one")
                if value(blocks, case[form + "v"]) != rank or value(blocks, case[form + "dv"]) != rank:
                    problems.append(f"{form}'s value is not the rank")
            h = grab(blocks, case["Hermite"])
            p, q, s, t = (grab(blocks, w) for w in case["Hermitet"])
            if mul(a, q) != h:
                problems.append("H != A0 t1")
            if p != ident(r) or s != ident(r):
                problems.append("Hermite's t0, t2 are not I")
            if abs(det(q)) != 1 or mul(q, t) != ident(k):
                problems.append("Hermite's t1 not unimodular or t3 not its inverse")
            shape = hermite_shape(h, rank)
            if shape:
                problems.append(shape)
            sm = grab(blocks, case["Smith"])
            p, q, s, t = (grab(blocks, w) for w in case["Smitht"])
            if mul(mul(p, a), q) != sm:
                problems.append("t0 A0 t1 != S")
            if mul(p, s) != ident(r) or mul(q, t) != ident(k) or abs(det(p)) != 1 or abs(det(q)) != 1:
                problems.append("Smith's transforms are not unimodular inverses")
            diag = [sm[i][i] for i in range(min(r, k))]
            if any(sm[i][j] for i in range(r) for j in range(k) if i != j) or any(x < 0 for x in diag):
                problems.append("S not diagonal and non-negative")
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
            if "modt" in case:
                # The transforms hold modulo m before the last step, which
                # takes each diagonal entry to its gcd with m.
                m, pw, qw = case["modt"]
                u = mul(mul(grab(blocks, pw), a), grab(blocks, qw))
                if any(u[i][j] % m for i in range(r) for j in range(k) if i != j) or \
                        [math.gcd(u[i][i], m) for i in range(r)] != diag:
                    problems.append(f"MSmith's transforms do not hold modulo {m}")
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
