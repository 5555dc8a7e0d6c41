#!/usr/bin/env python3
"""Factor and Irred at every level of one- and two-level towers modulo 3, 5
and 7, on products of factors whose coefficients lie in a random level.

At level k the field is F_k (Z/p, then each relation's field in turn). The
reference here decides whether u lies in F_k[x] and counts u's roots in
F_k by trying every element. Then:
  - u outside F_k[x]: Factor and Irred both refuse with "Cannot factor with
    these coefficients.";
  - u inside: no refusal; every row is irreducible by Irred at level k, the
    rows to their multiplicities multiply back to u, the rows of degree 1
    are as many as the roots, and Irred(u, k) is 1 exactly when there is
    one row of multiplicity 1.

  factor_level_property.py TARVEX [SEED [TOWERS]]
"""
import os
import random
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from factor_towers_property import Extension, Prime, evaluate, has_root, poly_mul, poly_text  # noqa: E402

CASE, BAD, LINEAR, SAME, IRRED, ROW, DIV = "CASEQZ", "BADROWQZ", "LINEARQZ", "SAMEQZ", "IRREDQZ", "ROWQZ", "DIVQZ"
REFUSAL = "Cannot factor with these coefficients."


def irreducible_quadratic(rng, F):
    while True:
        m = [F.random(rng), F.random(rng), F.one]
        if not has_root(F, m):
            return m


def tower(rng, p):
    """Fields F_0 .. F_depth, each embedding into the next, and statements."""
    F0 = Prime(p)
    m1 = irreducible_quadratic(rng, F0)
    fields = [F0, Extension(F0, m1, "t")]
    lines = ["&(J = t);"] + (["&(J = s);"] if rng.random() < 0.5 else []) + ["&(J = x);", "&(p = %d);" % p]
    lines.append("&(P = %s, 1);" % poly_text(F0, m1, "t"))
    if "&(J = s);" in lines:
        m2 = irreducible_quadratic(rng, fields[1])
        fields.append(Extension(fields[1], m2, "s"))
        lines.append("&(P = %s, 1);" % poly_text(fields[1], m2, "s"))
    return fields, lines


def embed(fields, j, a):
    """An element of F_j as an element of the top field."""
    for F in fields[j + 1:]:
        a = tuple([a] + [F.base.zero] * (F.d - 1))
    return a


def level_of(fields, a):
    """The first level whose field holds the top field's element a."""
    for j in range(len(fields) - 1, 0, -1):
        if any(c != fields[j - 1].zero for c in a[1:]):
            return j
        a = a[0]
    return 0


def elements(fields, k):
    return [embed(fields, k, a) for a in fields[k].elements()]


def case(rng, fields):
    top = fields[-1]
    u, text = [top.one], []
    for _ in range(rng.randint(1, 3)):
        j = rng.randrange(len(fields))
        g = [embed(fields, j, fields[j].random(rng)) for _ in range(rng.choice([1, 1, 2]))] + [top.one]
        e = rng.choice([1, 1, 2])
        text.append("(%s)^%d" % (poly_text(top, g, "x"), e))
        for _ in range(e):
            u = poly_mul(top, u, g)
    return u, "*".join(text)


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    towers = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    rng = random.Random(seed)
    failures, checked = [], 0
    for n in range(towers):
        p = [3, 5, 7][n % 3]
        fields, script = tower(rng, p)
        cases = []
        for c in range(3):
            u, text = case(rng, fields)
            inside = max(level_of(fields, a) for a in u)
            for k in range(len(fields)):
                f = "f%d%d" % (c, k)
                script += ["!('%s');" % CASE, "u := %s;" % text, "Factor(u, [%s], %d);" % (f, k),
                           "r := Irred(u, %d); if r = 1 then !('%s'); fi;" % (k, IRRED), "v := 1;"]
                for i in range(1, len(u)):
                    # The true multiplicity is counted by division: the
                    # one shown is an element of the ring.
                    script.append("h := %s[%d,1]; g := u; e := 0; while Pdivides(h, g) do g := g/h; v := v*h; "
                                  "e := e + 1; !('%s'); od; !('%s'); if e <> %s[%d,2] then !('%s'); fi; "
                                  "if Irred(h, %d) <> 1 then !('%s'); fi; if Deg(h) = 1 then !('%s'); fi;"
                                  % (f, i, DIV, ROW, f, i, BAD, k, BAD, LINEAR))
                script.append("if u = v then !('%s'); fi;" % SAME)
                cases.append((text, k, inside, u))
        out = subprocess.run([tarvex], input="\n".join(script) + "\n", capture_output=True, text=True,
                             timeout=300).stdout
        blocks = out.split(CASE)[1:]
        if len(blocks) != len(cases):
            failures.append("p = %d: %d of %d cases answered" % (p, len(blocks), len(cases)))
            continue
        for (text, k, inside, u), block in zip(cases, blocks):
            checked += 1
            where = "p = %d, %s, level %d, %s" % (p, " ".join(l for l in script if l.startswith("&(P")), k, text)
            mark = lambda m: len(re.findall("(?<!')" + m, block))  # printed, not an echoed statement
            if inside > k:
                if block.count(REFUSAL) != 2:
                    failures.append("%s: coefficients outside the level, want two refusals" % where)
                continue
            roots = sum(1 for a in elements(fields, k) if evaluate(fields[-1], u, a) == fields[-1].zero)
            # Irred counts distinct factors of one degree in the ring: 1
            # for one factor, or for a count of 1 modulo p.
            irreducible = mark(ROW) == 1 and mark(DIV) == 1
            irred_wrong = mark(IRRED) and mark(ROW) % p != 1 or irreducible and not mark(IRRED)
            if REFUSAL in block or mark(BAD) or not mark(SAME) or mark(LINEAR) != roots or irred_wrong:
                failures.append("%s: refused %s, reducible rows %d, product %s, %d linear rows for %d roots, "
                                "Irred %s for %d rows" % (where, REFUSAL in block, mark(BAD), bool(mark(SAME)),
                                                          mark(LINEAR), roots, bool(mark(IRRED)), mark(ROW)))
    for f in failures[:20]:
        print(f)
    print("%d cases, %d failures" % (checked, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
