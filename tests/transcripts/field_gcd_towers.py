#!/usr/bin/env python3
"""Gcds where the field methods have no second auxiliary primes: over the
tower Q(i)(sqrt 3) with its lists given empty (it has no first primes at
all: modulo every prime -1, 3 or -3 is a square) and over GF(p)(alpha)
(modular mode makes no lists). With its lists the tower must give the same
answers. Planted products g*a, g*b go to the interpreter's GCD;
the answer must divide both, leave coprime cofactors and be monic in the
field. Over Q the check is sympy over the same tower; over GF(p) a small
Euclid over GF(p)[t]/(m) written here.

  field_gcd_towers.py TARVEX [SEED]
"""
import os
import random
import re
import subprocess
import sys

import sympy
from sympy import I, Poly, sqrt

X, Y, T, S = sympy.symbols("x y t s")
# Printed unchanged in modular mode too.
SENTINEL = "x^7777"


def text(p):
    return str(sympy.expand(p)).replace("**", "^")


def read_back(value):
    value = re.sub(r"(\d)([xyts(])", r"\1*\2", value)
    value = re.sub(r"\)([xyts(])", r")*\1", value)
    return sympy.sympify(value.replace("^", "**"), locals={"x": X, "y": Y, "t": T, "s": S})


def run(tarvex, header, calls):
    script = header + "%s;\n" % SENTINEL
    script += "".join("GCD(%s, %s);\n" % (text(a), text(b)) for a, b in calls)
    out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=300).stdout
    out = out.replace(" `\n ", "").replace(" `\n", "")
    after = out.split(SENTINEL, 1)[1]
    blocks = [b.strip() for b in after.split("\n>")[1:]]
    return [b for b in blocks if b and b != "bye"]


# ---------------------------------------------------------------- Q(i)(sqrt 3)

def rand_tower(rng):
    return sum(rng.randint(-2, 2) * T ** i * S ** j for i in range(2) for j in range(2))


def rand_poly(rng, two_vars, deg):
    p = X ** deg * (rand_tower(rng) if rng.random() < 0.5 else 1)
    for e in range(deg):
        c = rand_tower(rng)
        if two_vars:
            c += rand_tower(rng) * Y
        p += c * X ** e
    if p.subs(X, 0) == 0:
        p += 1
    return sympy.expand(p)


def check_tower(tarvex, rng):
    failures = 0
    calls = []
    for k in range(4):
        two = k >= 2
        g = rand_poly(rng, two, rng.randint(1, 2))
        a = rand_poly(rng, two, rng.randint(1, 2))
        b = rand_poly(rng, two, rng.randint(1, 2))
        calls.append((g * a, g * b))
    header = "&(J = t);\n&(J = s);\n&(J = y);\n&(J = x);\n&(P = t^2 + 1, 1%s);\n&(P = s^2 - 3, 1%s);\n"
    answers = run(tarvex, header % (" : :", " : :"), calls)
    if len(answers) != len(calls):
        print("tower: answers missing:", answers)
        return 1
    if run(tarvex, header % ("", ""), calls) != answers:
        print("tower: answers differ with the auxiliary lists")
        failures += 1
    ext = [I, sqrt(3)]
    for (A, B), shown in zip(calls, answers):
        h = read_back(shown)
        hp = Poly(h, X, Y)
        if not (hp.LC().is_Integer and hp.LC() > 0) or Poly(h, X, Y, T, S).content() != 1:
            print("tower: answer not monic in the field:", shown)
            failures += 1
        sub = {T: I, S: sqrt(3)}
        ha = Poly(h.subs(sub), X, Y, extension=ext)
        Aa = Poly(sympy.expand(A).subs(sub), X, Y, extension=ext)
        Ba = Poly(sympy.expand(B).subs(sub), X, Y, extension=ext)
        qa, ra = Aa.div(ha)
        qb, rb = Ba.div(ha)
        if not ra.is_zero or not rb.is_zero:
            print("tower: answer does not divide:", shown)
            failures += 1
        elif qa.gcd(qb).total_degree() != 0:
            print("tower: cofactors share a factor:", shown)
            failures += 1
    return failures


# ---------------------------------------------------------------- GF(p)(alpha)
# A field element is a list of p-residues, low degree first, reduced by m;
# a polynomial in x is a list of field elements, low degree first.

