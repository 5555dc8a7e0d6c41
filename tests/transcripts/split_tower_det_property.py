#!/usr/bin/env python3
"""Determinants over field levels that the prime splits only partly, whose
copies are fields GF(p^2): modulo 7, t^2 - 2 = (t - 3)(t - 4) under
s^2 - 3 irreducible; modulo 23, t^2 - 2 = (t - 5)(t - 18) under s^2 - 5
irreducible (two copies: t = r, s over GF(p)[s]/(s^2 - c)); and modulo 23
one level, t^3 - 2 = (t - 16)(t^2 - 7t + 3) (t = 16, or t in the field of
the quadratic). Zero-heavy matrices whose entries vanish in one copy or
none, dense and sparse, Det by default and fraction-free (&(K = 1)),
Adjoint, and with a free x outside the levels Chpoly too: each answer is
taken in each copy and compared with the determinant (cofactor,
det(A - vI) at n + 1 points v) of the matrix in that copy, computed here.
"Division by zero." is allowed and counted; a wrong value is not.

  split_tower_det_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import functools
import itertools
import random
import re
import subprocess
import sys

import sympy
from sympy.parsing.sympy_parser import (convert_xor, implicit_multiplication_application, parse_expr,
                                        split_symbols, standard_transformations)

from case_report import report

t, s, x = sympy.symbols("t s x")
READ = standard_transformations + (split_symbols, implicit_multiplication_application, convert_xor)

# (p, relations, copies, entries, matrices (cells column by column) whose
# fraction-free determinant once came out 0). A copy is GF(p)[z]/(z^2 - az
# - b), given by (a, b), with the values of t and s there (pairs c0 + c1 z).
RINGS = [(7, ["t^2 - 2", "s^2 - 3"], [((0, 3), (3, 0), (0, 1)), ((0, 3), (4, 0), (0, 1))],
          ["t - 3", "t - 4", "2*t + 1", "s + t - 3", "s + t - 4", "(t - 3)*s", "(t - 4)*s", "s - 4", "s - 5"],
          ["t - 3, 0, t - 4, 0, t - 4, 0, t - 4, 0, 0", "2*t + 1, 0, s + t - 3, t - 4, 0, 0, 0, s - 4, 2*t + 1",
           "2*t + 1, s - 4, s - 4, s + t - 3, 0, s + t - 3, t - 4, t - 4, t - 4, t - 4, 0, 0, t - 4, 0, "
           "2*t + 1, (t - 3)*s"]),
         (23, ["t^2 - 2", "s^2 - 5"], [((0, 5), (5, 0), (0, 1)), ((0, 5), (18, 0), (0, 1))],
          ["t - 5", "t - 18", "2*t + 1", "s + t - 5", "s + t - 18", "(t - 5)*s", "(t - 18)*s", "s - 18", "s - 3"],
          ["(t - 5)*s, t - 18, 2*t + 1, 0, 2*t + 1, s - 18, t - 5, t - 18, 0"]),
         (23, ["t^3 - 2"], [((0, 0), (16, 0), (0, 0)), ((7, -3), (0, 1), (0, 0))],
          ["t - 16", "t^2 - 7*t + 3", "(t - 16)*t", "2*t + 1", "t^2 + 5", "t + 3"], [])]


def columns(cells):
    v = cells.split(", ")
    n = round(len(v) ** 0.5)
    return [[v[j * n + i] for j in range(n)] for i in range(n)]


def mul(u, w, p, zz):
    """u w in GF(p)[z]/(z^2 - a z - b), zz = (a, b)."""
    top = u[1] * w[1]
    return ((u[0] * w[0] + zz[1] * top) % p, (u[0] * w[1] + u[1] * w[0] + zz[0] * top) % p)


def power(u, k, p, zz):
    out = (1, 0)
    for _ in range(k):
        out = mul(out, u, p, zz)
    return out


@functools.lru_cache(maxsize=None)
def terms(e):
    return sympy.Poly(parse_expr(e, transformations=READ, local_dict={"t": t, "s": s, "x": x}), t, s, x).terms()


def at(e, p, copy, v=0):
    """The element e(t, s, x) (text) in the copy at x = v."""
    zz, tv, sv = copy
    out = (0, 0)
    for (i, j, k), a in terms(e):
        term = mul(power(tv, i, p, zz), power(sv, j, p, zz), p, zz)
        c = int(a) * pow(v, k, p)
        out = ((out[0] + c * term[0]) % p, (out[1] + c * term[1]) % p)
    return out


def det(m, p, zz):
    """By the permutations: no division, so no zero divisor to meet."""
    n, total = len(m), (0, 0)
    for perm in itertools.permutations(range(n)):
        odd = sum(perm[i] > perm[j] for i in range(n) for j in range(i + 1, n)) % 2
        term = (p - 1 if odd else 1, 0)
        for i, j in enumerate(perm):
            term = mul(term, m[i][j], p, zz)
        total = ((total[0] + term[0]) % p, (total[1] + term[1]) % p)
    return total


def cofactor(m, i, j, p, zz):
    minor = [[m[a][b] for b in range(len(m)) if b != j] for a in range(len(m)) if a != i]
    d = det(minor, p, zz) if minor else (1, 0)
    return d if (i + j) % 2 == 0 else ((-d[0]) % p, (-d[1]) % p)


def session(p, relations, cases, with_x):
    """With x a free variable outside the levels (the eliminations read
    polynomials over it), and Chpoly, det(A - xI), too."""
    lines = [f"&(p = {p});"]
    for rel in relations:
        lines += [f"&(J = {rel[0]});", f"&(P = {rel}, 1);"]
    lines += ["&(J = x);"] if with_x else []
    for k, m in enumerate(cases):
        n = len(m)
        cells = ", ".join(m[i][j] for j in range(n) for i in range(n))   # column by column
        lines += [f"Array a{k}[{n},{n}], b{k}[{n},{n}] Sparse, j{k}[{n},{n}];",
                  f"[a{k}] := [({cells})]:", f"[b{k}] := [a{k}]:"]
        for ff in (0, 1):
            lines += [f"&(K = {ff});", f"!!('det {k} dense{ff}', Det[a{k}]);", f"!!('det {k} sparse{ff}', Det[b{k}]);"]
        lines += ["&(K = 0);", f"[j{k}] := Adjoint[a{k}]:"]
        lines += [f"!!('adj {k} {i}.{j}', j{k}[{i + 1},{j + 1}]);" for i in range(n) for j in range(n)]
        if with_x:
            lines += [f"!!('chp {k} dense', Chpoly([a{k}]));", f"!!('chp {k} sparse', Chpoly([b{k}]));"]
    return "\n".join(lines) + "\n&q;\n"


def main():
    binary = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    results, refused = [], 0
    for (p, relations, copies, pool, known), with_x in itertools.product(RINGS, (False, True)):
        cases = [columns(k) for k in known]
        for _ in range(count):
            n = rng.randint(3, 5)
            cases.append([[rng.choice(pool) if rng.random() < 0.55 else "0" for _ in range(n)] for _ in range(n)])
        out = subprocess.run([binary], input=session(p, relations, cases, with_x), capture_output=True, text=True,
                             timeout=300).stdout
        answers = {}
        for ln in out.replace(" `\n", " ").splitlines():   # long values go on over lines ending in `
            w = ln.lstrip(">").split(" ", 3)
            if w[0] in ("det", "adj", "chp") and len(w) == 4:
                answers[tuple(w[:3])] = w[3]
        if "Tarvex error" in out:
            results.append(f"p={p}: a fatal line")
        for k, m in enumerate(cases):
            n = len(m)
            images = [[[at(e, p, cp) for e in row] for row in m] for cp in copies]
            wanted = {("det", str(k), f"{kind}{ff}"): lambda c: det(images[c], p, copies[c][0])
                      for kind in ("dense", "sparse") for ff in (0, 1)}
            adjoint = not re.search(rf"Adjoint\[a{k}\](?!\d)", out)   # not refused
            wanted.update({("adj", str(k), f"{i}.{j}"): (lambda c, i=i, j=j: cofactor(images[c], j, i, p, copies[c][0]))
                           for i in range(n) for j in range(n)})
            # det(A - vI) at n + 1 points v: the polynomials of degree n agree.
            for kind in ("dense", "sparse") if with_x else ():
                wanted[("chp", str(k), kind)] = lambda c: [
                    det([[((e[0] - v * (i == j)) % p, e[1]) for j, e in enumerate(row)]
                         for i, row in enumerate(images[c])], p, copies[c][0]) for v in range(n + 1)]
            for key, want in wanted.items():
                if key not in answers or (key[0] == "adj" and not adjoint):
                    refused += 1
                    continue
                got, chp = answers[key], key[0] == "chp"
                bad = [c for c, cp in enumerate(copies)
                       if [at(got, p, cp, v) for v in range(n + 1 if chp else 1)] != (want(c) if chp else [want(c)])]
                results.append(f"p={p} {' '.join(key)} {m}: {got}, wrong in copies {bad}" if bad else None)
    if refused:
        print(f"{refused} answers refused")
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
