#!/usr/bin/env python3
"""Eliminations over fractions of relation rings that are fields, timed
as whole processes (start-up and reading the matrix included).

  bench_field_relation_fractions.py TARVEX [OTHER_TARVEX ...] [--runs N] [--limit S] [--only RING[,RING...]]

Each figure is the median of RUNS sessions (3 by default); binaries after
the first are timed beside it on the same inputs, interleaved, and must
print the same values. A session past LIMIT seconds (120) shows "> LIMIT".

- GF(13)[t]/(t^2 - 2) declared a field (irreducible modulo 13): Det,
  Adjoint and Chpoly of a 7 x 7 matrix of small polynomials in x, y, z,
  dense and in sparse storage.
- The tower GF(13)[t]/(t^2 - 2)[w]/(w^2 - t), both levels declared fields
  (w^2 - t stays irreducible over GF(169)): the same, dense at n = 6,
  sparse at n = 7 (Chpoly at n = 5).
- Q(i) with &(L = 1): Det, Adjoint and Chpoly of a 7 x 7 matrix in x, y, z.
- GF(65521)[t]/(t^2 - 3) declared a field, which 65521 splits (3 is a
  square there): Det and Adjoint of a 7 x 7 matrix, dense, and Det sparse;
  its fractions are multiplied and cancelled in the copies.

- GF(7)[t]/(t^2 - 2) declared a field, which 7 splits: the inverse (dense
  and sparse) and Adjoint of the 5 x 5 matrix (x + i t + j^2)/(y + i + 2j)
  of fractions, whose copies' gcds lead with different monomials.
- GF(65521)[t]/(t^2 - 3) again: 100 Adjoints of the 8 x 8 matrix of field
  elements (i^3 + 7 j^2 + 11) t + i^j + 5 j + 1.
- The tower s^2 - 3, t^2 - 2 modulo 7, both declared fields, which 7 splits
  only partly (t^2 - 2 splits, s^2 - 3 not): 2,000 Adjoints of a zero-heavy
  5 x 5 matrix of tower elements, and the same modulo 23, which splits both
  into linear factors.
- t^3 - 2 declared a field modulo 23, which splits it only partly (a linear
  times a quadratic factor): 1,000 Adjoints and 1,000 inverses of a 5 x 5
  matrix of field elements; and modulo 31, which splits it into linear
  factors.
- t^3 + 1 declared a field modulo 2, which splits it only partly ((t + 1)
  times t^2 + t + 1): 300 default Dets of a 4 x 4 matrix in x, y whose
  entries lead with those zero divisors; the same matrix modulo 7, which
  splits t^3 + 1 into linear factors. And t^3 - 2 modulo 5 (split partly,
  (t - 3)(t^2 + 3t + 4)) beside modulo 31 (into linear factors), with
  entries such as (t - 3)y + x and (t^2 + 3t + 4)x + 1.

- Fractions in x, y over fields that the prime splits only partly: 160
  Dets of a sparse 5 x 5 matrix modulo 7 under the tower s^2 - 3 / t^2 - 2
  (default and fraction-free, &(K = 1)) and modulo 23 under t^3 - 2, beside
  modulo 23 and 31, which split them into linear factors; Dets, Adjoints
  and inverses of a dense 4 x 4 and Adjoints and Dets of a dense 5 x 5 over
  the tower modulo 7, beside modulo 23.

Sparse storage has no Adjoint: its inverse 1/[a] stands in its place.
"""
import os
import random
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from whole_process import whole_process  # noqa: E402

MONOS = ["1", "x", "y", "z", "x*y", "y*z", "x^2", "z^2"]


def field_coef(rng, p, gens):
    """A random element over the field levels: c0 + c1*g1 + ... (mod p)."""
    parts = [str(rng.randrange(p))] + [f"{rng.randrange(p)}*{g}" for g in gens]
    return "(" + " + ".join(parts) + ")"


def cells(rng, n, p, gens, monos):
    out = []
    for _ in range(n * n):
        terms = [f"{field_coef(rng, p, gens)}*{m}" for m in rng.sample(monos, rng.randint(1, 3))]
        out.append(" + ".join(terms))
    return out


