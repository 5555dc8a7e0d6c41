#!/usr/bin/env python3
"""Quotient arithmetic over relation rings has one normal form.

Random quotients a = A1/A2 and b = B1/B2 over relations that make no
domain (t^2, t^3 - t without the field flag, t^2 - 2 and t^2 + 1 without
it, field relations a prime splits), a tower, fields and Laurent mode, over
the rationals and modulo primes large and below the degrees, and in
GF(2^8). In one session:

  - a + b, a - b, a*b, a/b and a^2 show what the same value typed as one
    quotient of the cross-multiplied parts of a and b shows; so do the sum
    and product of the two taken from array cells by Sigma and Prod;
  - a*A2 - A1 and (a + b)*A2*B2 - (A1*B2 + B1*A2) are 0;
  - the session's values read back from its save in a fresh process show
    as they did.

  relation_quotient_property.py TARVEX [SEED] [CASES]
"""
import os
import random
import subprocess
import sys
import tempfile

from case_report import report

# (modulus or "" for the rationals, relations, a tower over s, Laurent mode)
RINGS = [
    ("", "&(P = t^2);", False, False),
    ("", "&(P = t^2 - 2);", False, False),
    ("", "&(P = t^2 + 1);", False, False),
    ("", "&(P = t^3 - t);", False, False),
    ("3", "&(P = t^2);", False, False),
    ("7", "&(P = t^2 - 2, 1);", False, False),
    ("5", "&(P = t^2 + 1, 1);", False, False),
    ("101", "&(P = t^2 - 3);", False, False),
    ("3", "&(P = t^2 + 1, 1);", False, False),
    ("256", "&(P = t^2 + t, 1);", False, False),
    ("", "&(P = s^2 - 3, 1);\n&(P = t^2 - 3);", True, False),
    ("7", "&(P = s^2 - 2, 1);\n&(P = t^2 - s*t);", True, False),
    ("", "&(P = t^2 - 2, 1);", False, False),
    ("", "&(P = t^2 - 2, 1);", False, True),
    ("7", "&(P = t^2 - 2, 1);", False, True),
]
# The typed quotients cross-multiply the stored parts: over a ring that is
# no domain a quotient's normal form may depend on the parts it is typed
# from (a gcd there is proved in part only), so the parts of a and b as
# stored are what an operation on a and b has to agree with.
N = {"A1": "Numer(a)", "A2": "Denom(a)", "B1": "Numer(b)", "B2": "Denom(b)"}
OPS = {
    "add": ("a + b", "({A1}*{B2} + {B1}*{A2})/({A2}*{B2})"),
    "sub": ("a - b", "({A1}*{B2} - {B1}*{A2})/({A2}*{B2})"),
    "mul": ("a*b", "({A1}*{B1})/({A2}*{B2})"),
    "div": ("a/b", "({A1}*{B2})/({A2}*{B1})"),
    "pow": ("a^2", "({A1}^2)/({A2}^2)"),
    "sig": ("Sigma<i = 1, 2>(w[i])", "({A1}*{B2} + {B1}*{A2})/({A2}*{B2})"),
    "prd": ("Prod<i = 1, 2>(w[i])", "({A1}*{B1})/({A2}*{B2})"),
}
# Zero with the parts typed (s·b - a for s = a/b).
ZERO = {
    "inv": "a*({A2}) - ({A1})",
    "sum": "(a + b)*({A2})*({B2}) - (({A1})*({B2}) + ({B1})*({A2}))",
}


def coef(rng, tower):
    c = [str(rng.randint(-3, 3))]
    if rng.random() < 0.7:
        c.append(f"{rng.randint(-2, 2)}*t")
    if tower and rng.random() < 0.5:
        c.append(f"{rng.randint(-1, 1)}*s")
    return "(" + " + ".join(c) + ")"


def poly(rng, tower, deg):
    """Monic in x (so no zero divisor), sometimes with a factor x or x + t
    that the other quotient shares."""
    terms = [f"x^{deg}"] + [f"{coef(rng, tower)}*x^{e}" for e in range(deg)]
    p = "(" + " + ".join(terms) + ")"
    shared = rng.random()
    if shared < 0.25:
        p += "*x"
    elif shared < 0.5:
        p += "*(x + t)"
    return "(" + p + ")"


def script_of(rng, i):
    ground, rels, tower, laurent = RINGS[i % len(RINGS)]
    head = ("&(J = s);\n" if tower else "") + "&(J = t);\n&(J = x);\n"
    if ground:
        head += f"&(p = {ground});\n"
    if laurent:
        head += "&(l = 1);\n"
    head += rels + "\n"
    parts = {k: poly(rng, tower, rng.randint(0 if k == "A1" else 1, 2)) for k in ("A1", "A2", "B1", "B2")}
    body = f"a := {parts['A1']}/{parts['A2']};\nb := {parts['B1']}/{parts['B2']};\n"
    body += "Array w[2];\nw[1] := a;\nw[2] := b;\n"
    for name, (op, typed) in OPS.items():
        body += f"r{name} := {op};\n!!('{name}', r{name});\n!!('{name}T', {typed.format(**N)});\n"
    for name, expr in ZERO.items():
        body += f"!!('{name}', {expr.format(**parts)});\n"
    return head, body


def shown(out):
    # A long value is broken over lines where a space may or may not stand.
    out = out.replace(" `\n", "")
    values = {}
    for ln in out.splitlines():
        ln = ln.lstrip(">").strip()
        key, _, value = ln.partition(" ")
        if key and value and key.isalpha() and key not in values:
            values[key] = "".join(value.split())
    return values


def run(tarvex, script, cwd):
    return subprocess.run([tarvex], input=script, capture_output=True, text=True, cwd=cwd, timeout=60).stdout


def judge(tarvex, head, body, cwd):
    first = run(tarvex, head + body + "&(S = 'q.sav');\n&s;\n&(S = @);\n", cwd)
    if "Tarvex error" in first:
        return "internal error"
    got = shown(first)
    wrong = []
    for name in OPS:
        if got.get(name) != got.get(name + "T"):
            wrong.append(f"{name}: {got.get(name)} where one quotient shows {got.get(name + 'T')}")
    for name in ZERO:
        if got.get(name) != "0":
            wrong.append(f"{name}: {got.get(name)}, not 0")
    probe = "".join(f"!!('{name}', r{name});\n" for name in OPS)
    again = shown(run(tarvex, "&(R = 'q.sav');\n&(R = @);\n" + probe, cwd))
    for name in OPS:
        if got.get(name) and again.get(name) != got.get(name):
            wrong.append(f"{name} read back: {again.get(name)} where the session showed {got.get(name)}")
    return "; ".join(wrong) + "\n" + head + body if wrong else None


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 4)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    results = []
    with tempfile.TemporaryDirectory() as cwd:
        for i in range(cases):
            head, body = script_of(rng, i)
            results.append(judge(tarvex, head, body, cwd))
    sys.exit(report(results))


if __name__ == "__main__":
    main()
