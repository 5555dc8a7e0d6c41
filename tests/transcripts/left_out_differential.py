#!/usr/bin/env python3
"""Values a conversion list leaves out, read in modular mode, against the
same computations after a full conversion.

Random integers (small and of 30 digits), rationals, polynomials over Z
and Q, rational functions and dense and sparse arrays of them are stored
in rational mode (in one run beside a relation, in another in Laurent
mode). Then, in Z/13, Z/7, Z/2, Z/2147483629, GF(2^8), GF(2^16) and Z/12
(denominators prime to 12):

  run L: &(p = q : z) leaves every value out (z is a dummy); run F:
  &(p = q) converts everything (the values without a residue set to 0
  first, since they would refuse the change). Each computation reading the values (the
  values shown, sums, products, differences, Deg, Terms, comparisons,
  array elements, dense and sparse arrays whole, their products and the
  built-ins reading them whole, assignments) must
  show the same in both runs, and so must the assigned values after the
  way back. In L every stored value must show after the way back exactly as
  before the change, and a save made in L before the way back, read in a
  fresh process, must give the same after its way back (not modulo 12).

Every value shown must be in normal form: no term with coefficient 0, no
0 entry of a sparse array, rationals in lowest terms. Values whose
denominator the modulus divides are left out of the comparison: read in
L they must be error 85 and come back unchanged.

  left_out_differential.py TARVEX [ROUNDS] [SEED]
"""
import math
import os
import random
import re
import subprocess
import sys
import tempfile

RINGS = [13, 7, 2, 2147483629, 256, 65536, 12]
FIELDS = (256, 65536)
ERROR = "*** Inappropriate symbol"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def run(binary, lines, cwd):
    proc = subprocess.run([binary], input=("\n".join(lines) + "\n").encode(), capture_output=True,
                          cwd=cwd, timeout=120)
    return proc.stdout.decode("utf-8", "replace")


def segments(out):
    """marker -> the text printed after `!('#marker');` up to the next marker."""
    parts = re.split(r">#(\S+)\n", out)
    found = {}
    for k in range(1, len(parts) - 1, 2):
        text = parts[k + 1]
        # The output statement's own value (0) and the prompt before the
        # next marker are not the computation's.
        text = re.sub(r"^\s*0\s*\n", "", text, count=1)
        text = re.sub(r"^>", "", text, flags=re.M)
        found[parts[k]] = " ".join(text.split())
    return found


def vanishing(q):
    """The integers that become 0: multiples of q (GF(2^8) and GF(2^16)
    hold the integers below 256 and 65536 as their bit patterns)."""
    return q


class Values:
    """Random stored values: (name, text) pairs; `bad` names hold a
    denominator that becomes 0."""

    def __init__(self, rng, q, variables):
        self.rng, self.q, self.vars = rng, q, variables
        self.c = vanishing(q)
        self.scalars, self.bad = [], set()

    def integer(self):
        r = self.rng.random()
        if r < 0.2:
            return str(self.rng.randint(10 ** 25, 10 ** 31) * self.rng.choice((1, -1)))
        if r < 0.45 and self.c < 100:
            return str(self.c * self.rng.randint(-5, 5))
        return str(self.rng.randint(-60, 60))

    def denominator(self, bad=False):
        if bad:
            return self.c * self.rng.randint(1, 3)
        while True:
            d = self.rng.randint(2, 40)
            # Under a composite modulus a denominator needs an inverse.
            if d % self.c and (self.q in FIELDS or math.gcd(d, self.q) == 1):
                return d

    def poly(self):
        terms = []
        for _ in range(self.rng.randint(1, 4)):
            mono = "*".join(f"{v}^{self.rng.randint(1, 3)}" for v in self.vars if self.rng.random() < 0.6)
            coef = self.integer()
            terms.append(f"({coef})" + (f"*{mono}" if mono else ""))
        return " + ".join(terms)

    def den_poly(self, bad=False):
        v = self.rng.choice(self.vars)
        if bad:
            return f"{self.c}*{v} + {self.c * self.rng.randint(1, 3)}"
        lead = self.denominator()
        return f"{lead}*{v}^{self.rng.randint(1, 2)} + ({self.integer()})"

    def value(self, kinds=("int", "rat", "poly", "qpoly", "ratfun")):
        kind = self.rng.choice(kinds)
        if kind == "int":
            return self.integer()
        if kind == "rat":
            return f"({self.integer()})/{self.denominator()}"
        if kind == "poly":
            return self.poly()
        if kind == "qpoly":
            return f"({self.poly()})/{self.denominator()}"
        return f"({self.poly()})/({self.den_poly()})"


