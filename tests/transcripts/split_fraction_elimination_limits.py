#!/usr/bin/env python3
"""Eliminations of fraction matrices over field relations that the prime
splits keep their values and stay quick.

The 5x5 inverse and Adjoint of (x + i t + j^2)/(y + i + 2j) modulo 7
under t^2 - 2 declared a field are held to a limit of processor time
(a common factor left in one copy swelled every step: minutes, not a tenth
of a second), [a]*[c] is the identity, [a]*Adjoint[a] is Det[a] times it,
and no denominator of the inverse passes degree 5 in x (Det[a]'s).
Random small matrices of fractions, dense and sparse, over split rings
(modulo 7, 65521, 3 and a tower modulo 17), some coefficients zero
divisors: Adjoint and the inverse satisfy the same identities, and the
inverse is refused with "Division by zero." exactly where Det[a] vanishes
in some copy (Numer(Det[a]) times the product over the levels of
(v - the other root) is 0).

  split_fraction_elimination_limits.py TARVEX [SEED] [CASES] [SCALE]

SCALE multiplies the limits (a sanitizer build runs a few times slower).
"""
import itertools
import os
import random
import re
import sys
import tempfile

from case_report import report
from cpu_limited import run_held

# (modulus, [(variable, relation, roots)]) innermost first; every relation
# declared a field and split by the modulus into distinct linear factors.
RINGS = [(7, [("t", "t^2 - 2", (3, 4))]), (65521, [("t", "t^2 - 3", (627, 64894))]), (3, [("t", "t^2 - 1", (1, 2))]),
         (17, [("t", "t^2 - 2", (6, 11)), ("s", "s^2 - 8", (5, 12))])]


def head(p, levels):
    lines = [f"&(p = {p}):"] + [f"&(J = {v}):" for v, _, _ in levels] + ["&(J = y):", "&(J = x):"]
    return "\n".join(lines + [f"&(P = {rel}, 1):" for _, rel, _ in levels]) + "\n"


def all_ok(name, cell, diagonal, n):
    """Lines `name h`, h each cell minus diagonal on the diagonal, else the
    cell (written out: a loop's counter is a residue modulo 3)."""
    return "".join(f"!!('{name}', {cell}[{i},{j}]{' - ' + diagonal if i == j else ''});\n"
                   for i in range(1, n + 1) for j in range(1, n + 1))


def verdicts(out, n):
    """name -> "1" when its n*n lines all show 0, "0" when some does not
    (or some is missing); single lines (zd, swelled) as shown."""
    seen = {}
    for name, value in re.findall(r"^>?\s*(zd|adj|inv|swelled) (\S+)", out, re.M):
        seen.setdefault(name, []).append(value)
    shown = {k: v[0] for k, v in seen.items() if k in ("zd", "swelled")}
    for k in ("adj", "inv"):
        if k in seen:
            shown[k] = "1" if seen[k] == ["0"] * (n * n) else "0"
    return shown


def identities(n, adjoint=True):
    s = "g := Det[a]:\n"
    if adjoint:
        s += "[e] := Adjoint[a]:\n[f] := [a]*[e]:\n"
        s += all_ok("adj", "f", "g", n)
    s += "[c] := 1/[a]:\n[d] := [a]*[c]:\n" + all_ok("inv", "d", "1", n)
    return s


def copies_text(levels):
    """For each copy the product over the levels of (v - the other root)."""
    return ["*".join(f"({v} - {rs[1 - k]})" for (v, _, rs), k in zip(levels, choice))
            for choice in itertools.product((0, 1), repeat=len(levels))]


def coef(rng, p, levels):
    c = f"{rng.randint(1, p - 1)}"
    for v, _, rs in levels:
        if rng.random() < 0.6:
            c += f" + {rng.randint(1, p - 1)}*{v}"
        if rng.random() < 0.25:
            c = f"({c})*({v} - {rs[0]})"   # a zero divisor
    return f"({c})"


