#!/usr/bin/env python3
"""Gcds over fields of about 2^21 elements modulo 2 and 3, and over a tower
of three levels over the rationals beside one of two, timed as a user meets
them: the whole session, from start to exit.

  bench_field_sizes_gcd.py TARVEX [OTHER] [RUNS] [LIMIT]

OTHER, when given, is a second interpreter (an earlier build, say) timed
on the same sessions in a column beside. Each figure is the least of RUNS
(3) sessions; one past LIMIT seconds (60) is stopped and shown as such.
Every session checks its answer: the gcd h of u and v divides both (the
interpreter's remainders u | h and v | h are 0), the planted factor g
divides h, and the cofactors u/h and v/h have the gcd 1; for the coprime
operands h must be 1 itself. A wrong answer is marked "wrong". The last
column is a reference system's time for the same input, where known.

The inputs:
- modulo 3, one field relation of degree 14 (3^14 elements, past 2^21)
  and of degree 13 (below it): a planted gcd of 9 terms and degrees 8 in
  x, 12 in y, times cofactors of 15 and 12 terms; the same over two
  levels of degrees 7 and 2 (3^14 elements);
- modulo 2 over t^22 + t + 1 (past 2^21) and t^21 + t^2 + 1 (2^21):
  GCD(g0^2*c, g0*c2*(y^2 + x)), g0 of 6 terms;
- modulo 2 over GF(2^32), by a quadratic over GF(2^16) and by one
  relation of degree 32: a planted gcd of degree (4, 5) in x, y (the
  reference figure, 0.2-0.4 s, is for the single field);
- over Q(i)(sqrt 3)(sqrt 5) and Q(i)(sqrt 3): two coprime sparse operands
  of 6 terms in x and y, degrees up to 80, coefficients about 2^40.
"""
import os
import random
import sys

from whole_process import whole_process

RELATIONS_3 = {
    14: "t^14 + t^12 + t^11 + t^7 + 2*t^6 + 2*t^4 + t^3 + 2*t^2 + 2*t + 1",
    13: "t^13 + 2*t^9 + 2*t^8 + t^6 + 2*t^5 + t^3 + 2*t^2 + 2",
}

CHECK = ("h := GCD(u, v):\n!!('A', u | h, v | h, h | g);\n!!('B', GCD(u/h, v/h));\n")


def sparse(rng, terms, dx, dy, element):
    out = [f"x^{dx}*y^{rng.randrange(dy + 1)}"]
    out += [f"{element()}*x^{rng.randrange(dx + 1)}*y^{rng.randrange(dy + 1)}" for _ in range(terms - 1)]
    return "(" + " + ".join(out) + ")"


def modulo_3(d):
    rng = random.Random(20261209 + d)

    def element():
        return "(" + " + ".join(f"{rng.randrange(1, 3)}*t^{e}" for e in range(d) if rng.randrange(2)) + " + 1)"
    g, a, b = sparse(rng, 9, 8, 12, element), sparse(rng, 15, 8, 12, element), sparse(rng, 12, 8, 12, element)
    return (f"&(p = 3);\n&(J = t);\n&(J = y);\n&(J = x);\n&(P = {RELATIONS_3[d]}, 1);\n"
            f"g := {g}:\nu := g*{a}:\nv := g*{b}:\n" + CHECK)


def modulo_2(relation, d):
    rng = random.Random(20261209 + d)

    def element():
        return "(" + " + ".join(f"t^{e}" for e in range(d) if rng.randrange(2)) + " + 1)"
    g0, c, c2 = sparse(rng, 6, 6, 6, element), sparse(rng, 8, 6, 6, element), sparse(rng, 8, 6, 6, element)
    return (f"&(p = 2);\n&(J = t);\n&(J = y);\n&(J = x);\n&(P = {relation}, 1);\n"
            f"g0 := {g0}:\ng := g0:\nc := {c}:\nc2 := {c2}:\nu := g0^2*c:\nv := g0*c2*(y^2 + x):\n" + CHECK)


def two_levels_3():
    """3^14 elements by two levels: t^7 + t^6 + t^4 + 1 (t no square in
    GF(3^7)), then s^2 = t; the planted gcd of the sizes above."""
    rng = random.Random(20261209)

    def element():
        return ("(" + " + ".join(f"{rng.randrange(1, 3)}*t^{e}" for e in range(7) if rng.randrange(2))
                + f" + {rng.randrange(3)}*s + 1)")
    g, a, b = sparse(rng, 9, 8, 12, element), sparse(rng, 15, 8, 12, element), sparse(rng, 12, 8, 12, element)
    return ("&(p = 3);\n&(J = t);\n&(J = s);\n&(J = y);\n&(J = x);\n&(P = t^7 + t^6 + t^4 + 1, 1);\n"
            f"&(P = s^2 - t, 1);\ng := {g}:\nu := g*{a}:\nv := g*{b}:\n" + CHECK)


REL_16 = "t^16 + t^14 + t^13 + t^12 + t^11 + t^7 + t^6 + t^5 + t^2 + t + 1"


