#!/usr/bin/env python3
"""Determinants of polynomial matrices over extension fields by
interpolation prime by prime (switch L = 1), dense and sparse: over Q(i),
Q(cbrt 2), Q(sqrt 123456789) and the tower Q(i)(cbrt 2), in 1 to 3
variables, against both elimination routes and sympy (the determinant as
a polynomial in the generators reduced modulo the relations). The tower
Q(i)(sqrt 3) has no first auxiliary primes: the road declines and
elimination answers. Modulo a prime, GF(p)(alpha) is no field case of the
integer road: the modular method takes it directly. The verbose lines show
that the images are taken modulo the first auxiliary primes only.

  field_polydet_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys

import sympy
from sympy.polys.matrices import DomainMatrix

NAMES = ["x", "y", "z"]
X, Y, Z, T, S = sympy.symbols("x y z t s")
SYMS = [X, Y, Z]
MARK = "z^99"

# Field generators (innermost first) with their relations; t is inner to s.
FIELDS = {
    "Q(i)": [("t", T ** 2 + 1)],
    "Q(cbrt 2)": [("t", T ** 3 - 2)],
    "Q(sqrt 123456789)": [("t", T ** 2 - 123456789)],
    "Q(i)(cbrt 2)": [("t", T ** 2 + 1), ("s", S ** 3 - 2)],
}


def text(e):
    return str(sympy.expand(e)).replace("**", "^")


def reduce_field(e, field):
    """e reduced modulo the relations, the outer generator first."""
    e = sympy.expand(e)
    for name, rel in reversed(field):
        g = sympy.Symbol(name)
        e = sympy.expand(sympy.rem(sympy.Poly(e, g), sympy.Poly(rel, g)).as_expr())
    return e


def field_element(rng, field):
    gens = [sympy.Symbol(name) for name, _ in field]
    degs = [sympy.degree(rel, sympy.Symbol(name)) for name, rel in field]
    e = 0
    for _ in range(rng.randint(1, 2)):
        m = rng.choice([c for c in range(-5, 6) if c])
        for g, d in zip(gens, degs):
            m *= g ** rng.randrange(d)
        e += m
    return e


def entry(rng, nv, field, deg=2):
    e = 0
    for _ in range(rng.randint(1, 3)):
        m = field_element(rng, field) if rng.random() < 0.5 else rng.choice([c for c in range(-9, 10) if c])
        for v in range(nv):
            if rng.random() < 0.5:
                m *= SYMS[v] ** rng.randint(1, deg)
        e += m
    return sympy.expand(e)


def random_cells(rng, n, nv, field, density):
    cells = {}
    for i in range(n):
        for j in range(n):
            if i == j:
                cells[i, j] = sympy.expand(entry(rng, nv, field) + SYMS[nv - 1])
            elif rng.random() < density:
                cells[i, j] = entry(rng, nv, field)
    return cells


def banded(rng, n, field):
    """Diagonal x + c_i, one neighbour y, two field elements per row."""
    cells = {}
    for i in range(n):
        cells[i, i] = X + rng.randint(-9, 9)
        cells[i, (i + 1) % n] = Y
        for _ in range(2):
            j = rng.randrange(n)
            if (i, j) not in cells:
                cells[i, j] = field_element(rng, field)
    return cells


def det_at_point(rng, n, cells, nv, field):
    """The determinant at a random integer point of x, y, z: a field element."""
    values = {NAMES[v]: rng.randint(-7, 7) for v in range(nv)}
    subs = {SYMS[v]: values[NAMES[v]] for v in range(nv)}
    return values, sym_det(n, {k: e.subs(subs) for k, e in cells.items()}, field)


def sym_det(n, cells, field):
    """Fraction-free over Z[x, y, z, t, s], then reduced."""
    ring = sympy.ZZ[X, Y, Z, T, S]
    rows = [[ring.from_sympy(sympy.sympify(cells.get((i, j), 0))) for j in range(n)] for i in range(n)]
    det = DomainMatrix(rows, (n, n), ring).det()
    return reduce_field(ring.to_sympy(det), field)


class Script:
    def __init__(self):
        self.lines = []
        self.checks = []

    def header(self, field, modulus=None):
        self.lines.append("&(J = t); &(J = s); &(J = z); &(J = y); &(J = x);")
        if modulus:
            self.lines.append(f"&(p = {modulus});")
        for name, rel in field:
            self.lines.append(f"&(P = {text(rel)}, 1);")

    def array(self, name, n, cells, sparse):
        if sparse:
            self.lines.append(f"Array {name}[{n},{n}] Sparse;")
            self.lines += [f"{name}[{i + 1},{j + 1}] := {text(e)};" for (i, j), e in sorted(cells.items())]
        else:
            vals = ",".join(text(cells.get((i, j), 0)) for i in range(n) for j in range(n))
            self.lines.append(f"Array {name}[{n},{n}];")
            self.lines.append(f"[{name}] := [({vals})];")

    def zero(self, label, statement):
        self.lines += [f"{MARK};", statement]
        self.checks.append((label, "zero", None))

    def verbose(self, label, statement, check):
        self.lines += ["&V;", f"{MARK};", statement, "&V;"]
        self.checks.append((label, "verbose", check))

    def routes(self, a, label, det=None, point=None, eliminate=True):
        """Interpolation against both elimination routes, and against sympy:
        the whole determinant, or its value at a point (x, y, z) -> values."""
        self.lines += ["&(L = 1);", f"i{a} := Det [{a}];", "&(L = 5000);"]
        if eliminate:
            self.lines.append(f"g{a} := Det [{a}];")
        self.lines += ["&(K = 1);", f"b{a} := Det [{a}];", "&(K = 0);", "&(L = 1);"]
        if eliminate:
            self.zero(label + " interpolation = elimination", f"i{a} - g{a};")
        self.zero(label + " interpolation = fraction-free", f"i{a} - b{a};")
        if det is not None:
            self.zero(label + " interpolation = sympy", f"i{a} - ({text(det)});")
        if point is not None:
            values, value = point
            at = f"i{a}"
            for name, v in values.items():
                at = f"({at}#({name} = {v}))"
            self.zero(label + " interpolation = sympy at a point", f"{at} - ({text(value)});")

    def run(self, binary):
        if os.environ.get("FIELD_POLYDET_SCRIPT"):
            with open(os.environ["FIELD_POLYDET_SCRIPT"], "a") as f:
                f.write("\n".join(self.lines) + "\n&q;\n#----\n")
        out = subprocess.run([binary], input="\n".join(self.lines + ["&q;"]).encode() + b"\n",
                             capture_output=True, timeout=600).stdout.decode(errors="replace")
        out = out.replace(" `\n", "")
        pieces = re.split(r"\n *z\^99\n", out)[1:]
        failed = []
        if len(pieces) != len(self.checks):
            failed.append(f"only {len(pieces)} results for {len(self.checks)} checks")
        for (label, kind, check), piece in zip(self.checks, pieces):
            body = piece.split("\n>", 1)[1] if "\n>" in piece else piece
            if kind == "zero":
                block = body.split("\n>", 1)[0].strip()
                last = block.split("\n")[-1].strip() if block else ""
                if last != "0" or "Error" in block:
                    failed.append(f"{label}: {block[:300]!r}")
            else:
                why = check(body)
                if why:
                    failed.append(f"{label}: {why}")
        return failed


def moduli(body):
    return [int(m) for m in re.findall(r"Now in modular mode, modulus (\d+)", body)]


def aux_primes(binary, field):
    """The first auxiliary primes the interpreter lists for the field."""
    s = Script()
    s.header(field)
    out = subprocess.run([binary], input=("\n".join(s.lines) + "\n&g;\n&q;\n").encode(), capture_output=True,
                         timeout=120).stdout.decode(errors="replace")
    m = re.search(r"There are (\d+) first auxiliary primes:(.*?)\n\s*\n", out, re.S)
    return [int(p) for p in re.findall(r"\d+", m.group(2))] if m else []


def only_aux(primes):
    def check(body):
        used = moduli(body)
        if not used:
            return "no images taken"
        bad = [p for p in used if p not in primes]
        return f"moduli {bad} are not first auxiliary primes" if bad else None
    return check


def one_field(binary, rng, fname, count):
    field = FIELDS[fname]
    s = Script()
    s.header(field)
    for c in range(count):
        sparse = c % 2 == 1
        nv = 1 + c % 3
        n = rng.randint(7, 10 if nv < 3 else 7) if not sparse else rng.randint(4, 9)
        cells = random_cells(rng, n, nv, field, 0.7 if not sparse else 0.35)
        a = f"m{c}"
        s.array(a, n, cells, sparse)
        # The whole determinant is slow in sympy beyond small sizes.
        det = sym_det(n, cells, field) if n <= 5 and nv == 1 else None
        # The plain dense elimination on three variables takes minutes at
        # these sizes; the field gcd test runs it on a matrix of linear forms.
        s.routes(a, f"{fname} case {c} ({'sparse' if sparse else 'dense'}, n={n}, vars={nv})", det,
                 det_at_point(rng, n, cells, nv, field), eliminate=sparse or nv < 3)
    # A factor that divides the determinant (row 1 times it), dense and sparse.
    fac = X + sympy.Symbol(field[0][0])
    plain = random_cells(rng, 5, 1, field, 0.6)
    q = sym_det(5, plain, field)
    cells = {k: sympy.expand(e * fac) if k[0] == 0 else e for k, e in plain.items()}
    s.array("fd", 5, cells, False)
    s.array("fs", 5, cells, True)
    s.lines.append("&(L = 1);")
    s.zero(f"{fname} dense with a factor", f"Det([fd], {text(fac)}) - ({text(q)});")
    s.zero(f"{fname} sparse with a factor", f"Det([fs], {text(fac)}) - ({text(q)});")
    # A zero determinant: two equal rows.
    z = random_cells(rng, 8, 2, field, 0.6)
    for j in range(8):
        if (0, j) in z:
            z[1, j] = z[0, j]
        else:
            z.pop((1, j), None)
    s.array("zd", 8, z, False)
    s.array("zs", 8, z, True)
    s.lines.append("&(L = 1);")
    s.zero(f"{fname} dense zero determinant", "Det [zd];")
    s.zero(f"{fname} sparse zero determinant", "Det [zs];")
    primes = aux_primes(binary, field)
    if not primes:
        return [f"{fname}: no first auxiliary primes listed"]
    s.verbose(f"{fname} dense images modulo auxiliary primes", "Det [m0];", only_aux(primes))
    if count >= 2:
        s.verbose(f"{fname} sparse images modulo auxiliary primes", "Det [m1];", only_aux(primes))
    return s.run(binary)


def no_aux_primes(binary, rng):
    """Q(i)(sqrt 3): modulo every prime -1, 3 or -3 is a square."""
    field = [("t", T ** 2 + 1), ("s", S ** 2 - 3)]
    s = Script()
    s.header(field)
    failed = []
    for sparse in (False, True):
        cells = random_cells(rng, 7, 2, field, 0.5)
        a = "ts" if sparse else "td"
        s.array(a, 7, cells, sparse)
        s.routes(a, f"Q(i)(sqrt 3) {'sparse' if sparse else 'dense'}", None, det_at_point(rng, 7, cells, 2, field))
        s.verbose(f"Q(i)(sqrt 3) {'sparse' if sparse else 'dense'} takes no images", f"Det [{a}];",
                  lambda b: f"images modulo {moduli(b)}" if moduli(b) else None)
    failed += s.run(binary)
    return failed


def modular_field(binary, rng):
    """GF(101)(i): modular mode, the modular method itself, no integer road."""
    field = [("t", T ** 2 + 1)]
    s = Script()
    s.header(field, 103)
    cells = random_cells(rng, 7, 1, field, 0.6)
    s.array("gd", 7, cells, False)
    det = sym_det(7, cells, field)
    s.lines += ["&(L = 1);", "igd := Det [gd];", "&(L = 5000);", "ggd := Det [gd];", "&(L = 1);"]
    s.zero("GF(103)(i) interpolation = elimination", "igd - ggd;")
    s.zero("GF(103)(i) interpolation = sympy", f"igd - ({text(det)});")
    s.verbose("GF(103)(i) takes no integer images", "Det [gd];",
              lambda b: f"images modulo {moduli(b)}" if moduli(b) or "over Z" in b else None)
    return s.run(binary)


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 6
    seed = int(argv[3]) if len(argv) > 3 else 32
    rng = random.Random(seed)
    failed = []
    for fname in FIELDS:
        failed += one_field(binary, rng, fname, count)
    failed += no_aux_primes(binary, rng)
    failed += modular_field(binary, rng)
    for f in failed:
        print("FAIL", f)
    print(f"field polydet: {'ok' if not failed else f'{len(failed)} failures'} (seed {seed})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
