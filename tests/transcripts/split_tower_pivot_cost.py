#!/usr/bin/env python3
"""Eliminations over field levels that the prime splits only partly cost
about what they cost where it splits them into linear factors.

Pivot searches over such levels ask of every entry whether it vanishes in
some copy (a field of an irreducible factor); the copies were once built
anew for every search and every entry read term by term through them,
five times the work of the search itself. Each pair below runs the same
loop in a ring split partly and in one split into linear factors (whose
copies are roots: Z/p), and the first must take at most LIMIT times the
processor time of the second (the least of three sessions each):

- 2,000 Adjoints of a zero-heavy 5 x 5 matrix over the tower s^2 - 3,
  t^2 - 2 modulo 7 (t^2 - 2 splits, s^2 - 3 not), beside modulo 23;
- 2 Adjoints of a 5 x 5 matrix of fractions in x, y over that tower (at
  most 0.8 times LIMIT: the copies' gcds of its cells disagree often, and
  once their quotients took the tower's road before the copies' one);
- 1,000 Adjoints and 2,000 inverses of a 5 x 5 matrix under t^3 - 2
  modulo 23 (a linear and a quadratic factor), beside modulo 31.

Fractions over such levels are cancelled in the copies only where the
gcd over the tower leaves something to do there; once every product, sum
and default Det took both roads. These must take at most 0.6 times LIMIT
(0.7 for the Det) the time of the same loop split into linear factors:

- 4,000 products and 4,000 sums of two fresh fractions in x, y under t^3 - 2
  modulo 23, beside modulo 31;
- 600 default Dets of a 4 x 4 matrix in x, y under t^3 + 1 modulo 2 (t + 1
  times t^2 + t + 1) whose entries lead with those zero divisors, beside
  modulo 7.

In every ring [a]*Adjoint[a] is Det[a] times the identity and, where Det[a]
is a unit, [a]*(1/[a]) the identity.

  split_tower_pivot_cost.py TARVEX [LIMIT] [SCALE]

SCALE divides the loops' counts (a sanitizer build runs a few times slower).
"""
import os
import resource
import sys
import tempfile

from case_report import report
from cpu_limited import run_held

TOWER = "&(J = s):\n&(P = s^2 - 3, 1):\n&(J = t):\n&(P = t^2 - 2, 1):\n&(J = x):\n"
CUBIC = "&(J = t):\n&(P = t^3 - 2, 1):\n&(J = x):\n"
# Cells column by column: the first tower matrix is singular.
SINGULAR = ("0, 0, s*t + 1, 0, 0, 0, 0, 0, s, 2*t + 1, 0, 0, 0, s - 4, s - 4, 5*(s + t - 3), (t - 3)*s, 0, 0, 0, "
            "0, 0, 0, 0, s")
REGULAR = ("1, 0, s*t + 1, 0, 0, 0, 1, 0, s, 2*t + 1, 0, 0, t, s - 4, s - 4, 5*(s + t - 3), (t - 3)*s, 0, 1, 0, "
           "0, 0, 0, 0, s")
# Fractions in x, y over the tower: 19 of the 25 cells filled, 13 of them
# with a denominator.
TOWER_XY = TOWER + "&(J = y):\n"
FRACTIONS_XY = ("5*x + 5*t*y + 7*s + 9, 6*x + -9*t*y + -7*s + 5, 0, -3*x + -4*t*y + 3*s + 9, 0, 6*x + -4*t*y + -6*s + 5, "
                "0, (-3*x + -1*t + 1*s + -7)/(y + 0*t + 1), -3*x + 5*t*y + -1*s + -9, "
                "(-2*x + -2*t + -3*s + -4)/(y + 8*t + -3), (-8*x + 3*t + 5*s + -4)/(y + -9*t + 7), "
                "-7*x + -1*t*y + 1*s + -2, (-6*x + -5*t + -2*s + -6)/(y + -9*t + -8), 0, 0, "
                "(-2*x + -9*t + 5*s + 1)/(y + 5*t + 9), (9*x + -6*t + 3*s + -6)/(y + 0*t + 3), "
                "(8*x + -3*t + 5*s + 7)/(y + -3*t + -5), (-7*x + -7*t + -7*s + -3)/(y + 9*t + -2), "
                "(-7*x + 4*t + -8*s + -6)/(y + -6*t + -8), 0, (-9*x + -3*t + -3*s + -8)/(y + 6*t + 3), "
                "(3*x + 4*t + -3*s + -9)/(y + -1*t + 9), (5*x + -5*t + 9*s + 6)/(y + 9*t + -5), "
                "(3*x + -1*t + 4*s + 6)/(y + 0*t + 7)")
CUBIC_CELLS = ("t^2 + 5, t^2 + 5, t^2 + 5, t - 16, 0, t^2 + 5, t + 3, 4, 2*t + 1, 0, t + 3, t^2 + 5, t - 16, 0, 4, "
               "0, 4, 4, t^2 + 5, 0, 0, 0, 0, 4, t^2 - 7*t + 3")