def two_to_32(tower):
    """GF(2^32) by s^2 + s + t^3 over GF(2^16) (t^3 has trace 1 there), or
    by t^32 + t^22 + t^2 + t + 1: a planted gcd of degree (4, 5) in x, y
    and 10 terms, times cofactors of the same shape; random elements."""
    rng = random.Random(20261209)
    k = 16 if tower else 32

    def bits():
        return "(" + " + ".join(f"t^{e}" for e in range(k) if rng.randrange(2)) + " + 1)"

    def element():
        return f"({bits()} + {bits()}*s)" if tower else bits()

    def operand():
        exps = {(4, rng.randrange(6)), (rng.randrange(5), 5), (0, 0)}
        while len(exps) < 10:
            exps.add((rng.randrange(5), rng.randrange(6)))
        return "(" + " + ".join(f"{element()}*x^{i}*y^{j}" for i, j in sorted(exps, reverse=True)) + ")"
    head = ("&(p = 2);\n&(J = t);\n&(J = s);\n&(J = y);\n&(J = x);\n"
            + (f"&(P = {REL_16}, 1);\n&(P = s^2 + s + t^3, 1);\n" if tower else "&(P = t^32 + t^22 + t^2 + t + 1, 1);\n"))
    return head + f"g := {operand()}:\nu := g*{operand()}:\nv := g*{operand()}:\n" + CHECK


def tower(levels):
    rng = random.Random(20261209)
    basis = ["", "*t", "*s", "*s*t", "*r", "*r*t", "*r*s", "*r*s*t"][:2 ** levels]

    def element():
        return "(" + " + ".join(f"{rng.randrange(-2 ** 40, 2 ** 40)}{m}" for m in basis) + ")"

    def operand():
        return sparse(rng, 6, 80, 80, element)[:-1] + f" + {rng.randrange(1, 2 ** 40)})"
    names = "tsr"[:levels]
    rels = ["t^2 + 1", "s^2 - 3", "r^2 - 5"][:levels]
    return ("".join(f"&(J = {v});\n" for v in names) + "&(J = y);\n&(J = x);\n"
            + "".join(f"&(P = {m}, 1);\n" for m in rels)
            + f"u := {operand()}:\nv := {operand()}:\n!!('A', GCD(u, v));\n")


CASES = [
    # (name, script, the answer's lines, a reference system's seconds)
    ("mod 3, relation of degree 14, planted gcd", modulo_3(14), ("A 0 0 0", "B 1"), 0.13),
    ("mod 3, relation of degree 13, planted gcd", modulo_3(13), ("A 0 0 0", "B 1"), 1.2),
    ("mod 3, t^7 + ..., s^2 - t, planted gcd", two_levels_3(), ("A 0 0 0", "B 1"), None),
    ("mod 2, t^22 + t + 1, GCD(g0^2*c, ...)", modulo_2("t^22 + t + 1", 22), ("A 0 0 0", "B 1"), 0.17),
    ("mod 2, t^21 + t^2 + 1, GCD(g0^2*c, ...)", modulo_2("t^21 + t^2 + 1", 21), ("A 0 0 0", "B 1"), 0.26),
    ("mod 2, GF(2^32) by s^2 + s + t^3 over 2^16", two_to_32(True), ("A 0 0 0", "B 1"), None),
    ("mod 2, GF(2^32) by t^32 + ..., planted (4, 5)", two_to_32(False), ("A 0 0 0", "B 1"), 0.3),
    ("Q(i)(sqrt 3)(sqrt 5), coprime, degree 80", tower(3), ("A 1",), 0.02),
    ("Q(i)(sqrt 3), coprime, degree 80", tower(2), ("A 1",), 0.05),
]


def timed(binary, script, want, runs, limit):
    best, right = None, True
    for _ in range(runs):
        took, out = whole_process(binary, script, limit)
        if took is None:
            return None, True
        lines = [line.lstrip(">").strip() for line in out.replace(" `\n", "").split("\n")]
        right = right and all(w in lines for w in want)
        best = took if best is None else min(best, took)
    return best, right


def shown(t, right, limit):
    text = f"> {limit:.0f}" if t is None else f"{t:.3f}"
    return f"{text:>8s}" + ("  wrong" if not right else "")


def main(argv):
    binary = os.path.abspath(argv[1])
    other = os.path.abspath(argv[2]) if len(argv) > 2 and not argv[2].isdigit() else None
    rest = argv[3:] if other else argv[2:]
    runs = int(rest[0]) if rest else 3
    limit = float(rest[1]) if len(rest) > 1 else 60.0
    print(f"{'case':44s} {'seconds':>8s}" + (f" {'other':>8s}" if other else "") + "  reference")
    wrong = 0
    for name, script, want, peer in CASES:
        t, ok = timed(binary, script, want, runs, limit)
        wrong += not ok
        line = f"{name:44s} {shown(t, ok, limit)}"
        if other:
            t2, ok2 = timed(other, script, want, 1, limit)
            line += f" {shown(t2, ok2, limit)}"
        print(line + (f"  {peer:.2f}" if peer else ""), flush=True)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
