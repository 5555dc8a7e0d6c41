#!/usr/bin/env python3
"""Modulo composite numbers, with and without a relation, a statement gives
one answer whatever the random points drawn inside it.

Random quotients and polynomials in t, x (and y) modulo 8, 10, 12 and 25,
under t^2 + c, t^2 + a*t + b or no relation; each operation (sum,
difference, product, quotient, gcd) is typed several times in a row in
one session and every time must print the same thing, a value or a
refusal; a value must pass the cross-multiplication with the operands.

  composite_repeat_property.py TARVEX [SEED [SESSIONS]]
"""
import random
import re
import subprocess
import sys

CASE, MISMATCH = "CASEQZ", "MISMATCHQZ"
REPEAT = 4
# Each operation with the cross-multiplication its answer zq must pass.
N, D = "Numer(zq)", "Denom(zq)"
CHECKS = {
    "a + b;": "%s*Denom(a)*Denom(b) - %s*(Numer(a)*Denom(b) + Numer(b)*Denom(a))" % (N, D),
    "a - b;": "%s*Denom(a)*Denom(b) - %s*(Numer(a)*Denom(b) - Numer(b)*Denom(a))" % (N, D),
    "b - a;": "%s*Denom(a)*Denom(b) - %s*(Numer(b)*Denom(a) - Numer(a)*Denom(b))" % (N, D),
    "a*b;": "%s*Denom(a)*Denom(b) - %s*Numer(a)*Numer(b)" % (N, D),
    "a/b;": "%s*Denom(a)*Numer(b) - %s*Numer(a)*Denom(b)" % (N, D),
    "GCD(Numer(a), Numer(b));": None,
}


def poly(r, m, names):
    terms = []
    for _ in range(r.randint(1, 3)):
        mono = "*".join("%s^%d" % (v, r.randint(0, 2)) for v in names)
        terms.append("%d*%s" % (r.randint(-m // 2, m // 2) or 1, mono))
    return "(" + " + ".join(terms) + ")"


def value(r, m, names):
    if r.random() < 0.6:
        return "%s/%s" % (poly(r, m, names), poly(r, m, names))
    return poly(r, m, names)


def session(r, m, ops):
    lines = ["&(J = t);", "&(J = y);", "&(J = x);"]
    relation = r.choice(["", "t^2 + %d" % r.randint(1, m - 1),
                         "t^2 + %d*t + %d" % (r.randint(1, m - 1), r.randint(1, m - 1))])
    if relation:
        lines.append("&(P = %s);" % relation)
    lines.append("&(p = %d);" % m)
    statements = []
    for k in range(ops):
        names = r.choice([["t", "x"], ["t", "x"], ["t", "x", "y"]])
        a, b = value(r, m, names), value(r, m, names)
        lines += ["a := %s;" % a, "b := %s;" % b]
        op = r.choice(list(CHECKS))
        statements.append("%s %s | %s" % (op, a, b))
        for _ in range(REPEAT):
            lines += ["!('%s');" % CASE, op]
        if CHECKS[op]:
            lines += ["zq := 0;", "zq := %s" % op,
                      "if zq <> 0 then dq := %s; if dq <> 0 then !('%s'); fi; fi;" % (CHECKS[op], MISMATCH)]
    return relation, statements, "\n".join(lines) + "\n"


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    sessions = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    r = random.Random(seed)
    failed = total = 0
    for s in range(sessions):
        m = [8, 10, 12, 25][s % 4]
        relation, statements, script = session(r, m, 10)
        out = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=300).stdout
        # What each statement printed, up to the next prompt after it.
        # A nested command level numbers its prompt: the level reached is no
        # part of the answer.
        out = re.sub(r"\n ?\d*>", "\n>", out)
        parts = [(p.split("\n>") + ["", ""])[1] for p in out.split(CASE)[1:]]
        if len(parts) != REPEAT * len(statements):
            print("modulus %d, %s: %d answers for %d statements" % (m, relation, len(parts), len(statements)))
            failed += 1
            continue
        # Printed after a prompt; an echoed statement shows it quoted.
        wrong = len(re.findall("(?<!')" + MISMATCH, out))
        if wrong:
            failed += wrong
            print("modulus %d, relation %s: %d answers fail their cross-multiplication" % (m, relation or "none",
                                                                                       wrong))
        for k, text in enumerate(statements):
            total += 1
            answers = set(parts[REPEAT * k:REPEAT * (k + 1)])
            if len(answers) > 1:
                failed += 1
                print("modulus %d, relation %s: %s gave %d different answers" % (m, relation or "none", text,
                                                                             len(answers)))
    print("%d statements, %d with more than one answer" % (total, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