def random_case(rng, i):
    p, levels = RINGS[i % len(RINGS)]
    n = rng.randint(2, 4)
    sparse = (i // len(RINGS)) % 2 == 1
    s = head(p, levels) + f"Array a[{n},{n}]{' Sparse' if sparse else ''}, c[{n},{n}], d[{n},{n}], e[{n},{n}], f[{n},{n}]:\n"
    for r in range(1, n + 1):
        for q in range(1, n + 1):
            if rng.random() < 0.2:
                s += f"a[{r},{q}] := 0:\n"
                continue
            num = f"{coef(rng, p, levels)}*x + {coef(rng, p, levels)}*y + {coef(rng, p, levels)}"
            den = rng.choice(["1", f"y + {rng.randint(0, p - 1)}", f"x + {rng.randint(1, 3)}*y + {coef(rng, p, levels)}"])
            s += f"a[{r},{q}] := ({num})/({den}):\n"
    s += "g := Det[a]:\nzd := 0:\n"
    for e in copies_text(levels):
        s += f"h := Numer(g)*{e}:\nif Equal(h, 0) then zd := 1 fi:\n"
    s += "!!('zd', zd);\n"
    # Adjoint takes dense arrays only.
    return s + identities(n, adjoint=not sparse), n, sparse


def judge_random(tarvex, script, n, sparse, cwd, scale):
    out = run_held(tarvex, script, 2 * scale, text=True, cwd=cwd)
    if out is None:
        return "no answer in time\n" + script
    shown = verdicts(out.stdout, n)
    refused = "Division by zero." in out.stdout or "*** Error" in out.stdout
    wrong = []
    if not sparse and shown.get("adj") != "1":
        wrong.append(f"[a]*Adjoint[a] is not Det[a] times the identity ({shown.get('adj')})")
    if sparse and "not all invertible here" in out.stdout:
        pass   # the sparse inverse divides by 1 .. n: refused modulo 3
    elif shown.get("zd") == "1":
        if not refused:
            wrong.append("an inverse of a matrix whose Det vanishes in a copy")
    elif shown.get("zd") != "0" or refused or shown.get("inv") != "1":
        wrong.append(f"the inverse: zd {shown.get('zd')}, inv {shown.get('inv')}, refused {refused}")
    return "; ".join(wrong) + "\n" + script + out.stdout[-600:] if wrong else None


def limits(tarvex, cwd, scale):
    """The 5x5 inverse and Adjoint of the cliff: hundredths of a second."""
    script = head(7, [("t", "t^2 - 2", (3, 4))])
    script += "Array a[5,5], c[5,5], d[5,5], e[5,5], f[5,5]:\n"
    script += "[a] := [<i = 1, 5><j = 1, 5> (x + i*t + j^2)/(y + i + 2*j)]:\n" + identities(5)
    script += ("top := 0:\nfor i = 1 to 5 do for j = 1 to 5 do "
               "if Deg(Denom(c[i,j]), x) > 5 then top := 1 fi od od:\n!!('swelled', top);\n")
    out = run_held(tarvex, script, 0.5 * scale, text=True, cwd=cwd)
    if out is None:
        return f"the 5x5 inverse and Adjoint took more than {2 * scale} s of processor time"
    shown = verdicts(out.stdout, 5)
    if shown != {"adj": "1", "inv": "1", "swelled": "0"}:
        return f"the 5x5 inverse and Adjoint: {shown}\n" + out.stdout[-600:]
    return None


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 86)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 24
    scale = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    with tempfile.TemporaryDirectory() as cwd:
        results = [limits(tarvex, cwd, scale)]
        for i in range(cases):
            script, n, sparse = random_case(rng, i)
            results.append(judge_random(tarvex, script, n, sparse, cwd, scale))
    sys.exit(report(results))


if __name__ == "__main__":
    main()
