#!/usr/bin/env python3
"""Gcds over algebraic number fields Q(alpha)[x] and Q(alpha)[x, y]: the
interpreter's GCD of planted products g*a and g*b, checked by sympy over
the same field (t replaced by alpha): the answer divides both products, the
two cofactors are coprime, and the answer is monic in the field (its
leading coefficient, followed down the variables, is a positive integer
and the coefficients have no common integer factor). A second session
whose auxiliary lists are given empty must print the same answers.

Then sums of two fractions whose denominators share a linear factor, under
relations of degree 12 and 24 declared with the field flag (Eisenstein at
2; the gcd's leading number is a norm that often shares a prime with the
multipliers of both exact divisions by it), each multiplied back: with
nn/dd the sum by products alone, Numer(s)*dd - Denom(s)*nn must be 0.

  field_gcd_check.py TARVEX [SEED]
"""
import os
import random
import re
import subprocess
import sys

import sympy
from sympy import Poly, Rational, sqrt, root, I

X, Y, T = sympy.symbols("x y t")
SENTINEL = "123454321"

# (relation, alpha): monic, irreducible over Q.
FIELDS = [
    ("t^2 + 1", I),
    ("t^2 - 3", sqrt(3)),
    ("t^3 - 2", root(2, 3)),
    ("t^2 + t + 1", (-1 + sqrt(-3)) / 2),
]


def rand_field(rng, n, small=3):
    return sum(rng.randint(-small, small) * T ** k for k in range(n))


def rand_poly(rng, n, two_vars, deg):
    p = X ** deg * (rand_field(rng, n) if rng.random() < 0.5 else 1)
    for e in range(deg):
        c = rand_field(rng, n)
        if two_vars:
            c += rand_field(rng, n) * Y + (rng.randint(0, 1) * Y ** 2)
        p += c * X ** e
    if p.subs(X, 0) == 0:
        p += 1
    return sympy.expand(p)


def text(p):
    return str(p).replace("**", "^")


def run(tarvex, relation, lists, calls):
    script = "&(J = t);\n&(J = y);\n&(J = x);\n&(P = %s, 1%s);\n%s;\n" % (relation, lists, SENTINEL)
    script += "".join("GCD(%s, %s);\n" % (text(a), text(b)) for a, b in calls)
    out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=300).stdout
    out = out.replace(" `\n ", "").replace(" `\n", "")
    after = out.split(SENTINEL, 1)[1]
    blocks = [b.strip() for b in after.split("\n>")[1:]]
    return [b for b in blocks if b and b != "bye"]


def read_back(value):
    value = re.sub(r"(\d)([xyt(])", r"\1*\2", value)
    value = re.sub(r"\)([xyt(])", r")*\1", value)
    return sympy.sympify(value.replace("^", "**"), locals={"x": X, "y": Y, "t": T})


def linear(rng):
    c = [rng.randint(-3, 3) for _ in range(6)]
    return "(%d + %d*t) + (%d + %d*t^2)*x + (%d + %d*t)*y" % tuple(c)


def field_sums(tarvex, rng, count=8):
    failures = 0
    for d in (12, 24):
        script = "&(J = t):\n&(P = t^%d + 6*t^%d - 2, 1):\n&(J = x):\n&(J = y):\n" % (d, 2 * d // 3)
        names = ["a", "b", "c"]
        script += "".join("%s := %s:\n" % (n, linear(rng)) for n in names)
        for k in range(count):
            (n1, q1), (n2, q2) = [(linear(rng), "*".join(rng.sample(names, 2))) for _ in range(2)]
            script += "s := (%s)/(%s) + (%s)/(%s):\n" % (n1, q1, n2, q2)
            script += "!!('sum %d', Numer(s)*%s*%s - Denom(s)*((%s)*%s + (%s)*%s));\n" % (k, q1, q2, n1, q2, n2, q1)
        out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=300).stdout
        wrong = [k for k in range(count) if "sum %d 0\n" % k not in out]
        if wrong:
            print("degree %d: %d of %d sums wrong when multiplied back: %s" % (d, len(wrong), count, wrong))
            failures += len(wrong)
    return failures


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 33)
    failures = 0
    for relation, alpha in FIELDS:
        n = Poly(read_back(relation), T).degree()
        calls = []
        for k in range(4):
            two = k >= 2
            g = rand_poly(rng, n, two, rng.randint(1, 2))
            a = rand_poly(rng, n, two, rng.randint(1, 3))
            b = rand_poly(rng, n, two, rng.randint(1, 3))
            calls.append((sympy.expand(g * a), sympy.expand(g * b)))
        answers = run(tarvex, relation, "", calls)
        without = run(tarvex, relation, "::", calls)
        if len(answers) != len(calls):
            print(relation, "answers missing:", answers)
            failures += 1
            continue
        if answers != without:
            print(relation, "answers differ without the auxiliary primes")
            failures += 1
        gens = (X, Y)
        for (A, B), shown in zip(calls, answers):
            h = read_back(shown)
            # Coefficients stay in Z[t]: monic in the field means a positive
            # integer leading coefficient and no common integer factor.
            hp = Poly(h, *gens)
            lead = hp.LC()
            content = Poly(h, X, Y, T).content()
            if not (lead.is_Integer and lead > 0) or content != 1:
                print(relation, "answer not monic in the field:", shown)
                failures += 1
            ha = Poly(h.subs(T, alpha), *gens, extension=alpha)
            Aa = Poly(A.subs(T, alpha), *gens, extension=alpha)
            Ba = Poly(B.subs(T, alpha), *gens, extension=alpha)
            qa, ra = Aa.div(ha)
            qb, rb = Ba.div(ha)
            if not ra.is_zero or not rb.is_zero:
                print(relation, "answer does not divide:", shown)
                failures += 1
                continue
            if qa.gcd(qb).total_degree() != 0:
                print(relation, "cofactors share a factor:", shown)
                failures += 1
    failures += field_sums(tarvex, rng)
    if failures:
        sys.exit(1)
    print("field gcds: all checks passed")


if __name__ == "__main__":
    main()
