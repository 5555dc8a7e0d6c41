#!/usr/bin/env python3
"""Laurent values as gcd operands and as sort keys, in every ground ring
Laurent mode can be on in (the integers, Z/p small and word-sized, GF(2^8),
GF(2^16), with a relation below the Laurent variables).

GCD: for a random Laurent polynomial f in x, y the test forms fs, f times
the least monomial that clears its negative exponents (worked out here, not
by the interpreter). GCD(0, f) and GCD(f, 0) must equal GCD(0, fs), the
ordinary polynomial's normalised form, and GCD(f, f) must equal GCD(fs, fs).

Sort: random Laurent monomials with random coefficients go into a dense and
a sparse array; after Sort every cell must hold the monomial a small
reference of the order puts there: numbers first; then the positive powers
by fewer variables, the deeper variable at the first differing level and
the smaller exponent at the first difference; with the same positive
powers, the larger negative part (by absolute values) first.

  laurent_gcd_sort_check.py TARVEX [SEED]
"""
import functools
import os
import random
import subprocess
import sys

# Declared y then x: x is the outer variable (level 0), y the inner (1).
# Laurent mode is switched on before the ring changes, as the small and
# the characteristic-2 rings refuse to switch it on themselves. A relation
# lies below the Laurent variables.
XY = ["&(J = y);", "&(J = x);", "&(l = 1);"]
RINGS = {
    "integers": XY,
    "p7": XY + ["&(p = 7);"],
    "p-word": XY + ["&(p = 2147483629);"],
    "gf256": XY + ["&(p = 256);"],
    "gf65536": XY + ["&(p = 65536);"],
    "relation": ["&(J = t);", "&(P = t^2 - 2, 1);"] + XY,
    "relation-p": ["&(J = t);", "&(P = t^2 - 2, 1);"] + XY + ["&(p = 2147483629);"],
}


def text(terms):
    # terms: {(a, b): c} -> x^a*y^b with c as it is typed.
    out = ["(%s)*x^%d*y^%d" % (c, a, b) for (a, b), c in sorted(terms.items())]
    return " + ".join(out) if out else "0"


def rand_laurent(rng, coef):
    terms = {}
    while len(terms) < 2:
        for _ in range(rng.randint(2, 4)):
            terms[(rng.randint(-3, 3), rng.randint(-3, 3))] = coef(rng)
    return terms


def shifted(terms):
    sa = max(0, -min(a for a, _ in terms))
    sb = max(0, -min(b for _, b in terms))
    return {(a + sa, b + sb): c for (a, b), c in terms.items()}


def part_cmp(a, b, sign):
    # The pairs of one sign by absolute value: fewer first, then the deeper
    # level (larger index) first, then the smaller exponent first.
    pa = [(lev, abs(e)) for lev, e in enumerate(a) if sign * e > 0]
    pb = [(lev, abs(e)) for lev, e in enumerate(b) if sign * e > 0]
    if len(pa) != len(pb):
        return -1 if len(pa) < len(pb) else 1
    for (la, _), (lb, _) in zip(pa, pb):
        if la != lb:
            return -1 if la > lb else 1
    for (_, ea), (_, eb) in zip(pa, pb):
        if ea != eb:
            return -1 if ea < eb else 1
    return 0


def order_cmp(a, b):
    # a, b = (exponent of x, exponent of y); x at level 0, y at level 1.
    # Numbers first; the positive powers decide; with the same ones, the
    # larger negative part (by absolute values) first.
    za, zb = not any(a), not any(b)
    if za or zb:
        return (zb - za) if za != zb else 0
    c = part_cmp(a, b, 1)
    return c if c else -part_cmp(a, b, -1)


def session(tarvex, lines):
    out = subprocess.run([tarvex], input="\n".join(lines) + "\n", capture_output=True,
                         text=True, timeout=120).stdout
    out = out.replace(" `\n ", "").replace(" `\n", "")
    # One block per statement: what it shows after its prompt.
    blocks = [b.strip() for b in out.split("\n>")[1:]]
    return [b for b in blocks if b != "bye"], out


def main():
    tarvex = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 5341)
    failures = 0
    for ring, header in RINGS.items():
        small = ring in ("gf256", "gf65536", "p7")
        coef = (lambda r: r.randint(1, 6)) if small else (lambda r: r.choice([-3, -2, -1, 1, 2, 5]))
        lines = list(header)
        checks = []   # (statement index, what it checks)
        for _ in range(8):
            f = rand_laurent(rng, coef)
            fs = shifted(f)
            # The one-operand forms against the shifted polynomial's, the
            # two-operand form against the shifted polynomial's own.
            for form, ref in (("GCD(0, %s)", "GCD(0, %s)"), ("GCD(%s, 0)", "GCD(0, %s)"),
                              ("GCD(%s, ^f)", "GCD(%s, %s)")):
                lines.append("f := %s;" % text(f))
                checks.append((len(lines), "gcd " + form % text(f)))
                refs = ref % ((text(fs),) * ref.count("%s"))
                lines.append("%s - %s;" % (form % text(f), refs))
        for kind in ("", " Sparse"):
            for _ in range(4):
                n = rng.randint(2, 6)
                monos = set()
                while len(monos) < n:
                    monos.add((rng.randint(-3, 3), rng.randint(-3, 3)))
                monos = list(monos)
                rng.shuffle(monos)
                coefs = [coef(rng) for _ in monos]
                lines.append("Array w[%d]%s;" % (n, kind))
                for i, (m, c) in enumerate(zip(monos, coefs)):
                    lines.append("w[%d] := %s;" % (i + 1, text({m: c})))
                lines.append("Sort[w];")
                by = sorted(zip(monos, coefs), key=functools.cmp_to_key(lambda u, v: order_cmp(u[0], v[0])))
                for i, (m, c) in enumerate(by):
                    checks.append((len(lines), "sort%s %s cell %d" % (kind, monos, i + 1)))
                    lines.append("w[%d] - (%s);" % (i + 1, text({m: c})))
        got, raw = session(tarvex, lines)
        if "rror" in raw or len(got) != len(lines):
            print(ring, "an error was reported or a statement showed nothing:")
            print(raw[-3000:])
            failures += 1
            continue
        for k, what in checks:
            if got[k] != "0":
                print(ring, what, "gave", got[k])
                failures += 1
    if failures:
        sys.exit(1)
    print("Laurent gcd and sort: all checks passed")


if __name__ == "__main__":
    main()
