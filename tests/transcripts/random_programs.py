#!/usr/bin/env python3
"""Random short programs of the whole language run on the built interpreter.

Each program is drawn from a seeded generator over one or more families
(arithmetic, arrays, matrix commands, functions, loops, ring changes with
conversion lists, relations, nested levels, malformed input), then shows
every value it made, saves, and shows them once more. A fresh process reads
the save file and shows the same values. Each run must end normally (status
0, within the time limit), print no "Tarvex error." line and no sanitizer
report, and the values shown after the read must be the ones shown before
the save. A program that ends in modular mode under a conversion list then
goes back to rational mode in both processes: the values shown must agree,
be in normal form, and every starred value left alone in modular mode must
come back as it was before the change.

  random_programs.py TARVEX [COUNT [SEED [FAMILY,...]]]

COUNT programs (default 300) from SEED (default 1); FAMILY,... limits the
families drawn (default: the ones in DEFAULT_FAMILIES). Programs run two at
a time. A failing program is printed whole, so that it can be replayed.
"""
import concurrent.futures
import math
import os
import random
import re
import subprocess
import sys
import tempfile

TIME_LIMIT = 20          # seconds for one run
MARK = "MARKQZ"          # printed where the shows begin
BACK = "BACKQZ"          # printed where the shows after the way back begin
PRE, PRE_END = "PREQZ", "PREENDQZ"   # around the shows of starred values before the change
SAVE_FILE = "rt.sav"
MISMATCH = "MISMATCHQZ"  # printed by a program when an identity checked inside the language fails

ALL_FAMILIES = ["arith", "arrays", "matrix", "functions", "loops", "levels", "malformed", "rings", "relations",
                "standins", "shadows", "conversions"]
ALL_FAMILIES += ["refparams", "killedrelations", "failedstars", "transposed", "composites"]
ALL_FAMILIES += ["minpoly", "detswitches", "factorlevels"]
ALL_FAMILIES += ["relquot"]
ALL_FAMILIES += ["laurent_eval", "det_hint", "literal_calls"]
ALL_FAMILIES += ["loop_ranges", "openlevels", "undefargs", "laurentrel", "factorlimits"]
# The families that check identities inside the language run in a test of
# their own (with ring changes); drawn among the others they would change
# every program the save checks draw.
IDENTITY_FAMILIES = ["laurent_eval", "det_hint", "literal_calls", "loop_ranges"]
# The shapes that found crashes run in a test of their own too.
CRASH_ROAD_FAMILIES = ["openlevels", "undefargs", "laurentrel", "factorlimits"]
DEFAULT_FAMILIES = [f for f in ALL_FAMILIES if f not in IDENTITY_FAMILIES + CRASH_ROAD_FAMILIES]


