#!/usr/bin/env python3
"""Products that the relations make 0, and fraction-free eliminations over
rings that the relations split, random cases in the rings of RINGS (split,
nilpotent and tower relations over the rationals, field relations that the
prime splits only partly or with a repeated factor, a few without the flag).
With f*g = 0 in the ring, and no fatal line anywhere:
  - a = f*u/d, b = g*v/e and a fraction c (d, e numbers, units of the ring
    or polynomials in the free variables): a*b typed in one run (as x/2*x),
    of stored values, through quotients, sums and powers, typed as one
    quotient, in array cells, Det (dense, sparse, fraction-free) of matrices
    whose diagonal multiplies to 0, A·Adjoint[A] are 0; a*c times its
    denominators is f*u*c's numerator reduced here by the relations;
  - zero-heavy matrices of entries led by f and g: Det and Chpoly, dense and
    sparse, and Adjoint, by default and under &(K = 1) (over the rationals
    that alone), equal the determinant, det(A - vI) or cofactor taken by
    permutations in the ring (no division, so no zero divisor to meet);
    "Division by zero." is allowed there and counted.

  split_bareiss_property.py TARVEX [SEED] [MATRICES_PER_RING]
"""
import collections
import concurrent.futures
import functools
import itertools
import random
import re
import subprocess
import sys

from case_report import report

# p (0: the rationals, 256: GF(2^8)), levels innermost last ("v: relation[,
# 1 the field flag]" or a free "v"), pairs (f, g) with f*g = 0, a unit of
# the ring (None: no products, whose quotients are refused or left unreduced
# under t^2 - 1 declared a field, a repeated factor, y inside the levels).
RINGS = [(0, "x: x^2; y", [("x", "3*x")], "1 + x"),
         (0, "t: t^2 - 1; x; y", [("t - 1", "t + 1"), ("2*t - 2", "3*t + 3")], "t + 2"),
         (0, "t: t^3 - t; x", [("t", "t^2 - 1"), ("t - 1", "t^2 + t")], "t^2 + 1"),
         (0, "s: s^2 - 1; t: t^2 - s; x", [("s - 1", "s + 1"), ("t^2 + 1", "t - t^3")], "s + 2"),
         (0, "t: t^2 - 2, 1; s: s^2; x", [("s", "t*s"), ("t*s - s", "s")], "s + t"),
         (0, "t: t^2 - 1, 1; y", [("t - 1", "t + 1"), ("3*t - 3", "t + 1")], None),
         (5, "t: t^3 - 2, 1; y; x", [("t - 3", "t^2 + 3*t + 4")], "t"),
         (23, "t: t^3 - 2, 1; y", [("t - 16", "t^2 - 7*t + 3"), ("(t - 16)*t", "t^2 - 7*t + 3")], "t"),
         (7, "t: t^2 - 2, 1; s: s^2 - 3, 1; x", [("t - 3", "(t - 4)*s"), ("(t - 3)*s", "t - 4")], "s"),
         (2, "t: t^3 + 1, 1; y", [("t + 1", "t^2 + t + 1")], "t"),
         (5, "t: (t + 1)^2*(t - 1), 1; y", [("t + 1", "t^2 - 1"), ("t^2 + 2*t + 1", "t - 1")], None),
         (256, "t: t^7 + 1, 1; y", [("t + 1", "t^6 + t^5 + t^4 + t^3 + t^2 + t + 1")], "3*t"),
         (5, "y; t: t^3 - 2, 1; x", [("t - 3", "t^2 + 3*t + 4"), ("(t - 3)*y", "t^2 + 3*t + 4")], None),
         (65521, "x: x^2; y", [("x", "5*x")], "1 + x"),
         (7, "t: t^2 - 2; x", [("t - 3", "t - 4")], "t + 1"),
         (3, "t: t^3 - t; x", [("t", "t^2 - 1"), ("t - 1", "t^2 + t")], "t^2 + 1")]
# Matrices (rows) over RINGS[6] whose fraction-free Adjoint and sparse Det
# once ended in a fatal line.
KNOWN = [[["0", "0", "0", "(t^2 + 3*t + 4)*y + 1"], ["t - 3", "0", "0", "0"], ["0", "0", "t - 3", "0"], ["0"] * 4],
         [["0", "0", "0", "(t^2 + 3*t + 4)*y + t"], ["1", "0", "0", "0"], ["0", "1", "t - 3", "0"], ["0"] * 3 + ["1"]]]
