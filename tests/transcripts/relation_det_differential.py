#!/usr/bin/env python3
"""Determinants of random sparse matrices over Z[t]/(t^2 + 1) and over
Z/p[t]/(t^2 + 1), in t and an outer variable x (and, fewer, with the
relation x^2 + 1 on the outer variable instead), by every route the
switches choose (sparse: elimination, fraction-free, interpolation, the
prime-count form, minors, cut-off 0; dense: the same but the prime-count
form), each against the dense elimination's value and against sympy's
determinant reduced by hand. Every check is a difference the interpreter
must show as 0.

  relation_det_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys

import sympy
from sympy.polys.matrices import DomainMatrix

T, X = sympy.symbols("t x")
MARK = "t*x"   # reduced by neither relation
# (modulus, variable with the relation, share of the count). t^2 + 1
# splits modulo 65521 (1 mod 4) and stays irreducible modulo 65519 (3 mod
# 4), where it makes a field.
RINGS = [(None, "t", 1.0), (65521, "t", 1.0), (65519, "t", 0.25), (None, "x", 0.25), (65521, "x", 0.25)]


def entry(rng, outer):
    """Terms (c, e, f) of c t^e x^f; t's exponent goes past the relation."""
    terms = []
    for _ in range(rng.randint(1, 3)):
        c = rng.choice([i for i in range(-9, 10) if i])
        terms.append((c, rng.randint(0, 3), rng.randint(0, 2) if outer else 0))
    return terms


def random_matrix(rng, n):
    cells = {}
    for i in range(n):
        for j in range(n):
            if i == j:
                cells[i, j] = entry(rng, rng.random() < 0.7) + [(1, 0, 1)]
            elif rng.random() < 0.35:
                cells[i, j] = entry(rng, rng.random() < 0.5)
    return cells


def entry_text(terms):
    return "+".join(f"({c})*t^{e}*x^{f}" for c, e, f in terms)


def reduced_det(n, cells, on):
    """The determinant in Z[i][y], i standing for the variable with the
    relation v^2 + 1 and y for the other, as text."""
    other = "x" if on == "t" else "t"
    ring = sympy.ZZ_I[X if on == "t" else T]
    rows = [[ring.zero] * n for _ in range(n)]
    for (i, j), terms in cells.items():
        rows[i][j] = ring.from_sympy(sum(c * sympy.I ** (e if on == "t" else f) * ring.gens[0].as_expr()
                                         ** (f if on == "t" else e) for c, e, f in terms))
    det = DomainMatrix(rows, (n, n), ring).det()
    return " + ".join(f"({c.x} + ({c.y})*{on})*{other}^{m[0]}" for m, c in det.terms()) or "0"


def script(rng, ring, on, count):
    lines = ["&(J = t); &(J = x);"]
    if ring is not None:
        lines.append(f"&(p = {ring});")
    lines.append(f"&(P = {on}^2 + 1);")
    labels = []

    def zero(label, expression):
        lines.append(f"{MARK};")
        lines.append(f"{expression};")
        labels.append(label)

    for c in range(count):
        n = rng.randint(4, 7)
        cells = random_matrix(rng, n)
        s, d = f"s{c}", f"d{c}"
        lines.append(f"Array {s}[{n},{n}] Sparse;")
        lines += [f"{s}[{i + 1},{j + 1}] := {entry_text(v)}:" for (i, j), v in sorted(cells.items())]
        lines.append(f"Array {d}[{n},{n}];")
        lines += [f"{d}[{i + 1},{j + 1}] := {entry_text(cells.get((i, j), [(0, 0, 0)]))}:" for i in range(n) for j in range(n)]
        lines.append(f"g := Det[{d}];")
        routes = [
            ("sparse elimination", "", f"Det[{s}]", ""),
            ("sparse fraction-free", "&(K = 1);", f"Det[{s}]", "&(K = 0);"),
            ("sparse interpolation", "&(L = 1);", f"Det[{s}]", "&(L = 5000);"),
            ("sparse minors", f"&(D = {n});", f"Det[{s}]", "&(D = -1);"),
            ("sparse cut-off 0", "&(D = 0);", f"Det[{s}]", "&(D = -1);"),
            ("sparse fraction-free cut-off 0", "&(K = 1); &(D = 0);", f"Det[{s}]", "&(K = 0); &(D = -1);"),
            ("dense interpolation", "&(L = 1);", f"Det[{d}]", "&(L = 5000);"),
            ("dense fraction-free", "&(K = 1);", f"Det[{d}]", "&(K = 0);"),
            ("dense minors", f"&(D = {n});", f"Det[{d}]", "&(D = -1);"),
        ]
        if ring is None:
            routes.append(("sparse prime count", "&(L = 1);", f"SDet(3, [{s}])", "&(L = 5000);"))
        label = f"p={ring} {on}^2 + 1 case {c} n={n}"
        for name, before, value, after in routes:
            lines += [before, f"v := {value};", after]
            zero(f"{label} {name}", "v - g")
        zero(f"{label} sympy", f"g - ({reduced_det(n, cells, on)})")
    return lines, labels


def run(binary, lines, labels):
    out = subprocess.run([binary], input="\n".join(lines).encode() + b"\n", capture_output=True,
                         timeout=600).stdout.decode(errors="replace")
    pieces = re.split(r"\n *\(t\)x\n", out)[1:]
    failed = []
    if len(pieces) != len(labels):
        failed.append(f"only {len(pieces)} results for {len(labels)} checks")
    for label, piece in zip(labels, pieces):
        body = piece.split("\n>", 1)[1] if "\n>" in piece else piece
        block = body.split("\n>", 1)[0].strip()
        last = block.split("\n")[-1].strip() if block else ""
        if last != "0" or "Error" in block:
            failed.append(f"{label}: {block[:300]!r}")
    return failed


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 100
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 47)
    failed, total = [], 0
    for ring, on, share in RINGS:
        lines, labels = script(rng, ring, on, max(1, int(count * share)))
        total += len(labels)
        failed += run(binary, lines, labels)
    for f in failed[:15]:
        print(f)
    print(f"{total - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
