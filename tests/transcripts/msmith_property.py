#!/usr/bin/env python3
"""MSmith([a], m, [t0], [t1], [t2], [t3]) of random, singular, zero and
rank-deficient integer matrices, dense and sparse, for moduli of every
kind (multiples of the determinant, small ones, the invariants themselves,
large ones): either the answer holds modulo m,

  t0 A t1 = S, t0 t2 = I, t1 t3 = I (mod m), S diagonal with gcd(d_i, m)
  at position i (d_i the invariants, sympy's), the value the rank,

or, exactly when a non-zero invariant vanishes modulo an m that is no
multiple of their product, the command is refused (error 288) and the
matrix is left as it was. Without transforms Smith([a]) and MSmith([a])
give the invariants and MSmith([a], m) the same S, dense and sparse.

A large case without transforms, each form a session under a limit of
processor time: A a 150 x 149 matrix of entries 0..9 times a 149 x 150 one
of entries 0..99 (once 20 s for Smith([a]) and 30 to 60 s for the forms of
the sparse A, against about a second with transforms). Its Smith form
S is taken with transforms and proved by them, at random vectors: S is a
non-negative diagonal chain, t0 A t1 = S, and t2, t3 are integral inverses
of t0, t1, so both are unimodular. Smith([a]) must then give S, and
MSmith([a], m) of A made sparse gcd(S, m) (m at the zero position).

  msmith_property.py TARVEX [COUNT] [SEED] [LIMIT_SCALE]
"""
import math
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from array_reference import run_lines  # noqa: E402
from normal_forms_differential import Script, grab, ident, mul, number, random_matrix  # noqa: E402
from normal_forms_sizes import LIMIT_SCALE, Literal, OverTime, session  # noqa: E402
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


def times(m, v):
    return [sum(x * y for x, y in zip(row, v) if x) for row in m]


def large_case(binary, rng, limit):
    """The problems of the large case (see the head of this file)."""
    n, r = 150, 149
    left = [[rng.randint(0, 9) for _ in range(r)] for _ in range(n)]
    right = [[rng.randint(0, 99) for _ in range(n)] for _ in range(r)]
    a = mul(left, right)
    m = 2**3 * 3**3 * 5**2 * 7 * 13
    sc = Literal()
    sc.load("a", a)
    kept = sc.call("Smith([a], [t0], [t1], [t2], [t3])")
    where = [sc.read("a", n, n)] + [sc.read(f"t{j}", n, n) for j in range(4)]
    plain, tried = Literal(), Literal()
    plain.load("a", a)
    call = plain.call("Smith([a])")
    got = plain.read("a", n, n)
    tried.load_sparse("a", a)
    mcall = tried.call(f"MSmith([a], {m})")
    mgot = tried.read("a", n, n)
    problems = []
    try:
        # The transforms' road is the one to beat: it has room to spare.
        blocks = session(binary, sc.lines, 5)
        s, t0, t1, t2, t3 = (grab(blocks, w) for w in where)
        for _ in range(2):
            v = [rng.getrandbits(64) - 2**63 for _ in range(n)]
            if times(t0, times(a, times(t1, v))) != times(s, v):
                problems.append("t0 A t1 != S")
            if times(t0, times(t2, v)) != v or times(t1, times(t3, v)) != v:
                problems.append("t2, t3 are not the inverses of t0, t1")
        d = [s[i][i] for i in range(n)]
        if any(s[i][j] for i in range(n) for j in range(n) if i != j) or any(x < 0 for x in d):
            problems.append("S is not a non-negative diagonal")
        if any(d[i + 1] % d[i] if d[i] else d[i + 1] for i in range(n - 1)) or d.count(0) != n - r:
            problems.append(f"S's diagonal is no chain of rank {r}")
        if problems or number(blocks[kept]) != r:
            return problems + [f"with transforms: value {blocks[kept].strip()}"]
        blocks = session(binary, plain.lines, limit)
        if number(blocks[call]) != r or grab(blocks, got) != s:
            problems.append("Smith([a]) is not S")
        blocks = session(binary, tried.lines, 1.5 * limit)
        nonzero = d[:r]
        if any(x % m == 0 for x in nonzero) and m % math.prod(nonzero):
            if "Unusable modulus." not in blocks[mcall - 1] or grab(blocks, mgot) != a:
                problems.append("MSmith([a], m) of the sparse A is not refused")
        elif number(blocks[mcall]) != r or grab(blocks, mgot) != [[math.gcd(d[i], m) if i == j else 0
                                                                   for j in range(n)] for i in range(n)]:
            problems.append("MSmith([a], m) of the sparse A is not S modulo m")
    except OverTime as e:
        problems.append(f"over {e} s of processor time")
    return problems


