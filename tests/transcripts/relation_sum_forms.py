#!/usr/bin/env python3
"""Chains of sums of fractions under relations without the field flag keep
their values and the forms of one typed quotient, and long sums stay quick.

Random chains r := r + f (or r - f) over relations that split, do not
split, have nilpotents, modulo primes large and small and in GF(2^8),
denominators sometimes repeated: at every step the sum shows the parts
that its value typed as one quotient of the cross-multiplied stored parts
shows (over one denominator, the typed quotient of the numerators' sum
over it), and at the end Numer(r)*D - Denom(r)*N is 0 for N/D the same sum
formed by polynomial arithmetic alone. (Modulo a composite number
fractions take the quotient of their written form, another road.) A sum
of 15 fractions in three variables and an 8x8 Det (also over a field's
relation that the prime splits) are held to a limit of processor time.

  relation_sum_forms.py TARVEX [SEED] [CASES] [SCALE]

SCALE multiplies the limits (a sanitizer build runs a few times slower).
"""
import os
import random
import re
import sys
import tempfile

from case_report import report
from cpu_limited import run_held

# (modulus or "" for the rationals, relation)
RINGS = [("", "t^2 - 1"), ("", "t^2 + 1"), ("", "t^2"), ("", "t^3 - t"), ("65521", "t^2 + 3"),
         ("7", "t^2 + 1"), ("3", "t^2 - 1"), ("2", "t^2 + t"), ("256", "t^2 + t")]
HEAD = "&(J = t):\n{mod}&(P = {rel}):\n&(J = x):\n&(J = y):\n"


def coef(rng):
    return f"({rng.randint(-3, 3)} + {rng.randint(-2, 2)}*t)"


def fraction(rng, dens):
    num = " + ".join(f"{coef(rng)}*x^{rng.randint(0, 2)}*y^{rng.randint(0, 1)}" for _ in range(rng.randint(1, 3)))
    if dens and rng.random() < 0.3:
        den = rng.choice(dens)   # a denominator met before: a common factor
    else:
        den = f"x + {rng.randint(-2, 2)}*y + {coef(rng)}"   # monic in x: no zero divisor
    return num, den


def session(rng, i):
    mod, rel = RINGS[i % len(RINGS)]
    script = HEAD.format(mod=f"&(p = {mod}):\n" if mod else "", rel=rel)
    parts, dens, signs = [], [], []
    for _ in range(rng.randint(3, 6)):
        num, den = fraction(rng, dens)
        parts.append((num, den))
        dens.append(den)
        signs.append(rng.choice("+-"))
    script += f"r := ({parts[0][0]})/({parts[0][1]}):\nnn := {parts[0][0]}:\ndd := {parts[0][1]}:\n"
    for k, ((num, den), s) in enumerate(zip(parts[1:], signs[1:]), 1):
        # Over one denominator the numerators add over it.
        script += (f"f := ({num})/({den}):\nhr := Denom(r):\nhf := Denom(f):\n"
                   f"if Equal(hr, hf) then e := (Numer(r) {s} Numer(f))/hr "
                   f"else e := (Numer(r)*hf {s} Numer(f)*hr)/(hr*hf) fi:\n"
                   f"r := r {s} f:\n"
                   f"!!('n{k}', Numer(r) - Numer(e));\n!!('d{k}', Denom(r) - Denom(e));\n"
                   f"nn := nn*({den}) {s} ({num})*dd:\ndd := dd*({den}):\n")
    return script + "!!('value', Numer(r)*dd - Denom(r)*nn);\n"


def judge(tarvex, script, cwd):
    out = run_held(tarvex, script, 10, text=True, cwd=cwd)
    if out is None:
        return "no answer in time\n" + script
    shown = {}
    for ln in out.stdout.splitlines():
        key, _, value = ln.lstrip(">").strip().partition(" ")
        if key and value:
            shown[key] = value.strip()
    checks = [k for k in shown if k[0] in "nd" and k[1:].isdigit()] + ["value"]
    wrong = [f"{k}: {shown.get(k)}" for k in checks if shown.get(k) != "0"]
    if re.search(r"^>?\*\*\*", out.stdout, re.M):
        wrong.append("an error")
    return "; ".join(wrong) + "\n" + script if wrong else None


def long_sum(tarvex, cwd, scale=1):
    """15 fractions in x, y, z: a fraction of a second, not half a minute."""
    script = HEAD.format(mod="", rel="t^2 - 1") + "&(J = z):\n"
    script += ("s := Sigma<i = 1, 15>((x + t)/(x*y + i*z + t)):\n"
               "nn := 0:\ndd := 1:\n"
               "for i = 1 to 15 do nn := nn*(x*y + i*z + t) + (x + t)*dd; dd := dd*(x*y + i*z + t); od:\n"
               "!!('value', Numer(s)*dd - Denom(s)*nn);\n")
    out = run_held(tarvex, script, scale, text=True, cwd=cwd)
    if out is None:
        return f"the sum of 15 fractions took more than {4 * scale} s of processor time"
    if "value 0" not in out.stdout:
        return "the sum of 15 fractions is wrong:\n" + out.stdout[-400:]
    return None


def long_det(tarvex, cwd, mod="", rel="t^2 - 1", seconds=1.0):
    """Det 8x8 of small polynomials: the elimination suspends the relation
    and cancels plain polynomials, under a second, not ten. Under a field's
    relation that the prime splits (t^2 - 3 modulo 65521) the fractions are
    multiplied and cancelled in the copies: 2.4 s, not 9.5 (held to 8)."""
    rng = random.Random(8)
    monomials = ["1", "x", "y", "z", "x*y", "y*z", "x^2", "z^2"]
    cells = [" + ".join(f"({rng.randint(0, 12)} + {rng.randint(0, 12)}*t)*{m}"
                        for m in rng.sample(monomials, rng.randint(1, 3))) for _ in range(64)]
    script = HEAD.format(mod=mod, rel=rel) + "&(J = z):\nArray a[8,8]:\n"
    script += "[a] := [(" + ", `\n".join(cells) + ")]:\nd := Det[a]:\n!!('terms', Terms(d));\n"
    out = run_held(tarvex, script, seconds, text=True, cwd=cwd)
    if out is None:
        return f"Det 8x8 under {rel} took more than {4 * seconds} s of processor time"
    if not re.search(r"^>?terms [1-9]", out.stdout, re.M):
        return "Det 8x8 shows no value:\n" + out.stdout[-400:]
    return None


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 77)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    scale = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    with tempfile.TemporaryDirectory() as cwd:
        results = [judge(tarvex, session(rng, i), cwd) for i in range(cases)]
        results.append(long_sum(tarvex, cwd, scale))
        results.append(long_det(tarvex, cwd, seconds=scale))
        results.append(long_det(tarvex, cwd, "&(p = 65521):\n", "t^2 - 3, 1", 2 * scale))
    sys.exit(report(results))


if __name__ == "__main__":
    main()
