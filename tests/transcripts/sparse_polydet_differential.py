#!/usr/bin/env python3
"""Determinants of random sparse polynomial matrices by interpolation
(switch L = 1) against both elimination routes and, for small ones, sympy;
over Z and modulo 2, 3, 7, 101 and a 31-bit prime, in 1 to 4 variables.
Every check is a difference the interpreter must show as 0. The degree
estimate printed with V on must reach the true degree in the outermost
variable. Then the hints (a true factor, true degrees, a power on equal
diagonal blocks, a negative power on entries in x^2 and y^2, an unusable
power, the prime-count form), determinants whose coefficients the first
table primes divide, and the interpolation script read back and summed.

  sparse_polydet_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

import sympy

NAMES = ["x", "y", "z", "w"]
SYMS = sympy.symbols(NAMES)
MARK = "w^9"
P31 = 2147483629


def entry(rng, nv, deg=2):
    terms = []
    for _ in range(rng.randint(1, 3)):
        c = rng.choice([i for i in range(-9, 10) if i])
        mono = [f"{NAMES[v]}^{e}" for v in range(nv) if (e := rng.randint(0, deg)) > 0 and rng.random() < 0.6]
        terms.append("*".join([f"({c})"] + mono))
    return "+".join(terms)


def random_matrix(rng, n, nv, density=0.3):
    """Cells {(i, j): text}; the diagonal always holds the outermost variable."""
    cells = {}
    for i in range(n):
        for j in range(n):
            if i == j:
                cells[i, j] = entry(rng, nv) + f"+{NAMES[nv - 1]}"
            elif rng.random() < density:
                cells[i, j] = entry(rng, nv)
    return cells


def banded(rng, n):
    """Diagonal x + c_i, one neighbour y, two more integers per row."""
    cells = {}
    for i in range(n):
        cells[i, i] = f"x+{rng.randint(-9, 9)}"
        cells[i, (i + 1) % n] = "y"
        for _ in range(2):
            j = rng.randrange(n)
            if (i, j) not in cells:
                cells[i, j] = str(rng.choice([-3, -2, -1, 1, 2, 3]))
    return cells


def sym_det(n, cells):
    loc = dict(zip(NAMES, SYMS))
    m = sympy.zeros(n, n)
    for (i, j), t in cells.items():
        m[i, j] = sympy.sympify(t.replace("^", "**"), locals=loc)
    return sympy.expand(m.det(method="berkowitz"))


def text(e):
    return str(e).replace("**", "^")


class Script:
    def __init__(self):
        self.lines = ["&(J = x); &(J = y); &(J = z); &(J = w);"]
        self.checks = []     # (label, kind, data)
        self.current = None  # the ring: None for the integers

    def ring(self, r):
        if r is None and self.current is not None:
            self.lines.append("&p;")
        elif r is not None:
            self.lines.append(f"&(p = {r});")
        self.current = r

    def array(self, name, n, cells):
        self.lines.append(f"Array {name}[{n},{n}] Sparse;")
        self.lines += [f"{name}[{i + 1},{j + 1}] := {t};" for (i, j), t in sorted(cells.items())]

    def zero(self, label, statement):
        self.lines.append(f"{MARK};")
        self.lines.append(statement)
        self.checks.append((label, "zero", None))

    def estimate(self, label, statement, true_degree):
        self.lines += ["&V;", f"{MARK};", statement, "&V;"]
        self.checks.append((label, "estimate", true_degree))

    def run(self, binary, cwd):
        out = subprocess.run([binary], input="\n".join(self.lines).encode() + b"\n", capture_output=True,
                             cwd=cwd, timeout=600).stdout.decode(errors="replace")
        pieces = re.split(r"\n *w\^9\n", out)[1:]
        failed = []
        if len(pieces) != len(self.checks):
            failed.append(f"only {len(pieces)} results for {len(self.checks)} checks")
        for (label, kind, data), piece in zip(self.checks, pieces):
            body = piece.split("\n>", 1)[1] if "\n>" in piece else piece
            if kind == "zero":
                block = body.split("\n>", 1)[0].strip()
                last = block.split("\n")[-1].strip() if block else ""
                if last != "0" or "Error" in block:
                    failed.append(f"{label}: {block[:300]!r}")
            else:
                m = re.search(r"estimated degree is (\d+)", body)
                if not m or int(m.group(1)) < data:
                    failed.append(f"{label}: estimate {m.group(1) if m else None} below {data}")
        return failed


def random_cases(s, rng, count):
    rings = [None, 2, 3, 7, 101, P31]
    for c in range(count):
        ring = rings[c % len(rings)]
        nv = 1 + (c // len(rings)) % 4
        n = rng.randint(4, 7) if nv < 4 else rng.randint(4, 5)
        cells = random_matrix(rng, n, nv)
        det = sym_det(n, cells)
        a = f"r{c}"
        s.ring(ring)
        s.array(a, n, cells)
        label = f"case {c} (p={ring}, n={n}, vars={nv})"
        s.lines += ["&(L = 1);", f"i{c} := Det [{a}];", "&(L = 5000);", f"g{c} := Det [{a}];",
                    "&(K = 1);", f"b{c} := Det [{a}];", "&(K = 0);", "&(L = 1);"]
        s.zero(label + " interpolation = elimination", f"i{c} - g{c};")
        s.zero(label + " interpolation = fraction-free", f"i{c} - b{c};")
        s.zero(label + " interpolation = sympy", f"i{c} - ({text(det)});")
        if ring is not None:
            # The entries' degrees modulo p bound the determinant's there.
            reduced = sympy.Poly(det, *SYMS[:nv], modulus=ring)
            true = reduced.degree(SYMS[nv - 1]) if not reduced.is_zero else 0
            s.estimate(label + " degree", f"Det [{a}];", true)


def larger_cases(s, rng):
    for n, ring in ((20, None), (60, P31)):
        cells = banded(rng, n)
        a = f"band{n}"
        s.ring(ring)
        s.array(a, n, cells)
        s.lines += ["&(L = 1);", f"i{a} := Det [{a}];", "&(L = 5000);", f"g{a} := Det [{a}];", "&(L = 1);"]
        s.zero(f"banded n={n} p={ring}", f"i{a} - g{a};")


def hint_cases(s, rng):
    # Power 3 on three equal blocks, modulo 101 (3 is prime to 100): the
    # value is the block's determinant.
    blk = {(0, 0): "x+1", (0, 1): "y", (1, 1): "x*y+2", (1, 2): "3", (2, 0): "x^2", (2, 2): "y+x"}
    three = {(i + 3 * b, j + 3 * b): t for b in range(3) for (i, j), t in blk.items()}
    bdet = sym_det(3, blk)
    s.ring(101)
    s.array("tri", 9, three)
    s.lines.append("&(L = 1);")
    s.zero("power 3 on three blocks", f"Det([tri], 1, -1, -1, 3) - ({text(bdet)});")
    # Power 3 under 7 (3 divides 6): unusable, the value is the determinant.
    s.ring(31)
    s.array("tri31", 9, three)
    s.zero("unusable power 3 modulo 31", f"Det([tri31], 1, -1, -1, 3) - ({text(sympy.expand(bdet ** 3))});")
    # Power -2 modulo 103 (3 mod 4) on entries in x^2 and y^2: g with
    # det = g(x^2, y^2).
    sq = {(0, 0): "x^2+1", (0, 1): "y^2", (1, 1): "x^2*y^2+2", (1, 2): "3", (2, 0): "x^4", (2, 2): "y^2+x^2",
          (3, 3): "x^2+5", (3, 4): "1", (4, 3): "y^2", (4, 4): "7", (2, 4): "x^2*y^4"}
    sdet = sym_det(5, sq)
    g = sdet.subs({SYMS[0]: sympy.sqrt(SYMS[0]), SYMS[1]: sympy.sqrt(SYMS[1])}, simultaneous=True)
    s.ring(103)
    s.array("sq", 5, sq)
    s.zero("power -2 on squares", f"Det([sq], 1, -1, -1, -2) - ({text(sympy.expand(g))});")
    # Power -3 modulo 101 on entries in x^3 and y^3.
    cu = {k: v.replace("^2", "^3").replace("^4", "^6") for k, v in sq.items()}
    cdet = sym_det(5, cu)
    g3 = sympy.expand(cdet.subs({SYMS[0]: SYMS[0] ** sympy.Rational(1, 3), SYMS[1]: SYMS[1] ** sympy.Rational(1, 3)},
                                simultaneous=True))
    s.ring(101)
    s.array("cu", 5, cu)
    s.zero("power -3 on cubes", f"Det([cu], 1, -1, -1, -3) - ({text(g3)});")
    # A true factor (a 1 x 1 block), a constant factor and the true degrees,
    # over Z and modulo 101.
    for ring in (None, 101, P31):
        cells = random_matrix(rng, 5, 2)
        cells = {k: v for k, v in cells.items() if k[0] < 5 and k[1] < 5}
        cells[5, 5] = "x^2+y+5"
        det6 = sym_det(6, cells)
        base = sympy.expand(sympy.cancel(det6 / (SYMS[0] ** 2 + SYMS[1] + 5)))
        s.ring(ring)
        fa = f"fa{[None, 101, P31].index(ring)}"
        s.array(fa, 6, cells)
        s.lines.append("&(L = 1);")
        s.zero(f"true factor p={ring}", f"Det([{fa}], x^2 + y + 5) - ({text(base)});")
        s.zero(f"constant factor p={ring}", f"6*Det([{fa}], 6) - ({text(det6)});")
        dy = sympy.degree(det6, SYMS[1])
        dx = sympy.degree(det6, SYMS[0])
        s.zero(f"true degrees p={ring}", f"Det([{fa}], 1, {max(dy, 1)}, {max(dx, 1)}) - ({text(det6)});")
        s.zero(f"prime count p={ring}", f"SDet(3, [{fa}]) - ({text(det6)});" if ring is None
               else f"Det [{fa}] - ({text(det6)});")


def first_primes_cases(s):
    # The first table primes, from 42,359 on: a determinant they divide,
    # and one that is such a multiple plus a small part.
    q, primes = 1, []
    p = 42358
    while len(primes) < 12:
        p = sympy.nextprime(p)
        primes.append(p)
        q *= p
    s.ring(None)
    for name, corner in (("qa", f"{q}*x^2*y + {q}"), ("qb", f"{q}*x^3 + y")):
        cells = {(0, 0): corner, (1, 1): "x+y", (1, 2): "2", (2, 1): "y", (2, 2): "x-1", (3, 3): "x*y+3",
                 (3, 0): "x", (2, 3): "1"}
        s.array(name, 4, cells)
        s.lines.append("&(L = 1);")
        s.zero(f"first primes {name}", f"Det [{name}] - ({text(sym_det(4, cells))});")


def script_cases(s, rng, cwd):
    """The interpolation script of 2 and 3 variables, read back and summed."""
    for nv in (2, 3):
        cells = random_matrix(rng, 5, nv)
        det = sym_det(5, cells)
        name = f"sc{nv}"
        s.ring(101)
        s.array(name, 5, cells)
        s.lines += ["&(L = 1);", f"&(S = '{name}.out');", "&5; &V; &W;", f"z{name} := Det [{name}];",
                    "&5; &V; &W;", "&(S = @);"]
        s.zero(f"script {nv} variables returns 0", f"z{name};")
        s.checks.append((name, "script", (nv, det)))


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 24
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 32)
    s = Script()
    random_cases(s, rng, count)
    larger_cases(s, rng)
    hint_cases(s, rng)
    first_primes_cases(s)
    failed = []
    with tempfile.TemporaryDirectory() as cwd:
        # The script files come from a first run; the sums are checked in
        # a second that reads them back.
        scripts = Script()
        script_cases(scripts, rng, cwd)
        first = Script()
        first.checks = [c for c in scripts.checks if c[1] == "zero"]
        first.lines = scripts.lines
        first.checks = [c for c in scripts.checks if c[1] == "zero"]
        failed += first.run(binary, cwd)
        second = Script()
        second.lines = list(first.lines[:1])
        for label, kind, data in scripts.checks:
            if kind != "script":
                continue
            nv, det = data
            path = os.path.join(cwd, f"{label}.out")
            body = open(path).read() if os.path.exists(path) else ""
            m = re.search(r"Array co\[(\d+)\]", body)
            if not m or "Array poly[" not in body:
                failed.append(f"{label}: no script written")
                continue
            k = int(m.group(1))
            second.ring(101)
            second.lines += [f"&(R = '{label}.out');"]
            total = " + ".join(f"co[{i}]*poly[{i}]" for i in range(1, k + 1))
            second.zero(f"{label} summed", f"{total} - ({text(det)});")
        failed += second.run(binary, cwd)
        failed += s.run(binary, cwd)
    total = len(s.checks) + len(first.checks) + len(second.checks)
    for f in failed[:15]:
        print(f)
    print(f"{total - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
