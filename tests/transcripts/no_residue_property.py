#!/usr/bin/env python3
"""Stored values with and without an element of the new ring, across ring
changes, ways of naming them, uses in modular mode and the way back, in the
running interpreter and after a save read by a fresh one.

The matrix: kinds of stored value (integers, rationals, polynomials,
polynomials over Q, rational functions, dense, sparse and string arrays, an
array shadowed by a newer one of its name, a %[k] slot) x ring changes (7
dividing a denominator, 7 dividing a coefficient, 13 dividing nothing, 12,
GF(2^8), GF(2^16); plain, under a relation, in Laurent mode) x ways of
naming (full change, listed, starred, listed twice, starred and listed in
either order, left out, '**') x uses
in modular mode (read, element read, an assignment, passing by value and
by '^', a read inside an Integer function, Sigma, every built-in that reads a stored scalar, Killdenom, an
array expression, Trans, Det, Poly, Chpoly, STrans, blocks of rows and
columns shown and in expressions, an exponent read from a cell, elements
read through a %[k] slot, a
cell without a residue overwritten and its array then read whole) x the
way back. A value has no residue when its denominator vanishes modulo the
modulus (GF(2^8) and GF(2^16) take an integer n to n mod 256 and n mod
65536) or, modulo 12, when its normal form needs an inverse 12 lacks.

Invariants:
  - a full change meeting a value without a residue is refused with error
    85 and changes nothing;
  - nothing shown is out of normal form (no fraction of numbers in modular
    mode, none out of lowest terms, no term with coefficient 0);
  - a value without a residue, read in modular mode in any way, is error
    85; every other value reads as a full conversion makes it (the same
    uses after a full change of the values with residues), and modulo a
    prime or 12 as its residue computed here;
  - a starred or left-out value comes back as it was unless assigned; a
    converted one as its representative;
  - a block reads what its cells read: error 85 only when it holds a cell
    without a residue; an array whose every cell has one reads whole;
  - a save made in modular mode, read by a fresh process, shows every value
    as the running process does, and gives the same way back;
  - the variable listing shows each scalar as reading it does (message 85
    for one without a residue), before and after the save is read;
  - a left-out array rewritten in place (Reverse, Swaprows, Swapcols,
    STrans, Sort, Rowreduce, Redrowech, Tablemerge, Recoef) reads as the
    converted array after the same command, and comes back as the command
    left it: moved originals, written elements.

Combinations that meet faults not mended yet (a '^' parameter writing
back a residue it was never given, a save that does not read back) can be
listed in KNOWN_REF_FAULTS and KNOWN_SAVE_FAULTS: they run, and their
failures are counted apart. Both are empty now.

  no_residue_property.py TARVEX [SEED] [--all] [--list]

--all counts the known faults as failures; --list prints every failure.
"""
import concurrent.futures
import math
import os
import random
import re
import subprocess
import sys
import tempfile

try:
    import sympy
except ImportError as missing:
    sys.exit(f"the test reference sympy cannot be imported by {sys.executable}: {missing}")

# (label, modulus): 7 dividing denominators, 7 dividing coefficients, a
# prime dividing nothing, a composite modulus, the two fields.
RINGS = [("7|den", 7), ("7|coef", 7), ("13", 13), ("12", 12), ("gf8", 256), ("gf16", 65536)]
VARIANTS = ["plain", "relation", "laurent"]
NAMINGS = ["full", "listed", "starred", "listed twice", "starred and listed", "listed and starred", "left out",
           "**"]
# Namings whose items come back as they were: a plain naming beside a star
# does nothing to it, whichever comes first.
STARRED = {"starred", "**", "starred and listed", "listed and starred"}
REFUSED = "Value not invertible modulo the modulus."
# The cells an array's use reads; the others read it whole.
CELLS_READ = {"element": ["[1,1]"], "sigma": ["[1,1]", "[1,2]"], "value": ["[2,1]"], "row1": ["[1,1]", "[1,2]"],
              "col2": ["[1,2]", "[2,2]"], "row2": ["[2,1]", "[2,2]"], "slotcell": ["[1,1]"],
              "slotcell2": ["[2,1]"], "count": ["[2,1]"], "integer": ["[2,1]"]}
# Built-ins that read a stored scalar ({v}: the polynomial variable).
SCALAR_BUILTINS = ["Coef({n}, 1)", "Coef({n})", "Mcoef({n}, {v})", "Nmcoef({n}, {v})", "Denom({n})", "Lc({n})",
                   "Nlc({n})", "Ntc({n})", "Terms({n})", "Termsall({n})", "Deg({n})", "Codeg({n})", "Content({n})",
                   "Lterm({n})", "Lmon({n})", "Height({n})", "Level({n})", "Phash({n})", "Rational({n})",
                   "Numcont({n})", "Deriv({n}, {v}, 1)", "Raise({n})", "GCD({n}, {v} + 1)", "Monless({n}, {v})",
                   "Equal({n}, {n})", "Equalneg({n}, 1)", "Cast({n})", "Sqrt({n})", "Isprime({n})"]