class Field:
    def __init__(self, p, m):
        self.p = p
        self.m = m            # monic, low degree first
        self.n = len(m) - 1

    def norm(self, a):
        a = [c % self.p for c in a]
        n = self.n
        while len(a) > n:
            c = a.pop()
            for i in range(n):
                a[len(a) - n + i] = (a[len(a) - n + i] - c * self.m[i]) % self.p
        return a + [0] * (n - len(a))

    def mul(self, a, b):
        r = [0] * (len(a) + len(b))
        for i, x in enumerate(a):
            for j, y in enumerate(b):
                r[i + j] += x * y
        return self.norm(r)

    def sub(self, a, b):
        return [(x - y) % self.p for x, y in zip(a, b)]

    def inv(self, a):
        # a^(p^n - 2): the multiplicative group has order p^n - 1.
        e = self.p ** self.n - 2
        r = self.norm([1])
        while e:
            if e & 1:
                r = self.mul(r, a)
            a = self.mul(a, a)
            e >>= 1
        return r

    def zero(self, a):
        return not any(a)


def strip(f, F):
    while f and F.zero(f[-1]):
        f.pop()
    return f


def poly_rem(a, b, F):
    a = [list(c) for c in a]
    strip(a, F)
    inv = F.inv(b[-1])
    while len(a) >= len(b):
        c = F.mul(a[-1], inv)
        k = len(a) - len(b)
        for i, bc in enumerate(b):
            a[k + i] = F.sub(a[k + i], F.mul(c, bc))
        strip(a, F)
    return a


def poly_quo(a, b, F):
    a = [list(c) for c in a]
    q = [F.norm([0]) for _ in range(max(len(a) - len(b) + 1, 1))]
    inv = F.inv(b[-1])
    while len(a) >= len(b) and a:
        c = F.mul(a[-1], inv)
        k = len(a) - len(b)
        q[k] = c
        for i, bc in enumerate(b):
            a[k + i] = F.sub(a[k + i], F.mul(c, bc))
        strip(a, F)
    return strip(q, F)


def poly_gcd_degree(a, b, F):
    while b:
        a, b = b, poly_rem(a, b, F)
    return len(a) - 1


def to_field_poly(expr, F):
    p = Poly(sympy.expand(expr), X, T)
    deg = p.degree(X)
    out = [[0] * (F.n + 1) for _ in range(deg + 1)]
    for (ex, et), c in p.terms():
        while et >= len(out[ex]):
            out[ex].append(0)
        out[ex][et] += int(c)
    return strip([F.norm(c) for c in out], F)


def check_modular(tarvex, rng, p, relation, m):
    F = Field(p, m)
    n = F.n
    failures = 0

    def rand_el():
        return sum(rng.randint(0, p - 1) * T ** k for k in range(n))

    def rand_px(deg):
        return X ** deg + sum(rand_el() * X ** e for e in range(deg))

    calls = []
    for _ in range(4):
        g = rand_px(rng.randint(1, 3)) * (1 + rand_el())
        calls.append((g * rand_px(rng.randint(1, 3)), g * rand_px(rng.randint(1, 3))))
    header = "&(J = t);\n&(J = x);\n&(p = %d);\n&(P = %s, 1);\n" % (p, relation)
    answers = run(tarvex, header, calls)
    if len(answers) != len(calls):
        print("GF(%d):" % p, relation, "answers missing:", answers)
        return 1
    for (A, B), shown in zip(calls, answers):
        h = to_field_poly(read_back(shown), F)
        a = to_field_poly(A, F)
        b = to_field_poly(B, F)
        if not h or h[-1] != F.norm([1]):
            print("GF(%d):" % p, relation, "answer not monic:", shown)
            failures += 1
            continue
        if poly_rem(a, h, F) or poly_rem(b, h, F):
            print("GF(%d):" % p, relation, "answer does not divide:", shown)
            failures += 1
            continue
        if poly_gcd_degree(poly_quo(a, h, F), poly_quo(b, h, F), F) != 0:
            print("GF(%d):" % p, relation, "cofactors share a factor:", shown)
            failures += 1
    return failures


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 41)
    failures = check_tower(tarvex, rng)
    # t^2 + 3 mod 17 and t^3 - 2 mod 7 are irreducible: -3 is no square
    # mod 17 and 2 no cube mod 7.
    failures += check_modular(tarvex, rng, 17, "t^2 + 3", [3, 0, 1])
    failures += check_modular(tarvex, rng, 7, "t^3 - 2", [5, 0, 0, 1])
    if failures:
        sys.exit(1)
    print("tower and modular field gcds: all checks passed")


if __name__ == "__main__":
    main()
