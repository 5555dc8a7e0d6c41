#!/usr/bin/env python3
"""Adjoints and inverses of zero-heavy matrices of fractions in free
variables over rings whose relations have zero divisors (without the flag
modulo 2, 3, 5, 7, 11, 23, in GF(2^8), over the rationals, a tower; with it
beside them), of polynomials too. Every cell of Adjoint (&(K = 0) and
&(K = 1)) is its signed minor, taken here by permutations in the ring: with
B the matrix times each row's denominators, num * den(B) = minor(B) * den
for a printed num / den whose denominator is no zero divisor (which the
identity A Adjoint(A) = det(A) I cannot see where det(A) is one). An
inverse (dense and sparse) is given only where det(B) is no zero divisor,
each cell the minor over det(B) alike. A refusal ("Division by zero.",
error 271) is allowed and counted, a wrong cell never.

  adjoint_fraction_property.py TARVEX [SEED] [MATRICES_PER_RING]
"""
import collections
import concurrent.futures
import functools
import random
import re
import subprocess
import sys

import sympy

from case_report import report
from split_bareiss_property import Ring

# p (0: the rationals, 256 and 65536: GF(2^8), GF(2^16)), levels in the
# order adjoined ("v: relation[, 1 the field flag]" or a free "v"), factors
# whose products are 0 in the ring.
RINGS = [(5, "t: t^3 - 2; y", ["t - 3", "t^2 + 3*t + 4"]),
         (11, "t: t^3 - 2; y", ["t - 7", "t^2 + 7*t + 5"]),
         (23, "t: t^3 - 2; y", ["t - 16", "t^2 - 7*t + 3"]),
         (3, "t: t^4 + 1; y", ["t^2 + t + 2", "t^2 + 2*t + 2"]),
         (7, "t: t^4 + 1; y", ["t^2 + 3*t + 1", "t^2 + 4*t + 1"]),
         (7, "s: s^2 - 3; t: t^2 - 2; y", ["t - 3", "t - 4", "(t - 3)*s"]),
         (23, "s: s^2 - 3; t: t^2 - 2; y", ["t - 5", "s + 7", "(t + 5)*(s - 7)"]),
         (2, "t: t^3 + 1; y", ["t + 1", "t^2 + t + 1"]),
         (2, "t: t^5 + t + 1; y", ["t^2 + t + 1", "t^3 + t^2 + 1"]),
         (3, "t: t^3 - t; y", ["t", "t - 1", "t^2 + t"]),
         (256, "t: t^7 + 1; y", ["t + 1", "t^6 + t^5 + t^4 + t^3 + t^2 + t + 1"]),
         (65536, "t: t^3 + 1; y", ["t + 1", "t^2 + t + 1"]),
         (0, "t: t^2 - 1; y", ["t - 1", "t + 1"]),
         (0, "t: t^3 - t; x; y", ["t", "t^2 - 1", "2*t + 2"]),
         (0, "t: t^2 - 2; y", ["t", "t + 1"]),
         (7, "s: s^2 - 3, 1; t: t^2 - 2; y", ["t - 3", "t - 4", "(t - 3)*s"]),
         (5, "t: t^3 - 2, 1; y", ["t - 3", "t^2 + 3*t + 4"]),
         (256, "t: t^7 + 1, 1; y", ["t + 1", "t^6 + t^5 + t^4 + t^3 + t^2 + t + 1"]),
         (5, "y", ["y - 2"])]
# (route, &K, the result's array and statement, {k} the matrix's number)
ROUTES = [("Adjoint K=0", 0, "j{k}", "Adjoint[a{k}]"), ("Adjoint K=1", 1, "h{k}", "Adjoint[a{k}]"),
          ("Inverse dense", 0, "v{k}", "1/[a{k}]"), ("Inverse sparse", 0, "w{k}", "1/[b{k}]")]


def entry(rng, factors, free, fractions):
    """Numerator and denominator of a random cell, as text."""
    e, y = rng.choice(factors), rng.choice(free)
    num = rng.choice(["1", y, e, f"({e})*{y} + 1", f"{y} + {e}", f"({e})*{y} + ({rng.choice(factors)})",
                      f"({e})*({rng.choice(factors)})"])
    return num, rng.choice(["1", y, f"{y} + 1", f"{y}^2 - 2"]) if fractions and rng.random() < 0.6 else "1"