def ring_setup(ring):
    if ring == "field":
        return "&(p = 13):\n&(J = t):\n&(P = t^2 - 2, 1):\n&(J = x):\n&(J = y):\n&(J = z):\n&(J = lam):\n"
    if ring == "tower":
        return ("&(p = 13):\n&(J = t):\n&(P = t^2 - 2, 1):\n&(J = w):\n&(P = w^2 - t, 1):\n"
                "&(J = x):\n&(J = y):\n&(J = z):\n&(J = lam):\n")
    if ring == "split7":
        return "&(p = 7):\n&(J = t):\n&(P = t^2 - 2, 1):\n&(J = y):\n&(J = x):\n"
    if ring in ("tower7", "tower23"):
        return (f"&(p = {ring[5:]}):\n&(J = s):\n&(P = s^2 - 3, 1):\n&(J = t):\n&(P = t^2 - 2, 1):\n"
                "&(J = x):\n")
    if ring in ("zd2", "zd7"):
        return f"&(p = {ring[2:]}):\n&(J = t):\n&(P = t^3 + 1, 1):\n&(J = y):\n&(J = x):\n"
    if ring in ("zd5", "zd31"):
        return f"&(p = {ring[2:]}):\n&(J = t):\n&(P = t^3 - 2, 1):\n&(J = y):\n&(J = x):\n"
    if ring in ("fxy7", "fxy23", "sxy7", "sxy23"):
        return (f"&(p = {ring[3:]}):\n&(J = s):\n&(P = s^2 - 3, 1):\n&(J = t):\n&(P = t^2 - 2, 1):\n"
                "&(J = x):\n&(J = y):\n")
    if ring in ("scub23", "scub31"):
        return f"&(p = {ring[4:]}):\n&(J = t):\n&(P = t^3 - 2, 1):\n&(J = x):\n&(J = y):\n"
    if ring in ("cubic23", "cubic31"):
        return f"&(p = {ring[5:]}):\n&(J = t):\n&(P = t^3 - 2, 1):\n&(J = x):\n"
    if ring in ("split", "split8"):
        return "&(p = 65521):\n&(J = t):\n&(P = t^2 - 3, 1):\n&(J = x):\n&(J = y):\n&(J = z):\n&(J = lam):\n"
    return "&(J = i):\n&(P = i^2 + 1, 1):\n&(J = x):\n&(J = y):\n&(J = z):\n&(J = lam):\n&(L = 1):\n"


# Matrices given by a formula in the row i and the column j.
FORMULAS = {"split7": "(x + i*t + j^2)/(y + i + 2*j)", "split8": "(i^3 + 7*j^2 + 11)*t + i^j + 5*j + 1"}


# Matrices given cell by cell, column by column.
TOWER = ("0, 0, s*t + 1, 0, 0, 0, 0, 0, s, 2*t + 1, 0, 0, 0, s - 4, s - 4, 5*(s + t - 3), (t - 3)*s, 0, 0, 0, 0, 0, "
         "0, 0, s")
CUBIC = ("t^2 + 5, t^2 + 5, t^2 + 5, t - 16, 0, t^2 + 5, t + 3, 4, 2*t + 1, 0, t + 3, t^2 + 5, t - 16, 0, 4, 0, 4, 4, "
         "t^2 + 5, 0, 0, 0, 0, 4, t^2 - 7*t + 3")
LEADS2 = ("(t + 1)*y + (t + 1)*x, 0, t + 1*x + 2, x + 3, t + 1, 0, (t^2 + t + 1)*y + 3, x + 3, (t + 1)*y + (t + 1)*x, "
          "t^2 + t + 1*x + 2, (t^2 + t + 1)*y + (t + 1)*x, (t + 1)*y + 2, 0, (t^2 + t + 1)*y*x + 1, (t + 1)*y + 1, "
          "(t^2 + t + 1)*y + 1")
LEADS5 = ("(t - 3)*y + x, 0, (t^2 + 3*t + 4)*x + 1, x + 3, t - 3, 0, (t^2 + 3*t + 4)*y + 3, x + 2, (t - 3)*y + (t - 3)*x, "
          "(t^2 + 3*t + 4)*x + 2, (t^2 + 3*t + 4)*y + (t - 3)*x, (t - 3)*y + 2, 0, (t^2 + 3*t + 4)*y*x + 1, "
          "(t - 3)*y + 1, (t^2 + 3*t + 4)*y + 1")
