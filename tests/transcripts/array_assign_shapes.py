#!/usr/bin/env python3
"""Whole-array assignment against a model of its store rules: every target
kind (dense, sparse, a one-dimensional one of each, a new name) takes every
kind of value (a scalar, fresh and stored dense values, fresh and stored
sparse values, the target itself) of the target's shape, of the same count
in other rows, and of another count. After each assignment the target's
kind, column count and every cell are read back, one past the last row must
be out of range, and the arrays the value was made from must be unchanged.

The rules the model holds:
  - a scalar goes into every cell and the target keeps its kind and shape
    (a new name becomes a 1 x 1 dense array);
  - a sparse value of the target's count and rows makes the target sparse
    with the value's entries; of another count or rows, a new sparse array
    of the value's shape;
  - a dense value of another count makes a new dense array of its shape;
    of the same count, a dense target keeps its shape and takes the cells in
    column order, and a sparse target of the same rows takes the entries
    (other rows: error 249, the target unchanged).

  array_assign_shapes.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from array_reference import run_lines  # noqa: E402

OUT_OF_RANGE = "Array index or bound out of range."
OTHER_ROWS = "Sparse target has a different number of rows."


class Arr:
    """kind 'dense' or 'sparse', rows, columns and the cells as a dict
    {(row, column): int} counted from 1 (an absent cell is 0)."""

    def __init__(self, kind, rows, cols, cells):
        self.kind, self.rows, self.cols = kind, rows, cols
        self.cells = {k: v for k, v in cells.items() if v or kind == "dense"}

    def at(self, r, c):
        return self.cells.get((r, c), 0)

    def column_order(self):
        return [self.at(r, c) for c in range(1, self.cols + 1) for r in range(1, self.rows + 1)]


def declare(lines, name, arr, onedim):
    """Statements that make arr under name (cells assigned one by one)."""
    size = f"{arr.rows}" if onedim else f"{arr.rows},{arr.cols}"
    lines.append(f"Array {name}[{size}]{' Sparse' if arr.kind == 'sparse' else ''}:")
    for (r, c), v in sorted(arr.cells.items()):
        lines.append(f"{name}[{r},{c}] := {v}:")


def random_cells(rng, rows, cols, sparse):
    cells = {}
    for r in range(1, rows + 1):
        for c in range(1, cols + 1):
            if not sparse or rng.random() < 0.6:
                cells[(r, c)] = rng.choice([-1, 1]) * rng.randrange(1, 90)
    return cells


def value_forms(b, s, target_kind, target_rows):
    """(text, kind, rows, cols, cells) of every value form over the dense b
    and the sparse s; the generator and the constant diagonal take the
    target's kind and shape."""
    forms = [
        ("[b]", b.kind, b.rows, b.cols, dict(b.cells)),
        ("2*[b]", "dense", b.rows, b.cols, {k: 2 * v for k, v in b.cells.items()}),
        ("-[b]", "dense", b.rows, b.cols, {k: -v for k, v in b.cells.items()}),
        ("[s]", "sparse", s.rows, s.cols, dict(s.cells)),
        ("-[s]", "sparse", s.rows, s.cols, {k: -v for k, v in s.cells.items()}),
        ("2*[s]", "sparse", s.rows, s.cols, {k: 2 * v for k, v in s.cells.items()}),
        ("[s] + [s]", "sparse", s.rows, s.cols, {k: 2 * v for k, v in s.cells.items()}),
        ("[s] + [b]", "dense", b.rows, b.cols, {k: v + s.at(*k) for k, v in b.cells.items()}),
        ("[b] - [s]", "dense", b.rows, b.cols, {k: v - s.at(*k) for k, v in b.cells.items()}),
        (f"[<i = 1, {b.rows}><j = 1, {b.cols}> 10*i - j - 9]", target_kind or "dense", b.rows, b.cols,
         {(i, j): 10 * i - j - 9 for i in range(1, b.rows + 1) for j in range(1, b.cols + 1)}),
    ]
    if s.rows == s.cols:
        n = s.rows
        prod = {(i, j): sum(s.at(i, k) * s.at(k, j) for k in range(1, n + 1))
                for i in range(1, n + 1) for j in range(1, n + 1)}
        forms.append(("[s]*[s]", "sparse", n, n, prod))
        forms.append(("x#[s]", "sparse", n, n, dict(s.cells)))
    if target_kind:
        n = target_rows
        forms.append(("[5]", "sparse", n, n, {(i, i): 5 for i in range(1, n + 1)}))
        forms.append(("[0]", "sparse", n, n, {}))
    return forms


