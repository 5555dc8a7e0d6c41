#!/usr/bin/env python3
"""Random short programs of the whole language run on the built interpreter.

Each program is drawn from a seeded generator over one or more families
(arithmetic, arrays, matrix commands, functions, loops, ring changes with
conversion lists, relations, nested levels, malformed input), then shows
every value it made, saves, and shows them once more. A fresh process reads
the save file and shows the same values. Each run must end normally (status
0, within the time limit), print no "Tarvex error." line and no sanitizer
report, and the values shown after the read must be the ones shown before
the save.

  random_programs.py TARVEX [COUNT [SEED [FAMILY,...]]]

COUNT programs (default 300) from SEED (default 1); FAMILY,... limits the
families drawn (default: the ones in DEFAULT_FAMILIES). Programs run two at
a time. A failing program is printed whole, so that it can be replayed.
"""
import concurrent.futures
import os
import random
import re
import subprocess
import sys
import tempfile

TIME_LIMIT = 20          # seconds for one run
MARK = "MARKQZ"          # printed where the shows begin
SAVE_FILE = "rt.sav"

ALL_FAMILIES = ["arith", "arrays", "matrix", "functions", "loops", "levels", "malformed", "rings", "relations",
                "standins", "shadows"]
DEFAULT_FAMILIES = ALL_FAMILIES


