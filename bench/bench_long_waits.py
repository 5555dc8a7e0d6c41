#!/usr/bin/env python3
"""Computations users once waited minutes for, timed through the real
interpreter as a user meets them (the whole session, start to exit), each
at its size and at neighbouring ones, with a second binary's time beside
when one is given:

  - Powermod over the rationals modulo a monic polynomial, exponents up to
    2 * 101^3 (coefficients of hundreds of thousands of digits);
  - Sqfree of monomials of degree up to 2^29 (times a polynomial) over the
    rationals, modulo 3 and in GF(2^8);
  - planted gcds of sparse polynomials in six variables modulo 13 (and 2,
    3), 40 to 80 random terms of exponents 0-12 each;
  - a long product modulo 2: four sums of j x^j (to n, n + 1, ...) times a
    fifth, the sums over the odd powers, sparse by their spans though their
    product is crowded; the same in GF(2^8), modulo 3 and 7, with a y
    coefficient, and in Laurent mode below exponent 0.

  bench_long_waits.py TARVEX [OTHER_TARVEX] [RUNS] [LIMIT]

The least time of RUNS (3 by default) is shown; a session past LIMIT
seconds (60 by default) is stopped and shown as "> LIMIT". Every session
checks its own answer and the line says "wrong" when it does not hold.
"""
import os
import random
import sys

from whole_process import whole_process


def powermod(n):
    # The answer's residues modulo a word prime against the same power
    # taken there.
    return (f"&(J = w);\nc := Powermod(w + 1, {n}, w^3 + 2):\nr := Powermod(c, 1, 1000000007):\n"
            f"!!('OK', r - ({reference(n)}));\n")


def reference(n, p=1000000007):
    def mul(a, b):
        r = [0] * 5
        for i in range(3):
            for j in range(3):
                r[i + j] += a[i] * b[j]
        for k in (4, 3):
            r[k - 3] -= 2 * r[k]
        return [x % p for x in r[:3]]
    r, b = [1, 0, 0], [1, 1, 0]
    while n:
        if n & 1:
            r = mul(r, b)
        b = mul(b, b)
        n >>= 1
    return " + ".join(f"{c}*w^{e}" for e, c in enumerate(r))


def sqfree(ring, e, extra):
    # The part of x carries the exponent (modulo p where the ring says so).
    head = "" if ring == 0 else f"&(p = {ring});\n"
    mult = e if ring == 0 else e % (2 if ring == 256 else ring)
    return (head + f"&(J = y);\n&(J = x);\nf := x^{e}*y^2{extra}:\nArray q[1];\nk := Sqfree(f, [q]):\n"
            f"!!('OK', (q[1, 1] - x) + (q[1, 2] - {mult}));\n")


def sparse6(p, terms, seed=1):
    rng = random.Random(seed)
    names = ["x", "y", "z", "w", "v", "u"]

    def poly():
        ts = [f"{rng.randrange(1, p)}*" + "*".join(f"{v}^{rng.randint(0, 12)}" for v in names) for _ in range(terms)]
        return "(" + " + ".join(ts + ["x^13"]) + ")"
    return (f"&(p = {p});\n" + "".join(f"&(J = {v});\n" for v in reversed(names)) +
            f"g := {poly()}:\na := {poly()}:\nb := {poly()}:\nh := GCD(g*a, g*b):\n!!('OK', h - g);\n")


def long_product(ring, n, extra=""):
    # a := s(n) s(n+1) s(n+2) s(n+3), b := s(n+4), s(k) = Sigma j x^j to k;
    # c := a b checked at x^97 - 1 against a product of remainders.
    head = "&(J = y);\n&(J = x);\n" + ("&(l = 1);\n" if extra == "laurent" else "") + f"&(p = {ring});\n"
    shift = "*x^-9" if extra == "laurent" else ""
    coef = "*(y + 1)" if extra == "y" else ""
    sums = [f"Sigma<j = 1, {n + i}>(j*x^j)" for i in range(5)]
    script = head + f"a := {'*'.join(sums[:4])}{shift}:\nb := {sums[4]}{coef}{shift}:\nc := a*b:\n"
    if extra == "laurent":
        script += "c := c*x^18:\n"
    return script + ("!!('OK', Remquot(c, x^97 - 1, q) - (Remquot(Remquot(a*x^9, x^97 - 1, q)*"
                     "Remquot(b*x^9, x^97 - 1, q), x^97 - 1, q)));\n" if extra == "laurent" else
                     "!!('OK', Remquot(c, x^97 - 1, q) - (Remquot(Remquot(a, x^97 - 1, q)*"
                     "Remquot(b, x^97 - 1, q), x^97 - 1, q)));\n")


