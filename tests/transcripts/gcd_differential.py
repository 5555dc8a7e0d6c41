#!/usr/bin/env python3
"""The gcd, content, extended-gcd, factoring and monomial built-ins checked
against sympy and Python on random inputs:

  - GCD(u w, v w) is sympy's gcd up to sign, with a positive leading
    coefficient (z outermost, then y, then x); it divides both arguments
    and leaves coprime cofactors; integers against math.gcd;
  - Content(u, var) times the primitive part is u, and the primitive part's
    coefficients have no common factor;
  - Egcd of integers: s a + t b = g = gcd(a, b); Egcd of one-variable
    polynomials modulo 7, 101 and 65,521: s u + t v = g, g monic and equal
    to sympy's gcd modulo p;
  - Factor modulo p: the factors (monic, irreducible by sympy) to their
    multiplicities multiply to the monic input, the (degree, multiplicity)
    multiset is sympy's; Sqfree modulo p and over Q: parts square-free and
    pairwise coprime, their product the input up to a number, the
    multiplicities sympy's;
  - Monos: the monomials sum back to u, beyond 2,048 of them too.

  gcd_differential.py TARVEX [COUNT] [SEED]
"""
import math
import os
import random
import subprocess
import sys
import tempfile
from collections import Counter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import X, Y, Z, sympy  # noqa: E402
from sympy import Poly  # noqa: E402

GENS = (Z, Y, X)
PRIMES = (7, 101, 65521)


def value(text):
    return qd.read_back(text.strip("\n"))


def sym(text):
    return sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "z": Z})


def array_cells(block):
    """The cells of a dense array display, in display order."""
    text = qd.joined(block)
    inner = text[text.index("[[") + 2:text.index("]]")]
    return [c.strip() for c in inner.split(",")]


def onevar(rng, degree):
    coeffs = [rng.randrange(-9, 10) for _ in range(degree)] + [rng.choice([1, 2, 3, -1])]
    return "+".join(f"({c})*x^{i}" for i, c in enumerate(coeffs) if c) or "1"


def mod_poly(expr, p):
    return Poly(expr, X, modulus=p)


# ------------------------------------------------------------------ checks

def check_gcd(u, v, w, out):
    a, b = sympy.expand(sym(u) * sym(w)), sympy.expand(sym(v) * sym(w))
    g = value(out)
    want = sympy.gcd(a, b)
    if sympy.expand(g - want) != 0 and sympy.expand(g + want) != 0:
        return f"gcd {g}, sympy {want}"
    if Poly(g, *GENS).LC() < 0:
        return "leading coefficient negative"
    ca, cb = sympy.cancel(a / g), sympy.cancel(b / g)
    if sympy.fraction(ca)[1] != 1 or sympy.fraction(cb)[1] != 1:
        return "does not divide"
    if not Poly(sympy.gcd(ca, cb), *GENS).is_ground:
        return "cofactors not coprime"
    return None


def check_content(u, var, out):
    c = value(out)
    uu = sym(u)
    pp = sympy.cancel(uu / c)
    if sympy.fraction(pp)[1] != 1:
        return "content does not divide"
    coeffs = Poly(pp, var).all_coeffs() if uu.has(var) else [pp]
    if not sympy.gcd_list(coeffs).is_number or abs(sympy.gcd_list(coeffs)) != 1:
        return f"primitive part {pp} keeps a factor"
    if sympy.expand(c * pp - uu) != 0:
        return "content times primitive part is not u"
    return None


def check_factor_list(u, p, cells, count, square_free):
    """Factors (or square-free parts) against sympy's. Multiplicities are
    residues modulo p like every number in modular mode, so they are
    compared modulo p."""
    pairs = [(mod_poly(value(cells[2 * i]), p), int(value(cells[2 * i + 1]))) for i in range(count)]
    f = mod_poly(sym(u), p)
    want = dict((fp.monic(), m) for fp, m in (f.sqf_list() if square_free else f.factor_list())[1])
    prod = mod_poly(1, p)
    for fp, m in pairs:
        if fp.LC() % p != 1:
            return f"factor {fp} not monic"
        if not square_free and not fp.is_irreducible:
            return f"factor {fp} reducible"
        if square_free and not fp.is_sqf:
            return f"part {fp} not square-free"
        if fp not in want:
            return f"{fp} is not one of sympy's {list(want)}"
        if (m - want[fp]) % p:
            return f"multiplicity of {fp}: {m}, sympy {want[fp]}"
        prod = prod * fp ** want[fp]
    if len(pairs) != len(want):
        return f"{len(pairs)} factors, sympy {len(want)}"
    if prod != f.monic():
        return "product of the factors is not the input"
    return None


def check_rational_sqfree(u, cells, count):
    pairs = [(value(cells[2 * i]), int(value(cells[2 * i + 1]))) for i in range(count)]
    uu = sym(u)
    prod = sympy.Integer(1)
    for fac, m in pairs:
        if not Poly(fac, *GENS).is_sqf:
            return f"part {fac} not square-free"
        prod *= fac ** m
    ratio = sympy.cancel(uu / prod)
    if not ratio.is_number:
        return "product of the parts is not the input up to a number"
    for i in range(len(pairs)):
        for j in range(i):
            if not Poly(sympy.gcd(pairs[i][0], pairs[j][0]), *GENS).is_ground:
                return "parts not coprime"
    want = Counter()
    for fac, m in sympy.sqf_list(uu)[1]:
        if not fac.is_number:
            want[m] += 1
    got = Counter()
    for fac, m in pairs:
        # A part may split further into sympy's parts of one multiplicity.
        got[m] += len([1 for _ in sympy.sqf_list(fac)[1]])
    if set(got) != set(want):
        return f"multiplicities {sorted(got)}, sympy {sorted(want)}"
    return None