def build(rng, q, variant):
    """The statements before the change, the names shown, the probes read
    in modular mode, the assignments, and the names that cannot convert."""
    setup = []
    variables = ["x", "y"]
    if variant == "relation":
        setup += ["&(J = t);", "&(P = t^3 - 2);"]
        variables = ["t", "x"]
    setup += [f"&(J = {v});" for v in variables if v != "t"]
    if variant == "laurent":
        setup.append("&(l = 1);")
    vals = Values(rng, q, variables)
    names = []
    for k in range(10):
        nm = f"v{k}"
        setup.append(f"{nm} := {vals.value()}:")
        names.append(nm)
    # Denominators that become 0: left out, they cannot be
    # read in the ring.
    bad = ["b0", "b1"]
    setup.append(f"b0 := ({variables[-1]} + {vals.integer()})/{vals.denominator(bad=True)}:")
    setup.append(f"b1 := 1/({vals.den_poly(bad=True)}):")
    setup.append("Array dm[2,2]:")
    for i in (1, 2):
        for j in (1, 2):
            setup.append(f"dm[{i},{j}] := {vals.value()}:")
    setup.append("Array sp[3,3] Sparse:")
    cells = rng.sample([(i, j) for i in (1, 2, 3) for j in (1, 2, 3)], 5)
    for i, j in cells:
        setup.append(f"sp[{i},{j}] := {vals.value()}:")
    # A square sparse array of numbers for the built-ins that read an
    # array whole.
    setup.append("Array sq[3,3] Sparse:")
    for i, j in rng.sample([(i, j) for i in (1, 2, 3) for j in (1, 2, 3)], 6):
        setup.append(f"sq[{i},{j}] := {vals.value(('int', 'rat'))}:")
    setup.append("z := 1:")
    kept = ["dm[1,2]", "dm[2,1]", "dm[2,2]"] + ["sp[%d,%d]" % c for c in cells if c != cells[1]]
    shown = names + bad + kept + ["[dm]", "[sp]"]
    probes = [f"{n};" for n in names] + ["[dm];", "dm[1,2] * 1;", "[dm] * [dm];"]
    probes += [f"sp[{i},{j}] * 1;" for i, j in cells] + ["[sp];", "[sp] * [sp];", "Det[sp];", "Det[dm];"]
    probes += [f"Chpoly([sq], {variables[-1]});", "Det([sq]);", "[tt] := Trans [sp]:\n[tt];",
               "[tq] := Trans [sq]:\n[tq] * [sq];", "Sort [sq];\n[sq];", "Rowreduce([sq]);\n[sq];"]
    for _ in range(12):
        a, b = rng.choice(names), rng.choice(names)
        probes.append(rng.choice([f"{a} + {b};", f"{a} * {b};", f"{a} - {a};", f"{a} * 1 - {b};"]))
    for n in rng.sample(names, 4):
        probes.append(rng.choice([f"Deg({n} * 1);", f"Terms({n} * 1);",
                                  f"if {n} = {n} * 1 then 1; else 2; fi;"]))
    assigns = [f"w{k} := {rng.choice(names)} * {rng.choice(names)} + {rng.choice(names)}:" for k in range(4)]
    assigns += ["wm := dm[2,1] + sp[%d,%d]:" % cells[0]]
    # Assigned in modular mode, a cell or entry comes back as its residue;
    # its neighbours come back as they were.
    assigns += [f"dm[1,1] := {rng.choice(names)} + 1:", "sp[%d,%d] := dm[1,2] * 2:" % cells[1]]
    return setup, shown, probes, assigns, bad


def show(s):
    return s if s.startswith("[") else s + ";"