PREFIX = {"int": "i", "rat": "r", "poly": "p", "qpoly": "q", "ratfun": "f", "dense": "d", "sparse": "s",
          "string": "w", "shadow": "h", "slot": "k"}
SAVE = "n.sav"
CRASHES = []        # runs that ended abnormally or with a sanitizer report

# (naming, item kind, what is compared) whose save does not read back to
# the running state, for a fault mended elsewhere; empty now.
KNOWN_SAVE_FAULTS = set()
# Standings (starred, left out) of values to which a '^' parameter that is
# never assigned writes its residue back, so that the way back gives the
# residue, for a fault mended elsewhere; empty now.
KNOWN_REF_FAULTS = set()


def run(binary, lines, cwd):
    proc = subprocess.run([binary], input=("\n".join(lines) + "\n").encode(), capture_output=True, cwd=cwd,
                          timeout=120)
    err = proc.stderr.decode("utf-8", "replace")
    if proc.returncode != 0 or "Sanitizer" in err or "runtime error" in err:
        CRASHES.append(f"exit status {proc.returncode}: {err[-2000:]}")
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
        text = re.sub(r"^[2-9]?>", "", text, flags=re.M)
        text = re.sub(r"\s*`\s*\n\s*", "", text)
        found[parts[k]] = " ".join(text.split())
    return found


def listed(text):
    """name -> the value the variable listing shows for it."""
    text = (text or "").split(" arrays:")[0]
    return dict(re.findall(r"(?:^| )([a-z]\w*) := (.*?)(?= [a-z]\w* := |$)", text))


def not_normal(text, modular):
    """Why a shown text is out of normal form, or None."""
    if "Error occurred" in text or "Inappropriate" in text:
        # An error echoes the statement as typed.
        text = text.split("***")[0]
    if re.search(r"(^|[\s(+-])0[a-z](\^-?\d+)?\b", text) or re.search(r"\[\d+, 0 \]", text):
        return "a term or entry 0"
    for a, d in re.findall(r"(?<![\w^.])(-?\d+) / (-?\d+)(?![\w^(])", text):
        if modular:
            return f"{a} / {d} in modular mode"
        if math.gcd(int(a), int(d)) != 1 or d in ("0", "1"):
            return f"{a} / {d} not in lowest terms"
    if re.search(r"/ \(?\s*0\s*\)?(\s|$|;)", text):
        return "a denominator 0"
    return None


class Item:
    """One stored value: its statements, its name in a list, the reads
    that show it, the uses made of it in modular mode."""

    def __init__(self, kind, name, setup, item, shows, uses, bad, array=False, cells=None):
        self.kind, self.name, self.setup, self.item = kind, name, setup, item
        self.shows, self.uses, self.bad, self.array = shows, uses, bad, array
        self.cells = cells or {}        # show statement -> (literal, bad)
        self.mutation = None            # (label, statements, shows it changes)
        self.older = []                 # shows of a record behind this one
        self.bad_lines = set()          # setup lines storing a value without a residue
        self.whole = []                 # whole reads after the mutation, and after a save is read


class Values:
    def __init__(self, rng, label, q, variant):
        self.rng, self.label, self.q, self.variant = rng, label, q, variant
        self.var = "t" if variant == "relation" else "x"

    def n(self):
        # Prime to every modulus used, so that no bad denominator cancels.
        while True:
            v = self.rng.randint(-60, 60)
            if v and math.gcd(v, 2 * 3 * 7 * 13) == 1:
                return v

    def good_den(self):
        return self.rng.choice({7: [2, 3, 5, 11], 13: [2, 3, 7, 11], 12: [5, 7, 11, 25]}.get(self.q, [2, 3, 5, 9]))

    def bad_den(self):
        if self.q == 12:
            return self.rng.choice([3, 4, 6, 9])
        return self.q * self.rng.randint(1, 3)

    def coef(self):
        c = self.rng.randint(-40, 40) or 1
        return 7 * c if self.label == "7|coef" else c

    def poly(self):
        v = self.var
        low = f"{self.coef()}*x^-2 + " if self.variant == "laurent" else ""
        return f"{low}{self.coef()}*{v}^3 + {self.coef()}*{v} + {self.n()}"

    def literal(self, kind, bad):
        v = self.var
        if kind == "int":
            # Never 0 in the ring: a sparse entry would vanish.
            while True:
                v = self.rng.choice([self.rng.randint(-10**6, 10**6), 10**25 + self.rng.randint(1, 99)])
                if v % self.q:
                    return str(v)
        d = self.bad_den() if bad else self.good_den()
        if kind == "rat":
            return f"{self.n()}/{d}"
        if kind == "poly":
            return self.poly()
        if kind == "qpoly":
            return f"({self.poly()})/{d}"
        # A rational function: a denominator the modulus kills, or one with
        # an inverse (monic modulo 12, where the division must not stop at
        # a constant without inverse).
        a = self.n()
        if bad:
            if self.q == 12:
                return f"({v} + {a})/(3*{v} + 3)" if a != 1 else f"({v} + 5)/(3*{v} + 3)"
            m = self.q
            return f"({v} + {a})/({m * 2}*{v} + {m * self.rng.choice([1, 3])})"
        if self.q == 12:
            b = a - self.rng.choice([1, 5, 7, 11])
            return f"({v} + {a})/({v} + {b})"
        return f"({v} + {a})/({self.good_den()}*{v} + {self.n()})"


