#!/usr/bin/env python3
"""Gcds and square-free parts modulo small primes, timed through the real
interpreter as a user meets them: the whole session, from start to exit.

  bench_small_prime_gcd.py TARVEX [RUNS] [LIMIT]

Each case runs at its size and at half and double the degree, RUNS times
(3 by default), the least time reported; a session past LIMIT seconds (120
by default) is stopped and shown as "> LIMIT". Every session checks its
own answer (the gcd against the planted factor, the square-free parts
multiplied back) and the line says "wrong" when it does not hold.
"""
import os
import random
import sys

from whole_process import whole_process


def header(p, names):
    return f"&(p = {p});\n" + "".join(f"&(J = {v});\n" for v in names)


def planted2(p, e):
    return (header(p, "yx") + f"g := (x + y + 1)^{e} + x^3*y + 2:\na := (x - y + 2)^{e} + y:\n"
            f"b := (x + 2*y - 1)^{e} + x:\nh := GCD(g*a, g*b):\n!!('OK', h*Nlc(g) - g*Nlc(h));\n")


def planted3(p, e):
    return (header(p, "zyx") + f"g := (x + y + z + 1)^{e} + x*y*z:\na := (x - y + 2*z + 3)^{e} + y:\n"
            f"b := (x + 2*y - z + 5)^{e} + z:\nh := GCD(g*a, g*b):\n!!('OK', h*Nlc(g) - g*Nlc(h));\n")


def cubes(p, k):
    return (header(p, "xyz") + "a := y^2*x^3 + z*y^3*x + y^2*x + z^3:\nb := z^2*y^2 + y^2 + z^3*x^2 + z^2*x^2:\n"
            f"h := GCD(a^{k}, b^{k}):\n!!('OK', h - 1);\n")


def sqfree_check(f):
    # The parts to their multiplicities (all below the modulus here)
    # multiply back to f up to a number.
    return (f"f := {f}:\nArray q[1];\nk := Sqfree(f, [q]):\nr := 1:\n"
            "for i = 1 to k do r := r*q[i, 1]^q[i, 2] od:\n"
            "!!('OK', r*Nlc(f) - f*Nlc(r));\n")


def sqfree3(p, k):
    return header(p, "zyx") + sqfree_check(
        f"(x^{k}+3*x^2+y*z^3)^3*(x*y^3+x*z^2+y*z)^2*(y+z+x*y*z)^4")


def sqfree2(p, e):
    return header(p, "yx") + sqfree_check(
        f"((x + y + 1)^{e} + x*y)^2 * ((x - y)^{e} + y + 1) * ((x + 2*y)^{e} + x + 3)^3")


def sparse3(p, d):
    """Planted gcd of three random 20-term polynomials of degree d in each
    of x, y, z (the same ones on every run)."""
    rng = random.Random(20261208 + d)

    def poly():
        terms = [f"{rng.randrange(1, p)}*x^{rng.randrange(d + 1)}*y^{rng.randrange(d + 1)}*z^{rng.randrange(d + 1)}"
                 for _ in range(19)]
        return "(" + " + ".join(terms + [f"x^{d}"]) + " + 1)"
    return (header(p, "zyx") + f"g := {poly()}:\na := {poly()}:\nb := {poly()}:\n"
            "h := GCD(g*a, g*b):\n!!('OK', h*Nlc(g) - g*Nlc(h));\n")


def planted_over_field(p, e):
    """Over GF(p)[t]/(t^2 - 2), a field for p = 13; modulo 65521, where 2 is
    a square, a declared field that splits."""
    return (header(p, "tyx") + "&(P = t^2 - 2, 1);\n"
            f"g := (x + t*y + 1)^{e} + x^3*y + t:\na := (x - y + 2*t)^{e} + y:\n"
            f"b := (x + 2*y - t)^{e} + x:\nh := GCD(g*a, g*b):\n!!('OK', h - g);\n")


def planted_many(p, names, e):
    """Every variable in each factor: the box of the degrees is far larger
    than the terms (17^6 = 24 million entries at e = 8, 74613 terms)."""
    s = " + ".join(names)
    signs = [("+", "-")[i % 2] for i in range(len(names))]
    a = "x" + "".join(f" {sg} {i % 3 + 1}*{v}" for sg, v, i in zip(signs[1:], names[1:], range(len(names))))
    b = "x" + "".join(f" {sg} {(i + 1) % 3 + 1}*{v}" for sg, v, i in zip(signs[:0:-1], names[1:], range(len(names))))
    mono = "*".join(names)
    return (header(p, names[::-1]) + f"g := ({s} + 1)^{e} + {mono}:\na := ({a} + 3)^{e} + y:\n"
            f"b := ({b} + 5)^{e} + z:\nh := GCD(g*a, g*b):\n!!('OK', h*Nlc(g) - g*Nlc(h));\n")


