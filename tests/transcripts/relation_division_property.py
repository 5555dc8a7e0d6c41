#!/usr/bin/env python3
"""Exact quotients over relation rings, checked in the language.

Rings: t^2 + 1 and the tower t^2 - 2, s^2 - t as fields over the
rationals, t^2 + 1 modulo 3; t^2 - 2 without the field flag over the
rationals, modulo 5 (no split) and 7 (split), and with s^2 - 3 over it
(rationals, modulo 5 and 7); t^2 - 2 declared a field modulo 7, where it
splits; t^2 and t^2 - 1 over the rationals, t^2 - 1 modulo 3; t^2 + t + 1
over GF(2^8) (it splits there), with the flag and without, and under
s^2 + s + t; Laurent mode over t^2 + 1 (rationals and modulo 3), over the split one, and
without relation. Per case, on random a, b, f, e with coefficients in the
relation variables:

  - Det with a factor hint: B is A (dense or sparse, entries fractions
    over the fields, denominators free of x) with one row times g, which
    leads in x with a number; Det([B], c*g)*c*g = Det B.
  - Quotient by a divisor whose leading coefficient is a unit of the ring
    (units of norm +-1 over the integers, any element of non-zero norm
    modulo a prime): (a*b)\\b = a and (a*b)|b = 0; for a random leading
    element that Divides(c, 1) proves a unit, q*b + r = a with deg r < deg b.
  - Divides(b, b*c) (or Pdivides, SDivide) is 1, with b*c for its quotient
    times b, for random b and c whose coefficients (the leading one of b
    too) may be zero divisors; where a leading zero divisor leaves the
    division open, the refusal (error 271, or "Division by zero." where
    the ring was declared a field) may stand instead. Sqfree's parts raised
    to their multiplicities give its input up to a factor free of x.
  - Laurent rings: Divides(f, f*e) = 1, (f*e)/f = e, and the hint f on the
    1 x 1 matrix [f*e] gives e. f leads with a number in x, so that no zero
    divisor is ever divided by; its other coefficients may be zero divisors.

A case that prints an error or a mismatch fails.

  relation_division_property.py TARVEX [SEED [CASES]]
"""
import random
import re
import subprocess
import sys

from case_report import report

MISMATCH, CASE = "MISMATCHRQ", "CASERQ"
# The refusals allowed there; a part of multiplicity p modulo p over a
# relation without the flag has no p-th root.
REFUSALS = ("Division by zero.", "does not make a field", "no p-th root table")

# name: (header, relation variables, modulus or None, checks, split); a
# split ring may answer "Division by zero." where a zero divisor is met.
RINGS = {
    "Qi": ("&(J = t);\n&(P = t^2 + 1, 1);", ["t"], None, "det", False),
    "tower": ("&(J = t);\n&(J = s);\n&(P = t^2 - 2, 1);\n&(P = s^2 - t, 1);", ["t", "s"], None, "det", False),
    "3f": ("&(p = 3);\n&(J = t);\n&(P = t^2 + 1, 1);", ["t"], 3, "det", False),
    "Qn": ("&(J = t);\n&(P = t^2 - 2);", ["t"], None, "unit", False),
    "5n": ("&(p = 5);\n&(J = t);\n&(P = t^2 - 2);", ["t"], 5, "unit", False),
    "Tn": ("&(J = t);\n&(J = s);\n&(P = t^2 - 2);\n&(P = s^2 - 3);", ["t", "s"], None, "unit", False),
    "T5n": ("&(p = 5);\n&(J = t);\n&(J = s);\n&(P = t^2 - 2);\n&(P = s^2 - 3);", ["t", "s"], 5, "unit", False),
    "7n": ("&(p = 7);\n&(J = t);\n&(P = t^2 - 2);", ["t"], 7, "unit", True),
    "7f": ("&(p = 7);\n&(J = t);\n&(P = t^2 - 2, 1);", ["t"], 7, "det", True),
    # t nilpotent, and t^2 - 1 splitting over the rationals.
    "Q0": ("&(J = t);\n&(P = t^2);", ["t"], None, "", False),
    "Q1": ("&(J = t);\n&(P = t^2 - 1);", ["t"], None, "", False),
    "3n": ("&(p = 3);\n&(J = t);\n&(P = t^2 - 1);", ["t"], 3, "", False),
    "T7n": ("&(p = 7);\n&(J = t);\n&(J = s);\n&(P = t^2 - 2);\n&(P = s^2 - 3);", ["t", "s"], 7, "unit", False),
    "G2n": ("&(p = 256);\n&(J = t);\n&(J = s);\n&(P = t^2 + t + 1);\n&(P = s^2 + s + t);", ["t", "s"], 256,
            "unit", False),
    # t^2 + t + 1 splits over GF(2^8), with the flag and without.
    "G": ("&(p = 256);\n&(J = t);\n&(P = t^2 + t + 1);", ["t"], 256, "", False),
    "Gf": ("&(p = 256);\n&(J = t);\n&(P = t^2 + t + 1, 1);", ["t"], 256, "", True),
    "LQi": ("&(l = 1);\n&(J = t);\n&(P = t^2 + 1, 1);", ["t"], None, "det laurent", False),
    "L7f": ("&(l = 1);\n&(p = 7);\n&(J = t);\n&(P = t^2 - 2, 1);", ["t"], 7, "det laurent", True),
    "L3f": ("&(l = 1);\n&(p = 3);\n&(J = t);\n&(P = t^2 + 1, 1);", ["t"], 3, "det laurent", False),
    "LQ": ("&(l = 1);", [], None, "laurent", False),
}


