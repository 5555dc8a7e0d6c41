#!/usr/bin/env python3
"""A call inside an array expression that rewrites a stored array (a matrix
command working in place, a user function assigning an element) while an
operand of the expression already read that array: each operand keeps the
value it had when it was reached, left to right.

For each random matrix, ring and storage (dense or sparse) the expression
is run once, and its value is compared with the same value formed in
steps: the array's copy before the call (a0), the call's result alone (r)
and the array after it (a1). So

    [a] * C([a])            is  [a0] * r
    C([a]) * [a]            is  r * [a1]
    [a] + C([a]) * [a]      is  [a0] + r * [a1]
    [a] * W(n)              is  [a0] * n       (W assigns a[1,1] := n)

  rewrite_in_expression.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

MARK = "w"

# (ring setting, commands that take its matrices)
RINGS = [
    ("&(p = _i);", ["Smith", "Hermite", "MSmith", "Redrowech", "Pseudet", "Rowreduce", "Sparse"]),
    ("&(p = 7);", ["Redrowech", "Pseudet", "Rowreduce", "Sparse"]),
    ("&(p = 2147483629);", ["Redrowech", "Pseudet", "Rowreduce"]),
    ("&(p = 256);", ["Redrowech", "Pseudet", "Rowreduce"]),
    ("&(p = 65536);", ["Redrowech", "Pseudet", "Rowreduce", "Sparse"]),
]

FORMS = [
    ("[a] * {c}", "[a0] * r"),
    ("{c} * [a]", "r * [a1]"),
    ("[a] + {c} * [a]", "[a0] + r * [a1]"),
]


def call(cmd, rng):
    if cmd == "Sparse":
        return "Sparse[a]"
    if cmd == "MSmith":
        return f"MSmith([a], {rng.randrange(2, 40)})"
    return f"{cmd}([a])"


def fill(rows, cols, cells, sparse):
    text = f"@[a];\nArray a[{rows},{cols}]{' Sparse' if sparse else ''};\n"
    for i in range(rows):
        for j in range(cols):
            if not sparse or cells[i][j]:
                text += f"a[{i + 1},{j + 1}] := {cells[i][j]}:\n"
    return text


def build(rng, count):
    text = "&(J = w);\nArray a[1,1];\nFunc W(n) = a[1,1] := n; n.\n"
    labels = []

    def ask(label, stmt):
        nonlocal text
        text += f"{MARK};\n{stmt};\n"
        labels.append(label)

    for idx in range(count):
        ring, commands = RINGS[idx % len(RINGS)]
        text += ring + "\n"
        rows, cols = rng.randrange(1, 4), rng.randrange(1, 4)
        cells = [[rng.choice([0, 0, 1, -1, rng.randrange(-30, 31), rng.randrange(-10**14, 10**14)])
                  for _ in range(cols)] for _ in range(rows)]
        sparse = rng.random() < 0.5
        cmd = rng.choice(commands)
        if cmd in ("Rowreduce", "Pseudet"):
            sparse = True   # the sparse row reduction
        if cmd == "Sparse":
            sparse = False  # dense turned sparse in place
        c = call(cmd, rng)
        # The steps: the copy, the call alone, the array after it.
        a0, a1 = f"a0x{idx}", f"a1x{idx}"
        text += fill(rows, cols, cells, sparse) + f"[{a0}] := [a]:\n"
        text += f"r := {c}:\n[{a1}] := [a]:\n"
        for k, (form, steps) in enumerate(FORMS):
            if "+" in form and rows != cols:
                continue
            text += fill(rows, cols, cells, sparse)
            b, e = f"bx{idx}x{k}", f"ex{idx}x{k}"
            ask((idx, form, "expr"), f"[{b}] := " + form.format(c=c) + f"; [{b}]")
            ask((idx, form, "steps"), f"[{e}] := " + steps.replace("a0", a0).replace("a1", a1) + f"; [{e}]")
        n = rng.randrange(2, 9)
        text += fill(rows, cols, cells, sparse)
        ask((idx, "W", "expr"), f"[bx{idx}] := [a] * W({n}); [bx{idx}]")
        ask((idx, "W", "steps"), f"[ex{idx}] := [{a0}] * {n}; [ex{idx}]")
    return text + "&q;\n", labels


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 120
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 55)
    text, labels = build(rng, count)
    with tempfile.TemporaryDirectory() as cwd:
        proc = subprocess.run([binary], input=text.encode(), capture_output=True, cwd=cwd, timeout=300)
    out = proc.stdout.decode("utf-8", "replace")
    if proc.returncode != 0:
        print(f"exit status {proc.returncode}")
        print(out[-3000:])
        return 1
    pieces = re.split(rf"\n +{MARK}\n", out)[1:]
    if len(pieces) != len(labels):
        print(f"{len(pieces)} results for {len(labels)} queries")
        return 1
    # Each result: what the assignment and the display printed (the
    # assignment's own value line left out: it differs by name).
    blocks = {}
    for label, piece in zip(labels, pieces):
        body = piece.split("\n>", 2)
        blocks[label] = (body[2] if len(body) > 2 else piece).split("\n>")[0]
    failed = 0
    for (idx, form, kind), got in blocks.items():
        if kind != "expr":
            continue
        want = blocks[(idx, form, "steps")]
        if "***" in got or got != want:
            failed += 1
            if failed <= 5:
                print(f"case {idx} {form}:\n--- expression\n{got}\n--- steps\n{want}")
    print(f"{len(blocks) // 2 - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
