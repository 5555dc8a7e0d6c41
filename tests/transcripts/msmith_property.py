#!/usr/bin/env python3
"""MSmith([a], m, [t0], [t1], [t2], [t3]) of random, singular, zero and
rank-deficient integer matrices, dense and sparse, for moduli of every
kind (multiples of the determinant, small ones, the invariants themselves,
large ones): either the answer holds modulo m,

  t0 A t1 = S, t0 t2 = I, t1 t3 = I (mod m), S diagonal with gcd(d_i, m)
  at position i (d_i the invariants, sympy's), the value the rank,

or, exactly when a non-zero invariant vanishes modulo an m that is no
multiple of their product, the command is refused (error 288) and the
matrix is left as it was.

  msmith_property.py TARVEX [COUNT] [SEED]
"""
import math
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from array_reference import run_lines  # noqa: E402
from normal_forms_differential import Script, grab, ident, mul, number, random_matrix  # noqa: E402
import sympy  # noqa: E402
from sympy.matrices.normalforms import smith_normal_form  # noqa: E402
from sympy.polys.domains import ZZ  # noqa: E402


def invariants(a):
    r, k = len(a), len(a[0])
    ref = smith_normal_form(sympy.Matrix(a), domain=ZZ)
    d = [abs(int(ref[i, i])) for i in range(min(r, k))]
    return sorted((x for x in d if x), key=abs) + [0] * d.count(0)


def moduli(rng, inv):
    nonzero = [d for d in inv if d]
    prod = math.prod(nonzero)
    out = [rng.randrange(2, 60), rng.randrange(2, 10**12)]
    if nonzero:
        out += [rng.choice(nonzero), prod * rng.randrange(1, 4), rng.choice(nonzero) * rng.randrange(1, 5) + 1]
    return rng.sample(out, 2)


def congruent(a, b, m):
    return all((x - y) % m == 0 for ra, rb in zip(a, b) for x, y in zip(ra, rb))


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 40
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 5)
    sc = Script()
    cases = []
    kinds = ("small", "deficient", "zero", "nounit", "small", "deficient")
    for c in range(count):
        kind = kinds[c % len(kinds)]
        r, k = rng.randrange(1, 5), rng.randrange(1, 5)
        if c % 3 == 0:
            k = r
        a = random_matrix(rng, kind, r, k)
        sparse = c % 2 == 1
        inv = invariants(a)
        for m in moduli(rng, inv):
            nm, t = f"a{len(cases)}", [f"t{j}x{len(cases)}" for j in range(4)]
            if sparse:
                sc.lines.append(f"Array {nm}[{r},{k}] Sparse:")
                sc.lines += [f"{nm}[{i + 1},{j + 1}] := {a[i][j]}:" for i in range(r) for j in range(k) if a[i][j]]
            else:
                sc.load(nm, a)
            sc.lines.append("v := -1:")
            case = {"a": a, "m": m, "inv": inv, "sparse": sparse,
                    "call": sc.call(f"MSmith([{nm}], {m}, [{t[0]}], [{t[1]}], [{t[2]}], [{t[3]}])")}
            case["S"] = sc.read(nm, r, k)
            case["t"] = [sc.read(t[0], r, r), sc.read(t[1], k, k), sc.read(t[2], r, r), sc.read(t[3], k, k)]
            cases.append(case)
    with tempfile.TemporaryDirectory() as cwd:
        blocks = run_lines(binary, cwd, sc.lines)
    failed = refused = 0
    for n, case in enumerate(cases):
        a, m, inv = case["a"], case["m"], case["inv"]
        r, k = len(a), len(a[0])
        nonzero = [d for d in inv if d]
        refuse = any(d % m == 0 for d in nonzero) and m % math.prod(nonzero) != 0
        problems = []
        try:
            if refuse:
                refused += 1
                if "Unusable modulus." not in blocks[case["call"] - 1] or number(blocks[case["call"]]) != -1:
                    problems.append("not refused")
                if grab(blocks, case["S"]) != a:
                    problems.append("refused, but the matrix changed")
            else:
                if number(blocks[case["call"]]) != len(nonzero):
                    problems.append(f"value {blocks[case['call']].strip()} is not the rank {len(nonzero)}")
                s = grab(blocks, case["S"])
                want = [[math.gcd(inv[i], m) if i == j else 0 for j in range(k)] for i in range(r)]
                if s != want:
                    problems.append(f"S = {s}, want {want}")
                t0, t1, t2, t3 = (grab(blocks, w) for w in case["t"])
                if not congruent(mul(mul(t0, a), t1), s, m):
                    problems.append("t0 A t1 != S (mod m)")
                if not congruent(mul(t0, t2), ident(r), m) or not congruent(mul(t1, t3), ident(k), m):
                    problems.append("t2, t3 are not the inverses of t0, t1 modulo m")
        except Exception as e:  # noqa: BLE001
            problems.append(f"unreadable output ({e})")
        if problems:
            failed += 1
            if failed <= 10:
                kind = "sparse" if case["sparse"] else "dense"
                print(f"case {n} ({kind} {r}x{k}, m = {m}, invariants {inv}): {'; '.join(problems)}; a = {a}")
    print(f"{len(cases) - failed} passed, {failed} failed ({refused} refusals wanted)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
