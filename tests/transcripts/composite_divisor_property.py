#!/usr/bin/env python3
"""Modulo composite numbers, under a relation in t or none, sums, products
and quotients of fractions and gcds whose remainder sequences meet zero
divisors give a value or a numbered refusal, never an internal error.

The operands are drawn in the shape that leads the gcd into such divisors:
a = z (t + k) / (x^2 - c) with z a zero divisor of the modulus, and b a
fraction whose denominator leads with (t + k) y. A value must pass the
cross-multiplication with the operands; a gcd g must divide both of its
operands, each cofactor q multiplying back (n - g q = 0).

  composite_divisor_property.py TARVEX [SEED [SESSIONS]]
"""
import random
import re
import subprocess
import sys

CASE, BAD = "CASEQZ", "BADQZ"
MODULI = [8, 9, 25, 27, 10, 12, 15]
N, D = "Numer(zq)", "Denom(zq)"
SUM_N = "Numer(a)*Denom(b) + Numer(b)*Denom(a)"
CHECKS = {
    "a + b": "%s*Denom(a)*Denom(b) - %s*(%s)" % (N, D, SUM_N),
    "a*b": "%s*Denom(a)*Denom(b) - %s*Numer(a)*Numer(b)" % (N, D),
    "a/b": "%s*Denom(a)*Numer(b) - %s*Numer(a)*Denom(b)" % (N, D),
}


def session(r, m, relation):
    zero_divisors = [p for p in (2, 3, 5) if m % p == 0]
    lines = ["&(J = t);", "&(J = y);", "&(J = x);"]
    if relation:
        lines.append("&(P = t^2 + %d*t + %d);" % (r.randint(0, m - 1), r.randint(1, m - 1)))
    lines.append("&(p = %d);" % m)
    cases = []
    for _ in range(24):
        k = r.randint(1, m - 1)
        lines.append("a := %d*(t + %d)/(x^2 - %d);" % (r.choice(zero_divisors) * r.randint(1, 3), k,
                                                      r.randint(1, m - 1)))
        lines.append("b := (%d*t*x^2 + %d*y*x)/((t + %d)*y*x + (%d*t - 1)*y - %d);" % (
            r.choice(zero_divisors) * r.randint(1, 3), r.randint(1, m - 1), k, r.randint(1, m - 1),
            r.randint(1, m - 1)))
        op = r.choice(list(CHECKS) + ["GCD"])
        cases.append("%s with %s %s" % (op, lines[-2], lines[-1]))
        lines.append("!('%s');" % CASE)
        if op == "GCD":
            lines += ["n := %s; d := Denom(a)*Denom(b);" % SUM_N, "g := 0;", "g := GCD(n, d);",
                      "if g <> 0 then if Divides(g, n, q) * Divides(g, d, e) = 0 then !('%s'); fi; "
                      "if n - g*q <> 0 or d - g*e <> 0 then !('%s'); fi; fi;" % (BAD, BAD)]
        else:
            lines += ["zq := 0;", "zq := %s;" % op,
                      "if zq <> 0 then dq := %s; if dq <> 0 then !('%s'); fi; fi;" % (CHECKS[op], BAD)]
    return lines[3], cases, "\n".join(lines) + "\n"


# Quotients, products, sums, powers, reciprocals and array elements whose
# denominators multiply to 0 through zero divisors: a is a fraction over
# t (x + d), and the relation makes t a zero divisor (nilpotent modulo a
# prime power). The check of each route is zq's cross-multiplication; every
# case also divides the array elements in place, whatever its route.
def vanishing_checks(k):
    return {
        "a/b": "%s*Denom(a)*Numer(b) - %s*Numer(a)*Denom(b)" % (N, D),
        "b/a": "%s*Denom(b)*Numer(a) - %s*Numer(b)*Denom(a)" % (N, D),
        "a*b": CHECKS["a*b"],
        "a + b": CHECKS["a + b"],
        "a^%d" % k: "%s*Denom(a)^%d - %s*Numer(a)^%d" % (N, k, D, k),
        "a^(-%d)" % k: "%s*Numer(a)^%d - %s*Denom(a)^%d" % (N, k, D, k),
        "(1/a)^%d" % k: "%s*Numer(a)^%d - %s*Denom(a)^%d" % (N, k, D, k),
        "w[1]/w[2]": "%s*Denom(a)*Numer(b) - %s*Numer(a)*Denom(b)" % (N, D),
    }


def vanishing_session(r, m, relation):
    zero_divisors = [p for p in (2, 3, 5) if m % p == 0]
    lines = ["&(J = t);", "&(J = y);", "&(J = x);"]
    if relation:
        lines.append("&(P = t^2 + %d*t + %d);" % (r.choice([0, 0, r.choice(zero_divisors)]),
                                                  r.choice(zero_divisors) * r.randint(1, 3)))
    lines.append("&(p = %d);" % m)
    lines.append("Array w[2];")
    cases = []
    for _ in range(24):
        lines.append("a := (%d*x + %d*t)/(t^%d*x + %d*t);" % (
            r.randint(1, m - 1), r.randint(0, m - 1), r.randint(1, 2), r.randint(0, m - 1)))
        if r.random() < 0.5:
            lines.append("b := %d*t^%d*x^2 + %d*t^2;" % (r.choice(zero_divisors) * r.randint(1, 3), r.randint(1, 3),
                                                        r.choice(zero_divisors) * r.randint(1, 3)))
        else:
            lines.append("b := (x + %d)/(t^%d*x + %d*t);" % (r.randint(0, m - 1), r.randint(1, 3),
                                                           r.randint(0, m - 1)))
        checks = vanishing_checks(r.randint(2, 6))
        op = r.choice(list(checks))
        cases.append("%s with %s %s" % (op, lines[-2], lines[-1]))
        lines += ["a0 := a; b0 := b;", "w[1] := a; w[2] := b;", "!('%s');" % CASE, "zq := 0;",
                  "zq := %s;" % op, "w[1] := w[1]/w[2];",
                  "if zq <> 0 then dq := %s; if dq <> 0 then !('%s'); fi; fi;" % (checks[op], BAD),
                  # A refusal keeps every stored value.
                  "if a - a0 <> 0 or b - b0 <> 0 or w[2] - b <> 0 then !('%s'); fi;" % BAD,
                  "if w[1] - a <> 0 then dq := w[1]*Denom(a)*Numer(b) - Numer(a)*Denom(b); "
                  "if dq <> 0 then !('%s'); fi; fi;" % BAD]
    return lines[3], cases, "\n".join(lines) + "\n"


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    sessions = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    r = random.Random(seed)
    failed = total = 0
    for m in MODULI:
        for relation in (True, False):
            for make in [session] * sessions + [vanishing_session]:
                setting, cases, script = make(r, m, relation)
                out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=300).stdout
                for case, part in zip(cases, out.split(CASE)[1:]):
                    total += 1
                    # Printed after a prompt; an echoed statement shows it quoted.
                    if "Tarvex error" in part or re.search("(?<!')" + BAD, part):
                        failed += 1
                        print("modulus %d, %s: %s" % (m, setting if relation else "no relation", case))
    print("%d cases, %d failed" % (total, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
