#!/usr/bin/env python3
"""Array blocks against a model of their ranges: random dense arrays of
1..7 x 1..7 cells (cell (r, c) holds 100 r + c + 1, counted from 0) with
random row and column ranges of every form (i, i~j, i~, ~j, empty), with
the initial index 0 and 1. A block is read as an output item, as an
operand (doubled into a new array), and as an assignment target (a scalar
and then a value of the block's shape); ranges outside the array or
reversed must give their errors.

  blocks_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from array_reference import run_lines  # noqa: E402

ERRORS = {56: "Row range outside the array.", 57: "Row range reversed.",
          58: "Column range outside the array.", 59: "Column range reversed."}


def random_range(rng, n, origin):
    """(text, (lo, hi) from origin, or an error kind 'outside'/'reversed')."""
    kind = rng.choice(["i", "i~j", "i~", "~j", "", "bad"])
    pick = lambda: rng.randrange(origin, origin + n)  # noqa: E731
    if kind == "i":
        i = pick()
        return str(i), (i, i)
    if kind == "i~j":
        i, j = sorted((pick(), pick()))
        return f"{i}~{j}", (i, j)
    if kind == "i~":
        i = pick()
        return f"{i}~", (i, origin + n - 1)
    if kind == "~j":
        j = pick()
        return f"~{j}", (origin, j)
    if kind == "":
        return "", (origin, origin + n - 1)
    # Outside, or reversed: the bounds checked first, then the order.
    i = rng.randrange(origin - 2, origin + n + 2)
    j = rng.randrange(origin - 2, origin + n + 2)
    if i < origin or j > origin + n - 1:
        return f"{i}~{j}", "outside"
    if j < i:
        return f"{i}~{j}", "reversed"
    return f"{i}~{j}", (i, j)


def matrix_shown(text):
    """The cells of the matrix layout in text, row by row."""
    start = text.index("[[")
    end = text.index("]]", start)
    rows = []
    for line in text[start + 2:end].split("\n"):
        cells = re.findall(r"-?\d+|\*", line)
        if cells:
            rows.append([c if c == "*" else int(c) for c in cells])
    return rows


def main():
    binary = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 120
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 34107
    rng = random.Random(seed)
    lines, checks = [], []
    for k in range(count):
        origin = k % 2
        R, C = rng.randrange(1, 8), rng.randrange(1, 8)
        name = f"m{k}"
        lines.append(f"&(a = {origin});")
        checks.append(None)
        lines.append(f"Array {name}[{R},{C}];")
        checks.append(None)
        for r in range(R):
            for c in range(C):
                lines.append(f"{name}[{r + origin},{c + origin}] := {100 * r + c + 1}:")
                checks.append(None)
        rt, rr = random_range(rng, R, origin)
        ct, cr = random_range(rng, C, origin)
        block = f"{name}[{rt},{ct}]"
        if rr in ("outside", "reversed") or cr in ("outside", "reversed"):
            if rr == "outside":
                code = 56
            elif rr == "reversed":
                code = 57
            else:
                code = 58 if cr == "outside" else 59
            for stmt in (f"![{block}];", f"[z] := [{block}];", f"[{block}] := 0;"):
                lines.append(stmt)
                checks.append(("error", code, stmt))
            continue
        (r0, r1), (c0, c1) = rr, cr
        model = [[100 * (r - origin) + (c - origin) + 1 for c in range(c0, c1 + 1)] for r in range(r0, r1 + 1)]
        lines.append(f"![{block}];")
        checks.append(("shown", model, lines[-1]))
        # As an operand: twice the block becomes the array d.
        lines.append(f"[d{k}] := 2*[{block}];")
        checks.append(None)
        lines.append(f"![d{k}];")
        checks.append(("shown", [[2 * x for x in row] for row in model], lines[-3]))
        # As a target: a scalar fills the block, then the doubled block
        # goes back in its place; the cells outside the block stay.
        lines.append(f"[{block}] := 0;")
        checks.append(None)
        whole = [[100 * r + c + 1 for c in range(C)] for r in range(R)]
        for r in range(r0 - origin, r1 - origin + 1):
            for c in range(c0 - origin, c1 - origin + 1):
                whole[r][c] = 0
        lines.append(f"![{name}];")
        checks.append(("shown", [row[:] for row in whole], lines[-2]))
        lines.append(f"[{block}] := [d{k}];")
        checks.append(None)
        for r in range(r0 - origin, r1 - origin + 1):
            for c in range(c0 - origin, c1 - origin + 1):
                whole[r][c] = 2 * (100 * r + c + 1)
        lines.append(f"![{name}];")
        checks.append(("shown", whole, lines[-2]))
    with tempfile.TemporaryDirectory() as cwd:
        outs = run_lines(binary, cwd, lines)
    failures = 0
    for line, out, check in zip(lines, outs, checks):
        if check is None:
            if "***" in out:
                failures += 1
                print(f"FAIL {line}: unexpected error\n{out}")
            continue
        if check[0] == "error":
            if ERRORS[check[1]] not in out:
                failures += 1
                print(f"FAIL {line}: expected error {check[1]}\n{out}")
            continue
        try:
            got = matrix_shown(out)
        except ValueError:
            got = None
        if got != check[1]:
            failures += 1
            print(f"FAIL {check[2]} then {line}: expected {check[1]}\ngot {out}")
    print(f"{len(lines)} statements, {failures} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
