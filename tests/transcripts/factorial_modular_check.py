#!/usr/bin/env python3
"""The factorial of a typed integer in modular mode is n! reduced, n read as
the integer typed and not as its residue: random n (below and above the
modulus, up to the factorial's limit) over prime and composite moduli,
small and word-sized, alone and inside sums, products and negations; the
expected residues are worked out here with Python integers. Arguments at
the limit or past 32 bits are the factorial's error, and characteristic 2
refuses every factorial.

  factorial_modular_check.py TARVEX [SEED]
"""
import math
import os
import random
import subprocess
import sys

MODULI = [7, 11, 101, 9, 10, 65521, 2147483629]
LIMIT = 46341          # the factorial's bound in modular mode


def run(tarvex, lines):
    out = subprocess.run([tarvex], input="\n".join(lines) + "\n", capture_output=True,
                         text=True, timeout=120).stdout
    blocks = [b.strip() for b in out.split("\n>")[1:]]
    return [b for b in blocks if b != "bye"], out


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 2121)
    failures = 0
    for m in MODULI:
        lines = ["&(p = %d);" % m]
        want = []
        ns = [0, 1, m - 1, m, m + 1, 2 * m + 3] + [rng.randint(0, 3 * m + 30) for _ in range(6)]
        ns = [n for n in ns if 0 <= n < 2000]     # keeps the products quick
        for n in ns:
            c = rng.randint(2, 9)
            lines += ["%d!;" % n, "-%d!;" % n, "%d*%d! + 1;" % (c, n)]
            f = math.factorial(n) % m
            want += [f, -f % m, (c * f + 1) % m]
        got, raw = run(tarvex, lines)
        got = got[1:]
        if "Tarvex error" in raw or len(got) != len(want):
            print("modulus", m, "an internal error or a statement showing nothing")
            failures += 1
            continue
        for line, g, w in zip(lines[1:], got, want):
            try:
                seen = int(g) % m
            except ValueError:
                seen = None
            if seen != w:
                print("modulus %d: %s gave %r, want %d" % (m, line, g, w))
                failures += 1
    # The factorial's limits, in a prime field and in characteristic 2.
    lines = ["&(p = 7);", "%d!;" % LIMIT, "%d!;" % (LIMIT - 1), "%d!;" % (2 ** 32 + 3), "(3)!;",
             "&(p = _i);", "&(p = 256);", "3!;", "300!;"]
    got, raw = run(tarvex, lines)
    checks = [(1, "too large"), (2, "0"), (3, "too large"), (4, "-1"), (7, "characteristic 2"),
              (8, "characteristic 2")]
    for k, text in checks:
        if k >= len(got) or text not in got[k]:
            print(lines[k], "gave", got[k] if k < len(got) else None, "want", text)
            failures += 1
    if failures:
        sys.exit(1)
    print("Factorials in modular mode: all checks passed")


if __name__ == "__main__":
    main()
