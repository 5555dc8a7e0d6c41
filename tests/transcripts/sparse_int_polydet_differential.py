#!/usr/bin/env python3
"""Sparse polynomial determinants over the integers by interpolation
(switch L = 1), prime by prime: random matrices in 1 to 4 variables against
elimination and sympy; the power hint on equal diagonal blocks (value^k is
the determinant) and on entries in x^k, y^k; a refused power; the prime
count; determinants whose coefficients the first primes of a table divide;
the prime tables chosen by the size; the small-modulus road.

  sparse_int_polydet_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

import sympy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sparse_polydet_differential import (MARK, SYMS, Script, banded, random_matrix, sym_det,  # noqa: E402
                                         text)


class Checks(Script):
    """Adds checks on the verbose lines of one statement."""

    def verbose(self, label, statement, check):
        self.lines += ["&V;", f"{MARK};", statement, "&V;"]
        self.checks.append((label, "verbose", check))

    def run(self, binary, cwd):
        failed = []
        out = subprocess.run([binary], input="\n".join(self.lines).encode() + b"\n", capture_output=True,
                             cwd=cwd, timeout=600).stdout.decode(errors="replace")
        pieces = re.split(r"\n *w\^9\n", out)[1:]
        if len(pieces) != len(self.checks):
            return [f"only {len(pieces)} results for {len(self.checks)} checks"]
        for (label, kind, data), piece in zip(self.checks, pieces):
            body = piece.split("\n>", 1)[1] if "\n>" in piece else piece
            if kind == "zero":
                block = body.split("\n>", 1)[0].strip()
                last = block.split("\n")[-1].strip() if block else ""
                if last != "0" or "Error" in block:
                    failed.append(f"{label}: {block[:300]!r}")
            elif kind == "verbose":
                why = data(body)
                if why:
                    failed.append(f"{label}: {why}")
        return failed


def moduli(body):
    return [int(m) for m in re.findall(r"Now in modular mode, modulus (\d+)", body)]


def random_cases(s, rng, count):
    s.ring(None)
    for c in range(count):
        small = c % 3 != 2
        nv = 1 + c % 4 if small else 1 + c % 2
        n = rng.randint(4, 7) if small else rng.randint(20, 60)
        cells = random_matrix(rng, n, nv) if small else sparse_large(rng, n, nv)
        a = f"z{c}"
        s.array(a, n, cells)
        label = f"case {c} (n={n}, vars={nv})"
        s.lines += ["&(L = 1);", f"i{a} := Det [{a}];", "&(L = 5000);", f"g{a} := Det [{a}];", "&(L = 1);"]
        s.zero(label + " interpolation = elimination", f"i{a} - g{a};")
        if small:
            s.zero(label + " interpolation = sympy", f"i{a} - ({text(sym_det(n, cells))});")


def sparse_large(rng, n, nv):
    """The diagonal linear in one variable, two integers per row, and a
    few entries of degree 2 in the outermost one."""
    names = ["x", "y", "z", "w"][:nv]
    cells = {(i, i): f"{rng.choice(names)}+{rng.randint(-9, 9)}" for i in range(n)}
    for i in range(n):
        for _ in range(2):
            cells.setdefault((i, rng.randrange(n)), str(rng.choice([-3, -2, -1, 1, 2, 3])))
    for _ in range(3):
        cells[rng.randrange(n), rng.randrange(n)] = f"{names[-1]}^2-{rng.randint(1, 5)}"
    return cells


def blocks(blk, size, count):
    return {(i + size * b, j + size * b): t for b in range(count) for (i, j), t in blk.items()}


def hint_cases(s):
    s.ring(None)
    blk = {(0, 0): "x+1", (0, 1): "-y", (1, 1): "x*y+2", (1, 2): "3", (2, 0): "x^2", (2, 2): "y-x"}
    bdet = sym_det(3, blk)
    s.array("tri", 9, blocks(blk, 3, 3))
    s.lines.append("&(L = 1);")
    # Power 3: the block's determinant; the primes with 3 | p - 1 are skipped.
    s.zero("power 3 on three blocks", f"Det([tri], 1, -1, -1, 3) - ({text(bdet)});")
    cube = sympy.expand(bdet ** 3)
    dy, dx = sympy.degree(cube, SYMS[1]), sympy.degree(cube, SYMS[0])
    s.zero("power 3 and the true degrees", f"Det([tri], 1, {dy}, {dx}, 3) - ({text(bdet)});")
    # Power 4 on four blocks: the Det statement halves it, the value is
    # the square of the block's determinant.
    s.array("quad", 12, blocks(blk, 3, 4))
    s.zero("power 4 on four blocks", f"Det([quad], 1, -1, -1, 4) - ({text(sympy.expand(bdet ** 2))});")
    # Power 6 is refused: the determinant itself, by elimination.
    s.zero("power 6 refused", f"Det([tri], 1, -1, -1, 6) - ({text(sympy.expand(bdet ** 3))});")
    s.verbose("power 6 message", "Det([tri], 1, -1, -1, 6);",
              lambda b: None if "Specified power must be odd or power of 2. LaGrange method abandoned." in b
              else "no refusal line")
    # Negative powers: g with det = g(x^k, y^k).
    sq = {(0, 0): "x^2+1", (0, 1): "y^2", (1, 1): "x^2*y^2-2", (1, 2): "3", (2, 0): "x^4", (2, 2): "y^2+x^2",
          (3, 3): "x^2+5", (3, 4): "-1", (4, 3): "y^2", (4, 4): "7", (2, 4): "x^2*y^4", (0, 3): "11"}
    for k in (2, 3):
        cells = {key: re.sub(r"\^(\d)", lambda m: "^" + str(int(m.group(1)) * k // 2), v) for key, v in sq.items()}
        det = sym_det(5, cells)
        g = sympy.expand(det.subs({SYMS[0]: SYMS[0] ** sympy.Rational(1, k),
                                   SYMS[1]: SYMS[1] ** sympy.Rational(1, k)}, simultaneous=True))
        s.array(f"neg{k}", 5, cells)
        s.zero(f"power -{k}", f"Det([neg{k}], 1, -1, -1, -{k}) - ({text(g)});")
    # A factor (a 1 x 1 block) with the power: det = factor * value^3.
    fac = dict(blocks(blk, 3, 3))
    fac[9, 9] = "x^2+y+5"
    s.array("fac", 10, fac)
    s.zero("factor and power 3", f"Det([fac], x^2 + y + 5, -1, -1, 3) - ({text(bdet)});")
    # The prime count: enough primes for the coefficients, exactly that many.
    big = {(0, 0): "123456789*x+1", (0, 1): "y", (1, 0): "987654321", (1, 1): "x-y", (2, 2): "x*y+100003",
           (3, 3): "x+y+77", (2, 3): "5", (3, 1): "3"}
    s.array("cnt", 4, big)
    bigdet = sym_det(4, big)
    s.zero("prime count 4", f"SDet(4, [cnt]) - ({text(bigdet)});")

    def three_primes(body):
        used = moduli(body)
        return None if len(used) == 3 else f"moduli {used}"
    s.verbose("prime count 3 uses three primes", "SDet(3, [cnt]);", three_primes)


def first_primes_cases(s):
    """Coefficients the first primes of the big table divide (n >= 50
    starts there): a determinant such a product divides, and one that is
    such a multiple plus a small part."""
    s.ring(None)
    q, p = 1, 48870
    for _ in range(8):
        p = sympy.nextprime(p)
        q *= p
    for name, corner in (("fa", f"{q}*x^2*y + {q}"), ("fb", f"{q}*x^3 + y")):
        cells = {(i, i): "1" for i in range(52)}
        cells[0, 0] = corner
        cells.update({(1, 1): "x+y", (1, 2): "2", (2, 1): "y", (2, 2): "x-1", (3, 3): "x*y+3", (3, 0): "x",
                      (2, 3): "1", (51, 50): "y"})
        s.array(name, 52, cells)
        det = sympy.expand(sym_det(4, {k: v for k, v in cells.items() if k[0] < 4 and k[1] < 4}))
        s.lines.append("&(L = 1);")
        s.zero(f"first big primes {name}", f"Det [{name}] - ({text(det)});")


def phase_cases(s, rng):
    s.ring(None)
    cells = sparse_large(rng, 60, 2)
    s.array("ph60", 60, cells)
    s.lines += ["&(L = 1);", "iph60 := Det [ph60];", "&(L = 5000);", "gph60 := Det [ph60];", "&(L = 1);"]
    s.zero("n=60", "iph60 - gph60;")
    s.verbose("n=60 starts with the big table", "Det [ph60];",
              lambda b: None if moduli(b) and moduli(b)[0] == 48871 and max(moduli(b)) < 65536
              else f"moduli {moduli(b)[:4]}")
    # n = 250, a small determinant: the largest primes.
    big = {}
    for i in range(250):
        big[i, i] = str(rng.choice([1, 2, -1]))
        big[i, (i + 1) % 250] = str(rng.choice([1, -1, 2]))
    for i in range(0, 250, 60):
        big[i, i] = "x+1"
    big[3, 7] = "y"
    s.array("ph250", 250, big)
    s.lines += ["iph250 := Det [ph250];", "&(L = 5000);", "gph250 := Det [ph250];", "&(L = 1);"]
    s.zero("n=250", "iph250 - gph250;")
    s.verbose("n=250 starts with the largest primes", "Det [ph250];",
              lambda b: None if moduli(b) and moduli(b)[0] > 2 ** 30 else f"moduli {moduli(b)[:4]}")
    # The prime count wants primes below 2^28: declined, eliminated.
    s.zero("prime count at n=250 declines", "SDet(3, [ph250]) - gph250;")


def small_modulus_cases(s, rng):
    """Modulo 7 a determinant of degree 14 in x has too few points: the
    integer road, reduced modulo 7."""
    cells = {(i, i): f"x^3+{rng.randint(1, 6)}*x+y" for i in range(5)}
    cells.update({(0, 4): "x^2", (4, 1): "3", (2, 3): "y^2*x"})
    det = sym_det(5, cells)
    s.ring(7)
    s.array("sm", 5, cells)
    s.lines += ["&(L = 1);", "ism := Det [sm];", "&(L = 5000);", "gsm := Det [sm];", "&(L = 1);"]
    s.zero("small modulus = elimination", "ism - gsm;")
    s.zero("small modulus = sympy", f"ism - ({text(det)});")
    s.verbose("small modulus message", "Det [sm];",
              lambda b: None if "is too large for this modulus. will try rational algorithm." in b
              else "no message")
    s.ring(None)


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 12
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 41)
    s = Checks()
    only = os.environ.get("ONLY")
    for name, f in (("random", lambda: random_cases(s, rng, count)), ("hints", lambda: hint_cases(s)),
                    ("first", lambda: first_primes_cases(s)), ("phases", lambda: phase_cases(s, rng)),
                    ("small", lambda: small_modulus_cases(s, rng))):
        if not only or only == name:
            f()
    with tempfile.TemporaryDirectory() as cwd:
        failed = s.run(binary, cwd)
    for f in failed[:15]:
        print(f)
    print(f"{len(s.checks) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