def residue_text(literal, q):
    """The residue of a literal without a polynomial denominator, as sympy
    sees it: coefficients reduced modulo q."""
    expr = sympy.sympify(literal.replace("^", "**"))
    poly = sympy.Poly(sympy.expand(expr), *sorted(expr.free_symbols, key=str)) if expr.free_symbols else None
    if poly is None:
        r = sympy.Rational(expr)
        return sympy.Integer(r.p * pow(r.q, -1, q) % q)
    out = 0
    for monom, c in poly.terms():
        c = sympy.Rational(c)
        term = sympy.Integer(c.p * pow(c.q, -1, q) % q)
        for s, e in zip(poly.gens, monom):
            term *= s ** e
        out += term
    return out


def read_shown(text):
    text = text.split(";  or  ")[0].strip()
    text = re.sub(r"(\d)([xyt(])", r"\1*\2", text)
    text = re.sub(r"\)([xyt(])", r")*\1", text)
    return sympy.sympify(text.replace("^", "**"))


def same_mod(a, b, q):
    diff = sympy.expand(a - b)
    if diff == 0:
        return True
    syms = sorted(diff.free_symbols, key=str)
    coeffs = sympy.Poly(diff, *syms).coeffs() if syms else [diff]
    return all(sympy.Rational(c).q == 1 and int(c) % q == 0 for c in coeffs)


