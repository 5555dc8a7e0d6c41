#!/usr/bin/env python3
"""Planted gcds over relations not declared a field (t^2 - 1, t^3 - t,
t^2 + 1, a repeated root, a split relation over a field level below), over
the rationals and modulo primes large and below the degrees, in one and
two free variables; modulo composite numbers (12, 25) too, with and without
a relation, in one free variable, and without one in two and three, with
zero-divisor coefficients that hide the planted factor; and towers of two relations neither
declared a field (t^2 - s over s^2 - 3, t^2 - 2 over s^2 + 1, ...) over the
rationals and modulo primes and composite numbers. GCD(g*c1, g*c2) must be refused with
error 271 (modulo a composite number also error 85) or be
a multiple of g that divides both products; the quotient (g*c1)/(g*c2),
when it is given, times g*c2 must be g*c1; g, monic in x, must be found
to divide g*c1 with a quotient that times g is g*c1, and not to divide
g*c1 + 1; never an internal error. The
divisibilities are decided by sympy, as memberships of the ideal of the
answer and the relations; modulo a composite number, where Divides is
refused, by division by the answer made monic.

  nonfield_gcd_property.py TARVEX [SEED] [CASES] [PLANTED] [VANISHING] [COPRIME]
"""
import random
import re
import subprocess
import sys

import sympy

X, Y, T, S, Z3 = sympy.symbols("x y t s z")
REFUSAL = "Modded-out variable does not make a field."
NO_INVERSE = "Value not invertible modulo the modulus."
RELATIONS = ["t^2 - 1", "t^2 - 4", "t^2 - 2", "t^2 + 1", "t^3 - t", "t^3 - 2", "t^2 - 2*t + 1", "t^2"]
# A field level s under the relation t^2 - 3, which splits there (t = s, -s).
TOWER = {0: "s^2 - 3", 5: "s^2 - 3", 7: "s^2 - 3", 101: "s^2 - 3", 3: "s^2 - 2"}
PRIMES = [0, 0, 101, 7, 5, 3, 25, 12]
COMPOSITES = (25, 12, 8, 9, 10, 4, 27, 49, 6, 16)
# Towers of two relations without the flag: s inside, t outside.
BARE_INNER = ["s^2 - 3", "s^2 + 1", "s^2 - 2", "s^2 - s - 1"]
BARE_OUTER = ["t^2 - 2", "t^2 - s", "t^2 + s*t + 1", "t^2 + 1", "t^2 - 3"]
BARE_MODULI = [0, 7, 5, 3, 13, 25, 12, 9, 8, 10]


def sym(text):
    text = re.sub(r"(\d)([xytsz(])", r"\1*\2", text)
    text = re.sub(r"\)([xytsz(])", r")*\1", text)
    text = re.sub(r"([xytsz])([xytsz(])", r"\1*\2", text)
    return sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "t": T, "s": S, "z": Z3})


def rand_coef(rng, tower):
    c = rng.randint(-3, 3) + rng.randint(-2, 2) * T
    if tower:
        c += rng.randint(-1, 1) * S
    return c


def rand_poly(rng, two, tower, deg, planted):
    p = X ** deg
    for e in range(deg):
        p += rand_coef(rng, tower) * X ** e
        if two:
            p += rand_coef(rng, tower) * Y * X ** e
    if planted and rng.random() < 0.5:
        p += rng.choice([-1, 1]) * (T if rng.random() < 0.7 or not tower else S) * X ** (deg - 1)
    if two and rng.random() < 0.5:
        p += Y ** 2
    return sympy.expand(p)


def text(p):
    return str(p).replace("**", "^")


