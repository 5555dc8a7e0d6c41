#!/usr/bin/env python3
"""A file read inside a function call that deletes or declares arrays: the
call's array parameter, the caller's array behind it, both, an alias of an
outer call, after or before declaring others, the parameter's name
declared again, a string answered into either, factors stored into the
parameter, or through a second file. Random rings (rationals, modulo 7
and 12, GF(2^8), GF(2^16)), dense and sparse arrays of several shapes, and
routes (the read in the body, in a loop, an if body or an Integer; body,
calls nested two deep, recursive calls, the call made from a file).
Whatever the read does, each session must end, the arrays the call never
named hold after it what a session without the call shows, arrays
declared after it work, and a fresh process that reads the session's
save shows every array as the session did.
  array_params_read.py TARVEX [SEED [COUNT]]
"""
import os
import random
import subprocess
import sys
import tempfile

RINGS = ["", "&(p = 7);", "&(p = 12);", "&(p = 256);", "&(p = 65536);"]
READS = ["@[{p}];", "@[a];", "@[{p}]; @[a];", "@[a]; @[{p}];", "@[a]; Array w[3] Sparse; w[1] := 4;",
         "@[a]; Array w[2]; w[1] := 4; w[2] := 5;", "Array w[2,2] Sparse; @[{p}];", "@[{p}]; Array {p}[3];",
         "Array {p}[3] Sparse; {p}[2] := 5;", "@[m];", "?[{p}]:char;", "?[a]:char; {p}[2] := 3;",
         "n := Factor(x^2 - 1, [{p}]);", "Array {p}[2]; @[{p}]; @[{p}];", "&(R = 'g.txt');"]
# The function F(b) (or F(b, n)) whose body reads f.txt, and the call.
ROUTES = [("Func F(b) = {r}; b[1] := 6; 1.", "F([a]);"),
          ("Func F(b) = for i = 1 to 2 do {r} od; b[1] := 6; 1.", "F([a]);"),
          ("Func F(b) = Integer; {r}; b[1] := 6; 1.", "F([a]);"),
          ("Func F(b) = if b[1] = b[1] then {r} fi; b[1] := 6; 1.", "F([a]);"),
          ("Func F(b) = {r}; b[1] := 6; 1.\nFunc G(m) = F([m]); m[1] := 5; 2.", "G([a]);"),
          ("Func F(b, n) = if n > 0 then F([b], n - 1) else {r} fi; b[1] := 6; 1.", "F([a], 2);"),
          ("Func F(b) = {r}; b[1] := 6; 1.", "&(R = 'c.txt');")]
BYSTANDERS = ["z", "q", "y", "d", "e", "f"]
NAMES = BYSTANDERS + ["a", "b", "m", "w"]
SAVE = ["&(S = 's.sav');", "&s;", "&(S = @);"]


def declare(rng, name, shape, sparse):
    rows, cols = shape
    lines = [f"Array {name}[{rows}{',' + str(cols) if cols else ''}]{' Sparse' if sparse else ''};"]
    # Every dense cell set: a save writes an absent one as a present 0.
    for i in range(1, rows + 1):
        for j in range(1, (cols or 1) + 1):
            if not sparse or rng.random() < 0.5:
                lines.append(f"{name}[{i}{',' + str(j) if cols else ''}] := {rng.randint(1, 6)};")
    return lines


def scenario(rng):
    shapes = [(2, 0), (3, 0), (2, 2), (1, 3)]
    arr = lambda n: declare(rng, n, rng.choice(shapes), rng.random() < 0.5)
    func, call = rng.choice(ROUTES)
    read = rng.choice(READS[:-1] + READS[-1:] * 2)
    param = rng.choice(["b", "m"]) if "G(" in func else "b"
    files = {"f.txt": read.format(p=param), "g.txt": rng.choice(READS[:-1]).format(p=param), "c.txt": "F([a]);"}
    before = [rng.choice(RINGS), "&(J = x);"] + arr("z") + arr("q") + arr("a") + arr("y")
    after = arr("d") + arr("e") + arr("f") + ["Array h[5];", "[h] := [(5, 6)];"]
    return files, before, func.format(r="&(R = 'f.txt')"), call, after


def run(binary, cwd, lines):
    proc = subprocess.run([binary], input=("\n".join(lines) + "\n&q;\n").encode(), capture_output=True, cwd=cwd,
                          timeout=60)
    report = proc.stderr.decode("utf-8", "replace")
    if "runtime error" in report or "Sanitizer" in report:
        raise RuntimeError(report)
    return proc.stdout.decode("utf-8", "replace").split("\n>")


# The outputs of the k statements before the last one (the quit), or
# before the save's.
def shown(blocks, k, saved=0):
    return blocks[-k - 1 - saved:len(blocks) - 1 - saved]


def main():
    binary = os.path.abspath(sys.argv[1])
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20261211
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 60
    rng, failures = random.Random(seed), 0
    for case in range(count):
        files, before, func, call, after = scenario(rng)
        show = [f"![{n}];" for n in NAMES]
        with tempfile.TemporaryDirectory() as cwd:
            for fname, text in files.items():
                with open(os.path.join(cwd, fname), "w") as out:
                    # A read runs one statement a line.
                    out.write(text.replace("; ", ";\n") + "\n")
            try:
                # Answers for the questions the reads ask (a harmless error
                # where none is asked).
                with_call = run(binary, cwd, before + [func, call, "xy'", "xy'"] + after + show + SAVE)
                without = run(binary, cwd, before + [func] + after + show)
                read_back = run(binary, cwd, ["&(R = 's.sav');"] + show)
            except (subprocess.TimeoutExpired, RuntimeError) as stop:
                print(f"FAIL case {case}: {str(stop)[:2000]}\n{files}\n{before}\n{func}\n{call}")
                failures += 1
                continue
        session = shown(with_call, len(NAMES), len(SAVE))
        problems = [f"{n} after the call:{x}\nwithout it:{y}" for n, x, y in
                    zip(BYSTANDERS, session, shown(without, len(NAMES))) if x != y]
        problems += [f"{n} in the session:{x}\nread back:{y}" for n, x, y in
                     zip(NAMES, session, shown(read_back, len(NAMES))) if x != y]
        if problems:
            failures += 1
            if failures <= 5:
                print(f"FAIL case {case}: {files}\n" + "\n".join(before + [func, call] + after))
                print("\n".join(problems[:4]))
    print(f"{count - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
