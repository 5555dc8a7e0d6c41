#!/usr/bin/env python3
"""Random dense matrices over Q, Z, polynomials in x and y, and residues
modulo 7, 65,521 and 2,147,483,629, in every shape (R < K, R = K, R > K,
one column, rank-deficient, zero). Each matrix goes through Redrowech,
Colreduce, Normalize, FFLU, FFLUC and Pseudet; the outputs are read back
and the defining identities checked with sympy:
  Redrowech  L A0 = E, Linv E = A0, L Linv = I, E's first K - 1 columns the
             reduced row echelon form of A0's, rank;
  Colreduce  P A0 Q = A lower triangular, P P2 = I, Q Q2 = I, rank;
  Normalize  the same with A diagonal;
  FFLU(C)    diag(lambda) P A0 Q = L diag(mu) U, lambda_i = d1..d(i-1),
             mu_k = d1..d(k-2); L unit lower triangular; FFLUC's d_k the
             leading k x k minor of P A0 Q; integer input stays integral;
  Pseudet    the product of the pivots is +- the minor of A0 at the pairs'
             rows and columns, not 0; a limit k gives min(k, rank) pivots.

  matcmd_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import sympy  # noqa: E402

MARK = "w"   # a polynomial variable nothing else uses: shown alike in every ring
RINGS = [None, None, "poly", 7, 65521, 2147483629]


def entry(rng, ring):
    if rng.random() < 0.3:
        return "0"
    if ring == "poly":
        return qd.small_poly(rng, ["x", "y"][: rng.randrange(1, 3)])
    if isinstance(ring, int):
        return str(rng.randrange(ring))
    v = rng.randrange(-9, 10)
    if ring == "rat" and rng.random() < 0.3:
        return f"{v}/{rng.randrange(2, 6)}"
    return str(v)


def make_case(rng, idx):
    ring = RINGS[idx % len(RINGS)]
    kind = ring if ring is not None else ("rat" if idx % 2 else "int")
    r, k = rng.randrange(1, 6), rng.randrange(1, 6)
    cells = [[entry(rng, kind) for _ in range(k)] for _ in range(r)]
    shape = rng.random()
    if shape < 0.1:
        cells = [["0"] * k for _ in range(r)]
    elif shape < 0.3 and r > 1:       # a dependent row
        cells[-1] = [f"2*({c})" if c != "0" else "0" for c in cells[0]]
    return kind, ring, r, k, cells


def value(text):
    return qd.read_back(text)


def parse_array(text, rows, cols):
    body = qd.joined(text.strip("\n")).strip()
    body = body[body.index("[[") + 2: body.index("]]")]
    items = [value(t.strip()) for t in body.split(",")]
    if len(items) != rows * cols:
        raise ValueError(f"{len(items)} items for {rows} x {cols}: {text!r}")
    return sympy.Matrix(rows, cols, items)


class Ring:
    def __init__(self, ring):
        self.p = ring if isinstance(ring, int) else None

    def zero(self, m):
        if self.p is None:
            return all(sympy.simplify(e) == 0 for e in m)
        return all(int(e) % self.p == 0 for e in m)

    def same(self, a, b):
        return a.shape == b.shape and self.zero(a - b)

    def rank(self, m):
        if self.p is None:
            return m.rank(simplify=True)
        from sympy.polys.matrices import DomainMatrix
        from sympy import GF
        dm = DomainMatrix.from_Matrix(m.applyfunc(lambda e: int(e) % self.p)).convert_to(GF(self.p))
        return dm.rank()

    def rref(self, m):
        if self.p is None:
            return m.rref(simplify=True)[0]
        from sympy.polys.matrices import DomainMatrix
        from sympy import GF
        dm = DomainMatrix.from_Matrix(m.applyfunc(lambda e: int(e) % self.p)).convert_to(GF(self.p))
        return dm.rref()[0].to_Matrix().applyfunc(lambda e: int(e) % self.p)


class Script:
    def __init__(self):
        self.text = "&(J = x);\n&(J = y);\n&(J = w);\n"
        self.queries = []   # (case, label, rows, cols)

    def ask(self, idx, label, stmt, rows=None, cols=None):
        self.text += f"{MARK};\n{stmt};\n"
        self.queries.append((idx, label, rows, cols))


def switch_ring(s, want, since):
    """The ring change to `want` (0: the rationals), the arrays the script
    made since the text offset `since` deleted first: a value they hold
    without an element of the new ring would refuse the change."""
    made = sorted(set(re.findall(r"\[([a-z][a-z0-9_]*)\]", s.text[since:])))
    s.text += "".join(f"@[{n}];\n" for n in made)
    s.text += f"&(p = {want});\n" if want else "&(p = _i);\n"
    return len(s.text)


def setup(s, idx, ring, r, k, cells, name):
    s.text += f"Array {name}[{r},{k}];\n"
    for i in range(r):
        for j in range(k):
            s.text += f"{name}[{i + 1},{j + 1}] := {cells[i][j]};\n"


def build_script(cases):
    s = Script()
    current = None
    since = len(s.text)
    for idx, (kind, ring, r, k, cells) in enumerate(cases):
        want = ring if isinstance(ring, int) else 0
        if want != current:
            since = switch_ring(s, want, since)
            current = want
        c = f"c{idx}"
        setup(s, idx, ring, r, k, cells, c + "e")
        s.ask(idx, "redrowech", f"Redrowech([{c}e],[{c}l],[{c}li])")
        for lab, (rr, cc) in (("E", (r, k)), ("L", (r, r)), ("Li", (r, r))):
            s.ask(idx, lab, f"[{c}{ {'E': 'e', 'L': 'l', 'Li': 'li'}[lab]}]", rr, cc)
        for cmd in ("Colreduce", "Normalize"):
            t = c + cmd[0].lower()
            setup(s, idx, ring, r, k, cells, t)
            s.ask(idx, cmd, f"{cmd}([{t}],[{t}p],[{t}q],[{t}pp],[{t}qq])")
            for lab, suffix, (rr, cc) in (("A", "", (r, k)), ("P", "p", (r, r)), ("Q", "q", (k, k)),
                                          ("P2", "pp", (r, r)), ("Q2", "qq", (k, k))):
                s.ask(idx, cmd + lab, f"[{t}{suffix}]", rr, cc)
        for cmd in ("FFLU", "FFLUC"):
            t = c + cmd.lower()
            setup(s, idx, ring, r, k, cells, t)
            extra = f",[{t}q],[{t}qq]" if cmd == "FFLUC" else ""
            s.ask(idx, cmd, f"{cmd}([{t}],[{t}d],[{t}l],[{t}p],[{t}pp]{extra})")
            outs = [("U", "", (r, k)), ("D", "d", (r, 1)), ("L", "l", (r, r)), ("P", "p", (r, r)),
                    ("P2", "pp", (r, r))]
            if cmd == "FFLUC":
                outs += [("Q", "q", (k, k)), ("Q2", "qq", (k, k))]
            for lab, suffix, (rr, cc) in outs:
                s.ask(idx, cmd + lab, f"[{t}{suffix}]", rr, cc)
        t = c + "ps"
        setup(s, idx, ring, r, k, cells, t)
        s.ask(idx, "Pseudet", f"Pseudet([{t}],[{t}x])")
        s.ask(idx, "PseudetA", f"[{t}]", r, k)
        s.ask(idx, "PseudetX", f"[{t}x]", 2, None)
        setup(s, idx, ring, r, k, cells, t + "k")
        s.ask(idx, "PseudetK", f"Pseudet([{t}k],[{t}kx],2)")
    return s


def number_of(block):
    return int(qd.joined(block).strip())


def check_case(case, got):
    kind, ring, r, k, cells = case
    R = Ring(ring)
    a0 = sympy.Matrix(r, k, [value(c) for row in cells for c in row])
    problems = []

    def count(label):
        # Counts are values of the ring too: a rank 4 modulo 7 shows as -3.
        v = number_of(got[label])
        return v % R.p if R.p and v % R.p <= min(r, k) else v

    def need(cond, what):
        if not cond:
            problems.append(what)

    eye = sympy.eye
    # Redrowech
    e, l, li = got["E"], got["L"], got["Li"]
    rank_aug = R.rank(a0[:, : k - 1]) if k > 1 else 0
    need(count("redrowech") == rank_aug, "Redrowech rank")
    need(R.same(l * a0, e), "L A0 = E")
    need(R.same(li * e, a0), "Linv E = A0")
    need(R.same(l * li, eye(r)), "L Linv = I")
    if k > 1:
        need(R.same(e[:, : k - 1], R.rref(a0[:, : k - 1])), "E = rref")
    rank = R.rank(a0)
    for cmd in ("Colreduce", "Normalize"):
        A, P, Q, P2, Q2 = (got[cmd + x] for x in ("A", "P", "Q", "P2", "Q2"))
        need(count(cmd) == rank, cmd + " rank")
        need(R.same(P * a0 * Q, A), cmd + " P A0 Q = A")
        need(R.same(P * P2, eye(r)), cmd + " P P2 = I")
        need(R.same(Q * Q2, eye(k)), cmd + " Q Q2 = I")
        off = [A[i, j] for i in range(r) for j in range(k)
               if (j > i if cmd == "Colreduce" else j != i)]
        need(R.zero(sympy.Matrix(off)) if off else True, cmd + " shape")
    for cmd in ("FFLU", "FFLUC"):
        U, D, L, P, P2 = (got[cmd + x] for x in ("U", "D", "L", "P", "P2"))
        Q = got[cmd + "Q"] if cmd == "FFLUC" else eye(k)
        rk = count(cmd)
        need(rk == rank, cmd + " rank")
        d = [D[i, 0] for i in range(r)]
        lam = [sympy.prod(d[: i]) for i in range(r)]
        mu = [sympy.prod(d[: max(i - 1, 0)]) for i in range(r)]
        need(R.same(sympy.diag(*lam) * P * a0 * Q, L * sympy.diag(*mu) * U), cmd + " identity")
        need(R.same(P * P2, eye(r)), cmd + " P P2 = I")
        need(all(L[i, i] == 1 for i in range(r)) and R.zero(sympy.Matrix(
            [L[i, j] for i in range(r) for j in range(i + 1, r)] or [0])), cmd + " L unit lower")
        if cmd == "FFLUC":
            need(R.same(Q * got["FFLUCQ2"], eye(k)), "FFLUC Q Q2 = I")
            paq = P * a0 * Q
            for i in range(rk):
                need(R.same(sympy.Matrix([[d[i]]]), sympy.Matrix([[paq[: i + 1, : i + 1].det()]])),
                     f"FFLUC d_{i + 1} minor")
        if kind == "int":
            need(all(sympy.sympify(x).is_integer for m in (U, L, D) for x in m), cmd + " integral")
    # Pseudet
    prk = count("Pseudet")
    need(prk == rank, "Pseudet rank")
    need(count("PseudetK") == min(2, rank), "Pseudet limit")
    A = got["PseudetA"]
    if prk > 0:
        X = got["PseudetX"]
        # Residue rings show the indices as residues too (4 modulo 7 as -3).
        def index(v):
            return (int(v) - 1) % R.p if R.p else int(v) - 1
        rows_ = [index(X[0, i]) for i in range(prk)]
        cols_ = [index(X[1, i]) for i in range(prk)]
        piv = sympy.prod([A[i, i] for i in range(prk)])
        minor = a0.extract(rows_, cols_).det()
        need(not R.zero(sympy.Matrix([piv])), "Pseudet pivots not 0")
        need(R.zero(sympy.Matrix([piv - minor])) or R.zero(sympy.Matrix([piv + minor])), "Pseudet minor")
    return problems


def run_queries(binary, s):
    """Runs the script; each query with its result block, or None (after a
    message) when results are missing."""
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=s.text.encode(), capture_output=True, cwd=cwd,
                             timeout=600).stdout.decode()
    pieces = re.split(rf"\n +{MARK}\n", out)[1:]
    if len(pieces) != len(s.queries):
        print(f"only {len(pieces)} results for {len(s.queries)} queries")
        return None
    answered = []
    for query, piece in zip(s.queries, pieces):
        block = piece.split("\n>", 1)[1] if "\n>" in piece else piece
        answered.append((query, block.split("\n>")[0].strip("\n")))
    return answered


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 48
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 11)
    cases = [make_case(rng, i) for i in range(count)]
    # Pseudet's pair array has rank columns: its size is read from the rank.
    s = build_script(cases)
    answered = run_queries(binary, s)
    if answered is None:
        return 1
    results = {}
    for (idx, label, rows, cols), block in answered:
        if "***" in block and label != "PseudetX":
            results.setdefault(idx, {})[label] = ("error", block)
            continue
        results.setdefault(idx, {})[label] = (rows, cols, block)
    failed = 0
    for idx, case in enumerate(cases):
        got = {}
        problems = []
        try:
            raw = results[idx]
            for label, val in raw.items():
                if val[0] == "error":
                    problems.append(f"{label}: {val[1]}")
                    continue
                rows, cols, block = val
                if rows is None:
                    got[label] = block
                elif label == "PseudetX":
                    rk = number_of(raw["Pseudet"][2])
                    rk = rk % case[1] if isinstance(case[1], int) else rk
                    got[label] = parse_array(block, 2, rk) if rk else None
                else:
                    got[label] = parse_array(block, rows, cols)
            if not problems:
                problems = check_case(case, got)
        except Exception as e:  # noqa: BLE001
            problems.append(f"unreadable: {e}")
        if problems:
            failed += 1
            if failed <= 8:
                print(f"case {idx} {case[:4]}: {problems}; cells {case[4]}")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
