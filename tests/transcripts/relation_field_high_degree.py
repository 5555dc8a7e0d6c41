#!/usr/bin/env python3
"""Sums of fractions under relations of degree 24 to 48 over Q declared
without the field flag, held to a limit of processor time: the decision
whether the relation makes a field is taken once and must cost about what
the sum used to (a fraction of a second), and the field's gcd must not
search at every operation for primes that split such a relation (it
almost never meets one). The relations are Eisenstein at 2
(t^d + 2a t^k + 2b, b odd), so fields; beside them relations that make
none (reducible over Q, or modulo every prime: t^d - 4, t^32 + 1), which
the decision must give up quickly.

Each sum is checked by multiplying back: with nn/dd the sum's fractions
brought to one denominator by products alone, Numer(s)*dd - Denom(s)*nn
must be 0.

Then the same sum under towers whose outer level has high degree (k^2 - 2
under t^40 - t - k: seconds for the proof that the tower makes a field, a
few tenths by the ring's remainders), planted gcds under relations of
degree 36 to 64, the gcd h of g*a and g*b checked against g: h*lc(g) -
g*lc(h) must be 0, lc the leading coefficient in x, then in y, and sums of
fractions leading with elements of towers of degree 40 (checked as the
first), and one under k^2 + 3, where t^20 - t - k has the root
-(1 + k)/2: no field, so the remainders go to the end, inverting elements
of degree 40 at every step.

Last an element e of 16 terms of 40 digits under k^3 - 2, t^32 - t - k
times its inverse u = 1/e: 100 products e*u must cost at most RATIO times
100 quotients 1/e (the least of three sessions each; seconds a product
before, where 1/e took a tenth of one), and e*u - 1 and u*e - 1 be 0.

  relation_field_high_degree.py TARVEX [SEED] [CASES] [SCALE]
"""
import os
import random
import resource
import sys
import tempfile

from case_report import report
from cpu_limited import run_held

HEAD = "&(J = t):\n&(P = {rel}):\n&(J = x):\n&(J = y):\n"
# The sum of the report, fractions whose denominators share factors.
FIXED = [("1", "(x + t)"), ("1", "(x - t)"), ("1", "(x + t)*(y - t^2)"), ("(y + t)", "(x + 1)*(y - t^2)")]
NOT_FIELDS = ["t^{d} - 4", "t^32 + 1", "(t^2 - 2)*(t^{e} + 3)"]


def relation(rng, d):
    a, b, k = rng.randint(-3, 3), rng.choice([-3, -1, 1, 3]), rng.randint(1, d - 1)
    return f"t^{d} + {2 * a}*t^{k} + {2 * b}"


def linear(rng):
    c = [rng.randint(-3, 3) for _ in range(6)]
    return f"({c[0]} + {c[1]}*t) + ({c[2]} + {c[3]}*t^2)*x + ({c[4]} + {c[5]}*t)*y"


def session(rng, i):
    """The script and its limit in seconds of processor time."""
    d = [24, 36, 48][i % 3]
    if i % 4 == 3:
        # No field: the ring's road, after a decision given up quickly,
        # for the report's sum alone (a twentieth of a second there).
        rel, parts, seconds = rng.choice(NOT_FIELDS).format(d=d, e=d - 2), list(FIXED), 0.25
    else:
        # Several seconds to a minute before (the search for split primes
        # at every gcd, the declaration's whole search), some tenths now,
        # up to a second at degree 36 and 48 where the first primes run
        # short and more are sought.
        rel, parts, seconds = relation(rng, d), list(FIXED) if i % 2 == 0 else [], 0.5 if d == 24 else 1.25
    script = HEAD.format(rel=rel)
    names = ["a", "b", "c"]
    script += "".join(f"{n} := {linear(rng)}:\n" for n in names)
    if i % 4 != 3:
        for _ in range(3 if parts else 4):
            parts.append((linear(rng), "*".join(rng.sample(names, rng.randint(1, 2)))))
    # One denominator by products alone: each numerator times the others'
    # denominators.
    script += "s := " + " + ".join(f"({n})/({q})" for n, q in parts) + ":\n"
    return script + multiplied_back(parts), seconds


def multiplied_back(parts):
    """The check of a sum of the fractions (numerator, denominator)."""
    nn = " + ".join(f"({n})*" + "*".join(f"({q})" for j, (_, q) in enumerate(parts) if j != k)
                    for k, (n, _) in enumerate(parts))
    dd = "*".join(f"({q})" for _, q in parts)
    return f"nn := {nn}:\ndd := {dd}:\n!!('value', Numer(s)*dd - Denom(s)*nn);\n"


