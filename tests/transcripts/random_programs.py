#!/usr/bin/env python3
"""Random short programs of the whole language run through the built
interpreter, one fresh process each.

Every program mixes statements of a few families (scalars, arrays, matrix
commands, functions, loops, ring changes with conversion lists, relations,
save and read, nested levels, malformed input). The checks hold whatever the
statements compute, so a wrong statement is as good a test as a right one:

  - the process ends by itself, within the time limit, with status 0 (no
    crash, no hang);
  - no line says "Tarvex error." (an internal consistency failure reached
    from user input);
  - after the program, back at the top level, the values of every name the
    program could have made are shown, the state is saved, and a fresh
    process that reads the save file shows exactly the same text.

  random_programs.py TARVEX [COUNT [SEED [FAMILIES]]]

COUNT programs (default 300) from SEED (default 1); FAMILIES is a comma
list of family names (default: all). Programs run two at a time. A failing
program is printed whole, so it can be replayed by hand.
"""
import concurrent.futures
import os
import random
import subprocess
import sys
import tempfile

TIME_LIMIT = int(os.environ.get("RANDOM_TIME_LIMIT", "20"))
SCALARS = ["a", "b", "c", "d"]
ARRAYS = ["m", "n", "s", "v"]
FUNCS = ["F", "G"]
MARK = "!('@@BEGIN@@');"
END_MARK = "!('@@END@@');"


