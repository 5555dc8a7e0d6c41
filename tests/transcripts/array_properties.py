#!/usr/bin/env python3
"""Properties of the array language, through the built interpreter, on
random matrices of odd sizes, against the test's own arithmetic
(array_reference: Fractions, residues, polynomials as dicts):

  - (A + B) - B = A, Trans(Trans A) = A, A times the identity is A,
    (AB)C = A(BC) (both associations against one reference product);
  - one value held dense and sparse gives the same result through every
    operator (+, -, negation, products, scalar * array, array * scalar,
    array / scalar, array +- scalar, transposes, Diag), operands mixed;
  - scalar-array and cellwise forms cell by cell; the remainder and
    integer quotient on integers (non-negative remainder, quotient
    truncated); sparse operands refused where the forms are cellwise;
  - concatenation shapes: appended to a column or a row, prepended,
    stacked, side by side, refused shapes;
  - Diag read (square and not), Diag assignment (to an existing array, a
    new name, a scalar onto the diagonal, a re-shaped target, a sparse
    target refused and left as it was);
  - dense values into sparse targets and back, the copy not sharing cells.

Every result is stored under a new name and read back cell by cell.

  array_properties.py TARVEX RING [SEED]
  RING: rational, mod7, mod2147483629, poly1 (x), poly2 (x, y), poly1mod (x, mod 7),
        gf256 (GF(2^8)), poly2gf256 (x, y over GF(2^8))
"""
import os
import random
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import array_reference as ar  # noqa: E402
from array_reference import identity, matmul, mat_map, mat_zip, shape, transpose  # noqa: E402

RINGS = {
    "rational": lambda: ar.Ring(ar.Rationals()),
    "mod7": lambda: ar.Ring(ar.Residues(7)),
    "mod2147483629": lambda: ar.Ring(ar.Residues(2147483629)),
    "poly1": lambda: ar.Ring(ar.Rationals(), ["x"]),
    "poly2": lambda: ar.Ring(ar.Rationals(), ["y", "x"]),
    "poly1mod": lambda: ar.Ring(ar.Residues(7), ["x"]),
    "gf256": lambda: ar.Ring(ar.Field256()),
    "poly2gf256": lambda: ar.Ring(ar.Field256(), ["y", "x"]),
}

CELLWISE_REFUSED = "Sparse arrays cannot be combined cell by cell."


class Session:
    """The statements of one interpreter run and the checks of their
    outputs."""

    def __init__(self, ring):
        self.ring = ring
        self.lines = ring.setup_lines()
        self.checks = []          # (line index, check, description)
        self.fresh = 0
        self.kinds = {}           # name: (value, True when it must be sparse, False when dense)

    def stmt(self, text, check=None, what=None):
        self.lines.append(text)
        if check:
            self.checks.append((len(self.lines) - 1, check, what or text))

    def quiet(self, text):
        self.stmt(text, no_error)

    def dense(self, name, texts):
        r, c = len(texts), len(texts[0])
        self.quiet(f"Array {name}[{r},{c}];")
        for i, row in enumerate(texts):
            for j, t in enumerate(row):
                self.quiet(f"{name}[{i + 1},{j + 1}] := {t};")

    def sparse(self, name, texts):
        """Only the cells not written "0" are assigned: some of those may
        still be 0 in the ring."""
        r, c = len(texts), len(texts[0])
        self.quiet(f"Array {name}[{r},{c}] Sparse;")
        self.kinds[name] = (None, True)
        for i, row in enumerate(texts):
            for j, t in enumerate(row):
                if t != "0":
                    self.quiet(f"{name}[{i + 1},{j + 1}] := {t};")

    def read_back(self, name, want, what):
        rows, cols = shape(want)
        self.stmt(f"Deg[{name}];", number_is(rows * cols, self.ring), f"{what}: cell count")
        self.stmt(f"Cols[{name}];", number_is(cols, self.ring), f"{what}: columns")
        for i in range(rows):
            for j in range(cols):
                self.stmt(f"{name}[{i + 1},{j + 1}];", value_is(want[i][j], self.ring), f"{what}: cell ({i + 1},{j + 1})")

    def result(self, expr, want, sparse=None):
        """[new] := expr, then the new array read back against want; sparse
        says whether the value must be sparse (None: either)."""
        self.fresh += 1
        name = f"r{self.fresh}"
        self.kinds[name] = (want, sparse)
        self.stmt(f"[{name}] := {expr};", no_error)
        self.read_back(name, want, expr)

    def refused(self, expr, message=None):
        self.fresh += 1
        self.stmt(f"[r{self.fresh}] := {expr};", error_shown(message))