class Check:
    """The wanted values of one matrix (rows of (numerator, denominator))."""

    def __init__(self, R, m):
        self.R, self.n = R, len(m)
        dens = [functools.reduce(R.mul, (R.read(d) for _, d in row), R.one) for row in m]
        # B = diag(dens) A has polynomial cells; adj(A)[j][i] = minor_ij(B) / prod of the other rows' dens.
        self.b = [[R.mul(R.read(c), functools.reduce(R.mul, (R.read(e) for k, (_, e) in enumerate(row) if k != j),
                                                     R.one)) for j, (c, _) in enumerate(row)] for row in m]
        self.dens = dens
        self.det = self.expand((1 << self.n) - 1, (1 << self.n) - 1)

    def fraction(self, text):
        """A printed value as (numerator, denominator); None unless the
        denominator is no zero divisor."""
        num, _, den = text.partition(" / ")
        try:
            n, d = self.R.read(num), self.R.read(den or "1")
        except Exception:   # a refusal or a stale line
            return None
        return (n, d) if self.regular(d) else None

    def regular(self, d):
        """The relations here have no repeated factor: d is no zero divisor
        when its coefficients over the free variables generate the unit
        ideal, as one that is a number (a unit) does."""
        R = self.R
        if not d:
            return False
        relation = {i for i, _, _ in R.rel}
        free = [k for k in range(len(R.names)) if k not in relation]
        coefs = collections.defaultdict(dict)
        for e, c in d.items():
            coefs[tuple(e[k] for k in free)][tuple(e[k] for k in range(len(e)) if k in relation)] = c
        gf = 1 + (R.names[1:2] == ["h"]) if R.gf else 0
        if any(all(sum(e[gf:]) == 0 for e in c) for c in coefs.values()):
            return True
        gens = sympy.symbols([R.names[k] for k in sorted(relation)])
        poly = lambda c: sum(v * sympy.prod(g ** x for g, x in zip(gens, e)) for e, v in c.items())
        rels = [gens[k] ** deg - poly({tuple(e[j] for j in sorted(relation)): v for e, v in tail.items()})
                for k, (_, deg, tail) in enumerate(R.rel)]
        basis = sympy.groebner(rels + [poly(c) for c in coefs.values()], *gens,
                               **({"modulus": R.p} if R.p else {"domain": "QQ"}))
        return list(basis.exprs) == [1]

    @functools.lru_cache(maxsize=None)
    def expand(self, rows, cols):
        """det(B on the rows and columns of two bit masks), along its first row:
        the n^2 minors share their smaller ones."""
        if not rows:
            return self.R.one
        r, total, sign = (rows & -rows).bit_length() - 1, {}, 1
        for c in range(self.n):
            if cols >> c & 1:
                if self.b[r][c]:
                    part = self.R.mul(self.b[r][c], self.expand(rows & ~(1 << r), cols & ~(1 << c)))
                    total = self.R.add(total, part, sign)
                sign = -sign
        return total

    def minor(self, i, j):
        """(-1)^(i+j) det(B without row j and column i)."""
        whole = (1 << self.n) - 1
        return self.R.add({}, self.expand(whole & ~(1 << j), whole & ~(1 << i)), (-1) ** (i + j))

    def adjoint_cell(self, i, j, text):
        """text is adj(A)[i][j], the signed minor of row j and column i."""
        got, R = self.fraction(text), self.R
        if not got:
            return False
        den = functools.reduce(R.mul, (d for r, d in enumerate(self.dens) if r != j), R.one)
        return R.mul(got[0], den) == R.mul(self.minor(i, j), got[1])

    def inverse_cell(self, i, j, text):
        """text is A^-1[i][j] = adj(A)[i][j] / det(A), det(B) no zero divisor."""
        got, R = self.fraction(text), self.R
        return bool(got) and R.mul(got[0], self.det) == R.mul(R.mul(self.minor(i, j), self.dens[j]), got[1])