def build_items(rng, label, q, variant):
    vals = Values(rng, label, q, variant)
    has_bad = label != "13"
    items = []
    k = 0
    for kind in ["int", "rat", "poly", "qpoly", "ratfun", "dense", "sparse", "string", "shadow", "slot"]:
        for bad in ([False, True] if has_bad and kind not in ("int", "poly", "string") else [False]):
            k += 1
            name = f"{PREFIX[kind]}{k}"
            if kind in ("int", "rat", "poly", "qpoly", "ratfun"):
                lit = vals.literal(kind, bad)
                uses = [("read", [f"{name};"]), ("value", [f"Fv({name});"]), ("sigma", [f"Sigma<i = 1, 2>({name});"]),
                        ("builtin", [f"Numer({name});"]), ("product", [f"{name} * 3 - {name};"])]
                uses += [(f"builtin{k}", [b.format(n=name, v=vals.var) + ";"]) for k, b in enumerate(SCALAR_BUILTINS)]
                uses.append(("integer", [f"Func I{name}(n) = Integer; {name} + n.", f"I{name}(1);"]))
                it = Item(kind, name, [f"{name} := {lit};"], name, [f"{name};"], uses, bad, cells={f"{name};": (lit, bad)})
                r = rng.random()
                if r < 0.4:
                    it.mutation = ("assign", [f"{name} := {name} + 1;"], [f"{name};"])
                elif r < 0.6:
                    # What it changes is told by the converted run.
                    it.mutation = ("killdenom", [f"Killdenom(^{name});"], [])
                elif r < 0.8:
                    it.mutation = ("ref", [f"Fr({name});"], [])
                items.append(it)
                continue
            sparse = kind == "sparse"
            decl = f"Array {name}[2,2]{' Sparse' if sparse else ''};"
            if kind == "string":
                setup = [f"Array {name}[1,3];", f"[{name}] := '{''.join(rng.choice('abcxyz') for _ in range(3))}';"]
                cells = {f"{name}[1,{j}];": (None, False) for j in (1, 2, 3)}
                uses = [("read", [f"![{name}];"]), ("expr", [f"[{name}] + [{name}];"]),
                        ("trans", [f"Trans [{name}];"]), ("sigma", [f"Sigma<i = 1, 3>({name}[1,i]);"])]
                it = Item(kind, name, setup, f"[{name}]", list(cells), uses, False, True, cells)
                items.append(it)
                continue
            cells = {}
            bad_lines = set()
            setup = [decl]
            spots = [(1, 1), (1, 2), (2, 1), (2, 2)] if not sparse else rng.sample([(1, 1), (1, 2), (2, 1), (2, 2)], 3)
            bad_spot = rng.choice(spots) if bad else None
            for (i, j) in spots:
                lit = vals.literal("rat" if (i, j) == bad_spot else rng.choice(["int", "rat", "poly", "qpoly"]),
                                   (i, j) == bad_spot)
                setup.append(f"{name}[{i},{j}] := {lit};")
                cells[f"{name}[{i},{j}];"] = (lit, (i, j) == bad_spot)
                if (i, j) == bad_spot:
                    bad_lines = {setup[-1]}
            older = []
            if kind == "shadow":
                # The record shown after a newer one of the name is deleted.
                older = list(cells)
                newer = vals.literal("rat", False)
                setup += [decl, f"{name}[1,1] := {newer};", f"{name}[2,2] := 1;", f"{name}[1,2] := 2;",
                          f"{name}[2,1] := 3;"]
                cells = {f"{name}[1,1];": (newer, False), f"{name}[2,2];": ("1", False),
                         f"{name}[1,2];": ("2", False), f"{name}[2,1];": ("3", False)}
            shows = list(cells)
            uses = [("read", [f"![{name}];"]), ("element", [f"{name}[1,1];"]), ("expr", [f"[{name}] + [{name}];"]),
                    ("trans", [f"Trans [{name}];"]), ("sigma", [f"Sigma<i = 1, 2>({name}[1,i] * 1);"]),
                    ("det", [f"Det[{name}];"]), ("value", [f"Fv({name}[2,1]);"]),
                    ("row1", [f"![{name}[1, ]];"]), ("col2", [f"![{name}[~2, 2~]];"]),
                    ("poly", [f"Poly[{name}];"]), ("chpoly", [f"Chpoly([{name}]);"]),
                    ("count", [f"2^{name}[2,1];"]),
                    ("integer", [f"Func I{name}(n) = Integer; {name}[2,1] + n.", f"I{name}(1);"])]
            if not sparse:
                uses.append(("row2", [f"[{name}[2, ]] + [{name}[2, ]];"]))
            it = Item(kind, name, setup, f"[{name}]", shows, uses, bad, True, cells)
            it.older = older
            it.bad_lines = bad_lines
            if kind == "slot":
                slot = k
                it.setup.append(f"%[{slot}] := [{name}];")
                it.uses += [("slot", [f"[%[{slot}]];"]), ("slotcell", [f"%[{slot}][1,1];"]),
                            ("slotcell2", [f"%[{slot}][2,1] * 5;"])]
                it.item = None      # no list names a slot's array apart
            good_cells = [s for s, (_, b) in cells.items() if not b]
            r = rng.random()
            if bad_spot and kind != "shadow" and r < 0.5:
                # The cell without a residue overwritten: the array is then
                # read whole, in the session and after a save is read.
                cell = f"{name}[{bad_spot[0]},{bad_spot[1]}];"
                it.mutation = ("overwrite", [f"{cell[:-1]} := 5;"], [cell])
                it.whole = [f"![{name}];", f"Sum[{name}];", f"[{name}] + [{name}];"]
            elif r < 0.3:
                cell = rng.choice(good_cells)
                it.mutation = ("assign", [f"{cell[:-1]} := {cell[:-1]} + 1;"], [cell])
            elif r < 0.45 and sparse and not bad:
                # A diagonal entry stays where it was, untouched.
                it.mutation = ("strans", [f"STrans[{name}];"], [c for c in shows if c[-5] != c[-3]])
            elif r < 0.6:
                it.mutation = ("ref", [f"Fr({rng.choice(good_cells)[:-1]});"], [])
            items.append(it)
    return items


def header(variant):
    lines = ["&(J = x);"]
    if variant == "relation":
        lines += ["&(J = t);", "&(P = t^2 + 1);"]
    if variant == "laurent":
        lines.append("&l;")
    lines += ["Func Fv(n) = n * 1.", "Func Fr(^n) = 0."]
    return lines


def list_text(items, naming):
    named = [it.item for it in items if it.item]
    if naming == "full":
        return ""
    if naming == "**":
        return " : **"
    if naming == "left out":
        return " : z"
    if naming == "listed":
        return " : " + ", ".join(named)
    if naming == "starred":
        return " : " + ", ".join("*" + n for n in named)
    if naming == "starred and listed":
        return " : " + ", ".join(f"*{n}, {n}" for n in named)
    if naming == "listed and starred":
        return " : " + ", ".join(f"{n}, *{n}" for n in named)
    return " : " + ", ".join(f"{n}, {n}" for n in named)


def all_shows(items):
    shows = []
    for it in items:
        shows += it.shows
    return shows


def program(items, q, variant, naming, uses=True):
    lines = header(variant) + ["z := 1;"]
    for it in items:
        lines += it.setup
    shows = all_shows(items)
    lines += [f"!('#before{k}');\n{s}" for k, s in enumerate(shows)]
    lines.append("!('#change');")
    lines.append(f"&(p = {q}{list_text(items, naming)});")
    for it in items if uses else []:
        for use, stmts in it.uses:
            lines.append(f"!('#use-{it.name}-{use}');")
            lines += stmts
        if it.mutation:
            lines.append(f"!('#mut-{it.name}');")
            lines += it.mutation[1]
    lines += whole_lines(items)
    lines += [f"!('#saved{k}');\n{s}" for k, s in enumerate(shows)]
    lines += ["!('#list');", "&v;", "!('#save');"]
    lines.append(f"&(S = '{SAVE}'); &s; &(S = @);")
    lines += back_lines(items)
    return lines


