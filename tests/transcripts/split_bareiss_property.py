#!/usr/bin/env python3
"""Fraction-free eliminations over field relations that the prime splits
only partly, whose copies are fields of irreducible factors: t^3 - 2 modulo
5 and 23, the tower t^2 - 2 / s^2 - 3 modulo 7, t^3 + 1 modulo 2 (a prime
below the degree), t^7 + 1 in GF(2^8), t^3 - 2 with a free variable inside
the levels; beside them (t + 1)^2 (t - 1) modulo 5 (a repeated factor: no
copies, zero-divisor pivots refused) and t^2 - 1 declared a field over the
rationals. Random zero-heavy matrices whose entries have free variables led
by zero divisors ((t^2 + 3t + 4)y + 1 modulo 5 vanishes in no copy, its
leading coefficient in one). Dense and sparse Det and Chpoly, and Adjoint,
by default and under &(K = 1): no fatal line, and each answer equal to the
determinant, det(A - vI) or cofactor taken by permutations in the ring
itself (no division, so no zero divisor to meet). "Division by zero." is
allowed and counted; a wrong value is not.

  split_bareiss_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import collections
import itertools
import random
import re
import subprocess
import sys

from case_report import report

# (p (0: the rationals, where t^2 - 1 declared a field has no copies to
# show its zero divisors), the variables adjoined with their relations
# (None for a free one), free variables adjoined after them, entries)
RINGS = [(5, [("t", "t^3 - 2")], ["y", "x"],
          ["1", "y", "t - 3", "t^2 + 3*t + 4", "(t^2 + 3*t + 4)*y", "(t^2 + 3*t + 4)*y + 1",
           "(t^2 + 3*t + 4)*y + t", "(t^2 + 3*t + 4)*y + 2", "(t - 3)*y + 1", "(t - 3)*x + y"]),
         (23, [("t", "t^3 - 2")], ["y"],
          ["1", "y", "t - 16", "t^2 - 7*t + 3", "(t^2 - 7*t + 3)*y + 1", "(t^2 - 7*t + 3)*y + t",
           "(t - 16)*y + 5", "(t - 16)*t*y + t^2"]),
         (7, [("t", "t^2 - 2"), ("s", "s^2 - 3")], ["x"],
          ["1", "x", "t - 3", "(t - 4)*s", "(t - 3)*x + 1", "(t - 3)*x + s", "(t - 4)*s*x + t", "s*x + 1"]),
         (2, [("t", "t^3 + 1")], ["y"],
          ["1", "y", "t + 1", "t^2 + t + 1", "(t^2 + t + 1)*y + 1", "(t^2 + t + 1)*y + t", "(t + 1)*y + 1"]),
         (5, [("t", "(t + 1)^2*(t - 1)")], ["y"],
          ["1", "y", "t + 1", "t - 1", "(t + 1)*y + 1", "(t^2 - 1)*y + t", "(t + 1)*y + 3"]),
         (256, [("t", "t^7 + 1")], ["y"],
          ["1", "y", "t + 1", "t^6 + t^5 + t^4 + t^3 + t^2 + t + 1", "(t^6 + t^5 + t^4 + t^3 + t^2 + t + 1)*y + 1",
           "(t^6 + t^5 + t^4 + t^3 + t^2 + t + 1)*y + 3*t", "(t + 1)*y + t", "(t^3 + t + 1)*y + 2"]),
         (5, [("y", None), ("t", "t^3 - 2")], ["x"],
          ["1", "y", "t - 3", "t^2 + 3*t + 4", "(t^2 + 3*t + 4)*y + 1", "(t^2 + 3*t + 4)*x + t", "(t - 3)*x + y"]),
         (0, [("t", "t^2 - 1")], ["y"],
          ["1", "y", "t - 1", "t + 1", "(t + 1)*y + 1", "(t - 1)*y + t", "(t - 1)*y + 2", "3*t*y + 2"])]
# Matrices (rows) over the first ring whose fraction-free Adjoint and
# sparse Det once ended in a fatal line.
KNOWN = [[["0", "0", "0", "(t^2 + 3*t + 4)*y + 1"], ["t - 3", "0", "0", "0"], ["0", "0", "t - 3", "0"], ["0"] * 4],
         [["0", "0", "0", "(t^2 + 3*t + 4)*y + t"], ["1", "0", "0", "0"], ["0", "1", "t - 3", "0"], ["0", "0", "0", "1"]]]
ROADS = [(kind, store, f) for kind in ("det", "chp") for store in ("dense", "sparse") for f in (0, 1)] + [
    ("adj", "dense", f) for f in (0, 1)]


class Ring:
    """Polynomials over Z/p (p = 256: GF(2^8), the codes of its elements read
    as polynomials in 2 modulo 2^8 + 2^4 + 2^3 + 2 + 1; p = 0: the integers,
    where the determinants of integer entries lie) in the relation
    variables and free ones, each relation variable's power kept below its
    relation's degree."""

    def __init__(self, p, relations, free):
        self.p = p
        self.names = [v for v, _ in relations] + free
        self.rel = []
        for i, (_, text) in enumerate(relations):
            if not text:
                continue
            m = self.read(text)   # read before its own relation is in force
            self.rel.append((i, [m.get(tuple(k * (j == i) for j in range(len(self.names))), 0)
                                 for k in range(max(e[i] for e in m) + 1)]))

    def reduce(self, d):
        out = {}
        work = [(e, c) for e, c in d.items()]
        while work:
            e, c = work.pop()
            c = self.cut(c)
            if not c:
                continue
            for i, m in self.rel:
                if e[i] >= len(m) - 1:
                    # v^k = -v^(k - deg) (m - v^deg)
                    base = list(e)
                    base[i] -= len(m) - 1
                    for j, a in enumerate(m[:-1]):
                        if a:
                            f = list(base)
                            f[i] += j
                            work.append((tuple(f), self.mul_c(self.cut(-a), c)))
                    break
            else:
                out[e] = self.add_c(out.get(e, 0), c)
                if not out[e]:
                    del out[e]
        return out

    def cut(self, c):
        return abs(c) if self.p == 256 else c % self.p if self.p else c   # in GF(2^8) -c is c

    def add_c(self, a, b):
        return a ^ b if self.p == 256 else self.cut(a + b)

    def mul_c(self, a, b):
        if self.p != 256:
            return self.cut(a * b)
        out = 0
        while b:
            if b & 1:
                out ^= a
            b >>= 1
            a = a << 1 ^ (0x11B if a & 0x80 else 0)
        return out

    def mul(self, a, b):
        out = {}
        for ea, ca in a.items():
            for eb, cb in b.items():
                e = tuple(x + y for x, y in zip(ea, eb))
                out[e] = self.add_c(out.get(e, 0), self.mul_c(ca, cb))
        return self.reduce(out)

    def add(self, a, b, sign=1):
        out = dict(a)
        for e, c in b.items():
            out[e] = self.add_c(out.get(e, 0), self.cut(sign * c))
            if not out[e]:
                del out[e]
        return out

    def read(self, text):
        """A value as the interpreter shows it ((t^2 - 2t)y + 1) or types it."""
        ring = self

        class El:
            def __init__(self, d):
                self.d = d

            @staticmethod
            def of(v):
                return v if isinstance(v, El) else El(ring.reduce({(0,) * len(ring.names): v}))

            def __add__(self, o):
                return El(ring.add(self.d, El.of(o).d))

            __radd__ = __add__

            def __sub__(self, o):
                return El(ring.add(self.d, El.of(o).d, -1))

            def __rsub__(self, o):
                return El.of(o) - self

            def __neg__(self):
                return El.of(0) - self

            def __pos__(self):
                return self

            def __mul__(self, o):
                return El(ring.mul(self.d, El.of(o).d))

            __rmul__ = __mul__

            def __pow__(self, k):
                out = El.of(1)
                for _ in range(int(k)):
                    out = out * self
                return out

        env = {}
        for i, v in enumerate(self.names):
            e = [0] * len(self.names)
            e[i] = 1
            env[v] = El({tuple(e): 1})
        expr = re.sub(r"(?<=[\w)])\s*(?=[a-z(])", "*", text.replace("^", "**"))
        env["N"] = El.of   # numbers as ring elements, exponents left as they are
        return El.of(eval(re.sub(r"(?<![*\w])(\d+)", r"N(\1)", expr), {"__builtins__": {}}, env)).d

    def det(self, m):
        """By the permutations: no division, so no zero divisor to meet."""
        n, total = len(m), {}
        for perm in itertools.permutations(range(n)):
            if any(not m[i][j] for i, j in enumerate(perm)):
                continue
            term = {(0,) * len(self.names): 1}
            for i, j in enumerate(perm):
                term = self.mul(term, m[i][j])
            odd = sum(perm[i] > perm[j] for i in range(n) for j in range(i + 1, n)) % 2
            total = self.add(total, term, -1 if odd else 1)
        return total


