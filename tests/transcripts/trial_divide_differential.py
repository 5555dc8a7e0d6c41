#!/usr/bin/env python3
"""Exact division at the terminal against sympy, over Z and modulo 65521.
Planted products f*g must divide by g, Divides giving 1 and the cofactor f
as its quotient, SDivide replacing the variable by f; perturbed products
f*g + r (r a non-zero polynomial of lower degree than g in x, so the
remainder) must never divide, Divides giving 0 and SDivide leaving the
variable unchanged. Divides runs every pre-test and SDivide none, so the
two must agree. sympy confirms every expected verdict independently.

  trial_divide_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import X, Y, Z, sympy  # noqa: E402

PRIME = 65521
VARS = (X, Y, Z)


def poly_text(rng, terms, max_x, big):
    """A random polynomial in x, y, z as text; degree max_x in x at most."""
    parts = []
    for _ in range(terms):
        c = rng.randrange(1, 10**rng.randrange(2, 30)) if big and rng.random() < 0.3 else rng.randrange(1, 10)
        if rng.random() < 0.5:
            c = -c
        ex, ey, ez = rng.randrange(0, max_x + 1), rng.randrange(0, 3), rng.randrange(0, 3)
        parts.append(f"({c})*x^{ex}*y^{ey}*z^{ez}")
    return " + ".join(parts)


def value(text):
    return sympy.expand(sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "z": Z}))


def divides(n, g, modulus):
    """Whether g divides n exactly over Z (modulus 0) or GF(modulus)."""
    if modulus:
        q, r = sympy.div(sympy.Poly(n, *VARS, modulus=modulus), sympy.Poly(g, *VARS, modulus=modulus))
        return r.is_zero
    q, r = sympy.div(sympy.Poly(n, *VARS, domain="QQ"), sympy.Poly(g, *VARS, domain="QQ"))
    return r.is_zero and all(c.is_integer for c in q.coeffs())


def same(a, b, modulus):
    d = sympy.expand(a - b)
    if not modulus:
        return d == 0
    return all(int(c) % modulus == 0 for c in sympy.Poly(d, *VARS).coeffs()) if d != 0 else True


def case(rng, modulus):
    """(statements, check) for one planted or perturbed division."""
    while True:
        g = poly_text(rng, rng.randrange(2, 6), rng.randrange(1, 4), not modulus)
        f = poly_text(rng, rng.randrange(1, 6), rng.randrange(0, 4), not modulus)
        gv, fv = value(g), value(f)
        dg = sympy.degree(gv, X) if gv != 0 else 0
        if modulus:
            if sympy.Poly(gv, *VARS, modulus=modulus).is_zero or sympy.Poly(fv, *VARS, modulus=modulus).is_zero:
                continue
            dg = sympy.Poly(gv, *VARS, modulus=modulus).degree(X)
        if dg >= 1 and fv != 0:
            break
    planted = rng.random() < 0.5
    n = f"({f})*({g})"
    if not planted:
        while True:
            r = poly_text(rng, rng.randrange(1, 4), dg - 1, not modulus)
            if not same(value(r), 0, modulus):
                break
        n = f"{n} + ({r})"
    nv = value(n)
    want = divides(nv, gv, modulus)
    assert want == planted, (n, g)
    statements = [f"w := {n}", f"Divides({g}, w, q)", "q", f"SDivide({g}, ^w)", "w"]
    return statements, (planted, fv, nv)


def problems(blocks, expected, modulus):
    planted, fv, nv = expected
    shown = [b.strip("\n") for b in blocks]
    if any("***" in b for b in shown):
        return "error reported"
    verdict_1, quotient, verdict_2, after = shown[1], shown[2], shown[3], shown[4]
    want = "1" if planted else "0"
    if verdict_1.strip() != want:
        return f"Divides gave {verdict_1.strip()}, want {want}"
    if verdict_2.strip() != want:
        return f"SDivide gave {verdict_2.strip()}, want {want} (pre-tests on and off disagree)"
    if planted and not same(qd.read_back(quotient), fv, modulus):
        return "wrong quotient from Divides"
    if not planted and quotient.strip() != "1":
        return "a quotient stored after a failed division"
    if not same(qd.read_back(after), fv if planted else nv, modulus):
        return "SDivide left the wrong value" if planted else "a failed SDivide changed the variable"
    return None


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 60
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 17)
    over_z = [case(rng, 0) for _ in range(count)]
    mod_p = [case(rng, PRIME) for _ in range(count)]
    script = "&(J = z);\n&(J = y);\n&(J = x);\n"
    script += "".join(f"{s};\n" for c, _ in over_z for s in c)
    script += f"&(p = {PRIME});\n"
    script += "".join(f"{s};\n" for c, _ in mod_p for s in c)
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out.split("\n>")[4:]
    failed = 0
    at = 0
    for modulus, cases in ((0, over_z), (PRIME, mod_p)):
        for statements, expected in cases:
            own = blocks[at:at + len(statements)]
            at += len(statements)
            problem = "missing output" if len(own) < len(statements) else problems(own, expected, modulus)
            if problem:
                failed += 1
                if failed <= 10:
                    print(f"{'mod p' if modulus else 'Z'}: {statements[:2]}: {problem}; got {own!r}")
        at += 1   # the ring change
    total = len(over_z) + len(mod_p)
    print(f"{total - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