FRACTIONS4 = ("2*x + 6*t*y + 9*s + -7, 0*x + -9*t*y + -1*s + 6, 9*x + -2*t*y + 1*s + -9, "
              "(4*x + -6*t + -8*s + -8)/(y + 3*t + 9), 6*x + -1*t*y + 8*s + -2, 3*x + 4*t*y + 3*s + 9, "
              "-4*x + 1*t*y + 8*s + 9, -1*x + 7*t*y + -2*s + -8, 8*x + 8*t*y + 6*s + 3, 2*x + -6*t*y + -8*s + -5, "
              "-3*x + 9*t*y + -1*s + 0, (8*x + -8*t + -3*s + 4)/(y + 0*t + -1), "
              "(-5*x + 7*t + 3*s + -9)/(y + -7*t + -4), (4*x + 0*t + 4*s + 7)/(y + 3*t + 9), "
              "(6*x + -7*t + 2*s + -7)/(y + 4*t + -5), (1*x + 1*t + 2*s + -5)/(y + 3*t + 3)")
FRACTIONS5 = ("5*x + 5*t*y + 7*s + 9, 6*x + -9*t*y + -7*s + 5, 0, -3*x + -4*t*y + 3*s + 9, 0, "
              "6*x + -4*t*y + -6*s + 5, 0, (-3*x + -1*t + 1*s + -7)/(y + 0*t + 1), -3*x + 5*t*y + -1*s + -9, "
              "(-2*x + -2*t + -3*s + -4)/(y + 8*t + -3), (-8*x + 3*t + 5*s + -4)/(y + -9*t + 7), "
              "-7*x + -1*t*y + 1*s + -2, (-6*x + -5*t + -2*s + -6)/(y + -9*t + -8), 0, 0, "
              "(-2*x + -9*t + 5*s + 1)/(y + 5*t + 9), (9*x + -6*t + 3*s + -6)/(y + 0*t + 3), "
              "(8*x + -3*t + 5*s + 7)/(y + -3*t + -5), (-7*x + -7*t + -7*s + -3)/(y + 9*t + -2), "
              "(-7*x + 4*t + -8*s + -6)/(y + -6*t + -8), 0, (-9*x + -3*t + -3*s + -8)/(y + 6*t + 3), "
              "(3*x + 4*t + -3*s + -9)/(y + -1*t + 9), (5*x + -5*t + 9*s + 6)/(y + 9*t + -5), "
              "(3*x + -1*t + 4*s + 6)/(y + 0*t + 7)")
LITERALS = {"tower7": TOWER, "tower23": TOWER, "cubic23": CUBIC, "cubic31": CUBIC, "zd2": LEADS2, "zd7": LEADS2,
            "zd5": LEADS5, "zd31": LEADS5, "fxy7": FRACTIONS4, "fxy23": FRACTIONS4}
# Sparse matrices given by their filled cells (at n = 5).
SPARSE_CELLS = ("a[1,1] := (3*x + 3*t + -6)/(y + 2*t + 9):\n"
               "a[1,2] := (3*x + -1*t + -9)/(y + 3*t + 9):\n"
               "a[1,3] := -2*x + -1*t*y + 5*t^0 + 6:\n"
               "a[2,2] := (3*x + 5*t + 3)/(y + 2*t + 1):\n"
               "a[2,3] := (4*x + 3*t + -5)/(y + 3*t + 3):\n"
               "a[3,1] := -5*x + 2*t*y + 3*t^1 + 4:\n"
               "a[3,3] := -2*x + 2*t*y + 1*t^0 + -8:\n"
               "a[3,4] := (5*x + 5*t + 5)/(y + -1*t + 7):\n"
               "a[4,1] := (5*x + -2*t + 4)/(y + 0*t + 6):\n"
               "a[4,4] := (5*x + -1*t + -5)/(y + 1*t + 9):\n"
               "a[4,5] := (5*x + 2*t + 1)/(y + -2*t + 4):\n"
               "a[5,1] := 2*x + 4*t*y + 1*t^2 + 7:\n"
               "a[5,2] := -5*x + 0*t*y + 3*t^1 + -7:\n"
               "a[5,5] := (2*x + -1*t + -3)/(y + 2*t + 9):\n")
SPARSE_LITERALS = {"sxy7": SPARSE_CELLS, "sxy23": SPARSE_CELLS, "scub23": SPARSE_CELLS, "scub31": SPARSE_CELLS}