def roads(p):
    """Over the rationals the fraction-free road alone: the default one's
    gcds there are not what this test is about."""
    return [r for r in ROADS if p or r[2]]


def session(p, relations, free, cases):
    lines = [f"&(p = {p});"] * bool(p)
    for v, rel in relations:
        lines += [f"&(J = {v});"] + [f"&(P = {rel}, 1);"] * bool(rel)
    lines += [f"&(J = {v});" for v in free]
    for k, m in enumerate(cases):
        n = len(m)
        lines += [f"Array a{k}[{n},{n}], b{k}[{n},{n}] Sparse, j{k}[{n},{n}], h{k}[{n},{n}];",
                  f"[a{k}] := [({', '.join(m[i][j] for j in range(n) for i in range(n))})]:", f"[b{k}] := [a{k}]:"]
        for kind, store, ff in roads(p):
            lines += [f"&(K = {ff});", f"!!('at {k} {kind} {store}{ff}');"]
            if kind == "det":
                lines.append(f"!!('det {k} {store}{ff}', Det[{'ab'[store == 'sparse']}{k}]);")
            elif kind == "chp":
                lines.append(f"!!('det {k} {store}{ff}', Chpoly([{'ab'[store == 'sparse']}{k}]));")
            else:
                adj = f"{'jh'[ff]}{k}"
                lines += [f"[{adj}] := Adjoint[a{k}]:", f"!!('adj {k} {store}{ff}');"]
                lines += [f"!!('cell {i}.{j}', {adj}[{i + 1},{j + 1}]);" for i in range(n) for j in range(n)]
    return "\n".join(lines) + "\n&(K = 0);\n&q;\n"