def whole_lines(items):
    return [f"!('#whole-{it.name}{k}');\n{w}" for it in items for k, w in enumerate(it.whole)]


def back_lines(items):
    shows = all_shows(items)
    lines = ["&(p = _i);"]
    lines += [f"!('#back{k}');\n{s}" for k, s in enumerate(shows)]
    for it in items:
        if it.older:
            lines.append(f"!('#delete-{it.name}');")
            lines.append(f"@[{it.name}];")
            lines += [f"!('#older-{it.name}{k}');\n{s}" for k, s in enumerate(it.older)]
    lines.append("!('#end');")
    return lines


def fresh_read(items):
    shows = all_shows(items)
    lines = [f"&(R = '{SAVE}');", "&(R = @);"]
    lines += whole_lines(items)
    lines += [f"!('#saved{k}');\n{s}" for k, s in enumerate(shows)]
    lines += ["!('#list');", "&v;", "!('#save');"]
    return lines + back_lines(items)


def without_bad(items):
    """The items a full change converts: scalars without a residue dropped,
    cells without one set to 0 (no entry, in a sparse array)."""
    kept = []
    for it in items:
        if not it.array and it.bad:
            continue
        if it.bad_lines:
            setup = [line.split(":=")[0] + ":= 0;" if line in it.bad_lines else line for line in it.setup]
            copy = Item(it.kind, it.name, setup, it.item, it.shows, it.uses, False, True,
                        {s: (("0", False) if b else (lit, b)) for s, (lit, b) in it.cells.items()})
            copy.mutation, copy.older, copy.whole = it.mutation, it.older, it.whole
            kept.append(copy)
        else:
            kept.append(it)
    return kept


class Checker:
    def __init__(self, label, q, variant, naming, all_faults):
        self.where = (label, variant, naming)
        self.q = q
        self.all_faults = all_faults
        self.combos = 0
        self.failures = []
        self.known = []

    def check(self, cond, kind, what, known=False):
        if cond:
            return
        text = f"{self.where} {kind}: {what}"
        (self.failures if (self.all_faults or not known) else self.known).append(text)


def converted_run(binary, items, q, variant):
    """The same values and uses after a full change of those with a
    residue; its save read by a fresh process."""
    full_items = without_bad(items)
    with tempfile.TemporaryDirectory() as cwd:
        out = segments(run(binary, program(full_items, q, variant, "full"), cwd))
        out_r = segments(run(binary, fresh_read(full_items), cwd)) if os.path.exists(os.path.join(cwd, SAVE)) else {}
    return full_items, out, out_r