class Gen:
    def __init__(self, rng):
        self.rng = rng
        self.polyvars = []

    def pick(self, seq):
        return self.rng.choice(seq)

    # ---------------------------------------------------------- expressions
    def number(self):
        r = self.rng.random()
        if r < 0.5:
            return str(self.rng.randint(-9, 30))
        if r < 0.7:
            return f"{self.rng.randint(-50, 50)}/{self.rng.randint(1, 12)}"
        if r < 0.85:
            return f"2^{self.rng.choice([10, 28, 31, 32, 40, 64, 100])}"
        return str(self.rng.randint(-10**30, 10**30))

    def atom(self):
        r = self.rng.random()
        if r < 0.35 or not (self.polyvars or r > 0.7):
            return self.number()
        if r < 0.7 and self.polyvars:
            return self.pick(self.polyvars)
        if r < 0.85:
            return self.pick(SCALARS)
        return f"{self.pick(ARRAYS)}[{self.rng.randint(1, 3)},{self.rng.randint(1, 3)}]"

    def expr(self, depth=0):
        if depth > 2 or self.rng.random() < 0.35:
            return self.atom()
        op = self.pick(["+", "-", "*", "/", "^"])
        left = self.expr(depth + 1)
        if op == "^":
            return f"({left})^{self.rng.randint(-2, 5)}"
        return f"({left} {op} {self.expr(depth + 1)})"

    # ---------------------------------------------------------- families
    def scalars(self):
        v = self.pick(SCALARS)
        return self.pick([
            f"{v} := {self.expr()};",
            f"{v};",
            f"{v} :+ {self.atom()};",
            f"@{v};",
            f"{v} := {self.pick(SCALARS)} * {self.atom()} + 1;",
            f"{v} := <;",
        ])

    def arrays(self):
        a = self.pick(ARRAYS)
        k = self.rng.randint(1, 4)
        cells = ", ".join(self.number() for _ in range(k * k))
        return self.pick([
            f"Array {a}[{k},{k}];",
            f"Array {a}[{k},{k}] Sparse;",
            f"Array {a}[{k}];",
            f"[{a}] := [({cells})];",
            f"[{a}] := [{self.number()}];",
            f"[{a}] := [];",
            f"{a}[{self.rng.randint(1, 4)},{self.rng.randint(1, 4)}] := {self.expr()};",
            f"[{a}] := [{self.pick(ARRAYS)}] * [{self.pick(ARRAYS)}];",
            f"[{a}] := [{self.pick(ARRAYS)}] + [{self.pick(ARRAYS)}];",
            f"[{a}] := -[{self.pick(ARRAYS)}];",
            f"[{a}] := Trans [{self.pick(ARRAYS)}];",
            f"[{a}] := {self.atom()} * [{self.pick(ARRAYS)}];",
            f"[{a}];",
            f"@[{a}];",
            f"[{a}] := '{self.pick(['abc', 'x', 'hello'])}';",
            f"[{a}[1~2, ]] := [{self.pick(ARRAYS)}[2~3, ]];",
            f"%[{self.rng.randint(1, 3)}] := [{a}];",
            f"%[{self.rng.randint(1, 3)}][1, 1] := {self.atom()};",
            f"[{a}] := [<i = 1, {k}><j = 1, {k}> i + j];",
            f"![{a}];",
            f"{a}[{self.rng.randint(1, 4)}] :+ {self.atom()};",
        ])

    def matrix(self):
        a = self.pick(ARRAYS)
        return self.pick([
            f"Det [{a}];",
            f"Det[{a}];",
            f"[{self.pick(ARRAYS)}] := 1/[{a}];",
            f"Rowreduce([{a}]);",
            f"Redrowech([{a}]);",
            f"Colreduce([{a}]);",
            f"Normalize([{a}]);",
            f"Hermite([{a}]);",
            f"Smith([{a}]);",
            f"Chpoly([{a}]);",
            f"Minpoly([{a}], 1);",
            f"Trace([{a}]);",
            f"Cols [{a}];",
            f"SDet([{a}]);",
            f"Det([{a}], {self.atom()});",
            f"&(D = {self.rng.randint(0, 3)});",
            f"&(K = {self.rng.randint(0, 1)});",
            f"&(L = {self.rng.randint(0, 1)});",
            f"Factor({self.expr()}, [{self.pick(ARRAYS)}]);",
            f"Sqfree({self.expr()}, [{self.pick(ARRAYS)}]);",
            f"{self.pick(SCALARS)} := Rowreduce([{a}]);",
        ])

    def functions(self):
        f = self.pick(FUNCS)
        return self.pick([
            f"Func {f}(u) = u^2 + {self.atom()}.",
            f"Func {f}(u, w) = u * w - {self.atom()}.",
            f"Func {f} = {self.atom()}.",
            f"Func {f}(^u) = u := u + 1.",
            f"{f}({self.atom()});",
            f"{f}({self.atom()}, {self.atom()});",
            f"{f}({self.pick(SCALARS)});",
            f"@{f};",
            f"Func {f}(n) = Integer; n * 2.",
        ])

    def loops(self):
        v = self.pick(SCALARS)
        return self.pick([
            f"for i = 1 to {self.rng.randint(0, 4)} do {v} := {v} + i od;",
            f"if {self.atom()} = {self.atom()} then {v} := 1; else {v} := 2; fi;",
            # Ends in every ring (counting up to 3 would not in characteristic 2).
            f"{v} := 3; while {v} <> 0 do {v} := {v} - {v} od;",
            f"Sigma<i = 1, {self.rng.randint(1, 5)}>({self.atom()} * i);",
        ])

    def rings(self):
        names = ", ".join(self.rng.sample(SCALARS + [f"[{x}]" for x in ARRAYS], self.rng.randint(0, 3)))
        star = self.pick(SCALARS)
        p = self.pick(["7", "13", "97", "65521", "256", "65536", "5", "2", "15", "84"])
        return self.pick([
            f"&(p = {p});",
            "&(p = _i);",
            "&(p = _i);",
            f"&(p = {p} : {names});",
            f"&(p = {p} : *{star});",
            f"&(p = {p} : **);",
            f"&(p = {p} : {star}, *{star});",
            f"&(p = {p} : );",
            "&(l = 1);",
            "&(l = 0);",
        ])

    def relations(self):
        if not self.polyvars or self.rng.random() < 0.3:
            v = self.pick(["t", "x", "y"])
            if v not in self.polyvars:
                self.polyvars.append(v)
            return f"&(J = {v});"
        v = self.pick(self.polyvars)
        rel = self.pick([f"{v}^2 + 1", f"{v}^2 + {v} + 1", f"{v}^3 - 2", f"{v}^2 - 2"])
        return self.pick([f"&(P = {rel}, 1);", f"&(P = {rel});"])

    def saves(self):
        return self.pick([
            "&(S = 'mid.sav'); &s; &(S = @);",
            "&(R = 'mid.sav');",
        ])

    def levels(self):
        return self.pick([
            "&_P;",
            "&_p;",
            "&e;",
            "&@;",
            f"{self.pick(SCALARS)} := 7 \\ 0;",
            f"{self.pick(SCALARS)} := 1/0;",
            "undefinedname;",
        ])

    def malformed(self):
        pieces = ["(", ")", "[", "]", ",", ":=", "+", "*", "^", "Func", "if", "then",
                  "fi", "do", "od", "&", "'", "@", "#", "x", "1", "Array", "Det", "<", ">"]
        if self.rng.random() < 0.2:
            return self.pick(["for i = Func G(u) = 1", "if Func G = ", "while", "if 1 then {",
                              "Func F = ).", "[[1, 2", "Array q[", "&(p = 7 : b, "])
        line = [self.pick(pieces) for _ in range(self.rng.randint(1, 6))]
        # A quote opens a literal that runs on over line ends until the next
        # quote, as it should; an odd one would swallow the rest of the
        # program, the reset and the checks. Close it on the same line.
        if line.count("'") % 2:
            line.append("'")
        return " ".join(line) + ";"

    FAMILIES = ["scalars", "arrays", "matrix", "functions", "loops", "rings",
                "relations", "saves", "levels", "malformed"]

    def program(self, families):
        lines = []
        for _ in range(self.rng.randint(3, 14)):
            lines.append(getattr(self, self.pick(families))())
        return lines