FRACTIONS = "&(J = t):\n&(P = t^3 - 2, 1):\n&(J = x):\n&(J = y):\n"
STEP = "f := (x + t*y + k)/(x - t + k); g := (x - t + k)/(y + k*t + 1); h := f {} g"
LEADS = ("&(J = t):\n&(P = t^3 + 1, 1):\n&(J = y):\n&(J = x):\nArray a[4,4]:\n"
         "[a] := [((t + 1)*y + (t + 1)*x, 0, t + 1*x + 2, x + 3, t + 1, 0, (t^2 + t + 1)*y + 3, x + 3, "
         "(t + 1)*y + (t + 1)*x, t^2 + t + 1*x + 2, (t^2 + t + 1)*y + (t + 1)*x, (t + 1)*y + 2, 0, "
         "(t^2 + t + 1)*y*x + 1, (t + 1)*y + 1, (t^2 + t + 1)*y + 1)]:\n")


def setup(p, head, cells):
    return f"&(p = {p}):\n{head}Array a[5,5], b[5,5], c[5,5], e[5,5]:\n[a] := [({cells})]:\n"


# (what, the session's start for a prime, loop body, count, prime split
# partly, prime split into linear factors, share of LIMIT)
PAIRS = [("tower Adjoint", lambda p: setup(p, TOWER, SINGULAR), "[b] := Adjoint[a]", 2000, 7, 23, 1),
         ("tower Adjoint of fractions", lambda p: setup(p, TOWER_XY, FRACTIONS_XY), "[b] := Adjoint[a]", 2, 7, 23,
          0.8),
         ("cubic Adjoint", lambda p: setup(p, CUBIC, CUBIC_CELLS), "[b] := Adjoint[a]", 1000, 23, 31, 1),
         ("cubic inverse", lambda p: setup(p, CUBIC, CUBIC_CELLS), "[b] := 1/[a]", 2000, 23, 31, 1),
         ("fraction products", lambda p: f"&(p = {p}):\n{FRACTIONS}", STEP.format("*"), 4000, 23, 31, 0.6),
         ("fraction sums", lambda p: f"&(p = {p}):\n{FRACTIONS}", STEP.format("+"), 4000, 23, 31, 0.6),
         ("Det, leads zero divisors", lambda p: f"&(p = {p}):\n{LEADS}", "u := Det[a]", 600, 2, 7, 0.7)]


def seconds(tarvex, script, cwd):
    """Processor time of the session (None when it ran out of its hold)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = run_held(tarvex, script, 10, text=True, cwd=cwd)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if out is None or "***" in out.stdout:
        return None
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def cost(tarvex, pair, limit, scale, cwd):
    what, start, body, count, partly, linear, share = pair
    count = max(1, int(count / scale))
    limit *= share
    took = {}
    for _ in range(3):
        for p in (partly, linear):
            t = seconds(tarvex, start(p) + f"for k = 1 to {count} do {body} od:\n", cwd)
            if t is None:
                return f"{what} modulo {p}: no answer"
            took[p] = min(took.get(p, t), t)
    ratio = took[partly] / max(took[linear], 0.01)
    if ratio > limit:
        return f"{what}: {took[partly]:.2f} s modulo {partly}, {ratio:.1f} times {took[linear]:.2f} s modulo {linear}"
    return None


def identities(tarvex, p, head, cells, invertible, cwd):
    """[a]*Adjoint[a] - Det[a]*I and, where Det[a] is a unit, [a]*(1/[a]) -
    I: 0 in every cell."""
    script = setup(p, head, cells) + "g := Det[a]:\n[b] := Adjoint[a]:\n[c] := [a]*[b]:\n"
    script += "".join(f"!!('adj', c[{i},{j}]{' - g' if i == j else ''});\n" for i in range(1, 6) for j in range(1, 6))
    if invertible:
        script += "!!('unit', Divides(g, 1));\n[e] := 1/[a]:\n[c] := [a]*[e]:\n"
        script += "".join(f"!!('inv', c[{i},{j}]{' - 1' if i == j else ''});\n" for i in range(1, 6) for j in range(1, 6))
    out = run_held(tarvex, script, 2, text=True, cwd=cwd)
    if out is None:
        return f"{cells} modulo {p}: no answer"
    shown = {}
    for ln in out.stdout.splitlines():
        w = ln.lstrip(">").split(" ", 1)
        if len(w) == 2 and w[0] in ("adj", "inv", "unit"):
            shown.setdefault(w[0], []).append(w[1].strip())
    want = {"adj": ["0"] * 25, **({"unit": ["1"], "inv": ["0"] * 25} if invertible else {})}
    return None if shown == want else f"{cells} modulo {p}: {shown}\n{out.stdout[-600:]}"


def main():
    tarvex = os.path.abspath(sys.argv[1])
    limit = float(sys.argv[2]) if len(sys.argv) > 2 else 2.0
    scale = float(sys.argv[3]) if len(sys.argv) > 3 else 1.0
    with tempfile.TemporaryDirectory() as cwd:
        # A busy machine can slow one side of a pair alone for a while: a
        # pair fails only if it fails three rounds running, as a slower road
        # does every time.
        results = []
        for pair in PAIRS:
            for _ in range(3):
                result = cost(tarvex, pair, limit, scale, cwd)
                if result is None or "no answer" in result:
                    break
            results.append(result)
        for head, cells, invertible, primes in ((TOWER, SINGULAR, False, (7, 23)), (TOWER, REGULAR, True, (7, 23)),
                                                (TOWER_XY, FRACTIONS_XY, False, (7, 23)),
                                                (CUBIC, CUBIC_CELLS, True, (23, 31))):
            results += [identities(tarvex, p, head, cells, invertible, cwd) for p in primes]
    sys.exit(report(results))


if __name__ == "__main__":
    main()