def element(r, gens, p):
    """A random element of the relation ring, maybe zero."""
    if p == 256 and gens == ["t"] and r.random() < 0.3:
        # t + 188 and t + 189 are the zero divisors of t^2 + t + 1 there.
        return "(%d*t + %d)" % (r.randint(1, 3), r.choice([188, 189]))
    c = [r.randint(-4, 4) for _ in range(1 + len(gens))]
    terms = [str(c[0])] + ["(%d)*%s" % (k, g) for k, g in zip(c[1:], gens)]
    if len(gens) == 2:
        terms.append("(%d)*t*s" % r.randint(-2, 2))
    return "(" + " + ".join(terms) + ")"


def unit(r, gens, p):
    """A unit of the relation ring, as a literal."""
    if p == 256:
        # t^3 = 1, and s(s + 1) = t in the tower.
        return "%s^%d" % (r.choice(["t", "(t + 1)"] + (["s", "(s + 1)"] if "s" in gens else [])), r.randint(0, 2))
    if p is None or "s" in gens:
        # Norm +-1 over the integers: units of Z[t]/(t^2 - 2), and with
        # s^2 = 3 over it (s + t)(s - t) = 1.
        base = r.choice(["(1 + t)", "(-1 + t)", "(3 + 2*t)"] + (["(s + t)", "(s - t)"] if "s" in gens else []))
        return "%d*%s^%d" % (r.choice([1, -1]), base, r.randint(0, 2))
    while True:
        a, b = r.randrange(p), r.randrange(p)
        if (a * a - 2 * b * b) % p:
            return "(%d + %d*t)" % (a, b)


def poly(r, gens, p, low=0, high=2, lead=None):
    """A random polynomial in x, y over the relation ring; lead, when given,
    is the coefficient of the leading x power."""
    terms = []
    top = r.randint(max(low, 1), high)
    if lead:
        terms.append("%s*x^%d" % (lead, top))
    for _ in range(r.randint(1, 3)):
        terms.append("%s*x^%d*y^%d" % (element(r, gens, p), r.randint(low, top - 1 if lead else top),
                                       r.randint(0, 1)))
    return " + ".join(terms)


def det_case(r, k, name, gens, p, lines):
    n = r.randint(1, 3)
    kind = " Sparse" if r.random() < 0.4 else ""
    fractions = name != "7n"
    lines.append("Array a%d[%d,%d]%s, b%d[%d,%d]%s;" % (k, n, n, kind, k, n, n, kind))
    for i in range(1, n + 1):
        for j in range(1, n + 1):
            if r.random() < 0.8 or i == j:
                entry = "(%s)" % poly(r, gens, p, low=-1 if name.startswith("L") else 0)
                if fractions and r.random() < 0.5:
                    # Free of x, so that no denominator cancels against g.
                    entry += "/(y + %s)" % element(r, gens, p)
                lines.append("a%d[%d,%d] := %s;" % (k, i, j, entry))
    g = poly(r, gens, p, lead=r.choice(["1", "2", "t"]))
    c = r.choice(["1", "2", "t", "(t - 1)"])
    row = r.randint(1, n)
    lines += ["[b%d] := [a%d];" % (k, k),
              "for j = 1 to %d do b%d[%d,j] := b%d[%d,j]*(%s); od;" % (n, k, row, k, row, g),
              "hq := %s*(%s);" % (c, g),
              "if hq <> 0 then kq := 1; kq := Det([b%d], hq)*hq - Det[b%d]; "
              "if kq <> 0 then !('%s'); fi; fi;" % (k, k, MISMATCH)]


def unit_case(r, gens, p, lines):
    a = poly(r, gens, p)
    b = poly(r, gens, p, lead=unit(r, gens, p))
    lines += ["aq := %s;" % a, "bq := %s;" % b,
              "if (aq*bq)\\bq - aq <> 0 then !('%s'); fi;" % MISMATCH,
              "if (aq*bq)|bq <> 0 then !('%s'); fi;" % MISMATCH]
    # Any leading element that Divides proves a unit (its inverse found as
    # the division's is): q*b + r = a with r of lower degree than b.
    lead = element(r, gens, p)
    lines += ["bq := %s;" % poly(r, gens, p, lead=lead), "uq := 0; uq := Divides(%s, 1);" % lead,
              "if uq = 1 then rq := aq|bq; if (aq\\bq)*bq + rq - aq <> 0 then !('%s'); fi; "
              "if Deg(rq, x) >= Deg(bq, x) then !('%s'); fi; fi;" % (MISMATCH, MISMATCH)]


