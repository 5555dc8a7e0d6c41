#!/usr/bin/env python3
"""Determinants modulo composite numbers, against an exact reference.

Random integer matrices, dense and sparse, often with a row or a column of
zeros, go through Det modulo 4, 6, 9, 12, 15 and 25 under random pivot
heuristics and method switches. The determinant over Z of the integer
representatives, reduced modulo m, is the true value in Z/m; the answer
must be it. A refusal for want of an inverse is accepted only when
elimination with a unit pivot taken anywhere in the remaining block also
gets stuck (a block holding no unit, yet not all zero): a matrix with a
zero line, or one that such elimination finishes, has no excuse.

  det_composite_property.py TARVEX [COUNT [SEED]]
"""
import math
import random
import subprocess
import sys

MODULI = [4, 6, 9, 12, 15, 25]
MARK = "RQZ"
SWITCHES = [["&(u = %d);" % u for u in range(7)], ["&(D = %d);" % d for d in (-1, 0, 1, 2, 3, 5)],
            ["&(K = 0);", "&(K = 1);"], ["&(L = 1);", "&(L = 5000);"]]
RESET = ["&(u = 0);", "&(D = -1);", "&(K = 0);", "&(L = 5000);"]


def int_det(a):
    """Exact determinant over Z by fraction-free elimination."""
    a = [row[:] for row in a]
    n, sign, prev = len(a), 1, 1
    for k in range(n - 1):
        p = next((i for i in range(k, n) if a[i][k] != 0), None)
        if p is None:
            return 0
        if p != k:
            a[k], a[p] = a[p], a[k]
            sign = -sign
        for i in range(k + 1, n):
            for j in range(k + 1, n):
                a[i][j] = (a[k][k] * a[i][j] - a[i][k] * a[k][j]) // prev
        prev = a[k][k]
    return sign * a[n - 1][n - 1] if n else 1


def unit_elimination_stuck(a, m):
    """True when elimination over Z/m with unit pivots meets a non-zero
    block that holds no unit."""
    a = [[x % m for x in row] for row in a]
    n = len(a)
    for k in range(n):
        spot = next(((i, j) for i in range(k, n) for j in range(k, n) if math.gcd(a[i][j], m) == 1), None)
        if spot is None:
            return any(a[i][j] for i in range(k, n) for j in range(k, n))
        i, j = spot
        a[k], a[i] = a[i], a[k]
        for row in a:
            row[k], row[j] = row[j], row[k]
        inv = pow(a[k][k], -1, m)
        for r in range(k + 1, n):
            f = a[r][k] * inv % m
            for c in range(k, n):
                a[r][c] = (a[r][c] - f * a[k][c]) % m
    return False


def make_case(rng):
    n = rng.randint(1, 7)
    m = rng.choice(MODULI)
    a = [[rng.choice([0, 0, 1, -1, rng.randint(-30, 30), m // math.gcd(m, 6) * rng.randint(1, 3)])
          for _ in range(n)] for _ in range(n)]
    if rng.random() < 0.6:
        line = rng.randrange(n)
        for i in range(n):
            if rng.random() < 0.5:
                a[line][i] = 0
            else:
                a[i][line] = 0
        if rng.random() < 0.5:
            for i in range(n):
                a[line][i] = 0
        else:
            for i in range(n):
                a[i][line] = 0
    sparse = rng.random() < 0.6
    runs = [sorted(rng.sample(range(4), rng.randint(0, 4))) for _ in range(3)]
    settings = [[rng.choice(SWITCHES[s]) for s in run] for run in runs]
    return n, m, a, sparse, settings


def script(n, m, a, sparse, settings):
    lines = [f"&(p = {m});", f"Array a[{n},{n}]{' Sparse' if sparse else ''};"]
    for i in range(n):
        for j in range(n):
            if a[i][j] or not sparse:
                lines.append(f"a[{i + 1},{j + 1}] := {a[i][j]};")
    for s in settings:
        lines += s + [f"!('{MARK}');", "Det[a];"] + RESET
    return lines


def answers(out):
    """What each Det gave: an integer, 'refused' for want of an inverse,
    or None. After the mark come the mark statement's own value and a
    prompt, and then the determinant or its error."""
    got = []
    for chunk in out.split(MARK)[1:]:
        parts = chunk.split(">")
        lines = [t.strip() for t in parts[1].splitlines() if t.strip()] if len(parts) > 1 else []
        if any("not invertible" in t for t in lines):
            got.append("refused")
        elif lines and lines[0].lstrip("-").isdigit():
            got.append(int(lines[0]))
        else:
            got.append(None)
    return got


def main(argv):
    binary = argv[1]
    count = int(argv[2]) if len(argv) > 2 else 200
    seed = int(argv[3]) if len(argv) > 3 else 7
    failures = 0
    for case in range(count):
        rng = random.Random(seed * 100003 + case)
        n, m, a, sparse, settings = make_case(rng)
        lines = script(n, m, a, sparse, settings)
        proc = subprocess.run([binary], input=("\n".join(lines) + "\n").encode(), capture_output=True, timeout=60)
        out = proc.stdout.decode("utf-8", "replace")
        want = int_det(a) % m
        zero_line = any(not any(r) for r in a) or any(not any(r[j] for r in a) for j in range(n))
        excused = not zero_line and unit_elimination_stuck(a, m)
        got = answers(out)
        bad = []
        if proc.returncode != 0 or "Tarvex error" in out or len(got) != len(settings):
            bad.append("run")
        for s, g in zip(settings, got):
            if g == "refused" and excused:
                continue
            if g is None or g == "refused" or g % m != want:
                bad.append(f"{' '.join(s) or 'defaults'}: got {g}, want {want} (mod {m})")
        if bad:
            failures += 1
            print(f"case {case}: " + "; ".join(bad))
            if failures <= 5:
                print("\n".join(lines))
    print(f"{count - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