class Program:
    """Statements and the names whose values the program leaves."""

    def __init__(self, rng):
        self.rng = rng
        self.lines = []
        self.scalars = set()
        self.arrays = {}          # name -> (rows, cols)
        self.functions = set()    # calls that show what functions give
        self.defined = set()      # every function name defined
        self.polyvars = []
        self.modulus = None       # the ring's modulus when arithmetic is modular

    def add(self, *lines):
        self.lines.extend(lines)

    # ---- pieces ----
    def small(self):
        r = self.rng
        k = r.random()
        if k < 0.5:
            return str(r.randint(-30, 30))
        if k < 0.7:
            return f"{r.randint(-99, 99)}/{r.randint(1, 20)}"
        if k < 0.85:
            return f"2^{r.randint(20, 70)}"
        return str(r.randint(10**12, 10**20))

    def atom(self):
        r = self.rng
        pool = [self.small()]
        if self.scalars:
            pool.append(r.choice(sorted(self.scalars)))
        if self.polyvars:
            pool.append(r.choice(self.polyvars))
        return r.choice(pool)

    def expr(self, depth=2):
        r = self.rng
        if depth == 0 or r.random() < 0.3:
            return self.atom()
        op = r.choice(["+", "-", "*", "*", "/"])
        a, b = self.expr(depth - 1), self.expr(depth - 1)
        if op == "/":
            b = f"({b} + 1000003)" if r.random() < 0.5 else "7"
        if r.random() < 0.2:
            return f"({a} {op} {b})^{r.randint(0, 3)}"
        return f"({a} {op} {b})"

    def new_scalar(self):
        name = self.rng.choice("abcdefgh") + self.rng.choice(["", "1", "2", "z"])
        if name in self.polyvars:
            name += "q"
        return name

    def ensure_polyvar(self):
        if not self.polyvars:
            v = self.rng.choice(["x", "t", "u"])
            self.add(f"&(J = {v});")
            self.polyvars.append(v)

    # ---- families ----
    def arith(self):
        r = self.rng
        if r.random() < 0.4:
            self.ensure_polyvar()
        for _ in range(r.randint(2, 5)):
            name = self.new_scalar()
            self.add(f"{name} := {self.expr()};")
            self.scalars.add(name)
        if self.scalars and r.random() < 0.3:
            name = r.choice(sorted(self.scalars))
            self.add(f"{name} :+ {r.randint(1, 9)};")

    def fresh(self, prefix, taken):
        k = len(taken)
        while f"{prefix}{k}" in taken:
            k += 1
        return f"{prefix}{k}"

    def new_array(self, rows, cols, sparse=False):
        name = self.fresh("m", self.arrays)
        kind = " Sparse" if sparse else ""
        self.add(f"Array {name}[{rows},{cols}]{kind};")
        self.arrays[name] = (rows, cols)
        return name

    def fill(self, name):
        r = self.rng
        rows, cols = self.arrays[name]
        cells = ", ".join(str(r.randint(-9, 9)) for _ in range(rows * cols))
        self.add(f"[{name}] := [({cells})];")

    def arrays_family(self):
        r = self.rng
        n = r.randint(1, 4)
        sparse = r.random() < 0.3
        name = self.new_array(n, n, sparse)
        if self.rng.random() < 0.7:
            self.fill(name)
        for _ in range(r.randint(1, 4)):
            i, j = r.randint(0, n + 1), r.randint(0, n + 1)
            self.add(f"{name}[{i},{j}] := {self.expr(1)};")
        if r.random() < 0.4:
            # A sparse value into a dense array is the stand-ins' case.
            other = self.new_array(n, n, sparse)
            self.add(f"[{other}] := Trans[{name}];")
        return name

    def standins(self):
        """Stand-in and sparse values assigned to a stored dense array."""
        r = self.rng
        name = self.arrays_family()
        n = self.arrays[name][0]
        if r.random() < 0.5:
            self.add(f"[{name}] := [{r.randint(-3, 3)}];")
        else:
            sparse = self.new_array(n, n, True)
            self.add(f"{sparse}[1,1] := {r.randint(1, 9)};")
            dense = self.new_array(n, n)
            self.add(f"[{dense}] := {r.choice(['Trans', '-', ''])}[{sparse}];")

    def matrix(self):
        r = self.rng
        n = r.randint(1, 4)
        name = self.new_array(n, n, sparse=r.random() < 0.3)
        self.fill(name)
        for _ in range(r.randint(1, 3)):
            cmd = r.choice(["Det[{a}];", "Trace[{a}];", "Chpoly([{a}]);", "Rowreduce([{a}]);",
                            "Hermite([{a}]);", "Sum[{a}];", "[{a}] := [{a}]*[{a}];", "[{a}] := -[{a}];",
                            "[{a}] := [{a}] + [{a}];", "Cols[{a}];", "Deg[{a}];"])
            if "Chpoly" in cmd:
                self.ensure_polyvar()
            self.add(cmd.format(a=name))

    def functions_family(self):
        r = self.rng
        fname = self.fresh("F", self.defined)
        self.defined.add(fname)
        k = r.random()
        if k < 0.2:
            self.add(f"Func {fname}(n) = if n < 2 then n else {fname}(n - 1) + {fname}(n - 2) fi.")
            self.add(f"{fname}({r.randint(0, 12)});")
            self.functions.add(f"{fname}({r.randint(0, 9)})")
        elif k < 0.3:
            self.add(f"Func {fname}(n) = Sigma<i = 1, n>(Prod<j = 1, i>(j + {r.randint(-3, 3)})) - n.")
            self.functions.add(f"{fname}({r.randint(-1, 7)})")
        elif k < 0.6:
            body = self.expr(2)
            self.add(f"Func {fname} = {body}.")
            self.functions.add(fname)
            self.add(f"{fname};")
        elif k < 0.8:
            self.add(f"Func {fname}(^v, w) = v := v + w; v * 2.")
            name = self.new_scalar()
            self.add(f"{name} := {r.randint(-5, 5)};", f"{fname}({name}, {r.randint(1, 5)});")
            self.scalars.add(name)
        else:
            self.add(f"Func {fname}(n) = Integer; s := 0; for i = 1 to n do s := s + i * i od; s.")
            self.add(f"{fname}({r.randint(0, 40)});")
            self.functions.add(f"{fname}({r.randint(0, 40)})")

    def shadows(self):
        """A second definition of a function, a second declaration of an array."""
        r = self.rng
        if not self.defined or r.random() < 0.5:
            self.functions_family()
        fname = r.choice(sorted(self.defined))
        self.add(f"Func {fname} = {r.randint(0, 99)}.")
        self.functions.add(fname)
        if not self.arrays:
            self.arrays_family()
        name = r.choice(sorted(self.arrays))
        n = r.randint(1, 3)
        self.add(f"Array {name}[{n},{n}];")
        self.arrays[name] = (n, n)
        self.fill(name)

    def loops(self):
        r = self.rng
        name = self.new_scalar()
        self.add(f"{name} := 0;")
        self.scalars.add(name)
        k = r.random()
        if k < 0.4:
            self.add(f"for i = {r.randint(-3, 3)} to {r.randint(0, 12)} by {r.randint(1, 3)} do "
                     f"{name} := {name} + i^2 od;")
        elif k < 0.7:
            limit, step = r.randint(0, 50), r.randint(1, 7)
            # Residues wrap round below the limit, and in GF(2^8) adding 1
            # goes 0, 1, 0, ...: such a loop must count by 1 to a limit the
            # residues reach.
            if self.modulus == 256:
                limit, step = r.randint(0, 1), 1
            elif self.modulus is not None and self.modulus <= limit + step:
                limit, step = r.randint(0, self.modulus - 1), 1
            self.add(f"while {name} < {limit} do {name} := {name} + {step} od;")
        else:
            self.add(f"if {self.expr(1)} > {self.expr(1)} then {name} := 1 else {name} := 2 fi;")
        self.add(f"{name};")

    def levels(self):
        r = self.rng
        fname = self.fresh("B", self.defined)
        self.defined.add(fname)
        self.add("&(e = 1);")
        self.add(f"Func {fname}(n) = a1 := 7 / n; a1 + 1.")
        self.add(f"{fname}(0);")
        if r.random() < 0.5:
            self.add(f"{self.new_scalar()} := 3;")
        self.add("&_p;")
        self.add("&(e = 0);")
        if "a1" not in self.polyvars:
            self.scalars.add("a1")

    def malformed(self):
        r = self.rng
        pieces = ["(", ")", "[", "]", ":=", "+", "*", "^", "if", "then", "fi", "do", "od", "for", "while",
                  "Func", "F", "=", ".", ",", "1", "x", "'", "{", "}", "&", "(p", "Array", "Sparse", "#", "|",
                  "<", ">", "Det", "@", "_", "$", "!", "?"]
        k = r.random()
        if k < 0.5:
            # A valid statement cut short.
            other = Program(r)
            other.scalars = set(self.scalars)
            other.arith()
            line = r.choice(other.lines)
            line = line[:r.randint(1, max(1, len(line) - 1))]
        else:
            line = " ".join(r.choice(pieces) for _ in range(r.randint(1, 8)))
        if k > 0.9:
            # A definition begun inside a header or condition.
            line = r.choice(["for i = ", "if ", "while "]) + "Func Q" + r.choice(["(u) = 1", " = ", " = 2 to 3"])
        if r.random() < 0.2:
            # Left open: the shows and the save that follow are read into it.
            self.add(line)
            return
        # Quotes, comments and unclosed constructs read on past the line:
        # they are closed, so that the shows that follow are still read.
        self.add(line + " ' } fi od fi od ) ] . ;")
        self.add("&@;")

    def rings(self):
        r = self.rng
        name = self.new_scalar()
        self.add(f"{name} := {self.small()};")
        self.scalars.add(name)
        p = r.choice([7, 13, 101, 65521, 256])
        conv = ""
        if r.random() < 0.6:
            items = [n if r.random() < 0.5 else "*" + n for n in sorted(self.scalars)[:3]]
            conv = " : " + ", ".join(items) if r.random() < 0.8 else " : **"
        self.add(f"&(p = {p}{conv});", f"{name} + 1;")
        self.modulus = p
        if r.random() < 0.7:
            self.add("&(p = _i);")
            self.modulus = None

    def relations(self):
        r = self.rng
        self.ensure_polyvar()
        v = self.polyvars[0]
        if r.random() < 0.5:
            self.modulus = r.choice([7, 97, 101])
            self.add(f"&(p = {self.modulus});")
        self.add(f"&(P = {v}^2 + {r.randint(1, 5)});")
        name = self.new_scalar()
        self.add(f"{name} := ({v} + 1)^{r.randint(2, 5)};")
        self.scalars.add(name)


