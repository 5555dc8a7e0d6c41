#!/usr/bin/env python3
"""Reading polynomials as terms (&_n) and saving and reading files.

  - &_n on dense polynomials of about 100,000 and 200,000 terms in three
    variables, read from a file, against the general evaluator reading the
    same text: doubling the size should cost at most 2.3 times as much, and
    &_n should be at least 5 times faster than the evaluator.
  - A save (&s) and a read (&R) of 10,000 scalars of 50 digits.
  - A read of 10,000 and of 40,000 rounds that shadow a dense and a sparse
    array (a save of many shadowed arrays): four times the rounds should
    cost about four times as much (once 12x, and 30x for the sparse ones).

Times are the interpreter's own processor time (&T, milliseconds), the
least of several runs.

  bench_files.py TARVEX [RUNS]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

SIZES = {"100k": (49, 49, 39), "200k": (49, 49, 79)}   # degrees in x, y, z: (dx+1)(dy+1)(dz+1) terms
SCALARS = 10000


def signed(first, c):
    if first:
        return f"-{-c}" if c < 0 else str(c)
    return f"- {-c}" if c < 0 else f"+ {c}"


def power(name, e):
    return name if e == 1 else f"{name}^{e}"


def nested_text(dx, dy, dz, rng):
    """A dense polynomial in canonical nested form, x outermost."""
    xs = []
    for ex in range(dx, -1, -1):
        ys = []
        for ey in range(dy, -1, -1):
            zs = []
            for ez in range(dz, -1, -1):
                c = rng.randrange(1, 10**6) * rng.choice([1, -1])
                zs.append(signed(not zs, c) + (power("z", ez) if ez else ""))
            z_text = " ".join(zs)
            ys.append(f"({z_text}){power('y', ey)}" if ey else z_text)
        y_text = " + ".join(ys)
        xs.append(f"({y_text}){power('x', ex)}" if ex else y_text)
    return " + ".join(xs)


def wrapped(text, width=75):
    lines, line = [], []
    size = 0
    for word in text.split(" "):
        if size + len(word) > width:
            lines.append(" ".join(line))
            line, size = [], 0
        line.append(word)
        size += len(word) + 1
    lines.append(" ".join(line))
    return "\n".join(lines)


def session(binary, cwd, script):
    proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=3600)
    return proc.stdout.decode()


def shown(out):
    return [int(v) for v in re.findall(r"^ +(-?\d+)$", out, re.M)]


VARS = "&(J = z);\n&(J = y);\n&(J = x);\n"


def time_read(binary, cwd, filename, runs):
    """Least CPU milliseconds the read of filename took."""
    best = None
    for _ in range(runs):
        out = session(binary, cwd, VARS + f"&T;\n&(R = '{filename}');\n&T;\n")
        t = shown(out)[-3:]
        ms = t[2] - t[0]
        best = ms if best is None else min(best, ms)
    return best


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    rng = random.Random(21)
    with tempfile.TemporaryDirectory() as cwd:
        fast, general = {}, {}
        for label, (dx, dy, dz) in SIZES.items():
            body = wrapped(nested_text(dx, dy, dz, rng))
            with open(os.path.join(cwd, f"n{label}.txt"), "w") as f:
                f.write(f"p := &_n {body};\n")
            with open(os.path.join(cwd, f"g{label}.txt"), "w") as f:
                f.write(f"q := {body};\n")
            fast[label] = time_read(binary, cwd, f"n{label}.txt", runs)
            general[label] = time_read(binary, cwd, f"g{label}.txt", 1 if label == "200k" else runs)
            check = session(binary, cwd, VARS + f"&(R = 'n{label}.txt');\n&(R = 'g{label}.txt');\np - q;\n")
            same = shown(check)[-1] == 0
            terms = (dx + 1) * (dy + 1) * (dz + 1)
            print(f"&_n, {terms} terms: {fast[label]} ms; general evaluator: {general[label]} ms "
                  f"({general[label] / max(fast[label], 1):.1f}x){'' if same else '  VALUES DIFFER'}")
        print(f"&_n doubling: {fast['200k'] / max(fast['100k'], 1):.2f}x (at most 2.3)")

        lines = [f"v{i} := {rng.randrange(10**49, 10**50) * rng.choice([1, -1])};" for i in range(SCALARS)]
        with open(os.path.join(cwd, "scalars.txt"), "w") as f:
            f.write("\n".join(lines) + "\n")
        best_save = best_read = None
        for _ in range(runs):
            out = session(binary, cwd, "&(R = 'scalars.txt');\n&(S = 'all.sav');\n&T;\n&s;\n&T;\n&(S = @);\n")
            t = shown(out)
            save_ms = t[-2] - t[-4]
            out = session(binary, cwd, "&T;\n&(R = 'all.sav');\n&T;\n")
            t = shown(out)
            read_ms = t[-1] - t[-3]
            best_save = save_ms if best_save is None else min(best_save, save_ms)
            best_read = read_ms if best_read is None else min(best_read, read_ms)
        print(f"save of {SCALARS} scalars of 50 digits: {best_save} ms; read: {best_read} ms")

        shadows = {}
        for rounds in (10000, 40000):
            with open(os.path.join(cwd, f"shadows{rounds}.sav"), "w") as f:
                f.write("Array d[3];\n[d] := [[4/5, 8/7, 3/11]];\nArray d[1];\n"
                        "Array s[4,4] Sparse;\ns[1,2] := 3/5;\nArray s[2,2] Sparse;\n" * rounds)
            shadows[rounds] = time_read(binary, cwd, f"shadows{rounds}.sav", runs)
        print(f"read of 10,000 / 40,000 rounds shadowing arrays: {shadows[10000]} / {shadows[40000]} ms "
              f"({shadows[40000] / max(shadows[10000], 1):.1f}x, about 4)")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
