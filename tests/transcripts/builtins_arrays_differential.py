#!/usr/bin/env python3
"""The array and splice built-ins against results computed here: Split then
Splice gives the polynomial back, and Split's parts are the terms below and
from y^k (y the outermost variable); Swaprows and Swapcols twice give the
array back, once the exchanged one (dense and sparse); Sort orders rows by
the monomial order, carrying the other columns; Tablemerge is the
intersection, union or merge of sorted monomial columns (Python sets and
lists); Reverse and STrans against reversed and transposed cells.

  builtins_arrays_differential.py TARVEX [ROUNDS] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from quoly_differential import X, Y, read_back, sympy  # noqa: E402

# &(J = x); &(J = y): y is the outermost variable (level 0), x level 1.


def monomial(i, j):
    """(text, sympy value, signature) of y^i x^j."""
    parts = [f"y^{i}" if i > 1 else "y"] * (i > 0) + [f"x^{j}" if j > 1 else "x"] * (j > 0)
    sig = [(0, i)] * (i > 0) + [(1, j)] * (j > 0)
    return "*".join(parts) or "1", Y**i * X**j, sig


def order_key(sig):
    """Numbers first, then fewer variables, deeper levels, smaller exponents."""
    if not sig:
        return (0,)
    return (1, len(sig), tuple(-lev for lev, _ in sig), tuple(e for _, e in sig))


def random_poly(rng):
    terms = []
    for _ in range(rng.randrange(1, 7)):
        c = rng.choice([1, -1, 2, -3, 5, 7, 11, -13])
        t, v, _ = monomial(rng.randrange(0, 6), rng.randrange(0, 4))
        terms.append((f"{c}*{t}", c * v))
    return "+".join(t for t, _ in terms).replace("+-", "-"), sympy.expand(sum(v for _, v in terms))


def random_cell(rng):
    if rng.random() < 0.5:
        n = rng.randrange(-50, 50)
        return str(n), sympy.Integer(n)
    return random_poly(rng)


class Session:
    """Statements and the checks on their results (block index, expected)."""

    def __init__(self):
        self.lines = ["&(J = x);", "&(J = y);"]
        self.checks = []

    def quiet(self, text):
        self.lines.append(text + ":")

    def expect(self, text, value, what):
        self.lines.append(text + ";")
        self.checks.append((len(self.lines) - 1, value, what))


def split_splice(s, rng, k_round):
    text, value = random_poly(rng)
    k = rng.randrange(0, 7)
    s.quiet(f"a{k_round} := {text}")
    s.expect(f"Split(a{k_round}, {k}, h{k_round})", 0, "split value")
    p = sympy.Poly(value, Y)
    low = sum((c * Y**m[0] for m, c in zip(p.monoms(), p.coeffs()) if m[0] < k), sympy.Integer(0))
    high = sympy.expand((value - low) / Y**k)
    s.expect(f"a{k_round}", sympy.expand(low), f"low part of {text} at y^{k}")
    s.expect(f"h{k_round}", high, f"high part of {text} at y^{k}")
    if k >= 1:
        s.quiet(f"Splice(a{k_round}, h{k_round}, {k})")
        s.expect(f"a{k_round}", value, f"splice back {text} at y^{k}")
        s.expect(f"h{k_round}", high, "Splice leaves its second argument")


def fill(s, arr, cells, sparse):
    for (i, j), (t, v) in cells.items():
        if sparse and v == 0:
            continue
        s.quiet(f"{arr}[{i},{j}] := {t}")


def expect_cells(s, arr, values, rows, cols, what):
    for i in range(1, rows + 1):
        for j in range(1, cols + 1):
            s.expect(f"{arr}[{i},{j}]", values.get((i, j), 0), f"{what} ({i},{j})")


def swaps(s, rng, n):
    rows, cols = rng.randrange(1, 6), rng.randrange(1, 6)
    sparse = n % 2 == 1
    arr = f"sw{n}"
    s.quiet(f"Array {arr}[{rows},{cols}]" + (" Sparse" if sparse else ""))
    cells = {(i, j): random_cell(rng) for i in range(1, rows + 1) for j in range(1, cols + 1)
             if not sparse or rng.random() < 0.6}
    if not sparse:
        cells = {k: v for k, v in cells.items()}
    fill(s, arr, cells, sparse)
    values = {k: v for k, (_, v) in cells.items()}
    rowwise = rng.random() < 0.5
    count = rows if rowwise else cols
    i, j = rng.randrange(1, count + 1), rng.randrange(1, count + 1)
    name = "Swaprows" if rowwise else "Swapcols"
    s.quiet(f"{name}([{arr}], {i}, {j})")

    def moved(key):
        r, c = key
        if rowwise:
            r = j if r == i else i if r == j else r
        else:
            c = j if c == i else i if c == j else c
        return (r, c)
    expect_cells(s, arr, {moved(k): v for k, v in values.items()}, rows, cols, f"{name} {i} {j} once")
    s.quiet(f"{name}([{arr}], {j}, {i})")
    expect_cells(s, arr, values, rows, cols, f"{name} {i} {j} twice")


def dense_sort(s, rng, n):
    rows = rng.randrange(1, 30)
    pool = [(i, j) for i in range(0, 6) for j in range(0, 6)]
    keys = rng.sample(pool, rows)
    arr = f"so{n}"
    s.quiet(f"Array {arr}[{rows},3]")
    table = []
    for r, (a, b) in enumerate(keys, 1):
        t, v, sig = monomial(a, b)
        c2, c3 = rng.randrange(-99, 99), rng.randrange(-99, 99)
        s.quiet(f"{arr}[{r},1] := {t}")
        s.quiet(f"{arr}[{r},2] := {c2}")
        if rng.random() < 0.8:   # the carried columns may hold empty cells
            s.quiet(f"{arr}[{r},3] := {c3}")
        else:
            c3 = None
        table.append((order_key(sig), v, c2, c3))
    s.quiet(f"Sort[{arr}]")
    table.sort(key=lambda row: row[0])
    for r, (_, v, c2, c3) in enumerate(table, 1):
        s.expect(f"{arr}[{r},1]", v, f"sorted key row {r}")
        s.expect(f"{arr}[{r},2]", c2, f"carried column 2 row {r}")
        if c3 is not None:
            s.expect(f"{arr}[{r},3]", c3, f"carried column 3 row {r}")


def sparse_sort(s, rng, n):
    rows = rng.randrange(1, 40)
    pool = [(i, j) for i in range(0, 8) for j in range(0, 8)]
    keys = rng.sample(pool, rows)
    arr = f"ss{n}"
    s.quiet(f"Array {arr}[{rows},2] Sparse")
    table = []
    for r, (a, b) in enumerate(keys, 1):
        t, v, sig = monomial(a, b)
        s.quiet(f"{arr}[{r},1] := {t}")
        tag = rng.randrange(1, 99)
        s.quiet(f"{arr}[{r},2] := {tag}")
        table.append((order_key(sig), v, tag))
    s.quiet(f"Sort[{arr}]")
    table.sort(key=lambda row: row[0])
    for r, (_, v, tag) in enumerate(table, 1):
        s.expect(f"{arr}[{r},1]", v, f"sparse sorted row {r}")
        s.expect(f"{arr}[{r},2]", tag, f"sparse carried row {r}")


def sorted_column(rng, size):
    pool = [(i, j) for i in range(0, 5) for j in range(0, 5)]
    picked = sorted((monomial(a, b) for a, b in rng.sample(pool, size)), key=lambda m: order_key(m[2]))
    return picked


def tablemerge(s, rng, n):
    k = n % 3
    a = sorted_column(rng, rng.randrange(1, 12))
    b = sorted_column(rng, rng.randrange(1, 12))
    if rng.random() < 0.3:
        b = a[: rng.randrange(1, len(a) + 1)]
    s.quiet(f"Array ta{n}[{len(a)}] Sparse, tb{n}[{len(b)}] Sparse")
    for r, (t, _, _) in enumerate(a, 1):
        s.quiet(f"ta{n}[{r}] := {t}")
    for r, (t, _, _) in enumerate(b, 1):
        s.quiet(f"tb{n}[{r}] := {t}")
    sa = {v for _, v, _ in a}
    sb = {v for _, v, _ in b}
    if k == 0:
        expected = [v for _, v, _ in a if v in sb]
    elif k == 1:
        expected = [v for _, v, sig in sorted(a + [m for m in b if m[1] not in sa], key=lambda m: order_key(m[2]))]
    else:
        expected = [v for _, v, _ in sorted(a + b, key=lambda m: order_key(m[2]))]
    s.expect(f"Tablemerge([ta{n}], [tb{n}], {k})", len(expected), f"Tablemerge count k={k}")
    for r, v in enumerate(expected, 1):
        s.expect(f"ta{n}[{r}]", v, f"Tablemerge k={k} row {r}")
    for r, (_, v, _) in enumerate(b, 1):
        s.expect(f"tb{n}[{r}]", v, f"Tablemerge keeps its second array, row {r}")


def reverse_and_transpose(s, rng, n):
    rows, cols = rng.randrange(1, 5), rng.randrange(1, 5)
    cells = {(i, j): random_cell(rng) for i in range(1, rows + 1) for j in range(1, cols + 1)}
    values = {k: v for k, (_, v) in cells.items()}
    s.quiet(f"Array rd{n}[{rows},{cols}], rs{n}[{rows},{cols}] Sparse")
    fill(s, f"rd{n}", cells, False)
    fill(s, f"rs{n}", cells, True)
    s.quiet(f"Reverse[rd{n}]")
    s.quiet(f"Reverse[rs{n}]")
    # Dense: the cells in reverse store (column) order; sparse: the rows.
    order = [(i, j) for j in range(1, cols + 1) for i in range(1, rows + 1)]
    back = dict(zip(order, reversed([values[key] for key in order])))
    expect_cells(s, f"rd{n}", back, rows, cols, "dense Reverse")
    expect_cells(s, f"rs{n}", {(rows + 1 - i, j): v for (i, j), v in values.items()}, rows, cols,
                 "sparse Reverse")
    s.quiet(f"Reverse[rs{n}]")
    s.quiet(f"STrans[rs{n}]")
    expect_cells(s, f"rs{n}", {(j, i): v for (i, j), v in values.items()}, cols, rows, "STrans")


def main(argv):
    binary = os.path.abspath(argv[1])
    rounds = int(argv[2]) if len(argv) > 2 else 30
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 25)
    s = Session()
    for n in range(rounds):
        split_splice(s, rng, n)
        swaps(s, rng, n)
        dense_sort(s, rng, n)
        sparse_sort(s, rng, n)
        tablemerge(s, rng, n)
        reverse_and_transpose(s, rng, n)
    script = "\n".join(s.lines) + "\n"
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    # Statements ended by ":" show nothing but the prompt.
    blocks = out.split("\n>")[1:]
    if len(blocks) < len(s.lines):
        print(f"only {len(blocks)} results for {len(s.lines)} statements")
        return 1
    failed = 0
    for index, expected, what in s.checks:
        shown = blocks[index].strip("\n")
        try:
            got = read_back(shown)
        except Exception:
            got = None
        if got is None or sympy.expand(got - expected) != 0:
            failed += 1
            if failed <= 10:
                print(f"{what}: {s.lines[index]} gave {shown!r}, expected {expected}")
    print(f"{len(s.checks) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