FAMILY_METHODS = {
    "arith": Program.arith, "arrays": Program.arrays_family, "matrix": Program.matrix,
    "functions": Program.functions_family, "loops": Program.loops, "levels": Program.levels,
    "malformed": Program.malformed, "rings": Program.rings, "relations": Program.relations,
    "standins": Program.standins, "shadows": Program.shadows,
}


def make_program(seed, families):
    rng = random.Random(seed)
    prog = Program(rng)
    for _ in range(rng.randint(1, 4)):
        FAMILY_METHODS[rng.choice(families)](prog)
    return prog


def shows(prog):
    """The statements that show every value the program left."""
    out = [f"{n};" for n in sorted(prog.scalars)]
    out += [f"[{n}];" for n in sorted(prog.arrays)]
    out += [f"{f};" for f in sorted(prog.functions)]
    return out


def run(binary, cwd, lines):
    script = "\n".join(lines) + "\n"
    try:
        proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired:
        return None, "", ""
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


def shown_values(out):
    """The outputs of the statements after the mark, one per prompt."""
    # The mark as printed after a prompt, not as echoed by an error.
    at = out.find(">" + MARK + "\n")
    if at < 0:
        return None
    # Prompts of nested levels carry the level's number.
    blocks = re.split(r"\n[2-9]?>", out[at:])[1:]
    # Showing an array sets its unset cells to 0 with a warning, and the
    # save writes them as 0: the first show may have been swallowed by an
    # unfinished malformed statement, so the warning is no difference.
    warning = "Warning. Uninitialized array element has been set to 0.\n"
    return [b.replace(warning, "").strip() for b in blocks]


