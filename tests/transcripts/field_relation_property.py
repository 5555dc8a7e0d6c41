#!/usr/bin/env python3
"""Relations declared fields modulo small primes, drawn irreducible or
split as counted here by their roots (degree 2 and 3 over Z/p; towers
s^2 - a, t^2 + b*t + c*s + e, the upper level over Z/p[s]/(s^2 - a); in
GF(2^8) and GF(2^16) relations of degree prime to 8 and 16 that are
irreducible over Z/2 stay so): a + b, a - b, a*b and a/b of random
fractions, whose parts share factors x + t and x + r for roots r, show as
the same value typed as one quotient of the cross-multiplied parts.

  field_relation_property.py TARVEX [SEED] [CASES]
"""
import os
import random
import subprocess
import sys
import tempfile

from case_report import report
from relation_quotient_property import shown


def roots(coefs, p):
    """The roots in Z/p of the polynomial with coefficients coefs (constant first)."""
    return [r for r in range(p) if sum(c * r ** k for k, c in enumerate(coefs)) % p == 0]


def tower_field(p, a, b, c, e):
    """Z/p[s]/(s^2 - a)[t]/(t^2 + b t + c s + e) is a field: s^2 - a has no
    root in Z/p and the upper relation none among the p^2 elements u + v s."""
    if roots([-a, 0, 1], p):
        return False
    for u in range(p):
        for v in range(p):
            # (u + v s)^2 = u^2 + a v^2 + 2 u v s
            re = (u * u + a * v * v + b * u + e) % p
            im = (2 * u * v + b * v + c) % p
            if re == 0 and im == 0:
                return False
    return True


def one_level(rng):
    p = rng.choice([2, 3, 5, 7, 11, 13])
    d = rng.choice([2, 3])
    want = rng.random() < 0.5
    for _ in range(200):
        coefs = [rng.randrange(p) for _ in range(d)] + [1]
        found = roots(coefs, p)
        if (not found) == want:   # degree <= 3: irreducible iff no root
            break
    rel = " + ".join(f"{c}*t^{k}" for k, c in enumerate(coefs) if c)
    return p, f"&(J = t);\n&(P = {rel}, 1);\n", not found, [str(r) for r in found]


def tower(rng):
    p = rng.choice([3, 5, 7, 11, 13])
    a, b, c, e = rng.randrange(1, p), rng.randrange(p), rng.randrange(1, p), rng.randrange(p)
    field = tower_field(p, a, b, c, e)
    head = f"&(J = s);\n&(P = s^2 - {a}, 1);\n&(J = t);\n&(P = t^2 + {b}*t + {c}*s + {e}, 1);\n"
    lower = [str(r) for r in roots([-a, 0, 1], p)]
    return p, head, field, lower + ["s", "s + t"]


def binary_field(rng):
    p = rng.choice([256, 65536])
    rel, field = rng.choice([("t^3 + t + 1", True), ("t^5 + t^2 + 1", True), ("t^2 + t", False),
                             ("t^2 + t + 1", False)])
    return p, f"&(J = t);\n&(P = {rel}, 1);\n", field, ["1", "t + 1"] if not field else []


def part(rng, p, shared):
    terms = ["x^2"] + [f"({rng.randrange(p)} + {rng.randrange(p)}*t)*x^{k}" for k in (1, 0)]
    f = "(" + " + ".join(terms) + ")"
    if rng.random() < 0.6:
        f += f"*(x + {rng.choice(shared)})"
    return f


OPS = {"add": ("a + b", "(na*db + nb*da)/(da*db)"), "sub": ("a - b", "(na*db - nb*da)/(da*db)"),
       "mul": ("a*b", "(na*nb)/(da*db)"), "div": ("a/b", "(na*db)/(da*nb)")}


def script_of(rng, i):
    p, head, field, roots_of = [one_level, tower, binary_field][i % 3](rng)
    shared = ["t", "t + 1"] + roots_of
    text = f"&(p = {p});\n{head}&(J = x);\n"
    text += f"a := {part(rng, p, shared)}/{part(rng, p, shared)};\n"
    text += f"b := {part(rng, p, shared)}/{part(rng, p, shared)};\n"
    text += "na := Numer(a):\nda := Denom(a):\nnb := Numer(b):\ndb := Denom(b):\n"
    for name, (op, typed) in OPS.items():
        text += f"!!('{name}', {op});\n!!('{name}T', {typed});\n"
    return text, field


def judge(tarvex, script, field, cwd):
    out = subprocess.run([tarvex], input=script, capture_output=True, text=True, cwd=cwd, timeout=60).stdout
    if "Tarvex error" in out:
        return "internal error\n" + script
    got = shown(out)
    wrong = [f"{n}: {got.get(n)} where one quotient shows {got.get(n + 'T')}" for n in OPS
             if got.get(n) != got.get(n + "T")]
    return f"{'field' if field else 'split'}: " + "; ".join(wrong) + "\n" + script if wrong else None


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 77)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 36
    with tempfile.TemporaryDirectory() as cwd:
        results = [judge(tarvex, *script_of(rng, i), cwd) for i in range(cases)]
    sys.exit(report(results))


if __name__ == "__main__":
    main()