def session(R, p, levels, matrices):
    lines = ["&(_d = 32767);"] + [f"&(p = {p});"] * bool(p)   # no value goes on over lines
    for lev in levels:
        v, _, rel = lev.partition(":")
        lines += [f"&(J = {v});"] + [f"&(P = {rel});"] * bool(rel)
    groups = []
    for k, m in enumerate(matrices):
        n = len(m)
        cells = ", ".join(f"({m[i][j][0]})/({m[i][j][1]})" for j in range(n) for i in range(n))
        lines += [f"Array a{k}[{n},{n}], b{k}[{n},{n}] Sparse, j{k}[{n},{n}], h{k}[{n},{n}], v{k}[{n},{n}], "
                  f"w{k}[{n},{n}] Sparse;", f"[a{k}] := [({cells})]:", f"[b{k}] := [a{k}]:"]
        for r, (route, ff, target, value) in enumerate(ROUTES):
            # The inverses' values swell past n = 4.
            if route[0] == "I" and n > 4:
                continue
            mark, target = f"m{k}r{r}", target.format(k=k)
            lines += [f"!!('@{mark}');", f"&(K = {ff});", f"[{target}] := {value.format(k=k)}:"]
            lines += [f"!!('{mark}.{i}.{j}', {target}[{i + 1},{j + 1}]);" for i in range(n) for j in range(n)]
            groups.append((mark, k, route))
    return "\n".join(lines) + "\n!!('@end');\n&q;\n", groups


def main():
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 16
    runs, jobs = [], concurrent.futures.ThreadPoolExecutor(3)
    for p, levels, factors in RINGS:
        levels = [lev.strip() for lev in levels.split(";")]
        R = Ring(p, levels)
        free = [lev for lev in levels if ":" not in lev]
        matrices = []
        for c in range(count):
            # One in four of polynomials; most zero-heavy, so that pivots are zero divisors.
            n, fractions, full = rng.choice((3, 3, 4, 4, 5, 6)), c % 4 != 3, rng.choice((0.45, 0.45, 0.75))
            matrices.append([[entry(rng, factors, free, fractions) if rng.random() < full else ("0", "1")
                              for _ in range(n)] for _ in range(n)])
        text, groups = session(R, p, levels, matrices)
        runs.append((R, f"p={p} {'; '.join(levels)}", matrices, groups, jobs.submit(
            subprocess.run, [sys.argv[1]], input=text, capture_output=True, text=True, timeout=600)))
    results, refused, total = [], collections.Counter(), collections.Counter()
    for R, name, matrices, groups, run in runs:
        out = run.result().stdout
        pieces = re.split(r"^ *[0-9]*>@(\S+)$", out, flags=re.M)
        printed = dict(zip(pieces[1::2], pieces[2::2]))
        checks = {}
        for mark, k, route in groups:
            said = printed.get(mark, "")
            got = dict(re.findall(r"^ *[0-9]*>(\S+) (.*)$", said, flags=re.M))
            check = checks.setdefault(k, Check(R, matrices[k]))
            n, what = len(matrices[k]), f"{name} {route} {matrices[k]}"
            total[route] += 1
            if re.search("Tarvex error|New command level", said):
                results.append(f"fatal line: {what}")
            elif "Singular matrix" in said and (route[0] == "A" or check.det):
                results.append(f"refused as singular: {what}")
            elif "Division by zero" in said or "does not make a field" in said or "Singular matrix" in said or (
                    "not all invertible" in said and route == "Inverse sparse"):
                refused[route] += 1
                results.append(None)
            elif route[0] == "I" and not check.regular(check.det):
                results.append(f"an inverse where the determinant is a zero divisor: {what}")
            else:
                cell = check.adjoint_cell if route[0] == "A" else check.inverse_cell
                bad = [(i + 1, j + 1, got.get(f"{mark}.{i}.{j}")) for i in range(n) for j in range(n)
                       if not cell(i, j, got.get(f"{mark}.{i}.{j}", ""))]
                results.append(f"{len(bad)} wrong cells: {what}, the first {bad[0]}" if bad else None)
    print("answers refused:", {route: f"{refused[route]} of {total[route]}" for route in total})
    print("failures by kind:", dict(collections.Counter(r.split(":")[0] for r in results if r)))
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
