#!/usr/bin/env python3
"""Chpoly of matrices of numbers past the size where it reduces them to
Hessenberg form, checked by properties that do not share its road.

In every ground ring (integers, rationals, 65521, 2147483629, 13 and 2
below n, GF(2^8), GF(2^16)), for a dense matrix A and a sparse copy S: p(A) is the
zero matrix (Cayley-Hamilton), p(k) = Det(A - kI) at a point, S's call
gives p too, and A is unchanged. Over the rationals (and modulo 65521) the
Leverrier-Faddeev recurrence on S gives p as well, and the integer p reduced
modulo 13, 2 and 65521 is the Chpoly of A's residues there. At the sizes of
a user's wait (200 x 200 modulo 65521 and over the integers, 70 x 70 over
the rationals) each session must end within BOUND seconds, p(k) = Det(A -
kI) again; so must Chpoly over the rationals with denominators of 30
digits (24 x 24: reduced modulo three primes, each its own Chpoly there)
and of a sparse 600 x 600 matrix modulo 65521. Under composite moduli the
integer p of the residues, reduced, is the Chpoly there, and p(k) = Det(A - kI).

  chpoly_hessenberg.py TARVEX [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

BOUND = 30


def session(binary, script):
    with tempfile.TemporaryDirectory() as cwd:
        try:
            out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                                 timeout=BOUND).stdout.decode(errors="replace")
        except subprocess.TimeoutExpired:
            return None
    found = {}
    for line in out.split("\n"):
        line = line.lstrip(">").strip()
        if line.startswith("ck_"):
            tag, _, value = line.partition(" ")
            found[tag] = value.strip()
    return found


def fill(name, m, sparse=False):
    n = len(m)
    text = f"Array {name}[{n},{n}]{' Sparse' if sparse else ''};\n"
    for i in range(n):
        text += "".join(f"{name}[{i + 1},{j + 1}] := {m[i][j]}: " for j in range(n) if m[i][j] or not sparse)
        text += "\n"
    return text


def shifted_det(k, n):
    """Det(A - kI) through a copy b of a."""
    return f"[b] := [a]: for i = 1 to {n} do b[i,i] := b[i,i] - ({k}) od:\n"


def ring_case(binary, rng, ring, n, lo, hi, rational=False):
    m = [[rng.randint(lo, hi) if rng.random() < 0.7 else 0 for _ in range(n)] for _ in range(n)]
    if rational:
        m = [[f"{v}/{rng.choice((1, 2, 3, 10, 49))}" if v else 0 for v in row] for row in m]
    k = rng.randint(2, 50)
    script = "&(J = x);\n" + (f"&(p = {ring});\n" if ring else "")
    script += fill("a", m) + fill("s", m, True) + f"Array b[{n},{n}], c[{n},{n}];\n[c] := [a]:\n"
    script += "q := Chpoly([a]):\n"
    if not rational:
        # A polynomial of fractions has no value at a matrix.
        script += "[z] := (q)#[a]: !!('ck_ch', Iszero[z]);\n"
    script += shifted_det(k, n) + f"!!('ck_point', q#({k}) - Det [b]);\n"
    script += "!!('ck_sparse', q - Chpoly([s]));\n"
    if ring in (None, 65521):
        script += "!!('ck_lf', q - Chpoly([s], 1));\n"
    script += "[d] := [a] - [c]: !!('ck_same', Iszero[d]);\n"
    script += f"!!('ck_deg', Deg(q));\n"
    # Deg answers in the ring: modulo a prime below n, n's residue.
    deg = n % ring if ring in (2, 13) else n
    want = {"ck_point": "0", "ck_sparse": "0", "ck_same": "1", "ck_deg": str(deg)}
    if not rational:
        want["ck_ch"] = "1"
    if ring in (None, 65521):
        want["ck_lf"] = "0"
    return f"ring {ring or ('Q' if rational else 'Z')} n={n}", session(binary, script), want


def images_case(binary, rng, n):
    """The integer polynomial reduced modulo a prime is that prime's own."""
    m = [[rng.randint(-99, 99) for _ in range(n)] for _ in range(n)]
    cases = []
    for p in (13, 2, 65521):
        script = "&(J = x);\n" + fill("a", m) + "q := Chpoly([a]):\n"
        script += f"&(p = {p});\n!!('ck_image', q - Chpoly([a]));\n"
        cases.append((f"integer image modulo {p}, n={n}", session(binary, script), {"ck_image": "0"}))
    return cases