def matrix_setup(ring, n, sparse, seed):
    rng = random.Random(seed)
    if ring in SPARSE_LITERALS:
        return ring_setup(ring) + f"Array a[{n},{n}] Sparse:\n" + "".join(SPARSE_LITERALS[ring])
    if ring in LITERALS:
        cells = FRACTIONS5 if ring.startswith("fxy") and n == 5 else LITERALS[ring]
        return ring_setup(ring) + f"Array a[{n},{n}]:\n[a] := [({cells})]:\n"
    if ring in FORMULAS:
        f = FORMULAS[ring]
        if sparse:
            return ring_setup(ring) + (f"Array a[{n},{n}] Sparse:\n"
                                       f"for i = 1 to {n} do for j = 1 to {n} do a[i,j] := {f} od od:\n")
        return ring_setup(ring) + f"Array a[{n},{n}]:\n[a] := [<i = 1, {n}><j = 1, {n}> {f}]:\n"
    if ring in ("field", "split"):
        entries = cells(rng, n, 13, ["t"], MONOS)
    elif ring == "tower":
        entries = cells(rng, n, 13, ["t", "w", "t*w"], MONOS)
    else:
        entries = cells(rng, n, 10, ["i"], MONOS)
    text = ring_setup(ring)
    if sparse:
        text += f"Array a[{n},{n}] Sparse:\n"
        for k, e in enumerate(entries):
            text += f"a[{k // n + 1},{k % n + 1}] := {e}:\n"
    else:
        text += f"Array a[{n},{n}]:\n[a] := [({', '.join(entries)})]:\n"
    return text


STATEMENTS = {
    "Det": "d := Det[a]:\n!!('terms', Terms(d));\n!!('at', d#(x = 2));\n",
    "Adjoint": "Array b[{n},{n}]:\n[b] := Adjoint[a]:\n!!('at', b[1,1]#(x = 2), b[{n},2]#(x = 3));\n",
    # Sparse storage has no Adjoint: its inverse (Leverrier-Faddeev) instead.
    "Inverse": "Array b[{n},{n}] Sparse:\n[b] := 1/[a]:\n!!('at', b[1,1]#(x = 2), b[{n},2]#(x = 3));\n",
    "Inverse dense": "Array b[{n},{n}]:\n[b] := 1/[a]:\n!!('at', b[1,1]#(x = 2), b[{n},2]#(x = 3));\n",
    "Adjoint x100": ("Array b[{n},{n}]:\nfor k = 1 to 100 do [b] := Adjoint[a] od:\n"
                     "!!('at', b[1,1], b[{n},2]);\n"),
    "Chpoly": "c := Chpoly([a]):\n!!('terms', Terms(c));\n!!('at', c#(lam = 1));\n",
    "Adjoint x2000": ("Array b[{n},{n}]:\nfor k = 1 to 2000 do [b] := Adjoint[a] od:\n"
                      "!!('at', b[1,1], b[{n},2]);\n"),
    "Adjoint x1000": ("Array b[{n},{n}]:\nfor k = 1 to 1000 do [b] := Adjoint[a] od:\n"
                      "!!('at', b[1,1], b[{n},2]);\n"),
    "Det x300": "for k = 1 to 300 do d := Det[a] od:\n!!('terms', Terms(d));\n!!('at', d#(x = 2));\n",
    "Det x160": "for k = 1 to 160 do d := Det[a] od:\n!!('terms', Terms(d));\n!!('at', d#(x = 2));\n",
    "Det x160 K=1": ("&(K = 1):\nfor k = 1 to 160 do d := Det[a] od:\n!!('terms', Terms(d));\n"
                     "!!('at', d#(x = 2));\n"),
    "Det x20": "for k = 1 to 20 do d := Det[a] od:\n!!('terms', Terms(d));\n!!('at', d#(x = 2));\n",
    "Adjoint x5": ("Array b[{n},{n}]:\nfor k = 1 to 5 do [b] := Adjoint[a] od:\n"
                   "!!('at', b[1,1]#(x = 2), b[{n},2]#(x = 3));\n"),
    "Inverse x5": ("Array b[{n},{n}]:\nfor k = 1 to 5 do [b] := 1/[a] od:\n"
                   "!!('at', b[1,1]#(x = 2), b[{n},2]#(x = 3));\n"),
    "Inverse x1000": ("Array b[{n},{n}]:\nfor k = 1 to 1000 do [b] := 1/[a] od:\n"
                      "!!('at', b[1,1], b[{n},2]);\n"),
}

