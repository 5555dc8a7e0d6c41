#!/usr/bin/env python3
"""Factor's count and multiplicities as elements of the ring: random monic
polynomials over Z/p and over GF(p^2) (built with a relation), many with
factors repeated p times or more, so that counts and multiplicities past
the modulus occur.

For each polynomial u and n := Factor(u, [f]) with R rows:
  - n - R is 0 in the ring (R typed, so read as the ring's element);
  - every row's factor h is irreducible, and its true multiplicity e,
    counted by dividing h out of u as often as it goes, equals f[i,2] in
    the ring (e counted in the ring too);
  - the product of h^e over the rows, built by the same divisions, is u;
  - over Z/p sympy's factorisation gives the same number of factors, the
    same multiplicities modulo p, and the warning lines name exactly the
    true multiplicities (and the count) that reached the modulus.
Two sessions: the first finds each array's row count by reading rows until
one is out of range, the second runs the checks with it.

  factor_counts_property.py TARVEX [COUNT] [SEED]
"""
import random
import re
import subprocess
import sys

import sympy

X, T = sympy.symbols("x t")
SENTINEL = "CASEMARK"
WARNING = re.compile(r"A count or multiplicity of (\d+) is kept modulo (\d+)\.")

# Prime, relation making GF(p^2) (irreducible mod p).
PRIMES = [2, 3, 5, 7, 65521]
RELATIONS = {2: "t^2 + t + 1", 3: "t^2 + 1", 5: "t^2 - 2", 7: "t^2 + 1", 65521: "t^2 - 17"}


def field_element(rng, p, extension):
    a = rng.randrange(p)
    if extension and rng.random() < 0.6:
        return "(%d + %d*t)" % (a, rng.randrange(1, p))
    return str(a)


def monic(rng, p, extension, degree):
    terms = ["x^%d" % degree]
    terms += ["%s*x^%d" % (field_element(rng, p, extension), k) for k in range(degree)]
    return "(" + " + ".join(terms) + ")"


def random_case(rng, p, extension):
    """(text, degree bound, sympy expression or None)."""
    if rng.random() < 0.25:
        d = rng.randint(1, 10)
        text = monic(rng, p, extension, d)
        return text, d, text
    parts, degree = [], 0
    top = p + 3 if p < 10 else 4
    for _ in range(rng.randint(1, 4)):
        d = rng.randint(1, 3)
        e = rng.randint(1, top)
        if degree + d * e > 30:
            e = 1
        parts.append("%s^%d" % (monic(rng, p, extension, d), e))
        degree += d * e
    return "*".join(parts), degree, "*".join(parts)


def session(tarvex, p, relation, statements):
    head = "&(p = %d);\n&(J = t);\n&(J = x);\n" % p
    if relation:
        head += "&(P = %s, 1);\n" % relation
    script = head + "&(_d = 32000);\n" + "".join(s + "\n" for s in statements)
    done = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=120)
    out = done.stdout.replace(" `\n", "")
    cases = out.split(SENTINEL)[1:]
    return [[b.strip() for b in c.split("\n>")[1:] if b.strip()] for c in cases]


def value(block):
    """The last line of a block (the value), warnings before it dropped."""
    return block.splitlines()[-1].strip()


def residue(text, p):
    return int(text) % p


def equality(a, b):
    """Statements that leave 1 exactly when a = b holds in the ring: the
    comparison itself, as a condition sees it, not a difference's display."""
    return [("c := 0;", None), ("if %s = %s then c := 1 fi;" % (a, b), None), ("c;", "1")]


def check_ring(tarvex, p, extension, cases, failures):
    relation = RELATIONS[p] if extension else None
    first = []
    for text, degree, _ in cases:
        first += ["!!('%s');" % SENTINEL, "u := %s;" % text, "n := Factor(u, [f]);"]
        first += ["f[%d,2];" % k for k in range(1, degree + 2)]
    probes = session(tarvex, p, relation, first)
    if len(probes) != len(cases):
        failures.append("p = %d: %d of %d cases answered" % (p, len(probes), len(cases)))
        return
    second = []
    layout = []
    expects = []
    for (text, _, _), blocks in zip(cases, probes):
        # Blocks: u, Factor's value (after its warnings), then the probes.
        factor_block = blocks[1]
        rows = 0
        for b in blocks[2:]:
            if "out of range" in b:
                break
            rows += 1
        mults = [residue(value(b), p) for b in blocks[2:2 + rows]]
        warned = [int(w) for w, m in WARNING.findall(factor_block) if int(m) == p]
        layout.append((rows, mults, warned))
        checks = [("u := %s;" % text, None), ("n := Factor(u, [f]);", None), ("v := 1;", None)]
        for i in range(1, rows + 1):
            checks += [("h := f[%d,1];" % i, None), ("g := u;", None), ("e := 0;", None),
                       ("while Pdivides(h, g) do g := g/h; v := v*h; e := e + 1 od;", None)]
            checks += equality("e", "f[%d,2]" % i) + equality("Irred(h)", "1")
        checks += equality("u", "v") + equality("n", str(rows))
        second += ["!!('%s');" % SENTINEL] + [c for c, _ in checks]
        expects.append([want for _, want in checks])
    results = session(tarvex, p, relation, second)
    if len(results) != len(cases):
        failures.append("p = %d: %d of %d checked cases answered" % (p, len(results), len(cases)))
        return
    for (text, _, expr), (rows, mults, warned), want, blocks in zip(cases, layout, expects, results):
        where = "p = %d%s: %s" % (p, " (GF(p^2))" if extension else "", text)
        vals = [value(b) for b, w in zip(blocks, want) if w is not None]
        expected = [w for w in want if w is not None]
        if vals != expected:
            failures.append("%s: rows %d, checks %s" % (where, rows, vals))
            continue
        if extension:
            continue
        poly = sympy.Poly(sympy.sympify(expr.replace("^", "**")), X, modulus=p)
        _, factors = poly.factor_list()
        true = [m for _, m in factors]
        if rows != len(true) or sorted(mults) != sorted(m % p for m in true):
            failures.append("%s: rows %d mults %s, sympy %s" % (where, rows, mults, true))
            continue
        reached = sorted([m for m in true if m >= p] + ([rows] if rows >= p else []))
        if sorted(warned) != reached:
            failures.append("%s: warnings %s, want %s" % (where, warned, reached))


def main():
    tarvex = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 4711
    rng = random.Random(seed)
    rings = [(p, ext) for ext in (False, True) for p in PRIMES]
    failures = []
    total = 0
    for k, (p, ext) in enumerate(rings):
        n = count // len(rings) + (1 if k < count % len(rings) else 0)
        cases = [random_case(rng, p, ext) for _ in range(n)]
        total += n
        check_ring(tarvex, p, ext, cases, failures)
    for f in failures[:20]:
        print(f)
    print("%d polynomials, %d failures" % (total, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
