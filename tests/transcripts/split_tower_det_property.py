#!/usr/bin/env python3
"""Determinants over field levels that the prime splits only partly, whose
copies are fields GF(p^2): t^2 - 2 under s^2 - 3 modulo 7 and under s^2 - 5
modulo 23 (t = r for each root r, s over GF(p)[s]/(s^2 - c)), and t^3 - 2 =
(t - 16)(t^2 - 7t + 3) modulo 23. Zero-heavy matrices, dense and sparse,
Det by default and fraction-free (&(K = 1)), Adjoint, and with a free x
outside the levels Chpoly: each answer is taken in each copy and compared
with the determinant (cofactor, det(A - vI) at n + 1 points v) computed
there. "Division by zero." is allowed and counted; a wrong value is not.

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


def mul(u, w, p, zz):
    top = u[1] * w[1]
    return ((u[0] * w[0] + zz[1] * top) % p, (u[0] * w[1] + u[1] * w[0] + zz[0] * top) % p)


@functools.lru_cache(maxsize=None)
def terms(e):
    return sympy.Poly(parse_expr(e, transformations=READ, local_dict={"t": t, "s": s, "x": x}), t, s, x).terms()


def at(e, p, copy, v=0):
    """The element e(t, s, x) (text) in the copy at x = v."""
    zz, tv, sv = copy
    out = (0, 0)
    for (i, j, k), a in terms(e):
        term = (int(a) * pow(v, k, p), 0)
        for f in [tv] * i + [sv] * j:
            term = mul(term, f, p, zz)
        out = ((out[0] + term[0]) % p, (out[1] + term[1]) % p)
    return out


def det(m, p, zz):
    """By the permutations: no division, so no zero divisor to meet."""
    n, total = len(m), (0, 0)
    for perm in itertools.permutations(range(n)):
        term = (p - 1 if sum(perm[i] > perm[j] for i in range(n) for j in range(i + 1, n)) % 2 else 1, 0)
        for i, j in enumerate(perm):
            term = mul(term, m[i][j], p, zz)
        total = ((total[0] + term[0]) % p, (total[1] + term[1]) % p)
    return total


def session(p, relations, cases, with_x):
    lines = [f"&(p = {p});"] + [f"&(J = {r[0]});\n&(P = {r}, 1);" for r in relations] + ["&(J = x);"] * with_x
    for k, m in enumerate(cases):
        n = len(m)
        lines += [f"Array a{k}[{n},{n}], b{k}[{n},{n}] Sparse, j{k}[{n},{n}];",
                  f"[a{k}] := [({', '.join(m[i][j] for j in range(n) for i in range(n))})]:", f"[b{k}] := [a{k}]:"]
        lines += [f"&(K = {ff});\n!!('det {k} dense{ff}', Det[a{k}]);\n!!('det {k} sparse{ff}', Det[b{k}]);"
                  for ff in (0, 1)]
        lines += ["&(K = 0);", f"[j{k}] := Adjoint[a{k}]:"]
        lines += [f"!!('adj {k} {i}.{j}', j{k}[{i + 1},{j + 1}]);" for i in range(n) for j in range(n)]
        lines += [f"!!('chp {k} {kind}', Chpoly([{a}{k}]));" for kind, a in (("dense", "a"), ("sparse", "b"))] * with_x
    return "\n".join(lines) + "\n&q;\n"


def main():
    binary = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    results, refused = [], 0
    for (p, relations, copies, pool, known), with_x in itertools.product(RINGS, (False, True)):
        cases = [[[c.split(", ")[j * n + i] for j in range(n)] for i in range(n)]
                 for c in known for n in [round(len(c.split(", ")) ** 0.5)]]
        for n in (rng.randint(3, 5) for _ in range(count)):
            cases.append([[rng.choice(pool) if rng.random() < 0.55 else "0" for _ in range(n)] for _ in range(n)])
        out = subprocess.run([binary], input=session(p, relations, cases, with_x), capture_output=True, text=True,
                             timeout=300).stdout
        answers = {}
        for ln in out.replace(" `\n", " ").splitlines():   # long values go on over lines ending in `
            w = ln.lstrip(">").split(" ", 3)
            if w[0] in ("det", "adj", "chp") and len(w) == 4:
                answers[tuple(w[:3])] = w[3]
        results.append(f"p={p}: a fatal line" if "Tarvex error" in out else None)
        for k, m in enumerate(cases):
            n = len(m)
            images = [[[at(e, p, cp) for e in row] for row in m] for cp in copies]
            # (key, points x = v, the determinants wanted there in copy c)
            wanted = [(("det", str(k), f"{kind}{ff}"), [0], lambda c: [det(images[c], p, copies[c][0])])
                      for kind in ("dense", "sparse") for ff in (0, 1)]
            if not re.search(rf"Adjoint\[a{k}\](?!\d)", out):   # refused
                wanted += [(("adj", str(k), f"{i}.{j}"), [0], lambda c, i=i, j=j: [tuple((-1) ** (i + j) * v % p for v in det(
                    [[images[c][a][b] for b in range(n) if b != i] for a in range(n) if a != j], p, copies[c][0]))])
                    for i in range(n) for j in range(n)]
            wanted += [(("chp", str(k), kind), range(n + 1), lambda c: [det(
                [[((e[0] - v * (a == b)) % p, e[1]) for b, e in enumerate(row)] for a, row in enumerate(images[c])],
                p, copies[c][0]) for v in range(n + 1)]) for kind in ("dense", "sparse")] * with_x
            for key, points, want in wanted:
                if key not in answers:
                    refused += 1
                    continue
                bad = [c for c, cp in enumerate(copies) if [at(answers[key], p, cp, v) for v in points] != want(c)]
                results.append(f"p={p} {' '.join(key)} {m}: {answers[key]}, wrong in copies {bad}" if bad else None)
    print(f"{refused} answers refused")
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