def problems_of(code, out, err, what):
    found = []
    if code is None:
        found.append(f"{what}: no end within {TIME_LIMIT} s")
    elif code != 0:
        found.append(f"{what}: exit status {code}")
    if "Tarvex error." in out:
        found.append(f"{what}: 'Tarvex error.' printed")
    if "Sanitizer" in err or "runtime error" in err:
        found.append(f"{what}: sanitizer report:\n{err[-3000:]}")
    return found


def same_by_subtraction(binary, cwd, prog, show, before, after):
    """Values shown differently before the save and after the read: under
    a relation that does not make a field a quotient has no unique form, so
    the two are compared by their difference, which must be 0."""
    n = len(show)
    differ = [i for i in range(n) if before[i] != after[i]]
    scalar = all(show[i][0].islower() for i in differ)
    if not (scalar and any(line.startswith("&(P =") for line in prog.lines)):
        return ["values changed by save and read:\n  before: " + repr(before[:n]) + "\n  after:  " + repr(after[:n])]
    third = [f"&(R = '{SAVE_FILE}');", f"!('{MARK}');"]
    third += [f"{show[i][:-1]} - ({' '.join(before[i].split())});" for i in differ] + ["&q;"]
    code, out, err = run(binary, cwd, third)
    problems = problems_of(code, out, err, "difference")
    diffs = shown_values(out)
    if diffs is None or any(d != "0" for d in diffs[:len(differ)]):
        problems.append("values changed by save and read (difference not 0):\n  before: " + repr(before[:n])
                        + "\n  after:  " + repr(after[:n]) + "\n  differences: " + repr(diffs))
    return problems


def check_one(binary, seed, families):
    prog = make_program(seed, families)
    show = shows(prog)
    with tempfile.TemporaryDirectory() as cwd:
        # Shown twice: the first show may set uninitialised cells to 0.
        first = prog.lines + show + [f"!('{MARK}');"] + show + [f"&(S = '{SAVE_FILE}');", "&s;", "&(S = @);", "&q;"]
        code, out, err = run(binary, cwd, first)
        problems = problems_of(code, out, err, "program")
        before = shown_values(out)
        if problems or before is None or not os.path.exists(os.path.join(cwd, SAVE_FILE)):
            # A statement that swallowed the shows is not a fault by itself.
            return seed, prog, problems, False
        second = [f"&(R = '{SAVE_FILE}');", f"!('{MARK}');"] + show + ["&q;"]
        code, out2, err2 = run(binary, cwd, second)
        problems += problems_of(code, out2, err2, "read back")
        after = shown_values(out2)
        n = len(show)
        if after is not None and before[:n] != after[:n]:
            problems += same_by_subtraction(binary, cwd, prog, show, before, after)
        elif after is None:
            problems.append("values changed by save and read:\n  before: " + repr(before[:n]) + "\n  after:  None")
    return seed, prog, problems, True


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 300
    seed = int(argv[3]) if len(argv) > 3 else 1
    families = argv[4].split(",") if len(argv) > 4 else DEFAULT_FAMILIES
    for f in families:
        if f not in FAMILY_METHODS:
            sys.exit(f"unknown family {f}; known: {', '.join(ALL_FAMILIES)}")
    failed = 0
    round_trips = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        jobs = [pool.submit(check_one, binary, seed * 100003 + k, families) for k in range(count)]
        for job in jobs:
            s, prog, problems, compared = job.result()
            round_trips += compared
            if problems:
                failed += 1
                if failed <= 10:
                    print(f"--- program {s} ({', '.join(problems)})")
                    print("\n".join(prog.lines))
    print(f"{count} programs ({', '.join(families)}), {round_trips} round trips compared, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
