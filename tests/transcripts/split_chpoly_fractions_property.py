#!/usr/bin/env python3
"""Chpoly of random matrices of fractions in a free y over field relations
that the prime splits (partly: towers modulo 23, 7 and 65521, t^3 - 2
modulo 23, GF(2^8); into linear factors; t^2 modulo 5, no copies), over Q,
and without the flag. Dense, dense fraction-free (&(K = 1)), sparse and
sparse by the recurrence (Chpoly([s], 1)) must give one value c, with no x
in its denominator, the coefficient of x^n (-1)^n and c(v) = (-1)^n
Det(vI - A) at n + 1 points v. "Division by zero." is allowed only where
no copies are built.

  split_chpoly_fractions_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import random
import re
import subprocess
import sys

from case_report import report

# (modulus, [(variable, relation, flag)], elements that vanish in some copy or none)
RINGS = [(23, [("s", "s^2 - 5", 1), ("t", "t^2 - 2", 1)], ["t - 5", "t - 18", "s + t - 5", "(t - 18)*s", "2*t + s"]),
         (7, [("s", "s^2 - 3", 1), ("t", "t^2 - 2", 1)], ["t - 3", "t - 4", "s + t - 3", "(t - 4)*s", "s + 2"]),
         (65521, [("s", "s^2 - 17", 1), ("t", "t^2 - 3", 1)], ["t - 627", "(t + 627)*s", "s + t - 627", "t + s"]),
         (23, [("t", "t^3 - 2", 1)], ["t - 16", "t^2 - 7*t + 3", "(t - 16)*t", "2*t + 1"]),
         (256, [("t", "t^4 + t^3 + t^2 + 1", 1)], ["t + 1", "t^3 + t + 1", "(t + 1)*t", "t^2 + 5"]),
         (7, [("t", "t^2 - 2", 1)], ["t - 3", "t - 4", "2*t + 1"]),
         (5, [("t", "t^2", 1)], ["t", "t + 1", "2*t + 1"]),
         (0, [("t", "t^2 - 2", 1)], ["t - 3", "2*t + 1"]),
         (7, [("t", "t^2 - 2", 0)], ["t - 3", "t - 4", "2*t + 1"])]
SHAPES = ["{e}", "({e})*y + {f}", "(({e})*y + {f})/(y + 6)", "({e} + y)/(y^2 + {f} + 3)", "({e})/(y + 2*({f}) + 1)"]


def case_lines(k, m, routes):
    n, sign = len(m), (-1) ** len(m)
    cells = lambda f: ", ".join(f(i, j) for j in range(n) for i in range(n))
    lines = [f"!!('c{k} begin', 1);", f"Array a{k}[{n},{n}], b{k}[{n},{n}] Sparse, e{k}[{n},{n}];",
             f"[a{k}] := [({cells(lambda i, j: m[i][j])})]:", f"[b{k}] := [a{k}]:", f"c{k}0 := Chpoly([a{k}]):",
             f"c{k}2 := Chpoly([b{k}]):", "&(K = 1);", f"c{k}1 := Chpoly([a{k}]):", "&(K = 0);"]
    lines += [f"c{k}3 := Chpoly([b{k}], 1):"] * (routes == 4)
    for r in range(routes):
        c = f"c{k}{r}"
        lines += [f"!!('c{k} den{r}', Denom({c})#(x = 0) - Denom({c}));", f"!!('c{k} deg{r}', Deg({c}, x) - {n});",
                  f"!!('c{k} lc{r}', Lc(Numer({c})) - ({sign})*Denom({c}));", f"!!('c{k} same{r}', {c} - c{k}0);"]
    for v in range(n + 1):
        lines += [f"[e{k}] := [({cells(lambda i, j: f'{v}*{int(i == j)} - ({m[i][j]})')})]:",
                  f"!!('c{k} at{v}', c{k}0#(x = {v}) - ({sign})*Det[e{k}]);"]
    return lines


def main():
    binary = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    results, refused = [], 0
    for p, relations, elements in RINGS:
        cell = lambda: rng.choice(SHAPES).format(e=rng.choice(elements), f=rng.choice(elements + ["y", "1"]))
        # The recurrence needs 1 .. n invertible; without the flag it takes minutes.
        routes = 3 if p == 256 or not relations[0][2] else 4
        cases = [[[cell() if rng.random() < 0.55 else "0" for _ in range(n)] for _ in range(n)]
                 for n in (rng.randint(3, 4 if p == 5 else 5) for _ in range(count))]
        lines = [f"&(p = {p});"] * (p > 0) + [f"&(J = {v});\n&(P = {r}{', 1' * f});" for v, r, f in relations]
        lines += ["&(J = y);", "&(J = x);"] + [ln for k, m in enumerate(cases) for ln in case_lines(k, m, routes)]
        out = subprocess.run([binary], input="\n".join(lines) + f"\n!!('c{count} begin', 1);\n&q;\n",
                             capture_output=True, text=True, timeout=300).stdout.replace(" `\n", " ")
        for k, m in enumerate(cases):
            seg = out[out.find(f"c{k} begin"):out.find(f"c{k + 1} begin")]
            if "Division by zero." in seg and relations[0][1] == "t^2":
                refused += 1
                continue
            got = re.findall(rf"^>?c{k} (\w+) (.*)$", seg, re.M)
            bad = [f"{key} {value[:80]}" for key, value in got if key != "begin" and value.strip() != "0"]
            expected = 1 + 4 * routes + len(m) + 1
            if "Division by zero." in seg or "Tarvex error" in seg or len(got) != expected:
                bad.append(f"{len(got)} of {expected} lines, refused or stopped")
            results.append(f"p={p} {relations} {m}: {bad}" if bad else None)
    print(f"{refused} cases refused")
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
