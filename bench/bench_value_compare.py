#!/usr/bin/env python3
"""Comparisons of fractions (=, <>, Equal, Equalneg) in loops, timed as
whole processes, in the rings where a fraction's stored form need not be
unique: relations without the flag over Q (t^2 - 2, t^2 - 1) and modulo 7
or 6, flagged relations the prime splits (t^2 - 2 modulo 7, t^2 + 1 modulo
5), and composite moduli without relations (4, 8, 49; 9, where one pair's
cross products agree at their end terms and vanish at every point of Z/9).
The unequal pairs differ by a term the origin sees and by one it does not;
the equal ones ("same value") only in their stored forms, and pay the
probes on top of the exact products. The near misses (not squared) differ
by 2(x^2 - x)y/(y + 2), which no end term and no point of Z/4 or Z/8 sees,
nor any point where x is 0 or 1.

  bench_value_compare.py TARVEX [OTHER_TARVEX ...] [--runs N]

Each figure is the median of RUNS sessions (3 by default), the binaries
interleaved; every session must print the same counts.
"""
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from whole_process import whole_process  # noqa: E402

SUM_U = "1/(x + 7) + (x^2 + 3*x*y + t)/(x*y + 2*x + 1)"
# Typed whole under a composite modulus, where sums of fractions may be refused.
N, D = "(x - 1)*(y + 2)*(x^2 + 3*x*y + 1)", "(x*y + 3)*(x*y + 2*x + 1)"
TYPED = (f"({N})/({D})", [("*(y + 2)/(y + 1)", f"({N}*(y + 2))/({D}*(y + 1))"),
                          ("*(x*y + 2)/(x*y + 1)", f"({N}*(x*y + 2))/({D}*(x*y + 1))")])
SAME_T = ("same value", "(Numer(u)*t)/(Denom(u)*t)")   # t a unit in each of these rings
# x, not a factor such as y + 3 or 2x + 1: quotients by those are refused modulo 4 and 8.
TYPED[1].append(("same value", "(Numer(u)*x)/(Denom(u)*x)"))
RELATION = (SUM_U, [("u + 1/(y + 5)", "u + 1/(y + 5)"), ("u + x*y/(y + 5)", "u + x*y/(y + 5)"), SAME_T])
NEAR = ("(x^5*y^5 + 1)/(x + 1)", [("near miss", "u + 2*(x^2 - x)*y/(y + 2)")])
RINGS = [("Q t^2-2", "&(J = t):\n&(P = t^2 - 2):\n", RELATION),
         ("Q t^2-1", "&(J = t):\n&(P = t^2 - 1):\n", RELATION),
         ("7 t^2-2", "&(p = 7):\n&(J = t):\n&(P = t^2 - 2):\n", RELATION),
         ("6 t^2+1", "&(p = 6):\n&(J = t):\n&(P = t^2 + 1):\n", (SUM_U, [SAME_T])),
         ("7 t^2-2 f", "&(p = 7):\n&(J = t):\n&(P = t^2 - 2, 1):\n", RELATION),
         ("5 t^2+1 f", "&(p = 5):\n&(J = t):\n&(P = t^2 + 1, 1):\n", RELATION),
         ("mod 4", "&(p = 4):\n", TYPED), ("mod 8", "&(p = 8):\n", TYPED), ("mod 49", "&(p = 49):\n", TYPED),
         ("mod 9", "&(p = 9):\n", (TYPED[0], TYPED[1][::2]))]   # the second pair's sum is refused there
RINGS += [(f"mod {q}", f"&(p = {q}):\n", NEAR, False) for q in (4, 8, 9, 49)]
# The near miss under relations: over Q and modulo a large prime a point of
# Z/q parts it, modulo 9 the tables.
RINGS += [(f"{p or 'Q'} {rel.replace(' ', '')}", ("&(p = %d):\n" % p if p else "") + f"&(J = t):\n&(P = {rel}):\n", NEAR, False)
          for p, rel in ((0, "t^2 - 2"), (0, "t^2 - 1"), (0, "t^4 + 1"), (101, "t^2 - 2"), (9, "t^2 + 1"))]
PASSES = 20000
LOOP = ("u := {u}:\nw := {w}:\n{square}c := 0:\n"
        "for i = 1 to {n} do if [u <> w] then c :+ 1; fi; if [u = w] then c :+ 1; fi; "
        "c := c + Equal(u, w) + Equalneg(u, w); od:\nc;\n")


def main(argv):
    args = argv[1:]
    runs = 3
    if "--runs" in args:
        k = args.index("--runs")
        runs = int(args[k + 1])
        del args[k:k + 2]
    binaries = [os.path.abspath(b) for b in args]
    print(f"Whole process, median of {runs} (seconds); each pass four comparisons")
    print(f"{'ring':<10} {'pair':<22} {'passes':>6}" + "".join(f" {b[-30:]:>30}" for b in binaries))
    failed = 0
    for ring, setup, (u, pairs), *square in RINGS:
        for name, w in pairs:
            n = PASSES
            squared = "u := u^2: w := w^2:\n" if square in ([], [True]) else ""
            script = setup + "&(J = x):\n&(J = y):\n" + LOOP.format(u=u, w=w, n=n, square=squared)
            times = [[] for _ in binaries]
            outs = set()
            for _ in range(runs):
                for k, b in enumerate(binaries):
                    t, out = whole_process(b, script, 600)
                    times[k].append(t if t is not None else float("inf"))
                    outs.add("refused" if "*** Error" in out or "\n>" not in out else out.split("\n>")[-2].strip())
            wrong = len(outs) != 1 or "refused" in outs
            failed += wrong
            print(f"{ring:<10} {name:<22} {n:>6}" + "".join(f" {statistics.median(t):30.3f}" for t in times)
                  + (f"  FAILED: {sorted(outs)}" if wrong else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
