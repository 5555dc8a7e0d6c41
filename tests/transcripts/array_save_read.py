#!/usr/bin/env python3
"""Arrays saved by one process and read by a fresh one, through the built
interpreter. Process 1 fills dense arrays (compact form: small numbers;
list form: big numbers, polynomials, rational functions; a one-dimensional
array and a single row) and sparse ones (rows past the first frame of 2,048,
values of every kind, a single column, none stored) and saves; process 2
reads the file, saves again and shows every element. Every element must
equal the value the test computed from the statements that built it, each
array keep its shape and kind, and the second save be byte-identical to the
first. In rational mode, modulo a small prime with index origin 0, modulo
a large prime, and in the field of 256 elements.

Absent cells of a dense array are written "0" and read back as present
zeros, written " 0": their values must come back 0, and from the second
save on the text must no longer change.

  array_save_read.py TARVEX [RING [SEED]]
  RING: rational, mod97 (index origin 0), mod2147483629, gf256 (x over GF(2^8)); all when left out
"""
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import array_reference as ar  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        if len(failures) <= 20:
            print("FAIL:", message)


class Config:
    def __init__(self, field, names, origin):
        self.ring = ar.Ring(field, names)
        self.origin = origin

    @property
    def name(self):
        return f"{self.ring.name}, origin {self.origin}"

    def setup(self):
        return self.ring.setup_lines() + ([f"&(a = {self.origin});"] if self.origin != 1 else [])


CONFIGS = {
    "rational": lambda: Config(ar.Rationals(), ["y", "x"], 1),
    "mod97": lambda: Config(ar.Residues(97), ["x"], 0),
    "mod2147483629": lambda: Config(ar.Residues(2147483629), ["y", "x"], 1),
    "gf256": lambda: Config(ar.Field256(), ["x"], 1),
}


class Cells(ar.RandomCells):
    def small(self):
        """Numbers the compact form takes."""
        if self.modular:
            return self.number()
        rng = self.rng
        if rng.random() < 0.6:
            n = rng.randrange(-10**8, 10**8)
            return str(n), self.ring.const(n)
        n, d = rng.randrange(-999, 1000), rng.randrange(1, 1000)
        return f"{n}/{d}", self.ring.const(ar.Fraction(n, d))

    def big(self):
        """Numbers of more than nine base-2^28 digits, or rationals of more
        than ten between numerator and denominator; the field of 256
        elements reads only integers below 2^28."""
        rng = self.rng
        if isinstance(self.ring.field, ar.Field256):
            return self.number()
        if rng.random() < 0.5:
            n = rng.choice([-1, 1]) * rng.randrange(10**80, 10**100)
            return str(n), self.ring.const(n)
        n, d = rng.randrange(-10**45, 10**45), rng.randrange(10**40, 10**45)
        if self.modular:
            while d % self.ring.field.q == 0:
                d += 1
            return f"{n}/{d}", self.ring.const(self.ring.field.num(n, d))
        return f"{n}/{d}", self.ring.const(ar.Fraction(n, d))

    def of(self, kinds):
        return getattr(self, self.rng.choice(kinds))()


class Script:
    """Statements defining arrays, with the values they must hold."""

    def __init__(self, config):
        self.config = config
        self.lines = config.setup()
        self.arrays = []            # (name, rows, cols, one-dimensional, sparse, {(i, j): value})

    def sub(self, i, j=None):
        o = self.config.origin - 1
        return f"[{i + o}]" if j is None else f"[{i + o},{j + o}]"

    def dense(self, name, rows, cols, cell, one_dim=False, absent=0.0, rng=None):
        self.lines.append(f"Array {name}[{rows}];" if one_dim else f"Array {name}[{rows},{cols}];")
        values = {}
        for i in range(1, rows + 1):
            for j in range(1, cols + 1):
                if absent and rng.random() < absent:
                    values[i, j] = self.config.ring.const(0)
                    continue
                text, value = cell()
                values[i, j] = value
                self.lines.append(f"{name}{self.sub(i) if one_dim else self.sub(i, j)} := {text};")
        self.arrays.append((name, rows, cols, one_dim, False, values))

    def sparse(self, name, rows, cols, entries):
        """entries: (i, j, text, value); a later one replaces an earlier."""
        self.lines.append(f"Array {name}[{rows},{cols}] Sparse;")
        values = {}
        for i, j, text, value in entries:
            values[i, j] = value
            self.lines.append(f"{name}{self.sub(i, j)} := {text};")
        self.arrays.append((name, rows, cols, False, True, values))