CASES = [
    # (name, script maker, sizes, a reference system's time at the middle size)
    ("Powermod(w + 1, n, w^3 + 2), n", powermod, (101 ** 3 // 2, 101 ** 3, 2 * 101 ** 3), 0.05),
    ("Powermod(w + 1, n, w^3 + 2), n", powermod, (10000, 100000, 1000000), None),
    ("Sqfree x^e*y^2 mod 3, e", lambda e: sqfree(3, e, ""), (2 ** 27, 2 ** 29, 2 ** 30), 0.01),
    ("Sqfree x^e*y^2 over Q, e", lambda e: sqfree(0, e, ""), (2 ** 26, 2 ** 28 - 1), None),
    ("Sqfree x^e*y^2*(x+y)^3 GF(2^8), e", lambda e: sqfree(256, e, "*(x + y)^3"), (2 ** 27 + 1, 2 ** 29 + 1), None),
    ("6 variables mod 13, planted gcd, terms", lambda t: sparse6(13, t), (40, 60, 80), 0.72),
    ("6 variables mod 3, planted gcd, terms", lambda t: sparse6(3, t), (30, 60), None),
    ("6 variables mod 2, planted gcd, terms", lambda t: sparse6(2, t), (30, 60), None),
    # The peer's 0.22 s is the figure for n = 65531 (no peer here).
    ("long product mod 2, n", lambda n: long_product(2, n), (32765, 65531, 131071), 0.22),
    ("long product mod 3, n", lambda n: long_product(3, n), (32765, 65531), None),
    ("long product mod 7, n", lambda n: long_product(7, n), (32765, 65531), None),
    ("long product GF(2^8), n", lambda n: long_product(256, n), (16381, 65531), None),
    ("long product mod 2 times (y + 1), n", lambda n: long_product(2, n, "y"), (16381, 65531), None),
    ("long product mod 2 Laurent, n", lambda n: long_product(2, n, "laurent"), (16381, 65531), None),
]


def run(binary, script, limit):
    """Seconds (None past the limit), and whether the session printed its
    mark of a right answer (a session cut off is not called wrong)."""
    took, out = whole_process(binary, script, limit)
    return took, took is None or "OK 0" in out


def best_of(binary, script, runs, limit):
    best, ok = None, True
    for _ in range(runs):
        t, right = run(binary, script, limit)
        if t is None:
            return None, ok
        ok = ok and right
        best = t if best is None else min(best, t)
    return best, ok


def main(argv):
    binary = os.path.abspath(argv[1])
    other = os.path.abspath(argv[2]) if len(argv) > 2 and not argv[2].isdigit() else None
    rest = argv[3:] if other else argv[2:]
    runs = int(rest[0]) if rest else 3
    limit = float(rest[1]) if len(rest) > 1 else 60.0
    print(f"{'case':40s} {'size':>10s} {'seconds':>9s} {'other s':>9s}  peer s")
    wrong = 0
    for name, make, sizes, peer in CASES:
        for size in sizes:
            script = make(size)
            t, ok = best_of(binary, script, runs, limit)
            shown = f"> {limit:.0f}" if t is None else f"{t:.3f}"
            o = ""
            if other:
                to, _ = best_of(other, script, 1, limit)
                o = f"> {limit:.0f}" if to is None else f"{to:.3f}"
            ref = f"  {peer}" if peer is not None and size == sizes[len(sizes) // 2] else ""
            note = "" if ok else "  wrong"
            wrong += not ok
            print(f"{name:40s} {size:10d} {shown:>9s} {o:>9s}{ref}{note}", flush=True)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