def check_case(binary, items, converted, label, q, variant, naming, all_faults):
    full_items, out_f, _ = converted
    c = Checker(label, q, variant, naming, all_faults)
    has_bad = any(it.bad for it in items)
    refused = naming == "full" and has_bad
    with tempfile.TemporaryDirectory() as cwd:
        out_l = segments(run(binary, program(items, q, variant, naming, not refused), cwd))
        out_r = segments(run(binary, fresh_read(items), cwd)) if os.path.exists(os.path.join(cwd, SAVE)) else {}
    shows = all_shows(items)
    fshows = all_shows(full_items)
    change = out_l.get("change", "")

    # Every shown text in normal form.
    for key, text in out_l.items():
        modular = not (key.startswith("before") or key.startswith("back") or key.startswith("older") or refused)
        why = not_normal(text, modular)
        c.check(why is None, "normal form", f"{key} shows {text!r}: {why}")

    if refused:
        c.combos += len(items)
        c.check(REFUSED in change and "Now in modular mode" not in change, "refusal",
                f"the change says {change!r}")
        for k, s in enumerate(shows):
            c.check(out_l.get(f"before{k}") == out_l.get(f"back{k}"), "refusal",
                    f"{s} was {out_l.get(f'before{k}')!r}, after the refused change {out_l.get(f'back{k}')!r}")
        return c
    c.check("Now in modular mode" in change, "change", f"the change says {change!r}")
    c.check(not has_bad or naming == "full" or REFUSED in change or naming == "left out", "change",
            f"no report of a value without a residue: {change!r}")

    fidx = {s: k for k, s in enumerate(fshows)}
    permanent = naming in ("full", "listed", "listed twice")
    for it in items:
        mutated = set(it.mutation[2]) if it.mutation and it.mutation[0] != "ref" else set()
        if it.mutation and it.mutation[0] == "killdenom" and fidx.get(it.shows[0]) is not None:
            # Changed when the element had a denominator to lose.
            if out_f.get(f"use-{it.name}-read") != out_f.get(f"saved{fidx[it.shows[0]]}"):
                mutated = set(it.shows)
        reached = it.item is not None or naming in ("full", "**")
        # Uses in modular mode.
        for use, stmts in it.uses:
            c.combos += 1
            got = out_l.get(f"use-{it.name}-{use}")
            # The record read holds a value without a residue (a shadowed
            # array's older record is not read).
            holds_bad = any(b for (_, b) in it.cells.values())
            read = CELLS_READ.get(use)
            reads_bad = it.bad and not it.array or holds_bad and (
                read is None or any(it.cells.get(f"{it.name}{cell};", (0, False))[1] for cell in read))
            if reads_bad:
                c.check(got is not None and REFUSED in got, "read without residue",
                        f"{it.kind} {stmts} gives {got!r}")
            else:
                want = out_f.get(f"use-{it.name}-{use}")
                c.check(got == want, "read as converted", f"{it.kind} {stmts} gives {got!r}, converted {want!r}")
        if it.mutation:
            c.combos += 1
        for k, w in enumerate(it.whole):
            c.combos += 1
            got, want = out_l.get(f"whole-{it.name}{k}"), out_f.get(f"whole-{it.name}{k}")
            c.check(got == want, "read as converted", f"after {it.mutation[1]} {w} gives {got!r}, converted {want!r}")
            if out_r:
                fresh = out_r.get(f"whole-{it.name}{k}")
                c.check(fresh == got, "save and read", f"after {it.mutation[1]} {w} gives {got!r}, after the read {fresh!r}")
        # Shown in modular mode after the uses, the way back, the save.
        for s in it.shows:
            k = shows.index(s)
            lit, bad_cell = it.cells.get(s, (None, False))
            saved, back, before = out_l.get(f"saved{k}"), out_l.get(f"back{k}"), out_l.get(f"before{k}")
            fk = fidx.get(s)
            f_saved = out_f.get(f"saved{fk}") if fk is not None else None
            f_back = out_f.get(f"back{fk}") if fk is not None else None
            c.combos += 1
            if bad_cell and not (it.mutation and it.mutation[0] == "overwrite" and s in mutated):
                c.check(saved is not None and REFUSED in saved, "read without residue", f"{s} shows {saved!r}")
                c.check(back == before, "way back", f"{s} was {before!r}, comes back {back!r}")
            else:
                if s not in mutated:
                    c.check(saved == f_saved, "read as converted", f"{s} shows {saved!r}, converted {f_saved!r}")
                # Converted for good, or assigned: the representative; else
                # as it was. A listed array holding a cell without a residue
                # converts its other cells all the same.
                want = f_back if s in mutated or permanent and reached else before
                standing = "converted" if permanent and reached else "starred" if naming in STARRED \
                    else "left out"
                if it.mutation and it.mutation[0] == "ref" and standing != "converted":
                    c.check(back == want, "way back", f"{s} was {before!r}, comes back {back!r}, wanted {want!r}",
                            known=standing in KNOWN_REF_FAULTS)
                else:
                    c.check(back == want, "way back", f"{s} was {before!r}, comes back {back!r}, wanted {want!r}")
                if q in (7, 13, 12) and variant == "plain" and lit and not it.array and it.kind != "ratfun" \
                        and s not in mutated and f_saved and "***" not in f_saved:
                    try:
                        ok = same_mod(read_shown(f_saved), residue_text(lit, q), q)
                    except (sympy.SympifyError, TypeError, ValueError):
                        ok = False
                    c.check(ok, "residue", f"{s} := {lit} shows {f_saved!r} modulo {q}")
            # The fresh process after the read.
            if out_r:
                key = (naming, it.kind, "saved")
                c.check(out_r.get(f"saved{k}") == saved, "save and read",
                        f"{s} shows {saved!r}, after the read {out_r.get(f'saved{k}')!r}", known=key in KNOWN_SAVE_FAULTS)
                key = (naming, it.kind, "back")
                c.check(out_r.get(f"back{k}") == back, "save and read",
                        f"{s} comes back {back!r}, after the read {out_r.get(f'back{k}')!r}",
                        known=key in KNOWN_SAVE_FAULTS)
        for k, s in enumerate(it.older):
            c.combos += 1
            got, fresh = out_l.get(f"older-{it.name}{k}"), out_r.get(f"older-{it.name}{k}")
            c.check(got is not None and REFUSED not in got, "way back", f"the older {s} comes back {got!r}")
            if out_r:
                c.check(fresh == got, "save and read", f"the older {s} comes back {got!r}, after the read {fresh!r}",
                        known=(naming, it.kind, "older") in KNOWN_SAVE_FAULTS)
    # The variable listing shows what reading each scalar shows, in the
    # session and after the save is read.
    shown, shown_r = listed(out_l.get("list")), listed(out_r.get("list"))
    for it in items:
        if it.array:
            continue
        c.combos += 1
        read = out_l.get(f"saved{shows.index(it.shows[0])}") or ""
        want = REFUSED if REFUSED in read else read
        got = shown.get(it.name, "").replace("&_n ", "")
        c.check(got == want, "listing", f"{it.name} is listed as {got!r}, read as {read!r}")
        if out_r:
            c.check(shown_r.get(it.name) == shown.get(it.name), "save and read",
                    f"{it.name} is listed as {shown.get(it.name)!r}, after the read {shown_r.get(it.name)!r}")
    if not out_r:
        c.check(False, "save and read", "no save file was written")
    return c


