#!/usr/bin/env python3
"""Gcds over the tower Q(i)(sqrt 3) beside the same over Q(i) alone.

  bench_tower_gcd.py TARVEX [RUNS] [LIMIT]

Each figure is the time of a whole process (start-up, declarations, the
operands built, the gcd, a check), the least of RUNS (3); a run past LIMIT
seconds (600) is stopped and shown as such. The inputs:
- the reported case: g := (x + t*y + s)^10 + x*y + 1 and two cofactors
  of the same kind, GCD(g*a, g*b), and the same with s replaced by 2 over
  Q(i);
- random dense planted gcds in x and y of total degree 5, 10 and 20 (g, a
  and b each dense to that degree, coefficients small elements of the
  field) over Q(i)(sqrt 3) and over Q(i).
Every answer is checked inside the session: the gcd h must be g up to a
field unit, h*lc(g) - g*lc(h) = 0 with lc the leading coefficient in x,
then in y (printed as "diff 0").
Start-up alone is timed too, and printed first.

Then sparse planted gcds of high degree over Q(i)(sqrt 3): A of 9 terms
of degree up to D in x and y, B and C of 6 terms of degree up to 80,
coefficients a + b s + c t + d t s with 3-digit a..d; GCD(A*B, A^3*C),
the processor time of the gcd statement (one run each; A must divide the
answer, which must divide both), for six seeds at D = 240 and two at
D = 270, beside a reference system's times (6-9 s at 240, 15 s at 270;
noted, not run here).

Then the growth series: the processor time of the gcd statement alone (the
interpreter's timing switch; forming the products costs more than the gcd
at these sizes and is left out), least of RUNS, for dense planted gcds in
x and y of total degree 10, 20, 30 and 40 over Q(i) (one relation with
first auxiliary primes), Q(i)(sqrt 3) and t^4 + 1 (without them), and
the towers t^3 - 2 under s^2 + 1 and t^2 + 1 under s^3 - 2 (with them),
each with its growth per doubling of the degree.
"""
import os
import random
import re
import subprocess
import sys
import tempfile
import time

HEADER_TOWER = "&(J = t);\n&(J = s);\n&(J = y);\n&(J = x);\n&(P = t^2 + 1, 1);\n&(P = s^2 - 3, 1);\n"
HEADER_ONE = "&(J = t);\n&(J = y);\n&(J = x);\n&(P = t^2 + 1, 1);\n"

REPORTED = ("g := (x + t*y + S)^10 + x*y + 1;\n"
            "a := (x - S*y + t)^10 + y;\n"
            "b := (x + y + S*t)^10 + x;\n")

# h - g times a unit, without inverting: h*lc(g) - g*lc(h), lc the leading
# coefficient in x, then in y.
CHECK = ("h := GCD(g*a, g*b);\n"
         "ch := Coef(h, x, Deg(h, x));\nlh := Coef(ch, y, Deg(ch, y));\n"
         "cg := Coef(g, x, Deg(g, x));\nlg := Coef(cg, y, Deg(cg, y));\n"
         "!!('diff', h*lg - g*lh);\n")


def element(rng, tower):
    if tower:
        c = [rng.randint(-5, 5) for _ in range(4)]
        return "(%d + %d*t + %d*s + %d*s*t)" % tuple(c)
    c = [rng.randint(-5, 5) for _ in range(2)]
    return "(%d + %d*t)" % tuple(c)


def dense(rng, tower, deg):
    terms = []
    for i in range(deg + 1):
        for j in range(deg + 1 - i):
            terms.append("%s*x^%d*y^%d" % (element(rng, tower), i, j))
    return " + ".join(terms)


def planted(seed, tower, deg):
    rng = random.Random(seed)
    return "".join("%s := %s;\n" % (n, dense(rng, tower, deg)) for n in ("g", "a", "b"))


def session(binary, script, limit):
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        try:
            out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                                 timeout=limit).stdout
        except subprocess.TimeoutExpired:
            return None, ""
        return time.perf_counter() - start, out.decode("utf-8", "replace")


def timed(binary, script, runs, limit, check=True):
    best = None
    for _ in range(runs):
        took, out = session(binary, script, limit)
        if took is None:
            return None
        if check and "diff 0" not in out:
            sys.exit("wrong answer:\n%s\n%s" % (script[-300:], out[-800:]))
        best = took if best is None else min(best, took)
    return best


def show(t, limit):
    return "> %5.0f s" % limit if t is None else "%7.3f s" % t


