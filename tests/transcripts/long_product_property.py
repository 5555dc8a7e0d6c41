#!/usr/bin/env python3
"""Long one-variable products in every modular ground ring, checked by
properties the product code cannot fake, each session held to a limit of
processor time.

The operands are sums of Sigma pieces c(j) * x^(s j + o) of random lengths
(around every length where the product changes its road), strides (a
stride above 6 makes an operand sparse by its own span, however crowded
the product), offsets and shapes: balanced, unbalanced, squares, a y
coefficient, Laurent offsets. Over Z/n the remainder of a * b by
x^N - k is compared with the one this script computes from the operands'
coefficients; in GF(2^8) and GF(2^16) the product's value at random
points with the product of the operands' values there.

The last cases are sums over the odd powers and their products modulo 2
and in the fields of characteristic 2, whose products are long and
crowded although every operand is sparse by its span: the schoolbook once
took minutes there.

  long_product_property.py TARVEX [SEED] [LIMIT]
"""
import random
import sys

from cpu_limited import run_held

PRIME_RINGS = [2, 3, 12, 65521, 2147483629]
FIELDS = [256, 65536]


class Piece:
    """Sigma<j = 1, n>((j^2 + u j + v) * (x^s)^j * x^o)."""

    def __init__(self, rng, n, s, o):
        self.n, self.s, self.o = n, s, o
        self.u, self.v = rng.randrange(0, 50), rng.randrange(1, 50)

    def text(self):
        return "Sigma<j = 1, %d>((j^2 + %d*j + %d)*(x^%d)^j*x^%d)" % (self.n, self.u, self.v, self.s, self.o)

    def terms(self, m):
        for j in range(1, self.n + 1):
            yield self.s * j + self.o, (j * j + self.u * j + self.v) % m


def operand(rng, n, s):
    return [Piece(rng, max(1, n - rng.randrange(0, 3)), s, rng.randrange(0, 5)) for _ in range(rng.choice([1, 1, 2]))]


def text(pieces):
    return "(" + " + ".join(p.text() for p in pieces) + ")"