def planted_composite(m, count):
    """count planted gcds in x, y modulo the composite m (the same ones on
    every run): g and a of degree 2 to 3 in x with random residues,
    GCD(g*a, g*(a + 1)), whose cofactors are coprime modulo every prime of
    m, so that the images prove g; the sum of h*Nlc(g) - g*Nlc(h) must be
    0."""
    rng = random.Random(20261211 + m)

    def poly(d):
        return f"(x^{d} + " + " + ".join(f"{rng.randrange(m)}*x^{e}*y^{rng.randrange(3)}" for e in range(d)) + ")"
    lines = [header(m, "yx"), "s := 0:"]
    for _ in range(count):
        lines.append(f"g := {poly(rng.randint(2, 3))}:\na := {poly(rng.randint(2, 3))}:\nh := GCD(g*a, g*(a + 1)):\n"
                     "s := s + h*Nlc(g) - g*Nlc(h):")
    return "\n".join(lines) + "\n!!('OK', s);\n"


CASES = [
    # (name, script maker, sizes, a reference system's time at the middle size)
    ("item 1: bivariate planted gcd mod 13, ^e", lambda e: planted2(13, e), (15, 30, 60), 0.031),
    ("item 1: bivariate planted gcd mod 13, ^e", lambda e: planted2(13, e), (10, 20, 40), 0.028),
    ("item 2: trivariate planted gcd mod 13, ^e", lambda e: planted3(13, e), (7, 14, 28), 0.021),
    ("item 2: 20-term trivariate planted gcd mod 2", lambda d: sparse3(2, d), (5, 10, 20), 0.039),
    ("item 2: GCD(a^k, b^k) mod 2", lambda k: cubes(2, k), (1, 3, 6), None),
    ("item 3: Sqfree 3 variables mod 13, x^k", lambda k: sqfree3(13, k), (2, 4, 8), 0.028),
    ("item 3: Sqfree 2 variables mod 13, ^e", lambda e: sqfree2(13, e), (5, 10, 20), 0.085),
    # Beside each, the same modulo a word prime: the small prime should
    # cost little more and grow no faster.
    ("GF(13)(t), t^2 = 2, planted gcd, ^e", lambda e: planted_over_field(13, e), (15, 30, 60), None),
    ("GF(65521)(t), t^2 = 2, planted gcd, ^e", lambda e: planted_over_field(65521, e), (15, 30, 60), None),
    ("6 variables mod 13, planted gcd, ^e", lambda e: planted_many(13, "xyzwvu", e), (4, 6, 8, 10), None),
    ("6 variables mod 65521, planted gcd, ^e", lambda e: planted_many(65521, "xyzwvu", e), (4, 6, 8, 10), None),
    ("5 variables mod 13, planted gcd, ^e", lambda e: planted_many(13, "xyzwv", e), (4, 6, 8, 10), None),
    ("5 variables mod 65521, planted gcd, ^e", lambda e: planted_many(65521, "xyzwv", e), (4, 6, 8, 10), None),
    # Modulo composite numbers the plain gcd's answer is proved by images
    # modulo each prime: the proof should cost little beside the gcd.
    ("2 variables mod 4, planted gcds, count", lambda n: planted_composite(4, n), (20, 40, 80), None),
    ("2 variables mod 6, planted gcds, count", lambda n: planted_composite(6, n), (20, 40, 80), None),
    ("2 variables mod 9, planted gcds, count", lambda n: planted_composite(9, n), (20, 40, 80), None),
    ("2 variables mod 12, planted gcds, count", lambda n: planted_composite(12, n), (20, 40, 80), None),
    ("2 variables mod 25, planted gcds, count", lambda n: planted_composite(25, n), (20, 40, 80), None),
    ("2 variables mod 49, planted gcds, count", lambda n: planted_composite(49, n), (20, 40, 80), None),
]


def run(binary, script, limit):
    """Seconds (None past the limit), and whether the session printed its
    mark of a right answer (a session cut off is not called wrong)."""
    took, out = whole_process(binary, script, limit)
    return took, took is None or "OK 0" in out


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    limit = float(argv[3]) if len(argv) > 3 else 120.0
    print(f"{'case':44s} {'size':>5s} {'seconds':>9s}  peer s")
    wrong = 0
    for name, make, sizes, peer in CASES:
        for size in sizes:
            best, ok = None, True
            for _ in range(runs):
                t, right = run(binary, make(size), limit)
                if t is None:
                    best = None
                    break
                ok = ok and right
                best = t if best is None else min(best, t)
            shown = f"> {limit:.0f}" if best is None else f"{best:.3f}"
            note = "" if ok else "  wrong"
            wrong += not ok
            ref = f"  {peer}" if peer is not None and size == sizes[len(sizes) // 2] else ""
            print(f"{name:44s} {size:5d} {shown:>9s}{ref}{note}", flush=True)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