# The growth series: name, declarations, the monomials of the power basis.
SERIES = [
    ("Q(i)", "&(J = t);\n&(J = y);\n&(J = x);\n&(P = t^2 + 1, 1);\n", ["1", "t"]),
    ("Q(i)(sqrt 3)", HEADER_TOWER, ["1", "t", "s", "s*t"]),
    ("t^4 + 1", "&(J = t);\n&(J = y);\n&(J = x);\n&(P = t^4 + 1, 1);\n", ["1", "t", "t^2", "t^3"]),
    ("t^3 - 2, s^2 + 1", "&(J = t);\n&(J = s);\n&(J = y);\n&(J = x);\n&(P = t^3 - 2, 1);\n&(P = s^2 + 1, 1);\n",
     ["1", "t", "t^2", "s", "s*t", "s*t^2"]),
    ("t^2 + 1, s^3 - 2", "&(J = t);\n&(J = s);\n&(J = y);\n&(J = x);\n&(P = t^2 + 1, 1);\n&(P = s^3 - 2, 1);\n",
     ["1", "t", "s", "s*t", "s^2", "s^2*t"]),
]


def series_script(header, basis, deg):
    rng = random.Random(deg)

    def elem():
        return "(" + " + ".join("%d*%s" % (rng.randint(-5, 5), m) for m in basis) + ")"

    def poly():
        return " + ".join("%s*x^%d*y^%d" % (elem(), i, j) for i in range(deg + 1) for j in range(deg + 1 - i))

    body = "".join("%s := %s;\n" % (n, poly()) for n in ("g", "a", "b"))
    return (header + body + "ga := g*a;\ngb := g*b;\n&(t = 1);\nh := GCD(ga, gb);\n&(t = 0);\n" +
            CHECK.replace("h := GCD(g*a, g*b);\n", ""))


def sparse_script(seed, deg):
    """GCD(A*B, A^3*C) as above; "diff 0 0 0" when A divides the answer h
    and h divides both operands."""
    rng = random.Random(seed)

    def elem():
        return "(%d + %d*s + %d*t + %d*t*s)" % tuple(rng.randint(100, 999) * rng.choice((1, -1)) for _ in range(4))

    def poly(terms, d):
        exps = {(d, rng.randrange(d + 1)), (0, 0)}
        while len(exps) < terms:
            exps.add((rng.randrange(d + 1), rng.randrange(d + 1)))
        return "(" + " + ".join("%s*x^%d*y^%d" % (elem(), i, j) for i, j in sorted(exps, reverse=True)) + ")"
    return (HEADER_TOWER + "pa := %s:\npb := %s:\npc := %s:\nf := pa*pb:\ng := pa^3*pc:\n" % (
        poly(9, deg), poly(6, 80), poly(6, 80))
        + "&(t = 1);\nh := GCD(f, g):\n&(t = 0);\n!!('diff', f | h, g | h, h | pa);\n")


def gcd_time(binary, script, runs, limit):
    best = None
    for _ in range(runs):
        took, out = session(binary, script, limit)
        if took is None:
            return None
        if "diff 0" not in out:
            sys.exit("wrong answer:\n%s\n%s" % (script[-300:], out[-800:]))
        spent = [float(m) for m in re.findall(r"CPU time:\s*([0-9.]+)", out)]
        best = spent[-1] if best is None else min(best, spent[-1])
    return best


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    limit = float(argv[3]) if len(argv) > 3 else 600.0
    print("start-up: %s" % show(timed(binary, "1;\n", runs, limit, check=False), limit))
    tower = timed(binary, HEADER_TOWER + REPORTED.replace("S", "s") + CHECK, runs, limit)
    one = timed(binary, HEADER_ONE + REPORTED.replace("S", "2") + CHECK, runs, limit)
    print("reported case:         over Q(i)(sqrt 3) %s   over Q(i) %s" % (show(tower, limit), show(one, limit)))
    for deg in (5, 10, 20):
        tower = timed(binary, HEADER_TOWER + planted(deg, True, deg) + CHECK, runs, limit)
        one = timed(binary, HEADER_ONE + planted(deg, False, deg) + CHECK, runs, limit)
        print("dense planted, degree %2d: over Q(i)(sqrt 3) %s   over Q(i) %s"
              % (deg, show(tower, limit), show(one, limit)))
    print("sparse planted gcds of high degree over Q(i)(sqrt 3), the gcd statement's processor time:")
    for deg, seeds, peer in ((240, range(1, 7), "6-9 s"), (270, range(1, 3), "15 s")):
        cells = ["%s" % show(gcd_time(binary, sparse_script(seed, deg), 1, limit), limit) for seed in seeds]
        print("  D = %d: %s   (reference %s)" % (deg, "  ".join(cells), peer), flush=True)
    print("growth series, the gcd statement's processor time (x: per doubling from half the degree):")
    for name, header, basis in SERIES:
        times = {}
        cells = []
        for deg in (10, 20, 30, 40):
            times[deg] = gcd_time(binary, series_script(header, basis, deg), runs, limit)
            cell = show(times[deg], limit)
            half = times.get(deg // 2)
            if half and times[deg]:
                cell += " (x%.1f)" % (times[deg] / max(half, 0.001))
            cells.append("%d: %s" % (deg, cell))
        print("  %-18s %s" % (name, "   ".join(cells)))


if __name__ == "__main__":
    main(sys.argv)