def display_block():
    """Shows every name a program can make, in a fixed order."""
    # Begins at the lowest level: with pushing after errors on, a failing
    # call in an earlier block (F(2, 3) with F of one parameter) leaves a
    # level open, whose number the later prompts show; the read-back run
    # shows the block once, from the lowest level.
    lines = ["&@;", MARK]
    lines += [f"{v};" for v in SCALARS]
    lines += [f"[{a}];" for a in ARRAYS]
    lines += [f"{f}(2, 3);" for f in FUNCS]
    lines += ["&f *;", "&g;", END_MARK]
    return lines


# Back to the top level whatever the program left open: a comment is
# closed, an unfinished array literal ended, an unfinished
# definition is cancelled by empty lines, an open statement by its end,
# every nested level by &@.
RESET = ["}", "]]", "", ")", "fi", "od", ";"] + [""] * 16 + [";", "&@;"]


def run(binary, text, cwd):
    try:
        proc = subprocess.run([binary], input=text.encode(), capture_output=True,
                              cwd=cwd, timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired:
        return None, ""
    out = proc.stdout.decode("utf-8", "replace")
    if proc.returncode != 0:
        # What a sanitizer build says of the fault is on standard error.
        report = [line for line in proc.stderr.decode("utf-8", "replace").splitlines()
                  if "ERROR:" in line or "runtime error" in line]
        out += "".join(f"\n[stderr] {line}" for line in report[:2])
    return proc.returncode, out


def shown_block(out):
    """The text between the last pair of markers, without the lines of the
    settings listing that name a file still being read (the one that
    restores the state) or an output file left open (a bare &s; asks for a
    name and takes the next line; an open output file is no value and no
    save carries it)."""
    start = out.rfind("@@BEGIN@@")
    end = out.rfind("@@END@@")
    if start < 0 or end < start:
        return None
    return "".join(line for line in out[start:end].splitlines(True)
                   if not line.startswith((" Reading from file", " Saving to file")))


def check_program(binary, lines):
    """A list of the faults of one program (empty when it passed)."""
    faults = []
    with tempfile.TemporaryDirectory() as cwd:
        # Shown twice: showing an array sets its unset cells to 0 (with a
        # warning), which the save then carries; the second showing is the
        # state saved.
        first = "\n".join(lines + RESET + display_block() + display_block() +
                          ["&(S = 'end.sav'); &s; &(S = @);", "&q;"]) + "\n"
        code, out = run(binary, first, cwd)
        if code is None:
            return [f"no end within {TIME_LIMIT} s"]
        if code != 0:
            faults.append(f"exit status {code}" + "".join(
                " " + line for line in out.splitlines() if line.startswith("[stderr]")))
        if "Tarvex error." in out:
            faults.append("internal error: " + out[out.find("Tarvex error."):][:120].splitlines()[0])
        if faults or not os.path.exists(os.path.join(cwd, "end.sav")):
            return faults + ([] if faults else ["no save file written"])
        shown = shown_block(out)
        second = "\n".join(["&(R = 'end.sav');"] + display_block() + ["&q;"]) + "\n"
        code2, out2 = run(binary, second, cwd)
        if code2 is None:
            return [f"reading the save: no end within {TIME_LIMIT} s"]
        if code2 != 0:
            return [f"reading the save: exit status {code2}"]
        if "Tarvex error." in out2:
            return ["reading the save: internal error"]
        shown2 = shown_block(out2)
        if shown is None or shown2 is None or shown != shown2:
            faults.append("the save read back shows other values")
            faults.append(first_difference(shown or "", shown2 or ""))
    return faults


def first_difference(a, b):
    la, lb = a.splitlines(), b.splitlines()
    for i in range(max(len(la), len(lb))):
        x = la[i] if i < len(la) else "<none>"
        y = lb[i] if i < len(lb) else "<none>"
        if x != y:
            return f"line {i + 1}: before save {x!r}, after read {y!r}"
    return "same lines"


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 300
    seed = int(argv[3]) if len(argv) > 3 else 1
    families = argv[4].split(",") if len(argv) > 4 else Gen.FAMILIES
    programs = []
    for k in range(count):
        gen = Gen(random.Random(seed * 1000003 + k))
        programs.append(gen.program(families))
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for k, faults in enumerate(pool.map(lambda p: check_program(binary, p), programs)):
            if faults:
                failed += 1
                if failed <= 10:
                    print(f"--- program {k} (seed {seed}):")
                    print("\n".join(programs[k]))
                    print("faults: " + "; ".join(faults))
    print(f"{count} programs, {count - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
