#!/usr/bin/env python3
"""Det with a factor hint over the rationals and modulo primes.

B is A with one row multiplied by g; the hint is c*g for a number c (a
fraction over the rationals; over a field level t, an element of it such
as 2t - 1). Then c*g divides Det B exactly as g does, so
Det([B], c*g) * c*g must equal Det B: no refusal, no hint ignored. Dense
and sparse matrices of sizes 1 to 7 with entries in x, y (rational
coefficients over the rationals, Laurent ones in one session, coefficients
in t over t^2 - 2, with Laurent exponents too, and modulo 7 over t^2 - 3),
under the method switches.

  det_hint_rational_property.py TARVEX [SEED [CASES]]
"""
import random
import re
import subprocess
import sys

MISMATCH, CASE = "MISMATCHQZ", "CASEQZ"
SWITCHES = [("", ""), ("&(L = 1);", "&(L = 5000);"), ("&(K = 1);", "&(K = 0);"), ("&(D = 0);", "&(D = -1);")]
BAD = ["Factor does not divide", "unusable", "Tarvex error"]


def poly(r, fractions, low, field=False):
    terms = []
    for _ in range(r.randint(1, 3)):
        c = str(r.randint(-9, 9))
        if fractions and r.random() < 0.5:
            c = "(%s/%d)" % (c, r.randint(2, 9))
        if field and r.random() < 0.6:
            c = "(%s + %d*t)" % (c, r.randint(-3, 3))
        terms.append("%s*x^%d*y^%d" % (c, r.randint(low, 2), r.randint(0, 1)))
    return " + ".join(terms)


FIELDS = {"F": "&(P = t^2 - 2, 1);", "F7": "&(p = 7);\n&(P = t^2 - 3, 1);",
          "FL": "&(l = 1);\n&(P = t^2 - 2, 1);"}


def session(r, ring, cases):
    field = ring in FIELDS
    lines = ["&(J = t);"] if field else []
    lines += ["&(J = y);", "&(J = x);"]
    fractions = ring in ("Q", "L", "F", "FL")
    if ring == "L":
        lines.append("&(l = 1);")
    elif field:
        lines.append(FIELDS[ring])
    elif ring != "Q":
        lines.append("&(p = %d);" % ring)
    low = -1 if ring in ("L", "FL") else 0
    for k in range(cases):
        n = r.randint(1, 7)
        kind = " Sparse" if r.random() < 0.4 else ""
        lines.append("Array a%d[%d,%d]%s, b%d[%d,%d]%s;" % (k, n, n, kind, k, n, n, kind))
        for i in range(1, n + 1):
            for j in range(1, n + 1):
                if r.random() < 0.8:
                    lines.append("a%d[%d,%d] := %s;" % (k, i, j, poly(r, fractions, low, field)))
        g = poly(r, fractions, low, field)
        c = r.choice(["3", "-3", "(3/2)", "(-5/7)", "6", "1"] if fractions else ["3", "-2", "1"])
        if field and r.random() < 0.7:
            c = r.choice(["t", "(2*t - 1)", "(-t + 3)", "(t/3)"])
        row = r.randint(1, n)
        on, off = r.choice(SWITCHES)
        lines += ["!('%s');" % CASE, "[b%d] := [a%d];" % (k, k),
                  "for j = 1 to %d do b%d[%d,j] := b%d[%d,j]*(%s); od;" % (n, k, row, k, row, g),
                  on, "hq := %s*(%s);" % (c, g),
                  "if hq <> 0 then kq := 1; kq := Det([b%d], hq)*hq - Det[b%d]; "
                  "if kq <> 0 then !('%s'); fi; fi;" % (k, k, MISMATCH), off]
    return "\n".join(lines) + "\n"


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 25
    r = random.Random(seed)
    failed = 0
    rings = ["Q", "L", 7, 101, 1000003, "F", "F7", "FL"]
    for ring in rings:
        out = subprocess.run([tarvex], input=session(r, ring, cases), capture_output=True, text=True,
                             timeout=300).stdout
        # The mark is printed after a prompt; an echoed statement shows it quoted.
        bad = sum(1 for part in out.split(CASE)[1:]
                  if re.search("(?<!')" + MISMATCH, part) or any(b in part for b in BAD))
        if bad:
            print("ring %s (seed %d): %d of %d cases wrong" % (ring, seed, bad, cases))
        failed += bad
    print("%d cases, %d failures" % (len(rings) * cases, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
