#!/usr/bin/env python3
"""Arithmetic modulo mod-out relations checked against sympy: x (inner)
carries a monic relation mx(x) (binomial or general), y (outer) a monic
relation my(y) whose coefficients are polynomials in x. Values stored before
the relations are declared must come out reduced, and so must random sums,
products and powers typed afterwards. Each displayed result must

  - lie below the relations' degrees in both variables (read from the
    display itself), and
  - equal sympy's normal form of the same value modulo the two relations
    (lex order y > x, a Groebner basis since the leading monomials are
    coprime), over the rationals or modulo a prime.

  modout_differential.py TARVEX [SESSIONS] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import X, Y, sympy  # noqa: E402

LOCALS = {"x": X, "y": Y}


def text_of(relation, var, degree):
    """The relation as typed: its leading power first (a leading "-" would
    ask for removal)."""
    rest = sympy.expand(relation - var**degree)
    return f"{var}^{degree} + ({str(rest).replace('**', '^')})"


def random_relations(rng, modulus):
    dx, dy = rng.randrange(2, 5), rng.randrange(2, 4)
    if rng.random() < 0.4:
        mx = X**dx + rng.choice([-3, -2, -1, 1, 2, 5])
    else:
        mx = X**dx + sum(rng.randrange(-4, 5) * X**i for i in range(dx))
    my = Y**dy + sum(sum(rng.randrange(-3, 4) * X**j for j in range(dx)) * Y**i for i in range(dy))
    return dx, dy, sympy.expand(mx), sympy.expand(my)


def random_value(rng):
    kind = rng.random()
    a = qd.small_poly(rng, ["x", "y"])
    b = qd.small_poly(rng, ["x", "y"])
    if kind < 0.35:
        return f"{a}*{b}"
    if kind < 0.6:
        return f"{a}^{rng.randrange(2, 6)}"
    if kind < 0.8:
        return f"{a}*{b} - {qd.small_poly(rng, ['x', 'y'])}^3"
    return f"({a} + {b})^{rng.randrange(2, 4)}*{qd.small_poly(rng, ['x', 'y'])}"


def normal_form(value, mx, my, modulus):
    opts = {"modulus": modulus} if modulus else {}
    _, r = sympy.reduced(sympy.expand(value), [my, mx], Y, X, order="lex", **opts)
    return r


def same(a, b, modulus):
    diff = sympy.expand(a - b)
    if not modulus:
        return diff == 0
    return sympy.Poly(diff, Y, X, modulus=modulus).is_zero


def session(binary, rng, modulus):
    dx, dy, mx, my = random_relations(rng, modulus)
    stored = [random_value(rng) for _ in range(3)]
    typed = [random_value(rng) for _ in range(12)]
    lines = ["&(J = x);", "&(J = y);"]
    if modulus:
        lines.append(f"&(p = {modulus});")
    lines += [f"v{i} := {t};" for i, t in enumerate(stored)]
    lines += [f"&(P = {text_of(mx, X, dx)});", f"&(P = {text_of(my, Y, dy)});"]
    first = len(lines)
    lines += [f"v{i};" for i in range(len(stored))] + [f"{t};" for t in typed]
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input="\n".join(lines).encode() + b"\n", capture_output=True, cwd=cwd,
                             timeout=120).stdout.decode()
    blocks = out.split("\n>")[1 + first:]
    texts = stored + typed
    problems = []
    if len(blocks) < len(texts):
        return [f"only {len(blocks)} results for {len(texts)} values"]
    for text, block in zip(texts, blocks):
        shown = block.strip("\n")
        if "***" in shown:
            problems.append(f"{text}: error {shown!r}")
            continue
        try:
            got = qd.read_back(shown)
        except (sympy.SympifyError, SyntaxError, TypeError) as e:
            problems.append(f"{text}: unreadable {shown!r} ({e})")
            continue
        value = sympy.sympify(text.replace("^", "**"), locals=LOCALS)
        poly = sympy.Poly(got, Y, X)
        if poly.degree(Y) >= dy or poly.degree(X) >= dx:
            problems.append(f"{text}: not reduced, {shown!r}")
        elif not same(got, normal_form(value, mx, my, modulus), modulus):
            problems.append(f"{text}: {shown!r} differs from {normal_form(value, mx, my, modulus)}")
    return [f"[mx = {mx}, my = {my}, p = {modulus}] {p}" for p in problems]


def main(argv):
    binary = os.path.abspath(argv[1])
    sessions = int(argv[2]) if len(argv) > 2 else 16
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 33)
    failed = []
    for i in range(sessions):
        modulus = 0 if i % 2 == 0 else rng.choice([2, 3, 7, 65521])
        failed += session(binary, rng, modulus)
    for f in failed[:10]:
        print(f)
    print(f"{sessions} sessions, {len(failed)} problems")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
