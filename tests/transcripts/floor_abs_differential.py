#!/usr/bin/env python3
"""Greatest integer ("$") and absolute value ("|...|") of random values,
computed by the interpreter and by sympy:

  - integers and rationals of up to 40 digits: sympy's floor and Abs;
  - rational functions in x, y and z: the absolute value makes every
    coefficient of the normal form's numerator and denominator
    non-negative, then cancels;
  - the greatest integer of a polynomial is the polynomial; of a rational
    function in x, the pseudo-quotient of the normal form's numerator by its
    denominator (sympy's pquo), as "\\" divides; of a polynomial over a
    number c, each coefficient divided by c with truncation (a constant
    over c is a rational number, and its floor is sympy's).

Each result must be in normal form as well.

  floor_abs_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import GENS, X, Y, Z, sympy  # noqa: E402
from sympy import Poly  # noqa: E402


def abs_coeffs(p):
    return Poly.from_dict({m: abs(c) for m, c in p.as_dict().items()}, *GENS, domain="ZZ")


def truncated(p, c):
    """Each coefficient of p divided by c, rounded towards zero."""
    def quo(a):
        q = abs(a) // c
        return q if a >= 0 else -q
    return Poly.from_dict({m: quo(a) for m, a in p.as_dict().items()}, *GENS, domain="ZZ")


def random_rational(rng):
    a = rng.randrange(-10 ** rng.randrange(1, 41), 10 ** rng.randrange(1, 41))
    b = rng.randrange(1, 10 ** rng.randrange(1, 21))
    return f"{a}/{b}", sympy.Rational(a, b)


def value_expression(rng, variables):
    for _ in range(50):
        try:
            text, value = qd.expression(rng, variables, rng.randrange(1, 3))
            return text, value
        except qd.Undefined:
            continue
    return "(x)", X


def case(rng):
    """(statement, expected sympy value)."""
    kind = rng.random()
    if kind < 0.3:
        text, v = random_rational(rng)
        if rng.random() < 0.5:
            return f"$({text})", sympy.floor(v)
        return f"|({text})|", abs(v)
    if kind < 0.55:
        text, v = value_expression(rng, ["x", "y", "z"][: rng.randrange(1, 4)])
        p, q = qd.normal_parts(v)
        return f"|({text})|", sympy.cancel(abs_coeffs(p).as_expr() / abs_coeffs(q).as_expr())
    if kind < 0.8:
        text, v = value_expression(rng, ["x"])
    else:
        # A polynomial over a number: its coefficients are truncated.
        text = qd.small_poly(rng, ["x", "y", "z"][: rng.randrange(1, 4)])
        c = rng.randrange(2, 9)
        v = sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "z": Z}) / c
        text = f"{text}/{c}"
    p, q = qd.normal_parts(v)
    if p.is_ground and q.is_ground:
        want = sympy.floor(sympy.Rational(int(p.LC()), int(q.LC())))   # a rational number
    elif q.is_ground:
        want = truncated(p, int(q.LC())).as_expr()
    else:
        want = sympy.pquo(p.as_expr(), q.as_expr(), X)
    return f"$({text})", sympy.expand(want)


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 300
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 11)
    cases = [case(rng) for _ in range(count)]
    script = "&(J = x);\n&(J = y);\n&(J = z);\n" + "".join(f"{s};\n" for s, _ in cases)
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out.split("\n>")[4:4 + len(cases)]
    failed = 0
    for (statement, expected), block in zip(cases, blocks):
        shown = block.strip("\n")
        problem = None
        if "***" in block:
            problem = "error reported"
        else:
            try:
                if sympy.cancel(qd.read_back(shown) - expected) != 0:
                    problem = "wrong value"
                else:
                    problem = qd.check_form(shown)
            except (sympy.SympifyError, SyntaxError, TypeError, sympy.PolynomialError) as e:
                problem = f"unreadable display ({e})"
        if problem:
            failed += 1
            if failed <= 10:
                print(f"{statement}: {problem}; got {shown!r}; want {expected}")
    if len(blocks) < len(cases):
        failed += 1
        print(f"only {len(blocks)} results for {len(cases)} statements")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