class Program:
    """Statements and the names whose values the program leaves."""

    def __init__(self, rng):
        self.rng = rng
        self.lines = []
        self.scalars = set()
        self.arrays = {}          # name -> (rows, cols)
        self.functions = set()    # calls that show what functions give
        self.reads = set()        # other expressions shown, such as a loop index read as an exponent
        self.defined = set()      # every function name defined
        self.polyvars = []
        self.modular = False      # the last ring line left modular mode on
        self.closed = False       # a relation declared in modular mode closes the way back
        self.way_back = False     # ends in modular mode under a conversion list
        self.keep = []            # shows of starred values left alone in modular mode
        self.pre_shows = []       # shows of every starred value before the change
        self.modulus = None       # the ring's modulus when arithmetic is modular
        self.ref_calls = False    # the conversions' modular work calls "^" parameters
        self.back_only = []       # shows compared after the way back only

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
        self.modular = True
        self.modulus = p
        if r.random() < 0.7:
            self.add("&(p = _i);")
            self.modular = False
            self.modulus = None

    def relations(self):
        r = self.rng
        self.ensure_polyvar()
        v = self.polyvars[0]
        if r.random() < 0.5:
            self.modulus = r.choice([7, 97, 101])
            self.add(f"&(p = {self.modulus});")
            self.modular = True
        self.closed = self.closed or self.modular
        self.add(f"&(P = {v}^2 + {r.randint(1, 5)});")
        name = self.new_scalar()
        self.add(f"{name} := ({v} + 1)^{r.randint(2, 5)};")
        self.scalars.add(name)

    def related(self):
        return any(line.startswith("&(P =") for line in self.lines)

    def mismatch(self, cond, what):
        self.add(f"if {cond} then !('{MISMATCH} {what}') fi;")

    def minpoly(self):
        """Minpoly of a sparse matrix (zero rows, nilpotent and idempotent
        blocks): it annihilates the matrix, sparse and as a dense copy,
        divides Chpoly of both, and no factor of it can be left out."""
        r = self.rng
        if self.related():
            return
        if not self.modular:
            p = r.choice([2, 3, 13, None])
            if p is not None:
                self.add(f"&(p = {p});")
                self.modular, self.modulus, self.closed = True, p, True
        if len(self.polyvars) > 1:
            return
        self.ensure_polyvar()
        n = r.randint(8, 12)
        s = self.new_array(n, n, True)
        # A few blocks on random rows and columns; the rest left empty.
        for _ in range(r.randint(1, 4)):
            kind = r.random()
            i, j = r.randint(1, n), r.randint(1, n)
            if kind < 0.3:
                self.add(f"{s}[{i},{j}] := 1;")                    # nilpotent when i <> j
            elif kind < 0.5:
                self.add(f"{s}[{i},{i}] := {r.randint(-3, 3)};")
            else:
                for _ in range(r.randint(1, 2 * n)):
                    self.add(f"{s}[{r.randint(1, n)},{r.randint(1, n)}] := {r.randint(-2, 2)};")
        dense = self.new_array(n, n)
        self.add(f"[{dense}] := [{s}];")
        z = self.new_array(n, n)
        q = self.fresh("mq", self.scalars)
        self.scalars.add(q)
        self.add(f"{q} := Minpoly([{s}], {r.randint(0, 3)});")
        for a in (s, dense):
            self.add(f"[{z}] := {q}#[{a}];")
            self.mismatch(f"Iszero[{z}] = 0", f"Minpoly does not annihilate [{a}]")
            self.mismatch(f"Divides({q}, Chpoly([{a}])) = 0", f"Minpoly does not divide Chpoly([{a}])")
        # Minimal: no factor (a square-free part over the integers) is
        # too many. Counts are residues, so only moduli above the count.
        if self.modulus is None or (self.modulus > n and self.modulus != 256):
            f = self.new_array(1, 1)
            self.arrays.pop(f)
            cmd = "Sqfree" if self.modulus is None else "Factor"
            self.add(f"nf := {cmd}({q}, [{f}]);",
                     f"for i = 1 to nf do [{z}] := ({q} / {f}[i,1])#[{s}]; "
                     f"if Iszero[{z}] = 1 then !('{MISMATCH} Minpoly not minimal') fi od;")

    def detswitches(self):
        """Det of a matrix with a zero row or column under every pivot
        heuristic and method switch: 0 (a refusal leaves the 1 before)."""
        r = self.rng
        n = r.randint(1, 7)
        name = self.new_array(n, n, sparse=r.random() < 0.6)
        zero_row, zero_col = r.random() < 0.5, r.randint(1, n)
        pool = ["1", "-1", str(r.randint(2, 9))]
        if self.polyvars and not self.related():
            v = self.polyvars[0]
            pool += [v, f"{v} + {r.randint(1, 5)}", f"{v}^2 - 1"]
        for i in range(1, n + 1):
            for j in range(1, n + 1):
                if (zero_row and i == zero_col) or (not zero_row and j == zero_col):
                    continue
                if r.random() < 0.7:
                    self.add(f"{name}[{i},{j}] := {r.choice(pool)};")
        if r.random() < 0.5:
            self.add(f"{name}[{zero_col},{zero_col}] := 0;")
        switches = [f"&(u = {r.randint(0, 6)});", f"&(D = {r.choice([-1, 0, 1, 2, 3, 5])});",
                    f"&(K = {r.randint(0, 1)});", f"&(L = {r.choice([1, 5000])});"]
        self.add(*r.sample(switches, r.randint(1, 4)))
        d = self.fresh("dz", self.scalars)
        self.scalars.add(d)
        self.add(f"{d} := 1;", f"{d} := Det[{name}];")
        self.mismatch(f"{d} <> 0", f"Det[{name}] of a matrix with a zero line")
        self.add("&(u = 0);", "&(D = -1);", "&(K = 0);", "&(L = 5000);")

    def factorlevels(self):
        """Factor, Irred and Sqfree at every level argument, over Z/p and
        over a field relation: a refusal leaves the value before, any
        answer has the input as its product (the degree stays below p, so
        that counts and multiplicities are exact)."""
        r = self.rng
        if self.modular or self.polyvars or self.related():
            return
        p = r.choice([7, 13, 13, 101])
        self.add("&(J = w);", "&(J = z);", f"&(p = {p});")
        self.polyvars += ["w", "z"]
        self.modular, self.modulus, self.closed = True, p, True
        coefs = [str(r.randint(-6, 6))]
        levels = [-2, -1, 0, 1]
        if r.random() < 0.7:
            k = r.choice([2, 3]) if (p - 1) % 3 == 0 else 2
            # A power that is not a k-th power modulo p: w^k - c is irreducible.
            c = next(c for c in range(2, p) if pow(c, (p - 1) // math.gcd(k, p - 1), p) != 1)
            self.add(f"&(P = w^{k} - {c}, 1);")
            # Coefficients in Z/p only half of the time: factors that need
            # the field, and none that a level without it leaves whole.
            if r.random() < 0.5:
                coefs += [f"{r.randint(-6, 6)}*w", f"w^{k - 1} + {r.randint(-6, 6)}"]
            else:
                coefs += [str(r.randint(-6, 6)) for _ in range(2)]
            levels += [2, 3]
        parts, degree, budget = [], 0, min(6, p - 2)
        while degree < budget:
            d = r.randint(1, min(3, budget - degree))
            terms = [f"z^{d}"] + [f"({r.choice(coefs)})*z^{e}" for e in range(d)]
            mult = r.choice([1, 1, 2]) if degree + 2 * d <= budget else 1
            parts.append(f"({' + '.join(terms)})^{mult}")
            degree += d * mult
        a = self.fresh("fa", self.scalars)
        self.scalars.add(a)
        self.add(f"{a} := {' * '.join(parts)};")
        f = self.fresh("m", self.arrays)
        h = self.fresh("mh", self.arrays)
        for lv in r.sample(levels, r.randint(2, 4)):
            self.add("nf := -1;", f"nf := Factor({a}, [{f}], {lv});",
                     f"if nf <> -1 then pr := 1; for i = 1 to nf do pr := pr * {f}[i,1]^{f}[i,2] od; "
                     f"if pr <> {a} then !('{MISMATCH} product of Factor at level {lv}') fi fi;")
            self.add("ir := -1;", f"ir := Irred({a}, {lv});",
                     f"if ir = 1 then if nf <> 1 then !('{MISMATCH} Irred and Factor at level {lv}') fi fi;")
        self.add("ns := -1;", f"ns := Sqfree({a}, [{h}]);",
                 f"if ns <> -1 then pr := 1; for i = 1 to ns do pr := pr * {h}[i,1]^{h}[i,2] od; "
                 f"if pr <> {a} then !('{MISMATCH} product of Sqfree') fi fi;")

    # ---- conversion lists ----
    def stored_value(self):
        """A value of any kind: integers small and big, rationals,
        polynomials and rational functions (denominators prime to every
        modulus drawn)."""
        r = self.rng
        v = self.polyvars[0] if self.polyvars else None
        kinds = [self.small(), f"{r.randint(-40, 40)}/{r.choice([3, 5, 11, 33])}", f"10^{r.randint(20, 40)} + 1/7"]
        if v:
            kinds += [f"{v}^{r.randint(1, 3)}/{r.choice([3, 5])} + {r.randint(-9, 9)}",
                      f"({v} + 1/3)/({v}^2 + {r.randint(1, 9)})", f"{r.randint(2, 9)}*{v} + 1/11"]
        return r.choice(kinds)

    def conversions(self):
        """Values of every kind (scalars, dense arrays with unset cells,
        sparse, string and shadowed arrays, a %[k] slot), a conversion list
        that stars, lists twice or leaves them out, and modular work that
        reads and writes them. The program ends in modular mode: the way
        back is checked in the running interpreter and after the read."""
        r = self.rng
        if self.closed:
            return
        if self.modular:
            self.add("&(p = _i);")
        if r.random() < 0.7:
            self.ensure_polyvar()
        items = []                 # (show statement, list item)
        for _ in range(r.randint(2, 4)):
            name = self.fresh("c", self.scalars)
            self.add(f"{name} := {self.stored_value()};")
            self.scalars.add(name)
            items.append((f"{name};", name))
        rows, cols = r.randint(1, 3), r.randint(1, 3)
        dense = self.new_array(rows, cols)
        for _ in range(r.randint(1, rows * cols)):
            self.add(f"{dense}[{r.randint(1, rows)},{r.randint(1, cols)}] := {self.stored_value()};")
        n = r.randint(1, 4)
        sparse = self.new_array(n, n, True)
        for _ in range(r.randint(0, 5)):
            self.add(f"{sparse}[{r.randint(1, n)},{r.randint(1, n)}] := {self.stored_value()};")
        text = self.new_array(1, 3)
        self.add(f"[{text}] := '{''.join(r.choice('abcxyz') for _ in range(3))}';")
        items += [(f"[{a}];", f"[{a}]") for a in (dense, sparse, text)]
        if r.random() < 0.5:
            # An older record behind a newer one of the same name.
            older = r.choice([dense, sparse])
            k = self.arrays[older][0]
            self.add(f"Array {older}[{k},{k}]{' Sparse' if older == sparse else ''};")
            self.arrays[older] = (k, k)
            self.add(f"{older}[1,1] := {self.stored_value()};")
        slot = r.randint(1, 5)
        self.add(f"%[{slot}] := [{r.choice([dense, sparse])}];")

        every = r.random() < 0.25
        listed, starred = [], set()
        if every:
            listed = ["**"]
            starred = {show for show, _ in items}
        else:
            for show, item in items:
                way = r.choice(["out", "plain", "star", "star twice", "star plain", "plain star"])
                if way == "out":
                    continue
                star = "*" + item
                listed += {"plain": [item], "star": [star], "star twice": [star, star],
                           "star plain": [star, item], "plain star": [item, star]}[way]
            r.shuffle(listed)
            # Whichever comes first holds: a plain item after a starred one
            # converts the copy, whose original the way back gives back.
            firsts = {}
            for x in listed:
                firsts.setdefault(x.lstrip("*"), x.startswith("*"))
            starred = {show for show, item in items if firsts.get(item)}
        p = r.choice([7, 13, 97, 2147483629, 256, 65536])
        # Shown before the change: what a starred value comes back as.
        self.add(f"!('{PRE}');")
        keep = sorted(starred)
        self.add(*keep)
        self.add(f"!('{PRE_END}');")
        self.add(f"&(p = {p} : {', '.join(listed)});")

        # Work in modular mode: reads of every value (a left-out one enters
        # as its residue), writes.
        converted = [show for show, _ in items]
        written = set()
        for _ in range(r.randint(1, 4)):
            k = r.random()
            if k < 0.3 and converted:
                reads = " + ".join(s.rstrip(";").strip("[]") if not s.startswith("[") else "0"
                                   for s in r.sample(converted, min(2, len(converted))))
                name = self.fresh("c", self.scalars)
                self.add(f"{name} := ({reads}) * {r.randint(1, 5)};")
                self.scalars.add(name)
            elif k < 0.5:
                target = r.choice(items)
                if not target[0].startswith("["):
                    self.add(f"{target[1]} :+ {r.randint(1, 9)};")
                    written.add(target[0])
            elif k < 0.7:
                a = r.choice([dense, sparse])
                i, j = r.randint(1, self.arrays[a][0]), r.randint(1, self.arrays[a][1])
                self.add(f"{a}[{i},{j}] := {r.choice(['0', str(r.randint(1, 9))])};")
                written.add(f"[{a}];")
            elif k < 0.85:
                self.add(f"%[{slot}][1,1] := {r.randint(1, 9)};")
                written.update({f"[{dense}];", f"[{sparse}];"})
            else:
                fname = self.fresh("W", self.defined)
                self.defined.add(fname)
                a = r.choice([dense, sparse])
                self.add(f"Func {fname}(n) = Integer; {a}[1,1] := n * 2; 0.", f"{fname}({r.randint(1, 50)});")
                written.add(f"[{a}];")
        if self.ref_calls:
            written |= self.reference_calls(items, dense, sparse)
        self.pre_shows = keep
        self.keep = [show for show in keep if show not in written]
        self.modular = True
        self.way_back = True


# ---- identities checked inside the language ----

def under_relation(prog):
    """A relation rewrites products and powers, so that substitution no
    longer commutes with them: the identity families stay away."""
    return any(line.startswith("&(P =") for line in prog.lines)


def check_identity(prog, lhs, rhs):
    """lhs = rhs, decided by the interpreter: a difference that is not 0,
    or a statement ending in an error (the check value keeps its 1),
    prints the mismatch mark and the difference."""
    prog.add("kqz := 1;", f"kqz := ({lhs}) - ({rhs});", f"if kqz <> 0 then !('{MISMATCH}'); kqz; fi;", "@kqz;")


def variables_locked(prog):
    """Under a conversion list no variable can be adjoined until the way back."""
    changes = [line for line in prog.lines if line.startswith("&(p =")]
    return bool(changes) and ":" in changes[-1]


def two_variables(prog):
    """w and z, adjoined outermost (a relation is never declared on them)."""
    for v in ("w", "z"):
        if v not in prog.polyvars:
            prog.add(f"&(J = {v});")
            prog.polyvars.append(v)


def laurent_term(rng, low=-3, high=3, z_high=None):
    parts = [str(rng.choice([c for c in range(-5, 6) if c]))]
    for v, top in (("w", high), ("z", high if z_high is None else z_high)):
        e = rng.randint(low, top)
        if e:
            parts.append(f"{v}^{e}" if e > 0 else f"{v}^({e})")
    return "*".join(parts)


def laurent_poly(rng, terms=4, low=-3, high=3):
    # Half the time no positive power of the outer variable z, and a
    # constant: the number then heads a list of negative exponents, the
    # order substitution for the inner variable once missed.
    z_high = 0 if low < 0 and rng.random() < 0.5 else None
    items = [laurent_term(rng, low, high, z_high) for _ in range(rng.randint(1, terms))]
    if rng.random() < 0.5:
        items.insert(0, str(rng.randint(1, 9)))
    return " + ".join(f"({t})" for t in items)


def laurent_eval_family(prog):
    """Substitution of Laurent values: (a*b)#(v = c) = a#(v = c)*b#(v = c)
    and the same for sums, each side computed by the interpreter."""
    r = prog.rng
    if under_relation(prog) or variables_locked(prog):
        return
    two_variables(prog)
    prog.add("&(l = 1);")
    a, b = prog.fresh("la", prog.scalars), None
    prog.add(f"{a} := {laurent_poly(r)};")
    prog.scalars.add(a)
    b = prog.fresh("lb", prog.scalars)
    prog.add(f"{b} := {laurent_poly(r)};")
    prog.scalars.add(b)
    for _ in range(r.randint(1, 3)):
        v = r.choice(["w", "z"])
        other = "z" if v == "w" else "w"
        # Never 0 (nor a multiple of a modulus drawn): a negative power of v may occur.
        # Under a modulus the constants stay units: 1/3 modulo 9 is rightly an error.
        m = prog.modulus if prog.modulus not in (None, 256, 65536) else 1
        unit = lambda k: math.gcd(k, m) == 1  # noqa: E731
        c = r.choice([str(r.choice([k for k in (-3, -2, -1, 1, 2, 3, 5) if unit(k)])),
                      f"{other}^(-1)", f"({other} + 2)"] + (["1/2"] if unit(2) else [])
                     + ([f"{other}^2/3"] if unit(3) else []) + ([f"(2*{other}^(-2) + 1)"] if unit(2) else []))
        at = f"#({v} = {c})" if r.random() < 0.8 or v != "z" else f"#({c})"
        check_identity(prog, f"({a}*{b}){at}", f"{a}{at}*{b}{at}")
        check_identity(prog, f"({a} + {b}){at}", f"{a}{at} + {b}{at}")
    prog.add("&(l = 0);")


# The determinant switches the identity runs under, each put back after:
# the interpolation methods (L), fraction-free elimination (K) and the
# minors cut-off (D).
DET_SWITCHES = [([], []), (["&(L = 1);"], ["&(L = 5000);"]), (["&(K = 1);"], ["&(K = 0);"]),
                (["&(D = 0);"], ["&(D = -1);"]), (["&(D = 5);"], ["&(D = -1);"])]


def det_hint_family(prog):
    """Det of A with row i multiplied by f, with the hint f, is Det A:
    dense and sparse, ordinary and Laurent entries, every method switch."""
    r = prog.rng
    if under_relation(prog) or variables_locked(prog):
        return
    two_variables(prog)
    # Laurent mode cannot be entered once arithmetic is modular: negative
    # powers would make the hint a quotient, which Det rightly ignores.
    laurent = r.random() < 0.5 and prog.modulus is None and not prog.modular
    if laurent:
        prog.add("&(l = 1);")
    low = -2 if laurent else 0
    n = r.randint(1, 5)
    sparse = r.random() < 0.4
    a = prog.new_array(n, n, sparse)
    b = prog.new_array(n, n, sparse)
    for i in range(1, n + 1):
        for j in range(1, n + 1):
            if r.random() < 0.25:
                continue
            value = laurent_poly(r, terms=2, low=low, high=2) if r.random() < 0.6 else str(r.randint(-9, 9))
            prog.add(f"{a}[{i},{j}] := {value};")
    row = r.randint(1, n)
    f = laurent_poly(r, terms=2, low=low, high=2) if r.random() < 0.8 else laurent_term(r, low=low, high=2)
    prog.add(f"[{b}] := [{a}];")
    for j in range(1, n + 1):
        prog.add(f"{b}[{row},{j}] := {b}[{row},{j}]*({f});")
    on, off = r.choice(DET_SWITCHES)
    prog.add(*on)
    # A hint that vanishes here (a modulus dividing every coefficient) hints nothing.
    prog.add(f"fqz := {f};", f"if fqz <> 0 then kqz := 1; kqz := Det([{b}], fqz) - Det[{a}]; "
             f"if kqz <> 0 then !('{MISMATCH}'); kqz; fi; fi;", "@fqz;")
    prog.add(*off)
    if laurent:
        prog.add("&(l = 0);")


def literal_calls_family(prog):
    """Built-ins called inside array literals of every kind, beside string
    and named operands still in flight: each cell equals its expression
    computed outside the literal."""
    r = prog.rng
    n = r.randint(1, 3)
    calls = [f"GCD({r.randint(1, 40)}, {r.randint(1, 40)})", f"Binom({r.randint(0, 9)}, {r.randint(0, 4)})",
             f"Isprime({r.randint(2, 99)})"]
    kind = r.choice(["sparse", "sparse_lines", "dense", "lines", "string"])
    name = prog.new_array(n if kind != "string" else 1, n if kind != "string" else 3, kind.startswith("sparse"))
    cells = {}
    if kind == "sparse":
        entries = []
        for _ in range(r.randint(1, 3)):
            i, j = r.randint(1, n), r.randint(1, n)
            if (i, j) in cells:
                continue
            cells[(i, j)] = r.choice(calls)
            entries.append(f"[{i}, {j}, {cells[(i, j)]}]")
        literal = "[" + ", ".join(entries) + "]"
    elif kind == "string":
        cells = {(1, k): r.choice(calls) for k in range(1, 4)}
        literal = "'abc' + [(" + ", ".join(cells[(1, k)] for k in range(1, 4)) + ")] - 'abc'"
    else:
        values = [[r.choice(calls) for _ in range(n)] for _ in range(n)]
        if kind == "sparse_lines":
            # A first item that is no index makes the sparse target read a
            # dense list (11 is none, nor is its residue modulo any modulus
            # drawn, and it is never 0 there).
            values[0][0] = "Binom(11, 1)"
        cells = {(i + 1, j + 1): values[i][j] for i in range(n) for j in range(n)}
        if kind in ("lines", "sparse_lines"):
            # A row to a line: the line ends tell the columns.
            literal = "[[" + ", `\n".join(", ".join(row) for row in values) + "]]"
        else:
            # Column by column.
            literal = "[(" + ", ".join(values[i][j] for j in range(n) for i in range(n)) + ")]"
    # A named operand in flight as well, now and then.
    if r.random() < 0.3 and kind != "string":
        prog.add(f"[{name}] := [{name}] - [{name}] + {literal};")
    prog.add(f"[{name}] := {literal};")
    for (i, j), call in cells.items():
        check_identity(prog, f"{name}[{i},{j}]", call)
# ---- relations over stored quotients and negative powers ----
# Relations of the inner variable r: irreducible over Q (a field may be
# declared) and reducible (never a field).
IRREDUCIBLE = ["r^2 + 1", "r^2 + 2", "r^2 + 4", "r^2 - 2", "r^2 + 5", "r^3 - 2", "r^2 + r + 1", "r^3 + r + 1",
               "r^2 - 3", "r^3 + 4"]
# The primes drawn modulo which each of them factors (worked out once with
# sympy's factor_list over GF(p)).
FACTORS_MODULO = {"r^2 + 1": {2, 5, 13}, "r^2 + 2": {2, 3}, "r^2 + 4": {2, 5, 13}, "r^2 - 2": {2, 7},
                  "r^2 + 5": {2, 3, 5, 7}, "r^3 - 2": {2, 3, 5}, "r^2 + r + 1": {3, 7, 13},
                  "r^3 + r + 1": {3, 13}, "r^2 - 3": {2, 3, 13}, "r^3 + 4": {2, 3, 5}}
REDUCIBLE = ["r^2 - 1", "r^2 - 4", "r^2 + 3*r + 2", "r^3 - r", "r^2"]


def relation_quotients(prog):
    """Quotients and negative powers stored before a relation on r is
    declared (with or without the field flag, in Laurent mode or not),
    before or after a change to a small prime (some below the relation's
    degree), in scalars, dense cells and sparse entries. Every value is
    checked after each step by identities inside the language: the stored
    value minus the same expression typed again, and the stored value
    times its denominator minus its numerator, must be 0; a wrong value
    prints a mismatch."""
    r = prog.rng
    if prog.polyvars or prog.modular:
        return
    # Sometimes a tower: r over the field Q(k) (k^2 = -1 or 2), declared
    # after the values too.
    tower = r.random() < 0.25
    if tower:
        prog.add("&(J = k);")
    prog.add("&(J = r);", "&(J = x);")
    prog.polyvars += ["x", "r"] + (["k"] if tower else [])
    laurent = r.random() < 0.35
    if laurent:
        prog.add("&(l = 1);")

    def poly():
        terms = []
        for _ in range(r.randint(1, 3)):
            c, i, j = r.randint(-5, 5) or 1, r.randint(0, 2), r.randint(0, 3)
            terms.append(f"{c}*x^{i}*r^{j}")
        return " + ".join(terms)

    field = tower or r.random() < 0.6
    relation = r.choice(IRREDUCIBLE if field else IRREDUCIBLE + REDUCIBLE)
    if tower:
        # r^2 - k stays irreducible over Q(k) for both (the names of
        # other families' function locals, s among them, are avoided).
        inner = r.choice(["k^2 + 1", "k^2 - 2"])
        relation = r.choice(["r^2 - k", "r^2 + k*r + 1" if inner == "k^2 - 2" else "r^2 - k"])
    square = re.fullmatch(r"r\^2 ([+-]) (\d+)", relation)
    # r^2 as the relation makes it, when it is a number.
    r2 = None if not square else (-1 if square.group(1) == "+" else 1) * int(square.group(2))

    # Over a relation that makes no field a denominator that divides 0
    # has no quotient at all: there the denominators have a number among
    # their coefficients (monic in x; such a polynomial never divides 0),
    # and the negative powers are those of x.
    lead = "" if field else "x^3 + "

    def quotient():
        k = r.random()
        if r2 is not None and k < 0.25:
            # A common factor only modulo the relation: (x*r + c)*(x*r - c)
            # is r2*x^2 - c^2 there (whose coefficients are numbers).
            c = r.randint(1, 3)
            return f"(x*r + {c})*({poly()})", f"{r2}*x^2 - {c * c}"
        if k < 0.35:
            return poly(), f"{lead}{poly()} + x"
        if k < 0.6:
            # The denominator folds to an element free of r (or a number).
            a, b, n = r.randint(1, 5), r.randint(1, 5), r.randint(2, 3)
            return f"{a}*x", f"{lead}x*r^{n} - {b}"
        # Negative powers of both variables.
        c, d, i, j = r.randint(1, 5), r.randint(-3, 3), r.randint(0, 3), r.randint(1, 4)
        if not field:
            i, j = i + 1, 0
        return f"{c} + {d}*x^{i}*r^{j}", f"x^{i}*r^{j}"

    values = []                    # (reference, numerator, denominator)
    for _ in range(r.randint(2, 4)):
        name = prog.fresh("q", prog.scalars)
        num, den = quotient()
        prog.add(f"{name} := ({num})/({den});")
        prog.scalars.add(name)
        values.append((name, num, den))
    dense = prog.new_array(1, 2)
    sparse = prog.new_array(2, 2, True)
    for cell in (f"{dense}[1,1]", f"{dense}[1,2]", f"{sparse}[2,1]"):
        num, den = quotient()
        prog.add(f"{cell} := ({num})/({den});")
        values.append((cell, num, den))

    def checks(step):
        # A denominator the relation or the modulus makes 0 makes the value
        # 0 (with a warning): there is nothing to compare. Over a relation
        # that makes no field (or one declared a field that the prime
        # factors) a denominator may divide 0, and then more than one value
        # times it gives the numerator: only that product is compared.
        # The change of ring sets a value 0 (with a warning) when the
        # prime divides the denominator it was stored with: only values
        # other than 0 are compared after it.
        declared = step != "prime" or not declared_after
        modular = step != "relation" or declared_after
        # A tower is a field modulo some primes only: compared by the
        # product there.
        splits = tower or prime in FACTORS_MODULO.get(relation, ())
        unique = not declared or (field and not (modular and splits))
        for k, (ref, num, den) in enumerate(values):
            typed = f"if {ref} - ({num})/({den}) <> 0 then !('MISMATCH {step} {k}') fi; " if unique else ""
            kept = f" and {ref} <> 0" if modular else ""
            prog.add(f"if ({den}) <> 0{kept} then {typed}"
                     f"if {ref}*({den}) - ({num}) <> 0 then !('MISMATCH {step} {k}*') fi fi;")

    declare = f"&(P = {relation}{', 1' if field else ''});"
    if tower:
        declare = f"&(P = {inner}, 1); {declare}"
    prime = r.choice([2, 3, 5, 7, 13])
    # A save made after the change writes a relation declared before it
    # back from its residues: one whose coefficient the prime removes
    # would come back another relation. Such a prime is declared after.
    removes = any(int(c) % prime == 0 for c in re.findall(r"(?<![\^\w])\d+(?!\s*\*?\s*[rk]\^)", declare[7:]))
    declared_after = removes or r.random() >= 0.6
    if not declared_after:
        prog.add(declare)
        checks("relation")
        prog.add(f"&(p = {prime});")
        checks("prime")
    else:
        prog.add(f"&(p = {prime});")
        checks("prime")
        prog.add(declare)
        checks("relation")
        prog.closed = True
    prog.modular = True
    prog.modulus = prime
    if laurent:
        prog.add("&(l = 0);")
        checks("ordinary")


FAMILY_METHODS = {
    "arith": Program.arith, "arrays": Program.arrays_family, "matrix": Program.matrix,
    "functions": Program.functions_family, "loops": Program.loops, "levels": Program.levels,
    "malformed": Program.malformed, "rings": Program.rings, "relations": Program.relations,
    "standins": Program.standins, "shadows": Program.shadows, "conversions": Program.conversions,
}
FAMILY_METHODS.update({"minpoly": Program.minpoly, "detswitches": Program.detswitches,
                       "factorlevels": Program.factorlevels})
FAMILY_METHODS.update({"laurent_eval": laurent_eval_family, "det_hint": det_hint_family,
                       "literal_calls": literal_calls_family})


# ---- "^" parameters, killed relation terms, failed stars, STrans, composite moduli ----

def reference_calls(self, items, dense, sparse):
    """Calls by "^" of the converted, starred and left-out values: one
    whose body never assigns its parameter leaves the value (and its way
    back) as it was; one that assigns it writes it. Returns the shows
    written."""
    r = self.rng
    nop, inc = self.fresh("R", self.defined), None
    self.defined.add(nop)
    inc = self.fresh("R", self.defined)
    self.defined.add(inc)
    self.add(f"Func {nop}(^v) = 0.", f"Func {inc}(^v) = v := v + 1.")
    written = set()
    for _ in range(r.randint(1, 4)):
        show, item = r.choice(items)
        if item.startswith("["):
            a = item[1:-1]
            if a not in (dense, sparse):
                continue
            target = f"{a}[{r.randint(1, self.arrays[a][0])},{r.randint(1, self.arrays[a][1])}]"
        else:
            target = item
        if r.random() < 0.75:
            self.add(f"{nop}({target});")
        else:
            self.add(f"{inc}({target});")
            written.add(show)
    return written


Program.reference_calls = reference_calls


def refparams(self):
    """The conversions family, with calls by "^" in its modular work."""
    self.ref_calls = True
    self.wants_conversions = True


def leave_modular(self):
    """Back to rational mode when the way back is open; False when closed."""
    if self.closed:
        return False
    if self.modular:
        self.add("&(p = _i);")
        self.modular = False
        self.modulus = None
    return True


def killedrelations(self):
    """A relation declared in rational mode with a term the modulus kills
    (field or not), a full, starred-everything or listed change, values
    under it; the way back is compared too."""
    r = self.rng
    if not leave_modular(self):
        return
    v = self.fresh("y", self.polyvars)
    self.add(f"&(J = {v});")
    self.polyvars.insert(0, v)
    p = r.choice([3, 7, 13, 12, 256, 65536])
    killed = p * r.randint(1, 3)
    rel = r.choice([f"{v}^2 + {killed}", f"{v}^2 + {killed}*{v} + 1", f"{v}^3 + {killed}*{v}^2 + {v} + 2"])
    field = ", 1" if r.random() < 0.5 and not rel.startswith(f"{v}^3") else ""
    self.add(f"&(P = {rel}{field});")
    names = []
    for _ in range(r.randint(1, 3)):
        name = self.fresh("k", self.scalars)
        self.add(f"{name} := ({v} + {r.randint(-5, 5)})^{r.randint(2, 4)};")
        self.scalars.add(name)
        names.append(name)
    conv = r.choice(["", " : **", " : " + ", ".join(names), " : *" + names[0]])
    self.add(f"&(p = {p}{conv});")
    name = self.fresh("k", self.scalars)
    self.add(f"{name} := {v}^{r.randint(2, 5)} + {r.randint(1, 9)};")
    self.scalars.add(name)
    self.modular = True
    self.modulus = p
    self.way_back = True


def failedstars(self):
    """Starred items the ring has no element for (a denominator the
    modulus shares or kills) beside good ones, and arrays made after the
    change: the save must read back whole. The failed items are compared
    after the way back."""
    r = self.rng
    if not leave_modular(self):
        return
    p, bad = r.choice([(4, "1/2"), (12, "5/6"), (9, "2/3"), (13, "1/13"), (256, "3/256"), (12, "(x + 1)/(2*x + 4)")])
    if "x" in bad:
        self.ensure_polyvar()
        bad = bad.replace("x", self.polyvars[0])
    f = self.fresh("f", self.scalars)
    good = self.fresh("g", self.scalars | {f})
    self.add(f"{f} := {bad};", f"{good} := {r.randint(-50, 50)}/7;")
    d = self.fresh("m", self.arrays)
    self.add(f"Array {d}[3];", f"[{d}] := [(1, {bad}, {r.randint(2, 9)})];")
    self.arrays[d] = (3, 1)
    s = self.fresh("m", self.arrays)
    self.add(f"Array {s}[4,4] Sparse;", f"{s}[3,2] := {bad};", f"{s}[1,1] := {r.randint(1, 9)};")
    self.arrays[s] = (4, 4)
    listed = [f"*{f}", f"*{good}", f"*[{d}]", f"*[{s}]"]
    r.shuffle(listed)
    self.add(f"&(p = {p} : {', '.join(listed)});")
    g = self.new_array(2, 2)
    self.fill(g)
    self.scalars.add(good)
    # What the failed items show in modular mode is the conversion list's
    # own business; what comes back is compared.
    del self.arrays[d], self.arrays[s]
    self.back_only += [f"{f};", f"[{d}];", f"[{s}];"]
    self.modular = True
    self.modulus = p
    self.way_back = True


def transposed(self):
    """Sparse vectors and matrices turned by STrans, once or twice, in the
    ring in force, some of them then left out of a conversion list."""
    r = self.rng
    for _ in range(r.randint(1, 3)):
        name = self.fresh("m", self.arrays)
        if r.random() < 0.5:
            rows, cols = r.randint(1, 6), 1
            self.add(f"Array {name}[{rows}] Sparse;")
        else:
            rows, cols = r.randint(1, 4), r.randint(1, 4)
            self.add(f"Array {name}[{rows},{cols}] Sparse;")
        for _ in range(r.randint(0, 4)):
            self.add(f"{name}[{r.randint(1, rows)},{r.randint(1, cols)}] := {r.randint(-9, 9)}/{r.choice([1, 3, 5])};")
        for _ in range(r.randint(1, 2)):
            self.add(f"STrans[{name}];")
            rows, cols = cols, rows
        self.arrays[name] = (rows, cols)
        self.add(f"{name}[{rows},{cols}];")


def composites(self):
    """Sums, products, quotients, powers and reciprocals of rational
    functions under a composite modulus: a value the system keeps is one
    its written form reads back as."""
    r = self.rng
    if not leave_modular(self):
        return
    self.ensure_polyvar()
    v = self.polyvars[0]
    m = r.choice([4, 6, 8, 9, 10, 12, 15, 16])
    self.add(f"&(p = {m});")
    self.modular = True
    self.modulus = m

    def poly():
        return "(" + " + ".join(f"{r.randint(-13, 13)}*{v}^{i}" for i in range(r.randint(0, 2) + 1)) + ")"

    made = []
    for _ in range(r.randint(2, 6)):
        a = r.choice([f"({poly()}/({poly()} + {v}^{r.randint(1, 2)}))", poly(), str(r.randint(1, 20))] + made)
        b = r.choice([f"({poly()}/({poly()} + {v}^{r.randint(1, 2)}))", poly(), str(r.randint(1, 20))] + made)
        name = self.fresh("q", self.scalars)
        form = r.choice(["{a} * {b}", "{a} + {b}", "{a} - {b}", "{a} / {b}", "({a})^2", "1/({a})", "{a} * 3"])
        self.add(f"{name} := {form.format(a=a, b=b)};")
        self.scalars.add(name)
        made.append(name)


# ---- loop indices past the modulus ----
LOOP_RINGS = [None, 2, 3, 7, 11, 12, 2147483629, 256, 65536]


def loop_ranges_family(prog):
    """A for loop, Sigma, Prod, a generated array and an Integer function
    over one range that crosses the modulus (or 0, or 10^8 where GF(2^16)
    takes an integer limb by limb), in Laurent mode too. The index is the
    integer k: each value equals the body with the literal k written for i
    (k! typed for i!), and, where i is only a value of the ring, the body
    after typing `i := k`. The results are kept in a scalar, a dense cell
    and a sparse entry, and in cells whose subscripts are computed from i.
    Once a loop is over, the index is one value: read as an exponent it is
    its copy's, and shown after the save is read it is the session's."""
    r = prog.rng
    if under_relation(prog) or variables_locked(prog):
        return
    prog.ensure_polyvar()
    v = prog.polyvars[0]
    m = r.choice(LOOP_RINGS)
    if r.random() < 0.25:
        # Negative exponents are allowed from rational mode only.
        prog.add("&(p = _i);", "&(l = 1);")
    prog.add("&(p = _i);" if m is None else f"&(p = {m});")
    prog.modular, prog.modulus = m is not None, m
    anchors = [0] + ([m, 2 * m, -m] if m and m < 2 ** 27 else []) + ([10 ** 8] if m == 65536 else [])
    step = r.choice([1, 1, 2, 3, -1, -2])
    start = r.choice(anchors) + r.randint(-3, 2)
    values = [start + step * k for k in range(r.randint(1, 5))]
    c = r.randint(-4, 4)
    bodies = [f"({v} - i)*({v} + {c})", f"i^2*{v} - {c}*i", f"{v}^(i|4) - i"]
    if m != 12:
        # Modulo 12 a sum of quotients may have no form to be put in (error 85).
        bodies.append(f"{c or 1}/({v} - i) + i")
    if max(abs(k) for k in values) < 300 and min(values) >= 0:
        bodies.append(f"{v}^i + i")
    # The factorial of the count k (none in characteristic 2); a negative
    # index is its residue, too large a count for a modulus past 46340.
    fact = m not in (256, 65536) and max(values) < 300 and (min(values) >= 0 or m is None or m < 46341)
    if fact:
        bodies.append(f"i!*{v} + i")
    body = r.choice(bodies)
    factor = r.choice([f"({v} - i)", f"((i + {c})*{v} + 1)"] + ([f"(i! + {v})"] if fact else []))
    # k! is typed bare: in parentheses a count past the modulus would be its residue.
    lit = lambda e, k: e.replace("i!", f"{k}!" if k >= 0 else f"({k})!").replace("i", f"({k})")  # noqa: E731
    head = f"i = {values[0]} to {values[-1]} by {step}"
    rng_ = f"i = {values[0]}, {values[-1]}, {step}"
    n = len(values)
    at = f"(i - ({start}))/({step}) + 2"   # rows 2 .. n + 1; row 1 keeps a running sum
    dense, sparse = prog.new_array(n + 1, 1), prog.new_array(n + 1, 1, True)
    prog.add("sq := 0;", "lq := 1;", f"{dense}[1,1] := 0;", f"{sparse}[1,1] := 0;",
             f"for {head} do sq := sq + ({body}); lq := lq * {factor}; {dense}[1,1] := {dense}[1,1] + ({body}); "
             f"{sparse}[1,1] := {sparse}[1,1] + ({body}); {dense}[{at},1] := {body} od;",
             "iq := i;", "jq := i;")
    check_identity(prog, f"{v}^i", f"{v}^jq")
    prog.add(f"for {head} do {sparse}[{at},1] := {body} od;")
    typed = " + ".join(f"({lit(body, k)})" for k in values)
    check_identity(prog, "iq", f"{values[-1] + step}")
    for name in ("sq", f"{dense}[1,1]", f"{sparse}[1,1]", f"Sigma<{rng_}>({body})"):
        check_identity(prog, name, typed)
    check_identity(prog, f"Prod<{rng_}>{factor}", " * ".join(lit(factor, k) for k in values))
    check_identity(prog, "lq", f"Prod<{rng_}>{factor}")
    for j, k in enumerate(values, 2):
        check_identity(prog, f"{dense}[{j},1]", lit(body, k))
        check_identity(prog, f"{sparse}[{j},1]", lit(body, k))
    if "^i" not in body and "|" not in body and "!" not in body:
        prog.add("tq := 0;", " ".join(f"i := {k}; tq := tq + ({body});" for k in values))
        check_identity(prog, "tq", "sq")
    if step > 0 and 1 <= values[0] and values[-1] <= 40:
        g = prog.fresh("gq", prog.arrays)
        prog.arrays[g] = (values[-1], 1)
        prog.add(f"[{g}] := [<{rng_}> {body}];")
        for k in values:
            check_identity(prog, f"{g}[{k}]", lit(body, k))
        prog.add("jq := i;")
        check_identity(prog, f"{v}^i", f"{v}^jq")
    if m is not None:
        # The integer evaluator's own arithmetic on the same range.
        f = prog.fresh("Lq", prog.defined)
        prog.defined.add(f)
        ibody = f"i*i + {c}*i" + (" + i!" if fact else "")
        prog.add(f"Func {f}(n) = Integer; s := 0; for {head} do s := s + {ibody} od; "
                 f"s - Sigma<{rng_}>({ibody}).")
        check_identity(prog, f"{f}(0)", "0")
        check_identity(prog, f"Sigma<{rng_}>({ibody})", " + ".join(f"({lit(ibody, k)})" for k in values))
    # The index the last Sigma left, against its copy and, shown, against the save read back.
    prog.add("jq := i;")
    check_identity(prog, f"{v}^i", f"{v}^jq")
    prog.reads.add(f"{v}^i")


# ---- roads to crashes found by random programs ----

def open_levels_family(prog):
    """A statement left open across lines while errors push command levels:
    the line after it rewrites the array the open statement holds, then an
    undefined name opens one more level before the way back to the top."""
    r = prog.rng
    a = prog.new_array(2, 2, sparse=r.random() < 0.3)
    prog.fill(a)
    opener = r.choice([f"SDet(3, [{a}", f"Det([{a}", f"[{a}] + Trans[{a}", f"Sum[{a}", f"Trace([{a}",
                       f"[{a}]*[{a}", f"Det[{a}] + Det([{a}", f"({a}[1,1] + "])
    rewrite = r.choice([f"[{a}] := [(5)];", f"Array {a}[3,3] Sparse;", f"Array {a}[1];", f"{a}[1,1] := 9;"])
    prog.add("&(e = 1);", "&_P;", opener, rewrite, r.choice(["P;", "zq;", "Zq(1);"]), f"{a}[1,1];")
    # Back to the top, however many levels opened and whatever the resumed
    # statements read (a spare one says so).
    prog.add("&(e = 0);", *["&_p;"] * 6)


# Built-ins that define, splice or store into their variable arguments.
DEFINING_CALLS = ["Splice({a}, {b}, 2)", "Splice({a}, {a}, 1)", "Split({a}, 2, {b})", "Split({a}, 0)",
                  "Swap({a}, {b})", "Move({a}, {b})", "Killdenom({a})", "Remquot({a}, 3, {b})",
                  "Egcd({a}, {b}, {c}, {c})", "Divides(3, {a}, {b})", "Pdivides(3, ^{a})", "Sqfree({a}, [{b}])",
                  "Monos({a}, [{b}])", "Remquot({a}, {b}, {a})", "Splice({b}, {a}, 3)"]


def undefined_arguments_family(prog):
    """Those built-ins on names that are undefined, bare (`a:`), numbers or
    polynomials, with or without a polynomial variable: each name then
    reads back without a fatal line."""
    r = prog.rng
    names = [prog.fresh(f"d{k}q", prog.scalars) for k in range(3)]
    for n in names:
        k = r.random()
        if k < 0.3:
            prog.add(f"{n}:")
        elif k < 0.6:
            prog.add(f"{n} := {r.choice([prog.small(), prog.expr(1)])};")
    call = r.choice(DEFINING_CALLS).format(a=names[0], b=names[1], c=names[2])
    prog.add(f"{call};", *[f"{n};" for n in names], f"{names[0]} + 1;")


# Relations with negative powers and rational coefficients in Laurent mode.
LAURENT_RELATIONS = ["u^2 + 1/u", "u^-2 + u^3", "u^2 + 1/2*u^-1", "u^3 + 1/(2*u)", "u^2 + 1/3", "u^3 - u - 1",
                     "u^2 + 2", "u^3 + u^-1 + 1", "u^2 - 1/u^2", "u^2 + u + 1"]
LAURENT_OUTER_RELATIONS = ["u^2 + v^-1", "u^3 - u + 2*v^-2", "u^2 + u*v^-1 + 1", "u^2 + 1 - v^-3*u"]


def laurent_relations_family(prog):
    r = prog.rng
    if prog.polyvars or prog.modular or variables_locked(prog):
        return
    prog.add("&(l = 1);", "&(J = u);")
    prog.polyvars.append("u")
    a = prog.fresh("lq", prog.scalars)
    prog.scalars.add(a)
    prog.add(f"{a} := u^-{r.randint(1, 3)} + {r.randint(-9, 9)}/{r.randint(1, 5)}*u;")
    if r.random() < 0.3:
        # A negative power of an outer variable: no relation in u, refused
        # with nothing changed.
        prog.add("&(J = v);")
        prog.polyvars.append("v")
        rel = r.choice(LAURENT_OUTER_RELATIONS)
        prog.add(f"&(P = {rel}{r.choice([', 1', ''])});", f"{a};")
        prog.mismatch(f"[{rel} = 0] or [Deg(u^2 + u, u) <> 2]", f"relation {rel} with an outer negative power")
        return
    prog.add(f"&(P = {r.choice(LAURENT_RELATIONS)}{r.choice([', 1', ', 1', ''])});", f"{a};", "u^-1;")


def factor_limits_family(prog):
    """Factor, Irred and Sqfree on both sides of the degree limits (2^22,
    and 131,072 modulo 2): a span of exponents past them makes Factor and
    Irred refuse, and the value before stays; inputs that split at once
    are answered at any degree."""
    r = prog.rng
    if under_relation(prog) or variables_locked(prog) or any(v != "x" for v in prog.polyvars):
        return
    if "x" not in prog.polyvars:
        prog.add("&(J = x);")
        prog.polyvars.append("x")
    p = r.choice([2, 7, 65521, 256])
    prog.add(f"&(p = {p});")
    prog.modular, prog.modulus = True, p
    limit = 131072 if p == 2 else 4194304
    d = r.choice([limit - 1, limit, limit + 1, 2 * limit, 2 ** 27])
    # A power of x dividing the input is split off by its exponent, so
    # only a span of exponents past the limit is refused.
    calls = ["Factor(x^{d}, [fq])", "Factor(x^{d} + x^{e}, [fq])", "Irred(x^{d} + x^{e})",
             "Irred(x^{d})", "Sqfree(x^{d} - x^{f}, [fq])"]
    if d > limit:
        calls += ["Factor(x^{d} + 1, [fq])", "Irred(x^{d} + 1)"]
    call = r.choice(calls).format(d=d, e=d - 1, f=d - 2)
    refused = call.endswith("+ 1, [fq])") or call.endswith("+ 1)")
    # A polynomial that no answer here can be.
    prog.add("nfq := x^5 + x^3 + 1;", f"nfq := {call};")
    prog.mismatch(f"nfq {'<>' if refused else '='} x^5 + x^3 + 1", f"{call} past or within the limit")


FAMILY_METHODS.update({"refparams": refparams, "killedrelations": killedrelations, "failedstars": failedstars,
                       "transposed": transposed, "composites": composites})
FAMILY_METHODS["relquot"] = relation_quotients
FAMILY_METHODS["loop_ranges"] = loop_ranges_family
FAMILY_METHODS.update({"openlevels": open_levels_family, "undefargs": undefined_arguments_family,
                       "laurentrel": laurent_relations_family, "factorlimits": factor_limits_family})


def make_program(seed, families):
    rng = random.Random(seed)
    prog = Program(rng)
    conversions = False
    for _ in range(rng.randint(1, 4)):
        family = rng.choice(families)
        # Last, so that its way back is the program's own.
        conversions = conversions or family == "conversions"
        if family != "conversions":
            FAMILY_METHODS[family](prog)
    if conversions or getattr(prog, "wants_conversions", False):
        prog.conversions()
    return prog


def shows(prog):
    """The statements that show every value the program left."""
    out = [f"{n};" for n in sorted(prog.scalars)]
    out += [f"[{n}];" for n in sorted(prog.arrays)]
    out += [f"{f};" for f in sorted(prog.functions | prog.reads)]
    return out


def run(binary, cwd, lines):
    script = "\n".join(lines) + "\n"
    try:
        proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired:
        return None, "", ""
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


def shown_values(out, mark=MARK):
    """The outputs of the statements after the mark, one per prompt."""
    # The mark as printed after a prompt, not as echoed by an error.
    at = out.find(">" + mark + "\n")
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
    for line in out.splitlines():
        if MISMATCH in line and "!(" not in line:
            found.append(f"{what}: {line.strip()}")
    if re.search(r"[0-9]?>" + MISMATCH, out):
        found.append(f"{what}: an identity checked in the language failed:\n" + out[out.find(">" + MISMATCH):][:600])
    mismatch = re.search(r"(?m)^[2-9]?> ?(MISMATCH .*)$", out)
    if mismatch:
        found.append(f"{what}: an identity failed: {mismatch.group(1)}")
    if "Sanitizer" in err or "runtime error" in err:
        found.append(f"{what}: sanitizer report:\n{err[-3000:]}")
    return found


def not_normal(blocks):
    """Shown values that are not in normal form: a term with coefficient
    0, a zero entry of a sparse array, a rational not in lowest terms."""
    found = []
    for b in blocks:
        # Long numbers go on after a continuation mark and a line end.
        b = re.sub(r"\s*`\s*\n\s*", "", b)
        if re.search(r"(^|[\s(+-])0[a-z](\^\d+)?\b", b) or re.search(r"\[\d+, 0\]", b):
            found.append(b)
        for a, d in re.findall(r"(?<![\w^])(\d+) / (\d+)(?![\w^])", b):
            if math.gcd(int(a), int(d)) != 1 or d in ("0", "1"):
                found.append(b)
    return found


def way_back_problems(prog, out, out2):
    """The way back after the shows, in the running interpreter and after
    the read: the same values, and every starred value left alone in
    modular mode as it was before the change."""
    problems = []
    n = len(shows(prog))
    a, b = shown_values(out, BACK), shown_values(out2, BACK)
    if a is None or b is None:
        return problems
    if a[:n] != b[:n]:
        problems.append("the way back differs after the read:\n  running: " + repr(a[:n]) + "\n  read:    "
                        + repr(b[:n]))
    pre = shown_values(out, PRE)
    k = len(prog.keep)
    if pre is not None:
        wanted = [pre[prog.pre_shows.index(show)] for show in prog.keep]
        if a[n:n + k] != wanted:
            problems.append("a starred value does not come back:\n  before: " + repr(wanted) + "\n  after:  "
                            + repr(a[n:n + k]))
    m = len(prog.back_only)
    if a[n + k:n + k + m] != b[n + k:n + k + m]:
        problems.append("a value compared after the way back differs after the read:\n  running: "
                        + repr(a[n + k:n + k + m]) + "\n  read:    " + repr(b[n + k:n + k + m]))
    bad = not_normal(a[:n + k + m] + b[:n])
    if bad:
        problems.append("a value shown not in normal form: " + repr(bad[:3]))
    return problems


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
    # The way back, shown: every value, then the starred ones left alone.
    back = ["&(p = _i);", f"!('{BACK}');"] + show + prog.keep + prog.back_only if prog.way_back else []
    with tempfile.TemporaryDirectory() as cwd:
        # Shown twice: the first show may set uninitialised cells to 0.
        first = prog.lines + show + [f"!('{MARK}');"] + show + [f"&(S = '{SAVE_FILE}');", "&s;", "&(S = @);"] \
            + back + ["&q;"]
        code, out, err = run(binary, cwd, first)
        problems = problems_of(code, out, err, "program")
        before = shown_values(out)
        if problems or before is None or not os.path.exists(os.path.join(cwd, SAVE_FILE)):
            # A statement that swallowed the shows is not a fault by itself.
            return seed, prog, problems, False
        second = [f"&(R = '{SAVE_FILE}');", f"!('{MARK}');"] + show + back + ["&q;"]
        code, out2, err2 = run(binary, cwd, second)
        problems += problems_of(code, out2, err2, "read back")
        after = shown_values(out2)
        n = len(show)
        if after is not None and before[:n] != after[:n]:
            problems += same_by_subtraction(binary, cwd, prog, show, before, after)
        elif after is None:
            problems.append("values changed by save and read:\n  before: " + repr(before[:n]) + "\n  after:  None")
        if prog.way_back:
            problems += way_back_problems(prog, out, out2)
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