def tower_session(i):
    """The report's sum under a tower of degree 72 to 96 (held to limits
    that the proof alone took several times over)."""
    inner, d = [("k^2 - 2", 40), ("k^2 + 3", 48), ("k^3 - 2", 24)][i % 3]
    script = (f"&(J = k):\n&(P = {inner}):\n&(J = t):\n&(P = t^{d} - t - k):\n&(J = x):\n&(J = y):\n")
    parts = list(FIXED)
    script += "s := " + " + ".join(f"({n})/({q})" for n, q in parts) + ":\n"
    return script + multiplied_back(parts), 0.75


def leading_session(rng, i):
    """Three fractions whose parts lead with elements of a tower of degree
    40 (the ring's remainders invert them at every step, each inverse a
    Euclid's run over the rationals that may cost more than the field's
    whole road)."""
    inner = ["k^2 - 2", "k^2 + 2", "k^2 - 3", "k^2 + 3"][i % 4]
    script = f"&(J = k):\n&(P = {inner}):\n&(J = t):\n&(P = t^20 - t - k):\n&(J = x):\n&(J = y):\n"

    def el():
        return "(" + " + ".join(f"({rng.randint(-3, 3)})*t^{e}" for e in range(3)) + ")"

    def lin():
        return f"{el()} + {el()}*x + {el()}*y"

    parts = [(lin(), f"{el()} + {el()}*x + {el()}*y*({lin()})")] + [(lin(), lin()) for _ in range(2)]
    script += "s := " + " + ".join(f"({n})/({q})" for n, q in parts) + ":\n"
    # No field: 5 to 8 s before the inverses came from images modulo primes.
    return script + multiplied_back(parts), 1.0 if inner == "k^2 + 3" else 0.75


def planted_session(rng, i):
    """A gcd of the report's kind planted under a relation of degree 36
    to 64, checked against the factor planted."""
    d = [36, 48, 64][i % 3]

    def element():
        return " + ".join(f"({rng.randint(-5, 5)})*t^{rng.randint(0, d - 1)}" for _ in range(3))

    script = HEAD.format(rel=relation(rng, d))
    script += (f"g := (x + ({element()})*y + {element()})*(y^2 + ({element()})*x + {element()}):\n"
               f"a := x^2 + ({element()})*y + {element()}:\n"
               f"b := y^2 + ({element()})*x*y + {element()}:\n"
               "h := GCD(g*a, g*b):\n"
               "ch := Coef(h, x, Deg(h, x)):\nlh := Coef(ch, y, Deg(ch, y)):\n"
               "cg := Coef(g, x, Deg(g, x)):\nlg := Coef(cg, y, Deg(cg, y)):\n"
               "!!('value', h*lg - g*lh);\n")
    return script, 0.5


RATIO = 8


def inverse_product(tarvex, rng, cwd):
    """The products e*u against the quotients 1/e, as the docstring says."""
    e = " + ".join(f"({rng.randint(-10**40, 10**40)})*k^{rng.randint(0, 2)}*t^{rng.randint(0, 31)}" for _ in range(16))
    head = f"&(J = k):\n&(P = k^3 - 2):\n&(J = t):\n&(P = t^32 - t - k):\n&(J = x):\ne := {e}:\n"
    loops = ["for i = 1 to 100 do u := 1/e od:\n",
             "u := 1/e:\nfor i = 1 to 100 do p := e*u od:\n!!('value', p - 1);\n!!('value', u*e - 1);\n"]
    took = [None, None]
    for _ in range(3):
        for i, loop in enumerate(loops):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            out = run_held(tarvex, head + loop, 2.5, text=True, cwd=cwd)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            if out is None:
                return "no answer in the hold:\n" + head + loop
            if i and out.stdout.count("value 0") != 2:
                return "e*u or u*e is not 1:\n" + out.stdout[-300:]
            t = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
            took[i] = t if took[i] is None else min(took[i], t)
        if took[1] <= RATIO * took[0]:
            return None
    return f"100 products e*u took {took[1]:.2f} s, 100 quotients 1/e {took[0]:.2f} s"


def judge(tarvex, script, cwd, seconds):
    out = run_held(tarvex, script, seconds, text=True, cwd=cwd)
    if out is None:
        return f"more than {seconds:g} s of processor time (times the slack)\n" + script
    if "value 0" not in out.stdout:
        return "the value is wrong:\n" + out.stdout[-300:] + "\n" + script
    return None


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 86)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    scale = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    with tempfile.TemporaryDirectory() as cwd:
        sessions = [session(rng, i) for i in range(cases)]
        sessions += [tower_session(i) for i in range(max(1, cases // 4))]
        sessions += [planted_session(rng, i) for i in range(max(1, cases // 4))]
        sessions += [leading_session(rng, i) for i in range(max(1, cases // 4) + 1)]
        results = [judge(tarvex, script, cwd, seconds * scale) for script, seconds in sessions]
        results.append(inverse_product(tarvex, rng, cwd))
    sys.exit(report(results))


if __name__ == "__main__":
    main()