def check_ring(binary, seed, label, q, variant, all_faults):
    """Every way of naming the same values under one ring change."""
    items = build_items(random.Random(seed), label, q, variant)
    # An array left out whose entries its words already give stays out,
    # and STrans moves its originals, which then come back moved.
    items_out = build_items(random.Random(seed), label, q, variant)
    for it in items_out:
        if it.mutation and it.mutation[0] == "strans":
            it.mutation = None
    converted = converted_run(binary, items, q, variant)
    converted_out = converted_run(binary, items_out, q, variant)
    checks = [check_full_good(converted, label, variant, all_faults)]
    for naming in NAMINGS:
        both = (items_out, converted_out) if naming == "left out" else (items, converted)
        checks.append(check_case(binary, *both, label, q, variant, naming, all_faults))
    return checks


def stored(literal, variant):
    """A literal as the interpreter stores it: reduced modulo t^2 + 1 under
    the relation."""
    expr = sympy.expand(sympy.sympify(literal.replace("^", "**")))
    t = sympy.Symbol("t")
    return sympy.expand(sympy.rem(expr, t**2 + 1, t)) if variant == "relation" and t in expr.free_symbols else expr


def words_give(literal, q, variant):
    """Whether a left-out value's residues are its element: an integer, or
    a polynomial none of whose coefficients q divides."""
    expr = stored(literal, variant)
    if not expr.free_symbols:
        return expr.is_Integer
    return all(c.is_Integer and int(c) % q for c in expr.as_coefficients_dict().values())


# Commands that rewrite a left-out array in place, and what the way back
# gives a cell: "perm" moves the originals; "sort" moves them too, but a
# row that moves takes the elements its words do not give; "rewrite"
# writes elements (as the converted run's way back gives them) and may
# keep a cell it leaves as it was; "cell" writes cell [1,1] alone.
IN_PLACE = [("Reverse[{a}];", "perm", "ds"), ("Swaprows([{a}], 1, 2);", "perm", "ds"),
            ("Swapcols([{a}], 1, 2);", "perm", "ds"), ("STrans[{a}];", "perm", "s"), ("Sort[{a}];", "sort", "ds"),
            ("Rowreduce([{a}]);", "rewrite", "s"), ("Redrowech([{a}]);", "rewrite", "ds"),
            ("Tablemerge([{a}], [{a}], 1);", "rewrite", "s"), ("Recoef({a}[1,1], 0) := 5;", "cell", "ds")]