def build(config, rng):
    s = Script(config)
    ring = config.ring
    cells = Cells(ring, rng)
    numbers = ["small"] if cells.modular else ["small", "big"]
    polys = ["small", "poly", "poly"]
    quolys = ["small", "poly", "quoly", "quoly"]
    size = lambda: rng.choice([1, 2, 3, 5])
    s.dense("ci", size(), size(), cells.small)

    def first_then(first, kinds):
        # The first cell decides the form the array is saved in.
        pending = [first]
        return lambda: pending.pop()() if pending else cells.of(kinds)

    s.dense("cl", size(), size(), first_then(cells.big, numbers + ["big"]))
    s.dense("cp", size(), size(), first_then(cells.poly, polys))
    s.dense("cq", size(), size(), first_then(cells.quoly, quolys + ["big"]))
    s.dense("v", rng.choice([2, 4, 7]), 1, lambda: cells.of(quolys), one_dim=True)
    s.dense("rw", 1, rng.choice([2, 4, 7]), lambda: cells.of(numbers))
    s.dense("longname12", 2, 2, cells.small)
    entries = []
    for _ in range(40):
        i = rng.choice([1, 2, 2047, 2048, 2049, 2050, 2100, rng.randrange(1, 2101)])
        j = rng.randrange(1, 6)
        if rng.random() < 0.15:
            entries.append((i, j, "0", ring.const(0)))     # nothing stored
        else:
            entries.append((i, j) + cells.of(quolys + numbers))
    s.sparse("sp", 2100, 5, entries)
    s.sparse("sn", 9, 9, [(rng.randrange(1, 10), rng.randrange(1, 10)) + cells.of(numbers) for _ in range(12)])
    k = rng.choice([3, 7])
    s.sparse("sc", k, 1, [(rng.randrange(1, k + 1), 1) + cells.of(quolys) for _ in range(3)])
    s.sparse("se", 4, 4, [])
    return s


def saved(cwd, name):
    with open(os.path.join(cwd, name), "rb") as f:
        return f.read()


SAVE = ["&(S = '{0}');", "&s;", "&(S = @);"]


def save_lines(name):
    return [line.format(name) for line in SAVE]


def readouts(script):
    """Statements that show every element and shape, with their checks."""
    lines, checks = [], []
    ring = script.config.ring
    for name, rows, cols, one_dim, _, values in script.arrays:
        lines.append(f"Deg[{name}];")
        checks.append((ring.const(rows * cols), f"{name}: cell count"))
        lines.append(f"Cols[{name}];")
        checks.append((ring.const(cols), f"{name}: columns"))
        for i in range(1, rows + 1):
            for j in range(1, cols + 1):
                lines.append(f"{name}{script.sub(i) if one_dim else script.sub(i, j)};")
                checks.append((values.get((i, j), ring.const(0)), f"{name}({i},{j})"))
    return lines, checks


def compare(script, blocks, checks, where):
    ring = script.config.ring
    for block, (want, what) in zip(blocks, checks):
        if "***" in block:
            check(False, f"{where}: {what}: {block.strip()}")
            continue
        try:
            got = ring.parse(block)
        except (ValueError, ZeroDivisionError) as e:
            check(False, f"{where}: {what}: unreadable {block.strip()!r}: {e}")
            continue
        check(got == want, f"{where}: {what} is {block.strip()!r}, want {want}")


def round_trip(binary, config, rng):
    script = build(config, rng)
    where = config.name
    with tempfile.TemporaryDirectory() as cwd:
        ar.run_lines(binary, cwd, script.lines + save_lines("one.sav"))
        first = saved(cwd, "one.sav")
        text = first.decode()
        # Each form is met: compact, list, sparse literal, declaration alone.
        check("[ci] := [[ " in text, f"{where}: ci is not in the compact form")
        check("[cq] := [( " in text, f"{where}: cq is not in the list form")
        check("[cl] := [( " in text or config.ring.field.name != "rational",
              f"{where}: big numbers do not take the list form")
        check("\nArray v[" in text and "Array sp[2100,5] Sparse;\n[sp] := [[" in text
              and "Array se[4,4] Sparse;\n" in text, f"{where}: declarations\n{text}")
        check("[se] :=" not in text, f"{where}: an empty sparse array is written with a value")
        lines, checks = readouts(script)
        blocks = ar.run_lines(binary, cwd, ["&(R = 'one.sav');"] + save_lines("two.sav") + lines)
        second = saved(cwd, "two.sav")
        check(first == second, f"{where}: the second save differs from the first\n{first.decode()}\n"
                               f"----\n{second.decode()}")
        check("***" not in blocks[0] and "Warning" not in blocks[0], f"{where}: reading: {blocks[0].strip()}")
        compare(script, blocks[1 + len(SAVE):], checks, where + ", read back")


def absent_cells(binary, config, rng):
    """Absent cells come back absent: the second save is the first."""
    script = Script(config)
    cells = Cells(config.ring, rng)
    script.dense("ab", 3, 4, lambda: cells.of(["small"]), absent=0.5, rng=rng)
    script.dense("ap", 3, 2, lambda: cells.of(["small", "poly", "quoly"] if config.ring.names else ["small"]),
                 absent=0.5, rng=rng)
    where = config.name + ", absent cells"
    with tempfile.TemporaryDirectory() as cwd:
        ar.run_lines(binary, cwd, script.lines + save_lines("one.sav"))
        lines, checks = readouts(script)
        blocks = ar.run_lines(binary, cwd, ["&(R = 'one.sav');"] + save_lines("two.sav") + lines)
        compare(script, blocks[1 + len(SAVE):], checks, where)
        check(saved(cwd, "one.sav") == saved(cwd, "two.sav"), f"{where}: absent cells come back set\n"
              f"{saved(cwd, 'one.sav').decode()}\n----\n{saved(cwd, 'two.sav').decode()}")


def main(argv):
    binary = os.path.abspath(argv[1])
    names = [argv[2]] if len(argv) > 2 else list(CONFIGS)
    seed = int(argv[3]) if len(argv) > 3 else 2028
    for name in names:
        rng = random.Random(f"{name}/{seed}")
        for _ in range(3):
            round_trip(binary, CONFIGS[name](), rng)
        absent_cells(binary, CONFIGS[name](), rng)
    print(f"{len(failures)} failures ({', '.join(names)}; seed {seed})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