def no_error(block):
    return "problem: " + block.strip() if "***" in block or "Warning" in block else None


def error_shown(message):
    def check(block):
        if "***" not in block:
            return "no error reported"
        if message and message not in block:
            return f"not the error {message!r}: {block.strip()}"
        return None
    return check


def value_is(want, ring):
    def check(block):
        if "***" in block or "Warning" in block:
            return "problem: " + block.strip()
        try:
            got = ring.parse(block)
        except (ValueError, ZeroDivisionError) as e:
            return f"unreadable {block.strip()!r}: {e}"
        return None if got == want else f"got {block.strip()!r}, want {want}"
    return check


def number_is(n, ring):
    # Counts are machine words: in modular mode the display is a residue.
    return value_is(ring.const(n), ring)


def cellwise_integer(a, b, op):
    """The remainder is made non-negative; the quotient is truncated."""
    if op == "|":
        return a % abs(b)
    q = abs(a) // abs(b)
    return q if (a < 0) == (b < 0) else -q


def odd_sizes(rng, ring, count):
    choices = [1, 3, 5] if ring.names else [1, 3, 5, 7, 9, 15]
    return [rng.choice(choices) for _ in range(count)]


def one_round(s, rng, k):
    ring, vals = s.ring, ar.RandomCells(s.ring, rng)
    m, n = odd_sizes(rng, ring, 2)
    while n == m:
        n = odd_sizes(rng, ring, 1)[0]
    p, q = odd_sizes(rng, ring, 2)
    dens = lambda: rng.choice([5, 20, 35, 50, 100])
    at, A = vals.matrix(m, n, dens())
    bt, B = vals.matrix(m, n, dens())
    ct, C = vals.matrix(n, p, dens())
    dt, D = vals.matrix(p, q, dens())
    zt, Z = vals.matrix(m, n, 100, nonzero=True)
    a, b, c, d, bz = (f"{x}{k}" for x in ("a", "b", "c", "d", "bz"))
    sa, sb, sc, sd, sbz = ("s" + x for x in (a, b, c, d, bz))
    for name, texts in ((a, at), (b, bt), (c, ct), (d, dt), (bz, zt)):
        s.dense(name, texts)
        s.sparse("s" + name, texts)
    # The sparse forms hold the values they were given.
    s.read_back(sa, A, "sparse A")
    s.read_back(sd, D, "sparse D")

    # Sums, differences, (A + B) - B, negation.
    for x in (a, sa):
        for y in (b, sb):
            both = x == sa and y == sb    # sparse and sparse stay sparse; a dense one makes it dense
            s.result(f"[{x}] + [{y}]", mat_zip(A, B, lambda u, v: u + v), both)
            s.result(f"[{x}] - [{y}]", mat_zip(A, B, lambda u, v: u - v), both)
            s.result(f"[{x}] + [{y}] - [{y}]", A, both)
    s.result(f"-[{a}]", mat_map(A, lambda u: -u), False)
    s.result(f"-[{sa}]", mat_map(A, lambda u: -u), True)
    s.result(f"[{sa}] - [{sa}]", mat_map(A, lambda u: ring.const(0)), True)
    s.result(f"[{sa}] - [{a}]", mat_map(A, lambda u: ring.const(0)), False)

    # Transposes.
    for x in (a, sa):
        s.result(f"Trans [{x}]", transpose(A), x == sa)
        s.result(f"Trans Trans [{x}]", A, x == sa)
    s.result(f"Trans [{sa}] + Trans [{b}]", transpose(mat_zip(A, B, lambda u, v: u + v)))

    # Identities: dense by a scalar then Diag := 1, sparse by the constant
    # diagonal literal.
    for size, tag in ((n, "n"), (m, "m")):
        e, se = f"e{tag}{k}", f"se{tag}{k}"
        s.quiet(f"Array {e}[{size},{size}], {se}[{size},{size}] Sparse;")
        s.quiet(f"[{e}] := 0;")
        s.quiet(f"Diag [{e}] := 1;")
        s.quiet(f"[{se}] := [1];")
        s.read_back(e, identity(ring, size), "dense identity")
        s.read_back(se, identity(ring, size), "sparse identity")
    for x in (a, sa):
        for e in (f"en{k}", f"sen{k}"):
            s.result(f"[{x}] * [{e}]", A, x == sa and e.startswith("s"))
        for e in (f"em{k}", f"sem{k}"):
            s.result(f"[{e}] * [{x}]", A, x == sa and e.startswith("s"))

    # Products and associativity.
    AC = matmul(ring, A, C)
    ACD = matmul(ring, AC, D)
    assert ACD == matmul(ring, A, matmul(ring, C, D))
    for x in (a, sa):
        for y in (c, sc):
            s.result(f"[{x}] * [{y}]", AC, x == sa and y == sc)
    s.result(f"[{a}] Trans Trans [{c}]", AC)           # juxtaposition before a word
    for x, y, z in ((a, c, d), (sa, sc, sd), (a, sc, d), (sa, c, sd)):
        all_sparse = x == sa and y == sc and z == sd
        s.result(f"[{x}] * [{y}] * [{z}]", ACD, all_sparse)
        t = f"t{s.fresh}"
        s.quiet(f"[{t}] := [{y}] * [{z}];")
        s.result(f"[{x}] * [{t}]", ACD, all_sparse)
    s.result(f"[{a}] * [{c}] + [{sa}] * [{c}]", mat_map(AC, lambda u: u + u))

    # Scalars and arrays, cell by cell.
    st, sv = vals.nonzero()
    for x in (a, sa):
        # A scalar multiple of a sparse array stays sparse; a sum with a
        # scalar is dense.
        s.result(f"({st}) * [{x}]", mat_map(A, lambda u: sv * u), x == sa)
        s.result(f"[{x}] * ({st})", mat_map(A, lambda u: u * sv), x == sa)
        s.result(f"[{x}] / ({st})", mat_map(A, lambda u: u / sv), x == sa)
        s.result(f"[{x}] + ({st})", mat_map(A, lambda u: u + sv), False)
        s.result(f"({st}) + [{x}]", mat_map(A, lambda u: sv + u), False)
        s.result(f"[{x}] - ({st})", mat_map(A, lambda u: u - sv), False)
        s.result(f"({st}) - [{x}]", mat_map(A, lambda u: sv - u), False)
    s.result(f"({st}) / [{bz}]", mat_map(Z, lambda u: sv / u))
    s.refused(f"({st}) / [{sbz}]")

    # Cellwise forms of two arrays of one shape (m differs from n, so
    # the shapes never conform for a product).
    s.result(f"[{a}] * [{b}]", mat_zip(A, B, lambda u, v: u * v))
    s.result(f"[{a}] / [{bz}]", mat_zip(A, Z, lambda u, v: u / v))
    s.result(f"[{b}] Trans Trans [{a}]", mat_zip(B, A, lambda u, v: u * v))
    s.refused(f"[{sa}] * [{sb}]", CELLWISE_REFUSED)
    s.refused(f"[{sa}] * [{b}]", CELLWISE_REFUSED)
    s.refused(f"[{a}] / [{sbz}]", CELLWISE_REFUSED)
    if not ring.names and isinstance(ring.field, ar.Rationals):
        it, I = vals.integer_matrix(m, n)
        jt, J = vals.integer_matrix(m, n, nonzero=True)
        ai, bi = f"ai{k}", f"bi{k}"
        s.dense(ai, it)
        s.sparse("s" + ai, it)
        s.dense(bi, jt)
        kk = rng.choice([-1, 1]) * rng.randrange(2, 40)
        for op in ("|", "\\"):
            ref = [[ring.const(cellwise_integer(u, kk, op)) for u in row] for row in I]
            s.result(f"[{ai}] {op} {kk}", ref, False)
            s.result(f"[s{ai}] {op} {kk}", ref, True)
            s.result(f"[{ai}] {op} [{bi}]",
                     [[ring.const(cellwise_integer(u, v, op)) for u, v in zip(ru, rv)] for ru, rv in zip(I, J)])

    # Concatenation: shapes of three or more rows and columns.
    r1, c1, c2, r2 = (rng.choice([3, 5, 7]) for _ in range(4))
    while c2 == c1:
        c2 = rng.choice([3, 5, 7])
    ut, U = vals.matrix(r1, c1, 60)
    wt, W = vals.matrix(r1, c2, 60)
    xt, X = vals.matrix(r2, c1, 60)
    col_t, COL = vals.matrix(r2, 1, 70)
    row_t, ROW = vals.matrix(1, c2, 70)
    u, w, x, col, row = (f"{z}{k}" for z in ("u", "w", "x", "col", "row"))
    for name, texts in ((u, ut), (w, wt), (x, xt), (col, col_t), (row, row_t)):
        s.dense(name, texts)
    s.sparse("s" + u, ut)
    s.result(f"[{u}] _ [{x}]", U + X)                                   # stacked
    s.result(f"[{u}] _ [{w}]", [ru + rw for ru, rw in zip(U, W)])       # side by side
    s.result(f"[{col}] _ ({st})", COL + [[sv]])                         # appended to a column
    s.result(f"({st}) _ [{col}]", [[sv]] + COL)
    s.result(f"[{row}] _ ({st})", [ROW[0] + [sv]])                      # a row stays a row
    s.result(f"({st}) _ [{row}]", [[sv] + ROW[0]])
    s.result(f"[{col}] _ [{col}]", COL + COL)
    s.result(f"[{row}] _ [{row}]", ROW + ROW)                           # equal columns: stacked
    s.result(f"Trans [{col}] _ [{row}]", [transpose(COL)[0] + ROW[0]] if r2 != c2 else transpose(COL) + ROW)
    if r2 != r1:
        s.refused(f"[{w}] _ [{x}]")                                     # neither rows nor columns agree
    s.refused(f"[s{u}] _ [{x}]")
    s.refused(f"[{u}] _ [s{u}]")
    s.refused(f"({st}) _ ({st})")

    # Diag read and Diag assignment.
    g = rng.choice([1, 3, 5, 7])
    gt, G = vals.matrix(g, g, 70)
    vt, V = vals.matrix(1, g, 80)
    gn, sg, v = f"g{k}", f"sg{k}", f"v{k}"
    s.dense(gn, gt)
    s.sparse(sg, gt)
    s.dense(v, vt)
    diag = [[G[i][i]] for i in range(g)]
    s.result(f"Diag [{gn}]", diag)
    s.result(f"Diag [{sg}]", diag, False)
    s.result(f"Diag [{a}]", [[A[i][i]] for i in range(min(m, n))])
    s.result(f"Diag [{sa}]", [[A[i][i]] for i in range(min(m, n))])
    s.result(f"Diag Trans [{sg}] - Diag [{gn}]", [[ring.const(0)] for _ in range(g)])
    s.quiet(f"Diag [{gn}] := [{v}];")
    s.read_back(gn, [[V[0][i] if i == j else G[i][j] for j in range(g)] for i in range(g)], "Diag := onto an existing array")
    nd = f"nd{k}"
    s.quiet(f"Diag [{nd}] := Trans [{v}];")
    s.read_back(nd, [[V[0][i] if i == j else ring.const(0) for j in range(g)] for i in range(g)], "Diag := to a new name")
    s.quiet(f"Diag [{gn}] := ({st});")
    s.read_back(gn, [[sv if i == j else G[i][j] for j in range(g)] for i in range(g)], "Diag := a scalar")
    if m != g:
        a2 = f"acopy{k}"
        s.dense(a2, at)
        s.quiet(f"Diag [{a2}] := [{v}];")
        s.read_back(a2, [[V[0][i] if i == j else ring.const(0) for j in range(g)] for i in range(g)],
                    "Diag := re-shapes a whole array of other rows")
    s.stmt(f"Diag [{sg}] := [{v}];", error_shown(None))
    s.read_back(sg, G, "a sparse target of Diag := is left as it was")

    # A target that is also an operand. A value of the target's count keeps
    # the target's shape and fills its cells in column order, so a
    # transposed m x n array comes back m x n holding A's cells row by row.
    T = transpose(G)
    TT = matmul(ring, T, T)
    steps = [("[{0}] := Trans [{0}];", T), ("[{0}] := [{0}] * [{0}];", TT),
             ("[{0}] := [{0}] - [{0}] + [{0}];", TT), ("[{0}] := -[{0}];", mat_map(TT, lambda u: -u)),
             ("[{0}] := [{0}];", mat_map(TT, lambda u: -u))]
    for name, sparse in ((f"h{k}", False), (f"sh{k}", True)):
        (s.sparse if sparse else s.dense)(name, gt)
        for stmt, want in steps:
            s.quiet(stmt.format(name))
            s.read_back(name, want, stmt.format(name))
        s.kinds[name] = (steps[-1][1], sparse)
    ft = f"ft{k}"
    s.dense(ft, at)
    s.quiet(f"[{ft}] := Trans [{ft}];")
    flat = [A[i][j] for i in range(m) for j in range(n)]
    s.read_back(ft, [[flat[i + j * m] for j in range(n)] for i in range(m)], "a transpose of the target's count")
    sft = f"sft{k}"
    s.sparse(sft, at)
    s.quiet(f"[{sft}] := Trans [{sft}];")
    s.read_back(sft, transpose(A), "a sparse transpose takes its own shape")
    s.kinds[sft] = (transpose(A), True)

    # Dense values into sparse targets and sparse values into dense ones:
    # copies, not shared with the source.
    ua, da = f"ua{k}", f"da{k}"
    s.quiet(f"Array {ua}[{m},{n}] Sparse, {da}[{m},{n}];")
    s.quiet(f"[{ua}] := [{a}];")
    s.quiet(f"[{da}] := [{sa}];")
    s.quiet(f"{a}[1,1] := 1;")
    s.quiet(f"{sa}[{m},{n}] := 1;")
    s.read_back(ua, A, "a dense value in a sparse target")
    s.read_back(da, A, "a sparse value in a dense target")
    s.kinds[ua] = (A, True)
    s.kinds[da] = (A, True)