def divides_case(r, gens, p, lines):
    b = poly(r, gens, p, lead=element(r, gens, p))
    c = element(r, gens, p) if r.random() < 0.5 else poly(r, gens, p, high=1)
    check = "if dq = 0 then !('%s'); fi; if dq = 1 then if qq*bq - gq <> 0 then !('%s'); fi; fi;" % (MISMATCH,
                                                                                                     MISMATCH)
    how = r.choice(["dq := Divides(bq, gq, qq);", "dq := Pdivides(bq, gq); qq := cq;",
                    "qq := gq; dq := SDivide(bq, ^qq);"])
    lines += ["bq := %s;" % b, "cq := %s;" % c, "gq := bq*cq;",
              "if bq <> 0 then %s %s fi;" % (how, check)]


def sqfree_case(r, gens, p, lines):
    # Modulo 3 a multiplicity of 3 is kept as a residue, 0: no part may
    # reach it there.
    f = "(x + %s)^%d*(%s*x + %s)" % (element(r, gens, p), 1 if p == 3 else 2, element(r, gens, p),
                                     element(r, gens, p))
    if r.random() < 0.3 and p != 3:
        f += "*(x + %s)^3" % element(r, gens, p)
    lines += ["fq := %s;" % f,
              "if fq <> 0 then kq := Sqfree(fq, [sf]); pq := 1; for i = 1 to kq do pq := pq*sf[i,1]^sf[i,2]; od; "
              "if Deg(pq, x) <> Deg(fq, x) then !('%s'); fi; "
              "if pq*Lc(fq) - fq*Lc(pq) <> 0 then !('%s'); fi; fi;" % (MISMATCH, MISMATCH)]


def allowed_refusals(part, kinds):
    """Refusals of Divides or Sqfree where a leading zero divisor leaves them open."""
    # The message, then the statement's text up to the next prompt.
    found = re.findall(r"\n(.*)\n\n\*\*\* Error occurred at this point:\n((?:.|\n)*?)\n\d*>", part)
    return sum(1 for why, where in found
               if any(k in why for k in kinds) and re.search("Divides|divides|SDivide|Sqfree", where))


def laurent_case(r, k, gens, p, lines):
    f = poly(r, gens, p, low=-1, lead=str(r.randint(1, 2)))
    e = poly(r, gens, p, low=-1)
    lines += ["fq := %s;" % f, "eq := %s;" % e, "gq := fq*eq;",
              "Array k%d[1,1]; k%d[1,1] := gq;" % (k, k),
              "if gq <> 0 then if Divides(fq, gq) <> 1 then !('%s'); fi; "
              "if gq/fq - eq <> 0 then !('%s'); fi; "
              "if Det([k%d], fq) - eq <> 0 then !('%s'); fi; fi;" % (MISMATCH, MISMATCH, k, MISMATCH)]


def session(r, name, cases):
    header, gens, p, checks, split = RINGS[name]
    lines = [header, "&(J = y);", "&(J = x);"]
    for k in range(cases):
        lines.append("!('%s');" % CASE)
        if "det" in checks:
            det_case(r, k, name, gens, p, lines)
        if "unit" in checks:
            unit_case(r, gens, p, lines)
        if "laurent" in checks:
            laurent_case(r, k, gens, p, lines)
        else:
            divides_case(r, gens, p, lines)
            sqfree_case(r, gens, p, lines)
    return "\n".join(lines) + "\n"


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    r = random.Random(seed)
    results = []
    for name in RINGS:
        text = session(r, name, cases)
        out = subprocess.run([tarvex], input=text, capture_output=True, text=True, timeout=300).stdout
        parts = out.split(CASE)[1:]
        if len(parts) < cases:
            results.append("%s: %d of %d cases ran" % (name, len(parts), cases))
        for i, part in enumerate(parts):
            # The mark is printed after a prompt; an echoed statement shows it quoted.
            errors = part.count("***") - part.count("*** Error occurred") - part.count("*** Function was")
            if RINGS[name][4]:
                errors -= part.count("Division by zero.") + allowed_refusals(part, REFUSALS[1:])
            else:
                errors -= allowed_refusals(part, REFUSALS)
            if re.search("(?<!')" + MISMATCH, part) or errors > 0 or "Tarvex error" in part:
                results.append("%s case %d (seed %d)" % (name, i, seed))
            else:
                results.append(None)
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
