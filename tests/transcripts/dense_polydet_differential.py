#!/usr/bin/env python3
"""Determinants of random dense polynomial matrices (n = 7 to 12, where the
interpolation takes the dense road and its inner levels run on machine
words) over Z and modulo 2, 3, 7, 101 and a 31-bit prime, in 1 to 4
variables: interpolation (switch L = 1) against fraction-free elimination,
against the default elimination for the smaller ones over Z and against
sympy in one and two variables; then shaped matrices whose determinant
is 0, vanishes at chosen values of the first and the last variable, or
whose cells are half zero with a zero diagonal, so that the evaluated
number matrices are singular or need row exchanges at some points. Every
check is a difference the interpreter must show as 0.

  dense_polydet_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sympy  # noqa: E402
from sympy.polys.matrices import DomainMatrix  # noqa: E402

from sparse_polydet_differential import NAMES, P31, SYMS, Script, entry, text  # noqa: E402


def dense_matrix(rng, n, nv):
    return {(i, j): entry(rng, nv) for i in range(n) for j in range(n)}


def shaped_matrix(rng, n, nv, shape):
    """zero: the last row the sum of the first two; roots: the first row
    times (x - 3), the second times (last variable - 2); holes: about half
    the cells and the whole diagonal 0."""
    cells = dense_matrix(rng, n, nv)
    if shape == "zero":
        for j in range(n):
            cells[n - 1, j] = f"({cells[0, j]})+({cells[1, j]})"
    elif shape == "roots":
        last = NAMES[nv - 1]
        for j in range(n):
            cells[0, j] = f"(x-3)*({cells[0, j]})"
            cells[1, j] = f"({last}-2)*({cells[1, j]})"
    else:
        for (i, j) in cells:
            if i == j or rng.random() < 0.5:
                cells[i, j] = "0"
    return cells


def sym_det(n, cells, nv):
    """The determinant over Z[x, ...] by sympy's domain matrices."""
    loc = dict(zip(NAMES, SYMS))
    m = sympy.zeros(n, n)
    for (i, j), t in cells.items():
        m[i, j] = sympy.sympify(t.replace("^", "**"), locals=loc)
    ring = sympy.ZZ[tuple(SYMS[:nv])]
    return sympy.expand(ring.to_sympy(DomainMatrix.from_Matrix(m).convert_to(ring).det()))


def dense_array(s, name, n, cells):
    # Listed row by row: the determinant does not see the transposition.
    values = ",".join(f"({cells[i, j]})" for i in range(n) for j in range(n))
    s.lines += [f"Array {name}[{n},{n}];", f"[{name}] := [({values})];"]


def both_routes(s, ring, a, n, cells, label):
    """The array a in the ring, its determinant by interpolation (i<a>) and
    by fraction-free elimination (b<a>), and their difference checked."""
    s.ring(ring)
    dense_array(s, a, n, cells)
    s.lines += ["&(L = 1);", f"i{a} := Det [{a}]:", "&(L = 5000);", "&(K = 1);", f"b{a} := Det [{a}]:", "&(K = 0);"]
    s.zero(label + " interpolation = fraction-free", f"i{a} - b{a};")


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 12
    seed = int(argv[3]) if len(argv) > 3 else 3207
    rng = random.Random(seed)
    rings = [None, P31, 2, 3, 7, 101]
    s = Script()
    for c in range(count):
        ring = rings[c % len(rings)]
        nv = 1 + c % 4
        # Sizes shrink as the variables grow, to keep the elimination short.
        n = rng.randint(7, (12, 10, 9, 7)[nv - 1])
        cells = dense_matrix(rng, n, nv)
        a = f"d{c}"
        label = f"case {c} (p={ring}, n={n}, vars={nv})"
        both_routes(s, ring, a, n, cells, label)
        # The default elimination is slow modulo small primes.
        if n <= 8 and ring is None:
            s.lines += [f"g{a} := Det [{a}]:"]
            s.zero(label + " interpolation = elimination", f"i{a} - g{a};")
        if nv <= 2:
            s.zero(label + " interpolation = sympy", f"i{a} - ({text(sym_det(n, cells, nv))});")
    shaped = [(None, 3, "zero"), (101, 3, "roots"), (7, 2, "holes"), (None, 2, "roots"), (P31, 4, "holes"),
              (101, 2, "zero"), (3, 3, "holes"), (None, 3, "holes")]
    for k, (ring, nv, shape) in enumerate(shaped):
        n = 8 if nv < 4 else 7
        cells = shaped_matrix(rng, n, nv, shape)
        a = f"s{k}"
        label = f"shaped {shape} (p={ring}, n={n}, vars={nv})"
        both_routes(s, ring, a, n, cells, label)
        if shape == "zero":
            s.zero(label + " is 0", f"i{a};")
        if nv <= 2 and ring is None:
            s.zero(label + " interpolation = sympy", f"i{a} - ({text(sym_det(n, cells, nv))});")
    with tempfile.TemporaryDirectory() as cwd:
        failed = s.run(binary, cwd)
    for f in failed:
        print("FAILED", f)
    print(f"{len(s.checks) - len(failed)} of {len(s.checks)} checks passed (seed {seed})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