# ------------------------------------------------------------------ cases

def build(rng, count):
    """(statements, checks): each check takes the result blocks of its own
    statements and says what is wrong, or None."""
    stmts, checks = [], []

    def add(lines, check):
        stmts.append(lines)
        checks.append(check)

    variables = ["x", "y", "z"]
    stmts.append(["&(J = x);", "&(J = y);", "&(J = z);",
                  "Func Summ(n) = s := 0; for i = 1 to n do s := s + a[i, 1] od; s."])
    checks.append(None)
    for _ in range(count):
        vs = variables[:rng.randrange(1, 4)]
        u, v, w = (qd.small_poly(rng, vs) for _ in range(3))
        add([f"GCD({u}*{w}, {v}*{w});"], lambda b, u=u, v=v, w=w: check_gcd(u, v, w, b[0]))
        var = rng.choice(vs)
        uu = f"{qd.small_poly(rng, vs)}*{qd.small_poly(rng, vs)}"
        add([f"Content({uu}, {var});"], lambda b, uu=uu, var=var: check_content(uu, sym(var), b[0]))
        m, n = rng.randrange(-10**12, 10**12), rng.choice([0, 1, rng.randrange(-10**30, 10**30)])
        add([f"Egcd({m}, {n}, s, t);", "s;", "t;"],
            lambda b, m=m, n=n: None if (int(value(b[0])) == math.gcd(m, n)
                                         and int(value(b[1])) * m + int(value(b[2])) * n == math.gcd(m, n))
            else "integer extended gcd wrong")
        m = rng.randrange(-99, 100)
        add([f"GCD({m}, {u}*{w});"],
            lambda b, m=m, u=u, w=w: None if value(b[0]) == sympy.gcd(
                sympy.Integer(m), sympy.expand(sym(u) * sym(w))) or (
                m == 0 and abs(value(b[0])) != 0) else "number gcd wrong")
        uu = f"{qd.small_poly(rng, vs[:2])}^2*{qd.small_poly(rng, vs[:2])}"
        add([f"n := Sqfree({uu}, [f]);", "[f];"],
            lambda b, uu=uu: check_rational_sqfree(uu, array_cells(b[1]), int(value(b[0])))
            if int(value(b[0])) > 0 else (None if sym(uu).is_number or Poly(sym(uu), *GENS).is_ground
                                          else "no parts"))
    # Monomials, the last ones past one frame of 2,048 rows.
    for k in (3, 7, 22):
        u = f"(1 + 2*x - y + 3*z)^{k}"
        terms = len(Poly(sym(u), *GENS).terms())
        add([f"Summ(Monos({u}, [a])) - {u};", "Terms(" + u + ");", f"Monos({u}, [a]);"],
            lambda b, terms=terms: None if value(b[0]) == 0 and int(value(b[2])) == terms
            else "monomials do not sum back")
    # Modulo primes: one variable.
    for p in PRIMES:
        stmts.append([f"&(p = {p});"])
        checks.append(None)
        for _ in range(max(1, count // 3)):
            u, v, w = onevar(rng, rng.randrange(0, 6)), onevar(rng, rng.randrange(1, 6)), onevar(
                rng, rng.randrange(0, 4))
            add([f"Egcd(({u})*({w}), ({v})*({w}), s, t);", "s;", "t;"],
                lambda b, u=u, v=v, w=w, p=p: check_egcd(u, v, w, p, b))
            f = f"({onevar(rng, rng.randrange(1, 4))})^{rng.randrange(1, 4)}*({onevar(rng, rng.randrange(1, 6))})"
            add([f"n := Factor({f}, [f]);", "[f];"],
                lambda b, f=f, p=p: check_factor_list(f, p, array_cells(b[1]), int(value(b[0])), False)
                if int(value(b[0])) > 0 else None)
            add([f"n := Sqfree({f}, [f]);", "[f];"],
                lambda b, f=f, p=p: check_factor_list(f, p, array_cells(b[1]), int(value(b[0])), True)
                if int(value(b[0])) > 0 else None)
    stmts.append(["&(p = _i);"])
    checks.append(None)
    return stmts, checks


def check_egcd(u, v, w, p, blocks):
    a = mod_poly(sym(u) * sym(w), p)
    b = mod_poly(sym(v) * sym(w), p)
    g, s, t = (mod_poly(value(x), p) for x in blocks)
    if s * a + t * b != g:
        return "s u + t v is not g"
    if g.LC() % p != 1:
        return "g not monic"
    if g != a.gcd(b):
        return f"g {g}, sympy {a.gcd(b)}"
    return None


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 40
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 17)
    stmts, checks = build(rng, count)
    script = "".join(line + "\n" for lines in stmts for line in lines)
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out.split("\n>")[1:]
    failed = 0
    at = 0
    for lines, check in zip(stmts, checks):
        mine = blocks[at:at + len(lines)]
        at += len(lines)
        if check is None:
            continue
        if len(mine) < len(lines):
            failed += 1
            print(f"{lines[0]}: no result")
            continue
        if any("***" in b for b in mine):
            problem = "error reported: " + " | ".join(b.strip() for b in mine)
        else:
            try:
                problem = check(mine)
            except (sympy.SympifyError, SyntaxError, TypeError, ValueError, sympy.PolynomialError) as e:
                problem = f"unreadable result ({e!r})"
        if problem:
            failed += 1
            if failed <= 10:
                print(f"{lines[0]}: {problem}; got {[b.strip() for b in mine]}")
    total = sum(1 for c in checks if c is not None)
    print(f"{total - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