def reduce_cyclic(pieces, m, big_n, k, shift):
    """pieces * x^shift modulo x^N - k over Z/m, as N coefficients."""
    r = [0] * big_n
    for p in pieces:
        for e, c in p.terms(m):
            e += shift
            r[e % big_n] = (r[e % big_n] + c * pow(k, e // big_n, m)) % m
    return r


def times_cyclic(x, y, m, k):
    big_n = len(x)
    z = [0] * big_n
    for i, a in enumerate(x):
        if a:
            for j, b in enumerate(y):
                e = i + j
                z[e % big_n] = (z[e % big_n] + a * b * (k if e >= big_n else 1)) % m
    return z


def poly_text(cs):
    ts = ["%d*x^%d" % (c, i) for i, c in enumerate(cs) if c]
    return " + ".join(ts) if ts else "0"


def shapes(rng):
    """(name, a's length, b's length, stride of a, stride of b, square)."""
    # Lengths next to the roads' thresholds: the term-list cut (10), the
    # transforms' (150, 400), the dense arrays' degree sum (22,008).
    near = [9, 10, 11, 149, 150, 151, 399, 400, 401, 11004, 11005]
    out = []
    for _ in range(3):
        n = rng.choice(near) + rng.randrange(-2, 3)
        out.append(("balanced", n, n + rng.randrange(0, 5), rng.choice([1, 2, 3]), rng.choice([1, 2, 5, 7, 9]), False))
    out.append(("unbalanced", rng.randrange(4000, 9000), rng.randrange(10, 400), 1, rng.choice([1, 7]), False))
    out.append(("square", rng.randrange(2000, 12000), 0, rng.choice([1, 2, 7]), 0, True))
    out.append(("sparse", rng.randrange(2000, 5000), rng.randrange(2000, 5000), 7, 8, False))
    return out


def check_ring(tarvex, rng, m, limit):
    """Failures (as messages) of one session of random products modulo m."""
    field = m in FIELDS
    # (Remquot in two variables over Z/12 takes minutes: a division matter.)
    two_var = rng.random() < 0.5 and not field and m != 12
    laurent = 0 if two_var else rng.choice([0, 0, 3])
    script = ("&(J = y);\n" if two_var else "") + "&(J = x);\n" + ("&(l = 1);\n" if laurent else "")
    script += "&(p = %d);\n" % m
    names = []
    for i, (name, na, nb, sa, sb, square) in enumerate(shapes(rng)):
        a = operand(rng, na, sa)
        b = a if square else operand(rng, nb, sb)
        ya, yb = (rng.randrange(1, 9), rng.randrange(1, 9)) if two_var else (0, 0)
        ta = text(a) + ("*(y + %d)" % ya if two_var else "") + ("*x^-%d" % laurent if laurent else "")
        tb = text(b) + ("*(y^2 + %d*y + 1)" % yb if two_var else "") + ("*x^-%d" % laurent if laurent else "")
        script += "a := %s:\nb := %s:\n" % (ta, "a" if square else tb)
        script += "c := a*%s:\n" % ("a" if square else "b")
        if field:
            # Values at points against the product of values there.
            for _ in range(2):
                g = rng.randrange(2, m)
                script += "!!('CHECK', c#(x = %d) - (a#(x = %d))*(b#(x = %d)));\n" % (g, g, g)
                names.append("%s %d x %d, point %d" % (name, na, nb, g))
            continue
        big_n, k = rng.randrange(50, 120), rng.randrange(1, m)
        ra = reduce_cyclic(a, m, big_n, k, 0)
        rb = reduce_cyclic(b, m, big_n, k, 0)
        want = poly_text(times_cyclic(ra, rb, m, k))
        if two_var:
            want = "(%s)*(y + %d)*(y^%d + %d*y + 1)" % (want, ya, 4 if square else 2, yb) if not square else \
                "(%s)*(y + %d)^2" % (want, ya)
        cleared = "c*x^%d" % (2 * laurent) if laurent else "c"
        script += "r := Remquot(%s, x^%d - %d, q):\n!!('CHECK', r - (%s));\n" % (cleared, big_n, k, want)
        names.append("%s %d x %d, strides %d, %d%s%s" % (name, na, nb, sa, sb, ", in y" if two_var else "",
                                                         ", Laurent" if laurent else ""))
    return session(tarvex, script, names, limit, "ring %d" % m)


def session(tarvex, script, names, limit, ring):
    done = run_held(tarvex, script, limit, text=True)
    if done is None:
        return ["FAIL %s: over %.1f s of processor time" % (ring, limit)]
    fails = [line for line in done.stdout.splitlines() if line.startswith("***")]
    lines = [line.lstrip("> ") for line in done.stdout.splitlines()]
    shown = [line[len("CHECK"):].strip() for line in lines if line.startswith("CHECK")]
    out = ["FAIL %s: %s" % (ring, f) for f in fails]
    if len(shown) != len(names):
        out.append("FAIL %s: %d results for %d checks" % (ring, len(shown), len(names)))
    for name, r in zip(names, shown):
        if r != "0":
            out.append("FAIL %s, %s: got %r" % (ring, name, r[:80]))
    return out


def sum_text(n, s):
    return "Sigma<j = 1, %d>(j*(x^%d)^j)" % (n, s)


def crowded(tarvex, m, n, limit):
    """Modulo 2 and 3 the product of four sums of j x^j (sums over the
    powers prime to p) times a fifth: the first four's product is as long as
    all four and as sparse by its span. In the fields, whose j are not
    reduced so, sums over the powers x^7j stand in. One held session, the
    values checked at points (fields) or modulo x^N - 1."""
    field = m in FIELDS
    script = "&(J = y);\n&(J = x);\n&(p = %d);\n" % m
    if field:
        script += "a := %s*%s:\nb := %s:\n" % (sum_text(n, 7), sum_text(n + 1, 1), sum_text(n + 2, 7))
    else:
        script += "a := %s:\nb := %s:\n" % ("*".join(sum_text(n + i, 1) for i in range(4)), sum_text(n + 4, 1))
    script += "c := a*b:\nd := a*a:\n"
    # (In the fields b times itself: no transform serves there, and the
    # packed arrays' Karatsuba on a's length would take a second.)
    script += "e := (%s*(y + 1))*(b*(y^2 + y + 1)):\n" % ("b" if field else "a")
    names = []
    if field:
        for g in (3, m - 5):
            script += "!!('CHECK', c#(x = %d) - (a#(x = %d))*(b#(x = %d)));\n" % (g, g, g)
            script += "!!('CHECK', d#(x = %d) - (a#(x = %d))^2);\n" % (g, g)
            script += "!!('CHECK', e#(x = %d) - (b#(x = %d))^2*(y + 1)*(y^2 + y + 1));\n" % (g, g)
            names += ["a*b at %d" % g, "a*a at %d" % g, "in y at %d" % g]
    else:
        big_n = 97
        cyc = []
        for i in range(5):
            r = [0] * big_n
            for j in range(1, n + i + 1):
                r[j % big_n] = (r[j % big_n] + j) % m
            cyc.append(r)
        ra = cyc[0]
        for r in cyc[1:4]:
            ra = times_cyclic(ra, r, m, 1)
        script += "!!('CHECK', Remquot(c, x^%d - 1, q) - (%s));\n" % (big_n, poly_text(times_cyclic(ra, cyc[4], m, 1)))
        script += "!!('CHECK', Remquot(d, x^%d - 1, q) - (%s));\n" % (big_n, poly_text(times_cyclic(ra, ra, m, 1)))
        script += "!!('CHECK', Remquot(e, x^%d - 1, q) - (%s)*(y + 1)*(y^2 + y + 1));\n" % (
            big_n, poly_text(times_cyclic(ra, cyc[4], m, 1)))
        names += ["a*b modulo x^%d - 1" % big_n, "a*a modulo x^%d - 1" % big_n, "in y modulo x^%d - 1" % big_n]
    return session(tarvex, script, names, limit, "ring %d, odd powers to %d" % (m, n))


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20261209
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 2.0
    rng = random.Random(seed)
    failures = []
    for m in PRIME_RINGS + FIELDS:
        failures += check_ring(tarvex, rng, m, limit)
    for m, n in ((2, 20000), (3, 12000), (256, 3000), (65536, 2500)):
        failures += crowded(tarvex, m, n, limit)
    for f in failures:
        print(f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
