#!/usr/bin/env python3
"""Determinants over towers of field levels that the prime splits only
partly: modulo 7, t^2 - 2 = (t - 3)(t - 4) and s^2 - 3 irreducible;
modulo 23, t^2 - 2 = (t - 5)(t - 18) and s^2 - 5 irreducible. The ring is
then the product of two copies of GF(p^2), one for each root r of t^2 - 2
(t = r, s over Z/p[s]/(s^2 - c)). Zero-heavy matrices whose entries vanish
in one copy or none, dense and sparse, Det by default and fraction-free
(&(K = 1)), Adjoint, and with a free x outside the tower Chpoly too: each
answer is taken in each copy and compared with the determinant (cofactor,
det(A - vI) at n + 1 points v) of the matrix in that copy, computed here.
"Division by zero." is allowed and counted; a wrong value is not.

  split_tower_det_property.py TARVEX [SEED] [CASES_PER_TOWER]
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

# (p, c of s^2 - c, the roots of t^2 - 2, matrices (cells column by column)
# whose fraction-free determinant once came out 0)
TOWERS = [(7, 3, (3, 4), ["t - 3, 0, t - 4, 0, t - 4, 0, t - 4, 0, 0",
                          "2*t + 1, 0, s + t - 3, t - 4, 0, 0, 0, s - 4, 2*t + 1",
                          "2*t + 1, s - 4, s - 4, s + t - 3, 0, s + t - 3, t - 4, t - 4, t - 4, t - 4, 0, 0, t - 4, 0, "
                          "2*t + 1, (t - 3)*s"]),
          (23, 5, (5, 18), ["(t - 5)*s, t - 18, 2*t + 1, 0, 2*t + 1, s - 18, t - 5, t - 18, 0"])]


def columns(cells):
    v = cells.split(", ")
    n = round(len(v) ** 0.5)
    return [[v[j * n + i] for j in range(n)] for i in range(n)]


def mul(a, b, p, c):
    """(a0 + a1 s)(b0 + b1 s) in GF(p)[s]/(s^2 - c)."""
    return ((a[0] * b[0] + c * a[1] * b[1]) % p, (a[0] * b[1] + a[1] * b[0]) % p)


@functools.lru_cache(maxsize=None)
def terms(e):
    return sympy.Poly(parse_expr(e, transformations=READ, local_dict={"t": t, "s": s, "x": x}), t, s, x).terms()


def at(e, r, p, c, v=0):
    """The element e(t, s, x) (text) in the copy t = r at x = v."""
    out = [0, 0]
    for (i, j, k), a in terms(e):
        out[j % 2] += int(a) * pow(r, i, p) * pow(c, j // 2, p) * pow(v, k, p)
    return (out[0] % p, out[1] % p)


def det(m, p, c):
    """By the permutations: no division, so no zero divisor to meet."""
    n, total = len(m), (0, 0)
    for perm in itertools.permutations(range(n)):
        odd = sum(perm[i] > perm[j] for i in range(n) for j in range(i + 1, n)) % 2
        term = (p - 1 if odd else 1, 0)
        for i, j in enumerate(perm):
            term = mul(term, m[i][j], p, c)
        total = ((total[0] + term[0]) % p, (total[1] + term[1]) % p)
    return total


def cofactor(m, i, j, p, c):
    minor = [[m[a][b] for b in range(len(m)) if b != j] for a in range(len(m)) if a != i]
    d = det(minor, p, c) if minor else (1, 0)
    return d if (i + j) % 2 == 0 else ((-d[0]) % p, (-d[1]) % p)


def draw(rng, p, roots):
    r = rng.choice(roots)
    pool = [f"t - {r}", "2*t + 1", f"s + t - {r}", f"(t - {r})*s", f"s - {rng.randrange(1, p)}", f"t - {roots[0]}"]
    n = rng.randint(3, 5)
    return [[rng.choice(pool) if rng.random() < 0.55 else "0" for _ in range(n)] for _ in range(n)]


def session(p, c, cases, with_x):
    """With x a free variable outside the tower (the eliminations read
    polynomials over it), and Chpoly, det(A - xI), too."""
    lines = ["&(J = t);", f"&(p = {p});", "&(P = t^2 - 2, 1);", "&(J = s);", f"&(P = s^2 - {c}, 1);"]
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
    for (p, c, roots, known), with_x in itertools.product(TOWERS, (False, True)):
        cases = [columns(k) for k in known] + [draw(rng, p, roots) for _ in range(count)]
        out = subprocess.run([binary], input=session(p, c, cases, with_x), capture_output=True, text=True,
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
            images = {r: [[at(e, r, p, c) for e in row] for row in m] for r in roots}
            wanted = {("det", str(k), f"{kind}{ff}"): lambda r: det(images[r], p, c)
                      for kind in ("dense", "sparse") for ff in (0, 1)}
            adjoint = not re.search(rf"Adjoint\[a{k}\](?!\d)", out)   # not refused
            wanted.update({("adj", str(k), f"{i}.{j}"): (lambda r, i=i, j=j: cofactor(images[r], j, i, p, c))
                           for i in range(n) for j in range(n)})
            # det(A - vI) at n + 1 points v: the polynomials of degree n agree.
            for kind in ("dense", "sparse") if with_x else ():
                wanted[("chp", str(k), kind)] = lambda r: [
                    det([[((e[0] - v * (i == j)) % p, e[1]) for j, e in enumerate(row)]
                         for i, row in enumerate(images[r])], p, c) for v in range(n + 1)]
            for key, want in wanted.items():
                if key not in answers or (key[0] == "adj" and not adjoint):
                    refused += 1
                    continue
                got = answers[key]
                if key[0] == "chp":
                    bad = [r for r in roots if [at(got, r, p, c, v) for v in range(n + 1)] != want(r)]
                else:
                    bad = [r for r in roots if at(got, r, p, c) != want(r)]
                results.append(f"p={p} {' '.join(key)} {m}: {answers[key]}, wrong at t = {bad}" if bad else None)
    if refused:
        print(f"{refused} answers refused")
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
