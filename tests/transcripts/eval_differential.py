#!/usr/bin/env python3
"""Random rational functions in x, y and z evaluated with '#' by the
interpreter and by sympy: one variable at a number, a rational, a
polynomial or a quotient of polynomials (p#(v), p#v, p#(y = v)), or several
variables at once (p#(a, b, c)). Each displayed result must equal sympy's
substitution and be in normal form (coprime integer parts, positive leading
denominator coefficient); a denominator that vanishes must be reported as
"Division by zero.", and more values than variables as their error. The
evaluated variable keeps its value.

  eval_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import X, Y, Z, sympy  # noqa: E402

OUTERMOST_FIRST = (Z, Y, X)     # the last adjoined variable is the outermost
NAMES = {X: "x", Y: "y", Z: "z"}


def random_value(rng, variables):
    """(text, sympy value) of a value to substitute."""
    kind = rng.random()
    if kind < 0.35:
        a, b = rng.randrange(-9, 10), rng.randrange(1, 6)
        return f"{a}/{b}", sympy.Rational(a, b)
    if kind < 0.55:
        n = rng.randrange(-5, 8)
        return str(n), sympy.Integer(n)
    if kind < 0.8:
        text = qd.small_poly(rng, variables)
        return text, sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "z": Z})
    t, v = qd.small_poly(rng, variables), qd.small_poly(rng, variables)
    num = sympy.sympify(t.replace("^", "**"), locals={"x": X, "y": Y, "z": Z})
    den = sympy.sympify(v.replace("^", "**"), locals={"x": X, "y": Y, "z": Z})
    if sympy.expand(den) == 0:
        return "3", sympy.Integer(3)
    return f"{t}/{v}", num / den


def case(rng):
    """(statement text, expected sympy value, or None for division by zero,
    or the string 'too many')."""
    variables = ["x", "y", "z"]
    for _ in range(50):
        try:
            text, value = qd.expression(rng, variables[: rng.randrange(1, 4)], rng.randrange(1, 3))
            break
        except qd.Undefined:
            continue
    form = rng.random()
    if form < 0.3:
        vt, vv = random_value(rng, variables)
        statement, subs = f"({text})#({vt})", {Z: vv}
    elif form < 0.4:
        n = rng.randrange(0, 9)
        statement, subs = f"({text})#{n}", {Z: sympy.Integer(n)}
    elif form < 0.7:
        var = rng.choice(OUTERMOST_FIRST)
        vt, vv = random_value(rng, variables)
        statement, subs = f"({text})#({NAMES[var]} = {vt})", {var: vv}
    elif form < 0.75:
        # A variable alone is the value of the outermost one.
        var = rng.choice(OUTERMOST_FIRST)
        statement, subs = f"({text})#({NAMES[var]})", {Z: var}
    elif form < 0.97:
        count = rng.randrange(2, 4)
        values = [random_value(rng, [])[0:2] for _ in range(count)]
        statement = f"({text})#(" + ", ".join(t for t, _ in values) + ")"
        subs = {var: v for var, (_, v) in zip(OUTERMOST_FIRST, values)}
    else:
        statement = f"({text})#(1, 2, 3, 4)"
        return statement, "too many"
    num, den = sympy.fraction(sympy.cancel(sympy.together(value)))
    new_den = sympy.cancel(den.subs(subs, simultaneous=True))
    if new_den == 0:
        return statement, None
    return statement, sympy.cancel(num.subs(subs, simultaneous=True) / new_den)


def problem_of(block, expected):
    """What is wrong with the displayed result block, or None."""
    shown = block.strip("\n")
    if expected is None:
        return None if "Division by zero." in block else "division by zero not reported"
    if expected == "too many":
        return None if "More values than polynomial variables." in block else "not refused"
    if "***" in block:
        return "error reported"
    try:
        if sympy.cancel(qd.read_back(shown) - expected) != 0:
            return "wrong value"
        return qd.check_form(shown)
    except (sympy.SympifyError, SyntaxError, TypeError, sympy.PolynomialError) as e:
        return f"unreadable display ({e})"


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 300
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 5)
    cases = [case(rng) for _ in range(count)]
    script = "&(J = x);\n&(J = y);\n&(J = z);\ng := z^2 - y;\n"
    script += "".join(f"{s};\n" for s, _ in cases) + "g#(3);\ng#(z = y);\ng;\n"
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out.split("\n>")[5:5 + len(cases) + 3]
    failed = 0
    for (statement, expected), block in zip(cases, blocks):
        shown = block.strip("\n")
        problem = problem_of(block, expected)
        if problem:
            failed += 1
            if failed <= 10:
                print(f"{statement}: {problem}; got {shown!r}; want {expected}")
    if len(blocks) < len(cases) + 3:
        failed += 1
        print(f"only {len(blocks)} results for {len(cases) + 3} statements")
    else:
        for block, want in zip(blocks[-3:], (9 - Y, Y**2 - Y, Z**2 - Y)):
            if sympy.expand(qd.read_back(block.strip("\n")) - want) != 0:
                failed += 1
                print(f"g: got {block!r}, want {want} (a stored value evaluated must keep its value)")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