def assigned(target, kind, rows, cols, cells):
    """The target after the assignment of the value, or 249."""
    value = Arr(kind, rows, cols, cells)
    if target is None:
        return value
    same = rows * cols == target.rows * target.cols
    if kind == "sparse":
        return value if same and rows == target.rows else Arr("sparse", rows, cols, cells)
    if not same:
        return value
    if target.kind == "sparse":
        return 249 if rows != target.rows else Arr("sparse", rows, cols, cells)
    order = value.column_order()
    return Arr("dense", target.rows, target.cols,
               {(k % target.rows + 1, k // target.rows + 1): v for k, v in enumerate(order)})


def with_scalar(target, c):
    if target is None:
        return Arr("dense", 1, 1, {(1, 1): c})
    return Arr(target.kind, target.rows, target.cols,
               {(r, k): c for r in range(1, target.rows + 1) for k in range(1, target.cols + 1)})


def read_back(lines, checks, name, arr, context):
    """Statements that show the kind, columns and cells of name."""
    lines.append(f"![{name}];")
    checks.append(("kind", arr.kind, context))
    lines.append(f"Cols [{name}];")
    checks.append(("value", arr.cols, context))
    for r in range(1, arr.rows + 1):
        for c in range(1, arr.cols + 1):
            lines.append(f"{name}[{r},{c}];")
            checks.append(("value", arr.at(r, c), context))
    lines.append(f"{name}[{arr.rows + 1},1];")
    checks.append(("error", OUT_OF_RANGE, context))


def shapes(rng, rows, cols):
    """The value shapes: the target's, the same count in other rows (when
    there is one), another count."""
    out = [(rows, cols, "same")]
    if rows != cols:
        out.append((cols, rows, "other rows"))
    elif rows * cols % 2 == 0 and rows > 1:
        out.append((rows // 2, cols * 2, "other rows"))
    while True:
        r, c = rng.randrange(1, 5), rng.randrange(1, 5)
        if r * c != rows * cols:
            out.append((r, c, "other count"))
            return out


def main():
    binary = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 12
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 4711
    rng = random.Random(seed)
    lines, checks = ["&(J = x);"], [None]
    trials = 0
    for k in range(count):
        for tkind in ("dense", "sparse", "dense1", "sparse1", None):
            onedim = tkind in ("dense1", "sparse1")
            R = rng.randrange(1, 5)
            C = 1 if onedim else rng.randrange(1, 5)
            base = tkind.rstrip("1") if tkind else None
            for vr, vc, how in shapes(rng, R, C):
                b = Arr("dense", vr, vc, random_cells(rng, vr, vc, False))
                s = Arr("sparse", vr, vc, random_cells(rng, vr, vc, True))
                forms = value_forms(b, s, base, R) + [("7", "scalar", 0, 0, {}), ("0", "scalar", 0, 0, {})]
                if base:
                    forms.append(("self", "self", 0, 0, {}))
                for text, vkind, rows, cols, cells in forms:
                    if text in ("[5]", "[0]") and how != "same":
                        continue
                    trials += 1
                    t = f"t{trials}"
                    target = Arr(base, R, C, random_cells(rng, R, C, base == "sparse")) if base else None
                    if target:
                        declare(lines, t, target, onedim)
                        checks.extend([None] * (len(lines) - len(checks)))
                    declare(lines, "b", b, False)
                    declare(lines, "s", s, False)
                    checks.extend([None] * (len(lines) - len(checks)))
                    if vkind == "scalar":
                        expect = with_scalar(target, int(text))
                    elif vkind == "self":
                        # The target's own entries, doubled through the value.
                        text = f"2*[{t}]"
                        expect = Arr(base, R, C, {k2: 2 * v for k2, v in target.cells.items()})
                    else:
                        expect = assigned(target, vkind, rows, cols, cells)
                    stmt = f"[{t}] := {text};"
                    context = f"{base or 'new'} {R}x{C}{' (1-d)' if onedim else ''} := {text} ({how} {vr}x{vc})"
                    lines.append(stmt)
                    if expect == 249:
                        checks.append(("error", OTHER_ROWS, context))
                        expect = target
                    else:
                        checks.append(("quiet", None, context))
                    read_back(lines, checks, t, expect, context)
                    read_back(lines, checks, "b", b, context + ", the dense source")
                    read_back(lines, checks, "s", s, context + ", the sparse source")
    with tempfile.TemporaryDirectory() as cwd:
        outs = run_lines(binary, cwd, lines)
    failures = 0
    for line, out, check in zip(lines, outs, checks):
        if check is None or check[0] == "quiet":
            if "***" in out or "Warning" in out:
                failures += 1
                print(f"FAIL {line}: unexpected message{' in ' + check[2] if check else ''}\n{out}")
            continue
        what, want, context = check
        if what == "error":
            ok = want in out
        elif what == "kind":
            ok = "***" not in out and ("[[" in out) == (want == "dense")
        else:
            got = re.findall(r"^\s*(-?\d+)\s*$", out, re.M)
            ok = "***" not in out and got[-1:] == [str(want)]
        if not ok:
            failures += 1
            if failures <= 30:
                print(f"FAIL {context}: {line} expected {what} {want}\n{out}")
    print(f"{trials} assignments, {len(lines)} statements, {failures} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
