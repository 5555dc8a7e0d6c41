#!/usr/bin/env python3
"""Derivatives, degrees, level shifts and total-degree parts of random
rational functions in x, y and z, by the interpreter and by sympy.

  - Deriv(u, v, 1) and Deriv(u, v, k) equal sympy.diff and are in normal
    form; the k-th derivative equals Deriv applied once k times; the
    product and quotient rules hold (their difference displays 0); the
    postfix '"' (once and twice) is the derivative in the outermost
    variable z;
  - Deg and Codeg by variable and by level equal the numerator's greatest
    and least exponent;
  - Lower(u, k) renames every variable k levels inwards, and Raise undoes
    it; a shift that would leave the variables is refused;
  - the Totdeg parts of a polynomial are sympy's homogeneous parts in the
    chosen variables, and they sum to the polynomial.

  deriv_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from fractions import Fraction  # noqa: E402
from quoly_differential import X, Y, Z, sympy  # noqa: E402

LEVELS = (Z, Y, X)          # level 1 is the last adjoined variable
NAMES = {X: "x", Y: "y", Z: "z"}
SENTINEL = "424242"


def sym(text):
    return sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "z": Z})


def at_points(value, points):
    """value at each point, exactly (sympy's own cancel is far slower on
    the large quotients the derivatives make); None where a denominator
    vanishes."""
    code = re.sub(r"\d+", lambda m: f"F({m.group()})", str(value))
    out = []
    for x, y, z in points:
        try:
            out.append(eval(code, {"F": Fraction, "x": x, "y": y, "z": z}))
        except ZeroDivisionError:
            out.append(None)
    return out


POINTS = [(Fraction(a), Fraction(b, 3), Fraction(c, 7)) for a, b, c in
          ((2, 5, -3), (-3, 4, 11), (5, -7, 2), (7, 2, 9), (-1, 11, 5))]


def same(got, want):
    """got = want at the points where both are defined (at least three)."""
    pairs = [(a, b) for a, b in zip(at_points(got, POINTS), at_points(want, POINTS))
             if a is not None and b is not None]
    return len(pairs) >= 3 and all(a == b for a, b in pairs)


def random_quoly(rng, variables, depth=2):
    for _ in range(50):
        try:
            return qd.expression(rng, variables, depth)
        except qd.Undefined:
            continue
    return "(x + 1)", X + 1


def numerator(value):
    return sympy.fraction(sympy.cancel(sympy.together(value)))[0]


def exponents(poly_value, var):
    p = sympy.Poly(sympy.expand(poly_value), X, Y, Z)
    i = (X, Y, Z).index(var)
    return [m[i] for m in p.monoms()] or [0]


def var_text(rng, var):
    """The variable as a name or as its level."""
    return NAMES[var] if rng.random() < 0.5 else str(LEVELS.index(var) + 1)


def cases(rng, count):
    """(statement, check) pairs: check(value or None for an error, block) -> problem or None."""
    out = []

    def equal(want, normal=True):
        def check(got, block):
            if got is None:
                return "error reported"
            if not same(got, want):
                return f"wrong value, want {want}"
            return qd.check_form(block) if normal else None
        return check

    def refused(text):
        def check(got, block):
            return None if text in block else f"not refused with {text!r}"
        return check

    while len(out) < count:
        variables = ["x", "y", "z"][: rng.randrange(1, 4)]
        t, u = random_quoly(rng, variables)
        s, v = random_quoly(rng, ["x", "y", "z"])
        var = rng.choice((X, Y, Z))
        vn = NAMES[var]
        kind = rng.random()
        if kind < 0.22:
            out.append((f"Deriv({t}, {vn}, 1)", equal(sympy.diff(u, var))))
        elif kind < 0.34:
            k = rng.randrange(2, 4)
            once = f"{t}"
            for _ in range(k):
                once = f"Deriv({once}, {vn}, 1)"
            out.append((f"Deriv({t}, {vn}, {k})", equal(sympy.diff(u, var, k))))
            out.append((f"Deriv({t}, {vn}, {k}) - {once}", equal(0)))
        elif kind < 0.46:
            d = lambda e: f"Deriv({e}, {vn}, 1)"  # noqa: E731
            out.append((f"{d(f'({t})*({s})')} - ({d(t)}*({s}) + ({t})*{d(s)})", equal(0)))
            out.append((f"Deriv(({t})*({s}), {vn}, 1)", equal(sympy.diff(u * v, var))))
        elif kind < 0.58:
            if sympy.cancel(v) == 0:
                continue
            d = lambda e: f"Deriv({e}, {vn}, 1)"  # noqa: E731
            out.append((f"{d(f'({t})/({s})')} - ({d(t)}*({s}) - ({t})*{d(s)})/({s})^2", equal(0)))
            out.append((f"Deriv(({t})/({s}), {vn}, 1)", equal(sympy.diff(u / v, var))))
        elif kind < 0.66:
            out.append((f"({t})\"", equal(sympy.diff(u, Z))))
            out.append((f"({t})\"\"", equal(sympy.diff(u, Z, 2))))
        elif kind < 0.8:
            n = numerator(u)
            which = rng.choice(("Deg", "Codeg"))
            e = exponents(n, var)
            want = max(e) if which == "Deg" else min(e)
            if sympy.cancel(u).is_number:
                want = 0
            out.append((f"{which}({t}, {var_text(rng, var)})", equal(sympy.Integer(want), False)))
        elif kind < 0.92:
            # Lower by k, checked against renaming, and back again.
            used = [g for g in LEVELS if g in sympy.cancel(u).free_symbols]
            depth = max((LEVELS.index(g) + 1 for g in used), default=0)
            k = rng.randrange(0, 3)
            if sympy.cancel(u).is_number:
                continue
            if depth + k > 3:
                out.append((f"Lower({t}, {k})", refused("Shift goes below the innermost variable.")))
                continue
            renamed = u.subs({g: LEVELS[LEVELS.index(g) + k] for g in used}, simultaneous=True)
            out.append((f"Lower({t}, {k})", equal(renamed)))
            out.append((f"Raise(Lower({t}, {k}), {k}) - ({t})", equal(0)))
            if k and depth + k <= 3:
                out.append((f"Raise({t}, {k})", refused("Value depends on one of the outermost variables.")))
        else:
            t = qd.small_poly(rng, ["x", "y", "z"]) + "*" + qd.small_poly(rng, ["x", "y", "z"])
            p = sympy.expand(sym(t))
            chosen = rng.sample((X, Y, Z), rng.randrange(1, 4))
            out.append((f"Array sel[{len(chosen)}]", None))
            for i, c in enumerate(chosen):
                out.append((f"sel[{i + 1}] := {NAMES[c]}", None))
            poly = sympy.Poly(p, *chosen)
            top = poly.total_degree() if not p.is_number else 0
            parts = []
            for deg in range(0, top + 2):
                want = sum((coef * sympy.prod(g**e for g, e in zip(chosen, mono))
                            for mono, coef in poly.terms() if sum(mono) == deg), sympy.Integer(0))
                parts.append(f"Totdeg({t}, [sel], {deg})")
                out.append((f"Totdeg({t}, [sel], {deg})", equal(want, False)))
            out.append((" + ".join(parts) + f" - ({t})", equal(0)))
    return out


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 200
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 26)
    todo = cases(rng, count)
    script = "&(J = x);\n&(J = y);\n&(J = z);\n" + SENTINEL + ";\n"
    script += "".join(f"{s};\n" for s, _ in todo)
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out.split("\n>")
    start = next(i for i, b in enumerate(blocks) if SENTINEL in b) + 1
    blocks = blocks[start:start + len(todo)]
    failed = 0
    for (statement, check), block in zip(todo, blocks):
        if check is None:
            continue
        shown = block.strip("\n")
        got = None
        if "***" not in block:
            try:
                got = qd.read_back(shown)
            except (sympy.SympifyError, SyntaxError, TypeError):
                pass
        problem = check(got, shown)
        if problem:
            failed += 1
            if failed <= 10:
                print(f"{statement}: {problem}; got {shown!r}")
    if len(blocks) < len(todo):
        failed += 1
        print(f"only {len(blocks)} results for {len(todo)} statements")
    checked = sum(1 for _, c in todo if c)
    print(f"{checked - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