def large_case(binary, rng, ring, n, rational=False):
    lo, hi = (0, ring - 1) if ring else (-99, 99)
    m = [[rng.randint(lo, hi) for _ in range(n)] for _ in range(n)]
    if rational:
        m = [[f"{v}/{rng.randint(1, 9)}" for v in row] for row in m]
    k = rng.randint(2, 9) if rational else rng.randint(2, 10**6)
    script = "&(J = x);\n" + (f"&(p = {ring});\n" if ring else "") + fill("a", m)
    script += f"Array b[{n},{n}];\nq := Chpoly([a]):\n" + shifted_det(k, n)
    script += f"!!('ck_point', q#({k}) - Det [b]);\n!!('ck_deg', Deg(q));\n"
    return (f"large {ring or ('Q' if rational else 'Z')} n={n}", session(binary, script),
            {"ck_point": "0", "ck_deg": str(n)})


def denominators_case(binary, rng, n, primes=(13, 65521, 2147483629)):
    """Denominators of 30 digits, each its own: the rational p reduced
    modulo a prime is that prime's own Chpoly of A's residues."""
    def entry():
        while True:
            d = rng.randint(1, 10**30)
            if all(d % p for p in primes):
                return f"{rng.randint(-99, 99)}/{d}"
    m = [[entry() if rng.random() < 0.8 else 0 for _ in range(n)] for _ in range(n)]
    m[rng.randrange(n)] = [0] * n
    cases = []
    for p in primes:
        script = "&(J = x);\n" + fill("a", m, p == 13) + "q := Chpoly([a]):\n"
        script += f"&(p = {p});\n!!('ck_image', q - Chpoly([a]));\n!!('ck_deg', Deg(q));\n"
        cases.append((f"30-digit denominators modulo {p}, n={n}", session(binary, script),
                      {"ck_image": "0", "ck_deg": str(n % p - (p if n % p > p // 2 else 0))}))
    return cases


def sparse_case(binary, rng, n, ring):
    """A sparse matrix of three entries a row past 500 rows."""
    m = [[0] * n for _ in range(n)]
    for i in range(n):
        for j in rng.sample(range(n), 3):
            m[i][j] = rng.randint(1, ring - 1)
    k = rng.randint(2, 50)
    script = f"&(J = x);\n&(p = {ring});\n" + fill("a", m, True) + "q := Chpoly([a]):\n"
    script += f"for i = 1 to {n} do a[i,i] := a[i,i] - {k} od:\n!!('ck_point', q#({k}) - Det [a]);\n"
    script += "!!('ck_deg', Deg(q));\n"
    return (f"sparse {n}x{n} modulo {ring}", session(binary, script), {"ck_point": "0", "ck_deg": str(n)})


def composite_case(binary, rng, n, m, sparse):
    """Under a composite modulus: the integer p of the residues reduced there
    is the Chpoly there, and p(k) = Det(A - kI)."""
    a = [[rng.randrange(m) if rng.random() < 0.7 else 0 for _ in range(n)] for _ in range(n)]
    k = rng.randint(2, 50)
    script = "&(J = x);\n" + fill("a", a, sparse) + "z := Chpoly([a]):\n"
    script += f"&(p = {m});\nArray b[{n},{n}];\nq := Chpoly([a]):\n!!('ck_image', q - z);\n"
    script += shifted_det(k, n) + f"!!('ck_point', q#({k}) - Det [b]);\n"
    return (f"modulo {m}, {'sparse' if sparse else 'dense'} n={n}", session(binary, script),
            {"ck_image": "0", "ck_point": "0"})


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 66)
    cases = [ring_case(binary, rng, None, 24, -9, 9), ring_case(binary, rng, None, 20, -9, 9, True),
             ring_case(binary, rng, 65521, 50, 0, 65520),
             ring_case(binary, rng, 2147483629, 30, 0, 2147483628), ring_case(binary, rng, 13, 40, 0, 12),
             ring_case(binary, rng, 2, 40, 0, 1), ring_case(binary, rng, 256, 30, 0, 255),
             ring_case(binary, rng, 65536, 30, 0, 65535)]
    cases += images_case(binary, rng, 60)
    cases += [large_case(binary, rng, 65521, 200), large_case(binary, rng, None, 200),
              large_case(binary, rng, None, 70, True)]
    cases += denominators_case(binary, rng, 24)
    cases.append(sparse_case(binary, rng, 600, 65521))
    cases += [composite_case(binary, rng, n, m, sparse) for n, m, sparse in (
        (3, 12, False), (7, 49, True), (13, 2147483644, False), (20, 6, True))]
    failures = 0
    for label, got, want in cases:
        if got is None:
            print(f"{label}: no answer within {BOUND} s")
            failures += 1
        elif any(got.get(t) != v for t, v in want.items()):
            print(f"{label}: {got} (want {want})")
            failures += 1
    print(f"{failures} of {len(cases)} cases failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