def case(rng, i):
    p = PRIMES[i % len(PRIMES)]
    bare = i % 4 == 1
    if bare:
        p = BARE_MODULI[(i // 4) % len(BARE_MODULI)]
    composite = p in COMPOSITES
    tower = (i % 4 == 3 and not composite) or bare
    rel = "t^2 - 3" if tower and not bare else rng.choice(BARE_OUTER if bare else RELATIONS)
    if composite and rng.random() < 0.3 and not bare:
        rel = None
    inner = rng.choice(BARE_INNER) if bare else TOWER.get(p)
    two = rng.random() < 0.5 and not (composite and (rel is None or bare))
    g = rand_poly(rng, two, tower, rng.randint(1, 2), True)
    c1 = rand_poly(rng, two, tower, rng.randint(1, 2), False)
    c2 = rand_poly(rng, two, tower, rng.randint(0, 2), False)
    if bare:
        # Leading coefficients over both relations: Euclid inverts them.
        c1, c2 = (sympy.expand(c * (rand_coef(rng, True) or 1)) for c in (c1, c2))
    script = ("&(J = s);\n" if tower else "") + "&(J = t);\n&(J = y);\n&(J = x);\n"
    ring = f"&(p = {p});\n" if p else ""
    rels = (f"&(P = {inner}{'' if bare else ', 1'});\n" if tower else "") + (f"&(P = {rel});\n" if rel else "")
    script += ring + rels if rng.random() < 0.5 else rels + ring
    script += (f"g := {text(g)}:\na := ({text(g)})*({text(c1)}):\nb := ({text(g)})*({text(c2)}):\n"
               "!!('gcd', GCD(a, b));\n!!('quot', a/b*b - a);\n"
               "!!('div', Divides(g, a, q));\n!!('dquot', q*g - a);\n!!('ndiv', Divides(g, a + 1));\n")
    relations = ([sym(rel)] if rel else []) + ([sym(inner)] if tower else [])
    return p, script, g, g * c1, g * c2, relations


def planted_case(rng, i):
    """Modulo a composite number without a relation, in two or three
    variables, a planted factor whose zero-divisor coefficients hide it
    from contents and images: x + 3y divides 3x modulo 9, and 1 is no gcd
    of (x + 3y)y and 3x."""
    m = COMPOSITES[i % len(COMPOSITES)]
    z = rng.choice([q for q in (2, 3, 5, 7) if m % q == 0])
    k = rng.randint(1, 2)
    g = X ** k
    for _ in range(rng.randint(1, 3)):
        g += rng.choice([z, rng.randint(1, m - 1)]) * Y ** rng.randint(0, 2) * rng.choice([1, T]) * X ** rng.randint(0, k - 1)
    c1 = rng.choice([1, 1, Y]) * (X + rng.randint(0, m - 1)) + rng.choice([0, z * Y, 1])
    c2 = rng.choice([z, z * X, z * (X + Y), X + z * Y, X + z, Y + 1])
    if i < 3 * len(COMPOSITES):
        g, c1, c2 = [(X + z * Y, Y, z), (X + z * Y, z * X + 2 * Y, z), (X - z * Y + z, 2 * Y, z)][i % 3]
    elif i % 3 == 0:
        # Residues at random: the plain gcd's answer must be proved.
        g, c1, c2 = (X ** k + sum(rng.randint(0, m - 1) * X ** e * Y ** f for e in range(k) for f in (0, 1))
                     for k in (rng.randint(1, 2), 2, rng.randint(1, 2)))
    a, b = sympy.expand(g * c1), sympy.expand(g * c2)
    call = rng.choice(["GCD(b, a)", "G(b, a)", "GCD(a, b)"])
    script = (f"&(J = t);\n&(J = y);\n&(J = x);\n&(p = {m});\nFunc G(u, v) = GCD(u, v).\n"
              f"a := {text(a)}:\nb := {text(b)}:\n!!('gcd', {call});\n!!('quot', a/b*b - a);\n")
    return m, script, sympy.expand(g), a, b, []


def vanishing_case(rng, i):
    """Modulo a composite number in two or three variables, an operand 0 in
    the ring: GCD(0, b) is b up to a unit, whatever b's leading number, and
    never refused; or z times the planted factor, 0 modulo the prime z
    (x^2 = gcd(x^3 + x^2, 2x^2) modulo 4), where the plain gcd's answer, a
    lift of the factor from modulo z, is proved or refused."""
    m = COMPOSITES[i % len(COMPOSITES)]
    z = rng.choice([q for q in (2, 3, 5, 7) if m % q == 0])
    three = rng.random() < 0.3
    k = rng.randint(1, 2)
    g = X ** k + sum(rng.randint(0, m - 1) * X ** e * Y ** f * (Z3 ** rng.randint(0, 1) if three else 1)
                     for e in range(k) for f in range(2))
    # y with a unit coefficient: z times the product keeps two variables.
    c = X + rng.choice([u for u in range(1, m) if sympy.gcd(u, m) == 1]) * Y + rng.randint(0, m - 1) + (Z3 if three else 0)
    must = bool(i % 2)
    if must:
        a, b = m * X * Y, sympy.expand(g * c * rng.choice([1, z, z * Y]))
    else:
        a, b = sympy.expand(g * c), sympy.expand(z * g)
    a, b = (a, b) if rng.random() < 0.5 else (b, a)
    script = (f"&(J = z);\n&(J = t);\n&(J = y);\n&(J = x);\n&(p = {m});\n"
              f"a := {text(a)}:\nb := {text(b)}:\n!!('gcd', GCD(a, b));\n")
    return m, script, sympy.expand(g), a, b, must


def vanishing_judge(out, m, g, a, b, must):
    """None when the gcd is right: the non-zero operand times a unit residue
    where the other is 0 in the ring, else a multiple of g dividing both;
    refused only where `must` is not set."""
    got = re.search(r"^ *>?gcd (.*)$", out.replace(" `\n", ""), flags=re.M)
    if not got:
        return "refused" if must or NO_INVERSE not in out else None
    h = sympy.Poly(sym(got[1]), X, Y, Z3)
    zero = [p for p in (a, b) if sympy.Poly(p, X, Y, Z3).trunc(m).is_zero]
    if zero:
        other = sympy.Poly(b if zero[0] is a else a, X, Y, Z3)
        if not any((h - u * other).trunc(m).is_zero for u in range(1, m) if sympy.gcd(u, m) == 1):
            return "gcd %s is no unit times %s" % (got[1], other.as_expr())
        return None
    hx = h.as_expr()
    if not (divides_composite(hx, a, [], m) and divides_composite(hx, b, [], m) and divides_composite(g, hx, [], m)):
        return "gcd %s wrong" % got[1]
    return None


def coprime_cofactor_case(rng, i):
    """Modulo a composite number in x, y, g and c monic in x (g's lower
    terms of higher degree in y than its leading one, so that the
    division's remainders run wider than the operands) and GCD(g*c,
    g*(k*c + 1)), k a unit: the cofactors are coprime in every ring, so g
    is the gcd, and the images prove it; it must be given, a unit times
    g."""
    m = COMPOSITES[i % len(COMPOSITES)]
    k = rng.choice([u for u in range(1, m) if sympy.gcd(u, m) == 1])
    dg, dc = rng.randint(1, 3), rng.randint(1, 2)
    g = X ** dg + sum(rng.randint(0, m - 1) * X ** e * Y ** rng.randint(0, 3) for e in range(dg))
    c = X ** dc + sum(rng.randint(0, m - 1) * X ** e * Y ** rng.randint(0, 2) for e in range(dc))
    a, b = sympy.expand(g * c), sympy.expand(g * (k * c + 1))
    script = (f"&(J = y);\n&(J = x);\n&(p = {m});\na := {text(a)}:\nb := {text(b)}:\n"
              f"!!('gcd', GCD(a, b));\n")
    return m, script, sympy.expand(g), a, b


def coprime_cofactor_judge(out, m, g):
    got = re.search(r"^ *>?gcd (.*)$", out.replace(" `\n", ""), flags=re.M)
    if not got:
        return "refused"
    h = sympy.Poly(sym(got[1]), X, Y)
    if not any((h - u * sympy.Poly(g, X, Y)).trunc(m).is_zero for u in range(1, m) if sympy.gcd(u, m) == 1):
        return "gcd %s is no unit times %s" % (got[1], g)
    return None


def reduce_mod(f, relations, m):
    for r in relations:
        f = sympy.rem(sympy.expand(f), r, T if r.has(T) else S)
    return sympy.Poly(sympy.expand(f), X, Y, T, S, Z3).trunc(m).as_expr() if f != 0 else f


def divides_composite(d, n, relations, m):
    """d, made monic in x by the inverse of its leading number, divides n
    modulo the relations and m; None when d leads with no unit number."""
    d = reduce_mod(d, relations, m)
    lc = sympy.Poly(d, X).LC()
    if not lc.is_Integer or sympy.gcd(int(lc), m) != 1:
        return None
    d = reduce_mod(d * pow(int(lc), -1, m), relations, m)
    r, k = reduce_mod(n, relations, m), sympy.degree(d, X)
    while r != 0 and sympy.degree(r, X) >= k:
        c = sympy.Poly(r, X).LC()
        r = reduce_mod(r - c * X ** (sympy.degree(r, X) - k) * d, relations, m)
    return r == 0


def divides(d, n, relations, p):
    if p in COMPOSITES:
        return divides_composite(d, n, relations, p)
    gens = [X, Y, T, S]
    opts = {"modulus": p} if p else {}
    basis = sympy.groebner([d] + relations, *gens, order="grevlex", **opts)
    return basis.contains(sympy.expand(n))


def judge(out, p, g, a, b, relations):
    if "Tarvex error" in out:
        return "internal error"
    out = out.replace(" `\n ", "").replace(" `\n", "")
    lines = [ln.lstrip(">").strip() for ln in out.splitlines()]
    got = {ln.split(" ", 1)[0]: ln.split(" ", 1)[1]
           for ln in lines if ln.startswith(("gcd ", "quot ", "div ", "dquot ", "ndiv "))}
    # A monic divisor always divides or leaves a remainder: never refused
    # (Divides wants a prime modulus).
    if p not in COMPOSITES and (got.get("div"), got.get("dquot"), got.get("ndiv")) != ("1", "0", "0"):
        return "Divides of the planted factor: %s, q*g - a: %s, into a + 1: %s" % (
            got.get("div"), got.get("dquot"), got.get("ndiv"))
    refusals = out.count(REFUSAL) + out.count(NO_INVERSE)
    if "gcd" not in got:
        if not refusals:
            return "no gcd and no refusal"
    else:
        h = sym(got["gcd"])
        if h == 0 or not divides(h, a, relations, p) or not divides(h, b, relations, p):
            return "gcd %s does not divide both" % got["gcd"]
        if not divides(g, h, relations, p):
            return "gcd %s is no multiple of the planted factor" % got["gcd"]
    if "quot" in got and got["quot"] != "0":
        return "quotient times b minus a is %s" % got["quot"]
    if "quot" not in got and refusals < (2 if "gcd" not in got else 1):
        return "quotient neither given nor refused"
    return None


def main():
    tarvex = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 64)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 96
    failures = refused = 0
    planted = int(sys.argv[4]) if len(sys.argv) > 4 else 90
    for i in range(cases + planted):
        p, script, g, a, b, relations = case(rng, i) if i < cases else planted_case(rng, i - cases)
        out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=60).stdout
        why = judge(out, p, g, a, b, relations)
        refused += "\ngcd\n" in out.replace(">", "\n")
        if why:
            failures += 1
            if failures <= 5:
                print("FAIL (%s):\n%s" % (why, script))
    vanishing = int(sys.argv[5]) if len(sys.argv) > 5 else 40
    for i in range(vanishing):
        m, script, g, a, b, must = vanishing_case(rng, i)
        out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=60).stdout
        why = vanishing_judge(out, m, g, a, b, must)
        if why:
            failures += 1
            if failures <= 5:
                print("FAIL (%s):\n%s" % (why, script))
    cases += vanishing
    coprime = int(sys.argv[6]) if len(sys.argv) > 6 else 24
    for i in range(coprime):
        m, script, g, a, b = coprime_cofactor_case(rng, i)
        out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=60).stdout
        why = coprime_cofactor_judge(out, m, g)
        if why:
            failures += 1
            if failures <= 5:
                print("FAIL (%s):\n%s" % (why, script))
    cases += coprime
    print("gcd refused in %d of %d cases" % (refused, cases + planted))
    print("%d passed, %d failed" % (cases + planted - failures, failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