CASES = [
    # ring, n, storage, statement
    ("field", 7, False, "Det"), ("field", 7, True, "Det"),
    ("field", 7, False, "Adjoint"), ("field", 7, True, "Inverse"),
    ("field", 7, False, "Chpoly"), ("field", 7, True, "Chpoly"),
    ("tower", 6, False, "Det"), ("tower", 7, True, "Det"),
    ("tower", 6, False, "Adjoint"), ("tower", 7, True, "Inverse"),
    ("tower", 6, False, "Chpoly"), ("tower", 5, True, "Chpoly"),
    ("Q(i) L=1", 7, False, "Det"), ("Q(i) L=1", 7, False, "Adjoint"), ("Q(i) L=1", 7, False, "Chpoly"),
    ("split", 7, False, "Det"), ("split", 7, True, "Det"), ("split", 7, False, "Adjoint"),
    ("split7", 5, False, "Inverse dense"), ("split7", 5, True, "Inverse"), ("split7", 5, False, "Adjoint"),
    ("split8", 8, False, "Adjoint x100"),
    ("tower7", 5, False, "Adjoint x2000"), ("tower23", 5, False, "Adjoint x2000"),
    ("cubic23", 5, False, "Adjoint x1000"), ("cubic23", 5, False, "Inverse x1000"),
    ("cubic31", 5, False, "Adjoint x1000"), ("cubic31", 5, False, "Inverse x1000"),
    ("zd2", 4, False, "Det x300"), ("zd7", 4, False, "Det x300"),
    ("zd5", 4, False, "Det x300"), ("zd31", 4, False, "Det x300"),
    ("sxy7", 5, True, "Det x160"), ("sxy7", 5, True, "Det x160 K=1"), ("sxy23", 5, True, "Det x160"),
    ("scub23", 5, True, "Det x160"), ("scub23", 5, True, "Det x160 K=1"), ("scub31", 5, True, "Det x160"),
    ("fxy7", 4, False, "Det x20"), ("fxy7", 4, False, "Adjoint x5"), ("fxy7", 4, False, "Inverse x5"),
    ("fxy23", 4, False, "Det x20"), ("fxy23", 4, False, "Adjoint x5"),
    ("fxy7", 5, False, "Adjoint x5"), ("fxy7", 5, False, "Det x20"), ("fxy23", 5, False, "Adjoint x5"),
]


def answer(out):
    """What the session printed from its first value on."""
    lines = [line.lstrip(">") for line in out.splitlines()]
    first = next((k for k, line in enumerate(lines) if line.startswith(("terms", "at", "***"))), len(lines))
    return lines[first:]


def main(argv):
    args = argv[1:]
    runs, limit = 3, 120.0
    if "--runs" in args:
        k = args.index("--runs")
        runs = int(args[k + 1])
        del args[k:k + 2]
    if "--limit" in args:
        k = args.index("--limit")
        limit = float(args[k + 1])
        del args[k:k + 2]
    only = None
    if "--only" in args:
        k = args.index("--only")
        only = args[k + 1]
        del args[k:k + 2]
    binaries = [os.path.abspath(b) for b in args]
    labels = [os.path.basename(os.path.dirname(os.path.dirname(os.path.dirname(b)))) or b for b in binaries]
    print("Whole process, median of %d (seconds)" % runs)
    print(f"{'ring':<10} {'n':>2} {'storage':<7} {'what':<13}" + "".join(f" {lab[:12]:>12}" for lab in labels))
    for seed, (ring, n, sparse, what) in enumerate(CASES):
        if only and ring not in only.split(","):
            continue
        script = matrix_setup(ring, n, sparse, 77 + seed // 2) + STATEMENTS[what].replace("{n}", str(n))
        times = [[] for _ in binaries]
        answers = [None for _ in binaries]
        for _ in range(runs):
            for k, b in enumerate(binaries):
                took, out = whole_process(b, script, limit)
                times[k].append(took)
                if took is not None:
                    got = answer(out)
                    if not got or any("***" in line for line in got):
                        sys.exit(f"{ring} {what}: no answer from {b}:\n{out[-800:]}")
                    answers[k] = got
        known = [a for a in answers if a is not None]
        if any(a != known[0] for a in known):
            sys.exit(f"{ring} {what}: the binaries disagree: {answers}")
        cols = ""
        for t in times:
            done = [x for x in t if x is not None]
            cols += f" {statistics.median(done):12.3f}" if len(done) == len(t) else f" {'> %.0f' % limit:>12}"
        print(f"{ring:<10} {n:>2} {'sparse' if sparse else 'dense':<7} {what:<13}{cols}", flush=True)


if __name__ == "__main__":
    main(sys.argv)
