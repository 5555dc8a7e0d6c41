#!/usr/bin/env python3
"""One integer is one element of GF(2^8) and of GF(2^16), whatever road it
takes into the field: typed there as a literal, stored first (a scalar, a
dense and a sparse array cell, a polynomial's coefficients, a rational's
numerator and denominator) and converted by the change of ground ring, or
read by the integer evaluator of a function. Random integers of every
length (below 10^8, up to 2^31, long), either sign, from a fixed seed.
Independently of the conversions, a literal of nine or more digits is
checked against its decimal limbs joined by field arithmetic:
N = (N div 10^8) * 100000000 + (N mod 10^8).

  field_one_map.py TARVEX
"""
import random
import subprocess
import sys
from fractions import Fraction

COUNT = 30


def number(rng):
    kind = rng.randrange(4)
    if kind == 0:
        return rng.randrange(1, 10**8)
    if kind == 1:
        return rng.randrange(10**8, 2**31)
    if kind == 2:
        return rng.randrange(2**31, 10**18)
    return rng.randrange(10**17, 10**rng.randrange(18, 60))


def program(rng, field):
    out = ["&(p = _i);", "&(J = x);", f"Array a[{COUNT}];", f"Array b[{COUNT},2] Sparse;"]
    checks = []
    for i in range(1, COUNT + 1):
        n = number(rng) * rng.choice((1, -1))
        m = rng.randrange(1, 10**rng.randrange(1, 30)) | 1
        out += [f"s{i} := {n}:", f"a[{i}] := {n}:", f"b[{i},1] := {n}:", f"y{i} := {n}*x^2 + {m}:",
                f"r{i} := {n}/{m}:"]
        q = Fraction(n, m)
        checks += [f"s{i} - {n}", f"a[{i}] - {n}", f"b[{i},1] - {n}", f"y{i} - ({n}*x^2 + {m})",
                   f"r{i} - {q.numerator}/{q.denominator}"]
        a = abs(n)
        if a >= 10**8:
            checks.append(f"{a} - ({a // 10**8}*100000000 + {a % 10**8})")
        # The integer evaluator reads its own literals (of one digit).
        c = a if a < 2**28 else 10**8 + a % (2**28 - 10**8)
        out.append(f"Func F{i}(k) = Integer; k - {c}.")
        checks.append(f"F{i}({c})")
    out.append(f"&(p = {field});")
    out += [f"!!('check', {c});" for c in checks]
    return "\n".join(out) + "\n", len(checks)


def main(argv):
    binary = argv[1]
    rng = random.Random(5510)
    failed = 0
    for field in (256, 65536):
        text, expected = program(rng, field)
        run = subprocess.run([binary], input=text.encode(), capture_output=True, timeout=120)
        out = run.stdout.decode("utf-8", "replace")
        results = [line.split()[1:] for line in out.splitlines() if line.lstrip(">").startswith("check")]
        if run.returncode != 0 or len(results) != expected:
            print(f"GF({field}): exit {run.returncode}, {len(results)} of {expected} checks ran")
            print(out[-2000:])
            failed += 1
            continue
        bad = [i for i, r in enumerate(results) if r != ["0"]]
        for i in bad[:10]:
            print(f"GF({field}): check {i} gave {results[i]}")
        failed += bool(bad)
    print("field_one_map:", "FAILED" if failed else "passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