def main():
    binary = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    results, refused = [], collections.Counter()
    for r, (p, relations, free, pool) in enumerate(RINGS):
        R = Ring(p, relations, free)
        ring_name = " / ".join(rel or v for v, rel in relations)
        cases = [[[rng.choice(pool) if rng.random() < 0.4 else "0" for _ in range(n)] for _ in range(n)]
                 for n in (rng.choice((3, 4, 4, 4, 5)) for _ in range(count))] + KNOWN * (r == 0)
        out = subprocess.run([binary], input=session(p, relations, free, cases), capture_output=True, text=True,
                             timeout=600).stdout.replace(" `\n", " ")   # long values go on over lines ending in `
        # What each road printed, from its mark to the next.
        pieces = re.split(r"^[0-9>]*at (\d+) (\w+) (\w+)$", out, flags=re.M)
        printed = {tuple(pieces[i:i + 3]): pieces[i + 3] for i in range(1, len(pieces), 4)}
        for k, m in enumerate(cases):
            n = len(m)
            a = [[R.read(e) for e in row] for row in m]
            d = R.det(a)
            # det(A - vI), v the outermost variable
            v = R.read(free[-1])
            c = R.det([[R.add(e, v, -1) if i == j else e for j, e in enumerate(row)] for i, row in enumerate(a)])
            for kind, store, ff in roads(p):
                key = (str(k), kind, f"{store}{ff}")
                text = printed.get(key, "")
                where = f"p={p} {ring_name} {kind} {store} K={ff} {m}"
                if "Tarvex error" in text or "New command level" in text:
                    results.append(f"{where}: a fatal line")
                    continue
                if "Division by zero" in text or "divide by 0" in text:   # the latter at a nested level
                    refused[f"p={p} {ring_name} {kind} {store} K={ff}"] += 1
                    results.append(None)
                    continue
                if kind != "adj":
                    got = re.search(rf"^[0-9>]*det {k} {store}{ff} (.*)$", text, flags=re.M)
                    ok = got and R.read(got.group(1)) == (d if kind == "det" else c)
                    results.append(None if ok else f"{where}: {got.group(1) if got else 'no answer'}")
                    continue
                cells = dict(re.findall(r"^[0-9>]*cell (\d+\.\d+) (.*)$", text, flags=re.M))
                bad = []
                for i, j in itertools.product(range(n), range(n)):
                    minor = [[a[r][c] for c in range(n) if c != i] for r in range(n) if r != j]
                    want = R.det(minor) if n > 1 else {(0,) * len(R.names): 1}
                    if (i + j) % 2:
                        want = R.add({}, want, -1)
                    if f"{i}.{j}" not in cells or R.read(cells[f"{i}.{j}"]) != want:
                        bad.append(f"{i + 1},{j + 1}: {cells.get(f'{i}.{j}')}")
                results.append(f"{where}: wrong cells {bad}" if bad else None)
    print(f"{sum(refused.values())} answers refused: {dict(refused)}")
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
