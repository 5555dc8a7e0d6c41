#!/usr/bin/env python3
"""Gcds over Q(alpha)[x] and Q(alpha)[x, y] whose second operand divides the
first only up to a unit of the field: v = c2*h and u = c1*h*a with c1, c2
field elements whose inverses have integer denominators (t + 1 over
t^2 + 1 has inverse (1 - t)/2), so the gcd is h up to a unit. The answer
must divide both operands over the field, have h's degree, be monic in the
field (up to the integer content the operands share), and be the same
whether the auxiliary lists are there (the early division through primes
may answer) or given empty (later methods answer). Pairs where v does not
divide u at all are mixed in.

  field_gcd_associates.py TARVEX [SEED]
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import field_gcd_check as fg  # noqa: E402
from field_gcd_check import X, Y, T, Poly, sympy  # noqa: E402


def unit(rng, n):
    """A field element of degree >= 1 in t (never an integer)."""
    while True:
        c = fg.rand_field(rng, n, 2)
        if Poly(c, T).degree() >= 1:
            return c


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 41)
    failures = 0
    # A binomial and a general relation.
    for relation, alpha in (fg.FIELDS[0], fg.FIELDS[3]):
        n = Poly(fg.read_back(relation), T).degree()
        calls, degrees = [], []
        for k in range(6):
            two = k % 2 == 1
            h = fg.rand_poly(rng, n, two, rng.randint(1, 3))
            a = fg.rand_poly(rng, n, two, rng.randint(0, 2)) if k < 4 else 1
            u = sympy.expand(unit(rng, n) * h * a)
            v = sympy.expand(unit(rng, n) * h)
            if k == 5:
                # v no divisor of u: a different second factor.
                v = sympy.expand(v * fg.rand_poly(rng, n, two, 1))
            calls.append((u, v))
            degrees.append(None if k == 5 else Poly(h, X, Y).total_degree())
        answers = fg.run(tarvex, relation, "", calls)
        without = fg.run(tarvex, relation, "::", calls)
        if len(answers) != len(calls):
            print(relation, "answers missing:", answers)
            failures += 1
            continue
        if answers != without:
            print(relation, "answers differ without the auxiliary primes:", answers, without)
            failures += 1
        for (A, B), shown, deg in zip(calls, answers, degrees):
            h = fg.read_back(shown)
            hp = Poly(h, X, Y)
            # The integer content the operands share stays (over the field
            # it is a unit); the leading coefficient is a positive integer.
            if not (hp.LC().is_Integer and hp.LC() > 0):
                print(relation, "answer not monic in the field:", shown)
                failures += 1
            if deg is not None and hp.total_degree() != deg:
                print(relation, "answer of the wrong degree:", shown, "for", A, ",", B)
                failures += 1
            ha = Poly(h.subs(T, alpha), X, Y, extension=alpha)
            for operand in (A, B):
                _, r = Poly(operand.subs(T, alpha), X, Y, extension=alpha).div(ha)
                if not r.is_zero:
                    print(relation, "answer does not divide:", shown)
                    failures += 1
                    break
    if failures:
        sys.exit(1)
    print("field gcds of associates: all checks passed")


if __name__ == "__main__":
    main()
