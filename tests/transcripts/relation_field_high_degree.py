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

  relation_field_high_degree.py TARVEX [SEED] [CASES] [SCALE]
"""
import os
import random
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
        # at every gcd, the declaration's whole search), some tenths now.
        rel, parts, seconds = relation(rng, d), list(FIXED) if i % 2 == 0 else [], 0.5
    script = HEAD.format(rel=rel)
    names = ["a", "b", "c"]
    script += "".join(f"{n} := {linear(rng)}:\n" for n in names)
    if i % 4 != 3:
        for _ in range(3 if parts else 4):
            parts.append((linear(rng), "*".join(rng.sample(names, rng.randint(1, 2)))))
    # One denominator by products alone: each numerator times the others'
    # denominators.
    nn = " + ".join(f"({n})*" + "*".join(f"({q})" for j, (_, q) in enumerate(parts) if j != k)
                    for k, (n, _) in enumerate(parts))
    dd = "*".join(f"({q})" for _, q in parts)
    script += "s := " + " + ".join(f"({n})/({q})" for n, q in parts) + ":\n"
    script += f"nn := {nn}:\ndd := {dd}:\n!!('value', Numer(s)*dd - Denom(s)*nn);\n"
    return script, seconds


def judge(tarvex, script, cwd, seconds):
    out = run_held(tarvex, script, seconds, text=True, cwd=cwd)
    if out is None:
        return f"more than {seconds:g} s of processor time (times the slack)\n" + script
    if "value 0" not in out.stdout:
        return "the sum is wrong:\n" + out.stdout[-300:] + "\n" + script
    return None


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 86)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    scale = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    with tempfile.TemporaryDirectory() as cwd:
        sessions = [session(rng, i) for i in range(cases)]
        results = [judge(tarvex, script, cwd, seconds * scale) for script, seconds in sessions]
    sys.exit(report(results))


if __name__ == "__main__":
    main()
