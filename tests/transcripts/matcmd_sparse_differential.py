#!/usr/bin/env python3
"""Random sparse matrices through the terminal's matrix commands, over Q, Z,
polynomials in x and y, and residues modulo 7, 65,521 and 2,147,483,629
(the residue rings take the fast route), in every shape. Half the matrices
are declared sparse, half are made dense and turned sparse by Sparse[a].
Each goes through Redrowech, Rowreduce and Pseudet with a random number of
outputs; every result is copied into a dense array to be read back, and
checked with sympy:
  Redrowech  L A0 = E, Linv E = A0, L Linv = I, E's first K - 1 columns the
             reduced row echelon form of A0's, rank; the right-hand sides
             past the rank all 0 exactly when the system is solvable, for
             the sparse and the dense command alike;
  Rowreduce  P A0 Q = A upper triangular, P P2 = I, Q Q2 = I, rank; A the
             same whichever outputs were asked for;
  Pseudet    the product of the pivots is +- the minor of A0 at the pairs'
             rows and columns, not 0; the same rank as the dense command; a
             limit k gives min(k, rank) pivots.

  matcmd_sparse_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from matcmd_differential import (MARK, Ring, make_case, number_of, parse_array, run_queries,  # noqa: E402
                                 switch_ring, value)
from quoly_differential import sympy  # noqa: E402

ROWREDUCE_OUTS = (("P", "p", "r"), ("Q", "q", "k"), ("P2", "pp", "r"), ("Q2", "qq", "k"))


class Script:
    def __init__(self):
        self.text = "&(J = x);\n&(J = y);\n&(J = w);\n"
        self.queries = []   # (case, label, rows, cols)

    def ask(self, idx, label, stmt, rows=None, cols=None):
        self.text += f"{MARK};\n{stmt};\n"
        self.queries.append((idx, label, rows, cols))

    def fill(self, name, r, k, cells, sparse):
        self.text += f"Array {name}[{r},{k}]{' Sparse' if sparse else ''};\n"
        for i in range(r):
            for j in range(k):
                if not sparse or cells[i][j] != "0":
                    self.text += f"{name}[{i + 1},{j + 1}] := {cells[i][j]};\n"

    def sparse_copy(self, idx, name, r, k, cells):
        # Two ways to a sparse matrix: declared so, or turned sparse in place.
        if idx % 2:
            self.fill(name, r, k, cells, True)
        else:
            self.fill(name, r, k, cells, False)
            self.text += f"Sparse[{name}];\n"

    def read(self, idx, label, name, rows, cols):
        # Read back through a dense copy: the display of either kind of
        # array is then the same.
        self.text += (f"Array {name}_d[{rows},{cols}];\n"
                      f"[{name}_d] := [<i = 1, {rows}><j = 1, {cols}> {name}[i,j]];\n")
        self.ask(idx, label, f"[{name}_d]", rows, cols)


def build_script(cases, rng):
    s = Script()
    current = None
    plan = []
    since = len(s.text)
    for idx, (kind, ring, r, k, cells) in enumerate(cases):
        want = ring if isinstance(ring, int) else 0
        if want != current:
            since = switch_ring(s, want, since)
            current = want
        c = f"s{idx}"
        n_red = rng.randrange(0, 3)
        n_row = rng.randrange(0, 5)
        plan.append((n_red, n_row))
        # Redrowech, sparse and dense.
        s.sparse_copy(idx, c + "e", r, k, cells)
        outs = "".join(f",[{c}{x}]" for x in ("l", "li")[:n_red])
        s.ask(idx, "redrowech", f"Redrowech([{c}e]{outs})")
        s.read(idx, "E", c + "e", r, k)
        for lab, x in (("L", "l"), ("Li", "li"))[:n_red]:
            s.read(idx, lab, c + x, r, r)
        s.fill(c + "de", r, k, cells, False)
        s.ask(idx, "denseredrowech", f"Redrowech([{c}de])")
        s.ask(idx, "denseE", f"[{c}de]", r, k)
        # Rowreduce with some of its outputs, and with none.
        s.sparse_copy(idx, c + "r", r, k, cells)
        outs = "".join(f",[{c}r{x}]" for _, x, _ in ROWREDUCE_OUTS[:n_row])
        s.ask(idx, "Rowreduce", f"Rowreduce([{c}r]{outs})")
        s.read(idx, "RowreduceA", c + "r", r, k)
        for lab, x, size in ROWREDUCE_OUTS[:n_row]:
            n = r if size == "r" else k
            s.read(idx, "Rowreduce" + lab, f"{c}r{x}", n, n)
        s.sparse_copy(idx + 1, c + "n", r, k, cells)
        s.ask(idx, "RowreduceBare", f"Rowreduce([{c}n])")
        s.read(idx, "RowreduceBareA", c + "n", r, k)
        # Pseudet: pairs, a limit, and the dense command's rank.
        s.sparse_copy(idx, c + "ps", r, k, cells)
        s.ask(idx, "Pseudet", f"Pseudet([{c}ps],[{c}x])")
        s.read(idx, "PseudetA", c + "ps", r, k)
        s.ask(idx, "PseudetX", f"[{c}x]", 2, None)
        s.sparse_copy(idx + 1, c + "pk", r, k, cells)
        s.ask(idx, "PseudetK", f"Pseudet([{c}pk],[{c}kx],2)")
        s.fill(c + "dp", r, k, cells, False)
        s.ask(idx, "densePseudet", f"Pseudet([{c}dp])")
    return s, plan


def check_case(case, plan, got):
    kind, ring, r, k, cells = case
    n_red, n_row = plan
    R = Ring(ring)
    a0 = sympy.Matrix(r, k, [value(c) for row in cells for c in row])
    eye = sympy.eye
    problems = []

    def count(label):
        # Counts are values of the ring too: a rank 4 modulo 7 shows as -3.
        v = number_of(got[label])
        return v % R.p if R.p and v % R.p <= min(r, k) else v

    def need(cond, what):
        if not cond:
            problems.append(what)

    rank = R.rank(a0)
    # Redrowech
    e = got["E"]
    rank_aug = R.rank(a0[:, : k - 1]) if k > 1 else 0
    need(count("redrowech") == rank_aug, "Redrowech rank")
    need(count("denseredrowech") == rank_aug, "dense Redrowech rank")
    # Past the rank the right-hand sides depend on the pivots taken; whether
    # they all vanish does not: it says whether the system has a solution.
    consistent = rank == rank_aug
    need(R.zero(e[rank_aug:, k - 1]) == consistent, "sparse E: solvable as A0 is")
    need(R.zero(got["denseE"][rank_aug:, k - 1]) == consistent, "dense E: solvable as A0 is")
    need(R.same(e[:, : k - 1], got["denseE"][:, : k - 1]), "sparse E = dense E")
    if k > 1:
        need(R.same(e[:, : k - 1], R.rref(a0[:, : k - 1])), "E = rref")
    if n_red >= 1:
        need(R.same(got["L"] * a0, e), "L A0 = E")
    if n_red == 2:
        need(R.same(got["Li"] * e, a0), "Linv E = A0")
        need(R.same(got["L"] * got["Li"], eye(r)), "L Linv = I")
    # Rowreduce: the missing transforms stand as identities only when the
    # pivots needed no interchange, so each identity is checked where all
    # its factors were asked for.
    A = got["RowreduceA"]
    need(count("Rowreduce") == rank, "Rowreduce rank")
    need(count("RowreduceBare") == rank, "bare Rowreduce rank")
    need(R.same(A, got["RowreduceBareA"]), "A the same without outputs")
    below = [A[i, j] for i in range(r) for j in range(min(i, k))]
    need(R.zero(sympy.Matrix(below)) if below else True, "Rowreduce upper triangular")
    if n_row >= 2:
        need(R.same(got["RowreduceP"] * a0 * got["RowreduceQ"], A), "P A0 Q = A")
    if n_row >= 3:
        need(R.same(got["RowreduceP"] * got["RowreduceP2"], eye(r)), "P P2 = I")
    if n_row == 4:
        need(R.same(got["RowreduceQ"] * got["RowreduceQ2"], eye(k)), "Q Q2 = I")
    # Pseudet
    prk = count("Pseudet")
    need(prk == rank, "Pseudet rank")
    need(count("densePseudet") == rank, "dense Pseudet rank")
    need(count("PseudetK") == min(2, rank), "Pseudet limit")
    if prk > 0:
        X = got["PseudetX"]
        Ap = got["PseudetA"]

        def index(v):
            return (int(v) - 1) % R.p if R.p else int(v) - 1
        rows_ = [index(X[0, i]) for i in range(prk)]
        cols_ = [index(X[1, i]) for i in range(prk)]
        need(len(set(rows_)) == prk and len(set(cols_)) == prk, "Pseudet pairs distinct")
        piv = sympy.prod([Ap[i, i] for i in range(prk)])
        minor = a0.extract(rows_, cols_).det()
        need(not R.zero(sympy.Matrix([piv])), "Pseudet pivots not 0")
        need(R.zero(sympy.Matrix([piv - minor])) or R.zero(sympy.Matrix([piv + minor])), "Pseudet minor")
    return problems


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 48
    seed = int(argv[3]) if len(argv) > 3 else 29
    rng = random.Random(seed)
    cases = [make_case(rng, i) for i in range(count)]
    s, plan = build_script(cases, rng)
    answered = run_queries(binary, s)
    if answered is None:
        return 1
    results = {}
    for (idx, label, rows, cols), block in answered:
        results.setdefault(idx, {})[label] = (rows, cols, block)
    failed = 0
    for idx, case in enumerate(cases):
        got = {}
        problems = []
        try:
            raw = results[idx]
            for label, (rows, cols, block) in raw.items():
                if label == "PseudetX":
                    # Of rank 0 no pair array is made: asking for it is an error.
                    rk = number_of(raw["Pseudet"][2])
                    rk = rk % case[1] if isinstance(case[1], int) else rk
                    got[label] = parse_array(block, 2, rk) if rk else None
                elif "***" in block:
                    problems.append(f"{label}: {block}")
                elif rows is None:
                    got[label] = block
                else:
                    got[label] = parse_array(block, rows, cols)
            if not problems:
                problems = check_case(case, plan[idx], got)
        except Exception as e:  # noqa: BLE001
            problems.append(f"unreadable: {e}")
        if problems:
            failed += 1
            if failed <= 8:
                print(f"case {idx} {case[:4]} outputs {plan[idx]}: {problems}; cells {case[4]}")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