def check_in_place(binary, seed, label, q, variant):
    """An older record of a name, left out of the change with every cell
    holding an element (some of them 0), reached once the newer record is
    deleted, rewritten in place: it reads as the converted array does after
    the same command, and the way back, in the session and after a save is
    read, gives each cell what the command made of it."""
    rng = random.Random(seed)
    vals = Values(rng, label, q, variant)
    c = Checker(label, q, f"in place, {variant}", "left out", False)
    arrays = []
    for cmd, kind, storages in IN_PLACE:
        for sparse in [st == "s" for st in storages]:
            n = rng.choice([2, 3])
            lits = {(i, j): str(q * rng.randint(1, 3)) if rng.random() < 0.15 else
                    vals.literal(rng.choice(["int", "rat", "poly", "qpoly"]), False)
                    for i in range(1, n + 1) for j in range(1, n + 1)}
            arrays.append((f"a{len(arrays)}", n, sparse, cmd, kind, lits))

    def cells(tag, a, n):
        return [f"!('#{tag}-{a}-{i}-{j}');\n{a}[{i},{j}];" for i in range(1, n + 1) for j in range(1, n + 1)]

    def lines(left_out):
        out = header(variant)
        for a, n, sparse, _, _, lits in arrays:
            out.append(f"Array {a}[{n},{n}]{' Sparse' if sparse else ''};")
            out += [f"{a}[{i},{j}] := {v};" for (i, j), v in lits.items()]
            if left_out:
                out.append(f"Array {a}[1];")
        out.append(f"&(p = {q}{' : z' if left_out else ''});")
        out += [f"@[{a[0]}];" for a in arrays] if left_out else []
        for a, n, _, cmd, _, _ in arrays:
            out += cells("pre", a, n) + [f"!('#cmd-{a}');", cmd.format(a=a)] + cells("post", a, n)
            out += [f"!('#whole-{a}');", f"![{a}];"]
        return out + ["!('#save');", f"&(S = '{SAVE}'); &s; &(S = @);"] + after()

    def after():
        out = ["&(p = _i);"]
        for a, n, *_ in arrays:
            out += cells("back", a, n)
        return out + ["!('#end');"]

    with tempfile.TemporaryDirectory() as cwd:
        got = segments(run(binary, lines(True), cwd))
        fresh = segments(run(binary, [f"&(R = '{SAVE}');", "&(R = @);"] + after(), cwd))
    with tempfile.TemporaryDirectory() as cwd:
        want = segments(run(binary, lines(False), cwd))

    def is_original(text, lit):
        try:
            return sympy.simplify(read_shown(text.split("; or")[0]) - stored(lit, variant)) == 0
        except (sympy.SympifyError, TypeError, ValueError, AttributeError):
            return False

    for a, n, sparse, cmd, kind, lits in arrays:
        where = f"{cmd.format(a=a)} ({'sparse' if sparse else 'dense'})"
        refused = "***" in want.get(f"cmd-{a}", "")
        for key in (f"cmd-{a}", f"whole-{a}"):
            c.check(got.get(key) == want.get(key), "read as converted",
                    f"{where}: {key} gives {got.get(key)!r}, converted {want.get(key)!r}")
        pre = {(i, j): got.get(f"pre-{a}-{i}-{j}") for (i, j) in lits}
        for (i, j) in lits:
            c.combos += 1
            cell = f"after {where} {a}[{i},{j}]"
            post, back = got.get(f"post-{a}-{i}-{j}"), got.get(f"back-{a}-{i}-{j}") or ""
            wanted_post, wanted_back = want.get(f"post-{a}-{i}-{j}"), want.get(f"back-{a}-{i}-{j}")
            c.check(post == wanted_post, "read as converted", f"{cell} reads {post!r}, converted {wanted_post!r}")
            c.check(fresh.get(f"back-{a}-{i}-{j}") == back, "save and read",
                    f"{cell} comes back {back!r}, after the read {fresh.get(f'back-{a}-{i}-{j}')!r}")
            source = [(i, j)] if refused else [k for k, text in pre.items() if text == post]
            if not refused and (kind == "rewrite" or kind == "cell" and (i, j) == (1, 1)):
                kept = kind == "rewrite" and post == pre[(i, j)] and is_original(back, lits[(i, j)])
                c.check(back == wanted_back or kept, "way back", f"{cell} comes back {back!r}, wanted {wanted_back!r}")
            elif len(source) == 1:      # else the element tells no single origin
                src = source[0]
                if kind == "sort" and not refused and src[0] != i and not words_give(lits[src], q, variant):
                    c.check(back == post, "way back", f"{cell} comes back {back!r}, wanted {post!r}")
                else:
                    c.check(is_original(back, lits[src]), "way back", f"{cell} comes back {back!r}, wanted {lits[src]!r}")
    return [c]


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    all_faults = "--all" in argv
    binary = os.path.abspath(args[0])
    seed = int(args[1]) if len(args) > 1 else 58
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        jobs = [pool.submit(check_ring, binary, seed * 1000 + r * 10 + v, label, q, variant, all_faults)
                for r, (label, q) in enumerate(RINGS) for v, variant in enumerate(VARIANTS)]
        jobs += [pool.submit(check_in_place, binary, seed * 1000 + 500 + r * 10 + v, label, q, variant)
                 for r, (label, q) in enumerate(RINGS) if label != "7|coef" for v, variant in enumerate(VARIANTS)]
        results = [c for j in jobs for c in j.result()]
    combos = sum(c.combos for c in results)
    failures = [f for c in results for f in c.failures]
    known = [f for c in results for f in c.known]
    for f in failures if "--list" in argv else failures[:25]:
        print("FAIL:", f)
    if known:
        print(f"{len(known)} failures of known faults mended elsewhere, e.g.:")
        for f in known[:5]:
            print("  known:", f)
    for crash in CRASHES[:3]:
        print("CRASH:", crash)
    print(f"{combos} combinations in {len(results)} ring changes; {len(failures)} failed, {len(CRASHES)} runs crashed")
    return 1 if failures or CRASHES else 0


def check_full_good(converted, label, variant, all_faults):
    """A full change over values that all have residues, and its save."""
    items, out, out_r = converted
    c = Checker(label, None, variant, "full (all with residues)", all_faults)
    c.check("Now in modular mode" in out.get("change", ""), "change", f"the change says {out.get('change')!r}")
    for key, text in out.items():
        modular = not (key.startswith("before") or key.startswith("back") or key.startswith("older"))
        why = not_normal(text, modular)
        c.check(why is None, "normal form", f"{key} shows {text!r}: {why}")
    for k, s in enumerate(all_shows(items)):
        c.combos += 1
        c.check(out_r.get(f"saved{k}") == out.get(f"saved{k}"), "save and read",
                f"{s} shows {out.get(f'saved{k}')!r}, after the read {out_r.get(f'saved{k}')!r}")
        c.check(out_r.get(f"back{k}") == out.get(f"back{k}"), "save and read",
                f"{s} comes back {out.get(f'back{k}')!r}, after the read {out_r.get(f'back{k}')!r}")
    return c


if __name__ == "__main__":
    sys.exit(main(sys.argv))