def program(setup, shown, probes, assigns, bad, q, full):
    lines = list(setup)
    lines += [f"!('#before{k}'); {show(s)}" for k, s in enumerate(shown)]
    lines.append("!('#change');")
    if full:
        # Values without a residue would refuse the full change.
        lines += [f"{n} := 0:" for n in bad]
    lines.append(f"&(p = {q});" if full else f"&(p = {q} : z);")
    lines += [f"!('#probe{k}');\n{p}" for k, p in enumerate(probes)]
    if not full:
        lines += [f"!('#bad{k}');\n{n} + 1;" for k, n in enumerate(bad)]
    lines.append("!('#assign');")
    lines += assigns
    if not full:
        lines.append("&(S = 'lo.sav'); &s; &(S = @);")
    lines.append("&(p = _i);")
    lines.append("!('#back');")
    lines += [f"!('#after{k}'); {show(s)}" for k, s in enumerate(shown)]
    lines += [f"!('#assigned{k}'); {a.split(':=')[0].strip()};" for k, a in enumerate(assigns)]
    lines.append("!('#end');")
    return lines


def read_back(shown, assigns):
    """A fresh process reads the save and goes back to rational mode."""
    lines = ["&(R = 'lo.sav');", "&(R = @);", "!('#back');", "&(p = _i);"]
    lines += [f"!('#after{k}'); {show(s)}" for k, s in enumerate(shown)]
    lines += [f"!('#assigned{k}'); {a.split(':=')[0].strip()};" for k, a in enumerate(assigns)]
    lines.append("!('#end');")
    return lines


def normal_form_faults(text):
    faults = []
    if re.search(r"(?<![\d.^/])0[a-z(]", text):
        faults.append("a term with coefficient 0")
    if re.search(r"\[\d+, 0 \]", text):
        faults.append("a 0 entry of a sparse array")
    for a, b in re.findall(r"(?<![\w^])(\d+) / (\d+)(?![\w^(])", text):
        if math.gcd(int(a), int(b)) != 1:
            faults.append(f"{a} / {b} not in lowest terms")
    return faults


def one_case(binary, rng, q, variant):
    setup, shown, probes, assigns, bad = build(rng, q, variant)
    label = f"mod {q} ({variant})"
    with tempfile.TemporaryDirectory() as cwd:
        out_l = segments(run(binary, program(setup, shown, probes, assigns, bad, q, False), cwd))
        out_r = segments(run(binary, read_back(shown, assigns), cwd))
        out_f = segments(run(binary, program(setup, shown, probes, assigns, bad, q, True), cwd))
    context = "\n".join(setup)
    for k, p in enumerate(probes):
        got, want = out_l.get(f"probe{k}"), out_f.get(f"probe{k}")
        check(got is not None and got == want, f"{label}: {p} left out gives {got!r}, converted {want!r}\n{context}")
        if got:
            for fault in normal_form_faults(got):
                check(False, f"{label}: {p} shows {fault}: {got}\n{context}")
    for k, n in enumerate(bad):
        got = out_l.get(f"bad{k}", "")
        check(ERROR in got and "not invertible" in got, f"{label}: {n} read in the ring gives {got!r}\n{context}")
    for k, s in enumerate(shown):
        # Whole arrays hold a cell and an entry assigned in the ring; their
        # other cells are shown one by one.
        if s.startswith("["):
            continue
        before, after = out_l.get(f"before{k}"), out_l.get(f"after{k}")
        check(before is not None and before == after,
              f"{label}: {s} is {before!r} before the change and {after!r} after the way back\n{context}")
    # Modulo 12 a saved quotient can need, read back, an inverse its
    # computation did not: that reading is not compared here.
    saved = [] if q == 12 else [f"after{k}" for k in range(len(shown))] + \
        [f"assigned{k}" for k in range(len(assigns))]
    for key in saved:
        check(out_r.get(key) == out_l.get(key),
              f"{label}: after a save and its reading {key} is {out_r.get(key)!r}, "
              f"in the session {out_l.get(key)!r}\n{context}")
    for k, a in enumerate(assigns):
        got, want = out_l.get(f"assigned{k}"), out_f.get(f"assigned{k}")
        check(got is not None and got == want, f"{label}: {a} comes back as {got!r}, converted {want!r}\n{context}")
        if got:
            for fault in normal_form_faults(got):
                check(False, f"{label}: {a} shows {fault}: {got}\n{context}")


def main(argv):
    binary = os.path.abspath(argv[1])
    rounds = int(argv[2]) if len(argv) > 2 else 2
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 52)
    for q in RINGS:
        for variant in ("plain", "relation", "laurent"):
            for _ in range(rounds):
                one_case(binary, rng, q, variant)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("left-out values read as their converted elements")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