def congruent(a, b, m):
    return all((x - y) % m == 0 for ra, rb in zip(a, b) for x, y in zip(ra, rb))


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 40
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 5)
    LIMIT_SCALE[0] = int(argv[4]) if len(argv) > 4 else 1
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
        def load(nm):
            if sparse:
                sc.lines.append(f"Array {nm}[{r},{k}] Sparse:")
                sc.lines += [f"{nm}[{i + 1},{j + 1}] := {a[i][j]}:" for i in range(r) for j in range(k) if a[i][j]]
            else:
                sc.load(nm, a)
            sc.lines.append("v := -1:")

        for first, m in zip((True, False), moduli(rng, inv)):
            nm, t = f"a{len(cases)}", [f"t{j}x{len(cases)}" for j in range(4)]
            load(nm)
            case = {"a": a, "m": m, "inv": inv, "sparse": sparse,
                    "call": sc.call(f"MSmith([{nm}], {m}, [{t[0]}], [{t[1]}], [{t[2]}], [{t[3]}])")}
            case["S"] = sc.read(nm, r, k)
            case["t"] = [sc.read(t[0], r, r), sc.read(t[1], k, k), sc.read(t[2], r, r), sc.read(t[3], k, k)]
            # Without transforms: the same S (m None: the invariants).
            plain = [(f"MSmith([%s], {m})", m)] + ([("Smith([%s])", None), ("MSmith([%s])", None)] if first else [])
            case["plain"] = []
            for p, (form, pm) in enumerate(plain):
                load(f"{nm}p{p}")
                case["plain"].append((form, pm, sc.call(form % f"{nm}p{p}"), sc.read(f"{nm}p{p}", r, k)))
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
            for form, pm, call, where in case["plain"]:
                want = [[(inv[i] if pm is None else math.gcd(inv[i], m)) if i == j else 0 for j in range(k)]
                        for i in range(r)]
                if pm is not None and refuse:
                    if "Unusable modulus." not in blocks[call - 1] or number(blocks[call]) != -1:
                        problems.append(f"{form % 'a'}: not refused")
                    if grab(blocks, where) != a:
                        problems.append(f"{form % 'a'}: refused, but the matrix changed")
                elif number(blocks[call]) != len(nonzero) or grab(blocks, where) != want:
                    problems.append(f"{form % 'a'}: value {blocks[call].strip()}, S = {grab(blocks, where)}")
        except Exception as e:  # noqa: BLE001
            problems.append(f"unreadable output ({e})")
        if problems:
            failed += 1
            if failed <= 10:
                kind = "sparse" if case["sparse"] else "dense"
                print(f"case {n} ({kind} {r}x{k}, m = {m}, invariants {inv}): {'; '.join(problems)}; a = {a}")
    print(f"{len(cases) - failed} passed, {failed} failed ({refused} refusals wanted)")
    problems = large_case(binary, rng, 3.5)
    print(f"Smith and MSmith without transforms of 150x150 of rank 149: {'; '.join(problems) or 'passed'}")
    failed += 1 if problems else 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