ROADS = [(kind, store, k) for kind in ("Det", "Chpoly", "Adjoint") for store in ("dense", "sparse") for k in (0, 1)
         if kind != "Adjoint" or store == "dense"]


class Ring:
    """Polynomials over Z/p (over Z for p = 0; GF(2^8) is Z/2 below a level g
    of relation g^8 + g^4 + g^3 + g + 1, a number read as its bits in g, and
    GF(2^16) has a level h of relation h^2 + 2h + 1 above it, 256u + v read
    as uh + v) in the level variables, each relation variable's power kept
    below the degree of its monic relation."""

    def __init__(self, p, levels):
        self.gf, self.p = p in (256, 65536), 2 if p in (256, 65536) else p
        levels = (["g: g^8 + g^4 + g^3 + g + 1"] + ["h: h^2 + 2*h + 1"] * (p == 65536)) * self.gf + levels
        self.names, self.zero = [lev.split(":")[0] for lev in levels], (0,) * len(levels)
        self.one, self.rel = {self.zero: 1}, []
        for i, lev in enumerate(levels):
            if ":" in lev:
                m = self.parse(lev.split(":")[1].split(",")[0])   # before its own relation is in force
                deg = max(e[i] for e in m)
                self.rel.append((i, deg, self.add({}, {e: c for e, c in m.items() if e[i] < deg}, -1)))
        self.read = functools.lru_cache(maxsize=None)(self.parse)

    def norm(self, d):
        return {e: c for e, c0 in d.items() if (c := c0 % self.p if self.p else c0)}

    def reduce(self, d):
        out, work = {}, list(d.items())
        while work:
            e, c = work.pop()
            for i, deg, tail in self.rel:
                if e[i] >= deg:   # v^deg is tail
                    work += [(tuple(a + b - deg * (j == i) for j, (a, b) in enumerate(zip(e, f))), c * t)
                             for f, t in tail.items()]
                    break
            else:
                out[e] = out.get(e, 0) + c
        return self.norm(out)

    def add(self, a, b, sign=1):
        out = dict(a)
        for e, c in b.items():
            out[e] = out.get(e, 0) + sign * c
        return self.norm(out)

    def mul(self, a, b):
        out = {}
        for (ea, ca), (eb, cb) in itertools.product(a.items(), b.items()):
            e = tuple(x + y for x, y in zip(ea, eb))
            out[e] = out.get(e, 0) + ca * cb
        return self.reduce(out)

    def parse(self, text):
        """A value as the interpreter prints it ((9t^2 + 27t)y + 2) or as typed."""
        class E:
            __init__ = lambda s, d: setattr(s, "d", d)
            __add__, __sub__ = (lambda s, o: E(self.add(s.d, o.d))), (lambda s, o: E(self.add(s.d, o.d, -1)))
            __mul__, __neg__ = (lambda s, o: E(self.mul(s.d, o.d))), (lambda s: E(self.add({}, s.d, -1)))
            __pow__ = lambda s, k: functools.reduce(E.__mul__, [s] * k, E(self.one))

        def number(n):   # in GF(2^8) its bits in g; in GF(2^16) the high byte's times h
            bit = lambda i: (i % 8,) + (i // 8,) * (self.names[1] == "h") + self.zero[1 + (self.names[1] == "h"):]
            return E(self.norm({bit(i): 1 for i in range(n.bit_length()) if n >> i & 1} if self.gf else {self.zero: n}))
        env = {v: E({self.zero[:i] + (1,) + self.zero[i + 1:]: 1}) for i, v in enumerate(self.names)}
        expr = re.sub(r"(?<=[\w)])\s*(?=[a-z(])", "*", text)
        expr = re.sub(r"(?<![\^\w])\d+", lambda m: f"N({m.group()})", expr).replace("^", "**")
        return eval(expr, {"__builtins__": {}, "N": number}, env).d

    def det(self, m):
        total = {}
        for perm in itertools.permutations(range(len(m))):
            if all(m[i][j] for i, j in enumerate(perm)):
                term = functools.reduce(self.mul, (m[i][j] for i, j in enumerate(perm)), self.one)
                total = self.add(total, term, (-1) ** sum(a > b for a, b in itertools.combinations(perm, 2)))
        return total

    def same(self, got, want):
        """got, as printed, is want (a quotient when its value is)."""
        if got is None or isinstance(want, str):
            return got == want
        num, _, den = got.partition(" / ")
        try:
            return self.read(num) == self.mul(want, self.read(den or "1"))
        except Exception:   # a refusal
            return False


def lin(rng, names, c0):
    """c0 + a random combination of the variables, as text."""
    return " + ".join([str(c0)] + [f"{rng.randint(-2, 2)}*{v}" for v in names]).replace("+ -", "- ")


def zero_case(rng, R, p, gens, free, pairs, unit):
    """Setup lines, checks (expression, the answer: text, a ring value, or
    None for a line to run) and the values of one product made 0."""
    f, g = rng.sample(rng.choice(pairs), 2)
    u, v = f"({lin(rng, gens, 1)})*{rng.choice(free + ['1'])}", lin(rng, gens, 2)
    cn = lin(rng, gens, f"{rng.choice(free)} + {rng.randint(-3, 3)}")   # monic in a free variable: no zero divisor

    def den():
        return rng.choice([str(rng.choice([n for n in (2, 3, 6, 5, 7) if p in (0, 256) or n % p])), "1",
                           f"{rng.choice(free)} + {rng.randint(1, 3)}", unit, f"({unit})*({rng.choice(free)} - 1)"])
    d, e, cd = den(), den(), den()
    a, b = f"({f})*({u})/({d})", f"({g})*({v})/({e})"
    zero = [f"{a}*{b}", "a*b", "a*c*b", "a/(w/c)*b", "a*b/w", "(a*b + c) - c", "(a + b)^2 - a^2 - b^2", "(a*b)^2",
            f"({f})*({u})*({g})*({v})/(({d})*({e}))", "m[1,1]*m[2,2]", "Det[m]", "Det[q]", "r[1,1]",
            "r[2,1] - c*b", "h[1,1]", "k[1,1]*k[2,2]"]
    lines = [f"a := {a}:", f"b := {b}:", f"c := ({cn})/({cd}):", f"w := {rng.choice(free)} + 2:",
             "[m] := [(a, c, 0, b)]:", "[q] := [m]:", "[n] := [(b, 0, 0, a)]:", "[r] := [m]*[n]:", "[h] := a*[n]:",
             "[k] := [m]/w:", "[o] := [(a, c, 1, 0, b, w, 0, 0, c)]:", "[l] := [o]:", "[z] := [o]*Adjoint[o]:",
             "[i] := Adjoint[o]*[o]:"]
    checks = [(z, "0") for z in zero] + [
        ("&(K = 1);", None), ("Det[o]", "0"), ("Det[l]", "0"), ("&(K = 0);", None), ("Iszero[z], Iszero[i]", "1 1"),
        ("m[1,1] := a*b:", None), ("m[1,1]", "0"), (f"a*c*({d})*({cd})", R.read(f"({f})*({u})*({cn})"))]
    return lines, checks, f"a = {a}, b = {b}, c = ({cn})/({cd})"


def session(R, p, levels, zeros, matrices):
    """The lines of one run and its groups: (mark, checks (label, want),
    whether "Division by zero." may answer, what the case was)."""
    lines, groups = [f"&(p = {p});"] * bool(p), []
    for lev in levels:
        v, _, rel = lev.partition(":")
        lines += [f"&(J = {v});"] + [f"&(P = {rel});"] * bool(rel)
    lines.append("Array m[2,2], q[2,2] Sparse, n[2,2], r[2,2], h[2,2], k[2,2], o[3,3], l[3,3] Sparse, z[3,3], i[3,3];")

    def group(mark, setup, checks, refusable, what):
        lines.extend([f"!!('@{mark}');"] + setup)
        lines.extend(expr if want is None else f"!!('{mark}.{n}', {expr});" for n, (expr, want) in enumerate(checks))
        groups.append((mark, [(f"{mark}.{n}", want) for n, (_, want) in enumerate(checks) if want is not None],
                       refusable, what))

    for k, (setup, checks, what) in enumerate(zeros):
        group(f"z{k}", setup, checks, False, what)
    for k, m in enumerate(matrices):
        n, x = len(m), R.read(levels[-1])   # Chpoly's variable: the outermost
        setup = [f"Array a{k}[{n},{n}], b{k}[{n},{n}] Sparse, j{k}[{n},{n}], h{k}[{n},{n}];",
                 f"[a{k}] := [({', '.join(m[i][j] for j in range(n) for i in range(n))})]:", f"[b{k}] := [a{k}]:"]
        a = [[R.read(e) for e in row] for row in m]
        want = {"Det": R.det(a), "Chpoly": R.det([[R.add(e, x, -1) if i == j else e for j, e in enumerate(row)]
                                                   for i, row in enumerate(a)])}
        for kind, store, ff in ROADS:
            if p or ff:   # over the rationals the fraction-free road alone
                arr, adj = f"{'ab'[store == 'sparse']}{k}", f"{'jh'[ff]}{k}"
                checks = [(f"{kind}[{arr}]" if kind == "Det" else f"Chpoly([{arr}])", want.get(kind))]
                if kind == "Adjoint":
                    checks = [(f"[{adj}] := Adjoint[a{k}]:", None)] + [
                        (f"{adj}[{i + 1},{j + 1}]", R.add({}, R.det([[a[r][c] for c in range(n) if c != i]
                                                                    for r in range(n) if r != j]), (-1) ** (i + j)))
                        for i in range(n) for j in range(n)]
                group(f"{kind}{k}{store}{ff}", setup + [f"&(K = {ff});"], checks, True, f"{kind} {store} K={ff} {m}")
                setup = []
    return "\n".join(lines) + "\n&(K = 0);\n&q;\n", groups


def main():
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    runs, jobs = [], concurrent.futures.ThreadPoolExecutor(4)   # the runs go on while the next ring is drawn
    for r, (p, levels, pairs, unit) in enumerate(RINGS):
        levels = [lev.strip() for lev in levels.split(";")]
        R = Ring(p, levels)
        gens, free = [lev.split(":")[0] for lev in levels if ":" in lev], [lev for lev in levels if ":" not in lev]
        zeros = [zero_case(rng, R, p, gens, free, pairs, unit) for _ in range(max(2, count // 6) * bool(unit))]
        y, x = free[0], free[-1]
        pool = ["1", y] + [t for f, g in pairs for t in (f, g, f"({f})*{x} + 1", f"({f})*{x} + {gens[0]}",
                                                         f"({g})*{y} + 2", f"({g})*{x} + {y}")]
        matrices = [[[rng.choice(pool) if rng.random() < 0.4 else "0" for _ in range(n)] for _ in range(n)]
                    for n in (rng.choice((3, 4, 4, 4, 5)) for _ in range(count))] + KNOWN * (r == 6)
        text, groups = session(R, p, levels, zeros, matrices)
        runs.append((R, f"p={p} {'; '.join(levels)}", groups, jobs.submit(
            subprocess.run, [sys.argv[1]], input=text, capture_output=True, text=True, timeout=600)))
    results, refused = [], collections.Counter()
    for R, name, groups, run in runs:
        out = run.result().stdout.replace(" `\n", " ")   # long values go on over lines ending in `
        pieces = re.split(r"^ *[0-9]*>@(\S+)$", out, flags=re.M)   # " 2>" after a fatal line
        printed = dict(zip(pieces[1::2], pieces[2::2]))
        for mark, checks, refusable, what in groups:
            said = printed.get(mark, "")
            got = dict(re.findall(r"^ *[0-9]*>(\S+) (.*)$", said, flags=re.M))
            fatal = re.search("Tarvex error|New command level", said)
            if fatal:
                results.append(f"fatal line: {name} {what} {said[max(0, fatal.start() - 160):fatal.start() + 40]!r}")
            elif refusable and ("Division by zero" in said or "divide by 0" in said):   # the latter at a nested level
                refused[f"{name} {what.split(' [')[0]}"] += 1
                results.append(None)
            else:
                bad = [(lab, got.get(lab)) for lab, want in checks if not R.same(got.get(lab), want)]
                results.append(f"wrong value: {name} {what} {bad}" if bad else None)
    print(f"{sum(refused.values())} answers refused: {dict(refused)}")
    print("failures by kind:", dict(collections.Counter(r.split(":")[0] for r in results if r)))
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