def saved_arrays(text):
    """{name: (sparse, {(row, column): value text})} of a save's arrays
    section; the entries of sparse arrays only."""
    arrays = {}
    section = text.split(";;**  arrays:", 1)[1]
    for m in re.finditer(r"\nArray (\w+)\[([\d,]+)\]( Sparse)?;\n", section):
        name, sparse = m.group(1), bool(m.group(3))
        entries = {}
        head = f"[{name}] := [["
        rest = section[m.end():]
        if sparse and rest.startswith(head):
            body = rest[len(head):rest.index("]];")]
            for group in re.split(r"\],\s*\[", body):
                items = [t.strip() for t in group.strip(" []\n").split(",")]
                row = int(items[0])
                for col, value in zip(items[1::2], items[2::2]):
                    entries[row, int(col)] = value.replace("&_n", "")
        arrays[name] = (sparse, entries)
    return arrays


def check_kinds(s, text):
    """Sparse results where the value must be sparse, dense ones where it
    must be dense; a sparse array stores its nonzero cells and no zero."""
    problems = []
    arrays = saved_arrays(text)
    for name, (want, sparse) in s.kinds.items():
        if name not in arrays:
            problems.append(f"{name}: not in the save")
            continue
        is_sparse, entries = arrays[name]
        if sparse is not None and is_sparse != sparse:
            problems.append(f"{name}: {'sparse' if is_sparse else 'dense'}, want {'sparse' if sparse else 'dense'}")
        if not is_sparse:
            continue
        for (i, j), value in entries.items():
            if s.ring.parse(value).is_zero():
                problems.append(f"{name}: a zero stored at ({i},{j})")
        if want is not None:
            nonzero = {(i + 1, j + 1) for i, row in enumerate(want) for j, v in enumerate(row) if not v.is_zero()}
            if set(entries) != nonzero:
                problems.append(f"{name}: entries at {sorted(set(entries) ^ nonzero)} differ from the nonzero cells")
    return problems


def main(argv):
    binary = os.path.abspath(argv[1])
    ring_name = argv[2]
    seed = int(argv[3]) if len(argv) > 3 else 2027
    rng = random.Random(f"{ring_name}/{seed}")
    ring = RINGS[ring_name]()
    s = Session(ring)
    for k in range(1, 4):
        one_round(s, rng, k)
    s.lines += ["&(S = 'all.sav');", "&s;", "&(S = @);"]
    with tempfile.TemporaryDirectory() as cwd:
        blocks = ar.run_lines(binary, cwd, s.lines)
        with open(os.path.join(cwd, "all.sav")) as f:
            problems = check_kinds(s, f.read())
    for p in problems[:15]:
        print(f"FAIL [{ring.name}] {p}")
    failed = len(problems)
    for index, check, what in s.checks:
        problem = check(blocks[index])
        if problem:
            failed += 1
            if failed <= 15:
                print(f"FAIL [{ring.name}] {what} (line {index + 1}: {s.lines[index]}): {problem}")
    print(f"{ring.name}: {len(s.checks) - failed} of {len(s.checks)} checks passed (seed {seed})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
